#pragma once
// Planar predicates of the triangulation engine. Positions are equal when
// they differ by at most 1e-8 in both x and y; predicate values are compared
// with 1e-8 as described at OrientSign below.

#include "Geometry/math/GTolerance.h"

#include <cmath>
#include <vector>

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

// The magnitudes of Orient's products taken relative to c.
inline double OrientMagnitude(const Node& a, const Node& b, const Node& c)
{
    return std::fabs((a.x - c.x) * (b.y - c.y)) + std::fabs((a.y - c.y) * (b.x - c.x));
}

constexpr double kOrientRounding = 3.3306690738754716e-16;
constexpr double kInCircleRounding = 1.1102230246251577e-15;

// The zero band of an orientation value made of products of magnitude m.
inline double OrientThreshold(double m)
{
    const double threshold = m < 1.0 ? kPlanarTriangulation * m : kPlanarTriangulation;
    const double rounding = kOrientRounding * m;
    return rounding > threshold ? rounding : threshold;
}

inline int OrientSignOf(const Node& a, const Node& b, const Node& c)
{
    const double t1 = (a.x - c.x) * (b.y - c.y);
    const double t2 = (a.y - c.y) * (b.x - c.x);
    const double o = t1 - t2;
    // The largest of the three choices of base node, so that the threshold
    // belongs to the triple and not to the order it is asked in.
    const double m = std::fmax(std::fabs(t1) + std::fabs(t2), std::fmax(OrientMagnitude(b, c, a), OrientMagnitude(c, a, b)));
    const double threshold = OrientThreshold(m);
    if (o > threshold)
        return 1;
    if (o < -threshold)
        return -1;
    return 0;
}

// The circle determinant of (a, b, c, d) as evaluated, and the magnitude of
// its terms (its permanent), which bounds its rounding.
inline void InCircleTerms(const Node& a, const Node& b, const Node& c, const Node& d, double* value, double* magnitude)
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
    *value = v;
    *magnitude = m;
}

inline int InCircleSignOf(const Node& a, const Node& b, const Node& c, const Node& d)
{
    double v = 0.0, m = 0.0;
    InCircleTerms(a, b, c, d, &v, &m);
    double threshold = m < 1.0 ? kPlanarTriangulation * m : kPlanarTriangulation;
    const double rounding = kInCircleRounding * m;
    if (rounding > threshold)
        threshold = rounding;
    if (v > threshold)
        return 1;
    if (v < -threshold)
        return -1;
    return 0;
}

} // namespace predicate_detail

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

// The orientation is an alternating function of its nodes, evaluated with
// them in one fixed order (LessXY), the sign turned for an odd permutation.
// Its products are taken relative to one node, so in the order given the
// same triple could be collinear asked one way and turn asked another; the
// divide and conquer asks about a triple in several orders, and such
// answers fold triangles over each other. (The circle test keeps the order
// it is given: taken in LessXY order, with its band from every base node,
// it folded more grids than it mended.)
namespace predicate_detail {

// Sorts p[0..n) by LessXY; -1 when that took an odd number of swaps.
template <int n>
inline int SortNodes(const Node* (&p)[n])
{
    int parity = 1;
    for (int i = 1; i < n; ++i)
        for (int j = i; j > 0 && LessXY()(*p[j], *p[j - 1]); --j) {
            const Node* t = p[j];
            p[j] = p[j - 1];
            p[j - 1] = t;
            parity = -parity;
        }
    return parity;
}

} // namespace predicate_detail

// 1, -1 or 0 (collinear) for Orient(a, b, c).
inline int OrientSign(const Node& a, const Node& b, const Node& c)
{
    // No product exceeds the box's width times its height, whatever the
    // base node (rounding is monotone), so the magnitude of either order is
    // at most twice that; a value beyond that magnitude's band and the
    // rounding of any order has one sign in every order.
    const double o = Orient(a, b, c);
    const double w = std::fmax(a.x, std::fmax(b.x, c.x)) - std::fmin(a.x, std::fmin(b.x, c.x));
    const double h = std::fmax(a.y, std::fmax(b.y, c.y)) - std::fmin(a.y, std::fmin(b.y, c.y));
    const double bound = 2.0 * (w * h);
    if (std::fabs(o) > predicate_detail::OrientThreshold(bound) + 2 * predicate_detail::kOrientRounding * bound)
        return o > 0 ? 1 : -1;
    const Node* p[3] = {&a, &b, &c};
    const int parity = predicate_detail::SortNodes(p);
    return parity * predicate_detail::OrientSignOf(*p[0], *p[1], *p[2]);
}

// The exact sign of Orient(a, b, c), without a zero band: 0 only for an
// exactly collinear triple. The divide and conquer falls back on it when the
// banded sign left an inconsistent result (see G3TriDivide.cpp): only exact
// signs are those of a real configuration, and only on those can its merges
// rely. The plain evaluation decides when it clears its rounding bound (the
// differences included); otherwise the products are summed without error
// (the differences split in two doubles, each product in two by a fused
// multiply-add). Non-finite or overflowing values take the banded sign.
namespace predicate_detail {

inline void TwoSum(double a, double b, double& x, double& y)
{
    x = a + b;
    const double bv = x - a;
    const double av = x - bv;
    y = (a - av) + (b - bv);
}

// The sign of the exact sum of t[0..n), by growing a non-overlapping
// expansion (zeros dropped); its last component carries the sign.
template <int n>
inline int ExactSumSign(const double (&t)[n])
{
    double e[n];
    int len = 0;
    for (int j = 0; j < n; ++j) {
        double q = t[j];
        int k = 0;
        for (int i = 0; i < len; ++i) {
            double x, y;
            TwoSum(q, e[i], x, y);
            if (y != 0.0)
                e[k++] = y;
            q = x;
        }
        if (q != 0.0)
            e[k++] = q;
        len = k;
    }
    return len == 0 ? 0 : (e[len - 1] > 0.0 ? 1 : -1);
}

} // namespace predicate_detail

inline int OrientSignExact(const Node& a, const Node& b, const Node& c)
{
    const double t1 = (a.x - c.x) * (b.y - c.y);
    const double t2 = (a.y - c.y) * (b.x - c.x);
    const double o = t1 - t2;
    const double sum = std::fabs(t1) + std::fabs(t2);
    if (!std::isfinite(o) || !std::isfinite(sum))
        return OrientSign(a, b, c);
    // Twice the evaluation's rounding bound, differences included.
    if (std::fabs(o) > 2 * predicate_detail::kOrientRounding * sum)
        return o > 0 ? 1 : -1;
    double d[4][2];
    const double ends[4][2] = {{a.x, c.x}, {b.y, c.y}, {a.y, c.y}, {b.x, c.x}};
    for (int i = 0; i < 4; ++i)
        predicate_detail::TwoSum(ends[i][0], -ends[i][1], d[i][0], d[i][1]);
    double t[16];
    int k = 0;
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j) {
            const double p = d[0][i] * d[1][j];
            t[k++] = p;
            t[k++] = std::fma(d[0][i], d[1][j], -p);
            const double q = d[2][i] * d[3][j];
            t[k++] = -q;
            t[k++] = -std::fma(d[2][i], d[3][j], -q);
        }
    return predicate_detail::ExactSumSign(t);
}

namespace predicate_detail {

// A value kept exactly as a sum of doubles that do not overlap, smallest
// first, zeros dropped (the arithmetic of the exact fallback).
using Expansion = std::vector<double>;

inline Expansion Add(const Expansion& e, const Expansion& f)
{
    Expansion h = e;
    for (double b : f) {
        double q = b;
        std::size_t k = 0;
        for (std::size_t i = 0; i < h.size(); ++i) {
            double x, y;
            TwoSum(q, h[i], x, y);
            if (y != 0.0)
                h[k++] = y;
            q = x;
        }
        h.resize(k);
        if (q != 0.0)
            h.push_back(q);
    }
    return h;
}

inline Expansion Negate(Expansion e)
{
    for (double& v : e)
        v = -v;
    return e;
}

inline Expansion Multiply(const Expansion& e, const Expansion& f)
{
    Expansion sum;
    for (double b : f) {
        Expansion part;
        for (double a : e) {
            const double p = a * b;
            const double err = std::fma(a, b, -p);
            if (err != 0.0)
                part = Add(part, Expansion{err});
            if (p != 0.0)
                part = Add(part, Expansion{p});
        }
        sum = Add(sum, part);
    }
    return sum;
}

inline Expansion Difference(double a, double b)
{
    double x, y;
    TwoSum(a, -b, x, y);
    Expansion e;
    if (y != 0.0)
        e.push_back(y);
    if (x != 0.0)
        e.push_back(x);
    return e;
}

} // namespace predicate_detail

// The exact sign of InCircle(a, b, c, d), for the exact fallback: its
// orientations are exact, and a banded circle test beside them reads every
// point near the line of a sliver as on the sliver's huge circle. The plain
// evaluation decides when it clears a generous rounding bound; otherwise the
// determinant is summed exactly. Non-finite values take the banded answer.
inline int InCircleSignExact(const Node& a, const Node& b, const Node& c, const Node& d)
{
    double v = 0.0, m = 0.0;
    predicate_detail::InCircleTerms(a, b, c, d, &v, &m);
    if (!std::isfinite(v) || !std::isfinite(m))
        return predicate_detail::InCircleSignOf(a, b, c, d);
    // Twice the banded test's rounding bound, which covers the differences.
    if (std::fabs(v) > 2 * predicate_detail::kInCircleRounding * m)
        return v > 0 ? 1 : -1;
    using namespace predicate_detail;
    const Expansion ax = Difference(a.x, d.x), ay = Difference(a.y, d.y);
    const Expansion bx = Difference(b.x, d.x), by = Difference(b.y, d.y);
    const Expansion cx = Difference(c.x, d.x), cy = Difference(c.y, d.y);
    auto lift = [](const Expansion& x, const Expansion& y) { return Add(Multiply(x, x), Multiply(y, y)); };
    auto cross = [](const Expansion& x1, const Expansion& y2, const Expansion& x2, const Expansion& y1) {
        return Add(Multiply(x1, y2), Negate(Multiply(x2, y1)));
    };
    const Expansion det = Add(Add(Multiply(lift(ax, ay), cross(bx, cy, cx, by)),
                                  Multiply(lift(bx, by), cross(cx, ay, ax, cy))),
                              Multiply(lift(cx, cy), cross(ax, by, bx, ay)));
    return det.empty() ? 0 : (det.back() > 0.0 ? 1 : -1);
}

// d strictly inside the circle through the counter-clockwise (a, b, c).
inline bool InCircleInside(const Node& a, const Node& b, const Node& c, const Node& d)
{
    return predicate_detail::InCircleSignOf(a, b, c, d) > 0;
}

} // namespace g3tri
