// The landscape handler on noisy n x n survey grids (spacing 1, heights a
// gentle slope plus noise of +-0.3, fixed seed), n = 100 and 300:
// LandscapeSmoothing modes 1 to 4 (one iteration), SurfaceCover, and
// ApplyFlatRegion with one 40-point pad contour (a circle of radius n/6 at
// the centre, offset 1). The grid is triangulated outside the timed loop;
// each iteration works on a fresh duplicate where the operation is in place.
// Counter: facets of the result. Each case runs once untimed first, so that
// both sizes are timed on the pools' reused memory: a cold first run also
// pays for fresh pages (about half of it at 300 x 300), which says more
// about the machine than about the algorithm's growth.
// BM_ScatteredPadCover: n random survey points (n = 10,000 and 100,000,
// fixed seed) over a square of side 3 sqrt(n), so the density stays put and
// the vertex list runs in no spatial order; a 64-corner pad of radius a
// quarter of the side at the centre cut in (offset 1) and the result
// covered. Pad and cover are timed together: the cover's update rereads
// the whole cut mesh, and both grow by about ten per tenfold n when every
// whole-mesh pass is linear.
// BM_TerracedSmoothing: n random survey points (n = 10,000 and 100,000,
// fixed seed, rounded to 0.001) on terraces: gentle slopes broken by steps
// every 100 units, smoothed by mode 1. Its normals crowd within a thousandth of one
// direction while the steps' facets stretch their box: the case the normal
// merge's hash must not pile into one cell.
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/terrain/G3LandscapeHandler.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>

namespace {

std::unique_ptr<G3Surface> Survey(int n)
{
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> noise(-0.3, 0.3);
    G3TriInterface tri;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const double p[3] = {double(i), double(j), 10.0 + 0.05 * i + 0.02 * j + noise(rng)};
            tri.AddVertex(p);
        }
    tri.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    return std::unique_ptr<G3Surface>(tri.GetSurface());
}

void BM_Smoothing(benchmark::State& state)
{
    auto grid = Survey(static_cast<int>(state.range(0)));
    const int mode = static_cast<int>(state.range(1));
    G3LandscapeHandler h;
    G3LandscapeHandler::ReleaseRecords(std::unique_ptr<G3Surface>(h.LandscapeSmoothing(grid.get(), mode, 1)).get());
    int facets = 0;
    for (auto _ : state) {
        std::unique_ptr<G3Surface> s(h.LandscapeSmoothing(grid.get(), mode, 1));
        facets = s ? s->GetFacetCount() : -1;
        G3LandscapeHandler::ReleaseRecords(s.get());
    }
    state.counters["facets"] = facets;
}

void BM_SurfaceCover(benchmark::State& state)
{
    auto grid = Survey(static_cast<int>(state.range(0)));
    G3LandscapeHandler h;
    h.SurfaceCover(std::unique_ptr<G3Surface>(grid->Duplicate()).get());
    int facets = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<G3Surface> s(grid->Duplicate());
        state.ResumeTiming();
        h.SurfaceCover(s.get());
        facets = s->GetFacetCount();
    }
    state.counters["facets"] = facets;
}

// One 40-point circle of radius n/6 at the grid's centre, offset 1.
void SetPad(G3LandscapeHandler& h, int n)
{
    h.StartContour();
    const double c = (n - 1) / 2.0, r = n / 6.0;
    for (int k = 0; k <= 40; ++k) {
        const double t = -2.0 * 3.14159265358979323846 * (k % 40) / 40.0;
        h.AddContourVertex(c + r * std::cos(t), c + r * std::sin(t), 12.0);
    }
    h.EndContour();
    h.flatOffset = 1.0;
}

void BM_ApplyFlatRegion(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    auto grid = Survey(n);
    {
        G3LandscapeHandler warm;
        SetPad(warm, n);
        delete warm.ApplyFlatRegion(grid.get());
    }
    int facets = 0;
    for (auto _ : state) {
        state.PauseTiming();
        G3LandscapeHandler h;
        SetPad(h, n);
        state.ResumeTiming();
        std::unique_ptr<G3Surface> s(h.ApplyFlatRegion(grid.get()));
        facets = s ? s->GetFacetCount() : -1;
    }
    state.counters["facets"] = facets;
}

void BM_ScatteredPadCover(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const double side = 3.0 * std::sqrt(double(n));
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> at(0.0, side);
    G3TriInterface tri;
    for (int i = 0; i < n; ++i) {
        const double x = at(rng), y = at(rng);
        const double p[3] = {x, y, 5.0 + 2.0 * std::sin(x / 7.0) + std::cos(y / 11.0)};
        tri.AddVertex(p);
    }
    tri.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    std::unique_ptr<G3Surface> survey(tri.GetSurface());
    const auto pad = [side](G3LandscapeHandler& h) {
        h.StartContour();
        for (int k = 0; k <= 64; ++k) {
            const double t = -2.0 * 3.14159265358979323846 * (k % 64) / 64.0;
            const double r = side / 4.0 * (1.0 + 0.1 * std::sin(5.0 * t));
            h.AddContourVertex(side / 2.0 + r * std::cos(t), side / 2.0 + r * std::sin(t), 6.0);
        }
        h.EndContour();
        h.flatOffset = 1.0;
    };
    {
        G3LandscapeHandler warm;
        pad(warm);
        std::unique_ptr<G3Surface> s(warm.ApplyFlatRegion(survey.get()));
        warm.SurfaceCover(s.get());
    }
    int facets = 0;
    for (auto _ : state) {
        state.PauseTiming();
        G3LandscapeHandler h;
        pad(h);
        state.ResumeTiming();
        std::unique_ptr<G3Surface> s(h.ApplyFlatRegion(survey.get()));
        h.SurfaceCover(s.get());
        facets = s ? s->GetFacetCount() : -1;
    }
    state.counters["facets"] = facets;
}

void BM_TerracedSmoothing(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> at(0.0, 1000.0);
    G3TriInterface tri;
    for (int i = 0; i < n; ++i) {
        // Surveyed to the millimetre, as such files are.
        const double x = std::round(at(rng) * 1000.0) / 1000.0, y = std::round(at(rng) * 1000.0) / 1000.0;
        const double p[3] = {x, y, std::round((10.0 + 5.0 * std::fmod(x / 100.0, 3.0) + 0.01 * y) * 1000.0) / 1000.0};
        tri.AddVertex(p);
    }
    tri.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    std::unique_ptr<G3Surface> survey(tri.GetSurface());
    G3LandscapeHandler h;
    G3LandscapeHandler::ReleaseRecords(std::unique_ptr<G3Surface>(h.LandscapeSmoothing(survey.get(), 1, 1)).get());
    int facets = 0;
    for (auto _ : state) {
        std::unique_ptr<G3Surface> s(h.LandscapeSmoothing(survey.get(), 1, 1));
        facets = s ? s->GetFacetCount() : -1;
        G3LandscapeHandler::ReleaseRecords(s.get());
    }
    state.counters["facets"] = facets;
}

} // namespace

BENCHMARK(BM_Smoothing)->ArgsProduct({{100, 300}, {1, 2, 3, 4}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SurfaceCover)->Arg(100)->Arg(300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyFlatRegion)->Arg(100)->Arg(300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScatteredPadCover)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TerracedSmoothing)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
