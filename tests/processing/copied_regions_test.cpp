// Rooms exported one box each, every face as two triangles split along a
// diagonal of its own: the walls between rooms come twice, triangulated
// differently, and so do the ceilings listed twice; the floor is one slab
// under all rooms (the rooms' walls meet its sides in T-junctions). The
// repair sequence must give the one box they fill: closed, no inner wall
// left (area of the boundary), the box's volume, facing out.
#include "common/builders.h"
#include "mesh/mesh_check.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "Geometry/processing/G3Weld.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

using namespace testmesh;

namespace {

// A rectangle a b c d (counter-clockwise seen from the side it faces) as
// two triangles along a random diagonal, each wound either way.
void AddSplitQuad(G3Surface& s, std::mt19937& rng, P3 a, P3 b, P3 c, P3 d)
{
    std::vector<std::vector<P3>> t = (rng() & 1) ? std::vector<std::vector<P3>>{{a, b, c}, {a, c, d}}
                                                 : std::vector<std::vector<P3>>{{a, b, d}, {b, c, d}};
    for (auto& tri : t) {
        if (rng() & 1)
            std::reverse(tri.begin(), tri.end());
        SoupFacet(s, tri);
    }
}

} // namespace

TEST(RepairCopiedFaces, RoomsTriangulatedApartBecomeOneBox)
{
    for (unsigned seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        const double x0 = (seed % 3 == 0) ? 512345.25 : 0.0, y0 = (seed % 3 == 0) ? 5123456.5 : 0.0;
        const double w = 2.0 + 0.5 * (rng() % 5), h = 2.5 + 0.25 * (rng() % 3);
        std::vector<double> cut = {x0};
        for (int rooms = 2 + static_cast<int>(rng() % 3); rooms > 0; --rooms)
            cut.push_back(cut.back() + 1.0 + 0.5 * (rng() % 6));
        G3Surface s;
        const double l = cut.back() - x0;
        AddSplitQuad(s, rng, {x0, y0, 0}, {x0, y0 + w, 0}, {cut.back(), y0 + w, 0}, {cut.back(), y0, 0});
        for (std::size_t r = 0; r + 1 < cut.size(); ++r) {
            const double a = cut[r], b = cut[r + 1];
            for (int copy = 0; copy < 1 + static_cast<int>(rng() % 2); ++copy)
                AddSplitQuad(s, rng, {a, y0, h}, {b, y0, h}, {b, y0 + w, h}, {a, y0 + w, h});
            AddSplitQuad(s, rng, {a, y0, 0}, {b, y0, 0}, {b, y0, h}, {a, y0, h});
            AddSplitQuad(s, rng, {b, y0 + w, 0}, {a, y0 + w, 0}, {a, y0 + w, h}, {b, y0 + w, h});
            AddSplitQuad(s, rng, {a, y0 + w, 0}, {a, y0, 0}, {a, y0, h}, {a, y0 + w, h});
            AddSplitQuad(s, rng, {b, y0, 0}, {b, y0 + w, 0}, {b, y0 + w, h}, {b, y0, h});
        }
        // The sequence of `g3 repair --orient`.
        G3WeldAndDivide(&s);
        EXPECT_EQ("", MeshCheck(&s));
        s.RemoveEqualsNormal();
        s.FormPlaneEquation();
        s.RemoveTrivialFacets(GTolerance::kWeld);
        while (G3WeldAndDivide(&s) > 0) {
        }
        EXPECT_EQ("", MeshCheck(&s));
        s.RemoveEqualsFacets();
        EXPECT_EQ("", MeshCheck(&s));
        s.RemoveNonManifoldEdges();
        EXPECT_EQ("", MeshCheck(&s));
        s.FormPlaneEquation();
        s.OrientNormals2(true);
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_TRUE(G3SurfaceWatertight(&s));
        const double area = 2 * (l * w + l * h + w * h);
        EXPECT_NEAR(area, G3SurfaceArea(&s), GTolerance::kZeroLength * area);
        EXPECT_NEAR(l * w * h, G3SurfaceVolume(&s), GTolerance::kZeroLength * area);
    }
}
