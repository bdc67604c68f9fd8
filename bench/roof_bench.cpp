// G3RoofGenerator::Regen over rectangles, L-shapes and random star-shaped
// outlines of 50 and 200 edges with random pitches of 15 to 60 degrees
// (fixed seeds). The outline lists and the target surface are made outside
// the timed loop; each iteration runs a fresh generator into an emptied
// surface. Counter: facets written.
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/roof/G3RoofGenerator.h"

#include <benchmark/benchmark.h>

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

// (kind, edges): 0 rectangle, 1 L-shape, 2 random star.
BENCHMARK(BM_Regen)
    ->Args({0, 4})
    ->Args({1, 6})
    ->Args({2, 25})
    ->Args({2, 50})
    ->Args({2, 100})
    ->Args({2, 200})
    ->Unit(benchmark::kMicrosecond);
