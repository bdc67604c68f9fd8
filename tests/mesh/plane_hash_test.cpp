// The facet plane hash groups planes as the plane comparison does, also
// when equal planes hash to different cells: checked against grouping by
// comparing every facet with every group.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetPlaneHash.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

void SetPlane(G3Facet& f, double a, double b, double c, double d)
{
    const double len = std::sqrt(a * a + b * b + c * c);
    const double p[4] = {a / len, b / len, c / len, d};
    f.SetPlane(p);
}

// The group a facet joined: the first facet of the item's list.
const GObj* GroupOf(const G3FacetPlaneHashItem* item)
{
    return item && item->GetFacets() && item->GetFacets()->size() > 0 ? item->GetFacets()->get(0) : nullptr;
}

} // namespace

TEST(FacetPlaneHashGroups, EqualPlanesInNeighbouringCellsShareAGroup)
{
    // Normals about 1e-3 apart are equal planes; with 10 divisions their x
    // components fall on either side of the border at 0.1.
    G3FacetPlaneHash h(10);
    G3Facet f, g, far;
    SetPlane(f, 0.0999, 0, std::sqrt(1 - 0.0999 * 0.0999), 0);
    SetPlane(g, 0.1009, 0, std::sqrt(1 - 0.1009 * 0.1009), 0);
    SetPlane(far, 0.1029, 0, std::sqrt(1 - 0.1029 * 0.1029), 0);
    ASSERT_TRUE(f.PlaneEquals(g.GetPlane()));
    ASSERT_FALSE(f.PlaneEquals(far.GetPlane()));
    ASSERT_NE(h.GetHashCode(&f), h.GetHashCode(&g));

    const G3FacetPlaneHashItem* first = h.Add(&f);
    EXPECT_EQ(GroupOf(h.Add(&g)), &f);
    EXPECT_EQ(first->GetFacets()->size(), 2);
    // Not equal to the group's first plane: a group of its own.
    EXPECT_EQ(GroupOf(h.Add(&far)), &far);
}

TEST(FacetPlaneHashGroups, RandomNearTolerancePlanesGroupLikeTheComparison)
{
    // Facets join the newest group whose first plane equals theirs (the
    // order in which a cell lists its groups); the brute force does the same
    // over all groups.
    for (int divisions : {1, 7, 10, 23, 100}) {
        for (unsigned seed = 1; seed <= 60; ++seed) {
            std::mt19937 rng(seed * 131 + divisions);
            std::uniform_real_distribution<double> unit(-1, 1), angle(0, 2.5e-3), offset(-1.5e-6, 1.5e-6);
            std::uniform_int_distribution<int> coin(0, 3);
            G3FacetPlaneHash h(divisions);
            const int count = 40;
            std::vector<std::unique_ptr<G3Facet>> facets;
            std::vector<const G3Facet*> groups; // first facet of each group, oldest first
            int clusters = 0;
            double base[3] = {0, 0, 1}, d0 = 0;
            for (int k = 0; k < count; ++k) {
                if (k == 0 || coin(rng) == 0) {
                    // A new cluster, often with a component on a cell border.
                    ++clusters;
                    for (double& c : base)
                        c = unit(rng);
                    if (coin(rng) != 0)
                        base[coin(rng) % 3] = (std::floor(std::fabs(unit(rng)) * divisions) / divisions) *
                                              (coin(rng) < 2 ? 1 : -1);
                    d0 = unit(rng) * 10;
                }
                // A member tilted by about the comparison's tolerance.
                double n[3] = {base[0], base[1], base[2]};
                const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
                double t[3] = {unit(rng), unit(rng), unit(rng)};
                const double tl = std::sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
                const double tilt = angle(rng);
                for (int c = 0; c < 3; ++c)
                    n[c] = n[c] / len + tilt * t[c] / tl;
                const double sign = coin(rng) == 0 ? -1 : 1;
                facets.push_back(std::make_unique<G3Facet>());
                G3Facet* f = facets.back().get();
                SetPlane(*f, sign * n[0], sign * n[1], sign * n[2], sign * (d0 + offset(rng)));

                const G3Facet* want = nullptr;
                for (auto it = groups.rbegin(); it != groups.rend() && !want; ++it)
                    if ((*it)->PlaneEquals(f->GetPlane()))
                        want = *it;
                if (!want) {
                    groups.push_back(f);
                    want = f;
                }
                const G3FacetPlaneHashItem* item = h.Add(f);
                ASSERT_EQ(GroupOf(item), want) << "divisions " << divisions << ", seed " << seed << ", facet " << k;
                ASSERT_EQ(item->GetFacets()->get(item->GetFacets()->size() - 1), f);
            }
            ASSERT_GT(clusters, 1);
        }
    }
}
