// Edges: flags, corner geometry, reversal, copies, mesh status, merge test.

#include "mesh_builder.h"


#include <gtest/gtest.h>


TEST(G3EdgeTest, NewEdgeIsVisibleWithoutGeometry)
{
    MeshBuilder b;
    G3Edge* e = b.E(b.V(0, 0), b.V(3, 4, 12));
    EXPECT_EQ(e->GetFlags(), 1);
    // Setting null corners creates no geometry worth the name.
    e->SetFacet1V1(nullptr, nullptr);
    e->SetNormals(nullptr, e->GetVertex1(), nullptr, nullptr, e->GetVertex2(), nullptr, nullptr);
    EXPECT_FALSE(e->HasGeometry());
    G3TexCoo* t = b.T(0, 0);
    EXPECT_EQ(e->GetFacet1V2(&t), nullptr);
    EXPECT_EQ(t, nullptr);
}

TEST(G3EdgeTest, SwapVertexKeepsCornersWithTheirVertex)
{
    MeshBuilder b;
    G3Vertex *a = b.V(0, 0), *c = b.V(1, 0), *d = b.V(2, 0);
    G3Edge* e = b.E(a, c);
    G3Edge* next = b.E(c, d);
    G3Facet f, g;
    e->SetFacet1(&f);
    e->SetFacet2(&g);
    G3Normal *na = b.N(0, 0, 1), *nc = b.N(0, 1, 0);
    G3TexCoo *ta = b.T(0, 0), *tc = b.T(1, 0);
    e->SetNormals(&f, c, nc, tc, a, na, ta); // given from the vertex2 end
    e->SetFacet2V1(na, nullptr);
    ASSERT_TRUE(e->HasGeometry(&g));

    e->SwapVertex();
    EXPECT_TRUE(e->GetVertex1() == c && e->GetVertex2() == a);
    G3TexCoo* t = nullptr;
    EXPECT_EQ(e->GetCorner(&f, a, &t), na);
    EXPECT_EQ(t, ta);
    EXPECT_EQ(e->GetCorner(&f, c, &t), nc);
    EXPECT_EQ(t, tc);
    EXPECT_EQ(e->GetCorner(&g, a, &t), na);
    EXPECT_EQ(e->GetCorner(&g, c, &t), nullptr);
    EXPECT_FALSE(e->HasGeometry(&g)); // g's vertex1 corner is now at c, and empty
    // Rings stay walkable from both ends.
    EXPECT_EQ(MeshBuilder::Ring(c), (std::vector<G3Edge*>{e, next}));
    EXPECT_EQ(MeshBuilder::Ring(a), (std::vector<G3Edge*>{e}));
}

TEST(G3EdgeTest, CopiesOwnTheirGeometry)
{
    MeshBuilder b;
    G3Edge* e = b.E(b.V(0, 0), b.V(1, 0));
    G3Normal* n = b.N(0, 0, 1);
    e->SetFacet1V1(n, nullptr);
    e->SetMark();

    G3Edge copy(*e), assigned, bare;
    assigned = *e;
    for (G3Edge* x : {&copy, &assigned}) {
        ASSERT_NE(x->GetGeometry(), nullptr);
        EXPECT_NE(x->GetGeometry(), e->GetGeometry());
        EXPECT_EQ(x->GetFacet1V1(nullptr), n);
        EXPECT_EQ(x->GetVertex2(), e->GetVertex2());
    }
    assigned = bare; // drops the geometry it had
    EXPECT_FALSE(assigned.HasGeometry());

    G3Edge* dup = e->Duplicate();
    EXPECT_TRUE(dup->GetMark());
    dup->SetFacet1V1(nullptr, nullptr); // changing the copy leaves the source
    EXPECT_EQ(e->GetFacet1V1(nullptr), n);
    delete dup;

    G3EdgeGeometry g;
    g.SetFacet2V2(n, nullptr);
    e->SetGeometry(&g);
    EXPECT_TRUE(e->GetFacet2V2(nullptr) == n && e->GetFacet1V1(nullptr) == nullptr);
    e->SetGeometry(nullptr);
    EXPECT_FALSE(e->HasGeometry());
}

TEST(G3EdgeTest, IsEdgeOnMesh)
{
    MeshBuilder b;
    G3Vertex *a = b.V(0, 0), *c = b.V(1, 0), *d = b.V(0, 1);
    G3Facet* f = b.F({a, c, d});
    G3Edge* ac = b.Find(a, c);
    EXPECT_TRUE(ac->IsEdgeOnMesh()); // visible
    ac->ClearVisible();
    EXPECT_FALSE(ac->IsEdgeOnMesh());
    ac->SetFormMaking();
    EXPECT_TRUE(ac->IsEdgeOnMesh()); // one side, one facet side on the pair: odd
    b.E(c, a)->SetFacet1(f);
    EXPECT_FALSE(ac->IsEdgeOnMesh()); // two facet sides on the pair
    ac->SetFacet2(f);
    EXPECT_TRUE(ac->IsEdgeOnMesh()); // both sides
}

TEST(G3EdgeTest, IsLegalForMergeNeedsOneRunPerChain)
{
    // Two quads sharing the two edges p-q-r in one run.
    MeshBuilder b;
    G3Vertex *p = b.V(1, 0), *q = b.V(1, 1), *r = b.V(1, 2);
    G3Facet* left = b.F({b.V(0, 0), p, q, r, b.V(0, 2)});
    G3Facet* right = b.F({r, q, p, b.V(2, 0), b.V(2, 2)});
    G3Edge* pq = b.Find(q, p);
    ASSERT_TRUE(pq->FacetEqu(right, left));
    EXPECT_TRUE(pq->IsLegalForMerge());

    // Two facets touching along two separate runs (a ring split in two).
    MeshBuilder c;
    G3Vertex* v[8];
    for (int i = 0; i < 8; ++i)
        v[i] = c.V(i, i * i);
    G3Facet* f = c.F({v[0], v[1], v[2], v[3], v[4], v[5]});
    G3Facet* g = c.F({v[1], v[0], v[6], v[4], v[3], v[7]});
    G3Edge* shared = c.Find(v[1], v[0]);
    ASSERT_TRUE(shared->FacetEqu(f, g) && c.Find(v[4], v[3])->FacetEqu(f, g));
    EXPECT_FALSE(shared->IsLegalForMerge());
    EXPECT_FALSE(c.Find(v[5], v[0])->IsLegalForMerge()); // only one facet
}
