// Faces of a planar graph and the labels across their edges.
//
// Invariants: `out` lists every half-edge once, grouped by origin and sorted
// counter-clockwise within each group; next[h] is the half-edge before
// twin(h) in its origin's order, so `next` is a permutation and every face
// closes. Parts are labelled in order of their lowest vertex, so the face
// above the edge met first below that vertex is known when it is read. The
// only geometric tests are the direction order around a vertex (by angle)
// and, for each part's reference value, which side of an edge of another
// part its lowest vertex lies on (the sign of one cross product) and which
// such edge lies highest at its abscissa (an interpolated height, the one
// rounding, ties by slope).

#include "Geometry/contour/G3ContourFaces.h"

#include "Geometry/foundation/GDisjointSets.h"
#include "Geometry/mesh/G3PointHash.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

constexpr double kTwoPi = 2.0 * 3.14159265358979323846;

} // namespace

G3ContourFaces::G3ContourFaces(const std::vector<double>& points, const std::vector<Edge>& edgeList)
    : xy(points), edges(edgeList)
{
    SortAround();
    const std::size_t halves = 2 * edges.size();
    next.assign(halves, -1);
    for (std::size_t h = 0; h < halves; ++h) {
        const int twin = static_cast<int>(h ^ 1);
        const int v = GetFrom(twin);
        const int begin = firstOut[static_cast<std::size_t>(v)];
        const int count = firstOut[static_cast<std::size_t>(v) + 1] - begin;
        const int at = slot[static_cast<std::size_t>(twin)];
        next[h] = out[static_cast<std::size_t>(begin + (at + count - 1) % count)];
    }
    face.assign(halves, -1);
    for (std::size_t h = 0; h < halves; ++h) {
        if (face[h] >= 0)
            continue;
        for (int g = static_cast<int>(h); face[static_cast<std::size_t>(g)] < 0; g = next[static_cast<std::size_t>(g)])
            face[static_cast<std::size_t>(g)] = faceCount;
        ++faceCount;
    }
    FindParts();
    FindBelow();
}

int G3ContourFaces::GetFrom(int h) const
{
    const Edge& e = edges[static_cast<std::size_t>(h >> 1)];
    return (h & 1) ? e.b : e.a;
}

void G3ContourFaces::SortAround()
{
    const std::size_t n = xy.size() / 2;
    firstOut.assign(n + 1, 0);
    for (const Edge& e : edges) {
        ++firstOut[static_cast<std::size_t>(e.a) + 1];
        ++firstOut[static_cast<std::size_t>(e.b) + 1];
    }
    std::partial_sum(firstOut.begin(), firstOut.end(), firstOut.begin());
    out.assign(2 * edges.size(), 0);
    std::vector<int> fill(firstOut.begin(), firstOut.end() - 1);
    for (std::size_t h = 0; h < 2 * edges.size(); ++h)
        out[static_cast<std::size_t>(fill[static_cast<std::size_t>(GetFrom(static_cast<int>(h)))]++)] =
            static_cast<int>(h);
    // Directions as angles in [0, 2 pi): one key per half-edge gives a total
    // order, ties broken by index.
    std::vector<double> angle(2 * edges.size(), 0.0);
    for (std::size_t h = 0; h < angle.size(); ++h) {
        const int from = GetFrom(static_cast<int>(h)), to = GetTo(static_cast<int>(h));
        const double a = std::atan2(Y(to) - Y(from), X(to) - X(from));
        angle[h] = a < 0.0 ? a + kTwoPi : a;
    }
    slot.assign(2 * edges.size(), 0);
    for (std::size_t v = 0; v < n; ++v) {
        const auto begin = out.begin() + firstOut[v];
        const auto end = out.begin() + firstOut[v + 1];
        std::sort(begin, end, [&angle](int p, int q) {
            const double ap = angle[static_cast<std::size_t>(p)], aq = angle[static_cast<std::size_t>(q)];
            return ap != aq ? ap < aq : p < q;
        });
        for (auto it = begin; it != end; ++it)
            slot[static_cast<std::size_t>(*it)] = static_cast<int>(it - begin);
    }
}

void G3ContourFaces::FindParts()
{
    const int n = static_cast<int>(xy.size() / 2);
    std::vector<int> parent(static_cast<std::size_t>(n));
    std::iota(parent.begin(), parent.end(), 0);
    for (const Edge& e : edges) {
        const int a = GRootOf(parent, e.a), b = GRootOf(parent, e.b);
        if (a != b)
            parent[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
    }
    part.assign(static_cast<std::size_t>(n), -1);
    std::vector<int> rootPart(static_cast<std::size_t>(n), -1);
    for (int v = 0; v < n; ++v) {
        if (firstOut[static_cast<std::size_t>(v)] == firstOut[static_cast<std::size_t>(v) + 1])
            continue;
        int& p = rootPart[static_cast<std::size_t>(GRootOf(parent, v))];
        if (p < 0) {
            p = static_cast<int>(partLow.size());
            partLow.push_back(v);
        }
        part[static_cast<std::size_t>(v)] = p;
        const int low = partLow[static_cast<std::size_t>(p)];
        if (Y(v) < Y(low) || (Y(v) == Y(low) && X(v) < X(low)))
            partLow[static_cast<std::size_t>(p)] = v;
    }
}

namespace {

// The graph's edges in a grid of about two per cell; an edge whose box
// meets too many cells is kept apart and met by every question. The grid
// covers the bulk of the edges' ends (G3PointHash::BulkBox): a contour far
// off would stretch its cells over all the others. Ends outside fall into
// the border cells, which keeps Cell monotone.
class EdgeGrid {
public:
    EdgeGrid(const std::vector<double>& xy, const std::vector<G3ContourFaces::Edge>& edges) : xy(xy), edges(edges)
    {
        const std::size_t m = edges.size();
        std::vector<double> ends;
        ends.reserve(6 * m);
        for (std::size_t e = 0; e < m; ++e)
            for (int v : {edges[e].a, edges[e].b})
                ends.insert(ends.end(), {X(v), Y(v), 0.0});
        double bulkLo[3], bulkHi[3];
        G3PointHash::BulkBox(ends, bulkLo, bulkHi);
        for (int a = 0; a < 2; ++a)
            lo[a] = bulkLo[a], hi[a] = bulkHi[a];
        side = std::max(1, std::min(2048, static_cast<int>(std::sqrt(static_cast<double>(m) / 2.0))));
        for (int a = 0; a < 2; ++a)
            scale[a] = hi[a] > lo[a] ? side / (hi[a] - lo[a]) : 0.0;
        first.assign(static_cast<std::size_t>(side) * static_cast<std::size_t>(side) + 1, 0);
        // Two passes: count, then fill; an edge over more cells than the
        // budget allows goes apart.
        long budget = 8 * static_cast<long>(m) + 64;
        std::vector<char> apart(m, 0);
        for (std::size_t e = 0; e < m; ++e) {
            const long cells = static_cast<long>(Cell(0, MaxX(e)) - Cell(0, MinX(e)) + 1) *
                               (Cell(1, MaxY(e)) - Cell(1, MinY(e)) + 1);
            if (cells > 64 && cells > budget / 8) {
                apart[e] = 1;
                wide.push_back(static_cast<int>(e));
                continue;
            }
            budget -= cells;
            ForCells(e, [&](std::size_t c) { ++first[c + 1]; });
        }
        for (std::size_t c = 1; c < first.size(); ++c)
            first[c] += first[c - 1];
        entries.assign(static_cast<std::size_t>(first.back()), 0);
        std::vector<int> fill(first.begin(), first.end() - 1);
        for (std::size_t e = 0; e < m; ++e)
            if (!apart[e])
                ForCells(e, [&](std::size_t c) { entries[static_cast<std::size_t>(fill[c]++)] = static_cast<int>(e); });
    }

    // The edge met first going down from v just right of it, among those
    // for which `counts` holds; -1 when there is none. An edge is met where
    // its height at v's abscissa, held within its own box and below v, is
    // greatest; of edges met at one height, the one rising more steeply.
    template <class Counts>
    int Below(int v, Counts counts) const
    {
        const double vx = X(v), vy = Y(v);
        int best = -1;
        double bestY = 0.0;
        auto consider = [&](int e) {
            if (!counts(e))
                return;
            const double y = HeightAt(e, vx, vy);
            if (best < 0 || y > bestY || (y == bestY && Steeper(e, best))) {
                best = e;
                bestY = y;
            }
        };
        for (int e : wide)
            consider(e);
        const std::size_t column = static_cast<std::size_t>(Cell(0, vx));
        for (int row = Cell(1, vy); row >= 0; --row) {
            const std::size_t c = static_cast<std::size_t>(row) * static_cast<std::size_t>(side) + column;
            for (int k = first[c]; k < first[c + 1]; ++k)
                consider(entries[static_cast<std::size_t>(k)]);
            // Every edge met higher than the best lies in a row scanned.
            if (best >= 0 && Cell(1, bestY) >= row)
                break;
        }
        return best;
    }

private:
    double X(int v) const { return xy[2 * static_cast<std::size_t>(v)]; }
    double Y(int v) const { return xy[2 * static_cast<std::size_t>(v) + 1]; }
    const G3ContourFaces::Edge& E(std::size_t e) const { return edges[e]; }
    double MinX(std::size_t e) const { return std::min(X(E(e).a), X(E(e).b)); }
    double MaxX(std::size_t e) const { return std::max(X(E(e).a), X(E(e).b)); }
    double MinY(std::size_t e) const { return std::min(Y(E(e).a), Y(E(e).b)); }
    double MaxY(std::size_t e) const { return std::max(Y(E(e).a), Y(E(e).b)); }
    // The edge's height at x (within its x range), held within its y range
    // and at most cap.
    double HeightAt(int e, double x, double cap) const
    {
        const G3ContourFaces::Edge& ed = E(static_cast<std::size_t>(e));
        const int l = X(ed.a) < X(ed.b) ? ed.a : ed.b, r = X(ed.a) < X(ed.b) ? ed.b : ed.a;
        const double t = X(r) > X(l) ? (x - X(l)) / (X(r) - X(l)) : 0.0;
        const double y = Y(l) + (Y(r) - Y(l)) * t;
        const std::size_t k = static_cast<std::size_t>(e);
        return std::min(cap, std::max(MinY(k), std::min(MaxY(k), y)));
    }
    // Whether edge e rises more steeply (left to right) than edge f.
    bool Steeper(int e, int f) const
    {
        auto run = [&](int g, double& dx, double& dy) {
            const G3ContourFaces::Edge& ed = E(static_cast<std::size_t>(g));
            const int l = X(ed.a) < X(ed.b) ? ed.a : ed.b, r = X(ed.a) < X(ed.b) ? ed.b : ed.a;
            dx = X(r) - X(l);
            dy = Y(r) - Y(l);
        };
        double ex, ey, fx, fy;
        run(e, ex, ey);
        run(f, fx, fy);
        return ey * fx > fy * ex;
    }
    template <class F>
    void ForCells(std::size_t e, F f) const
    {
        const int x0 = Cell(0, MinX(e)), x1 = Cell(0, MaxX(e));
        const int y0 = Cell(1, MinY(e)), y1 = Cell(1, MaxY(e));
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                f(static_cast<std::size_t>(y) * static_cast<std::size_t>(side) + static_cast<std::size_t>(x));
    }
    // Monotone in the coordinate, so a point within an edge's box shares
    // one of its cells.
    int Cell(int a, double x) const
    {
        const double q = (x - lo[a]) * scale[a];
        return !(q > 0.0) ? 0 : q >= side - 1 ? side - 1 : static_cast<int>(q);
    }

    const std::vector<double>& xy;
    const std::vector<G3ContourFaces::Edge>& edges;
    double lo[2] = {0.0, 0.0};
    double hi[2] = {0.0, 0.0};
    double scale[2] = {0.0, 0.0};
    int side = 1;
    std::vector<int> first;
    std::vector<int> entries;
    std::vector<int> wide;
};

} // namespace

bool G3ContourFaces::CountsBelow(int e, int v) const
{
    const Edge& ed = edges[static_cast<std::size_t>(e)];
    if (part[static_cast<std::size_t>(ed.a)] == part[static_cast<std::size_t>(v)])
        return false;
    const double vx = X(v), vy = Y(v);
    const double ax = X(ed.a), bx = X(ed.b);
    if ((ax > vx) == (bx > vx))
        return false;
    const int l = ax < bx ? ed.a : ed.b, r = ax < bx ? ed.b : ed.a;
    return (X(r) - X(l)) * (vy - Y(l)) - (Y(r) - Y(l)) * (vx - X(l)) > 0.0;
}

void G3ContourFaces::FindBelow()
{
    const std::size_t parts = partLow.size();
    partOrder.resize(parts);
    std::iota(partOrder.begin(), partOrder.end(), 0);
    std::sort(partOrder.begin(), partOrder.end(), [this](int p, int q) {
        const int v = partLow[static_cast<std::size_t>(p)], w = partLow[static_cast<std::size_t>(q)];
        if (Y(v) != Y(w))
            return Y(v) < Y(w);
        if (X(v) != X(w))
            return X(v) < X(w);
        return p < q;
    });
    std::vector<int> rank(parts, 0);
    for (std::size_t k = 0; k < parts; ++k)
        rank[static_cast<std::size_t>(partOrder[k])] = static_cast<int>(k);
    partBelow.assign(parts, -1);
    if (parts < 2)
        return;
    const EdgeGrid grid(xy, edges);
    for (std::size_t p = 0; p < parts; ++p) {
        const int v = partLow[p];
        const int e = grid.Below(v, [this, v](int f) { return CountsBelow(f, v); });
        if (e < 0)
            continue;
        // The face above e is labelled first when e's part comes first;
        // otherwise (a vertex within rounding of another part's edge) the
        // ray's crossings are summed one by one.
        const int q = part[static_cast<std::size_t>(edges[static_cast<std::size_t>(e)].a)];
        partBelow[p] = rank[static_cast<std::size_t>(q)] < rank[p] ? e : -2;
    }
}

std::vector<long long> G3ContourFaces::Label(const std::vector<int>& delta) const
{
    std::vector<long long> value(static_cast<std::size_t>(faceCount), 0);
    std::vector<char> known(static_cast<std::size_t>(faceCount), 0);
    // Half-edges grouped by face, for the walk across edges.
    std::vector<int> byFace(2 * edges.size());
    std::iota(byFace.begin(), byFace.end(), 0);
    std::stable_sort(byFace.begin(), byFace.end(),
                     [this](int p, int q) { return face[static_cast<std::size_t>(p)] < face[static_cast<std::size_t>(q)]; });
    std::vector<int> faceStart(static_cast<std::size_t>(faceCount) + 1, 0);
    for (int h : byFace)
        ++faceStart[static_cast<std::size_t>(face[static_cast<std::size_t>(h)]) + 1];
    std::partial_sum(faceStart.begin(), faceStart.end(), faceStart.begin());

    std::vector<int> queue;
    for (const int p : partOrder) {
        const int v = partLow[static_cast<std::size_t>(p)];
        const int under = partBelow[static_cast<std::size_t>(p)];
        long long below = 0;
        if (under >= 0) {
            // The face above the edge met first below v holds v: the edge's
            // half-edge running left to right has it on its left.
            const Edge& ed = edges[static_cast<std::size_t>(under)];
            const int h = X(ed.a) < X(ed.b) ? 2 * under : 2 * under + 1;
            below = value[static_cast<std::size_t>(face[static_cast<std::size_t>(h)])];
        } else if (under == -2) {
            // The ray runs down from just right of v: each edge it crosses
            // adds its delta, taken left to right.
            for (std::size_t e = 0; e < edges.size(); ++e)
                if (CountsBelow(static_cast<int>(e), v))
                    below += X(edges[e].a) < X(edges[e].b) ? delta[e] : -delta[e];
        }
        // The part's outer face lies left of the edge leaving v turned
        // furthest counter-clockwise (all of v's edges point up or right).
        const int last = out[static_cast<std::size_t>(firstOut[static_cast<std::size_t>(v) + 1] - 1)];
        const int outer = face[static_cast<std::size_t>(last)];
        if (known[static_cast<std::size_t>(outer)])
            continue;
        known[static_cast<std::size_t>(outer)] = 1;
        value[static_cast<std::size_t>(outer)] = below;
        queue.assign(1, outer);
        while (!queue.empty()) {
            const int f = queue.back();
            queue.pop_back();
            for (int k = faceStart[static_cast<std::size_t>(f)]; k < faceStart[static_cast<std::size_t>(f) + 1]; ++k) {
                const int h = byFace[static_cast<std::size_t>(k)];
                const int g = face[static_cast<std::size_t>(h ^ 1)];
                if (known[static_cast<std::size_t>(g)])
                    continue;
                const long long d = delta[static_cast<std::size_t>(h >> 1)];
                // f is left of h; g is left of its twin, right of h.
                value[static_cast<std::size_t>(g)] = value[static_cast<std::size_t>(f)] + ((h & 1) ? d : -d);
                known[static_cast<std::size_t>(g)] = 1;
                queue.push_back(g);
            }
        }
    }
    return value;
}

bool G3ContourFaces::Loops(const std::vector<char>& keep, std::vector<std::vector<int>>& loops) const
{
    loops.clear();
    const std::size_t halves = 2 * edges.size();
    std::vector<char> used(halves, 0);
    // The kept half-edge after h: turn clockwise from the way back until one
    // is kept (at most once round).
    auto following = [&](int h) {
        const int twin = h ^ 1;
        const int v = GetFrom(twin);
        const int begin = firstOut[static_cast<std::size_t>(v)];
        const int count = firstOut[static_cast<std::size_t>(v) + 1] - begin;
        const int at = slot[static_cast<std::size_t>(twin)];
        for (int k = 1; k <= count; ++k) {
            const int g = out[static_cast<std::size_t>(begin + ((at - k) % count + count) % count)];
            if (keep[static_cast<std::size_t>(g)])
                return g;
        }
        return -1;
    };
    for (std::size_t start = 0; start < halves; ++start) {
        if (!keep[start] || used[start])
            continue;
        std::vector<int> loop;
        int h = static_cast<int>(start);
        do {
            if (h < 0 || used[static_cast<std::size_t>(h)])
                return false;
            used[static_cast<std::size_t>(h)] = 1;
            loop.push_back(h);
            h = following(h);
        } while (h != static_cast<int>(start));
        loops.push_back(std::move(loop));
    }
    return true;
}

std::vector<char> G3ContourFaces::EvenOddLeftInside(const std::vector<double>& points, const std::vector<Edge>& list)
{
    // Only the region's own vertices: the faces cost what its edges cost.
    std::vector<int> local(points.size() / 2, -1);
    std::vector<double> own;
    std::vector<Edge> ownEdges;
    ownEdges.reserve(list.size());
    for (const Edge& e : list) {
        Edge m{0, 0};
        for (int end = 0; end < 2; ++end) {
            const int v = end ? e.b : e.a;
            int& l = local[static_cast<std::size_t>(v)];
            if (l < 0) {
                l = static_cast<int>(own.size() / 2);
                own.push_back(points[2 * static_cast<std::size_t>(v)]);
                own.push_back(points[2 * static_cast<std::size_t>(v) + 1]);
            }
            (end ? m.b : m.a) = l;
        }
        ownEdges.push_back(m);
    }
    const G3ContourFaces faces(own, ownEdges);
    // Every edge is a border: the count of borders crossed, taken odd or
    // even, is the side.
    const std::vector<long long> parity = faces.Label(std::vector<int>(ownEdges.size(), 1));
    std::vector<char> left(list.size(), 0);
    for (std::size_t e = 0; e < list.size(); ++e)
        left[e] = static_cast<char>(parity[static_cast<std::size_t>(faces.GetFace(static_cast<int>(2 * e)))] & 1);
    return left;
}
