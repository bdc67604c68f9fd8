// Facets whose chains hold several contours that touch at vertices: a hole
// sharing a vertex with its outer contour, a hole whose first edge is split,
// and an edge soup whose contours touch after their crossings are split.
// Every walk over such a chain (vertices, point in facet, plane cut,
// triangulation, splitting, resolution) must see the same contours.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/boolean/G3Interval.h"
#include "Geometry/boolean/G3IntervalList.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "tests/common/builders.h"
#include "tests/mesh/mesh_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using testmesh::Corners;
using testmesh::TrianglesArea;

struct UV {
    double u, v;
};

// A coordinate plane for plane points (u, v): the xy plane, or one of the
// two upright planes, so that every projection pair is exercised.
struct Frame {
    const char* name;
    int iu; // the coordinate that u goes to
    int iv; // the coordinate that v goes to
    void Map(UV p, double* out) const
    {
        out[0] = out[1] = out[2] = 0.0;
        out[iu] = p.u;
        out[iv] = p.v;
    }
};

const Frame kFrames[] = {{"xy", 0, 1}, {"xz", 0, 2}, {"yz", 1, 2}};

G3Vertex* Add(G3Surface& s, const Frame& fr, UV p)
{
    double xyz[3];
    fr.Map(p, xyz);
    return s.AddVertex(xyz, 0);
}

// Appends the closed contour through vs to f with AddFacetEdges.
void AppendContour(G3Surface& s, G3Facet* f, std::vector<G3Vertex*> vs)
{
    G3EdgeList list(static_cast<int>(vs.size()), vs.data(), nullptr, nullptr, nullptr, 0, 0);
    s.AddFacetEdges(f, &list);
}

std::vector<G3Vertex*> Rotated(std::vector<G3Vertex*> vs, int r)
{
    std::rotate(vs.begin(), vs.begin() + r, vs.end());
    return vs;
}

bool Inside(G3Facet* f, const Frame& fr, UV p)
{
    double xyz[3];
    fr.Map(p, xyz);
    int i = 0, j = 1;
    f->GetMaxCoo(&i, &j);
    return f->PointInFacet(i, j, xyz, nullptr, nullptr, 1e-6);
}

// The spans (in plane coordinate `along`) where the plane "coordinate
// `across` = level" cuts f.
std::vector<std::pair<double, double>> Cut(G3Facet* f, const Frame& fr, bool acrossV, double level)
{
    const int across = acrossV ? fr.iv : fr.iu;
    const int along = acrossV ? fr.iu : fr.iv;
    double plane[4] = {0.0, 0.0, 0.0, -level};
    plane[across] = 1.0;
    G3IntervalList l;
    f->IntersectByPlaneConcave(plane, &l);
    l.BuildIntervals();
    std::vector<std::pair<double, double>> out;
    for (int k = 0; k < l.GetIntervalCount(); ++k) {
        double a = l.GetInterval(k)->GetXYZ1(along);
        double b = l.GetInterval(k)->GetXYZ2(along);
        out.push_back({std::min(a, b), std::max(a, b)});
    }
    std::sort(out.begin(), out.end());
    return out;
}

using Spans = std::vector<std::pair<double, double>>;

} // namespace

// A 10 x 10 square with a triangular hole that shares the square's corner
// (0, 10), the square listed from each corner and the hole from each of its
// three corners.
TEST(ContourRuleTest, HoleTouchingTheOuterContourAtAVertex)
{
    for (const Frame& fr : kFrames) {
        for (int ro = 0; ro < 4; ++ro) {
            for (int r = 0; r < 3; ++r) {
                SCOPED_TRACE(std::string(fr.name) + " rotations " + std::to_string(ro) + " " + std::to_string(r));
                G3Surface s;
                std::vector<G3Vertex*> square = {Add(s, fr, {0, 0}), Add(s, fr, {10, 0}), Add(s, fr, {10, 10}),
                                                 Add(s, fr, {0, 10})};
                std::vector<G3Vertex*> outer = Rotated(square, ro);
                G3Facet* f = s.AddFacet(4, outer.data(), 1, nullptr, nullptr);
                ASSERT_NE(f, nullptr);
                const std::vector<G3Vertex*> hole =
                    Rotated({Add(s, fr, {1, 6}), square[3], Add(s, fr, {3, 7})}, r);
                AppendContour(s, f, hole);
                ASSERT_EQ(MeshCheck(&s), "");

                std::vector<G3Vertex*> expected = outer;
                expected.insert(expected.end(), hole.begin(), hole.end());
                EXPECT_EQ(Corners(f), expected);
                // Every edge was added in the direction its contour runs.
                for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f))
                    EXPECT_TRUE(f->GetMoveDirection(e)) << e->GetId();

                EXPECT_TRUE(Inside(f, fr, {0.2, 5}));
                EXPECT_TRUE(Inside(f, fr, {5, 5}));
                EXPECT_FALSE(Inside(f, fr, {4.0 / 3.0, 23.0 / 3.0})); // the hole's centroid
                EXPECT_FALSE(Inside(f, fr, {-1, 5}));
                // Level 6.5 passes through the hole between u = 0.875 and u = 2.
                EXPECT_EQ(Cut(f, fr, true, 6.5), (Spans{{0, 0.875}, {2, 10}}));

                EXPECT_TRUE(s.Triangulate(4, 0));
                EXPECT_EQ(MeshCheck(&s), "");
                EXPECT_NEAR(TrianglesArea(s), 95.5, 1e-9);
            }
        }
    }
}

// A 4 x 4 square with a square hole; the hole's first edge (for each
// rotation of its vertex list) is split at its midpoint.
TEST(ContourRuleTest, SplittingAHolesFirstEdgeKeepsTheHoleClosed)
{
    for (const Frame& fr : kFrames) {
        for (int r = 0; r < 4; ++r) {
            SCOPED_TRACE(std::string(fr.name) + " rotation " + std::to_string(r));
            G3Surface s;
            std::vector<G3Vertex*> outer = {Add(s, fr, {0, 0}), Add(s, fr, {4, 0}), Add(s, fr, {4, 4}),
                                            Add(s, fr, {0, 4})};
            G3Facet* f = s.AddFacet(4, outer.data(), 1, nullptr, nullptr);
            ASSERT_NE(f, nullptr);
            const UV corners[4] = {{1, 1}, {1, 3}, {3, 3}, {3, 1}};
            std::vector<G3Vertex*> hole;
            for (UV c : corners)
                hole.push_back(Add(s, fr, c));
            hole = Rotated(hole, r);
            AppendContour(s, f, hole);
            ASSERT_EQ(MeshCheck(&s), "");

            G3Edge* first = nullptr;
            for (G3Edge* e = f->GetFirstEdge(); e && !first; e = e->GetFacetEdge(f))
                if (e->HasVertex(hole[0]) && e->HasVertex(hole[1]))
                    first = e;
            ASSERT_NE(first, nullptr);
            double mid[3];
            G3Edge::CalcCentrePoint(hole[0], hole[1], mid);
            G3Vertex* m = s.AddVertex(mid, 0);
            ASSERT_TRUE(s.SplitEdge(first, m));
            ASSERT_EQ(MeshCheck(&s), "");

            std::vector<G3Vertex*> expected = outer;
            expected.insert(expected.end(), {hole[0], m, hole[1], hole[2], hole[3]});
            EXPECT_EQ(Corners(f), expected);
            EXPECT_EQ(Cut(f, fr, true, 2), (Spans{{0, 1}, {3, 4}}));
            EXPECT_EQ(Cut(f, fr, false, 2), (Spans{{0, 1}, {3, 4}}));
            EXPECT_FALSE(Inside(f, fr, {2, 2}));
            EXPECT_TRUE(Inside(f, fr, {0.5, 2}));

            EXPECT_TRUE(s.Triangulate(4, 0));
            EXPECT_EQ(MeshCheck(&s), "");
            EXPECT_NEAR(TrianglesArea(s), 12.0, 1e-9);
        }
    }
}

namespace {

// Even-odd membership of p in the union of closed contours (each a list).
bool EvenOdd(const std::vector<std::vector<UV>>& contours, UV p)
{
    bool in = false;
    for (const std::vector<UV>& c : contours)
        for (size_t k = 0; k < c.size(); ++k) {
            const UV a = c[k];
            const UV b = c[(k + 1) % c.size()];
            if ((a.v > p.v) != (b.v > p.v) && p.u < a.u + (p.v - a.v) * (b.u - a.u) / (b.v - a.v))
                in = !in;
        }
    return in;
}

// The contours of a resolved list, each walked head to tail; empty when a
// contour does not close.
std::vector<std::vector<UV>> ClosedContours(G3EdgeList* l)
{
    std::vector<std::vector<UV>> out;
    std::vector<UV> ring;
    G3Vertex* start = nullptr;
    for (int k = 0; k < l->size(); ++k) {
        const G3Edge* e = l->GetEdge(k);
        if (!start)
            start = e->GetVertex1();
        else if (e->GetVertex1() != l->GetEdge(k - 1)->GetVertex2())
            return {};
        ring.push_back({e->GetVertex1()->GetX(), e->GetVertex1()->GetY()});
        if (e->GetVertex2() == start) {
            out.push_back(ring);
            ring.clear();
            start = nullptr;
        }
    }
    if (start)
        return {};
    return out;
}

} // namespace

// Three squares in one edge list, combined by sides without linking: after
// the crossings are split, the last edge of the second square and the first
// of the third share a vertex, yet they belong to different source contours.
TEST(ContourRuleTest, EdgeSoupCombinedBySidesGivesClosedContours)
{
    const std::vector<std::vector<UV>> squares = {
        {{0, 0}, {3, 0}, {3, 4}, {0, 4}}, {{1, 0}, {4, 0}, {4, 1}, {1, 1}}, {{0, 1}, {2, 1}, {2, 3}, {0, 3}}};
    const double up[4] = {0.0, 0.0, 1.0, 0.0};
    std::vector<int> edgeCounts;
    for (const std::vector<int>& order : {std::vector<int>{0, 1, 2}, std::vector<int>{0, 2, 1}}) {
        SCOPED_TRACE(order[1]);
        G3Surface s;
        G3EdgeList soup(0, 0);
        soup.SetPlane(up);
        std::vector<std::vector<UV>> source;
        for (int k : order) {
            std::vector<G3Vertex*> vs;
            for (UV p : squares[k])
                vs.push_back(s.AddVertex(p.u, p.v, 0.0, 0));
            G3EdgeList square(4, vs.data(), nullptr, nullptr, nullptr, 0, 0);
            soup.AddEdges(&square, nullptr);
            source.push_back(squares[k]);
        }
        soup.FormMaxPlaneCoo();
        GArrayCollection out;
        soup.RemoveSelfIntersections(&out, &s, false, UNION_EDGE_BY_SIDES, 0);
        std::vector<std::vector<UV>> result;
        int edges = 0;
        for (int k = 0; k < out.size(); ++k) {
            G3EdgeList* l = static_cast<G3EdgeList*>(out.get(k));
            const std::vector<std::vector<UV>> rings = ClosedContours(l);
            EXPECT_EQ(rings.size(), 1u) << "list " << k;
            result.insert(result.end(), rings.begin(), rings.end());
            edges += l->size();
        }
        edgeCounts.push_back(edges);
        // The region is what the squares cover an odd number of times.
        for (double u = 0.125; u < 4.5; u += 0.25)
            for (double v = 0.125; v < 4.5; v += 0.25)
                EXPECT_EQ(EvenOdd(result, {u, v}), EvenOdd(source, {u, v})) << u << " " << v;
        out.clear(true);
    }
    EXPECT_EQ(edgeCounts[0], edgeCounts[1]);
}
