// Faces of a planar arrangement of edges. Invariants:
// - after Resolve() no two live edges cross or overlap, none touches
//   another away from its ends, no two join the same pair of nodes, and
//   every node has at least two edges;
// - a half-edge is material when a cut or a boundary edge in its own
//   direction carries it; only cycles that are material all round become
//   faces, so the region outside every boundary never does;
// - every computed point (a crossing) becomes one node shared by both
//   edges, and a point within 1e-6 of a known node in the projection is
//   that node;
// - the order of everything produced follows the order of the edges added
//   (no addresses, no hashing order).
// Rounding: crossing points, and corner data interpolated along split
// edges.
#include "Geometry/boolean/G3PlanarFaces.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/G3Math.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3FacetTree.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3PointHash.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

namespace {

using GTolerance::kPlaneSide;
using GTolerance::kPointEqual;
using GTolerance::kZeroArea;

// Node lookup cells (on the projection pair) are two point tolerances
// wide: a point's equal lies in its own cell or a neighbour.
constexpr double kCell = 2.0 * kPointEqual;
// Above this many hole and outer cycle pairs, holes find their outer cycles
// through a tree of the outer boxes rather than by scanning them all.
constexpr std::size_t kHoleScanPairs = 4096;
// Above this many edges, Resolve finds its candidate pairs through a grid.
constexpr std::size_t kSweepEdges = 512;

bool Finite3(const double* p) { return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]); }

} // namespace

G3PlanarFaces::G3PlanarFaces(G3Surface* s, G3PointHash* m, const double* normal) : surface(s), made(m)
{
    int k = 2;
    if (normal) {
        const double ax = std::fabs(normal[0]);
        const double ay = std::fabs(normal[1]);
        const double az = std::fabs(normal[2]);
        k = ax >= ay && ax >= az ? 0 : (ay >= az ? 1 : 2);
    }
    iAxis = (k + 1) % 3;
    jAxis = (k + 2) % 3;
    // Seen from the front, (i, j) turns anticlockwise.
    if (normal && normal[k] < 0.0)
        std::swap(iAxis, jAxis);
}

long long G3PlanarFaces::CellKey(long long x, long long y, long long z) const
{
    // Unsigned products: the keys of points far from the origin overflow,
    // and only their bits matter.
    const unsigned long long h = (static_cast<unsigned long long>(x) * 73856093ULL) ^
                                 (static_cast<unsigned long long>(y) * 19349663ULL) ^
                                 (static_cast<unsigned long long>(z) * 83492791ULL);
    return static_cast<long long>(h);
}

int G3PlanarFaces::NodeAt(const double* p, G3Vertex* v)
{
    const bool finite = Finite3(p);
    // A node is found by its place in the projection, where every other
    // question of the arrangement is asked. Points of a face leaning by a
    // nanometre against a flush one (a plan turned at site coordinates)
    // lie more than 1e-6 apart along the dropped axis at the cut's scale
    // while they coincide in the plane: a point of the outline taken on
    // one face's edge and the other face's corner it stands for. Found in
    // space they were two nodes on one spot, neither on the other's edge,
    // and the outline was left open there.
    long long q[2] = {0, 0};
    if (finite) {
        q[0] = G3CellIndex(p[iAxis], kCell);
        q[1] = G3CellIndex(p[jAxis], kCell);
        for (long long du = -1; du <= 1; ++du)
            for (long long dv = -1; dv <= 1; ++dv) {
                auto it = cells.find(CellKey(q[0] + du, q[1] + dv, 0));
                if (it == cells.end())
                    continue;
                for (int n : it->second) {
                    const Node& o = nodes[static_cast<std::size_t>(n)];
                    if (std::hypot(o.u - p[iAxis], o.v - p[jAxis]) < kPointEqual)
                        return n;
                }
            }
    }
    if (!v && made && finite)
        v = static_cast<G3Vertex*>(made->Exists(p));
    if (!v) {
        v = surface->AddVertex(p, 0);
        if (made && finite)
            made->Add(v);
    }
    Node node;
    for (int d = 0; d < 3; ++d)
        node.xyz[d] = v->GetXYZ()[d];
    node.u = node.xyz[iAxis];
    node.v = node.xyz[jAxis];
    node.vertex = v;
    nodes.push_back(node);
    const int index = static_cast<int>(nodes.size()) - 1;
    if (finite)
        cells[CellKey(q[0], q[1], 0)].push_back(index);
    return index;
}

void G3PlanarFaces::AddEdge(G3Vertex* a, G3Vertex* b, G3Normal* na, G3TexCoo* ta, G3Normal* nb, G3TexCoo* tb,
                            long flags, bool cut)
{
    if (!a || !b)
        return;
    const int ia = NodeAt(a->GetXYZ(), a);
    const int ib = NodeAt(b->GetXYZ(), b);
    if (ia != ib)
        edges.push_back({ia, ib, na, ta, nb, tb, flags, cut, true, cut});
}

void G3PlanarFaces::AddEdge(const double* a, const double* b, G3Normal* na, G3TexCoo* ta, G3Normal* nb,
                            G3TexCoo* tb, long flags, bool cut)
{
    if (!a || !b)
        return;
    const int ia = NodeAt(a, nullptr);
    const int ib = NodeAt(b, nullptr);
    if (ia != ib)
        edges.push_back({ia, ib, na, ta, nb, tb, flags, cut, true, cut});
}

G3Normal* G3PlanarFaces::LerpNormal(G3Normal* a, G3Normal* b, double t)
{
    if (!a || !b)
        return nullptr;
    const double* x = a->GetXYZ();
    const double* y = b->GetXYZ();
    return surface->AddNormal(x[0] + t * (y[0] - x[0]), x[1] + t * (y[1] - x[1]), x[2] + t * (y[2] - x[2]));
}

G3TexCoo* G3PlanarFaces::LerpTex(G3TexCoo* a, G3TexCoo* b, double t)
{
    if (!a || !b)
        return nullptr;
    return surface->AddTexCoo(a->GetU() + t * (b->GetU() - a->GetU()), a->GetV() + t * (b->GetV() - a->GetV()));
}

bool G3PlanarFaces::SweepPairs(const std::vector<int>& order, const std::vector<double>& lo, const std::vector<double>& hi,
                               std::vector<std::pair<int, int>>& pairs) const
{
    // Each edge's v range, widened as the sweep's u range is.
    const std::size_t n = order.size();
    std::vector<double> vlo(n), vhi(n);
    double u0 = HUGE_VAL, u1 = -HUGE_VAL, v0 = HUGE_VAL, v1 = -HUGE_VAL;
    for (std::size_t k = 0; k < n; ++k) {
        const Node& a = nodes[static_cast<std::size_t>(edges[k].a)];
        const Node& b = nodes[static_cast<std::size_t>(edges[k].b)];
        vlo[k] = std::fmin(a.v, b.v) - kPlaneSide;
        vhi[k] = std::fmax(a.v, b.v) + kPlaneSide;
        if (!std::isfinite(lo[k]) || !std::isfinite(hi[k]) || !std::isfinite(vlo[k]) || !std::isfinite(vhi[k]))
            return false;
        u0 = std::fmin(u0, lo[k]);
        u1 = std::fmax(u1, hi[k]);
        v0 = std::fmin(v0, vlo[k]);
        v1 = std::fmax(v1, vhi[k]);
    }
    std::vector<int> rank(n);
    for (std::size_t x = 0; x < n; ++x)
        rank[static_cast<std::size_t>(order[x])] = static_cast<int>(x);
    // About one edge per cell along each axis's square root of the count.
    const int side = std::max(1, static_cast<int>(std::sqrt(static_cast<double>(n))));
    const double su = u1 > u0 ? side / (u1 - u0) : 0.0;
    const double sv = v1 > v0 ? side / (v1 - v0) : 0.0;
    auto cell = [&](double x, double lo0, double scale) {
        const double q = (x - lo0) * scale;
        return !(q > 0.0) ? 0 : q >= side - 1 ? side - 1 : static_cast<int>(q);
    };
    std::vector<std::vector<int>> cells(static_cast<std::size_t>(side) * static_cast<std::size_t>(side));
    for (std::size_t k = 0; k < n; ++k)
        for (int j = cell(vlo[k], v0, sv); j <= cell(vhi[k], v0, sv); ++j)
            for (int i = cell(lo[k], u0, su); i <= cell(hi[k], u0, su); ++i)
                cells[static_cast<std::size_t>(j) * static_cast<std::size_t>(side) + static_cast<std::size_t>(i)].push_back(
                    static_cast<int>(k));
    // Every pair the sweep would reach: ranks x < y with the second's u
    // range starting within the first's (the sweep's stop rule). Pairs
    // apart in v are left out; the sweep's pair test drops them anyway.
    pairs.clear();
    for (const std::vector<int>& list : cells)
        for (std::size_t a = 0; a < list.size(); ++a)
            for (std::size_t b = a + 1; b < list.size(); ++b) {
                int x = rank[static_cast<std::size_t>(list[a])];
                int y = rank[static_cast<std::size_t>(list[b])];
                if (x > y)
                    std::swap(x, y);
                const std::size_t e1 = static_cast<std::size_t>(order[static_cast<std::size_t>(x)]);
                const std::size_t e2 = static_cast<std::size_t>(order[static_cast<std::size_t>(y)]);
                if (!(lo[e2] > hi[e1]) && !(vlo[e2] > vhi[e1]) && !(vlo[e1] > vhi[e2]))
                    pairs.push_back({x, y});
            }
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    return true;
}

void G3PlanarFaces::Resolve()
{
    // Candidate pairs by a sweep over the edges' u ranges.
    const std::size_t n = edges.size();
    std::vector<double> lo(n), hi(n);
    std::vector<int> order(n);
    for (std::size_t k = 0; k < n; ++k) {
        const Node& a = nodes[static_cast<std::size_t>(edges[k].a)];
        const Node& b = nodes[static_cast<std::size_t>(edges[k].b)];
        lo[k] = std::fmin(a.u, b.u) - kPlaneSide;
        hi[k] = std::fmax(a.u, b.u) + kPlaneSide;
        order[k] = static_cast<int>(k);
    }
    std::sort(order.begin(), order.end(), [&](int x, int y) {
        return lo[static_cast<std::size_t>(x)] < lo[static_cast<std::size_t>(y)] ||
               (lo[static_cast<std::size_t>(x)] == lo[static_cast<std::size_t>(y)] && x < y);
    });

    // Node c against the line of edge e: its distance along e from e's
    // first end, across it (left positive), and e's length.
    struct Place {
        double along, across, length;
    };
    auto place = [&](int c, const Edge& e) {
        const Node& p = nodes[static_cast<std::size_t>(e.a)];
        const Node& q = nodes[static_cast<std::size_t>(e.b)];
        const Node& x = nodes[static_cast<std::size_t>(c)];
        const double du = q.u - p.u;
        const double dv = q.v - p.v;
        const double len = std::sqrt(du * du + dv * dv);
        if (!(len > 0.0))
            return Place{0.0, 0.0, 0.0};
        return Place{((x.u - p.u) * du + (x.v - p.v) * dv) / len, (du * (x.v - p.v) - dv * (x.u - p.u)) / len, len};
    };
    // Where node c lies on edge e: its parameter when it is within the side
    // band of e and between its ends, else -1. The caller has made sure c
    // is neither end; whether a point is an end was decided once, by
    // NodeAt, and is not asked again here with another measure (an along
    // test at the ends would call a node 1e-6 + a rounding away from an end
    // that end, leave the cut it closes dangling, and lose the piece).
    auto onEdge = [&](int c, const Edge& e) {
        const Place at = place(c, e);
        if (!(at.length > kPointEqual) || std::fabs(at.across) >= kPlaneSide || !(at.along > 0.0) ||
            !(at.along < at.length))
            return -1.0;
        return at.along / at.length;
    };
    auto side = [&](int c, const Edge& e) { return place(c, e).across; };

    std::vector<Split> splits;
    auto visit = [&](int e1, int e2) {
        {
            const Edge f = edges[static_cast<std::size_t>(e1)];
            const Edge g = edges[static_cast<std::size_t>(e2)];
            const Node& fa = nodes[static_cast<std::size_t>(f.a)];
            const Node& fb = nodes[static_cast<std::size_t>(f.b)];
            const Node& ga = nodes[static_cast<std::size_t>(g.a)];
            const Node& gb = nodes[static_cast<std::size_t>(g.b)];
            if (std::fmax(fa.v, fb.v) + kPlaneSide < std::fmin(ga.v, gb.v) ||
                std::fmax(ga.v, gb.v) + kPlaneSide < std::fmin(fa.v, fb.v))
                return;
            bool touched = false;
            for (int c : {g.a, g.b}) {
                if (c == f.a || c == f.b)
                    continue;
                const double t = onEdge(c, f);
                if (t >= 0.0) {
                    splits.push_back({e1, t, c});
                    touched = true;
                }
            }
            for (int c : {f.a, f.b}) {
                if (c == g.a || c == g.b)
                    continue;
                const double t = onEdge(c, g);
                if (t >= 0.0) {
                    splits.push_back({e2, t, c});
                    touched = true;
                }
            }
            if (touched || f.a == g.a || f.a == g.b || f.b == g.a || f.b == g.b)
                return;
            const double d1 = side(g.a, f);
            const double d2 = side(g.b, f);
            const double d3 = side(f.a, g);
            const double d4 = side(f.b, g);
            const bool crossG = (d1 > kPlaneSide && d2 < -kPlaneSide) || (d1 < -kPlaneSide && d2 > kPlaneSide);
            const bool crossF = (d3 > kPlaneSide && d4 < -kPlaneSide) || (d3 < -kPlaneSide && d4 > kPlaneSide);
            if (!crossG || !crossF)
                return;
            const double t = d3 / (d3 - d4);
            const double s = d1 / (d1 - d2);
            double p[3];
            for (int d = 0; d < 3; ++d)
                p[d] = fa.xyz[d] + t * (fb.xyz[d] - fa.xyz[d]);
            const int c = NodeAt(p, nullptr);
            splits.push_back({e1, t, c});
            splits.push_back({e2, s, c});
        }
    };
    // The pairs in sweep order: ascending position of the first edge in
    // `order`, then of the second, while the second's u range starts
    // within the first's. Nodes are made in this order, so a faster
    // enumeration must keep it.
    // Many edges side by side in u (the walls of a floor plan, row above
    // row) would make the sweep pair every row with every other: past a
    // few hundred edges the pairs come from a grid over the edges' boxes
    // instead, put in sweep order (edges without finite boxes keep the
    // sweep).
    std::vector<std::pair<int, int>> pairs;
    if (n > kSweepEdges && SweepPairs(order, lo, hi, pairs)) {
        for (const std::pair<int, int>& pair : pairs)
            visit(order[static_cast<std::size_t>(pair.first)], order[static_cast<std::size_t>(pair.second)]);
    } else {
        for (std::size_t x = 0; x < n; ++x)
            for (std::size_t y = x + 1; y < n && !(lo[static_cast<std::size_t>(order[y])] > hi[static_cast<std::size_t>(order[x])]); ++y)
                visit(order[x], order[y]);
    }
    SplitAll(splits);
    Merge();
    Prune();
}

void G3PlanarFaces::SplitAll(const std::vector<Split>& splits)
{
    std::map<int, std::vector<std::pair<double, int>>> byEdge;
    for (const Split& s : splits)
        byEdge[s.edge].push_back({s.t, s.node});
    for (auto& entry : byEdge) {
        auto& cuts = entry.second;
        std::sort(cuts.begin(), cuts.end());
        const Edge e = edges[static_cast<std::size_t>(entry.first)];
        int from = e.a;
        G3Normal* nFrom = e.na;
        G3TexCoo* tFrom = e.ta;
        bool first = true;
        for (const auto& c : cuts) {
            if (c.second == from || c.second == e.a || c.second == e.b)
                continue;
            G3Normal* nc = LerpNormal(e.na, e.nb, c.first);
            G3TexCoo* tc = e.ta && e.tb ? LerpTex(e.ta, e.tb, c.first) : nullptr;
            const Edge piece{from, c.second, nFrom, tFrom, nc, tc, e.flags, e.cut, true, e.fromCut};
            if (first)
                edges[static_cast<std::size_t>(entry.first)] = piece;
            else
                edges.push_back(piece);
            first = false;
            from = c.second;
            nFrom = nc;
            tFrom = tc;
        }
        if (first)
            continue;
        edges.push_back({from, e.b, nFrom, tFrom, e.nb, e.tb, e.flags, e.cut, true, e.fromCut});
    }
}

void G3PlanarFaces::Merge()
{
    std::map<std::pair<int, int>, int> known;
    for (std::size_t k = 0; k < edges.size(); ++k) {
        Edge& e = edges[k];
        if (!e.alive)
            continue;
        if (e.a == e.b) {
            e.alive = false;
            continue;
        }
        const std::pair<int, int> key(std::min(e.a, e.b), std::max(e.a, e.b));
        auto it = known.find(key);
        if (it == known.end()) {
            known[key] = static_cast<int>(k);
            continue;
        }
        Edge& kept = edges[static_cast<std::size_t>(it->second)];
        const Edge other = e;
        e.alive = false;
        const bool fromCut = kept.fromCut || other.fromCut;
        const long cutMark =
            ((kept.fromCut ? kept.flags : 0) | (other.fromCut ? other.flags : 0)) & G3Obj::FLAG_MARK3;
        if (kept.cut && !other.cut) {
            // A cut along a boundary: the boundary's side and corners stay.
            kept = other;
            kept.alive = true;
        } else if (!kept.cut && !other.cut && kept.a != other.a) {
            // Boundaries both ways along one line: material on both sides.
            kept.cut = true;
        }
        kept.fromCut = fromCut;
        kept.flags |= cutMark;
    }
}

void G3PlanarFaces::Prune()
{
    std::vector<int> degree(nodes.size(), 0);
    for (const Edge& e : edges)
        if (e.alive) {
            ++degree[static_cast<std::size_t>(e.a)];
            ++degree[static_cast<std::size_t>(e.b)];
        }
    bool changed = true;
    while (changed) {
        changed = false;
        for (Edge& e : edges) {
            if (!e.alive || (degree[static_cast<std::size_t>(e.a)] > 1 && degree[static_cast<std::size_t>(e.b)] > 1))
                continue;
            e.alive = false;
            --degree[static_cast<std::size_t>(e.a)];
            --degree[static_cast<std::size_t>(e.b)];
            changed = true;
        }
    }
}

bool G3PlanarFaces::Encloses(const double* xyz) const
{
    const double u = xyz[iAxis];
    const double v = xyz[jAxis];
    bool in = false;
    for (const Edge& e : edges) {
        if (!e.alive)
            continue;
        const Node& a = nodes[static_cast<std::size_t>(e.a)];
        const Node& b = nodes[static_cast<std::size_t>(e.b)];
        if ((a.v > v) != (b.v > v) && u < a.u + (v - a.v) * (b.u - a.u) / (b.v - a.v))
            in = !in;
    }
    return in;
}

int G3PlanarFaces::GetEdgeCount() const
{
    int n = 0;
    for (const Edge& e : edges)
        n += e.alive;
    return n;
}

int G3PlanarFaces::GetInnerCutCount() const
{
    int n = 0;
    for (const Edge& e : edges)
        n += e.alive && e.fromCut && e.cut;
    return n;
}

void G3PlanarFaces::GetCutVertices(std::vector<G3Vertex*>* out) const
{
    for (const Edge& e : edges)
        if (e.alive && e.fromCut) {
            out->push_back(nodes[static_cast<std::size_t>(e.a)].vertex);
            out->push_back(nodes[static_cast<std::size_t>(e.b)].vertex);
        }
}

std::vector<int> G3PlanarFaces::NextHalves() const
{
    // Half-edge 2k runs along edge k, 2k + 1 against it.
    const std::size_t halves = 2 * edges.size();
    std::vector<std::vector<int>> out(nodes.size());
    std::vector<double> angle(halves, 0.0);
    auto origin = [&](std::size_t h) {
        const Edge& e = edges[h / 2];
        return static_cast<std::size_t>(h % 2 ? e.b : e.a);
    };
    auto target = [&](std::size_t h) {
        const Edge& e = edges[h / 2];
        return static_cast<std::size_t>(h % 2 ? e.a : e.b);
    };
    for (std::size_t h = 0; h < halves; ++h) {
        if (!edges[h / 2].alive)
            continue;
        const Node& a = nodes[origin(h)];
        const Node& b = nodes[target(h)];
        angle[h] = std::atan2(b.v - a.v, b.u - a.u);
        out[origin(h)].push_back(static_cast<int>(h));
    }
    std::vector<int> position(halves, -1);
    for (auto& list : out) {
        std::sort(list.begin(), list.end(), [&](int x, int y) {
            return angle[static_cast<std::size_t>(x)] < angle[static_cast<std::size_t>(y)] ||
                   (angle[static_cast<std::size_t>(x)] == angle[static_cast<std::size_t>(y)] && x < y);
        });
        for (std::size_t k = 0; k < list.size(); ++k)
            position[static_cast<std::size_t>(list[k])] = static_cast<int>(k);
    }
    // The face on the left of u -> v goes on along the edge out of v that
    // comes next clockwise from v -> u.
    std::vector<int> next(halves, -1);
    for (std::size_t h = 0; h < halves; ++h) {
        if (!edges[h / 2].alive)
            continue;
        const std::vector<int>& list = out[target(h)];
        const int back = position[h ^ 1];
        const int n = static_cast<int>(list.size());
        next[h] = list[static_cast<std::size_t>((back - 1 + n) % n)];
    }
    return next;
}

int G3PlanarFaces::DropBridges()
{
    // Label every half-edge with the face round whose boundary it runs.
    const std::vector<int> next = NextHalves();
    std::vector<int> face(next.size(), -1);
    int faces = 0;
    for (std::size_t start = 0; start < next.size(); ++start) {
        if (next[start] < 0 || face[start] >= 0)
            continue;
        for (int h = static_cast<int>(start); face[static_cast<std::size_t>(h)] < 0; h = next[static_cast<std::size_t>(h)])
            face[static_cast<std::size_t>(h)] = faces;
        ++faces;
    }
    int dropped = 0;
    for (std::size_t k = 0; k < edges.size(); ++k) {
        Edge& e = edges[k];
        if (e.alive && e.cut && e.fromCut && face[2 * k] == face[2 * k + 1]) {
            e.alive = false;
            ++dropped;
        }
    }
    // An edge left with a free end was a bridge too (one of a facet's own
    // contours given with a slit); none is left dangling.
    if (dropped > 0)
        Prune();
    return dropped;
}

std::vector<G3PlanarFaces::Face> G3PlanarFaces::GetFaces()
{
    // Half-edge 2k runs along edge k, 2k + 1 against it.
    const std::size_t halves = 2 * edges.size();
    auto origin = [&](int h) {
        const Edge& e = edges[static_cast<std::size_t>(h / 2)];
        return h % 2 ? e.b : e.a;
    };
    auto target = [&](int h) {
        const Edge& e = edges[static_cast<std::size_t>(h / 2)];
        return h % 2 ? e.a : e.b;
    };
    const std::vector<int> following = NextHalves();
    auto next = [&](int h) { return following[static_cast<std::size_t>(h)]; };
    auto material = [&](int h) {
        const Edge& e = edges[static_cast<std::size_t>(h / 2)];
        return e.cut || h % 2 == 0;
    };

    struct Cycle {
        std::vector<int> halves;
        double area;
    };
    std::vector<Cycle> outer;
    std::vector<Cycle> holes;
    std::vector<char> seen(halves, 0);
    for (std::size_t start = 0; start < halves; ++start) {
        if (seen[start] || !edges[start / 2].alive)
            continue;
        Cycle c;
        c.area = 0.0;
        bool all = true;
        int h = static_cast<int>(start);
        bool closed = false;
        // Corners taken from the cycle's first node: far from the origin
        // the products of absolute coordinates cancel to more than a small
        // face's whole area.
        const Node& base = nodes[static_cast<std::size_t>(origin(h))];
        while (c.halves.size() <= halves) {
            seen[static_cast<std::size_t>(h)] = 1;
            c.halves.push_back(h);
            all = all && material(h);
            const Node& a = nodes[static_cast<std::size_t>(origin(h))];
            const Node& b = nodes[static_cast<std::size_t>(target(h))];
            c.area += (a.u - base.u) * (b.v - base.v) - (b.u - base.u) * (a.v - base.v);
            h = next(h);
            if (h == static_cast<int>(start)) {
                closed = true;
                break;
            }
            if (seen[static_cast<std::size_t>(h)])
                break;
        }
        c.area *= 0.5;
        if (!closed || !all || std::fabs(c.area) < kZeroArea)
            continue;
        (c.area > 0.0 ? outer : holes).push_back(c);
    }

    // A hole belongs to the smallest outer cycle that contains it. Only
    // outer cycles whose box holds the hole's box can; for those, the
    // hole's first node off the outer cycle decides (crossing count). One
    // marker array serves every test: a node is on cycle f while its stamp
    // is f.
    struct Box {
        double u0, u1, v0, v1;
    };
    auto boxOf = [&](const Cycle& c) {
        Box b{HUGE_VAL, -HUGE_VAL, HUGE_VAL, -HUGE_VAL};
        for (int h : c.halves) {
            const Node& n = nodes[static_cast<std::size_t>(origin(h))];
            b.u0 = std::min(b.u0, n.u);
            b.u1 = std::max(b.u1, n.u);
            b.v0 = std::min(b.v0, n.v);
            b.v1 = std::max(b.v1, n.v);
        }
        return b;
    };
    std::vector<Box> outerBox;
    for (const Cycle& c : outer)
        outerBox.push_back(boxOf(c));
    std::vector<long> stamp(nodes.size(), -1);
    auto contains = [&](std::size_t f, const Cycle& hole) {
        const Cycle& face = outer[f];
        for (int h : face.halves)
            stamp[static_cast<std::size_t>(origin(h))] = static_cast<long>(f);
        for (int h : hole.halves) {
            const int c = origin(h);
            if (stamp[static_cast<std::size_t>(c)] == static_cast<long>(f))
                continue;
            const Node& p = nodes[static_cast<std::size_t>(c)];
            bool in = false;
            for (int e : face.halves) {
                const Node& a = nodes[static_cast<std::size_t>(origin(e))];
                const Node& b = nodes[static_cast<std::size_t>(target(e))];
                if ((a.v > p.v) != (b.v > p.v) && p.u < a.u + (p.v - a.v) * (b.u - a.u) / (b.v - a.v))
                    in = !in;
            }
            return in;
        }
        return false;
    };
    // Many holes among many outer cycles (a floor plan: each wall's piece
    // is both) ask a tree of the outer boxes for those holding the hole's
    // lowest corner, in cycle order: the same candidates the scan of every
    // outer cycle would pass on.
    G3FacetTree outerTree;
    const bool useTree = outer.size() * holes.size() > kHoleScanPairs;
    if (useTree) {
        for (const Box& b : outerBox) {
            GEnvelope e;
            e.Init(b.u0, b.v0, 0.0, b.u1, b.v1, 0.0);
            outerTree.Add(nullptr, e, 0.0);
        }
        outerTree.Build();
    }
    std::vector<int> around;
    std::vector<std::vector<int>> holesOf(outer.size());
    for (std::size_t k = 0; k < holes.size(); ++k) {
        const Box hb = boxOf(holes[k]);
        if (useTree) {
            const double corner[3] = {hb.u0, hb.v0, 0.0};
            outerTree.ItemsAlong(corner, corner, around);
        } else {
            around.resize(outer.size());
            for (std::size_t f = 0; f < outer.size(); ++f)
                around[f] = static_cast<int>(f);
        }
        int best = -1;
        for (int candidate : around) {
            const std::size_t f = static_cast<std::size_t>(candidate);
            const Box& fb = outerBox[f];
            if (hb.u0 < fb.u0 || hb.u1 > fb.u1 || hb.v0 < fb.v0 || hb.v1 > fb.v1)
                continue;
            if ((best < 0 || outer[f].area < outer[static_cast<std::size_t>(best)].area) && contains(f, holes[k]))
                best = static_cast<int>(f);
        }
        if (best >= 0)
            holesOf[static_cast<std::size_t>(best)].push_back(static_cast<int>(k));
    }

    auto contour = [&](const Cycle& c) {
        Contour run;
        for (int h : c.halves) {
            const Edge& e = edges[static_cast<std::size_t>(h / 2)];
            const bool along = h % 2 == 0;
            run.push_back({nodes[static_cast<std::size_t>(origin(h))].vertex,
                           nodes[static_cast<std::size_t>(target(h))].vertex, along ? e.na : e.nb,
                           along ? e.ta : e.tb, along ? e.nb : e.na, along ? e.tb : e.ta, e.flags});
        }
        return run;
    };
    std::vector<Face> faces;
    faceHalves.assign(outer.size(), std::vector<int>());
    for (std::size_t f = 0; f < outer.size(); ++f) {
        Face face;
        face.area = outer[f].area;
        face.contours.push_back(contour(outer[f]));
        faceHalves[f] = outer[f].halves;
        for (int k : holesOf[f]) {
            const Cycle& hole = holes[static_cast<std::size_t>(k)];
            face.contours.push_back(contour(hole));
            faceHalves[f].insert(faceHalves[f].end(), hole.halves.begin(), hole.halves.end());
        }
        faces.push_back(face);
    }
    return faces;
}

void G3PlanarFaces::KeepFaces(const std::vector<char>& keep)
{
    // Every contour of a face runs with the face on its left, so half-edge
    // 2k kept means material left of edge k, 2k + 1 material on its right.
    std::vector<char> kept(2 * edges.size(), 0);
    for (std::size_t f = 0; f < faceHalves.size() && f < keep.size(); ++f)
        if (keep[f])
            for (int h : faceHalves[f])
                kept[static_cast<std::size_t>(h)] = 1;
    for (std::size_t k = 0; k < edges.size(); ++k) {
        Edge& e = edges[k];
        if (!e.alive)
            continue;
        const bool left = kept[2 * k] != 0;
        const bool right = kept[2 * k + 1] != 0;
        if (left == right) {
            e.alive = false;
            continue;
        }
        e.cut = false;
        if (right) {
            std::swap(e.a, e.b);
            std::swap(e.na, e.nb);
            std::swap(e.ta, e.tb);
        }
    }
    faceHalves.clear();
}

void G3PlanarFaces::MakeEdges(const Face& face, GArrayCollection* out)
{
    for (const Contour& c : face.contours)
        for (const HalfEdge& h : c) {
            G3Edge* e = new G3Edge(h.from, h.to);
            e->SetFlags(h.flags);
            e->SetFacet1V1(h.normalFrom, h.texFrom);
            e->SetFacet1V2(h.normalTo, h.texTo);
            out->add(e);
        }
}
