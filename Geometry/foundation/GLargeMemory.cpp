#include "Geometry/foundation/GLargeMemory.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

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

void ReleasePages(void* p, std::size_t bytes)
{
#ifdef MADV_FREE
    if (p != nullptr)
        madvise(p, bytes, MADV_FREE);
#else
    (void)p;
    (void)bytes;
#endif
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

void ReleasePages(void*, std::size_t) {}

#endif

namespace {

// Released mappings kept for reuse by a request of the same rounded size:
// a triangulation run allocates the same few arrays, sized by the point
// count, every time, and a fresh mapping costs a zero-filled page per
// 2 MiB. Their pages are handed back to the system (ReleasePages), so the
// memory stays available to it; the mappings themselves are unmapped by
// ReleaseKept or when more than kKeptMappings are waiting (a mesh run
// holds a dozen such arrays: nodes, triangles, lookups, entity lists).
[[maybe_unused]] constexpr std::size_t kKeptMappings = 16; // unused with the pools off

struct Kept {
    void* p;
    std::size_t bytes;
};

std::mutex& KeptLock()
{
    static std::mutex* lock = new std::mutex();
    return *lock;
}

// Oldest first. Never destroyed, like the pool list.
std::vector<Kept>& KeptList()
{
    static std::vector<Kept>* list = new std::vector<Kept>();
    return *list;
}

} // namespace

void* Allocate(std::size_t bytes)
{
    if (bytes < kMapFrom)
        return ::operator new(bytes);
    const std::size_t rounded = RoundToHugePages(bytes);
    if (rounded == 0)
        throw std::bad_alloc();
    {
        std::lock_guard<std::mutex> hold(KeptLock());
        std::vector<Kept>& kept = KeptList();
        for (std::size_t i = kept.size(); i-- > 0;)
            if (kept[i].bytes == rounded) {
                void* p = kept[i].p;
                kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(i));
                return p;
            }
    }
    return MapHuge(rounded);
}

void Release(void* p, std::size_t bytes)
{
    if (p == nullptr)
        return;
    if (bytes < kMapFrom) {
        ::operator delete(p);
        return;
    }
    const std::size_t rounded = RoundToHugePages(bytes);
#if defined(G3_HAVE_MMAP) && !defined(G3_NO_POOLS)
    ReleasePages(p, rounded);
    Kept oldest{nullptr, 0};
    {
        std::lock_guard<std::mutex> hold(KeptLock());
        std::vector<Kept>& kept = KeptList();
        if (kept.size() == kKeptMappings) {
            oldest = kept.front();
            kept.erase(kept.begin());
        }
        kept.push_back(Kept{p, rounded});
    }
    UnmapHuge(oldest.p, oldest.bytes);
#else
    UnmapHuge(p, rounded);
#endif
}

int ReleaseKept()
{
    std::vector<Kept> all;
    {
        std::lock_guard<std::mutex> hold(KeptLock());
        all.swap(KeptList());
    }
    for (const Kept& k : all)
        UnmapHuge(k.p, k.bytes);
    return static_cast<int>(all.size());
}

} // namespace glarge
