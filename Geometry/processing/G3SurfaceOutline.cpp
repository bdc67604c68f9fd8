// The outlines of a surface's coplanar facet groups as a surface of their
// own (FormContourSurface, FormContours).
//
// Invariants: the source surface is only read; its facet list keeps its
// order and its ids (the sort works on a copy of the list). Planes are
// grouped with the facet's tolerant plane test (kPlaneEqual), d compared at
// the surface's centre; the outline's
// crossings are resolved by the edge list's contour walk, which adds a
// vertex to the target at each proper crossing.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3PassCheck.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"

namespace {

// Plane order, coefficient by coefficient, equal within kPlaneEqual, with
// the plane's value at the surface's centre (`context`) in place of d; ties
// by facet id so that the order never depends on addresses. Far from the
// origin the normals of coplanar facets, rounded apart, move d by far more
// than the tolerance while the planes still meet at the facets: by d such
// facets sorted apart, with other planes between them.
int ComparePlanes(const void* a, const void* b, const void* context)
{
    const G3Facet* f = *static_cast<G3Facet* const*>(a);
    const G3Facet* g = *static_cast<G3Facet* const*>(b);
    const double* c = static_cast<const double*>(context);
    const auto at = [c](const double* p) { return p[0] * c[0] + p[1] * c[1] + p[2] * c[2] + p[3]; };
    for (int k = 0; k < 4; ++k) {
        const double d = k < 3 ? f->GetPlane()[k] - g->GetPlane()[k] : at(f->GetPlane()) - at(g->GetPlane());
        if (d < -GTolerance::kPlaneEqual)
            return -1;
        if (d > GTolerance::kPlaneEqual)
            return 1;
    }
    return f->GetId() < g->GetId() ? -1 : (f->GetId() > g->GetId() ? 1 : 0);
}

} // namespace

void G3Surface::FormContours(GArrayCollection* edges, const double* plane, G3Surface* target)
{
    if (!edges || !target || edges->size() == 0)
        return;
    G3EdgeList list(0, target->GetSurface());
    for (int k = 0; k < edges->size(); ++k) {
        const G3Edge* e = static_cast<const G3Edge*>(edges->get(k));
        G3Vertex* a = e ? target->GetVertex(static_cast<int>(e->GetVertex1()->GetId())) : nullptr;
        G3Vertex* b = e ? target->GetVertex(static_cast<int>(e->GetVertex2()->GetId())) : nullptr;
        if (a && b && a != b)
            list.AddEdge(a, b, nullptr, nullptr, nullptr, nullptr, static_cast<int>(e->GetFlags()));
    }
    if (list.size() < 3)
        return;
    if (plane)
        list.SetPlane(plane);
    GArrayCollection out;
    list.RemoveSelfIntersections(&out, target, true, UNION_EDGE_CANCEL_PAIRS, 0);
    target->AddFacets(&out);
}

G3Surface* G3Surface::FormContourSurface()
{
    G3_CHECK_PASS(this, "FormContourSurface");
    if (GetFacetCount() == 0)
        return new G3Surface(0, 0, 0);
    GEnvelope box;
    FormEnvelope(&box);
    double centre[3];
    for (int k = 0; k < 3; ++k)
        centre[k] = 0.5 * (box.GetMin()[k] + box.GetMax()[k]);
    GArrayCollection sorted(*facets);
    sorted.qsortex(ComparePlanes, centre);

    G3Surface* target = new G3Surface();
    for (int k = 0; k < GetVertexCount(); ++k)
        target->AddVertex(GetVertex(k)->GetXYZ(), 0);

    GArrayCollection group;
    const double* plane = nullptr;
    for (int k = 0; k <= sorted.size(); ++k) {
        G3Facet* f = k < sorted.size() ? static_cast<G3Facet*>(sorted.get(k)) : nullptr;
        if (plane && (!f || !f->PlaneEqualsNear(plane, centre))) {
            FormContours(&group, plane, target);
            group.clear(false);
            plane = nullptr;
        }
        if (!f)
            break;
        if (!plane)
            plane = f->GetPlane();
        for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f))
            group.add(e);
    }
    target->RemoveUnused();
    target->ReallocByRealSize();
    return target;
}
