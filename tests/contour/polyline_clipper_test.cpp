#include "Geometry/contour/G3PolylineClipper.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Coordinates as text, rounded to 1e-9 so computed crossings compare exactly.
std::string Fmt(const double* p, int n) {
    std::string s;
    char buf[32];
    for (int i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%s%g", i ? " " : "", std::round(p[i] * 1e9) / 1e9 + 0.0);
        s += buf;
    }
    return s;
}

std::string ContourText(int n, int type, const double* p) {
    return "Contour " + std::to_string(n) + " type " + std::to_string(type) + ": " + Fmt(p, 3);
}
std::string SegmentText(int type, int vis, int n, const double* p) {
    return "Segment " + std::to_string(type) + " vis " + std::to_string(vis) + ": " + Fmt(p, 3 * n);
}

// Records every call of the path protocol with its arguments.
class RecordingPathLoader : public GPathLoader {
public:
    std::vector<std::string> calls;
    void PathBegin(int n) override { calls.push_back("Begin " + std::to_string(n)); }
    void PathSetPreferPlane(int i, int j) override { calls.push_back("Plane " + std::to_string(i * 10 + j)); }
    void PathContourBegin(double* p, int n, CONTOUR_TYPE t) override { calls.push_back(ContourText(n, t, p)); }
    void PathContourSegmentTo(SEGMENT_TYPE t, SEGMENT_VISIBILITY v, int n, double* p) override {
        calls.push_back(SegmentText(t, v, n, p));
    }
    void PathContourEnd() override { calls.push_back("ContourEnd"); }
    void PathEnd() override { calls.push_back("End"); }
};

class RecordingLineLoader : public GLineLoader {
public:
    std::vector<std::string> pieces;
    void LineLoad(const double* f, const double* t) override { pieces.push_back(Fmt(f, 3) + " -> " + Fmt(t, 3)); }
};

struct Pt {
    double x, y;
    int vis;
};
using Contours = std::vector<std::vector<Pt>>;

// Loads polylines: each contour's start, then one visible straight segment
// per further point (the visibility given with the points is ignored).
void Load(GPathLoader& loader, const Contours& contours) {
    loader.PathBegin(static_cast<int>(contours.size()));
    for (const auto& contour : contours) {
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

// The calls that send `contours` (points carrying the visibility of the
// segment that ends at them, contour type dropped) after PathBegin(announced).
std::vector<std::string> PathCalls(int announced, const Contours& contours) {
    std::vector<std::string> calls{"Begin " + std::to_string(announced)};
    for (const auto& c : contours) {
        const double p[3] = {c[0].x, c[0].y, 0};
        calls.push_back(ContourText(static_cast<int>(c.size()), 0, p));
        for (std::size_t k = 1; k < c.size(); ++k) {
            const double q[3] = {c[k].x, c[k].y, 0};
            calls.push_back(SegmentText(1, c[k].vis, 1, q));
        }
        calls.push_back("ContourEnd");
    }
    calls.push_back("End");
    return calls;
}

}  // namespace

TEST(PolylineClipper, UnclippedPathPassesFirstVerticesAndDropsTypes) {
    G3PolylineClipper clipper(-10, -10, 10, 10);
    Load(clipper, {{{0, 0, 0}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}, {0, 0, 1}}});
    // An invisible two-vertex segment: only its first vertex is passed on.
    double two[6] = {5, 5, 0, 6, 6, 0};
    clipper.PathContourSegmentTo(SEGMENT_TYPE_LINE, SEGMENT_INVISIBLE, 2, two);
    RecordingPathLoader r;
    EXPECT_TRUE(clipper.DoClip(&r, 0));
    EXPECT_EQ(r.calls, PathCalls(1, {{{0, 0, 0}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}, {0, 0, 1}, {5, 5, 0}}}));
}

TEST(PolylineClipper, WindowSidesCutContoursWithInvisibleBorderPieces) {
    const int kAll = 0x1 | 0x2 | 0x10000 | 0x20000;
    struct Case {
        const char* what;
        double window[4];
        int code;
        Contours in;
        bool sent;
        Contours out;
    } cases[] = {
        {"min x through the middle, starting outside: closed along the border", {0, -5, 5, 5}, 0x1,
         {{{-1, -1, 0}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}, {-1, -1, 1}}}, true,
         {{{0, -1, 0}, {1, -1, 1}, {1, 1, 1}, {0, 1, 1}, {0, -1, 0}}}},
        {"starting inside: the re-entry crossing follows the exit", {0, -5, 5, 5}, 0x1,
         {{{1, -1, 0}, {1, 1, 1}, {-1, 1, 1}, {-1, -1, 1}, {1, -1, 1}}}, true,
         {{{1, -1, 0}, {1, 1, 1}, {0, 1, 1}, {0, -1, 0}, {1, -1, 1}}}},
        {"a border point reached from outside is not drawn from the border", {0, -5, 5, 5}, 0x1,
         {{{1, 0, 0}, {-1, 0, 1}, {0, 1, 1}, {1, 0, 1}}}, true, {{{1, 0, 0}, {0, 0, 1}, {0, 1, 0}, {1, 0, 1}}}},
        {"all four sides leave an octagon", {-2, -2, 2, 2}, kAll,
         {{{0, -3, 0}, {3, 0, 1}, {0, 3, 1}, {-3, 0, 1}, {0, -3, 1}}}, true,
         {{{1, -2, 0}, {2, -1, 1}, {2, 1, 0}, {1, 2, 1}, {-1, 2, 0}, {-2, 1, 1}, {-2, -1, 0}, {-1, -2, 1},
           {1, -2, 0}}}},
        {"a contour outside the clipped side sends nothing", {0, 0, 10, 10}, 0x1,
         {{{-5, 1, 0}, {-3, 1, 1}, {-3, 3, 1}, {-5, 1, 1}}}, false, {}},
        {"only the surviving contour opens the path", {0, 0, 10, 10}, 0x1,
         {{{-5, 1, 0}, {-3, 1, 1}, {-5, 1, 1}}, {{1, 1, 0}, {2, 1, 1}, {1, 1, 1}}}, true,
         {{{1, 1, 0}, {2, 1, 1}, {1, 1, 1}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        G3PolylineClipper clipper(c.window[0], c.window[1], c.window[2], c.window[3]);
        Load(clipper, c.in);
        RecordingPathLoader r;
        EXPECT_EQ(clipper.DoClip(&r, c.code), c.sent);
        EXPECT_EQ(r.calls, c.sent ? PathCalls(-1, c.out) : std::vector<std::string>{});
    }
}

TEST(PolylineClipper, OutOfProtocolCallsAndWrongModesAreHarmless) {
    G3PolylineClipper clipper(0, 0, 10, 10);
    double p[6] = {1, 1, 0, 2, 2, 0};
    clipper.PathContourBegin(p, 1, CONTOUR_TYPE_UNKNOWN);  // before PathBegin
    clipper.PathContourSegmentTo(SEGMENT_TYPE_LINE, SEGMENT_VISIBLE, 1, p);
    EXPECT_EQ(clipper.GetContourCount(), 0);
    clipper.PathBegin(0);
    clipper.PathContourSegmentTo(SEGMENT_TYPE_LINE, SEGMENT_VISIBLE, 1, p);  // no contour yet
    clipper.PathContourBegin(p, 1, CONTOUR_TYPE_UNKNOWN);
    clipper.PathContourSegmentTo(SEGMENT_TYPE_LINE, SEGMENT_VISIBLE, 0, p);  // no vertex
    clipper.PathContourSegmentTo(SEGMENT_TYPE_LINE, SEGMENT_VISIBLE, 2, p);
    EXPECT_EQ(clipper.GetContourCount(), 1);
    EXPECT_EQ(clipper.GetSegmentCount(), 2);
    EXPECT_EQ(clipper.GetVertexCount(), 3);
    EXPECT_FALSE(clipper.DoClip(&clipper, 0));  // would clear what it reads

    RecordingLineLoader lines;
    EXPECT_FALSE(clipper.DoClip(p, p + 3, &lines));  // a window clipper clips no segments
    EXPECT_TRUE(lines.pieces.empty());

    double square[8] = {0, 0, 4, 0, 4, 4, 0, 4};
    G3PolylineClipper polygon(4, square);
    Load(polygon, {{{1, 1, 0}, {2, 2, 1}}});
    RecordingPathLoader r;
    EXPECT_FALSE(polygon.DoClip(&r, 0));
    EXPECT_FALSE(polygon.DoClip(&r, 0x1));
    EXPECT_TRUE(r.calls.empty());
}

TEST(PolylineClipper, SegmentAgainstPolygonGivesItsInsidePieces) {
    const std::vector<double> square = {0, 0, 4, 0, 4, 4, 0, 4};
    const std::vector<double> u = {0, 0, 6, 0, 6, 4, 4, 4, 4, 1, 2, 1, 2, 4, 0, 4};
    // Borders lying on the segment's line: an L inside before the stretch
    // 0..1 and outside after it (also with the walk starting on the
    // stretch), and a step outside before it and inside after it.
    const std::vector<double> ell = {-2, -1, 0, -1, 0, 0, 1, 0, 1, 1, -2, 1};
    const std::vector<double> ellRotated = {1, 0, 1, 1, -2, 1, -2, -1, 0, -1, 0, 0};
    const std::vector<double> step = {-1, 1, 0, 0, 1, 0, 2, -1, 3, -1, 3, 2, -1, 2};
    struct Case {
        const char* what;
        std::vector<double> polygon;
        std::vector<double> p, q;
        bool ok;
        std::vector<std::string> pieces;
    } cases[] = {
        {"entry to exit, heights follow the segment", square, {-1, 1, 2}, {5, 4, 8}, true, {"0 1.5 3 -> 4 3.5 7"}},
        {"given backwards, still along ascending x", square, {5, 4, 0}, {-1, 1, 0}, true, {"0 1.5 0 -> 4 3.5 0"}},
        {"both ends inside", square, {1, 1, 0}, {3, 2, 0}, true, {"1 1 0 -> 3 2 0"}},
        {"one end inside", square, {2, 2, 0}, {2, 9, 0}, true, {"2 2 0 -> 2 4 0"}},
        {"across both arms of a U", u, {-1, 2, 0}, {7, 2, 0}, true, {"0 2 0 -> 2 2 0", "4 2 0 -> 6 2 0"}},
        {"from one arm of a U into the other", u, {1, 2, 0}, {5, 2, 0}, true, {"1 2 0 -> 2 2 0", "4 2 0 -> 5 2 0"}},
        {"along an edge", square, {-1, 0, 0}, {5, 0, 0}, true, {"0 0 0 -> 4 0 0"}},
        {"through two corners", square, {-1, -1, 0}, {5, 5, 0}, true, {"0 0 0 -> 4 4 0"}},
        {"through a vertex and out an edge: no empty piece", {0, 0, 4, -2, 4, 2}, {-1, 0, 0}, {5, 0, 0}, true,
         {"0 0 0 -> 4 0 0"}},
        {"touching a vertex from outside", {0, 0, 2, 2, -2, 2}, {-1, 0, 0}, {5, 0, 0}, false, {}},
        {"inside, then along the border: not repeated", ell, {-3, 0, 0}, {3, 0, 0}, true, {"-2 0 0 -> 1 0 0"}},
        {"same, walk starting on the border stretch", ellRotated, {-3, 0, 0}, {3, 0, 0}, true, {"-2 0 0 -> 1 0 0"}},
        {"along the border, then inside", step, {-2, 0, 0}, {4, 0, 0}, true, {"0 0 0 -> 1 0 0", "1 0 0 -> 3 0 0"}},
        {"missing the polygon", square, {-1, 9, 0}, {5, 9, 0}, false, {}},
        {"the line crosses, the segment stops short", square, {5, 2, 0}, {8, 2, 0}, false, {}},
        {"no length in x, y", square, {2, 2, 0}, {2, 2, 5}, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        G3PolylineClipper clipper(static_cast<int>(c.polygon.size() / 2), c.polygon.data());
        RecordingLineLoader r;
        EXPECT_EQ(clipper.DoClip(c.p.data(), c.q.data(), &r), c.ok);
        EXPECT_EQ(r.pieces, c.pieces);
    }
}
