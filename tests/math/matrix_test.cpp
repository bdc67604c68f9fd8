#include "Geometry/math/GMatrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

const double kPi = 3.14159265358979323846;

// Expects got[0 .. want.size()) within tol of want.
void ExpectNear(const double* got, const std::vector<double>& want, double tol)
{
    for (std::size_t k = 0; k < want.size(); ++k)
        EXPECT_NEAR(got[k], want[k], tol) << "index " << k;
}

void ExpectMatrix(const double m[4][4], const double want[4][4], double tol)
{
    ExpectNear(&m[0][0], std::vector<double>(&want[0][0], &want[0][0] + 16), tol);
}

// Expects the image of (x, y, z) under m to be (ex, ey, ez).
void ExpectMaps(const double m[4][4], double x, double y, double z, double ex, double ey, double ez)
{
    const double p[3] = {x, y, z};
    double q[3];
    V3MulPointByMatrix(p, m, q);
    ExpectNear(q, {ex, ey, ez}, 1e-12);
}

}  // namespace

TEST(Matrix, AccumulationAppliesNewOperationsLast)
{
    double m[4][4];
    M4Identity(m);
    M4Translate(m, 1, 2, 3);
    // Column 3 is (0, 0, 0, 1): only row 3 changes.
    ExpectNear(&m[0][0], {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1}, 0);

    M4Identity(m);
    M4Scale(m, 2.0);
    M4Translate(m, 1, 0, 0);
    ExpectMaps(m, 1, 0, 0, 3, 0, 0);
    M4RotateZ(m, kPi / 2);  // the translation turns too
    ExpectMaps(m, 0, 0, 0, 0, 1, 0);
    M4Identity(m);
    M4RotateY(m, kPi / 2);
    ExpectMaps(m, 0, 0, 1, 1, 0, 0);
}

TEST(Matrix, DeterminantsAndInverse)
{
    EXPECT_EQ(Det3x3(1, 0, 0, 0, 2, 0, 1, 1, 3), 6.0);
    // Rows 0 and 3 of the identity exchanged: the m[0][3] cofactor decides.
    double swapped[4][4] = {{0, 0, 0, 1}, {0, 1, 0, 0}, {0, 0, 1, 0}, {1, 0, 0, 0}};
    EXPECT_EQ(Det4x4(swapped), -1.0);

    double m[4][4], inv[4][4], prod[4][4] = {}, id[4][4];
    M4Identity(m);
    M4Scale(m, 2, 3, 4);
    M4RotateX(m, 0.3);
    M4RotateZ(m, -1.1);
    M4Translate(m, 5, -6, 7);
    EXPECT_NEAR(Det4x4(m), 24.0, 1e-12);
    m[0][3] = 0.1;
    ASSERT_TRUE(M4Inverse(m, inv));
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            for (int k = 0; k < 4; ++k)
                prod[r][c] += m[r][k] * inv[k][c];
    M4Identity(id);
    ExpectMatrix(prod, id, 1e-12);

    // Singular: false, and the adjugate is left in the output.
    double singular[4][4] = {{2, 0, 0, 0}, {0, 3, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 5}};
    EXPECT_FALSE(M4Inverse(singular, inv));
    ExpectNear(&inv[0][0], {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 30, 0, 0, 0, 0, 0}, 0);
    // A regular but tiny matrix falls below the determinant tolerance too.
    M4Identity(m);
    M4Scale(m, 1e-7);
    EXPECT_FALSE(M4Inverse(m, inv));
    EXPECT_NEAR(inv[0][0], 1e-14, 1e-28);
}

TEST(Matrix, RotationMatrices)
{
    double m[4][4], expected[4][4];
    M4Identity(expected);
    m[0][0] = 9;
    EXPECT_FALSE(M4RotationMatrix(1.0, 0, 0, 1e-7, m));
    ExpectMatrix(m, expected, 0);
    // The rows are those of the column-vector rotation, so a row vector
    // turns the other way round.
    ASSERT_TRUE(M4RotationMatrix(kPi / 2, 0, 0, 7, m));
    ExpectMaps(m, 1, 0, 0, 0, -1, 0);

    const double up[4] = {0, 0, 1, 5}, down[4] = {0, 0, -1, 0};
    ASSERT_TRUE(M4RotationMatrix(up, m));
    expected[3][2] = 5;
    ExpectMatrix(m, expected, 0);
    ASSERT_TRUE(M4RotationMatrix(down, m));
    M4Identity(expected);
    M4RotateX(expected, kPi);
    ExpectMatrix(m, expected, 1e-15);

    // z turns onto the direction and the origin moves d along it.
    const double v[4] = {1, 2, 2, 6};  // length 3
    ASSERT_TRUE(M4RotationMatrix(v, m));
    ExpectMaps(m, 0, 0, 0, 2, 4, 4);
    ExpectMaps(m, 0, 0, 1, 2 + 1.0 / 3, 4 + 2.0 / 3, 4 + 2.0 / 3);
    const double tiny[4] = {1e-7, 0, 0, 1};
    m[0][0] = 42;
    EXPECT_FALSE(M4RotationMatrix(tiny, m));
    EXPECT_EQ(m[0][0], 42.0);
}

// Directions within 1e-6 of the vertical: z turns exactly onto the
// direction, the frame stays orthonormal, points far out in the frame's xy
// plane stay on the plane, and the matrix does not jump where the general
// construction takes over.
TEST(Matrix, RotationOntoNearlyVerticalDirections)
{
    const double dirs[7][3] = {{0, -9e-7, 1}, {9e-7, 0, 1},   {3e-7, -4e-7, 2}, {0, 9e-7, -1},
                               {-5e-7, 5e-7, -1}, {1e-300, 0, 1}, {0, -1e-310, -3}};
    for (const double* d : dirs) {
        SCOPED_TRACE(testing::Message() << d[0] << " " << d[1] << " " << d[2]);
        const double v[4] = {d[0], d[1], d[2], 250.0};
        double m[4][4];
        ASSERT_TRUE(M4RotationMatrix(v, m));
        const double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        const double n[3] = {d[0] / len, d[1] / len, d[2] / len};
        ExpectNear(m[2], {n[0], n[1], n[2]}, 1e-15);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(m[r][0] * m[c][0] + m[r][1] * m[c][1] + m[r][2] * m[c][2], r == c ? 1.0 : 0.0, 1e-15);
        double origin[3], p[3];
        const double zero[3] = {0, 0, 0};
        V3MulPointByMatrix(zero, m, origin);
        const double outX[3] = {1e4, 0, 0}, outY[3] = {0, -1e4, 0};
        for (const double* q : {outX, outY}) {
            V3MulPointByMatrix(q, m, p);
            EXPECT_NEAR((p[0] - origin[0]) * n[0] + (p[1] - origin[1]) * n[1] + (p[2] - origin[2]) * n[2], 0.0, 1e-10);
        }
    }
    // Either side of the band's edge (an axis of length 1e-6) the matrices
    // differ by about the change of direction.
    const double inside[4] = {0, -0.99e-6, 1, 0}, outside[4] = {0, -1.01e-6, 1, 0};
    double a[4][4], b[4][4];
    ASSERT_TRUE(M4RotationMatrix(inside, a) && M4RotationMatrix(outside, b));
    ExpectMatrix(a, b, 1e-7);
}

TEST(Matrix, BasisTo)
{
    const double o[3] = {1, 1, 1};
    const double px[3] = {3, 1, 1}, py[3] = {2, 4, 1}, pz[3] = {1, 2, 5};  // a skew frame
    double m[4][4], id[4][4];
    M4Identity(id);
    ASSERT_TRUE(M4BasisTo(o, px, py, pz, m));
    ExpectMaps(m, 1, 1, 1, 0, 0, 0);
    ExpectMaps(m, 3, 1, 1, 2, 0, 0);
    ExpectMaps(m, 2, 4, 1, 0, std::sqrt(10.0), 0);
    ExpectMaps(m, 1, 2, 5, 0, 0, std::sqrt(17.0));

    // Two missing axes; parallel axes (nothing to rebuild, determinant 0).
    const double z0[3] = {0, 0, 0}, x[3] = {2, 0, 0}, x2[3] = {5, 0, 0}, z[3] = {0, 0, 1};
    EXPECT_FALSE(M4BasisTo(z0, x, z0, z0, m));
    ExpectMatrix(m, id, 0);
    EXPECT_FALSE(M4BasisTo(z0, x, x2, z, m));
    ExpectMatrix(m, id, 0);

    // One missing axis is rebuilt from the other two (here z = x cross y).
    const double y[3] = {0, 3, 0}, zTiny[3] = {0, 0, 1e-7};
    ASSERT_TRUE(M4BasisTo(z0, x, y, zTiny, m));
    ExpectMaps(m, 2, 0, 0, 2, 0, 0);
    ExpectMaps(m, 0, 3, 0, 0, 3, 0);
    ExpectMaps(m, 0, 0, 6, 0, 0, 6);
}

TEST(Matrix, UnMatrix)
{
    double m[4][4], tran[16];
    M4Identity(m);
    M4Translate(m, 3, -4, 5);
    ASSERT_TRUE(UnMatrix(m, tran));
    ExpectNear(tran, {1, 1, 1, 0, 0, 0, 0, 0, 0, 3, -4, 5, 0, 0, 0, 0}, 1e-15);

    // Everything is divided by m[3][3] first.
    M4Identity(m);
    M4Scale(m, 4, 6, 8);
    M4Translate(m, 2, 4, 6);
    m[3][3] = 2;
    ASSERT_TRUE(UnMatrix(m, tran));
    ExpectNear(tran, {2, 3, 4, 0, 0, 0, 0, 0, 0, 1, 2, 3, 0, 0, 0, 0}, 1e-15);

    M4Identity(m);
    M4Scale(m, 2, 3, 4);
    M4RotateZ(m, 0.5);
    ASSERT_TRUE(UnMatrix(m, tran));
    ExpectNear(tran, {2, 3, 4, 0, 0, 0, 0, 0, 0.5}, 1e-12);

    // A mirror flips the frame: the scales come back negative.
    M4Identity(m);
    M4Scale(m, -1, 1, 1);
    ASSERT_TRUE(UnMatrix(m, tran));
    ExpectNear(tran, {-1, -1, -1}, 0);

    // Perspective: r times the transposed inverse of the affine part.
    M4Identity(m);
    M4Scale(m, 2.0);
    m[0][3] = 0.5;
    ASSERT_TRUE(UnMatrix(m, tran));
    EXPECT_NEAR(tran[12], 0.25, 1e-15);
    EXPECT_NEAR(tran[15], 1.0, 1e-15);

    M4Identity(m);
    m[3][3] = 1e-7;
    EXPECT_FALSE(UnMatrix(m, tran));
    M4Identity(m);
    m[2][2] = 0;
    EXPECT_FALSE(UnMatrix(m, tran));
}

TEST(Matrix, PlanesAndPredicates)
{
    const double a[3] = {0, 0, 2}, b[3] = {1, 0, 2}, c[3] = {0, 1, 2}, d[3] = {2, 0, 2};
    double plane[4];
    ASSERT_TRUE(CALC_PLANE_EQUATION(a, b, c, plane));
    ExpectNear(plane, {0, 0, 1, -2}, 0);
    ASSERT_TRUE(CALC_PLANE_EQUATION(a, c, b, plane));
    EXPECT_EQ(plane[2], -1.0);
    EXPECT_FALSE(CALC_PLANE_EQUATION(a, b, d, plane));
    ExpectNear(plane, {0, 0, 0, 0}, 0);

    double m[4][4];
    M4Identity(m);
    m[2][1] = 0.9e-6;
    EXPECT_TRUE(M4IsIdentity(m));
    m[2][1] = 1e-6;  // strict
    EXPECT_FALSE(M4IsIdentity(m));
}
