// The splitting pass: every facet that collected segments in the pairing
// pass is replaced by the facets those segments cut it into. Invariants:
// - a facet is removed only when its replacement facets have been added; a
//   facet whose segments close no contour is kept as it was;
// - the facet list is walked by index, and a removal moves the last facet
//   into the freed slot, so the walk stays on that slot: every facet with
//   segments is visited once, facets added behind carry no segments;
// - new facets take the extended data, flags and sub-surface of the facet
//   they come from; new corners get the facet's corner data interpolated
//   at the segment ends;
// - the edges made from segments (mark 3) give their vertices SC_ON and
//   leave with mark 3 clear.
// Rounding happens only where the contour graph splits crossing segments.
#include "Geometry/boolean/G3BooleanCalculator.h"

#include "Geometry/boolean/G3BooleanData.h"
#include "Geometry/boolean/G3Interval.h"
#include "Geometry/boolean/G3IntervalList.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"

#include <cmath>

namespace {

// Edges made from segments: visible (1), new (4), and mark 3 so that the
// end of the pass finds the vertices on the cut.
constexpr int kSegmentEdgeFlags = 0x1000005;

// The corner data of `f` at point p (on f or its boundary). A point on one
// of f's edges (the owner the cut recorded) takes the edge's corners
// interpolated; otherwise, in a triangle whose corners all have normals,
// the barycentric mix of the three; otherwise the plane normal alone. The
// results are new objects of no shell (null when nothing applies).
void CornerAt(G3Facet* f, GObj* owner, const double* p, G3Normal** n, G3TexCoo** t)
{
    *n = nullptr;
    *t = nullptr;
    if (G3Edge* e = dynamic_cast<G3Edge*>(owner)) {
        if (e->HasFacet(f) && f->Interpolate(e, p, n, t))
            return;
        delete *n;
        delete *t;
        *n = nullptr;
        *t = nullptr;
    }
    G3Vertex* v[3];
    if (f->GetEdgeCount() == 3 && f->GetVertices(v) == 3) {
        G3Normal* cn[3];
        G3TexCoo* ct[3];
        bool all = true;
        bool allT = true;
        for (int k = 0; k < 3; ++k) {
            ct[k] = nullptr;
            cn[k] = f->GetNormal(v[k], &ct[k]);
            all = all && cn[k];
            allT = allT && ct[k];
        }
        int i = 0;
        int j = 1;
        f->GetMaxCoo(&i, &j);
        const double* a = v[0]->GetXYZ();
        const double* b = v[1]->GetXYZ();
        const double* c = v[2]->GetXYZ();
        const double den = (b[i] - a[i]) * (c[j] - a[j]) - (c[i] - a[i]) * (b[j] - a[j]);
        if (all && std::fabs(den) > 0.0) {
            const double w1 = ((p[i] - a[i]) * (c[j] - a[j]) - (c[i] - a[i]) * (p[j] - a[j])) / den;
            const double w2 = ((b[i] - a[i]) * (p[j] - a[j]) - (p[i] - a[i]) * (b[j] - a[j])) / den;
            const double w[3] = {1.0 - w1 - w2, w1, w2};
            double nx[3] = {0.0, 0.0, 0.0};
            double uv[2] = {0.0, 0.0};
            for (int k = 0; k < 3; ++k) {
                for (int d = 0; d < 3; ++d)
                    nx[d] += w[k] * cn[k]->GetXYZ()[d];
                if (allT)
                    for (int d = 0; d < 2; ++d)
                        uv[d] += w[k] * ct[k]->GetUV()[d];
            }
            *n = new G3Normal(nx);
            if (allT)
                *t = new G3TexCoo(uv);
            return;
        }
    }
    *n = new G3Normal(f->GetPlane());
}

} // namespace

// Replaces f by the facets its segments cut it into; false (f kept, nothing
// added but loose vertices and corner data) when no facet came of them.
static bool SplitFacet(G3Surface* s, G3Facet* f, G3IntervalList* segments, bool withEvent, GEVENT event)
{
    const bool corners = f->HasGeometry();
    G3EdgeList* edges = new G3EdgeList(f);
    GArrayCollection* list = segments->GetIntervalList();
    for (int k = 0; list && k < list->size(); ++k) {
        G3Interval* iv = dynamic_cast<G3Interval*>(list->get(k));
        if (!iv || !iv->GetPoint1() || !iv->GetPoint2())
            continue;
        G3Vertex* a = s->AddVertex(iv->GetXYZ1(), 0);
        G3Vertex* b = s->AddVertex(iv->GetXYZ2(), 0);
        G3Normal* na = nullptr;
        G3Normal* nb = nullptr;
        G3TexCoo* ta = nullptr;
        G3TexCoo* tb = nullptr;
        if (corners) {
            G3Normal* n1 = nullptr;
            G3Normal* n2 = nullptr;
            G3TexCoo* t1 = nullptr;
            G3TexCoo* t2 = nullptr;
            CornerAt(f, iv->GetOwner1(), iv->GetXYZ1(), &n1, &t1);
            CornerAt(f, iv->GetOwner2(), iv->GetXYZ2(), &n2, &t2);
            if (n1 && n2) {
                na = s->AddNormal(n1);
                nb = s->AddNormal(n2);
                if (t1 && t2) {
                    ta = s->AddTexCoo(t1);
                    tb = s->AddTexCoo(t2);
                }
            }
            delete n1;
            delete n2;
            delete t1;
            delete t2;
        }
        // Twice: the walk goes along a cut on both of its sides.
        edges->AddEdge(a, b, na, nb, ta, tb, kSegmentEdgeFlags);
        edges->AddEdge(a, b, na, nb, ta, tb, kSegmentEdgeFlags);
    }
    GArrayCollection contours;
    edges->RemoveSelfIntersections(&contours, s, true, UNION_EDGE_KEEP_TWO, 0);
    delete edges;
    if (contours.size() == 0)
        return false;

    GArrayCollection* facets = s->GetFacetList();
    const int before = facets->size();
    G3Obj::ProviderSetExData(f);
    const CExData saved = s->GetExtendedDataFacetDefault();
    s->GetExtendedDataFacetDefault() = f->GetExtendedData();
    if (withEvent)
        s->AddFacetsEx(&contours, f, static_cast<int>(event));
    else
        s->AddFacets(&contours);
    s->GetExtendedDataFacetDefault() = saved;
    G3Obj::ProviderSetExData(nullptr);
    // Lists AddFacets could not use are still ours.
    for (int k = 0; k < contours.size(); ++k)
        delete contours.get(k);
    if (facets->size() == before)
        return false;
    s->RemoveFacet(f);
    return true;
}

static void SplitAll(G3Surface* s, bool withEvent, GEVENT event)
{
    if (!s || !s->GetFacetList())
        return;
    GArrayCollection* facets = s->GetFacetList();
    int i = 0;
    while (i < facets->size()) {
        G3Facet* f = static_cast<G3Facet*>(facets->get(i));
        G3BooleanFacetData* r = G3BooleanFacetData::Of(f);
        if (r && r->segments && r->segments->GetIntervalCount() > 0) {
            G3IntervalList* segments = r->segments;
            // Detached first: the facet's record would delete it with the
            // facet, and a kept facet must not be split again.
            r->segments = nullptr;
            const bool replaced = SplitFacet(s, f, segments, withEvent, event);
            delete segments;
            if (replaced)
                continue;
        }
        ++i;
    }
    GArrayCollection* edges = s->GetEdgeList();
    for (int k = 0; edges && k < edges->size(); ++k) {
        G3Edge* e = static_cast<G3Edge*>(edges->get(k));
        if (!e || !e->GetMark3())
            continue;
        e->ClearMark3();
        for (G3Vertex* v : {e->GetVertex1(), e->GetVertex2()})
            if (G3BooleanVertexData* d = G3BooleanVertexData::Of(v))
                d->classify = SC_ON;
    }
}

void G3BooleanCalculator::MergeSurfaceAndIntersectionTree(G3Surface* s, GEnvelope*)
{
    SplitAll(s, false, GEVENT_NONE);
}

void G3BooleanCalculator::MergeSurfaceAndIntersectionTree(G3Surface* s, GEnvelope*, GEVENT e)
{
    SplitAll(s, true, e);
}
