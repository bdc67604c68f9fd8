// A surface into a picture: facets as flat-shaded triangles, edges as lines
// on top, the axis tripod last.
//
// Invariants: the surface is only read (facets that need a tessellator go
// through a duplicate, which is deleted before returning); facets are drawn
// in collection order, then the pieces of tessellated facets in the order of
// the copy, so ties in depth always resolve the same way. Facets without a
// plane or with a coordinate that is not finite are left out. Rounding
// happens in the rasterizer's snap to its subpixel grid.

#include "tools/render/G3Render.h"
#include "tools/render/G3RenderRaster.h"

#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

namespace g3render {

using detail::Canvas;
using detail::ScreenPoint;

namespace {

// A facet's corners, contour by contour.
struct Contours {
    std::vector<const double*> points;
    std::vector<std::size_t> starts;  // first corner of each contour
    std::size_t End(std::size_t k) const { return k + 1 < starts.size() ? starts[k + 1] : points.size(); }
};

bool Finite(const double* p) { return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]); }

// The corners of f in chain order. False for a chain longer than `limit`
// edges (a broken mesh), a missing vertex or a coordinate that is not
// finite.
bool WalkContours(const G3Facet* f, int limit, Contours& out)
{
    out.points.clear();
    out.starts.clear();
    G3ContourWalker walk(f);
    while (walk.Next()) {
        if (walk.GetIndex() >= limit)
            return false;
        const G3Vertex* v = walk.GetEntry();
        if (!v || !Finite(v->GetXYZ()))
            return false;
        if (walk.Opens())
            out.starts.push_back(out.points.size());
        out.points.push_back(v->GetXYZ());
    }
    return true;
}

void Sub(const double* a, const double* b, double* out)
{
    for (int k = 0; k < 3; ++k)
        out[k] = a[k] - b[k];
}

// The contour [begin, end) turns left (against `normal`) at every corner,
// never back on itself, and once round in all: a fan from its first corner
// covers it exactly.
bool IsConvex(const Contours& c, std::size_t begin, std::size_t end, const double* normal)
{
    const std::size_t n = end - begin;
    if (n == 3)
        return true;
    if (n < 3)
        return false;
    double turning = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double* p0 = c.points[begin + (i + n - 1) % n];
        const double* p1 = c.points[begin + i];
        const double* p2 = c.points[begin + (i + 1) % n];
        double e1[3], e2[3];
        Sub(p1, p0, e1);
        Sub(p2, p1, e2);
        const double cr[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                              e1[0] * e2[1] - e1[1] * e2[0]};
        const double turn = cr[0] * normal[0] + cr[1] * normal[1] + cr[2] * normal[2];
        const double along = e1[0] * e2[0] + e1[1] * e2[1] + e1[2] * e2[2];
        if (turn < -GTolerance::kZeroArea)
            return false;
        if (turn <= GTolerance::kZeroArea && along < 0.0)
            return false;  // a spike: out and back along one line
        turning += std::atan2(turn, along);
    }
    // Once round is 2 pi, a star twice round 4 pi; nothing lies between.
    return std::fabs(turning - 2.0 * M_PI) < M_PI;
}

class Painter {
public:
    Painter(const Camera& camera, Canvas& canvas) : camera(camera), canvas(canvas) {}

    ScreenPoint Project(const double* p) const
    {
        double q[3];
        camera.Project(p, q);
        return {q[0], q[1], q[2]};
    }

    // A fan over the contour [begin, end) of `c`; the triangles drawn.
    int Fan(const Contours& c, std::size_t begin, std::size_t end, const std::uint8_t* rgb)
    {
        if (end - begin < 3)
            return 0;
        const ScreenPoint first = Project(c.points[begin]);
        ScreenPoint previous = Project(c.points[begin + 1]);
        for (std::size_t k = begin + 2; k < end; ++k) {
            const ScreenPoint next = Project(c.points[k]);
            canvas.FillTriangle(first, previous, next, rgb);
            previous = next;
        }
        return static_cast<int>(end - begin - 2);
    }

private:
    const Camera& camera;
    Canvas& canvas;
};

// 5 x 5 letters of the tripod, a row a string from the top.
const char* const kGlyphs[3][5] = {
    {"#...#", ".#.#.", "..#..", ".#.#.", "#...#"},
    {"#...#", ".#.#.", "..#..", "..#..", "..#.."},
    {"#####", "...#.", "..#..", ".#...", "#####"},
};

void Glyph(Canvas& canvas, int axis, double cx, double cy, int dot, const std::uint8_t* rgb)
{
    const int x0 = static_cast<int>(std::lround(cx)) - (5 * dot) / 2;
    const int y0 = static_cast<int>(std::lround(cy)) - (5 * dot) / 2;
    for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 5; ++col)
            if (kGlyphs[axis][row][col] == '#')
                for (int j = 0; j < dot; ++j)
                    for (int i = 0; i < dot; ++i)
                        canvas.Blend(x0 + col * dot + i, y0 + row * dot + j, 1.0, rgb);
}

// Three axes from a point in the lower left corner, red x, green y, blue z,
// each labelled at its tip; the one pointing most at the viewer is drawn
// last. Pictures too small to hold it go without.
void DrawTripod(Canvas& canvas, const Camera& camera, double halfWidth)
{
    const int side = std::min(canvas.Width(), canvas.Height());
    if (side < 48)
        return;
    const double length = std::max(8.0, std::round(0.07 * side));
    const int dot = std::max(1, static_cast<int>(length / 14.0));
    const double pad = std::max(6.0, 0.035 * side) + 3.0 * dot;
    const double ox = pad + length * 0.5, oy = canvas.Height() - pad - length * 0.5;
    const std::uint8_t colors[3][3] = {{200, 45, 45}, {35, 145, 55}, {45, 80, 205}};
    int order[3] = {0, 1, 2};
    double toward[3];
    for (int k = 0; k < 3; ++k)
        toward[k] = -camera.forward[k];
    // Ascending by how much the axis points at the viewer (stable on ties).
    for (int i = 1; i < 3; ++i)
        for (int j = i; j > 0 && toward[order[j]] < toward[order[j - 1]]; --j)
            std::swap(order[j], order[j - 1]);
    for (int i = 0; i < 3; ++i) {
        const int k = order[i];
        const double dx = camera.right[k], dy = -camera.up[k];
        const double ex = ox + length * dx, ey = oy + length * dy;
        canvas.Line({ox, oy, 0.0}, {ex, ey, 0.0}, halfWidth * 1.3, colors[k], false, 0.0);
        const double reach = std::sqrt(dx * dx + dy * dy);
        // The letter just past the tip; an axis seen end on gets it beside
        // the origin.
        const bool endOn = reach < 0.25;
        const double lx = endOn ? ox + 4.0 * dot : ex + 4.5 * dot * dx / reach;
        const double ly = endOn ? oy - 4.0 * dot : ey + 4.5 * dot * dy / reach;
        Glyph(canvas, k, lx, ly, dot, colors[k]);
    }
}

}  // namespace

bool RenderSurface(G3Surface& s, const RenderOptions& options, Image& image, RenderStats* stats)
{
    RenderStats local;
    RenderStats& st = stats ? *stats : local;
    st = RenderStats();
    if (options.width < kMinSize || options.width > kMaxSize || options.height < kMinSize ||
        options.height > kMaxSize)
        return false;

    // The envelope of the finite vertices.
    double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
    bool any = false;
    for (int i = 0; i < s.GetVertexCount(); ++i) {
        const G3Vertex* v = s.GetVertex(i);
        if (!v || !Finite(v->GetXYZ()))
            continue;
        const double* p = v->GetXYZ();
        for (int k = 0; k < 3; ++k) {
            lo[k] = any ? std::min(lo[k], p[k]) : p[k];
            hi[k] = any ? std::max(hi[k], p[k]) : p[k];
        }
        any = true;
    }
    const Camera camera = FitCamera(options.view, lo, hi, options.width, options.height, options.up, options.turn);
    std::uint8_t background[3];
    BackgroundColor(background);
    Canvas canvas(options.width, options.height, background);
    Painter painter(camera, canvas);
    const double halfWidth = 0.6 * std::max(1.0, std::min(options.width, options.height) / 720.0);

    const int facetCount = s.GetFacetCount();
    const int limit = s.GetEdgeCount();
    std::vector<std::uint8_t> colors(static_cast<std::size_t>(facetCount) * 3);
    std::vector<char> tessellate;
    Contours contours;
    for (int i = 0; i < facetCount; ++i) {
        G3Facet* f = s.GetFacet(i);
        if (!f || f->IsTrivial() || !Finite(f->GetPlane()) || !WalkContours(f, limit, contours) ||
            contours.starts.empty())
            continue;
        std::uint8_t* rgb = &colors[static_cast<std::size_t>(i) * 3];
        ShadeFacet(f->GetPlane(), f->GetDoubleSided(), camera, rgb);
        if (contours.starts.size() == 1 && IsConvex(contours, 0, contours.points.size(), f->GetPlane())) {
            st.triangles += painter.Fan(contours, 0, contours.points.size(), rgb);
            ++st.facets;
            continue;
        }
        if (tessellate.empty())
            tessellate.assign(static_cast<std::size_t>(facetCount), 0);
        tessellate[static_cast<std::size_t>(i)] = 1;
    }

    if (!tessellate.empty()) {
        // The copy keeps only the facets to tessellate, each remembering its
        // original's index in its sub-surface number (the tessellator
        // carries it onto the pieces). Removal moves the last facet into the
        // freed slot, so walking down every slot below still holds its own.
        std::unique_ptr<G3Surface> copy(s.Duplicate());
        if (copy && copy->GetFacetCount() == facetCount) {
            for (int i = facetCount - 1; i >= 0; --i) {
                G3Facet* f = copy->GetFacet(i);
                if (tessellate[static_cast<std::size_t>(i)])
                    f->SetSurface(i);
                else
                    copy->RemoveFacet(f);
            }
            copy->Triangulate(4, 0);
            const int copyLimit = copy->GetEdgeCount();
            std::vector<char> seen(static_cast<std::size_t>(facetCount), 0);
            for (int i = 0; i < copy->GetFacetCount(); ++i) {
                G3Facet* f = copy->GetFacet(i);
                const int origin = f ? f->GetSurface() : -1;
                if (origin < 0 || origin >= facetCount || !tessellate[static_cast<std::size_t>(origin)] ||
                    !WalkContours(f, copyLimit, contours) || contours.starts.empty())
                    continue;
                // A facet the tessellator left whole is drawn as a fan over
                // its outer contour, as the mesh writers do.
                st.triangles += painter.Fan(contours, 0, contours.End(0), &colors[static_cast<std::size_t>(origin) * 3]);
                if (!seen[static_cast<std::size_t>(origin)]) {
                    seen[static_cast<std::size_t>(origin)] = 1;
                    ++st.facets;
                    ++st.tessellated;
                }
            }
        }
    }

    if (st.facets > 0 && options.edges != EdgeMode::None) {
        const std::uint8_t ink[3] = {38, 40, 46};
        // Two pixels of depth: a line on a facet tilted up to about 60
        // degrees from the picture plane still passes the test beside it.
        const double bias = 2.0 / camera.scale;
        for (int i = 0; i < s.GetEdgeCount(); ++i) {
            const G3Edge* e = s.GetEdge(i);
            if (!e || !e->GetVertex1() || !e->GetVertex2())
                continue;
            if (options.edges == EdgeMode::Visible && !e->GetVisible())
                continue;
            const double* a = e->GetVertex1()->GetXYZ();
            const double* b = e->GetVertex2()->GetXYZ();
            if (!Finite(a) || !Finite(b))
                continue;
            canvas.Line(painter.Project(a), painter.Project(b), halfWidth, ink, true, bias);
            ++st.edges;
        }
    }

    if (options.tripod)
        DrawTripod(canvas, camera, halfWidth);
    canvas.MoveTo(image);
    return true;
}

}  // namespace g3render
