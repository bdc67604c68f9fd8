#pragma once
// Maps small non-negative integer ids to objects through a directly indexed
// array that grows on demand. A null slot is a free id. Stored objects are
// never owned or deleted.
//
// The map counts GetMapSize() slots; the array behind them may be larger, so
// that storing ids one after another grows it a few times rather than once
// per id. Slots beyond the map's size are always free.

#include "Geometry/foundation/GObj.h"

class GIdMap : public GObj {
public:
    GIdMap();
    explicit GIdMap(int size);
    // A copy gets a slot array of its own (the objects are shared).
    GIdMap(const GIdMap& other);
    GIdMap& operator=(const GIdMap& other);
    ~GIdMap() override;

    // Resizes to newSize slots (a negative size counts as 0): growing keeps
    // every slot and adds free ones, shrinking drops the slots beyond newSize
    // without deleting their objects and gives their memory back. Returns
    // false, changing nothing, when the memory for growing cannot be had;
    // shrinking always succeeds.
    bool Realloc(int newSize);
    // Stores obj under id, growing the map to id + 1 slots when id is beyond
    // its end, and returns the object the slot held (null if it was free). A
    // negative id stores nothing and returns null.
    //
    // Failure: when the map cannot grow (no memory, or id == INT_MAX) Put
    // stores nothing, returns null and leaves GetMapSize() unchanged. A null
    // result is therefore ambiguous; a caller that grows the map tells a
    // failed store by GetMapSize() <= id afterwards (or Get(id) != obj).
    GObj* Put(int id, GObj* obj);
    // The object under id; null for a free slot or an id outside the map.
    GObj* Get(int id) const;
    // Frees the slot and returns its object; null for an id outside the map.
    GObj* Remove(int id);
    // The lowest free id; GetMapSize() when every slot is taken.
    int GetFreeId() const;
    int GetMapSize() const { return mapSize; }
    // Frees every slot; the map keeps its size.
    void Clear();

protected:
    void Init(int size);
    // Moves the slots to an array of newCapacity (>= mapSize) slots; false,
    // changing nothing, when it cannot be had.
    bool Reserve(int newCapacity);

    int mapSize = 0;
    GObj** slots = nullptr;
    // Slots allocated; those from mapSize on are null.
    int capacity = 0;
};
