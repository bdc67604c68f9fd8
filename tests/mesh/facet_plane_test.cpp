// A facet's plane is formed from its own corners without an iterator; it
// must be bit for bit the plane the generic polygon function gives for the
// facet's vertex walk (with the fallback for facets whose area plane is
// zero).

#include "mesh_builder.h"

#include "Geometry/math/G3Math.h"
#include "Geometry/mesh/G3FacetIterators.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <new>
#include <random>
#include <utility>
#include <vector>

namespace {

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
// contour (both contours count as one polygon, as the walk yields them), a
// spike out and back, fewer than three corners, collinear corners and a bow
// tie (the fallback plane), an edge without its ends, no edges at all.
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
    for (G3Facet* f : {holed, spiked, ChainOf(b, {{o[0], o[2]}, {o[2], o[0]}}), line, bow, broken, b.F()})
        ExpectReferencePlane(f);
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
