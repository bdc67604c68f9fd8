// Intervals and interval lists: built lists are sorted, disjoint and know
// their extent, and union, intersection and clipping cover exactly what a
// cell-by-cell model covers (random lists); tolerance ties, clipping by a
// list's own interval, range tests, ends swapped with their owners, and
// copies that own their points.

#include "Geometry/boolean/G3Interval.h"
#include "Geometry/boolean/G3IntervalList.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Point.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

struct Piece {
    double from, to;
    GObj* owner1;
    GObj* owner2;
    // Ends are only ever copied or clipped to other ends, so exact equality.
    bool operator==(const Piece& o) const
    {
        return from == o.from && to == o.to && owner1 == o.owner1 && owner2 == o.owner2;
    }
};

// The list's intervals as (start key, end key, owners) along its sort axis.
std::vector<Piece> Pieces(const G3IntervalList& list)
{
    std::vector<Piece> out;
    for (int k = 0; k < list.GetIntervalCount(); ++k) {
        G3Interval* iv = list.GetInterval(k);
        out.push_back({iv->GetXYZ1(list.GetSortAxis()), iv->GetXYZ2(list.GetSortAxis()), iv->GetOwner1(),
                       iv->GetOwner2()});
    }
    return out;
}

// A list on the x axis holding the given intervals and points (from ==
// to), built.
std::unique_ptr<G3IntervalList> XList(const std::vector<Piece>& pieces)
{
    auto list = std::make_unique<G3IntervalList>(1, 2, 0);
    for (const Piece& p : pieces) {
        const double a[3] = {p.from, 0, 0}, b[3] = {p.to, 0, 0};
        if (p.from == p.to)
            list->AddPoint(a, p.owner1);
        else
            list->AddInterval(a, p.owner1, b, p.owner2);
    }
    list->BuildIntervals();
    return list;
}


// Keys are multiples of kStep in [0, kCells * kStep]; the model marks which
// of the kCells cells [k, k + 1] * kStep a list covers.
constexpr int kCells = 64;
constexpr double kStep = 0.25;
using Cover = std::vector<bool>;

double Key(int k) { return k * kStep; }

void Mark(Cover& c, double from, double to)
{
    if (to < from)
        std::swap(from, to);
    for (int k = 0; k < kCells; ++k)
        if (Key(k) >= from && Key(k + 1) <= to)
            c[k] = true;
}

// Owners of the input ends, by key: an end of a result must come from one.
using Owners = std::map<double, std::set<GObj*>>;

struct Input {
    std::unique_ptr<G3IntervalList> list;
    Cover cover = Cover(kCells, false);
    Owners owners;
};

// A random list on the x axis (y and z vary, the sort axis is fixed):
// stored intervals in either direction, loose points, repeated and nested
// pieces and shared ends. The model pairs the points in key order as the
// list does.
Input RandomList(std::mt19937& rng, std::vector<std::unique_ptr<GObj>>& objects, bool build)
{
    Input in;
    in.list = std::make_unique<G3IntervalList>(1, 2, 0);
    std::uniform_int_distribution<int> key(0, kCells), count(0, 6), coin(0, 3);
    auto owner = [&objects]() {
        objects.push_back(std::make_unique<GObj>());
        return objects.back().get();
    };
    auto at = [&rng](double x) {
        std::uniform_real_distribution<double> off(-5, 5);
        return std::vector<double>{x, off(rng), off(rng)};
    };
    std::vector<int> shared;
    auto pick = [&]() {
        if (!shared.empty() && coin(rng) == 0)
            return shared[std::uniform_int_distribution<size_t>(0, shared.size() - 1)(rng)];
        const int k = key(rng);
        shared.push_back(k);
        return k;
    };
    const int stored = count(rng);
    for (int n = 0; n < stored; ++n) {
        const int a = pick();
        const int b = coin(rng) == 0 ? a : pick();
        GObj* oa = owner();
        GObj* ob = owner();
        const auto pa = at(Key(a)), pb = at(Key(b));
        in.list->AddInterval(pa.data(), oa, pb.data(), ob);
        in.owners[Key(a)].insert(oa);
        in.owners[Key(b)].insert(ob);
        Mark(in.cover, Key(a), Key(b));
    }
    const int loose = build ? count(rng) : 0;
    std::vector<int> keys;
    for (int n = 0; n < loose; ++n) {
        const int a = pick();
        GObj* o = owner();
        const auto p = at(Key(a));
        in.list->AddPoint(p.data(), o);
        in.owners[Key(a)].insert(o);
        keys.push_back(a);
    }
    std::sort(keys.begin(), keys.end());
    for (size_t n = 0; n + 1 < keys.size(); n += 2)
        Mark(in.cover, Key(keys[n]), Key(keys[n + 1]));
    if (build)
        in.list->BuildIntervals();
    return in;
}

Cover Intersect(const Cover& a, const Cover& b)
{
    Cover c(kCells);
    for (int k = 0; k < kCells; ++k)
        c[k] = a[k] && b[k];
    return c;
}

Cover Unite(const Cover& a, const Cover& b)
{
    Cover c(kCells);
    for (int k = 0; k < kCells; ++k)
        c[k] = a[k] || b[k];
    return c;
}

// Checks that `l` is in normal form, that it covers exactly `want`, that
// its extent is the covered range, and that every end carries the owner of
// an input end at its key. Returns "" or what is wrong.
std::string Check(const G3IntervalList& l, const Cover& want, const Owners& owners)
{
    if (l.GetPointList()->size() != 0)
        return "loose points left";
    Cover got(kCells, false);
    const int n = l.GetIntervalCount();
    for (int k = 0; k < n; ++k) {
        G3Interval* iv = l.GetInterval(k);
        const double a = iv->GetXYZ1(0), b = iv->GetXYZ2(0);
        if (!(b - a > 1e-6))
            return "interval " + std::to_string(k) + " not oriented or too short";
        if (k + 1 < n && !(l.GetInterval(k + 1)->GetXYZ1(0) - b > 1e-6))
            return "intervals " + std::to_string(k) + " and " + std::to_string(k + 1) +
                   " overlap, touch or are out of order";
        for (auto [key, who] : {std::pair{a, iv->GetOwner1()}, {b, iv->GetOwner2()}}) {
            auto it = owners.find(key);
            if (it == owners.end() || !it->second.count(who))
                return "an end at " + std::to_string(key) + " has a foreign owner";
        }
        Mark(got, a, b);
    }
    if (got != want)
        return "covers the wrong cells";
    int lo = kCells, hi = -1;
    for (int k = 0; k < kCells; ++k)
        if (want[k]) {
            lo = std::min(lo, k);
            hi = k;
        }
    const double min = hi < 0 ? 0.0 : Key(lo), max = hi < 0 ? 0.0 : Key(hi + 1);
    if (l.GetMinCoo() != min || l.GetMaxCoo() != max)
        return "extent " + std::to_string(l.GetMinCoo()) + ".." + std::to_string(l.GetMaxCoo()) +
            " instead of " + std::to_string(min) + ".." + std::to_string(max);
    return "";
}

Owners Join(const Owners& a, const Owners& b)
{
    Owners o = a;
    for (const auto& [k, s] : b)
        o[k].insert(s.begin(), s.end());
    return o;
}

} // namespace

TEST(IntervalSets, RandomListsMatchACellModel)
{
    for (unsigned seed = 1; seed <= 400; ++seed) {
        // Built lists, then lists never built: those are read as the union
        // of what they hold, and the operations leave them as they were.
        for (bool build : {true, false}) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << (build ? " built" : " raw"));
            std::mt19937 rng(seed);
            std::vector<std::unique_ptr<GObj>> objects;
            Input a = RandomList(rng, objects, build);
            Input b = RandomList(rng, objects, build);
            const Owners both = Join(a.owners, b.owners);
            const int countA = a.list->GetIntervalCount();
            if (build) {
                ASSERT_EQ("", Check(*a.list, a.cover, a.owners));
            }
            std::unique_ptr<G3IntervalList> u(a.list->Union(b.list.get()));
            ASSERT_EQ("", Check(*u, Unite(a.cover, b.cover), both)) << "union";
            std::unique_ptr<G3IntervalList> i(a.list->Intersect(b.list.get()));
            ASSERT_EQ("", Check(*i, Intersect(a.cover, b.cover), both)) << "intersection";
            ASSERT_EQ(a.list->GetIntervalCount(), countA);

            // Clipping by a random interval, given either way round.
            std::uniform_int_distribution<int> key(0, kCells);
            const int s1 = key(rng), s2 = key(rng);
            GObj o1, o2;
            const double p[3] = {Key(s1), 1, 1}, q[3] = {Key(s2), 2, 2};
            Cover clip(kCells, false);
            Mark(clip, Key(s1), Key(s2));
            G3Interval s(p, &o1, q, &o2);
            a.list->Intersect(&s);
            ASSERT_EQ("",
                Check(
                    *a.list, Intersect(a.cover, clip), Join(a.owners, {{Key(s1), {&o1}}, {Key(s2), {&o2}}})))
                << "clip";
        }
    }
}

TEST(IntervalLists, PairingTiesAndClipping)
{
    GObj a, b, c, d, p, q;
    // Points spread along y make y the sort axis; they pair in key order.
    G3IntervalList list;
    const double pts[4][3] = {{0, 3, 0}, {0.5, 1, 0}, {0, 2, 0.1}, {0, 4, 0}};
    GObj* owners[4] = {&c, &a, &b, &d};
    for (int k = 0; k < 4; ++k)
        list.AddPoint(pts[k], owners[k]);
    list.BuildIntervals();
    EXPECT_EQ(list.GetSortAxis(), 1);
    EXPECT_TRUE(Pieces(list) == (std::vector<Piece>{{1, 2, &a, &b}, {3, 4, &c, &d}}));

    // Keys within 1e-6 are ties the sort may not separate: the pairs (p, b)
    // and (a, q) overlap and are joined into one. A pair closer than 1e-6
    // carries no length and goes; a stored interval given backwards is
    // oriented.
    const double e = 0.5e-6;
    struct Case {
        std::vector<Piece> in, out;
    };
    const Case cases[] = {
        {{{0, 0, &p, nullptr}, {1, 1, &a, nullptr}, {1 + e, 1 + e, &b, nullptr}, {2, 2, &q, nullptr}},
         {{0, 2, &p, &q}}},
        {{{3, 3, &p, nullptr}, {3 + e, 3 + e, &q, nullptr}}, {}},
        {{{9, 6, &a, &b}, {3, 3, &p, nullptr}, {3 + e, 3 + e, &q, nullptr}}, {{6, 9, &b, &a}}},
    };
    for (const Case& k : cases)
        EXPECT_TRUE(Pieces(*XList(k.in)) == k.out) << "case " << (&k - cases);

    // Clipping: a piece ending within 1e-6 of the clip start is dropped; a
    // tie at the start goes to the stored interval.
    auto tie = XList({{-2, 1 + e, &a, &b}, {3, 4, &c, &d}});
    const double p1[3] = {1, 0, 0}, p3[3] = {3, 0, 0}, p35[3] = {3.5, 0, 0};
    G3Interval t(p1, &p, p35, &q), t3(p3, &p, p35, &q);
    tie->Intersect(&t);
    EXPECT_TRUE(Pieces(*tie) == (std::vector<Piece>{{3, 3.5, &c, &q}}));
    tie->Intersect(&t3);
    EXPECT_TRUE(Pieces(*tie) == (std::vector<Piece>{{3, 3.5, &c, &q}}));
    // By one of the list's own intervals, which is deleted on the way.
    auto own = XList({{0, 2, &a, &b}, {3, 5, &c, &d}});
    own->Intersect(own->GetInterval(1));
    EXPECT_TRUE(Pieces(*own) == (std::vector<Piece>{{3, 5, &c, &d}}));

    // Range tests: within 1e-6 touching, beyond apart; empty lists on
    // different axes.
    auto r = XList({{0, 5, nullptr, nullptr}});
    EXPECT_EQ(r->GetIntersectionType(XList({{5 + e, 9, nullptr, nullptr}}).get()), INTERVAL_LIST_INTERSECT);
    EXPECT_EQ(r->GetIntersectionType(XList({{5 + 4 * e, 9, nullptr, nullptr}}).get()),
              INTERVAL_LIST_NO_INTERSECTION);
    G3IntervalList emptyX(1, 2, 0), emptyY(0, 2, 1);
    EXPECT_EQ(emptyX.GetIntersectionType(&emptyY), INTERVAL_LIST_DIFFERENT_AXES);
    EXPECT_EQ(r->GetIntersectionType(&emptyX), INTERVAL_LIST_NO_INTERSECTION);
}

TEST(IntervalLists, EndsSwapWithOwnersAndCopiesOwnTheirPoints)
{
    GObj o1, o2, o3;
    const double p[3] = {5, 1, 2}, q[3] = {3, 9, 2};
    G3Interval iv(p, &o1, q, &o2);
    iv.Orient(0);
    EXPECT_EQ(iv.GetXYZ1(0), 3.0);
    EXPECT_EQ(iv.GetOwner1(), &o2);
    EXPECT_EQ(iv.GetOwner2(), &o1);
    G3Interval copied(iv);
    G3Interval assigned(p, p);
    assigned = iv;
    for (G3Interval* c : {&copied, &assigned}) {
        EXPECT_NE(c->GetXYZ1(), iv.GetXYZ1());
        EXPECT_NE(c->GetXYZ2(), iv.GetXYZ2());
        EXPECT_EQ(c->GetXYZ2(1), 1.0);
        EXPECT_EQ(c->GetOwner2(), &o1);
    }

    // Lists: merged (also into themselves), copied, assigned.
    auto src = XList({{0, 1, &o1, &o2}});
    const double four[3] = {4, 0, 0};
    src->AddPoint(four, &o3);
    G3IntervalList target;
    target.Merge(src.get());
    target.Merge(&target);  // its own content once more
    ASSERT_EQ(target.GetIntervalCount(), 2);
    ASSERT_EQ(target.GetPointList()->size(), 2);
    G3Point* loose = static_cast<G3Point*>(target.GetPointList()->get(1));
    EXPECT_NE(loose, src->GetPointList()->get(0));
    EXPECT_EQ(loose->GetExData(), &o3);  // the owner travels with the point
    G3IntervalList copiedList(*src);
    G3IntervalList assignedList;
    assignedList = copiedList;
    for (G3IntervalList* c : {&copiedList, &assignedList}) {
        EXPECT_NE(c->GetInterval(0), src->GetInterval(0));
        EXPECT_TRUE(Pieces(*c) == Pieces(*src));
        EXPECT_EQ(c->GetPointList()->size(), 1);
    }
    // Pairing uses the owner a merged point carried.
    G3IntervalList more;
    more.Merge(src.get());
    const double six[3] = {6, 0, 0};
    more.AddPoint(six, &o1);
    more.BuildIntervals();
    EXPECT_TRUE(Pieces(more) == (std::vector<Piece>{{0, 1, &o1, &o2}, {4, 6, &o3, &o1}}));
}
