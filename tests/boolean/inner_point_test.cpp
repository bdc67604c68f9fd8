// Inner points of concave facets with thin holes and notches: the point
// returned must lie inside by an even-odd count and clear of every edge, so
// that no tolerance can read it as being on the boundary or in a hole.

#include "common/plane2d.h"
#include "mesh/mesh_builder.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Point.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace plane2d;

// "" when p lies inside the rings by an even-odd count (each ring closed on
// its own) and at least `clear` from every edge; else what is wrong. With
// the point that far from every edge, plain arithmetic decides each crossing.
std::string Judge(P2 p, const std::vector<Ring>& rings, double clear)
{
    if (!std::isfinite(p[0]) || !std::isfinite(p[1]))
        return "not a number";
    for (const Ring& r : rings)
        for (size_t k = 0; k < r.size(); ++k)
            if (DistanceToSegment(p, r[k], r[(k + 1) % r.size()]) < clear)
                return "within " + std::to_string(clear) + " of an edge";
    return InsideEvenOdd(rings, p) ? "" : "outside";
}

// A star-shaped ring around (cx, cy): n corners at spread angles, radii in
// [r, 2r]; it holds the disc of radius r / 2 around its centre.
Ring Star(std::mt19937& rng, double cx, double cy, double r, int n)
{
    std::uniform_real_distribution<double> jitter(-0.25, 0.25), radius(r, 2 * r);
    Ring out;
    for (int k = 0; k < n; ++k) {
        const double a = (k + jitter(rng)) * 2 * M_PI / n;
        const double rad = radius(rng);
        out.push_back({cx + rad * std::cos(a), cy + rad * std::sin(a)});
    }
    return out;
}

// A thin triangular hole within distance `reach` of (cx, cy): a long side
// and a third corner `thin` off it, at any angle; or, half of the time, a
// level one whose corners lie within 1e-6 of its centroid's level but one,
// as the scan through centroids meets it at a tangent.
Ring ThinHole(std::mt19937& rng, double cx, double cy, double reach)
{
    std::uniform_real_distribution<double> unit(-1, 1), thinness(1e-7, 3e-6);
    std::uniform_int_distribution<int> coin(0, 1);
    const double len = reach * (0.5 + 0.4 * std::fabs(unit(rng)));
    const double t = 0.3 + 0.4 * std::fabs(unit(rng));
    if (coin(rng)) {
        const double below = 1.1e-6 + 0.8e-6 * std::fabs(unit(rng));
        const double above = (1.6e-6 + 1.3e-6 * std::fabs(unit(rng))) - below;
        return {{cx - len / 2, cy - below}, {cx + len / 2, cy + above}, {cx - len / 2 + len * t, cy + above}};
    }
    const double a = unit(rng) * M_PI;
    const double ux = std::cos(a), uy = std::sin(a);
    const double thin = thinness(rng);
    const P2 p = {cx - ux * len / 2, cy - uy * len / 2}, q = {cx + ux * len / 2, cy + uy * len / 2};
    const P2 c = {p[0] + ux * len * t - uy * thin, p[1] + uy * len * t + ux * thin};
    return {p, c, q};
}

// A facet whose contours are the rings, one after another in its chain.
G3Facet* Facet(MeshBuilder& b, const std::vector<Ring>& rings)
{
    G3Facet* f = b.F();
    for (const Ring& r : rings) {
        std::vector<G3Vertex*> v;
        for (const P2& p : r)
            v.push_back(b.V(p[0], p[1], 0));
        b.AddContour(f, v);
    }
    f->FormPlaneEquation();
    return f;
}

} // namespace

TEST(InnerPoint, ThinHoleLevelWithTheProbeIsNotInside)
{
    // Two corners of the hole lie within 1e-6 of the level of its centroid:
    // the tolerance once read a real crossing as a touch and returned the
    // centroid (7/3, 0), inside the hole.
    const std::vector<Ring> rings = {{{-20, -20}, {20, -20}, {20, 20}, {-20, 20}},
                                     {{-10, -1.6e-6}, {10, 0.8e-6}, {7, 0.8e-6}}};
    MeshBuilder b;
    G3Facet* f = Facet(b, rings);
    ASSERT_EQ(f->GetEdgeCount(), 7);
    double p[3] = {0, 0, 0};
    ASSERT_TRUE(f->GeneratePointInFacetConcave(0, 1, p));
    EXPECT_EQ("", Judge({p[0], p[1]}, rings, 1e-6)) << p[0] << " " << p[1];

    // The same hole reached by a slit from the outer corner, as one loop of
    // loose points.
    const Ring loop = {{-20, -20}, {20, -20}, {20, 20}, {-20, 20}, {-20, -1.6e-6},
                       {-10, -1.6e-6}, {7, 0.8e-6}, {10, 0.8e-6}, {-10, -1.6e-6 + 1e-9}, {-20, -1.6e-6 + 1e-9}};
    std::vector<std::unique_ptr<G3Point>> store;
    GArrayCollection pts;
    for (const P2& q : loop) {
        store.push_back(std::make_unique<G3Point>(q[0], q[1], 0.0));
        pts.add(store.back().get());
    }
    ASSERT_TRUE(G3Facet::GeneratePointInFacetConcave(0, 1, p, &pts));
    EXPECT_EQ("", Judge({p[0], p[1]}, {loop}, 1e-6)) << p[0] << " " << p[1];
}

TEST(InnerPoint, RandomFacetsWithThinHolesAndNotchesGiveClearInnerPoints)
{
    int clearAnswers = 0;
    for (unsigned seed = 1; seed <= 300; ++seed) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> unit(-1, 1);
        std::uniform_int_distribution<int> corners(5, 12), holes(1, 4);
        const double far = seed % 3 == 0 ? 1e4 : 0.0;
        const double cx = far + unit(rng) * 5, cy = far + unit(rng) * 5, r = 5 + 5 * std::fabs(unit(rng));
        std::vector<Ring> rings = {Star(rng, cx, cy, r, corners(rng))};
        const int h = holes(rng);
        for (int k = 0; k < h; ++k)
            rings.push_back(ThinHole(rng, cx + unit(rng) * r / 6, cy + unit(rng) * r / 6, r / 4));

        MeshBuilder b;
        G3Facet* f = Facet(b, rings);
        double p[3] = {0, 0, 0};
        ASSERT_TRUE(f->GeneratePointInFacetConcave(0, 1, p)) << seed;
        ASSERT_EQ("", Judge({p[0], p[1]}, rings, 1e-6)) << "facet, seed " << seed << ": " << p[0] << " " << p[1];
        ++clearAnswers;

        // One loop of loose points: the star with thin notches cut into it
        // from the middle of some edges towards the centre.
        Ring loop;
        const Ring& star = rings[0];
        for (size_t k = 0; k < star.size(); ++k) {
            const P2 a = star[k], c = star[(k + 1) % star.size()];
            loop.push_back(a);
            if (k % 2 == 0) {
                const P2 m = {(a[0] + c[0]) / 2, (a[1] + c[1]) / 2};
                const double ex = c[0] - a[0], ey = c[1] - a[1], el = std::hypot(ex, ey);
                const double gap = 1e-7 + 2e-6 * std::fabs(unit(rng));
                const double depth = 0.8 + 0.15 * std::fabs(unit(rng));
                const P2 tip = {m[0] + (cx - m[0]) * depth, m[1] + (cy - m[1]) * depth};
                loop.push_back(m);
                loop.push_back(tip);
                loop.push_back({m[0] + ex / el * gap, m[1] + ey / el * gap});
            }
        }
        std::vector<std::unique_ptr<G3Point>> store;
        GArrayCollection pts;
        for (const P2& q : loop) {
            store.push_back(std::make_unique<G3Point>(q[0], q[1], 0.0));
            pts.add(store.back().get());
        }
        ASSERT_TRUE(G3Facet::GeneratePointInFacetConcave(0, 1, p, &pts)) << seed;
        ASSERT_EQ("", Judge({p[0], p[1]}, {loop}, 1e-6)) << "loop, seed " << seed << ": " << p[0] << " " << p[1];
    }
    EXPECT_EQ(clearAnswers, 300);
}
