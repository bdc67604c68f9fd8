#pragma once
// The planar constrained Delaunay triangulation engine behind G3TriInterface.
//
// Vertices are kept in creation order. A run sorts their plan positions,
// merges positions closer than 1e-8 in both x and y, triangulates the rest by
// divide and conquer with alternating cuts and ghost triangles on the hull,
// and then drops the ghosts. Constraint edges are forced in afterwards by
// walking and flipping, and the triangulation around them is made Delaunay
// again (constrained Delaunay).
//
// Internal to the kernel: nothing here is part of the host interface.

#include "Geometry/foundation/GLargeMemory.h"
#include "Geometry/foundation/GObj.h"
#include "Geometry/terrain/triangulation/G3TVertex.h"
#include "Geometry/terrain/triangulation/G3TriPredicates.h"

#include <cstddef>
#include <deque>
#include <memory>
#include <new>
#include <unordered_map>
#include <utility>
#include <vector>

namespace g3tri {

// The node, triangle and lookup arrays reach across the whole triangulation
// in every walk: they live in huge-page mappings once they are large.
template <class T>
using LargeArray = GLargeArray<T>;

class G3TriEngine;

// A triangle of the mesh: three corner nodes in counter-clockwise order and,
// across each edge, the neighbour as a handle (triangle index * 4 + edge) or
// -1 on the hull. Edge k is the one opposite corner k: it runs from corner
// k+1 to corner k+2. While the divide and conquer runs, a corner of -1 marks
// a ghost triangle standing for the outside beyond one hull edge.
struct Tri {
    int v[3];
    int n[3];
};

// Flag bits of an edge record.
enum : long {
    G3TEDGE_INSERTED = 1, // a constraint record whose whole length became edges
    G3TEDGE_PIECE = 2     // a constrained triangulation edge made by the engine
};

// An edge record: a constraint as a caller gave it (owner null) or one
// constrained edge of the triangulation (owned by the engine, attached to the
// triangles on both of its sides).
class G3TEdge : public GObj {
public:
    G3TEdge(G3TVertex* from, G3TVertex* to, G3TriEngine* owner) : from(from), to(to), owner(owner) {}

    G3TVertex* from = nullptr;
    G3TVertex* to = nullptr;
    int tri[2] = {-1, -1};            // triangles on its two sides (pieces)
    G3TEdge* link[2] = {nullptr, nullptr}; // link[0]: the constraint a piece belongs to
    G3TriEngine* owner = nullptr;
    long flags = 0;
};

class G3TriEngine {
public:
    G3TriEngine();
    G3TriEngine(const G3TriEngine&) = delete;
    G3TriEngine& operator=(const G3TriEngine&) = delete;

    // Releases every vertex, edge record and triangle.
    virtual ~G3TriEngine();
    // A new vertex at (x, y), appended to the vertex list.
    virtual G3TVertex* NewVertex(double x, double y);
    // A new edge record from a to b, owned by the engine.
    virtual G3TEdge* NewEdge(G3TVertex* a, G3TVertex* b);
    // A new triangle on three nodes (c may be -1: a ghost); returns its index.
    virtual int NewTriangle(int a, int b, int c, int flag);
    virtual int GetVertexCount() const;
    virtual G3TVertex* GetVertex(int id) const;
    virtual int GetEdgeCount() const;
    virtual G3TEdge* GetEdge(int i) const;
    virtual int GetTriangleCount() const;
    // The vertices at corners 0, 1, 2 (counter-clockwise) of triangle i.
    virtual bool GetTriangle(int i, G3TVertex* corners[3]) const;
    // Called before each constraint insertion: starts a new walk stamp.
    virtual void PrepareInsertion();
    // True exactly for option 0, the walking-and-flipping insertion.
    virtual bool Option(int option) const;
    virtual bool IsReady() const;

    // Triangulates every vertex added so far (replacing an earlier result).
    void Triangulate();
    // Forces the segment s-e into the triangulation as a chain of edges.
    // `record` (may be null) receives G3TEDGE_INSERTED when the whole segment
    // became edges. Returns false when it was skipped or stopped early: an
    // end not in the triangulation, or another constrained edge crossed.
    bool InsertConstraint(G3TVertex* s, G3TVertex* e, G3TEdge* record);
    // Room for the sides of about `count` constrained edges, so that a caller
    // forcing in many constraints does not rehash their table as it grows.
    void ReserveConstraints(int count) { sides.reserve(2 * static_cast<std::size_t>(count > 0 ? count : 0)); }

    // True when v was created by this engine.
    bool Owns(const G3TVertex* v) const;
    // The vertex whose position v was merged into by the last run (v itself
    // when it was kept); null when v took no part in it.
    G3TVertex* GetKeptVertex(const G3TVertex* v) const;
    // The triangle index of one triangle using v's node, or -1.
    int GetVertexTriangle(const G3TVertex* v) const;
    // Whether the triangulation edge between a and b exists / is constrained.
    bool HasEdge(const G3TVertex* a, const G3TVertex* b) const;
    bool IsConstrained(const G3TVertex* a, const G3TVertex* b) const;

    // Raw access for readers of the result.
    int GetNodeCount() const { return static_cast<int>(nodes.size()); }
    const Node& GetNode(int i) const { return nodes[static_cast<std::size_t>(i)]; }
    const Tri& GetTri(int i) const { return tris[static_cast<std::size_t>(i)]; }
    G3TEdge* GetSide(int t, int k) const;

    bool GetCrossingFlag() const { return crossing != 0; }

    // How many vertices the last run merged into a coinciding kept one.
    int GetMergedCount() const { return static_cast<int>(merged.size()); }
    // How many vertices took part in the last run (those with a finite
    // position: kept and merged ones).
    int GetPlacedCount() const { return static_cast<int>(nodes.size() + merged.size()); }
    // The length of the shortest edge of the last run's Delaunay
    // triangulation (0 when the run made no triangles). The two nearest
    // nodes are always joined by a Delaunay edge, so no two nodes are closer
    // than this; constraints, inserted afterwards, do not change it.
    double GetNodeSeparation() const { return separation; }

private:
    friend class Builder;
    friend class Inserter;

    static constexpr int kBlockShift = 12;
    static constexpr int kBlockSize = 1 << kBlockShift;

    G3TVertex* VertexAt(int id) const
    {
        return &blocks[static_cast<std::size_t>(id >> kBlockShift)][id & (kBlockSize - 1)];
    }
    void ClearResult();
    // The node standing for v in the last run (a merged point shares its kept
    // point's node), or -1 when v took no part in it.
    int NodeOf(const G3TVertex* v) const;
    int FindEdgeHandle(int a, int b) const;
    // The maps from vertices to nodes and from nodes to triangles are only
    // needed by lookups and constraint insertion; they are built on first use.
    void BuildVertexNodes() const;
    void BuildNodeTriangles() const;

    // Vertex list: fixed-size blocks, so vertex addresses never move.
    std::vector<std::unique_ptr<G3TVertex[]>> blocks;
    int vertexCount = 0;
    // Edge records owned by the engine, in creation order.
    std::vector<G3TEdge*> edges;
    // Result of the last run: nodes (distinct positions), triangles, one
    // triangle per node.
    LargeArray<Node> nodes;
    LargeArray<Tri> tris;
    // Points merged into a coinciding kept one: (merged vertex, kept vertex).
    std::vector<std::pair<int, int>> merged;
    // Vertices that existed when the last run started.
    int runVertexCount = 0;
    double separation = 0.0;
    mutable LargeArray<int> vertexNode;
    mutable LargeArray<int> nodeTri;
    // Constrained sides, by handle (triangle * 4 + edge): few next to the
    // triangles, so they are kept apart from them.
    std::unordered_map<int, G3TEdge*> sides;
    // Stamps of the last walk that visited a triangle / a node; sized on
    // first use.
    LargeArray<int> triMark;
    LargeArray<int> nodeMark;
    int stamp = 0;
    // When set, a constraint crossing another constrained edge would be split
    // at the crossing. Cleared at construction and before every run; nothing
    // in the kernel sets it, so crossing constraints stop at the first one.
    unsigned char crossing = 0;
    // sideBits[t] bit k: side k of triangle t has an entry in `sides`. Most
    // side lookups of an insertion ask about unconstrained edges; the bits
    // answer those without a hash probe.
    LargeArray<unsigned char> sideBits;
    // An edge a-b to look at later, with the handle it had when noted
    // (checked before use: flips move edges between triangles).
    struct EdgeRef {
        int a, b, hint;
    };
    // The constraint inserter's working lists, kept between insertions.
    struct InsertScratch {
        std::deque<EdgeRef> crossing;
        std::vector<EdgeRef> fresh;
        std::vector<int> path;
        std::vector<int> next;
    };
    InsertScratch insertScratch;
};

} // namespace g3tri
