#pragma once
// Common points of roof planes (a, b, c, d with a x + b y + c z + d = 0),
// by Cramer's rule; no point when the determinant is below kZeroNormal. The
// only rounding is the division by the determinant. Inline: every level of
// the sweep asks them for each of its vertices.

#include "Geometry/math/GMatrix.h"
#include "Geometry/math/GTolerance.h"

#include <cmath>

// The common point of three planes.
inline bool G3RoofPlanesPoint(const double* p1, const double* p2, const double* p3, double* out)
{
    // Columns of the system matrix are the x, y and z coefficients.
    const double det = Det3x3(p1[0], p2[0], p3[0], p1[1], p2[1], p3[1], p1[2], p2[2], p3[2]);
    if (!(std::fabs(det) >= GTolerance::kZeroNormal))
        return false;
    const double r1 = -p1[3], r2 = -p2[3], r3 = -p3[3];
    out[0] = Det3x3(r1, r2, r3, p1[1], p2[1], p3[1], p1[2], p2[2], p3[2]) / det;
    out[1] = Det3x3(p1[0], p2[0], p3[0], r1, r2, r3, p1[2], p2[2], p3[2]) / det;
    out[2] = Det3x3(p1[0], p2[0], p3[0], p1[1], p2[1], p3[1], r1, r2, r3) / det;
    return std::isfinite(out[0]) && std::isfinite(out[1]) && std::isfinite(out[2]);
}

// The common point of two planes and the horizontal plane z = h.
inline bool G3RoofLevelPoint(const double* p1, const double* p2, double h, double* out)
{
    const double det = Det2x2(p1[0], p1[1], p2[0], p2[1]);
    if (!(std::fabs(det) >= GTolerance::kZeroNormal))
        return false;
    const double r1 = -p1[3] - p1[2] * h, r2 = -p2[3] - p2[2] * h;
    out[0] = Det2x2(r1, p1[1], r2, p2[1]) / det;
    out[1] = Det2x2(p1[0], r1, p2[0], r2) / det;
    out[2] = h;
    return std::isfinite(out[0]) && std::isfinite(out[1]);
}
