#pragma once
// Fixed-size slot pools. Every pooled class takes its objects from a pool of
// its own; all pools are listed process-wide so the host can tear them all
// down in one call (RemoveAllHeaps).

#include "Geometry/foundation/GObj.h"
#include "Geometry/foundation/GSemaphor.h"

#include <cstddef>
#include <string>
#include <vector>

class GHeap;

// One block of a pool: slotsPerBlock slots, each a pointer-sized owner word
// followed by the object. A free slot's owner word links the free chain.
class GHeapBlock : public GObj {
public:
    GHeapBlock(int slotCount, int slotStride);
    ~GHeapBlock() override;
    GHeapBlock(const GHeapBlock&) = delete;
    GHeapBlock& operator=(const GHeapBlock&) = delete;

    void* TakeSlot();             // pops the free chain; returns the slot start
    void ReturnSlot(void* slot);  // pushes the slot on the free chain

    int freeCount = 0;
    void* freeHead = nullptr;
    char* slots = nullptr;
    int listIndex = -1;
};

class GHeap {
public:
    GHeap(const char* name, int elementSize);
    GHeap(const char* name, int elementSize, int blockBytes);
    virtual ~GHeap();
    // A pool owns its blocks; two pools must never share them.
    GHeap(const GHeap&) = delete;
    GHeap& operator=(const GHeap&) = delete;

    void* Alloc();
    void Free(void* object);
    int GarbageCollector();

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
                           std::size_t size);
    static void PooledDelete(GHeap* pool, void* p, std::size_t size);

protected:
    void Init(const char* name, int elementSize, int blockBytes);
    void DeleteAllBlocks();
    static void AddToHeapList(GHeap* heap);
    static void DeleteFromHeapList(GHeap* heap);

private:
    static void Unlist(std::vector<GHeapBlock*>& list, GHeapBlock* block);
    int SlotStride() const;

    std::string name;
    std::vector<GHeapBlock*> available;
    std::vector<GHeapBlock*> full;
    int slotsPerBlock = 0;
    int elementSize = 0;
    GSemaphor lock;
    GHeap** ownerPointer = nullptr;
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
