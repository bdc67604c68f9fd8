#pragma once
// G3LandscapeHandler: the terrain tool. It keeps closed contour lines
// (building pads, clockwise, closed by repeating the first point) and turns
// terrain surfaces into new ones: smoothed by subdivision or
// re-triangulation (first order from facet normals, second order from
// per-vertex derivative records), closed into a body standing on z = 0
// (SurfaceCover, in place), or with flat regions cut in around the stored
// contours (ApplyFlatRegion).
//
// Defined in Geometry/terrain: G3LandscapeContours.cpp (contours, records,
// CopyExtData), G3LandscapeFirstOrder.cpp (first-order steps and
// LandscapeSmoothing), G3LandscapeSecondOrder.cpp (second-order steps),
// G3LandscapeCover.cpp (SurfaceCover), G3LandscapeFlatRegion.cpp
// (ApplyFlatRegion).

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GHeap.h"
#include "Geometry/terrain/G3TriInterface.h"

class G3Facet;
class G3Surface;
class G3Vertex;

// The local shape of a terrain at one vertex: first derivatives of height by
// x and y, then the second derivatives. Attached to a vertex as its scratch
// link while a second-order smoothing runs (and left on the result of
// LandscapeSmoothing mode 4).
class G3Derivative : public GObj {
    G_DECLARE_POOL(G3Derivative)
public:
    G3Derivative() = default;
    // Field by field over the six doubles.
    static G3Derivative* Average(const G3Derivative* a, const G3Derivative* b);
    static G3Derivative* Average(const G3Derivative* a, const G3Derivative* b, const G3Derivative* c);
    // Second-order Taylor estimate of the height at plan point (px, py) for
    // this record taken at `at`.
    double Estimate(const double* at, double px, double py) const;

    double zx = 0.0;
    double zy = 0.0;
    double zxy = 0.0;
    double zxx = 0.0;
    double zyx = 0.0;
    double zyy = 0.0;
    short reserved = 0;
};

// Three corners, in order: a triangle of the recursive subdivision.
class G3LandscapeTriangle : public GObj {
public:
    G3LandscapeTriangle(G3Vertex* a, G3Vertex* b, G3Vertex* c) : corners{a, b, c} {}
    G3Vertex* corners[3];
};

class G3LandscapeHandler : public G3TriInterface {
public:
    G3LandscapeHandler();
    // Releases the stored contours with their points, and an open contour.
    ~G3LandscapeHandler() override;
    // A copy would share the contours and release them twice (and the
    // triangulation engine, which the base does not copy).
    G3LandscapeHandler(const G3LandscapeHandler&) = delete;
    G3LandscapeHandler& operator=(const G3LandscapeHandler&) = delete;

    // ---- contours (G3LandscapeContours.cpp)
    // Opens a new contour; one still open is released.
    void StartContour();
    // Appends (x, y, z) unless it equals the last point (1e-6). Nothing
    // without an open contour, and nothing for a non-finite coordinate.
    void AddContourVertex(double x, double y, double z);
    // Stores the open contour clockwise (reversed when counter-clockwise).
    // False, the contour released, when none is open, when it has fewer than
    // four points (three distinct and the closing repeat), when it is not
    // closed, or when two of its segments cross.
    bool EndContour();
    // (x, y) strictly inside one of the contours of `list` (crossing count,
    // ray towards +y). False for a null or empty list.
    static bool PointInContour(GArrayCollection* list, double x, double y);
    static bool PointInOneContour(GArrayCollection* contour, double x, double y);
    // The plan segment a-b crosses the ray from (x, y) towards +y: the
    // crossing count's step, shared by every inside test over segments.
    static bool CrossesRayUp(const double* a, const double* b, double x, double y);
    // Two segments of the closed contour (last point repeated) that do not
    // share an end cross or touch. False for a null contour.
    static bool CrossesItself(GArrayCollection* contour);
    // Appends to `out` the closed contour `in` moved sideways by `distance`
    // (left of each segment; outwards for a clockwise contour), new points
    // owned through `out`. False, nothing appended, when no corner gives a
    // point.
    static bool OffsetContour(GArrayCollection* in, GArrayCollection* out, double distance);
    // After a run of this handler's triangulation read back with
    // GetSurface: each surviving output vertex takes its engine vertex's user
    // pointer as scratch link (the first of the points merged into it).
    void CopyExtData();

    // ---- smoothing (G3LandscapeFirstOrder.cpp, G3LandscapeSecondOrder.cpp)
    // Mode 1 SmoothSurface, 2 SmoothSurfaceEx, 3 and 4 SecondOrderSmoothSurface
    // with that mode, run `iterations` times on a duplicate of `surface`;
    // other modes (or no iteration) return the duplicate. Null for a null
    // surface, one with a coordinate that is not finite or lies beyond
    // GTolerance::kLargestCoordinate, or a failed step. After mode 4 each vertex of the result owns a
    // G3Derivative as scratch link (ReleaseRecords frees them).
    G3Surface* LandscapeSmoothing(G3Surface* surface, int mode, int iterations);
    // 1-to-4 subdivision with cubic edge midpoints, plus one polyedge per
    // vertex showing its slope record.
    G3Surface* SmoothSurface(G3Surface* surface);
    // Re-triangulation with each triangle's centroid raised by the slopes.
    G3Surface* SmoothSurfaceEx(G3Surface* surface);
    // Re-triangulation with second-order points inserted: mode 3 centroids,
    // mode 4 edge midpoints, border midpoints always. The input's vertices
    // keep the records attached to them; each output vertex owns its own.
    G3Surface* SecondOrderSmoothSurface(G3Surface* surface, int mode);
    // Recursive 1-to-4 subdivision of the re-triangulation, `levels` deep
    // (below 1 as 1; above kMaxLevels refused: null).
    G3Surface* SecondOrderSmoothSurfaceEx(G3Surface* surface, int levels);
    static constexpr int kMaxLevels = 8;
    // Releases every vertex scratch link of `surface` and clears it.
    static void ReleaseRecords(G3Surface* surface);

    // ---- bodies and flat regions
    // Walls from the open border down to z = 0 and a bottom facet, in place.
    void SurfaceCover(G3Surface* surface);
    // A new surface: `surface` cut around each stored contour (widened by
    // flatOffset) and re-triangulated with the contour's own points. Null
    // with no contours, flatOffset < kMinFlatOffset (the contour is only
    // ever widened: inwards, the pad would lie outside its own cut), no
    // edges, or a failed cut; a widened contour that crosses itself (a
    // notch narrower than twice the offset) fails the cut.
    G3Surface* ApplyFlatRegion(G3Surface* surface);
    static constexpr double kMinFlatOffset = 0.0001;

    GArrayCollection contours;
    GArrayCollection* currentContour = nullptr;
    double flatOffset = 0.0;
    void (*facetCreationNotify)(int) = nullptr;
    int (*facetClassifier)(G3Facet*) = nullptr;

    // Releases a contour's points and the list.
    static void ReleaseContour(GArrayCollection* contour);

private:
    void Notify(int k) const
    {
        if (facetCreationNotify)
            facetCreationNotify(k);
    }
    // Resamples the stored contours to about `spacing` between points.
    void ResampleContours(double spacing);
    bool CutRegion(G3Surface** result, GArrayCollection* contour);
};
