#pragma once
// Which pieces lie on one another along an edge they share, for the tie
// order of OrientNormals2 (G3SurfaceOrient.cpp).

#include <cstddef>
#include <unordered_map>
#include <vector>

class G3Facet;

class G3Edge;

namespace g3orient {

// Whether f (along its edge e) and g (along x, joining the same two
// vertices) lie on one another: in one plane (the corners of each within
// kPlaneSide of the other's plane) and reaching into it on the same side
// of the edge, as a floor on part of a ceiling does; two floors side by
// side reach to either side. Symmetric, and the facets' senses do not
// matter.
bool LieOnOneAnother(const G3Facet* f, const G3Edge* e, const G3Facet* g, const G3Edge* x);

// Appends to `out` (sorted, each once) the pieces other than `own` with a
// facet lying on one of `facets` from an edge they share. `pieceOf` gives
// every facet's piece; facets it does not list are passed over.
void PiecesLyingOn(const std::vector<G3Facet*>& facets, std::size_t own,
                   const std::unordered_map<const G3Facet*, std::size_t>& pieceOf, std::vector<std::size_t>& out);

} // namespace g3orient
