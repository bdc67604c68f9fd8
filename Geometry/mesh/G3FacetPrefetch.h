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

inline void G3PrefetchFacetWalk(const GArrayCollection* list, int i)
{
    constexpr int kAhead = 8;
    const int n = list->size();
    if (i + 3 * kAhead < n)
        __builtin_prefetch(list->get(i + 3 * kAhead));
    if (i + 2 * kAhead < n) {
        const G3Facet* f = static_cast<const G3Facet*>(list->get(i + 2 * kAhead));
        __builtin_prefetch(f->GetFirstEdge());
        __builtin_prefetch(f->GetLastEdge());
    }
    if (i + kAhead < n) {
        const G3Facet* f = static_cast<const G3Facet*>(list->get(i + kAhead));
        const G3Edge* ends[2] = {f->GetFirstEdge(), f->GetLastEdge()};
        if (ends[0])
            __builtin_prefetch(ends[0]->GetFacetEdge(f));
        for (const G3Edge* e : ends)
            for (const G3Vertex* v : {e ? e->GetVertex1() : nullptr, e ? e->GetVertex2() : nullptr})
                if (v) {
                    __builtin_prefetch(v);
                    __builtin_prefetch(v->GetXYZ());
                }
    }
}
