// Interval lists as sets of points on a line: built lists are sorted,
// disjoint and know their extent, and union, intersection and clipping cover
// exactly what a cell-by-cell model covers. Also the cut queries that build
// such lists from a facet.

#include "mesh/mesh_builder.h"

#include "Geometry/boolean/G3Interval.h"
#include "Geometry/boolean/G3IntervalList.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Point.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

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
        return "extent " + std::to_string(l.GetMinCoo()) + ".." + std::to_string(l.GetMaxCoo()) + " instead of " +
               std::to_string(min) + ".." + std::to_string(max);
    return "";
}

Owners Join(const Owners& a, const Owners& b)
{
    Owners o = a;
    for (const auto& [k, s] : b)
        o[k].insert(s.begin(), s.end());
    return o;
}

// The intervals of a list as sorted rounded spans x1 y1 z1 x2 y2 z2, each
// with its lesser end first.
using Span = std::vector<double>;
std::vector<Span> Spans(const G3IntervalList& l)
{
    std::vector<Span> out;
    for (int k = 0; k < l.GetIntervalCount(); ++k) {
        G3Interval* iv = l.GetInterval(k);
        Span a(iv->GetXYZ1(), iv->GetXYZ1() + 3), b(iv->GetXYZ2(), iv->GetXYZ2() + 3);
        if (b < a)
            std::swap(a, b);
        a.insert(a.end(), b.begin(), b.end());
        for (double& d : a)
            d = std::round(d * 1e6) / 1e6 + 0.0;
        out.push_back(a);
    }
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

TEST(IntervalSets, ContainedPieceDoesNotHideTheExtent)
{
    // [2, 3] starts last but [0, 10] ends last: clipping to [5, 8] must
    // keep [5, 8].
    G3IntervalList l(1, 2, 0);
    const double a[3] = {0, 0, 0}, b[3] = {10, 0, 0}, c[3] = {2, 0, 0}, d[3] = {3, 0, 0};
    l.AddInterval(a, b);
    l.AddInterval(c, d);
    l.BuildIntervals();
    ASSERT_EQ(l.GetIntervalCount(), 1);
    EXPECT_EQ(l.GetMinCoo(), 0.0);
    EXPECT_EQ(l.GetMaxCoo(), 10.0);
    const double s1[3] = {5, 0, 0}, s2[3] = {8, 0, 0};
    G3Interval s(s1, s2);
    l.Intersect(&s);
    ASSERT_EQ(l.GetIntervalCount(), 1);
    EXPECT_EQ(l.GetInterval(0)->GetXYZ1(0), 5.0);
    EXPECT_EQ(l.GetInterval(0)->GetXYZ2(0), 8.0);

    // A list filled without BuildIntervals is clipped as the set it holds.
    G3IntervalList raw(1, 2, 0);
    raw.AddInterval(b, a);
    raw.AddInterval(c, d);
    raw.Intersect(&s);
    ASSERT_EQ(raw.GetIntervalCount(), 1);
    EXPECT_EQ(raw.GetInterval(0)->GetXYZ1(0), 5.0);
    EXPECT_EQ(raw.GetMaxCoo(), 8.0);
}

TEST(IntervalSets, PlaneCutAlongEdgesOfAFacetGivesOnePiece)
{
    // The plane x = 1 runs along two edges of this facet and through two
    // vertices where the boundary crosses it: inside it covers y in [0, 3].
    MeshBuilder b;
    G3Facet* f = b.F({b.V(1, 0), b.V(2, 0), b.V(2, 2), b.V(1, 2), b.V(1, 3), b.V(0, 3), b.V(0, 1), b.V(1, 1)});
    f->FormPlaneEquation();
    const double plane[4] = {1, 0, 0, -1};
    G3IntervalList cut;
    EXPECT_EQ(f->IntersectByPlaneConcave(plane, &cut), 1);
    cut.BuildIntervals();
    EXPECT_EQ(Spans(cut), (std::vector<Span>{{1, 0, 0, 1, 3, 0}}));
    EXPECT_EQ(cut.GetMinCoo(), 0.0);
    EXPECT_EQ(cut.GetMaxCoo(), 3.0);

    // The same line as a segment lying in the facet.
    const double p1[3] = {1, -1, 0}, p2[3] = {1, 4, 0};
    G3IntervalList in;
    ASSERT_TRUE(f->FindIntervalsLieInFacet(p1, p2, &in));
    EXPECT_EQ(Spans(in), (std::vector<Span>{{1, 0, 0, 1, 3, 0}}));

    // A coplanar rectangle whose left edge runs along that line: its edge
    // gives the one piece, the facet's edges inside the rectangle their own.
    G3Facet* r = b.F({b.V(1, -1), b.V(3, -1), b.V(3, 4), b.V(1, 4)});
    r->FormPlaneEquation();
    G3IntervalList overlap;
    ASSERT_TRUE(f->FindFacetsIntersection(r, &overlap));
    EXPECT_EQ(Spans(overlap), (std::vector<Span>{{1, 0, 0, 1, 1, 0},
                                                 {1, 0, 0, 1, 3, 0},
                                                 {1, 0, 0, 2, 0, 0},
                                                 {1, 2, 0, 1, 3, 0},
                                                 {1, 2, 0, 2, 2, 0},
                                                 {2, 0, 0, 2, 2, 0}}));
}

TEST(IntervalSets, RandomListsMatchACellModel)
{
    for (unsigned seed = 1; seed <= 400; ++seed) {
        std::mt19937 rng(seed);
        std::vector<std::unique_ptr<GObj>> objects;
        Input a = RandomList(rng, objects, true);
        Input b = RandomList(rng, objects, true);
        ASSERT_EQ("", Check(*a.list, a.cover, a.owners)) << "built, seed " << seed;

        std::unique_ptr<G3IntervalList> u(a.list->Union(b.list.get()));
        ASSERT_EQ("", Check(*u, Unite(a.cover, b.cover), Join(a.owners, b.owners))) << "union, seed " << seed;
        std::unique_ptr<G3IntervalList> i(a.list->Intersect(b.list.get()));
        ASSERT_EQ("", Check(*i, Intersect(a.cover, b.cover), Join(a.owners, b.owners)))
            << "intersection, seed " << seed;

        // Lists never built are read as the union of what they hold, and the
        // operations leave them as they were.
        Input ra = RandomList(rng, objects, false);
        Input rb = RandomList(rng, objects, false);
        const int countA = ra.list->GetIntervalCount();
        std::unique_ptr<G3IntervalList> ru(ra.list->Union(rb.list.get()));
        ASSERT_EQ("", Check(*ru, Unite(ra.cover, rb.cover), Join(ra.owners, rb.owners)))
            << "raw union, seed " << seed;
        std::unique_ptr<G3IntervalList> ri(ra.list->Intersect(rb.list.get()));
        ASSERT_EQ("", Check(*ri, Intersect(ra.cover, rb.cover), Join(ra.owners, rb.owners)))
            << "raw intersection, seed " << seed;
        ASSERT_EQ(ra.list->GetIntervalCount(), countA);

        // Clipping by a random interval, given either way round, of both the
        // built and the raw list.
        std::uniform_int_distribution<int> key(0, kCells);
        const int s1 = key(rng), s2 = key(rng);
        GObj o1, o2;
        const double p[3] = {Key(s1), 1, 1}, q[3] = {Key(s2), 2, 2};
        Cover clip(kCells, false);
        Mark(clip, Key(s1), Key(s2));
        Owners withClip = Join(a.owners, {{Key(s1), {&o1}}, {Key(s2), {&o2}}});
        G3Interval s(p, &o1, q, &o2);
        a.list->Intersect(&s);
        ASSERT_EQ("", Check(*a.list, Intersect(a.cover, clip), withClip)) << "clip, seed " << seed;
        G3Interval t(p, &o1, q, &o2);
        ra.list->Intersect(&t);
        ASSERT_EQ("", Check(*ra.list, Intersect(ra.cover, clip), Join(ra.owners, {{Key(s1), {&o1}}, {Key(s2), {&o2}}})))
            << "raw clip, seed " << seed;
    }
}
