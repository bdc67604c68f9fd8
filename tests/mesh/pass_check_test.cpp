#include "mesh_check.h"

#include "Geometry/mesh/G3PassCheck.h"

#include "Geometry/foundation/GTrace.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>

namespace {

// Two triangles over the unit square: facet 0 is 0-1-2 (edges 0, 1, 2),
// facet 1 is 0-2-3 (sharing edge 2, then edges 3 and 4).
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

// Takes the first edge (1-2) out of vertex 2's ring, its facets still
// naming it: the most common way a pass breaks a mesh. Returns the edge.
G3Edge* DropFromRing(G3Surface& s)
{
    G3Edge* e = s.GetVertex(2)->GetFirstEdge();
    s.GetVertex(2)->RemoveEdge(e);
    return e;
}

} // namespace

// The check names the broken invariant and the entity at fault, so that a
// failing pass can be told from the report alone. Each case breaks a fresh
// mesh in one place.
TEST(MeshCheckReport, NamesEachBrokenInvariant)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const char* name;
        std::function<void(G3Surface&)> breakIt;
        const char* report;
    } cases[] = {
        {"edge left out of a ring", [](G3Surface& s) { DropFromRing(s); },
         "edge with a facet: not once in each end's ring (1, 10)"},
        {"ring tail linked to its head",
         [](G3Surface& s) {
             G3Vertex* v = s.GetVertex(0);
             v->GetLastEdge()->SetVertexEdge(v, v->GetFirstEdge());
         },
         "vertex: ring loops (0)"},
        {"lastEdge short of the ring's end",
         [](G3Surface& s) { s.GetVertex(0)->SetLastEdge(s.GetVertex(0)->GetFirstEdge()); },
         "vertex: lastEdge is not the ring's end (0)"},
        {"chain stops one edge early",
         [](G3Surface& s) {
             G3Facet* f = s.GetFacet(0);
             G3Edge* second = f->GetFirstEdge()->GetFacetEdge(f);
             second->SetFacetEdge(f, nullptr);
             f->SetLastEdge(second);
         },
         "facet: open contour (0, 2)"},
        {"chain edge naming another facet", [](G3Surface& s) { s.GetEdge(0)->SetFacet1(s.GetFacet(1)); },
         "facet: chain edge does not name the facet (0, 0)"},
        {"one facet on both sides", [](G3Surface& s) { s.GetEdge(0)->SetFacet2(s.GetFacet(0)); },
         "edge: one facet on both sides (0)"},
        {"id differs from index", [](G3Surface& s) { s.GetFacet(1)->SetId(0); },
         "facet: id differs from index (1, 0)"},
        {"foreign parent", [](G3Surface& s) { s.GetFacet(1)->SetParentSurface(nullptr); },
         "facet: parent is not this surface (1)"},
        {"plane not finite",
         [nan](G3Surface& s) {
             const double p[4] = {0, 0, nan, 0};
             s.GetFacet(1)->SetPlane(p);
         },
         "facet: plane not finite (1)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        G3Surface s;
        TwoTriangles(s);
        ASSERT_EQ("", G3MeshCheck(&s));
        c.breakIt(s);
        EXPECT_EQ(c.report, G3MeshCheck(&s));
    }
    EXPECT_EQ("null shell", G3MeshCheck(nullptr));
}

#if defined(G3_CHECK_PASSES)

void TraceToStderr(const char* message) { std::fprintf(stderr, "[trace] %s\n", message); }

// With the passes checking themselves, a pass that leaves a broken mesh
// behind stops the process, naming the pass and the invariant, and tells
// the trace hook first. Only the outermost pass on a shell checks, and a
// hold checks nothing: a mesh broken and mended inside either passes.
TEST(PassCheckDeathTest, OutermostPassOnABrokenMeshAbortsNamingTheInvariant)
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

    const char* ring = "edge with a facet: not once in each end's ring";
    EXPECT_DEATH(
        {
            GSetTraceSink(TraceToStderr);
            DropFromRing(s);
            s.RemoveUnusedNormal();
        },
        std::string("\\[trace\\] mesh check after RemoveUnusedNormal: ") + ring);
    // A guard on another shell does not hide this one's passes; the outer
    // guard reports what its nested passes left broken.
    G3Surface other;
    EXPECT_DEATH(
        {
            G3_CHECK_PASS(&other, "other");
            DropFromRing(s);
            s.RemoveUnusedNormal();
        },
        "after RemoveUnusedNormal: edge with a facet");
    EXPECT_DEATH(
        {
            G3_CHECK_PASS(&s, "outer");
            DropFromRing(s);
            s.RemoveUnusedNormal();
        },
        "after outer: edge with a facet");
}

#endif
