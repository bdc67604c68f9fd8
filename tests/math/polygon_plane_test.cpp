// Planes of possibly warped polygons (G3Math::FormMaxPlaneCoo) against a
// long-double reference: Newell's area vector through the centroid. The
// plane must be a unit plane on the side of the polygon's signed area, and
// no corner may lie further from it than the polygon's own warp (the largest
// corner distance from the reference plane), wherever the polygon lies and
// whichever corner comes first.

#include "Geometry/math/G3Math.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Point.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

using Point = std::array<double, 3>;
using Corners = std::vector<Point>;

const double kPi = 3.14159265358979323846;

// An orthonormal frame: u and v span the polygon's plane, w is its normal.
struct Frame {
    Point u, v, w;
};

Frame Tilted(double tilt, double turn)
{
    const double ct = std::cos(tilt), st = std::sin(tilt), cz = std::cos(turn), sz = std::sin(turn);
    // The xy frame tipped about x by `tilt`, then turned about z by `turn`.
    Frame f;
    f.u = {cz, sz, 0.0};
    f.v = {-sz * ct, cz * ct, st};
    f.w = {sz * st, -cz * st, ct};
    return f;
}

// Local (x, y, z) of each corner placed in the frame and moved by `offset`.
Corners Place(const Corners& local, const Frame& f, const Point& offset)
{
    Corners out;
    for (const Point& p : local) {
        Point q;
        for (int k = 0; k < 3; ++k)
            q[k] = offset[k] + p[0] * f.u[k] + p[1] * f.v[k] + p[2] * f.w[k];
        out.push_back(q);
    }
    return out;
}

Corners StartingAt(const Corners& pts, std::size_t start)
{
    Corners out(pts.begin() + start, pts.end());
    out.insert(out.end(), pts.begin(), pts.begin() + start);
    return out;
}

struct Reference {
    long double normal[3];  // unit, on the side of the signed area
    long double centroid[3];
    long double warp;  // largest corner distance from the reference plane
};

Reference NewellReference(const Corners& pts)
{
    Reference r{};
    const std::size_t n = pts.size();
    for (const Point& p : pts)
        for (int k = 0; k < 3; ++k)
            r.centroid[k] += p[k];
    for (int k = 0; k < 3; ++k)
        r.centroid[k] /= n;
    long double nv[3] = {0, 0, 0};
    for (std::size_t k = 0; k < n; ++k) {
        long double p[3], q[3];
        for (int c = 0; c < 3; ++c) {
            p[c] = pts[k][c] - r.centroid[c];
            q[c] = pts[(k + 1) % n][c] - r.centroid[c];
        }
        nv[0] += p[1] * q[2] - p[2] * q[1];
        nv[1] += p[2] * q[0] - p[0] * q[2];
        nv[2] += p[0] * q[1] - p[1] * q[0];
    }
    const long double len = std::sqrt(nv[0] * nv[0] + nv[1] * nv[1] + nv[2] * nv[2]);
    for (int k = 0; k < 3; ++k)
        r.normal[k] = nv[k] / len;
    for (const Point& p : pts) {
        long double d = 0;
        for (int k = 0; k < 3; ++k)
            d += r.normal[k] * (p[k] - r.centroid[k]);
        r.warp = std::max(r.warp, std::fabs(d));
    }
    return r;
}

bool FitPlane(const Corners& pts, double plane[4], int* i, int* j)
{
    std::vector<std::unique_ptr<G3Point>> owned;
    GArrayCollection list;
    for (const Point& p : pts) {
        owned.emplace_back(new G3Point(p.data()));
        list.add(owned.back().get());
    }
    GArrayCollectionIterator it;
    it.init(&list);
    return G3Math::FormMaxPlaneCoo(&it, i, j, plane);
}

long double SignedDistance(const double plane[4], const Point& p)
{
    return static_cast<long double>(plane[0]) * p[0] + static_cast<long double>(plane[1]) * p[1] +
           static_cast<long double>(plane[2]) * p[2] + plane[3];
}

// Rounding allowance for corners of magnitude up to `scale`: a handful of
// ulps of the coordinates.
double Slack(const Corners& pts)
{
    double scale = 1.0;
    for (const Point& p : pts)
        for (double c : p)
            scale = std::max(scale, std::fabs(c));
    return 1e-14 * scale;
}

// The plane FormMaxPlaneCoo gives for pts meets every promise of the file
// head; returns it through `plane`.
void ExpectPlaneFits(const Corners& pts, double plane[4])
{
    int i = -1, j = -1;
    ASSERT_TRUE(FitPlane(pts, plane, &i, &j));
    const Reference ref = NewellReference(pts);
    const long double len = std::sqrt(static_cast<long double>(plane[0]) * plane[0] +
                                      static_cast<long double>(plane[1]) * plane[1] +
                                      static_cast<long double>(plane[2]) * plane[2]);
    EXPECT_NEAR(static_cast<double>(len), 1.0, 1e-12);
    long double side = 0;
    for (int k = 0; k < 3; ++k)
        side += plane[k] * ref.normal[k];
    EXPECT_GT(side, 0.5L) << "normal " << plane[0] << " " << plane[1] << " " << plane[2];
    const long double bound = ref.warp + Slack(pts);
    for (std::size_t k = 0; k < pts.size(); ++k)
        EXPECT_LE(std::fabs(SignedDistance(plane, pts[k])), bound)
            << "corner " << k << " warp " << static_cast<double>(ref.warp);
    int wi = -1, wj = -1;
    G3Math::GetMaxCoo(plane, &wi, &wj);
    EXPECT_TRUE(i == wi && j == wj);
}

}  // namespace

// A warped square (one corner lifted by 5% of its side), a flat L listed
// counter-clockwise (its reflex corner among the starts) and a flat square
// with a collinear corner, each in the xy plane and in two tilted planes, at
// offsets 0, 1e3 and 1e6, from every start. The flat ones must also carry
// their frame's normal.
TEST(PolygonPlane, WarpedAndFlatPolygonsAtAnyOffsetTiltAndStart)
{
    const Corners warped = {{0, 0, 0}, {1000, 0, 0}, {1000, 1000, 50}, {0, 1000, 0}};
    const Corners ell = {{10, 10, 0}, {0, 10, 0}, {0, 0, 0}, {20, 0, 0}, {20, 20, 0}, {10, 20, 0}};
    const Corners collinear = {{0, 0, 0}, {5, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}};
    const Frame frames[3] = {Tilted(0, 0), Tilted(0.5, 0.3), Tilted(1.4, -2.0)};
    for (const Corners* shape : {&warped, &ell, &collinear}) {
        const bool flat = shape != &warped;
        for (const Frame& f : frames) {
            for (double o : {0.0, 1e3, 1e6}) {
                const Corners placed = Place(*shape, f, {o, -o, o});
                for (std::size_t s = 0; s < placed.size(); ++s) {
                    SCOPED_TRACE(testing::Message() << "corners " << shape->size() << " tilt "
                                                    << f.w[2] << " offset " << o << " start " << s);
                    double plane[4];
                    ExpectPlaneFits(StartingAt(placed, s), plane);
                    if (flat) {
                        for (int k = 0; k < 3; ++k)
                            EXPECT_NEAR(plane[k], f.w[k], 1e-9);
                    }
                }
            }
        }
    }
}

// The lifted square's corners lie 12.5 either side of its Newell plane; the
// fitted plane keeps them there wherever the square is moved.
TEST(PolygonPlane, WarpedSquareKeepsItsCornersAtAnyHeight)
{
    for (double z : {0.0, 1e3, 1e6}) {
        SCOPED_TRACE(z);
        const Corners warped = {{0, 0, z}, {1000, 0, z}, {1000, 1000, z + 50}, {0, 1000, z}};
        double plane[4];
        int i = -1, j = -1;
        ASSERT_TRUE(FitPlane(warped, plane, &i, &j));
        for (const Point& p : warped)
            EXPECT_NEAR(std::fabs(static_cast<double>(SignedDistance(plane, p))), 12.5, 0.2);
    }
}

// A chain that runs out over a warped path and back has no area; its plane
// comes from its corners and must follow the chain when it is moved.
TEST(PolygonPlane, ChainWithoutAreaFollowsItsCorners)
{
    const Corners path = {{0, 0, 0}, {100, 0, 0}, {100, 100, 0}, {0, 100, 30}, {100, 100, 0}, {100, 0, 0}};
    const Frame f = Tilted(0.5, 0.3);
    double atOrigin[6];
    for (double o : {0.0, 1e3, 1e6}) {
        SCOPED_TRACE(o);
        const Corners placed = Place(path, f, {o, -o, o});
        double plane[4];
        int i = -1, j = -1;
        ASSERT_TRUE(FitPlane(placed, plane, &i, &j));
        EXPECT_NEAR(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2], 1.0, 1e-12);
        for (std::size_t k = 0; k < path.size(); ++k) {
            const double d = static_cast<double>(SignedDistance(plane, placed[k]));
            if (o == 0.0)
                atOrigin[k] = d;
            EXPECT_NEAR(d, atOrigin[k], 1e-6) << "corner " << k;
            EXPECT_LT(std::fabs(d), 30.0) << "corner " << k;
        }
    }
}

// Star-shaped polygons of 3 to 12 corners (reflex corners included) with a
// random warp, some with a repeated corner or an exactly collinear one, in a
// random plane at a random offset, in either orientation and from a random
// start.
TEST(PolygonPlane, RandomPolygonsAgainstLongDoubleReference)
{
    for (unsigned seed : {11u, 12u, 13u}) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        for (int trial = 0; trial < 600; ++trial) {
            const int n = 3 + static_cast<int>(unit(rng) * 10);
            const double size = std::pow(10.0, -1.0 + 4.0 * unit(rng));
            const double warps[3] = {0.0, 1e-4, 2e-2};
            const double warp = warps[static_cast<int>(unit(rng) * 3)] * size;
            std::vector<double> angles;
            for (int k = 0; k < n; ++k)
                angles.push_back(2 * kPi * (k + 0.8 * unit(rng)) / n);
            Corners local;
            for (double a : angles) {
                const double r = size * (0.3 + 0.7 * unit(rng));
                local.push_back({r * std::cos(a), r * std::sin(a), warp * (2 * unit(rng) - 1)});
            }
            const double degenerate = unit(rng);
            const std::size_t at = static_cast<std::size_t>(unit(rng) * n);
            if (degenerate < 0.2) {
                local.insert(local.begin() + at, local[at]);
            } else if (degenerate < 0.4) {
                const Point& a = local[at];
                const Point& b = local[(at + 1) % local.size()];
                local.insert(local.begin() + at + 1,
                             {(a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2});
            }
            if (unit(rng) < 0.5)
                std::reverse(local.begin(), local.end());
            const Frame f = Tilted(kPi * unit(rng), 2 * kPi * unit(rng));
            const double offsets[3] = {0.0, 1e3, 1e6};
            const double o = offsets[static_cast<int>(unit(rng) * 3)];
            const Point offset = {o * (2 * unit(rng) - 1), o * (2 * unit(rng) - 1), o * (2 * unit(rng) - 1)};
            const Corners placed = Place(local, f, offset);
            SCOPED_TRACE(testing::Message() << "seed " << seed << " trial " << trial);
            double plane[4];
            ExpectPlaneFits(StartingAt(placed, static_cast<std::size_t>(unit(rng) * placed.size())), plane);
        }
    }
}
