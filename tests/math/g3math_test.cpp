#include "Geometry/math/G3Math.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Vertex.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <memory>
#include <vector>

namespace {

const double kPi = 3.14159265358979323846;

// A closed polygon of owned points, read through a fresh iterator each time.
struct Polygon {
    Polygon(std::initializer_list<std::initializer_list<double>> coords)
    {
        for (const auto& c : coords) {
            const double* v = c.begin();
            points.emplace_back(new G3Point(v[0], v[1], v[2]));
            list.add(points.back().get());
        }
    }
    GIterator* Iterator()
    {
        it.init(&list);
        return &it;
    }
    std::vector<std::unique_ptr<G3Point>> points;
    GArrayCollection list;
    GArrayCollectionIterator it;
};

void ExpectNear(const double* got, const std::vector<double>& want, double tol = 1e-12)
{
    for (std::size_t k = 0; k < want.size(); ++k)
        EXPECT_NEAR(got[k], want[k], tol) << "index " << k;
}

}  // namespace

TEST(G3Math, TriangleSignsAndContainment)
{
    const double a[3] = {0, 0, 0}, b[3] = {4, 0, 0}, c[3] = {0, 4, 0}, nearly[3] = {2, 1e-13, 0};
    EXPECT_EQ(G3Math::GetArea2(a, b, c, 0, 1), 16.0);
    EXPECT_EQ(G3Math::GetAreaSign(a, b, c, 0, 1), 1);
    EXPECT_EQ(G3Math::GetAreaSign(a, c, b, 0, 1), -1);
    EXPECT_TRUE(G3Math::IsCollinear(a, b, nearly, 0, 1));
    EXPECT_TRUE(G3Math::IsCollinear(a, b, c, 0, 2)); // seen along x: a segment

    // Inside and on an edge count, in either orientation.
    const double in[3] = {1, 1, 0}, onEdge[3] = {2, 2, 0}, out[3] = {3, 3, 0};
    EXPECT_TRUE(G3Math::PointInTriangle(in, a, c, b, 0, 1));
    EXPECT_TRUE(G3Math::PointInTriangle(onEdge, a, b, c, 0, 1));
    EXPECT_FALSE(G3Math::PointInTriangle(out, a, b, c, 0, 1));
    G3Vertex va(a), vb(b), vc(c), vp(onEdge);
    EXPECT_TRUE(G3Math::PointInTriangle(&vp, &va, &vc, &vb, 0, 1));

    // A projection pair outside 0..2 is degenerate input, not a crash.
    EXPECT_EQ(G3Math::GetArea2(a, b, c, 0, 3), 0.0);
    EXPECT_FALSE(G3Math::PointInTriangle(in, a, b, c, -1, 1));
}

// A triangle without area is its longest side: it holds that side's points
// (within the tolerance of its edges) and nothing else on its line, whatever
// the order of its corners; collapsed to a point, it holds that point.
TEST(G3Math, TrianglesWithoutAreaHoldOnlyTheirSide)
{
    const double a[3] = {0, 0, 7}, b[3] = {1, 0, -3}, c[3] = {2, 0, 1};
    const double* orders[6][3] = {{a, b, c}, {a, c, b}, {b, a, c}, {b, c, a}, {c, a, b}, {c, b, a}};
    const double inside[4][3] = {{1.5, 0, 0}, {2, 0, 0}, {-0.25e-12, 0, 0}, {1, 1e-13, 0}};
    const double outside[5][3] = {{100, 0, 0}, {-0.1, 0, 0}, {2 + 1e-9, 0, 0}, {1, 1e-3, 0}, {-50, 0, 0}};
    for (const auto& t : orders) {
        for (const double* p : inside)
            EXPECT_TRUE(G3Math::PointInTriangle(p, t[0], t[1], t[2], 0, 1)) << p[0] << " " << p[1];
        for (const double* p : outside)
            EXPECT_FALSE(G3Math::PointInTriangle(p, t[0], t[1], t[2], 0, 1)) << p[0] << " " << p[1];
    }

    // Two corners in one place: the side to the third corner.
    const double o[3] = {0, 0, 0}, far[3] = {3, 4, 0}, half[3] = {1.5, 2, 0}, beyond[3] = {6, 8, 0};
    EXPECT_TRUE(G3Math::PointInTriangle(half, o, o, far, 0, 1));
    EXPECT_FALSE(G3Math::PointInTriangle(beyond, o, far, o, 0, 1));

    // All three in one place: only points within 1e-6 of it.
    const double near[3] = {0.5e-6, 0, 0}, next[3] = {2e-6, 0, 0}, away[3] = {100, 100, 0};
    EXPECT_TRUE(G3Math::PointInTriangle(o, o, o, o, 0, 1));
    EXPECT_TRUE(G3Math::PointInTriangle(near, o, o, o, 0, 1));
    EXPECT_FALSE(G3Math::PointInTriangle(next, o, o, o, 0, 1));
    EXPECT_FALSE(G3Math::PointInTriangle(away, o, o, o, 0, 1));

    // Seen along y, a vertical triangle is a side in the (x, z) projection.
    const double up[3] = {0, 0, 0}, side[3] = {0, 5, 4}, top[3] = {0, -5, 8};
    const double onIt[3] = {0, 9, 6}, past[3] = {0, 0, 9};
    EXPECT_TRUE(G3Math::PointInTriangle(onIt, up, side, top, 0, 2));
    EXPECT_FALSE(G3Math::PointInTriangle(past, up, side, top, 0, 2));
}

TEST(G3Math, AnglesProjectionPairsAndLineIntersection)
{
    const double o[3] = {1, 1, 0}, east[3] = {2, 1, 0}, south[3] = {1, 0, 0};
    EXPECT_EQ(G3Math::CalcAngle(o, east, 0.0, 0, 1), 0.0);
    EXPECT_NEAR(G3Math::CalcAngle(o, south, 0.0, 0, 1), 1.5 * kPi, 1e-15);
    // Measured from a base, wrapped back into [0, 2pi).
    EXPECT_NEAR(G3Math::CalcAngle(o, east, kPi / 2, 0, 1), 1.5 * kPi, 1e-15);
    EXPECT_NEAR(G3Math::CalcAngle(o, south, -kPi, 0, 1), 0.5 * kPi, 1e-15);

    int i = -1, j = -1;
    const double normals[4][3] = {{-3, 1, 1}, {0.5, 2, -1}, {1, 1, -2}, {0, 1, 1}};
    const int pairs[4] = {12, 2, 1, 2}; // a y-z tie keeps y
    for (int k = 0; k < 4; ++k) {
        G3Math::GetMaxCoo(normals[k], &i, &j);
        EXPECT_EQ(i * 10 + j, pairs[k]) << "normal " << k;
    }

    const double a0[3] = {0, 0, 0}, a1[3] = {4, 4, 8}, b0[3] = {0, 4, 0}, b1[3] = {4, 0, 0};
    const double p0[3] = {0, 1, 0}, p1[3] = {4, 5, 0};
    double point[3], t = -1;
    ASSERT_EQ(G3Math::FindLineIntersection(a0, a1, b0, b1, 0, 1, point, &t), 1);
    EXPECT_DOUBLE_EQ(t, 0.5);
    ExpectNear(point, {2, 2, 4}); // z follows the first line
    EXPECT_EQ(G3Math::FindLineIntersection(a0, a1, p0, p1, 0, 1, point, &t), 0);
}

TEST(G3Math, NormalsAreasAndEnvelopes)
{
    const double p0[3] = {0, 0, 1}, p1[3] = {2, 0, 1}, p2[3] = {0, 2, 1};
    double n[3];
    ASSERT_TRUE(G3Math::CalculateNormal(p0, p1, p2, n));
    EXPECT_DOUBLE_EQ(n[2], 1.0);
    Polygon square({{0, 0, 3}, {2, 0, 3}, {2, 2, 3}, {0, 2, 3}});
    EXPECT_DOUBLE_EQ(G3Math::CalcSquare(square.Iterator(), n), 4.0);
    ExpectNear(n, {0, 0, 8});

    GEnvelope env;
    Polygon empty({});
    env.Set(5.0, 6.0);
    EXPECT_FALSE(G3Math::FormEnvelope(empty.Iterator(), &env));
    EXPECT_EQ(env.max[0], 0.0);
}

TEST(G3Math, ConvexTest)
{
    // A collinear extra point is ignored; the L is concave wherever it
    // starts, its reflex corner included; a line or an edge-on view is
    // degenerate.
    Polygon square({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    Polygon withMid({{0, 0, 0}, {0.5, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    Polygon ell({{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}});
    Polygon ellFromReflex({{1, 1, 0}, {1, 2, 0}, {0, 2, 0}, {0, 0, 0}, {2, 0, 0}, {2, 1, 0}});
    Polygon line({{0, 0, 0}, {1, 1, 0}, {3, 3, 0}});
    EXPECT_EQ(G3Math::ConvexTest(square.Iterator(), 0, 1), 1);
    EXPECT_EQ(G3Math::ConvexTest(withMid.Iterator(), 0, 1), 1);
    EXPECT_EQ(G3Math::ConvexTest(ell.Iterator(), 0, 1), 2);
    EXPECT_EQ(G3Math::ConvexTest(ellFromReflex.Iterator(), 0, 1), 2);
    EXPECT_EQ(G3Math::ConvexTest(line.Iterator(), 0, 1), 0);
    EXPECT_EQ(G3Math::ConvexTest(square.Iterator(), 0, 2), 0);
}

TEST(G3Math, PlaneEquations)
{
    double plane[4];
    Polygon ccw({{0, 0, 2}, {1, 0, 2}, {1, 1, 2}, {0, 1, 2}});
    ASSERT_TRUE(G3Math::FormPlaneEquation(ccw.Iterator(), plane));
    ExpectNear(plane, {0, 0, 1, -2});
    Polygon cw({{0, 0, 2}, {0, 1, 2}, {1, 1, 2}, {1, 0, 2}});
    ASSERT_TRUE(G3Math::FormPlaneEquation(cw.Iterator(), plane));
    ExpectNear(plane, {0, 0, -1, 2});
    Polygon line({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {5, 0, 0}});
    EXPECT_FALSE(G3Math::FormPlaneEquation(line.Iterator(), plane));
    ExpectNear(plane, {0, 0, 0, 0}, 0);

    // FormMaxPlane keeps the largest fan triangle from (0,0,0): a tilted
    // sliver first, then a big flat one.
    Polygon fan({{0, 0, 0}, {0.1, 0, 0.1}, {1, 0, 0}, {0, 5, 0}});
    ASSERT_TRUE(G3Math::FormMaxPlane(fan.Iterator(), plane));
    ExpectNear(plane, {0, 0, 1, 0});
    plane[0] = 3;
    EXPECT_FALSE(G3Math::FormMaxPlane(line.Iterator(), plane));
    ExpectNear(plane, {0, 0, 0, 0}, 0);
}

TEST(G3Math, FormMaxPlaneCoo)
{
    int i = -1, j = -1;
    double plane[4];
    // A square with a point in the middle of one side: the collinear corner
    // adds nothing and the plane still passes through the square.
    Polygon square({{0, 0, 3}, {1, 0, 3}, {2, 0, 3}, {2, 2, 3}, {0, 2, 3}});
    ASSERT_TRUE(G3Math::FormMaxPlaneCoo(square.Iterator(), &i, &j, plane));
    ExpectNear(plane, {0, 0, 1, -3});
    EXPECT_TRUE(i == 0 && j == 1);

    // A non-planar quad still gets a plane, its area plane.
    Polygon warped({{0, 0, 0}, {1, 0, 0.1}, {1, 1, 0}, {0, 1, 0.1}});
    ASSERT_TRUE(G3Math::FormMaxPlaneCoo(warped.Iterator(), &i, &j, plane));
    EXPECT_NEAR(std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]), 1.0, 1e-12);
    EXPECT_GT(plane[2], 0.99);

    // All collinear: the longest edge (here the closing one) spans the plane
    // through the origin, and the result is false.
    Polygon line({{0, 1, 0}, {1, 1, 0}, {3, 1, 0}});
    EXPECT_FALSE(G3Math::FormMaxPlaneCoo(line.Iterator(), &i, &j, plane));
    ExpectNear(plane, {0, 0, 1, 0});
    EXPECT_TRUE(i == 0 && j == 1);
    Polygon vertical({{1, 0, 0}, {1, 0, 1}});
    EXPECT_FALSE(G3Math::FormMaxPlaneCoo(vertical.Iterator(), &i, &j, plane));
    ExpectNear(plane, {0, -1, 0, 0});
    EXPECT_TRUE(i == 0 && j == 2);
    Polygon single({{1, 2, 7}});
    EXPECT_FALSE(G3Math::FormMaxPlaneCoo(single.Iterator(), &i, &j, plane));
    ExpectNear(plane, {0, 0, 1, -7}, 0);
}

TEST(G3Math, PtOnSegment)
{
    G3Point a(0, 0, 0), b(4, 2, 0), mid(2, 1, 0), beyond(6, 3, 0), off(2, 1.001, 0);
    EXPECT_TRUE(PtOnSegment(&a, &a, &b) && PtOnSegment(&b, &a, &b) && PtOnSegment(&mid, &a, &b));
    EXPECT_FALSE(PtOnSegment(&beyond, &a, &b));
    EXPECT_FALSE(PtOnSegment(&off, &a, &b));
    EXPECT_FALSE(PtOnSegment(&a, &a, &a));
    // Ends are kept with a tolerance of 1e-6 along the segment.
    const double p[3] = {-0.5e-6, 0, 0}, q[3] = {-2e-6, 0, 0}, s0[3] = {0, 0, 0}, s1[3] = {1, 0, 0};
    EXPECT_TRUE(PtOnSegment(p, s0, s1));
    EXPECT_FALSE(PtOnSegment(q, s0, s1));

    // The end tolerance scales with the segment; the one across does not.
    const double longEnd[3] = {1e6, 0, 0}, pastLong[3] = {1e6 + 0.5, 0, 0};
    const double shortEnd[3] = {1e-3, 0, 0}, pastShort[3] = {1e-3 + 1e-8, 0, 0};
    const double besideLong[3] = {5e5, 0.5e-6, 0}, offLong[3] = {5e5, 2e-6, 0};
    EXPECT_TRUE(PtOnSegment(pastLong, s0, longEnd));
    EXPECT_FALSE(PtOnSegment(pastShort, s0, shortEnd));
    EXPECT_TRUE(PtOnSegment(besideLong, s0, longEnd));
    EXPECT_FALSE(PtOnSegment(offLong, s0, longEnd));
}
