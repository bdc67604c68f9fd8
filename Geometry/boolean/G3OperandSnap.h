#pragma once
// Operands lying on one another up to the weld distance: a solid and a copy
// of it moved by less than the kernel's point tolerance (a wall drawn
// twice, a slab pasted back nearly in place). The cut works at
// kBooleanScale times finer a grain than the weld, so such a copy's faces
// and corners stand at the edge of its bands and the result may come out
// open. The engine then runs again with the second operand's corners put on
// the first's (G3BooleanOperations.cpp).

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
