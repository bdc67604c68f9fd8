// Delaunay runs without constraints: small exact cases, coinciding points,
// degenerate layouts (grids, lines, circles) and random sets.

#include "tin_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

G3TVertex* Add(G3TriInterface& tin, double x, double y, double z = 0.0)
{
    const double p[3] = {x, y, z};
    return tin.AddVertex(p);
}

std::vector<std::pair<double, double>> RandomPoints(int n, unsigned seed, double size)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, size);
    std::vector<std::pair<double, double>> p;
    for (int i = 0; i < n; ++i)
        p.emplace_back(u(rng), u(rng));
    return p;
}

using Points = std::vector<std::pair<double, double>>;

void AddAll(G3TriInterface& tin, const Points& pts)
{
    for (const auto& p : pts)
        Add(tin, p.first, p.second);
}

TEST(TinDelaunay, TooFewOrCollinearPointsGiveNoTriangle)
{
    Points line; // a long one, through every merge path
    for (int i = 0; i < 1000; ++i)
        line.emplace_back(0.5 * i, 3.0 - 0.25 * i);
    for (const Points& pts : {Points{}, Points{{0, 0}, {1, 1}}, Points{{0, 0}, {2, 2}, {1, 1}}, line}) {
        G3TriInterface tin;
        AddAll(tin, pts);
        EXPECT_TRUE(tin.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT));
        EXPECT_EQ(tin.GetTriangleCount(), 0) << pts.size() << " points";
    }
}

TEST(TinDelaunay, ThreePointsGiveOneCounterClockwiseTriangle)
{
    G3TriInterface tin;
    // Clockwise input order.
    G3TVertex *a = Add(tin, 0, 0, 7), *b = Add(tin, 0, 1, 8), *c = Add(tin, 1, 0, 9);
    tin.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    ASSERT_EQ(tin.GetTriangleCount(), 1);
    G3TVertex* t[3];
    ASSERT_TRUE(tin.GetTriangle(0, t));
    EXPECT_GT(g3tri::Orient({t[0]->x, t[0]->y, 0}, {t[1]->x, t[1]->y, 0}, {t[2]->x, t[2]->y, 0}), 0.0);
    std::vector<G3TVertex*> got(t, t + 3), want{a, b, c};
    std::sort(got.begin(), got.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want);
    EXPECT_EQ(b->z, 8.0);
}

TEST(TinDelaunay, CocircularPointsStillTileTheirHull)
{
    G3TriInterface circle; // 64 points on a circle and its centre
    for (int i = 0; i < 64; ++i)
        Add(circle, 10 * std::cos(i * M_PI / 32), 10 * std::sin(i * M_PI / 32));
    Add(circle, 0, 0);
    circle.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    TinReport r = CheckTin(circle);
    EXPECT_EQ(r.triangles, 64);
    EXPECT_TRUE(r.Valid()) << r.first;
}

TEST(TinDelaunay, PointsCloserThanTheToleranceCountAsOne)
{
    G3TriInterface tin;
    G3TVertex *a = Add(tin, 0, 0), *b = Add(tin, 5, 0), *c = Add(tin, 0, 5);
    G3TVertex* a2 = Add(tin, 0.5e-8, -0.9e-8);
    G3TVertex* b2 = Add(tin, 5, 0); // the same point twice
    G3TVertex* far = Add(tin, 5 + 3e-8, 5);
    tin.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    EXPECT_EQ(tin.GetEngine()->GetNodeCount(), 4);
    // c sorts between a and a2 (equal x): they must still be found.
    EXPECT_EQ(tin.GetKeptVertex(a2), tin.GetKeptVertex(a));
    EXPECT_EQ(tin.GetKeptVertex(b2), b);
    EXPECT_EQ(tin.GetKeptVertex(c), c);
    EXPECT_EQ(tin.GetKeptVertex(far), far);
    EXPECT_EQ(tin.GetTriangleCount(), 2);
    for (int t = 0; t < tin.GetTriangleCount(); ++t) {
        G3TVertex* v[3];
        ASSERT_TRUE(tin.GetTriangle(t, v));
        for (G3TVertex* x : v)
            EXPECT_EQ(tin.GetKeptVertex(x), x) << "a merged point is a corner";
    }
    // Two points 2e-8 apart in x are distinct positions.
    G3TriInterface apart;
    AddAll(apart, {{0, 0}, {2e-8, 0}});
    apart.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    EXPECT_EQ(apart.GetEngine()->GetNodeCount(), 2);
}

TEST(TinDelaunay, RandomPointsAreDelaunayAndTileTheirHull)
{
    for (unsigned seed : {1u, 2u, 3u}) {
        G3TriInterface tin;
        AddAll(tin, RandomPoints(3000, seed, 1000.0));
        tin.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
        TinReport r = CheckTin(tin);
        EXPECT_TRUE(r.Valid()) << "seed " << seed << ": " << r.first;
        EXPECT_EQ(r.unusedNodes, 0);
        EXPECT_GT(r.triangles, 2 * 3000 - 100);
    }
}

TEST(TinDelaunay, ResultDoesNotDependOnInputOrderOrRepetition)
{
    auto pts = RandomPoints(2000, 42, 100.0);
    G3TriInterface first, again, shuffled;
    AddAll(first, pts);
    AddAll(again, pts);
    std::mt19937 rng(5);
    std::shuffle(pts.begin(), pts.end(), rng);
    AddAll(shuffled, pts);
    first.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    again.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    shuffled.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    ASSERT_EQ(first.GetTriangleCount(), again.GetTriangleCount());
    for (int t = 0; t < first.GetTriangleCount(); ++t) {
        G3TVertex* a[3];
        G3TVertex* b[3];
        first.GetTriangle(t, a);
        again.GetTriangle(t, b);
        for (int k = 0; k < 3; ++k)
            ASSERT_EQ(a[k]->id, b[k]->id);
    }
    // Points in general position have one Delaunay triangulation.
    EXPECT_EQ(TriangleSignature(first), TriangleSignature(shuffled));
}

// Layouts full of collinear and cocircular points, where the tolerant
// predicates decide every tie.
TEST(TinDelaunay, DegenerateLayoutsGiveValidTriangulations)
{
    struct Case {
        const char* name;
        Points pts;
    };
    std::vector<Case> cases(7);
    const double sn = std::sin(0.3), cs = std::cos(0.3);
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> tiny(0.0, 1e-7);
    cases[0].name = "integer grid";
    cases[1].name = "decimal grid rotated";
    for (int i = 0; i < 37; ++i)
        for (int j = 0; j < 30; ++j) {
            if (j < 29)
                cases[0].pts.emplace_back(i, j);
            if (i < 30)
                cases[1].pts.emplace_back(cs * i * 0.1 - sn * j * 0.1, sn * i * 0.1 + cs * j * 0.1);
        }
    // Map coordinates: rows collinear only up to the rounding of the
    // positions, plus nanometre noise.
    cases[2].name = "grid with holes and duplicates";
    cases[3].name = "decimal grid at map coordinates";
    for (int i = 0; i < 50; ++i)
        for (int j = 0; j < 50; ++j) {
            if (rng() % 3 != 0) {
                cases[2].pts.emplace_back(i * 2.0, j * 3.0);
                if (rng() % 5 == 0)
                    cases[2].pts.emplace_back(i * 2.0 + 1e-9, j * 3.0);
            }
            if (i < 40 && j < 40) {
                const double dx = (rng() % 3) * 1e-9; // in sequence: argument order is unspecified
                const double dy = (rng() % 3) * 1e-9;
                cases[3].pts.emplace_back(500000.123 + i * 0.37 + dx, 5000000.456 + j * 0.37 + dy);
            }
        }
    cases[4].name = "few long lines";
    for (int i = 0; i < 400; ++i)
        cases[4].pts.insert(cases[4].pts.end(), {{i * 0.5, 0.0}, {i * 0.5, 10.0}, {0.0, i * 0.25}, {i * 0.3, i * 0.3 + 1}});
    cases[5].name = "concentric circles";
    for (int r = 1; r <= 12; ++r)
        for (int i = 0; i < 48; ++i)
            cases[5].pts.emplace_back(r * std::cos(i * M_PI / 24), r * std::sin(i * M_PI / 24));
    // Far below unit size: every orientation value is under 1e-8, and many
    // points lie closer than 1e-8 to others.
    cases[6].name = "tight cluster and far points";
    for (int i = 0; i < 1000; ++i)
        cases[6].pts.emplace_back(50 + tiny(rng), 50 + tiny(rng));
    for (int i = 0; i < 300; ++i)
        cases[6].pts.emplace_back((i * 37) % 101, (i * 59) % 103);
    for (const Case& c : cases) {
        G3TriInterface tin;
        AddAll(tin, c.pts);
        tin.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
        TinReport r = CheckTin(tin);
        EXPECT_GT(r.triangles, 0) << c.name;
        EXPECT_EQ(r.inverted + r.badLinks + r.sharedEdges, 0) << c.name << ": " << r.first;
        EXPECT_NEAR(r.area, r.hullArea, 1e-6 * std::max(1.0, r.hullArea)) << c.name;
    }
}

TEST(TinDelaunay, NonFiniteAndHugeCoordinatesAreSurvived)
{
    const double inf = HUGE_VAL, nan = std::nan("");
    G3TriInterface tin;
    G3TVertex* bad = Add(tin, nan, 1.0);
    Add(tin, inf, 2.0);
    Add(tin, 3.0, -inf);
    for (int i = 0; i < 50; ++i)
        Add(tin, (i * 7) % 13, (i * 5) % 11);
    tin.AddEdge(bad, tin.GetVertex(10));
    tin.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    EXPECT_EQ(tin.GetKeptVertex(bad), nullptr);
    EXPECT_TRUE(CheckTin(tin).Valid()) << CheckTin(tin).first;

    // Values whose products overflow: no crash, whatever comes out.
    G3TriInterface huge;
    std::mt19937 rng(3);
    for (int i = 0; i < 300; ++i)
        Add(huge, (rng() % 2 ? 1e300 : -1e300) * (rng() % 100), 1e-300 * (rng() % 100));
    for (int i = 0; i < 20; ++i)
        huge.AddEdge(huge.GetVertex(static_cast<int>(rng() % 300)), huge.GetVertex(static_cast<int>(rng() % 300)));
    EXPECT_TRUE(huge.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT));
}

} // namespace
