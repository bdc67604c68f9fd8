#pragma once
// Consistency check of a whole shell, for tests to run after every
// operation (the invariants are listed in Geometry/mesh/G3MeshCheck.h):
//
//   EXPECT_EQ("", MeshCheck(surface));

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3MeshCheck.h"
#include "Geometry/mesh/G3PolyEdge.h"
#include "Geometry/mesh/G3Shell.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <string>

namespace meshcheck {

// `o` is the entity of `c` that its id names.
inline bool Listed(const GArrayCollection* c, const G3Obj* o)
{
    return c && o && o->GetId() >= 0 && o->GetId() < c->size() && c->get(static_cast<int>(o->GetId())) == o;
}

} // namespace meshcheck

inline std::string MeshCheck(G3Shell* s) { return G3MeshCheck(s); }
