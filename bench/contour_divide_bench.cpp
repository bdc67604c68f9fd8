// The contour divider and intersector. EndLoad on random overlapping squares
// (one contour each), on fields of random octagons at constant density (the
// plane grows with the count; radius 0.5 to 3, one octagon per 16 units of
// area, so each overlaps a few neighbours and some nest) and on one
// self-crossing star polygon {n/2} (every side crosses two others); DoIntersect (union and pieces) on the triangles
// of a terrain-like grid, jittered in plan and height, projected to the
// plan. Each at full size and at a tenth.
#include "Geometry/contour/G3ContourDivider.h"
#include "Geometry/contour/G3ContourIntersector.h"
#include "Geometry/contour/GPathLoader.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

class CountingDivider : public G3ContourDivider {
public:
    long edges = 0;
    void UnloadEdge(double*, int, double*, int, int, unsigned long, unsigned long) override { ++edges; }
};

class CountingLoader : public GPathLoader {
public:
    long segments = 0;
    void PathBegin(int) override {}
    void PathSetPreferPlane(int, int) override {}
    void PathContourBegin(double*, int, CONTOUR_TYPE) override {}
    void PathContourSegmentTo(SEGMENT_TYPE, SEGMENT_VISIBILITY, int, double*) override { ++segments; }
    void PathContourEnd() override {}
    void PathEnd() override {}
};

void LoadRing(G3ContourDivider& d, const std::vector<double>& xy)
{
    const size_t n = xy.size() / 2;
    d.BeginLoadContour();
    for (size_t k = 0; k < n; ++k) {
        double a[3] = {xy[2 * k], xy[2 * k + 1], 0.0};
        double b[3] = {xy[2 * ((k + 1) % n)], xy[2 * ((k + 1) % n) + 1], 0.0};
        d.LoadEdge(a, b, 1, 0, 0);
    }
    d.EndLoadContour();
}

// Times the divider over the rings (each a flat x, y list); counter: the
// edges it unloads.
void Divide(benchmark::State& state, const std::vector<std::vector<double>>& rings)
{
    long edges = 0;
    for (auto _ : state) {
        CountingDivider d;
        d.BeginLoad(1, 0);
        for (const auto& q : rings)
            LoadRing(d, q);
        d.EndLoad();
        edges = d.edges;
    }
    state.counters["unloaded"] = static_cast<double>(edges);
}

void BM_DividerSquares(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> pos(0.0, 100.0);
    std::uniform_real_distribution<double> size(1.0, 10.0);
    std::vector<std::vector<double>> squares;
    for (int k = 0; k < n; ++k) {
        const double x = pos(rng), y = pos(rng), s = size(rng);
        squares.push_back({x, y, x + s, y, x + s, y + s, x, y + s});
    }
    Divide(state, squares);
}
BENCHMARK(BM_DividerSquares)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_DividerOctagons(benchmark::State& state)
{
    const int octagons = static_cast<int>(state.range(0)) / 8;
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double side = std::sqrt(16.0 * octagons);
    std::vector<std::vector<double>> rings;
    for (int k = 0; k < octagons; ++k) {
        const double x = side * unit(rng), y = side * unit(rng);
        const double r = 0.5 + 2.5 * unit(rng), a0 = unit(rng);
        std::vector<double> ring;
        for (int m = 0; m < 8; ++m) {
            ring.push_back(x + r * std::cos(a0 + m * M_PI / 4));
            ring.push_back(y + r * std::sin(a0 + m * M_PI / 4));
        }
        rings.push_back(ring);
    }
    Divide(state, rings);
}
BENCHMARK(BM_DividerOctagons)->Arg(1000)->Arg(10000)->Arg(30000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_DividerStar(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0)); // odd: one closed star
    const double r = 1e4;
    std::vector<double> ring;
    for (int k = 0; k < n; ++k) {
        const double a = 2.0 * M_PI * static_cast<double>((2L * k) % n) / n;
        ring.push_back(r * std::cos(a));
        ring.push_back(r * std::sin(a));
    }
    long edges = 0;
    for (auto _ : state) {
        CountingDivider d;
        d.BeginLoad(1, 0);
        LoadRing(d, ring);
        d.EndLoad();
        edges = d.edges;
    }
    state.counters["unloaded"] = static_cast<double>(edges);
}
BENCHMARK(BM_DividerStar)->Arg(2001)->Arg(20001)->Unit(benchmark::kMillisecond);

// A grid of m x m cells, two triangles each, vertices jittered.
std::vector<double> Terrain(int triangles)
{
    const int m = static_cast<int>(std::ceil(std::sqrt(triangles / 2.0)));
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> jitter(-0.3, 0.3);
    std::uniform_real_distribution<double> height(0.0, 50.0);
    std::vector<double> v;
    for (int y = 0; y <= m; ++y)
        for (int x = 0; x <= m; ++x) {
            v.push_back(x + jitter(rng));
            v.push_back(y + jitter(rng));
            v.push_back(height(rng));
        }
    std::vector<double> tris;
    auto put = [&](int x, int y) {
        const size_t at = static_cast<size_t>(y * (m + 1) + x) * 3;
        tris.insert(tris.end(), {v[at], v[at + 1], v[at + 2]});
    };
    for (int y = 0; y < m; ++y)
        for (int x = 0; x < m; ++x) {
            put(x, y), put(x + 1, y), put(x + 1, y + 1);
            put(x, y), put(x + 1, y + 1), put(x, y + 1);
        }
    tris.resize(static_cast<size_t>(triangles) * 9);
    return tris;
}

void BM_IntersectTerrain(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const auto op = static_cast<BOOLEAN_OPERATION>(state.range(1));
    std::vector<double> tris = Terrain(n);
    long segments = 0;
    for (auto _ : state) {
        CountingLoader loader;
        G3ContourIntersector ci;
        ci.SetPathLoader(&loader);
        ci.LoadBegin(0, 1);
        for (size_t k = 0; k + 9 <= tris.size(); k += 9)
            ci.TriangleLoad(&tris[k], &tris[k + 3], &tris[k + 6], 1, 1, 1);
        ci.LoadEnd();
        ci.DoIntersect(op);
        segments = loader.segments;
    }
    state.counters["segments"] = static_cast<double>(segments);
}
BENCHMARK(BM_IntersectTerrain)
    ->Args({1000, BOOLEAN_OPERATION_UNION})
    ->Args({10000, BOOLEAN_OPERATION_UNION})
    ->Args({1000, BOOLEAN_OPERATION_PIECES})
    ->Args({10000, BOOLEAN_OPERATION_PIECES})
    ->Unit(benchmark::kMillisecond);

} // namespace
