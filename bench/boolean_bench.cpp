// Union, difference and intersection of two UV spheres of radius 1, the
// second moved by (1.5, 0.1, 0.05), of about 2k, 20k and 200k triangles
// each (shared vertices, closed). Only the operation is timed; building
// the operands is not. Counters:
//   facets       facets of the result
//   closed       1 when the result is closed
//   cpu_ms       CPU time of all the process's threads during the
//                operation (large operands give the kernel a helper thread;
//                G3_BENCH_NO_HELPER=1 in the environment turns it off)
//   cgal_ms      (with CGAL) corefine_and_compute_union / _difference /
//                _intersection (Epick, Surface_mesh) on the same triangles,
//                in the same process, one run
//   cgal_ratio   cgal_ms / our time (above 1: ours is faster)
// Also the self-intersection pass on 300 / 3000 overlapping boxes.
#include "bench/bench_crowd.h"
#include "bench/bench_sphere.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/boolean/G3SideBySide.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <sys/resource.h>
#include <vector>

#ifdef G3_HAVE_CGAL
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/corefinement.h>
#include <CGAL/Surface_mesh.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// User and system time of the whole process so far, in seconds.
double ProcessCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           1e-6 * static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

// The two operands: the benchmarks' UV sphere, and a copy of it moved by
// (1.5, 0.1, 0.05).
struct Operands {
    explicit Operands(int triangles) : a(Sphere(triangles)), b(Sphere(triangles))
    {
        double m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {1.5, 0.1, 0.05, 1}};
        b->RealTransformation(m);
        a->FormPlaneEquation();
    }
    ~Operands()
    {
        delete a;
        delete b;
    }
    Operands(const Operands&) = delete;
    Operands& operator=(const Operands&) = delete;
    G3Surface* a;
    G3Surface* b;
};

enum Op { kUnion, kDifference, kIntersection };

#ifdef G3_HAVE_CGAL
using K = CGAL::Exact_predicates_inexact_constructions_kernel;
using Mesh = CGAL::Surface_mesh<K::Point_3>;

Mesh ToMesh(G3Surface* s)
{
    Mesh m;
    std::vector<Mesh::Vertex_index> v;
    for (int i = 0; i < s->GetVertexCount(); ++i) {
        const double* p = s->GetVertex(i)->GetXYZ();
        v.push_back(m.add_vertex(K::Point_3(p[0], p[1], p[2])));
    }
    for (int i = 0; i < s->GetFacetCount(); ++i) {
        std::vector<Mesh::Vertex_index> face;
        G3FacetVertexIterator it(s->GetFacet(i));
        while (it.hasNext())
            if (const G3Vertex* c = it.NextVertex())
                face.push_back(v[static_cast<size_t>(c->GetId())]);
        m.add_face(face);
    }
    return m;
}

double Cgal(const Operands& o, Op op)
{
    namespace PMP = CGAL::Polygon_mesh_processing;
    Mesh ma = ToMesh(o.a);
    Mesh mb = ToMesh(o.b);
    Mesh out;
    const auto t0 = Clock::now();
    if (op == kUnion)
        PMP::corefine_and_compute_union(ma, mb, out);
    else if (op == kDifference)
        PMP::corefine_and_compute_difference(ma, mb, out);
    else
        PMP::corefine_and_compute_intersection(ma, mb, out);
    return Seconds(t0, Clock::now());
}
#endif

void BM_SphereBoolean(benchmark::State& state)
{
    const char* noHelper = std::getenv("G3_BENCH_NO_HELPER");
    G3SideBySide::AllowHelperThread(!(noHelper && noHelper[0] == '1'));
    const Op op = static_cast<Op>(state.range(0));
    const Operands o(static_cast<int>(state.range(1)));
    double total = 0.0;
    double cpu = 0.0;
    int facets = 0;
    int closed = 0;
    for (auto _ : state) {
        G3Surface* sa = o.a->Duplicate();
        G3Surface* sb = o.b->Duplicate();
        G3BooleanCalculator engine;
        const double c0 = ProcessCpuSeconds();
        const auto t0 = Clock::now();
        G3Surface* r = op == kUnion ? engine.Add(sa, sb) : op == kDifference ? engine.Sub(sa, sb) : engine.Common(sa, sb);
        const auto t1 = Clock::now();
        cpu += ProcessCpuSeconds() - c0;
        state.SetIterationTime(Seconds(t0, t1));
        total += Seconds(t0, t1);
        facets = r ? r->GetFacetCount() : 0;
        closed = r && r->GetClosed();
        delete r;
    }
    const double mean = total / static_cast<double>(state.iterations());
    state.counters["triangles"] = o.a->GetFacetCount();
    state.counters["facets"] = facets;
    state.counters["closed"] = closed;
    state.counters["cpu_ms"] = 1e3 * cpu / static_cast<double>(state.iterations());
#ifdef G3_HAVE_CGAL
    const double cgal = Cgal(o, op);
    state.counters["cgal_ms"] = 1e3 * cgal;
    state.counters["cgal_ratio"] = cgal / mean;
#else
    (void)mean;
#endif
}

// The self-intersection pass (pairing grid, segment records, splitting and
// cleanup) on overlapping boxes; building them is not timed.
void BM_RemoveSelfIntersectionCrowd(benchmark::State& state)
{
    int facets = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<G3Surface> s = OverlappingBoxes(static_cast<int>(state.range(0)), false);
        s->FormPlaneEquation();
        state.ResumeTiming();
        G3BooleanCalculator engine;
        engine.RemoveSelfIntersection(s.get());
        state.PauseTiming();
        facets = s->GetFacetCount();
        s.reset();
        state.ResumeTiming();
    }
    state.counters["facets"] = facets;
}

} // namespace

BENCHMARK(BM_RemoveSelfIntersectionCrowd)->Arg(300)->Arg(3000)->Iterations(3)->Unit(benchmark::kMillisecond);

// Arguments: operation (0 union, 1 difference, 2 intersection), triangles.
BENCHMARK(BM_SphereBoolean)
    ->ArgsProduct({{0, 1, 2}, {2000}})
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SphereBoolean)
    ->ArgsProduct({{0, 1, 2}, {20000}})
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SphereBoolean)
    ->ArgsProduct({{0, 1, 2}, {200000}})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
