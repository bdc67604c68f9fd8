#pragma once
// An edge joins vertex1 to vertex2 and is shared by at most two facets.
// It carries the links of four intrusive lists: the next edge of each end's
// vertex ring (vertex1Edge, vertex2Edge) and the next edge of each side's
// facet chain (facet1Edge, facet2Edge). The corner data of both sides lives
// in an owned G3EdgeGeometry, created only when some corner gets data.

#include "Geometry/foundation/GHeap.h"
#include "Geometry/foundation/GPrefetch.h"
#include "Geometry/mesh/G3EdgeGeometry.h"
#include "Geometry/mesh/G3Obj.h"

class G3Vertex;
class G3Facet;
class G3Normal;
class G3TexCoo;
class GEnvelope;

class G3Edge : public G3Obj {
    G_DECLARE_POOL(G3Edge)
public:
    enum : long {
        FLAG_VISIBLE = 0x1L,
        FLAG_FORM_MAKING = 0x2L,
        FLAG_NEW = 0x4L,
        FLAG_TANGENCY = 0x100L,
    };

    G3Edge();
    G3Edge(G3Vertex* start, G3Vertex* end);
    // Copies take every link; the geometry is duplicated, never shared, since
    // each edge deletes its own.
    G3Edge(const G3Edge& other);
    G3Edge& operator=(const G3Edge& other);
    ~G3Edge() override;

    // G3Obj::Copy, then both ends and every link; the geometry is duplicated
    // (or removed when the source has none).
    void Copy(GObj* source) override;
    G3Edge* Duplicate() override;

    // Plain link accessors: they keep nothing else consistent.
    G3Vertex* GetVertex1() const { return vertex1; }
    G3Vertex* GetVertex2() const { return vertex2; }
    void SetVertex1(G3Vertex* v) { vertex1 = v; }
    void SetVertex2(G3Vertex* v) { vertex2 = v; }
    G3Facet* GetFacet1() const { return facet1; }
    G3Facet* GetFacet2() const { return facet2; }
    void SetFacet1(G3Facet* f) { facet1 = f; }
    void SetFacet2(G3Facet* f) { facet2 = f; }
    G3Edge* GetVertex1Edge() const { return vertex1Edge; }
    G3Edge* GetVertex2Edge() const { return vertex2Edge; }
    void SetVertex1Edge(G3Edge* e) { vertex1Edge = e; }
    void SetVertex2Edge(G3Edge* e) { vertex2Edge = e; }
    G3Edge* GetFacet1Edge() const { return facet1Edge; }
    G3Edge* GetFacet2Edge() const { return facet2Edge; }
    void SetFacet1Edge(G3Edge* e) { facet1Edge = e; }
    void SetFacet2Edge(G3Edge* e) { facet2Edge = e; }
    G3EdgeGeometry* GetGeometry() const { return geometry; }

    // Ring link for end `v` (vertex1Edge when v is vertex1, else vertex2Edge).
    G3Edge* GetVertexEdge(const G3Vertex* v) const { return v == vertex1 ? vertex1Edge : vertex2Edge; }
    void SetVertexEdge(const G3Vertex* v, G3Edge* e)
    {
        if (v == vertex1)
            vertex1Edge = e;
        else
            vertex2Edge = e;
    }
    // Side of facet `f`: 1 when f is facet1, otherwise 2 (the rule every
    // chain walk uses).
    int GetFacetSide(const G3Facet* f) const { return f == facet1 ? 1 : 2; }
    // Chain link on `f`'s side.
    G3Edge* GetFacetEdge(const G3Facet* f) const { return f == facet1 ? facet1Edge : facet2Edge; }
    void SetFacetEdge(const G3Facet* f, G3Edge* e)
    {
        if (f == facet1)
            facet1Edge = e;
        else
            facet2Edge = e;
    }
    // Asks for the memory of the ends, facets and links (what walks along
    // rings and chains read), ahead of a walk that will read them.
    void PrefetchLinks() const
    {
        GPrefetch(&vertex1);
        GPrefetch(&facet2Edge);
    }
    bool HasFacet(const G3Facet* f) const { return f != nullptr && (f == facet1 || f == facet2); }
    bool HasVertex(const G3Vertex* v) const { return v != nullptr && (v == vertex1 || v == vertex2); }
    // The end that is not `v` (vertex1 when v is vertex2 or not an end).
    G3Vertex* GetOtherVertex(const G3Vertex* v) const { return v == vertex1 ? vertex2 : vertex1; }

    // Flags.
    void SetVisible() { flags |= FLAG_VISIBLE; }
    void ClearVisible() { flags &= ~FLAG_VISIBLE; }
    void SetUnVisible() { ClearVisible(); }
    bool GetVisible() const { return (flags & FLAG_VISIBLE) != 0; }
    void SetFormMaking() { flags |= FLAG_FORM_MAKING; }
    void ClearFormMaking() { flags &= ~FLAG_FORM_MAKING; }
    bool GetFormMaking() const { return (flags & FLAG_FORM_MAKING) != 0; }
    void SetNew() { flags |= FLAG_NEW; }
    void ClearNew() { flags &= ~FLAG_NEW; }
    bool GetNew() const { return (flags & FLAG_NEW) != 0; }
    void SetTangency() { flags |= FLAG_TANGENCY; }
    bool GetTangency() const { return (flags & FLAG_TANGENCY) != 0; }
    bool IsInvisible() const { return (flags & (FLAG_VISIBLE | FLAG_FORM_MAKING)) == 0; }

    // Corner data.
    bool HasGeometry() const { return geometry != nullptr; }
    // Geometry present and the vertex1 normal of f's side set.
    bool HasGeometry(const G3Facet* f) const;
    G3Normal* GetFacet1V1(G3TexCoo** t) const { return GetCorner(1, 1, t); }
    G3Normal* GetFacet1V2(G3TexCoo** t) const { return GetCorner(1, 2, t); }
    G3Normal* GetFacet2V1(G3TexCoo** t) const { return GetCorner(2, 1, t); }
    G3Normal* GetFacet2V2(G3TexCoo** t) const { return GetCorner(2, 2, t); }
    // A pair of nulls on an edge without geometry creates nothing.
    void SetFacet1V1(G3Normal* n, G3TexCoo* t) { SetCorner(1, 1, n, t); }
    void SetFacet1V2(G3Normal* n, G3TexCoo* t) { SetCorner(1, 2, n, t); }
    void SetFacet2V1(G3Normal* n, G3TexCoo* t) { SetCorner(2, 1, n, t); }
    void SetFacet2V2(G3Normal* n, G3TexCoo* t) { SetCorner(2, 2, n, t); }
    // Corner of side `side` (1 or 2) at end `end` (1 for vertex1, 2 for
    // vertex2). `t` may be null. Both results are null without geometry.
    G3Normal* GetCorner(int side, int end, G3TexCoo** t) const;
    void SetCorner(int side, int end, G3Normal* n, G3TexCoo* t);
    // f(normal, texture coordinate) for each of the four corners in that
    // order (side 1 then 2, end 1 then 2); nothing without geometry.
    template <class F>
    void ForEachCorner(F&& f) const
    {
        if (!HasGeometry())
            return;
        for (int side = 1; side <= 2; ++side)
            for (int end = 1; end <= 2; ++end) {
                G3TexCoo* t = nullptr;
                G3Normal* n = GetCorner(side, end, &t);
                f(n, t);
            }
    }
    // Corner of facet `f` at vertex `v` (an end of this edge). For a null f
    // or one on neither side of the edge GetCorner reads null (as do
    // GetNormals and HasGeometry) and SetCorner does nothing.
    G3Normal* GetCorner(const G3Facet* f, const G3Vertex* v, G3TexCoo** t) const;
    void SetCorner(const G3Facet* f, const G3Vertex* v, G3Normal* n, G3TexCoo* t);
    // f is facet1 or facet2 (and not null).
    bool OnASide(const G3Facet* f) const;

    // Copies `g` into the edge's own geometry (created when missing); null
    // deletes the edge's geometry.
    void SetGeometry(G3EdgeGeometry* g);

    // The corners of f's side; returns whether its vertex1 normal is set.
    // Any output pointer may be null.
    bool GetNormals(const G3Facet* f, G3Normal** normalV1, G3TexCoo** texV1, G3Normal** normalV2,
                    G3TexCoo** texV2) const;
    // The same for side 1 (side == 1) or side 2 (any other value).
    bool GetNormals(G3Normal** normalV1, G3TexCoo** texV1, G3Normal** normalV2, G3TexCoo** texV2,
                    int side) const;
    // Stores the corners of f's side so that the pair given with vertex1
    // lands on vertex1. Nothing for a null f or one on neither side.
    void SetNormals(const G3Facet* f, const G3Vertex* va, G3Normal* na, G3TexCoo* ta, const G3Vertex* vb,
                    G3Normal* nb, G3TexCoo* tb);

    // Corner data at point p of the edge va -> vb, from the corners (na, ta)
    // at va and (nb, tb) at vb: component k of the normal follows the
    // parameter of p along coordinate k, held within 0 .. 1 (along the
    // coordinate of the edge's largest extent where its extent in k is below
    // 1e-6; na's component when every extent is); u follows x and v follows
    // y. Not
    // renormalised. Both results are null when na or nb is null; the
    // texture result is null unless ta and tb are both given. The results
    // are new objects of no shell: the caller deletes them.
    static void Interpolate(const G3Vertex* va, const G3Normal* na, const G3TexCoo* ta, const G3Vertex* vb,
                            const G3Normal* nb, const G3TexCoo* tb, const double* p, G3Normal** n,
                            G3TexCoo** t);

    // Reverses the edge: exchanges the ends, their ring links and the corners
    // of both sides, so rings, chains and corner data all stay valid.
    void SwapVertex();

    bool IsLink(const G3Edge* e) const;
    bool IsVertexEquals(const G3Edge* e) const;
    bool FacetEqu(const G3Facet* a, const G3Facet* b) const
    {
        return (facet1 == a && facet2 == b) || (facet1 == b && facet2 == a);
    }

    double GetSizeXYZ() const;
    static double GetSizeXYZ(const double* a, const double* b);
    double GetSizeXY() const;
    // Length of the projection on coordinates i and j (0 when either index
    // is not 0, 1 or 2).
    double GetSize(int i, int j) const;
    // `out` is left alone when a, b or out is null.
    static void CalcCentrePoint(const G3Vertex* a, const G3Vertex* b, double* out);

    // Per-axis extent of the two ends; returns `env`.
    GEnvelope* FormEnvelope(GEnvelope* env) const;

    bool IsEdgeOnMesh() const;
    // The facets on the two sides share one unbroken run of edges in each
    // of their chains (false when either side has no facet).
    bool IsLegalForMerge() const;

    // --- Geometric queries (defined in G3EdgeQueries.cpp)
    // When the edges share a vertex: *shared is it, *a the other end of e1,
    // *c the other end of e2, and the result is true. The pairs are tried
    // in the order (e1.v1, e2.v1), (e1.v1, e2.v2), (e1.v2, e2.v1),
    // (e1.v2, e2.v2). Otherwise all three are null. Outputs may be null.
    static bool GetTriangleVertex(const G3Edge* e1, const G3Edge* e2, G3Vertex** a, G3Vertex** shared,
                                  G3Vertex** c);
    // Cosine of the angle at the shared vertex between the directions to a
    // and c; 0 when the edges share no vertex or the product of the two
    // lengths is below 1e-12.
    static double GetCosAngle(const G3Edge* e1, const G3Edge* e2);
    // Area of the triangle (a, shared, c); 0 when no vertex is shared.
    static double CalcRealSquareOfTriangle(const G3Edge* e1, const G3Edge* e2);
    // Projection of p on the edge's line: *t is the distance from vertex1
    // along the direction to vertex2 (a unit vector when the edge is longer
    // than 1e-6), *foot = vertex1 + t * direction. True when
    // -1e-6 <= t <= length + 1e-6. Outputs may be null.
    bool FindProjection(const double* p, double* foot, double* t) const;

protected:
    // Walking `chain`'s edges cyclically, the property "joins facets a and
    // b" changes exactly twice.
    bool IsLegalForMerge(const G3Facet* chain, const G3Facet* a, const G3Facet* b) const;

    G3Vertex* vertex1 = nullptr;
    G3Vertex* vertex2 = nullptr;
    G3Edge* vertex1Edge = nullptr;
    G3Edge* vertex2Edge = nullptr;
    G3Facet* facet1 = nullptr;
    G3Facet* facet2 = nullptr;
    G3Edge* facet1Edge = nullptr;
    G3Edge* facet2Edge = nullptr;
    G3EdgeGeometry* geometry = nullptr;
};
