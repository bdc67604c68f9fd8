#include "Geometry/foundation/GArrayCollection.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <vector>

namespace {

// A fixed set of tagged objects to store in collections.
struct Items {
    explicit Items(int n)
    {
        for (int i = 0; i < n; ++i)
            objs.push_back(std::make_unique<GObj>(static_cast<unsigned long>(i)));
    }
    GObj* operator[](int i) const { return objs[static_cast<std::size_t>(i)].get(); }
    std::vector<std::unique_ptr<GObj>> objs;
};

std::vector<unsigned long> Tags(const GArrayCollection& c)
{
    std::vector<unsigned long> out;
    for (int i = 0; i < c.size(); ++i)
        out.push_back(c.get(i) ? c.get(i)->tag : 999);
    return out;
}

GArrayCollection* Filled(const Items& items, int n)
{
    auto* c = new GArrayCollection(4, 4);
    for (int i = 0; i < n; ++i)
        c->add(items[i]);
    return c;
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
    std::unique_ptr<GArrayCollection> c(Filled(items, 5));
    c->remove(1);
    EXPECT_EQ(Tags(*c), (std::vector<unsigned long>{0, 4, 2, 3}));
    c->add(items[2]);
    EXPECT_TRUE(c->remove(items[2])); // the later copy goes
    EXPECT_EQ(Tags(*c), (std::vector<unsigned long>{0, 4, 2, 3}));
    EXPECT_FALSE(c->remove(items[1]));
    EXPECT_EQ(c->index(items[3]), 3);
    EXPECT_EQ(c->index(items[1]), -1);
    EXPECT_TRUE(c->contains(items[0]));
}

TEST(GArrayCollection, IteratorRemovalVisitsEveryElementOnce)
{
    Items items(7);
    std::unique_ptr<GArrayCollection> c(Filled(items, 7));
    std::multiset<unsigned long> seen;
    GArrayCollectionIterator it(c.get());
    while (it.hasNext()) {
        GObj* o = it.next();
        seen.insert(o->tag);
        if (o->tag % 2 == 0)
            it.remove();
    }
    EXPECT_EQ(seen, (std::multiset<unsigned long>{0, 1, 2, 3, 4, 5, 6}));
    const std::vector<unsigned long> remaining = Tags(*c);
    std::multiset<unsigned long> left(remaining.begin(), remaining.end());
    EXPECT_EQ(left, (std::multiset<unsigned long>{1, 3, 5}));
}

TEST(GArrayCollection, ShiftsKeepOrder)
{
    Items items(4);
    std::unique_ptr<GArrayCollection> c(Filled(items, 4));
    c->ShiftLeft(1);
    EXPECT_EQ(Tags(*c), (std::vector<unsigned long>{0, 2, 3}));
    c->ShiftRight(1);
    c->put(1, items[1]);
    EXPECT_EQ(Tags(*c), (std::vector<unsigned long>{0, 1, 2, 3}));
    c->ShiftRight(c->size()); // appends a null slot
    EXPECT_EQ(c->size(), 5);
    EXPECT_EQ(c->getLast(), nullptr);
    c->ShiftLeft(c->size() - 1);
    EXPECT_EQ(Tags(*c), (std::vector<unsigned long>{0, 1, 2, 3}));
    c->RemoveWithShift(0);
    EXPECT_EQ(Tags(*c), (std::vector<unsigned long>{1, 2, 3}));
}

TEST(GArrayCollection, RotateReversesAndKeepsTheMiddle)
{
    Items items(5);
    std::unique_ptr<GArrayCollection> c(Filled(items, 5));
    c->Rotate();
    EXPECT_EQ(Tags(*c), (std::vector<unsigned long>{4, 3, 2, 1, 0}));
    c->removeLast();
    c->Rotate();
    EXPECT_EQ(Tags(*c), (std::vector<unsigned long>{1, 2, 3, 4}));
}

TEST(GArrayCollection, GrowthAtExactCapacity)
{
    Items items(10);
    GArrayCollection c(4, 3);
    GObj* four[4] = {items[0], items[1], items[2], items[3]};
    EXPECT_EQ(c.add(4, four), 0); // count + n == capacity still grows
    EXPECT_EQ(c.GetCapacity(), 8);
    c.add(items[4]);
    c.add(items[5]);
    c.add(items[6]);
    c.add(items[7]);
    EXPECT_EQ(c.GetCapacity(), 8);
    c.add(items[8]); // grows by the increment
    EXPECT_EQ(c.GetCapacity(), 11);
    EXPECT_EQ(c.add_i(items[9]), 9);
    EXPECT_EQ(Tags(c), (std::vector<unsigned long>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST(GArrayCollection, LargeCollectionsGrowGeometrically)
{
    GObj o;
    GArrayCollection c(0, 4);
    for (int i = 0; i < 32; ++i)
        c.add(&o);
    EXPECT_EQ(c.GetCapacity(), 32); // by the increment up to eight increments
    c.add(&o);
    EXPECT_EQ(c.GetCapacity(), 48); // then by half the size
    for (int i = 0; i < 100000; ++i)
        c.add(&o);
    EXPECT_LT(c.GetCapacity(), 2 * c.size());
}

TEST(GArrayCollection, ZeroCapacityCollectionsGrow)
{
    Items items(3);
    GArrayCollection zero(0, 0); // would never grow with increment 0
    EXPECT_GT(zero.GetIncrement(), 0);
    zero.add(items[0]);
    zero.add(items[1]);
    EXPECT_EQ(zero.size(), 2);

    GArrayCollection c(8, 2);
    c.ReallocByRealSize();
    EXPECT_EQ(c.GetCapacity(), 0);
    c.add(items[2]);
    EXPECT_EQ(c.GetCapacity(), 2);
    c.ShiftRight(0);
    EXPECT_EQ(c.size(), 2);
}

TEST(GArrayCollection, ClearDeletesOnlyWhenAsked)
{
    int deleted = 0;
    GArrayCollection c;
    c.add(new Counted(&deleted));
    c.add(nullptr);
    c.add(new Counted(&deleted));
    GArrayCollection copy(c); // keeps its own slots after c is cleared
    c.clear();
    EXPECT_EQ(deleted, 0);
    EXPECT_EQ(copy.size(), 3);
    copy.clear(true);
    EXPECT_EQ(deleted, 2);
    EXPECT_EQ(copy.size(), 0);
}

TEST(GArrayCollection, CopiesDoNotShareSlots)
{
    Items items(3);
    GArrayCollection a(2, 2);
    a.add(items[0]);
    GArrayCollection b(a);
    b.add(items[1]);
    b.put(0, items[2]);
    EXPECT_EQ(Tags(a), (std::vector<unsigned long>{0}));
    GArrayCollection c;
    c = b;
    b.clear();
    EXPECT_EQ(Tags(c), (std::vector<unsigned long>{2, 1}));
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
    if (ta < tb - 1.5)
        return -1;
    if (ta > tb + 1.5)
        return 1;
    return 0;
}
} // namespace

TEST(GArrayCollection, KernelQuicksortOrderIsFixed)
{
    // Keys are tag / 10, so equal keys differ in the last digit; the exact
    // order of equal keys is the kernel sort's own and must never change.
    const unsigned long input[] = {31, 12, 50, 11, 30, 13, 52, 10, 33, 51, 32, 14, 40};
    std::vector<std::unique_ptr<GObj>> objs;
    GArrayCollection c;
    for (unsigned long t : input) {
        objs.push_back(std::make_unique<GObj>(t));
        c.add(objs.back().get());
    }
    const int context = 42;
    c.qsortex(ByTagWithContext, &context);
    const std::vector<unsigned long> expected = {12, 14, 11, 13, 10, 30, 31, 33, 32, 40, 50, 51, 52};
    EXPECT_EQ(Tags(c), expected);

    GArrayCollection d;
    for (auto& o : objs)
        d.add(o.get());
    d.qsort(ByTag);
    EXPECT_EQ(Tags(d), expected);
}

TEST(GArrayCollection, SortStaysInBoundsWithTolerantComparisons)
{
    std::vector<std::unique_ptr<GObj>> objs;
    GArrayCollection c;
    unsigned long x = 12345;
    for (int i = 0; i < 5000; ++i) {
        x = x * 1103515245ul + 12345ul;
        objs.push_back(std::make_unique<GObj>((x >> 16) % 50));
        c.add(objs.back().get());
    }
    c.qsortex(Tolerant, nullptr);
    EXPECT_EQ(c.size(), 5000);
    std::multiset<GObj*> before, after;
    for (auto& o : objs)
        before.insert(o.get());
    for (int i = 0; i < c.size(); ++i)
        after.insert(c.get(i));
    EXPECT_EQ(before, after); // a permutation: nothing lost or duplicated
}

TEST(GIterators, RangesAndNullCollections)
{
    Items items(5);
    std::unique_ptr<GArrayCollection> c(Filled(items, 5));
    GArrayCollectionIterator range(c.get(), 1, 3);
    std::vector<unsigned long> got;
    while (range.hasNext())
        got.push_back(range.next()->tag);
    EXPECT_EQ(got, (std::vector<unsigned long>{1, 2}));

    GArrayCollectionIterator none(nullptr);
    EXPECT_FALSE(none.hasNext());

    GObjArrayIterator arr(c->toArray(), 3, 5);
    got.clear();
    while (arr.hasNext())
        got.push_back(arr.next()->tag);
    EXPECT_EQ(got, (std::vector<unsigned long>{3, 4}));

    GArrayCollection sink;
    GObjArrayIterator all(5, c->toArray());
    sink.addIterator(&all);
    EXPECT_EQ(Tags(sink), (std::vector<unsigned long>{0, 1, 2, 3, 4}));
}
