#pragma once
// The host's editing tool on one surface: checks (short edges, self-crossing
// contours, facets of fewer than three edges, intersecting facets), a
// contour cut out of a facet, a pocket or boss inserted into a face, a
// facet lying flat on another removed, an edge split at intervals, and the
// edges two placed surfaces have in common.
//
// Defined in Geometry/processing/G3SurfaceEdit.cpp (checks of edges,
// editing) and Geometry/boolean/G3SurfaceEditIntervals.cpp (the parts that
// read interval lists: facet intersection, edge division, common edges).
// The surface is not owned; a short-lived tool, used by one thread.

#include "Geometry/foundation/GObj.h"

#include <array>
#include <utility>
#include <vector>

class G3Edge;
class G3Facet;
class G3IntervalList;
class G3Point;
class G3Surface;
class G3Vertex;
class GArrayCollection;

// The bits of the checks' options and results.
enum SURFACE_CHECK {
    SURFACE_CHECK_FACET_INTERSECTION = 0x1,  // two facets cross each other
    SURFACE_CHECK_SHORT_EDGE = 0x4,          // an edge shorter than kZeroLength
    SURFACE_CHECK_SELF_INTERSECTION = 0x8,   // a facet's contours cross or touch themselves
    SURFACE_CHECK_FEW_EDGES = 0x10,          // a facet of fewer than three edges
};

// One thing a check found: its bit, the facet (or, for intersecting facets,
// the lower-listed one), the other facet of an intersecting pair (else -1)
// and, for a short edge, its two vertices (else -1), all as ids.
struct G3SurfaceCheckFinding {
    int bit;
    int facet;
    int other;
    int vertex1;
    int vertex2;
};

// Adds a copy of each contour of f to s as a facet of its own (the same
// vertices, edge flags and corners, facet flags 0, run the way f runs
// them): the pieces a rebuild between BeginComplexFacet and
// EndComplexFacet starts from. The first copy, or null.
G3Facet* G3AddContourCopies(G3Surface* s, G3Facet* f);

class G3SurfaceEdit : public GObj {
public:
    explicit G3SurfaceEdit(G3Surface* surface) : surface(surface) {}
    G3SurfaceEdit(const G3SurfaceEdit&) = default;
    G3SurfaceEdit& operator=(const G3SurfaceEdit&) = default;

    G3Surface* GetSurface() const { return surface; }
    // When set, the checks append what they find (short edges and facets in
    // facet order, then at most one intersecting pair, the first in pair
    // order). Not owned; null (the default) records nothing.
    void SetFindings(std::vector<G3SurfaceCheckFinding>* out) { findings = out; }

    // result = 0, then CheckEdges and CheckFacets (both run); true when
    // both are.
    bool CheckSurface(int options, int& result);
    // The edge and contour tests of `options` (0x4, 0x8, 0x10) on every
    // facet; each failed test ORs its bit into result. False without facets
    // (result untouched) or when a test failed.
    bool CheckEdges(int options, int& result);
    // With 0x1: whether two facets cross (each cuts the other's plane
    // properly and the two cuts overlap) or fold onto each other across an
    // edge they share (each in the other's plane, both on one side of the
    // edge: a surface touching itself there); candidate pairs come from a grid
    // over the facet boxes, and the first crossing pair in pair order ends
    // the search. Reads the facets' planes as they are. False without
    // facets or when a pair crosses (result |= 0x1); true otherwise.
    bool CheckFacets(int options, int& result);

    // Replaces `facet` by a facet that has the closed contour through
    // `points` (G3Points, each once, either way round) as one more hole;
    // the rebuilt facet faces the way `facet` did and carries its extended
    // data and records. The hole's corners are
    // new vertices. The rebuilt facet's outer edges lie beside those of its
    // neighbours until the caller stitches them (RemoveNonManifoldEdges,
    // Update). Nothing for a null facet, fewer than three points, or a
    // facet that is not this surface's.
    void MakeHole(G3Facet* facet, GArrayCollection* points);
    // Cuts the closed contour `points` out of the first facet that holds
    // it (every point, and no edge of the facet running through its
    // inside, which is the facet's: a contour holding or overlapping an
    // earlier opening is held by no facet), and closes it with one side
    // quad per contour edge (added
    // to `sideFacets` when given) and a cap, all moved by depth *
    // direction; then welds, divides edges and runs Update(CHECK_LEVEL_WELD).
    // A side or the cap that then lies wholly on a facet of the surface,
    // back to back (a pocket flush with the face's border, or as deep as
    // the solid), goes as RemoveStuckTogetherFacets takes it: the notch or
    // hole opens through that facet instead of closing behind a double
    // wall. One lying back to back over part of a facet has that part cut
    // out of both (OpenSharedPart). The cap when it is still a facet of the surface afterwards, else
    // null; null and nothing changed when `points` is empty, no facet holds
    // the contour, direction is null, or the sweep would pass through the
    // surface (a pocket deeper than the wall, a boss running into another
    // part of the solid; one ending on a facet is taken).
    G3Facet* InsertFacet(GArrayCollection* points, G3Point* direction, double depth, GArrayCollection* sideFacets);
    // Removes `facet` when it lies flat on another facet g, back to back
    // (g in facet's plane, facing the other way and holding facet's whole
    // outline as InsertFacet's host holds a contour): g gets facet's outline as a
    // hole, facet goes, and the seams are welded, split at the corners
    // lying on edges (an outline along g's border) and stitched. True when
    // a facet was removed.
    bool RemoveStuckTogetherFacets(G3Facet* facet);
    // Replaces `edge` of `surface` by the chain s -> ... -> e through the
    // ends of `intervals` taken in order along the edge (s the edge's end
    // lower on its dominant axis), whatever order the list and each
    // interval give them in; the pieces an interval covers get flags 0x80,
    // the others the edge's flags, every piece its facets. An empty list
    // gives one new edge between the same vertices. False (nothing
    // changed) for a null argument, an edge shorter than kZeroLength, one
    // not in `surface`, or an interval end off the edge (farther than
    // kPlaneSide from its line, or past an end and not on it).
    bool DivideEdge(G3Surface* surface, G3Edge* edge, G3IntervalList* intervals);
    // Placed by ma and mb (null: as they are), the edges of coplanar facets
    // of a and b (same or opposite facing) that run along one line with the
    // same dominant axis and overlap by more than kZeroLength: one new
    // G3Interval per edge pair, the overlap's ends ascending on that axis,
    // owner1 the edge of a and owner2 the edge of b, appended to `out` (the
    // caller deletes them). True when any was found.
    bool FindCommonEdges(G3Surface* a, G3Surface* b, double ma[4][4], double mb[4][4], GArrayCollection* out);

protected:
    // Gives g `facet`'s outline (`corners`) as a hole, removes facet, and
    // welds, splits and stitches the seams.
    void RemoveOnto(G3Facet* facet, G3Facet* g, const std::vector<G3Vertex*>& corners);
    // MakeHole for several holes at once (each a list of x, y, z corners),
    // in one rebuild of `facet` (listed, not null).
    void MakeHoles(G3Facet* facet, const std::vector<std::vector<std::vector<double>>>& holes);
    // Where the convex facet f (outline `corners`) and other convex
    // facets, not of `made`, lie back to back over part of each (a pocket
    // sharing part of a side with an earlier one), those parts are cut out
    // of both sides (a facet lying wholly on f goes): they enclosed
    // nothing there.
    // After InsertFacet's update: when the first of the edit's facets still
    // listed (each with the way it was made to face) faces the other way,
    // its piece was turned inside out and is turned back.
    void TurnBackIfInverted(const std::vector<std::pair<G3Facet*, std::array<double, 3>>>& facings);
    void OpenSharedPart(G3Facet* f, const std::vector<G3Vertex*>& corners,
                        const std::vector<G3Facet*>& made);
    void Found(int bit, int facet, int other = -1, int vertex1 = -1, int vertex2 = -1)
    {
        if (findings)
            findings->push_back({bit, facet, other, vertex1, vertex2});
    }

    G3Surface* surface;
    std::vector<G3SurfaceCheckFinding>* findings = nullptr;
};
