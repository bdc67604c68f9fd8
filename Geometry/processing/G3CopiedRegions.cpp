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

int Find(std::vector<int>& parent, int x)
{
    while (parent[static_cast<std::size_t>(x)] != x) {
        parent[static_cast<std::size_t>(x)] = parent[static_cast<std::size_t>(parent[static_cast<std::size_t>(x)])];
        x = parent[static_cast<std::size_t>(x)];
    }
    return x;
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
    // Sides per vertex pair, over every edge joining it.
    struct PairSide {
        int a, b, edge, side;
    };
    std::vector<PairSide> sides;
    for (int k = 0; k < s->GetEdgeCount(); ++k) {
        G3Edge* e = s->GetEdge(k);
        if (!e->GetVertex1() || !e->GetVertex2())
            continue;
        const auto p = PairOf(static_cast<int>(e->GetVertex1()->GetId()), static_cast<int>(e->GetVertex2()->GetId()));
        for (int side = 1; side <= 2; ++side)
            if (side == 1 ? e->GetFacet1() : e->GetFacet2())
                sides.push_back({p.first, p.second, k, side});
    }
    std::sort(sides.begin(), sides.end(), [](const PairSide& x, const PairSide& y) {
        return x.a != y.a ? x.a < y.a : x.b != y.b ? x.b < y.b : x.edge != y.edge ? x.edge < y.edge : x.side < y.side;
    });
    // Join the two facets of every pair that carries exactly their sides
    // (on one edge, or on two before the stitching), in one plane.
    std::vector<int> parent(static_cast<std::size_t>(facetCount));
    std::iota(parent.begin(), parent.end(), 0);
    bool joined = false;
    for (std::size_t i = 0; i < sides.size();) {
        std::size_t j = i;
        while (j < sides.size() && sides[j].a == sides[i].a && sides[j].b == sides[i].b)
            ++j;
        if (j - i == 2) {
            auto facetOf = [&](const PairSide& p) {
                G3Edge* e = s->GetEdge(p.edge);
                return p.side == 1 ? e->GetFacet1() : e->GetFacet2();
            };
            // The vertex at which a facet enters the pair.
            auto entryOf = [&](const PairSide& p) {
                G3Edge* e = s->GetEdge(p.edge);
                return facetOf(p)->GetMoveDirection(e) ? e->GetVertex1() : e->GetVertex2();
            };
            G3Facet* f = facetOf(sides[i]);
            G3Facet* g = facetOf(sides[i + 1]);
            // Facets facing alike that run the pair opposite ways (or facing
            // apart and running it alike) lie on its two sides; the others
            // fold over one another there and cover no outline's inside.
            const bool sameWay = entryOf(sides[i]) == entryOf(sides[i + 1]);
            if (f != g && InOnePlane(f, g, s->GetVertex(sides[i].a)->GetXYZ()) && sameWay == FacingApart(f, g)) {
                const int x = Find(parent, static_cast<int>(f->GetId()));
                const int y = Find(parent, static_cast<int>(g->GetId()));
                if (x != y) {
                    parent[static_cast<std::size_t>(std::max(x, y))] = std::min(x, y);
                    joined = true;
                }
            }
        }
        i = j;
    }
    if (!joined)
        return 0;
    // Each facet's pairs folded into one word (XOR of a hash per pair): over
    // a region the inner pairs come twice and cancel, leaving its outline's
    // word. Only regions whose word another region or a single facet shares
    // can run round one outline, and only those are traced.
    std::vector<std::uint64_t> word(static_cast<std::size_t>(facetCount), 0);
    std::vector<int> ids;
    for (int k = 0; k < facetCount; ++k) {
        if (!CornersOf(s->GetFacet(k), &ids))
            continue;
        for (std::size_t c = 0; c < ids.size(); ++c)
            word[static_cast<std::size_t>(k)] ^= PairWord(ids[c], ids[(c + 1) % ids.size()]);
    }
    // Members of each root, ascending, as runs of one array.
    std::vector<int> first(static_cast<std::size_t>(facetCount) + 1, 0);
    for (int k = 0; k < facetCount; ++k)
        ++first[static_cast<std::size_t>(Find(parent, k)) + 1];
    for (int k = 0; k < facetCount; ++k)
        first[static_cast<std::size_t>(k) + 1] += first[static_cast<std::size_t>(k)];
    std::vector<int> member(static_cast<std::size_t>(facetCount));
    {
        std::vector<int> fill(first.begin(), first.end() - 1);
        for (int k = 0; k < facetCount; ++k)
            member[static_cast<std::size_t>(fill[static_cast<std::size_t>(Find(parent, k))]++)] = k;
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
    std::vector<Candidate> candidates;
    for (int k = 0; k < facetCount; ++k) {
        const int from = first[static_cast<std::size_t>(k)], to = first[static_cast<std::size_t>(k) + 1];
        if (from == to)
            continue;
        std::uint64_t w = 0;
        for (int m = from; m < to; ++m)
            w ^= word[static_cast<std::size_t>(member[static_cast<std::size_t>(m)])];
        candidates.push_back({w, k, to - from > 1});
    }
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
