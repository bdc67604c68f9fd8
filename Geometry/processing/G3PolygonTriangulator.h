#pragma once
// A second road for triangulating polygons with many corners.
//
// GLU's sweep keeps the edges it is crossing in a sorted list, so a polygon
// with many edges side by side (the spikes of a star, the teeth of a comb)
// costs it time quadratic in its corners. An engine registered here takes
// the facets from kLongPolygonCorners corners on; the terrain layer
// registers its constrained Delaunay triangulation when it is loaded. With
// no engine registered, or when the engine declines a polygon, GLU
// triangulates the facet as it does every shorter one. A facet GLU refuses
// goes to the engine again, its coinciding points joined and its sides cut
// at the points lying on them.

#include <vector>

// A polygon projected onto its plane: distinct points and the sides of its
// contours as pairs of point indices (a side walked twice, such as a
// keyhole's bridge, appears twice).
struct G3PlanarPolygon {
    std::vector<double> xy;    // x, y of each point
    std::vector<int> segments; // from, to of each side
};

// Fills `triangles` with index triples, counter-clockwise in the plane,
// that cover the region the sides enclose an odd number of times, using
// the points as the only corners. Returns false, leaving the polygon to
// GLU, when it cannot: points that coincide, sides that cross or pass
// through a point.
using G3PolygonTriangulator = bool (*)(const G3PlanarPolygon& polygon, std::vector<int>& triangles);

// Facets with at least this many edges go to the registered engine.
constexpr int kLongPolygonCorners = 1024;

// Registers the engine (null: none). Meant for a static initialiser.
void G3SetPolygonTriangulator(G3PolygonTriangulator engine);
G3PolygonTriangulator G3GetPolygonTriangulator();
