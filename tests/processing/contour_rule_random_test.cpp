// Random facets with holes that touch the outer contour and each other at
// vertices, built contour by contour with AddFacetEdges (no resolution
// pass), flat, in tilted planes and far from the origin. Checked against
// what the generator knows: the contours in chain order, the exact area of
// the polygon with holes, and an even-odd count in plane coordinates.
//
// The outer contour is a rectangle of 2 x 2 cells with a vertex at every
// cell side's midpoint (and at some other lattice points, collinear ones).
// A cell may hold a hole through its sides' midpoints (a diamond, a
// triangle, or a diamond with a collinear extra corner), so holes in
// neighbouring cells share a midpoint and holes in border cells share one
// with the outer contour.

#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "tests/common/builders.h"
#include "tests/common/plane2d.h"
#include "tests/mesh/mesh_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using testmesh::Corners;
using testmesh::TrianglesArea;

// Draws from mt19937's raw output only: its sequence is fixed by the
// standard, the distributions are not.
class Rng {
public:
    explicit Rng(std::uint32_t seed) : gen(seed) {}
    int Below(int n) { return static_cast<int>(gen() % static_cast<std::uint32_t>(n)); }
    double Unit() { return gen() / 4294967296.0; }

private:
    std::mt19937 gen;
};

using UV = plane2d::P2;
using plane2d::DistanceToSegment;

// Plane coordinates to space: origin + s*u*U + s*v*V with U, V orthonormal.
struct Placement {
    double origin[3];
    double U[3];
    double V[3];
    double scale;
    void Map(UV p, double* out) const
    {
        for (int k = 0; k < 3; ++k)
            out[k] = origin[k] + scale * (p[0] * U[k] + p[1] * V[k]);
    }
};

Placement RandomPlacement(Rng& rng)
{
    static const double axes[][2][3] = {
        {{1, 0, 0}, {0, 1, 0}},     {{1, 0, 0}, {0, 0, 1}},     {{0, 1, 0}, {0, 0, 1}},
        {{0.6, 0, 0.8}, {0, 1, 0}}, {{0, 0.8, 0.6}, {1, 0, 0}}, {{0.6, 0.8, 0}, {0, 0, 1}},
    };
    static const double origins[][3] = {{0, 0, 0}, {-3.5, 2.25, 1}, {1.0e5, -2.0e5, 3.0e4}, {-7.0e5, 4.0e5, -6.0e5}};
    Placement p;
    const int a = rng.Below(6);
    const int o = rng.Below(4);
    for (int k = 0; k < 3; ++k) {
        p.U[k] = axes[a][0][k];
        p.V[k] = axes[a][1][k];
        p.origin[k] = origins[o][k];
    }
    p.scale = rng.Below(2) ? 1.0 : 2.5;
    return p;
}

// A generated facet: its contours in chain order (the outer one first) as
// plane points and as the surface's vertices.
struct Case {
    std::vector<std::vector<UV>> contours;
    double area = 0.0; // in plane units
    double width = 0.0;
    double height = 0.0;
};

template <class T>
void Shuffle(std::vector<T>& items, Rng& rng)
{
    for (int k = static_cast<int>(items.size()) - 1; k > 0; --k)
        std::swap(items[static_cast<size_t>(k)], items[static_cast<size_t>(rng.Below(k + 1))]);
}

template <class T>
void RotateRandomly(std::vector<T>& items, Rng& rng)
{
    std::rotate(items.begin(), items.begin() + rng.Below(static_cast<int>(items.size())), items.end());
}

// A hole in the cell with lower left corner (x, y), or nothing.
std::vector<UV> CellHole(double x, double y, Rng& rng)
{
    const std::vector<UV> diamond = {{x + 1, y}, {x + 2, y + 1}, {x + 1, y + 2}, {x, y + 1}};
    std::vector<UV> hole;
    switch (rng.Below(6)) {
    case 0:
    case 1:
        hole = diamond;
        break;
    case 2:
    case 3: {
        hole = diamond;
        hole.erase(hole.begin() + rng.Below(4));
        break;
    }
    case 4: {
        hole = diamond;
        const int side = rng.Below(4);
        const UV a = diamond[static_cast<size_t>(side)];
        const UV b = diamond[static_cast<size_t>((side + 1) % 4)];
        hole.insert(hole.begin() + side + 1, UV{0.5 * (a[0] + b[0]), 0.5 * (a[1] + b[1])});
        break;
    }
    default:
        return {};
    }
    if (rng.Below(2))
        std::reverse(hole.begin(), hole.end());
    RotateRandomly(hole, rng);
    return hole;
}

Case RandomCase(Rng& rng)
{
    Case c;
    const int nx = 1 + rng.Below(4);
    const int ny = 1 + rng.Below(3);
    c.width = 2.0 * nx;
    c.height = 2.0 * ny;
    // Counter-clockwise around the rectangle through its lattice points:
    // corners and midpoints always, the others now and then.
    std::vector<UV> outer;
    auto side = [&](UV from, double du, double dv, int steps) {
        for (int k = 0; k < steps; ++k) {
            const UV p = {from[0] + du * k, from[1] + dv * k};
            if (k == 0 || k % 2 == 1 || rng.Below(3) == 0)
                outer.push_back(p);
        }
    };
    side({0, 0}, 1, 0, 2 * nx);
    side({c.width, 0}, 0, 1, 2 * ny);
    side({c.width, c.height}, -1, 0, 2 * nx);
    side({0, c.height}, 0, -1, 2 * ny);
    RotateRandomly(outer, rng);
    c.area = plane2d::ShoelaceArea(outer);

    std::vector<std::vector<UV>> holes;
    for (int a = 0; a < nx; ++a)
        for (int b = 0; b < ny; ++b) {
            std::vector<UV> h = CellHole(2.0 * a, 2.0 * b, rng);
            if (!h.empty()) {
                c.area -= std::fabs(plane2d::ShoelaceArea(h));
                holes.push_back(h);
            }
        }
    Shuffle(holes, rng);
    c.contours.push_back(outer);
    c.contours.insert(c.contours.end(), holes.begin(), holes.end());
    return c;
}

bool NearBoundary(const std::vector<std::vector<UV>>& contours, UV p, double margin)
{
    for (const std::vector<UV>& c : contours)
        for (size_t k = 0; k < c.size(); ++k)
            if (DistanceToSegment(p, c[k], c[(k + 1) % c.size()]) < margin)
                return true;
    return false;
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

// Builds the case's facet in s; vertices at the same plane point are one
// vertex.
G3Facet* Build(G3Surface& s, const Case& c, const Placement& pl, std::vector<std::vector<G3Vertex*>>& contours)
{
    std::map<UV, G3Vertex*> at;
    contours.clear();
    for (const std::vector<UV>& ring : c.contours) {
        std::vector<G3Vertex*> vs;
        for (UV p : ring) {
            G3Vertex*& v = at[p];
            if (!v) {
                double xyz[3];
                pl.Map(p, xyz);
                v = s.AddVertex(xyz, 0);
            }
            vs.push_back(v);
        }
        contours.push_back(vs);
    }
    G3Facet* f = s.AddFacet(static_cast<int>(contours[0].size()), contours[0].data(), 1, nullptr, nullptr);
    for (size_t k = 1; f && k < contours.size(); ++k) {
        G3EdgeList list(static_cast<int>(contours[k].size()), contours[k].data(), nullptr, nullptr, nullptr, 0, 0);
        s.AddFacetEdges(f, &list);
    }
    return f;
}

std::vector<G3Vertex*> Concatenated(const std::vector<std::vector<G3Vertex*>>& contours)
{
    std::vector<G3Vertex*> all;
    for (const std::vector<G3Vertex*>& c : contours)
        all.insert(all.end(), c.begin(), c.end());
    return all;
}

void ExpectPointsClassified(G3Facet* f, const Case& c, const Placement& pl, Rng& rng)
{
    int i = 0, j = 1;
    f->GetMaxCoo(&i, &j);
    for (int n = 0; n < 40; ++n) {
        const UV p = {-0.5 + (c.width + 1.0) * rng.Unit(), -0.5 + (c.height + 1.0) * rng.Unit()};
        if (NearBoundary(c.contours, p, 1e-3))
            continue;
        double xyz[3];
        pl.Map(p, xyz);
        EXPECT_EQ(f->PointInFacet(i, j, xyz, nullptr, nullptr, 1e-6), plane2d::InsideEvenOdd(c.contours, p))
            << "at (" << p[0] << ", " << p[1] << ")";
    }
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
        SCOPED_TRACE("seed " + std::to_string(seed));
        Rng rng(seed);
        const Case c = RandomCase(rng);
        const Placement pl = RandomPlacement(rng);
        G3Surface s;
        std::vector<std::vector<G3Vertex*>> contours;
        G3Facet* f = Build(s, c, pl, contours);
        ASSERT_NE(f, nullptr);
        withHoles += contours.size() > 1;
        touchingStarts += TouchesPreviousStart(contours);
        ASSERT_EQ(MeshCheck(&s), "");
        EXPECT_EQ(Corners(f), Concatenated(contours));
        ExpectPointsClassified(f, c, pl, rng);

        const int splits = 1 + rng.Below(4);
        for (int k = 0; k < splits; ++k) {
            SplitRandomEdge(s, f, contours, rng);
            ASSERT_EQ(MeshCheck(&s), "");
            ASSERT_EQ(Corners(f), Concatenated(contours));
        }
        ExpectPointsClassified(f, c, pl, rng);

        const double area = c.area * pl.scale * pl.scale;
        EXPECT_TRUE(s.Triangulate(4, 0));
        EXPECT_EQ(MeshCheck(&s), "");
        EXPECT_NEAR(TrianglesArea(s), area, 1e-7 * (1.0 + area));
    }
    // The generator reaches the cases it is meant for.
    EXPECT_GT(withHoles, 180);
    EXPECT_GT(touchingStarts, 5);
}
