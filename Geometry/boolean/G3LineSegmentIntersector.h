#pragma once
// Crossings among many 3D segments compared in one coordinate plane, found
// with a sweep along the plane's second axis (axisV). A segment reached by
// the sweep is tested against the segments the sweep line still crosses
// whose ranges on axisU meet its own; the crossings go to a caller's
// G3IntersectionPointLoader.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GMemoryAllocator.h"
#include "Geometry/foundation/GObj.h"

#include <algorithm>
#include <cfloat>
#include <cstdint>
#include <exception>
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
    // 1e-6 and its coordinates are finite; returns whether it was kept (also
    // false when memory for it runs out). A segment added while a sweep
    // runs (from a loader) takes part in the next sweep.
    bool AddSegment(const double* p1, const double* p2, void* data);
    // Whether any two kept segments would be reported by FindIntersections.
    // Answers false when called from a loader during a sweep of this
    // intersector.
    bool IntersectionExists();
    // Reports every crossing to `loader` (nothing with a null loader, and
    // nothing when called from a loader during a sweep of this intersector).
    // The parameters given with a crossing run from the first end the caller
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
    // sweep establishes exactly this order with a bucket sort on the same
    // key.
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
    // False for a segment outside the current sweep.
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
    // A growable array of plain records whose growth reports a failed
    // allocation instead of throwing.
    template <class T> class PodArray {
    public:
        std::size_t size() const { return items.size(); }
        bool empty() const { return items.empty(); }
        void clear() { items.clear(); }
        T* data() { return items.data(); }
        const T* data() const { return items.data(); }
        T& operator[](std::size_t i) { return items[i]; }
        const T& operator[](std::size_t i) const { return items[i]; }
        // Room for `want` records; false when it cannot be had.
        bool reserve(std::size_t want)
        {
            if (want <= items.capacity())
                return true;
            try {
                items.reserve(std::max(want, 2 * items.capacity()));
            } catch (const std::exception&) {
                return false;
            }
            return true;
        }
        // After reserve(size() + 1).
        void push_back(const T& x) { items.push_back(x); }

    private:
        std::vector<T> items;
    };

    // What the sweep reads of a segment, 64 bytes: its ends in the plane
    // (p1 the lower on axisV) and its line.
    struct Rec {
        double u1, v1, u2, v2;
        double a, b, c;
        int flags; // kDominantV, kReversed
        int unused;
    };
    // What only a report reads: the caller's data and the ends' third
    // coordinates.
    struct Cold {
        void* data;
        double w1, w2;
    };
    // keys[i]: v, axisV of p1 of the i-th segment added; bySweep, the
    // order of addition of the segment at place i in sweep order (set by
    // SortKeys); spare, SortKeys' working space.
    struct Key {
        double v;
        std::uint32_t bySweep;
        std::uint32_t spare;
    };
    static constexpr int kDominantV = 1;
    static constexpr int kReversed = 2;

    // Marks a sweep as running and ends it on every way out.
    class SweepScope;

    // The active segments are found by their axisU ranges through a uniform
    // grid of cells along axisU, sized from the segments (about the median
    // extent per cell). A segment covering at most kMaxCells cells has an
    // entry in each of them, a longer one in a list that every search
    // reads; a search over more cells than there are active segments reads
    // the active segments instead. A cell holds kCellSlots entries in place
    // and any more in an overflow list. An entry carries what the search
    // tests, so a search reads a cell's slots in one pass and keeps what
    // passes without a branch per entry. A removed segment's entries stay
    // until their slots are wanted: they are recognised by their upper end
    // lying below the last removal's limit (an empty slot ends at -inf).
    static constexpr int kMaxCells = 8;
    static constexpr int kCellSlots = 2;
    struct Entry {
        double minU;
        double maxU;
        double endV;
        // The order of entering the active set in the high half (so that
        // candidates sort oldest first), the node in the low half.
        std::uint64_t key;
        int cell0; // first cell listing it
        int unused;
    };
    struct Node {
        Rec rec;     // copies, so that the pair tests read nothing but
        Cold cold;   // nodes and the new segment
        int pos;     // index in sweep order
        int stamp;
        int slot;    // index in active and activeNodes
        int endNext; // next in the ring list of its upper end
    };

    Rec MakeRec(const G3Segment& s) const;
    Cold MakeCold(const G3Segment& s) const;
    // Room for one more segment's records.
    bool Room();
    // After Room(): the records of s, the next segment in order of addition.
    void Keep(G3Segment* s);
    void EndSweep();
    // Brings the records back in step with `segments` when a derived class
    // changed the collection; false when there is no room for them.
    bool RebuildRecords();
    // Sorts the keys, puts `segments` in that order and sizes the grid.
    void OrderSegments();
    void SortKeys();
    // axisV of p1 of the segment at `pos` in sweep order.
    double StartAt(int pos) const { return recs[keys[static_cast<std::size_t>(pos)].bySweep].v1; }
    int Locate(const G3Segment* s, int hint) const;
    // Takes the next segment off the pending list; its position in the
    // sweep, or -1 when no pending segment of this sweep is left.
    int PopPending();
    void Prefetch(int pos) const;
    bool FindAt(G3IntersectionPointLoader* loader, int pos);
    void ActivateAt(int pos);
    void Deactivate(int node);
    bool PairTest(G3IntersectionPointLoader* loader, const Rec& s, const Cold& sc, const Rec& o,
                  const Cold& oc) const;
    // Monotone in u.
    int CellOf(double u) const
    {
        const double x = (u - gridU0) * gridScale;
        return x >= static_cast<double>(gridCells - 1) ? gridCells - 1 : (x > 0 ? static_cast<int>(x) : 0);
    }
    bool Live(const Entry& e) const { return !(e.endV < removedBelow); }
    // Takes the entries of `list` that meet [lo, hi] as candidates, in a cell
    // only those listed in no earlier cell of the search (the cells from
    // `firstCell`). The tests are combined rather than branched on. Room for
    // `size` more candidates must have been made.
    template <bool InCell> void Search(const Entry* list, std::size_t size, int cell, int firstCell, double lo, double hi)
    {
        std::uint64_t* out = candidates.data();
        std::size_t taken = candidateCount;
        const double below = removedBelow;
        for (std::size_t i = 0; i < size; ++i) {
            const Entry& x = list[i];
            bool take = !(x.endV < below) & (x.minU <= hi) & (x.maxU >= lo);
            if (InCell)
                take = take & ((x.cell0 > firstCell ? x.cell0 : firstCell) == cell);
            out[taken] = x.key;
            taken += take;
        }
        candidateCount = taken;
    }
    void SearchCell(int cell, int firstCell, double lo, double hi);
    void AddEntry(int cell, const Entry& e);
    // Drops the entries of removed segments from `list`.
    void Compact(std::vector<Entry>& list) const;

    // In order of addition, index for index: the records the sweep reads,
    // the report data, the segments and their sweep keys.
    PodArray<Rec> recs;
    PodArray<Cold> cold;
    PodArray<G3Segment*> byAddition;
    PodArray<Key> keys;
    // Bounds of the kept segments: axisU range, lowest and highest p1 and
    // highest p2 on axisV.
    double boundU0 = 0, boundU1 = 0, boundV0 = 0, boundStart1 = 0, boundV1 = 0;
    // Segments taking part in the current sweep (the first sweepCount).
    int sweepCount = 0;
    int pendingBase = 0;
    bool sweeping = false;

    // The sweep's working memory stays with the intersector between sweeps
    // and is sized by the active segments, not by all of them.
    std::vector<Node> nodes;
    std::vector<int> freeNodes;
    std::vector<int> activeNodes;
    // kCellSlots slots per cell, then each cell's overflow list.
    std::vector<Entry> cellSlots;
    std::vector<std::vector<Entry>> overflow;
    std::vector<Entry> longList;
    double gridU0 = 0;
    double gridScale = 1; // cells per unit along axisU
    int gridCells = 1;
    // The limit of the last RemoveOldSegments: an entry ending below it
    // belongs to a removed segment.
    double removedBelow = -DBL_MAX;
    // Active segments by the height of their upper ends: n buckets of equal
    // height along axisV (about one end each), folded onto a ring of
    // endHead.size() lists, a power of two. The buckets from the last one
    // searched to the one holding sweepPos - 1e-6 are searched for ends
    // below it; an end a lap or more ahead stays in its list.
    // Monotone in v, so a bucket below the limit's holds only lower ends.
    long long EndBucketOf(double v) const
    {
        const double x = (v - endV0) * endScale;
        return x >= static_cast<double>(endBuckets - 1) ? endBuckets - 1 : (x > 0 ? static_cast<long long>(x) : 0);
    }
    std::vector<int> endHead;
    double endV0 = 0;
    double endScale = 1; // buckets per unit along axisV
    long long endBuckets = 1;
    long long endCursor = 0;
    // Candidates of one search: stamp in the high half, node in the low.
    std::vector<std::uint64_t> candidates;
    std::size_t candidateCount = 0;
    int stampCounter = 0;
    bool validAxes = false;
};
