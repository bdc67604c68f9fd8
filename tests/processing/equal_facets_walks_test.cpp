// RemoveEqualsFacets walks every facet once and searches copies among the
// stored walks; it must remove, keep and flag exactly what the search
// through G3EqualFacetFinder (a fresh walk of each candidate) did. Random
// facets over a few vertices, with copies turned, rotated and flipped,
// pinched walks (a vertex twice) and facets sharing a run of vertices with
// another: the same pass written with the finder is the oracle.

#include "common/builders.h"
#include "mesh/mesh_check.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3CopiesParity.h"
#include "Geometry/processing/G3EqualFacetFinder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace testmesh;

namespace {

// A surface whose stitching step the oracle may call.
struct StitchableSurface : G3Surface {
    using G3Surface::JoinNonManifoldEdges;
};

// The pass written with the finder walking each candidate afresh: copies
// are grouped (the earliest facet of a group kept), every group is judged on
// the whole surface before any copy goes (another group's copies counted
// once per direction), the roles are settled over the facet sides they
// leave (G3SettleKeptCopies, the step the pass shares), then the later
// copies go in order.
void RemoveEqualsFacetsWithFinder(StitchableSurface& s)
{
    G3EqualFacetFinder finder(&s);
    GArrayCollection snapshot(*s.GetFacetList());
    const int count = snapshot.size();
    auto index = [&](G3Facet* f) {
        for (int i = 0; i < count; ++i)
            if (snapshot.get(i) == f)
                return i;
        return -1;
    };
    std::vector<int> rep(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        rep[static_cast<std::size_t>(i)] = i;
    std::function<int(int)> root = [&](int i) { return rep[static_cast<std::size_t>(i)] == i ? i : root(rep[static_cast<std::size_t>(i)]); };
    for (int i = 0; i < count; ++i)
        if (G3Facet* g = finder.Find(static_cast<G3Facet*>(snapshot.get(i)))) {
            const int a = root(i), b = root(index(g));
            rep[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
        }
    std::vector<std::vector<G3Facet*>> group(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        group[static_cast<std::size_t>(root(i))].push_back(static_cast<G3Facet*>(snapshot.get(i)));
    std::vector<int> role(static_cast<std::size_t>(count), 0);
    for (int r = 0; r < count; ++r) {
        const std::vector<G3Facet*>& same = group[static_cast<std::size_t>(r)];
        if (same.size() < 2)
            continue;
        // The other facets along each edge, copies of one facet counted
        // once for each way they walk the edge.
        bool nothing = true, even = true;
        for (G3Edge* e = same[0]->GetFirstEdge(); e; e = e->GetFacetEdge(same[0])) {
            G3Vertex* a = e->GetVertex1();
            G3Vertex* b = e->GetVertex2();
            if (!a || !b)
                continue;
            std::vector<std::pair<int, bool>> sides;
            GArrayCollection along, walk;
            a->GetEdges(b, &along);
            for (int k = 0; k < along.size(); ++k) {
                const G3Edge* x = static_cast<const G3Edge*>(along.get(k));
                for (G3Facet* h : {x->GetFacet1(), x->GetFacet2()}) {
                    if (!h || std::find(same.begin(), same.end(), h) != same.end())
                        continue;
                    h->GetVertices(&walk);
                    bool forwards = false;
                    for (int c = 0; c < walk.size(); ++c)
                        forwards = forwards || (walk.get(c) == a && walk.get((c + 1) % walk.size()) == b);
                    const std::pair<int, bool> side = {root(index(h)), forwards};
                    if (std::find(sides.begin(), sides.end(), side) == sides.end())
                        sides.push_back(side);
                }
            }
            const int others = static_cast<int>(sides.size());
            nothing = nothing && others == 0;
            even = even && others > 0 && others % 2 == 0;
        }
        role[static_cast<std::size_t>(r)] = nothing ? 0 : (even ? 1 : 2);
    }
    // The roles settled over the facet sides they leave, as the pass does.
    std::vector<std::vector<G3Facet*>> copies(static_cast<std::size_t>(count));
    std::vector<char> keep(static_cast<std::size_t>(count), 1);
    for (int r = 0; r < count; ++r)
        if (group[static_cast<std::size_t>(r)].size() >= 2) {
            copies[static_cast<std::size_t>(r)] = group[static_cast<std::size_t>(r)];
            keep[static_cast<std::size_t>(r)] = role[static_cast<std::size_t>(r)] != 1;
        }
    auto groupOf = [&](const G3Facet* h) {
        const int r = root(index(const_cast<G3Facet*>(h)));
        return copies[static_cast<std::size_t>(r)].empty() ? -1 : r;
    };
    G3SettleKeptCopies(copies, groupOf, keep);
    for (int r = 0; r < count; ++r)
        if (!copies[static_cast<std::size_t>(r)].empty() && keep[static_cast<std::size_t>(r)] != (role[static_cast<std::size_t>(r)] != 1))
            role[static_cast<std::size_t>(r)] = keep[static_cast<std::size_t>(r)] ? 2 : 1;
    std::vector<G3Facet*> walls;
    bool removed = false, stitch = false;
    for (int i = 0; i < count; ++i) {
        const int r = root(i);
        if (r == i)
            continue;
        G3Facet* f = static_cast<G3Facet*>(snapshot.get(i));
        G3Facet* g = static_cast<G3Facet*>(snapshot.get(r));
        switch (role[static_cast<std::size_t>(r)]) {
        case 0:
            if (f->GetDoubleSided() == g->GetDoubleSided())
                g->SetDoubleSided();
            else
                g->ClearDoubleSided();
            break;
        case 1:
            if (std::find(walls.begin(), walls.end(), g) == walls.end())
                walls.push_back(g);
            stitch = true;
            break;
        default:
            if (!f->GetDoubleSided())
                g->ClearDoubleSided();
            stitch = true;
            break;
        }
        s.RemoveFacet(f);
        removed = true;
    }
    for (G3Facet* g : walls)
        s.RemoveFacet(g);
    if (stitch)
        s.JoinNonManifoldEdges();
    if (removed)
        s.RemoveUnused();
}

// The facets as vertex ids along their walks, with their sides, and the
// counts: what the two passes must agree on.
std::string Describe(G3Surface& s)
{
    std::string out = std::to_string(s.GetVertexCount()) + "v " + std::to_string(s.GetEdgeCount()) + "e\n";
    GArrayCollection walk;
    for (int i = 0; i < s.GetFacetCount(); ++i) {
        G3Facet* f = s.GetFacet(i);
        f->GetVertices(&walk);
        for (int k = 0; k < walk.size(); ++k)
            out += std::to_string(static_cast<G3Vertex*>(walk.get(k))->GetId()) + ' ';
        out += f->GetDoubleSided() ? "D\n" : "S\n";
    }
    return out;
}

// The same random facets, built into `s`: walks over 6 to 10 vertices of
// a grid, each drawn afresh or a copy of an earlier one (rotated, turned
// round, or both), some pinched, some double-sided.
void RandomFacets(unsigned seed, G3Surface& s)
{
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const int nv = 6 + pick(5);
    for (int i = 0; i < nv; ++i)
        s.AddVertex(static_cast<double>(i % 3), static_cast<double>(i / 3), 0.1 * pick(4), 0);
    std::vector<std::vector<int>> drawn;
    const int facets = 8 + pick(20);
    for (int f = 0; f < facets; ++f) {
        std::vector<int> ids;
        if (!drawn.empty() && pick(2)) {
            ids = drawn[static_cast<std::size_t>(pick(static_cast<int>(drawn.size())))];
            std::rotate(ids.begin(), ids.begin() + pick(static_cast<int>(ids.size())), ids.end());
            if (pick(2))
                std::reverse(ids.begin(), ids.end());
            if (pick(4) == 0) // a run shared, the rest not
                ids.back() = pick(nv);
        } else {
            const int n = 3 + pick(3);
            for (int k = 0; k < n; ++k)
                ids.push_back(pick(nv));
            if (pick(5) == 0 && n >= 4) // pinched: a vertex twice, not in a row
                ids[2] = ids[0];
        }
        G3Facet* made = FacetByIds(s, ids);
        if (!made)
            continue;
        drawn.push_back(ids);
        if (pick(3) == 0)
            made->SetDoubleSided();
    }
}

} // namespace

TEST(RemoveEqualsFacets, StoredWalksFindWhatTheFinderFound)
{
    int removedSome = 0;
    for (unsigned seed = 1; seed <= 300; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        G3Surface walks;
        StitchableSurface finder;
        RandomFacets(seed, walks);
        RandomFacets(seed, finder);
        const int before = walks.GetFacetCount();
        ASSERT_EQ(Describe(finder), Describe(walks));
        walks.RemoveEqualsFacets();
        RemoveEqualsFacetsWithFinder(finder);
        EXPECT_EQ(Describe(finder), Describe(walks));
        EXPECT_EQ("", MeshCheck(&walks));
        removedSome += walks.GetFacetCount() < before;
    }
    EXPECT_GE(removedSome, 150);
}
