// Orientation from corner normals and from the geometry alone, and the
// facet side queries the passes rely on.

#include "Geometry/foundation/GRandom.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/processing/G3EdgeList.h"
#include "tests/processing/orient_merge_support.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace orienttest;

namespace {

// Every facet of a box centred at c faces away from c.
bool FacesAway(G3Surface& s, const std::vector<G3Facet*>& faces, const double* c)
{
    for (G3Facet* f : faces) {
        const double* p = f->GetPlane();
        if (p[0] * c[0] + p[1] * c[1] + p[2] * c[2] + p[3] >= 0.0)
            return false;
    }
    (void)s;
    return true;
}

// A lone triangle rising along x with slope s (normal ~ (-s, 0, 1)).
G3Facet* Slope(G3Surface& s, double slope)
{
    G3Vertex* v[3] = {s.AddVertex(0, 0, 0, 0), s.AddVertex(1, 0, slope, 0), s.AddVertex(0, 1, 0, 0)};
    return s.AddFacet(3, v, 1, nullptr, nullptr);
}

} // namespace

TEST(OrientNormals2, InwardBoxAndOneFlippedFaceComeOutFacingOut)
{
    const double centre[3] = {0.5, 1.0, 1.5};
    {
        G3Surface s;
        std::vector<G3Facet*> faces = AddBox(s, {0, 0, 0}, {1, 2, 3});
        s.NegPlane();
        EXPECT_TRUE(s.OrientNormals2(true));
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ("", LeftState(s));
        EXPECT_TRUE(FacesAway(s, faces, centre));
        EXPECT_NEAR(6.0, SignedVolume(s), 1e-9);
    }
    // Each face in turn flipped alone: vertical ones are never probed and
    // are reached only by the spread from their neighbours.
    for (int flipped = 0; flipped < 6; ++flipped) {
        G3Surface s;
        std::vector<G3Facet*> faces = AddBox(s, {0, 0, 0}, {1, 2, 3});
        faces[flipped]->NegPlane();
        s.OrientNormals2(true);
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_TRUE(FacesAway(s, faces, centre)) << "flipped " << flipped;
    }
}

TEST(OrientNormals2, CavityFacesIntoItself)
{
    G3Surface s;
    std::vector<G3Facet*> outer = AddBox(s, {0, 0, 0}, {4, 4, 4});
    std::vector<G3Facet*> cavity = AddBox(s, {1, 1, 1}, {3, 3, 3});
    // Everything starts wrong: the outer box inward, the cavity outward.
    for (G3Facet* f : outer)
        f->NegPlane();
    s.OrientNormals2(true);
    EXPECT_EQ("", MeshCheck(&s));
    EXPECT_EQ("", LeftState(s));
    const double c[3] = {2, 2, 2};
    EXPECT_TRUE(FacesAway(s, outer, c));
    for (G3Facet* f : cavity) {
        const double* p = f->GetPlane();
        EXPECT_GT(p[0] * c[0] + p[1] * c[1] + p[2] * c[2] + p[3], 0.0);
    }
    EXPECT_NEAR(64.0 - 8.0, SignedVolume(s), 1e-9);
}

TEST(OrientNormals2, ProbesUpToTheNearlyVerticalRatio)
{
    // A lone probed facet is the lowest on its probe and ends facing down;
    // one too steep to probe keeps its orientation. Slopes just either side
    // of a horizontal share of 0.999.
    const double at = 0.999 / std::sqrt(1.0 - 0.999 * 0.999);
    for (double slope : {at * (1.0 - 1e-9), at * (1.0 + 1e-6)}) {
        G3Surface s;
        G3Facet* f = Slope(s, slope);
        ASSERT_GT(f->GetPlaneC(), 0.0);
        s.OrientNormals2(true);
        EXPECT_EQ("", MeshCheck(&s));
        const bool probed = slope < at;
        EXPECT_EQ(probed, f->GetPlaneC() < 0.0) << slope;
    }
}

TEST(OrientNormals2, FacetsWithoutPlaneOrWithVerticalPlaneStayOutOfProbes)
{
    // A facet folded onto one point has no area (only a fallback plane). A
    // vertical wall (c exactly 0) inside the box has no height either. Both
    // must neither disturb the box's parity nor be turned by a probe.
    G3Surface s;
    std::vector<G3Facet*> faces = AddBox(s, {0, 0, 0}, {2, 2, 2});
    for (G3Facet* f : faces)
        f->NegPlane();
    const int p = s.GetVertexCount();
    for (int k = 0; k < 3; ++k)
        s.AddVertex(0.7, 0.7, 1.0, 0);
    G3Facet* point = FacetByIds(s, {p, p + 1, p + 2});
    ASSERT_NE(nullptr, point);
    s.AddVertex(0.5, 0.5, 0.5, 0);
    s.AddVertex(1.5, 0.5, 0.5, 0);
    s.AddVertex(1.5, 0.5, 1.5, 0);
    G3Facet* wall = FacetByIds(s, {p + 3, p + 4, p + 5});
    const double wallPlane[4] = {wall->GetPlaneA(), wall->GetPlaneB(), wall->GetPlaneC(), wall->GetPlaneD()};
    s.OrientNormals2(true);
    EXPECT_EQ("", MeshCheck(&s));
    const double c[3] = {1, 1, 1};
    EXPECT_TRUE(FacesAway(s, faces, c));
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(wallPlane[k], wall->GetPlane()[k]);
}

TEST(OrientNormals, FlipsOnlyBelowTheTolerance)
{
    // One corner normal against the plane (0, 0, 1): a dot product of
    // exactly -1e-6 leaves the facet, anything below turns it.
    for (double z : {-1e-6, -1.5e-6}) {
        G3Surface s;
        G3Vertex* v[3] = {s.AddVertex(0, 0, 0, 0), s.AddVertex(1, 0, 0, 0), s.AddVertex(0, 1, 0, 0)};
        G3Normal* n[3] = {s.AddNormal(0, 0, z), nullptr, nullptr};
        G3Facet* f = s.AddFacet(3, v, 1, n, nullptr);
        ASSERT_EQ(1.0, f->GetPlaneC());
        EXPECT_TRUE(s.OrientNormals());
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ(z < -1e-6, f->GetPlaneC() < 0.0) << z;
    }
    G3Surface bare;
    AddBox(bare, {0, 0, 0}, {1, 1, 1});
    EXPECT_FALSE(bare.OrientNormals());
}

TEST(FacetSideQueries, ScanPointKeepsEveryCrossing)
{
    // A comb of 60 teeth crosses the scan line 120 times; the widest gap is
    // the last tooth, far past the first hundred crossings.
    G3Surface s;
    std::vector<int> ids;
    const int teeth = 60;
    auto add = [&](double x, double y) { ids.push_back(static_cast<int>(s.AddVertex(x, y, 0, 0)->GetId())); };
    add(0, 0);
    for (int t = 0; t < teeth; ++t) {
        const double x0 = t == teeth - 1 ? 200.0 : 2.0 * t;
        const double width = t == teeth - 1 ? 50.0 : 1.0;
        add(x0, 0);
        add(x0, 10);
        add(x0 + width, 10);
        add(x0 + width, 0);
    }
    add(250, -1);
    add(0, -1);
    G3Facet* comb = FacetByIds(s, ids);
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
    G3Vertex* ov[4] = {frame.AddVertex(0, 0, 0, 0), frame.AddVertex(10, 0, 0, 0), frame.AddVertex(10, 10, 0, 0),
                       frame.AddVertex(0, 10, 0, 0)};
    G3Facet* f = frame.AddFacet(4, ov, 1, nullptr, nullptr);
    G3EdgeList hole(0, 0);
    G3Vertex* hv[4] = {frame.AddVertex(1, 1, 0, 0), frame.AddVertex(1, 9, 0, 0), frame.AddVertex(9, 9, 0, 0),
                       frame.AddVertex(9, 1, 0, 0)};
    for (int k = 0; k < 4; ++k)
        hole.AddEdge(hv[k], hv[(k + 1) % 4], nullptr, nullptr, nullptr, nullptr, 1);
    ASSERT_NE(nullptr, frame.AddFacetEdges(f, &hole));
    ASSERT_TRUE(f->GenerateXYPointInFacetConcave(x, y));
    const double q[3] = {x, y, 0};
    EXPECT_TRUE(x < 1.0 || x > 9.0) << x;
    EXPECT_TRUE(f->PointInFacetXY(q, nullptr, nullptr));
}

TEST(FacetSideQueries, SideOfAnEdge)
{
    G3Surface s;
    G3Vertex* v[4] = {s.AddVertex(0, 0, 0, 0), s.AddVertex(1, 0, 0, 0), s.AddVertex(1, 1, 0, 0),
                      s.AddVertex(0, 1, 0, 0)};
    G3Facet* below = s.AddFacet(3, v, 1, nullptr, nullptr);          // 0 1 2: right of 0->2
    G3Vertex* w[3] = {v[0], v[2], v[3]};
    G3Facet* above = s.AddFacet(3, w, 1, nullptr, nullptr);          // 0 2 3: left of 0->2
    const int a = below->GetIntersectionSignByEdge(v[0], v[2], 0, 1);
    const int b = above->GetIntersectionSignByEdge(v[0], v[2], 0, 1);
    EXPECT_NE(0, a);
    EXPECT_EQ(-a, b);
    // Not a step of the facet, or too short a line: no side.
    EXPECT_EQ(0, below->GetIntersectionSignByEdge(v[0], v[3], 0, 1));
    EXPECT_EQ(0, below->GetIntersectionSignByEdge(v[0], v[2], 0, 2 - 2));
}

TEST(FindEdgeOrientation, AlongTheDominantAxis)
{
    G3Surface s;
    G3Vertex* a = s.AddVertex(0, 0, 0, 0);
    G3Vertex* b = s.AddVertex(5, 1, 0, 0);
    G3Vertex* c = s.AddVertex(3, 2, 0, 0);
    FacetByIds(s, {0, 1, 2});
    G3Edge* ab = nullptr;
    G3Edge* bc = nullptr;
    for (int k = 0; k < s.GetEdgeCount(); ++k) {
        G3Edge* e = s.GetEdge(k);
        if (e->HasVertex(a) && e->HasVertex(b))
            ab = e;
        if (e->HasVertex(b) && e->HasVertex(c))
            bc = e;
    }
    ASSERT_TRUE(ab && bc);
    bool aUp = false;
    bool bUp = true;
    G3Surface::FindEdgeOrientation(ab, bc, &aUp, &bUp);
    EXPECT_EQ(ab->GetVertex2() == b, aUp);
    EXPECT_EQ(bc->GetVertex2() == b, bUp);
}
