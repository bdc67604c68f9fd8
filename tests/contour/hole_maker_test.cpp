// The hole maker on slabs (random sets of square openings measured by
// volume, openings over a facet edge, a top shared by two bottom halves)
// and on thick roofs from the roof generator.

#include "common/builders.h"
#include "mesh/mesh_check.h"

#include "Geometry/contour/G3HoleMaker.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "Geometry/mesh/G3MeshCheck.h"
#include "Geometry/roof/G3RoofFacetProvider.h"
#include "Geometry/roof/G3RoofGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <array>
#include <random>
#include <vector>

namespace {

using namespace testmesh;

// Registers the outline through these plan corners (at height 9) cut
// along -z.
void AddOutline(G3HoleMaker& maker, const std::vector<std::array<double, 2>>& corners)
{
    std::vector<std::unique_ptr<G3Point>> keep;
    GArrayCollection outline;
    for (const auto& q : corners) {
        keep.push_back(std::make_unique<G3Point>(q[0], q[1], 9.0));
        outline.add(keep.back().get());
    }
    G3Point down(0, 0, -1);
    EXPECT_FALSE(maker.AddHoleContour(&outline, &down));
}

// Registers the square x0..x0+side, y0..y0+side.
void AddSquare(G3HoleMaker& maker, double x0, double y0, double side, bool clockwise = false)
{
    std::vector<std::array<double, 2>> corners;
    const double ccw[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    const double cw[4][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
    for (const auto& q : clockwise ? cw : ccw)
        corners.push_back({x0 + side * q[0], y0 + side * q[1]});
    AddOutline(maker, corners);
}

// The slab 0..w x 0..4 x 0..1 with its top stamped (1, roof) and its
// bottom (2, lower); with `halves` the bottom is two facets split at x = 2.
void AddSlab(G3Surface& s, double w, bool halves)
{
    G3RoofFacetProvider* roof = G3RoofFacetProvider::Get();
    const double h = w / 2;
    std::vector<std::vector<P3>> bottoms = {{{0, 0, 0}, {0, 4, 0}, {w, 4, 0}, {w, 0, 0}}};
    if (halves)
        bottoms = {{{0, 0, 0}, {0, 4, 0}, {h, 4, 0}, {h, 0, 0}}, {{h, 0, 0}, {h, 4, 0}, {w, 4, 0}, {w, 0, 0}}};
    roof->SetCurrent(2, ROOF_FACET_LOWER);
    for (const auto& b : bottoms)
        SoupFacet(s, b);
    roof->SetCurrent(1, ROOF_FACET_ROOF);
    SoupFacet(s, {{0, 0, 1}, {w, 0, 1}, {w, 4, 1}, {0, 4, 1}});
    roof->SetCurrent(0, 0);
    SoupFacet(s, {{0, 0, 0}, {h, 0, 0}, {w, 0, 0}, {w, 0, 1}, {0, 0, 1}});
    SoupFacet(s, {{w, 4, 0}, {h, 4, 0}, {0, 4, 0}, {0, 4, 1}, {w, 4, 1}});
    SoupFacet(s, {{0, 4, 0}, {0, 0, 0}, {0, 0, 1}, {0, 4, 1}});
    SoupFacet(s, {{w, 0, 0}, {w, 4, 0}, {w, 4, 1}, {w, 0, 1}});
    s.RemoveEqualsVertex();
    s.FormPlaneEquation();
}

// Facets with this record (index -1: any index).
int CountType(G3Surface& s, long index, ROOF_FACET_TYPE type)
{
    int n = 0;
    for (int k = 0; k < s.GetFacetCount(); ++k)
        n += (index < 0 || G3RoofGenerator::GetFacetIndex(s.GetFacet(k)) == index) &&
             G3RoofGenerator::GetFacetType(s.GetFacet(k)) == type;
    return n;
}

TEST(HoleMaker, RandomSquaresThroughASlab)
{
    std::mt19937 gen(5);
    int sharedTops = 0;  // rounds where the top pairs with both bottom halves
    for (int round = 0; round < 12; ++round) {
        const bool halves = round % 3 == 2;
        G3Surface s;
        AddSlab(s, 8, halves);
        G3HoleMaker maker(&s);
        // Squares on a lattice of 2 x 2 cells, one per cell at most; the
        // last round's square straddles the top's edge and is skipped.
        const int n = 1 + round % 4;
        std::vector<int> cells = {0, 1, 2, 3, 4, 5, 6, 7};
        std::shuffle(cells.begin(), cells.end(), gen);
        double area = 0.0;
        for (int k = 0; k < n; ++k) {
            const double side = 0.5 + 0.25 * (gen() % 5);
            const int c = cells[static_cast<std::size_t>(k)];
            AddSquare(maker, 2.0 * (c % 4) + 0.2, 2.0 * (c / 4) + 0.2, side);
            area += side * side;
        }
        int left = 0;
        for (int k = 0; k < n; ++k)
            left += cells[static_cast<std::size_t>(k)] % 4 < 2;
        sharedTops += halves && left > 0 && left < n;
        AddSquare(maker, 7.5, 1.0, 1.0);
        const int facets = s.GetFacetCount();
        maker.MakeHoles();
        EXPECT_EQ(n, maker.GetMadeCount());
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ("", G3MeshMarksCheck(&s));
        EXPECT_TRUE(s.GetClosed());
        EXPECT_EQ(facets + 4 * n, s.GetFacetCount());
        EXPECT_NEAR(32.0 - area, G3SurfaceVolume(&s), 1e-9);
        // The rebuilt facets keep their records; the walls have none.
        EXPECT_EQ(1, CountType(s, 1, ROOF_FACET_ROOF));
        EXPECT_EQ(halves ? 2 : 1, CountType(s, 2, ROOF_FACET_LOWER));
        EXPECT_EQ(s.GetFacetCount() - 1 - (halves ? 2 : 1), CountType(s, 0, ROOF_FACET_NONE));

        // A second call cuts only what was added since.
        AddSquare(maker, 0.5, 2.5, 0.5);
        maker.MakeHoles();
        // Over an opening cut before (cell 4), its rays meet no facet.
        const bool over = std::count(cells.begin(), cells.begin() + n, 4) == 1;
        EXPECT_EQ(over ? 0 : 1, maker.GetMadeCount());
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_TRUE(s.GetClosed());
    }
    EXPECT_GE(sharedTops, 2);
}

// A second square meeting the first one (overlapping, sharing a side or a
// corner, inside it or around it) is skipped: cut into the same facets, the
// shared part came back as facet and its walls hung into the first
// opening. Apart from it, both are cut. The same when the second is cut by
// a later maker: around the first, its top and bottom came back with the
// first opening's rims as islands, a loose plug inside the new opening.
TEST(HoleMaker, OpeningsMeetingAnEarlierOneAreSkipped)
{
    struct Case {
        const char* name;
        double x0, y0, side;
        bool cut;
    };
    const Case cases[] = {
        {"apart", 4.0, 1.0, 1.0, true},       {"overlapping", 2.0, 2.0, 1.0, false},
        {"side", 2.5, 1.0, 1.0, false},       {"corner", 2.5, 2.5, 1.0, false},
        {"inside", 1.5, 1.5, 0.5, false},     {"around", 0.5, 0.5, 2.5, false},
    };
    for (const Case& c : cases)
        for (int round = 0; round < 4; ++round) {
            const bool clockwise = round % 2, later = round / 2;
            SCOPED_TRACE(testing::Message() << c.name << " " << round);
            G3Surface s;
            AddSlab(s, 8, false);
            G3HoleMaker maker(&s), second(&s);
            AddSquare(maker, 1.0, 1.0, 1.5);
            if (later)
                maker.MakeHoles();
            AddSquare(later ? second : maker, c.x0, c.y0, c.side, clockwise);
            maker.MakeHoles();
            second.MakeHoles();
            EXPECT_EQ(c.cut ? 2 : 1, maker.GetMadeCount() + second.GetMadeCount() + later);
            EXPECT_EQ("", MeshCheck(&s));
            EXPECT_TRUE(s.GetClosed());
            EXPECT_NEAR(32.0 - 2.25 - (c.cut ? c.side * c.side : 0.0), G3SurfaceVolume(&s), 1e-9);
        }
}

TEST(HoleMaker, NothingChangesWhenNoHoleFits)
{
    // Over the top's edge, beside the slab, across the bottom halves' seam;
    // outlines crossing themselves or without area (they were cut: a
    // bow-tie into facet sides that do not pair up, a line into walls of
    // no thickness).
    const std::vector<std::vector<std::array<double, 2>>> rows = {
        {{-0.5, 1}, {0.5, 1}, {0.5, 2}, {-0.5, 2}}, {{9, 1}, {10, 1}, {10, 2}, {9, 2}},
        {{3.5, 1}, {4.5, 1}, {4.5, 2}, {3.5, 2}},   {{1, 1}, {2, 2}, {2, 1}, {1, 2}},
        {{1, 1}, {2, 1}, {3, 1}},                   {{1, 1}, {1, 1}, {1, 1}},
        {{1, 1}, {3, 1}, {3, 3}, {2, 0.5}, {1, 3}}};
    for (const auto& r : rows) {
        G3Surface s;
        AddSlab(s, 8, true);
        const int facets = s.GetFacetCount(), vertices = s.GetVertexCount();
        G3HoleMaker maker(&s);
        AddOutline(maker, r);
        maker.MakeHoles();
        EXPECT_EQ(0, maker.GetMadeCount());
        EXPECT_EQ(facets, s.GetFacetCount());
        EXPECT_EQ(vertices, s.GetVertexCount());
    }
}

TEST(HoleMaker, OpeningsThroughAThickHipRoof)
{
    std::vector<std::unique_ptr<G3Point>> pts;
    std::vector<double> angles(4, 35.0 * 3.14159265358979323846 / 180.0);
    GArrayCollection outline, angleList;
    const double corners[4][2] = {{0, 0}, {12, 0}, {12, 8}, {0, 8}};
    for (int k = 0; k < 4; ++k) {
        pts.push_back(std::make_unique<G3Point>(corners[k][0], corners[k][1], 0.0));
        outline.add(pts.back().get());
        angleList.add(G3RoofGenerator::AngleEntry(&angles[static_cast<std::size_t>(k)]));
    }
    G3Surface s;
    G3RoofGenerator gen(&s, 0.0, 0.3, 0.5);
    ASSERT_TRUE(gen.Regen(&outline, &angleList));
    // The generator writes a soup; welded with edge division, stitched and
    // turned outward it is a closed solid.
    s.RemoveEqualsVertexAndDivideEdges();
    s.RemoveNonManifoldEdges();
    s.OrientNormals2(true);
    s.FormPlaneEquation();
    ASSERT_EQ("", G3ClosedCheck(&s));
    const double volume = G3SurfaceVolume(&s);
    const int layers[2] = {CountType(s, -1, ROOF_FACET_ROOF), CountType(s, -1, ROOF_FACET_LOWER)};
    G3HoleMaker maker(&s);
    AddSquare(maker, 3, 1.5, 1.0);  // a chimney on the long front plane
    AddSquare(maker, 6, 5.5, 1.2);  // a window on the back plane
    AddSquare(maker, 11, 3.5, 0.6); // a vent on the hip end
    AddSquare(maker, 8, 1.0, 0.8, true); // a skylight given clockwise
    maker.MakeHoles();
    EXPECT_EQ(4, maker.GetMadeCount());
    EXPECT_EQ("", MeshCheck(&s));
    // Still a closed solid facing out (no bridges, walls turned as the
    // layers are), less the openings' plan area times the slab's vertical
    // thickness.
    EXPECT_EQ("", G3ClosedCheck(&s));
    EXPECT_NEAR(volume - (1.0 + 1.44 + 0.36 + 0.64) * 0.3, G3SurfaceVolume(&s), 1e-9);
    EXPECT_EQ(layers[0], CountType(s, -1, ROOF_FACET_ROOF));
    EXPECT_EQ(layers[1], CountType(s, -1, ROOF_FACET_LOWER));
}

} // namespace
