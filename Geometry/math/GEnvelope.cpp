#include "Geometry/math/GEnvelope.h"

#include <cmath>

namespace {

inline double Lesser(double a, double b) { return a < b ? a : b; }
inline double Greater(double a, double b) { return a > b ? a : b; }

// Some axis among the first `axes` has min above max (or a NaN bound): the
// box holds no point, so it adds nothing, meets nothing and lies in nothing.
bool IsEmpty(const double* mn, const double* mx, int axes)
{
    for (int k = 0; k < axes; ++k)
        if (!(mn[k] <= mx[k]))
            return true;
    return false;
}

// The closed boxes a and b share a point on the first `axes` axes (touching
// counts); an empty box shares none.
bool Meet(const double* amin, const double* amax, const double* bmin, const double* bmax, int axes)
{
    if (IsEmpty(amin, amax, axes) || IsEmpty(bmin, bmax, axes))
        return false;
    for (int k = 0; k < axes; ++k)
        if (amin[k] > bmax[k] || amax[k] < bmin[k])
            return false;
    return true;
}

}  // namespace

GEnvelope::GEnvelope() { Init(); }

GEnvelope::GEnvelope(const GEnvelope* other)
{
    if (other)
        Init(other->min, other->max);
    else
        Init();
}

GEnvelope::GEnvelope(const double* p0, const double* p1, const double* p2)
{
    Init(p0, p1);
    Add(p2);
}

void GEnvelope::Init()
{
    for (int k = 0; k < 3; ++k)
        min[k] = max[k] = 0.0;
}

void GEnvelope::Init(const double* p)
{
    for (int k = 0; k < 3; ++k)
        min[k] = max[k] = p[k];
}

void GEnvelope::Init(const double* a, const double* b)
{
    for (int k = 0; k < 3; ++k) {
        min[k] = Lesser(a[k], b[k]);
        max[k] = Greater(a[k], b[k]);
    }
}

void GEnvelope::Init(double x1, double y1, double z1, double x2, double y2, double z2)
{
    const double a[3] = {x1, y1, z1};
    const double b[3] = {x2, y2, z2};
    Init(a, b);
}

void GEnvelope::Init(const GEnvelope* other)
{
    if (!other) {
        Init();
        return;
    }
    for (int k = 0; k < 3; ++k) {
        min[k] = other->min[k];
        max[k] = other->max[k];
    }
}

void GEnvelope::Set(double lo, double hi)
{
    for (int k = 0; k < 3; ++k) {
        min[k] = lo;
        max[k] = hi;
    }
}

void GEnvelope::Set(double minx, double miny, double minz, double maxx, double maxy, double maxz)
{
    min[0] = minx;
    min[1] = miny;
    min[2] = minz;
    max[0] = maxx;
    max[1] = maxy;
    max[2] = maxz;
}

GEnvelope* GEnvelope::InitDefault(GEnvelope* env)
{
    if (env)
        env->Set(1.0, -1.0);
    return env;
}

GEnvelope* GEnvelope::FormEnvelope(GEnvelope* env, const double* a, const double* b)
{
    if (env)
        env->Init(a, b);
    return env;
}

GEnvelope* GEnvelope::FormEnvelope(GEnvelope* env, const double* a, const double* b, const double* c,
                                   const double* d)
{
    if (env) {
        env->Init(a, b);
        env->Add(c);
        env->Add(d);
    }
    return env;
}

void GEnvelope::Add(const double* p) { Add(p[0], p[1], p[2]); }

void GEnvelope::Add(double x, double y, double z)
{
    AddToMin(x, y, z);
    AddToMax(x, y, z);
}

void GEnvelope::Add(double x, double y)
{
    if (x < min[0]) min[0] = x;
    if (x > max[0]) max[0] = x;
    if (y < min[1]) min[1] = y;
    if (y > max[1]) max[1] = y;
}

void GEnvelope::Add(const GEnvelope* other)
{
    if (!other || IsEmpty(other->min, other->max, 3))
        return;
    AddToMin(other->min[0], other->min[1], other->min[2]);
    AddToMax(other->max[0], other->max[1], other->max[2]);
}

void GEnvelope::AddToMin(double x, double y, double z)
{
    if (x < min[0]) min[0] = x;
    if (y < min[1]) min[1] = y;
    if (z < min[2]) min[2] = z;
}

void GEnvelope::AddToMax(double x, double y, double z)
{
    if (x > max[0]) max[0] = x;
    if (y > max[1]) max[1] = y;
    if (z > max[2]) max[2] = z;
}

// Empty on any axis (min above max, or a NaN bound): the box holds no
// point, whatever its other axes say.
bool GEnvelope::HoldsNoPoint() const
{
    return !(min[0] <= max[0]) || !(min[1] <= max[1]) || !(min[2] <= max[2]);
}

void GEnvelope::AddToDefault(const double* p)
{
    if (HoldsNoPoint())
        Init(p);
    else
        Add(p);
}

void GEnvelope::AddToDefault(const GEnvelope* other)
{
    if (!other)
        return;
    if (HoldsNoPoint())
        Init(other);
    else
        Add(other);
}

void GEnvelope::Extend(double d) { Extend(min, max, d); }

void GEnvelope::Extend(double* mn, double* mx, double d)
{
    for (int k = 0; k < 3; ++k) {
        mn[k] -= d;
        mx[k] += d;
    }
}

double GEnvelope::GetMaxSize() const
{
    double s = 0.0;
    GetMaxCoo(&s);
    return s;
}

int GEnvelope::GetMaxCoo() const { return GetMaxCoo(nullptr); }

int GEnvelope::GetMaxCoo(double* size) const
{
    const double x = XSize(), y = YSize(), z = ZSize();
    int axis;
    double s;
    if (x >= y && x >= z) {
        axis = 0;
        s = x;
    } else if (y >= z) {
        axis = 1;
        s = y;
    } else {
        axis = 2;
        s = z;
    }
    if (size)
        *size = s;
    return axis;
}

void GEnvelope::GetMaxCoo(int* i, int* j) const
{
    const double x = XSize(), y = YSize(), z = ZSize();
    int a, b;
    if (x <= y && x <= z) {
        a = 1;
        b = 2;
    } else if (y <= z) {
        a = 0;
        b = 2;
    } else {
        a = 0;
        b = 1;
    }
    if (i) *i = a;
    if (j) *j = b;
}

bool GEnvelope::IsIntersectXY(const GEnvelope* other) const
{
    return other && IsIntersectXY(other->min, other->max);
}

bool GEnvelope::IsIntersectXYZ(const GEnvelope* other) const
{
    return other && IsIntersectXYZ(other->min, other->max);
}

bool GEnvelope::IsIntersectXY(const double* lo, const double* hi) const
{
    return Meet(min, max, lo, hi, 2);
}

bool GEnvelope::IsIntersectXYZ(const double* lo, const double* hi) const
{
    return Meet(min, max, lo, hi, 3);
}

bool GEnvelope::IsIntersectXY(const double* p) const { return IsIntersectXY(p, p); }

bool GEnvelope::IsIntersectXYZ(const double* p) const { return IsIntersectXYZ(p, p); }

bool GEnvelope::IsIntersectXYZ_Overlap(const GEnvelope* o) const
{
    if (!o || IsEmpty(min, max, 3) || IsEmpty(o->min, o->max, 3))
        return false;
    for (int k = 0; k < 3; ++k)
        if (!(min[k] - GTolerance::kBoxTouch <= o->max[k] && max[k] + GTolerance::kBoxTouch >= o->min[k]))
            return false;
    return true;
}

bool GEnvelope::IsIntersectXYZ_NoOverlap(const GEnvelope* o) const
{
    if (!o || IsEmpty(min, max, 3) || IsEmpty(o->min, o->max, 3))
        return false;
    for (int k = 0; k < 3; ++k)
        if (!(min[k] + GTolerance::kBoxTouch <= o->max[k] && max[k] - GTolerance::kBoxTouch >= o->min[k]))
            return false;
    return true;
}

namespace {

int StrictlyInside(const double* mn, const double* mx, const double* p, int axes)
{
    for (int k = 0; k < axes; ++k)
        if (!(mn[k] < p[k] && p[k] < mx[k]))
            return G_CLIP_DISJOINT;
    return 0;
}

int BoxCode(const double* mn, const double* mx, const GEnvelope* o, int axes)
{
    if (!o || !Meet(mn, mx, o->min, o->max, axes))
        return G_CLIP_DISJOINT;
    int code = 0;
    for (int k = 0; k < axes; ++k) {
        if (mn[k] < o->min[k]) code |= 1 << k;
        if (mx[k] > o->max[k]) code |= 0x10000 << k;
    }
    return code;
}

}  // namespace

int GEnvelope::ClipTestXYZ(const double* p) const { return StrictlyInside(min, max, p, 3); }

int GEnvelope::ClipTestXY(const double* p) const { return StrictlyInside(min, max, p, 2); }

int GEnvelope::ClipTestXY(const GEnvelope* other) const { return BoxCode(min, max, other, 2); }

int GEnvelope::ClipTestXYZ(const GEnvelope* other) const { return BoxCode(min, max, other, 3); }

GEnvelope* GEnvelope::ClipXYZ(const GEnvelope* other, int code)
{
    if (!other)
        return this;
    for (int k = 0; k < 3; ++k) {
        if (code & (1 << k)) min[k] = other->min[k];
        if (code & (0x10000 << k)) max[k] = other->max[k];
    }
    return this;
}

int GEnvelope::ClipCode(const double* p) const
{
    int code = 0;
    for (int k = 0; k < 3; ++k) {
        if (p[k] < min[k]) code |= 1 << (2 * k);
        if (p[k] > max[k]) code |= 2 << (2 * k);
    }
    return code;
}

int GEnvelope::ClipTest(double* p1, double* p2) const
{
    if (IsEmpty(min, max, 3))
        return G_CLIP_DISJOINT;
    int c1 = ClipCode(p1);
    int c2 = ClipCode(p2);
    // Every pass puts one end exactly on a face, so a handful of passes
    // suffice; the bound only guards against pathological (non-finite) input.
    for (int pass = 0; (c1 | c2) != 0; ++pass) {
        if ((c1 & c2) != 0 || pass >= 64)
            return G_CLIP_DISJOINT;
        if (c1 == 0) {
            for (int k = 0; k < 3; ++k) {
                const double t = p1[k];
                p1[k] = p2[k];
                p2[k] = t;
            }
            c1 = c2;
            c2 = 0;
        }
        int bit = 0;
        while (!(c1 & (1 << bit)))
            ++bit;
        const int axis = bit / 2;
        const double face = (bit % 2 == 0) ? min[axis] : max[axis];
        const double t = (face - p1[axis]) / (p2[axis] - p1[axis]);
        for (int k = 0; k < 3; ++k)
            if (k != axis)
                p1[k] += t * (p2[k] - p1[k]);
        p1[axis] = face;
        c1 = ClipCode(p1);
    }
    return 0;
}

int GEnvelope::ClipTest(const double* p1, const double* p2, int axis) const
{
    if (axis < 0 || axis > 2 || IsEmpty(min + axis, max + axis, 1))
        return G_CLIP_DISJOINT;
    const double lo = Lesser(p1[axis], p2[axis]);
    const double hi = Greater(p1[axis], p2[axis]);
    if (hi <= min[axis] || lo >= max[axis])
        return G_CLIP_DISJOINT;
    int code = 0;
    if (lo < min[axis]) code |= 1 << axis;
    if (hi > max[axis]) code |= 0x10000 << axis;
    return code;
}

// Each output bound sums, per input axis, the lesser (or greater) of the
// two ends' products, skipping zero matrix terms: an infinite extent times a
// zero term adds nothing (not NaN). Terms that overflow to infinities of
// both signs leave the bound unbounded on its side, so the result still
// holds the image of the box. An empty box stays empty.
void GEnvelope::Transform(GEnvelope* out, const double m[4][4]) const
{
    if (!out)
        return;
    if (IsEmpty(min, max, 3)) {
        InitDefault(out);
        return;
    }
    double lo[3], hi[3];
    for (int j = 0; j < 3; ++j) {
        lo[j] = hi[j] = m[3][j];
        for (int i = 0; i < 3; ++i) {
            if (m[i][j] == 0.0)
                continue;
            const double a = min[i] * m[i][j], b = max[i] * m[i][j];
            lo[j] += Lesser(a, b);
            hi[j] += Greater(a, b);
        }
        if (std::isnan(lo[j]))
            lo[j] = -HUGE_VAL;
        if (std::isnan(hi[j]))
            hi[j] = HUGE_VAL;
    }
    for (int j = 0; j < 3; ++j) {
        out->min[j] = lo[j];
        out->max[j] = hi[j];
    }
}
