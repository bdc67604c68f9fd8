// Merging coplanar facets remakes a short-cut group's facet in its first
// facet while nothing watches facets come and go, and makes a new facet
// once an object provider is registered. Both roads must leave the same
// surface, entity for entity. Registering a provider is process-wide and
// for good, hence an executable of its own: every in-place run comes
// first.

#include "../common/builders.h"
#include "../common/fingerprint.h"
#include "../mesh/mesh_check.h"

#include "Geometry/mesh/G3HitDataExDataProvider.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using namespace testmesh;

// A height field of n x n quads, each split along a random diagonal, over
// heights drawn from {0, 0, 0, 1, 2}: flat runs merge into large groups
// (the edge-list road), single planar quads into pairs (the short cut),
// and bent quads stay apart. Some quads are left out, for boundaries.
SurfacePtr HeightField(unsigned seed, int n)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> height(0, 4);
    std::uniform_int_distribution<int> coin(0, 1);
    std::uniform_int_distribution<int> hole(0, 15);
    SurfacePtr s(new G3Surface());
    for (int i = 0; i <= n; ++i)
        for (int j = 0; j <= n; ++j) {
            const int h = height(rng);
            s->AddVertex(i, j, h < 3 ? 0 : h - 2, 0);
        }
    auto at = [n](int i, int j) { return i * (n + 1) + j; };
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            if (hole(rng) == 0)
                continue;
            const int a = at(i, j), b = at(i + 1, j), c = at(i + 1, j + 1), d = at(i, j + 1);
            if (coin(rng)) {
                FacetByIds(*s, {a, b, c});
                FacetByIds(*s, {a, c, d});
            } else {
                FacetByIds(*s, {b, c, d});
                FacetByIds(*s, {b, d, a});
            }
        }
    s->FormPlaneEquation();
    return s;
}

TEST(MergeInPlace, RemakingInPlaceLeavesWhatANewFacetLeaves)
{
    constexpr int kSeeds = 40;
    const int masks[2] = {-1, 0};
    std::vector<std::string> inPlace;
    for (unsigned seed = 1; seed <= kSeeds; ++seed)
        for (int mask : masks) {
            SurfacePtr s = HeightField(seed, 4 + static_cast<int>(seed % 9));
            if (mask == 0)
                s->ChangeEdgeFlags(1, false); // invisible edges only
            const int merged = s->UnionInPlaneFacets(mask);
            EXPECT_EQ("", MeshCheck(s.get()));
            inPlace.push_back(std::to_string(merged) + "\n" + Fingerprint(s.get()));
        }
    ASSERT_NE(nullptr, G3HitDataExDataProvider::Get());
    std::size_t k = 0;
    int groups = 0;
    for (unsigned seed = 1; seed <= kSeeds; ++seed)
        for (int mask : masks) {
            SCOPED_TRACE(seed);
            SurfacePtr s = HeightField(seed, 4 + static_cast<int>(seed % 9));
            if (mask == 0)
                s->ChangeEdgeFlags(1, false);
            const int merged = s->UnionInPlaneFacets(mask);
            groups += merged;
            EXPECT_EQ(inPlace[k++], std::to_string(merged) + "\n" + Fingerprint(s.get()));
        }
    EXPECT_GT(groups, 10 * kSeeds);
}

} // namespace
