// Facet triangulation through GLU, the complex-facet bracket and the two
// small builders.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/CExData.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "Geometry/processing/GTessellator.h"
#include "tests/common/builders.h"
#include "tests/mesh/mesh_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using testmesh::Corners;
using testmesh::TrianglesArea;

struct Pt {
    double x, y, z;
};

// Adds the points as new vertices and one facet through them; returns it.
G3Facet* Facet(G3Surface& s, const std::vector<Pt>& pts, std::vector<int>* flags = nullptr)
{
    std::vector<int> ids;
    for (const Pt& p : pts)
        ids.push_back(static_cast<int>(s.AddVertex(p.x, p.y, p.z, 0)->GetId()));
    return s.AddFacet(static_cast<int>(ids.size()), ids.data(), flags ? flags->data() : nullptr, nullptr, nullptr);
}

// Appends a contour through new vertices at pts to f.
void Hole(G3Surface& s, G3Facet* f, const std::vector<Pt>& pts)
{
    std::vector<G3Vertex*> v;
    for (const Pt& p : pts)
        v.push_back(s.AddVertex(p.x, p.y, p.z, 0));
    G3EdgeList list(static_cast<int>(v.size()), v.data(), nullptr, nullptr, nullptr, 0, 0);
    s.AddFacetEdges(f, &list);
}

G3Facet* FacetAt(G3Surface& s, int i) { return static_cast<G3Facet*>(s.GetFacetList()->get(i)); }
int FacetCount(G3Surface& s) { return s.GetFacetList()->size(); }

// Signed area of f's triangle on (x, y).
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
};

void* D(long n) { return reinterpret_cast<void*>(n); }

std::vector<std::vector<long>> Assemble(int type, std::initializer_list<long> data)
{
    RecordingTessellator t;
    t.OnBegin(type);
    for (long d : data)
        t.OnVertex(D(d));
    t.OnEnd();
    return t.tris;
}

} // namespace

TEST(TessellatorTest, AssemblesTrianglesStripsAndFans)
{
    using Tris = std::vector<std::vector<long>>;
    // GL_TRIANGLES, GL_TRIANGLE_STRIP, GL_TRIANGLE_FAN
    EXPECT_EQ(Assemble(4, {1, 2, 3, 4, 5, 6, 7}), (Tris{{1, 2, 3}, {4, 5, 6}}));
    EXPECT_EQ(Assemble(5, {1, 2, 3, 4}), (Tris{{1, 2, 3}, {4, 3, 2}}));
    EXPECT_EQ(Assemble(5, {1, 2, 3, 4, 5}), (Tris{{1, 2, 3}, {4, 3, 2}, {3, 4, 5}}));
    EXPECT_EQ(Assemble(6, {1, 2, 3, 4}), (Tris{{1, 2, 3}, {1, 3, 4}}));

    // A new primitive starts afresh.
    RecordingTessellator t;
    t.OnBegin(5);
    for (long d : {1, 2})
        t.OnVertex(D(d));
    t.OnEnd();
    t.OnBegin(6);
    for (long d : {3, 4, 5})
        t.OnVertex(D(d));
    EXPECT_EQ(t.tris, (Tris{{3, 4, 5}}));
    EXPECT_FALSE(t.HasError());
    // A vertex GLU made itself (no data) marks the polygon as failed.
    t.OnVertex(nullptr);
    EXPECT_TRUE(t.HasError());
}

TEST(TriangulateTest, TrianglesNeverGoToGluAndQuadsFollowTheMode)
{
    G3Surface s;
    Facet(s, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    EXPECT_FALSE(s.Triangulate(4 | 8 | 2 | 1, 0));
    EXPECT_EQ(FacetCount(s), 1);

    // A convex flat square goes only under bit 4, a concave dart under bit
    // 1 with bit 8, a bent quad under bit 2, a pentagon under bit 8 alone.
    // area < 0: not flat, not checked.
    struct Case {
        const char* name;
        std::vector<Pt> pts;
        std::vector<int> refused;
        int accepted;
        double area;
    };
    const Case cases[] = {
        {"square", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {8 | 2 | 1}, 4, 1.0},
        {"dart", {{0, 0, 0}, {2, 1, 0}, {4, 0, 0}, {2, 3, 0}}, {8, 8 | 2}, 8 | 1, 4.0},
        {"bent", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0.1}, {0, 1, 0}}, {8 | 1}, 2, -1.0},
        {"pentagon", {{0, 0, 0}, {2, 0, 0}, {3, 1, 0}, {1, 2, 0}, {-1, 1, 0}}, {}, 8, 5.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        G3Surface q;
        Facet(q, c.pts);
        for (int mode : c.refused)
            EXPECT_FALSE(q.Triangulate(mode, 0)) << mode;
        EXPECT_EQ(FacetCount(q), 1);
        EXPECT_TRUE(q.Triangulate(c.accepted, 0));
        const int n = static_cast<int>(c.pts.size());
        EXPECT_EQ(FacetCount(q), n - 2);
        EXPECT_EQ(q.GetVertexList()->size(), n);
        EXPECT_EQ(q.GetEdgeList()->size(), 2 * n - 3);
        EXPECT_EQ("", MeshCheck(&q));
        if (c.area < 0)
            continue;
        EXPECT_NEAR(TrianglesArea(q), c.area, 1e-12);
        for (int i = 0; i < FacetCount(q); ++i)
            EXPECT_GT(SignedAreaXY(FacetAt(q, i)), 0.0) << "triangles keep the facet's orientation";
    }
}

TEST(TriangulateTest, FlatnessThresholdOfHalfAMicron)
{
    const double zero[4] = {0.0, 0.0, 1.0, 0.0};
    for (double dz : {4e-7, 6e-7}) {
        G3Surface s;
        G3Facet* f = Facet(s, {{0, 0, 0}, {1, 0, 0}, {1, 1, dz}, {0, 1, 0}});
        f->SetPlane(zero);
        EXPECT_EQ(f->IsFlat(), dz < 5e-7);
        EXPECT_EQ(s.Triangulate(2, 0), dz > 5e-7) << dz;
    }
}

TEST(TriangulateTest, LShapeKeepsOuterFlagsAndMarksDiagonals)
{
    G3Surface s;
    std::vector<int> flags = {11, 12, 13, 14, 15, 16};
    Facet(s, {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}}, &flags);
    std::vector<G3Vertex*> ring = Corners(FacetAt(s, 0));
    ASSERT_EQ(ring.size(), 6u);

    ASSERT_TRUE(s.Triangulate(1, 99));
    ASSERT_EQ(FacetCount(s), 4);
    EXPECT_EQ("", MeshCheck(&s));
    EXPECT_NEAR(TrianglesArea(s), 3.0, 1e-12);

    // An outer side keeps its edge's flags and has one facet; a diagonal
    // carries 99 and is shared. Four triangles: six sides of each kind.
    int outer = 0, diagonalSides = 0;
    for (int i = 0; i < 4; ++i) {
        G3Facet* f = FacetAt(s, i);
        EXPECT_GT(SignedAreaXY(f), 0.0);
        for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
            int k = 0;
            while (k < 6 && !(e->GetVertex1() == ring[k] && e->GetVertex2() == ring[(k + 1) % 6]) &&
                   !(e->GetVertex2() == ring[k] && e->GetVertex1() == ring[(k + 1) % 6]))
                ++k;
            const bool isOuter = k < 6;
            (isOuter ? outer : diagonalSides)++;
            EXPECT_EQ(e->GetFlags(), isOuter ? flags[k] : 99);
            EXPECT_EQ(e->GetFacet2() == nullptr, isOuter);
        }
    }
    EXPECT_EQ(outer, 6);
    EXPECT_EQ(diagonalSides, 6);
}

TEST(TriangulateTest, HolesAreLeftOpenAndTheAreaIsCoveredExactly)
{
    G3Surface s;
    G3Facet* f = Facet(s, {{0, 0, 0}, {10, 0, 0}, {10, 7, 0}, {0, 7, 0}});
    // One hole running against the outer contour, one along it: the odd
    // rule leaves both open.
    Hole(s, f, {{1, 1, 0}, {1, 3, 0}, {3, 3, 0}, {3, 1, 0}});
    Hole(s, f, {{5, 2, 0}, {8, 2, 0}, {8, 5.5, 0}, {5, 5.5, 0}});
    const double expected = 70.0 - 4.0 - 10.5;

    ASSERT_TRUE(s.Triangulate(4, 0));
    EXPECT_EQ("", MeshCheck(&s));
    EXPECT_NEAR(TrianglesArea(s), expected, 1e-9 * expected);
    for (int i = 0; i < FacetCount(s); ++i) {
        double m[2] = {0, 0}; // centroid: no triangle lies in a hole
        for (G3Vertex* v : Corners(FacetAt(s, i)))
            for (int a = 0; a < 2; ++a)
                m[a] += v->GetXYZ()[a] / 3.0;
        EXPECT_FALSE(m[0] > 1 && m[0] < 3 && m[1] > 1 && m[1] < 3);
        EXPECT_FALSE(m[0] > 5 && m[0] < 8 && m[1] > 2 && m[1] < 5.5);
        EXPECT_GT(SignedAreaXY(FacetAt(s, i)), 0.0);
    }
}

TEST(TriangulateTest, CarriesExtendedDataSubSurfaceFlagsAndCorners)
{
    G3Surface s;
    G3Facet* f = Facet(s, {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {1, 1, 0}, {0, 2, 0}});
    int token = 0;
    f->GetExtendedData().Add("ZUNO_ROOF_PLANE_INDEX", &token);
    f->SetSurface(7);
    f->SetFlags(0x30);
    // Corner data per vertex, told apart by their coordinates.
    for (G3Vertex* v : Corners(f)) {
        const double* p = v->GetXYZ();
        f->SetNormal(v, s.AddNormal(p[0], p[1], 1.0), s.AddTexCoo(p[0] / 2, p[1] / 2), true);
    }

    ASSERT_TRUE(s.Triangulate(1, 0));
    ASSERT_EQ(FacetCount(s), 3);
    EXPECT_TRUE(s.GetExtendedDataFacetDefault().IsEmpty()) << "the default is restored";
    for (int i = 0; i < 3; ++i) {
        G3Facet* t = FacetAt(s, i);
        EXPECT_EQ(t->GetExtendedData().GetData("ZUNO_ROOF_PLANE_INDEX"), &token);
        EXPECT_EQ(t->GetSurface(), 7);
        EXPECT_EQ(t->GetFlags(), 0x30);
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
    EXPECT_EQ("", MeshCheck(&s));
}

TEST(TriangulateTest, FacetsGluFailsOnStayAsTheyWere)
{
    // A bow tie (its crossing would need a vertex GLU can only make through
    // a combine callback) and a collinear quad (no triangle) stay; a good
    // quad after them is still triangulated.
    const std::vector<Pt> bowtie = {{0, 0, 0}, {2, 2, 0}, {2, 0, 0}, {0, 2, 0}};
    G3Surface s;
    Facet(s, bowtie);
    Facet(s, {{5, 0, 0}, {6, 0, 0}, {7, 0, 0}, {8, 0, 0}});
    Facet(s, {{10, 0, 0}, {11, 0, 0}, {11, 1, 0}, {10, 1, 0}});
    EXPECT_TRUE(s.Triangulate(4, 0));
    ASSERT_EQ(FacetCount(s), 4);
    EXPECT_EQ(FacetAt(s, 0)->GetEdgeCount() + FacetAt(s, 1)->GetEdgeCount(), 8);
    EXPECT_EQ("", MeshCheck(&s));

    G3Surface only;
    Facet(only, bowtie);
    EXPECT_FALSE(only.Triangulate(4, 0));
    EXPECT_EQ(FacetCount(only), 1);
    EXPECT_EQ(only.GetEdgeList()->size(), 4);
}

TEST(TriangulateTest, SurfacesTriangulateOnSeveralThreadsAtOnce)
{
    // Each surface triangulated on its own thread gives the same triangles
    // as on one thread.
    auto build = [](G3Surface& s) {
        for (int k = 0; k < 200; ++k) {
            const double x = 3.0 * k;
            G3Facet* f = Facet(s, {{x, 0, 0}, {x + 2, 0, 0}, {x + 2, 2, 0}, {x + 1, 1.5, 0}, {x, 2, 0}});
            Hole(s, f, {{x + 0.5, 0.5, 0}, {x + 0.5, 1, 0}, {x + 1.5, 1, 0}, {x + 1.5, 0.5, 0}});
        }
    };
    auto signature = [](G3Surface& s) {
        std::vector<long> ids;
        for (int i = 0; i < FacetCount(s); ++i)
            for (G3Vertex* v : Corners(FacetAt(s, i)))
                ids.push_back(v->GetId());
        return ids;
    };
    G3Surface reference, a, b;
    for (G3Surface* s : {&reference, &a, &b})
        build(*s);
    reference.Triangulate(4, 0);
    std::thread ta([&] { a.Triangulate(4, 0); });
    std::thread tb([&] { b.Triangulate(4, 0); });
    ta.join();
    tb.join();
    EXPECT_EQ(signature(a), signature(reference));
    EXPECT_EQ(signature(b), signature(reference));
}

TEST(ComplexFacetTest, OuterAndInnerSquareBecomeAFacetWithAHole)
{
    G3Surface s;
    s.BeginComplexFacet();
    Facet(s, {{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}});
    Facet(s, {{1, 1, 0}, {3, 1, 0}, {3, 3, 0}, {1, 3, 0}});
    s.EndComplexFacet();
    EXPECT_EQ(s.GetExData(), nullptr);
    ASSERT_EQ(FacetCount(s), 1);
    EXPECT_EQ("", MeshCheck(&s));

    G3Facet* f = FacetAt(s, 0);
    const double inHole[3] = {2, 2, 0}, inRing[3] = {0.5, 2, 0};
    EXPECT_FALSE(f->PointInFacet(0, 1, inHole, nullptr, nullptr, 1e-6));
    EXPECT_TRUE(f->PointInFacet(0, 1, inRing, nullptr, nullptr, 1e-6));

    ASSERT_TRUE(s.Triangulate(4, 0));
    EXPECT_NEAR(TrianglesArea(s), 12.0, 1e-9);

    // An empty bracket leaves the surface alone.
    s.BeginComplexFacet();
    s.EndComplexFacet();
    EXPECT_EQ(s.GetExData(), nullptr);
    EXPECT_EQ(FacetCount(s), 8);
}

TEST(BuilderTest, GetContourOfAnOpenSquareAndAClosedCube)
{
    G3Surface sq;
    Facet(sq, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
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
    for (int k = 0; k < 8; ++k)
        cube.AddVertex(k & 1, (k >> 1) & 1, (k >> 2) & 1, 0);
    int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (auto& q : faces)
        ASSERT_NE(cube.AddFacet(4, q, 1, nullptr, nullptr), nullptr);
    Facet(two, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    Facet(two, {{5, 0, 0}, {6, 0, 0}, {6, 1, 0}, {5, 1, 0}});
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
    EXPECT_EQ(s.GetVertexList()->size(), 2);
    EXPECT_EQ(FacetCount(s), 0);
    EXPECT_EQ(s.AddOneFacetFromVertices(pts, 4), 6);
    ASSERT_EQ(FacetCount(s), 1);

    G3Surface t;
    G3Vertex* v[3] = {t.AddVertex(0, 0, 0, 0), t.AddVertex(1, 0, 0, 0), t.AddVertex(0, 1, 0, 0)};
    GArrayCollection lists;
    lists.add(new G3EdgeList(3, v, nullptr, nullptr, nullptr, 0, 4));
    lists.add(new G3EdgeList(3, v, nullptr, nullptr, nullptr, 0, 5));
    t.AddFacets(&lists);
    EXPECT_EQ(lists.size(), 0);
    ASSERT_EQ(FacetCount(t), 2);
    EXPECT_EQ(FacetAt(t, 0)->GetSurface(), 4);
    EXPECT_EQ(FacetAt(t, 1)->GetSurface(), 5);
    EXPECT_EQ("", MeshCheck(&t));
}
