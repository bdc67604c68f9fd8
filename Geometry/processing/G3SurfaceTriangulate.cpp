// Triangulation of facets (through GLU; long ones through the registered
// polygon engine), the complex-facet bracket and two small builders (the
// boundary loop of an open surface, one facet from a vertex array). A facet
// is triangulated after its sides are split at the corners of its other
// contours lying on them, in the facets beyond as well, so that its
// triangles meet those facets edge to edge.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/G3Math.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3PassCheck.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "Geometry/processing/G3FacetsOfContours.h"
#include "Geometry/processing/G3FacetMadeFrom.h"
#include "Geometry/processing/G3PolygonTriangulator.h"
#include "Geometry/processing/GTessellator.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

using GTolerance::kWeld;

namespace {

// Whether `mode` selects f (which has n >= 4 edges).
bool Selected(G3Facet* f, int n, int mode)
{
    if (mode & 4)
        return true;
    if ((mode & 8) && n > 4)
        return true;
    if ((mode & 2) && !f->IsFlat())
        return true;
    if (mode & 1) {
        int i = 0;
        int j = 1;
        f->GetMaxCoo(&i, &j);
        G3FacetVertexIterator it(f);
        if (G3Math::ConvexTest(&it, i, j) == 2)
            return true;
    }
    return false;
}

// The flags of the first edge joining a and b, or `otherwise` when none.
int SideFlags(G3Vertex* a, G3Vertex* b, int otherwise, GArrayCollection& scratch)
{
    a->GetEdges(b, &scratch);
    if (scratch.size() > 0)
        return static_cast<int>(static_cast<G3Edge*>(scratch.get(0))->GetFlags());
    return otherwise;
}

// One triangle of a facet: the tessellator's data pointers, chain edges
// (copies in the facet's edge list) whose vertex1 is the corner and whose
// facet1 side holds the corner's normal and texture coordinate; and the
// flags of its sides, once known.
struct Tri {
    G3Edge* e[3];
    int flags[3];
    G3Vertex* V(int k) const { return e[k]->GetVertex1(); }
    const double* P(int k) const { return e[k]->GetVertex1()->GetXYZ(); }
};

double Dot(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// What a triangle is to the sliver repair: `corner` lies on the side
// joining the other two (its longest side, of squared length `side`),
// strictly between them along it and nearer to it than kPlaneSide, or is
// -1 when no corner does; `area` tells whether its area exceeds kZeroArea,
// `rounding` whether that corner lies off the side by no more than the
// rounding of its coordinates.
struct Shape {
    int corner;
    double side;
    bool area;
    bool rounding;
};

Shape ShapeOf(const Tri& t)
{
    const double* p[3] = {t.P(0), t.P(1), t.P(2)};
    const double u[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
    const double v[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
    // |n| is twice the area, and |n| over the length of a side the distance
    // of the corner facing it.
    const double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    const double nn = Dot(n, n);
    const double uu = Dot(u, u);
    const double vv = Dot(v, v);
    const double near = GTolerance::kPlaneSide * GTolerance::kPlaneSide;
    // Area |n| / 2 above kZeroArea. Most triangles have it and every corner
    // far from the side it faces (a side's squared length is at most
    // 2 (uu + vv)), and go no further.
    const bool area = nn > 4.0 * GTolerance::kZeroArea * GTolerance::kZeroArea;
    if (area && nn >= 2.0 * near * (uu + vv))
        return {-1, 0.0, true, false};
    const double w[3] = {v[0] - u[0], v[1] - u[1], v[2] - u[2]};
    // Squared lengths of the sides facing each corner.
    const double side[3] = {Dot(w, w), vv, uu};
    const int m = side[0] >= side[1] ? (side[0] >= side[2] ? 0 : 2) : (side[1] >= side[2] ? 1 : 2);
    Shape s = {-1, side[m], area, false};
    // Corner m's foot lies strictly inside the side when the corners at its
    // ends are acute: 0 < 2 (b - a).(c - a) < 2 |ac|^2.
    const double along = side[(m + 1) % 3] + side[m] - side[(m + 2) % 3];
    if (along > 0.0 && along < 2.0 * side[m] && nn < near * side[m]) {
        s.corner = m;
        // Corners in line, stored far from the origin, lie off their line
        // by up to an ulp or so of their largest coordinate each (the
        // corner's distance is |n| / |side|).
        double largest = 0.0;
        for (const double* q : p)
            for (int k = 0; k < 3; ++k)
                largest = std::max(largest, std::fabs(q[k]));
        const double rounding = GTolerance::kCoordinateRounding * largest;
        s.rounding = nn <= rounding * rounding * side[m];
    }
    return s;
}

// The squared distance of a triangle's corner from its longest side (the
// thinness RemoveSlivers weighs cuts by).
double SquaredHeight(const Tri& t)
{
    const double* p[3] = {t.P(0), t.P(1), t.P(2)};
    const double u[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
    const double v[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
    const double w[3] = {v[0] - u[0], v[1] - u[1], v[2] - u[2]};
    const double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    const double longest = std::max(Dot(u, u), std::max(Dot(v, v), Dot(w, w)));
    return longest > 0.0 ? Dot(n, n) / longest : 0.0;
}

struct DirectedSide {
    const G3Vertex* from;
    const G3Vertex* to;
    bool operator==(const DirectedSide& o) const { return from == o.from && to == o.to; }
};

// Only looked up, never walked: the order of the table's cells (addresses)
// reaches no result.
struct DirectedSideHash {
    std::size_t operator()(const DirectedSide& s) const
    {
        return std::hash<const void*>()(s.from) * 31 + std::hash<const void*>()(s.to);
    }
};

// GLU keeps every corner of a straight run of the contour but may join the
// run's ends across it, leaving slivers, triangles with a corner on their
// long side such as the fan (0, 1, 2), (0, 2, 3) over a side 0-1-2-3. Far
// from the origin the run's corners are in line only to rounding, so the
// slivers' areas are noise either side of kZeroArea: a corner is on the
// side when nearer than kPlaneSide. Each sliver (a, b, c), b on a-c, is
// replaced together with the triangle (a, c, d) across that side by
// (a, b, d) and (b, c, d): the pair covers the same region with the same
// count and signed area, and b stays a corner, so the facet's own edges
// (which its neighbours share) all remain triangle sides. Longest sides go
// first: the slivers on one run are then cut from the outside in, each
// against a neighbour off the run; a cut is made only where it leaves the
// pair less thin. A triangle without area that no cut removes (its long
// side on the facet's boundary: a corner touching a side of the facet) is
// dropped; a thin one with area is kept. Far from the origin such a
// triangle's area is the rounding of its corners, well above kZeroArea,
// and its plane points anywhere: one whose corner lies off the long side by
// no more than that rounding has no area either. Neither is dropped while
// a kept triangle holds its long side.
void RemoveSlivers(std::vector<Tri>& tris)
{
    struct Sliver {
        int tri;
        double side;
    };
    std::vector<Sliver> slivers;
    auto collect = [&]() {
        slivers.clear();
        for (std::size_t t = 0; t < tris.size(); ++t) {
            const Shape shape = ShapeOf(tris[t]);
            if (shape.corner >= 0 || !shape.area)
                slivers.push_back({static_cast<int>(t), shape.corner >= 0 ? shape.side : 0.0});
        }
    };
    collect();
    if (slivers.empty())
        return;

    // The sides the slivers' neighbours must hold (each long side the other
    // way round), and the triangle holding each: only these are looked up,
    // so only these are tabled.
    std::unordered_map<DirectedSide, int, DirectedSideHash> across;
    auto note = [&](int t) {
        for (int k = 0; k < 3; ++k) {
            auto it = across.find({tris[t].V(k), tris[t].V((k + 1) % 3)});
            if (it != across.end())
                it->second = t;
        }
    };

    // A round cuts every sliver it can. A sliver whose neighbour lies on
    // the same line (contours touching along it) leaves slivers for the
    // next; rounds are bounded so that cuts going round in circles there
    // still end.
    const int kRounds = 64;
    for (int round = 0; round < kRounds && !slivers.empty(); ++round) {
        across.clear();
        for (const Sliver& s : slivers) {
            const int m = ShapeOf(tris[s.tri]).corner;
            if (m >= 0)
                across.emplace(DirectedSide{tris[s.tri].V((m + 2) % 3), tris[s.tri].V((m + 1) % 3)}, -1);
        }
        if (across.empty())
            break;
        for (std::size_t t = 0; t < tris.size(); ++t)
            note(static_cast<int>(t));
        std::sort(slivers.begin(), slivers.end(), [](const Sliver& x, const Sliver& y) {
            return x.side != y.side ? x.side > y.side : x.tri < y.tri;
        });
        bool cut = false;
        for (const Sliver& s : slivers) {
            // An earlier cut of this round may have remade the triangle or
            // its neighbour; the table names the piece that holds the side.
            const Tri t = tris[s.tri];
            const int m = ShapeOf(t).corner;
            if (m < 0)
                continue;
            G3Vertex* a = t.V((m + 2) % 3);
            G3Vertex* c = t.V((m + 1) % 3);
            auto it = across.find({a, c});
            if (it == across.end() || it->second < 0)
                continue;
            const int u = it->second;
            const Tri n = tris[u];
            int k = 0;
            while (k < 3 && !(n.V(k) == a && n.V((k + 1) % 3) == c))
                ++k;
            if (k == 3)
                continue;
            const Tri first = {{n.e[k], t.e[m], n.e[(k + 2) % 3]}, {0, 0, 0}};
            const Tri second = {{t.e[m], n.e[(k + 1) % 3], n.e[(k + 2) % 3]}, {0, 0, 0}};
            // A cut must leave the pair less thin than it found it. A thin
            // neighbour whose far corner lies nearly in line beyond the run
            // makes a piece that is a sliver again, whose own cut gives the
            // first pair back: cut both ways, the pair would go round until
            // the rounds ran out.
            if (std::min(SquaredHeight(first), SquaredHeight(second)) <= std::min(SquaredHeight(t), SquaredHeight(n)))
                continue;
            tris[s.tri] = first;
            tris[u] = second;
            it->second = -1;
            note(s.tri);
            note(u);
            cut = true;
        }
        collect();
        if (!cut)
            break;
    }
    if (slivers.empty())
        return;
    // What is left is dropped, unless a kept triangle holds its long side:
    // dropped, it would leave that side (a diagonal, or an edge the facet
    // shares with its neighbour) with a triangle on one side only. A
    // triangle so thin that its corner is off the side by no more than the
    // rounding may still hold real area: the cut that made it is the only
    // cover of its region.
    std::vector<char> drop(tris.size(), 0);
    across.clear();
    for (std::size_t t = 0; t < tris.size(); ++t) {
        const Shape shape = ShapeOf(tris[t]);
        drop[t] = !shape.area || shape.rounding;
        if (drop[t] && shape.corner >= 0)
            across.emplace(DirectedSide{tris[t].V((shape.corner + 2) % 3), tris[t].V((shape.corner + 1) % 3)}, -1);
    }
    for (std::size_t t = 0; t < tris.size(); ++t)
        if (!drop[t])
            note(static_cast<int>(t));
    for (std::size_t t = 0; t < tris.size(); ++t) {
        const int m = drop[t] ? ShapeOf(tris[t]).corner : -1;
        if (m < 0)
            continue;
        const auto it = across.find({tris[t].V((m + 2) % 3), tris[t].V((m + 1) % 3)});
        if (it != across.end() && it->second >= 0)
            drop[t] = 0;
    }
    std::size_t kept = 0;
    for (std::size_t t = 0; t < tris.size(); ++t)
        if (!drop[t])
            tris[kept++] = tris[t];
    tris.resize(kept);
}

// The normal of the list's chain (Newell's sum; its length twice the
// area the chain encloses).
void ChainNormal(G3EdgeList& list, double* normal)
{
    normal[0] = normal[1] = normal[2] = 0.0;
    for (int k = 0; k < list.size(); ++k) {
        const double* a = list.GetEdge(k)->GetVertex1()->GetXYZ();
        const double* b = list.GetEdge(k)->GetVertex2()->GetXYZ();
        normal[0] += (a[1] - b[1]) * (a[2] + b[2]);
        normal[1] += (a[2] - b[2]) * (a[0] + b[0]);
        normal[2] += (a[0] - b[0]) * (a[1] + b[1]);
    }
}

// The facet's triangles through GLU: false when GLU reports an error (a
// crossing would need new vertices) or makes none. GLU winds them as the
// normal it finds itself, which a run of nearly straight corners at the
// start can turn over: they are turned to the chain's winding.
bool TrianglesByGlu(G3Facet* f, G3EdgeList& list, std::vector<Tri>& tris)
{
    G3FacetTessellator tess;
    if (!tess.IsValid())
        return false;
    int i = 0;
    int j = 1;
    f->GetMaxCoo(&i, &j);
    tess.Begin(i, j);
    // Contours follow one another in the chain: each goes to GLU as a
    // contour of its own (a keyhole contour with its bridges is one). The
    // list is normalised, so each edge's vertex1 is where its contour's walk
    // enters it. A walk that comes back to its start and goes on (a hole
    // that starts where the contour before it closed) goes to GLU as one
    // loop per pass: GLU's sweep covers the wrong region when one contour
    // passes through its start vertex again.
    G3ContourWalker w(&list);
    G3Vertex* loopStart = nullptr;
    while (w.Next()) {
        if (w.Opens() && w.GetIndex() > 0)
            tess.NextContour();
        if (w.Opens())
            loopStart = w.GetEntry();
        tess.AddVertex(w.GetEdge()->GetVertex1(), w.GetEdge());
        if (w.GetExit() == loopStart && !w.Closes())
            tess.NextContour();
    }
    tess.EndPolygon();
    // A facet GLU could not take whole (a crossing would need new vertices)
    // keeps its area untriangulated rather than losing part of it.
    const int count = tess.GetTriangleCount();
    if (tess.HasError() || count < 1)
        return false;

    tris.reserve(static_cast<std::size_t>(count));
    for (int t = 0; t < count; ++t) {
        Tri tri = {};
        for (int c = 0; c < 3; ++c)
            tri.e[c] = static_cast<G3Edge*>(static_cast<void*>(tess.triangles.get(3 * t + c)));
        // A keyhole's two passages through one vertex are one point to GLU;
        // a triangle folding onto itself there adds nothing.
        if (tri.V(0) == tri.V(1) || tri.V(1) == tri.V(2) || tri.V(2) == tri.V(0))
            continue;
        tris.push_back(tri);
    }
    double chain[3], made[3] = {0.0, 0.0, 0.0};
    ChainNormal(list, chain);
    for (const Tri& tri : tris) {
        const double* a = tri.P(0);
        const double* b = tri.P(1);
        const double* c = tri.P(2);
        const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]}, v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        made[0] += u[1] * v[2] - u[2] * v[1];
        made[1] += u[2] * v[0] - u[0] * v[2];
        made[2] += u[0] * v[1] - u[1] * v[0];
    }
    if (Dot(made, chain) < 0.0)
        for (Tri& tri : tris)
            std::swap(tri.e[0], tri.e[2]);
    return true;
}

// The indices of the points (x, y pairs in `xy`) by their x, ties by index.
std::vector<int> OrderByU(const std::vector<double>& xy)
{
    std::vector<int> order(xy.size() / 2);
    for (std::size_t p = 0; p < order.size(); ++p)
        order[p] = static_cast<int>(p);
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        return xy[2 * static_cast<std::size_t>(a)] != xy[2 * static_cast<std::size_t>(b)]
                   ? xy[2 * static_cast<std::size_t>(a)] < xy[2 * static_cast<std::size_t>(b)]
                   : a < b;
    });
    return order;
}

// Points closer than kPointEqual (distinct vertices at one place: a hole's
// own copy of a corner of the contour it touches) are one point to the
// engine, which declines points it would have to merge; GLU joins them
// too. Each point goes to the first of them in the chain, whose vertex and
// corner data it keeps; sides joined into nothing are dropped.
void MergeCoincidentPoints(std::vector<const G3Vertex*>& at, std::vector<G3Edge*>& corner, G3PlanarPolygon& polygon)
{
    const std::size_t count = at.size();
    auto uOf = [&](int p) { return polygon.xy[2 * static_cast<std::size_t>(p)]; };
    const std::vector<int> byU = OrderByU(polygon.xy);
    // Points near in space are near in u: each looks at the run of sorted
    // u within kPointEqual of its own.
    std::vector<int> to(count, -1);
    std::vector<std::size_t> rank(count);
    for (std::size_t r = 0; r < count; ++r)
        rank[static_cast<std::size_t>(byU[r])] = r;
    bool any = false;
    for (std::size_t p = 0; p < count; ++p) {
        if (to[p] >= 0)
            continue;
        to[p] = static_cast<int>(p);
        const double* pp = at[p]->GetXYZ();
        for (int dir : {-1, 1}) {
            for (std::size_t r = rank[p];;) {
                if (dir < 0 ? r == 0 : r + 1 == count)
                    break;
                r = dir < 0 ? r - 1 : r + 1;
                const int q = byU[r];
                if (std::fabs(uOf(q) - uOf(static_cast<int>(p))) >= GTolerance::kPointEqual)
                    break;
                if (to[static_cast<std::size_t>(q)] >= 0)
                    continue;
                const double* pq = at[static_cast<std::size_t>(q)]->GetXYZ();
                const double d[3] = {pq[0] - pp[0], pq[1] - pp[1], pq[2] - pp[2]};
                if (Dot(d, d) < GTolerance::kPointEqual * GTolerance::kPointEqual) {
                    to[static_cast<std::size_t>(q)] = static_cast<int>(p);
                    any = true;
                }
            }
        }
    }
    if (!any)
        return;
    // Renumber the points kept, in their order.
    std::vector<int> index(count, -1);
    std::size_t kept = 0;
    for (std::size_t p = 0; p < count; ++p) {
        if (to[p] != static_cast<int>(p))
            continue;
        index[p] = static_cast<int>(kept);
        at[kept] = at[p];
        corner[kept] = corner[p];
        polygon.xy[2 * kept] = polygon.xy[2 * p];
        polygon.xy[2 * kept + 1] = polygon.xy[2 * p + 1];
        ++kept;
    }
    at.resize(kept);
    corner.resize(kept);
    polygon.xy.resize(2 * kept);
    std::size_t out = 0;
    for (std::size_t k = 0; k + 1 < polygon.segments.size(); k += 2) {
        const int a = index[static_cast<std::size_t>(to[static_cast<std::size_t>(polygon.segments[k])])];
        const int b = index[static_cast<std::size_t>(to[static_cast<std::size_t>(polygon.segments[k + 1])])];
        if (a == b)
            continue;
        polygon.segments[out++] = a;
        polygon.segments[out++] = b;
    }
    polygon.segments.resize(out);
}

// Cuts each side (pairs of point indices in `segments`) at the points that
// lie on it, nearer than kPlaneSide and strictly between its ends, in order
// along it. `at` gives each point's vertex, `u` its first projected
// coordinate: a point that near a side is within kPlaneSide of it in u, so
// only the points in that band of the sorted u are tested, and the cost
// stays of the order of GLU's sweep over the same facet.
void CutSidesAtPoints(const std::vector<const G3Vertex*>& at, const std::vector<double>& xy, std::vector<int>& segments)
{
    auto uOf = [&](int p) { return xy[2 * static_cast<std::size_t>(p)]; };
    const std::vector<int> byU = OrderByU(xy);

    std::vector<int> cut;
    std::vector<std::pair<double, int>> on;
    for (std::size_t k = 0; k + 1 < segments.size(); k += 2) {
        const int a = segments[k];
        const int b = segments[k + 1];
        const double* pa = at[static_cast<std::size_t>(a)]->GetXYZ();
        const double* pb = at[static_cast<std::size_t>(b)]->GetXYZ();
        const double d[3] = {pb[0] - pa[0], pb[1] - pa[1], pb[2] - pa[2]};
        const double dd = Dot(d, d);
        const double low = std::min(uOf(a), uOf(b)) - GTolerance::kPlaneSide;
        const double high = std::max(uOf(a), uOf(b)) + GTolerance::kPlaneSide;
        on.clear();
        auto it = std::lower_bound(byU.begin(), byU.end(), low, [&](int p, double x) { return uOf(p) < x; });
        for (; it != byU.end() && uOf(*it) <= high; ++it) {
            const int p = *it;
            if (p == a || p == b)
                continue;
            const double* pp = at[static_cast<std::size_t>(p)]->GetXYZ();
            const double w[3] = {pp[0] - pa[0], pp[1] - pa[1], pp[2] - pa[2]};
            const double along = Dot(w, d);
            if (along <= 0.0 || along >= dd)
                continue;
            const double c[3] = {w[1] * d[2] - w[2] * d[1], w[2] * d[0] - w[0] * d[2], w[0] * d[1] - w[1] * d[0]};
            if (Dot(c, c) < GTolerance::kPlaneSide * GTolerance::kPlaneSide * dd)
                on.emplace_back(along, p);
        }
        std::sort(on.begin(), on.end());
        int from = a;
        for (const auto& [along, p] : on) {
            cut.push_back(from);
            cut.push_back(p);
            from = p;
        }
        cut.push_back(from);
        cut.push_back(b);
    }
    segments.swap(cut);
}

// The facet's triangles through the registered engine, on the plane of the
// largest two components of its chain's normal: false when the engine
// declines. Each distinct vertex is one point and takes the corner data of
// the first chain edge it starts; the triangles are turned to the chain's
// winding. With `cut`, points at one place are first joined and sides cut
// at the points lying on them, both of which the engine would decline.
bool TrianglesByEngine(G3EdgeList& list, G3PolygonTriangulator engine, bool cut, std::vector<Tri>& tris)
{
    double normal[3];
    ChainNormal(list, normal);
    int drop = 2;
    if (std::fabs(normal[0]) > std::fabs(normal[1]) && std::fabs(normal[0]) > std::fabs(normal[2]))
        drop = 0;
    else if (std::fabs(normal[1]) > std::fabs(normal[2]))
        drop = 1;
    const int u = (drop + 1) % 3;
    const int v = (drop + 2) % 3;
    // Triangles come back counter-clockwise in (u, v); the chain turns that
    // way when its normal points along the dropped axis.
    const bool reverse = normal[drop] < 0.0;

    G3PlanarPolygon polygon;
    std::vector<G3Edge*> corner;
    std::vector<const G3Vertex*> at;
    std::unordered_map<const G3Vertex*, int> point;
    auto pointOf = [&](G3Vertex* x, G3Edge* e) {
        const auto it = point.emplace(x, static_cast<int>(corner.size()));
        if (it.second) {
            polygon.xy.push_back(x->GetXYZ()[u]);
            polygon.xy.push_back(x->GetXYZ()[v]);
            corner.push_back(e);
            at.push_back(x);
        } else if (!corner[static_cast<std::size_t>(it.first->second)] && e) {
            corner[static_cast<std::size_t>(it.first->second)] = e;
        }
        return it.first->second;
    };
    G3ContourWalker w(&list);
    while (w.Next()) {
        if (w.GetEntry() == w.GetExit())
            continue;
        polygon.segments.push_back(pointOf(w.GetEntry(), w.GetEdge()));
        polygon.segments.push_back(pointOf(w.GetExit(), nullptr));
    }
    // A point no chain edge starts at has no corner data to give.
    for (G3Edge* e : corner)
        if (!e)
            return false;
    if (cut) {
        MergeCoincidentPoints(at, corner, polygon);
        CutSidesAtPoints(at, polygon.xy, polygon.segments);
    }
    std::vector<int> triangles;
    if (!engine(polygon, triangles))
        return false;
    tris.reserve(triangles.size() / 3);
    for (std::size_t t = 0; t + 2 < triangles.size(); t += 3) {
        Tri tri = {};
        for (int c = 0; c < 3; ++c)
            tri.e[reverse ? 2 - c : c] = corner[static_cast<std::size_t>(triangles[t + static_cast<std::size_t>(c)])];
        tris.push_back(tri);
    }
    return !tris.empty();
}

// Splits each side of f at the corners of f's other contours lying on it
// (a hole touching the outline's side, or a hole's side touched by another
// hole's corner), in f and in the facet beyond the side. f's triangles
// split the side there; the facet beyond would keep it whole and the
// surface would open. Welding with division splits such sides over the
// whole surface; this keeps a surface that was not welded closed. Sides
// that border f twice are passed over: they are not sides of a region.
void DivideAtTouchingCorners(G3Surface* s, G3Facet* f)
{
    struct Corner {
        G3Vertex* v;
        int contour;
    };
    struct Side {
        G3Edge* e;
        int contour;
    };
    // Most facets are one contour and leave after one walk.
    bool holed = false;
    for (G3ContourWalker w(f); w.Next() && !holed;)
        holed = w.Opens() && w.GetIndex() > 0;
    if (!holed)
        return;
    std::vector<Corner> corners;
    std::vector<Side> sides;
    int contour = -1;
    for (G3ContourWalker w(f); w.Next();) {
        if (w.Opens())
            ++contour;
        if (!w.GetEdge() || !w.GetEntry())
            return;
        corners.push_back({w.GetEntry(), contour});
        if (w.GetEdge()->GetFacet1() != w.GetEdge()->GetFacet2())
            sides.push_back({w.GetEdge(), contour});
    }
    for (const Corner& c : corners) {
        const double* p = c.v->GetXYZ();
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
            return; // no order to search along
    }
    std::sort(corners.begin(), corners.end(),
              [](const Corner& a, const Corner& b) { return a.v->GetXYZ()[0] < b.v->GetXYZ()[0]; });
    std::vector<G3Vertex*> on;
    GArrayCollection candidates;
    for (const Side& side : sides) {
        GEnvelope box;
        side.e->FormEnvelope(&box);
        const auto first = std::lower_bound(corners.begin(), corners.end(), box.min[0] - kWeld,
                                            [](const Corner& c, double x) { return c.v->GetXYZ()[0] < x; });
        on.clear();
        for (auto c = first; c != corners.end() && c->v->GetXYZ()[0] <= box.max[0] + kWeld; ++c) {
            const double* p = c->v->GetXYZ();
            if (c->contour != side.contour && p[1] >= box.min[1] - kWeld && p[1] <= box.max[1] + kWeld &&
                p[2] >= box.min[2] - kWeld && p[2] <= box.max[2] + kWeld &&
                // Holes touching each other at a corner on the side list it twice.
                std::find(on.begin(), on.end(), c->v) == on.end())
                on.push_back(c->v);
        }
        if (on.empty())
            continue;
        candidates.clear();
        for (G3Vertex* v : on)
            candidates.add(v);
        s->DivideEdgeByVertex(side.e, &box, &candidates);
    }
}

} // namespace

bool G3Surface::TriangulateFacet(G3Facet* f, int newEdgeFlags)
{
    if (!f)
        return false;
    DivideAtTouchingCorners(this, f);
    G3EdgeList list(f);
    const int n = list.size();
    if (n < 3)
        return false;
    for (int k = 0; k < n; ++k) {
        const G3Edge* e = list.GetEdge(k);
        if (!e || !e->GetVertex1() || !e->GetVertex2())
            return false;
        const double* p = e->GetVertex1()->GetXYZ();
        // GLU's sweep has no answer for coordinates that are not numbers.
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
            return false;
    }

    std::vector<Tri> tris;
    const G3PolygonTriangulator engine = G3GetPolygonTriangulator();
    bool made = engine && n >= kLongPolygonCorners && TrianglesByEngine(list, engine, false, tris);
    if (!made) {
        tris.clear();
        made = TrianglesByGlu(f, list, tris);
    }
    // GLU refuses a corner lying on a side of another contour without being
    // a vertex there (a window touching the edge of its wall) once the plane
    // is tilted: its own projection puts the corner a rounding across the
    // side, a crossing that would need a new vertex. The engine takes such
    // a facet with the sides cut at the corners lying on them.
    if (!made && engine) {
        tris.clear();
        made = TrianglesByEngine(list, engine, true, tris);
    }
    if (!made)
        return false;
    RemoveSlivers(tris);
    if (tris.empty())
        return false;

    // Side flags are read while f's own edges still exist: sides that are
    // edges keep theirs, new diagonals get newEdgeFlags.
    GArrayCollection scratch;
    for (Tri& tri : tris)
        for (int c = 0; c < 3; ++c)
            tri.flags[c] = SideFlags(tri.V(c), tri.V((c + 1) % 3), newEdgeFlags, scratch);

    const FacetMadeFrom source(this, f);
    RemoveFacet(f);

    const long facetFlags = static_cast<long>(static_cast<unsigned int>(list.GetFacetFlags()));
    for (Tri& tri : tris) {
        G3Vertex* v[3];
        G3Normal* normals[3];
        G3TexCoo* texCoos[3];
        for (int c = 0; c < 3; ++c) {
            v[c] = tri.e[c]->GetVertex1();
            texCoos[c] = nullptr;
            normals[c] = tri.e[c]->GetFacet1V1(&texCoos[c]);
        }
        G3Facet* made = AddFacet(3, v, tri.flags, normals, texCoos);
        if (!made)
            continue;
        made->SetSurface(list.GetFacetSurface());
        made->SetFlags(facetFlags);
    }
    return true;
}

bool G3Surface::Triangulate(int mode, int newEdgeFlags)
{
    G3_CHECK_PASS(this, "Triangulate");
    if (!facets)
        return false;
    // Triangles are appended and removed facets give their slot to the
    // last one: walk a snapshot.
    GArrayCollection snapshot(*facets);
    bool any = false;
    for (int k = 0; k < snapshot.size(); ++k) {
        G3Facet* f = static_cast<G3Facet*>(snapshot.get(k));
        if (!f)
            continue;
        const int n = f->GetEdgeCount();
        if (n < 4 || !Selected(f, n, mode))
            continue;
        if (TriangulateFacet(f, newEdgeFlags))
            any = true;
    }
    if (any)
        RemoveUnused();
    return any;
}

// ------------------------------------------------------------ complex facets

void G3Surface::BeginComplexFacet()
{
    // Brackets do not nest: a second Begin keeps collecting into the open
    // bracket's collection rather than dropping it.
    if (dynamic_cast<GArrayCollection*>(exData))
        return;
    exData = new GArrayCollection();
}

void G3Surface::EndComplexFacet()
{
    G3_CHECK_PASS(this, "EndComplexFacet");
    GArrayCollection* collected = dynamic_cast<GArrayCollection*>(exData);
    if (!collected)
        return;
    // The facets made below are the result, not further pieces to fuse.
    exData = nullptr;
    if (collected->size() > 0) {
        G3Facet* head = static_cast<G3Facet*>(collected->get(0));
        // The fused facets are made from the first one collected.
        const FacetMadeFrom source(this, head);
        G3EdgeList list(head);
        G3EdgeList linked(head); // the bridged road, should the contours not split into loops
        if (head)
            RemoveFacet(head);
        list.FormMaxPlaneCoo();
        linked.FormMaxPlaneCoo();
        for (int k = 1; k < collected->size(); ++k) {
            G3Facet* f = static_cast<G3Facet*>(collected->get(k));
            if (!f)
                continue;
            list.AddEdges(f);
            linked.AddEdges(f);
            RemoveFacet(f);
        }
        // Each outer contour becomes a facet with the holes it encloses as
        // contours of their own: a bridge to a hole would be an edge with
        // one facet side, and the solid around it would no longer close.
        GArrayCollection out;
        list.RemoveSelfIntersections(&out, this, false, 2, 0);
        std::vector<std::vector<G3EdgeCopy>> made;
        const bool loops = G3FacetsOfContours(out, list.GetPlane(), made);
        for (int k = 0; k < out.size(); ++k)
            delete static_cast<G3EdgeList*>(out.get(k));
        out.clear(false);
        if (loops) {
            for (const std::vector<G3EdgeCopy>& chain : made)
                AddFacetOfCopies(chain.data(), static_cast<int>(chain.size()), list.GetFacetFlags(),
                                 list.GetFacetSurface());
        } else {
            linked.RemoveSelfIntersections(&out, this, true, 2, 0);
            AddFacets(&out);
        }
    }
    delete collected;
}

void G3Surface::AddFacets(GArrayCollection* lists)
{
    G3_CHECK_PASS(this, "AddFacets");
    if (!lists)
        return;
    for (int k = 0; k < lists->size(); ++k) {
        G3EdgeList* list = dynamic_cast<G3EdgeList*>(lists->get(k));
        if (!list)
            continue;
        AddFacet(list, list->GetFacetFlags(), list->GetFacetSurface());
        delete list;
    }
    lists->clear(false);
}

void G3Surface::AddFacetsEx(GArrayCollection* lists, G3Facet*, int) { AddFacets(lists); }

// ------------------------------------------------------------ builders

bool G3Surface::GetContour(GArrayCollection& out)
{
    G3_CHECK_PASS(this, "GetContour");
    if (!vertices || GetClosed())
        return false;
    RemoveEqualsVertexAndDivideEdges();

    auto isBoundary = [](const G3Edge* e) { return !e->GetFacet1() || !e->GetFacet2(); };

    G3Vertex* start = nullptr;
    G3Vertex* next = nullptr;
    for (int k = 0; k < vertices->size() && !start; ++k) {
        G3Vertex* v = static_cast<G3Vertex*>(vertices->get(k));
        for (G3Edge* e = v ? v->GetFirstEdge() : nullptr; e; e = e->GetVertexEdge(v)) {
            if (isBoundary(e)) {
                start = v;
                next = e->GetOtherVertex(v);
                break;
            }
        }
    }
    if (!start)
        return false;

    const int before = out.size();
    auto fail = [&]() {
        out.size(before);
        return false;
    };
    std::unordered_set<const GObj*> seen;
    for (int k = 0; k < before; ++k)
        seen.insert(out.get(k));
    out.add(start);
    seen.insert(start);
    G3Vertex* prev = start;
    G3Vertex* cur = next;
    while (cur != start) {
        if (!cur || seen.count(cur))
            return fail();
        out.add(cur);
        seen.insert(cur);
        next = nullptr;
        for (G3Edge* e = cur->GetFirstEdge(); e; e = e->GetVertexEdge(cur)) {
            if (isBoundary(e) && e->GetOtherVertex(cur) != prev) {
                next = e->GetOtherVertex(cur);
                break;
            }
        }
        // A vertex without a further boundary edge ends no loop.
        if (!next)
            return fail();
        prev = cur;
        cur = next;
    }

    // One simple loop uses every boundary edge of the surface.
    int boundaryEdges = 0;
    for (int k = 0; edges && k < edges->size(); ++k) {
        const G3Edge* e = static_cast<G3Edge*>(edges->get(k));
        if (e && (e->GetFacet1() || e->GetFacet2()) && isBoundary(e))
            ++boundaryEdges;
    }
    if (boundaryEdges != out.size() - before)
        return fail();
    return true;
}

int G3Surface::AddOneFacetFromVertices(G3Vertex* vertexArray, int count)
{
    G3_CHECK_PASS(this, "AddOneFacetFromVertices");
    if (!vertices || !vertexArray || count < 0)
        return vertices ? vertices->size() : 0;
    const int before = vertices->size();
    std::vector<int> ids;
    ids.reserve(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) {
        G3Vertex* v = AddVertex(vertexArray[k].GetXYZ(), 0);
        if (v)
            ids.push_back(static_cast<int>(v->GetId()));
    }
    if (count <= 2)
        return before;
    if (static_cast<int>(ids.size()) != count || !AddFacet(count, ids.data(), 1, nullptr, nullptr))
        return 0;
    return vertices->size();
}
