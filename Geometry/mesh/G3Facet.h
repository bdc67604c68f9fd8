#pragma once
// A planar polygon, possibly with holes. Its boundary is one singly linked
// chain of edges from firstEdge to lastEdge, threaded through the edges: on
// each edge the link to follow is facet1Edge when the edge's facet1 is this
// facet, else facet2Edge. Contours (the outer one, then each hole) follow one
// another in the chain; a contour ends where the next edge shares no vertex
// with it. The chain order together with the plane is the orientation.

#include "Geometry/foundation/GHeap.h"
#include "Geometry/foundation/GPrefetch.h"
#include "Geometry/mesh/G3Obj.h"

class G3Edge;
class G3Normal;
class G3TexCoo;
class G3Vertex;
class G3Surface;
class GArrayCollection;

class G3Facet : public G3Obj {
    G_DECLARE_POOL(G3Facet)
public:
    enum : long { FLAG_DOUBLE_SIDED = 0x1L };

    // No edges, no parent, sub-surface 0 and the zero plane, wherever the
    // object lives.
    G3Facet() = default;

    // G3Obj::Copy, then the chain ends, the sub-surface index and the plane
    // (not the parent surface).
    void Copy(GObj* source) override;
    char* ToString() override { return nullptr; }
    int GetObjectType() override { return 4; }

    G3Edge* GetFirstEdge() const { return firstEdge; }
    void SetFirstEdge(G3Edge* e) { firstEdge = e; }
    G3Edge* GetLastEdge() const { return lastEdge; }
    void SetLastEdge(G3Edge* e) { lastEdge = e; }
    bool HasEdges() const { return firstEdge != nullptr; }
    // Asks for the memory of the chain's ends, ahead of a walk.
    void PrefetchChainEnds() const
    {
        GPrefetch(&firstEdge);
        GPrefetch(&lastEdge);
    }

    int GetSurface() const { return surface; }
    void SetSurface(int s) { surface = s; }
    void SetDefSurface() { surface = 0; }
    G3Surface* GetParentSurface() const { return parentSurface; }
    void SetParentSurface(G3Surface* s) { parentSurface = s; }

    void SetDoubleSided() { flags |= FLAG_DOUBLE_SIDED; }
    void ClearDoubleSided() { flags &= ~FLAG_DOUBLE_SIDED; }
    bool GetDoubleSided() const { return (flags & FLAG_DOUBLE_SIDED) != 0; }

    // --- the chain
    // Appends `e` (whose facet1 or facet2 must already be this facet);
    // ignores an edge that does not name this facet or is in the chain.
    void AddEdge(G3Edge* e);
    // Unlinks `e`, then clears its facet pointer and link on this side; false
    // and nothing changed when `e` is not in the chain.
    bool RemoveEdge(G3Edge* e);
    // Empties the chain; an edge left without facets also leaves the rings of
    // its vertices. No edge is deleted.
    void RemoveEdges();
    // Puts `newEdge` in `oldEdge`'s place, moving this facet's corner data
    // along with the vertices. Refused (false, nothing changed, a trace
    // diagnostic) when `newEdge` already borders this facet, has no free
    // side for it or does not join oldEdge's two vertices.
    bool ChangeEdges(G3Edge* oldEdge, G3Edge* newEdge);
    // ChangeEdges where the caller knows the chain edge before oldEdge
    // (null for the first): a pass changing many edges of one long chain
    // need not walk it for each. Refused as well when `pred` is not that.
    bool ChangeEdgesAfter(G3Edge* pred, G3Edge* oldEdge, G3Edge* newEdge);
    // Replaces `e` by the `n` edges of `parts` (each already naming this
    // facet on one side), ordered so that the chain stays connected. `e`
    // itself is left untouched. False, nothing changed, when `e` is not in
    // the chain, `n` < 1, or a part does not border this facet.
    bool DivideEdge(G3Edge* e, int n, G3Edge** parts);
    bool DivideEdge(G3Edge* e, G3Edge* a, G3Edge* b);
    // Collapses `e` into `v` (defined with the welding passes): every chain
    // edge whose ends become one vertex when e's ends stand for v (e and any
    // edge parallel to it) is cut out of the chain and loses this facet; any
    // other edge with an end at one of e's vertices is moved onto v there
    // (rings updated). Nothing when e does not name this facet or v is not
    // a vertex of the facet's surface.
    void ChangeEdgeToVertex(G3Edge* e, G3Vertex* v);
    // Reverses the chain.
    void RotateEdges();
    // Turns the facet around: reversed chain, negated plane.
    void NegPlane();

    // --- the plane a*x + b*y + c*z + d = 0, (a, b, c) towards the front
    double* GetPlane() { return plane; }
    const double* GetPlane() const { return plane; }
    double GetPlaneA() const { return plane[0]; }
    double GetPlaneB() const { return plane[1]; }
    double GetPlaneC() const { return plane[2]; }
    double GetPlaneD() const { return plane[3]; }
    void SetPlane(const double* abcd);
    bool IsPlaneZero() const;
    // The facet has no area: its plane is zero, or its three or more corners
    // lie on one line (such a facet keeps a plane through the line for
    // projection, see FormPlaneEquation).
    bool IsTrivial() const;
    // The plane of the facet's contours (ContoursPlane); when that gives
    // the zero plane, the plane of the largest triangle of the vertex walk
    // instead, and for corners on one line a plane through that line.
    // Returns true.
    bool FormPlaneEquation();
    // The same, and in the same walk *box = FormEnvelope's box (for a
    // caller that needs both of every facet: one walk of the corners
    // instead of two).
    bool FormPlaneEquation(class GEnvelope* box);
    // The plane of the facet's contours, each closed on itself and their
    // area vectors summed (holes run against the outline and subtract),
    // through the centroid of the corners; false and a zero plane when that
    // has no normal. The chain walked as one polygon would add the area of
    // the jumps from one contour to the next, which can outweigh a holed
    // facet's own and turn its normal. For one contour it is the polygon
    // plane of the vertex walk.
    bool ContoursPlane(double* plane) const;
    // Negates plane (a, b, c and d) when the facet's contours face the other
    // way; a plane that agrees, or a facet whose contours give no normal,
    // keeps its bits. For planes formed some other way (a walk over the
    // whole chain, a plane set by a caller, one left from before a move).
    void TurnToContours(double* plane) const;

    // Whether the facet runs along `e` from its vertex1 to its vertex2
    // (judged against e's successor, the first edge when e is last).
    bool GetMoveDirection(const G3Edge* e) const;

    // --- counts and lists (chain order)
    int GetEdgeCount() const;
    // At least n edges in the chain, walking no more than n of them (a pass
    // choosing how to treat long chains need not count them).
    bool HasEdgesAtLeast(int n) const;
    int GetVertexCount() const { return GetEdgeCount(); }
    int GetEdges(G3Edge** out) const;
    int GetVertices(G3Vertex** out) const;
    void GetEdges(GArrayCollection* out);
    void GetVertices(GArrayCollection* out);
    // Each vertex's id + offset, stored as a pointer-sized integer.
    void GetVerticesIds(GArrayCollection* out, int offset);
    bool ContainsVertex(const G3Vertex* v) const;
    bool HasEdge(const G3Vertex* a, const G3Vertex* b) const;

    // The first edge has corner data.
    bool HasGeometry() const;
    // `f` has edges and its first edge has a corner normal for `f`.
    static bool HasGeometry(const G3Facet* f);
    bool TestForEqualsVertex() const { return false; }

    // --- corner data (the facet's normal and texture coordinate at a vertex,
    // kept on the facet's edges at that vertex)
    // Stores (n, t) as this facet's corner at v on every ring edge of v
    // that borders the facet. A pair of nulls is stored only when `force`.
    void SetNormal(G3Vertex* v, G3Normal* n, G3TexCoo* t, bool force);
    // The first non-null corner normal of this facet at v along v's ring
    // (its texture coordinate into *t); null when none.
    G3Normal* GetNormal(G3Vertex* v, G3TexCoo** t) const;
    // Adds one normal (a, b, c) of the plane to s and stores it, without a
    // texture coordinate, on both corners of every edge of the facet.
    void AssignNormalsByPlane(G3Surface* s);
    // The corner data of this facet interpolated at point p of its edge e
    // (G3Edge::Interpolate between e's two corners on this facet's side).
    // False, with null results, when the side has no vertex1 normal or the
    // interpolation yields none. The results belong to the caller.
    bool Interpolate(G3Edge* e, const double* p, G3Normal** n, G3TexCoo** t) const;

    // Area of the triangle (p1, p2, p3); fills `plane` (may be null) with its
    // unit plane through the centroid. A triangle whose doubled area is below
    // 1e-12 gives 0 and the zero plane.
    static double CalcRealSquareOfTriangle(const double* p1, const double* p2, const double* p3, double* plane);

    // --- Geometric queries (defined in G3FacetQueries.cpp)
    // Crossing count of the ray from p along +i over the closed polygon that
    // `vertices` yields (items that are not points are skipped), on the
    // coordinates i and j with `tolerance`. A point on the boundary counts
    // as inside: *onA is the vertex it lies on (*onB null), or *onA, *onB
    // are the ends of the edge it lies on, the lower id first. Both are null
    // otherwise. Either output pointer may be null.
    static bool PointInFacet(int i, int j, const double* p, class GIterator* vertices, G3Vertex** onA,
                             G3Vertex** onB, double tolerance);
    // The test on (0, 1), (0, 2), (1, 2) with tolerance 1e-6.
    static bool PointInFacetXY(const double* p, class GIterator* vertices, G3Vertex** onA, G3Vertex** onB);
    static bool PointInFacetXZ(const double* p, class GIterator* vertices, G3Vertex** onA, G3Vertex** onB);
    static bool PointInFacetYZ(const double* p, class GIterator* vertices, G3Vertex** onA, G3Vertex** onB);
    // The same test over this facet's contours, each closed on its own, the
    // crossings of all contours counted together (a point in a hole is
    // outside).
    bool PointInFacet(int i, int j, const double* p, G3Vertex** onA, G3Vertex** onB, double tolerance) const;
    bool PointInFacetXY(const double* p, G3Vertex** onA, G3Vertex** onB) const;
    bool PointInFacetXZ(const double* p, G3Vertex** onA, G3Vertex** onB) const;
    bool PointInFacetYZ(const double* p, G3Vertex** onA, G3Vertex** onB) const;
    // The XY test; when it holds, *depth (if given) = CalcDepth(p[0], p[1]).
    bool PointInFacet(const double* p, G3Vertex** onA, G3Vertex** onB, double* depth) const;
    // The projection pair that drops the dominant axis of the plane normal.
    void GetMaxCoo(int* i, int* j) const;
    // z of the plane over (x, y); for a plane with |c| < 1e-6, the z of the
    // first edge's vertex1 (0 without edges).
    double CalcDepth(double x, double y) const;
    // |normal . other normal - 1| < 1e-6 and |d - other d| < 1e-6.
    bool PlaneEquals(const double* other) const;
    // |d - other d| < distTolerance and |normal . other normal - 1| <
    // dotTolerance.
    bool PlaneEquals(const double* other, double distTolerance, double dotTolerance) const;
    // PlaneEquals, or the same tests with the d terms compared at `at` (a
    // point near both facets) instead of at the origin. Far from the origin
    // (site coordinates) two coplanar facets' normals, rounded apart by
    // 1e-10, move d by the distance times that: 1e-4 at 600 km, while both
    // planes still hold the same points where the facets are.
    bool PlaneEqualsNear(const double* other, const double* at) const;
    // Every vertex within 5e-7 of the plane.
    bool IsFlat() const;
    // Per-axis bounds of the vertices (the zero box without any); returns env.
    class GEnvelope* FormEnvelope(class GEnvelope* env) const;
    // Takes out of the chain every edge whose ends stand for one vertex (a
    // vertex stands for its exData link when set, else for itself); an edge
    // left without facets also leaves its vertex rings. With fewer than three
    // edges left the facet is emptied as by RemoveEdges and the result is
    // true.
    bool RemoveSmallEdges();
    // Cuts the boundary by `plane`: clears `list` and records the crossing
    // points, the on-plane vertices where the boundary crosses or touches,
    // and the edges lying in the plane as intervals, each contour walked on
    // its own. Owners are the boundary edges the points were found on.
    // Returns 1 when vertices lie on both sides, 0 when none lies on the
    // plane, 3 when all do, else 2. Without vertices: 0, `list` untouched.
    // A null list only classifies.
    int IntersectByPlaneConcave(const double* plane, class G3IntervalList* list);
    // The walk behind IntersectByPlaneConcave, with the signed value of each
    // vertex given by `value(xyz, context)` instead of a plane: a line on a
    // projection pair can play the plane's role. Same sides (1e-6), runs,
    // in-plane edges and crossings.
    using CutValueFunction = double (*)(const double* xyz, const void* context);
    int IntersectBoundary(CutValueFunction value, const void* context, class G3IntervalList* list);
    // Where the segment p1-p2 meets the plane, classified against the
    // contours (projection pair of GetMaxCoo, tolerance 1e-6): 0 when the
    // segment does not meet the plane in one point (both ends strictly on
    // one side, or both within 1e-6 of it), 1 inside, 2 on the boundary
    // (*onA, *onB as in PointInFacet), 3 outside. `point` (may be null)
    // receives the point whenever the result is not 0.
    int GetPlaneIntersect(const double* p1, const double* p2, double* point, G3Vertex** onA,
                          G3Vertex** onB) const;

    // --- Side queries of orientation and merging (defined in
    // Geometry/processing/G3FacetSideQueries.cpp)
    // On which side of the line a-b (projection on i, j) the facet lies
    // near its chain step a->b or b->a: +1 / -1 when the nearest vertices
    // off the line (1e-6) after and before the step agree (or only one side
    // has any), 0 when they disagree, neither exists, the step is missing,
    // or a-b is shorter than 1e-6 in projection.
    int GetIntersectionSignByEdge(G3Vertex* a, G3Vertex* b, int i, int j);
    // A point strictly inside the facet's x-y projection (holes are
    // outside): on a horizontal line between the vertices' y extremes, the
    // middle region of the widest pair of crossings. False, x and y
    // unchanged, when no pair of crossings has width.
    bool GenerateXYPointInFacetConcave(double& x, double& y);

    // --- Cut queries of the boolean engine (defined in
    // Geometry/boolean/G3FacetCutQueries.cpp)
    // The parts of the segment p1-p2 that lie in this (coplanar) facet, in
    // `out` (cleared first; may be null): the line through the segment on
    // the projection pair of GetMaxCoo cuts the boundary as a plane would
    // (IntersectBoundary), the cut is paired into intervals and clipped to
    // the segment. False for an empty facet, a segment shorter than 1e-6 in
    // projection, or when nothing is left.
    bool FindIntervalsLieInFacet(const double* p1, const double* p2, class G3IntervalList* out);
    // The boundary pieces of the overlap of two coplanar facets in `out`
    // (cleared first; may be null): the parts of other's edges lying in this
    // facet, then the parts of this facet's edges lying in other. Only edges
    // single between their two vertices within their facet take part. False
    // when none of other's edges enters this facet.
    bool FindFacetsIntersection(G3Facet* other, class G3IntervalList* out);
    // A point inside the facet on the projection pair (i, j): the centroid of
    // three consecutive vertices of a contour (the last triple first) that
    // lies strictly inside; when no centroid does, a point on a scan line
    // through the widest gap between the vertices' j values. A centroid on
    // the boundary is the answer only when neither finds an inner point.
    // False, p untouched, when no point of the facet was found.
    bool GeneratePointInFacetConcave(int i, int j, double* const p);
    // The same with the first `skip` strict inner centroids passed over:
    // another inner point, or the same fallbacks when none is left.
    bool GenerateOtherPointInFacet(int i, int j, int skip, double* const p);
    // Points off the centroids, for a facet whose centroids all tell the
    // caller nothing (a triangle has one): weighted points of the triples of
    // consecutive vertices (a triangle's own triple once), the first `skip`
    // of those strictly inside and clear of the edges passed over. False,
    // p untouched, when no such point is left.
    bool GenerateSpreadPointInFacet(int i, int j, int skip, double* const p);
    // The same over the closed polygon of the G3Points in `vertices` (other
    // items are skipped).
    static bool GeneratePointInFacetConcave(int i, int j, double* const p, GArrayCollection* vertices);

protected:
    // The edge before `e` in the chain (null when e is first) and whether
    // `e` was found at all.
    bool FindEdge(const G3Edge* e, G3Edge** pred) const;
    // Links `from` to `to` on this facet's side, or makes `to` the first edge
    // when `from` is null.
    void LinkAfter(G3Edge* from, G3Edge* to);

    G3Edge* firstEdge = nullptr;
    G3Edge* lastEdge = nullptr;
    int surface = 0;
    G3Surface* parentSurface = nullptr;
    double plane[4] = {0.0, 0.0, 0.0, 0.0};
};
