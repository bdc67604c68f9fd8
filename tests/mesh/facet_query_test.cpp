// Facet and edge queries: point in facet with boundary reporting, the plane
// cut, depth, plane comparison, small-edge removal, edge pairs. (Flatness is
// the triangulation tests'.)

#include "mesh_builder.h"

#include "Geometry/boolean/G3Interval.h"
#include "Geometry/boolean/G3IntervalList.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/G3Math.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3FacetLocator.h"
#include "Geometry/math/GTolerance.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <random>
#include <utility>
#include <vector>

namespace {

struct Hit {
    bool in;
    G3Vertex* a;
    G3Vertex* b;
};

Hit XY(const G3Facet* f, double x, double y)
{
    const double p[3] = {x, y, 0};
    Hit h{false, nullptr, nullptr};
    h.in = f->PointInFacetXY(p, &h.a, &h.b);
    return h;
}

std::vector<std::vector<double>> Points(const G3IntervalList& l)
{
    std::vector<std::vector<double>> out;
    for (int k = 0; k < l.GetPointList()->size(); ++k) {
        const double* p = static_cast<G3Point*>(l.GetPointList()->get(k))->GetXYZ();
        out.push_back({p[0], p[1]});
    }
    return out;
}

// After BuildIntervals: (start, end) on the sort axis.
std::vector<std::vector<double>> Spans(G3IntervalList& l)
{
    l.BuildIntervals();
    std::vector<std::vector<double>> out;
    for (int k = 0; k < l.GetIntervalCount(); ++k) {
        const G3Interval* i = l.GetInterval(k);
        out.push_back({i->GetXYZ1(l.GetSortAxis()), i->GetXYZ2(l.GetSortAxis())});
    }
    return out;
}

using VV = std::vector<std::vector<double>>;

} // namespace

TEST(G3FacetQueryTest, PointOnBoundaryReportsVertexOrEdgeEnds)
{
    MeshBuilder b;
    G3Vertex* v[4] = {b.V(0, 0), b.V(2, 0), b.V(2, 2), b.V(0, 2)};
    G3Facet* f = b.F({v[0], v[1], v[2], v[3]});
    // Vertex, edge (the closing edge walked v3 -> v0 names the lower id
    // first), each within the tolerance, and just beyond it.
    const struct {
        double x, y;
        bool in;
        int a, b;
    } probes[] = {{2, 2, true, 2, -1}, {0, 5e-7, true, 0, -1}, {1, 0, true, 0, 1}, {0, 1, true, 0, 3},
                  {2 + 5e-7, 1, true, 1, 2}, {1, 2e-6, true, -1, -1}, {2 + 2e-6, 1, false, -1, -1}};
    auto at = [&v](int i) { return i < 0 ? nullptr : v[i]; };
    for (const auto& p : probes) {
        const Hit h = XY(f, p.x, p.y);
        EXPECT_TRUE(h.in == p.in && h.a == at(p.a) && h.b == at(p.b)) << p.x << ", " << p.y;
    }

    // The static form over a collection; the XZ form reads (x, z).
    GArrayCollection c, empty;
    for (G3Vertex* w : v)
        c.add(w);
    GArrayCollectionIterator it(&c), it2(&c), it3(&empty);
    const double q[3] = {1, 1, 9};
    EXPECT_TRUE(G3Facet::PointInFacetXY(q, &it, nullptr, nullptr));
    EXPECT_FALSE(G3Facet::PointInFacetXZ(q, &it2, nullptr, nullptr));
    EXPECT_FALSE(G3Facet::PointInFacet(0, 1, q, &it3, nullptr, nullptr, 1e-6));
    EXPECT_FALSE(f->PointInFacet(0, 3, q, nullptr, nullptr, 1e-6));
}

// Facets of one to nine contours (every tenth of 64 to 79) with corners on a 5 x 5 lattice (so the
// ray meets vertices and runs along edges, contours touch, cross and fold
// back on themselves) against a parity count along a vertical ray in exact
// arithmetic, at every half-lattice point. A point on the boundary must
// come out inside, naming the vertex or edge; any other must name nothing.
TEST(G3FacetQueryTest, RandomLatticeFacetsAgainstAParityCount)
{
    using P = std::array<int, 2>; // doubled coordinates
    std::mt19937 rng(5);
    auto below = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    for (int round = 0; round < 300; ++round) {
        MeshBuilder b;
        G3Facet* f = b.F();
        std::vector<std::pair<P, P>> edges;
        // Every tenth facet has enough contours for the locator's grid.
        const int many = round % 10 == 0 ? 64 + below(16) : 1 + below(round % 2 ? 3 : 9);
        for (int contours = many; contours > 0; --contours) {
            std::vector<P> c;
            for (const int n = 3 + below(4); static_cast<int>(c.size()) < n;) {
                const P q = {2 * below(5), 2 * below(5)};
                if (c.empty() || (q != c.back() && (static_cast<int>(c.size()) < n - 1 || q != c.front())))
                    c.push_back(q);
            }
            std::vector<G3Vertex*> loop;
            for (size_t k = 0; k < c.size(); ++k) {
                loop.push_back(b.V(c[k][0] / 2.0, c[k][1] / 2.0));
                edges.push_back({c[k], c[(k + 1) % c.size()]});
            }
            b.AddContour(f, loop);
        }
        const G3FacetLocator locator(f, 0, 1);
        for (int x = 0; x <= 8; ++x)
            for (int y = 0; y <= 8; ++y) {
                bool on = false, in = false;
                for (const auto& e : edges) {
                    const P a = e.first, d = {e.second[0] - a[0], e.second[1] - a[1]};
                    const int cross = d[0] * (y - a[1]) - d[1] * (x - a[0]);
                    const int dot = d[0] * (x - a[0]) + d[1] * (y - a[1]);
                    on = on || (cross == 0 && dot >= 0 && dot <= d[0] * d[0] + d[1] * d[1]);
                    if ((a[0] > x) != (e.second[0] > x)) // crosses the ray down from (x, y)
                        in = in != ((cross > 0) == (d[0] > 0));
                }
                const Hit h = XY(f, x / 2.0, y / 2.0);
                ASSERT_TRUE(on ? h.in && h.a : h.in == in && !h.a && !h.b)
                    << "round " << round << " at (" << x / 2.0 << ", " << y / 2.0 << ")";
                // The locator passes contours over by their boxes and must
                // still answer exactly as the walk, hit vertices included.
                const double p[3] = {x / 2.0, y / 2.0, 0.0};
                Hit g{false, nullptr, nullptr};
                g.in = locator.PointInFacet(p, &g.a, &g.b, GTolerance::kInFacet);
                ASSERT_TRUE(g.in == h.in && g.a == h.a && g.b == h.b) << "locator, round " << round;
            }
    }
}

// Points near the line of a slanted edge past its end, a few tolerances
// from the triangle: a step with one end within the tolerance of the probe
// ray's line had its line's crossing with the ray's line taken as a point
// of the step, so such points came out on the boundary. Triangles on an
// integer lattice, also at site coordinates; the oracle is the distance to
// the triangle (between 0.9 and 1.5 tolerances either answer stands).
TEST(G3FacetQueryTest, PointsPastAnEdgesEndOnItsLineAreOffTheBoundary)
{
    std::mt19937 rng(808);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double tol = GTolerance::kInFacet;
    int wrong = 0;
    int checked = 0;
    for (int round = 0; round < 400; ++round) {
        const double shift = round % 2 ? 5e6 : 0.0;
        double c[3][2];
        for (auto& q : c)
            for (double& v : q)
                v = static_cast<double>(rng() % 5);
        const double area = (c[1][0] - c[0][0]) * (c[2][1] - c[0][1]) - (c[2][0] - c[0][0]) * (c[1][1] - c[0][1]);
        if (area == 0.0)
            continue;
        MeshBuilder b;
        G3Facet* f = b.F();
        b.AddContour(f, {b.V(c[0][0] + shift, c[0][1] + shift), b.V(c[1][0] + shift, c[1][1] + shift),
                         b.V(c[2][0] + shift, c[2][1] + shift)});
        for (int k = 0; k < 6; ++k) {
            // Past corner v on the line of its edge to w, off it across.
            const double* v = c[k % 3];
            const double* w = c[(k % 3 + 1 + k / 3) % 3];
            const double ex = w[0] - v[0], ey = w[1] - v[1], len = std::hypot(ex, ey);
            const double along = -(1.5 + 1.5 * unit(rng)) * tol, across = (1.9 * unit(rng) - 0.95) * tol;
            const double p[2] = {v[0] + (along * ex - across * ey) / len, v[1] + (along * ey + across * ex) / len};
            double dist = HUGE_VAL;
            for (int e = 0; e < 3; ++e) {
                const double* a = c[e];
                const double* z = c[(e + 1) % 3];
                const double dx = z[0] - a[0], dy = z[1] - a[1];
                const double t = std::fmin(1.0, std::fmax(0.0, ((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / (dx * dx + dy * dy)));
                dist = std::fmin(dist, std::hypot(p[0] - a[0] - t * dx, p[1] - a[1] - t * dy));
            }
            if (dist < 1.5 * tol)
                continue;
            // Past a corner on an edge's line is outside a triangle.
            ++checked;
            wrong += XY(f, p[0] + shift, p[1] + shift).in;
        }
    }
    EXPECT_EQ(0, wrong);
    EXPECT_GT(checked, 1000);
}

// The one walk that forms a facet's plane and its box gives what the two
// separate walks give (the box through the generic point iterator), bit
// for bit: facets of one to three contours, up to 40 corners (past the
// walk's stack buffer), some flat, some with all corners on one line
// (whose plane comes from a second walk).
TEST(G3FacetQueryTest, PlaneAndBoxInOneWalkAsInTwo)
{
    std::mt19937 rng(11);
    auto unit = [&]() { return static_cast<double>(rng() % 2001) / 1000.0 - 1.0; };
    int onALine = 0;
    for (int round = 0; round < 200; ++round) {
        MeshBuilder b;
        G3Facet* f = b.F();
        const int shape = round % 4; // 0 space, 1 flat, 2 one line, 3 long flat
        for (int contours = shape == 3 ? 1 : 1 + static_cast<int>(rng() % 3); contours > 0; --contours) {
            std::vector<G3Vertex*> loop;
            const int n = shape == 3 ? 17 + static_cast<int>(rng() % 24) : 3 + static_cast<int>(rng() % 5);
            for (int k = 0; k < n; ++k) {
                const double t = unit();
                if (shape == 2)
                    loop.push_back(b.V(t, 2 * t, -t));
                else
                    loop.push_back(b.V(unit(), unit(), shape == 0 ? unit() : 0.5));
            }
            b.AddContour(f, loop);
        }
        GEnvelope box;
        f->FormPlaneEquation(&box);
        const std::vector<double> plane(f->GetPlane(), f->GetPlane() + 4);
        const double stale[4] = {7, 7, 7, 7};
        f->SetPlane(stale);
        f->FormPlaneEquation();
        EXPECT_EQ(std::vector<double>(f->GetPlane(), f->GetPlane() + 4), plane) << "round " << round;
        GEnvelope walked;
        G3FacetVertexIterator it(f);
        G3Math::FormEnvelope(&it, &walked);
        EXPECT_EQ(std::vector<double>(walked.min, walked.min + 3), std::vector<double>(box.min, box.min + 3));
        EXPECT_EQ(std::vector<double>(walked.max, walked.max + 3), std::vector<double>(box.max, box.max + 3));
        GEnvelope alone;
        f->FormEnvelope(&alone);
        EXPECT_EQ(std::vector<double>(walked.min, walked.min + 3), std::vector<double>(alone.min, alone.min + 3));
        EXPECT_EQ(std::vector<double>(walked.max, walked.max + 3), std::vector<double>(alone.max, alone.max + 3));
        onALine += shape == 2 && f->IsTrivial();
    }
    EXPECT_GT(onALine, 40);
}

TEST(G3FacetQueryTest, PlaneCutResultsAndRecords)
{
    MeshBuilder b;
    G3IntervalList l;
    const double x0[4] = {1, 0, 0, 0}, x5[4] = {1, 0, 0, -5}, y0[4] = {0, 1, 0, 0}, z0[4] = {0, 0, 1, 0};

    G3Facet* touch = b.F({b.V(0, 0), b.V(2, 1), b.V(1, 2)});
    EXPECT_EQ(touch->IntersectByPlaneConcave(x0, &l), 2);
    EXPECT_TRUE(l.IsEmpty());
    EXPECT_EQ(touch->IntersectByPlaneConcave(x5, &l), 0);

    // One vertex on the plane (the contour's first), the others on both
    // sides: that vertex and the crossing of the opposite edge.
    G3Facet* cross = b.F({b.V(0, 0), b.V(2, 1), b.V(2, -1)});
    EXPECT_EQ(cross->IntersectByPlaneConcave(y0, &l), 1);
    EXPECT_EQ(Points(l), (VV{{2, 0}, {0, 0}}));
    EXPECT_EQ(static_cast<G3Point*>(l.GetPointList()->get(0))->GetExData(), MeshBuilder::Chain(cross)[1]);

    G3Facet* square = b.F({b.V(0, 0), b.V(2, 0), b.V(2, 2), b.V(0, 2)});
    EXPECT_EQ(square->IntersectByPlaneConcave(z0, &l), 3);
    EXPECT_TRUE(l.GetIntervalCount() == 4 && l.GetPointList()->size() == 0);
    // The run along y = 0 straddles the contour's start and touches.
    EXPECT_EQ(square->IntersectByPlaneConcave(y0, &l), 2);
    EXPECT_EQ(Points(l), (VV{{2, 0}, {0, 0}}));
    EXPECT_EQ(Spans(l), (VV{{0, 2}}));

    const double y1[4] = {0, 1, 0, -1}, y2[4] = {0, 1, 0, -2};
    // The U shape: a notch from above between x = 2 and x = 4 down to y = 1.
    G3Facet* u =
        b.F({b.V(0, 0), b.V(6, 0), b.V(6, 3), b.V(4, 3), b.V(4, 1), b.V(2, 1), b.V(2, 3), b.V(0, 3)});
    EXPECT_EQ(u->IntersectByPlaneConcave(y2, &l), 1);
    EXPECT_EQ(Spans(l), (VV{{0, 2}, {4, 6}}));
    // The notch floor lies in the plane and the boundary touches it there;
    // the built list joins the pieces that meet.
    EXPECT_EQ(u->IntersectByPlaneConcave(y1, &l), 1);
    EXPECT_EQ(Points(l), (VV{{6, 1}, {4, 1}, {2, 1}, {0, 1}}));
    EXPECT_EQ(Spans(l), (VV{{0, 6}}));
    // L shape: the boundary runs along y = 1 and crosses.
    G3Facet* ell = b.F({b.V(0, 0), b.V(4, 0), b.V(4, 1), b.V(2, 1), b.V(2, 3), b.V(0, 3)});
    EXPECT_EQ(ell->IntersectByPlaneConcave(y1, &l), 1);
    EXPECT_EQ(Points(l), (VV{{4, 1}, {0, 1}}));
    EXPECT_EQ(Spans(l), (VV{{0, 4}}));

    // Each contour of a facet with a hole is closed on its own.
    G3Facet* holed = b.F({b.V(0, 0), b.V(4, 0), b.V(4, 4), b.V(0, 4)});
    b.AddContour(holed, {b.V(1, 1), b.V(1, 3), b.V(3, 3), b.V(3, 1)});
    EXPECT_EQ(holed->IntersectByPlaneConcave(y2, &l), 1);
    EXPECT_EQ(Spans(l), (VV{{0, 1}, {3, 4}}));

    G3Facet* none = b.F();
    l.AddPoint(z0);
    EXPECT_EQ(none->IntersectByPlaneConcave(z0, &l), 0);
    EXPECT_EQ(l.GetPointList()->size(), 1); // untouched
}

TEST(G3FacetQueryTest, DepthPlanesAndSegments)
{
    MeshBuilder b;
    G3Facet* wall = b.F({b.V(0, 0, 5), b.V(0, 2, 5), b.V(0, 2, 7), b.V(0, 0, 7)});
    const double vertical[4] = {1, 0, 0, 0};
    wall->SetPlane(vertical);
    EXPECT_EQ(wall->CalcDepth(3, 3), 5.0);
    G3Facet* slope = b.F({b.V(0, 0, 0), b.V(4, 0, 4), b.V(4, 4, 4), b.V(0, 4, 0)});
    const double h = std::sqrt(0.5), tilted[4] = {-h, 0, h, 0};
    slope->SetPlane(tilted);
    EXPECT_NEAR(slope->CalcDepth(3, 1), 3.0, 1e-12);
    double depth = 0;
    const double p[3] = {2, 1, 0};
    EXPECT_TRUE(slope->PointInFacet(p, nullptr, nullptr, &depth));
    EXPECT_NEAR(depth, 2.0, 1e-12);

    const double same[4] = {-h, 0, h, 5e-7}, apart[4] = {-h, 0, h, 1e-6}, flipped[4] = {h, 0, -h, 0};
    EXPECT_TRUE(slope->PlaneEquals(same) && !slope->PlaneEquals(apart) && !slope->PlaneEquals(flipped, 1, 1));
    EXPECT_TRUE(slope->PlaneEquals(apart, 2e-6, 1e-6));

    const double z0[4] = {0, 0, 1, 0};

    // Segment against the facet: inside, on a vertex, outside, missing.
    G3Facet* sq = b.F({b.V(0, 0), b.V(2, 0), b.V(2, 2), b.V(0, 2)});
    sq->SetPlane(z0);
    const double lo[3] = {1, 1, -1}, hi[3] = {1, 1, 3}, c1[3] = {2, 2, -1}, c2[3] = {2, 2, 1};
    const double far1[3] = {5, 5, -1}, far2[3] = {5, 5, 1}, up[3] = {1, 1, 4};
    double x[3];
    G3Vertex* a = nullptr;
    EXPECT_EQ(sq->GetPlaneIntersect(lo, hi, x, &a, nullptr), 1);
    EXPECT_EQ(std::vector<double>(x, x + 3), (std::vector<double>{1, 1, 0}));
    EXPECT_EQ(sq->GetPlaneIntersect(c1, c2, x, &a, nullptr), 2);
    EXPECT_EQ(a, b.vertices[b.vertices.size() - 2]);
    EXPECT_EQ(sq->GetPlaneIntersect(far1, far2, x, nullptr, nullptr), 3);
    EXPECT_EQ(sq->GetPlaneIntersect(hi, up, x, nullptr, nullptr), 0);
}

TEST(G3FacetQueryTest, RemoveSmallEdgesOfWeldedVertices)
{
    MeshBuilder b;
    G3Vertex* v[4] = {b.V(0, 0), b.V(2, 0), b.V(2, 2), b.V(0, 2)};
    G3Facet* f = b.F({v[0], v[1], v[2], v[3]});
    std::vector<G3Edge*> e = MeshBuilder::Chain(f);
    EXPECT_FALSE(f->RemoveSmallEdges());
    v[2]->SetExData(v[1]); // v2 welded into v1: edge v1-v2 collapses
    EXPECT_FALSE(f->RemoveSmallEdges());
    EXPECT_EQ(MeshBuilder::Chain(f), (std::vector<G3Edge*>{e[0], e[2], e[3]}));
    EXPECT_EQ(e[1]->GetFacet1(), nullptr);
    EXPECT_EQ(MeshBuilder::Ring(v[1]), (std::vector<G3Edge*>{e[0]}));
    v[3]->SetExData(v[1]); // now e2 collapses too: two edges are left
    EXPECT_TRUE(f->RemoveSmallEdges());
    EXPECT_TRUE(!f->HasEdges() && !v[0]->HasEdges() && f->GetLastEdge() == nullptr);
}

TEST(G3EdgeQueryTest, EdgePairsAndProjection)
{
    MeshBuilder b;
    G3Vertex* s = b.V(0, 0);
    G3Vertex* a = b.V(3, 0);
    G3Vertex* c = b.V(0, 4);
    G3Edge* e1 = b.E(s, a);
    G3Edge* e2 = b.E(c, s);
    G3Vertex *ra = nullptr, *rs = nullptr, *rc = nullptr;
    EXPECT_TRUE(G3Edge::GetTriangleVertex(e1, e2, &ra, &rs, &rc));
    EXPECT_TRUE(ra == a && rs == s && rc == c);
    EXPECT_FALSE(G3Edge::GetTriangleVertex(e1, b.E(c, b.V(9, 9)), &ra, &rs, &rc));
    EXPECT_TRUE(ra == nullptr && rs == nullptr && rc == nullptr);
    EXPECT_DOUBLE_EQ(G3Edge::CalcRealSquareOfTriangle(e1, e2), 6.0);
    EXPECT_DOUBLE_EQ(G3Edge::GetCosAngle(e1, b.E(s, b.V(1, 1))), std::sqrt(0.5));
    EXPECT_EQ(G3Edge::GetCosAngle(e1, b.E(s, b.V(0, 0))), 0.0); // zero length

    double foot[3], t = 0;
    const double p[3] = {1, 2, 0}, beyond[3] = {3 + 5e-7, 1, 0}, past[3] = {3 + 2e-6, 0, 0};
    EXPECT_TRUE(e1->FindProjection(p, foot, &t));
    EXPECT_EQ(t, 1.0);
    EXPECT_EQ(std::vector<double>(foot, foot + 3), (std::vector<double>{1, 0, 0}));
    EXPECT_TRUE(e1->FindProjection(beyond, foot, &t));
    EXPECT_FALSE(e1->FindProjection(past, nullptr, nullptr));
    EXPECT_FALSE(b.E(a, s)->FindProjection(past, foot, &t));
    EXPECT_NEAR(t, -2e-6, 1e-12);
}

// Corner data at points within the tolerance of an edge that is long along
// one axis and only millionths long along the others (a split T-junction
// vertex on a slightly tilted wall edge) stays between the ends' values.
TEST(G3EdgeQueryTest, InterpolationNearAnEdgeStaysBetweenItsEnds)
{
    std::mt19937 rng(21);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    MeshBuilder b;
    for (int round = 0; round < 2000; ++round) {
        const int m = round % 3;
        double a[3], d[3], p[3];
        for (int k = 0; k < 3; ++k) {
            a[k] = 5e6 * (round % 2) + 10 * u(rng);
            d[k] = k == m ? 3 + 2 * u(rng) : std::pow(10.0, -5 + u(rng)) * (u(rng) < 0 ? -1 : 1);
            p[k] = a[k] + (0.5 + 0.45 * u(rng)) * d[k] + 0.5 * GTolerance::kPointEqual * u(rng) * (k != m);
        }
        G3Vertex* va = b.V(a[0], a[1], a[2]);
        G3Vertex* vb = b.V(a[0] + d[0], a[1] + d[1], a[2] + d[2]);
        G3Normal *na = b.N(u(rng), u(rng), u(rng)), *nb = b.N(u(rng), u(rng), u(rng)), *n = nullptr;
        G3TexCoo *ta = b.T(u(rng), u(rng)), *tb = b.T(u(rng), u(rng)), *t = nullptr;
        G3Edge::Interpolate(va, na, ta, vb, nb, tb, p, &n, &t);
        const std::unique_ptr<G3Normal> keepN(n);
        const std::unique_ptr<G3TexCoo> keepT(t);
        // (up to rounding in e0 + (e1 - e0) * s)
        auto between = [](double x, double e0, double e1) {
            return x >= std::fmin(e0, e1) - 1e-12 && x <= std::fmax(e0, e1) + 1e-12;
        };
        for (int k = 0; k < 3; ++k)
            ASSERT_TRUE(between(n->GetXYZ()[k], na->GetXYZ()[k], nb->GetXYZ()[k])) << "round " << round;
        for (int k = 0; k < 2; ++k)
            ASSERT_TRUE(between(t->GetUV()[k], ta->GetUV()[k], tb->GetUV()[k])) << "round " << round;
    }
}
