#pragma once
// Fixed-size slot pools. Every pooled class takes its objects from a pool of
// its own; all pools are listed process-wide so the host can tear them all
// down in one call (RemoveAllHeaps).

#include "Geometry/foundation/GObj.h"
#include "Geometry/foundation/GSemaphor.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

class GHeap;
struct GHeapChunk;

// One block of a pool: slotsPerBlock slots, each a pointer-sized owner word
// followed by the object. A free slot's owner word links the free chain.
class GHeapBlock : public GObj {
public:
    // Slot memory of its own from the global heap.
    GHeapBlock(int slotCount, int slotStride);
    // Slot memory that is a piece of one of its pool's chunks; the pool
    // takes the piece back when the block goes.
    GHeapBlock(int slotCount, int slotStride, char* piece, GHeapChunk* owner);
    ~GHeapBlock() override;
    // Makes every slot free again, as a new block's are.
    void Reset(int slotCount);
    GHeapBlock(const GHeapBlock&) = delete;
    GHeapBlock& operator=(const GHeapBlock&) = delete;

    // Pops the free chain; returns the slot start.
    void* TakeSlot()
    {
        --freeCount;
        if (freeHead) {
            void* slot = freeHead;
            std::memcpy(&freeHead, slot, sizeof(void*));
            return slot;
        }
        --untouched;
        return slots + static_cast<std::size_t>(untouched) * static_cast<std::size_t>(stride);
    }
    // Pushes the slot on the free chain.
    void ReturnSlot(void* slot)
    {
        std::memcpy(slot, &freeHead, sizeof(void*));
        freeHead = slot;
        ++freeCount;
    }

    int freeCount = 0;
    void* freeHead = nullptr;
    char* slots = nullptr;
    int listIndex = -1;
    // The chunk the slot memory belongs to; null for memory of its own.
    GHeapChunk* chunk = nullptr;

private:
    // Slots below this index have never been handed out. They behave as if
    // they were on the free chain behind freeHead, highest first, so the
    // first allocations come from the end of the block and move downwards;
    // keeping them implicit makes a new block O(1).
    int untouched = 0;
    int stride = 0;
};

class GHeap {
public:
    GHeap(const char* name, int elementSize);
    GHeap(const char* name, int elementSize, int blockBytes);
    virtual ~GHeap();
    // A pool owns its blocks; two pools must never share them.
    GHeap(const GHeap&) = delete;
    GHeap& operator=(const GHeap&) = delete;

    // Both hold the pool's lock for their whole run. The common case (a slot
    // from the last available block, or back into a block that stays listed
    // where it is) is inline; list moves are out of line.
    void* Alloc()
    {
        GSemaphorLock hold(lock);
        GHeapBlock* block = available.empty() ? NewBlock() : available.back();
        char* slot = static_cast<char*>(block->TakeSlot());
        if (block->freeCount == 0)
            MoveToFull(block);
        std::memcpy(slot, &block, sizeof(void*));
        char* object = slot + sizeof(void*);
        std::memset(object, 0, static_cast<std::size_t>(elementSize));
        return object;
    }
    void Free(void* object)
    {
        if (!object)
            return;
        GSemaphorLock hold(lock);
        char* slot = static_cast<char*>(object) - sizeof(void*);
        GHeapBlock* block;
        std::memcpy(&block, slot, sizeof(void*));
        block->ReturnSlot(slot);
        if (block->freeCount == 1 || block->freeCount == slotsPerBlock)
            Relist(block);
    }
    // Returns the kept empty blocks to the global heap; the number released.
    int GarbageCollector();
    int GetSpareCount() const { return static_cast<int>(spares.size()); }
    static constexpr long kSpareBytes = 8L << 20;
    // A pool that already holds this many blocks takes further ones from
    // chunks: 2 MiB mappings, offered for huge pages, each cut into as many
    // blocks as fit (pools of blocks over a quarter of that excepted).
    static constexpr int kBlocksBeforeChunks = 8;
    // Chunks holding blocks / idle chunks kept mapped for reuse.
    int GetChunkCount() const { return chunkCount; }
    int GetIdleChunkCount() const { return static_cast<int>(idleChunks.size()); }

    const char* GetName() const { return name.c_str(); }
    int GetElementSize() const { return elementSize; }
    int GetSlotsPerBlock() const { return slotsPerBlock; }
    int GetAvailableCount() const { return static_cast<int>(available.size()); }
    int GetFullCount() const { return static_cast<int>(full.size()); }
    GHeapBlock* GetAvailableBlock(int i) const { return available[i]; }
    GHeapBlock* GetFullBlock(int i) const { return full[i]; }

    // The static pointer that refers to this pool, cleared when the pool is
    // destroyed so that the next allocation creates the pool afresh.
    void SetOwnerPointer(GHeap** owner) { ownerPointer = owner; }

    static void RemoveAllHeaps();
    static void RunGarbageCollector();
    static void RunUsedMemoryDump() {}
    static int HeapCount();
    // The lock of the process-wide pool list, created on first use.
    static GSemaphor& ListLock();

    // Serves one object of `size` bytes for a pooled class whose pool pointer
    // is `*pool` (created on first use). Requests larger than the pool's
    // element size (a subclass with fields of its own) go to the global heap.
    static void* PooledNew(GHeap** pool, const char* name, int elementSize, int blockBytes,
                           std::size_t size)
    {
#ifdef G3_NO_POOLS
        (void)pool;
        (void)name;
        (void)elementSize;
        (void)blockBytes;
        return GlobalNew(size);
#else
        if (size > static_cast<std::size_t>(elementSize))
            return GlobalNew(size);
        GHeap* heap = __atomic_load_n(pool, __ATOMIC_ACQUIRE);
        if (!heap)
            heap = CreatePool(pool, name, elementSize, blockBytes);
        return heap->Alloc();
#endif
    }
    static void PooledDelete(GHeap* pool, void* p, std::size_t size)
    {
#ifdef G3_NO_POOLS
        (void)pool;
        (void)size;
        GlobalDelete(p);
#else
        if (!pool || size > static_cast<std::size_t>(pool->elementSize))
            GlobalDelete(p);
        else
            pool->Free(p);
#endif
    }

protected:
    void Init(const char* name, int elementSize, int blockBytes);
    void DeleteAllBlocks();
    static void AddToHeapList(GHeap* heap);
    static void DeleteFromHeapList(GHeap* heap);

private:
    static void Unlist(std::vector<GHeapBlock*>& list, GHeapBlock* block);
    GHeapBlock* NewBlock();              // a fresh block, appended to `available`
    void DestroyBlock(GHeapBlock* block); // deletes it and gives its memory back
    char* TakePiece(GHeapChunk** owner); // block memory from a chunk
    void ReturnPiece(char* piece, GHeapChunk* owner);
    void UnmapIdleChunks();
    void MoveToFull(GHeapBlock* block);  // the last available block just filled up
    void Relist(GHeapBlock* block);      // a block just left `full` or emptied
    static GHeap* CreatePool(GHeap** pool, const char* name, int elementSize, int blockBytes);
    static void* GlobalNew(std::size_t size);  // zero-filled, like a pool slot
    static void GlobalDelete(void* p);
    int SlotStride() const;

    std::string name;
    std::vector<GHeapBlock*> available;
    std::vector<GHeapBlock*> full;
    int slotsPerBlock = 0;
    int elementSize = 0;
    GSemaphor lock;
    GHeap** ownerPointer = nullptr;
    // Blocks that emptied. An emptied block leaves the lists at once, but
    // its memory is kept (up to kSpareBytes per pool) to serve as the next
    // blocks this pool needs: a pass that creates and deletes many entities
    // would otherwise hand blocks back to the C heap, which returns them to
    // the system and faults every page in again on the next pass.
    // GarbageCollector and the destructor release them.
    std::vector<GHeapBlock*> spares;
    int maxSpares = 1;
    // Chunks with at least one piece not in use (the last one serves next).
    std::vector<GHeapChunk*> openChunks;
    // Chunks whose pieces all came back: their pages are handed to the
    // system to take back whenever it needs memory, but they stay mapped
    // and serve the next chunks this pool needs, which then cost no page
    // faults as long as the system left the pages in place. Unmapped by
    // GarbageCollector and the destructor.
    std::vector<char*> idleChunks;
    int chunkCount = 0;
    int piecesPerChunk = 0; // 0: this pool's blocks never come from chunks
};

// Gives a class its own pool. Put G_DECLARE_POOL(Class) in the class body and
// G_DEFINE_POOL(Class, "PoolName", blockBytes) in one source file. The pool is
// the static member m_<Class>Heap.
#define G_DECLARE_POOL(Class)                                                        \
public:                                                                              \
    static GHeap* m_##Class##Heap;                                                   \
    static GHeap* Pool_() { return m_##Class##Heap; }                                \
    static void* operator new(std::size_t size);                                     \
    static void operator delete(void* p, std::size_t size);                          \
    static void* operator new(std::size_t size, GMemoryAllocator* arena)             \
    {                                                                                \
        return GObj::operator new(size, arena);                                      \
    }                                                                                \
    static void operator delete(void* p, GMemoryAllocator* arena)                    \
    {                                                                                \
        GObj::operator delete(p, arena);                                             \
    }                                                                                \
                                                                                     \
private:

#define G_DEFINE_POOL(Class, PoolName, BlockBytes)                                   \
    GHeap* Class::m_##Class##Heap = nullptr;                                         \
    void* Class::operator new(std::size_t size)                                      \
    {                                                                                \
        static_assert(alignof(Class) <= 8, "pool slots are 8-byte aligned");         \
        return GHeap::PooledNew(&m_##Class##Heap, PoolName, static_cast<int>(sizeof(Class)), \
                                BlockBytes, size);                                   \
    }                                                                                \
    void Class::operator delete(void* p, std::size_t size)                           \
    {                                                                                \
        GHeap::PooledDelete(m_##Class##Heap, p, size);                               \
    }
