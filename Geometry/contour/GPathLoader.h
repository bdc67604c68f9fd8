#pragma once
// Receivers of drawings. A path arrives as PathBegin, then for each contour
// one PathContourBegin with its start point, PathContourSegmentTo for each
// further segment (vertexCount points of three doubles each) and
// PathContourEnd, and finally PathEnd. Hosts derive from these classes; the
// kernel's own implementation is G3PolylineClipper.

#include "Geometry/contour/GContourTypes.h"

class GPathLoader {
public:
    virtual void PathBegin(int contourCount) = 0;
    virtual void PathSetPreferPlane(int i, int j) = 0;
    virtual void PathContourBegin(double* point, int segmentCount, CONTOUR_TYPE type) = 0;
    virtual void PathContourSegmentTo(SEGMENT_TYPE type, SEGMENT_VISIBILITY visibility,
                                      int vertexCount, double* points) = 0;
    virtual void PathContourEnd() = 0;
    virtual void PathEnd() = 0;
    virtual ~GPathLoader() = default;
};

// Receives the visible pieces of a segment clipped against a polygon, each
// as its two end points (three doubles each).
class GLineLoader {
public:
    virtual void LineLoad(const double* from, const double* to) = 0;
    virtual ~GLineLoader() = default;
};
