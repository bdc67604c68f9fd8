#pragma once
// A segment between two points on a line, each end remembering the object it
// came from (a facet, an edge, or nothing). The interval owns its two points;
// the owners are only referred to.

#include "Geometry/foundation/GHeap.h"
#include "Geometry/foundation/GObj.h"

class G3Point;
class GMemoryAllocator;

class G3Interval : public GObj {
    G_DECLARE_POOL(G3Interval)
public:
    G3Interval(const double* p1, GObj* o1, const double* p2, GObj* o2);
    G3Interval(const double* p1, const double* p2);
    // Copies own new points; the owners are shared pointers.
    G3Interval(const G3Interval& other);
    G3Interval& operator=(const G3Interval& other);
    // Deletes both points. An interval placed in an arena is never deleted:
    // call this destructor explicitly before the arena goes, or the points
    // (which come from their own pool) are lost.
    ~G3Interval() override;

    // GObj copy, then new points copied from the source's; owners copied as
    // pointers. A source that is not an interval copies only the GObj part.
    void Copy(GObj* source) override;
    GObj* Duplicate() override;

    // The coordinate arrays of the ends (null only for an interval that was
    // never given points).
    double* GetXYZ1();
    double* GetXYZ2();
    // One coordinate of an end; 0 for an axis outside 0..2 or a missing point.
    double GetXYZ1(int axis) const;
    double GetXYZ2(int axis) const;
    G3Point* GetPoint1() const { return point1; }
    G3Point* GetPoint2() const { return point2; }
    GObj* GetOwner1() const { return owner1; }
    GObj* GetOwner2() const { return owner2; }

    // Exchanges the ends together with their owners.
    void Swap();
    // Swap() when the second end lies before the first on `axis` (exact).
    void Orient(int axis);

protected:
    G3Interval();
    void Init(const double* p1, GObj* o1, const double* p2, GObj* o2);
    // Deletes the points and clears the fields.
    void Finit();

    G3Point* point1 = nullptr;
    GObj* owner1 = nullptr;
    G3Point* point2 = nullptr;
    GObj* owner2 = nullptr;
};
