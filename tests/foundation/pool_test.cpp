#include "Geometry/foundation/GHeap.h"
#include "Geometry/foundation/GMemoryAllocator.h"
#include "Geometry/foundation/GRenderGraphicStoreInfo.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

#ifndef G3_NO_POOLS
// Checks that every listed block knows its own position in its list.
void ExpectConsistentIndexes(const GHeap& heap)
{
    for (int i = 0; i < heap.GetAvailableCount(); ++i)
        EXPECT_EQ(heap.GetAvailableBlock(i)->listIndex, i);
    for (int i = 0; i < heap.GetFullCount(); ++i)
        EXPECT_EQ(heap.GetFullBlock(i)->listIndex, i);
}
#endif

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

} // namespace

#ifndef G3_NO_POOLS

TEST(GHeap, BlocksAreCreatedWhenFullAndFreedWhenEmpty)
{
    GHeap heap("test", 48, 480);
    ASSERT_EQ(heap.GetSlotsPerBlock(), 11);
    std::vector<void*> objects;
    for (int i = 0; i < 11; ++i)
        objects.push_back(heap.Alloc());
    EXPECT_EQ(heap.GetAvailableCount(), 0);
    EXPECT_EQ(heap.GetFullCount(), 1);

    objects.push_back(heap.Alloc()); // the 12th needs a second block
    EXPECT_EQ(heap.GetAvailableCount(), 1);
    EXPECT_EQ(heap.GetFullCount(), 1);

    heap.Free(objects.back()); // second block empty again: released at once
    objects.pop_back();
    EXPECT_EQ(heap.GetAvailableCount(), 0);
    EXPECT_EQ(heap.GetFullCount(), 1);

    heap.Free(objects[3]); // the full block becomes available
    EXPECT_EQ(heap.GetAvailableCount(), 1);
    EXPECT_EQ(heap.GetFullCount(), 0);
    for (std::size_t i = 0; i < objects.size(); ++i)
        if (i != 3)
            heap.Free(objects[i]);
    EXPECT_EQ(heap.GetAvailableCount(), 0);
}

TEST(GHeap, FirstAllocationsComeFromTheEndOfTheBlock)
{
    GHeap heap("order", 16, 32); // 3 slots
    char* a = static_cast<char*>(heap.Alloc());
    char* b = static_cast<char*>(heap.Alloc());
    EXPECT_EQ(a - b, 16 + static_cast<std::ptrdiff_t>(sizeof(void*)));
    heap.Free(a);
    heap.Free(b);
}

TEST(GHeap, ListIndexesStayConsistentAfterRemovalsFromTheMiddle)
{
    GHeap heap("middle", 32, 64); // 3 slots per block
    std::vector<void*> objects;
    for (int i = 0; i < 5 * 3; ++i)
        objects.push_back(heap.Alloc());
    EXPECT_EQ(heap.GetFullCount(), 5);
    ExpectConsistentIndexes(heap);

    // Take one object out of the 2nd and 4th full blocks: both move to the
    // available list, and the blocks behind them fill the gaps.
    heap.Free(objects[4]);
    ExpectConsistentIndexes(heap);
    heap.Free(objects[10]);
    ExpectConsistentIndexes(heap);
    EXPECT_EQ(heap.GetFullCount(), 3);
    EXPECT_EQ(heap.GetAvailableCount(), 2);

    // Empty the first available block entirely: it is unlisted and freed.
    heap.Free(objects[3]);
    heap.Free(objects[5]);
    ExpectConsistentIndexes(heap);
    EXPECT_EQ(heap.GetAvailableCount(), 1);

    for (int i : {0, 1, 2, 6, 7, 8, 9, 11, 12, 13, 14})
        heap.Free(objects[i]);
    EXPECT_EQ(heap.GetAvailableCount() + heap.GetFullCount(), 0);
}

TEST(GHeap, ReusedSlotsComeBackZeroFilled)
{
    GHeap heap("zero", 48, 4800);
    void* keep = heap.Alloc(); // keeps the block alive
    unsigned char* p = static_cast<unsigned char*>(heap.Alloc());
    std::memset(p, 0xAB, 48);
    heap.Free(p);
    unsigned char* q = static_cast<unsigned char*>(heap.Alloc());
    ASSERT_EQ(p, q);
    for (int i = 0; i < 48; ++i)
        EXPECT_EQ(q[i], 0) << i;
    heap.Free(q);
    heap.Free(keep);
}

TEST(GHeap, EmptiedBlocksAreKeptAsSparesUntilCollected)
{
    GHeap heap("spares", 64, 128); // 3 slots per block
    std::vector<void*> objects;
    for (int i = 0; i < 9; ++i)
        objects.push_back(heap.Alloc());
    for (void* p : objects)
        heap.Free(p);
    EXPECT_EQ(heap.GetAvailableCount() + heap.GetFullCount(), 0);
    EXPECT_EQ(heap.GetSpareCount(), 3);
    void* again = heap.Alloc(); // a spare serves, zero-filled
    EXPECT_EQ(heap.GetSpareCount(), 2);
    EXPECT_EQ(static_cast<unsigned char*>(again)[63], 0);
    heap.Free(again);
    EXPECT_EQ(heap.GarbageCollector(), 3);
    EXPECT_EQ(heap.GetSpareCount(), 0);
}

TEST(GHeap, ZeroElementSizeUsesBlockBytesAsSlotCount)
{
    GHeap heap("empty", 0, 100);
    EXPECT_EQ(heap.GetSlotsPerBlock(), 100);
}

TEST(GHeap, PoolsRegisterAndUnregister)
{
    const int before = GHeap::HeapCount();
    {
        GHeap a("a", 8);
        GHeap b("b", 8);
        EXPECT_EQ(GHeap::HeapCount(), before + 2);
    }
    EXPECT_EQ(GHeap::HeapCount(), before);
    GHeap::RunGarbageCollector();
}

TEST(GHeap, ClassPoolIsCreatedOnFirstUse)
{
    Pooled48* a = new Pooled48();
    ASSERT_NE(Pooled48::m_Pooled48Heap, nullptr);
    EXPECT_STREQ(Pooled48::m_Pooled48Heap->GetName(), "Pooled48");
    EXPECT_EQ(Pooled48::m_Pooled48Heap->GetElementSize(), 48);
    delete a;
}

#endif // G3_NO_POOLS

TEST(GHeap, SubclassWithOwnFieldsDoesNotOverflowItsSlot)
{
    // Bigger is larger than the pool's element size: it must come from the
    // global heap. Writing all its fields would corrupt a neighbour slot
    // otherwise (AddressSanitizer and the neighbour's value both notice).
    Pooled48* neighbour = new Pooled48();
    Bigger* big = new Bigger();
    for (double& d : big->extra)
        d = 1.0;
    for (double d : big->payload)
        EXPECT_EQ(d, 0.0);
    Pooled48* after = new Pooled48();
    for (double d : after->payload)
        EXPECT_EQ(d, 0.0);
    Pooled48* asBase = big;
    delete asBase; // virtual destructor: the sized delete sees Bigger's size
    delete neighbour;
    delete after;
}

TEST(GHeap, PooledObjectsAreZeroFilled)
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
}

TEST(GMemoryAllocator, ZeroAndSmallRequests)
{
    GMemoryAllocator arena(64, 128);
    char* a = static_cast<char*>(arena.alloc(0));
    char* b = static_cast<char*>(arena.alloc(1));
#ifndef G3_NO_POOLS
    EXPECT_EQ(a, b); // 0 bytes advance nothing
    char* c = static_cast<char*>(arena.alloc(8));
    EXPECT_EQ(c - b, 8);
    char* d = static_cast<char*>(arena.alloc(9));
    EXPECT_EQ(d - c, 8);
    EXPECT_EQ(arena.GetUsed(), 8 + 8 + 16);
#else
    (void)a;
#endif
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b) % 8, 0u);
}

TEST(GMemoryAllocator, LargeRequestGetsDedicatedBlockAndCurrentKeepsRoom)
{
    GMemoryAllocator arena(64, 128);
    char* first = static_cast<char*>(arena.alloc(48));
    std::memset(first, 1, 48);
    char* big = static_cast<char*>(arena.alloc(40)); // 40 >= 64 / 2, does not fit
    std::memset(big, 2, 40);
    char* small = static_cast<char*>(arena.alloc(8));
    std::memset(small, 3, 8);
#ifndef G3_NO_POOLS
    EXPECT_EQ(small - first, 48); // still served by the old current block
    EXPECT_EQ(arena.GetCapacity(), 64);
    EXPECT_EQ(arena.GetUsed(), 56);
#endif
    EXPECT_EQ(first[0], 1);
    EXPECT_EQ(big[39], 2);
}

TEST(GMemoryAllocator, SmallRequestThatDoesNotFitStartsAGrowBlock)
{
    GMemoryAllocator arena(64, 128);
    arena.alloc(56);
    char* p = static_cast<char*>(arena.alloc(16)); // 16 < 32: new current block
    std::memset(p, 0, 16);
#ifndef G3_NO_POOLS
    EXPECT_EQ(arena.GetCapacity(), 128);
    EXPECT_EQ(arena.GetUsed(), 16);
#endif
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
    char* q = static_cast<char*>(tiny.alloc(600));
    std::memset(q, 1, 600);
}

TEST(GMemoryAllocator, ObjectsPlacedInAnArena)
{
    GMemoryAllocator arena;
    GObj* a = new (&arena) GObj(7);
    GObj* b = new (&arena) GObj(8);
    EXPECT_EQ(a->tag, 7u);
    EXPECT_EQ(b->tag, 8u);
    // Never deleted: the arena releases them.
}

TEST(GRenderGraphicStoreInfo, DefaultsAndCopiesOwnTheirFrames)
{
    auto* info = new GRenderGraphicStoreInfo(3, 9);
    EXPECT_EQ(info->GetRenderId(), 3);
    EXPECT_EQ(info->GetLayerId(), 9);
    EXPECT_TRUE(info->GetVisible());
    info->SetVisibleInViewport(false);
    EXPECT_FALSE(info->GetVisible());

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
