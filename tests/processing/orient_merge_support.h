#pragma once
// Shared by the orientation and merging tests: boxes, volume and area
// oracles, and the check that a pass left no working state behind.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "tests/mesh/mesh_check.h"

#include <string>
#include <vector>

namespace orienttest {

inline G3Facet* Facet(G3Surface& s, std::vector<int> ids, int flags = 1)
{
    return s.AddFacet(static_cast<int>(ids.size()), ids.data(), flags, nullptr, nullptr);
}

// An axis-aligned box from (x0, y0, z0) to (x1, y1, z1), faces outward;
// returns its six facets (bottom, top, front, back, left, right).
inline std::vector<G3Facet*> Box(G3Surface& s, double x0, double y0, double z0, double x1, double y1, double z1)
{
    const int base = s.GetVertexCount();
    for (int i = 0; i < 8; ++i)
        s.AddVertex(i & 1 ? x1 : x0, i & 2 ? y1 : y0, i & 4 ? z1 : z0, 0);
    const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    std::vector<G3Facet*> out;
    for (const auto& f : faces)
        out.push_back(Facet(s, {base + f[0], base + f[1], base + f[2], base + f[3]}));
    return out;
}

// The facet's vector area (half the sum of corner cross products), every
// contour closed on its own: holes, run the other way, subtract.
inline void VectorArea(G3Facet* f, double* out)
{
    out[0] = out[1] = out[2] = 0.0;
    std::vector<std::vector<const double*>> contours;
    G3ContourWalker w(f);
    while (w.Next()) {
        if (w.Opens())
            contours.emplace_back();
        contours.back().push_back(w.GetEntry()->GetXYZ());
    }
    for (const auto& c : contours) {
        for (std::size_t k = 0; k < c.size(); ++k) {
            const double* p = c[k];
            const double* q = c[(k + 1) % c.size()];
            out[0] += 0.5 * (p[1] * q[2] - p[2] * q[1]);
            out[1] += 0.5 * (p[2] * q[0] - p[0] * q[2]);
            out[2] += 0.5 * (p[0] * q[1] - p[1] * q[0]);
        }
    }
}

// Signed volume enclosed by the facets as their chains run (positive when
// they face outward): the divergence theorem over each facet's vector area
// and any point of it.
inline double SignedVolume(G3Surface& s)
{
    double v = 0.0;
    for (int k = 0; k < s.GetFacetCount(); ++k) {
        G3Facet* f = s.GetFacet(k);
        double a[3];
        VectorArea(f, a);
        const double* p = f->GetFirstEdge()->GetVertex1()->GetXYZ();
        v += (a[0] * p[0] + a[1] * p[1] + a[2] * p[2]) / 3.0;
    }
    return v;
}

// "" or what working state a pass left: a mark bit or a scratch link.
inline std::string LeftState(G3Surface& s)
{
    const long marks = G3Obj::FLAG_MARK | G3Obj::FLAG_MARK2 | G3Obj::FLAG_MARK3;
    for (int k = 0; k < s.GetFacetCount(); ++k)
        if ((s.GetFacet(k)->GetFlags() & marks) || s.GetFacet(k)->GetExData())
            return "facet " + std::to_string(k);
    for (int k = 0; k < s.GetEdgeCount(); ++k)
        if ((s.GetEdge(k)->GetFlags() & marks) || s.GetEdge(k)->GetExData())
            return "edge " + std::to_string(k);
    for (int k = 0; k < s.GetVertexCount(); ++k)
        if ((s.GetVertex(k)->GetFlags() & marks) || s.GetVertex(k)->GetExData())
            return "vertex " + std::to_string(k);
    return "";
}

} // namespace orienttest
