// RemoveEqualsVertexAndDivideEdges on the triangle soup of a UV sphere
// (every triangle with three vertices of its own) of about 20k, 200k and 2M
// triangles. Only the welding call is timed; building and deleting the soup
// are not. Counters:
//   stitch_ms    RemoveNonManifoldEdges afterwards (the welded soup still has
//                two edges per shared pair; stitching makes the mesh
//                connected, which is what the CGAL pipeline below delivers)
//   cgal_ms      (with CGAL) merge_duplicate_points_in_polygon_soup,
//                orient_polygon_soup and polygon_soup_to_polygon_mesh on the
//                same soup, in the same process
//   cgal_ratio   cgal_ms / weld time (above 1: the welding is faster)
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#ifdef G3_HAVE_CGAL
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/orient_polygon_soup.h>
#include <CGAL/Polygon_mesh_processing/polygon_soup_to_polygon_mesh.h>
#include <CGAL/Polygon_mesh_processing/repair_polygon_soup.h>
#include <CGAL/Surface_mesh.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// The corners of a UV sphere's triangles, three points each, the same
// position always computed the same way (so copies are bit-identical).
struct Soup {
    explicit Soup(int triangles)
    {
        // 2 * segments * (rings - 1) triangles with segments = 2 * rings.
        const int rings = static_cast<int>(std::sqrt(triangles / 4.0)) + 1;
        const int segments = 2 * rings;
        auto at = [&](int r, int k) -> std::array<double, 3> {
            if (r == 0)
                return {0.0, 0.0, 1.0};
            if (r == rings)
                return {0.0, 0.0, -1.0};
            const double th = M_PI * r / rings;
            const double ph = 2.0 * M_PI * (k % segments) / segments;
            return {std::sin(th) * std::cos(ph), std::sin(th) * std::sin(ph), std::cos(th)};
        };
        auto add = [&](std::array<double, 3> a, std::array<double, 3> b, std::array<double, 3> c) {
            for (const auto& p : {a, b, c})
                corners.insert(corners.end(), p.begin(), p.end());
        };
        for (int r = 0; r < rings; ++r)
            for (int k = 0; k < segments; ++k) {
                if (r > 0)
                    add(at(r, k), at(r + 1, k), at(r, k + 1));
                if (r < rings - 1)
                    add(at(r, k + 1), at(r + 1, k), at(r + 1, k + 1));
            }
    }
    int Triangles() const { return static_cast<int>(corners.size() / 9); }

    G3Surface* Build() const
    {
        const int n = Triangles();
        G3Surface* s = new G3Surface(3 * n, 3 * n, n);
        for (int t = 0; t < n; ++t) {
            G3Vertex* v[3];
            for (int c = 0; c < 3; ++c)
                v[c] = s->AddVertex(&corners[static_cast<size_t>(9 * t + 3 * c)], 0);
            s->AddFacet(3, v, 1, nullptr, nullptr);
        }
        return s;
    }

    std::vector<double> corners;
};

#ifdef G3_HAVE_CGAL
double CgalPipeline(const Soup& soup, int* vertices)
{
    using K = CGAL::Exact_predicates_inexact_constructions_kernel;
    namespace PMP = CGAL::Polygon_mesh_processing;
    std::vector<K::Point_3> points;
    std::vector<std::array<std::size_t, 3>> polygons;
    const int n = soup.Triangles();
    points.reserve(static_cast<size_t>(3 * n));
    polygons.reserve(static_cast<size_t>(n));
    for (int t = 0; t < n; ++t) {
        std::array<std::size_t, 3> poly;
        for (int c = 0; c < 3; ++c) {
            const double* p = &soup.corners[static_cast<size_t>(9 * t + 3 * c)];
            poly[static_cast<size_t>(c)] = points.size();
            points.emplace_back(p[0], p[1], p[2]);
        }
        polygons.push_back(poly);
    }
    CGAL::Surface_mesh<K::Point_3> mesh;
    const auto t0 = Clock::now();
    PMP::merge_duplicate_points_in_polygon_soup(points, polygons);
    PMP::orient_polygon_soup(points, polygons);
    PMP::polygon_soup_to_polygon_mesh(points, polygons, mesh);
    const auto t1 = Clock::now();
    *vertices = static_cast<int>(mesh.number_of_vertices());
    return Seconds(t0, t1);
}
#endif

void BM_WeldSphereSoup(benchmark::State& state)
{
    const Soup soup(static_cast<int>(state.range(0)));
    double weld = 0.0;
    double stitch = 0.0;
    int vertices = 0;
    int closed = 0;
    for (auto _ : state) {
        G3Surface* s = soup.Build();
        const auto t0 = Clock::now();
        s->RemoveEqualsVertexAndDivideEdges();
        const auto t1 = Clock::now();
        s->RemoveNonManifoldEdges();
        const auto t2 = Clock::now();
        state.SetIterationTime(Seconds(t0, t1));
        weld += Seconds(t0, t1);
        stitch += Seconds(t1, t2);
        vertices = s->GetVertexCount();
        closed = s->GetClosed() && 2 * s->GetEdgeCount() == 3 * s->GetFacetCount();
        delete s;
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["triangles"] = soup.Triangles();
    state.counters["vertices"] = vertices;
    state.counters["closed"] = closed;
    state.counters["stitch_ms"] = 1e3 * stitch / iterations;
#ifdef G3_HAVE_CGAL
    int cgalVertices = 0;
    const double cgal = CgalPipeline(soup, &cgalVertices);
    state.counters["cgal_ms"] = 1e3 * cgal;
    state.counters["cgal_vertices"] = cgalVertices;
    state.counters["cgal_ratio"] = cgal / (weld / iterations);
#endif
}

} // namespace

BENCHMARK(BM_WeldSphereSoup)->Arg(20000)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WeldSphereSoup)->Arg(200000)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WeldSphereSoup)->Arg(2000000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
