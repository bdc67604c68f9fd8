#pragma once
// Where a point (or a facet, through an inner point) lies against a closed
// surface. The values are bit flags, so that a set of them is a mask.

enum SURF_CLASSIFY : int {
    // No decision: every ray was ambiguous, or nothing was classified yet.
    SC_UNKNOWN = 0,
    // On a facet of the surface.
    SC_ON = 1,
    // Even number of crossings.
    SC_OUTSIDE = 2,
    // Odd number of crossings.
    SC_INSIDE = 4,
    // On both surfaces, both solids on the same side of the shared plane.
    SC_ON_SAME = 16,
    // On both surfaces, the solids on opposite sides of the shared plane.
    SC_ON_OPPOSITE = 32,
};
