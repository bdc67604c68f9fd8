#pragma once
// Random simple polygons for the tests of the merge's short cuts.

#include "Geometry/mesh/G3Surface.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

// A star-shaped polygon around the origin (so simple), its corners often on
// a coarse grid (level and upright edges, ties for the lowest corner) and
// sometimes with a corner in the middle of a straight run; some corners are
// pushed to within a few tolerances of an edge they do not end. Laid into a
// plane facing one of the axes or a tilted one.
inline std::vector<std::array<double, 3>> RandomPolygon(std::mt19937& rng)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const int k = 3 + static_cast<int>(rng() % 6);
    std::vector<double> angles;
    for (int i = 0; i < k; ++i)
        angles.push_back(2.0 * M_PI * unit(rng));
    std::sort(angles.begin(), angles.end());
    const bool grid = unit(rng) < 0.5;
    std::vector<std::array<double, 2>> flat;
    for (double a : angles) {
        const double r = 0.5 + 1.5 * unit(rng);
        double x = r * std::cos(a);
        double y = r * std::sin(a);
        if (grid) {
            x = std::round(2.0 * x) / 2.0;
            y = std::round(2.0 * y) / 2.0;
        }
        flat.push_back({x, y});
    }
    if (unit(rng) < 0.3) {
        // A corner halfway along the first side.
        flat.insert(flat.begin() + 1, {0.5 * (flat[0][0] + flat[1][0]), 0.5 * (flat[0][1] + flat[1][1])});
    }
    if (unit(rng) < 0.3 && flat.size() >= 4) {
        // The third corner moved next to the first side, just inside or
        // outside the shortcut's clearance.
        const double t = 0.2 + 0.6 * unit(rng);
        const double gap = std::pow(10.0, -6.5 + 2.5 * unit(rng));
        const double dx = flat[1][0] - flat[0][0];
        const double dy = flat[1][1] - flat[0][1];
        const double len = std::hypot(dx, dy);
        flat[2] = {flat[0][0] + t * dx - gap * dy / len, flat[0][1] + t * dy + gap * dx / len};
    }
    const int plane = static_cast<int>(rng() % 4);
    std::vector<std::array<double, 3>> out;
    for (const auto& p : flat) {
        if (plane == 0)
            out.push_back({p[0], p[1], 3.0});
        else if (plane == 1)
            out.push_back({-2.0, p[0], p[1]});
        else if (plane == 2)
            out.push_back({p[1], 7.0, p[0]});
        else
            out.push_back({p[0], p[1] * 0.6, p[1] * 0.8 + 0.3 * p[0]});
    }
    return out;
}

// The corners of a RandomPolygon as vertices of s.
inline std::vector<G3Vertex*> RandomPolygonVertices(G3Surface& s, std::mt19937& rng)
{
    std::vector<G3Vertex*> v;
    for (const auto& p : RandomPolygon(rng))
        v.push_back(s.AddVertex(p[0], p[1], p[2], 0));
    return v;
}
