// Orientation of a surface's facets: from their corner normals
// (OrientNormals) or from the geometry alone (OrientNormals2).
//
// OrientNormals2 first splits the facets into pieces: a breadth-first
// spread across manifold edges from a seed turns each neighbour to run
// along their shared edge opposite to it, so a piece comes out consistent
// with its seed. Each piece is then kept or turned whole by vertical
// probes through the x-y projection: along a probe the facets it crosses
// alternate between facing down (the way in) and up (the way out), lowest
// first, so a probe facet with an even number of crossings below it must
// face down. Every facet a probe can cross (any plane with c != 0, nearly
// vertical ones included) is counted; only well-inclined facets (not
// nearly vertical) start probes, the largest in projection first. A probe
// whose count is unsure (the probe point on some crossed facet's boundary,
// or another facet at the probe facet's height) does not vote while a sure
// one exists; the piece follows the majority of its votes, so one bad
// probe cannot turn a whole solid inside out. A piece no vertical probe
// reaches (its facets all upright) that has no boundary of its own (every
// edge of it shared, such as a wall face of a cube joined to others only
// along its edges) is asked by probes along x, then y: the coordinates are
// turned cyclically, which keeps every facet's sense, and back again, the
// planes restored as they were. Any other piece no probe reaches keeps its
// seed's orientation. Facets within kPlaneSide of the probe facet's
// height are ordered against it by their pieces (named by the least facet
// id in each), then by facet id, so the result does not depend on
// addresses, and of two pieces lying on one another exactly one counts
// the other as below at every probe point; heights within kPlaneSide of
// the probe facet's are the one tolerance of the pass. For ties a piece
// does not cross an edge where it folds onto itself (a floor joined to
// the ceiling it lies on), and pieces lying on one another from an edge
// they share are ordered a whole layer at a time (all of one side below
// all of the other; G3SurfaceOrientLayers.cpp finds them). Mark is the
// "oriented" flag and is clear on return. KeepsOrientation asks every
// probe facet, with the crossings any tree could give it, whether the
// pass would turn anything.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GHeap.h"
#include "Geometry/foundation/GObj.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/mesh/G3PassCheck.h"
#include "Geometry/mesh/G3RayProbe.h"
#include "Geometry/processing/G3SurfaceOrientLayers.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

// Dot product of plane and normal sum below which a facet is turned.
constexpr double kAgainstNormals = -1e-6;
// A facet is nearly vertical (no probe crosses it well) when the
// horizontal part of its normal exceeds this share of the normal's length.
constexpr double kNearlyVertical = 0.999;
// Depth of the tree's leaves (the root is depth 1).
constexpr int kTreeDepth = 8;
// A facet whose x-y box covers at most this share of a node's area goes
// down into the node's children.
constexpr double kDescendShare = 0.4;

// Pieces vote with at most this many sure probes, and try at most this
// many probe facets to find them.
constexpr int kProbeVotes = 5;
constexpr int kProbeTries = 16;

// Whether a vertical probe crosses f at all: a plane with c != 0. Such a
// facet is stored in the probe tree however steep it is, so that every
// probe counts it.
bool Crossable(const G3Facet* f) { return f->GetPlaneC() != 0.0; }

// Whether f is inclined enough to start a probe: crossable and not nearly
// vertical (the probe point lies well inside its projection).
bool Probeable(const G3Facet* f)
{
    const double a = f->GetPlaneA();
    const double b = f->GetPlaneB();
    const double c = f->GetPlaneC();
    if (c == 0.0)
        return false;
    const double horizontal = std::sqrt(a * a + b * b);
    const double length = std::sqrt(a * a + b * b + c * c);
    return horizontal <= kNearlyVertical * length;
}

// Area of f's x-y projection (holes subtract): how well a probe through f
// stands clear of its edges. Summed about f's first corner, so that site
// coordinates keep the digits of a small facet's area.
double ProjectedArea(const G3Facet* f)
{
    double twice = 0.0;
    const double* o = nullptr;
    G3ContourWalker w(f);
    while (w.Next()) {
        const double* p = w.GetEntry()->GetXYZ();
        const double* q = w.GetExit()->GetXYZ();
        if (!o)
            o = p;
        twice += (p[0] - o[0]) * (q[1] - o[1]) - (q[0] - o[0]) * (p[1] - o[1]);
    }
    return 0.5 * std::fabs(twice);
}

// A facet filed at a node, with its x-y box widened by twice the in-facet
// tolerance. PointInFacetXY walks corner offsets that are rounded
// differences, and from a point outside the widened box every step lies
// at least the tolerance to one side of the point: no crossing, vertex or
// edge can count (G3FacetLocator skips its contours by the same margin).
// A box with a coordinate that is not finite covers the whole plane.
// The plane and the double-sided flag are copied so that a probe passes
// over the facets above it without reading them from the facet: turning
// a facet negates all four coefficients, which leaves its height over a
// point the same to the last bit.
struct FiledFacet {
    double x0;
    double y0;
    double x1;
    double y1;
    double plane[4];
    G3Facet* facet;
    int index; // the facet's place in the surface's list
    bool doubleSided;
    // Whether the outline is a rectangle (OutlineSteps), once a probe has
    // asked: -1 not yet.
    mutable signed char rectangle;

    bool Holds(double x, double y) const { return !(x < x0 || x > x1 || y < y0 || y > y1); }
    // HeightAt(facet, x, y).
    double Height(double x, double y) const { return -(plane[0] * x + plane[1] * y + plane[3]) / plane[2]; }
};

// How far a filed box reaches beyond the facet's corners.
constexpr double kFiledMargin = 2.0 * GTolerance::kInFacet;

FiledFacet FileFacet(G3Facet* f, int index)
{
    const double wide = kFiledMargin;
    double lo[2] = {HUGE_VAL, HUGE_VAL};
    double hi[2] = {-HUGE_VAL, -HUGE_VAL};
    bool finite = true;
    // The ends of the facet's edges: every corner its contours walk.
    for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
        for (const G3Vertex* v : {e->GetVertex1(), e->GetVertex2()}) {
            if (!v)
                continue;
            const double* p = v->GetXYZ();
            for (int a = 0; a < 2; ++a) {
                finite = finite && std::isfinite(p[a]);
                lo[a] = std::fmin(lo[a], p[a]);
                hi[a] = std::fmax(hi[a], p[a]);
            }
        }
    }
    const double* p = f->GetPlane();
    if (!finite)
        return FiledFacet{-HUGE_VAL, -HUGE_VAL, HUGE_VAL, HUGE_VAL, {p[0], p[1], p[2], p[3]},
                          f,         index,     f->GetDoubleSided(), -1};
    return FiledFacet{lo[0] - wide, lo[1] - wide, hi[0] + wide, hi[1] + wide, {p[0], p[1], p[2], p[3]},
                      f,            index,        f->GetDoubleSided(), -1};
}

// A node's facets, and from the first probe through the node, a grid over
// its region that finds the few whose box holds a point: the upper nodes
// of a tree over a long narrow region (walls seen sideways) hold many
// facets, which every probe through them would otherwise test one by one.
// Boxes and grid are made on demand: a surface of one piece asks a few
// probes only.
class NodeFacets {
public:
    void Add(G3Facet* f, int index)
    {
        facets.push_back(f);
        indexes.push_back(index);
    }

    // Builds the grid over the region rx0..rx1 x ry0..ry1 once.
    void Index(double rx0, double ry0, double rx1, double ry1) const
    {
        if (indexed)
            return;
        indexed = true;
        all.reserve(facets.size());
        for (std::size_t k = 0; k < facets.size(); ++k)
            all.push_back(FileFacet(facets[k], indexes[k]));
        const std::size_t m = all.size();
        if (m < kIndexFrom)
            return;
        const double w = rx1 - rx0;
        const double h = ry1 - ry0;
        if (!(w >= 0.0) || !(h >= 0.0) || !std::isfinite(w) || !std::isfinite(h))
            return;
        // Cells about as large as the facets' boxes along each axis (the
        // median extent within the region), so that a box covers a few
        // cells, and at most kCellsPerFacet per facet. Cells of one per
        // facet shaped like the region were far smaller than the boxes of
        // walls seen sideways, which then all went to `wide`: every probe
        // through the node tested all of them.
        const double cells = static_cast<double>(m);
        const double mw = MedianExtent(0, rx0, rx1);
        const double mh = MedianExtent(1, ry0, ry1);
        double nx = w > 0.0 ? (mw > 0.0 ? w / mw : cells) : 1.0;
        double ny = h > 0.0 ? (mh > 0.0 ? h / mh : cells) : 1.0;
        const double over = nx * ny / (kCellsPerFacet * cells);
        if (over > 1.0) {
            nx /= std::sqrt(over);
            ny /= std::sqrt(over);
        }
        nx = std::fmin(std::fmax(std::floor(nx), 1.0), cells);
        ny = std::fmin(std::fmax(std::floor(ny), 1.0), cells);
        side[0] = static_cast<int>(nx);
        side[1] = static_cast<int>(ny);
        low[0] = rx0;
        low[1] = ry0;
        scale[0] = w > 0.0 ? side[0] / w : 0.0;
        scale[1] = h > 0.0 ? side[1] / h : 0.0;
        // Counting pass, then filling: a facet over more than kWideCells
        // cells is tested by every query instead.
        const std::size_t count = static_cast<std::size_t>(side[0]) * static_cast<std::size_t>(side[1]);
        start.assign(count + 1, 0);
        for (int pass = 0; pass < 2; ++pass) {
            std::vector<int> fill;
            if (pass == 1) {
                for (std::size_t c = 0; c < count; ++c)
                    start[c + 1] += start[c];
                items.resize(static_cast<std::size_t>(start[count]));
                fill.assign(start.begin(), start.end() - 1);
            }
            for (std::size_t k = 0; k < m; ++k) {
                const FiledFacet& f = all[k];
                const int cx0 = Cell(0, f.x0);
                const int cx1 = Cell(0, f.x1);
                const int cy0 = Cell(1, f.y0);
                const int cy1 = Cell(1, f.y1);
                const long long covered = static_cast<long long>(cx1 - cx0 + 1) * (cy1 - cy0 + 1);
                if (covered > kWideCells) {
                    if (pass == 0)
                        wide.push_back(static_cast<int>(k));
                    continue;
                }
                for (int cy = cy0; cy <= cy1; ++cy)
                    for (int cx = cx0; cx <= cx1; ++cx) {
                        const std::size_t c = static_cast<std::size_t>(cy) * static_cast<std::size_t>(side[0]) +
                                              static_cast<std::size_t>(cx);
                        if (pass == 0)
                            ++start[c + 1];
                        else
                            items[static_cast<std::size_t>(fill[c]++)] = static_cast<int>(k);
                    }
            }
        }
        // Each cell's level facets (a = b = 0: the same height over every
        // point) first, lowest first, so that a probe stops at the first
        // one above it.
        level.assign(count, 0);
        for (std::size_t c = 0; c < count; ++c) {
            const auto begin = items.begin() + start[c];
            const auto end = items.begin() + start[c + 1];
            const auto split = std::stable_partition(begin, end, [this](int k) { return Level(k); });
            std::sort(begin, split, [this](int l, int r) {
                const double hl = all[static_cast<std::size_t>(l)].Height(0.0, 0.0);
                const double hr = all[static_cast<std::size_t>(r)].Height(0.0, 0.0);
                return hl != hr ? hl < hr : l < r;
            });
            level[c] = static_cast<int>(split - begin);
        }
    }

    // Calls take(filed) for every filed facet whose box holds (x, y), in no
    // set order, but for level facets above height z (not within
    // kPlaneSide of it), which a probe at z does not count.
    template <class Take> void ForHolding(double x, double y, double z, Take take) const
    {
        if (side[0] == 0 || !std::isfinite(x) || !std::isfinite(y)) {
            for (const FiledFacet& f : all)
                if (f.Holds(x, y))
                    take(f);
            return;
        }
        for (int k : wide)
            if (all[static_cast<std::size_t>(k)].Holds(x, y))
                take(all[static_cast<std::size_t>(k)]);
        const std::size_t c = static_cast<std::size_t>(Cell(1, y)) * static_cast<std::size_t>(side[0]) +
                              static_cast<std::size_t>(Cell(0, x));
        const int levelEnd = start[c] + level[c];
        for (int k = start[c]; k < levelEnd; ++k) {
            const FiledFacet& f = all[static_cast<std::size_t>(items[static_cast<std::size_t>(k)])];
            const double h = f.Height(x, y);
            if (h > z && !(std::fabs(h - z) < GTolerance::kPlaneSide))
                break;
            if (f.Holds(x, y))
                take(f);
        }
        for (int k = levelEnd; k < start[c + 1]; ++k) {
            const FiledFacet& f = all[static_cast<std::size_t>(items[static_cast<std::size_t>(k)])];
            if (f.Holds(x, y))
                take(f);
        }
    }

    const std::vector<G3Facet*>& Facets() const { return facets; }

private:
    // Lists shorter than this are scanned.
    static constexpr std::size_t kIndexFrom = 16;
    static constexpr long long kWideCells = 16;
    static constexpr double kCellsPerFacet = 4.0;

    // A level facet with a height that orders: its plane has a = b = 0,
    // so -(a x + b y + d) / c is -d / c over every finite point.
    bool Level(int k) const
    {
        const FiledFacet& f = all[static_cast<std::size_t>(k)];
        return f.plane[0] == 0.0 && f.plane[1] == 0.0 && !std::isnan(f.Height(0.0, 0.0));
    }

    // The median extent along `axis` of the finite filed boxes, each cut
    // to lo..hi; 0 when there is none.
    double MedianExtent(int axis, double lo, double hi) const
    {
        std::vector<double> extent;
        extent.reserve(all.size());
        for (const FiledFacet& f : all) {
            const double a = axis == 0 ? f.x0 : f.y0;
            const double b = axis == 0 ? f.x1 : f.y1;
            if (std::isfinite(a) && std::isfinite(b))
                extent.push_back(std::fmin(b, hi) - std::fmax(a, lo));
        }
        if (extent.empty())
            return 0.0;
        const auto mid = extent.begin() + static_cast<std::ptrdiff_t>(extent.size() / 2);
        std::nth_element(extent.begin(), mid, extent.end());
        return *mid;
    }

    // Cells are clamped to the grid, so a box and a point beyond the
    // region still meet in the border cells.
    int Cell(int axis, double v) const
    {
        const double q = (v - low[axis]) * scale[axis];
        return !(q > 0.0) ? 0 : (q >= side[axis] - 1 ? side[axis] - 1 : static_cast<int>(q));
    }

    std::vector<G3Facet*> facets;
    std::vector<int> indexes;
    mutable bool indexed = false;
    mutable std::vector<FiledFacet> all;
    mutable int side[2] = {0, 0};
    mutable double low[2] = {0.0, 0.0};
    mutable double scale[2] = {0.0, 0.0};
    mutable std::vector<int> start;
    mutable std::vector<int> items;
    mutable std::vector<int> level; // per cell, how many of its items are level (they come first)
    mutable std::vector<int> wide;
};

// A node of the quadtree over the x-y projection. Children: 0 lower-left,
// 1 upper-left, 2 lower-right, 3 upper-right, made on demand.
class xyTree : public GObj {
    G_DECLARE_POOL(xyTree)
public:
    xyTree(double x0, double y0, double x1, double y1) : x0(x0), y0(y0), x1(x1), y1(y1) {}
    xyTree(const xyTree&) = delete;
    xyTree& operator=(const xyTree&) = delete;
    ~xyTree() override
    {
        for (xyTree* c : child)
            delete c;
    }

    // Stores f (x-y box `box`, place `index` in the surface's list) at this
    // node (depth `depth`) or below.
    void Insert(G3Facet* f, int index, const GEnvelope& box, int depth)
    {
        const double area = (x1 - x0) * (y1 - y0);
        const double facetArea = box.XSize() * box.YSize();
        if (depth >= kTreeDepth || facetArea > kDescendShare * area) {
            list.Add(f, index);
            return;
        }
        const double mx = 0.5 * (x0 + x1);
        const double my = 0.5 * (y0 + y1);
        const bool left = box.GetMin()[0] <= mx;
        const bool right = box.GetMax()[0] >= mx;
        const bool down = box.GetMin()[1] <= my;
        const bool up = box.GetMax()[1] >= my;
        if (left && down)
            Child(0)->Insert(f, index, box, depth + 1);
        if (left && up)
            Child(1)->Insert(f, index, box, depth + 1);
        if (right && down)
            Child(2)->Insert(f, index, box, depth + 1);
        if (right && up)
            Child(3)->Insert(f, index, box, depth + 1);
    }

    // Calls take(filed) for every facet stored on the path to (x, y) whose
    // widened box holds the point, in no set order: the facets whose x-y
    // projection may contain it (the level ones above z left out).
    template <class Take> void ForPath(double x, double y, double z, Take take) const
    {
        for (const xyTree* node = this; node;) {
            node->list.Index(node->x0, node->y0, node->x1, node->y1);
            node->list.ForHolding(x, y, z, take);
            const double mx = 0.5 * (node->x0 + node->x1);
            const double my = 0.5 * (node->y0 + node->y1);
            node = node->child[(x <= mx ? 0 : 2) + (y <= my ? 0 : 1)];
        }
    }

    // Appends to out every single-sided facet stored in a node whose
    // region comes within t of (x, y), each once (in no set order: a probe
    // only counts them): the facets a probe there could meet in a tree of
    // any shape among them.
    void CollectNear(double x, double y, double t, std::vector<G3Facet*>& out) const
    {
        const std::size_t first = out.size();
        CollectNearFrom(x, y, t, out);
        std::sort(out.begin() + static_cast<std::ptrdiff_t>(first), out.end(), std::less<G3Facet*>());
        out.erase(std::unique(out.begin() + static_cast<std::ptrdiff_t>(first), out.end()), out.end());
    }

private:
    void CollectNearFrom(double x, double y, double t, std::vector<G3Facet*>& out) const
    {
        if (x + t < x0 || x - t > x1 || y + t < y0 || y - t > y1)
            return;
        for (G3Facet* f : list.Facets())
            if (!f->GetDoubleSided())
                out.push_back(f);
        for (const xyTree* c : child)
            if (c)
                c->CollectNearFrom(x, y, t, out);
    }

    xyTree* Child(int k)
    {
        if (!child[k]) {
            const double mx = 0.5 * (x0 + x1);
            const double my = 0.5 * (y0 + y1);
            const bool right = k >= 2;
            const bool upper = (k & 1) != 0;
            child[k] = new xyTree(right ? mx : x0, upper ? my : y0, right ? x1 : mx, upper ? y1 : my);
        }
        return child[k];
    }

    double x0;
    double y0;
    double x1;
    double y1;
    NodeFacets list;
    xyTree* child[4] = {nullptr, nullptr, nullptr, nullptr};
};

G_DEFINE_POOL(xyTree, "xyTree", 4096)

// The x-y outlines of the facets a tree files, as the point-in-facet walk
// steps through them, with their ends' coordinates copied: a facet below
// a crowded probe line (a row of walls seen sideways) is tested by every
// probe through the row, and walking its edge chain each time cost more
// than all else. Made per facet on its first test and, where facets may
// be turned while the tree stands, again after the facet has been turned
// (NegPlane turns its chain with its plane, so the sign of c tells the way
// the steps were taken). The answer is
// PointInFacetXY's: the same steps in the same order under the same
// crossing rule; only whether the point lies on the boundary is kept.
// An outline of four axis-parallel steps round its box (a wall seen
// sideways) answers a point farther than kDeepInside inside every side at
// once: there each corner is more than the tolerance off the ray's line
// and the point, the two sides along the ray count nothing, the side
// behind nothing and the one ahead one crossing, so the walk would say
// inside, off the boundary.
class OutlineSteps {
public:
    OutlineSteps(int facets, bool turning)
        : range(static_cast<std::size_t>(facets > 0 ? facets : 0), Range{-1, -1, -1, false}), turning(turning)
    {
    }

    // Whether the filed facet's x-y projection contains p (within the
    // in-facet tolerance); *on tells whether p lies on its boundary.
    bool Contains(const FiledFacet& filed, const double* p, bool* on)
    {
        *on = false;
        if (filed.index < 0 || static_cast<std::size_t>(filed.index) >= range.size()) {
            G3Vertex* onA = nullptr;
            const bool in = filed.facet->PointInFacetXY(p, &onA, nullptr);
            *on = onA != nullptr;
            return in;
        }
        // A rectangle's filed box is its own widened by kFiledMargin: one
        // more such width covers the rounding of both.
        const double deep = 2.0 * kFiledMargin + kDeepInside;
        if (filed.rectangle > 0 && p[0] > filed.x0 + deep && p[0] < filed.x1 - deep && p[1] > filed.y0 + deep &&
            p[1] < filed.y1 - deep)
            return true;
        Range& r = range[static_cast<std::size_t>(filed.index)];
        if (r.first < 0 || (turning && r.up != (filed.facet->GetPlaneC() > 0.0)))
            r = Walk(filed.facet);
        filed.rectangle = r.rect >= 0 ? 1 : 0;
        if (r.rect >= 0) {
            const Rect& b = rects[static_cast<std::size_t>(r.rect)];
            if (p[0] > b.x0 + kDeepInside && p[0] < b.x1 - kDeepInside && p[1] > b.y0 + kDeepInside &&
                p[1] < b.y1 - kDeepInside)
                return true;
        }
        using namespace G3RayProbe;
        const RayProbe probe(0, 1, p, GTolerance::kInFacet);
        int crossings = 0;
        for (int k = r.first; k < r.end; ++k) {
            const Step& s = steps[static_cast<std::size_t>(k)];
            const Corner from = probe.Make(s.from, nullptr);
            if (s.opens && RayProbe::OnPoint(from)) {
                *on = true;
                return true;
            }
            switch (probe.Edge(from, probe.Make(s.to, nullptr))) {
            case STEP_ON_VERTEX:
            case STEP_ON_EDGE:
                *on = true;
                return true;
            case STEP_CROSSING:
                ++crossings;
                break;
            case STEP_NOTHING:
                break;
            }
        }
        return (crossings & 1) != 0;
    }

private:
    // A step between two corners; a step missing an end has no geometry
    // and is left out, as the walk passes over it.
    struct Step {
        double from[2];
        double to[2];
        bool opens; // from is the first corner of its contour
    };
    struct Range {
        int first;
        int end;
        int rect; // the outline's box in rects when it is that box, else -1
        bool up;  // c > 0 when the steps were taken
    };
    struct Rect {
        double x0;
        double y0;
        double x1;
        double y1;
    };
    static constexpr double kDeepInside = 4.0 * GTolerance::kInFacet;

    Range Walk(const G3Facet* f)
    {
        Range r{static_cast<int>(steps.size()), 0, -1, f->GetPlaneC() > 0.0};
        G3ContourWalker w(f);
        while (w.Next()) {
            const G3Vertex* a = w.GetEntry();
            const G3Vertex* b = w.Closes() ? w.GetContourStart() : w.GetExit();
            if (!a || !b)
                continue;
            steps.push_back(Step{{a->GetXYZ()[0], a->GetXYZ()[1]}, {b->GetXYZ()[0], b->GetXYZ()[1]}, w.Opens()});
        }
        r.end = static_cast<int>(steps.size());
        if (IsRectangle(r)) {
            const Step& s = steps[static_cast<std::size_t>(r.first)];
            Rect b{s.from[0], s.from[1], s.from[0], s.from[1]};
            for (int k = r.first; k < r.end; ++k) {
                const double* q = steps[static_cast<std::size_t>(k)].to;
                b = Rect{std::fmin(b.x0, q[0]), std::fmin(b.y0, q[1]), std::fmax(b.x1, q[0]), std::fmax(b.y1, q[1])};
            }
            r.rect = static_cast<int>(rects.size());
            rects.push_back(b);
        }
        return r;
    }

    // Four steps, one contour, each going on from where the last one ended
    // (the fourth back to the first's start), each along x or along y by a
    // finite non-zero length, turning at every corner: a rectangle
    // traversed once.
    bool IsRectangle(const Range& r) const
    {
        if (r.end - r.first != 4)
            return false;
        for (int k = 0; k < 4; ++k) {
            const Step& s = steps[static_cast<std::size_t>(r.first + k)];
            const Step& t = steps[static_cast<std::size_t>(r.first + (k + 1) % 4)];
            if (s.opens != (k == 0) || s.to[0] != t.from[0] || s.to[1] != t.from[1])
                return false;
            const double dx = s.to[0] - s.from[0];
            const double dy = s.to[1] - s.from[1];
            const double tx = t.to[0] - t.from[0];
            if (!std::isfinite(dx) || !std::isfinite(dy) || (dx == 0.0) == (dy == 0.0) || (dx == 0.0) == (tx == 0.0))
                return false;
        }
        return true;
    }

    std::vector<Range> range; // per facet of the surface; first -1 before its first walk
    std::vector<Step> steps;
    std::vector<Rect> rects;
    bool turning; // facets may be turned between tests
};

// The probe tree and the outlines of the facets it files.
// A piece as ties order it: its facets, its name (the least facet id in
// it) and how far it leans below (PieceLean), once asked.
struct TiePiece {
    std::vector<G3Facet*> facets;
    long name = 0;
    int lean = 0;
    bool leaned = false;
    int layer = -1;        // its TieLayer once explored, -1 before
    signed char side = 0;  // which of the layer's two sides it lies on
};

// Pieces joined by lying on one another (PiecesLyingOn), each on one of
// two sides: the pieces of a plane of rooms' ceilings on one, the floors
// lying on them on the other. `consistent`: no two pieces on one side lie
// on one another (else the layer does not order its pieces). Its sides'
// leans summed and least names, once asked.
struct TieLayer {
    std::vector<std::size_t> members;
    bool consistent = true;
    bool summed = false;
    long lean[2] = {0, 0};
    long name[2] = {0, 0};
};

struct CrossingIndex {
    CrossingIndex(G3Surface* s, xyTree* tree, int facets, bool turning)
        : surface(s), tree(tree), outlines(facets, turning)
    {
    }
    G3Surface* surface;
    std::unique_ptr<xyTree> tree;
    OutlineSteps outlines;
    // Each facet's piece (its place in `pieces`); the pieces are found at
    // the first tie, as most surfaces have none, and each one's lean when
    // a tie first asks for it.
    mutable std::unordered_map<const G3Facet*, std::size_t> pieceOf;
    mutable std::vector<TiePiece> pieces;
    mutable std::vector<TieLayer> layers;
    mutable bool named = false;

    // Whether h, tied in height with the probe facet p, counts as below
    // it: by piece first, then by id. Two pieces lying on one another are
    // then ordered alike by every probe of either: ordered by facet id, a
    // piece whose facets' ids interleave with the other's (triangulations
    // of one face added in any order) could count it below at some probe
    // points and above at others, and both pieces came out facing alike.
    bool TiedBelow(const G3Facet* h, const G3Facet* p) const;

private:
    void Lean(std::size_t k) const;
    // Whether piece i counts as below piece j by their layer: false when
    // they are not on the two sides of one consistent layer.
    bool LayerOrders(std::size_t i, std::size_t j, bool* below) const;
};

void NamePieces(G3Surface* s, std::unordered_map<const G3Facet*, std::size_t>& names, std::vector<TiePiece>& pieces);
int PieceLean(const TiePiece& piece, const std::unordered_map<const G3Facet*, std::size_t>& names);

bool CrossingIndex::TiedBelow(const G3Facet* h, const G3Facet* p) const
{
    if (!named) {
        NamePieces(surface, pieceOf, pieces);
        named = true;
    }
    const auto a = pieceOf.find(h);
    const auto b = pieceOf.find(p);
    if (a != pieceOf.end() && b != pieceOf.end() && a->second != b->second) {
        bool below = false;
        if (LayerOrders(a->second, b->second, &below))
            return below;
        // The piece leaning further below is the top of what lies below it.
        Lean(a->second);
        Lean(b->second);
        const TiePiece& x = pieces[a->second];
        const TiePiece& y = pieces[b->second];
        if (x.lean != y.lean)
            return x.lean > y.lean;
        return x.name < y.name;
    }
    return h->GetId() < p->GetId();
}

void CrossingIndex::Lean(std::size_t k) const
{
    if (!pieces[k].leaned) {
        pieces[k].lean = PieceLean(pieces[k], pieceOf);
        pieces[k].leaned = true;
    }
}

// A floor lying on parts of two ceilings (each storey split into rooms its
// own way) may lean as far below as one of them: ordered pair by pair, it
// came below that one and above the other, and one of the three came out
// facing the wrong way. The pieces lying on one another are taken
// together instead: all of one side below all of the other, the side whose
// leans sum further below first (the lesser least name on a tie), so every
// probe of the layer orders it alike.
bool CrossingIndex::LayerOrders(std::size_t i, std::size_t j, bool* below) const
{
    if (pieces[i].layer < 0) {
        const int index = static_cast<int>(layers.size());
        layers.emplace_back();
        pieces[i].layer = index;
        pieces[i].side = 0;
        std::vector<std::size_t> on;
        std::vector<std::size_t>& members = layers.back().members;
        members.push_back(i);
        for (std::size_t q = 0; q < members.size(); ++q) {
            const std::size_t k = members[q];
            on.clear();
            g3orient::PiecesLyingOn(pieces[k].facets, k, pieceOf, on);
            for (const std::size_t m : on) {
                if (pieces[m].layer < 0) {
                    pieces[m].layer = index;
                    pieces[m].side = static_cast<signed char>(1 - pieces[k].side);
                    members.push_back(m);
                } else if (pieces[m].layer != index || pieces[m].side == pieces[k].side) {
                    layers[static_cast<std::size_t>(index)].consistent = false;
                }
            }
        }
    }
    const TiePiece& x = pieces[i];
    const TiePiece& y = pieces[j];
    if (x.layer != y.layer || x.side == y.side)
        return false;
    TieLayer& l = layers[static_cast<std::size_t>(x.layer)];
    if (!l.consistent)
        return false;
    if (!l.summed) {
        bool first[2] = {true, true};
        for (const std::size_t k : l.members) {
            Lean(k);
            const int side = pieces[k].side;
            l.lean[side] += pieces[k].lean;
            l.name[side] = first[side] ? pieces[k].name : std::min(l.name[side], pieces[k].name);
            first[side] = false;
        }
        l.summed = true;
    }
    const int lower = l.lean[0] != l.lean[1] ? (l.lean[0] > l.lean[1] ? 0 : 1) : (l.name[0] < l.name[1] ? 0 : 1);
    *below = x.side == lower;
    return true;
}

// Height of f's plane over (x, y); f is probeable (c != 0).
double HeightAt(const G3Facet* f, double x, double y)
{
    return -(f->GetPlaneA() * x + f->GetPlaneB() * y + f->GetPlaneD()) / f->GetPlaneC();
}

// Whether OrientNormals turns f: its plane faces away from the sum of its
// corners' normals.
bool AgainstItsNormals(G3Facet* f)
{
    double sum[3] = {0.0, 0.0, 0.0};
    G3FacetVertexIterator it(f);
    while (G3Vertex* v = it.NextVertex()) {
        G3TexCoo* t = nullptr;
        if (const G3Normal* n = f->GetNormal(v, &t)) {
            for (int c = 0; c < 3; ++c)
                sum[c] += n->GetXYZ()[c];
        }
    }
    const double* p = f->GetPlane();
    return p[0] * sum[0] + p[1] * sum[1] + p[2] * sum[2] < kAgainstNormals;
}

} // namespace

bool G3Surface::OrientNormals()
{
    G3_CHECK_PASS(this, "OrientNormals");
    if (!HasGeometry())
        return false;
    FormPlaneEquation();
    for (int k = 0; k < GetFacetCount(); ++k)
        if (AgainstItsNormals(GetFacet(k)))
            GetFacet(k)->NegPlane();
    return true;
}

bool G3Surface::TurnNormalsToFacets()
{
    bool turned = false;
    std::vector<G3Vertex*> corners;
    for (int k = 0; k < GetFacetCount(); ++k) {
        G3Facet* f = GetFacet(k);
        if (!AgainstItsNormals(f))
            continue;
        corners.clear();
        G3FacetVertexIterator it(f);
        while (G3Vertex* v = it.NextVertex())
            corners.push_back(v);
        for (G3Vertex* v : corners) {
            G3TexCoo* t = nullptr;
            const G3Normal* n = f->GetNormal(v, &t);
            if (!n)
                continue;
            // 0 - x: a zero component stays +0 (written "0", not "-0").
            const double* x = n->GetXYZ();
            f->SetNormal(v, AddNormal(0.0 - x[0], 0.0 - x[1], 0.0 - x[2]), t, false);
            turned = true;
        }
    }
    if (turned)
        RemoveEqualsNormal();
    G3_CHECK_PASS(this, "TurnNormalsToFacets");
    return turned;
}

namespace {

// The other facet of f's manifold edge e, sided as f is, marked or not;
// null when none.
G3Facet* PieceNeighbour(G3Facet* f, G3Edge* e)
{
    G3Vertex* a = e->GetVertex1();
    G3Vertex* b = e->GetVertex2();
    if (!a || !b || a->GetEdgeCount2(b) >= 3)
        return nullptr;
    G3Facet* g = e->GetFacet1() == f ? e->GetFacet2() : e->GetFacet1();
    if (!g || g == f || g->GetDoubleSided() != f->GetDoubleSided())
        return nullptr;
    return g;
}
// The facet the spread reaches from f across its edge e: the other facet
// of a manifold edge, not yet marked, sided as f is; null when none.
G3Facet* SpreadNeighbour(G3Facet* f, G3Edge* e)
{
    G3Facet* g = PieceNeighbour(f, e);
    return g && !g->GetMark() ? g : nullptr;
}
// How far a piece leans below: over the edges where it meets other
// facets (three sides or more), the facets of other pieces reaching below
// it less those reaching above. A floor lying on part of a ceiling meets
// the walls of the room above it all round, the ceiling those of the room
// below, so the ceiling leans further below, wherever the two are probed.
int PieceLean(const TiePiece& piece, const std::unordered_map<const G3Facet*, std::size_t>& names)
{
    int lean = 0;
    GArrayCollection along;
    const std::size_t own = names.at(piece.facets.front());
    // Below and above along the vertical, measured from the piece's plane
    // (the way a probe crosses it, whatever the piece's sense).
    const double* q = piece.facets.front()->GetPlane();
    const double up = q[2] < 0.0 ? -1.0 : 1.0;
    for (G3Facet* f : piece.facets) {
        for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
            G3Vertex* a = e->GetVertex1();
            G3Vertex* b = e->GetVertex2();
            if (!a || !b || G3Surface::GetCountEdges(a, b, &along) < 3)
                continue;
            for (int i = 0; i < along.size(); ++i) {
                const G3Edge* x = static_cast<const G3Edge*>(along.get(i));
                for (G3Facet* g : {x->GetFacet1(), x->GetFacet2()}) {
                    const auto at = g ? names.find(g) : names.end();
                    if (at == names.end() || at->second == own)
                        continue;
                    double reach = 0.0;
                    G3FacetVertexIterator it(g);
                    while (it.hasNext()) {
                        const double* v = it.NextVertex()->GetXYZ();
                        const double dz = up * (q[0] * v[0] + q[1] * v[1] + q[2] * v[2] + q[3]);
                        if (std::fabs(dz) > std::fabs(reach))
                            reach = dz;
                    }
                    if (reach < -GTolerance::kPlaneSide)
                        ++lean;
                    else if (reach > GTolerance::kPlaneSide)
                        --lean;
                }
            }
        }
    }
    return lean;
}

// Finds every facet's piece (the spread's, which does not depend on the
// facets' senses, but not across an edge where the two facets lie on one
// another: a floor and the ceiling it lies on, joined along an edge whose
// walls were dropped as back-to-back pairs, are two pieces here; as one,
// their facets were tied by id, and the folded piece turned by chance)
// and names it by the least facet id in it; marks are not used, so the
// pass may ask with its facets marked.
void NamePieces(G3Surface* s, std::unordered_map<const G3Facet*, std::size_t>& names, std::vector<TiePiece>& pieces)
{
    names.clear();
    names.reserve(static_cast<std::size_t>(s->GetFacetCount()));
    pieces.clear();
    for (int k = 0; k < s->GetFacetCount(); ++k) {
        G3Facet* seed = s->GetFacet(k);
        const std::size_t index = pieces.size();
        if (!names.emplace(seed, index).second)
            continue;
        TiePiece piece;
        piece.facets.push_back(seed);
        piece.name = seed->GetId();
        for (std::size_t q = 0; q < piece.facets.size(); ++q) {
            G3Facet* f = piece.facets[q];
            for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
                G3Facet* g = PieceNeighbour(f, e);
                if (g && !g3orient::LieOnOneAnother(f, e, g, e) && names.emplace(g, index).second) {
                    piece.facets.push_back(g);
                    piece.name = std::min(piece.name, g->GetId());
                }
            }
        }
        pieces.push_back(std::move(piece));
    }
}

// Starts a piece at `seed` unless a piece holds it already (marked).
bool StartPiece(G3Facet* seed, GArrayCollection& piece)
{
    if (seed->GetMark())
        return false;
    seed->SetMark();
    piece.clear();
    piece.add(seed);
    return true;
}

} // namespace

namespace {

// The way each long facet runs along its edges, from one walk over its
// contours, kept until the facet is turned (NegPlane turns its chain): the
// spread asked a slab with thousands of holes for each of its edges, and
// each neighbour standing on it once more, and every answer walked the
// slab's contours from their start. The answer is the first pass's over an
// edge the chain passes twice, as GetMoveDirection's.
class MoveDirections {
public:
    bool Of(const G3Facet* f, const G3Edge* e)
    {
        if (!f->HasEdgesAtLeast(kLongChain))
            return f->GetMoveDirection(e);
        std::unordered_map<const G3Edge*, bool>& way = ways[f];
        if (way.empty()) {
            G3ContourWalker w(f);
            while (w.Next()) {
                const G3Vertex* entry = w.GetEntry();
                way.emplace(w.GetEdge(), entry && entry == w.GetEdge()->GetVertex1());
            }
        }
        const auto it = way.find(e);
        return it != way.end() && it->second;
    }
    void Forget(const G3Facet* f) { ways.erase(f); }
    void Clear() { ways.clear(); }

private:
    static constexpr int kLongChain = 64;
    std::unordered_map<const G3Facet*, std::unordered_map<const G3Edge*, bool>> ways;
};

// OrientNormal2 with the directions kept.
void SpreadOrientation(G3Facet* f, GArrayCollection* queue, MoveDirections& ways)
{
    for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
        G3Facet* g = SpreadNeighbour(f, e);
        if (!g)
            continue;
        if (ways.Of(f, e) == ways.Of(g, e)) {
            g->NegPlane();
            ways.Forget(g);
        }
        g->SetMark();
        queue->add(g);
    }
}

} // namespace

void G3Surface::OrientNormal2(G3Facet* f, GArrayCollection* queue)
{
    for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
        G3Facet* g = SpreadNeighbour(f, e);
        if (!g)
            continue;
        if (f->GetMoveDirection(e) == g->GetMoveDirection(e))
            g->NegPlane();
        g->SetMark();
        queue->add(g);
    }
}

namespace {

// One probe's answer for a piece.
struct ProbeVote {
    bool cast = false; // the probe crossed its facet
    bool sure = false; // no crossing at or below the facet was in doubt
    bool turn = false; // the piece must be turned
};

// How near a facet's stored place must come to a probe point for
// KeepsOrientation to test the facet: a few times the distance within
// which PointInFacetXY answers "on the boundary", so that every facet a
// probe may count in a tree of any extent is tested.
constexpr double kNearProbe = 4.0 * GTolerance::kInFacet;

// Shoots the vertical probe through p (single-sided, probeable) and tells
// whether p faces the way the crossings below it say. With `near`, the
// crossings are every facet that a tree of any extent could give the
// probe (stored near the point, containing it within PointInFacetXY's
// tolerance).
ProbeVote Probe(CrossingIndex& index, G3Facet* p, std::vector<G3Facet*>& hits, bool near = false)
{
    ProbeVote vote;
    double x = 0.0;
    double y = 0.0;
    if (!p->GenerateXYPointInFacetConcave(x, y))
        return vote;
    const double z = HeightAt(p, x, y);
    const double point[3] = {x, y, 0.0};
    int below = 0;
    bool sure = true;
    bool found = false;
    // The crossings are the facets whose projection contains the point; a
    // facet above p's height (and not tied with it) counts for nothing, so
    // it is not asked.
    // Near, the facets come unfiled: no box (the probe asks every one) and
    // no outline kept.
    const auto cross = [&](const FiledFacet& filed) {
        G3Facet* h = filed.facet;
        if (filed.doubleSided)
            return;
        bool on = false;
        if (h == p) {
            found = found || index.outlines.Contains(filed, point, &on);
            return;
        }
        const double hz = filed.Height(x, y);
        const bool tie = std::fabs(hz - z) < GTolerance::kPlaneSide;
        if (hz > z && !tie)
            return;
        if (!index.outlines.Contains(filed, point, &on))
            return;
        if (tie || on)
            sure = false;
        // Ordered by height, facets tied with p by piece and id (TiedBelow).
        // Tied facets compared by their rounded heights could
        // each count the other as below (two facets lying on one another,
        // probed at different points of planes a last bit apart): both
        // then came out facing alike, the way no solid can be crossed.
        if (tie ? index.TiedBelow(h, p) : hz < z)
            ++below;
    };
    if (near) {
        hits.clear();
        index.tree->CollectNear(x, y, kNearProbe, hits);
        for (G3Facet* f : hits) {
            const double* q = f->GetPlane();
            cross(FiledFacet{0.0, 0.0, 0.0, 0.0, {q[0], q[1], q[2], q[3]}, f, -1, f->GetDoubleSided(), -1});
        }
    } else {
        index.tree->ForPath(x, y, z, cross);
    }
    if (!found)
        return vote;
    // The lowest crossing enters the solid: an even count below means p
    // is a way in and must face down.
    const bool faceDown = below % 2 == 0;
    vote.cast = true;
    vote.sure = sure;
    vote.turn = faceDown ? p->GetPlaneC() > 0.0 : p->GetPlaneC() < 0.0;
    return vote;
}

// Whether the piece (its facets consistent with each other) must be turned:
// the majority of its sure votes, else of its unsure ones, the first
// (largest) probe breaking a tie; false when no probe crossed (`voted`
// then false).
bool PieceTurns(CrossingIndex& index, const GArrayCollection& piece, std::vector<G3Facet*>& hits,
                std::vector<std::pair<double, G3Facet*>>& candidates, bool* voted = nullptr)
{
    if (voted)
        *voted = false;
    // Candidates spread over the piece: the first probe facet at or after
    // each of kProbeTries evenly spaced places of the spread's order, then
    // the largest in projection first.
    candidates.clear();
    const int size = piece.size();
    const int places = std::min(size, kProbeTries);
    for (int k = 0; k < places; ++k) {
        const int end = static_cast<int>((static_cast<long long>(k) + 1) * size / places);
        for (int q = static_cast<int>(static_cast<long long>(k) * size / places); q < end; ++q) {
            G3Facet* f = static_cast<G3Facet*>(piece.get(q));
            if (!f->GetDoubleSided() && Probeable(f)) {
                candidates.emplace_back(ProjectedArea(f), f);
                break;
            }
        }
    }
    const std::size_t tries = candidates.size();
    std::sort(candidates.begin(), candidates.end(), [](const auto& l, const auto& r) {
        if (l.first != r.first)
            return l.first > r.first;
        return l.second->GetId() < r.second->GetId();
    });
    int sure[2] = {0, 0};
    int unsure[2] = {0, 0};
    int firstSure = -1;
    int firstUnsure = -1;
    for (std::size_t k = 0; k < tries && sure[0] + sure[1] < kProbeVotes; ++k) {
        const ProbeVote v = Probe(index, candidates[k].second, hits);
        if (!v.cast)
            continue;
        int* tally = v.sure ? sure : unsure;
        int& first = v.sure ? firstSure : firstUnsure;
        ++tally[v.turn ? 1 : 0];
        if (first < 0)
            first = v.turn ? 1 : 0;
    }
    const int* tally = sure[0] + sure[1] > 0 ? sure : unsure;
    const int first = sure[0] + sure[1] > 0 ? firstSure : firstUnsure;
    if (tally[0] + tally[1] == 0)
        return false;
    if (voted)
        *voted = true;
    if (tally[0] != tally[1])
        return tally[1] > tally[0];
    return first == 1;
}

// The facets a probe's ray may cross, filed by their plan boxes (the
// last facet first); `turning`: facets may be turned while it stands.
std::unique_ptr<CrossingIndex> CrossableTree(G3Surface* s, bool turning)
{
    GEnvelope env;
    s->FormEnvelope(&env);
    auto index = std::make_unique<CrossingIndex>(s,
        new xyTree(env.GetMin()[0], env.GetMin()[1], env.GetMax()[0], env.GetMax()[1]), s->GetFacetCount(), turning);
    for (int k = s->GetFacetCount() - 1; k >= 0; --k) {
        G3Facet* f = s->GetFacet(k);
        if (!Crossable(f))
            continue;
        GEnvelope box;
        f->FormEnvelope(&box);
        index->tree->Insert(f, k, box, 1);
    }
    return index;
}

// Every edge of the piece has a facet on each side (or more): the piece is
// a part of a closed surface cut off by edges where several facets meet.
bool WithoutBoundary(const GArrayCollection& piece)
{
    for (int q = 0; q < piece.size(); ++q) {
        G3Facet* f = static_cast<G3Facet*>(piece.get(q));
        for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
            G3Vertex* a = e->GetVertex1();
            G3Vertex* b = e->GetVertex2();
            if (!a || !b || a->GetEdgeCount2(b) < 2)
                return false;
        }
    }
    return true;
}

// (x, y, z) becomes (y, z, x) at every vertex: a turn about the diagonal,
// so a probe along the new z runs along the old x. Three of them give
// back the coordinates bit for bit.
void TurnAxes(G3Surface* s)
{
    for (int k = 0; k < s->GetVertexCount(); ++k) {
        double* p = s->GetVertex(k)->GetXYZ();
        const double x = p[0];
        p[0] = p[1];
        p[1] = p[2];
        p[2] = x;
    }
}

// Probes along x, then y, for the pieces no vertical probe reached (their
// facets in `facets`, piece k from starts[k] to starts[k + 1]); turns the
// pieces they find inside out.
void ProbeSideways(G3Surface* s, const std::vector<G3Facet*>& facets, const std::vector<std::size_t>& starts)
{
    const int n = s->GetFacetCount();
    std::vector<double> planes(4 * static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k)
        std::copy(s->GetFacet(k)->GetPlane(), s->GetFacet(k)->GetPlane() + 4, &planes[4 * static_cast<std::size_t>(k)]);
    const std::size_t pieces = starts.size() - 1;
    std::vector<char> verdict(pieces, -1);  // -1 open, 0 keep, 1 turn
    std::vector<G3Facet*> hits;
    std::vector<std::pair<double, G3Facet*>> candidates;
    GArrayCollection piece;
    for (int turn = 1; turn <= 3; ++turn) {
        TurnAxes(s);
        if (turn == 3)
            break;
        s->FormPlaneEquation();
        const std::unique_ptr<CrossingIndex> index = CrossableTree(s, false);
        for (std::size_t p = 0; p < pieces; ++p) {
            if (verdict[p] >= 0)
                continue;
            piece.clear();
            for (std::size_t q = starts[p]; q < starts[p + 1]; ++q)
                piece.add(facets[q]);
            bool voted = false;
            const bool turns = PieceTurns(*index, piece, hits, candidates, &voted);
            if (voted)
                verdict[p] = turns ? 1 : 0;
        }
    }
    for (int k = 0; k < n; ++k)
        s->GetFacet(k)->SetPlane(&planes[4 * static_cast<std::size_t>(k)]);
    for (std::size_t p = 0; p < pieces; ++p)
        if (verdict[p] == 1)
            for (std::size_t q = starts[p]; q < starts[p + 1]; ++q)
                facets[q]->NegPlane();
}

} // namespace

bool G3Surface::OrientNormals2(bool force)
{
    G3_CHECK_PASS(this, "OrientNormals2");
    if (!force && HasGeometry()) {
        OrientNormals();
        return true;
    }
    FormPlaneEquation();
    const int n = GetFacetCount();
    if (n == 0)
        return true;
    std::unique_ptr<CrossingIndex> index = CrossableTree(this, true);

    std::vector<G3Facet*> hits;
    std::vector<std::pair<double, G3Facet*>> candidates;
    GArrayCollection piece;
    std::vector<G3Facet*> upright;
    std::vector<std::size_t> uprightStarts{0};
    MoveDirections ways;
    for (int k = n - 1; k >= 0; --k) {
        if (!StartPiece(GetFacet(k), piece))
            continue;
        for (int q = 0; q < piece.size(); ++q)
            SpreadOrientation(static_cast<G3Facet*>(piece.get(q)), &piece, ways);
        ways.Clear();
        bool voted = false;
        if (PieceTurns(*index, piece, hits, candidates, &voted))
            for (int q = 0; q < piece.size(); ++q)
                static_cast<G3Facet*>(piece.get(q))->NegPlane();
        if (!voted && WithoutBoundary(piece)) {
            for (int q = 0; q < piece.size(); ++q)
                upright.push_back(static_cast<G3Facet*>(piece.get(q)));
            uprightStarts.push_back(upright.size());
        }
    }
    index.reset();
    if (!upright.empty())
        ProbeSideways(this, upright, uprightStarts);
    ChangeFacetFlags(static_cast<int>(G3Obj::FLAG_MARK), false);
    UnionFacets(4);
    return true;
}

bool G3Surface::KeepsOrientation()
{
    // With corner normals on the first facet the pass is OrientNormals,
    // which asks each facet alone; the first facet changes as pieces go, so
    // every facet must lead there.
    if (HasGeometry()) {
        for (int k = 0; k < GetFacetCount(); ++k)
            if (!GetFacet(k)->HasGeometry() || AgainstItsNormals(GetFacet(k)))
                return false;
        return true;
    }
    for (int k = 0; k < GetFacetCount(); ++k)
        if (GetFacet(k)->HasGeometry())
            return false;
    // The spread turns a neighbour that runs along the shared edge the way
    // its facet does.
    for (int k = 0; k < GetEdgeCount(); ++k) {
        G3Edge* e = GetEdge(k);
        G3Vertex* a = e->GetVertex1();
        G3Vertex* b = e->GetVertex2();
        G3Facet* f = e->GetFacet1();
        G3Facet* g = e->GetFacet2();
        if (!a || !b || a->GetEdgeCount2(b) >= 3 || !f || !g || f == g || f->GetDoubleSided() != g->GetDoubleSided())
            continue;
        if (f->GetMoveDirection(e) == g->GetMoveDirection(e))
            return false;
    }
    const int n = GetFacetCount();
    if (n == 0)
        return true;
    std::unique_ptr<CrossingIndex> index = CrossableTree(this, false);
    // A sure vote stays sure as facets go, and keeps its parity while
    // what goes is closed and wholly above or below the probe point.
    bool settled = true;
    std::vector<G3Facet*> hits;
    std::unordered_set<const G3Facet*> casting;
    for (int k = 0; k < n && settled; ++k) {
        G3Facet* p = GetFacet(k);
        if (p->GetDoubleSided() || !Probeable(p))
            continue;
        const ProbeVote v = Probe(*index, p, hits, true);
        settled = !v.cast || (v.sure && !v.turn);
        if (v.cast)
            casting.insert(p);
    }
    index.reset();
    // A piece without a boundary that no vertical probe reaches is asked
    // sideways, which this test does not follow: it counts as unsettled.
    GArrayCollection piece;
    for (int k = 0; k < n && settled; ++k) {
        G3Facet* seed = GetFacet(k);
        if (!StartPiece(seed, piece))
            continue;
        bool cast = false;
        for (int q = 0; q < piece.size(); ++q) {
            G3Facet* f = static_cast<G3Facet*>(piece.get(q));
            cast = cast || casting.count(f) > 0;
            for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
                if (G3Facet* g = SpreadNeighbour(f, e)) {
                    g->SetMark();
                    piece.add(g);
                }
            }
        }
        settled = cast || seed->GetDoubleSided() || !WithoutBoundary(piece);
    }
    ChangeFacetFlags(static_cast<int>(G3Obj::FLAG_MARK), false);
    return settled;
}

void G3Surface::FindEdgeOrientation(G3Edge* a, G3Edge* b, bool* aUp, bool* bUp)
{
    if (!a || !b || !a->GetVertex1() || !a->GetVertex2() || !b->GetVertex1() || !b->GetVertex2())
        return;
    GEnvelope box;
    GEnvelope other;
    a->FormEnvelope(&box);
    b->FormEnvelope(&other);
    box.Add(&other);
    const int axis = box.GetMaxCoo();
    if (aUp)
        *aUp = a->GetVertex2()->GetXYZ()[axis] > a->GetVertex1()->GetXYZ()[axis];
    if (bUp)
        *bUp = b->GetVertex2()->GetXYZ()[axis] > b->GetVertex1()->GetXYZ()[axis];
}
