#pragma once
// Facet triangulation by the constrained Delaunay engine: registered with
// processing as its engine for long polygons when the library loads.

#include "Geometry/processing/G3PolygonTriangulator.h"

#include <vector>

// The engine behind G3PolygonTriangulator (see there for the contract).
bool G3TriangulatePolygonCDT(const G3PlanarPolygon& polygon, std::vector<int>& triangles);
