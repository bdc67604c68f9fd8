// g3 render's rasterizer on a UV sphere of about 2M triangles on shared
// vertices (1000 rings of 1000 segments), drawn at 1024 x 1024 in the iso
// view, with every edge as a line (all are visible) and without edges.
// Building the sphere is not timed; only RenderSurface is. Counters:
//   triangles  triangles rasterized
//   edges      edges drawn as lines
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "tools/render/G3Render.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

std::unique_ptr<G3Surface> Sphere(int rings, int segments)
{
    auto s = std::make_unique<G3Surface>();
    std::vector<G3Vertex*> v;
    v.push_back(s->AddVertex(0, 0, 1, 0));
    for (int r = 1; r < rings; ++r)
        for (int k = 0; k < segments; ++k) {
            const double th = M_PI * r / rings, ph = 2.0 * M_PI * k / segments;
            v.push_back(s->AddVertex(std::sin(th) * std::cos(ph), std::sin(th) * std::sin(ph), std::cos(th), 0));
        }
    v.push_back(s->AddVertex(0, 0, -1, 0));
    auto at = [&](int r, int k) -> G3Vertex* {
        if (r == 0)
            return v.front();
        if (r == rings)
            return v.back();
        return v[static_cast<std::size_t>(1 + (r - 1) * segments + (k % segments))];
    };
    auto tri = [&](G3Vertex* a, G3Vertex* b, G3Vertex* c) {
        G3Vertex* t[3] = {a, b, c};
        s->AddFacet(3, t, 1, nullptr, nullptr);
    };
    for (int r = 0; r < rings; ++r)
        for (int k = 0; k < segments; ++k) {
            G3Vertex *a = at(r, k), *b = at(r + 1, k), *c = at(r + 1, k + 1), *d = at(r, k + 1);
            if (r > 0)
                tri(a, b, d);
            if (r + 1 < rings)
                tri(d, b, c);
        }
    s->FormPlaneEquation();
    return s;
}

G3Surface& Mesh()
{
    static std::unique_ptr<G3Surface> mesh = Sphere(1000, 1000);
    return *mesh;
}

void BM_Render2M(benchmark::State& state)
{
    G3Surface& s = Mesh();
    g3render::RenderOptions options;
    options.width = 1024;
    options.height = 1024;
    options.edges = state.range(0) ? g3render::EdgeMode::Visible : g3render::EdgeMode::None;
    g3render::RenderStats stats;
    for (auto _ : state) {
        g3render::Image image;
        g3render::RenderSurface(s, options, image, &stats);
        benchmark::DoNotOptimize(image.rgb.data());
    }
    state.counters["triangles"] = stats.triangles;
    state.counters["edges"] = stats.edges;
}
BENCHMARK(BM_Render2M)->Arg(1)->Arg(0)->ArgName("edges")->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
