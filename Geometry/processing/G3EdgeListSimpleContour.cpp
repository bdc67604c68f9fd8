// The contour of an edge list that already is one simple contour, found
// without the crossing sweep and the contour graph: two coplanar facets
// merged across the one edge they share (a quad split by its diagonal, the
// commonest merge there is) hand over such a list, and building a sweep and
// a graph for each of thousands of them cost more than everything else the
// merge does.
//
// Invariants: the contour returned is, edge for edge, the one the sweep and
// the graph walk would make of the same list (same edges in the same order,
// each with its source's vertices, corners and flags, then normalized);
// whenever that cannot be told without them, nothing is returned and the
// caller takes the general road. So the list qualifies only when
// - its live edges (those pair cancellation leaves) form one cycle through
//   distinct vertices, no longer than kMaxEdges, and the cancelled edges
//   join vertices of that cycle only (in the graph they cancel each other,
//   and their ends map onto the cycle's own vertices);
// - in the projection plane, every vertex lies farther than
//   kSimpleContourClearance from every other vertex and from every live edge
//   it does not end, and no two live edges cross: the sweep then reports
//   only touches at shared ends (which split nothing) and the point hash of
//   the graph merges no two vertices;
// - the start of the graph walk is decided without ring order: the lowest
//   vertex has one edge that wins outright.
// The one place that rounds is the clearance test; the start vertex and edge
// are chosen with the graph walk's own comparisons, in its vertex order.
//
// The same test runs on plain arrays of edge ends (G3FindSimpleCycle), so
// that UnionInPlaneFacets can take the short cut for a small group of
// facets without building the edge list at all (G3SimpleGroupContour): it
// copies the group's edges as that list would hold them and repeats, on
// the copies, each step the list's road takes (pair cancellation, the
// cycle, the turns head to tail, the winding test against the first
// facet's plane), so the facet it builds is the one the road builds. The
// cycle's edges and its start depend on where the vertices lie and which
// edges share them, never on which way round an edge is held.

#include "Geometry/processing/G3EdgeList.h"
#include "Geometry/processing/G3SimpleCycle.h"

#include "Geometry/foundation/GObj.h"
#include "Geometry/math/G3Math.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3EdgeCopy.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <vector>

namespace {

using GTolerance::kPointEqual;
using GTolerance::kSimpleContourClearance;

constexpr int kMaxEdges = kSimpleCycleEdges;

constexpr long kWalkMarks = G3Obj::FLAG_MARK | G3Obj::FLAG_MARK2;

struct Planar {
    double u;
    double v;
};

double Cross(const Planar& o, const Planar& a, const Planar& b)
{
    return (a.u - o.u) * (b.v - o.v) - (a.v - o.v) * (b.u - o.u);
}

// Whether p lies within `clearance` of the segment ab.
bool Near(const Planar& p, const Planar& a, const Planar& b, double clearance)
{
    const double du = b.u - a.u;
    const double dv = b.v - a.v;
    const double len2 = du * du + dv * dv;
    double t = len2 > 0.0 ? ((p.u - a.u) * du + (p.v - a.v) * dv) / len2 : 0.0;
    t = t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t);
    const double eu = a.u + t * du - p.u;
    const double ev = a.v + t * dv - p.v;
    return !(eu * eu + ev * ev > clearance * clearance);
}

// Whether the segments ab and cd meet (touching counts).
bool Meet(const Planar& a, const Planar& b, const Planar& c, const Planar& d)
{
    return !(Cross(a, b, c) * Cross(a, b, d) > 0.0) && !(Cross(c, d, a) * Cross(c, d, b) > 0.0);
}

void Turn(G3EdgeCopy& c)
{
    std::swap(c.v1, c.v2);
    std::swap(c.n1, c.n2);
    std::swap(c.t1, c.t2);
}

// Turns each copy of a simple cycle (at least three edges through distinct
// vertices, in walk order) to run from the vertex at which the contour walk
// enters it: the first from its end that the second edge does not share.
void HeadToTail(G3EdgeCopy* c, int m)
{
    const G3Vertex* at = (c[1].v1 == c[0].v1 || c[1].v2 == c[0].v1) ? c[0].v2 : c[0].v1;
    for (int k = 0; k < m; ++k) {
        if (c[k].v1 != at)
            Turn(c[k]);
        at = c[k].v2;
    }
}

} // namespace

void G3CancelPairs(const G3EdgeEnds* ends, int n, char* idle)
{
    for (int k = 0; k < n; ++k)
        idle[k] = 0;
    for (int k = 0; k < n; ++k) {
        const G3EdgeEnds& e = ends[k];
        if (!e.v1 || !e.v2 || e.v1 == e.v2)
            continue;
        int partner = -1;
        for (int m = 0; m < k; ++m) {
            const G3EdgeEnds& o = ends[m];
            if (!idle[m] && ((o.v1 == e.v1 && o.v2 == e.v2) || (o.v1 == e.v2 && o.v2 == e.v1)))
                partner = m;
        }
        if (partner >= 0) {
            idle[partner] = 1;
            idle[k] = 1;
        }
    }
}

bool G3FindSimpleCycle(const G3EdgeEnds* ends, int n, const char* idle, int i, int j, G3SimpleCycle* out)
{
    if (n > 2 * kMaxEdges || !out)
        return false;
    // The vertices in the order the graph would create them (first
    // appearance, vertex1 before vertex2), the live edges with their ends
    // as indices into it, and the two live edges at each vertex.
    std::array<G3Vertex*, kMaxEdges> order{};
    std::array<int, kMaxEdges> live{};
    std::array<int, kMaxEdges> a{};
    std::array<int, kMaxEdges> b{};
    std::array<int, kMaxEdges> first{};
    std::array<int, kMaxEdges> second{};
    int vertices = 0;
    int m = 0;
    auto indexOf = [&](G3Vertex* v) {
        for (int k = 0; k < vertices; ++k)
            if (order[static_cast<std::size_t>(k)] == v)
                return k;
        if (vertices == kMaxEdges)
            return -1;
        order[static_cast<std::size_t>(vertices)] = v;
        first[static_cast<std::size_t>(vertices)] = -1;
        second[static_cast<std::size_t>(vertices)] = -1;
        return vertices++;
    };
    for (int k = 0; k < n; ++k) {
        const G3EdgeEnds& e = ends[k];
        if (!e.v1 || !e.v2 || e.v1 == e.v2)
            return false;
        const int ea = indexOf(e.v1);
        const int eb = indexOf(e.v2);
        if (ea < 0 || eb < 0)
            return false;
        if (idle[k])
            continue;
        if (m == kMaxEdges)
            return false;
        live[static_cast<std::size_t>(m)] = k;
        a[static_cast<std::size_t>(m)] = ea;
        b[static_cast<std::size_t>(m)] = eb;
        for (int end : {ea, eb}) {
            int& slot = first[static_cast<std::size_t>(end)] < 0 ? first[static_cast<std::size_t>(end)]
                                                                 : second[static_cast<std::size_t>(end)];
            if (slot >= 0)
                return false; // a third live edge at one vertex
            slot = m;
        }
        ++m;
    }
    // Every vertex ends exactly two live edges (so cancelled edges join
    // cycle vertices only).
    if (m < 3 || vertices != m)
        return false;
    for (int k = 0; k < m; ++k)
        if (second[static_cast<std::size_t>(k)] < 0)
            return false;
    // No two edges join the same pair, live or cancelled, except the
    // cancelled ones among themselves.
    for (int k = 0; k < n; ++k) {
        const G3EdgeEnds& e = ends[k];
        for (int q = 0; q < m; ++q) {
            const G3EdgeEnds& o = ends[live[static_cast<std::size_t>(q)]];
            if (&o != &e && ((o.v1 == e.v1 && o.v2 == e.v2) || (o.v1 == e.v2 && o.v2 == e.v1)))
                return false;
        }
    }

    // One cycle through all live edges: cycle[] holds them in walk order.
    std::array<int, kMaxEdges> cycle{};
    {
        int at = b[0];
        int q = 0;
        int steps = 0;
        do {
            cycle[static_cast<std::size_t>(steps++)] = q;
            const int next = first[static_cast<std::size_t>(at)] == q ? second[static_cast<std::size_t>(at)]
                                                                       : first[static_cast<std::size_t>(at)];
            at = a[static_cast<std::size_t>(next)] == at ? b[static_cast<std::size_t>(next)]
                                                         : a[static_cast<std::size_t>(next)];
            q = next;
        } while (q != 0 && steps < m);
        if (q != 0 || steps != m)
            return false;
    }

    // Clearance in the projection plane.
    std::array<Planar, kMaxEdges> p{};
    for (int k = 0; k < m; ++k)
        p[static_cast<std::size_t>(k)] = {order[static_cast<std::size_t>(k)]->GetXYZ(i),
                                          order[static_cast<std::size_t>(k)]->GetXYZ(j)};
    for (int q = 0; q < m; ++q) {
        const int qa = a[static_cast<std::size_t>(q)];
        const int qb = b[static_cast<std::size_t>(q)];
        for (int k = 0; k < m; ++k)
            if (k != qa && k != qb &&
                Near(p[static_cast<std::size_t>(k)], p[static_cast<std::size_t>(qa)], p[static_cast<std::size_t>(qb)],
                     kSimpleContourClearance))
                return false;
        for (int r = q + 1; r < m; ++r) {
            const int ra = a[static_cast<std::size_t>(r)];
            const int rb = b[static_cast<std::size_t>(r)];
            if (ra != qa && ra != qb && rb != qa && rb != qb &&
                Meet(p[static_cast<std::size_t>(qa)], p[static_cast<std::size_t>(qb)], p[static_cast<std::size_t>(ra)],
                     p[static_cast<std::size_t>(rb)]))
                return false;
        }
    }
    // (Two vertices closer than the clearance are caught above: one lies
    // near an edge of the other that it does not end.)

    // The walk's start: the lowest vertex (then the leftmost), in graph
    // order and with the graph's comparisons.
    int extreme = 0;
    for (int k = 1; k < m; ++k) {
        const Planar& u = p[static_cast<std::size_t>(k)];
        const Planar& x = p[static_cast<std::size_t>(extreme)];
        const double dj = u.v - x.v;
        if (dj < -kPointEqual || (std::fabs(dj) <= kPointEqual && u.u < x.u - kPointEqual))
            extreme = k;
    }
    // Its edge with the greatest slope di/dj, or a horizontal one leading
    // left; a tie would be settled by ring order, which is not known here.
    int best = -1;
    bool leftward = false;
    double bestScore = 0.0;
    for (int q : {first[static_cast<std::size_t>(extreme)], second[static_cast<std::size_t>(extreme)]}) {
        const int other = a[static_cast<std::size_t>(q)] == extreme ? b[static_cast<std::size_t>(q)]
                                                                    : a[static_cast<std::size_t>(q)];
        const double di = p[static_cast<std::size_t>(other)].u - p[static_cast<std::size_t>(extreme)].u;
        const double dj = p[static_cast<std::size_t>(other)].v - p[static_cast<std::size_t>(extreme)].v;
        if (std::fabs(dj) < kPointEqual) {
            if (di < 0.0) {
                if (leftward)
                    return false;
                leftward = true;
                best = q;
            }
            continue;
        }
        if (leftward)
            continue;
        const double score = di / dj;
        if (best >= 0 && score == bestScore)
            return false;
        if (best < 0 || score > bestScore) {
            best = q;
            bestScore = score;
        }
    }
    if (best < 0)
        return false;

    // The cycle from the start edge, leaving the lowest vertex: following
    // cycle[] from it leads back into that vertex when the next edge is the
    // vertex's other one, and then the walk goes backwards.
    int from = 0;
    while (cycle[static_cast<std::size_t>(from)] != best)
        ++from;
    const int other = first[static_cast<std::size_t>(extreme)] == best ? second[static_cast<std::size_t>(extreme)]
                                                                       : first[static_cast<std::size_t>(extreme)];
    const int step = cycle[static_cast<std::size_t>((from + 1) % m)] == other ? m - 1 : 1;
    out->count = m;
    for (int s = 0, at = from; s < m; ++s, at = (at + step) % m)
        out->edge[static_cast<std::size_t>(s)] = live[static_cast<std::size_t>(cycle[static_cast<std::size_t>(at)])];
    return true;
}

G3EdgeList* G3EdgeList::SimpleContour(const std::vector<char>& idle)
{
    const int n = size();
    if (static_cast<int>(idle.size()) != n || n > 2 * kMaxEdges || !EnsureAxes())
        return nullptr;
    std::array<G3EdgeEnds, 2 * kMaxEdges> ends{};
    for (int k = 0; k < n; ++k)
        ends[static_cast<std::size_t>(k)] = {GetEdge(k)->GetVertex1(), GetEdge(k)->GetVertex2()};
    G3SimpleCycle cycle;
    if (!G3FindSimpleCycle(ends.data(), n, idle.data(), xCoo, yCoo, &cycle))
        return nullptr;
    G3EdgeList* contour = new G3EdgeList(facetFlags, facetSurface);
    contour->SetAxes(xCoo, yCoo);
    for (int s = 0; s < cycle.count; ++s) {
        const G3Edge* e = GetEdge(cycle.edge[static_cast<std::size_t>(s)]);
        G3TexCoo* t1 = nullptr;
        G3TexCoo* t2 = nullptr;
        G3Normal* n1 = e->GetFacet1V1(&t1);
        G3Normal* n2 = e->GetFacet1V2(&t2);
        contour->AddEdge(e->GetVertex1(), e->GetVertex2(), n1, n2, t1, t2,
                         static_cast<int>(e->GetFlags() & ~kWalkMarks));
    }
    contour->Normalize();
    return contour;
}

bool G3SimpleGroupContour(const GArrayCollection& group, G3EdgeCopy* contour, int* count, double* formed)
{
    if (group.size() < 1 || !contour || !count)
        return false;
    // The edges as the road's list holds them, except that the list turns
    // the first facet's edges head to tail: which way round an edge of the
    // list runs changes nothing here (the cycle, its start and the result's
    // turns are found from positions and shared ends alone).
    std::array<G3EdgeCopy, kPairScanEdges> list;
    int n = 0;
    G3Facet* f = static_cast<G3Facet*>(group.get(0));
    for (int q = 0; q < group.size(); ++q) {
        G3Facet* g = static_cast<G3Facet*>(group.get(q));
        for (G3Edge* e = g->GetFirstEdge(); e; e = e->GetFacetEdge(g)) {
            if (n == kPairScanEdges)
                return false;
            list[static_cast<std::size_t>(n++)] = G3EdgeCopyOf(e, e->GetFacetSide(g));
        }
    }
    const double* plane = f->GetPlane();
    if (!(std::fabs(plane[0]) + std::fabs(plane[1]) + std::fabs(plane[2]) > GTolerance::kZeroNormal))
        return false;
    int i = 0;
    int j = 1;
    G3Math::GetMaxCoo(plane, &i, &j);
    std::array<G3EdgeEnds, kPairScanEdges> ends{};
    for (int k = 0; k < n; ++k)
        ends[static_cast<std::size_t>(k)] = {list[static_cast<std::size_t>(k)].v1, list[static_cast<std::size_t>(k)].v2};
    std::array<char, kPairScanEdges> idle{};
    G3CancelPairs(ends.data(), n, idle.data());
    G3SimpleCycle cycle;
    if (!G3FindSimpleCycle(ends.data(), n, idle.data(), i, j, &cycle))
        return false;

    const int m = cycle.count;
    G3EdgeCopy* c = contour;
    for (int s = 0; s < m; ++s) {
        c[s] = list[static_cast<std::size_t>(cycle.edge[static_cast<std::size_t>(s)])];
        c[s].flags &= ~static_cast<int>(kWalkMarks);
    }
    HeadToTail(c, m);
    std::array<const double*, kSimpleCycleEdges> corners{};
    for (int s = 0; s < m; ++s)
        corners[static_cast<std::size_t>(s)] = c[s].v1->GetXYZ();
    double p[4] = {0.0, 0.0, 0.0, 0.0};
    G3Math::PlaneOfPolygon(corners.data(), m, p);
    const bool turn = p[0] * plane[0] + p[1] * plane[1] + p[2] * plane[2] < 0.0;
    if (turn) {
        std::reverse(c, c + m);
        HeadToTail(c, m);
    }
    for (int k = 0; formed && k < 4; ++k)
        formed[k] = turn ? -p[k] : p[k];
    *count = m;
    return true;
}
