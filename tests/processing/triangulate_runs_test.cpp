// Triangulation of facets with corners on straight runs of their contours.

#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3MeshCheck.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/processing/G3EdgeList.h"
#include "Geometry/processing/G3PolygonTriangulator.h"
#include "tests/common/builders.h"
#include "tests/common/slow_build.h"
#include "tests/mesh/mesh_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

namespace {

using namespace testmesh;
using Pair = std::pair<G3Vertex*, G3Vertex*>;

// Adds (b - a) x (c - a), twice the vector area of (a, b, c), to sum; from
// differences, exact at large offsets. Returns the triangle's area.
double AddArea(const G3Vertex* a, const G3Vertex* b, const G3Vertex* c, double* sum)
{
    const double *p = a->GetXYZ(), *q = b->GetXYZ(), *r = c->GetXYZ();
    double length = 0.0;
    for (int i = 0; i < 3; ++i) {
        const int j = (i + 1) % 3, k = (i + 2) % 3;
        const double x = (q[j] - p[j]) * (r[k] - p[k]) - (q[k] - p[k]) * (r[j] - p[j]);
        sum[i] += x;
        length += x * x;
    }
    return 0.5 * std::sqrt(length);
}

// Facet sides per vertex pair; every facet must be a triangle with area
// above kZeroArea and no corner within kPlaneSide of the side it faces
// (corners in line to rounding only give areas on either side of
// kZeroArea), and *area sums them.
std::map<Pair, int> Sides(G3Surface& s, double* area)
{
    std::map<Pair, int> sides;
    double unused[3] = {0, 0, 0};
    *area = 0.0;
    for (int k = 0; k < s.GetFacetCount(); ++k) {
        const std::vector<G3Vertex*> c = Corners(s.GetFacet(k));
        EXPECT_EQ(c.size(), 3u);
        const double a = AddArea(c[0], c[1], c[2], unused);
        double longest = 0.0;
        for (std::size_t i = 0; i < c.size(); ++i) {
            const double *p = c[i]->GetXYZ(), *q = c[(i + 1) % c.size()]->GetXYZ();
            longest = std::max(longest, std::hypot(q[0] - p[0], q[1] - p[1], q[2] - p[2]));
            ++sides[std::minmax(c[i], c[(i + 1) % c.size()])];
        }
        EXPECT_GT(a, GTolerance::kZeroArea) << k;
        EXPECT_GT(2.0 * a / longest, GTolerance::kPlaneSide) << k;
        *area += a;
    }
    return sides;
}

// The triangles, walked as they are, add up to the facet's own vector
// area: none is turned over.
void ExpectTurnedAs(G3Surface& s, const double* facetArea)
{
    double sum[3] = {0, 0, 0};
    for (int k = 0; k < s.GetFacetCount(); ++k) {
        const std::vector<G3Vertex*> c = Corners(s.GetFacet(k));
        if (c.size() == 3)
            AddArea(c[0], c[1], c[2], sum);
    }
    const double scale = std::hypot(facetArea[0], facetArea[1], facetArea[2]);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(facetArea[i], sum[i], 1e-9 * scale) << "axis " << i;
}

} // namespace

TEST(TriangulateRunsTest, FacetsWithCornersOnStraightRunsKeepEveryCornerAndTheirArea)
{
    // The 3 x 1 rectangle with two corners on a long side, then random
    // star-shaped contours on a 1/8 grid (radius >= 4 at gaps below 1.41
    // rad: the square holes within 1.8 of the origin lie inside), sides cut
    // into 1 to 4 pieces (thirds in line only to rounding), laid flat,
    // upright or tilted, at the origin or 1e5 off. Expected: n + 2h - 2
    // triangles on n corners and h holes, the shoelace area, each contour
    // side a triangle side once, each diagonal twice.
    const double axes[3][2][3] = {{{1, 0, 0}, {0, 1, 0}}, {{0, 1, 0}, {0, 0, 1}}, {{1, 0, 0.5}, {0, 1, 0.25}}};
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int iter = 0; iter < 600; ++iter) {
        SCOPED_TRACE(iter);
        std::vector<std::vector<std::array<double, 2>>> rings(1), cut;
        const int k = 8 + static_cast<int>(rng() % 5);
        for (int i = 0; i < k; ++i) {
            const double a = 2.0 * M_PI * (i + 0.8 * unit(rng)) / k, r = 4.0 + 2.0 * unit(rng);
            rings[0].push_back({std::round(8.0 * r * std::cos(a)) / 8.0, std::round(8.0 * r * std::sin(a)) / 8.0});
        }
        for (int h = 0; h < 4; ++h) {
            const double x = h % 2 ? 0.5 : -1.25, y = h / 2 ? 0.5 : -1.25;
            if (iter % 2 && rng() % 2)
                rings.push_back({{x, y}, {x, y + 0.75}, {x + 0.75, y + 0.75}, {x + 0.75, y}});
        }
        for (const auto& r : rings) {
            cut.emplace_back();
            for (std::size_t c = 0; c < r.size(); ++c)
                for (int i = 0, pieces = 1 + static_cast<int>(rng() % 4); i < pieces; ++i)
                    cut.back().push_back({r[c][0] + (r[(c + 1) % r.size()][0] - r[c][0]) * i / pieces,
                                          r[c][1] + (r[(c + 1) % r.size()][1] - r[c][1]) * i / pieces});
            std::rotate(cut.back().begin(), cut.back().begin() + rng() % cut.back().size(), cut.back().end());
        }
        if (iter == 0)
            cut = {{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {3, 1}, {0, 1}}};
        const double(&uv)[2][3] = axes[iter % 3];
        const double offset = iter % 4 < 2 ? 0.0 : 1e5;
        G3Surface s;
        G3Facet* f = nullptr;
        std::map<Pair, int> own;
        double vectorArea[3] = {0, 0, 0};
        int triangles = -2;
        for (const auto& r : cut) {
            std::vector<G3Vertex*> vs;
            for (const auto& p : r)
                vs.push_back(s.AddVertex(offset + p[0] * uv[0][0] + p[1] * uv[1][0],
                                         offset + p[0] * uv[0][1] + p[1] * uv[1][1],
                                         offset + p[0] * uv[0][2] + p[1] * uv[1][2], 0));
            for (std::size_t c = 0; c < vs.size(); ++c) {
                AddArea(vs[0], vs[c], vs[(c + 1) % vs.size()], vectorArea);
                own[std::minmax(vs[c], vs[(c + 1) % vs.size()])] = 1;
            }
            triangles += static_cast<int>(vs.size()) + (f ? 2 : 0);
            G3EdgeList list(static_cast<int>(vs.size()), vs.data(), nullptr, nullptr, nullptr, 0, 0);
            f = f ? s.AddFacetEdges(f, &list) : s.AddFacet(static_cast<int>(vs.size()), vs.data(), 1, nullptr, nullptr);
        }
        ASSERT_TRUE(s.Triangulate(4, 5));
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ(s.GetFacetCount(), triangles);
        double area = 0.0, shoelace = 0.5 * std::sqrt(vectorArea[0] * vectorArea[0] + vectorArea[1] * vectorArea[1] +
                                                      vectorArea[2] * vectorArea[2]);
        std::map<Pair, int> sides = Sides(s, &area);
        EXPECT_NEAR(area, shoelace, 1e-12 * shoelace) << "triangles overlap";
        ExpectTurnedAs(s, vectorArea);
        for (const auto& [pair, count] : own)
            EXPECT_EQ(sides[pair], 1) << "a side of the facet is not a triangle side";
        for (const auto& [pair, count] : sides)
            EXPECT_EQ(count, own.count(pair) ? 1 : 2);
    }
}

// A rectangle whose first corners lie on one side (a run GLU takes for the
// polygon's turn when it finds its own normal), turned every way, corners
// shaken by up to 1e-6: its triangles run as the facet does.
TEST(TriangulateRunsTest, RectanglesStartingOnARunKeepTheirTurn)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const double outline[6][2] = {{0, 0}, {0, 0.5}, {0, 1.5}, {0, 3}, {5, 3}, {5, 0}};
    for (int iter = 0; iter < 400; ++iter) {
        SCOPED_TRACE(iter);
        double u[3] = {unit(rng), unit(rng), unit(rng)};
        const double l = std::hypot(u[0], u[1], u[2]);
        for (double& x : u)
            x /= l;
        double w[3] = {unit(rng), unit(rng), unit(rng)};  // a second direction, made square to u
        const double d = w[0] * u[0] + w[1] * u[1] + w[2] * u[2];
        for (int i = 0; i < 3; ++i)
            w[i] -= d * u[i];
        const double lw = std::hypot(w[0], w[1], w[2]);
        for (double& x : w)
            x /= lw;
        G3Surface s;
        std::vector<G3Vertex*> vs;
        for (const auto& p : outline)
            vs.push_back(s.AddVertex(p[0] * u[0] + p[1] * w[0] + 1e-6 * unit(rng), p[0] * u[1] + p[1] * w[1] + 1e-6 * unit(rng),
                                     p[0] * u[2] + p[1] * w[2] + 1e-6 * unit(rng), 0));
        double facetArea[3] = {0, 0, 0};
        for (std::size_t c = 1; c + 1 < vs.size(); ++c)
            AddArea(vs[0], vs[c], vs[c + 1], facetArea);
        s.AddFacet(static_cast<int>(vs.size()), vs.data(), 1, nullptr, nullptr);
        s.FormPlaneEquation();
        ASSERT_TRUE(s.Triangulate(4, 0));
        ExpectTurnedAs(s, facetArea);
    }
}

TEST(TriangulateRunsTest, MergedGridCubeStaysOneClosedPiece)
{
    // Each face an m x m grid of quads, merged into one facet of 4m corners
    // (4m - 4 of them on straight runs), then triangulated.
    for (int m : {2, 3, 5})
        for (double offset : {0.0, 1e5}) {
            SCOPED_TRACE(testing::Message() << m << " at " << offset);
            G3Surface s;
            std::map<std::array<int, 3>, G3Vertex*> at;
            const int step[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
            for (int face = 0; face < 6; ++face)
                for (int i = 0; i < m * m; ++i) {
                    const int a = face / 2, side = face % 2 * m;
                    G3Vertex* q[4];
                    for (int c = 0; c < 4; ++c) {
                        std::array<int, 3> p;
                        p[a] = side;
                        p[(a + 1) % 3] = i % m + step[side ? c : 3 - c][0];
                        p[(a + 2) % 3] = i / m + step[side ? c : 3 - c][1];
                        G3Vertex*& vertex = at[p];
                        if (!vertex)
                            vertex = s.AddVertex(offset + 0.5 * p[0], offset + 0.5 * p[1], offset + 0.5 * p[2], 0);
                        q[c] = vertex;
                    }
                    s.AddFacet(4, q, 1, nullptr, nullptr);
                }
            const double volume = G3SurfaceVolume(&s);
            s.UnionInPlaneFacets(-1);
            ASSERT_EQ(s.GetFacetCount(), 6) << "the merge";
            ASSERT_TRUE(s.Triangulate(4, 0));
            EXPECT_EQ("", MeshCheck(&s));
            EXPECT_EQ(s.GetFacetCount(), 6 * (4 * m - 2));
            EXPECT_NEAR(G3SurfaceVolume(&s), volume, 1e-12 * volume);
            double area = 0.0;
            for (const auto& [pair, count] : Sides(s, &area))
                EXPECT_EQ(count, 2) << "an edge with other than two facets";
            EXPECT_NEAR(area, 1.5 * m * m, 1e-12 * area);
        }
}

TEST(TriangulateRunsTest, HoleTouchingASideLeavesNoSliverTurnedAnyWay)
{
    // An 8 x 4 rectangle with a hole lying against part of its lower side
    // (corners on the side, not corners of the outer contour), turned every
    // way, at the origin and at site coordinates, where the sliver left
    // along the shared stretch had rounding noise for area and a plane
    // pointing anywhere.
    const double ring[2][4][2] = {{{0, 0}, {8, 0}, {8, 4}, {0, 4}}, {{5, 2}, {5, 0}, {4, 0}, {4, 2}}};
    std::mt19937 rng(11);
    std::normal_distribution<double> gauss;
    for (int iter = 0; iter < 80; ++iter) {
        SCOPED_TRACE(iter);
        const double q[4] = {gauss(rng), gauss(rng), gauss(rng), gauss(rng)}, at = iter % 2 ? 5e6 : 0.0;
        const double l = q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3];
        // The first two columns of the rotation by the quaternion q.
        const double u[3] = {(q[0] * q[0] + q[1] * q[1] - q[2] * q[2] - q[3] * q[3]) / l,
                             2 * (q[1] * q[2] + q[0] * q[3]) / l, 2 * (q[1] * q[3] - q[0] * q[2]) / l};
        const double w[3] = {2 * (q[1] * q[2] - q[0] * q[3]) / l,
                             (q[0] * q[0] - q[1] * q[1] + q[2] * q[2] - q[3] * q[3]) / l,
                             2 * (q[2] * q[3] + q[0] * q[1]) / l};
        G3Surface s;
        G3Facet* f = nullptr;
        for (const auto& r : ring) {
            G3Vertex* vs[4];
            for (int c = 0; c < 4; ++c)
                vs[c] = s.AddVertex(at + r[c][0] * u[0] + r[c][1] * w[0], 1.2 * at + r[c][0] * u[1] + r[c][1] * w[1],
                                    r[c][0] * u[2] + r[c][1] * w[2], 0);
            G3EdgeList list(4, vs, nullptr, nullptr, nullptr, 0, 0);
            f = f ? s.AddFacetEdges(f, &list) : s.AddFacet(4, vs, 1, nullptr, nullptr);
        }
        if (!s.Triangulate(4, 0))
            continue;  // GLU may refuse a corner lying on a side
        double area = 0.0;
        Sides(s, &area);
        EXPECT_NEAR(area, 30.0, 1e-6);
        const double n[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
        for (int k = 0; k < s.GetFacetCount(); ++k) {
            const double* p = s.GetFacet(k)->GetPlane();
            EXPECT_GT(p[0] * n[0] + p[1] * n[1] + p[2] * n[2], 1.0 - 1e-6) << k;
        }
    }
}

TEST(TriangulateRunsTest, HolesTouchingSidesInTiltedPlanesAreTriangulated)
{
    // A W x H rectangle on a grid with three rectangular holes: one lying
    // against its lower side, one above that touching it along part of a
    // side or at a corner only, one against its upper side. Hole corners lie
    // on sides they are no corners of; the holes' vertices are shared or
    // their own copies. Tilted every way, at the origin and at site
    // coordinates, where GLU refuses some of these facets: every facet
    // still becomes triangles covering the rectangle less its holes, and
    // every triangle corner keeps the texture coordinate (the grid point)
    // its vertex has in the facet, also where a side was split at a
    // touching corner.
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int iter = 0; iter < 200; ++iter) {
        SCOPED_TRACE(iter);
        const int a = 1 + static_cast<int>(rng() % 3), h1 = 1 + static_cast<int>(rng() % 2);
        const int w = a + 5, h = h1 + 3 + static_cast<int>(rng() % 2), o = 1 + static_cast<int>(rng() % 2);
        const int b = 1 + static_cast<int>(rng() % (w - 2));
        const int boxes[4][4] = {{0, 0, w, h}, {a, 0, a + 2, h1}, {a + o, h1, a + o + 2, h1 + 1}, {b, h - 1, b + 1, h}};
        const bool shared = rng() % 2;
        double u[3] = {unit(rng), unit(rng), unit(rng)}, v[3] = {unit(rng), unit(rng), unit(rng)};
        const double lu = std::hypot(u[0], u[1], u[2]), d = (u[0] * v[0] + u[1] * v[1] + u[2] * v[2]) / (lu * lu);
        for (int i = 0; i < 3; ++i)
            v[i] -= d * u[i];
        const double at = iter % 2 ? 5e6 : 0.0;
        G3Surface s;
        G3Facet* f = nullptr;
        std::map<std::array<int, 2>, G3Vertex*> grid;
        std::map<const G3Vertex*, std::array<int, 2>> gridPoint;
        double vectorArea[3] = {0, 0, 0};
        for (const auto& box : boxes) {
            // Outer counter-clockwise, holes clockwise, each from a random corner.
            std::vector<std::array<int, 2>> ring = {
                {box[0], box[1]}, {box[2], box[1]}, {box[2], box[3]}, {box[0], box[3]}};
            if (f)
                std::reverse(ring.begin(), ring.end());
            std::rotate(ring.begin(), ring.begin() + rng() % 4, ring.end());
            std::vector<G3Vertex*> vs;
            std::vector<G3Normal*> ns;
            std::vector<G3TexCoo*> ts;
            for (const auto& p : ring) {
                G3Vertex*& x = grid[p];
                if (!x || !shared)
                    x = s.AddVertex(at + p[0] * u[0] + p[1] * v[0], at + p[0] * u[1] + p[1] * v[1],
                                    p[0] * u[2] + p[1] * v[2], 0);
                vs.push_back(x);
                gridPoint[x] = p;
                ns.push_back(s.AddNormal(0.0, 0.0, 1.0));
                ts.push_back(s.AddTexCoo(p[0], p[1]));
            }
            for (std::size_t c = 1; c + 1 < vs.size(); ++c)
                AddArea(vs[0], vs[c], vs[c + 1], vectorArea);
            G3EdgeList list(4, vs.data(), nullptr, ns.data(), ts.data(), 0, 0);
            f = f ? s.AddFacetEdges(f, &list) : s.AddFacet(4, vs.data(), 1, ns.data(), ts.data());
        }
        ASSERT_TRUE(s.Triangulate(4, 0));
        EXPECT_EQ("", MeshCheck(&s));
        double area = 0.0;
        Sides(s, &area);
        EXPECT_NEAR(area, 0.5 * std::hypot(vectorArea[0], vectorArea[1], vectorArea[2]), 1e-9 * area);
        ExpectTurnedAs(s, vectorArea);
        for (int k = 0; k < s.GetFacetCount(); ++k) {
            G3EdgeList corners(s.GetFacet(k));
            for (int c = 0; c < corners.size(); ++c) {
                G3TexCoo* t = nullptr;
                corners.GetEdge(c)->GetFacet1V1(&t);
                const auto& p = gridPoint[corners.GetEdge(c)->GetVertex1()];
                ASSERT_NE(nullptr, t);
                EXPECT_NEAR(p[0], t->GetU(), 1e-9);
                EXPECT_NEAR(p[1], t->GetV(), 1e-9);
            }
        }
    }
}

namespace {

// A slab 0.3 thick over `rings` (the outline counter-clockwise, then
// clockwise openings), moved to (at, 1.2 at): side walls, and two caps with
// holes, corners shared. Returns the plan area.
double AddSlab(G3Surface* s, const std::vector<std::vector<std::array<double, 2>>>& rings, double at)
{
    std::map<std::array<double, 3>, G3Vertex*> made;
    auto vertex = [&](const std::array<double, 2>& p, double z) {
        G3Vertex*& v = made[{p[0], p[1], z}];
        return v ? v : (v = s->AddVertex(at + p[0], 1.2 * at + p[1], z, 0));
    };
    double area = 0.0;
    G3Facet* caps[2] = {nullptr, nullptr};
    for (const auto& r : rings) {
        std::vector<G3Vertex*> cap[2]; // the bottom faces down
        for (std::size_t k = 0; k < r.size(); ++k) {
            const auto &p = r[k], &q = r[(k + 1) % r.size()];
            area += 0.5 * (p[0] * q[1] - p[1] * q[0]);
            G3Vertex* wall[4] = {vertex(p, 0.0), vertex(q, 0.0), vertex(q, 0.3), vertex(p, 0.3)};
            s->AddFacet(4, wall, 1, nullptr, nullptr);
            cap[0].insert(cap[0].begin(), wall[0]);
            cap[1].push_back(wall[3]);
        }
        for (int c = 0; c < 2; ++c) {
            G3EdgeList list(static_cast<int>(r.size()), cap[c].data(), nullptr, nullptr, nullptr, 0, 0);
            caps[c] = caps[c] ? s->AddFacetEdges(caps[c], &list)
                              : s->AddFacet(static_cast<int>(r.size()), cap[c].data(), 1, nullptr, nullptr);
        }
    }
    s->FormPlaneEquation();
    return area;
}

// Triangulates a slab from AddSlab (with GLU alone when `glu`) and checks
// that it stays a closed solid of its volume.
void ExpectClosedSlab(G3Surface* s, double area, bool glu)
{
    const G3PolygonTriangulator engine = G3GetPolygonTriangulator();
    G3SetPolygonTriangulator(glu ? nullptr : engine);
    const bool done = s->Triangulate(4, 0);
    G3SetPolygonTriangulator(engine);
    ASSERT_TRUE(done);
    EXPECT_EQ("", MeshCheck(s));
    EXPECT_EQ("", G3ClosedCheck(s));
    EXPECT_NEAR(G3SurfaceVolume(s), 0.3 * area, 1e-9 * area);
}

} // namespace

TEST(TriangulateRunsTest, SlabsWithOpeningsInLineStayClosed)
{
    // A slab with openings in 2 x 2 cells (slots 1 mm high, squares, pairs
    // touching at a corner) whose sides lie on lines shared down each
    // column, and outline corners far below and above within 1e-4 of those
    // lines. GLU joins the corners in line across the solid parts; cutting
    // such a sliver against a far corner nearly in line leaves a thin
    // triangle that is a sliver again, or whose corner is off its side by
    // no more than the rounding. With the engine and with GLU alone, at the
    // origin and at site coordinates, the slab stays closed, of its volume.
    std::mt19937 rng(31);
    std::uniform_real_distribution<double> shift(-1e-4, 1e-4);
    // Checked passes walk every facet of 5,000 corners after every step.
    for (int iter = 0; iter < (testbuild::kSlowBuild ? 8 : 24); ++iter) {
        SCOPED_TRACE(iter);
        const int w = 10 + static_cast<int>(rng() % 60), h = 10 + static_cast<int>(rng() % 60);
        std::vector<std::vector<std::array<double, 2>>> rings(1);
        for (double y : {-1.0, h + 1.0}) {
            std::vector<std::array<double, 2>> run = {{0.0, y}};
            for (int x = 0; x + 2 <= w; x += 2)
                for (double d : {0.2, 1.0, 1.8})
                    run.push_back({x + d + shift(rng), y});
            run.push_back({static_cast<double>(w), y});
            rings[0].insert(rings[0].end(), run.begin(), run.end());
        }
        std::reverse(rings[0].begin() + rings[0].size() / 2, rings[0].end());
        auto hole = [&](double x0, double y0, double x1, double y1) {
            rings.push_back({{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}});
        };
        for (int x = 0; x + 2 <= w; x += 2)
            for (int y = 0; y + 2 <= h; y += 2) {
                const int kind = static_cast<int>(rng() % 4);
                if (kind == 0)
                    hole(x + 0.2, y + 1.0, x + 1.8, y + 1.001);
                if (kind >= 2)
                    hole(x + 0.2, y + 0.2, x + 1.0, y + 1.0);
                if (kind == 3)
                    hole(x + 1.0, y + 1.0, x + 1.8, y + 1.8);
            }
        const double at = iter % 3 == 0 ? 0.0 : iter % 3 == 1 ? 5e5 : 5e6;
        G3Surface s;
        const double area = AddSlab(&s, rings, at);
        ExpectClosedSlab(&s, area, iter % 4 >= 2);
    }
}

TEST(TriangulateRunsTest, OpeningsTouchingTheOutlineKeepTheSlabClosed)
{
    // Diamond openings whose corner touches a side of the outline (the side
    // wall is one face past them), or a neighbour's corner. Welded and
    // divided or not, then triangulated on either road, at the origin and at site
    // coordinates: the caps' triangles split a side at every touching
    // corner, so the side walls must have been split there too.
    std::mt19937 rng(43);
    for (int iter = 0; iter < 24; ++iter) {
        SCOPED_TRACE(iter);
        const int w = 4 + static_cast<int>(rng() % 12), h = 4 + static_cast<int>(rng() % 12);
        std::vector<std::vector<std::array<double, 2>>> rings = {{{0, 0}, {1.0 * w, 0}, {1.0 * w, 1.0 * h}, {0, 1.0 * h}}};
        auto diamond = [&](double x, double y) { // clockwise, from a random corner
            std::vector<std::array<double, 2>> d = {{x, y - 0.5}, {x - 0.5, y}, {x, y + 0.5}, {x + 0.5, y}};
            std::rotate(d.begin(), d.begin() + rng() % 4, d.end());
            rings.push_back(d);
        };
        for (int x = 1; x < w; ++x)
            for (int y = 1; y < h; ++y)
                if ((x == 1 || y == 1 || x == w - 1 || y == h - 1) && rng() % 3 == 0) // touching a side
                    diamond(x == 1 ? 0.5 : x == w - 1 ? w - 0.5 : x, y == 1 ? 0.5 : y == h - 1 ? h - 0.5 : y);
                else if (x % 2 == 0 && y % 2 == 0 && x + 1 < w - 1 && y < h - 1 && rng() % 3 == 0) // a pair
                    diamond(x, y), diamond(x + 1, y);
        G3Surface s;
        const double area = AddSlab(&s, rings, iter % 2 ? 5e5 : 0.0);
        ASSERT_EQ("", G3ClosedCheck(&s));
        if (iter % 3 != 2) // else triangulated as built, corners shared but sides whole
            s.RemoveEqualsVertexAndDivideEdges();
        ExpectClosedSlab(&s, area, iter % 4 >= 2);
    }
}
