#pragma once
// A set of segments on one line, kept sorted along one coordinate axis (the
// sort axis), with the one-dimensional set operations that facet
// intersection needs. Loose points are gathered first (a plane cut of a
// facet yields its boundary crossings) and paired into intervals by
// BuildIntervals.
//
// The list owns its two collections and everything in them: the intervals
// and the loose points are deleted with the list (or by Clear). The owner of
// a loose point is kept in the point's scratch link (G3Obj::exData) and is
// never owned.
//
// Keys: the coordinate of a point on the sort axis. Sorting the loose points
// calls two keys equal when they differ by less than 1e-6 (a tolerant
// comparison, so the sort is the collection's own quicksort); the sweeps
// compare keys exactly and drop every piece not longer than 1e-6.
//
// Normal form, held after BuildIntervals, Union, both Intersects: every
// interval runs towards increasing key and is longer than 1e-6, the
// intervals are sorted by start, and each ends more than 1e-6 before the
// next one starts (pieces that overlapped or touched were joined into one).
// minCoo and maxCoo are the least start and the greatest end. The set
// operations read lists that are not in normal form (filled by AddInterval
// or Merge only) as the union of their intervals.

#include "Geometry/foundation/GObj.h"

class G3Interval;
class GArrayCollection;
class GEnvelope;

enum INTERVAL_LIST_INTERSECTION_TYPE {
    // The lists' ranges do not meet, or one list is empty.
    INTERVAL_LIST_NO_INTERSECTION = 0,
    // The sort-axis ranges overlap (touching within 1e-6 counts).
    INTERVAL_LIST_INTERSECT = 1,
    // The lists are sorted along different axes and cannot be compared.
    INTERVAL_LIST_DIFFERENT_AXES = 2,
};

class G3IntervalList : public GObj {
public:
    // Axes not determined yet (-1); BuildIntervals chooses them.
    G3IntervalList();
    G3IntervalList(int maxCoo1, int maxCoo2, int sortAxis);
    // Deep copies: a copy owns its own collections, points and intervals.
    G3IntervalList(const G3IntervalList& other);
    G3IntervalList& operator=(const G3IntervalList& other);
    ~G3IntervalList() override;

    // GObj copy, the three axes, minCoo and maxCoo, then a duplicate of every
    // loose point and interval of `source` appended to this list's own.
    // Copying a list onto itself changes nothing.
    void Copy(GObj* source) override;
    GObj* Duplicate() override;

    // Copies maxCoo1, maxCoo2 and the sort axis from `other`.
    void SetMaxCoo(G3IntervalList* other);
    int GetMaxCoo1() const { return maxCoo1; }
    int GetMaxCoo2() const { return maxCoo2; }
    int GetSortAxis() const { return sortAxis; }
    double GetMinCoo() const { return minCoo; }
    double GetMaxCoo() const { return maxCoo; }

    GArrayCollection* GetIntervalList() const { return intervals; }
    GArrayCollection* GetPointList() const { return points; }
    int GetIntervalCount() const;
    // The interval at `i`, or null outside 0..count-1.
    G3Interval* GetInterval(int i) const;

    // No intervals and no loose points.
    bool IsEmpty() const;
    // Deletes every interval and loose point; the axes go back to -1 and
    // minCoo and maxCoo to 0.
    void Clear();

    void AddPoint(const double* p);
    void AddPoint(const double* p, GObj* owner);
    // Appended as given (not oriented, not sorted).
    void AddInterval(const double* p1, const double* p2);
    void AddInterval(const double* p1, GObj* o1, const double* p2, GObj* o2);

    // Chooses the axes if they are not set, pairs the loose points in key
    // order into new intervals (an odd last point is dropped), and brings
    // them together with the stored intervals into normal form: a run of
    // pieces that overlap or touch becomes one interval, its ends and their
    // owners taken from the pieces that start first and end last.
    void BuildIntervals();

    INTERVAL_LIST_INTERSECTION_TYPE GetIntersectionType(G3IntervalList* other) const;

    // Takes other's axes and appends duplicates of its points and intervals,
    // in order; nothing is sorted or joined.
    void Merge(G3IntervalList* other);
    // New lists (the caller owns them) in normal form, with this list's
    // axes (a union with an empty list is a copy of the other one, axes and
    // loose points included). Neither input is changed.
    G3IntervalList* Union(G3IntervalList* other);
    G3IntervalList* Intersect(G3IntervalList* other);
    // Keeps only the parts of this list's intervals that lie within `s`.
    // `s` is oriented along the sort axis in the process; it may be one of
    // this list's own intervals.
    void Intersect(G3Interval* s);
    // The difference of interval lists is not provided: always null.
    G3IntervalList* Sub(G3IntervalList* other);

protected:
    // The box of every loose point and of both ends of every interval (the
    // zero box when there is nothing).
    void FindMinMax(GEnvelope* env) const;
    // minCoo = the least key, maxCoo = the greatest key of any interval's
    // ends; both 0 without intervals.
    void FindMinMaxIntervalsCoo();

    int maxCoo1 = -1;
    int maxCoo2 = -1;
    int sortAxis = -1;
    double minCoo = 0.0;
    double maxCoo = 0.0;
    GArrayCollection* intervals = nullptr;
    GArrayCollection* points = nullptr;

private:
    void CreateCollections();
    void DeleteContents();
    void AppendDuplicates(const G3IntervalList* source);
};
