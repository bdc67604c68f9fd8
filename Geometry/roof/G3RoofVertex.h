#pragma once
// The working records of the roof sweep: a G3RoofVertex is one node of a
// closed, doubly linked ring (a level of the sweep or the outline of one
// roof facet), a G3RoofPitch one roof plane with the facet rings that lie in
// it. A ring is named by any one of its vertices; the helpers below walk it
// by `next` and stop when they are back at the start.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GHeap.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Obj.h"
#include "Geometry/mesh/G3Point.h"

#include <cmath>

class G3RoofVertex : public G3Obj {
    G_DECLARE_POOL(G3RoofVertex)
public:
    G3RoofVertex() = default;
    // A lone vertex (a ring of one) at xyz carrying the edge data of `from`
    // (edge index, angle, plane, pitch index; none when null).
    G3RoofVertex(const double* xyz, const G3RoofVertex* from);

    // Takes over the edge data of `from` (the edge that ends at it).
    void CopyEdgeData(const G3RoofVertex* from);
    // This vertex, taken out of a ring, made again as the lone vertex
    // G3RoofVertex(xyz, from) would be. The object parts (G3Obj's tag, id,
    // flags and extended data, its own and its point's) are left as they
    // are: nothing sets them on the sweep's vertices, and they lie on cache
    // lines the sweep does not read otherwise.
    void Reuse(const double* xyz, const G3RoofVertex* from);

    G3Point point;
    G3RoofVertex* next = this;
    G3RoofVertex* prev = this;
    // The vertex of the lower level this one grew from; null on the first.
    G3RoofVertex* lower = nullptr;
    // The outline edge that ends at this vertex (0-based, input order).
    int edgeIndex = 0;
    // Index of `plane` in the generator's pitches, -1 when it has none.
    int pitchIndex = -1;
    double angle = 0.0;
    double plane[4] = {0.0, 0.0, 0.0, 0.0};
    // The contact search's name for the vertex while a level is split
    // (G3RoofSweep.cpp); -1 on a new vertex. Not copied with edge data.
    int contactId = -1;
    // The split search's name for the vertex within the band it last built
    // (G3RoofSweep.cpp), kept by the vertices grown from it; -1 on a vertex
    // made otherwise. Not copied with edge data.
    int bandId = -1;
    // Values of the level sweep that its planes alone fix, kept from level
    // to level by the vertices grown from it (G3RoofSweep.cpp). planeId
    // names the values of `plane` (-1: not named yet; CopyEdgeData drops
    // the name with the plane it replaces); it shares the plane's cache
    // line, as the sweep reads the neighbours' names with their planes.
    // keys names the planes of the previous vertex, this one and the next
    // (in that order) for which collapse (their common point;
    // collapseMeets 1 when there is one, -1 when nothing is kept) was
    // worked out, and onLine tells that `point` is the level point of the
    // last two at its height.
    long long planeId = -1;
    long long keys[3] = {-1, -1, -1};
    double collapse[3] = {0.0, 0.0, 0.0};
    signed char collapseMeets = -1;
    bool onLine = false;
    // (A member added here is set in Reuse as well.)
};

// The angle every pitch counted as vertical is stored as: a gable.
constexpr double kRoofVertical = 1.5707963267948966;
inline bool G3RoofIsVertical(double angle) { return angle > kRoofVertical - GTolerance::kAngleZero; }

// G3Point::Equals(a, b) (within kPointEqual) written out where the sweep
// can inline it: it runs for every vertex of every level.
inline bool G3RoofSamePoint(const double* a, const double* b)
{
    const double dx = a[0] - b[0];
    const double dy = a[1] - b[1];
    const double dz = a[2] - b[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz) < GTolerance::kPointEqual;
}

// Ring helpers. A null ring is empty.
namespace G3RoofRing {
int Size(const G3RoofVertex* ring);
// Inserts v (a lone vertex) before `ring`'s head, i.e. at its end; returns
// the head (v when the ring was empty).
G3RoofVertex* Append(G3RoofVertex* ring, G3RoofVertex* v);
// Unlinks v and deletes it; returns its successor, or null when v was the
// last vertex of its ring.
G3RoofVertex* Remove(G3RoofVertex* v);
// Deletes every vertex of the ring.
void Release(G3RoofVertex* ring);
// A copy of the ring (points, edge data and lower links).
G3RoofVertex* Copy(const G3RoofVertex* ring);
// Swaps every vertex's next and previous links.
void Reverse(G3RoofVertex* ring);
// Removes a vertex whose successor coincides with it (the successor goes)
// and a straight vertex, walking the ring from its head. Straight means,
// with byDistance false, that its edges' unit directions are parallel or
// opposite within kParallel (the outline's rule); with byDistance true,
// that it lies within kPlaneSide of the line through its neighbours, which
// keeps the sharp corner of a thin sliver that the direction rule would
// flatten. The edge left by a removal takes the data of the edge it is a
// part of: the following edge's for a straight run, the incoming edge's
// when a spike folds back over it; with byDistance, a straight run whose
// planes both hold the whole new edge (collinear level edges of two
// pitches) takes the lower pitch's data. With `sameAngleOnly`, a straight run
// whose two edges have different angles is kept (its corner becomes a step
// between two faces). Returns the ring, or null when fewer than three
// vertices are left (the rest is released).
G3RoofVertex* Clean(G3RoofVertex* ring, bool byDistance = false, bool sameAngleOnly = false);
// The rule Clean removes a straight vertex by (see there).
bool Straight(const G3RoofVertex* v, bool byDistance);
// The byDistance rule on bare points: v lies within kPlaneSide of the line
// through prev and next (or next coincides with prev and v lies within
// kPlaneSide of them). Inline: it runs for every vertex of every level and
// every corner of every facet ring. The products are V3Sub,
// V3SquaredLength and V3OrtoVector written out, term for term in their
// order, and compare squared lengths.
inline bool StraightByDistance(const double* prev, const double* v, const double* next)
{
    const double a[3] = {next[0] - prev[0], next[1] - prev[1], next[2] - prev[2]};
    const double b[3] = {v[0] - prev[0], v[1] - prev[1], v[2] - prev[2]};
    const double len2 = a[0] * a[0] + a[1] * a[1] + a[2] * a[2];
    if (len2 < GTolerance::kZeroLength * GTolerance::kZeroLength)
        return b[0] * b[0] + b[1] * b[1] + b[2] * b[2] < GTolerance::kPlaneSide * GTolerance::kPlaneSide;
    const double c[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    return c[0] * c[0] + c[1] * c[1] + c[2] * c[2] < GTolerance::kPlaneSide * GTolerance::kPlaneSide * len2;
}
// The ring's vertices in order, for index-based passes.
void ToArray(G3RoofVertex* ring, GArrayCollection* out);
// Where the lines a0 -> a1 and b0 -> b1 meet in plan (x and y of `at`),
// worked out about a1 (site coordinates); false, `at` untouched, when
// either has no direction or they run parallel by the direction rule.
bool LinesMeet(const double* a0, const double* a1, const double* b0, const double* b1, double* at);
} // namespace G3RoofRing

class G3RoofPitch : public GObj {
public:
    G3RoofPitch(const double* plane, double angle);
    // Releases its facet rings.
    ~G3RoofPitch() override;
    G3RoofPitch(const G3RoofPitch&) = delete;
    G3RoofPitch& operator=(const G3RoofPitch&) = delete;
    void print() override {}

    double plane[4] = {0.0, 0.0, 0.0, 0.0};
    double angle = 0.0;
    // Rings of G3RoofVertex copies, one per roof facet lying in the plane;
    // an entry is the ring's head (null once a ring was used up).
    GArrayCollection facetRings;
};
