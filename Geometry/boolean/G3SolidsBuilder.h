#pragma once
// Simple closed solids built from scratch: the half-space box the plane
// slices subtract, a latitude-longitude sphere, and the shell of a solid
// (every facet moved along its normal, corners rebuilt where the moved
// planes meet). Static operations only; the class is never instantiated.

#include <vector>

class CExDataProvider;
class GArrayCollection;
class G3Facet;
class G3Surface;
class G3Vertex;
class G3Edge;

class G3SolidsBuilder {
public:
    // A new closed box, facets facing out: in local coordinates, with
    // s = size, it covers [-s, s] x [-s, s] x [0, 2s], then m (may be null:
    // no move) carries it into place, so its face z = 0 lies on the plane m
    // maps z = 0 to. New facets take `provider` as their default extended
    // data (may be null). Null when size is not finite and positive, or
    // when a corner would lie past GTolerance::kLargestCoordinate (a size or
    // move that large, or a move that is not finite): its planes overflow.
    static G3Surface* BuildBox(double (*m)[4], double size, CExDataProvider* provider);
    // A new sphere about center: n meridians (an odd n is raised by 1) and
    // n / 2 + 1 rings from pole to pole, quads with edge flags 2, the pole
    // vertices welded so that the facets there are triangles. Empty (not
    // null) unless radius > kZeroLength and n >= 4, or when the centre or
    // radius is not finite or exceeds GTolerance::kLargestCoordinate; null
    // only for a null centre. Facets face out.
    static G3Surface* BuildSphere(const double* center, double radius, int n);
    // *out = a new surface: every facet of s moved by `thickness` along its
    // plane normal, each corner (of its outline and of its holes) where the
    // moved planes of the facets around the corner's vertex meet
    // (MovedCorner; a corner without such a point is dropped, and a facet
    // or hole left with fewer than three corners is dropped too). A face
    // given as several coplanar facets of the same flags is moved as one
    // facet (WholeFaces), numbered by the first of them; should that shell
    // be refused, the facets are moved as given. Facets of s listed in `keep` (may be null)
    // keep their planes. Facets the rebuilding turned against the facet they
    // come from are removed. s is unchanged. False, *out null, for a null s
    // or out or a non-finite thickness; for an s that is empty or open (an
    // edge with one facet: shells are of closed solids); when the shell
    // folds over (a moved edge runs back along the edge it came from: an
    // inward shell deeper than the solid, or an outward one wider than a
    // notch, a solid pinched along an edge or at a corner included); when the result overflows (a corner or plane that is no
    // finite number) or is left with no facets; and when it comes out open
    // (corners that do not meet: a triangle thinner than the thickness at a
    // vertex of four planes, a solid pinched along an edge).
    static bool Shell(G3Surface* s, G3Surface** out, double thickness, GArrayCollection* keep);
    // Shell's last step: removes the facets of `shell` whose plane turned
    // against the facet of `source` their surface number names (a normal
    // at an angle of 90 degrees or more). Facets whose number names no
    // facet of source (a later pass gave it out), and facets with mark 2,
    // are left alone. Null arguments do nothing; unused entities stay.
    static void RemoveTurned(G3Surface* shell, G3Surface* source);

private:
    G3SolidsBuilder() = default;

    // A working copy of s whose faces given as several facets (coplanar
    // neighbours facing one side, with the same flags) are merged into one
    // facet each (G3ShellFaces.cpp); each facet's surface number is the id
    // of the facet of s it was made from, unmerged facets keep their
    // planes. Null when s has no such neighbours or none merged. s's ids
    // are assigned.
    static G3Surface* WholeFaces(G3Surface* s);
    // The shell of `faces` (s or its WholeFaces), facets numbered by the
    // facets of s they come from; null when it is refused (see Shell).
    // Kept facets of faces carry the mark.
    static G3Surface* MovedFaces(G3Surface* faces, G3Surface* s, double thickness);

    // Adds the moved copy of f to out (f's flags, f's id as its surface
    // number). False when a moved edge runs back along its source edge by
    // more than kWeld, or a moved corner is not finite (what was added
    // stays: the caller discards out).
    static bool ShellFacet(G3Facet* f, const double* planes, G3Surface* out, double thickness);
    // x = where vertex v moves: the common point of the moved planes of the
    // facets `around` it (the facet, its two neighbours at the corner, then
    // the others), counted once per plane (normals within kParallel),
    // nearest v when they are fewer than three; with more than three, the
    // common point of the first three (ShellFacet asks CornerChain first). False when those have none; x may
    // be infinite or NaN when the solve overflows.
    static bool MovedCorner(const G3Vertex* v, const std::vector<G3Facet*>& around, const double* planes,
                            double thickness, double* x);
    // The corners f takes at v, in its contour's order (three coordinates
    // each, into chain), when the facets around v lie in four or more
    // planes: `out` is the edge f's contour leaves v by. The planes around
    // v form a polygon whose triangulation names the corners (see
    // G3ShellCorners.cpp), so that f's corners meet its neighbours'. False
    // (chain empty) when v's facets do not lie around it in one fan, lie in
    // fewer than four planes, or no triangulation has a common point for
    // every triangle.
    static bool CornerChain(const G3Vertex* v, G3Facet* f, const G3Edge* out, const double* planes, double thickness,
                            std::vector<double>& chain);
    // plane = f's plane moved by thickness along its normal; a marked facet
    // keeps its plane. f's plane is planes[4 id .. 4 id + 3] (the planes of
    // the source's facets by id, as they face), or f's own for null planes.
    static void CalcNewPlaneEquation(G3Facet* f, const double* planes, double thickness, double* plane);
};
