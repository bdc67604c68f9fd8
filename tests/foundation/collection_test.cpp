#include "Geometry/foundation/GArrayCollection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <random>
#include <vector>

namespace {

using Tags = std::vector<unsigned long>;

// Objects tagged with the given numbers (or 0..n-1).
struct Items : std::deque<GObj> {
    explicit Items(int n)
    {
        for (int i = 0; i < n; ++i)
            emplace_back(static_cast<unsigned long>(i));
    }
    explicit Items(const Tags& tags)
    {
        for (unsigned long t : tags)
            emplace_back(t);
    }
    GObj* operator[](int i) { return &at(static_cast<std::size_t>(i)); }
    // The first n items in a collection of initial size 4, increment 4.
    GArrayCollection Filled(int n)
    {
        GArrayCollection c(4, 4);
        for (int i = 0; i < n; ++i)
            c.add((*this)[i]);
        return c;
    }
};

Tags TagsOf(const GArrayCollection& c)
{
    Tags out;
    for (int i = 0; i < c.size(); ++i)
        out.push_back(c.get(i) ? c.get(i)->tag : 999);
    return out;
}

struct Counted : GObj {
    explicit Counted(int* counter) : counter(counter) {}
    ~Counted() override { ++*counter; }
    int* counter;
};

} // namespace

// Random edits against a std::vector: add_i and add(n, array) append;
// remove(i) moves the last element into the gap; remove(object) and index
// take the last copy; RemoveWithShift closes the gap in order; ShiftRight
// opens a null slot; Rotate reverses; copies and shrinking keep the contents
// (an emptied array grows again). Increments of 0 (taken as a usable one)
// and 1 make the array grow often.
TEST(GArrayCollection, RandomEditsMatchAVector)
{
    Items items(6);
    for (int increment : {0, 1, 3, 1024}) {
        SCOPED_TRACE(increment);
        std::mt19937 rng(40u + static_cast<unsigned>(increment));
        std::uniform_int_distribution<int> op(0, 9), item(0, 5);
        auto c = std::make_unique<GArrayCollection>(increment % 3, increment);
        Tags model; // a null slot is 999
        for (int step = 0; step < 4000; ++step) {
            GObj* o = items[item(rng)];
            const int n = static_cast<int>(model.size());
            const int at = std::uniform_int_distribution<int>(0, n)(rng); // n: the end, nothing to remove
            const auto last = std::find(model.rbegin(), model.rend(), o->tag);
            const int lastAt = static_cast<int>(last.base() - model.begin()) - 1;
            GObj* run[3] = {o, nullptr, o};
            const int what = op(rng);
            int gap = -1; // the slot refilled from the end
            if (what < 2) {
                ASSERT_EQ(c->add_i(o), n);
                model.push_back(o->tag);
            } else if (what == 2) {
                ASSERT_EQ(c->add(3, run), n);
                model.insert(model.end(), {o->tag, 999, o->tag});
            } else if (what == 3) {
                ASSERT_EQ(c->index(o), lastAt);
                ASSERT_EQ(c->remove(o), lastAt >= 0);
                gap = lastAt;
            } else if (what == 4 && at < n) {
                c->remove(at);
                gap = at;
            } else if (what == 5 && at < n) {
                c->RemoveWithShift(at);
                model.erase(model.begin() + at);
            } else if (what == 6) {
                c->ShiftRight(at);
                model.insert(model.begin() + at, 999);
            } else if (what == 7 && n > 0) {
                c->Rotate();
                std::reverse(model.begin(), model.end());
                c->removeLast();
                model.pop_back();
            } else if (what == 8) {
                c->ReallocByRealSize();
                ASSERT_EQ(c->GetCapacity(), n);
            } else if (what == 9) {
                c = std::make_unique<GArrayCollection>(*c);
                GArrayCollection other;
                other = *c;
                *c = other;
            }
            if (gap >= 0) {
                model[static_cast<std::size_t>(gap)] = model.back();
                model.pop_back();
            }
            ASSERT_EQ(TagsOf(*c), model) << "step " << step;
            ASSERT_GE(c->GetCapacity(), c->size());
            ASSERT_EQ(c->contains(o), std::find(model.begin(), model.end(), o->tag) != model.end());
        }
    }
}

TEST(GArrayCollection, GrowthByIncrementThenByHalf)
{
    // By the increment up to eight increments, then by half the size, so
    // filling stays amortised linear.
    Items items(10);
    GArrayCollection big(0, 4);
    for (int i = 0; i < 33; ++i)
        big.add(items[0]);
    EXPECT_EQ(big.GetCapacity(), 48);
    for (int i = 0; i < 100000; ++i)
        big.add(items[0]);
    EXPECT_LT(big.GetCapacity(), 2 * big.size());
    // Past 4 MiB of slots the array moves to mapped memory: contents
    // survive each move, a copy and a shrink to size.
    for (int i = 0; i < 700000; ++i)
        big.add(items[i % 10]);
    GArrayCollection copy(big);
    copy.ReallocByRealSize();
    EXPECT_EQ(copy.GetCapacity(), copy.size());
    bool same = copy.size() == big.size();
    for (int i = 0; same && i < big.size(); ++i)
        same = copy.get(i) == big.get(i) && (i < 100033 || big.get(i) == items[(i - 100033) % 10]);
    EXPECT_TRUE(same);
}

TEST(GArrayCollection, IteratorsAndClearDeletingOnlyWhenAsked)
{
    // Removing through an iterator still visits every element once.
    Items items(7);
    GArrayCollection d = items.Filled(7);
    Tags seen;
    GArrayCollectionIterator it(&d);
    while (it.hasNext()) {
        GObj* o = it.next();
        seen.push_back(o->tag);
        if (o->tag % 2 == 0)
            it.remove();
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (Tags{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(TagsOf(d), (Tags{5, 1, 3}));

    // Ranges over a collection and an array, and a null collection.
    GArrayCollection c = items.Filled(5), sink;
    GArrayCollectionIterator range(&c, 1, 3);
    GObjArrayIterator arr(c.toArray(), 3, 5);
    sink.addIterator(&range);
    sink.addIterator(&arr);
    EXPECT_EQ(TagsOf(sink), (Tags{1, 2, 3, 4}));
    EXPECT_FALSE(GArrayCollectionIterator(nullptr).hasNext());

    int deleted = 0;
    GArrayCollection owner;
    owner.add(new Counted(&deleted));
    owner.add(nullptr);
    owner.add(new Counted(&deleted));
    GArrayCollection copy(owner);
    owner.clear();
    EXPECT_EQ(deleted, 0);
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
// A tolerant comparison: values within 15 compare equal. Not transitive.
int Tolerant(const void* a, const void* b, const void*)
{
    const double ta = static_cast<double>((*static_cast<GObj* const*>(a))->tag);
    const double tb = static_cast<double>((*static_cast<GObj* const*>(b))->tag);
    return ta < tb - 15 ? -1 : ta > tb + 15 ? 1 : 0;
}
} // namespace

TEST(GArrayCollection, KernelQuicksortOrderIsFixedAndStaysInBounds)
{
    // Keys are tag / 10, so equal keys differ in the last digit; the exact
    // order of equal keys is the kernel sort's own and must never change.
    Items items(Tags{31, 12, 50, 11, 30, 13, 52, 10, 33, 51, 32, 14, 40});
    const Tags expected = {12, 14, 11, 13, 10, 30, 31, 33, 32, 40, 50, 51, 52};
    GArrayCollection c = items.Filled(13);
    c.qsort(ByTag);
    EXPECT_EQ(TagsOf(c), expected);

    // Random tags: sorted by key; under a comparison that is not
    // transitive, still a permutation, nothing lost or duplicated.
    Tags tags;
    std::mt19937 rng(12345);
    for (int i = 0; i < 5000; ++i)
        tags.push_back(rng() % 500);
    Items many(tags);
    GArrayCollection e = many.Filled(5000), f = many.Filled(5000);
    f.qsort(ByTag);
    Tags keys = TagsOf(f);
    auto byKey = [](unsigned long a, unsigned long b) { return a / 10 < b / 10; };
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end(), byKey));
    std::sort(keys.begin(), keys.end());
    e.qsortex(Tolerant, nullptr);
    Tags after = TagsOf(e);
    std::sort(tags.begin(), tags.end());
    std::sort(after.begin(), after.end());
    EXPECT_TRUE(after == tags && keys == tags);
}
