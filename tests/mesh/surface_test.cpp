// Building a surface by hand: edge sharing, refused input, removal of
// unused entities, edge splits with corner data, copies, extended data and
// hit data; the working state a surface holds (a complex-facet bracket, an
// open preview) and what copies and previews do with scratch links and
// planes, where the random edit test does not reach. Edge lists: equality
// up to rotation, corner data carried, a facet with a hole taken apart (its
// contours head to tail) and rebuilt, copies.

#include "common/builders.h"
#include "mesh_check.h"

#include "Geometry/math/GMatrix.h"
#include "Geometry/mesh/G3HitDataExDataProvider.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/processing/G3EdgeList.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <utility>
#include <vector>

namespace {

using namespace testmesh;

G3Facet* Tri(G3Surface* s, int a, int b, int c) { return FacetByIds(*s, {a, b, c}); }

Vi Counts(G3Surface* s) { return Vi({s->GetVertexCount(), s->GetEdgeCount(), s->GetFacetCount()}); }
Vd Plane(const G3Facet* f) { return Vd(f->GetPlane(), f->GetPlane() + 4); }

void Shift(double m[4][4], double x, double y, double z)
{
    M4Identity(m);
    M4Translate(m, x, y, z);
}

// A host object a caller keeps in an entity's scratch link; smaller than a
// point, so reading it as one is an overflow the sanitizers see.
struct HostLink : GObj {
};

G3Edge* EdgeBetween(G3Surface* s, int a, int b)
{
    for (int i = 0; i < s->GetEdgeCount(); ++i)
        if (s->GetEdge(i)->HasVertex(s->GetVertex(a)) && s->GetEdge(i)->HasVertex(s->GetVertex(b)))
            return s->GetEdge(i);
    return nullptr;
}

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

// A repeated vertex skips its edge; fewer than three distinct vertices make
// no facet (the edges made for the attempt stay listed, in no ring, until
// RemoveUnusedEdge); a bad id or too short a list changes nothing.
TEST(SurfaceAddFacet, RepeatsAndBadInputAreRefused)
{
    SurfacePtr s = SquareAndApex();
    s->AddNormal(0, 0, 1);
    int outside[3] = {0, 1, 5}, negative[3] = {0, -1, 2}, good[3] = {0, 1, 2};
    int badNormals[3] = {0, 0, 1}, badTex[3] = {0, 0, 0};
    EXPECT_EQ(nullptr, s->AddFacet(3, outside, 1, nullptr, nullptr));
    EXPECT_EQ(nullptr, s->AddFacet(3, negative, 1, nullptr, nullptr));
    EXPECT_EQ(nullptr, s->AddFacet(3, good, 1, badNormals, nullptr));
    EXPECT_EQ(nullptr, s->AddFacet(3, good, 1, nullptr, badTex));
    EXPECT_EQ(nullptr, s->AddFacet(2, good, 1, nullptr, nullptr));
    EXPECT_EQ(nullptr, s->AddPolyEdge(3, outside));
    EXPECT_EQ(nullptr, s->AddPolyEdge(1, good));
    EXPECT_EQ(nullptr, s->AddEdge(s->GetVertex(0), s->GetVertex(0), nullptr));
    EXPECT_EQ(0, s->GetEdgeCount() + s->GetFacetCount() + s->GetPolyEdgeCount());

    int repeated[4] = {0, 1, 1, 2};
    ASSERT_NE(nullptr, s->AddFacet(4, repeated, 1, nullptr, nullptr));
    EXPECT_EQ(3, s->GetEdgeCount());
    int twoVertices[4] = {2, 3, 2, 3};
    for (int n : {3, 4})
        EXPECT_EQ(nullptr, s->AddFacet(n, twoVertices, 1, nullptr, nullptr)) << n;
    EXPECT_EQ(1, s->GetFacetCount());
    EXPECT_EQ(0, s->GetVertex(3)->GetEdgeCount());
    EXPECT_GT(s->GetEdgeCount(), 3);
    EXPECT_EQ("", MeshCheck(s.get()));
    s->RemoveUnusedEdge();
    EXPECT_EQ(3, s->GetEdgeCount());
    EXPECT_EQ("", MeshCheck(s.get()));

    // Polyedge segments out of range.
    G3Vertex *a = nullptr, *b = nullptr;
    ASSERT_NE(nullptr, s->AddPolyEdge(3, good));
    for (auto bad : {std::make_pair(0, 3), std::make_pair(1, 0), std::make_pair(-1, 0)})
        EXPECT_FALSE(s->GetPolyEdge(bad.first, bad.second, &a, &b)) << bad.first << " " << bad.second;
    EXPECT_TRUE(a == nullptr && b == nullptr);
}

// The construction calls that take vertex pointers, in random sequences
// whose vertices are now and then null, another surface's or never listed
// (numbered as a vertex of this one, so the id alone does not tell), and
// whose corner normals and texture coordinates are now and then another
// surface's: a call naming such an entity changes nothing (a split skips
// it), any other does what the same call by ids does on a twin. Both
// surfaces stay consistent.
TEST(SurfaceAddFacet, VerticesOfNoOrAnotherSurfaceAreRefused)
{
    std::mt19937 rng(20261209);
    std::vector<std::unique_ptr<G3Vertex>> loose;
    for (int round = 0; round < 30; ++round) {
        SurfacePtr own(new G3Surface()), other(new G3Surface()), twin(new G3Surface());
        for (G3Surface* t : {own.get(), other.get(), twin.get()}) {
            for (int i = 0; i < 12; ++i)
                t->AddVertex(i % 4, i / 4, (i * 7) % 3, 0);
            for (int i = 0; i < 3; ++i) {
                t->AddNormal(0, i, 1);
                t->AddTexCoo(i, 0);
            }
        }
        for (int step = 0; step < 40; ++step) {
            const int op = static_cast<int>(rng() % 4), n = op == 1 ? 2 : op == 2 ? 2 : 3 + static_cast<int>(rng() % 4);
            std::vector<int> ids, cornerIds;
            std::vector<G3Vertex*> v, tv;
            std::vector<G3Normal*> ns;
            std::vector<G3TexCoo*> ts;
            bool bad = false;
            for (int i = 0; i < n; ++i) {
                ids.push_back(static_cast<int>(rng() % 12));
                tv.push_back(twin->GetVertex(ids.back()));
                const unsigned kind = rng() % 20;
                if (kind == 2) {
                    loose.emplace_back(new G3Vertex(0.5, 0.5, 0.5));
                    loose.back()->SetId(ids.back());
                }
                v.push_back(kind == 0 ? nullptr : kind == 1 ? other->GetVertex(ids.back())
                                      : kind == 2 ? loose.back().get() : own->GetVertex(ids.back()));
                bad = bad || kind < 3;
                cornerIds.push_back(static_cast<int>(rng() % 3));
                ns.push_back((kind == 3 ? other : own)->GetNormal(cornerIds.back()));
                ts.push_back((kind == 4 ? other : own)->GetTexCoo(cornerIds.back()));
            }
            const bool corners = op == 0 && rng() % 2;
            for (int i = 0; corners && i < n; ++i)
                bad = bad || ns[static_cast<size_t>(i)] != own->GetNormal(cornerIds[static_cast<size_t>(i)]) ||
                      ts[static_cast<size_t>(i)] != own->GetTexCoo(cornerIds[static_cast<size_t>(i)]);
            const Vi before = Counts(own.get());
            const int e = own->GetEdgeCount() > 0 ? static_cast<int>(rng() % own->GetEdgeCount()) : -1;
            bool done = false, twinDone = false;
            if (op == 0) {
                done = own->AddFacet(n, v.data(), 1, corners ? ns.data() : nullptr, corners ? ts.data() : nullptr);
                twinDone = twin->AddFacet(n, ids.data(), 1, corners ? cornerIds.data() : nullptr,
                                          corners ? cornerIds.data() : nullptr);
            } else if (op == 1) {
                done = own->AddEdge(v[0], v[1], nullptr) != nullptr;
                twinDone = twin->AddEdge(tv[0], tv[1], nullptr) != nullptr;
            } else if (op == 2 && e >= 0) {
                done = own->SplitEdge(own->GetEdge(e), n, v.data(), false);
                twinDone = twin->SplitEdge(twin->GetEdge(e), n, tv.data(), false);
            } else if (op == 3) {
                done = own->AddPolyEdge(n, v.data()) != nullptr;
                twinDone = twin->AddPolyEdge(n, ids.data()) != nullptr;
            }
            if (!bad) {
                EXPECT_EQ(twinDone, done) << round << " " << step;
            } else if (op != 2) {
                EXPECT_FALSE(done) << round << " " << step;
            }
            if (bad && !done) {
                EXPECT_EQ(before, Counts(own.get())) << round << " " << step;
            }
            ASSERT_EQ("", MeshCheck(own.get())) << round << " " << step << " op " << op;
            ASSERT_EQ("", MeshCheck(other.get())) << round << " " << step << " op " << op;
            if (bad)
                twin.reset(own->Duplicate());
            ASSERT_EQ(Counts(own.get()), Counts(twin.get()));
        }
    }
}

// Edges out of a hub are found through the rim vertex's short ring; with
// two parallel edges the hub's ring order still decides which one a facet
// takes.
TEST(SurfaceAddFacet, HubEdgesAreSharedAndParallelEdgesTakenInRingOrder)
{
    SurfacePtr s(new G3Surface());
    const int rim = 40;
    s->AddVertex(0.0, 0.0, 0.0, 0);
    for (int i = 0; i < rim; ++i)
        s->AddVertex(std::cos(0.1 * i), std::sin(0.1 * i), 0.0, 0);
    for (int i = 1; i < rim; ++i)
        ASSERT_NE(nullptr, Tri(s.get(), 0, i, i + 1));
    ASSERT_EQ(2 * rim - 1, s->GetEdgeCount()); // each spoke shared by its two facets
    EXPECT_EQ(rim, s->GetVertex(0)->GetEdgeCount());

    // The spoke 0-5 is full: a third facet on it gets a parallel spoke,
    // and the next facet along 0 -> 5 shares that one, not the full one.
    G3Facet* g1 = Tri(s.get(), 0, 5, 6);
    G3Edge* spoke = s->GetEdge(s->GetEdgeCount() - 2); // g1's new spokes 0-5 and 6-0
    ASSERT_TRUE(spoke->HasVertex(s->GetVertex(0)) && spoke->HasVertex(s->GetVertex(5)));
    G3Facet* g2 = Tri(s.get(), 0, 5, 20);
    EXPECT_TRUE(g1 == spoke->GetFacet1() && g2 == spoke->GetFacet2());
    EXPECT_EQ("", MeshCheck(s.get()));
}

// What the random edit test does not do: polyedge vertices are in use,
// normals and texture coordinates go only when no corner names them.
TEST(SurfaceRemove, PolyEdgeVerticesAndUsedCornerDataStay)
{
    SurfacePtr s = SquareAndApex();
    s->AddPolyEdge(2, std::vector<int>{2, 3}.data());
    s->RemoveUnusedVertex();
    EXPECT_EQ(5, s->GetVertexCount());
    EXPECT_FALSE(s->RemoveVertex(s->GetVertex(2)));

    s->AddNormal(9, 9, 9);
    G3Normal* used = s->AddNormal(0, 0, 1);
    s->AddTexCoo(5, 5);
    G3TexCoo* usedT = s->AddTexCoo(0, 0);
    G3Vertex* v[3] = {s->GetVertex(0), s->GetVertex(1), s->GetVertex(2)};
    G3Normal* n[3] = {used, used, used};
    G3TexCoo* t[3] = {usedT, nullptr, usedT};
    ASSERT_NE(nullptr, s->AddFacet(3, v, 1, n, t));
    s->RemoveUnusedNormal();
    s->RemoveUnusedTexCoo();
    ASSERT_EQ(Vi({1, 1}), Vi({s->GetNormalCount(), s->GetTexCooCount()}));
    EXPECT_TRUE(used == s->G3Shell::GetNormal(0) && usedT == s->GetTexCoo(0));
    EXPECT_EQ(0, used->GetFlags() & G3Shell::FLAG_USED);
    EXPECT_EQ("", MeshCheck(s.get()));
}

TEST(SurfaceSplitEdge, CornerDataIsInterpolatedOnBothSides)
{
    SurfacePtr s(new G3Surface());
    const double pts[6][3] = {{0, 0, 0}, {2, 0, 0}, {1, 1, 0}, {1, -1, 0}, {1, 0, 0}, {0.5, 0, 0}};
    for (const auto& p : pts)
        s->AddVertex(p[0], p[1], p[2], 0);
    G3Vertex *v0 = s->GetVertex(0), *v1 = s->GetVertex(1), *mid = s->GetVertex(4), *quarter = s->GetVertex(5);
    G3Normal *n0 = s->AddNormal(0, 0, 1), *n1 = s->AddNormal(1, 0, 0), *up = s->AddNormal(0, 1, 0);
    G3TexCoo *t0 = s->AddTexCoo(0, 0), *t1 = s->AddTexCoo(4, 2);
    G3Vertex *va[3] = {v0, v1, s->GetVertex(2)}, *vb[3] = {v1, v0, s->GetVertex(3)};
    G3Normal *na[3] = {n0, n1, up}, *nb[3] = {n1, n0, up};
    G3TexCoo *ta[3] = {t0, t1, t0}, *tb[3] = {t1, t0, t0};
    G3Facet* a = s->AddFacet(3, va, 1, na, ta);
    G3Facet* b = s->AddFacet(3, vb, 1, nb, tb);
    G3Edge* shared = EdgeBetween(s.get(), 0, 1);
    ASSERT_TRUE(a && b && shared->GetFacet2() == b);
    const int normalsBefore = s->GetNormalCount();

    // The ends of the edge and a repeated vertex are skipped.
    G3Vertex* split[4] = {v0, quarter, mid, mid};
    ASSERT_TRUE(s->SplitEdge(shared, 4, split, false));
    EXPECT_EQ(Vi({5, 5, 7}), Vi({a->GetEdgeCount(), b->GetEdgeCount(), s->GetEdgeCount()}));

    // Every component follows the position along the edge, the ones of
    // coordinates in which it has no extent too: at x = 1 halfway,
    // (0.5, 0, 0.5) and (2, 1); at x = 0.5 a quarter of the way. Both facets were given their corners
    // in their own walking order (b along the existing edge reversed), so
    // this also shows the corners landed on the right ends.
    for (G3Facet* f : {a, b}) {
        G3TexCoo *t = nullptr, *tq = nullptr;
        G3Normal* n = f->GetNormal(mid, &t);
        G3Normal* nq = f->GetNormal(quarter, &tq);
        ASSERT_TRUE(n && t && nq && tq);
        EXPECT_EQ(Vd({0.5, 0, 0.5}), Xyz(n));
        EXPECT_EQ(Vd({2, 1}), Vd(t->GetUV(), t->GetUV() + 2));
        EXPECT_DOUBLE_EQ(0.25, nq->GetX());
        EXPECT_DOUBLE_EQ(1.0, tq->GetU());
        // The old ends keep their own corners.
        EXPECT_TRUE(n0 == f->GetNormal(v0, nullptr) && n1 == f->GetNormal(v1, nullptr));
    }
    EXPECT_EQ(normalsBefore + 4, s->GetNormalCount());

    // Nothing left to insert: refused, nothing changed.
    G3Vertex* ends[2] = {v0, quarter};
    EXPECT_FALSE(s->SplitEdge(EdgeBetween(s.get(), 0, 5), 2, ends, true));
    EXPECT_EQ(7, s->GetEdgeCount());
    EXPECT_EQ("", MeshCheck(s.get()));

    // Interpolation needs the data at both ends: none when a side lacks it.
    G3Normal* n = nullptr;
    G3TexCoo* t = nullptr;
    const double p[3] = {0.5, 0, 0};
    G3Edge::Interpolate(v0, n0, t0, v1, nullptr, t1, p, &n, &t);
    EXPECT_TRUE(n == nullptr && t == nullptr);
}

// Corner data given by one affine map of the position (a wall's texture:
// u along the wall, v up it; a normal field), interpolated at points of
// edges running along each axis, in a plane of two, and obliquely, near
// the origin and at site coordinates: every value is the map's at the
// point. Along an axis, the components whose coordinate does not change
// were the first end's (an upright side's v, a split vertex's texture
// then that of the side's foot).
TEST(SurfaceSplitEdge, InterpolationFollowsAnAffineMapAlongEveryEdge)
{
    std::mt19937 rng(4242);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    G3Surface s;
    int wrong = 0;
    for (int round = 0; round < 600; ++round) {
        double map[5][4];  // u, v, nx, ny, nz as c0 + c . p
        for (auto& row : map)
            for (double& c : row)
                c = unit(rng);
        const double origin = round % 3 == 0 ? 5e5 : 0.0;
        double a[3], b[3];
        const int shape = round % 5;  // 0..2 along an axis, 3 in a plane of two, 4 oblique
        for (int k = 0; k < 3; ++k) {
            a[k] = origin + 10 * unit(rng);
            const bool moves = shape < 3 ? k == shape : shape == 3 ? k != round % 3 : true;
            b[k] = moves ? a[k] + 3 * unit(rng) : a[k];
        }
        auto at = [&](const double* p, int row) {
            return map[row][0] + map[row][1] * (p[0] - origin) + map[row][2] * (p[1] - origin) +
                   map[row][3] * (p[2] - origin);
        };
        G3Vertex* va = s.AddVertex(a[0], a[1], a[2], 0);
        G3Vertex* vb = s.AddVertex(b[0], b[1], b[2], 0);
        const G3Normal na(at(a, 2), at(a, 3), at(a, 4)), nb(at(b, 2), at(b, 3), at(b, 4));
        G3TexCoo ta, tb;
        ta.SetU(at(a, 0)), ta.SetV(at(a, 1)), tb.SetU(at(b, 0)), tb.SetV(at(b, 1));
        const double f = 0.5 + 0.5 * unit(rng);
        const double p[3] = {a[0] + f * (b[0] - a[0]), a[1] + f * (b[1] - a[1]), a[2] + f * (b[2] - a[2])};
        G3Normal* n = nullptr;
        G3TexCoo* t = nullptr;
        G3Edge::Interpolate(va, &na, &ta, vb, &nb, &tb, p, &n, &t);
        ASSERT_TRUE(n && t);
        const double got[5] = {t->GetU(), t->GetV(), n->GetX(), n->GetY(), n->GetZ()};
        for (int row = 0; row < 5; ++row)
            wrong += std::fabs(got[row] - at(p, row)) > GTolerance::kPointEqual;
        delete n;
        delete t;
    }
    EXPECT_EQ(0, wrong);
    EXPECT_EQ("", MeshCheck(&s));
}

TEST(SurfaceCopy, AppendsToANonEmptySurfaceWithShiftedNumbers)
{
    SurfacePtr src = SquareAndApex();
    G3Normal* n = src->AddNormal(0, 0, 1);
    src->SetSurface(src->GetNextSurface()); // 2
    G3Vertex* v[3] = {src->GetVertex(0), src->GetVertex(1), src->GetVertex(4)};
    G3Normal* ns[3] = {n, n, n};
    src->AddFacet(3, v, 1, ns, nullptr);
    src->SetSurface(1);
    Tri(src.get(), 1, 2, 4);
    src->AddPolyEdge(2, std::vector<int>{3, 0}.data());
    src->IncMaterialFacetsCount();

    SurfacePtr dst = SquareAndApex();
    Tri(dst.get(), 0, 1, 2);
    dst->GetNextSurface();
    dst->GetNextSurface(); // nextSurface 3
    dst->SetMaterialFacetsCount(5);

    // A host renumbered the source: Copy restores the ids it maps through.
    for (int i = 0; i < src->GetVertexCount(); ++i)
        src->GetVertex(i)->SetId(100 - i);
    src->GetEdge(0)->SetId(-7);

    dst->Copy(src.get());
    EXPECT_EQ("", MeshCheck(dst.get()));
    EXPECT_EQ("", MeshCheck(src.get()));
    ASSERT_EQ(Vi({10, 3, 3 + 5, 1}),
              Vi({dst->GetVertexCount(), dst->GetFacetCount(), dst->GetEdgeCount(), dst->GetNormalCount()}));
    // Surface numbers of the copy shift by the target's next number (3).
    EXPECT_EQ(Vi({1, 2 + 3, 1 + 3, 2 + 3, 6}),
              Vi({dst->GetFacet(0)->GetSurface(), dst->GetFacet(1)->GetSurface(),
                  dst->GetFacet(2)->GetSurface(), dst->PeekNextSurface(), dst->GetMaterialFacetsCount()}));

    // Same geometry and corner data, own objects.
    G3Facet* copy = dst->GetFacet(1);
    G3Vertex* cv[3];
    ASSERT_EQ(3, copy->GetVertices(cv));
    EXPECT_TRUE(cv[0] == dst->GetVertex(5) && cv[2] == dst->GetVertex(9));
    EXPECT_EQ(dst->G3Shell::GetNormal(0), copy->GetNormal(cv[1], nullptr));
    EXPECT_EQ(Vd(src->GetFacet(0)->GetPlane(), src->GetFacet(0)->GetPlane() + 4),
              Vd(copy->GetPlane(), copy->GetPlane() + 4));
    G3Vertex *a = nullptr, *b = nullptr;
    ASSERT_TRUE(dst->GetPolyEdge(0, 0, &a, &b));
    EXPECT_TRUE(a == dst->GetVertex(8) && b == dst->GetVertex(5));

    SurfacePtr dup(src->Duplicate());
    EXPECT_EQ(src->GetFacet(1)->GetSurface(), dup->GetFacet(1)->GetSurface() - 1);
}

TEST(SurfaceExtendedData, FacetsShareTheDefaultAndCopiesKeepIt)
{
    SurfacePtr s = SquareAndApex();
    int material = 7, section = 3, other = 1;
    s->GetExtendedDataFacetDefault().Add("ZUNO_G3FACE_MATERIAL_INDEX", &material);
    G3Facet* a = Tri(s.get(), 0, 1, 2);
    G3Facet* b = Tri(s.get(), 0, 2, 3);
    ASSERT_TRUE(a && b);
    a->GetExtendedData().Add("ZUNO_ROOF_SECT_ID", &section);
    EXPECT_EQ(&section, b->GetExtendedData().GetData("ZUNO_ROOF_SECT_ID"));

    SurfacePtr dst(new G3Surface());
    dst->GetExtendedDataFacetDefault().Add("ZUNO_ROOF_PLANE_INDEX", &other);
    CExDataProvider* dstDefault = dst->GetExtendedDataFacetDefault().GetMap();
    dst->Copy(s.get());
    ASSERT_EQ(2, dst->GetFacetCount());
    EXPECT_EQ(a->GetExtendedData().GetMap(), dst->GetFacet(0)->GetExtendedData().GetMap());
    EXPECT_EQ(&material, dst->GetFacet(1)->GetExtendedData().GetData("ZUNO_G3FACE_MATERIAL_INDEX"));
    EXPECT_EQ(dstDefault, dst->GetExtendedDataFacetDefault().GetMap());
    EXPECT_EQ(&other, Tri(dst.get(), 0, 1, 3)->GetExtendedData().GetData("ZUNO_ROOF_PLANE_INDEX"));
}

// The complex-facet bracket is the source's working state: neither Copy nor
// Duplicate hands it over, and a target's own bracket survives a Copy.
TEST(SurfaceWorkingState, ComplexFacetBracketStaysWithItsSurface)
{
    SurfacePtr s = SquareAndApex();
    s->BeginComplexFacet();
    FacetByIds(*s, {0, 1, 2, 3});
    SurfacePtr dup(s->Duplicate());
    EXPECT_EQ(nullptr, dup->GetExData());
    FacetByIds(*dup, {0, 1, 4});
    s->EndComplexFacet();
    EXPECT_EQ(Vi({1, 2}), Vi({s->GetFacetCount(), dup->GetFacetCount()}));
    EXPECT_EQ("", MeshCheck(s.get()));
    EXPECT_EQ("", MeshCheck(dup.get()));

    SurfacePtr target = SquareAndApex();
    target->BeginComplexFacet();
    GObj* bracket = target->GetExData();
    target->Copy(dup.get());
    EXPECT_EQ(bracket, target->GetExData());
    target->EndComplexFacet();
    EXPECT_EQ(nullptr, target->GetExData());
}

// Positions under a preview are the random edit test's; here the scratch
// links and key maps entities hold: copies made mid-preview carry the
// entities' own links, what Copy adds to a previewed surface gets its links
// and planes back at close, a provider taken off mid-preview gives the links
// back, a second open keeps the first saved state, and a surface destroyed
// while previewed frees everything.
TEST(SurfaceWorkingState, PreviewGivesScratchLinksBack)
{
    HostLink host;
    SurfacePtr s = SquareAndApex();
    Tri(s.get(), 0, 1, 4);
    Tri(s.get(), 1, 2, 4);
    s->GetVertex(3)->SetExData(&host);
    s->GetFacet(1)->SetExData(&host);
    // Saved states must take no share of a key map (the sanitizer run
    // would report the map as leaked).
    s->GetVertex(0)->GetExtendedData().Add("ZUNO_ROOF_SECT_ID", &host);
    double shift[4][4], lift[4][4];
    Shift(shift, 10, 0, 0);
    Shift(lift, 0, 0, 7);

    s->OpenTransformation(true, true);
    s->Transformation(shift);
    SurfacePtr dup(s->Duplicate());
    SurfacePtr copy = SquareAndApex();
    copy->Copy(s.get());
    EXPECT_TRUE(&host == dup->GetVertex(3)->GetExData() && &host == dup->GetFacet(1)->GetExData());
    EXPECT_TRUE(&host == copy->GetVertex(5 + 3)->GetExData() && nullptr == dup->GetVertex(2)->GetExData());
    EXPECT_EQ(nullptr, dup->GetExDataProvider());
    s->Copy(dup.get());
    s->Transformation(lift);
    const Vd copied = Plane(dup->GetFacet(1));
    EXPECT_NEAR(copied[3] - 7 * copied[2], s->GetFacet(3)->GetPlane()[3], 1e-12);
    s->CloseTransformation();
    EXPECT_TRUE(&host == s->GetVertex(3)->GetExData() && &host == s->GetFacet(1)->GetExData());
    EXPECT_TRUE(&host == s->GetVertex(5 + 3)->GetExData() && &host == s->GetFacet(2 + 1)->GetExData());
    EXPECT_TRUE(nullptr == s->GetVertex(0)->GetExData() && nullptr == s->GetVertex(5)->GetExData());
    EXPECT_EQ(copied, Plane(s->GetFacet(3)));
    EXPECT_EQ(nullptr, s->GetExDataProvider());
    EXPECT_EQ("", MeshCheck(s.get()));

    s->OpenTransformation(true, true);
    s->Transformation(shift);
    s->RemoveExDataProvider();
    EXPECT_DOUBLE_EQ(11.0, s->GetVertex(1)->GetX());
    EXPECT_TRUE(&host == s->GetVertex(3)->GetExData() && &host == s->GetFacet(1)->GetExData());
    s->OpenTransformation(true, true);
    s->Transformation(shift);
    s->OpenTransformation(true, true);
    s->CloseTransformation();
    EXPECT_DOUBLE_EQ(11.0, s->GetVertex(1)->GetX());
    EXPECT_EQ("", MeshCheck(s.get()));

    SurfacePtr t = SquareAndApex();
    Tri(t.get(), 0, 1, 2);
    t->OpenTransformation(true, true);
    t->Transformation(shift);
}

// AddFacet from an edge list needs every contour closed; an open one is
// refused before the surface changes.
TEST(SurfaceAddFacet, OpenEdgeListIsRefused)
{
    SurfacePtr s = SquareAndApex();
    G3Edge a(s->GetVertex(0), s->GetVertex(1)), b(s->GetVertex(1), s->GetVertex(2));
    G3Edge c(s->GetVertex(2), s->GetVertex(3));
    GArrayCollection open;
    for (G3Edge* e : {&a, &b, &c})
        open.add(e);
    EXPECT_EQ(nullptr, s->AddFacet(&open, 0, 1));
    EXPECT_EQ(Vi({5, 0, 0}), Counts(s.get()));
}

// A surface built aside moves into an empty one whole; a target that holds
// anything keeps it and refuses the move.
TEST(SurfaceMove, MoveContentsFromFillsOnlyAnEmptySurface)
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

TEST(SurfaceTransformation, RealTransformationMovesPolyEdgeRecordsAndPlanes)
{
    SurfacePtr s = SquareAndApex();
    Tri(s.get(), 0, 1, 2);
    G3PolyEdge* p = s->AddPolyEdge(2, std::vector<int>{0, 3}.data());
    G3PolyEdge* bare = s->AddPolyEdge(2, std::vector<int>{1, 3}.data());
    ASSERT_TRUE(p && bare);
    int graphic = 0;
    EXPECT_FALSE(p->SetGraphic(&graphic)); // no record yet
    const double points[4][3] = {{1, 2, 3}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    double place[4][4], m[4][4], got[4][3], gotPlace[4][4];
    M4Identity(place);
    M4Translate(place, 0, 5, 0);
    p->SetExtEdgeData(points, place);
    EXPECT_TRUE(p->SetGraphic(&graphic));

    M4Identity(m);
    M4Scale(m, 2, 2, 2);
    M4Translate(m, 0, 0, 1);
    s->RealTransformation(m);
    ASSERT_TRUE(p->GetExtEdgeData(got, gotPlace));
    EXPECT_EQ(Vd({2, 4, 7}), Vd(got[0], got[0] + 3));
    // The placement, then m.
    EXPECT_EQ(Vd({0, 10, 1, 1}), Vd(gotPlace[3], gotPlace[3] + 4));
    EXPECT_EQ(2.0, gotPlace[0][0]);
    EXPECT_DOUBLE_EQ(-1.0, s->GetFacet(0)->GetPlane()[3]); // z = 1

    // Copies carry the record where the source had one, and only there.
    SurfacePtr d(s->Duplicate());
    ASSERT_TRUE(d->G3Shell::GetPolyEdge(0)->GetExtEdgeData(got, nullptr));
    EXPECT_DOUBLE_EQ(7.0, got[0][2]);
    EXPECT_EQ(&graphic, d->G3Shell::GetPolyEdge(0)->GetGraphic());
    EXPECT_FALSE(d->G3Shell::GetPolyEdge(1)->GetExtEdgeData(got, nullptr));
    // A polyedge added later does not pick up a record of the copy.
    EXPECT_FALSE(d->AddPolyEdge(2, std::vector<int>{2, 3}.data())->GetExtEdgeData(got, nullptr));
}

// A surface's setter makes the pair current and stores it on that surface;
// objects opened later copy the current pair, and one without a pair reads
// the current one.
TEST(SurfaceHitData, EachObjectReadsItsOwnPairOrTheCurrentOne)
{
    int x = 0, y = 0, z = 0;
    G3HitDataExDataProvider* hit = G3HitDataExDataProvider::Get();
    G3Obj plain;
    plain.ProviderOpenExData(&plain);
    EXPECT_FALSE(plain.IsOutExDataExist()) << "an empty pair stores nothing";
    SurfacePtr a(new G3Surface());
    a->SetExtAcisHitData(&x, &y);
    SurfacePtr b(new G3Surface());
    b->SetExtAcisHitData(&z, nullptr);
    void *p = nullptr, *q = nullptr;
    a->GetExtAcisHitData(&p, &q);
    EXPECT_TRUE(p == &x && q == &y);
    hit->GetData(&plain, &p, &q);
    EXPECT_TRUE(p == &z && q == nullptr);
    // Copying entities makes the source's pair current meanwhile.
    SurfacePtr c(a->Duplicate());
    G3Obj::ProviderSetExData(c.get());
    hit->GetCurrent(&p, &q);
    EXPECT_TRUE(p == &x && q == &y);
    G3Obj::ProviderSetExData(nullptr);
    hit->GetCurrent(&p, &q);
    EXPECT_EQ(nullptr, p);
    a->SetExtAcisHitData(nullptr, nullptr);
}

TEST(FacetCorners, SetGetAndPlaneNormals)
{
    SurfacePtr s = SquareAndApex();
    G3Facet* f = Tri(s.get(), 0, 1, 2);
    G3Facet* g = Tri(s.get(), 0, 2, 3);
    G3Vertex* v0 = s->GetVertex(0);
    G3Normal* n = s->AddNormal(0, 0, 1);
    f->SetNormal(v0, n, nullptr, false);
    EXPECT_EQ(n, f->GetNormal(v0, nullptr));
    EXPECT_EQ(nullptr, g->GetNormal(v0, nullptr)); // the shared edge keeps g's side
    f->SetNormal(v0, nullptr, nullptr, false);
    EXPECT_EQ(n, f->GetNormal(v0, nullptr));
    f->SetNormal(v0, nullptr, nullptr, true);
    EXPECT_EQ(nullptr, f->GetNormal(v0, nullptr));

    s->AssignNormalsByPlane();
    ASSERT_EQ(3, s->GetNormalCount());
    G3Normal* gn = g->GetNormal(s->GetVertex(3), nullptr);
    ASSERT_NE(nullptr, gn);
    EXPECT_DOUBLE_EQ(g->GetPlane()[2], gn->GetZ());
    EXPECT_NE(gn, f->GetNormal(v0, nullptr));
    s->AssignNormalsByPlane(); // every facet has normals now
    EXPECT_EQ(3, s->GetNormalCount());
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
