// Pieces lying on one another, found along the edges they share: two
// facets of one plane meeting at an edge either lie side by side (their
// insides on either side of the edge: a floor next to a floor) or on one
// another (both insides on one side: a floor on part of a ceiling). Only
// the second is reported. A facet's inside at an edge is its unit normal
// crossed with the edge as the facet's chain runs along it; turning a
// facet turns both, so the answer does not depend on the facets' senses.
// Coplanar means every corner of each facet within kPlaneSide of the
// other's plane (asked both ways, so the relation is symmetric), the one
// tolerance; the sides are compared by the sign of
// a dot product of vectors formed from corner coordinates, no rounding
// beyond theirs.

#include "Geometry/processing/G3SurfaceOrientLayers.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>
#include <cmath>

namespace g3orient {
namespace {

// f's unit normal; false when its plane has none.
bool UnitNormal(const G3Facet* f, double n[3])
{
    const double* p = f->GetPlane();
    const double length = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    if (!(length > 0.0) || !std::isfinite(length))
        return false;
    for (int k = 0; k < 3; ++k)
        n[k] = p[k] / length;
    return true;
}

// Whether every corner of g lies within kPlaneSide of f's plane (unit
// normal n).
bool InPlaneOf(const G3Facet* f, const double n[3], const G3Facet* g)
{
    const double* p = f->GetPlane();
    const double length = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    const double d = p[3] / length;
    G3ContourWalker w(g);
    while (w.Next()) {
        const G3Vertex* v = w.GetEntry();
        if (!v)
            return false;
        const double* q = v->GetXYZ();
        if (!(std::fabs(n[0] * q[0] + n[1] * q[1] + n[2] * q[2] + d) < GTolerance::kPlaneSide))
            return false;
    }
    return true;
}

// The direction into f from its edge e, within f's plane (unit normal n):
// n crossed with e as f's chain runs along it.
void Inside(const G3Facet* f, const double n[3], const G3Edge* e, double in[3])
{
    const double* a = e->GetVertex1()->GetXYZ();
    const double* b = e->GetVertex2()->GetXYZ();
    const double s = f->GetMoveDirection(e) ? 1.0 : -1.0;
    const double d[3] = {s * (b[0] - a[0]), s * (b[1] - a[1]), s * (b[2] - a[2])};
    in[0] = n[1] * d[2] - n[2] * d[1];
    in[1] = n[2] * d[0] - n[0] * d[2];
    in[2] = n[0] * d[1] - n[1] * d[0];
}

} // namespace

bool LieOnOneAnother(const G3Facet* f, const G3Edge* e, const G3Facet* g, const G3Edge* x)
{
    if (!e->GetVertex1() || !e->GetVertex2() || !x->GetVertex1() || !x->GetVertex2())
        return false;
    double n[3];
    double m[3];
    if (!UnitNormal(f, n) || !UnitNormal(g, m))
        return false;
    double in[3];
    double gin[3];
    Inside(f, n, e, in);
    Inside(g, m, x, gin);
    return in[0] * gin[0] + in[1] * gin[1] + in[2] * gin[2] > 0.0 && InPlaneOf(f, n, g) && InPlaneOf(g, m, f);
}

void PiecesLyingOn(const std::vector<G3Facet*>& facets, std::size_t own,
                   const std::unordered_map<const G3Facet*, std::size_t>& pieceOf, std::vector<std::size_t>& out)
{
    const std::size_t first = out.size();
    GArrayCollection along;
    for (G3Facet* f : facets) {
        for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
            G3Vertex* a = e->GetVertex1();
            G3Vertex* b = e->GetVertex2();
            if (!a || !b || G3Surface::GetCountEdges(a, b, &along) < 2)
                continue;
            for (int i = 0; i < along.size(); ++i) {
                const G3Edge* x = static_cast<const G3Edge*>(along.get(i));
                for (G3Facet* g : {x->GetFacet1(), x->GetFacet2()}) {
                    const auto at = g ? pieceOf.find(g) : pieceOf.end();
                    if (at != pieceOf.end() && at->second != own && LieOnOneAnother(f, e, g, x))
                        out.push_back(at->second);
                }
            }
        }
    }
    std::sort(out.begin() + static_cast<std::ptrdiff_t>(first), out.end());
    out.erase(std::unique(out.begin() + static_cast<std::ptrdiff_t>(first), out.end()), out.end());
}

} // namespace g3orient
