// The generator's refusals, orientation, record lookups, texture
// coordinates, copies, and the planar segment test it shares.
#include "roof_support.h"

#include "Geometry/math/G3SegmentTest.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/roof/G3RoofFacetProvider.h"
#include "Geometry/roof/G3RoofVertex.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

using namespace roof;

TEST(RoofApi, BadOutlinesAreRefusedAndLeaveTheSurfaceAlone)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<double> a30(4, Deg(30));
    // A narrow slot: pushed outwards by 1 its two sides cross.
    const std::vector<Pt> slot = {{0, 0},   {10, 0},  {10, 10},  {5.5, 10},
                                  {5.5, 2}, {4.5, 2}, {4.5, 10}, {0, 10}};
    struct Case {
        const char* what;
        std::vector<Pt> p;
        std::vector<double> a;
        double overhang = 0.3;
    };
    const std::vector<Case> cases = {
        {"negative tiny angle", kRect, {Deg(30), -5e-7, Deg(30), Deg(30)}},
        {"nan angle", kRect, {Deg(30), nan, Deg(30), Deg(30)}},
        {"bow tie", {{0, 0}, {10, 6}, {10, 0}, {0, 6}}, a30},
        {"touching itself", {{0, 0}, {10, 0}, {10, 6}, {5, 0}, {0, 6}}, std::vector<double>(5, Deg(30))},
        {"two distinct points", {{0, 0}, {10, 0}, {10, 0}, {0, 0}}, a30},
        {"collinear", {{0, 0}, {5, 0}, {10, 0}, {7, 0}}, a30},
        {"too few", {{0, 0}, {10, 0}}, {Deg(30), Deg(30)}},
        {"nan point", {{0, 0}, {nan, 0}, {10, 6}, {0, 6}}, a30},
        {"counts differ", kRect, {Deg(30), Deg(30), Deg(30)}},
        {"overhang crossing itself", slot, std::vector<double>(slot.size(), Deg(30)), 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        G3Surface s;
        s.AddVertex(1.0, 2.0, 3.0, 0);
        Outline o(c.p, c.a);
        // G3Point stores NaN as 0: put the bad coordinate back after.
        for (std::size_t i = 0; i < c.p.size(); ++i)
            o.objs[i].SetX(c.p[i].x);
        G3RoofGenerator gen(&s, 0.0, 0.2, c.overhang);
        EXPECT_FALSE(gen.Regen(&o.points, &o.angleList));
        EXPECT_EQ(0, s.GetFacetCount());
        EXPECT_EQ(1, s.GetVertexCount());
    }
    G3Surface s;
    EXPECT_TRUE(Build(&s, slot, std::vector<double>(slot.size(), Deg(30)), 0.0, 0.2)); // the slot stays open
    // A null angle entry and null lists.
    Outline o(kRect, a30);
    o.angleList.put(2, nullptr);
    G3Surface t;
    G3RoofGenerator gen(&t, 0.0, 0.0, 0.0);
    EXPECT_FALSE(gen.Regen(&o.points, &o.angleList));
    EXPECT_FALSE(gen.Regen(nullptr, &o.angleList));
    EXPECT_FALSE(gen.Regen(&o.points, nullptr));
    EXPECT_EQ(0, t.GetFacetCount());
}

TEST(RoofApi, OrientationOfClosedListWithReflexNeighbour)
{
    // Clockwise, the lowest point first and repeated at the end; the next
    // corner, (1, 3), is reflex. Without passing over the repeat the test
    // would decide at that corner and answer counter-clockwise. Reversed it
    // turns; doubled points elsewhere change nothing; a straight list is
    // undecided.
    std::vector<G3Point> pts = {{0, 0, 0}, {-2, 4, 0}, {1, 3, 0}, {4, 4, 0}, {0, 0, 0}, {1, 1, 0}, {2, 2, 0}};
    const std::pair<std::vector<int>, int> cases[] = {
        {{0, 1, 2, 3, 4}, 1}, {{4, 3, 2, 1, 0}, -1}, {{0, 0, 1, 1, 2, 2, 3, 3, 4, 4}, 1}, {{0, 5, 6}, 0}};
    for (const auto& c : cases) {
        GArrayCollection list;
        for (int k : c.first)
            list.add(&pts[static_cast<std::size_t>(k)]);
        EXPECT_EQ(c.second, G3RoofGenerator::GetClockWiseDirection(&list)) << c.first.size();
    }
}

TEST(RoofApi, NeighbouringFacetIdsWrapAround)
{
    G3Surface s;
    G3RoofFacetProvider* provider = G3RoofFacetProvider::Get();
    for (int index : {2, 4}) {
        provider->SetCurrent(index, ROOF_FACET_ROOF);
        const double z = index;
        G3Vertex* v[3] = {s.AddVertex(0, 0, z, 0), s.AddVertex(1, 0, z, 0), s.AddVertex(0, 1, z, 0)};
        ASSERT_NE(nullptr, s.AddFacet(3, v, 1, nullptr, nullptr));
    }
    provider->SetCurrent(0, 0);
    // Of records 2 and 4 (of 4 edges), edge 1 has 4 before and 2 after it,
    // edge 2 has 4 on both sides.
    for (const std::array<int, 3>& c : {std::array<int, 3>{1, 4, 2}, {2, 4, 4}}) {
        int before = -1, after = -1;
        EXPECT_TRUE(G3RoofGenerator::GetNeighboringFacetID(&s, 4, c[0], before, after));
        EXPECT_EQ(c[1], before);
        EXPECT_EQ(c[2], after);
    }
    G3Point inside;
    EXPECT_EQ(s.GetFacet(1), G3RoofGenerator::GetFacetbyPoint(&s, 4, ROOF_FACET_ROOF, &inside));
    EXPECT_NEAR(4.0, inside.GetZ(), 1e-12);
    EXPECT_EQ(nullptr, G3RoofGenerator::GetFacetbyPoint(&s, 4, ROOF_FACET_LOWER, &inside));
    EXPECT_EQ(nullptr, G3RoofGenerator::GetFacetbyPoint(&s, 3, ROOF_FACET_NONE, &inside));
    G3Surface none;
    int before = -1, after = -1;
    EXPECT_FALSE(G3RoofGenerator::GetNeighboringFacetID(&none, 4, 1, before, after));
}

TEST(RoofApi, LookupsByEdgeAndPointAndTextureCoordinates)
{
    G3Surface s;
    Outline o(kRect, std::vector<double>(4, Deg(30)));
    G3RoofGenerator gen(&s, 0.0, 0.0, 0.0);
    ASSERT_TRUE(gen.Regen(&o.points, &o.angleList));
    G3Point a(0, 0, 0), b(10, 0, 0), mid(5, -1, 0);
    G3Facet* f = nullptr;
    ASSERT_TRUE(G3RoofGenerator::GetFacetbyEdge(&b, &a, &s, ROOF_FACET_ROOF, &f));
    EXPECT_EQ(2, G3RoofGenerator::GetFacetIndex(f));
    EXPECT_FALSE(G3RoofGenerator::GetFacetbyEdge(&a, &mid, &s, ROOF_FACET_NONE, &f));
    EXPECT_EQ(nullptr, f);
    // A point on the slope of the bottom edge: 1 in, tan(30) up.
    G3Point onSlope(5, 1, std::tan(Deg(30)));
    ASSERT_TRUE(G3RoofGenerator::GetFacetbyPoint(&onSlope, &s, ROOF_FACET_NONE, &f));
    EXPECT_EQ(2, G3RoofGenerator::GetFacetIndex(f));
    EXPECT_FALSE(G3RoofGenerator::GetFacetbyPoint(&mid, &s, ROOF_FACET_NONE, &f));

    // Every corner gets the facet's normal and texture coordinates that keep
    // the facet's lengths.
    ASSERT_TRUE(gen.GenerateTexCoo());
    EXPECT_EQ("", MeshCheck(&s));
    for (int i = 0; i < s.GetFacetCount(); ++i) {
        G3Facet* g = s.GetFacet(i);
        const double* pl = g->GetPlane();
        const std::vector<G3Vertex*> vs = Corners(g);
        for (std::size_t k = 0; k < vs.size(); ++k) {
            G3TexCoo* tp = nullptr;
            G3TexCoo* tq = nullptr;
            const G3Normal* n = g->GetNormal(vs[k], &tp);
            g->GetNormal(vs[(k + 1) % vs.size()], &tq);
            ASSERT_TRUE(n && tp && tq);
            EXPECT_NEAR(1.0, std::fabs(n->GetX() * pl[0] + n->GetY() * pl[1] + n->GetZ() * pl[2]), 1e-9);
            const double* p = vs[k]->GetXYZ();
            const double* q = vs[(k + 1) % vs.size()]->GetXYZ();
            EXPECT_NEAR(std::hypot(std::hypot(p[0] - q[0], p[1] - q[1]), p[2] - q[2]),
                        std::hypot(tp->GetU() - tq->GetU(), tp->GetV() - tq->GetV()), 1e-9);
        }
    }
    G3Surface empty;
    G3RoofGenerator none(&empty, 0.0, 0.0, 0.0);
    EXPECT_FALSE(none.GenerateTexCoo());
}

TEST(RoofApi, CopiesAndRerunsDoNotShareWorkingState)
{
    G3Surface s;
    Outline o(kRect, std::vector<double>(4, Deg(30)));
    G3RoofGenerator* gen = new G3RoofGenerator(&s, 7.0, 0.0, 0.0);
    ASSERT_TRUE(gen->Regen(&o.points, &o.angleList));
    G3RoofGenerator copy(*gen);
    EXPECT_EQ(0, copy.pitches.size());
    delete gen; // the copy's rings are its own: nothing is released twice
    // A second run writes one more roof, not the first one again.
    ASSERT_TRUE(copy.Regen(&o.points, &o.angleList));
    EXPECT_EQ(8, s.GetFacetCount());
    EXPECT_EQ(4, copy.pitches.size());
    // No surface: the sweep runs, nothing is written.
    G3RoofGenerator blind(nullptr, 0.0, 0.3, 0.0);
    EXPECT_TRUE(blind.Regen(&o.points, &o.angleList));
    EXPECT_GT(blind.levelRings.size(), 0);
}

// The outline checks see a corner touching an edge only through this: an
// end of either segment on the other meets it (z ignored).
TEST(RoofApi, SegmentEndOnTheOtherMeets)
{
    const double a[3] = {0, 0, 0}, b[3] = {10, 0, 0}, c[3] = {5, 0, 9}, d[3] = {5, 5, -9};
    EXPECT_TRUE(G3SegmentTest(a, b, c, d) && G3SegmentTest(c, d, a, b));
}

// Every eave takes the first pitch (list order) whose plane lies within
// kPlaneEqual of its own, as GetPitchIndex's walk over the pitches finds it:
// on skylines whose bar tops lie on a few lines, jittered by up to twice
// that tolerance so that planes fall on both sides of it, with mixed pitches.
TEST(RoofApi, EavesTakeTheFirstPitchWithinTolerance)
{
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double kDeg[] = {30.0, 30.0, 45.0, 90.0};
    int shared = 0;
    for (int round = 0; round < 40; ++round) {
        const int bars = 5 + static_cast<int>(rng() % 60);
        std::vector<Pt> p = {{0, 0}, {2.0 * bars, 0}};
        for (int i = bars - 1; i >= 0; --i) {
            const double h = 2.0 + 2.0 * static_cast<double>(rng() % 3) + 2e-6 * unit(rng);
            p.push_back({2.0 * (i + 1), h});
            p.push_back({2.0 * i, h});
        }
        std::vector<double> a;
        for (std::size_t i = 0; i < p.size(); ++i)
            a.push_back(Deg(kDeg[rng() % 4]));
        Outline o(p, a);
        G3RoofGenerator gen(nullptr, 0.0, 0.0, 0.0);
        G3RoofVertex* ring = nullptr;
        ASSERT_TRUE(gen.PrepareContour(&o.points, &o.angleList, &ring));
        ASSERT_TRUE(gen.FirstLevelInitialization(ring));
        int corners = 0;
        const G3RoofVertex* v = ring;
        do {
            EXPECT_EQ(gen.GetPitchIndex(const_cast<double*>(v->plane)), v->pitchIndex) << round;
            v = v->next;
            ++corners;
        } while (v != ring);
        shared += gen.pitches.size() < corners ? 1 : 0;
        G3RoofRing::Release(ring);
    }
    // Most outlines have eaves sharing a pitch: the lookup was exercised.
    EXPECT_GT(shared, 30);
}
