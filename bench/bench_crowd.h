#pragma once
// Overlapping boxes for the benchmarks of crowded plans: `boxes` boxes 1.6
// square on a 1.5 grid, so that each overlaps its neighbours, of heights 3
// to 4; with `turnEveryThird`, every third box has one wall turned inward.
// The mesh meets itself along every wall.

#include "Geometry/mesh/G3Surface.h"

#include <cmath>
#include <memory>

namespace {

std::unique_ptr<G3Surface> OverlappingBoxes(int boxes, bool turnEveryThird)
{
    auto s = std::make_unique<G3Surface>();
    const int side = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(boxes))));
    const int faces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    for (int b = 0; b < boxes; ++b) {
        const double x = 1.5 * (b % side);
        const double y = 1.5 * (b / side);
        const double h = 3.0 + 0.001 * ((b * 7919) % 1000);
        const int first = s->GetVertexCount();
        for (double z : {0.0, h}) {
            s->AddVertex(x, y, z, 0);
            s->AddVertex(x + 1.6, y, z, 0);
            s->AddVertex(x + 1.6, y + 1.6, z, 0);
            s->AddVertex(x, y + 1.6, z, 0);
        }
        for (int f = 0; f < 6; ++f) {
            const bool turned = turnEveryThird && b % 3 == 0 && f == 2;
            int v[4];
            for (int k = 0; k < 4; ++k)
                v[k] = first + faces[f][turned ? 3 - k : k];
            s->AddFacet(4, v, 1, nullptr, nullptr);
        }
    }
    return s;
}

} // namespace
