// Entities by hand: points, vertex rings and edges (coordinates, equality,
// ring walks and pair counts, corner data, reversal, copies, mesh status
// and the merge test; point transformations are the random edit test's
// previews); facet chains (editing operations
// and their refusals, orientation, the vertex walk over holes and spikes);
// polyedges and the edge-list vertex walk. Ring and chain upkeep under the
// surface's own calls is the random edit test's. Facet planes: formed from
// the facet's own corners without an iterator, they must be bit for bit the
// plane the generic polygon function gives for the facet's vertex walk
// (with the fallback for facets whose area plane is zero); a holed facet's
// contours are each closed on itself.

#include "mesh_builder.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/G3Math.h"
#include "Geometry/mesh/G3EdgeListVertexIterator.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3PolyEdge.h"
#include "Geometry/mesh/G3Surface.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <random>
#include <utility>
#include <vector>

namespace {

std::vector<double> Xyz(const G3Point& p) { return std::vector<double>(p.GetXYZ(), p.GetXYZ() + 3); }

std::vector<GObj*> Vertices(G3Facet* f) { return MeshBuilder::Walk(G3FacetVertexIterator(f)); }
using Edges = std::vector<G3Edge*>;

// Square a b c d (counter-clockwise in z = 0).
struct Square {
    MeshBuilder b;
    G3Vertex* a = b.V(0, 0);
    G3Vertex* c1 = b.V(2, 0);
    G3Vertex* c2 = b.V(2, 2);
    G3Vertex* d = b.V(0, 2);
    G3Facet* f = b.F({a, c1, c2, d});
    Edges e = MeshBuilder::Chain(f);
    // A new edge p -> q bordering f on side 1.
    G3Edge* OnF(G3Vertex* p, G3Vertex* q)
    {
        G3Edge* x = b.E(p, q);
        x->SetFacet1(f);
        return x;
    }
};

void ExpectReferencePlane(G3Facet* f)
{
    double expected[4];
    G3FacetVertexIterator it(f);
    G3Math::FormPlaneEquation(&it, expected);
    if (expected[0] == 0.0 && expected[1] == 0.0 && expected[2] == 0.0 && expected[3] == 0.0) {
        G3FacetVertexIterator again(f);
        int i = 0, j = 1;
        G3Math::FormMaxPlaneCoo(&again, &i, &j, expected);
    }
    EXPECT_TRUE(f->FormPlaneEquation());
    EXPECT_EQ(std::memcmp(expected, f->GetPlane(), sizeof expected), 0)
        << f->GetPlane()[0] << " " << f->GetPlane()[1] << " " << f->GetPlane()[2] << " " << f->GetPlane()[3];
}

// A facet whose chain is these edges, each made a -> b (null ends allowed).
G3Facet* ChainOf(MeshBuilder& b, std::vector<std::pair<G3Vertex*, G3Vertex*>> edges)
{
    G3Facet* f = b.F();
    for (const auto& e : edges) {
        b.edges.push_back(new G3Edge(e.first, e.second));
        MeshBuilder::Attach(f, b.edges.back());
    }
    return f;
}

} // namespace

TEST(G3PointTest, CoordinatesAndEquality)
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

TEST(G3FacetChainTest, AddAndRemoveEdges)
{
    Square s;
    EXPECT_FALSE(s.f->RemoveEdge(s.b.E(s.a, s.c2))); // not in the chain
    EXPECT_TRUE(s.f->RemoveEdge(s.e[1]));            // middle
    EXPECT_EQ(MeshBuilder::Chain(s.f), (Edges{s.e[0], s.e[2], s.e[3]}));
    EXPECT_TRUE(s.e[1]->GetFacet1() == nullptr && s.e[1]->GetFacet1Edge() == nullptr);
    EXPECT_TRUE(s.f->RemoveEdge(s.e[3])); // tail
    EXPECT_TRUE(s.f->GetLastEdge() == s.e[2] && s.e[2]->GetFacetEdge(s.f) == nullptr);
    EXPECT_TRUE(s.f->RemoveEdge(s.e[0])); // head
    EXPECT_EQ(s.f->GetFirstEdge(), s.e[2]);
    s.b.Attach(s.f, s.e[3]);
    EXPECT_EQ(MeshBuilder::Chain(s.f), (Edges{s.e[2], s.e[3]}));
}

TEST(G3FacetChainTest, ChangeEdgesMovesCornersAndRefusesBadEdges)
{
    Square s;
    G3Edge* old = s.e[1]; // c1 -> c2
    G3Normal* n1 = s.b.N(1, 0, 0);
    G3Normal* n2 = s.b.N(0, 1, 0);
    old->SetNormals(s.f, s.c1, n1, nullptr, s.c2, n2, nullptr);
    old->SetNew();

    // Refused: the edge already borders f on side 1, or on side 2, or has no
    // free side; or the old edge is not in the chain. Nothing changes.
    G3Edge* onF = s.OnF(s.c2, s.c1);
    G3Edge* onF2 = s.b.E(s.c2, s.c1);
    onF2->SetFacet2(s.f);
    G3Facet other1, other2, g;
    G3Edge* full = s.b.E(s.c2, s.c1);
    full->SetFacet1(&other1);
    full->SetFacet2(&other2);
    for (G3Edge* bad : {onF, onF2, full})
        EXPECT_FALSE(s.f->ChangeEdges(old, bad));
    EXPECT_FALSE(s.f->ChangeEdges(s.b.E(s.a, s.c2), onF));
    EXPECT_EQ(MeshBuilder::Chain(s.f), s.e);
    EXPECT_TRUE(full->GetFacet2() == &other2 && onF2->GetFacet1() == nullptr);

    // Accepted on side 2 of a reversed edge: corners stay with their vertex.
    G3Edge* twin = s.b.E(s.c2, s.c1);
    twin->SetFacet1(&g);
    EXPECT_TRUE(s.f->ChangeEdges(old, twin));
    EXPECT_EQ(MeshBuilder::Chain(s.f), (Edges{s.e[0], twin, s.e[2], s.e[3]}));
    EXPECT_TRUE(twin->GetFacet2() == s.f && twin->GetFacet1() == &g);
    EXPECT_EQ(twin->GetCorner(s.f, s.c1, nullptr), n1);
    EXPECT_EQ(twin->GetCorner(s.f, s.c2, nullptr), n2);
    EXPECT_TRUE(twin->GetNew());
    EXPECT_TRUE(old->GetFacet1() == nullptr && old->GetFacet1Edge() == nullptr);

    // Replacing the last edge moves lastEdge; side 1 is used when free.
    G3Edge* last = s.b.E(s.d, s.a);
    EXPECT_TRUE(s.f->ChangeEdges(s.e[3], last));
    EXPECT_EQ(s.f->GetLastEdge(), last);
    EXPECT_TRUE(last->GetFacet1() == s.f && last->GetFacet1Edge() == nullptr);
    EXPECT_EQ(Vertices(s.f), (std::vector<GObj*>{s.a, s.c1, s.c2, s.d}));
}

// A part that does not name the facet is refused; at the chain's end,
// lastEdge follows.
TEST(G3FacetChainTest, DivideEdgeRefusesForeignPartsAndMovesLastEdge)
{
    Square s;
    G3Vertex* m = s.b.V(0, 1);
    G3Edge* q1 = s.OnF(s.d, m);
    G3Edge* q2 = s.b.E(m, s.a);
    EXPECT_FALSE(s.f->DivideEdge(s.e[3], q1, q2));
    EXPECT_EQ(MeshBuilder::Chain(s.f), s.e);
    q2->SetFacet1(s.f);
    EXPECT_TRUE(s.f->DivideEdge(s.e[3], q2, q1)); // parts in either order
    EXPECT_EQ(MeshBuilder::Chain(s.f), (Edges{s.e[0], s.e[1], s.e[2], q1, q2}));
    EXPECT_TRUE(s.f->GetLastEdge() == q2 && q2->GetFacet1Edge() == nullptr);
}

TEST(G3FacetChainTest, NegPlaneTurnsTheFacetAroundAndMoveDirectionFollowsTheChain)
{
    Square s;
    const double abcd[4] = {0.0, 0.0, 1.0, -3.0};
    s.f->SetPlane(abcd);
    s.f->NegPlane();
    EXPECT_EQ(MeshBuilder::Chain(s.f), (Edges{s.e[3], s.e[2], s.e[1], s.e[0]}));
    EXPECT_EQ(s.f->GetLastEdge(), s.e[0]);
    EXPECT_TRUE(s.f->GetPlaneC() == -1.0 && s.f->GetPlaneD() == 3.0);
    EXPECT_EQ(Vertices(s.f), (std::vector<GObj*>{s.a, s.d, s.c2, s.c1}));

    // Edges stored in mixed directions: a->c1, c2->c1, c2->d, a->d; the
    // last is judged against the first edge.
    MeshBuilder b;
    G3Vertex *a = b.V(0, 0), *c1 = b.V(1, 0), *c2 = b.V(1, 1), *d = b.V(0, 1);
    G3Edge* e[4] = {b.E(a, c1), b.E(c2, c1), b.E(c2, d), b.E(a, d)};
    G3Facet* f = b.F();
    for (G3Edge* x : e)
        MeshBuilder::Attach(f, x);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(f->GetMoveDirection(e[i]), i % 2 == 0) << i;
    EXPECT_EQ(Vertices(f), (std::vector<GObj*>{a, c1, c2, d}));
}

TEST(G3FacetVertexIteratorTest, HoleContoursKeepTheirOwnOrder)
{
    Square s;
    G3Vertex* h[4] = {s.b.V(0.5, 0.5), s.b.V(0.5, 1.5), s.b.V(1.5, 1.5), s.b.V(1.5, 0.5)};
    s.b.AddContour(s.f, {h[0], h[1], h[2], h[3]});
    // Store the hole's first edge reversed, so the start rule is exercised.
    s.b.Find(h[0], h[1])->SwapVertex();

    G3FacetVertexIterator it(s.f);
    std::vector<GObj*> seen;
    Edges edges;
    while (it.hasNext()) {
        seen.push_back(it.next());
        edges.push_back(it.GetCurrentEdge());
    }
    EXPECT_EQ(seen, (std::vector<GObj*>{s.a, s.c1, s.c2, s.d, h[0], h[1], h[2], h[3]}));
    EXPECT_EQ(edges, MeshBuilder::Chain(s.f));
    EXPECT_EQ(it.next(), nullptr);
    GArrayCollection ids;
    s.f->GetVerticesIds(&ids, 100);
    ASSERT_EQ(ids.size(), 8);
    EXPECT_EQ(reinterpret_cast<std::intptr_t>(ids.get(4)), h[0]->GetId() + 100);
    G3Facet empty;
    EXPECT_FALSE(G3FacetVertexIterator(&empty).hasNext());
}

// A facet that runs out to a vertex and back (1 2 3 4 3) holds two parallel
// edges in a row; the walk must leave each through its far end.
TEST(G3FacetVertexIteratorTest, SpikeCornersComeOutAsBuilt)
{
    G3Surface s;
    G3Vertex* v[5] = {s.AddVertex(0, 0, 0, 0), s.AddVertex(1, 0, 0, 0), s.AddVertex(1, 1, 0, 0),
                      s.AddVertex(2, 2, 0, 0), nullptr};
    v[4] = v[2];
    G3Facet* f = s.AddFacet(5, v, 0, nullptr, nullptr);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(Vertices(f), (std::vector<GObj*>{v[0], v[1], v[2], v[3], v[2]}));
}

TEST(G3PolyEdgeTest, SegmentsCloseTheLoop)
{
    MeshBuilder b;
    G3Vertex* arr[5] = {b.V(9, 9), b.V(0, 0), b.V(1, 0), b.V(1, 1), b.V(8, 8)};
    G3PolyEdge pe(3, 1);
    pe.SetClosed(true);
    G3Vertex *x, *y;
    pe.GetEdge(arr, 2, &x, &y);
    EXPECT_TRUE(x == arr[3] && y == arr[1]);
    pe.GetEdge(arr, 3, &x, &y);
    EXPECT_EQ(x, nullptr);
    EXPECT_EQ(pe.GetEdges(arr), arr + 1);

    // The edge-list walk yields each edge's vertex1.
    GArrayCollection edges;
    edges.add(b.E(arr[1], arr[2]));
    edges.add(b.E(arr[3], arr[2]));
    EXPECT_EQ(MeshBuilder::Walk(G3EdgeListVertexIterator(&edges)), (std::vector<GObj*>{arr[1], arr[3]}));
    EXPECT_EQ(MeshBuilder::Walk(G3EdgeListVertexIterator(edges.toArray(), 1, 2)),
              (std::vector<GObj*>{arr[3]}));
}

// ------------------------------------------------------------ planes

// Rough star-shaped polygons of 3 to 40 corners (the stack buffer holds 16)
// around a tilted plane, with noise off the plane.
TEST(FacetPlane, SameBitsAsThePolygonFunction)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> jitter(-0.3, 0.3);
    MeshBuilder b;
    for (int n = 3; n <= 40; ++n) {
        SCOPED_TRACE(n);
        std::vector<G3Vertex*> loop;
        for (int k = 0; k < n; ++k) {
            const double a = 2.0 * 3.141592653589793 * k / n;
            const double r = 10.0 + jitter(rng) * 10.0;
            const double x = 1e3 + r * std::cos(a), y = -7.0 + r * std::sin(a);
            loop.push_back(b.V(x, y, 0.3 * x - 0.7 * y + jitter(rng)));
        }
        G3Facet* f = b.F();
        b.AddContour(f, loop);
        ExpectReferencePlane(f);
        const double* p = f->GetPlane();
        EXPECT_NEAR(p[0] * p[0] + p[1] * p[1] + p[2] * p[2], 1.0, 1e-12);
    }
}

// Chains the plain walk would not treat as one loop: a hole as a second
// contour (each contour closed on itself), a spike out and back, fewer than
// three corners, collinear corners and a bow tie (the fallback plane), an
// edge without its ends, no edges at all.
TEST(FacetPlane, SpecialChains)
{
    MeshBuilder b;
    G3Vertex* o[4] = {b.V(0, 0), b.V(8, 0), b.V(8, 8), b.V(0, 8)};
    G3Facet* holed = b.F();
    b.AddContour(holed, {o[0], o[1], o[2], o[3]});
    b.AddContour(holed, {b.V(2, 2, 0.5), b.V(2, 6, 0.5), b.V(6, 6, 0.5), b.V(6, 2, 0.5)});
    G3Vertex* tip = b.V(12, 4, 1);
    G3Facet* bow = b.F({b.V(0, 0, 1), b.V(1, 1, 1), b.V(1, 0, 1), b.V(0, 1, 1)});
    G3Facet* spiked = ChainOf(b, {{o[0], o[1]}, {o[1], tip}, {tip, o[1]}, {o[1], o[2]}, {o[2], o[0]}});
    G3Facet* broken =
        ChainOf(b, {{o[0], o[1]}, {o[1], o[2]}, {nullptr, nullptr}, {o[2], o[3]}, {o[3], o[0]}});
    G3Facet* line = b.F({b.V(0, 0, 0), b.V(1, 1, 1), b.V(2, 2, 2), b.V(3, 3, 3)});
    for (G3Facet* f : {spiked, ChainOf(b, {{o[0], o[2]}, {o[2], o[0]}}), line, bow, broken, b.F()})
        ExpectReferencePlane(f);
    // The hole, a quarter of the outline's area and 0.5 above it, leaves
    // the outline's normal and moves the plane by the mean of the corners.
    EXPECT_TRUE(holed->FormPlaneEquation());
    EXPECT_TRUE(holed->GetPlaneC() == 1.0 && holed->GetPlaneD() == -0.25);
    EXPECT_FALSE(bow->IsTrivial());
    EXPECT_NEAR(bow->GetPlaneD() * bow->GetPlaneC(), -1.0, 1e-12);

    // A facet built anywhere starts with the zero plane; a plane of tiny
    // but not zero values is not trivial.
    alignas(G3Facet) unsigned char raw[sizeof(G3Facet)];
    std::memset(raw, 0x5C, sizeof raw);
    G3Facet* placed = ::new (static_cast<void*>(raw)) G3Facet();
    EXPECT_TRUE(placed->IsPlaneZero() && placed->GetFirstEdge() == nullptr);
    const double tiny[4] = {0.0, 0.0, 0.0, 1e-300};
    placed->SetPlane(tiny);
    EXPECT_FALSE(placed->IsTrivial());
    placed->~G3Facet();
}

TEST(FacetPlane, TriangleAreaAndRefusedInput)
{
    double plane[4];
    const double p1[3] = {0, 0, 3}, p2[3] = {2, 0, 3}, p3[3] = {0, 2, 3}, q3[3] = {4, 0, 3};
    EXPECT_DOUBLE_EQ(G3Facet::CalcRealSquareOfTriangle(p1, p2, p3, plane), 2.0);
    EXPECT_TRUE(plane[2] == 1.0 && plane[3] == -3.0);
    EXPECT_EQ(G3Facet::CalcRealSquareOfTriangle(p1, p2, q3, plane), 0.0);
    EXPECT_TRUE(plane[2] == 0.0 && plane[3] == 0.0);

    const double* pts[3] = {p1, p2, p3};
    EXPECT_FALSE(G3Math::PlaneOfPolygon(pts, 3, nullptr));
    EXPECT_FALSE(G3Math::PlaneOfPolygon(nullptr, 3, plane));
    EXPECT_EQ(plane[0], 0.0);
}

// Lists and planes asked for with a null output or input, on random facets
// of one to three contours: the array forms count as they would fill, the
// collection forms and SetPlane leave everything alone, and a triangle with
// a missing corner has no area.
TEST(FacetPlane, NullOutputsCountOrAreIgnored)
{
    std::mt19937 rng(17);
    for (int round = 0; round < 50; ++round) {
        MeshBuilder b;
        G3Facet* f = b.F();
        for (int c = 1 + static_cast<int>(rng() % 3); c > 0; --c) {
            std::vector<G3Vertex*> loop;
            for (int n = 3 + static_cast<int>(rng() % 4); n > 0; --n)
                loop.push_back(b.V(rng() % 5, rng() % 5, rng() % 2));
            b.AddContour(f, loop);
        }
        f->FormPlaneEquation();
        const std::vector<double> plane(f->GetPlane(), f->GetPlane() + 4);
        std::vector<G3Edge*> edges(static_cast<size_t>(f->GetEdgeCount()));
        std::vector<G3Vertex*> vertices(edges.size());
        EXPECT_EQ(f->GetEdges(edges.data()), f->GetEdges(static_cast<G3Edge**>(nullptr)));
        EXPECT_EQ(f->GetVertices(vertices.data()), f->GetVertices(static_cast<G3Vertex**>(nullptr)));
        G3Vertex* v = vertices[rng() % vertices.size()];
        EXPECT_EQ(v->GetEdges(edges.data()), v->GetEdges(static_cast<G3Edge**>(nullptr)));
        v->GetEdges(vertices[0], nullptr);
        f->GetEdges(static_cast<GArrayCollection*>(nullptr));
        f->GetVertices(static_cast<GArrayCollection*>(nullptr));
        f->GetVerticesIds(nullptr, round);
        f->SetPlane(nullptr);
        EXPECT_EQ(plane, std::vector<double>(f->GetPlane(), f->GetPlane() + 4));
        double out[4] = {1, 1, 1, 1};
        const double* corners[3] = {v->GetXYZ(), vertices[0]->GetXYZ(), vertices[1]->GetXYZ()};
        corners[rng() % 3] = nullptr;
        EXPECT_EQ(0.0, G3Facet::CalcRealSquareOfTriangle(corners[0], corners[1], corners[2], out));
        EXPECT_EQ(std::vector<double>(4, 0.0), std::vector<double>(out, out + 4));
    }
}
