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

class G3Edge;
class G3Facet;
class G3Normal;
class G3TexCoo;
class G3Vertex;

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
    G3Edge* GetEdge(int i) const;

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
    int GetInCount() const { return inCount; }
    void SetInCount(int n) { inCount = n; }

protected:
    // Deletes the edges and takes copies of `other`'s fields and edges.
    void Assign(const G3EdgeList& other);

    GEnvelope envelope;
    CONTOUR_TYPE contourType = CONTOUR_TYPE_UNKNOWN;
    int facetFlags = 0;
    int facetSurface = 0;
    double plane[4] = {0.0, 0.0, 0.0, 0.0};
    int xCoo = -1;
    int yCoo = -1;
    int inCount = 0;
};
