#include "Geometry/foundation/GHeap.h"
#include "Geometry/foundation/GLargeMemory.h"
#include "Geometry/foundation/GMemoryAllocator.h"
#include "Geometry/foundation/GRenderGraphicStoreInfo.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
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
// Checks that every listed block knows its own position in its list.
void ExpectConsistentIndexes(const GHeap& heap)
{
    for (int i = 0; i < heap.GetAvailableCount(); ++i)
        EXPECT_EQ(heap.GetAvailableBlock(i)->listIndex, i);
    for (int i = 0; i < heap.GetFullCount(); ++i)
        EXPECT_EQ(heap.GetFullBlock(i)->listIndex, i);
}

// Available and full block counts.
std::pair<int, int> Lists(const GHeap& heap) { return {heap.GetAvailableCount(), heap.GetFullCount()}; }
#endif

} // namespace

#ifndef G3_NO_POOLS

TEST(GHeap, BlockListsFollowFillingAndFreeingWithConsistentIndexes)
{
    GHeap heap("middle", 32, 64); // 3 slots per block
    ASSERT_EQ(heap.GetSlotsPerBlock(), 3);
    std::vector<void*> objects;
    for (int i = 0; i < 5 * 3; ++i)
        objects.push_back(heap.Alloc());
    EXPECT_EQ(Lists(heap), std::make_pair(0, 5));
    // The first allocations come from the end of the block.
    EXPECT_EQ(static_cast<char*>(objects[0]) - static_cast<char*>(objects[1]),
              32 + static_cast<std::ptrdiff_t>(sizeof(void*)));

    // Take one object out of the 2nd and 4th full blocks: both move to the
    // available list, and the blocks behind them fill the gaps.
    heap.Free(objects[4]);
    ExpectConsistentIndexes(heap);
    heap.Free(objects[10]);
    ExpectConsistentIndexes(heap);
    EXPECT_EQ(Lists(heap), std::make_pair(2, 3));

    // Empty the first available block entirely: it is unlisted at once.
    heap.Free(objects[3]);
    heap.Free(objects[5]);
    ExpectConsistentIndexes(heap);
    EXPECT_EQ(Lists(heap), std::make_pair(1, 3));
    for (int i : {0, 1, 2, 6, 7, 8, 9, 11, 12, 13, 14})
        heap.Free(objects[i]);
    EXPECT_EQ(Lists(heap), std::make_pair(0, 0));

    // Slots per block; with no element size the block bytes are the count.
    EXPECT_EQ(GHeap("test", 48, 480).GetSlotsPerBlock(), 11);
    EXPECT_EQ(GHeap("empty", 0, 100).GetSlotsPerBlock(), 100);
}

TEST(GHeap, ReusedSlotsAndSparesComeBackZeroFilled)
{
    GHeap heap("zero", 48, 4800);
    void* keep = heap.Alloc(); // keeps the block alive
    unsigned char* p = static_cast<unsigned char*>(heap.Alloc());
    std::memset(p, 0xAB, 48);
    heap.Free(p);
    unsigned char* q = static_cast<unsigned char*>(heap.Alloc());
    ASSERT_EQ(p, q);
    EXPECT_EQ(std::vector<unsigned char>(q, q + 48), std::vector<unsigned char>(48, 0));
    heap.Free(q);
    heap.Free(keep);

    // Emptied blocks are kept as spares until collected.
    GHeap spares("spares", 64, 128); // 3 slots per block
    std::vector<void*> objects;
    for (int i = 0; i < 9; ++i)
        objects.push_back(spares.Alloc());
    std::memset(objects[8], 0xCD, 64);
    for (void* o : objects)
        spares.Free(o);
    EXPECT_EQ(Lists(spares), std::make_pair(0, 0));
    EXPECT_EQ(spares.GetSpareCount(), 3);
    unsigned char* again = static_cast<unsigned char*>(spares.Alloc());
    EXPECT_EQ(spares.GetSpareCount(), 2);
    EXPECT_EQ(std::vector<unsigned char>(again, again + 64), std::vector<unsigned char>(64, 0));
    spares.Free(again);
    EXPECT_EQ(spares.GarbageCollector(), 3);
    EXPECT_EQ(spares.GetSpareCount(), 0);
}

TEST(GHeap, LargePoolsCutBlocksFromChunksAndUnmapThemWhenEmpty)
{
    GHeap heap("chunks", 56, 8192);
    const int perBlock = heap.GetSlotsPerBlock();
    const int blocks = GHeap::kBlocksBeforeChunks + 300; // more than one chunk holds
    std::vector<std::uint64_t*> objects;
    for (int i = 0; i < blocks * perBlock; ++i) {
        auto* o = static_cast<std::uint64_t*>(heap.Alloc());
        for (int k = 0; k < 7; ++k)
            o[k] = static_cast<std::uint64_t>(i);
        objects.push_back(o);
    }
    EXPECT_EQ(heap.GetChunkCount(), 2);
    // No two objects share memory: each still holds its own number.
    bool intact = true;
    for (std::size_t i = 0; i < objects.size(); ++i)
        for (int k = 0; k < 7; ++k)
            intact = intact && objects[i][k] == i;
    EXPECT_TRUE(intact);

    // Emptied blocks are spares first; collecting them unmaps the chunks.
    for (std::size_t i = 0; i < objects.size(); i += 2)
        heap.Free(objects[i]);
    for (std::size_t i = 1; i < objects.size(); i += 2)
        heap.Free(objects[i]);
    EXPECT_EQ(Lists(heap), std::make_pair(0, 0));
    EXPECT_EQ(heap.GetSpareCount(), blocks);
    EXPECT_EQ(heap.GarbageCollector(), blocks);
    EXPECT_EQ(heap.GetChunkCount() + heap.GetIdleChunkCount(), 0);

    // A piece given back while its chunk lives serves the next block.
    std::vector<void*> again;
    for (int i = 0; i < (GHeap::kBlocksBeforeChunks + 3) * perBlock; ++i)
        again.push_back(heap.Alloc());
    for (int i = 0; i < perBlock; ++i) // the last block, one of the chunk's
        heap.Free(again[again.size() - 1 - static_cast<std::size_t>(i)]);
    again.resize(again.size() - static_cast<std::size_t>(perBlock));
    EXPECT_EQ(heap.GarbageCollector(), 1);
    EXPECT_EQ(heap.GetChunkCount(), 1);
    for (int i = 0; i < perBlock; ++i)
        again.push_back(heap.Alloc());
    EXPECT_EQ(heap.GetChunkCount(), 1);
    EXPECT_EQ(Lists(heap).second, GHeap::kBlocksBeforeChunks + 3);
    for (void* o : again)
        heap.Free(o);

    // Chunks whose blocks all went (beyond the spares) stay mapped, idle,
    // and serve the next blocks; collecting unmaps them.
    GHeap wide("wide", 2000, 200000); // ten blocks a chunk, 41 spares at most
    std::vector<void*> rows;
    const int wideBlocks = GHeap::kBlocksBeforeChunks + 80;
    for (int i = 0; i < wideBlocks * wide.GetSlotsPerBlock(); ++i) {
        auto* o = static_cast<unsigned char*>(wide.Alloc());
        o[0] = o[1999] = 0xEE;
        rows.push_back(o);
    }
    EXPECT_EQ(wide.GetChunkCount(), 8);
    for (void* o : rows)
        wide.Free(o);
    const int idle = wide.GetIdleChunkCount();
    EXPECT_GT(idle, 0);
    EXPECT_EQ(wide.GetChunkCount() + idle, 8);
    rows.clear();
    for (int i = 0; i < wideBlocks * wide.GetSlotsPerBlock(); ++i) {
        auto* o = static_cast<unsigned char*>(wide.Alloc());
        if (o[0] != 0 || o[1999] != 0) // reused memory is cleared like any slot
            ADD_FAILURE() << "object " << i << " not zero-filled";
        o[0] = o[1999] = 0xEE;
        rows.push_back(o);
    }
    EXPECT_EQ(wide.GetIdleChunkCount(), 0);
    EXPECT_EQ(wide.GetChunkCount(), 8);
    for (void* o : rows)
        wide.Free(o);
    wide.GarbageCollector();
    EXPECT_EQ(wide.GetChunkCount() + wide.GetIdleChunkCount(), 0);

    // Blocks over a quarter of a chunk never come from chunks.
    GHeap big("big", 4000, 600000);
    std::vector<void*> many;
    for (int i = 0; i < (GHeap::kBlocksBeforeChunks + 2) * big.GetSlotsPerBlock(); ++i)
        many.push_back(big.Alloc());
    EXPECT_EQ(big.GetChunkCount(), 0);
    for (void* o : many)
        big.Free(o);
}

TEST(GLargeMemory, MappingsAreAlignedAndKeptForTheSameSize)
{
    glarge::ReleaseKept();
    const std::size_t bytes = (std::size_t(5) << 20) + 3; // rounds to 6 MiB
    char* p = static_cast<char*>(glarge::Allocate(bytes));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % glarge::kHugePage, 0u);
    p[0] = 1;
    p[bytes - 1] = 2;
    glarge::Release(p, bytes);
    char* other = static_cast<char*>(glarge::Allocate(std::size_t(9) << 20)); // another size
    EXPECT_NE(other, p);
    char* again = static_cast<char*>(glarge::Allocate(bytes - 100)); // same rounded size
    EXPECT_EQ(again, p);
    glarge::Release(again, bytes - 100);
    glarge::Release(other, std::size_t(9) << 20);
    EXPECT_EQ(glarge::ReleaseKept(), 2);
    EXPECT_EQ(glarge::ReleaseKept(), 0);
}

TEST(GHeap, PoolsRegisterAndClassPoolsAreCreatedOnFirstUse)
{
    const int before = GHeap::HeapCount();
    {
        GHeap a("a", 8);
        GHeap b("b", 8);
        EXPECT_EQ(GHeap::HeapCount(), before + 2);
    }
    EXPECT_EQ(GHeap::HeapCount(), before);
    GHeap::RunGarbageCollector();

    Pooled48* p = new Pooled48();
    ASSERT_NE(Pooled48::m_Pooled48Heap, nullptr);
    EXPECT_STREQ(Pooled48::m_Pooled48Heap->GetName(), "Pooled48");
    EXPECT_EQ(Pooled48::m_Pooled48Heap->GetElementSize(), 48);
    delete p;
}

#endif // G3_NO_POOLS

TEST(GHeap, PooledObjectsAreZeroFilledAndSubclassesDoNotOverflowTheirSlot)
{
    std::vector<Pooled48*> objs;
    for (int i = 0; i < 200; ++i) {
        Pooled48* p = new Pooled48();
        for (double d : p->payload)
            ASSERT_EQ(d, 0.0);
        for (double& d : p->payload)
            d = i;
        objs.push_back(p);
    }
    for (Pooled48* p : objs)
        delete p;

    // Bigger is larger than the pool's element size: it must come from the
    // global heap. Writing all its fields would corrupt a neighbour slot
    // otherwise (AddressSanitizer and the neighbour's value both notice).
    Pooled48* neighbour = new Pooled48();
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

TEST(GMemoryAllocator, BlocksServeSmallRequestsInPlace)
{
    GMemoryAllocator arena(64, 128);
    char* a = static_cast<char*>(arena.alloc(0));
    char* b = static_cast<char*>(arena.alloc(1));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b) % 8, 0u);
#ifndef G3_NO_POOLS
    EXPECT_EQ(a, b); // 0 bytes advance nothing
    char* c = static_cast<char*>(arena.alloc(8));
    char* d = static_cast<char*>(arena.alloc(9));
    EXPECT_EQ(c - b, 8);
    EXPECT_EQ(d - c, 8);
    EXPECT_EQ(arena.GetUsed(), 8 + 8 + 16);
#else
    (void)a;
#endif

    // A large request that does not fit gets a block of its own and the
    // current block keeps its room.
    GMemoryAllocator big(64, 128);
    char* first = static_cast<char*>(big.alloc(48));
    std::memset(first, 1, 48);
    char* own = static_cast<char*>(big.alloc(40)); // 40 >= 64 / 2
    std::memset(own, 2, 40);
    char* small = static_cast<char*>(big.alloc(8));
    std::memset(small, 3, 8);
#ifndef G3_NO_POOLS
    EXPECT_EQ(small - first, 48);
    EXPECT_EQ(big.GetCapacity(), 64);
    EXPECT_EQ(big.GetUsed(), 56);
    // A small request that does not fit starts a grow block.
    std::memset(big.alloc(16), 0, 16);
    EXPECT_EQ(big.GetCapacity(), 128);
    EXPECT_EQ(big.GetUsed(), 16);
#endif
    EXPECT_TRUE(first[0] == 1 && own[39] == 2);

    // Objects placed in an arena are never deleted: the arena releases them.
    GObj* o = new (&big) GObj(7);
    EXPECT_EQ(o->tag, 7u);
}

TEST(GMemoryAllocator, RequestsBeyond64KiBAreServedInFull)
{
    GMemoryAllocator arena;
    for (int size : {65536, 65537, 200000, 1 << 20}) {
        char* p = static_cast<char*>(arena.alloc(size));
        std::memset(p, 0x5A, static_cast<std::size_t>(size)); // ASan catches a short block
        EXPECT_EQ(p[size - 1], 0x5A);
    }
    // A grow size smaller than a mid-size request still serves it in full.
    GMemoryAllocator tiny(65536, 16);
    tiny.alloc(65000);
    std::memset(tiny.alloc(600), 1, 600);
}

TEST(GRenderGraphicStoreInfo, CopiesOwnTheirFrames)
{
    auto* info = new GRenderGraphicStoreInfo(3, 9);
    EXPECT_TRUE(info->GetVisible());
    info->SetVisibleInViewport(false);
    GObj element;
    auto* frames = new GArrayCollection(4, 4);
    frames->add(&element);
    info->SetLuminanceFrames(frames);
    info->SetLuminanceFrames(new GArrayCollection()); // deletes the first
    info->GetLuminanceFrames()->add(&element);

    GRenderGraphicStoreInfo copy(*info);
    ASSERT_NE(copy.GetLuminanceFrames(), info->GetLuminanceFrames());
    EXPECT_EQ(copy.GetLuminanceFrames()->size(), 1);
    EXPECT_FALSE(copy.GetVisible());
    GRenderGraphicStoreInfo other(1, 1);
    other = copy;
    EXPECT_NE(other.GetLuminanceFrames(), copy.GetLuminanceFrames());
    delete info; // each record deletes only its own collection
}
