// G3Surface::Update, the repair sequence the editing, terrain and roof code
// run after changing a surface. It lives with the boolean engine because
// its highest level runs the engine's self-intersection removal; the other
// passes are the surface's own. Invariants: each pass leaves the mesh
// consistent, so the sequence does too; a level outside the three runs no
// pass but still trims the collections and makes an open surface's facets
// double-sided. Nothing is rounded here.
#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/mesh/G3PassCheck.h"
#include "Geometry/mesh/G3Surface.h"

void G3Surface::Update(CHECK_LEVEL level)
{
    switch (level) {
    case CHECK_LEVEL_WELD:
        RemoveEqualsVertex();
        RemoveEqualsNormal();
        RemoveNonManifoldEdges();
        OrientNormals2(false);
        break;
    case CHECK_LEVEL_FACETS:
        RemoveSelfIntersections();
        RemoveEqualsFacets();
        OrientNormals2(false);
        break;
    case CHECK_LEVEL_INTERSECTIONS: {
        RemoveSelfIntersections();
        G3BooleanCalculator engine;
        engine.RemoveSelfIntersection(this);
        OrientNormals2(false);
        break;
    }
    default:
        break;
    }
    ReallocByRealSize();
    if (!GetClosed())
        ExtendDoubleSidedFacets();
    G3_CHECK_PASS(this, "Update");
}
