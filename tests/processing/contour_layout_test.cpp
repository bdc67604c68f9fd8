// Holes joined to the contours around them: bridges must cross nothing,
// holes touching their outer contour at a vertex must join its facet, and
// the resolved facets must cover exactly the polygon with holes, checked
// against exact shoelace areas, brute-force crossing tests and even-odd
// counts on generated layouts in flat, tilted and far planes
// (the three coordinate planes, a tilted one and one far from the origin).
//
// Then random facets with holes that touch the outer contour and each other at
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
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "Geometry/processing/G3FacetContourIterator.h"
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

using namespace plane2d;
using testmesh::Corners;

// Draws from mt19937's raw output only: its sequence is fixed by the
// standard, the distributions are not.
class Rng {
public:
    explicit Rng(std::uint32_t seed) : gen(seed) {}
    int Below(int n) { return static_cast<int>(gen() % static_cast<std::uint32_t>(n)); }
    int Pick(int lo, int hi) { return lo + Below(hi - lo + 1); }
    double Uniform(double lo, double hi) { return lo + (hi - lo) * (gen() / 4294967296.0); }
    bool Chance(double p) { return Uniform(0.0, 1.0) < p; }

private:
    std::mt19937 gen;
};

// A plane: origin and two orthonormal axes; (x, y) sits at o + x u + y v.
struct Frame {
    const char* name;
    double o[3];
    double u[3];
    double v[3];

    void Place(const P2& p, double* xyz) const
    {
        for (int c = 0; c < 3; ++c)
            xyz[c] = o[c] + p[0] * u[c] + p[1] * v[c];
    }
    P2 Back(const double* xyz) const
    {
        double d[3];
        for (int c = 0; c < 3; ++c)
            d[c] = xyz[c] - o[c];
        return {d[0] * u[0] + d[1] * u[1] + d[2] * u[2], d[0] * v[0] + d[1] * v[1] + d[2] * v[2]};
    }
    // The plane of the frame, facing u x v.
    void Plane(double* p) const
    {
        p[0] = u[1] * v[2] - u[2] * v[1];
        p[1] = u[2] * v[0] - u[0] * v[2];
        p[2] = u[0] * v[1] - u[1] * v[0];
        p[3] = -(p[0] * o[0] + p[1] * o[1] + p[2] * o[2]);
    }
    bool Far() const { return o[0] > 1000.0; }
};

const Frame kFrames[] = {
    {"xy", {0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
    {"xz", {0, 5, 0}, {1, 0, 0}, {0, 0, 1}},
    {"yz", {-3, 0, 0}, {0, 1, 0}, {0, 0, 1}},
    {"tilted", {1, 2, 3}, {0.6, 0.0, 0.8}, {-0.48, 0.8, 0.36}},
    {"far", {250000.0, -130000.0, 47000.0}, {0.0, 0.8, -0.6}, {0.6, -0.48, -0.64}},
};

// Points spread over the box of rings[0] widened by 1, each kept 1e-3 clear
// of every ring's edges.
std::vector<P2> Probes(Rng& rng, const std::vector<Ring>& rings, int count)
{
    double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
    for (const P2& p : rings[0])
        for (int c = 0; c < 2; ++c) {
            lo[c] = std::min(lo[c], p[c]);
            hi[c] = std::max(hi[c], p[c]);
        }
    std::vector<P2> out;
    while (static_cast<int>(out.size()) < count) {
        const P2 p = {rng.Uniform(lo[0] - 1, hi[0] + 1), rng.Uniform(lo[1] - 1, hi[1] + 1)};
        bool clear = true;
        for (const Ring& r : rings)
            for (size_t k = 0; k < r.size() && clear; ++k)
                clear = DistanceToSegment(p, r[k], r[(k + 1) % r.size()]) > 1e-3;
        if (clear)
            out.push_back(p);
    }
    return out;
}

// The rings as loops of vertices: one vertex per distinct point when
// `shared` (the rings share their touching corners), else fresh vertices.
std::vector<std::vector<G3Vertex*>> Place(G3Surface& s, const Frame& fr,
                                                 const std::vector<Ring>& rings, bool shared)
{
    std::map<P2, G3Vertex*> known;
    std::vector<std::vector<G3Vertex*>> out;
    for (const Ring& r : rings) {
        out.emplace_back();
        for (const P2& p : r) {
            G3Vertex*& v = known[p];
            if (!shared || !v) {
                double xyz[3];
                fr.Place(p, xyz);
                v = s.AddVertex(xyz[0], xyz[1], xyz[2], 0);
            }
            out.back().push_back(v);
        }
    }
    return out;
}

// How many facets of s hold the frame's point p.
int FacetsHolding(G3Surface& s, const Frame& fr, const P2& p)
{
    double xyz[3];
    fr.Place(p, xyz);
    int n = 0;
    for (int k = 0; k < s.GetFacetCount(); ++k) {
        G3Facet* f = s.GetFacet(k);
        int i = 0, j = 1;
        f->GetMaxCoo(&i, &j);
        n += f->PointInFacet(i, j, xyz, nullptr, nullptr, 1e-6) ? 1 : 0;
    }
    return n;
}

// Whether the facets hold exactly the probes inside the rings by an even-odd
// count, each once; reports the first three that do not.
void ExpectFacetsMatchEvenOdd(G3Surface& s, const Frame& fr, const std::vector<Ring>& rings,
                                     const std::vector<P2>& probes)
{
    int wrong = 0;
    for (const P2& p : probes) {
        const int expected = InsideEvenOdd(rings, p) ? 1 : 0;
        const int found = FacetsHolding(s, fr, p);
        if (found != expected && ++wrong <= 3)
            ADD_FAILURE() << "probe (" << p[0] << ", " << p[1] << ") lies in " << found
                          << " facets, expected " << expected;
    }
}

double Cross(const P2& a, const P2& b, const P2& c)
{
    return (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
}

// Whether two segments meet anywhere but at an end they share; two copies
// of one segment (a bridge and its way back) do not count. `tol` absorbs the
// rounding of tilted and far placements.
bool SegmentsClash(const P2& a, const P2& b, const P2& c, const P2& d, double tol)
{
    auto same = [tol](const P2& p, const P2& q) { return std::hypot(p[0] - q[0], p[1] - q[1]) <= tol; };
    const bool ac = same(a, c), ad = same(a, d), bc = same(b, c), bd = same(b, d);
    if ((ac && bd) || (ad && bc))
        return false;
    // An end of one lying on the other, away from a shared end.
    const P2* ends1[2] = {&a, &b};
    const P2* ends2[2] = {&c, &d};
    for (const P2* p : ends1)
        if (!same(*p, c) && !same(*p, d) && DistanceToSegment(*p, c, d) <= tol)
            return true;
    for (const P2* p : ends2)
        if (!same(*p, a) && !same(*p, b) && DistanceToSegment(*p, a, b) <= tol)
            return true;
    if (ac || ad || bc || bd)
        return false;
    const double d1 = Cross(a, b, c), d2 = Cross(a, b, d), d3 = Cross(c, d, a), d4 = Cross(c, d, b);
    return ((d1 > 0) != (d2 > 0)) && ((d3 > 0) != (d4 > 0));
}

// Every list is a closed chain and no two edges of any lists clash; returns
// a description of the first fault, "" when none.
std::string CrossingFault(GArrayCollection* lists, const Frame& fr, double tol)
{
    struct Seg {
        P2 a, b;
        int list;
    };
    std::vector<Seg> segs;
    for (int l = 0; l < lists->size(); ++l) {
        G3EdgeList* list = static_cast<G3EdgeList*>(lists->get(l));
        const int n = list->size();
        if (n < 3)
            return "list " + std::to_string(l) + " has " + std::to_string(n) + " edges";
        for (int k = 0; k < n; ++k) {
            G3Edge* e = list->GetEdge(k);
            if (e->GetVertex2() != list->GetEdge((k + 1) % n)->GetVertex1())
                return "list " + std::to_string(l) + " is not a closed chain at " + std::to_string(k);
            segs.push_back({fr.Back(e->GetVertex1()->GetXYZ()), fr.Back(e->GetVertex2()->GetXYZ()), l});
        }
    }
    auto apart = [tol](const Seg& s, const Seg& t) {
        for (int c = 0; c < 2; ++c)
            if (std::max(s.a[c], s.b[c]) < std::min(t.a[c], t.b[c]) - tol ||
                std::min(s.a[c], s.b[c]) > std::max(t.a[c], t.b[c]) + tol)
                return true;
        return false;
    };
    for (size_t x = 0; x < segs.size(); ++x)
        for (size_t y = x + 1; y < segs.size(); ++y)
            if (!apart(segs[x], segs[y]) && SegmentsClash(segs[x].a, segs[x].b, segs[y].a, segs[y].b, tol))
                return "edges clash in lists " + std::to_string(segs[x].list) + ", " +
                       std::to_string(segs[y].list);
    return "";
}

// The area a list encloses, signed along the frame's normal (a keyhole
// counts its outer contour minus its holes).
double ListArea(G3EdgeList* l, const Frame& fr)
{
    Ring r;
    for (int k = 0; k < l->size(); ++k)
        r.push_back(fr.Back(l->GetEdge(k)->GetVertex1()->GetXYZ()));
    return ShoelaceArea(r);
}

// Rings and their nesting depths: rings[0] encloses everything, the others
// alternate hole / island by depth.
struct Layout {
    std::vector<Ring> rings;
    std::vector<int> depth;

    double Area() const
    {
        double a = 0.0;
        for (size_t k = 0; k < rings.size(); ++k)
            a += (depth[k] % 2 == 0 ? 1.0 : -1.0) * std::fabs(ShoelaceArea(rings[k]));
        return a;
    }
};

Ring Reversed(Ring r)
{
    std::reverse(r.begin(), r.end());
    return r;
}

// The layout resolved from one edge soup facing the frame's normal in each
// of the four modes, then fused from facets by the complex-facet bracket:
// the lists cross nothing and enclose the area, and the facets hold exactly
// the probes inside and triangulate to the area.
void ExpectResolves(const Layout& x, const Frame& fr, const std::vector<P2>& probes, bool share)
{
    const double area = x.Area();
    for (int mode = 0; mode <= 4; ++mode) {
        SCOPED_TRACE(mode < 4 ? "mode " + std::to_string(mode) : std::string("fused"));
        G3Surface s;
        if (mode < 4) {
            G3EdgeList soup(0, 0);
            double plane[4];
            fr.Plane(plane);
            soup.SetPlane(plane);
            for (std::vector<G3Vertex*>& vs : Place(s, fr, x.rings, share)) {
                G3EdgeList loop(static_cast<int>(vs.size()), vs.data(), nullptr, nullptr, nullptr, 0, 0);
                soup.AddEdges(&loop, nullptr);
            }
            GArrayCollection out;
            soup.RemoveSelfIntersections(&out, &s, true, mode, 0);
            EXPECT_EQ("", CrossingFault(&out, fr, fr.Far() ? 1e-6 : 1e-9));
            double sum = 0.0;
            for (int k = 0; k < out.size(); ++k)
                sum += ListArea(static_cast<G3EdgeList*>(out.get(k)), fr);
            EXPECT_NEAR(sum, area, 1e-6 * area);
            s.AddFacets(&out);
        } else {
            s.BeginComplexFacet();
            for (std::vector<G3Vertex*>& vs : Place(s, fr, x.rings, true))
                s.AddFacet(static_cast<int>(vs.size()), vs.data(), 1, nullptr, nullptr);
            s.EndComplexFacet();
        }
        EXPECT_EQ("", MeshCheck(&s));
        ExpectFacetsMatchEvenOdd(s, fr, x.rings, probes);
        EXPECT_TRUE(s.Triangulate(4, 0));
        EXPECT_NEAR(testmesh::TrianglesArea(s), area, 1e-6 * area);
        EXPECT_EQ("", MeshCheck(&s));
    }
}

// ----------------------------------------------------- random hole layouts

class LayoutMaker : public Rng {
public:
    explicit LayoutMaker(unsigned seed) : Rng(seed) {}

    Layout Make()
    {
        const int g = Pick(2, 4);
        const double s = kCell;
        Layout x{{Outer(g)}, {0}};
        // Grid corners that holes may take as vertices: two holes taking
        // one touch there, a hole taking one on the border touches the
        // outer contour.
        std::vector<std::vector<char>> offered(static_cast<size_t>(g + 1),
                                               std::vector<char>(static_cast<size_t>(g + 1)));
        for (auto& row : offered)
            for (auto& c : row)
                c = Chance(0.5);
        for (int cy = 0; cy < g; ++cy) {
            for (int cx = 0; cx < g; ++cx) {
                const double r = Uniform(0.0, 1.0);
                if (r < 0.15)
                    continue;
                const P2 origin = {cx * s, cy * s};
                if (r < 0.35) {
                    Add(&x, RectangleIn(origin), 1);
                    continue;
                }
                // Corners on offer around this cell, at most two and then
                // diagonal to each other.
                std::vector<double> fixed;
                const double corners[4][3] = {{1, 1, 45}, {0, 1, 135}, {0, 0, 225}, {1, 0, 315}};
                for (const auto& c : corners) {
                    const int gx = cx + static_cast<int>(c[0]), gy = cy + static_cast<int>(c[1]);
                    if (!offered[static_cast<size_t>(gy)][static_cast<size_t>(gx)] || !Chance(0.6))
                        continue;
                    if (fixed.size() == 1 && std::fabs(std::fabs(fixed[0] - c[2]) - 180.0) > 1.0)
                        continue;
                    if (fixed.size() < 2)
                        fixed.push_back(c[2]);
                }
                double reach = 0.0;
                const P2 centre = {origin[0] + s / 2, origin[1] + s / 2};
                Add(&x, Star(centre, fixed, 0.25 * s, 0.45 * s, &reach), 1);
                // An island inside the disk the hole is sure to contain, and
                // a hole inside the island's.
                for (int depth = 2; depth <= 3 && Chance(0.45); ++depth)
                    Add(&x, Star(centre, {}, 0.45 * reach, 0.85 * reach, &reach), depth);
            }
        }
        return x;
    }

private:
    static constexpr double kCell = 16.0;
    static constexpr double kPi = 3.14159265358979323846;

    // A ring of the given depth, in either direction.
    void Add(Layout* x, const Ring& r, int depth)
    {
        x->rings.push_back(Chance(0.5) ? r : Reversed(r));
        x->depth.push_back(depth);
    }

    // Coordinates on a 1/64 grid: every area below is exact in doubles.
    static double Snap(double v) { return std::round(v * 64.0) / 64.0; }

    Ring Outer(int g)
    {
        const double side = g * kCell;
        Ring r;
        // Counter-clockwise round the square, a corner of every cell and
        // the midpoint of every cell side, the midpoints pushed outwards
        // by 0 (a straight vertex), 3 or 6.
        const P2 start[4] = {{0, 0}, {side, 0}, {side, side}, {0, side}};
        const P2 step[4] = {{kCell, 0}, {0, kCell}, {-kCell, 0}, {0, -kCell}};
        const P2 out[4] = {{0, -1}, {1, 0}, {0, 1}, {-1, 0}};
        for (int k = 0; k < 4; ++k) {
            for (int c = 0; c < g; ++c) {
                const P2 corner = {start[k][0] + c * step[k][0], start[k][1] + c * step[k][1]};
                r.push_back(corner);
                const double push = 3.0 * Pick(0, 2);
                r.push_back({corner[0] + step[k][0] / 2 + push * out[k][0],
                             corner[1] + step[k][1] / 2 + push * out[k][1]});
            }
        }
        return r;
    }

    // An axis-aligned rectangle on whole coordinates inside the cell,
    // clear of its sides.
    Ring RectangleIn(const P2& origin)
    {
        const double x0 = origin[0] + Pick(2, 5), x1 = origin[0] + kCell - Pick(2, 5);
        const double y0 = origin[1] + Pick(2, 5), y1 = origin[1] + kCell - Pick(2, 5);
        return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    }

    // A counter-clockwise star around c: the given corners (angles in
    // degrees, at the cell corners they point to) and, between them, other
    // vertices at radii in [lo, hi], no gap wider than 108 degrees.
    // *reach = the radius of a disk about c that the star surely contains.
    Ring Star(const P2& c, const std::vector<double>& corners, double lo, double hi, double* reach)
    {
        std::vector<double> anchors = corners;
        if (anchors.empty())
            anchors.push_back(Uniform(0.0, 360.0));
        std::sort(anchors.begin(), anchors.end());
        double smallest = hi;
        Ring r;
        for (size_t k = 0; k < anchors.size(); ++k) {
            const double arc = (k + 1 < anchors.size() ? anchors[k + 1] : anchors[0] + 360.0) - anchors[k];
            const int m = static_cast<int>(std::ceil(arc / Uniform(50.0, 90.0)));
            for (int i = 0; i < m; ++i) {
                const double t = (anchors[k] + arc * (i + (i ? Uniform(-0.1, 0.1) : 0.0)) / m) * kPi / 180.0;
                if (i == 0 && !corners.empty()) {
                    const double h = kCell / 2;
                    r.push_back({c[0] + (std::cos(t) > 0 ? h : -h), c[1] + (std::sin(t) > 0 ? h : -h)});
                    continue;
                }
                const double radius = Uniform(lo, hi);
                smallest = std::min(smallest, radius);
                r.push_back({Snap(c[0] + radius * std::cos(t)), Snap(c[1] + radius * std::sin(t))});
            }
        }
        // Every edge keeps at least this distance from c (the snap moves a
        // vertex by less than 1/64).
        *reach = (smallest - 0.02) * std::cos(55.0 * kPi / 180.0);
        return r;
    }
};

// ---------------------------------------------- contours touching at vertices

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

TEST(HoleBridges, RandomLayoutsResolveIntoCrossingFreeFacetsOfTheRightArea)
{
    for (unsigned seed = 1; seed <= 200; ++seed) {
        LayoutMaker maker(seed);
        const Layout x = maker.Make();
        const Frame& fr = kFrames[seed % 5];
        SCOPED_TRACE("seed " + std::to_string(seed) + " in " + fr.name);
        ExpectResolves(x, fr, Probes(maker, x.rings, 40), seed % 2 == 0);
        if (HasFailure())
            return;
    }
}

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
        // The contour iterator's closed chains (walked by geometry, which
        // may part touching contours otherwise) hold every edge once.
        G3FacetContourIterator it(f);
        size_t walked = 0;
        while (G3EdgeList* l = static_cast<G3EdgeList*>(it.next())) {
            for (int k = 0; k < l->size(); ++k)
                EXPECT_EQ(l->GetEdge(k)->GetVertex2(), l->GetEdge((k + 1) % l->size())->GetVertex1());
            walked += static_cast<size_t>(l->size());
        }
        EXPECT_EQ(walked, Concatenated(contours).size());
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
    EXPECT_FALSE(G3FacetContourIterator(nullptr).hasNext());
}
