#include "Geometry/contour/G3ContourDivider.h"

#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/processing/G3EdgeList.h"
#include "contour/contour_support.h"
#include "mesh/mesh_check.h"

#include <gtest/gtest.h>

#include <random>

namespace {

struct Unloaded {
    double p1[3], p2[3];
    int join1, join2, flags;
    unsigned long tag1, tag2;
};
struct UnloadedContour {
    int edgeCount = 0;
    bool isHole = false;
    std::vector<Unloaded> edges;
};

// Records the unload protocol: the call sequence as text ("(" and ")" for
// the unload, "[<edge count> outer|hole" and "]" per contour, "e" per edge)
// and the contours.
class RecordingDivider : public G3ContourDivider {
public:
    std::string calls;
    std::vector<UnloadedContour> contours;

    void BeginUnload() override { calls += "("; }
    void BeginUnloadContour(int n, bool hole) override
    {
        calls += "[" + std::to_string(n) + (hole ? " hole " : " outer ");
        contours.push_back(UnloadedContour{n, hole, {}});
    }
    void UnloadEdge(double* p1, int j1, double* p2, int j2, int flags, unsigned long t1,
                    unsigned long t2) override
    {
        calls += "e";
        Unloaded u{{p1[0], p1[1], p1[2]}, {p2[0], p2[1], p2[2]}, j1, j2, flags, t1, t2};
        if (!contours.empty())
            contours.back().edges.push_back(u);
    }
    void EndUnloadContour() override { calls += "]"; }
    void EndUnload() override { calls += ")"; }

    using G3ContourDivider::GetSignOfOrientedSquare;
    using G3ContourDivider::ReverseContourFlags;

    // One closed contour through pts, edge k with flags[k] (1 when empty);
    // point k is tagged 100 + k at both edges meeting there.
    void LoadPolygon(const Ring& pts, const std::vector<int>& flags = {})
    {
        BeginLoadContour();
        const size_t n = pts.size();
        for (size_t k = 0; k < n; ++k) {
            double a[3] = {pts[k].x, pts[k].y, 0.0};
            double b[3] = {pts[(k + 1) % n].x, pts[(k + 1) % n].y, 0.0};
            LoadEdge(a, b, flags.empty() ? 1 : flags[k], 100 + k, 100 + (k + 1) % n);
        }
        EndLoadContour();
    }
};

double Area(const UnloadedContour& c)
{
    double twice = 0.0;
    for (const Unloaded& e : c.edges)
        twice += e.p1[0] * e.p2[1] - e.p2[0] * e.p1[1];
    return 0.5 * twice;
}

// Checks what every unload keeps: each contour closes (every edge starts
// where the one before it ends) and has its announced edge count; outer
// contours all turn one way, holes the other. Returns the magnitude of the
// signed sum of areas, then the even-odd area of what was loaded.
double CheckedArea(const RecordingDivider& d)
{
    double sum = 0.0;
    int outerSign = 0;
    for (const UnloadedContour& c : d.contours) {
        EXPECT_EQ(static_cast<size_t>(c.edgeCount), c.edges.size());
        for (size_t k = 0; k < c.edges.size(); ++k) {
            const Unloaded& a = c.edges[k];
            const Unloaded& b = c.edges[(k + 1) % c.edges.size()];
            EXPECT_TRUE(a.p2[0] == b.p1[0] && a.p2[1] == b.p1[1]) << "edge " << k;
        }
        const double a = Area(c);
        const int s = (a > 0) - (a < 0);
        if (outerSign == 0)
            outerSign = c.isHole ? -s : s;
        else
            EXPECT_EQ(c.isHole ? -outerSign : outerSign, s);
        sum += a;
    }
    return std::fabs(sum);
}

const int kFormMaking = G3Edge::FLAG_FORM_MAKING;
const Ring kSquare = {{0, 0}, {4, 0}, {4, 4}, {0, 4}};
const Ring kHole = {{1, 1}, {3, 1}, {3, 3}, {1, 3}};

TEST(ContourDivider, OutOfProtocolCallsAreIgnored)
{
    RecordingDivider d;
    double a[3] = {0, 0, 0}, b[3] = {1, 0, 0};
    d.BeginLoadContour(); // before BeginLoad
    d.LoadEdge(a, b, 1, 0, 0);
    d.EndLoadContour();
    d.EndLoad(); // never begun
    d.BeginLoad(1, 0);
    d.EndLoad(); // begun, nothing loaded
    d.BeginLoad(1, 0);
    d.LoadEdge(a, b, 1, 0, 0); // no contour open
    d.BeginLoadContour();
    d.LoadEdge(nullptr, b, 1, 0, 0);
    d.EndLoadContour(); // empty contour is dropped
    d.EndLoad();
    // A second BeginLoad drops what the first loaded.
    d.BeginLoad(1, 0);
    d.LoadPolygon(kSquare);
    d.BeginLoad(1, 0);
    d.EndLoad();
    EXPECT_TRUE(d.calls.empty());
}

TEST(ContourDivider, SquareComesBackInLoadOrderWithJoinsAtUnlikeEdges)
{
    // Edge 2 carries flag bits 0x10 its visible neighbours lack (0x80 on
    // edge 1 is not compared); edge 3 is invisible and never breaks, nor
    // does the form-making edge 0 after it; edge 2 before it does.
    const std::vector<int> flags = {1 | kFormMaking, 1 | 0x80, 1 | 0x10, 0};
    const int joins[4][2] = {{2, 2}, {2, 1}, {1, 1}, {2, 2}};
    RecordingDivider d;
    d.BeginLoad(1, 0);
    d.LoadPolygon(kSquare, flags);
    d.EndLoad();
    EXPECT_EQ("([4 outer eeee])", d.calls);
    ASSERT_EQ(1u, d.contours.size());
    for (size_t k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        const Unloaded& e = d.contours[0].edges[k];
        EXPECT_EQ(kSquare[k].x, e.p1[0]);
        EXPECT_EQ(kSquare[k].y, e.p1[1]);
        EXPECT_EQ(kSquare[(k + 1) % 4].x, e.p2[0]);
        EXPECT_EQ(kSquare[(k + 1) % 4].y, e.p2[1]);
        EXPECT_EQ(joins[k][0], e.join1);
        EXPECT_EQ(joins[k][1], e.join2);
        EXPECT_EQ(flags[k], e.flags);
        // Tags arrive unchanged on a contour that is not reversed.
        EXPECT_EQ(100 + k, e.tag1);
        EXPECT_EQ(100 + (k + 1) % 4, e.tag2);
    }
    // The load is forgotten: a second EndLoad unloads nothing.
    d.calls.clear();
    d.EndLoad();
    EXPECT_TRUE(d.calls.empty());
}

TEST(ContourDivider, HolesTurnAgainstTheirOuterContour)
{
    // Loaded with the outer contour's turn, the hole is reversed (from its
    // last loaded edge to the first, ends swapped, form-making bits shifted
    // one edge along) and loses its tags; loaded the other way it keeps
    // order, flags and tags. Both give the same edges.
    const std::vector<int> flags = {kFormMaking | 1, 1, kFormMaking, kFormMaking | 0x20};
    const int reversedFlags[4] = {kFormMaking | 0x20, 0, 1 | kFormMaking, 1};
    for (bool sameTurn : {true, false}) {
        SCOPED_TRACE(sameTurn);
        RecordingDivider d;
        d.BeginLoad(0, 0); // holes stay contours of their own
        d.LoadPolygon(kSquare);
        d.LoadPolygon(sameTurn ? kHole : Ring{kHole[0], kHole[3], kHole[2], kHole[1]}, flags);
        d.EndLoad();
        ASSERT_EQ(2u, d.contours.size());
        EXPECT_DOUBLE_EQ(12.0, CheckedArea(d));
        EXPECT_FALSE(d.contours[0].isHole);
        EXPECT_TRUE(d.contours[1].isHole);
        EXPECT_GT(Area(d.contours[0]), 0.0);
        for (size_t k = 0; k < 4; ++k) {
            const Unloaded& e = d.contours[1].edges[k];
            EXPECT_EQ(sameTurn ? 0 : 100 + k, e.tag1);
            EXPECT_EQ(sameTurn ? 0 : 100 + (k + 1) % 4, e.tag2);
            EXPECT_EQ(sameTurn ? reversedFlags[k] : flags[k], e.flags);
            EXPECT_EQ(kHole[(4 - k) % 4].x, e.p1[0]);
            EXPECT_EQ(kHole[(4 - k) % 4].y, e.p1[1]);
            EXPECT_EQ(kHole[3 - k].x, e.p2[0]);
            EXPECT_EQ(kHole[3 - k].y, e.p2[1]);
        }
    }
}

TEST(ContourDivider, OrientationSignLooksPastStraightCorners)
{
    G3Surface s;
    // The first vertex of largest x, (2, 1), is a straight corner between
    // (2, 0) and (2, 2); the sign comes from (0, 0) further back.
    std::vector<G3Vertex*> v;
    for (const XY& p : Ring{{2, 1}, {2, 2}, {0, 2}, {0, 0}, {2, 0}})
        v.push_back(s.AddVertex(p.x, p.y, 0, 0));
    G3EdgeList ccw(5, v.data(), nullptr, nullptr, nullptr, 1, 1);
    ccw.FormMaxPlaneCoo();
    const int sign = RecordingDivider::GetSignOfOrientedSquare(&ccw);
    EXPECT_NE(0, sign);
    std::vector<G3Vertex*> r(v.rbegin(), v.rend());
    G3EdgeList cw(5, r.data(), nullptr, nullptr, nullptr, 1, 1);
    cw.FormMaxPlaneCoo();
    EXPECT_EQ(-sign, RecordingDivider::GetSignOfOrientedSquare(&cw));
    // A flat contour has no sign.
    G3EdgeList line(2, v.data(), nullptr, nullptr, nullptr, 1, 1);
    EXPECT_EQ(0, RecordingDivider::GetSignOfOrientedSquare(&line));
}

// Nested and side-by-side rectangles on an integer grid: children inside
// their parent, touching its sides or not, siblings apart or sharing sides
// and corners. No two cross.
void Laminar(std::mt19937& rng, double x0, double y0, double x1, double y1, int depth, Region& out)
{
    if (x1 <= x0 || y1 <= y0)
        return;
    out.push_back({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
    // Split the inside into up to two columns, each maybe holding a child.
    if (depth == 0 || x1 - x0 < 4 || y1 - y0 < 4)
        return;
    const double inset = rng() % 3 == 0 ? 0.0 : 1.0; // 0: touching the parent
    const double mid = x0 + std::floor((x1 - x0) / 2);
    if (rng() % 4 != 0)
        Laminar(rng, x0 + inset, y0 + 1, mid, y1 - inset, depth - 1, out);
    if (rng() % 2 == 0)
        Laminar(rng, mid + (rng() % 2), y0 + 1, x1 - 1, y1 - 1, depth - 1, out);
}

TEST(ContourDivider, RandomNestedRectanglesKeepEvenOddAreaAndOneTurnRule)
{
    for (unsigned seed = 1; seed <= 25; ++seed) {
        std::mt19937 rng(seed);
        Region rects;
        Laminar(rng, 0, 0, 24, 16, 3, rects);
        if (rng() % 2)
            Laminar(rng, 24, 0, 32, 8, 1, rects); // beside the first, sharing a side
        for (int mode : {0, 1}) {
            SCOPED_TRACE("seed " + std::to_string(seed) + " mode " + std::to_string(mode));
            RecordingDivider d;
            d.BeginLoad(mode, 0);
            for (Ring ring : rects) {
                if (rng() % 2 == 1)
                    std::reverse(ring.begin(), ring.end());
                d.LoadPolygon(ring);
            }
            d.EndLoad();
            EXPECT_NEAR(CoverArea({rects}, 1), CheckedArea(d), 1e-9);
            if (mode == 1) { // linked: every hole joins the contour around it
                EXPECT_LE(d.contours.size(), rects.size());
                for (const UnloadedContour& c : d.contours)
                    EXPECT_FALSE(c.isHole);
                continue;
            }
            // Unlinked, every rectangle comes back once: tags whenever it is
            // unloaded in its own order, none when reversed.
            EXPECT_EQ(rects.size(), d.contours.size());
            for (const UnloadedContour& c : d.contours)
                for (const Unloaded& e : c.edges) {
                    EXPECT_EQ(e.tag1 != 0, e.tag2 != 0);
                    EXPECT_EQ(e.tag1 != 0, c.edges[0].tag1 != 0);
                }
        }
    }
}

// Random polygons on small grids (repeated points, sides through vertices
// and sides along one line are common), after a figure eight and a
// pentagram: the pieces' area is the polygon's even-odd area.
TEST(ContourDivider, RandomSelfCrossingPolygonsKeepEvenOddArea)
{
    std::vector<Ring> polys = {{{0, 0}, {2, 2}, {2, 0}, {0, 2}}, {}};
    for (int k = 0; k < 5; ++k)
        polys[1].push_back(
            {10 * std::cos(M_PI / 2 + k * 4 * M_PI / 5), 10 * std::sin(M_PI / 2 + k * 4 * M_PI / 5)});
    for (unsigned seed = 1; seed <= 60; ++seed) {
        std::mt19937 rng(seed);
        const int grid = seed % 2 ? 6 : 20;
        Ring poly;
        for (int k = 0, m = 4 + static_cast<int>(rng() % 6); k < m; ++k) {
            const XY q = {double(rng() % (grid + 1)), double(rng() % (grid + 1))};
            if (poly.empty() || q.x != poly.back().x || q.y != poly.back().y)
                poly.push_back(q);
        }
        if (poly.size() >= 3)
            polys.push_back(poly);
    }
    size_t pieces = 0;
    for (size_t i = 0; i < polys.size(); ++i) {
        SCOPED_TRACE("polygon " + std::to_string(i));
        RecordingDivider d;
        d.BeginLoad(i % 3 == 0 ? 0 : 1, 0);
        d.LoadPolygon(polys[i]);
        d.EndLoad();
        pieces += d.contours.size();
        EXPECT_NEAR(CoverArea({{polys[i]}}, 1), CheckedArea(d), 1e-9);
        if (i < 2) { // the figure eight's two loops, the pentagram's five points
            EXPECT_EQ(i == 0 ? 2u : 5u, d.contours.size());
        }
    }
    EXPECT_GT(pieces, polys.size());
}

// Several contours crossing, nested, touching or partly overlapping: what
// comes back is the even-odd region of all of them, every point of it
// inside one more outer contour than holes, and elsewhere in as many. In
// general position (real coordinates) the unlinked outer contours are the
// region's connected parts. Squares (0,0)-(4,4) and (2,2)-(6,6) first.
TEST(ContourDivider, RandomOverlappingContoursMatchExactArrangement)
{
    const std::vector<Ring> issue = {kSquare, {{2, 2}, {6, 2}, {6, 6}, {2, 6}}};
    for (unsigned seed = 0; seed <= 120; ++seed) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> real(0.0, 10.0);
        const bool general = seed % 2 == 1;
        std::vector<Ring> rings;
        if (seed == 0)
            rings = issue;
        for (size_t n = 2 + rng() % 3; rings.size() < n;) {
            if (general) { // a random quadrilateral or triangle, maybe crossing itself
                Ring q;
                for (int k = 0, m = 3 + static_cast<int>(rng() % 2); k < m; ++k)
                    q.push_back({real(rng), real(rng)});
                rings.push_back(q);
                continue;
            }
            // Rectangles on a grid: new, or the last one shifted so that
            // they share sides, cross, nest or just touch.
            const double x0 = rng() % 7, y0 = rng() % 7, w = 1 + rng() % 4, h = 1 + rng() % 4;
            Ring r = {{x0, y0}, {x0 + w, y0}, {x0 + w, y0 + h}, {x0, y0 + h}};
            if (!rings.empty() && rng() % 2) {
                const Ring& b = rings.back();
                const double dx = double(rng() % 3) - 1, dy = double(rng() % 3) - 1;
                r = {{b[0].x + dx, b[0].y}, {b[1].x, b[1].y + dy}, {b[2].x - dx, b[2].y}, {b[3].x, b[3].y - dy}};
                if (SignedArea(r) <= 0)
                    continue;
            }
            if (rng() % 2)
                std::reverse(r.begin(), r.end());
            rings.push_back(r);
        }
        const double area = CoverArea({rings}, 1);
        std::vector<XY> probes;
        for (int k = 0; k < 60; ++k)
            probes.push_back({real(rng) - 0.5, real(rng) - 0.5});
        for (int mode : {0, 1}) {
            SCOPED_TRACE("seed " + std::to_string(seed) + " mode " + std::to_string(mode));
            RecordingDivider d;
            d.BeginLoad(mode, 0);
            for (const Ring& r : rings)
                d.LoadPolygon(r);
            d.EndLoad();
            EXPECT_NEAR(area, CheckedArea(d), 1e-9);
            for (const XY& p : probes) {
                int depth = 0;
                for (const UnloadedContour& c : d.contours) {
                    Ring r;
                    for (const Unloaded& e : c.edges)
                        r.push_back({e.p1[0], e.p1[1]});
                    depth += InRing(r, p) ? (c.isHole ? -1 : 1) : 0;
                }
                int odd = 0;
                for (const Ring& r : rings)
                    odd ^= InRing(r, p) ? 1 : 0;
                EXPECT_EQ(odd, depth) << p.x << " " << p.y;
            }
            if (mode == 0 && (general || seed == 0)) {
                int outer = 0;
                for (const UnloadedContour& c : d.contours)
                    outer += !c.isHole;
                EXPECT_EQ(CoverParts({rings}, 1, false), outer);
            }
        }
    }
}

} // namespace

namespace {

// Whether two of the contours' edges cross at a point inside both.
bool AnyEdgesCross(const std::vector<UnloadedContour>& contours, double ox, double oy)
{
    std::vector<std::array<XY, 2>> edges;
    for (const UnloadedContour& c : contours)
        for (const Unloaded& e : c.edges)
            edges.push_back({XY{e.p1[0] - ox, e.p1[1] - oy}, XY{e.p2[0] - ox, e.p2[1] - oy}});
    auto side = [](XY o, XY p, XY q) {
        const double s = (p.x - o.x) * (q.y - o.y) - (p.y - o.y) * (q.x - o.x);
        return (s > 0) - (s < 0);
    };
    for (size_t i = 0; i < edges.size(); ++i)
        for (size_t j = i + 1; j < edges.size(); ++j) {
            const XY a = edges[i][0], b = edges[i][1], c = edges[j][0], d = edges[j][1];
            if (side(a, b, c) * side(a, b, d) < 0 && side(c, d, a) * side(c, d, b) < 0)
                return true;
        }
    return false;
}

} // namespace

// Rectangles on a coarse grid (sides along one line, shared corners, holes
// sharing sides), as drawn and as centimetre parts at site coordinates
// (a 1/64 grid at 5e6, still exact): the even-odd area comes back and no
// two contours cross. Crossing results whose types happened to balance (a
// hole reaching out of its outer contour into another one) were kept, and
// at site coordinates the turn of small results was misread.
TEST(ContourDivider, RandomGridRectanglesResolveIntoContoursThatDoNotCross)
{
    for (unsigned seed = 1; seed <= 300; ++seed) {
        std::mt19937 rng(seed);
        Region rects;
        for (int n = 2 + static_cast<int>(rng() % 5); static_cast<int>(rects.size()) < n;) {
            const double x0 = rng() % 7, y0 = rng() % 7;
            Ring r = {{x0, y0}, {x0 + 1 + rng() % (8 - int(x0)), y0}, {0, 0}, {x0, y0 + 1 + rng() % (8 - int(y0))}};
            r[2] = {r[1].x, r[3].y};
            if (rng() % 2)
                std::reverse(r.begin(), r.end());
            rects.push_back(r);
        }
        const double area = CoverArea({rects}, 1);
        for (const double scale : {1.0, 1.0 / 64}) {
            SCOPED_TRACE("seed " + std::to_string(seed) + " scale " + std::to_string(scale));
            const double origin = scale == 1.0 ? 0.0 : 5e6;
            RecordingDivider d;
            d.BeginLoad(0, 0);
            for (Ring r : rects) {
                for (XY& p : r)
                    p = {origin + p.x * scale, origin + p.y * scale};
                d.LoadPolygon(r);
            }
            d.EndLoad();
            double sum = 0.0;
            for (const UnloadedContour& c : d.contours)
                for (const Unloaded& e : c.edges)
                    sum += (e.p1[0] - origin) * (e.p2[1] - origin) - (e.p2[0] - origin) * (e.p1[1] - origin);
            EXPECT_EQ(area * scale * scale, std::fabs(sum / 2));
            EXPECT_FALSE(AnyEdgesCross(d.contours, origin, origin));
        }
    }
}

// Holes linked into rooms whose sides they share, the side of largest x
// among them: the linked contour passes the touching points twice, and its
// corners of largest x may be the hole's. Its turn was read at such a corner
// and the whole room came back turned like a hole.
TEST(ContourDivider, LinkedHolesOnTheRoomsRightSideKeepTheRoomsTurn)
{
    int failed = 0;
    for (unsigned seed = 1; seed <= 200; ++seed) {
        std::mt19937 rng(seed);
        const double w = 3 + rng() % 4, h = 4 + rng() % 4;
        Region rings = {{{0, 0}, {w, 0}, {w, h}, {0, h}}};
        for (double y = 1 + rng() % 2; y + 1 < h; y += 2 + rng() % 2) {
            const double x0 = rng() % 3 == 0 ? 0.0 : double(1 + rng() % (int(w) - 1));
            rings.push_back({{x0, y}, {w, y}, {w, y + 1}, {x0, y + 1}});
        }
        if (rng() % 2) // a neighbouring room on the other side of the wall
            rings.push_back({{w, 0}, {w + 2, 0}, {w + 2, h}, {w, h}});
        for (Ring& r : rings) {
            const size_t k = rng() % 4; // a door's jamb: a corner along a side
            r.insert(r.begin() + k + 1, {0.5 * (r[k].x + r[(k + 1) % 4].x), 0.5 * (r[k].y + r[(k + 1) % 4].y)});
            if (rng() % 2)
                std::reverse(r.begin(), r.end());
        }
        SCOPED_TRACE("seed " + std::to_string(seed));
        RecordingDivider d;
        d.BeginLoad(1, 0);
        for (const Ring& r : rings)
            d.LoadPolygon(r);
        d.EndLoad();
        const double area = CoverArea({rings}, 1);
        EXPECT_NEAR(area, CheckedArea(d), 1e-9);
        failed += std::fabs(area - CheckedArea(d)) > 1e-9;
    }
    EXPECT_EQ(0, failed);
}
