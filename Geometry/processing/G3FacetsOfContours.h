#pragma once
// Facets with holes from the resolved contours of one plane (the output of
// G3EdgeList::RemoveSelfIntersections without linking): each contour split
// into simple loops, each outer loop (an even nesting count) wound along
// the plane's normal and followed by the holes it directly encloses, wound
// against it, each hole a contour of its own (no bridges). A hole that no
// outer loop encloses makes a facet of its own. Chains of copies, ready for
// G3Surface::AddFacetOfCopies. False, with `facets` unspecified, when a
// contour does not split into loops.

#include "Geometry/mesh/G3EdgeCopy.h"

#include <vector>

class GArrayCollection;

bool G3FacetsOfContours(const GArrayCollection& contours, const double* plane,
                        std::vector<std::vector<G3EdgeCopy>>& facets);
