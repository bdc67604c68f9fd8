#pragma once
// Index of facets by a key vertex, used by G3Surface::RemoveEqualsFacets to
// find an earlier facet with the same vertices.
//
// A facet's key is its vertex with the smallest id (the first in chain order
// when a vertex repeats); facets are chained in the bucket of their key's id,
// newest first. Two facets are equal when they have the same vertex count n
// and, starting from the key, all n vertices agree walking both facets
// forwards, or walking the candidate backwards (the same polygon turned
// around). Comparing fewer than n vertices would call different polygons
// that share a run of vertices equal.
//
// The shell's vertex ids must equal their indexes (the shell's invariant);
// a facet whose key id is out of range is never indexed nor matched.

#include "Geometry/foundation/GObj.h"

class GArrayCollection;
class GMemoryAllocator;
class G3Facet;
class G3Shell;
class G3Vertex;

class G3EqualFacetFinderNode : public GObj {
public:
    G3EqualFacetFinderNode(G3Facet* f, G3Vertex* k, int index) : facet(f), key(k), keyIndex(index) {}
    G3Facet* facet;
    G3Vertex* key;
    int keyIndex;
    G3EqualFacetFinderNode* next = nullptr;
};

class G3EqualFacetFinder {
public:
    // Empty buckets, one per vertex of `shell`.
    explicit G3EqualFacetFinder(G3Shell* shell);
    ~G3EqualFacetFinder();
    G3EqualFacetFinder(const G3EqualFacetFinder&) = delete;
    G3EqualFacetFinder& operator=(const G3EqualFacetFinder&) = delete;

    // An indexed facet equal to f; when there is none, f is indexed (at the
    // head of its bucket) and the result is null. A facet without vertices
    // is neither indexed nor matched.
    G3Facet* Find(G3Facet* f);

protected:
    // Whether candidate g (node) equals the probe whose vertices are in
    // `vertices` with the key at keyIndex.
    bool Matches(G3EqualFacetFinderNode* node, int keyIndex);

    GMemoryAllocator* allocator = nullptr;
    G3Shell* shell = nullptr;
    G3EqualFacetFinderNode** buckets = nullptr;
    int bucketCount = 0;
    GArrayCollection* vertices = nullptr;
    GArrayCollection* candidateVertices = nullptr;
};
