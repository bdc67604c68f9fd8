#pragma once
// An ordered list of edges describing one or more closed planar contours,
// detached from any shell: the working form in which facets are rebuilt.
// The list owns its edges (private copies); each carries its two vertices
// (real vertices of some shell), its flags and the corner data of the facet
// it came from, on its facet1 side (list edges built here carry the same
// corners on both sides). Contours follow one another in the list; a
// contour ends where the next edge shares no vertex with it.

#include "Geometry/contour/GContourTypes.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GHeap.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/mesh/G3Edge.h"

#include <vector>

class G3Facet;
class G3Normal;
class G3Surface;
class G3TexCoo;
class G3Vertex;

// How coincident edges (edges joining the same two points, in either
// direction) are combined when a list is loaded into the contour graph.
// Any other value keeps every copy.
enum UNION_EDGE_ALG {
    UNION_EDGE_ALL = 0,
    // At most two parallel copies: a third copy removes the two existing
    // ones and is added alone.
    UNION_EDGE_KEEP_TWO = 1,
    // Pairs cancel: a copy of an existing edge removes it and is not added.
    UNION_EDGE_CANCEL_PAIRS = 2,
    // Every copy is added; copies are then resolved by testing the two sides
    // of the edge against the source contours.
    UNION_EDGE_BY_SIDES = 3
};

class G3EdgeList : public GArrayCollection {
    G_DECLARE_POOL(G3EdgeList)
public:
    // An empty list: zero plane, no projection axes (-1), unclassified.
    G3EdgeList(int facetFlags, int facetSurface);
    // The contour(s) of f, with f's flags, sub-surface and plane, oriented
    // head to tail.
    explicit G3EdgeList(G3Facet* f);
    // For k = 0 .. n-1 an edge v[k] -> v[(k+1) mod n] with edgeFlags[k]
    // (1 when edgeFlags is null) and the corners of its two vertices
    // (normals and texCoos may be null); a step whose two vertices are the
    // same object is skipped.
    G3EdgeList(int n, G3Vertex** v, int* edgeFlags, G3Normal** normals, G3TexCoo** texCoos, int facetFlags,
               int facetSurface);
    // Copies of the given edges (their facet1 corners), oriented head to
    // tail; facet flags and sub-surface 1.
    explicit G3EdgeList(GArrayCollection* edges);
    G3EdgeList(GArrayCollection* edges, int facetFlags, int facetSurface);
    // Copies take every field and copies of the edges: each list deletes
    // the edges it holds.
    G3EdgeList(const G3EdgeList& other);
    G3EdgeList& operator=(const G3EdgeList& other);
    // Deletes the edges.
    ~G3EdgeList() override;

    // A new list (same facet flags, sub-surface and contour type) holding a
    // copy of every edge; plane, axes, envelope and nesting count start
    // fresh.
    G3EdgeList* Duplicate() override;

    // Edge i (no range check, like get).
    G3Edge* GetEdge(int i) const { return static_cast<G3Edge*>(get(i)); }

    // Appends a new edge a -> b with `flags`; the corner at a is (na, ta)
    // and at b (nb, tb), on both sides. Returns it.
    G3Edge* AddEdge(G3Vertex* a, G3Vertex* b, G3Normal* na, G3Normal* nb, G3TexCoo* ta, G3TexCoo* tb, int flags);
    // Appends a copy of each chain edge of f, with its own vertex order,
    // flags and f's corners.
    void AddEdges(G3Facet* f);
    // Appends a copy of each edge of `edges` (G3Edge entries), with the
    // corners of f's side (the facet1 side when f is null).
    void AddEdges(GArrayCollection* edges, G3Facet* f);

    // Orients the edges head to tail along every contour: each contour's
    // first edge is turned so that it leads into the second, and every
    // following edge so that it starts where the one before it ends.
    void Normalize();
    // envelope = the bounds of every edge vertex (zeros for an empty list).
    void FormEnvelope();
    // plane, xCoo and yCoo from the vertices (G3Math::FormMaxPlaneCoo).
    bool FormMaxPlaneCoo();
    // Same size, and o's edges are this list's edges cyclically shifted
    // (same vertex1 and vertex2 at every offset).
    bool Equals(G3EdgeList* o);

    // --- contours (Geometry/processing/G3EdgeListContours.cpp)
    // Whether this contour lies inside o, on (xCoo, yCoo): the first vertex
    // outside o gives false, the first one strictly inside gives true; when
    // every vertex lies on o's boundary, a point inside this contour decides
    // (false when none can be found).
    bool IsIn(G3EdgeList* o);
    // Whether any two edges cross or touch away from their shared ends.
    bool TestSelfIntersections();
    // Whether the contours cross where they pass one point twice (a corner
    // repeated, or two vertices at one place): the second pass enters on
    // one side of the first and leaves on the other. Passes that only touch
    // there, or run along one another (a bridge walked both ways), do not
    // count; TestSelfIntersections does not see either, as the edges meet
    // at their ends.
    bool TestCrossingsAtCorners();
    // Splits the edges at every crossing and touch found among them. A
    // touch splits at the touching vertex itself; each proper crossing gets
    // one new vertex in s, shared by the two edges (interpolated corner data
    // goes to s too). Nothing happens without a surface.
    void FindSelfIntersections(G3Surface* s);
    // Makes into out (room for n + 1) the edges e.vertex1 -> vs[0] -> ... ->
    // vs[n-1] -> e.vertex2, each with e's facets and flags. When e has
    // corner data, every piece gets at both its ends the corners of e's
    // facet1 side interpolated at that vertex, added to s as new normals and
    // texture coordinates and set on both sides (no corners without s).
    // Returns the number of pieces made (0 for bad arguments).
    static int SplitEdge(G3Surface* s, G3Edge* e, int n, G3Vertex** vs, G3Edge** out);
    // Resolves the list (an edge soup in one plane) into simple closed
    // contours appended to out: edges are split at their crossings (new
    // vertices go to s), coincident edges are combined by alg, dangling
    // edges are pruned and the contours walked out one by one. With link
    // the new contours are classified and holes are joined to the contours
    // around them. Every new contour is finally turned to face this list's
    // plane. The last argument is not used.
    void RemoveSelfIntersections(GArrayCollection* out, G3Surface* s, bool link, UNION_EDGE_ALG alg, int unused);
    void RemoveSelfIntersections(GArrayCollection* out, G3Surface* s, bool link, int alg, int unused)
    {
        RemoveSelfIntersections(out, s, link, static_cast<UNION_EDGE_ALG>(alg), unused);
    }
    // Walks the list's contours out into out with pair cancellation; no
    // splitting at crossings, no classification, no turning.
    void FormContours(GArrayCollection* out);
    // Sets contourType and inCount of every list: inCount = the number of
    // other lists enclosing it (of two equal lists only the later-created
    // one encloses the earlier); odd counts are holes, even counts outer
    // contours. (Geometry/processing/G3EdgeListNesting.cpp)
    static void FormContourTypes(GArrayCollection* lists);
    // FormContourTypes when lists is not empty; then, with link and at
    // least two lists, Link.
    static void RemeshContours(G3Surface* s, GArrayCollection* lists, bool link, int flags);
    // Joins each hole (a list classified as one) to its parent, the list one
    // nesting level up that encloses it: at a vertex they share, else by
    // two opposite bridge edges with the given flags along a segment that
    // meets no edge of any list. The parent and its holes are first turned
    // so that the material lies on the left of every edge; a joined hole is
    // deleted and leaves lists, its parent keeps its type and nesting count.
    // A hole without a parent, or for which no clear bridge exists, stays.
    // (Geometry/processing/G3EdgeListLink.cpp)
    static void Link(GArrayCollection* lists, G3Surface* s, int flags);

    // --- the contour graph (Geometry/processing/G3ContourGraph.cpp); graph
    // edges join graph vertices whose exData names the source vertex.
    // Walks the closed loop that starts with e arriving at v, turning at
    // every vertex to the edge of largest angle from the way back, cuts it
    // out of the graph and returns it as a new list (normalised, on the
    // axes (i, j)). Null when the loop has fewer than three edges (those
    // are removed) or the walk dead-ends (then e is removed); either way
    // the graph loses at least one edge.
    static G3EdgeList* RemoveContour(G3Surface* graph, G3Edge* e, G3Vertex* v, int i, int j, int facetFlags,
                                     int facetSurface);
    // The same, adding to touched both ends of every edge it removes.
    static G3EdgeList* RemoveContour(G3Surface* graph, G3Edge* e, G3Vertex* v, int i, int j, int facetFlags,
                                     int facetSurface, std::vector<G3Vertex*>* touched);
    // Prunes the graph until nothing changes: a vertex with one edge loses
    // it, a vertex whose only two edges join the same two vertices loses
    // both. Returns whether anything was removed.
    static bool RemoveTailVertex(G3Surface* graph);
    // The start of the next contour: the vertex of smallest j (then i)
    // among those with edges, and its edge chosen by direction; *v is that
    // edge's other end. Null when no vertex has edges.
    static G3Edge* FindLegalEdge(G3Surface* graph, int i, int j, G3Vertex** v);

    // Creation order of lists, process-wide: breaks ties between equal
    // contours without looking at addresses.
    unsigned long long GetSerial() const { return serial; }

    GEnvelope* GetEnvelope() { return &envelope; }
    CONTOUR_TYPE GetContourType() const { return contourType; }
    void SetContourType(CONTOUR_TYPE t) { contourType = t; }
    int GetFacetFlags() const { return facetFlags; }
    int GetFacetSurface() const { return facetSurface; }
    double* GetPlane() { return plane; }
    const double* GetPlane() const { return plane; }
    void SetPlane(const double* abcd);
    int GetXCoo() const { return xCoo; }
    int GetYCoo() const { return yCoo; }
    // Sets the projection axes as they are (lists built from known plane
    // geometry).
    void SetAxes(int i, int j)
    {
        xCoo = i;
        yCoo = j;
    }
    int GetInCount() const { return inCount; }
    void SetInCount(int n) { inCount = n; }

protected:
    // Makes sure xCoo and yCoo name a projection pair: from the plane when
    // it is set, else from the vertices (the plane is left as it is).
    // Returns whether a pair is available.
    bool EnsureAxes();
    // Deletes the edges and takes copies of `other`'s fields and edges.
    void Assign(const G3EdgeList& other);
    // The one contour the crossing sweep and the contour graph would make of
    // this list when its live edges (idle entry zero) already form a small
    // simple cycle well clear of itself; null when that cannot be told
    // without them. The caller owns the list returned.
    G3EdgeList* SimpleContour(const std::vector<char>& idle);

    GEnvelope envelope;
    CONTOUR_TYPE contourType = CONTOUR_TYPE_UNKNOWN;
    int facetFlags = 0;
    int facetSurface = 0;
    double plane[4] = {0.0, 0.0, 0.0, 0.0};
    int xCoo = -1;
    int yCoo = -1;
    int inCount = 0;
    unsigned long long serial = NextSerial();

private:
    static unsigned long long NextSerial();
    // AddEdge with what the copy took from its source edge.
    void AddCopy(const struct G3EdgeCopy& c);
    // FindSelfIntersections with the edges whose `idle` entry is non-zero
    // left out of the sweep: they are neither split nor split others.
    void FindSelfIntersections(G3Surface* s, const std::vector<char>& idle);
};
