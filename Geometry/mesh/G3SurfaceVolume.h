#pragma once
// The volume a closed surface encloses, by the divergence theorem over its
// facets: each facet's vector area (every contour closed on its own, holes
// running the other way subtract) dotted with a point of the facet, a third
// of the sum. Positive when the facets face outward, negative when they face
// inward; meaningful for closed surfaces only. Coordinates are taken
// relative to the surface's first vertex and each facet's first corner, so
// a solid far from the origin loses no precision. 0 for a null or empty
// surface.

class G3Shell;

double G3SurfaceVolume(G3Shell* s);
