// A site model: a covered survey (small oblique triangles, steep slivers
// along the border walls) and a basement box on its survey points, nudged
// by an ulp or two as a host's arithmetic leaves them. Every result passes
// the mesh check, is closed, has no short edge or crossing contour, and
// V(A u B) + V(A n B) = V(A) + V(B), V(A - B) = V(A) - V(A n B).
// Where the border runs past a survey point at a shallow angle and the
// box's side passes that point by an ulp, the side's edges crossed the
// border walls far along from the point: slivers of short edges and
// bottoms crossing themselves reported as success, or no result.

#include "solid_fixtures.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/mesh/G3MeshCheck.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "Geometry/processing/G3SurfaceEdit.h"
#include "Geometry/terrain/G3LandscapeHandler.h"
#include "tests/mesh/mesh_check.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

TEST(TerrainSite, BasementsOnSurveyPointsNudgedByUlps)
{
    std::mt19937 rng(2024);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int round = 0; round < 120; ++round) {
        const double o = round % 6 == 0 ? 0.0 : 5e5;
        std::vector<std::array<double, 3>> survey(120);
        G3TriInterface tri;
        std::size_t left = 0; // the leftmost point lies on the border
        for (std::size_t k = 0; k < survey.size(); ++k) {
            survey[k] = {o + 40.0 * unit(rng), o + 40.0 * unit(rng), 2.0 + 6.0 * unit(rng)};
            tri.AddVertex(survey[k].data());
            left = survey[k][0] < survey[left][0] ? k : left;
        }
        tri.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
        fixtures::SurfacePtr body(tri.GetSurface());
        G3LandscapeHandler().SurfaceCover(body.get());
        ASSERT_EQ("", MeshCheck(body.get()));
        auto nudge = [&](double x) {
            for (int k = 1 + static_cast<int>(rng() % 2); k > 0; --k)
                x = std::nextafter(x, rng() % 2 ? 1e300 : -1e300);
            return x;
        };
        const auto& a = survey[round % 2 ? left : rng() % survey.size()];
        const auto& b = survey[rng() % survey.size()];
        const double z0 = rng() % 2 ? 0.0 : -1.0; // on the body's bottom or below it
        fixtures::SurfacePtr box = fixtures::Box({nudge(std::fmin(a[0], b[0])), nudge(std::fmin(a[1], b[1])), z0},
                                                 {nudge(std::fmax(a[0], b[0]) + 1.0), nudge(std::fmax(a[1], b[1]) + 1.0), a[2]});
        double v[3] = {0.0, 0.0, 0.0};
        for (int op = 0; op < 3; ++op) {
            G3BooleanCalculator engine;
            fixtures::SurfacePtr r(op == 0   ? engine.Add(body->Duplicate(), box->Duplicate())
                                   : op == 1 ? engine.Common(body->Duplicate(), box->Duplicate())
                                             : engine.Sub(body->Duplicate(), box->Duplicate()));
            if (!r) {
                ADD_FAILURE() << "round " << round << " op " << op << ": " << engine.GetFailureReason();
                continue;
            }
            EXPECT_EQ("", MeshCheck(r.get()) + G3ClosedCheck(r.get())) << "round " << round << " op " << op;
            r->FormPlaneEquation();
            int found = 0;
            EXPECT_TRUE(r->GetFacetCount() == 0 || G3SurfaceEdit(r.get()).CheckSurface(0x1d, found))
                << "round " << round << " op " << op << " finds " << found;
            v[op] = G3SurfaceVolume(r.get());
        }
        const double vA = G3SurfaceVolume(body.get()), vB = G3SurfaceVolume(box.get());
        const double tol = (o == 0.0 ? 1e-9 : 1e-6) * (vA + vB);
        EXPECT_NEAR(vA + vB, v[0] + v[1], tol) << round;
        EXPECT_NEAR(vA - v[1], v[2], tol) << round;
    }
}
