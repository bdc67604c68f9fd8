#include "Geometry/foundation/GLargeMemory.h"

#include <cstdint>
#include <cstring>

#if defined(__unix__) || defined(__APPLE__)
#include <sys/mman.h>
#define G3_HAVE_MMAP 1
#endif

namespace glarge {

std::size_t RoundToHugePages(std::size_t bytes)
{
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    return rounded < bytes ? 0 : rounded;
}

#if defined(G3_HAVE_MMAP) && !defined(G3_NO_POOLS)

void* MapHuge(std::size_t bytes)
{
    // Map one huge page more than asked and cut the ends off, so that the
    // rest starts on a huge-page boundary.
    const std::size_t span = bytes + kHugePage;
    if (bytes == 0 || span < bytes)
        throw std::bad_alloc();
    void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~static_cast<std::uintptr_t>(kHugePage - 1);
    const std::size_t head = aligned - start;
    if (head > 0)
        munmap(raw, head);
    const std::size_t tail = span - head - bytes;
    if (tail > 0)
        munmap(reinterpret_cast<void*>(aligned + bytes), tail);
    void* p = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    madvise(p, bytes, MADV_HUGEPAGE); // a hint; refused where huge pages are off
#endif
    return p;
}

void UnmapHuge(void* p, std::size_t bytes)
{
    if (p != nullptr)
        munmap(p, bytes);
}

#else

// Without mappings (or with pools off, for the sanitizers) a plain
// zero-filled heap block stands in.
void* MapHuge(std::size_t bytes)
{
    if (bytes == 0)
        throw std::bad_alloc();
    void* p = ::operator new(bytes);
    std::memset(p, 0, bytes);
    return p;
}

void UnmapHuge(void* p, std::size_t) { ::operator delete(p); }

#endif

void* Allocate(std::size_t bytes)
{
    if (bytes < kMapFrom)
        return ::operator new(bytes);
    const std::size_t rounded = RoundToHugePages(bytes);
    if (rounded == 0)
        throw std::bad_alloc();
    return MapHuge(rounded);
}

void Release(void* p, std::size_t bytes)
{
    if (p == nullptr)
        return;
    if (bytes < kMapFrom)
        ::operator delete(p);
    else
        UnmapHuge(p, RoundToHugePages(bytes));
}

} // namespace glarge
