// Cut queries of single facets: the parts of a segment lying in a facet,
// the overlap of two coplanar facets, an inner point of a concave facet.

#include "mesh/mesh_builder.h"

#include "Geometry/boolean/G3Interval.h"
#include "Geometry/boolean/G3IntervalList.h"
#include "Geometry/foundation/GArrayCollection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using Span = std::vector<double>; // x1, y1, z1, x2, y2, z2

// Every interval of `l`, ends ordered lexicographically, the spans sorted,
// so lists can be compared whatever their sort axis and order.
std::vector<Span> Spans(const G3IntervalList& l)
{
    std::vector<Span> out;
    for (int k = 0; k < l.GetIntervalCount(); ++k) {
        G3Interval* iv = l.GetInterval(k);
        std::vector<double> a(iv->GetXYZ1(), iv->GetXYZ1() + 3);
        std::vector<double> b(iv->GetXYZ2(), iv->GetXYZ2() + 3);
        if (b < a)
            std::swap(a, b);
        a.insert(a.end(), b.begin(), b.end());
        for (double& d : a)
            d = std::round(d * 1e6) / 1e6;
        out.push_back(a);
    }
    std::sort(out.begin(), out.end());
    return out;
}

// Spans of one line with pieces that meet end to start joined: the union
// may hand back a covered stretch in several touching pieces.
std::vector<Span> Joined(std::vector<Span> spans)
{
    std::vector<Span> out;
    for (const Span& s : spans) {
        if (!out.empty() && std::equal(s.begin(), s.begin() + 3, out.back().begin() + 3))
            std::copy(s.begin() + 3, s.end(), out.back().begin() + 3);
        else
            out.push_back(s);
    }
    return out;
}

std::vector<Span> Lie(G3Facet* f, double x1, double y1, double x2, double y2)
{
    const double p1[3] = {x1, y1, 0};
    const double p2[3] = {x2, y2, 0};
    G3IntervalList l;
    const bool found = f->FindIntervalsLieInFacet(p1, p2, &l);
    EXPECT_EQ(found, l.GetIntervalCount() > 0);
    EXPECT_EQ(0, l.GetPointList()->size());
    return Joined(Spans(l));
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

// The U shape: a notch from above between x = 2 and x = 4 down to y = 1.
G3Facet* UShape(MeshBuilder& b)
{
    return Planar(
        b.F({b.V(0, 0), b.V(6, 0), b.V(6, 3), b.V(4, 3), b.V(4, 1), b.V(2, 1), b.V(2, 3), b.V(0, 3)}));
}

// Square x0..x1 with a square hole h0..h1 in it, as two contours.
G3Facet* Frame(MeshBuilder& b, double x0, double x1, double h0, double h1)
{
    G3Facet* f = b.F({b.V(x0, x0), b.V(x1, x0), b.V(x1, x1), b.V(x0, x1)});
    b.AddContour(f, {b.V(h0, h0), b.V(h0, h1), b.V(h1, h1), b.V(h1, h0)});
    return Planar(f);
}

bool StrictlyInside(const G3Facet* f, const double* p)
{
    G3Vertex* a = nullptr;
    G3Vertex* bb = nullptr;
    return f->PointInFacetXY(p, &a, &bb) && !a && !bb;
}

} // namespace

TEST(FacetCutQueries, SegmentPiecesInConcaveFacet)
{
    MeshBuilder b;
    G3Facet* u = UShape(b);
    // Across both legs: the notch splits the segment.
    EXPECT_EQ(Lie(u, -1, 2, 7, 2), (std::vector<Span>{{0, 2, 0, 2, 2, 0}, {4, 2, 0, 6, 2, 0}}));
    // Ends inside the legs are kept as the segment's own ends; direction
    // does not matter.
    EXPECT_EQ(Lie(u, 5, 2, 1, 2), (std::vector<Span>{{1, 2, 0, 2, 2, 0}, {4, 2, 0, 5, 2, 0}}));
    // Along the notch's floor the boundary is part of the facet.
    EXPECT_EQ(Lie(u, -1, 1, 7, 1), (std::vector<Span>{{0, 1, 0, 6, 1, 0}}));
    // Wholly in the notch, wholly outside: nothing.
    EXPECT_TRUE(Lie(u, 2.5, 2, 3.5, 2).empty());
    EXPECT_TRUE(Lie(u, -1, 5, 7, 5).empty());
    // A slanted segment through the notch's corner (2, 1), grazing the
    // corner (4, 3): one piece up to the notch.
    EXPECT_EQ(Lie(u, 0, -1, 5, 4), (std::vector<Span>{{1, 0, 0, 2, 1, 0}}));
}

TEST(FacetCutQueries, SegmentAlongBoundary)
{
    MeshBuilder b;
    G3Facet* sq = Square(b, 0, 0, 4, 4);
    EXPECT_EQ(Lie(sq, 1, 0, 3, 0), (std::vector<Span>{{1, 0, 0, 3, 0, 0}}));
    EXPECT_EQ(Lie(sq, 6, 0, -2, 0), (std::vector<Span>{{0, 0, 0, 4, 0, 0}}));
    // Touching a corner only is no part.
    EXPECT_TRUE(Lie(sq, -1, 3, 1, 5).empty());
    // Diagonal through two corners.
    EXPECT_EQ(Lie(sq, -1, -1, 5, 5), (std::vector<Span>{{0, 0, 0, 4, 4, 0}}));
}

TEST(FacetCutQueries, SegmentInFacetWithHole)
{
    MeshBuilder b;
    G3Facet* f = Frame(b, 0, 4, 1, 3);
    // Through the hole: the hole is left out.
    EXPECT_EQ(Lie(f, 2, -1, 2, 5), (std::vector<Span>{{2, 0, 0, 2, 1, 0}, {2, 3, 0, 2, 4, 0}}));
    // Along the hole's edge: the edge belongs to the facet.
    EXPECT_EQ(Lie(f, 1, -1, 1, 5), (std::vector<Span>{{1, 0, 0, 1, 4, 0}}));
    // Wholly inside the hole.
    EXPECT_TRUE(Lie(f, 1.5, 2, 2.5, 2).empty());
}

TEST(FacetCutQueries, SegmentRefusals)
{
    MeshBuilder b;
    G3Facet* sq = Square(b, 0, 0, 4, 4);
    G3IntervalList l;
    l.AddPoint(std::vector<double>{1, 1, 1}.data());
    const double p[3] = {1, 1, 0};
    const double q[3] = {1 + 5e-7, 1, 0};
    // Too short in projection; the list is cleared all the same.
    EXPECT_FALSE(sq->FindIntervalsLieInFacet(p, q, &l));
    EXPECT_TRUE(l.IsEmpty());
    // Only the projection counts: a long segment along the dropped axis is
    // a point.
    const double r[3] = {1, 1, 10};
    EXPECT_FALSE(sq->FindIntervalsLieInFacet(p, r, &l));
    G3Facet* empty = b.F();
    const double s[3] = {3, 1, 0};
    EXPECT_FALSE(empty->FindIntervalsLieInFacet(p, s, &l));
    EXPECT_FALSE(sq->FindIntervalsLieInFacet(nullptr, s, &l));
    // Without a list the answer is still given.
    EXPECT_TRUE(sq->FindIntervalsLieInFacet(p, s, nullptr));
}

TEST(FacetCutQueries, VerticalFacetUsesItsProjection)
{
    MeshBuilder b;
    G3Facet* f = Planar(b.F({b.V(0, 0, 0), b.V(4, 0, 0), b.V(4, 0, 4), b.V(0, 0, 4)}));
    const double p1[3] = {1, 0, -1};
    const double p2[3] = {1, 0, 5};
    G3IntervalList l;
    ASSERT_TRUE(f->FindIntervalsLieInFacet(p1, p2, &l));
    EXPECT_EQ(Spans(l), (std::vector<Span>{{1, 0, 0, 1, 0, 4}}));
}

TEST(FacetCutQueries, OverlapOfCoplanarFacets)
{
    MeshBuilder b;
    G3Facet* s1 = Square(b, 0, 0, 4, 4);
    G3Facet* s2 = Square(b, 0, 0, 4, 4);
    G3IntervalList out;
    ASSERT_TRUE(s1->FindFacetsIntersection(s2, &out));
    // Every edge of each square is found in the other: each edge twice.
    const std::vector<Span> edges = {{0, 0, 0, 0, 4, 0}, {0, 0, 0, 4, 0, 0}, {0, 4, 0, 4, 4, 0},
                                      {4, 0, 0, 4, 4, 0}};
    std::vector<Span> twice;
    for (const Span& e : edges) {
        twice.push_back(e);
        twice.push_back(e);
    }
    EXPECT_EQ(Spans(out), twice);

    // Overlapping corners: two pieces from each side, ending at the
    // crossing points of the boundaries.
    G3Facet* s3 = Square(b, 2, 2, 6, 6);
    ASSERT_TRUE(s1->FindFacetsIntersection(s3, &out));
    EXPECT_EQ(Spans(out), (std::vector<Span>{{2, 2, 0, 2, 4, 0},
                                             {2, 2, 0, 4, 2, 0},
                                             {2, 4, 0, 4, 4, 0},
                                             {4, 2, 0, 4, 4, 0}}));

    // Apart: false, and the previous answer is gone.
    G3Facet* far = Square(b, 10, 10, 12, 12);
    EXPECT_FALSE(s1->FindFacetsIntersection(far, &out));
    EXPECT_TRUE(out.IsEmpty());

    // A small facet inside a large one: seen from the large one its edges
    // all lie inside; seen from the small one no edge of the large enters.
    G3Facet* small = Square(b, 1, 1, 2, 2);
    ASSERT_TRUE(s1->FindFacetsIntersection(small, &out));
    EXPECT_EQ(4, out.GetIntervalCount());
    EXPECT_FALSE(small->FindFacetsIntersection(s1, &out));
    EXPECT_FALSE(s1->FindFacetsIntersection(nullptr, &out));
}

TEST(FacetCutQueries, OverlapSkipsEdgesDoubledWithinFacet)
{
    // A slit: the chain runs along (2, 0)-(2, 2) and back, so that pair of
    // vertices has two edges within the facet and takes no part.
    MeshBuilder b;
    G3Vertex* v0 = b.V(0, 0);
    G3Vertex* v1 = b.V(2, 0);
    G3Vertex* v2 = b.V(2, 2);
    G3Vertex* v3 = b.V(4, 0);
    G3Vertex* v4 = b.V(4, 4);
    G3Vertex* v5 = b.V(0, 4);
    G3Facet* slit = b.F();
    b.Attach(slit, b.E(v0, v1));
    b.Attach(slit, b.E(v1, v2));
    b.Attach(slit, b.E(v2, v1));
    b.Attach(slit, b.E(v1, v3));
    b.Attach(slit, b.E(v3, v4));
    b.Attach(slit, b.E(v4, v5));
    b.Attach(slit, b.E(v5, v0));
    Planar(slit);
    G3Facet* sq = Square(b, 0, 0, 4, 4);
    G3IntervalList out;
    ASSERT_TRUE(sq->FindFacetsIntersection(slit, &out));
    for (const Span& s : Spans(out))
        EXPECT_FALSE(s[0] == 2 && s[3] == 2) << "slit edge reported";
}

TEST(FacetCutQueries, InnerPointOfLShape)
{
    MeshBuilder b;
    G3Facet* ell =
        Planar(b.F({b.V(0, 0), b.V(4, 0), b.V(4, 1), b.V(1, 1), b.V(1, 4), b.V(0, 4)}));
    double p[3] = {-9, -9, -9};
    ASSERT_TRUE(ell->GeneratePointInFacetConcave(0, 1, p));
    // The last triple's centroid (4/3, 4/3) lies outside the L; the next
    // one down is inside.
    EXPECT_DOUBLE_EQ(1.0 / 3.0, p[0]);
    EXPECT_DOUBLE_EQ(8.0 / 3.0, p[1]);
    EXPECT_TRUE(StrictlyInside(ell, p));

    // The same polygon as loose points gives the same point.
    GArrayCollection pts;
    std::vector<G3Point> store = {G3Point(0, 0, 0), G3Point(4, 0, 0), G3Point(4, 1, 0),
                                  G3Point(1, 1, 0), G3Point(1, 4, 0), G3Point(0, 4, 0)};
    for (G3Point& q : store)
        pts.add(&q);
    double r[3] = {0, 0, 0};
    ASSERT_TRUE(G3Facet::GeneratePointInFacetConcave(0, 1, r, &pts));
    EXPECT_DOUBLE_EQ(p[0], r[0]);
    EXPECT_DOUBLE_EQ(p[1], r[1]);

    // Too few points, bad axes, an empty facet: false, p untouched.
    GArrayCollection two;
    two.add(&store[0]);
    two.add(&store[1]);
    EXPECT_FALSE(G3Facet::GeneratePointInFacetConcave(0, 1, r, &two));
    EXPECT_FALSE(G3Facet::GeneratePointInFacetConcave(0, 1, r, nullptr));
    EXPECT_FALSE(ell->GeneratePointInFacetConcave(0, 3, r));
    double keep[3] = {7, 7, 7};
    EXPECT_FALSE(b.F()->GeneratePointInFacetConcave(0, 1, keep));
    EXPECT_EQ(7, keep[0]);
}

TEST(FacetCutQueries, InnerPointAvoidsHoles)
{
    // Every corner triple's centroid of these frames falls in the hole, so
    // the point comes from the scan line; it must lie in the frame.
    MeshBuilder b;
    for (double h : {1.0, 0.1}) {
        G3Facet* f = Frame(b, 0, 4, h, 4 - h);
        double p[3] = {0, 0, 0};
        ASSERT_TRUE(f->GeneratePointInFacetConcave(0, 1, p)) << h;
        EXPECT_TRUE(StrictlyInside(f, p)) << p[0] << " " << p[1];
        EXPECT_FALSE(p[0] > h && p[0] < 4 - h && p[1] > h && p[1] < 4 - h);
    }

    // A tilted frame (z = x / 2): the point lies on the plane.
    G3Facet* t = b.F({b.V(0, 0, 0), b.V(4, 0, 2), b.V(4, 4, 2), b.V(0, 4, 0)});
    b.AddContour(t, {b.V(1, 1, 0.5), b.V(1, 3, 0.5), b.V(3, 3, 1.5), b.V(3, 1, 1.5)});
    Planar(t);
    double p[3] = {0, 0, 0};
    ASSERT_TRUE(t->GeneratePointInFacetConcave(0, 1, p));
    EXPECT_TRUE(StrictlyInside(t, p));
    EXPECT_NEAR(p[0] / 2, p[2], 1e-12);
}

TEST(FacetCutQueries, InnerPointPerContour)
{
    // A hole near the outer contour's last corner: as one joined polygon the
    // triple that spans the two contours would be taken; per contour the
    // answer is a centroid of the outer contour's own corners.
    MeshBuilder b;
    G3Facet* f = b.F({b.V(0, 0), b.V(8, 0), b.V(8, 8), b.V(0, 8)});
    b.AddContour(f, {b.V(5, 5), b.V(5, 7), b.V(7, 7), b.V(7, 5)});
    Planar(f);
    double p[3] = {0, 0, 0};
    ASSERT_TRUE(f->GeneratePointInFacetConcave(0, 1, p));
    EXPECT_TRUE(StrictlyInside(f, p));
    // Hole triples come last and their centroids lie in the hole; the outer
    // triple starting at (0, 8) gives (8/3, 8/3).
    EXPECT_DOUBLE_EQ(8.0 / 3.0, p[0]);
    EXPECT_DOUBLE_EQ(8.0 / 3.0, p[1]);
}
