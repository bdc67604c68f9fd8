#pragma once
// Front end of the planar constrained Delaunay triangulation. A caller picks
// a projection plane, adds 3D points (each becomes a G3TVertex of the engine)
// and constraint edges between added points, and runs MakeTriangulation. The
// triangulation works on the points' coordinates in the plane (x = p.axisU,
// y = p.axisV); the coordinate along the plane normal (z = p.axisN) rides
// along unchanged.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/terrain/triangulation/G3TVertex.h"

namespace g3tri {
class G3TriEngine;
class G3TEdge;
} // namespace g3tri

class G3Surface;

class G3TriInterface {
public:
    // Options of a triangulation run. The kernel only uses the value 0; the
    // option query answers true for every value.
    enum BasicOptions : int { TRI_BASIC_DEFAULT = 0 };

    G3TriInterface();
    virtual ~G3TriInterface();
    // A copy would share the engine and release it twice.
    G3TriInterface(const G3TriInterface&) = delete;
    G3TriInterface& operator=(const G3TriInterface&) = delete;

    // Sets the plane axes (copied as given, not normalised; expected
    // orthonormal) and the normal u x v. Call it before adding points.
    void Set2DPlane(const double* u, const double* v);
    // Adds a point; returns the engine's vertex (owned by the engine), or
    // null for a null point.
    G3TVertex* AddVertex(const double* p);
    // Records a constraint from a to b; checked only when the run inserts it.
    void AddEdge(G3TVertex* a, G3TVertex* b);
    // Triangulates every point added so far, then inserts the constraints in
    // the order they were added. Always returns true.
    bool MakeTriangulation(BasicOptions option);
    bool option(BasicOptions option);

    // ---- Reading the result back as a G3Surface ----------------------------
    // One output vertex per engine vertex (at x * axisU + y * axisV +
    // z * axisN), one facet per triangle (corners 0, 1, 2), then coinciding
    // vertices are welded (1e-6) and unused ones removed. Afterwards each
    // engine vertex's output vertex is the surviving vertex it was welded
    // to, or null when it was removed (a merged-away point in no facet).
    // The first form returns a new surface owned by the caller; the second
    // appends to target (whose own vertices take part in the welding) and
    // returns it (null for a null target).
    G3Surface* GetSurface();
    G3Surface* GetSurface(G3Surface* target);

    // Engine-level access to the result, for readers of the triangulation.
    int GetVertexCount() const;
    G3TVertex* GetVertex(int i) const;
    int GetTriangleCount() const;
    // The vertices at corners 0, 1, 2 (counter-clockwise in the plane).
    bool GetTriangle(int i, G3TVertex* corners[3]) const;
    // The vertex whose position v was merged into by the run (v itself when
    // kept); null when v took no part in the run.
    G3TVertex* GetKeptVertex(const G3TVertex* v) const;
    // The 3D position of v: x * axisU + y * axisV + z * axisN.
    void GetPosition(const G3TVertex* v, double out[3]) const;
    int GetConstraintCount() const { return constraints.size(); }
    g3tri::G3TEdge* GetConstraint(int i) const;
    g3tri::G3TriEngine* GetEngine() const { return engine; }
    const double* GetAxisU() const { return axisU; }
    const double* GetAxisV() const { return axisV; }
    const double* GetAxisN() const { return axisN; }

protected:
    g3tri::G3TriEngine* engine;
    double axisU[3];
    double axisV[3];
    double axisN[3];
    GArrayCollection constraints;
};
