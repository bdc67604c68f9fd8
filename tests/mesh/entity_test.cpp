// Points, vertex rings and edges by hand: coordinates, equality,
// transformations, ring walks and pair counts, corner data, reversal,
// copies, mesh status and the merge test. Ring and chain upkeep under the
// surface's own calls is the random edit test's.

#include "mesh_builder.h"

#include "Geometry/foundation/GArrayCollection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

namespace {
std::vector<double> Xyz(const G3Point& p) { return std::vector<double>(p.GetXYZ(), p.GetXYZ() + 3); }
} // namespace

TEST(G3PointTest, CoordinatesEqualityAndTransformations)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    G3Point p(HUGE_VAL, 1.0, -HUGE_VAL);
    EXPECT_EQ(Xyz(p), (std::vector<double>{0.0, 1.0, -HUGE_VAL}));
    G3TexCoo t(nan, HUGE_VAL);
    EXPECT_TRUE(t.GetU() == 0.0 && t.GetV() == 0.0);
    // Objects off the pools start from zero too.
    alignas(G3Point) unsigned char raw[sizeof(G3Point)];
    std::memset(raw, 0xAB, sizeof raw);
    G3Point* placed = ::new (static_cast<void*>(raw)) G3Point();
    EXPECT_EQ(Xyz(*placed), std::vector<double>(3, 0.0));
    placed->~G3Point();

    // Equal is strictly closer than the tolerance.
    G3Point a(0.0, 0.0, 0.0);
    const double exact[3] = {1e-6, 0.0, 0.0}, closer[3] = {0.9e-6, 0.0, 0.0};
    EXPECT_TRUE(!a.Equals(exact) && a.Equals(closer) && a.Equals(exact, 1.1e-6));
    G3Vertex b(0.0, 0.5e-6, 0.0);
    GObj notAPoint;
    EXPECT_TRUE(a.Equals(&b) && !a.Equals(&notAPoint));

    // The translation row does not move a direction.
    double m[4][4] = {{0, 1, 0, 0}, {-1, 0, 0, 0}, {0, 0, 2, 0}, {10, 20, 30, 1}};
    G3Vertex v(1.0, 2.0, 3.0);
    v.RealTransformation(m);
    EXPECT_EQ(Xyz(v), (std::vector<double>{8, 21, 36}));
    G3Normal n(1.0, 2.0, 3.0);
    n.RealTransformation(m);
    EXPECT_EQ(Xyz(n), (std::vector<double>{-2, 1, 6}));
}

TEST(G3VertexRingTest, IteratorsAndPairCounts)
{
    MeshBuilder b;
    G3Vertex *a = b.V(0, 0), *p = b.V(1, 0), *q = b.V(0, 1);
    G3Edge* ap = b.E(a, p);
    G3Edge* qa = b.E(q, a);
    G3Edge* pa = b.E(p, a); // a second edge on the same pair
    EXPECT_EQ(MeshBuilder::Walk(G3VertexEdgeIterator(a)), (std::vector<GObj*>{ap, qa, pa}));
    EXPECT_EQ(MeshBuilder::Walk(G3VertexVertexIterator(a)), (std::vector<GObj*>{p, q, p}));
    EXPECT_FALSE(q->RemoveEdge(ap)); // not in q's ring

    GArrayCollection between;
    a->GetEdges(p, &between);
    ASSERT_EQ(between.size(), 2);
    EXPECT_EQ(between.get(1), pa);

    G3Facet f1, f2, f3;
    f2.SetDoubleSided();
    ap->SetFacet1(&f1);
    ap->SetFacet2(&f2);
    pa->SetFacet2(&f3);
    qa->SetFacet1(&f1);
    // Facet sides on the pair (a double-sided facet counts twice in the
    // second form), then the sides that are one given facet.
    EXPECT_EQ((std::vector<int>{a->GetEdgeCount(p), a->GetEdgeCount2(p), a->GetEdgeCount(p, &f1),
                                a->GetEdgeCount(q, &f1), a->GetEdgeCount(q, &f2)}),
              (std::vector<int>{3, 4, 1, 1, 0}));
}

// Corner data set through a vertex lands on the side of each ring edge
// that the facet holds, at the vertex's end, and stays with the vertex
// when an edge is reversed.
TEST(G3EdgeTest, CornerDataFollowsTheVertex)
{
    MeshBuilder b;
    G3Vertex *a = b.V(0, 0), *p = b.V(1, 0), *q = b.V(0, 1);
    G3Edge* ap = b.E(a, p);
    G3Edge* qa = b.E(q, a);
    G3Facet f, g;
    ap->SetFacet1(&f);
    qa->SetFacet1(&g);
    qa->SetFacet2(&f);

    G3TexCoo* got = b.T(0.5, 0.5);
    EXPECT_EQ(a->GetNormal(&f, &got), nullptr); // no edge carries corner data
    EXPECT_EQ(got, nullptr);
    G3Normal* n = b.N(0, 0, 1);
    G3TexCoo* uv = b.T(1, 2);
    a->SetNormal(&f, n, uv);
    EXPECT_EQ(ap->GetFacet1V1(&got), n); // a is ap's vertex1
    EXPECT_EQ(got, uv);
    EXPECT_EQ(qa->GetFacet2V2(&got), n); // a is qa's vertex2
    EXPECT_EQ(qa->GetFacet1V2(&got), nullptr); // g's corner untouched
    EXPECT_EQ(a->GetNormal(&g, &got), nullptr); // qa has geometry, g's side empty

    G3Normal* nq = b.N(0, 1, 0);
    qa->SetCorner(&g, q, nq, nullptr);
    qa->SwapVertex();
    EXPECT_TRUE(qa->GetVertex1() == a && qa->GetVertex2() == q);
    EXPECT_EQ(qa->GetCorner(&f, a, &got), n);
    EXPECT_EQ(got, uv);
    EXPECT_EQ(qa->GetCorner(&g, q, &got), nq);
    EXPECT_EQ(qa->GetCorner(&g, a, &got), nullptr);
    // Rings stay walkable from both ends.
    EXPECT_EQ(MeshBuilder::Ring(a), (std::vector<G3Edge*>{ap, qa}));
    EXPECT_EQ(MeshBuilder::Ring(q), (std::vector<G3Edge*>{qa}));

    G3Normal* m = b.N(1, 0, 0);
    a->SetNormal(m, nullptr); // every side of every ring edge
    EXPECT_EQ(qa->GetCorner(&g, a, &got), m);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(ap->GetFacet2V1(&got), nullptr); // ap has no facet2
    EXPECT_EQ(qa->GetCorner(&g, q, nullptr), nq); // q's corners untouched
}

TEST(G3EdgeTest, CopiesOwnTheirGeometry)
{
    MeshBuilder b;
    G3Edge* e = b.E(b.V(0, 0), b.V(1, 0));
    // Setting null corners creates no geometry worth the name.
    e->SetNormals(nullptr, e->GetVertex1(), nullptr, nullptr, e->GetVertex2(), nullptr, nullptr);
    EXPECT_FALSE(e->HasGeometry());
    G3Normal* n = b.N(0, 0, 1);
    e->SetFacet1V1(n, nullptr);

    G3Edge copy(*e), assigned, bare;
    assigned = *e;
    std::unique_ptr<G3Edge> dup(e->Duplicate());
    for (G3Edge* x : {&copy, &assigned, dup.get()}) {
        ASSERT_NE(x->GetGeometry(), nullptr);
        EXPECT_NE(x->GetGeometry(), e->GetGeometry());
        EXPECT_EQ(x->GetFacet1V1(nullptr), n);
    }
    assigned = bare; // drops the geometry it had
    EXPECT_FALSE(assigned.HasGeometry());

    G3EdgeGeometry g;
    g.SetFacet2V2(n, nullptr);
    e->SetGeometry(&g);
    EXPECT_TRUE(e->GetFacet2V2(nullptr) == n && e->GetFacet1V1(nullptr) == nullptr);
    e->SetGeometry(nullptr);
    EXPECT_FALSE(e->HasGeometry());
}

TEST(G3EdgeTest, MeshStatusAndMergeNeedOneRunPerChain)
{
    MeshBuilder b;
    G3Vertex *a = b.V(0, 0), *c = b.V(1, 0), *d = b.V(0, 1);
    G3Facet* f = b.F({a, c, d});
    G3Edge* ac = b.Find(a, c);
    ac->ClearVisible();
    EXPECT_FALSE(ac->IsEdgeOnMesh());
    ac->SetFormMaking();
    EXPECT_TRUE(ac->IsEdgeOnMesh()); // one side, one facet side on the pair: odd
    b.E(c, a)->SetFacet1(f);
    EXPECT_FALSE(ac->IsEdgeOnMesh()); // two facet sides on the pair
    ac->SetFacet2(f);
    EXPECT_TRUE(ac->IsEdgeOnMesh()); // both sides

    // Two quads sharing the two edges p-q-r in one run.
    G3Vertex *p = b.V(1, 0), *q = b.V(1, 1), *r = b.V(1, 2);
    G3Facet* left = b.F({b.V(0, 0), p, q, r, b.V(0, 2)});
    G3Facet* right = b.F({r, q, p, b.V(2, 0), b.V(2, 2)});
    ASSERT_TRUE(b.Find(q, p)->FacetEqu(right, left));
    EXPECT_TRUE(b.Find(q, p)->IsLegalForMerge());

    // Two facets touching along two separate runs (a ring split in two).
    G3Vertex* v[8];
    for (int i = 0; i < 8; ++i)
        v[i] = b.V(i, i * i, 5);
    G3Facet* g = b.F({v[0], v[1], v[2], v[3], v[4], v[5]});
    G3Facet* h = b.F({v[1], v[0], v[6], v[4], v[3], v[7]});
    ASSERT_TRUE(b.Find(v[1], v[0])->FacetEqu(g, h) && b.Find(v[4], v[3])->FacetEqu(g, h));
    EXPECT_FALSE(b.Find(v[1], v[0])->IsLegalForMerge());
    EXPECT_FALSE(b.Find(v[5], v[0])->IsLegalForMerge()); // only one facet
}
