#pragma once
// The faces of the overhang band where a strip per edge cannot hold them:
// the lines two neighbouring planes share leave the outline's corners
// downwards, and where the two lines of one edge meet before the offset
// border (a steep short edge between shallower neighbours, a valley that
// would run past a whole edge) that edge's face closes there and its
// neighbours meet beyond it, along the line their own planes share.

#include <vector>

// The band around an outline of n corners. Edge i runs from corner i - 1
// to corner i and owns plane i; mitre i is the offset border's corner
// outside outline corner i, so edge i's offset runs from mitre i - 1 to
// mitre i. The lines at a vertical edge's ends (a gable, a step) go down
// its neighbours' planes straight to the mitres; a neighbour's face may
// close on such a line, but the vertical edge's own never closes.
struct G3RoofBandInput {
    std::vector<const double*> corners;  // x, y, z of each outline corner
    std::vector<const double*> planes;   // a, b, c, d of each edge's plane
    std::vector<char> vertical;          // the edge's plane is vertical
    std::vector<double> mitres;          // x, y of each mitre corner
};

// For each edge the x, y points of its face between its eave's end and its
// eave's start: down the lines at its end, along the offset border back,
// up the lines at its start (the meeting point alone for a face that
// closes). False when the faces found do not tile the band: two lines of
// a face crossing, a line leaving the band nowhere, a face turned over, or
// areas that do not add up to the band's.
bool G3RoofBandFaces(const G3RoofBandInput& in, std::vector<std::vector<double>>& paths);

// Two sides of the closed plan ring (points read for x and y) that share
// no corner cross strictly inside both; sides that only touch, or run in
// line, do not count.
bool G3RoofPlanRingCrosses(const std::vector<const double*>& ring);
