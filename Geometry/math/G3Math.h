#pragma once
// Static predicates on points and polygons projected onto a coordinate plane.
// A projection pair (i, j) names the two coordinates kept (0 = x, 1 = y,
// 2 = z): the 2D image of p is (p[i], p[j]). A pair outside 0..2 is treated
// as degenerate input (0, false).
//
// The polygon functions read a GIterator whose next() yields G3Point-derived
// objects (anything else is skipped) as a closed polygon.

#include "Geometry/math/GTolerance.h"

#include <cmath>

class GIterator;
class GEnvelope;
class G3Point;
class G3Vertex;

class G3Math {
public:
    G3Math() = delete;

    // Twice the signed area of a, b, c on (i, j); positive when they turn
    // counter-clockwise.
    static double GetArea2(const double* a, const double* b, const double* c, int i, int j);
    // 0 when |GetArea2| < 1e-12, else +1 or -1.
    static int GetAreaSign(const double* a, const double* b, const double* c, int i, int j);
    static bool IsCollinear(const double* a, const double* b, const double* c, int i, int j);
    // Points on an edge are inside (within GetAreaSign's zero). A triangle
    // without area holds only the points of its longest side, or those
    // within 1e-6 of it when that side is shorter than 1e-6.
    static bool PointInTriangle(const double* p, const double* a, const double* b, const double* c,
                                int i, int j);
    static bool PointInTriangle(const G3Vertex* p, const G3Vertex* a, const G3Vertex* b,
                                const G3Vertex* c, int i, int j);

    // (x1 - x0) * (y2 - y0) - (y1 - y0) * (x2 - x0).
    static double CalcSquare(double x1, double y1, double x0, double y0, double x2, double y2);
    // a * d - b * c.
    static double CalcSquare(double a, double b, double c, double d);
    // The six-value form on the images of p1, p0, p2 on (i, j).
    static double CalcSquare(const double* p1, const double* p0, const double* p2, int i, int j);

    // Direction angle of p1 - p0 on (i, j), in [0, 2pi), measured from `base`
    // (any finite angle).
    static double CalcAngle(const double* p0, const double* p1, double base, int i, int j);
    static double CalcAngle(const G3Vertex* p0, const G3Vertex* p1, double base, int i, int j);

    // The projection pair that drops the dominant axis of the normal n.
    static void GetMaxCoo(const double* n, int* i, int* j);

    // Intersection of the infinite lines a0-a1 and b0-b1 on (i, j): 1 with
    // point = a0 + t (a1 - a0) (all three coordinates), 0 when the lines are
    // parallel (|denominator| < 1e-12).
    static int FindLineIntersection(const double* a0, const double* a1, const double* b0,
                                    const double* b1, int i, int j, double* point, double* t);

    // Unit Newell normal of a triangle; false and zero when shorter than 1e-12.
    static bool CalculateNormal(const double* p0, const double* p1, const double* p2, double* n);

    // The polygon's Newell vector into n (its length is twice the area);
    // returns the area.
    static double CalcSquare(GIterator* it, double* n);
    // Envelope of the points; an empty sequence gives the zero box and false.
    static bool FormEnvelope(GIterator* it, GEnvelope* env);
    // Plane through the centroid with the polygon's area normal; fewer than
    // three points or a normal shorter than 1e-12 give a zero plane and false.
    static bool FormPlaneEquation(GIterator* it, double* plane);
    // The same plane of the closed polygon pts[0..n-1], for callers that
    // have the corners at hand (no iterator, no gathering).
    static bool PlaneOfPolygon(const double* const* pts, int n, double* plane);
    // The plane of the closed contours pts[starts[k] .. starts[k + 1] - 1]
    // (the last up to n; starts increasing from 0): the sum of the contours'
    // area vectors, through the centroid of all the points; holes run
    // against the outline and subtract. False and a zero plane as above.
    static bool PlaneOfContours(const double* const* pts, int n, const int* starts, int count, double* plane);
    // The plane of the largest fan triangle from the first point (the first
    // of equal ones), through that triangle's centroid; false and a zero
    // plane when its area is below 1e-12.
    static bool FormMaxPlane(GIterator* it, double* plane);
    // 0 degenerate (no turn of at least 1e-6), 1 convex, 2 concave.
    static int ConvexTest(GIterator* it, int i, int j);
    // Plane and projection pair of a possibly non-planar or partly
    // degenerate polygon: FormPlaneEquation's plane when the polygon has an
    // area, else the sum of its corner planes (a chain without area); false
    // when the points gave no proper corner either (the plane is then a
    // fallback through the points).
    static bool FormMaxPlaneCoo(GIterator* it, int* i, int* j, double* plane);
};

// p lies on the segment a-b, by two different measures. Across: p is less
// than 1e-6 (a distance) from the line a-b. Along: the parameter of p's foot
// on that line (1 at a, 0 at b) is above -1e-6 and below 1 + 1e-6, a
// tolerance relative to the segment's length, not a distance: a point 0.5
// past the end of a 1e6-long segment is on it, one 1e-8 past the end of a
// 1e-3-long segment is not. False for a segment shorter than 1e-6.
// Inline: the sweeps and splices call it in their innermost loops. The
// direction is normalized and the products summed term for term as
// V3Normalize, V3Dot and V3Length do.
// The index of the cell `cell` wide holding x, for the lookup grids of
// points. Clamped to 1e18 cells either way, so that a coordinate too large
// for the grid is filed in an outer cell (still compared by its distance)
// instead of overflowing the integer; a NaN goes to cell 0.
inline long long G3CellIndex(double x, double cell)
{
    const double c = std::floor(x / cell);
    if (c != c)
        return 0;
    return static_cast<long long>(c < -1e18 ? -1e18 : (c > 1e18 ? 1e18 : c));
}

inline bool PtOnSegment(const double* p, const double* a, const double* b)
{
    const auto dot = [](const double* u, const double* v) { return u[0] * v[0] + u[1] * v[1] + u[2] * v[2]; };
    double dir[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const double len = std::sqrt(dot(dir, dir));
    if (len > 0.0)
        for (double& c : dir)
            c /= len;
    // Everything is taken about b: at site coordinates the products of
    // absolute coordinates round away a short segment's length.
    const double pb[3] = {p[0] - b[0], p[1] - b[1], p[2] - b[2]};
    const double ab[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
    const double sp = dot(pb, dir), sa = dot(ab, dir);
    if (!(std::fabs(sa) >= GTolerance::kZeroLength))
        return false;
    const double t = sp / sa;
    if (t <= -GTolerance::kSegmentEnd || 1.0 - t <= -GTolerance::kSegmentEnd)
        return false;
    double q[3];
    for (int k = 0; k < 3; ++k)
        q[k] = t * ab[k] - pb[k];
    return std::sqrt(dot(q, q)) < GTolerance::kPlaneSide;
}
bool PtOnSegment(const G3Point* p, const G3Point* a, const G3Point* b);
