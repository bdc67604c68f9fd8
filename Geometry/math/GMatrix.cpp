#include "Geometry/math/GMatrix.h"

#include "Geometry/math/GTolerance.h"

#include <cmath>

namespace {

using GTolerance::kMatrixEntry;
using GTolerance::kZeroLength;

// acos and asin of a value that rounding may have pushed just past +-1.
double ClampUnit(double x) { return x > 1.0 ? 1.0 : (x < -1.0 ? -1.0 : x); }

void M4Copy(const double in[4][4], double out[4][4])
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out[r][c] = in[r][c];
}

// Determinant of the 3x3 minor of m without row `row` and column `col`.
double Minor3(const double m[4][4], int row, int col)
{
    int rows[3], cols[3];
    for (int k = 0, n = 0; k < 4; ++k)
        if (k != row) rows[n++] = k;
    for (int k = 0, n = 0; k < 4; ++k)
        if (k != col) cols[n++] = k;
    return Det3x3(m[rows[0]][cols[0]], m[rows[1]][cols[0]], m[rows[2]][cols[0]],
                  m[rows[0]][cols[1]], m[rows[1]][cols[1]], m[rows[2]][cols[1]],
                  m[rows[0]][cols[2]], m[rows[1]][cols[2]], m[rows[2]][cols[2]]);
}

}  // namespace

// ---------------------------------------------------------------- accumulation

void M4Identity(double m[4][4])
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m[r][c] = (r == c) ? 1.0 : 0.0;
}

void M4Translate(double m[4][4], double tx, double ty, double tz)
{
    for (int i = 0; i < 4; ++i) {
        m[i][0] += tx * m[i][3];
        m[i][1] += ty * m[i][3];
        m[i][2] += tz * m[i][3];
    }
}

void M4Scale(double m[4][4], double sx, double sy, double sz)
{
    for (int i = 0; i < 4; ++i) {
        m[i][0] *= sx;
        m[i][1] *= sy;
        m[i][2] *= sz;
    }
}

void M4Scale(double m[4][4], double s) { M4Scale(m, s, s, s); }

void M4RotateX(double m[4][4], double angle)
{
    const double c = std::cos(angle), s = std::sin(angle);
    for (int i = 0; i < 4; ++i) {
        const double a = m[i][1], b = m[i][2];
        m[i][1] = a * c - b * s;
        m[i][2] = a * s + b * c;
    }
}

void M4RotateY(double m[4][4], double angle)
{
    const double c = std::cos(angle), s = std::sin(angle);
    for (int i = 0; i < 4; ++i) {
        const double a = m[i][0], b = m[i][2];
        m[i][0] = a * c + b * s;
        m[i][2] = b * c - a * s;
    }
}

void M4RotateZ(double m[4][4], double angle)
{
    const double c = std::cos(angle), s = std::sin(angle);
    for (int i = 0; i < 4; ++i) {
        const double a = m[i][0], b = m[i][1];
        m[i][0] = a * c - b * s;
        m[i][1] = a * s + b * c;
    }
}

// ---------------------------------------------------------------- determinants

double Det4x4(const double m[4][4])
{
    return m[0][0] * Minor3(m, 0, 0) - m[0][1] * Minor3(m, 0, 1) + m[0][2] * Minor3(m, 0, 2) -
           m[0][3] * Minor3(m, 0, 3);
}

void M4Adjoint(const double in[4][4], double out[4][4])
{
    double adj[4][4];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            const double minor = Minor3(in, c, r);
            adj[r][c] = ((r + c) % 2 == 0) ? minor : -minor;
        }
    M4Copy(adj, out);
}

void M4Transpose(const double in[4][4], double out[4][4])
{
    double t[4][4];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            t[r][c] = in[c][r];
    M4Copy(t, out);
}

bool M4Inverse(const double in[4][4], double out[4][4])
{
    const double det = Det4x4(in);
    M4Adjoint(in, out);
    if (std::fabs(det) < GTolerance::kDeterminant)
        return false;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out[r][c] /= det;
    return true;
}

// ---------------------------------------------------------------- special matrices

bool M4RotationMatrix(double angle, double x, double y, double z, double m[4][4])
{
    M4Identity(m);
    const double len = std::sqrt(x * x + y * y + z * z);
    if (len < GTolerance::kZeroLength)
        return false;
    x /= len;
    y /= len;
    z /= len;
    const double c = std::cos(angle), s = std::sin(angle), t = 1.0 - c;
    m[0][0] = t * x * x + c;
    m[0][1] = t * x * y - z * s;
    m[0][2] = t * x * z + y * s;
    m[1][0] = t * x * y + z * s;
    m[1][1] = t * y * y + c;
    m[1][2] = t * y * z - x * s;
    m[2][0] = t * x * z - y * s;
    m[2][1] = t * y * z + x * s;
    m[2][2] = t * z * z + c;
    return true;
}

bool M4RotationMatrix(double angle, const double axis[3], double m[4][4])
{
    return M4RotationMatrix(angle, axis[0], axis[1], axis[2], m);
}

bool M4RotationMatrix(const double v[4], double m[4][4])
{
    const double len = V3Length(v);
    if (len < GTolerance::kZeroLength)
        return false;
    double n[4];
    for (int k = 0; k < 4; ++k)
        n[k] = v[k] / len;
    double angle = std::acos(ClampUnit(n[2]));
    const double zAxis[3] = {0.0, 0.0, 1.0};
    double axis[3];
    V3OrtoVector(n, zAxis, axis);
    const double sine = V3Length(axis);
    if (sine <= GTolerance::kZeroLength) {
        // Too short for the general construction, which refuses axes below
        // 1e-6. Scaled up, the axis still points the way that turns z onto
        // n; the angle comes from its own sine, as acos is inexact near
        // +-1. Only an exactly vertical direction has no axis at all: any
        // horizontal one serves.
        if (sine > 0.0) {
            for (int k = 0; k < 3; ++k)
                axis[k] /= sine;
            angle = std::atan2(sine, n[2]);
        } else {
            axis[0] = 1.0;
            axis[1] = 0.0;
            axis[2] = 0.0;
        }
    }
    M4RotationMatrix(angle, axis, m);
    for (int k = 0; k < 3; ++k)
        m[3][k] = n[k] * v[3];
    return true;
}

void M4LookAtMatrix(const double eye[3], const double center[3], const double up[3], double m[4][4])
{
    double f[3], s[3], u[3];
    V3Sub(eye, center, f);
    V3Normalize(f);
    V3OrtoVector(up, f, s);
    V3OrtoVector(f, s, u);
    V3Normalize(s);
    V3Normalize(u);
    for (int k = 0; k < 3; ++k) {
        m[k][0] = s[k];
        m[k][1] = u[k];
        m[k][2] = f[k];
        m[k][3] = 0.0;
    }
    m[3][0] = -V3Dot(s, eye);
    m[3][1] = -V3Dot(u, eye);
    m[3][2] = -V3Dot(f, eye);
    m[3][3] = 1.0;
}

bool M4BasisTo(const double origin[3], const double px[3], const double py[3], const double pz[3],
               double m[4][4])
{
    double a[3], b[3], c[3];
    V3Sub(px, origin, a);
    V3Sub(py, origin, b);
    V3Sub(pz, origin, c);
    double la = V3Length(a), lb = V3Length(b), lc = V3Length(c);
    M4Identity(m);
    if ((la < kZeroLength) + (lb < kZeroLength) + (lc < kZeroLength) >= 2)
        return false;
    if (la < kZeroLength) {
        V3OrtoVector(b, c, a);
        la = V3Length(a);
    } else if (lb < kZeroLength) {
        V3OrtoVector(c, a, b);
        lb = V3Length(b);
    } else if (lc < kZeroLength) {
        V3OrtoVector(a, b, c);
        lc = V3Length(c);
    }
    double bc[3], ca[3], ab[3];
    V3OrtoVector(b, c, bc);
    V3OrtoVector(c, a, ca);
    V3OrtoVector(a, b, ab);
    const double det = V3Dot(a, bc);
    if (det == 0.0)
        return false;
    const double sa = la / det, sb = lb / det, sc = lc / det;
    for (int k = 0; k < 3; ++k) {
        m[k][0] = bc[k] * sa;
        m[k][1] = ca[k] * sb;
        m[k][2] = ab[k] * sc;
    }
    for (int j = 0; j < 3; ++j)
        m[3][j] = -(m[0][j] * origin[0] + m[1][j] * origin[1] + m[2][j] * origin[2]);
    return true;
}

bool UnMatrix(const double m[4][4], double tran[16])
{
    const double w = m[3][3];
    if (std::fabs(w) < GTolerance::kMatrixEntry)
        return false;
    double L[4][4];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            L[r][c] = m[r][c] / w;

    double P[4][4];
    M4Copy(L, P);
    P[0][3] = P[1][3] = P[2][3] = 0.0;
    P[3][3] = 1.0;
    if (std::fabs(Det4x4(P)) < GTolerance::kDeterminant)
        return false;

    // Perspective.
    if (std::fabs(L[0][3]) <= kMatrixEntry && std::fabs(L[1][3]) <= kMatrixEntry &&
        std::fabs(L[2][3]) <= kMatrixEntry) {
        tran[12] = tran[13] = tran[14] = tran[15] = 0.0;
    } else {
        const double rhs[4] = {L[0][3], L[1][3], L[2][3], L[3][3]};
        double inv[4][4];
        M4Inverse(P, inv);
        M4Transpose(inv, inv);
        V4MulPointByMatrix(rhs, inv, tran + 12);
        L[0][3] = L[1][3] = L[2][3] = 0.0;
        L[3][3] = 1.0;
    }

    // Translation.
    for (int i = 0; i < 3; ++i) {
        tran[9 + i] = L[3][i];
        L[3][i] = 0.0;
    }

    // Scale and shear by Gram-Schmidt over the rows of the linear part. The
    // linear part is regular (checked above), so the lengths are not zero;
    // the guards only keep a rounding-born zero from turning into NaN.
    double r0[3], r1[3], r2[3];
    V3Copy(L[0], r0);
    V3Copy(L[1], r1);
    V3Copy(L[2], r2);
    double t[3];

    tran[0] = V3Length(r0);
    V3SetLength(r0, 1.0);

    tran[3] = V3Dot(r0, r1);
    V3Copy(r0, t);
    V3Scale(t, tran[3]);
    V3Sub(r1, t, r1);
    tran[1] = V3Length(r1);
    V3SetLength(r1, 1.0);
    if (tran[1] != 0.0)
        tran[3] /= tran[1];

    tran[4] = V3Dot(r0, r2);
    V3Copy(r0, t);
    V3Scale(t, tran[4]);
    V3Sub(r2, t, r2);
    tran[5] = V3Dot(r1, r2);
    V3Copy(r1, t);
    V3Scale(t, tran[5]);
    V3Sub(r2, t, r2);
    tran[2] = V3Length(r2);
    V3SetLength(r2, 1.0);
    if (tran[2] != 0.0) {
        tran[4] /= tran[2];
        tran[5] /= tran[2];
    }

    // A left-handed frame: flip it and the scales.
    double cross[3];
    V3OrtoVector(r1, r2, cross);
    if (V3Dot(r0, cross) < 0.0) {
        for (int k = 0; k < 3; ++k) {
            tran[k] = -tran[k];
            r0[k] = -r0[k];
            r1[k] = -r1[k];
            r2[k] = -r2[k];
        }
    }

    // Rotation.
    tran[7] = std::asin(ClampUnit(-r0[2]));
    if (std::fabs(std::cos(tran[7])) <= kMatrixEntry) {
        tran[6] = std::atan2(r1[0], r1[1]);
        tran[8] = 0.0;
        if (std::fabs(std::sin(tran[7]) * std::sin(tran[6]) - r1[0]) > kMatrixEntry)
            tran[6] = -tran[6];
    } else {
        tran[6] = std::atan2(r1[2], r2[2]);
        tran[8] = std::atan2(r0[1], r0[0]);
    }
    return true;
}

// ---------------------------------------------------------------- planes and predicates

bool CALC_PLANE_EQUATION(const double* p0, const double* p1, const double* p2, double* plane)
{
    double u[3], v[3], n[3];
    V3Sub(p1, p0, u);
    V3Sub(p2, p0, v);
    V3OrtoVector(u, v, n);
    const double len = V3Length(n);
    if (len >= GTolerance::kZeroLength) {
        for (int k = 0; k < 3; ++k)
            plane[k] = n[k] / len;
        plane[3] = -(plane[0] * p0[0] + plane[1] * p0[1] + plane[2] * p0[2]);
        return true;
    }
    plane[0] = plane[1] = plane[2] = plane[3] = 0.0;
    return false;
}

void V3OrtoVector(const double* a, const double* b, double* out)
{
    const double x = a[1] * b[2] - a[2] * b[1];
    const double y = a[2] * b[0] - a[0] * b[2];
    const double z = a[0] * b[1] - a[1] * b[0];
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

bool M4IsIdentity(const double m[4][4])
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (!(std::fabs(m[r][c] - (r == c ? 1.0 : 0.0)) < GTolerance::kMatrixEntry))
                return false;
    return true;
}

bool M4IsTranslation(const double[4][4]) { return false; }

GMATRIX_TYPE M4GetModelMatrixType(const double[4][4]) { return GMATRIX_GENERAL; }

GMATRIX_TYPE M4GetProjMatrixType(const double[4][4]) { return GMATRIX_GENERAL; }

// ---------------------------------------------------------------- vector helpers

void V3Copy(const double* src, double* dst)
{
    for (int k = 0; k < 3; ++k)
        dst[k] = src[k];
}

void V3Zero(double* v) { v[0] = v[1] = v[2] = 0.0; }

void V3Negate(double* v)
{
    for (int k = 0; k < 3; ++k)
        v[k] = -v[k];
}

void V3Add(const double* a, const double* b, double* out)
{
    for (int k = 0; k < 3; ++k)
        out[k] = a[k] + b[k];
}

void V3Sub(const double* a, const double* b, double* out)
{
    for (int k = 0; k < 3; ++k)
        out[k] = a[k] - b[k];
}

void V3Scale(double* v, double s)
{
    for (int k = 0; k < 3; ++k)
        v[k] *= s;
}

double V3Dot(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

double V3SquaredLength(const double* v) { return V3Dot(v, v); }

double V3Length(const double* v) { return std::sqrt(V3SquaredLength(v)); }

double V3Normalize(double* v)
{
    const double len = V3Length(v);
    if (len > 0.0)
        for (int k = 0; k < 3; ++k)
            v[k] /= len;
    return len;
}

void V3SetLength(double* v, double length)
{
    const double len = V3Length(v);
    if (len > GTolerance::kZeroLength)
        V3Scale(v, length / len);
}

void V4MulPointByMatrix(const double in[4], const double m[4][4], double out[4])
{
    double r[4];
    for (int c = 0; c < 4; ++c)
        r[c] = in[0] * m[0][c] + in[1] * m[1][c] + in[2] * m[2][c] + in[3] * m[3][c];
    for (int c = 0; c < 4; ++c)
        out[c] = r[c];
}

void V3MulPointByMatrix(const double p[3], const double m[4][4], double out[3])
{
    double r[3];
    for (int c = 0; c < 3; ++c)
        r[c] = p[0] * m[0][c] + p[1] * m[1][c] + p[2] * m[2][c] + m[3][c];
    V3Copy(r, out);
}
