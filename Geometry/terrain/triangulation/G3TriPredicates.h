#pragma once
// Planar predicates of the triangulation engine. Every comparison of
// coordinates or of predicate values uses the absolute tolerance 1e-8:
// a < b means a < b - 1e-8, a = b means |a - b| <= 1e-8.

#include <cmath>

namespace g3tri {

constexpr double kTolerance = 1e-8;

inline bool TolEqual(double a, double b) { return std::fabs(a - b) <= kTolerance; }

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

// Predicate signs under the tolerance. A value beyond 1e-8 decides. Below
// it, the value is compared with 1e-8 times the sum of the magnitudes of the
// products it is made of, when that sum is below 1: a configuration smaller
// than unit size can be far from degenerate although its value is tiny
// (orientation shrinks with the square of the size, the circle test with the
// fourth power), and an absolute test would call every cluster of points
// finer than about 1e-4 flat and cocircular, which leaves holes in the hull.
// For configurations of unit size and above this is the plain absolute test.

// 1, -1 or 0 (collinear) for Orient(a, b, c).
inline int OrientSign(const Node& a, const Node& b, const Node& c)
{
    const double t1 = (a.x - c.x) * (b.y - c.y);
    const double t2 = (a.y - c.y) * (b.x - c.x);
    const double o = t1 - t2;
    if (o > kTolerance)
        return 1;
    if (o < -kTolerance)
        return -1;
    const double m = std::fabs(t1) + std::fabs(t2);
    if (m >= 1.0 || std::fabs(o) <= kTolerance * m)
        return 0;
    return o > 0.0 ? 1 : -1;
}

// d strictly inside the circle through the counter-clockwise (a, b, c).
inline bool InCircleInside(const Node& a, const Node& b, const Node& c, const Node& d)
{
    const double v = InCircle(a, b, c, d);
    if (v > kTolerance)
        return true;
    if (!(v > 0.0))
        return false;
    const double adx = a.x - d.x, ady = a.y - d.y;
    const double bdx = b.x - d.x, bdy = b.y - d.y;
    const double cdx = c.x - d.x, cdy = c.y - d.y;
    const double m = (adx * adx + ady * ady) * (std::fabs(bdx * cdy) + std::fabs(cdx * bdy)) +
                     (bdx * bdx + bdy * bdy) * (std::fabs(cdx * ady) + std::fabs(adx * cdy)) +
                     (cdx * cdx + cdy * cdy) * (std::fabs(adx * bdy) + std::fabs(bdx * ady));
    return m < 1.0 && v > kTolerance * m;
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
