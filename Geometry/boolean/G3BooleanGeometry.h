#pragma once
// Small geometric helpers the boolean engine's files share.

#include "Geometry/math/GTolerance.h"

#include <cmath>

namespace G3BooleanGeometry {

// A point that is given and has three finite coordinates.
inline bool Finite3(const double* p)
{
    return p && std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

// a x + b y + c z + d of the plane (a, b, c, d) at p.
inline double PlaneValue(const double* plane, const double* p)
{
    return plane[0] * p[0] + plane[1] * p[1] + plane[2] * p[2] + plane[3];
}

// The side of a plane a signed distance puts a point on: 0 within the side
// band, else +1 or -1.
inline int PlaneSide(double s) { return std::fabs(s) < GTolerance::kPlaneSide ? 0 : (s >= 0.0 ? 1 : -1); }

} // namespace G3BooleanGeometry
