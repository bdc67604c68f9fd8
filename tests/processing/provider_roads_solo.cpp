// Roads the kernel takes only while nothing watches entities come and go,
// against the roads it takes once an object provider is registered: moving
// a surface's entities instead of copying them, remaking a merged facet in
// place instead of making a new one, running two steps side by side instead
// of one after the other. Registering a provider is process-wide and for
// good, hence an executable of its own, with every unwatched run first.

#include "boolean/solid_fixtures.h"
#include "common/builders.h"
#include "common/fingerprint.h"
#include "mesh/mesh_check.h"

#include "Geometry/boolean/G3SideBySide.h"
#include "Geometry/mesh/G3HitDataExDataProvider.h"
#include "Geometry/mesh/G3TexCoo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace testmesh;

// A source with corner data, a second surface number, a selected facet,
// counts, extended data, a tagged vertex, a flagged edge, a NaN a host
// wrote into a coordinate, and ids a host renumbered.
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
    FacetByIds(*s, {1, 2, 4})->SetSelected();
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
    FacetByIds(*d, {0, 1, 2});
    d->GetNextSurface();
    d->SetMaterialFacetsCount(2);
    return d;
}

// A height field of n x n quads, each split along a random diagonal, over
// heights drawn from {0, 0, 0, 1, 2}: flat runs merge into large groups
// (the edge-list road), single planar quads into pairs (the short cut),
// bent quads stay apart; some quads are left out, for boundaries.
SurfacePtr HeightField(unsigned seed)
{
    const int n = 4 + static_cast<int>(seed % 9);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> height(0, 4), coin(0, 1), hole(0, 15);
    SurfacePtr s(new G3Surface());
    for (int i = 0; i <= n; ++i)
        for (int j = 0; j <= n; ++j) {
            const int h = height(rng);
            s->AddVertex(i, j, h < 3 ? 0 : h - 2, 0);
        }
    auto at = [n](int i, int j) { return i * (n + 1) + j; };
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            if (hole(rng) == 0)
                continue;
            const int a = at(i, j), b = at(i + 1, j), c = at(i + 1, j + 1), d = at(i, j + 1);
            if (coin(rng)) {
                FacetByIds(*s, {a, b, c});
                FacetByIds(*s, {a, c, d});
            } else {
                FacetByIds(*s, {b, c, d});
                FacetByIds(*s, {b, d, a});
            }
        }
    s->FormPlaneEquation();
    return s;
}

// The merge of every seed, with both masks (any edge; invisible edges).
std::vector<std::string> Merges(int* groups)
{
    std::vector<std::string> out;
    for (unsigned seed = 1; seed <= 40; ++seed)
        for (int mask : {-1, 0}) {
            SurfacePtr s = HeightField(seed);
            if (mask == 0)
                s->ChangeEdgeFlags(1, false);
            const int merged = s->UnionInPlaneFacets(mask);
            *groups += merged;
            EXPECT_EQ("", MeshCheck(s.get()));
            out.push_back(std::to_string(merged) + "\n" + Fingerprint(s.get()));
        }
    return out;
}

TEST(ProviderRoads, UnwatchedRoadsLeaveWhatWatchedRoadsLeave)
{
    // Moving leaves the target as copying does, the source empty; declined
    // with polyedges in the source or a preview open.
    SurfacePtr copied = Target(), moved = Target(), a = Source(), b = Source();
    copied->Copy(a.get());
    ASSERT_TRUE(moved->AppendMoving(b.get()));
    EXPECT_EQ(Fingerprint(copied.get()), Fingerprint(moved.get()));
    EXPECT_EQ("", MeshCheck(moved.get()));
    EXPECT_EQ("", MeshCheck(b.get()));
    EXPECT_EQ(Vi({0, 0, 0, 0, 0, 0}), Vi({b->GetVertexCount(), b->GetEdgeCount(), b->GetFacetCount(),
                                          b->GetNormalCount(), b->GetTexCooCount(), b->GetMaterialFacetsCount()}));
    const Vi before({moved->GetVertexCount(), moved->GetFacetCount()});
    SurfacePtr c = Source(), d = Source();
    c->AddPolyEdge(2, std::vector<int>{3, 0}.data());
    EXPECT_FALSE(moved->AppendMoving(c.get()));
    moved->OpenTransformation(true, true);
    EXPECT_FALSE(moved->AppendMoving(d.get()));
    moved->CloseTransformation();
    EXPECT_FALSE(moved->AppendMoving(moved.get()));

    int inPlaceGroups = 0, newFacetGroups = 0;
    const std::vector<std::string> inPlace = Merges(&inPlaceGroups);
    fixtures::SurfacePtr s1 = fixtures::Sphere(0, 0, 0, 1, 48, 48), s2 = fixtures::Sphere(1, 0, 0, 1, 48, 48);
    std::thread::id where;
    G3SideBySide::RunForOperands(s1.get(), s2.get(), [] {}, [&] { where = std::this_thread::get_id(); });
    EXPECT_NE(std::this_thread::get_id(), where);

    ASSERT_NE(nullptr, G3HitDataExDataProvider::Get());
    // Merged facets are new ones now, and the surface comes out the same.
    EXPECT_EQ(inPlace, Merges(&newFacetGroups));
    EXPECT_GT(newFacetGroups, 400);
    // Moving is declined, nothing moved; steps run on the caller's thread.
    EXPECT_FALSE(moved->AppendMoving(d.get()));
    EXPECT_EQ(before, Vi({moved->GetVertexCount(), moved->GetFacetCount()}));
    G3SideBySide::RunForOperands(s1.get(), s2.get(), [] {}, [&] { where = std::this_thread::get_id(); });
    EXPECT_EQ(std::this_thread::get_id(), where);
}

} // namespace
