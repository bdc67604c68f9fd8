// Edge lists: contours normalized head to tail, equality up to rotation,
// corner data carried, a facet with a hole taken apart and rebuilt, copies.

#include "common/builders.h"
#include "mesh_check.h"

#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/processing/G3EdgeList.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

namespace {

using testmesh::SurfacePtr;
using ListPtr = std::unique_ptr<G3EdgeList>;

// An outer square 0..3 and a hole 4..7 inside it, at z = 0.
SurfacePtr SquareWithHoleVertices()
{
    SurfacePtr s(new G3Surface());
    const double pts[8][2] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}, {1, 1}, {1, 3}, {3, 3}, {3, 1}};
    for (const auto& p : pts)
        s->AddVertex(p[0], p[1], 0, 0);
    return s;
}

// Every contour of `l` runs head to tail and closes; returns the number of
// contours (-1 when one does not).
int HeadToTailContours(G3EdgeList* l)
{
    int contours = 0;
    int start = 0;
    for (int k = 1; k <= l->size(); ++k) {
        if (k < l->size() && l->GetEdge(k)->IsLink(l->GetEdge(k - 1))) {
            if (l->GetEdge(k)->GetVertex1() != l->GetEdge(k - 1)->GetVertex2())
                return -1;
            continue;
        }
        if (l->GetEdge(k - 1)->GetVertex2() != l->GetEdge(start)->GetVertex1())
            return -1;
        ++contours;
        start = k;
    }
    return contours;
}

} // namespace

TEST(EdgeList, NormalizeOrientsEveryContourHeadToTail)
{
    SurfacePtr s = SquareWithHoleVertices();
    G3Vertex* v[8];
    for (int i = 0; i < 8; ++i)
        v[i] = s->GetVertex(i);
    ListPtr l(new G3EdgeList(0, 1)), tiny(new G3EdgeList(0, 1));
    // The outer contour starts backwards, the hole forwards: each
    // contour's start is judged by its own second edge, not by the end of
    // the contour before it.
    const std::pair<int, int> edges[] = {{1, 0}, {1, 2}, {3, 2}, {3, 0}, {4, 5}, {6, 5}, {6, 7}, {4, 7}};
    for (const auto& e : edges)
        l->AddEdge(v[e.first], v[e.second], nullptr, nullptr, nullptr, nullptr, 1);
    l->Normalize();
    EXPECT_EQ(2, HeadToTailContours(l.get()));
    EXPECT_TRUE(l->GetEdge(0)->GetVertex1() == v[0] && l->GetEdge(4)->GetVertex1() == v[4]);

    // A two-edge contour leaves nothing to walk off.
    for (int i = 0; i < 2; ++i)
        tiny->AddEdge(v[0], v[1], nullptr, nullptr, nullptr, nullptr, 1);
    tiny->Normalize();
    EXPECT_EQ(1, HeadToTailContours(tiny.get()));
}

TEST(EdgeList, ArraysSkipRepeatsCarryCornersAndCompareUpToRotation)
{
    SurfacePtr s = SquareWithHoleVertices();
    G3Normal* n[4] = {s->AddNormal(0, 0, 1), s->AddNormal(0, 0, 1), s->AddNormal(0, 0, 1),
                      s->AddNormal(0, 0, 1)};
    G3TexCoo* t[4] = {s->AddTexCoo(0, 0), s->AddTexCoo(1, 0), s->AddTexCoo(1, 1), s->AddTexCoo(0, 1)};
    G3Vertex* v[4] = {s->GetVertex(0), s->GetVertex(1), s->GetVertex(1), s->GetVertex(2)};
    int flags[4] = {1, 2, 4, 8};
    G3EdgeList l(4, v, flags, n, t, 3, 9);
    ASSERT_EQ(3, l.size());
    EXPECT_EQ(1, l.GetEdge(0)->GetFlags());
    EXPECT_EQ(4, l.GetEdge(1)->GetFlags()); // the step 1 -> 1 was skipped
    G3TexCoo* got = nullptr;
    EXPECT_EQ(n[2], l.GetEdge(1)->GetFacet1V1(&got));
    EXPECT_EQ(t[2], got);
    EXPECT_EQ(n[3], l.GetEdge(1)->GetFacet2V2(&got));
    EXPECT_EQ(t[3], got);
    EXPECT_TRUE(l.GetFacetFlags() == 3 && l.GetFacetSurface() == 9);

    // Equal up to rotation, not reversed or shorter.
    G3Vertex* w[4] = {s->GetVertex(0), s->GetVertex(1), s->GetVertex(2), s->GetVertex(3)};
    G3Vertex* rotated[4] = {w[2], w[3], w[0], w[1]};
    G3Vertex* reversed[4] = {w[3], w[2], w[1], w[0]};
    G3EdgeList a(4, w, nullptr, nullptr, nullptr, 0, 1), b(4, rotated, nullptr, nullptr, nullptr, 0, 1);
    G3EdgeList c(4, reversed, nullptr, nullptr, nullptr, 0, 1), d(3, w, nullptr, nullptr, nullptr, 0, 1);
    EXPECT_TRUE(a.Equals(&b) && b.Equals(&a));
    EXPECT_FALSE(a.Equals(&c) || a.Equals(&d) || a.Equals(nullptr));
}

TEST(EdgeList, FacetWithHoleRoundTripsThroughAList)
{
    SurfacePtr s = SquareWithHoleVertices();
    G3Normal* up = s->AddNormal(0, 0, 1);
    G3Vertex* outer[4] = {s->GetVertex(0), s->GetVertex(1), s->GetVertex(2), s->GetVertex(3)};
    G3Normal* ups[4] = {up, up, up, up};
    s->SetSurface(6);
    G3Facet* f = s->AddFacet(4, outer, 1, ups, nullptr);
    ASSERT_NE(nullptr, f);
    G3Vertex* hole[4] = {s->GetVertex(4), s->GetVertex(5), s->GetVertex(6), s->GetVertex(7)};
    G3EdgeList holeList(4, hole, nullptr, ups, nullptr, 0, 0);
    EXPECT_EQ(f, s->AddFacetEdges(f, &holeList));
    EXPECT_EQ(8, f->GetEdgeCount());
    EXPECT_EQ("", MeshCheck(s.get()));

    G3EdgeList l(f);
    ASSERT_EQ(8, l.size());
    EXPECT_EQ(2, HeadToTailContours(&l));
    EXPECT_EQ(6, l.GetFacetSurface());
    EXPECT_EQ(f->GetPlane()[2], l.GetPlane()[2]);
    for (int i = 0; i < l.size(); ++i)
        EXPECT_EQ(up, l.GetEdge(i)->GetFacet1V2(nullptr)) << i;
    EXPECT_TRUE(l.FormMaxPlaneCoo());
    EXPECT_TRUE(l.GetXCoo() != 2 && l.GetYCoo() != 2 && l.GetXCoo() != l.GetYCoo());

    // Rebuilt as a facet of its own, corners and all: the two facets are
    // the two sides of one sheet.
    G3Facet* g = s->AddFacet(&l, 0, 2);
    ASSERT_NE(nullptr, g);
    EXPECT_TRUE(g->GetEdgeCount() == 8 && g->GetSurface() == 2);
    EXPECT_EQ(up, g->GetNormal(s->GetVertex(5), nullptr));
    EXPECT_EQ("", MeshCheck(s.get()));
}

TEST(EdgeList, CopiesOwnTheirEdges)
{
    SurfacePtr s = SquareWithHoleVertices();
    G3Vertex* v[4] = {s->GetVertex(0), s->GetVertex(1), s->GetVertex(2), s->GetVertex(3)};
    G3EdgeList a(4, v, nullptr, nullptr, nullptr, 5, 7);
    a.SetContourType(CONTOUR_TYPE_HOLE);
    a.SetInCount(1);
    a.FormMaxPlaneCoo();

    G3EdgeList b(a);
    G3EdgeList c(0, 0);
    c = a;
    ListPtr d(a.Duplicate());
    for (G3EdgeList* x : {&b, &c, d.get()}) {
        ASSERT_EQ(4, x->size());
        EXPECT_NE(a.GetEdge(0), x->GetEdge(0));
        EXPECT_TRUE(a.Equals(x) && x->GetContourType() == CONTOUR_TYPE_HOLE && x->GetFacetFlags() == 5);
    }
    // Copies take the working state too; a duplicate starts it afresh.
    EXPECT_TRUE(b.GetXCoo() == a.GetXCoo() && c.GetInCount() == 1);
    EXPECT_TRUE(d->GetXCoo() == -1 && d->GetInCount() == 0 && d->GetPlane()[2] == 0.0);
}
