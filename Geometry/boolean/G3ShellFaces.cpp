// The faces a shell moves: a solid's face given as several coplanar facets
// (the triangles of an export, the pieces a boolean leaves) is merged into
// one facet on a working copy, so that the shell moves one outline per
// face. Moved as triangles, a thin one's far side crossed the notch the
// corners cut at a vertex of four planes and the shell came out open.
// Invariants: the source is only read (Duplicate assigns its ids); facets
// merge only across an edge whose two facets carry the same flags (the
// kept mark among them) and the same plane, facing the same side, so that
// every facet of the shell still takes the flags and the keep of each
// source facet it stands for; each working facet's surface number is the
// id of the source facet it was made from. Nothing here rounds beyond the
// merge's own plane fit (UnionInPlaneFacets).
#include "Geometry/boolean/G3SolidsBuilder.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <vector>

namespace {

// The flags a facet of the shell takes over from its source, with the kept
// mark: what two facets must share to be moved as one.
constexpr long kScratch = G3Obj::FLAG_MARK2 | G3Obj::FLAG_MARK3 | G3Obj::FLAG_MARK4;

// f and g (across an edge from a to b's first end a) lie in one plane, face
// the same side and carry the same flags.
bool OneFace(const G3Facet* f, const G3Facet* g, const G3Vertex* a)
{
    if (!f || !g || f == g || !a || (f->GetFlags() & ~kScratch) != (g->GetFlags() & ~kScratch))
        return false;
    if (f->IsPlaneZero() || g->IsPlaneZero() || !g->PlaneEqualsNear(f->GetPlane(), a->GetXYZ()))
        return false;
    double p[4], q[4];
    for (int k = 0; k < 4; ++k) {
        p[k] = f->GetPlane()[k];
        q[k] = g->GetPlane()[k];
    }
    f->TurnToContours(p);
    g->TurnToContours(q);
    return p[0] * q[0] + p[1] * q[1] + p[2] * q[2] >= 1.0 - GTolerance::kParallel;
}

} // namespace

G3Surface* G3SolidsBuilder::WholeFaces(G3Surface* s)
{
    const int edges = s->GetEdgeCount();
    std::vector<char> joins(static_cast<std::size_t>(edges), 0);
    bool any = false;
    for (int k = 0; k < edges; ++k) {
        const G3Edge* e = s->GetEdge(k);
        joins[static_cast<std::size_t>(k)] = OneFace(e->GetFacet1(), e->GetFacet2(), e->GetVertex1());
        any = any || joins[static_cast<std::size_t>(k)];
    }
    if (!any)
        return nullptr;
    G3Surface* whole = s->Duplicate();
    if (!whole || whole->GetEdgeCount() != edges || whole->GetFacetCount() != s->GetFacetCount()) {
        delete whole;
        return nullptr;
    }
    // The merge joins facets across edges whose flags meet its mask, and
    // across invisible ones whatever the mask: every edge is made visible,
    // and only those between facets of one face form-making. The shell
    // takes no edge flags over.
    for (int k = 0; k < edges; ++k)
        whole->GetEdge(k)->SetFlags(joins[static_cast<std::size_t>(k)] ? G3Edge::FLAG_FORM_MAKING
                                                                        : G3Edge::FLAG_VISIBLE);
    for (int k = 0; k < whole->GetFacetCount(); ++k)
        whole->GetFacet(k)->SetSurface(k);
    if (whole->UnionInPlaneFacets(G3Edge::FLAG_FORM_MAKING) == 0) {
        delete whole;
        return nullptr;
    }
    // A merged facet forms its plane from its outline; one that never had a
    // neighbour to merge with keeps its source's plane as it was.
    std::vector<char> merging(static_cast<std::size_t>(s->GetFacetCount()), 0);
    for (int k = 0; k < edges; ++k)
        if (joins[static_cast<std::size_t>(k)]) {
            const G3Edge* e = s->GetEdge(k);
            merging[static_cast<std::size_t>(e->GetFacet1()->GetId())] = 1;
            merging[static_cast<std::size_t>(e->GetFacet2()->GetId())] = 1;
        }
    for (int k = 0; k < whole->GetFacetCount(); ++k) {
        G3Facet* f = whole->GetFacet(k);
        if (f->GetSurface() >= 0 && f->GetSurface() < s->GetFacetCount() &&
            merging[static_cast<std::size_t>(f->GetSurface())])
            f->FormPlaneEquation();
    }
    whole->AssignIds();
    return whole;
}
