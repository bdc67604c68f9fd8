#pragma once
// Free functions over plain arrays: 4x4 matrices of doubles, 3-vectors and
// plane equations. They hold no state and allocate nothing.
//
// Conventions:
// - A matrix is double[4][4], m[row][column]. Points are row vectors,
//   p' = p * M: x' = x*m[0][0] + y*m[1][0] + z*m[2][0] + m[3][0]. The
//   translation lives in row 3; m[0..2][3] are the perspective terms and
//   m[3][3] the homogeneous scale.
// - The accumulating functions (M4Translate, M4Scale, M4Rotate*) post-multiply
//   in place, M := M * X, so the new operation applies after those already in
//   M. Angles are in radians.
// - A plane equation is double[4] (a, b, c, d): a*x + b*y + c*z + d = 0, with
//   (a, b, c) of unit length when valid.
// - Vector helpers write their result to the last argument (which may alias
//   an input); the one-vector helpers work in place.

enum GMATRIX_TYPE {
    GMATRIX_GENERAL = 0,
    GMATRIX_IDENTITY,
    GMATRIX_TRANSLATION,
    GMATRIX_AFFINE,
    GMATRIX_PERSPECTIVE
};

// --- construction and accumulation
void M4Identity(double m[4][4]);
void M4Translate(double m[4][4], double tx, double ty, double tz);
void M4Scale(double m[4][4], double sx, double sy, double sz);
// Scales columns 0..2 by s; column 3 is untouched.
void M4Scale(double m[4][4], double s);
void M4RotateX(double m[4][4], double angle);
void M4RotateY(double m[4][4], double angle);
void M4RotateZ(double m[4][4], double angle);

// --- determinants and inverse
// Inline: the plane intersections of the sweeps call them in their inner
// loops. The products and sums are those of the expansion by the first
// column, in this order, so every caller gets the same bits.
inline double Det2x2(double a, double b, double c, double d) { return a * d - b * c; }
// Determinant of the matrix whose columns are (a1, a2, a3), (b1, b2, b3),
// (c1, c2, c3).
inline double Det3x3(double a1, double a2, double a3, double b1, double b2, double b3, double c1, double c2,
                     double c3)
{
    return a1 * Det2x2(b2, b3, c2, c3) - b1 * Det2x2(a2, a3, c2, c3) + c1 * Det2x2(a2, a3, b2, b3);
}
double Det4x4(const double m[4][4]);
// The adjugate (transpose of the cofactor matrix); `out` may be `in`.
void M4Adjoint(const double in[4][4], double out[4][4]);
void M4Transpose(const double in[4][4], double out[4][4]);
// Writes the adjugate of `in` to `out`; when |det| < 1e-18 returns false and
// leaves the adjugate there, otherwise divides it by det (the inverse) and
// returns true. `out` may be `in`.
bool M4Inverse(const double in[4][4], double out[4][4]);

// --- special matrices
// Rotation by `angle` about the axis (x, y, z); false (m the identity) when
// the axis is shorter than 1e-6.
bool M4RotationMatrix(double angle, double x, double y, double z, double m[4][4]);
bool M4RotationMatrix(double angle, const double axis[3], double m[4][4]);
// The matrix that turns the z axis onto the direction (v[0], v[1], v[2]) and
// moves v[3] along it (v a plane equation, or a direction with an offset).
// False, m untouched, when the direction is shorter than 1e-6.
bool M4RotationMatrix(const double v[4], double m[4][4]);
void M4LookAtMatrix(const double eye[3], const double center[3], const double up[3], double m[4][4]);
// Maps the frame (origin, px - origin, py - origin, pz - origin) onto the
// coordinate axes keeping the axes' lengths; one missing axis (shorter than
// 1e-6) is rebuilt from the other two. False (m the identity) when the frame
// is degenerate.
bool M4BasisTo(const double origin[3], const double px[3], const double py[3], const double pz[3],
               double m[4][4]);
// Decomposes m into tran[16]: scale x, y, z (0..2); shear xy, xz, yz (3..5);
// rotation about x, y, z in radians (6..8); translation (9..11); perspective
// x, y, z, w (12..15). False when m[3][3] or the linear part is singular.
bool UnMatrix(const double m[4][4], double tran[16]);

// --- planes and predicates
// Plane through p0, p1, p2 (normal by the right-hand rule); false and a zero
// plane when |(p1 - p0) x (p2 - p0)| < 1e-6.
bool CALC_PLANE_EQUATION(const double* p0, const double* p1, const double* p2, double* plane);
// out = a x b.
void V3OrtoVector(const double* a, const double* b, double* out);
// Every element within 1e-6 of the identity's.
bool M4IsIdentity(const double m[4][4]);
bool M4IsTranslation(const double m[4][4]);
GMATRIX_TYPE M4GetModelMatrixType(const double m[4][4]);
GMATRIX_TYPE M4GetProjMatrixType(const double m[4][4]);

// --- vector helpers on double[3]
void V3Copy(const double* src, double* dst);
void V3Zero(double* v);
void V3Negate(double* v);
void V3Add(const double* a, const double* b, double* out);   // out = a + b
void V3Sub(const double* a, const double* b, double* out);   // out = a - b
void V3Scale(double* v, double s);                           // v *= s
double V3Dot(const double* a, const double* b);
double V3SquaredLength(const double* v);
double V3Length(const double* v);
// Divides v by its length when the length is greater than 0 (a zero vector
// stays zero); returns the length it had.
double V3Normalize(double* v);
// Rescales v to `length`; v is left unchanged when |v| <= 1e-6.
void V3SetLength(double* v, double length);
// out = in * m for a four-component row vector; `out` may be `in`.
void V4MulPointByMatrix(const double in[4], const double m[4][4], double out[4]);
// out = (p, 1) * m without the homogeneous divide: the affine image of a point.
void V3MulPointByMatrix(const double p[3], const double m[4][4], double out[3]);
