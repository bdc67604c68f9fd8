#pragma once
// The welding pass with a report of what it did, for callers that decide
// on later rounds by it.

#include <vector>

class G3Surface;

// G3Surface::RemoveEqualsVertexAndDivideEdges: coincident vertices welded,
// edges split at the vertices lying on them, RemoveUnused. Returns the
// number of edges split. A round that split no edge left every edge with no
// vertex it could take, so running it again on the unchanged surface (no
// facet removed, nothing moved) finds nothing.
int G3WeldAndDivide(G3Surface* s);

// The representative the vertex pass of the weld (RemoveEqualsVertex) gives
// each vertex of s, by place (-1 for a vertex that is one itself): the same
// point hash over every vertex, the same rule. The vertices' ids must be
// their places. Nothing of s changes.
std::vector<int> G3WeldRepresentatives(G3Surface* s);

// The normal RemoveEqualsNormal stores for `xyz`: divided by its length,
// unless that is too short to divide by. `out` may be `xyz`.
void G3UnitNormal(const double* xyz, double* out);
