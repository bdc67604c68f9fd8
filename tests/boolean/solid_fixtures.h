#pragma once
// Solids and independent measures for the boolean tests: boxes (optionally
// turned and moved, faces as quads or triangle pairs), UV spheres with
// shared vertices, volume by the divergence theorem, facet areas, genus of
// a triangulated copy, segment lengths, and a brute-force test of whether a
// facet of one surface crosses a facet of another.

#include "common/builders.h"
#include "common/plane2d.h"
#include "common/slow_build.h"

#include "Geometry/boolean/G3Interval.h"
#include "Geometry/boolean/G3IntervalList.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace fixtures {

using testbuild::kSlowBuild;

using P = std::array<double, 3>;
using SurfacePtr = std::unique_ptr<G3Surface>;
constexpr double kPi = 3.14159265358979323846;

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

// The box [lo, hi] moved by m, faces as testmesh::AddBox makes them
// (bottom, top, front, back, left, right; quads or triangle pairs).
inline void AddBox(
    G3Surface* s, P lo, P hi, bool split = false, const Motion& m = Motion(), bool inward = false)
{
    const int first = s->GetVertexCount();
    testmesh::AddBox(*s, lo, hi, split, inward);
    for (int k = first; k < s->GetVertexCount(); ++k) {
        double* x = s->GetVertex(k)->GetXYZ();
        const P y = m.Apply({x[0], x[1], x[2]});
        for (int d = 0; d < 3; ++d)
            x[d] = y[d];
    }
    s->FormPlaneEquation();
}

inline SurfacePtr Box(P lo, P hi, bool split = false, const Motion& m = Motion())
{
    SurfacePtr s(new G3Surface());
    AddBox(s.get(), lo, hi, split, m);
    return s;
}

// A UV sphere: `stacks` rings from pole to pole, `slices` meridians, the
// quads split into triangles (2 * slices * (stacks - 1) triangles).
inline SurfacePtr Sphere(double cx, double cy, double cz, double r, int stacks, int slices)
{
    SurfacePtr s(new G3Surface());
    s->AddVertex(cx, cy, cz + r, 0);
    for (int i = 1; i < stacks; ++i)
        for (int j = 0; j < slices; ++j) {
            const double t = kPi * i / stacks;
            const double p = 2.0 * kPi * j / slices;
            s->AddVertex(cx + r * std::sin(t) * std::cos(p), cy + r * std::sin(t) * std::sin(p),
                         cz + r * std::cos(t), 0);
        }
    const int south = s->GetVertexCount();
    s->AddVertex(cx, cy, cz - r, 0);
    auto at = [&](int i, int j) { return 1 + (i - 1) * slices + (j % slices); };
    for (int j = 0; j < slices; ++j) {
        testmesh::FacetByIds(*s, {0, at(1, j), at(1, j + 1)});
        for (int i = 1; i + 1 < stacks; ++i) {
            testmesh::FacetByIds(*s, {at(i, j), at(i + 1, j), at(i + 1, j + 1)});
            testmesh::FacetByIds(*s, {at(i, j), at(i + 1, j + 1), at(i, j + 1)});
        }
        testmesh::FacetByIds(*s, {at(stacks - 1, j), south, at(stacks - 1, j + 1)});
    }
    s->FormPlaneEquation();
    return s;
}

inline double Distance(const double* a, const double* b)
{
    return std::sqrt(
        (a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

// The facet's vector area taken about `o`, every contour closed on its own
// (holes run the other way and subtract); `cone` gets the signed volume of
// the cone from o over the facet.
inline P VectorArea(G3Facet* f, const double* o, double* cone = nullptr)
{
    P a = {0, 0, 0};
    std::vector<P> c;
    auto close = [&]() {
        for (std::size_t k = 0; k < c.size(); ++k) {
            const P& p = c[k];
            const P& q = c[(k + 1) % c.size()];
            a = {a[0] + 0.5 * (p[1] * q[2] - p[2] * q[1]), a[1] + 0.5 * (p[2] * q[0] - p[0] * q[2]),
                 a[2] + 0.5 * (p[0] * q[1] - p[1] * q[0])};
        }
        c.clear();
    };
    G3ContourWalker w(f);
    while (w.Next()) {
        if (w.Opens())
            close();
        const double* x = w.GetEntry()->GetXYZ();
        c.push_back({x[0] - o[0], x[1] - o[1], x[2] - o[2]});
    }
    close();
    if (cone) {
        const double* p = f->GetFirstEdge()->GetVertex1()->GetXYZ();
        *cone = (a[0] * (p[0] - o[0]) + a[1] * (p[1] - o[1]) + a[2] * (p[2] - o[2])) / 3.0;
    }
    return a;
}

// Signed volume the facets enclose (positive facing out); 0 for null.
inline double Volume(G3Surface* s)
{
    double v = 0.0;
    for (int k = 0; s && k < s->GetFacetCount(); ++k) {
        double cone = 0.0;
        VectorArea(s->GetFacet(k), s->GetVertex(0)->GetXYZ(), &cone);
        v += cone;
    }
    return v;
}

inline double FacetArea(G3Surface* s, int k)
{
    const P a = VectorArea(s->GetFacet(k), s->GetVertex(0)->GetXYZ());
    return std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
}

inline double SmallestFacetArea(G3Surface* s)
{
    double smallest = HUGE_VAL;
    for (int k = 0; k < s->GetFacetCount(); ++k)
        smallest = std::fmin(smallest, FacetArea(s, k));
    return smallest;
}

// Total area of the facets (each planar, its holes subtracted).
inline double Area(G3Surface* s)
{
    double area = 0.0;
    for (int k = 0; k < s->GetFacetCount(); ++k)
        area += FacetArea(s, k);
    return area;
}

// Genus of a closed connected surface, from a triangulated copy (facets
// with holes would otherwise need their inner contours counted).
inline int Genus(G3Surface* s)
{
    SurfacePtr t(s->Duplicate());
    t->Triangulate(4, 0);
    return (2 - (t->GetVertexCount() - t->GetEdgeCount() + t->GetFacetCount())) / 2;
}

// Total length of the intervals of a list.
inline double Length(G3IntervalList* l)
{
    double sum = 0.0;
    for (int k = 0; l && k < l->GetIntervalCount(); ++k)
        sum += Distance(l->GetInterval(k)->GetXYZ1(), l->GetInterval(k)->GetXYZ2());
    return sum;
}

// Whether an edge of facet a passes through the inside of facet b: its ends
// lie more than `band` on either side of b's plane and the crossing lies
// inside b's polygon, more than `band` from its edges (b a single contour).
// Two facets that cross each other always have such an edge in one of the
// two directions, unless the crossing runs between boundary points of both.
inline bool EdgePierces(G3Facet* a, G3Facet* b, double band)
{
    const std::vector<G3Vertex*> pa = testmesh::Corners(a);
    const std::vector<G3Vertex*> pb = testmesh::Corners(b);
    if (pb.size() < 3)
        return false;
    const double* o = pb[0]->GetXYZ();
    const P m = VectorArea(b, o);
    const double len = std::sqrt(m[0] * m[0] + m[1] * m[1] + m[2] * m[2]);
    if (len == 0)
        return false;
    const P n = {m[0] / len, m[1] / len, m[2] / len};
    // b's polygon projected on the plane of the two axes its normal leans
    // least on.
    const int drop = std::fabs(n[0]) >= std::fabs(n[1]) && std::fabs(n[0]) >= std::fabs(n[2])
                         ? 0
                         : (std::fabs(n[1]) >= std::fabs(n[2]) ? 1 : 2);
    const int i = drop == 0 ? 1 : 0;
    const int j = drop == 2 ? 1 : 2;
    plane2d::Ring ring;
    for (G3Vertex* v : pb)
        ring.push_back({v->GetXYZ()[i], v->GetXYZ()[j]});
    auto side = [&](const double* p) {
        return n[0] * (p[0] - o[0]) + n[1] * (p[1] - o[1]) + n[2] * (p[2] - o[2]);
    };
    for (std::size_t k = 0; k < pa.size(); ++k) {
        const double* p = pa[k]->GetXYZ();
        const double* q = pa[(k + 1) % pa.size()]->GetXYZ();
        const double dp = side(p);
        const double dq = side(q);
        if (!((dp > band && dq < -band) || (dp < -band && dq > band)))
            continue;
        const double t = dp / (dp - dq);
        const plane2d::P2 x = {p[i] + t * (q[i] - p[i]), p[j] + t * (q[j] - p[j])};
        bool clear = true;
        for (std::size_t e = 0; e < ring.size(); ++e)
            clear = clear && plane2d::DistanceToSegment(x, ring[e], ring[(e + 1) % ring.size()]) >= band;
        if (clear && plane2d::InsideEvenOdd({ring}, x))
            return true;
    }
    return false;
}

// The first pair (facet of a, facet of b) where one pierces the other, as
// "a:<id> b:<id>", or "" when no facet of a crosses one of b. With a == b,
// pairs of one surface (a facet never with itself).
inline std::string FirstCrossing(G3Surface* a, G3Surface* b, double band)
{
    for (int x = 0; x < a->GetFacetCount(); ++x)
        for (int y = 0; y < b->GetFacetCount(); ++y) {
            G3Facet* f = a->GetFacet(x);
            G3Facet* g = b->GetFacet(y);
            if (f != g && (EdgePierces(f, g, band) || EdgePierces(g, f, band)))
                return "a:" + std::to_string(x) + " b:" + std::to_string(y);
        }
    return "";
}

} // namespace fixtures
