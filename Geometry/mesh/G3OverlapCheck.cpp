// Facets lying on one another: their normals agree within kPlaneEqual
// (either way round) and an inner point of one (of the first few) lies
// within kPlaneSide of the other's plane and inside it, clear of its
// boundary (kInFacet). Only pairs whose boxes meet (widened by
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

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using GTolerance::kInFacet;
using GTolerance::kPlaneEqual;
using GTolerance::kPlaneSide;

// An inner point of g (one of the first few it offers) lies in f's plane
// (within kPlaneSide) and inside f, off its boundary. The plane is judged
// at that point: a facet's plane, fitted to corners rounded off it, may
// stand farther than kPlaneSide off another facet's far corners, and still
// hold it where they overlap.
constexpr int kInnerPoints = 3;
bool InnerPointInside(G3Facet* g, G3Facet* f)
{
    int gi = 0, gj = 1, fi = 0, fj = 1;
    g->GetMaxCoo(&gi, &gj);
    f->GetMaxCoo(&fi, &fj);
    const double* pf = f->GetPlane();
    double last[3] = {0, 0, 0};
    for (int k = 0; k < kInnerPoints; ++k) {
        double p[3];
        if (!(k == 0 ? g->GeneratePointInFacetConcave(gi, gj, p) : g->GenerateOtherPointInFacet(gi, gj, k, p)))
            return false;
        if (k > 0 && p[0] == last[0] && p[1] == last[1] && p[2] == last[2])
            return false;  // no other inner point left
        std::copy(p, p + 3, last);
        if (!(std::fabs(pf[0] * p[0] + pf[1] * p[1] + pf[2] * p[2] + pf[3]) < kPlaneSide))
            continue;
        G3Vertex* onA = nullptr;
        G3Vertex* onB = nullptr;
        if (f->PointInFacet(fi, fj, p, &onA, &onB, kInFacet) && !onA && !onB)
            return true;
    }
    return false;
}

} // namespace

bool G3FacetsOnOneAnother(G3Shell* s, int* first, int* second)
{
    if (!s)
        return false;
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
            if (InnerPointInside(g, f) || InnerPointInside(f, g)) {
                if (first)
                    *first = k;
                if (second)
                    *second = m;
                return true;
            }
        }
    }
    return false;
}

std::string G3OverlapCheck(G3Shell* s)
{
    int f = -1, g = -1;
    if (!G3FacetsOnOneAnother(s, &f, &g))
        return std::string();
    return "facet: lies on another (" + std::to_string(f) + ", " + std::to_string(g) + ")";
}
