#pragma once
// The short road of edge-list resolution, on plain arrays of edge ends:
// pair cancellation of a short list, and the one simple cycle its live
// edges may form. G3EdgeList's resolution and the in-plane merge of a few
// facets (which never builds an edge list when this road serves) both take
// it, so the two make the same contour edge for edge.

#include <array>

class GArrayCollection;
class G3Vertex;
struct G3EdgeCopy;

struct G3EdgeEnds {
    G3Vertex* v1 = nullptr;
    G3Vertex* v2 = nullptr;
};

// Lists up to this long are paired by a plain scan (G3CancelPairs): a hash
// of vertex lists for each of thousands of two-facet merges cost more than
// the merge.
constexpr int kPairScanEdges = 32;

// Longer cycles are left to the crossing sweep: the tests of
// G3FindSimpleCycle compare every vertex with every edge.
constexpr int kSimpleCycleEdges = 16;

// Pair cancellation of a list of n <= kPairScanEdges edges: of the edges
// joining the same two vertices (either way round), all but the last of an
// odd count, taken in list order, get idle[k] = 1; the others idle[k] = 0.
void G3CancelPairs(const G3EdgeEnds* ends, int n, char* idle);

// The live edges (idle[k] == 0) of a list in the order of the contour that
// the crossing sweep and the contour graph walk would make of it (list
// indices; each edge still as the list holds it, to be turned head to tail).
struct G3SimpleCycle {
    int count = 0;
    std::array<int, kSimpleCycleEdges> edge{};
};

// Whether the live edges of the list (n <= 2 * kSimpleCycleEdges) form one
// simple cycle well clear of itself in the projection (i, j), whose graph
// walk can be told without the graph; see G3EdgeListSimpleContour.cpp for
// the conditions. False leaves *out unspecified.
bool G3FindSimpleCycle(const G3EdgeEnds* ends, int n, const char* idle, int i, int j, G3SimpleCycle* out);

// The one contour the edge-list road of UnionInPlaneFacets makes of a group
// of coplanar facets (the first facet's edge list, the others' chains
// appended, resolved with pairs cancelling) when that road finds it by
// G3FindSimpleCycle: the same copies in the same order, turned head to tail
// and wound as the first facet, into contour[0 .. *count - 1] (room for
// kSimpleCycleEdges). False, with nothing touched, whenever that road
// would not take the short cut. `plane`, when given, receives the plane of
// the contour as the winding test formed it (negated when the contour was
// turned): the plane of the facet built from it, up to rounding.
bool G3SimpleGroupContour(const GArrayCollection& group, G3EdgeCopy* contour, int* count, double* plane = nullptr);
