#pragma once
// Shared by the orientation and merging tests: volume and area
// oracles, and the check that a pass left no working state behind.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "tests/common/builders.h"
#include "tests/mesh/mesh_check.h"

#include <string>
#include <vector>

namespace orienttest {

using namespace testmesh;

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
