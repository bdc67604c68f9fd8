#include "Geometry/foundation/GHashtable.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <unordered_set>
#include <vector>

G_DEFINE_POOL(GHashtableEntry, "GHashtableEntry", 8192)

namespace {

// Identity, for a table built without a comparison function.
int SameObject(const GObj* a, const GObj* b)
{
    if (a == b)
        return 0;
    return reinterpret_cast<std::uintptr_t>(a) < reinterpret_cast<std::uintptr_t>(b) ? -1 : 1;
}

GHashtableEntry** NewBuckets(int n)
{
    GHashtableEntry** buckets = new GHashtableEntry*[static_cast<std::size_t>(n)];
    std::memset(buckets, 0, sizeof(GHashtableEntry*) * static_cast<std::size_t>(n));
    return buckets;
}

} // namespace

// ---------------------------------------------------------------- GHashtable

GHashtable::GHashtable(int initialCapacity, float lf, GHashFunction hash, GCompareFunction kc,
                       GCompareFunction vc)
{
    Init(initialCapacity, static_cast<double>(lf), hash, kc, vc);
}

GHashtable::GHashtable(int initialCapacity, GHashFunction hash, GCompareFunction kc, GCompareFunction vc)
{
    Init(initialCapacity, 0.75, hash, kc, vc);
}

GHashtable::GHashtable(const GHashtable& other) : GObj(other) { CopyFrom(other); }

GHashtable& GHashtable::operator=(const GHashtable& other)
{
    if (this == &other)
        return *this;
    GObj::operator=(other);
    Release();
    CopyFrom(other);
    return *this;
}

GHashtable::~GHashtable() { Release(); }

void GHashtable::Init(int initialCapacity, double lf, GHashFunction hash, GCompareFunction kc,
                      GCompareFunction vc)
{
    hashFunction = hash;
    keyCompare = kc;
    valueCompare = vc;
    // A load factor that is not positive would make every insertion grow the
    // table; such a table falls back to the usual 0.75.
    loadFactor = (lf > 0.0 && std::isfinite(lf)) ? lf : 0.75;
    tableSize = initialCapacity > 0 ? initialCapacity : 1;
    table = NewBuckets(tableSize);
    size = 0;
    ComputeThreshold();
}

void GHashtable::ComputeThreshold()
{
    const double t = static_cast<double>(tableSize) * loadFactor;
    threshold = t >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(t);
}

void GHashtable::CopyFrom(const GHashtable& other)
{
    hashFunction = other.hashFunction;
    keyCompare = other.keyCompare;
    valueCompare = other.valueCompare;
    loadFactor = other.loadFactor;
    tableSize = other.tableSize;
    threshold = other.threshold;
    size = other.size;
    table = NewBuckets(tableSize);
    for (int i = 0; i < tableSize; ++i) {
        GHashtableEntry** tail = &table[i];
        for (const GHashtableEntry* e = other.table[i]; e; e = e->next) {
            *tail = new GHashtableEntry(e->key, e->value, nullptr, e->hash);
            tail = &(*tail)->next;
        }
    }
}

void GHashtable::Release()
{
    GHashtable::Clear();
    delete[] table;
    table = nullptr;
}

int GHashtable::HashOf(GObj* key) const
{
    if (!hashFunction)
        return 0;
    // The stored hash is 32 bits wide: the low half of the function's value.
    return static_cast<int>(static_cast<std::uint32_t>(hashFunction(key)));
}

int GHashtable::CompareKeys(const GObj* stored, const GObj* probe) const
{
    return keyCompare ? keyCompare(stored, probe) : SameObject(stored, probe);
}

int GHashtable::CompareValues(const GObj* stored, const GObj* probe) const
{
    return valueCompare ? valueCompare(stored, probe) : SameObject(stored, probe);
}

GObj* GHashtable::Insert(GObj* key, GObj* value, bool matchValue)
{
    const int h = HashOf(key);
    int i = BucketOf(h, tableSize);
    for (GHashtableEntry* e = table[i]; e; e = e->next) {
        if (e->hash != h || CompareKeys(e->key, key) != 0)
            continue;
        if (matchValue && CompareValues(e->value, value) != 0)
            continue;
        GObj* old = e->value;
        e->value = value;
        return old;
    }
    if (size >= threshold) {
        Rehash();
        i = BucketOf(h, tableSize);
    }
    table[i] = new GHashtableEntry(key, value, table[i], h);
    ++size;
    return nullptr;
}

GObj* GHashtable::Put(GObj* key, GObj* value) { return Insert(key, value, false); }

GObj* GHashtable::PutValue(GObj* key, GObj* value) { return Insert(key, value, true); }

// Lookups compare keys (and values) only; they do not test stored hashes.
GObj* GHashtable::Find(GObj* key, GObj* value, bool matchValue) const
{
    const int i = BucketOf(HashOf(key), tableSize);
    for (GHashtableEntry* e = table[i]; e; e = e->next) {
        if (CompareKeys(e->key, key) != 0)
            continue;
        if (matchValue && CompareValues(e->value, value) != 0)
            continue;
        return e->value;
    }
    return nullptr;
}

GObj* GHashtable::Get(GObj* key) { return Find(key, nullptr, false); }

GObj* GHashtable::GetValue(GObj* key, GObj* value) { return Find(key, value, true); }

GObj* GHashtable::Unlink(GObj* key, GObj* value, bool matchValue)
{
    const int i = BucketOf(HashOf(key), tableSize);
    for (GHashtableEntry** link = &table[i]; *link; link = &(*link)->next) {
        GHashtableEntry* e = *link;
        if (CompareKeys(e->key, key) != 0)
            continue;
        if (matchValue && CompareValues(e->value, value) != 0)
            continue;
        *link = e->next;
        --size;
        GObj* found = e->value;
        delete e;
        return found;
    }
    return nullptr;
}

GObj* GHashtable::Remove(GObj* key) { return Unlink(key, nullptr, false); }

GObj* GHashtable::RemoveValue(GObj* key, GObj* value) { return Unlink(key, value, true); }

void GHashtable::Clear()
{
    if (!table)
        return;
    for (int i = 0; i < tableSize; ++i) {
        GHashtableEntry* e = table[i];
        while (e) {
            GHashtableEntry* next = e->next;
            delete e;
            e = next;
        }
        table[i] = nullptr;
    }
    size = 0;
}

void GHashtable::ClearWithValue()
{
    // One value object may be stored under several keys (or several times
    // under one key); it is deleted once. The table is emptied before any
    // value is deleted, so a destructor that looks at the table finds it
    // empty rather than holding freed objects.
    std::vector<GObj*> values;
    values.reserve(static_cast<std::size_t>(size));
    for (int i = 0; i < tableSize; ++i)
        for (GHashtableEntry* e = table[i]; e; e = e->next)
            if (e->value)
                values.push_back(e->value);
    Clear();
    std::unordered_set<GObj*> seen;
    seen.reserve(values.size());
    for (GObj* v : values)
        if (seen.insert(v).second)
            delete v;
}

void GHashtable::Rehash()
{
    // The bucket count is a 32-bit value; a table this large stops growing
    // and lets its chains lengthen instead.
    if (tableSize > (INT_MAX - 1) / 2) {
        threshold = INT_MAX;
        return;
    }
    const int newSize = 2 * tableSize + 1;
    GHashtableEntry** fresh = NewBuckets(newSize);
    // The old buckets from the last, each entry pushed on the head of its new
    // bucket. A chain is reversed first, so that the pushes give back its
    // order: the values of one key (which share a chain, old and new) stay
    // newest first, as Get and Remove find them.
    for (int i = tableSize - 1; i >= 0; --i) {
        GHashtableEntry* e = nullptr;
        for (GHashtableEntry* r = table[i]; r;) {
            GHashtableEntry* next = r->next;
            r->next = e;
            e = r;
            r = next;
        }
        while (e) {
            GHashtableEntry* next = e->next;
            const int j = BucketOf(e->hash, newSize);
            e->next = fresh[j];
            fresh[j] = e;
            e = next;
        }
    }
    delete[] table;
    table = fresh;
    tableSize = newSize;
    ComputeThreshold();
}

// -------------------------------------------------------- GHashtableIterator

GHashtableIterator::GHashtableIterator(GHashtable* hashtable)
{
    if (!hashtable || !hashtable->GetHashEntryTable())
        return;
    tableSize = hashtable->GetTableSize();
    table = hashtable->GetHashEntryTable();
    current = table[0];
    bucketIndex = 1;
}

bool GHashtableIterator::hasNext()
{
    while (!current) {
        if (bucketIndex >= tableSize)
            return false;
        current = table[bucketIndex++];
    }
    return true;
}

GObj* GHashtableIterator::next()
{
    GHashtableEntry* e = current;
    if (e)
        current = e->next;
    return e;
}
