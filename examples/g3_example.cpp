// Exercises what the kernel has so far: pooled collections, the arena and
// the kernel's own sort and random sequence.
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GMemoryAllocator.h"
#include "Geometry/foundation/GRandom.h"

#include <cstdio>

namespace {

struct Value : GObj {
    explicit Value(int v) : GObj(static_cast<unsigned long>(v)) {}
};

int ByTag(const void* a, const void* b, const void*)
{
    const unsigned long ta = (*static_cast<GObj* const*>(a))->tag;
    const unsigned long tb = (*static_cast<GObj* const*>(b))->tag;
    return ta < tb ? -1 : ta > tb ? 1 : 0;
}

} // namespace

int main()
{
    GMemoryAllocator arena;
    GArrayCollection* values = new GArrayCollection();
    for (int i = 0; i < 20; ++i)
        values->add(new (&arena) Value(GRand() % 100));
    values->qsortex(ByTag, nullptr);
    std::printf("20 random values, sorted by the kernel's quicksort:");
    for (int i = 0; i < values->size(); ++i)
        std::printf(" %lu", values->get(i)->tag);
    std::printf("\narena: %d of %d bytes used in the current block\n", arena.GetUsed(), arena.GetCapacity());
    delete values;
    return 0;
}
