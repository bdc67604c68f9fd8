#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GMatrix.h"
#include "Geometry/math/GRect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <random>

namespace {

void ExpectBox(const GEnvelope& e, double x0, double y0, double z0, double x1, double y1, double z1,
               double tol = 1e-12)
{
    const double want[6] = {x0, y0, z0, x1, y1, z1};
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(e.min[k], want[k], tol) << "min " << k;
        EXPECT_NEAR(e.max[k], want[3 + k], tol) << "max " << k;
    }
}

void ExpectSame(const GEnvelope& e, const GEnvelope& want, double tol = 0)
{
    ExpectBox(e, want.min[0], want.min[1], want.min[2], want.max[0], want.max[1], want.max[2], tol);
}

bool IsEmpty(const GEnvelope& e) { return e.min[0] > e.max[0] && e.min[1] > e.max[1] && e.min[2] > e.max[2]; }

}  // namespace

// The widest axis wins ties by order; the pair is the other two axes.
TEST(Envelope, WidestAxis)
{
    GEnvelope e;
    e.Set(0.0, 1.0);
    int i = -1, j = -1;
    e.GetMaxCoo(&i, &j);
    EXPECT_TRUE(i == 1 && j == 2 && e.GetMaxCoo() == 0);
    e.Init(0, 0, 0, 2, 3, 1);
    e.GetMaxCoo(&i, &j);
    EXPECT_TRUE(i == 0 && j == 1 && e.GetMaxCoo() == 1);
}

// Random boxes on a small integer grid (faces, edges and corners touch
// often), some inverted on one axis and so empty, against interval
// arithmetic per axis; their images under random affine maps (written into
// the box itself) against the box of their eight transformed corners, or
// empty.
TEST(Envelope, RandomBoxesAgainstIntervals)
{
    std::mt19937 rng(31);
    std::uniform_int_distribution<int> coord(0, 4), which(0, 8);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    auto randomBox = [&](GEnvelope* e) {
        for (int k = 0; k < 3; ++k) {
            e->min[k] = coord(rng);
            e->max[k] = e->min[k] + coord(rng);
        }
        const int inverted = which(rng);  // 3..8: none
        if (inverted < 3)
            e->max[inverted] = e->min[inverted] - 1;
        return inverted;
    };
    for (int trial = 0; trial < 4000; ++trial) {
        SCOPED_TRACE(trial);
        GEnvelope a, b;
        const int ia = randomBox(&a), ib = randomBox(&b);
        bool meet[3], inner[3];
        for (int k = 0; k < 3; ++k) {
            meet[k] = a.min[k] <= b.max[k] && b.min[k] <= a.max[k];
            inner[k] = a.min[k] < b.max[k] && b.min[k] < a.max[k];
        }
        const bool full = ia > 2 && ib > 2, flat = ia > 1 && ib > 1;  // flat: a rectangle from above
        const bool meets = full && meet[0] && meet[1] && meet[2];
        EXPECT_EQ(a.IsIntersectXYZ(&b), meets);
        EXPECT_EQ(b.IsIntersectXYZ_Overlap(&a), meets);
        EXPECT_EQ(a.IsIntersectXYZ_NoOverlap(&b), full && inner[0] && inner[1] && inner[2]);
        EXPECT_EQ(a.IsIntersectXY(&b), flat && meet[0] && meet[1]);
        int code = 0;
        GEnvelope common(a);  // what clipping a to b leaves
        for (int k = 0; k < 3; ++k) {
            code |= (a.min[k] < b.min[k] ? 1 << k : 0) | (a.max[k] > b.max[k] ? 0x10000 << k : 0);
            common.min[k] = std::max(a.min[k], b.min[k]);
            common.max[k] = std::min(a.max[k], b.max[k]);
        }
        ASSERT_EQ(a.ClipTestXYZ(&b), meets ? code : G_CLIP_DISJOINT);
        if (meets)
            ExpectSame(*a.ClipXYZ(&b, code), common);
        double m[4][4], r[8];
        for (double& x : r)
            x = 3 * unit(rng);
        M4Identity(m);
        M4Scale(m, r[0], r[1], r[2]);
        M4RotateZ(m, r[3]);
        M4RotateX(m, r[4]);
        M4Translate(m, 3 * r[5], 3 * r[6], 3 * r[7]);
        GEnvelope out(b), corners;
        out.Transform(&out, m);
        GEnvelope::InitDefault(&corners);
        for (int c = 0; c < 8; ++c) {
            const double p[3] = {(c & 1 ? b.max : b.min)[0], (c & 2 ? b.max : b.min)[1],
                                 (c & 4 ? b.max : b.min)[2]};
            double q[3];
            V3MulPointByMatrix(p, m, q);
            corners.AddToDefault(q);
        }
        if (ib > 2)
            ExpectSame(out, corners, 1e-9);
        else
            EXPECT_TRUE(IsEmpty(out));
    }
}

TEST(Envelope, NearBoxesPointsAndSegments)
{
    GEnvelope a, b;
    a.Init(0, 0, 0, 1, 1, 1);
    b.Init(1 + 0.5e-6, 0, 0, 2, 1, 1);  // a gap below the tolerance
    EXPECT_TRUE(!a.IsIntersectXYZ(&b) && a.IsIntersectXYZ_Overlap(&b));
    EXPECT_EQ(a.ClipTestXYZ(&b), G_CLIP_DISJOINT);
    // Point tests: closed for IsIntersect, open for ClipTest.
    const double corner[3] = {1, 1, 1}, inside[3] = {0.5, 0.5, 0.5};
    EXPECT_TRUE(a.IsIntersectXYZ(corner));
    EXPECT_EQ(a.ClipTestXYZ(corner), G_CLIP_DISJOINT);
    EXPECT_EQ(a.ClipTestXYZ(inside), 0);

    GEnvelope box;
    box.Init(0, 0, 0, 10, 10, 10);
    // A diagonal through two faces: the far coordinates are interpolated,
    // the clipped one lands exactly on the face.
    double p[3] = {-2, -1, 5}, q[3] = {18, 9, 5};
    ASSERT_EQ(box.ClipTest(p, q), 0);
    const double* lo = p[0] < q[0] ? p : q;
    const double* hi = p[0] < q[0] ? q : p;
    EXPECT_TRUE(lo[0] == 0.0 && hi[0] == 10.0);
    EXPECT_DOUBLE_EQ(lo[1], 0.0);
    EXPECT_DOUBLE_EQ(hi[1], 5.0);
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

// A box with min above max holds no point: adding it changes nothing and
// segments miss it, the default box as much as one inverted in z only; the
// latter is still a rectangle seen from above.
TEST(Envelope, EmptyBoxesHoldNoPoint)
{
    GEnvelope fresh, zInverted, box, big;
    GEnvelope::InitDefault(&fresh);
    zInverted.Set(0, 0, 1, 1, 1, -1);
    box.Set(5.0, 6.0);
    big.Set(-5.0, 5.0);
    for (const GEnvelope* empty : {&fresh, &zInverted}) {
        SCOPED_TRACE(empty == &fresh ? "default" : "z inverted");
        box.AddToDefault(empty);
        ExpectBox(box, 5, 5, 5, 6, 6, 6);
        EXPECT_FALSE(big.IsIntersectXYZ(empty->min, empty->max));
        double s1[3] = {-10, 0.5, 0}, s2[3] = {10, 0.5, 0};
        EXPECT_EQ(empty->ClipTest(s1, s2), G_CLIP_DISJOINT);
        EXPECT_EQ(empty->ClipTest(s1, s2, 2), G_CLIP_DISJOINT);
    }
    EXPECT_TRUE(zInverted.IsIntersectXY(&big) && zInverted.ClipTestXY(&big) == 0);
    // Empty on y only, or with a NaN bound: adding to it starts afresh.
    GEnvelope yEmpty, nanBox;
    yEmpty.Set(0, 5, 0, 1, -5, 1);
    nanBox.Set(0, 0, 0, std::nan(""), 1, 1);
    const double q[3] = {0.5, 10, 0.5};
    for (GEnvelope* e : {&yEmpty, &nanBox}) {
        e->AddToDefault(q);
        ExpectBox(*e, 0.5, 10, 0.5, 0.5, 10, 0.5);
    }
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
    double matrices[3][4][4];
    for (auto& m : matrices)
        M4Identity(m);
    M4RotateZ(matrices[1], 0.3);
    M4Translate(matrices[1], 1, 2, 3);
    M4Scale(matrices[1], 2.0);
    matrices[2][1][0] = -1;  // x' = x - y
    const double samples[3][3] = {{0, 0, 0}, {1e300, 1e300, 0.5}, {-3, 7, 1}};
    for (const GEnvelope& box : boxes) {
        for (const auto& m : matrices) {
            GEnvelope out;
            box.Transform(&out, m);
            for (int c = 0; c < 3; ++c)
                EXPECT_TRUE(out.min[c] <= out.max[c]) << c;  // false for NaN
            for (const double* p : samples) {
                double q[3];
                V3MulPointByMatrix(p, m, q);
                EXPECT_TRUE(!box.IsIntersectXYZ(p) || out.IsIntersectXYZ(q)) << q[0] << " " << q[1];
            }
        }
    }
}

// Random rectangles on a small grid against their cells: the parts of a
// difference are disjoint and cover exactly the cells of the first outside
// the second; the intersection covers the common cells, and the clip code
// says on which sides the first reaches beyond the second.
TEST(Rect, RandomDifferencesAndIntersectionsCoverTheirCells)
{
    // The widest rectangle has no representable width, but measuring it
    // must stay defined.
    GRect huge(LONG_MIN, 0, LONG_MAX, 0);
    EXPECT_EQ(huge.GetWidth(), 0);

    std::mt19937 rng(5);
    std::uniform_int_distribution<long> coord(0, 7);
    auto in = [](const GRect& g, long x, long y) {
        return g.left <= x && x <= g.right && g.top <= y && y <= g.bottom;
    };
    for (int trial = 0; trial < 2000; ++trial) {
        SCOPED_TRACE(trial);
        const long c[8] = {coord(rng), coord(rng), coord(rng), coord(rng),
                           coord(rng), coord(rng), coord(rng), coord(rng)};
        const GRect a(c[0], c[1], c[2], c[3]), b(c[4], c[5], c[6], c[7]);
        GRect out[4], common;
        const int n = a.IntersectOut(&b, out);
        const int met = a.IntersectIn(&b, &common);
        ASSERT_TRUE(n >= 0 && n <= 4);
        bool anyCommon = false;
        for (long x = -1; x <= 8; ++x)
            for (long y = -1; y <= 8; ++y) {
                int covering = 0;
                for (int k = 0; k < n; ++k)
                    covering += in(out[k], x, y) ? 1 : 0;
                ASSERT_EQ(covering, in(a, x, y) && !in(b, x, y) ? 1 : 0) << x << " " << y;
                anyCommon = anyCommon || (in(a, x, y) && in(b, x, y));
                if (met) {
                    ASSERT_EQ(in(common, x, y), in(a, x, y) && in(b, x, y)) << x << " " << y;
                }
            }
        EXPECT_EQ(met, anyCommon ? 1 : 0);
        const int code = (a.left < b.left ? 0x1 : 0) | (a.right > b.right ? 0x10000 : 0) |
                         (a.top < b.top ? 0x2 : 0) | (a.bottom > b.bottom ? 0x20000 : 0);
        EXPECT_EQ(a.ClipTest(&b), anyCommon ? code : G_CLIP_DISJOINT);
    }
}
