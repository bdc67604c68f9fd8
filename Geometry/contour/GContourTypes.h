#pragma once
// Enumerations shared by the contour tools and the edge lists: what kind of
// contour a list or a loaded path describes, and what each segment of a path
// is and whether it is drawn.

// Nesting class of a closed contour: 0 until classified, then 1 for a hole
// (odd nesting depth) or 2 for an outer contour (even nesting depth). Paths
// passed on by the polyline clipper always carry 0.
enum CONTOUR_TYPE {
    CONTOUR_TYPE_UNKNOWN = 0,
    CONTOUR_TYPE_HOLE = 1,
    CONTOUR_TYPE_OUTER = 2
};

// Kind of a path segment: 0 is the start of a contour (a single point, the
// contour's first vertex), 1 a straight segment to its vertex.
enum SEGMENT_TYPE {
    SEGMENT_TYPE_START = 0,
    SEGMENT_TYPE_LINE = 1
};

// Whether the segment that ends at a vertex is drawn.
enum SEGMENT_VISIBILITY {
    SEGMENT_INVISIBLE = 0,
    SEGMENT_VISIBLE = 1
};
