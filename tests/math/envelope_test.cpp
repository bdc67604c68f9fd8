#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GMatrix.h"
#include "Geometry/math/GRect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

namespace {

void ExpectBox(const GEnvelope& e, double x0, double y0, double z0, double x1, double y1, double z1)
{
    const double want[6] = {x0, y0, z0, x1, y1, z1};
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(e.min[k], want[k], 1e-12) << "min " << k;
        EXPECT_NEAR(e.max[k], want[3 + k], 1e-12) << "max " << k;
    }
}

void ExpectRect(const GRect& r, long l, long t, long rt, long b)
{
    EXPECT_EQ((std::vector<long>{r.left, r.top, r.right, r.bottom}), (std::vector<long>{l, t, rt, b}));
}

}  // namespace

TEST(Envelope, ConstructionAndGrowth)
{
    // Whatever the storage held, a new box is the zero box.
    alignas(GEnvelope) unsigned char raw[sizeof(GEnvelope)];
    std::fill(raw, raw + sizeof raw, 0xA5);
    GEnvelope* placed = ::new (raw) GEnvelope();
    ExpectBox(*placed, 0, 0, 0, 0, 0, 0);
    placed->~GEnvelope();

    GEnvelope e;
    const double p[3] = {4, -5, 6}, q[3] = {1, 2, 3};
    GEnvelope::InitDefault(&e)->AddToDefault(p);
    ExpectBox(e, 4, -5, 6, 4, -5, 6);
    e.AddToDefault(q);
    ExpectBox(e, 1, -5, 3, 4, 2, 6);

    // The widest axis wins ties by order; the pair is the other two axes.
    GEnvelope cube;
    cube.Set(0.0, 1.0);
    int i = -1, j = -1;
    cube.GetMaxCoo(&i, &j);
    EXPECT_TRUE(i == 1 && j == 2 && cube.GetMaxCoo() == 0);
    e.Init(0, 0, 0, 1, 3, 3);
    EXPECT_EQ(e.GetMaxCoo(), 1);
    e.Init(0, 0, 0, 2, 3, 1);
    e.GetMaxCoo(&i, &j);
    EXPECT_TRUE(i == 0 && j == 1);
}

TEST(Envelope, OverlapTestsOnTouchingAndNearBoxes)
{
    GEnvelope a, b;
    a.Init(0, 0, 0, 1, 1, 1);
    b.Init(1, 0, 0, 2, 1, 1);  // shares the face x = 1
    EXPECT_TRUE(a.IsIntersectXYZ(&b) && a.IsIntersectXYZ_Overlap(&b) && !a.IsIntersectXYZ_NoOverlap(&b));
    EXPECT_NE(a.ClipTestXYZ(&b), G_CLIP_DISJOINT);

    b.Init(1 + 0.5e-6, 0, 0, 2, 1, 1);  // a gap below the tolerance
    EXPECT_TRUE(!a.IsIntersectXYZ(&b) && a.IsIntersectXYZ_Overlap(&b));
    EXPECT_EQ(a.ClipTestXYZ(&b), G_CLIP_DISJOINT);

    b.Init(0.5, 0.5, 5, 2, 2, 6);  // apart in z only
    EXPECT_TRUE(a.IsIntersectXY(&b) && !a.IsIntersectXYZ(&b));

    // Point tests: closed for IsIntersect, open for ClipTest.
    const double corner[3] = {1, 1, 1}, inside[3] = {0.5, 0.5, 0.5};
    EXPECT_TRUE(a.IsIntersectXYZ(corner));
    EXPECT_EQ(a.ClipTestXYZ(corner), G_CLIP_DISJOINT);
    EXPECT_EQ(a.ClipTestXYZ(inside), 0);
}

TEST(Envelope, BoxCodesAndClipping)
{
    GEnvelope a, b, inner;
    a.Init(0, 0, 0, 10, 10, 10);
    b.Init(2, -5, 2, 8, 5, 20);
    const int code = a.ClipTestXYZ(&b);
    // a reaches below b in x and z, above it in x and y.
    EXPECT_EQ(code, 0x1 | 0x10000 | 0x20000 | 0x4);
    a.ClipXYZ(&b, code);
    ExpectBox(a, 2, 0, 2, 8, 5, 10);

    inner.Init(3, 3, 3, 4, 4, 4);
    EXPECT_EQ(inner.ClipTestXYZ(&a), 0);
    EXPECT_EQ(a.ClipTestXYZ(&inner), 0x7 | 0x70000);
    EXPECT_EQ(a.ClipTestXY(&inner), 0x3 | 0x30000);
}

TEST(Envelope, SegmentClipping)
{
    GEnvelope box;
    box.Init(0, 0, 0, 10, 10, 10);
    // A diagonal through two faces: the far coordinates are interpolated,
    // the clipped one lands exactly on the face.
    double a[3] = {-2, -1, 5}, b[3] = {18, 9, 5};
    ASSERT_EQ(box.ClipTest(a, b), 0);
    const double* lo = a[0] < b[0] ? a : b;
    const double* hi = a[0] < b[0] ? b : a;
    EXPECT_TRUE(lo[0] == 0.0 && hi[0] == 10.0);
    EXPECT_DOUBLE_EQ(lo[1], 0.0);
    EXPECT_DOUBLE_EQ(hi[1], 5.0);

    double s1[3] = {-1, 0, 0}, s2[3] = {-1, 10, 10};  // beside one face
    EXPECT_EQ(box.ClipTest(s1, s2), G_CLIP_DISJOINT);
    double c1[3] = {-5, 8, 5}, c2[3] = {5, 18, 5};  // passes the corner (0, 10) outside
    EXPECT_EQ(box.ClipTest(c1, c2), G_CLIP_DISJOINT);

    // One-axis test against the open interval.
    const double u[3] = {-1, -1, 0}, v[3] = {0, 0, 0}, w[3] = {5, 5, 0}, x[3] = {11, 11, 0};
    EXPECT_EQ(box.ClipTest(u, v, 0), G_CLIP_DISJOINT);  // only touches min
    EXPECT_EQ(box.ClipTest(u, w, 0), 0x1);
    EXPECT_EQ(box.ClipTest(w, x, 0), 0x10000);
    EXPECT_EQ(box.ClipTest(u, x, 1), 0x20002);
    EXPECT_EQ(box.ClipTest(u, x, 3), G_CLIP_DISJOINT);
}

TEST(Envelope, TransformedBox)
{
    GEnvelope box;
    box.Init(0, 0, 0, 1, 2, 3);
    double m[4][4];
    M4Identity(m);
    M4RotateZ(m, 3.14159265358979323846 / 2);  // (x, y) -> (-y, x)
    M4Translate(m, 10, 20, 30);
    box.Transform(&box, m);  // into itself
    ExpectBox(box, 8, 20, 30, 10, 21, 33);
}

// A box with min above max holds no point: adding it changes nothing, it
// meets no box and lies inside none, segments miss it, and it stays empty
// under any transformation. Inverted on one axis is as empty as inverted on
// all three.
TEST(Envelope, EmptyBoxesHoldNoPoint)
{
    GEnvelope fresh, zInverted, box, big;
    GEnvelope::InitDefault(&fresh);
    zInverted.Set(0, 0, 1, 1, 1, -1);
    box.Set(5.0, 6.0);
    big.Set(-5.0, 5.0);
    for (const GEnvelope* empty : {&fresh, &zInverted}) {
        SCOPED_TRACE(empty == &fresh ? "default" : "z inverted");
        box.Add(empty);
        ExpectBox(box, 5, 5, 5, 6, 6, 6);
        box.AddToDefault(empty);
        ExpectBox(box, 5, 5, 5, 6, 6, 6);

        EXPECT_FALSE(empty->IsIntersectXYZ(&big) || big.IsIntersectXYZ(empty));
        EXPECT_FALSE(empty->IsIntersectXYZ_Overlap(&big) || big.IsIntersectXYZ_Overlap(empty));
        EXPECT_FALSE(empty->IsIntersectXYZ_NoOverlap(&big) || big.IsIntersectXYZ_NoOverlap(empty));
        EXPECT_FALSE(big.IsIntersectXYZ(empty->min, empty->max));
        EXPECT_EQ(empty->ClipTestXYZ(&big), G_CLIP_DISJOINT);
        EXPECT_EQ(big.ClipTestXYZ(empty), G_CLIP_DISJOINT);

        double s1[3] = {-10, 0.5, 0}, s2[3] = {10, 0.5, 0};
        EXPECT_EQ(empty->ClipTest(s1, s2), G_CLIP_DISJOINT);
        EXPECT_EQ(empty->ClipTest(s1, s2, 2), G_CLIP_DISJOINT);

        double m[4][4];
        M4Identity(m);
        for (int step = 0; step < 3; ++step) {
            GEnvelope out;
            empty->Transform(&out, m);
            EXPECT_TRUE(out.min[0] > out.max[0] && out.min[1] > out.max[1] && out.min[2] > out.max[2]);
            M4Scale(m, -1, 2, 0.5);  // a mirror, then more
            M4RotateZ(m, 0.7);
            M4Translate(m, 3, -4, 5);
        }
    }
    // Inverted in z only, the box is still a rectangle seen from above.
    EXPECT_TRUE(zInverted.IsIntersectXY(&big) && zInverted.ClipTestXY(&big) == 0);
    EXPECT_FALSE(fresh.IsIntersectXY(&big) || big.IsIntersectXY(&fresh));
    EXPECT_EQ(fresh.ClipTestXY(&big), G_CLIP_DISJOINT);
}

// Boxes as wide as doubles go, or wider, transform to boxes without NaN that
// still hold the images of points inside them.
TEST(Envelope, TransformOfUnboundedBoxes)
{
    const double inf = std::numeric_limits<double>::infinity(), top = std::numeric_limits<double>::max();
    GEnvelope boxes[3];
    boxes[0].Set(-top, top);
    boxes[1].Set(-inf, inf);
    boxes[2].Set(0, 0, 0, inf, top, 1);
    double identity[4][4], turned[4][4], doubled[4][4], sheared[4][4];
    M4Identity(identity);
    M4Identity(turned);
    M4RotateZ(turned, 0.3);
    M4Translate(turned, 1, 2, 3);
    M4Identity(doubled);
    M4Scale(doubled, 2.0);
    M4Identity(sheared);
    sheared[1][0] = -1;  // x' = x - y
    const double(*matrices[4])[4] = {identity, turned, doubled, sheared};
    const double samples[3][3] = {{0, 0, 0}, {1e300, 1e300, 0.5}, {-3, 7, 1}};
    for (int b = 0; b < 3; ++b) {
        for (int k = 0; k < 4; ++k) {
            SCOPED_TRACE(testing::Message() << "box " << b << " matrix " << k);
            GEnvelope out;
            boxes[b].Transform(&out, matrices[k]);
            for (int c = 0; c < 3; ++c) {
                EXPECT_FALSE(std::isnan(out.min[c]) || std::isnan(out.max[c])) << c;
                EXPECT_LE(out.min[c], out.max[c]) << c;
            }
            for (const double* p : samples) {
                if (!boxes[b].IsIntersectXYZ(p))
                    continue;
                double q[3];
                V3MulPointByMatrix(p, matrices[k], q);
                EXPECT_TRUE(out.IsIntersectXYZ(q)) << q[0] << " " << q[1] << " " << q[2];
            }
        }
    }
    GEnvelope out;
    boxes[0].Transform(&out, identity);
    ExpectBox(out, -top, -top, -top, top, top, top);
    boxes[1].Transform(&out, identity);
    EXPECT_TRUE(out.min[0] == -inf && out.max[2] == inf);
}

TEST(Rect, NormalisationIntersectInAndOut)
{
    GRect r(4, 3), s(10, 20, 5, 2);
    EXPECT_TRUE(r.GetWidth() == 4 && r.GetHeight() == 3);
    ExpectRect(s, 5, 2, 10, 20);
    // The widest rectangle has no representable width, but measuring it
    // must stay defined.
    GRect huge(LONG_MIN, 0, LONG_MAX, 0);
    EXPECT_EQ(huge.GetWidth(), 0);

    GRect outer(0, 0, 9, 9), hole(3, 4, 5, 6), parts[4];
    ASSERT_EQ(outer.IntersectOut(&hole, parts), 4);
    ExpectRect(parts[0], 0, 0, 2, 9);  // left strip
    ExpectRect(parts[1], 3, 0, 9, 3);  // top strip
    ExpectRect(parts[2], 6, 4, 9, 9);  // right strip
    ExpectRect(parts[3], 3, 7, 5, 9);  // bottom strip
    EXPECT_EQ(hole.IntersectOut(&outer, parts), 0);

    GRect apart(20, 20, 30, 30);
    ASSERT_EQ(outer.IntersectOut(&apart, parts), 1);
    EXPECT_TRUE(parts[0].Equals(&outer));
    EXPECT_EQ(outer.IntersectIn(&apart, parts), 0);

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
