#include "Geometry/math/GRect.h"

#include "Geometry/math/GEnvelope.h"

namespace {

// b - a + 1 in wrapping arithmetic: extreme rectangles give a wrapped width
// instead of a signed overflow.
long InclusiveSpan(long a, long b)
{
    return static_cast<long>(static_cast<unsigned long>(b) - static_cast<unsigned long>(a) + 1UL);
}

}  // namespace

GRect::GRect(long l, long t, long r, long b) { Set(l, t, r, b); }

GRect::GRect(long w, long h)
    : left(0),
      top(0),
      right(static_cast<long>(static_cast<unsigned long>(w) - 1UL)),
      bottom(static_cast<long>(static_cast<unsigned long>(h) - 1UL))
{
}

GRect::GRect(const GRect* other)
{
    if (other)
        *this = *other;
}

void GRect::Copy(GObj* source)
{
    if (const GRect* r = dynamic_cast<const GRect*>(source)) {
        left = r->left;
        top = r->top;
        right = r->right;
        bottom = r->bottom;
    }
}

GObj* GRect::Duplicate() { return new GRect(*this); }

void GRect::Set(long l, long t, long r, long b)
{
    left = l;
    top = t;
    right = r;
    bottom = b;
    Normalize();
}

void GRect::Normalize()
{
    if (left > right) {
        const long x = left;
        left = right;
        right = x;
    }
    if (top > bottom) {
        const long y = top;
        top = bottom;
        bottom = y;
    }
}

bool GRect::Equals(const GRect* o) const
{
    return o && left == o->left && top == o->top && right == o->right && bottom == o->bottom;
}

long GRect::GetWidth() const { return InclusiveSpan(left, right); }

long GRect::GetHeight() const { return InclusiveSpan(top, bottom); }

void GRect::Add(const GRect* o)
{
    if (!o)
        return;
    if (o->left < left) left = o->left;
    if (o->top < top) top = o->top;
    if (o->right > right) right = o->right;
    if (o->bottom > bottom) bottom = o->bottom;
}

void GRect::Add(long x, long y)
{
    if (x < left) left = x;
    if (x > right) right = x;
    if (y < top) top = y;
    if (y > bottom) bottom = y;
}

int GRect::ClipTest(const GRect* o) const
{
    if (!o || left > o->right || right < o->left || top > o->bottom || bottom < o->top)
        return G_CLIP_DISJOINT;
    int code = 0;
    if (left < o->left && o->left <= right) code |= 0x1;
    if (left <= o->right && o->right < right) code |= 0x10000;
    if (top < o->top && o->top <= bottom) code |= 0x2;
    if (top <= o->bottom && o->bottom < bottom) code |= 0x20000;
    return code;
}

void GRect::Clip(const GRect* o, int code)
{
    if (!o)
        return;
    if (code & 0x1) left = o->left;
    if (code & 0x10000) right = o->right;
    if (code & 0x2) top = o->top;
    if (code & 0x20000) bottom = o->bottom;
}

int GRect::IntersectIn(const GRect* o, GRect* out) const
{
    const int code = ClipTest(o);
    if (code == G_CLIP_DISJOINT || !out)
        return 0;
    *out = *this;
    out->Clip(o, code);
    return 1;
}

int GRect::IntersectOut(const GRect* o, GRect* out) const
{
    if (!out)
        return 0;
    const int code = ClipTest(o);
    if (code == G_CLIP_DISJOINT) {
        out[0] = *this;
        return 1;
    }
    // The code bits guarantee that o's faces lie strictly inside this
    // rectangle wherever a strip is cut, so the +-1 below cannot overflow.
    GRect w(*this);
    int n = 0;
    if (code & 0x1) {
        out[n++] = GRect(w.left, w.top, o->left - 1, w.bottom);
        w.left = o->left;
    }
    if (code & 0x2) {
        out[n++] = GRect(w.left, w.top, w.right, o->top - 1);
        w.top = o->top;
    }
    if (code & 0x10000) {
        out[n++] = GRect(o->right + 1, w.top, w.right, w.bottom);
        w.right = o->right;
    }
    if (code & 0x20000)
        out[n++] = GRect(w.left, o->bottom + 1, w.right, w.bottom);
    return n;
}
