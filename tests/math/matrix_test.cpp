#include "Geometry/math/GMatrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
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

// Scales, then rotations about x, y and z, then the translation.
void Compose(double m[4][4], const double* s, const double* a, const double* t)
{
    M4Identity(m);
    M4Scale(m, s[0], s[1], s[2]);
    M4RotateX(m, a[0]);
    M4RotateY(m, a[1]);
    M4RotateZ(m, a[2]);
    M4Translate(m, t[0], t[1], t[2]);
}

}  // namespace

TEST(Matrix, AccumulationAppliesNewOperationsLast)
{
    double m[4][4];
    M4Identity(m);
    M4Scale(m, 2.0);
    M4Translate(m, 1, 0, 0);
    ExpectMaps(m, 1, 0, 0, 3, 0, 0);
    M4RotateZ(m, kPi / 2);  // the translation turns too
    ExpectMaps(m, 0, 0, 0, 0, 1, 0);
}

// Random matrices, two oracles: a product with the inverse computed here is
// the identity (general matrices, perspective terms included), and a
// scale-rotate-translate composition, mirrored or not and with any
// homogeneous scale, has the product of its scales as determinant and
// decomposes into parts that rebuild it.
TEST(Matrix, RandomInversesAndDecompositionsRebuildTheirMatrix)
{
    std::mt19937 rng(2024);
    std::uniform_real_distribution<double> entry(-1.0, 1.0), scale(0.2, 5.0), angle(-1.4, 1.4);
    double id[4][4];
    M4Identity(id);
    for (int trial = 0; trial < 500; ++trial) {
        SCOPED_TRACE(trial);
        double m[4][4], inv[4][4], prod[4][4] = {};
        for (auto& row : m)
            for (double& e : row)
                e = entry(rng);
        if (std::fabs(Det4x4(m)) < 1e-3)
            continue;
        ASSERT_TRUE(M4Inverse(m, inv));
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                for (int k = 0; k < 4; ++k)
                    prod[r][c] += m[r][k] * inv[k][c];
        ExpectMatrix(prod, id, 1e-9);

        const double sign = trial % 3 == 0 ? -1.0 : 1.0, w = trial % 2 ? 1.0 : scale(rng);
        const double s[3] = {scale(rng), scale(rng), scale(rng)}, a[3] = {angle(rng), angle(rng), angle(rng)};
        const double t[3] = {10 * entry(rng), 10 * entry(rng), 10 * entry(rng)};
        const double mirrored[3] = {sign * s[0], s[1], s[2]};
        Compose(m, mirrored, a, t);
        EXPECT_NEAR(Det4x4(m), sign * s[0] * s[1] * s[2], 1e-10 * s[0] * s[1] * s[2]);
        double scaled[4][4], tran[16], rebuilt[4][4];
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                scaled[r][c] = m[r][c] * w;  // everything is divided by m[3][3] first
        ASSERT_TRUE(UnMatrix(scaled, tran));
        // A mirror flips the frame: the scales come back negative.
        ExpectNear(tran, {sign * s[0], sign * s[1], sign * s[2], 0, 0, 0}, 1e-9);
        ExpectNear(tran + 9, {t[0], t[1], t[2], 0, 0, 0, 0}, 1e-9);
        Compose(rebuilt, tran, tran + 6, tran + 9);
        ExpectMatrix(rebuilt, m, 1e-9);
    }
}

TEST(Matrix, SingularAndDegenerateInputsAreRefused)
{
    // Singular: false, and the adjugate is left in the output.
    double singular[4][4] = {{2, 0, 0, 0}, {0, 3, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 5}}, inv[4][4];
    EXPECT_FALSE(M4Inverse(singular, inv));
    ExpectNear(&inv[0][0], {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 30, 0, 0, 0, 0, 0}, 0);
    // A regular but tiny matrix falls below the determinant tolerance too.
    double m[4][4], tran[16], id[4][4];
    M4Identity(id);
    M4Identity(m);
    M4Scale(m, 1e-7);
    EXPECT_FALSE(M4Inverse(m, inv));
    M4Identity(m);
    m[3][3] = 1e-7;  // no homogeneous scale
    EXPECT_FALSE(UnMatrix(m, tran));
    M4Identity(m);
    m[2][2] = 0;
    EXPECT_FALSE(UnMatrix(m, tran));

    // Too short an axis: the identity; too short a direction: untouched.
    EXPECT_FALSE(M4RotationMatrix(1.0, 0, 0, 1e-7, m));
    ExpectMatrix(m, id, 0);
    const double tiny[4] = {1e-7, 0, 0, 1};
    m[0][0] = 42;
    EXPECT_FALSE(M4RotationMatrix(tiny, m));
    EXPECT_EQ(m[0][0], 42.0);

    // Perspective: r times the transposed inverse of the affine part.
    M4Identity(m);
    M4Scale(m, 2.0);
    m[0][3] = 0.5;
    ASSERT_TRUE(UnMatrix(m, tran));
    EXPECT_NEAR(tran[12], 0.25, 1e-15);
    EXPECT_NEAR(tran[15], 1.0, 1e-15);
}

// Directions within 1e-6 of the vertical and random ones: z turns exactly
// onto the direction, the frame stays orthonormal, the origin moves d along
// it and points far out in the frame's xy plane stay on the plane; the
// matrix does not jump where the general construction takes over.
TEST(Matrix, RotationOntoDirections)
{
    std::vector<std::vector<double>> dirs = {{0, -9e-7, 1}, {9e-7, 0, 1}, {3e-7, -4e-7, 2}, {0, 9e-7, -1},
                                             {-5e-7, 5e-7, -1}, {1e-300, 0, 1}, {0, -1e-310, -3}, {1, 2, 2}};
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> coord(-3.0, 3.0);
    for (int k = 0; k < 50; ++k)
        dirs.push_back({coord(rng), coord(rng), coord(rng)});
    for (const auto& d : dirs) {
        SCOPED_TRACE(testing::Message() << d[0] << " " << d[1] << " " << d[2]);
        const double v[4] = {d[0], d[1], d[2], 250.0};
        double m[4][4];
        ASSERT_TRUE(M4RotationMatrix(v, m));
        const double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        const double n[3] = {d[0] / len, d[1] / len, d[2] / len};
        ExpectNear(m[2], {n[0], n[1], n[2]}, 1e-15);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(V3Dot(m[r], m[c]), r == c ? 1.0 : 0.0, 1e-15);
        ExpectMaps(m, 0, 0, 0, 250 * n[0], 250 * n[1], 250 * n[2]);
        double p[3];
        const double outX[3] = {1e4, 0, 0}, outY[3] = {0, -1e4, 0};
        for (const double* q : {outX, outY}) {
            V3MulPointByMatrix(q, m, p);
            EXPECT_NEAR(V3Dot(p, n), 250.0, 1e-10);
        }
    }
    // Either side of the band's edge (an axis of length 1e-6) the matrices
    // differ by about the change of direction.
    const double inside[4] = {0, -0.99e-6, 1, 0}, outside[4] = {0, -1.01e-6, 1, 0};
    double a[4][4], b[4][4];
    ASSERT_TRUE(M4RotationMatrix(inside, a) && M4RotationMatrix(outside, b));
    ExpectMatrix(a, b, 1e-7);
    // About an axis, the rows are those of the column-vector rotation, so a
    // row vector turns the other way round.
    ASSERT_TRUE(M4RotationMatrix(kPi / 2, 0, 0, 7, a));
    ExpectMaps(a, 1, 0, 0, 0, -1, 0);
}

TEST(Matrix, BasisToAndPlanes)
{
    const double o[3] = {1, 1, 1};
    const double px[3] = {3, 1, 1}, py[3] = {2, 4, 1}, pz[3] = {1, 2, 5};  // a skew frame
    double m[4][4], id[4][4];
    M4Identity(id);
    ASSERT_TRUE(M4BasisTo(o, px, py, pz, m));
    ExpectMaps(m, 1, 1, 1, 0, 0, 0);
    ExpectMaps(m, 2, 4, 1, 0, std::sqrt(10.0), 0);
    ExpectMaps(m, 1, 2, 5, 0, 0, std::sqrt(17.0));
    // One missing axis is rebuilt from the other two (here z = x cross y);
    // parallel axes leave nothing to rebuild from.
    const double z0[3] = {0, 0, 0}, x[3] = {2, 0, 0}, x2[3] = {5, 0, 0}, y[3] = {0, 3, 0};
    const double zTiny[3] = {0, 0, 1e-7};
    ASSERT_TRUE(M4BasisTo(z0, x, y, zTiny, m));
    ExpectMaps(m, 0, 0, 6, 0, 0, 6);
    EXPECT_FALSE(M4BasisTo(z0, x, x2, y, m));
    ExpectMatrix(m, id, 0);

    const double a[3] = {0, 0, 2}, b[3] = {1, 0, 2}, c[3] = {0, 1, 2}, d[3] = {2, 0, 2};
    double plane[4];
    ASSERT_TRUE(CALC_PLANE_EQUATION(a, c, b, plane));
    ExpectNear(plane, {0, 0, -1, 2}, 0);
    EXPECT_FALSE(CALC_PLANE_EQUATION(a, b, d, plane));
    ExpectNear(plane, {0, 0, 0, 0}, 0);
    id[2][1] = 0.9e-6;
    EXPECT_TRUE(M4IsIdentity(id));
    id[2][1] = 1e-6;  // strict
    EXPECT_FALSE(M4IsIdentity(id));
}
