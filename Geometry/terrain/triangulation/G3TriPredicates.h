#pragma once
// Planar predicates of the triangulation engine. Positions are equal when
// they differ by at most 1e-8 in both x and y; predicate values are compared
// with 1e-8 as described at OrientSign below.

#include "Geometry/math/GTolerance.h"

#include <cmath>

namespace g3tri {

using GTolerance::kPlanarTriangulation;

inline bool TolEqual(double a, double b) { return std::fabs(a - b) <= kPlanarTriangulation; }

// A triangulation node: plan position and the id of the engine vertex it
// stands for.
struct Node {
    double x;
    double y;
    int vertex;
};

// Twice the signed area of (a, b, c): positive when counter-clockwise.
inline double Orient(const Node& a, const Node& b, const Node& c)
{
    return (a.x - c.x) * (b.y - c.y) - (a.y - c.y) * (b.x - c.x);
}

// Positive when d lies inside the circle through the counter-clockwise
// triangle (a, b, c). Coordinates are taken relative to d so that the lifted
// terms stay of the size of the local edge lengths.
inline double InCircle(const Node& a, const Node& b, const Node& c, const Node& d)
{
    const double adx = a.x - d.x, ady = a.y - d.y;
    const double bdx = b.x - d.x, bdy = b.y - d.y;
    const double cdx = c.x - d.x, cdy = c.y - d.y;
    const double alift = adx * adx + ady * ady;
    const double blift = bdx * bdx + bdy * bdy;
    const double clift = cdx * cdx + cdy * cdy;
    return alift * (bdx * cdy - cdx * bdy) + blift * (cdx * ady - adx * cdy) +
           clift * (adx * bdy - bdx * ady);
}

// Predicate signs under the tolerance. A value is zero when it lies within
// a threshold made of two parts, m being the sum of the magnitudes of the
// products the value is made of:
// - 1e-8, or 1e-8 * m when m is below 1: a configuration smaller than unit
//   size can be far from degenerate although its value is tiny (orientation
//   shrinks with the square of the size, the circle test with the fourth
//   power), and a plain 1e-8 would call every cluster of points finer than
//   about 1e-4 flat and cocircular, which leaves holes in the hull;
// - the rounding error bound of the evaluation (a small multiple of the
//   machine epsilon times m): far from the origin the products are large and
//   a smaller value is rounding noise whose sign means nothing; trusting it
//   folds triangles over each other.
// For configurations of unit size and moderate coordinates this is the plain
// absolute test against 1e-8.
namespace predicate_detail {

inline int OrientSignOf(const Node& a, const Node& b, const Node& c)
{
    const double t1 = (a.x - c.x) * (b.y - c.y);
    const double t2 = (a.y - c.y) * (b.x - c.x);
    const double o = t1 - t2;
    const double m = std::fabs(t1) + std::fabs(t2);
    double threshold = m < 1.0 ? kPlanarTriangulation * m : kPlanarTriangulation;
    const double rounding = 3.3306690738754716e-16 * m;
    if (rounding > threshold)
        threshold = rounding;
    if (o > threshold)
        return 1;
    if (o < -threshold)
        return -1;
    return 0;
}

inline int InCircleSignOf(const Node& a, const Node& b, const Node& c, const Node& d)
{
    const double adx = a.x - d.x, ady = a.y - d.y;
    const double bdx = b.x - d.x, bdy = b.y - d.y;
    const double cdx = c.x - d.x, cdy = c.y - d.y;
    const double bc1 = bdx * cdy, bc2 = cdx * bdy;
    const double ca1 = cdx * ady, ca2 = adx * cdy;
    const double ab1 = adx * bdy, ab2 = bdx * ady;
    const double alift = adx * adx + ady * ady;
    const double blift = bdx * bdx + bdy * bdy;
    const double clift = cdx * cdx + cdy * cdy;
    const double v = alift * (bc1 - bc2) + blift * (ca1 - ca2) + clift * (ab1 - ab2);
    const double m = alift * (std::fabs(bc1) + std::fabs(bc2)) + blift * (std::fabs(ca1) + std::fabs(ca2)) +
                     clift * (std::fabs(ab1) + std::fabs(ab2));
    double threshold = m < 1.0 ? kPlanarTriangulation * m : kPlanarTriangulation;
    const double rounding = 1.1102230246251577e-15 * m;
    if (rounding > threshold)
        threshold = rounding;
    if (v > threshold)
        return 1;
    if (v < -threshold)
        return -1;
    return 0;
}

} // namespace predicate_detail

// 1, -1 or 0 (collinear) for Orient(a, b, c).
inline int OrientSign(const Node& a, const Node& b, const Node& c)
{
    return predicate_detail::OrientSignOf(a, b, c);
}

// d strictly inside the circle through the counter-clockwise (a, b, c).
inline bool InCircleInside(const Node& a, const Node& b, const Node& c, const Node& d)
{
    return predicate_detail::InCircleSignOf(a, b, c, d) > 0;
}

// Lexicographic orders of the nodes: axis 0 is x then y, axis 1 is y then x,
// ties broken by vertex id. They compare exactly: the divide and conquer
// needs the two halves of every cut to be separable by a line, which a
// tolerant order (not transitive) cannot promise for points closer than
// 1e-8 in one coordinate. Coinciding positions are merged with the
// tolerance after sorting.
struct LessXY {
    bool operator()(const Node& a, const Node& b) const
    {
        if (a.x != b.x)
            return a.x < b.x;
        if (a.y != b.y)
            return a.y < b.y;
        return a.vertex < b.vertex;
    }
};

struct LessYX {
    bool operator()(const Node& a, const Node& b) const
    {
        if (a.y != b.y)
            return a.y < b.y;
        if (a.x != b.x)
            return a.x < b.x;
        return a.vertex < b.vertex;
    }
};

} // namespace g3tri
