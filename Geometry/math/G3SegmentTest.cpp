// Planar segment and line tests. They read x and y only and round nowhere
// but in the crossing parameters; the parallel test compares the raw
// determinant, so it is not scale-free (long segments at a small angle
// still count as crossing).
#include "Geometry/math/G3SegmentTest.h"

#include "Geometry/math/G3Math.h"
#include "Geometry/math/GMatrix.h"
#include "Geometry/math/GTolerance.h"

#include <cmath>

bool G3LineTest(const double* a, const double* b, const double* c, const double* d, double* t, double* s)
{
    const double ux = b[0] - a[0], uy = b[1] - a[1];
    const double vx = d[0] - c[0], vy = d[1] - c[1];
    const double den = Det2x2(ux, uy, vx, vy);
    if (!(std::fabs(den) >= GTolerance::kLineParallel))
        return false;
    const double wx = c[0] - a[0], wy = c[1] - a[1];
    if (t)
        *t = Det2x2(wx, wy, vx, vy) / den;
    if (s)
        *s = Det2x2(wx, wy, ux, uy) / den;
    return true;
}

bool G3SegmentTest(const double* a, const double* b, const double* c, const double* d)
{
    if (G3PtOnSegmentXY(a, c, d) || G3PtOnSegmentXY(b, c, d) || G3PtOnSegmentXY(c, a, b) || G3PtOnSegmentXY(d, a, b))
        return true;
    double t = 0.0, s = 0.0;
    if (!G3LineTest(a, b, c, d, &t, &s))
        return false;
    const double lo = GTolerance::kSegmentEnd, hi = 1.0 - GTolerance::kSegmentEnd;
    return t > lo && t < hi && s > lo && s < hi;
}
