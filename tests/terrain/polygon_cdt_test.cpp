// Long facets triangulated by the constrained Delaunay engine: prisms whose
// caps are long outlines (random stars; combs with long straight runs) with
// square holes stay closed solids of the exact volume, each cap n + 2h - 2
// triangles, as GLU gives; and the engine declines what it cannot take whole.

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

// A counter-clockwise outline of about n corners (a star of radius 50 to
// 100, or a comb over a box whose right side is one straight run of
// corners), then clockwise unit-4 square holes well inside it.
std::vector<Ring> Cap(std::mt19937& rng, bool comb, int n, int holes)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    Ring out;
    if (!comb) {
        for (int k = 0; k < n; ++k) {
            const double a = 2.0 * M_PI * k / n, r = 50.0 + 50.0 * unit(rng);
            out.push_back({r * std::cos(a), r * std::sin(a)});
        }
    } else {
        const int run = n / 3, teeth = (n - run) / 4;
        out.push_back({-100.0, -100.0});
        out.push_back({100.0, -100.0});
        for (int k = 1; k < run; ++k)
            out.push_back({100.0, -100.0 + 150.0 * k / run});
        for (int k = teeth - 1; k >= 0; --k) {
            const double x = -100.0 + 200.0 * k / teeth, w = 200.0 / teeth, top = 60.0 + 40.0 * unit(rng);
            for (const auto& p : Ring{{x + w, 50.0}, {x + 0.75 * w, top}, {x + 0.25 * w, top}, {x + 0.25 * w, 50.0}})
                out.push_back(p);
        }
    }
    std::vector<Ring> rings = {out};
    for (int h = 0; h < holes; ++h) {
        const double x = -35.0 + 8.0 * (h % 8), y = -35.0 + 8.0 * (h / 8);
        rings.push_back({{x, y}, {x, y + 4.0}, {x + 4.0, y + 4.0}, {x + 4.0, y}});
    }
    return rings;
}

// The prism from z = 0 to 3 over the rings: caps with the holes as further
// contours, one quad per side.
std::unique_ptr<G3Surface> Prism(const std::vector<Ring>& rings)
{
    std::unique_ptr<G3Surface> s(new G3Surface());
    std::vector<std::vector<G3Vertex*>> low, high;
    for (const Ring& r : rings) {
        low.emplace_back();
        high.emplace_back();
        for (const auto& p : r) {
            low.back().push_back(s->AddVertex(p[0], p[1], 0.0, 0));
            high.back().push_back(s->AddVertex(p[0], p[1], 3.0, 0));
        }
    }
    G3Facet* caps[2] = {nullptr, nullptr};
    for (std::size_t k = 0; k < rings.size(); ++k) {
        std::vector<G3Vertex*> down(low[k].rbegin(), low[k].rend()); // the bottom faces down
        for (int c = 0; c < 2; ++c) {
            std::vector<G3Vertex*>& v = c ? high[k] : down;
            if (k == 0) {
                std::vector<int> ids;
                for (G3Vertex* x : v)
                    ids.push_back(static_cast<int>(x->GetId()));
                caps[c] = s->AddFacet(static_cast<int>(ids.size()), ids.data(), 1, nullptr, nullptr);
            } else {
                G3EdgeList hole(static_cast<int>(v.size()), v.data(), nullptr, nullptr, nullptr, 0, 0);
                s->AddFacetEdges(caps[c], &hole);
            }
        }
        const std::size_t n = low[k].size();
        for (std::size_t i = 0; i < n; ++i) {
            int q[4] = {static_cast<int>(low[k][i]->GetId()), static_cast<int>(low[k][(i + 1) % n]->GetId()),
                        static_cast<int>(high[k][(i + 1) % n]->GetId()), static_cast<int>(high[k][i]->GetId())};
            s->AddFacet(4, q, 1, nullptr, nullptr);
        }
    }
    s->RemoveEqualsVertexAndDivideEdges();
    s->FormPlaneEquation();
    return s;
}

int taken = 0; // caps the engine took
bool CountingEngine(const G3PlanarPolygon& polygon, std::vector<int>& triangles)
{
    const bool ok = G3TriangulatePolygonCDT(polygon, triangles);
    taken += ok ? 1 : 0;
    return ok;
}

// Triangulates with the engine or with GLU alone; checks the mesh, that it
// is closed and all triangles; returns the facet count and the volume.
std::pair<int, double> Triangulated(G3Surface& s, bool withEngine)
{
    const G3PolygonTriangulator engine = G3GetPolygonTriangulator();
    G3SetPolygonTriangulator(withEngine ? &CountingEngine : nullptr);
    EXPECT_TRUE(s.Triangulate(4, 1));
    G3SetPolygonTriangulator(engine);
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
        const int holes = round < 2 ? 0 : static_cast<int>(rng() % 40);
        const std::vector<Ring> rings = Cap(rng, round % 2 == 1, 1100 + static_cast<int>(rng() % 900), holes);
        double area = 0.0;
        int points = 0;
        for (const Ring& r : rings) {
            for (std::size_t k = 0; k < r.size(); ++k)
                area += 0.5 * (r[k][0] * r[(k + 1) % r.size()][1] - r[k][1] * r[(k + 1) % r.size()][0]);
            points += static_cast<int>(r.size());
        }
        SCOPED_TRACE(testing::Message() << "round " << round << ", " << points << " corners");
        std::unique_ptr<G3Surface> a = Prism(rings), b = Prism(rings);
        taken = 0;
        const auto cdt = Triangulated(*a, true);
        EXPECT_EQ(2, taken);
        const auto glu = Triangulated(*b, false);
        // Two caps of n + 2h - 2 triangles, two triangles per side quad.
        const int expected = 2 * (points + 2 * holes - 2) + 2 * points;
        EXPECT_EQ(expected, cdt.first);
        EXPECT_EQ(expected, glu.first);
        EXPECT_NEAR(3.0 * area, cdt.second, 1e-9 * area);
        EXPECT_NEAR(glu.second, cdt.second, 1e-9 * area);
    }
}

TEST(PolygonCDTTest, DeclinesWhatItCannotTakeWholeAndKeepsOddRegions)
{
    // A 10 x 10 square with a 3 x 3 hole, and defects to decline.
    const std::vector<double> sq = {0, 0, 10, 0, 10, 10, 0, 10, 3, 3, 3, 6, 6, 6, 6, 3};
    const std::vector<int> sides = {0, 1, 1, 2, 2, 3, 3, 0, 4, 5, 5, 6, 6, 7, 7, 4};
    std::vector<int> twice = sides; // the hole walked twice cancels
    twice.insert(twice.end(), sides.begin() + 8, sides.end());
    struct Case {
        const char* name;
        std::vector<double> xy;
        std::vector<int> segments;
        int triangles; // -1: declined
        double area;
    };
    const std::vector<Case> cases = {
        {"square with hole", sq, sides, 8, 91.0},
        {"hole walked twice", sq, twice, 10, 100.0},
        {"coinciding points", {0, 0, 10, 0, 10, 10, 0, 10, 10, 10}, {0, 1, 1, 2, 2, 3, 3, 0, 4, 0}, -1, 0.0},
        {"side through a point", {0, 0, 10, 0, 10, 10, 0, 10, 5, 0}, {0, 1, 1, 2, 2, 3, 3, 0, 4, 2}, -1, 0.0},
        {"crossing sides", {0, 0, 10, 0, 10, 10, 0, 10}, {0, 2, 2, 1, 1, 3, 3, 0}, -1, 0.0},
        {"point out of range", {0, 0, 10, 0, 10, 10}, {0, 1, 1, 2, 2, 7}, -1, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        G3PlanarPolygon p;
        p.xy = c.xy;
        p.segments = c.segments;
        std::vector<int> tris;
        ASSERT_EQ(c.triangles >= 0, G3TriangulatePolygonCDT(p, tris));
        if (c.triangles < 0)
            continue;
        ASSERT_EQ(3u * static_cast<unsigned>(c.triangles), tris.size());
        double area = 0.0;
        for (std::size_t t = 0; t < tris.size(); t += 3) {
            const double *a = &p.xy[2 * tris[t]], *b = &p.xy[2 * tris[t + 1]], *d = &p.xy[2 * tris[t + 2]];
            const double twiceArea = (b[0] - a[0]) * (d[1] - a[1]) - (b[1] - a[1]) * (d[0] - a[0]);
            EXPECT_GT(twiceArea, 0.0);
            area += 0.5 * twiceArea;
        }
        EXPECT_NEAR(c.area, area, 1e-12);
    }
}
