#pragma once
// Crossings among many 3D segments compared in one coordinate plane, found
// with a sweep along the plane's second axis (axisV). A segment reached by
// the sweep is tested against the segments the sweep line still crosses
// whose ranges on axisU meet its own; the crossings go to a caller's
// G3IntersectionPointLoader.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GMemoryAllocator.h"
#include "Geometry/foundation/GObj.h"

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
    // Sweep bookkeeping: position in the order of addition, position in the
    // sweep order, rank among the segments ordered by min[axisU], moment of
    // entering the active set (-1 outside it), slot in the active collection.
    int order = 0;
    int sweepIndex = 0;
    int rank = 0;
    int stamp = -1;
    int slot = -1;
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
    // never reports two segments equal. `context` is the intersector.
    static int ScanCmp(const void* s1, const void* s2, const void* context);
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
    // Sorts the segments into sweep order and prepares the search structures.
    bool BeginSweep();
    void EndSweep();
    void Activate(G3Segment* s);
    void Deactivate(G3Segment* s);
    void SetLeaf(int rank, double value);
    void Collect(int node, int nodeLo, int nodeSize, int limit, double lo);

    // Active segments by rank of min[axisU]: a max-tree over the ranks whose
    // leaf holds max[axisU] of an active segment and -inf otherwise, so the
    // segments meeting a range are found without visiting the others.
    std::vector<G3Segment*> byRank;
    std::vector<double> rankMinU;
    std::vector<double> tree;
    int leafCount = 0;
    // Active segments keyed by (p2 on axisV, sweep index), smallest on top.
    std::vector<std::pair<double, int>> ends;
    std::vector<G3Segment*> candidates;
    int stampCounter = 0;
    bool validAxes = false;
};
