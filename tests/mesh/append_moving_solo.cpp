// Moving one surface's entities onto another in place of copying them. It
// declines once an object provider is registered, which is process-wide
// and for good, so it runs in an executable of its own.

#include "../common/builders.h"
#include "../common/fingerprint.h"
#include "mesh_check.h"

#include "Geometry/mesh/G3HitDataExDataProvider.h"
#include "Geometry/mesh/G3TexCoo.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace testmesh;

G3Facet* Tri(G3Surface* s, int a, int b, int c) { return FacetByIds(*s, {a, b, c}); }

// A source with corner data, a second surface number, a selected facet, a
// material count, a tagged vertex, a flagged edge, a NaN a host wrote into
// a coordinate, and ids a host renumbered.
SurfacePtr Source()
{
    SurfacePtr s = SquareAndApex();
    G3Normal* n = s->AddNormal(0, 0, 1);
    G3TexCoo* t = s->AddTexCoo(0.5, 0.25);
    s->SetSurface(s->GetNextSurface());
    G3Vertex* v[3] = {s->GetVertex(0), s->GetVertex(1), s->GetVertex(4)};
    G3Normal* ns[3] = {n, n, n};
    G3TexCoo* ts[3] = {t, t, t};
    s->AddFacet(3, v, 1, ns, ts);
    Tri(s.get(), 1, 2, 4)->SetSelected();
    s->IncMaterialFacetsCount();
    s->IncSelectesFacetsCount();
    static int material = 4;
    s->GetFacet(0)->GetExtendedData().Add(kMaterial, &material);
    s->GetVertex(2)->SetTag(9);
    s->GetEdge(1)->SetFlags(s->GetEdge(1)->GetFlags() | 4);
    s->GetVertex(3)->GetXYZ()[1] = std::nan("");
    for (int i = 0; i < s->GetVertexCount(); ++i)
        s->GetVertex(i)->SetId(100 - i);
    s->SetFlags(1);
    return s;
}

SurfacePtr Target()
{
    SurfacePtr d = SquareAndApex();
    Tri(d.get(), 0, 1, 2);
    d->GetNextSurface();
    d->SetMaterialFacetsCount(2);
    return d;
}

TEST(SurfaceAppendMoving, LeavesWhatCopyLeavesAndDeclinesWhereWatched)
{
    SurfacePtr copied = Target();
    SurfacePtr moved = Target();
    SurfacePtr a = Source();
    SurfacePtr b = Source();
    copied->Copy(a.get());
    ASSERT_TRUE(moved->AppendMoving(b.get()));
    EXPECT_EQ(Fingerprint(copied.get()), Fingerprint(moved.get()));
    EXPECT_EQ("", MeshCheck(moved.get()));
    EXPECT_EQ("", MeshCheck(b.get()));
    EXPECT_EQ(Vi({0, 0, 0, 0, 0, 0}), Vi({b->GetVertexCount(), b->GetEdgeCount(), b->GetFacetCount(),
                                          b->GetNormalCount(), b->GetTexCooCount(), b->GetMaterialFacetsCount()}));
    EXPECT_FALSE(moved->AppendMoving(moved.get()));

    // A preview open on either surface, or polyedges in the source: declined,
    // nothing moved.
    const Vi before({moved->GetVertexCount(), moved->GetFacetCount()});
    SurfacePtr c = Source();
    c->AddPolyEdge(2, std::vector<int>{3, 0}.data());
    EXPECT_FALSE(moved->AppendMoving(c.get()));
    SurfacePtr d = Source();
    moved->OpenTransformation(true, true);
    EXPECT_FALSE(moved->AppendMoving(d.get()));
    moved->CloseTransformation();
    // Once an object provider is registered, entities may carry records it
    // copies: declined from then on.
    ASSERT_NE(nullptr, G3HitDataExDataProvider::Get());
    EXPECT_FALSE(moved->AppendMoving(d.get()));
    EXPECT_EQ(before, Vi({moved->GetVertexCount(), moved->GetFacetCount()}));
    EXPECT_EQ(5, d->GetVertexCount());
}

} // namespace
