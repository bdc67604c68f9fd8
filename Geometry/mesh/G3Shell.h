#pragma once
// The owner of one mesh: six entity collections (vertices, normals, texture
// coordinates, edges, facets, polyedges) plus the vertex runs of the
// polyedges. Every entity's id equals its index in its collection as long
// as entities enter and leave only through the operations below (AssignIds
// restores that after other changes). Removal moves the collection's last
// entity into the freed slot and gives it the removed id.
//
// A shell may carry one G3ShellExDataProvider (owned). The shell's own hooks
// forward to it, and the facet and polyedge hooks also let the registered
// object providers open their records on the entity. The reversible preview
// transformation (OpenTransformation ... CloseTransformation) is built on
// such a provider.

#include "Geometry/mesh/G3Obj.h"
#include "Geometry/mesh/G3ShellExDataProvider.h"

#include <vector>

class GArrayCollection;
class GEnvelope;
class G3Edge;
class G3Facet;
class G3Normal;
class G3PolyEdge;
class G3TexCoo;
class G3Vertex;

class G3Shell : public G3Obj, public G3ShellExDataProvider {
public:
    enum : long {
        FLAG_SMOOTH = 0x4L,
        FLAG_SOLID = 0x8L,
        FLAG_UPDATED = 0x10L,
        FLAG_TEST_CONCAVE = 0x1000000L,   // the same bit as G3Obj's Mark3
        FLAG_TEST_INTERSECT = 0x2000000L,
        FLAG_NO_ONES = 0x4000000L,        // the same bit as G3Obj's Mark2
        FLAG_FACETED_BY_ACIS = 0x8000000L // the same bit as G3Obj's Mark
    };
    // Bit of the flags word of normals and texture coordinates that
    // RemoveUnusedNormal / RemoveUnusedTexCoo use while they run.
    enum : long { FLAG_USED = 0x400000L };

    // `vertices` with the default collection parameters; no other
    // collection.
    G3Shell();
    // `vertices` with initial capacity n (increment 1024).
    explicit G3Shell(int n);
    // A shell owns its collections and deletes them with itself: a shallow
    // copy would delete every entity twice, so shells are not copyable.
    // Deep copies go through G3Surface::Copy / Duplicate.
    G3Shell(const G3Shell&) = delete;
    G3Shell& operator=(const G3Shell&) = delete;
    // Deletes every vertex, normal, texture coordinate, edge, facet and
    // polyedge with their collections, the polyedge vertex array (not the
    // vertices in it) and the attached provider.
    ~G3Shell() override;

    // Shells are copied only by G3Surface::Copy; this does nothing.
    void Copy(GObj* source) override;

    // ---- collections
    GArrayCollection* GetVertexList() const { return vertices; }
    GArrayCollection* GetNormalList() const { return normals; }
    GArrayCollection* GetTexCooList() const { return texCoos; }
    GArrayCollection* GetEdgeList() const { return edges; }
    GArrayCollection* GetFacetList() const { return facets; }
    GArrayCollection* GetPolyEdgeList() const { return polyEdges; }
    GArrayCollection* GetPolyEdgeVertexList() const { return polyEdgeVertices; }
    // 0 when the collection does not exist.
    int GetVertexCount() const;
    int GetNormalCount() const;
    int GetTexCooCount() const;
    int GetEdgeCount() const;
    int GetPolyEdgeCount() const;
    int GetFacetCount() const;
    // Entity i of a collection; null for a missing collection or an index
    // outside it.
    G3Vertex* GetVertex(int i) const;
    G3Normal* GetNormal(int i) const;
    G3TexCoo* GetTexCoo(int i) const;
    G3Edge* GetEdge(int i) const;
    G3Facet* GetFacet(int i) const;
    G3PolyEdge* GetPolyEdge(int i) const;

    // ---- shell flags
    void SetSmooth() { flags |= FLAG_SMOOTH; }
    void ClearSmooth() { flags &= ~FLAG_SMOOTH; }
    bool GetSmooth() const { return (flags & FLAG_SMOOTH) != 0; }
    void SetSolid() { flags |= FLAG_SOLID; }
    void ClearSolid() { flags &= ~FLAG_SOLID; }
    bool GetSolid() const { return (flags & FLAG_SOLID) != 0; }
    void SetUpdated() { flags |= FLAG_UPDATED; }
    void ClearUpdated() { flags &= ~FLAG_UPDATED; }
    bool GetUpdated() const { return (flags & FLAG_UPDATED) != 0; }
    void SetTestConcave() { flags |= FLAG_TEST_CONCAVE; }
    void ClearTestConcave() { flags &= ~FLAG_TEST_CONCAVE; }
    bool GetTestConcave() const { return (flags & FLAG_TEST_CONCAVE) != 0; }
    void SetTestIntersect() { flags |= FLAG_TEST_INTERSECT; }
    void ClearTestIntersect() { flags &= ~FLAG_TEST_INTERSECT; }
    bool GetTestIntersect() const { return (flags & FLAG_TEST_INTERSECT) != 0; }
    void SetNoOnes() { flags |= FLAG_NO_ONES; }
    void ClearNoOnes() { flags &= ~FLAG_NO_ONES; }
    bool GetNoOnes() const { return (flags & FLAG_NO_ONES) != 0; }
    void SetFacetedByACIS() { flags |= FLAG_FACETED_BY_ACIS; }
    void ClearFacetedByACIS() { flags &= ~FLAG_FACETED_BY_ACIS; }
    bool GetFacetedByACIS() const { return (flags & FLAG_FACETED_BY_ACIS) != 0; }

    // ---- the attached shell provider
    // Attaches `p` (the shell takes ownership; a provider attached before is
    // deleted first).
    void SetExDataProvider(G3ShellExDataProvider* p);
    // Deletes the attached provider and clears the link. Hides the static
    // G3Obj::RemoveExDataProvider(G3ExDataProvider*); qualify that one.
    void RemoveExDataProvider();
    G3ShellExDataProvider* GetExDataProvider() const { return exDataProvider; }
    // For each kind (vertices, normals, texture coordinates, edges, facets,
    // polyedges) whose IsExData query is true, the open (close) hook for
    // every entity of that kind.
    void OpenExData();
    void CloseExData();

    // The hooks, forwarding to the attached provider; OpenExDataFacet and
    // OpenExDataPolyEdge also let the object providers open the entity.
    void OpenExDataEdge(G3Edge* e) override;
    void OpenExDataPolyEdge(G3PolyEdge* p) override;
    void CloseExDataEdge(G3Edge* e) override;
    void CloseExDataPolyEdge(G3PolyEdge* p) override;
    void OpenExDataVertex(G3Vertex* v) override;
    void CloseExDataVertex(G3Vertex* v) override;
    void OpenExDataNormal(G3Normal* n) override;
    void CloseExDataNormal(G3Normal* n) override;
    void OpenExDataTexCoo(G3TexCoo* t) override;
    void CloseExDataTexCoo(G3TexCoo* t) override;
    void OpenExDataFacet(G3Facet* f) override;
    void CloseExDataFacet(G3Facet* f) override;
    bool IsExDataEdge() override;
    bool IsExDataVertex() override;
    bool IsExDataNormal() override;
    bool IsExDataTexCoo() override;
    bool IsExDataFacet() override;
    bool IsExDataPolyEdge() override;

    // The scratch link of a vertex, normal or facet as the entity holds it
    // outside an open preview: while one is open the entity's link points
    // to its saved state, which keeps the entity's own link. SetOwnExData
    // stores the entity's own link there, so that CloseTransformation gives
    // it back (an entity added during the preview is tracked like the
    // others).
    GObj* GetOwnExData(const G3Vertex* v) const;
    GObj* GetOwnExData(const G3Normal* n) const;
    GObj* GetOwnExData(const G3Facet* f) const;
    void SetOwnExData(G3Vertex* v, GObj* link);
    void SetOwnExData(G3Normal* n, GObj* link);
    void SetOwnExData(G3Facet* f, GObj* link);

    // ---- adding (each returns the new entity, or null when its collection
    // does not exist)
    G3Vertex* AddVertex(const double* xyz, unsigned long tag);
    G3Vertex* AddVertex(double x, double y, double z, unsigned long tag);
    G3Normal* AddNormal(const double* xyz);
    G3Normal* AddNormal(double x, double y, double z);
    // A new normal with n's coordinates (null for a null n).
    G3Normal* AddNormal(const G3Normal* n);
    G3TexCoo* AddTexCoo(const double* uv);
    G3TexCoo* AddTexCoo(double u, double v);
    G3TexCoo* AddTexCoo(const G3TexCoo* t);
    // id = the collection's size, append, open hook. Null (and nothing
    // appended) for a null entity or a missing collection.
    G3Vertex* AddVertexToCollection(G3Vertex* v);
    G3Normal* AddNormalToCollection(G3Normal* n);
    G3TexCoo* AddTexCooToCollection(G3TexCoo* t);
    G3PolyEdge* AddPolyEdgeToCollection(G3PolyEdge* p);

    // ---- removing
    // Refused (false) while the vertex has edges, while a listed edge (one
    // left without facets, out of the rings, included) or a polyedge names
    // it.
    bool RemoveVertex(G3Vertex* v);
    // Refused (false) while the edge has a facet; the caller has taken it
    // out of the vertex rings.
    bool RemoveEdge(G3Edge* e);
    // Takes the facet's edges off it (edges left without facets leave the
    // vertex rings and stay in `edges`), then deletes the facet.
    bool RemoveFacet(G3Facet* f);
    bool RemoveNormal(G3Normal* n);
    bool RemoveTexCoo(G3TexCoo* t);
    // The polyedge's vertex run stays in the polyedge vertex array.
    bool RemovePolyEdge(G3PolyEdge* p);

    // ---- whole shell
    void AssignVertexIds();
    void AssignNormalIds();
    void AssignTexCooIds();
    void AssignEdgeIds();
    void AssignFacetIds();
    // Texture coordinates, normals, vertices, edges, facets.
    void AssignIds();

    // ORs `mask` into (set) or clears it from the flags of every entity.
    static void ChangeFlags(GArrayCollection* list, int mask, bool set);
    void ChangeVertexFlags(int mask, bool set);
    void ChangeNormalFlags(int mask, bool set);
    void ChangeTexCooFlags(int mask, bool set);
    void ChangeEdgeFlags(int mask, bool set);
    void ChangeFacetFlags(int mask, bool set);

    void ReverseNormals();
    // Per-axis bounds of every vertex (used or not); zeros without
    // vertices.
    void FormEnvelope(GEnvelope* env);
    // Bounds of the texture coordinates (u, v in x, y; z is 0); zeros
    // without any.
    void FormTexCooEnvelope(GEnvelope* env);
    void ReallocByRealSize();

    // ---- virtual operations
    // Saves the state that Transformation starts from: vertex positions and
    // facet planes (when `vertices`) and normals (when `normals`). Entities
    // added while the preview is open are saved as they enter; a facet added
    // so gets the plane of its restored vertices at close.
    virtual void OpenTransformation(bool vertices, bool normals);
    // Applies `m` to the saved state (calls never accumulate).
    virtual void Transformation(double m[4][4]);
    // Restores the saved state exactly and drops the saved copies.
    virtual void CloseTransformation();
    // Permanent transformation of vertices, normals and polyedge records.
    virtual void RealTransformation(double m[4][4]);
    virtual void Normalize() {}
    virtual void RemoveUnused();
    virtual void RemoveUnusedFacet();
    // Vertices without edges that no listed edge names; nothing while the
    // shell has polyedges (their vertices have no edges).
    virtual void RemoveUnusedVertex();
    virtual void RemoveUnusedEdge();
    virtual void RemoveUnusedNormal();
    virtual void RemoveUnusedTexCoo();
    virtual void TransformExDataPolyEdge(G3PolyEdge* p, double m[4][4]);

protected:
    // Each unlists the entity (the last entity takes its slot and id) and
    // calls the matching close hook. False when it is not in the
    // collection.
    bool RemoveVertexFromCollection(G3Vertex* v);
    bool RemoveNormalFromCollection(G3Normal* n);
    bool RemoveTexCooFromCollection(G3TexCoo* t);
    bool RemoveEdgeFromCollection(G3Edge* e);
    bool RemoveFacetFromCollection(G3Facet* f);
    bool RemovePolyEdgeFromCollection(G3PolyEdge* p);

    // RemoveUnusedVertex for a caller that already knows which listed
    // vertices some listed edge names: namedAt[i] for the vertex at place
    // i (places beyond namedAt count as not named).
    void RemoveBareVertices(const std::vector<char>& namedAt);

    // Exchanges the seven collections with `other` (nothing else). The
    // caller repoints anything that names its owner (facets' parent
    // surface); G3Surface::MoveContentsFrom does.
    void SwapCollections(G3Shell& other);

    GArrayCollection* vertices = nullptr;
    GArrayCollection* normals = nullptr;
    G3ShellExDataProvider* exDataProvider = nullptr;
    GArrayCollection* facets = nullptr;
    GArrayCollection* edges = nullptr;
    GArrayCollection* texCoos = nullptr;
    GArrayCollection* polyEdges = nullptr;
    GArrayCollection* polyEdgeVertices = nullptr;
};
