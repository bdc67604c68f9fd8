#pragma once
// Walks over a facet's chain: its edges, or its vertices (one per edge), and
// the split of a chain into its contours that every such walk shares.

#include "Geometry/foundation/GCollection.h"

class G3Edge;
class G3Facet;
class G3Vertex;
class GArrayCollection;

class G3FacetEdgeIterator : public GIterator {
public:
    explicit G3FacetEdgeIterator(G3Facet* f);
    bool hasNext() override { return current != nullptr; }
    GObj* next() override;

protected:
    G3Edge* current = nullptr;
    G3Facet* facet = nullptr;
};

// Splits a chain of edges into contours: a facet's chain, or an array of
// edges laid out the same way (a G3EdgeList). The contours of a facet with
// holes follow one another in its chain, and a hole may touch the contour
// before it (or its own first edge may end on it) at a vertex, so two
// consecutive edges sharing a vertex does not make them one contour. The
// rule: a contour starts at the end of its first edge given by
// ContourStart, and goes on while the next edge continues from the vertex
// the walk stands on (leaving each edge by its other end); the first edge
// that does not opens the next contour. Back at the contour's start, the
// next edge also opens the next contour when ContourStart would enter it by
// its other end (a contour touching that vertex with its second corner,
// which going on would read backwards).
//
// Usage: while (w.Next()) { w.GetEdge(), w.GetEntry(), w.Opens(), ... }
class G3ContourWalker {
public:
    explicit G3ContourWalker(const G3Facet* f);
    // `edges` holds G3Edge objects in chain order.
    explicit G3ContourWalker(const GArrayCollection* edges);

    // Steps to the next edge of the chain; false past its end.
    bool Next();

    G3Edge* GetEdge() const { return edge; }
    // The edge's place in the chain, from 0.
    int GetIndex() const { return index; }
    // The end at which the walk enters the edge, and the end it leaves by.
    G3Vertex* GetEntry() const { return entry; }
    G3Vertex* GetExit() const { return exit; }
    // The first vertex of the edge's contour.
    G3Vertex* GetContourStart() const { return contourStart; }
    // The edge is the first of its contour.
    bool Opens() const { return opens; }
    // The edge is the first of a closed loop: it opens a contour, or the
    // walk stood back at its contour's start after a loop of at least three
    // edges (a shorter one is a spike out and back). A hole whose first
    // corner is the vertex at which the contour before it closes is walked
    // on from there without opening (Opens() stays false), yet it is a
    // loop of its own; counting loops tells such a facet's holes.
    bool OpensLoop() const { return opensLoop; }
    // The edge is the last of its contour: the chain ends or the next edge
    // opens the next contour (see above).
    bool Closes() const { return closes; }
    // The next edge of the chain (null after the last).
    G3Edge* GetFollowing() const { return following; }

    // The end of `e` at which a contour whose first edge is `e` (in f's
    // chain) begins: the end from which the walk goes on through the chain.
    static G3Vertex* ContourStart(const G3Facet* f, const G3Edge* e);

private:
    G3Edge* After(const G3Edge* e, int at) const;
    G3Vertex* StartOf(const G3Edge* e, int at, bool* decided = nullptr) const;

    const G3Facet* facet = nullptr;
    const GArrayCollection* array = nullptr;
    G3Edge* edge = nullptr;
    G3Edge* following = nullptr;
    int index = -1;
    G3Vertex* entry = nullptr;
    G3Vertex* exit = nullptr;
    G3Vertex* contourStart = nullptr;
    bool opens = false;
    bool opensLoop = false;
    int loopFirst = 0; // index of the edge that opened the current loop
    bool closes = true;
};

// Yields one vertex per chain edge: the vertex at which the walk enters that
// edge, contour by contour as G3ContourWalker splits the chain, so the walk
// yields every contour's vertices in chain order without repeating a
// contour's start.
class G3FacetVertexIterator : public GIterator {
public:
    explicit G3FacetVertexIterator(G3Facet* f);
    bool hasNext() override { return walker.GetEdge() != nullptr; }
    GObj* next() override;
    // next() without the virtual call, typed: the vertex, or null for an
    // edge without that end (or past the end of the chain).
    G3Vertex* NextVertex();
    // The edge whose vertex next() returned last.
    G3Edge* GetCurrentEdge() const { return currentEdge; }

    // The end of `e` at which a contour that starts with `e`, followed in
    // its facet's chain by `following` (possibly null), begins. The facet is
    // the one of e's sides whose chain link is `following`.
    static G3Vertex* ContourStart(const G3Edge* e, const G3Edge* following);

protected:
    G3Edge* currentEdge = nullptr;
    G3ContourWalker walker;
};
