// Facet triangulation through GLU, the complex-facet bracket and the two
// small builders.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/CExData.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3ExDataProvider.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "Geometry/processing/GTessellator.h"
#include "tests/common/builders.h"
#include "tests/mesh/mesh_check.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace testmesh;

// Signed area of the triangle f on (x, y).
double SignedAreaXY(G3Facet* f)
{
    std::vector<G3Vertex*> c = Corners(f);
    const double* a = c[0]->GetXYZ();
    const double* b = c[1]->GetXYZ();
    const double* d = c[2]->GetXYZ();
    return 0.5 * ((b[0] - a[0]) * (d[1] - a[1]) - (b[1] - a[1]) * (d[0] - a[0]));
}

// Records the assembled triangles with the data pointers as small numbers.
struct RecordingTessellator : GTessellator {
    std::vector<std::vector<long>> tris;
    void AddTriangle(void* a, void* b, void* c) override
    {
        tris.push_back({reinterpret_cast<long>(a), reinterpret_cast<long>(b), reinterpret_cast<long>(c)});
    }
    void Primitive(int type, const std::vector<long>& data)
    {
        OnBegin(type);
        for (long d : data)
            OnVertex(reinterpret_cast<void*>(d));
    }
};

} // namespace

TEST(TessellatorTest, AssemblesTrianglesStripsAndFans)
{
    using Tris = std::vector<std::vector<long>>;
    // GL_TRIANGLES, GL_TRIANGLE_STRIP, GL_TRIANGLE_FAN
    const std::pair<int, std::vector<long>> primitives[] = {
        {4, {1, 2, 3, 4, 5, 6, 7}}, {5, {1, 2, 3, 4}}, {5, {1, 2, 3, 4, 5}}, {6, {1, 2, 3, 4}}};
    const Tris expected[] = {{{1, 2, 3}, {4, 5, 6}},
                             {{1, 2, 3}, {4, 3, 2}},
                             {{1, 2, 3}, {4, 3, 2}, {3, 4, 5}},
                             {{1, 2, 3}, {1, 3, 4}}};
    for (int k = 0; k < 4; ++k) {
        RecordingTessellator t;
        t.Primitive(primitives[k].first, primitives[k].second);
        EXPECT_EQ(t.tris, expected[k]) << k;
    }
    // A vertex GLU made itself (no data) marks the polygon as failed.
    RecordingTessellator t;
    EXPECT_FALSE(t.HasError());
    t.OnVertex(nullptr);
    EXPECT_TRUE(t.HasError());
}

TEST(TriangulateTest, ModesPickTheFacetsByShape)
{
    // A triangle never goes. A convex flat square goes only under bit 4, a
    // concave dart under bit 1 with bit 8, a bent quad under bit 2, a
    // pentagon under bit 8 alone. A quad 4e-7 off the plane z = 0 is flat,
    // one 6e-7 off is bent. area < 0: not flat, not checked.
    struct Case {
        const char* name;
        std::vector<P3> pts;
        std::vector<int> refused;
        int accepted;
        double area;
    };
    const Case cases[] = {
        {"triangle", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {4 | 8 | 2 | 1}, 0, 0.5},
        {"square", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {8 | 2 | 1}, 4, 1.0},
        {"dart", {{0, 0, 0}, {2, 1, 0}, {4, 0, 0}, {2, 3, 0}}, {8, 8 | 2}, 8 | 1, 4.0},
        {"bent", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0.1}, {0, 1, 0}}, {8 | 1}, 2, -1.0},
        {"pentagon", {{0, 0, 0}, {2, 0, 0}, {3, 1, 0}, {1, 2, 0}, {-1, 1, 0}}, {}, 8, 5.0},
        {"flat within 5e-7", {{0, 0, 0}, {1, 0, 0}, {1, 1, 4e-7}, {0, 1, 0}}, {2}, 4, -1.0},
        {"bent by 6e-7", {{0, 0, 0}, {1, 0, 0}, {1, 1, 6e-7}, {0, 1, 0}}, {}, 2, -1.0},
    };
    const double zPlane[4] = {0.0, 0.0, 1.0, 0.0};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        G3Surface q;
        G3Facet* f = SoupFacet(q, c.pts);
        if (c.pts[2][2] > 0 && c.pts[2][2] < 1e-6) {
            f->SetPlane(zPlane);
            EXPECT_EQ(f->IsFlat(), c.pts[2][2] < 5e-7);
        }
        for (int mode : c.refused)
            EXPECT_FALSE(q.Triangulate(mode, 0)) << mode;
        EXPECT_EQ(q.GetFacetCount(), 1);
        if (c.accepted == 0)
            continue;
        EXPECT_TRUE(q.Triangulate(c.accepted, 0));
        // With the check, n - 2 triangles on n corners leave no room for a
        // vertex GLU made or an edge too many.
        EXPECT_EQ(q.GetFacetCount(), static_cast<int>(c.pts.size()) - 2);
        EXPECT_EQ("", MeshCheck(&q));
        if (c.area < 0)
            continue;
        EXPECT_NEAR(TrianglesArea(q), c.area, 1e-12);
        for (int i = 0; i < q.GetFacetCount(); ++i)
            EXPECT_GT(SignedAreaXY(q.GetFacet(i)), 0.0) << "triangles keep the facet's orientation";
    }
}

TEST(TriangulateTest, LShapeHandsItsDataFlagsAndCornersToItsTriangles)
{
    G3Surface s;
    std::vector<int> flags = {11, 12, 13, 14, 15, 16};
    for (const auto& p : {P3{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}})
        s.AddVertex(p[0], p[1], p[2], 0);
    int ids[6] = {0, 1, 2, 3, 4, 5};
    G3Facet* f = s.AddFacet(6, ids, flags.data(), nullptr, nullptr);
    ASSERT_NE(nullptr, f);
    const std::vector<G3Vertex*> ring = Corners(f);
    int token = 0;
    f->GetExtendedData().Add("ZUNO_ROOF_PLANE_INDEX", &token);
    f->SetSurface(7);
    f->SetFlags(0x30);
    // Corner data per vertex, told apart by their coordinates.
    for (G3Vertex* v : ring)
        f->SetNormal(v, s.AddNormal(v->GetX(), v->GetY(), 1.0), s.AddTexCoo(v->GetX() / 2, v->GetY() / 2),
                     true);

    ASSERT_TRUE(s.Triangulate(1, 99));
    ASSERT_EQ(s.GetFacetCount(), 4);
    EXPECT_EQ("", MeshCheck(&s));
    EXPECT_NEAR(TrianglesArea(s), 3.0, 1e-12);
    EXPECT_TRUE(s.GetExtendedDataFacetDefault().IsEmpty()) << "the default is restored";
    // An outer side keeps its edge's flags and has one facet; a diagonal
    // carries 99 and is shared. Four triangles: six sides of each kind.
    int outer = 0, diagonalSides = 0;
    for (int i = 0; i < 4; ++i) {
        G3Facet* t = s.GetFacet(i);
        EXPECT_GT(SignedAreaXY(t), 0.0);
        EXPECT_EQ(t->GetExtendedData().GetData("ZUNO_ROOF_PLANE_INDEX"), &token);
        EXPECT_EQ(t->GetSurface(), 7);
        EXPECT_EQ(t->GetFlags(), 0x30);
        for (G3Edge* e = t->GetFirstEdge(); e; e = e->GetFacetEdge(t)) {
            int k = 0;
            while (k < 6 && !(e->HasVertex(ring[k]) && e->HasVertex(ring[(k + 1) % 6])))
                ++k;
            const bool isOuter = k < 6;
            (isOuter ? outer : diagonalSides)++;
            EXPECT_EQ(e->GetFlags(), isOuter ? flags[k] : 99);
            EXPECT_EQ(e->GetFacet2() == nullptr, isOuter);
        }
        for (G3Vertex* v : Corners(t)) {
            G3TexCoo* tex = nullptr;
            G3Normal* n = t->GetNormal(v, &tex);
            ASSERT_TRUE(n && tex);
            for (int a = 0; a < 2; ++a) {
                EXPECT_EQ(n->GetXYZ(a), v->GetXYZ(a));
                EXPECT_EQ(tex->GetUV()[a], v->GetXYZ(a) / 2);
            }
        }
    }
    EXPECT_EQ(outer, 6);
    EXPECT_EQ(diagonalSides, 6);
}

TEST(TriangulateTest, FacetsGluFailsOnStayAsTheyWere)
{
    // A bow tie (its crossing would need a vertex GLU can only make through
    // a combine callback, and the engine declines crossing sides) and a
    // collinear quad (no triangle) stay; a good
    // quad after them is still triangulated.
    const std::vector<P3> bowtie = {{0, 0, 0}, {2, 2, 0}, {2, 0, 0}, {0, 2, 0}};
    G3Surface s;
    SoupFacet(s, bowtie);
    SoupFacet(s, {{5, 0, 0}, {6, 0, 0}, {7, 0, 0}, {8, 0, 0}});
    SoupFacet(s, {{10, 0, 0}, {11, 0, 0}, {11, 1, 0}, {10, 1, 0}});
    EXPECT_TRUE(s.Triangulate(4, 0));
    ASSERT_EQ(s.GetFacetCount(), 4);
    EXPECT_EQ(s.GetFacet(0)->GetEdgeCount() + s.GetFacet(1)->GetEdgeCount(), 8);
    EXPECT_EQ("", MeshCheck(&s));

    G3Surface only;
    SoupFacet(only, bowtie);
    EXPECT_FALSE(only.Triangulate(4, 0));
    EXPECT_EQ(only.GetFacetCount(), 1);
    EXPECT_EQ(only.GetEdgeCount(), 4);
}

TEST(TriangulateTest, SurfacesTriangulateOnSeveralThreadsAtOnce)
{
    // Each surface triangulated on its own thread gives the same triangles
    // as the first one, triangulated alone.
    G3Surface s[3];
    for (G3Surface& x : s)
        for (int k = 0; k < 200; ++k) {
            const double x0 = 3.0 * k;
            G3Facet* f =
                SoupFacet(x, {{x0, 0, 0}, {x0 + 2, 0, 0}, {x0 + 2, 2, 0}, {x0 + 1, 1.5, 0}, {x0, 2, 0}});
            G3Vertex* hole[4] = {x.AddVertex(x0 + 0.5, 0.5, 0, 0), x.AddVertex(x0 + 0.5, 1, 0, 0),
                                 x.AddVertex(x0 + 1.5, 1, 0, 0), x.AddVertex(x0 + 1.5, 0.5, 0, 0)};
            G3EdgeList list(4, hole, nullptr, nullptr, nullptr, 0, 0);
            x.AddFacetEdges(f, &list);
        }
    s[0].Triangulate(4, 0);
    std::thread ta([&] { s[1].Triangulate(4, 0); });
    std::thread tb([&] { s[2].Triangulate(4, 0); });
    ta.join();
    tb.join();
    auto ids = [](G3Surface& x) {
        std::vector<long> out;
        for (int i = 0; i < x.GetFacetCount(); ++i)
            for (G3Vertex* v : Corners(x.GetFacet(i)))
                out.push_back(v->GetId());
        return out;
    };
    EXPECT_EQ(ids(s[1]), ids(s[0]));
    EXPECT_EQ(ids(s[2]), ids(s[0]));
}

namespace {

// Stores an int per object: `current` when the object opens, the source's
// record once a source is named.
struct IntProvider : G3ExDataProvider {
    void ReleaseRecord(void* record) override { delete static_cast<int*>(record); }
    void OpenRecord(G3Obj* object) override { object->SetOutExData(this, new int(current)); }
    void SetSource(G3Obj* source) override
    {
        const int* r = source ? static_cast<int*>(source->GetOutExData(this)) : nullptr;
        current = r ? *r : 0;
    }
    void TransformRecord(G3Obj*, double[4][4]) override {}
    void CopyRecord(G3Obj* destination, G3Obj* source) override
    {
        destination->RemoveExData(this);
        destination->SetOutExData(this, new int(*static_cast<int*>(source->GetOutExData(this))));
    }
    int Record(const G3Obj* o) const
    {
        const int* r = static_cast<const int*>(o->GetOutExData(this));
        return r ? *r : -1;
    }
    int current = 0;
};

G3Facet* Square(G3Surface& s, double x0, double y0, double x1, double y1)
{
    return SoupFacet(s, {{x0, y0, 0}, {x1, y0, 0}, {x1, y1, 0}, {x0, y1, 0}});
}

} // namespace

// The facets a complex-facet bracket fuses carry the host's data of the
// first facet collected: its named extended data and the object providers'
// records, as the pieces of a triangulated facet do. Facets outside the
// bracket get the surface's own default again.
TEST(ComplexFacetTest, FusedFacetKeepsTheFirstFacetsDataAndTheDefaultIsRestored)
{
    IntProvider provider;
    G3Obj::AddProvider(&provider);
    {
        G3Surface s;
        s.GetExtendedDataFacetDefault().Add(kMaterial, reinterpret_cast<void*>(std::intptr_t{3}));
        s.BeginComplexFacet();
        provider.current = 42;
        SetMaterial(Square(s, 0, 0, 8, 8), 9);
        provider.current = 5;
        Square(s, 2, 2, 4, 4);
        SetMaterial(Square(s, 5, 5, 7, 7), 1);
        s.EndComplexFacet();
        EXPECT_EQ(s.GetExData(), nullptr);
        EXPECT_EQ("", MeshCheck(&s));
        ASSERT_EQ(s.GetFacetCount(), 1);
        EXPECT_EQ(Material(s.GetFacet(0)), 9);
        EXPECT_EQ(provider.Record(s.GetFacet(0)), 42);

        provider.current = 0;
        G3Facet* later = Square(s, 20, 0, 21, 1);
        EXPECT_EQ(Material(later), 3);
        EXPECT_EQ(provider.Record(later), 0);
        EXPECT_EQ("", MeshCheck(&s));

        // An empty bracket leaves the surface alone.
        const int facets = s.GetFacetCount();
        s.BeginComplexFacet();
        s.EndComplexFacet();
        EXPECT_EQ(s.GetExData(), nullptr);
        EXPECT_EQ(s.GetFacetCount(), facets);
    }
    G3Obj::RemoveExDataProvider(&provider);
}

TEST(BuilderTest, GetContourOfAnOpenSquareButNotOfACubeOrTwoSquares)
{
    G3Surface sq;
    Square(sq, 0, 0, 1, 1);
    GArrayCollection out;
    ASSERT_TRUE(sq.GetContour(out));
    ASSERT_EQ(out.size(), 4);
    std::set<GObj*> distinct;
    for (int k = 0; k < 4; ++k) {
        distinct.insert(out.get(k));
        G3Vertex* a = static_cast<G3Vertex*>(out.get(k));
        EXPECT_EQ(a->GetEdgeCount(static_cast<G3Vertex*>(out.get((k + 1) % 4))), 1)
            << "consecutive vertices share a boundary edge";
    }
    EXPECT_EQ(distinct.size(), 4u);

    // A closed cube has no boundary, two separate squares two loops: both
    // refused with nothing returned.
    G3Surface cube, two;
    AddBox(cube, {0, 0, 0}, {1, 1, 1});
    Square(two, 0, 0, 1, 1);
    Square(two, 5, 0, 6, 1);
    for (G3Surface* s : {&cube, &two}) {
        GArrayCollection none;
        EXPECT_FALSE(s->GetContour(none));
        EXPECT_EQ(none.size(), 0);
    }
}

TEST(BuilderTest, AddOneFacetFromVerticesAndAddFacets)
{
    G3Surface s;
    G3Vertex pts[4] = {G3Vertex(0, 0, 0), G3Vertex(1, 0, 0), G3Vertex(1, 1, 0), G3Vertex(0, 1, 0)};
    EXPECT_EQ(s.AddOneFacetFromVertices(pts, 2), 0);
    EXPECT_EQ(s.GetVertexCount(), 2);
    EXPECT_EQ(s.GetFacetCount(), 0);
    EXPECT_EQ(s.AddOneFacetFromVertices(pts, 4), 6);
    ASSERT_EQ(s.GetFacetCount(), 1);

    G3Surface t;
    G3Vertex* v[3] = {t.AddVertex(0, 0, 0, 0), t.AddVertex(1, 0, 0, 0), t.AddVertex(0, 1, 0, 0)};
    GArrayCollection lists;
    lists.add(new G3EdgeList(3, v, nullptr, nullptr, nullptr, 0, 4));
    lists.add(new G3EdgeList(3, v, nullptr, nullptr, nullptr, 0, 5));
    t.AddFacets(&lists);
    EXPECT_EQ(lists.size(), 0);
    ASSERT_EQ(t.GetFacetCount(), 2);
    EXPECT_EQ(t.GetFacet(0)->GetSurface(), 4);
    EXPECT_EQ(t.GetFacet(1)->GetSurface(), 5);
    EXPECT_EQ("", MeshCheck(&t));
}
