// Union, difference and intersection of two UV spheres of radius 1, the
// second moved by (1.5, 0.1, 0.05), of about 2k, 20k and 200k triangles
// each (shared vertices, closed). Only the operation is timed; building
// the operands is not. Counters:
//   facets       facets of the result
//   closed       1 when the result is closed
//   cgal_ms      (with CGAL) corefine_and_compute_union / _difference /
//                _intersection (Epick, Surface_mesh) on the same triangles,
//                in the same process, one run
//   cgal_ratio   cgal_ms / our time (above 1: ours is faster)
#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cmath>
#include <vector>

#ifdef G3_HAVE_CGAL
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/corefinement.h>
#include <CGAL/Surface_mesh.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// A UV sphere as points and triangles: `rings` bands from pole to pole and
// twice as many meridians (2 * segments * (rings - 1) triangles), single
// poles, triangles facing out.
struct Sphere {
    Sphere(int triangles, double cx, double cy, double cz)
    {
        const int rings = static_cast<int>(std::sqrt(triangles / 4.0)) + 1;
        const int segments = 2 * rings;
        points.push_back({cx, cy, cz + 1.0});
        for (int r = 1; r < rings; ++r)
            for (int k = 0; k < segments; ++k) {
                const double th = M_PI * r / rings;
                const double ph = 2.0 * M_PI * k / segments;
                points.push_back(
                    {cx + std::sin(th) * std::cos(ph), cy + std::sin(th) * std::sin(ph), cz + std::cos(th)});
            }
        const int south = static_cast<int>(points.size());
        points.push_back({cx, cy, cz - 1.0});
        auto at = [&](int r, int k) { return 1 + (r - 1) * segments + (k % segments); };
        for (int k = 0; k < segments; ++k) {
            triangles_.push_back({0, at(1, k), at(1, k + 1)});
            for (int r = 1; r + 1 < rings; ++r) {
                triangles_.push_back({at(r, k), at(r + 1, k), at(r + 1, k + 1)});
                triangles_.push_back({at(r, k), at(r + 1, k + 1), at(r, k + 1)});
            }
            triangles_.push_back({at(rings - 1, k), south, at(rings - 1, k + 1)});
        }
    }
    int Triangles() const { return static_cast<int>(triangles_.size()); }

    G3Surface* Build() const
    {
        const int n = Triangles();
        G3Surface* s = new G3Surface(static_cast<int>(points.size()), 0, n);
        std::vector<G3Vertex*> v;
        v.reserve(points.size());
        for (const auto& p : points)
            v.push_back(s->AddVertex(p[0], p[1], p[2], 0));
        for (const auto& t : triangles_) {
            G3Vertex* c[3] = {v[static_cast<size_t>(t[0])], v[static_cast<size_t>(t[1])], v[static_cast<size_t>(t[2])]};
            s->AddFacet(3, c, 1, nullptr, nullptr);
        }
        s->FormPlaneEquation();
        return s;
    }

    std::vector<std::array<double, 3>> points;
    std::vector<std::array<int, 3>> triangles_;
};

enum Op { kUnion, kDifference, kIntersection };

#ifdef G3_HAVE_CGAL
using K = CGAL::Exact_predicates_inexact_constructions_kernel;
using Mesh = CGAL::Surface_mesh<K::Point_3>;

Mesh ToMesh(const Sphere& s)
{
    Mesh m;
    std::vector<Mesh::Vertex_index> v;
    for (const auto& p : s.points)
        v.push_back(m.add_vertex(K::Point_3(p[0], p[1], p[2])));
    for (const auto& t : s.triangles_)
        m.add_face(v[static_cast<size_t>(t[0])], v[static_cast<size_t>(t[1])], v[static_cast<size_t>(t[2])]);
    return m;
}

double Cgal(const Sphere& a, const Sphere& b, Op op)
{
    namespace PMP = CGAL::Polygon_mesh_processing;
    Mesh ma = ToMesh(a);
    Mesh mb = ToMesh(b);
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
    const Op op = static_cast<Op>(state.range(0));
    const Sphere a(static_cast<int>(state.range(1)), 0.0, 0.0, 0.0);
    const Sphere b(static_cast<int>(state.range(1)), 1.5, 0.1, 0.05);
    double total = 0.0;
    int facets = 0;
    int closed = 0;
    for (auto _ : state) {
        G3Surface* sa = a.Build();
        G3Surface* sb = b.Build();
        G3BooleanCalculator engine;
        const auto t0 = Clock::now();
        G3Surface* r = op == kUnion ? engine.Add(sa, sb) : op == kDifference ? engine.Sub(sa, sb) : engine.Common(sa, sb);
        const auto t1 = Clock::now();
        state.SetIterationTime(Seconds(t0, t1));
        total += Seconds(t0, t1);
        facets = r ? r->GetFacetCount() : 0;
        closed = r && r->GetClosed();
        delete r;
    }
    const double mean = total / static_cast<double>(state.iterations());
    state.counters["triangles"] = a.Triangles();
    state.counters["facets"] = facets;
    state.counters["closed"] = closed;
#ifdef G3_HAVE_CGAL
    const double cgal = Cgal(a, b, op);
    state.counters["cgal_ms"] = 1e3 * cgal;
    state.counters["cgal_ratio"] = cgal / mean;
#else
    (void)mean;
#endif
}

} // namespace

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
