#pragma once
// Small surfaces that many tests start from: facets through vertex ids or
// through new vertices (a soup), axis-aligned boxes, and the unit square
// with a point above it. Everything is built through G3Surface's own calls,
// so the entities come from their pools. Also a facet's material, the
// corner walk and the triangle-area sum.

#include "Geometry/mesh/CExData.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace testmesh {

struct SurfaceDeleter {
    void operator()(G3Surface* s) const { delete s; }
};
using SurfacePtr = std::unique_ptr<G3Surface, SurfaceDeleter>;
using Vd = std::vector<double>;
using Vi = std::vector<int>;
using P3 = std::array<double, 3>;

inline Vd Xyz(const G3Point* p) { return Vd(p->GetXYZ(), p->GetXYZ() + 3); }

// A facet through the vertices with these ids, flags shared by every edge.
inline G3Facet* FacetByIds(G3Surface& s, std::vector<int> ids, int flags = 1)
{
    return s.AddFacet(static_cast<int>(ids.size()), ids.data(), flags, nullptr, nullptr);
}

// A facet whose corners are new vertices at pts (as a file reader leaves a
// polygon soup).
inline G3Facet* SoupFacet(G3Surface& s, const std::vector<P3>& pts)
{
    std::vector<G3Vertex*> v;
    for (const P3& p : pts)
        v.push_back(s.AddVertex(p[0], p[1], p[2], 0));
    return s.AddFacet(static_cast<int>(v.size()), v.data(), 1, nullptr, nullptr);
}

// The eight corners of the box lo..hi as new vertices: corner i takes x
// from bit 0, y from bit 1 and z from bit 2 (hi where the bit is set).
inline std::vector<G3Vertex*> AddBoxCorners(G3Surface& s, const P3& lo, const P3& hi)
{
    std::vector<G3Vertex*> v;
    for (int k = 0; k < 8; ++k)
        v.push_back(s.AddVertex((k & 1) ? hi[0] : lo[0], (k & 2) ? hi[1] : lo[1], (k & 4) ? hi[2] : lo[2], 0));
    return v;
}

// The box lo..hi with corners of its own, faces counter-clockwise seen from
// outside (from inside with `inward`), in the order bottom, top, front,
// back, left, right; each face a quad, or the two triangles a-b-c and a-c-d
// with `split`. Returns the facets made.
inline std::vector<G3Facet*> AddBox(G3Surface& s, const P3& lo, const P3& hi, bool split = false,
                                    bool inward = false)
{
    const std::vector<G3Vertex*> v = AddBoxCorners(s, lo, hi);
    const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    std::vector<G3Facet*> out;
    for (const auto& f : faces) {
        G3Vertex* q[4] = {v[f[0]], v[f[1]], v[f[2]], v[f[3]]};
        if (inward)
            std::swap(q[1], q[3]);
        if (split) {
            G3Vertex* t1[3] = {q[0], q[1], q[2]};
            G3Vertex* t2[3] = {q[0], q[2], q[3]};
            out.push_back(s.AddFacet(3, t1, 1, nullptr, nullptr));
            out.push_back(s.AddFacet(3, t2, 1, nullptr, nullptr));
        } else {
            out.push_back(s.AddFacet(4, q, 1, nullptr, nullptr));
        }
    }
    return out;
}

// The unit square's corners 0..3 (z = 0) and a point 4 above its centre.
inline SurfacePtr SquareAndApex()
{
    SurfacePtr s(new G3Surface());
    const double pts[5][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.5, 0.5, 1}};
    for (const auto& p : pts)
        s->AddVertex(p[0], p[1], p[2], 0);
    return s;
}

// The material index a host keeps in a facet's extended data.
const char* const kMaterial = "ZUNO_G3FACE_MATERIAL_INDEX";

inline std::intptr_t Material(const G3Facet* f)
{
    return reinterpret_cast<std::intptr_t>(const_cast<G3Facet*>(f)->GetExtendedData().GetData(kMaterial));
}

// Gives f a map of its own (facets added with one default share its map)
// holding material v.
inline void SetMaterial(G3Facet* f, std::intptr_t v)
{
    f->GetExtendedData() = CExData();
    f->GetExtendedData().Add(kMaterial, reinterpret_cast<void*>(v));
}

// f's corners in the order its vertex walk yields them.
inline std::vector<G3Vertex*> Corners(G3Facet* f)
{
    std::vector<G3Vertex*> out;
    G3FacetVertexIterator it(f);
    while (it.hasNext())
        out.push_back(it.NextVertex());
    return out;
}

// The summed area of the surface's facets, all of which must be triangles;
// -1 when one is not.
inline double TrianglesArea(G3Surface& s)
{
    double sum = 0.0;
    for (int k = 0; k < s.GetFacetCount(); ++k) {
        const std::vector<G3Vertex*> c = Corners(s.GetFacet(k));
        if (c.size() != 3)
            return -1.0;
        sum += G3Facet::CalcRealSquareOfTriangle(c[0]->GetXYZ(), c[1]->GetXYZ(), c[2]->GetXYZ(), nullptr);
    }
    return sum;
}

} // namespace testmesh
