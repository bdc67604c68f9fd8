// Cut queries of single facets: the parts of a segment lying in a facet,
// the cut by a plane, the overlap of two coplanar facets, and inner points
// of concave facets with holes, thin holes and notches (the point must lie
// inside by an even-odd count and clear of every edge).

#include "common/plane2d.h"
#include "mesh/mesh_builder.h"

#include "Geometry/boolean/G3Interval.h"
#include "Geometry/boolean/G3IntervalList.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Point.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace plane2d;
using Span = std::vector<double>; // x1, y1, z1, x2, y2, z2
using Spans = std::vector<Span>;

// The intervals of `l`, each with its lesser end first, sorted; with
// `join`, pieces meeting end to start are joined (a union may return a
// covered stretch in touching pieces).
Spans Get(const G3IntervalList& l, bool join)
{
    Spans out;
    for (int k = 0; k < l.GetIntervalCount(); ++k) {
        G3Interval* iv = l.GetInterval(k);
        Span a(iv->GetXYZ1(), iv->GetXYZ1() + 3), b(iv->GetXYZ2(), iv->GetXYZ2() + 3);
        if (b < a)
            std::swap(a, b);
        a.insert(a.end(), b.begin(), b.end());
        for (double& d : a)
            d = std::round(d * 1e6) / 1e6 + 0.0;
        out.push_back(a);
    }
    std::sort(out.begin(), out.end());
    Spans joined;
    for (const Span& s : out) {
        if (join && !joined.empty() && std::equal(s.begin(), s.begin() + 3, joined.back().begin() + 3))
            std::copy(s.begin() + 3, s.end(), joined.back().begin() + 3);
        else
            joined.push_back(s);
    }
    return joined;
}

Spans Lie(G3Facet* f, double x1, double y1, double x2, double y2)
{
    const double p1[3] = {x1, y1, 0}, p2[3] = {x2, y2, 0};
    G3IntervalList l;
    const bool found = f->FindIntervalsLieInFacet(p1, p2, &l);
    EXPECT_EQ(found, l.GetIntervalCount() > 0);
    EXPECT_EQ(0, l.GetPointList()->size());
    return Get(l, true);
}

G3Facet* Planar(G3Facet* f)
{
    f->FormPlaneEquation();
    return f;
}

G3Facet* Square(MeshBuilder& b, double x0, double y0, double x1, double y1)
{
    return Planar(b.F({b.V(x0, y0), b.V(x1, y0), b.V(x1, y1), b.V(x0, y1)}));
}

// Square 0..s with a square hole h..s-h, as two contours.
G3Facet* Frame(MeshBuilder& b, double s, double h)
{
    G3Facet* f = b.F({b.V(0, 0), b.V(s, 0), b.V(s, s), b.V(0, s)});
    b.AddContour(f, {b.V(h, h), b.V(h, s - h), b.V(s - h, s - h), b.V(s - h, h)});
    return Planar(f);
}

bool StrictlyInside(const G3Facet* f, const double* p)
{
    G3Vertex* a = nullptr;
    G3Vertex* c = nullptr;
    return f->PointInFacetXY(p, &a, &c) && !a && !c;
}

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
    return Planar(f);
}

// The inner point of one loop of loose points.
bool LoopPoint(const Ring& loop, double* p)
{
    std::vector<std::unique_ptr<G3Point>> store;
    GArrayCollection pts;
    for (const P2& q : loop) {
        store.push_back(std::make_unique<G3Point>(q[0], q[1], 0.0));
        pts.add(store.back().get());
    }
    return G3Facet::GeneratePointInFacetConcave(0, 1, p, &pts);
}

} // namespace

TEST(FacetCutQueries, SegmentPartsInFacetsAndRefusals)
{
    MeshBuilder b;
    // A U: a notch from above between x = 2 and x = 4 down to y = 1.
    G3Facet* u = Planar(
        b.F({b.V(0, 0), b.V(6, 0), b.V(6, 3), b.V(4, 3), b.V(4, 1), b.V(2, 1), b.V(2, 3), b.V(0, 3)}));
    EXPECT_EQ(Lie(u, -1, 2, 7, 2), (Spans{{0, 2, 0, 2, 2, 0}, {4, 2, 0, 6, 2, 0}}));
    EXPECT_EQ(Lie(u, 5, 2, 1, 2), (Spans{{1, 2, 0, 2, 2, 0}, {4, 2, 0, 5, 2, 0}}));
    // Along the notch's floor: the boundary belongs to the facet.
    EXPECT_EQ(Lie(u, -1, 1, 7, 1), (Spans{{0, 1, 0, 6, 1, 0}}));
    // Slanted through the notch's corner (2, 1), grazing the corner (4, 3).
    EXPECT_EQ(Lie(u, 0, -1, 5, 4), (Spans{{1, 0, 0, 2, 1, 0}}));
    EXPECT_TRUE(Lie(u, 2.5, 2, 3.5, 2).empty());

    // Along an edge, and touching a corner only.
    G3Facet* sq = Square(b, 0, 0, 4, 4);
    EXPECT_EQ(Lie(sq, 1, 0, 3, 0), (Spans{{1, 0, 0, 3, 0, 0}}));
    EXPECT_EQ(Lie(sq, 6, 0, -2, 0), (Spans{{0, 0, 0, 4, 0, 0}}));
    EXPECT_TRUE(Lie(sq, -1, 3, 1, 5).empty());

    // A hole is left out, its edges are kept.
    G3Facet* frame = Frame(b, 4, 1);
    EXPECT_EQ(Lie(frame, 2, -1, 2, 5), (Spans{{2, 0, 0, 2, 1, 0}, {2, 3, 0, 2, 4, 0}}));
    EXPECT_EQ(Lie(frame, 1, -1, 1, 5), (Spans{{1, 0, 0, 1, 4, 0}}));

    // Refusals: the list is cleared all the same.
    G3IntervalList l;
    l.AddPoint(std::vector<double>{1, 1, 1}.data());
    const double p[3] = {1, 1, 0}, shortEnd[3] = {1 + 5e-7, 1, 0}, up[3] = {1, 1, 10}, s[3] = {3, 1, 0};
    EXPECT_FALSE(sq->FindIntervalsLieInFacet(p, shortEnd, &l));
    EXPECT_TRUE(l.IsEmpty());
    EXPECT_FALSE(sq->FindIntervalsLieInFacet(p, up, &l)); // a point in projection
    EXPECT_FALSE(b.F()->FindIntervalsLieInFacet(p, s, &l));
    EXPECT_TRUE(sq->FindIntervalsLieInFacet(p, s, nullptr));

    // A vertical facet is cut on its own projection pair.
    G3Facet* wall = Planar(b.F({b.V(0, 0, 0), b.V(4, 0, 0), b.V(4, 0, 4), b.V(0, 0, 4)}));
    const double w1[3] = {1, 0, -1}, w2[3] = {1, 0, 5};
    ASSERT_TRUE(wall->FindIntervalsLieInFacet(w1, w2, &l));
    EXPECT_EQ(Get(l, true), (Spans{{1, 0, 0, 1, 0, 4}}));
}

TEST(FacetCutQueries, OverlapOfCoplanarFacets)
{
    MeshBuilder b;
    G3Facet* s1 = Square(b, 0, 0, 4, 4);
    G3IntervalList out;
    // Equal squares: every edge found from both sides.
    ASSERT_TRUE(s1->FindFacetsIntersection(Square(b, 0, 0, 4, 4), &out));
    Spans twice;
    for (const Span& e :
        Spans{{0, 0, 0, 0, 4, 0}, {0, 0, 0, 4, 0, 0}, {0, 4, 0, 4, 4, 0}, {4, 0, 0, 4, 4, 0}})
        twice.insert(twice.end(), 2, e);
    EXPECT_EQ(Get(out, false), twice);

    // Overlapping corners: the pieces end where the boundaries cross.
    ASSERT_TRUE(s1->FindFacetsIntersection(Square(b, 2, 2, 6, 6), &out));
    EXPECT_EQ(Get(out, false),
              (Spans{{2, 2, 0, 2, 4, 0}, {2, 2, 0, 4, 2, 0}, {2, 4, 0, 4, 4, 0}, {4, 2, 0, 4, 4, 0}}));

    EXPECT_FALSE(s1->FindFacetsIntersection(Square(b, 10, 10, 12, 12), &out));
    EXPECT_TRUE(out.IsEmpty());
    EXPECT_FALSE(s1->FindFacetsIntersection(nullptr, &out));

    // A small square inside: its edges lie in the large one, but no edge of
    // the large one enters the small one.
    G3Facet* small = Square(b, 1, 1, 2, 2);
    ASSERT_TRUE(s1->FindFacetsIntersection(small, &out));
    EXPECT_EQ(4, out.GetIntervalCount());
    EXPECT_FALSE(small->FindFacetsIntersection(s1, &out));

    // A slit (2, 0)-(2, 2) runs there and back: two edges between the same
    // vertices within the facet, so neither takes part.
    G3Vertex* v[6] = {b.V(0, 0), b.V(2, 0), b.V(2, 2), b.V(4, 0), b.V(4, 4), b.V(0, 4)};
    G3Facet* slit = b.F();
    for (auto [from, to] : {std::pair{0, 1}, {1, 2}, {2, 1}, {1, 3}, {3, 4}, {4, 5}, {5, 0}})
        b.Attach(slit, b.E(v[from], v[to]));
    ASSERT_TRUE(s1->FindFacetsIntersection(Planar(slit), &out));
    for (const Span& s : Get(out, false))
        EXPECT_FALSE(s[0] == 2 && s[3] == 2 && s[1] == 0) << "slit edge reported";
}

TEST(FacetCutQueries, PlaneCutAlongEdgesOfAFacetGivesOnePiece)
{
    // The plane x = 1 runs along two edges of this facet and through two
    // vertices where the boundary crosses it: inside it covers y in [0, 3],
    // as does the same line given as a segment.
    MeshBuilder b;
    G3Facet* f =
        Planar(b.F({b.V(1, 0), b.V(2, 0), b.V(2, 2), b.V(1, 2), b.V(1, 3), b.V(0, 3), b.V(0, 1), b.V(1, 1)}));
    const double plane[4] = {1, 0, 0, -1};
    G3IntervalList cut;
    EXPECT_EQ(f->IntersectByPlaneConcave(plane, &cut), 1);
    cut.BuildIntervals();
    EXPECT_EQ(Get(cut, false), (Spans{{1, 0, 0, 1, 3, 0}}));
    EXPECT_EQ(cut.GetMaxCoo(), 3.0);
    EXPECT_EQ(Lie(f, 1, -1, 1, 4), (Spans{{1, 0, 0, 1, 3, 0}}));
}

TEST(FacetCutQueries, InnerPointOfConcaveFacetsAndFacetsWithHoles)
{
    MeshBuilder b;
    const Ring ell = {{0, 0}, {4, 0}, {4, 1}, {1, 1}, {1, 4}, {0, 4}};
    G3Facet* f = Facet(b, {ell});
    double p[3] = {-9, -9, -9}, r[3] = {0, 0, 0};
    ASSERT_TRUE(f->GeneratePointInFacetConcave(0, 1, p));
    EXPECT_TRUE(StrictlyInside(f, p));
    // The same polygon as loose points gives the same point.
    ASSERT_TRUE(LoopPoint(ell, r));
    EXPECT_EQ(std::vector<double>(p, p + 3), std::vector<double>(r, r + 3));
    // Refused: two points, no list, a bad axis pair, a facet without edges.
    EXPECT_FALSE(LoopPoint({{0, 0}, {4, 0}}, r));
    EXPECT_FALSE(G3Facet::GeneratePointInFacetConcave(0, 1, r, nullptr));
    EXPECT_FALSE(f->GeneratePointInFacetConcave(0, 3, r));
    EXPECT_FALSE(b.F()->GeneratePointInFacetConcave(0, 1, r));
    // Coordinates that are not numbers are survived, not trusted.
    LoopPoint({{0, 0}, {4, 0}, {NAN, 1}, {1, 1}, {1, 4}, {0, 4}}, r);
    const double q1[3] = {0, 0, 0}, q2[3] = {NAN, 0, 0};
    EXPECT_FALSE(f->FindIntervalsLieInFacet(q1, q2, nullptr));

    // Frames whose every corner centroid lies in the hole, a hole near a
    // corner, and a tilted frame (z = x / 2): the point is found in the
    // frame, on its plane.
    G3Facet* corner = b.F({b.V(0, 0), b.V(8, 0), b.V(8, 8), b.V(0, 8)});
    b.AddContour(corner, {b.V(5, 5), b.V(5, 7), b.V(7, 7), b.V(7, 5)});
    G3Facet* tilted = b.F({b.V(0, 0, 0), b.V(4, 0, 2), b.V(4, 4, 2), b.V(0, 4, 0)});
    b.AddContour(tilted, {b.V(1, 1, 0.5), b.V(1, 3, 0.5), b.V(3, 3, 1.5), b.V(3, 1, 1.5)});
    for (G3Facet* g : {Frame(b, 4, 1), Frame(b, 4, 0.1), Planar(corner), Planar(tilted)}) {
        ASSERT_TRUE(g->GeneratePointInFacetConcave(0, 1, p));
        EXPECT_TRUE(StrictlyInside(g, p)) << p[0] << " " << p[1];
        EXPECT_NEAR(0.0,
            g->GetPlaneA() * p[0] + g->GetPlaneB() * p[1] + g->GetPlaneC() * p[2] + g->GetPlaneD(), 1e-12);
    }
}

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
    const Ring loop = {{-20, -20}, {20, -20}, {20, 20}, {-20, 20}, {-20, -1.6e-6}, {-10, -1.6e-6},
        {7, 0.8e-6}, {10, 0.8e-6}, {-10, -1.6e-6 + 1e-9}, {-20, -1.6e-6 + 1e-9}};
    ASSERT_TRUE(LoopPoint(loop, p));
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
        ASSERT_EQ("", Judge({p[0], p[1]}, rings, 1e-6))
            << "facet, seed " << seed << ": " << p[0] << " " << p[1];
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
        ASSERT_TRUE(LoopPoint(loop, p)) << seed;
        ASSERT_EQ("", Judge({p[0], p[1]}, {loop}, 1e-6))
            << "loop, seed " << seed << ": " << p[0] << " " << p[1];
    }
    EXPECT_EQ(clearAnswers, 300);
}
