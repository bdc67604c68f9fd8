// Merging of neighbouring facets (UnionFacets, UnionInPlaneFacets), hiding
// the edges between coplanar facets, and rebuilding self-intersecting
// facets.
//
// A facet made by a merge is made from the first facet of the merge
// (FacetMadeFrom): it carries that facet's records and named extended data
// (UnionFacets: the two facets' data merged), so attributes such as the
// material index reach every facet a merge makes. Contours are split by the
// chain's contour rule (G3ContourWalker). Mark3 (the group flag of
// UnionInPlaneFacets) is clear on return; no other mark or scratch link is
// used.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GTrace.h"
#include "Geometry/math/G3Math.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3EdgeCopy.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/mesh/G3PassCheck.h"
#include "Geometry/processing/G3EdgeList.h"
#include "Geometry/processing/G3FacetMadeFrom.h"
#include "Geometry/processing/G3SimpleCycle.h"

#include <array>
#include <cmath>
#include <deque>
#include <set>
#include <vector>

namespace {

// Plane coefficients compared one by one (MarkInPlaneEdgesAsInvisible2)
// are equal within the plane tolerance.
constexpr double kCoefficientTolerance = GTolerance::kPlaneEqual;
// Self-intersections are resolved at the boolean scale, so that the
// absolute tolerances of the edge lists act on a finer grain.
constexpr double kIntersectionScale = GTolerance::kBooleanScale;

// The other facet of e, seen from f.
G3Facet* Across(const G3Edge* e, const G3Facet* f) { return e->GetFacet1() == f ? e->GetFacet2() : e->GetFacet1(); }

// The contours of a head-to-tail edge list, as its edges.
std::vector<std::vector<G3Edge*>> ListContours(const G3EdgeList& list)
{
    std::vector<std::vector<G3Edge*>> out;
    G3ContourWalker w(&list);
    while (w.Next()) {
        if (w.Opens() || out.empty())
            out.emplace_back();
        out.back().push_back(w.GetEdge());
    }
    return out;
}

// Where in `contours` an edge joining e's two vertices is: contour and
// place, or false.
bool FindJoining(const std::vector<std::vector<G3Edge*>>& contours, const G3Edge* e, std::size_t* c, std::size_t* k)
{
    for (std::size_t i = 0; i < contours.size(); ++i) {
        for (std::size_t j = 0; j < contours[i].size(); ++j) {
            if (contours[i][j]->IsVertexEquals(e)) {
                *c = i;
                *k = j;
                return true;
            }
        }
    }
    return false;
}

bool Reverses(const G3Edge* a, const G3Edge* b)
{
    return a->GetVertex1() == b->GetVertex2() && a->GetVertex2() == b->GetVertex1();
}

// Cancels every step out and straight back (x -> y -> x), cyclically: the
// rest of a run of edges two merged facets shared.
std::vector<G3Edge*> CancelSpikes(const std::vector<G3Edge*>& seq)
{
    std::deque<G3Edge*> kept;
    for (G3Edge* e : seq) {
        if (!kept.empty() && Reverses(kept.back(), e))
            kept.pop_back();
        else
            kept.push_back(e);
    }
    while (kept.size() >= 2 && Reverses(kept.back(), kept.front())) {
        kept.pop_back();
        kept.pop_front();
    }
    return std::vector<G3Edge*>(kept.begin(), kept.end());
}

// A contour a facet can be built from: at least three edges, each starting
// where the one before it ends, through at least three vertices.
bool Closed(const std::vector<G3Edge*>& c)
{
    if (c.size() < 3)
        return false;
    std::set<long> ids;
    for (std::size_t k = 0; k < c.size(); ++k) {
        if (c[k]->GetVertex2() != c[(k + 1) % c.size()]->GetVertex1())
            return false;
        ids.insert(c[k]->GetVertex1()->GetId());
    }
    return ids.size() >= 3;
}

void AppendCopy(G3EdgeList& out, const G3Edge* e)
{
    G3TexCoo* t1 = nullptr;
    G3TexCoo* t2 = nullptr;
    G3Normal* n1 = e->GetFacet1V1(&t1);
    G3Normal* n2 = e->GetFacet1V2(&t2);
    out.AddEdge(e->GetVertex1(), e->GetVertex2(), n1, n2, t1, t2, static_cast<int>(e->GetFlags()));
}

// The facets on the sides of the edges joining a and b, in ring order.
void FacetsAlong(G3Vertex* a, G3Vertex* b, GArrayCollection& scratch, std::vector<G3Facet*>& out)
{
    out.clear();
    a->GetEdges(b, &scratch);
    for (int k = 0; k < scratch.size(); ++k) {
        const G3Edge* o = static_cast<G3Edge*>(scratch.get(k));
        if (o->GetFacet1())
            out.push_back(o->GetFacet1());
        if (o->GetFacet2())
            out.push_back(o->GetFacet2());
    }
}

} // namespace

// ------------------------------------------------------------ merging along an edge

bool G3Surface::MergeFacets(G3Edge* e, G3Facet* f1, G3Facet* f2)
{
    G3_CHECK_PASS(this, "MergeFacets");
    if (!e || !f1 || !f2 || f1 == f2)
        return false;
    G3EdgeList l1(f1);
    G3EdgeList l2(f2);
    const std::vector<std::vector<G3Edge*>> c1 = ListContours(l1);
    const std::vector<std::vector<G3Edge*>> c2 = ListContours(l2);
    std::size_t i1 = 0;
    std::size_t k1 = 0;
    std::size_t i2 = 0;
    std::size_t k2 = 0;
    if (!FindJoining(c1, e, &i1, &k1) || !FindJoining(c2, e, &i2, &k2))
        return false;

    // f1's contour up to e, f2's contour around from just after e, the rest
    // of f1's contour; then every other contour of either facet.
    const std::vector<G3Edge*>& a = c1[i1];
    const std::vector<G3Edge*>& b = c2[i2];
    std::vector<G3Edge*> joined(a.begin(), a.begin() + static_cast<long>(k1));
    for (std::size_t m = 1; m < b.size(); ++m)
        joined.push_back(b[(k2 + m) % b.size()]);
    joined.insert(joined.end(), a.begin() + static_cast<long>(k1) + 1, a.end());
    joined = CancelSpikes(joined);

    std::vector<std::vector<G3Edge*>> contours;
    for (std::size_t i = 0; i < c1.size(); ++i)
        contours.push_back(i == i1 ? joined : c1[i]);
    for (std::size_t i = 0; i < c2.size(); ++i)
        if (i != i2)
            contours.push_back(c2[i]);
    for (const std::vector<G3Edge*>& c : contours)
        if (!Closed(c))
            return false;

    G3EdgeList merged(l1.GetFacetFlags(), l1.GetFacetSurface());
    for (const std::vector<G3Edge*>& c : contours)
        for (const G3Edge* x : c)
            AppendCopy(merged, x);
    const long flags = f1->GetFlags();
    const int surfaceIndex = f1->GetSurface();
    RemoveFacet(f1);
    RemoveFacet(f2);
    G3Facet* made = AddFacet(&merged, static_cast<int>(flags), surfaceIndex);
    return made != nullptr;
}

int G3Surface::UnionFacets(int mask)
{
    G3_CHECK_PASS(this, "UnionFacets");
    const int count = MergeAcrossEdges(mask);
    if (count > 0)
        FormPlaneEquation();
    return count;
}

int G3Surface::UnionFacetsWithFreshPlanes(int mask)
{
    G3_CHECK_PASS(this, "UnionFacetsWithFreshPlanes");
    const int count = MergeAcrossEdges(mask);
    G3_CHECK_PLANES_FRESH(this, "UnionFacetsWithFreshPlanes");
    return count;
}

int G3Surface::MergeAcrossEdges(int mask)
{
    int count = 0;
    for (int k = 0; k < GetEdgeCount(); ++k) {
        G3Edge* e = GetEdge(k);
        if (!(e->GetFlags() & mask))
            continue;
        G3Facet* f1 = e->GetFacet1();
        G3Facet* f2 = e->GetFacet2();
        G3Vertex* a = e->GetVertex1();
        G3Vertex* b = e->GetVertex2();
        if (!f1 || !f2 || f1 == f2 || !a || !b || a->GetEdgeCount(b) != 2)
            continue;
        // Two separate shared runs would leave a slit, the same direction a
        // twist; a double-sided and a single-sided facet are not one face.
        if (!e->IsLegalForMerge() || f1->GetMoveDirection(e) == f2->GetMoveDirection(e) ||
            f1->GetDoubleSided() != f2->GetDoubleSided())
            continue;
        CExData data;
        if (!data.MergeIds(f1->GetExtendedData(), f2->GetExtendedData()))
            continue;
        const FacetMadeFrom source(this, f1, data);
        if (MergeFacets(e, f1, f2))
            ++count;
    }
    if (count > 0) {
        GTrace("UnionFacets: %d", count);
        RemoveUnused();
    }
    return count;
}

// ------------------------------------------------------------ merging in a plane

int G3Surface::UnionInPlaneFacets(int mask)
{
    G3_CHECK_PASS(this, "UnionInPlaneFacets");
    GArrayCollection snapshot(*facets);
    GArrayCollection group;
    int count = 0;
    // While nothing outside the surface watches facets come and go (no
    // shell provider, no object provider), a group merged by the short cut
    // is remade in its first facet instead of a new one: no facet is made
    // and none freed per group. The list is put at the end as the new
    // facets' appending would have left it.
    const bool remakeInPlace = !GetExDataProvider() && G3Obj::GetProviderList()->size() == 0;
    std::vector<G3Facet*> remade;
    std::vector<G3Facet*> appended;
    for (int k = 0; k < snapshot.size(); ++k) {
        G3Facet* f = static_cast<G3Facet*>(snapshot.get(k));
        if (f->GetMark3() || f->IsPlaneZero() || !f->HasEdges())
            continue;
        group.clear();
        f->SetMark3();
        group.add(f);
        for (int q = 0; q < group.size(); ++q) {
            G3Facet* g = static_cast<G3Facet*>(group.get(q));
            for (G3Edge* e = g->GetFirstEdge(); e; e = e->GetFacetEdge(g)) {
                if (!(e->IsInvisible() || mask == -1 || (e->GetFlags() & mask)))
                    continue;
                G3Facet* h = Across(e, g);
                if (!h || h->GetMark3() || h->GetDoubleSided() != f->GetDoubleSided())
                    continue;
                if (!h->IsPlaneZero() && !h->PlaneEquals(f->GetPlane()))
                    continue;
                // Last, as the dearest test (a walk round the vertex's ring):
                // one facet side on each side of the edge.
                if (!e->GetVertex1() || !e->GetVertex2() || e->GetVertex1()->GetEdgeCount2(e->GetVertex2()) != 2)
                    continue;
                h->SetMark3();
                group.add(h);
            }
        }
        if (group.size() < 2)
            continue;
        std::array<G3EdgeCopy, kSimpleCycleEdges> contour;
        int m = 0;
        const int listed = GetFacetCount();
        if (G3SimpleGroupContour(group, contour.data(), &m)) {
            const int flags = static_cast<int>(f->GetFlags());
            const int surfaceIndex = f->GetSurface();
            for (int q = 0; q < group.size(); ++q)
                static_cast<G3Facet*>(group.get(q))->RemoveEdges();
            const FacetMadeFrom source(this, f);
            if (!remakeInPlace) {
                AddFacetOfCopies(contour.data(), m, flags, surfaceIndex);
            } else if (RemakeFacetOfCopies(f, contour.data(), m, flags, surfaceIndex)) {
                remade.push_back(f);
                appended.push_back(f);
            }
            ++count;
            continue;
        }
        G3EdgeList list(f);
        f->RemoveEdges();
        for (int q = 1; q < group.size(); ++q) {
            G3Facet* g = static_cast<G3Facet*>(group.get(q));
            list.AddEdges(g);
            g->RemoveEdges();
        }
        GArrayCollection out;
        list.RemoveSelfIntersections(&out, this, true, UNION_EDGE_CANCEL_PAIRS, 0);
        const FacetMadeFrom source(this, f);
        AddFacets(&out);
        for (int i = listed; i < GetFacetCount(); ++i)
            appended.push_back(GetFacet(i));
        ++count;
    }
    GTrace("UnionInPlaneFacets  links_count=%d", count);
    ChangeFacetFlags(static_cast<int>(G3Obj::FLAG_MARK3), false);
    if (count > 0 && remade.empty()) {
        RemoveNonManifoldEdges();
    } else if (count > 0) {
        JoinNonManifoldEdges();
        RemoveUnusedAfterRemaking(snapshot.size(), remade, appended);
    }
    return count;
}

void G3Surface::RemoveUnusedAfterRemaking(int listed, const std::vector<G3Facet*>& remade,
                                          const std::vector<G3Facet*>& appended)
{
    // RemoveUnused, step for step, with the facet list taken as it would
    // have been: the first `listed` facets in their slots (a remade one's
    // slot left by a dead facet, null here), then the appended ones.
    RemoveUnusedEdge();
    RemoveUnusedVertex();
    std::vector<G3Facet*> list;
    list.reserve(static_cast<std::size_t>(listed) + appended.size());
    for (int i = 0; i < listed; ++i)
        list.push_back(GetFacet(i));
    for (const G3Facet* f : remade)
        list[static_cast<std::size_t>(f->GetId())] = nullptr;
    list.insert(list.end(), appended.begin(), appended.end());
    // RemoveUnusedFacet's walk: a facet without edges goes, the last one
    // takes its slot, and the slot is looked at again.
    std::vector<G3Facet*> dead;
    for (std::size_t i = 0; i < list.size();) {
        G3Facet* f = list[i];
        if (f && f->HasEdges()) {
            ++i;
            continue;
        }
        list[i] = list.back();
        list.pop_back();
        if (f)
            dead.push_back(f);
    }
    facets->clear();
    for (G3Facet* f : list) {
        f->SetId(facets->size());
        facets->add(f);
    }
    for (G3Facet* f : dead) {
        CloseExDataFacet(f);
        delete f;
    }
    RemoveUnusedNormal();
    RemoveUnusedTexCoo();
}

// ------------------------------------------------------------ hiding edges in a plane

namespace {

// Whether the facets along a-b (an even number of them) let the edge be
// hidden.
using HideRule = bool (*)(const std::vector<G3Facet*>& along, G3Vertex* a, G3Vertex* b);

// Coplanar facets that lie on both sides of the edge: a fold between
// overlapping coplanar facets (all on one side) stays visible.
bool InOnePlaneOnBothSides(const std::vector<G3Facet*>& along, G3Vertex* a, G3Vertex* b)
{
    bool negative = false;
    bool positive = false;
    for (G3Facet* f : along) {
        if (!f->PlaneEquals(along[0]->GetPlane()))
            return false;
        int i = 0;
        int j = 1;
        f->GetMaxCoo(&i, &j);
        const int side = f->GetIntersectionSignByEdge(a, b, i, j);
        negative = negative || side < 0;
        positive = positive || side > 0;
    }
    return negative && positive;
}

// Facets whose plane coefficients agree one by one.
bool EqualPlaneCoefficients(const std::vector<G3Facet*>& along, G3Vertex*, G3Vertex*)
{
    const double* ref = along[0]->GetPlane();
    for (const G3Facet* f : along)
        for (int c = 0; c < 4; ++c)
            if (!(std::fabs(f->GetPlane()[c] - ref[c]) < kCoefficientTolerance))
                return false;
    return true;
}

// Clears the flags of every visible edge whose facets `rule` accepts;
// returns how many.
int HideEdges(G3Surface* s, HideRule rule)
{
    GArrayCollection scratch;
    std::vector<G3Facet*> along;
    int count = 0;
    for (int k = 0; k < s->GetEdgeCount(); ++k) {
        G3Edge* e = s->GetEdge(k);
        G3Vertex* a = e->GetVertex1();
        G3Vertex* b = e->GetVertex2();
        if (e->IsInvisible() || !a || !b)
            continue;
        FacetsAlong(a, b, scratch, along);
        if (along.empty() || along.size() % 2 != 0 || !rule(along, a, b))
            continue;
        e->SetFlags(0);
        ++count;
    }
    return count;
}

} // namespace

int G3Surface::MarkInPlaneEdgesAsInvisible()
{
    G3_CHECK_PASS(this, "MarkInPlaneEdgesAsInvisible");
    return HideEdges(this, InOnePlaneOnBothSides);
}

int G3Surface::MarkInPlaneEdgesAsInvisible2()
{
    G3_CHECK_PASS(this, "MarkInPlaneEdgesAsInvisible2");
    return HideEdges(this, EqualPlaneCoefficients);
}

void G3Surface::ExtendDoubleSidedFacets()
{
    G3_CHECK_PASS(this, "ExtendDoubleSidedFacets");
    for (int k = GetFacetCount() - 1; k >= 0; --k)
        GetFacet(k)->SetDoubleSided();
}

// ------------------------------------------------------------ self-intersections

bool G3Surface::RemoveSelfIntersections()
{
    G3_CHECK_PASS(this, "RemoveSelfIntersections");
    GTrace("RemoveSelfIntersections");
    RemoveEqualsVertex();
    ScaleCoo(kIntersectionScale);
    for (int k = 0; k < GetFacetCount(); ++k) {
        G3Facet* f = GetFacet(k);
        double plane[4] = {0.0, 0.0, 0.0, 0.0};
        int i = 0;
        int j = 1;
        G3FacetVertexIterator it(f);
        G3Math::FormMaxPlaneCoo(&it, &i, &j, plane);
        f->SetPlane(plane);
    }
    GArrayCollection snapshot(*facets);
    bool rebuilt = false;
    for (int k = 0; k < snapshot.size(); ++k) {
        G3Facet* f = static_cast<G3Facet*>(snapshot.get(k));
        G3EdgeList list(f);
        if (!list.TestSelfIntersections())
            continue;
        const FacetMadeFrom source(this, f);
        RemoveFacet(f);
        GArrayCollection out;
        list.RemoveSelfIntersections(&out, this, true, UNION_EDGE_CANCEL_PAIRS, 0);
        AddFacets(&out);
        rebuilt = true;
    }
    RemoveNonManifoldEdges();
    RemoveEqualsNormal();
    RemoveUnused();
    ScaleCoo(1.0 / kIntersectionScale);
    FormPlaneEquation();
    GTrace("RemoveSelfIntersections Ok");
    return rebuilt;
}
