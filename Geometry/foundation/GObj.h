#pragma once
// Root of every kernel object, and the allocation forms every object shares:
// the global heap, and placement into an arena (GMemoryAllocator) for scratch
// records that are released together with the arena.

#include <cstddef>

class GMemoryAllocator;

class GObj {
public:
    GObj() : tag(0) {}
    explicit GObj(unsigned long tag) : tag(tag) {}
    GObj(const GObj& other) = default;
    GObj& operator=(const GObj& other) = default;

    virtual void print() {}
    virtual ~GObj() = default;
    // Copies the state of `source` into this object; GObj has none to copy.
    virtual void Copy(GObj* source);
    // A new object from the global heap that has copied this one. GObj's own
    // version makes a plain GObj; classes that want a true clone override it.
    virtual GObj* Duplicate();

    unsigned long GetTag() const { return tag; }
    void SetTag(unsigned long t) { tag = t; }

    static void* operator new(std::size_t size);
    static void operator delete(void* p);
    // An object placed in an arena is never deleted: its storage goes with the
    // arena. The matching delete only runs if a constructor throws.
    static void* operator new(std::size_t size, GMemoryAllocator* arena);
    static void operator delete(void* p, GMemoryAllocator* arena);

    unsigned long tag;
};
