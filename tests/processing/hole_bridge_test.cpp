// Holes joined to the contours around them: bridges must cross nothing,
// holes touching their outer contour at a vertex must join its facet, and
// the resolved facets must cover exactly the polygon with holes, checked
// against exact shoelace areas, brute-force crossing tests and even-odd
// counts on fixed and generated layouts in flat, tilted and far planes.

#include "Geometry/foundation/GArrayCollection.h"
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
#include <vector>

namespace {

using namespace planelayout;

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
                return "edges clash in lists " + std::to_string(segs[x].list) + " and " +
                       std::to_string(segs[y].list) + " near (" + std::to_string(segs[x].a[0]) + ", " +
                       std::to_string(segs[x].a[1]) + ")";
    return "";
}

// The area a list encloses, signed along the frame's normal (a keyhole
// counts its outer contour minus its holes).
double ListArea(G3EdgeList* l, const Frame& fr)
{
    double a = 0.0;
    for (int k = 0; k < l->size(); ++k) {
        const P2 p = fr.Back(l->GetEdge(k)->GetVertex1()->GetXYZ());
        const P2 q = fr.Back(l->GetEdge(k)->GetVertex2()->GetXYZ());
        a += p[0] * q[1] - q[0] * p[1];
    }
    return 0.5 * a;
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
// the lists cross nothing and enclose the area, and the facets (`facets` of
// them, when positive) hold exactly the probes inside and triangulate to
// the area.
void ExpectResolves(const Layout& x, const Frame& fr, const std::vector<P2>& probes, bool share,
                    int facets = -1)
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
        if (facets > 0) {
            EXPECT_EQ(s.GetFacetCount(), facets);
        }
        ExpectFacetsMatchEvenOdd(s, fr, x.rings, probes);
        EXPECT_TRUE(s.Triangulate(4, 0));
        EXPECT_NEAR(testmesh::TrianglesArea(s), area, 1e-6 * area);
        EXPECT_EQ("", MeshCheck(&s));
    }
}

} // namespace

// Hand-picked layouts: a square hole on the reflex corner of an L (from
// each of its corners, either way round); holes touching the outer contour
// at a convex corner, at a straight vertex, at two vertices (cutting the
// facet in two) and a chain of touching holes; bridges that must pass
// between two holes or beside the notch of a notched square.
TEST(HoleBridges, FixedLayoutsResolveIntoOneFacetOfTheRightArea)
{
    struct Case {
        std::string what;
        Layout layout;
        int facets;
    };
    std::vector<Case> cases;
    const Ring l = {{0, 0}, {4, 0}, {4, 2}, {2, 2}, {2, 4}, {0, 4}};
    const Ring square = {{1, 1}, {2, 1}, {2, 2}, {1, 2}};
    for (size_t rot = 0; rot < 4; ++rot) {
        Ring hole = square;
        std::rotate(hole.begin(), hole.begin() + static_cast<long>(rot), hole.end());
        cases.push_back({"reflex corner " + std::to_string(rot), {{l, hole}, {0, 1}}, 1});
        cases.push_back({"reflex corner reversed " + std::to_string(rot), {{l, Reversed(hole)}, {0, 1}}, 1});
    }
    const Ring outer = {{0, 0}, {5, 0}, {10, 0}, {10, 10}, {0, 10}};
    cases.push_back({"convex corner", {{outer, {{0, 0}, {2, 1}, {1, 2}}}, {0, 1}}, 1});
    cases.push_back({"straight vertex", {{outer, {{5, 0}, {6, 2}, {4, 2}}}, {0, 1}}, 1});
    cases.push_back({"two vertices", {{outer, {{5, 0}, {10, 10}, {4, 3}}}, {0, 1}}, -1});
    cases.push_back({"chain of touching holes",
                     {{outer, {{5, 0}, {6, 2}, {4, 2}}, {{6, 2}, {8, 4}, {6, 4}}, {{8, 4}, {9, 6}, {7, 6}}},
                      {0, 1, 1, 1}},
                     1});
    cases.push_back({"two holes",
                     {{{{0, 0}, {100, 0}, {100, 100}, {0, 100}},
                       {{40, 30}, {50, 30}, {50, 40}, {40, 40}},
                       {{86, 84}, {92, 84}, {92, 90}, {86, 90}}},
                      {0, 1, 1}},
                     1});
    cases.push_back({"notch",
                     {{{{0, 0}, {20, 0}, {20, 20}, {11, 20}, {8, 15}, {5, 20}, {0, 20}},
                       {{4, 10}, {6, 10}, {6, 12}, {4, 12}}},
                      {0, 1}},
                     1});
    Rng rng(7);
    for (const Case& c : cases) {
        const std::vector<P2> probes = Probes(rng, c.layout.rings, 40);
        for (const Frame& fr : kFrames) {
            SCOPED_TRACE(c.what + " in " + fr.name);
            ExpectResolves(c.layout, fr, probes, false, c.facets);
        }
    }
}

// ------------------------------------------------------------ randomized

namespace {

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
