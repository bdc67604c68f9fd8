// TestPointAndFacetList against a closed UV sphere of about 2k and 20k
// triangles (vertices shared, working data open, as inside a boolean). Each
// iteration classifies the same 256 points (inside and outside the sphere)
// along the same random rays of length 3; only the classification is timed.
// The cost is one pass over the facet list per ray, so ten times the facets
// should cost about ten times as much.
#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/foundation/GRandom.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <benchmark/benchmark.h>

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
