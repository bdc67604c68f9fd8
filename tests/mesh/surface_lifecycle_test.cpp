// The life cycle of a surface beyond building it: copies and duplicates of
// surfaces that hold working state (a complex-facet bracket, an open preview), facets added
// during a preview, and edge lists handed to AddFacet out of walk order.

#include "common/builders.h"
#include "mesh_check.h"

#include "Geometry/math/GMatrix.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/processing/G3EdgeList.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using namespace testmesh;

Vi Counts(G3Surface* s) { return Vi({s->GetVertexCount(), s->GetEdgeCount(), s->GetFacetCount()}); }
Vd Plane(const G3Facet* f) { return Vd(f->GetPlane(), f->GetPlane() + 4); }

// A host object a caller keeps in an entity's scratch link; smaller than a
// point, so reading it as one is an overflow the sanitizers see.
struct HostLink : GObj {
};

} // namespace

// The complex-facet bracket and a preview are the source's working state:
// neither Copy nor Duplicate hands them to the copy.
TEST(SurfaceLifecycle, CopiesShareNoWorkingStateOfTheSource)
{
    SurfacePtr s = SquareAndApex();
    s->BeginComplexFacet();
    FacetByIds(*s, {0, 1, 2, 3});
    SurfacePtr dup(s->Duplicate());
    EXPECT_EQ(nullptr, dup->GetExData());
    FacetByIds(*dup, {0, 1, 4});
    s->EndComplexFacet();
    EXPECT_EQ(1, s->GetFacetCount());
    EXPECT_EQ(2, dup->GetFacetCount());
    EXPECT_EQ("", MeshCheck(s.get()));
    EXPECT_EQ("", MeshCheck(dup.get()));
    FacetByIds(*dup, {1, 2, 4});
    EXPECT_EQ("", MeshCheck(dup.get()));

    // A target's own bracket survives a Copy into it and keeps collecting.
    SurfacePtr target = SquareAndApex();
    target->BeginComplexFacet();
    GObj* bracket = target->GetExData();
    target->Copy(dup.get());
    EXPECT_EQ(bracket, target->GetExData());
    target->EndComplexFacet();
    EXPECT_EQ(nullptr, target->GetExData());

    // Copies of a surface in the middle of a preview carry the entities'
    // own links, not the preview's saved state.
    HostLink host;
    SurfacePtr p = SquareAndApex();
    FacetByIds(*p, {0, 1, 4});
    p->GetVertex(2)->SetExData(&host);
    p->GetFacet(0)->SetExData(&host);
    double shift[4][4];
    M4Identity(shift);
    M4Translate(shift, 5, 0, 0);
    p->OpenTransformation(true, true);
    p->Transformation(shift);
    SurfacePtr pdup(p->Duplicate());
    SurfacePtr pcopy = SquareAndApex();
    pcopy->Copy(p.get());
    p->CloseTransformation();
    EXPECT_EQ(&host, pdup->GetVertex(2)->GetExData());
    EXPECT_EQ(nullptr, pdup->GetVertex(3)->GetExData());
    EXPECT_EQ(&host, pdup->GetFacet(0)->GetExData());
    EXPECT_EQ(&host, pcopy->GetVertex(5 + 2)->GetExData());
    EXPECT_EQ(nullptr, pdup->GetExDataProvider());
    EXPECT_EQ("", MeshCheck(pdup.get()));
}

// What Copy adds to a surface with an open preview is tracked by it (the
// positions are the random edit test's): the copied links and planes come
// back at close.
TEST(SurfaceLifecycle, CopyIntoAnOpenPreviewIsTrackedByIt)
{
    HostLink host;
    SurfacePtr src = SquareAndApex();
    FacetByIds(*src, {0, 1, 4});
    src->GetVertex(1)->SetExData(&host);
    src->GetFacet(0)->SetExData(&host);
    const Vd srcPlane = Plane(src->GetFacet(0));

    SurfacePtr dst = SquareAndApex();
    FacetByIds(*dst, {0, 1, 2, 3});
    double shift[4][4];
    M4Identity(shift);
    M4Translate(shift, 0, 0, 7);
    dst->OpenTransformation(true, true);
    dst->Copy(src.get());
    dst->Transformation(shift);
    EXPECT_NEAR(srcPlane[3] - 7 * srcPlane[2], dst->GetFacet(1)->GetPlane()[3], 1e-12);
    dst->CloseTransformation();
    EXPECT_EQ(&host, dst->GetVertex(5 + 1)->GetExData());
    EXPECT_EQ(&host, dst->GetFacet(1)->GetExData());
    EXPECT_EQ(nullptr, dst->GetVertex(5)->GetExData());
    EXPECT_EQ(srcPlane, Plane(dst->GetFacet(1)));
    EXPECT_EQ("", MeshCheck(dst.get()));
}

// Facets made during a preview (one by one, by triangulation, from edge
// lists) end with the plane of their vertices as restored.
TEST(SurfaceLifecycle, FacetsAddedDuringAPreviewKeepTheirPlanes)
{
    const Vd up = {0, 0, 1, 0};
    double lift[4][4];
    M4Identity(lift);
    M4Translate(lift, 0, 0, 3);
    SurfacePtr t = SquareAndApex();
    t->OpenTransformation(true, false);
    t->Transformation(lift);
    G3Facet* late = FacetByIds(*t, {0, 1, 2, 3});
    EXPECT_EQ(Vd({0, 0, 1, -3}), Plane(late));
    t->CloseTransformation();
    EXPECT_EQ(up, Plane(late));

    // Triangles of a facet triangulated during a preview.
    SurfacePtr u = SquareAndApex();
    FacetByIds(*u, {0, 1, 2, 3});
    u->OpenTransformation(true, false);
    EXPECT_TRUE(u->Triangulate(4, 0));
    u->CloseTransformation();
    ASSERT_EQ(2, u->GetFacetCount());
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(up, Plane(u->GetFacet(i))) << i;

    // Facets from edge lists.
    SurfacePtr w = SquareAndApex();
    G3Facet* model = FacetByIds(*w, {0, 1, 2, 3});
    GArrayCollection lists;
    lists.add(new G3EdgeList(model));
    w->RemoveFacet(model);
    w->OpenTransformation(true, false);
    w->AddFacets(&lists);
    w->CloseTransformation();
    ASSERT_EQ(1, w->GetFacetCount());
    EXPECT_EQ(up, Plane(w->GetFacet(0)));
    EXPECT_EQ("", MeshCheck(w.get()));
}

// AddFacet from an edge list needs edges running end to start into closed
// contours; anything else is refused before the surface changes.
TEST(SurfaceLifecycle, EdgeListsOutOfWalkOrderAreRefused)
{
    SurfacePtr s = SquareAndApex();
    G3Vertex* v[5];
    for (int i = 0; i < 5; ++i)
        v[i] = s->GetVertex(i);
    std::vector<std::unique_ptr<G3Edge>> owned;
    auto list = [&](std::vector<std::pair<int, int>> ends) {
        auto c = std::make_unique<GArrayCollection>();
        for (const auto& e : ends) {
            owned.push_back(std::make_unique<G3Edge>(v[e.first], v[e.second]));
            c->add(owned.back().get());
        }
        return c;
    };
    const std::pair<const char*, std::vector<std::pair<int, int>>> refused[] = {
        {"out of order", {{0, 1}, {2, 3}, {1, 2}, {3, 0}}},
        {"reversed edge", {{0, 1}, {2, 1}, {2, 3}, {3, 0}}},
        {"open contour", {{0, 1}, {1, 2}, {2, 3}}},
        {"closed then open", {{0, 1}, {1, 2}, {2, 0}, {3, 4}, {4, 2}}},
    };
    for (const auto& c : refused) {
        auto edges = list(c.second);
        EXPECT_EQ(nullptr, s->AddFacet(edges.get(), 0, 1)) << c.first;
        EXPECT_EQ(Vi({5, 0, 0}), Counts(s.get())) << c.first;
    }
    // Two contours one after the other.
    auto two = list({{0, 1}, {1, 4}, {4, 0}, {2, 3}, {3, 4}, {4, 2}});
    EXPECT_NE(nullptr, s->AddFacet(two.get(), 0, 1));
    EXPECT_EQ("", MeshCheck(s.get()));
}

// A surface built aside moves into an empty one whole; a target that holds
// anything keeps it and refuses the move.
TEST(SurfaceLifecycle, MoveContentsFromFillsOnlyAnEmptySurface)
{
    SurfacePtr built = SquareAndApex();
    ASSERT_NE(nullptr, FacetByIds(*built, {0, 1, 2, 3}));
    ASSERT_NE(nullptr, FacetByIds(*built, {0, 1, 4}));

    G3Surface target;
    target.SetSurface(7);
    ASSERT_TRUE(target.MoveContentsFrom(*built));
    EXPECT_EQ(Vi({5, 6, 2}), Counts(&target));
    EXPECT_EQ(Vi({0, 0, 0}), Counts(built.get()));
    EXPECT_EQ(7, target.GetSurface()); // numbers stay with the target
    EXPECT_EQ("", MeshCheck(&target)); // facets name their new parent

    SurfacePtr again = SquareAndApex();
    EXPECT_FALSE(target.MoveContentsFrom(*again));
    EXPECT_FALSE(target.MoveContentsFrom(target));
    EXPECT_EQ(Vi({5, 6, 2}), Counts(&target));
    EXPECT_EQ(Vi({5, 0, 0}), Counts(again.get()));
}
