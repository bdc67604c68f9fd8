// Copies of one face split into facets differently (a wall's face exported
// once per wall, each copy triangulated its own way) share no facet, so the
// equal-facet search saw none of them: inner walls stayed and faces listed
// twice left their outline with three sides. Here such copies are found as
// regions of one outline and made facet for facet equal.
//
// Invariants: only regions that run round the same simple cycle of vertex
// objects, in one plane, are touched, so the surface covers what it covered
// (the facets of a region lie on the two sides of every pair they share,
// so a region covers each point as often as its outline winds round it);
// the regions of a cycle keep their count, and each rebuilt region's facets
// are those of the region of fewest facets (ties to the least facet id),
// so the result does not depend on addresses. Nothing is rounded: vertices
// are reused, and the one geometric test (two facets in one plane) goes
// through G3Facet::PlaneEqualsNear at the shared edge, as the in-plane
// merge does.
#include "Geometry/processing/G3CopiedRegions.h"

#include "Geometry/foundation/GDisjointSets.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <numeric>
#include <utility>
#include <vector>

namespace {

struct Region {
    std::vector<int> facets;  // ids, ascending
    std::vector<int> cycle;   // outline vertex ids from the least, towards its lesser neighbour
    bool consistent = false;  // inner pairs run both ways, the outline head to tail
    bool forwards = false;    // (consistent) the facets run the outline as `cycle` lists it
};

// The corners of f as vertex ids, one contour; false for a facet with
// holes, an edge without an end or fewer than three corners.
bool CornersOf(G3Facet* f, std::vector<int>* ids)
{
    ids->clear();
    G3ContourWalker w(f);
    int contours = 0;
    while (w.Next()) {
        if (w.Opens() && ++contours > 1)
            return false;
        if (!w.GetEntry() || !w.GetExit())
            return false;
        ids->push_back(static_cast<int>(w.GetEntry()->GetId()));
    }
    return ids->size() >= 3;
}

std::pair<int, int> PairOf(int a, int b) { return a < b ? std::make_pair(a, b) : std::make_pair(b, a); }

// A word for the vertex pair a, b (either order), mixed so that the XOR of
// a few such words rarely vanishes by chance (a clash only costs a trace).
std::uint64_t PairWord(int a, int b)
{
    const auto p = PairOf(a, b);
    std::uint64_t x = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(p.first)) << 32) |
                      static_cast<std::uint32_t>(p.second);
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

bool FacingApart(const G3Facet* f, const G3Facet* g)
{
    const double* p = f->GetPlane();
    const double* q = g->GetPlane();
    return p[0] * q[0] + p[1] * q[1] + p[2] * q[2] < 0.0;
}

// f and g lie in one plane (either facing) where they meet at `at`.
bool InOnePlane(const G3Facet* f, const G3Facet* g, const double* at)
{
    if (f->IsPlaneZero() || g->IsPlaneZero())
        return false;
    const double* q = g->GetPlane();
    const double turned[4] = {-q[0], -q[1], -q[2], -q[3]};
    return f->PlaneEqualsNear(FacingApart(f, g) ? turned : q, at);
}

// Nothing about f that a rebuilt copy would lose: corner data, extended
// or outside data.
bool PlainFacet(G3Facet* f)
{
    if (!f->GetExtendedData().IsEmpty() || f->IsOutExDataExist())
        return false;
    G3ContourWalker w(f);
    while (w.Next())
        if (w.GetEdge()->HasGeometry())
            return false;
    return true;
}

// Fills r's outline from its facets' corners; false when the outline is
// not one simple cycle or a pair is held more than twice.
bool TraceOutline(G3Surface* s, Region* r)
{
    std::map<std::pair<int, int>, int> held;  // sides of r on each pair
    std::vector<int> ids;
    for (int id : r->facets) {
        if (!CornersOf(s->GetFacet(id), &ids))
            return false;
        for (std::size_t k = 0; k < ids.size(); ++k)
            held[PairOf(ids[k], ids[(k + 1) % ids.size()])] += 1;
    }
    r->consistent = true;
    // Neighbours of each outline vertex, and the way each outline pair runs.
    std::map<int, std::vector<int>> around;
    std::map<std::pair<int, int>, int> from;
    std::map<std::pair<int, int>, int> firstFrom;
    for (int id : r->facets) {
        CornersOf(s->GetFacet(id), &ids);
        for (std::size_t k = 0; k < ids.size(); ++k) {
            const int a = ids[k];
            const int b = ids[(k + 1) % ids.size()];
            const auto key = PairOf(a, b);
            const int count = held[key];
            if (count > 2)
                return false;
            if (count == 2) {
                const auto it = firstFrom.find(key);
                if (it == firstFrom.end())
                    firstFrom[key] = a;
                else if (it->second == a)
                    r->consistent = false;  // both facets run the pair the same way
                continue;
            }
            around[a].push_back(b);
            around[b].push_back(a);
            from[key] = a;
        }
    }
    if (around.size() < 3)
        return false;
    for (const auto& v : around)
        if (v.second.size() != 2)
            return false;
    // Walk the cycle from its least vertex towards the lesser neighbour.
    const int start = around.begin()->first;
    const std::vector<int>& n0 = around.begin()->second;
    int previous = start;
    int current = std::min(n0[0], n0[1]);
    if (n0[0] == n0[1])
        return false;
    r->cycle.assign(1, start);
    while (current != start) {
        if (r->cycle.size() > around.size())
            return false;
        r->cycle.push_back(current);
        const std::vector<int>& n = around[current];
        const int next = n[0] == previous ? n[1] : n[0];
        if (n[0] == n[1])
            return false;
        previous = current;
        current = next;
    }
    if (r->cycle.size() != around.size())
        return false;
    // Consistent only if the outline runs head to tail one way round.
    bool allForwards = true;
    bool allBackwards = true;
    for (std::size_t k = 0; k < r->cycle.size(); ++k) {
        const int a = r->cycle[k];
        const int b = r->cycle[(k + 1) % r->cycle.size()];
        const int f = from[PairOf(a, b)];
        allForwards = allForwards && f == a;
        allBackwards = allBackwards && f == b;
    }
    r->consistent = r->consistent && (allForwards || allBackwards);
    r->forwards = allForwards;
    return true;
}

// The facets of r as sorted corner cycles, for telling whether two regions
// of one outline already hold the same facets.
std::vector<std::vector<int>> ShapeOf(G3Surface* s, const Region& r)
{
    std::vector<std::vector<int>> shape;
    std::vector<int> ids;
    for (int id : r.facets) {
        CornersOf(s->GetFacet(id), &ids);
        std::sort(ids.begin(), ids.end());
        shape.push_back(ids);
    }
    std::sort(shape.begin(), shape.end());
    return shape;
}

bool IdsArePlaces(G3Surface* s)
{
    for (int k = 0; k < s->GetVertexCount(); ++k)
        if (s->GetVertex(k)->GetId() != k)
            return false;
    for (int k = 0; k < s->GetFacetCount(); ++k)
        if (s->GetFacet(k)->GetId() != k)
            return false;
    return true;
}

} // namespace

int G3AlignCopiedRegions(G3Surface* s)
{
    if (!s || s->GetFacetCount() < 3 || !IdsArePlaces(s))
        return 0;
    const int facetCount = s->GetFacetCount();
    // Join the two facets of every vertex pair that carries exactly their
    // sides (both sides of one edge, or one side each of two edges before
    // the stitching), in one plane. The edges with a facet are dealt into
    // buckets by the lesser id of their ends, in list order (ids are list
    // places, so this is a counting sort: a mesh of a million triangles
    // pays two passes, not a sort of its sides or a walk of every ring).
    std::vector<int> parent(static_cast<std::size_t>(facetCount));
    std::iota(parent.begin(), parent.end(), 0);
    bool joined = false;
    const int edgeCount = s->GetEdgeCount();
    const std::size_t vertexCount = static_cast<std::size_t>(s->GetVertexCount());
    auto sidesOf = [](const G3Edge* e) { return (e->GetFacet1() ? 1 : 0) + (e->GetFacet2() ? 1 : 0); };
    auto endsOf = [](const G3Edge* e) {
        return PairOf(static_cast<int>(e->GetVertex1()->GetId()), static_cast<int>(e->GetVertex2()->GetId()));
    };
    // A join needs an edge whose two facets lie in one plane, or edges of
    // one facet each; a mesh with neither (a closed curved one) has no
    // region of several facets and is done after one walk of its edges.
    auto lesserEnd = [](const G3Edge* e) {
        return e->GetVertex1()->GetId() < e->GetVertex2()->GetId() ? e->GetVertex1() : e->GetVertex2();
    };
    bool candidate = false;
    for (int k = 0; k < edgeCount && !candidate; ++k) {
        const G3Edge* e = s->GetEdge(k);
        if (!e->GetVertex1() || !e->GetVertex2())
            continue;
        const int n = sidesOf(e);
        candidate = n == 1 || (n == 2 && e->GetFacet1() != e->GetFacet2() &&
                               InOnePlane(e->GetFacet1(), e->GetFacet2(), lesserEnd(e)->GetXYZ()));
    }
    if (!candidate)
        return 0;
    std::vector<int> start(vertexCount + 1, 0);
    for (int k = 0; k < edgeCount; ++k) {
        const G3Edge* e = s->GetEdge(k);
        if (e->GetVertex1() && e->GetVertex2() && sidesOf(e) > 0)
            ++start[static_cast<std::size_t>(endsOf(e).first) + 1];
    }
    for (std::size_t v = 0; v < vertexCount; ++v)
        start[v + 1] += start[v];
    struct Side {
        int other;  // the greater end
        int edge;
        int sides;
        bool operator<(const Side& o) const { return other != o.other ? other < o.other : edge < o.edge; }
    };
    std::vector<Side> bucket(static_cast<std::size_t>(start[vertexCount]));
    {
        std::vector<int> fill(start.begin(), start.end() - 1);
        for (int k = 0; k < edgeCount; ++k) {
            const G3Edge* e = s->GetEdge(k);
            if (!e->GetVertex1() || !e->GetVertex2())
                continue;
            const int n = sidesOf(e);
            if (n == 0)
                continue;
            const auto ends = endsOf(e);
            bucket[static_cast<std::size_t>(fill[static_cast<std::size_t>(ends.first)]++)] = {ends.second, k, n};
        }
    }
    // The vertex at which f enters e.
    auto entryOf = [](G3Facet* f, G3Edge* e) { return f->GetMoveDirection(e) ? e->GetVertex1() : e->GetVertex2(); };
    // Joins the pair's two sides, f's first in (edge, side) order. Facets
    // facing alike that run the pair opposite ways (or facing apart and
    // running it alike) lie on its two sides; the others fold over one
    // another there and cover no outline's inside. The plane test comes
    // first: it reads the two facets alone, the entries walk their chains.
    auto join = [&](G3Facet* f, G3Edge* e, G3Facet* g, G3Edge* e2) {
        if (f == g || !InOnePlane(f, g, lesserEnd(e)->GetXYZ()) || (entryOf(f, e) == entryOf(g, e2)) != FacingApart(f, g))
            return;
        const int x = GRootOf(parent, static_cast<int>(f->GetId()));
        const int y = GRootOf(parent, static_cast<int>(g->GetId()));
        if (x != y) {
            parent[static_cast<std::size_t>(std::max(x, y))] = std::min(x, y);
            joined = true;
        }
    };
    // Pairs of two one-sided edges are joined here; an edge alone on its
    // pair with both sides is marked and joined below in list order, where
    // its facets lie near those of the edges before it.
    std::vector<char> alone(static_cast<std::size_t>(edgeCount), 0);
    for (std::size_t v = 0; v < vertexCount; ++v) {
        // The edges of this lesser end by their other end, in list order.
        const auto from = bucket.begin() + start[v], to = bucket.begin() + start[v + 1];
        if (to - from > 1)
            std::sort(from, to);
        for (auto i = from; i != to;) {
            auto j = i;
            int sides = 0;
            for (; j != to && j->other == i->other; ++j)
                sides += j->sides;
            if (sides == 2 && j - i == 1) {
                alone[static_cast<std::size_t>(i->edge)] = 1;
            } else if (sides == 2) {
                G3Edge* e = s->GetEdge(i->edge);
                G3Edge* e2 = s->GetEdge((i + 1)->edge);
                join(e->GetFacet1() ? e->GetFacet1() : e->GetFacet2(), e, e2->GetFacet1() ? e2->GetFacet1() : e2->GetFacet2(),
                     e2);
            }
            i = j;
        }
    }
    for (int k = 0; k < edgeCount; ++k)
        if (alone[static_cast<std::size_t>(k)]) {
            G3Edge* e = s->GetEdge(k);
            join(e->GetFacet1(), e, e->GetFacet2(), e);
        }
    if (!joined)
        return 0;
    // Each facet's pairs folded into one word (XOR of a hash per pair, over
    // the edges about it): over a region the inner pairs come twice and
    // cancel, leaving its outline's word. Only regions whose word another
    // region or a single facet shares can run round one outline, and only
    // those are traced.
    std::vector<std::uint64_t> word(static_cast<std::size_t>(facetCount), 0);
    for (int k = 0; k < edgeCount; ++k) {
        const G3Edge* e = s->GetEdge(k);
        if (!e->GetVertex1() || !e->GetVertex2())
            continue;
        const std::uint64_t w =
            PairWord(static_cast<int>(e->GetVertex1()->GetId()), static_cast<int>(e->GetVertex2()->GetId()));
        for (const G3Facet* f : {e->GetFacet1(), e->GetFacet2()})
            if (f)
                word[static_cast<std::size_t>(f->GetId())] ^= w;
    }
    // Members of each root, ascending, as runs of one array.
    std::vector<int> first(static_cast<std::size_t>(facetCount) + 1, 0);
    for (int k = 0; k < facetCount; ++k)
        ++first[static_cast<std::size_t>(GRootOf(parent, k)) + 1];
    for (int k = 0; k < facetCount; ++k)
        first[static_cast<std::size_t>(k) + 1] += first[static_cast<std::size_t>(k)];
    std::vector<int> member(static_cast<std::size_t>(facetCount));
    {
        std::vector<int> fill(first.begin(), first.end() - 1);
        for (int k = 0; k < facetCount; ++k)
            member[static_cast<std::size_t>(fill[static_cast<std::size_t>(GRootOf(parent, k))]++)] = k;
    }
    auto membersOf = [&](int root) {
        return std::vector<int>(member.begin() + first[static_cast<std::size_t>(root)],
                                member.begin() + first[static_cast<std::size_t>(root) + 1]);
    };
    struct Candidate {
        std::uint64_t word;
        int root;
        bool several;
    };
    // Regions of several facets first; a single facet is a candidate only
    // when its word is one of theirs.
    std::vector<Candidate> candidates;
    for (int k = 0; k < facetCount; ++k) {
        const int from = first[static_cast<std::size_t>(k)], to = first[static_cast<std::size_t>(k) + 1];
        if (to - from < 2)
            continue;
        std::uint64_t w = 0;
        for (int m = from; m < to; ++m)
            w ^= word[static_cast<std::size_t>(member[static_cast<std::size_t>(m)])];
        candidates.push_back({w, k, true});
    }
    std::vector<std::uint64_t> severalWords;
    for (const Candidate& c : candidates)
        severalWords.push_back(c.word);
    std::sort(severalWords.begin(), severalWords.end());
    for (int k = 0; k < facetCount; ++k)
        if (first[static_cast<std::size_t>(k) + 1] - first[static_cast<std::size_t>(k)] == 1 &&
            std::binary_search(severalWords.begin(), severalWords.end(), word[static_cast<std::size_t>(k)]))
            candidates.push_back({word[static_cast<std::size_t>(k)], k, false});
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& x, const Candidate& y) {
        return x.word != y.word ? x.word < y.word : x.root < y.root;
    });
    std::vector<Region> regions;
    for (std::size_t i = 0; i < candidates.size();) {
        std::size_t j = i;
        bool several = false;
        for (; j < candidates.size() && candidates[j].word == candidates[i].word; ++j)
            several = several || candidates[j].several;
        for (std::size_t k = i; several && j - i >= 2 && k < j; ++k) {
            Region r;
            r.facets = membersOf(candidates[k].root);
            if (TraceOutline(s, &r))
                regions.push_back(std::move(r));
        }
        i = j;
    }
    // Regions of one cycle side by side, the fewest facets first, then the
    // least facet id.
    std::vector<int> order(regions.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int x, int y) {
        const Region& p = regions[static_cast<std::size_t>(x)];
        const Region& q = regions[static_cast<std::size_t>(y)];
        if (p.cycle != q.cycle)
            return p.cycle < q.cycle;
        if (p.facets.size() != q.facets.size())
            return p.facets.size() < q.facets.size();
        return p.facets[0] < q.facets[0];
    });
    // What each rebuilt region becomes: its facets' replacements, planned
    // before any facet goes (removal moves facets to other places).
    struct Plan {
        std::vector<G3Facet*> old;
        std::vector<std::vector<G3Vertex*>> corners;
        std::vector<std::vector<int>> flags;
        long facetFlags = 0;
        int surface = 0;
    };
    std::vector<Plan> plans;
    auto uniform = [&](const Region& r, long* flags, int* surface) {
        G3Facet* first = s->GetFacet(r.facets[0]);
        *flags = first->GetFlags();
        *surface = first->GetSurface();
        for (int id : r.facets) {
            G3Facet* f = s->GetFacet(id);
            if (f->GetFlags() != *flags || f->GetSurface() != *surface || !PlainFacet(f))
                return false;
        }
        return true;
    };
    for (std::size_t i = 0; i < order.size();) {
        std::size_t j = i + 1;
        const Region& model = regions[static_cast<std::size_t>(order[i])];
        while (j < order.size() && regions[static_cast<std::size_t>(order[j])].cycle == model.cycle)
            ++j;
        long modelFlags = 0;
        int modelSurface = 0;
        if (j - i >= 2 && uniform(model, &modelFlags, &modelSurface)) {
            const auto modelShape = ShapeOf(s, model);
            for (std::size_t k = i + 1; k < j; ++k) {
                const Region& r = regions[static_cast<std::size_t>(order[k])];
                Plan plan;
                if (!uniform(r, &plan.facetFlags, &plan.surface) || ShapeOf(s, r) == modelShape)
                    continue;
                const bool turn = model.consistent && r.consistent && model.forwards != r.forwards;
                for (int id : model.facets) {
                    G3Facet* f = s->GetFacet(id);
                    std::vector<G3Vertex*> corners;
                    std::vector<int> flags;
                    G3ContourWalker w(f);
                    while (w.Next()) {
                        corners.push_back(w.GetEntry());
                        flags.push_back(static_cast<int>(w.GetEdge()->GetFlags()));
                    }
                    if (turn) {
                        // Corner k runs to corner k + 1 along edge k; turned,
                        // the edge from corner k + 1 back to k keeps its flags.
                        std::reverse(corners.begin(), corners.end());
                        std::reverse(flags.begin(), flags.end());
                        std::rotate(flags.begin(), flags.begin() + 1, flags.end());
                    }
                    plan.corners.push_back(std::move(corners));
                    plan.flags.push_back(std::move(flags));
                }
                for (int id : r.facets)
                    plan.old.push_back(s->GetFacet(id));
                plans.push_back(std::move(plan));
            }
        }
        i = j;
    }
    for (Plan& plan : plans) {
        for (G3Facet* f : plan.old)
            s->RemoveFacet(f);
        for (std::size_t k = 0; k < plan.corners.size(); ++k) {
            G3Facet* f = s->AddFacet(static_cast<int>(plan.corners[k].size()), plan.corners[k].data(),
                                     plan.flags[k].data(), nullptr, nullptr);
            if (!f)
                continue;
            f->SetFlags(plan.facetFlags);
            f->SetSurface(plan.surface);
        }
    }
    return static_cast<int>(plans.size());
}
