// Merging of facets along edges and in planes, hiding of in-plane edges,
// plane-averaged normals, and a randomized check of orientation and
// merging on voxel solids.

#include "Geometry/foundation/GRandom.h"
#include "Geometry/mesh/CExData.h"
#include "Geometry/mesh/G3Point.h"
#include "tests/processing/orient_merge_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <tuple>

using namespace orienttest;

namespace {

// The points (x, y, 0) as vertices 0, 1, ...
void Points(G3Surface& s, const std::vector<std::pair<double, double>>& pts)
{
    for (const auto& p : pts)
        s.AddVertex(p.first, p.second, 0, 0);
}

// Two triangles splitting the unit square along 0-2, the diagonal flagged.
void SplitQuad(G3Surface& s, int diagonalFlags)
{
    Points(s, {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
    int f1[3] = {1, 1, diagonalFlags}, v1[3] = {0, 1, 2};
    int f2[3] = {diagonalFlags, 1, 1}, v2[3] = {0, 2, 3};
    s.AddFacet(3, v1, f1, nullptr, nullptr);
    s.AddFacet(3, v2, f2, nullptr, nullptr);
}

G3Edge* Joining(G3Surface& s, int a, int b)
{
    for (int k = 0; k < s.GetEdgeCount(); ++k)
        if (s.GetEdge(k)->HasVertex(s.GetVertex(a)) && s.GetEdge(k)->HasVertex(s.GetVertex(b)))
            return s.GetEdge(k);
    return nullptr;
}

double AreaZ(G3Facet* f)
{
    double a[3];
    VectorArea(f, a);
    return a[2];
}

} // namespace

TEST(UnionFacets, MergesAlongFlaggedEdgesUnlessDataTwistsOrSlitsForbid)
{
    // Facets through the points by index, every edge carrying `flags`; a
    // material per facet (0: none); the second facet turned when `turn`.
    struct Case {
        const char* name;
        std::vector<std::pair<double, double>> points;
        std::vector<std::vector<int>> facets;
        int flags;
        std::vector<std::intptr_t> materials;
        bool turn;
        int merged;
        int edges; // of the merged facet
        double area;
    };
    const std::vector<std::pair<double, double>> unit = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    const std::vector<std::vector<int>> split = {{0, 1, 2}, {0, 2, 3}};
    const Case cases[] = {
        // Data of one side merged with none reaches the quad.
        {"flagged diagonal", unit, split, 4, {7, 0}, false, 1, 4, 1},
        {"data clash", unit, split, 4, {7, 8}, false, 0, 0, 0},
        {"not flagged", unit, split, 1, {0, 0}, false, 0, 0, 0},
        // The second triangle runs along the diagonal the same way as the
        // first: merging would twist the contour.
        {"inconsistent orientation", unit, split, 4, {0, 0}, true, 0, 0, 0},
        // A U-shaped facet and the bar closing it share two separate runs:
        // one facet would hold a slit.
        {"two runs",
         {{0, 0}, {3, 0}, {3, 3}, {2, 3}, {2, 1}, {1, 1}, {1, 3}, {0, 3}, {1, 4}, {2, 4}, {0, 4}, {3, 4}},
         {{0, 1, 2, 3, 4, 5, 6, 7}, {7, 10, 11, 2, 3, 9, 8, 6}}, 4, {0, 0}, false, 0, 0, 0},
        // Two facets sharing two consecutive edges (0-4-3): the whole run
        // goes, no spike is left.
        {"shared run", {{0, 0}, {2, 0}, {2, 2}, {0, 2}, {1, 1}, {-1, 1}}, {{0, 1, 2, 3, 4}, {0, 4, 3, 5}}, 4, {0, 0},
         false, 1, 5, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        G3Surface s;
        Points(s, c.points);
        for (size_t k = 0; k < c.facets.size(); ++k) {
            G3Facet* f = FacetByIds(s, c.facets[k], c.flags);
            if (c.materials[k])
                SetMaterial(f, c.materials[k]);
        }
        if (c.turn)
            s.GetFacet(1)->NegPlane();
        EXPECT_EQ(c.merged, s.UnionFacets(4));
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ("", LeftState(s));
        ASSERT_EQ(2 - c.merged, s.GetFacetCount());
        EXPECT_EQ(c.materials[0], Material(s.GetFacet(0)));
        if (c.merged) {
            EXPECT_EQ(c.edges, s.GetFacet(0)->GetEdgeCount());
            EXPECT_EQ(c.edges, s.GetEdgeCount());
            EXPECT_DOUBLE_EQ(c.area, AreaZ(s.GetFacet(0)));
        }
    }
}

TEST(UnionInPlaneFacets, GridBecomesOneFacetWithHolesUnderTheMask)
{
    // A 6 x 6 grid of unit squares without two inner ones, far apart.
    auto grid = [](G3Surface& s, int n, std::vector<std::pair<int, int>> missing) {
        for (int j = 0; j <= n; ++j)
            for (int i = 0; i <= n; ++i)
                s.AddVertex(i, j, 0, 0);
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                const int a = i + j * (n + 1);
                if (std::find(missing.begin(), missing.end(), std::make_pair(i, j)) == missing.end())
                    FacetByIds(s, {a, a + 1, a + n + 2, a + n + 1});
            }
    };
    G3Surface s;
    grid(s, 6, {{1, 1}, {4, 3}});
    SetMaterial(s.GetFacet(0), 3);
    EXPECT_EQ(1, s.UnionInPlaneFacets(-1));
    EXPECT_EQ("", MeshCheck(&s));
    EXPECT_EQ("", LeftState(s));
    ASSERT_EQ(1, s.GetFacetCount());
    G3Facet* f = s.GetFacet(0);
    EXPECT_DOUBLE_EQ(34.0, AreaZ(f));
    EXPECT_EQ(3, Material(f));
    const double in[3][3] = {{1.5, 1.5, 0}, {4.5, 3.5, 0}, {2.5, 2.5, 0}};
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(k == 2, f->PointInFacetXY(in[k], nullptr, nullptr)) << k;

    // Only invisible edges (or edges meeting the mask) join groups.
    G3Surface masked;
    grid(masked, 2, {});
    EXPECT_EQ(0, masked.UnionInPlaneFacets(8));
    EXPECT_EQ(4, masked.GetFacetCount());
}

TEST(MarkInPlaneEdgesAsInvisible, DiagonalClearedFoldAndBendKept)
{
    for (auto mark : {&G3Surface::MarkInPlaneEdgesAsInvisible, &G3Surface::MarkInPlaneEdgesAsInvisible2}) {
        G3Surface s;
        SplitQuad(s, 1);
        EXPECT_EQ(1, (s.*mark)());
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ(0, Joining(s, 0, 2)->GetFlags());
        EXPECT_EQ(1, Joining(s, 0, 1)->GetFlags());
        G3Surface box;
        AddBox(box, {0, 0, 0}, {1, 1, 1});
        EXPECT_EQ(0, (box.*mark)());
    }
    // Two coplanar triangles on the same side of their shared edge (one
    // overlapping the other): a fold, not an in-plane seam.
    G3Surface s;
    Points(s, {{0, 0}, {2, 0}, {1, 2}, {1, 1}});
    FacetByIds(s, {0, 1, 2});
    FacetByIds(s, {0, 1, 3});
    ASSERT_TRUE(s.GetFacet(1)->PlaneEquals(s.GetFacet(0)->GetPlane()));
    EXPECT_EQ(0, s.MarkInPlaneEdgesAsInvisible());
    EXPECT_EQ(1, Joining(s, 0, 1)->GetFlags());
}

TEST(Normals, HealAndAverage)
{
    G3TexCoo* t = nullptr;
    {
        // No normals at all: nothing to heal. One corner with a normal:
        // every other corner gets its plane's.
        G3Surface bare;
        AddBox(bare, {0, 0, 0}, {1, 1, 1});
        bare.HealNormals();
        EXPECT_EQ(0, bare.GetNormalCount());
        G3Surface s;
        G3Vertex* v[3] = {s.AddVertex(0, 0, 0, 0), s.AddVertex(1, 0, 0, 0), s.AddVertex(0, 1, 0, 0)};
        G3Normal* n[3] = {s.AddNormal(1, 0, 0), nullptr, nullptr};
        G3Facet* f = s.AddFacet(3, v, 1, n, nullptr);
        s.HealNormals();
        EXPECT_EQ("", MeshCheck(&s));
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
        const G3Normal* n = s.GetFacet(1)->GetNormal(s.GetVertex(7), &t);
        ASSERT_NE(nullptr, n);
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(1.0 / std::sqrt(3.0), n->GetXYZ()[c], 1e-12);
        EXPECT_EQ(8, s.GetNormalCount());
    }
    {
        // Listed facets average among themselves; smoothing groups across
        // invisible edges only.
        G3Surface s;
        SplitQuad(s, 0);
        GArrayCollection listed;
        listed.add(s.GetFacet(0));
        s.AverageNormalsByPlanesTexCooSafe(&listed);
        s.AverageNormalsByPlanes2();
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ("", LeftState(s));
        EXPECT_EQ(1.0, s.GetFacet(1)->GetNormal(s.GetVertex(3), &t)->GetXYZ()[2]);
    }
    // Opposite planes cancel: the corner keeps the normal it had.
    G3Surface flat;
    G3Vertex* v[3] = {flat.AddVertex(0, 0, 0, 0), flat.AddVertex(1, 0, 0, 0), flat.AddVertex(0, 1, 0, 0)};
    G3Normal* keep[3] = {flat.AddNormal(0, 1, 0), flat.AddNormal(0, 1, 0), flat.AddNormal(0, 1, 0)};
    G3Facet* a = flat.AddFacet(3, v, 1, keep, nullptr);
    G3Vertex* w[3] = {v[0], v[2], v[1]};
    flat.AddFacet(3, w, 1, keep, nullptr)->SetDoubleSided();
    flat.AverageNormalsByPlanes(nullptr);
    EXPECT_EQ(1.0, a->GetNormal(v[0], &t)->GetXYZ()[1]);
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
    Points(bow, {{0, 0}, {2, 2}, {2, 0}, {0, 2}});
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
    auto id = [](const int* c) { return c[0] + (n + 1) * (c[1] + (n + 1) * c[2]); };
    for (unsigned seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        GSRand(seed);
        bool cell[n][n][n];
        int cubes = 0;
        for (auto& a : cell)
            for (auto& b : a)
                for (bool& c : b)
                    cubes += (c = GRand() % 100 < 35);
        G3Surface s;
        for (int z = 0; z <= n; ++z)
            for (int y = 0; y <= n; ++y)
                for (int x = 0; x <= n; ++x)
                    s.AddVertex(x, y, z, 0);
        // Exposed area per plane: (axis, coordinate, outward sign).
        std::map<std::tuple<int, int, int>, double> exposed;
        for (int x = 0; x < n; ++x)
            for (int y = 0; y < n; ++y)
                for (int z = 0; z < n; ++z)
                    for (int axis = 0; axis < 3 && cell[x][y][z]; ++axis)
                        for (int sign : {-1, 1}) {
                            int q[3] = {x, y, z};
                            q[axis] += sign;
                            if (q[axis] >= 0 && q[axis] < n && cell[q[0]][q[1]][q[2]])
                                continue;
                            const int p[3] = {x, y, z};
                            exposed[{axis, p[axis] + (sign > 0), sign}] += 1.0;
                            // The face's corners, counter-clockwise seen
                            // from outside.
                            std::vector<int> ids;
                            for (int k = 0; k < 4; ++k) {
                                int c[3] = {x, y, z};
                                c[axis] += sign > 0;
                                c[(axis + 1) % 3] += k == 1 || k == 2;
                                c[(axis + 2) % 3] += k >= 2;
                                ids.push_back(id(c));
                            }
                            if (sign < 0)
                                std::swap(ids[1], ids[3]);
                            ASSERT_NE(nullptr, FacetByIds(s, ids));
                        }
        s.RemoveUnused();
        ASSERT_NEAR(cubes, SignedVolume(s), 1e-9);
        s.Triangulate(4, 4);
        for (int k = 0; k < s.GetFacetCount(); ++k)
            if (GRand() % 2)
                s.GetFacet(k)->NegPlane();
        s.OrientNormals2(true);
        ASSERT_EQ("", MeshCheck(&s));
        EXPECT_EQ("", LeftState(s));
        EXPECT_NEAR(cubes, SignedVolume(s), 1e-9);

        s.UnionInPlaneFacets(-1);
        ASSERT_EQ("", MeshCheck(&s));
        EXPECT_EQ("", LeftState(s));
        EXPECT_NEAR(cubes, SignedVolume(s), 1e-9);
        std::map<std::tuple<int, int, int>, double> merged;
        for (int k = 0; k < s.GetFacetCount(); ++k) {
            double a[3];
            VectorArea(s.GetFacet(k), a);
            int axis = 0;
            for (int c = 1; c < 3; ++c)
                if (std::fabs(a[c]) > std::fabs(a[axis]))
                    axis = c;
            const double coordinate = s.GetFacet(k)->GetFirstEdge()->GetVertex1()->GetXYZ()[axis];
            merged[{axis, static_cast<int>(std::lround(coordinate)), a[axis] > 0 ? 1 : -1}] += std::fabs(a[axis]);
        }
        EXPECT_EQ(exposed, merged);
    }
}
