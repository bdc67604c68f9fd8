// Roofs over chosen outlines: hip and gable rectangles, overhang, shared
// pitches, thickness and fascia, and the L, T and U outlines whose arms fix
// the ridge height.
#include "roof_support.h"

#include "Geometry/mesh/G3Edge.h"
#include "Geometry/roof/G3RoofVertex.h"

#include <gtest/gtest.h>


using namespace roof;

TEST(RoofShape, GableAndItsFasciaByType)
{
    // Edges 0 and 2 (the short sides) are vertical: gables.
    const std::vector<double> a = {Deg(90), Deg(30), Deg(90), Deg(30)};
    G3Surface s;
    ASSERT_TRUE(Build(&s, kRect, a));
    ExpectRoofInPlanes(&s, kRect, a, false);
    ASSERT_EQ(2, s.GetFacetCount());

    G3Surface thick;
    ASSERT_TRUE(Build(&thick, kRect, a, 0.25));
    EXPECT_EQ("", MeshCheck(&thick));
    // Two roof and two lower facets; one eave fascia per eave, one gable
    // fascia per rake (two per gable).
    EXPECT_EQ((std::vector<int>{0, 2, 2, 2, 4}), TypeCounts(&thick));
    EXPECT_NEAR(60.0, RoofArea(&thick, ROOF_FACET_LOWER), 1e-9);
    EXPECT_NEAR(60.0, RoofArea(&thick, ROOF_FACET_ROOF), 1e-9);
    EXPECT_NEAR(3.0 * std::tan(Deg(30)) + 0.25, ZRange(&thick).second, 1e-9);
    for (int i = 0; i < thick.GetFacetCount(); ++i) {
        G3Facet* f = thick.GetFacet(i);
        const ROOF_FACET_TYPE t = G3RoofGenerator::GetFacetType(f);
        if (t != ROOF_FACET_EAVE_FASCIA && t != ROOF_FACET_GABLE_FASCIA)
            continue;
        // Fascia quads are vertical; eaves belong to edges 2 and 4, rakes
        // rise along the gables 1 and 3.
        EXPECT_NEAR(0.0, ProjectedArea(f), 1e-12);
        const long idx = G3RoofGenerator::GetFacetIndex(f);
        EXPECT_EQ(t == ROOF_FACET_EAVE_FASCIA, idx == 2 || idx == 4) << idx;
    }
    // The rake fascia closes the gable ends between the layers.
    thick.RemoveEqualsVertexAndDivideEdges();
    EXPECT_EQ("", MeshCheck(&thick));
    EXPECT_TRUE(thick.GetClosed());
}

TEST(RoofShape, ThickRoofsWeldIntoClosedShells)
{
    G3Surface s;
    ASSERT_TRUE(Build(&s, kRect, std::vector<double>(4, Deg(30)), 0.3));
    EXPECT_EQ("", MeshCheck(&s));
    EXPECT_EQ((std::vector<int>{0, 4, 4, 4, 0}), TypeCounts(&s)); // roof, lower, eave fascia
    // As written every facet has vertices of its own: open. Welded, the two
    // layers and the fascia close up.
    EXPECT_FALSE(s.GetClosed());
    s.RemoveEqualsVertex();
    EXPECT_EQ("", MeshCheck(&s));
    EXPECT_TRUE(s.GetClosed());
    // A thickness too small for the raised layer gets no fascia either.
    G3Surface thin;
    ASSERT_TRUE(Build(&thin, kRect, std::vector<double>(4, Deg(30)), 5e-7));
    EXPECT_EQ((std::vector<int>{0, 4, 0, 0, 0}), TypeCounts(&thin));

    // Where a ridge meets a crossing ridge one side has a vertex the other
    // lacks: the roof closes once edges are divided at such vertices.
    const std::vector<Pt> h = {{0, 0}, {2, 0}, {2, 3}, {4, 3}, {4, 0}, {6, 0},
                               {6, 8}, {4, 8}, {4, 5}, {2, 5}, {2, 8}, {0, 8}};
    for (double overhang : {0.0, 0.5}) {
        G3Surface hs;
        ASSERT_TRUE(Build(&hs, h, std::vector<double>(h.size(), Deg(40)), 0.3, overhang));
        EXPECT_EQ(12, TypeCounts(&hs)[ROOF_FACET_EAVE_FASCIA]);
        hs.RemoveEqualsVertexAndDivideEdges();
        EXPECT_EQ("", MeshCheck(&hs));
        EXPECT_TRUE(hs.GetClosed()) << overhang;
    }
}

TEST(RoofShape, OverhangDropsEavesAlongPlanes)
{
    G3Surface s;
    ASSERT_TRUE(Build(&s, kRect, std::vector<double>(4, Deg(45)), 0.0, 0.5));
    EXPECT_EQ("", MeshCheck(&s));
    EXPECT_NEAR(11.0 * 7.0, RoofArea(&s, ROOF_FACET_ROOF), 1e-9);
    // The eaves drop by the overhang; the ridge stays where the planes put
    // it without overhang.
    EXPECT_NEAR(-0.5, ZRange(&s).first, 1e-12);
    EXPECT_NEAR(3.0, ZRange(&s).second, 1e-9);
}

TEST(RoofShape, LTUArmsGiveRidgeAtHalfWidth)
{
    const std::vector<std::vector<Pt>> shapes = {
        {{0, 0}, {10, 0}, {10, 4}, {4, 4}, {4, 10}, {0, 10}},
        {{0, 6}, {0, 10}, {12, 10}, {12, 6}, {8, 6}, {8, 0}, {4, 0}, {4, 6}},
        {{0, 0}, {12, 0}, {12, 10}, {8, 10}, {8, 4}, {4, 4}, {4, 10}, {0, 10}},
    };
    for (double deg : {20.0, 35.0, 50.0})
        for (const std::vector<Pt>& p : shapes)
            for (const std::vector<Pt>& outline : {p, std::vector<Pt>(p.rbegin(), p.rend())}) {
                const std::vector<double> a(p.size(), Deg(deg));
                G3Surface s;
                ASSERT_TRUE(Build(&s, outline, a));
                ExpectRoofInPlanes(&s, outline, a, true);
                EXPECT_NEAR(2.0 * std::tan(Deg(deg)), ZRange(&s).second, 1e-9);
            }
}

TEST(RoofShape, CollinearEdgesWithOneAngleShareAPitch)
{
    // The U's two arm ends lie on y = 10; with different angles they get a
    // plane each.
    const std::vector<Pt> p = {{0, 0}, {12, 0}, {12, 10}, {8, 10}, {8, 4}, {4, 4}, {4, 10}, {0, 10}};
    for (double last : {40.0, 45.0}) {
        std::vector<double> a(p.size(), Deg(40));
        a[7] = Deg(last);
        Outline o(p, a);
        G3Surface s;
        G3RoofGenerator gen(&s, 0.0, 0.0, 0.0);
        ASSERT_TRUE(gen.Regen(&o.points, &o.angleList));
        EXPECT_EQ(last == 40.0 ? 7 : 8, gen.pitches.size());
        int shared = 0;
        for (int i = 0; i < gen.pitches.size(); ++i)
            shared += static_cast<G3RoofPitch*>(gen.pitches.get(i))->facetRings.size() == 2 ? 1 : 0;
        EXPECT_EQ(last == 40.0 ? 1 : 0, shared);
        EXPECT_NEAR(120.0 - 24.0, RoofArea(&s, ROOF_FACET_ROOF), 1e-9);
    }
}
