// Orientation's probe index. A probe skips every facet whose x-y box,
// widened by twice the in-facet tolerance, misses the probe point: the
// point-in-facet test must answer "off" there, for any polygon, plane and
// offset from the origin. And on crowded overlapping walls, whose pieces
// are asked sideways through long narrow trees, the repair sequence turns
// exactly the facets it turned when every stored facet was tested in full
// (the planes' bits, pinned per seed).

#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "tests/common/builders.h"
#include "tests/processing/random_polygon.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>

namespace {

using namespace testmesh;

TEST(OrientProbeIndex, PointOutsideWidenedBoxIsOffTheFacet)
{
    std::mt19937 rng(20261209);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double wide = 2.0 * GTolerance::kInFacet;
    int outside = 0;
    for (int round = 0; round < 400; ++round) {
        G3Surface s;
        const double offset = round % 2 ? 0.0 : std::pow(10.0, 1.0 + 5.0 * unit(rng));
        std::vector<G3Vertex*> v;
        double lo[2] = {HUGE_VAL, HUGE_VAL};
        double hi[2] = {-HUGE_VAL, -HUGE_VAL};
        for (auto p : RandomPolygon(rng)) {
            v.push_back(s.AddVertex(p[0] + offset, p[1] - offset, p[2], 0));
            for (int a = 0; a < 2; ++a) {
                lo[a] = std::fmin(lo[a], v.back()->GetXYZ()[a]);
                hi[a] = std::fmax(hi[a], v.back()->GetXYZ()[a]);
            }
        }
        G3Facet* f = s.AddFacet(static_cast<int>(v.size()), v.data(), 1, nullptr, nullptr);
        // A few tolerances either side of a side of the box, level with a
        // corner or anywhere along the side.
        for (int k = 0; k < 40; ++k) {
            const int side = static_cast<int>(rng() % 4);
            const int a = side / 2;
            double p[3] = {0.0, 0.0, 0.0};
            p[a] = (side % 2 ? hi[a] : lo[a]) + (side % 2 ? 1.0 : -1.0) * GTolerance::kInFacet * (4.0 * unit(rng) - 1.0);
            p[1 - a] = unit(rng) < 0.5 ? v[rng() % v.size()]->GetXYZ()[1 - a]
                                       : lo[1 - a] + (hi[1 - a] - lo[1 - a]) * unit(rng);
            if (p[0] >= lo[0] - wide && p[0] <= hi[0] + wide && p[1] >= lo[1] - wide && p[1] <= hi[1] + wide)
                continue;
            ++outside;
            G3Vertex* onA = nullptr;
            EXPECT_FALSE(f->PointInFacetXY(p, &onA, nullptr)) << "round " << round << " point " << k;
            EXPECT_EQ(onA, nullptr);
        }
    }
    EXPECT_GT(outside, 1000);
}

// Overlapping boxes of random plan and height over a small site, a few
// facets given the wrong way round and some faces as two triangles.
void AddCrowd(G3Surface& s, unsigned seed, int boxes)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double site = std::sqrt(static_cast<double>(boxes)) * 1.2;
    for (int k = 0; k < boxes; ++k) {
        const double x = site * unit(rng);
        const double y = site * unit(rng);
        const bool along = unit(rng) < 0.5;
        const double length = 0.8 + 1.5 * unit(rng);
        const double thick = 0.15 + 0.3 * unit(rng);
        const P3 lo{x, y, 0.0};
        const P3 hi{x + (along ? length : thick), y + (along ? thick : length), 2.5 + unit(rng)};
        for (G3Facet* f : AddBox(s, lo, hi, unit(rng) < 0.3))
            if (unit(rng) < 0.1)
                f->NegPlane();
    }
}

std::uint64_t PlanesHash(G3Surface& s)
{
    std::uint64_t h = 1469598103934665603ULL;
    auto mix = [&h](std::uint64_t x) {
        for (int b = 0; b < 8; ++b) {
            h ^= (x >> (8 * b)) & 0xff;
            h *= 1099511628211ULL;
        }
    };
    mix(static_cast<std::uint64_t>(s.GetFacetCount()));
    for (int k = 0; k < s.GetFacetCount(); ++k)
        for (int c = 0; c < 4; ++c) {
            std::uint64_t bits = 0;
            std::memcpy(&bits, &s.GetFacet(k)->GetPlane()[c], sizeof bits);
            mix(bits);
        }
    return h;
}

TEST(OrientProbeIndex, CrowdedWallsTurnAsWhenEveryFacetWasTested)
{
    const struct {
        unsigned seed;
        std::uint64_t planes;
    } cases[] = {{11, 0x278a45e465ced979ULL}, {12, 0x12681233a12d758fULL}, {13, 0x9c4c8f57b7be37f5ULL}};
    for (const auto& c : cases) {
        G3Surface s;
        AddCrowd(s, c.seed, 160);
        s.Update(CHECK_LEVEL_INTERSECTIONS);
        EXPECT_EQ(PlanesHash(s), c.planes) << "seed " << c.seed << " facets " << s.GetFacetCount();
    }
}

// Boxes on a square plan, each overlapping its neighbours (every wall cut
// into pieces asked sideways, most of them rectangles), at the origin or at
// site coordinates, some faces as triangles and some facets turned: the
// planes are those of the probes that walked every facet's chain in full
// through grids of one cell per facet (pinned per seed).
TEST(OrientProbeIndex, OverlappingPlanTurnsAsWithFullWalks)
{
    const struct {
        unsigned seed;
        double offset;
        std::uint64_t planes;
    } cases[] = {{21, 0.0, 0x9a031e3acda4924cULL},
                 {22, 0.0, 0x403b84bcf7aa58c4ULL},
                 {23, 48000.0, 0xb95689fd2f5ad338ULL},
                 {24, 48000.0, 0xd7b4c99a036f8970ULL}};
    for (const auto& c : cases) {
        std::mt19937 rng(c.seed);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        G3Surface s;
        const int side = 9;
        for (int k = 0; k < side * side; ++k) {
            const double x = c.offset + 1.5 * (k % side);
            const double y = c.offset + 1.5 * (k / side);
            const double size = 1.5 + 0.2 * unit(rng);
            for (G3Facet* f : AddBox(s, P3{x, y, 0.0}, P3{x + size, y + size, 3.0 + unit(rng)}, unit(rng) < 0.2))
                if (unit(rng) < 0.1)
                    f->NegPlane();
        }
        s.Update(CHECK_LEVEL_INTERSECTIONS);
        EXPECT_EQ(PlanesHash(s), c.planes) << "seed " << c.seed << " facets " << s.GetFacetCount();
    }
}

} // namespace
