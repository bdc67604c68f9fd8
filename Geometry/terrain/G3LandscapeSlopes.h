#pragma once
// The slope of a terrain at a vertex, shared by the smoothing steps: the sum
// S of the unit normals of the distinct facets around it.

class G3Vertex;

struct G3VertexSlope {
    double sum[3] = {0.0, 0.0, 0.0};
    int facets = 0;      // distinct facets with a plane around the vertex
    int borderEdges = 0; // ring edges with fewer than two facets
    // dz/dx and dz/dy of the plane with normal S; 0 when S has no height
    // component (every facet vertical), where a slope would be infinite.
    double SlopeX() const;
    double SlopeY() const;
};

// Planes must be current (FormPlaneEquation).
G3VertexSlope G3ComputeVertexSlope(G3Vertex* v);
