// Random facets with holes that touch the outer contour and each other at
// vertices, built contour by contour with AddFacetEdges (no resolution
// pass), in the coordinate planes, tilted and far from the origin. Every
// walk over such a chain (vertices, point in facet, plane cut, splitting,
// triangulation) must see the same contours. Checked against what the
// generator knows: the contours in chain order, an even-odd count, the
// crossings of a line, and the exact area of the polygon with holes.
//
// The outer contour is a rectangle of 2 x 2 cells with a vertex at every
// cell side's midpoint (and at some other lattice points, collinear ones).
// A cell may hold a hole through its sides' midpoints (a diamond, a
// triangle, or a diamond with a collinear extra corner), so holes in
// neighbouring cells share a midpoint and holes in border cells share one
// with the outer contour.

#include "Geometry/boolean/G3Interval.h"
#include "Geometry/boolean/G3IntervalList.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "tests/common/builders.h"
#include "tests/mesh/mesh_check.h"
#include "tests/processing/plane_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace planelayout;
using testmesh::Corners;

void RotateRandomly(Ring& r, Rng& rng)
{
    std::rotate(r.begin(), r.begin() + rng.Below(static_cast<int>(r.size())), r.end());
}

// A hole in the cell with lower left corner (x, y), or nothing.
Ring CellHole(double x, double y, Rng& rng)
{
    const Ring diamond = {{x + 1, y}, {x + 2, y + 1}, {x + 1, y + 2}, {x, y + 1}};
    Ring hole = diamond;
    const int kind = rng.Below(6);
    if (kind == 5)
        return {};
    const int side = rng.Below(4);
    if (kind == 2 || kind == 3) {
        hole.erase(hole.begin() + side);
    } else if (kind == 4) {
        const P2 a = diamond[static_cast<size_t>(side)];
        const P2 b = diamond[static_cast<size_t>((side + 1) % 4)];
        hole.insert(hole.begin() + side + 1, P2{0.5 * (a[0] + b[0]), 0.5 * (a[1] + b[1])});
    }
    if (rng.Below(2))
        std::reverse(hole.begin(), hole.end());
    RotateRandomly(hole, rng);
    return hole;
}

// The contours in chain order, the outer one first, holes shuffled.
std::vector<Ring> RandomContours(Rng& rng)
{
    const int nx = 1 + rng.Below(4);
    const int ny = 1 + rng.Below(3);
    // Counter-clockwise around the rectangle through its lattice points:
    // corners and midpoints always, the others now and then.
    Ring outer;
    auto side = [&](P2 from, double du, double dv, int steps) {
        for (int k = 0; k < steps; ++k)
            if (k == 0 || k % 2 == 1 || rng.Below(3) == 0)
                outer.push_back({from[0] + du * k, from[1] + dv * k});
    };
    side({0, 0}, 1, 0, 2 * nx);
    side({2.0 * nx, 0}, 0, 1, 2 * ny);
    side({2.0 * nx, 2.0 * ny}, -1, 0, 2 * nx);
    side({0, 2.0 * ny}, 0, -1, 2 * ny);
    RotateRandomly(outer, rng);
    std::vector<Ring> holes;
    for (int a = 0; a < nx; ++a)
        for (int b = 0; b < ny; ++b) {
            Ring h = CellHole(2.0 * a, 2.0 * b, rng);
            if (!h.empty())
                holes.push_back(h);
        }
    for (int k = static_cast<int>(holes.size()) - 1; k > 0; --k)
        std::swap(holes[static_cast<size_t>(k)], holes[static_cast<size_t>(rng.Below(k + 1))]);
    holes.insert(holes.begin(), outer);
    return holes;
}

// Whether a contour touches the start of the contour before it with its
// second corner: a walk that goes on past a contour's start when the next
// edge touches that vertex reads such a contour backwards.
bool TouchesPreviousStart(const std::vector<std::vector<G3Vertex*>>& contours)
{
    G3Vertex* closesAt = nullptr;
    for (const std::vector<G3Vertex*>& c : contours) {
        if (c[0] == closesAt)
            continue; // the check walks on into it and closes there again
        if (c[1] == closesAt)
            return true;
        closesAt = c[0];
    }
    return false;
}

std::vector<G3Vertex*> Concatenated(const std::vector<std::vector<G3Vertex*>>& contours)
{
    std::vector<G3Vertex*> all;
    for (const std::vector<G3Vertex*>& c : contours)
        all.insert(all.end(), c.begin(), c.end());
    return all;
}

// The spans where the line y = level crosses the rings (even-odd), and
// where the plane through it, upright to the frame, cuts f.
std::pair<std::vector<double>, std::vector<double>> Cut(G3Facet* f, const Frame& fr,
                                                        const std::vector<Ring>& rings, double level)
{
    std::vector<double> expected, found;
    for (const Ring& r : rings)
        for (size_t k = 0; k < r.size(); ++k) {
            const P2 a = r[k], b = r[(k + 1) % r.size()];
            if ((a[1] < level) != (b[1] < level))
                expected.push_back(a[0] + (level - a[1]) / (b[1] - a[1]) * (b[0] - a[0]));
        }
    std::sort(expected.begin(), expected.end());
    const double plane[4] = {fr.v[0], fr.v[1], fr.v[2],
                             -(fr.v[0] * fr.o[0] + fr.v[1] * fr.o[1] + fr.v[2] * fr.o[2] + level)};
    G3IntervalList l;
    f->IntersectByPlaneConcave(plane, &l);
    l.BuildIntervals();
    for (int k = 0; k < l.GetIntervalCount(); ++k) {
        found.push_back(fr.Back(l.GetInterval(k)->GetXYZ1())[0]);
        found.push_back(fr.Back(l.GetInterval(k)->GetXYZ2())[0]);
    }
    for (size_t k = 0; k + 1 < found.size(); k += 2)
        if (found[k] > found[k + 1])
            std::swap(found[k], found[k + 1]);
    std::sort(found.begin(), found.end());
    return {expected, found};
}

// Splits a random edge of f at a quarter point and records the new vertex
// in its contour.
void SplitRandomEdge(G3Surface& s, G3Facet* f, std::vector<std::vector<G3Vertex*>>& contours, Rng& rng)
{
    std::vector<G3Edge*> chain;
    for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f))
        chain.push_back(e);
    G3Edge* e = chain[static_cast<size_t>(rng.Below(static_cast<int>(chain.size())))];
    const double t = 0.25 * (1 + rng.Below(3));
    const double* a = e->GetVertex1()->GetXYZ();
    const double* b = e->GetVertex2()->GetXYZ();
    const double p[3] = {a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]), a[2] + t * (b[2] - a[2])};
    G3Vertex* m = s.AddVertex(p, 0);
    G3Vertex* ends[2] = {e->GetVertex1(), e->GetVertex2()};
    ASSERT_TRUE(s.SplitEdge(e, m)); // e is gone
    for (std::vector<G3Vertex*>& c : contours)
        for (size_t k = 0; k < c.size(); ++k) {
            G3Vertex* from = c[k];
            G3Vertex* to = c[(k + 1) % c.size()];
            if ((from == ends[0] && to == ends[1]) || (from == ends[1] && to == ends[0])) {
                c.insert(c.begin() + static_cast<long>(k) + 1, m);
                return;
            }
        }
    ADD_FAILURE() << "split edge not found in any contour";
}

} // namespace

TEST(ContourRuleRandomTest, TouchingHolesAreReadContourByContour)
{
    int touchingStarts = 0;
    int withHoles = 0;
    for (std::uint32_t seed = 1; seed <= 240; ++seed) {
        Rng rng(seed);
        const std::vector<Ring> rings = RandomContours(rng);
        const Frame& fr = kFrames[rng.Below(5)];
        SCOPED_TRACE("seed " + std::to_string(seed) + " in " + fr.name);
        G3Surface s;
        std::vector<std::vector<G3Vertex*>> contours = Place(s, fr, rings, true);
        G3Facet* f =
            s.AddFacet(static_cast<int>(contours[0].size()), contours[0].data(), 1, nullptr, nullptr);
        ASSERT_NE(f, nullptr);
        for (size_t k = 1; k < contours.size(); ++k) {
            G3EdgeList list(static_cast<int>(contours[k].size()), contours[k].data(), nullptr, nullptr,
                            nullptr, 0, 0);
            s.AddFacetEdges(f, &list);
        }
        withHoles += contours.size() > 1;
        touchingStarts += TouchesPreviousStart(contours);
        ASSERT_EQ(MeshCheck(&s), "");
        EXPECT_EQ(Corners(f), Concatenated(contours));
        ExpectFacetsMatchEvenOdd(s, fr, rings, Probes(rng, rings, 40));

        const int splits = 1 + rng.Below(4);
        for (int k = 0; k < splits; ++k) {
            SplitRandomEdge(s, f, contours, rng);
            ASSERT_EQ(MeshCheck(&s), "");
            ASSERT_EQ(Corners(f), Concatenated(contours));
        }
        ExpectFacetsMatchEvenOdd(s, fr, rings, Probes(rng, rings, 40));
        // Lattice points lie on multiples of 0.5: the line misses them all.
        double height = 0.0;
        for (const P2& p : rings[0])
            height = std::max(height, p[1]);
        const auto cut = Cut(f, fr, rings, 0.125 + 0.25 * rng.Below(static_cast<int>(4 * height)));
        ASSERT_EQ(cut.first.size(), cut.second.size());
        for (size_t k = 0; k < cut.first.size(); ++k)
            EXPECT_NEAR(cut.first[k], cut.second[k], 1e-6);

        double area = 0.0;
        for (size_t k = 0; k < rings.size(); ++k)
            area += (k ? -1.0 : 1.0) * std::fabs(ShoelaceArea(rings[k]));
        EXPECT_TRUE(s.Triangulate(4, 0));
        EXPECT_EQ(MeshCheck(&s), "");
        EXPECT_NEAR(testmesh::TrianglesArea(s), area, 1e-7 * (1.0 + area));
    }
    // The generator reaches the cases it is meant for.
    EXPECT_GT(withHoles, 180);
    EXPECT_GT(touchingStarts, 5);
}
