#pragma once
// The mesh every algorithm of the kernel reads and returns. On top of the
// shell's collections it keeps the topology consistent while a mesh is
// built (AddEdge, the AddFacet family, AddFacetEdges, SplitEdge), numbers
// sub-surfaces, gives new edges their flags and new facets their default
// extended data, and copies itself deeply (Copy, Duplicate).
//
// Declared here, defined elsewhere: Save, Load, ScaleCoo and the VRML writer
// (Geometry/processing). Loading builds a temporary surface and moves it
// into an empty one in one piece with MoveContentsFrom.

#include "Geometry/foundation/GHeap.h"
#include "Geometry/mesh/CExData.h"
#include "Geometry/mesh/G3Shell.h"

#include <cstdint>
#include <cstdio>
#include <vector>

class G3EdgeList;
struct G3EdgeCopy;
struct G3PiecePlaces;
struct G3PieceScratch;

// How G3Surface::GenerateTexCoo lays texture coordinates out; only the
// planar layout exists, and every value gives it.
enum TEXTURE_PROJECTION_MODE {
    TEXTURE_PROJECTION_PLANAR = 0,
};

// The levels of G3Surface::Update.
enum CHECK_LEVEL {
    CHECK_LEVEL_WELD = 1001,
    CHECK_LEVEL_FACETS = 1002,
    CHECK_LEVEL_INTERSECTIONS = 1003,
};

class G3Surface : public G3Shell {
    G_DECLARE_POOL(G3Surface)
public:
    // `vertices`, `facets`, `edges`, `normals` and `texCoos` with the
    // default collection parameters.
    G3Surface();
    // Capacity hints: a vertices (2a edges), b normals.
    G3Surface(int a, int b);
    // Capacity hints: b vertices and normals, 2a edges, c facets.
    G3Surface(int a, int b, int c);
    G3Surface(const G3Surface&) = delete;
    G3Surface& operator=(const G3Surface&) = delete;
    ~G3Surface() override;

    void print() override {}
    // Appends a deep copy of `source` (a G3Surface) to this surface: see
    // G3Surface.cpp. Restores the source's ids first.
    void Copy(GObj* source) override;
    // Appends src's entities as Copy(src) does, moving them over instead of
    // copying them: src is left without entities, its outside data and
    // counts gone as if it had been copied and emptied. Only while nothing
    // watches entities come and go (no shell provider on either surface,
    // no object provider registered) and src has no polyedges; otherwise
    // false, and nothing is done.
    bool AppendMoving(G3Surface* src);
    // A new surface holding a deep copy of this one.
    G3Surface* Duplicate() override;
    int GetObjectType() override { return 2; }
    // G3Shell::RealTransformation, then FormPlaneEquation.
    void RealTransformation(double m[4][4]) override;

    // ---- numbers and defaults
    // Increments the last handed-out sub-surface number and returns it.
    int GetNextSurface() { return ++nextSurface; }
    void SetNextSurface(int n) { nextSurface = n; }
    int PeekNextSurface() const { return nextSurface; }
    int GetSurface() const { return surface; }
    void SetSurface(int s) { surface = s; }
    int GetEdgeFlags() const { return edgeFlags; }
    void SetEdgeFlags(int f) { edgeFlags = f; }
    // Copied (shared) into every facet that enters the surface.
    CExData& GetExtendedDataFacetDefault() { return extendedDataFacetDefault; }
    int GetMaterialFacetsCount() const { return materialFacetsCount; }
    void SetMaterialFacetsCount(int n) { materialFacetsCount = n; }
    int IncMaterialFacetsCount() { return ++materialFacetsCount; }
    // Decrements unconditionally.
    int DecMaterialFacetsCount() { return --materialFacetsCount; }
    int GetSelectesFacetsCount() const { return selectedFacetsCount; }
    void SetSelectesFacetsCount(int n) { selectedFacetsCount = n; }
    int IncSelectesFacetsCount() { return ++selectedFacetsCount; }
    // Decrements only above 0.
    int DecSelectesFacetsCount()
    {
        if (selectedFacetsCount > 0)
            --selectedFacetsCount;
        return selectedFacetsCount;
    }

    // ---- construction core
    // id = the collection's size, append, open hook. The facet also gets
    // this surface as its parent and, after the hook, the default extended
    // data. Null, nothing changed, for a null entity, a missing collection,
    // an entity listed here already (at its id), a facet of another surface
    // and an edge bordering one: the two owners would delete it twice.
    G3Edge* AddEdgeToCollection(G3Edge* e);
    G3Facet* AddFacetToCollection(G3Facet* f);

    // The edge start-end for facet f (see G3Surface.cpp): an existing edge
    // between the two vertices with a free side is shared, otherwise a new
    // one is made. Null when start is end (or either is null), or f is
    // another surface's facet.
    G3Edge* AddEdge(G3Vertex* start, G3Vertex* end, G3Facet* f);

    // A facet through the n vertices (edge i runs from v[i] to v[i+1 mod n]
    // with edgeFlags[i]; a null edgeFlags keeps the surface's current
    // flags). Corner normals and texture coordinates are optional arrays of
    // n entries. Null when fewer than 3 edges could be made; the partial
    // facet is taken apart again.
    G3Facet* AddFacet(int n, G3Vertex** v, int* edgeFlags, G3Normal** normals, G3TexCoo** texCoos);
    G3Facet* AddFacet(int n, G3Vertex** v, int edgeFlags, G3Normal** normals, G3TexCoo** texCoos);
    // The same by indexes into vertices, normals and texCoos. A bad index
    // (or a missing collection) gives null and changes nothing.
    G3Facet* AddFacet(int n, int* vertexIds, int* edgeFlags, int* normalIds, int* texCooIds);
    G3Facet* AddFacet(int n, int* vertexIds, int edgeFlags, int* normalIds, int* texCooIds);
    // AddFacet(n, ids, GetEdgeFlags(), null, null) for `count` facets in
    // turn, facet i through the vertex ids ids[starts[i] .. starts[i + 1])
    // (starts[0] is 0): the surface ends exactly as that loop leaves it, and
    // made[i] (when `made` is not null) gets facet i or null where it was
    // refused. On a surface without edges the edges are found by sorting all
    // the sides once instead of walking vertex rings (G3SurfaceBulk.cpp).
    // The number of facets made.
    int AddFacetsByIds(int count, const std::uint32_t* starts, const std::uint32_t* ids, G3Facet** made);
    // A facet from the edges of another mesh (each gives its vertices,
    // flags and facet1 corners), with the given facet flags and
    // sub-surface. Null (nothing changed) unless the edges run end to
    // start (vertex2 to the next one's vertex1) into closed contours.
    G3Facet* AddFacet(GArrayCollection* edgeList, int facetFlags, int surface);
    // The same from n edge copies (G3EdgeCopy.h) in chain order.
    G3Facet* AddFacetOfCopies(const G3EdgeCopy* copies, int n, int facetFlags, int surface);
    // Appends one more contour (typically a hole) from `list` to f. Null,
    // nothing changed, when f is not a facet of this surface.
    G3Facet* AddFacetEdges(G3Facet* f, G3EdgeList* list);

    // SplitEdge(e, 1, &v, false).
    bool SplitEdge(G3Edge* e, G3Vertex* v);
    // Replaces e by the edges e.vertex1 -> vs[0] -> ... -> vs[n-1] ->
    // e.vertex2 in both its facets (corner data interpolated at the new
    // vertices) and deletes e. Entries that repeat the previous vertex or
    // equal e's ends are skipped. False (nothing changed) when no entry
    // remains or e is not an edge of this surface.
    bool SplitEdge(G3Edge* e, int n, G3Vertex** vs, bool reverse);

    // A polyline through n (>= 2) vertices.
    G3PolyEdge* AddPolyEdge(int n, G3Vertex** vs);
    // The same by vertex ids; a bad id gives null and changes nothing.
    G3PolyEdge* AddPolyEdge(int n, int* vertexIds);
    using G3Shell::GetPolyEdge;
    // Segment i of polyedge `index`; false (both ends null) for a bad index.
    bool GetPolyEdge(int index, int i, G3Vertex** a, G3Vertex** b);
    // Vertex count and the address of the run of polyedge `index`; false
    // (0 and null) for a bad index.
    bool GetPolyEdge(int index, int* n, G3Vertex*** vs);

    // Every vertex pair of an edge carries an even number of facet sides
    // (a double-sided facet counting two); an empty surface is closed.
    bool GetClosed();
    // The same test on the pairs of the edges begin .. end - 1 only (the
    // range clamped to the edge list), so that the halves of a large
    // surface can be tested side by side.
    bool GetClosed(int begin, int end);
    // False without facets, else whether the first facet has corner data.
    bool HasGeometry();
    void FormPlaneEquation();
    void NegPlane();
    // Negates every normal, then NegPlane.
    void NegNormals();
    // G3Facet::AssignNormalsByPlane on every facet without corner normals.
    void AssignNormalsByPlane();

    // Moves every entity of `built`, a surface built aside, into this empty
    // surface in one piece: the collections change hands, every facet names
    // this surface as its parent, and `built` is left empty. Numbers,
    // flags, facet defaults and providers stay where they are (a reader
    // gives the aside surface this one's beforehand, and copies back what
    // it wants kept). The attached shell provider hears of nothing: the
    // caller opens the moved entities when it needs that. Refused (false,
    // nothing changed) when this surface holds any entity or `built` is
    // this surface, so that nothing of this surface is lost.
    bool MoveContentsFrom(G3Surface& built);

    // Two opaque host pointers kept for this surface by the hit-data object
    // provider.
    void SetExtAcisHitData(void* a, void* b);
    void GetExtAcisHitData(void** a, void** b);

    // ---- persistence (Geometry/processing)
    bool Save(const char* fileName);
    bool Load(const char* fileName);
    // Load from a dump held in memory. On failure (nothing changed)
    // *errorLine is the line where reading stopped (0 when no line is at
    // fault) and *reason a text saying why (for a mesh that fails
    // G3MeshCheck, the check's report, valid until the next call on this
    // thread); either may be null.
    bool LoadFromText(const char* text, std::size_t size, int* errorLine = nullptr, const char** reason = nullptr);
    void ScaleCoo(double s);
    static bool VRMLWriteBegin(const char* fileName, FILE** out);
    static bool VRMLWrite(FILE* file, G3Surface* s, double const* color);
    static bool VRMLWriteEnd(FILE* file);

    // ---- welding and cleanup (Geometry/processing/G3SurfaceWeld.cpp,
    // G3SurfaceCleanup.cpp). Points are equal when strictly closer than
    // 1e-6. A welded duplicate's exData names its representative (an
    // earlier equal entity); representatives keep a null link.
    // Welds coincident vertices through a point hash over the envelope,
    // then RemoveUnused.
    void RemoveEqualsVertex();
    // Marks duplicates (exData) and rewires the mesh onto representatives;
    // duplicates are left in the shell with empty rings.
    void RemoveEqualsVertex(class G3PointHash* hash);
    // Second half of the above: drops collapsed edges and facets, moves
    // edges onto representatives. The hash takes no part.
    void RemoveEqualsVertex2(class G3PointHash* hash);
    // Welding, splitting edges at vertices lying on them, RemoveUnused.
    void RemoveEqualsVertexAndDivideEdges();
    // DivideEdgeByVertex for every edge (a snapshot of the edge list /
    // each entry of `edges`), with the hashed vertices near the edge.
    void DivideEdgesByVertex(class G3PointHash* hash);
    void DivideEdgesByVertex(GArrayCollection* edges, class G3PointHash* hash);
    // Splits e at the candidate vertices lying on its interior (sorted in
    // place); whether it split.
    bool DivideEdgeByVertex(G3Edge* e, GEnvelope* box, GArrayCollection* candidates);
    // Normalises and welds normals, welds texture coordinates.
    void RemoveEqualsNormal();
    // Removes every facet equal (all vertices, forwards or backwards) to
    // an earlier one. What the two copies were is read from the other
    // facets along their edges: with none (a sheet given once each way)
    // the earlier copy is kept, double-sided when the two had the same
    // flag; with an even number on every edge (the back-to-back walls of
    // two solids that touch) both go; otherwise (a facet listed twice in
    // a solid or sheet) the earlier copy is kept, double-sided only when
    // both were, and the edges left side by side are stitched. Where those
    // roles would leave a pair of vertices with an odd number of facet
    // sides (facets wound either way) and keeping one copy or none of each
    // group can leave them all even, that choice is taken instead.
    void RemoveEqualsFacets();
    // Removes facets with a zero plane or fewer than three edges.
    bool RemoveTrivialFacets();
    // The same, and also facets whose corners all lie within `width` of
    // one line: after welding with edge division at that width such a
    // sliver's far corner is on its long side, and the neighbour across
    // that side would be split there while the sliver keeps it whole.
    bool RemoveTrivialFacets(double width);
    // Stitches pairs of boundary edges that join the same two vertices.
    // Where four or more facet sides meet along two vertices, each facet is
    // first paired with its neighbour about the edge on its solid's side,
    // so that solids touching along an edge stay apart.
    void RemoveNonManifoldEdges();
    // Fills boundary gaps with triangles; whether any was added.
    bool EncloseHoles();
    // Rebuilds every facet around `oldVertex` with `newVertex` in its place
    // (oldVertex stays in the shell). Both forms refuse (false, nothing
    // changed) a vertex that is not this surface's.
    bool ChangeVertex(G3Vertex* oldVertex, G3Vertex* newVertex);
    // Moves oldVertex's edges to newVertex; edges joining the two collapse,
    // are cut out of their facets and listed in `removed` (still in the
    // edge list, for the caller); oldVertex is removed from the shell.
    bool ChangeVertex(G3Vertex* oldVertex, G3Vertex* newVertex, GArrayCollection* removed);
    // Clears `out`, fills it with the edges joining a and b, returns their
    // facet sides (a double-sided facet counting two).
    static int GetCountEdges(G3Vertex* a, G3Vertex* b, GArrayCollection* out);

protected:
    // The steps of ChangeVertex(oldVertex, newVertex).
    void ChangeVertexInEdge(G3Edge* e, G3Vertex* oldVertex, G3Vertex* newVertex);
    void ChangeVertexInEdgeList(GArrayCollection* list, G3Vertex* oldVertex, G3Vertex* newVertex);
    // The boundary edge at one of e's ends, of another facet than e's, that
    // makes the smallest triangle with e; null when none.
    G3Edge* FindNearestEdge(G3Edge* e);
    // ---- end of welding and cleanup

public:
    // ---- triangulation and complex facets
    // (Geometry/processing/G3SurfaceTriangulate.cpp)
    // Mode bits: 4 every facet of four or more edges; otherwise 8 every
    // facet of more than four edges, and the rest tested against 2 (not
    // flat) and 1 (concave). Chosen facets are replaced by GLU's triangles,
    // the slivers it leaves along straight runs of a contour cut away (a
    // facet of n corners and no hole gives n - 2 triangles with area):
    // sides that were facet edges keep their flags, new diagonals get
    // newEdgeFlags; extended data, flags and sub-surface are carried over.
    // A facet GLU reports an error for (or gives no triangle) stays as it
    // is. Whether any facet was triangulated.
    bool Triangulate(int mode, int newEdgeFlags);
    // Collects every facet added until EndComplexFacet (scratch link).
    void BeginComplexFacet();
    // Fuses the collected facets (their contours resolved into simple
    // contours, holes bridged) and ends the bracket.
    void EndComplexFacet();
    // AddFacet(list, its facet flags, its sub-surface) for every
    // G3EdgeList of lists; the lists are deleted and lists is cleared.
    void AddFacets(GArrayCollection* lists);
    void AddFacetsEx(GArrayCollection* lists, G3Facet* facet, int event);
    // The boundary loop of an open surface (welds vertices first), vertices
    // appended to out in order; false (out as it was) for a closed surface
    // or a boundary that is not one simple loop.
    bool GetContour(GArrayCollection& out);
    // count new vertices at the given vertices' coordinates and, for
    // count > 2, one facet through them: the new vertex count, 0 when the
    // facet was refused, the previous vertex count for count <= 2.
    int AddOneFacetFromVertices(G3Vertex* vertexArray, int count);

protected:
    // Replaces f by its triangles; false (f untouched) when GLU fails.
    bool TriangulateFacet(G3Facet* f, int newEdgeFlags);
    // ---- end of triangulation and complex facets

public:
    // ---- orientation, normals and facet merging
    // (Geometry/processing/G3SurfaceOrient.cpp, G3SurfaceNormals.cpp,
    // G3SurfaceMerge.cpp). Every pass leaves marks and scratch links clear.
    // Fresh planes, then each facet whose plane points against the sum of
    // its corner normals (dot below -1e-6) is turned. False (nothing done)
    // when the surface has no corner normals.
    bool OrientNormals();
    // The other way round: the corners of each facet OrientNormals would
    // turn get their normals negated (texture coordinates kept), so that
    // the corner normals follow facets turned from the geometry alone;
    // then RemoveEqualsNormal. False (nothing done) when no facet faces
    // against its normals.
    bool TurnNormalsToFacets();
    // With corner normals and !force, OrientNormals. Otherwise orients
    // from the geometry alone: vertical probes through the x-y projection
    // orient the facets they cross by parity (lowest faces down), and each
    // probed facet's orientation spreads across manifold edges; a piece of
    // upright facets with no boundary of its own is probed along x, then
    // y. Facets no probe or spread reaches keep their orientation. Then
    // UnionFacets(4).
    bool OrientNormals2(bool force);
    // Whether OrientNormals2(false) keeps every facet as it is, and keeps
    // doing so once any closed pieces lying apart from the rest go. With
    // corner normals (every facet's first edge carrying them): no facet's
    // plane faces away from its normals. Without (no facet's): every pair
    // of facets the spread joins runs its edge in opposite directions, and
    // every probe facet casts no vote or a sure one to keep (its crossings
    // taken as a tree of any extent may give them), and every piece with
    // no boundary of its own holds a probe facet that casts one. Planes are
    // read as they are.
    bool KeepsOrientation();
    // axis = the dominant axis of the box of both edges; *aUp: a's vertex2
    // lies above its vertex1 along axis; *bUp likewise.
    static void FindEdgeOrientation(G3Edge* a, G3Edge* b, bool* aUp, bool* bUp);
    // Gives every corner without a normal the facet's plane normal; nothing
    // when the surface has no normals or for a facet with the zero plane.
    void HealNormals();
    // Vertex normals averaged from the planes of the facets around each
    // vertex: for every vertex (null) or for the corners of the listed
    // facets, averaging over listed facets only. A corner whose average has
    // no length keeps the normal it had.
    void AverageNormalsByPlanes(GArrayCollection* facets);
    // The same, each rewritten corner keeping its texture coordinate.
    void AverageNormalsByPlanesTexCooSafe(GArrayCollection* facets);
    // Averaged normals per smoothing group (facets joined by invisible
    // edges, with the same double-sided flag).
    void AverageNormalsByPlanes2();
    // Merges the two facets of every edge whose flags meet `mask`, when the
    // edge's vertex pair carries exactly those two sides, the two share one
    // unbroken run of edges, run along it in opposite directions, have the
    // same double-sided flag, and their extended data can be merged. The
    // number of merges. The planes are formed again when any merge was
    // made.
    int UnionFacets(int mask);
    // UnionFacets for a caller whose facets' planes are all formed from
    // their current corners (as FormPlaneEquation leaves them): merged
    // facets form their own as they are made, so the planes are not formed
    // again at the end. A large mesh is spared a pass over every facet.
    int UnionFacetsWithFreshPlanes(int mask);
    // Merges connected groups of coplanar facets (joined across invisible
    // edges, any edge for mask -1, or edges whose flags meet mask) into
    // facets with holes, each made from the group's first facet and
    // carrying the group's merged extended data; each hole is a contour of
    // its own, run against the outer one. A facet joins a group only when
    // its extended data merges with the group's (CExData::MergeIds) and
    // every corner lies within the flatness tolerance of the first facet's
    // plane; a group whose merged facets would not hold every corner within
    // that tolerance of their planes is left as it is. The number of groups
    // merged.
    int UnionInPlaneFacets(int mask);
    // Rebuilds every facet that has two edges with one side each (its
    // own) along one line over a common stretch (its contours run out and
    // back there: a slit from its border to one of its holes, left by a
    // cut along a line inside it, whether or not both runs were split at
    // the same vertices) as the facets its contours make with such runs
    // cancelled, the way UnionInPlaneFacets rebuilds a group; the rebuilt
    // facets carry the facet's data and records. The number of facets
    // rebuilt.
    int CancelRunsOutAndBack();
    // Edge flags set to 0 (invisible, not form-making) where the facets
    // along the edge are coplanar and lie on both sides of it (a fold of
    // overlapping facets is left). The number of edges cleared.
    int MarkInPlaneEdgesAsInvisible();
    // The same where every facet along the edge has the first one's plane
    // coefficient by coefficient (1e-6), whatever their sides.
    int MarkInPlaneEdgesAsInvisible2();
    void ExtendDoubleSidedFacets();
    // Rebuilds every facet whose contours cross or touch themselves into
    // simple facets (holes bridged); whether any was rebuilt. Welds
    // vertices first and works on coordinates scaled by 1000.
    bool RemoveSelfIntersections();

protected:
    // One propagation step: every unmarked neighbour of f across a
    // manifold edge with f's double-sided flag is turned to agree with f,
    // marked and queued.
    void OrientNormal2(G3Facet* f, GArrayCollection* queue);
    // Replaces f1 and f2 by one facet without e (and without the rest of
    // the run of edges they share); false, nothing changed, when the
    // contours cannot be joined.
    bool MergeFacets(G3Edge* e, G3Facet* f1, G3Facet* f2);
    // UnionFacets without forming the planes at the end.
    int MergeAcrossEdges(int mask);
    // AddFacetOfCopies into f, a listed facet left without edges, in place
    // of a new facet: f becomes what the new one would be (tag, links and
    // outside data cleared, the default extended data). False, f still
    // without edges, where AddFacetOfCopies would add nothing.
    bool RemakeFacetOfCopies(G3Facet* f, const G3EdgeCopy* copies, int n, int facetFlags, int surface);
    // RemoveNonManifoldEdges without its closing RemoveUnused.
    void JoinNonManifoldEdges();
    // The closing RemoveUnused of a merge that remade facets in place: the
    // facet list is left as if each remade facet had been appended new, in
    // the order of `appended` (the remade ones and those really appended),
    // its old slot left by a dead facet, and then the dead facets removed.
    // `listed` is the list's length before the merge.
    void RemoveUnusedAfterRemaking(int listed, const std::vector<G3Facet*>& remade,
                                   const std::vector<G3Facet*>& appended);
    // Takes away the texture coordinates, normals and vertices added after
    // the counts given (a contour resolution's, when its facets are not
    // made: nothing refers to them).
    void DropAddedSince(int vertexCount, int normalCount, int texCooCount);
    // ---- end of orientation, normals and facet merging

public:
    // ---- update levels (Geometry/boolean/G3SurfaceUpdate.cpp)
    // The one-call repair sequence. CHECK_LEVEL_WELD: RemoveEqualsVertex,
    // RemoveEqualsNormal, RemoveNonManifoldEdges, OrientNormals2(false).
    // CHECK_LEVEL_FACETS: RemoveSelfIntersections, RemoveEqualsFacets,
    // OrientNormals2(false). CHECK_LEVEL_INTERSECTIONS:
    // RemoveSelfIntersections, the boolean engine's RemoveSelfIntersection
    // (the surface cut along where it meets itself), OrientNormals2(false).
    // Any other value runs none of these. Then, at every level, the
    // collections are trimmed and, when the surface is not closed, every
    // facet is made double-sided.
    void Update(CHECK_LEVEL level);
    // What Update(CHECK_LEVEL_WELD) does after RemoveEqualsVertex.
    void UpdateAfterVertexWeld();

protected:
    // The end of every level: planes formed, collections trimmed, an open
    // surface's facets made double-sided.
    void FinishUpdate(CHECK_LEVEL level);

public:
    // ---- end of update levels

public:
    // ---- decomposition (Geometry/processing/G3SurfaceExplode.cpp,
    // G3SurfaceOutline.cpp)
    // Breadth first from `seed` across shared edges: every facet reached
    // (seed first) gets Mark3 and Mark4 and is appended to `out`. Facets
    // already holding Mark3 are not entered. The marks are left set for the
    // caller to clear. Nothing for a seed that is not this surface's.
    void GetAllAdjacentFaces(G3Facet* seed, GArrayCollection* out);
    // Appends one new surface per connected piece (facets joined by shared
    // edges, in the order of each piece's first facet): a copy of this
    // surface keeping only the piece's facets, run through
    // Update(CHECK_LEVEL_WELD). This surface is unchanged (its ids are
    // restored to its places). Returns the size of `out` afterwards (0 for
    // a null `out`). Each piece is built from its own entities (see
    // G3SurfacePiece.cpp), so the cost grows with the surface's size, plus
    // the weld's point hash over every vertex once; with providers or
    // polyedges each piece copies the whole surface first, and the cost
    // grows with pieces times surface size.
    int Explode(GArrayCollection* out);
    // ---- separation (Geometry/processing/G3SurfaceSeparate.cpp,
    // G3SurfacePiece.cpp): the rounds of G3BooleanCalculator::
    // Separate_Surface at the cost of each piece.
    // A copy of this surface less every facet but `piece` (a connected
    // piece: every facet joined to one of them across an edge is one of
    // them), as removing the other facets from the last down and then
    // RemoveUnused leave it: lists in those walks' orders, Mark3 and
    // Mark4 cleared on the facets (the edges' flags are copied). Ids must
    // be places. `slots` sized by this surface, all -1, comes back so.
    G3Surface* CopyOfComponent(const std::vector<G3Facet*>& piece, G3PieceScratch* slots);
    // Removes the piece `piece` (as for CopyOfComponent, sharing no vertex
    // with the rest) and what RemoveUnused would then remove, leaving the
    // lists and ids as removing its facets from the last down and then
    // RemoveUnused leave them, at the cost of the piece. `slots` holds the
    // corner counts of this surface's normals and texture coordinates
    // (G3CountCornerUses) and keeps them for what is left.
    void RemoveComponent(const std::vector<G3Facet*>& piece, G3PieceScratch* slots);
    // Whether Update(CHECK_LEVEL_WELD) leaves this surface, less any of
    // its pieces, as it is but for its normals' last bits: this surface is
    // such an update's output with nothing left for its passes to do, and
    // its pieces cannot reach one another. See G3SurfaceSeparate.cpp for
    // the conditions. Assigns ids. Costs about one update. The normals'
    // values after any number of updates (a cycle of one or two values
    // reached within a few dozen) go to `orbits` when given.
    bool PiecesComeApart(G3PieceScratch* orbits = nullptr);
    // A new surface holding a copy of `facet` alone: its vertices, corner
    // normals and texture coordinates, edge flags (0 becomes 1), contours
    // (holes stay holes), named extended data and provider records. Null
    // for a null facet, or one that makes no facet (no edges, a single
    // contour of fewer than three corners).
    static G3Surface* FormFacetSurface(G3Facet* facet);
    // A new surface made of the outlines of this surface's coplanar facet
    // groups (facets whose planes are equal, whether joined or not): each
    // group becomes facets with holes bounded by the edges that the group's
    // facets do not share among themselves. Reads the facets' planes as
    // they are and changes nothing here (the facet list is sorted as a
    // copy). Every vertex is copied, unused ones removed at the end.
    G3Surface* FormContourSurface();
    // Planar texture coordinates at every facet corner: the vertex's two
    // coordinates on the facet's projection pair (GetMaxCoo); each corner
    // keeps its normal. Texture coordinates no corner uses any more are
    // removed. Every mode gives the same result.
    void GenerateTexCoo(TEXTURE_PROJECTION_MODE mode);

protected:
    // Explode's copy of one piece (`piece`, facets of this surface found by
    // GetAllAdjacentFaces), as the whole surface's copy less the other
    // facets would stand when the weld's vertex pass reads it; every
    // vertex's scratch link names its representative among the copy's
    // vertices (`representatives`: by place in this surface, -1 for none).
    // `places` tells where the copy's entities stand in this surface.
    G3Surface* CopyOfPiece(GArrayCollection* piece, const std::vector<int>& representatives, G3PieceScratch* slots,
                           G3PiecePlaces* places);
    // The entities of this surface at the given places, each list in the
    // given order (facets at facetsAt, the rest at `places`, `slots`
    // naming each place's slot in the copy), copied as Copy makes them,
    // links to entities not taken dropped; every vertex's scratch link
    // names its representative (`representatives`: by place, -1 for none)
    // or, without them, is copied.
    G3Surface* CopyOfPlaces(const std::vector<int>& facetsAt, const G3PiecePlaces& places, const G3PieceScratch& slots,
                            const std::vector<int>* representatives);
    // What the weld's vertex pass (RemoveEqualsVertex) does to the whole
    // surface's copy, done on a copy of a piece with its scratch links
    // set: every list is left as the walks over the whole lists leave it.
    void RemoveEqualsVertexOfPiece(const G3PiecePlaces& places);
    // Explode with a copy of the whole surface per piece.
    int ExplodeByCopies(GArrayCollection* out);
    // Turns `edges` (G3Edges of this surface, every edge of a group of
    // facets in `plane`) into facets of `target`, whose vertex i copies this
    // surface's vertex i: edges listed twice (shared inside the group)
    // cancel, the rest are walked into contours, holes joined to the
    // contours around them, every contour turned to face `plane`.
    void FormContours(GArrayCollection* edges, const double* plane, G3Surface* target);
    // ---- end of decomposition

protected:
    // The facet-building core of AddFacet(n, v, ...): no check of n.
    G3Facet* _AddFacet(int n, G3Vertex** v, int* edgeFlags, G3Normal** normals, G3TexCoo** texCoos);
    // AddEdge's step on an existing edge: f takes a free side (1), f is
    // already on the other side (-1: f needs a new edge), no side free (0).
    int TakeSide(G3Edge* e, G3Facet* f);

    int nextSurface = 1;
    int surface = 1;
    int edgeFlags = 1;
    CExData extendedDataFacetDefault;
    int materialFacetsCount = 0;
    int selectedFacetsCount = 0;
};
