// Vertex slopes from the facet planes around a vertex. Invariants: reads
// the ring only, changes nothing. The one place it rounds is the division
// by S's height component, skipped below kZeroNormal (a vertex among
// vertical facets has no finite slope and gets slope 0).

#include "Geometry/terrain/G3LandscapeSlopes.h"

#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Vertex.h"

#include <cmath>
#include <vector>

double G3VertexSlope::SlopeX() const
{
    return std::fabs(sum[2]) < GTolerance::kZeroNormal ? 0.0 : -sum[0] / sum[2];
}

double G3VertexSlope::SlopeY() const
{
    return std::fabs(sum[2]) < GTolerance::kZeroNormal ? 0.0 : -sum[1] / sum[2];
}

G3VertexSlope G3ComputeVertexSlope(G3Vertex* v)
{
    G3VertexSlope s;
    if (v == nullptr)
        return s;
    // Ring degrees are small: a linear search keeps the facets distinct.
    std::vector<const G3Facet*> seen;
    G3VertexEdgeIterator it(v);
    while (it.hasNext()) {
        const G3Edge* e = static_cast<const G3Edge*>(it.next());
        if (e == nullptr)
            continue;
        const G3Facet* sides[2] = {e->GetFacet1(), e->GetFacet2()};
        if (sides[0] == nullptr || sides[1] == nullptr)
            ++s.borderEdges;
        for (const G3Facet* f : sides) {
            if (f == nullptr)
                continue;
            bool known = false;
            for (const G3Facet* g : seen)
                known = known || g == f;
            if (known)
                continue;
            seen.push_back(f);
            const double* p = f->GetPlane();
            const double len = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
            if (!(len >= GTolerance::kZeroNormal))
                continue;
            for (int k = 0; k < 3; ++k)
                s.sum[k] += p[k] / len;
            ++s.facets;
        }
    }
    return s;
}
