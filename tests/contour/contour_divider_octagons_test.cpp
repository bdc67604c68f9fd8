// The divider on fields of random octagons (radius varying, placed so that
// many overlap pairwise and some nest): what comes back is compared with
// digests recorded from the all-pairs nesting search the divider used to
// run, so a faster search must give the same contours in the same order.

#include "Geometry/contour/G3ContourDivider.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
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
    const Field fields[] = {{1, 60, 1}, {2, 150, 0}, {3, 150, 1}, {4, 400, 1}, {5, 400, 0}, {6, 900, 1}};
    for (const Field& f : fields) {
        DigestDivider d;
        d.BeginLoad(f.mode, 0);
        LoadOctagons(d, f);
        d.EndLoad();
        std::printf("{%u, %d, %d, %ld, %.6f, 0x%016llxull},\n", f.seed, d.contours, d.holes, d.edges, d.area,
                    static_cast<unsigned long long>(d.digest));
    }
}

} // namespace
