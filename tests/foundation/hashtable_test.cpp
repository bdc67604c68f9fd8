#include "Geometry/foundation/GHashtable.h"
#include "Geometry/foundation/GIdMap.h"
#include "Geometry/foundation/GIdentifiableObject.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
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
    const long x = static_cast<const Key*>(a)->hash, y = static_cast<const Key*>(b)->hash;
    return x == y ? 0 : (x < y ? -1 : 1);
}

// A value that counts its deletions.
struct Counted : GObj {
    explicit Counted(int* d = nullptr) : deletions(d) {}
    ~Counted() override
    {
        if (deletions)
            ++*deletions;
    }
    int* deletions;
};

// Keys in iteration order, as their hashes.
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

TEST(GHashtable, CapacityZeroHasOneBucketAndGrowsToThreeOnFirstPut)
{
    GHashtable t = MakeTable(0);
    EXPECT_EQ(t.GetTableSize(), 1);
    EXPECT_EQ(t.GetThreshold(), 0);
    Key k(4);
    GObj v;
    EXPECT_EQ(t.Put(&k, &v), nullptr);
    EXPECT_EQ(t.GetTableSize(), 3);
    EXPECT_EQ(t.GetThreshold(), 2);
    EXPECT_EQ(t.GetSize(), 1);
    EXPECT_EQ(t.Get(&k), &v);
}

TEST(GHashtable, GrowsAtThresholdAndKeepsEveryEntry)
{
    GHashtable t = MakeTable(314);
    EXPECT_EQ(t.GetThreshold(), 235);
    std::vector<std::unique_ptr<Key>> keys;
    GObj v;
    for (int i = 0; i < 236; ++i) {
        keys.push_back(std::make_unique<Key>(i * 1000003L - 50000000L));
        EXPECT_EQ(t.GetTableSize(), 314) << "grew before key " << i + 1;
        t.Put(keys.back().get(), &v);
    }
    EXPECT_EQ(t.GetTableSize(), 629);
    EXPECT_EQ(t.GetThreshold(), 471);
    EXPECT_EQ(t.GetSize(), 236);
    for (auto& k : keys) {
        Key probe(k->hash);
        EXPECT_EQ(t.Get(&probe), &v);
    }
    std::vector<long> seen = Walk(t);
    EXPECT_EQ(seen.size(), 236u);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());
}

TEST(GHashtable, RehashMovesChainsInBucketOrderLastBucketFirst)
{
    // Three buckets, load factor 1: the fourth new key grows the table to 7,
    // where all four hashes share bucket 0. Old buckets are walked from the
    // last, each entry pushed on the new head, then the new key goes on top.
    GHashtable t = MakeTable(3, 1.0f);
    Key a(7), b(14), c(0), d(21);
    GObj v;
    for (Key* k : {&a, &b, &c})
        t.Put(k, &v);
    EXPECT_EQ(Walk(t), (std::vector<long>{0, 7, 14}));
    t.Put(&d, &v);
    EXPECT_EQ(t.GetTableSize(), 7);
    EXPECT_EQ(Walk(t), (std::vector<long>{21, 0, 7, 14}));
}

TEST(GHashtable, PutReplacesWhilePutValueAddsNewestFirst)
{
    GHashtable t(11, HashOfKey, CompareKeys, nullptr);
    Key k1(5), k2(5);
    GObj v1, v2, v3;
    EXPECT_EQ(t.Put(&k1, &v1), nullptr);
    EXPECT_EQ(t.Put(&k2, &v2), &v1);
    EXPECT_EQ(t.GetSize(), 1);
    // The entry keeps the key object it was made with.
    EXPECT_EQ(t.GetHashEntryTable()[5]->key, &k1);

    EXPECT_EQ(t.PutValue(&k2, &v3), nullptr);
    EXPECT_EQ(t.GetSize(), 2);
    EXPECT_EQ(t.Get(&k1), &v3);
    EXPECT_EQ(t.GetValue(&k1, &v2), &v2);
    EXPECT_EQ(t.PutValue(&k1, &v2), &v2);  // same pair: replaced in place
    EXPECT_EQ(t.GetSize(), 2);

    EXPECT_EQ(t.RemoveValue(&k1, &v2), &v2);
    EXPECT_EQ(t.Get(&k1), &v3);
    EXPECT_EQ(t.RemoveValue(&k1, &v2), nullptr);
    EXPECT_EQ(t.Remove(&k1), &v3);
    EXPECT_TRUE(t.IsEmpty());
    Key absent(99);
    EXPECT_EQ(t.Remove(&absent), nullptr);
    EXPECT_EQ(t.GetSize(), 0);
}

TEST(GHashtable, NegativeAndWideHashesLandInMaskedBuckets)
{
    GHashtable t = MakeTable(7);
    Key neg(-5), wide((1L << 32) + 5);
    GObj v;
    t.Put(&neg, &v);
    t.Put(&wide, &v);
    const int negBucket = static_cast<int>((-5 & 0x7FFFFFFF) % 7);
    ASSERT_NE(t.GetHashEntryTable()[negBucket], nullptr);
    EXPECT_EQ(t.GetHashEntryTable()[negBucket]->key, &neg);
    // Only the low 32 bits of a hash are kept.
    ASSERT_NE(t.GetHashEntryTable()[5], nullptr);
    EXPECT_EQ(t.GetHashEntryTable()[5]->hash, 5);
    EXPECT_EQ(t.Get(&neg), &v);
}

TEST(GHashtable, IteratorReturnsEachEntryOnceAndSurvivesRemovingIt)
{
    GHashtable empty = MakeTable(5);
    EXPECT_EQ(Walk(empty), std::vector<long>{});

    GHashtable t = MakeTable(7);
    Key only(0);
    GObj v;
    t.Put(&only, &v);
    EXPECT_EQ(Walk(t), std::vector<long>{0});

    Key a(7), b(3), c(13);
    t.Put(&a, &v);
    t.Put(&b, &v);
    t.Put(&c, &v);
    EXPECT_EQ(Walk(t), (std::vector<long>{7, 0, 3, 13}));
    GHashtableIterator it(&t);
    int n = 0;
    while (it.hasNext()) {
        t.Remove(static_cast<GHashtableEntry*>(it.next())->key);
        ++n;
    }
    EXPECT_EQ(n, 4);
    EXPECT_TRUE(t.IsEmpty());
}

TEST(GHashtable, ClearKeepsBucketsAndClearWithValueDeletesEachValueOnce)
{
    GHashtable t = MakeTable(0);
    Key a(1), b(2), c(3), d(4);
    int deleted = 0;
    auto* shared = new Counted(&deleted);
    t.Put(&a, shared);
    t.Put(&b, shared);
    t.PutValue(&b, new Counted(&deleted));
    t.Put(&c, nullptr);
    t.Put(&d, new Counted(&deleted));
    const int buckets = t.GetTableSize();
    t.ClearWithValue();
    EXPECT_EQ(deleted, 3);
    EXPECT_TRUE(t.IsEmpty());
    EXPECT_EQ(t.GetTableSize(), buckets);
    EXPECT_EQ(t.Get(&a), nullptr);

    Counted kept(&deleted);
    t.Put(&a, &kept);
    t.Clear();
    EXPECT_EQ(deleted, 3);
    EXPECT_EQ(t.GetTableSize(), buckets);
}

TEST(GHashtable, CopiesOwnTheirEntries)
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
    EXPECT_EQ(t.Get(&a), &v2);
    copy.Clear();
    EXPECT_EQ(t.GetSize(), 3);
    EXPECT_EQ(Walk(t), (std::vector<long>{1, 2, 4}));
}

TEST(GHashtable, OddParametersStillGiveAWorkingTable)
{
    // Negative capacity, a load factor that is not positive, no functions.
    GHashtable t(-4, 0.0f, nullptr, nullptr, nullptr);
    EXPECT_EQ(t.GetTableSize(), 1);
    EXPECT_DOUBLE_EQ(t.GetLoadFactor(), 0.75);
    std::vector<std::unique_ptr<GObj>> keys;
    for (int i = 0; i < 20; ++i) {
        keys.push_back(std::make_unique<GObj>());
        t.PutValue(keys.back().get(), keys.back().get());
    }
    EXPECT_EQ(t.GetSize(), 20);
    EXPECT_LT(t.GetTableSize(), 100);
    EXPECT_EQ(t.Get(keys[7].get()), keys[7].get());
    EXPECT_EQ(t.RemoveValue(keys[7].get(), keys[7].get()), keys[7].get());
}

TEST(GIdMap, GrowsShrinksAndFindsFreeIds)
{
    GIdMap m(3);
    GObj a, b, c, d;
    EXPECT_EQ(m.GetFreeId(), 0);
    m.Put(0, &a);
    m.Put(1, &b);
    m.Put(2, &c);
    EXPECT_EQ(m.GetFreeId(), 3);
    EXPECT_EQ(m.Put(3, &d), nullptr);
    EXPECT_EQ(m.GetMapSize(), 4);
    EXPECT_EQ(m.Put(1, &d), &b);
    EXPECT_EQ(m.Remove(0), &a);
    EXPECT_EQ(m.GetFreeId(), 0);

    EXPECT_EQ(m.Put(9, &a), nullptr);
    EXPECT_EQ(m.GetMapSize(), 10);
    EXPECT_EQ(m.Get(9), &a);
    EXPECT_EQ(m.Get(5), nullptr);

    int deleted = 0;
    Counted kept(&deleted);
    m.Put(2, &kept);
    EXPECT_TRUE(m.Realloc(2));
    EXPECT_EQ(m.GetMapSize(), 2);
    EXPECT_EQ(m.Get(1), &d);
    EXPECT_EQ(m.Get(2), nullptr);
    EXPECT_EQ(deleted, 0);

    m.Clear();
    EXPECT_EQ(m.GetMapSize(), 2);
    EXPECT_EQ(m.Get(1), nullptr);
}

TEST(GIdMap, IdsOutsideTheMapAreRefused)
{
    GIdMap m(4);
    GObj a;
    m.Put(3, &a);
    EXPECT_EQ(m.Get(4), nullptr);
    EXPECT_EQ(m.Get(-1), nullptr);
    EXPECT_EQ(m.Remove(1000), nullptr);
    EXPECT_EQ(m.Remove(-3), nullptr);
    EXPECT_EQ(m.Put(-1, &a), nullptr);
    EXPECT_EQ(m.GetMapSize(), 4);
    EXPECT_EQ(m.Get(3), &a);

    GIdMap empty(0);
    EXPECT_EQ(empty.GetFreeId(), 0);
    EXPECT_EQ(empty.Get(0), nullptr);
    empty.Put(0, &a);
    EXPECT_EQ(empty.GetMapSize(), 1);
}

TEST(GIdMap, CopiesOwnTheirSlots)
{
    GIdMap m(2);
    GObj a, b;
    m.Put(0, &a);
    GIdMap copy(m);
    copy.Put(1, &b);
    copy.Put(5, &b);
    EXPECT_EQ(m.Get(1), nullptr);
    EXPECT_EQ(m.GetMapSize(), 2);
    m = copy;
    copy.Clear();
    EXPECT_EQ(m.Get(5), &b);
    EXPECT_EQ(m.Get(0), &a);
}

TEST(GIdentifiableObject, IdTravelsWithCopies)
{
    GIdentifiableObject o;
    EXPECT_EQ(o.GetId(), -1);
    o.SetId(42);
    GIdentifiableObject copy(o);
    EXPECT_EQ(copy.GetId(), 42);
    GIdentifiableObject other;
    other = o;
    EXPECT_EQ(other.GetId(), 42);
}
