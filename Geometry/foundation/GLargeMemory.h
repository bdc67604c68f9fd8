#pragma once
// Memory for large arrays and pool blocks, in 2 MiB-aligned mappings that
// the system may back with huge pages.
//
// A mesh of a million entities touches about a gigabyte. With 4 KiB pages
// that is a quarter of a million first-touch page faults (each one a trip
// through the kernel, and on virtual machines through the hypervisor too)
// and a working set far beyond what the TLB covers, so every random access
// also costs a page walk. Huge pages cut both by a factor of 512. The
// advice is only a hint: where huge pages are off, nothing changes but the
// alignment.
//
// With pools off (the sanitizer builds) every request goes to the global
// heap, so the sanitizers see each allocation.

#include <cstddef>
#include <new>
#include <vector>

namespace glarge {

// Size of one huge page, and the alignment of every mapping.
constexpr std::size_t kHugePage = std::size_t(2) << 20;
// Requests from this size up are mapped on their own; smaller ones come
// from the global heap.
constexpr std::size_t kMapFrom = std::size_t(4) << 20;

// `bytes` rounded up to whole huge pages (0 when that overflows).
std::size_t RoundToHugePages(std::size_t bytes);

// A mapping of `bytes` (a multiple of kHugePage), aligned to kHugePage,
// zero-filled, offered for huge pages. Throws std::bad_alloc when the
// system refuses.
void* MapHuge(std::size_t bytes);
void UnmapHuge(void* p, std::size_t bytes);
// Tells the system the pages of a mapping may be taken back whenever it
// needs memory; until it does, they stay in place, and writing to them
// again costs no fault and no zero-filling. The contents are undefined
// afterwards. Does nothing where the system cannot be told.
void ReleasePages(void* p, std::size_t bytes);

// Any size: mapped (rounded up to huge pages) from kMapFrom up, the global
// heap below. Release must be given the same size. A released mapping is
// kept (its pages handed back to the system, up to sixteen mappings) for the
// next request of the same rounded size: repeated runs over the same
// number of points then touch no fresh pages.
void* Allocate(std::size_t bytes);
void Release(void* p, std::size_t bytes);
// Unmaps the kept mappings; returns how many. GHeap::RunGarbageCollector
// calls it.
int ReleaseKept();

} // namespace glarge

// A standard allocator over glarge::Allocate, for vectors that grow to
// millions of elements.
template <class T>
struct GLargeAllocator {
    using value_type = T;
    GLargeAllocator() = default;
    template <class U>
    GLargeAllocator(const GLargeAllocator<U>&) {}
    T* allocate(std::size_t n)
    {
        if (n > static_cast<std::size_t>(-1) / sizeof(T))
            throw std::bad_alloc();
        return static_cast<T*>(glarge::Allocate(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) { glarge::Release(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const GLargeAllocator<U>&) const { return true; }
    template <class U>
    bool operator!=(const GLargeAllocator<U>&) const { return false; }
};

template <class T>
using GLargeArray = std::vector<T, GLargeAllocator<T>>;
