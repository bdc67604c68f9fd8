// Welding-style use of G3PointHash: every vertex of a triangle soup (each
// position repeated by four triangles, slightly jittered) goes through Add.
// Compares the classic fixed 24 cells per axis, a cube grid sized by the
// point count and a grid sized by count and box shape (SizeGrid: the sheet
// is ten times wider than it is high, so it gets fewer layers).
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3PointHash.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

struct Soup {
    explicit Soup(int count)
    {
        // Positions on a wavy sheet over [0, 100]^2.
        const int side = static_cast<int>(std::sqrt(count / 4.0)) + 1;
        std::uint32_t state = 12345;
        auto jitter = [&state]() {
            state = state * 1664525u + 1013904223u;
            return (static_cast<double>(state >> 8) / 16777216.0 - 0.5) * 1e-7;
        };
        for (int n = 0; static_cast<int>(points.size()) < count; ++n) {
            const double x = 100.0 * (n % side) / side, y = 100.0 * (n / side % side) / side;
            const double z = 5.0 * std::sin(x * 0.3) * std::cos(y * 0.2);
            for (int copy = 0; copy < 4; ++copy)
                points.emplace_back(new G3Point(x + jitter(), y + jitter(), z + jitter()));
        }
        for (auto& p : points) {
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::fmin(lo[a], p->GetXYZ()[a]);
                hi[a] = std::fmax(hi[a], p->GetXYZ()[a]);
            }
        }
    }
    std::vector<std::unique_ptr<G3Point>> points;
    double lo[3] = {1e300, 1e300, 1e300};
    double hi[3] = {-1e300, -1e300, -1e300};
};

enum Sizing { kFixed24, kCubeByCount, kByShape };

void Weld(benchmark::State& state, Sizing sizing)
{
    const Soup soup(static_cast<int>(state.range(0)));
    const int n = static_cast<int>(soup.points.size());
    int grid[3] = {24, 24, 24};
    if (sizing == kCubeByCount) {
        const int byCount = static_cast<int>(std::cbrt(static_cast<double>(n)));
        grid[0] = grid[1] = grid[2] = byCount > 24 ? byCount : 24;
    } else if (sizing == kByShape) {
        G3PointHash::SizeGrid(n, soup.lo, soup.hi, 1e-6, grid);
    }
    for (auto _ : state) {
        G3PointHash hash(grid, soup.lo, soup.hi, 1e-6);
        int merged = 0;
        for (const auto& p : soup.points)
            merged += hash.Add(p.get()) != nullptr;
        benchmark::DoNotOptimize(merged);
    }
    state.SetItemsProcessed(state.iterations() * n);
    state.counters["qx"] = grid[0];
    state.counters["qz"] = grid[2];
}

void BM_WeldFixed24(benchmark::State& state) { Weld(state, kFixed24); }
void BM_WeldSizedByCount(benchmark::State& state) { Weld(state, kCubeByCount); }
void BM_WeldSizedByShape(benchmark::State& state) { Weld(state, kByShape); }

}  // namespace

BENCHMARK(BM_WeldFixed24)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WeldSizedByCount)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WeldSizedByShape)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
