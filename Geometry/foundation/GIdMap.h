#pragma once
// Maps small non-negative integer ids to objects through a directly indexed
// array that grows on demand. A null slot is a free id. Stored objects are
// never owned or deleted.

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
    // without deleting their objects. Returns false, changing nothing, when
    // the memory cannot be had.
    bool Realloc(int newSize);
    // Stores obj under id, growing the map when id is beyond its end, and
    // returns the object the slot held (null if it was free). A negative id
    // stores nothing and returns null.
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

    int mapSize = 0;
    GObj** slots = nullptr;
};
