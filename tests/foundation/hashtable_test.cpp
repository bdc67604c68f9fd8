#include "Geometry/foundation/GHashtable.h"
#include "Geometry/foundation/GIdMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <random>
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

TEST(GHashtable, GrowthKeepsAKeysValuesNewestFirst)
{
    // Two values of one key, then a new key that grows the table: the newer
    // value is still the one found and removed first.
    GHashtable t = MakeTable(2, 1.0f);
    Key k(3), other(8);
    GObj a, b;
    t.PutValue(&k, &a);
    t.PutValue(&k, &b);
    t.Put(&other, &other);
    ASSERT_GT(t.GetTableSize(), 1);
    EXPECT_EQ(t.Get(&k), &b);
    EXPECT_EQ(t.Remove(&k), &b);
    EXPECT_EQ(t.Get(&k), &a);
}

TEST(GHashtable, RandomOperationsMatchAMultimapModelIncludingValueOrder)
{
    // Keys are numbers with colliding, negative and wider than 32-bit hashes;
    // equal numbers are equal keys held in distinct objects. The model keeps
    // each key's values newest first, as Get and Remove must find them.
    std::deque<Key> keyObjects;
    std::vector<std::unique_ptr<GObj>> values(40);
    for (auto& v : values)
        v = std::make_unique<GObj>();
    auto indexOf = [&](GObj* v) {
        for (size_t i = 0; i < values.size(); ++i)
            if (values[i].get() == v)
                return static_cast<int>(i);
        return -1;
    };
    for (unsigned seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> op(0, 9), keyNo(0, 60), valueNo(0, 39);
        const float loads[] = {0.5f, 0.75f, 1.0f, 3.0f};
        GHashtable t(static_cast<int>(seed % 4), loads[seed % 4], HashOfKey, CompareKeys, nullptr);
        std::map<long, std::vector<int>> model;
        auto keyFor = [&](int n) {
            // Colliding low bits, sign and high bits vary with n.
            keyObjects.emplace_back((n % 2 ? -1L : 1L) * (n / 3) * 7 + (n % 5 == 0 ? (1L << 33) : 0));
            return &keyObjects.back();
        };
        int size = 0;
        for (int step = 0; step < 30000; ++step) {
            Key* k = keyFor(keyNo(rng));
            const int v = valueNo(rng);
            std::vector<int>& vs = model[k->hash];
            const auto at = std::find(vs.begin(), vs.end(), v);
            switch (op(rng)) {
            case 0:
            case 1: {
                GObj* old = t.Put(k, values[static_cast<size_t>(v)].get());
                if (vs.empty()) {
                    ASSERT_EQ(old, nullptr);
                    vs.push_back(v);
                    ++size;
                } else {
                    ASSERT_EQ(indexOf(old), vs.front());
                    vs.front() = v;
                }
                break;
            }
            case 2:
            case 3: {
                GObj* old = t.PutValue(k, values[static_cast<size_t>(v)].get());
                ASSERT_EQ(indexOf(old), at == vs.end() ? -1 : v);
                if (at == vs.end()) {
                    vs.insert(vs.begin(), v);
                    ++size;
                }
                break;
            }
            case 4:
                ASSERT_EQ(indexOf(t.Get(k)), vs.empty() ? -1 : vs.front());
                break;
            case 5:
                ASSERT_EQ(indexOf(t.GetValue(k, values[static_cast<size_t>(v)].get())), at == vs.end() ? -1 : v);
                break;
            case 6:
            case 7:
                ASSERT_EQ(indexOf(t.Remove(k)), vs.empty() ? -1 : vs.front());
                if (!vs.empty()) {
                    vs.erase(vs.begin());
                    --size;
                }
                break;
            case 8:
                ASSERT_EQ(indexOf(t.RemoveValue(k, values[static_cast<size_t>(v)].get())), at == vs.end() ? -1 : v);
                if (at != vs.end()) {
                    vs.erase(at);
                    --size;
                }
                break;
            default:
                if (step % 97 == 0) {
                    t.Clear();
                    model.clear();
                    size = 0;
                }
            }
            ASSERT_EQ(t.GetSize(), size);
            ASSERT_EQ(t.GetThreshold(), static_cast<int>(t.GetTableSize() * t.GetLoadFactor()));
            if (step % 500 != 0)
                continue;
            // The whole table: every entry in its bucket, and each key's
            // values in the model's order.
            std::map<long, std::vector<int>> seen;
            std::vector<GHashtableEntry*> walked;
            for (int b = 0; b < t.GetTableSize(); ++b)
                for (GHashtableEntry* e = t.GetHashEntryTable()[b]; e; e = e->next) {
                    const long h = static_cast<Key*>(e->key)->hash;
                    ASSERT_EQ(e->hash, static_cast<int>(h));
                    ASSERT_EQ(GHashtable::BucketOf(e->hash, t.GetTableSize()), b);
                    seen[h].push_back(indexOf(e->value));
                    walked.push_back(e);
                }
            GHashtableIterator it(&t);
            for (GHashtableEntry* e : walked)
                ASSERT_TRUE(it.hasNext() && it.next() == e);
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
    EXPECT_EQ(m.GetFreeId(), 200000);
    // Shrinking gives the memory back, and what grows again comes back free.
    ASSERT_TRUE(m.Realloc(10));
    EXPECT_EQ(m.Capacity(), 10);
    EXPECT_EQ(m.Put(11, &x), nullptr);
    EXPECT_EQ(m.GetMapSize(), 12);
    EXPECT_EQ(m.Get(10), nullptr);
    EXPECT_EQ(m.GetFreeId(), 10);
    ASSERT_TRUE(m.Realloc(40));
    for (int id = 12; id < 40; ++id)
        EXPECT_EQ(m.Get(id), nullptr) << id;
}

TEST(GIdMap, RandomOperationsMatchAStdMap)
{
    std::vector<std::unique_ptr<GObj>> objs(16);
    for (auto& o : objs)
        o = std::make_unique<GObj>();
    for (unsigned seed : {11u, 12u, 13u, 14u}) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> op(0, 19), obj(0, 15), near(-2, 40);
        GIdMap m(static_cast<int>(seed % 3));
        std::map<int, GObj*> model;
        int size = static_cast<int>(seed % 3);
        int sequential = 0;
        for (int step = 0; step < 30000; ++step) {
            // Ids mostly near the end of the map, some far beyond, some in
            // sequence.
            int id = near(rng) + (op(rng) < 10 ? size - 20 : 0);
            if (step % 7 == 0)
                id = sequential++;
            GObj* o = objs[static_cast<size_t>(obj(rng))].get();
            const int which = op(rng);
            if (which < 8) {
                auto it = model.find(id);
                GObj* old = m.Put(id, o);
                ASSERT_EQ(old, id >= 0 && it != model.end() ? it->second : nullptr);
                if (id >= 0) {
                    model[id] = o;
                    size = std::max(size, id + 1);
                }
            } else if (which < 12) {
                auto it = model.find(id);
                ASSERT_EQ(m.Remove(id), it != model.end() ? it->second : nullptr);
                if (it != model.end())
                    model.erase(it);
            } else if (which < 18) {
                auto it = model.find(id);
                ASSERT_EQ(m.Get(id), it != model.end() ? it->second : nullptr);
            } else if (which == 18 && step % 5 == 0) {
                const int n = std::max(0, id);
                ASSERT_TRUE(m.Realloc(n));
                model.erase(model.lower_bound(n), model.end());
                size = n;
                sequential = std::min(sequential, n);
            } else if (step % 301 == 0) {
                m.Clear();
                model.clear();
            }
            ASSERT_EQ(m.GetMapSize(), size);
            int free = 0;
            while (model.count(free))
                ++free;
            ASSERT_EQ(m.GetFreeId(), std::min(free, size));
        }
    }
}
