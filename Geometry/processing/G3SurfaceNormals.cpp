// Corner normals from facet planes: filling the corners that lack one
// (HealNormals) and averaging the planes around each vertex
// (AverageNormalsByPlanes and its variants).
//
// A plane average is the sum of the (a, b, c) of the facets on the sides of
// a vertex's ring edges; a facet met through two ring edges counts twice.
// A sum without length (no facets, or planes that cancel) gives no normal:
// the corners keep what they had. Each pass ends with RemoveEqualsNormal,
// which welds the many equal normals it adds. Mark and Mark2 are clear on
// return.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/mesh/G3PassCheck.h"

#include <cmath>

namespace {

// Length below which a summed normal has no direction.
constexpr double kNormalLength = GTolerance::kZeroNormal;

// Which facets around a vertex take part in its average.
enum class Take { All, Marked, Marked2 };

bool Takes(const G3Facet* f, Take take)
{
    if (!f)
        return false;
    switch (take) {
    case Take::All:
        return true;
    case Take::Marked:
        return f->GetMark();
    case Take::Marked2:
        return f->GetMark2();
    }
    return false;
}

// The unit average of the planes of the facets around v that `take`
// admits, into n; false when there is none or it has no length.
bool AveragePlanes(const G3Vertex* v, Take take, double* n)
{
    n[0] = n[1] = n[2] = 0.0;
    for (G3Edge* e = v->GetFirstEdge(); e; e = e->GetVertexEdge(v)) {
        for (const G3Facet* f : {e->GetFacet1(), e->GetFacet2()}) {
            if (!Takes(f, take))
                continue;
            for (int c = 0; c < 3; ++c)
                n[c] += f->GetPlane()[c];
        }
    }
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (!(length >= kNormalLength))
        return false;
    for (int c = 0; c < 3; ++c)
        n[c] /= length;
    return true;
}

// Gives every facet of `list` (last to first) at each of its vertices the
// average over the facets `take` admits, at that facet's corner only.
void AverageAtCorners(G3Surface* s, GArrayCollection* list, Take take, bool keepTexCoo)
{
    for (int k = list->size() - 1; k >= 0; --k) {
        G3Facet* f = static_cast<G3Facet*>(list->get(k));
        if (!f)
            continue;
        G3FacetVertexIterator it(f);
        while (G3Vertex* v = it.NextVertex()) {
            double n[3];
            if (!AveragePlanes(v, take, n))
                continue;
            G3TexCoo* t = nullptr;
            if (keepTexCoo)
                v->GetNormal(f, &t);
            v->SetNormal(f, s->AddNormal(n), t);
        }
    }
}

// The whole-surface average: every vertex (last to first) gets its average
// at every corner.
void AverageAtVertices(G3Surface* s, bool keepTexCoo)
{
    for (int k = s->GetVertexCount() - 1; k >= 0; --k) {
        G3Vertex* v = s->GetVertex(k);
        double n[3];
        if (!v || !AveragePlanes(v, Take::All, n))
            continue;
        G3Normal* normal = s->AddNormal(n);
        if (!keepTexCoo) {
            v->SetNormal(normal, nullptr);
            continue;
        }
        for (G3Edge* e = v->GetFirstEdge(); e; e = e->GetVertexEdge(v)) {
            for (G3Facet* f : {e->GetFacet1(), e->GetFacet2()}) {
                if (!f)
                    continue;
                G3TexCoo* t = nullptr;
                e->GetCorner(f, v, &t);
                e->SetCorner(f, v, normal, t);
            }
        }
    }
}

void AverageListed(G3Surface* s, GArrayCollection* facets, bool keepTexCoo)
{
    G3Shell::ChangeFlags(facets, static_cast<int>(G3Obj::FLAG_MARK), true);
    AverageAtCorners(s, facets, Take::Marked, keepTexCoo);
    G3Shell::ChangeFlags(facets, static_cast<int>(G3Obj::FLAG_MARK), false);
}

} // namespace

void G3Surface::HealNormals()
{
    G3_CHECK_PASS(this, "HealNormals");
    if (GetNormalCount() == 0)
        return;
    for (int k = GetFacetCount() - 1; k >= 0; --k) {
        G3Facet* f = GetFacet(k);
        // A facet without a plane has no normal to give.
        if (f->IsPlaneZero())
            continue;
        G3Normal* normal = nullptr;
        G3FacetVertexIterator it(f);
        while (G3Vertex* v = it.NextVertex()) {
            G3TexCoo* t = nullptr;
            if (f->GetNormal(v, &t))
                continue;
            if (!normal)
                normal = AddNormal(f->GetPlane());
            v->SetNormal(f, normal, nullptr);
        }
    }
    RemoveEqualsNormal();
}

void G3Surface::AverageNormalsByPlanes(GArrayCollection* facets)
{
    G3_CHECK_PASS(this, "AverageNormalsByPlanes");
    if (facets)
        AverageListed(this, facets, false);
    else
        AverageAtVertices(this, false);
    RemoveEqualsNormal();
}

void G3Surface::AverageNormalsByPlanesTexCooSafe(GArrayCollection* facets)
{
    G3_CHECK_PASS(this, "AverageNormalsByPlanesTexCooSafe");
    if (facets)
        AverageListed(this, facets, true);
    else
        AverageAtVertices(this, true);
    RemoveEqualsNormal();
}

void G3Surface::AverageNormalsByPlanes2()
{
    G3_CHECK_PASS(this, "AverageNormalsByPlanes2");
    GArrayCollection group;
    for (int k = 0; k < GetFacetCount(); ++k) {
        G3Facet* seed = GetFacet(k);
        if (seed->GetMark())
            continue;
        group.clear();
        seed->SetMark();
        seed->SetMark2();
        group.add(seed);
        // The smoothing group: facets joined across invisible edges.
        for (int q = 0; q < group.size(); ++q) {
            G3Facet* f = static_cast<G3Facet*>(group.get(q));
            for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
                if (e->GetVisible())
                    continue;
                G3Facet* g = e->GetFacet1() == f ? e->GetFacet2() : e->GetFacet1();
                if (!g || g->GetMark() || g->GetDoubleSided() != seed->GetDoubleSided())
                    continue;
                g->SetMark();
                g->SetMark2();
                group.add(g);
            }
        }
        AverageAtCorners(this, &group, Take::Marked2, false);
        G3Shell::ChangeFlags(&group, static_cast<int>(G3Obj::FLAG_MARK2), false);
    }
    ChangeFacetFlags(static_cast<int>(G3Obj::FLAG_MARK), false);
    RemoveEqualsNormal();
}
