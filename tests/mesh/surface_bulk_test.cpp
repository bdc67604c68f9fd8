// AddFacetsByIds against its definition, AddFacet by ids called facet after
// facet, on random soups (fixed seeds): few vertices, so that facets share
// vertices and edges, carry pairs of three and more facets, repeat earlier
// facets either way round, repeat a vertex at a distance (two edges of one
// facet on a pair) and span no plane; now and then a facet AddFacet
// refuses, or edges already there, which the per-facet loop builds. The two
// surfaces must match entity for entity, rings and chains in order.

#include "mesh_check.h"

#include "common/piece_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace {

TEST(SurfaceBulk, MatchesFacetByFacetOnRandomSoups)
{
    for (std::uint32_t seed = 1; seed <= 300; ++seed) {
        std::mt19937 g(seed);
        const int nV = 4 + static_cast<int>(g() % 12);
        std::vector<std::vector<std::uint32_t>> facets;
        const int nF = 1 + static_cast<int>(g() % 40);
        while (static_cast<int>(facets.size()) < nF) {
            if (!facets.empty() && g() % 5 == 0) {
                // An earlier facet again, maybe the other way round.
                facets.push_back(facets[g() % facets.size()]);
                if (g() % 2)
                    std::reverse(facets.back().begin(), facets.back().end());
                continue;
            }
            std::vector<std::uint32_t> c(3 + (g() % 4 == 0 ? g() % 3 : 0));
            for (std::uint32_t& v : c)
                v = g() % static_cast<std::uint32_t>(nV);
            // A third vertex and no corner repeating the one before it.
            bool whole = std::count(c.begin(), c.end(), c[0]) + std::count(c.begin(), c.end(), c[1]) <
                         static_cast<long>(c.size());
            for (std::size_t k = 0; k < c.size(); ++k)
                whole = whole && c[k] != c[(k + 1) % c.size()];
            if (whole)
                facets.push_back(c);
        }
        // Every seventh soup holds one facet AddFacet refuses or takes
        // only in part: a corner repeated next to itself, at the wrap, two
        // vertices alternating, a vertex that is not there.
        const std::vector<std::vector<std::uint32_t>> odd{{0, 0, 1, 2}, {0, 1, 2, 0}, {0, 1, 0, 1}, {0, 1, 99}};
        if (seed % 7 == 0)
            facets.insert(facets.begin() + g() % facets.size(), odd[seed / 7 % 4]);
        std::vector<std::uint32_t> starts{0}, ids;
        for (const std::vector<std::uint32_t>& c : facets) {
            ids.insert(ids.end(), c.begin(), c.end());
            starts.push_back(static_cast<std::uint32_t>(ids.size()));
        }
        const int count = static_cast<int>(starts.size()) - 1;
        std::vector<double> x(static_cast<std::size_t>(nV));
        for (double& c : x)
            c = static_cast<double>(g() % 3);
        G3Surface one, bulk;
        for (G3Surface* s : {&one, &bulk}) {
            s->SetEdgeFlags(1 + static_cast<int>(seed % 3));
            for (int v = 0; v < nV; ++v)
                s->AddVertex(x[static_cast<std::size_t>(v)], static_cast<double>(v % 2), static_cast<double>(v % 4), 0);
            if (seed % 11 == 0)
                s->AddEdge(s->GetVertex(0), s->GetVertex(1), nullptr);
        }
        std::vector<long> oneMade;
        for (int f = 0; f < count; ++f) {
            std::vector<int> corners(ids.begin() + starts[f], ids.begin() + starts[f + 1]);
            G3Facet* m = one.AddFacet(static_cast<int>(corners.size()), corners.data(), one.GetEdgeFlags(), nullptr,
                                      nullptr);
            oneMade.push_back(m ? m->GetId() : -1);
        }
        std::vector<G3Facet*> made(static_cast<std::size_t>(count));
        const int added = bulk.AddFacetsByIds(count, starts.data(), ids.data(), made.data());
        std::vector<long> bulkMade;
        for (G3Facet* m : made)
            bulkMade.push_back(m ? m->GetId() : -1);
        ASSERT_EQ(oneMade, bulkMade) << "seed " << seed;
        ASSERT_EQ(one.GetFacetCount(), added) << "seed " << seed;
        ASSERT_EQ(testmesh::FullText(&one), testmesh::FullText(&bulk)) << "seed " << seed;
        ASSERT_EQ("", MeshCheck(&bulk)) << "seed " << seed;
    }
}

} // namespace
