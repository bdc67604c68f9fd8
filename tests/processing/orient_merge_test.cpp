// Orientation from corner normals and from the geometry alone, the facet
// side queries it relies on, merging of facets along edges and in planes,
// hiding of in-plane edges, plane-averaged normals, and a randomized check
// of orientation and merging on voxel solids. Every pass leaves no working
// state behind.

#include "Geometry/foundation/GRandom.h"
#include "Geometry/mesh/CExData.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3EdgeCopy.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "tests/common/builders.h"
#include "tests/mesh/mesh_builder.h"
#include "tests/mesh/mesh_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace testmesh;

// The facet's vector area (half the sum of corner cross products), every
// contour closed on its own: holes, run the other way, subtract.
void VectorArea(G3Facet* f, double* out)
{
    out[0] = out[1] = out[2] = 0.0;
    std::vector<std::vector<const double*>> contours;
    G3ContourWalker w(f);
    while (w.Next()) {
        if (w.Opens())
            contours.emplace_back();
        contours.back().push_back(w.GetEntry()->GetXYZ());
    }
    for (const auto& c : contours) {
        for (std::size_t k = 0; k < c.size(); ++k) {
            const double* p = c[k];
            const double* q = c[(k + 1) % c.size()];
            out[0] += 0.5 * (p[1] * q[2] - p[2] * q[1]);
            out[1] += 0.5 * (p[2] * q[0] - p[0] * q[2]);
            out[2] += 0.5 * (p[0] * q[1] - p[1] * q[0]);
        }
    }
}

// Signed volume enclosed by the facets as their chains run (positive when
// they face outward): the divergence theorem over each facet's vector area
// and any point of it.
double SignedVolume(G3Surface& s)
{
    double v = 0.0;
    for (int k = 0; k < s.GetFacetCount(); ++k) {
        G3Facet* f = s.GetFacet(k);
        double a[3];
        VectorArea(f, a);
        const double* p = f->GetFirstEdge()->GetVertex1()->GetXYZ();
        v += (a[0] * p[0] + a[1] * p[1] + a[2] * p[2]) / 3.0;
    }
    return v;
}

// "" or what working state a pass left: a mark bit or a scratch link.
std::string LeftState(G3Surface& s)
{
    const long marks = G3Obj::FLAG_MARK | G3Obj::FLAG_MARK2 | G3Obj::FLAG_MARK3;
    for (int k = 0; k < s.GetFacetCount(); ++k)
        if ((s.GetFacet(k)->GetFlags() & marks) || s.GetFacet(k)->GetExData())
            return "facet " + std::to_string(k);
    for (int k = 0; k < s.GetEdgeCount(); ++k)
        if ((s.GetEdge(k)->GetFlags() & marks) || s.GetEdge(k)->GetExData())
            return "edge " + std::to_string(k);
    for (int k = 0; k < s.GetVertexCount(); ++k)
        if ((s.GetVertex(k)->GetFlags() & marks) || s.GetVertex(k)->GetExData())
            return "vertex " + std::to_string(k);
    return "";
}

// A UV sphere of radius 2 on shared vertices, triangles facing out.
void Sphere(G3Surface& s)
{
    const int rings = 8, segments = 12;
    s.AddVertex(0, 0, 2, 0);
    for (int r = 1; r < rings; ++r)
        for (int k = 0; k < segments; ++k) {
            const double th = M_PI * r / rings, ph = 2 * M_PI * k / segments;
            s.AddVertex(2 * std::sin(th) * std::cos(ph), 2 * std::sin(th) * std::sin(ph), 2 * std::cos(th),
                        0);
        }
    const int south = s.GetVertexCount();
    s.AddVertex(0, 0, -2, 0);
    auto at = [&](int r, int k) {
        return r == 0 ? 0 : r == rings ? south : 1 + (r - 1) * segments + k % segments;
    };
    for (int r = 0; r < rings; ++r)
        for (int k = 0; k < segments; ++k) {
            if (r > 0)
                FacetByIds(s, {at(r, k), at(r + 1, k), at(r, k + 1)});
            if (r < rings - 1)
                FacetByIds(s, {at(r, k + 1), at(r + 1, k), at(r + 1, k + 1)});
        }
}

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

// A sphere with its lower half turned inside out comes back facing out, by
// its signed volume (the voxel test turns random facets).
TEST(OrientNormals2, HalfTurnedSphereComesOutFacingOut)
{
    G3Surface sphere;
    Sphere(sphere);
    const double volume = SignedVolume(sphere);
    ASSERT_GT(volume, 30.0);
    for (int k = 0; k < sphere.GetFacetCount(); ++k)
        if (sphere.GetFacet(k)->GetFirstEdge()->GetVertex1()->GetZ() < -1e-9)
            sphere.GetFacet(k)->NegPlane();
    EXPECT_TRUE(sphere.OrientNormals2(true));
    EXPECT_EQ("", MeshCheck(&sphere));
    EXPECT_EQ("", LeftState(sphere));
    EXPECT_NEAR(volume, SignedVolume(sphere), 1e-9);
}

// A lone triangle rising along x, turned or not by each orientation at its
// threshold. Geometry alone: a probed facet is the lowest on its probe and
// ends facing down; one too steep to probe (past a horizontal share of
// 0.999) keeps its orientation. Corner normals: one normal against the
// plane turns the facet only when the dot product is below -1e-6.
TEST(OrientNormals, ThresholdsOfProbingAndOfCornerNormals)
{
    const double at = 0.999 / std::sqrt(1.0 - 0.999 * 0.999);
    const struct {
        double slope;
        double normalZ; // 0: no corner normal, OrientNormals2 probes
        bool turned;
    } cases[] = {
        {at * (1.0 - 1e-9), 0, true}, {at * (1.0 + 1e-6), 0, false}, {0, -1e-6, false}, {0, -1.5e-6, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.slope) + " " + std::to_string(c.normalZ));
        G3Surface s;
        G3Vertex* v[3] = {s.AddVertex(0, 0, 0, 0), s.AddVertex(1, 0, c.slope, 0), s.AddVertex(0, 1, 0, 0)};
        G3Normal* n[3] = {c.normalZ ? s.AddNormal(0, 0, c.normalZ) : nullptr, nullptr, nullptr};
        G3Facet* f = s.AddFacet(3, v, 1, n, nullptr);
        ASSERT_GT(f->GetPlaneC(), 0.0);
        EXPECT_TRUE(c.normalZ ? s.OrientNormals() : s.OrientNormals2(true));
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ(c.turned, f->GetPlaneC() < 0.0);
    }
    G3Surface bare;
    AddBox(bare, {0, 0, 0}, {1, 1, 1});
    EXPECT_FALSE(bare.OrientNormals());
}

TEST(FacetSideQueries, ScanPointKeepsEveryCrossing)
{
    // A comb of 60 teeth crosses the scan line 120 times; the widest gap is
    // the last tooth, far past the first hundred crossings.
    std::vector<P3> pts = {{0, 0, 0}};
    for (int t = 0; t < 60; ++t) {
        const double x0 = t == 59 ? 200.0 : 2.0 * t;
        const double width = t == 59 ? 50.0 : 1.0;
        pts.insert(pts.end(), {{x0, 0, 0}, {x0, 10, 0}, {x0 + width, 10, 0}, {x0 + width, 0, 0}});
    }
    pts.insert(pts.end(), {{250, -1, 0}, {0, -1, 0}});
    G3Surface s;
    G3Facet* comb = SoupFacet(s, pts);
    ASSERT_NE(nullptr, comb);
    double x = -1;
    double y = -1;
    ASSERT_TRUE(comb->GenerateXYPointInFacetConcave(x, y));
    EXPECT_GT(x, 200.0);
    EXPECT_LT(x, 250.0);
    const double p[3] = {x, y, 0};
    EXPECT_TRUE(comb->PointInFacetXY(p, nullptr, nullptr));

    // A square with a square hole: the point avoids the hole.
    G3Surface frame;
    G3Facet* f = SoupFacet(frame, {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}});
    G3Vertex* hv[4] = {frame.AddVertex(1, 1, 0, 0), frame.AddVertex(1, 9, 0, 0), frame.AddVertex(9, 9, 0, 0),
                       frame.AddVertex(9, 1, 0, 0)};
    G3EdgeList hole(4, hv, nullptr, nullptr, nullptr, 0, 0);
    ASSERT_NE(nullptr, frame.AddFacetEdges(f, &hole));
    ASSERT_TRUE(f->GenerateXYPointInFacetConcave(x, y));
    const double q[3] = {x, y, 0};
    EXPECT_TRUE(x < 1.0 || x > 9.0) << x;
    EXPECT_TRUE(f->PointInFacetXY(q, nullptr, nullptr));
}

TEST(FacetSideQueries, SideOfAnEdgeAndEdgeOrientation)
{
    G3Surface s;
    G3Vertex* v[4] = {s.AddVertex(0, 0, 0, 0), s.AddVertex(1, 0, 0, 0), s.AddVertex(1, 1, 0, 0),
                      s.AddVertex(0, 1, 0, 0)};
    G3Facet* below = FacetByIds(s, {0, 1, 2}); // right of 0->2
    G3Facet* above = FacetByIds(s, {0, 2, 3}); // left of 0->2
    const int side = below->GetIntersectionSignByEdge(v[0], v[2], 0, 1);
    EXPECT_NE(0, side);
    EXPECT_EQ(-side, above->GetIntersectionSignByEdge(v[0], v[2], 0, 1));
    // Not a step of the facet: no side.
    EXPECT_EQ(0, below->GetIntersectionSignByEdge(v[0], v[3], 0, 1));

    // Along the dominant axis of both edges' box (x here): whether each
    // edge, as stored, runs towards b.
    G3Surface t;
    G3Vertex* a = t.AddVertex(0, 0, 0, 0);
    G3Vertex* b = t.AddVertex(5, 1, 0, 0);
    G3Vertex* c = t.AddVertex(3, 2, 0, 0);
    FacetByIds(t, {0, 1, 2});
    G3Edge* ab = MeshBuilder::Find(a, b);
    G3Edge* bc = MeshBuilder::Find(b, c);
    ASSERT_TRUE(ab && bc);
    bool aUp = false;
    bool bUp = true;
    G3Surface::FindEdgeOrientation(ab, bc, &aUp, &bUp);
    EXPECT_EQ(ab->GetVertex2() == b, aUp);
    EXPECT_EQ(bc->GetVertex2() == b, bUp);
}


TEST(UnionFacets, MergesAlongFlaggedEdgesUnlessDataOrSlitsForbid)
{
    // Facets through the points by index, every edge carrying `flags`; a
    // material per facet (0: none).
    struct Case {
        const char* name;
        std::vector<std::pair<double, double>> points;
        std::vector<std::vector<int>> facets;
        int flags;
        std::vector<std::intptr_t> materials;
        int merged;
        int edges; // of the merged facet
        double area;
    };
    const std::vector<std::pair<double, double>> unit = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    const std::vector<std::vector<int>> split = {{0, 1, 2}, {0, 2, 3}};
    const std::vector<std::pair<double, double>> bar = {{0, 0}, {3, 0}, {3, 3}, {2, 3}, {2, 1}, {1, 1},
                                                        {1, 3}, {0, 3}, {1, 4}, {2, 4}, {0, 4}, {3, 4}};
    const std::vector<std::pair<double, double>> run = {{0, 0}, {2, 0}, {2, 2}, {0, 2}, {1, 1}, {-1, 1}};
    const Case cases[] = {
        // Data of one side merged with none reaches the quad.
        {"flagged diagonal", unit, split, 4, {7, 0}, 1, 4, 1},
        {"data clash", unit, split, 4, {7, 8}, 0, 0, 0},
        {"not flagged", unit, split, 1, {0, 0}, 0, 0, 0},
        // A U-shaped facet and the bar closing it share two separate runs:
        // one facet would hold a slit.
        {"two runs", bar, {{0, 1, 2, 3, 4, 5, 6, 7}, {7, 10, 11, 2, 3, 9, 8, 6}}, 4, {0, 0}, 0, 0, 0},
        // Two facets sharing two consecutive edges (0-4-3): the whole run
        // goes, no spike is left.
        {"shared run", run, {{0, 1, 2, 3, 4}, {0, 4, 3, 5}}, 4, {0, 0}, 1, 5, 5},
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
    // No normals at all: nothing to heal. One corner with a normal: every
    // other corner gets its plane's.
    G3TexCoo* t = nullptr;
    G3Surface bare;
    AddBox(bare, {0, 0, 0}, {1, 1, 1});
    bare.HealNormals();
    EXPECT_EQ(0, bare.GetNormalCount());
    G3Surface one;
    G3Vertex* v[3] = {one.AddVertex(0, 0, 0, 0), one.AddVertex(1, 0, 0, 0), one.AddVertex(0, 1, 0, 0)};
    G3Normal* n[3] = {one.AddNormal(1, 0, 0), nullptr, nullptr};
    G3Facet* f = one.AddFacet(3, v, 1, n, nullptr);
    one.HealNormals();
    EXPECT_EQ("", MeshCheck(&one));
    ASSERT_NE(nullptr, f->GetNormal(v[1], &t));
    EXPECT_EQ(1.0, f->GetNormal(v[1], &t)->GetXYZ()[2]);
    EXPECT_EQ(1.0, f->GetNormal(v[0], &t)->GetXYZ()[0]);

    // A box corner's average points along the diagonal.
    G3Surface box;
    AddBox(box, {0, 0, 0}, {1, 1, 1});
    box.AverageNormalsByPlanes(nullptr);
    EXPECT_EQ("", MeshCheck(&box));
    const G3Normal* corner = box.GetFacet(1)->GetNormal(box.GetVertex(7), &t);
    ASSERT_NE(nullptr, corner);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(1.0 / std::sqrt(3.0), corner->GetXYZ()[c], 1e-12);
    EXPECT_EQ(8, box.GetNormalCount());

    // Smoothing groups across invisible edges.
    G3Surface quad;
    SplitQuad(quad, 0);
    quad.AverageNormalsByPlanes2();
    EXPECT_EQ("", MeshCheck(&quad));
    EXPECT_EQ("", LeftState(quad));
    EXPECT_EQ(1.0, quad.GetFacet(1)->GetNormal(quad.GetVertex(3), &t)->GetXYZ()[2]);

    // Opposite planes cancel: the corner keeps the normal it had.
    G3Surface flat;
    G3Vertex* u[3] = {flat.AddVertex(0, 0, 0, 0), flat.AddVertex(1, 0, 0, 0), flat.AddVertex(0, 1, 0, 0)};
    G3Normal* keep[3] = {flat.AddNormal(0, 1, 0), flat.AddNormal(0, 1, 0), flat.AddNormal(0, 1, 0)};
    G3Facet* a = flat.AddFacet(3, u, 1, keep, nullptr);
    G3Vertex* w[3] = {u[0], u[2], u[1]};
    flat.AddFacet(3, w, 1, keep, nullptr)->SetDoubleSided();
    flat.AverageNormalsByPlanes(nullptr);
    EXPECT_EQ(1.0, a->GetNormal(u[0], &t)->GetXYZ()[1]);
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

// Walls with a row of windows in z = 0 seen from above, each contour
// starting at a random corner, the windows in random order: walked as one
// polygon such a chain faced down about one time in five. With a window
// reaching up through the top, the facets rebuilt for the crossing came out
// turned over; beside a coplanar panel, the two were not merged. Every
// facet must face up and the net area stay (what the poking window leaves
// above the wall is a facet of its own).
TEST(MergePasses, HoledFacetsKeepTheirSide)
{
    std::mt19937 rng(3);
    auto unit = [&rng] { return std::uniform_real_distribution<double>(0.0, 1.0)(rng); };
    for (int round = 0; round < 240; ++round) {
        SCOPED_TRACE(round);
        const bool poking = round % 2 == 0;
        const int windows = 2 + round % 5, poke = static_cast<int>(rng() % windows);
        const double pier = 0.05 + 0.25 * unit(), span = 0.6 + unit(), sill = 0.05 + 0.25 * unit();
        const double head = sill + 0.6 + unit(), top = head + 0.05 + 0.25 * unit(), past = top + 0.3;
        const double length = pier + windows * (pier + span);
        G3Surface s;
        std::vector<G3EdgeCopy> copies;
        // The rectangle (x0, y0) (x1, y0) (x1, y1) (x0, y1), from a random corner.
        auto contour = [&](double x0, double y0, double x1, double y1) {
            G3Vertex* v[4] = {s.AddVertex(x0, y0, 0, 0), s.AddVertex(x1, y0, 0, 0), s.AddVertex(x1, y1, 0, 0),
                              s.AddVertex(x0, y1, 0, 0)};
            for (int k = 0, from = static_cast<int>(rng() % 4); k < 4; ++k)
                copies.push_back({v[(from + k) % 4], v[(from + k + 1) % 4], nullptr, nullptr, nullptr, nullptr, 1});
        };
        contour(0, 0, length, top);
        std::vector<int> order(static_cast<std::size_t>(windows));
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), rng);
        for (int k : order)  // clockwise: holes
            contour(pier + k * (pier + span), poking && k == poke ? past : head, pier + k * (pier + span) + span, sill);
        ASSERT_NE(nullptr, s.AddFacetOfCopies(copies.data(), static_cast<int>(copies.size()), 0, 0));
        double want = length * top - windows * span * (head - sill);
        if (poking) {
            EXPECT_TRUE(s.RemoveSelfIntersections());
            want += span * (past - top) - span * (top - head);
        } else {
            // The outline's second and third vertices are (length, 0) and (length, top).
            G3Vertex* panel[4] = {s.GetVertex(1), s.AddVertex(length + 1, 0, 0, 0), s.AddVertex(length + 1, top, 0, 0),
                                  s.GetVertex(2)};
            s.AddFacet(4, panel, 1, nullptr, nullptr);
            EXPECT_EQ(1, s.UnionInPlaneFacets(-1));
            want += top;
        }
        EXPECT_EQ("", MeshCheck(&s));
        double net = 0.0, a[3];
        for (int k = 0; k < s.GetFacetCount(); ++k) {
            VectorArea(s.GetFacet(k), a);
            EXPECT_GT(a[2], 0.0);
            net += a[2];
        }
        EXPECT_NEAR(want, net, 1e-9);
    }
}

// Random unions of unit cubes on a small grid (shared faces, cubes touching
// along an edge or at a vertex, so that an upright face may be cut off from
// the rest by such edges), every exposed face a quad, triangulated with
// flagged diagonals, random facets turned. Orientation must give the voxel
// count as volume; merging in planes must keep it and give every plane the
// exact exposed area.
TEST(OrientAndMergeRandom, VoxelSolids)
{
    const int n = 4;
    auto id = [](const int* c) { return c[0] + (n + 1) * (c[1] + (n + 1) * c[2]); };
    for (unsigned seed = 1; seed <= 80; ++seed) {
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
        // With one facet turned back, KeepsOrientation holds only where the
        // pass would leave it so.
        for (int k = 0; k < s.GetFacetCount(); ++k) {
            s.GetFacet(k)->NegPlane();
            if (s.KeepsOrientation()) {
                std::unique_ptr<G3Surface> again(s.Duplicate());
                again->OrientNormals2(true);
                EXPECT_NEAR(SignedVolume(s), SignedVolume(*again), 1e-9) << "facet " << k;
            }
            s.GetFacet(k)->NegPlane();
        }

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
            merged[{axis, static_cast<int>(std::lround(coordinate)), a[axis] > 0 ? 1 : -1}] +=
                std::fabs(a[axis]);
        }
        EXPECT_EQ(exposed, merged);
    }
}
