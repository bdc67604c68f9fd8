#include "Geometry/mesh/G3FacetIterators.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Vertex.h"

#include <utility>

G3FacetEdgeIterator::G3FacetEdgeIterator(G3Facet* f) : current(f ? f->GetFirstEdge() : nullptr), facet(f) {}

GObj* G3FacetEdgeIterator::next()
{
    G3Edge* e = current;
    if (e)
        current = e->GetFacetEdge(facet);
    return e;
}

// ------------------------------------------------------------ G3ContourWalker

G3ContourWalker::G3ContourWalker(const G3Facet* f) : facet(f)
{
    following = f ? f->GetFirstEdge() : nullptr;
}

G3ContourWalker::G3ContourWalker(const GArrayCollection* edges) : array(edges)
{
    following = edges && edges->size() > 0 ? static_cast<G3Edge*>(edges->get(0)) : nullptr;
}

G3Edge* G3ContourWalker::After(const G3Edge* e, int at) const
{
    if (facet)
        return e->GetFacetEdge(facet);
    if (array && at + 1 < array->size())
        return static_cast<G3Edge*>(array->get(at + 1));
    return nullptr;
}

// A first edge a-b whose next edge shares only one of its ends starts at the
// other end. When the next edge joins the same two ends (a contour of two
// edges, or a spike out and back at the contour's start), both walks go on,
// one standing at a and one at b after each copy; the first edge after the
// run of copies that goes on from just one of them decides. When none does
// (the chain or the contour ends with the copies) either start closes the
// same walk, vertex2 is taken and *decided (when given) is set false.
G3Vertex* G3ContourWalker::StartOf(const G3Edge* e, int at, bool* decided) const
{
    if (decided)
        *decided = true;
    G3Vertex* v1 = e->GetVertex1();
    G3Vertex* v2 = e->GetVertex2();
    const G3Edge* next = After(e, at);
    if (!next || !next->HasVertex(v1))
        return v1;
    if (!next->HasVertex(v2))
        return v2;
    G3Vertex* fromV1 = v2; // where the walk that starts at v1 stands
    G3Vertex* fromV2 = v1;
    // A sound chain holds each edge once; a damaged one that runs into a
    // loop of copies is caught by meeting a remembered edge again (the
    // remembered edge moves on at doubling distances).
    const G3Edge* remembered = e;
    int distance = 0;
    int reach = 1;
    bool looped = false;
    while (next && next->HasVertex(fromV1) && next->HasVertex(fromV2)) {
        std::swap(fromV1, fromV2);
        ++at;
        next = After(next, at);
        if (next == remembered) {
            looped = true;
            break;
        }
        if (++distance == reach) {
            remembered = next;
            distance = 0;
            reach *= 2;
        }
    }
    if (!looped && next && next->HasVertex(fromV1))
        return v1;
    if (decided && !(!looped && next && next->HasVertex(fromV2)))
        *decided = false;
    return v2;
}

G3Vertex* G3ContourWalker::ContourStart(const G3Facet* f, const G3Edge* e)
{
    if (!e)
        return nullptr;
    G3ContourWalker w(f);
    return w.StartOf(e, 0);
}

bool G3ContourWalker::Next()
{
    if (!following) {
        edge = nullptr;
        entry = exit = nullptr;
        return false;
    }
    // A loop of fewer than three edges back at the start is a spike out
    // and back, part of the contour it leaves from, not a loop of its own.
    const bool backAtStart = edge && exit == contourStart && index - loopFirst >= 2;
    edge = following;
    ++index;
    opens = closes;
    opensLoop = opens || backAtStart;
    if (opensLoop)
        loopFirst = index;
    if (opens) {
        entry = StartOf(edge, index);
        contourStart = entry;
    } else {
        entry = exit;
    }
    exit = edge->GetOtherVertex(entry);
    following = After(edge, index);
    closes = !following || !following->HasVertex(exit);
    // Back at its start, the walk goes on only when the next edge would be
    // entered there anyway (the contour passes its start again, or the next
    // contour starts there). A next contour that touches that vertex with
    // its second corner would otherwise be read backwards. When nothing
    // after the next edge tells its start (a spike out and back at the end
    // of the chain), the walk goes on: which end the edge objects happen to
    // name first must not split a contour.
    if (!closes && exit == contourStart) {
        bool decided = true;
        G3Vertex* nextStart = StartOf(following, index + 1, &decided);
        closes = decided && nextStart != exit;
    }
    return true;
}

// ------------------------------------------------------ G3FacetVertexIterator

G3Vertex* G3FacetVertexIterator::ContourStart(const G3Edge* e, const G3Edge* following)
{
    if (!e)
        return nullptr;
    // The chain e belongs to is the one that links it to `following`;
    // without one (a detached edge) only `following` can be consulted.
    const G3Facet* f = nullptr;
    if (e->GetFacet1() && e->GetFacet1Edge() == following)
        f = e->GetFacet1();
    else if (e->GetFacet2() && e->GetFacet2Edge() == following)
        f = e->GetFacet2();
    if (f)
        return G3ContourWalker::ContourStart(f, e);
    if (following && following->HasVertex(e->GetVertex1()))
        return e->GetVertex2();
    return e->GetVertex1();
}

G3FacetVertexIterator::G3FacetVertexIterator(G3Facet* f) : walker(f) { walker.Next(); }

GObj* G3FacetVertexIterator::next() { return NextVertex(); }

G3Vertex* G3FacetVertexIterator::NextVertex()
{
    if (!walker.GetEdge())
        return nullptr;
    G3Vertex* result = walker.GetEntry();
    currentEdge = walker.GetEdge();
    walker.Next();
    return result;
}
