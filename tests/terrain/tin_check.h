#pragma once
// Structural and Delaunay checks of a triangulation result, shared by the
// triangulation tests.

#include "Geometry/terrain/G3TriInterface.h"
#include "Geometry/terrain/triangulation/G3TriEngine.h"

#include <string>

struct TinReport {
    int triangles = 0;
    int inverted = 0;        // corners not strictly counter-clockwise
    int badLinks = 0;        // neighbour references that do not point back
    int sharedEdges = 0;     // a directed edge used by two triangles
    int nonDelaunay = 0;     // unconstrained edges failing the empty-circle test
    int unusedNodes = 0;     // nodes in no triangle
    double area = 0.0;       // sum of triangle areas
    double hullArea = 0.0;   // area of the convex hull of the nodes
    std::string first;       // description of the first problem found
    bool Valid(double areaTol = 1e-9) const;
};

TinReport CheckTin(const G3TriInterface& tin);

// Adds the point (x, y, 0) to the triangulation's input.
inline G3TVertex* Add(G3TriInterface& tin, double x, double y)
{
    const double p[3] = {x, y, 0.0};
    return tin.AddVertex(p);
}

// Triangles as sorted triples of input positions, sorted: comparable across
// runs whatever the vertex order.
std::string TriangleSignature(const G3TriInterface& tin);
