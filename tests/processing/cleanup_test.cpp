#include "common/builders.h"
#include "mesh/mesh_check.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using namespace testmesh;

TEST(RemoveEqualsFacets, DuplicatesReversedCopiesAndSides)
{
    G3Surface s;
    AddBoxCorners(s, {0, 0, 0}, {1, 1, 1});
    // Two single-sided copies (one rotated) become one double-sided facet.
    G3Facet* a = FacetByIds(s, {0, 1, 3});
    FacetByIds(s, {1, 3, 0});
    // A double-sided copy over a single-sided one leaves it single-sided;
    // the copy runs the other way round.
    G3Facet* b = FacetByIds(s, {4, 5, 7, 6});
    G3Facet* bReversed = FacetByIds(s, {5, 4, 6, 7});
    bReversed->SetDoubleSided();
    // Two double-sided copies stay double-sided.
    G3Facet* c = FacetByIds(s, {0, 2, 6});
    c->SetDoubleSided();
    FacetByIds(s, {0, 2, 6})->SetDoubleSided();
    ASSERT_EQ(6, s.GetFacetCount());

    s.RemoveEqualsFacets();
    EXPECT_EQ("", MeshCheck(&s));
    ASSERT_EQ(3, s.GetFacetCount());
    EXPECT_TRUE(a->GetDoubleSided());
    EXPECT_FALSE(b->GetDoubleSided());
    EXPECT_TRUE(c->GetDoubleSided());
    EXPECT_EQ(4, b->GetEdgeCount());
}

TEST(RemoveEqualsFacets, SharedRunOfThreeVerticesIsNotEnough)
{
    // K, A, B, C and K, A, B, D agree on three consecutive vertices from the
    // key but are different quads; so are a quad and its copy with two
    // vertices exchanged.
    G3Surface s;
    AddBoxCorners(s, {0, 0, 0}, {1, 1, 1});
    FacetByIds(s, {0, 1, 3, 2});
    FacetByIds(s, {0, 1, 3, 7});
    FacetByIds(s, {4, 5, 6, 7});
    FacetByIds(s, {4, 6, 5, 7});
    s.RemoveEqualsFacets();
    EXPECT_EQ(4, s.GetFacetCount());
    EXPECT_EQ("", MeshCheck(&s));
}

TEST(RemoveTrivialFacets, ZeroPlaneRemovedOthersKept)
{
    G3Surface s;
    AddBoxCorners(s, {0, 0, 0}, {1, 1, 1});
    FacetByIds(s, {0, 1, 3});
    G3Facet* flat = FacetByIds(s, {4, 5, 7});
    EXPECT_FALSE(s.RemoveTrivialFacets());
    const double zero[4] = {0, 0, 0, 0};
    flat->SetPlane(zero);
    EXPECT_TRUE(s.RemoveTrivialFacets());
    EXPECT_EQ(1, s.GetFacetCount());
    EXPECT_EQ(3, s.GetVertexCount()); // RemoveUnused ran
    EXPECT_EQ("", MeshCheck(&s));
}

TEST(RemoveNonManifoldEdges, TwoBoundaryEdgesBecomeOneSharedEdge)
{
    // Two triangles over the pair (0, 3) through separate edges, as a
    // welded soup leaves them.
    G3Surface soup;
    for (const auto& p : {std::pair<int, int>{0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}})
        soup.AddVertex(p.first, p.second, 0, 0);
    G3Facet* f = FacetByIds(soup, {0, 1, 2});
    G3Facet* g = FacetByIds(soup, {3, 4, 5});
    soup.RemoveEqualsVertex();
    ASSERT_EQ(6, soup.GetEdgeCount());
    GArrayCollection pair;
    G3Vertex* v0 = soup.GetVertex(0);
    G3Vertex* v2 = soup.GetVertex(2);
    G3Surface::GetCountEdges(v0, v2, &pair);
    EXPECT_EQ(2, pair.size());

    soup.RemoveNonManifoldEdges();
    EXPECT_EQ("", MeshCheck(&soup));
    EXPECT_EQ(5, soup.GetEdgeCount());
    EXPECT_EQ(2, G3Surface::GetCountEdges(v0, v2, &pair));
    ASSERT_EQ(1, pair.size());
    EXPECT_TRUE(static_cast<const G3Edge*>(pair.get(0))->FacetEqu(f, g));
}

TEST(EncloseHoles, ClosesAOneTriangleGap)
{
    // A tetrahedron without its base.
    G3Surface s;
    for (int i = 0; i < 4; ++i)
        s.AddVertex(i == 1, i == 2, i == 3, 0);
    FacetByIds(s, {0, 1, 3});
    FacetByIds(s, {1, 2, 3});
    FacetByIds(s, {2, 0, 3});
    EXPECT_FALSE(s.GetClosed());

    EXPECT_TRUE(s.EncloseHoles());
    EXPECT_EQ("", MeshCheck(&s));
    EXPECT_EQ(6, s.GetEdgeCount());
    EXPECT_TRUE(s.GetClosed());
    ASSERT_EQ(4, s.GetFacetCount());
    G3Facet* base = s.GetFacet(3);
    EXPECT_TRUE(base->ContainsVertex(s.GetVertex(0)) && base->ContainsVertex(s.GetVertex(1)) &&
                base->ContainsVertex(s.GetVertex(2)));
    EXPECT_FALSE(s.EncloseHoles());
}

TEST(EncloseHoles, ClosesASquareGapWithTwoTriangles)
{
    // A cube without its top face: the first triangle leaves a diagonal
    // boundary edge that the second one closes.
    G3Surface s;
    AddBoxCorners(s, {0, 0, 0}, {1, 1, 1});
    FacetByIds(s, {0, 2, 3, 1});
    FacetByIds(s, {0, 1, 5, 4});
    FacetByIds(s, {1, 3, 7, 5});
    FacetByIds(s, {3, 2, 6, 7});
    FacetByIds(s, {2, 0, 4, 6});
    EXPECT_TRUE(s.EncloseHoles());
    EXPECT_EQ("", MeshCheck(&s));
    EXPECT_EQ(13, s.GetEdgeCount());
    EXPECT_TRUE(s.GetClosed());
    ASSERT_EQ(7, s.GetFacetCount());
    for (int i = 5; i < 7; ++i) {
        EXPECT_EQ(3, s.GetFacet(i)->GetEdgeCount());
        GArrayCollection vs;
        s.GetFacet(i)->GetVertices(&vs);
        for (int k = 0; k < vs.size(); ++k)
            EXPECT_EQ(1.0, static_cast<G3Vertex*>(vs.get(k))->GetZ());
    }
}
