#include "Geometry/mesh/G3FacetIterators.h"

#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Vertex.h"

G3FacetEdgeIterator::G3FacetEdgeIterator(G3Facet* f) : current(f ? f->GetFirstEdge() : nullptr), facet(f) {}

GObj* G3FacetEdgeIterator::next()
{
    G3Edge* e = current;
    if (e)
        current = e->GetFacetEdge(facet);
    return e;
}

G3Vertex* G3FacetVertexIterator::ContourStart(const G3Edge* e, const G3Edge* following)
{
    if (following && following->HasVertex(e->GetVertex1()))
        return e->GetVertex2();
    return e->GetVertex1();
}

G3FacetVertexIterator::G3FacetVertexIterator(G3Facet* f) : facet(f)
{
    walkEdge = f ? f->GetFirstEdge() : nullptr;
    if (walkEdge) {
        nextEdge = walkEdge->GetFacetEdge(facet);
        vertex = ContourStart(walkEdge, nextEdge);
    }
}

GObj* G3FacetVertexIterator::next() { return NextVertex(); }

G3Vertex* G3FacetVertexIterator::NextVertex()
{
    if (!walkEdge)
        return nullptr;
    G3Vertex* result = vertex;
    currentEdge = walkEdge;
    G3Edge* successor = nextEdge;
    if (successor) {
        // The walk entered the edge at `result`, so it leaves through the
        // far end when the successor goes on from there. Asking only which
        // end the successor shares fails on a spike (the chain runs out to a
        // vertex and back along a parallel edge: the two edges share both
        // ends).
        G3Vertex* farEnd = walkEdge->GetVertex1() == result ? walkEdge->GetVertex2() : walkEdge->GetVertex1();
        if (successor->HasVertex(farEnd)) {
            vertex = farEnd;
        } else if (successor->IsLink(walkEdge)) {
            // Leave the edge through the end its successor shares.
            vertex = successor->HasVertex(walkEdge->GetVertex1()) ? walkEdge->GetVertex1()
                                                                  : walkEdge->GetVertex2();
        } else {
            // Contour break: the next contour starts by the first rule.
            vertex = ContourStart(successor, successor->GetFacetEdge(facet));
        }
        walkEdge = successor;
        nextEdge = successor->GetFacetEdge(facet);
    } else {
        vertex = nullptr;
        walkEdge = nullptr;
        nextEdge = nullptr;
    }
    return result;
}
