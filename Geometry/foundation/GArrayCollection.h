#pragma once
// The kernel's one container: a growable array of GObj pointers that does not
// own its elements. Removal by position moves the last element into the gap
// unless a shifting variant is used; searches run from the end.

#include "Geometry/foundation/GCollection.h"
#include "Geometry/foundation/GHeap.h"

class GArrayCollection : public GCollection {
    G_DECLARE_POOL(GArrayCollection)
public:
    GArrayCollection();
    GArrayCollection(int initialCapacity, int increment);
    // Copies get a slot array of their own (the elements are shared, as
    // they are never owned).
    GArrayCollection(const GArrayCollection& other);
    GArrayCollection& operator=(const GArrayCollection& other);
    ~GArrayCollection() override;

    int size() override { return count; }
    int size() const { return count; }
    void size(int n) { count = n; }
    bool isEmpty() override { return count == 0; }
    bool contains(GObj* obj) override { return index(obj) >= 0; }
    GObj** toArray() override { return items; }
    void add(GObj* obj) override;
    int add_i(GObj* obj);
    virtual int add(int n, GObj** array);
    bool remove(GObj* obj) override;
    void remove(int i);
    void clear() override { count = 0; }
    void clear(bool deleteElements);

    GObj* get(int i) const { return items[i]; }
    void put(int i, GObj* obj) { items[i] = obj; }
    GObj* getFirst() const { return items[0]; }
    GObj* getLast() const { return items[count - 1]; }
    void removeLast() { --count; }
    int index(GObj* obj) const;

    void ShiftLeft(int i);
    void RemoveWithShift(int i) { ShiftLeft(i); }
    void ShiftRight(int i);
    void Rotate();
    void ReallocByRealSize();

    // Both sorts use the kernel's own quicksort (middle element as pivot,
    // selection short-sort for 8 or fewer, not stable), so results never
    // depend on the platform's C library. It stays within bounds even for a
    // comparison that is not a strict ordering (tolerant comparisons).
    // The comparison receives the addresses of two slots.
    void qsort(int (*compare)(const void*, const void*));
    void qsortex(int (*compare)(const void*, const void*, const void*), const void* context);

    int GetCapacity() const { return capacity; }
    int GetIncrement() const { return increment; }
    int GetInitialCapacity() const { return initialCapacity; }

protected:
    void init(int initialCapacity, int increment);
    void finit();
    void reallocList(int n);

    int count = 0;
    int initialCapacity = 0;
    int capacity = 0;
    int increment = 0;
    GObj** items = nullptr;
};

// Sorts `n` pointers with the kernel's quicksort. `less`-style is not used:
// `compare(a, b)` receives the addresses of two slots and returns <0, 0, >0.
void GSortPointers(GObj** array, int n, int (*compare)(const void*, const void*, const void*),
                   const void* context);

class GArrayCollectionIterator : public GIterator {
public:
    GArrayCollectionIterator() = default;
    explicit GArrayCollectionIterator(GCollection* c) { init(c); }
    using GIterator::init;
    GArrayCollectionIterator(GCollection* c, int from, int to) { init(c, from, to); }

    void init(GCollection* c) override;
    void init(GCollection* c, int from, int to);
    bool hasNext() override { return position < end; }
    GObj* next() override { return array[position++]; }
    // Removes the element just returned; the last element moves into its
    // slot and is returned by the next call of next().
    void remove() override;

protected:
    GCollection* collection = nullptr;
    int position = 0;
    int end = 0;
    GObj** array = nullptr;
};

class GObjArrayIterator : public GIterator {
public:
    GObjArrayIterator() = default;
    GObjArrayIterator(int count, GObj** array) { init(count, array); }
    GObjArrayIterator(GObj** array, int from, int to) { init(array, from, to); }
    using GIterator::init;

    void init(int count, GObj** arr)
    {
        position = 0;
        end = count;
        array = arr;
    }
    void init(GObj** arr, int from, int to)
    {
        position = from;
        end = to;
        array = arr;
    }
    bool hasNext() override { return position < end; }
    GObj* next() override { return array[position++]; }

protected:
    int position = 0;
    int end = 0;
    GObj** array = nullptr;
};
