// Geometric questions asked of edges and of pairs of edges meeting at a
// vertex.

#include "Geometry/mesh/G3Edge.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Vertex.h"

#include <cmath>

bool G3Edge::GetTriangleVertex(const G3Edge* e1, const G3Edge* e2, G3Vertex** a, G3Vertex** shared,
                               G3Vertex** c)
{
    G3Vertex* ra = nullptr;
    G3Vertex* rs = nullptr;
    G3Vertex* rc = nullptr;
    if (e1 && e2) {
        G3Vertex* const ends1[2] = {e1->vertex1, e1->vertex2};
        G3Vertex* const ends2[2] = {e2->vertex1, e2->vertex2};
        for (int k = 0; k < 4 && !rs; ++k) {
            G3Vertex* v1 = ends1[k / 2];
            G3Vertex* v2 = ends2[k % 2];
            if (v1 && v1 == v2) {
                rs = v1;
                ra = ends1[1 - k / 2];
                rc = ends2[1 - k % 2];
            }
        }
    }
    if (a)
        *a = ra;
    if (shared)
        *shared = rs;
    if (c)
        *c = rc;
    return rs != nullptr;
}

double G3Edge::GetCosAngle(const G3Edge* e1, const G3Edge* e2)
{
    G3Vertex* a = nullptr;
    G3Vertex* s = nullptr;
    G3Vertex* c = nullptr;
    if (!GetTriangleVertex(e1, e2, &a, &s, &c) || !a || !c)
        return 0.0;
    const double* ps = s->GetXYZ();
    const double u[3] = {a->GetX() - ps[0], a->GetY() - ps[1], a->GetZ() - ps[2]};
    const double v[3] = {c->GetX() - ps[0], c->GetY() - ps[1], c->GetZ() - ps[2]};
    const double lengths = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]) *
                           std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (!(lengths >= GTolerance::kZeroNormal))
        return 0.0;
    return (u[0] * v[0] + u[1] * v[1] + u[2] * v[2]) / lengths;
}

double G3Edge::CalcRealSquareOfTriangle(const G3Edge* e1, const G3Edge* e2)
{
    G3Vertex* a = nullptr;
    G3Vertex* s = nullptr;
    G3Vertex* c = nullptr;
    if (!GetTriangleVertex(e1, e2, &a, &s, &c) || !a || !c)
        return 0.0;
    return G3Facet::CalcRealSquareOfTriangle(a->GetXYZ(), s->GetXYZ(), c->GetXYZ(), nullptr);
}

bool G3Edge::FindProjection(const double* p, double* foot, double* t) const
{
    if (!p || !vertex1 || !vertex2)
        return false;
    const double* a = vertex1->GetXYZ();
    const double* b = vertex2->GetXYZ();
    double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const double length = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    // A shorter edge keeps its raw direction: dividing by a length near zero
    // would only amplify rounding.
    if (length > GTolerance::kZeroLength)
        for (double& x : u)
            x /= length;
    const double s = (p[0] - a[0]) * u[0] + (p[1] - a[1]) * u[1] + (p[2] - a[2]) * u[2];
    if (t)
        *t = s;
    if (foot)
        for (int k = 0; k < 3; ++k)
            foot[k] = a[k] + s * u[k];
    return s >= -GTolerance::kPlaneSide && s <= length + GTolerance::kPlaneSide;
}
