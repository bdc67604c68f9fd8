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
            d = std::round(d * 1e6) / 1e6;
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
    for (const Span& e : Spans{{0, 0, 0, 0, 4, 0}, {0, 0, 0, 4, 0, 0}, {0, 4, 0, 4, 4, 0}, {4, 0, 0, 4, 4, 0}})
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

TEST(FacetCutQueries, InnerPointOfConcaveFacetsAndFacetsWithHoles)
{
    MeshBuilder b;
    G3Facet* ell = Planar(b.F({b.V(0, 0), b.V(4, 0), b.V(4, 1), b.V(1, 1), b.V(1, 4), b.V(0, 4)}));
    double p[3] = {-9, -9, -9};
    ASSERT_TRUE(ell->GeneratePointInFacetConcave(0, 1, p));
    // The last triple's centroid (4/3, 4/3) lies outside the L; the next is
    // inside.
    EXPECT_EQ((std::vector<double>{1.0 / 3.0, 8.0 / 3.0, 0}), std::vector<double>(p, p + 3));
    EXPECT_TRUE(StrictlyInside(ell, p));

    // The same polygon as loose points gives the same point.
    std::vector<G3Point> store = {G3Point(0, 0, 0), G3Point(4, 0, 0), G3Point(4, 1, 0),
                                  G3Point(1, 1, 0), G3Point(1, 4, 0), G3Point(0, 4, 0)};
    GArrayCollection pts, two;
    for (G3Point& q : store)
        pts.add(&q);
    double r[3] = {0, 0, 0};
    ASSERT_TRUE(G3Facet::GeneratePointInFacetConcave(0, 1, r, &pts));
    EXPECT_EQ(std::vector<double>(p, p + 3), std::vector<double>(r, r + 3));

    two.add(&store[0]);
    two.add(&store[1]);
    EXPECT_FALSE(G3Facet::GeneratePointInFacetConcave(0, 1, r, &two));
    EXPECT_FALSE(G3Facet::GeneratePointInFacetConcave(0, 1, r, nullptr));
    EXPECT_FALSE(ell->GeneratePointInFacetConcave(0, 3, r));
    EXPECT_FALSE(b.F()->GeneratePointInFacetConcave(0, 1, r));

    // Coordinates that are not numbers are survived, not trusted.
    store[2] = G3Point(NAN, 1, 0);
    G3Facet::GeneratePointInFacetConcave(0, 1, r, &pts);
    const double q1[3] = {0, 0, 0}, q2[3] = {NAN, 0, 0};
    EXPECT_FALSE(ell->FindIntervalsLieInFacet(q1, q2, nullptr));

    // Contours taken one at a time: the outer triple at (0, 8) gives
    // (8/3, 8/3); the hole's own triples fall in the hole.
    G3Facet* f = b.F({b.V(0, 0), b.V(8, 0), b.V(8, 8), b.V(0, 8)});
    b.AddContour(f, {b.V(5, 5), b.V(5, 7), b.V(7, 7), b.V(7, 5)});
    ASSERT_TRUE(Planar(f)->GeneratePointInFacetConcave(0, 1, p));
    EXPECT_EQ((std::vector<double>{8.0 / 3.0, 8.0 / 3.0, 0}), std::vector<double>(p, p + 3));

    // Frames whose every corner centroid lies in the hole: the point must
    // still be found, in the frame.
    for (double h : {1.0, 0.1}) {
        G3Facet* frame = Frame(b, 4, h);
        ASSERT_TRUE(frame->GeneratePointInFacetConcave(0, 1, p)) << h;
        EXPECT_TRUE(StrictlyInside(frame, p)) << p[0] << " " << p[1];
    }
    // Tilted (z = x / 2): the point lies on the plane.
    G3Facet* t = b.F({b.V(0, 0, 0), b.V(4, 0, 2), b.V(4, 4, 2), b.V(0, 4, 0)});
    b.AddContour(t, {b.V(1, 1, 0.5), b.V(1, 3, 0.5), b.V(3, 3, 1.5), b.V(3, 1, 1.5)});
    ASSERT_TRUE(Planar(t)->GeneratePointInFacetConcave(0, 1, p));
    EXPECT_TRUE(StrictlyInside(t, p));
    EXPECT_NEAR(p[0] / 2, p[2], 1e-12);
}
