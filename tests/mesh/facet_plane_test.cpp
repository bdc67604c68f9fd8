// A facet's plane is formed from its own corners without an iterator; it
// must be bit for bit the plane the generic polygon function gives for the
// facet's vertex walk (with the fallback for facets whose area plane is
// zero).

#include "mesh_builder.h"

#include "Geometry/math/G3Math.h"
#include "Geometry/math/GMatrix.h"
#include "Geometry/mesh/G3FacetIterators.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

// The plane as the generic polygon functions give it for f's vertex walk.
void ReferencePlane(G3Facet* f, double plane[4])
{
    G3FacetVertexIterator it(f);
    G3Math::FormPlaneEquation(&it, plane);
    if (plane[0] == 0.0 && plane[1] == 0.0 && plane[2] == 0.0 && plane[3] == 0.0) {
        G3FacetVertexIterator again(f);
        int i = 0, j = 1;
        G3Math::FormMaxPlaneCoo(&again, &i, &j, plane);
    }
}

void ExpectReferencePlane(G3Facet* f)
{
    double expected[4];
    ReferencePlane(f, expected);
    EXPECT_TRUE(f->FormPlaneEquation());
    EXPECT_EQ(std::memcmp(expected, f->GetPlane(), sizeof expected), 0)
        << f->GetPlane()[0] << " " << f->GetPlane()[1] << " " << f->GetPlane()[2] << " " << f->GetPlane()[3];
}

// The area-normal plane through the centroid, written with the vector
// helpers: the planes stored so far were computed this way, bit for bit.
void DefiningPlane(const std::vector<const double*>& pts, double plane[4])
{
    const int n = static_cast<int>(pts.size());
    const double* p0 = pts[0];
    double nv[3] = {0.0, 0.0, 0.0};
    for (int k = 1; k < n; ++k) {
        const double* p = pts[k];
        const double* prev = pts[k - 1];
        const double* next = pts[(k + 1) % n];
        nv[0] += (p[2] - p0[2]) * (prev[1] - next[1]);
        nv[1] += (p[0] - p0[0]) * (prev[2] - next[2]);
        nv[2] += (p[1] - p0[1]) * (prev[0] - next[0]);
    }
    const double len = V3Length(nv);
    double centroid[3] = {0.0, 0.0, 0.0};
    for (int k = 0; k < n; ++k)
        V3Add(centroid, pts[k], centroid);
    V3Scale(centroid, 1.0 / n);
    for (int k = 0; k < 3; ++k)
        plane[k] = nv[k] / len;
    plane[3] = -V3Dot(centroid, plane);
}

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
        std::vector<const double*> pts;
        for (G3Vertex* v : loop)
            pts.push_back(v->GetXYZ());
        double defining[4];
        DefiningPlane(pts, defining);
        EXPECT_EQ(std::memcmp(defining, f->GetPlane(), sizeof defining), 0);
        EXPECT_NEAR(f->GetPlane()[0] * f->GetPlane()[0] + f->GetPlane()[1] * f->GetPlane()[1] +
                        f->GetPlane()[2] * f->GetPlane()[2],
                    1.0, 1e-12);
    }
}

// Chains the plain walk would not treat as one loop: a hole as a second
// contour (both contours count as one polygon, as the walk yields them), a
// spike out and back, fewer than three corners, collinear corners (the
// fallback plane) and an edge without its ends.
TEST(FacetPlane, SpecialChains)
{
    MeshBuilder b;
    G3Vertex* o[4] = {b.V(0, 0), b.V(8, 0), b.V(8, 8), b.V(0, 8)};
    G3Vertex* h[4] = {b.V(2, 2, 0.5), b.V(2, 6, 0.5), b.V(6, 6, 0.5), b.V(6, 2, 0.5)};
    G3Facet* holed = b.F();
    b.AddContour(holed, {o[0], o[1], o[2], o[3]});
    b.AddContour(holed, {h[0], h[1], h[2], h[3]});
    ExpectReferencePlane(holed);

    G3Vertex* tip = b.V(12, 4, 1);
    G3Facet* spiked = b.F();
    MeshBuilder::Attach(spiked, b.E(o[0], o[1]));
    MeshBuilder::Attach(spiked, b.E(o[1], tip));
    MeshBuilder::Attach(spiked, b.E(tip, o[1]));
    MeshBuilder::Attach(spiked, b.E(o[1], o[2]));
    MeshBuilder::Attach(spiked, b.E(o[2], o[0]));
    ExpectReferencePlane(spiked);

    G3Facet* two = b.F();
    b.AddContour(two, {o[0], o[2]});
    ExpectReferencePlane(two);

    G3Facet* line = b.F({b.V(0, 0, 0), b.V(1, 1, 1), b.V(2, 2, 2), b.V(3, 3, 3)});
    ExpectReferencePlane(line);

    G3Facet* broken = b.F();
    MeshBuilder::Attach(broken, b.E(o[0], o[1]));
    MeshBuilder::Attach(broken, b.E(o[1], o[2]));
    G3Edge* loose = new G3Edge(nullptr, nullptr);
    b.edges.push_back(loose);
    MeshBuilder::Attach(broken, loose);
    MeshBuilder::Attach(broken, b.E(o[2], o[3]));
    MeshBuilder::Attach(broken, b.E(o[3], o[0]));
    ExpectReferencePlane(broken);

    G3Facet* empty = b.F();
    ExpectReferencePlane(empty);
}

TEST(FacetPlane, PolygonFunctionRefusesMissingInput)
{
    const double a[3] = {0, 0, 0}, c[3] = {1, 0, 0}, d[3] = {0, 1, 0};
    const double* pts[3] = {a, c, d};
    double plane[4] = {9, 9, 9, 9};
    EXPECT_FALSE(G3Math::PlaneOfPolygon(pts, 3, nullptr));
    EXPECT_FALSE(G3Math::PlaneOfPolygon(nullptr, 3, plane));
    EXPECT_EQ(plane[0], 0.0);
    ASSERT_TRUE(G3Math::PlaneOfPolygon(pts, 3, plane));
    EXPECT_EQ(plane[2], 1.0);
    EXPECT_EQ(plane[3], 0.0);
}

} // namespace
