// The sweep's written-out plan tests against the library routines they
// copy, on random families with fixed seeds: they must answer bit for bit
// as those do, at the tolerance edges included (points across and along a
// segment within a few tolerances of its band, segments near zero length).
#include "Geometry/math/G3SegmentTest.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/roof/G3RoofSweepScratch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

TEST(RoofSweepParts, OnSegmentXYAnswersAsTheLibraryTest)
{
    std::mt19937 rng(20261208u);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const double tol = GTolerance::kPlaneSide;
    int on = 0, off = 0;
    for (int i = 0; i < 200000; ++i) {
        const double scale = std::pow(10.0, 4.0 * unit(rng));
        const double a[3] = {scale * unit(rng), scale * unit(rng), unit(rng)};
        // Lengths from well below kZeroLength up to the scale.
        const double len = scale * std::pow(10.0, -10.0 * (0.5 + 0.5 * unit(rng)));
        const double ang = 4.0 * unit(rng);
        const double b[3] = {a[0] + len * std::cos(ang), a[1] + len * std::sin(ang), unit(rng)};
        // Along: inside, and a few parameter tolerances past either end;
        // across: a few plane tolerances off the line.
        const double t = i % 3 == 0 ? 0.5 + 0.5 * unit(rng) : (i % 2 ? 0.0 : 1.0) + 3e-6 * unit(rng);
        const double pz = unit(rng);
        auto at = [&](double d, double* p) {
            p[0] = a[0] + t * (b[0] - a[0]) - d * std::sin(ang);
            p[1] = a[1] + t * (b[1] - a[1]) + d * std::cos(ang);
            p[2] = pz;
        };
        double p[3];
        at(3.0 * tol * unit(rng), p);
        const bool lib = G3PtOnSegmentXY(p, a, b);
        ASSERT_EQ(G3RoofSweepParts::OnSegmentXY(p, a, b), lib) << i;
        (lib ? on : off) += 1;
        // Every tenth case also at the last step across where the answer
        // flips (found by halving), where a rounding of its own would show.
        at(0.0, p);
        if (i % 10 != 0 || !G3PtOnSegmentXY(p, a, b))
            continue;
        double in = 0.0, out = 3.0 * tol;
        for (int k = 0; k < 80 && std::nextafter(in, out) != out; ++k) {
            const double mid = 0.5 * (in + out);
            at(mid, p);
            (G3PtOnSegmentXY(p, a, b) ? in : out) = mid;
        }
        for (double d : {in, out}) {
            at(d, p);
            ASSERT_EQ(G3RoofSweepParts::OnSegmentXY(p, a, b), G3PtOnSegmentXY(p, a, b)) << i << " " << d;
        }
    }
    // Both answers come up often: the family sits on the band's edge.
    EXPECT_GT(on, 20000);
    EXPECT_GT(off, 20000);
}
