#pragma once
// Common points of roof planes (a, b, c, d with a x + b y + c z + d = 0),
// by Cramer's rule; no point when the determinant is below kZeroNormal.

// The common point of three planes.
bool G3RoofPlanesPoint(const double* p1, const double* p2, const double* p3, double* out);
// The common point of two planes and the horizontal plane z = h.
bool G3RoofLevelPoint(const double* p1, const double* p2, double h, double* out);
