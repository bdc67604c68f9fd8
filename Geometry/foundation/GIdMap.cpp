#include "Geometry/foundation/GIdMap.h"

#include <climits>
#include <cstring>
#include <new>

namespace {

// Zeroed slot array, or null when n is 0 or the memory cannot be had.
GObj** NewSlots(int n)
{
    if (n <= 0)
        return nullptr;
    GObj** s = new (std::nothrow) GObj*[static_cast<std::size_t>(n)];
    if (s)
        std::memset(s, 0, sizeof(GObj*) * static_cast<std::size_t>(n));
    return s;
}

} // namespace

GIdMap::GIdMap() { Init(256); }

GIdMap::GIdMap(int size) { Init(size); }

GIdMap::GIdMap(const GIdMap& other) : GObj(other)
{
    Init(other.mapSize);
    if (slots && mapSize > 0)
        std::memcpy(slots, other.slots, sizeof(GObj*) * static_cast<std::size_t>(mapSize));
}

GIdMap& GIdMap::operator=(const GIdMap& other)
{
    if (this == &other)
        return *this;
    GObj::operator=(other);
    delete[] slots;
    slots = nullptr;
    Init(other.mapSize);
    if (slots && mapSize > 0)
        std::memcpy(slots, other.slots, sizeof(GObj*) * static_cast<std::size_t>(mapSize));
    return *this;
}

GIdMap::~GIdMap() { delete[] slots; }

void GIdMap::Init(int size)
{
    slots = NewSlots(size);
    // An array that could not be had leaves an empty map rather than slots
    // that are counted but missing.
    mapSize = slots ? size : 0;
    capacity = mapSize;
}

bool GIdMap::Reserve(int newCapacity)
{
    GObj** fresh = NewSlots(newCapacity);
    if (newCapacity > 0 && !fresh)
        return false;
    if (mapSize > 0)
        std::memcpy(fresh, slots, sizeof(GObj*) * static_cast<std::size_t>(mapSize));
    delete[] slots;
    slots = fresh;
    capacity = newCapacity;
    return true;
}

bool GIdMap::Realloc(int newSize)
{
    if (newSize < 0)
        newSize = 0;
    if (newSize == mapSize)
        return true;
    if (newSize < mapSize) {
        // The dropped slots are freed first: the array may be kept when a
        // smaller one cannot be had, and slots beyond the map must be free.
        std::memset(slots + newSize, 0, sizeof(GObj*) * static_cast<std::size_t>(mapSize - newSize));
        mapSize = newSize;
        Reserve(newSize);
        return true;
    }
    if (newSize > capacity && !Reserve(newSize))
        return false;
    mapSize = newSize;
    return true;
}

GObj* GIdMap::Put(int id, GObj* obj)
{
    if (id < 0)
        return nullptr;
    if (id >= mapSize) {
        // id + 1 slots must be countable.
        if (id == INT_MAX)
            return nullptr;
        if (id >= capacity) {
            // Half as much again as the array holds, so that ids stored one
            // after another copy the array a logarithmic number of times;
            // exactly id + 1 when that much cannot be had.
            const int grown = capacity > INT_MAX - capacity / 2 ? INT_MAX : capacity + capacity / 2;
            if (!(grown > id && Reserve(grown)) && !Reserve(id + 1))
                return nullptr;
        }
        mapSize = id + 1;
    }
    GObj* old = slots[id];
    slots[id] = obj;
    return old;
}

GObj* GIdMap::Get(int id) const
{
    if (id < 0 || id >= mapSize)
        return nullptr;
    return slots[id];
}

GObj* GIdMap::Remove(int id)
{
    if (id < 0 || id >= mapSize)
        return nullptr;
    GObj* old = slots[id];
    slots[id] = nullptr;
    return old;
}

int GIdMap::GetFreeId() const
{
    for (int i = 0; i < mapSize; ++i)
        if (!slots[i])
            return i;
    return mapSize;
}

void GIdMap::Clear()
{
    if (mapSize > 0)
        std::memset(slots, 0, sizeof(GObj*) * static_cast<std::size_t>(mapSize));
}
