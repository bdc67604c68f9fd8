// Delaunay triangulation of the engine's vertices by divide and conquer with
// alternating cuts: each level splits its nodes at the median of one axis and
// its children split on the other, which keeps the hulls to merge short for
// points spread over an area. The hull of every partial triangulation is
// closed by ghost triangles (a corner of -1), so that the merge can walk the
// hull and grow triangles out of ghosts.
//
// Oriented triangles are handles: triangle index * 4 + k. The handle's edge
// runs from its origin (corner k+1) to its destination (corner k+2); corner k
// is its apex. Ghost triangles run clockwise along the hull: the real side of
// a hull edge is on the right of the ghost's edge.
//
// Hull handles come in two forms, both on ghost triangles:
//   left form at v:  origin v, destination ghost, apex the hull vertex after
//                    v counter-clockwise;
//   right form at v: origin ghost, destination v, apex the hull vertex after
//                    v clockwise.
// A partial triangulation returns a left-form handle at its first node and a
// right-form handle at its last node in x-then-y order.

#include "Geometry/terrain/triangulation/G3TriEngine.h"
#include "Geometry/terrain/triangulation/G3TriSort.h"
#include "Geometry/foundation/GTrace.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace g3tri {

namespace {
const int kPlus1[3] = {1, 2, 0};
const int kMinus1[3] = {2, 0, 1};
} // namespace

class Builder {
public:
    Builder(LargeArray<Node>& nodes, LargeArray<Tri>& tris, bool exactSigns)
        : P(nodes.data()), T(tris), count(static_cast<int>(nodes.size())), exact(exactSigns)
    {
    }

    // Triangulates all nodes; returns false when a merge met an inconsistent
    // hull (only possible for tolerance-degenerate input), leaving no usable
    // triangles.
    bool Run()
    {
        T.clear();
        T.reserve(static_cast<std::size_t>(count) * 2 + 16);
        int farleft = 0, farright = 0;
        Recurse(0, count, 0, true, farleft, farright);
        return !failed;
    }

private:
    int Org(int h) const { return T[static_cast<std::size_t>(h >> 2)].v[kPlus1[h & 3]]; }
    int Dest(int h) const { return T[static_cast<std::size_t>(h >> 2)].v[kMinus1[h & 3]]; }
    int Apex(int h) const { return T[static_cast<std::size_t>(h >> 2)].v[h & 3]; }
    static int Lnext(int h) { return (h & ~3) | kPlus1[h & 3]; }
    static int Lprev(int h) { return (h & ~3) | kMinus1[h & 3]; }
    int Sym(int h) const { return T[static_cast<std::size_t>(h >> 2)].n[h & 3]; }
    void Bond(int a, int b)
    {
        T[static_cast<std::size_t>(a >> 2)].n[a & 3] = b;
        T[static_cast<std::size_t>(b >> 2)].n[b & 3] = a;
    }
    void SetCorner(int t, int k, int v) { T[static_cast<std::size_t>(t)].v[k] = v; }
    int& NeighbourSlot(int t, int k) { return T[static_cast<std::size_t>(t)].n[k]; }

    int MakeTri(int a, int b, int c)
    {
        T.push_back(Tri{{a, b, c}, {-1, -1, -1}});
        return static_cast<int>(T.size() - 1);
    }

    const Node& N(int v) const { return P[v]; }

    int Sign(int a, int b, int c) const
    {
        return exact ? OrientSignExact(P[a], P[b], P[c]) : OrientSign(P[a], P[b], P[c]);
    }
    bool Positive(int a, int b, int c) const { return Sign(a, b, c) > 0; }
    bool Inside(int a, int b, int c, int d) const
    {
        return exact ? InCircleSignExact(P[a], P[b], P[c], P[d]) > 0 : InCircleInside(P[a], P[b], P[c], P[d]);
    }

    void SortSmall(int* idx, int n) const
    {
        LessXY less;
        for (int i = 1; i < n; ++i)
            for (int j = i; j > 0 && less(P[idx[j]], P[idx[j - 1]]); --j)
                std::swap(idx[j], idx[j - 1]);
    }

    void Recurse(int begin, int end, int axis, bool sorted, int& farleft, int& farright)
    {
        const int n = end - begin;
        if (n == 2) {
            int idx[2] = {begin, begin + 1};
            SortSmall(idx, 2);
            const int a = idx[0], b = idx[1];
            const int t1 = MakeTri(a, b, -1);
            const int t2 = MakeTri(b, a, -1);
            Bond(t1 * 4 + 2, t2 * 4 + 2);
            Bond(t1 * 4 + 0, t2 * 4 + 1);
            Bond(t1 * 4 + 1, t2 * 4 + 0);
            farleft = t2 * 4 + 0;
            farright = t2 * 4 + 1;
            return;
        }
        if (n == 3) {
            int idx[3] = {begin, begin + 1, begin + 2};
            SortSmall(idx, 3);
            int a = idx[0], b = idx[1], c = idx[2];
            const int o = Sign(a, b, c);
            if (o == 0) {
                // A chain a-b-c: ghosts on both sides of both edges.
                const int g1 = MakeTri(a, b, -1);
                const int g2 = MakeTri(b, a, -1);
                const int g3 = MakeTri(b, c, -1);
                const int g4 = MakeTri(c, b, -1);
                Bond(g1 * 4 + 2, g2 * 4 + 2);
                Bond(g3 * 4 + 2, g4 * 4 + 2);
                Bond(g1 * 4 + 0, g3 * 4 + 1);
                Bond(g3 * 4 + 0, g4 * 4 + 1);
                Bond(g4 * 4 + 0, g2 * 4 + 1);
                Bond(g2 * 4 + 0, g1 * 4 + 1);
                farleft = g2 * 4 + 0;
                farright = g4 * 4 + 1;
                return;
            }
            const int rightmost = c;
            if (o < 0)
                std::swap(b, c);
            const int t = MakeTri(a, b, c);
            const int gab = MakeTri(b, a, -1);
            const int gbc = MakeTri(c, b, -1);
            const int gca = MakeTri(a, c, -1);
            Bond(t * 4 + 0, gbc * 4 + 2);
            Bond(t * 4 + 1, gca * 4 + 2);
            Bond(t * 4 + 2, gab * 4 + 2);
            Bond(gca * 4 + 0, gbc * 4 + 1);
            Bond(gbc * 4 + 0, gab * 4 + 1);
            Bond(gab * 4 + 0, gca * 4 + 1);
            farleft = gab * 4 + 0;
            farright = (rightmost == c ? gbc : gab) * 4 + 1;
            return;
        }
        const int half = n / 2;
        if (!sorted) {
            if (axis == 0)
                SelectNode(P + begin, n, half, LessXY());
            else
                SelectNode(P + begin, n, half, LessYX());
        }
        const int middle = begin + half;
        int innerleft = 0, innerright = 0;
        Recurse(begin, middle, 1 - axis, false, farleft, innerleft);
        Recurse(middle, end, 1 - axis, false, innerright, farright);
        if (!failed)
            Merge(farleft, innerleft, innerright, farright, axis, n);
    }

    // Merges the hull of the lower half (L) with that of the upper half (R)
    // of a cut on `axis`. The handles arrive in x-then-y terms and leave so.
    void Merge(int& farleft, int innerleft, int innerright, int& farright, int axis, int n)
    {
        // Any walk along a hull is bounded by the number of triangles; an
        // exhausted bound means an inconsistent hull.
        const int bound = 4 * n + 16;
        if (axis == 1) {
            // A horizontal cut: L lies below R. Seen with the y axis as the
            // first one, the handles must sit at the lowest and highest nodes.
            int guard = bound;
            while (N(Apex(farleft)).y < N(Org(farleft)).y && --guard > 0)
                farleft = Sym(Lnext(farleft));
            while (N(Dest(innerleft)).y < N(Apex(Sym(innerleft))).y && --guard > 0)
                innerleft = Lnext(Sym(innerleft));
            while (N(Apex(innerright)).y < N(Org(innerright)).y && --guard > 0)
                innerright = Sym(Lnext(innerright));
            while (N(Dest(farright)).y < N(Apex(Sym(farright))).y && --guard > 0)
                farright = Lnext(Sym(farright));
            if (guard <= 0) {
                failed = true;
                return;
            }
        }

        // Lower common tangent.
        int ldv = Dest(innerleft), lcw = Apex(innerleft);
        int rdv = Org(innerright), rccw = Apex(innerright);
        int guard = bound;
        bool changed;
        do {
            changed = false;
            if (Positive(ldv, lcw, rdv)) {
                innerleft = Sym(Lprev(innerleft));
                ldv = lcw;
                lcw = Apex(innerleft);
                changed = true;
            }
            if (Positive(rccw, rdv, ldv)) {
                innerright = Sym(Lnext(innerright));
                rdv = rccw;
                rccw = Apex(innerright);
                changed = true;
            }
        } while (changed && --guard > 0);
        if (guard <= 0) {
            failed = true;
            return;
        }

        // The ghost below the new base edge closes the hull underneath.
        int leftcand = Sym(innerleft);
        int rightcand = Sym(innerright);
        const int base = MakeTri(rdv, ldv, -1);
        Bond(base * 4 + 0, innerleft);
        Bond(base * 4 + 1, innerright);
        int baseedge = base * 4 + 2;
        if (ldv == Org(farleft))
            farleft = base * 4 + 0;
        if (rdv == Dest(farright))
            farright = base * 4 + 1;

        // Zip upwards. The candidate ghosts' edges towards the gap are not
        // bonded to anything valid until they are knitted or closed.
        ZipSide left{leftcand, ldv, Apex(leftcand), kPlus1, kMinus1};
        ZipSide right{rightcand, rdv, Apex(rightcand), kMinus1, kPlus1};
        guard = bound;
        for (;;) {
            if (--guard <= 0) {
                failed = true;
                return;
            }
            // A candidate that came round to the base ghost has nothing left.
            bool leftValid = (left.cand >> 2) != base && Positive(left.upper, left.lower, right.lower);
            bool rightValid = (right.cand >> 2) != base && Positive(right.upper, left.lower, right.lower);
            if (!leftValid && !rightValid)
                break;
            if (leftValid && !Prune(left, left.lower, right.lower, guard, leftValid))
                return;
            if (rightValid && !Prune(right, left.lower, right.lower, guard, rightValid))
                return;
            if (!leftValid && !rightValid)
                continue;
            if (!leftValid || (rightValid && Inside(left.upper, left.lower, right.lower, right.upper)))
                Knit(right, left.lower, baseedge);
            else
                Knit(left, right.lower, baseedge);
        }

        // The ghost above the last edge closes the hull on top.
        const int top = MakeTri(left.lower, right.lower, -1);
        Bond(top * 4 + 2, baseedge);
        Bond(top * 4 + 0, right.cand);
        Bond(top * 4 + 1, left.cand);

        if (axis == 1) {
            // Back to the leftmost and rightmost nodes for the caller.
            int g = bound;
            while (N(Apex(Sym(farleft))).x < N(Org(farleft)).x && --g > 0)
                farleft = Lprev(Sym(farleft));
            while (N(Dest(farright)).x < N(Apex(farright)).x && --g > 0)
                farright = Sym(Lprev(farright));
            if (g <= 0)
                failed = true;
        }
        if (!IsHullHandle(farleft, true) || !IsHullHandle(farright, false))
            failed = true;
    }

    // One side of the merge's zipper: its candidate ghost, the base edge's
    // end on this side (lower) and the candidate's apex above it (upper).
    // The right side mirrors the left: every turn about a triangle goes the
    // other way round, so the two differ only in which neighbour of a corner
    // comes first (fwd) and which last (back).
    struct ZipSide {
        int cand;
        int lower;
        int upper;
        const int* fwd;  // kPlus1 on the left, kMinus1 on the right
        const int* back; // kMinus1 on the left, kPlus1 on the right
    };

    // h turned about its triangle towards s's back corner: Lprev on the
    // left, Lnext on the right.
    static int Turn(const ZipSide& s, int h) { return (h & ~3) | s.back[h & 3]; }

    // Flips away the edges next to s's candidate whose triangles the circle
    // through ll, lr and s.upper would contain; s.upper follows, and `valid`
    // is tested again when anything went. False (and failed set) when the
    // walk ran past its bound.
    bool Prune(ZipSide& s, int ll, int lr, int& guard, bool& valid)
    {
        int nextedge = Sym(Turn(s, s.cand));
        int x = Apex(nextedge);
        bool removed = false;
        while (x >= 0 && Inside(ll, lr, s.upper, x)) {
            const int t = s.cand >> 2, k = s.cand & 3;
            const int tt = nextedge >> 2, kk = nextedge & 3;
            const int side = NeighbourSlot(tt, s.back[kk]);
            const int outer = NeighbourSlot(t, s.fwd[k]);
            SetCorner(t, k, x);
            SetCorner(tt, s.fwd[kk], -1);
            Bond(t * 4 + s.back[k], side);
            Bond(tt * 4 + kk, outer);
            Bond(t * 4 + s.fwd[k], tt * 4 + s.back[kk]);
            s.upper = x;
            removed = true;
            if (--guard <= 0) {
                failed = true;
                return false;
            }
            nextedge = Sym(Turn(s, s.cand));
            x = Apex(nextedge);
        }
        if (removed)
            valid = Positive(s.upper, ll, lr);
        return true;
    }

    // Knits s's candidate ghost into the triangle over the base edge, with
    // `across` (the base edge's end on the other side) as its third corner;
    // the new triangle's upper edge becomes the base edge and s moves up.
    void Knit(ZipSide& s, int across, int& baseedge)
    {
        const int t = s.cand >> 2, k = s.cand & 3;
        const int next = NeighbourSlot(t, s.fwd[k]);
        SetCorner(t, s.back[k], across);
        Bond(s.cand, baseedge);
        baseedge = t * 4 + s.fwd[k];
        s.cand = next;
        s.lower = s.upper;
        s.upper = Apex(s.cand);
    }

    // A left-form handle has a ghost destination, a right-form one a ghost
    // origin; both have real other corners.
    bool IsHullHandle(int h, bool leftForm) const
    {
        if (leftForm)
            return Dest(h) < 0 && Org(h) >= 0 && Apex(h) >= 0;
        return Org(h) < 0 && Dest(h) >= 0 && Apex(h) >= 0;
    }

    Node* P;
    LargeArray<Tri>& T;
    int count;
    bool exact;
    bool failed = false;
};

// ------------------------------------------------------------------- the run

namespace {

// Sorts the nodes in x-then-y order. Uniform input would keep a quicksort of
// a million nodes streaming through the whole array on each of its top
// levels; instead the nodes are first dealt into buckets of about eight by
// their x value, relative to the range of x, which is a non-decreasing
// function of x (subtracting the minimum and scaling by a positive factor
// both round monotonically). Concatenating the buckets, each sorted, is
// then exactly the sorted order, whatever the spread of the values: many
// equal or crowded values only make one bucket large, which the quicksort
// then handles as it would the whole array.
void SortByXY(LargeArray<Node>& nodes)
{
    const int n = static_cast<int>(nodes.size());
    if (n < 64) {
        SortNodes(nodes.data(), n, LessXY());
        return;
    }
    double lo = nodes[0].x, hi = nodes[0].x;
    for (const Node& p : nodes) {
        lo = p.x < lo ? p.x : lo;
        hi = p.x > hi ? p.x : hi;
    }
    const int buckets = n / 8;
    const double range = hi - lo;
    const double scale = static_cast<double>(buckets) / range;
    if (!(range > 0.0) || !std::isfinite(range) || !std::isfinite(scale) || !(scale > 0.0)) {
        SortNodes(nodes.data(), n, LessXY());
        return;
    }
    const double last = static_cast<double>(buckets - 1);
    LargeArray<int> key(static_cast<std::size_t>(n));
    LargeArray<int> start(static_cast<std::size_t>(buckets) + 1, 0);
    for (int i = 0; i < n; ++i) {
        const double d = (nodes[static_cast<std::size_t>(i)].x - lo) * scale;
        const int b = d >= last ? buckets - 1 : static_cast<int>(d);
        key[static_cast<std::size_t>(i)] = b;
        ++start[static_cast<std::size_t>(b) + 1];
    }
    for (int b = 0; b < buckets; ++b)
        start[static_cast<std::size_t>(b) + 1] += start[static_cast<std::size_t>(b)];
    LargeArray<Node> dealt(static_cast<std::size_t>(n));
    {
        LargeArray<int> fill(start.begin(), start.end() - 1);
        for (int i = 0; i < n; ++i)
            dealt[static_cast<std::size_t>(fill[static_cast<std::size_t>(key[static_cast<std::size_t>(i)])]++)] =
                nodes[static_cast<std::size_t>(i)];
    }
    for (int b = 0; b < buckets; ++b) {
        const int first = start[static_cast<std::size_t>(b)];
        SortNodes(dealt.data() + first, start[static_cast<std::size_t>(b) + 1] - first, LessXY());
    }
    nodes.swap(dealt);
}

// Compacts the sorted nodes to one per position and returns their count.
// Positions within 1e-8 in x form runs of the sorted order; a run of one
// node, or of one exact x (sorted by y already), only needs its neighbours
// compared; a run of several x values is swept in y order against every kept
// node of the run within 1e-8 in y, so no two kept nodes coincide.
int MergeCoinciding(LargeArray<Node>& nodes, std::vector<std::pair<int, int>>& merged)
{
    const int n = static_cast<int>(nodes.size());
    int kept = 0;
    std::vector<Node> run;
    int i = 0;
    while (i < n) {
        int j = i + 1;
        bool oneX = true;
        while (j < n && TolEqual(nodes[static_cast<std::size_t>(j)].x, nodes[static_cast<std::size_t>(j - 1)].x)) {
            oneX = oneX && nodes[static_cast<std::size_t>(j)].x == nodes[static_cast<std::size_t>(i)].x;
            ++j;
        }
        if (oneX) {
            for (int k = i; k < j; ++k) {
                const Node p = nodes[static_cast<std::size_t>(k)];
                if (k > i) {
                    const Node& last = nodes[static_cast<std::size_t>(kept - 1)];
                    if (TolEqual(p.y, last.y)) {
                        merged.emplace_back(p.vertex, last.vertex);
                        continue;
                    }
                }
                nodes[static_cast<std::size_t>(kept++)] = p;
            }
        } else {
            run.assign(nodes.begin() + i, nodes.begin() + j);
            SortNodes(run.data(), j - i, LessYX());
            const int first = kept;
            for (const Node& p : run) {
                // The run's kept nodes are in y order: look back while they
                // are within 1e-8 below p; the earliest coinciding one wins.
                int into = -1;
                for (int q = kept - 1; q >= first && TolEqual(nodes[static_cast<std::size_t>(q)].y, p.y); --q)
                    if (TolEqual(nodes[static_cast<std::size_t>(q)].x, p.x))
                        into = q;
                if (into >= 0)
                    merged.emplace_back(p.vertex, nodes[static_cast<std::size_t>(into)].vertex);
                else
                    nodes[static_cast<std::size_t>(kept++)] = p;
            }
            // Back to x-then-y order for the triangulation.
            SortNodes(nodes.data() + first, kept - first, LessXY());
        }
        i = j;
    }
    return kept;
}

// Keeps the triangles with keep[i] set, in their relative order; neighbour
// references to dropped ones become hull edges (-1).
void Compact(LargeArray<Tri>& tris, const std::vector<char>& keep)
{
    LargeArray<int> renumber(tris.size());
    int real = 0;
    for (std::size_t i = 0; i < tris.size(); ++i)
        renumber[i] = keep[i] ? real++ : -1;
    for (std::size_t i = 0; i < tris.size(); ++i) {
        const int r = renumber[i];
        if (r < 0)
            continue;
        Tri t = tris[i];
        for (int k = 0; k < 3; ++k) {
            const int h = t.n[k];
            const int nr = h >= 0 ? renumber[static_cast<std::size_t>(h >> 2)] : -1;
            t.n[k] = nr >= 0 ? nr * 4 + (h & 3) : -1;
        }
        tris[static_cast<std::size_t>(r)] = t;
    }
    tris.resize(static_cast<std::size_t>(real));
}

// Exact signs make slivers of the hull's near-collinear rows, which the
// banded signs leave out: a hull triangle flat under the banded sign, with
// one hull edge and its apex not on the hull yet, is peeled off (its apex
// joins the hull; the region loses no more than the band's area). Peeling
// opens its neighbours to the same test.
void PeelFlatHull(const LargeArray<Node>& nodes, LargeArray<Tri>& tris)
{
    std::vector<char> onHull(nodes.size(), 0);
    std::vector<char> keep(tris.size(), 1);
    std::vector<int> work;
    for (std::size_t i = 0; i < tris.size(); ++i)
        for (int k = 0; k < 3; ++k)
            if (tris[i].n[k] < 0) {
                onHull[static_cast<std::size_t>(tris[i].v[kPlus1[k]])] = 1;
                onHull[static_cast<std::size_t>(tris[i].v[kMinus1[k]])] = 1;
                work.push_back(static_cast<int>(i));
            }
    while (!work.empty()) {
        const int t = work.back();
        work.pop_back();
        Tri& tri = tris[static_cast<std::size_t>(t)];
        const int open = (tri.n[0] < 0) + (tri.n[1] < 0) + (tri.n[2] < 0);
        if (!keep[static_cast<std::size_t>(t)] || open != 1)
            continue;
        const int k = tri.n[0] < 0 ? 0 : tri.n[1] < 0 ? 1 : 2;
        const int apex = tri.v[k];
        if (onHull[static_cast<std::size_t>(apex)] ||
            OrientSign(nodes[static_cast<std::size_t>(tri.v[0])], nodes[static_cast<std::size_t>(tri.v[1])],
                       nodes[static_cast<std::size_t>(tri.v[2])]) != 0)
            continue;
        keep[static_cast<std::size_t>(t)] = 0;
        onHull[static_cast<std::size_t>(apex)] = 1;
        for (int j = 0; j < 3; ++j) {
            const int h = tri.n[j];
            if (j == k || h < 0)
                continue;
            tris[static_cast<std::size_t>(h >> 2)].n[h & 3] = -1;
            work.push_back(h >> 2);
        }
    }
    Compact(tris, keep);
}

// Runs the divide and conquer over the sorted nodes and drops the ghosts
// (and, with exact signs, the flat hull slivers). False, with no usable
// triangles, when a merge met an inconsistent hull.
bool BuildTriangles(LargeArray<Node>& nodes, LargeArray<Tri>& tris, bool exact)
{
    Builder builder(nodes, tris, exact);
    if (!builder.Run())
        return false;
    std::vector<char> real(tris.size());
    for (std::size_t i = 0; i < tris.size(); ++i)
        real[i] = tris[i].v[0] >= 0 && tris[i].v[1] >= 0 && tris[i].v[2] >= 0;
    Compact(tris, real);
    if (exact)
        PeelFlatHull(nodes, tris);
    return true;
}

// Whether the triangles tile the hull of the nodes once. Their border must
// run round once without touching itself: then, every triangle turning
// counter-clockwise (exactly), they lie over each other nowhere. Checked:
// the orientations, every node used, one hull successor per node, the hull
// edges forming one cycle that turns through one full turn, the count of a
// disc (nodes - edges + triangles = 1), and the area: the triangles' may
// fall short of the hull of the border's nodes by the zero band of each
// border edge, not more (a merge that cut a corner left a dent there).
// `shortest` takes the squared length of the shortest edge, from the same
// pass over the triangles' nodes.
bool Consistent(const LargeArray<Node>& nodes, const LargeArray<Tri>& tris, double* shortest)
{
    const int n = static_cast<int>(nodes.size());
    const int f = static_cast<int>(tris.size());
    if (f == 0)
        return true;
    std::vector<int> next(static_cast<std::size_t>(n), -1);
    std::vector<char> used(static_cast<std::size_t>(n), 0);
    int hull = 0, start = -1;
    // Doubled areas (as Orient gives them), summed in the same pass: the
    // triangles' nodes lie apart, and a second pass would fetch them again.
    double tiled = 0.0, magnitude = 0.0;
    for (const Tri& t : tris) {
        const Node& a = nodes[static_cast<std::size_t>(t.v[0])];
        const Node& b = nodes[static_cast<std::size_t>(t.v[1])];
        const Node& c = nodes[static_cast<std::size_t>(t.v[2])];
        if (OrientSignExact(a, b, c) <= 0)
            return false;
        tiled += Orient(a, b, c);
        magnitude += predicate_detail::OrientMagnitude(a, b, c);
        const Node* corner[3] = {&a, &b, &c};
        for (int k = 0; k < 3; ++k) {
            const Node& p = *corner[kPlus1[k]];
            const Node& q = *corner[kMinus1[k]];
            const double dx = p.x - q.x, dy = p.y - q.y;
            const double d = dx * dx + dy * dy;
            *shortest = d < *shortest ? d : *shortest;
        }
        for (int k = 0; k < 3; ++k) {
            used[static_cast<std::size_t>(t.v[k])] = 1;
            if (t.n[k] >= 0)
                continue;
            const int from = t.v[kPlus1[k]], to = t.v[kMinus1[k]];
            if (next[static_cast<std::size_t>(from)] >= 0)
                return false;
            next[static_cast<std::size_t>(from)] = to;
            start = from;
            ++hull;
        }
    }
    int vertices = 0;
    for (char u : used)
        vertices += u;
    if (vertices != n || (3 * f + hull) % 2 != 0 || vertices - (3 * f + hull) / 2 + f != 1)
        return false;
    double turning = 0.0;
    int steps = 0;
    int v = start;
    do {
        const int w = next[static_cast<std::size_t>(v)];
        const int u = w < 0 ? -1 : next[static_cast<std::size_t>(w)];
        if (u < 0 || ++steps > hull)
            return false;
        const Node& p = nodes[static_cast<std::size_t>(v)];
        const Node& q = nodes[static_cast<std::size_t>(w)];
        const Node& r = nodes[static_cast<std::size_t>(u)];
        const double ex = q.x - p.x, ey = q.y - p.y, fx = r.x - q.x, fy = r.y - q.y;
        turning += std::atan2(ex * fy - ey * fx, ex * fx + ey * fy);
        v = w;
    } while (v != start);
    // A closed polygon turns through a whole number of turns: one is 2 pi,
    // and the rounding of the angles is far below the half turn allowed.
    const double turn = 2.0 * std::acos(-1.0);
    if (steps != hull || !(std::fabs(turning - turn) < 0.5 * turn))
        return false;

    // The hull's doubled area is taken relative to its first node so that
    // map coordinates keep their digits.
    std::vector<Node> border;
    v = start;
    do {
        border.push_back(nodes[static_cast<std::size_t>(v)]);
        v = next[static_cast<std::size_t>(v)];
    } while (v != start);
    std::sort(border.begin(), border.end(), LessXY());
    const std::size_t m = border.size();
    std::vector<Node> chain(2 * m);
    std::size_t k = 0;
    for (std::size_t i = 0; i < m; ++i) {
        while (k >= 2 && OrientSignExact(chain[k - 2], chain[k - 1], border[i]) <= 0)
            --k;
        chain[k++] = border[i];
    }
    for (std::size_t i = m - 1, lower = k + 1; i > 0; --i) {
        while (k >= lower && OrientSignExact(chain[k - 2], chain[k - 1], border[i - 1]) <= 0)
            --k;
        chain[k++] = border[i - 1];
    }
    double convex = 0.0;
    for (std::size_t i = 1; i + 2 < k; ++i)
        convex += Orient(chain[i], chain[i + 1], chain[0]);
    const double slack = hull * kPlanarTriangulation + 8 * predicate_detail::kOrientRounding * magnitude;
    return tiled >= convex - slack;
}

} // namespace


void G3TriEngine::Triangulate()
{
    ClearResult();
    crossing = 0;
    const int n = vertexCount;
    runVertexCount = n;

    // Sort the plan positions, then merge coinciding ones (closer than 1e-8
    // in both x and y): the first of each group stays, the others are mapped
    // to it and take no part in the triangles.
    // A point without a finite position cannot be placed: it takes no part.
    nodes.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const G3TVertex* v = VertexAt(i);
        if (std::isfinite(v->x) && std::isfinite(v->y))
            nodes.push_back(Node{v->x, v->y, i});
    }
    SortByXY(nodes);
    const int kept = MergeCoinciding(nodes, merged);
    nodes.resize(static_cast<std::size_t>(kept));

    // The banded signs keep slivers out of near-collinear rows, but they are
    // not those of any real configuration, and the merges rely on that: on
    // rotated survey grids whose rows are straight only to within rounding
    // the result could wrap round itself (a hull through one node twice,
    // triangles over each other, every one turning the right way). Such a
    // result is caught and the nodes are triangulated again with exact signs.
    // The check also finds the shortest edge (each edge seen from both of
    // its triangles, hull edges once), for the separation.
    bool ok = true;
    double shortest = HUGE_VAL;
    if (kept > 2) {
        ok = BuildTriangles(nodes, tris, false) && Consistent(nodes, tris, &shortest);
        if (!ok) {
            GTrace("Triangulation: inconsistent with banded signs, again with exact signs");
            SortByXY(nodes);
            shortest = HUGE_VAL;
            ok = BuildTriangles(nodes, tris, true) && Consistent(nodes, tris, &shortest);
        }
    }
    if (!ok) {
        GTrace("Triangulation: inconsistent hull, no triangles");
        tris.clear();
    }
    separation = tris.empty() ? 0.0 : std::sqrt(shortest);
}

} // namespace g3tri
