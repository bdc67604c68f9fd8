#include "Geometry/foundation/GHeap.h"
#include "Geometry/foundation/GLargeMemory.h"
#include "Geometry/foundation/GMemoryAllocator.h"
#include "Geometry/foundation/GRenderGraphicStoreInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <random>
#include <utility>
#include <vector>

namespace {

struct Pooled48 : GObj {
    G_DECLARE_POOL(Pooled48)
public:
    double payload[4];
};
static_assert(sizeof(Pooled48) == 48, "test object is 48 bytes");
G_DEFINE_POOL(Pooled48, "Pooled48", 4096)

struct Bigger : Pooled48 {
    double extra[8];
};

#ifndef G3_NO_POOLS
// Available and full block counts, after checking that every listed block
// knows its own position in its list.
std::pair<int, int> Lists(const GHeap& heap)
{
    for (int i = 0; i < heap.GetAvailableCount(); ++i)
        EXPECT_EQ(heap.GetAvailableBlock(i)->listIndex, i);
    for (int i = 0; i < heap.GetFullCount(); ++i)
        EXPECT_EQ(heap.GetFullBlock(i)->listIndex, i);
    return {heap.GetAvailableCount(), heap.GetFullCount()};
}

// n objects of the heap, each filled with its number (or a mark) through
// its first and last byte; with `zero`, each checked to come zero-filled.
std::vector<unsigned char*> Fill(GHeap& heap, int n, bool zero = false)
{
    std::vector<unsigned char*> out;
    const int last = heap.GetElementSize() - 1;
    for (int i = 0; i < n; ++i) {
        auto* o = static_cast<unsigned char*>(heap.Alloc());
        if (zero && (o[0] != 0 || o[last] != 0))
            ADD_FAILURE() << "object " << i << " not zero-filled";
        o[0] = static_cast<unsigned char>(i);
        o[last] = static_cast<unsigned char>(i >> 8);
        out.push_back(o);
    }
    return out;
}

void FreeAll(GHeap& heap, const std::vector<unsigned char*>& objects)
{
    for (unsigned char* o : objects)
        heap.Free(o);
}
#endif

} // namespace

#ifndef G3_NO_POOLS

// Random allocations and frees against the set of live objects, in pools of
// a few slots per block (and soon blocks cut from chunks): a new object is
// zero-filled and shares no byte with a live one (each keeps its number),
// the block lists keep consistent indexes, and once all is freed no block is
// listed and every emptied block is a spare (serving the next blocks, zero
// filled) until collected.
TEST(GHeap, RandomAllocationsStayApartZeroFilledAndListed)
{
    std::mt19937 rng(3);
    for (int size : {24, 56, 200}) {
        SCOPED_TRACE(size);
        GHeap heap("random", size, 1024);
        std::vector<unsigned char*> live;
        std::vector<std::uint32_t> numbers;
        for (std::uint32_t step = 0; step < 20000; ++step) {
            if (live.empty() || rng() % 3 != 0) {
                auto* o = static_cast<unsigned char*>(heap.Alloc());
                ASSERT_EQ(std::count(o, o + size, 0), size) << "step " << step;
                std::memset(o, 0xC5, static_cast<std::size_t>(size));
                std::memcpy(o, &step, sizeof step);
                live.push_back(o);
                numbers.push_back(step);
            } else {
                const std::size_t at = rng() % live.size();
                std::uint32_t kept;
                std::memcpy(&kept, live[at], sizeof kept);
                ASSERT_TRUE(kept == numbers[at] && live[at][size - 1] == 0xC5) << "step " << step;
                heap.Free(live[at]);
                live[at] = live.back();
                numbers[at] = numbers.back();
                live.pop_back();
                numbers.pop_back();
            }
            if (step % 1000 == 0)
                Lists(heap);
        }
        FreeAll(heap, live);
        EXPECT_EQ(Lists(heap), std::make_pair(0, 0));
        const int spares = heap.GetSpareCount();
        EXPECT_GT(spares, 0);
        EXPECT_EQ(heap.GarbageCollector(), spares);
        EXPECT_EQ(heap.GetChunkCount() + heap.GetIdleChunkCount(), 0);
    }
}

TEST(GHeap, LargePoolsCutBlocksFromChunksAndUnmapThemWhenEmpty)
{
    EXPECT_EQ(GHeap("test", 48, 480).GetSlotsPerBlock(), 11);
    // With no element size the block bytes are the count.
    EXPECT_EQ(GHeap("empty", 0, 100).GetSlotsPerBlock(), 100);
    GHeap heap("chunks", 56, 8192);
    const int perBlock = heap.GetSlotsPerBlock();
    const int blocks = GHeap::kBlocksBeforeChunks + 300; // more than one chunk holds
    std::vector<unsigned char*> objects = Fill(heap, blocks * perBlock);
    EXPECT_EQ(heap.GetChunkCount(), 2);
    // Emptied blocks are spares first; collecting them unmaps the chunks.
    FreeAll(heap, objects);
    EXPECT_EQ(heap.GetSpareCount(), blocks);
    EXPECT_EQ(heap.GarbageCollector(), blocks);
    EXPECT_EQ(heap.GetChunkCount() + heap.GetIdleChunkCount(), 0);

    // A piece given back while its chunk lives serves the next block.
    objects = Fill(heap, (GHeap::kBlocksBeforeChunks + 3) * perBlock);
    FreeAll(heap, std::vector<unsigned char*>(objects.end() - perBlock, objects.end())); // one of the chunk's
    objects.resize(objects.size() - static_cast<std::size_t>(perBlock));
    EXPECT_EQ(heap.GarbageCollector(), 1);
    EXPECT_EQ(heap.GetChunkCount(), 1);
    std::vector<unsigned char*> again = Fill(heap, perBlock, true);
    EXPECT_EQ(heap.GetChunkCount(), 1);
    FreeAll(heap, objects);
    FreeAll(heap, again);

    // Chunks whose blocks all went (beyond the spares) stay mapped, idle,
    // and serve the next blocks, cleared like any slot; collecting unmaps
    // them.
    GHeap wide("wide", 2000, 200000); // ten blocks a chunk, 41 spares at most
    const int wideObjects = (GHeap::kBlocksBeforeChunks + 80) * wide.GetSlotsPerBlock();
    FreeAll(wide, Fill(wide, wideObjects));
    const int idle = wide.GetIdleChunkCount();
    EXPECT_GT(idle, 0);
    EXPECT_EQ(wide.GetChunkCount() + idle, 8);
    std::vector<unsigned char*> rows = Fill(wide, wideObjects, true);
    EXPECT_EQ(wide.GetIdleChunkCount(), 0);
    EXPECT_EQ(wide.GetChunkCount(), 8);
    FreeAll(wide, rows);
    wide.GarbageCollector();
    EXPECT_EQ(wide.GetChunkCount() + wide.GetIdleChunkCount(), 0);

    // Blocks over a quarter of a chunk never come from chunks.
    GHeap big("big", 4000, 600000);
    rows = Fill(big, (GHeap::kBlocksBeforeChunks + 2) * big.GetSlotsPerBlock());
    EXPECT_EQ(big.GetChunkCount(), 0);
    FreeAll(big, rows);
}

TEST(GHeap, LargeMappingsAreAlignedAndKeptForReuse)
{
    // Large mappings are huge-page aligned and kept for the same rounded size.
    glarge::ReleaseKept();
    const std::size_t bytes = (std::size_t(5) << 20) + 3; // rounds to 6 MiB
    char* p = static_cast<char*>(glarge::Allocate(bytes));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % glarge::kHugePage, 0u);
    p[0] = 1;
    p[bytes - 1] = 2;
    glarge::Release(p, bytes);
    char* other = static_cast<char*>(glarge::Allocate(std::size_t(9) << 20)); // another size
    char* again = static_cast<char*>(glarge::Allocate(bytes - 100));          // same rounded size
    EXPECT_TRUE(other != p && again == p);
    glarge::Release(again, bytes - 100);
    glarge::Release(other, std::size_t(9) << 20);
    EXPECT_EQ(glarge::ReleaseKept(), 2);
    EXPECT_EQ(glarge::ReleaseKept(), 0);
}

#endif // G3_NO_POOLS

TEST(GHeap, PooledObjectsAreZeroFilledAndSubclassesDoNotOverflowTheirSlot)
{
    // A slot given back dirty comes back zero-filled.
    Pooled48* used = new Pooled48();
    std::fill(std::begin(used->payload), std::end(used->payload), 3.0);
    delete used;
    Pooled48* neighbour = new Pooled48();
    for (double d : neighbour->payload)
        EXPECT_EQ(d, 0.0);

    // Bigger is larger than the pool's element size: it must come from the
    // global heap. Writing all its fields would corrupt a neighbour slot
    // otherwise (AddressSanitizer and the next object's value both notice).
    Bigger* big = new Bigger();
    for (double& d : big->extra)
        d = 1.0;
    Pooled48* after = new Pooled48();
    for (double d : after->payload)
        EXPECT_EQ(d, 0.0);
    Pooled48* asBase = big;
    delete asBase; // virtual destructor: the sized delete sees Bigger's size
    delete neighbour;
    delete after;
}

// Pieces are 8-aligned, apart from each other and served in full, whatever
// their size against the block and grow sizes (AddressSanitizer also
// catches a short piece); objects placed in an arena go with it.
TEST(GMemoryAllocator, PiecesAreAlignedApartAndServedInFull)
{
    GMemoryAllocator arena(64, 128);
    std::vector<std::pair<unsigned char*, int>> pieces;
    for (int size : {0, 1, 8, 9, 48, 40, 8, 16, 65000, 600, 65537, 1 << 20}) {
        auto* p = static_cast<unsigned char*>(arena.alloc(size));
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 8, 0u) << size;
        std::memset(p, static_cast<int>(pieces.size()), static_cast<std::size_t>(size));
        pieces.push_back({p, size});
    }
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        unsigned char* p = pieces[k].first;
        EXPECT_EQ(std::count(p, p + pieces[k].second, static_cast<unsigned char>(k)), pieces[k].second) << k;
    }
    EXPECT_EQ((new (&arena) GObj(7))->tag, 7u);
#ifndef G3_NO_POOLS
    // A request of half the block or more that does not fit gets a block of
    // its own, and the current block keeps its room.
    GMemoryAllocator big(64, 128);
    char* first = static_cast<char*>(big.alloc(48));
    big.alloc(40);
    EXPECT_EQ(static_cast<char*>(big.alloc(8)) - first, 48);
#endif
}

TEST(GRenderGraphicStoreInfo, CopiesOwnTheirFrames)
{
    auto* info = new GRenderGraphicStoreInfo(3, 9);
    GObj element;
    info->SetLuminanceFrames(new GArrayCollection(4, 4));
    info->SetLuminanceFrames(new GArrayCollection()); // deletes the first
    info->GetLuminanceFrames()->add(&element);

    GRenderGraphicStoreInfo copy(*info);
    ASSERT_NE(copy.GetLuminanceFrames(), info->GetLuminanceFrames());
    EXPECT_EQ(copy.GetLuminanceFrames()->size(), 1);
    GRenderGraphicStoreInfo other(1, 1);
    other = copy;
    EXPECT_NE(other.GetLuminanceFrames(), copy.GetLuminanceFrames());
    delete info; // each record deletes only its own collection
}
