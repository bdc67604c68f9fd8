// Merging of neighbouring facets (UnionFacets, UnionInPlaneFacets), hiding
// the edges between coplanar facets, and rebuilding self-intersecting
// facets.
//
// A facet made by a merge is made from the first facet of the merge
// (FacetMadeFrom): it carries that facet's records and the merged facets'
// named extended data (CExData::MergeIds), so attributes such as the
// material index reach every facet a merge makes. Facets whose data cannot
// be merged (two different maps) are never merged. Contours are split by
// the chain's contour rule (G3ContourWalker).
//
// UnionInPlaneFacets keeps the surface where it is: a facet joins a group
// only when each of its corners lies within the flatness tolerance of the
// group's first facet, and a group is merged only when every corner of
// every member lies within that tolerance of each merged facet's plane (a
// facet that is not flat would be cut along new diagonals later). A merged
// facet with holes holds each hole as a contour of its own after its outer
// contour, run the other way; no contour runs along a bridge out and back.
// Mark3 (the group flag) is clear on return; no other mark or scratch link
// is used.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GTrace.h"
#include "Geometry/math/G3Math.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3EdgeCopy.h"
#include "Geometry/mesh/CExData.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/mesh/G3PassCheck.h"
#include "Geometry/processing/G3EdgeList.h"
#include "Geometry/processing/G3FacetsOfContours.h"
#include "Geometry/processing/G3FacetMadeFrom.h"
#include "Geometry/processing/G3SimpleCycle.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <set>
#include <unordered_map>
#include <utility>
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

// The signed distance of p from a plane whose normal is of unit length.
double PlaneValue(const double* p, const double* plane)
{
    return plane[0] * p[0] + plane[1] * p[1] + plane[2] * p[2] + plane[3];
}

// Whether every corner of f (each end of each chain edge) lies within the
// flatness tolerance of `plane`.
bool CornersOnPlane(const G3Facet* f, const double* plane)
{
    for (const G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f))
        for (const G3Vertex* v : {e->GetVertex1(), e->GetVertex2()})
            if (v && !(std::fabs(PlaneValue(v->GetXYZ(), plane)) <= GTolerance::kFlatness))
                return false;
    return true;
}

// The corners of a group measured against its first facet's plane: a facet
// joins only with its corners within the flatness tolerance of that plane
// (only then can it be part of a facet of that plane without the surface
// moving: a merged facet that is not flat would be cut into triangles again
// along new diagonals). Keeps the largest distance taken and the box of the
// corners, from which most merged planes are told to fit every corner
// without walking them again.
class GroupCorners {
public:
    explicit GroupCorners(const double* seedPlane) : plane(seedPlane) {}

    // Takes f's corners but a and b (taken already) when each lies within
    // the flatness tolerance of the plane; false, nothing taken, otherwise.
    bool Take(const G3Facet* f, const G3Vertex* a, const G3Vertex* b)
    {
        double far = worst;
        double lo[3] = {box[0], box[1], box[2]};
        double hi[3] = {box[3], box[4], box[5]};
        const G3Vertex* last = nullptr;
        for (const G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
            for (const G3Vertex* v : {e->GetVertex1(), e->GetVertex2()}) {
                if (!v || v == a || v == b || v == last)
                    continue;
                last = v;
                const double* x = v->GetXYZ();
                const double d = std::fabs(PlaneValue(x, plane));
                if (!(d <= GTolerance::kFlatness))
                    return false;
                far = d > far ? d : far;
                for (int c = 0; c < 3; ++c) {
                    lo[c] = x[c] < lo[c] ? x[c] : lo[c];
                    hi[c] = x[c] > hi[c] ? x[c] : hi[c];
                }
            }
        }
        worst = far;
        for (int c = 0; c < 3; ++c) {
            box[c] = lo[c];
            box[3 + c] = hi[c];
        }
        return true;
    }

    // Whether every corner taken lies within the flatness tolerance of
    // `other` (a plane whose normal is of unit length): told by the bound
    // of ClearlyFit, else by walking the group's corners.
    bool Fit(const GArrayCollection& group, const double* other) const
    {
        if (ClearlyFit(other))
            return true;
        for (int q = 0; q < group.size(); ++q)
            if (!CornersOnPlane(static_cast<const G3Facet*>(group.get(q)), other))
                return false;
        return true;
    }

    // Whether every corner taken lies well within the flatness tolerance of
    // `other`. A corner's distance from it is at most its distance from the
    // first plane plus the difference of the two planes' values there, a
    // linear function and so bounded over the box by its value at the
    // centre and its slopes. Within half the tolerance, a plane that differs
    // from `other` by rounding only holds every corner too.
    bool ClearlyFit(const double* other) const
    {
        // The difference at the box's centre, and how far it can change
        // towards a corner of the box.
        double centre = other[3] - plane[3];
        double reach = 0.0;
        for (int c = 0; c < 3; ++c) {
            const double slope = other[c] - plane[c];
            centre += slope * 0.5 * (box[c] + box[3 + c]);
            reach += std::fabs(slope) * 0.5 * (box[3 + c] - box[c]);
        }
        return worst + std::fabs(centre) + reach <= 0.5 * GTolerance::kFlatness;
    }

private:
    const double* plane;
    double worst = 0.0;
    double box[6] = {HUGE_VAL, HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
};

// The plane a facet built of the copies (head to tail, contour after
// contour) forms: FormPlaneEquation's plane, each contour closed on itself
// (a contour starts where a copy does not begin at its predecessor's end).
// False for the zero plane, which no merged facet may take.
bool PlaneOfCopies(const G3EdgeCopy* copies, int n, double* plane)
{
    std::array<const double*, kSimpleCycleEdges> few{};
    std::vector<const double*> more;
    std::vector<int> starts;
    if (n > kSimpleCycleEdges)
        more.resize(static_cast<std::size_t>(n));
    const double** corners = n > kSimpleCycleEdges ? more.data() : few.data();
    for (int k = 0; k < n; ++k) {
        corners[k] = copies[k].v1->GetXYZ();
        if (k > 0 && copies[k].v1 != copies[k - 1].v2) {
            if (starts.empty())
                starts.push_back(0);
            starts.push_back(k);
        }
    }
    if (starts.empty())
        return G3Math::PlaneOfPolygon(corners, n, plane);
    return G3Math::PlaneOfContours(corners, n, starts.data(), static_cast<int>(starts.size()), plane);
}

// Whether the facet of these copies would keep every corner of the group
// within the flatness tolerance of its plane.
bool FitsCopies(const GroupCorners& corners, const GArrayCollection& group, const G3EdgeCopy* copies, int n)
{
    double plane[4] = {0.0, 0.0, 0.0, 0.0};
    return PlaneOfCopies(copies, n, plane) && corners.Fit(group, plane);
}

// The loops of a resolved contour (a head-to-tail list whose edges carry
// their corners on side 1), as copies, each passing every vertex once:
// where the walk comes back to a vertex it has passed, the run since then
// is a loop of its own (the walk went round a hole touching the outer
// contour at a vertex, or round two holes touching each other). False when
// the list is not one closed run or a loop is shorter than three edges.
bool SplitIntoLoops(const G3EdgeList* c, std::vector<std::vector<G3EdgeCopy>>& loops)
{
    const int n = c->size();
    if (n < 3)
        return false;
    // Looked up only: the loops come out in the walk's order.
    std::unordered_map<const G3Vertex*, std::size_t> at;
    std::vector<G3EdgeCopy> run;
    const G3Vertex* standing = nullptr;
    for (int k = 0; k < n; ++k) {
        const G3EdgeCopy e = G3EdgeCopyOf(c->GetEdge(k), 1);
        if (!e.v1 || !e.v2 || (k > 0 && e.v1 != standing))
            return false;
        if (k == 0)
            at.emplace(e.v1, 0);
        standing = e.v2;
        run.push_back(e);
        const auto passed = at.find(e.v2);
        if (passed == at.end()) {
            at.emplace(e.v2, run.size());
            continue;
        }
        const std::size_t from = passed->second;
        if (run.size() - from < 3)
            return false;
        for (std::size_t j = from + 1; j < run.size(); ++j)
            at.erase(run[j].v1);
        loops.emplace_back(run.begin() + static_cast<long>(from), run.end());
        run.resize(from);
    }
    return run.empty();
}

// Twice the loop's area, signed along the plane's normal (taken about the
// first corner, so that far from the origin the products stay of the
// loop's own size).
double AreaAlong(const std::vector<G3EdgeCopy>& loop, const double* plane)
{
    const double* o = loop.front().v1->GetXYZ();
    double sum = 0.0;
    for (const G3EdgeCopy& e : loop) {
        const double* p = e.v1->GetXYZ();
        const double* q = e.v2->GetXYZ();
        for (int d = 0; d < 3; ++d) {
            const int i = (d + 1) % 3;
            const int j = (d + 2) % 3;
            sum += plane[d] * ((p[i] - o[i]) * (q[j] - o[j]) - (p[j] - o[j]) * (q[i] - o[i]));
        }
    }
    return sum;
}

// Appends a loop, wound along the plane's normal or against it. The first
// edge does not start at `avoid`, the vertex where the contour before it
// closed: the contour walk would take a contour starting there for more of
// that one.
void AppendLoop(const std::vector<G3EdgeCopy>& loop, const double* plane, bool along, const G3Vertex* avoid,
                std::vector<G3EdgeCopy>& out)
{
    std::vector<G3EdgeCopy> run(loop);
    if ((AreaAlong(run, plane) > 0.0) != along) {
        std::reverse(run.begin(), run.end());
        for (G3EdgeCopy& c : run) {
            std::swap(c.v1, c.v2);
            std::swap(c.n1, c.n2);
            std::swap(c.t1, c.t2);
        }
    }
    const std::size_t n = run.size();
    std::size_t start = 0;
    while (start + 1 < n && run[start].v1 == avoid)
        ++start;
    for (std::size_t k = 0; k < n; ++k)
        out.push_back(run[(start + k) % n]);
}

// Whether h's box lies within d's, widened by the point tolerance, on the
// projection pair: a cheap refusal before IsIn.
bool BoxAround(G3EdgeList* d, G3EdgeList* h)
{
    const double* lo = h->GetEnvelope()->GetMin();
    const double* hi = h->GetEnvelope()->GetMax();
    const double* dlo = d->GetEnvelope()->GetMin();
    const double* dhi = d->GetEnvelope()->GetMax();
    for (int c : {h->GetXCoo(), h->GetYCoo()})
        if (lo[c] < dlo[c] - GTolerance::kPointEqual || hi[c] > dhi[c] + GTolerance::kPointEqual)
            return false;
    return true;
}

// The facets the resolved contours of a group (all in `plane`) make, as
// chains of copies into `facets`: the contours split into simple loops,
// each outer loop (an even nesting count) wound along the plane's normal
// and followed by the holes it directly encloses (one count up), wound
// against it, in the order the loops were found. A hole no outer loop
// encloses makes a facet of its own. False, with `facets` unspecified,
// when a contour does not split into loops.
bool FacetsOfContours(const GArrayCollection& contours, const double* plane,
                      std::vector<std::vector<G3EdgeCopy>>& facets)
{
    std::vector<std::vector<G3EdgeCopy>> loops;
    for (int k = 0; k < contours.size(); ++k)
        if (!SplitIntoLoops(static_cast<const G3EdgeList*>(contours.get(k)), loops))
            return false;
    // The nesting is read from lists of the loops, on the plane's axes.
    GArrayCollection lists;
    std::vector<G3EdgeList*> c;
    for (const std::vector<G3EdgeCopy>& loop : loops) {
        G3EdgeList* l = new G3EdgeList(0, 0);
        for (const G3EdgeCopy& e : loop)
            l->AddEdge(e.v1, e.v2, e.n1, e.n2, e.t1, e.t2, e.flags);
        l->SetPlane(plane);
        l->FormEnvelope();
        lists.add(l);
        c.push_back(l);
    }
    G3EdgeList::FormContourTypes(&lists);
    const std::size_t n = c.size();
    auto hole = [](const G3EdgeList* l) { return l->GetInCount() % 2 != 0; };
    std::vector<std::size_t> parent(n, n);
    for (std::size_t k = 0; k < n; ++k) {
        if (!hole(c[k]))
            continue;
        for (std::size_t m = 0; m < n; ++m) {
            if (m != k && !hole(c[m]) && c[m]->GetInCount() == c[k]->GetInCount() - 1 && BoxAround(c[m], c[k]) &&
                c[k]->IsIn(c[m])) {
                parent[k] = m;
                break;
            }
        }
    }
    for (G3EdgeList* l : c)
        delete l;
    lists.clear(false);
    facets.clear();
    for (std::size_t m = 0; m < n; ++m) {
        if (parent[m] < n)
            continue;
        facets.emplace_back();
        std::vector<G3EdgeCopy>& chain = facets.back();
        AppendLoop(loops[m], plane, true, nullptr, chain);
        for (std::size_t k = 0; k < n; ++k)
            if (parent[k] == m)
                AppendLoop(loops[k], plane, false, chain.back().v2, chain);
    }
    return true;
}

} // namespace

bool G3FacetsOfContours(const GArrayCollection& contours, const double* plane,
                        std::vector<std::vector<G3EdgeCopy>>& facets)
{
    return FacetsOfContours(contours, plane, facets);
}

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
        GroupCorners corners(f->GetPlane());
        bool seeded = false;
        bool flat = true;
        // The extended data the merged facet carries: the one map the
        // group's facets share (facets without data join any group).
        CExData data(f->GetExtendedData());
        for (int q = 0; q < group.size() && flat; ++q) {
            G3Facet* g = static_cast<G3Facet*>(group.get(q));
            for (G3Edge* e = g->GetFirstEdge(); e && flat; e = e->GetFacetEdge(g)) {
                if (!(e->IsInvisible() || mask == -1 || (e->GetFlags() & mask)))
                    continue;
                G3Facet* h = Across(e, g);
                if (!h || h->GetMark3() || h->GetDoubleSided() != f->GetDoubleSided())
                    continue;
                // One facet side on each side of the edge (a walk round the
                // vertex's ring), and the planes equal where they meet.
                G3Vertex* a = e->GetVertex1();
                G3Vertex* b = e->GetVertex2();
                if (!a || !b)
                    continue;
                if (!h->IsPlaneZero() && !h->PlaneEqualsNear(f->GetPlane(), a->GetXYZ()))
                    continue;
                if (a->GetEdgeCount2(b) != 2)
                    continue;
                // The seed's corners are measured once a neighbour could
                // join: a facet that is not flat is no plane to merge others
                // into.
                if (!seeded) {
                    seeded = true;
                    flat = corners.Take(f, nullptr, nullptr);
                    if (!flat)
                        break;
                }
                // Facets of two materials (two maps) stay apart, and a
                // facet joins only with its corners in the seed's plane:
                // planes equal within the plane tolerance still let far
                // corners of a slightly kinked neighbour lie off it. The
                // ends of e are in the group already.
                const CExData& own = h->GetExtendedData();
                if (own.GetMap() != data.GetMap() && own.GetMap()) {
                    CExData merged;
                    if (!merged.MergeIds(data, own) || !corners.Take(h, a, b))
                        continue;
                    data = merged;
                } else if (!corners.Take(h, a, b)) {
                    continue;
                }
                h->SetMark3();
                group.add(h);
            }
        }
        if (group.size() < 2)
            continue;
        std::array<G3EdgeCopy, kSimpleCycleEdges> contour;
        int m = 0;
        const int listed = GetFacetCount();
        const int flags = static_cast<int>(f->GetFlags());
        const int surfaceIndex = f->GetSurface();
        double formed[4] = {0.0, 0.0, 0.0, 0.0};
        if (G3SimpleGroupContour(group, contour.data(), &m, formed)) {
            // The merged facet's plane holds every corner of the group, or
            // the group stays as it is. The plane the short cut formed is
            // that plane but for rounding.
            if (!corners.ClearlyFit(formed) && !FitsCopies(corners, group, contour.data(), m))
                continue;
            for (int q = 0; q < group.size(); ++q)
                static_cast<G3Facet*>(group.get(q))->RemoveEdges();
            const FacetMadeFrom source(this, f, data);
            if (!remakeInPlace) {
                AddFacetOfCopies(contour.data(), m, flags, surfaceIndex);
            } else if (RemakeFacetOfCopies(f, contour.data(), m, flags, surfaceIndex)) {
                remade.push_back(f);
                appended.push_back(f);
            }
            ++count;
            continue;
        }
        // The general road: the group's edges resolved into simple contours
        // (new vertices where edges cross), each outer contour then made a
        // facet with the holes it encloses as contours of their own.
        const int vertexCount = GetVertexCount();
        const int normalCount = GetNormalCount();
        const int texCooCount = GetTexCooCount();
        G3EdgeList list(f);
        for (int q = 1; q < group.size(); ++q)
            list.AddEdges(static_cast<G3Facet*>(group.get(q)));
        GArrayCollection out;
        list.RemoveSelfIntersections(&out, this, false, UNION_EDGE_CANCEL_PAIRS, 0);
        std::vector<std::vector<G3EdgeCopy>> made;
        bool fits = FacetsOfContours(out, list.GetPlane(), made);
        for (int c = 0; c < out.size(); ++c)
            delete static_cast<G3EdgeList*>(out.get(c));
        out.clear(false);
        for (const std::vector<G3EdgeCopy>& chain : made)
            fits = fits && FitsCopies(corners, group, chain.data(), static_cast<int>(chain.size()));
        if (!fits) {
            DropAddedSince(vertexCount, normalCount, texCooCount);
            continue;
        }
        for (int q = 0; q < group.size(); ++q)
            static_cast<G3Facet*>(group.get(q))->RemoveEdges();
        const FacetMadeFrom source(this, f, data);
        for (const std::vector<G3EdgeCopy>& chain : made)
            AddFacetOfCopies(chain.data(), static_cast<int>(chain.size()), flags, surfaceIndex);
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

void G3Surface::DropAddedSince(int vertexCount, int normalCount, int texCooCount)
{
    while (GetTexCooCount() > texCooCount) {
        G3TexCoo* t = GetTexCoo(GetTexCooCount() - 1);
        RemoveTexCooFromCollection(t);
        delete t;
    }
    while (GetNormalCount() > normalCount) {
        G3Normal* n = G3Shell::GetNormal(GetNormalCount() - 1);
        RemoveNormalFromCollection(n);
        delete n;
    }
    while (GetVertexCount() > vertexCount) {
        G3Vertex* v = GetVertex(GetVertexCount() - 1);
        RemoveVertexFromCollection(v);
        delete v;
    }
}

namespace {

// Whether the edges a and b lie along one line over a common stretch
// longer than kZeroLength (each end of b within kPlaneSide of a's line).
bool Overlap(const G3Edge* a, const G3Edge* b)
{
    const double* p = a->GetVertex1()->GetXYZ();
    const double* q = a->GetVertex2()->GetXYZ();
    const double d[3] = {q[0] - p[0], q[1] - p[1], q[2] - p[2]};
    const double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (!(len >= GTolerance::kZeroLength))
        return false;
    double t[2];
    int k = 0;
    for (const G3Vertex* v : {b->GetVertex1(), b->GetVertex2()}) {
        const double* x = v->GetXYZ();
        const double w[3] = {x[0] - p[0], x[1] - p[1], x[2] - p[2]};
        const double along = (w[0] * d[0] + w[1] * d[1] + w[2] * d[2]) / len;
        const double off2 = w[0] * w[0] + w[1] * w[1] + w[2] * w[2] - along * along;
        if (off2 > GTolerance::kPlaneSide * GTolerance::kPlaneSide)
            return false;
        t[k++] = along;
    }
    return std::fmin(len, std::fmax(t[0], t[1])) - std::fmax(0.0, std::fmin(t[0], t[1])) > GTolerance::kZeroLength;
}

} // namespace

int G3Surface::CancelRunsOutAndBack()
{
    G3_CHECK_PASS(this, "CancelRunsOutAndBack");
    // Each facet's edges with one side, then the facets with two of them
    // along one line over a common stretch.
    std::unordered_map<G3Facet*, std::vector<G3Edge*>> open;
    std::vector<G3Facet*> order;
    for (int k = 0; k < GetEdgeCount(); ++k) {
        G3Edge* e = GetEdge(k);
        G3Facet* f = e->GetFacet1() ? e->GetFacet1() : e->GetFacet2();
        if (!f || (e->GetFacet1() && e->GetFacet2()) || !e->GetVertex1() || !e->GetVertex2())
            continue;
        std::vector<G3Edge*>& list = open[f];
        if (list.empty())
            order.push_back(f);
        list.push_back(e);
    }
    std::vector<G3Facet*> slit;
    for (G3Facet* f : order) {
        const std::vector<G3Edge*>& list = open[f];
        bool found = false;
        for (std::size_t i = 0; i < list.size() && !found; ++i)
            for (std::size_t j = i + 1; j < list.size() && !found; ++j)
                found = Overlap(list[i], list[j]);
        if (found)
            slit.push_back(f);
    }
    int count = 0;
    for (G3Facet* f : slit) {
        const int vertexCount = GetVertexCount();
        const int normalCount = GetNormalCount();
        const int texCooCount = GetTexCooCount();
        G3EdgeList list(f);
        GArrayCollection out;
        list.RemoveSelfIntersections(&out, this, false, UNION_EDGE_CANCEL_PAIRS, 0);
        std::vector<std::vector<G3EdgeCopy>> made;
        const bool ok = FacetsOfContours(out, list.GetPlane(), made) && !made.empty();
        for (int c = 0; c < out.size(); ++c)
            delete static_cast<G3EdgeList*>(out.get(c));
        out.clear(false);
        if (!ok) {
            DropAddedSince(vertexCount, normalCount, texCooCount);
            continue;
        }
        const int flags = static_cast<int>(f->GetFlags());
        const int surfaceIndex = f->GetSurface();
        const CExData data(f->GetExtendedData());
        f->RemoveEdges();
        const FacetMadeFrom source(this, f, data);
        for (const std::vector<G3EdgeCopy>& chain : made)
            AddFacetOfCopies(chain.data(), static_cast<int>(chain.size()), flags, surfaceIndex);
        ++count;
    }
    if (count > 0)
        RemoveNonManifoldEdges();
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
    // The planes first: the side walks the facet's contours, and a slab
    // with thousands of holes meets an upright wall at each of its edges.
    for (G3Facet* f : along)
        if (!f->PlaneEqualsNear(along[0]->GetPlane(), a->GetXYZ()))
            return false;
    bool negative = false;
    bool positive = false;
    for (G3Facet* f : along) {
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
    // x * 1000 * 0.001 is not always x: every vertex the pass does not make
    // gets its own coordinates back, so a run on a clean surface (or on
    // this pass's output) changes nothing.
    const int kept = GetVertexCount();
    std::vector<G3Vertex*> before(static_cast<std::size_t>(kept));
    std::vector<double> xyz(3 * static_cast<std::size_t>(kept));
    for (int k = 0; k < kept; ++k) {
        before[static_cast<std::size_t>(k)] = GetVertex(k);
        for (int d = 0; d < 3; ++d)
            xyz[3 * static_cast<std::size_t>(k) + d] = GetVertex(k)->GetXYZ()[d];
    }
    ScaleCoo(kIntersectionScale);
    for (int k = 0; k < GetFacetCount(); ++k) {
        G3Facet* f = GetFacet(k);
        double plane[4] = {0.0, 0.0, 0.0, 0.0};
        int i = 0;
        int j = 1;
        G3FacetVertexIterator it(f);
        G3Math::FormMaxPlaneCoo(&it, &i, &j, plane);
        // The rebuilt contours are turned to face the plane's side: a walk
        // over a holed facet's chain can face the other way.
        f->TurnToContours(plane);
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
    // The pointer map only answers lookups (no order comes from it); a
    // vertex is given its recorded coordinates only when the round trip
    // left it within a point tolerance of them.
    std::unordered_map<const G3Vertex*, int> recorded;
    for (int k = 0; k < kept; ++k)
        recorded[before[static_cast<std::size_t>(k)]] = k;
    for (int k = 0; k < GetVertexCount(); ++k) {
        G3Vertex* v = GetVertex(k);
        const auto it = recorded.find(v);
        if (it == recorded.end())
            continue;
        const double* p = &xyz[3 * static_cast<std::size_t>(it->second)];
        const double* q = v->GetXYZ();
        if (std::fabs(p[0] - q[0]) < GTolerance::kPointEqual && std::fabs(p[1] - q[1]) < GTolerance::kPointEqual &&
            std::fabs(p[2] - q[2]) < GTolerance::kPointEqual)
            v->Set(p);
    }
    FormPlaneEquation();
    GTrace("RemoveSelfIntersections Ok");
    return rebuilt;
}
