// Slicing and the solids builder:
//   Slice of the benchmarks' UV sphere (20k / 200k triangles) by the plane
//   z = 0 through its centre; Separate_Surface of 100 / 300 / 1000
//   disjoint cubes in a row, and of 1000 / 3000 cubes turned about z with a
//   normal per face written to six decimals, as a CAD file gives them
//   (updates move a third of such normals by a last bit); Shell of
//   the 20k sphere at a thickness of a tenth of its radius. Only the
//   operation is timed; building and deleting are not.
#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/boolean/G3SolidsBuilder.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Surface.h"
#include "bench_sphere.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>

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

// Separate_Surface of a copy of `cubes` (n of them) per iteration; takes
// `cubes`.
void TimeSeparate(benchmark::State& state, G3Surface* cubes, int n)
{
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

void BM_SeparateCubes(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    TimeSeparate(state, Cubes(n), n);
}

// n unit cubes on a grid 3 apart, each turned about z by its own angle,
// every face's corners naming one normal rounded to six decimals.
G3Surface* TurnedCubesWithNormals(int n)
{
    G3Surface* s = new G3Surface();
    const int side = static_cast<int>(std::ceil(std::cbrt(static_cast<double>(n))));
    const int q[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    const double out[6][3] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {0, 1, 0}, {-1, 0, 0}, {1, 0, 0}};
    const auto six = [](double v) { return std::round(v * 1e6) / 1e6; };
    for (int k = 0; k < n; ++k) {
        const double a = 0.37 * k, c = std::cos(a), sn = std::sin(a);
        const double o[3] = {3.0 * (k % side), 3.0 * (k / side % side), 3.0 * (k / (side * side))};
        G3Vertex* v[8];
        for (int i = 0; i < 8; ++i) {
            const double x = (i & 1) - 0.5, y = ((i >> 1) & 1) - 0.5, z = ((i >> 2) & 1) - 0.5;
            v[i] = s->AddVertex(o[0] + c * x - sn * y, o[1] + sn * x + c * y, o[2] + z, 0);
        }
        for (int f = 0; f < 6; ++f) {
            G3Normal* nrm = s->AddNormal(six(c * out[f][0] - sn * out[f][1]), six(sn * out[f][0] + c * out[f][1]),
                                         out[f][2]);
            G3Vertex* corners[4] = {v[q[f][0]], v[q[f][1]], v[q[f][2]], v[q[f][3]]};
            G3Normal* normals[4] = {nrm, nrm, nrm, nrm};
            s->AddFacet(4, corners, 1, normals, nullptr);
        }
    }
    s->FormPlaneEquation();
    return s;
}

void BM_SeparateTurnedCubesWithNormals(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    TimeSeparate(state, TurnedCubesWithNormals(n), n);
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
BENCHMARK(BM_SeparateTurnedCubesWithNormals)->Arg(1000)->Arg(3000)->Iterations(3)->UseManualTime()->Unit(
    benchmark::kMillisecond);
BENCHMARK(BM_ShellSphere)->Arg(20000)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
