// Sections of surfaces by planes: the segments of the cut and the faces
// they bound, against the exact areas of plane sections of boxes.

#include "boolean/solid_fixtures.h"
#include "mesh/mesh_check.h"

#include "Geometry/boolean/G3BooleanCalculator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace {

using namespace fixtures;

// Area of the plane's section of the convex hull of `corners` (the eight
// corners of a box): the plane meets the twelve edges in a convex polygon,
// whose points are put in angular order about their centroid.
double ExactBoxSection(const std::vector<P>& corners, const double* plane)
{
    const int edges[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                              {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    auto value = [&](const P& p) { return plane[0] * p[0] + plane[1] * p[1] + plane[2] * p[2] + plane[3]; };
    std::vector<P> pts;
    for (const auto& e : edges) {
        const P& a = corners[static_cast<std::size_t>(e[0])];
        const P& b = corners[static_cast<std::size_t>(e[1])];
        const double da = value(a);
        const double db = value(b);
        if (std::fabs(da) < 1e-12)
            pts.push_back(a);
        if (std::fabs(db) < 1e-12)
            pts.push_back(b);
        if ((da > 1e-12 && db < -1e-12) || (da < -1e-12 && db > 1e-12)) {
            const double t = da / (da - db);
            pts.push_back({a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]), a[2] + t * (b[2] - a[2])});
        }
    }
    if (pts.size() < 3)
        return 0.0;
    P c = {0, 0, 0};
    for (const P& p : pts)
        for (int d = 0; d < 3; ++d)
            c[d] += p[d] / static_cast<double>(pts.size());
    // Two axes in the plane.
    const P n = {plane[0], plane[1], plane[2]};
    P u = std::fabs(n[0]) < 0.9 ? P{0, -n[2], n[1]} : P{-n[2], 0, n[0]};
    const double lu = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    for (double& x : u)
        x /= lu;
    const P v = {n[1] * u[2] - n[2] * u[1], n[2] * u[0] - n[0] * u[2], n[0] * u[1] - n[1] * u[0]};
    std::vector<std::pair<double, std::array<double, 2>>> ring;
    for (const P& p : pts) {
        const double x = (p[0] - c[0]) * u[0] + (p[1] - c[1]) * u[1] + (p[2] - c[2]) * u[2];
        const double y = (p[0] - c[0]) * v[0] + (p[1] - c[1]) * v[1] + (p[2] - c[2]) * v[2];
        ring.push_back({std::atan2(y, x), {x, y}});
    }
    std::sort(ring.begin(), ring.end());
    double area = 0.0;
    for (std::size_t k = 0; k < ring.size(); ++k) {
        const auto& a = ring[k].second;
        const auto& b = ring[(k + 1) % ring.size()].second;
        area += a[0] * b[1] - b[0] * a[1];
    }
    return 0.5 * std::fabs(area);
}

std::vector<P> Corners(P lo, P hi, const Motion& m)
{
    std::vector<P> out;
    for (int k = 0; k < 8; ++k)
        out.push_back(m.Apply({(k & 1) ? hi[0] : lo[0], (k & 2) ? hi[1] : lo[1], (k & 4) ? hi[2] : lo[2]}));
    return out;
}

struct Section {
    bool ok = false;
    SurfacePtr surface;
};

Section Cut(G3Surface* s, std::vector<double> planes)
{
    G3BooleanCalculator c;
    G3Surface* out = reinterpret_cast<G3Surface*>(1);
    Section r;
    r.ok = c.Divide(s, static_cast<int>(planes.size() / 4), planes.data(), &out);
    r.surface.reset(out);
    return r;
}

TEST(Section, PlanesThroughBoxesGiveTheExactFaces)
{
    SurfacePtr box = Box({0, 0, 0}, {2, 3, 1});
    Section z = Cut(box.get(), {0, 0, 1, -0.37});
    ASSERT_TRUE(z.ok);
    EXPECT_EQ(1, z.surface->GetFacetCount());
    EXPECT_NEAR(6.0, Area(z.surface.get()), 1e-12);
    EXPECT_EQ("", MeshCheck(z.surface.get()));
    // The face points along the plane's normal.
    EXPECT_NEAR(1.0, static_cast<G3Facet*>(z.surface->GetFacetList()->get(0))->GetPlaneC(), 1e-12);
    // Not unit: the same plane.
    Section z2 = Cut(box.get(), {0, 0, 2, -0.74});
    ASSERT_TRUE(z2.ok);
    EXPECT_NEAR(6.0, Area(z2.surface.get()), 1e-12);

    // Two planes at once: two faces.
    Section two = Cut(box.get(), {0, 0, 1, -0.5, 1, 0, 0, -1});
    ASSERT_TRUE(two.ok);
    EXPECT_EQ(2, two.surface->GetFacetCount());
    EXPECT_NEAR(6.0 + 3.0, Area(two.surface.get()), 1e-12);
    // The sectioned surface is left as it was.
    EXPECT_EQ(6, box->GetFacetCount());
    EXPECT_EQ("", MeshCheck(box.get()));
}

TEST(Section, HolesStayOpenAndTouchingSolidsGiveOneRegion)
{
    // A square frame of four boxes touching along their ends.
    SurfacePtr frame(new G3Surface());
    AddBox(frame.get(), {0, 0, 0}, {1, 3, 1});
    AddBox(frame.get(), {2, 0, 0}, {3, 3, 1});
    AddBox(frame.get(), {1, 0, 0}, {2, 1, 1}, true);
    AddBox(frame.get(), {1, 2, 0}, {2, 3, 1});
    Section s = Cut(frame.get(), {0, 0, 1, -0.5});
    ASSERT_TRUE(s.ok);
    EXPECT_NEAR(8.0, Area(s.surface.get()), 1e-9);
    EXPECT_EQ("", MeshCheck(s.surface.get()));
}

TEST(Section, RandomBoxesAndPlanesMatchTheExactSectionArea)
{
    std::mt19937 rng(4321);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    int met = 0;
    for (int trial = 0; trial < 150; ++trial) {
        const P lo = {0, 0, 0};
        const P hi = {0.5 + std::fabs(u(rng)), 0.5 + std::fabs(u(rng)), 0.5 + std::fabs(u(rng))};
        Motion m;
        if (trial % 3) {
            P axis = {u(rng), u(rng), u(rng) + 2.0};
            const double l = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
            for (double& x : axis)
                x /= l;
            m = Motion::Turn(axis, 3.0 * u(rng), {u(rng), u(rng), u(rng)});
        }
        const std::vector<P> corners = Corners(lo, hi, m);
        double plane[4] = {u(rng), u(rng), u(rng), 0.0};
        // Every fifth plane is a face plane of the box (the face is taken
        // once), every fifth a plane through a corner (often touching the
        // box only there or along an edge: no section, false and null); the
        // others pass near the centre.
        P through = corners[static_cast<std::size_t>(trial % 8)];
        if (trial % 5 == 1) {
            const P a = corners[0], b = corners[1], c = corners[2];
            const double e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
            const double e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
            plane[0] = e1[1] * e2[2] - e1[2] * e2[1];
            plane[1] = e1[2] * e2[0] - e1[0] * e2[2];
            plane[2] = e1[0] * e2[1] - e1[1] * e2[0];
            through = a;
        } else if (trial % 5 != 2) {
            for (int d = 0; d < 3; ++d)
                through[d] = 0.5 * (corners[0][static_cast<std::size_t>(d)] + corners[7][static_cast<std::size_t>(d)]) +
                             0.3 * u(rng);
        }
        const double l = std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]);
        for (int d = 0; d < 3; ++d)
            plane[d] /= l;
        plane[3] = -(plane[0] * through[0] + plane[1] * through[1] + plane[2] * through[2]);
        const double exact = ExactBoxSection(corners, plane);
        SurfacePtr box = Box(lo, hi, trial % 2 == 0, m);
        Section s = Cut(box.get(), {plane[0], plane[1], plane[2], plane[3]});
        if (exact < 1e-9) {
            EXPECT_FALSE(s.ok) << trial;
            EXPECT_EQ(nullptr, s.surface) << trial;
            continue;
        }
        ++met;
        ASSERT_TRUE(s.ok) << trial;
        EXPECT_NEAR(exact, Area(s.surface.get()), 1e-9) << trial;
        EXPECT_EQ("", MeshCheck(s.surface.get())) << trial;
    }
    EXPECT_GT(met, 100);
}

TEST(Section, SegmentsOfTheCutAndRefusedArguments)
{
    SurfacePtr cube = Box({0, 0, 0}, {1, 1, 1}, true);
    G3BooleanCalculator c;
    G3IntervalList out;
    const double mid[4] = {0, 0, 1, -0.5};
    ASSERT_TRUE(c.Divide(cube.get(), 1, mid, &out));
    EXPECT_NEAR(4.0, Length(&out), 1e-12);
    G3IntervalList none;
    const double miss[4] = {0, 0, 1, -2};
    EXPECT_FALSE(c.Divide(cube.get(), 1, miss, &none));
    EXPECT_TRUE(none.IsEmpty());

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double bad[8] = {0, 0, 0, 1, nan, 0, 1, 0};
    G3Surface* s = nullptr;
    EXPECT_FALSE(c.Divide(cube.get(), 2, bad, &s));
    EXPECT_EQ(nullptr, s);
    EXPECT_FALSE(c.Divide(nullptr, 1, mid, &s));
    EXPECT_FALSE(c.Divide(cube.get(), 0, mid, &s));
    EXPECT_FALSE(c.Divide(cube.get(), 1, nullptr, &s));
    EXPECT_FALSE(c.Divide(cube.get(), 1, mid, static_cast<G3Surface**>(nullptr)));
    EXPECT_FALSE(c.Divide(cube.get(), 1, mid, static_cast<G3IntervalList*>(nullptr)));
}

} // namespace
