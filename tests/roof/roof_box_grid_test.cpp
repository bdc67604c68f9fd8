// G3RoofBoxGrid against a walk over every box, one grid rebuilt round after
// round (its buffers carried over) on random families with fixed seeds:
// scattered short segments, long spokes that pile up (filed along their
// segments), and some boxes that are not finite. Query must find exactly
// the boxes meeting the query box; QueryPath every box whose segment's
// reach meets the path's reach, and only boxes meeting the path's box.
#include "Geometry/roof/G3RoofBoxGrid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

double PointSegment(const double* p, const double* s)
{
    const double ux = s[2] - s[0], uy = s[3] - s[1], len2 = ux * ux + uy * uy;
    double t = len2 > 0.0 ? ((p[0] - s[0]) * ux + (p[1] - s[1]) * uy) / len2 : 0.0;
    t = std::max(0.0, std::min(1.0, t));
    return std::hypot(s[0] + t * ux - p[0], s[1] + t * uy - p[1]);
}

// The distance between the segments s and t (ax, ay, bx, by); 0 when they
// cross.
double SegmentSegment(const double* s, const double* t)
{
    auto side = [](const double* a, const double* p) {
        return (a[2] - a[0]) * (p[1] - a[1]) - (a[3] - a[1]) * (p[0] - a[0]);
    };
    if (side(s, t) * side(s, t + 2) < 0.0 && side(t, s) * side(t, s + 2) < 0.0)
        return 0.0;
    return std::min(std::min(PointSegment(s, t), PointSegment(s + 2, t)),
                    std::min(PointSegment(t, s), PointSegment(t + 2, s)));
}

TEST(RoofBoxGrid, RebuiltGridFindsWhatAWalkOverAllBoxesFinds)
{
    std::mt19937 rng(20261208u);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    G3RoofBoxGrid grid;
    std::vector<int> out;
    for (int round = 0; round < 60; ++round) {
        const int family = round % 3;
        const int n = 1 + static_cast<int>(rng() % 400);
        std::vector<G3RoofBox> boxes;
        std::vector<double> segs;
        for (int i = 0; i < n; ++i) {
            double s[5];
            if (family == 1) {
                // Spokes of a star: long, slanted, piled over one another.
                const double t = 6.283185307179586 * unit(rng), r0 = 5.0 + 20.0 * unit(rng);
                const double r1 = r0 + 5.0 + 15.0 * unit(rng);
                s[0] = r0 * std::cos(t), s[1] = r0 * std::sin(t), s[2] = r1 * std::cos(t), s[3] = r1 * std::sin(t);
            } else {
                s[0] = 100.0 * unit(rng), s[1] = 50.0 * unit(rng);
                s[2] = s[0] + 4.0 * unit(rng) - 2.0, s[3] = s[1] + 4.0 * unit(rng) - 2.0;
            }
            // One box a round too wide to file: read by every query.
            s[4] = i == n / 2 ? 40.0 : unit(rng) < 0.5 ? 1e-5 : 0.5 * unit(rng);
            if (family == 2 && i % 17 == 3)
                s[i % 4] = std::numeric_limits<double>::quiet_NaN();
            boxes.emplace_back(s, s + 2, s[4]);
            segs.insert(segs.end(), s, s + 5);
        }
        grid.Build(boxes, &segs);
        for (int q = 0; q < 40; ++q) {
            const double cx = family == 1 ? 50.0 * unit(rng) - 25.0 : 100.0 * unit(rng);
            const double cy = family == 1 ? 50.0 * unit(rng) - 25.0 : 50.0 * unit(rng);
            const double len = q % 4 == 0 ? 0.0 : 30.0 * unit(rng);
            const double t = 6.283185307179586 * unit(rng);
            const double path[5] = {cx, cy, cx + len * std::cos(t), cy + len * std::sin(t),
                                    q % 2 ? 1e-5 : unit(rng)};
            const G3RoofBox qbox(path, path + 2, path[4]);

            std::vector<int> meets;
            for (int i = 0; i < n; ++i)
                if (boxes[i].Valid() && boxes[i].Meets(qbox))
                    meets.push_back(i);
            // Every box of `meets` within reach of the path must be in
            // `out` (reaches meeting with a share to spare: a pair right at
            // the bound may go either way), and nothing else may be.
            auto expectFound = [&](double reach, const char* what) {
                EXPECT_TRUE(std::includes(meets.begin(), meets.end(), out.begin(), out.end()))
                    << what << " round " << round << " query " << q;
                for (int i : meets) {
                    const double d = SegmentSegment(path, &segs[5 * static_cast<std::size_t>(i)]);
                    if (d < (reach + segs[5 * static_cast<std::size_t>(i) + 4]) * (1.0 - 1e-9)) {
                        EXPECT_TRUE(std::binary_search(out.begin(), out.end(), i))
                            << what << " round " << round << " query " << q << " box " << i;
                    }
                }
            };

            // Short scattered boxes are filed whole: Query is exact. Piled
            // spokes are filed along their segments: Query finds those
            // whose reach holds a point of the query box.
            grid.Query(qbox, out);
            EXPECT_TRUE(std::is_sorted(out.begin(), out.end()));
            if (family != 1)
                EXPECT_EQ(meets, out) << "round " << round << " query " << q;
            else if (len == 0.0)
                expectFound(0.0, "point");

            grid.QueryPath(path, out);
            std::sort(out.begin(), out.end());
            expectFound(path[4], "path");
        }
    }
}

} // namespace
