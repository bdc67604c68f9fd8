// Shells of solids whose faces are given as several facets: unions of grid
// boxes as triangles (an export), turned and at site coordinates, checked
// against the exact offset of the union; and two boxes sharing a corner.

#include "solid_fixtures.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/boolean/G3SolidsBuilder.h"
#include "Geometry/foundation/GRandom.h"
#include "Geometry/mesh/G3MeshCheck.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "tests/mesh/mesh_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

using fixtures::P;
using fixtures::SurfacePtr;
using Box6 = std::array<double, 6>;

// The volume of the union of boxes on the unit grid offset by t in the max
// norm, over the grid refined by t: a cell is in it when the cube of
// half-side |t| about its centre meets (grown) or lies in (shrunk) the
// unit cells the boxes fill.
double OffsetVolume(const std::vector<Box6>& boxes, double t)
{
    const double u = std::fabs(t);
    auto filled = [&](int i, int j, int k) {
        return std::any_of(boxes.begin(), boxes.end(), [&](const Box6& b) {
            return b[0] <= i && i < b[3] && b[1] <= j && j < b[4] && b[2] <= k && k < b[5];
        });
    };
    std::vector<double> a;
    for (int g = -1; g <= 9; ++g)
        a.insert(a.end(), {g - u, g + 0.0, g + u});
    double volume = 0.0;
    for (std::size_t x = 0; x + 1 < a.size(); ++x)
        for (std::size_t y = 0; y + 1 < a.size(); ++y)
            for (std::size_t z = 0; z + 1 < a.size(); ++z) {
                const double c[3] = {0.5 * (a[x] + a[x + 1]), 0.5 * (a[y] + a[y + 1]), 0.5 * (a[z] + a[z + 1])};
                bool any = false, all = true;
                for (int i = static_cast<int>(std::floor(c[0] - u)); i <= static_cast<int>(std::floor(c[0] + u)); ++i)
                    for (int j = static_cast<int>(std::floor(c[1] - u)); j <= static_cast<int>(std::floor(c[1] + u)); ++j)
                        for (int k = static_cast<int>(std::floor(c[2] - u)); k <= static_cast<int>(std::floor(c[2] + u)); ++k) {
                            const bool f = filled(i, j, k);
                            any = any || f;
                            all = all && f;
                        }
                if (t > 0.0 ? any : all)
                    volume += (a[x + 1] - a[x]) * (a[y + 1] - a[y]) * (a[z + 1] - a[z]);
            }
    return volume;
}

// Unions of boxes on a unit grid given as triangles, grown and shrunk by a
// fifth of the grid: where a thin triangle meets a vertex of four planes
// its far side crossed the notch the corners cut, and the shell was
// refused. Every shell handed back is closed with the offset's volume, and
// each facet carries the flags of the facet its number names and faces
// its way (a face's triangles carry flags of their own, by face).
TEST(SolidsBuilder, ShellsOfTriangulatedUnionsOfBoxesHoldTheOffsetUnion)
{
    GSRand(47);
    int shells = 0, refused = 0;
    for (int round = 0; round < 40; ++round) {
        std::vector<Box6> boxes;
        SurfacePtr solid;
        for (int k = 0, n = 2 + round % 3; k < n && (k == 0 || solid); ++k) {
            Box6 b;
            for (int d = 0; d < 3; ++d) {
                b[d] = std::floor(4.99 * GRand() / G_RAND_MAX);
                b[d + 3] = b[d] + 1 + std::floor(2.99 * GRand() / G_RAND_MAX);
            }
            boxes.push_back(b);
            SurfacePtr box = fixtures::Box({b[0], b[1], b[2]}, {b[3], b[4], b[5]});
            G3BooleanCalculator engine;
            solid.reset(solid ? engine.Add(solid.release(), box.release()) : box.release());
        }
        // Boxes touching along an edge or at a corner only: no outward shell.
        bool pinched = false;
        for (std::size_t i = 0; i < boxes.size(); ++i)
            for (std::size_t j = 0; j < i; ++j) {
                int apart = 0, touching = 0;
                for (int d = 0; d < 3; ++d) {
                    const double overlap = std::min(boxes[i][d + 3], boxes[j][d + 3]) - std::max(boxes[i][d], boxes[j][d]);
                    apart += overlap < 0.0;
                    touching += overlap == 0.0;
                }
                pinched = pinched || (apart == 0 && touching >= 2);
            }
        if (pinched || !solid || !G3ClosedCheck(solid.get()).empty())
            continue;
        const double turn = 6.28 * GRand() / G_RAND_MAX;
        const fixtures::Motion m = fixtures::Motion::Turn({0, 0, 1}, round % 2 ? turn : 0.0, {round % 4 >= 2 ? 5e5 : 0.0, 0, 0});
        for (int k = 0; k < solid->GetVertexCount(); ++k) {
            double* x = solid->GetVertex(k)->GetXYZ();
            const P y = m.Apply({x[0], x[1], x[2]});
            std::copy(y.begin(), y.end(), x);
        }
        solid->Triangulate(4, 0);
        solid->FormPlaneEquation();
        for (int k = 0; k < solid->GetFacetCount(); ++k)
            solid->GetFacet(k)->SetFlags(solid->GetFacet(k)->GetPlane()[2] > 0.5 ? 0x40 : 0);
        ASSERT_EQ("", MeshCheck(solid.get())) << "round " << round;
        for (double t : {0.2, -0.2}) {
            G3Surface* raw = nullptr;
            refused += !G3SolidsBuilder::Shell(solid.get(), &raw, t, nullptr);
            SurfacePtr shell(raw);
            if (!shell)
                continue;
            ++shells;
            EXPECT_EQ("", MeshCheck(shell.get())) << "round " << round;
            EXPECT_EQ("", G3ClosedCheck(shell.get())) << "round " << round;
            const double volume = OffsetVolume(boxes, t);
            EXPECT_NEAR(volume, G3SurfaceVolume(shell.get()), 1e-6 * volume) << "round " << round << " t " << t;
            for (int k = 0; k < shell->GetFacetCount(); ++k) {
                const G3Facet* g = shell->GetFacet(k);
                ASSERT_TRUE(g->GetSurface() >= 0 && g->GetSurface() < solid->GetFacetCount());
                const G3Facet* f = solid->GetFacet(g->GetSurface());
                EXPECT_EQ(f->GetFlags(), g->GetFlags()) << "round " << round;
                const double* a = f->GetPlane();
                const double* b = g->GetPlane();
                EXPECT_GT(a[0] * b[0] + a[1] * b[1] + a[2] * b[2], 0.999) << "round " << round;
            }
        }
    }
    // Once: shrunk where two notches meet at a point (the solid between
    // them crossed itself there, its volume short by the overlap).
    EXPECT_EQ(1, refused);
    EXPECT_GT(shells, 40);
}

// Two boxes sharing one corner, in one mesh, turned and at site
// coordinates: grown, each moved into the other there and the shell came
// back closed, crossing itself, the overlap counted twice; it is refused as
// a pinch along an edge is. Shrunk, the boxes move apart, each by itself.
TEST(SolidsBuilder, OutwardShellsOfSolidsTouchingAtACornerAreRefused)
{
    GSRand(83);
    for (int round = 0; round < 6; ++round) {
        auto side = [] { return 1.0 + GRand() % 3; };
        const P a = {side(), side(), side()};
        const P b = {a[0] + side(), a[1] + side(), a[2] + side()};
        const fixtures::Motion m = fixtures::Motion::Turn({0, std::sin(0.2), std::cos(0.2)}, round, {round % 2 ? 5e5 : 0, 0, 0});
        SurfacePtr solid(new G3Surface());
        fixtures::AddBox(solid.get(), {0, 0, 0}, a, round % 2 == 1, m);
        fixtures::AddBox(solid.get(), a, b, false, m);
        solid->RemoveEqualsVertex();
        ASSERT_EQ("", G3ClosedCheck(solid.get())) << "round " << round;
        G3Surface* raw = nullptr;
        EXPECT_FALSE(G3SolidsBuilder::Shell(solid.get(), &raw, 0.1, nullptr)) << "round " << round;
        EXPECT_EQ(nullptr, raw);
        ASSERT_TRUE(G3SolidsBuilder::Shell(solid.get(), &raw, -0.1, nullptr)) << "round " << round;
        SurfacePtr shell(raw);
        EXPECT_EQ("", MeshCheck(shell.get()));
        const double volume = (a[0] - 0.2) * (a[1] - 0.2) * (a[2] - 0.2) +
                              (b[0] - a[0] - 0.2) * (b[1] - a[1] - 0.2) * (b[2] - a[2] - 0.2);
        EXPECT_NEAR(volume, G3SurfaceVolume(shell.get()), 1e-6 * volume) << "round " << round;
    }
}

} // namespace
