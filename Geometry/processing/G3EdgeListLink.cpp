// Joining holes to the contours around them, so that an outer contour with
// its holes becomes one contour and one facet.
//
// Invariants the joining keeps:
// - Before anything is joined, every outer contour that receives holes runs
//   counter-clockwise on the projection pair and each of its holes
//   clockwise: the material lies on the left of every edge. A splice keeps
//   both runs as they are, so the joined contour keeps the material on its
//   left and runs every hole the right way round.
// - A hole joins its parent, the contour one nesting level up that encloses
//   it: at a vertex the two share when there is one, else through a bridge,
//   two opposite edges between a hole vertex v and a parent vertex w.
// - A bridge is a segment that crosses no edge of any list (the parent as
//   joined so far, with its earlier bridges, the holes still waiting and
//   the islands inside them), passes no vertex but its ends within the
//   point tolerance, and runs through the material (its midpoint lies
//   inside an odd number of lists). Near-degenerate candidates are refused
//   rather than trusted; the next one is tried.
// - Where the joined contour passes a vertex several times, the splice goes
//   into the passage whose sector (from its leaving edge round to its
//   arriving edge, on the material side) holds the bridge or the hole's
//   corner, so the joined contour never crosses itself.
// - Holes are taken in a fixed order, the one with the greatest extreme
//   vertex (largest xCoo, then yCoo) first. Every hole still waiting then
//   lies on the near side of the extreme vertex, so the parent as joined so
//   far always has a vertex the bridge can reach; candidates are tried
//   nearest first.
// - The lists near a bridge or around a hole come from a grid of their
//   envelopes, which passes over only lists that the envelope tests would
//   refuse: every answer is that of a scan of all lists.
// - While its holes join it, a parent lives in a G3LinkRing (its list is
//   rebuilt from the ring at the end). Whatever the ring answers is what a
//   walk over the whole list would: its passages through a vertex in list
//   order, its vertices nearest first with ties in list order, every edge
//   whose box meets a bridge's, and every step of the parity walk that can
//   count (PointInFacet's own crossing rule, G3RayProbe).

#include "Geometry/processing/G3EdgeList.h"

#include "Geometry/math/G3Math.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3EdgeListVertexIterator.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3RayProbe.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeBands.h"
#include "Geometry/processing/G3LinkRing.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

using GTolerance::kPointEqual;
constexpr double kTwoPi = 6.28318530717958647692;

// --- planar helpers on the projection pair (i, j)

struct Axes {
    int i;
    int j;
};

// Squared distances throughout: they are compared with kPointEqual2.
constexpr double kPointEqual2 = kPointEqual * kPointEqual;

double Distance2(const double* a, const double* b, Axes ax)
{
    const double di = b[ax.i] - a[ax.i];
    const double dj = b[ax.j] - a[ax.j];
    return di * di + dj * dj;
}

bool Near(const double* a, const double* b, Axes ax) { return Distance2(a, b, ax) < kPointEqual2; }

// The squared distance from p to the closed segment a-b.
double SegmentDistance2(const double* p, const double* a, const double* b, Axes ax)
{
    const double di = b[ax.i] - a[ax.i];
    const double dj = b[ax.j] - a[ax.j];
    const double len2 = di * di + dj * dj;
    double t = 0.0;
    if (len2 > 0.0)
        t = std::min(1.0, std::max(0.0, ((p[ax.i] - a[ax.i]) * di + (p[ax.j] - a[ax.j]) * dj) / len2));
    const double ei = p[ax.i] - a[ax.i] - t * di;
    const double ej = p[ax.j] - a[ax.j] - t * dj;
    return ei * ei + ej * ej;
}

// The turn from the direction o->a to o->b: +1 counter-clockwise, -1
// clockwise, 0 when the farther point lies within the point tolerance of
// the line through o and the nearer one.
int Turn(const double* o, const double* a, const double* b, Axes ax)
{
    const double area = G3Math::GetArea2(o, a, b, ax.i, ax.j);
    const double shorter2 = std::min(Distance2(o, a, ax), Distance2(o, b, ax));
    if (area * area <= kPointEqual2 * shorter2)
        return 0;
    return area > 0.0 ? 1 : -1;
}

bool SameWay(const double* o, const double* a, const double* b, Axes ax)
{
    return (a[ax.i] - o[ax.i]) * (b[ax.i] - o[ax.i]) + (a[ax.j] - o[ax.j]) * (b[ax.j] - o[ax.j]) > 0.0;
}

// Whether the direction x->p lies strictly inside the sector swept
// counter-clockwise from x->from to x->to (a whole turn when the two
// coincide).
bool InSector(const double* x, const double* from, const double* to, const double* p, Axes ax)
{
    const int turn = Turn(x, from, to, ax);
    if (turn > 0)
        return Turn(x, from, p, ax) > 0 && Turn(x, p, to, ax) > 0;
    if (turn < 0)
        return !(Turn(x, to, p, ax) >= 0 && Turn(x, p, from, ax) >= 0);
    if (SameWay(x, from, to, ax))
        return !(Turn(x, from, p, ax) == 0 && SameWay(x, from, p, ax));
    return Turn(x, from, p, ax) > 0;
}

// Whether the segment p-q meets the segment a-b anywhere but at an end the
// two share; an end within the tolerance of the other segment counts as
// meeting it.
bool Meets(const double* p, const double* q, const double* a, const double* b, Axes ax)
{
    const bool aAtEnd = Near(a, p, ax) || Near(a, q, ax);
    const bool bAtEnd = Near(b, p, ax) || Near(b, q, ax);
    if (aAtEnd && bAtEnd)
        return true; // the same segment, or one shorter than the tolerance
    if (!aAtEnd && SegmentDistance2(a, p, q, ax) < kPointEqual2)
        return true;
    if (!bAtEnd && SegmentDistance2(b, p, q, ax) < kPointEqual2)
        return true;
    const bool pAtEnd = Near(p, a, ax) || Near(p, b, ax);
    const bool qAtEnd = Near(q, a, ax) || Near(q, b, ax);
    if (!pAtEnd && SegmentDistance2(p, a, b, ax) < kPointEqual2)
        return true;
    if (!qAtEnd && SegmentDistance2(q, a, b, ax) < kPointEqual2)
        return true;
    if (aAtEnd || bAtEnd)
        return false; // one shared end and no other contact
    const double sa = G3Math::GetArea2(p, q, a, ax.i, ax.j);
    const double sb = G3Math::GetArea2(p, q, b, ax.i, ax.j);
    const double sp = G3Math::GetArea2(a, b, p, ax.i, ax.j);
    const double sq = G3Math::GetArea2(a, b, q, ax.i, ax.j);
    return ((sa > 0.0) != (sb > 0.0)) && ((sp > 0.0) != (sq > 0.0));
}

// Whether the box of the segment p-q, widened by the tolerance, misses l's
// envelope.
bool Misses(G3EdgeList* l, const double* p, const double* q, Axes ax)
{
    const double* lo = l->GetEnvelope()->GetMin();
    const double* hi = l->GetEnvelope()->GetMax();
    for (int c : {ax.i, ax.j})
        if (std::fmax(p[c], q[c]) < lo[c] - kPointEqual || std::fmin(p[c], q[c]) > hi[c] + kPointEqual)
            return true;
    return false;
}

// --- lists as runs of edges

// Twice the signed area the list's edges enclose, summed about the first
// vertex so that far from the origin the products stay of the contour's
// own size.
double SignedArea(G3EdgeList* l, Axes ax)
{
    const double* o = l->GetEdge(0)->GetVertex1()->GetXYZ();
    double a = 0.0;
    for (int k = 0; k < l->size(); ++k)
        a += G3Math::GetArea2(o, l->GetEdge(k)->GetVertex1()->GetXYZ(), l->GetEdge(k)->GetVertex2()->GetXYZ(), ax.i,
                              ax.j);
    return a;
}

// Runs the list the other way round, still head to tail.
void Reverse(G3EdgeList* l)
{
    l->Rotate();
    for (int k = 0; k < l->size(); ++k)
        l->GetEdge(k)->SwapVertex();
}

// Whether every edge starts where the one before it ends (one closed run).
bool OneRun(G3EdgeList* l)
{
    const int n = l->size();
    for (int k = 0; k < n; ++k) {
        const G3Edge* e = l->GetEdge(k);
        if (!e->GetVertex1() || !e->GetVertex2() || e->GetVertex1() != l->GetEdge((k + n - 1) % n)->GetVertex2())
            return false;
    }
    return n >= 3;
}

// The passage of l through x whose material sector strictly holds the
// direction x->p: the index of its arriving edge (the leaving edge is the
// next one), -1 when none does.
int PassageToward(G3EdgeList* l, const G3Vertex* x, const double* p, Axes ax)
{
    const int n = l->size();
    for (int k = 0; k < n; ++k) {
        const G3Edge* in = l->GetEdge(k);
        if (in->GetVertex2() != x)
            continue;
        const G3Edge* out = l->GetEdge((k + 1) % n);
        if (InSector(x->GetXYZ(), out->GetVertex2()->GetXYZ(), in->GetVertex1()->GetXYZ(), p, ax))
            return k;
    }
    return -1;
}

// A new list edge a -> b with `flags`, carrying (n, t) at both ends on both
// sides.
G3Edge* BridgeEdge(G3Vertex* a, G3Vertex* b, G3Normal* n, G3TexCoo* t, int flags)
{
    G3Edge* e = new G3Edge(a, b);
    e->SetFlags(static_cast<long>(static_cast<unsigned int>(flags)));
    e->SetFacet1V1(n, t);
    e->SetFacet1V2(n, t);
    e->SetFacet2V1(n, t);
    e->SetFacet2V2(n, t);
    return e;
}

// Puts all of `hole`'s edges, run once round, into the parent's ring after
// node `at`, starting with the edge after `from` of `hole`; `there` and
// `back` (either both null or both bridge edges) lead over and back.
// `hole` is left empty: its edges now belong to the parent.
void Splice(G3EdgeList* into, G3LinkRing& ring, int at, G3EdgeList* hole, int from, G3Edge* there, G3Edge* back)
{
    const int m = hole->size();
    std::vector<G3Edge*> run;
    run.reserve(static_cast<size_t>(m + 2));
    if (there)
        run.push_back(there);
    for (int k = 1; k <= m; ++k)
        run.push_back(hole->GetEdge((from + k) % m));
    if (back)
        run.push_back(back);
    ring.InsertAfter(at, run);
    into->GetEnvelope()->Add(hole->GetEnvelope());
    hole->clear();
}

// The passage of the parent through x whose material sector strictly holds
// the direction x->p (PassageToward on the ring): its arriving node, -1
// when none does.
int RingPassageToward(G3LinkRing& ring, const G3Vertex* x, const double* p, Axes ax, std::vector<int>& arriving)
{
    ring.Arriving(x, arriving);
    for (int k : arriving) {
        const G3Edge* in = ring.Edge(k);
        const G3Edge* out = ring.Edge(ring.Next(k));
        if (InSector(x->GetXYZ(), out->GetVertex2()->GetXYZ(), in->GetVertex1()->GetXYZ(), p, ax))
            return k;
    }
    return -1;
}

// Joins hole h to its parent at a vertex they share, where the hole's
// corner fits in the parent's material sector there (the parent's passages
// in list order). False when none does.
bool JoinAtSharedVertex(G3EdgeList* parent, G3LinkRing& ring, G3EdgeList* h, Axes ax)
{
    const int m = h->size();
    std::vector<int> arriving;
    for (int q = 0; q < m; ++q) {
        const G3Edge* in = h->GetEdge(q);
        G3Vertex* x = in->GetVertex2();
        const G3Vertex* next = h->GetEdge((q + 1) % m)->GetVertex2();
        const double* xyz = x->GetXYZ();
        ring.Arriving(x, arriving);
        for (int p : arriving) {
            const G3Edge* a = ring.Edge(p);
            const G3Edge* b = ring.Edge(ring.Next(p));
            // The hole's corner, from its arriving edge round to its leaving
            // edge, must lie in the parent's sector from b round to a.
            const double base = G3Math::CalcAngle(xyz, b->GetVertex2()->GetXYZ(), 0.0, ax.i, ax.j);
            double toA = G3Math::CalcAngle(xyz, a->GetVertex1()->GetXYZ(), base, ax.i, ax.j);
            if (toA <= 0.0)
                toA = kTwoPi;
            const double toIn = G3Math::CalcAngle(xyz, in->GetVertex1()->GetXYZ(), base, ax.i, ax.j);
            const double toOut = G3Math::CalcAngle(xyz, next->GetXYZ(), base, ax.i, ax.j);
            if (toIn <= toOut && toOut <= toA) {
                Splice(parent, ring, p, h, q, nullptr, nullptr);
                return true;
            }
        }
    }
    return false;
}

// The lists' envelopes on the projection pair in a grid of about one cell
// per list, the largest (past a budget of entries) in a list of their own:
// Near gives every list whose envelope, widened by the point tolerance, may
// meet a box, each once. Which lists a question reaches never changes its
// answer (every list is tested by Misses as before): the grid only passes
// over lists that Misses would pass over. A joined parent is entered again
// where its hole lay, as its envelope grew by the hole's.
class EnvelopeGrid {
public:
    EnvelopeGrid(const std::vector<G3EdgeList*>& lists, Axes ax) : lists(lists), ax(ax), seen(lists.size(), 0)
    {
        const std::size_t n = lists.size();
        bool any = false;
        for (G3EdgeList* l : lists) {
            const double* lo = l->GetEnvelope()->GetMin();
            const double* hi = l->GetEnvelope()->GetMax();
            if (l->size() == 0 || !(lo[ax.i] <= hi[ax.i]) || !(lo[ax.j] <= hi[ax.j]))
                continue;
            for (int a = 0; a < 2; ++a) {
                const int c = a == 0 ? ax.i : ax.j;
                low[a] = any ? std::fmin(low[a], lo[c]) : lo[c];
                high[a] = any ? std::fmax(high[a], hi[c]) : hi[c];
            }
            any = true;
        }
        side = std::max(1, std::min(1024, static_cast<int>(std::sqrt(static_cast<double>(n)))));
        for (int a = 0; a < 2; ++a)
            scale[a] = any && high[a] > low[a] ? side / (high[a] - low[a]) : 0.0;
        cells.assign(static_cast<std::size_t>(side) * static_cast<std::size_t>(side), std::vector<int>());
        std::vector<std::pair<long, int>> order;
        for (std::size_t k = 0; k < n; ++k) {
            int r[4];
            if (Range(lists[k]->GetEnvelope(), r))
                order.emplace_back(static_cast<long>(r[1] - r[0] + 1) * (r[3] - r[2] + 1), static_cast<int>(k));
            else
                wide.push_back(static_cast<int>(k));
        }
        std::sort(order.begin(), order.end());
        long budget = 16 * static_cast<long>(n);
        for (const auto& o : order) {
            if (o.first > budget) {
                wide.push_back(o.second);
                continue;
            }
            budget -= o.first;
            Enter(o.second, lists[static_cast<std::size_t>(o.second)]->GetEnvelope());
        }
        std::sort(wide.begin(), wide.end());
    }

    G3EdgeList* List(int k) const { return lists[static_cast<std::size_t>(k)]; }

    // List k's envelope grew by `added`.
    void Grew(int k, const GEnvelope* added)
    {
        if (!std::binary_search(wide.begin(), wide.end(), k))
            Enter(k, added);
    }

    // Calls f(index) for every list that may come near the box of p and q.
    template <class F>
    void Near(const double* p, const double* q, F f)
    {
        ++stamp;
        for (int k : wide)
            Visit(k, f);
        const int x0 = Cell(0, std::fmin(p[ax.i], q[ax.i]) - kPointEqual);
        const int x1 = Cell(0, std::fmax(p[ax.i], q[ax.i]) + kPointEqual);
        const int y0 = Cell(1, std::fmin(p[ax.j], q[ax.j]) - kPointEqual);
        const int y1 = Cell(1, std::fmax(p[ax.j], q[ax.j]) + kPointEqual);
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                for (int k : cells[static_cast<std::size_t>(y) * static_cast<std::size_t>(side) + static_cast<std::size_t>(x)])
                    Visit(k, f);
    }

private:
    template <class F>
    void Visit(int k, F& f)
    {
        if (seen[static_cast<std::size_t>(k)] == stamp)
            return;
        seen[static_cast<std::size_t>(k)] = stamp;
        f(k);
    }
    // The cells an envelope (widened by the tolerance) meets; false when it
    // has no extent to place.
    bool Range(const GEnvelope* e, int* r) const
    {
        const double* lo = e->GetMin();
        const double* hi = e->GetMax();
        if (!(lo[ax.i] <= hi[ax.i]) || !(lo[ax.j] <= hi[ax.j]))
            return false;
        r[0] = Cell(0, lo[ax.i] - kPointEqual);
        r[1] = Cell(0, hi[ax.i] + kPointEqual);
        r[2] = Cell(1, lo[ax.j] - kPointEqual);
        r[3] = Cell(1, hi[ax.j] + kPointEqual);
        return true;
    }
    void Enter(int k, const GEnvelope* e)
    {
        int r[4];
        if (!Range(e, r)) {
            wide.insert(std::upper_bound(wide.begin(), wide.end(), k), k);
            return;
        }
        for (int y = r[2]; y <= r[3]; ++y)
            for (int x = r[0]; x <= r[1]; ++x)
                cells[static_cast<std::size_t>(y) * static_cast<std::size_t>(side) + static_cast<std::size_t>(x)]
                    .push_back(k);
    }
    // Monotone in the coordinate, so widened boxes share their cells.
    int Cell(int a, double x) const
    {
        const double q = (x - low[a]) * scale[a];
        return !(q > 0.0) ? 0 : q >= side - 1 ? side - 1 : static_cast<int>(q);
    }

    const std::vector<G3EdgeList*>& lists;
    Axes ax;
    int side = 1;
    double low[2] = {0.0, 0.0};
    double high[2] = {0.0, 0.0};
    double scale[2] = {0.0, 0.0};
    std::vector<std::vector<int>> cells;
    std::vector<int> wide; // sorted
    std::vector<unsigned> seen;
    unsigned stamp = 0;
};

// Whether the edge a-b stops the segment v-w: its box comes within the
// point tolerance of the segment's and the two meet.
bool Stops(const double* v, const double* w, const double* a, const double* b, Axes ax)
{
    if (std::fmax(a[ax.i], b[ax.i]) < std::fmin(v[ax.i], w[ax.i]) - kPointEqual ||
        std::fmin(a[ax.i], b[ax.i]) > std::fmax(v[ax.i], w[ax.i]) + kPointEqual ||
        std::fmax(a[ax.j], b[ax.j]) < std::fmin(v[ax.j], w[ax.j]) - kPointEqual ||
        std::fmin(a[ax.j], b[ax.j]) > std::fmax(v[ax.j], w[ax.j]) + kPointEqual)
        return false;
    return Meets(v, w, a, b, ax);
}

// How far beyond the facet band a coordinate's rounding may carry a step
// that cannot count (relative to the coordinate's size).
constexpr double kRoundingReach = 1e-12;

// PointInFacet of p over the parent's ring: whether p lies on its
// boundary (*on) or inside by the count of crossings. The walk's steps
// are the ring's edges (the parent is one run, and every splice keeps it
// one: each edge ends where the next begins). Only steps the ring reports
// near the ray are taken: a step with both ends a tolerance to one side of
// the ray's line, or both twice the band behind p, counts nothing, so the
// count is the whole walk's.
bool RingPointIn(G3LinkRing& ring, const double* p, Axes ax, bool* on)
{
    using G3RayProbe::RayProbe;
    const RayProbe probe(ax.i, ax.j, p, GTolerance::kInFacet);
    const double si = 2.0 * GTolerance::kInFacet + kRoundingReach * std::fabs(p[ax.i]);
    const double sj = 2.0 * GTolerance::kInFacet + kRoundingReach * std::fabs(p[ax.j]);
    const double lo[2] = {p[ax.i] - si, p[ax.j] - sj};
    const double hi[2] = {HUGE_VAL, p[ax.j] + sj};
    int crossings = 0;
    *on = false;
    ring.EdgesNear(lo, hi, [&](int, const double* from, const double* to) {
        if (*on)
            return;
        const G3RayProbe::Corner a = probe.Make(from, nullptr);
        const G3RayProbe::Corner b = probe.Make(to, nullptr);
        switch (probe.Edge(a, b)) {
        case G3RayProbe::STEP_ON_VERTEX:
        case G3RayProbe::STEP_ON_EDGE:
            *on = true;
            break;
        case G3RayProbe::STEP_CROSSING:
            ++crossings;
            break;
        case G3RayProbe::STEP_NOTHING:
            break;
        }
    });
    return *on || (crossings & 1) != 0;
}

// The parents' rings by list index (null for a list that is no parent).
using Rings = std::vector<std::unique_ptr<G3LinkRing>>;

// Whether the segment v-w can be a bridge: it meets no edge of any list
// but at its ends and runs through the material.
bool ClearBridge(EnvelopeGrid& grid, Rings& rings, const double* v, const double* w, Axes ax)
{
    bool met = false;
    grid.Near(v, w, [&](int k) {
        G3EdgeList* l = grid.List(k);
        if (met || l->size() == 0 || Misses(l, v, w, ax))
            return;
        if (G3LinkRing* ring = rings[static_cast<size_t>(k)].get()) {
            const double lo[2] = {std::fmin(v[ax.i], w[ax.i]) - kPointEqual, std::fmin(v[ax.j], w[ax.j]) - kPointEqual};
            const double hi[2] = {std::fmax(v[ax.i], w[ax.i]) + kPointEqual, std::fmax(v[ax.j], w[ax.j]) + kPointEqual};
            ring->EdgesNear(lo, hi, [&](int, const double* a, const double* b) {
                if (!met)
                    met = Stops(v, w, a, b, ax);
            });
            return;
        }
        for (int e = 0; e < l->size() && !met; ++e)
            met = Stops(v, w, l->GetEdge(e)->GetVertex1()->GetXYZ(), l->GetEdge(e)->GetVertex2()->GetXYZ(), ax);
    });
    if (met)
        return false;
    // Nothing is met, so the whole open segment lies in one face of the
    // lists' arrangement: its midpoint tells which.
    double mid[3];
    for (int c = 0; c < 3; ++c)
        mid[c] = 0.5 * (v[c] + w[c]);
    bool inside = false;
    bool on = false;
    grid.Near(mid, mid, [&](int k) {
        G3EdgeList* l = grid.List(k);
        if (on || l->size() == 0 || Misses(l, mid, mid, ax))
            return;
        if (G3LinkRing* ring = rings[static_cast<size_t>(k)].get()) {
            if (RingPointIn(*ring, mid, ax, &on))
                inside = !inside;
            return;
        }
        G3EdgeListVertexIterator it(l);
        G3Vertex* onA = nullptr;
        G3Vertex* onB = nullptr;
        if (G3Facet::PointInFacet(ax.i, ax.j, mid, &it, &onA, &onB, GTolerance::kInFacet)) {
            if (onA)
                on = true;
            inside = !inside;
        }
    });
    return inside && !on;
}

// The distinct vertices of l in order of first appearance.
std::vector<G3Vertex*> Corners(G3EdgeList* l)
{
    std::vector<G3Vertex*> out;
    std::unordered_set<const G3Vertex*> seen;
    for (int k = 0; k < l->size(); ++k) {
        G3Vertex* v = l->GetEdge(k)->GetVertex1();
        if (seen.insert(v).second)
            out.push_back(v);
    }
    return out;
}

// Whether u comes before w in the extreme order: larger xCoo, then larger
// yCoo.
bool MoreExtreme(const G3Vertex* u, const G3Vertex* w, Axes ax)
{
    if (u->GetXYZ(ax.i) != w->GetXYZ(ax.i))
        return u->GetXYZ(ax.i) > w->GetXYZ(ax.i);
    return u->GetXYZ(ax.j) > w->GetXYZ(ax.j);
}

// Joins hole h to its parent through a bridge: from the hole's vertices,
// most extreme first, to the parent's vertices, nearest first, the first
// pair whose segment is clear and fits the sectors at both ends.
bool JoinByBridge(G3EdgeList* parent, G3LinkRing& ring, G3EdgeList* h, EnvelopeGrid& grid, Rings& rings, Axes ax,
                  int flags)
{
    std::vector<G3Vertex*> sources = Corners(h);
    std::stable_sort(sources.begin(), sources.end(),
                     [ax](const G3Vertex* a, const G3Vertex* b) { return MoreExtreme(a, b, ax); });
    // The parent's vertices (one per edge: a vertex passed twice is tried
    // twice, which only repeats a refusal), nearest first, ties in the
    // parent's order.
    std::vector<int> arriving;
    for (G3Vertex* v : sources) {
        const double* pv = v->GetXYZ();
        const bool joined = ring.Nearest(
            pv, [pv, ax](const double* q) { return Distance2(pv, q, ax); },
            [&](int node, double d2) {
                G3Vertex* w = ring.Edge(node)->GetVertex1();
                const double* pw = w->GetXYZ();
                if (d2 < kPointEqual2)
                    return false;
                const int from = PassageToward(h, v, pw, ax);
                if (from < 0)
                    return false;
                const int at = RingPassageToward(ring, w, pv, ax, arriving);
                if (at < 0 || !ClearBridge(grid, rings, pv, pw, ax))
                    return false;
                // Each bridge carries the corner of the contour edge that
                // arrives at its start.
                G3TexCoo* tw = nullptr;
                G3Normal* nw = ring.Edge(at)->GetFacet1V2(&tw);
                G3TexCoo* tv = nullptr;
                G3Normal* nv = h->GetEdge(from)->GetFacet1V2(&tv);
                Splice(parent, ring, at, h, from, BridgeEdge(w, v, nw, tw, flags), BridgeEdge(v, w, nv, tv, flags));
                return true;
            });
        if (joined)
            return true;
    }
    return false;
}

// The parent of hole h: the first list one nesting level up that is not a
// hole and encloses h; -1 when there is none. A list around h holds h's
// lowest corner, so it is among the lists near that corner.
int ParentOf(G3EdgeList* h, EnvelopeGrid& grid, Axes ax, std::vector<std::unique_ptr<G3EdgeBands>>& banded)
{
    const double* lo = h->GetEnvelope()->GetMin();
    const double* hi = h->GetEnvelope()->GetMax();
    std::vector<int> around;
    grid.Near(lo, lo, [&](int k) {
        G3EdgeList* d = grid.List(k);
        if (d == h || d->GetContourType() == CONTOUR_TYPE_HOLE || d->GetInCount() != h->GetInCount() - 1)
            return;
        const double* dlo = d->GetEnvelope()->GetMin();
        const double* dhi = d->GetEnvelope()->GetMax();
        bool holds = true;
        for (int c : {ax.i, ax.j})
            holds = holds && lo[c] >= dlo[c] - kPointEqual && hi[c] <= dhi[c] + kPointEqual;
        if (holds)
            around.push_back(k);
    });
    std::sort(around.begin(), around.end());
    // A parent with many edges, asked by every hole in it, is asked
    // through its bands.
    for (int k : around)
        if (G3IsInThroughBands(h, grid.List(k), banded[static_cast<size_t>(k)]))
            return k;
    return -1;
}

} // namespace

void G3EdgeList::Link(GArrayCollection* lists, G3Surface*, int flags)
{
    if (!lists || lists->size() < 2)
        return;
    std::vector<G3EdgeList*> all;
    for (int k = 0; k < lists->size(); ++k) {
        if (G3EdgeList* l = dynamic_cast<G3EdgeList*>(lists->get(k))) {
            l->EnsureAxes();
            l->FormEnvelope();
            all.push_back(l);
        }
    }
    if (all.empty())
        return;
    const Axes ax = {all.front()->xCoo, all.front()->yCoo};

    // Pair every hole with its parent before anything is joined: joining
    // changes the lists that IsIn would read.
    struct Pending {
        G3EdgeList* hole;
        G3EdgeList* parent;
        G3Vertex* extreme;
        size_t order;
        int parentAt;
    };
    EnvelopeGrid grid(all, ax);
    std::vector<std::unique_ptr<G3EdgeBands>> banded(all.size());
    std::vector<Pending> pending;
    // Whether each list is one run, asked once: nothing changes before the
    // joining starts. 0 unknown, 1 yes, 2 no.
    std::vector<char> oneRun(all.size(), 0);
    auto isOneRun = [&](int k) {
        char& known = oneRun[static_cast<size_t>(k)];
        if (!known)
            known = OneRun(all[static_cast<size_t>(k)]) ? 1 : 2;
        return known == 1;
    };
    for (size_t k = 0; k < all.size(); ++k) {
        G3EdgeList* h = all[k];
        if (h->contourType != CONTOUR_TYPE_HOLE || !isOneRun(static_cast<int>(k)))
            continue;
        const int parentAt = ParentOf(h, grid, ax, banded);
        G3EdgeList* parent = parentAt >= 0 ? all[static_cast<size_t>(parentAt)] : nullptr;
        if (!parent || !isOneRun(parentAt))
            continue;
        G3Vertex* extreme = h->GetEdge(0)->GetVertex1();
        for (int e = 1; e < h->size(); ++e)
            if (MoreExtreme(h->GetEdge(e)->GetVertex1(), extreme, ax))
                extreme = h->GetEdge(e)->GetVertex1();
        pending.push_back({h, parent, extreme, k, parentAt});
    }
    if (pending.empty())
        return;

    // Material on the left of every edge that takes part. A parent found
    // turned the right way stays so (it is no hole, so nothing else turns
    // it) and is not summed again.
    std::vector<char> settled(all.size(), 0);
    for (const Pending& p : pending) {
        if (SignedArea(p.hole, ax) > 0.0)
            Reverse(p.hole);
        char& known = settled[static_cast<size_t>(p.parentAt)];
        if (known)
            continue;
        if (SignedArea(p.parent, ax) < 0.0)
            Reverse(p.parent);
        else
            known = 1;
    }

    // Every parent as a ring, its index covering the room its holes take.
    Rings rings(all.size());
    {
        std::vector<std::pair<int, size_t>> byParent; // (parent, pending)
        for (size_t k = 0; k < pending.size(); ++k)
            byParent.emplace_back(pending[k].parentAt, k);
        std::sort(byParent.begin(), byParent.end());
        for (size_t b = 0; b < byParent.size();) {
            const int parentAt = byParent[b].first;
            G3EdgeList* parent = all[static_cast<size_t>(parentAt)];
            double lo[2];
            double hi[2];
            const int axis[2] = {ax.i, ax.j};
            for (int a = 0; a < 2; ++a) {
                lo[a] = parent->GetEnvelope()->GetMin()[axis[a]];
                hi[a] = parent->GetEnvelope()->GetMax()[axis[a]];
            }
            int expected = parent->size();
            for (; b < byParent.size() && byParent[b].first == parentAt; ++b) {
                G3EdgeList* h = pending[byParent[b].second].hole;
                for (int a = 0; a < 2; ++a) {
                    lo[a] = std::fmin(lo[a], h->GetEnvelope()->GetMin()[axis[a]]);
                    hi[a] = std::fmax(hi[a], h->GetEnvelope()->GetMax()[axis[a]]);
                }
                expected += h->size() + 2;
            }
            rings[static_cast<size_t>(parentAt)] = std::make_unique<G3LinkRing>(parent, ax.i, ax.j, lo, hi, expected);
        }
    }

    std::stable_sort(pending.begin(), pending.end(), [ax](const Pending& a, const Pending& b) {
        if (MoreExtreme(a.extreme, b.extreme, ax))
            return true;
        if (MoreExtreme(b.extreme, a.extreme, ax))
            return false;
        return a.order < b.order;
    });
    std::vector<G3EdgeList*> joined;
    std::unordered_set<const GObj*> gone; // looked up only
    for (const Pending& p : pending) {
        G3LinkRing& ring = *rings[static_cast<size_t>(p.parentAt)];
        if (JoinAtSharedVertex(p.parent, ring, p.hole, ax) ||
            JoinByBridge(p.parent, ring, p.hole, grid, rings, ax, flags)) {
            grid.Grew(p.parentAt, p.hole->GetEnvelope());
            joined.push_back(p.hole);
            gone.insert(p.hole);
        }
    }
    for (const std::unique_ptr<G3LinkRing>& ring : rings)
        if (ring)
            ring->Unload();

    // The joined holes are empty now; they leave the lists.
    int kept = 0;
    for (int k = 0; k < lists->size(); ++k) {
        GObj* o = lists->get(k);
        if (!gone.count(o))
            lists->put(kept++, o);
    }
    lists->size(kept);
    for (G3EdgeList* h : joined)
        delete h;
}
