// G3SurfaceEdit's operations that read interval lists: the facet
// intersection check, the division of an edge at intervals, and the edges
// two placed surfaces share.
//
// Invariants: CheckFacets changes nothing and tests exactly the pairs whose
// closed boxes meet, in the order of a scan over all pairs (lower facet
// index first, then the other's index), so its first crossing pair is that
// scan's; the grid only skips pairs whose boxes are apart. DivideEdge keeps
// the mesh consistent (the pieces take the edge's place in both facets),
// chains the interval ends in order along the edge (sorted on its dominant
// axis, exact comparison), so the pieces never double back, and makes no
// piece shorter than kPointEqual: an interval end that near the edge's end
// or the previous end is that vertex.
// Rounding: the plane cuts of IntersectByPlaneConcave and the interval
// keys (kPointEqual); an overlap of two cuts counts only off both facets'
// edges (kPointEqual in space); a fold across a shared edge needs every
// corner of each facet within kPlaneSide of the other's plane; common edges are matched within kPlaneSide of a line.

#include "Geometry/processing/G3SurfaceEdit.h"

#include "Geometry/boolean/G3Interval.h"
#include "Geometry/boolean/G3IntervalList.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GMatrix.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3BoxHash.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <set>
#include <utility>
#include <vector>

namespace {

// Whether f has corners strictly on both sides of `plane`, judged as the
// plane cut judges them (value a*x + b*y + c*z + d, on the plane within
// kPlaneSide): the cut reports a proper crossing (1) exactly then, so the
// pairs it skips are those the cut would have turned down.
bool Straddles(const G3Facet* f, const double* plane)
{
    bool above = false, below = false;
    for (const G3Edge* e = f->GetFirstEdge(); e && !(above && below); e = e->GetFacetEdge(f)) {
        for (const G3Vertex* v : {e->GetVertex1(), e->GetVertex2()}) {
            if (!v)
                continue;
            const double* p = v->GetXYZ();
            const double s = plane[0] * p[0] + plane[1] * p[1] + plane[2] * p[2] + plane[3];
            if (std::fabs(s) < GTolerance::kPlaneSide)
                continue;
            (s >= 0.0 ? above : below) = true;
        }
    }
    return above && below;
}

// Distance in space from p to the segment a-b (to a when it has no length).
double SegmentDistance(const double* p, const double* a, const double* b)
{
    double d[3], w[3];
    double len2 = 0.0, dot = 0.0;
    for (int k = 0; k < 3; ++k) {
        d[k] = b[k] - a[k];
        w[k] = p[k] - a[k];
        len2 += d[k] * d[k];
        dot += d[k] * w[k];
    }
    const double t = len2 > 0.0 ? std::min(1.0, std::max(0.0, dot / len2)) : 0.0;
    return std::sqrt((w[0] - t * d[0]) * (w[0] - t * d[0]) + (w[1] - t * d[1]) * (w[1] - t * d[1]) +
                     (w[2] - t * d[2]) * (w[2] - t * d[2]));
}

// Whether p lies within kPointEqual of an edge of f.
bool OnBoundary(const G3Facet* f, const double* p)
{
    for (const G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f))
        if (e->GetVertex1() && e->GetVertex2() &&
            SegmentDistance(p, e->GetVertex1()->GetXYZ(), e->GetVertex2()->GetXYZ()) < GTolerance::kPointEqual)
            return true;
    return false;
}

// Whether some piece of the overlap of the two cuts lies off the edges of
// both facets. A cut takes in the edges lying in the other plane, so two
// facets meeting along an edge they share (four facets about it, each
// reaching across the other's plane elsewhere) overlap there without
// crossing, and so does a facet whose edge rests on another's face. The
// overlap is divided at every end of either cut and at every corner of
// either facet, so each piece lies wholly along an edge or wholly off it,
// and the middle of each piece longer than kPointEqual decides.
bool OverlapLeavesTheEdges(const G3Facet* f, const G3Facet* g, const G3IntervalList& lf, const G3IntervalList& lg,
                           const G3IntervalList& shared)
{
    std::vector<double> ts;
    for (int k = 0; k < shared.GetIntervalCount(); ++k) {
        const G3Interval* s = shared.GetInterval(k);
        if (!s || !s->GetXYZ1() || !s->GetXYZ2())
            continue;
        const double* a = s->GetXYZ1();
        const double* b = s->GetXYZ2();
        const double d[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        const double len2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
        if (!(len2 > GTolerance::kPointEqual * GTolerance::kPointEqual))
            continue;
        ts.assign({0.0, 1.0});
        auto divideAt = [&](const double* p) {
            if (!p)
                return;
            const double t = ((p[0] - a[0]) * d[0] + (p[1] - a[1]) * d[1] + (p[2] - a[2]) * d[2]) / len2;
            if (t > 0.0 && t < 1.0)
                ts.push_back(t);
        };
        for (const G3IntervalList* l : {&lf, &lg})
            for (int m = 0; m < l->GetIntervalCount(); ++m)
                if (const G3Interval* c = l->GetInterval(m)) {
                    divideAt(c->GetXYZ1());
                    divideAt(c->GetXYZ2());
                }
        for (const G3Facet* h : {f, g})
            for (const G3Edge* e = h->GetFirstEdge(); e; e = e->GetFacetEdge(h))
                for (const G3Vertex* v : {e->GetVertex1(), e->GetVertex2()})
                    if (v)
                        divideAt(v->GetXYZ());
        std::sort(ts.begin(), ts.end());
        const double len = std::sqrt(len2);
        for (std::size_t m = 0; m + 1 < ts.size(); ++m) {
            if ((ts[m + 1] - ts[m]) * len <= GTolerance::kPointEqual)
                continue;
            const double t = 0.5 * (ts[m] + ts[m + 1]);
            const double mid[3] = {a[0] + t * d[0], a[1] + t * d[1], a[2] + t * d[2]};
            if (!OnBoundary(f, mid) && !OnBoundary(g, mid))
                return true;
        }
    }
    return false;
}

// Whether f and g cross: each cuts the other's plane properly and the two
// cuts overlap on the common line away from the edges of both.
bool FacetsCross(G3Facet* f, G3Facet* g)
{
    if (!Straddles(f, g->GetPlane()) || !Straddles(g, f->GetPlane()))
        return false;
    G3IntervalList lf, lg;
    if (f->IntersectByPlaneConcave(g->GetPlane(), &lf) != 1)
        return false;
    if (g->IntersectByPlaneConcave(f->GetPlane(), &lg) != 1)
        return false;
    lf.BuildIntervals();
    lg.SetMaxCoo(&lf);
    lg.BuildIntervals();
    if (lf.GetIntersectionType(&lg) != INTERVAL_LIST_INTERSECT)
        return false;
    std::unique_ptr<G3IntervalList> shared(lf.Intersect(&lg));
    return shared && !shared->IsEmpty() && OverlapLeavesTheEdges(f, g, lf, lg, *shared);
}

// Whether every vertex of f lies within kPlaneSide of plane.
bool LiesIn(const G3Facet* f, const double* plane)
{
    for (const G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
        for (const G3Vertex* v : {e->GetVertex1(), e->GetVertex2()}) {
            const double* p = v->GetXYZ();
            if (std::fabs(plane[0] * p[0] + plane[1] * p[1] + plane[2] * p[2] + plane[3]) > GTolerance::kPlaneSide)
                return false;
        }
    }
    return true;
}

// Whether f and g fold onto each other across an edge they share: each
// lies in the other's plane (kPlaneSide), the planes face opposite ways
// and the facets run the edge in opposite directions, so both lie on one
// side of it and overlap in area there. No plane cuts the other properly,
// so FacetsCross cannot see it; a roof slab whose fascia at a reflex eave
// doubled back over its neighbour checked clean. A thin wedge between two
// planes a hair apart is not a fold: its far corners leave the band.
// Planes are taken as facing the way each facet's contours run.
bool FacetsFold(G3Facet* f, G3Facet* g)
{
    double pf[4], pg[4];
    std::copy(f->GetPlane(), f->GetPlane() + 4, pf);
    std::copy(g->GetPlane(), g->GetPlane() + 4, pg);
    f->TurnToContours(pf);
    g->TurnToContours(pg);
    if (!(pf[0] * pg[0] + pf[1] * pg[1] + pf[2] * pg[2] < 0.0) || !LiesIn(f, pg) || !LiesIn(g, pf))
        return false;
    for (const G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
        if (e->GetFacet1() == f ? e->GetFacet2() != g : e->GetFacet1() != g)
            continue;
        if (f->GetMoveDirection(e) != g->GetMoveDirection(e))
            return true;
    }
    return false;
}

// The edge's dominant axis (0, 1, 2), or -1 for an edge shorter than
// kZeroLength.
int DominantAxis(const double* a, const double* b)
{
    double d[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (!(len > GTolerance::kZeroLength))
        return -1;
    for (double& c : d)
        c = std::fabs(c / len);
    const double tol = GTolerance::kZeroLength;
    if (d[0] >= std::max(d[1], d[2]) - tol)
        return 0;
    if (d[1] >= std::max(d[0], d[2]) - tol)
        return 1;
    return 2;
}

// Whether p and q are one point (within kPointEqual).
bool PointsEqual(const double* p, const double* q)
{
    const double d[3] = {p[0] - q[0], p[1] - q[1], p[2] - q[2]};
    return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]) <= GTolerance::kPointEqual;
}

// One end of an interval of DivideEdge's list: where it lies along the
// edge (its coordinate on the dominant axis), the point, the interval's
// place in the list and whether it is the interval's lower end.
struct IntervalEnd {
    double along;
    const double* point;
    int interval;
    bool first;
};

// Whether p lies on the segment lower..upper: within kPlaneSide of its line
// and between its ends, or one point with an end (kPointEqual). Taken about
// lower, so the products stay small at site coordinates.
bool OnSegment(const double* p, const double* lower, const double* upper)
{
    const double d[3] = {upper[0] - lower[0], upper[1] - lower[1], upper[2] - lower[2]};
    const double q[3] = {p[0] - lower[0], p[1] - lower[1], p[2] - lower[2]};
    const double len2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    const double len = std::sqrt(len2);
    const double t = (q[0] * d[0] + q[1] * d[1] + q[2] * d[2]) / len;  // distance along, from lower
    if (t <= 0.0 || t >= len)
        return PointsEqual(p, t <= 0.0 ? lower : upper);
    const double c[3] = {q[1] * d[2] - q[2] * d[1], q[2] * d[0] - q[0] * d[2], q[0] * d[1] - q[1] * d[0]};
    return std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]) / len <= GTolerance::kPlaneSide;
}

// The ends of every interval (entries without two ends skipped), sorted
// along the edge lower..upper by their coordinate on `axis`; ends at one
// place keep the list's order, an interval's lower end first. False when
// an end lies off the edge.
bool EndsAlong(G3IntervalList* intervals, const double* lower, const double* upper, int axis,
               std::vector<IntervalEnd>& ends)
{
    for (int k = 0; k < intervals->GetIntervalCount(); ++k) {
        const G3Interval* iv = intervals->GetInterval(k);
        if (!iv || !iv->GetXYZ1() || !iv->GetXYZ2())
            continue;
        const double* a = iv->GetXYZ1();
        const double* b = iv->GetXYZ2();
        if (!OnSegment(a, lower, upper) || !OnSegment(b, lower, upper))
            return false;
        if (b[axis] < a[axis])
            std::swap(a, b);
        ends.push_back({a[axis], a, k, true});
        ends.push_back({b[axis], b, k, false});
    }
    // Exact comparison of the coordinates: a strict weak order, and the
    // stable sort keeps equal places in list order.
    std::stable_sort(ends.begin(), ends.end(),
                     [](const IntervalEnd& x, const IntervalEnd& y) { return x.along < y.along; });
    return true;
}

} // namespace

bool G3SurfaceEdit::CheckFacets(int options, int& result)
{
    if (!surface || surface->GetFacetCount() == 0)
        return false;
    if (!(options & SURFACE_CHECK_FACET_INTERSECTION))
        return true;
    const int n = surface->GetFacetCount();
    std::vector<GEnvelope> boxes(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k)
        surface->GetFacet(k)->FormEnvelope(&boxes[static_cast<std::size_t>(k)]);
    // Sparse cells sized by the facets: a model of far-apart clusters
    // would crowd a grid over its box into a few cells. The answers come
    // ascending, so the first crossing pair reported is the same whatever
    // the cells.
    const G3BoxHash index(boxes);
    std::vector<int> candidates;
    for (int k = 0; k < n; ++k) {
        const GEnvelope& box = boxes[static_cast<std::size_t>(k)];
        index.Candidates(box, candidates);
        for (int g : candidates) {
            if (g <= k)
                continue;
            if (!box.IsIntersectXYZ(&boxes[static_cast<std::size_t>(g)]))
                continue;
            if (FacetsCross(surface->GetFacet(k), surface->GetFacet(g)) ||
                FacetsFold(surface->GetFacet(k), surface->GetFacet(g))) {
                result |= SURFACE_CHECK_FACET_INTERSECTION;
                Found(SURFACE_CHECK_FACET_INTERSECTION, k, g);
                return false;
            }
        }
    }
    return true;
}

bool G3SurfaceEdit::DivideEdge(G3Surface* s, G3Edge* edge, G3IntervalList* intervals)
{
    if (!s || !edge || !intervals || s->GetEdge(static_cast<int>(edge->GetId())) != edge)
        return false;
    G3Vertex* v1 = edge->GetVertex1();
    G3Vertex* v2 = edge->GetVertex2();
    if (!v1 || !v2)
        return false;
    const int axis = DominantAxis(v1->GetXYZ(), v2->GetXYZ());
    if (axis < 0)
        return false;
    // The chain runs from the lower end on the dominant axis.
    const bool reversed = v2->GetXYZ()[axis] < v1->GetXYZ()[axis];
    G3Vertex* lower = reversed ? v2 : v1;
    G3Vertex* upper = reversed ? v1 : v2;
    // Every interval end, taken in order along the edge whatever order the
    // list and each interval give them in: chained as listed, a list
    // running from the upper end (or an interval turned round) doubled
    // back over the edge, a zigzag of overlapping pieces in both facets.
    // An end off the edge is refused: a chain through it would bend the
    // edge or run past its end and back.
    std::vector<IntervalEnd> ends;
    if (!EndsAlong(intervals, lower->GetXYZ(), upper->GetXYZ(), axis, ends))
        return false;
    std::vector<G3Vertex*> chain{lower};  // lower -> ... -> upper
    std::vector<G3Vertex*> made;          // the vertices added here
    // Each interval's first and last place in the chain.
    std::vector<std::pair<std::size_t, std::size_t>> spans(static_cast<std::size_t>(intervals->GetIntervalCount()),
                                                           {0, 0});
    for (const IntervalEnd& end : ends) {
        // An end on the chain's last point (the lower end, one interval
        // ending where the next begins) or on the upper end is that
        // vertex: a vertex of its own there would leave a zero-length
        // piece in both facets. Once at the upper end the chain stays
        // there (a later end within the bands never runs on past it).
        G3Vertex* v = nullptr;
        if (chain.back() == upper || PointsEqual(chain.back()->GetXYZ(), end.point))
            v = chain.back();
        else if (PointsEqual(upper->GetXYZ(), end.point))
            v = upper;
        if (!v) {
            made.push_back(s->AddVertex(end.point, 0));
            v = made.back();
        }
        if (v != chain.back())
            chain.push_back(v);
        std::pair<std::size_t, std::size_t>& span = spans[static_cast<std::size_t>(end.interval)];
        (end.first ? span.first : span.second) = chain.size() - 1;
    }
    if (chain.back() != upper)
        chain.push_back(upper);
    // The pieces some interval covers (an interval's ends may have become
    // one vertex: it covers none).
    std::vector<bool> covered(chain.size() - 1, false);
    for (const std::pair<std::size_t, std::size_t>& span : spans)
        for (std::size_t i = span.first; i < span.second; ++i)
            covered[i] = true;
    std::vector<std::pair<G3Vertex*, G3Vertex*>> marked;  // the pieces Ai -> Bi
    for (std::size_t i = 0; i < covered.size(); ++i)
        if (covered[i])
            marked.emplace_back(chain[i], chain[i + 1]);
    const long flags = edge->GetFlags();
    if (chain.size() <= 2) {
        // No point inside the edge: one new edge between the same
        // vertices, an interval's piece when one covers the whole edge.
        G3Edge* p = new G3Edge(v1, v2);
        p->SetFacet1(edge->GetFacet1());
        p->SetFacet2(edge->GetFacet2());
        p->SetFlags(!marked.empty() ? 0x80 : flags);
        for (int side = 1; side <= 2; ++side)
            for (int end = 1; end <= 2; ++end) {
                G3TexCoo* t = nullptr;
                G3Normal* nrm = edge->GetCorner(side, end, &t);
                if (nrm || t)
                    p->SetCorner(side, end, nrm, t);
            }
        G3Facet* f1 = edge->GetFacet1();
        G3Facet* f2 = edge->GetFacet2();
        if (f1)
            f1->DivideEdge(edge, 1, &p);
        if (f2 && f2 != f1)
            f2->DivideEdge(edge, 1, &p);
        s->AddEdgeToCollection(p);
        v1->AddEdge(p);
        v2->AddEdge(p);
        v1->RemoveEdge(edge);
        v2->RemoveEdge(edge);
        edge->SetFacet1(nullptr);
        edge->SetFacet2(nullptr);
        edge->SetFacet1Edge(nullptr);
        edge->SetFacet2Edge(nullptr);
        s->RemoveEdge(edge);
        return true;
    }
    // SplitEdge takes the inner points from vertex1 towards vertex2.
    std::vector<G3Vertex*> inner(chain.begin() + 1, chain.end() - 1);
    if (reversed)
        std::reverse(inner.begin(), inner.end());
    if (!s->SplitEdge(edge, static_cast<int>(inner.size()), inner.data(), false)) {
        for (G3Vertex* v : made)
            s->RemoveVertex(v);  // still without edges
        return false;
    }
    // One of each marked piece's ends is new, so the edge joining them is
    // that piece.
    for (const auto& [a, b] : marked)
        for (G3Edge* e = b->GetFirstEdge(); e; e = e->GetVertexEdge(b))
            if (e->HasVertex(a))
                e->SetFlags(0x80);
    return true;
}

bool G3SurfaceEdit::FindCommonEdges(G3Surface* a, G3Surface* b, double ma[4][4], double mb[4][4],
                                    GArrayCollection* out)
{
    if (!a || !b || !out)
        return false;
    struct Placed {
        G3Facet* facet;
        double plane[4];
        std::vector<std::pair<G3Edge*, std::vector<double>>> edges;  // edge, placed ends (6)
    };
    auto place = [](G3Surface* s, double m[4][4]) {
        std::vector<Placed> out;
        for (int k = 0; k < s->GetFacetCount(); ++k) {
            G3Facet* f = s->GetFacet(k);
            Placed p{f, {0, 0, 0, 0}, {}};
            std::vector<double> corners;
            for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
                std::vector<double> ends(6);
                const G3Vertex* vs[2] = {e->GetVertex1(), e->GetVertex2()};
                for (int i = 0; i < 2; ++i) {
                    if (m)
                        V3MulPointByMatrix(vs[i]->GetXYZ(), m, &ends[static_cast<std::size_t>(3 * i)]);
                    else
                        std::copy(vs[i]->GetXYZ(), vs[i]->GetXYZ() + 3, ends.begin() + 3 * i);
                }
                p.edges.emplace_back(e, ends);
            }
            // The placed plane: Newell's normal over the placed chain.
            double nrm[3] = {0, 0, 0}, c[3] = {0, 0, 0};
            for (const auto& pe : p.edges) {
                const double* u = pe.second.data();
                const double* w = u + 3;
                nrm[0] += (u[1] - w[1]) * (u[2] + w[2]);
                nrm[1] += (u[2] - w[2]) * (u[0] + w[0]);
                nrm[2] += (u[0] - w[0]) * (u[1] + w[1]);
                for (int i = 0; i < 3; ++i)
                    c[i] += u[i];
            }
            const double len = std::sqrt(nrm[0] * nrm[0] + nrm[1] * nrm[1] + nrm[2] * nrm[2]);
            if (p.edges.empty() || !(len > GTolerance::kZeroNormal))
                continue;
            for (int i = 0; i < 3; ++i) {
                p.plane[i] = nrm[i] / len;
                c[i] /= static_cast<double>(p.edges.size());
            }
            p.plane[3] = -(p.plane[0] * c[0] + p.plane[1] * c[1] + p.plane[2] * c[2]);
            out.push_back(std::move(p));
        }
        return out;
    };
    const std::vector<Placed> pa = place(a, ma);
    const std::vector<Placed> pb = place(b, mb);
    auto coplanar = [](const double* p, const double* q) {
        const double dot = p[0] * q[0] + p[1] * q[1] + p[2] * q[2];
        return (std::fabs(dot - 1.0) < GTolerance::kPlaneEqual && std::fabs(p[3] - q[3]) < GTolerance::kPlaneEqual) ||
               (std::fabs(dot + 1.0) < GTolerance::kPlaneEqual && std::fabs(p[3] + q[3]) < GTolerance::kPlaneEqual);
    };
    // Distance of p from the line through u, w.
    auto offLine = [](const double* p, const double* u, const double* w) {
        const double d[3] = {w[0] - u[0], w[1] - u[1], w[2] - u[2]};
        const double q[3] = {p[0] - u[0], p[1] - u[1], p[2] - u[2]};
        const double cr[3] = {d[1] * q[2] - d[2] * q[1], d[2] * q[0] - d[0] * q[2], d[0] * q[1] - d[1] * q[0]};
        const double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        return std::sqrt(cr[0] * cr[0] + cr[1] * cr[1] + cr[2] * cr[2]) / len;
    };
    std::set<std::pair<long, long>> seen;
    bool any = false;
    for (const Placed& fa : pa) {
        for (const Placed& fb : pb) {
            if (!coplanar(fa.plane, fb.plane))
                continue;
            for (const auto& ea : fa.edges) {
                const double* u = ea.second.data();
                const int axis = DominantAxis(u, u + 3);
                if (axis < 0)
                    continue;
                for (const auto& eb : fb.edges) {
                    const double* w = eb.second.data();
                    if (DominantAxis(w, w + 3) != axis || offLine(w, u, u + 3) >= GTolerance::kPlaneSide ||
                        offLine(w + 3, u, u + 3) >= GTolerance::kPlaneSide)
                        continue;
                    const double* alo = u[axis] <= u[3 + axis] ? u : u + 3;
                    const double* ahi = alo == u ? u + 3 : u;
                    const double* blo = w[axis] <= w[3 + axis] ? w : w + 3;
                    const double* bhi = blo == w ? w + 3 : w;
                    const double* lo = alo[axis] >= blo[axis] ? alo : blo;
                    const double* hi = ahi[axis] <= bhi[axis] ? ahi : bhi;
                    if (hi[axis] - lo[axis] <= GTolerance::kZeroLength)
                        continue;
                    if (!seen.insert({ea.first->GetId(), eb.first->GetId()}).second)
                        continue;
                    out->add(new G3Interval(lo, ea.first, hi, eb.first));
                    any = true;
                }
            }
        }
    }
    return any;
}
