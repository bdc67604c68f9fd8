#include "Geometry/mesh/G3TexCoo.h"

#include "Geometry/mesh/G3Point.h"

#include <cmath>

G_DEFINE_POOL(G3TexCoo, "G3TexCoo", 65536)

G3TexCoo::G3TexCoo(const double* p)
{
    uv[0] = G3Point::Sanitize(p[0]);
    uv[1] = G3Point::Sanitize(p[1]);
}

G3TexCoo::G3TexCoo(double u, double v)
{
    uv[0] = G3Point::Sanitize(u);
    uv[1] = G3Point::Sanitize(v);
}

void G3TexCoo::Copy(G3Obj* source)
{
    G3Obj::Copy(source);
    const G3TexCoo* t = dynamic_cast<const G3TexCoo*>(source);
    if (t && t != this)
        Set(t->uv);
}

bool G3TexCoo::Equals(const G3TexCoo* other, double tolerance) const
{
    if (!other)
        return false;
    const double du = uv[0] - other->uv[0];
    const double dv = uv[1] - other->uv[1];
    return std::sqrt(du * du + dv * dv) < tolerance;
}
