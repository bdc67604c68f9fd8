#include "Geometry/contour/G3ContourFaces.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

namespace {

// Rectangles on integer corners, nested or apart and never touching (so
// many corners share an abscissa with corners of other parts), each turned
// either way and weighted: every face's label, read on the left of each
// half-edge a quarter unit off its midpoint, is the sum of the weights of
// the rectangles holding that point.
TEST(ContourFaces, RandomNestedRectanglesLabelByTheirWeights)
{
    using Box = std::array<int, 4>; // x0 y0 x1 y1
    auto in = [](const Box& r, const Box& q) { return r[0] > q[0] && r[1] > q[1] && r[2] < q[2] && r[3] < q[3]; };
    auto apart = [](const Box& r, const Box& q) { return r[2] < q[0] || q[2] < r[0] || r[3] < q[1] || q[3] < r[1]; };
    for (unsigned seed = 1; seed <= 8; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        std::vector<Box> boxes;
        for (int tries = 0; boxes.size() < 120 && tries < 20000; ++tries) {
            const int x0 = static_cast<int>(rng() % 80), y0 = static_cast<int>(rng() % 80);
            const int w = 1 + static_cast<int>(rng() % (seed % 2 ? 6 : 30)), h = 1 + static_cast<int>(rng() % 12);
            const Box r = {x0, y0, x0 + w, y0 + h};
            bool fits = true;
            for (const Box& q : boxes)
                fits = fits && (apart(r, q) || in(r, q) || in(q, r));
            if (fits)
                boxes.push_back(r);
        }
        std::vector<double> xy;
        std::vector<G3ContourFaces::Edge> edges;
        std::vector<int> delta, weight;
        for (const Box& r : boxes) {
            const int base = static_cast<int>(xy.size() / 2);
            for (const std::array<int, 2>& c : {std::array<int, 2>{r[0], r[1]}, {r[2], r[1]}, {r[2], r[3]}, {r[0], r[3]}})
                xy.insert(xy.end(), {double(c[0]), double(c[1])});
            const int w = static_cast<int>(rng() % 7) - 3;
            const bool ccw = rng() % 2 == 0;
            weight.push_back(w);
            for (int k = 0; k < 4; ++k) {
                const int a = base + k, b = base + (k + 1) % 4;
                edges.push_back(ccw ? G3ContourFaces::Edge{a, b} : G3ContourFaces::Edge{b, a});
                delta.push_back(ccw ? w : -w);
            }
        }
        const G3ContourFaces faces(xy, edges);
        const std::vector<long long> value = faces.Label(delta);
        for (int h = 0; h < static_cast<int>(2 * edges.size()); ++h) {
            const int a = faces.GetFrom(h), b = faces.GetTo(h);
            const double dx = xy[2 * b] - xy[2 * a], dy = xy[2 * b + 1] - xy[2 * a + 1];
            const double len = std::sqrt(dx * dx + dy * dy);
            const double px = 0.5 * (xy[2 * a] + xy[2 * b]) - 0.25 * dy / len;
            const double py = 0.5 * (xy[2 * a + 1] + xy[2 * b + 1]) + 0.25 * dx / len;
            long long want = 0;
            for (std::size_t r = 0; r < boxes.size(); ++r)
                if (px > boxes[r][0] && px < boxes[r][2] && py > boxes[r][1] && py < boxes[r][3])
                    want += weight[r];
            EXPECT_EQ(want, value[static_cast<std::size_t>(faces.GetFace(h))]) << h;
        }
    }
}

} // namespace
