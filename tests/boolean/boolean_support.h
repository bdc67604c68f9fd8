#pragma once
// Solids and oracles for the boolean tests: boxes (optionally turned about
// an axis), UV spheres with shared vertices, and measures computed apart
// from the kernel's own helpers (volume by the divergence theorem, facet
// areas, genus of a triangulated copy).

#include "processing/orient_merge_support.h"

#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <cmath>
#include <memory>

namespace booltest {

constexpr double kPi = 3.14159265358979323846;

// Points of a box (x0..x1, y0..y1, z0..z1), turned by `angle` about the z
// axis through (cx, cy), facing out.
inline G3Surface* TurnedBox(double x0, double y0, double z0, double x1, double y1, double z1, double angle,
                            double cx, double cy)
{
    G3Surface* s = new G3Surface();
    const double c = std::cos(angle);
    const double sn = std::sin(angle);
    for (int i = 0; i < 8; ++i) {
        const double x = (i & 1 ? x1 : x0) - cx;
        const double y = (i & 2 ? y1 : y0) - cy;
        s->AddVertex(cx + c * x - sn * y, cy + sn * x + c * y, i & 4 ? z1 : z0, 0);
    }
    const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto& f : faces)
        orienttest::Facet(*s, {f[0], f[1], f[2], f[3]});
    s->FormPlaneEquation();
    return s;
}

inline G3Surface* Box(double x0, double y0, double z0, double x1, double y1, double z1)
{
    return TurnedBox(x0, y0, z0, x1, y1, z1, 0.0, 0.0, 0.0);
}

// A UV sphere: `stacks` rings from pole to pole, `slices` meridians, the
// quads split into triangles (2 * slices * (stacks - 1) triangles).
inline G3Surface* Sphere(double cx, double cy, double cz, double r, int stacks, int slices)
{
    G3Surface* s = new G3Surface();
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
        orienttest::Facet(*s, {0, at(1, j), at(1, j + 1)});
        for (int i = 1; i + 1 < stacks; ++i) {
            orienttest::Facet(*s, {at(i, j), at(i + 1, j), at(i + 1, j + 1)});
            orienttest::Facet(*s, {at(i, j), at(i + 1, j + 1), at(i, j + 1)});
        }
        orienttest::Facet(*s, {at(stacks - 1, j), south, at(stacks - 1, j + 1)});
    }
    s->FormPlaneEquation();
    return s;
}

inline double Volume(G3Surface* s) { return s ? orienttest::SignedVolume(*s) : 0.0; }

inline double FacetArea(G3Facet* f)
{
    double a[3];
    orienttest::VectorArea(f, a);
    return std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
}

inline double SmallestFacetArea(G3Surface* s)
{
    double smallest = HUGE_VAL;
    for (int i = 0; i < s->GetFacetCount(); ++i)
        smallest = std::fmin(smallest, FacetArea(s->GetFacet(i)));
    return smallest;
}

// Genus of a closed connected surface, from a triangulated copy (facets
// with holes would otherwise need their inner contours counted).
inline int Genus(G3Surface* s)
{
    std::unique_ptr<G3Surface> t(s->Duplicate());
    t->Triangulate(4, 0);
    const int chi = t->GetVertexCount() - t->GetEdgeCount() + t->GetFacetCount();
    return (2 - chi) / 2;
}

// The box of the surface's vertices.
inline void Bounds(G3Surface* s, double* lo, double* hi)
{
    for (int k = 0; k < 3; ++k) {
        lo[k] = HUGE_VAL;
        hi[k] = -HUGE_VAL;
    }
    for (int i = 0; i < s->GetVertexCount(); ++i) {
        const double* p = s->GetVertex(i)->GetXYZ();
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::fmin(lo[k], p[k]);
            hi[k] = std::fmax(hi[k], p[k]);
        }
    }
}

}  // namespace booltest
