#pragma once
// A polyline attached to a surface: the run of vertexCount vertices starting
// at firstIndex in the surface's polyedge vertex array. Closed polylines
// join their last vertex back to the first.

#include "Geometry/foundation/GHeap.h"
#include "Geometry/mesh/G3Obj.h"

class G3Vertex;

class G3PolyEdge : public G3Obj {
    G_DECLARE_POOL(G3PolyEdge)
public:
    enum : long { FLAG_CLOSED = 0x1L };

    G3PolyEdge() = default;
    G3PolyEdge(int vertexCount, int firstIndex) : vertexCount(vertexCount), firstIndex(firstIndex) {}

    // G3Obj::Copy, then the vertex count and the first index.
    void Copy(GObj* source) override;
    G3PolyEdge* Duplicate() override;
    int GetObjectType() override { return 1; }

    void SetClosed(bool closed)
    {
        if (closed)
            flags |= FLAG_CLOSED;
        else
            flags &= ~FLAG_CLOSED;
    }
    bool GetClosed() const { return (flags & FLAG_CLOSED) != 0; }

    int GetVertexCount() const { return vertexCount; }
    int GetFirstIndex() const { return firstIndex; }
    void SetVertexCount(int n) { vertexCount = n; }
    void SetFirstIndex(int i) { firstIndex = i; }

    // This polyline's first vertex within `vertexArray`.
    G3Vertex** GetEdges(G3Vertex** vertexArray) const { return vertexArray + firstIndex; }
    // Segment i: from vertex i to vertex (i + 1) mod vertexCount, so the last
    // segment closes the loop. Both ends are null for an i outside
    // 0..vertexCount-1.
    void GetEdge(G3Vertex** vertexArray, int i, G3Vertex** a, G3Vertex** b) const;

    // Extended edge data: four points, a 4x4 matrix and an opaque graphic
    // pointer of the host, kept in this polyedge's outside data store by a
    // kernel object provider (registered on first use). It follows the
    // polyedge through surface copies, and a surface's RealTransformation
    // transforms the points (as points) and appends the transformation to
    // the matrix. The graphic pointer is carried, never used or freed.
    // Creates the record (graphic null) or replaces points and matrix.
    void SetExtEdgeData(const double points[4][3], const double matrix[4][4]);
    // False (outputs untouched) when the polyedge has no record; either
    // output may be null.
    bool GetExtEdgeData(double points[4][3], double matrix[4][4]) const;
    // Null without a record.
    void* GetGraphic() const;
    // False (and nothing stored) without a record.
    bool SetGraphic(void* graphic);

protected:
    int vertexCount = 0;
    int firstIndex = 0;
};
