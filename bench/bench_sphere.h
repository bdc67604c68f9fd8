#pragma once
// A closed UV sphere of radius 1 about the origin for the benchmarks.

#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <cmath>
#include <vector>

namespace {

// 2 * segments * (rings - 1) triangles with segments = 2 * rings.
G3Surface* Sphere(int triangles)
{
    const int rings = static_cast<int>(std::sqrt(triangles / 4.0)) + 1;
    const int segments = 2 * rings;
    G3Surface* s = new G3Surface(triangles, 2 + segments * (rings - 1), triangles);
    G3Vertex* north = s->AddVertex(0.0, 0.0, 1.0, 0);
    G3Vertex* south = s->AddVertex(0.0, 0.0, -1.0, 0);
    std::vector<G3Vertex*> grid;
    for (int r = 1; r < rings; ++r)
        for (int k = 0; k < segments; ++k) {
            const double th = M_PI * r / rings;
            const double ph = 2.0 * M_PI * k / segments;
            grid.push_back(s->AddVertex(std::sin(th) * std::cos(ph), std::sin(th) * std::sin(ph), std::cos(th), 0));
        }
    auto at = [&](int r, int k) -> G3Vertex* {
        if (r == 0)
            return north;
        if (r == rings)
            return south;
        return grid[static_cast<size_t>((r - 1) * segments + k % segments)];
    };
    for (int r = 0; r < rings; ++r)
        for (int k = 0; k < segments; ++k) {
            if (r > 0) {
                G3Vertex* v[3] = {at(r, k), at(r + 1, k), at(r, k + 1)};
                s->AddFacet(3, v, 1, nullptr, nullptr);
            }
            if (r < rings - 1) {
                G3Vertex* v[3] = {at(r, k + 1), at(r + 1, k), at(r + 1, k + 1)};
                s->AddFacet(3, v, 1, nullptr, nullptr);
            }
        }
    return s;
}

} // namespace
