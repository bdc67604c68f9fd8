// TestPointAndFacetList against a closed UV sphere of about 2k and 20k
// triangles (vertices shared, working data open, as inside a boolean). Each
// iteration classifies the same 256 points (inside and outside the sphere)
// along the same random rays of length 3; only the classification is timed.
// The cost is one pass over the facet list per ray, so ten times the facets
// should cost about ten times as much.
#include "bench/bench_sphere.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/foundation/GRandom.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

void BM_TestPointAndFacetList(benchmark::State& state)
{
    G3Surface* s = Sphere(static_cast<int>(state.range(0)));
    G3BooleanCalculator::OpenBoolean(s);
    constexpr int kRays = 256;
    std::vector<double> points(3 * kRays);
    std::vector<double> ends(3 * kRays);
    GSRand(12345);
    for (int k = 0; k < kRays; ++k) {
        // Radii from 0.1 to 1.6: about two thirds of the points inside.
        const double radius = 0.1 + 1.5 * GRand() / G_RAND_MAX;
        const double origin[3] = {0.0, 0.0, 0.0};
        double dir[3];
        G3BooleanCalculator::GenerateRandomRay(origin, dir, radius);
        for (int c = 0; c < 3; ++c)
            points[static_cast<size_t>(3 * k + c)] = dir[c];
        G3BooleanCalculator::GenerateRandomRay(&points[static_cast<size_t>(3 * k)], &ends[static_cast<size_t>(3 * k)],
                                               3.0);
    }
    int inside = 0;
    for (auto _ : state) {
        inside = 0;
        for (int k = 0; k < kRays; ++k) {
            const SURF_CLASSIFY c = G3BooleanCalculator::TestPointAndFacetList(
                &points[static_cast<size_t>(3 * k)], &ends[static_cast<size_t>(3 * k)], s->GetFacetList(), nullptr);
            inside += c == SC_INSIDE;
        }
        benchmark::DoNotOptimize(inside);
    }
    state.counters["facets"] = s->GetFacetCount();
    state.counters["inside"] = inside;
    state.counters["us_per_ray"] =
        benchmark::Counter(static_cast<double>(kRays), benchmark::Counter::kIsIterationInvariantRate |
                                                           benchmark::Counter::kInvert);
    G3BooleanCalculator::CloseBoolean(s);
    delete s;
}

} // namespace

BENCHMARK(BM_TestPointAndFacetList)->Arg(2000)->Arg(20000)->Unit(benchmark::kMicrosecond);
