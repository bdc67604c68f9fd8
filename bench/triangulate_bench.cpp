// Facet triangulation through GLU: one facet with a 1000-vertex star-shaped
// outer contour and 50 square holes (appended as further contours), and a
// surface of 10 000 separate convex hexagons. Each iteration triangulates a
// freshly built surface (building is not timed).
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

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

} // namespace
