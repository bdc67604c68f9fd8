// Slicing a solid by a plane or by an open sheet, and separating a surface
// into its connected pieces. Invariants:
// - the plane slices are two boolean differences with half-space boxes
//   (G3SolidsBuilder::BuildBox turned onto the plane), each on a duplicate
//   of the solid, so the caller's solid is deleted only once both sides
//   came out of the engine; a refusal or an engine failure leaves it as it
//   was;
// - a solid lying wholly on one side of the plane (every vertex within
//   kPlaneSide of it or beyond) is handed back as it is, without a boolean;
// - a solid far from the origin for its size is cut about its box centre,
//   its vertices within kPlaneSide of the plane put on it there, and the
//   parts moved back;
// - the sheet slice works on duplicates of both inputs and deletes the
//   inputs only when it returns true;
// - scratch marks 3 and 4 used by the flood fills are cleared on every
//   surface handed back and on the inputs;
// - the separation's pieces and what it leaves are those of its whole
//   rounds (each piece a copy of the whole rest, the rest updated after
//   each); once the rest passes PiecesComeApart the rounds go by piece.
// The places that round are the engine's (scaling and the cut) and the
// normalisation of the plane's normal.
#include "Geometry/boolean/G3BooleanCalculator.h"

#include "Geometry/boolean/G3SolidsBuilder.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/G3Math.h"
#include "Geometry/math/GMatrix.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3MeshCheck.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3SurfacePiece.h"

#include <cmath>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

constexpr long kMarks = G3Obj::FLAG_MARK3 | G3Obj::FLAG_MARK4;

// A slice is near the origin while the box of the solid, the origin and the
// plane's anchor is at most this many times the solid's size: its boxes may
// reach the origin without widening the engine's frame by much.
constexpr double kNearOrigin = 16.0;

bool HasVertices(const G3Surface* s) { return s && s->GetVertexCount() > 0; }

// The box's centre on `axis` is far from the origin for the box's size:
// the slice then cuts about a local origin on that axis.
bool FarOnAxis(const GEnvelope& env, int axis)
{
    const double centre = 0.5 * (env.GetMin()[axis] + env.GetMax()[axis]);
    return std::fabs(centre) >= kNearOrigin * env.GetMaxSize();
}

bool FarForItsSize(const GEnvelope& env) { return FarOnAxis(env, 0) || FarOnAxis(env, 1) || FarOnAxis(env, 2); }

bool FiniteCoordinates(const G3Surface* s)
{
    for (int k = 0; k < s->GetVertexCount(); ++k) {
        const double* x = s->GetVertex(k)->GetXYZ();
        if (!std::isfinite(x[0]) || !std::isfinite(x[1]) || !std::isfinite(x[2]))
            return false;
    }
    return true;
}

void ClearMarks(G3Surface* s)
{
    if (!s)
        return;
    s->ChangeEdgeFlags(kMarks, false);
    s->ChangeFacetFlags(kMarks, false);
}

// Flood fill across edges from `start`: every reachable facet and its edges
// get `flag`; edges carrying `stop` (or already `flag`) are not crossed,
// and facets carrying `stop` are not entered. With `reached`, the facets
// are appended to it.
void FloodFill(G3Edge* start, long flag, long stop, std::vector<G3Facet*>* reached = nullptr)
{
    std::vector<G3Edge*> queue;
    start->SetFlags(start->GetFlags() | flag);
    queue.push_back(start);
    GArrayCollection edges;
    for (std::size_t head = 0; head < queue.size(); ++head) {
        G3Edge* e = queue[head];
        G3Facet* fs[2] = {e->GetFacet1(), e->GetFacet2()};
        for (G3Facet* f : fs) {
            if (!f || (f->GetFlags() & (flag | stop)))
                continue;
            f->SetFlags(f->GetFlags() | flag);
            if (reached)
                reached->push_back(f);
            edges.clear();
            f->GetEdges(&edges);
            for (int k = 0; k < edges.size(); ++k) {
                G3Edge* g = static_cast<G3Edge*>(edges.get(k));
                if (g->GetFlags() & (flag | stop))
                    continue;
                g->SetFlags(g->GetFlags() | flag);
                queue.push_back(g);
            }
        }
    }
}

// Appends b's entities to a (b left empty) and welds the seam, splitting
// the edges of either side at the other's corners on them.
void AppendAndWeld(G3Surface* a, G3Surface* b)
{
    if (!a->AppendMoving(b))
        a->Copy(b);
    a->RemoveEqualsVertexAndDivideEdges();
    a->RemoveNonManifoldEdges();
    a->FormPlaneEquation();
}

// Unit direction in f's plane, across e and into f; false when e or f's
// plane has no direction.
bool IntoFacet(G3Facet* f, G3Edge* e, double* dir)
{
    const double* a = e->GetVertex1()->GetXYZ();
    const double* b = e->GetVertex2()->GetXYZ();
    double t[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    if (!f->GetMoveDirection(e))
        for (double& x : t)
            x = -x;
    const double* n = f->GetPlane();
    // Counter-clockwise about n, the facet lies to the left of its run.
    double c[3] = {n[1] * t[2] - n[2] * t[1], n[2] * t[0] - n[0] * t[2], n[0] * t[1] - n[1] * t[0]};
    const double len = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
    if (!(len >= GTolerance::kZeroLength))
        return false;
    for (int k = 0; k < 3; ++k)
        dir[k] = c[k] / len;
    return true;
}

bool SameEnds(const G3Edge* e, const G3Edge* g)
{
    const G3Vertex* a = e->GetVertex1();
    const G3Vertex* b = e->GetVertex2();
    const G3Vertex* c = g->GetVertex1();
    const G3Vertex* d = g->GetVertex2();
    return (a->Equals(c) && b->Equals(d)) || (a->Equals(d) && b->Equals(c));
}

// g runs along e: the same ends, or both ends of one on the other. The cap
// and the cut solid come out of separate booleans, and each keeps only the
// corners its own facets need along the seam (a sheet's fold shows on the
// cap's border, a wall's corner on the cut solid's seam).
bool RunsAlong(const G3Edge* e, const G3Edge* g)
{
    if (SameEnds(e, g))
        return true;
    const double* a = e->GetVertex1()->GetXYZ();
    const double* b = e->GetVertex2()->GetXYZ();
    const double* c = g->GetVertex1()->GetXYZ();
    const double* d = g->GetVertex2()->GetXYZ();
    return (PtOnSegment(c, a, b) && PtOnSegment(d, a, b)) || (PtOnSegment(a, c, d) && PtOnSegment(b, c, d));
}

// Every vertex moved by +origin and every plane n . x + d = 0 with it.
void MoveBack(G3Surface* s, const double* origin)
{
    for (int k = 0; k < s->GetVertexCount(); ++k) {
        G3Vertex* v = s->GetVertex(k);
        v->SetX(v->GetX() + origin[0]);
        v->SetY(v->GetY() + origin[1]);
        v->SetZ(v->GetZ() + origin[2]);
    }
    for (int k = 0; k < s->GetFacetCount(); ++k) {
        double* n = s->GetFacet(k)->GetPlane();
        n[3] -= n[0] * origin[0] + n[1] * origin[1] + n[2] * origin[2];
    }
}

// A piece of the cut solid that neither side's fill reached lies apart
// from the sheet (it may touch it along an edge): a void, or a solid of its
// own. A void goes with the side whose material holds it: left with side
// two whatever its place, it sat outside that side's material as a shell
// facing in, and side one lost it (both parts closed, neither volume
// right). Its corners ask side one (its facets closed by the cap) by
// rays, in the piece's order, until one is inside or outside (a corner on
// the sheet is on side one's boundary); a piece found inside is marked as
// side one. A solid of its own is in no side's material and stays with
// side two.
void JoinEnclosedPieces(G3Surface* cut, G3Surface* cap)
{
    std::vector<G3Facet*> loose;
    for (int k = 0; k < cut->GetFacetCount(); ++k)
        if (!(cut->GetFacet(k)->GetFlags() & kMarks))
            loose.push_back(cut->GetFacet(k));
    if (loose.empty())
        return;
    G3Surface side;
    side.Copy(cut);
    for (int k = side.GetFacetCount() - 1; k >= 0; --k)
        if (!side.GetFacet(k)->GetMark3())
            side.RemoveFacet(side.GetFacet(k));
    side.RemoveUnused();
    G3Surface closed;
    closed.Copy(cap);
    AppendAndWeld(&closed, &side);
    ClearMarks(&closed);
    G3BooleanCalculator query;
    if (!query.OpenFindIntersection(&closed))
        return;
    std::vector<G3Facet*> piece;
    for (G3Facet* f : loose) {
        if (f->GetFlags() & kMarks)
            continue;
        piece.clear();
        FloodFill(f->GetFirstEdge(), G3Obj::FLAG_MARK4, G3Obj::FLAG_MARK3, &piece);
        SURF_CLASSIFY c = SC_UNKNOWN;
        for (std::size_t i = 0; i < piece.size() && c != SC_INSIDE && c != SC_OUTSIDE; ++i) {
            G3ContourWalker w(piece[i]);
            while (c != SC_INSIDE && c != SC_OUTSIDE && w.Next())
                c = query.FindVertexClassify(w.GetEntry()->GetXYZ());
        }
        if (c == SC_INSIDE)
            for (G3Facet* g : piece)
                g->SetFlags((g->GetFlags() & ~G3Obj::FLAG_MARK4) | G3Obj::FLAG_MARK3);
    }
    query.CloseFindIntersection(&closed);
}

} // namespace

bool G3BooleanCalculator::Slice(G3Surface* s, double* plane, bool cut, G3Surface** below, G3Surface** above,
                                bool capFromBox)
{
    return SliceWith(s, plane, cut, below, above, capFromBox, false);
}

bool G3BooleanCalculator::SliceED(G3Surface* s, double* plane, bool cut, G3Surface** below, G3Surface** above)
{
    return SliceWith(s, plane, cut, below, above, false, true);
}

bool G3BooleanCalculator::CutUpByPlane(G3Surface* s, const double (&plane)[4], bool cut, G3Surface** below,
                                       G3Surface** above)
{
    // Slice's offset runs along the unit normal; the equation's d along
    // (a, b, c) as given.
    const double len = std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]);
    double p[4] = {plane[0], plane[1], plane[2], len > 0.0 ? -plane[3] / len : -plane[3]};
    return SliceWith(s, p, cut, below, above, false, false);
}

bool G3BooleanCalculator::SliceWith(G3Surface* s, const double* plane, bool cut, G3Surface** below,
                                    G3Surface** above, bool capFromBox, bool withExData)
{
    if (below)
        *below = nullptr;
    if (above)
        *above = nullptr;
    failureReason.clear();
    if (!s || !plane || !below || !above || !cut || s->GetFacetCount() == 0)
        return false;
    for (int k = 0; k < 4; ++k)
        if (!std::isfinite(plane[k]))
            return false;
    const double len = std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]);
    if (!(len >= GTolerance::kZeroLength) || !std::isfinite(len) || !FiniteCoordinates(s))
        return false;
    double p[4] = {plane[0] / len, plane[1] / len, plane[2] / len, plane[3]};

    // Wholly on one side: the solid comes back as it is.
    double lo = 0.0;
    double hi = 0.0;
    for (int k = 0; k < s->GetVertexCount(); ++k) {
        const double* x = s->GetVertex(k)->GetXYZ();
        const double h = p[0] * x[0] + p[1] * x[1] + p[2] * x[2] - p[3];
        lo = k == 0 ? h : std::fmin(lo, h);
        hi = k == 0 ? h : std::fmax(hi, h);
    }
    if (lo >= -GTolerance::kPlaneSide || hi <= GTolerance::kPlaneSide) {
        *below = s;
        return false;
    }

    // The engine cuts at 1000 times the scale, where a face lying within
    // kPlaneSide of the plane along its whole length (a plane through a
    // corner tipped by a few nanoradians off the face) crosses at a shallow
    // angle, and its cut may stop short of the next face's. Such vertices
    // put on the plane make the face lie in it. Site coordinates need that
    // snap (below) and a local origin; near the origin the cut goes first
    // as given. A refused side is tried once more the other way: a snap
    // can also tip a short edge across the plane.
    GEnvelope env;
    s->FormEnvelope(&env);
    const bool siteFirst = FarForItsSize(env);
    G3Surface* b = nullptr;
    G3Surface* a = nullptr;
    if (!CutByBoxes(s, p, siteFirst, capFromBox, withExData, &b, &a)) {
        const std::string reason = failureReason;
        failureReason.clear();
        if (!CutByBoxes(s, p, !siteFirst, capFromBox, withExData, &b, &a)) {
            failureReason = reason;
            return false;
        }
    }
    delete s;
    if (HasVertices(b)) {
        *below = b;
        if (HasVertices(a)) {
            *above = a;
            return true;
        }
        delete a;
        return false;
    }
    delete b;
    *below = a;
    return false;
}

namespace {

// The parts of a closed solid s, each sound on its own (the engine's
// checks), fill s: their volumes add up to its, give or take what moving
// every face by twice the weld distance changes, and neither is turned
// inside out. A part the engine classified wrongly comes back closed and
// sound but with a region doubled or missing. Open solids pass.
bool PartsAddUp(const G3Surface* s, const G3Surface* b, const G3Surface* a)
{
    if (!G3SurfaceWatertight(s))
        return true;
    const double whole = G3SurfaceVolume(s);
    if (!(whole > 0.0))
        return true;
    const double slack = 4.0 * GTolerance::kWeld * G3SurfaceArea(s);
    const double vb = b ? G3SurfaceVolume(b) : 0.0, va = a ? G3SurfaceVolume(a) : 0.0;
    return vb >= -slack && va >= -slack && std::fabs(vb + va - whole) <= slack;
}

}  // namespace

bool G3BooleanCalculator::CutByBoxes(G3Surface* s, const double* plane, bool snap, bool capFromBox,
                                     bool withExData, G3Surface** below, G3Surface** above)
{
    *below = nullptr;
    *above = nullptr;
    double p[4] = {plane[0], plane[1], plane[2], plane[3]};
    // A solid far from the origin for its size (site coordinates) is cut
    // about a local origin, the centre of its box on each such axis (the
    // subtraction is exact, as in the engine), and with `snap` its
    // vertices within kPlaneSide of the plane are put on it there. At the
    // site a vertex is rounded to a grid as coarse as the engine's band on
    // its scaled coordinates: a jamb along the plane of a turned wall lay
    // a grid step off the plane, the engine cut it as crossing at some
    // corners and flush at others, and both sides came back open. About
    // the local origin the vertex and the boxes' face agree to far below
    // that band.
    G3Surface* work = s->Duplicate();
    GEnvelope env;
    work->FormEnvelope(&env);
    const double solidSize = env.GetMaxSize();
    double centre[3];
    double origin[3] = {0.0, 0.0, 0.0};
    for (int k = 0; k < 3; ++k) {
        centre[k] = 0.5 * (env.GetMin()[k] + env.GetMax()[k]);
        if (FarOnAxis(env, k))
            origin[k] = centre[k];
    }
    const bool moved = origin[0] != 0.0 || origin[1] != 0.0 || origin[2] != 0.0;
    if (moved || snap) {
        p[3] -= p[0] * origin[0] + p[1] * origin[1] + p[2] * origin[2];
        for (int k = 0; k < work->GetVertexCount(); ++k) {
            G3Vertex* v = work->GetVertex(k);
            double x[3] = {v->GetX() - origin[0], v->GetY() - origin[1], v->GetZ() - origin[2]};
            const double h = p[0] * x[0] + p[1] * x[1] + p[2] * x[2] - p[3];
            if (snap && std::fabs(h) <= GTolerance::kPlaneSide)
                for (int c = 0; c < 3; ++c)
                    x[c] -= h * p[c];
            v->SetX(x[0]);
            v->SetY(x[1]);
            v->SetZ(x[2]);
        }
        work->FormPlaneEquation();
        work->FormEnvelope(&env);
        for (int k = 0; k < 3; ++k)
            centre[k] = 0.5 * (env.GetMin()[k] + env.GetMax()[k]);
    }

    // The boxes reach every vertex four times over. Near the origin they
    // are anchored where the plane is nearest the origin and reach the
    // solid's box, the origin and that anchor. A solid still far from the
    // origin for its size on an axis gets boxes about the point of the
    // plane nearest its box centre, sized from its box alone: boxes
    // reaching the origin would be as wide as the solid is far, and the
    // engine's local origin, the centre of the operands' common box, would
    // move away from the solid with them.
    const double anchor[3] = {p[0] * p[3], p[1] * p[3], p[2] * p[3]};
    env.Add(0.0, 0.0, 0.0);
    env.Add(anchor[0], anchor[1], anchor[2]);
    double size = 4.0 * env.GetMaxSize();
    double m1[4][4];
    double m2[4][4];
    const double q[4] = {-p[0], -p[1], -p[2], -p[3]};
    if (!M4RotationMatrix(p, m1) || !M4RotationMatrix(q, m2)) {
        delete work;
        return false;
    }
    if (env.GetMaxSize() > kNearOrigin * solidSize) {
        const double h = p[0] * centre[0] + p[1] * centre[1] + p[2] * centre[2] - p[3];
        for (int k = 0; k < 3; ++k)
            m1[3][k] = m2[3][k] = centre[k] - h * p[k];
        size = 4.0 * solidSize;
    }
    CExDataProvider* provider = withExData ? s->GetExtendedDataFacetDefault().GetMap() : nullptr;
    G3Surface* box1 = G3SolidsBuilder::BuildBox(m1, size, provider);
    G3Surface* box2 = G3SolidsBuilder::BuildBox(m2, size, provider);
    if (!box1 || !box2) {
        delete box1;
        delete box2;
        delete work;
        return false;
    }
    G3Surface* copy = work->Duplicate();
    slicePlane = capFromBox ? p : nullptr;
    G3Surface* b = withExData ? Sub(work, box1, GEVENT_NONE) : Sub(work, box1);
    std::string reason = failureReason;
    G3Surface* a = nullptr;
    if (reason.empty()) {
        a = withExData ? Sub(copy, box2, GEVENT_NONE) : Sub(copy, box2);
        reason = failureReason;
    } else {
        delete copy;
        delete box2;
    }
    slicePlane = nullptr;
    if (!reason.empty()) {
        // The engine refused a side: the caller keeps the solid.
        delete a;
        delete b;
        failureReason = reason;
        return false;
    }
    if (!PartsAddUp(s, b, a)) {
        delete a;
        delete b;
        failureReason = "the parts' volumes do not add up to the solid's";
        return false;
    }
    if (moved)
        for (G3Surface* part : {a, b})
            if (part)
                MoveBack(part, origin);
    *below = b;
    *above = a;
    return true;
}

bool G3BooleanCalculator::SliceBySurface(G3Surface* s, G3Surface* sheet, G3Surface** part1, G3Surface** part2)
{
    if (part1)
        *part1 = nullptr;
    if (part2)
        *part2 = nullptr;
    failureReason.clear();
    if (!s || !sheet || s == sheet || !part1 || !part2 || s->GetFacetCount() == 0 || sheet->GetFacetCount() == 0)
        return false;
    if (sheet->GetClosed() || !FiniteCoordinates(s) || !FiniteCoordinates(sheet))
        return false;
    // The engine checks its results only when both operands are closed, and
    // the sheet never is: the parts of a closed solid are checked here.
    const bool closedSolid = G3ClosedCheck(s).empty();

    // The cap: the part of the sheet inside s, facing against the sheet.
    A = s->Duplicate();
    B = sheet->Duplicate();
    B->NegNormals();
    G3Surface* cap = BinaryOperation(55, 50, 1);
    if (!cap || cap->GetFacetCount() == 0) {
        delete cap;
        return false;
    }
    // The cut solid: s cut along the sheet, all its facets kept.
    A = s->Duplicate();
    B = sheet->Duplicate();
    B->NegNormals();
    G3Surface* cut = BinaryOperation(0, 55, 0);
    if (!cut || cut->GetFacetCount() == 0) {
        delete cap;
        delete cut;
        return false;
    }
    ClearMarks(cut);
    ClearMarks(cap);

    // Seam edges: the cut solid's edges along the cap's; each one's facets
    // lie on the two sides of the sheet, told apart by the direction into
    // them against the normal of the cap facet on that edge (a folded sheet
    // turns its normal from edge to edge). Every facet met on the seam
    // seeds its side's fill: the sheet may cut the solid into more than one
    // region on a side, and a region no fill reached would go with the
    // first part whatever its side.
    std::vector<G3Facet*> side[2];
    bool failed = false;
    for (int i = 0; !failed && i < cap->GetEdgeCount(); ++i) {
        G3Edge* ce = cap->GetEdge(i);
        const G3Facet* ref = ce->GetFacet1() ? ce->GetFacet1() : ce->GetFacet2();
        // Only the cap's border is a seam: a solid edge under a fold of the
        // cap (walls meeting where the sheet turns) has both its facets on
        // one side.
        if (!ref || (ce->GetFacet1() && ce->GetFacet2()))
            continue;
        const double* rn = ref->GetPlane();
        for (int j = 0; !failed && j < cut->GetEdgeCount(); ++j) {
            G3Edge* e = cut->GetEdge(j);
            if (!RunsAlong(ce, e))
                continue;
            G3Facet* f1 = e->GetFacet1();
            G3Facet* f2 = e->GetFacet2();
            if (f1) {
                double d[3];
                if (!IntoFacet(f1, e, d)) {
                    failed = true;
                    break;
                }
                const double along1 = d[0] * rn[0] + d[1] * rn[1] + d[2] * rn[2];
                int k = along1 <= 0.0 ? 0 : 1;
                // A facet running on in the cap's plane (a wall the sheet
                // lies along) leaves the seam to neither side: the other
                // facet, leaving it more steeply, decides.
                if (f2 && IntoFacet(f2, e, d)) {
                    const double along2 = d[0] * rn[0] + d[1] * rn[1] + d[2] * rn[2];
                    if (std::fabs(along2) > std::fabs(along1))
                        k = along2 <= 0.0 ? 1 : 0;
                }
                side[k].push_back(f1);
                if (f2)
                    side[1 - k].push_back(f2);
            }
            e->SetMark4();
        }
    }
    G3Surface* one = nullptr;
    if (!failed && !side[0].empty() && !side[1].empty()) {
        // From an unmarked edge of each seed facet, the last in chain order,
        // fill that side up to the seam.
        GArrayCollection edges;
        for (int k = 0; k < 2; ++k) {
            const long flag = k == 0 ? G3Obj::FLAG_MARK3 : G3Obj::FLAG_MARK4;
            const long stop = k == 0 ? G3Obj::FLAG_MARK4 : G3Obj::FLAG_MARK3;
            for (G3Facet* f : side[k]) {
                if (f->GetFlags() & kMarks)
                    continue;
                edges.clear();
                f->GetEdges(&edges);
                for (int i = edges.size() - 1; i >= 0; --i) {
                    G3Edge* e = static_cast<G3Edge*>(edges.get(i));
                    if (!(e->GetFlags() & kMarks)) {
                        FloodFill(e, flag, stop);
                        break;
                    }
                }
                // A facet the seam closes in on every side is a region alone.
                f->SetFlags(f->GetFlags() | flag);
            }
        }
        JoinEnclosedPieces(cut, cap);
        // cut keeps side two, one side one.
        one = new G3Surface();
        one->Copy(cut);
        for (int k = cut->GetFacetCount() - 1; k >= 0; --k)
            if (cut->GetFacet(k)->GetMark3())
                cut->RemoveFacet(cut->GetFacet(k));
        for (int k = one->GetFacetCount() - 1; k >= 0; --k)
            if (one->GetFacet(k)->GetMark4() || !one->GetFacet(k)->GetMark3())
                one->RemoveFacet(one->GetFacet(k));
        ClearMarks(cut);
        ClearMarks(one);
        cut->RemoveUnused();
        one->RemoveUnused();
        if (cut->GetFacetCount() > 0 && one->GetFacetCount() > 0) {
            // Side one lies against the cap's normal, so the cap faces out
            // of it as it is; side two takes it turned.
            G3Surface* p1 = new G3Surface();
            p1->Copy(cap);
            p1->NegNormals();
            AppendAndWeld(p1, cut);
            G3Surface* p2 = new G3Surface();
            p2->Copy(cap);
            AppendAndWeld(p2, one);
            *part1 = p1;
            *part2 = p2;
        }
    }
    ClearMarks(cut);
    delete cut;
    delete one;
    delete cap;
    if (closedSolid && HasVertices(*part1) && HasVertices(*part2)) {
        // A piece of the sheet no ray could place stays in the cut solid
        // as well as in the cap (a sheet triangle whose inner point is a
        // corner of a void), and that part comes out open.
        std::string defect = G3ClosedCheck(*part1);
        if (defect.empty())
            defect = G3ClosedCheck(*part2);
        if (!defect.empty()) {
            failureReason = "a part is not a closed solid: " + defect;
            delete *part1;
            delete *part2;
            *part1 = nullptr;
            *part2 = nullptr;
        }
    }
    if (!HasVertices(*part1) || !HasVertices(*part2)) {
        delete *part1;
        delete *part2;
        *part1 = nullptr;
        *part2 = nullptr;
        return false;
    }
    delete s;
    delete sheet;
    return true;
}

int G3BooleanCalculator::Separate_Surface(G3Surface* s, GArrayCollection* pieces)
{
    if (!s || !pieces)
        return 0;
    ClearMarks(s);
    // Once the rest has come out of one update with its pieces apart
    // (PiecesComeApart), the updates after it change nothing and each
    // round touches its piece alone.
    bool apart = false;
    bool checked = false;
    G3PieceScratch slots;
    std::vector<G3Facet*> piece;
    // The rest's update makes every facet double-sided while the rest is
    // open (one stray open facet is enough); a piece taken from it later
    // would keep that, and its own orientation could then spread over none
    // of its edges. A piece's facets are given back the sides they came
    // with just before it is copied out.
    std::unordered_set<const G3Facet*> single;
    for (int k = 0; k < s->GetFacetCount(); ++k)
        if (!s->GetFacet(k)->GetDoubleSided())
            single.insert(s->GetFacet(k));
    const auto restoreSides = [&single](G3Facet* f) {
        if (single.erase(f))
            f->ClearDoubleSided();
    };
    while (s->GetEdgeCount() > 0) {
        const int before = s->GetEdgeCount();
        G3Edge* e = s->GetEdge(0);
        if (e->GetMark4())
            break;
        if (apart) {
            piece.clear();
            FloodFill(e, G3Obj::FLAG_MARK4, 0, &piece);
            for (G3Facet* f : piece)
                restoreSides(f);
            if (piece.size() >= 4) {
                G3Surface* p = s->CopyOfComponent(piece, &slots);
                p->ChangeEdgeFlags(G3Obj::FLAG_MARK4, false);
                p->RemoveUnused();
                p->RemoveNonManifoldEdges();
                p->Update(CHECK_LEVEL_WELD);
                pieces->add(p);
            }
            s->RemoveComponent(piece, &slots);
            // The update the rest is spared would have moved its normals
            // one step along their orbits.
            ++slots.round;
            if (s->GetEdgeCount() >= before)
                break;
            continue;
        }
        FloodFill(e, G3Obj::FLAG_MARK4, 0);
        for (int k = 0; k < s->GetFacetCount(); ++k)
            if (s->GetFacet(k)->GetMark4())
                restoreSides(s->GetFacet(k));
        // The piece is a copy of s less what the fill did not reach; s
        // loses what it reached.
        G3Surface* piece = new G3Surface();
        piece->Copy(s);
        for (int k = s->GetFacetCount() - 1; k >= 0; --k) {
            G3Facet* f = s->GetFacet(k);
            G3Facet* g = piece->GetFacet(k);
            if (f->GetMark4())
                s->RemoveFacet(f);
            if (!g->GetMark4())
                piece->RemoveFacet(g);
            else
                g->ClearMark4();
        }
        for (int k = s->GetEdgeCount() - 1; k >= 0; --k) {
            G3Edge* f = s->GetEdge(k);
            G3Edge* g = piece->GetEdge(k);
            // Edges the fill reached have lost their facets above; the
            // cleanup below takes them out of the lists.
            if (f->GetMark4() && f->GetFacet1() == nullptr && f->GetFacet2() == nullptr)
                f->ClearMark4();
            g->ClearMark4();
        }
        s->RemoveUnused();
        // A loose edge the fill started from (no facets) is gone now or
        // unmarked; either way the loop moves on.
        if (piece->GetFacetCount() < 4) {
            delete piece;
        } else {
            piece->RemoveUnused();
            piece->RemoveNonManifoldEdges();
            piece->Update(CHECK_LEVEL_WELD);
            pieces->add(piece);
        }
        s->Update(CHECK_LEVEL_WELD);
        // Every round takes at least the edge it started from; one that
        // takes nothing would repeat itself.
        if (s->GetEdgeCount() >= before)
            break;
        // Checked once, after the first update: a rest that fails keeps
        // the whole rounds to the end.
        if (!checked) {
            checked = true;
            apart = s->PiecesComeApart(&slots) && G3CountCornerUses(s, &slots.normalUses, &slots.texCooUses);
            if (apart)
                slots.Size(s);
        }
    }
    if (apart)
        G3NormalsAtRound(s, slots);
    ClearMarks(s);
    return pieces->size();
}
