#pragma once
// Walks the contours of a facet (its outer boundary and each hole) as edge
// lists. The facet's chain is copied into an edge list and resolved into
// closed contours (G3EdgeList::FormContours: coincident edges cancel in
// pairs, dangling edges are dropped); the iterator owns those lists and
// deletes them with itself. The lists hold copies of the facet's edges with
// its corner data; the vertices are the facet's own.

#include "Geometry/foundation/GArrayCollection.h"

class G3Facet;
class G3EdgeList;

class G3FacetContourIterator : public GIterator {
public:
    explicit G3FacetContourIterator(G3Facet* f);
    ~G3FacetContourIterator() override;
    // The lists belong to one iterator.
    G3FacetContourIterator(const G3FacetContourIterator&) = delete;
    G3FacetContourIterator& operator=(const G3FacetContourIterator&) = delete;

    bool hasNext() override { return position < contours.size(); }
    // The next contour (a G3EdgeList), null past the end.
    GObj* next() override;

    int GetContourCount() const { return contours.size(); }
    G3EdgeList* GetContour(int i) const;

protected:
    GArrayCollection contours;
    int position = 0;
};
