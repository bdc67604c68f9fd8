#pragma once
// Polygon triangulation through GLU's tessellator (internal). A tessellator
// wraps one GLU tessellator object and assembles what GLU emits (separate
// triangles, strips, fans) into single triangles handed to AddTriangle.
//
// GLU finds the tessellator through its polygon data pointer, never through
// global state: tessellators on different threads may run at the same time.
// No combine callback is registered, so GLU never makes new vertices; a
// polygon that would need one (a contour crossing itself) is reported
// through the error callback and HasError() becomes true.

#include "Geometry/foundation/GArrayCollection.h"

class G3Point;

class GTessellator {
public:
    GTessellator();
    virtual ~GTessellator();
    GTessellator(const GTessellator&) = delete;
    GTessellator& operator=(const GTessellator&) = delete;

    // Whether GLU gave a tessellator object (the other operations do
    // nothing without one).
    bool IsValid() const { return tess != nullptr; }

    // Starts a polygon: clears the assembly state and the error.
    virtual void BeginPolygon();
    // BeginPolygon; GLU finds the polygon's plane itself, so the projection
    // axes take no part.
    virtual void Begin(int i, int j);
    // Closes the open contour (if any) and lets GLU emit the triangles.
    virtual void EndPolygon();
    // One assembled triangle (the vertex data pointers given to AddVertex).
    virtual void AddTriangle(void* a, void* b, void* c);
    // Called after each primitive GLU ends.
    virtual void EndPrimitive() {}

    // Adds p as the next vertex of the current contour (one is opened when
    // none is). `data` comes back in the triangles.
    void AddVertex(G3Point* p, void* data);
    // Closes the current contour; the next AddVertex starts a new one.
    void NextContour();

    // Whether GLU reported an error since BeginPolygon, or emitted a vertex
    // without data.
    bool HasError() const { return errorCode != 0; }
    int GetError() const { return errorCode; }

    // The assembly steps, as GLU's callbacks drive them: the start of a
    // primitive of the given GL type, one vertex of it, its end, an error.
    void OnBegin(int type);
    void OnVertex(void* data);
    void OnEnd();
    void OnError(int code);

protected:
    void* tess = nullptr;
    int primitiveType = 0;
    int pending = 0;
    void* first = nullptr;
    void* second = nullptr;
    int stripIndex = 0;
    int errorCode = 0;
    bool inPolygon = false;
    bool inContour = false;
};

// Collects the triangles: entries 3k, 3k + 1, 3k + 2 of `triangles` are the
// data pointers of triangle k's corners.
class G3FacetTessellator : public GTessellator {
public:
    void AddTriangle(void* a, void* b, void* c) override;
    int GetTriangleCount() const { return triangles.size() / 3; }
    GArrayCollection triangles;
};
