// The second operand's faces put into the planes of the first's where they
// lie within the weld distance of them (see G3OperandSnap.h). Invariants:
// - distances are measured on the coordinates as given (model units, before
//   the engine's local origin and scale): a facet of b is taken onto a
//   parallel facet of a (normals within kPlaneEqual, either way round) when
//   every corner of it lies closer than kWeld to a's plane and one lies
//   off it; among several, the nearest (ties to the lower id);
// - a moved vertex goes to the point nearest it on the planes of all its
//   facets (the moved ones in a's plane, the others in their own), so its
//   unmoved facets stay flat; where that is not one point (planes that do
//   not meet, two parallel targets apart, a move of more than the corner of
//   three planes each kWeld off would make) the snap is refused whole;
// - the topology of b is never changed: a snap that would bring an edge of
//   b below kWeld is refused whole, and b is left as it was;
// - the rounding is that of the point solved from at most three planes
//   (one projection, or a 2x2 or 3x3 system), done once per vertex in id
//   order, so the result depends on the input alone;
// - G3FlattenOntoSharedPlanes takes as targets, instead of a's facets,
//   the planes of groups of facets of both operands that are one plane for
//   the kernel, each fitted to its group's corners by least squares (the
//   one more place that rounds), in facet order; the moves are those above.
//   With restOnFaces a vertex lying on a facet of the other operand (within
//   kWeld of its target plane, its foot inside it) takes that plane before
//   its own facets'; a vertex that cannot lie on both keeps to its own;
// - G3FacesNearOneAnother also answers for edges resting on the other's
//   faces and edges crossing a hair apart, at the distances of the
//   coordinates as given, between kPlaneSide / kBooleanScale and kWeld.
#include "Geometry/boolean/G3OperandSnap.h"

#include "Geometry/foundation/GDisjointSets.h"

#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3BoxHash.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

namespace {

using GTolerance::kFlatness;
using GTolerance::kParallel;
using GTolerance::kPlaneEqual;
using GTolerance::kWeld;
using GTolerance::kZeroNormal;
using Plane = std::array<double, 4>;

double Dot3(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

GEnvelope BoxOf(G3Facet* f)
{
    GEnvelope box;
    f->FormEnvelope(&box);
    return box;
}

// The boxes of s's facets, in facet order (a G3BoxHash's input).
std::vector<GEnvelope> FacetBoxes(const G3Surface* s)
{
    std::vector<GEnvelope> boxes;
    boxes.reserve(static_cast<std::size_t>(s->GetFacetCount()));
    for (int k = 0; k < s->GetFacetCount(); ++k)
        boxes.push_back(BoxOf(s->GetFacet(k)));
    return boxes;
}

// The plane of a's facets each facet of b is to lie in (flag false: none),
// and, by vertex id, the planes of the other operand's faces a vertex lies
// on (none when `onFaces` is empty).
struct Targets {
    std::vector<Plane> plane;
    std::vector<char> set;
    int count = 0;
    std::vector<std::vector<Plane>> onFaces;
};

Targets FindTargets(const G3Surface* a, const G3Surface* b)
{
    Targets t;
    const int nb = b->GetFacetCount();
    t.plane.assign(static_cast<std::size_t>(nb), Plane{0, 0, 0, 0});
    t.set.assign(static_cast<std::size_t>(nb), 0);
    const int na = a->GetFacetCount();
    if (na == 0 || nb == 0)
        return t;
    const std::vector<GEnvelope> boxes = FacetBoxes(a);
    // Only a facet of a whose box meets the facet's box widened by kWeld
    // can hold all its corners that close: the index hands those out.
    const G3BoxHash index(boxes);
    std::vector<int> near;
    for (int k = 0; k < nb; ++k) {
        G3Facet* fb = b->GetFacet(k);
        if (fb->IsPlaneZero() || !fb->GetFirstEdge())
            continue;
        GEnvelope box = BoxOf(fb);
        box.Extend(kWeld);
        double best = kWeld;
        int bestId = -1;
        index.Candidates(box, near);
        for (const int i : near) {
            const G3Facet* fa = a->GetFacet(i);
            if (fa->IsPlaneZero() || !box.IsIntersectXYZ(&boxes[static_cast<std::size_t>(i)]))
                continue;
            const double* pa = fa->GetPlane();
            if (std::fabs(std::fabs(Dot3(pa, fb->GetPlane())) - 1.0) >= kPlaneEqual)
                continue;
            double far = 0.0;
            for (G3ContourWalker w(fb); far < kWeld && w.Next();)
                far = std::fmax(far, std::fabs(Dot3(pa, w.GetEntry()->GetXYZ()) + pa[3]));
            if (far > 0.0 && (far < best || (far == best && i < bestId))) {
                best = far;
                bestId = i;
            }
        }
        if (bestId < 0)
            continue;
        const double* pa = a->GetFacet(bestId)->GetPlane();
        const double s = Dot3(pa, fb->GetPlane()) > 0.0 ? 1.0 : -1.0;
        t.plane[static_cast<std::size_t>(k)] = Plane{s * pa[0], s * pa[1], s * pa[2], s * pa[3]};
        t.set[static_cast<std::size_t>(k)] = 1;
        ++t.count;
    }
    return t;
}

// The point nearest p on every plane of `planes` (at most three, normals
// unit and independent), or false when they do not meet in one.
bool NearestOn(const std::vector<Plane>& planes, const double* p, double* out)
{
    const std::size_t n = planes.size();
    double r[3];
    for (std::size_t i = 0; i < n; ++i)
        r[i] = -(Dot3(planes[i].data(), p) + planes[i][3]);
    double lambda[3] = {0, 0, 0};
    if (n == 1) {
        lambda[0] = r[0];
    } else if (n == 2) {
        const double g = Dot3(planes[0].data(), planes[1].data());
        const double det = 1.0 - g * g;
        if (det < kZeroNormal)
            return false;
        lambda[0] = (r[0] - g * r[1]) / det;
        lambda[1] = (r[1] - g * r[0]) / det;
    } else if (n == 3) {
        // The three planes' common point: Cramer's rule on the normals.
        const double* a = planes[0].data();
        const double* b = planes[1].data();
        const double* c = planes[2].data();
        const double bc[3] = {b[1] * c[2] - b[2] * c[1], b[2] * c[0] - b[0] * c[2], b[0] * c[1] - b[1] * c[0]};
        const double ca[3] = {c[1] * a[2] - c[2] * a[1], c[2] * a[0] - c[0] * a[2], c[0] * a[1] - c[1] * a[0]};
        const double ab[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
        const double det = Dot3(a, bc);
        if (std::fabs(det) < kZeroNormal)
            return false;
        // Solved as a move from p, so the point keeps p's bits up to the move.
        for (int d = 0; d < 3; ++d)
            out[d] = p[d] + (r[0] * bc[d] + r[1] * ca[d] + r[2] * ab[d]) / det;
        return true;
    } else {
        return false;
    }
    for (int d = 0; d < 3; ++d) {
        double m = 0.0;
        for (std::size_t i = 0; i < n; ++i)
            m += lambda[i] * planes[i][static_cast<std::size_t>(d)];
        out[d] = p[d] + m;
    }
    return true;
}

// Where vertex v of b goes: false to refuse the snap, else *moved tells
// whether it moves at all.
bool Destination(G3Vertex* v, const Targets& t, double* out, bool* moved, bool withFaces = true)
{
    *moved = false;
    std::vector<Plane> planes;  // distinct planes around v, targets first
    std::vector<Plane> all;     // every facet's, for the final test
    bool any = false;
    // Every plane goes to `all`; to `planes` unless one parallel to it is
    // there.
    auto take = [&](const Plane& q) {
        all.push_back(q);
        bool known = false;
        for (std::size_t i = 0; i < planes.size() && !known; ++i)
            known = std::fabs(std::fabs(Dot3(planes[i].data(), q.data())) - 1.0) < kParallel;
        if (!known)
            planes.push_back(q);
    };
    const std::size_t vid = static_cast<std::size_t>(v->GetId());
    const bool onFaces = withFaces && vid < t.onFaces.size() && !t.onFaces[vid].empty();
    if (onFaces) {
        // The faces of the other operand it lies on come before its own.
        for (const Plane& q : t.onFaces[vid])
            take(q);
        any = true;
    }
    for (int pass = 0; pass < 2; ++pass)
        for (G3Edge* e = v->GetFirstEdge(); e; e = e->GetVertexEdge(v))
            for (G3Facet* f : {e->GetFacet1(), e->GetFacet2()}) {
                if (!f || f->IsPlaneZero())
                    continue;
                const std::size_t id = static_cast<std::size_t>(f->GetId());
                const bool isTarget = id < t.set.size() && t.set[id];
                if (isTarget != (pass == 0))
                    continue;
                const Plane q = isTarget ? t.plane[id] : Plane{f->GetPlaneA(), f->GetPlaneB(), f->GetPlaneC(), f->GetPlaneD()};
                any = any || isTarget;
                take(q);
            }
    if (!any)
        return true;
    // At most three independent planes decide (targets first, then in ring
    // order); the rest must hold the point.
    std::vector<Plane> used;
    for (const Plane& q : planes) {
        if (used.size() == 3)
            break;
        if (used.size() == 2) {
            const double* a = used[0].data();
            const double* b = used[1].data();
            const double ab[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
            if (std::fabs(Dot3(ab, q.data())) < kParallel)
                continue;
        }
        used.push_back(q);
    }
    const double* p = v->GetXYZ();
    // A corner of three planes each moved less than kWeld moves by less
    // than sqrt(3) kWeld where they meet square; steeper meetings are not
    // the near copies this serves.
    bool fits = NearestOn(used, p, out) && std::hypot(out[0] - p[0], out[1] - p[1], out[2] - p[2]) < 2.0 * kWeld;
    for (std::size_t i = 0; fits && i < all.size(); ++i)
        fits = std::fabs(Dot3(all[i].data(), out) + all[i][3]) < kFlatness;
    if (!fits)
        // A corner that cannot lie on the other operand's faces and on its
        // own keeps to its own.
        return onFaces && Destination(v, t, out, moved, false);
    *moved = out[0] != p[0] || out[1] != p[1] || out[2] != p[2];
    return true;
}

// Moves the vertices of b onto the planes t names for their facets (see
// Destination), all or none: the number moved.
int MoveOntoTargets(G3Surface* b, const Targets& t)
{
    if (t.count == 0 && t.onFaces.empty())
        return 0;
    const int n = b->GetVertexCount();
    std::vector<std::array<double, 3>> to(static_cast<std::size_t>(n));
    std::vector<char> moves(static_cast<std::size_t>(n), 0);
    int moved = 0;
    for (int k = 0; k < n; ++k) {
        bool m = false;
        if (!Destination(b->GetVertex(k), t, to[static_cast<std::size_t>(k)].data(), &m))
            return 0;
        moves[static_cast<std::size_t>(k)] = m ? 1 : 0;
        moved += m ? 1 : 0;
    }
    // No edge of b may fall below the weld distance.
    auto at = [&](G3Vertex* v) {
        const std::size_t k = static_cast<std::size_t>(v->GetId());
        return moves[k] ? to[k].data() : v->GetXYZ();
    };
    for (int k = 0; k < b->GetEdgeCount(); ++k) {
        G3Edge* e = b->GetEdge(k);
        const double* p = at(e->GetVertex1());
        const double* q = at(e->GetVertex2());
        if (std::hypot(p[0] - q[0], p[1] - q[1], p[2] - q[2]) < kWeld)
            return 0;
    }
    for (int k = 0; k < n; ++k)
        if (moves[static_cast<std::size_t>(k)]) {
            G3Vertex* v = b->GetVertex(k);
            v->SetX(to[static_cast<std::size_t>(k)][0]);
            v->SetY(to[static_cast<std::size_t>(k)][1]);
            v->SetZ(to[static_cast<std::size_t>(k)][2]);
        }
    if (moved > 0)
        b->FormPlaneEquation();
    return moved;
}

// Whether every corner of f lies closer than kWeld to the plane p.
bool CornersNear(G3Facet* f, const double* p)
{
    for (G3ContourWalker w(f); w.Next();)
        if (!(std::fabs(Dot3(p, w.GetEntry()->GetXYZ()) + p[3]) < kWeld))
            return false;
    return true;
}

// The corners of f inside `box` lie within kWeld of the plane p; *seen
// counts them.
bool CornersInBoxNear(G3Facet* f, const GEnvelope& box, const double* p, int* seen)
{
    for (G3ContourWalker w(f); w.Next();) {
        const double* x = w.GetEntry()->GetXYZ();
        if (!box.IsIntersectXYZ(x))
            continue;
        ++*seen;
        if (!(std::fabs(Dot3(p, x) + p[3]) < kWeld))
            return false;
    }
    return true;
}

// Parallel facets fi and fj (boxes bi and bj) lie in one plane for the
// kernel: each one's corners within kWeld of the other's plane, or, where
// the facets are long beside the rounding that tips their planes, those
// of its corners that lie within kWeld of the other's box.
bool OnePlane(G3Facet* fi, const GEnvelope& bi, G3Facet* fj, const GEnvelope& bj)
{
    if (CornersNear(fi, fj->GetPlane()) && CornersNear(fj, fi->GetPlane()))
        return true;
    GEnvelope wi = bi, wj = bj;
    wi.Extend(kWeld);
    wj.Extend(kWeld);
    int seen = 0;
    return CornersInBoxNear(fi, wj, fj->GetPlane(), &seen) && CornersInBoxNear(fj, wi, fi->GetPlane(), &seen) &&
           seen > 0;
}

// Facets of both operands, A's first, grouped where they lie in one plane
// for the kernel: parallel (normals within kPlaneEqual, either way round),
// boxes within kWeld, OnePlane; the groups are closed over that relation.
// The root of each facet's group.
std::vector<int> SharedPlaneGroups(const std::vector<G3Facet*>& faces, const std::vector<GEnvelope>& boxes)
{
    const int n = static_cast<int>(faces.size());
    std::vector<int> parent(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        parent[static_cast<std::size_t>(i)] = i;
    const G3BoxHash index(boxes);
    std::vector<int> near;
    for (int i = 0; i < n; ++i) {
        G3Facet* fi = faces[static_cast<std::size_t>(i)];
        if (fi->IsPlaneZero() || !fi->GetFirstEdge())
            continue;
        GEnvelope box = boxes[static_cast<std::size_t>(i)];
        box.Extend(kWeld);
        index.Candidates(box, near);
        for (const int j : near) {
            G3Facet* fj = faces[static_cast<std::size_t>(j)];
            if (j <= i || fj->IsPlaneZero() || !fj->GetFirstEdge() ||
                !box.IsIntersectXYZ(&boxes[static_cast<std::size_t>(j)]) ||
                std::fabs(std::fabs(Dot3(fi->GetPlane(), fj->GetPlane())) - 1.0) >= kPlaneEqual ||
                !OnePlane(fi, boxes[static_cast<std::size_t>(i)], fj, boxes[static_cast<std::size_t>(j)]))
                continue;
            const int ri = GRootOf(parent, i), rj = GRootOf(parent, j);
            if (ri != rj)
                parent[static_cast<std::size_t>(std::max(ri, rj))] = std::min(ri, rj);
        }
    }
    for (int i = 0; i < n; ++i)
        GRootOf(parent, i);
    return parent;
}

// x lies on facet g for the kernel, g taken in the plane p: closer than
// kWeld to p, its foot on p inside g (kInFacet on g's dominant axes), and
// no corner of g within kWeld of it (corners meeting are the vertex
// snap's).
bool OnFace(const double* x, G3Facet* g, const double* p)
{
    const double d = Dot3(p, x) + p[3];
    if (!(std::fabs(d) < kWeld))
        return false;
    for (G3ContourWalker w(g); w.Next();) {
        const double* c = w.GetEntry()->GetXYZ();
        if (std::hypot(c[0] - x[0], c[1] - x[1], c[2] - x[2]) < kWeld)
            return false;
    }
    const double foot[3] = {x[0] - d * p[0], x[1] - d * p[1], x[2] - d * p[2]};
    int i = 0, j = 1;
    g->GetMaxCoo(&i, &j);
    return g->PointInFacet(i, j, foot, nullptr, nullptr, GTolerance::kInFacet);
}

// For each vertex of s, the planes (`other`'s targets) of the facets of
// `other` it lies on (OnFace), into `st.onFaces`.
void FindCornersOnFaces(G3Surface* s, G3Surface* other, const Targets& ot, Targets& st)
{
    const int no = other->GetFacetCount();
    if (no == 0 || s->GetVertexCount() == 0)
        return;
    const std::vector<GEnvelope> boxes = FacetBoxes(other);
    const G3BoxHash index(boxes);
    std::vector<int> near;
    for (int k = 0; k < s->GetVertexCount(); ++k) {
        const double* x = s->GetVertex(k)->GetXYZ();
        GEnvelope box;
        box.Init(x);
        box.Extend(kWeld);
        index.Candidates(box, near);
        for (const int i : near) {
            G3Facet* g = other->GetFacet(i);
            const std::size_t gi = static_cast<std::size_t>(i);
            if (g->IsPlaneZero() || !g->GetFirstEdge() || !box.IsIntersectXYZ(&boxes[gi]))
                continue;
            const double* p = gi < ot.set.size() && ot.set[gi] ? ot.plane[gi].data() : g->GetPlane();
            if (!OnFace(x, g, p))
                continue;
            st.onFaces.resize(static_cast<std::size_t>(s->GetVertexCount()));
            st.onFaces[static_cast<std::size_t>(k)].push_back(Plane{p[0], p[1], p[2], p[3]});
        }
    }
}

// An edge of f rests on g within the weld distance but not within what
// the cut tells apart: both ends closer than kWeld to g's plane, one
// farther than `apart`, and one on g (OnFace).
bool EdgeRestsOn(G3Facet* f, G3Facet* g, double apart)
{
    const double* p = g->GetPlane();
    for (G3ContourWalker w(f); w.Next();) {
        const double* x = w.GetEntry()->GetXYZ();
        const double* y = w.GetExit()->GetXYZ();
        const double dx = std::fabs(Dot3(p, x) + p[3]), dy = std::fabs(Dot3(p, y) + p[3]);
        if (dx < kWeld && dy < kWeld && std::fmax(dx, dy) > apart && (OnFace(x, g, p) || OnFace(y, g, p)))
            return true;
    }
    return false;
}

// Segments pq and rs pass closer than kWeld but farther than `apart` at
// points inside both, away from their ends by kWeld (ends meeting ends or
// lying on edges are the corner tests').
bool EdgesCrossNear(const double* p, const double* q, const double* r, const double* s, double apart)
{
    const double u[3] = {q[0] - p[0], q[1] - p[1], q[2] - p[2]};
    const double v[3] = {s[0] - r[0], s[1] - r[1], s[2] - r[2]};
    const double w[3] = {p[0] - r[0], p[1] - r[1], p[2] - r[2]};
    const double a = Dot3(u, u), b = Dot3(u, v), c = Dot3(v, v), d = Dot3(u, w), e = Dot3(v, w);
    const double den = a * c - b * b;
    if (!(den > kZeroNormal * a * c))
        return false;
    const double sc = (b * e - c * d) / den, tc = (a * e - b * d) / den;
    const double la = std::sqrt(a), lc = std::sqrt(c);
    if (sc * la < kWeld || (1.0 - sc) * la < kWeld || tc * lc < kWeld || (1.0 - tc) * lc < kWeld)
        return false;
    double gap[3];
    for (int k = 0; k < 3; ++k)
        gap[k] = w[k] + sc * u[k] - tc * v[k];
    const double dist = std::sqrt(Dot3(gap, gap));
    return dist < kWeld && dist > apart;
}

// An edge of f and one of g cross within the weld distance (EdgesCrossNear).
bool EdgesOfFacetsCrossNear(G3Facet* f, G3Facet* g, double apart)
{
    for (G3ContourWalker wf(f); wf.Next();)
        for (G3ContourWalker wg(g); wg.Next();)
            if (EdgesCrossNear(wf.GetEntry()->GetXYZ(), wf.GetExit()->GetXYZ(), wg.GetEntry()->GetXYZ(),
                               wg.GetExit()->GetXYZ(), apart))
                return true;
    return false;
}

// The plane fitted to the corners of `members` (least squares, each corner
// counted once per facet it bounds, in facet and contour order), facing
// as `lead` does; `lead` itself where the corners lie on one line.
Plane FittedPlane(const std::vector<G3Facet*>& members, const double* lead)
{
    const double n0[3] = {lead[0], lead[1], lead[2]};
    double c[3] = {0, 0, 0};
    int count = 0;
    for (G3Facet* f : members)
        for (G3ContourWalker w(f); w.Next();) {
            const double* x = w.GetEntry()->GetXYZ();
            for (int d = 0; d < 3; ++d)
                c[d] += x[d];
            ++count;
        }
    const Plane fallback{lead[0], lead[1], lead[2], lead[3]};
    if (count < 3)
        return fallback;
    for (double& x : c)
        x /= count;
    // A frame (u, v, n0); the heights along n0 fitted as a x + b y.
    double u[3] = {0, 0, 0};
    u[std::fabs(n0[0]) < std::fabs(n0[1]) ? (std::fabs(n0[0]) < std::fabs(n0[2]) ? 0 : 2)
                                          : (std::fabs(n0[1]) < std::fabs(n0[2]) ? 1 : 2)] = 1.0;
    const double k = Dot3(u, n0);
    for (int d = 0; d < 3; ++d)
        u[d] -= k * n0[d];
    const double lu = std::sqrt(Dot3(u, u));
    for (double& x : u)
        x /= lu;
    const double v[3] = {n0[1] * u[2] - n0[2] * u[1], n0[2] * u[0] - n0[0] * u[2], n0[0] * u[1] - n0[1] * u[0]};
    double sxx = 0, sxy = 0, syy = 0, sxz = 0, syz = 0;
    for (G3Facet* f : members)
        for (G3ContourWalker w(f); w.Next();) {
            const double* x = w.GetEntry()->GetXYZ();
            const double r[3] = {x[0] - c[0], x[1] - c[1], x[2] - c[2]};
            const double px = Dot3(r, u), py = Dot3(r, v), pz = Dot3(r, n0);
            sxx += px * px;
            sxy += px * py;
            syy += py * py;
            sxz += px * pz;
            syz += py * pz;
        }
    const double det = sxx * syy - sxy * sxy;
    if (!(det > kZeroNormal * (sxx * syy)))
        return fallback;
    const double a = (sxz * syy - syz * sxy) / det, b = (syz * sxx - sxz * sxy) / det;
    double n[3];
    for (int d = 0; d < 3; ++d)
        n[d] = n0[d] - a * u[d] - b * v[d];
    const double ln = std::sqrt(Dot3(n, n));
    for (double& x : n)
        x /= ln;
    return Plane{n[0], n[1], n[2], -Dot3(n, c)};
}

}  // namespace

int G3CountNearPlanes(const G3Surface* a, const G3Surface* b)
{
    if (!a || !b)
        return 0;
    return FindTargets(a, b).count;
}

int G3SnapOntoPlanes(G3Surface* b, const G3Surface* a)
{
    if (!a || !b)
        return 0;
    return MoveOntoTargets(b, FindTargets(a, b));
}

int G3FlattenOntoOwnPlanes(G3Surface* s)
{
    if (!s)
        return 0;
    // The targets are read from a copy: the snap moves s's corners while
    // the planes they go to stay those s had.
    const std::unique_ptr<G3Surface> own(s->Duplicate());
    return G3SnapOntoPlanes(s, own.get());
}

int G3FlattenOntoSharedPlanes(G3Surface* a, G3Surface* b, bool restOnFaces)
{
    if (!a || !b || a == b)
        return 0;
    std::vector<G3Facet*> faces;
    std::vector<GEnvelope> boxes;
    const int na = a->GetFacetCount(), nb = b->GetFacetCount();
    for (G3Surface* s : {a, b})
        for (int k = 0; k < s->GetFacetCount(); ++k) {
            faces.push_back(s->GetFacet(k));
            boxes.push_back(BoxOf(faces.back()));
        }
    const std::vector<int> group = SharedPlaneGroups(faces, boxes);
    const std::size_t n = faces.size();
    // Each group's plane is fitted to its corners, facing as its first
    // facet does; a group with a corner farther than kWeld from that plane
    // (a chain of near planes bending away) keeps its facets' own planes.
    std::vector<std::vector<G3Facet*>> members(n);
    for (std::size_t i = 0; i < n; ++i)
        if (!faces[i]->IsPlaneZero() && faces[i]->GetFirstEdge())
            members[static_cast<std::size_t>(group[i])].push_back(faces[i]);
    std::vector<Plane> plane(n);
    std::vector<char> shared(n, 0);
    for (std::size_t g = 0; g < n; ++g) {
        if (members[g].size() < 2)
            continue;
        plane[g] = FittedPlane(members[g], members[g].front()->GetPlane());
        shared[g] = 1;
        for (G3Facet* f : members[g])
            if (!CornersNear(f, plane[g].data()))
                shared[g] = 0;
    }
    // Every facet is a target: its group's plane, or its own.
    Targets t[2];
    t[0].plane.assign(static_cast<std::size_t>(na), Plane{0, 0, 0, 0});
    t[0].set.assign(static_cast<std::size_t>(na), 0);
    t[1].plane.assign(static_cast<std::size_t>(nb), Plane{0, 0, 0, 0});
    t[1].set.assign(static_cast<std::size_t>(nb), 0);
    for (std::size_t i = 0; i < n; ++i) {
        G3Facet* f = faces[i];
        if (f->IsPlaneZero())
            continue;
        const std::size_t g = static_cast<std::size_t>(group[i]);
        const double* own = f->GetPlane();
        const double* p = shared[g] ? plane[g].data() : own;
        const double sign = Dot3(p, own) > 0.0 ? 1.0 : -1.0;
        Targets& ti = t[i < static_cast<std::size_t>(na) ? 0 : 1];
        const std::size_t k = i < static_cast<std::size_t>(na) ? i : i - static_cast<std::size_t>(na);
        ti.plane[k] = Plane{sign * p[0], sign * p[1], sign * p[2], sign * p[3]};
        ti.set[k] = 1;
        ++ti.count;
    }
    // A corner of either lying on a face of the other goes onto that face
    // too: an edge resting on a face within the rounding is a sliver of
    // overlap or gap for the cut.
    if (restOnFaces) {
        FindCornersOnFaces(a, b, t[1], t[0]);
        FindCornersOnFaces(b, a, t[0], t[1]);
    }
    return MoveOntoTargets(a, t[0]) + MoveOntoTargets(b, t[1]);
}

int G3CountCornersOnFaces(G3Surface* a, G3Surface* b)
{
    if (!a || !b || a == b)
        return 0;
    int count = 0;
    const Targets none;
    for (G3Surface* s : {a, b}) {
        Targets t;
        FindCornersOnFaces(s, s == a ? b : a, none, t);
        for (const std::vector<Plane>& q : t.onFaces)
            count += q.empty() ? 0 : 1;
    }
    return count;
}

bool G3FacesNearOneAnother(const G3Surface* a, const G3Surface* b)
{
    if (!a || !b || a->GetFacetCount() == 0 || b->GetFacetCount() == 0)
        return false;
    // Apart by more than the cut tells apart: kPlaneSide at its scale.
    const double apart = GTolerance::kPlaneSide / GTolerance::kBooleanScale;
    const std::vector<GEnvelope> boxes = FacetBoxes(a);
    const G3BoxHash index(boxes);
    std::vector<int> near;
    for (int k = 0; k < b->GetFacetCount(); ++k) {
        G3Facet* fb = b->GetFacet(k);
        if (fb->IsPlaneZero() || !fb->GetFirstEdge())
            continue;
        const GEnvelope own = BoxOf(fb);
        GEnvelope box = own;
        box.Extend(kWeld);
        index.Candidates(box, near);
        for (const int i : near) {
            G3Facet* fa = a->GetFacet(i);
            if (fa->IsPlaneZero() || !fa->GetFirstEdge() || !box.IsIntersectXYZ(&boxes[static_cast<std::size_t>(i)]))
                continue;
            if (std::fabs(std::fabs(Dot3(fa->GetPlane(), fb->GetPlane())) - 1.0) >= kPlaneEqual) {
                if (EdgeRestsOn(fa, fb, apart) || EdgeRestsOn(fb, fa, apart) || EdgesOfFacetsCrossNear(fa, fb, apart))
                    return true;
                continue;
            }
            // G3CountNearPlanes' pair: every corner of b's facet within kWeld
            // of a's plane, one off it.
            const double* pa = fa->GetPlane();
            double far = 0.0;
            for (G3ContourWalker w(fb); far < kWeld && w.Next();)
                far = std::fmax(far, std::fabs(Dot3(pa, w.GetEntry()->GetXYZ()) + pa[3]));
            if (far > 0.0 && far < kWeld)
                return true;
            if (!OnePlane(fa, boxes[static_cast<std::size_t>(i)], fb, own))
                continue;
            // In one plane for the kernel: near when some corner of either
            // stands off the other's plane by more than the cut allows.
            for (G3Facet* f : {fa, fb}) {
                const double* p = (f == fa ? fb : fa)->GetPlane();
                for (G3ContourWalker w(f); w.Next();)
                    if (std::fabs(Dot3(p, w.GetEntry()->GetXYZ()) + p[3]) > apart)
                        return true;
            }
        }
    }
    return false;
}
