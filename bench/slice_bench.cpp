// Slicing and the solids builder:
//   Slice of the benchmarks' UV sphere (20k / 200k triangles) by the plane
//   z = 0 through its centre; Separate_Surface of 100 / 300 / 1000
//   disjoint cubes in a row (it copies the remaining surface once per
//   piece, so its cost grows with the square of the piece count); Shell of
//   the 20k sphere at a thickness of a tenth of its radius. Only the
//   operation is timed; building and deleting are not.
#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/boolean/G3SolidsBuilder.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Surface.h"
#include "bench_sphere.h"

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

void BM_SliceSphere(benchmark::State& state)
{
    G3Surface* sphere = Sphere(static_cast<int>(state.range(0)));
    sphere->FormPlaneEquation();
    int facets = 0;
    for (auto _ : state) {
        G3Surface* s = sphere->Duplicate();
        double plane[4] = {0.0, 0.0, 1.0, 0.0};
        G3Surface* below = nullptr;
        G3Surface* above = nullptr;
        G3BooleanCalculator engine;
        const auto t0 = Clock::now();
        const bool ok = engine.Slice(s, plane, true, &below, &above, false);
        state.SetIterationTime(Seconds(t0, Clock::now()));
        facets = ok ? below->GetFacetCount() + above->GetFacetCount() : -1;
        delete below;
        delete above;
    }
    state.counters["triangles"] = sphere->GetFacetCount();
    state.counters["facets"] = facets;
    delete sphere;
}

// n cubes of side 2, 4 apart along x (gaps of 2), in one surface.
G3Surface* Cubes(int n)
{
    G3Surface* s = new G3Surface();
    for (int k = 0; k < n; ++k) {
        double m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {4.0 * k, 0, 0, 1}};
        G3Surface* cube = G3SolidsBuilder::BuildBox(m, 1.0, nullptr);
        s->Copy(cube);
        delete cube;
    }
    s->FormPlaneEquation();
    return s;
}

void BM_SeparateCubes(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    G3Surface* cubes = Cubes(n);
    int pieces = 0;
    for (auto _ : state) {
        G3Surface* s = cubes->Duplicate();
        GArrayCollection out;
        const auto t0 = Clock::now();
        pieces = G3BooleanCalculator::Separate_Surface(s, &out);
        state.SetIterationTime(Seconds(t0, Clock::now()));
        for (int k = 0; k < out.size(); ++k)
            delete static_cast<G3Surface*>(out.get(k));
        delete s;
    }
    state.counters["cubes"] = n;
    state.counters["pieces"] = pieces;
    delete cubes;
}

void BM_ShellSphere(benchmark::State& state)
{
    G3Surface* sphere = Sphere(static_cast<int>(state.range(0)));
    sphere->FormPlaneEquation();
    int facets = 0;
    for (auto _ : state) {
        G3Surface* out = nullptr;
        const auto t0 = Clock::now();
        G3SolidsBuilder::Shell(sphere, &out, 0.1, nullptr);
        state.SetIterationTime(Seconds(t0, Clock::now()));
        facets = out ? out->GetFacetCount() : -1;
        delete out;
    }
    state.counters["triangles"] = sphere->GetFacetCount();
    state.counters["facets"] = facets;
    delete sphere;
}

} // namespace

BENCHMARK(BM_SliceSphere)->Arg(20000)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SliceSphere)->Arg(200000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeparateCubes)->Arg(100)->Arg(300)->Arg(1000)->Iterations(3)->UseManualTime()->Unit(
    benchmark::kMillisecond);
BENCHMARK(BM_ShellSphere)->Arg(20000)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
