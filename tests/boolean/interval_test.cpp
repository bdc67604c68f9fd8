// Intervals and interval lists: pairing loose points, tolerance ties,
// clipping by one interval, range tests and copies (the sweeps against a
// cell model are tested with the interval sets).

#include "Geometry/boolean/G3Interval.h"
#include "Geometry/boolean/G3IntervalList.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GMemoryAllocator.h"
#include "Geometry/mesh/G3Point.h"

#include <gtest/gtest.h>

#include <memory>
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
        out.push_back({iv->GetXYZ1(list.GetSortAxis()), iv->GetXYZ2(list.GetSortAxis()),
                       iv->GetOwner1(), iv->GetOwner2()});
    }
    return out;
}

void ExpectPieces(const G3IntervalList& list, const std::vector<Piece>& want)
{
    EXPECT_TRUE(Pieces(list) == want);
}

// A list on the x axis holding the given intervals, built.
std::unique_ptr<G3IntervalList> XList(const std::vector<Piece>& pieces)
{
    auto list = std::make_unique<G3IntervalList>(1, 2, 0);
    for (const Piece& p : pieces) {
        const double a[3] = {p.from, 0, 0}, b[3] = {p.to, 0, 0};
        list->AddInterval(a, p.owner1, b, p.owner2);
    }
    list->BuildIntervals();
    return list;
}

void AddX(G3IntervalList& list, double x, GObj* owner)
{
    const double p[3] = {x, 0, 0};
    list.AddPoint(p, owner);
}

}  // namespace

TEST(G3IntervalTest, EndsSwapWithOwnersAndCopiesOwnTheirPoints)
{
    GObj o1, o2;
    const double p[3] = {5, 1, 2}, q[3] = {3, 9, 2};
    G3Interval iv(p, &o1, q, &o2);
    iv.Orient(1);  // already increasing in y
    EXPECT_EQ(iv.GetOwner1(), &o1);
    iv.Orient(0);
    EXPECT_EQ(iv.GetXYZ1(0), 3.0);
    EXPECT_EQ(iv.GetOwner1(), &o2);
    EXPECT_EQ(iv.GetOwner2(), &o1);

    std::unique_ptr<GObj> dup(iv.Duplicate());
    G3Interval* d = dynamic_cast<G3Interval*>(dup.get());
    ASSERT_NE(d, nullptr);
    G3Interval copied(iv);
    G3Interval assigned(p, p);
    assigned = iv;
    for (G3Interval* c : {d, &copied, &assigned}) {
        EXPECT_NE(c->GetPoint1(), iv.GetPoint1());
        EXPECT_NE(c->GetPoint2(), iv.GetPoint2());
        EXPECT_EQ(c->GetXYZ2(1), 1.0);
        EXPECT_EQ(c->GetOwner2(), &o1);
    }

    // The arena form: the points still come from their pool, so the
    // destructor runs explicitly.
    GMemoryAllocator arena;
    G3Interval* inArena = new (&arena) G3Interval(p, q);
    inArena->Copy(&iv);
    EXPECT_EQ(inArena->GetOwner1(), &o2);
    inArena->~G3Interval();
}

TEST(G3IntervalListTest, BuildPairsPointsInKeyOrderAndDropsAnOddPoint)
{
    GObj a, b, c, d;
    G3IntervalList list;
    // Spread along y, so y becomes the sort axis.
    const double pts[4][3] = {{0, 3, 0}, {0.5, 1, 0}, {0, 2, 0.1}, {0, 4, 0}};
    GObj* owners[4] = {&c, &a, &b, &d};
    for (int k = 0; k < 4; ++k)
        list.AddPoint(pts[k], owners[k]);
    list.BuildIntervals();
    EXPECT_EQ(list.GetSortAxis(), 1);
    EXPECT_EQ(list.GetMaxCoo1(), 0);
    EXPECT_EQ(list.GetMaxCoo2(), 1);
    EXPECT_EQ(list.GetPointList()->size(), 0);
    ExpectPieces(list, {{1, 2, &a, &b}, {3, 4, &c, &d}});
    EXPECT_EQ(list.GetMinCoo(), 1.0);
    EXPECT_EQ(list.GetMaxCoo(), 4.0);

    G3IntervalList odd(1, 2, 0);
    for (auto [x, o] : {std::pair{7.0, &c}, {2.0, &a}, {5.0, &b}})
        AddX(odd, x, o);
    odd.BuildIntervals();
    ExpectPieces(odd, {{2, 5, &a, &b}});
}

TEST(G3IntervalListTest, KeysWithinToleranceAreTiesInTheSort)
{
    GObj p, x, y, q;
    // x and y differ by less than 1e-6: the sort may not separate them, and
    // the kernel's quicksort leaves them in reverse, so the pairs (p, y) and
    // (x, q) overlap; they are joined into one.
    G3IntervalList list(1, 2, 0);
    for (auto [at, o] : {std::pair{0.0, &p}, {1.0, &x}, {1 + 0.5e-6, &y}, {2.0, &q}})
        AddX(list, at, o);
    list.BuildIntervals();
    ExpectPieces(list, {{0, 2, &p, &q}});

    // A pair closer than 1e-6 carries no length and goes, alone or next to
    // stored intervals; a stored interval given backwards is oriented.
    G3IntervalList alone(1, 2, 0);
    AddX(alone, 3, &p);
    AddX(alone, 3 + 0.5e-6, &q);
    alone.BuildIntervals();
    EXPECT_EQ(alone.GetIntervalCount(), 0);

    G3IntervalList joined(1, 2, 0);
    const double from[3] = {9, 0, 0}, to[3] = {6, 0, 0};
    joined.AddInterval(from, &x, to, &y);
    AddX(joined, 3, &p);
    AddX(joined, 3 + 0.5e-6, &q);
    joined.BuildIntervals();
    ExpectPieces(joined, {{6, 9, &y, &x}});
}

TEST(G3IntervalListTest, UnionJoinsOverlappingPiecesIntoOne)
{
    GObj a1, a2, b1, b2;
    // Points and stored intervals are joined alike; each end keeps the owner
    // of the piece it came from.
    G3IntervalList built(1, 2, 0);
    const double s[3] = {0, 0, 0}, e[3] = {5, 0, 0};
    built.AddInterval(s, &a1, e, &a2);
    AddX(built, 3, &b1);
    AddX(built, 8, &b2);
    built.BuildIntervals();
    ExpectPieces(built, {{0, 8, &a1, &b2}});

    // An empty side gives a copy of the other, with intervals of its own.
    auto left = XList({{0, 1, &a1, &a2}, {4, 5, &b1, &b2}});
    G3IntervalList empty(1, 2, 0);
    std::unique_ptr<G3IntervalList> c(empty.Union(left.get()));
    ExpectPieces(*c, Pieces(*left));
    EXPECT_NE(c->GetInterval(0), left->GetInterval(0));
    EXPECT_EQ(left->Sub(c.get()), nullptr);
}

TEST(G3IntervalListTest, IntersectWithOneIntervalClipsTheList)
{
    GObj a1, a2, b1, b2, s1, s2;
    // A piece ending within 1e-6 of the clip start is dropped; a tie at the
    // start goes to the stored interval.
    auto tie = XList({{-2, 1 + 0.5e-6, &a1, &a2}, {3, 4, &b1, &b2}});
    const double p[3] = {1, 0, 0}, q[3] = {3.5, 0, 0};
    G3Interval t(p, &s1, q, &s2);
    tie->Intersect(&t);
    ExpectPieces(*tie, {{3, 3.5, &b1, &s2}});
    const double p3[3] = {3, 0, 0};
    G3Interval t3(p3, &s1, q, &s2);
    tie->Intersect(&t3);
    ExpectPieces(*tie, {{3, 3.5, &b1, &s2}});

    // Clipping by one of the list's own intervals, which is deleted on the way.
    auto own = XList({{0, 2, &a1, &a2}, {3, 5, &b1, &b2}});
    own->Intersect(own->GetInterval(1));
    ExpectPieces(*own, {{3, 5, &b1, &b2}});

    const double far1[3] = {20, 0, 0}, far2[3] = {30, 0, 0};
    G3Interval away(far1, far2);
    tie->Intersect(&away);
    EXPECT_EQ(tie->GetIntervalCount(), 0);
    EXPECT_EQ(tie->GetMinCoo(), 0.0);
    EXPECT_EQ(tie->GetMaxCoo(), 0.0);
}

TEST(G3IntervalListTest, IntersectionTypeOfRanges)
{
    auto a = XList({{0, 5, nullptr, nullptr}});
    auto touching = XList({{5 + 0.5e-6, 9, nullptr, nullptr}});
    auto apart = XList({{5 + 2e-6, 9, nullptr, nullptr}});
    EXPECT_EQ(a->GetIntersectionType(touching.get()), INTERVAL_LIST_INTERSECT);
    EXPECT_EQ(a->GetIntersectionType(apart.get()), INTERVAL_LIST_NO_INTERSECTION);

    G3IntervalList emptyX(1, 2, 0), emptyY(0, 2, 1);
    EXPECT_EQ(emptyX.GetIntersectionType(&emptyY), INTERVAL_LIST_DIFFERENT_AXES);
    EXPECT_EQ(a->GetIntersectionType(&emptyX), INTERVAL_LIST_NO_INTERSECTION);
    emptyX.SetMaxCoo(&emptyY);
    EXPECT_EQ(emptyX.GetIntersectionType(&emptyY), INTERVAL_LIST_NO_INTERSECTION);
}

TEST(G3IntervalListTest, MergeAndCopiesDuplicateEverything)
{
    GObj o1, o2, o3;
    auto src = XList({{0, 1, &o1, &o2}});
    AddX(*src, 4, &o3);

    G3IntervalList target;
    target.Merge(src.get());
    target.Merge(&target);  // its own content once more
    EXPECT_EQ(target.GetSortAxis(), 0);
    ASSERT_EQ(target.GetIntervalCount(), 2);
    ASSERT_EQ(target.GetPointList()->size(), 2);
    G3Point* loose = static_cast<G3Point*>(target.GetPointList()->get(1));
    EXPECT_NE(loose, src->GetPointList()->get(0));
    EXPECT_EQ(loose->GetExData(), &o3);  // the owner travels with the point
    EXPECT_NE(target.GetInterval(1)->GetPoint1(), src->GetInterval(0)->GetPoint1());

    G3IntervalList copied(*src);
    G3IntervalList assigned;
    assigned = copied;
    std::unique_ptr<GObj> dup(src->Duplicate());
    for (G3IntervalList* c : {&copied, &assigned, static_cast<G3IntervalList*>(dup.get())}) {
        EXPECT_EQ(c->GetMaxCoo(), 1.0);
        EXPECT_NE(c->GetIntervalList(), src->GetIntervalList());
        EXPECT_NE(c->GetInterval(0), src->GetInterval(0));
        ExpectPieces(*c, Pieces(*src));
        EXPECT_EQ(c->GetPointList()->size(), 1);
    }

    // Pairing uses the owner a merged point carried.
    G3IntervalList more;
    more.Merge(src.get());
    AddX(more, 6, &o1);
    more.BuildIntervals();
    ExpectPieces(more, {{0, 1, &o1, &o2}, {4, 6, &o3, &o1}});

    target.Clear();
    EXPECT_TRUE(target.IsEmpty());
    EXPECT_EQ(target.GetSortAxis(), -1);
}
