#pragma once
// A facet's boundary held for many point-in-facet questions: the boundary
// steps of its contours, each contour with its box on the projection pair.
// A contour whose box, widened by twice the tolerance, leaves the point out
// can hold no boundary hit and adds an even crossing count, so it is passed
// over; a facet with many holes then reads the contours filed in the
// point's cell of a grid over the contour boxes and walks the few near it. The answers (inside, and the vertex
// or edge hit first in the boundary's order) are G3Facet::PointInFacet's.
//
// The facet's vertices must not move, nor its chain change, while the
// locator is in use: it keeps the vertices and their boxes, not their
// places.

#include <vector>

class G3Facet;
class G3Vertex;

class G3FacetLocator {
public:
    // The boundary of f on the projection pair (i, j).
    G3FacetLocator(const G3Facet* f, int i, int j);

    // As f->PointInFacet(i, j, p, onA, onB, tolerance).
    bool PointInFacet(const double* p, G3Vertex** onA, G3Vertex** onB, double tolerance) const;

    int GetContourCount() const { return static_cast<int>(boxes.size()); }
    int GetI() const { return i; }
    int GetJ() const { return j; }

private:
    struct Step {
        G3Vertex* from;
        G3Vertex* to;
        bool opens;
    };
    struct Box {
        double i0, i1, j0, j1;
    };
    int i;
    int j;
    std::vector<Step> steps;
    std::vector<int> begin; // first step of each contour, and steps.size()
    std::vector<Box> boxes; // per contour
    // Contours by cell of a side x side grid over their boxes widened by
    // `filed`, each cell's in contour order (empty: no grid); built for
    // kGridContours contours or more.
    static constexpr int kGridContours = 64;
    int side = 0;
    double low[2] = {0.0, 0.0};
    double scale[2] = {0.0, 0.0};
    double filed = 0.0;
    std::vector<std::vector<int>> cells;
    int Cell(int axis, double x) const;
};
