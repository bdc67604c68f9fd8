// Classification of an operand's vertices and facets against the other
// operand's solid, between the cut along the intersection curves and the
// removal of what the operation does not keep. Invariants:
// - a vertex classified once keeps its class: the curves' vertices (SC_ON,
//   set by the cut) stop every flood fill, so a fill never crosses from one
//   side of the other solid to the other;
// - the fill is an explicit depth-first walk on a stack of ring edges (no
//   recursion), visiting the ring edges in ring order and stopping 4097
//   edges deep, the vertices it does not reach being left for the rays;
// - the ray grid only narrows the facets a ray is tested against: it
//   hands them back in list order, so a ray counts, and stops at the first
//   on or ambiguous facet, exactly as over the whole list (which is why
//   the first rays may go over the whole list, and a grid be built only
//   once enough rays ask for one, or ahead of them);
// - the rays draw from the one random sequence, A's vertices' before B's,
//   always on the caller's thread; what runs side by side (the fills from
//   outside the common box, the grids, facet classes taken from vertex
//   classes) draws nothing, and each step writes one operand's records
//   only, reading no record another step writes;
// - classes come from the counters of G3RayClassify.cpp at the inner
//   points of G3FacetCutQueries.cpp; the only rounding here puts such a
//   point on its facet's plane along the dropped axis (OntoPlane).
#include "Geometry/boolean/G3BooleanCalculator.h"

#include "Geometry/boolean/G3BooleanData.h"
#include "Geometry/boolean/G3SideBySide.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GTrace.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Grid.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

// A facet whose inner point leaves its class unknown is tried at up to
// this many other inner points from its centroids, then at as many spread
// points off them.
constexpr int kOtherInnerPoints = 8;

// Edges deep the flood fill goes before it leaves the rest to the rays.
constexpr int kMaxFillDepth = 0x1001;
// Below this many facets a ray scans the whole list: a grid costs more
// than it saves.
constexpr int kRayGridMinFacets = 64;
// Rays that scan a list whole (no grid covers it) before a grid is built.
// A grid costs about as much as four such scans; a solid whose flood fills
// stop short of covering it asks for dozens of rays (and large lists get
// their grids ahead), most others for one or two per operand.
constexpr int kRaysBeforeGrid = 4;
// A list of this many facets gets its ray grid ahead of the rays, beside
// other work: the fill stops 4097 edges deep, so an operand this large
// leaves dozens of vertices to the rays as a rule.
constexpr int kRayGridAheadFacets = 32768;
// Cells per axis of the ray grid, per cube root of the facet count. A
// surface fills few of a grid's cells, and a ray asks only a line of them:
// a coarse grid answers as well (its candidates are sorted and the sort
// decides), and a fine one is mostly empty cells, cleared and walked at
// every build.
constexpr double kRayGridCellsPerCubeRoot = 1.0;
constexpr int kRayGridMaxCells = 128;

SURF_CLASSIFY VertexClass(const G3Vertex* v)
{
    const G3BooleanVertexData* r = G3BooleanVertexData::Of(v);
    return r ? r->classify : SC_UNKNOWN;
}

// Puts an inner point of f (found in the projection on i, j) on f's plane
// along the dropped axis. The point's third coordinate comes from f's
// boundary, whose corners stand off the plane by their rounding (at site
// coordinates 1e-6 and more at the cut's scale): the middle of a thin
// ring's cap came 2.2e-6 off it, beyond the band in which a point lies on
// a facet, so the cap's piece and the other solid's cap flush with it
// each found the point off the other and were both kept or both dropped.
void OntoPlane(const G3Facet* f, int i, int j, double* x)
{
    const int w = 3 - i - j;
    const double* plane = f->GetPlane();
    if (w < 0 || w > 2 || !(std::fabs(plane[w]) > 0.0))
        return;
    const double on = -(plane[i] * x[i] + plane[j] * x[j] + plane[3]) / plane[w];
    if (std::isfinite(on))
        x[w] = on;
}

bool Unclassified(const G3Vertex* v)
{
    const G3BooleanVertexData* r = G3BooleanVertexData::Of(v);
    return r && r->classify == SC_UNKNOWN;
}

void SetVertexClass(G3Vertex* v, SURF_CLASSIFY c)
{
    if (G3BooleanVertexData* r = G3BooleanVertexData::Of(v))
        r->classify = c;
}

// The facets around v fall apart into more than one fan (joined across
// v's ring edges): two sheets of the surface touch at v. Such a vertex may
// be where the operand only touches the other's surface, one sheet on each
// side of it, with no cut curve through it to stop a fill.
// The cut rebuilds a facet's pieces on edges of their own, so a cut facet
// and its neighbour meet on two edges of one side each over one vertex
// pair: facets on such one-sided edges to the same neighbour of v are one
// fan too. Joined only across two-sided edges, the facets of a cut
// operand's ring were mostly left out of the count, a real bow-tie went
// unseen, and the fill carried the class of one sheet into the other.
bool BowTie(G3Vertex* v)
{
    constexpr int kRing = 32;
    const G3Facet* facet[2 * kRing];
    int parent[2 * kRing];
    int count = 0;
    // One-sided ring edges seen so far: the neighbour each leads to and
    // its facet's slot.
    const G3Vertex* sideTo[2 * kRing];
    int sideSlot[2 * kRing];
    int sides = 0;
    auto slot = [&](const G3Facet* f) {
        for (int k = 0; k < count; ++k)
            if (facet[k] == f)
                return k;
        facet[count] = f;
        parent[count] = count;
        return count++;
    };
    auto root = [&](int k) {
        while (parent[k] != k)
            k = parent[k] = parent[parent[k]];
        return k;
    };
    for (G3Edge* e = v->GetFirstEdge(); e; e = e->GetVertexEdge(v)) {
        const G3Facet* f = e->GetFacet1();
        const G3Facet* g = e->GetFacet2();
        if (!f && !g)
            continue;
        if (count + 2 > 2 * kRing || sides == 2 * kRing)
            return false;  // a wide ring: treated as one fan, as before
        if (f && g) {
            const int a = root(slot(f)), b = root(slot(g));
            parent[a] = b;
            continue;
        }
        const int k = slot(f ? f : g);
        const G3Vertex* to = e->GetOtherVertex(v);
        for (int j = 0; j < sides; ++j)
            if (sideTo[j] == to) {
                const int a = root(k), b = root(sideSlot[j]);
                parent[a] = b;
            }
        sideTo[sides] = to;
        sideSlot[sides] = k;
        ++sides;
    }
    int fans = 0;
    for (int k = 0; k < count; ++k)
        fans += root(k) == k ? 1 : 0;
    return fans > 1;
}

// v and every unclassified vertex reachable from it, *depth counting the
// frames open; `stack` holds the ring edges of the open frames. A fill
// does not pass through a bow-tie vertex (BowTie): it is left to the rays,
// and so are the vertices only it leads to.
void FloodFill(G3Vertex* v, SURF_CLASSIFY c, GArrayCollection* stack, int* depth)
{
    if (!v)
        return;
    SetVertexClass(v, c);
    if (BowTie(v))
        return;
    // One frame per vertex whose ring is being walked: its edges sit on the
    // stack from `begin`, `next` is the one to look at next. A frame is
    // pushed where a recursive walk would call itself and depth counts the
    // frames, so the cut-off falls on the same vertices.
    struct Frame {
        G3Vertex* vertex;
        int begin;
        int next;
    };
    std::vector<Frame> frames;
    auto open = [&](G3Vertex* u) {
        if (*depth >= kMaxFillDepth)
            return;
        ++*depth;
        const int begin = stack->size();
        for (G3Edge* e = u->GetFirstEdge(); e; e = e->GetVertexEdge(u))
            stack->add(e);
        frames.push_back(Frame{u, begin, begin});
    };
    open(v);
    while (!frames.empty()) {
        Frame& top = frames.back();
        // The top frame's edges end the stack: deeper frames are gone.
        if (top.next < stack->size()) {
            const G3Edge* e = static_cast<const G3Edge*>(stack->get(top.next++));
            G3Vertex* other = e->GetOtherVertex(top.vertex);
            if (other && Unclassified(other) && !BowTie(other)) {
                SetVertexClass(other, c);
                open(other);  // may move `top`: not used after this
            }
        } else {
            stack->size(top.begin);
            frames.pop_back();
            --*depth;
        }
    }
}

// Floods SC_OUTSIDE from every vertex of s outside `common`, in list order:
// no ray is needed there.
void FloodFromOutside(G3Surface* s, const GEnvelope& common, GArrayCollection* stack)
{
    GArrayCollection* vertices = s->GetVertexList();
    for (int i = 0; i < vertices->size(); ++i) {
        G3Vertex* v = static_cast<G3Vertex*>(vertices->get(i));
        if (Unclassified(v) && !common.IsIntersectXYZ(v->GetXYZ())) {
            int depth = 0;
            FloodFill(v, SC_OUTSIDE, stack, &depth);
        }
    }
}

}  // namespace

// ---- flood fill and vertex classes

void G3BooleanCalculator::SetClassify(G3Vertex* v, SURF_CLASSIFY c) { FloodFill(v, c, edgeStack, &depth); }

void G3BooleanCalculator::ClassifyVertices(G3Surface* s, GArrayCollection* otherFacets)
{
    GTrace("Classify vertices");
    if (!s)
        return;
    if (clip == G_CLIP_DISJOINT) {
        GArrayCollection* vertices = s->GetVertexList();
        for (int i = 0; i < vertices->size(); ++i)
            SetVertexClass(static_cast<G3Vertex*>(vertices->get(i)), SC_OUTSIDE);
        return;
    }
    FloodFromOutside(s, envCommon, edgeStack);
    ClassifyByRays(s, otherFacets);
}

void G3BooleanCalculator::ClassifyByRays(G3Surface* s, GArrayCollection* otherFacets)
{
    GArrayCollection* vertices = s->GetVertexList();
    for (int i = 0; i < vertices->size(); ++i) {
        G3Vertex* v = static_cast<G3Vertex*>(vertices->get(i));
        if (!Unclassified(v))
            continue;
        // A corner the cut left off the curves, yet within the kernel's
        // plane tolerance of a facet of the other solid (a wall butting
        // another, its corners rounded off the other's face), lies on it:
        // a ray would only tell on which side the rounding put it, and the
        // fill would carry that over the whole solid.
        if (OnFacetWithinTolerance(v->GetXYZ(), otherFacets)) {
            SetVertexClass(v, SC_ON);
            continue;
        }
        const SURF_CLASSIFY c = ClassifyVertex(v->GetXYZ(), otherFacets);
        if (c != SC_UNKNOWN) {
            depth = 0;
            SetClassify(v, c);
        }
    }
}

bool G3BooleanCalculator::OnFacetWithinTolerance(const double* p, GArrayCollection* otherFacets)
{
    if (!otherFacets)
        return false;
    const double tolerance = GTolerance::kPlaneSide * cutScale;
    // The facets whose cells hold a corner of the cube of the tolerance
    // about p (the cube is far smaller than a cell, so every cell it meets
    // holds one of its corners): those along its four diagonals when a grid
    // covers the list, else the whole list.
    GArrayCollection near;
    GArrayCollection* facets = &near;
    if (!rayCandidates)
        rayCandidates = new GArrayCollection();
    for (int d = 0; d < 4 && facets == &near; ++d) {
        const double sx = d & 1 ? -1.0 : 1.0, sy = d & 2 ? -1.0 : 1.0;
        const double a[3] = {p[0] - sx * tolerance, p[1] - sy * tolerance, p[2] - tolerance};
        const double b[3] = {p[0] + sx * tolerance, p[1] + sy * tolerance, p[2] + tolerance};
        if (!RayCandidates(a, b, otherFacets, rayCandidates)) {
            facets = otherFacets;
            break;
        }
        for (int k = 0; k < rayCandidates->size(); ++k)
            near.add(rayCandidates->get(k));
    }
    for (int k = 0; k < facets->size(); ++k) {
        G3Facet* f = static_cast<G3Facet*>(facets->get(k));
        const G3BooleanFacetData* r = G3BooleanFacetData::Of(f);
        if (!r || r->IsDefault() || f->IsPlaneZero())
            continue;
        GEnvelope box(r);
        box.Extend(tolerance);
        if (!box.IsIntersectXYZ(p))
            continue;
        const double* pl = f->GetPlane();
        if (!(std::fabs(pl[0] * p[0] + pl[1] * p[1] + pl[2] * p[2] + pl[3]) < tolerance))
            continue;
        int i = 0, j = 1;
        f->GetMaxCoo(&i, &j);
        if (f->PointInFacet(i, j, p, nullptr, nullptr, tolerance))
            return true;
    }
    return false;
}

void G3BooleanCalculator::ClassifyVerticesOfBoth()
{
    if (!A || !B || clip == G_CLIP_DISJOINT) {
        ClassifyVertices(A, B ? B->GetFacetList() : nullptr);
        ClassifyVertices(B, A ? A->GetFacetList() : nullptr);
        return;
    }
    // The fills from outside the common box draw no ray, so both operands'
    // run at once, each thread then building the grid over the other
    // operand's facets (a grid reads facets and their boxes, a fill
    // vertices and their classes); then A's rays and B's rays. The rays
    // draw from the random sequence in the same order as one operand after
    // the other.
    GArrayCollection stackB;
    G3SideBySide::RunForOperands(
        A, B,
        [this] {
            FloodFromOutside(A, envCommon, edgeStack);
            RayGridAhead(B->GetFacetList());
        },
        [this, &stackB] {
            FloodFromOutside(B, envCommon, &stackB);
            RayGridAhead(A->GetFacetList());
        });
    GTrace("Classify vertices");
    ClassifyByRays(A, B->GetFacetList());
    GTrace("Classify vertices");
    ClassifyByRays(B, A->GetFacetList());
}

// ---- facet classes

void G3BooleanCalculator::ClassifyFacets(G3Surface* s, GArrayCollection* otherFacets)
{
    if (!s)
        return;
    GArrayCollection* facets = s->GetFacetList();
    for (int i = 0; i < facets->size(); ++i) {
        G3Facet* f = static_cast<G3Facet*>(facets->get(i));
        if (G3BooleanFacetData* r = G3BooleanFacetData::Of(f))
            r->classify = FindFacetClassify(s, f, otherFacets);
    }
}

void G3BooleanCalculator::ClassifyFacetsOfBoth()
{
    if (!A || !B) {
        ClassifyFacets(A, B ? B->GetFacetList() : nullptr);
        ClassifyFacets(B, A ? A->GetFacetList() : nullptr);
        return;
    }
    // Most facets take their class from their vertices', which reads
    // nothing but the operand's own vertices: both operands' run at once.
    // The rest (a point inside the facet and a ray, which draw from the one
    // random sequence and trace) follow on the caller's thread in the order
    // of one operand after the other.
    std::vector<int> raysA;
    std::vector<int> raysB;
    auto byVertices = [this](G3Surface* s, std::vector<int>* rays) {
        GArrayCollection* facets = s->GetFacetList();
        for (int i = 0; i < facets->size(); ++i) {
            G3Facet* f = static_cast<G3Facet*>(facets->get(i));
            G3BooleanFacetData* r = G3BooleanFacetData::Of(f);
            if (!r)
                continue;
            const VertexVerdict v = ClassByVertices(s, f);
            if (v.decided)
                r->classify = v.c;
            else
                rays->push_back(i);
        }
    };
    G3SideBySide::RunForOperands(
        A, B, [&] { byVertices(A, &raysA); }, [&] { byVertices(B, &raysB); });
    for (int pass = 0; pass < 2; ++pass) {
        G3Surface* s = pass == 0 ? A : B;
        GArrayCollection* other = (pass == 0 ? B : A)->GetFacetList();
        for (int i : pass == 0 ? raysA : raysB) {
            G3Facet* f = static_cast<G3Facet*>(s->GetFacetList()->get(i));
            G3BooleanFacetData::Of(f)->classify = FindFacetClassify(s, f, other);
        }
    }
}

G3BooleanCalculator::VertexVerdict G3BooleanCalculator::ClassByVertices(const G3Surface* s, G3Facet* f) const
{
    int on = 0;
    int out = 0;
    int in = 0;
    G3FacetVertexIterator it(f);
    while (it.hasNext()) {
        const G3Vertex* v = it.NextVertex();
        const SURF_CLASSIFY c = v ? VertexClass(v) : SC_UNKNOWN;
        if (c == SC_UNKNOWN)
            return VertexVerdict{};
        if (c == SC_ON)
            ++on;
        else if (c == SC_OUTSIDE)
            ++out;
        else if (c == SC_INSIDE)
            ++in;
    }
    if (in == 0 && out > 0)
        return VertexVerdict{true, false, SC_OUTSIDE};
    if (in > 0 && out == 0)
        return VertexVerdict{true, false, SC_INSIDE};
    // A slice with the cap from its box drops the solid's own facets in the
    // plane. The box's pieces there are told by a point, as any coplanar
    // piece is (see FindFacetClassify).
    if (on > 0 && in == 0 && out == 0) {
        if (s != B && InSlicePlane(f))
            return VertexVerdict{true, false, SC_INSIDE};
        return VertexVerdict{};
    }
    return VertexVerdict{false, true, SC_UNKNOWN};
}

bool G3BooleanCalculator::InSlicePlane(const G3Facet* f) const
{
    if (!slicePlane)
        return false;
    // The slice's plane is in the caller's units; the facet's in the
    // scaled ones.
    const double* sp = slicePlane;
    const double d = cutScale * sp[3];
    const double planes[4][4] = {{sp[0], sp[1], sp[2], d},
                                 {-sp[0], -sp[1], -sp[2], d},
                                 {sp[0], sp[1], sp[2], -d},
                                 {-sp[0], -sp[1], -sp[2], -d}};
    for (const auto& pl : planes)
        if (f->PlaneEquals(pl))
            return true;
    return false;
}

SURF_CLASSIFY G3BooleanCalculator::FindFacetClassify(G3Surface* s, G3Facet* f, GArrayCollection* otherFacets)
{
    const SURF_CLASSIFY c = ClassByPoint(s, f, otherFacets);
    // A piece of the slice's box where the solid's own face lies in the
    // plane facing the other way (the solid goes on beyond it) is where the
    // cap replaces that face, which the vertices' verdict dropped: it stays
    // as inside. A piece over a face facing the same way caps nothing.
    if (c == SC_ON_OPPOSITE && s == B && InSlicePlane(f))
        return SC_INSIDE;
    return c;
}

SURF_CLASSIFY G3BooleanCalculator::ClassByPoint(G3Surface* s, G3Facet* f, GArrayCollection* otherFacets)
{
    if (!f)
        return SC_UNKNOWN;
    const VertexVerdict verdict = ClassByVertices(s, f);
    if (verdict.decided)
        return verdict.c;
    const bool mixed = verdict.mixed;
    if (mixed)
        GTrace("Bad facet classification1");
    int i = 0;
    int j = 1;
    f->GetMaxCoo(&i, &j);
    double x[3];
    SURF_CLASSIFY c = SC_UNKNOWN;
    if (f->GeneratePointInFacetConcave(i, j, x)) {
        OntoPlane(f, i, j, x);
        c = ClassifyVertex(x, otherFacets);
    }
    if (mixed) {
        if (c == SC_UNKNOWN)
            GTrace("Bad facet classification2");
        return c;
    }
    if (c == SC_ON) {
        GTrace("TestOnOpposite");
        c = TestOnOpposite(x, f->GetPlane());
    }
    if (c != SC_UNKNOWN)
        return c;
    // The point may lie on the boundary of another facet in the plane (the
    // face of a solid touching this one's), where every ray stays unsure:
    // the inner points found from the contour's other starts are tried, or
    // for a facet with holes the next inner points it has.
    GArrayCollection ring;
    bool holed = false;
    G3ContourWalker w(f);
    while (w.Next() && !holed) {
        holed = w.Opens() && ring.size() > 0;
        ring.add(w.GetEntry());
    }
    GArrayCollection turned;
    const int n = ring.size();
    std::vector<std::array<double, 3>> tried = {{x[0], x[1], x[2]}};
    // Another inner point, remembered as tried; a point on a facet of the
    // other solid asks which way that facet turns.
    const auto classAt = [&](const double* y) {
        tried.push_back({y[0], y[1], y[2]});
        const SURF_CLASSIFY at = ClassifyVertex(y, otherFacets);
        return at == SC_ON ? TestOnOpposite(y, f->GetPlane()) : at;
    };
    for (int other = 1; other <= kOtherInnerPoints && (holed || other < n); ++other) {
        double y[3];
        bool made = false;
        if (holed) {
            made = f->GenerateOtherPointInFacet(i, j, other, y);
        } else {
            turned.clear();
            for (int k = 0; k < n; ++k)
                turned.add(ring.get((k + other) % n));
            made = G3Facet::GeneratePointInFacetConcave(i, j, y, &turned);
        }
        if (!made)
            continue;
        OntoPlane(f, i, j, y);
        if (y[0] == x[0] && y[1] == x[1] && y[2] == x[2])
            continue;
        if ((c = classAt(y)) != SC_UNKNOWN)
            return c;
    }
    // Those points may all be one: a triangle's starts give its centroid
    // again, rounded alike or a bit apart, and a holed facet's centroids run
    // out into its one fallback point. Points off the centroids, each one
    // farther than the point tolerance from every point tried, come last.
    for (int other = 0; other < kOtherInnerPoints; ++other) {
        double y[3];
        if (!f->GenerateSpreadPointInFacet(i, j, other, y))
            break;
        OntoPlane(f, i, j, y);
        const auto near = [&y](const std::array<double, 3>& t) {
            return std::hypot(y[0] - t[0], y[1] - t[1], y[2] - t[2]) <= GTolerance::kPointEqual;
        };
        if (std::any_of(tried.begin(), tried.end(), near))
            continue;
        if ((c = classAt(y)) != SC_UNKNOWN)
            return c;
    }
    return c;
}

void G3BooleanCalculator::RemoveFacetsByClassify(G3Surface* s, int mask)
{
    if (!s)
        return;
    GArrayCollection* facets = s->GetFacetList();
    int i = 0;
    while (i < facets->size()) {
        G3Facet* f = static_cast<G3Facet*>(facets->get(i));
        const G3BooleanFacetData* r = G3BooleanFacetData::Of(f);
        if (r && (static_cast<int>(r->classify) & mask) != 0 && s->RemoveFacet(f))
            continue;  // the last facet moved into slot i
        ++i;
    }
}

// ---- the ray grid

G3BooleanCalculator::RayGrid& G3BooleanCalculator::RayGridOf(const GArrayCollection* facets)
{
    return rayGrids[A && facets == A->GetFacetList() ? 1 : 0];
}

bool G3BooleanCalculator::BuildRayGrid(RayGrid* slot, GArrayCollection* facets)
{
    delete slot->grid;
    *slot = RayGrid();
    const int n = facets ? facets->size() : 0;
    // Sorting the candidates by id puts them in list order only while ids
    // are the facets' places in the list; a list that breaks that is
    // scanned whole.
    GEnvelope box;
    box.Init();
    bool first = true;
    for (int k = 0; k < n; ++k) {
        const G3Facet* f = static_cast<const G3Facet*>(facets->get(k));
        const G3BooleanFacetData* r = G3BooleanFacetData::Of(f);
        if (!r || f->GetId() != k)
            return false;
        if (r->IsDefault())
            continue;
        if (first)
            box.Init(r);
        else
            box.Add(r);
        first = false;
    }
    if (first)
        return false;
    box.Extend(GTolerance::kBoxMargin);
    int cells = static_cast<int>(kRayGridCellsPerCubeRoot * std::cbrt(static_cast<double>(n)));
    cells = std::max(1, std::min(cells, kRayGridMaxCells));
    int perAxis[3];
    // Over the bulk of the facets, the border cells holding the few far off.
    GEnvelope bulk;
    G3RecordsBulkBox(facets, &box, &bulk);
    G3Grid::SizeCells(&bulk, static_cast<double>(cells) * cells * cells, perAxis);
    slot->grid = new G3Grid(&bulk, perAxis, true);
    slot->facets = facets;
    slot->count = n;
    // Each facet goes in under its record's box widened once more, so that
    // any facet a point of the ray lies on (within the in-facet band) is in
    // the cell the grid's walk gives for that point, whatever the rounding
    // at cell borders.
    for (int k = n - 1; k >= 0; --k) {
        G3Facet* f = static_cast<G3Facet*>(facets->get(k));
        const G3BooleanFacetData* r = G3BooleanFacetData::Of(f);
        if (r->IsDefault())
            continue;
        GEnvelope wide(r);
        wide.Extend(GTolerance::kBoxMargin);
        slot->grid->AddFacet(f, &wide);
    }
    return true;
}

void G3BooleanCalculator::RayGridAhead(GArrayCollection* facets)
{
    if (facets && facets->size() >= kRayGridAheadFacets)
        BuildRayGrid(&RayGridOf(facets), facets);
}

bool G3BooleanCalculator::RayCandidates(const double* p, const double* q, GArrayCollection* facets,
                                        GArrayCollection* out)
{
    if (!facets || !out)
        return false;
    const int n = facets->size();
    if (n < kRayGridMinFacets)
        return false;
    RayGrid& slot = RayGridOf(facets);
    if (!slot.grid || slot.facets != facets || slot.count != n) {
        // The flood fill leaves few vertices to the rays as a rule: a few
        // rays over the whole list cost less than a grid built for them.
        if (slot.scans < kRaysBeforeGrid) {
            ++slot.scans;
            return false;
        }
        if (!BuildRayGrid(&slot, facets))
            return false;
    }
    out->clear();
    slot.grid->GetFacetByLine(p, q, out);
    SortByFacetId(out);
    return true;
}

void G3BooleanCalculator::ReleaseRayGrid()
{
    for (RayGrid& slot : rayGrids) {
        delete slot.grid;
        slot = RayGrid();
    }
}
