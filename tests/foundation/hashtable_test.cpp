#include "Geometry/foundation/GHashtable.h"
#include "Geometry/foundation/GIdMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>
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

TEST(GHashtable, GrowsToTwiceAndOneWhenTheThresholdIsReached)
{
    GHashtable tiny = MakeTable(0);
    EXPECT_EQ(std::make_pair(tiny.GetTableSize(), tiny.GetThreshold()), std::make_pair(1, 0));
    Key k(4);
    tiny.Put(&k, &k);
    EXPECT_EQ(std::make_pair(tiny.GetTableSize(), tiny.GetThreshold()), std::make_pair(3, 2));

    GHashtable t = MakeTable(314);
    EXPECT_EQ(t.GetThreshold(), 235);
    std::vector<std::unique_ptr<Key>> keys;
    for (int i = 0; i < 236; ++i) {
        EXPECT_EQ(t.GetTableSize(), 314) << "grew before key " << i + 1;
        keys.push_back(std::make_unique<Key>(i * 1000003L - 50000000L));
        t.Put(keys.back().get(), keys.back().get());
    }
    EXPECT_EQ(std::make_pair(t.GetTableSize(), t.GetThreshold()), std::make_pair(629, 471));
    Key probe(keys[100]->hash);
    EXPECT_EQ(t.Get(&probe), keys[100].get());
    std::vector<long> seen = Walk(t);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen.size(), 236u);
    EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());
}

TEST(GHashtable, RehashAndIterationOrder)
{
    // Load factor 1 on three buckets: the fourth key grows the table to 7,
    // where all four share bucket 0. Old buckets go from the last, each
    // entry pushed on the new head; the new key lands on top.
    GHashtable t = MakeTable(3, 1.0f);
    Key a(7), b(14), c(0), d(21);
    for (Key* k : {&a, &b, &c})
        t.Put(k, k);
    EXPECT_EQ(Walk(t), (std::vector<long>{0, 7, 14}));
    t.Put(&d, &d);
    EXPECT_EQ(t.GetTableSize(), 7);
    EXPECT_EQ(Walk(t), (std::vector<long>{21, 0, 7, 14}));

    // Removing the entry next() just returned is safe.
    GHashtableIterator it(&t);
    int n = 0;
    for (; it.hasNext(); ++n)
        t.Remove(static_cast<GHashtableEntry*>(it.next())->key);
    EXPECT_EQ(n, 4);
    EXPECT_TRUE(t.IsEmpty());
}

TEST(GHashtable, PutReplacesWhilePutValueAddsNewestFirst)
{
    GHashtable t(11, HashOfKey, CompareKeys, nullptr);
    Key k1(5), k2(5), absent(99);
    GObj v1, v2, v3;
    EXPECT_EQ(t.Put(&k1, &v1), nullptr);
    EXPECT_EQ(t.Put(&k2, &v2), &v1);
    EXPECT_EQ(t.GetSize(), 1);
    EXPECT_EQ(t.GetHashEntryTable()[5]->key, &k1); // the first key object stays

    EXPECT_EQ(t.PutValue(&k2, &v3), nullptr);
    EXPECT_EQ(t.Get(&k1), &v3);
    EXPECT_EQ(t.GetValue(&k1, &v2), &v2);
    EXPECT_EQ(t.PutValue(&k1, &v2), &v2);
    EXPECT_EQ(t.GetSize(), 2);
    EXPECT_EQ(t.RemoveValue(&k1, &v2), &v2);
    EXPECT_EQ(t.Get(&k1), &v3);
    EXPECT_EQ(t.Remove(&absent), nullptr);
    EXPECT_EQ(t.GetSize(), 1);
}

TEST(GHashtable, HashesBucketsAndMissingFunctions)
{
    // Negative and wide hashes land in masked buckets: only the low 32 bits
    // count.
    GHashtable t = MakeTable(7);
    Key neg(-5), wide((1L << 32) + 5);
    t.Put(&neg, &neg);
    t.Put(&wide, &wide);
    GHashtableEntry* const* buckets = t.GetHashEntryTable();
    ASSERT_TRUE(buckets[(-5 & 0x7FFFFFFF) % 7] && buckets[5]);
    EXPECT_EQ(buckets[(-5 & 0x7FFFFFFF) % 7]->key, &neg);
    EXPECT_EQ(buckets[5]->hash, 5);
    EXPECT_EQ(t.Get(&neg), &neg);

    // No functions and bad sizes: identity keys, a load factor of 0 taken
    // as 0.75.
    GHashtable bare(-4, 0.0f, nullptr, nullptr, nullptr);
    EXPECT_EQ(bare.GetTableSize(), 1);
    std::vector<std::unique_ptr<GObj>> keys(20);
    for (auto& k : keys) {
        k = std::make_unique<GObj>();
        bare.PutValue(k.get(), k.get());
    }
    EXPECT_EQ(bare.GetSize(), 20);
    EXPECT_EQ(bare.GetTableSize(), 31);
    EXPECT_EQ(bare.RemoveValue(keys[7].get(), keys[7].get()), keys[7].get());
}

TEST(GHashtable, ClearWithValueDeletesEachValueOnceAndKeepsBuckets)
{
    GHashtable t = MakeTable(0);
    Key a(1), b(2), c(3);
    int deleted = 0;
    auto* shared = new Counted(&deleted);
    t.Put(&a, shared);
    t.Put(&b, shared);
    t.PutValue(&b, new Counted(&deleted));
    t.Put(&c, nullptr);
    const int buckets = t.GetTableSize();
    t.ClearWithValue();
    EXPECT_EQ(deleted, 2);
    EXPECT_TRUE(t.IsEmpty());
    EXPECT_EQ(t.GetTableSize(), buckets);
    EXPECT_EQ(t.Get(&a), nullptr);
}

TEST(GIdMap, GrowsShrinksAndRefusesIdsOutsideIt)
{
    GIdMap m(3);
    GObj a, b, c;
    m.Put(0, &a);
    m.Put(1, &b);
    m.Put(2, &c);
    EXPECT_EQ(m.GetFreeId(), 3);
    EXPECT_EQ(m.Put(3, &a), nullptr);
    EXPECT_EQ(m.GetMapSize(), 4);
    EXPECT_EQ(m.Put(1, &c), &b);
    EXPECT_EQ(m.Remove(0), &a);
    EXPECT_EQ(m.GetFreeId(), 0);
    m.Put(9, &a);
    EXPECT_EQ(m.GetMapSize(), 10);

    int deleted = 0;
    Counted kept(&deleted);
    m.Put(2, &kept);
    EXPECT_TRUE(m.Realloc(2));
    EXPECT_EQ(m.GetMapSize(), 2);
    EXPECT_EQ(m.Get(1), &c);
    EXPECT_EQ(deleted, 0);
    for (int id : {2, 9, -1, 1000})
        EXPECT_EQ(m.Get(id), nullptr) << id;
    EXPECT_EQ(m.Remove(2), nullptr);
    EXPECT_EQ(m.Remove(-3), nullptr);
    EXPECT_EQ(m.Put(-1, &a), nullptr);
    EXPECT_EQ(m.GetMapSize(), 2);
}

TEST(Containers, CopiesDoNotShareStorage)
{
    GHashtable t = MakeTable(3);
    Key a(1), b(4), c(2);
    GObj v1, v2;
    t.Put(&a, &v1);
    t.Put(&b, &v1);
    GHashtable copy(t);
    EXPECT_EQ(Walk(copy), Walk(t));
    copy.Put(&a, &v2);
    copy.Put(&c, &v2);
    EXPECT_EQ(t.Get(&a), &v1);
    EXPECT_EQ(t.GetSize(), 2);
    t = copy;
    copy.Clear();
    EXPECT_EQ(Walk(t), (std::vector<long>{1, 2, 4}));

    GIdMap m(2);
    m.Put(0, &v1);
    GIdMap mc(m);
    mc.Put(1, &v2);
    mc.Put(5, &v2);
    EXPECT_EQ(m.Get(1), nullptr);
    m = mc;
    mc.Clear();
    EXPECT_TRUE(m.Get(5) == &v2 && m.Get(0) == &v1);
}
