#pragma once
// Walks an array of edges (an edge list, a collection or a plain array),
// yielding each edge's vertex1.

#include "Geometry/foundation/GCollection.h"

class G3EdgeListVertexIterator : public GIterator {
public:
    G3EdgeListVertexIterator() = default;
    explicit G3EdgeListVertexIterator(GCollection* edges) { init(edges); }
    G3EdgeListVertexIterator(int count, GObj** array) { init(count, array); }
    G3EdgeListVertexIterator(GObj** array, int from, int to) { init(array, from, to); }

    void init(GCollection* edges) override;
    void init(int count, GObj** array);
    void init(GObj** array, int from, int to);
    bool hasNext() override { return position < end; }
    // The vertex1 of the next edge (null for a null slot).
    GObj* next() override;

protected:
    int position = 0;
    int end = 0;
    GObj** array = nullptr;
};
