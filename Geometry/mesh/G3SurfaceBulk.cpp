// Many facets at once by vertex ids (G3Surface::AddFacetsByIds).
//
// The surface ends exactly as AddFacet(n, ids, GetEdgeFlags(), null, null)
// called for each facet in turn leaves it: the same entities, made in the
// same order (a facet, then the edges it creates), with the same ids,
// links, flags and planes. What AddEdge decides for a side by walking the
// rings of its ends depends only on the edges already joining the side's
// two vertices, taken in the order they were made: a side takes the free
// second side of the first such edge whose first facet is another facet,
// and gets an edge of its own when that edge's first facet is its own
// facet or every such edge is full. So the sides are sorted once by vertex
// pair (in facet order within a pair) and those decisions made pair by
// pair on small integers; the entities are then made facet after facet
// without a ring walk, and the rings threaded at the end: a vertex's ring
// holds its edges in the order they were made, which a walk over the edge
// list from its end, prepending, gives in one pass.
//
// The sorted path needs a surface without edges (its vertices' rings are
// empty, so no earlier edge can join a pair) and no provider watching
// entities come and go (the providers would see edges before their rings
// are threaded), and takes only facets that AddFacet would take whole: at
// least three corners, no corner repeating the one before it (the last
// against the first too), at least three distinct vertices. Anything else
// is built by the per-facet loop itself. Nothing is rounded here; the
// planes are formed by FormPlaneEquation as AddFacet forms them.

#include "Geometry/mesh/G3Surface.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GPrefetch.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3PassCheck.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

namespace {

// A side that makes its edge carries this bit beside the edge's number.
constexpr std::uint32_t kMakes = 0x80000000u;

// Whether the sorted path takes the facets: every facet as AddFacet takes
// it whole, every id a vertex, fewer sides than the marks can number.
bool FacetsFitSortedPath(int count, const std::uint32_t* starts, const std::uint32_t* ids, int vertexCount)
{
    if (starts[0] != 0 || starts[count] >= kMakes)
        return false;
    for (int f = 0; f < count; ++f) {
        const std::uint32_t b = starts[f], e = starts[f + 1];
        if (e < b || e - b < 3)
            return false;
        bool third = false;
        for (std::uint32_t k = b; k < e; ++k) {
            const std::uint32_t v = ids[k];
            if (v >= static_cast<std::uint32_t>(vertexCount) || v == ids[k + 1 < e ? k + 1 : b])
                return false;
            third = third || (v != ids[b] && v != ids[b + 1]);
        }
        if (!third)
            return false;
    }
    return true;
}

// For every side (corner k of a facet running to the facet's next corner)
// the edge it lands on: kMakes | the edge's number for the side that makes
// it, the number alone for one that takes the second side of an earlier
// edge. Edges are numbered in the order the sides making them come.
std::vector<std::uint32_t> EdgeOfSides(int count, const std::uint32_t* starts, const std::uint32_t* ids,
                                       int vertexCount)
{
    const std::size_t sides = static_cast<std::size_t>(starts[count]);
    // A side's facet: its number over three when every facet is a
    // triangle (a soup's usual case, which needs no table), else a table.
    const bool triangles = sides == 3 * static_cast<std::size_t>(count) &&
                           std::adjacent_find(starts, starts + count + 1, [](std::uint32_t a, std::uint32_t b) {
                               return b - a != 3;
                           }) == starts + count + 1;
    std::vector<std::uint32_t> facetOf(triangles ? 0 : sides);
    for (int f = 0; f < count && !triangles; ++f)
        std::fill(facetOf.begin() + starts[f], facetOf.begin() + starts[f + 1], static_cast<std::uint32_t>(f));
    // Each side's two vertices, smaller first, facet after facet.
    auto eachSide = [&](auto take) {
        for (int f = 0; f < count; ++f) {
            const std::uint32_t b = starts[f], e = starts[f + 1];
            for (std::uint32_t s = b; s < e; ++s) {
                const std::uint32_t u = ids[s], w = ids[s + 1 < e ? s + 1 : b];
                take(s, std::min(u, w), std::max(u, w));
            }
        }
    };
    // The sides by their smaller vertex (a counting sort), each with its
    // larger vertex above its number; then each vertex's few sides sorted,
    // which puts a pair's sides together in side order.
    std::vector<std::uint32_t> bucket(static_cast<std::size_t>(vertexCount) + 1, 0);
    eachSide([&](std::uint32_t, std::uint32_t lo, std::uint32_t) { ++bucket[lo + 1]; });
    for (int v = 0; v < vertexCount; ++v)
        bucket[v + 1] += bucket[v];
    std::vector<std::uint64_t> keyed(sides);
    {
        std::vector<std::uint32_t> fill(bucket.begin(), bucket.end() - 1);
        eachSide([&](std::uint32_t s, std::uint32_t lo, std::uint32_t hi) {
            keyed[fill[lo]++] = static_cast<std::uint64_t>(hi) << 32 | s;
        });
    }
    // Per pair, AddEdge's decisions on the pair's edges (each named by the
    // side that made it): the side's edge's maker goes into edgeOf.
    std::vector<std::uint32_t> edgeOf(sides);
    struct PairEdge {
        std::uint32_t maker, first, second; // second: facet + 1, 0 while free
    };
    std::vector<PairEdge> pair;
    for (int v = 0; v < vertexCount; ++v) {
        const std::uint32_t b = bucket[v], e = bucket[v + 1];
        std::sort(keyed.begin() + b, keyed.begin() + e);
        for (std::uint32_t i = b; i < e;) {
            std::uint32_t j = i;
            pair.clear();
            for (; j < e && keyed[j] >> 32 == keyed[i] >> 32; ++j) {
                const std::uint32_t s = static_cast<std::uint32_t>(keyed[j]);
                const std::uint32_t f = triangles ? s / 3 : facetOf[s];
                std::uint32_t onto = s;
                for (PairEdge& p : pair) {
                    if (p.second)
                        continue; // full: the walk goes on
                    if (p.first != f) {
                        p.second = f + 1;
                        onto = p.maker;
                    }
                    break; // its own facet holds the free side: a new edge
                }
                if (onto == s)
                    pair.push_back(PairEdge{s, f, 0});
                edgeOf[s] = onto;
            }
            i = j;
        }
    }
    // Makers before takers: one walk in side order numbers the edges.
    std::uint32_t made = 0;
    for (std::uint32_t s = 0; s < sides; ++s)
        edgeOf[s] = edgeOf[s] == s ? (kMakes | made++) : (edgeOf[edgeOf[s]] & ~kMakes);
    return edgeOf;
}

} // namespace

int G3Surface::AddFacetsByIds(int count, const std::uint32_t* starts, const std::uint32_t* ids, G3Facet** made)
{
    if (count <= 0 || !starts || !ids)
        return 0;
    G3_CHECK_PASS(this, "AddFacetsByIds");
    const int vertexCount = GetVertexCount();
    bool sorted = facets && edges && GetEdgeCount() == 0 && !GetExDataProvider() &&
                  G3Obj::GetProviderList()->size() == 0 && FacetsFitSortedPath(count, starts, ids, vertexCount);
    for (int i = 0; sorted && i < vertexCount; ++i)
        sorted = !GetVertex(i)->HasEdges();
    int added = 0;
    if (!sorted) {
        const int flags = GetEdgeFlags();
        std::vector<int> corners;
        for (int f = 0; f < count; ++f) {
            // A corner beyond the int range names no vertex: AddFacet
            // refuses it as -1.
            corners.clear();
            for (std::uint32_t k = starts[f]; k < starts[f + 1]; ++k)
                corners.push_back(ids[k] > static_cast<std::uint32_t>(INT_MAX) ? -1 : static_cast<int>(ids[k]));
            G3Facet* facet =
                corners.size() > static_cast<std::size_t>(INT_MAX)
                    ? nullptr
                    : AddFacet(static_cast<int>(corners.size()), corners.data(), flags, nullptr, nullptr);
            added += facet != nullptr;
            if (made)
                made[f] = facet;
        }
        return added;
    }
    std::vector<std::uint32_t> edgeOf = EdgeOfSides(count, starts, ids, vertexCount);
    const long flags = static_cast<long>(static_cast<unsigned int>(edgeFlags));
    GArrayCollection* complex = dynamic_cast<GArrayCollection*>(exData);
    // The edges taken and the corners' vertices lie anywhere in memory, and
    // so do their places in the lists: the places are asked for 2 * kAhead
    // sides ahead, the entities (read from their places) kAhead sides
    // ahead, so that the misses overlap.
    constexpr std::uint32_t kAhead = 24;
    const std::uint32_t sides = starts[count];
    for (int f = 0; f < count; ++f) {
        const std::uint32_t b = starts[f], e = starts[f + 1];
        GObj* const* edgeAt = edges->toArray();
        GObj* const* vertexAt = vertices->toArray();
        const std::uint32_t listed = static_cast<std::uint32_t>(edges->size());
        for (std::uint32_t k = b + 2 * kAhead; k < e + 2 * kAhead && k < sides; ++k) {
            const std::uint32_t at = edgeOf[k];
            if (!(at & kMakes) && at < listed)
                GPrefetch(edgeAt + at);
            GPrefetch(vertexAt + ids[k]);
        }
        for (std::uint32_t k = b + kAhead; k < e + kAhead && k < sides; ++k) {
            const std::uint32_t at = edgeOf[k];
            if (!(at & kMakes) && at < listed)
                static_cast<const G3Edge*>(edgeAt[at])->PrefetchLinks();
            GPrefetch(static_cast<const G3Vertex*>(vertexAt[ids[k]])->GetXYZ());
        }
        G3Facet* facet = new G3Facet();
        facet->SetSurface(surface);
        for (std::uint32_t k = b; k < e; ++k) {
            const std::uint32_t at = edgeOf[k];
            G3Edge* edge;
            if (at & kMakes) {
                G3Vertex* start = GetVertex(static_cast<int>(ids[k]));
                edge = new G3Edge(start, GetVertex(static_cast<int>(ids[k + 1 < e ? k + 1 : b])));
                edge->SetFacet1(facet);
                edge->SetFlags(flags);
                AddEdgeToCollection(edge);
            } else {
                // Its flags are already this call's flags.
                edge = GetEdge(static_cast<int>(at));
                edge->SetFacet2(facet);
            }
            facet->AddEdge(edge);
        }
        AddFacetToCollection(facet);
        facet->FormPlaneEquation();
        if (complex)
            complex->add(facet);
        ++added;
        if (made)
            made[f] = facet;
    }
    std::vector<std::uint32_t>().swap(edgeOf);
    // Each ring in the order its edges were made: prepend walking the edge
    // list backwards (a vertex's first edge met is its last).
    for (int i = GetEdgeCount() - 1; i >= 0; --i) {
        G3Edge* edge = GetEdge(i);
        G3Vertex* ends[2] = {edge->GetVertex1(), edge->GetVertex2()};
        for (G3Vertex* v : ends) {
            if (!v->GetLastEdge())
                v->SetLastEdge(edge);
            edge->SetVertexEdge(v, v->GetFirstEdge());
            v->SetFirstEdge(edge);
        }
    }
    return added;
}
