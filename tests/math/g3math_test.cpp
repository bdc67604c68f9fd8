#include "Geometry/math/G3Math.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GMatrix.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Point.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

using Point = std::array<double, 3>;
using Corners = std::vector<Point>;

const double kPi = 3.14159265358979323846;

// A closed polygon of owned points, read through a fresh iterator each time.
struct Polygon {
    explicit Polygon(const Corners& corners)
    {
        for (const Point& c : corners) {
            points.emplace_back(new G3Point(c.data()));
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

// Twice the signed area of a, b, c on (i, j), exact for small integers.
double Cross(const double* a, const double* b, const double* c, int i, int j)
{
    return (b[i] - a[i]) * (c[j] - a[j]) - (b[j] - a[j]) * (c[i] - a[i]);
}

// p on the segment a-b of the projection (a point when a = b).
bool OnSegment(const double* p, const double* a, const double* b, int i, int j)
{
    const double along = (p[i] - a[i]) * (b[i] - a[i]) + (p[j] - a[j]) * (b[j] - a[j]);
    const double len2 = (b[i] - a[i]) * (b[i] - a[i]) + (b[j] - a[j]) * (b[j] - a[j]);
    if (len2 == 0)
        return p[i] == a[i] && p[j] == a[j];
    return Cross(a, b, p, i, j) == 0 && along >= 0 && along <= len2;
}

}  // namespace

// Triangles and points on a small integer grid, so that shared corners,
// points on edges and triangles without area (collinear or collapsed
// corners) are common, against exact integer signs; a triangle without area
// holds the points of its longest side only.
TEST(G3Math, RandomTrianglesAgainstExactSigns)
{
    std::mt19937 rng(17);
    std::uniform_int_distribution<int> coord(0, 3), pair(0, 2);
    const int pairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
    for (int trial = 0; trial < 20000; ++trial) {
        double v[4][3];
        for (auto& q : v)
            for (double& c : q)
                c = coord(rng);
        const int* pr = pairs[pair(rng)];
        const int i = pr[0], j = pr[1];
        SCOPED_TRACE(trial);
        const double area2 = Cross(v[0], v[1], v[2], i, j);
        ASSERT_EQ(G3Math::GetArea2(v[0], v[1], v[2], i, j), area2);
        ASSERT_EQ(G3Math::GetAreaSign(v[0], v[1], v[2], i, j), area2 > 0 ? 1 : area2 < 0 ? -1 : 0);
        ASSERT_EQ(G3Math::IsCollinear(v[0], v[1], v[2], i, j), area2 == 0);
        bool inside;
        if (area2 != 0) {
            const double s[3] = {Cross(v[0], v[1], v[3], i, j), Cross(v[1], v[2], v[3], i, j),
                                 Cross(v[2], v[0], v[3], i, j)};
            inside = (s[0] >= 0 && s[1] >= 0 && s[2] >= 0) || (s[0] <= 0 && s[1] <= 0 && s[2] <= 0);
        } else {
            // The longest side of a flat triangle holds the other two.
            inside = OnSegment(v[3], v[0], v[1], i, j) || OnSegment(v[3], v[1], v[2], i, j) ||
                     OnSegment(v[3], v[2], v[0], i, j);
        }
        ASSERT_EQ(G3Math::PointInTriangle(v[3], v[0], v[1], v[2], i, j), inside);
    }
}

// Where the tolerances decide: sides without area under rounding, a
// collapsed triangle's 1e-6, and projection pairs outside 0..2.
TEST(G3Math, TrianglesWithinTolerances)
{
    const double a[3] = {0, 0, 7}, b[3] = {1, 0, -3}, c[3] = {2, 0, 1}, nearly[3] = {2, 1e-13, 0};
    EXPECT_TRUE(G3Math::IsCollinear(a, b, nearly, 0, 1));
    const double* orders[3][3] = {{a, b, c}, {b, c, a}, {c, a, b}};
    const double inside[3][3] = {{2, 0, 0}, {-0.25e-12, 0, 0}, {1, 1e-13, 0}};
    const double outside[2][3] = {{2 + 1e-9, 0, 0}, {1, 1e-3, 0}};
    for (const auto& t : orders) {
        for (const double* p : inside)
            EXPECT_TRUE(G3Math::PointInTriangle(p, t[0], t[1], t[2], 0, 1)) << p[0] << " " << p[1];
        for (const double* p : outside)
            EXPECT_FALSE(G3Math::PointInTriangle(p, t[0], t[1], t[2], 0, 1)) << p[0] << " " << p[1];
    }
    const double o[3] = {0, 0, 0}, near[3] = {0.5e-6, 0, 0}, next[3] = {2e-6, 0, 0};
    EXPECT_TRUE(G3Math::PointInTriangle(near, o, o, o, 0, 1));
    EXPECT_FALSE(G3Math::PointInTriangle(next, o, o, o, 0, 1));
    // A collapsed triangle shorter than 1e-6 holds what lies within 1e-6 of
    // its side, past the far end or beside the middle too.
    const double s0[3] = {0, 0, 0}, s1[3] = {0.9e-6, 0, 0}, s2[3] = {0.45e-6, 0, 0};
    const double pastEnd[3] = {1.7e-6, 0, 0}, beside[3] = {0.9e-6, 0.9e-6, 0}, away[3] = {2.1e-6, 0, 0};
    EXPECT_TRUE(G3Math::PointInTriangle(pastEnd, s0, s1, s2, 0, 1));
    EXPECT_TRUE(G3Math::PointInTriangle(beside, s0, s1, s2, 0, 1));
    EXPECT_FALSE(G3Math::PointInTriangle(away, s0, s1, s2, 0, 1));

    const double in[3] = {0.5, 0.5, 0};
    EXPECT_EQ(G3Math::GetArea2(a, b, nearly, 0, 3), 0.0);
    EXPECT_FALSE(G3Math::PointInTriangle(in, a, b, nearly, -1, 1));
}

TEST(G3Math, AnglesProjectionPairsAndLineIntersection)
{
    const double o[3] = {1, 1, 0}, east[3] = {2, 1, 0}, south[3] = {1, 0, 0};
    EXPECT_EQ(G3Math::CalcAngle(o, east, 0.0, 0, 1), 0.0);
    EXPECT_NEAR(G3Math::CalcAngle(o, south, 0.0, 0, 1), 1.5 * kPi, 1e-15);
    // Measured from a base, wrapped back into [0, 2pi).
    EXPECT_NEAR(G3Math::CalcAngle(o, east, kPi / 2, 0, 1), 1.5 * kPi, 1e-15);
    EXPECT_NEAR(G3Math::CalcAngle(o, south, -kPi, 0, 1), 0.5 * kPi, 1e-15);
    // Bases more than a turn away.
    EXPECT_NEAR(G3Math::CalcAngle(o, east, 4 * kPi, 0, 1), 0.0, 1e-14);
    EXPECT_NEAR(G3Math::CalcAngle(o, south, 7.0, 0, 1), 1.5 * kPi - (7.0 - 2 * kPi), 1e-14);
    EXPECT_NEAR(G3Math::CalcAngle(o, east, -5 * kPi / 2, 0, 1), 0.5 * kPi, 1e-14);

    int i = -1, j = -1;
    const double normals[4][3] = {{-3, 1, 1}, {0.5, 2, -1}, {1, 1, -2}, {0, 1, 1}};
    const int pairs[4] = {12, 2, 1, 2};  // a y-z tie keeps y
    for (int k = 0; k < 4; ++k) {
        G3Math::GetMaxCoo(normals[k], &i, &j);
        EXPECT_EQ(i * 10 + j, pairs[k]) << "normal " << k;
    }

    const double a0[3] = {0, 0, 0}, a1[3] = {4, 4, 8}, b0[3] = {0, 4, 0}, b1[3] = {4, 0, 0};
    const double p0[3] = {0, 1, 0}, p1[3] = {4, 5, 0};
    double point[3], t = -1;
    ASSERT_EQ(G3Math::FindLineIntersection(a0, a1, b0, b1, 0, 1, point, &t), 1);
    EXPECT_DOUBLE_EQ(t, 0.5);
    ExpectNear(point, {2, 2, 4});  // z follows the first line
    EXPECT_EQ(G3Math::FindLineIntersection(a0, a1, p0, p1, 0, 1, point, &t), 0);
}

// A collinear extra point is ignored; the L is concave wherever it starts,
// its reflex corner included; a line or an edge-on view is degenerate.
TEST(G3Math, ConvexTest)
{
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
    // Turning one way at every corner but going round twice.
    Polygon pentagram({{0, 1, 0}, {0.588, -0.809, 0}, {-0.951, 0.309, 0}, {0.951, 0.309, 0}, {-0.588, -0.809, 0}});
    Polygon twice({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    EXPECT_EQ(G3Math::ConvexTest(pentagram.Iterator(), 0, 1), 2);
    EXPECT_EQ(G3Math::ConvexTest(twice.Iterator(), 0, 1), 2);
    EXPECT_EQ(G3Math::ConvexTest(square.Iterator(), 0, 2), 0);
}

// Polygons without area: every plane function says false, with its own
// fallback plane.
TEST(G3Math, PlanesOfDegeneratePolygons)
{
    double plane[4], n[3];
    int i = -1, j = -1;
    const double p0[3] = {0, 0, 1}, p1[3] = {2, 0, 1}, p2[3] = {0, 2, 1};
    ASSERT_TRUE(G3Math::CalculateNormal(p0, p1, p2, n));
    ExpectNear(n, {0, 0, 1});
    EXPECT_FALSE(G3Math::CalculateNormal(p0, p1, p1, n));
    ExpectNear(n, {0, 0, 0}, 0);
    Polygon line({{0, 1, 0}, {1, 1, 0}, {3, 1, 0}});
    EXPECT_FALSE(G3Math::FormPlaneEquation(line.Iterator(), plane));
    ExpectNear(plane, {0, 0, 0, 0}, 0);
    plane[0] = 3;
    EXPECT_FALSE(G3Math::FormMaxPlane(line.Iterator(), plane));
    ExpectNear(plane, {0, 0, 0, 0}, 0);
    // FormMaxPlaneCoo: the longest edge (here the closing one) spans the
    // plane through the origin; two points, the vertical plane through
    // them; one point, the horizontal plane through it.
    const struct {
        Corners corners;
        std::vector<double> plane;
        int pair;
    } chains[] = {{{{0, 1, 0}, {1, 1, 0}, {3, 1, 0}}, {0, 0, 1, 0}, 1},
                  {{{1, 0, 0}, {1, 0, 1}}, {0, -1, 0, 0}, 2},
                  {{{1, 2, 7}}, {0, 0, 1, -7}, 1}};
    for (const auto& chain : chains) {
        Polygon poly(chain.corners);
        EXPECT_FALSE(G3Math::FormMaxPlaneCoo(poly.Iterator(), &i, &j, plane));
        ExpectNear(plane, chain.plane);
        EXPECT_EQ(i * 10 + j, chain.pair) << chain.corners.size();
    }
    GEnvelope env;
    env.Set(5.0, 6.0);
    Polygon empty(Corners{});
    EXPECT_FALSE(G3Math::FormEnvelope(empty.Iterator(), &env));
    EXPECT_EQ(env.max[0], 0.0);

    // FormMaxPlane keeps the largest fan triangle from (0,0,0): a tilted
    // sliver first, then a big flat one.
    Polygon fan({{0, 0, 0}, {0.1, 0, 0.1}, {1, 0, 0}, {0, 5, 0}});
    ASSERT_TRUE(G3Math::FormMaxPlane(fan.Iterator(), plane));
    ExpectNear(plane, {0, 0, 1, 0});
}

TEST(G3Math, PtOnSegment)
{
    // A segment without length holds nothing, not even its own end.
    G3Point a(0, 0, 0);
    EXPECT_FALSE(PtOnSegment(&a, &a, &a));
    // The end tolerance (1e-6 along) scales with the segment; the one
    // across does not.
    const double s0[3] = {0, 0, 0}, s1[3] = {1, 0, 0}, p[3] = {-0.5e-6, 0, 0}, q[3] = {-2e-6, 0, 0};
    const double longEnd[3] = {1e6, 0, 0}, pastLong[3] = {1e6 + 0.5, 0, 0};
    const double shortEnd[3] = {1e-3, 0, 0}, pastShort[3] = {1e-3 + 1e-8, 0, 0};
    const double besideLong[3] = {5e5, 0.5e-6, 0}, offLong[3] = {5e5, 2e-6, 0};
    EXPECT_TRUE(PtOnSegment(p, s0, s1) && PtOnSegment(pastLong, s0, longEnd));
    EXPECT_TRUE(PtOnSegment(besideLong, s0, longEnd));
    EXPECT_FALSE(PtOnSegment(q, s0, s1) || PtOnSegment(pastShort, s0, shortEnd));
    EXPECT_FALSE(PtOnSegment(offLong, s0, longEnd));
}

// PtOnSegment against a long-double oracle taken about the segment, on a
// family that sits on its band's edges: a few tolerances across and past
// either end, lengths down to below kZeroLength, from the origin out to
// site coordinates (1e7), where short segments are the usual case. Only
// points the oracle puts within a hair of a threshold may go either way.
TEST(G3Math, PtOnSegmentHoldsItsBandAtSiteCoordinates)
{
    using L = long double;
    // 1 on, 0 off, -1 too near a threshold to tell.
    const auto oracle = [](const double* p, const double* a, const double* b) {
        L pb[3], ab[3], len2 = 0.0L, along = 0.0L;
        for (int k = 0; k < 3; ++k) {
            pb[k] = static_cast<L>(p[k]) - b[k];
            ab[k] = static_cast<L>(a[k]) - b[k];
            len2 += ab[k] * ab[k];
            along += pb[k] * ab[k];
        }
        const L len = std::sqrt(len2);
        const L near = 1e-3L * GTolerance::kZeroLength;
        if (std::fabs(len - GTolerance::kZeroLength) < near)
            return -1;
        if (len < GTolerance::kZeroLength)
            return 0;
        const L t = along / len2, slack = 1e-3L * GTolerance::kSegmentEnd;
        for (const L edge : {-L(GTolerance::kSegmentEnd), 1.0L + GTolerance::kSegmentEnd})
            if (std::fabs(t - edge) < slack)
                return -1;
        if (t <= -GTolerance::kSegmentEnd || t >= 1.0L + GTolerance::kSegmentEnd)
            return 0;
        L d2 = 0.0L;
        for (int k = 0; k < 3; ++k)
            d2 += (t * ab[k] - pb[k]) * (t * ab[k] - pb[k]);
        const L d = std::sqrt(d2);
        if (std::fabs(d - GTolerance::kPlaneSide) < 1e-3L * GTolerance::kPlaneSide)
            return -1;
        return d < GTolerance::kPlaneSide ? 1 : 0;
    };
    std::mt19937 rng(20261208u);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const double tol = GTolerance::kPlaneSide;
    int on = 0, off = 0, site = 0;
    for (int i = 0; i < 200000; ++i) {
        const double scale = std::pow(10.0, 3.5 + 3.5 * unit(rng));
        const double a[3] = {scale * unit(rng), scale * unit(rng), scale * unit(rng)};
        // Lengths from a kilometre down to a tenth of kZeroLength.
        const double len = std::pow(10.0, -2.0 + 5.0 * unit(rng));
        const double th = 4.0 * unit(rng), ph = 1.5 * unit(rng);
        const double d[3] = {std::cos(th) * std::cos(ph), std::sin(th) * std::cos(ph), std::sin(ph)};
        const double b[3] = {a[0] + len * d[0], a[1] + len * d[1], a[2] + len * d[2]};
        // A unit normal to the segment: d x (0, 0, 1), or x when d is.
        double nrm[3] = {d[1], -d[0], 0.0};
        if (V3Normalize(nrm) <= 0.0)
            nrm[0] = 1.0, nrm[1] = 0.0;
        const double t = i % 3 == 0 ? 0.5 + 0.5 * unit(rng) : (i % 2 ? 0.0 : 1.0) + 3e-6 * unit(rng);
        double p[3];
        for (int k = 0; k < 3; ++k)
            p[k] = a[k] + t * (b[k] - a[k]) + 3.0 * tol * unit(rng) * nrm[k];
        const int expected = oracle(p, a, b);
        if (expected < 0)
            continue;
        ASSERT_EQ(PtOnSegment(p, a, b), expected == 1) << i << " scale " << scale << " length " << len;
        (expected ? on : off) += 1;
        site += expected == 1 && scale > 1e5 && len < 1e-2;
    }
    // Both answers come up often, and short segments far out are held.
    EXPECT_GT(on, 20000);
    EXPECT_GT(off, 20000);
    EXPECT_GT(site, 1000);
}

// ------------------------------------------------ planes of polygons
//
// Planes of possibly warped polygons (FormMaxPlaneCoo) against a
// long-double reference: Newell's area vector through the centroid. The
// plane must be a unit plane on the side of the polygon's signed area, and
// no corner may lie further from it than the polygon's own warp (the largest
// corner distance from the reference plane), wherever the polygon lies and
// whichever corner comes first.

namespace {

// Corners placed by the frame m: the xy plane tipped about x by `tilt`,
// turned about z by `turn` and moved by `offset`; the local z axis (the
// normal of a flat polygon) becomes row 2 of m.
Corners Place(const Corners& local, double tilt, double turn, const Point& offset, double m[4][4])
{
    M4Identity(m);
    M4RotateX(m, tilt);
    M4RotateZ(m, turn);
    M4Translate(m, offset[0], offset[1], offset[2]);
    Corners out(local.size());
    for (std::size_t k = 0; k < local.size(); ++k)
        V3MulPointByMatrix(local[k].data(), m, out[k].data());
    return out;
}

struct Reference {
    long double normal[3];  // unit, on the side of the signed area
    long double area;
    long double warp;  // largest corner distance from the reference plane
};

Reference NewellReference(const Corners& pts)
{
    Reference r{};
    const std::size_t n = pts.size();
    long double centroid[3] = {0, 0, 0}, nv[3] = {0, 0, 0};
    for (const Point& p : pts)
        for (int k = 0; k < 3; ++k)
            centroid[k] += static_cast<long double>(p[k]) / n;
    for (std::size_t k = 0; k < n; ++k) {
        long double p[3], q[3];
        for (int c = 0; c < 3; ++c) {
            p[c] = pts[k][c] - centroid[c];
            q[c] = pts[(k + 1) % n][c] - centroid[c];
        }
        nv[0] += p[1] * q[2] - p[2] * q[1];
        nv[1] += p[2] * q[0] - p[0] * q[2];
        nv[2] += p[0] * q[1] - p[1] * q[0];
    }
    const long double len = std::sqrt(nv[0] * nv[0] + nv[1] * nv[1] + nv[2] * nv[2]);
    r.area = len / 2;
    for (int k = 0; k < 3; ++k)
        r.normal[k] = nv[k] / len;
    for (const Point& p : pts) {
        long double d = 0;
        for (int k = 0; k < 3; ++k)
            d += r.normal[k] * (p[k] - centroid[k]);
        r.warp = std::max(r.warp, std::fabs(d));
    }
    return r;
}

long double SignedDistance(const double plane[4], const Point& p)
{
    return static_cast<long double>(plane[0]) * p[0] + static_cast<long double>(plane[1]) * p[1] +
           static_cast<long double>(plane[2]) * p[2] + plane[3];
}

// The plane FormMaxPlaneCoo gives for pts meets every promise above, and
// FormPlaneEquation and the area agree with it; returns the plane.
void ExpectPlaneFits(const Corners& pts, double plane[4])
{
    Polygon poly(pts);
    int i = -1, j = -1, wi = -1, wj = -1;
    ASSERT_TRUE(G3Math::FormMaxPlaneCoo(poly.Iterator(), &i, &j, plane));
    const Reference ref = NewellReference(pts);
    EXPECT_NEAR(std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]), 1.0, 1e-12);
    EXPECT_GT(plane[0] * ref.normal[0] + plane[1] * ref.normal[1] + plane[2] * ref.normal[2], 0.5L);
    // A rounding allowance of a handful of ulps of the coordinates.
    double scale = 1.0;
    for (const Point& p : pts)
        for (double c : p)
            scale = std::max(scale, std::fabs(c));
    for (std::size_t k = 0; k < pts.size(); ++k)
        EXPECT_LE(std::fabs(SignedDistance(plane, pts[k])), ref.warp + 1e-14 * scale) << "corner " << k;
    G3Math::GetMaxCoo(plane, &wi, &wj);
    EXPECT_TRUE(i == wi && j == wj);
    double n[3], areaPlane[4];
    ASSERT_TRUE(G3Math::FormPlaneEquation(poly.Iterator(), areaPlane));
    ExpectNear(areaPlane, {plane[0], plane[1], plane[2], plane[3]}, 0);
    EXPECT_NEAR(G3Math::CalcSquare(poly.Iterator(), n), static_cast<double>(ref.area), 1e-9 * scale * scale);
}

}  // namespace

// Star-shaped polygons of 3 to 12 corners (reflex corners included), flat or
// with a random warp, some with a repeated corner or an exactly collinear
// one, in a random plane at offsets up to 1e6, in either orientation and
// from a random start. Flat ones also carry their frame's normal.
TEST(PolygonPlane, RandomPolygonsAgainstLongDoubleReference)
{
    for (unsigned seed : {11u, 12u, 13u}) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        for (int trial = 0; trial < 600; ++trial) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << " trial " << trial);
            const int n = 3 + static_cast<int>(unit(rng) * 10);
            const double size = std::pow(10.0, -1.0 + 4.0 * unit(rng));
            const double warps[3] = {0.0, 1e-4, 2e-2};
            const double warp = warps[static_cast<int>(unit(rng) * 3)] * size;
            Corners local;
            for (int k = 0; k < n; ++k) {
                const double a = 2 * kPi * (k + 0.8 * unit(rng)) / n;
                const double r = size * (0.3 + 0.7 * unit(rng));
                const double z = warp * (2 * unit(rng) - 1);
                local.push_back({r * std::cos(a), r * std::sin(a), z});
            }
            const double degenerate = unit(rng);
            const std::size_t at = static_cast<std::size_t>(unit(rng) * n);
            const Point a = local[at], b = local[(at + 1) % local.size()];
            if (degenerate < 0.2)
                local.insert(local.begin() + at, a);
            else if (degenerate < 0.4)
                local.insert(local.begin() + at + 1,
                             {(a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2});
            const double sense = unit(rng) < 0.5 ? -1.0 : 1.0;
            if (sense < 0)
                std::reverse(local.begin(), local.end());
            const double tilt = kPi * unit(rng), turn = 2 * kPi * unit(rng);
            const double offsets[3] = {0.0, 1e3, 1e6};
            const double o = offsets[static_cast<int>(unit(rng) * 3)];
            Point offset;
            for (double& c : offset)
                c = o * (2 * unit(rng) - 1);
            double m[4][4];
            Corners placed = Place(local, tilt, turn, offset, m);
            const long start = static_cast<long>(unit(rng) * placed.size());
            std::rotate(placed.begin(), placed.begin() + start, placed.end());
            double plane[4];
            ExpectPlaneFits(placed, plane);
            for (int k = 0; k < 3 && warp == 0.0; ++k)
                EXPECT_NEAR(plane[k], sense * m[2][k], 1e-12 * (1 + o / size));
        }
    }
}

// A chain that runs out over a warped path and back has no area; its plane
// comes from its corners and must follow the chain when it is moved.
TEST(PolygonPlane, ChainWithoutAreaFollowsItsCorners)
{
    const Corners path = {{0, 0, 0}, {100, 0, 0}, {100, 100, 0}, {0, 100, 30}, {100, 100, 0}, {100, 0, 0}};
    double atOrigin[6];
    for (double o : {0.0, 1e3, 1e6}) {
        SCOPED_TRACE(o);
        double m[4][4];
        const Corners placed = Place(path, 0.5, 0.3, {o, -o, o}, m);
        Polygon poly(placed);
        double plane[4];
        int i = -1, j = -1;
        ASSERT_TRUE(G3Math::FormMaxPlaneCoo(poly.Iterator(), &i, &j, plane));
        EXPECT_NEAR(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2], 1.0, 1e-12);
        for (std::size_t k = 0; k < path.size(); ++k) {
            const double d = static_cast<double>(SignedDistance(plane, placed[k]));
            if (o == 0.0)
                atOrigin[k] = d;
            EXPECT_NEAR(d, atOrigin[k], 1e-6) << "corner " << k;
            EXPECT_LT(std::fabs(d), 30.0) << "corner " << k;
        }
    }
}
