// Orientation and merging passes at two sizes ten times apart:
//   OrientNormals2(true) on a UV sphere of about 20k / 200k triangles with
//   every other facet turned; AverageNormalsByPlanes(null) on the same
//   spheres; UnionInPlaneFacets(-1) on a 30 x 30 / 300 x 300 grid of
//   coplanar unit squares; OrientNormals2(true) on 300 / 3000 overlapping
//   wall boxes after Update(CHECK_LEVEL_INTERSECTIONS) has cut them where
//   they meet (many upright pieces, asked by probes along x and y). Only
//   the pass is timed; building is not.
#include "bench/bench_crowd.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

// A UV sphere with shared vertices: `rings` latitude bands of `segments`
// quads, each split in two (pole bands are triangles): about
// 2 * rings * segments triangles.
std::unique_ptr<G3Surface> Sphere(int rings, int segments, bool flipEveryOther)
{
    auto s = std::make_unique<G3Surface>();
    const double pi = 3.14159265358979323846;
    s->AddVertex(0, 0, 1, 0);
    for (int r = 1; r < rings; ++r) {
        const double t = pi * r / rings;
        for (int k = 0; k < segments; ++k) {
            const double p = 2 * pi * k / segments;
            s->AddVertex(std::sin(t) * std::cos(p), std::sin(t) * std::sin(p), std::cos(t), 0);
        }
    }
    const int south = s->GetVertexCount();
    s->AddVertex(0, 0, -1, 0);
    auto at = [&](int r, int k) { return 1 + (r - 1) * segments + (k % segments); };
    auto tri = [&](int a, int b, int c) {
        int v[3] = {a, b, c};
        s->AddFacet(3, v, 1, nullptr, nullptr);
    };
    for (int k = 0; k < segments; ++k) {
        tri(0, at(1, k), at(1, k + 1));
        for (int r = 1; r + 1 < rings; ++r) {
            tri(at(r, k), at(r + 1, k), at(r + 1, k + 1));
            tri(at(r, k), at(r + 1, k + 1), at(r, k + 1));
        }
        tri(south, at(rings - 1, k + 1), at(rings - 1, k));
    }
    if (flipEveryOther)
        for (int k = 0; k < s->GetFacetCount(); k += 2)
            s->GetFacet(k)->NegPlane();
    return s;
}

std::unique_ptr<G3Surface> Grid(int n)
{
    auto s = std::make_unique<G3Surface>();
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i)
            s->AddVertex(i, j, 0, 0);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = i + j * (n + 1);
            int v[4] = {a, a + 1, a + n + 2, a + n + 1};
            s->AddFacet(4, v, 1, nullptr, nullptr);
        }
    return s;
}

// 20k: 100 x 100; 200k: 316 x 316.
int Side(int64_t size) { return size == 20000 ? 100 : 316; }

void BM_OrientNormals2(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto s = Sphere(Side(state.range(0)), Side(state.range(0)), true);
        state.ResumeTiming();
        s->OrientNormals2(true);
        state.PauseTiming();
        s.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OrientNormals2)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_AverageNormalsByPlanes(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto s = Sphere(Side(state.range(0)), Side(state.range(0)), false);
        state.ResumeTiming();
        s->AverageNormalsByPlanes(nullptr);
        state.PauseTiming();
        s.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AverageNormalsByPlanes)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_UnionInPlaneFacets(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto s = Grid(static_cast<int>(state.range(0)));
        state.ResumeTiming();
        s->UnionInPlaneFacets(-1);
        state.PauseTiming();
        s.reset();
        state.ResumeTiming();
    }
}
// 95 x 95 and 300 x 300 squares: ten times the facets apart.
BENCHMARK(BM_UnionInPlaneFacets)->Arg(95)->Arg(300)->Unit(benchmark::kMillisecond)->Iterations(3);

// Crowded walls, every third box with a wall turned inward, cut where
// they meet.
std::unique_ptr<G3Surface> CrowdedWalls(int boxes)
{
    std::unique_ptr<G3Surface> s = OverlappingBoxes(boxes, true);
    s->Update(CHECK_LEVEL_INTERSECTIONS);
    return s;
}

void BM_OrientNormals2CrowdedWalls(benchmark::State& state)
{
    auto s = CrowdedWalls(static_cast<int>(state.range(0)));
    for (auto _ : state)
        s->OrientNormals2(true);
    state.counters["facets"] = s->GetFacetCount();
}
BENCHMARK(BM_OrientNormals2CrowdedWalls)->Arg(300)->Arg(3000)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
