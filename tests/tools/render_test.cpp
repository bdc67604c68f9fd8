// The picture renderer in-process: exact triangle coverage, golden images,
// and whole pictures checked pixel by pixel against ray casting.

#ifdef G3_HAVE_RENDER

#include "common/builders.h"
#include "mesh/mesh_check.h"
#include "tests/tools/g3_tool_fixture.h"

#include "Geometry/foundation/GRandom.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "tools/render/G3Render.h"
#include "tools/render/G3RenderRaster.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

using namespace g3render;

namespace {

using testmesh::AddBox;
using testmesh::P3;
using detail::ScreenPoint;

double Unit() { return GRand() / (G_RAND_MAX + 1.0); }

// A facet on new vertices, with holes (clockwise loops) cut into it.
G3Facet* AddLoop(G3Surface& s, const std::vector<P3>& outer, const std::vector<std::vector<P3>>& holes = {})
{
    G3Facet* f = testmesh::SoupFacet(s, outer);
    for (const auto& hole : holes) {
        std::vector<G3Vertex*> h;
        for (const P3& p : hole)
            h.push_back(s.AddVertex(p[0], p[1], p[2], 0));
        G3EdgeList list(static_cast<int>(h.size()), h.data(), nullptr, nullptr, nullptr, 0, 0);
        s.AddFacetEdges(f, &list);
    }
    return f;
}

// Compares `image` with the golden picture `name` channel by channel: every
// pixel within 3 levels, except at most one in 500 (rounding of an edge's
// anti-aliasing on another compiler). G3_UPDATE_GOLDENS=1 rewrites it.
void ExpectGolden(const Image& image, const std::string& name)
{
    const std::string path = g3tooltest::Data(("render/" + name + ".png").c_str());
    std::string message;
    if (std::getenv("G3_UPDATE_GOLDENS")) {
        ASSERT_TRUE(WritePngFile(path, image, message)) << message;
        return;
    }
    Image golden;
    ASSERT_TRUE(DecodePng(g3tooltest::Slurp(path), golden, message)) << name << ": " << message;
    ASSERT_EQ(golden.width, image.width);
    ASSERT_EQ(golden.height, image.height);
    int off = 0;
    for (std::size_t i = 0; i < image.rgb.size(); i += 3) {
        int worst = 0;
        for (int k = 0; k < 3; ++k)
            worst = std::max(worst, std::abs(int(image.rgb[i + k]) - int(golden.rgb[i + k])));
        off += worst > 3;
    }
    EXPECT_LE(off, image.width * image.height / 500) << name << ": pixels off the golden picture";
}

Image Render(G3Surface& s, View view, int w, int h, EdgeMode edges = EdgeMode::Visible, bool tripod = true,
             RenderStats* stats = nullptr)
{
    s.FormPlaneEquation();
    RenderOptions o;
    o.view = view;
    o.width = w;
    o.height = h;
    o.edges = edges;
    o.tripod = tripod;
    Image image;
    EXPECT_TRUE(RenderSurface(s, o, image, stats));
    EXPECT_EQ("", MeshCheck(&s));
    return image;
}

bool Same(const std::uint8_t* a, const std::uint8_t* b)
{
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

// ---------------------------------------------------------------- rasterizing

// Random meshes of triangles tiling a rectangle: a jittered grid of points
// (rows and columns left straight in some seeds, so edges line up; corners
// snapped to pixel centres in others, so the tie rule decides), each cell
// split along a random diagonal, each triangle in a random orientation,
// plus zero-area triangles along grid lines. Every pixel centre inside the
// rectangle must be covered exactly once, every one outside never.
TEST(RenderRaster, TilingCoversEveryCentreOnce)
{
    for (unsigned seed = 1; seed <= 12; ++seed) {
        GSRand(seed);
        const int W = 64, H = 48;
        const bool snapped = seed % 3 == 0, straight = seed % 4 == 1;
        const int nx = 3 + GRand() % 6, ny = 3 + GRand() % 6;
        // Rectangle corners off the centres unless snapped to them.
        const double x0 = snapped ? 4.5 : 4.3, y0 = snapped ? 3.5 : 2.7;
        const double x1 = snapped ? 58.5 : 59.1, y1 = snapped ? 44.5 : 43.9;
        std::vector<ScreenPoint> g;
        for (int j = 0; j <= ny; ++j)
            for (int i = 0; i <= nx; ++i) {
                double x = x0 + (x1 - x0) * i / nx, y = y0 + (y1 - y0) * j / ny;
                const bool inner = i > 0 && i < nx && j > 0 && j < ny;
                if (inner && !straight) {
                    x += (Unit() - 0.5) * (x1 - x0) / nx * 0.6;
                    y += (Unit() - 0.5) * (y1 - y0) / ny * 0.6;
                }
                if (inner && snapped) {
                    x = std::floor(x) + 0.5;
                    y = std::floor(y) + 0.5;
                }
                g.push_back({x, y, Unit()});
            }
        std::vector<int> count(W * H, 0);
        auto tri = [&](const ScreenPoint& a, const ScreenPoint& b, const ScreenPoint& c) {
            const bool flip = GRand() % 2;
            detail::RasterTriangle(a, flip ? c : b, flip ? b : c, W, H, [&](int x, int y, double) {
                ++count[static_cast<std::size_t>(y * W + x)];
            });
        };
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i) {
                const ScreenPoint &a = g[j * (nx + 1) + i], &b = g[j * (nx + 1) + i + 1];
                const ScreenPoint &c = g[(j + 1) * (nx + 1) + i + 1], &d = g[(j + 1) * (nx + 1) + i];
                if (GRand() % 2) {
                    tri(a, b, c);
                    tri(a, c, d);
                } else {
                    tri(a, b, d);
                    tri(b, c, d);
                }
                tri(a, b, b);  // a point twice: no area
                if (straight)
                    tri(a, {(a.x + b.x) / 2, (a.y + b.y) / 2, 0}, b);  // three corners on one line
            }
        int inside = 0;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const double cx = x + 0.5, cy = y + 0.5;
                // Centres on the rectangle's own border: the rule nudges
                // them up and to the left, so right and bottom sides count.
                const bool in = cx > x0 && cx <= x1 && cy > y0 && cy <= y1;
                inside += in;
                ASSERT_EQ(count[static_cast<std::size_t>(y * W + x)], in ? 1 : 0)
                    << "seed " << seed << " pixel " << x << "," << y;
            }
        EXPECT_GT(inside, 1000);
    }
}

// Corners too far out or not finite draw nothing and do not crash (depth
// along a triangle: the ray-casting oracle below).
TEST(RenderRaster, FarCornersDrawNothing)
{
    const ScreenPoint a{0, 0, 1}, c{0, 32, 5};
    const double inf = std::numeric_limits<double>::infinity();
    for (const ScreenPoint bad : {ScreenPoint{1e30, 0, 0}, ScreenPoint{0, -inf, 0}, ScreenPoint{0, 0, NAN}}) {
        int visits = 0;
        detail::RasterTriangle(a, bad, c, 16, 16, [&](int, int, double) { ++visits; });
        EXPECT_EQ(visits, 0);
    }
}

// ---------------------------------------------------------------- goldens

TEST(RenderGolden, CubeFacetWithHoleAndInsideOutBox)
{
    G3Surface cube;
    AddBox(cube, {0, 0, 0}, {1, 1, 1});
    RenderStats st;
    ExpectGolden(Render(cube, View::Iso, 160, 120, EdgeMode::Visible, true, &st), "cube");
    EXPECT_EQ(st.facets, 6);
    EXPECT_EQ(st.tessellated, 0);
    EXPECT_EQ(st.edges, 12);

    // The facet is drawn through a triangulated copy; the input keeps it.
    G3Surface holed;
    AddLoop(holed, {{0, 0, 0}, {4, 0, 0}, {4, 3, 0}, {0, 3, 0}},
            {{{1, 1, 0}, {1, 2, 0}, {3, 2, 0}, {3, 1, 0}}});
    const int edges = holed.GetEdgeCount();
    ExpectGolden(Render(holed, View::Top, 160, 120, EdgeMode::Visible, true, &st), "hole");
    EXPECT_EQ(st.facets, 1);
    EXPECT_EQ(st.tessellated, 1);
    EXPECT_EQ(holed.GetFacetCount(), 1);
    EXPECT_EQ(holed.GetEdgeCount(), edges);

    // The visible faces of the turned box are the backs of its far facets:
    // darker and redder than the right way round.
    G3Surface out, in;
    AddBox(out, {0, 0, 0}, {2, 1, 1});
    AddBox(in, {0, 0, 0}, {2, 1, 1}, false, true);
    const Image good = Render(out, View::Iso, 160, 120);
    const Image bad = Render(in, View::Iso, 160, 120);
    const std::uint8_t *g = good.At(80, 40), *b = bad.At(80, 40);
    EXPECT_LT(b[0] + b[1] + b[2], g[0] + g[1] + g[2]);
    EXPECT_GT(b[0] - b[2], 40);
    EXPECT_LT(g[0] - g[2], 0);
    ExpectGolden(bad, "inside_out");
}

// ---------------------------------------------------------------- oracles

// A ray from the centre of pixel (x, y) against the box [lo, hi]: the
// distance along the view where it enters and the outward normal there;
// false when it misses.
bool RayBox(const Camera& cam, double x, double y, const P3& lo, const P3& hi, double& t, P3& normal)
{
    double t0 = -1e300, t1 = 1e300;
    int axis = -1;
    double sign = 0;
    for (int k = 0; k < 3; ++k) {
        const double o = cam.center[k] + (x - cam.width * 0.5) / cam.scale * cam.right[k] -
                         (y - cam.height * 0.5) / cam.scale * cam.up[k];
        const double d = cam.forward[k];
        if (std::fabs(d) < 1e-15) {
            if (o < lo[k] || o > hi[k])
                return false;
            continue;
        }
        double a = (lo[k] - o) / d, b = (hi[k] - o) / d;
        double s = -1;  // entering through lo: normal -axis
        if (a > b) {
            std::swap(a, b);
            s = 1;
        }
        if (a > t0) {
            t0 = a;
            axis = k;
            sign = s;
        }
        t1 = std::min(t1, b);
    }
    if (t0 > t1 || axis < 0)
        return false;
    t = t0;
    normal = {0, 0, 0};
    normal[static_cast<std::size_t>(axis)] = sign;
    return true;
}

double SegmentDistance(double px, double py, const double* a, const double* b)
{
    const double dx = b[0] - a[0], dy = b[1] - a[1];
    const double len2 = dx * dx + dy * dy;
    const double s = std::clamp(len2 > 0 ? ((px - a[0]) * dx + (py - a[1]) * dy) / len2 : 0, 0.0, 1.0);
    return std::hypot(px - a[0] - s * dx, py - a[1] - s * dy);
}

// Random boxes on an integer lattice (so they share faces, edges and
// corners, stand on each other and cut into each other), drawn in every
// view without edges: each pixel centre more than a pixel and a half from
// every box edge's shadow shows the colour of the face a ray cast from it
// enters first, or the background.
TEST(RenderOracle, RandomBoxesMatchRayCasting)
{
    for (unsigned seed = 1; seed <= 6; ++seed) {
        GSRand(seed * 7919u);
        G3Surface s;
        std::vector<std::pair<P3, P3>> boxes;
        double envLo[3] = {1e300, 1e300, 1e300}, envHi[3] = {-1e300, -1e300, -1e300};
        for (int b = 2 + GRand() % 5; b > 0; --b) {
            P3 lo, hi;
            for (std::size_t k = 0; k < 3; ++k) {
                lo[k] = GRand() % 5;
                hi[k] = lo[k] + 1 + GRand() % 3;
                envLo[k] = std::min(envLo[k], lo[k]);
                envHi[k] = std::max(envHi[k], hi[k]);
            }
            boxes.push_back({lo, hi});
            AddBox(s, lo, hi);
        }
        for (View view : {View::Iso, View::Top, View::Front, View::Side}) {
            const int W = 120, H = 90;
            const Image image = Render(s, view, W, H, EdgeMode::None, false);
            const Camera cam = FitCamera(view, envLo, envHi, W, H);
            // The shadows of every box edge: along `axis`, at the corners
            // the other two axes pick.
            std::vector<std::array<double, 6>> shadows;
            for (const auto& [lo, hi] : boxes)
                for (int e = 0; e < 12; ++e) {
                    const std::size_t axis = e / 4, k1 = (axis + 1) % 3, k2 = (axis + 2) % 3;
                    P3 p = lo;
                    p[k1] = e & 1 ? hi[k1] : lo[k1];
                    p[k2] = e & 2 ? hi[k2] : lo[k2];
                    P3 q = p;
                    q[axis] = hi[axis];
                    std::array<double, 6> sh;
                    cam.Project(p.data(), &sh[0]);
                    cam.Project(q.data(), &sh[3]);
                    shadows.push_back(sh);
                }
            int checked = 0;
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x) {
                    const double cx = x + 0.5, cy = y + 0.5;
                    if (std::any_of(shadows.begin(), shadows.end(), [&](const std::array<double, 6>& sh) {
                            return SegmentDistance(cx, cy, &sh[0], &sh[3]) < 1.5;
                        }))
                        continue;
                    double best = 1e300, t;
                    P3 normal{0, 0, 0}, n;
                    for (const auto& [lo, hi] : boxes)
                        if (RayBox(cam, cx, cy, lo, hi, t, n) && t < best) {
                            best = t;
                            normal = n;
                        }
                    std::uint8_t want[3];
                    if (best < 1e300)
                        ShadeFacet(normal.data(), false, cam, want);
                    else
                        BackgroundColor(want);
                    const std::uint8_t* got = image.At(x, y);
                    ASSERT_TRUE(Same(got, want)) << "seed " << seed << " view " << int(view) << " pixel "
                                                 << x << "," << y << " red " << int(got[0]) << " want "
                                                 << int(want[0]);
                    ++checked;
                }
            EXPECT_GT(checked, W * H / 3);
        }
    }
}

// One facet with random rectangular holes on a lattice (holes touching each
// other at corners and along sides, and touching the outer border), seen
// from the top: a pixel centre clear of every border shows the facet
// exactly when it is inside the outer contour and in no hole.
TEST(RenderOracle, RandomHolesMatchEvenOdd)
{
    std::uint8_t bg[3], facet[3];
    BackgroundColor(bg);
    for (unsigned seed = 1; seed <= 8; ++seed) {
        GSRand(seed * 104729u);
        const int cells = 8;
        std::vector<std::array<int, 4>> holes;  // x0 y0 x1 y1 on the lattice, inside [0, 8]^2
        std::vector<char> used(cells * cells, 0);
        for (int t = 3 + GRand() % 5; t > 0; --t) {
            const int x0 = GRand() % 7, y0 = GRand() % 7;
            const int x1 = std::min(cells, x0 + 1 + GRand() % 2), y1 = std::min(cells, y0 + 1 + GRand() % 2);
            // Holes may touch but not overlap; the outer border stays whole.
            bool free = x0 > 0 && y0 > 0 && x1 < cells && y1 < cells;
            for (int y = y0; y < y1 && free; ++y)
                for (int x = x0; x < x1 && free; ++x)
                    free = !used[y * cells + x];
            if (!free)
                continue;
            for (int y = y0; y < y1; ++y)
                std::fill(used.begin() + y * cells + x0, used.begin() + y * cells + x1, 1);
            holes.push_back({x0, y0, x1, y1});
        }
        G3Surface s;
        std::vector<std::vector<P3>> loops;
        for (const auto& h : holes)  // clockwise
            loops.push_back({{double(h[0]), double(h[1]), 0}, {double(h[0]), double(h[3]), 0},
                             {double(h[2]), double(h[3]), 0}, {double(h[2]), double(h[1]), 0}});
        AddLoop(s, {{0, 0, 0}, {8, 0, 0}, {8, 8, 0}, {0, 8, 0}}, loops);
        RenderStats st;
        const Image image = Render(s, View::Top, 100, 100, EdgeMode::None, false, &st);
        EXPECT_EQ(st.tessellated, holes.empty() ? 0 : 1);
        const double lo[3] = {0, 0, 0}, hi[3] = {8, 8, 0}, up[3] = {0, 0, 1};
        const Camera cam = FitCamera(View::Top, lo, hi, 100, 100);
        ShadeFacet(up, false, cam, facet);
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x) {
                // Back to model coordinates; skip centres within a pixel of
                // a lattice line, where every border lies.
                const double mx = cam.center[0] + (x + 0.5 - 50) / cam.scale;
                const double my = cam.center[1] - (y + 0.5 - 50) / cam.scale;
                const double px = 1.0 / cam.scale;
                if (std::fabs(mx - std::round(mx)) < px || std::fabs(my - std::round(my)) < px)
                    continue;
                bool in = mx > 0 && mx < 8 && my > 0 && my < 8;
                for (const auto& h : holes)
                    in = in && !(mx > h[0] && mx < h[2] && my > h[1] && my < h[3]);
                ASSERT_TRUE(Same(image.At(x, y), in ? facet : bg))
                    << "seed " << seed << " pixel " << x << "," << y << " (" << holes.size() << " holes)";
            }
    }
}

// ---------------------------------------------------------------- shading and scenes

// A double-sided facet looks the same from either side, and as a
// single-sided one seen from the front (the back of a single-sided one: the
// inside-out golden); every view looks along its own right-handed axes.
// A model turned so that another axis is vertical, drawn with --up naming
// that axis, gives the picture of the z-up model; so does the eye turned
// about the vertical against the model turned the other way, and the view
// from below against the top view of the model turned over about x.
TEST(RenderOracle, UpAxisTurnAndBelowMatchTheTurnedModel)
{
    using Map = P3 (*)(const P3&);
    const struct {
        View view;
        Up up;
        int turn;
        Map map;  // the model drawn, from the z-up one
        View reference;
    } cases[] = {
        {View::Iso, Up::Y, 0, [](const P3& p) { return P3{p[0], p[2], -p[1]}; }, View::Iso},
        {View::Front, Up::Y, 0, [](const P3& p) { return P3{p[0], p[2], -p[1]}; }, View::Front},
        {View::Side, Up::X, 0, [](const P3& p) { return P3{p[2], p[0], p[1]}; }, View::Side},
        {View::Iso, Up::X, 3, [](const P3& p) { return P3{p[2], p[1], -p[0]}; }, View::Iso},
        {View::Iso, Up::Z, 1, [](const P3& p) { return P3{-p[1], p[0], p[2]}; }, View::Iso},
        {View::Top, Up::Z, 2, [](const P3& p) { return P3{-p[0], -p[1], p[2]}; }, View::Top},
        {View::Below, Up::Z, 0, [](const P3& p) { return P3{p[0], -p[1], -p[2]}; }, View::Top},
    };
    for (unsigned seed = 1; seed <= 3; ++seed) {
        GSRand(seed * 104729u);
        std::vector<std::pair<P3, P3>> boxes;
        for (int b = 2 + GRand() % 4; b > 0; --b) {
            P3 lo, hi;
            for (std::size_t k = 0; k < 3; ++k) {
                lo[k] = GRand() % 7;
                hi[k] = lo[k] + 1 + GRand() % 4;
            }
            boxes.push_back({lo, hi});
        }
        for (const auto& c : cases) {
            SCOPED_TRACE("seed " + std::to_string(seed) + ", case " + std::to_string(&c - cases));
            G3Surface model, turned;
            for (const auto& [lo, hi] : boxes) {
                AddBox(model, lo, hi);
                const P3 a = c.map(lo), b = c.map(hi);
                AddBox(turned, {std::min(a[0], b[0]), std::min(a[1], b[1]), std::min(a[2], b[2])},
                       {std::max(a[0], b[0]), std::max(a[1], b[1]), std::max(a[2], b[2])});
            }
            const Image expected = Render(model, c.reference, 160, 120, EdgeMode::All, false);
            turned.FormPlaneEquation();
            RenderOptions o;
            o.view = c.view;
            o.up = c.up;
            o.turn = c.turn;
            o.width = 160;
            o.height = 120;
            o.edges = EdgeMode::All;
            o.tripod = false;
            Image image;
            ASSERT_TRUE(RenderSurface(turned, o, image));
            // Sums taken in another order may round a line's coverage a
            // shade apart; the faces and edges fall on the same pixels.
            int apart = 0;
            for (std::size_t i = 0; i < image.rgb.size(); ++i)
                apart += std::abs(int(image.rgb[i]) - int(expected.rgb[i])) > 8;
            EXPECT_LE(apart, 20);
        }
    }
    View v;
    Up u;
    EXPECT_TRUE(ParseView("below", v) && v == View::Below);
    EXPECT_TRUE(ParseUp("y", u) && u == Up::Y);
    EXPECT_FALSE(ParseUp("Y", u) || ParseUp("", u) || ParseUp("w", u));
}

TEST(RenderShade, DoubleSidedFacetsAndViewAxes)
{
    for (View view : {View::Iso, View::Top, View::Front, View::Side, View::Below}) {
        Camera cam;
        ViewAxes(view, cam);
        const double toward[3] = {-cam.forward[0], -cam.forward[1], -cam.forward[2]};
        std::uint8_t front[3], twoFront[3], twoBack[3];
        ShadeFacet(toward, false, cam, front);
        ShadeFacet(toward, true, cam, twoFront);
        ShadeFacet(cam.forward, true, cam, twoBack);
        EXPECT_TRUE(Same(twoFront, twoBack));
        EXPECT_TRUE(Same(front, twoFront));
        // Orthonormal, right-handed axes: right x up = -forward.
        const double c[3] = {cam.right[1] * cam.up[2] - cam.right[2] * cam.up[1],
                             cam.right[2] * cam.up[0] - cam.right[0] * cam.up[2],
                             cam.right[0] * cam.up[1] - cam.right[1] * cam.up[0]};
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(c[k], toward[k], 1e-12);
    }
}

TEST(RenderScene, EdgesHiddenBehindFacetsAndDegenerateInput)
{
    // A small square hovering over a big one, top view, edges on: the big
    // square's edges show round the outside, and a wire edge under the
    // small square does not.
    G3Surface s;
    AddLoop(s, {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}});
    AddLoop(s, {{2, 2, 1}, {8, 2, 1}, {8, 8, 1}, {2, 8, 1}});
    s.AddEdge(s.AddVertex(3, 5, 0.5, 0), s.AddVertex(7, 5, 0.5, 0), nullptr);
    const Image none = Render(s, View::Top, 200, 200, EdgeMode::None, false);
    const Image all = Render(s, View::Top, 200, 200, EdgeMode::All, false);
    const double lo[3] = {0, 0, 0}, hi[3] = {10, 10, 1}, under[3] = {5, 5, 0.5}, border[3] = {0, 5, 0};
    const Camera cam = FitCamera(View::Top, lo, hi, 200, 200);
    double p[3];
    cam.Project(under, p);
    EXPECT_TRUE(Same(all.At(int(p[0]), int(p[1])), none.At(int(p[0]), int(p[1]))));
    cam.Project(border, p);
    const std::uint8_t* ink = all.At(int(p[0]), int(p[1]));
    EXPECT_LT(ink[0] + ink[1] + ink[2], 3 * 120);

    // Nothing but degenerate facets and coincident points: nothing drawn,
    // no crash. Coordinates at the ends of the double range, whose planes
    // overflow (the mesh check rightly objects to those): left out, never
    // a crash.
    G3Surface flat, huge;
    AddLoop(flat, {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}});
    AddLoop(flat, {{5, 5, 5}, {5, 5, 5}, {5, 5, 5}});
    RenderStats st;
    Render(flat, View::Iso, 64, 64, EdgeMode::All, true, &st);
    EXPECT_EQ(st.facets, 0);
    AddLoop(huge, {{-1e308, -1e308, 0}, {1e308, -1e308, 0}, {1e308, 1e308, 1e308}});
    AddLoop(huge, {{1e308, 1e308, 1e308}, {1e308, 1e308, -1e308}, {1e300, 0, 0}});
    huge.FormPlaneEquation();
    RenderOptions o;
    o.width = o.height = 64;
    o.edges = EdgeMode::All;
    Image picture;
    for (View view : {View::Iso, View::Top}) {
        o.view = view;
        EXPECT_TRUE(RenderSurface(huge, o, picture, &st));
        EXPECT_EQ(st.facets, 0);
    }
    // Sizes outside the range are refused without drawing.
    o.width = kMinSize - 1;
    EXPECT_FALSE(RenderSurface(s, o, picture));
}

TEST(RenderPng, RoundTripAndSizes)
{
    G3Surface s;
    AddBox(s, {0, 0, 0}, {3, 2, 1});
    const Image image = Render(s, View::Front, 37, 23);
    std::string bytes, again;
    ASSERT_TRUE(EncodePng(image, bytes));
    ASSERT_TRUE(EncodePng(Render(s, View::Front, 37, 23), again));
    EXPECT_EQ(bytes, again);
    Image back;
    std::string message;
    ASSERT_TRUE(DecodePng(bytes, back, message)) << message;
    EXPECT_EQ(back.width, 37);
    EXPECT_EQ(back.rgb, image.rgb);
    EXPECT_FALSE(DecodePng(bytes.substr(0, bytes.size() / 2), back, message));
    EXPECT_FALSE(DecodePng("not a picture", back, message));

    int w = 0, h = 0;
    EXPECT_TRUE(ParseSize("16x8192", w, h));
    EXPECT_EQ(w, 16);
    EXPECT_EQ(h, 8192);
    EXPECT_TRUE(ParseSize("640X480", w, h));
    for (const char* bad : {"15x100", "100x8193", "100", "x100", "100x", "-100x100", "100x100x",
                            "99999999999999999999x100"})
        EXPECT_FALSE(ParseSize(bad, w, h)) << bad;
    // The view and edge words: the command's tests.
}

}  // namespace

#endif  // G3_HAVE_RENDER
