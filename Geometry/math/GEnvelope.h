#pragma once
// Axis-aligned 3D bounding box. The empty ("default") state is min = (1, 1, 1),
// max = (-1, -1, -1); IsDefault tests min.x > max.x. Any box with min above
// max on an axis it is tested on holds no point: adding it changes nothing,
// it meets no box and lies inside none, segments miss it, and it transforms
// to the default state.
//
// Clip codes:
// - point outcode (ClipCode): 0x1 x < min.x, 0x2 x > max.x, 0x4 y < min.y,
//   0x8 y > max.y, 0x10 z < min.z, 0x20 z > max.z;
// - box-against-box code (ClipTestXY, ClipTestXYZ): G_CLIP_DISJOINT when the
//   boxes are apart, 0 when this box lies inside the other, otherwise 0x1 /
//   0x10000 when this box reaches below the other's minimum / above its
//   maximum in x, 0x2 / 0x20000 in y, 0x4 / 0x40000 in z.

#include "Geometry/foundation/GObj.h"
#include "Geometry/math/GTolerance.h"

#include <climits>

// The sign bit of a clip code: the two boxes (or the segment and the box) are
// disjoint.
constexpr int G_CLIP_DISJOINT = INT_MIN;

class GEnvelope : public GObj {
public:
    // Starts as the zero box (min = max = origin), whatever the storage held.
    GEnvelope();
    // Per-axis ordered copy of another box; a null box gives the zero box.
    explicit GEnvelope(const GEnvelope* other);
    // The box of three points.
    GEnvelope(const double* p0, const double* p1, const double* p2);
    GEnvelope(const GEnvelope& other) = default;
    GEnvelope& operator=(const GEnvelope& other) = default;
    ~GEnvelope() override = default;

    // --- construction and setting
    void Init();
    void Init(const double* p);
    void Init(const double* a, const double* b);
    void Init(double x1, double y1, double z1, double x2, double y2, double z2);
    void Init(const GEnvelope* other);
    void Set(double lo, double hi);
    // Stores the six values as given, without ordering them per axis.
    void Set(double minx, double miny, double minz, double maxx, double maxy, double maxz);

    static GEnvelope* InitDefault(GEnvelope* env);
    static GEnvelope* FormEnvelope(GEnvelope* env, const double* a, const double* b);
    static GEnvelope* FormEnvelope(GEnvelope* env, const double* a, const double* b, const double* c,
                                   const double* d);

    // --- growth
    void Add(const double* p);
    void Add(double x, double y, double z);
    void Add(double x, double y);
    void Add(const GEnvelope* other);
    void AddToMin(double x, double y, double z);
    void AddToMax(double x, double y, double z);
    // As Add, but an empty box (on any axis, or with a NaN bound) is first
    // replaced by the point or the box.
    void AddToDefault(const double* p);
    void AddToDefault(const GEnvelope* other);
    // Min above max on some axis, or a NaN bound.
    bool HoldsNoPoint() const;

    void Extend() { Extend(GTolerance::kBoxTouch); }
    void Extend(double d);
    static void Extend(double* mn, double* mx, double d);

    // --- queries
    bool IsDefault() const { return min[0] > max[0]; }
    double XSize() const { return max[0] - min[0]; }
    double YSize() const { return max[1] - min[1]; }
    double ZSize() const { return max[2] - min[2]; }
    double GetMaxSize() const;
    // Axis of the largest size; ties go to x, then y.
    int GetMaxCoo() const;
    int GetMaxCoo(double* size) const;
    // The two axes of largest size, in ascending order.
    void GetMaxCoo(int* i, int* j) const;

    double* GetMin() { return min; }
    double* GetMax() { return max; }
    const double* GetMin() const { return min; }
    const double* GetMax() const { return max; }

    // Closed overlap tests: touching counts as intersecting.
    bool IsIntersectXY(const GEnvelope* other) const;
    bool IsIntersectXYZ(const GEnvelope* other) const;
    bool IsIntersectXY(const double* lo, const double* hi) const;
    bool IsIntersectXYZ(const double* lo, const double* hi) const;
    bool IsIntersectXY(const double* p) const;
    bool IsIntersectXYZ(const double* p) const;
    // Boxes closer than 1e-6 count as overlapping.
    bool IsIntersectXYZ_Overlap(const GEnvelope* other) const;
    // Boxes must overlap by at least 1e-6.
    bool IsIntersectXYZ_NoOverlap(const GEnvelope* other) const;

    // 0 when p is strictly inside, G_CLIP_DISJOINT otherwise.
    int ClipTestXYZ(const double* p) const;
    int ClipTestXY(const double* p) const;
    // Box-against-box code of this box against `other`.
    int ClipTestXY(const GEnvelope* other) const;
    int ClipTestXYZ(const GEnvelope* other) const;
    // Moves each face named in `code` onto the face of `other`.
    GEnvelope* ClipXYZ(const GEnvelope* other, int code);

    int ClipCode(const double* p) const;
    // Clips the segment p1-p2 to the box in place (the two points may come
    // back exchanged). 0 when something is left, G_CLIP_DISJOINT otherwise.
    int ClipTest(double* p1, double* p2) const;
    // One-axis test of the segment against the open interval
    // (min[axis], max[axis]): G_CLIP_DISJOINT when it does not reach into it,
    // else bit 1 << axis when it crosses min, 0x10000 << axis when it crosses
    // max.
    int ClipTest(const double* p1, const double* p2, int axis) const;

    // The box of this box transformed by m (row vectors, translation in row 3).
    // Infinite or huge bounds give infinite bounds, never NaN; `out` may be
    // this box.
    void Transform(GEnvelope* out, const double m[4][4]) const;

    double min[3];
    double max[3];
};
