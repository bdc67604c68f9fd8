// Terrain triangulation: MakeTriangulation on uniformly random points, with
// and without 1000 constraint segments (10 concentric closed 100-gons), and
// the whole run MakeTriangulation + GetSurface (triangles read back as a
// welded mesh).
// When CGAL is available, its constrained Delaunay triangulation runs on the
// same input and the ratio of the two times is reported.
//
// The *Surface runs are what a host sees when it triangulates again and
// again: the pools keep the chunks of a deleted surface mapped (the system
// may take their pages back), so only the first 1M run maps and touches
// its ~1 GB afresh. The *SurfaceFresh runs release every pool's kept
// memory before each run, so each one is a first run. The *SurfaceWarm
// runs (registered last) also keep the C heap's freed memory and run once
// untimed first, so every size is measured with its memory already mapped:
// their ratios show the growth of the work itself.

#include "Geometry/foundation/GHeap.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/terrain/G3TriInterface.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <random>
#include <vector>

#ifdef G3_HAVE_CGAL
#include <CGAL/Constrained_Delaunay_triangulation_2.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#endif

namespace {

// Thread CPU seconds: both triangulations run on one thread, and CPU time
// stays comparable on a machine shared with other work.
double CpuSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

struct Input {
    std::vector<std::pair<double, double>> points;
    std::vector<std::vector<std::pair<double, double>>> rings;
};

const Input& GetInput(int n)
{
    static std::vector<std::pair<int, Input>> cache;
    for (const auto& c : cache)
        if (c.first == n)
            return c.second;
    Input in;
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> u(0.0, 1000.0);
    in.points.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        in.points.emplace_back(u(rng), u(rng));
    for (int r = 1; r <= 10; ++r) {
        std::vector<std::pair<double, double>> ring;
        for (int i = 0; i < 100; ++i) {
            const double a = 2 * M_PI * (i + 0.5 * r) / 100;
            ring.emplace_back(500 + 45.0 * r * std::cos(a), 500 + 45.0 * r * std::sin(a));
        }
        in.rings.push_back(ring);
    }
    cache.emplace_back(n, std::move(in));
    return cache.back().second;
}

// Loads the input into a fresh interface and returns the CPU seconds that
// MakeTriangulation took (followed by GetSurface when withSurface; releasing
// the surface is not timed).
double RunTin(const Input& in, bool constrained, int* triangles, bool withSurface = false)
{
    G3TriInterface tin;
    for (const auto& p : in.points) {
        const double q[3] = {p.first, p.second, 0.0};
        tin.AddVertex(q);
    }
    if (constrained) {
        for (const auto& ring : in.rings) {
            std::vector<G3TVertex*> v;
            for (const auto& p : ring) {
                const double q[3] = {p.first, p.second, 0.0};
                v.push_back(tin.AddVertex(q));
            }
            for (std::size_t i = 0; i < v.size(); ++i)
                tin.AddEdge(v[i], v[(i + 1) % v.size()]);
        }
    }
    const double t0 = CpuSeconds();
    tin.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    G3Surface* surface = withSurface ? tin.GetSurface() : nullptr;
    const double t1 = CpuSeconds();
    *triangles = surface ? surface->GetFacetCount() : tin.GetTriangleCount();
    delete surface;
    return t1 - t0;
}

void BM_TinRandom(benchmark::State& state)
{
    const Input& in = GetInput(static_cast<int>(state.range(0)));
    int triangles = 0;
    for (auto _ : state)
        state.SetIterationTime(RunTin(in, false, &triangles));
    state.counters["triangles"] = triangles;
}

void BM_TinConstrained(benchmark::State& state)
{
    const Input& in = GetInput(static_cast<int>(state.range(0)));
    int triangles = 0;
    for (auto _ : state)
        state.SetIterationTime(RunTin(in, true, &triangles));
    state.counters["triangles"] = triangles;
}

void BM_TinRandomSurface(benchmark::State& state)
{
    const Input& in = GetInput(static_cast<int>(state.range(0)));
    int facets = 0;
    for (auto _ : state)
        state.SetIterationTime(RunTin(in, false, &facets, true));
    state.counters["facets"] = facets;
}

void BM_TinConstrainedSurface(benchmark::State& state)
{
    const Input& in = GetInput(static_cast<int>(state.range(0)));
    int facets = 0;
    for (auto _ : state)
        state.SetIterationTime(RunTin(in, true, &facets, true));
    state.counters["facets"] = facets;
}

// The same with every pool's kept memory released before each run (not
// timed): the surface's ~1 GB at 1M points is then mapped and touched
// afresh, as in a process's first run.
void SurfaceFresh(benchmark::State& state, bool constrained)
{
    const Input& in = GetInput(static_cast<int>(state.range(0)));
    int facets = 0;
    for (auto _ : state) {
        GHeap::RunGarbageCollector();
        state.SetIterationTime(RunTin(in, constrained, &facets, true));
    }
    state.counters["facets"] = facets;
}

void BM_TinRandomSurfaceFresh(benchmark::State& state) { SurfaceFresh(state, false); }
void BM_TinConstrainedSurfaceFresh(benchmark::State& state) { SurfaceFresh(state, true); }

BENCHMARK(BM_TinRandomSurfaceFresh)->Arg(10000)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TinConstrainedSurfaceFresh)->Arg(10000)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond);

// Keeps freed memory mapped while alive (glibc: no trimming, no mmap
// chunks); gives it back afterwards.
struct KeepMemory {
    KeepMemory()
    {
#ifdef __GLIBC__
        mallopt(M_MMAP_MAX, 0);
        mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
    }
    ~KeepMemory()
    {
#ifdef __GLIBC__
        mallopt(M_TRIM_THRESHOLD, 128 * 1024);
        mallopt(M_MMAP_MAX, 65536);
        malloc_trim(0);
#endif
    }
};

void SurfaceWarm(benchmark::State& state, bool constrained)
{
    const Input& in = GetInput(static_cast<int>(state.range(0)));
    KeepMemory keep;
    int facets = 0;
    RunTin(in, constrained, &facets, true);
    for (auto _ : state)
        state.SetIterationTime(RunTin(in, constrained, &facets, true));
    state.counters["facets"] = facets;
}

void BM_TinRandomSurfaceWarm(benchmark::State& state) { SurfaceWarm(state, false); }
void BM_TinConstrainedSurfaceWarm(benchmark::State& state) { SurfaceWarm(state, true); }

BENCHMARK(BM_TinRandom)->Arg(10000)->Arg(100000)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TinConstrained)->Arg(10000)->Arg(100000)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TinRandomSurface)->Arg(10000)->Arg(100000)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TinConstrainedSurface)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

#ifdef G3_HAVE_CGAL
typedef CGAL::Exact_predicates_inexact_constructions_kernel K;
typedef CGAL::Constrained_Delaunay_triangulation_2<K> CDT;

double RunCgal(const Input& in, bool constrained, int* triangles)
{
    std::vector<K::Point_2> pts;
    pts.reserve(in.points.size());
    for (const auto& p : in.points)
        pts.emplace_back(p.first, p.second);
    CDT cdt;
    const double t0 = CpuSeconds();
    cdt.insert(pts.begin(), pts.end());
    if (constrained) {
        for (const auto& ring : in.rings)
            for (std::size_t i = 0; i < ring.size(); ++i) {
                const auto& a = ring[i];
                const auto& b = ring[(i + 1) % ring.size()];
                cdt.insert_constraint(K::Point_2(a.first, a.second), K::Point_2(b.first, b.second));
            }
    }
    const double t1 = CpuSeconds();
    *triangles = static_cast<int>(cdt.number_of_faces());
    return t1 - t0;
}

void BM_CgalRandom(benchmark::State& state)
{
    const Input& in = GetInput(static_cast<int>(state.range(0)));
    int triangles = 0;
    for (auto _ : state)
        state.SetIterationTime(RunCgal(in, false, &triangles));
    state.counters["triangles"] = triangles;
}

void BM_CgalConstrained(benchmark::State& state)
{
    const Input& in = GetInput(static_cast<int>(state.range(0)));
    int triangles = 0;
    for (auto _ : state)
        state.SetIterationTime(RunCgal(in, true, &triangles));
    state.counters["triangles"] = triangles;
}

// Both on the same input in each iteration; ratio = this engine / CGAL.
void RatioToCgal(benchmark::State& state)
{
    const Input& in = GetInput(static_cast<int>(state.range(0)));
    const bool constrained = state.range(1) != 0;
    double tin = 0.0, cgal = 0.0;
    int t1 = 0, t2 = 0;
    for (auto _ : state) {
        const double a = RunTin(in, constrained, &t1);
        const double b = RunCgal(in, constrained, &t2);
        tin += a;
        cgal += b;
        state.SetIterationTime(a + b);
    }
    state.counters["tin_ms"] = 1e3 * tin / static_cast<double>(state.iterations());
    state.counters["cgal_ms"] = 1e3 * cgal / static_cast<double>(state.iterations());
    state.counters["ratio"] = cgal > 0 ? tin / cgal : 0.0;
}

void BM_RatioToCgal(benchmark::State& state) { RatioToCgal(state); }

// The same with freed memory kept mapped and one untimed run of each first:
// the cold ratio above includes the page faults of each library's first
// touch of its memory, which vary with what the process did before.
void BM_RatioToCgalWarm(benchmark::State& state)
{
    const Input& in = GetInput(static_cast<int>(state.range(0)));
    const bool constrained = state.range(1) != 0;
    KeepMemory keep;
    int t1 = 0, t2 = 0;
    RunTin(in, constrained, &t1);
    RunCgal(in, constrained, &t2);
    RatioToCgal(state);
}

BENCHMARK(BM_CgalRandom)->Arg(10000)->Arg(100000)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CgalConstrained)->Arg(10000)->Arg(100000)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond);
// Sizes and (for 1M) the constrained input; times are the engines' own.
void RatioRuns(benchmark::internal::Benchmark* b)
{
    b->Args({10000, 0})->Args({100000, 0})->Args({1000000, 0})->Args({1000000, 1});
    b->UseManualTime()->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_RatioToCgal)->Apply(RatioRuns);
#endif

// Last, so that no other benchmark runs after the memory settings changed.
#ifdef G3_HAVE_CGAL
BENCHMARK(BM_RatioToCgalWarm)->Apply(RatioRuns);
#endif
BENCHMARK(BM_TinRandomSurfaceWarm)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TinConstrainedSurfaceWarm)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
