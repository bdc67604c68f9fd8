#pragma once
// Operands lying on one another up to the weld distance: a solid and a copy
// of it moved by less than the kernel's point tolerance (a wall drawn
// twice, a slab pasted back nearly in place). The cut works at
// kBooleanScale times finer a grain than the weld, so such a copy's faces
// and corners stand at the edge of its bands and the result may come out
// open. The engine then runs again with the second operand's corners put on
// the first's (G3BooleanOperations.cpp). A face drawn a hair off a parallel
// face is kept by the cut as a step shorter than the point tolerance; such
// a result is made again with the face put into the other's plane
// (G3OperandPlaneSnap.cpp).

class G3Surface;

// The vertices of b lying closer than GTolerance::kWeld to a vertex of a
// without sitting on it exactly.
int G3CountNearVertices(const G3Surface* a, const G3Surface* b);

// Puts each vertex of b that lies closer than GTolerance::kWeld to a vertex
// of a exactly on the nearest such vertex (ties to the lower id), and forms
// b's planes again. Refused (0, b unchanged) when two vertices of b would
// land on one vertex of a, which would fold b's edges or facets away. The
// number of vertices moved.
int G3SnapOntoVertices(G3Surface* b, const G3Surface* a);

// The facets of b lying parallel to a facet of a (normals within
// GTolerance::kPlaneEqual, either way round) with every corner closer than
// GTolerance::kWeld to its plane and one off it: a face drawn a hair off
// another, which the cut, kBooleanScale times finer, keeps as a step.
int G3CountNearPlanes(const G3Surface* a, const G3Surface* b);

// Puts each such facet of b into the plane of its nearest facet of a (the
// vertices to the nearest point on the planes of all their facets), and
// forms b's planes again. Refused (0, b unchanged) when a vertex's planes
// do not meet in one point near it or an edge of b would fall below
// GTolerance::kWeld. The number of vertices moved.
int G3SnapOntoPlanes(G3Surface* b, const G3Surface* a);

// Puts each corner of s on the point nearest it on the planes of all its
// facets, where each facet lies flat only to within GTolerance::kWeld (its
// corners rounded off its plane), and forms s's planes again: G3SnapOntoPlanes
// with s's own facets as the targets. Refused (0, s unchanged) as that is.
// The number of vertices moved.
int G3FlattenOntoOwnPlanes(G3Surface* s);

// Puts the faces of a and b that lie in one plane for the kernel into one
// plane: facets of either operand, parallel (normals within
// GTolerance::kPlaneEqual, either way round), with boxes within
// GTolerance::kWeld and each one's corners within kWeld of the other's
// plane (or, for long facets whose planes the rounding tips, those of its
// corners within kWeld of the other's box), are grouped (the relation
// closed over), and each group takes the plane fitted to its corners by
// least squares, facing as its first facet, unless a corner lies farther
// than kWeld from it. A face given as several facets, each flat only to
// the rounding of its corners, is then one plane, and so is a face of b
// lying on it. Every other facet keeps its own plane; the corners go onto
// the planes of all their facets as G3SnapOntoPlanes puts them, each
// operand refused whole as that is. The number of vertices moved.
//
// With `restOnFaces`, a corner of either operand lying on a facet of the
// other (closer than kWeld to its plane, or its group's, with its foot
// inside it, no corner of it within kWeld) also goes onto that plane,
// before its own: an edge resting on a face within the rounding is a
// sliver of overlap or gap for the cut. A corner that cannot lie on both
// keeps to its own planes.
int G3FlattenOntoSharedPlanes(G3Surface* a, G3Surface* b, bool restOnFaces = false);

// The vertices of either operand lying on a facet of the other as
// G3FlattenOntoSharedPlanes takes them with `restOnFaces` (each facet in
// its own plane).
int G3CountCornersOnFaces(G3Surface* a, G3Surface* b);

// Whether G3CountNearPlanes(a, b) would count a facet, or a facet of b and
// one of a lie in one plane for the kernel (as G3FlattenOntoSharedPlanes
// groups them) with a corner of either off the other's plane by more than
// the cut tells apart (kPlaneSide at kBooleanScale): faces touching within
// the weld distance, rounded, which the cut may keep both of or cross at
// shallow angles. One pass over the pairs whose boxes meet.
bool G3FacesNearOneAnother(const G3Surface* a, const G3Surface* b);
