// Points, texture coordinates, vertex rings and the ring iterators.

#include "mesh_builder.h"

#include "Geometry/foundation/GArrayCollection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

namespace {
std::vector<double> Xyz(const G3Point& p) { return std::vector<double>(p.GetXYZ(), p.GetXYZ() + 3); }
} // namespace

TEST(G3PointTest, BadCoordinatesAndFreshObjectsAreClean)
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
}

TEST(G3PointTest, EqualityIsStrictlyCloserThanTolerance)
{
    G3Point a(0.0, 0.0, 0.0);
    const double exact[3] = {1e-6, 0.0, 0.0};
    const double closer[3] = {0.9e-6, 0.0, 0.0};
    EXPECT_TRUE(!a.Equals(exact) && a.Equals(closer) && a.Equals(exact, 1.1e-6));
    EXPECT_FALSE(G3Point::Equals(a.GetXYZ(), exact));
    G3Vertex b(0.0, 0.5e-6, 0.0);
    GObj notAPoint;
    EXPECT_TRUE(a.Equals(&b) && !a.Equals(&notAPoint));
}

TEST(G3PointTest, TransformationsOfPositionsAndDirections)
{
    double m[4][4] = {{0, 1, 0, 0}, {-1, 0, 0, 0}, {0, 0, 2, 0}, {10, 20, 30, 1}};
    G3Vertex v(1.0, 2.0, 3.0);
    v.RealTransformation(m);
    EXPECT_EQ(Xyz(v), (std::vector<double>{8, 21, 36}));
    G3Normal n(1.0, 2.0, 3.0);
    n.RealTransformation(m); // the translation row does not move a direction
    EXPECT_EQ(Xyz(n), (std::vector<double>{-2, 1, 6}));
}

TEST(G3VertexRingTest, RemoveAtHeadMiddleTailAndAbsent)
{
    MeshBuilder b;
    G3Vertex* c = b.V(0, 0);
    G3Vertex* o[4] = {b.V(1, 0), b.V(0, 1), b.V(-1, 0), b.V(0, -1)};
    G3Edge* e[4];
    for (int i = 0; i < 4; ++i) // alternate directions so both links are used
        e[i] = i % 2 ? b.E(o[i], c) : b.E(c, o[i]);
    EXPECT_EQ(c->GetEdgeCount(), 4);
    EXPECT_EQ(MeshBuilder::Ring(c), (std::vector<G3Edge*>{e[0], e[1], e[2], e[3]}));

    EXPECT_TRUE(c->RemoveEdge(e[1])); // middle
    EXPECT_EQ(MeshBuilder::Ring(c), (std::vector<G3Edge*>{e[0], e[2], e[3]}));
    EXPECT_EQ(e[1]->GetVertexEdge(c), nullptr);
    EXPECT_FALSE(c->RemoveEdge(e[1])); // no longer there

    EXPECT_TRUE(c->RemoveEdge(e[3])); // tail
    EXPECT_EQ(c->GetLastEdge(), e[2]);
    EXPECT_EQ(e[2]->GetVertexEdge(c), nullptr);
    c->AddEdge(e[1]); // appends behind the new tail
    EXPECT_EQ(MeshBuilder::Ring(c), (std::vector<G3Edge*>{e[0], e[2], e[1]}));

    EXPECT_TRUE(c->RemoveEdge(e[0])); // head
    EXPECT_EQ(c->GetFirstEdge(), e[2]);
    EXPECT_TRUE(c->RemoveEdge(e[2]));
    EXPECT_TRUE(c->RemoveEdge(e[1])); // the only edge
    EXPECT_TRUE(c->GetFirstEdge() == nullptr && c->GetLastEdge() == nullptr && !c->HasEdges());
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

TEST(G3VertexRingTest, CornerNormalsFollowTheVertex)
{
    MeshBuilder b;
    G3Vertex *a = b.V(0, 0), *p = b.V(1, 0), *q = b.V(0, 1);
    G3Edge* ap = b.E(a, p);
    G3Edge* qa = b.E(q, a);
    G3Facet f, g;
    ap->SetFacet1(&f);
    qa->SetFacet1(&g);
    qa->SetFacet2(&f);

    G3TexCoo* t = b.T(0.5, 0.5);
    EXPECT_EQ(a->GetNormal(&f, &t), nullptr); // no edge carries corner data
    EXPECT_EQ(t, nullptr);

    G3Normal* n = b.N(0, 0, 1);
    G3TexCoo* uv = b.T(1, 2);
    a->SetNormal(&f, n, uv);
    G3TexCoo* got = nullptr;
    EXPECT_EQ(ap->GetFacet1V1(&got), n); // a is ap's vertex1
    EXPECT_EQ(got, uv);
    EXPECT_EQ(qa->GetFacet2V2(&got), n); // a is qa's vertex2
    EXPECT_EQ(qa->GetFacet1V2(&got), nullptr); // g's corner untouched
    EXPECT_EQ(a->GetNormal(&f, &got), n);
    EXPECT_EQ(a->GetNormal(&g, &got), nullptr); // qa has geometry, g's side empty

    G3Normal* m = b.N(1, 0, 0);
    a->SetNormal(m, nullptr); // every side of every ring edge
    EXPECT_EQ(qa->GetFacet1V2(&got), m);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(ap->GetFacet2V1(&got), nullptr); // ap has no facet2
    EXPECT_EQ(qa->GetFacet1V1(&got), nullptr); // q's corners untouched
}
