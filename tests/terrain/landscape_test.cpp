// The landscape handler: contours, the smoothing steps against planes and a
// paraboloid, the covered body and the flat regions.

#include "mesh/mesh_check.h"

#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "Geometry/processing/G3SurfaceEdit.h"
#include "Geometry/terrain/G3LandscapeHandler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <random>

namespace {

using Height = std::function<double(double, double)>;

// An n x n survey grid of spacing 1 at the given heights, triangulated.
std::unique_ptr<G3Surface> Grid(int n, const Height& h, double noise = 0.0, unsigned seed = 1)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> jitter(-noise, noise);
    G3TriInterface tri;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const double p[3] = {double(i), double(j), h(i, j) + jitter(rng)};
            tri.AddVertex(p);
        }
    tri.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    return std::unique_ptr<G3Surface>(tri.GetSurface());
}

std::unique_ptr<G3Surface> Own(G3Surface* s) { return std::unique_ptr<G3Surface>(s); }

// An n x n survey grid at (ox, oy), a plane z0 + gx i + gy j with steps of
// 0.1 drawn from rng, triangulated.
std::unique_ptr<G3Surface> TiltedGrid(int n, double ox, double oy, double z0, double gx, double gy, std::mt19937& rng)
{
    G3TriInterface tri;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            const double p[3] = {ox + i, oy + j, z0 + gx * i + gy * j + 0.1 * (rng() % 3)};
            tri.AddVertex(p);
        }
    tri.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    return Own(tri.GetSurface());
}

void Contour(G3LandscapeHandler& h, const std::vector<std::array<double, 3>>& pts)
{
    h.StartContour();
    for (const auto& p : pts)
        h.AddContourVertex(p[0], p[1], p[2]);
}

int FacetVertices(G3Surface* s)
{
    int used = 0;
    for (int i = 0; i < s->GetVertexCount(); ++i)
        used += s->GetVertex(i)->HasEdges() ? 1 : 0;
    return used;
}

// The plan area of the facets, each counted positive, measured from
// (ox, oy) so that site coordinates keep their digits.
double FacetPlanArea(G3Facet* f, double ox = 0.0, double oy = 0.0)
{
    G3FacetVertexIterator it(f);
    std::vector<std::array<double, 2>> c;
    while (G3Vertex* v = it.NextVertex())
        c.push_back({v->GetX() - ox, v->GetY() - oy});
    double twice = 0.0;
    for (std::size_t k = 0; k < c.size(); ++k)
        twice += c[k][0] * c[(k + 1) % c.size()][1] - c[(k + 1) % c.size()][0] * c[k][1];
    return 0.5 * std::fabs(twice);
}

double PlanArea(G3Surface* s, double ox = 0.0, double oy = 0.0)
{
    double area = 0.0;
    for (int i = 0; i < s->GetFacetCount(); ++i)
        area += FacetPlanArea(s->GetFacet(i), ox, oy);
    return area;
}

// The integral of the height over the facets' plan (each facet fanned from
// its first corner, all taken positive), measured from (ox, oy): the volume
// of the body the cover closes on z = 0.
double TopIntegral(G3Surface* s, double ox, double oy)
{
    double v = 0.0;
    for (int i = 0; i < s->GetFacetCount(); ++i) {
        G3FacetVertexIterator it(s->GetFacet(i));
        std::vector<std::array<double, 3>> c;
        while (G3Vertex* q = it.NextVertex())
            c.push_back({q->GetX() - ox, q->GetY() - oy, q->GetZ()});
        double twice = 0.0, sum = 0.0;
        for (std::size_t k = 1; k + 1 < c.size(); ++k) {
            const double t = (c[k][0] - c[0][0]) * (c[k + 1][1] - c[0][1]) - (c[k + 1][0] - c[0][0]) * (c[k][1] - c[0][1]);
            twice += t;
            sum += t * (c[0][2] + c[k][2] + c[k + 1][2]);
        }
        v += (twice < 0.0 ? -sum : sum) / 6.0;
    }
    return v;
}

// Open edges away from the border of the square [ox, ox + side]^2: cracks.
int OpenInnerEdges(G3Surface* s, double ox, double oy, double side)
{
    int inner = 0;
    for (int k = 0; k < s->GetEdgeCount(); ++k) {
        const G3Edge* e = s->GetEdge(k);
        const double mx = 0.5 * (e->GetVertex1()->GetX() + e->GetVertex2()->GetX()) - ox;
        const double my = 0.5 * (e->GetVertex1()->GetY() + e->GetVertex2()->GetY()) - oy;
        inner += !(e->GetFacet1() && e->GetFacet2()) && std::fmin(std::fmin(mx, my), std::fmin(side - mx, side - my)) > GTolerance::kPlaneSide;
    }
    return inner;
}

} // namespace

TEST(LandscapeContours, EntryOrientationCrossingAndMembership)
{
    G3LandscapeHandler h;
    h.AddContourVertex(0, 0, 0); // no open contour: nothing happens
    EXPECT_FALSE(h.EndContour());
    // Counter-clockwise square with a repeated point: stored once, reversed.
    Contour(h, {{0, 0, 1}, {4, 0, 1}, {4, 0, 1}, {4, 4, 1}, {0, 4, 1}, {0, 0, 1}});
    ASSERT_TRUE(h.EndContour());
    auto* c = static_cast<GArrayCollection*>(h.contours.get(0));
    ASSERT_EQ(5, c->size());
    EXPECT_EQ(4.0, static_cast<G3Point*>(c->get(1))->GetY()); // (0,4) follows (0,0)
    // A bow tie crosses itself, also through its first segment.
    Contour(h, {{0, 0, 0}, {4, 4, 0}, {4, 0, 0}, {0, 4, 0}, {0, 0, 0}});
    EXPECT_FALSE(h.EndContour());
    Contour(h, {{0, 0, 0}, {1, 0, 0}, {0, 0, 0}}); // too few points
    EXPECT_FALSE(h.EndContour());
    EXPECT_EQ(1, h.contours.size());

    EXPECT_FALSE(G3LandscapeHandler::PointInContour(nullptr, 1, 1));
    GArrayCollection none;
    EXPECT_FALSE(G3LandscapeHandler::PointInContour(&none, 1, 1));
    // Random points against the square; the vertical sides x = 0 and x = 4
    // never toggle, so points on them count as outside.
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-1.0, 5.0);
    for (int i = 0; i < 500; ++i) {
        const double x = i % 10 == 0 ? 4.0 * (i % 20 == 0) : u(rng), y = u(rng);
        // The ray test counts x = 4 in (the shifted x splits the horizontal
        // sides there), x = 0 out.
        const bool inside = x > 0 && x <= 4 && y > 0 && y < 4;
        EXPECT_EQ(inside, G3LandscapeHandler::PointInContour(&h.contours, x, y)) << x << " " << y;
    }
    // Offsetting the clockwise square by 1 widens it to 6 x 6.
    GArrayCollection out;
    ASSERT_TRUE(G3LandscapeHandler::OffsetContour(c, &out, 1.0));
    ASSERT_EQ(5, out.size());
    for (int i = 0; i < out.size(); ++i) {
        const double* p = static_cast<G3Point*>(out.get(i))->GetXYZ();
        EXPECT_NEAR(1.0, std::fabs(p[0] - 2.0) - 2.0, 1e-12);
        EXPECT_NEAR(1.0, std::fabs(p[1] - 2.0) - 2.0, 1e-12);
    }
    out.clear(true);
}

// A terrain with a corner past the largest coordinate (or not finite) is
// refused by every mode: its slopes and planes overflow.
TEST(LandscapeSmoothing, CoordinatesPastTheLargestAreRefused)
{
    std::mt19937 rng(7);
    for (const double v : {1e300, std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::infinity()})
        for (int mode = 0; mode <= 4; ++mode) {
            auto grid = TiltedGrid(4, 0, 0, 0, 0.1, 0.2, rng);
            const double p[3] = {1, 1, v};
            grid->GetVertex(5)->Set(p);
            G3LandscapeHandler h;
            auto s = Own(h.LandscapeSmoothing(grid.get(), mode, 1));
            EXPECT_EQ(nullptr, s.get()) << v << " mode " << mode;
            EXPECT_EQ("", MeshCheck(grid.get()));
            if (s)
                G3LandscapeHandler::ReleaseRecords(s.get());
        }
}

TEST(LandscapeSmoothing, CountsAndDuplicates)
{
    G3LandscapeHandler h;
    auto tri = Grid(2, [](double, double) { return 1.0; });
    tri->RemoveFacet(tri->GetFacet(1));
    tri->RemoveUnused();
    ASSERT_EQ(1, tri->GetFacetCount());
    auto s = Own(h.SmoothSurface(tri.get()));
    EXPECT_EQ("", MeshCheck(s.get()));
    EXPECT_EQ(4, s->GetFacetCount());
    EXPECT_EQ(6, FacetVertices(s.get()));
    EXPECT_EQ(3, s->GetPolyEdgeCount());

    auto grid = Grid(5, [](double x, double y) { return x * y; });
    for (int mode : {1, 2, 3, 4, 5}) {
        auto same = Own(h.LandscapeSmoothing(grid.get(), mode, mode == 5 ? 3 : 0));
        EXPECT_EQ(grid->GetFacetCount(), same->GetFacetCount());
        EXPECT_EQ(grid->GetVertexCount(), same->GetVertexCount());
        G3LandscapeHandler::ReleaseRecords(same.get());
    }
    // Levels 2: each triangle of the re-triangulation (the grid's points
    // and its border midpoints, mode 0) becomes 16.
    auto base = Own(h.SecondOrderSmoothSurface(grid.get(), 0));
    G3LandscapeHandler::ReleaseRecords(base.get());
    auto deep = Own(h.SecondOrderSmoothSurfaceEx(grid.get(), 2));
    EXPECT_EQ(16 * base->GetFacetCount(), deep->GetFacetCount());
    EXPECT_EQ("", MeshCheck(deep.get()));
    EXPECT_EQ(nullptr, h.SecondOrderSmoothSurfaceEx(grid.get(), G3LandscapeHandler::kMaxLevels + 1));
    G3LandscapeHandler::ReleaseRecords(grid.get());
}

// A plane stays a plane through every step; a steep slope into z = 0
// clamps the inserted points' negative estimates at 0.
TEST(LandscapeSmoothing, PlanesStayPlanarAndNegativeEstimatesClamp)
{
    G3LandscapeHandler h;
    auto plane = Grid(6, [](double x, double y) { return 10.0 + 0.3 * x - 0.2 * y; });
    for (int mode = 1; mode <= 4; ++mode) {
        auto s = Own(h.LandscapeSmoothing(plane.get(), mode, 2));
        ASSERT_TRUE(s) << mode;
        EXPECT_EQ("", MeshCheck(s.get()));
        EXPECT_GT(s->GetVertexCount(), plane->GetVertexCount());
        for (int i = 0; i < s->GetVertexCount(); ++i) {
            const G3Vertex* v = s->GetVertex(i);
            if (v->HasEdges()) {
                EXPECT_NEAR(10.0 + 0.3 * v->GetX() - 0.2 * v->GetY(), v->GetZ(), 1e-9) << mode;
            }
        }
        G3LandscapeHandler::ReleaseRecords(s.get());
    }
    // A ridge falling to 0: the estimates past the foot go negative.
    auto ridge = Grid(5, [](double x, double) { return x == 2 ? 4.0 : 0.0; });
    for (int mode = 2; mode <= 4; ++mode) {
        auto s = Own(h.LandscapeSmoothing(ridge.get(), mode, 1));
        for (int i = 0; i < s->GetVertexCount(); ++i)
            EXPECT_GE(s->GetVertex(i)->GetZ(), 0.0) << mode;
        G3LandscapeHandler::ReleaseRecords(s.get());
    }
}

// Inserted points against a paraboloid, beside linear interpolation (the
// average of the original corners' heights at the same plan point, read
// from the input's facet plane).
TEST(LandscapeSmoothing, ParaboloidErrorAgainstLinear)
{
    G3LandscapeHandler h;
    const Height z = [](double x, double y) { return 50.0 + 0.05 * ((x - 6) * (x - 6) + (y - 6) * (y - 6)); };
    auto grid = Grid(13, z);
    grid->FormPlaneEquation();
    for (int mode = 1; mode <= 4; ++mode) {
        auto s = Own(h.LandscapeSmoothing(grid.get(), mode, 1));
        double smooth = 0.0, linear = 0.0;
        int n = 0;
        for (int i = 0; i < s->GetVertexCount(); ++i) {
            const G3Vertex* v = s->GetVertex(i);
            const double x = v->GetX(), y = v->GetY();
            // Inner inserted points only (the border slopes are one-sided).
            if (x == std::floor(x) && y == std::floor(y))
                continue;
            if (x < 1 || y < 1 || x > 11 || y > 11 || !v->HasEdges())
                continue;
            for (int f = 0; f < grid->GetFacetCount(); ++f) {
                const double* p = grid->GetFacet(f)->GetPlane();
                G3FacetVertexIterator it(grid->GetFacet(f));
                const double pt[3] = {x, y, 0.0};
                if (G3Facet::PointInFacetXY(pt, &it, nullptr, nullptr)) {
                    linear += std::fabs(-(p[0] * x + p[1] * y + p[3]) / p[2] - z(x, y));
                    break;
                }
            }
            smooth += std::fabs(v->GetZ() - z(x, y));
            ++n;
        }
        ASSERT_GT(n, 0);
        std::printf("paraboloid mode %d: %d points, mean error %.6f, linear %.6f\n", mode, n, smooth / n,
                    linear / n);
        EXPECT_LE(smooth / n, linear / n * 1.05) << mode;
        G3LandscapeHandler::ReleaseRecords(s.get());
    }
}

TEST(LandscapeCover, ClosedBodyAndEdgeFlags)
{
    for (bool classified : {false, true}) {
        G3LandscapeHandler h;
        static int notes[2];
        notes[0] = notes[1] = 0;
        h.facetCreationNotify = [](int k) { ++notes[k]; };
        if (classified) // walls and bottom are the facets touching z = 0
            h.facetClassifier = [](G3Facet* f) {
                G3FacetVertexIterator it(f);
                while (G3Vertex* v = it.NextVertex())
                    if (v->GetZ() == 0.0)
                        return 1;
                return 0;
            };
        auto s = Grid(3, [](double, double) { return 1.0; });
        h.SurfaceCover(s.get());
        EXPECT_EQ("", MeshCheck(s.get()));
        EXPECT_TRUE(G3SurfaceWatertight(s.get()));
        EXPECT_TRUE(s->GetClosed()); // single-sided again
        EXPECT_NEAR(4.0, G3SurfaceVolume(s.get()), 1e-9); // facing out
        EXPECT_EQ(2, notes[0]);
        EXPECT_EQ(2, notes[1]);
        // The flags are set before the bottom goes in: its rim edges were
        // open then (visible).
        const G3Facet* bottom = s->GetFacet(s->GetFacetCount() - 1);
        for (int i = 0; i < s->GetEdgeCount(); ++i) {
            const G3Edge* e = s->GetEdge(i);
            EXPECT_TRUE(e->GetFormMaking());
            const bool rim = e->GetFacet1() == bottom || e->GetFacet2() == bottom;
            const bool g1 = h.facetClassifier && h.facetClassifier(e->GetFacet1());
            const bool g2 = h.facetClassifier && h.facetClassifier(e->GetFacet2());
            EXPECT_EQ(!classified || rim || g1 != g2, e->GetVisible());
        }
        // Closed now: a second cover changes nothing.
        const int facets = s->GetFacetCount(), vertices = s->GetVertexCount();
        G3Point mark;
        s->GetVertex(0)->SetExData(&mark); // cleared, not released
        h.SurfaceCover(s.get());
        EXPECT_EQ(nullptr, s->GetVertex(0)->GetExData());
        EXPECT_EQ(facets, s->GetFacetCount());
        EXPECT_EQ(vertices, s->GetVertexCount());
        EXPECT_EQ(2, notes[1]);
    }
}

// Smoothed surveys (corner normals on every facet, steep slivers along a
// jittered border) and border points a micrometre apart at other heights
// (their smoothed edges put feet closer than the weld): the covered body
// is closed, oriented one way and holds the height integral. The update
// once turned slivers against their averaged normals, and the weld split
// the two walls' copies of one foot between neighbouring feet.
TEST(LandscapeCover, SmoothedSurveysCloseOverTheirHeights)
{
    for (unsigned seed = 1; seed <= 16; ++seed) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> jitter(-0.3, 0.3), unit(-1.0, 1.0);
        G3TriInterface tri;
        for (int i = 0; i < 9; ++i)
            for (int j = 0; j < 9; ++j) {
                const double p[3] = {2.0 * i + jitter(rng), 2.0 * j + jitter(rng), 8.0 + std::sin(0.7 * i) + jitter(rng)};
                tri.AddVertex(p);
                if ((i == 0 || j == 0 || i == 8 || j == 8) && rng() % 2 == 0) {
                    const double twin[3] = {p[0] + 1.1e-6 * unit(rng), p[1] + 1.1e-6 * unit(rng), p[2] + 0.5 * (rng() % 2)};
                    tri.AddVertex(twin);
                }
            }
        tri.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
        auto ground = Own(tri.GetSurface());
        G3LandscapeHandler h;
        const int mode = 2 + static_cast<int>(seed % 3);
        auto s = Own(h.LandscapeSmoothing(ground.get(), mode, mode == 2 ? 1 : 2));
        ASSERT_TRUE(s);
        G3LandscapeHandler::ReleaseRecords(s.get());
        const double top = TopIntegral(s.get(), 0.0, 0.0);
        // The weld moves a foot by up to its tolerance, tilting the wall
        // above it: at most the border's length times the top height.
        double border = 0.0, high = 0.0;
        for (int i = 0; i < s->GetEdgeCount(); ++i) {
            const G3Edge* e = s->GetEdge(i);
            if (!e->GetFacet1() || !e->GetFacet2())
                border += std::hypot(e->GetVertex1()->GetX() - e->GetVertex2()->GetX(), e->GetVertex1()->GetY() - e->GetVertex2()->GetY());
        }
        for (int i = 0; i < s->GetVertexCount(); ++i)
            high = std::max(high, s->GetVertex(i)->GetZ());
        h.SurfaceCover(s.get());
        EXPECT_EQ("", MeshCheck(s.get()));
        EXPECT_TRUE(G3SurfaceWatertight(s.get())) << seed;
        EXPECT_NEAR(top, G3SurfaceVolume(s.get()), GTolerance::kWeld * border * high) << "seed " << seed << " mode " << mode;
    }
}

// Low surveys with steep steps down to z = 0, smoothed by edge midpoints
// (mode 1): the cubic overshoots below the ground, and those midpoints stay
// on z = 0 as every other inserted point does. Below it, the cover's bottom
// crossed the terrain: a body closed and wrong.
TEST(LandscapeCover, MidpointsStayOnTheGround)
{
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> jitter(-0.3, 0.3);
        G3TriInterface tri;
        for (int i = 0; i < 8; ++i)
            for (int j = 0; j < 8; ++j) {
                const double p[3] = {2.0 * i + jitter(rng), 2.0 * j + jitter(rng), rng() % 3 == 0 ? 3.0 + jitter(rng) : 0.05 * (rng() % 3)};
                tri.AddVertex(p);
            }
        tri.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
        auto ground = Own(tri.GetSurface());
        G3LandscapeHandler h;
        auto s = Own(h.LandscapeSmoothing(ground.get(), 1, 1 + static_cast<int>(seed % 2)));
        ASSERT_TRUE(s);
        EXPECT_EQ("", MeshCheck(s.get()));
        int below = 0;
        for (int i = 0; i < s->GetVertexCount(); ++i)
            below += s->GetVertex(i)->GetZ() < 0.0;
        EXPECT_EQ(0, below) << seed;
        const double top = TopIntegral(s.get(), 0.0, 0.0);
        h.SurfaceCover(s.get());
        EXPECT_EQ("", MeshCheck(s.get()));
        EXPECT_TRUE(G3SurfaceWatertight(s.get())) << seed;
        EXPECT_NEAR(top, G3SurfaceVolume(s.get()), 1e3 * GTolerance::kPlanarTriangulation * std::fabs(top)) << seed;
        // No facet check here: where the ground runs along the border at
        // z = 0 the cover's wall there has no height, and the facet check
        // reports the terrain folded flat onto the bottom.
    }
}

TEST(LandscapeFlatRegion, PadOnASlope)
{
    G3LandscapeHandler h;
    auto slope = Grid(12, [](double x, double y) { return 5.0 + 0.4 * x + 0.1 * y; });
    Contour(h, {{4, 4, 8}, {7, 4, 8}, {7, 7, 8}, {4, 7, 8}, {4, 4, 8}});
    ASSERT_TRUE(h.EndContour());
    // Too small, or inwards: the cut would lie inside the pad and the fill
    // never reach its points (the terrain came back without a pad).
    for (const double offset : {0.00009, -0.5, -1.0}) {
        h.flatOffset = offset;
        EXPECT_EQ(nullptr, h.ApplyFlatRegion(slope.get())) << offset;
    }
    EXPECT_EQ(5, static_cast<GArrayCollection*>(h.contours.get(0))->size());

    static std::vector<int> notes;
    notes.clear();
    h.facetCreationNotify = [](int k) { notes.push_back(k); };
    h.flatOffset = 1.0;
    auto s = Own(h.ApplyFlatRegion(slope.get()));
    ASSERT_TRUE(s);
    EXPECT_EQ("", MeshCheck(s.get()));
    EXPECT_EQ(std::vector<int>({1, 0}), notes);
    int inside = 0;
    for (int i = 0; i < s->GetVertexCount(); ++i) {
        const G3Vertex* v = s->GetVertex(i);
        const double x = v->GetX(), y = v->GetY();
        if (x >= 4 && x <= 7 && y >= 4 && y <= 7) {
            EXPECT_NEAR(8.0, v->GetZ(), 1e-9);
            ++inside;
        } else if (x < 3 || x > 8 || y < 3 || y > 8) {
            EXPECT_NEAR(5.0 + 0.4 * x + 0.1 * y, v->GetZ(), 1e-9);
            EXPECT_EQ(x, std::floor(x)); // a grid point, not moved
        }
    }
    EXPECT_GE(inside, 12);
    // No facet of the result lies over the pad at another height.
    s->FormPlaneEquation();
    for (int i = 0; i < s->GetFacetCount(); ++i) {
        G3FacetVertexIterator it(s->GetFacet(i));
        double cx = 0, cy = 0, cz = 0;
        int n = 0;
        while (G3Vertex* v = it.NextVertex())
            cx += v->GetX(), cy += v->GetY(), cz += v->GetZ(), ++n;
        if (cx / n > 4 && cx / n < 7 && cy / n > 4 && cy / n < 7) {
            EXPECT_NEAR(8.0, cz / n, 1e-9);
        }
    }
}

// An L-shaped pad: the fill's triangulation covers the L's hull, and only
// its triangles inside the L may stay. The terrain's facets, projected on
// the ground, must then tile the grid's square exactly once.
TEST(LandscapeFlatRegion, ConcavePadTilesTheGroundOnce)
{
    G3LandscapeHandler h;
    auto slope = Grid(12, [](double x, double y) { return 5.0 + 0.4 * x + 0.1 * y; });
    Contour(h, {{3, 3, 8}, {8, 3, 8}, {8, 5, 8}, {5, 5, 8}, {5, 8, 8}, {3, 8, 8}, {3, 3, 8}});
    ASSERT_TRUE(h.EndContour());
    h.flatOffset = 0.5;
    auto s = Own(h.ApplyFlatRegion(slope.get()));
    ASSERT_TRUE(s);
    EXPECT_EQ("", MeshCheck(s.get()));
    EXPECT_NEAR(11.0 * 11.0, PlanArea(s.get()), 1e-9);
}

// L-shaped pads (a rectangle of whole or half cells with a notch at a
// corner, corners on survey points and on the grid's edges, straight
// corners at the sides' middles at times), on terrains near the origin and
// at site coordinates (where the ray test's shift of 1e-12 vanishes and a
// fill triangle's centroid in line with a corner of the widened pad was
// counted outside): the ground is tiled once and every pad corner is a
// vertex at the pad's height.
TEST(LandscapeFlatRegion, NotchedPadsTileTheGroundOnceAtAnyOffset)
{
    for (unsigned seed = 0; seed < 160; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        const int n = 10 + rng() % 6;
        const double ox = seed % 2 ? 512345.0 : 0.0, oy = seed % 2 ? 345678.0 : 0.0;
        const double gx = (rng() % 100) / 500.0, gy = (rng() % 100) / 500.0;
        auto ground = TiltedGrid(n, ox, oy, 3.0, gx, gy, rng);
        const int per = 1 + rng() % 2; // cells per unit
        const int w = (2 + rng() % 4) * per, d = (2 + rng() % 4) * per;
        const int nx = 1 + rng() % (w - 1), ny = 1 + rng() % (d - 1);
        const int x0 = 2 * per + rng() % ((n - 4) * per - w), y0 = 2 * per + rng() % ((n - 4) * per - d);
        std::vector<std::array<int, 2>> corners = {{0, 0}, {w, 0}, {w, d - ny}, {w - nx, d - ny}, {w - nx, d}, {0, d}};
        if (w % 2 == 0 && rng() % 2)
            corners.insert(corners.begin() + 1, {w / 2, 0});
        if (d % 2 == 0 && rng() % 2)
            corners.push_back({0, d / 2});
        const bool flipX = rng() % 2, flipY = rng() % 2;
        for (auto& c : corners)
            c = {x0 + (flipX ? w - c[0] : c[0]), y0 + (flipY ? d - c[1] : c[1])};
        const double z = 3.0 + 0.1 * (rng() % 20);
        G3LandscapeHandler h;
        h.StartContour();
        for (std::size_t i = 0; i <= corners.size(); ++i) {
            const auto& c = corners[i % corners.size()];
            h.AddContourVertex(ox + double(c[0]) / per, oy + double(c[1]) / per, z);
        }
        ASSERT_TRUE(h.EndContour());
        const double offsets[4] = {0.25, 0.3, 0.5, 1.0};
        h.flatOffset = offsets[rng() % 4];
        auto s = Own(h.ApplyFlatRegion(ground.get()));
        ASSERT_TRUE(s);
        EXPECT_EQ("", MeshCheck(s.get()));
        EXPECT_NEAR((n - 1.0) * (n - 1.0), PlanArea(s.get(), ox, oy), 1e-6);
        // No crack: only the ground's own border is open (a widened corner
        // on a terrain edge once split the facets on one side alone).
        EXPECT_EQ(0, OpenInnerEdges(s.get(), ox, oy, n - 1.0));
        for (const auto& c : corners) {
            const double want[3] = {ox + double(c[0]) / per, oy + double(c[1]) / per, z};
            bool found = false;
            for (int k = 0; k < s->GetVertexCount() && !found; ++k)
                found = s->GetVertex(k)->HasEdges() && G3Point::Equals(s->GetVertex(k)->GetXYZ(), want);
            EXPECT_TRUE(found) << c[0] << " " << c[1];
        }
    }
}

// Rectangular pads on survey points whose widened outline runs along one,
// two or three sides of the grid. The cut leaves no open edge on the
// border, so the rim alone missed the border's points there: a widened
// corner on the grid's corner was in the fill from neither side, which
// left a hole between the pad and the border.
TEST(LandscapeFlatRegion, PadsWidenedOntoTheBorderFillToIt)
{
    for (unsigned seed = 0; seed < 40; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        const int n = 11 + rng() % 4, offset = 1 + rng() % 2, w = 2 + rng() % 4, d = 2 + rng() % 4;
        const double ox = seed % 2 ? 5000341.25 : 0.0, oy = seed % 2 ? 5000676.5 : 0.0;
        const double gx = (rng() % 100) / 400.0 - 0.125, gy = (rng() % 100) / 400.0 - 0.125;
        auto ground = TiltedGrid(n, ox, oy, 20.0, gx, gy, rng);
        // On the left side; at the bottom, the top, both or in between.
        const int low = offset, high = n - 1 - offset - d, pick = rng() % 4;
        const int y0 = pick % 3 == 0 ? low : pick == 1 ? high : low + rng() % (high - low + 1);
        const int y1 = pick == 3 ? high + d : y0 + d;
        G3LandscapeHandler h;
        Contour(h, {{ox + offset, oy + y0, 21}, {ox + offset + w, oy + y0, 21}, {ox + offset + w, oy + y1, 21},
                    {ox + offset, oy + y1, 21}, {ox + offset, oy + y0, 21}});
        ASSERT_TRUE(h.EndContour());
        h.flatOffset = offset;
        auto s = Own(h.ApplyFlatRegion(ground.get()));
        ASSERT_TRUE(s);
        EXPECT_EQ("", MeshCheck(s.get()));
        EXPECT_EQ(0, OpenInnerEdges(s.get(), ox, oy, n - 1.0));
        EXPECT_NEAR((n - 1.0) * (n - 1.0), PlanArea(s.get(), ox, oy), GTolerance::kPlaneSide);
    }
}

// Pads, straight or turned, clear of the grid's border by less than the
// offset, at a side or a corner: the widened outline reaches past the
// border. The border inside it went with the cut and the fill spanned only
// the rim and the pad, a hole between them and the border. Each border
// point left must lie between the pad's height and the ground's there.
// The same pad moved over the border, or off the grid, fails the cut.
TEST(LandscapeFlatRegion, PadsWidenedPastTheBorderFillToIt)
{
    for (unsigned seed = 0; seed < 32; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        const int n = 11 + rng() % 4;
        const double ox = seed % 2 ? 5000341.25 : 0.0, oy = seed % 2 ? 5000676.5 : 0.0;
        const double gx = 0.5 * unit(rng) - 0.25, gy = 0.5 * unit(rng) - 0.25;
        std::vector<std::vector<double>> z(n, std::vector<double>(n));
        G3TriInterface tri;
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                z[i][j] = 20.0 + gx * i + gy * j + 0.1 * (rng() % 3);
                const double p[3] = {ox + i, oy + j, z[i][j]};
                tri.AddVertex(p);
            }
        tri.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
        auto ground = Own(tri.GetSurface());
        const double w = 2.0 + 2.0 * unit(rng), d = 2.0 + 2.0 * unit(rng), offset = 0.5 + 1.5 * unit(rng);
        const double angle = seed % 3 ? 1.5 * unit(rng) : 0.0, c = std::cos(angle), sn = std::sin(angle);
        const std::array<std::array<double, 2>, 4> pad = {
            {{0, 0}, {w * c, w * sn}, {w * c - d * sn, w * sn + d * c}, {-d * sn, d * c}}};
        double lx = 0.0, ly = 0.0, hy = 0.0;
        for (const auto& q : pad)
            lx = std::min(lx, q[0]), ly = std::min(ly, q[1]), hy = std::max(hy, q[1]);
        const bool corner = seed % 4 >= 2;
        const double dx = (0.05 + 0.9 * unit(rng)) * offset - lx;
        const double room = std::max(0.0, n - 1 - 2 * offset - hy + ly);
        const double dy = (corner ? (0.05 + 0.9 * unit(rng)) * offset : offset + unit(rng) * room) - ly;
        const double height = 20.0 + 6.0 * unit(rng) - 3.0;
        const auto apply = [&](double sx) {
            G3LandscapeHandler h;
            h.StartContour();
            for (int k = 0; k <= 4; ++k)
                h.AddContourVertex(ox + sx + dx + pad[k % 4][0], oy + dy + pad[k % 4][1], height);
            EXPECT_TRUE(h.EndContour());
            h.flatOffset = offset;
            return Own(h.ApplyFlatRegion(ground.get()));
        };
        auto s = apply(0.0);
        ASSERT_TRUE(s);
        EXPECT_EQ("", MeshCheck(s.get()));
        EXPECT_EQ(0, OpenInnerEdges(s.get(), ox, oy, n - 1.0));
        EXPECT_NEAR((n - 1.0) * (n - 1.0), PlanArea(s.get(), ox, oy), GTolerance::kPlaneSide);
        // The plan distance from the pad; the slope falls or climbs from the
        // pad to the ground within the offset, never steeper.
        const auto fromPad = [&](double x, double y) {
            double m = INFINITY;
            for (int k = 0; k < 4; ++k) {
                const double ax = dx + pad[k][0], ay = dy + pad[k][1];
                const double ux = pad[(k + 1) % 4][0] - pad[k][0], uy = pad[(k + 1) % 4][1] - pad[k][1];
                const double t = std::clamp(((x - ax) * ux + (y - ay) * uy) / (ux * ux + uy * uy), 0.0, 1.0);
                m = std::min(m, std::hypot(ax + t * ux - x, ay + t * uy - y));
            }
            return m;
        };
        // The ground along the left and bottom sides, between grid points.
        for (int i = 0; i < s->GetVertexCount(); ++i) {
            const G3Vertex* v = s->GetVertex(i);
            const double x = v->GetX() - ox, y = v->GetY() - oy;
            if (!v->HasEdges() || std::min(x, y) > GTolerance::kPlaneSide)
                continue;
            const double t = std::clamp(x < y ? y : x, 0.0, n - 1.0), k = std::min(std::floor(t), n - 2.0);
            const int a = int(k);
            const double g = x < y ? z[0][a] + (t - k) * (z[0][a + 1] - z[0][a])
                                   : z[a][0] + (t - k) * (z[a + 1][0] - z[a][0]);
            EXPECT_LE(std::min(g, height) - GTolerance::kPlaneSide, v->GetZ()) << x << " " << y;
            EXPECT_GE(std::max(g, height) + GTolerance::kPlaneSide, v->GetZ()) << x << " " << y;
            EXPECT_LE(std::fabs(v->GetZ() - height),
                      std::fabs(g - height) * std::min(1.0, fromPad(x, y) / offset) + GTolerance::kPlaneSide);
        }
        EXPECT_FALSE(apply(seed % 2 ? -0.1 - dx - w : -(dx + lx) - 0.5 * unit(rng) * offset));
    }
}

// Rectangular pads, straight or turned, on tilted planes sampled on grids
// and at random (the square's corners and border points kept), near the
// origin and at site coordinates. The boolean hands the rim's points back
// a unit in the last place off the widened side, so a side's row of points
// was dented; where it lay on the fill's hull the triangulation closed the
// dents with slivers, a second facet over rim edges: the covered body was
// open (about one case in ten).
TEST(LandscapeFlatRegion, PadsOnTiltedPlanesCloseIntoBodies)
{
    for (unsigned seed = 0; seed < 48; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        const int n = 10 + rng() % 6;
        const double step = 0.7 + unit(rng);
        const double side = (n - 1) * step;
        const bool site = seed % 2, random = seed % 4 >= 2;
        const double ox = site ? 5000000.25 + rng() % 1000 : 0.0, oy = site ? 5000000.5 + rng() % 1000 : 0.0;
        const double gx = 0.6 * unit(rng) - 0.3, gy = 0.6 * unit(rng) - 0.3;
        const auto ground = [&](double x, double y) { return (site ? 300.0 : 20.0) + gx * (x - ox) + gy * (y - oy); };
        G3TriInterface tri;
        const auto add = [&](double u, double v) {
            const double p[3] = {ox + u, oy + v, ground(ox + u, oy + v)};
            tri.AddVertex(p);
        };
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                if (!random)
                    add(i * step, j * step);
                else if (i % (n - 1) == 0 && j % (n - 1) == 0)
                    add(i * step, j * step);
                else if (i % (n - 1) == 0 || j % (n - 1) == 0)
                    add(i % (n - 1) ? unit(rng) * side : i * step, j % (n - 1) ? unit(rng) * side : j * step);
                else
                    add(unit(rng) * side, unit(rng) * side);
            }
        tri.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
        auto tin = Own(tri.GetSurface());
        // A rectangle turned about its centre, its widened outline inside
        // the square.
        const double w = (1.5 + 2.0 * unit(rng)) * step, d = (1.5 + 2.0 * unit(rng)) * step;
        const double offset = (0.1 + unit(rng)) * step, angle = seed % 3 == 0 ? 0.0 : 1.5 * unit(rng);
        const double reach = 0.5 * std::hypot(w, d) + offset * 1.5;
        const double cx = reach + unit(rng) * (side - 2 * reach), cy = reach + unit(rng) * (side - 2 * reach);
        const double height = ground(ox + cx, oy + cy) + 2.0 * unit(rng) - 1.0;
        G3LandscapeHandler h;
        h.StartContour();
        for (int k = 0; k <= 4; ++k) {
            const double u = (k % 4 == 1 || k % 4 == 2 ? 0.5 : -0.5) * w, v = (k % 4 >= 2 ? 0.5 : -0.5) * d;
            h.AddContourVertex(ox + cx + u * std::cos(angle) - v * std::sin(angle),
                               oy + cy + u * std::sin(angle) + v * std::cos(angle), height);
        }
        ASSERT_TRUE(h.EndContour());
        h.flatOffset = offset;
        auto s = Own(h.ApplyFlatRegion(tin.get()));
        ASSERT_TRUE(s);
        EXPECT_EQ("", MeshCheck(s.get()));
        EXPECT_NEAR(side * side, PlanArea(s.get(), ox, oy), 1e-9 * side * side);
        const double top = TopIntegral(s.get(), ox, oy);
        h.SurfaceCover(s.get());
        EXPECT_EQ("", MeshCheck(s.get()));
        EXPECT_TRUE(G3SurfaceWatertight(s.get()));
        EXPECT_NEAR(top, G3SurfaceVolume(s.get()), 1e-9 * top);
    }
}

// C-shaped pads, turned at times, whose slot is narrower or wider than
// twice the offset. Where the moved sides of the slot pass each other, the
// widened outline crosses itself: the cut counted the overlap as outside,
// terrain stayed in the slot and, where it reached the slot's sides, gave
// the pad its heights. Such a cut now fails; the others keep the pad flat
// over its whole area.
TEST(LandscapeFlatRegion, SlotsClosedByTheOffsetFailTheCut)
{
    auto ground = Grid(16, [](double x, double y) { return 10.0 + 0.1 * x + 0.05 * y; });
    for (unsigned seed = 0; seed < 40; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        const double slot = 0.5 + unit(rng), bottom = 1.0 + unit(rng), depth = 2.0 + unit(rng);
        double offset = (0.15 + unit(rng)) * slot;
        if (std::fabs(2.0 * offset - slot) < 0.01)
            offset += 0.02;
        const double angle = seed % 2 ? 0.6 * unit(rng) : 0.0;
        const std::vector<std::array<double, 2>> c = {{0, 0}, {5, 0}, {5, bottom}, {5 - depth, bottom},
                                                      {5 - depth, bottom + slot}, {5, bottom + slot}, {5, 5}, {0, 5}};
        G3LandscapeHandler h;
        h.StartContour();
        std::vector<std::array<double, 2>> pad;
        for (std::size_t k = 0; k <= c.size(); ++k) {
            const double u = c[k % c.size()][0] - 2.5, v = c[k % c.size()][1] - 2.5;
            pad.push_back({7.5 + u * std::cos(angle) - v * std::sin(angle), 7.5 + u * std::sin(angle) + v * std::cos(angle)});
            h.AddContourVertex(pad.back()[0], pad.back()[1], 12.0);
        }
        ASSERT_TRUE(h.EndContour());
        h.flatOffset = offset;
        auto s = Own(h.ApplyFlatRegion(ground.get()));
        if (2.0 * offset > slot) {
            EXPECT_EQ(nullptr, s);
            continue;
        }
        ASSERT_TRUE(s);
        EXPECT_EQ("", MeshCheck(s.get()));
        // Facets with every corner in or on the pad lie at its height and
        // cover its area.
        GArrayCollection outline;
        for (const auto& p : pad)
            outline.add(new G3Point(p[0], p[1], 12.0, 0));
        double area = 0.0;
        for (int i = 0; i < s->GetFacetCount(); ++i) {
            G3FacetVertexIterator it(s->GetFacet(i));
            bool in = true, high = true;
            double cx = 0.0, cy = 0.0;
            int corners = 0;
            while (G3Vertex* v = it.NextVertex()) {
                bool on = false;
                for (std::size_t k = 0; k + 1 < pad.size() && !on; ++k) {
                    const double ex = pad[k + 1][0] - pad[k][0], ey = pad[k + 1][1] - pad[k][1];
                    const double t = std::clamp(((v->GetX() - pad[k][0]) * ex + (v->GetY() - pad[k][1]) * ey) / (ex * ex + ey * ey), 0.0, 1.0);
                    on = std::hypot(pad[k][0] + t * ex - v->GetX(), pad[k][1] + t * ey - v->GetY()) < GTolerance::kPlaneSide;
                }
                in = in && (on || G3LandscapeHandler::PointInOneContour(&outline, v->GetX(), v->GetY()));
                high = high && std::fabs(v->GetZ() - 12.0) < GTolerance::kPlaneSide;
                cx += v->GetX(), cy += v->GetY(), ++corners;
            }
            if (in && G3LandscapeHandler::PointInOneContour(&outline, cx / corners, cy / corners)) {
                EXPECT_TRUE(high) << i;
                area += FacetPlanArea(s->GetFacet(i));
            }
        }
        outline.clear(true);
        EXPECT_NEAR(25.0 - depth * slot, area, 1e-9);
        h.SurfaceCover(s.get());
        EXPECT_EQ("", MeshCheck(s.get()));
        EXPECT_TRUE(G3SurfaceWatertight(s.get()));
    }
}

// Every mode on a noisy grid, then the cover and a pad: clean meshes, no
// non-finite heights (the cover's vertical walls give slope 0).
TEST(LandscapeAll, NoisyGridThroughEveryStep)
{
    G3LandscapeHandler h;
    auto grid = Grid(20, [](double x, double y) { return 3.0 + 0.1 * x + 0.05 * y; }, 0.3, 11);
    for (int mode = 1; mode <= 4; ++mode) {
        auto s = Own(h.LandscapeSmoothing(grid.get(), mode, 1));
        ASSERT_TRUE(s);
        EXPECT_EQ("", MeshCheck(s.get()));
        // Mode 4's records carry into a first-order step, which replaces them.
        auto again = Own(h.LandscapeSmoothing(s.get(), mode == 4 ? 1 : 4, 1));
        G3LandscapeHandler::ReleaseRecords(s.get());
        ASSERT_TRUE(again);
        G3LandscapeHandler::ReleaseRecords(again.get());
        h.SurfaceCover(again.get());
        EXPECT_EQ("", MeshCheck(again.get()));
        for (int step = 1; step <= 4; ++step) {
            auto body = Own(h.LandscapeSmoothing(again.get(), step, 1));
            ASSERT_TRUE(body);
            for (int i = 0; i < body->GetVertexCount(); ++i)
                ASSERT_TRUE(std::isfinite(body->GetVertex(i)->GetZ()));
            G3LandscapeHandler::ReleaseRecords(body.get());
        }
    }
    Contour(h, {{5, 5, 4}, {12, 5, 4}, {12, 9, 4}, {8, 12, 4}, {5, 9, 4}, {5, 5, 4}});
    ASSERT_TRUE(h.EndContour());
    h.flatOffset = 0.7;
    auto pad = Own(h.ApplyFlatRegion(grid.get()));
    ASSERT_TRUE(pad);
    EXPECT_EQ("", MeshCheck(pad.get()));
    h.SurfaceCover(pad.get());
    EXPECT_EQ("", MeshCheck(pad.get()));
}

// Inputs the steps once broke on: a vertex among vertical facets only (an
// infinite slope), merged triangulation points (CopyExtData on a removed
// vertex), and a terrain finer than the triangulation resolves (a pad
// resampled into billions of points).
TEST(LandscapeFaults, VerticalFacetsMergedPointsAndFineTerrain)
{
    G3LandscapeHandler h;
    G3Surface wall;
    G3Vertex* v[6];
    for (int i = 0; i < 3; ++i) {
        v[2 * i] = wall.AddVertex(i, 0.0, 0.0, 0);
        v[2 * i + 1] = wall.AddVertex(i, 0.0, 2.0, 0);
    }
    for (int i = 0; i < 2; ++i) {
        G3Vertex* q[4] = {v[2 * i], v[2 * i + 2], v[2 * i + 3], v[2 * i + 1]};
        wall.AddFacet(4, q, 1, nullptr, nullptr);
    }
    for (int mode = 1; mode <= 4; ++mode) {
        auto s = Own(mode == 1 ? h.SmoothSurface(&wall) : h.LandscapeSmoothing(&wall, mode, 1));
        ASSERT_TRUE(s);
        for (int i = 0; i < s->GetVertexCount(); ++i)
            EXPECT_TRUE(std::isfinite(s->GetVertex(i)->GetZ())) << mode;
        for (int i = 0; i < s->GetPolyEdgeCount() * (mode == 1); ++i) {
            G3Vertex *a = nullptr, *b = nullptr;
            ASSERT_TRUE(s->GetPolyEdge(i, 0, &a, &b));
            EXPECT_TRUE(std::isfinite(b->GetX()) && std::isfinite(b->GetY()));
        }
        G3LandscapeHandler::ReleaseRecords(s.get());
    }
    G3LandscapeHandler::ReleaseRecords(&wall);

    G3LandscapeHandler merged;
    int marks[4] = {0, 1, 2, 3};
    const double pts[4][3] = {{0, 0, 1}, {1, 0, 1}, {0, 1, 1}, {0, 0, 5}};
    for (int i = 0; i < 4; ++i)
        merged.AddVertex(pts[i])->SetUserData(reinterpret_cast<GObj*>(&marks[i]));
    merged.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    auto t = Own(merged.GetSurface());
    merged.CopyExtData();
    ASSERT_EQ(3, t->GetVertexCount());
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(nullptr, t->GetVertex(i)->GetExData());
        EXPECT_NE(reinterpret_cast<GObj*>(&marks[3]), t->GetVertex(i)->GetExData());
        t->GetVertex(i)->SetExData(nullptr);
    }

    auto fine = Grid(6, [](double, double) { return 1.0; });
    double m[4][4] = {{1e-9, 0, 0, 0}, {0, 1e-9, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    fine->RealTransformation(m);
    Contour(h, {{1, 1, 1}, {3, 1, 1}, {3, 3, 1}, {1, 3, 1}, {1, 1, 1}});
    ASSERT_TRUE(h.EndContour());
    h.flatOffset = 1.0;
    delete h.ApplyFlatRegion(fine.get());
    EXPECT_EQ(5, static_cast<GArrayCollection*>(h.contours.get(0))->size());
}
