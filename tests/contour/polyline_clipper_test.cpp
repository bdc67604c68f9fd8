#include "Geometry/contour/G3PolylineClipper.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace {

// Records every call of the path protocol with its arguments.
struct Call {
    Call(std::string op, int a = 0, int b = 0, int c = 0, std::vector<double> pts = {})
        : op(std::move(op)), a(a), b(b), c(c), pts(std::move(pts)) {}
    std::string op;
    int a, b, c;
    std::vector<double> pts;
};

class RecordingPathLoader : public GPathLoader {
public:
    std::vector<Call> calls;
    void PathBegin(int n) override { calls.push_back({"Begin", n}); }
    void PathSetPreferPlane(int i, int j) override { calls.push_back({"Plane", i, j}); }
    void PathContourBegin(double* p, int n, CONTOUR_TYPE t) override {
        calls.push_back({"ContourBegin", n, t, 0, {p[0], p[1], p[2]}});
    }
    void PathContourSegmentTo(SEGMENT_TYPE t, SEGMENT_VISIBILITY v, int n, double* p) override {
        calls.push_back({"SegmentTo", t, v, n, std::vector<double>(p, p + 3 * n)});
    }
    void PathContourEnd() override { calls.push_back({"ContourEnd"}); }
    void PathEnd() override { calls.push_back({"End"}); }
};

struct Piece {
    double from[3], to[3];
};
class RecordingLineLoader : public GLineLoader {
public:
    std::vector<Piece> pieces;
    void LineLoad(const double* f, const double* t) override {
        pieces.push_back({{f[0], f[1], f[2]}, {t[0], t[1], t[2]}});
    }
};

struct Pt {
    double x, y;
    int vis;
};

// Loads closed or open polylines: each contour's start, then one visible
// straight segment per further point.
void Load(GPathLoader& loader, const std::vector<std::vector<Pt>>& contours) {
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
// segment that ends at them) after PathBegin(announced).
std::vector<Call> PathCalls(int announced, const std::vector<std::vector<Pt>>& contours) {
    std::vector<Call> calls{{"Begin", announced}};
    for (const auto& c : contours) {
        calls.push_back({"ContourBegin", static_cast<int>(c.size()), 0, 0, {c[0].x, c[0].y, 0}});
        for (std::size_t k = 1; k < c.size(); ++k)
            calls.push_back({"SegmentTo", 1, c[k].vis, 1, {c[k].x, c[k].y, 0}});
        calls.push_back({"ContourEnd"});
    }
    calls.push_back({"End"});
    return calls;
}

bool operator==(const Call& x, const Call& y) {
    if (x.op != y.op || x.a != y.a || x.b != y.b || x.c != y.c || x.pts.size() != y.pts.size())
        return false;
    for (std::size_t i = 0; i < x.pts.size(); ++i)
        if (std::fabs(x.pts[i] - y.pts[i]) > 1e-12) return false;
    return true;
}

void PrintTo(const Call& c, std::ostream* os) {
    *os << c.op << "(" << c.a << ", " << c.b << ", " << c.c;
    for (double v : c.pts) *os << ", " << v;
    *os << ")";
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
    EXPECT_EQ(r.calls,
              PathCalls(1, {{{0, 0, 0}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}, {0, 0, 1}, {5, 5, 0}}}));
}

TEST(PolylineClipper, MinXThroughTheMiddleCutsTheLeftHalf) {
    G3PolylineClipper clipper(0, -5, 5, 5);
    // Starting outside: the contour is closed by an invisible border piece.
    Load(clipper, {{{-1, -1, 0}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}, {-1, -1, 1}}});
    RecordingPathLoader r;
    EXPECT_TRUE(clipper.DoClip(&r, 0x1));
    EXPECT_EQ(r.calls, PathCalls(-1, {{{0, -1, 0}, {1, -1, 1}, {1, 1, 1}, {0, 1, 1}, {0, -1, 0}}}));

    // Starting inside: the re-entry crossing follows the exit on the border.
    Load(clipper, {{{1, -1, 0}, {1, 1, 1}, {-1, 1, 1}, {-1, -1, 1}, {1, -1, 1}}});
    RecordingPathLoader r2;
    EXPECT_TRUE(clipper.DoClip(&r2, 0x1));
    EXPECT_EQ(r2.calls,
              PathCalls(-1, {{{1, -1, 0}, {1, 1, 1}, {0, 1, 1}, {0, -1, 0}, {1, -1, 1}}}));
}

TEST(PolylineClipper, BorderPointReachedFromOutsideIsNotDrawnFromTheBorder) {
    G3PolylineClipper clipper(0, -5, 5, 5);
    Load(clipper, {{{1, 0, 0}, {-1, 0, 1}, {0, 1, 1}, {1, 0, 1}}});
    RecordingPathLoader r;
    EXPECT_TRUE(clipper.DoClip(&r, 0x1));
    EXPECT_EQ(r.calls, PathCalls(-1, {{{1, 0, 0}, {0, 0, 1}, {0, 1, 0}, {1, 0, 1}}}));
}

TEST(PolylineClipper, AllFourSidesLeaveAnOctagonWithInvisibleBorderPieces) {
    G3PolylineClipper clipper(-2, -2, 2, 2);
    Load(clipper, {{{0, -3, 0}, {3, 0, 1}, {0, 3, 1}, {-3, 0, 1}, {0, -3, 1}}});
    RecordingPathLoader r;
    EXPECT_TRUE(clipper.DoClip(&r, 0x1 | 0x2 | 0x10000 | 0x20000));
    EXPECT_EQ(r.calls, PathCalls(-1, {{{1, -2, 0},
                                       {2, -1, 1},
                                       {2, 1, 0},
                                       {1, 2, 1},
                                       {-1, 2, 0},
                                       {-2, 1, 1},
                                       {-2, -1, 0},
                                       {-1, -2, 1},
                                       {1, -2, 0}}}));
}

TEST(PolylineClipper, ContoursOutsideTheClippedSidesSendNothing) {
    G3PolylineClipper clipper(0, 0, 10, 10);
    Load(clipper, {{{-5, 1, 0}, {-3, 1, 1}, {-3, 3, 1}, {-5, 1, 1}}});
    RecordingPathLoader r;
    EXPECT_FALSE(clipper.DoClip(&r, 0x1));
    EXPECT_TRUE(r.calls.empty());

    // Only the contour that survives opens the path.
    Load(clipper, {{{-5, 1, 0}, {-3, 1, 1}, {-5, 1, 1}}, {{1, 1, 0}, {2, 1, 1}, {1, 1, 1}}});
    EXPECT_TRUE(clipper.DoClip(&r, 0x1));
    EXPECT_EQ(r.calls, PathCalls(-1, {{{1, 1, 0}, {2, 1, 1}, {1, 1, 1}}}));
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
    EXPECT_FALSE(clipper.DoClip(p, p + 3, &lines));
    EXPECT_TRUE(lines.pieces.empty());

    double square[8] = {0, 0, 4, 0, 4, 4, 0, 4};
    G3PolylineClipper polygon(4, square);
    Load(polygon, {{{1, 1, 0}, {2, 2, 1}}});
    RecordingPathLoader r;
    EXPECT_FALSE(polygon.DoClip(&r, 0));
    EXPECT_FALSE(polygon.DoClip(&r, 0x1));
    EXPECT_TRUE(r.calls.empty());
}

namespace {

std::vector<Piece> ClipSegment(const std::vector<double>& polygon, std::vector<double> p,
                               std::vector<double> q, bool* result) {
    G3PolylineClipper clipper(static_cast<int>(polygon.size() / 2), polygon.data());
    RecordingLineLoader r;
    *result = clipper.DoClip(p.data(), q.data(), &r);
    return r.pieces;
}

void ExpectPieces(const std::vector<Piece>& got, const std::vector<std::vector<double>>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t k = 0; k < got.size(); ++k)
        for (int i = 0; i < 2; ++i) {
            EXPECT_NEAR(got[k].from[i], want[k][i], 1e-12) << "piece " << k;
            EXPECT_NEAR(got[k].to[i], want[k][2 + i], 1e-12) << "piece " << k;
        }
}

const std::vector<double> kSquare = {0, 0, 4, 0, 4, 4, 0, 4};

}  // namespace

TEST(PolylineClipper, SegmentThroughConvexPolygonGivesEntryToExit) {
    bool ok = false;
    auto pieces = ClipSegment(kSquare, {-1, 1, 2}, {5, 4, 8}, &ok);
    EXPECT_TRUE(ok);
    ExpectPieces(pieces, {{0, 1.5, 4, 3.5}});
    EXPECT_NEAR(pieces[0].from[2], 3, 1e-12);  // heights follow the segment
    EXPECT_NEAR(pieces[0].to[2], 7, 1e-12);
    // Given the other way round, the piece still runs along ascending x.
    ExpectPieces(ClipSegment(kSquare, {5, 4, 0}, {-1, 1, 0}, &ok), {{0, 1.5, 4, 3.5}});
}

TEST(PolylineClipper, SegmentEndsInsideThePolygon) {
    bool ok = false;
    ExpectPieces(ClipSegment(kSquare, {1, 1, 0}, {3, 2, 0}, &ok), {{1, 1, 3, 2}});
    EXPECT_TRUE(ok);
    ExpectPieces(ClipSegment(kSquare, {2, 2, 0}, {2, 9, 0}, &ok), {{2, 2, 2, 4}});
    EXPECT_TRUE(ok);
    // A U shape: the segment starts in one arm, ends in the other.
    std::vector<double> u = {0, 0, 6, 0, 6, 4, 4, 4, 4, 1, 2, 1, 2, 4, 0, 4};
    ExpectPieces(ClipSegment(u, {-1, 2, 0}, {7, 2, 0}, &ok), {{0, 2, 2, 2}, {4, 2, 6, 2}});
    ExpectPieces(ClipSegment(u, {1, 2, 0}, {5, 2, 0}, &ok), {{1, 2, 2, 2}, {4, 2, 5, 2}});
}

TEST(PolylineClipper, SegmentAlongEdgesAndThroughVertices) {
    bool ok = false;
    ExpectPieces(ClipSegment(kSquare, {-1, 0, 0}, {5, 0, 0}, &ok), {{0, 0, 4, 0}});
    EXPECT_TRUE(ok);
    ExpectPieces(ClipSegment(kSquare, {-1, -1, 0}, {5, 5, 0}, &ok), {{0, 0, 4, 4}});
    // Through one vertex of a triangle and out through an edge: no empty
    // piece at the vertex.
    ExpectPieces(ClipSegment({0, 0, 4, -2, 4, 2}, {-1, 0, 0}, {5, 0, 0}, &ok), {{0, 0, 4, 0}});
    // Touching a vertex from outside gives nothing.
    ExpectPieces(ClipSegment({0, 0, 2, 2, -2, 2}, {-1, 0, 0}, {5, 0, 0}, &ok), {});
    EXPECT_FALSE(ok);
}

TEST(PolylineClipper, BorderOnTheLineCrossedFromSideToSide) {
    bool ok = false;
    // Inside before the border stretch (0..1), outside after it: one piece,
    // the stretch is not repeated. Same whether or not the walk starts on it.
    std::vector<double> l = {-2, -1, 0, -1, 0, 0, 1, 0, 1, 1, -2, 1};
    ExpectPieces(ClipSegment(l, {-3, 0, 0}, {3, 0, 0}, &ok), {{-2, 0, 1, 0}});
    std::vector<double> rotated = {1, 0, 1, 1, -2, 1, -2, -1, 0, -1, 0, 0};
    ExpectPieces(ClipSegment(rotated, {-3, 0, 0}, {3, 0, 0}, &ok), {{-2, 0, 1, 0}});
    // Outside before the stretch (0..1), inside after it.
    std::vector<double> step = {-1, 1, 0, 0, 1, 0, 2, -1, 3, -1, 3, 2, -1, 2};
    ExpectPieces(ClipSegment(step, {-2, 0, 0}, {4, 0, 0}, &ok), {{0, 0, 1, 0}, {1, 0, 3, 0}});
}

TEST(PolylineClipper, SegmentThatMissesThePolygonGivesFalse) {
    bool ok = true;
    EXPECT_TRUE(ClipSegment(kSquare, {-1, 9, 0}, {5, 9, 0}, &ok).empty());
    EXPECT_FALSE(ok);
    // The line crosses the polygon but the segment stops short of it.
    EXPECT_TRUE(ClipSegment(kSquare, {5, 2, 0}, {8, 2, 0}, &ok).empty());
    EXPECT_FALSE(ok);
    EXPECT_TRUE(ClipSegment(kSquare, {2, 2, 0}, {2, 2, 5}, &ok).empty());  // no length in x, y
    EXPECT_FALSE(ok);
}
