#include "mesh_check.h"

#include "Geometry/mesh/G3PassCheck.h"

#include "Geometry/foundation/GTrace.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

// Two triangles over the unit square, 0-2 their shared edge.
void TwoTriangles(G3Surface& s)
{
    const double pts[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    for (const auto& p : pts)
        s.AddVertex(p[0], p[1], p[2], 0);
    int a[3] = {0, 1, 2};
    int b[3] = {0, 2, 3};
    s.AddFacet(3, a, 1, nullptr, nullptr);
    s.AddFacet(3, b, 1, nullptr, nullptr);
}

// Takes the first edge out of vertex 2's ring (its facets still name it):
// the most common way a pass breaks a mesh. Returns the edge.
G3Edge* DropFromRing(G3Surface& s)
{
    G3Vertex* v = s.GetVertex(2);
    G3Edge* e = v->GetFirstEdge();
    v->RemoveEdge(e);
    return e;
}

} // namespace

// The check names the broken invariant and the entity at fault, so that a
// failing pass can be told from the report alone.
TEST(MeshCheckReport, NamesTheBrokenRingInvariant)
{
    G3Surface s;
    TwoTriangles(s);
    ASSERT_EQ("", G3MeshCheck(&s));

    G3Edge* e = DropFromRing(s);
    const std::string dropped = G3MeshCheck(&s);
    EXPECT_EQ(0u, dropped.find("edge with a facet: not once in each end's ring (" + std::to_string(e->GetId())))
        << dropped;
    s.GetVertex(2)->AddEdge(e);
    ASSERT_EQ("", G3MeshCheck(&s));

    // The ring's tail linked back to its head.
    G3Vertex* v = s.GetVertex(0);
    G3Edge* last = v->GetLastEdge();
    last->SetVertexEdge(v, v->GetFirstEdge());
    EXPECT_EQ("vertex: ring loops (0)", G3MeshCheck(&s));
    last->SetVertexEdge(v, nullptr);
    ASSERT_EQ("", G3MeshCheck(&s));

    // lastEdge short of the ring's end.
    v->SetLastEdge(v->GetFirstEdge());
    EXPECT_EQ("vertex: lastEdge is not the ring's end (0)", G3MeshCheck(&s));
    v->SetLastEdge(last);
    EXPECT_EQ("", G3MeshCheck(&s));
}

#if defined(G3_CHECK_PASSES)

void TraceToStderr(const char* message) { std::fprintf(stderr, "[trace] %s\n", message); }

// With the passes checking themselves, a pass that leaves a broken mesh
// behind stops the process, naming the pass and the invariant, and tells
// the trace hook first.
TEST(PassCheckDeathTest, PassOnABrokenMeshAbortsNamingTheInvariant)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    G3Surface s;
    TwoTriangles(s);
    DropFromRing(s);
    EXPECT_DEATH(s.RemoveUnusedNormal(),
                 "mesh check after RemoveUnusedNormal: edge with a facet: not once in each end's ring");
    EXPECT_DEATH(
        {
            GSetTraceSink(TraceToStderr);
            s.RemoveUnusedNormal();
        },
        "\\[trace\\] mesh check after RemoveUnusedNormal: edge with a facet");
}

// Only the outermost pass on a shell checks, and a hold checks nothing: a
// mesh broken and mended inside either passes.
TEST(PassCheckDeathTest, NestedPassesAndHoldsCheckOnlyAtTheOutermostExit)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    G3Surface s;
    TwoTriangles(s);
    {
        G3_CHECK_PASS(&s, "outer");
        G3Edge* e = DropFromRing(s);
        s.RemoveUnusedNormal();
        s.GetVertex(2)->AddEdge(e);
    }
    {
        G3_HOLD_PASS_CHECKS(&s);
        G3Edge* e = DropFromRing(s);
        s.RemoveUnusedTexCoo();
        s.GetVertex(2)->AddEdge(e);
    }
    EXPECT_EQ("", G3MeshCheck(&s));

    // A guard on another shell does not hide this one's passes.
    G3Surface other;
    EXPECT_DEATH(
        {
            G3_CHECK_PASS(&other, "other");
            DropFromRing(s);
            s.RemoveUnusedNormal();
        },
        "after RemoveUnusedNormal: edge with a facet");
    // The outer guard reports what its nested passes left broken.
    EXPECT_DEATH(
        {
            G3_CHECK_PASS(&s, "outer");
            DropFromRing(s);
            s.RemoveUnusedNormal();
        },
        "after outer: edge with a facet");
}

#endif
