// The divider on fields of random octagons (radius varying, placed so that
// many overlap pairwise and some nest): what comes back is compared with
// digests recorded from the divider before its nesting and hole linking
// searched through grids (all pairs then), so the same contours must come
// back in the same order, with the same types.

#include "Geometry/contour/G3ContourDivider.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <random>
#include <vector>

namespace {

// Folds every unloaded contour into one number: its type, edge count and
// corners (rounded to 1e-6) in unload order.
class DigestDivider : public G3ContourDivider {
public:
    std::uint64_t digest = 1469598103934665603ull;
    int contours = 0;
    int holes = 0;
    long edges = 0;
    double area = 0.0;

    void BeginUnloadContour(int n, bool hole) override
    {
        ++contours;
        holes += hole;
        Fold(hole ? 7 : 3);
        Fold(n);
    }
    void UnloadEdge(double* p1, int, double* p2, int, int, unsigned long, unsigned long) override
    {
        ++edges;
        Fold(std::llround(p1[0] * 1e6));
        Fold(std::llround(p1[1] * 1e6));
        area += 0.5 * (p1[0] * p2[1] - p2[0] * p1[1]);
    }

private:
    void Fold(long long v)
    {
        digest ^= static_cast<std::uint64_t>(v);
        digest *= 1099511628211ull;
    }
};

struct Field {
    unsigned seed;
    int octagons;
    int mode;
    // Recorded: contours, holes, edges, summed signed area, digest.
    int contours, holes;
    long edges;
    double area;
    std::uint64_t digest;
};

void LoadOctagons(G3ContourDivider& d, const Field& f)
{
    std::mt19937 rng(f.seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double side = std::sqrt(16.0 * f.octagons);
    for (int k = 0; k < f.octagons; ++k) {
        const double x = side * unit(rng), y = side * unit(rng);
        const double r = 0.5 + 2.5 * unit(rng), a0 = unit(rng);
        d.BeginLoadContour();
        for (int m = 0; m < 8; ++m) {
            const double a = a0 + m * M_PI / 4, b = a0 + (m + 1) * M_PI / 4;
            double p[3] = {x + r * std::cos(a), y + r * std::sin(a), 0.0};
            double q[3] = {x + r * std::cos(b), y + r * std::sin(b), 0.0};
            d.LoadEdge(p, q, 1, 0, 0);
        }
        d.EndLoadContour();
    }
}

TEST(ContourDividerOctagons, FieldsGiveTheRecordedContours)
{
    const Field fields[] = {
        {1, 60, 1, 80, 0, 734, 321.229781, 0xa8641bd04a6ba5afull},
        {2, 150, 0, 201, 3, 1792, 820.365680, 0xff600d5bcf62d21full},
        {3, 150, 1, 224, 0, 1874, 890.586392, 0xf78cebb7064860deull},
        {4, 400, 1, 521, 0, 4736, 2377.204402, 0xdf19f3d72dccc5a6ull},
        {5, 400, 0, 555, 10, 4764, 2306.020894, 0x23433cb46bc1f1e8ull},
        {6, 900, 1, 1325, 0, 11326, 5304.052456, 0x4f54a63f576caccdull},
    };
    for (const Field& f : fields) {
        SCOPED_TRACE("seed " + std::to_string(f.seed));
        DigestDivider d;
        d.BeginLoad(f.mode, 0);
        LoadOctagons(d, f);
        d.EndLoad();
        EXPECT_EQ(f.contours, d.contours);
        EXPECT_EQ(f.holes, d.holes);
        EXPECT_EQ(f.edges, d.edges);
        EXPECT_NEAR(f.area, d.area, 1e-5);
        EXPECT_EQ(f.digest, d.digest);
    }
}

// One contour through random points on a quarter grid (crossing itself
// everywhere, corners on other sides, shared points), so one contour graph
// holds many loops: recorded before the graph walk kept its lowest vertices
// in order and pruned only around what it cut out. (octagons: the point
// count; holes not recorded.)
TEST(ContourDividerOctagons, SelfCrossingWalksGiveTheRecordedContours)
{
    const Field fields[] = {
        {11, 40, 0, 58, 0, 274, -4389.619049, 0xd45a991986fd56cdull},
        {12, 120, 1, 909, 0, 3914, 3775.075295, 0x3f15c97d6c771654ull},
        {13, 300, 0, 4644, 0, 19923, 4496.067349, 0xbfab712cebfceb4cull},
    };
    for (const Field& f : fields) {
        SCOPED_TRACE("seed " + std::to_string(f.seed));
        std::mt19937 rng(f.seed);
        std::uniform_real_distribution<double> unit(0.0, 100.0);
        std::vector<double> pts;
        for (int k = 0; k < f.octagons; ++k)
            pts.insert(pts.end(), {std::round(unit(rng) * 4) / 4, std::round(unit(rng) * 4) / 4});
        DigestDivider d;
        d.BeginLoad(f.mode, 0);
        d.BeginLoadContour();
        for (int k = 0; k < f.octagons; ++k) {
            const int m = (k + 1) % f.octagons;
            double p[3] = {pts[2 * k], pts[2 * k + 1], 0.0};
            double q[3] = {pts[2 * m], pts[2 * m + 1], 0.0};
            d.LoadEdge(p, q, 1, 0, 0);
        }
        d.EndLoadContour();
        d.EndLoad();
        EXPECT_EQ(f.contours, d.contours);
        EXPECT_EQ(f.edges, d.edges);
        EXPECT_NEAR(f.area, d.area, 1e-5);
        EXPECT_EQ(f.digest, d.digest);
    }
}

} // namespace
