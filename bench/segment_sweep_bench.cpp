// Segment sweep: FindIntersections on n random segments in the unit square,
// mean length 1/sqrt(n) (so each segment crosses a few others whatever n).
// "Sweep" times FindIntersections alone on a filled intersector; "SweepCold"
// does the same after pushing the segments out of the caches (a small input
// otherwise sweeps records its filling left in cache, a large one cannot);
// "FillAndSweep" also times the construction and the AddSegment calls.
// "SweepReused" sweeps one filled intersector again and again (its working
// memory and its sort are warm). "SweepVaried" is "Sweep" over eight inputs
// of the same size in turn, so that no run meets the input the previous one
// saw (a small input repeated is learnt by the branch predictors).

#include "Geometry/boolean/G3IntersectionPointLoader.h"
#include "Geometry/boolean/G3LineSegmentIntersector.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

struct Counter : G3IntersectionPointLoader {
    long hits = 0;
    void LoadPoint(const double*, void*, void*, double, double) override { ++hits; }
};

const std::vector<double>& Segments(int n, unsigned seed = 2024)
{
    static std::vector<std::pair<std::pair<int, unsigned>, std::vector<double>>> cache;
    for (const auto& c : cache)
        if (c.first == std::make_pair(n, seed))
            return c.second;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> uni(0, 1);
    const double mean = 1 / std::sqrt(static_cast<double>(n));
    std::vector<double> s;
    s.reserve(6 * static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double x = uni(rng), y = uni(rng), a = 2 * M_PI * uni(rng), l = 2 * mean * uni(rng);
        const double seg[6] = {x, y, 0, x + l * std::cos(a), y + l * std::sin(a), 0};
        s.insert(s.end(), seg, seg + 6);
    }
    cache.emplace_back(std::make_pair(n, seed), std::move(s));
    return cache.back().second;
}

void Fill(G3LineSegmentIntersector& x, const std::vector<double>& s)
{
    for (std::size_t i = 0; i + 6 <= s.size(); i += 6)
        x.AddSegment(&s[i], &s[i + 3], reinterpret_cast<void*>(i / 6));
}

// Reads and writes 32 MiB, more than the caches hold.
void EvictCaches()
{
    static std::vector<char> junk(32u << 20);
    for (std::size_t i = 0; i < junk.size(); i += 64)
        ++junk[i];
    benchmark::DoNotOptimize(junk.data());
}

void SweepOnly(benchmark::State& state, bool cold, int inputs = 1)
{
    long hits = 0;
    unsigned turn = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const auto& s = Segments(static_cast<int>(state.range(0)), 2024 + turn++ % inputs);
        auto* x = new G3LineSegmentIntersector(0, 1);
        Fill(*x, s);
        Counter c;
        if (cold)
            EvictCaches();
        state.ResumeTiming();
        x->FindIntersections(&c);
        state.PauseTiming();
        hits = c.hits;
        delete x;
        state.ResumeTiming();
    }
    state.counters["crossings"] = static_cast<double>(hits);
    state.SetComplexityN(state.range(0));
}

void Sweep(benchmark::State& state) { SweepOnly(state, false); }
void SweepCold(benchmark::State& state) { SweepOnly(state, true); }
void SweepVaried(benchmark::State& state) { SweepOnly(state, false, 8); }

void SweepReused(benchmark::State& state)
{
    G3LineSegmentIntersector x(0, 1);
    Fill(x, Segments(static_cast<int>(state.range(0))));
    long hits = 0;
    for (auto _ : state) {
        Counter c;
        x.FindIntersections(&c);
        hits = c.hits;
    }
    state.counters["crossings"] = static_cast<double>(hits);
    state.SetComplexityN(state.range(0));
}

void FillAndSweep(benchmark::State& state)
{
    const auto& s = Segments(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        G3LineSegmentIntersector x(0, 1);
        Fill(x, s);
        Counter c;
        x.FindIntersections(&c);
        benchmark::DoNotOptimize(c.hits);
    }
    state.SetComplexityN(state.range(0));
}

} // namespace

BENCHMARK(Sweep)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oNLogN);
BENCHMARK(SweepCold)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oNLogN);
BENCHMARK(SweepVaried)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oNLogN);
BENCHMARK(SweepReused)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oNLogN);
BENCHMARK(FillAndSweep)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oNLogN);
