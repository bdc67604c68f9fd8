#pragma once
// The planar arrangement of loaded triangles and contours under a boolean
// operation, handed to a GPathLoader.
//
// Loading: LoadBegin(xCoo, yCoo), then any number of TriangleLoad calls and
// contours (ContourBeginLoad, ContourLoadSegment per further point,
// ContourEndLoad), then LoadEnd; DoIntersect computes and delivers the
// result and forgets the load. Finit forgets it at any time.
//
// What is inside: every triangle is a region of its own; the contours
// together form one more region by the even-odd rule (a point inside an
// odd number of them is inside), so an outline loaded with its holes is
// one region whatever the holes' orientation. NextContourRegion starts a
// further contour region: the contours loaded after it form one region of
// their own, read the same way. A point's cover is the number of regions
// it lies in.
//
// Everything happens in the plane of the two axes given to LoadBegin: a
// point is projected on it (its third coordinate is 0 in the result),
// segments are split where they cross in that plane and points closer than
// 9.999999999999999e-6 are one point.
//
// Calls out of protocol do nothing: loading before LoadBegin or after
// LoadEnd, a segment with no open contour, DoIntersect with fewer than two
// segments loaded. A point with a coordinate that is not finite, or beyond
// GTolerance::kLargestCoordinate, is refused: a
// triangle with one is not loaded, a contour begun at one is not opened, a
// segment to one is skipped (the contour goes on from its last point).

#include "Geometry/contour/GContourTypes.h"

class G3ContourArrangement;
class GPathLoader;

// The result DoIntersect delivers. Bits 0x1 of the loading flags mark a
// visible side; a delivered segment is visible when any loaded side it lies
// on was.
enum BOOLEAN_OPERATION {
    // The outline of everything loaded (cover at least 1): one contour per
    // connected piece, its holes joined to it by bridge edges (a hole that
    // no bridge reaches comes as a contour of its own, type hole).
    BOOLEAN_OPERATION_UNION = 1,
    // Every face of the arrangement that lies inside: each face's outline
    // counter-clockwise (type outer) and each of its holes clockwise (type
    // hole), holes not joined.
    BOOLEAN_OPERATION_PIECES = 2,
    // The outline of where regions overlap (cover at least 2), delivered as
    // the union is.
    BOOLEAN_OPERATION_COMMON = 3
};

class G3ContourIntersector {
public:
    G3ContourIntersector();
    ~G3ContourIntersector();
    G3ContourIntersector(const G3ContourIntersector&) = delete;
    G3ContourIntersector& operator=(const G3ContourIntersector&) = delete;

    // Where the result goes (the caller's; it must outlive DoIntersect).
    // Null delivers nothing.
    void SetPathLoader(GPathLoader* loader) { receiver = loader; }
    GPathLoader* GetPathLoader() const { return receiver; }

    // Forgets any earlier load and starts one in the plane of the
    // coordinate axes xCoo and yCoo (distinct, 0..2: 0 x, 1 y, 2 z;
    // counter-clockwise is the turn from xCoo towards yCoo). The receiver
    // gets the pair through PathSetPreferPlane. Another pair starts
    // nothing.
    void LoadBegin(int xCoo, int yCoo);
    // One triangle; f1, f2, f3 are the flags of its sides p1-p2, p2-p3 and
    // p3-p1.
    void TriangleLoad(double* p1, double* p2, double* p3, int f1, int f2, int f3);
    // Opens a contour at p (an open contour is closed first, as by
    // ContourEndLoad with an invisible closing segment).
    void ContourBeginLoad(double* p);
    // A straight segment from the contour's last point to p with `flags`
    // (every type is taken as a straight segment).
    void ContourLoadSegment(double* p, SEGMENT_TYPE type, int flags);
    // Closes the contour back to its start with `flags`.
    void ContourEndLoad(SEGMENT_TYPE type, int flags);
    // The contours loaded from here on form a region of their own (an open
    // contour is closed first). Without a contour loaded since the last
    // call, or since LoadBegin, nothing changes.
    void NextContourRegion();
    // Ends the load (closing an open contour). Later loading is ignored.
    void LoadEnd();
    // Computes the arrangement, delivers its contours to the receiver and
    // forgets the load: PathBegin(contour count), PathSetPreferPlane(xCoo,
    // yCoo), per contour PathContourBegin(first point, segment count, type),
    // PathContourSegmentTo(SEGMENT_TYPE_LINE, visibility, 1, point) per
    // segment (the last returns to the first point) and PathContourEnd,
    // then PathEnd. Returns whether anything was delivered: false, with
    // nothing sent, when nothing was loaded, no receiver is set, the
    // operation is unknown, the result is empty or its borders do not close
    // into loops (a part is never delivered alone).
    bool DoIntersect(BOOLEAN_OPERATION op);
    // Forgets the load.
    void Finit();

private:
    G3ContourArrangement* engine = nullptr;
    GPathLoader* receiver = nullptr;
};
