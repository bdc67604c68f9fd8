// A polygon's triangles from the constrained Delaunay triangulation of its
// points with its sides forced in: O(n log n) however the sides interleave.
//
// Invariants: every point is a node (none merged), every side is one edge
// of the triangulation, and the triangles kept are those the sides enclose
// an odd number of times, found by walking across edges from the hull with
// a parity that each crossed edge toggles once per side lying on it.
// Anything else (points closer than the engine's merge distance, a side
// through a point or across another side) declines the polygon, so the
// caller's general road decides it. Nothing is rounded here: corners are the
// given points, and the engine's predicates decide every orientation.

#include "Geometry/terrain/G3PolygonCDT.h"

#include "Geometry/terrain/triangulation/G3TriEngine.h"

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

std::uint64_t EdgeKey(int a, int b)
{
    if (a > b)
        std::swap(a, b);
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(a)) << 32) | static_cast<std::uint32_t>(b);
}

} // namespace

bool G3TriangulatePolygonCDT(const G3PlanarPolygon& polygon, std::vector<int>& triangles)
{
    triangles.clear();
    const int points = static_cast<int>(polygon.xy.size() / 2);
    const std::size_t sides = polygon.segments.size() / 2;
    if (points < 3 || sides < 3)
        return false;

    g3tri::G3TriEngine engine;
    std::vector<G3TVertex*> vertex(static_cast<std::size_t>(points));
    for (int p = 0; p < points; ++p)
        vertex[static_cast<std::size_t>(p)] = engine.NewVertex(polygon.xy[2 * p], polygon.xy[2 * p + 1]);
    engine.Triangulate();
    if (engine.GetMergedCount() != 0 || engine.GetPlacedCount() != points || engine.GetTriangleCount() < 1)
        return false;

    // How many sides lie on each edge; a side must become exactly one edge.
    std::unordered_map<std::uint64_t, int> cover;
    cover.reserve(sides);
    engine.ReserveConstraints(static_cast<int>(sides));
    for (std::size_t k = 0; k < sides; ++k) {
        const int a = polygon.segments[2 * k];
        const int b = polygon.segments[2 * k + 1];
        if (a < 0 || b < 0 || a >= points || b >= points || a == b)
            return false;
        G3TVertex* va = vertex[static_cast<std::size_t>(a)];
        G3TVertex* vb = vertex[static_cast<std::size_t>(b)];
        if (!engine.InsertConstraint(va, vb, nullptr) || !engine.HasEdge(va, vb))
            return false;
        ++cover[EdgeKey(a, b)];
    }

    // Node i stands for vertex Node::vertex, which is point i's index.
    const int count = engine.GetTriangleCount();
    auto toggles = [&](int t, int k) {
        const g3tri::Tri& tri = engine.GetTri(t);
        const int a = engine.GetNode(tri.v[(k + 1) % 3]).vertex;
        const int b = engine.GetNode(tri.v[(k + 2) % 3]).vertex;
        const auto it = cover.find(EdgeKey(a, b));
        return it != cover.end() && (it->second & 1) != 0;
    };
    // Parity of each triangle: -1 unknown, else how often the sides enclose
    // it, mod 2. Triangles on the hull are reached from the outside first.
    std::vector<signed char> parity(static_cast<std::size_t>(count), -1);
    std::vector<int> queue;
    queue.reserve(static_cast<std::size_t>(count));
    for (int t = 0; t < count; ++t) {
        const g3tri::Tri& tri = engine.GetTri(t);
        for (int k = 0; k < 3 && parity[static_cast<std::size_t>(t)] < 0; ++k) {
            if (tri.n[k] < 0) {
                parity[static_cast<std::size_t>(t)] = toggles(t, k) ? 1 : 0;
                queue.push_back(t);
            }
        }
    }
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const int t = queue[head];
        const g3tri::Tri& tri = engine.GetTri(t);
        for (int k = 0; k < 3; ++k) {
            const int u = tri.n[k] < 0 ? -1 : tri.n[k] >> 2;
            if (u < 0 || parity[static_cast<std::size_t>(u)] >= 0)
                continue;
            parity[static_cast<std::size_t>(u)] =
                static_cast<signed char>(parity[static_cast<std::size_t>(t)] ^ (toggles(t, k) ? 1 : 0));
            queue.push_back(u);
        }
    }

    for (int t = 0; t < count; ++t) {
        if (parity[static_cast<std::size_t>(t)] != 1)
            continue;
        const g3tri::Tri& tri = engine.GetTri(t);
        for (int c = 0; c < 3; ++c)
            triangles.push_back(engine.GetNode(tri.v[c]).vertex);
    }
    return !triangles.empty();
}

namespace {
// Processing triangulates long facets through this engine from the moment
// the library is loaded.
[[maybe_unused]] const bool registered = (G3SetPolygonTriangulator(&G3TriangulatePolygonCDT), true);
} // namespace
