#include "Geometry/foundation/GHeap.h"

#include "Geometry/foundation/GLargeMemory.h"

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

// A 2 MiB mapping cut into block-sized pieces. Pieces never handed out are
// implicit (a countdown, served from the start of the chunk upwards);
// returned ones are chained through their first word.
struct GHeapChunk {
    char* base = nullptr;
    char* freePieces = nullptr;
    int used = 0;      // pieces held by blocks
    int untouched = 0; // pieces never handed out
    int listIndex = -1; // index in the pool's openChunks; -1 when all used
};

GSemaphor& GHeap::ListLock()
{
    // Created on first use and never destroyed, so a pool may register from
    // any static initialiser and tear down in any order at exit.
    static GSemaphor* lock = new GSemaphor();
    return *lock;
}

// ---------------------------------------------------------------- GHeapBlock

GHeapBlock::GHeapBlock(int slotCount, int slotStride)
    : freeCount(slotCount), untouched(slotCount), stride(slotStride)
{
    slots = static_cast<char*>(std::malloc(static_cast<std::size_t>(slotCount) * slotStride));
    if (!slots)
        throw std::bad_alloc();
}

GHeapBlock::GHeapBlock(int slotCount, int slotStride, char* piece, GHeapChunk* owner)
    : freeCount(slotCount), slots(piece), chunk(owner), untouched(slotCount), stride(slotStride)
{
}

GHeapBlock::~GHeapBlock()
{
    // A chunk's piece goes back through GHeap::DestroyBlock.
    if (!chunk)
        std::free(slots);
}

void GHeapBlock::Reset(int slotCount)
{
    freeCount = slotCount;
    freeHead = nullptr;
    untouched = slotCount;
    listIndex = -1;
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
    const long blockSize = static_cast<long>(slotsPerBlock) * SlotStride();
    maxSpares = blockSize > 0 && kSpareBytes / blockSize > 1 ? static_cast<int>(kSpareBytes / blockSize) : 1;
    const long chunkSize = static_cast<long>(glarge::kHugePage);
    piecesPerChunk = blockSize > 0 && blockSize <= chunkSize / 4 ? static_cast<int>(chunkSize / blockSize) : 0;
    AddToHeapList(this);
}

GHeap::~GHeap()
{
    DeleteAllBlocks();
    for (GHeapBlock* b : spares)
        DestroyBlock(b);
    spares.clear();
    // Every chunk went idle with its last block.
    UnmapIdleChunks();
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
        DestroyBlock(b);
    for (GHeapBlock* b : full)
        DestroyBlock(b);
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

GHeapBlock* GHeap::NewBlock()
{
    GHeapBlock* block;
    if (!spares.empty()) {
        block = spares.back();
        spares.pop_back();
        block->Reset(slotsPerBlock);
    } else if (piecesPerChunk > 0 && available.size() + full.size() >= static_cast<std::size_t>(kBlocksBeforeChunks)) {
        GHeapChunk* owner = nullptr;
        char* piece = TakePiece(&owner);
        try {
            block = new GHeapBlock(slotsPerBlock, SlotStride(), piece, owner);
        } catch (...) {
            ReturnPiece(piece, owner);
            throw;
        }
    } else {
        block = new GHeapBlock(slotsPerBlock, SlotStride());
    }
    block->listIndex = static_cast<int>(available.size());
    available.push_back(block);
    return block;
}

void GHeap::DestroyBlock(GHeapBlock* block)
{
    GHeapChunk* owner = block->chunk;
    char* piece = block->slots;
    delete block;
    if (owner)
        ReturnPiece(piece, owner);
}

char* GHeap::TakePiece(GHeapChunk** owner)
{
    if (openChunks.empty()) {
        GHeapChunk* fresh = new GHeapChunk();
        if (!idleChunks.empty()) {
            fresh->base = idleChunks.back();
            idleChunks.pop_back();
        } else {
            try {
                fresh->base = static_cast<char*>(glarge::MapHuge(glarge::kHugePage));
            } catch (...) {
                delete fresh;
                throw;
            }
        }
        fresh->untouched = piecesPerChunk;
        fresh->listIndex = static_cast<int>(openChunks.size());
        openChunks.push_back(fresh);
        ++chunkCount;
    }
    GHeapChunk* chunk = openChunks.back();
    char* piece;
    if (chunk->freePieces) {
        piece = chunk->freePieces;
        std::memcpy(&chunk->freePieces, piece, sizeof(char*));
    } else {
        const std::size_t index = static_cast<std::size_t>(piecesPerChunk - chunk->untouched);
        piece = chunk->base + index * static_cast<std::size_t>(slotsPerBlock) * static_cast<std::size_t>(SlotStride());
        --chunk->untouched;
    }
    if (++chunk->used == piecesPerChunk) {
        openChunks.pop_back(); // it was the last one
        chunk->listIndex = -1;
    }
    *owner = chunk;
    return piece;
}

void GHeap::ReturnPiece(char* piece, GHeapChunk* chunk)
{
    std::memcpy(piece, &chunk->freePieces, sizeof(char*));
    chunk->freePieces = piece;
    if (--chunk->used == 0) {
        if (chunk->listIndex >= 0) {
            GHeapChunk* last = openChunks.back();
            openChunks[static_cast<std::size_t>(chunk->listIndex)] = last;
            last->listIndex = chunk->listIndex;
            openChunks.pop_back();
        }
        // This runs inside operator delete: a list that cannot grow costs
        // the reuse, never an exception.
        try {
            idleChunks.push_back(chunk->base);
            glarge::ReleasePages(chunk->base, glarge::kHugePage);
        } catch (const std::bad_alloc&) {
            glarge::UnmapHuge(chunk->base, glarge::kHugePage);
        }
        delete chunk;
        --chunkCount;
        return;
    }
    if (chunk->listIndex < 0) {
        try {
            openChunks.push_back(chunk);
            chunk->listIndex = static_cast<int>(openChunks.size()) - 1;
        } catch (const std::bad_alloc&) {
            // Left unlisted: its free pieces wait until it empties.
        }
    }
}

void GHeap::UnmapIdleChunks()
{
    for (char* base : idleChunks)
        glarge::UnmapHuge(base, glarge::kHugePage);
    idleChunks.clear();
}

void GHeap::MoveToFull(GHeapBlock* block)
{
    // `block` is the last available block.
    available.pop_back();
    block->listIndex = static_cast<int>(full.size());
    full.push_back(block);
}

void GHeap::Relist(GHeapBlock* block)
{
    if (block->freeCount == 1 && slotsPerBlock > 1) {
        // It was full: it becomes available.
        Unlist(full, block);
        block->listIndex = static_cast<int>(available.size());
        available.push_back(block);
        return;
    }
    // Entirely free: it leaves the lists at once.
    if (slotsPerBlock == 1)
        Unlist(full, block);
    else
        Unlist(available, block);
    if (static_cast<int>(spares.size()) < maxSpares)
        spares.push_back(block);
    else
        DestroyBlock(block);
}

int GHeap::GarbageCollector()
{
    GSemaphorLock hold(lock);
    const int released = static_cast<int>(spares.size());
    for (GHeapBlock* b : spares)
        DestroyBlock(b);
    spares.clear();
    UnmapIdleChunks();
    return released;
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
    glarge::ReleaseKept();
    (void)total;
}

int GHeap::HeapCount()
{
    GSemaphorLock hold(ListLock());
    return static_cast<int>(HeapList().size());
}

GHeap* GHeap::CreatePool(GHeap** pool, const char* poolName, int size, int blockBytes)
{
    // The pointer is read and published atomically so two threads never
    // create the same pool twice.
    GSemaphorLock hold(ListLock());
    GHeap* heap = __atomic_load_n(pool, __ATOMIC_ACQUIRE);
    if (!heap) {
        heap = new GHeap(poolName, size, blockBytes);
        heap->SetOwnerPointer(pool);
        __atomic_store_n(pool, heap, __ATOMIC_RELEASE);
    }
    return heap;
}

void* GHeap::GlobalNew(std::size_t size)
{
    void* p = ::operator new(size);
    std::memset(p, 0, size);
    return p;
}

void GHeap::GlobalDelete(void* p) { ::operator delete(p); }
