#include "Geometry/contour/G3PolylineClipper.h"

#include "Geometry/math/GTolerance.h"
#include "contour/contour_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

class RecordingLineLoader : public GLineLoader {
public:
    std::vector<std::string> pieces;
    std::vector<std::array<double, 6>> ends;
    void LineLoad(const double* f, const double* t) override
    {
        pieces.push_back(Fmt(f, 3) + " -> " + Fmt(t, 3));
        ends.push_back({f[0], f[1], f[2], t[0], t[1], t[2]});
    }
};

// Loads polylines: each contour's start, then one visible straight segment
// per further point.
void Load(GPathLoader& loader, const std::vector<Ring>& contours)
{
    loader.PathBegin(static_cast<int>(contours.size()));
    for (const Ring& contour : contours) {
        double p[3] = {contour[0].x, contour[0].y, 0};
        loader.PathContourBegin(p, static_cast<int>(contour.size()), CONTOUR_TYPE_OUTER);
        for (std::size_t k = 1; k < contour.size(); ++k) {
            double q[3] = {contour[k].x, contour[k].y, 0};
            loader.PathContourSegmentTo(SEGMENT_TYPE_LINE, SEGMENT_VISIBLE, 1, q);
        }
        loader.PathContourEnd();
    }
    loader.PathEnd();
}

} // namespace

TEST(PolylineClipper, UnclippedPathPassesFirstVerticesAndDropsTypes)
{
    G3PolylineClipper clipper(-10, -10, 10, 10);
    Load(clipper, {{{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}}});
    // An invisible two-vertex segment: only its first vertex is passed on.
    double two[6] = {5, 5, 0, 6, 6, 0};
    clipper.PathContourSegmentTo(SEGMENT_TYPE_LINE, SEGMENT_INVISIBLE, 2, two);
    PathRecorder r;
    EXPECT_TRUE(clipper.DoClip(&r, 0));
    const std::vector<std::string> want = {
        "Begin 1", "Contour 6 type 0: 0 0 0 > 1 0 0 > 1 1 0 > 0 1 0 > 0 0 0 ~ 5 5 0", "ContourEnd", "End"};
    EXPECT_EQ(r.calls, want);
}

TEST(PolylineClipper, WindowSidesCutContoursWithInvisibleBorderPieces)
{
    const int kAll = 0x1 | 0x2 | 0x10000 | 0x20000;
    struct Case {
        const char* what;
        double window[4];
        int code;
        std::vector<Ring> in;
        std::vector<std::string> out; // the contours sent, "" when DoClip fails
    } cases[] = {
        {"min x through the middle, starting outside: closed along the border", {0, -5, 5, 5}, 0x1,
         {{{-1, -1}, {1, -1}, {1, 1}, {-1, 1}, {-1, -1}}},
         {"Contour 5 type 0: 0 -1 0 > 1 -1 0 > 1 1 0 > 0 1 0 ~ 0 -1 0"}},
        {"starting inside: the re-entry crossing follows the exit", {0, -5, 5, 5}, 0x1,
         {{{1, -1}, {1, 1}, {-1, 1}, {-1, -1}, {1, -1}}},
         {"Contour 5 type 0: 1 -1 0 > 1 1 0 > 0 1 0 ~ 0 -1 0 > 1 -1 0"}},
        {"a border point reached from outside is not drawn from the border", {0, -5, 5, 5}, 0x1,
         {{{1, 0}, {-1, 0}, {0, 1}, {1, 0}}}, {"Contour 4 type 0: 1 0 0 > 0 0 0 ~ 0 1 0 > 1 0 0"}},
        {"all four sides leave an octagon", {-2, -2, 2, 2}, kAll,
         {{{0, -3}, {3, 0}, {0, 3}, {-3, 0}, {0, -3}}},
         {"Contour 9 type 0: 1 -2 0 > 2 -1 0 ~ 2 1 0 > 1 2 0 ~ -1 2 0 > -2 1 0 ~ -2 -1 0 > -1 -2 0 "
          "~ 1 -2 0"}},
        {"a contour outside the clipped side sends nothing", {0, 0, 10, 10}, 0x1,
         {{{-5, 1}, {-3, 1}, {-3, 3}, {-5, 1}}}, {}},
        {"only the surviving contour opens the path", {0, 0, 10, 10}, 0x1,
         {{{-5, 1}, {-3, 1}, {-5, 1}}, {{1, 1}, {2, 1}, {1, 1}}},
         {"Contour 3 type 0: 1 1 0 > 2 1 0 > 1 1 0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        G3PolylineClipper clipper(c.window[0], c.window[1], c.window[2], c.window[3]);
        Load(clipper, c.in);
        PathRecorder r;
        EXPECT_EQ(clipper.DoClip(&r, c.code), !c.out.empty());
        std::vector<std::string> want;
        if (!c.out.empty())
            want = {"Begin -1", c.out[0], "ContourEnd", "End"};
        EXPECT_EQ(r.calls, want);
    }
}

TEST(PolylineClipper, OutOfProtocolCallsAndWrongModesAreHarmless)
{
    G3PolylineClipper clipper(0, 0, 10, 10);
    double p[6] = {1, 1, 0, 2, 2, 0};
    clipper.PathContourBegin(p, 1, CONTOUR_TYPE_UNKNOWN); // before PathBegin
    EXPECT_EQ(clipper.GetContourCount(), 0);
    clipper.PathBegin(0);
    clipper.PathContourSegmentTo(SEGMENT_TYPE_LINE, SEGMENT_VISIBLE, 1, p); // no contour yet
    clipper.PathContourBegin(p, 1, CONTOUR_TYPE_UNKNOWN);
    clipper.PathContourSegmentTo(SEGMENT_TYPE_LINE, SEGMENT_VISIBLE, 0, p); // no vertex
    clipper.PathContourSegmentTo(SEGMENT_TYPE_LINE, SEGMENT_VISIBLE, 2, p);
    EXPECT_EQ(clipper.GetContourCount(), 1);
    EXPECT_EQ(clipper.GetSegmentCount(), 2);
    EXPECT_EQ(clipper.GetVertexCount(), 3);
    EXPECT_FALSE(clipper.DoClip(&clipper, 0)); // would clear what it reads

    double square[8] = {0, 0, 4, 0, 4, 4, 0, 4};
    G3PolylineClipper polygon(4, square);
    Load(polygon, {{{1, 1}, {2, 2}}});
    PathRecorder r;
    EXPECT_FALSE(polygon.DoClip(&r, 0x1)); // a polygon clipper clips no paths
    EXPECT_TRUE(r.calls.empty());
}

namespace {

// Where q lies: 0 outside the polygon, 1 within 1e-9 of its border, 2 inside.
int Where(const XY& q, const Ring& poly)
{
    int in = 0;
    for (size_t k = 0; k < poly.size(); ++k) {
        const XY a = poly[k], b = poly[(k + 1) % poly.size()];
        const double len = std::hypot(b.x - a.x, b.y - a.y);
        const double t = ((q.x - a.x) * (b.x - a.x) + (q.y - a.y) * (b.y - a.y)) / (len * len);
        const double off = std::fabs((b.x - a.x) * (q.y - a.y) - (b.y - a.y) * (q.x - a.x)) / len;
        if (off <= 1e-9 && t >= 0 && t <= 1)
            return 1;
        if ((a.y > q.y) != (b.y > q.y) && q.x < a.x + (q.y - a.y) * (b.x - a.x) / (b.y - a.y))
            in = 2 - in;
    }
    return in;
}

} // namespace

// Star-shaped polygons on a small grid (collinear sides, sides along one
// line) and segments through their vertices or along their sides: the
// pieces lie on the segment, in order, and their plan length is the
// length inside by an exact point-in-polygon count between breakpoints.
TEST(PolylineClipper, RandomSegmentsAgainstPolygonsMatchInsideLength)
{
    std::mt19937 rng(17);
    int sent = 0, flanked = 0;
    for (int iter = 0; iter < 400; ++iter) {
        Ring poly;
        for (int k = 0, n = 3 + static_cast<int>(rng() % 8); k < n; ++k) {
            const XY q = {double(rng() % 9), double(rng() % 9)};
            if (std::none_of(poly.begin(), poly.end(), [&](const XY& o) { return o.x == q.x && o.y == q.y; }))
                poly.push_back(q);
        }
        auto angle = [](const XY& q) { return std::atan2(q.y - 4.3, q.x - 4.6); };
        std::sort(poly.begin(), poly.end(), [&](const XY& a, const XY& b) { return angle(a) < angle(b); });
        if (poly.size() < 3 || std::fabs(SignedArea(poly)) < 0.5)
            continue;
        const size_t ia = rng() % poly.size();
        const XY a = poly[ia], b = poly[rng() % poly.size()], s = poly[(ia + 1) % poly.size()];
        XY p = {double(rng() % 11) - 1, double(rng() % 11) - 1};
        XY q = {double(rng() % 11) - 1, double(rng() % 11) - 1};
        if (iter % 3 == 1) { // through two vertices
            p = a;
            q = {2 * b.x - a.x, 2 * b.y - a.y};
        } else if (iter % 3 == 2) { // along a side, beyond both ends
            p = {2 * a.x - s.x, 2 * a.y - s.y};
            q = {2 * s.x - a.x, 2 * s.y - a.y};
        }
        const double dx = q.x - p.x, dy = q.y - p.y, len2 = dx * dx + dy * dy;
        if (len2 == 0)
            continue;
        // Breakpoints: the segment's parameters at crossings and at corners
        // on its line.
        std::vector<double> ts = {0, 1};
        for (size_t k = 0; k < poly.size(); ++k) {
            const XY c = poly[k], d = poly[(k + 1) % poly.size()];
            const double den = dx * (d.y - c.y) - dy * (d.x - c.x);
            if (den != 0)
                ts.push_back(((c.x - p.x) * (d.y - c.y) - (c.y - p.y) * (d.x - c.x)) / den);
            ts.push_back(((c.x - p.x) * dx + (c.y - p.y) * dy) / len2);
        }
        std::sort(ts.begin(), ts.end());
        double inside = 0.0;
        std::string where; // per stretch between breakpoints
        for (size_t k = 0; k + 1 < ts.size(); ++k) {
            const double t0 = std::max(0.0, ts[k]), t1 = std::min(1.0, ts[k + 1]), tm = 0.5 * (t0 + t1);
            const int w = t1 > t0 ? Where({p.x + tm * dx, p.y + tm * dy}, poly) : -1;
            if (w > 0)
                inside += (t1 - t0) * std::sqrt(len2);
            if (w >= 0 && (where.empty() || where.back() != '0' + w))
                where += static_cast<char>('0' + w);
        }
        // Border between two inside stretches: the notch placements.
        flanked += where.find("212") != std::string::npos;
        std::vector<double> flat;
        for (const XY& c : poly)
            flat.insert(flat.end(), {c.x, c.y});
        G3PolylineClipper clipper(static_cast<int>(poly.size()), flat.data());
        const double p3[3] = {p.x, p.y, 1.0}, q3[3] = {q.x, q.y, 3.0};
        RecordingLineLoader r;
        SCOPED_TRACE("iteration " + std::to_string(iter));
        EXPECT_EQ(clipper.DoClip(p3, q3, &r), inside > 1e-9);
        sent += !r.ends.empty();
        const int axis = std::fabs(dx) >= std::fabs(dy) ? 0 : 1;
        double got = 0.0, last = -1e300;
        for (const auto& e : r.ends) {
            got += std::hypot(e[3] - e[0], e[4] - e[1]);
            EXPECT_LT(e[axis], e[axis + 3]); // no empty piece
            EXPECT_LE(last, e[axis] + 1e-9); // ordered along the dominant axis
            last = e[axis + 3];
            for (const double* end : {&e[0], &e[3]}) {
                const double t = ((end[0] - p.x) * dx + (end[1] - p.y) * dy) / len2;
                EXPECT_NEAR(0.0, std::hypot(p.x + t * dx - end[0], p.y + t * dy - end[1]), 1e-9);
                EXPECT_NEAR(1.0 + 2.0 * t, end[2], 1e-9); // height along the segment
            }
        }
        EXPECT_NEAR(inside, got, 1e-9);
    }
    EXPECT_GT(sent, 100);
    EXPECT_GT(flanked, 0);
}

// A segment along the flat top of a notch runs inside, along the border and
// inside again: one piece, wherever the segment starts or ends.
TEST(PolylineClipper, BorderStretchBetweenInsidePartsIsKept)
{
    const std::vector<double> notch = {0, 0, 2, 0, 2, 2, 4, 2, 4, 0, 6, 0, 6, 4, 0, 4};
    const std::vector<double> twoNotches = {0, 0, 1, 0, 1, 2, 2, 2, 2, 0, 3, 0, 3, 2, 4, 2, 4, 0, 5, 0, 5, 4, 0, 4};
    const std::vector<double> notchLeft = {0, 0, 4, 0, 4, 6, 0, 6, 0, 4, 2, 4, 2, 2, 0, 2};
    struct Case {
        const char* what;
        std::vector<double> polygon;
        std::vector<double> p, q;
        const char* piece;
    } cases[] = {
        {"across the whole notch", notch, {-1, 2, 0}, {7, 2, 8}, "0 2 1 -> 6 2 7"},
        {"given backwards", notch, {7, 2, 0}, {-1, 2, 0}, "0 2 0 -> 6 2 0"},
        {"starting on the stretch", notch, {3, 2, 0}, {7, 2, 0}, "3 2 0 -> 6 2 0"},
        {"ending on the stretch", notch, {-1, 2, 0}, {3, 2, 0}, "0 2 0 -> 3 2 0"},
        {"two notches in a row", twoNotches, {-1, 2, 0}, {6, 2, 0}, "0 2 0 -> 5 2 0"},
        {"a vertical stretch", notchLeft, {2, 7, 0}, {2, -1, 0}, "2 0 0 -> 2 6 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        G3PolylineClipper clipper(static_cast<int>(c.polygon.size() / 2), c.polygon.data());
        RecordingLineLoader r;
        EXPECT_TRUE(clipper.DoClip(c.p.data(), c.q.data(), &r));
        EXPECT_EQ(r.pieces, std::vector<std::string>{c.piece});
    }
}

// Window mode on random grid paths, open and closed, with random sides
// named: the visible length is the exact length inside the named
// half-planes, every border piece is invisible and lies on a named side, no
// piece is empty, a closed contour comes out closed, and a path with nothing
// in the window (open, or touching it at one point) sends nothing. A null
// box keeps nothing whatever sides are named.
TEST(PolylineClipper, RandomPathsAgainstWindowsKeepTheirInsideLength)
{
    const int kSide[4] = {0x1, 0x10000, 0x2, 0x20000};
    std::mt19937 rng(29);
    int dropped = 0;
    for (int iter = 0; iter < 3000; ++iter) {
        SCOPED_TRACE("iteration " + std::to_string(iter));
        const double lo[2] = {double(1 + rng() % 3), double(1 + rng() % 3)};
        const double hi[2] = {lo[0] + 1 + rng() % 3, lo[1] + 1 + rng() % 3};
        int code = 0;
        for (int s : kSide)
            code |= rng() % 3 ? s : 0;
        if (code == 0)
            code = 0x30003;
        Ring path;
        for (int k = 0, n = 2 + static_cast<int>(rng() % 5); k < n; ++k) {
            const XY q = {double(rng() % 7), double(rng() % 7)};
            if (path.empty() || q.x != path.back().x || q.y != path.back().y)
                path.push_back(q);
        }
        const bool closed = path.size() > 2 && rng() % 2;
        if (closed && (path.back().x != path[0].x || path.back().y != path[0].y))
            path.push_back(path[0]);
        auto bound = [&](int s) { return s % 2 ? hi[s / 2] : lo[s / 2]; };
        double inside = 0.0, width = 0.0; // width: length of the pieces' stretch in the window
        for (size_t k = 0; k + 1 < path.size(); ++k) {
            const double a[2] = {path[k].x, path[k].y}, d[2] = {path[k + 1].x - a[0], path[k + 1].y - a[1]};
            double t0 = 0, t1 = 1;
            for (int s = 0; s < 4; ++s) {
                if (!(code & kSide[s]))
                    continue;
                const double sign = s % 2 ? -1.0 : 1.0, at = sign * (a[s / 2] - bound(s)), slope = sign * d[s / 2];
                if (slope == 0)
                    t1 = at >= 0 ? t1 : -1;
                else if (slope > 0)
                    t0 = std::max(t0, -at / slope);
                else
                    t1 = std::min(t1, -at / slope);
            }
            inside += std::max(0.0, t1 - t0) * std::hypot(d[0], d[1]);
            width += t1 > t0;
        }
        bool anyPoint = false;
        for (const XY& q : path) {
            bool in = true;
            for (int s = 0; s < 4; ++s)
                in = in && (!(code & kSide[s]) || (s % 2 ? (s < 2 ? q.x : q.y) <= bound(s) : (s < 2 ? q.x : q.y) >= bound(s)));
            anyPoint = anyPoint || in;
        }
        G3PolylineClipper clipper(lo[0], lo[1], hi[0], hi[1]);
        Load(clipper, {path});
        PathRecorder r;
        const bool sent = clipper.DoClip(&r, code);
        EXPECT_EQ(sent, !r.contours.empty());
        if (!closed && !anyPoint && width == 0) {
            EXPECT_FALSE(sent);
            ++dropped;
        }
        double got = 0.0;
        for (const auto& c : r.contours) {
            if (closed) {
                EXPECT_NEAR(0.0, std::hypot(c.pts.front().x - c.pts.back().x, c.pts.front().y - c.pts.back().y), 1e-9);
            }
            for (size_t k = 1; k < c.pts.size(); ++k) {
                const XY a = c.pts[k - 1], b = c.pts[k];
                const double len = std::hypot(b.x - a.x, b.y - a.y);
                EXPECT_GT(len, 0.0);
                if (c.vis[k - 1]) {
                    got += len;
                    continue;
                }
                bool onSide = false; // a border piece, or an invisible piece of the input
                for (int s = 0; s < 4; ++s)
                    onSide = onSide || ((code & kSide[s]) && (s < 2 ? a.x == bound(s) && b.x == bound(s)
                                                                   : a.y == bound(s) && b.y == bound(s)));
                EXPECT_TRUE(onSide) << a.x << " " << a.y << " -> " << b.x << " " << b.y;
            }
        }
        EXPECT_NEAR(inside, got, 1e-9);
        G3PolylineClipper empty(nullptr);
        Load(empty, {path});
        PathRecorder none;
        EXPECT_FALSE(empty.DoClip(&none, kSide[rng() % 4]));
        EXPECT_TRUE(none.calls.empty());
    }
    EXPECT_GT(dropped, 100);
}

// Centimetre paths at the origin and at site coordinates: a crossing
// interpolated at a window corner rounds to either side of the next side,
// and must neither leave an empty piece there nor drop a wall lying on it.
TEST(PolylineClipper, DecimalPathsThroughWindowCornersLeaveNoEmptyPieces)
{
    std::mt19937 rng(41);
    for (int iter = 0; iter < 4000; ++iter) {
        const double origin = iter % 2 ? 1e5 + double(rng() % 4900000) : 0.0;
        auto at = [&](unsigned steps) { return origin + steps * 0.05; };
        const double x = at(rng() % 8), y = at(rng() % 8);
        G3PolylineClipper clipper(x, y, x + (1 + rng() % 5) * 0.1, y + (1 + rng() % 5) * 0.1);
        Ring path(2 + rng() % 5);
        for (size_t k = 0; k < path.size(); ++k)
            do
                path[k] = {at(rng() % 21), at(rng() % 21)};
            while (k && path[k].x == path[k - 1].x && path[k].y == path[k - 1].y);
        Load(clipper, {path});
        PathRecorder r;
        clipper.DoClip(&r, 0x30003);
        for (const auto& c : r.contours) {
            EXPECT_GE(c.pts.size(), 2u) << "iteration " << iter; // a contour with a piece
            for (size_t k = 1; k < c.pts.size(); ++k)
                EXPECT_GT(std::hypot(c.pts[k].x - c.pts[k - 1].x, c.pts[k].y - c.pts[k - 1].y), GTolerance::kPointEqual)
                    << "iteration " << iter;
        }
    }
    G3PolylineClipper clipper(0.1, 0.0, 0.1 + 0.5, 0.2); // x = 0.1 + 0.5 is just below 12 * 0.05
    Load(clipper, {{{0.15, 0.65}, {12 * 0.05, 0.2}, {0.3, 0.2}, {0.45, 0.85}}});
    PathRecorder r;
    EXPECT_TRUE(clipper.DoClip(&r, 0x30003));
    const std::vector<std::string> want = {"Begin -1", "Contour 3 type 0: 0.6 0.2 0 > 0.3 0.2 0 ~ 0.6 0.2 0", "ContourEnd",
                                           "End"};
    EXPECT_EQ(want, r.calls);
}
