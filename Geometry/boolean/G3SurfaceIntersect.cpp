// The pairing pass: facet pairs whose widened boxes meet are cut against
// each other's planes, and each facet of a pair records the segments the
// two share. Invariants:
// - a pair is tested only when both facets have records, non-zero planes
//   and meeting boxes; a facet is never paired with itself;
// - a segment is recorded on both facets of its pair, or on neither;
// - candidates are taken in facet index order, so what a facet records,
//   and in which order, does not depend on the box index's cells;
// - the box index lives only for the pass (the calculator's grid is null
//   after).
// Rounding: the crossing points of the plane cuts (IntersectByPlaneConcave)
// and the meeting points of two edges (CrossingOfEdges) are the only
// computed coordinates; a crossing on an edge that runs through a corner
// of the other facet is that corner (CrossingsOnCorners; as far along the
// edge as it stays within the side band of the other plane), an end of an
// overlap where two edges pass through one corner at a shallow angle is
// that corner (CornerOfPassingEdges), one on an edge
// passing an edge of the other facet is where the two edges meet, the same
// point whichever pair of their facets asks (the overlap of two facets
// lying in one plane included: OverlapCrossingsOfEdges), and a shared
// segment passing a corner that either cut found on the line is cut there
// (SplitAtCorners).
#include "Geometry/boolean/G3BooleanCalculator.h"

#include "Geometry/boolean/G3BooleanData.h"
#include "Geometry/boolean/G3Interval.h"
#include "Geometry/boolean/G3IntervalList.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GTrace.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3BoxHash.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Grid.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace {

void Record(G3Facet* f, G3IntervalList* list)
{
    G3BooleanFacetData* r = G3BooleanFacetData::Of(f);
    if (!r)
        return;
    if (!r->segments)
        r->segments = new G3IntervalList();
    r->segments->Merge(list);
}

// Whether x is one of the ends of e (which has both).
bool AtEndOf(const double* x, const G3Edge* e)
{
    for (const G3Vertex* v : {e->GetVertex1(), e->GetVertex2()}) {
        const double* c = v->GetXYZ();
        if (x[0] == c[0] && x[1] == c[1] && x[2] == c[2])
            return true;
    }
    return false;
}

// The edge a loose point of a plane cut was computed on, where the edge
// crosses the plane; null for a point taken from one of the edge's ends.
const G3Edge* ComputedOn(const G3Point* p)
{
    const G3Edge* e = dynamic_cast<const G3Edge*>(p->GetExData());
    if (!e || !e->GetVertex1() || !e->GetVertex2() || AtEndOf(p->GetXYZ(), e))
        return nullptr;
    return e;
}

// Lexicographic order of coordinates.
bool PointBefore(const double* a, const double* b)
{
    for (int i = 0; i < 3; ++i)
        if (a[i] != b[i])
            return a[i] < b[i];
    return false;
}

// The point where edge `e` of one facet passes edge of `other` (closer than
// the side band, both inside their edges, not parallel), nearest `x` and
// less than the square root of `reach2` from it (the box margin, or the
// stretch of `e` within the side band of the plane whose crossing `x` is):
// the middle of the two lines' closest points. Two edges crossing so are
// met by the four facets around them, and each pair computed its own crossing of one edge with the other
// facet's plane: where the facets meet at shallow angles (a thin ring
// against a turned copy of itself) those points spread 1e-6 and more along
// the edges, beyond the weld. The edges and their ends are taken in one
// order whichever pair asks, so every pair gets the same point, bit for
// bit.
bool CrossingOfEdges(const G3Edge* e, G3Facet* other, const double* x, double reach2, double* meet)
{
    bool found = false;
    double bestDist = 0.0;
    G3FacetEdgeIterator it(other);
    while (it.hasNext()) {
        const G3Edge* g = static_cast<const G3Edge*>(it.next());
        if (!g || g == e || !g->GetVertex1() || !g->GetVertex2())
            continue;
        const double* ends[2][2] = {{e->GetVertex1()->GetXYZ(), e->GetVertex2()->GetXYZ()},
                                    {g->GetVertex1()->GetXYZ(), g->GetVertex2()->GetXYZ()}};
        for (auto& pair : ends)
            if (PointBefore(pair[1], pair[0]))
                std::swap(pair[0], pair[1]);
        const bool swapped = PointBefore(ends[1][0], ends[0][0]) ||
                             (!PointBefore(ends[0][0], ends[1][0]) && PointBefore(ends[1][1], ends[0][1]));
        const double* const* first = ends[swapped ? 1 : 0];
        const double* const* second = ends[swapped ? 0 : 1];
        const double* p0 = first[0];
        const double* q0 = second[0];
        double u[3], v[3], w[3];
        for (int i = 0; i < 3; ++i) {
            u[i] = first[1][i] - p0[i];
            v[i] = second[1][i] - q0[i];
            w[i] = p0[i] - q0[i];
        }
        const double uu = u[0] * u[0] + u[1] * u[1] + u[2] * u[2];
        const double uv = u[0] * v[0] + u[1] * v[1] + u[2] * v[2];
        const double vv = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
        const double uw = u[0] * w[0] + u[1] * w[1] + u[2] * w[2];
        const double vw = v[0] * w[0] + v[1] * w[1] + v[2] * w[2];
        const double den = uu * vv - uv * uv;
        if (!(den > GTolerance::kLineParallel * GTolerance::kLineParallel * uu * vv))
            continue;
        const double sp = (uv * vw - vv * uw) / den;
        const double tq = (uu * vw - uv * uw) / den;
        if (sp < 0.0 || sp > 1.0 || tq < 0.0 || tq > 1.0)
            continue;
        double gap = 0.0;
        double dist = 0.0;
        double m[3];
        for (int i = 0; i < 3; ++i) {
            const double a = p0[i] + u[i] * sp;
            const double b = q0[i] + v[i] * tq;
            m[i] = 0.5 * (a + b);
            gap += (a - b) * (a - b);
            dist += (m[i] - x[i]) * (m[i] - x[i]);
        }
        if (gap >= GTolerance::kPlaneSide * GTolerance::kPlaneSide || dist >= reach2)
            continue;
        if (!found || dist < bestDist) {
            found = true;
            bestDist = dist;
            std::copy(m, m + 3, meet);
        }
    }
    return found;
}

// Crossings of `cut` (the boundary of one facet cut by the plane of
// `other`) computed on an edge are put on the corner of `other` nearest
// them among those lying on that edge (closer than the side band to it,
// ends included) and as far from the crossing as the weld distance or
// farther, but less than the box margin. Facets are flat only to the
// rounding of their corners (at site coordinates a corner stands 1e-6 and
// more off its own facet's plane at the cut's scale), so where an edge of
// one operand runs through a corner of the other, its crossing with each
// facet at that corner lands a little beyond the weld along the edge: the
// pieces of the two operands then met at points the weld could not join.
// The corner lies on the edge and on the facet, so it is a crossing as
// good as the computed one, and every facet there gets the same point.
// A crossing within the weld distance of every such corner stays: the weld
// joins it there, and it may stand between a corner of each operand.
// A crossing with no such corner, on an edge passing an edge of `other`,
// is put where the two edges meet (CrossingOfEdges).
// `corners` is scratch storage.
void CrossingsOnCorners(G3IntervalList* cut, G3Facet* other, std::vector<const G3Vertex*>& corners)
{
    GArrayCollection* points = cut->GetPointList();
    corners.clear();
    for (int k = 0; points && k < points->size(); ++k) {
        G3Point* p = static_cast<G3Point*>(points->get(k));
        const G3Edge* e = ComputedOn(p);
        if (!e)
            continue;
        const double* a = e->GetVertex1()->GetXYZ();
        const double* b = e->GetVertex2()->GetXYZ();
        const double d[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        const double len2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
        if (len2 < GTolerance::kZeroLength * GTolerance::kZeroLength)
            continue;
        if (corners.empty()) {
            G3FacetVertexIterator it(other);
            while (it.hasNext())
                if (const G3Vertex* v = it.NextVertex())
                    corners.push_back(v);
        }
        const double* x = p->GetXYZ();
        // How far along the edge the crossing may stand from a corner lying
        // on it: the box margin, or the stretch over which the edge stays
        // within the side band of the other plane, when that is longer. An
        // edge meeting the plane at a shallow angle (a terrain's border wall
        // against a basement's face through its point, the two an ulp apart
        // at 5e5) crosses it far along from the corner, and the piece
        // between was a sliver of short edges.
        const double* n = other->GetPlane();
        const double rise = n[0] * d[0] + n[1] * d[1] + n[2] * d[2];
        const double band2 = GTolerance::kPlaneSide * GTolerance::kPlaneSide * len2 * (n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        double reach2 = GTolerance::kBoxMargin * GTolerance::kBoxMargin;
        if (rise != 0.0 && rise * rise * reach2 < band2)
            reach2 = band2 / (rise * rise);
        const G3Vertex* best = nullptr;
        double bestDist = 0.0;
        for (const G3Vertex* v : corners) {
            const double* c = v->GetXYZ();
            const double along = ((c[0] - a[0]) * d[0] + (c[1] - a[1]) * d[1] + (c[2] - a[2]) * d[2]) / len2;
            const double t = std::min(1.0, std::max(0.0, along));
            double off = 0.0;
            double dist = 0.0;
            for (int i = 0; i < 3; ++i) {
                const double o = c[i] - (a[i] + d[i] * t);
                const double q = c[i] - x[i];
                off += o * o;
                dist += q * q;
            }
            if (off >= GTolerance::kPlaneSide * GTolerance::kPlaneSide || dist >= reach2)
                continue;
            if (!best || dist < bestDist) {
                best = v;
                bestDist = dist;
            }
        }
        if (best) {
            if (bestDist >= GTolerance::kWeld * GTolerance::kWeld)
                p->Set(best->GetXYZ());
            continue;
        }
        double meet[3] = {0.0, 0.0, 0.0};
        if (CrossingOfEdges(e, other, x, reach2, meet))
            p->Set(meet);
    }
}

// The squared distance from c to the segment from a to b.
double SegmentGap2(const double* c, const double* a, const double* b)
{
    const double d[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const double len2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    double t = len2 > 0.0 ? ((c[0] - a[0]) * d[0] + (c[1] - a[1]) * d[1] + (c[2] - a[2]) * d[2]) / len2 : 0.0;
    t = std::min(1.0, std::max(0.0, t));
    double gap = 0.0;
    for (int i = 0; i < 3; ++i) {
        const double o = c[i] - (a[i] + d[i] * t);
        gap += o * o;
    }
    return gap;
}

// The corner nearest x that lies on edge e and on an edge of `other` that x
// lies on (each within the side band), when x stands from it at least the
// weld distance and less than the stretch over which the two edges stay
// within the band of each other (the box margin at least). Two edges
// meeting at a shallow angle through such a corner (a terrain's border
// through a survey point and a basement's side set on it, an ulp apart at
// 5e5) cross far along from it; the clip cut both facets there, and the
// piece between them was a sliver of short edges, a contour crossing
// itself, or no result.
bool CornerOfPassingEdges(const G3Edge* e, G3Facet* other, const double* x, double* at)
{
    const double* a = e->GetVertex1()->GetXYZ();
    const double* b = e->GetVertex2()->GetXYZ();
    const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const double uu = u[0] * u[0] + u[1] * u[1] + u[2] * u[2];
    const double band2 = GTolerance::kPlaneSide * GTolerance::kPlaneSide;
    bool found = false;
    double bestDist = 0.0;
    G3FacetEdgeIterator it(other);
    while (it.hasNext()) {
        const G3Edge* g = static_cast<const G3Edge*>(it.next());
        if (!g || g == e || !g->GetVertex1() || !g->GetVertex2())
            continue;
        const double* p = g->GetVertex1()->GetXYZ();
        const double* q = g->GetVertex2()->GetXYZ();
        if (SegmentGap2(x, p, q) >= band2)
            continue;
        const double v[3] = {q[0] - p[0], q[1] - p[1], q[2] - p[2]};
        const double w[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
        const double vv = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
        const double ww = w[0] * w[0] + w[1] * w[1] + w[2] * w[2];
        // sin^2 of the angle between the edges is ww / (uu vv).
        double reach2 = GTolerance::kBoxMargin * GTolerance::kBoxMargin;
        if (ww * reach2 < band2 * uu * vv)
            reach2 = ww > 0.0 ? band2 * uu * vv / ww : 0.0;
        for (const double* c : {a, b, p, q}) {
            double dist = 0.0;
            for (int i = 0; i < 3; ++i)
                dist += (c[i] - x[i]) * (c[i] - x[i]);
            if (dist < GTolerance::kWeld * GTolerance::kWeld || dist >= reach2 || (found && dist >= bestDist) ||
                SegmentGap2(c, a, b) >= band2 || SegmentGap2(c, p, q) >= band2)
                continue;
            found = true;
            bestDist = dist;
            std::copy(c, c + 3, at);
        }
    }
    return found;
}

// The overlap of two facets lying in one plane is their edges clipped to
// each other, and where an edge of one crosses an edge of the other the
// clip computed the crossing on the crossed edge, in the projection. The
// facets around those two edges that do not lie in the plane meet the
// same crossing through CrossingOfEdges, from the edges' ends in space:
// where the edges meet at a shallow angle (a ring's cap flush with a
// turned copy's) the two points stood more than 1e-6 apart along them, so
// the caps were cut at both and the walls at one, and the result was left
// open between them. Such an end of the overlap is put where the two
// edges meet.
void OverlapCrossingsOfEdges(G3IntervalList* overlap, G3Facet* F, G3Facet* G)
{
    GArrayCollection* list = overlap->GetIntervalList();
    for (int k = 0; list && k < list->size(); ++k) {
        G3Interval* iv = static_cast<G3Interval*>(list->get(k));
        for (int end = 0; end < 2; ++end) {
            G3IntervalEnd* p = end == 0 ? iv->GetPoint1() : iv->GetPoint2();
            const G3Edge* e = dynamic_cast<const G3Edge*>(end == 0 ? iv->GetOwner1() : iv->GetOwner2());
            if (!p || !e || !e->GetVertex1() || !e->GetVertex2() || e->HasFacet(F) == e->HasFacet(G) ||
                AtEndOf(p->GetXYZ(), e))
                continue;
            double meet[3] = {0.0, 0.0, 0.0};
            if (CornerOfPassingEdges(e, e->HasFacet(F) ? G : F, p->GetXYZ(), meet) ||
                CrossingOfEdges(e, e->HasFacet(F) ? G : F, p->GetXYZ(),
                                GTolerance::kBoxMargin * GTolerance::kBoxMargin, meet))
                p->Set(meet);
        }
    }
}

// A point of a facet's cut that stands on one of the facet's own corners:
// an end of an edge lying in the other plane, or a corner where the
// boundary touches or crosses that plane.
struct CutCorner
{
    double x[3];
    GObj* owner;
};

void CornersOfCut(const G3IntervalList* cut, std::vector<CutCorner>& out)
{
    const GArrayCollection* stored = cut->GetIntervalList();
    for (int k = 0; stored && k < stored->size(); ++k) {
        const G3Interval* iv = static_cast<const G3Interval*>(stored->get(k));
        if (!iv->GetPoint1() || !iv->GetPoint2())
            continue;
        out.push_back({{iv->GetPoint1()->GetXYZ()[0], iv->GetPoint1()->GetXYZ()[1], iv->GetPoint1()->GetXYZ()[2]}, iv->GetOwner1()});
        out.push_back({{iv->GetPoint2()->GetXYZ()[0], iv->GetPoint2()->GetXYZ()[1], iv->GetPoint2()->GetXYZ()[2]}, iv->GetOwner2()});
    }
    const GArrayCollection* loose = cut->GetPointList();
    for (int k = 0; loose && k < loose->size(); ++k) {
        const G3Point* p = static_cast<const G3Point*>(loose->get(k));
        if (dynamic_cast<const G3Edge*>(p->GetExData()) && !ComputedOn(p))
            out.push_back({{p->GetXYZ()[0], p->GetXYZ()[1], p->GetXYZ()[2]}, p->GetExData()});
    }
}

// Each shared segment is cut at the corners of either facet's cut that lie
// inside it (farther than the point distance from its ends along the sort
// axis, less than the box margin off it). Both cuts accepted those corners
// as in both planes, but pairing the cuts into intervals joins pieces that
// touch, and the corner was lost: the segment then ran straight from end to
// end. Facets are flat only to the rounding of their corners, so at site
// coordinates such a straight segment passes a corner of one facet (a
// jamb's corner at a window's head, on the line where a block flush with
// the jamb crosses the wall's face) 1e-6 and more to the side; the facet
// flush with the jamb was cut along the overlap's outline through that
// corner and along the segment beside it, and the two never met.
void SplitAtCorners(G3IntervalList* shared, std::vector<CutCorner>& corners)
{
    const int axis = shared->GetSortAxis();
    GArrayCollection* list = shared->GetIntervalList();
    if (corners.empty() || axis < 0 || axis > 2 || !list)
        return;
    std::sort(corners.begin(), corners.end(),
              [axis](const CutCorner& a, const CutCorner& b) { return a.x[axis] < b.x[axis]; });
    std::vector<G3Interval*> pieces;
    for (int k = 0; k < list->size(); ++k) {
        G3Interval* iv = static_cast<G3Interval*>(list->get(k));
        const double* a = iv->GetXYZ1();
        const double* b = iv->GetXYZ2();
        const double d[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        const double len2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
        const double* from = a;
        GObj* fromOwner = iv->GetOwner1();
        bool split = false;
        for (const CutCorner& c : corners) {
            if (c.x[axis] - from[axis] <= GTolerance::kPointEqual)
                continue;
            if (b[axis] - c.x[axis] <= GTolerance::kPointEqual)
                break;
            const double t = ((c.x[0] - a[0]) * d[0] + (c.x[1] - a[1]) * d[1] + (c.x[2] - a[2]) * d[2]) / len2;
            double off = 0.0;
            for (int i = 0; i < 3; ++i) {
                const double o = c.x[i] - (a[i] + d[i] * t);
                off += o * o;
            }
            if (off >= GTolerance::kBoxMargin * GTolerance::kBoxMargin)
                continue;
            pieces.push_back(new G3Interval(from, fromOwner, c.x, c.owner));
            from = c.x;
            fromOwner = c.owner;
            split = true;
        }
        if (!split) {
            pieces.push_back(iv);
            list->put(k, nullptr);
            continue;
        }
        pieces.push_back(new G3Interval(from, fromOwner, b, iv->GetOwner2()));
    }
    for (int k = 0; k < list->size(); ++k)
        delete static_cast<G3Interval*>(list->get(k));
    list->clear(false);
    for (G3Interval* iv : pieces)
        list->add(iv);
}

} // namespace

// The cuts of long facets by planes, kept while one pairing pass runs:
// a cut walks the facet's whole boundary, and a slab with thousands of
// holes is cut by the plane of every wall piece standing on it, pieces of
// one wall side sharing one plane. A facet is not changed while the pass
// runs (its segments are only recorded), so its cut by the same plane, bit
// for bit, is the same list; a copy of it is handed out.
class G3PlaneCuts {
public:
    int Cut(G3Facet* f, const double* plane, G3IntervalList* out)
    {
        if (!Long(f))
            return f->IntersectByPlaneConcave(plane, out);
        Key key{f, {}};
        std::memcpy(key.bits, plane, sizeof key.bits);
        auto it = cuts.find(key);
        if (it == cuts.end()) {
            Entry& e = cuts[key];
            e.code = f->IntersectByPlaneConcave(plane, &e.list);
            it = cuts.find(key);
        }
        *out = it->second.list;
        return it->second.code;
    }

private:
    static constexpr int kLongBoundary = 64;
    struct Key {
        const G3Facet* facet;
        std::uint64_t bits[4];
        bool operator==(const Key& o) const
        {
            return facet == o.facet && std::memcmp(bits, o.bits, sizeof bits) == 0;
        }
    };
    struct KeyHash {
        std::size_t operator()(const Key& k) const
        {
            std::uint64_t h = reinterpret_cast<std::uintptr_t>(k.facet);
            for (std::uint64_t b : k.bits)
                h = (h ^ b) * 0x100000001b3ULL;
            return static_cast<std::size_t>(h ^ (h >> 29));
        }
    };
    struct Entry {
        int code = 0;
        G3IntervalList list;
    };
    bool Long(const G3Facet* f)
    {
        auto it = isLong.find(f);
        if (it != isLong.end())
            return it->second;
        return isLong[f] = f->HasEdgesAtLeast(kLongBoundary);
    }
    std::unordered_map<Key, Entry, KeyHash> cuts;
    std::unordered_map<const G3Facet*, bool> isLong;
};

void G3BooleanCalculator::SortByFacetId(GArrayCollection* facets)
{
    if (!facets)
        return;
    // Ids are unique within a surface, so the order is total.
    std::vector<GObj*> items(facets->toArray(), facets->toArray() + facets->size());
    std::sort(items.begin(), items.end(), [](GObj* a, GObj* b) {
        return static_cast<G3Facet*>(a)->GetId() < static_cast<G3Facet*>(b)->GetId();
    });
    for (int k = 0; k < facets->size(); ++k)
        facets->put(k, items[static_cast<std::size_t>(k)]);
}

void G3BooleanCalculator::IntersectFacetProcessor(G3Facet* F)
{
    const G3BooleanFacetData* rf = G3BooleanFacetData::Of(F);
    if (!rf || F->IsPlaneZero() || !candidates)
        return;
    G3IntervalList lf;
    G3IntervalList lg;
    std::vector<const G3Vertex*> corners;
    std::vector<CutCorner> cutCorners;
    for (int k = 0; k < candidates->size(); ++k) {
        G3Facet* G = dynamic_cast<G3Facet*>(candidates->get(k));
        const G3BooleanFacetData* rg = G3BooleanFacetData::Of(G);
        if (!G || G == F || !rg || !rg->IsIntersectXYZ(rf) || G->IsPlaneZero())
            continue;
        // Whether the two lie in one plane is asked both ways: a face
        // leaning by a hair against a flush face lies in the other's band
        // one way round only (its far corners are nearer), and the pair
        // cut as crossing there left the overlap's outline uncut in one of
        // them.
        const int cutG = planeCuts ? planeCuts->Cut(G, F->GetPlane(), &lg) : G->IntersectByPlaneConcave(F->GetPlane(), &lg);
        if (cutG == 0)
            continue;
        const int cutF = cutG == 3                ? 3
                         : planeCuts ? planeCuts->Cut(F, G->GetPlane(), &lf)
                                     : F->IntersectByPlaneConcave(G->GetPlane(), &lf);
        if (cutF == 0)
            continue;
        if (cutG == 3 || cutF == 3) {
            GTrace("Lie");
            G3IntervalList overlap;
            if (F->FindFacetsIntersection(G, &overlap)) {
                OverlapCrossingsOfEdges(&overlap, F, G);
                Record(F, &overlap);
                Record(G, &overlap);
            }
            continue;
        }
        CrossingsOnCorners(&lg, F, corners);
        CrossingsOnCorners(&lf, G, corners);
        cutCorners.clear();
        CornersOfCut(&lf, cutCorners);
        CornersOfCut(&lg, cutCorners);
        lf.BuildIntervals();
        lg.SetMaxCoo(&lf);
        lg.BuildIntervals();
        if (lf.GetIntersectionType(&lg) != INTERVAL_LIST_INTERSECT)
            continue;
        G3IntervalList* shared = lf.Intersect(&lg);
        if (shared && !shared->IsEmpty()) {
            SplitAtCorners(shared, cutCorners);
            Record(F, shared);
            Record(G, shared);
        }
        delete shared;
    }
}

void G3BooleanCalculator::PairWithGrid(G3Surface* other)
{
    delete grid;
    grid = nullptr;
    // Sparse cells sized by the facets (a grid over the box crowds a model
    // of far-apart clusters into a few cells). What is done with the
    // answers does not depend on the cells: they are sorted by id, and the
    // processor takes only the pairs whose records meet, all of which share
    // a cell.
    std::vector<G3Facet*> stored;
    std::vector<GEnvelope> boxes;
    GArrayCollection* others = other->GetFacetList();
    for (int k = 0; others && k < others->size(); ++k) {
        G3Facet* g = static_cast<G3Facet*>(others->get(k));
        const G3BooleanFacetData* r = G3BooleanFacetData::Of(g);
        if (r && r->IsIntersectXYZ(&envCommon)) {
            g->ClearMark();
            stored.push_back(g);
            boxes.emplace_back(static_cast<const GEnvelope*>(r));
        }
    }
    const G3BoxHash index(boxes);
    std::vector<int> found;
    G3PlaneCuts cuts;
    planeCuts = &cuts;
    GArrayCollection* facets = A->GetFacetList();
    for (int k = 0; k < facets->size(); ++k) {
        G3Facet* f = static_cast<G3Facet*>(facets->get(k));
        G3BooleanFacetData* r = G3BooleanFacetData::Of(f);
        if (!r || !r->IsIntersectXYZ(&envCommon))
            continue;
        index.Candidates(*r, found);
        candidates->clear();
        for (const int c : found) {
            G3Facet* g = stored[static_cast<std::size_t>(c)];
            // Each pair once, from its lower index, when other is A: the
            // processor records what it finds on both facets.
            if (g->HasEdges() && (other != A || g->GetId() > f->GetId()))
                candidates->add(g);
        }
        SortByFacetId(candidates);
        IntersectFacetProcessor(f);
    }
    planeCuts = nullptr;
    candidates->clear();
}

void G3BooleanCalculator::Divide()
{
    if (clip != G_CLIP_DISJOINT && A && B && A->GetFacetList() && B->GetFacetList())
        PairWithGrid(B);
}

void G3BooleanCalculator::DivideSelf()
{
    if (A && A->GetFacetList())
        PairWithGrid(A);
}

bool G3BooleanCalculator::SurfaceSurfaceIntersect(G3Surface* a, G3Surface* b, G3IntervalList* out)
{
    A = a;
    B = b;
    if (!a || !b || a == b || !OpenBoolean()) {
        A = B = nullptr;
        return false;
    }
    Divide();
    GArrayCollection* facets = B->GetFacetList();
    for (int k = 0; out && facets && k < facets->size(); ++k) {
        const G3BooleanFacetData* r = G3BooleanFacetData::Of(static_cast<G3Facet*>(facets->get(k)));
        if (r && r->segments)
            out->Merge(r->segments);
    }
    for (G3Surface* s : {A, B}) {
        GArrayCollection* list = s->GetFacetList();
        while (list && list->size() > 0)
            s->RemoveFacet(static_cast<G3Facet*>(list->getLast()));
    }
    CloseBoolean();
    A = B = nullptr;
    return true;
}
