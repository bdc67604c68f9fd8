#pragma once
// A mesh vertex: a position that also anchors the ring of edges meeting at
// it. The ring is a singly linked list threaded through the edges (each edge
// continues the ring of its vertex1 with vertex1Edge and of its vertex2 with
// vertex2Edge), from firstEdge to lastEdge in the order the edges were added.

#include "Geometry/foundation/GCollection.h"
#include "Geometry/foundation/GHeap.h"
#include "Geometry/mesh/G3Point.h"

class G3Edge;
class G3Facet;
class G3TexCoo;
class GArrayCollection;

class G3Vertex : public G3Normal {
    G_DECLARE_POOL(G3Vertex)
public:
    G3Vertex() = default;
    explicit G3Vertex(const double* xyz, unsigned long tag = 0) : G3Normal(xyz, tag) {}
    G3Vertex(double x, double y, double z, unsigned long tag = 0) : G3Normal(x, y, z, tag) {}

    using G3Point::Copy;
    // The coordinates and both ring pointers: the copy points into the
    // source's ring until its owner rewires it.
    void Copy(G3Obj* source) override;

    // (x, y, z, 1) times the row-vector matrix `m`, without division.
    void RealTransformation(double m[4][4]);

    bool HasEdges() const { return firstEdge != nullptr; }
    // +infinity for a null `other`.
    double Distance(const G3Vertex* other) const;

    G3Edge* GetFirstEdge() const { return firstEdge; }
    void SetFirstEdge(G3Edge* e) { firstEdge = e; }
    G3Edge* GetLastEdge() const { return lastEdge; }
    void SetLastEdge(G3Edge* e) { lastEdge = e; }

    // Appends `e` at the tail of the ring (e's own link is left alone);
    // ignores an edge without this end or already in the ring.
    void AddEdge(G3Edge* e);
    // Unlinks `e` from the ring and clears e's link for this vertex; false
    // (and nothing changed) when `e` is not in the ring.
    bool RemoveEdge(G3Edge* e);

    int GetEdgeCount() const;
    // Writes the ring's edges in order; `out` has room for GetEdgeCount().
    int GetEdges(G3Edge** out) const;
    // Clears `out`, then adds the ring edges that join this vertex and
    // `other`, in ring order.
    void GetEdges(const G3Vertex* other, GArrayCollection* out) const;
    // Facet sides along the pair (this, other): one per present facet1 and
    // facet2 of the edges joining them.
    int GetEdgeCount(const G3Vertex* other) const;
    // The same, a double-sided facet counting two.
    int GetEdgeCount2(const G3Vertex* other) const;
    // How many sides of the edges joining this vertex and `other` are `f`.
    int GetEdgeCount(const G3Vertex* other, const G3Facet* f) const;

    // Stores (n, t) as f's corner at this vertex on every ring edge that
    // borders `f`.
    void SetNormal(const G3Facet* f, G3Normal* n, G3TexCoo* t);
    // Stores (n, t) at this vertex for every facet side of every ring edge.
    void SetNormal(G3Normal* n, G3TexCoo* t);
    // f's corner at this vertex, from the first ring edge that has geometry
    // and borders `f` (facet1 checked first); null when none qualifies.
    G3Normal* GetNormal(const G3Facet* f, G3TexCoo** t) const;

protected:
    G3Edge* firstEdge = nullptr;
    G3Edge* lastEdge = nullptr;
};

// Walks the ring of one vertex, yielding its edges.
class G3VertexEdgeIterator : public GIterator {
public:
    explicit G3VertexEdgeIterator(G3Vertex* v);
    bool hasNext() override { return current != nullptr; }
    GObj* next() override;

protected:
    G3Edge* current = nullptr;
    G3Vertex* vertex = nullptr;
};

// The same walk, yielding the far end of each ring edge.
class G3VertexVertexIterator : public G3VertexEdgeIterator {
public:
    explicit G3VertexVertexIterator(G3Vertex* v) : G3VertexEdgeIterator(v) {}
    GObj* next() override;
};
