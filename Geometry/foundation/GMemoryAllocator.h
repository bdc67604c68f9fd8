#pragma once
// Arena: a chain of blocks from which small objects are handed out by a
// pointer bump and all released together when the arena is destroyed.

#include <cstddef>

class GMemoryAllocator {
public:
    GMemoryAllocator();
    GMemoryAllocator(int initialSize, int growSize);
    virtual ~GMemoryAllocator();
    // The blocks belong to exactly one arena.
    GMemoryAllocator(const GMemoryAllocator&) = delete;
    GMemoryAllocator& operator=(const GMemoryAllocator&) = delete;

    // Returns `size` bytes (rounded up to a multiple of 8), 8-byte aligned.
    // A request of at least half the current block gets a block of its own
    // so the current block keeps its free room.
    virtual void* alloc(int size);

    int GetInitialSize() const { return initialSize; }
    int GetGrowSize() const { return growSize; }
    int GetCapacity() const { return capacity; }
    int GetUsed() const { return used; }

protected:
    virtual void init(int initialSize, int growSize);

private:
    struct Block {
        Block* next;
        // payload follows the header
    };
    static Block* NewBlock(std::size_t payload);
    static char* Payload(Block* b) { return reinterpret_cast<char*>(b) + sizeof(Block); }

    int initialSize = 0;
    int growSize = 0;
    int capacity = 0;
    int used = 0;
    Block* current = nullptr;
};
