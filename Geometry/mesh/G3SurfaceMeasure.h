#pragma once
// Measures of a whole surface that read its facets and change nothing.

class G3Surface;

// The volume the facets enclose, by the divergence theorem: every contour
// of every facet (holes included, wound against their outer contour)
// contributes the signed volume of the cone from a reference point over it.
// Positive when the facets face out of the solid (corners counter-clockwise
// seen from outside), negative when they all face in. Meaningful only for
// a closed, consistently oriented surface: over an open one the result
// depends on the reference point (the centre of the vertices' box). Facet
// planes are not read, so stale planes do not matter. 0 for a null or
// empty surface.
double G3SurfaceVolume(const G3Surface* s);

// The sum of the facets' areas (each facet's outline less its holes, taken
// in the facet's own plane); 0 for a null or empty surface.
double G3SurfaceArea(const G3Surface* s);

// Whether the surface is closed as a mesh file records it: no edge has
// exactly one facet side taken. A double-sided facet counts once here (a
// file keeps one copy of it), unlike G3Surface::GetClosed, which counts it
// twice and only asks that every vertex pair carry an even number of
// sides. True for a null or empty surface, as GetClosed is.
bool G3SurfaceWatertight(const G3Surface* s);
