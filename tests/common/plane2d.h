#pragma once
// Exact oracles in plane coordinates for the tests of contour resolution,
// hole linking and inner points: shoelace areas, even-odd membership and
// distances to segments. Points are (x, y) pairs; rings are closed on
// their own.

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace plane2d {

using P2 = std::array<double, 2>;
using Ring = std::vector<P2>;

// Signed area of the ring, positive when it runs counter-clockwise.
inline double ShoelaceArea(const Ring& r)
{
    double a = 0.0;
    for (size_t k = 0; k < r.size(); ++k) {
        const P2& p = r[k];
        const P2& q = r[(k + 1) % r.size()];
        a += p[0] * q[1] - q[0] * p[1];
    }
    return 0.5 * a;
}

// Whether p lies inside by an even-odd count over every ring.
inline bool InsideEvenOdd(const std::vector<Ring>& rings, const P2& p)
{
    bool in = false;
    for (const Ring& r : rings)
        for (size_t k = 0; k < r.size(); ++k) {
            const P2& a = r[k];
            const P2& b = r[(k + 1) % r.size()];
            if ((a[1] > p[1]) != (b[1] > p[1]) && p[0] < a[0] + (p[1] - a[1]) / (b[1] - a[1]) * (b[0] - a[0]))
                in = !in;
        }
    return in;
}

// Distance from p to the segment a-b (to a when the segment has no length).
inline double DistanceToSegment(const P2& p, const P2& a, const P2& b)
{
    const double dx = b[0] - a[0], dy = b[1] - a[1];
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0.0 ? ((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / len2 : 0.0;
    t = std::min(1.0, std::max(0.0, t));
    return std::hypot(p[0] - a[0] - t * dx, p[1] - a[1] - t * dy);
}

} // namespace plane2d
