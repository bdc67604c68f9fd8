// Pooled allocation and release of a 48-byte object against the global heap.
#include "Geometry/foundation/GHeap.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

struct Pooled48 : GObj {
    G_DECLARE_POOL(Pooled48)
public:
    double payload[4];
};
G_DEFINE_POOL(Pooled48, "BenchPooled48", 65536)

struct Plain48 : GObj {
    double payload[4];
};
static_assert(sizeof(Pooled48) == 48 && sizeof(Plain48) == 48, "48-byte objects");

// Allocates a batch, then releases it: the pattern of a mesh pass that
// creates many entities and later deletes them.
template <class T>
void AllocateAndRelease(benchmark::State& state)
{
    const int batch = static_cast<int>(state.range(0));
    std::vector<T*> objects(static_cast<std::size_t>(batch));
    for (auto _ : state) {
        for (int i = 0; i < batch; ++i)
            objects[static_cast<std::size_t>(i)] = new T();
        benchmark::DoNotOptimize(objects.data());
        for (int i = 0; i < batch; ++i)
            delete objects[static_cast<std::size_t>(i)];
    }
    state.SetItemsProcessed(state.iterations() * batch);
}

void BM_Pool48(benchmark::State& state) { AllocateAndRelease<Pooled48>(state); }
void BM_NewDelete48(benchmark::State& state) { AllocateAndRelease<Plain48>(state); }

} // namespace

BENCHMARK(BM_Pool48)->Arg(1)->Arg(1000)->Arg(100000);
BENCHMARK(BM_NewDelete48)->Arg(1)->Arg(1000)->Arg(100000);
