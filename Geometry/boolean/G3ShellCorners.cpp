// The corners a shell gives a vertex whose facets lie in four or more
// planes (G3SolidsBuilder::CornerChain). Three moved planes meet in one
// point; four or more in general do not, and a facet that took the point
// of its own plane and its two neighbours' left its edges ending short of
// or past the neighbours' ends (a shell of a step between two boxes came
// out open). Here the vertex becomes a small tree of corners: the planes
// around it, in the order the facets lie around it (one plane per run of
// facets with one normal), form a polygon, and a triangulation of that
// polygon names the corners: each triangle the common point of its three
// planes, each side of the polygon (a moved edge) ending at its triangle's
// point, each diagonal a new edge between two planes. Every facet around
// the vertex works the same triangulation out from the same order (the
// polygon starts at the plane of the lowest facet id), so the corners it
// takes meet its neighbours'; a face given as several facets shares its
// corners out among them (ShareCorners). Invariants: a plane pair with no
// common line is never a diagonal and no triangle holds one. Such a pair
// is one whose normals run together or against each other within
// kParallel, the test the runs use: a face's top and the bottom of a box
// standing on it over an edge face opposite ways, and at site coordinates
// their normals differ by 1e-10 or so, so their triple product with a
// third normal passed kZeroNormal and the corner was solved some 1e10
// units away. At a convex or hollow vertex the triangles are faces of the
// hull of the normals (see the shape below), elsewhere an ear is cut where
// its three normals are farthest from parallel (the first such ear on
// ties). Rounding: the corners are solved from three moved planes by
// Cramer's rule, with the planes in the polygon's order whoever asks, so
// every facet gets the same bits.
#include "Geometry/boolean/G3SolidsBuilder.h"

#include "Geometry/math/GMatrix.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

G3Facet* Across(const G3Edge* e, const G3Facet* f) { return e->GetFacet1() == f ? e->GetFacet2() : e->GetFacet1(); }

double NormalsDet(const double* p, const double* q, const double* r)
{
    return Det3x3(p[0], q[0], r[0], p[1], q[1], r[1], p[2], q[2], r[2]);
}

// Unit normals along one line, either way round, within kParallel.
bool Parallel(const double* p, const double* q)
{
    return std::fabs(p[0] * q[0] + p[1] * q[1] + p[2] * q[2]) >= 1.0 - GTolerance::kParallel;
}

// Three planes meet in one point: their normals span space and no two lie
// along one line (the triple product alone lets rounding through).
bool Spanning(const double* P, const double* Q, const double* R)
{
    return std::fabs(NormalsDet(P, Q, R)) >= GTolerance::kZeroNormal && !Parallel(P, Q) && !Parallel(Q, R) &&
           !Parallel(P, R);
}

bool Meet(const double* P, const double* Q, const double* R, double* x)
{
    if (!Spanning(P, Q, R))
        return false;
    const double det = NormalsDet(P, Q, R);
    x[0] = Det3x3(-P[3], -Q[3], -R[3], P[1], Q[1], R[1], P[2], Q[2], R[2]) / det;
    x[1] = Det3x3(P[0], Q[0], R[0], -P[3], -Q[3], -R[3], P[2], Q[2], R[2]) / det;
    x[2] = Det3x3(P[0], Q[0], R[0], P[1], Q[1], R[1], -P[3], -Q[3], -R[3]) / det;
    return true;
}

// Where the edges between the k facets of a run of coplanar facets around
// a vertex end among the run's corners (in order): ends[i] for the edge
// after the run's i-th facet, never before the one ahead of it. Each facet
// then takes the corners from its incoming edge's end to its outgoing
// edge's; the first such assignment (lowest corners first) under which no
// facet's corners, with where the far ends of its two edges at the vertex
// move (farEnds, in the run's order), make a loop that crosses itself in
// the moved plane. All edges at the last corner when none does, or when
// there are too many assignments to try.
void ShareCorners(std::size_t k, const double* plane, const std::vector<double>& farEnds,
                  const std::vector<const double*>& corner, std::vector<std::size_t>& ends)
{
    const std::size_t last = corner.size() - 1;
    ends.assign(k - 1, last);
    if (k == 1 || last == 0)
        return;
    // Plan coordinates in the plane: drop its largest normal component.
    int drop = 0;
    for (int d = 1; d < 3; ++d)
        if (std::fabs(plane[d]) > std::fabs(plane[drop]))
            drop = d;
    const int u = drop == 0 ? 1 : 0, w = drop == 2 ? 1 : 2;
    auto flat = [&](const double* x, double* out) {
        const double lift = plane[0] * x[0] + plane[1] * x[1] + plane[2] * x[2] + plane[3];
        out[0] = x[u] - lift * plane[u];
        out[1] = x[w] - lift * plane[w];
    };
    std::vector<double> ends2(2 * (k + 1));
    for (std::size_t j = 0; j <= k; ++j)
        flat(&farEnds[3 * j], &ends2[2 * j]);
    std::vector<double> at2(2 * corner.size());
    for (std::size_t c = 0; c < corner.size(); ++c)
        flat(corner[c], &at2[2 * c]);
    auto crosses = [](const double* a, const double* b, const double* c, const double* d) {
        auto side = [](const double* p, const double* q, const double* r) {
            return (q[0] - p[0]) * (r[1] - p[1]) - (q[1] - p[1]) * (r[0] - p[0]);
        };
        const double s1 = side(a, b, c), s2 = side(a, b, d), s3 = side(c, d, a), s4 = side(c, d, b);
        return ((s1 > 0.0 && s2 < 0.0) || (s1 < 0.0 && s2 > 0.0)) && ((s3 > 0.0 && s4 < 0.0) || (s3 < 0.0 && s4 > 0.0));
    };
    // Facet j of the run with corners lo .. hi: its loop from the far end
    // of its incoming edge through them to the far end of its outgoing one
    // (and back, along the rest of the facet).
    auto folded = [&](std::size_t j, std::size_t lo, std::size_t hi) {
        std::vector<const double*> loop = {&ends2[2 * j]};
        for (std::size_t c = lo; c <= hi; ++c)
            loop.push_back(&at2[2 * c]);
        loop.push_back(&ends2[2 * (j + 1)]);
        const std::size_t size = loop.size();
        for (std::size_t a = 0; a < size; ++a)
            for (std::size_t b = a + 2; b < size; ++b)
                if ((b + 1) % size != a && crosses(loop[a], loop[a + 1], loop[b], loop[(b + 1) % size]))
                    return true;
        return false;
    };
    // Every nondecreasing choice, in order (an odometer), while few.
    constexpr std::size_t kMostTried = 4096;
    std::vector<std::size_t> pick(k - 1, 0);
    for (std::size_t tried = 0; tried < kMostTried; ++tried) {
        bool sound = true;
        for (std::size_t j = 0; j < k && sound; ++j)
            sound = !folded(j, j == 0 ? 0 : pick[j - 1], j + 1 == k ? last : pick[j]);
        if (sound) {
            ends = pick;
            return;
        }
        std::size_t p = k - 1;
        while (p > 0 && pick[p - 1] == last)
            --p;
        if (p == 0)
            break;
        ++pick[p - 1];
        for (std::size_t q = p; q < k - 1; ++q)
            pick[q] = pick[p - 1];
    }
}

} // namespace

bool G3SolidsBuilder::CornerChain(const G3Vertex* v, G3Facet* f, const G3Edge* out, const double* planes,
                                  double thickness, std::vector<double>& chain)
{
    chain.clear();
    // The facets around v in the order f's contour leaves v by: each holds
    // v on exactly two of v's edges, and the walk comes back to f.
    const int ring = v->GetEdgeCount();
    std::vector<G3Edge*> vedges(static_cast<std::size_t>(ring));
    v->GetEdges(vedges.data());
    std::vector<G3Facet*> fan;
    std::vector<const G3Edge*> after;  // the edge between fan[i] and fan[i + 1]
    const G3Edge* e = out;
    G3Facet* h = f;
    for (int step = 0; step <= ring; ++step) {
        fan.push_back(h);
        after.push_back(e);
        G3Facet* next = Across(e, h);
        if (!next)
            return false;
        // next's other edge at v.
        const G3Edge* other = nullptr;
        int held = 0;
        for (const G3Edge* ve : vedges)
            if (ve->GetFacet1() == next || ve->GetFacet2() == next) {
                ++held;
                if (ve != e)
                    other = ve;
            }
        if (held != 2 || !other)
            return false;
        if (next == f) {
            if (other != out)
                return false;
            break;
        }
        h = next;
        e = other;
    }
    if (fan.size() < 4 || fan.size() > static_cast<std::size_t>(ring))
        return false;
    // Runs of facets with one normal are one plane; the polygon starts at
    // the run holding the lowest facet id.
    const std::size_t n = fan.size();
    std::vector<double> moved(4 * n);
    for (std::size_t i = 0; i < n; ++i)
        CalcNewPlaneEquation(fan[i], planes, thickness, &moved[4 * i]);
    auto same = [&](std::size_t a, std::size_t b) {
        const double* p = &moved[4 * a];
        const double* q = &moved[4 * b];
        return p[0] * q[0] + p[1] * q[1] + p[2] * q[2] >= 1.0 - GTolerance::kParallel;
    };
    std::size_t start = n;
    for (std::size_t i = 0; i < n && start == n; ++i)
        if (!same(i, (i + n - 1) % n))
            start = i;
    if (start == n)
        return false;
    std::vector<int> runOf(n, -1);
    std::vector<std::size_t> firstOf;  // each run's first facet, in fan order
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = (start + k) % n;
        if (k == 0 || !same(i, (i + n - 1) % n))
            firstOf.push_back(i);
        runOf[i] = static_cast<int>(firstOf.size()) - 1;
    }
    const int m = static_cast<int>(firstOf.size());
    if (m < 4)
        return false;
    // The run's plane: that of its lowest facet id; the polygon's first
    // run: the one holding the lowest id.
    std::vector<std::size_t> planeOf(static_cast<std::size_t>(m), n);
    std::size_t lowest = 0;
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t& p = planeOf[static_cast<std::size_t>(runOf[i])];
        if (p == n || fan[i]->GetId() < fan[p]->GetId())
            p = i;
        if (fan[i]->GetId() < fan[lowest]->GetId())
            lowest = i;
    }
    const int base = runOf[lowest];
    auto P = [&](int run) { return &moved[4 * planeOf[static_cast<std::size_t>((run + base) % m)]]; };

    // How the solid turns at v: every run's neighbour lies behind its plane
    // (a convex corner, +1), every one in front (a hollow, -1), or mixed
    // (0). The corners of a convex corner grown outwards are where the
    // moved planes' half-spaces meet, which by duality are the faces of
    // the hull of the planes' normals on the far side from the origin: a
    // triangle whose plane (through its three normals) has every other
    // normal on the origin's side. Shrinking, or a hollow, takes the other
    // side; a mixed corner cuts the ears farthest from parallel.
    int shape = 0;
    {
        int behind = 0, before = 0;
        std::vector<G3Vertex*> corners;
        for (int r = 0; r < m; ++r) {
            const double* p = &moved[4 * firstOf[static_cast<std::size_t>(r)]];
            G3Facet* g = fan[firstOf[static_cast<std::size_t>((r + 1) % m)]];
            corners.resize(static_cast<std::size_t>(g->GetVertexCount()));
            g->GetVertices(corners.data());
            double reach = 0.0;
            for (const G3Vertex* c : corners) {
                const double* x = c->GetXYZ();
                const double* o = v->GetXYZ();
                const double d = p[0] * (x[0] - o[0]) + p[1] * (x[1] - o[1]) + p[2] * (x[2] - o[2]);
                if (std::fabs(d) > std::fabs(reach))
                    reach = d;
            }
            behind += reach < -GTolerance::kPlaneSide;
            before += reach > GTolerance::kPlaneSide;
        }
        shape = behind == m ? 1 : before == m ? -1 : 0;
    }
    const int side = thickness > 0.0 ? shape : -shape;
    // The ear (a, b, c) is a face of the hull on the wanted side.
    auto onHull = [&](int a, int b, int c) {
        const double* na = P(a);
        const double* nb = P(b);
        const double* nc = P(c);
        const double u[3] = {nb[0] - na[0], nb[1] - na[1], nb[2] - na[2]};
        const double w[3] = {nc[0] - na[0], nc[1] - na[1], nc[2] - na[2]};
        const double h[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
        const double origin = -(h[0] * na[0] + h[1] * na[1] + h[2] * na[2]);
        for (int q = 0; q < m; ++q) {
            if (q == a || q == b || q == c)
                continue;
            const double* nq = P(q);
            const double at = h[0] * (nq[0] - na[0]) + h[1] * (nq[1] - na[1]) + h[2] * (nq[2] - na[2]);
            if (at * origin * side < 0.0)
                return false;
        }
        return true;
    };

    // Ear clipping on polygon places 0 .. m - 1 (run base + place).
    std::vector<int> left(static_cast<std::size_t>(m));
    for (int i = 0; i < m; ++i)
        left[static_cast<std::size_t>(i)] = i;
    struct Tri {
        int a, b, c;  // places, increasing
        double x[3];
    };
    std::vector<Tri> tris;
    auto addTri = [&](int a, int b, int c) {
        int t[3] = {a, b, c};
        std::sort(t, t + 3);
        Tri tri{t[0], t[1], t[2], {0.0, 0.0, 0.0}};
        if (!Meet(P(t[0]), P(t[1]), P(t[2]), tri.x))
            return false;
        tris.push_back(tri);
        return true;
    };
    while (left.size() > 3) {
        const std::size_t k = left.size();
        std::size_t best = k;
        double bestDet = 0.0;
        for (int pass = side != 0 ? 0 : 1; pass < 2 && best == k; ++pass)
            for (std::size_t i = 0; i < k; ++i) {
                const int a = left[(i + k - 1) % k], b = left[i], c = left[(i + 1) % k];
                const double d = std::fabs(NormalsDet(P(a), P(b), P(c)));
                if (Spanning(P(a), P(b), P(c)) && d > bestDet && (pass == 1 || onHull(a, b, c))) {
                    best = i;
                    bestDet = d;
                }
            }
        if (best == k || !addTri(left[(best + k - 1) % k], left[best], left[(best + 1) % k]))
            return false;
        left.erase(left.begin() + static_cast<long>(best));
    }
    if (!addTri(left[0], left[1], left[2]))
        return false;

    // The corners of f's run, as a polygon place: those of the triangles
    // at that place, from the side with the run before to the side with
    // the run after.
    const int place = (runOf[0] - base + m) % m;
    std::vector<std::pair<int, const Tri*>> at;
    for (const Tri& t : tris) {
        if (t.a != place && t.b != place && t.c != place)
            continue;
        // The farthest of the other two places, counted on from `place`.
        int far = 0;
        for (int q : {t.a, t.b, t.c})
            if (q != place)
                far = std::max(far, (q - place + m) % m);
        at.push_back({far, &t});
    }
    std::sort(at.begin(), at.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<const double*> corner;
    for (const auto& c : at)
        corner.push_back(c.second->x);
    // Share the corners out among the facets of the run (a face given as
    // triangles): the edges between them end at corners in the run's
    // order, the first assignment that leaves no facet folded near v.
    const std::size_t r0 = firstOf[static_cast<std::size_t>(runOf[0])];
    std::size_t k = 1;
    while (runOf[(r0 + k) % n] == runOf[r0])
        ++k;
    // Where the far ends of the run's edges move (their planes' common
    // point; the end itself when there is none).
    std::vector<double> farEnds(3 * (k + 1));
    std::vector<G3Facet*> around;
    std::vector<G3Edge*> wedges;
    for (std::size_t j = 0; j <= k; ++j) {
        const G3Edge* ej = after[(r0 + j + n - 1) % n];
        const G3Vertex* w = ej->GetVertex1() == v ? ej->GetVertex2() : ej->GetVertex1();
        wedges.resize(static_cast<std::size_t>(w->GetEdgeCount()));
        w->GetEdges(wedges.data());
        around.clear();
        for (const G3Edge* we : wedges)
            for (G3Facet* g : {we->GetFacet1(), we->GetFacet2()})
                if (g && std::find(around.begin(), around.end(), g) == around.end())
                    around.push_back(g);
        double* x = &farEnds[3 * j];
        if (around.empty() || !MovedCorner(w, around, planes, thickness, x) || !std::isfinite(x[0]) ||
            !std::isfinite(x[1]) || !std::isfinite(x[2]))
            std::copy(w->GetXYZ(), w->GetXYZ() + 3, x);
    }
    std::vector<std::size_t> ends;
    ShareCorners(k, &moved[4 * r0], farEnds, corner, ends);
    // f is facet (n - r0) % n of the run: its corners run from where its
    // incoming edge ends to where its outgoing edge ends.
    const std::size_t i = (n - r0) % n;
    const std::size_t from = i == 0 ? 0 : ends[i - 1];
    const std::size_t to = i + 1 == k ? corner.size() - 1 : ends[i];
    for (std::size_t c = from; c <= to; ++c)
        chain.insert(chain.end(), corner[c], corner[c] + 3);
    return !chain.empty();
}
