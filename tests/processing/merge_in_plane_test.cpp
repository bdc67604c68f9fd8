// UnionInPlaneFacets on solids whose faces become facets with holes
// (subdivided boxes, frames, plates with pockets, near the origin and at
// site coordinates), on nearly coplanar roofs,
// and on sheets of several materials: holes stay contours of their own, no
// merge moves the surface, and facets of different materials stay apart.

#include "boolean/solid_fixtures.h"
#include "common/merge_solids.h"
#include "mesh/mesh_check.h"

#include "Geometry/math/GTolerance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace testmesh;

// Whether the facets' data could be one facet's: the same map or one
// without any.
bool SameMaterial(G3Facet* f, G3Facet* g)
{
    return !Material(f) || !Material(g) || Material(f) == Material(g);
}

// "" or the first fault of a surface merged in planes: an edge whose
// vertex pair does not carry exactly two facet sides, or between coplanar
// facets of one material; a facet that is not flat, a contour passing a
// vertex twice, an outer contour not along the facet's normal or a hole
// not against it.
std::string MergedFaults(G3Surface& s)
{
    for (int k = 0; k < s.GetEdgeCount(); ++k) {
        G3Edge* e = s.GetEdge(k);
        G3Facet* f = e->GetFacet1();
        G3Facet* g = e->GetFacet2();
        if (!f || !g || e->GetVertex1()->GetEdgeCount2(e->GetVertex2()) != 2 ||
            (f->PlaneEqualsNear(g->GetPlane(), e->GetVertex1()->GetXYZ()) && SameMaterial(f, g)))
            return "edge " + std::to_string(k);
    }
    for (int k = 0; k < s.GetFacetCount(); ++k) {
        G3Facet* f = s.GetFacet(k);
        std::vector<std::vector<G3Vertex*>> contours;
        for (G3ContourWalker w(f); w.Next();) {
            if (w.Opens())
                contours.emplace_back();
            contours.back().push_back(w.GetEntry());
        }
        for (std::size_t c = 0; c < contours.size(); ++c) {
            const std::vector<G3Vertex*>& p = contours[c];
            double along = 0.0;
            for (std::size_t i = 0; i < p.size(); ++i) {
                const double* a = p[i]->GetXYZ();
                const double* b = p[(i + 1) % p.size()]->GetXYZ();
                for (int d = 0; d < 3; ++d)
                    along += f->GetPlane()[d] * (a[(d + 1) % 3] * b[(d + 2) % 3] - a[(d + 2) % 3] * b[(d + 1) % 3]);
            }
            if (!f->IsFlat() || std::set<G3Vertex*>(p.begin(), p.end()).size() != p.size() || (c == 0) != (along > 0.0))
                return "facet " + std::to_string(k) + " contour " + std::to_string(c);
        }
    }
    return "";
}

// Turns and moves the slab by a motion of the seed's; every other one to
// site coordinates, where coplanar facets' planes differ in d by 1e-4.
void Turn(G3Surface& s, unsigned seed)
{
    const fixtures::P to =
        seed % 4 == 3 ? fixtures::P{512345.0 + seed, 345678.0, 11.0} : fixtures::P{7.0 * seed, -3.0, 11.0};
    const fixtures::Motion m = fixtures::Motion::Turn({0.48, 0.6, 0.64}, 0.3 * seed, to);
    for (int k = 0; k < s.GetVertexCount(); ++k) {
        double* x = s.GetVertex(k)->GetXYZ();
        const fixtures::P y = m.Apply({x[0], x[1], x[2]});
        std::copy(y.begin(), y.end(), x);
    }
}

TEST(UnionInPlaneFacets, SlabsFramesAndPlatesKeepTheirHolesAsContours)
{
    const std::vector<SlabLayout> fixed = {
        {"####", "####", "####"},                              // a subdivided box
        {"#####", "#.#.#", "#####", "#..##", "#####"},         // a frame with windows
        {".###", "#o##", "##o#", "#o.#", "####"},              // holes touching at vertices
    };
    for (unsigned seed = 0; seed < 40; ++seed) {
        SCOPED_TRACE(seed);
        GSRand(seed);
        const SlabLayout layout = seed < fixed.size() ? fixed[seed] : RandomSlabLayout(2 + GRand() % 6, 2 + GRand() % 6);
        G3Surface s;
        AddSlab(s, layout);
        if (seed % 2)
            Turn(s, seed);
        s.FormPlaneEquation();
        ASSERT_NEAR(SlabVolume(layout), fixtures::Volume(&s), 1e-9);
        const int before = s.GetFacetCount();
        // Edges hidden between coplanar facets and merged across alone
        // give what merging across every edge gives.
        std::unique_ptr<G3Surface> hidden(s.Duplicate());
        hidden->MarkInPlaneEdgesAsInvisible();
        hidden->UnionInPlaneFacets(0);
        EXPECT_LT(0, s.UnionInPlaneFacets(-1));
        EXPECT_EQ(s.GetFacetCount(), hidden->GetFacetCount());
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ("", MergedFaults(s));
        EXPECT_GT(before, s.GetFacetCount());
        EXPECT_NEAR(SlabVolume(layout), fixtures::Volume(&s), 1e-9);
    }
}

TEST(UnionInPlaneFacets, NearlyCoplanarRoofsMergeOnlyWithinTheFlatness)
{
    // Any plane leaves one of eave, ridge and eave at least h / 2 off it:
    // beyond the flatness the two roofs must stay two facets.
    for (double kink : {0.0, 1e-6, 3e-6, 1e-5, 1e-4, 1e-3, 1e-2})
        for (double w : {0.5, 20.0})
            for (const P3& at : {P3{0, 0, 0}, P3{1000, -300, 50}}) {
                SCOPED_TRACE(testing::Message() << kink << " " << w << " " << at[0]);
                const double h = w * std::tan(kink / 2);
                G3Surface s;
                AddRidgeBox(s, w, 1.0, h, at);
                const double volume = fixtures::Volume(&s);
                s.UnionInPlaneFacets(-1);
                EXPECT_EQ("", MeshCheck(&s));
                for (int k = 0; k < s.GetFacetCount(); ++k)
                    EXPECT_TRUE(s.GetFacet(k)->IsFlat()) << k;
                if (kink == 0.0) {
                    EXPECT_EQ(6, s.GetFacetCount());
                } else if (h / 2 > GTolerance::kFlatness) {
                    EXPECT_EQ(7, s.GetFacetCount());
                }
                EXPECT_NEAR(volume, fixtures::Volume(&s), 1e-12 * std::fabs(volume));
            }
}

TEST(UnionInPlaneFacets, FacetsOfDifferentMaterialsStayApart)
{
    // Sheets of n x n unit squares, each without material or with one of
    // two shared maps.
    for (unsigned seed = 1; seed <= 20; ++seed) {
        SCOPED_TRACE(seed);
        GSRand(seed);
        const int n = 2 + GRand() % 5;
        G3Surface s;
        for (int y = 0; y <= n; ++y)
            for (int x = 0; x <= n; ++x)
                s.AddVertex(x, y, 0, 0);
        CExData maps[3];
        for (std::intptr_t m = 1; m < 3; ++m)
            maps[m].Add(kMaterial, reinterpret_cast<void*>(m));
        std::vector<std::intptr_t> material;
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) {
                const int a = x + y * (n + 1);
                material.push_back(GRand() % 3);
                FacetByIds(s, {a, a + 1, a + n + 2, a + n + 1})->GetExtendedData() = maps[material.back()];
            }
        s.UnionInPlaneFacets(-1);
        ASSERT_EQ("", MeshCheck(&s));
        for (int k = 0; k < s.GetEdgeCount(); ++k) {
            G3Facet* f = s.GetEdge(k)->GetFacet1();
            G3Facet* g = s.GetEdge(k)->GetFacet2();
            EXPECT_FALSE(f && g && SameMaterial(f, g)) << "edge " << k;
        }
        // Every square's centre lies in a facet of its material, or in any
        // facet when it had none.
        for (int c = 0; c < n * n; ++c) {
            const double centre[3] = {c % n + 0.5, c / n + 0.5, 0.0};
            int covering = 0;
            for (int k = 0; k < s.GetFacetCount(); ++k)
                if (s.GetFacet(k)->PointInFacetXY(centre, nullptr, nullptr)) {
                    ++covering;
                    EXPECT_TRUE(!material[c] || material[c] == Material(s.GetFacet(k))) << c;
                }
            EXPECT_EQ(1, covering) << c;
        }
    }
}

} // namespace
