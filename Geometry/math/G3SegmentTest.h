#pragma once
// Planar segment and line tests on the x and y of their points (z is
// ignored). Shared by the roof sweep, the hole maker and the terrain code.

#include "Geometry/math/G3Math.h"

// PtOnSegment on the x and y of the three points; inline for the roof
// sweep's contact and split tests.
inline bool G3PtOnSegmentXY(const double* p, const double* a, const double* b)
{
    const double p2[3] = {p[0], p[1], 0.0};
    const double a2[3] = {a[0], a[1], 0.0};
    const double b2[3] = {b[0], b[1], 0.0};
    return PtOnSegment(p2, a2, b2);
}

// True when a or b lies on c-d, or c or d lies on a-b (PtOnSegment), or the
// two segments cross with both line parameters strictly inside
// (kSegmentEnd, 1 - kSegmentEnd). False for parallel segments that do not
// touch (|det| below kLineParallel).
bool G3SegmentTest(const double* a, const double* b, const double* c, const double* d);

// The lines a-b and c-d meet: true with *t along a->b and *s along c->d
// (either may be null) when the determinant of the unnormalised direction
// vectors is at least kLineParallel in magnitude; false (t, s untouched)
// for parallel or degenerate lines.
bool G3LineTest(const double* a, const double* b, const double* c, const double* d, double* t, double* s);
