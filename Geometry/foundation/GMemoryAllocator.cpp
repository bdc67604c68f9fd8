#include "Geometry/foundation/GMemoryAllocator.h"

#include <cstdlib>
#include <new>

GMemoryAllocator::GMemoryAllocator() { init(4096, 65536); }

GMemoryAllocator::GMemoryAllocator(int initialSize, int growSize) { init(initialSize, growSize); }

GMemoryAllocator::~GMemoryAllocator()
{
    Block* b = current;
    while (b) {
        Block* next = b->next;
        std::free(b);
        b = next;
    }
}

GMemoryAllocator::Block* GMemoryAllocator::NewBlock(std::size_t payload)
{
    void* mem = std::malloc(sizeof(Block) + payload);
    if (!mem)
        throw std::bad_alloc();
    Block* b = static_cast<Block*>(mem);
    b->next = nullptr;
    return b;
}

void GMemoryAllocator::init(int initial, int grow)
{
    // A non-positive size would make every request a dedicated block, or
    // loop on an empty block; keep at least one 8-byte unit.
    initialSize = initial > 0 ? initial : 8;
    growSize = grow > 0 ? grow : 8;
    capacity = initialSize;
    current = NewBlock(static_cast<std::size_t>(capacity));
    used = 0;
}

void* GMemoryAllocator::alloc(int size)
{
    if (size < 0)
        size = 0;
    // Sizes are kept whole: a request above 64 KiB gets all it asked for.
    const std::size_t rounded = (static_cast<std::size_t>(size) + 7) & ~static_cast<std::size_t>(7);
#ifdef G3_NO_POOLS
    // Every request is a block of its own, of exactly the requested size, so
    // that AddressSanitizer sees each object's bounds.
    Block* own = NewBlock(static_cast<std::size_t>(size));
    own->next = current->next;
    current->next = own;
    (void)rounded;
    return Payload(own);
#else
    if (rounded > static_cast<std::size_t>(capacity - used)) {
        if (rounded >= static_cast<std::size_t>(capacity / 2)) {
            // Dedicated block behind the current one; the current block keeps
            // its free room for the next small request.
            Block* own = NewBlock(rounded);
            own->next = current->next;
            current->next = own;
            return Payload(own);
        }
        // A grow size smaller than the request must not leave it short.
        capacity = static_cast<std::size_t>(growSize) >= rounded ? growSize : static_cast<int>(rounded);
        Block* fresh = NewBlock(static_cast<std::size_t>(capacity));
        fresh->next = current;
        current = fresh;
        used = 0;
    }
    void* p = Payload(current) + used;
    used += static_cast<int>(rounded);
    return p;
#endif
}
