#pragma once
// A segment between two points on a line, each end remembering the object it
// came from (a facet, an edge, or nothing). The interval holds its ends'
// coordinates (a pair of point objects per interval took three quarters of
// the memory of a self-intersection pass over a crowded plan, millions of
// intervals); the owners are only referred to.

#include "Geometry/foundation/GHeap.h"
#include "Geometry/foundation/GObj.h"

class GMemoryAllocator;

// One end of an interval: its coordinates, read as a point's are.
struct G3IntervalEnd {
    double xyz[3] = {0.0, 0.0, 0.0};

    double* GetXYZ() { return xyz; }
    const double* GetXYZ() const { return xyz; }
    // 0 for an axis outside 0..2.
    double GetXYZ(int axis) const { return axis >= 0 && axis < 3 ? xyz[axis] : 0.0; }
    // Moves the end to p, as it stands.
    void Set(const double* p)
    {
        xyz[0] = p[0];
        xyz[1] = p[1];
        xyz[2] = p[2];
    }
};

class G3Interval : public GObj {
    G_DECLARE_POOL(G3Interval)
public:
    G3Interval(const double* p1, GObj* o1, const double* p2, GObj* o2);
    G3Interval(const double* p1, const double* p2);
    // Copies the ends; the owners are shared pointers.
    G3Interval(const G3Interval& other);
    G3Interval& operator=(const G3Interval& other);
    ~G3Interval() override;

    // GObj copy, then the source's ends; owners copied as pointers. A
    // source that is not an interval copies only the GObj part.
    void Copy(GObj* source) override;
    GObj* Duplicate() override;

    // Whether the interval has its ends: every interval but one made
    // without them (the protected default).
    bool HasEnds() const { return ends; }
    // The ends (null without them).
    G3IntervalEnd* GetPoint1() { return ends ? &end1 : nullptr; }
    G3IntervalEnd* GetPoint2() { return ends ? &end2 : nullptr; }
    const G3IntervalEnd* GetPoint1() const { return ends ? &end1 : nullptr; }
    const G3IntervalEnd* GetPoint2() const { return ends ? &end2 : nullptr; }
    // The coordinate arrays of the ends (null without ends).
    double* GetXYZ1();
    double* GetXYZ2();
    const double* GetXYZ1() const;
    const double* GetXYZ2() const;
    // One coordinate of an end; 0 for an axis outside 0..2 or without ends.
    double GetXYZ1(int axis) const;
    double GetXYZ2(int axis) const;
    GObj* GetOwner1() const { return owner1; }
    GObj* GetOwner2() const { return owner2; }

    // Exchanges the ends together with their owners.
    void Swap();
    // Swap() when the second end lies before the first on `axis` (exact).
    void Orient(int axis);

protected:
    G3Interval();
    // The ends as a point made of each would hold them (a null end at the
    // origin, a coordinate that is NaN or +inf made 0).
    void Init(const double* p1, GObj* o1, const double* p2, GObj* o2);

    G3IntervalEnd end1;
    G3IntervalEnd end2;
    GObj* owner1 = nullptr;
    GObj* owner2 = nullptr;
    bool ends = false;
};
