// Update levels run on their own output: the second run changes nothing,
// bit for bit (coordinates compared as exact hexadecimal), on random
// triangle soups near the origin and far from it, stacked and touching
// boxes in every file order, duplicated and reversed facets, a floor and a
// wall meeting at a T-junction. Stacked boxes
// come out outward whatever their order; turned boxes touching, crossing
// or set back as storeys keep their even-odd volume.

#include "Geometry/foundation/GRandom.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "tests/boolean/solid_fixtures.h"
#include "tests/common/builders.h"
#include "tests/common/fingerprint.h"
#include "tests/mesh/mesh_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

std::string ExactFingerprint(G3Surface* s)
{
    std::string out = testmesh::Fingerprint(s);
    char buf[128];
    for (int k = 0; k < s->GetVertexCount(); ++k) {
        const double* p = s->GetVertex(k)->GetXYZ();
        std::snprintf(buf, sizeof buf, "%a %a %a\n", p[0], p[1], p[2]);
        out += buf;
    }
    return out;
}

double Coord(double offset) { return offset + (GRand() % 2000) / 1000.0 + (GRand() % 1000) * 1e-7; }

// Boxes of the case (stacked, touching), some facets doubled or turned.
void Build(G3Surface& s, int kind, int order, double offset)
{
    using testmesh::P3;
    if (kind == 0) {
        for (int t = 0; t < 6; ++t)
            testmesh::SoupFacet(s, {{Coord(offset), Coord(offset), Coord(0)},
                                    {Coord(offset), Coord(offset), Coord(0)},
                                    {Coord(offset), Coord(offset), Coord(0)}});
        return;
    }
    const double o = offset;
    if (kind == 4) {
        // A floor and a wall standing on its edge, the wall's foot longer
        // than the floor's edge: the floor's corner lies on the foot (a
        // T-junction the cut leaves as two edges on one another).
        const double a = Coord(o) - o + 0.5, b = Coord(o) - o + 0.5, c = b + Coord(o) - o + 0.2, h = Coord(0) + 0.5;
        testmesh::SoupFacet(s, {{o, o, 0}, {o, o + b, 0}, {o + a, o + b, 0}, {o + a, o, 0}});
        testmesh::SoupFacet(s, {{o + a, o, 0}, {o + a, o, h}, {o + a, o + c, h}, {o + a, o + c, 0}});
        return;
    }
    std::vector<std::pair<P3, P3>> boxes = {{{o, o, 0}, {o + 1, o + 1, 1}}};
    boxes.push_back(kind == 1 ? std::make_pair(P3{o, o, 1}, P3{o + 1, o + 1, 2})
                              : std::make_pair(P3{o + 1, o, 0}, P3{o + 2, o + 1, 1}));
    if (order)
        std::swap(boxes[0], boxes[1]);
    for (const auto& b : boxes)
        testmesh::AddBox(s, b.first, b.second, kind == 3);
    if (kind == 3) {
        // One triangle turned, one doubled.
        G3Facet* f = s.GetFacet(GRand() % s.GetFacetCount());
        std::vector<G3Vertex*> r = testmesh::Corners(f);
        s.RemoveFacet(f);
        std::reverse(r.begin(), r.end());
        s.AddFacet(static_cast<int>(r.size()), r.data(), 1, nullptr, nullptr);
        std::vector<G3Vertex*> v = testmesh::Corners(s.GetFacet(GRand() % s.GetFacetCount()));
        s.AddFacet(static_cast<int>(v.size()), v.data(), 1, nullptr, nullptr);
    }
}

TEST(UpdateRerun, SecondRunChangesNothingAndStackedStayOutward)
{
    const CHECK_LEVEL levels[] = {CHECK_LEVEL_WELD, CHECK_LEVEL_FACETS, CHECK_LEVEL_INTERSECTIONS};
    for (int seed = 0; seed < 6; ++seed)
        for (int kind = 0; kind < 5; ++kind)
            for (int order = 0; order < 2; ++order)
                for (const CHECK_LEVEL level : levels) {
                    SCOPED_TRACE(testing::Message() << "seed " << seed << " kind " << kind << " order " << order
                                                    << " level " << level);
                    GSRand(31 + seed);
                    G3Surface s;
                    Build(s, kind, order, seed % 2 ? 1e6 : 0.0);
                    s.FormPlaneEquation();
                    s.Update(level);
                    EXPECT_EQ("", MeshCheck(&s));
                    // The flags the next new edge takes hold no scratch mark.
                    EXPECT_EQ(1, s.GetEdgeFlags());
                    if (kind == 1) {
                        EXPECT_GT(G3SurfaceVolume(&s), 0.0);
                    }
                    const std::string first = ExactFingerprint(&s);
                    s.Update(level);
                    EXPECT_EQ("", MeshCheck(&s));
                    EXPECT_EQ(first, ExactFingerprint(&s));
                }
}

// Far past where the point grids number cells in 64 bits (a 1e-6 cell at
// 1e14): the grids file such points in an outer cell rather than
// overflowing the index (the sanitizer run checks it), and the boxes stay
// sound.
TEST(UpdateRerun, CoordinatesBeyondThePointGrids)
{
    for (const double offset : {1e14, -2e14})
        for (const CHECK_LEVEL level : {CHECK_LEVEL_WELD, CHECK_LEVEL_FACETS, CHECK_LEVEL_INTERSECTIONS}) {
            SCOPED_TRACE(testing::Message() << "offset " << offset << " level " << level);
            G3Surface s;
            Build(s, 2, 0, offset);
            s.FormPlaneEquation();
            s.Update(level);
            EXPECT_EQ("", MeshCheck(&s));
            EXPECT_NEAR(2.0, G3SurfaceVolume(&s), 0.1);  // measured in sums of 1e28-sized products
        }
}

// Boxes turned at random (faces as quads or triangle pairs), near the
// origin or at site coordinates: one lying with a face on part of
// another's, two walls crossing at a corner, or three storeys each set
// back on the one below. The weld level keeps the volume of the touching
// ones; the intersection level gives the even-odd volume (the boxes' sum
// when touching, the overlap taken twice off when crossing), and a second
// run changes nothing. A face lying on another came out facing it at
// times; crossing walls turned back and forth between runs, and their
// facets about the edges where four meet were paired anew on each run.
TEST(UpdateRerun, TurnedBoxesTouchingOrCrossingKeepTheEvenOddVolume)
{
    constexpr double kVolumeRelative = 1e-8;
    for (unsigned round = 0; round < 300; ++round) {
        std::mt19937 rng(round);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        fixtures::P axis = {unit(rng) - 0.5, unit(rng) - 0.5, unit(rng) - 0.5};
        const double len = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
        axis = {axis[0] / len, axis[1] / len, axis[2] / len};
        const double far = round % 4 == 3 ? 5e5 : 0.0;
        const fixtures::Motion m = fixtures::Motion::Turn(
            axis, 6.28 * unit(rng), {far + 6 * unit(rng) - 3, far + 6 * unit(rng) - 3, 6 * unit(rng) - 3});
        const int kind = static_cast<int>(round % 3);
        G3Surface s;
        double expected = 0.0;
        if (kind == 0) {
            const double a = 0.5 + unit(rng), b = a + 0.5 + unit(rng);
            fixtures::AddBox(&s, {0, 0, 0}, {a, a, a}, round % 8 == 2, m);
            fixtures::AddBox(&s, {a, 0, 0}, {a + b, b, b}, round % 8 == 2, m);
            expected = a * a * a + b * b * b;
        } else if (kind == 1) {
            const double l1 = 2 + 4 * unit(rng), l2 = 2 + 4 * unit(rng), t = 0.15 + 0.25 * unit(rng);
            const double h = 2.5 + unit(rng);
            fixtures::AddBox(&s, {0, 0, 0}, {l1, t, h}, true, m);
            fixtures::AddBox(&s, {0, 0, 0}, {t, l2, h}, true, m);
            expected = (l1 + l2 - 2 * t) * t * h;
        } else {
            double x = 0, y = 0, w = 6 + 4 * unit(rng), d = 6 + 4 * unit(rng);
            const double h = 2.5 + unit(rng);
            for (int storey = 0; storey < 3; ++storey) {
                fixtures::AddBox(&s, {x, y, storey * h}, {x + w, y + d, (storey + 1) * h}, round % 4 >= 2, m);
                expected += w * d * h;
                const double dx = 0.5 + unit(rng), dy = 0.5 + unit(rng);
                x += dx;
                y += dy;
                w -= dx + 0.5 + unit(rng);
                d -= dy + 0.5 + unit(rng);
            }
        }
        s.Update(CHECK_LEVEL_WELD);
        const double welded = fixtures::Volume(&s);
        s.Update(CHECK_LEVEL_INTERSECTIONS);
        const std::string check = MeshCheck(&s);
        const double volume = fixtures::Volume(&s);
        const std::string first = ExactFingerprint(&s);
        s.Update(CHECK_LEVEL_INTERSECTIONS);
        const bool ok = check.empty() && std::fabs(volume - expected) <= kVolumeRelative * expected &&
                        (kind == 1 || std::fabs(welded - expected) <= kVolumeRelative * expected) &&
                        first == ExactFingerprint(&s);
        EXPECT_TRUE(ok) << "round " << round << " welded " << welded << " volume " << volume << " expected "
                        << expected << " " << check;
    }
}

} // namespace
