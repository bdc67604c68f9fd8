#pragma once
// The side of cube-shaped cells that cut a box into about `target` cells,
// shared by the kernel's grids and hashes.
//
// extent[0..2] are the box's sides (zero for an axis to leave out: a flat
// box, or a side that is not finite). The side is the k-th root of the
// volume over the k axes still sized divided by target, in logarithms so
// that no product overflows, and at least minSide. An axis no longer than
// one cell is dropped (it takes a single cell) and the others share the
// target. On return sized[a] says which axes are cut; the result is 0 when
// none is.
double GCubeCellSide(const double extent[3], double target, double minSide, bool sized[3]);
