#pragma once
// Walks over a facet's chain: its edges, or its vertices (one per edge).

#include "Geometry/foundation/GCollection.h"

class G3Edge;
class G3Facet;
class G3Vertex;

class G3FacetEdgeIterator : public GIterator {
public:
    explicit G3FacetEdgeIterator(G3Facet* f);
    bool hasNext() override { return current != nullptr; }
    GObj* next() override;

protected:
    G3Edge* current = nullptr;
    G3Facet* facet = nullptr;
};

// Yields one vertex per chain edge: the vertex at which the walk enters that
// edge. A contour's first vertex is the end of its first edge that the next
// edge does not share; each following vertex is the end its edge shares
// with the edge before it. Each contour of a chain with holes
// starts afresh by the first rule, so the walk yields every contour's
// vertices in chain order, without repeating a contour's start.
class G3FacetVertexIterator : public GIterator {
public:
    explicit G3FacetVertexIterator(G3Facet* f);
    bool hasNext() override { return walkEdge != nullptr; }
    GObj* next() override;
    // next() without the virtual call, typed: the vertex, or null for an
    // edge without that end (or past the end of the chain).
    G3Vertex* NextVertex();
    // The edge whose vertex next() returned last.
    G3Edge* GetCurrentEdge() const { return currentEdge; }

    // The end of `e` at which a contour that starts with `e` (followed by
    // `following`, possibly null) begins.
    static G3Vertex* ContourStart(const G3Edge* e, const G3Edge* following);

protected:
    G3Edge* currentEdge = nullptr;
    G3Edge* walkEdge = nullptr;
    G3Edge* nextEdge = nullptr;
    G3Facet* facet = nullptr;
    G3Vertex* vertex = nullptr;
};
