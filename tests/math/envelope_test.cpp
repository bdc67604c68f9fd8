#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GMatrix.h"
#include "Geometry/math/GRect.h"

#include <gtest/gtest.h>

#include <climits>
#include <new>

namespace {

void ExpectBox(const GEnvelope& e, double x0, double y0, double z0, double x1, double y1, double z1)
{
    EXPECT_DOUBLE_EQ(e.min[0], x0);
    EXPECT_DOUBLE_EQ(e.min[1], y0);
    EXPECT_DOUBLE_EQ(e.min[2], z0);
    EXPECT_DOUBLE_EQ(e.max[0], x1);
    EXPECT_DOUBLE_EQ(e.max[1], y1);
    EXPECT_DOUBLE_EQ(e.max[2], z1);
}

void ExpectRect(const GRect& r, long l, long t, long rt, long b)
{
    EXPECT_EQ(r.left, l);
    EXPECT_EQ(r.top, t);
    EXPECT_EQ(r.right, rt);
    EXPECT_EQ(r.bottom, b);
}

}  // namespace

TEST(Envelope, ConstructionAndGrowth)
{
    // Whatever the storage held, a new box is the zero box.
    alignas(GEnvelope) unsigned char raw[sizeof(GEnvelope)];
    for (unsigned char& b : raw)
        b = 0xA5;
    GEnvelope* placed = ::new (raw) GEnvelope();
    ExpectBox(*placed, 0, 0, 0, 0, 0, 0);
    placed->~GEnvelope();

    GEnvelope e;
    GEnvelope::InitDefault(&e);
    EXPECT_TRUE(e.IsDefault());
    const double p[3] = {4, -5, 6};
    e.AddToDefault(p);
    ExpectBox(e, 4, -5, 6, 4, -5, 6);
    const double q[3] = {1, 2, 3};
    e.AddToDefault(q);
    ExpectBox(e, 1, -5, 3, 4, 2, 6);

    GEnvelope other;
    other.Set(-1.0, 0.0);
    GEnvelope fresh;
    GEnvelope::InitDefault(&fresh)->AddToDefault(&other);
    ExpectBox(fresh, -1, -1, -1, 0, 0, 0);

    // Init orders per axis, Set does not.
    e.Init(3, 0, 5, 1, 2, -5);
    ExpectBox(e, 1, 0, -5, 3, 2, 5);
    e.Set(3, 0, 5, 1, 2, -5);
    ExpectBox(e, 3, 0, 5, 1, 2, -5);

    const double r[3] = {2, 9, -1};
    GEnvelope tri(p, q, r);
    ExpectBox(tri, 1, -5, -1, 4, 9, 6);
    tri.Add(10.0, -10.0);  // x and y only
    ExpectBox(tri, 1, -10, -1, 10, 9, 6);
    tri.Extend(0.5);
    ExpectBox(tri, 0.5, -10.5, -1.5, 10.5, 9.5, 6.5);
}

TEST(Envelope, LargestAxes)
{
    GEnvelope cube;
    cube.Set(0.0, 1.0);
    EXPECT_EQ(cube.GetMaxCoo(), 0);
    int i = -1, j = -1;
    cube.GetMaxCoo(&i, &j);
    EXPECT_EQ(i, 1);
    EXPECT_EQ(j, 2);

    GEnvelope e;
    e.Init(0, 0, 0, 1, 3, 3);  // y and z tie
    double size = 0;
    EXPECT_EQ(e.GetMaxCoo(&size), 1);
    EXPECT_EQ(size, 3.0);
    e.Init(0, 0, 0, 2, 1, 3);
    e.GetMaxCoo(&i, &j);
    EXPECT_EQ(i, 0);
    EXPECT_EQ(j, 2);
    e.Init(0, 0, 0, 2, 3, 1);
    e.GetMaxCoo(&i, &j);
    EXPECT_EQ(i, 0);
    EXPECT_EQ(j, 1);
    EXPECT_EQ(e.GetMaxSize(), 3.0);
}

TEST(Envelope, OverlapTestsOnTouchingAndNearBoxes)
{
    GEnvelope a, b;
    a.Init(0, 0, 0, 1, 1, 1);
    b.Init(1, 0, 0, 2, 1, 1);  // shares the face x = 1
    EXPECT_TRUE(a.IsIntersectXYZ(&b));
    EXPECT_TRUE(a.IsIntersectXYZ_Overlap(&b));
    EXPECT_FALSE(a.IsIntersectXYZ_NoOverlap(&b));
    EXPECT_NE(a.ClipTestXYZ(&b), G_CLIP_DISJOINT);

    b.Init(1 + 0.5e-6, 0, 0, 2, 1, 1);  // a gap below the tolerance
    EXPECT_FALSE(a.IsIntersectXYZ(&b));
    EXPECT_TRUE(a.IsIntersectXYZ_Overlap(&b));
    EXPECT_EQ(a.ClipTestXYZ(&b), G_CLIP_DISJOINT);

    b.Init(0.5, 0.5, 5, 2, 2, 6);  // apart in z only
    EXPECT_TRUE(a.IsIntersectXY(&b));
    EXPECT_FALSE(a.IsIntersectXYZ(&b));
    EXPECT_NE(a.ClipTestXY(&b), G_CLIP_DISJOINT);

    // Point tests: closed for IsIntersect, open for ClipTest.
    const double corner[3] = {1, 1, 1}, inside[3] = {0.5, 0.5, 0.5};
    EXPECT_TRUE(a.IsIntersectXYZ(corner));
    EXPECT_EQ(a.ClipTestXYZ(corner), G_CLIP_DISJOINT);
    EXPECT_EQ(a.ClipTestXYZ(inside), 0);
}

TEST(Envelope, BoxCodesAndClipping)
{
    GEnvelope a, b;
    a.Init(0, 0, 0, 10, 10, 10);
    b.Init(2, -5, 2, 8, 5, 20);
    const int code = a.ClipTestXYZ(&b);
    // a reaches below b in x and z, above it in x and y.
    EXPECT_EQ(code, 0x1 | 0x10000 | 0x20000 | 0x4);
    a.ClipXYZ(&b, code);
    ExpectBox(a, 2, 0, 2, 8, 5, 10);

    // A box inside another has code 0; the other way round all six bits.
    GEnvelope inner;
    inner.Init(3, 3, 3, 4, 4, 4);
    EXPECT_EQ(inner.ClipTestXYZ(&a), 0);
    EXPECT_EQ(a.ClipTestXYZ(&inner), 0x7 | 0x70000);
    EXPECT_EQ(a.ClipTestXY(&inner), 0x3 | 0x30000);
}

TEST(Envelope, SegmentClipping)
{
    GEnvelope box;
    box.Init(0, 0, 0, 10, 10, 10);
    double p1[3] = {-5, 5, 5}, p2[3] = {15, 5, 5};
    ASSERT_EQ(box.ClipTest(p1, p2), 0);
    const double lo = p1[0] < p2[0] ? p1[0] : p2[0];
    const double hi = p1[0] < p2[0] ? p2[0] : p1[0];
    EXPECT_EQ(lo, 0.0);
    EXPECT_EQ(hi, 10.0);

    // A diagonal through two faces: the other coordinates are interpolated.
    double a[3] = {-2, -1, 5}, b[3] = {8, 4, 5};
    ASSERT_EQ(box.ClipTest(a, b), 0);
    double* start = a[0] == 0 ? a : b;
    EXPECT_DOUBLE_EQ(start[0], 0.0);
    EXPECT_DOUBLE_EQ(start[1], 0.0);  // x = 0 gives y = 0, exactly on the face

    // Inside: untouched. Outside on one side, and cutting past a corner.
    double in1[3] = {1, 1, 1}, in2[3] = {2, 2, 2};
    EXPECT_EQ(box.ClipTest(in1, in2), 0);
    EXPECT_EQ(in1[0], 1.0);
    double s1[3] = {-1, 0, 0}, s2[3] = {-1, 10, 10};
    EXPECT_EQ(box.ClipTest(s1, s2), G_CLIP_DISJOINT);
    double c1[3] = {-5, 8, 5}, c2[3] = {5, 18, 5};  // passes the corner (0, 10) outside
    EXPECT_EQ(box.ClipTest(c1, c2), G_CLIP_DISJOINT);

    // One-axis test against the open interval.
    const double u[3] = {-1, 0, 0}, v[3] = {0, 0, 0}, w[3] = {5, 0, 0}, x[3] = {11, 0, 0};
    EXPECT_EQ(box.ClipTest(u, v, 0), G_CLIP_DISJOINT);  // only touches min
    EXPECT_EQ(box.ClipTest(u, w, 0), 0x1);
    EXPECT_EQ(box.ClipTest(w, x, 0), 0x10000);
    EXPECT_EQ(box.ClipTest(u, x, 0), 0x10001);
    const double y1[3] = {0, -1, 0}, y2[3] = {0, 11, 0};
    EXPECT_EQ(box.ClipTest(y1, y2, 1), 0x20002);
    EXPECT_EQ(box.ClipTest(y1, y2, 3), G_CLIP_DISJOINT);
}

TEST(Envelope, TransformedBox)
{
    GEnvelope box, out;
    box.Init(0, 0, 0, 1, 2, 3);
    double m[4][4];
    M4Identity(m);
    M4RotateZ(m, 3.14159265358979323846 / 2);  // (x, y) -> (-y, x)
    M4Translate(m, 10, 20, 30);
    box.Transform(&out, m);
    EXPECT_NEAR(out.min[0], 8, 1e-12);
    EXPECT_NEAR(out.max[0], 10, 1e-12);
    EXPECT_NEAR(out.min[1], 20, 1e-12);
    EXPECT_NEAR(out.max[1], 21, 1e-12);
    EXPECT_NEAR(out.min[2], 30, 1e-12);
    EXPECT_NEAR(out.max[2], 33, 1e-12);

    // Into itself.
    box.Transform(&box, m);
    EXPECT_NEAR(box.min[0], 8, 1e-12);
    EXPECT_NEAR(box.max[1], 21, 1e-12);
}

TEST(Rect, SizesAndNormalisation)
{
    GRect r(4, 3);
    EXPECT_EQ(r.GetWidth(), 4);
    EXPECT_EQ(r.GetHeight(), 3);
    GRect s(10, 20, 5, 2);
    ExpectRect(s, 5, 2, 10, 20);
    GRect t(&s);
    EXPECT_TRUE(t.Equals(&s));
    t.Add(-1, 30);
    ExpectRect(t, -1, 2, 10, 30);

    GRect copy;
    copy.Copy(&s);
    EXPECT_TRUE(copy.Equals(&s));
    GObj* dup = s.Duplicate();
    EXPECT_TRUE(static_cast<GRect*>(dup)->Equals(&s));
    delete dup;

    // The widest rectangle has no representable width, but measuring it
    // must stay defined.
    GRect huge(LONG_MIN, 0, LONG_MAX, 0);
    EXPECT_EQ(huge.GetWidth(), 0);
}

TEST(Rect, IntersectInAndOut)
{
    GRect outer(0, 0, 9, 9), hole(3, 4, 5, 6), parts[4];
    ASSERT_EQ(outer.IntersectOut(&hole, parts), 4);
    ExpectRect(parts[0], 0, 0, 2, 9);   // left strip
    ExpectRect(parts[1], 3, 0, 9, 3);   // top strip
    ExpectRect(parts[2], 6, 4, 9, 9);   // right strip
    ExpectRect(parts[3], 3, 7, 5, 9);   // bottom strip
    long area = 0;
    for (const GRect& p : parts)
        area += p.GetWidth() * p.GetHeight();
    EXPECT_EQ(area, 100 - 9);

    EXPECT_EQ(hole.IntersectOut(&outer, parts), 0);

    GRect apart(20, 20, 30, 30);
    ASSERT_EQ(outer.IntersectOut(&apart, parts), 1);
    EXPECT_TRUE(parts[0].Equals(&outer));
    EXPECT_EQ(outer.IntersectIn(&apart, parts), 0);

    // Overlapping the right half: one strip left over.
    GRect right(5, -5, 20, 20);
    ASSERT_EQ(outer.IntersectOut(&right, parts), 1);
    ExpectRect(parts[0], 0, 0, 4, 9);
    ASSERT_EQ(outer.IntersectIn(&right, parts), 1);
    ExpectRect(parts[0], 5, 0, 9, 9);

    // Touching edges overlap (inclusive ends): one column in common.
    GRect touch(9, 0, 12, 9);
    EXPECT_EQ(outer.ClipTest(&touch), 0x1);
    ASSERT_EQ(outer.IntersectIn(&touch, parts), 1);
    ExpectRect(parts[0], 9, 0, 9, 9);
}
