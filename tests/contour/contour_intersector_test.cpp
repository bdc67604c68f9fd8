#include "Geometry/contour/G3ContourIntersector.h"

#include "Geometry/contour/GPathLoader.h"
#include "contour/rect_cover.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

struct P2 {
    double x, y;
};

struct Delivered {
    int type = 0;
    int declared = 0;
    std::vector<P2> pts; // start point, then every segment's end
    std::vector<int> vis;
};

// Records the whole call sequence as text and the contours it carried.
class RecordingLoader : public GPathLoader {
public:
    std::vector<std::string> calls;
    std::vector<Delivered> contours;

    static std::string Fmt(const double* p)
    {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%g %g %g", p[0] + 0.0, p[1] + 0.0, p[2] + 0.0);
        return buf;
    }
    void PathBegin(int n) override { calls.push_back("Begin " + std::to_string(n)); }
    void PathSetPreferPlane(int i, int j) override
    {
        calls.push_back("Plane " + std::to_string(i) + " " + std::to_string(j));
    }
    void PathContourBegin(double* p, int n, CONTOUR_TYPE t) override
    {
        calls.push_back("Contour " + std::to_string(n) + " type " + std::to_string(t) + ": " + Fmt(p));
        Delivered d;
        d.type = t;
        d.declared = n;
        d.pts.push_back({p[0], p[1]});
        contours.push_back(d);
    }
    void PathContourSegmentTo(SEGMENT_TYPE t, SEGMENT_VISIBILITY v, int n, double* p) override
    {
        calls.push_back("To " + std::to_string(t) + " vis " + std::to_string(v) + " n " + std::to_string(n) + ": " +
                        Fmt(p));
        if (!contours.empty()) {
            contours.back().pts.push_back({p[0], p[1]});
            contours.back().vis.push_back(v);
        }
    }
    void PathContourEnd() override { calls.push_back("ContourEnd"); }
    void PathEnd() override { calls.push_back("End"); }
};

double SignedArea(const Delivered& d)
{
    double twice = 0.0;
    for (size_t k = 0; k + 1 < d.pts.size(); ++k)
        twice += d.pts[k].x * d.pts[k + 1].y - d.pts[k + 1].x * d.pts[k].y;
    return 0.5 * twice;
}

// Sum of signed areas; checks on the way what every delivery must keep:
// contours close, carry the declared number of segments, and turn the way
// their type says.
double CheckedArea(const RecordingLoader& r)
{
    double sum = 0.0;
    for (const Delivered& d : r.contours) {
        EXPECT_EQ(static_cast<size_t>(d.declared) + 1, d.pts.size());
        EXPECT_GE(d.declared, 3);
        EXPECT_EQ(d.pts.front().x, d.pts.back().x);
        EXPECT_EQ(d.pts.front().y, d.pts.back().y);
        const double a = SignedArea(d);
        if (d.type == CONTOUR_TYPE_HOLE)
            EXPECT_LT(a, 0.0);
        else
            EXPECT_GT(a, 0.0);
        sum += a;
    }
    return sum;
}

void Triangle(G3ContourIntersector& ci, P2 a, P2 b, P2 c, int flags = 1)
{
    double p[3] = {a.x, a.y, 0}, q[3] = {b.x, b.y, 0}, r[3] = {c.x, c.y, 0};
    ci.TriangleLoad(p, q, r, flags, flags, flags);
}

void Contour(G3ContourIntersector& ci, const std::vector<P2>& pts, int flags = 1)
{
    double p[3] = {pts[0].x, pts[0].y, 0};
    ci.ContourBeginLoad(p);
    for (size_t k = 1; k < pts.size(); ++k) {
        double q[3] = {pts[k].x, pts[k].y, 0};
        ci.ContourLoadSegment(q, SEGMENT_TYPE_LINE, flags);
    }
    ci.ContourEndLoad(SEGMENT_TYPE_LINE, flags);
}

// Runs one operation on two triangles.
RecordingLoader RunOn(BOOLEAN_OPERATION op, const std::vector<std::vector<P2>>& tris)
{
    RecordingLoader r;
    G3ContourIntersector ci;
    ci.SetPathLoader(&r);
    ci.LoadBegin(0, 1);
    for (const auto& t : tris)
        Triangle(ci, t[0], t[1], t[2]);
    ci.LoadEnd();
    ci.DoIntersect(op);
    return r;
}

TEST(ContourIntersector, OutOfProtocolCallsDoNothing)
{
    RecordingLoader r;
    G3ContourIntersector ci;
    ci.SetPathLoader(&r);
    double a[3] = {0, 0, 0}, b[3] = {1, 0, 0}, c[3] = {0, 1, 0};
    // Before LoadBegin.
    ci.TriangleLoad(a, b, c, 1, 1, 1);
    ci.ContourBeginLoad(a);
    ci.ContourLoadSegment(b, SEGMENT_TYPE_LINE, 1);
    ci.ContourEndLoad(SEGMENT_TYPE_LINE, 1);
    ci.LoadEnd();
    EXPECT_FALSE(ci.DoIntersect(BOOLEAN_OPERATION_UNION));
    // Nothing loaded; a segment with no open contour; one segment only.
    ci.LoadBegin(0, 1);
    ci.ContourLoadSegment(b, SEGMENT_TYPE_LINE, 1);
    EXPECT_FALSE(ci.DoIntersect(BOOLEAN_OPERATION_UNION));
    // A bad axis pair starts nothing.
    ci.LoadBegin(1, 1);
    ci.TriangleLoad(a, b, c, 1, 1, 1);
    EXPECT_FALSE(ci.DoIntersect(BOOLEAN_OPERATION_PIECES));
    // Loading after LoadEnd is ignored; DoIntersect forgets the load.
    ci.LoadBegin(0, 1);
    ci.LoadEnd();
    ci.TriangleLoad(a, b, c, 1, 1, 1);
    EXPECT_FALSE(ci.DoIntersect(BOOLEAN_OPERATION_UNION));
    ci.LoadBegin(0, 1);
    ci.TriangleLoad(a, b, c, 1, 1, 1);
    EXPECT_FALSE(ci.DoIntersect(static_cast<BOOLEAN_OPERATION>(7)));
    EXPECT_FALSE(ci.DoIntersect(BOOLEAN_OPERATION_UNION));
    EXPECT_TRUE(r.calls.empty());
    // Without a receiver nothing is sent, and the load is still forgotten.
    G3ContourIntersector none;
    none.LoadBegin(0, 1);
    none.TriangleLoad(a, b, c, 1, 1, 1);
    EXPECT_FALSE(none.DoIntersect(BOOLEAN_OPERATION_UNION));
    none.SetPathLoader(&r);
    EXPECT_FALSE(none.DoIntersect(BOOLEAN_OPERATION_UNION));
    EXPECT_TRUE(r.calls.empty());
}

TEST(ContourIntersector, NonFinitePointsAreRefused)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    RecordingLoader r;
    G3ContourIntersector ci;
    ci.SetPathLoader(&r);
    ci.LoadBegin(0, 1);
    double a[3] = {0, 0, 0}, b[3] = {4, 0, 0}, c[3] = {4, 4, 0}, d[3] = {0, 4, 0};
    double bad[3] = {nan, 0, 0}, far[3] = {2, inf, 0};
    ci.TriangleLoad(a, bad, c, 1, 1, 1); // not loaded
    ci.ContourBeginLoad(far);            // not opened
    ci.ContourLoadSegment(c, SEGMENT_TYPE_LINE, 1);
    ci.ContourBeginLoad(a);
    ci.ContourLoadSegment(b, SEGMENT_TYPE_LINE, 1);
    ci.ContourLoadSegment(bad, SEGMENT_TYPE_LINE, 1); // skipped
    ci.ContourLoadSegment(c, SEGMENT_TYPE_LINE, 1);
    ci.ContourLoadSegment(far, SEGMENT_TYPE_LINE, 1); // skipped
    ci.ContourLoadSegment(d, SEGMENT_TYPE_LINE, 1);
    ci.ContourEndLoad(SEGMENT_TYPE_LINE, 1);
    ci.LoadEnd();
    EXPECT_TRUE(ci.DoIntersect(BOOLEAN_OPERATION_UNION));
    ASSERT_EQ(1u, r.contours.size());
    EXPECT_DOUBLE_EQ(16.0, CheckedArea(r));
}

const std::vector<P2> kT1 = {{0, 0}, {4, 0}, {0, 4}};
const std::vector<P2> kT2 = {{1, 1}, {5, 1}, {1, 5}};

TEST(ContourIntersector, TwoOverlappingTrianglesUnderEachOperation)
{
    // Union: one outline of seven corners, counter-clockwise.
    RecordingLoader u = RunOn(BOOLEAN_OPERATION_UNION, {kT1, kT2});
    const std::vector<std::string> unionCalls = {
        "Begin 1",
        "Plane 0 1",
        "Contour 7 type 2: 0 0 0",
        "To 1 vis 1 n 1: 4 0 0",
        "To 1 vis 1 n 1: 3 1 0",
        "To 1 vis 1 n 1: 5 1 0",
        "To 1 vis 1 n 1: 1 5 0",
        "To 1 vis 1 n 1: 1 3 0",
        "To 1 vis 1 n 1: 0 4 0",
        "To 1 vis 1 n 1: 0 0 0",
        "ContourEnd",
        "End",
    };
    EXPECT_EQ(unionCalls, u.calls);
    EXPECT_DOUBLE_EQ(8.0 + 8.0 - 2.0, CheckedArea(u));

    // The common part: the triangle both cover.
    RecordingLoader c = RunOn(BOOLEAN_OPERATION_COMMON, {kT1, kT2});
    const std::vector<std::string> commonCalls = {
        "Begin 1",
        "Plane 0 1",
        "Contour 3 type 2: 1 1 0",
        "To 1 vis 1 n 1: 3 1 0",
        "To 1 vis 1 n 1: 1 3 0",
        "To 1 vis 1 n 1: 1 1 0",
        "ContourEnd",
        "End",
    };
    EXPECT_EQ(commonCalls, c.calls);

    // Pieces: each triangle less the overlap, and the overlap.
    RecordingLoader p = RunOn(BOOLEAN_OPERATION_PIECES, {kT1, kT2});
    ASSERT_EQ(3u, p.contours.size());
    std::vector<double> areas;
    for (const Delivered& d : p.contours) {
        EXPECT_EQ(CONTOUR_TYPE_OUTER, d.type);
        areas.push_back(SignedArea(d));
    }
    std::sort(areas.begin(), areas.end());
    EXPECT_DOUBLE_EQ(2.0, areas[0]);
    EXPECT_DOUBLE_EQ(6.0, areas[1]);
    EXPECT_DOUBLE_EQ(6.0, areas[2]);
    EXPECT_DOUBLE_EQ(14.0, CheckedArea(p));

    // Apart, the common part is empty and nothing is sent.
    RecordingLoader apart = RunOn(BOOLEAN_OPERATION_COMMON, {kT1, {{10, 10}, {11, 10}, {10, 11}}});
    EXPECT_TRUE(apart.calls.empty());
}

TEST(ContourIntersector, ContourWithHoleDeliversBoth)
{
    const std::vector<P2> outer = {{0, 0}, {4, 0}, {4, 4}, {0, 4}};
    const std::vector<P2> hole = {{1, 1}, {3, 1}, {3, 3}, {1, 3}}; // same turn as the outer
    for (BOOLEAN_OPERATION op : {BOOLEAN_OPERATION_PIECES, BOOLEAN_OPERATION_UNION}) {
        RecordingLoader r;
        G3ContourIntersector ci;
        ci.SetPathLoader(&r);
        ci.LoadBegin(0, 1);
        Contour(ci, outer);
        Contour(ci, hole, 0);
        ci.LoadEnd();
        EXPECT_TRUE(ci.DoIntersect(op));
        EXPECT_DOUBLE_EQ(12.0, CheckedArea(r));
        // Every corner of both contours is delivered.
        int corners = 0;
        for (const std::vector<P2>* ring : {&outer, &hole})
            for (const P2& q : *ring) {
                bool found = false;
                for (const Delivered& d : r.contours)
                    for (const P2& s : d.pts)
                        found = found || (s.x == q.x && s.y == q.y);
                corners += found;
            }
        EXPECT_EQ(8, corners);
        if (op == BOOLEAN_OPERATION_PIECES) {
            // The ring as its outline and its hole, the hole's sides as loaded
            // (invisible).
            ASSERT_EQ(2u, r.contours.size());
            EXPECT_EQ(CONTOUR_TYPE_OUTER, r.contours[0].type);
            EXPECT_EQ(CONTOUR_TYPE_HOLE, r.contours[1].type);
            for (int v : r.contours[1].vis)
                EXPECT_EQ(SEGMENT_INVISIBLE, v);
        } else {
            // The hole is joined to its outline.
            ASSERT_EQ(1u, r.contours.size());
        }
    }

    // A triangle filling the hole's middle is an island: the union keeps the
    // ring and the island; the pieces tell the ring's hole from the island.
    RecordingLoader r;
    G3ContourIntersector ci;
    ci.SetPathLoader(&r);
    ci.LoadBegin(0, 1);
    Contour(ci, outer);
    Contour(ci, hole);
    Triangle(ci, {1, 1}, {3, 1}, {1, 3}); // shares two sides with the hole
    ci.LoadEnd();
    EXPECT_TRUE(ci.DoIntersect(BOOLEAN_OPERATION_PIECES));
    EXPECT_DOUBLE_EQ(14.0, CheckedArea(r));
}

TEST(ContourIntersector, OtherProjectionPlanes)
{
    // A triangle seen in the y-z plane: x is dropped, the turn is read from
    // y towards z, and invisible sides stay invisible.
    RecordingLoader r;
    G3ContourIntersector ci;
    ci.SetPathLoader(&r);
    ci.LoadBegin(1, 2);
    double a[3] = {7, 0, 0}, b[3] = {-3, 4, 0}, c[3] = {1, 0, 4};
    ci.TriangleLoad(a, c, b, 0, 0, 0);
    EXPECT_TRUE(ci.DoIntersect(BOOLEAN_OPERATION_UNION));
    const std::vector<std::string> want = {"Begin 1", "Plane 1 2", "Contour 3 type 2: 0 0 0", "To 1 vis 0 n 1: 0 4 0",
                                           "To 1 vis 0 n 1: 0 0 4", "To 1 vis 0 n 1: 0 0 0", "ContourEnd", "End"};
    EXPECT_EQ(want, r.calls);
}

// ---- randomized: triangle pairs against exact convex clipping

double PolyArea(const std::vector<P2>& p)
{
    double twice = 0.0;
    for (size_t k = 0; k < p.size(); ++k)
        twice += p[k].x * p[(k + 1) % p.size()].y - p[(k + 1) % p.size()].x * p[k].y;
    return 0.5 * twice;
}

// Sutherland-Hodgman: the part of `subject` inside the convex
// counter-clockwise `clip`.
std::vector<P2> ClipConvex(std::vector<P2> subject, const std::vector<P2>& clip)
{
    for (size_t k = 0; k < clip.size() && !subject.empty(); ++k) {
        const P2 a = clip[k];
        const P2 b = clip[(k + 1) % clip.size()];
        auto side = [&](P2 p) { return (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x); };
        std::vector<P2> out;
        for (size_t m = 0; m < subject.size(); ++m) {
            const P2 p = subject[m];
            const P2 q = subject[(m + 1) % subject.size()];
            const double sp = side(p), sq = side(q);
            if (sp >= 0)
                out.push_back(p);
            if ((sp >= 0) != (sq >= 0)) {
                const double t = sp / (sp - sq);
                out.push_back({p.x + t * (q.x - p.x), p.y + t * (q.y - p.y)});
            }
        }
        subject.swap(out);
    }
    return subject;
}

std::vector<P2> Ccw(std::vector<P2> t)
{
    if (PolyArea(t) < 0)
        std::swap(t[1], t[2]);
    return t;
}

TEST(ContourIntersector, RandomTrianglePairsMatchConvexClipping)
{
    for (unsigned seed : {1u, 2u, 3u}) {
        std::mt19937 rng(seed);
        // Coordinates on a half-unit grid, so edges often share lines,
        // vertices and directions.
        std::uniform_int_distribution<int> coord(0, 12);
        std::uniform_int_distribution<int> mode(0, 5);
        auto pt = [&]() { return P2{coord(rng) * 0.5, coord(rng) * 0.5}; };
        int tested = 0;
        for (int iter = 0; iter < 150; ++iter) {
            std::vector<P2> t1 = {pt(), pt(), pt()};
            if (std::fabs(PolyArea(t1)) < 0.25)
                continue;
            std::vector<P2> t2 = {pt(), pt(), pt()};
            switch (mode(rng)) {
            case 0: // a shared vertex
                t2[0] = t1[1];
                break;
            case 1: // a shared side, the other triangle on either side
                t2[0] = t1[0];
                t2[1] = t1[1];
                break;
            case 2: // the same triangle
                t2 = t1;
                break;
            case 3: // a vertex in the middle of a side
                t2[0] = {0.5 * (t1[0].x + t1[2].x), 0.5 * (t1[0].y + t1[2].y)};
                break;
            case 4: // a side along a side's line
                t2[0] = {2 * t1[1].x - t1[0].x, 2 * t1[1].y - t1[0].y};
                t2[1] = {0.5 * (t1[0].x + t1[1].x), 0.5 * (t1[0].y + t1[1].y)};
                break;
            default:
                break;
            }
            if (std::fabs(PolyArea(t2)) < 0.25)
                continue;
            ++tested;
            const double a1 = std::fabs(PolyArea(t1));
            const double a2 = std::fabs(PolyArea(t2));
            const double common = std::fabs(PolyArea(ClipConvex(Ccw(t1), Ccw(t2))));
            const std::string where = "seed " + std::to_string(seed) + " iter " + std::to_string(iter);

            RecordingLoader u = RunOn(BOOLEAN_OPERATION_UNION, {t1, t2});
            EXPECT_NEAR(a1 + a2 - common, CheckedArea(u), 1e-9) << where;
            RecordingLoader p = RunOn(BOOLEAN_OPERATION_PIECES, {t1, t2});
            EXPECT_NEAR(a1 + a2 - common, CheckedArea(p), 1e-9) << where;
            // Two triangles make at most 3 + 3 + 1 faces (each less the
            // other falls in at most three, as in a six-pointed star).
            EXPECT_LE(p.contours.size(), 7u) << where;
            RecordingLoader c = RunOn(BOOLEAN_OPERATION_COMMON, {t1, t2});
            EXPECT_NEAR(common, CheckedArea(c), 1e-9) << where;
            if (common < 1e-9) {
                EXPECT_TRUE(c.calls.empty()) << where;
            }
        }
        EXPECT_GT(tested, 60);
    }
}

// ---- randomized: rectangles against an exact grid count

TEST(ContourIntersector, RandomRectanglesMatchExactCover)
{
    for (unsigned seed = 11; seed < 31; ++seed) {
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> coord(0, 8);
        std::uniform_int_distribution<int> count(2, 7);
        std::vector<std::vector<double>> rects;
        const int n = count(rng);
        while (static_cast<int>(rects.size()) < n) {
            int x0 = coord(rng), x1 = coord(rng), y0 = coord(rng), y1 = coord(rng);
            if (x0 == x1 || y0 == y1)
                continue;
            rects.push_back({double(std::min(x0, x1)), double(std::min(y0, y1)), double(std::max(x0, x1)),
                             double(std::max(y0, y1))});
            // Now and then one nested inside the last, touching it or not:
            // holes and islands.
            const auto& o = rects.back();
            if (rng() % 3 == 0 && o[2] - o[0] >= 2 && o[3] - o[1] >= 2) {
                const double inset = rng() % 2 ? 0.5 : 0.0;
                rects.push_back({o[0] + 0.5, o[1] + inset, o[2] - 0.5, o[3] - 0.5});
            }
        }
        const std::string where = "seed " + std::to_string(seed);
        // As contours (even-odd), each loaded with a random turn.
        for (BOOLEAN_OPERATION op : {BOOLEAN_OPERATION_UNION, BOOLEAN_OPERATION_PIECES}) {
            RecordingLoader r;
            G3ContourIntersector ci;
            ci.SetPathLoader(&r);
            ci.LoadBegin(0, 1);
            for (const auto& q : rects) {
                std::vector<P2> ring = {{q[0], q[1]}, {q[2], q[1]}, {q[2], q[3]}, {q[0], q[3]}};
                if (rng() % 2)
                    std::reverse(ring.begin(), ring.end());
                Contour(ci, ring);
            }
            ci.LoadEnd();
            ci.DoIntersect(op);
            EXPECT_NEAR(RectCoverArea(rects, true), CheckedArea(r), 1e-9) << where << " op " << op;
        }
        // As two triangles each (union cover): their diagonals are sides
        // both inside.
        for (BOOLEAN_OPERATION op : {BOOLEAN_OPERATION_UNION, BOOLEAN_OPERATION_PIECES}) {
            std::vector<std::vector<P2>> tris;
            for (const auto& q : rects) {
                tris.push_back({{q[0], q[1]}, {q[2], q[1]}, {q[2], q[3]}});
                tris.push_back({{q[0], q[1]}, {q[2], q[3]}, {q[0], q[3]}});
            }
            RecordingLoader r = RunOn(op, tris);
            EXPECT_NEAR(RectCoverArea(rects, false), CheckedArea(r), 1e-9) << where << " op " << op;
        }
    }
}

} // namespace
