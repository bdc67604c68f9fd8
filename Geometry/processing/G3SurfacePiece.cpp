// The copy of one connected piece of a surface, built from the piece's own
// entities, for Explode and for the separation's rounds.
//
// Explode's pieces were once copies of the whole surface less the other
// pieces' facets, welded with Update(CHECK_LEVEL_WELD). CopyOfPiece builds
// the part of such a copy that the weld's vertex pass reads, and nothing
// else, so that each piece costs what the piece holds:
// - the piece's facets, in the order the removal walk over the whole
//   facet list leaves them (G3OrderAfterRemovals), their marks cleared;
// - the piece's edges, the vertices they name and the representatives the
//   weld gives those vertices, the normals and texture coordinates the
//   edges' corners name, each list in the whole surface's order;
// - vertex rings holding the piece's edges in the whole rings' order (the
//   other pieces' edges left the rings with their facets; loose edges left
//   there leave with the weld's edge walk before any ring is read for
//   anything but its order);
// - every vertex's scratch link naming its representative, as the weld's
//   point hash over the whole vertex list names it.
// RemoveEqualsVertexOfPiece then finishes the weld's vertex pass with the
// whole lists' places. CopyOfComponent builds what a copy of the whole
// surface is left as once the walk from the last facet down has removed
// the other facets and RemoveUnused the rest of theirs: the facets in
// that walk's order (G3OrderAfterBackwardRemovals), every other list in
// the order of RemoveUnused's walks, each vertex's scratch link copied.
// Invariants: this surface is only read (its ids are
// its places, the caller restores them first); the scratch slots come back
// as they were given (all -1). Nothing rounds: coordinates are copied.

#include "Geometry/processing/G3SurfacePiece.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>
#include <deque>

std::vector<int> G3OrderAfterRemovals(const std::vector<int>& kept)
{
    const int m = static_cast<int>(kept.size());
    std::vector<int> order(static_cast<std::size_t>(m), -1);
    for (int k = 0; k < m; ++k)
        if (kept[static_cast<std::size_t>(k)] < m)
            order[static_cast<std::size_t>(kept[static_cast<std::size_t>(k)])] = k;
    // The kept entities at m or above are the last ones of `kept`, as many
    // as the free slots below m.
    int from = m - 1;
    for (int slot = 0; slot < m; ++slot)
        if (order[static_cast<std::size_t>(slot)] < 0)
            order[static_cast<std::size_t>(slot)] = from--;
    return order;
}

std::vector<int> G3OrderAfterBackwardRemovals(const std::vector<int>& kept, int length)
{
    // The kept entities above the walk's place, in slot order: a removal
    // with some above moves the last of them into its slot, which makes it
    // the first; a removal with none above only shortens the list.
    std::deque<int> above;
    int next = static_cast<int>(kept.size()) - 1;
    for (int k = length - 1; k >= 0;) {
        if (next >= 0 && kept[static_cast<std::size_t>(next)] == k) {
            above.push_front(next--);
            --k;
            continue;
        }
        const int low = next >= 0 ? kept[static_cast<std::size_t>(next)] + 1 : 0;
        if (!above.empty()) {
            const std::size_t turns = static_cast<std::size_t>(k - low + 1) % above.size();
            for (std::size_t t = 0; t < turns; ++t) {
                above.push_front(above.back());
                above.pop_back();
            }
        }
        k = low - 1;
    }
    return std::vector<int>(above.begin(), above.end());
}

bool G3PiecesCopyAlone(G3Surface* s)
{
    return s && !s->GetExDataProvider() && G3Obj::GetProviderList()->size() == 0 && s->GetPolyEdgeCount() == 0 &&
           s->GetVertexList() && s->GetEdgeList() && s->GetFacetList() && s->GetNormalList() && s->GetTexCooList();
}

namespace {

// The entity at `e`'s id in `c` is `e` (it is listed there).
template <class T>
bool Listed(const GArrayCollection* c, const T* e)
{
    return e && e->GetId() >= 0 && e->GetId() < c->size() && c->get(static_cast<int>(e->GetId())) == e;
}

// Takes the listed entity `e` into `at` once, `slot` noting it (0 until the
// places are sorted).
template <class T>
void Take(const GArrayCollection* c, const T* e, std::vector<int>& slot, std::vector<int>& at)
{
    if (!Listed(c, e))
        return;
    int& s = slot[static_cast<std::size_t>(e->GetId())];
    if (s >= 0)
        return;
    s = 0;
    at.push_back(static_cast<int>(e->GetId()));
}

// Sorts the places taken and notes each one's slot in the copy.
void Number(std::vector<int>& at, std::vector<int>& slot)
{
    std::sort(at.begin(), at.end());
    for (std::size_t k = 0; k < at.size(); ++k)
        slot[static_cast<std::size_t>(at[k])] = static_cast<int>(k);
}

// Orders the places taken as the removal walk over the whole list leaves
// them and notes each one's slot in the copy.
void NumberAfterRemovals(std::vector<int>& at, std::vector<int>& slot)
{
    std::sort(at.begin(), at.end());
    const std::vector<int> order = G3OrderAfterRemovals(at);
    std::vector<int> sorted(at);
    for (std::size_t k = 0; k < order.size(); ++k) {
        at[k] = sorted[static_cast<std::size_t>(order[k])];
        slot[static_cast<std::size_t>(at[k])] = static_cast<int>(k);
    }
}

void Release(const std::vector<int>& at, std::vector<int>& slot)
{
    for (int p : at)
        slot[static_cast<std::size_t>(p)] = -1;
}

// The copy's entity for `e` of the whole surface: null for null or an
// entity not taken.
template <class T>
T* Mapped(const GArrayCollection* whole, const GArrayCollection* copy, const T* e, const std::vector<int>& slot)
{
    if (!Listed(whole, e))
        return nullptr;
    const int s = slot[static_cast<std::size_t>(e->GetId())];
    return s >= 0 ? static_cast<T*>(copy->get(s)) : nullptr;
}

// The edges of the facets at `facetAt` and the vertices, normals and
// texture coordinates of those edges, each taken once; the places are
// numbered afterwards, so the order they are taken in does not matter.
void TakeParts(const G3Surface& s, const std::vector<int>& facetAt, G3PieceScratch* slots, G3PiecePlaces* places)
{
    for (int p : facetAt) {
        const G3Facet* f = s.GetFacet(p);
        for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f))
            Take(s.GetEdgeList(), e, slots->edge, places->edgeAt);
    }
    for (int p : places->edgeAt) {
        const G3Edge* e = s.GetEdge(p);
        Take(s.GetVertexList(), e->GetVertex1(), slots->vertex, places->vertexAt);
        Take(s.GetVertexList(), e->GetVertex2(), slots->vertex, places->vertexAt);
        e->ForEachCorner([&](const G3Normal* n, const G3TexCoo* t) {
            Take(s.GetNormalList(), n, slots->normal, places->normalAt);
            Take(s.GetTexCooList(), t, slots->texCoo, places->texCooAt);
        });
    }
}

} // namespace

const double* G3PieceScratch::OrbitValue(int place) const
{
    const std::size_t at = static_cast<std::size_t>(place);
    const int pre = orbitPre[at], period = orbitPeriod[at];
    const int step = round < pre ? round : pre + (round - pre) % period;
    return &orbitXyz[3 * static_cast<std::size_t>(orbitStart[at] + step)];
}

void G3NormalsAtRound(G3Surface* s, const G3PieceScratch& o)
{
    for (int k = 0; k < s->GetNormalCount(); ++k) {
        const double* xyz = o.OrbitValue(k);
        std::copy(xyz, xyz + 3, s->G3Shell::GetNormal(k)->GetXYZ());
    }
}

void G3PieceScratch::Size(G3Surface* s)
{
    vertex.assign(static_cast<std::size_t>(s->GetVertexCount()), -1);
    edge.assign(static_cast<std::size_t>(s->GetEdgeCount()), -1);
    facet.assign(static_cast<std::size_t>(s->GetFacetCount()), -1);
    normal.assign(static_cast<std::size_t>(s->GetNormalCount()), -1);
    texCoo.assign(static_cast<std::size_t>(s->GetTexCooCount()), -1);
}

bool G3CountCornerUses(G3Surface* s, std::vector<int>* normalUses, std::vector<int>* texCooUses)
{
    normalUses->assign(static_cast<std::size_t>(s->GetNormalCount()), 0);
    texCooUses->assign(static_cast<std::size_t>(s->GetTexCooCount()), 0);
    bool listed = true;
    for (int k = 0; k < s->GetEdgeCount() && listed; ++k)
        s->GetEdge(k)->ForEachCorner([&](const G3Normal* n, const G3TexCoo* t) {
            if ((n && !Listed(s->GetNormalList(), n)) || (t && !Listed(s->GetTexCooList(), t)))
                listed = false;
            else if (n)
                ++(*normalUses)[static_cast<std::size_t>(n->GetId())];
            if (listed && t)
                ++(*texCooUses)[static_cast<std::size_t>(t->GetId())];
        });
    return listed;
}

G3Surface* G3Surface::CopyOfPiece(GArrayCollection* piece, const std::vector<int>& representatives,
                                  G3PieceScratch* slots, G3PiecePlaces* places)
{
    // The facets as the walk over the whole list leaves them.
    std::vector<int> facetAt;
    for (int k = 0; k < piece->size(); ++k)
        Take(facets, static_cast<G3Facet*>(piece->get(k)), slots->facet, facetAt);
    std::sort(facetAt.begin(), facetAt.end());
    const std::vector<int> facetOrder = G3OrderAfterRemovals(facetAt);
    for (std::size_t k = 0; k < facetOrder.size(); ++k)
        slots->facet[static_cast<std::size_t>(facetAt[static_cast<std::size_t>(facetOrder[k])])] =
            static_cast<int>(k);

    places->vertexAt.clear();
    places->edgeAt.clear();
    places->normalAt.clear();
    places->texCooAt.clear();
    TakeParts(*this, facetAt, slots, places);
    Number(places->edgeAt, slots->edge);
    const std::size_t named = places->vertexAt.size();
    for (std::size_t k = 0; k < named; ++k) {
        const int r = representatives[static_cast<std::size_t>(places->vertexAt[k])];
        if (r >= 0)
            Take(vertices, GetVertex(r), slots->vertex, places->vertexAt);
    }
    Number(places->vertexAt, slots->vertex);
    Number(places->normalAt, slots->normal);
    Number(places->texCooAt, slots->texCoo);

    std::vector<int> facetsAt(facetOrder.size());
    for (std::size_t k = 0; k < facetOrder.size(); ++k)
        facetsAt[k] = facetAt[static_cast<std::size_t>(facetOrder[k])];
    G3Surface* d = CopyOfPlaces(facetsAt, *places, *slots, &representatives);

    Release(facetAt, slots->facet);
    Release(places->vertexAt, slots->vertex);
    Release(places->edgeAt, slots->edge);
    Release(places->normalAt, slots->normal);
    Release(places->texCooAt, slots->texCoo);
    return d;
}

G3Surface* G3Surface::CopyOfComponent(const std::vector<G3Facet*>& piece, G3PieceScratch* slots)
{
    // The facets as the walk from the last slot down leaves them.
    std::vector<int> facetAt;
    for (G3Facet* f : piece)
        Take(facets, f, slots->facet, facetAt);
    std::sort(facetAt.begin(), facetAt.end());
    const std::vector<int> facetOrder = G3OrderAfterBackwardRemovals(facetAt, GetFacetCount());
    std::vector<int> facetsAt(facetOrder.size());
    for (std::size_t k = 0; k < facetOrder.size(); ++k) {
        facetsAt[k] = facetAt[static_cast<std::size_t>(facetOrder[k])];
        slots->facet[static_cast<std::size_t>(facetsAt[k])] = static_cast<int>(k);
    }
    // The rest as RemoveUnused's walks leave them.
    G3PiecePlaces places;
    TakeParts(*this, facetAt, slots, &places);
    NumberAfterRemovals(places.edgeAt, slots->edge);
    NumberAfterRemovals(places.vertexAt, slots->vertex);
    NumberAfterRemovals(places.normalAt, slots->normal);
    NumberAfterRemovals(places.texCooAt, slots->texCoo);
    G3Surface* d = CopyOfPlaces(facetsAt, places, *slots, nullptr);
    Release(facetAt, slots->facet);
    Release(places.vertexAt, slots->vertex);
    Release(places.edgeAt, slots->edge);
    Release(places.normalAt, slots->normal);
    Release(places.texCooAt, slots->texCoo);
    return d;
}

G3Surface* G3Surface::CopyOfPlaces(const std::vector<int>& facetsAt, const G3PiecePlaces& places,
                                   const G3PieceScratch& slots, const std::vector<int>* representatives)
{
    // The entities, each as Copy makes it.
    G3Surface* d = new G3Surface(static_cast<int>(places.vertexAt.size()), static_cast<int>(places.normalAt.size()),
                                 static_cast<int>(facetsAt.size()));
    d->G3Obj::Copy(this);
    d->exData = nullptr;
    const int S0 = d->nextSurface;
    for (int p : places.vertexAt) {
        const G3Vertex* sv = GetVertex(p);
        G3Vertex* v = d->AddVertex(sv->GetXYZ(), 0);
        v->SetFlags(sv->GetFlags());
        v->GetExtendedData() = sv->GetExtendedData();
    }
    for (int p : places.normalAt) {
        const G3Normal* sn = G3Shell::GetNormal(p);
        G3Normal* n = d->AddNormal(sn);
        if (!slots.orbitStart.empty()) {
            const double* xyz = slots.OrbitValue(p);
            std::copy(xyz, xyz + 3, n->GetXYZ());
        }
        n->SetFlags(sn->GetFlags());
        d->SetOwnExData(n, GetOwnExData(sn));
        n->GetExtendedData() = sn->GetExtendedData();
    }
    for (int p : places.texCooAt) {
        const G3TexCoo* st = GetTexCoo(p);
        G3TexCoo* t = d->AddTexCoo(st);
        t->SetFlags(st->GetFlags());
        t->SetExData(st->GetExData());
        t->GetExtendedData() = st->GetExtendedData();
    }
    for (int p : places.edgeAt) {
        const G3Edge* se = GetEdge(p);
        G3Edge* e = new G3Edge(Mapped(vertices, d->vertices, se->GetVertex1(), slots.vertex),
                               Mapped(vertices, d->vertices, se->GetVertex2(), slots.vertex));
        d->AddEdgeToCollection(e);
        e->SetFlags(se->GetFlags());
        e->SetExData(se->GetExData());
        e->GetExtendedData() = se->GetExtendedData();
        if (se->HasGeometry())
            for (int side = 1; side <= 2; ++side)
                for (int end = 1; end <= 2; ++end) {
                    G3TexCoo* t = nullptr;
                    G3Normal* n = se->GetCorner(side, end, &t);
                    e->SetCorner(side, end, Mapped(normals, d->normals, n, slots.normal),
                                 Mapped(texCoos, d->texCoos, t, slots.texCoo));
                }
    }
    for (int p : facetsAt) {
        G3Facet* sf = GetFacet(p);
        G3Facet* f = new G3Facet();
        f->SetFirstEdge(Mapped(edges, d->edges, sf->GetFirstEdge(), slots.edge));
        f->SetLastEdge(Mapped(edges, d->edges, sf->GetLastEdge(), slots.edge));
        const CExData savedDefault = d->extendedDataFacetDefault;
        d->extendedDataFacetDefault = sf->GetExtendedData();
        d->LockExDataProvider();
        d->AddFacetToCollection(f);
        d->UnLockExDataProvider();
        d->extendedDataFacetDefault = savedDefault;
        f->SetSurface(sf->GetSurface() + S0);
        d->SetOwnExData(f, GetOwnExData(sf));
        // The removal walk cleared the marks naming the piece.
        f->SetFlags(sf->GetFlags() & ~(G3Obj::FLAG_MARK3 | G3Obj::FLAG_MARK4));
        f->SetPlane(sf->GetPlane());
    }

    // Links: facet sides and chains as they are, rings less the edges not
    // taken.
    for (std::size_t k = 0; k < places.edgeAt.size(); ++k) {
        const G3Edge* se = GetEdge(places.edgeAt[k]);
        G3Edge* e = d->GetEdge(static_cast<int>(k));
        // A side whose facet is not in the piece (one the caller's Mark3
        // kept out) is left as removing that facet leaves it: no facet, no
        // chain link, its corners kept.
        e->SetFacet1(Mapped(facets, d->facets, se->GetFacet1(), slots.facet));
        e->SetFacet2(Mapped(facets, d->facets, se->GetFacet2(), slots.facet));
        if (e->GetFacet1())
            e->SetFacet1Edge(Mapped(edges, d->edges, se->GetFacet1Edge(), slots.edge));
        if (e->GetFacet2())
            e->SetFacet2Edge(Mapped(edges, d->edges, se->GetFacet2Edge(), slots.edge));
    }
    for (std::size_t k = 0; k < places.vertexAt.size(); ++k) {
        const G3Vertex* sv = GetVertex(places.vertexAt[k]);
        G3Vertex* v = d->GetVertex(static_cast<int>(k));
        G3Edge* last = nullptr;
        for (G3Edge* x = sv->GetFirstEdge(); x; x = x->GetVertexEdge(sv)) {
            G3Edge* e = Mapped(edges, d->edges, x, slots.edge);
            if (!e)
                continue;
            if (last)
                last->SetVertexEdge(v, e);
            else
                v->SetFirstEdge(e);
            last = e;
        }
        v->SetLastEdge(last);
        if (last)
            last->SetVertexEdge(v, nullptr);
        if (!representatives) {
            d->SetOwnExData(v, GetOwnExData(sv));
            continue;
        }
        const int r = (*representatives)[static_cast<std::size_t>(places.vertexAt[k])];
        v->SetExData(r >= 0 ? d->GetVertex(slots.vertex[static_cast<std::size_t>(r)]) : nullptr);
    }
    d->nextSurface = nextSurface + S0;
    d->materialFacetsCount += materialFacetsCount;
    d->selectedFacetsCount = selectedFacetsCount;
    return d;
}
