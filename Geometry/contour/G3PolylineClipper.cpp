// Clipping of stored paths to an axis-aligned window, and of single segments
// to a polygon. Invariants:
// - window mode clips side by side (left, right, bottom, top); a point on a
//   window side counts as inside, a crossing lies exactly on the side, and
//   every new piece that runs along the window's border is invisible;
// - polygon mode pairs the polygon's crossings with the segment's line
//   even-odd along the line's longer axis; border counts as inside: a run of
//   polygon points on the line is a crossing at its exit when the polygon
//   passes through it, and two crossings when the polygon only touches it,
//   joined with the inside parts around it when it lies between two;
// - pieces reach the loader in order from the segment's first end, never
//   empty and never overlapping, with heights taken from the segment.
// The places that round: in window mode a point on a side within
// kPointEqual of the last point adds no piece (a last point just inside is
// moved onto the side instead), and a crossing within kPointEqual of an end
// of its segment takes that end's other coordinates; in polygon mode
// a polygon point within kPlaneSide of the segment's line lies on it, and
// pieces no longer than kPointEqual along the axis are not sent.
#include "Geometry/contour/G3PolylineClipper.h"

#include "Geometry/math/GTolerance.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

namespace {

double Distance(const double* p, const double* q) {
    const double dx = p[0] - q[0], dy = p[1] - q[1], dz = p[2] - q[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// Window sides in the order they are clipped: the bit of the box test code
// that names the side, the axis, and whether it bounds from above.
struct GWindowSide {
    int bit;
    int axis;
    bool isMax;
};
const GWindowSide kSides[4] = {
    {0x1, 0, false},
    {0x10000, 0, true},
    {0x2, 1, false},
    {0x20000, 1, true},
};

// Initial array sizes and the slack added when an array has to grow.
const int kContourStep = 16;
const int kSegmentStep = 1024;
const int kVertexStep = 1024;
// A host's announced contour count only sizes the first allocation; cap it
// so that a wild count cannot ask for gigabytes up front.
const int kMaxAnnouncedContours = 1 << 16;

// Ordering key on one axis. NaN sorts with +infinity so that the comparison
// stays a strict weak ordering whatever the coordinates hold.
double SortKey(double v) { return std::isnan(v) ? HUGE_VAL : v; }

template <class T>
void GrowTo(std::vector<T>& array, std::size_t need, std::size_t step) {
    if (need <= array.capacity()) return;
    // Grow by the step beyond the need, but at least double, so that loading
    // a large path stays linear.
    array.reserve(std::max(need + step, 2 * array.capacity()));
}

}  // namespace

// --- construction

G3PolylineClipper::G3PolylineClipper(const GEnvelope* w) {
    if (w)
        window = *w;
    else
        GEnvelope::InitDefault(&window);
}

G3PolylineClipper::G3PolylineClipper(double x1, double y1, double x2, double y2) {
    window.Init(x1, y1, 0.0, x2, y2, 0.0);
}

G3PolylineClipper::G3PolylineClipper(int n, const double* points) : hasPolygon(true) {
    // The window plays no part in polygon mode; leave it empty.
    GEnvelope::InitDefault(&window);
    if (n > 0 && points) {
        cutCount = n;
        cutVertices.assign(points, points + 2 * static_cast<std::size_t>(n));
    }
}

G3PolylineClipper::~G3PolylineClipper() { ClearLists(); }

const double* G3PolylineClipper::GetCutVertex(int k) const {
    if (k < 0 || k >= cutCount) return nullptr;
    return &cutVertices[2 * static_cast<std::size_t>(k)];
}

// --- storage

void G3PolylineClipper::ClearLists() {
    std::vector<GContourRecord>().swap(contours);
    std::vector<GSegmentRecord>().swap(segments);
    std::vector<double>().swap(vertices);
    loading = false;
}

void G3PolylineClipper::ReallocContour(int need) {
    GrowTo(contours, static_cast<std::size_t>(need), kContourStep);
}

void G3PolylineClipper::ReallocSegment(int need) {
    GrowTo(segments, static_cast<std::size_t>(need), kSegmentStep);
}

void G3PolylineClipper::ReallocVertex(int need) {
    GrowTo(vertices, static_cast<std::size_t>(need) * dimension,
           static_cast<std::size_t>(kVertexStep) * dimension);
}

// --- path loading

void G3PolylineClipper::PathBegin(int contourCount) {
    ClearLists();
    int initial = contourCount < 1 ? kContourStep : std::min(contourCount, kMaxAnnouncedContours);
    contours.reserve(initial);
    segments.reserve(kSegmentStep);
    vertices.reserve(static_cast<std::size_t>(kVertexStep) * dimension);
    loading = true;
}

void G3PolylineClipper::PathSetPreferPlane(int, int) {}

void G3PolylineClipper::PathContourBegin(double* point, int, CONTOUR_TYPE type) {
    if (!loading || !point) return;
    int vertexCount = GetVertexCount();
    int segmentCount = GetSegmentCount();
    if (vertexCount >= INT_MAX / dimension - 1 || segmentCount >= INT_MAX - 1 ||
        GetContourCount() >= INT_MAX - 1)
        return;
    ReallocContour(GetContourCount() + 1);
    ReallocSegment(segmentCount + 1);
    ReallocVertex(vertexCount + 1);
    contours.push_back(GContourRecord{1, segmentCount, type});
    segments.push_back(GSegmentRecord{1, vertexCount, SEGMENT_TYPE_START, SEGMENT_INVISIBLE});
    vertices.insert(vertices.end(), point, point + dimension);
}

void G3PolylineClipper::PathContourSegmentTo(SEGMENT_TYPE type, SEGMENT_VISIBILITY visibility,
                                             int vertexCount, double* points) {
    // A segment needs a contour to join and at least one vertex: everything
    // downstream reads a segment through its first vertex.
    if (!loading || contours.empty() || vertexCount < 1 || !points) return;
    int stored = GetVertexCount();
    if (vertexCount > INT_MAX / dimension - 1 - stored || GetSegmentCount() >= INT_MAX - 1) return;
    ReallocSegment(GetSegmentCount() + 1);
    ReallocVertex(stored + vertexCount);
    segments.push_back(GSegmentRecord{vertexCount, stored, type, visibility});
    vertices.insert(vertices.end(), points,
                    points + static_cast<std::size_t>(vertexCount) * dimension);
    ++contours.back().segmentCount;
}

void G3PolylineClipper::PathContourEnd() {}

void G3PolylineClipper::PathEnd() {}

// --- path output

bool G3PolylineClipper::DoClip(GPathLoader* out, int code) {
    // Sending the path to the clipper itself would empty the arrays being
    // read.
    if (hasPolygon || !out || out == this) return false;
    if (code == 0) return OutAll(out);
    // An empty window (a null box) keeps nothing, whichever sides are named:
    // clipped at one side only, its inverted bounds would keep half the
    // plane.
    if (!(window.min[0] <= window.max[0]) || !(window.min[1] <= window.max[1])) return false;
    return ClipWithRectangle(out, code);
}

bool G3PolylineClipper::OutAll(GPathLoader* out) {
    // The loader receives copies: it may not write into the stored path.
    double point[3];
    out->PathBegin(GetContourCount());
    for (const GContourRecord& contour : contours) {
        const GSegmentRecord* segment = &segments[contour.firstSegment];
        std::copy_n(&vertices[static_cast<std::size_t>(segment->firstVertex) * dimension], 3,
                    point);
        out->PathContourBegin(point, contour.segmentCount, CONTOUR_TYPE_UNKNOWN);
        for (int s = 1; s < contour.segmentCount; ++s) {
            segment = &segments[contour.firstSegment + s];
            std::copy_n(&vertices[static_cast<std::size_t>(segment->firstVertex) * dimension], 3,
                        point);
            out->PathContourSegmentTo(SEGMENT_TYPE_LINE, segment->visibility, 1, point);
        }
        out->PathContourEnd();
    }
    out->PathEnd();
    return true;
}

bool G3PolylineClipper::ClipWithRectangle(GPathLoader* out, int code) {
    bool begun = false;
    std::vector<GClipPoint> points;
    double point[3];
    for (int c = 0; c < GetContourCount(); ++c) {
        // An open contour with no point in the window leaves nothing: the
        // side passes would still join its crossings along the border.
        if (!IsClosed(c) && !ReachesWindow(c, code)) continue;
        ClipPolygon(c, code, points);
        // A contour left with one point (touching the window at a corner or
        // at a vertex on its border) has no piece to send.
        if (points.size() < 2) continue;
        if (!begun) {
            out->PathBegin(-1);
            begun = true;
        }
        std::copy_n(points[0].p, 3, point);
        int count = static_cast<int>(std::min<std::size_t>(points.size(), INT_MAX));
        out->PathContourBegin(point, count, CONTOUR_TYPE_UNKNOWN);
        for (int k = 1; k < count; ++k) {
            std::copy_n(points[k].p, 3, point);
            out->PathContourSegmentTo(SEGMENT_TYPE_LINE, points[k].visibility, 1, point);
        }
        out->PathContourEnd();
    }
    if (!begun) return false;
    out->PathEnd();
    return true;
}

bool G3PolylineClipper::IsClosed(int c) const {
    const GContourRecord& contour = contours[c];
    const double* first =
        &vertices[static_cast<std::size_t>(segments[contour.firstSegment].firstVertex) * dimension];
    const double* last = &vertices[static_cast<std::size_t>(
                                       segments[contour.firstSegment + contour.segmentCount - 1].firstVertex) *
                                   dimension];
    return contour.segmentCount > 1 && std::equal(first, first + 3, last);
}

bool G3PolylineClipper::ReachesWindow(int c, int code) const {
    // Each piece clipped to the named sides' half-planes, bounds included
    // (the sides' own rule), by its parameter interval.
    const GContourRecord& contour = contours[c];
    auto point = [&](int s) {
        return &vertices[static_cast<std::size_t>(segments[contour.firstSegment + s].firstVertex) * dimension];
    };
    // A piece that only touches the window at one point leaves nothing
    // either; a point of the contour in the window does.
    for (int s = 0; s < contour.segmentCount; ++s) {
        const double* a = point(s);
        bool in = true;
        for (const GWindowSide& side : kSides)
            if (code & side.bit)
                in = in && (side.isMax ? a[side.axis] <= window.max[side.axis] : a[side.axis] >= window.min[side.axis]);
        if (in) return true;
    }
    for (int s = 0; s + 1 < contour.segmentCount; ++s) {
        const double* a = point(s);
        const double* b = point(s + 1);
        double t0 = 0.0, t1 = 1.0;
        for (const GWindowSide& side : kSides) {
            if (!(code & side.bit)) continue;
            const double bound = side.isMax ? window.max[side.axis] : window.min[side.axis];
            // Inside: (isMax ? bound - v : v - bound) >= 0 along v = a + t (b - a).
            const double sign = side.isMax ? -1.0 : 1.0;
            const double at = sign * (a[side.axis] - bound), slope = sign * (b[side.axis] - a[side.axis]);
            if (slope == 0.0) {
                if (!(at >= 0.0)) t1 = -1.0;
            } else if (slope > 0.0) {
                t0 = std::max(t0, -at / slope);
            } else {
                t1 = std::min(t1, -at / slope);
            }
        }
        if (t0 < t1) return true;
    }
    return false;
}

void G3PolylineClipper::ClipPolygon(int c, int code, std::vector<GClipPoint>& points) {
    // Each point carries the visibility of the segment that ends at it.
    const GContourRecord& contour = contours[c];
    points.clear();
    points.reserve(static_cast<std::size_t>(contour.segmentCount) + 8);
    for (int s = 0; s < contour.segmentCount; ++s) {
        const GSegmentRecord& segment = segments[contour.firstSegment + s];
        GClipPoint point;
        std::copy_n(&vertices[static_cast<std::size_t>(segment.firstVertex) * dimension], 3,
                    point.p);
        point.visibility = segment.visibility;
        point.cutId = 0;
        points.push_back(point);
    }

    std::vector<GClipPoint> clipped;
    int cutId = 0;
    for (const GWindowSide& side : kSides) {
        if (!(code & side.bit)) continue;
        ++cutId;
        if (side.isMax)
            ClipMax(points, clipped, side.axis, window.max[side.axis], cutId);
        else
            ClipMin(points, clipped, side.axis, window.min[side.axis], cutId);
        points.swap(clipped);
    }
}

void G3PolylineClipper::ClipMin(const std::vector<GClipPoint>& in, std::vector<GClipPoint>& out,
                                int axis, double bound, int cutId) {
    ClipSide(in, out, axis, bound, cutId, false);
}

void G3PolylineClipper::ClipMax(const std::vector<GClipPoint>& in, std::vector<GClipPoint>& out,
                                int axis, double bound, int cutId) {
    ClipSide(in, out, axis, bound, cutId, true);
}

// One side pass over the open list of points (the pairs do not close back to
// the first point: a closed contour repeats its start as its last point).
// Points on the bound count as inside; crossings are exact on the bound.
void G3PolylineClipper::ClipSide(const std::vector<GClipPoint>& in, std::vector<GClipPoint>& out,
                                 int axis, double bound, int cutId, bool isMax) {
    out.clear();
    if (in.empty()) return;
    auto inside = [&](double v) { return isMax ? v <= bound : v >= bound; };
    auto strictlyInside = [&](double v) { return isMax ? v < bound : v > bound; };
    auto strictlyOutside = [&](double v) { return isMax ? v > bound : v < bound; };

    // A point on this side where the last one already lies (leaving from
    // a point on the side, coming back where the path left): no piece.
    auto AtLast = [&](const GClipPoint& point) {
        if (out.empty() || out.back().cutId != cutId || point.p[axis] != bound) return false;
        return Distance(point.p, out.back().p) <= GTolerance::kPointEqual;
    };
    auto NearLast = [&](const GClipPoint& point) {
        return !out.empty() && Distance(point.p, out.back().p) <= GTolerance::kPointEqual;
    };
    auto keep = [&](std::size_t k) {
        GClipPoint point = in[k];
        point.cutId = point.p[axis] == bound ? cutId : 0;
        if (k > 0 && strictlyOutside(in[k - 1].p[axis]) && AtLast(point)) return;
        // Just inside, within kPointEqual of where the path came back in:
        // the crossing already stands for it (a corner crossed exactly,
        // rounded to either side of the bound by an earlier pass).
        if (k > 0 && strictlyOutside(in[k - 1].p[axis]) && NearLast(point)) return;
        // Reached from outside, a point on the border ends a piece that runs
        // along the border from the previous output point: it is not drawn.
        if (point.cutId == cutId && k > 0 && strictlyOutside(in[k - 1].p[axis]) && !out.empty() &&
            out.back().cutId == cutId)
            point.visibility = SEGMENT_INVISIBLE;
        out.push_back(point);
    };
    auto cross = [&](const GClipPoint& a, const GClipPoint& b) {
        GClipPoint point;
        double t = (bound - a.p[axis]) / (b.p[axis] - a.p[axis]);
        for (int i = 0; i < 3; ++i) point.p[i] = a.p[i] + t * (b.p[i] - a.p[i]);
        // An end within kPointEqual of the side is taken onto it as it is:
        // the interpolated point would carry rounding in the other axes, and
        // at a corner that puts it just outside the next side, losing a
        // piece that runs along that side.
        const double toA = Distance(point.p, a.p), toB = Distance(point.p, b.p);
        if (std::min(toA, toB) <= GTolerance::kPointEqual)
            std::copy_n(toA <= toB ? a.p : b.p, 3, point.p);
        point.p[axis] = bound;
        if (AtLast(point)) return;
        // The last point lies just inside, within kPointEqual of the
        // crossing: it is moved onto the side (along this axis only, so a
        // side it lies on stays exact) instead of adding an empty piece.
        if (NearLast(point)) {
            out.back().p[axis] = bound;
            out.back().cutId = cutId;
            return;
        }
        point.cutId = cutId;
        // Following another point on this side, the piece runs along the
        // window's border.
        point.visibility =
            !out.empty() && out.back().cutId == cutId ? SEGMENT_INVISIBLE : b.visibility;
        out.push_back(point);
    };

    for (std::size_t k = 0; k + 1 < in.size(); ++k) {
        const GClipPoint& a = in[k];
        const GClipPoint& b = in[k + 1];
        if (inside(a.p[axis])) {
            keep(k);
            if (strictlyOutside(b.p[axis])) cross(a, b);
        } else if (strictlyInside(b.p[axis])) {
            cross(a, b);
        }
    }
    if (inside(in.back().p[axis])) keep(in.size() - 1);

    // Both ends on this side and apart: the border piece that closes the
    // contour.
    if (!out.empty() && out.back().cutId == cutId && out.front().cutId == cutId && !AtLast(out.front())) {
        GClipPoint closing = out.front();
        closing.visibility = SEGMENT_INVISIBLE;
        closing.cutId = 0;
        out.push_back(closing);
    }
}

// --- segment against polygon

bool G3PolylineClipper::DoClip(const double* p, const double* q, GLineLoader* out) {
    if (!hasPolygon || !p || !q || !out) return false;
    return ClipWithPolygon(p, q, out);
}

G3PolylineClipper::GPoint3 G3PolylineClipper::CutPoint(int k) const {
    const double* v = &cutVertices[2 * static_cast<std::size_t>(k)];
    return GPoint3{{v[0], v[1], 0.0}};
}

// A run of polygon points on the line, from `entry` to `exit`, reached from
// side `entrySide` and left to side `exitSide`. Left to the side it came
// from, the run touches the line: both ends are crossings, so the stretch
// between them pairs up as inside when the polygon lies beyond it (the case
// where the polygon lies on both sides of the run is settled afterwards, see
// JoinAcrossBorderStretches). Left to the other side, the run is one
// crossing (at its exit) and the stretch is border lying on the line, kept
// as an interval of its own.
void G3PolylineClipper::SettleRun(int entry, int entrySide, int exit, int exitSide) {
    if (entrySide == exitSide) {
        touchRuns.push_back(crossings.size());
        crossings.push_back(CutPoint(entry));
        crossings.push_back(CutPoint(exit));
    } else {
        crossings.push_back(CutPoint(exit));
        onLineEdges.push_back(CutPoint(entry));
        onLineEdges.push_back(CutPoint(exit));
    }
}

bool G3PolylineClipper::ClipWithPolygon(const double* p0, const double* q0, GLineLoader* out) {
    crossings.clear();
    onLineEdges.clear();
    touchRuns.clear();
    if (cutCount < 1) return false;

    double p[3], q[3];
    std::copy_n(p0, 3, p);
    std::copy_n(q0, 3, q);
    double length = std::hypot(q[0] - p[0], q[1] - p[1]);
    // A segment without length in x and y has no line to clip along.
    if (!(length > 0.0) || !std::isfinite(length)) return false;

    // Signed distance of a point from the segment's line, and its side.
    double a = (q[1] - p[1]) / length;
    double b = (p[0] - q[0]) / length;
    double c = -(a * p[0] + b * p[1]);
    int n = cutCount;
    std::vector<double> f(n);
    std::vector<int> side(n);
    bool allOnLine = true;
    for (int k = 0; k < n; ++k) {
        const double* v = &cutVertices[2 * static_cast<std::size_t>(k)];
        f[k] = a * v[0] + b * v[1] + c;
        side[k] = std::fabs(f[k]) < GTolerance::kPlaneSide ? 0 : (f[k] > 0 ? 1 : -1);
        if (side[k] != 0) allOnLine = false;
    }
    int axis = std::fabs(q[0] - p[0]) < std::fabs(q[1] - p[1]) ? 1 : 0;

    if (allOnLine) {
        // A polygon lying wholly on the line is border only: the stretch it
        // covers, between its extreme points along the line.
        int lo = 0, hi = 0;
        for (int k = 1; k < n; ++k) {
            double v = cutVertices[2 * static_cast<std::size_t>(k) + axis];
            if (SortKey(v) < SortKey(cutVertices[2 * static_cast<std::size_t>(lo) + axis])) lo = k;
            if (SortKey(v) > SortKey(cutVertices[2 * static_cast<std::size_t>(hi) + axis])) hi = k;
        }
        crossings.push_back(CutPoint(lo));
        crossings.push_back(CutPoint(hi));
    } else {
        // Walk the edges from the last point to the first and on around. A
        // run of points on the line that the walk starts inside is settled
        // at the end, when the walk enters it again.
        int entry = -1, entrySide = 0;
        int pendingExit = -1, pendingExitSide = 0;
        for (int k = 0; k < n; ++k) {
            int prev = k == 0 ? n - 1 : k - 1;
            int sp = side[prev], sc = side[k];
            if (sp != 0 && sc != 0) {
                if (sp != sc) {
                    double fp = std::fabs(f[prev]), fc = std::fabs(f[k]);
                    double t = fp / (fp + fc);
                    GPoint3 from = CutPoint(prev), to = CutPoint(k);
                    GPoint3 x{{from.v[0] + t * (to.v[0] - from.v[0]),
                               from.v[1] + t * (to.v[1] - from.v[1]), 0.0}};
                    crossings.push_back(x);
                }
            } else if (sp != 0) {
                entry = k;
                entrySide = sp;
            } else if (sc != 0) {
                if (entry < 0) {
                    pendingExit = prev;
                    pendingExitSide = sc;
                } else {
                    SettleRun(entry, entrySide, prev, sc);
                }
                entry = -1;
            }
        }
        if (pendingExit >= 0 && entry >= 0)
            SettleRun(entry, entrySide, pendingExit, pendingExitSide);
    }

    if (crossings.empty()) return false;
    JoinAcrossBorderStretches(axis);
    SortIntersections(axis);
    if (!onLineEdges.empty()) {
        AppendHorizEdges(axis);
        SortIntervals(axis);
    }
    if (p[axis] > q[axis]) std::swap(p, q);
    return FindVisibleIntervals(p, q, axis, out);
}

// A run touching the line from one side, with the line inside on both of
// its ends (the flat top of a notch), is border between two inside parts.
// Its two crossings would pair up as (inside part, run start) and (run end,
// inside part) and leave the run itself out, although the border counts as
// inside. Such a run is told by the parity of the crossings before it, and
// its two crossings are dropped: the inside parts then join into one
// interval across it. Only a run with length whose two crossings are the
// only ones over its stretch is joined, so that removing the pair merges
// exactly the two intervals around it and changes nothing else.
void G3PolylineClipper::JoinAcrossBorderStretches(int axis) {
    if (touchRuns.empty()) return;
    // Counting on sorted keys keeps a comb of many notches from going
    // quadratic.
    std::vector<double> keys;
    keys.reserve(crossings.size());
    for (const GPoint3& x : crossings) keys.push_back(SortKey(x.v[axis]));
    std::sort(keys.begin(), keys.end());
    std::vector<bool> dropped(crossings.size(), false);
    for (std::size_t first : touchRuns) {
        double lo = SortKey(crossings[first].v[axis]);
        double hi = SortKey(crossings[first + 1].v[axis]);
        if (hi < lo) std::swap(lo, hi);
        if (!(lo < hi)) continue;
        auto from = std::lower_bound(keys.begin(), keys.end(), lo);
        auto to = std::upper_bound(from, keys.end(), hi);
        bool insideBefore = (from - keys.begin()) % 2 == 1;
        if (insideBefore && to - from == 2) dropped[first] = dropped[first + 1] = true;
    }
    std::size_t kept = 0;
    for (std::size_t k = 0; k < crossings.size(); ++k)
        if (!dropped[k]) crossings[kept++] = crossings[k];
    crossings.resize(kept);
}

void G3PolylineClipper::SortIntersections(int axis) {
    std::stable_sort(crossings.begin(), crossings.end(),
                     [axis](const GPoint3& x, const GPoint3& y) {
                         return SortKey(x.v[axis]) < SortKey(y.v[axis]);
                     });
}

void G3PolylineClipper::AppendHorizEdges(int axis) {
    for (std::size_t k = 0; k + 1 < onLineEdges.size(); k += 2) {
        const GPoint3& e = onLineEdges[k];
        const GPoint3& x = onLineEdges[k + 1];
        bool exitFirst = SortKey(x.v[axis]) < SortKey(e.v[axis]);
        crossings.push_back(exitFirst ? x : e);
        crossings.push_back(exitFirst ? e : x);
    }
}

// Reorders the crossings as (entry, exit) pairs by their entries.
void G3PolylineClipper::SortIntervals(int axis) {
    std::vector<std::pair<GPoint3, GPoint3>> pairs;
    pairs.reserve(crossings.size() / 2);
    for (std::size_t k = 0; k + 1 < crossings.size(); k += 2)
        pairs.emplace_back(crossings[k], crossings[k + 1]);
    std::stable_sort(pairs.begin(), pairs.end(), [axis](const auto& x, const auto& y) {
        return SortKey(x.first.v[axis]) < SortKey(y.first.v[axis]);
    });
    crossings.clear();
    for (const auto& pair : pairs) {
        crossings.push_back(pair.first);
        crossings.push_back(pair.second);
    }
}

// Walks the (entry, exit) pairs along the axis from p (which comes first) to
// q. The cursor never moves back, and pieces no longer than kPointEqual along the
// axis are not sent, so touching points and border stretches that overlap an
// inside interval give neither empty nor repeated pieces.
bool G3PolylineClipper::FindVisibleIntervals(const double* p, const double* q, int axis,
                                             GLineLoader* out) {
    using GTolerance::kPointEqual;
    double first = crossings.front().v[axis];
    double last = first;
    for (const GPoint3& x : crossings) last = std::max(last, x.v[axis]);
    if (!(q[axis] - first >= kPointEqual && last - p[axis] >= kPointEqual)) return false;

    // Crossings lie on the polygon (z = 0); a piece of the segment takes its
    // height from the segment.
    double span = q[axis] - p[axis];
    auto onSegment = [&](const GPoint3& x) {
        GPoint3 r = x;
        r.v[2] = p[2] + (q[2] - p[2]) * ((x.v[axis] - p[axis]) / span);
        return r;
    };

    GPoint3 cursor{{p[0], p[1], p[2]}};
    bool sent = false;
    bool broke = false;
    for (std::size_t k = 0; k + 1 < crossings.size(); k += 2) {
        const GPoint3& entry = crossings[k];
        const GPoint3& exit = crossings[k + 1];
        if (exit.v[axis] <= p[axis]) continue;
        if (entry.v[axis] >= q[axis]) break;
        if (entry.v[axis] > cursor.v[axis]) cursor = onSegment(entry);
        if (q[axis] <= exit.v[axis]) {
            broke = true;
            break;
        }
        if (exit.v[axis] - cursor.v[axis] > kPointEqual) {
            GPoint3 to = onSegment(exit);
            out->LineLoad(cursor.v, to.v);
            sent = true;
            cursor = to;
        } else if (exit.v[axis] > cursor.v[axis]) {
            cursor = onSegment(exit);
        }
    }
    if (broke && q[axis] - cursor.v[axis] > kPointEqual) {
        out->LineLoad(cursor.v, q);
        sent = true;
    }
    return sent;
}
