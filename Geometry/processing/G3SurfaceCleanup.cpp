// Cleanup passes of G3Surface: duplicate, trivial and non-manifold pieces
// are removed, boundary gaps are closed with triangles.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetPrefetch.h"
#include "Geometry/mesh/G3PassCheck.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3CopiedRegions.h"
#include "Geometry/processing/G3CopiesParity.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

// The facet of an edge: facet1, else facet2.
inline G3Facet* FacetOf(const G3Edge* e) { return e->GetFacet1() ? e->GetFacet1() : e->GetFacet2(); }

// Exactly one of the two sides is taken.
inline bool OneFacet(const G3Edge* e) { return (e->GetFacet1() != nullptr) != (e->GetFacet2() != nullptr); }

// At least one side is free.
inline bool OpenSide(const G3Edge* e) { return !e->GetFacet1() || !e->GetFacet2(); }

// Whether every corner of f lies within `width` of the line through two
// of its corners: the corner farthest from the first, and the corner
// farthest from that one (the ends of a thin facet). Distances are those
// the edge division measures. A facet wider than `width` is never taken.
bool NoWiderThan(G3Facet* f, double width, GArrayCollection* walk)
{
    f->GetVertices(walk);
    const int n = walk->size();
    if (n < 3)
        return false;
    auto at = [&](int k) { return static_cast<G3Vertex*>(walk->get(k))->GetXYZ(); };
    auto farthest = [&](const double* from) {
        int best = 0;
        double bestSquare = -1.0;
        for (int k = 0; k < n; ++k) {
            const double* p = at(k);
            const double square = (p[0] - from[0]) * (p[0] - from[0]) + (p[1] - from[1]) * (p[1] - from[1]) +
                                  (p[2] - from[2]) * (p[2] - from[2]);
            if (square > bestSquare) {
                best = k;
                bestSquare = square;
            }
        }
        return at(best);
    };
    const double* p1 = farthest(at(0));
    const double* p2 = farthest(p1);
    const double d[3] = {p2[0] - p1[0], p2[1] - p1[1], p2[2] - p1[2]};
    const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (!(length > 0.0))
        return false; // no line (the plane test decides), or not finite
    for (int k = 0; k < n; ++k) {
        const double* c = at(k);
        const double w[3] = {p1[0] - c[0], p1[1] - c[1], p1[2] - c[2]};
        const double x = d[1] * w[2] - d[2] * w[1];
        const double y = d[2] * w[0] - d[0] * w[2];
        const double z = d[0] * w[1] - d[1] * w[0];
        if (!(std::sqrt(x * x + y * y + z * z) / length <= width))
            return false;
    }
    return true;
}

} // namespace

namespace {

// What two equal facets f and g are, told by the facet sides the rest of
// the surface has along their edges.
enum class CopyRole {
    Sheet,     // nothing else along any edge
    Wall,      // an even, non-zero number along every edge: both go
    Duplicate, // anything else: one copy too many
};

// The role of the copies `same` of one facet (f first), read on the
// surface as it stands: the other facets' sides along each of f's edges,
// the copies' own left out, and the copies of another facet counted once
// for each way they run (`sideKey` names a facet side by its group of
// copies and its direction along the edge): a facet listed twice beside
// the shared face of two solids is one side of that edge, not two.
template <class SideKey>
CopyRole RoleOfCopies(G3Facet* f, const std::vector<G3Facet*>& same, SideKey sideKey)
{
    bool nothing = true;
    bool even = true;
    GArrayCollection along;
    std::vector<long long> keys;
    for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
        G3Vertex* a = e->GetVertex1();
        G3Vertex* b = e->GetVertex2();
        if (!a || !b)
            continue;
        a->GetEdges(b, &along);
        keys.clear();
        for (int k = 0; k < along.size(); ++k) {
            const G3Edge* x = static_cast<const G3Edge*>(along.get(k));
            for (G3Facet* h : {x->GetFacet1(), x->GetFacet2()}) {
                if (!h || std::find(same.begin(), same.end(), h) != same.end())
                    continue;
                const long long key = sideKey(h, a, b);
                if (std::find(keys.begin(), keys.end(), key) == keys.end())
                    keys.push_back(key);
            }
        }
        const int others = static_cast<int>(keys.size());
        nothing = nothing && others == 0;
        even = even && others > 0 && others % 2 == 0;
    }
    if (nothing)
        return CopyRole::Sheet;
    return even ? CopyRole::Wall : CopyRole::Duplicate;
}

} // namespace

void G3Surface::RemoveEqualsFacets()
{
    G3_CHECK_PASS(this, "RemoveEqualsFacets");
    if (!facets)
        return;
    // Copies of a face split into facets their own ways share no facet:
    // made equal first, they are judged as copies below.
    G3AlignCopiedRegions(this);
    GArrayCollection snapshot(*facets);
    const int count = snapshot.size();
    // Every facet's corners, walked once: on a large mesh the walks are
    // what the search costs (each reads edges wherever they lie), and an
    // earlier facet is compared with each later one that shares its key.
    // No walk changes while the copies are removed (a removal only takes
    // the copy's own sides off its edges), so every copy is found first.
    std::vector<G3Vertex*> corners;
    std::vector<std::size_t> start(static_cast<std::size_t>(count) + 1, 0);
    {
        GArrayCollection walk;
        for (int i = 0; i < count; ++i) {
            G3PrefetchFacetWalk(&snapshot, i);
            static_cast<G3Facet*>(snapshot.get(i))->GetVertices(&walk);
            for (int k = 0; k < walk.size(); ++k)
                corners.push_back(static_cast<G3Vertex*>(walk.get(k)));
            start[static_cast<std::size_t>(i) + 1] = corners.size();
        }
    }
    auto cornersOf = [&](int i) { return corners.data() + start[static_cast<std::size_t>(i)]; };
    auto sizeOf = [&](int i) {
        return static_cast<int>(start[static_cast<std::size_t>(i) + 1] - start[static_cast<std::size_t>(i)]);
    };
    // Whether facet c walks the n corners f, starting from key at
    // f[keyIndex], forwards or backwards from any place of key in c.
    auto matches = [&](int c, G3Vertex* const* f, int n, G3Vertex* key, int keyIndex) {
        if (sizeOf(c) != n)
            return false;
        G3Vertex* const* g = cornersOf(c);
        for (int j = 0; j < n; ++j) {
            if (g[j] != key)
                continue;
            bool forwards = true;
            bool backwards = true;
            for (int k = 0; k < n && (forwards || backwards); ++k) {
                G3Vertex* a = f[(keyIndex + k) % n];
                forwards = forwards && a == g[(j + k) % n];
                backwards = backwards && a == g[(j - k + n) % n];
            }
            if (forwards || backwards)
                return true;
        }
        return false;
    };
    // Each facet's copy: the earlier facet it walks like (the same corners
    // from some place on, forwards or backwards), or -1. Walking alike is
    // an equivalence, and a facet that finds no copy is kept for the later
    // ones, so the kept facets are pairwise unlike and a facet has at most
    // one copy among them: which corner keys the search, and in what order
    // the kept facets are tried, changes nothing. The key is the corner at
    // the lowest address (the first when it repeats), which needs no read
    // of the vertices; facets with one key are taken together, in order.
    std::vector<int> copyOf(static_cast<std::size_t>(count), -1);
    {
        std::vector<std::pair<std::uintptr_t, int>> byKey;
        byKey.reserve(static_cast<std::size_t>(count));
        std::vector<int> keyIndexOf(static_cast<std::size_t>(count), 0);
        for (int i = 0; i < count; ++i) {
            const int n = sizeOf(i);
            if (n == 0)
                continue;
            G3Vertex* const* f = cornersOf(i);
            int keyIndex = 0;
            for (int k = 1; k < n; ++k)
                if (std::less<const G3Vertex*>()(f[k], f[keyIndex]))
                    keyIndex = k;
            keyIndexOf[static_cast<std::size_t>(i)] = keyIndex;
            byKey.push_back({reinterpret_cast<std::uintptr_t>(f[keyIndex]), i});
        }
        std::sort(byKey.begin(), byKey.end());
        std::vector<int> kept;
        for (std::size_t r = 0; r < byKey.size();) {
            std::size_t e = r + 1;
            while (e < byKey.size() && byKey[e].first == byKey[r].first)
                ++e;
            kept.clear();
            for (std::size_t q = r; q < e; ++q) {
                const int i = byKey[q].second;
                G3Vertex* const* f = cornersOf(i);
                const int keyIndex = keyIndexOf[static_cast<std::size_t>(i)];
                int copy = -1;
                for (int c : kept)
                    if (matches(c, f, sizeOf(i), f[keyIndex], keyIndex)) {
                        copy = c;
                        break;
                    }
                if (copy < 0)
                    kept.push_back(i);
                copyOf[static_cast<std::size_t>(i)] = copy;
            }
            r = e;
        }
    }
    // A mesh without copies (the usual case) is done: nothing below would
    // change it, and the groups cost a vector per facet.
    if (std::none_of(copyOf.begin(), copyOf.end(), [](int c) { return c >= 0; }))
        return;
    // Every group of copies is judged before any copy goes: the copies of
    // one face of two touching solids given as triangles share the
    // triangles' inner edges with the other groups of that face, and a
    // group judged after another had lost a copy saw an odd count there.
    std::vector<CopyRole> role(static_cast<std::size_t>(count), CopyRole::Sheet);
    {
        std::vector<std::vector<G3Facet*>> groups(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            const int copy = copyOf[static_cast<std::size_t>(i)];
            if (copy < 0)
                continue;
            std::vector<G3Facet*>& group = groups[static_cast<std::size_t>(copy)];
            if (group.empty())
                group.push_back(static_cast<G3Facet*>(snapshot.get(copy)));
            group.push_back(static_cast<G3Facet*>(snapshot.get(i)));
        }
        // A facet side's key: the group of copies its facet belongs to (its
        // own when it has none) and whether the facet walks a -> b.
        std::unordered_map<const G3Facet*, int> indexOf;
        for (int i = 0; i < count; ++i) {
            const int copy = copyOf[static_cast<std::size_t>(i)];
            if (copy >= 0) {
                indexOf.emplace(static_cast<G3Facet*>(snapshot.get(i)), i);
                indexOf.emplace(static_cast<G3Facet*>(snapshot.get(copy)), copy);
            }
        }
        auto sideKey = [&](const G3Facet* h, const G3Vertex* a, const G3Vertex* b) -> long long {
            const auto it = indexOf.find(h);
            if (it == indexOf.end())
                return -1 - static_cast<long long>(reinterpret_cast<std::uintptr_t>(h) >> 3);
            const int i = it->second;
            const int copy = copyOf[static_cast<std::size_t>(i)];
            const int group = copy < 0 ? i : copy;
            G3Vertex* const* c = cornersOf(i);
            const int n = sizeOf(i);
            bool forwards = false;
            for (int k = 0; k < n && !forwards; ++k)
                forwards = c[k] == a && c[(k + 1) % n] == b;
            return 2LL * group + (forwards ? 0 : 1);
        };
        for (int i = 0; i < count; ++i)
            if (!groups[static_cast<std::size_t>(i)].empty())
                role[static_cast<std::size_t>(i)] =
                    RoleOfCopies(groups[static_cast<std::size_t>(i)].front(), groups[static_cast<std::size_t>(i)], sideKey);
        // Counting another group once for each way it runs holds when the
        // facets are wound alike: a group given both ways is then a pair of
        // back-to-back walls. A soup winds each facet either way, and then
        // the two solids' copies of a shared face given as triangles (or a
        // facet listed once each way beside it) read as one side, and a
        // shared face stayed. Where the roles leave a pair of vertices with
        // an odd number of facet sides though some choice of keeping one
        // copy or none closes every such pair, that choice is taken instead.
        auto groupOf = [&](const G3Facet* h) {
            const auto it = indexOf.find(h);
            if (it == indexOf.end())
                return -1;
            const int copy = copyOf[static_cast<std::size_t>(it->second)];
            return copy < 0 ? it->second : copy;
        };
        std::vector<char> keep(static_cast<std::size_t>(count), 1);
        for (int i = 0; i < count; ++i)
            keep[static_cast<std::size_t>(i)] = role[static_cast<std::size_t>(i)] != CopyRole::Wall;
        if (G3SettleKeptCopies(groups, groupOf, keep))
            for (int i = 0; i < count; ++i)
                if (keep[static_cast<std::size_t>(i)] != (role[static_cast<std::size_t>(i)] != CopyRole::Wall))
                    role[static_cast<std::size_t>(i)] = keep[static_cast<std::size_t>(i)] ? CopyRole::Duplicate : CopyRole::Wall;
    }
    std::vector<G3Facet*> walls;
    bool removed = false;
    bool stitch = false;
    for (int i = 0; i < count; ++i) {
        G3Facet* f = static_cast<G3Facet*>(snapshot.get(i));
        const int copy = copyOf[static_cast<std::size_t>(i)];
        if (copy < 0)
            continue;
        G3Facet* g = static_cast<G3Facet*>(snapshot.get(copy));
        switch (role[static_cast<std::size_t>(copy)]) {
        case CopyRole::Sheet:
            // Two copies with the same flag make one facet seen from both
            // sides; a double-sided copy over a single-sided one leaves it
            // single-sided.
            if (f->GetDoubleSided() == g->GetDoubleSided())
                g->SetDoubleSided();
            else
                g->ClearDoubleSided();
            break;
        case CopyRole::Wall:
            // g stays in the finder for further copies; it goes at the end.
            if (std::find(walls.begin(), walls.end(), g) == walls.end())
                walls.push_back(g);
            stitch = true;
            break;
        case CopyRole::Duplicate:
            if (!f->GetDoubleSided())
                g->ClearDoubleSided();
            stitch = true;
            break;
        }
        RemoveFacet(f);
        removed = true;
    }
    for (G3Facet* g : walls)
        RemoveFacet(g);
    if (stitch)
        JoinNonManifoldEdges();
    if (removed)
        RemoveUnused();
}

bool G3Surface::RemoveTrivialFacets() { return RemoveTrivialFacets(0.0); }

bool G3Surface::RemoveTrivialFacets(double width)
{
    G3_CHECK_PASS(this, "RemoveTrivialFacets");
    bool removed = false;
    GArrayCollection walk;
    for (int i = 0; i < GetFacetCount();) {
        G3PrefetchFacetWalk(facets, i);
        G3Facet* f = GetFacet(i);
        if (f->IsTrivial() || f->GetEdgeCount() <= 2 || (width > 0.0 && NoWiderThan(f, width, &walk))) {
            RemoveFacet(f);
            removed = true;
        } else {
            ++i;
        }
    }
    if (removed)
        RemoveUnused();
    return removed;
}

void G3Surface::RemoveNonManifoldEdges()
{
    G3_CHECK_PASS(this, "RemoveNonManifoldEdges");
    JoinNonManifoldEdges();
    RemoveUnused();
}

namespace {

// One facet side along a vertex pair that several edges join.
struct SideAbout {
    G3Edge* edge;
    G3Facet* facet;
    double angle;     // of the facet's direction into itself, about the pair
    double into[3];   // that direction, unit, square to the pair
    bool solidAhead;  // the facet's back lies towards growing angles
};

// The sides of the facets along the edges `parallel` (all joining a and
// b), placed about the axis from a to b; false where they do not decide a
// pairing: an odd count or fewer than four, a double-sided facet (no
// solid side), a facet twice, a facet without a plane or without a
// direction square to the pair, or two facets in one direction (coplanar
// on one side of the pair).
bool SidesAbout(const G3Vertex* a, const G3Vertex* b, const GArrayCollection& parallel, std::vector<SideAbout>* sides)
{
    sides->clear();
    double axis[3];
    for (int k = 0; k < 3; ++k)
        axis[k] = b->GetXYZ()[k] - a->GetXYZ()[k];
    const double length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
    if (!(length >= GTolerance::kZeroLength))
        return false;
    for (double& c : axis)
        c /= length;
    for (int k = 0; k < parallel.size(); ++k) {
        G3Edge* e = static_cast<G3Edge*>(parallel.get(k));
        for (G3Facet* f : {e->GetFacet1(), e->GetFacet2()}) {
            if (!f)
                continue;
            if (f->GetDoubleSided() || f->IsPlaneZero())
                return false;
            for (const SideAbout& s : *sides)
                if (s.facet == f)
                    return false;
            // The facet runs counterclockwise about its plane's normal, so
            // its inside lies left of the way it runs: normal x run.
            const double* n = f->GetPlane();
            const bool forward = (f->GetMoveDirection(e) ? e->GetVertex1() : e->GetVertex2()) == a;
            const double sign = forward ? 1.0 : -1.0;
            double w[3] = {sign * (n[1] * axis[2] - n[2] * axis[1]), sign * (n[2] * axis[0] - n[0] * axis[2]),
                           sign * (n[0] * axis[1] - n[1] * axis[0])};
            const double along = w[0] * axis[0] + w[1] * axis[1] + w[2] * axis[2];
            for (int c = 0; c < 3; ++c)
                w[c] -= along * axis[c];
            const double size = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
            const double normal = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            if (!(size >= GTolerance::kAngleZero * normal))
                return false;
            SideAbout s{e, f, 0.0, {w[0] / size, w[1] / size, w[2] / size}, false};
            // Turning about the axis moves the facet along axis x into;
            // its back (the solid) lies that way when the normal points
            // against it.
            const double turn[3] = {axis[1] * s.into[2] - axis[2] * s.into[1], axis[2] * s.into[0] - axis[0] * s.into[2],
                                    axis[0] * s.into[1] - axis[1] * s.into[0]};
            s.solidAhead = turn[0] * n[0] + turn[1] * n[1] + turn[2] * n[2] < 0.0;
            sides->push_back(s);
        }
    }
    const std::size_t count = sides->size();
    if (count < 4 || count % 2 != 0)
        return false;
    // Angles from the first side's direction, in (-pi, pi]: only their
    // cyclic order counts.
    const double* u = (*sides)[0].into;
    const double v[3] = {axis[1] * u[2] - axis[2] * u[1], axis[2] * u[0] - axis[0] * u[2], axis[0] * u[1] - axis[1] * u[0]};
    for (SideAbout& s : *sides) {
        s.angle = std::atan2(s.into[0] * v[0] + s.into[1] * v[1] + s.into[2] * v[2],
                             s.into[0] * u[0] + s.into[1] * u[1] + s.into[2] * u[2]);
    }
    (*sides)[0].angle = 0.0;
    for (std::size_t i = 0; i < count; ++i)
        for (std::size_t j = i + 1; j < count; ++j) {
            const double* p = (*sides)[i].into;
            const double* q = (*sides)[j].into;
            if (1.0 - (p[0] * q[0] + p[1] * q[1] + p[2] * q[2]) <= GTolerance::kParallel)
                return false;
        }
    std::stable_sort(sides->begin(), sides->end(),
                     [](const SideAbout& l, const SideAbout& r) { return l.angle < r.angle; });
    return true;
}

// The facets joined where a pair of vertices carries two facet sides (on
// one edge or on two a join will stitch), as components (union-find over
// places in the facet list): which facets about a pair already belong to
// one piece.
class FacetPieces {
public:
    FacetPieces(G3Surface* s, const std::vector<std::pair<G3Facet*, G3Facet*>>& joined)
    {
        const int n = s->GetFacetCount();
        parent.resize(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            parent[static_cast<std::size_t>(i)] = i;
            place[s->GetFacet(i)] = i;
        }
        for (const auto& j : joined) {
            const auto p = place.find(j.first);
            const auto q = place.find(j.second);
            if (p != place.end() && q != place.end())
                parent[static_cast<std::size_t>(Root(p->second))] = Root(q->second);
        }
    }
    bool Together(const G3Facet* f, const G3Facet* g)
    {
        const auto p = place.find(f);
        const auto q = place.find(g);
        return p != place.end() && q != place.end() && Root(p->second) == Root(q->second);
    }

private:
    int Root(int i)
    {
        while (parent[static_cast<std::size_t>(i)] != i)
            i = parent[static_cast<std::size_t>(i)] = parent[static_cast<std::size_t>(parent[static_cast<std::size_t>(i)])];
        return i;
    }
    std::vector<int> parent;
    std::unordered_map<const G3Facet*, int> place;
};

} // namespace

namespace {

// Where four or more facets meet along one pair of vertices (solids
// touching along an edge), pairs each facet with its neighbour about the
// pair on the side where its solid lies. Of the two ways to pair
// neighbours about the pair, the one that keeps more pairs within the
// facets already joined elsewhere wins (solids wound at random still come
// apart); where that ties, the facets' normals decide when they all agree
// (each facet's back is its solid). Pairs whose facets do not decide
// (coplanar facets, double-sided ones, an odd count) keep the pairing they
// have; the edges left without facets leave the rings and stay listed.
void PairSidesAboutEdges(G3Surface* s)
{
    const int count = s->GetEdgeCount();
    struct Ends {
        const G3Vertex* lo;
        const G3Vertex* hi;
        int place;
        int sides; // facet sides along the edge (1 or 2)
    };
    std::vector<Ends> ends;
    ends.reserve(static_cast<std::size_t>(count));
    const std::less<const G3Vertex*> before;
    for (int i = 0; i < count; ++i) {
        const G3Edge* e = s->GetEdge(i);
        const G3Vertex* v1 = e->GetVertex1();
        const G3Vertex* v2 = e->GetVertex2();
        if (!v1 || !v2 || !(e->GetFacet1() || e->GetFacet2()))
            continue;
        const int sides = (e->GetFacet1() ? 1 : 0) + (e->GetFacet2() ? 1 : 0);
        ends.push_back(before(v1, v2) ? Ends{v1, v2, i, sides} : Ends{v2, v1, i, sides});
    }
    // Only which edges share their ends is read from this order (each pair's
    // edges together, in list order); the pairs are then taken in the order
    // of the edge list, and the joined pairs only make components. When
    // every lower end stands at its id in the vertex list, the edges are
    // dealt into one bucket per lower end in list order and each bucket (a
    // vertex's few edges) is sorted by the upper end: linear, where one
    // sort of all edges by address reads the whole list log n times.
    bool listed = true;
    const int vertexCount = s->GetVertexCount();
    std::vector<int> start(static_cast<std::size_t>(vertexCount) + 1, 0);
    for (const Ends& x : ends) {
        const long id = x.lo->GetId();
        if (id < 0 || id >= vertexCount || s->GetVertex(static_cast<int>(id)) != x.lo) {
            listed = false;
            break;
        }
        ++start[static_cast<std::size_t>(id) + 1];
    }
    const auto byHi = [&before](const Ends& l, const Ends& r) {
        return l.hi != r.hi ? before(l.hi, r.hi) : l.place < r.place;
    };
    if (listed) {
        for (std::size_t k = 1; k < start.size(); ++k)
            start[k] += start[k - 1];
        std::vector<Ends> dealt(ends.size());
        std::vector<int> fill(start.begin(), start.end() - 1);
        for (const Ends& x : ends)
            dealt[static_cast<std::size_t>(fill[static_cast<std::size_t>(x.lo->GetId())]++)] = x;
        ends.swap(dealt);
        for (std::size_t k = 0; k + 1 < start.size(); ++k)
            if (start[k + 1] - start[k] > 1)
                std::sort(ends.begin() + start[k], ends.begin() + start[k + 1], byHi);
    } else {
        std::sort(ends.begin(), ends.end(), [&before, &byHi](const Ends& l, const Ends& r) {
            return l.lo != r.lo ? before(l.lo, r.lo) : byHi(l, r);
        });
    }
    // Runs of edges along one pair: [start, end) of `ends`.
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    std::vector<int> firsts;
    for (std::size_t i = 0, j = 0; i < ends.size(); i = j) {
        // Facet sides along the pair: fewer than four decide no pairing
        // (SidesAbout), and a welded soup has two edges with one side each
        // along nearly every pair, which would otherwise all be looked at.
        int along = 0;
        for (j = i; j < ends.size() && ends[j].lo == ends[i].lo && ends[j].hi == ends[i].hi; ++j)
            along += ends[j].sides;
        runs.emplace_back(i, j);
        if (j - i >= 2 && along >= 4)
            firsts.push_back(ends[i].place);
    }
    if (firsts.empty())
        return;
    std::sort(firsts.begin(), firsts.end());
    // The pairs of facets joined along pairs with two sides; read once the
    // first group needs them (the groups changed so far had four sides or
    // more).
    const auto joined = [&]() {
        std::vector<std::pair<G3Facet*, G3Facet*>> out;
        std::vector<G3Facet*> along;
        for (const auto& run : runs) {
            along.clear();
            for (std::size_t k = run.first; k < run.second; ++k) {
                const G3Edge* e = s->GetEdge(ends[k].place);
                for (G3Facet* f : {e->GetFacet1(), e->GetFacet2()})
                    if (f)
                        along.push_back(f);
            }
            if (along.size() == 2 && along[0] != along[1])
                out.emplace_back(along[0], along[1]);
        }
        return out;
    };
    std::unique_ptr<FacetPieces> pieces;
    GArrayCollection parallel;
    std::vector<SideAbout> sides;
    std::vector<std::size_t> partner;
    for (int first : firsts) {
        G3Edge* e = s->GetEdge(first);
        G3Vertex* a = e->GetVertex1();
        G3Vertex* b = e->GetVertex2();
        parallel.clear();
        a->GetEdges(b, &parallel);
        if (!SidesAbout(a, b, parallel, &sides))
            continue;
        const std::size_t n = sides.size();
        // Way 0 pairs sides 0-1, 2-3, ...; way 1 pairs 1-2, ..., (n-1)-0.
        if (!pieces)
            pieces = std::make_unique<FacetPieces>(s, joined());
        int together[2] = {0, 0};
        int votes[2] = {0, 0};
        for (std::size_t k = 0; k < n; k += 2) {
            together[0] += pieces->Together(sides[k].facet, sides[k + 1].facet);
            together[1] += pieces->Together(sides[k + 1].facet, sides[(k + 2) % n].facet);
        }
        for (std::size_t k = 0; k < n; ++k)
            ++votes[sides[k].solidAhead == (k % 2 == 0) ? 0 : 1];
        int way;
        if (together[0] != together[1])
            way = together[0] > together[1] ? 0 : 1;
        else if (votes[1] == 0 || votes[0] == 0)
            way = votes[1] == 0 ? 0 : 1;
        else
            continue;
        partner.assign(n, 0);
        for (std::size_t k = 0; k < n; ++k)
            partner[k] = way == 0 ? k ^ 1u : (k % 2 == 1 ? (k + 1) % n : (k + n - 1) % n);
        // A facet sharing its edge with another than its partner moves to
        // a spare edge (which takes the old edge's flags with it)...
        for (std::size_t k = 0; k < n; ++k) {
            G3Edge* on = sides[k].edge;
            G3Facet* other = on->GetFacet1() == sides[k].facet ? on->GetFacet2() : on->GetFacet1();
            if (!other || other == sides[partner[k]].facet)
                continue;
            G3Edge* spare = s->AddEdge(a, b, nullptr);
            if (!spare)
                break;
            spare->SetFlags(0);
            if (sides[k].facet->ChangeEdges(on, spare))
                sides[k].edge = spare;
        }
        // ... and each facet alone on its edge takes its partner there.
        for (std::size_t k = 0; k < n; ++k) {
            SideAbout& p = sides[partner[k]];
            G3Edge* on = sides[k].edge;
            if (p.edge == on || !OneFacet(on) || !OneFacet(p.edge))
                continue;
            G3Edge* left = p.edge;
            if (!p.facet->ChangeEdges(left, on))
                continue;
            p.edge = on;
            if (G3Vertex* v = left->GetVertex1())
                v->RemoveEdge(left);
            if (G3Vertex* v = left->GetVertex2())
                v->RemoveEdge(left);
        }
    }
}

} // namespace

namespace {

// The chain edge before each edge of the long chains a pass changes edge
// by edge: a slab with thousands of holes has its open edges joined one at
// a time, and ChangeEdges walked the whole chain for each. A chain's index
// is made on its first change and kept up with each; a change it cannot
// place goes to ChangeEdges, after which the chain is indexed again.
class ChainPredecessors {
public:
    bool Change(G3Facet* g, G3Edge* o, G3Edge* e)
    {
        if (!g->HasEdgesAtLeast(kLongChain))
            return g->ChangeEdges(o, e);
        std::unordered_map<const G3Edge*, G3Edge*>& pred = chains[g];
        if (pred.empty()) {
            G3Edge* prev = nullptr;
            for (G3Edge* cur = g->GetFirstEdge(); cur; cur = cur->GetFacetEdge(g))
                pred.emplace(cur, prev), prev = cur;
        }
        const auto it = pred.find(o);
        if (it == pred.end() || !g->ChangeEdgesAfter(it->second, o, e)) {
            pred.clear();
            return g->ChangeEdges(o, e);
        }
        G3Edge* before = it->second;
        pred.erase(it);
        pred[e] = before;
        if (G3Edge* after = e->GetFacetEdge(g))
            pred[after] = e;
        return true;
    }

private:
    static constexpr int kLongChain = 64;
    std::unordered_map<const G3Facet*, std::unordered_map<const G3Edge*, G3Edge*>> chains;
};

} // namespace

void G3Surface::JoinNonManifoldEdges()
{
    PairSidesAboutEdges(this);
    ChainPredecessors chains;
    GArrayCollection parallel;
    // Where the facet runs along e from.
    const auto runStart = [](const G3Facet* f, const G3Edge* e) {
        return f->GetMoveDirection(e) ? e->GetVertex1() : e->GetVertex2();
    };
    for (int i = 0; i < GetEdgeCount(); ++i) {
        G3Edge* e = GetEdge(i);
        if (!OneFacet(e) || !e->GetVertex1() || !e->GetVertex2())
            continue;
        G3Facet* f = FacetOf(e);
        e->GetVertex1()->GetEdges(e->GetVertex2(), &parallel);
        // Where more than two facets meet at the pair of vertices (solids
        // touching along an edge), a partner running the other way keeps
        // the facets turned alike: those are tried first, the rest after.
        // (The direction walks the facet's chain, long on a slab with many
        // holes: it is asked only when there is a choice.)
        int free = 0;
        for (int k = 0; k < parallel.size(); ++k)
            free += parallel.get(k) != e && OneFacet(static_cast<G3Edge*>(parallel.get(k)));
        const G3Vertex* from = free > 1 ? runStart(f, e) : nullptr;
        const int first = from ? 0 : 1;
        bool done = false;
        for (int pass = first; pass < 2 && !done; ++pass)
            for (int k = 0; k < parallel.size(); ++k) {
                G3Edge* o = static_cast<G3Edge*>(parallel.get(k));
                if (o == e || !OneFacet(o))
                    continue;
                G3Facet* g = FacetOf(o);
                if (g == f) {
                    if (pass > first)
                        continue;
                    // A facet that goes out and back along the pair is only
                    // a sliver: it is emptied (RemoveEdges takes both edges
                    // out of the rings, as neither keeps a facet).
                    if (f->GetEdgeCount() != 2)
                        continue;
                    f->RemoveEdges();
                    --i;
                    done = true;
                    break;
                }
                if (from && (pass == 0) == (runStart(g, o) == from))
                    continue;
                if (chains.Change(g, o, e)) {
                    // g now runs along e, which carries both facets; o is
                    // left without any.
                    if (G3Vertex* v = o->GetVertex1())
                        v->RemoveEdge(o);
                    if (G3Vertex* v = o->GetVertex2())
                        v->RemoveEdge(o);
                    done = true;
                    break;
                }
            }
    }
}

G3Edge* G3Surface::FindNearestEdge(G3Edge* e)
{
    if (!e)
        return nullptr;
    const G3Facet* f = FacetOf(e);
    G3Edge* best = nullptr;
    double bestScore = 0.0;
    for (int end = 1; end <= 2; ++end) {
        const G3Vertex* v = end == 1 ? e->GetVertex1() : e->GetVertex2();
        if (!v)
            continue;
        for (G3Edge* o = v->GetFirstEdge(); o; o = o->GetVertexEdge(v)) {
            if (o == e || !OpenSide(o) || FacetOf(o) == f)
                continue;
            const double score = std::fabs(G3Edge::CalcRealSquareOfTriangle(e, o));
            if (!best || score < bestScore) {
                best = o;
                bestScore = score;
            }
        }
    }
    return best;
}

bool G3Surface::EncloseHoles()
{
    G3_CHECK_PASS(this, "EncloseHoles");
    bool added = false;
    // The size is read on every step: triangles added here bring new
    // boundary edges, which are examined in turn.
    for (int i = 0; i < GetEdgeCount(); ++i) {
        G3Edge* e = GetEdge(i);
        if (!OpenSide(e) || !e->GetVertex1() || !e->GetVertex2())
            continue;
        if (e->GetVertex1()->GetEdgeCount2(e->GetVertex2()) % 2 == 0)
            continue;
        G3Edge* n = FindNearestEdge(e);
        if (!n)
            continue;
        G3Vertex* v[3] = {nullptr, nullptr, nullptr};
        if (!G3Edge::GetTriangleVertex(e, n, &v[0], &v[1], &v[2]))
            continue;
        if (AddFacet(3, v, 1, nullptr, nullptr))
            added = true;
    }
    return added;
}
