#pragma once
// Integer rectangle, inclusive on both ends: width = right - left + 1,
// height = bottom - top + 1. Its box-against-box code uses the bits of
// GEnvelope's (x is left/right, y is top/bottom).

#include "Geometry/foundation/GObj.h"

class GRect : public GObj {
public:
    GRect() = default;
    GRect(long left, long top, long right, long bottom);
    // (0, 0, w - 1, h - 1).
    GRect(long w, long h);
    // A copy of `other`; a null rectangle gives (0, 0, 0, 0).
    explicit GRect(const GRect* other);
    GRect(const GRect& other) = default;
    GRect& operator=(const GRect& other) = default;
    ~GRect() override = default;

    void Copy(GObj* source) override;
    GObj* Duplicate() override;

    void Set(long l, long t, long r, long b);
    void Normalize();
    bool Equals(const GRect* other) const;

    long GetWidth() const;
    long GetHeight() const;

    void Add(const GRect* other);
    void Add(long x, long y);

    int ClipTest(const GRect* other) const;
    void Clip(const GRect* other, int code);
    // 1 with the intersection in `out`, 0 when the rectangles are disjoint.
    int IntersectIn(const GRect* other, GRect* out) const;
    // This rectangle minus `other`, as at most four rectangles written to
    // out[0..3] (left, top, right and bottom strips); returns how many.
    int IntersectOut(const GRect* other, GRect* out) const;

    long left = 0;
    long top = 0;
    long right = 0;
    long bottom = 0;
};
