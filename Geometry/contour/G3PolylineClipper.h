#pragma once
// Clips drawings. As a GPathLoader the clipper stores the paths it receives;
// DoClip then sends them on to another loader, either as they are or clipped
// to an axis-aligned window in x and y, with the new pieces that run along
// the window's border marked invisible so that a clipped outline never draws
// the window's edge. Built with a polygon instead of a window, it clips single
// segments against that polygon and hands the inside pieces to a GLineLoader.
//
// The clipper is a short-lived working object: load one path, clip, discard.
// It owns its arrays, so it cannot be copied.

#include "Geometry/contour/GPathLoader.h"
#include "Geometry/math/GEnvelope.h"

#include <vector>

class G3PolylineClipper : public GPathLoader {
public:
    // Window mode: the window is a copy of the box (only its x and y bounds
    // are used). A null box gives an empty window, which nothing survives.
    explicit G3PolylineClipper(const GEnvelope* window);
    // Window mode: the box of (x1, y1, 0) and (x2, y2, 0).
    G3PolylineClipper(double x1, double y1, double x2, double y2);
    // Polygon mode: n points given as consecutive (x, y) pairs, copied. The
    // polygon is closed implicitly (last point back to the first).
    G3PolylineClipper(int n, const double* points);
    ~G3PolylineClipper() override;

    G3PolylineClipper(const G3PolylineClipper&) = delete;
    G3PolylineClipper& operator=(const G3PolylineClipper&) = delete;

    // --- path loading. Calls that arrive out of order (a contour before
    // PathBegin, a segment before any contour) are ignored, as are segments
    // without vertices.
    void PathBegin(int contourCount) override;
    void PathSetPreferPlane(int i, int j) override;
    void PathContourBegin(double* point, int segmentCount, CONTOUR_TYPE type) override;
    void PathContourSegmentTo(SEGMENT_TYPE type, SEGMENT_VISIBILITY visibility, int vertexCount,
                              double* points) override;
    void PathContourEnd() override;
    void PathEnd() override;

    // Sends the stored path to `out`: unchanged when `code` is 0, otherwise
    // clipped at the window sides that `code` names (0x1 minimum x, 0x10000
    // maximum x, 0x2 minimum y, 0x20000 maximum y; other bits are ignored).
    // A caller passes the box test code of the path's box against the window,
    // so only the sides the path crosses are clipped. False, with nothing
    // sent, in polygon mode, for a null loader, or when `out` is this clipper;
    // false, with nothing sent, when clipping leaves nothing (or single
    // points only).
    bool DoClip(GPathLoader* out, int code);
    // Polygon mode: sends the pieces of p-q that lie inside the polygon (its
    // border counts as inside where the segment runs along it) to `out`,
    // ordered along the segment's dominant axis. True when a piece was sent;
    // false, with nothing sent, in window mode.
    bool DoClip(const double* p, const double* q, GLineLoader* out);

    // --- inspection
    const GEnvelope* GetWindow() const { return &window; }
    bool HasPolygon() const { return hasPolygon; }
    int GetCutCount() const { return cutCount; }
    // The k-th polygon point (x, y), or null when k is out of range.
    const double* GetCutVertex(int k) const;
    int GetDimension() const { return dimension; }
    int GetContourCount() const { return static_cast<int>(contours.size()); }
    int GetSegmentCount() const { return static_cast<int>(segments.size()); }
    int GetVertexCount() const { return static_cast<int>(vertices.size()) / dimension; }

protected:
    struct GContourRecord {
        int segmentCount;
        int firstSegment;
        CONTOUR_TYPE type;
    };
    struct GSegmentRecord {
        int vertexCount;
        int firstVertex;
        SEGMENT_TYPE type;
        SEGMENT_VISIBILITY visibility;
    };
    // A contour point on its way through the side passes: the visibility of
    // the piece that ends at it, and the id of the window side it lies on
    // (1..4 in the order the sides are clipped, 0 for none).
    struct GClipPoint {
        double p[3];
        SEGMENT_VISIBILITY visibility;
        int cutId;
    };
    struct GPoint3 {
        double v[3];
    };

    void ClearLists();
    void ReallocContour(int need);
    void ReallocSegment(int need);
    void ReallocVertex(int need);

    bool OutAll(GPathLoader* out);
    // Contour c ends where it starts.
    bool IsClosed(int c) const;
    // Some point of contour c lies inside the sides named in `code` (or on
    // them).
    bool ReachesWindow(int c, int code) const;
    bool ClipWithRectangle(GPathLoader* out, int code);
    // The points of contour `c` clipped at the sides named in `code`.
    void ClipPolygon(int c, int code, std::vector<GClipPoint>& points);
    void ClipMin(const std::vector<GClipPoint>& in, std::vector<GClipPoint>& out, int axis,
                 double bound, int cutId);
    void ClipMax(const std::vector<GClipPoint>& in, std::vector<GClipPoint>& out, int axis,
                 double bound, int cutId);

    bool ClipWithPolygon(const double* p, const double* q, GLineLoader* out);
    void SortIntersections(int axis);
    void AppendHorizEdges(int axis);
    void SortIntervals(int axis);
    bool FindVisibleIntervals(const double* p, const double* q, int axis, GLineLoader* out);

private:
    void ClipSide(const std::vector<GClipPoint>& in, std::vector<GClipPoint>& out, int axis,
                  double bound, int cutId, bool isMax);
    void SettleRun(int entry, int entrySide, int exit, int exitSide);
    void JoinAcrossBorderStretches(int axis);
    GPoint3 CutPoint(int k) const;

    // Stored path: contours own runs of segments, segments own runs of
    // vertices (dimension doubles each). `loading` is set by PathBegin; until
    // then there is no path to add to.
    std::vector<GContourRecord> contours;
    std::vector<double> vertices;
    std::vector<GSegmentRecord> segments;
    int dimension = 3;
    bool loading = false;

    GEnvelope window;

    bool hasPolygon = false;
    int cutCount = 0;
    std::vector<double> cutVertices;  // (x, y) per polygon point

    // Work arrays of the segment clipping: points where the polygon's border
    // meets the segment's line, and the stretches of border lying on it.
    std::vector<GPoint3> crossings;
    std::vector<GPoint3> onLineEdges;
    // Where each run touching the line from one side put its two crossings
    // (index of the first of them in `crossings`).
    std::vector<std::size_t> touchRuns;
};
