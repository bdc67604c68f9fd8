#include "Geometry/mesh/G3EdgeListVertexIterator.h"

#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Vertex.h"

void G3EdgeListVertexIterator::init(GCollection* edges)
{
    position = 0;
    end = edges ? edges->size() : 0;
    array = edges ? edges->toArray() : nullptr;
    if (!array)
        end = 0;
}

void G3EdgeListVertexIterator::init(int count, GObj** a)
{
    init(a, 0, count);
}

void G3EdgeListVertexIterator::init(GObj** a, int from, int to)
{
    array = a;
    position = from < 0 ? 0 : from;
    end = a ? to : 0;
}

GObj* G3EdgeListVertexIterator::next()
{
    if (position >= end)
        return nullptr;
    G3Edge* e = static_cast<G3Edge*>(array[position++]);
    return e ? e->GetVertex1() : nullptr;
}
