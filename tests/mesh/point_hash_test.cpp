// Tolerance hashes: answers independent of the cell count against brute
// force, newest-first chains, grid sizing, clamping of outside and NaN
// points, box and segment queries, texture coordinates, and plane groups
// against grouping by comparing every facet with every group. The uniform
// facet grid: clipped segment walks against sampling, box ranges, facet
// collection.

#include "mesh_builder.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetPlaneHash.h"
#include "Geometry/mesh/G3Grid.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3PointHash.h"
#include "Geometry/mesh/G3SparsePointHash.h"
#include "Geometry/mesh/G3TexCoo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <vector>

namespace {

const double kMin[3] = {0, 0, 0};
const double kMax[3] = {10, 10, 10};

std::vector<GObj*> Items(const GArrayCollection& c)
{
    std::vector<GObj*> v;
    for (int i = 0; i < c.size(); ++i)
        v.push_back(c.get(i));
    return v;
}

// Uniform in [lo, hi), the same on every platform.
double Uniform(std::mt19937& gen, double lo, double hi) { return lo + (hi - lo) * (gen() / 4294967296.0); }

}  // namespace

// Add answers the newest stored point equal to the probe and Exists lists
// them all, whatever the cell count; points outside the box and tolerance
// boxes spanning several cells included.
TEST(G3PointHashTest, AnswersDoNotDependOnTheCellCount)
{
    const double tol = 0.05;
    std::mt19937 gen(7);
    std::vector<std::unique_ptr<G3Point>> pts;
    double centre[3] = {0, 0, 0};
    for (int n = 0; n < 1500; ++n) {
        // Clusters of five points within about a tolerance of each other,
        // on a lattice that makes exact-tolerance distances common.
        if (n % 5 == 0)
            for (double& v : centre)
                v = Uniform(gen, -1.0, 11.0);
        double xyz[3];
        for (int k = 0; k < 3; ++k)
            xyz[k] = centre[k] + std::floor(Uniform(gen, -0.06, 0.06) / 0.0125) * 0.0125;
        if (n % 50 < 5)
            xyz[n % 3] = n % 100 < 50 ? -40.0 + xyz[n % 3] : 1e12;
        pts.emplace_back(new G3Point(xyz));
    }
    std::vector<G3Point*> expected;
    std::vector<G3Point*> stored;
    for (auto& p : pts) {
        G3Point* match = nullptr;
        for (auto it = stored.rbegin(); it != stored.rend() && !match; ++it)
            if ((*it)->Equals(p->GetXYZ(), tol))
                match = *it;
        expected.push_back(match);
        if (!match)
            stored.push_back(p.get());
    }
    ASSERT_GT(pts.size() - stored.size(), 300u);
    // The same count on every axis (through both hashes), different counts
    // including a single layer, cells narrower than the tolerance boxes, bad
    // counts and none (one cell).
    const int grids[][3] = {{1, 1, 1}, {7, 7, 7}, {24, 24, 24}, {150, 150, 150}, {150, 7, 1},
                            {1, 1, 300}, {3, 200, 24}, {0, -5, 2}};
    for (size_t g = 0; g <= 8; ++g) {
        G3PointHash h(g < 8 ? grids[g] : nullptr, kMin, kMax, tol);
        G2PointHash h2(g < 4 ? grids[g][0] : 1, kMin, kMax, tol);
        for (size_t n = 0; n < pts.size(); ++n) {
            ASSERT_EQ(h.Add(pts[n].get()), expected[n]) << "grid " << g << " point " << n;
            ASSERT_EQ(h2.Add(pts[n].get()), expected[n]) << "planar grid " << g << " point " << n;
        }
        // Exists lists every equal stored point, newest first, into a
        // collection it clears first.
        GArrayCollection out;
        for (size_t n = 0; n < pts.size(); n += 7) {
            std::vector<GObj*> equal;
            for (auto it = stored.rbegin(); it != stored.rend(); ++it)
                if ((*it)->Equals(pts[n]->GetXYZ(), tol))
                    equal.push_back(*it);
            ASSERT_EQ(!equal.empty(), h.Exists(pts[n]->GetXYZ(), &out)) << "grid " << g << " point " << n;
            ASSERT_EQ(equal, Items(out)) << "grid " << g << " point " << n;
        }
    }
    // The sparse hash answers the same (by point or by number), for any count it is sized by
    // (cells from wider than the box down to the tolerance floor) and for a
    // box that holds none of the points.
    const double nowhere[3] = {5.0, 5.0, 5.0};
    for (long count : {0L, 1L, 1500L, 100000000L})
        for (bool ownBox : {true, false}) {
            G3SparsePointHash h(count, ownBox ? kMin : nowhere, ownBox ? kMax : nowhere, tol);
            G3SparsePointHash byNumber(count, ownBox ? kMin : nowhere, ownBox ? kMax : nowhere, tol);
            for (size_t n = 0; n < pts.size(); ++n) {
                ASSERT_EQ(h.Add(pts[n].get()), expected[n]) << "count " << count << " point " << n;
                const int same = byNumber.Add(static_cast<int>(n), pts[n]->GetXYZ());
                ASSERT_EQ(same < 0 ? nullptr : pts[static_cast<size_t>(same)].get(), expected[n]) << count << " " << n;
            }
        }
}

// Unit normals of a surveyed terrain: nearly all within a thousandth of one
// direction, a few steep ones stretching the box, repeats within the
// tolerance. The sparse hash cuts its cells finer when a chain grows long
// and must answer as brute force does throughout (by point and by number).
TEST(G3PointHashTest, SparseHashOfACrowdedCapAnswersAsBruteForce)
{
    const double tol = 1e-6;
    for (unsigned seed = 1; seed <= 3; ++seed) {
        std::mt19937 gen(seed);
        std::vector<std::unique_ptr<G3Point>> pts;
        double lo[3] = {1, 1, 1}, hi[3] = {-1, -1, -1};
        for (int n = 0; n < 4000; ++n) {
            double xyz[3];
            if (n % 97 == 0) {
                const double t = Uniform(gen, 0.0, 6.28);
                xyz[0] = 0.9 * std::cos(t), xyz[1] = 0.9 * std::sin(t), xyz[2] = 0.43;
            } else if (n % 5 == 4) {
                const double* q = pts[static_cast<size_t>(gen() % pts.size())]->GetXYZ();
                for (int k = 0; k < 3; ++k)
                    xyz[k] = q[k] + Uniform(gen, -0.6, 0.6) * tol;
            } else {
                xyz[0] = -0.05 + Uniform(gen, -1e-3, 1e-3), xyz[1] = -0.01 + Uniform(gen, -1e-3, 1e-3);
                xyz[2] = std::sqrt(1.0 - xyz[0] * xyz[0] - xyz[1] * xyz[1]);
            }
            for (int k = 0; k < 3; ++k)
                lo[k] = std::min(lo[k], xyz[k]), hi[k] = std::max(hi[k], xyz[k]);
            pts.emplace_back(new G3Point(xyz));
        }
        G3SparsePointHash h(static_cast<long>(pts.size()), lo, hi, tol), byNumber(static_cast<long>(pts.size()), lo, hi, tol);
        const double side = h.GetCellSize();
        std::vector<G3Point*> stored;
        for (size_t n = 0; n < pts.size(); ++n) {
            G3Point* match = nullptr;
            for (auto it = stored.rbegin(); it != stored.rend() && !match; ++it)
                if ((*it)->Equals(pts[n]->GetXYZ(), tol))
                    match = *it;
            if (!match)
                stored.push_back(pts[n].get());
            ASSERT_EQ(h.Add(pts[n].get()), match) << seed << " " << n;
            const int same = byNumber.Add(static_cast<int>(n), pts[n]->GetXYZ());
            ASSERT_EQ(same < 0 ? nullptr : pts[static_cast<size_t>(same)].get(), match) << seed << " " << n;
        }
        EXPECT_GT(pts.size() - stored.size(), 500u);
        EXPECT_LT(h.GetCellSize(), side / 16);  // the crowd was filed again, finer
    }
}

// The bulk box leaves out the few points far off (fewer than one in 1,024)
// and non-finite coordinates, and holds the rest.
TEST(G3PointHashTest, BulkBoxLeavesOutOnlyTheStrays)
{
    std::mt19937 gen(3);
    for (int round = 0; round < 20; ++round) {
        const int n = 2048 + static_cast<int>(gen() % 4096), strays = n / 1024 - 1;
        std::vector<double> xyz;
        for (int i = 0; i < n; ++i)
            for (int a = 0; a < 3; ++a)
                xyz.push_back(i < strays ? (a == round % 3 ? 1e6 * (i % 2 ? 1 : -1) : 0.0) : Uniform(gen, -5.0, 5.0));
        xyz[3 * static_cast<size_t>(strays)] = std::numeric_limits<double>::quiet_NaN();
        double lo[3], hi[3];
        G3PointHash::BulkBox(xyz, lo, hi);
        for (int a = 0; a < 3; ++a)
            EXPECT_TRUE(lo[a] > -5.0 && hi[a] < 5.0 && hi[a] - lo[a] > 9.9) << round << " " << a;
    }
}

// The grid's shape only matters for speed (the answers do not depend on
// it); what must hold is that a flat box gets one layer, the cell count
// stays bounded and degenerate input gives one cell, never a crash.
TEST(G3PointHashTest, SizeGridFollowsTheBoxShape)
{
    int g[3];
    const double lo[3] = {0, 0, 5}, flat[3] = {1000, 500, 5};
    G3PointHash::SizeGrid(1000000, lo, flat, 1e-6, g);
    EXPECT_EQ(g[2], 1);
    EXPECT_NEAR(static_cast<double>(g[0]) / g[1], 2.0, 0.01);
    EXPECT_NEAR(static_cast<double>(g[0]) * g[1], 1e6, 2e4);

    // A cube: the same count on every axis, at least 24.
    const double cube[3] = {10, 10, 15};
    for (long count : {8000000L, -3L}) {
        G3PointHash::SizeGrid(count, lo, cube, 1e-6, g);
        EXPECT_EQ(std::vector<int>(g, g + 3), std::vector<int>(3, count > 0 ? 200 : 24));
    }
    // Cells stay four tolerances wide.
    G3PointHash::SizeGrid(1000000, lo, flat, 1.0, g);
    EXPECT_TRUE(g[0] <= 250 && g[1] <= 125);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double bad[3] = {nan, HUGE_VAL, 5};
    for (const double* hi : {lo, bad, static_cast<const double*>(nullptr)}) {
        G3PointHash::SizeGrid(1000000, hi ? lo : nullptr, hi, 1e-6, g);
        EXPECT_EQ(g[0] * g[1] * g[2], 1);
    }
    G3PointHash::SizeGrid(1000000, lo, flat, 1e-6, nullptr);  // nothing to fill
}

TEST(G3PointHashTest, OutsideAndNaNPointsStayInRange)
{
    G3PointHash h(8, kMin, kMax, 1e-6);
    G3Point far(1e300, -1e300, 50), again(1e300, -1e300, 50), nan;
    nan.SetX(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(h.Add(&far), nullptr);
    EXPECT_EQ(h.Add(&again), &far);
    EXPECT_EQ(h.GetHashCode(&far), 7 + 0 * 8 + 7 * 64);
    h.AddWithoutTest(&nan);
    EXPECT_EQ(h.GetHashCode(&nan), 0);
    EXPECT_EQ(h.Exists(nan.GetXYZ()), nullptr);  // NaN equals nothing
    const double inf[3] = {HUGE_VAL, -HUGE_VAL, 0};
    EXPECT_EQ(h.Exists(inf), nullptr);

    // A box beyond the envelope reads the border cells, where `far` lives.
    GEnvelope box;
    box.Init(1e299, -2e300, 40, 2e300, -1e299, 60);
    GArrayCollection out;
    h.GetItems(&box, &out);
    EXPECT_EQ(Items(out), (std::vector<GObj*>{&far}));
}

// The segment walk finds every point within the tolerance of a long diagonal
// segment while visiting far fewer cells than the segment's bounding box; a
// box query finds every point in the box. Each reports a point once (a mark
// bit, left clear).
TEST(G3PointHashTest, SegmentAndBoxQueriesAreComplete)
{
    const double tol = 0.01;
    G3PointHash h(60, kMin, kMax, tol);
    const double a[3] = {0.3, -0.8, 9.7}, b[3] = {9.6, 9.9, 0.1};  // starts outside
    std::mt19937 gen(11);
    std::vector<std::unique_ptr<G3Point>> pts;
    std::vector<GObj*> near;
    int nearOutside = 0;
    for (int n = 0; n < 3000; ++n) {
        const double t = Uniform(gen, -0.01, 1.01);
        double xyz[3];
        for (int k = 0; k < 3; ++k)
            xyz[k] = a[k] + t * (b[k] - a[k]) + Uniform(gen, -1.5, 1.5) * tol;
        pts.emplace_back(new G3Point(xyz));
        h.AddWithoutTest(pts.back().get());
        // The nearest point of the segment.
        double foot[3], dot = 0, len2 = 0;
        for (int k = 0; k < 3; ++k) {
            dot += (xyz[k] - a[k]) * (b[k] - a[k]);
            len2 += (b[k] - a[k]) * (b[k] - a[k]);
        }
        for (int k = 0; k < 3; ++k)
            foot[k] = a[k] + std::fmax(0.0, std::fmin(1.0, dot / len2)) * (b[k] - a[k]);
        if (G3Point::Equals(xyz, foot, tol)) {
            near.push_back(pts.back().get());
            nearOutside += xyz[1] < h.GetEnvelope().GetMin()[1];
        }
    }
    ASSERT_GT(near.size(), 100u);
    ASSERT_GT(nearOutside, 5);
    // Also with a different count on each axis (the border slabs of each
    // axis reach to infinity).
    const int g[3] = {7, 90, 2};
    G3PointHash uneven(g, kMin, kMax, tol);
    for (auto& p : pts)
        uneven.AddWithoutTest(p.get());
    GArrayCollection out;
    for (const G3PointHash* hash : {&h, &uneven}) {
        hash->GetItemsAlongSegment(a, b, &out);
        for (GObj* p : near)
            EXPECT_TRUE(out.contains(p));
    }
    GEnvelope box;
    box.Init(3, 4, 3, 6, 6, 6);
    h.GetItems(&box, &out);
    const std::vector<GObj*> items = Items(out);
    EXPECT_EQ(std::set<GObj*>(items.begin(), items.end()).size(), items.size());
    int inBox = 0;
    for (auto& p : pts) {
        ASSERT_FALSE(p->GetMark());
        if (box.ClipCode(p->GetXYZ()) == 0) {
            EXPECT_TRUE(out.contains(p.get()));
            ++inBox;
        }
    }
    EXPECT_GT(inBox, 100);

    int visited = 0;
    h.VisitSegmentCells(a, b, tol, [](G3PointHashItem*, void* n) { ++*static_cast<int*>(n); }, &visited);
    EXPECT_LT(visited, 60 * 12);  // the bounding box holds about 55^3 cells
}

TEST(G3TexCooHashTest, BorderAndEquality)
{
    const double lo[3] = {0, 0, 0}, hi[3] = {1, 1, 0};
    G3TexCooHash probe(24, lo, hi, 1e-6);
    const double border = probe.GetEnvelope().GetMin()[1] + 9 * probe.GetCellSize()[1];
    G3TexCoo below(0.5, border - 3e-7), above(0.5, border + 3e-7), other(0.5, border + 2e-6);
    ASSERT_NE(probe.GetHashCode(&below), probe.GetHashCode(&above));
    G3TexCooHash h(24, lo, hi, 1e-6);
    EXPECT_EQ(h.Add(&above), nullptr);
    EXPECT_EQ(h.Add(&below), &above);
    EXPECT_EQ(h.Add(&other), nullptr);
    EXPECT_EQ(h.Exists(&other), &other);
}


// Facets join the newest group whose first plane equals theirs (the order
// in which a cell lists its groups), also when equal planes hash to
// different cells; the brute force does the same over all groups.
TEST(G3FacetPlaneHashTest, RandomNearTolerancePlanesGroupLikeTheComparison)
{
    auto norm = [](const double* v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); };
    for (int divisions : {1, 7, 10, 23, 100}) {
        for (unsigned seed = 1; seed <= 60; ++seed) {
            std::mt19937 rng(seed * 131 + divisions);
            std::uniform_real_distribution<double> unit(-1, 1), angle(0, 2.5e-3), offset(-1.5e-6, 1.5e-6);
            std::uniform_int_distribution<int> coin(0, 3);
            G3FacetPlaneHash h(divisions);
            std::vector<std::unique_ptr<G3Facet>> facets;
            std::vector<const G3Facet*> groups; // first facet of each group, oldest first
            double base[3] = {0, 0, 1}, d0 = 0;
            for (int k = 0; k < 40; ++k) {
                if (k == 0 || coin(rng) == 0) {
                    // A new cluster, often with a component on a cell border.
                    for (double& c : base)
                        c = unit(rng);
                    if (coin(rng) != 0)
                        base[coin(rng) % 3] = (std::floor(std::fabs(unit(rng)) * divisions) / divisions) *
                                              (coin(rng) < 2 ? 1 : -1);
                    d0 = unit(rng) * 10;
                }
                // A member tilted by about the comparison's tolerance,
                // sometimes facing the other way.
                const double t[3] = {unit(rng), unit(rng), unit(rng)};
                const double tilt = angle(rng) / norm(t), sign = coin(rng) == 0 ? -1 : 1;
                double n[3];
                for (int c = 0; c < 3; ++c)
                    n[c] = sign * (base[c] / norm(base) + tilt * t[c]);
                const double len = norm(n);
                const double plane[4] = {n[0] / len, n[1] / len, n[2] / len, sign * (d0 + offset(rng))};
                facets.push_back(std::make_unique<G3Facet>());
                G3Facet* f = facets.back().get();
                f->SetPlane(plane);

                const G3Facet* want = nullptr;
                for (auto it = groups.rbegin(); it != groups.rend() && !want; ++it)
                    if ((*it)->PlaneEquals(f->GetPlane()))
                        want = *it;
                if (!want)
                    groups.push_back(want = f);
                const G3FacetPlaneHashItem* item = h.Add(f);
                ASSERT_EQ(item->GetFacets()->get(0), want) << "divisions " << divisions << ", seed " << seed
                                                           << ", facet " << k;
                ASSERT_EQ(item->GetFacets()->get(item->GetFacets()->size() - 1), f);
            }
            ASSERT_GT(groups.size(), 1u);
        }
    }

    // Normals that are not unit, or NaN, still land inside the cell array.
    G3FacetPlaneHash h(10);
    G3Facet big, bad;
    const double pb[4] = {3, -7, 0.5, 0};
    const double pn[4] = {std::numeric_limits<double>::quiet_NaN(), 0, 1, 0};
    big.SetPlane(pb);
    bad.SetPlane(pn);
    EXPECT_EQ(h.GetHashCode(&big), 9 + 9 * 10 + 4 * 100);
    EXPECT_NE(h.Add(&big), nullptr);
    EXPECT_NE(h.Add(&bad), nullptr);
}

// ------------------------------------------------------------ facet grid

namespace {

// A 4x4x4 grid over [0, 4]^3 with one facet of its own in every cell.
struct CellGrid {
    CellGrid() : grid(&box(), 4)
    {
        for (int k = 0; k < 4; ++k)
            for (int j = 0; j < 4; ++j)
                for (int i = 0; i < 4; ++i) {
                    facets.emplace_back(new G3Facet());
                    grid.Add(i, j, k, facets.back().get());
                }
    }
    static const GEnvelope& box()
    {
        static GEnvelope b;
        b.Init(0, 0, 0, 4, 4, 4);
        return b;
    }
    G3Facet* At(int i, int j, int k) { return facets[(k * 4 + j) * 4 + i].get(); }
    G3Facet* At(const double* p)
    {
        int i, j, k;
        grid.GetIndexes(p, &i, &j, &k);
        return At(i, j, k);
    }
    bool NoneMarked() const
    {
        for (auto& f : facets)
            if (f->GetMark())
                return false;
        return true;
    }

    G3Grid grid;
    std::vector<std::unique_ptr<G3Facet>> facets;
};

std::set<GObj*> AsSet(const GArrayCollection& c)
{
    const std::vector<GObj*> items = Items(c);
    return std::set<GObj*>(items.begin(), items.end());
}

}  // namespace

// Every cell the segment passes through contributes its facet, once; a
// segment reaching in from outside is clipped first; one along a cell edge
// stays in one column of cells; one missing the box or not finite adds
// nothing; results accumulate.
TEST(G3GridTest, SegmentWalkCoversItsCells)
{
    CellGrid g;
    const double edge = g.grid.GetMin()[0] + g.grid.GetCellSize()[0];
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        double a[3], b[3];
        int most;
    } segments[] = {{{-3.0, 0.5, -1.2}, {3.9, 2.5, 3.7}, 30}, {{edge, edge, 0.5}, {edge, edge, 3.5}, 4},
                    {{10, -1, 2}, {-1, 10, 2}, 0}, {{5, 5, 5}, {9, 6, 5}, 0}, {{nan, 1, 1}, {1, 1, 1}, 0},
                    {{1, 1, 1}, {HUGE_VAL, 1, 1}, 0}};
    GArrayCollection out;
    out.add(g.At(0, 0, 0)); // kept: the walk appends
    for (const auto& seg : segments) {
        const double *a = seg.a, *b = seg.b;
        const int first = out.size();
        g.grid.GetFacetByLine(a, b, &out);
        std::set<GObj*> got;
        for (int i = first; i < out.size(); ++i)
            got.insert(out.get(i));
        EXPECT_EQ(got.size(), static_cast<size_t>(out.size() - first));
        EXPECT_LE(out.size() - first, seg.most);
        for (int n = 0; n <= 20000 && seg.most; ++n) {
            const double t = n / 20000.0;
            double p[3];
            for (int k = 0; k < 3; ++k)
                p[k] = a[k] + t * (b[k] - a[k]);
            if (g.box().ClipCode(p) == 0) {
                ASSERT_TRUE(got.count(g.At(p))) << "t = " << t;
            }
        }
        EXPECT_TRUE(g.NoneMarked());
    }
    const int before = out.size();
    g.grid.GetFacetByLine(segments[0].b, segments[0].b, &out); // a point: its own cell, again
    ASSERT_EQ(out.size(), before + 1);
    EXPECT_EQ(out.get(before), g.At(segments[0].b));
    EXPECT_EQ(out.get(0), g.At(0, 0, 0));

    // Random segments with ends on a lattice of quarters, many of them along
    // cell walls and through cell corners: every cell a point of the
    // segment lies in is reported.
    std::mt19937 gen(4341);
    for (int round = 0; round < 300; ++round) {
        double a[3], b[3];
        for (int k = 0; k < 3; ++k) {
            a[k] = static_cast<int>(gen() % 25) * 0.25 - 1.0;
            b[k] = round % 3 == k ? a[k] : static_cast<int>(gen() % 25) * 0.25 - 1.0;
        }
        out.clear();
        g.grid.GetFacetByLine(a, b, &out);
        const std::set<GObj*> got = AsSet(out);
        for (int n = 0; n <= 2000; ++n) {
            double p[3];
            for (int k = 0; k < 3; ++k)
                p[k] = a[k] + n / 2000.0 * (b[k] - a[k]);
            if (g.box().ClipCode(p) == 0) {
                ASSERT_TRUE(got.count(g.At(p))) << "round " << round << " t = " << n / 2000.0;
            }
        }
        ASSERT_TRUE(g.NoneMarked());
    }
}

// Cells follow the box's shape (a storey gets flat cells, one layer when it
// is thinner than a cell), stay within 1 .. 1024 per axis, and a box
// without extent, or not finite, gets one cell.
TEST(G3GridTest, CellCountsFollowTheBox)
{
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double lo[3], hi[3], total;
        int cells[3];
    } rows[] = {{{0, 0, 0}, {8, 8, 8}, 512, {8, 8, 8}},
                {{0, 0, 0}, {100, 100, 2.8}, 4096, {53, 53, 1}},
                {{0, 0, 0}, {100, 100, 25}, 4096, {25, 25, 6}},
                {{0, 0, 0}, {1e6, 1, 1}, 1e9, {1024, 10, 10}},
                {{1, 2, 3}, {1, 2, 3}, 1000, {1, 1, 1}},
                {{0, 0, 0}, {inf, 1, 1}, 1000, {1, 32, 32}}};
    for (const auto& r : rows) {
        GEnvelope box;
        box.Init(r.lo[0], r.lo[1], r.lo[2], r.hi[0], r.hi[1], r.hi[2]);
        int cells[3];
        G3Grid::SizeCells(&box, r.total, cells);
        EXPECT_EQ((std::vector<int>(r.cells, r.cells + 3)), (std::vector<int>(cells, cells + 3))) << r.total;
        G3Grid grid(&box, cells);
        for (int a = 0; a < 3; ++a)
            EXPECT_EQ(cells[a], grid.GetCells(a));
    }
}

// Box ranges clamp, or come out empty beyond the grid; facets without edges
// are skipped by the search; the facet searched for is returned itself (the
// boolean tests see a facet reported twice or a mark left set).
TEST(G3GridTest, BoxRangesAndFacetsByFacet)
{
    G3Grid grid(&CellGrid::box(), 4);
    int i[2], j[2], k[2];
    GEnvelope box;
    box.Init(5, 1, -3, 7, 2.5, 1.5);
    grid.GetIndexes(&box, i, j, k);
    EXPECT_GT(i[0], i[1]);  // beyond max along x: nothing
    EXPECT_EQ((std::vector<int>{j[0], j[1], k[0], k[1]}), (std::vector<int>{1, 2, 0, 1}));
    // A NaN gives cell 0; huge values clamp.
    const double wild[3] = {std::numeric_limits<double>::quiet_NaN(), -1e300, 1e300};
    grid.GetIndexes(wild, &i[0], &j[0], &k[0]);
    EXPECT_EQ((std::vector<int>{i[0], j[0], k[0]}), (std::vector<int>{0, 0, 3}));

    MeshBuilder mb;
    G3Facet* wide = mb.F({mb.V(0, 0), mb.V(3, 0), mb.V(0, 3)});
    G3Facet* small = mb.F({mb.V(3.5, 3.5), mb.V(3.9, 3.5), mb.V(3.5, 3.9)});
    G3Facet* bare = mb.F(); // no edges
    grid.AddFacet(small, &box); // outside along x: no cell receives it
    for (int n = 0; n < 64; ++n)
        EXPECT_EQ(grid.Get(n % 4, n / 4 % 4, n / 16), nullptr) << n;
    GEnvelope wb, sb, probe;
    wb.Init(0, 0, 0, 3, 3, 0);
    sb.Init(3.5, 3.5, 0, 3.9, 3.9, 0);
    grid.AddFacet(wide, &wb);
    grid.AddFacet(bare, &wb);
    grid.AddFacet(small, &sb);

    GArrayCollection out;
    probe.Init(0.5, 0.5, 0, 2.5, 2.5, 0.5);
    grid.GetFacetsByFacet(wide, &probe, &out);
    EXPECT_EQ(AsSet(out), std::set<GObj*>{wide});
    probe.Init(0, 0, 0, 4, 4, 4);
    grid.GetFacetsByFacet(nullptr, &probe, &out);
    EXPECT_EQ(AsSet(out), (std::set<GObj*>{wide, small}));
}

// Cells hold their objects in insertion order whatever else was added in
// between, and a block search returns each object once, cells in k, j, i
// order: checked against lists kept beside the grid for random additions
// (many objects per cell, most cells empty), with set() replacing cells.
TEST(G3GridTest, CellsKeepInsertionOrderAgainstPlainLists)
{
    std::mt19937 rng(20261209);
    for (int round = 0; round < 20; ++round) {
        const int n = 2 + static_cast<int>(rng() % 6);
        G3Grid grid(&CellGrid::box(), n);
        std::vector<std::unique_ptr<G3Point>> objects(40 + rng() % 200);
        std::vector<std::vector<GObj*>> plain(static_cast<std::size_t>(n * n * n));
        for (auto& o : objects)
            o = std::make_unique<G3Point>(0.0, 0.0, 0.0);
        for (int add = 0; add < 400; ++add) {
            const int c = static_cast<int>(rng() % plain.size());
            G3Point* o = objects[rng() % objects.size()].get();
            if (rng() % 50 == 0) {
                // set() takes a list and replaces the cell's objects.
                auto* list = new GArrayCollection(4, 4);
                list->add(o);
                grid.set(c % n, c / n % n, c / (n * n), list);
                plain[static_cast<std::size_t>(c)] = {o};
            } else {
                grid.Add(c % n, c / n % n, c / (n * n), o);
                plain[static_cast<std::size_t>(c)].push_back(o);
            }
        }
        for (int c = 0; c < n * n * n; ++c) {
            const GArrayCollection* got = grid.Get(c % n, c / n % n, c / (n * n));
            const std::vector<GObj*>& want = plain[static_cast<std::size_t>(c)];
            ASSERT_EQ(got == nullptr, want.empty()) << "round " << round << " cell " << c;
            if (got) {
                EXPECT_EQ(Items(*got), want) << "round " << round << " cell " << c;
            }
        }
        int lo[3], hi[3];
        for (int a = 0; a < 3; ++a) {
            lo[a] = static_cast<int>(rng() % n);
            hi[a] = lo[a] + static_cast<int>(rng() % (n - lo[a]));
        }
        std::vector<GObj*> want;
        for (int z = lo[2]; z <= hi[2]; ++z)
            for (int y = lo[1]; y <= hi[1]; ++y)
                for (int x = lo[0]; x <= hi[0]; ++x)
                    for (GObj* o : plain[static_cast<std::size_t>((z * n + y) * n + x)])
                        if (std::find(want.begin(), want.end(), o) == want.end())
                            want.push_back(o);
        GArrayCollection out;
        grid.OutFacets(lo[0], hi[0], lo[1], hi[1], lo[2], hi[2], &out);
        EXPECT_EQ(Items(out), want) << "round " << round;
        for (GObj* o : want)
            static_cast<G3Point*>(o)->ClearMark();
    }
}
