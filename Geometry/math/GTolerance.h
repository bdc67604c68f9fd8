#pragma once

#include <limits>

// The kernel's tolerances, in one place. Every one is absolute (never scaled
// by the model's size; the last two are a limit and a share of a
// coordinate, not tolerances) and compared the way its line says: "closer than" is
// strict, "within" includes the bound. Code takes its tolerance from here;
// a literal stays only where it is a rule of its own (a relative factor, a
// probe offset derived from one of these, a test's own figure).
//
// Several share the value 1e-6 but are separate names: they answer separate
// questions, and a change to one must not move the others.

namespace GTolerance {

// Points strictly closer than this (Euclidean, or along one axis for keys and
// sweep positions) are one point: G3Point/G3TexCoo equality, the point
// hashes, contour graph vertices, interval keys.
constexpr double kPointEqual = 1e-6;
// Vertex welding (RemoveEqualsVertex, the terrain's read-back, the readers):
// duplicates are the points equal under kPointEqual.
constexpr double kWeld = kPointEqual;
// A signed distance to a plane or a line below this in magnitude is on it:
// sides of planes and of cut lines, points on segments, turns of corners.
constexpr double kPlaneSide = 1e-6;
// Two planes are one plane when |n . m - 1| and |d - e| are both below this
// (G3Facet::PlaneEquals, the facet plane hash).
constexpr double kPlaneEqual = 1e-6;
// The band around a facet's contours in which a point counts as on the
// boundary (G3Facet::PointInFacet and its callers).
constexpr double kInFacet = 1e-6;
// A vector, edge, segment or axis shorter than this has no direction: it is
// skipped, refused or rebuilt (matrices, feet on edges, segment sweeps).
constexpr double kZeroLength = 1e-6;
// Boxes closer than this overlap (GEnvelope's tolerant tests, Extend()).
constexpr double kBoxTouch = 1e-6;
// A facet is flat when every vertex lies within this of its plane
// (half the side tolerance, so flat facets classify cleanly).
constexpr double kFlatness = 5e-7;
// Twice a projected area below this is no turn (G3Math::GetAreaSign, the
// collinearity of corners).
constexpr double kZeroArea = 1e-12;
// Normals, cross products and denominators of intersections shorter than
// this are zero: no plane, no normal, parallel lines.
constexpr double kZeroNormal = 1e-12;
// Matrix entries and the sines and cosines read from them within this of a
// value are that value: UnMatrix's homogeneous weight, perspective terms
// and gimbal test, M4IsIdentity.
constexpr double kMatrixEntry = 1e-6;
// A 4x4 determinant below this in magnitude makes the matrix singular.
constexpr double kDeterminant = 1e-18;
// Two planar lines are parallel when the 2x2 determinant of their
// (unnormalised) direction vectors is below this in magnitude: the segment
// and line tests of the roof, hole and terrain code.
constexpr double kLineParallel = 1e-6;
// Parameter band at a segment's ends: two segments cross properly only
// when both crossing parameters lie strictly inside (this, 1 - this).
constexpr double kSegmentEnd = 1e-6;
// Unit directions whose |dot| is within this of 1 are parallel (or opposite):
// collinear corners of roof rings.
constexpr double kParallel = 1e-6;
// An angle below this in magnitude is no angle (a roof pitch of 0 is
// refused); a pitch within it of pi/2 is vertical.
constexpr double kAngleZero = 1e-6;
// The double just below 1e-5: boxes of the boolean engine and ray probes are
// widened or offset by it, which keeps them clear of the 1e-6 bands on both
// sides.
constexpr double kBoxMargin = 9.999999999999999e-6;
// An edge list whose vertices lie farther than this apart, and from every
// edge they do not end, in its projection plane (ten times the bands within
// which the crossing sweep and the contour graph join points) resolves to
// itself: G3EdgeList::SimpleContour.
constexpr double kSimpleContourClearance = 1e-5;
// The planar triangulation engine: positions closer than this in both x and
// y are merged, and its predicates compare with it (relative below unit
// size).
constexpr double kPlanarTriangulation = 1e-8;
// The factor the boolean engine and the self-intersection repair multiply
// coordinates by (and divide back by at the end): the absolute tolerances
// above act at 1/1000 of the model's unit there.
constexpr double kBooleanScale = 1000.0;
// The contour intersector's points closer than this are one point (the
// double just below 1e-5, as the boolean boxes: clear of the 1e-6 bands in
// which its segments are split).
constexpr double kContourMerge = 9.999999999999999e-6;
// The largest coordinate the contour tools and the text readers of points
// take: they square coordinate differences and sum such products, which
// stay finite, with room to spare, up to here. Beyond it (1e200, say)
// holes were left unjoined, and near the largest double the arrangement
// came out wrong.
constexpr double kLargestCoordinate = 1e150;
// Corners stored far from the origin lie off the exact figure by up to a
// few units in the last place of their largest coordinate: this share of
// it (four ulps), below which an offset is rounding alone.
constexpr double kCoordinateRounding = 4.0 * std::numeric_limits<double>::epsilon();

} // namespace GTolerance
