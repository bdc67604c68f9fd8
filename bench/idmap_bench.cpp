// Id map: 1,000,000 Put calls into a fresh map, ids 0, 1, 2, ... in turn
// ("Sequential") or drawn uniformly from 0 .. 999,999 ("Random"), beside a
// std::map<int, GObj*> given the same ids.

#include "Geometry/foundation/GIdMap.h"

#include <benchmark/benchmark.h>

#include <map>
#include <random>
#include <vector>

namespace {

constexpr int kPuts = 1000000;

const std::vector<int>& Ids(bool random)
{
    static const std::vector<int> sequential = [] {
        std::vector<int> v(kPuts);
        for (int i = 0; i < kPuts; ++i)
            v[static_cast<size_t>(i)] = i;
        return v;
    }();
    static const std::vector<int> drawn = [] {
        std::mt19937 rng(26);
        std::uniform_int_distribution<int> id(0, kPuts - 1);
        std::vector<int> v(kPuts);
        for (int& x : v)
            x = id(rng);
        return v;
    }();
    return random ? drawn : sequential;
}

void IdMapPut(benchmark::State& state)
{
    const std::vector<int>& ids = Ids(state.range(0) != 0);
    GObj obj;
    for (auto _ : state) {
        GIdMap m(0);
        for (int id : ids)
            m.Put(id, &obj);
        benchmark::DoNotOptimize(m.GetMapSize());
    }
    state.SetItemsProcessed(state.iterations() * kPuts);
}

void StdMapPut(benchmark::State& state)
{
    const std::vector<int>& ids = Ids(state.range(0) != 0);
    GObj obj;
    for (auto _ : state) {
        std::map<int, GObj*> m;
        for (int id : ids)
            m[id] = &obj;
        benchmark::DoNotOptimize(m.size());
    }
    state.SetItemsProcessed(state.iterations() * kPuts);
}

} // namespace

BENCHMARK(IdMapPut)->ArgName("random")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(StdMapPut)->ArgName("random")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
