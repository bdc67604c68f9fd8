#include "Geometry/foundation/GHashtable.h"
#include "Geometry/foundation/GIdMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <random>
#include <vector>

namespace {

// A key whose hash is chosen by the test; keys with equal numbers are equal.
struct Key : GObj {
    explicit Key(long h) : hash(h) {}
    long hash;
};

long HashOfKey(const GObj* k) { return static_cast<const Key*>(k)->hash; }
int CompareKeys(const GObj* a, const GObj* b)
{
    return static_cast<const Key*>(a)->hash == static_cast<const Key*>(b)->hash ? 0 : 1;
}

struct Counted : GObj {
    explicit Counted(int* d) : deletions(d) {}
    ~Counted() override { ++*deletions; }
    int* deletions;
};

// Key hashes in iteration order.
std::vector<long> Walk(GHashtable& t)
{
    std::vector<long> order;
    GHashtableIterator it(&t);
    while (it.hasNext())
        order.push_back(static_cast<Key*>(static_cast<GHashtableEntry*>(it.next())->key)->hash);
    return order;
}

GHashtable MakeTable(int capacity, float loadFactor = 0.75f)
{
    return GHashtable(capacity, loadFactor, HashOfKey, CompareKeys, nullptr);
}

} // namespace

TEST(GHashtable, RehashAndIterationOrder)
{
    // Load factor 1 on three buckets: the fourth key grows the table to 7,
    // where all four share bucket 0. Old buckets go from the last, each
    // entry pushed on the new head; the new key lands on top. The order
    // within a bucket is what the random test leaves open.
    GHashtable t = MakeTable(3, 1.0f);
    Key a(7), b(14), c(0), d(21);
    for (Key* key : {&a, &b, &c, &d})
        t.Put(key, key);
    EXPECT_EQ(Walk(t), (std::vector<long>{21, 0, 7, 14}));

    // Removing the entry next() just returned is safe.
    GHashtableIterator it(&t);
    int n = 0;
    for (; it.hasNext(); ++n)
        t.Remove(static_cast<GHashtableEntry*>(it.next())->key);
    EXPECT_EQ(n, 4);
    EXPECT_TRUE(t.IsEmpty());
}

TEST(GHashtable, KeysStayTablesWithoutFunctionsAndClearWithValue)
{
    // Put replaces the value, not the key object first stored.
    GHashtable t(11, HashOfKey, CompareKeys, nullptr);
    Key k1(5), k2(5);
    GObj v1, v2;
    EXPECT_EQ(t.Put(&k1, &v1), nullptr);
    EXPECT_EQ(t.Put(&k2, &v2), &v1);
    EXPECT_EQ(t.GetHashEntryTable()[5]->key, &k1);

    // No functions and bad sizes: identity keys, a load factor of 0 taken
    // as 0.75.
    GHashtable bare(-4, 0.0f, nullptr, nullptr, nullptr);
    EXPECT_EQ(bare.GetTableSize(), 1);
    std::deque<GObj> keys(20);
    for (GObj& key : keys)
        bare.PutValue(&key, &key);
    EXPECT_EQ(bare.GetSize(), 20);
    EXPECT_EQ(bare.GetTableSize(), 31);
    EXPECT_EQ(bare.RemoveValue(&keys[7], &keys[7]), &keys[7]);

    // Each distinct value deleted once.
    GHashtable owner = MakeTable(0);
    Key a(1), b(2), c(3);
    int deleted = 0;
    auto* shared = new Counted(&deleted);
    owner.Put(&a, shared);
    owner.Put(&b, shared);
    owner.PutValue(&b, new Counted(&deleted));
    owner.Put(&c, nullptr);
    owner.ClearWithValue();
    EXPECT_EQ(deleted, 2);
    EXPECT_TRUE(owner.IsEmpty());
    EXPECT_EQ(owner.Get(&a), nullptr);
}

TEST(GHashtable, RandomOperationsMatchAMultimapModelIncludingValueOrder)
{
    // Keys are numbers with colliding, negative and wider than 32-bit hashes;
    // equal numbers are equal keys held in distinct objects. The model keeps
    // each key's values newest first, as Get and Remove must find them. The
    // table grows to twice and one buckets once the threshold is passed.
    // A copy taken now and then, the original cleared and the copy assigned
    // back, must carry on as the original.
    std::deque<Key> keyObjects;
    std::deque<GObj> values; // value i is tagged i
    for (unsigned long i = 0; i < 40; ++i)
        values.emplace_back(i);
    auto indexOf = [](GObj* v) { return v ? static_cast<int>(v->tag) : -1; };
    for (unsigned seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> op(0, 9), keyNo(0, 60), valueNo(0, 39);
        const float loads[] = {0.5f, 0.75f, 1.0f, 3.0f};
        GHashtable t(static_cast<int>(seed % 4), loads[seed % 4], HashOfKey, CompareKeys, nullptr);
        std::map<long, std::vector<int>> model;
        int size = 0;
        for (int step = 0; step < 30000; ++step) {
            // Colliding low bits, sign and high bits vary with n.
            const int n = keyNo(rng), v = valueNo(rng);
            keyObjects.emplace_back((n % 2 ? -1L : 1L) * (n / 3) * 7 + (n % 5 == 0 ? (1L << 33) : 0));
            Key* k = &keyObjects.back();
            std::vector<int>& vs = model[k->hash];
            const auto at = std::find(vs.begin(), vs.end(), v);
            const int front = vs.empty() ? -1 : vs.front(), found = at == vs.end() ? -1 : v;
            const int buckets = t.GetTableSize(), threshold = t.GetThreshold();
            const int what = op(rng);
            long gone = -1; // the position in vs of the value taken out
            if (what < 2) {
                ASSERT_EQ(indexOf(t.Put(k, &values[v])), front);
                if (vs.empty())
                    ++size;
                vs.resize(std::max<std::size_t>(vs.size(), 1));
                vs.front() = v;
            } else if (what < 4) {
                ASSERT_EQ(indexOf(t.PutValue(k, &values[v])), found);
                if (found < 0) {
                    vs.insert(vs.begin(), v);
                    ++size;
                }
            } else if (what == 4) {
                ASSERT_EQ(indexOf(t.Get(k)), front);
                ASSERT_EQ(indexOf(t.GetValue(k, &values[v])), found);
            } else if (what < 7) {
                ASSERT_EQ(indexOf(t.Remove(k)), front);
                gone = front >= 0 ? 0 : -1;
            } else if (what < 9) {
                ASSERT_EQ(indexOf(t.RemoveValue(k, &values[v])), found);
                gone = found >= 0 ? at - vs.begin() : -1;
            } else if (step % 97 == 0) {
                t.Clear();
                model.clear();
                size = 0;
            } else if (step % 7 == 0) {
                // A copy owns its buckets: clearing one leaves the other.
                GHashtable copy(t);
                t.Clear();
                t = copy;
                copy.Clear();
            }
            if (gone >= 0) {
                vs.erase(vs.begin() + gone);
                --size;
            }
            ASSERT_EQ(t.GetSize(), size);
            const bool grew = t.GetTableSize() == 2 * buckets + 1 && size > threshold;
            ASSERT_TRUE(t.GetTableSize() == buckets || grew);
            ASSERT_LE(size, t.GetThreshold());
            if (step % 500 != 0)
                continue;
            // The whole table: every entry in the bucket of the low 32 bits
            // of its hash, the iterator in bucket order, and each key's
            // values in the model's order.
            std::map<long, std::vector<int>> seen;
            GHashtableIterator it(&t);
            for (int b = 0; b < t.GetTableSize(); ++b)
                for (GHashtableEntry* e = t.GetHashEntryTable()[b]; e; e = e->next) {
                    const long h = static_cast<Key*>(e->key)->hash;
                    ASSERT_EQ(e->hash, static_cast<int>(h));
                    ASSERT_EQ((static_cast<int>(h) & 0x7FFFFFFF) % t.GetTableSize(), b);
                    seen[h].push_back(indexOf(e->value));
                    ASSERT_TRUE(it.hasNext() && it.next() == e);
                }
            ASSERT_FALSE(it.hasNext());
            for (auto& kv : model) {
                if (!kv.second.empty()) {
                    ASSERT_EQ(seen[kv.first], kv.second) << kv.first;
                }
            }
        }
        keyObjects.clear();
    }
}

namespace {

// Counts the slot arrays an id map goes through.
struct CountingIdMap : GIdMap {
    GObj* const* Slots() const { return slots; }
    int Capacity() const { return capacity; }
};

} // namespace

TEST(GIdMap, SequentialIdsGrowTheArrayGeometrically)
{
    CountingIdMap m;
    GObj x;
    int arrays = 0;
    const GObj* const* last = m.Slots();
    for (int id = 0; id < 200000; ++id) {
        ASSERT_EQ(m.Put(id, &x), nullptr);
        ASSERT_EQ(m.GetMapSize(), std::max(256, id + 1));
        if (m.Slots() != last) {
            ++arrays;
            last = m.Slots();
        }
    }
    EXPECT_LE(arrays, 30);
    // Shrinking gives the memory back.
    ASSERT_TRUE(m.Realloc(10));
    EXPECT_EQ(m.Capacity(), 10);
}

// Ids mostly near the end of the map, some far beyond, some negative, some
// in sequence; shrinking and clearing between.
TEST(GIdMap, RandomOperationsMatchAStdMap)
{
    std::deque<GObj> objs(16);
    for (unsigned seed : {11u, 12u, 13u, 14u}) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> op(0, 19), obj(0, 15), near(-2, 40);
        GIdMap m(static_cast<int>(seed % 3));
        std::map<int, GObj*> model;
        int size = static_cast<int>(seed % 3);
        int sequential = 0;
        for (int step = 0; step < 30000; ++step) {
            int id = near(rng) + (op(rng) < 10 ? size - 20 : 0);
            if (step % 7 == 0)
                id = sequential++;
            GObj* o = &objs[obj(rng)];
            const int which = op(rng);
            const auto it = model.find(id);
            GObj* const held = it != model.end() ? it->second : nullptr;
            if (which < 8) {
                ASSERT_EQ(m.Put(id, o), held);
                if (id >= 0) {
                    model[id] = o;
                    size = std::max(size, id + 1);
                }
            } else if (which < 12) {
                ASSERT_EQ(m.Remove(id), held);
                model.erase(id);
            } else if (which < 18) {
                ASSERT_EQ(m.Get(id), held);
            } else if (which == 18 && step % 5 == 0) {
                const int n = std::max(0, id);
                ASSERT_TRUE(m.Realloc(n));
                model.erase(model.lower_bound(n), model.end());
                size = n;
                sequential = std::min(sequential, n);
            } else if (step % 301 == 0) {
                m.Clear();
                model.clear();
            } else if (step % 11 == 0) {
                // A copy owns its slots: clearing one leaves the other.
                GIdMap copy(m);
                m.Clear();
                m = copy;
                copy.Clear();
            }
            ASSERT_EQ(m.GetMapSize(), size);
            int free = 0;
            while (model.count(free))
                ++free;
            ASSERT_EQ(m.GetFreeId(), std::min(free, size));
        }
    }
}
