// Taking a surface's pieces out one at a time at the cost of each piece,
// for G3BooleanCalculator::Separate_Surface.
//
// A round of the separation copies the whole surface, removes from the
// copy every facet but the piece's (from the last down) and from the
// surface the piece's, runs RemoveUnused on both and Update(CHECK_LEVEL_
// WELD) on what is left. CopyOfComponent and RemoveComponent give the two
// lists as those walks leave them, touching only the piece's entities.
// The update is left out where PiecesComeApart has shown that it changes
// nothing, now or after any pieces have gone:
// - no polyedges or providers;
// - every corner names listed normals and texture coordinates, each one
//   named by some corner (RemoveUnused keeps them all), none a duplicate
//   (no two within the weld's distance, scratch link clear); a piece's
//   going takes those only its corners named, which RemoveComponent finds
//   by counting each one's corners;
// - each update stores every normal's G3UnitNormal, which moves some by a
//   last bit each time until they land on a value it keeps or on two it
//   swaps: each normal's values along the way are taken once (NormalOrbits),
//   a piece's copy gets the values the updates it was spared would have
//   given, and no duplicate and no facet against its normals appears at
//   any of those steps;
// - every facet single-sided with a facet on both sides of every edge (so
//   every piece is closed and the surface stays closed), or every facet
//   double-sided (no probe, no spread, nothing more to extend);
// - the weld finds no two vertices closer than its distance and no edge
//   from a vertex to itself (no facet collapses), every vertex has edges
//   and a clear scratch link, and no facet has fewer than three edges;
// - the join finds no pair of one-sided edges between the same vertices,
//   and no edge gives UnionFacets(4) two facets to try;
// - the orientation is settled (KeepsOrientation): with corner normals on
//   every facet none faces away from its normals, without them on any the
//   probes' votes are sure;
// - the pieces' boxes lie apart by at least the weld's distance: no
//   vertex of one welds to another's, no piece lies inside another, and
//   another piece lies wholly above or below a probe point of one, its
//   closed surface adding an even count of sure crossings or none.
// Each condition holds for any part of the surface made of whole pieces,
// so it is checked once. Invariants: ids are places throughout; nothing
// rounds (coordinates are copied, the boxes compared as they are).

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/CExData.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3SparsePointHash.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3SurfacePiece.h"
#include "Geometry/processing/G3Weld.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

bool OneSided(const G3Edge* e) { return (e->GetFacet1() != nullptr) != (e->GetFacet2() != nullptr); }

// Whether the join would find a one-sided edge between e's ends besides e.
bool JoinsAnother(const G3Edge* e, GArrayCollection* parallel)
{
    parallel->clear();
    e->GetVertex1()->GetEdges(e->GetVertex2(), parallel);
    for (int k = 0; k < parallel->size(); ++k) {
        const G3Edge* o = static_cast<const G3Edge*>(parallel->get(k));
        if (o != e && OneSided(o))
            return true;
    }
    return false;
}

// Whether MergeAcrossEdges(4) would try to merge e's facets.
bool MergeTried(G3Edge* e)
{
    if (!(e->GetFlags() & 4))
        return false;
    G3Facet* f1 = e->GetFacet1();
    G3Facet* f2 = e->GetFacet2();
    if (!f1 || !f2 || f1 == f2 || e->GetVertex1()->GetEdgeCount(e->GetVertex2()) != 2)
        return false;
    if (!e->IsLegalForMerge() || f1->GetMoveDirection(e) == f2->GetMoveDirection(e) ||
        f1->GetDoubleSided() != f2->GetDoubleSided())
        return false;
    CExData data;
    return data.MergeIds(f1->GetExtendedData(), f2->GetExtendedData());
}

bool EntitiesSettled(G3Surface* s)
{
    bool single = false;
    bool both = false;
    for (int k = 0; k < s->GetFacetCount(); ++k) {
        G3Facet* f = s->GetFacet(k);
        (f->GetDoubleSided() ? both : single) = true;
        if (f->GetEdgeCount() < 3)
            return false;
    }
    if (single && both)
        return false;
    GArrayCollection parallel;
    for (int k = 0; k < s->GetEdgeCount(); ++k) {
        G3Edge* e = s->GetEdge(k);
        if (!e->GetVertex1() || !e->GetVertex2() || e->GetVertex1() == e->GetVertex2())
            return false;
        if (!e->GetFacet1() && !e->GetFacet2())
            return false;
        if (OneSided(e) && (single || JoinsAnother(e, &parallel)))
            return false;
        if (MergeTried(e))
            return false;
    }
    for (int k = 0; k < s->GetVertexCount(); ++k)
        if (!s->GetVertex(k)->HasEdges() || s->GetVertex(k)->GetExData())
            return false;
    for (int r : G3WeldRepresentatives(s))
        if (r >= 0)
            return false;
    return true;
}

// Whether no two of `points` (three coordinates each) are one point to
// the weld: the pairs it would weld are the pairs within its distance,
// whatever else is hashed.
bool NoneWeld(const std::vector<double>& points)
{
    const std::size_t count = points.size() / 3;
    if (count == 0)
        return true;
    double lo[3];
    double hi[3];
    for (int k = 0; k < 3; ++k)
        lo[k] = hi[k] = points[static_cast<std::size_t>(k)];
    for (std::size_t i = 0; i < count; ++i)
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], points[3 * i + static_cast<std::size_t>(k)]);
            hi[k] = std::max(hi[k], points[3 * i + static_cast<std::size_t>(k)]);
        }
    G3SparsePointHash hash(static_cast<long>(count), lo, hi, GTolerance::kWeld);
    for (std::size_t i = 0; i < count; ++i)
        if (hash.Add(static_cast<int>(i), &points[3 * i]) >= 0)
            return false;
    return true;
}

// What the rest's updates make of its normals: each update stores
// G3UnitNormal of every normal, which moves about a third of unit vectors
// by a last bit or more, again and again, until each lands on a value the
// division keeps or on two it swaps. The values, from the normals' own on,
// go to `o` (orbit fields); `span` is how many steps show every set of
// values the rest's normals take together. False when a normal is not
// finite or settles only after kOrbitReach steps.
constexpr int kOrbitReach = 64;

bool NormalOrbits(G3Surface* s, G3PieceScratch* o, int* span)
{
    o->orbitStart.clear();
    o->orbitPre.clear();
    o->orbitPeriod.clear();
    o->orbitXyz.clear();
    o->round = 0;
    int pre = 0, cycle = 1;
    for (int k = 0; k < s->GetNormalCount(); ++k) {
        const double* v = s->G3Shell::GetNormal(k)->GetXYZ();
        if (!(std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2])))
            return false;
        const std::size_t start = o->orbitXyz.size() / 3;
        o->orbitXyz.insert(o->orbitXyz.end(), v, v + 3);
        for (std::size_t t = 1;; ++t) {
            if (t > static_cast<std::size_t>(kOrbitReach))
                return false;
            const double* last = &o->orbitXyz[3 * (start + t - 1)];
            double next[3];
            G3UnitNormal(last, next);
            const bool one = std::memcmp(next, last, sizeof next) == 0;
            if (one || (t >= 2 && std::memcmp(next, last - 3, sizeof next) == 0)) {
                const int period = one ? 1 : 2;
                o->orbitStart.push_back(static_cast<int>(start));
                o->orbitPre.push_back(static_cast<unsigned char>(t - static_cast<std::size_t>(period)));
                o->orbitPeriod.push_back(static_cast<unsigned char>(period));
                pre = std::max(pre, static_cast<int>(t) - period);
                cycle = std::max(cycle, period);
                break;
            }
            o->orbitXyz.insert(o->orbitXyz.end(), next, next + 3);
        }
    }
    *span = pre + cycle;
    return true;
}

// Whether RemoveEqualsNormal and RemoveUnused leave the normals and
// texture coordinates as they are, bar the normals' values along their
// orbits: every corner names listed ones, each is named by some corner,
// none is a duplicate (scratch link clear, no two within the weld's
// distance, the normals at none of the first `span` steps of their orbits).
bool CornersSettled(G3Surface* s, G3PieceScratch& orbits, int span)
{
    std::vector<int> normalUses;
    std::vector<int> texCooUses;
    if (!G3CountCornerUses(s, &normalUses, &texCooUses))
        return false;
    for (int k = 0; k < s->GetNormalCount(); ++k)
        if (normalUses[static_cast<std::size_t>(k)] == 0 || s->G3Shell::GetNormal(k)->GetExData())
            return false;
    // Texture coordinates as points in the plane z = 0, as the weld takes
    // them.
    std::vector<double> texCoos;
    for (int k = 0; k < s->GetTexCooCount(); ++k) {
        const G3TexCoo* t = s->GetTexCoo(k);
        if (texCooUses[static_cast<std::size_t>(k)] == 0 || t->GetExData())
            return false;
        texCoos.insert(texCoos.end(), {t->GetUV()[0], t->GetUV()[1], 0.0});
    }
    if (!NoneWeld(texCoos))
        return false;
    std::vector<double> normals;
    for (orbits.round = 0; orbits.round < span; ++orbits.round) {
        normals.clear();
        for (int k = 0; k < s->GetNormalCount(); ++k)
            normals.insert(normals.end(), orbits.OrbitValue(k), orbits.OrbitValue(k) + 3);
        if (!NoneWeld(normals))
            return false;
    }
    return true;
}

// The box of every piece (facets joined across edges), by place of the
// piece's first facet.
std::vector<GEnvelope> PieceBoxes(G3Surface* s)
{
    std::vector<GEnvelope> boxes;
    std::vector<char> seen(static_cast<std::size_t>(s->GetFacetCount()), 0);
    std::vector<G3Facet*> queue;
    for (int k = 0; k < s->GetFacetCount(); ++k) {
        if (seen[static_cast<std::size_t>(k)])
            continue;
        seen[static_cast<std::size_t>(k)] = 1;
        queue.assign(1, s->GetFacet(k));
        GEnvelope box;
        bool first = true;
        for (std::size_t head = 0; head < queue.size(); ++head) {
            const G3Facet* f = queue[head];
            for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
                for (const G3Vertex* v : {e->GetVertex1(), e->GetVertex2()}) {
                    if (first)
                        box.Init(v->GetXYZ());
                    else
                        box.Add(v->GetXYZ());
                    first = false;
                }
                for (G3Facet* g : {e->GetFacet1(), e->GetFacet2()}) {
                    if (!g || seen[static_cast<std::size_t>(g->GetId())])
                        continue;
                    seen[static_cast<std::size_t>(g->GetId())] = 1;
                    queue.push_back(g);
                }
            }
        }
        boxes.push_back(box);
    }
    return boxes;
}

// Whether every two boxes lie at least the weld's distance apart along
// some axis: a sweep along the axis the boxes spread most on.
bool BoxesApart(std::vector<GEnvelope>& boxes)
{
    if (boxes.size() < 2)
        return true;
    GEnvelope all = boxes[0];
    for (const GEnvelope& b : boxes)
        all.Add(&b);
    const int axis = all.GetMaxCoo();
    std::sort(boxes.begin(), boxes.end(),
              [axis](const GEnvelope& l, const GEnvelope& r) { return l.GetMin()[axis] < r.GetMin()[axis]; });
    const double gap = GTolerance::kWeld;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const GEnvelope& a = boxes[i];
        for (std::size_t j = i + 1; j < boxes.size() && boxes[j].GetMin()[axis] < a.GetMax()[axis] + gap; ++j) {
            const GEnvelope& b = boxes[j];
            bool apart = false;
            for (int d = 0; d < 3 && !apart; ++d)
                apart = a.GetMax()[d] + gap <= b.GetMin()[d] || b.GetMax()[d] + gap <= a.GetMin()[d];
            if (!apart)
                return false;
        }
    }
    return true;
}

// RemoveUnused's walk over `list` (remove at a slot, stay there: the last
// entity has moved in) for the entities `doomed`, the only ones it would
// remove: those at the end go as the walk would find them there, the rest
// from the lowest place up, each taking the last entity into its slot.
template <class T, class Drop>
void RemoveAsTheWalkDoes(const GArrayCollection* list, std::vector<T*>& doomed, Drop drop)
{
    std::sort(doomed.begin(), doomed.end(), [](const T* l, const T* r) { return l->GetId() < r->GetId(); });
    std::size_t low = 0;
    std::size_t high = doomed.size();
    while (low < high) {
        while (high - low > 1 && doomed[high - 1]->GetId() == list->size() - 1)
            drop(doomed[--high]);
        drop(doomed[low++]);
    }
}

} // namespace

bool G3Surface::PiecesComeApart(G3PieceScratch* orbits)
{
    if (!G3PiecesCopyAlone(this) || GetFacetCount() == 0)
        return false;
    AssignIds();
    G3PieceScratch local;
    G3PieceScratch& o = orbits ? *orbits : local;
    int span = 0;
    if (!EntitiesSettled(this) || !NormalOrbits(this, &o, &span) || !CornersSettled(this, o, span))
        return false;
    // The orientation at every step of the normals' orbits, from their own
    // values on, which are put back (one step without normals).
    bool kept = true;
    for (o.round = 0; kept && o.round < span; ++o.round) {
        G3NormalsAtRound(this, o);
        kept = KeepsOrientation();
    }
    o.round = 0;
    G3NormalsAtRound(this, o);
    if (!kept)
        return false;
    std::vector<GEnvelope> boxes = PieceBoxes(this);
    return BoxesApart(boxes);
}

void G3Surface::RemoveComponent(const std::vector<G3Facet*>& piece, G3PieceScratch* slots)
{
    std::vector<G3Edge*> lone;
    for (G3Facet* f : piece)
        for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f))
            lone.push_back(e);
    std::sort(lone.begin(), lone.end(), [](const G3Edge* l, const G3Edge* r) { return l->GetId() < r->GetId(); });
    lone.erase(std::unique(lone.begin(), lone.end()), lone.end());
    // The normals and texture coordinates whose last corners go with the
    // piece's edges: RemoveUnused takes them, and them only.
    std::vector<G3Normal*> unnamedNormals;
    std::vector<G3TexCoo*> unnamedTexCoos;
    for (const G3Edge* e : lone)
        e->ForEachCorner([&](G3Normal* n, G3TexCoo* t) {
            if (n && --slots->normalUses[static_cast<std::size_t>(n->GetId())] == 0)
                unnamedNormals.push_back(n);
            if (t && --slots->texCooUses[static_cast<std::size_t>(t->GetId())] == 0)
                unnamedTexCoos.push_back(t);
        });
    std::vector<G3Vertex*> bare;
    for (G3Edge* e : lone) {
        bare.push_back(e->GetVertex1());
        bare.push_back(e->GetVertex2());
    }
    std::sort(bare.begin(), bare.end(), [](const G3Vertex* l, const G3Vertex* r) { return l->GetId() < r->GetId(); });
    bare.erase(std::unique(bare.begin(), bare.end()), bare.end());

    // The facets from the last place down, as the walk over the list meets
    // them: a removal moves only a facet that stays.
    std::vector<G3Facet*> gone(piece);
    std::sort(gone.begin(), gone.end(), [](const G3Facet* l, const G3Facet* r) { return l->GetId() > r->GetId(); });
    for (G3Facet* f : gone)
        RemoveFacet(f);
    // The piece's edges have lost both facets with them; ids are places,
    // so RemoveEdge finds each slot at once.
    RemoveAsTheWalkDoes(edges, lone, [this](G3Edge* e) { RemoveEdge(e); });
    bare.erase(std::remove_if(bare.begin(), bare.end(), [](const G3Vertex* v) { return v->HasEdges(); }), bare.end());
    RemoveAsTheWalkDoes(vertices, bare, [this](G3Vertex* v) {
        RemoveVertexFromCollection(v);
        delete v;
    });
    // A removal moves the last entity, and its count, into the slot left.
    RemoveAsTheWalkDoes(normals, unnamedNormals, [this, slots](G3Normal* n) {
        const std::size_t at = static_cast<std::size_t>(n->GetId());
        std::vector<int>& uses = slots->normalUses;
        uses[at] = uses.back();
        uses.pop_back();
        if (!slots->orbitStart.empty()) {
            slots->orbitStart[at] = slots->orbitStart.back();
            slots->orbitPre[at] = slots->orbitPre.back();
            slots->orbitPeriod[at] = slots->orbitPeriod.back();
            slots->orbitStart.pop_back();
            slots->orbitPre.pop_back();
            slots->orbitPeriod.pop_back();
        }
        RemoveNormal(n);
    });
    RemoveAsTheWalkDoes(texCoos, unnamedTexCoos, [this, slots](G3TexCoo* t) {
        std::vector<int>& uses = slots->texCooUses;
        uses[static_cast<std::size_t>(t->GetId())] = uses.back();
        uses.pop_back();
        RemoveTexCoo(t);
    });
}
