#include "Geometry/math/GMatrix.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const double kPi = 3.14159265358979323846;

void Apply(const double m[4][4], const double p[3], double out[3]) { V3MulPointByMatrix(p, m, out); }

void ExpectPoint(const double* p, double x, double y, double z, double tol = 1e-12)
{
    EXPECT_NEAR(p[0], x, tol);
    EXPECT_NEAR(p[1], y, tol);
    EXPECT_NEAR(p[2], z, tol);
}

void ExpectMatrixNear(const double a[4][4], const double b[4][4], double tol = 1e-12)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(a[r][c], b[r][c], tol) << "element " << r << "," << c;
}

}  // namespace

TEST(Matrix, AccumulationAppliesNewOperationsLast)
{
    double m[4][4];
    M4Identity(m);
    M4Translate(m, 1, 2, 3);
    // Column 3 is (0, 0, 0, 1): only row 3 changes.
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(m[r][c], r == c ? 1.0 : 0.0);
    ExpectPoint(m[3], 1, 2, 3, 0);

    // Scale by 2, then move by (1, 0, 0): (1, 0, 0) goes to (3, 0, 0).
    M4Identity(m);
    M4Scale(m, 2.0);
    M4Translate(m, 1, 0, 0);
    const double x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, z[3] = {0, 0, 1};
    double out[3];
    Apply(m, x, out);
    ExpectPoint(out, 3, 0, 0);
    EXPECT_EQ(m[3][3], 1.0);

    M4Identity(m);
    M4RotateZ(m, kPi / 2);
    Apply(m, x, out);
    ExpectPoint(out, 0, 1, 0);
    M4Identity(m);
    M4RotateX(m, kPi / 2);
    Apply(m, y, out);
    ExpectPoint(out, 0, 0, 1);
    M4Identity(m);
    M4RotateY(m, kPi / 2);
    Apply(m, z, out);
    ExpectPoint(out, 1, 0, 0);

    // Rotating a translated matrix rotates the translation too.
    M4Identity(m);
    M4Translate(m, 1, 0, 0);
    M4RotateZ(m, kPi / 2);
    const double origin[3] = {0, 0, 0};
    Apply(m, origin, out);
    ExpectPoint(out, 0, 1, 0);
}

TEST(Matrix, DeterminantsAndInverse)
{
    EXPECT_EQ(Det2x2(1, 2, 3, 4), -2.0);
    // Columns (1, 0, 0), (0, 2, 0), (1, 1, 3).
    EXPECT_EQ(Det3x3(1, 0, 0, 0, 2, 0, 1, 1, 3), 6.0);

    double m[4][4];
    M4Identity(m);
    M4Scale(m, 2, 3, 4);
    M4RotateX(m, 0.3);
    M4RotateZ(m, -1.1);
    M4Translate(m, 5, -6, 7);
    EXPECT_NEAR(Det4x4(m), 24.0, 1e-12);
    m[0][3] = 0.1;  // a perspective term, so the full 4x4 inverse is exercised

    // Rows 0 and 3 of the identity exchanged: the m[0][3] cofactor decides.
    double swapped[4][4] = {{0, 0, 0, 1}, {0, 1, 0, 0}, {0, 0, 1, 0}, {1, 0, 0, 0}};
    EXPECT_EQ(Det4x4(swapped), -1.0);

    double inv[4][4], prod[4][4], id[4][4];
    ASSERT_TRUE(M4Inverse(m, inv));
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            prod[r][c] = 0;
            for (int k = 0; k < 4; ++k)
                prod[r][c] += m[r][k] * inv[k][c];
        }
    M4Identity(id);
    ExpectMatrixNear(prod, id, 1e-12);

    // In place gives the same result.
    double copy[4][4];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            copy[r][c] = m[r][c];
    ASSERT_TRUE(M4Inverse(copy, copy));
    ExpectMatrixNear(copy, inv, 0);
}

TEST(Matrix, SingularInverseLeavesTheAdjugate)
{
    double m[4][4], out[4][4];
    M4Identity(m);
    m[0][0] = 2;
    m[1][1] = 3;
    m[2][2] = 0;  // rank 3
    m[3][3] = 5;
    EXPECT_FALSE(M4Inverse(m, out));
    double expected[4][4] = {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 30, 0}, {0, 0, 0, 0}};
    ExpectMatrixNear(out, expected, 0);

    // A tiny but regular matrix is below the determinant tolerance too.
    M4Identity(m);
    M4Scale(m, 1e-7);
    EXPECT_FALSE(M4Inverse(m, out));
    EXPECT_NEAR(out[0][0], 1e-14, 1e-28);
}

TEST(Matrix, RotationMatrixFromAxis)
{
    double m[4][4];
    m[0][0] = 9;
    EXPECT_FALSE(M4RotationMatrix(1.0, 0, 0, 1e-7, m));
    double id[4][4];
    M4Identity(id);
    ExpectMatrixNear(m, id, 0);

    // A quarter turn about a scaled z axis. The rows are those of the
    // column-vector rotation, so a row vector turns the other way round.
    ASSERT_TRUE(M4RotationMatrix(kPi / 2, 0, 0, 7, m));
    const double x[3] = {1, 0, 0};
    double out[3];
    Apply(m, x, out);
    ExpectPoint(out, 0, -1, 0);
}

TEST(Matrix, RotationMatrixFromPlane)
{
    double m[4][4];
    const double up[4] = {0, 0, 1, 5};
    ASSERT_TRUE(M4RotationMatrix(up, m));
    double expected[4][4];
    M4Identity(expected);
    expected[3][2] = 5;
    ExpectMatrixNear(m, expected, 0);

    const double down[4] = {0, 0, -1, 0};
    ASSERT_TRUE(M4RotationMatrix(down, m));
    M4Identity(expected);
    M4RotateX(expected, kPi);
    ExpectMatrixNear(m, expected, 1e-15);

    // A general direction: z turns onto it and the origin moves d along it.
    const double v[4] = {1, 2, 2, 6};  // length 3
    ASSERT_TRUE(M4RotationMatrix(v, m));
    const double z[3] = {0, 0, 1}, origin[3] = {0, 0, 0};
    double out[3];
    Apply(m, z, out);
    ExpectPoint(out, 1.0 / 3 + 2, 2.0 / 3 + 4, 2.0 / 3 + 4);
    Apply(m, origin, out);
    ExpectPoint(out, 2, 4, 4);

    // Too short a direction leaves m as it was.
    const double tiny[4] = {1e-7, 0, 0, 1};
    m[0][0] = 42;
    EXPECT_FALSE(M4RotationMatrix(tiny, m));
    EXPECT_EQ(m[0][0], 42.0);
}

TEST(Matrix, LookAtMovesEyeToOrigin)
{
    const double eye[3] = {1, 2, 5}, center[3] = {1, 2, 0}, up[3] = {0, 3, 0};
    double m[4][4];
    M4LookAtMatrix(eye, center, up, m);
    double out[3];
    Apply(m, eye, out);
    ExpectPoint(out, 0, 0, 0);
    Apply(m, center, out);
    ExpectPoint(out, 0, 0, -5);
    const double above[3] = {1, 3, 5};
    Apply(m, above, out);
    ExpectPoint(out, 0, 1, 0);
}

TEST(Matrix, BasisToMapsTheFrameOntoTheAxes)
{
    const double o[3] = {1, 1, 1};
    const double px[3] = {3, 1, 1}, py[3] = {2, 4, 1}, pz[3] = {1, 2, 5};  // skew frame
    double m[4][4], out[3];
    ASSERT_TRUE(M4BasisTo(o, px, py, pz, m));
    Apply(m, o, out);
    ExpectPoint(out, 0, 0, 0);
    Apply(m, px, out);
    ExpectPoint(out, 2, 0, 0);
    Apply(m, py, out);
    ExpectPoint(out, 0, std::sqrt(10.0), 0);
    Apply(m, pz, out);
    ExpectPoint(out, 0, 0, std::sqrt(17.0));
}

TEST(Matrix, BasisToDegenerateFrames)
{
    const double o[3] = {0, 0, 0};
    double m[4][4], id[4][4], out[3];
    M4Identity(id);

    // Two missing axes.
    const double x[3] = {2, 0, 0};
    EXPECT_FALSE(M4BasisTo(o, x, o, o, m));
    ExpectMatrixNear(m, id, 0);

    // Parallel axes: no rebuild, determinant 0.
    const double x2[3] = {5, 0, 0}, z[3] = {0, 0, 1};
    EXPECT_FALSE(M4BasisTo(o, x, x2, z, m));
    ExpectMatrixNear(m, id, 0);

    // One missing axis is rebuilt from the other two (here z = x cross y).
    const double y[3] = {0, 3, 0};
    const double zTiny[3] = {0, 0, 1e-7};
    ASSERT_TRUE(M4BasisTo(o, x, y, zTiny, m));
    Apply(m, x, out);
    ExpectPoint(out, 2, 0, 0);
    Apply(m, y, out);
    ExpectPoint(out, 0, 3, 0);
    const double z6[3] = {0, 0, 6};
    Apply(m, z6, out);
    ExpectPoint(out, 0, 0, 6);
}

TEST(Matrix, UnMatrixTranslationAndHomogeneousScale)
{
    double m[4][4], tran[16];
    M4Identity(m);
    M4Translate(m, 3, -4, 5);
    ASSERT_TRUE(UnMatrix(m, tran));
    const double expected[16] = {1, 1, 1, 0, 0, 0, 0, 0, 0, 3, -4, 5, 0, 0, 0, 0};
    for (int k = 0; k < 16; ++k)
        EXPECT_DOUBLE_EQ(tran[k], expected[k]) << "index " << k;

    // Everything is divided by m[3][3] first.
    M4Identity(m);
    M4Scale(m, 4, 6, 8);
    M4Translate(m, 2, 4, 6);
    m[3][3] = 2;
    ASSERT_TRUE(UnMatrix(m, tran));
    const double halved[16] = {2, 3, 4, 0, 0, 0, 0, 0, 0, 1, 2, 3, 0, 0, 0, 0};
    for (int k = 0; k < 16; ++k)
        EXPECT_DOUBLE_EQ(tran[k], halved[k]) << "index " << k;
}

TEST(Matrix, UnMatrixRotationPerspectiveAndRefusals)
{
    double m[4][4], tran[16];
    M4Identity(m);
    M4Scale(m, 2, 3, 4);
    M4RotateZ(m, 0.5);
    ASSERT_TRUE(UnMatrix(m, tran));
    EXPECT_NEAR(tran[0], 2, 1e-12);
    EXPECT_NEAR(tran[1], 3, 1e-12);
    EXPECT_NEAR(tran[2], 4, 1e-12);
    EXPECT_NEAR(tran[6], 0, 1e-12);
    EXPECT_NEAR(tran[7], 0, 1e-12);
    EXPECT_NEAR(tran[8], 0.5, 1e-12);

    // A mirror: the frame is flipped and the scales come back negative.
    M4Identity(m);
    M4Scale(m, -1, 1, 1);
    ASSERT_TRUE(UnMatrix(m, tran));
    EXPECT_EQ(tran[0], -1.0);
    EXPECT_EQ(tran[1], -1.0);
    EXPECT_EQ(tran[2], -1.0);

    // Perspective: r times the transposed inverse of the affine part.
    M4Identity(m);
    M4Scale(m, 2.0);
    m[0][3] = 0.5;
    ASSERT_TRUE(UnMatrix(m, tran));
    EXPECT_NEAR(tran[12], 0.25, 1e-15);
    EXPECT_NEAR(tran[15], 1.0, 1e-15);
    EXPECT_NEAR(tran[0], 2.0, 1e-15);

    M4Identity(m);
    m[3][3] = 1e-7;
    EXPECT_FALSE(UnMatrix(m, tran));
    M4Identity(m);
    m[2][2] = 0;
    EXPECT_FALSE(UnMatrix(m, tran));
}

TEST(Matrix, PlanesAndPredicates)
{
    const double a[3] = {0, 0, 2}, b[3] = {1, 0, 2}, c[3] = {0, 1, 2};
    double plane[4];
    ASSERT_TRUE(CALC_PLANE_EQUATION(a, b, c, plane));
    ExpectPoint(plane, 0, 0, 1, 0);
    EXPECT_EQ(plane[3], -2.0);
    ASSERT_TRUE(CALC_PLANE_EQUATION(a, c, b, plane));
    EXPECT_EQ(plane[2], -1.0);

    const double d[3] = {2, 0, 2};
    plane[0] = 7;
    EXPECT_FALSE(CALC_PLANE_EQUATION(a, b, d, plane));
    for (double v : plane)
        EXPECT_EQ(v, 0.0);

    double m[4][4];
    M4Identity(m);
    EXPECT_TRUE(M4IsIdentity(m));
    m[2][1] = 0.9e-6;
    EXPECT_TRUE(M4IsIdentity(m));
    m[2][1] = 1e-6;  // strict
    EXPECT_FALSE(M4IsIdentity(m));
    EXPECT_FALSE(M4IsTranslation(m));
    EXPECT_EQ(M4GetModelMatrixType(m), 0);

    double v[3] = {3, 4, 0};
    EXPECT_EQ(V3Normalize(v), 5.0);
    ExpectPoint(v, 0.6, 0.8, 0);
    double zero[3] = {0, 0, 0};
    V3Normalize(zero);
    ExpectPoint(zero, 0, 0, 0, 0);
    double tiny[3] = {1e-6, 0, 0};
    V3SetLength(tiny, 10);
    EXPECT_EQ(tiny[0], 1e-6);
}
