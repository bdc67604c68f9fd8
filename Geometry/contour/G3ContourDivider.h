#pragma once
// Closed planar contours that may cross themselves and one another, resolved
// into simple contours classified as outer contours and holes, given one
// orientation rule and handed back edge by edge.
//
// Loading: BeginLoad, then per contour BeginLoadContour, LoadEdge for each
// edge, EndLoadContour; finally EndLoad, which resolves everything, unloads
// it through the virtual unload operations below and forgets it. Calls out
// of that order are ignored: edges before BeginLoad or with no contour open,
// a contour opened before BeginLoad. An edge with a coordinate that is not
// finite, or beyond GTolerance::kLargestCoordinate, is refused (not added). A contour still open at EndLoad is closed first.
//
// Unloading, from EndLoad: BeginUnload; per result contour
// BeginUnloadContour(edge count, whether it is a hole), UnloadEdge per edge
// and EndUnloadContour; then EndUnload. Nothing is unloaded when no contour
// with an edge was loaded. Hosts derive and override the unload operations;
// here they do nothing.
//
// Orientation: the first result contour whose orientation sign is not zero
// (the anchor) fixes it for the others: contours of the anchor's type keep
// the anchor's sign, contours of the other type get the opposite. A contour
// with the wrong sign is unloaded reversed, from its last edge to its first,
// with its form-making flags shifted one edge along (ReverseContourFlags)
// and tags 0; every other contour is unloaded in its own order with the
// tags given to LoadEdge for its vertices.
//
// Joins: each end of an unloaded edge carries how the edge meets its
// neighbour there: 1 a break (the neighbour is invisible and the edge
// visible and not form-making, or both are visible and their flag bits
// 0x70 differ), 2 a smooth continuation.

#include "Geometry/foundation/GObj.h"

class G3Edge;
class G3EdgeList;
class G3Surface;
class GArrayCollection;

class G3ContourDivider : public GObj {
public:
    // Join kinds passed with the ends of an unloaded edge.
    enum { JOIN_BREAK = 1, JOIN_SMOOTH = 2 };
    // The flag bits whose difference between two visible neighbours makes
    // their corner a break.
    static constexpr int kJoinFlagBits = 0x70;

    G3ContourDivider();
    ~G3ContourDivider() override;
    G3ContourDivider(const G3ContourDivider&) = delete;
    G3ContourDivider& operator=(const G3ContourDivider&) = delete;

    // Starts a load. mode 1 links each hole to the outer contour around it
    // (by bridge edges, so the pair unloads as one contour); any other
    // value leaves holes as contours of their own. remeshFlags are the
    // flags of the bridge edges. A load already begun is dropped first.
    void BeginLoad(int mode, int remeshFlags);
    // Opens a contour when none is open (ignored before BeginLoad).
    void BeginLoadContour();
    // Appends the edge p1 -> p2 with `flags` to the open contour; tag1 and
    // tag2 travel with its two ends. Ignored with no open contour, a null
    // point or a coordinate out of range (see above).
    void LoadEdge(double* p1, double* p2, int flags, unsigned long tag1, unsigned long tag2);
    // Keeps the open contour when it has an edge (drops it otherwise).
    void EndLoadContour();
    // Resolves and unloads every loaded contour, then forgets them.
    void EndLoad();

    // --- the unload protocol (hosts override; nothing happens here)
    virtual void BeginUnload() {}
    virtual void BeginUnloadContour(int edgeCount, bool isHole)
    {
        (void)edgeCount;
        (void)isHole;
    }
    virtual void UnloadEdge(double* p1, int join1, double* p2, int join2, int flags, unsigned long tag1,
                            unsigned long tag2)
    {
        (void)p1;
        (void)join1;
        (void)p2;
        (void)join2;
        (void)flags;
        (void)tag1;
        (void)tag2;
    }
    virtual void EndUnloadContour() {}
    virtual void EndUnload() {}

    // The join of edge e with its neighbour n at one of e's ends.
    static int Join(const G3Edge* n, const G3Edge* e);

protected:
    // Forgets every loaded contour and the vertex store; mode back to 1 and
    // remeshFlags to 0.
    void Clear();
    // Shifts the form-making flags one edge towards the end of c: edge 0
    // loses its flag, edge k takes the one edge k - 1 had, the last edge's
    // flag is dropped.
    static void ReverseContourFlags(G3EdgeList* c);
    // The contour's turning sign on its projection axes, the sign of its
    // enclosed area (holes linked into it count against it): -1, +1, or 0
    // when the area is below GTolerance::kZeroArea.
    static int GetSignOfOrientedSquare(G3EdgeList* c);

    int mode = 1;
    G3EdgeList* currentContour = nullptr;
    GArrayCollection* contours = nullptr;
    G3Surface* surface = nullptr;
    int remeshFlags = 0;

private:
    // Unloads one result contour, reversed or in its own order.
    void UnloadContour(G3EdgeList* c, bool reverse);
    // When the simple contours of `result` cross or overlap one another so
    // that their nesting would not make their even-odd region, replaces them
    // by that region's borders (a border equal to a result is that result);
    // results that nest, touch or lie apart stay as they are. New vertices
    // go to surface. (G3ContourDividerOverlaps.cpp)
    void SeparateOverlaps(GArrayCollection* result);
};
