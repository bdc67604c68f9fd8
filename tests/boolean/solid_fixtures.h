#pragma once
// Solids and independent measures for the cutting tests: boxes (optionally
// turned and moved, faces as quads or triangle pairs), facet areas summed
// over a triangulated copy, segment lengths, and a brute-force test of
// whether a facet of one surface crosses a facet of another.

#include "Geometry/boolean/G3Interval.h"
#include "Geometry/boolean/G3IntervalList.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace fixtures {

using P = std::array<double, 3>;
using SurfacePtr = std::unique_ptr<G3Surface>;

inline G3Facet* Face(G3Surface* s, std::vector<G3Vertex*> v)
{
    return s->AddFacet(static_cast<int>(v.size()), v.data(), 1, nullptr, nullptr);
}

// A rigid motion: x' = R x + t.
struct Motion {
    double r[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    P t = {0, 0, 0};
    P Apply(const P& x) const
    {
        P y;
        for (int i = 0; i < 3; ++i)
            y[i] = r[i][0] * x[0] + r[i][1] * x[1] + r[i][2] * x[2] + t[i];
        return y;
    }
    // Rotation by angle a about the unit axis u.
    static Motion Turn(P u, double a, P t)
    {
        Motion m;
        const double c = std::cos(a);
        const double s = std::sin(a);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                m.r[i][j] = (i == j ? c : 0.0) + (1 - c) * u[i] * u[j];
        m.r[0][1] -= s * u[2];
        m.r[0][2] += s * u[1];
        m.r[1][0] += s * u[2];
        m.r[1][2] -= s * u[0];
        m.r[2][0] -= s * u[1];
        m.r[2][1] += s * u[0];
        m.t = t;
        return m;
    }
};

// The box [lo, hi] facing outward, its faces quads or triangle pairs.
inline void AddBox(G3Surface* s, P lo, P hi, bool split = false, const Motion& m = Motion())
{
    G3Vertex* v[8];
    for (int k = 0; k < 8; ++k) {
        const P x = m.Apply({(k & 1) ? hi[0] : lo[0], (k & 2) ? hi[1] : lo[1], (k & 4) ? hi[2] : lo[2]});
        v[k] = s->AddVertex(x[0], x[1], x[2], 0);
    }
    // Bottom, top, front (y = lo), back, left (x = lo), right: counter-
    // clockwise seen from outside.
    const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto& f : faces) {
        if (split) {
            Face(s, {v[f[0]], v[f[1]], v[f[2]]});
            Face(s, {v[f[0]], v[f[2]], v[f[3]]});
        } else {
            Face(s, {v[f[0]], v[f[1]], v[f[2]], v[f[3]]});
        }
    }
    s->FormPlaneEquation();
}

inline SurfacePtr Box(P lo, P hi, bool split = false, const Motion& m = Motion())
{
    SurfacePtr s(new G3Surface());
    AddBox(s.get(), lo, hi, split, m);
    return s;
}

inline double Distance(const double* a, const double* b)
{
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

// Total area of the facets, from a copy with every facet triangulated.
inline double Area(G3Surface* s)
{
    SurfacePtr copy(s->Duplicate());
    copy->Triangulate(4, 0);
    double area = 0.0;
    GArrayCollection* facets = copy->GetFacetList();
    for (int k = 0; k < facets->size(); ++k) {
        G3Facet* f = static_cast<G3Facet*>(facets->get(k));
        G3Vertex* v[3];
        if (f->GetEdgeCount() == 3 && f->GetVertices(v) == 3)
            area += G3Facet::CalcRealSquareOfTriangle(v[0]->GetXYZ(), v[1]->GetXYZ(), v[2]->GetXYZ(), nullptr);
    }
    return area;
}

// Total length of the intervals of a list.
inline double Length(G3IntervalList* l)
{
    double sum = 0.0;
    for (int k = 0; l && k < l->GetIntervalCount(); ++k)
        sum += Distance(l->GetInterval(k)->GetXYZ1(), l->GetInterval(k)->GetXYZ2());
    return sum;
}

// Even-odd test of p in the polygon `poly` projected on (i, j), false when
// p lies within `band` of an edge.
inline bool StrictlyInPolygon(const std::vector<P>& poly, const P& p, int i, int j, double band)
{
    bool in = false;
    const std::size_t n = poly.size();
    for (std::size_t k = 0; k < n; ++k) {
        const P& a = poly[k];
        const P& b = poly[(k + 1) % n];
        const double ex = b[i] - a[i];
        const double ey = b[j] - a[j];
        const double len2 = ex * ex + ey * ey;
        double t = len2 > 0 ? ((p[i] - a[i]) * ex + (p[j] - a[j]) * ey) / len2 : 0.0;
        t = std::fmax(0.0, std::fmin(1.0, t));
        const double dx = p[i] - (a[i] + t * ex);
        const double dy = p[j] - (a[j] + t * ey);
        if (dx * dx + dy * dy < band * band)
            return false;
        if ((a[j] > p[j]) != (b[j] > p[j]) && p[i] < a[i] + (p[j] - a[j]) * ex / ey)
            in = !in;
    }
    return in;
}

// The vertices of a single-contour facet in chain order.
inline std::vector<P> Polygon(G3Facet* f)
{
    std::vector<G3Vertex*> v(static_cast<std::size_t>(f->GetEdgeCount()));
    const int n = f->GetVertices(v.data());
    std::vector<P> out;
    for (int k = 0; k < n; ++k)
        out.push_back({v[k]->GetXYZ()[0], v[k]->GetXYZ()[1], v[k]->GetXYZ()[2]});
    return out;
}

// Whether an edge of facet a passes through the inside of facet b: its ends
// lie more than `band` on either side of b's plane and the crossing lies
// more than `band` inside b's polygon (b a single contour). Two facets that
// cross each other always have such an edge in one of the two directions,
// unless the crossing runs between boundary points of both.
inline bool EdgePierces(G3Facet* a, G3Facet* b, double band)
{
    const std::vector<P> pa = Polygon(a);
    const std::vector<P> pb = Polygon(b);
    if (pb.size() < 3)
        return false;
    // Plane of b by Newell's method.
    double n[3] = {0, 0, 0};
    for (std::size_t k = 0; k < pb.size(); ++k) {
        const P& u = pb[k];
        const P& w = pb[(k + 1) % pb.size()];
        n[0] += (u[1] - w[1]) * (u[2] + w[2]);
        n[1] += (u[2] - w[2]) * (u[0] + w[0]);
        n[2] += (u[0] - w[0]) * (u[1] + w[1]);
    }
    const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (len == 0)
        return false;
    for (double& c : n)
        c /= len;
    const double d = -(n[0] * pb[0][0] + n[1] * pb[0][1] + n[2] * pb[0][2]);
    const int drop = std::fabs(n[0]) >= std::fabs(n[1]) && std::fabs(n[0]) >= std::fabs(n[2])
                         ? 0
                         : (std::fabs(n[1]) >= std::fabs(n[2]) ? 1 : 2);
    const int i = drop == 0 ? 1 : 0;
    const int j = drop == 2 ? 1 : 2;
    for (std::size_t k = 0; k < pa.size(); ++k) {
        const P& p = pa[k];
        const P& q = pa[(k + 1) % pa.size()];
        const double dp = n[0] * p[0] + n[1] * p[1] + n[2] * p[2] + d;
        const double dq = n[0] * q[0] + n[1] * q[1] + n[2] * q[2] + d;
        if (!((dp > band && dq < -band) || (dp < -band && dq > band)))
            continue;
        const double t = dp / (dp - dq);
        const P x = {p[0] + t * (q[0] - p[0]), p[1] + t * (q[1] - p[1]), p[2] + t * (q[2] - p[2])};
        if (StrictlyInPolygon(pb, x, i, j, band))
            return true;
    }
    return false;
}

// The first pair (facet of a, facet of b) where one pierces the other, as
// "a:<id> b:<id>", or "" when no facet of a crosses one of b. With a == b,
// pairs of one surface (a facet never with itself).
inline std::string FirstCrossing(G3Surface* a, G3Surface* b, double band)
{
    GArrayCollection* fa = a->GetFacetList();
    GArrayCollection* fb = b->GetFacetList();
    for (int x = 0; x < fa->size(); ++x)
        for (int y = 0; y < fb->size(); ++y) {
            G3Facet* f = static_cast<G3Facet*>(fa->get(x));
            G3Facet* g = static_cast<G3Facet*>(fb->get(y));
            if (f != g && (EdgePierces(f, g, band) || EdgePierces(g, f, band)))
                return "a:" + std::to_string(x) + " b:" + std::to_string(y);
        }
    return "";
}

} // namespace fixtures
