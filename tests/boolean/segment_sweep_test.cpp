// Segment sweep: batching, sweep order, dropped segments, and the sweep
// checked against all-pairs answers (exact, with parameters) on random and
// lattice inputs.

#include "Geometry/boolean/G3IntersectionPointLoader.h"
#include "Geometry/boolean/G3LineSegmentIntersector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <random>
#include <tuple>
#include <vector>

namespace {

// A crossing with the segments' ids (data) ascending and the parameters
// following them.
struct Hit {
    double p[3];
    long id1, id2;
    double t1, t2;
};

struct Recorder : G3IntersectionPointLoader {
    std::vector<Hit> hits;
    void LoadPoint(const double* p, void* d1, void* d2, double t1, double t2) override
    {
        long a = reinterpret_cast<long>(d1), b = reinterpret_cast<long>(d2);
        if (a > b) {
            std::swap(a, b);
            std::swap(t1, t2);
        }
        hits.push_back({{p[0], p[1], p[2]}, a, b, t1, t2});
    }
    // Sorted by ids, then point, so that two runs compare directly.
    void Sort()
    {
        std::sort(hits.begin(), hits.end(), [](const Hit& x, const Hit& y) {
            return std::tie(x.id1, x.id2, x.p[0], x.p[1]) < std::tie(y.id1, y.id2, y.p[0], y.p[1]);
        });
    }
};

// Reports in arrival order, exactly.
bool SameSequence(const std::vector<Hit>& a, const std::vector<Hit>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Hit& x, const Hit& y) {
        return std::tie(x.id1, x.id2, x.t1, x.t2, x.p[0], x.p[1], x.p[2]) ==
               std::tie(y.id1, y.id2, y.t1, y.t2, y.p[0], y.p[1], y.p[2]);
    });
}

void* Id(long i) { return reinterpret_cast<void*>(i); }

std::vector<Hit> Sweep(const std::vector<std::vector<double>>& segs, int u = 0, int v = 1)
{
    G3LineSegmentIntersector x(u, v);
    for (size_t i = 0; i < segs.size(); ++i)
        x.AddSegment(&segs[i][0], &segs[i][3], Id(static_cast<long>(i + 1)));
    Recorder r, again;
    x.FindIntersections(&r);
    EXPECT_EQ(x.IntersectionExists(), !r.hits.empty());
    // A second sweep starts from the order the first one left and must
    // report the same crossings in the same order.
    x.FindIntersections(&again);
    EXPECT_TRUE(SameSequence(r.hits, again.hits));
    r.Sort();
    return r.hits;
}

Hit One(const std::vector<Hit>& hits)
{
    EXPECT_EQ(hits.size(), 1u);
    return hits.empty() ? Hit{} : hits[0];
}

void ExpectHit(const Hit& h, double x, double y, double t1, double t2)
{
    EXPECT_NEAR(h.p[0], x, 1e-12);
    EXPECT_NEAR(h.p[1], y, 1e-12);
    EXPECT_NEAR(h.t1, t1, 1e-12);
    EXPECT_NEAR(h.t2, t2, 1e-12);
}

// Exposes the protected steps.
struct Probe : G3LineSegmentIntersector {
    Probe() : G3LineSegmentIntersector(0, 1) {}
    int FirstBatch()
    {
        BeginSweep();
        GetNextInsertionPoint();
        return pending.size();
    }
    // Whether BeginSweep left every neighbour pair in ScanCmp's order.
    bool InScanOrder()
    {
        BeginSweep();
        for (int i = 0; i + 1 < segments.size(); ++i) {
            GObj* pair[2] = {segments.get(i), segments.get(i + 1)};
            if (ScanCmp(&pair[0], &pair[1], this) >= 0)
                return false;
        }
        return true;
    }
    // Runs the sweep through the protected steps, offering `foreign` (a
    // segment of no sweep) to FindIntersection at every batch; true when it
    // was never reported.
    bool FindsWithSteps(G3IntersectionPointLoader* loader, G3Segment* foreign)
    {
        bool refused = true;
        BeginSweep();
        while (GetNextInsertionPoint()) {
            refused = refused && !FindIntersection(loader, foreign);
            _FindIntersections(loader);
            RemoveOldSegments();
        }
        return refused;
    }
    using G3LineSegmentIntersector::TestPair;
};

// The crossings of `all` by the pair test over every pair, in the sweep's
// sorted form.
std::vector<Hit> AllPairs(Probe& all)
{
    Recorder want;
    for (int i = 0; i < all.GetSegmentCount(); ++i)
        for (int j = 0; j < i; ++j)
            all.TestPair(&want, all.GetSegment(i), all.GetSegment(j));
    want.Sort();
    return want.hits;
}

void ExpectSameHits(const std::vector<Hit>& got, const std::vector<Hit>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t k = 0; k < got.size(); ++k) {
        EXPECT_EQ(std::tie(got[k].id1, got[k].id2), std::tie(want[k].id1, want[k].id2));
        ExpectHit(got[k], want[k].p[0], want[k].p[1], want[k].t1, want[k].t2);
    }
}

// Lattice ends with equal starts and touches, some far outside the first
// batch's range, ids from `id`.
void AddLattice(G3LineSegmentIntersector& x, std::mt19937& rng, int count, double shift, long id)
{
    std::uniform_int_distribution<int> lat(0, 7);
    for (int i = 0; i < count; ++i) {
        const double a[3] = {lat(rng) + shift, static_cast<double>(lat(rng)), 0};
        const double b[3] = {lat(rng) + shift, static_cast<double>(lat(rng)), 1};
        x.AddSegment(a, b, Id(id + i));
    }
}

// A loader that adds segments to the intersector it hears from (enough to
// move its records) and tries to start sweeps from inside the sweep.
struct Meddler : Recorder {
    G3LineSegmentIntersector* x = nullptr;
    int nested = 0;
    void LoadPoint(const double* p, void* d1, void* d2, double t1, double t2) override
    {
        Recorder::LoadPoint(p, d1, d2, t1, t2);
        for (int i = 0; i < 64; ++i) {
            const double a[3] = {100.0 + i, 100, 0}, b[3] = {100.0 + i, 101, 0};
            x->AddSegment(a, b, Id(-1));
        }
        Recorder inner;
        x->FindIntersections(&inner);
        nested += static_cast<int>(inner.hits.size()) + (x->IntersectionExists() ? 1 : 0);
    }
};

} // namespace

TEST(SegmentSweep, BatchesSweepOrderAndDroppedSegments)
{
    // The sweep passes v = 0 (third segment) and then 1.1e-6, where the
    // second segment starts 0.68e-6 from the first one's line, 0.2e-6 above
    // its upper end: the first must still be active.
    const Hit h =
        One(Sweep({{0, -1, 0, 4, 0.9e-6, 0}, {4 - 2e-6, 1.1e-6, 0, 3, 5, 0}, {10, 0, 0, 11, 1, 0}}));
    EXPECT_EQ(std::tie(h.id1, h.id2), std::make_tuple(1L, 2L));
    EXPECT_NEAR(h.t1, 1, 1e-6);
    EXPECT_EQ(h.t2, 0.0);

    // Starts within 1e-6 of the batch's first start join it; 1.2e-6 does
    // not, although it is within 1e-6 of the second.
    Probe probe;
    for (double v : {1.2e-6, 0.0, 0.6e-6, 1e-6, 3.0}) {
        const double a[3] = {0, v, 0}, b[3] = {1, v + 1, 0};
        ASSERT_TRUE(probe.AddSegment(a, b, nullptr));
    }
    EXPECT_EQ(probe.FirstBatch(), 3);

    // Sweep order on signs, both zeros, ties and wide magnitudes, and on
    // starts bunched on a few values over many magnitudes (the ordering
    // falls back from its buckets to comparisons).
    Probe order;
    for (double v : {3.0, -0.0, -1e300, 0.0, 2.5e-300, -7.0, 3.0, -2.5e-300, 1e300, -0.0, 3.0, -7.5}) {
        const double a[3] = {0, v, 0}, b[3] = {1, v, 0};
        order.AddSegment(a, b, nullptr);
    }
    EXPECT_TRUE(order.InScanOrder());
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> uni(-1, 1);
    for (int i = 0; i < 6000; ++i) {
        double v = i % 3 == 0
            ? 0.25
            : (i % 3 == 1 ? std::ldexp(uni(rng), static_cast<int>(uni(rng) * 900)) : uni(rng));
        if (i % 500 == 0)
            v = i % 1000 == 0 ? 1e300 : -1e300;
        const double a[3] = {uni(rng), v, 0}, b[3] = {uni(rng) + 2, v, 0};
        order.AddSegment(a, b, nullptr);
    }
    EXPECT_TRUE(order.InScanOrder());

    G3LineSegmentIntersector x(0, 1);
    const double o[3] = {0, 0, 0}, e[3] = {1e-6, 0, 0}, f[3] = {2e-6, 0, 0}, w[3] = {0, 0, 5};
    const double inf[3] = {HUGE_VAL, 0, 0};
    EXPECT_FALSE(x.AddSegment(o, e, nullptr)); // exactly 1e-6 long
    EXPECT_FALSE(x.AddSegment(o, w, nullptr)); // long only off the plane
    EXPECT_FALSE(x.AddSegment(o, inf, nullptr));
    EXPECT_FALSE(x.AddSegment(o, nullptr, nullptr));
    EXPECT_TRUE(x.AddSegment(o, f, nullptr));
    EXPECT_FALSE(G3LineSegmentIntersector(1, 1).AddSegment(o, f, nullptr));
}

TEST(SegmentSweep, LaterSweepsAndMeddlingLoadersSeeTheAddedSegments)
{
    // A first sweep sizes the working memory for one set; segments added
    // afterwards (equal starts, ranges far outside the first set's, more of
    // them) must be swept as by a fresh intersector given all of them, with
    // the same reports in the same order.
    for (int round = 0; round < 4; ++round) {
        std::mt19937 rng(100 + round), again(100 + round);
        Probe reused, fresh;
        AddLattice(reused, rng, 40, 0, 1);
        Recorder first, r, f;
        reused.FindIntersections(&first);
        AddLattice(reused, rng, 300, round * 3.5, 1000);
        AddLattice(fresh, again, 40, 0, 1);
        AddLattice(fresh, again, 300, round * 3.5, 1000);
        reused.FindIntersections(&r);
        fresh.FindIntersections(&f);
        EXPECT_FALSE(f.hits.empty());
        EXPECT_TRUE(SameSequence(r.hits, f.hits)) << "round " << round;
        EXPECT_TRUE(reused.InScanOrder());
        f.Sort();
        ExpectSameHits(f.hits, AllPairs(fresh));
    }

    // A loader that adds segments (enough to move the records) and starts
    // sweeps from inside the sweep changes nothing in the running one.
    std::vector<std::vector<double>> grid;
    for (int k = 0; k < 6; ++k) {
        grid.push_back({0, k + 0.5, 0, 6, k + 0.5, 0});
        grid.push_back({k + 0.5, -1, 0, k + 0.5, 7, 0});
    }
    G3LineSegmentIntersector x(0, 1);
    for (size_t i = 0; i < grid.size(); ++i)
        x.AddSegment(&grid[i][0], &grid[i][3], Id(static_cast<long>(i + 1)));
    Meddler m;
    m.x = &x;
    x.FindIntersections(&m);
    EXPECT_EQ(m.nested, 0);
    m.Sort();
    ExpectSameHits(m.hits, Sweep(grid));
    EXPECT_EQ(m.hits.size(), 36u);
    // The added segments take part in the next sweep (parallel, apart).
    EXPECT_EQ(x.GetSegmentCount(), 12 + 36 * 64);
    Recorder after;
    x.FindIntersections(&after);
    EXPECT_EQ(after.hits.size(), 36u);
}

TEST(SegmentSweep, ForeignSegmentsAndThrowingLoadersLeaveTheIntersectorUsable)
{
    const double a[3] = {0, 0, 0}, b[3] = {2, 2, 0}, c[3] = {0, 2, 0}, d[3] = {2, 0, 0};
    Probe p;
    p.AddSegment(a, b, Id(1));
    p.AddSegment(c, d, Id(2));
    G3Segment foreign(a, b, nullptr, 0, 1);
    Recorder r;
    EXPECT_TRUE(p.FindsWithSteps(&r, &foreign));
    EXPECT_EQ(r.hits.size(), 1u);

    // Allocation failures propagate through the sweep; the next call must
    // sweep afresh, not find a sweep still marked as running.
    struct Throwing : Recorder {
        int throws = 1;
        void LoadPoint(const double* p, void* d1, void* d2, double t1, double t2) override
        {
            if (throws-- > 0)
                throw std::bad_alloc();
            Recorder::LoadPoint(p, d1, d2, t1, t2);
        }
    };
    Throwing loader;
    EXPECT_THROW(p.FindIntersections(&loader), std::bad_alloc);
    EXPECT_TRUE(p.IntersectionExists());
    p.FindIntersections(&loader);
    ExpectHit(One(loader.hits), 1, 1, 0.5, 0.5);
}

namespace {

// Exact all-pairs answers. The inputs are doubles near a small lattice; the
// oracle computes in long double, where the differences and products of
// such inputs are exact to far below the sweep's 1e-6 bands, and it names a
// pair it cannot decide (a distance or a position within a band's edge)
// rather than guess.
using LD = long double;

struct Seg3 {
    LD p[2][3];
};

Seg3 ToSeg(const std::vector<double>& s) { return Seg3{{{s[0], s[1], s[2]}, {s[3], s[4], s[5]}}}; }

LD SegLength(const Seg3& a)
{
    return std::sqrt((a.p[1][0] - a.p[0][0]) * (a.p[1][0] - a.p[0][0]) +
        (a.p[1][1] - a.p[0][1]) * (a.p[1][1] - a.p[0][1]));
}

// Signed distance of q from a's line.
LD LineDistance(const Seg3& a, const LD* q)
{
    return ((a.p[1][0] - a.p[0][0]) * (q[1] - a.p[0][1]) - (a.p[1][1] - a.p[0][1]) * (q[0] - a.p[0][0])) /
        SegLength(a);
}

// Parameter of q projected onto a.
LD Projected(const Seg3& a, const LD* q)
{
    const LD du = a.p[1][0] - a.p[0][0], dv = a.p[1][1] - a.p[0][1];
    return ((q[0] - a.p[0][0]) * du + (q[1] - a.p[0][1]) * dv) / (du * du + dv * dv);
}

constexpr int kUnsure = 2;

// 0 on the line, else the side; kUnsure within 0.1e-6 of the 1e-6 band.
int SideOf(LD d)
{
    if (std::fabs(d) < 0.9e-6L)
        return 0;
    if (std::fabs(d) > 1.1e-6L)
        return d > 0 ? 1 : -1;
    return kUnsure;
}

// 1 when q lies more than 1e-6 inside both ends of a on its dominant axis.
int InsideOf(const Seg3& a, const LD* q)
{
    const int ax = std::fabs(a.p[1][1] - a.p[0][1]) > std::fabs(a.p[1][0] - a.p[0][0]) ? 1 : 0;
    const LD lo = std::min(a.p[0][ax], a.p[1][ax]), hi = std::max(a.p[0][ax], a.p[1][ax]);
    if (q[ax] > lo + 1e-5L && q[ax] < hi - 1e-5L)
        return 1;
    if (q[ax] < lo + 0.9e-6L || q[ax] > hi - 0.9e-6L)
        return 0;
    return kUnsure;
}

// The reports the pair (a, b) must give, as hits with ids ia < ib; false
// when the pair cannot be decided.
bool ExpectedHits(const Seg3& a, const Seg3& b, long ia, long ib, std::vector<Hit>& out)
{
    int sb[2], sa[2];
    for (int k = 0; k < 2; ++k) {
        sb[k] = SideOf(LineDistance(a, b.p[k]));
        sa[k] = SideOf(LineDistance(b, a.p[k]));
    }
    if (sb[0] == kUnsure || sb[1] == kUnsure || sa[0] == kUnsure || sa[1] == kUnsure)
        return false;
    if (!((sb[0] == 0 || sb[0] != sb[1]) && (sa[0] == 0 || sa[0] != sa[1])))
        return true;
    auto end = [&](const Seg3& own, int k, const Seg3& other, bool ownIsA) {
        const int in = InsideOf(other, own.p[k]);
        if (in == 1) {
            const double t = static_cast<double>(Projected(other, own.p[k]));
            out.push_back({{static_cast<double>(own.p[k][0]), static_cast<double>(own.p[k][1]),
                            static_cast<double>(own.p[k][2])},
                           ia, ib, ownIsA ? k : t, ownIsA ? t : k});
        }
        return in != kUnsure;
    };
    bool sure = true;
    for (int k = 0; k < 2; ++k) {
        if (sa[k] == 0)
            sure = end(a, k, b, true) && sure;
        if (sb[k] == 0)
            sure = end(b, k, a, false) && sure;
    }
    if (sa[0] && sa[1] && sb[0] && sb[1]) {
        // A proper crossing: where the lines meet, on both segments.
        const LD da = LineDistance(b, a.p[0]), db = LineDistance(b, a.p[1]);
        const LD ta = da / (da - db);
        LD x[3];
        for (int k = 0; k < 3; ++k)
            x[k] = a.p[0][k] + ta * (a.p[1][k] - a.p[0][k]);
        out.push_back({{static_cast<double>(x[0]), static_cast<double>(x[1]), static_cast<double>(x[2])}, ia,
            ib, static_cast<double>(ta), static_cast<double>(Projected(b, x))});
    }
    return sure;
}

} // namespace

TEST(SegmentSweep, RandomDegenerateSetsMatchExactAllPairsAnswersWithParameters)
{
    // Rounds of 50 segments on a 7x7 lattice: shared ends, T's, collinear
    // overlaps, crossings. Ends move by up to 4e-7 (touches found through
    // the tolerance), and a third of the segments are nearly parallel to an
    // earlier one, starting on it (within 6e-7) and turning away by 1e-9 to
    // 1e-6 per unit, so that their other end lies on either side of the 1e-6
    // band. Every pair the oracle decides must be reported exactly as it
    // says, parameters included.
    std::mt19937 rng(26);
    std::uniform_int_distribution<int> lat(0, 6), coin(0, 2);
    std::uniform_real_distribution<double> uni(0, 1);
    const double nudges[] = {0, 2e-7, -2e-7, 4e-7, -4e-7};
    std::uniform_int_distribution<int> nudge(0, 4);
    int decided = 0, touches = 0, nearParallelTouches = 0, crossings = 0;
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        std::vector<std::vector<double>> segs;
        std::vector<bool> leaning;
        while (segs.size() < 50) {
            std::vector<double> s(6);
            const bool lean = segs.size() > 3 && coin(rng) == 0;
            if (lean) {
                const std::vector<double>& o =
                    segs[std::uniform_int_distribution<size_t>(0, segs.size() - 1)(rng)];
                const double du = o[3] - o[0], dv = o[4] - o[1], len = std::hypot(du, dv);
                const double t = (1 + lat(rng)) / 8.0, off = nudges[nudge(rng)] * 1.5;
                const double turn = std::pow(10.0, -9 + 3 * uni(rng)) * (coin(rng) ? 1 : -1);
                const double l = (0.2 + 2 * uni(rng)) * (coin(rng) ? 1 : -1);
                const double nu = -dv / len, nv = du / len;
                s = {o[0] + t * du + off * nu, o[1] + t * dv + off * nv, uni(rng), 0, 0, uni(rng)};
                s[3] = s[0] + l * (du / len + turn * nu);
                s[4] = s[1] + l * (dv / len + turn * nv);
                if (coin(rng) == 0) {
                    std::swap(s[0], s[3]);
                    std::swap(s[1], s[4]);
                }
            } else {
                for (int k : {0, 1, 3, 4})
                    s[static_cast<size_t>(k)] = lat(rng) + (round % 2 ? nudges[nudge(rng)] : 0.0);
                s[2] = uni(rng);
                s[5] = uni(rng);
            }
            if (std::hypot(s[3] - s[0], s[4] - s[1]) < 1e-3)
                continue;
            segs.push_back(s);
            leaning.push_back(lean);
        }
        // Every third round sweeps the set with x, y moved to axes 2, 0.
        std::vector<Hit> got;
        if (round % 3 == 2) {
            std::vector<std::vector<double>> turned;
            for (const auto& t : segs)
                turned.push_back({t[1], t[2], t[0], t[4], t[5], t[3]});
            for (const Hit& h : Sweep(turned, 2, 0))
                got.push_back({{h.p[2], h.p[0], h.p[1]}, h.id1, h.id2, h.t1, h.t2});
        } else {
            got = Sweep(segs);
        }
        for (size_t i = 0; i < segs.size(); ++i)
            for (size_t j = i + 1; j < segs.size(); ++j) {
                const long a = static_cast<long>(i + 1), b = static_cast<long>(j + 1);
                std::vector<Hit> want;
                if (!ExpectedHits(ToSeg(segs[i]), ToSeg(segs[j]), a, b, want))
                    continue;
                ++decided;
                std::vector<Hit> pair;
                for (const Hit& h : got)
                    if (h.id1 == a && h.id2 == b)
                        pair.push_back(h);
                auto byPoint = [](const Hit& x, const Hit& y) {
                    return std::tie(x.p[0], x.p[1]) < std::tie(y.p[0], y.p[1]);
                };
                std::sort(want.begin(), want.end(), byPoint);
                std::sort(pair.begin(), pair.end(), byPoint);
                ASSERT_EQ(pair.size(), want.size()) << a << " " << b;
                for (size_t k = 0; k < want.size(); ++k) {
                    SCOPED_TRACE(testing::Message() << a << " " << b);
                    ExpectHit(pair[k], want[k].p[0], want[k].p[1], want[k].t1, want[k].t2);
                    const bool proper =
                        want[k].t1 != 0 && want[k].t1 != 1 && want[k].t2 != 0 && want[k].t2 != 1;
                    // A crossing takes its third coordinate from the segment
                    // the sweep reached later, a touch from the touching end.
                    const double z = pair[k].p[2];
                    auto along = [&](const std::vector<double>& q, double t) {
                        return std::fabs(q[2] + t * (q[5] - q[2]) - z) < 1e-9;
                    };
                    EXPECT_TRUE(proper ? along(segs[i], want[k].t1) || along(segs[j], want[k].t2)
                                       : std::fabs(z - want[k].p[2]) < 1e-12);
                    crossings += proper;
                    touches += !proper;
                    nearParallelTouches += !proper && (leaning[i] || leaning[j]);
                }
            }
    }
    // The rounds exercise what they claim to.
    EXPECT_GT(decided, 60 * 1225 * 9 / 10);
    EXPECT_GT(touches, 1000);
    EXPECT_GT(nearParallelTouches, 100);
    EXPECT_GT(crossings, 1000);
}

TEST(SegmentSweep, ParametersPlaceEveryReportOnBothSegmentsAtLargeCoordinates)
{
    // Lattice sets scaled to 1e10 and beyond, where a distance to a line is
    // rounded by more than the 1e-6 band: which touches are found may vary,
    // but each report's parameters must place its point on both segments.
    std::mt19937 rng(2026);
    std::uniform_int_distribution<int> lat(0, 6);
    for (double scale : {1e10, 1e12, 1e14}) {
        SCOPED_TRACE(scale);
        for (int round = 0; round < 10; ++round) {
            std::vector<std::vector<double>> segs;
            while (segs.size() < 60) {
                std::vector<double> s = {
                    lat(rng) * scale, lat(rng) * scale, 0, lat(rng) * scale, lat(rng) * scale, 0};
                if (s[0] != s[3] || s[1] != s[4])
                    segs.push_back(s);
            }
            for (const Hit& h : Sweep(segs)) {
                const std::vector<double>&s1 = segs[static_cast<size_t>(h.id1 - 1)],
                      &s2 = segs[static_cast<size_t>(h.id2 - 1)];
                for (int ax : {0, 1}) {
                    EXPECT_NEAR(h.p[ax], s1[ax] + h.t1 * (s1[3 + ax] - s1[ax]), 1e-9 * scale);
                    EXPECT_NEAR(h.p[ax], s2[ax] + h.t2 * (s2[3 + ax] - s2[ax]), 1e-9 * scale);
                }
            }
        }
    }
}
