#include "Geometry/foundation/GArrayCollection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

using Tags = std::vector<unsigned long>;

// Owned objects tagged with the given numbers (or 0..n-1).
struct Items {
    explicit Items(int n)
    {
        for (int i = 0; i < n; ++i)
            objs.push_back(std::make_unique<GObj>(static_cast<unsigned long>(i)));
    }
    explicit Items(const Tags& tags)
    {
        for (unsigned long t : tags)
            objs.push_back(std::make_unique<GObj>(t));
    }
    GObj* operator[](int i) const { return objs[static_cast<std::size_t>(i)].get(); }
    // The first n items in a collection of initial size 4, increment 4.
    GArrayCollection Filled(int n) const
    {
        GArrayCollection c(4, 4);
        for (int i = 0; i < n; ++i)
            c.add((*this)[i]);
        return c;
    }
    std::vector<std::unique_ptr<GObj>> objs;
};

Tags TagsOf(const GArrayCollection& c)
{
    Tags out;
    for (int i = 0; i < c.size(); ++i)
        out.push_back(c.get(i) ? c.get(i)->tag : 999);
    return out;
}

Tags Sorted(Tags t)
{
    std::sort(t.begin(), t.end());
    return t;
}

struct Counted : GObj {
    explicit Counted(int* counter) : counter(counter) {}
    ~Counted() override { ++*counter; }
    int* counter;
};

} // namespace

TEST(GArrayCollection, RemovalMovesTheLastElementIntoTheGap)
{
    Items items(5);
    GArrayCollection c = items.Filled(5);
    c.remove(1);
    EXPECT_EQ(TagsOf(c), (Tags{0, 4, 2, 3}));
    c.add(items[2]);
    EXPECT_TRUE(c.remove(items[2])); // the later copy goes
    EXPECT_EQ(TagsOf(c), (Tags{0, 4, 2, 3}));
    EXPECT_FALSE(c.remove(items[1]));
    EXPECT_TRUE(c.index(items[3]) == 3 && c.index(items[1]) == -1 && c.contains(items[0]));

    // Removing through an iterator still visits every element once.
    Items more(7);
    GArrayCollection d = more.Filled(7);
    Tags seen;
    GArrayCollectionIterator it(&d);
    while (it.hasNext()) {
        GObj* o = it.next();
        seen.push_back(o->tag);
        if (o->tag % 2 == 0)
            it.remove();
    }
    EXPECT_EQ(Sorted(seen), (Tags{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(Sorted(TagsOf(d)), (Tags{1, 3, 5}));
}

TEST(GArrayCollection, ShiftsAndRotationKeepOrder)
{
    Items items(5);
    GArrayCollection c = items.Filled(4);
    c.ShiftLeft(1);
    EXPECT_EQ(TagsOf(c), (Tags{0, 2, 3}));
    c.ShiftRight(1);
    c.put(1, items[1]);
    EXPECT_EQ(TagsOf(c), (Tags{0, 1, 2, 3}));
    c.ShiftRight(c.size()); // appends a null slot
    EXPECT_EQ(TagsOf(c), (Tags{0, 1, 2, 3, 999}));
    c.ShiftLeft(c.size() - 1);
    c.RemoveWithShift(0);
    EXPECT_EQ(TagsOf(c), (Tags{1, 2, 3}));

    GArrayCollection r = items.Filled(5);
    r.Rotate();
    EXPECT_EQ(TagsOf(r), (Tags{4, 3, 2, 1, 0}));
    r.removeLast();
    r.Rotate(); // an even count: no middle element
    EXPECT_EQ(TagsOf(r), (Tags{1, 2, 3, 4}));
}

TEST(GArrayCollection, Growth)
{
    Items items(10);
    GArrayCollection c(4, 3);
    GObj* four[4] = {items[0], items[1], items[2], items[3]};
    EXPECT_EQ(c.add(4, four), 0); // count + n == capacity still grows
    EXPECT_EQ(c.GetCapacity(), 8);
    for (int i = 4; i < 8; ++i)
        c.add(items[i]);
    EXPECT_EQ(c.GetCapacity(), 8);
    c.add(items[8]); // grows by the increment
    EXPECT_EQ(c.GetCapacity(), 11);
    EXPECT_EQ(c.add_i(items[9]), 9);
    EXPECT_EQ(TagsOf(c), (Tags{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));

    // By the increment up to eight increments, then by half the size, so
    // filling stays amortised linear.
    GArrayCollection big(0, 4);
    for (int i = 0; i < 32; ++i)
        big.add(items[0]);
    EXPECT_EQ(big.GetCapacity(), 32);
    big.add(items[0]);
    EXPECT_EQ(big.GetCapacity(), 48);
    for (int i = 0; i < 100000; ++i)
        big.add(items[0]);
    EXPECT_LT(big.GetCapacity(), 2 * big.size());
    // Past 4 MiB of slots the array moves to mapped memory: contents
    // survive each move, a copy and a shrink to size.
    for (int i = 0; i < 700000; ++i)
        big.add(items[static_cast<std::size_t>(i % 10)]);
    GArrayCollection copy(big);
    copy.ReallocByRealSize();
    EXPECT_EQ(copy.GetCapacity(), copy.size());
    bool same = copy.size() == big.size();
    for (int i = 0; same && i < big.size(); ++i)
        same = copy.get(i) == big.get(i) && (i < 100033 || big.get(i) == items[static_cast<std::size_t>((i - 100033) % 10)]);
    EXPECT_TRUE(same);

    // An increment of 0 would never grow; an emptied array grows again.
    GArrayCollection zero(0, 0);
    zero.add(items[0]);
    zero.add(items[1]);
    EXPECT_EQ(zero.size(), 2);
    GArrayCollection shrunk(8, 2);
    shrunk.ReallocByRealSize();
    EXPECT_EQ(shrunk.GetCapacity(), 0);
    shrunk.add(items[2]);
    EXPECT_EQ(shrunk.GetCapacity(), 2);
    shrunk.ShiftRight(0);
    EXPECT_EQ(shrunk.size(), 2);
}

TEST(GArrayCollection, CopiesOwnTheirSlotsAndClearDeletesOnlyWhenAsked)
{
    Items items(3);
    GArrayCollection a(2, 2);
    a.add(items[0]);
    GArrayCollection b(a);
    b.add(items[1]);
    b.put(0, items[2]);
    EXPECT_EQ(TagsOf(a), (Tags{0}));
    GArrayCollection c;
    c = b;
    b.clear();
    EXPECT_EQ(TagsOf(c), (Tags{2, 1}));

    int deleted = 0;
    GArrayCollection owner;
    owner.add(new Counted(&deleted));
    owner.add(nullptr);
    owner.add(new Counted(&deleted));
    GArrayCollection copy(owner);
    owner.clear();
    EXPECT_EQ(deleted, 0);
    EXPECT_EQ(copy.size(), 3);
    copy.clear(true);
    EXPECT_EQ(deleted, 2);
    EXPECT_EQ(copy.size(), 0);
}

namespace {
int ByTag(const void* a, const void* b)
{
    const unsigned long ta = (*static_cast<GObj* const*>(a))->tag / 10;
    const unsigned long tb = (*static_cast<GObj* const*>(b))->tag / 10;
    return ta < tb ? -1 : ta > tb ? 1 : 0;
}
int ByTagWithContext(const void* a, const void* b, const void* ctx)
{
    EXPECT_EQ(*static_cast<const int*>(ctx), 42);
    return ByTag(a, b);
}
// A tolerant comparison: values within 1.5 compare equal. Not transitive.
int Tolerant(const void* a, const void* b, const void*)
{
    const double ta = static_cast<double>((*static_cast<GObj* const*>(a))->tag);
    const double tb = static_cast<double>((*static_cast<GObj* const*>(b))->tag);
    return ta < tb - 1.5 ? -1 : ta > tb + 1.5 ? 1 : 0;
}
} // namespace

TEST(GArrayCollection, KernelQuicksortOrderIsFixed)
{
    // Keys are tag / 10, so equal keys differ in the last digit; the exact
    // order of equal keys is the kernel sort's own and must never change.
    Items items(Tags{31, 12, 50, 11, 30, 13, 52, 10, 33, 51, 32, 14, 40});
    const Tags expected = {12, 14, 11, 13, 10, 30, 31, 33, 32, 40, 50, 51, 52};
    GArrayCollection c = items.Filled(13), d = items.Filled(13);
    const int context = 42;
    c.qsortex(ByTagWithContext, &context);
    EXPECT_EQ(TagsOf(c), expected);
    d.qsort(ByTag);
    EXPECT_EQ(TagsOf(d), expected);
}

TEST(GArrayCollection, SortStaysInBoundsWithTolerantComparisons)
{
    Tags tags;
    unsigned long x = 12345;
    for (int i = 0; i < 5000; ++i) {
        x = x * 1103515245ul + 12345ul;
        tags.push_back((x >> 16) % 50);
    }
    Items items(tags);
    GArrayCollection c = items.Filled(5000);
    c.qsortex(Tolerant, nullptr);
    std::vector<GObj*> before, after(c.toArray(), c.toArray() + c.size());
    for (auto& o : items.objs)
        before.push_back(o.get());
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(before, after); // a permutation: nothing lost or duplicated
}

TEST(GIterators, RangesAndNullCollections)
{
    Items items(5);
    GArrayCollection c = items.Filled(5);
    Tags got;
    GArrayCollectionIterator range(&c, 1, 3);
    while (range.hasNext())
        got.push_back(range.next()->tag);
    GObjArrayIterator arr(c.toArray(), 3, 5);
    while (arr.hasNext())
        got.push_back(arr.next()->tag);
    EXPECT_EQ(got, (Tags{1, 2, 3, 4}));
    EXPECT_FALSE(GArrayCollectionIterator(nullptr).hasNext());

    GArrayCollection sink;
    GObjArrayIterator all(5, c.toArray());
    sink.addIterator(&all);
    EXPECT_EQ(TagsOf(sink), (Tags{0, 1, 2, 3, 4}));
}
