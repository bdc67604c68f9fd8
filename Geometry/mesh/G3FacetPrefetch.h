#pragma once
// A pass that walks every facet of a list in order reads, for each facet,
// edges and vertices that lie anywhere in memory, one cache miss after
// another: on a large mesh the misses are what the walk costs. Called at
// facet i, G3PrefetchFacetWalk asks for what the walks a little ahead
// will read, in steps that each read only what an earlier step fetched:
// the facet 3 * kAhead places on, the first and last edges of the one
// 2 * kAhead on, and for the one kAhead on the edge after its first and
// the ends of its first and last edges (for a triangle, every edge and
// vertex its walk reads). Only hints: what the walk reads is unchanged,
// and a list that changes under the walk (a removal moves the last facet
// into the gap) only makes some hints useless.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Vertex.h"

// The id and coordinates of both ends of e.
inline void G3PrefetchEnds(const G3Edge* e)
{
    const G3Vertex* a = e->GetVertex1();
    const G3Vertex* b = e->GetVertex2();
    if (a) {
        GPrefetch(a);
        GPrefetch(a->GetXYZ());
    }
    if (b) {
        GPrefetch(b);
        GPrefetch(b->GetXYZ());
    }
}

inline void G3PrefetchFacetWalk(const GArrayCollection* list, int i)
{
    constexpr int kAhead = 8;
    const int n = list->size();
    if (i + 3 * kAhead < n)
        static_cast<const G3Facet*>(list->get(i + 3 * kAhead))->PrefetchChainEnds();
    if (i + 2 * kAhead < n) {
        const G3Facet* f = static_cast<const G3Facet*>(list->get(i + 2 * kAhead));
        for (const G3Edge* e : {f->GetFirstEdge(), f->GetLastEdge()})
            if (e)
                e->PrefetchLinks();
    }
    if (i + kAhead < n) {
        const G3Facet* f = static_cast<const G3Facet*>(list->get(i + kAhead));
        const G3Edge* first = f->GetFirstEdge();
        const G3Edge* last = f->GetLastEdge();
        if (first && first->GetFacetEdge(f))
            first->GetFacetEdge(f)->PrefetchLinks();
        if (first)
            G3PrefetchEnds(first);
        if (last)
            G3PrefetchEnds(last);
    }
}
