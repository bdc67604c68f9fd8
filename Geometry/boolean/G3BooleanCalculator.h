#pragma once
// The boolean engine: union, difference and intersection of closed
// polyhedral surfaces by facet classification. Where each part is defined:
// the working data of an operand (G3BooleanData.h), the preparation of both
// operands (G3BooleanPrepare.cpp), the classification of points by random
// rays (G3RayClassify.cpp) and of vertices and facets (G3BooleanClassify.cpp),
// the cut along the intersection curves (G3SurfaceIntersect.cpp,
// G3BooleanSplit.cpp, G3PlanarFaces.h), plane sections
// (G3BooleanSection.cpp), queries over one prepared surface
// (G3BooleanQueries.cpp) and the operations (G3BooleanOperations.cpp).
//
// Classification counts how often a ray from the point crosses the facets:
// odd is inside, even outside. A ray that meets a facet's boundary, or whose
// start lies in a facet's plane outside it while its end lies there too,
// gives no answer (SC_UNKNOWN); the classifiers then draw another ray, up to
// 100 times. Random directions come from the kernel's sequence (GRand), so
// a reseeded sequence repeats every answer.

#include "Geometry/boolean/G3SurfClassify.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GTolerance.h"

#include <memory>
#include <string>

class GArrayCollection;
class G3BCPointWriter;
class G3Edge;
class G3Facet;
class G3FacetTree;
class G3Grid;
class G3HeldFacets;
class G3IntervalList;
class G3PlaneCuts;
class G3RayTraceResult;
class G3Surface;
class G3Vertex;

// Extended-data events handed through the engine to G3Surface::AddFacetsEx
// unchanged; the engine's own results do not depend on the value.
enum GEVENT { GEVENT_NONE = 0 };

class G3BooleanCalculator {
public:
    // Both scratch collections made; no operands, no grid, no slice plane,
    // no intersection list, radius 0.
    G3BooleanCalculator();
    // Deletes the grid and the two collections (never the operands).
    ~G3BooleanCalculator();
    G3BooleanCalculator(const G3BooleanCalculator&) = delete;
    G3BooleanCalculator& operator=(const G3BooleanCalculator&) = delete;

    // Length of every classification ray.
    double GetRadius() const { return radius; }
    // Where a boolean delivers its intersection segments (not owned).
    void SetIntersectionList(G3IntervalList* l) { intersectionList = l; }

    // --- boolean operations (G3BooleanOperations.cpp)
    // The operations consume their operands: the returned surface is one of
    // them, modified in place, and the other is deleted. Add and Common
    // work on the operand with more facets and return that object; Sub
    // always works on and returns a. Null when nothing is left (the
    // operand is then deleted too). A null or facetless operand counts as
    // the empty solid: Add returns the other operand, Sub returns a (a null
    // a gives null, b deleted), Common deletes the other and returns null.
    // The same surface passed twice is taken as two equal solids (the
    // second is a duplicate). An operand with a coordinate that is not
    // finite, or too large to scale, is refused: both are deleted, null.
    // A result that is not closed (open or damaged operands) is marked not
    // solid.
    G3Surface* Add(G3Surface* a, G3Surface* b);
    G3Surface* Sub(G3Surface* a, G3Surface* b);
    // As Sub; e travels to the facet-building pass, and a is returned even
    // when it has no facets left.
    G3Surface* Sub(G3Surface* a, G3Surface* b, GEVENT e);
    G3Surface* Common(G3Surface* a, G3Surface* b);
    // Why the last operation failed, or "" when it did not. An operation
    // fails when both operands were closed (no edge open on one side) but
    // its result is not a closed, consistently oriented solid
    // (G3ClosedCheck): it then returns null, both operands deleted, rather
    // than hand back an open solid. The text names the first defect of the
    // result. Operands given inside out or twisted fail this way too, and
    // so does, where the operands touch within the weld or are small, a
    // result with facets on one another, a volume the operands' volumes
    // rule out, or an empty intersection (difference) where a corner of
    // one lies clearly inside the other (of a outside b).
    const std::string& GetFailureReason() const { return failureReason; }

    // --- slicing and cutting (G3BooleanSlice.cpp)
    // Splits the closed solid s by the plane n.x = d, n = (a, b, c) made
    // unit, d = plane[3] as given: *below the part with n.x <= d, *above
    // the other, each capped, both the caller's. True when both parts
    // exist. When one side is empty, false with the whole solid in *below
    // and *above null. With cut true s is consumed (deleted, or handed back
    // whole in *below); with cut false nothing is done: false, both null.
    // With capFromBox the solid's own facets lying in the plane go and the
    // cap comes from the cutting box. False with both null and s untouched
    // for null arguments, a plane that is not finite or has a zero normal,
    // a solid without facets or with a coordinate that is not finite, and
    // when the engine fails on either side (GetFailureReason).
    bool Slice(G3Surface* s, double* plane, bool cut, G3Surface** below, G3Surface** above, bool capFromBox);
    // Slice without capFromBox whose caps carry s's default facet extended
    // data.
    bool SliceED(G3Surface* s, double* plane, bool cut, G3Surface** below, G3Surface** above);
    // Slice by the plane a x + b y + c z + d = 0.
    bool CutUpByPlane(G3Surface* s, const double (&plane)[4], bool cut, G3Surface** below, G3Surface** above);
    // Splits the closed solid s by the open sheet into its two sides, each
    // capped by the part of the sheet inside s. True, s and sheet deleted,
    // when both parts exist; otherwise false, both null, s and sheet
    // untouched (a closed sheet, one that misses s or does not divide it,
    // or a part of a closed s that does not come out closed: then with
    // GetFailureReason). A piece of s the sheet does not reach goes with
    // the part whose material holds it (a void), else with *part1.
    bool SliceBySurface(G3Surface* s, G3Surface* sheet, G3Surface** part1, G3Surface** part2);
    // Moves each connected piece (facets joined across edges) of s with at
    // least 4 facets into a new surface appended to `pieces`; smaller
    // pieces are dropped. s is left empty. The size of `pieces` afterwards;
    // 0 for a null argument.
    static int Separate_Surface(G3Surface* s, GArrayCollection* pieces);

    // --- working data (G3BooleanData.h)
    // Attaches the engine's provider to s and opens every vertex and facet
    // (each gets a fresh record). A provider this engine attached before is
    // closed first; any other shell provider is replaced (as
    // G3Shell::SetExDataProvider does). False for a null surface.
    static bool OpenBoolean(G3Surface* s);
    // Closes every vertex and facet of s (segment lists deleted, scratch
    // links cleared) and removes the engine's provider. False, nothing
    // changed, when s is null or carries no provider of the engine.
    static bool CloseBoolean(G3Surface* s);
    // Gives each facet of s with many contours a locator in its record, so
    // the rays' point-in-facet tests read only the contours near the point
    // (a slab's face with thousands of openings). Facets keep them until
    // their records close; their chains must not change meanwhile.
    static void HoldLargeFacets(G3Surface* s);

    // --- random rays (all draw from GRand)
    // end = origin + length * d, d uniform on the unit sphere from two
    // draws: z = 2 r1 / 32767 - 1, phi = r2 * 2 pi / 32767. Null arguments
    // draw nothing and leave end alone.
    static void GenerateRandomRay(const double* origin, double* end, double length);
    // A ray whose end lies more than 9.999999999999999e-6 on the `side`
    // (+1 front, -1 back) of `plane` (a, b, c, d): each of up to 100 draws
    // is taken as it is or mirrored through the origin when that puts the
    // end on the wanted side; a draw whose end stays within the margin is
    // drawn again. True when a draw was taken; false (end the last draw)
    // after 100 draws, for a null plane, or for a plane with a zero normal.
    static bool GenerateRandomRay(const double* origin, double* end, const double* plane, int side,
                                  double length);
    // One draw d; end = origin + length * d when d . normal > 1e-6, else
    // origin - length * d (so with a zero normal, any direction).
    static void GenerateRandomRay(const double* origin, double* end, const double* normal, double length);

    // --- crossing counts over a list of facets
    // Items of `facets` that are not facets are skipped, and so are facets
    // with the zero plane and facets whose working record (when they have
    // one) has a box apart from the segment's box widened by
    // 9.999999999999999e-6. Sides of a plane are decided with 1e-6, points
    // in facets with the facet's own contours on its projection pair (1e-6).

    // Classification of `point` by the ray to `end`: SC_ON when the point
    // lies in a facet within 1e-6 of its plane; SC_UNKNOWN when the point is
    // in a facet's plane outside it and `end` is too, or when the ray
    // crosses a facet on its boundary; otherwise SC_INSIDE for an odd
    // crossing count, SC_OUTSIDE for an even one (a double-sided facet
    // counts two, so it never makes a point inside). An end lying in a
    // facet counts as a crossing. `count` (may be null) receives the
    // crossings counted before the answer. Null or non-finite points give
    // SC_UNKNOWN; a null or empty list gives SC_OUTSIDE (count 0). Facets
    // with a locator (in their record, or in `held`) are read through it,
    // with the same answers.
    static SURF_CLASSIFY TestPointAndFacetList(const double* point, const double* end, GArrayCollection* facets,
                                               unsigned int* count, const G3HeldFacets* held = nullptr);
    // The same along the segment start-end, stricter at the ends: an end
    // within 1e-6 of a facet's plane gives SC_UNKNOWN, and a start in a
    // facet's plane counts as a crossing of that facet when it lies in the
    // facet (strictly inside; on its boundary SC_UNKNOWN, traced as
    // "return unknown.").
    static SURF_CLASSIFY TestRayAndFacetList(const double* start, const double* end, GArrayCollection* facets);
    // Picking: reports to `result` every facet, edge and vertex the segment
    // start-end meets (a start in a facet's plane meets that facet there;
    // an end in the plane meets nothing). A point strictly inside a facet is
    // a facet hit; on a boundary edge, a hit of each edge joining its two
    // ends; on a vertex, a hit of the vertex, after which neither the vertex
    // nor any edge at it is reported again during the call. Uses the mark
    // flag of the reported vertices and edges and clears it before
    // returning. Returns the number of reports made.
    static int TestRayAndFacetList(const double* start, const double* end, GArrayCollection* facets,
                                   G3RayTraceResult* result);
    // The reporting steps of picking. `edges` and `vertices` collect what
    // was marked (the caller clears the marks). Each returns the number of
    // reports made.
    // A facet hit, the facet plane's (a, b, c) as the normal.
    static int FacetFilter(G3RayTraceResult* result, const double* point, const double* curvAxis1,
                           const double* curvAxis2, G3Facet* facet);
    // A hit of each unmarked edge joining a and b, with the unit sum of its
    // facets' plane normals (zero when they cancel or it has none).
    static int EdgeFilter(G3RayTraceResult* result, const double* point, G3Vertex* a, G3Vertex* b,
                          GArrayCollection* edges);
    // A hit of `v` unless it is marked, with the unit sum of the plane
    // normals of the facets around it; v and every edge at v are marked.
    static int VertexFilter(G3RayTraceResult* result, const double* point, G3Vertex* v, GArrayCollection* edges,
                            GArrayCollection* vertices);

    // --- surface-surface intersection and division
    // Query period over one surface: OpenFindIntersection attaches the
    // working data to s, puts its facets in a box tree (and, at the first
    // query that walks cells, in a grid over its widened box) and sets the
    // ray length to twice that box's diagonal; queries follow;
    // CloseFindIntersection deletes the tree and the grid and removes the
    // working data. s must not change in between and its planes must be
    // formed. Open refuses (false) a null surface; close refuses one that
    // carries no working data of the engine.
    bool OpenFindIntersection(G3Surface* s);
    bool CloseFindIntersection(G3Surface* s);
    // The facet p lies on (within 1e-6 of its plane, in its contours), the
    // one of highest index when several hold; null outside a query period.
    G3Facet* FindFacet(const double* p);
    // Reports to w (with the facet) every point where the segment p-q meets
    // a facet: its crossing of the facet, or p when p lies in the facet and
    // q is off its plane; a segment lying in a facet's plane reports where
    // the plane through the segment, upright on the facet, crosses the
    // facet's boundary. Facets by descending index. The number of reports.
    int FindIntersections(const double* p, const double* q, G3BCPointWriter* w);
    // ClassifyVertex against the query surface, each ray (turned round when
    // its opposite spends less of its length in the surface's box) tested
    // against the facets whose boxes it meets (in index order); SC_UNKNOWN
    // outside a query period.
    SURF_CLASSIFY FindVertexClassify(const double* point);
    // The same with rays into the half-space towards `toward` (tested with
    // TestRayAndFacetList), lengthened by the point's distance to the box so
    // that they end outside it. `facet` takes no part.
    SURF_CLASSIFY FindRayClassify(const double* point, const double* toward, G3Facet* facet);

    // Cuts a and b along each other (both prepared as for a boolean: merged
    // in plane, triangulated, scaled by 1000) and merges every segment found
    // on b's facets into out (when not null), in the scaled coordinates.
    // Both surfaces are left without facets. False (nothing changed) for a
    // null operand or one surface given twice.
    bool SurfaceSurfaceIntersect(G3Surface* a, G3Surface* b, G3IntervalList* out);
    // The segments where each of n planes (a, b, c, d, consecutive) cuts
    // s's facets, appended to out; true when out holds any.
    bool Divide(G3Surface* s, int n, const double* planes, G3IntervalList* out);
    // A new surface of the planar sections of s by the n planes in *out
    // (the regions the cut pieces bound that lie in the solid or on a facet
    // in the plane, by rays of twice the diagonal of s's box, which become
    // the radius); false and *out null when no plane meets s. Double-sided
    // facets take no part; non-finite or zero planes are skipped.
    bool Divide(G3Surface* s, int n, const double* planes, G3Surface** out);
    // Cuts s along its own self-intersections and cleans it (welded,
    // merged, not solid when open). No scaling. False for a null surface.
    bool RemoveSelfIntersection(G3Surface* s);

protected:
    // Clears `workFlags` from s's edges, and them and the scratch marks
    // from the flags s's next new edges take (AddFacet leaves the last
    // edge's flags there: the engine's and its passes' marks would ride on
    // the edges of every later edit).
    static void ClearWorkEdgeFlags(G3Surface* s, int workFlags);
    // Slice and SliceED: the boxes carry s's facet defaults when
    // withExData, and the subtractions take the event form.
    bool SliceWith(G3Surface* s, const double* plane, bool cut, G3Surface** below, G3Surface** above,
                   bool capFromBox, bool withExData);
    // The two subtractions of one slice by the unit plane p on copies of
    // s (s untouched): *b below, *a above, either possibly empty. With
    // `snap` the vertices within kPlaneSide of the plane are put on it
    // first. False, with failureReason, when the engine refuses a side.
    bool CutByBoxes(G3Surface* s, const double* p, bool snap, bool capFromBox, bool withExData,
                    G3Surface** b, G3Surface** a);

    // --- preparation of both operands (G3BooleanPrepare.cpp)
    // Merges A and B in plane, triangulates them, gives normals to the one
    // without (AssignNormalsByPlane), scales both by 1000 and forms their
    // planes; then the widened boxes, clip, the common box, the working
    // data and radius = twice the diagonal of envAll. False, nothing done,
    // when A or B is null.
    bool OpenBoolean();
    // Removes the working data from A and B (either may be null).
    void CloseBoolean();
    // OpenBoolean(s), each facet forming its plane as its record opens.
    static bool OpenBooleanFormingPlanes(G3Surface* s);
    // Length of the classification rays over `box`: twice its diagonal, so
    // that a ray from any point of the box ends outside it.
    static double RayLength(const GEnvelope& box);
    // Sets the rays' length from box and, when the box is flat (its thinnest
    // side kFlatScene times shorter than its longest: a storey, a slab, a
    // site), the axis that classification rays lean toward.
    void AimRays(const GEnvelope& box);
    // A classification ray from origin: a random direction, leaned toward
    // the flat axis when there is one (a ray across a storey's thickness
    // meets a few walls, one along it meets a row of them), `radius` long.
    // `attempt` counts the rays already drawn for this point: from
    // kLeanedRays on the direction is not leaned, since a point a few
    // millionths off a wall, beside an edge of the wall's facets, sees
    // every leaned ray cross the wall within the boundary band of that
    // edge. It draws from GRand exactly as GenerateRandomRay does.
    void ClassificationRay(const double* origin, double* end, int attempt);
    static constexpr int kLeanedRays = 16;
    // When exactly one of A and B has corner normals, the other gets its
    // facet planes as normals. A null operand takes no part.
    void AssignNormalsByPlane();

    // --- surface-surface intersection and division
    // The pairing pass: every facet of A whose box meets envCommon is cut
    // against the facets of B in its grid cells. Nothing when clip says the
    // boxes are apart.
    void Divide();
    // The same for A against itself.
    void DivideSelf();
    // Every facet of A whose box meets envCommon against the facets of
    // `other` whose record boxes share a cell of a sparse box index
    // (G3BoxHash) with it (with other == A, only those of higher index).
    void PairWithGrid(G3Surface* other);
    // Cuts F against every facet in candidates (other than F) whose box
    // meets F's, recording the shared segments on both facets.
    void IntersectFacetProcessor(G3Facet* F);
    // Replaces every facet of s that holds segments by the facets the
    // segments cut it into (new facets appended, extended data of the facet
    // they come from); vertices on the segments become SC_ON. A facet whose
    // segments give no facet is kept. `box` takes no part.
    void MergeSurfaceAndIntersectionTree(G3Surface* s, GEnvelope* box);
    // The same; the pieces are built edge by edge, so `e` has nothing to
    // travel with.
    void MergeSurfaceAndIntersectionTree(G3Surface* s, GEnvelope* box, GEVENT e);
    // Puts a collection of facets of one surface in ascending id order, so
    // that what is done with a grid's answer does not depend on its cells.
    static void SortByFacetId(GArrayCollection* facets);
    // candidates = the grid's facets along p-q, ascending id.
    void FacetsAlong(const double* p, const double* q);

    // Up to 100 random rays of length `radius` from `point`, each tested
    // with TestPointAndFacetList; the first answer other than SC_UNKNOWN,
    // else SC_UNKNOWN (also when the radius is not positive).
    SURF_CLASSIFY ClassifyVertex(const double* point, GArrayCollection* facets);
    // The same, each ray tested against the facets `index` holds along it
    // (a grid of exactly the facets of `facets`, whose ids rise along the
    // list), taken in list order: the same answers, without a walk of the
    // whole list per ray.
    SURF_CLASSIFY ClassifyVertex(const double* point, GArrayCollection* facets, G3Grid* index);
    // For a point on a facet of one operand that also lies on the other,
    // `plane` being that facet's plane: rays of length `radius` leaving the
    // plane on its front side are tested (TestRayAndFacetList) against A's
    // facets and against B's until both answers are known, up to 100 rays.
    // SC_ON_SAME when the answers agree, SC_ON_OPPOSITE when they differ;
    // SC_UNKNOWN after 100 rays, without both operands, or for a plane with
    // a zero normal.
    SURF_CLASSIFY TestOnOpposite(const double* point, const double* plane);

    // --- boolean operations (G3BooleanOperations.cpp, G3BooleanClassify.cpp)
    // A and B exchanged when A has fewer facets than B.
    void ChangeSurface();
    // The kinds of operation whose volume a sound result is held to (set
    // by Add, Common and Sub for RunBoolean, which drops it on return).
    enum class VolumeRule { None, Union, Intersection, Difference };
    // Bounds the result's volume by the operands' (A and B, both closed,
    // A facing out, B facing out or, for a difference, turned in): a union
    // lies between the larger and the sum, an intersection between none
    // and the smaller, a difference between A's less B's and A's, each
    // give or take what moving every face by twice the weld distance
    // changes. RunBoolean sets them where it takes spares (the operands
    // touch within the weld, where the retries move them) and drops them
    // when it returns.
    void BoundVolume();
    // "" when no bounds are set or the volume of r lies within them, else
    // the defect a run fails with.
    std::string VolumeDefect(const G3Surface* r) const;
    // The whole road of a boolean on A and B: the facets whose class has a
    // bit in maskA are removed from A, those matching maskB from B, the
    // rest of B is appended to A and B deleted. The integer form merges
    // coplanar facets of the result when unionInPlane is non-zero and
    // returns null (A deleted) for an empty result; the GEVENT form always
    // merges them and always returns A.
    G3Surface* BinaryOperation(int maskA, int maskB, int unionInPlane);
    G3Surface* BinaryOperation(int maskA, int maskB, GEVENT e);
    // The road both forms share: deliverSegments feeds intersectionList,
    // withEvent passes e to the cut, deleteEmpty turns an empty result
    // into null.
    // When both operands are closed and lie on one another within the weld
    // distance somewhere (corners near corners, faces near planes, an edge
    // resting on a face, edges crossing a hair apart), or have 1,024
    // facets or fewer between them, a result that fails
    // the closed check is made again from copies: with the faces that are
    // one plane for the kernel put into one plane, then also with the
    // corners lying on the other's faces put onto them, then with B's
    // corners on A's, then with each operand flattened and B's faces in
    // A's planes (G3OperandSnap.h), then cut at the model's own grain
    // (cutScale 1), as it stands and as in the second retry, unless
    // segments are delivered; the first closed result
    // free of edges below the weld distance comes back in the object the
    // first run worked on (one with such edges only when no other
    // closes), and when none does, the first result welded at the point
    // tolerance, if that closes it. A result whose volume BoundVolume's
    // bounds rule out fails as an open one does. Operands that give a
    // closed result the first time are never moved.
    G3Surface* RunBoolean(int maskA, int maskB, bool deliverSegments, bool withEvent, GEVENT e,
                          bool unionInPlane, bool deleteEmpty);
    // One run of that road. A result failing the closed check is deleted,
    // or handed to *failed (with failureReason set) when failed is given.
    // The second run of RunBoolean for a closed result holding edges below
    // the weld distance (B's faces a hair off A's): with B's faces put into
    // A's planes; the first result stands unless that one is free of them.
    G3Surface* WithoutHairSteps(G3Surface* result, int maskA, int maskB, bool deliverSegments, bool withEvent,
                                GEVENT e, bool unionInPlane, bool deleteEmpty, std::unique_ptr<G3Surface>& spareA,
                                std::unique_ptr<G3Surface>& spareB, std::unique_ptr<G3IntervalList>& spareSegments);
    G3Surface* RunBooleanOnce(int maskA, int maskB, bool deliverSegments, bool withEvent, GEVENT e,
                              bool unionInPlane, bool deleteEmpty, G3Surface** failed);
    // Classes of s's vertices against the solid of otherFacets: flood fill
    // from the vertices outside the common box, then rays for the rest, each
    // decided vertex flooding its neighbours. Traced "Classify vertices".
    void ClassifyVertices(G3Surface* s, GArrayCollection* otherFacets);
    // ClassifyVertices' second half: a ray for each vertex of s no fill
    // has reached, in list order, each answer flooding on.
    void ClassifyByRays(G3Surface* s, GArrayCollection* otherFacets);
    // p lies within the kernel's plane tolerance (kPlaneSide in model
    // units) of a facet of otherFacets, inside it within that band.
    bool OnFacetWithinTolerance(const double* p, GArrayCollection* otherFacets);
    // ClassifyVertices of A against B, then of B against A, with B's fill
    // from outside the common box beside A's classification.
    void ClassifyVerticesOfBoth();
    // v and every unclassified vertex reachable from it across edges, up
    // to 4097 edges deep, take c; vertices already classified (those on
    // the intersection curves among them) stop the fill. Iterative, in the
    // order of a depth-first walk of the vertex rings.
    void SetClassify(G3Vertex* v, SURF_CLASSIFY c);
    // Every facet of s gets FindFacetClassify's answer in its record.
    void ClassifyFacets(G3Surface* s, GArrayCollection* otherFacets);
    // ClassifyFacets of A against B, then of B against A, the facets that
    // need no ray classified side by side.
    void ClassifyFacetsOfBoth();
    // What a facet's vertices say: a class (decided), or that a point
    // inside it must be tested, because its vertices disagree (mixed), all
    // lie on the curves, or are not all classified.
    struct VertexVerdict {
        bool decided = false;
        bool mixed = false;
        SURF_CLASSIFY c = SC_UNKNOWN;
    };
    VertexVerdict ClassByVertices(const G3Surface* s, G3Facet* f) const;
    // The facet is one of a slice's (capFromBox) in its plane: its plane
    // equals the slice's either way round.
    bool InSlicePlane(const G3Facet* f) const;
    // A facet's class from its vertices', or from a point inside it when
    // its vertices all lie on the curves, disagree, or are undecided;
    // coplanar facets are told apart by TestOnOpposite. When that point
    // leaves the class unknown (it lies on another facet's boundary), a
    // single-contour facet is tried at the inner points of its contour
    // read from other starts.
    SURF_CLASSIFY FindFacetClassify(G3Surface* s, G3Facet* f, GArrayCollection* otherFacets);
    // FindFacetClassify before a slice's box pieces are told (see there).
    SURF_CLASSIFY ClassByPoint(G3Surface* s, G3Facet* f, GArrayCollection* otherFacets);
    // Removes every facet of s whose class has a bit in mask.
    void RemoveFacetsByClassify(G3Surface* s, int mask);
    // Appends b's entities to a; welds the seams when the boxes met.
    void MergeFacets(G3Surface* a, G3Surface* b);
    // The facets along the segment p-q from the ray grid over `facets`,
    // in list order, into `out`; false (out untouched) when there is no
    // grid over that list. Builds the grid when the list is large.
    bool RayCandidates(const double* p, const double* q, GArrayCollection* facets, GArrayCollection* out);
    // Deletes the ray grids.
    void ReleaseRayGrid();
    // Builds the grid over the query surface's facets when a query period
    // runs and has none yet; false outside a query period.
    bool QueryGrid();
    // The slot of the ray grid over `facets`.
    struct RayGrid;
    RayGrid& RayGridOf(const GArrayCollection* facets);
    // Builds slot's grid over `facets` (the old one goes); false, the slot
    // left empty, when the list has no facet with a box or is not in id
    // order.
    bool BuildRayGrid(RayGrid* slot, GArrayCollection* facets);
    // Builds the grid over `facets` ahead of the rays when the list is
    // large enough that rays are sure to ask for one.
    void RayGridAhead(GArrayCollection* facets);

    G3Surface* A = nullptr;
    G3Surface* B = nullptr;
    // The operands' boxes widened by 9.999999999999999e-6, their common box
    // (when they overlap) and the box of both.
    GEnvelope envA;
    GEnvelope envB;
    GEnvelope envCommon;
    GEnvelope envAll;
    // Owned: the facets the grid returns for the facet being processed, and
    // the edge stack of the classification flood fill.
    GArrayCollection* candidates = nullptr;
    GArrayCollection* edgeStack = nullptr;
    // Box test code of envA against envB; G_CLIP_DISJOINT when apart.
    int clip = G_CLIP_DISJOINT;
    double radius = 0.0;
    // The axis classification rays lean toward, or -1 (see AimRays).
    int flatAxis = -1;
    // Locators of large facets the rays' tests read where the facets carry
    // no records (a section's pieces); not owned, null outside a section.
    const G3HeldFacets* heldFacets = nullptr;
    // Owned while it exists.
    G3Grid* grid = nullptr;
    // The plane cuts of long facets while PairWithGrid runs (its own, not
    // owned here); null otherwise.
    G3PlaneCuts* planeCuts = nullptr;
    // Over the query surface's facets in id order while a query period
    // runs (owned): the classification rays' candidates.
    G3FacetTree* queryTree = nullptr;
    // Recursion depth of the flood fill.
    int depth = 0;
    // The cutting plane (four doubles, not owned) while a slice runs.
    double* slicePlane = nullptr;
    // RunBooleanOnce puts the faces that lie in one plane for the kernel
    // into one plane (G3FlattenOntoSharedPlanes) once the operands stand
    // about the local origin: RunBoolean's first retry; with
    // `restOnFaces` also the corners lying on the other operand's faces,
    // its second.
    bool sharePlanes = false;
    bool restOnFaces = false;
    // RunBooleanOnce fails a run whose kept facets of A and B lie on one
    // another (G3FacetsOnOneAnother): set by RunBoolean where spares are
    // taken.
    bool watchOverlaps = false;
    // What the coordinates are multiplied by for the cut (the engine's
    // absolute tolerances act on the scaled coordinates): kBooleanScale,
    // or 1 for RunBoolean's last retry.
    double cutScale = GTolerance::kBooleanScale;
    VolumeRule volumeRule = VolumeRule::None;
    // BoundVolume's bounds (none while volumeLow > volumeHigh).
    double volumeLow = 0.0;
    double volumeHigh = -1.0;
    G3IntervalList* intersectionList = nullptr;
    std::string failureReason;
    // The ray grids of the classification, one for the rays against A's
    // facets and one for the rest: a grid, the list it was built for and
    // its size then, and the rays that went over the whole list since a
    // grid was last built there (one is built only once a few rays have
    // gone without). The candidates come back in rayCandidates.
    struct RayGrid {
        G3Grid* grid = nullptr;
        GArrayCollection* facets = nullptr;
        int count = 0;
        int scans = 0;
    };
    RayGrid rayGrids[2];
    GArrayCollection* rayCandidates = nullptr;
};
