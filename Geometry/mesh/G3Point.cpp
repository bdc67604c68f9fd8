#include "Geometry/mesh/G3Point.h"

#include "Geometry/math/GTolerance.h"

#include <cmath>

G_DEFINE_POOL(G3Point, "G3Point", 65536)

double G3Point::Sanitize(double v)
{
    // Neither below nor above +inf: +inf itself, or NaN.
    if (!(v < HUGE_VAL) && !(v > HUGE_VAL))
        return 0.0;
    return v;
}

G3Point::G3Point(const double* p, unsigned long t) : G3Obj(t)
{
    xyz[0] = Sanitize(p[0]);
    xyz[1] = Sanitize(p[1]);
    xyz[2] = Sanitize(p[2]);
}

G3Point::G3Point(double x, double y, double z, unsigned long t) : G3Obj(t)
{
    xyz[0] = Sanitize(x);
    xyz[1] = Sanitize(y);
    xyz[2] = Sanitize(z);
}

void G3Point::Copy(G3Obj* source)
{
    G3Obj::Copy(source);
    const G3Point* p = dynamic_cast<const G3Point*>(source);
    if (p && p != this)
        Set(p->xyz);
}

bool G3Point::Equals(const double* a, const double* b, double tolerance)
{
    const double dx = a[0] - b[0];
    const double dy = a[1] - b[1];
    const double dz = a[2] - b[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz) < tolerance;
}

bool G3Point::Equals(const double* a, const double* b) { return Equals(a, b, GTolerance::kPointEqual); }

bool G3Point::Equals(const double* p, double tolerance) const { return Equals(xyz, p, tolerance); }

bool G3Point::Equals(const double* p) const { return Equals(xyz, p, GTolerance::kPointEqual); }

bool G3Point::Equals(const GObj* other, double tolerance) const
{
    const G3Point* p = dynamic_cast<const G3Point*>(other);
    return p != nullptr && Equals(xyz, p->xyz, tolerance);
}

bool G3Point::Equals(const GObj* other) const { return Equals(other, GTolerance::kPointEqual); }

void G3Normal::RealTransformation(double m[4][4])
{
    const double x = xyz[0], y = xyz[1], z = xyz[2];
    xyz[0] = x * m[0][0] + y * m[1][0] + z * m[2][0];
    xyz[1] = x * m[0][1] + y * m[1][1] + z * m[2][1];
    xyz[2] = x * m[0][2] + y * m[1][2] + z * m[2][2];
}
