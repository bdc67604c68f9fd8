// G3SurfaceEdit: the edge and contour checks, and the edits that rebuild
// facets (MakeHole, InsertFacet, RemoveStuckTogetherFacets).
//
// Invariants: every edit leaves the mesh consistent (G3MeshCheck) with
// Mark3 and Mark4 clear (InsertFacet holds Mark4 on its own facets while
// it runs, and only there); a facet is rebuilt through the complex-facet
// bracket and carries its source's extended data and records. A point lies
// on a facet when it is within kPlaneSide of the facet's plane and inside
// or on a contour (kInFacet). Coordinates of new corners are the caller's
// points, moved by depth * direction: no other rounding. InsertFacet
// decides whether its sweep passes through the surface before it changes
// anything, so a refused edit leaves the surface as it was.

#include "Geometry/processing/G3SurfaceEdit.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/G3Math.h"
#include "Geometry/math/G3SegmentTest.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3PassCheck.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "Geometry/processing/G3FacetContourIterator.h"
#include "Geometry/processing/G3FacetMadeFrom.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <set>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

bool PointOnFacet(const G3Facet* f, const double* p)
{
    const double* pl = f->GetPlane();
    if (std::fabs(pl[0] * p[0] + pl[1] * p[1] + pl[2] * p[2] + pl[3]) >= GTolerance::kPlaneSide)
        return false;
    int i = 0, j = 1;
    f->GetMaxCoo(&i, &j);
    return f->PointInFacet(i, j, p, nullptr, nullptr, GTolerance::kInFacet);
}

// The G3Points of `points`; empty when an entry is not one.
std::vector<const double*> PointsOf(GArrayCollection* points)
{
    std::vector<const double*> out;
    for (int k = 0; points && k < points->size(); ++k) {
        const G3Point* p = dynamic_cast<const G3Point*>(points->get(k));
        if (!p)
            return {};
        out.push_back(p->GetXYZ());
    }
    return out;
}

// A facet over new vertices at the points, in order, its edges flagged
// `edgeFlags`; facet flags 0.
G3Facet* FacetFromPoints(G3Surface* s, const std::vector<std::vector<double>>& pts, int edgeFlags)
{
    std::vector<G3Vertex*> v;
    for (const std::vector<double>& p : pts)
        v.push_back(s->AddVertex(p.data(), 0));
    G3Facet* f = s->AddFacet(static_cast<int>(v.size()), v.data(), edgeFlags, nullptr, nullptr);
    if (f)
        f->SetFlags(0);
    return f;
}

// A triangle whose every corner lies farther than kSimpleContourClearance
// from the opposite side on the facet's projection pair: its sides meet
// only at their shared ends, so the crossing sweep has nothing to find.
bool ClearTriangle(const G3Facet* f)
{
    const G3Vertex* c[3];
    int n = 0;
    for (G3ContourWalker w(f); w.Next();) {
        if (n == 3 || (n > 0 && w.Opens()))
            return false;
        c[n++] = w.GetEntry();
    }
    if (n != 3 || !c[0] || !c[1] || !c[2])
        return false;
    int i = 0, j = 1;
    f->GetMaxCoo(&i, &j);
    for (int k = 0; k < 3; ++k) {
        const double* p = c[k]->GetXYZ();
        const double* a = c[(k + 1) % 3]->GetXYZ();
        const double* b = c[(k + 2) % 3]->GetXYZ();
        const double dx = b[i] - a[i], dy = b[j] - a[j];
        const double len = std::sqrt(dx * dx + dy * dy);
        const double cross = dx * (p[j] - a[j]) - dy * (p[i] - a[i]);
        if (!(std::fabs(cross) > GTolerance::kSimpleContourClearance * len))
            return false;
    }
    return true;
}

// The facet's contours cross or touch each other or themselves: along
// edges, or crossing where they pass one point twice.
bool SelfCrossing(G3Facet* f)
{
    G3EdgeList list(f);
    return list.TestSelfIntersections() || list.TestCrossingsAtCorners();
}

using Plan = std::vector<std::array<double, 3>>;

// Where q lies against the closed polygon c (plan points, z = 0): 0 on a
// side (PtOnSegment), 1 inside, -1 outside.
int Where(const Plan& c, const double* q)
{
    const std::size_t n = c.size();
    bool in = false;
    for (std::size_t k = 0; k < n; ++k) {
        const double* u = c[k].data();
        const double* v = c[(k + 1) % n].data();
        if (PtOnSegment(q, u, v))
            return 0;
        if ((u[1] > q[1]) != (v[1] > q[1]) && q[0] < u[0] + (q[1] - u[1]) * (v[0] - u[0]) / (v[1] - u[1]))
            in = !in;
    }
    return in ? 1 : -1;
}

// A point strictly inside the simple polygon through `pts` (3D corners in
// one plane; c is their plan), as weights on the corners: the lowest corner
// v is convex, and the middle of the triangle it makes with its neighbours
// lies inside unless corners lie in that triangle, when the middle between
// v and the one of them nearest v across (farthest from the neighbours'
// line) does.
std::array<double, 3> InsidePoint(const std::vector<const double*>& pts, const Plan& c)
{
    const std::size_t n = c.size();
    std::size_t v = 0;
    for (std::size_t k = 1; k < n; ++k)
        if (c[k][0] < c[v][0] || (c[k][0] == c[v][0] && c[k][1] < c[v][1]))
            v = k;
    const std::size_t a = (v + n - 1) % n, b = (v + 1) % n;
    const double* A = c[a].data();
    const double* B = c[b].data();
    const double* V = c[v].data();
    auto across = [&](const double* q) { return (B[0] - A[0]) * (q[1] - A[1]) - (B[1] - A[1]) * (q[0] - A[0]); };
    auto side = [](const double* p, const double* q, const double* r) {
        return (q[0] - p[0]) * (r[1] - p[1]) - (q[1] - p[1]) * (r[0] - p[0]);
    };
    const double turn = side(A, V, B);
    std::size_t nearest = n;
    double best = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        if (k == v || k == a || k == b)
            continue;
        const double* q = c[k].data();
        const bool inTriangle =
            side(A, V, q) * turn >= 0.0 && side(V, B, q) * turn >= 0.0 && side(B, A, q) * turn >= 0.0;
        if (inTriangle && (nearest == n || std::fabs(across(q)) > best)) {
            nearest = k;
            best = std::fabs(across(q));
        }
    }
    std::array<double, 3> out{};
    for (int d = 0; d < 3; ++d)
        out[static_cast<std::size_t>(d)] = nearest == n ? (pts[a][d] + pts[v][d] + pts[b][d]) / 3.0
                                                        : 0.5 * (pts[v][d] + pts[nearest][d]);
    return out;
}

// Whether the closed contour through `pts` (every corner on f) lies in f
// the way an opening must: no edge of f runs through its inside (crossing
// a side, ending inside, or a piece of it between the contour's corners
// on it having its middle inside), and its inside is f's, not a hole's.
// Corners on f alone let a contour hold or overlap an opening made before,
// and its cut took the shared part back as facet.
bool ContourFitsFacet(const G3Facet* f, const std::vector<const double*>& pts)
{
    int i = 0, j = 1;
    f->GetMaxCoo(&i, &j);
    auto plan = [i, j](const double* p) { return std::array<double, 3>{p[i], p[j], 0.0}; };
    Plan c;
    for (const double* p : pts)
        c.push_back(plan(p));
    const std::size_t n = c.size();
    for (const G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
        const std::array<double, 3> u = plan(e->GetVertex1()->GetXYZ());
        const std::array<double, 3> w = plan(e->GetVertex2()->GetXYZ());
        if (Where(c, u.data()) > 0 || Where(c, w.data()) > 0)
            return false;
        std::vector<double> cuts = {0.0, 1.0};
        const double dx = w[0] - u[0], dy = w[1] - u[1];
        const double len2 = dx * dx + dy * dy;
        for (std::size_t k = 0; k < n; ++k) {
            const double* p = c[k].data();
            const double* q = c[(k + 1) % n].data();
            const bool touch = PtOnSegment(p, u.data(), w.data()) || PtOnSegment(q, u.data(), w.data()) ||
                               PtOnSegment(u.data(), p, q) || PtOnSegment(w.data(), p, q);
            if (!touch && G3SegmentTest(p, q, u.data(), w.data()))
                return false;
            if (len2 > 0.0 && PtOnSegment(p, u.data(), w.data()))
                cuts.push_back(((p[0] - u[0]) * dx + (p[1] - u[1]) * dy) / len2);
        }
        std::sort(cuts.begin(), cuts.end());
        for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
            const double t = 0.5 * (cuts[k] + cuts[k + 1]);
            const double mid[3] = {u[0] + t * dx, u[1] + t * dy, 0.0};
            if (Where(c, mid) > 0)
                return false;
        }
    }
    const std::array<double, 3> inside = InsidePoint(pts, c);
    return PointOnFacet(f, inside.data());
}

// The Newell vector of the closed contour through `pts` (twice its area,
// along the side it turns counter-clockwise seen from), summed about its
// first corner so that site coordinates keep their digits.
std::array<double, 3> NewellOf(const std::vector<const double*>& pts)
{
    const double* o = pts[0];
    std::array<double, 3> a{};
    for (std::size_t k = 0; k < pts.size(); ++k) {
        const double* p = pts[k];
        const double* q = pts[(k + 1) % pts.size()];
        const double u[3] = {p[0] - o[0], p[1] - o[1], p[2] - o[2]};
        const double w[3] = {q[0] - o[0], q[1] - o[1], q[2] - o[2]};
        a[0] += u[1] * w[2] - u[2] * w[1];
        a[1] += u[2] * w[0] - u[0] * w[2];
        a[2] += u[0] * w[1] - u[1] * w[0];
    }
    return a;
}

// Whether the closed contour through `pts` turns clockwise seen from the
// side the normal n points to.
bool RunsAgainst(const double* n, const std::vector<const double*>& pts)
{
    const std::array<double, 3> a = NewellOf(pts);
    return n[0] * a[0] + n[1] * a[1] + n[2] * a[2] < 0.0;
}

// The facets joined to f across edges of two sides, f first, in the order
// a walk along their chains meets them.
std::vector<G3Facet*> PieceOf(G3Facet* f)
{
    std::vector<G3Facet*> piece = {f};
    std::unordered_set<const G3Facet*> seen = {f};
    for (std::size_t k = 0; k < piece.size(); ++k) {
        G3Facet* g = piece[k];
        for (G3Edge* e = g->GetFirstEdge(); e; e = e->GetFacetEdge(g)) {
            G3Facet* other = e->GetFacet1() == g ? e->GetFacet2() : e->GetFacet1();
            if (other && seen.insert(other).second)
                piece.push_back(other);
        }
    }
    return piece;
}

bool Listed(const GArrayCollection* list, const G3Obj* o)
{
    return list && o && o->GetId() >= 0 && o->GetId() < list->size() && list->get(static_cast<int>(o->GetId())) == o;
}

} // namespace

bool G3SurfaceEdit::CheckSurface(int options, int& result)
{
    result = 0;
    const bool edges = CheckEdges(options, result);
    const bool facets = CheckFacets(options, result);
    return edges && facets;
}

bool G3SurfaceEdit::CheckEdges(int options, int& result)
{
    if (!surface || surface->GetFacetCount() == 0)
        return false;
    bool ok = true;
    for (int k = 0; k < surface->GetFacetCount(); ++k) {
        G3Facet* f = surface->GetFacet(k);
        if ((options & SURFACE_CHECK_SELF_INTERSECTION) && !ClearTriangle(f) && SelfCrossing(f)) {
            result |= SURFACE_CHECK_SELF_INTERSECTION;
            ok = false;
            Found(SURFACE_CHECK_SELF_INTERSECTION, k);
        }
        // The facet's edge list holds a copy of every chain edge: the
        // counts and lengths are the chain's own.
        if ((options & SURFACE_CHECK_FEW_EDGES) && f->GetEdgeCount() < 3) {
            result |= SURFACE_CHECK_FEW_EDGES;
            ok = false;
            Found(SURFACE_CHECK_FEW_EDGES, k);
        }
        if (options & SURFACE_CHECK_SHORT_EDGE) {
            for (const G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
                if (e->GetSizeXYZ() >= GTolerance::kZeroLength)
                    continue;
                result |= SURFACE_CHECK_SHORT_EDGE;
                ok = false;
                Found(SURFACE_CHECK_SHORT_EDGE, k, -1, static_cast<int>(e->GetVertex1()->GetId()),
                      static_cast<int>(e->GetVertex2()->GetId()));
            }
        }
    }
    return ok;
}

void G3SurfaceEdit::MakeHole(G3Facet* facet, GArrayCollection* points)
{
    const std::vector<const double*> pts = PointsOf(points);
    if (!surface || !facet || pts.size() < 3 || !Listed(surface->GetFacetList(), facet))
        return;
    std::vector<std::vector<double>> hole;
    for (const double* p : pts)
        hole.emplace_back(p, p + 3);
    MakeHoles(facet, {hole});
}

void G3SurfaceEdit::MakeHoles(G3Facet* facet, const std::vector<std::vector<std::vector<double>>>& holes)
{
    // Adding a facet with flags of its own leaves them as the surface's
    // edge flags: the holes take the surface's, which are given back.
    const int edgeFlags = surface->GetEdgeFlags();
    surface->BeginComplexFacet();
    {
        // The copies of the facet's contours come first: the rebuilt facet
        // is made from the first one, which carries the facet's data.
        const FacetMadeFrom source(surface, facet);
        G3AddContourCopies(surface, facet);
    }
    for (const std::vector<std::vector<double>>& hole : holes)
        FacetFromPoints(surface, hole, edgeFlags);
    surface->EndComplexFacet();
    surface->RemoveFacet(facet);
    surface->SetEdgeFlags(edgeFlags);
}

G3Facet* G3AddContourCopies(G3Surface* s, G3Facet* f)
{
    if (!s || !f)
        return nullptr;
    // The way f runs each of its edges: the contour lists walk them out
    // in an order of their own, and a copy run the other way faces away
    // (a hole cut into it came back turned over).
    std::set<std::pair<const G3Vertex*, const G3Vertex*>> runs;
    for (G3ContourWalker w(f); w.Next();)
        runs.insert({w.GetEntry(), w.GetExit()});
    G3Facet* first = nullptr;
    G3FacetContourIterator contours(f);
    while (contours.hasNext()) {
        G3EdgeList* c = static_cast<G3EdgeList*>(contours.next());
        std::vector<G3Vertex*> v;
        std::vector<int> flags;
        std::vector<G3Normal*> normals;
        std::vector<G3TexCoo*> texCoos;
        for (int i = 0; i < c->size(); ++i) {
            G3Edge* e = c->GetEdge(i);
            G3TexCoo* t = nullptr;
            normals.push_back(e->GetFacet1V1(&t)); // the facet's corner at vertex1
            texCoos.push_back(t);
            v.push_back(e->GetVertex1());
            flags.push_back(static_cast<int>(e->GetFlags()));
        }
        const std::size_t n = v.size();
        if (n > 1 && !runs.count({v[0], v[1]}) && runs.count({v[1], v[0]})) {
            // Walked against f: the same corners the other way round, each
            // side keeping its flags.
            std::reverse(v.begin() + 1, v.end());
            std::reverse(normals.begin() + 1, normals.end());
            std::reverse(texCoos.begin() + 1, texCoos.end());
            std::reverse(flags.begin(), flags.end());
        }
        G3Facet* copy = s->AddFacet(static_cast<int>(n), v.data(), flags.data(), normals.data(), texCoos.data());
        if (copy)
            copy->SetFlags(0);
        if (!first)
            first = copy;
    }
    return first;
}

namespace {

// The corners of a facet with one contour, in its order; empty for a facet
// with holes (its outline is not one contour).
std::vector<G3Vertex*> OutlineOf(const G3Facet* f)
{
    std::vector<G3Vertex*> corners;
    for (G3ContourWalker w(f); w.Next();) {
        if (w.Opens() && w.GetIndex() > 0)
            return {};
        corners.push_back(w.GetEntry());
    }
    return corners;
}

// The facet of s that `facet` (of outline `corners`) lies flat on, back to
// back: facing the other way (normals opposite within kPlaneEqual), every
// corner of the outline on it, and holding the whole outline
// (ContourFitsFacet: corners on it are not enough, a hole's rim holds them
// too); null when none does. Only the outline's corners are held to the
// other's plane, as the overlap check holds them: a long wall face, its
// plane fitted to corners rounded off it, stands farther than kPlaneSide
// off a window's small cap at its far corners, and the cap of an opening
// through it was left lying on it.
G3Facet* StuckTo(G3Surface* s, const G3Facet* facet, const std::vector<G3Vertex*>& corners)
{
    std::vector<const double*> pts;
    for (const G3Vertex* v : corners)
        pts.push_back(v->GetXYZ());
    const double* n = facet->GetPlane();
    for (int k = 0; k < s->GetFacetCount(); ++k) {
        G3Facet* other = s->GetFacet(k);
        const double* m = other->GetPlane();
        if (other == facet || !(n[0] * m[0] + n[1] * m[1] + n[2] * m[2] <= GTolerance::kPlaneEqual - 1.0))
            continue;
        bool all = true;
        for (const double* p : pts)
            all = all && PointOnFacet(other, p);
        if (all && ContourFitsFacet(other, pts))
            return other;
    }
    return nullptr;
}

// Twice the signed area of a plan, summed about its first corner: products
// of site coordinates (5e6) round off more than a small facet's area.
double TwiceArea(const Plan& p)
{
    double area = 0.0;
    if (p.empty())
        return area;
    const double ox = p[0][0], oy = p[0][1];
    for (std::size_t k = 1; k + 1 < p.size(); ++k)
        area += (p[k][0] - ox) * (p[k + 1][1] - oy) - (p[k + 1][0] - ox) * (p[k][1] - oy);
    return area;
}

// The plan (on f's projection pair) of the outline `c`, wound
// counter-clockwise; empty when it is not convex or has no area.
Plan ConvexPlan(const G3Facet* f, const std::vector<G3Vertex*>& c)
{
    int i = 0, j = 1;
    f->GetMaxCoo(&i, &j);
    Plan p;
    for (const G3Vertex* v : c)
        p.push_back({v->GetXYZ()[i], v->GetXYZ()[j], 0.0});
    const std::size_t n = p.size();
    const double area = TwiceArea(p);
    if (n < 3 || !(std::fabs(area) > GTolerance::kZeroLength * GTolerance::kZeroLength))
        return {};
    if (area < 0.0)
        std::reverse(p.begin(), p.end());
    for (std::size_t k = 0; k < n; ++k) {
        const double* a = p[k].data();
        const double* b = p[(k + 1) % n].data();
        const double* q = p[(k + 2) % n].data();
        const double turn = (b[0] - a[0]) * (q[1] - a[1]) - (b[1] - a[1]) * (q[0] - a[0]);
        if (turn < -GTolerance::kPlaneSide * std::hypot(b[0] - a[0], b[1] - a[1]))
            return {};
    }
    return p;
}

// The part of the convex plan `a` inside the convex plan `clip` (both
// counter-clockwise; Sutherland-Hodgman), corners closer than kPointEqual
// merged.
Plan ClipConvex(Plan a, const Plan& clip)
{
    const std::size_t m = clip.size();
    for (std::size_t k = 0; k < m && !a.empty(); ++k) {
        const double* u = clip[k].data();
        const double* w = clip[(k + 1) % m].data();
        const double len = std::hypot(w[0] - u[0], w[1] - u[1]);
        auto side = [&](const std::array<double, 3>& q) {
            return ((w[0] - u[0]) * (q[1] - u[1]) - (w[1] - u[1]) * (q[0] - u[0])) / len;
        };
        Plan out;
        for (std::size_t e = 0; e < a.size(); ++e) {
            const std::array<double, 3>& p = a[e];
            const std::array<double, 3>& q = a[(e + 1) % a.size()];
            const double sp = side(p), sq = side(q);
            if (sp >= -GTolerance::kPlaneSide)
                out.push_back(p);
            if ((sp < -GTolerance::kPlaneSide && sq > GTolerance::kPlaneSide) ||
                (sp > GTolerance::kPlaneSide && sq < -GTolerance::kPlaneSide)) {
                const double t = sp / (sp - sq);
                out.push_back({p[0] + t * (q[0] - p[0]), p[1] + t * (q[1] - p[1]), 0.0});
            }
        }
        a.clear();
        for (const auto& q : out)
            if (a.empty() || std::hypot(q[0] - a.back()[0], q[1] - a.back()[1]) >= GTolerance::kPointEqual)
                a.push_back(q);
        while (a.size() > 1 && std::hypot(a[0][0] - a.back()[0], a[0][1] - a.back()[1]) < GTolerance::kPointEqual)
            a.pop_back();
    }
    return a;
}

// Whether the segment a-b crosses facet f strictly inside it, its ends
// clear of f's plane (kPlaneSide) on either side.
bool PiercesFacet(const G3Facet* f, const double* a, const double* b)
{
    const double* m = f->GetPlane();
    const double sa = m[0] * a[0] + m[1] * a[1] + m[2] * a[2] + m[3];
    const double sb = m[0] * b[0] + m[1] * b[1] + m[2] * b[2] + m[3];
    if (!(std::fabs(sa) >= GTolerance::kPlaneSide && std::fabs(sb) >= GTolerance::kPlaneSide &&
          (sa < 0.0) != (sb < 0.0)))
        return false;
    return f->GetPlaneIntersect(a, b, nullptr, nullptr, nullptr) == 1;
}

// Whether the segment a-b crosses the wall that the contour side p-q sweeps
// by depth * d strictly inside it: its ends clear of the wall's plane
// (kPlaneSide) on either side, and the crossing farther than kPlaneSide
// from the host's plane (n, `along` = n . d, `reach` = depth * along), from
// the moved one and, traced back along d onto the host, from p and q.
// Distances to the wall are taken from p, so that site coordinates keep
// their digits.
bool CrossesWall(const double* a, const double* b, const double* p, const double* q, const double* d,
                 const double* n, double along, double reach)
{
    const double u[3] = {q[0] - p[0], q[1] - p[1], q[2] - p[2]};
    const double w[3] = {u[1] * d[2] - u[2] * d[1], u[2] * d[0] - u[0] * d[2], u[0] * d[1] - u[1] * d[0]};
    const double len = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
    const double uu = u[0] * u[0] + u[1] * u[1] + u[2] * u[2];
    if (!(len >= GTolerance::kZeroNormal) || !(uu > 0.0))
        return false;
    const double sa = (w[0] * (a[0] - p[0]) + w[1] * (a[1] - p[1]) + w[2] * (a[2] - p[2])) / len;
    const double sb = (w[0] * (b[0] - p[0]) + w[1] * (b[1] - p[1]) + w[2] * (b[2] - p[2])) / len;
    if (!(std::fabs(sa) >= GTolerance::kPlaneSide && std::fabs(sb) >= GTolerance::kPlaneSide &&
          (sa < 0.0) != (sb < 0.0)))
        return false;
    const double t = sa / (sa - sb);
    // The crossing, from p.
    const double x[3] = {a[0] - p[0] + t * (b[0] - a[0]), a[1] - p[1] + t * (b[1] - a[1]),
                         a[2] - p[2] + t * (b[2] - a[2])};
    // p lies on the host's plane: the crossing's height above it.
    const double h = n[0] * x[0] + n[1] * x[1] + n[2] * x[2];
    const double from = reach > 0.0 ? h : -h;
    if (!(from > GTolerance::kPlaneSide && std::fabs(reach) - from > GTolerance::kPlaneSide))
        return false;
    const double back = h / along;
    const double y[3] = {x[0] - back * d[0], x[1] - back * d[1], x[2] - back * d[2]};
    const double at = (y[0] * u[0] + y[1] * u[1] + y[2] * u[2]) / std::sqrt(uu);
    return at > GTolerance::kPlaneSide && std::sqrt(uu) - at > GTolerance::kPlaneSide;
}

// Whether the sweep of the contour `pts` (on `host`, corners given as
// points) by depth * d would pass through the surface: a segment from a
// corner or from a point inside the contour to its moved place, or a side
// of the moved contour, crosses a facet strictly inside it with both ends
// clear of the facet's plane (kPlaneSide); an edge of the surface crosses
// a swept wall strictly inside it; or a vertex of the surface lies
// strictly inside the swept prism. A pocket deeper than the wall then
// sticks out behind the back face, and a boss runs into another part of
// the solid; a part crossing the prism with no vertex in it and clear of
// the traced points (a thin bar across a wide pocket) crosses its walls.
// A sweep ending on a facet (a through hole, a boss landing on a face) or
// grazing an edge does not count. Reads the surface only.
bool SweepPassesSurface(G3Surface* s, const G3Facet* host, const std::vector<const double*>& pts, const double* d,
                        double depth)
{
    int i = 0, j = 1;
    host->GetMaxCoo(&i, &j);
    Plan c;
    for (const double* p : pts)
        c.push_back({p[i], p[j], 0.0});
    const std::array<double, 3> inside = InsidePoint(pts, c);
    std::vector<const double*> starts = pts;
    starts.push_back(inside.data());
    std::vector<std::array<double, 3>> moved;
    for (const double* a : pts)
        moved.push_back({a[0] + depth * d[0], a[1] + depth * d[1], a[2] + depth * d[2]});
    for (int k = 0; k < s->GetFacetCount(); ++k) {
        const G3Facet* f = s->GetFacet(k);
        if (f == host)
            continue;
        for (const double* a : starts) {
            const double b[3] = {a[0] + depth * d[0], a[1] + depth * d[1], a[2] + depth * d[2]};
            if (PiercesFacet(f, a, b))
                return true;
        }
        for (std::size_t e = 0; e < moved.size(); ++e)
            if (PiercesFacet(f, moved[e].data(), moved[(e + 1) % moved.size()].data()))
                return true;
    }
    // A vertex inside the prism: between the host's plane and the moved
    // one (each by more than kPlaneSide), and its trace along d on the
    // host's plane strictly inside the contour.
    const double* n = host->GetPlane();
    const double along = n[0] * d[0] + n[1] * d[1] + n[2] * d[2];
    const double reach = depth * along;
    if (!(std::fabs(reach) > 2.0 * GTolerance::kPlaneSide))
        return false;
    for (int k = 0; k < s->GetVertexCount(); ++k) {
        const double* v = s->GetVertex(k)->GetXYZ();
        const double h = n[0] * v[0] + n[1] * v[1] + n[2] * v[2] + n[3];
        const double from = reach > 0.0 ? h : -h;
        if (!(from > GTolerance::kPlaneSide && std::fabs(reach) - from > GTolerance::kPlaneSide))
            continue;
        const double t = h / along;
        const double q[3] = {v[i] - t * d[i], v[j] - t * d[j], 0.0};
        if (Where(c, q) > 0)
            return true;
    }
    // An edge through a wall: a part of the solid crossing the prism with
    // no vertex in it and clear of the traces above.
    for (int k = 0; k < s->GetEdgeCount(); ++k) {
        const G3Edge* e = s->GetEdge(k);
        if (!e->GetVertex1() || !e->GetVertex2())
            continue;
        const double* a = e->GetVertex1()->GetXYZ();
        const double* b = e->GetVertex2()->GetXYZ();
        for (std::size_t w = 0; w < pts.size(); ++w)
            if (CrossesWall(a, b, pts[w], pts[(w + 1) % pts.size()], d, n, along, reach))
                return true;
    }
    return false;
}

} // namespace

G3Facet* G3SurfaceEdit::InsertFacet(GArrayCollection* points, G3Point* direction, double depth,
                                    GArrayCollection* sideFacets)
{
    const std::vector<const double*> pts = PointsOf(points);
    if (!surface || !direction || pts.size() < 3 || surface->GetFacetCount() == 0 || !std::isfinite(depth))
        return nullptr;
    G3Facet* host = nullptr;
    for (int k = 0; k < surface->GetFacetCount() && !host; ++k) {
        G3Facet* f = surface->GetFacet(k);
        bool all = true;
        for (const double* p : pts)
            all = all && PointOnFacet(f, p);
        if (all && ContourFitsFacet(f, pts))
            host = f;
    }
    // The host is cut before the walls are built: a sweep through the
    // surface is refused here, while nothing has changed.
    if (!host || SweepPassesSurface(surface, host, pts, direction->GetXYZ(), depth))
        return nullptr;
    // The edit's own facets carry Mark4 until it returns. The passes below
    // remove facets and rebuild others, and a facet made later can take
    // the address a removed one had: an address alone named a neighbour's
    // rebuild as one of the sides. Rebuilt facets start with flags 0, so a
    // facet is the edit's while it is listed and marked.
    G3_HOLD_PASS_MARKS(surface, "InsertFacet");
    const int edgeFlags = surface->GetEdgeFlags();
    const double hostNormal[3] = {host->GetPlane()[0], host->GetPlane()[1], host->GetPlane()[2]};
    const bool against = RunsAgainst(hostNormal, pts);
    MakeHole(host, points);

    // The sides and the cap run the contour the way the host runs its
    // outline, so that each meets the rebuilt host and its neighbours edge
    // against edge before the update: a contour given the other way round
    // left the update to turn them, and where nothing else told it how (a
    // contour covering the whole face) it turned the whole solid inside out.
    const double* d = direction->GetXYZ();
    const std::size_t n = pts.size();
    auto moved = [&](const double* p) {
        return std::vector<double>{p[0] + depth * d[0], p[1] + depth * d[1], p[2] + depth * d[2]};
    };
    std::vector<G3Facet*> sides;
    // Each new facet with the way it faces as made; the cap first.
    std::vector<std::pair<G3Facet*, std::array<double, 3>>> facings;
    for (std::size_t k = 0; k < n; ++k) {
        const double* p = pts[k];
        const double* q = pts[(k + 1) % n];
        if (against)
            std::swap(p, q);
        const std::vector<std::vector<double>> quad = {{q[0], q[1], q[2]}, moved(q), moved(p), {p[0], p[1], p[2]}};
        G3Facet* side = FacetFromPoints(surface, quad, edgeFlags);
        if (side) {
            side->SetMark4();
            sides.push_back(side);
            const std::vector<const double*> corners = {quad[0].data(), quad[1].data(), quad[2].data(),
                                                        quad[3].data()};
            facings.push_back({side, NewellOf(corners)});
        }
    }
    std::vector<std::vector<double>> capPoints;
    for (const double* p : pts)
        capPoints.push_back(moved(p));
    if (against)
        std::reverse(capPoints.begin(), capPoints.end());
    G3Facet* cap = FacetFromPoints(surface, capPoints, edgeFlags);
    if (cap)
        cap->SetMark4();
    facings.insert(facings.begin(), {cap, {hostNormal[0], hostNormal[1], hostNormal[2]}});

    surface->RemoveEqualsVertexAndDivideEdges();
    surface->Update(CHECK_LEVEL_WELD);
    surface->SetEdgeFlags(edgeFlags);
    TurnBackIfInverted(facings);

    // The update may have dropped any of the new facets: they are read
    // only while still listed, compared by address first, then by mark.
    // `list` with every entry no longer the edit's own set to null.
    auto stillOurs = [this](std::vector<G3Facet*> list) {
        std::unordered_set<const G3Facet*> live;
        for (int k = 0; k < surface->GetFacetCount(); ++k)
            live.insert(surface->GetFacet(k));
        for (G3Facet*& f : list)
            if (f && !(live.count(f) && f->GetMark4()))
                f = nullptr;
        return list;
    };
    // A side or the cap lying on a facet of the surface faces it (a pocket
    // flush with the face's border, or as deep as the solid): the two
    // enclose nothing, and the notch or hole opens through that facet.
    std::vector<G3Facet*> all = sides;
    all.push_back(cap);
    for (std::size_t k = 0; k < all.size(); ++k) {
        const std::vector<G3Facet*> made = stillOurs(all);
        G3Facet* f = made[k];
        if (!f)
            continue;
        const std::vector<G3Vertex*> corners = OutlineOf(f);
        G3Facet* g = corners.empty() ? nullptr : StuckTo(surface, f, corners);
        // Two of the edit's own facets back to back (a contour folding on
        // itself) are left as the update left them.
        if (g && !g->GetMark4())
            RemoveOnto(f, g, corners);
        else if (!g && !corners.empty())
            OpenSharedPart(f, corners, made);
    }
    sides = stillOurs(sides);
    cap = stillOurs({cap})[0];
    for (int k = 0; k < surface->GetFacetCount(); ++k)
        surface->GetFacet(k)->ClearMark4();
    if (sideFacets)
        for (G3Facet* side : sides)
            if (side)
                sideFacets->add(side);
    return cap;
}

void G3SurfaceEdit::TurnBackIfInverted(const std::vector<std::pair<G3Facet*, std::array<double, 3>>>& facings)
{
    // The update orients each piece by probes, and the walls an edit leaves
    // lying back to back on the host's neighbours (a contour covering a
    // whole face) can tie them: the piece then came back inside out. The
    // edit's facets were wound to face the way the host faced; the first
    // of them still listed tells whether its piece was turned.
    std::unordered_set<const G3Facet*> live;
    for (int k = 0; k < surface->GetFacetCount(); ++k)
        live.insert(surface->GetFacet(k));
    for (const auto& made : facings) {
        G3Facet* f = made.first;
        if (!f || !live.count(f) || !f->GetMark4())
            continue;
        const double* m = f->GetPlane();
        const double dot = m[0] * made.second[0] + m[1] * made.second[1] + m[2] * made.second[2];
        if (dot < 0.0)
            for (G3Facet* g : PieceOf(f))
                g->NegPlane();
        return;
    }
}

void G3SurfaceEdit::OpenSharedPart(G3Facet* f, const std::vector<G3Vertex*>& corners,
                                   const std::vector<G3Facet*>& made)
{
    const Plan pf = ConvexPlan(f, corners);
    if (pf.empty())
        return;
    int i = 0, j = 1;
    f->GetMaxCoo(&i, &j);
    const int c = 3 - i - j;
    const double* n = f->GetPlane();
    // Every facet back to back with f over part of f, with that part in
    // f's plane; whether the facet lies wholly on f.
    struct Shared {
        G3Facet* g;
        std::vector<std::vector<double>> part;
        bool whole;
    };
    std::vector<Shared> found;
    const double tiny = GTolerance::kZeroLength * GTolerance::kZeroLength;
    for (int k = 0; k < surface->GetFacetCount(); ++k) {
        G3Facet* g = surface->GetFacet(k);
        const double* m = g->GetPlane();
        if (g == f || std::find(made.begin(), made.end(), g) != made.end() ||
            n[0] * m[0] + n[1] * m[1] + n[2] * m[2] >= 0.0 || g->IntersectByPlaneConcave(n, nullptr) != 3)
            continue;
        const std::vector<G3Vertex*> outline = OutlineOf(g);
        const Plan pg = outline.empty() ? Plan() : ConvexPlan(f, outline);
        const Plan shared = pg.empty() ? Plan() : ClipConvex(pg, pf);
        const double area = shared.size() < 3 ? 0.0 : TwiceArea(shared);
        if (!(area > tiny))
            continue;
        Shared e{g, {}, TwiceArea(pg) - area < tiny};
        for (const auto& q : shared) {
            std::vector<double> x(3);
            x[static_cast<std::size_t>(i)] = q[0];
            x[static_cast<std::size_t>(j)] = q[1];
            x[static_cast<std::size_t>(c)] = -(n[3] + n[i] * q[0] + n[j] * q[1]) / n[c];
            e.part.push_back(x);
        }
        found.push_back(e);
    }
    if (found.empty())
        return;
    // Each part cut out of its facet (a facet lying wholly on f goes), then
    // all of them out of f in one rebuild: f's pointer is not read after.
    std::vector<std::vector<std::vector<double>>> parts;
    for (const Shared& e : found) {
        if (e.whole)
            surface->RemoveFacet(e.g);
        else
            MakeHoles(e.g, {e.part});
        parts.push_back(e.part);
    }
    MakeHoles(f, parts);
    surface->RemoveEqualsVertexAndDivideEdges();
    surface->RemoveNonManifoldEdges();
}

void G3SurfaceEdit::RemoveOnto(G3Facet* facet, G3Facet* g, const std::vector<G3Vertex*>& corners)
{
    std::vector<std::unique_ptr<G3Point>> copies;
    GArrayCollection outline;
    for (const G3Vertex* v : corners) {
        copies.push_back(std::make_unique<G3Point>(v->GetXYZ()));
        outline.add(copies.back().get());
    }
    MakeHole(g, &outline);
    surface->RemoveFacet(facet);
    // The hole's corners are new vertices on facet's old corners, and the
    // rebuilt facet's edges lie beside its neighbours' ones: weld, stitch.
    // Where facet's outline runs along g's border, the walls standing on
    // it meet g's neighbours part way along their edges: those are split
    // at the corners lying on them first.
    surface->RemoveEqualsVertexAndDivideEdges();
    surface->RemoveNonManifoldEdges();
}

bool G3SurfaceEdit::RemoveStuckTogetherFacets(G3Facet* facet)
{
    if (!surface || surface->GetFacetCount() == 0 || !Listed(surface->GetFacetList(), facet))
        return false;
    const std::vector<G3Vertex*> corners = OutlineOf(facet);
    G3Facet* g = corners.empty() ? nullptr : StuckTo(surface, facet, corners);
    if (!g)
        return false;
    RemoveOnto(facet, g, corners);
    return true;
}
