// Update levels run on their own output: the second run changes nothing,
// bit for bit (coordinates compared as exact hexadecimal), on random
// triangle soups near the origin and far from it, stacked and touching
// boxes in every file order, duplicated and reversed facets, a floor and a
// wall meeting at a T-junction. Stacked boxes
// come out outward whatever their order.

#include "Geometry/foundation/GRandom.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "tests/common/builders.h"
#include "tests/common/fingerprint.h"
#include "tests/mesh/mesh_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
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

} // namespace
