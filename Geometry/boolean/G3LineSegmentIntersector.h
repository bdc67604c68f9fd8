#pragma once
// Crossings among many 3D segments compared in one coordinate plane, found
// with a sweep along the plane's second axis (axisV). A segment reached by
// the sweep is tested against the segments the sweep line still crosses
// whose ranges on axisU meet its own; the crossings go to a caller's
// G3IntersectionPointLoader.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GMemoryAllocator.h"
#include "Geometry/foundation/GObj.h"

#include <utility>
#include <vector>

class G3IntersectionPointLoader;
class G3LineSegmentIntersector;

// One segment as the sweep sees it. Placed in the intersector's arena.
class G3Segment : public GObj {
public:
    G3Segment();
    // Ends ordered so that p1 has the smaller axisV coordinate (the given
    // order is kept on a tie); the line and bounds in the (axisU, axisV)
    // plane. The axes must be distinct and within 0..2.
    G3Segment(const double* p1, const double* p2, void* data, int axisU, int axisV);

    // Signed distance of `p` from the segment's line in the (axisU, axisV)
    // plane (0 everywhere for a degenerate segment).
    double Distance(const double* p, int axisU, int axisV) const { return a * p[axisU] + b * p[axisV] + c; }
    // Whether the ends were exchanged to put the lower one first.
    bool IsReversed() const { return reversed; }

    void* data = nullptr;
    double p1[3] = {0, 0, 0};
    double p2[3] = {0, 0, 0};
    // The line a·u + b·v + c = 0 with (a, b) the unit normal (Δv, −Δu);
    // all 0 for a segment not longer than 1e-6 in the plane.
    double a = 0;
    double b = 0;
    double c = 0;
    double length = 0;
    double min[3] = {0, 0, 0};
    double max[3] = {0, 0, 0};
    // axisU when |Δv| ≤ |Δu| (and for a degenerate segment), else axisV.
    int dominantAxis = 0;

private:
    friend class G3LineSegmentIntersector;
    bool reversed = false;
    // Position in the order of addition (breaks ties of the sweep order).
    int order = 0;
};

class G3LineSegmentIntersector {
public:
    // axisU and axisV must be distinct coordinate indexes (0..2); with any
    // other pair no segment is accepted and nothing is ever found.
    G3LineSegmentIntersector(int axisU, int axisV);
    ~G3LineSegmentIntersector();
    // The segment records live in the arena of exactly one intersector.
    G3LineSegmentIntersector(const G3LineSegmentIntersector&) = delete;
    G3LineSegmentIntersector& operator=(const G3LineSegmentIntersector&) = delete;

    // Keeps the segment when its length in the (axisU, axisV) plane exceeds
    // 1e-6 and its coordinates are finite; returns whether it was kept.
    bool AddSegment(const double* p1, const double* p2, void* data);
    // Whether any two kept segments would be reported by FindIntersections.
    bool IntersectionExists();
    // Reports every crossing to `loader` (nothing with a null loader). The
    // parameters given with a crossing run from the first end the caller
    // passed for that segment (0) to its second (1).
    void FindIntersections(G3IntersectionPointLoader* loader);

    int GetSegmentCount() const { return segments.size(); }
    G3Segment* GetSegment(int i) const { return static_cast<G3Segment*>(segments.get(i)); }
    int GetAxisU() const { return axisU; }
    int GetAxisV() const { return axisV; }
    int GetAxisW() const { return axisW; }

protected:
    // Sweep order: by the axisV coordinate of p1, ties by order of addition;
    // never reports two segments equal. `context` is the intersector. The
    // sweep establishes exactly this order with a radix pass on the same key.
    static int ScanCmp(const void* s1, const void* s2, const void* context);
    // Puts the segments in sweep order and empties the sweep state; false
    // when there is no segment.
    bool BeginSweep();
    // Moves the next batch of segments (those starting within 1e-6 above the
    // first one not yet reached) to pending; false when all were reached.
    bool GetNextInsertionPoint();
    // Drops from the active set every segment ending more than 1e-6 below
    // the sweep position.
    void RemoveOldSegments();
    // Tests `s` against the active segments whose axisU ranges meet its own
    // within 1e-6, oldest first. With a loader, reports every crossing and
    // returns whether there was one; with none, stops at the first crossing.
    bool FindIntersection(G3IntersectionPointLoader* loader, G3Segment* s);
    // Each pending segment, last first, is tested and then made active.
    void _FindIntersections(G3IntersectionPointLoader* loader);
    // As _FindIntersections without reporting; true at the first crossing.
    bool _IntersectionExists();

    // The report cases for the new segment s and the active segment o.
    // Without a loader, answers whether anything would be reported.
    bool TestPair(G3IntersectionPointLoader* loader, G3Segment* s, G3Segment* o) const;

    GMemoryAllocator allocator;
    GArrayCollection segments;
    GArrayCollection active;
    GArrayCollection pending;
    int axisU = 0;
    int axisV = 1;
    int axisW = 2;
    double sweepPos = 0;
    int next = 0;

private:
    // The active segments are found by their axisU ranges through a uniform
    // grid of cells along axisU, sized from the segments (about the median
    // extent per cell). A segment covering at most kMaxCells cells is listed
    // in each of them, a longer one in a list that every search reads; a
    // search over more cells than there are active segments reads them all.
    // For segments of similar lengths a search meets a few cells and a few
    // segments however many there are, and the grid holds only the active
    // segments, so it stays small on large inputs.
    static constexpr int kMaxCells = 4;
    struct Node {
        double minU;
        double maxU;
        int stamp;  // order of entering the active set
        int slot;   // index in active and activeNodes
        int seen;   // last search that met it
        int cell0;  // first cell, or -1 in the long list
        int cellCount;
        double endV; // p2 on axisV
        int endBucket;
        int endNext;
        int endPrev;
        G3Segment* seg;
    };

    void EndSweep();
    // Sorts the keys and sizes the grid.
    void OrderSegments();
    void Activate(G3Segment* s);
    void Deactivate(int node);
    int CellOf(double u) const;
    int& Head(int cell) { return cell < 0 ? longHead : cellHead[static_cast<std::size_t>(cell)]; }
    void Link(int entry, int cell);
    void Unlink(int entry, int cell);
    void Consider(int node, double lo, double hi);

    std::vector<Node> nodes;
    std::vector<int> freeNodes;
    std::vector<int> activeNodes;
    // Cell lists threaded through entries node * kMaxCells + k.
    std::vector<int> entryNext;
    std::vector<int> entryPrev;
    std::vector<int> cellHead;
    int longHead = -1;
    double gridU0 = 0;
    double gridWidth = 1;
    int gridCells = 1;
    int searchMark = 0;
    // Active segments by the height of their upper ends: buckets of equal
    // height along axisV, about one end per bucket. The buckets below the
    // one holding sweepPos - 1e-6 are emptied whole; that one is searched.
    int EndBucketOf(double v) const;
    std::vector<int> endHead;
    double endV0 = 0;
    double endHeight = 1;
    int endCursor = 0;
    std::vector<int> candidates;
    int stampCounter = 0;
    bool validAxes = false;
};
