// Facets without area: corners on one line count as trivial wherever the
// line lies, keep a plane that projection can use, and leave the mesh with
// the clean-up passes.

#include "common/builders.h"
#include "mesh/mesh_check.h"

#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using testmesh::P3;
using testmesh::SoupFacet;

// The twelve triangles of the cube [x0, x0 + 1]^3, each with corners of its
// own, as a file reader leaves a soup.
void CubeSoup(G3Surface& s, double x0)
{
    static const int quad[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                   {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    auto corner = [x0](int k) {
        const int bits[8] = {0, 1, 3, 2, 4, 5, 7, 6};
        const int b = bits[k];
        return P3{x0 + (b & 1), x0 + ((b >> 1) & 1), x0 + ((b >> 2) & 1)};
    };
    for (const auto& q : quad) {
        SoupFacet(s, {corner(q[0]), corner(q[1]), corner(q[2])});
        SoupFacet(s, {corner(q[0]), corner(q[2]), corner(q[3])});
    }
}

} // namespace

TEST(TrivialFacets, CollinearCornersAreTrivialOnEveryLine)
{
    // The same sliver on a line through the origin and on lines away from it;
    // a collinear quad that runs back along itself too.
    const std::vector<std::vector<P3>> slivers = {
        {{0, 10, 10}, {0, 10, 5}, {0, 10, 8.75}},
        {{0, 0, 10}, {0, 0, 5}, {0, 0, 8.75}},
        {{3, -7, 1}, {5, -4, 2}, {9, 2, 4}},
        {{1e4, 2e4, 5}, {1e4 + 2, 2e4 + 1, 5}, {1e4 + 1, 2e4 + 0.5, 5}, {1e4 + 4, 2e4 + 2, 5}},
    };
    for (const auto& pts : slivers) {
        G3Surface s;
        G3Facet* f = SoupFacet(s, pts);
        ASSERT_NE(f, nullptr);
        // The fallback plane (a plane through the line, where the line does
        // not pass through the origin) still serves projection.
        if (pts[0][0] != 0 || pts[0][1] != 0) {
            EXPECT_FALSE(f->IsPlaneZero());
        }
        int i = -1, j = -1;
        f->GetMaxCoo(&i, &j);
        EXPECT_TRUE(i >= 0 && i < 3 && j >= 0 && j < 3 && i != j);
        EXPECT_TRUE(f->IsTrivial()) << pts[0][0] << " " << pts[0][1];

        SoupFacet(s, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
        EXPECT_TRUE(s.RemoveTrivialFacets());
        EXPECT_EQ(s.GetFacetCount(), 1);
        EXPECT_EQ(s.GetVertexCount(), 3);
        EXPECT_EQ("", MeshCheck(&s));
    }

    // Area, however small or self-cancelling, is not trivial: a thin
    // triangle, a corner bent by far less than the point tolerance, a bow tie.
    G3Surface keep;
    SoupFacet(keep, {{0, 10, 10}, {0, 10, 5}, {0, 10 + 1e-9, 8.75}});
    SoupFacet(keep, {{5, 5, 5}, {6, 5, 5}, {7, 5 + 1e-5, 5}, {8, 5, 5}, {5, 6, 5}});
    SoupFacet(keep, {{0, 0, 1}, {1, 1, 1}, {1, 0, 1}, {0, 1, 1}});
    for (int k = 0; k < keep.GetFacetCount(); ++k)
        EXPECT_FALSE(keep.GetFacet(k)->IsTrivial()) << k;
    EXPECT_FALSE(keep.RemoveTrivialFacets());
    EXPECT_EQ(keep.GetFacetCount(), 3);
}

TEST(TrivialFacets, ClosedSoupWithASliverOnAnEdgeRepairsClosed)
{
    // A cube soup away from the origin plus a zero-area triangle whose
    // corners lie on one cube edge (its middle corner splits that edge):
    // once the sliver goes, the split edge is shared by two faces again.
    for (double x0 : {0.0, 3.0}) {
        G3Surface s;
        CubeSoup(s, x0);
        SoupFacet(s, {{x0 + 1, x0 + 1, x0}, {x0 + 1, x0 + 1, x0 + 1}, {x0 + 1, x0 + 1, x0 + 0.5}});
        s.RemoveEqualsVertexAndDivideEdges();
        EXPECT_EQ("", MeshCheck(&s));
        s.FormPlaneEquation();
        EXPECT_TRUE(s.RemoveTrivialFacets()) << x0;
        EXPECT_EQ("", MeshCheck(&s));
        s.RemoveNonManifoldEdges();
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ(s.GetFacetCount(), 12);
        EXPECT_TRUE(s.GetClosed()) << x0;
    }
}
