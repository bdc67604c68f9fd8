#pragma once
// The planar graph an edge list is resolved in: a temporary surface with one
// vertex per distinct point of the list (points closer than 1e-6 share a
// vertex) and one edge per list edge, threaded into the vertex rings as in
// any surface. Each graph vertex's exData names the list vertex it stands
// for (the first one met at that point), so that contours walked out of the
// graph are written back with the list's own vertices. Graph edges carry a
// copy of their list edge's corner data and flags; their ids are their
// indexes in the graph.
//
// The graph lives only inside one RemoveSelfIntersections or FormContours
// call; it never owns the list's vertices, normals or texture coordinates.

#include "Geometry/mesh/G3Surface.h"
#include "Geometry/processing/G3EdgeList.h"

#include <vector>

class G3ContourGraph : public G3Surface {
public:
    // An empty graph for `source` on the projection pair (i, j).
    G3ContourGraph(G3EdgeList* source, int i, int j);
    G3ContourGraph(const G3ContourGraph&) = delete;
    G3ContourGraph& operator=(const G3ContourGraph&) = delete;
    ~G3ContourGraph() override;

    // Loads every edge of the source list. An edge whose two ends map to the
    // same graph vertex is dropped; the others are combined with the edges
    // already joining the same two vertices according to alg. With
    // UNION_EDGE_BY_SIDES the copies are then resolved (ResolveDuplicates).
    void Load(UNION_EDGE_ALG alg);

    // For every vertex pair joined by several edges: an even number of
    // copies whose two sides are both inside or both outside the source
    // contours all go; otherwise only the first stays, visible when any
    // removed copy was.
    void ResolveDuplicates();

    // Whether p (on the graph's axes) lies inside the source list, each
    // contour of the list closed on its own and the crossings of all of
    // them counted together; a point on a contour counts as inside.
    bool PointInSource(const double* p);

    // Walks contours out of the loaded graph into out until no edge is
    // left, as a loop of RemoveTailVertex, FindLegalEdge and RemoveContour
    // would (each contour with the source's plane and its envelope formed),
    // pruning only around the edges each cut removes and keeping the
    // vertices with edges in order of height.
    void Walk(GArrayCollection* out);

    G3EdgeList* GetSource() const { return source; }
    int GetXCoo() const { return xCoo; }
    int GetYCoo() const { return yCoo; }

protected:
    // The graph vertex standing for the point of list vertex v (created and
    // hashed on first sight).
    G3Vertex* MapVertex(G3Vertex* v);
    // Adds the graph edge a -> b for list edge `from`, combined by alg.
    void AddGraphEdge(G3Vertex* a, G3Vertex* b, const G3Edge* from, UNION_EDGE_ALG alg);
    // The vertex sequences of the source list's contours (built once).
    void FormSourceContours();

    G3EdgeList* source = nullptr;
    int xCoo = 0;
    int yCoo = 1;
    class G3PointHash* hash = nullptr;
    std::vector<std::vector<GObj*>> sourceContours;
    bool sourceContoursFormed = false;
};
