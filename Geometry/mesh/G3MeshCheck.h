#pragma once
// Whole-mesh consistency check. The construction and repair operations keep
// these invariants; a mesh from elsewhere (a loaded dump) is trusted only
// after it passes. Checked, in this order:
//   - ids equal indexes: every entity of the six collections is non-null and
//     its id is its index ("<kind>: null entry", "<kind>: id differs from
//     index");
//   - rings: every vertex ring ends (no loop), holds only listed edges that
//     end at the vertex, and its last edge is the vertex's lastEdge;
//   - chains: every facet chain ends, holds only listed edges that name the
//     facet, and its last edge is the facet's lastEdge; a facet of a surface
//     has that surface as its parent; its plane is finite;
//   - contours closed: each contour of a chain (edges that share a vertex
//     with the next) returns to its start and has at least two edges;
//   - facet sides: an edge's ends are two distinct listed vertices; an edge
//     with a facet is in the rings of both its ends exactly once, an edge
//     without facets in both rings or in neither; one facet never holds both
//     sides of an edge; each facet of an edge is listed and holds the edge
//     in its chain exactly once.
// The result is "" for a consistent mesh, else the first broken invariant
// as text with the index (and a detail number) of the entity at fault, for
// example "edge: one facet on both sides (4)".

#include <string>

class G3Shell;

std::string G3MeshCheck(G3Shell* s);

// Marks left set: Mark, Mark2, Mark3 and Mark4 are scratch bits a pass sets
// and clears within itself, on vertices, edges and facets alike. "" when
// none is set, else the first entity holding one, for example
// "facet: mark left set (7, 16777216)" (index, then the bits). Kept apart
// from G3MeshCheck: a dump stores an entity's flags word as it is, so a mesh
// read back may carry its writer's marks and is not broken for that; the
// pass check (G3PassCheck.h) applies it to passes that start without marks.
std::string G3MeshMarksCheck(G3Shell* s);

// Stale planes: "" when every facet's plane is, bit for bit, the one
// FormPlaneEquation would form from its corners now, else the first facet
// whose plane is not, for example "facet: plane not formed from its
// corners (12)". Nothing is changed. A pass that leaves planes as it found
// them on its caller's word uses it to check that word.
std::string G3StalePlanesCheck(G3Shell* s);

// Closed and consistently oriented, the check a solid must pass (for a mesh
// that passes G3MeshCheck): no edge has exactly one facet side taken
// ("edge: one facet side only (i)"), and along every vertex pair as many
// single-sided facets run one way as the other ("edge: facet sides do not
// pair up (i, n)", n the surplus one way). A double-sided facet pairs with
// itself. Touching solids (four facets along one pair, two each way) pass.
// "" when both hold. Nothing is changed.
std::string G3ClosedCheck(G3Shell* s);

// Facets lying on one another, which no solid and no sheet holds (a wall
// kept twice where two solids touched, once each way): "" when no two
// facets have normals within kPlaneEqual (either way round) with every
// corner of one within kPlaneSide of the other's plane and an inner point
// of it inside the other, clear of its boundary; else the first such pair,
// for example
// "facet: lies on another (3, 9)". Nothing is changed.
std::string G3OverlapCheck(G3Shell* s);

// Contours doubling back, which no sound facet holds: "" when no contour
// corner turns back along the line it came in on (both legs at least kWeld
// long, the shorter leg's end within kWeld of the longer leg's line), else
// the first facet holding one, for example "facet: contour doubles back
// (5)". Nothing is changed.
std::string G3FoldCheck(G3Shell* s);

// The pair G3OverlapCheck names (the lower index first), when there is one;
// with `other`, only pairs of a facet of s (first) and one of other
// (second). The tolerances are multiplied by `scale` (coordinates scaled
// up by it).
bool G3FacetsOnOneAnother(G3Shell* s, G3Shell* other, double scale, int* first, int* second);
