// Faces of a planar graph and the labels across their edges.
//
// Invariants: `out` lists every half-edge once, grouped by origin and sorted
// counter-clockwise within each group; next[h] is the half-edge before
// twin(h) in its origin's order, so `next` is a permutation and every face
// closes. The only geometric tests are the direction order around a vertex
// (by angle) and, for each part's reference value, which side of an edge of
// another part its lowest vertex lies on (the sign of one cross product).

#include "Geometry/contour/G3ContourFaces.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

constexpr double kTwoPi = 2.0 * 3.14159265358979323846;

int Find(std::vector<int>& parent, int v)
{
    while (parent[static_cast<std::size_t>(v)] != v) {
        int& p = parent[static_cast<std::size_t>(v)];
        p = parent[static_cast<std::size_t>(p)];
        v = p;
    }
    return v;
}

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
        const int a = Find(parent, e.a), b = Find(parent, e.b);
        if (a != b)
            parent[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
    }
    part.assign(static_cast<std::size_t>(n), -1);
    std::vector<int> rootPart(static_cast<std::size_t>(n), -1);
    for (int v = 0; v < n; ++v) {
        if (firstOut[static_cast<std::size_t>(v)] == firstOut[static_cast<std::size_t>(v) + 1])
            continue;
        int& p = rootPart[static_cast<std::size_t>(Find(parent, v))];
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

    // The edges by the x range they span, in vertical bands, for the ray
    // from each part's lowest vertex.
    double x0 = 0.0, x1 = 0.0;
    for (std::size_t e = 0; e < edges.size(); ++e)
        for (int v : {edges[e].a, edges[e].b}) {
            x0 = e == 0 ? X(v) : std::min(x0, X(v));
            x1 = e == 0 ? X(v) : std::max(x1, X(v));
        }
    const int bands = std::max(1, std::min(1024, static_cast<int>(std::sqrt(static_cast<double>(edges.size())))));
    const double scale = x1 > x0 ? bands / (x1 - x0) : 0.0;
    auto band = [&](double x) {
        const double q = (x - x0) * scale;
        return q <= 0.0 ? 0 : q >= bands - 1 ? bands - 1 : static_cast<int>(q);
    };
    std::vector<std::vector<int>> inBand(static_cast<std::size_t>(bands));
    for (std::size_t e = 0; e < edges.size(); ++e) {
        const int b0 = band(std::min(X(edges[e].a), X(edges[e].b)));
        const int b1 = band(std::max(X(edges[e].a), X(edges[e].b)));
        for (int b = b0; b <= b1; ++b)
            inBand[static_cast<std::size_t>(b)].push_back(static_cast<int>(e));
    }

    std::vector<int> queue;
    for (std::size_t p = 0; p < partLow.size(); ++p) {
        const int v = partLow[p];
        const double vx = X(v), vy = Y(v);
        // The ray runs down from just right of v: an edge counts when its x
        // range holds that line (one end at or left of vx, the other right).
        long long below = 0;
        for (int e : inBand[static_cast<std::size_t>(band(vx))]) {
            const Edge& ed = edges[static_cast<std::size_t>(e)];
            if (part[static_cast<std::size_t>(ed.a)] == static_cast<int>(p))
                continue;
            const double ax = X(ed.a), bx = X(ed.b);
            if ((ax > vx) == (bx > vx))
                continue;
            const int l = ax < bx ? ed.a : ed.b, r = ax < bx ? ed.b : ed.a;
            const double side = (X(r) - X(l)) * (vy - Y(l)) - (Y(r) - Y(l)) * (vx - X(l));
            if (side > 0.0)
                below += ax < bx ? delta[static_cast<std::size_t>(e)] : -delta[static_cast<std::size_t>(e)];
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
