// The cutting half of a boolean on two UV spheres of about 2k, 20k and 200k
// triangles each, the second moved by (1.5, 0.1, 0.05): preparation (merge
// in plane, triangulation, scaling, working data), the pairing pass and the
// splitting of both operands. Copies of the spheres are made outside the
// timed part; each iteration cuts fresh copies. The preparation merges each
// sphere's triangle pairs back into quads and is most of the cost; pairing
// and splitting grow with the facets near the intersection curve.
#include "bench/bench_sphere.h"

#include "Geometry/boolean/G3BooleanCalculator.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

class Cutter : public G3BooleanCalculator {
public:
    void Cut(G3Surface* a, G3Surface* b)
    {
        A = a;
        B = b;
        OpenBoolean();
        Divide();
        MergeSurfaceAndIntersectionTree(A, &envA);
        MergeSurfaceAndIntersectionTree(B, &envB);
        CloseBoolean();
    }
};

void BM_CutTwoSpheres(benchmark::State& state)
{
    const int triangles = static_cast<int>(state.range(0));
    std::unique_ptr<G3Surface> a(Sphere(triangles));
    std::unique_ptr<G3Surface> b(Sphere(triangles));
    double m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {1.5, 0.1, 0.05, 1}};
    b->RealTransformation(m);
    a->FormPlaneEquation();
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<G3Surface> ca(a->Duplicate());
        std::unique_ptr<G3Surface> cb(b->Duplicate());
        state.ResumeTiming();
        Cutter c;
        c.Cut(ca.get(), cb.get());
        benchmark::DoNotOptimize(ca->GetFacetCount());
        state.PauseTiming();
        ca.reset();
        cb.reset();
        state.ResumeTiming();
    }
    state.counters["triangles"] = triangles;
}
BENCHMARK(BM_CutTwoSpheres)->Arg(2000)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);

} // namespace
