// Facets lying on one another: their normals agree within kPlaneEqual
// (either way round) and an inner point of one lies within kPlaneSide of
// the other's plane and inside it, clear of its boundary (kInFacet). Only pairs whose boxes meet (widened by
// kPlaneSide) are tried, through a box hash. Nothing rounds but the
// projection of the inner points, and nothing is changed.

#include "Geometry/mesh/G3MeshCheck.h"

#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3BoxHash.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Shell.h"
#include "Geometry/mesh/G3Vertex.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

using GTolerance::kInFacet;
using GTolerance::kPlaneEqual;
using GTolerance::kPlaneSide;

// An inner point of g lies in f's plane (within kPlaneSide) and inside f,
// off its boundary. The plane is judged at that point: a facet's plane,
// fitted to corners rounded off it, may stand farther than kPlaneSide off
// another facet's far corners, and still hold it where they overlap.
bool InnerPointInside(G3Facet* g, G3Facet* f)
{
    int i = 0, j = 1;
    g->GetMaxCoo(&i, &j);
    double p[3];
    if (!g->GeneratePointInFacetConcave(i, j, p))
        return false;
    const double* pf = f->GetPlane();
    if (!(std::fabs(pf[0] * p[0] + pf[1] * p[1] + pf[2] * p[2] + pf[3]) < kPlaneSide))
        return false;
    f->GetMaxCoo(&i, &j);
    G3Vertex* onA = nullptr;
    G3Vertex* onB = nullptr;
    return f->PointInFacet(i, j, p, &onA, &onB, kInFacet) && !onA && !onB;
}

} // namespace

std::string G3OverlapCheck(G3Shell* s)
{
    if (!s)
        return std::string();
    const int n = s->GetFacetCount();
    std::vector<GEnvelope> boxes(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        s->GetFacet(k)->FormEnvelope(&boxes[static_cast<std::size_t>(k)]);
        boxes[static_cast<std::size_t>(k)].Extend(kPlaneSide);
    }
    const G3BoxHash index(boxes);
    std::vector<int> near;
    for (int k = 0; k < n; ++k) {
        G3Facet* f = s->GetFacet(k);
        if (f->IsPlaneZero() || !f->GetFirstEdge())
            continue;
        const double* pf = f->GetPlane();
        index.Candidates(boxes[static_cast<std::size_t>(k)], near);
        for (const int m : near) {
            G3Facet* g = s->GetFacet(m);
            if (m <= k || g->IsPlaneZero() || !g->GetFirstEdge() ||
                !boxes[static_cast<std::size_t>(k)].IsIntersectXYZ(&boxes[static_cast<std::size_t>(m)]))
                continue;
            const double* pg = g->GetPlane();
            if (std::fabs(std::fabs(pf[0] * pg[0] + pf[1] * pg[1] + pf[2] * pg[2]) - 1.0) >= kPlaneEqual)
                continue;
            if (InnerPointInside(g, f) || InnerPointInside(f, g))
                return "facet: lies on another (" + std::to_string(k) + ", " + std::to_string(m) + ")";
        }
    }
    return std::string();
}
