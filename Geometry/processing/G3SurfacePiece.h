#pragma once
// The copy of one connected piece of a surface, built from the piece alone
// (see G3SurfacePiece.cpp), and the order that a walk removing entities
// from a list leaves the rest in.

#include <vector>

class G3Surface;

// Where the entities of a piece's copy stand in the whole surface's lists:
// entry i of each is the place of the copy's entity i. The copy's lists
// follow those places, in increasing order (facets excepted: they stand as
// the removal walk leaves them).
struct G3PiecePlaces {
    std::vector<int> vertexAt;
    std::vector<int> edgeAt;
    std::vector<int> normalAt;
    std::vector<int> texCooAt;
};

// Scratch slots over the whole surface's lists, one per entity, -1 while
// the entity is not in the piece being copied. Sized once per surface.
struct G3PieceScratch {
    std::vector<int> vertex;
    std::vector<int> edge;
    std::vector<int> facet;
    std::vector<int> normal;
    std::vector<int> texCoo;
    // How many corners name each normal and texture coordinate, by place,
    // while the separation takes pieces out (G3CountCornerUses fills them).
    std::vector<int> normalUses;
    std::vector<int> texCooUses;
    // What repeated updates make of each normal, by place, while the
    // separation takes pieces out: G3UnitNormal applied again and again to
    // a normal's values lands, after `orbitPre` values, on a cycle of
    // `orbitPeriod` (1 or 2); the values, from the normal's own on, stand
    // at orbitXyz[3 * orbitStart ..]. Empty: the normals are copied as
    // they are.
    std::vector<int> orbitStart;
    std::vector<unsigned char> orbitPre, orbitPeriod;
    std::vector<double> orbitXyz;
    // The updates the rest has been spared since its orbits were taken.
    int round = 0;
    // The normal at `place` after `round` more updates.
    const double* OrbitValue(int place) const;
    void Size(G3Surface* s);
};

// Writes into s's normals the values `o` gives them after o.round updates
// (its orbit fields by place).
void G3NormalsAtRound(G3Surface* s, const G3PieceScratch& o);

// Counts, by place, the corners of s's edges naming each normal and each
// texture coordinate. False, the counts unfinished, when a corner names one
// that is not listed. Ids must be places.
bool G3CountCornerUses(G3Surface* s, std::vector<int>* normalUses, std::vector<int>* texCooUses);

// The walk that removes entities from a list by index, staying on a slot
// after a removal (the list's last entity has just moved into it), keeps
// the entities at `kept` (increasing places) in this order: entry j is the
// index into `kept` of the entity at slot j. The entities kept below
// m = kept.size() stay where they are; the slots below m they leave free
// take, in increasing order, the kept entities at m or above in decreasing
// order. The list's length does not enter.
std::vector<int> G3OrderAfterRemovals(const std::vector<int>& kept);

// The same for the walk that goes from the last slot down, a removal
// moving the list's last entity into the slot just left: entry j is the
// index into `kept` of the entity at slot j of the `length` slots' list.
// Costs at most the kept entities' count squared, and at most the list's
// length.
std::vector<int> G3OrderAfterBackwardRemovals(const std::vector<int>& kept, int length);

// Whether Explode may build the pieces' copies from the pieces alone:
// nothing watches entities come and go (no shell provider, no object
// provider registered), there are no polyedges, and every collection is
// there. Otherwise each piece copies the whole surface.
bool G3PiecesCopyAlone(G3Surface* s);
