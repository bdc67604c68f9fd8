// The level sweep of the roof generator. Each level is a ring at one
// height; the next level is the ring grown along the vertices' bisector
// lines (the common lines of neighbouring pitch planes) up to the first
// height where an edge collapses (edge event) or where a vertex first meets
// an edge it does not end (split event). Invariants: every level lies
// strictly more than kPlaneSide above the one it grew from, every vertex
// links to the vertex it grew from until its sections are made (the link
// is dropped when the level grows on; nothing reads it between), a level
// that touches itself is split into simple rings before it grows on, every
// section between two levels lies in one pitch plane and is spliced into a
// facet ring of that plane, and a level is released once it is split (only
// the ring the sweep starts from stays with the generator). The split and
// contact searches pass over a vertex-edge pair only when the reaches of
// the vertex's path (or the vertex) and the edge's sweep (or the edge) are
// apart, which the tests they skip would refuse. The split search takes
// the edges near a path from a band of levels (a ring grown some events
// higher): a vertex and an edge whose planes are the band's move along the
// band's lines inside its heights, so that their path and sweep lie inside
// the band's, and the band lists every edge whose sweep comes near a path
// there; the vertices and edges whose planes changed since are tried over
// the band's grid or with every vertex. A vertex keeps from level to
// level what its planes alone fix (the common point of its edges' planes,
// and its own point as the start of its path), named by the planes' names
// (G3RoofVertex::planeId): a value is taken over only while the names are
// those it was worked out for, so it is the one working it out again
// gives. The level's contacts and its split are G3RoofSplit.cpp's.
// Rounding happens only in the plane intersections and where a vertex is
// put onto an edge it meets in the band of a level (OntoEdge).
#include "Geometry/roof/G3RoofGenerator.h"

#include "Geometry/math/G3Math.h"
#include "Geometry/math/G3SegmentTest.h"
#include "Geometry/math/GMatrix.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/roof/G3RoofBoxGrid.h"
#include "Geometry/roof/G3RoofFacetRings.h"
#include "Geometry/roof/G3RoofPlanes.h"
#include "Geometry/roof/G3RoofSweepScratch.h"
#include "Geometry/roof/G3RoofVertex.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

using GTolerance::kPlaneSide;
using G3RoofSweepParts::PlanLength;
using G3RoofSweepParts::PrefetchVertex;
using G3RoofSweepParts::kVertexAhead;
using G3RoofSweepParts::RecordLevelContacts;
using G3RoofSweepParts::SameXY;
using G3RoofSweepParts::SegmentDistance2;
using G3RoofSweepParts::Vertices;

namespace {

// The ring `vs` grown to height h: pos[i] is where vertex i gets to (the
// common point of its plane, its successor's plane and z = h).
void LevelPositions(const std::vector<G3RoofVertex*>& vs, double h, std::vector<double>& pos,
                    std::vector<char>& ok)
{
    const std::size_t n = vs.size();
    pos.assign(3 * n, 0.0);
    ok.assign(n, 0);
    for (std::size_t i = 0; i < n; ++i)
        ok[i] = G3RoofLevelPoint(vs[i]->plane, vs[i]->next->plane, h, &pos[3 * i]) ? 1 : 0;
}

// Plane names (G3RoofVertex::planeId) come from one counter for the whole
// process: a ring kept from an earlier sweep never shares a name with
// other values.
std::atomic<long long> nextPlaneId{0};

// a and b are the same double bit for bit, a zero's sign included: the
// sign of the height level points are worked out at reaches them.
inline bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// collapseAt[i] and meets[i]: the common point of the planes of vertex i's
// edges (the previous vertex's, its own, the next one's); fromPos[i] and
// fromOk[i]: vertex i grown to z, as LevelPositions has it. Both come from
// what the vertex keeps when the planes are those it was worked out for
// (by their names), and the vertex keeps what is worked out anew: planes
// alone fix the common point, and a vertex left on its line at height z
// is its own level point there.
void CollapseAndStart(const std::vector<G3RoofVertex*>& vs, double z, std::vector<double>& collapseAt,
                      std::vector<char>& meets, std::vector<double>& fromPos, std::vector<char>& fromOk)
{
    const std::size_t n = vs.size();
    for (G3RoofVertex* v : vs) {
        // The sections of the level were the only readers of its links
        // down; they are dropped here, where the walk reads the vertex
        // anyway, before the objects of the level below are reused.
        v->lower = nullptr;
        if (v->planeId < 0)
            v->planeId = nextPlaneId.fetch_add(1, std::memory_order_relaxed);
    }
    collapseAt.assign(3 * n, 0.0);
    meets.assign(n, 0);
    fromPos.assign(3 * n, 0.0);
    fromOk.assign(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        if (i + kVertexAhead < n)
            PrefetchVertex(vs[i + kVertexAhead]);
        G3RoofVertex* v = vs[i];
        double* x = &collapseAt[3 * i];
        const bool sameLine = v->keys[1] == v->planeId && v->keys[2] == v->next->planeId;
        if (sameLine && v->keys[0] == v->prev->planeId && v->collapseMeets >= 0) {
            std::copy(v->collapse, v->collapse + 3, x);
            meets[i] = static_cast<char>(v->collapseMeets);
        } else {
            meets[i] = G3RoofPlanesPoint(v->prev->plane, v->plane, v->next->plane, x) ? 1 : 0;
            std::copy(x, x + 3, v->collapse);
            v->collapseMeets = static_cast<signed char>(meets[i]);
            v->keys[0] = v->prev->planeId;
            v->keys[1] = v->planeId;
            v->keys[2] = v->next->planeId;
            v->onLine = v->onLine && sameLine;
        }
        if (v->onLine && SameBits(v->point.GetZ(), z)) {
            std::copy(v->point.GetXYZ(), v->point.GetXYZ() + 3, &fromPos[3 * i]);
            fromOk[i] = 1;
        } else {
            fromOk[i] = G3RoofLevelPoint(v->plane, v->next->plane, z, &fromPos[3 * i]) ? 1 : 0;
        }
    }
}

} // namespace

namespace {

// x lies on the edge that ends at vertex e (the edge grown to x's height),
// not on its line's extension.
bool OnEdge(const std::vector<G3RoofVertex*>& vs, int e, const double* x)
{
    const int n = static_cast<int>(vs.size());
    double a[3], b[3];
    return G3RoofLevelPoint(vs[(e + n - 1) % n]->plane, vs[e]->plane, x[2], a) &&
           G3RoofLevelPoint(vs[e]->plane, vs[(e + 1) % n]->plane, x[2], b) && G3PtOnSegmentXY(x, a, b);
}

// Vertex k (between planes of k and k+1) meets the edge that ends at vertex
// e (plane of e) at height `at`, above z + kPlaneSide and below `below` +
// kPlaneSide: a candidate of the split refinement, kept only when the
// vertex then lies on that edge, not on its line's extension. Only the
// candidates below `below` - kPlaneSide lower the level; the others may
// lie in the band of the level made.
bool SplitCandidate(const std::vector<G3RoofVertex*>& vs, int k, int e, double z, double below, double* at)
{
    const int n = static_cast<int>(vs.size());
    const int k1 = (k + 1) % n, e0 = (e + n - 1) % n;
    if (k == e || k == e0)
        return false;
    double x[3];
    if (!G3RoofPlanesPoint(vs[k]->plane, vs[k1]->plane, vs[e]->plane, x))
        return false;
    if (!(x[2] > z + kPlaneSide && x[2] < below + kPlaneSide))
        return false;
    if (!OnEdge(vs, e, x))
        return false;
    *at = x[2];
    return true;
}

// Vertex k of the level at h (pos, with ok) lies on an edge of the level
// it does not end, or on another vertex: the contact search then splits
// the level there.
bool TouchesLevel(const std::vector<double>& pos, const std::vector<char>& ok, int k)
{
    const int n = static_cast<int>(ok.size());
    const double* p = &pos[3 * static_cast<std::size_t>(k)];
    int first = -1, last = -1;
    auto edge = [&](int a, int b) {
        if (a == k || b == k)
            return false;
        const double* pa = &pos[3 * static_cast<std::size_t>(a)];
        const double* pb = &pos[3 * static_cast<std::size_t>(b)];
        return SameXY(p, pa) || G3PtOnSegmentXY(p, pa, pb);
    };
    for (int i = 0; i < n; ++i) {
        if (!ok[static_cast<std::size_t>(i)])
            continue;
        if (last >= 0 && edge(last, i))
            return true;
        if (first < 0)
            first = i;
        last = i;
    }
    return first >= 0 && first != last && edge(last, first);
}

// Vertex k of `pos` (the level at h) onto the segment of the edge from
// vertex e0 to vertex e: the point of the segment nearest to it in the
// plan, at the height it has.
void OntoEdge(std::vector<double>& pos, int k, int e0, int e)
{
    double* p = &pos[3 * static_cast<std::size_t>(k)];
    const double* a = &pos[3 * static_cast<std::size_t>(e0)];
    const double* b = &pos[3 * static_cast<std::size_t>(e)];
    const double dx = b[0] - a[0], dy = b[1] - a[1];
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0.0 ? ((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / len2 : 0.0;
    t = t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t);
    p[0] = a[0] + t * dx;
    p[1] = a[1] + t * dy;
}

// The margin around the box of an edge's sweep: PtOnSegment's band (1e-6
// across and a 1e-6 share of the length along) and the rounding of the
// corners, with room to spare.
double SweepMargin(const G3RoofBox& b)
{
    const double size = G3RoofGreater(b.hi[0] - b.lo[0], b.hi[1] - b.lo[1]);
    const double mag = G3RoofGreater(G3RoofGreater(std::fabs(b.lo[0]), std::fabs(b.hi[0])),
                                     G3RoofGreater(std::fabs(b.lo[1]), std::fabs(b.hi[1])));
    return 4.0 * kPlaneSide + 4e-6 * size + 1e-8 * mag;
}

// The path of the vertex between the planes of v and n from height z up to
// h as a segment with its reach (ax, ay, bx, by, reach): where it may meet
// an edge in between. The ends of the
// path are level points, whose rounding grows as the planes' level lines
// turn parallel (the vertex then races along a nearly level ridge): the
// box takes in a bound of it. False when the two planes are so close to
// parallel that the path is not worth a box, or that bound is not small
// beside the margin.
// `a` and `b` are the vertex grown to z and to h (G3RoofLevelPoint of the
// two planes), taken from the caller, which has them already; aOk and bOk
// are what G3RoofLevelPoint answered.
bool VertexPath(const G3RoofVertex* v, const G3RoofVertex* n, double z, double h, const double* a, bool aOk,
                const double* b, bool bOk, double* seg)
{
    const double* p = v->plane;
    const double* q = n->plane;
    const double det = Det2x2(p[0], p[1], q[0], q[1]);
    const double np = PlanLength(p[0], p[1]), nq = PlanLength(q[0], q[1]);
    if (!(std::fabs(det) >= GTolerance::kZeroNormal))
        return false;
    if (!aOk || !bOk)
        return false;
    // Cramer's rule on the 2x2 system: each numerator and the determinant
    // carry a few roundings of their products, divided by the determinant.
    const double eps = std::numeric_limits<double>::epsilon();
    const double reach = G3RoofGreater(std::fabs(z), std::fabs(h));
    const double rhs = (std::fabs(p[3]) + std::fabs(p[2]) * reach) * nq + (std::fabs(q[3]) + std::fabs(q[2]) * reach) * np;
    const double scale = G3RoofGreater(G3RoofGreater(std::fabs(a[0]), std::fabs(a[1])),
                                       G3RoofGreater(std::fabs(b[0]), std::fabs(b[1])));
    const double rounding = 16.0 * eps * (rhs + scale * (std::fabs(p[0] * q[1]) + std::fabs(p[1] * q[0]))) / std::fabs(det);
    G3RoofBox box(a, a, 0.0);
    box.Take(b);
    const double margin = SweepMargin(box);
    if (!(std::fabs(det) >= 1e-3 * np * nq) && !(rounding <= 1e-2 * margin))
        return false;
    seg[0] = a[0], seg[1] = a[1], seg[2] = b[0], seg[3] = b[1];
    seg[4] = margin + rounding;
    box.Widen(seg[4]);
    return box.Valid();
}

// The reaches of the segments s and t (ax, ay, bx, by, reach) meet, with as
// much again for the rounding of the test: every pair whose sweeps share a
// point does (the grid files the sweeps by the same reaches), so the pairs
// that fail it need no plane intersection. Crossing is judged with ties
// counted in; a crossing missed by rounding has an end near the other
// segment, which the distances then find.
inline bool SegmentsWithin(const double* s, const double* t)
{
    const double r = 2.0 * (s[4] + t[4]);
    auto side = [](const double* a, const double* b, const double* p) {
        return (b[0] - a[0]) * (p[1] - a[1]) - (b[1] - a[1]) * (p[0] - a[0]);
    };
    // Both ends of s on one side of t's line and farther than r from it
    // (the side values are distances times t's length): apart. Most pairs
    // end here.
    const double d3 = side(t, t + 2, s), d4 = side(t, t + 2, s + 2);
    const double tx = t[2] - t[0], ty = t[3] - t[1];
    const double bound = r * r * (tx * tx + ty * ty);
    if (d3 * d4 > 0.0 && d3 * d3 > bound && d4 * d4 > bound)
        return false;
    const double d1 = side(s, s + 2, t), d2 = side(s, s + 2, t + 2);
    if (!(d1 * d2 > 0.0) && !(d3 * d4 > 0.0))
        return true;
    const double a = SegmentDistance2(s, t), b = SegmentDistance2(s + 2, t);
    const double c = SegmentDistance2(t, s), d = SegmentDistance2(t + 2, s);
    const double r2 = r * r;
    return !(a > r2 && b > r2 && c > r2 && d > r2);
}

// The sweeps of the edges of a ring whose vertices grow from `from` to
// `to` (3 per vertex; fromOk, toOk: G3RoofLevelPoint answered): for edge e
// (vertex e-1 to vertex e) the box of its ends' moves and its spine, the
// segment between the midpoints of those moves with half the longer move
// (and the margin) as its reach. Edges without a box go to `noBox`.
void EdgeSweeps(int n, const double* from, const char* fromOk, const double* to, const char* toOk,
                std::vector<G3RoofBox>& sweeps, std::vector<double>& spines, std::vector<int>& noBox)
{
    sweeps.assign(static_cast<std::size_t>(n), G3RoofBox());
    spines.assign(5 * static_cast<std::size_t>(n), 0.0);
    noBox.clear();
    for (int e = 0; e < n; ++e) {
        const int e0 = (e + n - 1) % n;
        const std::size_t a3 = 3 * static_cast<std::size_t>(e0), b3 = 3 * static_cast<std::size_t>(e);
        const double* ends[4] = {from + a3, to + a3, from + b3, to + b3};
        if (!fromOk[e0] || !toOk[e0] || !fromOk[e] || !toOk[e]) {
            noBox.push_back(e);
            continue;
        }
        G3RoofBox& b = sweeps[static_cast<std::size_t>(e)];
        b = G3RoofBox(ends[0], ends[0], 0.0);
        for (int c = 1; c < 4; ++c)
            b.Take(ends[c]);
        const double margin = SweepMargin(b);
        b.Widen(margin);
        if (!b.Valid()) {
            noBox.push_back(e);
            continue;
        }
        double* sp = &spines[5 * static_cast<std::size_t>(e)];
        for (int c = 0; c < 2; ++c) {
            sp[c] = 0.5 * (ends[0][c] + ends[1][c]);
            sp[2 + c] = 0.5 * (ends[2][c] + ends[3][c]);
        }
        sp[4] = 0.5 * G3RoofGreater(PlanLength(ends[1][0] - ends[0][0], ends[1][1] - ends[0][1]),
                                    PlanLength(ends[3][0] - ends[2][0], ends[3][1] - ends[2][1])) +
                margin;
    }
}

// The band reaches the collapse height this many places above the lowest
// of the ring it is built from: higher, it serves more levels with longer
// lists of edges near each path.
constexpr std::size_t kBandEvents = 6;
constexpr double kBandSpan = 16.0;
// A level with more vertices and edges the band does not hold (each edge
// counting as kBandEdgeWeight vertices, as it is tried with every vertex)
// than kBandSlack and an eighth of the level builds the band anew.
constexpr std::size_t kBandEdgeWeight = 4;
constexpr std::size_t kBandSlack = 32;

inline bool SamePlane(const double* a, const double* b)
{
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2] && a[3] == b[3];
}

// Builds the band from the ring `vs` at height z (its vertices grown to z
// in `from`, fromOk), up to the kBandEvents-th collapse height above z
// and not below h0: the sweeps of its edges, their grid, and for each
// vertex the edges near its path.
void BuildBand(const std::vector<G3RoofVertex*>& vs, double z, double h0, const std::vector<double>& collapseAt,
               const std::vector<char>& meets, const std::vector<double>& from, const std::vector<char>& fromOk,
               G3RoofSweepScratch::Band& b, G3RoofSweepScratch& sc)
{
    const int n = static_cast<int>(vs.size());
    b.heights.clear();
    for (int i = 0; i < n; ++i) {
        const double at = collapseAt[3 * static_cast<std::size_t>(i) + 2];
        if (meets[static_cast<std::size_t>(i)] && at - kPlaneSide > z)
            b.heights.push_back(at);
    }
    b.top = h0;
    if (!b.heights.empty()) {
        const std::size_t k = std::min(kBandEvents, b.heights.size()) - 1;
        std::nth_element(b.heights.begin(), b.heights.begin() + static_cast<long>(k), b.heights.end());
        b.top = G3RoofGreater(h0, b.heights[k]);
    }
    // Nor more than kBandSpan times the level's own span above z: where
    // the events lie far apart, the paths grow long with the band and
    // come near every edge.
    b.top = G3RoofLesser(b.top, z + kBandSpan * (h0 - z));
    if (!(b.top >= h0))
        b.top = h0;
    b.bottom = z;
    // Names only hint at a vertex's line: the planes are compared anyway.
    if (sc.nextBandBase > std::numeric_limits<int>::max() - n)
        sc.nextBandBase = 0;
    b.base = sc.nextBandBase;
    b.size = n;
    sc.nextBandBase += n;
    b.planes.resize(8 * static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        vs[static_cast<std::size_t>(i)]->bandId = b.base + i;
        double* p = &b.planes[8 * static_cast<std::size_t>(i)];
        std::copy(vs[static_cast<std::size_t>(i)]->plane, vs[static_cast<std::size_t>(i)]->plane + 4, p);
        std::copy(vs[static_cast<std::size_t>((i + 1) % n)]->plane, vs[static_cast<std::size_t>((i + 1) % n)]->plane + 4, p + 4);
    }
    LevelPositions(vs, b.top, b.toPos, b.toOk);
    EdgeSweeps(n, from.data(), fromOk.data(), b.toPos.data(), b.toOk.data(), b.sweeps, b.spines, b.noBox);
    b.grid.Build(b.sweeps, &b.spines);
    b.hasPath.assign(static_cast<std::size_t>(n), 0);
    b.candStart.assign(1, 0);
    b.cand.clear();
    std::vector<int>& found = sc.tried;
    for (int i = 0; i < n; ++i) {
        double path[5];
        const std::size_t i3 = 3 * static_cast<std::size_t>(i);
        if (VertexPath(vs[static_cast<std::size_t>(i)], vs[static_cast<std::size_t>((i + 1) % n)], z, b.top, &from[i3],
                       fromOk[static_cast<std::size_t>(i)] != 0, &b.toPos[i3], b.toOk[static_cast<std::size_t>(i)] != 0,
                       path)) {
            b.hasPath[static_cast<std::size_t>(i)] = 1;
            b.grid.QueryPath(path, found);
            for (int e : found)
                if (e != i && e != (i + 1) % n && SegmentsWithin(path, &b.spines[5 * static_cast<std::size_t>(e)]))
                    b.cand.push_back(e);
        }
        b.candStart.push_back(static_cast<int>(b.cand.size()));
    }
    b.candZ.assign(b.cand.size(), std::numeric_limits<double>::quiet_NaN());
    b.candOn.assign(b.cand.size(), 0);
}

// The kept band the ring's first named vertex was named in; null when
// none is.
G3RoofSweepScratch::Band* FindBand(const std::vector<G3RoofVertex*>& vs, G3RoofSweepScratch& sc)
{
    for (const G3RoofVertex* v : vs) {
        if (v->bandId < 0)
            continue;
        for (G3RoofSweepScratch::Band& b : sc.bands)
            if (v->bandId >= b.base && v->bandId - b.base < b.size)
                return &b;
        return nullptr;
    }
    return nullptr;
}

// The band to build anew: a new one while fewer than kBandsKept are kept,
// else the one used longest ago.
constexpr std::size_t kBandsKept = 8;
G3RoofSweepScratch::Band& SpareBand(G3RoofSweepScratch& sc)
{
    if (sc.bands.size() < kBandsKept) {
        sc.bands.emplace_back();
        return sc.bands.back();
    }
    G3RoofSweepScratch::Band* oldest = &sc.bands.front();
    for (G3RoofSweepScratch::Band& b : sc.bands)
        if (b.lastUse < oldest->lastUse)
            oldest = &b;
    return *oldest;
}

// Names the vertices and edges of the ring `vs` (sweeps: its edges' sweep
// boxes from z up to h0) by the band (sc.bandOf, sc.edgeBand,
// sc.changedEdges). A vertex keeps the name of the band vertex it grew
// from while the planes of its line are those of that vertex; an edge
// takes the band edge between the band vertices its ends keep. Their
// moves from z to h0 then lie on the band's (z and h0 within the band),
// and their paths and sweeps inside the band's. False when the band does
// not hold the heights or more of the level than the slack is new: the
// band is then built anew.
bool NameByBand(const std::vector<G3RoofVertex*>& vs, double z, double h0, const std::vector<G3RoofBox>& sweeps,
                G3RoofSweepScratch::Band& b, G3RoofSweepScratch& sc)
{
    const int n = static_cast<int>(vs.size());

    if (b.size == 0 || z < b.bottom || !(h0 <= b.top))
        return false;
    if (++b.stamp == 0) {
        std::fill(b.posStamp.begin(), b.posStamp.end(), 0u);
        b.stamp = 1;
    }
    b.posStamp.resize(static_cast<std::size_t>(b.size), 0u);
    b.pos.resize(static_cast<std::size_t>(b.size), 0);
    sc.bandOf.assign(static_cast<std::size_t>(n), -1);
    std::size_t newVertices = 0;
    for (int k = 0; k < n; ++k) {
        const int id = vs[static_cast<std::size_t>(k)]->bandId - b.base;
        if (id < 0 || id >= b.size || b.posStamp[static_cast<std::size_t>(id)] == b.stamp) {
            ++newVertices;
            continue;
        }
        const double* p = &b.planes[8 * static_cast<std::size_t>(id)];
        if (!SamePlane(vs[static_cast<std::size_t>(k)]->plane, p) ||
            !SamePlane(vs[static_cast<std::size_t>((k + 1) % n)]->plane, p + 4)) {
            ++newVertices;
            continue;
        }
        b.posStamp[static_cast<std::size_t>(id)] = b.stamp;
        b.pos[static_cast<std::size_t>(id)] = k;
        sc.bandOf[static_cast<std::size_t>(k)] = id;
    }
    sc.edgeBand.assign(static_cast<std::size_t>(n), -1);
    sc.changedEdges.clear();
    for (int e = 0; e < n; ++e) {
        if (!sweeps[static_cast<std::size_t>(e)].Valid())
            continue;  // tried with every vertex
        const int b0 = sc.bandOf[static_cast<std::size_t>((e + n - 1) % n)], b1 = sc.bandOf[static_cast<std::size_t>(e)];
        if (b0 >= 0 && b1 >= 0 && (b0 + 1) % b.size == b1 && b.sweeps[static_cast<std::size_t>(b1)].Valid())
            sc.edgeBand[static_cast<std::size_t>(e)] = b1;
        else
            sc.changedEdges.push_back(e);
    }
    return newVertices + kBandEdgeWeight * sc.changedEdges.size() <= kBandSlack + static_cast<std::size_t>(n) / 8;
}

} // namespace

G3RoofVertex* G3RoofGenerator::NextLevel(G3RoofVertex* ring)
{
    G3RoofSweepScratch local;
    G3RoofSweepScratch& sc = sweepScratch ? *sweepScratch : local;
    std::vector<G3RoofVertex*>& vs = sc.vs;
    Vertices(ring, vs);
    sc.grown.insert(sc.grown.end(), vs.begin(), vs.end());
    const int n = static_cast<int>(vs.size());
    if (n < 3)
        return nullptr;
    const double z = ring->point.GetZ();
    double h = std::numeric_limits<double>::infinity();
    // collapseAt[i]: where the edges into and out of vertex i collapse
    // (meets[i]: their three planes meet in a point).
    std::vector<double>& collapseAt = sc.collapseAt;
    std::vector<char>& meets = sc.meets;
    // fromPos[i]: vertex i grown to z (the start of its path).
    std::vector<double>& fromPos = sc.fromPos;
    std::vector<char>& fromOk = sc.fromOk;
    CollapseAndStart(vs, z, collapseAt, meets, fromPos, fromOk);
    bool bandEdge = false;
    for (int i = 0; i < n; ++i) {
        const double* x = &collapseAt[3 * static_cast<std::size_t>(i)];
        if (meets[i] && x[2] - kPlaneSide > z)
            h = std::fmin(h, x[2]);
        else if (meets[i] && x[2] > z)
            bandEdge = true;
    }
    if (bandEdge && n > 3 && !levelRings.contains(ring)) {
        // An edge this level made (the arm beside it closed here, its two
        // sides ending a few microns apart) that collapses within the band
        // above the level: no level takes that as an event, and the next
        // one left both its ends at the collapse point, far below itself,
        // its neighbours' edges off their planes. The edge goes now, its
        // ends merged at that point as the outline's band edges are.
        sc.grown.resize(sc.grown.size() - vs.size());
        G3RoofVertex* head = ring;
        int removed = 0;
        for (int i = 0; i < n; ++i) {
            const double* x = &collapseAt[3 * static_cast<std::size_t>(i)];
            if (!(meets[i] && x[2] - kPlaneSide <= z && x[2] > z) || n - removed <= 3)
                continue;
            G3RoofVertex* v = vs[static_cast<std::size_t>(i)];
            G3RoofVertex* p = v->prev;
            if (p == v || (i > 0 && vs[static_cast<std::size_t>(i) - 1] == nullptr))
                continue;  // its start went with the edge before
            const double at[3] = {x[0], x[1], p->point.GetZ()};
            p->point.Set(at);
            p->onLine = false;
            if (head == v)
                head = p;
            G3RoofRing::Remove(v);
            vs[static_cast<std::size_t>(i)] = nullptr;
            ++removed;
        }
        if (removed > 0)
            return NextLevel(head);
        Vertices(ring, vs);
        sc.grown.insert(sc.grown.end(), vs.begin(), vs.end());
    }
    // The lowest collapse height this level takes: edges whose collapse
    // lies at or below the level are growing, except when the ring closes
    // inside the band (below).
    double floorZ = z;
    if (!std::isfinite(h)) {
        // No event above the band: the ring closes here. When what is left
        // still has an area (a sliver whose apex lies inside the band), it
        // closes at that apex, so that its area is not lost.
        double area2 = 0.0, apex = -std::numeric_limits<double>::infinity();
        for (int i = 0; i < n; ++i) {
            const double* a = vs[i]->point.GetXYZ();
            const double* b = vs[i]->next->point.GetXYZ();
            area2 += a[0] * b[1] - b[0] * a[1];
            const double* x = &collapseAt[3 * static_cast<std::size_t>(i)];
            if (meets[i] && x[2] > z - kPlaneSide)
                apex = std::fmax(apex, x[2]);
        }
        if (!(std::fabs(area2) >= GTolerance::kZeroArea) || !std::isfinite(apex))
            return nullptr;
        h = std::fmax(apex, z);
        floorZ = z - kPlaneSide;
    }

    // A vertex that reaches an edge it does not end before h splits the
    // ring there. Only the edges whose sweep up to h comes near the
    // vertex's path are tried, with the outcome of a walk over all pairs:
    // a meeting below h lies on the vertex's path and on the edge's sweep
    // between z and h, inside both boxes. No second look at the ring grown
    // to the h found is needed: a pair of its edges that cross there could
    // only lower h through a meeting of the same kind, against the same h,
    // and every such meeting was tried here.
    const double h0 = h;
    // Every vertex grown to z and to h0 (the ends of its path), once: the
    // edge sweeps and the vertex paths below share them, and the level at
    // h takes the second when no split lowers h.
    std::vector<double>& toPos = sc.toPos;
    std::vector<char>& toOk = sc.toOk;
    LevelPositions(vs, h0, toPos, toOk);
    {
        std::vector<G3RoofBox>& sweeps = sc.sweeps;
        std::vector<double>& spines = sc.spines;
        std::vector<int>& always = sc.always;  // edges without a box: tried with every vertex
        EdgeSweeps(n, fromPos.data(), fromOk.data(), toPos.data(), toOk.data(), sweeps, spines, always);
        // The edges near a path are looked up in the band: an edge the
        // band holds comes near the path only where its band sweep comes
        // near the band path, which the band listed (or, for a vertex it
        // does not hold, where its band sweep comes near this path, which
        // its grid finds); the other edges are tried with every vertex.
        // Each is then tried as the grid over this level's sweeps would
        // have it: box and reach.
        G3RoofSweepScratch::Band* kept = FindBand(vs, sc);
        if (kept == nullptr || !NameByBand(vs, z, h0, sweeps, *kept, sc)) {
            kept = &SpareBand(sc);
            BuildBand(vs, z, h0, collapseAt, meets, fromPos, fromOk, *kept, sc);
            NameByBand(vs, z, h0, sweeps, *kept, sc);
        }
        kept->lastUse = ++sc.bandClock;
        G3RoofSweepScratch::Band& band = *kept;
        std::vector<int>& tried = sc.tried;
        std::vector<std::pair<int, double>>& met = sc.met;
        sc.late.clear();
        // A meeting below the height h stood at when its vertex's turn came
        // may lower h; one within the band above that height may lie in the
        // band of the level made, and is kept for the level.
        int k = 0;
        double hk = h;
        auto take = [&](int e, double at) {
            if (at < hk - kPlaneSide)
                met.emplace_back(e, at);
            else
                sc.late.push_back({k, e, at});
        };
        sc.nearPairs.clear();
        sc.anyVertex.assign(static_cast<std::size_t>(n), 0);
        sc.anyEdge.assign(static_cast<std::size_t>(n), 0);
        for (int e : always)
            sc.anyEdge[static_cast<std::size_t>(e)] = 1;
        for (k = 0; k < n; ++k) {
            // The walk over the pairs (k, e) in order of e lowers h to each
            // meeting that lies below it. A meeting below the current h
            // lies below h as it stood when k's turn came, so the meetings
            // are gathered against that height in any order and only those
            // (few) are walked in order of e.
            hk = h;
            met.clear();
            auto meet = [&](int e) {
                double at = 0.0;
                if (SplitCandidate(vs, k, e, z, hk, &at))
                    take(e, at);
            };
            double path[5];
            const std::size_t k3 = 3 * static_cast<std::size_t>(k);
            if (VertexPath(vs[k], vs[(k + 1) % n], z, h0, &fromPos[k3], fromOk[k] != 0, &toPos[k3], toOk[k] != 0,
                           path)) {
                const G3RoofBox q(path, path + 2, path[4]);
                const int k1 = (k + 1) % n;
                auto near = [&](int e) {
                    if (e != k && e != k1 && sweeps[static_cast<std::size_t>(e)].Meets(q) &&
                        SegmentsWithin(path, &spines[5 * static_cast<std::size_t>(e)])) {
                        meet(e);
                        sc.nearPairs.emplace_back(k, e);
                    }
                };
                auto nearBand = [&](int be) {
                    if (band.posStamp[static_cast<std::size_t>(be)] != band.stamp)
                        return;  // its end left the ring
                    const int e = band.pos[static_cast<std::size_t>(be)];
                    if (sc.edgeBand[static_cast<std::size_t>(e)] == be)
                        near(e);
                };
                const int bk = sc.bandOf[static_cast<std::size_t>(k)];
                if (bk >= 0 && band.hasPath[static_cast<std::size_t>(bk)]) {
                    // The band's pairs: their meeting is the band's.
                    for (int c = band.candStart[static_cast<std::size_t>(bk)];
                         c < band.candStart[static_cast<std::size_t>(bk) + 1]; ++c) {
                        const int be = band.cand[static_cast<std::size_t>(c)];
                        if (band.posStamp[static_cast<std::size_t>(be)] != band.stamp)
                            continue;
                        const int e = band.pos[static_cast<std::size_t>(be)];
                        if (sc.edgeBand[static_cast<std::size_t>(e)] != be || e == k1 ||
                            !sweeps[static_cast<std::size_t>(e)].Meets(q) ||
                            !SegmentsWithin(path, &spines[5 * static_cast<std::size_t>(e)]))
                            continue;
                        sc.nearPairs.emplace_back(k, e);
                        // SplitCandidate, its steps kept with the pair:
                        // the height, and the point again (the same
                        // planes give it bit for bit) the one time the
                        // test on the edge needs it.
                        double& at = band.candZ[static_cast<std::size_t>(c)];
                        double x[3];
                        if (std::isnan(at))
                            at = G3RoofPlanesPoint(vs[k]->plane, vs[k1]->plane, vs[e]->plane, x)
                                     ? x[2]
                                     : -std::numeric_limits<double>::infinity();
                        if (!(at > z + kPlaneSide && at < hk + kPlaneSide))
                            continue;
                        char& on = band.candOn[static_cast<std::size_t>(c)];
                        if (on == 0)
                            on = G3RoofPlanesPoint(vs[k]->plane, vs[k1]->plane, vs[e]->plane, x) && OnEdge(vs, e, x)
                                     ? 1
                                     : 2;
                        if (on == 1)
                            take(e, at);
                    }
                } else {
                    band.grid.QueryPath(path, tried);
                    for (int be : tried)
                        nearBand(be);
                }
                for (int e : sc.changedEdges)
                    near(e);
                for (int e : always)
                    meet(e);
            } else {
                sc.anyVertex[static_cast<std::size_t>(k)] = 1;
                for (int e = 0; e < n; ++e)
                    meet(e);
            }
            if (met.size() > 1)
                std::sort(met.begin(), met.end());
            for (const auto& m : met) {
                if (m.second < h - kPlaneSide)
                    h = m.second;
                else
                    sc.late.push_back({k, m.first, m.second});
            }
        }
    }

    std::vector<double>& pos = sc.pos;
    std::vector<char>& ok = sc.ok;
    // The level at h. Edges whose collapse lies within kPlaneSide of h
    // collapse here too: a vertex racing along two nearly parallel edges
    // would otherwise stop a hair short of its neighbour and, its event
    // then lying within the band above the new level, never collapse. The
    // merged vertex sits at the collapse point itself, which may lie up to
    // kPlaneSide off the level's height, so that it stays on its planes.
    if (h == h0) {
        pos.swap(toPos);
        ok.swap(toOk);
    } else {
        LevelPositions(vs, h, pos, ok);
    }
    std::vector<char>& collapse = sc.collapse;
    collapse.assign(static_cast<std::size_t>(n), 0);
    int keep = -1;
    for (int i = 0; i < n; ++i) {
        const double* x = &collapseAt[3 * static_cast<std::size_t>(i)];
        // A step between collinear eaves starts with no length and opens
        // up: its planes meet at the level itself, which rounding may put
        // a hair above it.
        const bool step = SameXY(vs[i]->point.GetXYZ(), vs[(i + n - 1) % n]->point.GetXYZ());
        collapse[i] = !step && meets[i] && x[2] > floorZ && x[2] <= h + kPlaneSide ? 1 : 0;
        if (!collapse[i])
            keep = i;
    }
    for (int k = 1; k <= n; ++k) {
        // Edge i runs from vertex i-1 to vertex i; a run of collapsing
        // edges meets at the collapse point of its first edge.
        const int i = ((keep < 0 ? 0 : keep) + k) % n, i0 = (i + n - 1) % n;
        if (!collapse[i])
            continue;
        double x[3];
        const bool joined = collapse[i0] && (keep >= 0 || k > 1);  // vertex i-1 is placed already
        const double* from = joined ? &pos[3 * i0] : &collapseAt[3 * static_cast<std::size_t>(i)];
        x[0] = from[0], x[1] = from[1], x[2] = from[2];
        for (int c = 0; c < 3; ++c) {
            pos[3 * i + c] = x[c];
            pos[3 * i0 + c] = x[c];
        }
        ok[i] = ok[i0] = 1;
        // Off their paths: their contacts are tried with the whole level.
        sc.anyVertex[static_cast<std::size_t>(i)] = sc.anyVertex[static_cast<std::size_t>(i0)] = 1;
    }
    // A meeting within the band of the level (a fast vertex reaching an
    // edge less than kPlaneSide above or below h) is looked for by no later
    // level, which searches above its own band, and the vertex may lie
    // farther from the edge than a contact: it would cross the edge unseen
    // and the level would run through itself. It is put onto the edge, so
    // that the level splits there, and is tried with the whole level.
    std::vector<char>& onto = sc.onto;
    onto.clear();
    if (!sc.late.empty())
        onto.assign(static_cast<std::size_t>(n), 0);
    for (const G3RoofSweepScratch::Meeting& m : sc.late) {
        const int k1 = (m.k + 1) % n, e0 = (m.e + n - 1) % n;
        if (!(m.at <= h + kPlaneSide) || onto[m.k] || !ok[m.k] || !ok[e0] || !ok[m.e] || collapse[m.k] ||
            collapse[k1] || collapse[m.e])
            continue;
        const double* p = &pos[3 * static_cast<std::size_t>(m.k)];
        const double* a = &pos[3 * static_cast<std::size_t>(e0)];
        const double* b = &pos[3 * static_cast<std::size_t>(m.e)];
        // Touching the edge, the contact search splits there; touching
        // another edge short of this one, it splits there and this edge
        // still lies ahead. A vertex past the edge's line (the meeting lay
        // below h) is put back onto it in any case.
        if (SameXY(p, a) || SameXY(p, b) || G3PtOnSegmentXY(p, a, b) || (m.at > h && TouchesLevel(pos, ok, m.k)))
            continue;
        // The meeting point itself, on the vertex's planes and the edge's,
        // up to kPlaneSide off the level's height; then onto the edge as it
        // stands at h, which has moved by no more than the band's share
        // since.
        double* q = &pos[3 * static_cast<std::size_t>(m.k)];
        double x[3];
        if (G3RoofPlanesPoint(vs[m.k]->plane, vs[k1]->plane, vs[m.e]->plane, x))
            q[0] = x[0], q[1] = x[1], q[2] = x[2];
        if (!(SameXY(q, a) || SameXY(q, b) || G3PtOnSegmentXY(q, a, b)))
            OntoEdge(pos, m.k, e0, m.e);
        onto[m.k] = 1;
        sc.anyVertex[static_cast<std::size_t>(m.k)] = 1;
    }
    G3RoofVertex* level = nullptr;
    std::vector<int>& levelIdx = sc.levelIdx;
    levelIdx.assign(static_cast<std::size_t>(n), -1);
    // The level's vertices in ring order, for its contacts: they lie apart,
    // and a walk over the new ring would wait on each in turn.
    std::vector<G3RoofVertex*>& made = sc.ringVs;
    made.clear();
    int size = 0;
    for (int i = 0; i < n; ++i) {
        if (static_cast<std::size_t>(i) + kVertexAhead < vs.size())
            PrefetchVertex(vs[static_cast<std::size_t>(i) + kVertexAhead]);
        if (!ok[i])
            continue;
        G3RoofVertex* w = sc.NewVertex(&pos[3 * i], vs[i]);
        w->lower = vs[i];
        w->bandId = vs[i]->bandId;
        // Its planes are vs[i]'s, and its neighbours', when they are
        // made, vs[i]'s neighbours': what vs[i] keeps holds for w while
        // the names agree. A vertex left on its line is its level point.
        w->planeId = vs[i]->planeId;
        std::copy(vs[i]->keys, vs[i]->keys + 3, w->keys);
        std::copy(vs[i]->collapse, vs[i]->collapse + 3, w->collapse);
        w->collapseMeets = vs[i]->collapseMeets;
        w->onLine = !collapse[i] && !collapse[(i + 1) % n] && (onto.empty() || !onto[i]);
        level = G3RoofRing::Append(level, w);
        made.push_back(w);
        levelIdx[static_cast<std::size_t>(i)] = size++;
    }
    if (level != nullptr && sweepScratch != nullptr)
        RecordLevelContacts(vs, level, size, sc);
    return level;
}

namespace {

// Splices the section of `ring` (its upper edge ending at `ring`) into the
// facet ring of `head` after x: x -> [D] -> A -> [B] -> [C] -> y, leaving
// out corners that coincide with their neighbour (a collapsed upper edge, a
// section ending where the facet's edge ends).
void SpliceSection(G3RoofVertex* head, G3RoofVertex* x, const G3RoofVertex* ring)
{
    G3RoofVertex* y = x->next;
    G3RoofVertex* at = x;
    const G3RoofVertex* path[4] = {ring->prev->lower, ring->prev, ring, ring->lower};
    for (int c = 0; c < 4; ++c) {
        const double* p = path[c]->point.GetXYZ();
        if (G3RoofSamePoint(at->point.GetXYZ(), p) || (c == 3 && G3RoofSamePoint(y->point.GetXYZ(), p)))
            continue;
        G3RoofVertex* nv = new G3RoofVertex(p, head);
        nv->prev = at;
        nv->next = at->next;
        at->next->prev = nv;
        at->next = nv;
        at = nv;
    }
}

// A new facet ring of copies of the section's corners D, A, B, C.
G3RoofVertex* SectionRing(const G3RoofVertex* ring)
{
    G3RoofVertex* r = nullptr;
    const G3RoofVertex* corners[4] = {ring->prev->lower, ring->prev, ring, ring->lower};
    for (const G3RoofVertex* c : corners)
        r = G3RoofRing::Append(r, new G3RoofVertex(c->point.GetXYZ(), ring));
    return r;
}

} // namespace

bool G3RoofGenerator::AddFacetToRoofPitchEx(G3RoofVertex** facetRing, G3RoofVertex* ring)
{
    if (facetRing == nullptr || ring == nullptr || !ring->lower || !ring->prev->lower)
        return false;
    // The section: upper edge A -> B, lower edge D -> C, both in ring order.
    if (*facetRing == nullptr) {
        *facetRing = SectionRing(ring);
        return true;
    }
    const double* pd = ring->prev->lower->point.GetXYZ();
    const double* pc = ring->lower->point.GetXYZ();
    G3RoofVertex* head = *facetRing;
    G3RoofVertex* x = head;
    do {
        if (G3RoofSectionFits(x->point.GetXYZ(), x->next->point.GetXYZ(), pd, pc, pc[2])) {
            SpliceSection(head, x, ring);
            return true;
        }
        x = x->next;
    } while (x != head);
    return false;
}

bool G3RoofGenerator::MakeRoofEx(G3RoofVertex* lower, G3RoofVertex* ring)
{
    if (ring == nullptr)
        return true;
    // The first level is the checked outline as it stands: cleaning it again
    // would drop the steps between collinear eaves of different pitch.
    const bool first = lower == nullptr && ring->lower == nullptr;
    // Depth first, as a recursion over (sub-ring, next level) would go, on a
    // stack of our own: a roof of many edges has many levels.
    struct Step {
        G3RoofVertex* ring;
    };
    std::vector<Step> todo;
    todo.push_back({ring});
    // Sections go into the compact facet rings through their index while
    // the sweep runs, and the overhang strips after it, before the rings
    // are cleaned and handed back.
    G3RoofSpliceIndex index(pitches);
    spliceIndex = &index;
    G3RoofSweepScratch scratch;
    sweepScratch = &scratch;
    while (!todo.empty()) {
        G3RoofVertex* r = todo.back().ring;
        todo.pop_back();
        GArrayCollection subs;
        // A level is read only by its split, which takes it over; the ring
        // handed in stays with the generator (the overhang strips start
        // from it).
        if (first && r == ring)
            subs.add(r);
        else
            SplitSimple(r == ring ? G3RoofRing::Copy(r) : r, &subs);
        if (r == ring)
            levelRings.add(r);
        std::vector<G3RoofVertex*> next;
        for (int i = 0; i < subs.size(); ++i)
            next.push_back(NextLevel(static_cast<G3RoofVertex*>(subs.get(i))));
        for (G3RoofVertex* level : next)
            if (level)
                MakeNextRoofSectionEx(level);
        // Every part went through NextLevel; the ring handed in stays.
        scratch.RecycleGrown(!(first && r == ring));
        for (std::size_t i = next.size(); i-- > 0;)
            if (next[i])
                todo.push_back({next[i]});
    }
    spliceIndex = nullptr;
    sweepScratch = nullptr;
    if (first && overhang > 0.0)
        AddOverhangStrips(ring, index);
    index.GiveBack(pitches);
    return true;
}

void G3RoofGenerator::MakeNextRoofSectionEx(G3RoofVertex* ring)
{
    if (ring == nullptr)
        return;
    if (spliceIndex)
        spliceIndex->BeginLevel();
    G3RoofVertex* v = ring;
    do {
        if (v->pitchIndex >= 0 && v->pitchIndex < pitches.size()) {
            if (spliceIndex)
                spliceIndex->AddSection(v->pitchIndex, v);
            else
                AddFacetToRoofPitch(static_cast<G3RoofPitch*>(pitches.get(v->pitchIndex)), v);
        }
        v = v->next;
    } while (v != ring);
}

void G3RoofGenerator::MakeNextRoofSection(G3RoofVertex* ring)
{
    if (ring == nullptr)
        return;
    const double vertical = 2.0 * std::atan(1.0) - GTolerance::kAngleZero;
    G3RoofVertex* v = ring;
    do {
        if (v->angle <= vertical && v->lower && v->prev->lower) {
            double pts[12];
            const G3RoofVertex* corners[4] = {v->prev, v, v->lower, v->prev->lower};
            for (int c = 0; c < 4; ++c)
                for (int k = 0; k < 3; ++k)
                    pts[3 * c + k] = corners[c]->point.GetXYZ()[k];
            FacetAdd(2, 4, pts, 1);
        }
        v = v->next;
    } while (v != ring);
}

void G3RoofGenerator::AddFacetToRoofPitch(G3RoofPitch* pitch, G3RoofVertex* ring)
{
    if (pitch == nullptr || ring == nullptr || !ring->lower || !ring->prev->lower)
        return;
    for (int i = 0; i < pitch->facetRings.size(); ++i) {
        G3RoofVertex* r = static_cast<G3RoofVertex*>(pitch->facetRings.get(i));
        if (AddFacetToRoofPitchEx(&r, ring)) {
            pitch->facetRings.put(i, r);
            return;
        }
    }
}
