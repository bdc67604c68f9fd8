#include "Geometry/processing/G3FacetContourIterator.h"

#include "Geometry/processing/G3EdgeList.h"

G3FacetContourIterator::G3FacetContourIterator(G3Facet* f)
{
    if (!f)
        return;
    G3EdgeList list(f);
    list.FormContours(&contours);
}

G3FacetContourIterator::~G3FacetContourIterator() { contours.clear(true); }

GObj* G3FacetContourIterator::next()
{
    if (position >= contours.size())
        return nullptr;
    return contours.get(position++);
}

G3EdgeList* G3FacetContourIterator::GetContour(int i) const
{
    if (i < 0 || i >= contours.size())
        return nullptr;
    return static_cast<G3EdgeList*>(contours.get(i));
}
