#pragma once
// A set of a few entities, asked about many: a bitmap of their pointers'
// hashes stands in front of the set, so a pointer that is not in it is
// almost always turned away by one bit test, without a hash lookup and
// without touching the entity. Built for passes over every edge of a large
// mesh that look for the few edges touching a handful of vertices.

#include <cstddef>
#include <cstdint>
#include <unordered_set>
#include <vector>

class G3SparseSet {
public:
    void Insert(const void* p)
    {
        if (!p)
            return;
        if (bitmap.empty())
            bitmap.assign(kWords, 0);
        bitmap[Slot(p) >> 6] |= std::uint64_t{1} << (Slot(p) & 63);
        members.insert(p);
    }
    bool Contains(const void* p) const
    {
        return !bitmap.empty() && (bitmap[Slot(p) >> 6] >> (Slot(p) & 63) & 1) && members.count(p);
    }
    bool Empty() const { return members.empty(); }

private:
    static constexpr int kBits = 18;
    static constexpr std::size_t kWords = std::size_t{1} << (kBits - 6);
    static std::size_t Slot(const void* p)
    {
        return static_cast<std::size_t>((reinterpret_cast<std::uintptr_t>(p) * 0x9E3779B97F4A7C15ull) >> (64 - kBits));
    }

    // Allocated with the first member.
    std::vector<std::uint64_t> bitmap;
    std::unordered_set<const void*> members;
};
