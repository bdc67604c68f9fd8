// Delaunay runs without constraints: small exact cases, coinciding points,
// degenerate layouts (grids, lines, circles) and random sets.

#include "tin_check.h"

#include "mesh/mesh_check.h"

#include "Geometry/terrain/triangulation/G3TriPredicates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

using Points = std::vector<std::pair<double, double>>;

void AddAll(G3TriInterface& tin, const Points& pts)
{
    for (const auto& p : pts)
        Add(tin, p.first, p.second);
}

Points RandomPoints(int n, unsigned seed, double size)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, size);
    Points p;
    for (int i = 0; i < n; ++i)
        p.emplace_back(u(rng), u(rng));
    return p;
}

TEST(TinDelaunay, SmallAndCollinearInputs)
{
    Points line; // a long one, through every merge path
    for (int i = 0; i < 1000; ++i)
        line.emplace_back(0.5 * i, 3.0 - 0.25 * i);
    const std::pair<Points, int> cases[] = {{{}, 0}, {{{0, 0}, {1, 1}}, 0}, {{{0, 0}, {2, 2}, {1, 1}}, 0},
                                            {line, 0}, {{{0, 0}, {0, 1}, {1, 0}}, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first.size());
        G3TriInterface tin;
        AddAll(tin, c.first);
        EXPECT_TRUE(tin.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT));
        EXPECT_EQ(tin.GetTriangleCount(), c.second);
        EXPECT_TRUE(CheckTin(tin).Valid()) << CheckTin(tin).first; // the clockwise three turned
    }
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

// Random points: the empty-circle property on every edge, the hull tiled,
// and the same triangles whatever the input order (points in general
// position have one Delaunay triangulation) or on a second run.
TEST(TinDelaunay, RandomPointsAreDelaunayWhateverTheOrder)
{
    for (unsigned seed : {1u, 2u, 3u}) {
        Points pts = RandomPoints(3000, seed, 1000.0);
        G3TriInterface tin, again, shuffled;
        AddAll(tin, pts);
        AddAll(again, pts);
        std::shuffle(pts.begin(), pts.end(), std::mt19937(seed + 4));
        AddAll(shuffled, pts);
        for (G3TriInterface* t : {&tin, &again, &shuffled})
            t->MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
        TinReport r = CheckTin(tin);
        EXPECT_TRUE(r.Valid()) << "seed " << seed << ": " << r.first;
        EXPECT_EQ(r.unusedNodes, 0);
        EXPECT_GT(r.triangles, 2 * 3000 - 100);
        ASSERT_EQ(tin.GetTriangleCount(), again.GetTriangleCount());
        for (int t = 0; t < tin.GetTriangleCount(); ++t) {
            G3TVertex *a[3], *b[3];
            tin.GetTriangle(t, a);
            again.GetTriangle(t, b);
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(a[k]->id, b[k]->id);
        }
        EXPECT_EQ(TriangleSignature(tin), TriangleSignature(shuffled));
    }
}

// Layouts full of collinear and cocircular points, where the tolerant
// predicates decide every tie.
TEST(TinDelaunay, DegenerateLayoutsGiveValidTriangulations)
{
    // (Integer lattices with repeats are the constraint tests' random inputs.)
    std::vector<std::pair<const char*, Points>> cases = {{"decimal grid rotated", {}},
                                                         {"decimal grid at map coordinates", {}},
                                                         {"few long lines", {}},
                                                         {"concentric circles and centre", {{0, 0}}},
                                                         {"tight cluster and far points", {}},
                                                         // Asked in different orders, the tolerance once
                                                         // called the same triples collinear and turning,
                                                         // and these folded triangles over each other.
                                                         {"rotated centimetre grid at map coordinates",
                                                          {{499999.99900187395, 5000000.0223383913},
                                                           {499999.99413494515, 5000000.0310741235},
                                                           {500000.01747146295, 5000000.0097338576},
                                                           {500000.01260453416, 5000000.0184695888},
                                                           {500000.00773760543, 5000000.0272053201},
                                                           {500000.00287067663, 5000000.0359410523},
                                                           {500000.02620719443, 5000000.0146007864},
                                                           {500000.02134026564, 5000000.0233365176},
                                                           {500000.01160640811, 5000000.040807981}}},
                                                         {"lattice points moved by about 1e-8",
                                                          {{1.2e-08, 499.99999998800001}, {0, 400}, {400, 400},
                                                           {400, 400.00000002000002}, {400.00000001199999, 700},
                                                           {900.00000002000002, 599.99999997999998},
                                                           {500.00000001199999, 1.2e-08},
                                                           {600.00000000299997, 699.99999999700003},
                                                           {800.00000001199999, 800.00000001199999},
                                                           {500, 199.99999998000001}}}};
    const double sn = std::sin(0.3), cs = std::cos(0.3);
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> tiny(0.0, 1e-7);
    for (int i = 0; i < 40; ++i)
        for (int j = 0; j < 40; ++j) {
            if (i < 30 && j < 30)
                cases[0].second.emplace_back(cs * i * 0.1 - sn * j * 0.1, sn * i * 0.1 + cs * j * 0.1);
            // Map coordinates: rows collinear only up to the rounding of the
            // positions, plus nanometre noise.
            const double dx = (rng() % 3) * 1e-9; // in sequence: argument order is unspecified
            const double dy = (rng() % 3) * 1e-9;
            cases[1].second.emplace_back(500000.123 + i * 0.37 + dx, 5000000.456 + j * 0.37 + dy);
        }
    for (int i = 0; i < 400; ++i)
        cases[2].second.insert(cases[2].second.end(),
                               {{i * 0.5, 0.0}, {i * 0.5, 10.0}, {0.0, i * 0.25}, {i * 0.3, i * 0.3 + 1}});
    for (int r = 1; r <= 12; ++r)
        for (int i = 0; i < 48; ++i)
            cases[3].second.emplace_back(r * std::cos(i * M_PI / 24), r * std::sin(i * M_PI / 24));
    // Far below unit size: every orientation value is under 1e-8, and many
    // points lie closer than 1e-8 to others.
    for (int i = 0; i < 1000; ++i)
        cases[4].second.emplace_back(50 + tiny(rng), 50 + tiny(rng));
    for (int i = 0; i < 300; ++i)
        cases[4].second.emplace_back((i * 37) % 101, (i * 59) % 103);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        G3TriInterface tin;
        AddAll(tin, c.second);
        tin.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
        TinReport r = CheckTin(tin);
        EXPECT_GT(r.triangles, 0);
        EXPECT_EQ(r.inverted + r.badLinks + r.sharedEdges, 0) << r.first;
        EXPECT_NEAR(r.area, r.hullArea, 1e-6 * std::max(1.0, r.hullArea));
    }
}

// The orientation's sign is one function of the three nodes: turned by a
// swap, kept by a rotation. Triples of rotated grids (collinear up to the
// rounding of their positions) at every scale, near the origin and at map
// coordinates.
TEST(TinPredicates, OrientationSignIsTheSameInEveryOrder)
{
    std::mt19937 rng(17);
    int zeros = 0;
    for (double spacing : {0.01, 1.0, 100.0, 10000.0})
        for (double ox : {0.0, 500000.0})
            for (int round = 0; round < 2000; ++round) {
                const double a = (rng() % 40) * 0.0391, c = std::cos(a), s = std::sin(a);
                g3tri::Node n[3];
                for (int k = 0; k < 3; ++k) {
                    const double i = rng() % 12, j = rng() % 12;
                    n[k] = {ox + spacing * (i * c - j * s), 10 * ox + spacing * (i * s + j * c), k};
                }
                const int sign = g3tri::OrientSign(n[0], n[1], n[2]);
                zeros += sign == 0;
                EXPECT_EQ(sign, g3tri::OrientSign(n[1], n[2], n[0]));
                EXPECT_EQ(sign, g3tri::OrientSign(n[2], n[0], n[1]));
                EXPECT_EQ(-sign, g3tri::OrientSign(n[1], n[0], n[2]));
                EXPECT_EQ(-sign, g3tri::OrientSign(n[0], n[2], n[1]));
                EXPECT_EQ(-sign, g3tri::OrientSign(n[2], n[1], n[0]));
            }
    EXPECT_GT(zeros, 300);  // collinear triples were asked about
}

// Rotated survey grids whose coordinates were rounded (to a nanometre near
// the origin, to a millimetre or a nanometre at map coordinates): rows
// straight only to within the rounding; and scattered points, a third of
// them doubled 1e-9 to 1e-5 away. The banded signs once merged such inputs
// into triangulations that wrapped round themselves (a hull through one
// node twice) or cut a corner off the hull, every triangle turning the
// right way: the triangles must tile the hull once, and the surface pass
// the mesh check.
TEST(TinDelaunay, RoundedGridsAndNearDoublesTileTheirHullOnce)
{
    const struct {
        double origin, quantum; // quantum 0: scattered points with near doubles
    } families[] = {{0.0, 1e-9}, {5e6, 1e-9}, {5e6, 1e-3}, {0.0, 0.0}, {5e6, 0.0}};
    for (const auto& family : families)
        for (unsigned seed = 0; seed < 150; ++seed) {
            SCOPED_TRACE(testing::Message() << family.origin << " " << family.quantum << " " << seed);
            std::mt19937 rng(seed);
            std::uniform_real_distribution<double> u(0.0, 1.0);
            const int m = 4 + static_cast<int>(rng() % 15);
            const double spacing = 1.0 + 14.0 * u(rng), angle = 3.14159 * u(rng);
            const double cx = family.origin + 300.0 * u(rng), cy = family.origin + 300.0 * u(rng);
            G3TriInterface tin;
            for (int i = 0; i <= m; ++i)
                for (int j = 0; j <= m; ++j) {
                    double p[3] = {cx + spacing * (i * std::cos(angle) - j * std::sin(angle)),
                                   cy + spacing * (i * std::sin(angle) + j * std::cos(angle)), 0.0};
                    if (family.quantum > 0.0) {
                        p[0] = std::round(p[0] / family.quantum) * family.quantum;
                        p[1] = std::round(p[1] / family.quantum) * family.quantum;
                        tin.AddVertex(p);
                        continue;
                    }
                    p[0] = cx + 200.0 * u(rng);
                    p[1] = cy + 200.0 * u(rng);
                    tin.AddVertex(p);
                    if (rng() % 3 == 0) {
                        const double d = std::pow(10.0, -9.0 + 4.0 * u(rng));
                        p[0] += d * (2.0 * u(rng) - 1.0);
                        p[1] += d * (2.0 * u(rng) - 1.0);
                        tin.AddVertex(p);
                    }
                }
            tin.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
            const TinReport r = CheckTin(tin);
            EXPECT_EQ(r.badLinks + r.sharedEdges + r.unusedNodes, 0) << r.first;
            EXPECT_NEAR(r.hullArea, r.area, 1e-9 * r.hullArea);
            std::unique_ptr<G3Surface> s(tin.GetSurface());
            EXPECT_EQ("", MeshCheck(s.get()));
        }
}

// The exact signs against integer arithmetic: nodes on a lattice of step
// 2^-30 beside a common offset (the differences are exact, their products
// fit 128 bits), placed on a line or on a circle through lattice points and
// then moved by a step or none, where the plain evaluation cannot decide.
TEST(TinPredicates, ExactSignsMatchIntegerArithmetic)
{
    const double step = std::ldexp(1.0, -30);
    std::mt19937 rng(23);
    auto sign = [](__int128 v) { return v > 0 ? 1 : v < 0 ? -1 : 0; };
    // Lattice triples (i, j) on the circle of radius 5 * 13 * 17 * k.
    const long long base[][2] = {{1105, 0}, {1020, 425}, {975, 520}, {884, 663}, {855, 700}, {800, 725},
                                 {0, 1105}, {-1020, 425}, {-975, -520}, {744, -817}, {-47, 1104}, {1104, 47}};
    int zeros = 0;
    for (double offset : {0.0, 3.0, 5e6})
        for (int round = 0; round < 3000; ++round) {
            long long q[4][2];
            const long long k = 1 + rng() % 300;
            for (auto& p : q) {
                const auto& b = base[rng() % 12];
                const int flip = static_cast<int>(rng() % 4);
                p[0] = (flip & 1 ? -1 : 1) * b[flip & 2 ? 1 : 0] * k + static_cast<long long>(rng() % 3) - 1;
                p[1] = (flip & 1 ? 1 : -1) * b[flip & 2 ? 0 : 1] * k + static_cast<long long>(rng() % 3) - 1;
            }
            if (round % 2) // collinear: q[2] between q[0] and q[1], moved by a step or none
                for (int c = 0; c < 2; ++c)
                    q[2][c] = q[0][c] + (q[1][c] - q[0][c]) * 3 + static_cast<long long>(rng() % 3) - 1;
            g3tri::Node n[4];
            for (int i = 0; i < 4; ++i)
                n[i] = {offset + q[i][0] * step, offset + q[i][1] * step, i};
            auto d = [&](int i, int c) { return static_cast<__int128>(q[i][c] - q[3][c]); };
            const __int128 o = static_cast<__int128>(q[0][0] - q[2][0]) * (q[1][1] - q[2][1]) -
                               static_cast<__int128>(q[0][1] - q[2][1]) * (q[1][0] - q[2][0]);
            EXPECT_EQ(sign(o), g3tri::OrientSignExact(n[0], n[1], n[2]));
            const __int128 la = d(0, 0) * d(0, 0) + d(0, 1) * d(0, 1), lb = d(1, 0) * d(1, 0) + d(1, 1) * d(1, 1),
                           lc = d(2, 0) * d(2, 0) + d(2, 1) * d(2, 1);
            const __int128 in = la * (d(1, 0) * d(2, 1) - d(2, 0) * d(1, 1)) +
                                lb * (d(2, 0) * d(0, 1) - d(0, 0) * d(2, 1)) +
                                lc * (d(0, 0) * d(1, 1) - d(1, 0) * d(0, 1));
            EXPECT_EQ(sign(in), g3tri::InCircleSignExact(n[0], n[1], n[2], n[3]));
            zeros += (o == 0) + (in == 0);
        }
    EXPECT_GT(zeros, 500); // exact ties were asked about
}

TEST(TinDelaunay, NonFiniteAndHugeCoordinatesAreSurvived)
{
    G3TriInterface tin;
    G3TVertex* bad = Add(tin, std::nan(""), 1.0);
    Add(tin, HUGE_VAL, 2.0);
    Add(tin, 3.0, -HUGE_VAL);
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
        huge.AddEdge(huge.GetVertex(static_cast<int>(rng() % 300)),
                     huge.GetVertex(static_cast<int>(rng() % 300)));
    EXPECT_TRUE(huge.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT));
}

} // namespace
