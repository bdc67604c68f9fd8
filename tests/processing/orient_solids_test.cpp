// Orientation from the geometry alone on closed solids with nearly vertical
// facets in every position (wedges, battered walls, slanted fins, their
// mirrors, turned about the vertical and tilted a little), alone, side by
// side, and with a void inside: whatever way the facets are given, they
// come out facing out of the material, and a second pass turns nothing.
// Repeated facets in a solid: Update's facet level leaves it outward.
// The oracle is the divergence-theorem volume (G3SurfaceVolume), which reads
// only chains, and the outward normals the builder knows.

#include "Geometry/foundation/GRandom.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3Weld.h"
#include "tests/common/builders.h"
#include "tests/mesh/mesh_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace testmesh;

double Uniform(double lo, double hi) { return lo + (hi - lo) * (GRand() % 1000001) / 1000000.0; }

// A prism over the cross-section `xz` (a polygon in the x-z plane) from
// y = 0 to y = length, placed by a turn about z, a small tilt about x, an
// optional mirror in x and a shift; facets face outward (`inward`: all in).
// Returns the facets' outward normals, in facet order from `first`.
void AddPrism(G3Surface& s, std::vector<P3> xz, double length, double turn, double tilt, bool mirror, const P3& at,
              bool inward, std::vector<P3>& outward)
{
    const std::size_t n = xz.size();
    auto place = [&](double x, double y, double z) {
        if (mirror)
            x = -x;
        const double y1 = y * std::cos(tilt) - z * std::sin(tilt);
        const double z1 = y * std::sin(tilt) + z * std::cos(tilt);
        const double x2 = x * std::cos(turn) - y1 * std::sin(turn);
        const double y2 = x * std::sin(turn) + y1 * std::cos(turn);
        return s.AddVertex(x2 + at[0], y2 + at[1], z1 + at[2], 0);
    };
    std::vector<G3Vertex*> v0;
    std::vector<G3Vertex*> v1;
    for (const P3& p : xz)
        v0.push_back(place(p[0], 0.0, p[2]));
    for (const P3& p : xz)
        v1.push_back(place(p[0], length, p[2]));
    std::vector<std::vector<G3Vertex*>> faces;
    faces.push_back(std::vector<G3Vertex*>(v0.begin(), v0.end()));
    faces.push_back(std::vector<G3Vertex*>(v1.rbegin(), v1.rend()));
    for (std::size_t k = 0; k < n; ++k)
        faces.push_back({v0[(k + 1) % n], v0[k], v1[k], v1[(k + 1) % n]});
    const int firstFacet = s.GetFacetCount();
    for (auto& f : faces)
        s.AddFacet(static_cast<int>(f.size()), f.data(), 1, nullptr, nullptr);
    // The winding that faces out depends on the cross-section's turn and
    // the mirror: read it off the prism's own volume.
    G3Surface probe;
    double volume = 0.0;
    {
        std::vector<G3Vertex*> pv;
        for (int k = 0; k < s.GetVertexCount(); ++k)
            pv.push_back(probe.AddVertex(s.GetVertex(k)->GetX(), s.GetVertex(k)->GetY(), s.GetVertex(k)->GetZ(), 0));
        for (auto& f : faces) {
            std::vector<G3Vertex*> q;
            for (G3Vertex* x : f)
                q.push_back(pv[static_cast<std::size_t>(x->GetId())]);
            probe.AddFacet(static_cast<int>(q.size()), q.data(), 1, nullptr, nullptr);
        }
        volume = G3SurfaceVolume(&probe);
    }
    for (int k = firstFacet; k < s.GetFacetCount(); ++k) {
        G3Facet* f = s.GetFacet(k);
        if ((volume < 0.0) != inward)
            f->NegPlane();
        f->FormPlaneEquation();
        const double sign = inward ? -1.0 : 1.0;
        outward.push_back({sign * f->GetPlaneA(), sign * f->GetPlaneB(), sign * f->GetPlaneC()});
    }
}

// Cross-sections with sides near the probes' cut-off: the thin wedge, a
// battered wall (one face leaning, one plumb), a slanted fin.
std::vector<P3> CrossSection(int family)
{
    const double a = Uniform(0.02, 0.08);
    const double w = Uniform(1e-4, 4e-3);
    const double h = Uniform(0.5, 3.0);
    switch (family) {
    case 0:
        return {{0, 0, 1}, {a, 0, 0}, {a + w, 0, 0}};
    case 1:
        return {{0, 0, 0}, {a + w + 0.3, 0, 0}, {a + w + 0.3, 0, h}, {a * h, 0, h}};
    default:
        return {{0, 0, 0}, {w, 0, 0}, {w + a * h, 0, h}, {a * h, 0, h}};
    }
}

// Whether every facet faces along the normal the builder recorded for it.
int FacingWrong(G3Surface& s, const std::vector<P3>& outward)
{
    int wrong = 0;
    for (int k = 0; k < s.GetFacetCount(); ++k) {
        const G3Facet* f = s.GetFacet(k);
        const P3& n = outward[static_cast<std::size_t>(k)];
        if (f->GetPlaneA() * n[0] + f->GetPlaneB() * n[1] + f->GetPlaneC() * n[2] < 0.0)
            ++wrong;
    }
    return wrong;
}

TEST(OrientNormals2, SolidsWithNearlyVerticalFacetsComeOutFacingOut)
{
    GSRand(35);
    for (int round = 0; round < 400; ++round) {
        G3Surface s;
        std::vector<P3> outward;
        const int family = round % 3;
        const bool mirror = round % 2 == 1;
        const double turn = round < 6 ? 0.0 : Uniform(0.0, 6.283185307179586);
        const double tilt = round < 6 ? 0.0 : Uniform(-0.02, 0.02);
        std::vector<P3> section = round < 2 ? std::vector<P3>{{0, 0, 1}, {0.044, 0, 0}, {0.046, 0, 0}}
                                            : CrossSection(family);
        AddPrism(s, section, Uniform(0.5, 2.0), turn, tilt, mirror, {0, 0, 0}, false, outward);
        const int pieces = round % 3 == 2 ? 1 : 1 + static_cast<int>(GRand() % 3);
        for (int p = 1; p < pieces; ++p)
            AddPrism(s, CrossSection(static_cast<int>(GRand() % 3)), Uniform(0.5, 2.0), Uniform(0.0, 6.28),
                     Uniform(-0.02, 0.02), GRand() % 2 == 0, {3.0 * p, Uniform(-1, 1), Uniform(-1, 1)}, false, outward);
        // Every third scene puts its first solid inside a box: the solid is
        // then a void and must face into the box's material.
        if (round % 3 == 2) {
            const int before = s.GetFacetCount();
            for (int k = 0; k < before; ++k)
                s.GetFacet(k)->NegPlane();
            for (int k = 0; k < before; ++k)
                for (double& c : outward[static_cast<std::size_t>(k)])
                    c = -c;
            const std::vector<G3Facet*> box = AddBox(s, {-4, -4, -2}, {4, 4, 4});
            for (G3Facet* f : box) {
                f->FormPlaneEquation();
                outward.push_back({f->GetPlaneA(), f->GetPlaneB(), f->GetPlaneC()});
            }
        }
        const double volume = G3SurfaceVolume(&s);
        ASSERT_EQ(0, FacingWrong(s, outward));
        // Given outward, inside out, or with facets turned at random.
        const int given = static_cast<int>(GRand() % 3);
        for (int k = 0; k < s.GetFacetCount(); ++k)
            if (given == 1 || (given == 2 && GRand() % 2 == 0))
                s.GetFacet(k)->NegPlane();
        SCOPED_TRACE("round " + std::to_string(round) + " given " + std::to_string(given));
        EXPECT_TRUE(s.OrientNormals2(true));
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ(0, FacingWrong(s, outward));
        EXPECT_NEAR(volume, G3SurfaceVolume(&s), 1e-9 * std::fabs(volume));
        s.OrientNormals2(true);
        EXPECT_EQ(0, FacingWrong(s, outward)) << "a second pass turned facets";
    }
}

// A unit box with one face listed again (either way round) anywhere, and
// two boxes sharing a face, after Update's facet level: closed, outward,
// the enclosed volume.
TEST(UpdateFacets, RepeatedFacetsLeaveSolidsOutward)
{
    for (int face = 0; face < 6; ++face) {
        for (bool reversed : {false, true}) {
            SCOPED_TRACE("face " + std::to_string(face) + (reversed ? " reversed" : ""));
            G3Surface s;
            const std::vector<G3Facet*> box = AddBox(s, {0, 0, 0}, {1, 1, 1});
            std::vector<G3Vertex*> q = Corners(box[static_cast<std::size_t>(face)]);
            if (reversed)
                std::reverse(q.begin(), q.end());
            s.AddFacet(4, q.data(), 1, nullptr, nullptr);
            s.Update(CHECK_LEVEL_FACETS);
            EXPECT_EQ("", MeshCheck(&s));
            EXPECT_EQ(6, s.GetFacetCount());
            EXPECT_TRUE(G3SurfaceWatertight(&s));
            EXPECT_NEAR(1.0, G3SurfaceVolume(&s), 1e-12);
        }
    }
    G3Surface two;
    AddBox(two, {0, 0, 0}, {1, 1, 1});
    AddBox(two, {1, 0, 0}, {2, 1, 1});
    two.Update(CHECK_LEVEL_FACETS);
    EXPECT_EQ("", MeshCheck(&two));
    EXPECT_EQ(10, two.GetFacetCount());
    EXPECT_TRUE(G3SurfaceWatertight(&two));
    EXPECT_NEAR(2.0, G3SurfaceVolume(&two), 1e-12);
}

// Storeys of rooms, each room a box of its own sharing its walls, floor
// and ceiling with its neighbours (the shared faces lie on one another),
// each storey split into rooms its own way, so a floor may lie on parts
// of several ceilings. Walls are made of the cells of one grid (each
// split along a random diagonal), floors and ceilings are fans over their
// outlines, so the corners are welded; the triangles are listed in random
// order and a third of them turned. Each
// room's faces must come out facing out of it: the volume is the rooms'
// sum. The same triangles are also given as a soup, each with corners of
// its own, and repaired as `g3 repair --orient` does: welded, the
// back-to-back walls dropped (a floor and the ceiling it lies on may then
// join along an edge into one piece folded onto itself), then oriented.
TEST(OrientNormals2, RoomsSharingFacesListedInAnyOrder)
{
    GSRand(2027);
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const int n[3] = {2 + static_cast<int>(GRand() % 4), 2 + static_cast<int>(GRand() % 4),
                          1 + static_cast<int>(GRand() % 3)};
        std::vector<double> at[3];
        for (int a = 0; a < 3; ++a) {
            at[a].push_back(0.0);
            for (int i = 0; i < n[a]; ++i)
                at[a].push_back(at[a].back() + Uniform(1.0, 3.0));
        }
        G3Surface s;
        std::vector<G3Vertex*> grid;
        for (int k = 0; k <= n[2]; ++k)
            for (int j = 0; j <= n[1]; ++j)
                for (int i = 0; i <= n[0]; ++i)
                    grid.push_back(s.AddVertex(at[0][static_cast<std::size_t>(i)], at[1][static_cast<std::size_t>(j)],
                                               at[2][static_cast<std::size_t>(k)], 0));
        auto corner = [&](const int* c) { return grid[static_cast<std::size_t>(c[0] + (n[0] + 1) * (c[1] + (n[1] + 1) * c[2]))]; };
        double volume = 0.0;
        std::vector<std::vector<G3Vertex*>> triangles;
        for (int k = 0; k < n[2]; ++k) {
            // This storey's room walls: grid lines kept at random.
            std::vector<int> walls[2];
            for (int a = 0; a < 2; ++a)
                for (int i = 0; i <= n[a]; ++i)
                    if (i == 0 || i == n[a] || GRand() % 2)
                        walls[a].push_back(i);
            for (std::size_t x = 0; x + 1 < walls[0].size(); ++x)
                for (std::size_t y = 0; y + 1 < walls[1].size(); ++y) {
                    const int lo[3] = {walls[0][x], walls[1][y], k};
                    const int hi[3] = {walls[0][x + 1], walls[1][y + 1], k + 1};
                    volume += (at[0][hi[0]] - at[0][lo[0]]) * (at[1][hi[1]] - at[1][lo[1]]) * (at[2][k + 1] - at[2][k]);
                    for (int axis = 0; axis < 3; ++axis)
                        for (int side = 0; side < 2; ++side) {
                            const int u = (axis + 1) % 3;
                            const int v = (axis + 2) % 3;
                            if (axis == 2) {
                                // A floor or ceiling: a fan from its centre
                                // over its outline through every grid corner
                                // on it, counter-clockwise seen from above.
                                std::vector<G3Vertex*> ring;
                                auto add = [&](int cx, int cy) {
                                    const int c[3] = {cx, cy, side ? hi[2] : lo[2]};
                                    ring.push_back(corner(c));
                                };
                                for (int i = lo[0]; i < hi[0]; ++i)
                                    add(i, lo[1]);
                                for (int j = lo[1]; j < hi[1]; ++j)
                                    add(hi[0], j);
                                for (int i = hi[0]; i > lo[0]; --i)
                                    add(i, hi[1]);
                                for (int j = hi[1]; j > lo[1]; --j)
                                    add(lo[0], j);
                                if (side == 0)
                                    std::reverse(ring.begin(), ring.end());
                                G3Vertex* m = s.AddVertex(0.5 * (at[0][lo[0]] + at[0][hi[0]]),
                                                          0.5 * (at[1][lo[1]] + at[1][hi[1]]),
                                                          at[2][side ? hi[2] : lo[2]], 0);
                                for (std::size_t e = 0; e < ring.size(); ++e)
                                    triangles.push_back({m, ring[e], ring[(e + 1) % ring.size()]});
                                continue;
                            }
                            for (int cu = lo[u]; cu < hi[u]; ++cu)
                                for (int cv = lo[v]; cv < hi[v]; ++cv) {
                                    // The cell's corners counter-clockwise
                                    // seen from outside the room.
                                    std::vector<G3Vertex*> q;
                                    for (int m = 0; m < 4; ++m) {
                                        int c[3];
                                        c[axis] = side ? hi[axis] : lo[axis];
                                        c[u] = cu + (m == 1 || m == 2);
                                        c[v] = cv + (m >= 2);
                                        q.push_back(corner(c));
                                    }
                                    if (side == 0)
                                        std::reverse(q.begin(), q.end());
                                    const std::size_t d = GRand() % 2;
                                    triangles.push_back({q[d], q[d + 1], q[(d + 2) % 4]});
                                    triangles.push_back({q[d], q[(d + 2) % 4], q[(d + 3) % 4]});
                                }
                        }
                }
        }
        for (std::size_t t = triangles.size(); t > 1; --t)
            std::swap(triangles[t - 1], triangles[GRand() % t]);
        for (std::vector<G3Vertex*>& t : triangles)
            s.AddFacet(3, t.data(), 1, nullptr, nullptr);
        s.FormPlaneEquation();
        ASSERT_NEAR(volume, G3SurfaceVolume(&s), 1e-9 * volume);
        for (int k = 0; k < s.GetFacetCount(); ++k)
            if (GRand() % 3 == 0)
                s.GetFacet(k)->NegPlane();
        G3Surface soup;
        for (int k = 0; k < s.GetFacetCount(); ++k) {
            std::vector<P3> corners;
            for (const G3Vertex* v : Corners(s.GetFacet(k)))
                corners.push_back({v->GetX(), v->GetY(), v->GetZ()});
            SoupFacet(soup, corners);
        }
        EXPECT_TRUE(s.OrientNormals2(true));
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_NEAR(volume, G3SurfaceVolume(&s), 1e-9 * volume);

        G3WeldAndDivide(&soup);
        EXPECT_EQ("", MeshCheck(&soup));
        soup.FormPlaneEquation();
        soup.RemoveTrivialFacets(GTolerance::kWeld);
        EXPECT_EQ("", MeshCheck(&soup));
        soup.RemoveEqualsFacets();
        EXPECT_EQ("", MeshCheck(&soup));
        soup.RemoveNonManifoldEdges();
        EXPECT_EQ("", MeshCheck(&soup));
        EXPECT_TRUE(soup.OrientNormals2(true));
        EXPECT_EQ("", MeshCheck(&soup));
        EXPECT_NEAR(volume, G3SurfaceVolume(&soup), 1e-9 * volume) << "welded from a soup";
    }
}

} // namespace
