#include "mesh_check.h"

#include "Geometry/mesh/G3PassCheck.h"

#include <gtest/gtest.h>

namespace {

// One triangle: vertices 0-2, edges 0-2, facet 0.
void Triangle(G3Surface& s)
{
    s.AddVertex(0, 0, 0, 0);
    s.AddVertex(1, 0, 0, 0);
    s.AddVertex(0, 1, 0, 0);
    int v[3] = {0, 1, 2};
    s.AddFacet(3, v, 1, nullptr, nullptr);
}

} // namespace

// Each scratch mark on each kind of entity is reported with the entity's
// index and the bits; other flags (visibility, selection) are not marks.
TEST(MeshMarksCheck, ReportsEachScratchMarkOnEachKind)
{
    G3Surface s;
    Triangle(s);
    s.GetFacet(0)->SetSelected();
    s.GetEdge(1)->SetFlags(s.GetEdge(1)->GetFlags() | 4);
    ASSERT_EQ("", G3MeshMarksCheck(&s));
    const struct {
        G3Obj* entity;
        void (G3Obj::*set)();
        const char* report;
    } cases[] = {
        {s.GetVertex(2), &G3Obj::SetMark, "vertex: mark left set (2, 134217728)"},
        {s.GetEdge(1), &G3Obj::SetMark2, "edge: mark left set (1, 67108864)"},
        {s.GetFacet(0), &G3Obj::SetMark3, "facet: mark left set (0, 16777216)"},
        {s.GetEdge(0), &G3Obj::SetMark4, "edge: mark left set (0, 8388608)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.report);
        const long before = c.entity->GetFlags();
        (c.entity->*c.set)();
        EXPECT_EQ(c.report, G3MeshMarksCheck(&s));
        EXPECT_EQ("", G3MeshCheck(&s)); // a mark breaks no other invariant
        c.entity->SetFlags(before);
    }
    EXPECT_EQ("null shell", G3MeshMarksCheck(nullptr));
}

#if defined(G3_CHECK_PASSES)

// A pass that began without marks and leaves one stops the process. A shell
// that already held marks (a dump read back) is not blamed on the pass, nor
// is a pass that takes entities in as they are; a marks hold lets its passes
// hand marks on, and checks them at its own end.
TEST(PassCheckDeathTest, MarksLeftByAPassAbortUnlessHeldOrTakenIn)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    G3Surface s;
    Triangle(s);
    {
        G3_HOLD_PASS_MARKS(&s, "hold");
        {
            G3_CHECK_PASS(&s, "marks");
            s.GetEdge(0)->SetMark3();
        }
        s.GetEdge(0)->ClearMark3();
    }
    {
        G3_CHECK_PASS_KEEPING_MARKS(&s, "taking in");
        s.GetFacet(0)->SetMark();
    }
    {
        G3_CHECK_PASS(&s, "found marked");
        s.GetVertex(0)->SetMark2();
    }
    s.GetFacet(0)->ClearMark();
    s.GetVertex(0)->ClearMark2();

    EXPECT_DEATH(
        {
            G3_CHECK_PASS(&s, "outer");
            s.GetEdge(2)->SetMark4();
        },
        "mesh check after outer: edge: mark left set \\(2, 8388608\\)");
    EXPECT_DEATH(
        {
            G3_HOLD_PASS_MARKS(&s, "hold");
            G3_CHECK_PASS(&s, "inner");
            s.GetEdge(1)->SetMark3();
        },
        "mesh check after hold: edge: mark left set \\(1,");
}

#endif

// A plane left as it was formed passes; one whose corner has moved since,
// however little, is reported by facet index, and the check changes no
// plane.
TEST(StalePlanesCheck, ReportsTheFirstFacetWhoseCornersMovedSinceItsPlane)
{
    G3Surface s;
    Triangle(s);
    s.AddVertex(0, 0, 1, 0);
    int v[3] = {0, 3, 1};
    s.AddFacet(3, v, 1, nullptr, nullptr);
    s.FormPlaneEquation();
    EXPECT_EQ("", G3StalePlanesCheck(&s));
    double* p = s.GetVertex(3)->GetXYZ();
    p[1] = 1e-12;
    const double before[4] = {s.GetFacet(1)->GetPlane()[0], s.GetFacet(1)->GetPlane()[1],
                              s.GetFacet(1)->GetPlane()[2], s.GetFacet(1)->GetPlane()[3]};
    EXPECT_EQ("facet: plane not formed from its corners (1)", G3StalePlanesCheck(&s));
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(before[c], s.GetFacet(1)->GetPlane()[c]);
    s.FormPlaneEquation();
    EXPECT_EQ("", G3StalePlanesCheck(&s));
    EXPECT_EQ("null shell", G3StalePlanesCheck(nullptr));
}
