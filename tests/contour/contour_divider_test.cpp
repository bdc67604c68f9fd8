#include "Geometry/contour/G3ContourDivider.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GRandom.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/processing/G3EdgeList.h"
#include "contour/rect_cover.h"
#include "mesh/mesh_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

struct XY {
    double x, y;
};

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

// Records the unload protocol: the call sequence as text and the contours.
class RecordingDivider : public G3ContourDivider {
public:
    std::vector<std::string> calls;
    std::vector<UnloadedContour> contours;

    void BeginUnload() override { calls.push_back("BeginUnload"); }
    void BeginUnloadContour(int n, bool hole) override
    {
        calls.push_back("BeginContour " + std::to_string(n) + (hole ? " hole" : " outer"));
        contours.push_back(UnloadedContour{n, hole, {}});
    }
    void UnloadEdge(double* p1, int j1, double* p2, int j2, int flags, unsigned long t1, unsigned long t2) override
    {
        calls.push_back("Edge");
        Unloaded u{{p1[0], p1[1], p1[2]}, {p2[0], p2[1], p2[2]}, j1, j2, flags, t1, t2};
        if (!contours.empty())
            contours.back().edges.push_back(u);
    }
    void EndUnloadContour() override { calls.push_back("EndContour"); }
    void EndUnload() override { calls.push_back("EndUnload"); }

    using G3ContourDivider::GetSignOfOrientedSquare;
    using G3ContourDivider::ReverseContourFlags;

    // One closed contour through pts, edge k with flags[k] (1 when empty);
    // point k is tagged 100 + k at both edges meeting there.
    void LoadPolygon(const std::vector<XY>& pts, const std::vector<int>& flags = {})
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

// Every contour closes: each edge starts where the one before it ends.
bool Closed(const UnloadedContour& c)
{
    for (size_t k = 0; k < c.edges.size(); ++k) {
        const Unloaded& a = c.edges[k];
        const Unloaded& b = c.edges[(k + 1) % c.edges.size()];
        if (a.p2[0] != b.p1[0] || a.p2[1] != b.p1[1])
            return false;
    }
    return !c.edges.empty();
}

const std::vector<XY> kSquare = {{0, 0}, {4, 0}, {4, 4}, {0, 4}};
const std::vector<XY> kHole = {{1, 1}, {3, 1}, {3, 3}, {1, 3}};

TEST(ContourDivider, NothingLoadedOrOutOfProtocolUnloadsNothing)
{
    RecordingDivider d;
    d.EndLoad(); // never begun
    d.BeginLoad(1, 0);
    d.EndLoad(); // begun, nothing loaded
    EXPECT_TRUE(d.calls.empty());

    // Edges before BeginLoad, or with no contour open, are ignored.
    RecordingDivider e;
    double a[3] = {0, 0, 0}, b[3] = {1, 0, 0};
    e.BeginLoadContour();
    e.LoadEdge(a, b, 1, 0, 0);
    e.EndLoadContour();
    e.BeginLoad(1, 0);
    e.LoadEdge(a, b, 1, 0, 0);
    e.LoadEdge(nullptr, b, 1, 0, 0);
    e.BeginLoadContour();
    e.EndLoadContour(); // empty contour is dropped
    e.EndLoad();
    EXPECT_TRUE(e.calls.empty());

    // A second BeginLoad drops what the first loaded.
    RecordingDivider f;
    f.BeginLoad(1, 0);
    f.LoadPolygon(kSquare);
    f.BeginLoad(1, 0);
    f.EndLoad();
    EXPECT_TRUE(f.calls.empty());
}

TEST(ContourDivider, NonFiniteEdgesAreRefused)
{
    RecordingDivider d;
    d.BeginLoad(1, 0);
    d.BeginLoadContour();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    double bad1[3] = {nan, 0, 0}, bad2[3] = {0, inf, 0}, ok[3] = {2, 2, 0};
    d.LoadEdge(bad1, ok, 1, 0, 0);
    d.LoadEdge(ok, bad2, 1, 0, 0);
    for (size_t k = 0; k < kSquare.size(); ++k) {
        double a[3] = {kSquare[k].x, kSquare[k].y, 0};
        double b[3] = {kSquare[(k + 1) % 4].x, kSquare[(k + 1) % 4].y, 0};
        d.LoadEdge(a, b, 1, 0, 0);
    }
    d.EndLoadContour();
    d.EndLoad();
    ASSERT_EQ(1u, d.contours.size());
    EXPECT_EQ(4, d.contours[0].edgeCount);
    EXPECT_DOUBLE_EQ(16.0, std::fabs(Area(d.contours[0])));
}

TEST(ContourDivider, CounterClockwiseSquareComesBackInLoadOrder)
{
    RecordingDivider d;
    d.BeginLoad(1, 0);
    d.LoadPolygon(kSquare);
    d.EndLoad();
    const std::vector<std::string> want = {"BeginUnload", "BeginContour 4 outer", "Edge", "Edge", "Edge", "Edge",
                                           "EndContour", "EndUnload"};
    EXPECT_EQ(want, d.calls);
    ASSERT_EQ(1u, d.contours.size());
    for (size_t k = 0; k < 4; ++k) {
        const Unloaded& e = d.contours[0].edges[k];
        EXPECT_EQ(kSquare[k].x, e.p1[0]);
        EXPECT_EQ(kSquare[k].y, e.p1[1]);
        EXPECT_EQ(kSquare[(k + 1) % 4].x, e.p2[0]);
        EXPECT_EQ(kSquare[(k + 1) % 4].y, e.p2[1]);
        EXPECT_EQ(2, e.join1);
        EXPECT_EQ(2, e.join2);
        EXPECT_EQ(1, e.flags);
        // Tags arrive unchanged on a contour that is not reversed.
        EXPECT_EQ(100 + k, e.tag1);
        EXPECT_EQ(100 + (k + 1) % 4, e.tag2);
    }
    // The load is forgotten: a second EndLoad unloads nothing.
    d.calls.clear();
    d.EndLoad();
    EXPECT_TRUE(d.calls.empty());
}

TEST(ContourDivider, FigureEightGivesTwoContours)
{
    RecordingDivider d;
    d.BeginLoad(1, 0);
    d.LoadPolygon({{0, 0}, {2, 2}, {2, 0}, {0, 2}});
    d.EndLoad();
    ASSERT_EQ(2u, d.contours.size());
    for (const UnloadedContour& c : d.contours) {
        EXPECT_FALSE(c.isHole);
        EXPECT_EQ(3, c.edgeCount);
        EXPECT_TRUE(Closed(c));
        EXPECT_DOUBLE_EQ(1.0, std::fabs(Area(c)));
    }
    // Both outer contours turn the same way.
    EXPECT_GT(Area(d.contours[0]) * Area(d.contours[1]), 0.0);
}

TEST(ContourDivider, SameOrientedHoleIsReversedWithoutTags)
{
    RecordingDivider d;
    d.BeginLoad(0, 0); // holes stay contours of their own
    d.LoadPolygon(kSquare);
    d.LoadPolygon(kHole);
    d.EndLoad();
    ASSERT_EQ(2u, d.contours.size());
    const UnloadedContour& outer = d.contours[0];
    const UnloadedContour& hole = d.contours[1];
    EXPECT_FALSE(outer.isHole);
    EXPECT_TRUE(hole.isHole);
    EXPECT_GT(Area(outer), 0.0);
    EXPECT_LT(Area(hole), 0.0);
    for (size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(100 + k, outer.edges[k].tag1);
        // Reversed: from the last loaded edge to the first, ends swapped.
        const Unloaded& e = hole.edges[k];
        EXPECT_EQ(0u, e.tag1);
        EXPECT_EQ(0u, e.tag2);
        EXPECT_EQ(kHole[(4 - k) % 4].x, e.p1[0]);
        EXPECT_EQ(kHole[(4 - k) % 4].y, e.p1[1]);
        EXPECT_EQ(kHole[3 - k].x, e.p2[0]);
        EXPECT_EQ(kHole[3 - k].y, e.p2[1]);
    }

    // A hole loaded the other way round keeps its order and its tags.
    RecordingDivider r;
    r.BeginLoad(0, 0);
    r.LoadPolygon(kSquare);
    r.LoadPolygon({kHole[0], kHole[3], kHole[2], kHole[1]});
    r.EndLoad();
    ASSERT_EQ(2u, r.contours.size());
    EXPECT_LT(Area(r.contours[1]), 0.0);
    for (size_t k = 0; k < 4; ++k)
        EXPECT_EQ(100 + k, r.contours[1].edges[k].tag1);

    // Linked (mode 1), the hole joins its outer contour: one contour of the
    // ring's area.
    RecordingDivider l;
    l.BeginLoad(1, 0);
    l.LoadPolygon(kSquare);
    l.LoadPolygon(kHole);
    l.EndLoad();
    ASSERT_EQ(1u, l.contours.size());
    EXPECT_FALSE(l.contours[0].isHole);
    EXPECT_DOUBLE_EQ(12.0, Area(l.contours[0]));
}

TEST(ContourDivider, JoinsMarkBreaksBetweenUnlikeEdges)
{
    // Edge 1 carries flag bits 0x10 its visible neighbours lack; edge 3 is
    // invisible.
    RecordingDivider d;
    d.BeginLoad(1, 0);
    d.LoadPolygon(kSquare, {1, 1 | 0x10, 1, 0});
    d.EndLoad();
    ASSERT_EQ(1u, d.contours.size());
    const std::vector<Unloaded>& e = d.contours[0].edges;
    ASSERT_EQ(4u, e.size());
    EXPECT_EQ(1, e[0].join1); // a visible edge after the invisible one
    EXPECT_EQ(1, e[0].join2); // bits 0x70 differ from edge 1
    EXPECT_EQ(1, e[1].join1);
    EXPECT_EQ(1, e[1].join2);
    EXPECT_EQ(1, e[2].join1);
    EXPECT_EQ(1, e[2].join2); // before the invisible one
    EXPECT_EQ(2, e[3].join1); // an invisible edge never breaks
    EXPECT_EQ(2, e[3].join2);
    // A form-making edge after an invisible one continues smoothly.
    G3Surface s;
    G3Vertex* a = s.AddVertex(0, 0, 0, 0);
    G3Vertex* b = s.AddVertex(1, 0, 0, 0);
    G3Edge inv(a, b), formMaking(a, b);
    inv.SetFlags(0);
    formMaking.SetFlags(G3Edge::FLAG_VISIBLE | G3Edge::FLAG_FORM_MAKING);
    EXPECT_EQ(2, G3ContourDivider::Join(&inv, &formMaking));
    EXPECT_EQ(2, G3ContourDivider::Join(&formMaking, &inv));
    inv.SetFlags(G3Edge::FLAG_VISIBLE | 0x40);
    EXPECT_EQ(1, G3ContourDivider::Join(&inv, &formMaking));
    inv.SetFlags(G3Edge::FLAG_VISIBLE | 0x80); // outside the compared bits
    EXPECT_EQ(2, G3ContourDivider::Join(&inv, &formMaking));
}

TEST(ContourDivider, ReverseShiftsFormMakingFlagsAlong)
{
    G3Surface s;
    std::vector<G3Vertex*> v;
    for (const XY& p : kSquare)
        v.push_back(s.AddVertex(p.x, p.y, 0, 0));
    int flags[4] = {G3Edge::FLAG_FORM_MAKING | 1, 1, G3Edge::FLAG_FORM_MAKING, G3Edge::FLAG_FORM_MAKING | 0x20};
    G3EdgeList c(4, v.data(), flags, nullptr, nullptr, 1, 1);
    RecordingDivider::ReverseContourFlags(&c);
    EXPECT_EQ(1, c.GetEdge(0)->GetFlags());
    EXPECT_EQ(1 | G3Edge::FLAG_FORM_MAKING, c.GetEdge(1)->GetFlags());
    EXPECT_EQ(0, c.GetEdge(2)->GetFlags());
    EXPECT_EQ(G3Edge::FLAG_FORM_MAKING | 0x20, c.GetEdge(3)->GetFlags());
    EXPECT_EQ("", MeshCheck(&s));
}

TEST(ContourDivider, OrientationSignLooksPastStraightCorners)
{
    G3Surface s;
    // The first vertex of largest x, (2, 1), has a straight corner with its
    // predecessor (2, 0); the sign comes from (0, 0) further back.
    std::vector<XY> pts = {{0, 0}, {2, 0}, {2, 1}, {2, 2}, {0, 2}};
    std::vector<G3Vertex*> v;
    for (const XY& p : pts)
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
    std::vector<G3Vertex*> flat = {v[0], v[1]};
    G3EdgeList line(2, flat.data(), nullptr, nullptr, nullptr, 1, 1);
    EXPECT_EQ(0, RecordingDivider::GetSignOfOrientedSquare(&line));
}

// The resolution of one contour's edge list, done directly.
std::vector<std::vector<XY>> ResolveDirectly(const std::vector<XY>& pts)
{
    G3Surface s;
    G3EdgeList list(1, 1);
    for (size_t k = 0; k < pts.size(); ++k) {
        G3Vertex* a = s.AddVertex(pts[k].x, pts[k].y, 0, 0);
        G3Vertex* b = s.AddVertex(pts[(k + 1) % pts.size()].x, pts[(k + 1) % pts.size()].y, 0, 0);
        list.AddEdge(a, b, nullptr, nullptr, nullptr, nullptr, 1);
    }
    list.FormMaxPlaneCoo();
    GArrayCollection out;
    list.RemoveSelfIntersections(&out, &s, false, UNION_EDGE_BY_SIDES, 0);
    G3EdgeList::RemeshContours(&s, &out, true, 0);
    std::vector<std::vector<XY>> result;
    for (int k = 0; k < out.size(); ++k) {
        G3EdgeList* c = static_cast<G3EdgeList*>(out.get(k));
        std::vector<XY> ring;
        for (int m = 0; m < c->size(); ++m)
            ring.push_back({c->GetEdge(m)->GetVertex1()->GetX(), c->GetEdge(m)->GetVertex1()->GetY()});
        result.push_back(ring);
        delete c;
    }
    return result;
}

TEST(ContourDivider, PentagramMatchesDirectResolution)
{
    std::vector<XY> star;
    for (int k = 0; k < 5; ++k) {
        const double a = M_PI / 2 + k * 4 * M_PI / 5;
        star.push_back({10 * std::cos(a), 10 * std::sin(a)});
    }
    const std::vector<std::vector<XY>> direct = ResolveDirectly(star);
    RecordingDivider d;
    d.BeginLoad(1, 0);
    d.LoadPolygon(star);
    d.EndLoad();
    ASSERT_EQ(direct.size(), d.contours.size());
    ASSERT_FALSE(direct.empty());
    for (size_t k = 0; k < direct.size(); ++k) {
        const UnloadedContour& c = d.contours[k];
        ASSERT_EQ(direct[k].size(), c.edges.size());
        EXPECT_TRUE(Closed(c));
        // The same ring, in its own order or (when turned) reversed.
        const size_t n = c.edges.size();
        bool same = true, reversed = true;
        for (size_t m = 0; m < n; ++m) {
            same = same && c.edges[m].p1[0] == direct[k][m].x && c.edges[m].p1[1] == direct[k][m].y;
            const XY& r = direct[k][(n - m) % n];
            reversed = reversed && c.edges[m].p1[0] == r.x && c.edges[m].p1[1] == r.y;
        }
        EXPECT_TRUE(same || reversed) << "contour " << k;
    }
}

} // namespace

namespace {

// Nested and side-by-side rectangles on an integer grid: children inside
// their parent, touching its sides or not, siblings apart or sharing sides
// and corners. No two cross.
void Laminar(std::mt19937& rng, double x0, double y0, double x1, double y1, int depth,
             std::vector<std::vector<double>>& out)
{
    if (x1 <= x0 || y1 <= y0)
        return;
    out.push_back({x0, y0, x1, y1});
    if (depth == 0)
        return;
    // Split the inside into up to two columns, each maybe holding a child.
    const double w = x1 - x0;
    const double h = y1 - y0;
    if (w < 4 || h < 4)
        return;
    const double inset = rng() % 3 == 0 ? 0.0 : 1.0; // 0: touching the parent
    const double mid = x0 + std::floor(w / 2);
    if (rng() % 4 != 0)
        Laminar(rng, x0 + inset, y0 + 1, mid, y1 - inset, depth - 1, out);
    if (rng() % 2 == 0)
        Laminar(rng, mid + (rng() % 2), y0 + 1, x1 - 1, y1 - 1, depth - 1, out);
}

TEST(ContourDivider, RandomNestedRectanglesKeepEvenOddAreaAndOneTurnRule)
{
    for (unsigned seed = 1; seed <= 25; ++seed) {
        std::mt19937 rng(seed);
        std::vector<std::vector<double>> rects;
        Laminar(rng, 0, 0, 24, 16, 3, rects);
        if (rng() % 2)
            Laminar(rng, 24, 0, 32, 8, 1, rects); // beside the first, sharing a side
        const std::string where = "seed " + std::to_string(seed);

        for (int mode : {0, 1}) {
            RecordingDivider d;
            d.BeginLoad(mode, 0);
            std::vector<bool> turned;
            for (const auto& r : rects) {
                std::vector<XY> ring = {{r[0], r[1]}, {r[2], r[1]}, {r[2], r[3]}, {r[0], r[3]}};
                turned.push_back(rng() % 2 == 1);
                if (turned.back())
                    std::reverse(ring.begin(), ring.end());
                d.LoadPolygon(ring);
            }
            d.EndLoad();
            // Outer contours all turn one way, holes the other: the signed
            // sum is the even-odd area up to the common sign.
            double sum = 0.0;
            int outerSign = 0;
            for (const UnloadedContour& c : d.contours) {
                EXPECT_TRUE(Closed(c)) << where;
                EXPECT_EQ(static_cast<size_t>(c.edgeCount), c.edges.size()) << where;
                const double a = Area(c);
                const int s = (a > 0) - (a < 0);
                const int want = c.isHole ? -outerSign : outerSign;
                if (outerSign == 0)
                    outerSign = c.isHole ? -s : s;
                else
                    EXPECT_EQ(want, s) << where;
                sum += a;
            }
            EXPECT_NEAR(RectCoverArea(rects, true), std::fabs(sum), 1e-9) << where << " mode " << mode;
            if (mode == 0) {
                // Unlinked, every rectangle comes back once: tags whenever
                // it is unloaded in its own order, none when reversed.
                EXPECT_EQ(rects.size(), d.contours.size()) << where;
                for (const UnloadedContour& c : d.contours)
                    for (size_t k = 0; k < c.edges.size(); ++k) {
                        const bool tagged = c.edges[k].tag1 != 0;
                        EXPECT_EQ(tagged, c.edges[k].tag2 != 0) << where;
                        EXPECT_EQ(tagged, c.edges[0].tag1 != 0) << where;
                    }
            } else {
                EXPECT_LE(d.contours.size(), rects.size()) << where;
            }
        }
    }
}

} // namespace

namespace {

// Even-odd area of a closed polygon, exactly up to rounding: in every
// vertical slab between consecutive x of vertices and crossings no two
// sides cross, so the sides spanning it pair up from the bottom.
double EvenOddPolygonArea(const std::vector<XY>& p)
{
    const size_t n = p.size();
    std::vector<double> xs;
    for (size_t a = 0; a < n; ++a) {
        xs.push_back(p[a].x);
        const XY a1 = p[a], a2 = p[(a + 1) % n];
        for (size_t b = a + 1; b < n; ++b) {
            const XY b1 = p[b], b2 = p[(b + 1) % n];
            const double den = (a2.x - a1.x) * (b2.y - b1.y) - (a2.y - a1.y) * (b2.x - b1.x);
            if (den == 0)
                continue;
            const double t = ((b1.x - a1.x) * (b2.y - b1.y) - (b1.y - a1.y) * (b2.x - b1.x)) / den;
            const double u = ((b1.x - a1.x) * (a2.y - a1.y) - (b1.y - a1.y) * (a2.x - a1.x)) / den;
            if (t > 0 && t < 1 && u > 0 && u < 1)
                xs.push_back(a1.x + t * (a2.x - a1.x));
        }
    }
    std::sort(xs.begin(), xs.end());
    double area = 0.0;
    for (size_t s = 0; s + 1 < xs.size(); ++s) {
        const double x0 = xs[s], x1 = xs[s + 1];
        if (x1 <= x0)
            continue;
        const double xm = 0.5 * (x0 + x1);
        std::vector<std::vector<double>> spans; // y at mid, at x0, at x1
        for (size_t a = 0; a < n; ++a) {
            const XY q1 = p[a], q2 = p[(a + 1) % n];
            if (std::min(q1.x, q2.x) > x0 || std::max(q1.x, q2.x) < x1 || q1.x == q2.x)
                continue;
            auto at = [&](double x) { return q1.y + (x - q1.x) * (q2.y - q1.y) / (q2.x - q1.x); };
            spans.push_back({at(xm), at(x0), at(x1)});
        }
        std::sort(spans.begin(), spans.end());
        for (size_t k = 0; k + 1 < spans.size(); k += 2)
            area += 0.5 * ((spans[k + 1][1] - spans[k][1]) + (spans[k + 1][2] - spans[k][2])) * (x1 - x0);
    }
    return area;
}

TEST(ContourDivider, RandomSelfCrossingPolygonsKeepEvenOddArea)
{
    int pieces = 0;
    for (unsigned seed = 1; seed <= 60; ++seed) {
        std::mt19937 rng(seed);
        // A small grid: repeated points, sides through vertices and sides
        // along one line are common.
        const int grid = seed % 2 ? 6 : 20;
        const int m = 4 + static_cast<int>(rng() % 6);
        std::vector<XY> poly;
        for (int k = 0; k < m; ++k) {
            const XY q = {double(rng() % (grid + 1)), double(rng() % (grid + 1))};
            if (poly.empty() || q.x != poly.back().x || q.y != poly.back().y)
                poly.push_back(q);
        }
        if (poly.size() < 3)
            continue;
        RecordingDivider d;
        d.BeginLoad(seed % 3 == 0 ? 0 : 1, 0);
        d.LoadPolygon(poly);
        d.EndLoad();
        double sum = 0.0;
        for (const UnloadedContour& c : d.contours) {
            EXPECT_TRUE(Closed(c)) << "seed " << seed;
            sum += Area(c);
        }
        pieces += static_cast<int>(d.contours.size());
        EXPECT_NEAR(EvenOddPolygonArea(poly), std::fabs(sum), 1e-9) << "seed " << seed;
    }
    EXPECT_GT(pieces, 60);
}

} // namespace
