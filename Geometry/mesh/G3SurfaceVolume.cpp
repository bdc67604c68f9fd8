// Volume of a closed surface. Invariant: each directed edge of a facet is
// taken once, in the direction its facet's walk runs it, so a surface whose
// facets face outward gets a positive volume. The one rounding is the sum
// of the per-facet terms, taken relative to the first vertex.
#include "Geometry/mesh/G3SurfaceVolume.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Shell.h"
#include "Geometry/mesh/G3Vertex.h"

double G3SurfaceVolume(G3Shell* s)
{
    if (!s || !s->GetVertexList() || !s->GetFacetList() || s->GetVertexList()->size() == 0)
        return 0.0;
    const double* o = static_cast<G3Vertex*>(s->GetVertexList()->get(0))->GetXYZ();
    GArrayCollection* facets = s->GetFacetList();
    double volume = 0.0;
    for (int i = 0; i < facets->size(); ++i) {
        const G3Facet* f = static_cast<const G3Facet*>(facets->get(i));
        G3ContourWalker w(f);
        const double* c = nullptr;
        double area[3] = {0.0, 0.0, 0.0};
        while (w.Next()) {
            if (!w.GetEntry() || !w.GetExit())
                continue;
            if (!c)
                c = w.GetEntry()->GetXYZ();
            const double* p = w.GetEntry()->GetXYZ();
            const double* q = w.GetExit()->GetXYZ();
            const double u[3] = {p[0] - c[0], p[1] - c[1], p[2] - c[2]};
            const double v[3] = {q[0] - c[0], q[1] - c[1], q[2] - c[2]};
            area[0] += 0.5 * (u[1] * v[2] - u[2] * v[1]);
            area[1] += 0.5 * (u[2] * v[0] - u[0] * v[2]);
            area[2] += 0.5 * (u[0] * v[1] - u[1] * v[0]);
        }
        if (!c)
            continue;
        volume += (area[0] * (c[0] - o[0]) + area[1] * (c[1] - o[1]) + area[2] * (c[2] - o[2])) / 3.0;
    }
    return volume;
}
