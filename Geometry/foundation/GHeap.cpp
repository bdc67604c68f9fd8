#include "Geometry/foundation/GHeap.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// The process-wide pool list. Plain storage: the list must not come from a
// pool, since RemoveAllHeaps walks it while deleting pools.
std::vector<GHeap*>& HeapList()
{
    static std::vector<GHeap*>* list = new std::vector<GHeap*>();
    return *list;
}

constexpr std::size_t kOwnerWord = sizeof(void*);

} // namespace

GSemaphor& GHeap::ListLock()
{
    // Created on first use and never destroyed, so a pool may register from
    // any static initialiser and tear down in any order at exit.
    static GSemaphor* lock = new GSemaphor();
    return *lock;
}

// ---------------------------------------------------------------- GHeapBlock

GHeapBlock::GHeapBlock(int slotCount, int slotStride)
{
    slots = static_cast<char*>(std::malloc(static_cast<std::size_t>(slotCount) * slotStride));
    if (!slots)
        throw std::bad_alloc();
    // Pushing from the first slot to the last leaves the last slot at the
    // head, so allocations start at the end of the block.
    for (int i = 0; i < slotCount; ++i)
        ReturnSlot(slots + static_cast<std::size_t>(i) * slotStride);
}

GHeapBlock::~GHeapBlock() { std::free(slots); }

void* GHeapBlock::TakeSlot()
{
    void* slot = freeHead;
    std::memcpy(&freeHead, slot, sizeof(void*));
    --freeCount;
    return slot;
}

void GHeapBlock::ReturnSlot(void* slot)
{
    std::memcpy(slot, &freeHead, sizeof(void*));
    freeHead = slot;
    ++freeCount;
}

// --------------------------------------------------------------------- GHeap

GHeap::GHeap(const char* name, int elementSize) { Init(name, elementSize, 8192); }

GHeap::GHeap(const char* name, int elementSize, int blockBytes) { Init(name, elementSize, blockBytes); }

void GHeap::Init(const char* n, int size, int blockBytes)
{
    name = n ? n : "";
    elementSize = size > 0 ? size : 0;
    slotsPerBlock = elementSize == 0 ? blockBytes : blockBytes / elementSize + 1;
    if (slotsPerBlock < 1)
        slotsPerBlock = 1;
    available.reserve(32);
    full.reserve(32);
    AddToHeapList(this);
}

GHeap::~GHeap()
{
    DeleteAllBlocks();
    DeleteFromHeapList(this);
    if (ownerPointer && *ownerPointer == this)
        *ownerPointer = nullptr;
}

int GHeap::SlotStride() const
{
    // Owner word plus the object, kept 8-byte aligned.
    return static_cast<int>(kOwnerWord + ((static_cast<std::size_t>(elementSize) + 7) & ~std::size_t(7)));
}

void GHeap::DeleteAllBlocks()
{
    for (GHeapBlock* b : available)
        delete b;
    for (GHeapBlock* b : full)
        delete b;
    available.clear();
    full.clear();
}

void GHeap::Unlist(std::vector<GHeapBlock*>& list, GHeapBlock* block)
{
    // Move the last block into the gap: O(1), block order not kept.
    const int at = block->listIndex;
    GHeapBlock* last = list.back();
    list[at] = last;
    last->listIndex = at;
    list.pop_back();
    block->listIndex = -1;
}

void* GHeap::Alloc()
{
    GSemaphorLock hold(lock);
    GHeapBlock* block;
    if (available.empty()) {
        block = new GHeapBlock(slotsPerBlock, SlotStride());
        block->listIndex = static_cast<int>(available.size());
        available.push_back(block);
    } else {
        block = available.back();
    }
    char* slot = static_cast<char*>(block->TakeSlot());
    if (block->freeCount == 0) {
        available.pop_back();
        block->listIndex = static_cast<int>(full.size());
        full.push_back(block);
    }
    std::memcpy(slot, &block, sizeof(void*));
    char* object = slot + kOwnerWord;
    std::memset(object, 0, static_cast<std::size_t>(elementSize));
    return object;
}

void GHeap::Free(void* object)
{
    if (!object)
        return;
    GSemaphorLock hold(lock);
    char* slot = static_cast<char*>(object) - kOwnerWord;
    GHeapBlock* block;
    std::memcpy(&block, slot, sizeof(void*));
    block->ReturnSlot(slot);
    if (block->freeCount == 1) {
        Unlist(full, block);
        block->listIndex = static_cast<int>(available.size());
        available.push_back(block);
    }
    if (block->freeCount == slotsPerBlock) {
        Unlist(available, block);
        delete block;
    }
}

int GHeap::GarbageCollector()
{
    GSemaphorLock hold(lock);
    return 0;
}

void GHeap::AddToHeapList(GHeap* heap)
{
    GSemaphorLock hold(ListLock());
    HeapList().push_back(heap);
}

void GHeap::DeleteFromHeapList(GHeap* heap)
{
    GSemaphorLock hold(ListLock());
    std::vector<GHeap*>& list = HeapList();
    for (std::size_t i = list.size(); i-- > 0;) {
        if (list[i] == heap) {
            list[i] = list.back();
            list.pop_back();
            return;
        }
    }
}

void GHeap::RemoveAllHeaps()
{
    std::vector<GHeap*>& list = HeapList();
    while (!list.empty())
        delete list.front();
}

void GHeap::RunGarbageCollector()
{
    GSemaphorLock hold(ListLock());
    int total = 0;
    for (GHeap* h : HeapList())
        total += h->GarbageCollector();
    (void)total;
}

int GHeap::HeapCount()
{
    GSemaphorLock hold(ListLock());
    return static_cast<int>(HeapList().size());
}

void* GHeap::PooledNew(GHeap** pool, const char* poolName, int size, int blockBytes, std::size_t request)
{
#ifdef G3_NO_POOLS
    (void)pool;
    (void)poolName;
    (void)size;
    (void)blockBytes;
    // One global-heap allocation per object, zero-filled like a pool slot.
    void* p = ::operator new(request);
    std::memset(p, 0, request);
    return p;
#else
    if (request > static_cast<std::size_t>(size)) {
        void* p = ::operator new(request);
        std::memset(p, 0, request);
        return p;
    }
    // The pool is created on first use; the pointer is read and published
    // atomically so two threads never create the same pool twice.
    GHeap* heap = __atomic_load_n(pool, __ATOMIC_ACQUIRE);
    if (!heap) {
        GSemaphorLock hold(ListLock());
        heap = __atomic_load_n(pool, __ATOMIC_ACQUIRE);
        if (!heap) {
            heap = new GHeap(poolName, size, blockBytes);
            heap->SetOwnerPointer(pool);
            __atomic_store_n(pool, heap, __ATOMIC_RELEASE);
        }
    }
    return heap->Alloc();
#endif
}

void GHeap::PooledDelete(GHeap* pool, void* p, std::size_t request)
{
    if (!p)
        return;
#ifdef G3_NO_POOLS
    (void)pool;
    (void)request;
    ::operator delete(p);
#else
    if (!pool || request > static_cast<std::size_t>(pool->GetElementSize())) {
        ::operator delete(p);
        return;
    }
    pool->Free(p);
#endif
}
