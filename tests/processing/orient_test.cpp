// Orientation from corner normals and from the geometry alone, and the
// facet side queries the passes rely on.

#include "Geometry/foundation/GRandom.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/processing/G3EdgeList.h"
#include "tests/mesh/mesh_builder.h"
#include "tests/processing/orient_merge_support.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace orienttest;

namespace {

// Every facet of a box centred at c faces away from c.
bool FacesAway(const std::vector<G3Facet*>& faces, const double* c)
{
    for (G3Facet* f : faces) {
        const double* p = f->GetPlane();
        if (p[0] * c[0] + p[1] * c[1] + p[2] * c[2] + p[3] >= 0.0)
            return false;
    }
    return true;
}

// A UV sphere of radius 2 on shared vertices, triangles facing out.
void Sphere(G3Surface& s)
{
    const int rings = 8, segments = 12;
    s.AddVertex(0, 0, 2, 0);
    for (int r = 1; r < rings; ++r)
        for (int k = 0; k < segments; ++k) {
            const double th = M_PI * r / rings, ph = 2 * M_PI * k / segments;
            s.AddVertex(2 * std::sin(th) * std::cos(ph), 2 * std::sin(th) * std::sin(ph), 2 * std::cos(th), 0);
        }
    const int south = s.GetVertexCount();
    s.AddVertex(0, 0, -2, 0);
    auto at = [&](int r, int k) { return r == 0 ? 0 : r == rings ? south : 1 + (r - 1) * segments + k % segments; };
    for (int r = 0; r < rings; ++r)
        for (int k = 0; k < segments; ++k) {
            if (r > 0)
                FacetByIds(s, {at(r, k), at(r + 1, k), at(r, k + 1)});
            if (r < rings - 1)
                FacetByIds(s, {at(r, k + 1), at(r + 1, k), at(r + 1, k + 1)});
        }
}

} // namespace

// Solids turned partly or wholly inside out come back facing out, by their
// signed volume: a sphere with its lower half turned, an inward box, a box
// with each face in turn flipped alone (vertical ones are never probed and
// are reached only by the spread from their neighbours), and a box with a
// cavity where both start wrong.
TEST(OrientNormals2, TurnedSolidsComeOutFacingOut)
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

    const double centre[3] = {0.5, 1.0, 1.5};
    for (int flipped = -1; flipped < 6; ++flipped) {
        G3Surface s;
        std::vector<G3Facet*> faces = AddBox(s, {0, 0, 0}, {1, 2, 3});
        if (flipped < 0)
            s.NegPlane();
        else
            faces[static_cast<size_t>(flipped)]->NegPlane();
        s.OrientNormals2(true);
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ("", LeftState(s));
        EXPECT_TRUE(FacesAway(faces, centre)) << "flipped " << flipped;
        EXPECT_NEAR(6.0, SignedVolume(s), 1e-9) << "flipped " << flipped;
    }

    G3Surface s;
    AddBox(s, {1, 1, 1}, {3, 3, 3});
    AddBox(s, {0, 0, 0}, {4, 4, 4}, false, true);
    s.OrientNormals2(true);
    EXPECT_EQ("", MeshCheck(&s));
    EXPECT_EQ("", LeftState(s));
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
        G3Vertex* v[3] = {s.AddVertex(0, 0, 0, 0), s.AddVertex(1, 0, slope, 0), s.AddVertex(0, 1, 0, 0)};
        G3Facet* f = s.AddFacet(3, v, 1, nullptr, nullptr);
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
    // must neither disturb the inward box's parity nor be turned by a probe.
    G3Surface s;
    std::vector<G3Facet*> faces = AddBox(s, {0, 0, 0}, {2, 2, 2}, false, true);
    ASSERT_NE(nullptr, SoupFacet(s, {{0.7, 0.7, 1.0}, {0.7, 0.7, 1.0}, {0.7, 0.7, 1.0}}));
    G3Facet* wall = SoupFacet(s, {{0.5, 0.5, 0.5}, {1.5, 0.5, 0.5}, {1.5, 0.5, 1.5}});
    const std::vector<double> wallPlane(wall->GetPlane(), wall->GetPlane() + 4);
    s.OrientNormals2(true);
    EXPECT_EQ("", MeshCheck(&s));
    const double c[3] = {1, 1, 1};
    EXPECT_TRUE(FacesAway(faces, c));
    EXPECT_EQ(wallPlane, std::vector<double>(wall->GetPlane(), wall->GetPlane() + 4));
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
    // Not a step of the facet, or too short a line: no side.
    EXPECT_EQ(0, below->GetIntersectionSignByEdge(v[0], v[3], 0, 1));
    EXPECT_EQ(0, below->GetIntersectionSignByEdge(v[0], v[2], 0, 0));

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
