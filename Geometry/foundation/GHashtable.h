#pragma once
// Chained hash table of GObj pointers whose hashing and equality are plain
// functions supplied by the caller, so any GObj can serve as a key. Besides
// the one-value-per-key operations (Put, Get, Remove) a second family
// (PutValue, GetValue, RemoveValue) uses it as a multimap: one key may carry
// several values, the most recently added found first.
//
// Neither keys nor values are owned; only ClearWithValue deletes values.

#include "Geometry/foundation/GCollection.h"
#include "Geometry/foundation/GHeap.h"

typedef long (*GHashFunction)(const GObj* key);
// Returns 0 when the two objects are equal. Called as (stored, probe).
typedef int (*GCompareFunction)(const GObj* stored, const GObj* probe);

// One stored pair. Entries are GObjs so that the iterator can hand them out
// through the GIterator interface; the caller reads key and value.
class GHashtableEntry : public GObj {
    G_DECLARE_POOL(GHashtableEntry)
public:
    GHashtableEntry(GObj* k, GObj* v, GHashtableEntry* n, int h) : key(k), value(v), next(n), hash(h) {}

    GObj* key;
    GObj* value;
    GHashtableEntry* next;
    int hash;  // as the hash function returned it (low 32 bits), before masking
};

class GHashtable : public GObj {
public:
    GHashtable(int initialCapacity, float loadFactor, GHashFunction hash, GCompareFunction keyCompare,
               GCompareFunction valueCompare);
    GHashtable(int initialCapacity, GHashFunction hash, GCompareFunction keyCompare,
               GCompareFunction valueCompare);
    // A copy gets bucket array and entries of its own, in the same buckets and
    // chain order as the source; keys and values are shared.
    GHashtable(const GHashtable& other);
    GHashtable& operator=(const GHashtable& other);
    ~GHashtable() override;

    // Stores value under key. Returns the value replaced, or null when a new
    // entry was made (the entry keeps the key object it was created with).
    virtual GObj* Put(GObj* key, GObj* value);
    // Multimap insertion: replaces only an entry whose key and value both
    // match; otherwise adds an entry at the head of the bucket.
    virtual GObj* PutValue(GObj* key, GObj* value);
    virtual GObj* Get(GObj* key);
    virtual GObj* GetValue(GObj* key, GObj* value);
    // Unlinks and frees the first matching entry and returns its value.
    virtual GObj* Remove(GObj* key);
    virtual GObj* RemoveValue(GObj* key, GObj* value);
    // Frees every entry; the bucket array keeps its size.
    virtual void Clear();
    // As Clear, and deletes each distinct non-null value once. Keys are never
    // deleted.
    virtual void ClearWithValue();

    int GetSize() const { return size; }
    int GetTableSize() const { return tableSize; }
    bool IsEmpty() const { return size == 0; }
    GHashtableEntry** GetHashEntryTable() const { return table; }
    int GetThreshold() const { return threshold; }
    double GetLoadFactor() const { return loadFactor; }

    // The bucket of a hash in a table of tableSize buckets: the sign bit is
    // masked off first, so the index is never negative.
    static int BucketOf(int hash, int tableSize) { return (hash & 0x7FFFFFFF) % tableSize; }

protected:
    void Init(int initialCapacity, double loadFactor, GHashFunction hash, GCompareFunction keyCompare,
              GCompareFunction valueCompare);
    // Grows to 2 * tableSize + 1 buckets, moving (never reallocating) entries;
    // the entries of one chain keep their order (a key's values stay newest first).
    void Rehash();

    int HashOf(GObj* key) const;
    int CompareKeys(const GObj* stored, const GObj* probe) const;
    int CompareValues(const GObj* stored, const GObj* probe) const;
    GObj* Insert(GObj* key, GObj* value, bool matchValue);
    GObj* Find(GObj* key, GObj* value, bool matchValue) const;
    GObj* Unlink(GObj* key, GObj* value, bool matchValue);
    void CopyFrom(const GHashtable& other);
    void Release();
    void ComputeThreshold();

    GHashFunction hashFunction = nullptr;
    GCompareFunction keyCompare = nullptr;
    GCompareFunction valueCompare = nullptr;
    GHashtableEntry** table = nullptr;
    int tableSize = 0;
    int size = 0;
    int threshold = 0;
    double loadFactor = 0.75;
};

// Walks a table's entries: buckets in ascending index, each chain from head
// to tail. next() returns a GHashtableEntry. The iterator reads the bucket
// array as it is at construction: a Put that grows the table invalidates it.
// Removing the entry next() just returned is safe, since next() has already
// moved past it.
class GHashtableIterator : public GIterator {
public:
    explicit GHashtableIterator(GHashtable* hashtable);
    ~GHashtableIterator() override = default;

    bool hasNext() override;
    GObj* next() override;

protected:
    int tableSize = 0;
    GHashtableEntry** table = nullptr;
    int bucketIndex = 0;
    GHashtableEntry* current = nullptr;
};
