// Merging of facets along edges and in planes, hiding of in-plane edges,
// plane-averaged normals, and a randomized check of orientation and
// merging on voxel solids.

#include "Geometry/foundation/GRandom.h"
#include "Geometry/mesh/CExData.h"
#include "Geometry/mesh/G3Point.h"
#include "tests/processing/orient_merge_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <tuple>

using namespace orienttest;

namespace {

// An n x n grid of unit squares in z = 0 sharing vertices, without the
// squares `missing` names; vertex (i, j) has id i + j (n + 1).
void Grid(G3Surface& s, int n, const std::vector<std::pair<int, int>>& missing = {})
{
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i)
            s.AddVertex(i, j, 0, 0);
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            bool skip = false;
            for (const auto& m : missing)
                skip = skip || (m.first == i && m.second == j);
            if (skip)
                continue;
            const int a = i + j * (n + 1);
            FacetByIds(s, {a, a + 1, a + n + 2, a + n + 1});
        }
    }
}

// Two triangles splitting the unit square along 0-2, the diagonal flagged.
void SplitQuad(G3Surface& s, int diagonalFlags)
{
    s.AddVertex(0, 0, 0, 0);
    s.AddVertex(1, 0, 0, 0);
    s.AddVertex(1, 1, 0, 0);
    s.AddVertex(0, 1, 0, 0);
    int f1[3] = {1, 1, diagonalFlags};
    int v1[3] = {0, 1, 2};
    int f2[3] = {diagonalFlags, 1, 1};
    int v2[3] = {0, 2, 3};
    s.AddFacet(3, v1, f1, nullptr, nullptr);
    s.AddFacet(3, v2, f2, nullptr, nullptr);
}

G3Edge* Joining(G3Surface& s, int a, int b)
{
    for (int k = 0; k < s.GetEdgeCount(); ++k) {
        G3Edge* e = s.GetEdge(k);
        if (e->HasVertex(s.GetVertex(a)) && e->HasVertex(s.GetVertex(b)))
            return e;
    }
    return nullptr;
}

double AreaZ(G3Facet* f)
{
    double a[3];
    VectorArea(f, a);
    return a[2];
}

} // namespace

TEST(UnionFacets, TwoTrianglesBecomeAQuadUnlessTheirDataClash)
{
    {
        G3Surface s;
        SplitQuad(s, 4);
        SetMaterial(s.GetFacet(0), 7);
        EXPECT_EQ(1, s.UnionFacets(4));
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ("", LeftState(s));
        ASSERT_EQ(1, s.GetFacetCount());
        EXPECT_EQ(4, s.GetFacet(0)->GetEdgeCount());
        EXPECT_EQ(4, s.GetEdgeCount());
        EXPECT_DOUBLE_EQ(1.0, AreaZ(s.GetFacet(0)));
        // Data of one side merged with none reaches the quad.
        EXPECT_EQ(7, Material(s.GetFacet(0)));
    }
    {
        G3Surface s;
        SplitQuad(s, 4);
        SetMaterial(s.GetFacet(0), 7);
        SetMaterial(s.GetFacet(1), 8);
        EXPECT_EQ(0, s.UnionFacets(4));
        EXPECT_EQ(2, s.GetFacetCount());
    }
    {
        // Not flagged: nothing to merge.
        G3Surface s;
        SplitQuad(s, 1);
        EXPECT_EQ(0, s.UnionFacets(4));
        EXPECT_EQ(2, s.GetFacetCount());
    }
}

TEST(UnionFacets, RefusesTwistsAndSlits)
{
    {
        // The second triangle runs along the diagonal the same way as the
        // first (inconsistent orientation): merging would twist the contour.
        G3Surface s;
        s.AddVertex(0, 0, 0, 0);
        s.AddVertex(1, 0, 0, 0);
        s.AddVertex(1, 1, 0, 0);
        s.AddVertex(0, 1, 0, 0);
        FacetByIds(s, {0, 1, 2}, 4);
        FacetByIds(s, {0, 2, 3}, 4);
        s.GetFacet(1)->NegPlane();
        EXPECT_EQ(0, s.UnionFacets(4));
        EXPECT_EQ(2, s.GetFacetCount());
        EXPECT_EQ("", MeshCheck(&s));
    }
    {
        // A U-shaped facet and the bar closing it share two separate runs:
        // one facet would hold a slit.
        G3Surface s;
        const double pts[8][2] = {{0, 0}, {3, 0}, {3, 3}, {2, 3}, {2, 1}, {1, 1}, {1, 3}, {0, 3}};
        for (const auto& p : pts)
            s.AddVertex(p[0], p[1], 0, 0);
        s.AddVertex(1, 4, 0, 0);
        s.AddVertex(2, 4, 0, 0);
        FacetByIds(s, {0, 1, 2, 3, 4, 5, 6, 7}, 4);
        // The bar 7-6-... : from (0,3) over the top back to (3,3).
        s.AddVertex(0, 4, 0, 0);
        s.AddVertex(3, 4, 0, 0);
        FacetByIds(s, {7, 10, 11, 2, 3, 9, 8, 6}, 4);
        const int before = s.GetFacetCount();
        s.UnionFacets(4);
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ(before, s.GetFacetCount());
    }
}

TEST(UnionFacets, SharedRunOfEdgesLeavesNoSpike)
{
    // Two quads sharing two consecutive edges (0-4-3): the whole run goes.
    G3Surface s;
    const double pts[6][2] = {{0, 0}, {2, 0}, {2, 2}, {0, 2}, {1, 1}, {-1, 1}};
    for (const auto& p : pts)
        s.AddVertex(p[0], p[1], 0, 0);
    FacetByIds(s, {0, 1, 2, 3, 4}, 4);
    FacetByIds(s, {0, 4, 3, 5}, 4);
    EXPECT_EQ(1, s.UnionFacets(4));
    EXPECT_EQ("", MeshCheck(&s));
    ASSERT_EQ(1, s.GetFacetCount());
    EXPECT_EQ(5, s.GetFacet(0)->GetEdgeCount());
    EXPECT_DOUBLE_EQ(5.0, AreaZ(s.GetFacet(0)));
}

TEST(UnionInPlaneFacets, GridBecomesOneFacetWithHoles)
{
    G3Surface s;
    // Two missing squares inside, far apart: two holes.
    Grid(s, 6, {{1, 1}, {4, 3}});
    SetMaterial(s.GetFacet(0), 3);
    EXPECT_EQ(1, s.UnionInPlaneFacets(-1));
    EXPECT_EQ("", MeshCheck(&s));
    EXPECT_EQ("", LeftState(s));
    ASSERT_EQ(1, s.GetFacetCount());
    G3Facet* f = s.GetFacet(0);
    EXPECT_DOUBLE_EQ(34.0, AreaZ(f));
    EXPECT_EQ(3, Material(f));
    for (const auto& c : std::vector<std::pair<double, double>>{{1.5, 1.5}, {4.5, 3.5}}) {
        const double p[3] = {c.first, c.second, 0};
        EXPECT_FALSE(f->PointInFacetXY(p, nullptr, nullptr));
    }
    const double in[3] = {2.5, 2.5, 0};
    EXPECT_TRUE(f->PointInFacetXY(in, nullptr, nullptr));

    // A plain grid: one quad's worth of outline.
    G3Surface plain;
    Grid(plain, 4);
    plain.UnionInPlaneFacets(-1);
    EXPECT_EQ("", MeshCheck(&plain));
    ASSERT_EQ(1, plain.GetFacetCount());
    EXPECT_DOUBLE_EQ(16.0, AreaZ(plain.GetFacet(0)));
}

TEST(UnionInPlaneFacets, MaskAndPlanesBoundGroups)
{
    // Only invisible edges (or edges meeting the mask) join groups.
    G3Surface s;
    Grid(s, 2);
    EXPECT_EQ(0, s.UnionInPlaneFacets(8));
    EXPECT_EQ(4, s.GetFacetCount());
    // Facets of a box are never coplanar neighbours.
    G3Surface box;
    AddBox(box, {0, 0, 0}, {1, 1, 1});
    EXPECT_EQ(0, box.UnionInPlaneFacets(-1));
    EXPECT_EQ(6, box.GetFacetCount());
    EXPECT_EQ("", LeftState(box));
}

TEST(MarkInPlaneEdgesAsInvisible, DiagonalClearedFoldKept)
{
    {
        G3Surface s;
        SplitQuad(s, 1);
        EXPECT_EQ(1, s.MarkInPlaneEdgesAsInvisible());
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ(0, Joining(s, 0, 2)->GetFlags());
        EXPECT_EQ(1, Joining(s, 0, 1)->GetFlags());
    }
    {
        // Two coplanar triangles on the same side of their shared edge
        // (one overlapping the other): a fold, not an in-plane seam.
        G3Surface s;
        s.AddVertex(0, 0, 0, 0);
        s.AddVertex(2, 0, 0, 0);
        s.AddVertex(1, 2, 0, 0);
        s.AddVertex(1, 1, 0, 0);
        FacetByIds(s, {0, 1, 2});
        FacetByIds(s, {0, 1, 3});
        ASSERT_TRUE(s.GetFacet(1)->PlaneEquals(s.GetFacet(0)->GetPlane()));
        EXPECT_EQ(0, s.MarkInPlaneEdgesAsInvisible());
        EXPECT_EQ(1, Joining(s, 0, 1)->GetFlags());
    }
    {
        // A bend is no seam.
        G3Surface s;
        AddBox(s, {0, 0, 0}, {1, 1, 1});
        EXPECT_EQ(0, s.MarkInPlaneEdgesAsInvisible());
        EXPECT_EQ(0, s.MarkInPlaneEdgesAsInvisible2());
    }
    {
        G3Surface s;
        SplitQuad(s, 1);
        EXPECT_EQ(1, s.MarkInPlaneEdgesAsInvisible2());
        EXPECT_EQ(0, Joining(s, 0, 2)->GetFlags());
    }
}

TEST(Normals, HealAndAverage)
{
    {
        // No normals at all: nothing to heal.
        G3Surface s;
        AddBox(s, {0, 0, 0}, {1, 1, 1});
        s.HealNormals();
        EXPECT_EQ(0, s.GetNormalCount());
        EXPECT_FALSE(s.HasGeometry());
    }
    {
        // One corner has a normal: every other corner gets its plane's.
        G3Surface s;
        G3Vertex* v[3] = {s.AddVertex(0, 0, 0, 0), s.AddVertex(1, 0, 0, 0), s.AddVertex(0, 1, 0, 0)};
        G3Normal* n[3] = {s.AddNormal(1, 0, 0), nullptr, nullptr};
        G3Facet* f = s.AddFacet(3, v, 1, n, nullptr);
        s.HealNormals();
        EXPECT_EQ("", MeshCheck(&s));
        G3TexCoo* t = nullptr;
        ASSERT_NE(nullptr, f->GetNormal(v[1], &t));
        EXPECT_EQ(1.0, f->GetNormal(v[1], &t)->GetXYZ()[2]);
        EXPECT_EQ(1.0, f->GetNormal(v[0], &t)->GetXYZ()[0]);
    }
    {
        // A box corner's average points along the diagonal.
        G3Surface s;
        AddBox(s, {0, 0, 0}, {1, 1, 1});
        s.AverageNormalsByPlanes(nullptr);
        EXPECT_EQ("", MeshCheck(&s));
        G3TexCoo* t = nullptr;
        const G3Normal* n = s.GetFacet(1)->GetNormal(s.GetVertex(7), &t);
        ASSERT_NE(nullptr, n);
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(1.0 / std::sqrt(3.0), n->GetXYZ()[c], 1e-12);
        EXPECT_EQ(8, s.GetNormalCount());
    }
    {
        // Listed facets average among themselves; smoothing groups across
        // invisible edges only. Opposite planes cancel: the corner keeps
        // the normal it had.
        G3Surface s;
        SplitQuad(s, 0);
        s.AddVertex(0, 0, 0, 0);
        GArrayCollection listed;
        listed.add(s.GetFacet(0));
        s.AverageNormalsByPlanesTexCooSafe(&listed);
        s.AverageNormalsByPlanes2();
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ("", LeftState(s));
        G3TexCoo* t = nullptr;
        EXPECT_EQ(1.0, s.GetFacet(1)->GetNormal(s.GetVertex(3), &t)->GetXYZ()[2]);
        G3Surface flat;
        G3Vertex* v[3] = {flat.AddVertex(0, 0, 0, 0), flat.AddVertex(1, 0, 0, 0), flat.AddVertex(0, 1, 0, 0)};
        G3Normal* keep[3] = {flat.AddNormal(0, 1, 0), flat.AddNormal(0, 1, 0), flat.AddNormal(0, 1, 0)};
        G3Facet* a = flat.AddFacet(3, v, 1, keep, nullptr);
        G3Vertex* w[3] = {v[0], v[2], v[1]};
        G3Facet* b = flat.AddFacet(3, w, 1, keep, nullptr);
        b->SetDoubleSided();
        flat.AverageNormalsByPlanes(nullptr);
        EXPECT_EQ(1.0, a->GetNormal(v[0], &t)->GetXYZ()[1]);
    }
}

TEST(MergePasses, DoubleSidedAndSelfIntersections)
{
    G3Surface s;
    AddBox(s, {0, 0, 0}, {1, 1, 1});
    s.ExtendDoubleSidedFacets();
    for (int k = 0; k < s.GetFacetCount(); ++k)
        EXPECT_TRUE(s.GetFacet(k)->GetDoubleSided());
    EXPECT_FALSE(s.RemoveSelfIntersections());
    EXPECT_EQ("", MeshCheck(&s));
    EXPECT_EQ(6, s.GetFacetCount());

    // A bow tie crosses itself: rebuilt into two triangles, data kept.
    G3Surface bow;
    bow.AddVertex(0, 0, 0, 0);
    bow.AddVertex(2, 2, 0, 0);
    bow.AddVertex(2, 0, 0, 0);
    bow.AddVertex(0, 2, 0, 0);
    SetMaterial(FacetByIds(bow, {0, 1, 2, 3}), 5);
    EXPECT_TRUE(bow.RemoveSelfIntersections());
    EXPECT_EQ("", MeshCheck(&bow));
    EXPECT_EQ("", LeftState(bow));
    ASSERT_EQ(2, bow.GetFacetCount());
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(5, Material(bow.GetFacet(k)));
        EXPECT_NEAR(1.0, std::fabs(AreaZ(bow.GetFacet(k))), 1e-9);
    }
}

// Random unions of unit cubes on a small grid (shared faces, cubes touching
// along an edge or at a vertex), every exposed face a quad, triangulated
// with flagged diagonals, random facets turned. Orientation must give the
// voxel count as volume; merging in planes must keep it and give every
// plane the exact exposed area.
TEST(OrientAndMergeRandom, VoxelSolids)
{
    const int n = 4;
    for (unsigned seed = 1; seed <= 12; ++seed) {
        GSRand(seed);
        bool cell[n][n][n];
        int cubes = 0;
        for (auto& a : cell)
            for (auto& b : a)
                for (bool& c : b) {
                    c = GRand() % 100 < 35;
                    cubes += c;
                }
        if (cubes == 0)
            continue;
        auto filled = [&](int x, int y, int z) {
            return x >= 0 && y >= 0 && z >= 0 && x < n && y < n && z < n && cell[x][y][z];
        };
        G3Surface s;
        auto id = [&](int x, int y, int z) { return x + (n + 1) * (y + (n + 1) * z); };
        for (int z = 0; z <= n; ++z)
            for (int y = 0; y <= n; ++y)
                for (int x = 0; x <= n; ++x)
                    s.AddVertex(x, y, z, 0);
        // Exposed area per plane: (axis, coordinate, outward sign).
        std::map<std::tuple<int, int, int>, double> exposed;
        for (int x = 0; x < n; ++x)
            for (int y = 0; y < n; ++y)
                for (int z = 0; z < n; ++z) {
                    if (!cell[x][y][z])
                        continue;
                    const int p[3] = {x, y, z};
                    for (int axis = 0; axis < 3; ++axis)
                        for (int sign : {-1, 1}) {
                            int q[3] = {x, y, z};
                            q[axis] += sign;
                            if (filled(q[0], q[1], q[2]))
                                continue;
                            exposed[{axis, p[axis] + (sign > 0), sign}] += 1.0;
                            // The face's corners, counter-clockwise seen
                            // from outside.
                            const int u = (axis + 1) % 3;
                            const int v = (axis + 2) % 3;
                            int c[4][3];
                            const int du[4] = {0, 1, 1, 0};
                            const int dv[4] = {0, 0, 1, 1};
                            for (int k = 0; k < 4; ++k) {
                                c[k][axis] = p[axis] + (sign > 0);
                                c[k][u] = p[u] + du[k];
                                c[k][v] = p[v] + dv[k];
                            }
                            std::vector<int> ids;
                            for (int k = 0; k < 4; ++k)
                                ids.push_back(id(c[k][0], c[k][1], c[k][2]));
                            if (sign < 0)
                                std::swap(ids[1], ids[3]);
                            ASSERT_NE(nullptr, FacetByIds(s, ids));
                        }
                }
        s.RemoveUnused();
        ASSERT_NEAR(cubes, SignedVolume(s), 1e-9) << seed;
        s.Triangulate(4, 4);
        for (int k = 0; k < s.GetFacetCount(); ++k)
            if (GRand() % 2)
                s.GetFacet(k)->NegPlane();
        s.OrientNormals2(true);
        ASSERT_EQ("", MeshCheck(&s)) << seed;
        EXPECT_EQ("", LeftState(s)) << seed;
        EXPECT_NEAR(cubes, SignedVolume(s), 1e-9) << seed;

        s.UnionInPlaneFacets(-1);
        ASSERT_EQ("", MeshCheck(&s)) << seed;
        EXPECT_EQ("", LeftState(s)) << seed;
        EXPECT_NEAR(cubes, SignedVolume(s), 1e-9) << seed;
        std::map<std::tuple<int, int, int>, double> merged;
        for (int k = 0; k < s.GetFacetCount(); ++k) {
            G3Facet* f = s.GetFacet(k);
            double a[3];
            VectorArea(f, a);
            int axis = 0;
            for (int c = 1; c < 3; ++c)
                if (std::fabs(a[c]) > std::fabs(a[axis]))
                    axis = c;
            const int sign = a[axis] > 0 ? 1 : -1;
            const double coordinate = f->GetFirstEdge()->GetVertex1()->GetXYZ()[axis];
            merged[{axis, static_cast<int>(std::lround(coordinate)), sign}] += std::fabs(a[axis]);
        }
        EXPECT_EQ(exposed.size(), merged.size()) << seed;
        for (const auto& e : exposed)
            EXPECT_NEAR(e.second, merged[e.first], 1e-9) << seed;
    }
}
