// Long facets triangulated by the constrained Delaunay engine: prisms whose
// caps are long outlines (random stars, combs with long straight runs, with
// square holes) must stay closed
// solids of the exact volume, with every cap a fan of n + 2h - 2 triangles,
// the same count and volume GLU gives; and the engine declines the polygons
// it cannot take whole.

#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "Geometry/terrain/G3PolygonCDT.h"
#include "mesh/mesh_check.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

using Ring = std::vector<std::array<double, 2>>;

double Area(const Ring& r)
{
    double a = 0.0;
    for (std::size_t k = 0; k < r.size(); ++k) {
        const auto& p = r[k];
        const auto& q = r[(k + 1) % r.size()];
        a += p[0] * q[1] - p[1] * q[0];
    }
    return 0.5 * a;
}

// A long counter-clockwise outline (kind 0: a star of radius 50 to 100;
// kind 1: a comb) and clockwise square holes well inside it.
struct Cap {
    Ring outline;
    std::vector<Ring> holes;
};

Cap MakeCap(std::mt19937& rng, int kind, int corners, int holes)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    Cap cap;
    if (kind == 0) {
        for (int k = 0; k < corners; ++k) {
            const double a = 2.0 * M_PI * k / corners;
            const double r = 50.0 + 50.0 * unit(rng);
            cap.outline.push_back({r * std::cos(a), r * std::sin(a)});
        }
    } else {
        // A comb: teeth of random depth on a base whose straight runs carry
        // extra corners in line.
        const int teeth = corners / 8;
        const double w = 200.0 / teeth;
        for (int k = 0; k < teeth; ++k) {
            const double x = -100.0 + w * k;
            const double top = 60.0 + 40.0 * unit(rng);
            cap.outline.push_back({x, 50.0});
            cap.outline.push_back({x + 0.25 * w, 50.0});
            cap.outline.push_back({x + 0.25 * w, top});
            cap.outline.push_back({x + 0.75 * w, top});
            cap.outline.push_back({x + 0.75 * w, 50.0});
        }
        cap.outline.push_back({100.0, 50.0});
        for (int k = 0; k <= corners - 5 * teeth - 4; ++k)
            cap.outline.push_back({100.0, 50.0 - 150.0 * (k + 1) / (corners - 5 * teeth - 2)});
        cap.outline.push_back({100.0, -100.0});
        cap.outline.push_back({-100.0, -100.0});
        // Walked left to right along the teeth: turned counter-clockwise.
        cap.outline = Ring(cap.outline.rbegin(), cap.outline.rend());
    }
    for (int h = 0; h < holes; ++h) {
        const double x = -35.0 + 8.0 * (h % 8);
        const double y = -35.0 + 8.0 * (h / 8);
        cap.holes.push_back({{x, y}, {x, y + 4.0}, {x + 4.0, y + 4.0}, {x + 4.0, y}});
    }
    return cap;
}

// The prism over the cap, from z = 0 to z = 3: caps with holes as extra
// contours, one quad per side of every ring.
std::unique_ptr<G3Surface> Prism(const Cap& cap)
{
    std::unique_ptr<G3Surface> s(new G3Surface());
    const double h = 3.0;
    auto ring = [&](const Ring& r, double z) {
        std::vector<G3Vertex*> v;
        for (const auto& p : r)
            v.push_back(s->AddVertex(p[0], p[1], z, 0));
        return v;
    };
    std::vector<std::vector<G3Vertex*>> low, high;
    low.push_back(ring(cap.outline, 0.0));
    high.push_back(ring(cap.outline, h));
    for (const Ring& r : cap.holes) {
        low.push_back(ring(r, 0.0));
        high.push_back(ring(r, h));
    }
    auto facet = [&](std::vector<G3Vertex*> v) {
        std::vector<int> ids;
        for (G3Vertex* x : v)
            ids.push_back(static_cast<int>(x->GetId()));
        return s->AddFacet(static_cast<int>(ids.size()), ids.data(), 1, nullptr, nullptr);
    };
    // The bottom faces down: its rings walked backwards.
    G3Facet* bottom = facet(std::vector<G3Vertex*>(low[0].rbegin(), low[0].rend()));
    G3Facet* top = facet(high[0]);
    for (std::size_t k = 1; k < low.size(); ++k) {
        std::vector<G3Vertex*> down(low[k].rbegin(), low[k].rend());
        G3EdgeList a(static_cast<int>(down.size()), down.data(), nullptr, nullptr, nullptr, 0, 0);
        s->AddFacetEdges(bottom, &a);
        G3EdgeList b(static_cast<int>(high[k].size()), high[k].data(), nullptr, nullptr, nullptr, 0, 0);
        s->AddFacetEdges(top, &b);
    }
    for (std::size_t k = 0; k < low.size(); ++k) {
        const std::size_t n = low[k].size();
        for (std::size_t i = 0; i < n; ++i)
            facet({low[k][i], low[k][(i + 1) % n], high[k][(i + 1) % n], high[k][i]});
    }
    s->RemoveEqualsVertexAndDivideEdges();
    s->FormPlaneEquation();
    return s;
}

struct Result {
    int facets;
    double volume;
};

// The caps the engine took.
int taken = 0;
bool CountingEngine(const G3PlanarPolygon& polygon, std::vector<int>& triangles)
{
    const bool ok = G3TriangulatePolygonCDT(polygon, triangles);
    taken += ok ? 1 : 0;
    return ok;
}

Result TriangulateAndCheck(G3Surface& s, bool withEngine)
{
    const G3PolygonTriangulator engine = G3GetPolygonTriangulator();
    G3SetPolygonTriangulator(withEngine ? &CountingEngine : nullptr);
    const bool done = s.Triangulate(4, 1);
    G3SetPolygonTriangulator(engine);
    EXPECT_TRUE(done);
    s.FormPlaneEquation();
    EXPECT_EQ("", MeshCheck(&s));
    EXPECT_TRUE(G3SurfaceWatertight(&s));
    for (int k = 0; k < s.GetFacetCount(); ++k)
        EXPECT_EQ(3, s.GetFacet(k)->GetEdgeCount());
    return {s.GetFacetCount(), G3SurfaceVolume(&s)};
}

} // namespace

TEST(PolygonCDTTest, LongPrismCapsStayClosedWithExactVolumeAndGluCounts)
{
    ASSERT_NE(nullptr, G3GetPolygonTriangulator());
    std::mt19937 rng(4301);
    for (int round = 0; round < 8; ++round) {
        const int kind = round % 2;
        const int corners = 1100 + static_cast<int>(rng() % 900);
        const int holes = round < 2 ? 0 : static_cast<int>(rng() % 40);
        const Cap cap = MakeCap(rng, kind, corners, holes);
        double area = Area(cap.outline);
        int points = static_cast<int>(cap.outline.size());
        for (const Ring& r : cap.holes) {
            area += Area(r);
            points += static_cast<int>(r.size());
        }
        SCOPED_TRACE(testing::Message() << "round " << round << " kind " << kind << " corners " << corners);
        std::unique_ptr<G3Surface> a = Prism(cap);
        std::unique_ptr<G3Surface> b = Prism(cap);
        const int sides = a->GetFacetCount() - 2;
        taken = 0;
        const Result cdt = TriangulateAndCheck(*a, true);
        EXPECT_EQ(2, taken);
        const Result glu = TriangulateAndCheck(*b, false);
        // Two caps of n + 2h - 2 triangles each, two per side quad.
        const int expected = 2 * (points + 2 * holes - 2) + 2 * sides;
        EXPECT_EQ(expected, cdt.facets);
        EXPECT_EQ(expected, glu.facets);
        EXPECT_NEAR(3.0 * area, cdt.volume, 1e-9 * area);
        EXPECT_NEAR(glu.volume, cdt.volume, 1e-9 * area);
    }
}

TEST(PolygonCDTTest, DeclinesWhatItCannotTakeWholeAndFindsOddRegions)
{
    // A square with a square hole, both as given sides; then the same with
    // a defect the engine must decline.
    const std::vector<double> square = {0, 0, 10, 0, 10, 10, 0, 10, 3, 3, 3, 6, 6, 6, 6, 3};
    const std::vector<int> sides = {0, 1, 1, 2, 2, 3, 3, 0, 4, 5, 5, 6, 6, 7, 7, 4};
    struct Case {
        const char* name;
        std::vector<double> xy;
        std::vector<int> segments;
        int triangles; // -1: declined
    };
    const std::vector<Case> cases = {
        {"square with hole", square, sides, 8},
        // The hole's sides given twice cancel: the square alone (8 points,
        // 4 of them inside).
        {"hole walked twice", square, [&] {
             std::vector<int> s = sides;
             s.insert(s.end(), sides.begin() + 8, sides.end());
             return s;
         }(), 10},
        {"coinciding points", {0, 0, 10, 0, 10, 10, 0, 10, 10, 10}, {0, 1, 1, 2, 2, 3, 3, 0, 4, 0}, -1},
        {"side through a point", {0, 0, 10, 0, 10, 10, 0, 10, 5, 0}, {0, 1, 1, 2, 2, 3, 3, 0, 4, 2}, -1},
        {"crossing sides", {0, 0, 10, 0, 10, 10, 0, 10}, {0, 2, 2, 1, 1, 3, 3, 0}, -1},
        {"point out of range", {0, 0, 10, 0, 10, 10}, {0, 1, 1, 2, 2, 7}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        G3PlanarPolygon p;
        p.xy = c.xy;
        p.segments = c.segments;
        std::vector<int> tris;
        const bool ok = G3TriangulatePolygonCDT(p, tris);
        EXPECT_EQ(c.triangles >= 0, ok);
        if (!ok || c.triangles < 0)
            continue;
        ASSERT_EQ(3u * static_cast<unsigned>(c.triangles), tris.size());
        double area = 0.0;
        for (std::size_t t = 0; t < tris.size(); t += 3) {
            const double* a = &p.xy[2 * tris[t]];
            const double* b = &p.xy[2 * tris[t + 1]];
            const double* d = &p.xy[2 * tris[t + 2]];
            const double twice = (b[0] - a[0]) * (d[1] - a[1]) - (b[1] - a[1]) * (d[0] - a[0]);
            EXPECT_GT(twice, 0.0);
            area += 0.5 * twice;
        }
        EXPECT_NEAR(c.triangles == 8 ? 91.0 : 100.0, area, 1e-12);
    }
}
