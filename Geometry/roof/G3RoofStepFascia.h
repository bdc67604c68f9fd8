#pragma once
// The fascia of a thick roof where its border edges face each other across
// a vertical plane: between collinear eaves of two pitches the faces meet
// in a vertical step, and each face's edges along it are border edges of
// the lower layer. A quad raised by the thickness from each of them
// overlaps the other side's wherever the two edges are closer than the
// thickness (always near the eave, where they start together), so the slab
// folded over itself there. Across the plane the slab is closed by the
// parts of each side's band (from its edge up by the thickness) that the
// other side's band does not cover.

#include <cstddef>
#include <vector>

// A border edge of the lower layer: its ends and the side of the vertical
// plane through it its face lies on (+1 left of a -> b seen from above, -1
// right, 0 unknown: such an edge pairs with none).
struct G3RoofFasciaEdge {
    double a[3];
    double b[3];
    int side;
};

class G3RoofStepFascia {
public:
    // Pairs every edge with the edges of the other side that share its
    // vertical plane (within kPlaneSide) over some of its length.
    G3RoofStepFascia(const std::vector<G3RoofFasciaEdge>& edges, double thickness);

    // The facets edge i's fascia is made of, each as x, y, z triples:
    // the quad a, b, b + t, a + t when no edge of the other side comes
    // within the thickness of it, else the parts of that quad the other
    // side's bands leave (none where they cover it all).
    const std::vector<std::vector<double>>& Pieces(std::size_t i) const { return pieces[i]; }

private:
    std::vector<std::vector<std::vector<double>>> pieces;
};
