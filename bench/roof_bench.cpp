// G3RoofGenerator::Regen over rectangles, L-shapes and random star-shaped
// outlines of 50 and 200 edges with random pitches of 15 to 60 degrees
// (fixed seeds), and over combs and stars of 100 to 10,000 edges with one
// pitch of 30 degrees. The outline lists and the target surface are made outside
// the timed loop; each iteration runs a fresh generator into an emptied
// surface. Counter: facets written.
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/roof/G3RoofGenerator.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

const double kPi = 3.14159265358979323846;

struct Outline {
    std::vector<std::unique_ptr<G3Point>> points;
    std::vector<double> angles;
    GArrayCollection pointList, angleList;

    void Add(double x, double y, double angle)
    {
        points.push_back(std::make_unique<G3Point>(x, y, 0.0));
        angles.push_back(angle);
    }
    void Finish()
    {
        for (auto& p : points)
            pointList.add(p.get());
        for (double& a : angles)
            angleList.add(G3RoofGenerator::AngleEntry(&a));
    }
};

std::unique_ptr<Outline> MakeOutline(int kind, int edges)
{
    auto o = std::make_unique<Outline>();
    std::mt19937 rng(1234u + static_cast<unsigned>(edges));
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    auto pitch = [&] { return (15.0 + 45.0 * unit(rng)) * kPi / 180.0; };
    if (kind == 0) {
        o->Add(0, 0, pitch());
        o->Add(12, 0, pitch());
        o->Add(12, 7, pitch());
        o->Add(0, 7, pitch());
    } else if (kind == 1) {
        const double pts[6][2] = {{0, 0}, {14, 0}, {14, 6}, {6, 6}, {6, 12}, {0, 12}};
        for (const auto& p : pts)
            o->Add(p[0], p[1], pitch());
    } else if (kind == 3) {
        // A rectilinear comb on a back 2 deep: teeth 1 to 1.5 wide, 1 to
        // 1.5 apart and 4 to 10 long; four edges a tooth.
        const double pitch30 = 30.0 * kPi / 180.0;
        const int teeth = std::max(1, edges / 4);
        std::vector<double> x = {0.0};
        for (int i = 0; i < teeth; ++i) {
            x.push_back(x.back() + 1.0 + 0.5 * unit(rng));
            x.push_back(x.back() + 1.0 + 0.5 * unit(rng));
        }
        o->Add(0, 0, pitch30);
        o->Add(x[2 * teeth - 1], 0, pitch30);
        for (int i = teeth - 1; i >= 0; --i) {
            const double tip = 6.0 + 6.0 * unit(rng);
            o->Add(x[2 * i + 1], tip, pitch30);
            o->Add(x[2 * i], tip, pitch30);
            if (i > 0) {
                o->Add(x[2 * i], 2, pitch30);
                o->Add(x[2 * i - 1], 2, pitch30);
            }
        }
    } else if (kind == 4) {
        // A star: corners about 1 apart at radii alternating around 1 and
        // 0.6 (per unit of circumference), each off by up to 5 %.
        const double r = edges / (2.0 * kPi);
        for (int i = 0; i < edges; ++i) {
            const double t = 2.0 * kPi * (i + 0.2 * unit(rng)) / edges;
            const double ri = (i % 2 ? 0.6 * r : r) * (1.0 + 0.05 * unit(rng));
            o->Add(ri * std::cos(t), ri * std::sin(t), 30.0 * kPi / 180.0);
        }
    } else {
        for (int i = 0; i < edges; ++i) {
            const double t = 2.0 * kPi * (i + 0.4 * unit(rng)) / edges;
            const double r = 10.0 + 10.0 * unit(rng);
            o->Add(r * std::cos(t), r * std::sin(t), pitch());
        }
    }
    o->Finish();
    return o;
}

void BM_Regen(benchmark::State& state)
{
    const int kind = static_cast<int>(state.range(0));
    const int edges = static_cast<int>(state.range(1));
    std::unique_ptr<Outline> o = MakeOutline(kind, edges);
    int facets = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto s = std::make_unique<G3Surface>();
        state.ResumeTiming();
        G3RoofGenerator generator(s.get(), 0.0, 0.0, 0.0);
        benchmark::DoNotOptimize(generator.Regen(&o->pointList, &o->angleList));
        facets = s->GetFacetCount();
        state.PauseTiming();
        s.reset();
        state.ResumeTiming();
    }
    state.counters["facets"] = facets;
}

} // namespace

// (kind, edges): 0 rectangle, 1 L-shape, 2 random star, 3 comb, 4 star of
// alternating radii.
BENCHMARK(BM_Regen)
    ->Args({0, 4})
    ->Args({1, 6})
    ->Args({2, 25})
    ->Args({2, 50})
    ->Args({2, 100})
    ->Args({2, 200})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Regen)
    ->ArgsProduct({{3, 4}, {100, 300, 1000, 3000, 10000}})
    ->Iterations(1)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
