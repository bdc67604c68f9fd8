// Facet triangulation: one facet with a 1000-vertex star-shaped outer
// contour and 50 square holes (appended as further contours), a surface of
// 10 000 separate convex hexagons, and one random star polygon of 1k to 100k
// corners (radii drawn from 50 to 100 at even angles, fixed seed), by the
// long-polygon engine (road 0) and by GLU alone (road 1, the engine
// unregistered for the run). Each iteration triangulates a freshly built
// surface (building is not timed; one untimed run warms the pools). With CGAL installed, the star is also
// triangulated by its triangulate_faces on a Surface_mesh of the same face,
// in the same process: counters cgal_ms and ratio (ours / CGAL, CPU).
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "Geometry/processing/G3PolygonTriangulator.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#include <memory>
#include <random>
#include <vector>

#ifdef G3_HAVE_CGAL
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/triangulate_faces.h>
#include <CGAL/Surface_mesh.h>
#endif

namespace {

std::unique_ptr<G3Surface> StarWithHoles()
{
    std::unique_ptr<G3Surface> s(new G3Surface());
    const int n = 1000;
    std::vector<int> ids;
    for (int k = 0; k < n; ++k) {
        const double a = 2.0 * M_PI * k / n;
        const double r = (k & 1) ? 60.0 : 100.0;
        ids.push_back(static_cast<int>(s->AddVertex(r * std::cos(a), r * std::sin(a), 0.0, 0)->GetId()));
    }
    G3Facet* f = s->AddFacet(n, ids.data(), 1, nullptr, nullptr);
    // 10 x 5 squares of side 4 on a pitch of 8, well inside the inner radius.
    for (int row = 0; row < 5; ++row) {
        for (int col = 0; col < 10; ++col) {
            const double x = -40.0 + 8.0 * col;
            const double y = -20.0 + 8.0 * row;
            G3Vertex* v[4] = {s->AddVertex(x, y, 0, 0), s->AddVertex(x, y + 4, 0, 0), s->AddVertex(x + 4, y + 4, 0, 0),
                              s->AddVertex(x + 4, y, 0, 0)};
            G3EdgeList hole(4, v, nullptr, nullptr, nullptr, 0, 0);
            s->AddFacetEdges(f, &hole);
        }
    }
    return s;
}

std::unique_ptr<G3Surface> Hexagons(int count)
{
    std::unique_ptr<G3Surface> s(new G3Surface(6 * count, 0, count));
    for (int k = 0; k < count; ++k) {
        const double cx = 3.0 * (k % 100);
        const double cy = 3.0 * (k / 100);
        int ids[6];
        for (int c = 0; c < 6; ++c) {
            const double a = M_PI / 3.0 * c;
            ids[c] = static_cast<int>(s->AddVertex(cx + std::cos(a), cy + std::sin(a), 0.0, 0)->GetId());
        }
        s->AddFacet(6, ids, 1, nullptr, nullptr);
    }
    return s;
}

void BM_TriangulateStarWithHoles(benchmark::State& state)
{
    int triangles = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<G3Surface> s = StarWithHoles();
        state.ResumeTiming();
        benchmark::DoNotOptimize(s->Triangulate(4, 1));
        state.PauseTiming();
        triangles = s->GetFacetList()->size();
        s.reset();
        state.ResumeTiming();
    }
    state.counters["triangles"] = triangles;
}
BENCHMARK(BM_TriangulateStarWithHoles)->Unit(benchmark::kMillisecond);

void BM_TriangulateHexagons(benchmark::State& state)
{
    int triangles = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<G3Surface> s = Hexagons(10000);
        state.ResumeTiming();
        benchmark::DoNotOptimize(s->Triangulate(4, 1));
        state.PauseTiming();
        triangles = s->GetFacetList()->size();
        s.reset();
        state.ResumeTiming();
    }
    state.counters["triangles"] = triangles;
}
BENCHMARK(BM_TriangulateHexagons)->Unit(benchmark::kMillisecond);

std::vector<double> StarRadii(int n)
{
    std::mt19937 rng(20261207u);
    std::uniform_real_distribution<double> radius(50.0, 100.0);
    std::vector<double> r(static_cast<std::size_t>(n));
    for (double& x : r)
        x = radius(rng);
    return r;
}

std::unique_ptr<G3Surface> RandomStar(const std::vector<double>& radii)
{
    const int n = static_cast<int>(radii.size());
    std::unique_ptr<G3Surface> s(new G3Surface(n, 0, 1));
    std::vector<int> ids;
    for (int k = 0; k < n; ++k) {
        const double a = 2.0 * M_PI * k / n;
        const double r = radii[static_cast<std::size_t>(k)];
        ids.push_back(static_cast<int>(s->AddVertex(r * std::cos(a), r * std::sin(a), 0.0, 0)->GetId()));
    }
    s->AddFacet(n, ids.data(), 1, nullptr, nullptr);
    return s;
}

double CpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

#ifdef G3_HAVE_CGAL
// CPU seconds of CGAL's triangulate_faces on the same star as one face.
double CgalStar(const std::vector<double>& radii)
{
    using K = CGAL::Exact_predicates_inexact_constructions_kernel;
    using Mesh = CGAL::Surface_mesh<K::Point_3>;
    const int n = static_cast<int>(radii.size());
    Mesh m;
    std::vector<Mesh::Vertex_index> face;
    for (int k = 0; k < n; ++k) {
        const double a = 2.0 * M_PI * k / n;
        const double r = radii[static_cast<std::size_t>(k)];
        face.push_back(m.add_vertex(K::Point_3(r * std::cos(a), r * std::sin(a), 0.0)));
    }
    m.add_face(face);
    const double c0 = CpuSeconds();
    CGAL::Polygon_mesh_processing::triangulate_faces(m);
    return CpuSeconds() - c0;
}
#endif

void BM_TriangulateRandomStar(benchmark::State& state)
{
    const std::vector<double> radii = StarRadii(static_cast<int>(state.range(0)));
    const bool gluOnly = state.range(1) == 1;
    const G3PolygonTriangulator engine = G3GetPolygonTriangulator();
    if (gluOnly)
        G3SetPolygonTriangulator(nullptr);
    // One untimed run first, so that every size is timed on the pools'
    // reused memory rather than the largest alone paying for fresh pages.
    RandomStar(radii)->Triangulate(4, 1);
    int triangles = 0;
    double cpu = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<G3Surface> s = RandomStar(radii);
        state.ResumeTiming();
        const double c0 = CpuSeconds();
        benchmark::DoNotOptimize(s->Triangulate(4, 1));
        cpu += CpuSeconds() - c0;
        state.PauseTiming();
        triangles = s->GetFacetList()->size();
        s.reset();
        state.ResumeTiming();
    }
    G3SetPolygonTriangulator(engine);
    state.counters["triangles"] = triangles;
#ifdef G3_HAVE_CGAL
    if (!gluOnly) {
        const double cgal = CgalStar(radii);
        state.counters["cgal_ms"] = 1e3 * cgal;
        state.counters["ratio"] = cpu / static_cast<double>(state.iterations()) / cgal;
    }
#endif
}
BENCHMARK(BM_TriangulateRandomStar)
    ->ArgNames({"corners", "glu"})
    ->Args({1000, 0})
    ->Args({10000, 0})
    ->Args({30000, 0})
    ->Args({100000, 0})
    ->Args({1000, 1})
    ->Args({10000, 1})
    ->Args({30000, 1})
    ->Unit(benchmark::kMillisecond);

} // namespace
