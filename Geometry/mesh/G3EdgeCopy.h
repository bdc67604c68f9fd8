#pragma once
// What a copy of an edge takes from its source: both ends, the flags, and
// the corner normals and texture coordinates of one side. Facets built
// from edges of another mesh (G3Surface's edge-list AddFacet and
// AddFacetEdges) and edge lists copied from facets or from other lists all
// copy an edge this way.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Edge.h"

struct G3EdgeCopy {
    G3Vertex* v1 = nullptr;
    G3Vertex* v2 = nullptr;
    G3Normal* n1 = nullptr;
    G3Normal* n2 = nullptr;
    G3TexCoo* t1 = nullptr;
    G3TexCoo* t2 = nullptr;
    int flags = 0;
};

// The copy of e as side `side` (1, or 2 for anything else) sees its corners.
inline G3EdgeCopy G3EdgeCopyOf(const G3Edge* e, int side)
{
    G3EdgeCopy c;
    c.v1 = e->GetVertex1();
    c.v2 = e->GetVertex2();
    e->GetNormals(&c.n1, &c.t1, &c.n2, &c.t2, side);
    c.flags = static_cast<int>(e->GetFlags());
    return c;
}

// Calls add(copy) for every edge of `list` in order, skipping entries that
// are not edges. The corners are those of the side that `facet` takes on
// the edge; side 1 without a facet.
template <class Add>
void G3ForEachEdgeCopy(const GArrayCollection* list, const G3Facet* facet, Add add)
{
    for (int i = 0; list && i < list->size(); ++i)
        if (const G3Edge* e = dynamic_cast<const G3Edge*>(list->get(i)))
            add(G3EdgeCopyOf(e, facet ? e->GetFacetSide(facet) : 1));
}
