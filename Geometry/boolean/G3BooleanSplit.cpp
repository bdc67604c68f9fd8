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
//   leave with mark 3 clear;
// - a point where cuts of several facets meet becomes one vertex, shared
//   by all of them; a piece's side along an uncut edge of its facet gets an
//   edge beside the neighbour's (both sides of that edge are taken while
//   the facet is still there), which welding and stitching join later.
// Rounding happens only where segments cross one another
// (G3PlanarFaces) and in the interpolated corner data.
#include "Geometry/boolean/G3BooleanCalculator.h"

#include "Geometry/boolean/G3BooleanData.h"
#include "Geometry/boolean/G3Interval.h"
#include "Geometry/boolean/G3IntervalList.h"
#include "Geometry/boolean/G3PlanarFaces.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3PassCheck.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3PointHash.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"

#include <cmath>
#include <utility>
#include <vector>

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

// The normal seen from which f's outer contour (its largest) runs
// anticlockwise: the plane's, or its opposite for a facet whose chain runs
// the other way. False for a facet without a plane or an area.
static bool FrontNormal(G3Facet* f, double* normal)
{
    const double* plane = f->GetPlane();
    const double ax = std::fabs(plane[0]);
    const double ay = std::fabs(plane[1]);
    const double az = std::fabs(plane[2]);
    if (ax + ay + az == 0.0)
        return false;
    const int k = ax >= ay && ax >= az ? 0 : (ay >= az ? 1 : 2);
    int i = (k + 1) % 3;
    int j = (k + 2) % 3;
    if (plane[k] < 0.0)
        std::swap(i, j);
    double largest = 0.0;
    double area = 0.0;
    // Each contour's area is summed about its first corner: products of
    // coordinates far from the origin would swamp a small facet's.
    const double* o = nullptr;
    G3ContourWalker w(f);
    while (w.Next()) {
        const double* a = w.GetEntry()->GetXYZ();
        const double* b = w.GetExit()->GetXYZ();
        if (!o)
            o = a;
        area += (a[i] - o[i]) * (b[j] - o[j]) - (b[i] - o[i]) * (a[j] - o[j]);
        if (w.Closes()) {
            o = nullptr;
            if (std::fabs(area) > std::fabs(largest))
                largest = area;
            area = 0.0;
        }
    }
    if (!(std::fabs(largest) > 0.0))
        return false;
    const double sign = largest > 0.0 ? 1.0 : -1.0;
    for (int d = 0; d < 3; ++d)
        normal[d] = sign * plane[d];
    return true;
}

// Adds to s the facets into which the segments cut f; the number added, 0
// when the segments divide nothing (f is then left as it is, the vertices
// of cuts along its boundary classified SC_ON).
static int SplitFacet(G3Surface* s, G3PointHash* made, G3Facet* f, G3IntervalList* segments)
{
    double normal[3];
    if (!FrontNormal(f, normal))
        return 0;
    G3PlanarFaces faces(s, made, normal);
    G3ContourWalker w(f);
    while (w.Next()) {
        G3Edge* e = w.GetEdge();
        G3Normal* n1 = nullptr;
        G3Normal* n2 = nullptr;
        G3TexCoo* t1 = nullptr;
        G3TexCoo* t2 = nullptr;
        e->GetNormals(f, &n1, &t1, &n2, &t2);
        if (w.GetEntry() == e->GetVertex1())
            faces.AddEdge(w.GetEntry(), w.GetExit(), n1, t1, n2, t2, e->GetFlags(), false);
        else
            faces.AddEdge(w.GetEntry(), w.GetExit(), n2, t2, n1, t1, e->GetFlags(), false);
    }
    const bool corners = f->HasGeometry();
    GArrayCollection* list = segments->GetIntervalList();
    for (int k = 0; list && k < list->size(); ++k) {
        G3Interval* iv = dynamic_cast<G3Interval*>(list->get(k));
        if (!iv || !iv->HasEnds())
            continue;
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
        faces.AddEdge(iv->GetXYZ1(), iv->GetXYZ2(), na, ta, nb, tb, kSegmentEdgeFlags, true);
    }
    faces.Resolve();
    // A cut touching f along a line from its outline to a hole (another
    // solid resting on a ring's face) separates nothing: rebuilt round it,
    // f ran out along the line and back, a slit with one side per edge.
    faces.DropBridges();
    if (faces.GetInnerCutCount() == 0 && faces.GetEdgeCount() == f->GetEdgeCount()) {
        // Nothing divides f: cuts along its boundary (a neighbour of a
        // self-intersection pass, a surface touching along an edge) only
        // put their vertices on the other surface.
        std::vector<G3Vertex*> on;
        faces.GetCutVertices(&on);
        for (G3Vertex* v : on)
            if (G3BooleanVertexData* d = G3BooleanVertexData::Of(v))
                d->classify = SC_ON;
        return 0;
    }
    const std::vector<G3PlanarFaces::Face> built = faces.GetFaces();
    const long facetFlags = f->GetFlags() & ~(G3Obj::FLAG_MARK | G3Obj::FLAG_MARK2);
    int added = 0;
    for (const G3PlanarFaces::Face& face : built) {
        GArrayCollection edges;
        G3PlanarFaces::MakeEdges(face, &edges);
        added += s->AddFacet(&edges, static_cast<int>(facetFlags), f->GetSurface()) != nullptr;
        for (int k = 0; k < edges.size(); ++k)
            delete edges.get(k);
    }
    return added;
}

// Replaces f by the facets its segments cut it into; false (f kept, nothing
// added but loose vertices and corner data) when no facet came of them.
static bool ReplaceFacet(G3Surface* s, G3PointHash* made, G3Facet* f, G3IntervalList* segments)
{
    G3Obj::ProviderSetExData(f);
    const CExData saved = s->GetExtendedDataFacetDefault();
    s->GetExtendedDataFacetDefault() = f->GetExtendedData();
    const int added = SplitFacet(s, made, f, segments);
    s->GetExtendedDataFacetDefault() = saved;
    G3Obj::ProviderSetExData(nullptr);
    if (added == 0)
        return false;
    s->RemoveFacet(f);
    return true;
}

static void SplitAll(G3Surface* s)
{
    if (!s || !s->GetFacetList())
        return;
    // The cut edges carry Mark3 from the facet that makes them until the
    // loop at the end hands them to their vertices' classification.
    G3_HOLD_PASS_MARKS(s, "MergeSurfaceAndIntersectionTree");
    // Vertices made on cuts, shared by the facets on both sides of an edge
    // a cut crosses.
    GEnvelope box;
    s->FormEnvelope(&box);
    box.Extend(GTolerance::kBoxMargin);
    // Sized for the points the cuts may make (two per segment) as well as
    // the vertices: a slice's box has eight corners and takes a point
    // wherever a storey's walls cross its cap. The hash answers the newest
    // equal point whatever its cells.
    GArrayCollection* facets = s->GetFacetList();
    long points = s->GetVertexList()->size();
    for (int k = 0; k < facets->size(); ++k) {
        const G3BooleanFacetData* r = G3BooleanFacetData::Of(static_cast<G3Facet*>(facets->get(k)));
        if (r && r->segments)
            points += 2L * r->segments->GetIntervalCount();
    }
    int perAxis[3];
    G3PointHash::SizeGrid(points, box.GetMin(), box.GetMax(), GTolerance::kPointEqual, perAxis);
    G3PointHash made(perAxis, box.GetMin(), box.GetMax(), GTolerance::kPointEqual);
    int i = 0;
    while (i < facets->size()) {
        G3Facet* f = static_cast<G3Facet*>(facets->get(i));
        G3BooleanFacetData* r = G3BooleanFacetData::Of(f);
        if (r && r->segments && r->segments->GetIntervalCount() > 0) {
            G3IntervalList* segments = r->segments;
            // Detached first: the facet's record would delete it with the
            // facet, and a kept facet must not be split again.
            r->segments = nullptr;
            const bool replaced = ReplaceFacet(s, &made, f, segments);
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

void G3BooleanCalculator::MergeSurfaceAndIntersectionTree(G3Surface* s, GEnvelope*) { SplitAll(s); }

// The new facets are built edge by edge, so the event has nothing to travel
// with.
void G3BooleanCalculator::MergeSurfaceAndIntersectionTree(G3Surface* s, GEnvelope*, GEVENT) { SplitAll(s); }
