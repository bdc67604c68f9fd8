// Union, difference and intersection of two closed surfaces: the road from
// the two operands to the one result. Invariants:
// - the operands are consumed: exactly one surface comes back (or null)
//   and the other is deleted, whatever the input; the same surface given
//   twice is split into two by a duplicate first, so the result is never
//   deleted under the caller;
// - the cut, classification and removal run between OpenBoolean and
//   CloseBoolean on coordinates scaled by cutScale (kBooleanScale, or 1 on
//   the last retries); the scale is undone on the result only, after B's
//   rest has been appended and welded to it;
// - only facets whose class has a bit in the operation's mask are removed,
//   so facets left SC_ON or SC_UNKNOWN stay in the result;
// - input that cannot be scaled (a coordinate not finite, or one the scale
//   would overflow) is refused before anything is changed, and a result
//   that is not closed is marked not solid;
// - closed operands give a closed, consistently oriented result or none: a
//   result failing G3ClosedCheck (or, where spares are taken, the volume
//   bounds) is deleted and the operation fails with the check's reason
//   (GetFailureReason).
// - the cleanup of the result (stitching, merging in planes and across
//   edges) runs on the scaled coordinates too, so its absolute tolerances
//   act at the same grain as the cut's;
// - operands far from the origin for their size are moved to a local
//   origin first (an exact subtraction, see LocalOrigin), their planes
//   formed there, and the result is moved back last, so a building at
//   site coordinates is cut as one at the origin.
// The places that round are the scaling (up on entry, down on the result),
// done by OpenBoolean and ScaleCoo, and the move back from a local origin.
#include "Geometry/boolean/G3BooleanCalculator.h"

#include "Geometry/boolean/G3BooleanData.h"
#include "Geometry/boolean/G3IntervalList.h"
#include "Geometry/boolean/G3OperandSnap.h"
#include "Geometry/boolean/G3SideBySide.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3MeshCheck.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "Geometry/mesh/G3Vertex.h"

#include <cfloat>
#include <cmath>
#include <memory>
#include <string>

namespace {

// Whether an edge of s joins two points closer than the weld distance: the
// kernel takes them for one point, so no result should hold such an edge.
bool HasEdgeBelowWeld(const G3Surface* s)
{
    for (int k = 0; k < s->GetEdgeCount(); ++k) {
        const G3Edge* edge = s->GetEdge(k);
        const double* p = edge->GetVertex1()->GetXYZ();
        const double* q = edge->GetVertex2()->GetXYZ();
        if (std::hypot(p[0] - q[0], p[1] - q[1], p[2] - q[2]) < GTolerance::kWeld)
            return true;
    }
    return false;
}

// s welded as every later pass sees it: corners closer than the weld
// distance made one, edges split at the corners on them, pairs stitched,
// and the runs out and back along one line that the weld leaves taken out.
void WeldAtPointTolerance(G3Surface* s)
{
    s->RemoveEqualsVertexAndDivideEdges();
    s->RemoveNonManifoldEdges();
    s->RemoveTrivialFacets();
    s->CancelRunsOutAndBack();
}

// A surface holding edges shorter than the weld distance (the hair steps
// of an earlier result), welded: its corners cannot go onto shared planes
// while two of them are one point.
void WeldHairEdges(G3Surface* s)
{
    if (!HasEdgeBelowWeld(s))
        return;
    WeldAtPointTolerance(s);
    s->FormPlaneEquation();
}

// Whether a corner of `of` lies strictly inside `solid` (wantInside) or
// strictly outside it, by one ray in a fixed direction (no draw from the
// random sequence, so nothing after this depends on it): a corner on a
// face, or a ray grazing an edge, tells nothing and is passed over. The
// corners tried are those in the solid's box for inside, all for outside,
// up to a budget of about kEmptyTestBudget facet tests. A corner counts
// only when it lies farther than kClearOfFaces from every facet's plane.
constexpr double kEmptyTestBudget = 4.0e6;
constexpr double kClearOfFaces = 8.0 * GTolerance::kWeld;
bool HasCornerStrictly(G3Surface* of, G3Surface* solid, bool wantInside)
{
    GArrayCollection* facets = solid->GetFacetList();
    if (!facets || facets->size() == 0 || of->GetVertexCount() == 0)
        return false;
    GEnvelope box;
    solid->FormEnvelope(&box);
    const double* lo = box.GetMin();
    const double* hi = box.GetMax();
    const double reach = 2.0 * std::hypot(hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]) + 1.0;
    // A direction along no axis and no diagonal a model is drawn on.
    const double dir[3] = {0.4518538981, 0.3156727427, 0.8343520911};
    int tries = std::max(8, static_cast<int>(kEmptyTestBudget / facets->size()));
    for (int k = 0; k < of->GetVertexCount() && tries > 0; ++k) {
        const double* p = of->GetVertex(k)->GetXYZ();
        bool inBox = true;
        for (int d = 0; d < 3; ++d)
            inBox = inBox && p[d] > lo[d] + GTolerance::kWeld && p[d] < hi[d] - GTolerance::kWeld;
        if (!inBox) {
            if (!wantInside && (p[0] < lo[0] - GTolerance::kWeld || p[0] > hi[0] + GTolerance::kWeld ||
                                p[1] < lo[1] - GTolerance::kWeld || p[1] > hi[1] + GTolerance::kWeld ||
                                p[2] < lo[2] - GTolerance::kWeld || p[2] > hi[2] + GTolerance::kWeld))
                return true;
            continue;
        }
        --tries;
        const double end[3] = {p[0] + reach * dir[0], p[1] + reach * dir[1], p[2] + reach * dir[2]};
        const SURF_CLASSIFY c = G3BooleanCalculator::TestPointAndFacetList(p, end, facets, nullptr);
        if (c != (wantInside ? SC_INSIDE : SC_OUTSIDE))
            continue;
        // Clear of every facet's plane by more than the rounding of
        // touching solids (a corner poking a hair into the other).
        bool clear = true;
        for (int f = 0; f < facets->size() && clear; ++f) {
            const double* m = static_cast<G3Facet*>(facets->get(f))->GetPlane();
            clear = std::fabs(m[0] * p[0] + m[1] * p[1] + m[2] * p[2] + m[3]) > kClearOfFaces;
        }
        if (clear)
            return true;
    }
    return false;
}

using GTolerance::kBooleanScale;

// Operands of this many facets or fewer between them are copied before
// the first run whatever their contact, so that a failure can be retried:
// walls, windows and storeys of a few hundred facets. The copies and the
// volume bounds that come with them cost about a sixth of a boolean of two
// 2,000-triangle spheres, which stay above it.
constexpr int kSparesAlways = 1024;

// The operation masks: the classes (SURF_CLASSIFY bits) of the facets each
// operand loses.
constexpr int kAddMaskA = SC_INSIDE | SC_ON_OPPOSITE;
constexpr int kAddMaskB = SC_INSIDE | SC_ON_SAME | SC_ON_OPPOSITE;
constexpr int kSubMaskA = SC_INSIDE | SC_ON_SAME;
constexpr int kSubMaskB = SC_OUTSIDE | SC_ON_SAME | SC_ON_OPPOSITE;
constexpr int kCommonMaskA = SC_OUTSIDE | SC_ON_OPPOSITE;
constexpr int kCommonMaskB = SC_OUTSIDE | SC_ON_SAME | SC_ON_OPPOSITE;
// Facet merging on the result: coplanar neighbours across edges with flag
// 4 (the triangulation's diagonals and the cut's seams), then pairs across
// edges with flag 8; the flags 4 and 8 are cleared afterwards.
constexpr int kUnionInPlaneMask = 4;
constexpr int kUnionFacetsMask = 8;
constexpr int kWorkEdgeFlags = 0xC;

// Gives the seam edges (both ends on the intersection curves) the flag of
// cut edges, kUnionInPlaneMask. A facet cut along an edge of its own keeps
// that edge's flags, so without this a seam where the two operands' faces
// meet in one plane (boxes sharing a face) would not be merged across.
void MarkSeams(G3Surface* s)
{
    GArrayCollection* edges = s->GetEdgeList();
    for (int i = 0; i < edges->size(); ++i) {
        G3Edge* e = static_cast<G3Edge*>(edges->get(i));
        const G3BooleanVertexData* a = G3BooleanVertexData::Of(e->GetVertex1());
        const G3BooleanVertexData* b = G3BooleanVertexData::Of(e->GetVertex2());
        if (a && b && a->classify == SC_ON && b->classify == SC_ON)
            e->SetFlags(e->GetFlags() | kUnionInPlaneMask);
    }
}

// FormPlaneEquation and GetClosed of a result, in two halves side by side
// when it is large: each facet's plane depends on its own corners only, and
// a surface is closed when both halves of its edge list are.
void FormPlanes(G3Surface* s)
{
    G3SideBySide::RunHalves(s->GetFacetCount(), [s](int, int begin, int end) {
        for (int k = begin; k < end; ++k)
            s->GetFacet(k)->FormPlaneEquation();
    });
}

// Planes formed on coordinates scaled by `scale` (the cut's) about a local
// origin, moved to the model's: n . x + d = 0 at scale becomes
// n . x + d / scale - n . origin = 0.
void UnscalePlanes(G3Surface* s, const double* origin, double scale)
{
    G3SideBySide::RunHalves(s->GetFacetCount(), [s, origin, scale](int, int begin, int end) {
        for (int k = begin; k < end; ++k) {
            double* p = s->GetFacet(k)->GetPlane();
            p[3] = p[3] / scale - (p[0] * origin[0] + p[1] * origin[1] + p[2] * origin[2]);
        }
    });
}

bool Closed(G3Surface* s)
{
    bool closed[2] = {true, true};
    G3SideBySide::RunHalves(s->GetEdgeCount(),
                            [s, &closed](int part, int begin, int end) { closed[part] = s->GetClosed(begin, end); });
    return closed[0] && closed[1];
}

bool Empty(G3Surface* s) { return !s || s->GetFacetCount() == 0; }

// The cut keeps its vertices apart a thousand times finer than the point
// tolerance. Where faces meet at shallow angles (faces flat only to the
// rounding of their corners, a plane through an edge of such faces), its
// seams may end at corners a fraction of the tolerance apart, each with a
// wall of its own: at the scale every later pass works at they are one
// corner. A result the engine would refuse is welded there; whether it is
// then a closed, clean solid (defect: the first finding otherwise).
bool ClosedOnceWelded(G3Surface* s, std::string& defect)
{
    WeldAtPointTolerance(s);
    defect = G3ClosedCheck(s);
    if (defect.empty())
        defect = G3MeshCheck(s);
    if (defect.empty())
        defect = G3OverlapCheck(s);
    return defect.empty() && Closed(s);
}

// The facet on e's only side, or null when e has two or none.
G3Facet* OnlyFacet(const G3Edge* e)
{
    if ((e->GetFacet1() != nullptr) == (e->GetFacet2() != nullptr))
        return nullptr;
    return e->GetFacet1() ? e->GetFacet1() : e->GetFacet2();
}

// Whether f runs along e from `a` (one of e's ends) to its other end.
bool RunsFrom(const G3Facet* f, const G3Edge* e, const G3Vertex* a)
{
    for (G3ContourWalker w(f); w.Next();)
        if (w.GetEdge() == e)
            return w.GetEntry() == a;
    return false;
}

// Where two walls of one operand meet along a line lying in a face of the
// other (a reflex corner of the first touching the second's plane), the
// face's cut runs out along that line and back, on two edges of its own
// with one side each, while the walls' edge pairs them with each other:
// two wedges of solid meet at the line. Each of the face's runs takes the
// wall running the other way (a face side and a wall bounding one wedge
// run the line in opposite directions, so the pairing is the orientable
// one). The number of lines paired.
int PairRunsWithWalls(G3Surface* s)
{
    int paired = 0;
    GArrayCollection parallel;
    for (int i = 0; i < s->GetEdgeCount(); ++i) {
        G3Edge* out = s->GetEdge(i);
        G3Facet* f = OnlyFacet(out);
        G3Vertex* a = out->GetVertex1();
        if (!f || !a || !out->GetVertex2())
            continue;
        a->GetEdges(out->GetVertex2(), &parallel);
        G3Edge* back = nullptr;
        G3Edge* walls = nullptr;
        for (int k = 0; k < parallel.size(); ++k) {
            G3Edge* o = static_cast<G3Edge*>(parallel.get(k));
            G3Facet* g1 = o->GetFacet1();
            G3Facet* g2 = o->GetFacet2();
            if (o != out && OnlyFacet(o) == f)
                back = o;
            else if (g1 && g2 && g1 != g2 && g1 != f && g2 != f)
                walls = o;
        }
        const bool outFromA = RunsFrom(f, out, a);
        if (!back || !walls || RunsFrom(f, back, a) == outFromA)
            continue;
        G3Facet* g1 = walls->GetFacet1();
        G3Facet* g2 = walls->GetFacet2();
        G3Facet* withOut = RunsFrom(g1, walls, a) != outFromA ? g1 : g2;
        G3Facet* withBack = withOut == g1 ? g2 : g1;
        if (RunsFrom(withBack, walls, a) != outFromA)
            continue;
        if (!withOut->ChangeEdges(walls, out) || !withBack->ChangeEdges(walls, back))
            continue;
        a->RemoveEdge(walls);
        out->GetVertex2()->RemoveEdge(walls);
        ++paired;
    }
    return paired;
}

// An axis is moved to a local origin when the operands' common box lies
// this many box sizes (its largest side) or more from 0 along it: every
// coordinate c on it then lies within a factor of two of the box centre o,
// and c - o is exact.
constexpr double kFarFromOrigin = 16.0;

// The local origin of the two operands: per axis the centre of their
// common box when it is far from 0 for the box's size, else 0 (near the
// origin nothing moves, so nothing changes there).
void LocalOrigin(G3Surface* a, G3Surface* b, double* origin)
{
    GEnvelope box;
    GEnvelope other;
    a->FormEnvelope(&box);
    b->FormEnvelope(&other);
    box.Add(&other);
    const double size = box.GetMaxSize();
    for (int k = 0; k < 3; ++k) {
        const double centre = 0.5 * (box.GetMin()[k] + box.GetMax()[k]);
        origin[k] = std::fabs(centre) >= kFarFromOrigin * size ? centre : 0.0;
    }
}

bool AtOrigin(const double* origin) { return origin[0] == 0.0 && origin[1] == 0.0 && origin[2] == 0.0; }

// Every vertex moved by `sign` times `origin`.
void MoveBy(G3Surface* s, const double* origin, double sign)
{
    GArrayCollection* vertices = s->GetVertexList();
    for (int i = 0; i < vertices->size(); ++i) {
        G3Vertex* v = static_cast<G3Vertex*>(vertices->get(i));
        v->SetX(v->GetX() + sign * origin[0]);
        v->SetY(v->GetY() + sign * origin[1]);
        v->SetZ(v->GetZ() + sign * origin[2]);
    }
}

// The second operand, or a duplicate of the first when both are the same
// surface: the operation deletes its second operand, and must not delete
// the result with it.
G3Surface* SecondOperand(G3Surface* a, G3Surface* b) { return a && a == b ? a->Duplicate() : b; }

// Deletes `drop` and returns `keep`, or null (deleting `keep` too) when
// `keep` has no facets.
G3Surface* KeepOnly(G3Surface* keep, G3Surface* drop)
{
    delete drop;
    if (Empty(keep)) {
        delete keep;
        return nullptr;
    }
    return keep;
}

// Whether every vertex can be scaled up and down again without leaving
// the finite doubles.
bool Scalable(G3Surface* s)
{
    const double limit = DBL_MAX / kBooleanScale;
    GArrayCollection* vertices = s->GetVertexList();
    for (int i = 0; i < vertices->size(); ++i) {
        const double* p = static_cast<G3Vertex*>(vertices->get(i))->GetXYZ();
        for (int k = 0; k < 3; ++k)
            if (!(std::fabs(p[k]) <= limit))
                return false;
    }
    return true;
}

}  // namespace

// ---- the operations

G3Surface* G3BooleanCalculator::Add(G3Surface* a, G3Surface* b)
{
    failureReason.clear();
    b = SecondOperand(a, b);
    if (Empty(a) || Empty(b)) {
        // The empty solid adds nothing; the other operand is the union.
        return Empty(b) ? KeepOnly(a, b) : KeepOnly(b, a);
    }
    A = a;
    B = b;
    ChangeSurface();
    volumeRule = VolumeRule::Union;
    return BinaryOperation(kAddMaskA, kAddMaskB, 1);
}

G3Surface* G3BooleanCalculator::Sub(G3Surface* a, G3Surface* b)
{
    failureReason.clear();
    b = SecondOperand(a, b);
    if (Empty(a) || Empty(b))
        return KeepOnly(a, b);
    A = a;
    B = b;
    volumeRule = VolumeRule::Difference;
    B->NegNormals();
    return BinaryOperation(kSubMaskA, kSubMaskB, 1);
}

G3Surface* G3BooleanCalculator::Sub(G3Surface* a, G3Surface* b, GEVENT e)
{
    failureReason.clear();
    b = SecondOperand(a, b);
    if (Empty(a) || Empty(b)) {
        // The event form returns its first operand whatever is left of it,
        // empty or not.
        delete b;
        return a;
    }
    A = a;
    B = b;
    volumeRule = VolumeRule::Difference;
    B->NegNormals();
    return BinaryOperation(kSubMaskA, kSubMaskB, e);
}

G3Surface* G3BooleanCalculator::Common(G3Surface* a, G3Surface* b)
{
    failureReason.clear();
    b = SecondOperand(a, b);
    if (Empty(a) || Empty(b)) {
        delete a;
        delete b;
        return nullptr;
    }
    A = a;
    B = b;
    ChangeSurface();
    volumeRule = VolumeRule::Intersection;
    return BinaryOperation(kCommonMaskA, kCommonMaskB, 1);
}

void G3BooleanCalculator::BoundVolume()
{
    volumeLow = 0.0;
    volumeHigh = -1.0;
    if (volumeRule == VolumeRule::None || !A || !B || A == B || !G3SurfaceWatertight(A) || !G3SurfaceWatertight(B))
        return;
    // A difference's B comes turned in.
    const double va = G3SurfaceVolume(A), vb = (volumeRule == VolumeRule::Difference ? -1.0 : 1.0) * G3SurfaceVolume(B);
    if (!(va > 0.0 && vb > 0.0))
        return;
    const double slack = 4.0 * GTolerance::kWeld * (G3SurfaceArea(A) + G3SurfaceArea(B));
    switch (volumeRule) {
    case VolumeRule::None:
        return;
    case VolumeRule::Union:
        volumeLow = std::fmax(va, vb);
        volumeHigh = va + vb;
        break;
    case VolumeRule::Intersection:
        volumeLow = 0.0;
        volumeHigh = std::fmin(va, vb);
        break;
    case VolumeRule::Difference:
        volumeLow = std::fmax(0.0, va - vb);
        volumeHigh = va;
        break;
    }
    volumeLow -= slack;
    volumeHigh += slack;
}

std::string G3BooleanCalculator::VolumeDefect(const G3Surface* r) const
{
    if (volumeLow > volumeHigh || !r)
        return std::string();
    const double v = G3SurfaceVolume(r);
    if (v >= volumeLow && v <= volumeHigh)
        return std::string();
    return "the result's volume lies outside what the operands' volumes allow";
}

void G3BooleanCalculator::ChangeSurface()
{
    if (A && B && A->GetFacetCount() < B->GetFacetCount()) {
        G3Surface* t = A;
        A = B;
        B = t;
    }
}

// ---- the road of a boolean

G3Surface* G3BooleanCalculator::BinaryOperation(int maskA, int maskB, int unionInPlane)
{
    return RunBoolean(maskA, maskB, true, false, GEVENT(), unionInPlane != 0, true);
}

G3Surface* G3BooleanCalculator::BinaryOperation(int maskA, int maskB, GEVENT e)
{
    return RunBoolean(maskA, maskB, false, true, e, true, false);
}

G3Surface* G3BooleanCalculator::RunBoolean(int maskA, int maskB, bool deliverSegments, bool withEvent, GEVENT e,
                                           bool unionInPlane, bool deleteEmpty)
{
    // Spare copies for a second run, kept for closed solids that lie on
    // one another within the weld distance somewhere (corners near
    // corners, faces in one plane for the kernel but not for the cut, an
    // edge on a face, edges crossing a hair apart), and for any closed
    // solids of kSparesAlways facets or fewer between them, whose copies
    // cost little beside the cut (walls at any angle, rounded, failed a
    // first run where they touched nowhere within the weld): the first
    // run consumes the operands.
    std::unique_ptr<G3Surface> spareA;
    std::unique_ptr<G3Surface> spareB;
    std::unique_ptr<G3IntervalList> spareSegments;
    const bool solids = A && B && A != B && Scalable(A) && Scalable(B) && G3SurfaceWatertight(A) && G3SurfaceWatertight(B);
    const bool touching = solids && (G3CountNearVertices(A, B) > 0 || G3FacesNearOneAnother(A, B));
    if (touching || (solids && A->GetFacetCount() + B->GetFacetCount() <= kSparesAlways)) {
        spareA.reset(A->Duplicate());
        spareB.reset(B->Duplicate());
        if (deliverSegments && intersectionList)
            spareSegments.reset(new G3IntervalList(*intersectionList));
    }
    // Faces lying on one another within the weld distance may come back
    // both kept, closed: a window box as thick as its wall left the wall's
    // face whole over a cavity, walls butting kept a wall between them.
    // The first run of operands touching within the weld, and every second
    // run, watches for that (a run that finds it fails). Faces lying in
    // one plane exactly are the cut's own case, and watching them costs
    // (a quarter of a grid of walls crossing, their tops in one plane).
    struct Watch {
        G3BooleanCalculator& calc;
        ~Watch()
        {
            calc.watchOverlaps = false;
            calc.volumeRule = VolumeRule::None;
            calc.volumeLow = 0.0;
            calc.volumeHigh = -1.0;
        }
    } watch{*this};
    watchOverlaps = touching;
    if (spareA)
        BoundVolume();
    // A result passing the checks keeps the flag A came with.
    const bool solidA = A && A->GetSolid();
    G3Surface* failed = nullptr;
    // An intersection or difference coming back empty is held to the
    // operands: none where a corner of one lies clearly inside the other
    // (or, for a difference, a corner of A outside B). A box poking into
    // another's corner, its top flush and tipped a hair, was cut nowhere
    // and came back empty.
    const bool watchEmpty =
        spareA && (volumeRule == VolumeRule::Intersection || volumeRule == VolumeRule::Difference);
    G3Surface* result = RunBooleanOnce(maskA, maskB, deliverSegments, withEvent, e, unionInPlane,
                                       deleteEmpty && !watchEmpty, spareA ? &failed : nullptr);
    bool emptyFirst = false;
    if (watchEmpty && result && result->GetFacetCount() == 0) {
        if (volumeRule == VolumeRule::Intersection
                ? HasCornerStrictly(spareA.get(), spareB.get(), true) ||
                      HasCornerStrictly(spareB.get(), spareA.get(), true)
                : HasCornerStrictly(spareA.get(), spareB.get(), false)) {
            failed = result;
            result = nullptr;
            failureReason = "the result is empty, yet the solids overlap";
            emptyFirst = true;
        } else if (deleteEmpty) {
            delete result;
            result = nullptr;
        }
    }
    // A first result whose contours double back (a corner the cut put on
    // the far side of its neighbour along a straight run, the facet
    // folding over itself there) is retried as a failed one, and goes back
    // as it came when no retry comes back clean. One with facets on one
    // another that the watch at the cut's scale missed or did not run
    // (pieces of a face tipped a hair off the other's, merged after it; a
    // slice's box along a wall's face leaving that face under the part's
    // cap) fails as the watched ones do.
    std::string firstDefect;
    bool foldedFirst = false;
    if (spareA && !failed && result) {
        firstDefect = G3FoldCheck(result);
        foldedFirst = !firstDefect.empty();
        if (!foldedFirst && !(firstDefect = G3OverlapCheck(result)).empty())
            firstDefect = "the result is not a closed solid: " + firstDefect;
    }
    if (!firstDefect.empty()) {
        failed = result;
        result = nullptr;
        failureReason = firstDefect;
    }
    if (!failed)
        return spareA && result ? WithoutHairSteps(result, maskA, maskB, deliverSegments, withEvent, e, unionInPlane,
                                                   deleteEmpty, spareA, spareB, spareSegments)
                                : result;
    const std::string firstReason = failureReason;
    watchOverlaps = true;
    // A closed retry result holding edges shorter than the weld (a snap
    // that folded a hair step into it) or contours doubling back is held
    // back while the later retries are tried, and taken only when none
    // comes back clean.
    std::unique_ptr<G3Surface> held;
    // A run again on copies of the spares, with the failed run's segments
    // dropped; null when it failed (failureReason says why) or came back
    // rightly empty (failureReason empty).
    auto again = [&](G3Surface* a, G3Surface* b) -> G3Surface* {
        if (spareSegments)
            *intersectionList = *spareSegments;
        failureReason.clear();
        A = a;
        B = b;
        G3Surface* r = RunBooleanOnce(maskA, maskB, deliverSegments, withEvent, e, unionInPlane, deleteEmpty, nullptr);
        if (emptyFirst && failureReason.empty() && (!r || r->GetFacetCount() == 0)) {
            // Empty again, where the operands rule that out.
            delete r;
            failureReason = firstReason;
            return nullptr;
        }
        if (r && (HasEdgeBelowWeld(r) || !G3FoldCheck(r).empty())) {
            if (!held)
                held.reset(r);
            else
                delete r;
            failureReason = firstReason;
            return nullptr;
        }
        return r;
    };
    auto failing = [&] { return !result && !failureReason.empty(); };
    // The retries, in turn until one comes back closed (or rightly empty):
    // 1. A face given as several facets, each flat only to the rounding
    //    of its corners, bends where they meet by more than the cut
    //    allows, and a face of the other operand lying on it is in the
    //    plane of one of them at most; faces a hair off each other's
    //    planes (a model written with seven decimals and read back, a face
    //    of B tipped a few nanoradians off one of A's) cross at shallow
    //    angles for the cut, a thousand times finer than the weld. The
    //    first retry puts every face that is one plane for the kernel, of
    //    either operand, into one plane, then B's corners on A's; about
    //    the local origin (sharePlanes), since at site coordinates the
    //    corners it solves would be rounded to the site's grid, as coarse
    //    as the cut's tolerance there.
    // 2. The same with the corners of either lying on a face of the other
    //    put onto it (restOnFaces): a wall's edge under a roof's face,
    //    rounded, is a sliver of overlap or gap for the cut.
    // 3. B's corners on A's alone (a near copy of A).
    // 4. Each operand's corners on their own facets' planes, B's near faces
    //    in A's planes, then B's corners on A's.
    // 5. The cut at the model's own grain (cutScale 1), its tolerances the
    //    kernel's: touches within the rounding (edges crossing a hair
    //    apart, a corner a hair off a face) are touches there; then the
    //    same with the planes shared and the corners put on the faces
    //    they rest on, as in 2. Not where the caller takes the segments,
    //    which are handed over at the usual scale.
    sharePlanes = true;
    result = again(spareA->Duplicate(), spareB->Duplicate());
    if (failing() && G3CountCornersOnFaces(spareA.get(), spareB.get()) > 0) {
        restOnFaces = true;
        result = again(spareA->Duplicate(), spareB->Duplicate());
        restOnFaces = false;
    }
    sharePlanes = false;
    if (failing()) {
        std::unique_ptr<G3Surface> b(spareB->Duplicate());
        if (G3SnapOntoVertices(b.get(), spareA.get()) > 0)
            result = again(spareA->Duplicate(), b.release());
    }
    if (failing()) {
        std::unique_ptr<G3Surface> a(spareA->Duplicate());
        std::unique_ptr<G3Surface> b(spareB->Duplicate());
        const int flattened = G3FlattenOntoOwnPlanes(a.get()) + G3FlattenOntoOwnPlanes(b.get());
        const int intoPlanes = G3SnapOntoPlanes(b.get(), a.get());
        if (G3SnapOntoVertices(b.get(), a.get()) + flattened + intoPlanes > 0)
            result = again(a.release(), b.release());
    }
    if (failing() && !(deliverSegments && intersectionList)) {
        cutScale = 1.0;
        result = again(spareA->Duplicate(), spareB->Duplicate());
        if (failing()) {
            sharePlanes = restOnFaces = true;
            result = again(spareA->Duplicate(), spareB->Duplicate());
            sharePlanes = restOnFaces = false;
        }
        cutScale = kBooleanScale;
    }
    if (failing() && foldedFirst) {
        failureReason.clear();
        return failed;
    }
    if (failing() && held) {
        result = held.release();
        failureReason.clear();
    }
    if (failing() && emptyFirst) {
        delete failed;
        return nullptr;
    }
    if (!result && !failureReason.empty()) {
        // No retry mended it: the first result welded, or the first
        // reason.
        std::string defect;
        failureReason = firstReason;
        if (!ClosedOnceWelded(failed, defect) || !(defect = VolumeDefect(failed)).empty()) {
            delete failed;
            return nullptr;
        }
        failureReason.clear();
        if (solidA)
            failed->SetSolid();
        return failed;
    }
    if (!result) {
        delete failed;
        return nullptr;
    }
    // The result goes back into the object the caller handed over (the
    // operations return that object): its failed content moves out, the
    // second run's moves in.
    G3Surface discard;
    if (!discard.AppendMoving(failed) || !failed->AppendMoving(result)) {
        delete failed;
        return result;
    }
    // The second run's object was a duplicate of the first's, flags and all,
    // and took the same road: its flags stand.
    if (result->GetSolid())
        failed->SetSolid();
    else
        failed->ClearSolid();
    delete result;
    return failed;
}

G3Surface* G3BooleanCalculator::WithoutHairSteps(G3Surface* result, int maskA, int maskB, bool deliverSegments,
                                                 bool withEvent, GEVENT e, bool unionInPlane, bool deleteEmpty,
                                                 std::unique_ptr<G3Surface>& spareA,
                                                 std::unique_ptr<G3Surface>& spareB,
                                                 std::unique_ptr<G3IntervalList>& spareSegments)
{
    // A face of B drawn a hair (less than the weld distance) off a face of
    // A is a step of real height for the cut, which works kBooleanScale
    // times finer: the result keeps it as edges shorter than the point
    // tolerance, closed, but every later pass takes their ends for one
    // point (a slice through the step came back open). Such a result is
    // made again with B's faces put into A's planes; a result without
    // such edges is never touched.
    if (!HasEdgeBelowWeld(result))
        return result;
    const int moved = G3SnapOntoPlanes(spareB.get(), spareA.get());
    if (moved == 0 && G3SnapOntoVertices(spareB.get(), spareA.get()) == 0)
        return result;
    if (moved > 0)
        G3SnapOntoVertices(spareB.get(), spareA.get());
    std::unique_ptr<G3IntervalList> firstSegments;
    if (spareSegments) {
        firstSegments.reset(new G3IntervalList(*intersectionList));
        *intersectionList = *spareSegments;
    }
    A = spareA.release();
    B = spareB.release();
    watchOverlaps = true;
    G3Surface* again = RunBooleanOnce(maskA, maskB, deliverSegments, withEvent, e, unionInPlane, deleteEmpty, nullptr);
    if (!again && failureReason.empty()) {
        // The hair-thin overlap was all there was: the result is empty, as
        // for the faces drawn in place.
        delete result;
        return nullptr;
    }
    // The second run stands only when it came back closed without such
    // edges and without contours doubling back; otherwise the first result
    // goes back as it was.
    if (!again || HasEdgeBelowWeld(again) || !G3FoldCheck(again).empty()) {
        delete again;
        failureReason.clear();
        if (firstSegments)
            *intersectionList = *firstSegments;
        return result;
    }
    // The result goes back in the object the caller handed over.
    G3Surface discard;
    if (!discard.AppendMoving(result) || !result->AppendMoving(again)) {
        delete result;
        return again;
    }
    if (again->GetSolid())
        result->SetSolid();
    else
        result->ClearSolid();
    delete again;
    return result;
}

G3Surface* G3BooleanCalculator::RunBooleanOnce(int maskA, int maskB, bool deliverSegments, bool withEvent,
                                               GEVENT e, bool unionInPlane, bool deleteEmpty, G3Surface** failed)
{
    if (!A || !B || A == B) {
        // Nothing to combine: the operations split these cases off; a
        // caller reaching here directly loses nothing but B.
        if (A != B)
            delete B;
        B = nullptr;
        return A;
    }
    if (!Scalable(A) || !Scalable(B)) {
        delete A;
        delete B;
        A = B = nullptr;
        return nullptr;
    }
    // Only closed operands promise a closed result: an open operand's
    // result is handed back as it comes. (Closed but not consistently
    // oriented operands are held to it: what comes of them is refused.)
    const bool solids = G3SurfaceWatertight(A) && G3SurfaceWatertight(B);
    double origin[3] = {0.0, 0.0, 0.0};
    LocalOrigin(A, B, origin);
    // A slice's plane moves with the operands: the facets compared with it
    // stand about the local origin. The slice holds its plane as
    // a x + b y + c z = d (its anchor is d times the normal), so moving the
    // points by -origin moves d by -(normal . origin).
    double* callersPlane = slicePlane;
    double movedPlane[4] = {0.0, 0.0, 0.0, 0.0};
    if (!AtOrigin(origin)) {
        MoveBy(A, origin, -1.0);
        MoveBy(B, origin, -1.0);
        // The preparation merges coplanar facets and triangulates those not
        // flat by their planes before the planes are formed on the scaled
        // coordinates: planes left at the site would find every facet as
        // far off its own plane as the site lies from the origin, and the
        // operands would be cut as other meshes than at the origin.
        A->FormPlaneEquation();
        B->FormPlaneEquation();
        if (slicePlane) {
            for (int k = 0; k < 3; ++k)
                movedPlane[k] = slicePlane[k];
            movedPlane[3] = slicePlane[3] - (slicePlane[0] * origin[0] + slicePlane[1] * origin[1] +
                                             slicePlane[2] * origin[2]);
            slicePlane = movedPlane;
        }
    }
    if (sharePlanes) {
        // RunBoolean's first retry (see there), made about the local origin.
        WeldHairEdges(A);
        WeldHairEdges(B);
        if (G3FlattenOntoSharedPlanes(A, B, restOnFaces) > 0)
            G3SnapOntoVertices(B, A);
    }
    OpenBoolean();
    Divide();
    if (deliverSegments && intersectionList) {
        GArrayCollection* facets = B->GetFacetList();
        for (int i = 0; i < facets->size(); ++i) {
            const G3BooleanFacetData* r = G3BooleanFacetData::Of(static_cast<G3Facet*>(facets->get(i)));
            if (r && r->segments)
                intersectionList->Merge(r->segments);
        }
    }
    if (clip != G_CLIP_DISJOINT) {
        // Each operand is cut along the segments its own facets hold (the
        // pairing gave each facet copies of its own), into vertices of its
        // own: the two cuts run side by side.
        if (withEvent)
            G3SideBySide::RunForOperands(
                A, B, [&] { MergeSurfaceAndIntersectionTree(A, &envA, e); },
                [&] { MergeSurfaceAndIntersectionTree(B, &envB, e); });
        else
            G3SideBySide::RunForOperands(
                A, B, [&] { MergeSurfaceAndIntersectionTree(A, &envA); },
                [&] { MergeSurfaceAndIntersectionTree(B, &envB); });
    }
    HoldLargeFacets(A);
    HoldLargeFacets(B);
    ClassifyVerticesOfBoth();
    ClassifyFacetsOfBoth();
    slicePlane = callersPlane;
    ReleaseRayGrid();
    G3SideBySide::RunForOperands(
        A, B,
        [this, maskA] {
            RemoveFacetsByClassify(A, maskA);
            MarkSeams(A);
            CloseBoolean(A);
        },
        [this, maskB] {
            RemoveFacetsByClassify(B, maskB);
            MarkSeams(B);
            CloseBoolean(B);
        });
    // The kept facets of the two operands lying on one another (the cut's
    // scale, so the kernel's tolerances times it).
    const bool onOneAnother = solids && watchOverlaps && G3FacetsOnOneAnother(A, B, cutScale, nullptr, nullptr);
    MergeFacets(A, B);
    FormPlanes(A);
    delete B;
    B = nullptr;
    // The weld that joined the operands ended with this cleanup, and
    // planes change no topology.
    if (clip == G_CLIP_DISJOINT)
        A->RemoveUnused();
    A->RemoveNonManifoldEdges();
    if (unionInPlane)
        A->UnionInPlaneFacets(kUnionInPlaneMask);
    A->UnionFacetsWithFreshPlanes(kUnionFacetsMask);
    bool closed = Closed(A);
    // Even counts on every vertex pair still let a face run out and back
    // along a pair on two edges of one side each: the check of edges
    // decides, and its finding stands for the result (scaling and moving
    // back change no topology).
    std::string defect = solids ? G3ClosedCheck(A) : std::string();
    if (solids && (!closed || !defect.empty())) {
        // Where a face of one operand meets a face of the other at an
        // angle, the two cuts may split their common line at different
        // vertices (one keeps a corner of its own grid there, the other's
        // cut line runs past it): the seam is a T-junction, which merging
        // in planes cannot take out. Splitting edges at the vertices that
        // lie on them and stitching the pairs closes it; a closed result
        // is left as it stands.
        A->RemoveEqualsVertexAndDivideEdges();
        A->RemoveNonManifoldEdges();
        if (PairRunsWithWalls(A) > 0)
            A->RemoveUnused();
        // A run with no walls along it is a slit inside the face: the
        // face is rebuilt without it.
        A->CancelRunsOutAndBack();
        closed = Closed(A);
        defect = G3ClosedCheck(A);
    }
    if (onOneAnother && defect.empty())
        defect = "facets of the two solids lie on one another";
    // Facets added with the cut's flags (and its passes' marks) left them
    // as the flags the next new edge takes: an edit after the boolean (an
    // opening pushed into a wall) made its walls with the seam flag, and
    // its update merged them away.
    ClearWorkEdgeFlags(A, kWorkEdgeFlags);
    A->ScaleCoo(1.0 / cutScale);
    if (!AtOrigin(origin))
        MoveBy(A, origin, 1.0);
    // The planes formed on the cut's coordinates, carried back with them
    // (the cleanup passes keep every facet's plane current).
    UnscalePlanes(A, origin, cutScale);
    if (solids && defect.empty())
        defect = VolumeDefect(A);
    // Welded only when the caller has no run of its own left to try.
    if (solids && !defect.empty() && !failed) {
        closed = ClosedOnceWelded(A, defect);
        if (closed) {
            defect = VolumeDefect(A);
            closed = defect.empty();
        }
    }
    if (!closed)
        A->ClearSolid();
    G3Surface* result = A;
    A = nullptr;
    if (!defect.empty()) {
        failureReason = defect.rfind("the result", 0) == 0 ? defect : "the result is not a closed solid: " + defect;
        if (failed)
            *failed = result;
        else
            delete result;
        return nullptr;
    }
    if (deleteEmpty && result->GetFacetCount() == 0) {
        delete result;
        return nullptr;
    }
    return result;
}

void G3BooleanCalculator::MergeFacets(G3Surface* a, G3Surface* b)
{
    if (!a || !b || a == b)
        return;
    // b goes once its rest is in a: its entities move over when nothing
    // watches them, else they are copied.
    if (!a->AppendMoving(b))
        a->Copy(b);
    if (clip != G_CLIP_DISJOINT)
        a->RemoveEqualsVertex();
}
