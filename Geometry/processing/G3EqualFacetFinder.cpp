#include "Geometry/processing/G3EqualFacetFinder.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GMemoryAllocator.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Shell.h"
#include "Geometry/mesh/G3Vertex.h"

G3EqualFacetFinder::G3EqualFacetFinder(G3Shell* s) : shell(s)
{
    allocator = new GMemoryAllocator(4096, 64 * 1024);
    bucketCount = s ? s->GetVertexCount() : 0;
    buckets = new G3EqualFacetFinderNode*[bucketCount > 0 ? bucketCount : 1]();
    vertices = new GArrayCollection();
    candidateVertices = new GArrayCollection();
}

G3EqualFacetFinder::~G3EqualFacetFinder()
{
    delete candidateVertices;
    delete vertices;
    delete[] buckets;
    delete allocator;
}

bool G3EqualFacetFinder::Matches(G3EqualFacetFinderNode* node, int keyIndex)
{
    const int n = vertices->size();
    node->facet->GetVertices(candidateVertices);
    if (candidateVertices->size() != n)
        return false;
    GObj** f = vertices->toArray();
    GObj** g = candidateVertices->toArray();
    // Every place of the key in the candidate is a possible start: a vertex
    // may occur more than once in a polygon (a pinched contour, a hole
    // touching the outer contour).
    for (int j = 0; j < n; ++j) {
        if (g[j] != node->key)
            continue;
        bool forwards = true;
        bool backwards = true;
        for (int k = 0; k < n && (forwards || backwards); ++k) {
            GObj* a = f[(keyIndex + k) % n];
            forwards = forwards && a == g[(j + k) % n];
            backwards = backwards && a == g[(j - k + n) % n];
        }
        if (forwards || backwards)
            return true;
    }
    return false;
}

G3Facet* G3EqualFacetFinder::Find(G3Facet* f)
{
    if (!f)
        return nullptr;
    f->GetVertices(vertices);
    const int n = vertices->size();
    if (n == 0)
        return nullptr;
    int keyIndex = 0;
    G3Vertex* key = static_cast<G3Vertex*>(vertices->get(0));
    for (int i = 1; i < n; ++i) {
        G3Vertex* v = static_cast<G3Vertex*>(vertices->get(i));
        if (v->GetId() < key->GetId()) {
            key = v;
            keyIndex = i;
        }
    }
    const long id = key->GetId();
    if (id < 0 || id >= bucketCount)
        return nullptr;
    for (G3EqualFacetFinderNode* node = buckets[id]; node; node = node->next)
        if (node->key == key && Matches(node, keyIndex))
            return node->facet;
    G3EqualFacetFinderNode* node = new (allocator) G3EqualFacetFinderNode(f, key, keyIndex);
    node->next = buckets[id];
    buckets[id] = node;
    return nullptr;
}
