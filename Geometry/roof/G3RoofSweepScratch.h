#pragma once
// The working lists the roof sweep keeps from level to level, shared by
// its level steps (G3RoofSweep.cpp) and its splits (G3RoofSplit.cpp), and
// the few plan tests both make.

#include "Geometry/foundation/GPrefetch.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/roof/G3RoofBoxGrid.h"
#include "Geometry/roof/G3RoofVertex.h"

#include <cmath>
#include <deque>
#include <unordered_map>
#include <utility>
#include <vector>

namespace G3RoofSweepParts {

// Asks for the cache lines of v that the passes over a level read (its
// point and links, edge data and names, and what it keeps), a few places
// ahead of the pass: a level's vertices lie apart, and a pass would wait
// on each of them in turn.
constexpr std::size_t kVertexAhead = 8;
inline void PrefetchVertex(const G3RoofVertex* v)
{
    GPrefetch(v->point.GetXYZ());
    GPrefetch(&v->angle);
    GPrefetch(&v->keys[0]);
    GPrefetch(&v->collapse[2]);
}

} // namespace G3RoofSweepParts

// The working lists of one level's steps, kept from level to level so that
// a level allocates only what outgrows the largest level before it.
struct G3RoofSweepScratch {
    G3RoofSweepScratch() = default;
    G3RoofSweepScratch(const G3RoofSweepScratch&) = delete;
    G3RoofSweepScratch& operator=(const G3RoofSweepScratch&) = delete;
    ~G3RoofSweepScratch()
    {
        for (G3RoofVertex* v : spare)
            delete v;
    }
    // A lone vertex as new G3RoofVertex(xyz, from) makes it, from the
    // vertices of the levels released before when there are any: a level
    // then takes the objects of the level before the last, in the order
    // the pool would hand them back, without making and dropping objects.
    G3RoofVertex* NewVertex(const double* xyz, const G3RoofVertex* from)
    {
        if (spare.empty())
            return new G3RoofVertex(xyz, from);
        G3RoofVertex* v = spare.back();
        spare.pop_back();
        if (spare.size() > G3RoofSweepParts::kVertexAhead)
            G3RoofSweepParts::PrefetchVertex(spare[spare.size() - 1 - G3RoofSweepParts::kVertexAhead]);
        v->Reuse(xyz, from);
        return v;
    }
    // Takes the vertices of the rings NextLevel grew from since the last
    // call (in `grown`) for NewVertex once their sections are made, or
    // only forgets them when `release` is false (a ring kept elsewhere).
    void RecycleGrown(bool release)
    {
        if (release)
            spare.insert(spare.end(), grown.begin(), grown.end());
        grown.clear();
    }

    // NextLevel
    std::vector<G3RoofVertex*> vs;
    std::vector<double> collapseAt;
    std::vector<char> meets;
    std::vector<double> fromPos, toPos;  // each vertex grown to z and to h0
    std::vector<char> fromOk, toOk;
    std::vector<G3RoofBox> sweeps;
    std::vector<double> spines;
    std::vector<int> always, tried;
    std::vector<std::pair<int, double>> met;
    // Meetings (vertex, edge, height) up to the band above the height the
    // search stood at: those within the band of the level made are put
    // onto their edge there.
    struct Meeting {
        int k, e;
        double at;
    };
    std::vector<Meeting> late;
    std::vector<char> onto;  // vertices put onto an edge they meet in the level's band
    std::vector<double> pos;
    std::vector<char> ok, collapse;
    // SplitSimple
    std::vector<G3RoofVertex*> ringVs;
    std::vector<G3RoofBox> boxes;
    std::vector<double> segments;
    std::vector<int> near;
    G3RoofBoxGrid grid;
    // The recorded contacts, by vertex name (G3RoofVertex::contactId): the
    // vertex, the name its successor had, and the edges it touched (the
    // name of the edge's start, how) in recs[recBegin .. recEnd).
    std::vector<G3RoofVertex*> idVertex;
    std::vector<int> idNext, recBegin, recEnd;
    std::vector<std::pair<int, int>> recs;
    // FirstContact: a stamp and a place in the ring walked, by name.
    std::vector<unsigned> idStamp;
    std::vector<int> idPos;
    unsigned stamp = 0;
    std::vector<int> ids, newVertices, newEdges;
    std::vector<G3RoofBox> newBoxes;
    std::vector<std::pair<int, int>> found;
    // NextLevel: the vertex-edge pairs whose path and sweep come near, the
    // vertices and edges the split search tried with every pair (or that
    // the level moves off their paths), the place of each vertex in the
    // level.
    std::vector<std::pair<int, int>> nearPairs;
    std::vector<char> anyVertex, anyEdge;
    std::vector<int> levelIdx;
    // The band of the split search: a ring the search started from at
    // height `bottom`, grown to `top` (some levels higher), its vertices
    // named base + i (G3RoofVertex::bandId). For each vertex of it the
    // planes of its line (its own, its successor's) and the edges whose
    // sweep over the band came near its path over the band (edges by the
    // name of their end, cand[candStart[i] .. candStart[i + 1]); none
    // listed when it had no path); the sweeps' grid.
    struct Band {
        int base = 0, size = 0;
        double bottom = 0.0, top = -1.0;
        std::vector<double> planes;
        std::vector<char> hasPath;
        std::vector<int> candStart, cand;
        // For each listed pair once a level tried it, the height of the
        // common point of the vertex's planes and the edge's (candZ, NaN
        // before, -infinity when none) and whether the point lies on the
        // edge (candOn: 0 not known yet, 1 on, 2 off): planes alone fix
        // both, and the pair's planes stay the band's. The point itself is
        // not kept: a star's bands list millions of pairs.
        std::vector<double> candZ;
        std::vector<char> candOn;
        std::vector<G3RoofBox> sweeps;
        std::vector<double> spines, toPos, heights;
        std::vector<char> toOk;
        std::vector<int> noBox;
        G3RoofBoxGrid grid;
        // A level's vertices by name: pos[i] when posStamp[i] is stamp.
        std::vector<unsigned> posStamp;
        std::vector<int> pos;
        unsigned stamp = 0;
        unsigned long long lastUse = 0;
    };
    // The bands kept: the parts of a split go on in turn, each from the
    // band its ring was named in.
    std::deque<Band> bands;
    unsigned long long bandClock = 0;
    int nextBandBase = 0;
    // The level's vertices and edges by the band: bandOf[k] the band
    // vertex whose line vertex k keeps, edgeBand[e] the band edge whose
    // sweep holds edge e's (-1: none), changedEdges the edges with a sweep
    // box and no band edge.
    std::vector<int> bandOf, edgeBand, changedEdges;
    // The contacts of the levels NextLevel made, recorded from those pairs
    // and waiting for SplitSimple, by the level's head.
    struct Contacts {
        std::vector<G3RoofVertex*> idVertex;
        std::vector<int> idNext, recBegin, recEnd;
        std::vector<std::pair<int, int>> recs;
    };
    std::unordered_map<const G3RoofVertex*, Contacts> levelContacts;
    std::vector<Contacts> spareContacts;
    // The vertices RecycleGrown took (owned), and the vertices of the
    // rings NextLevel read, in ring order from their heads: the walk over a
    // released ring, done once.
    std::vector<G3RoofVertex*> spare, grown;
};

namespace G3RoofSweepParts {

inline bool SameXY(const double* a, const double* b)
{
    const double a2[3] = {a[0], a[1], 0.0};
    const double b2[3] = {b[0], b[1], 0.0};
    return G3RoofSamePoint(a2, b2);
}

// The vertices of `ring` in ring order, from its head.
inline void Vertices(G3RoofVertex* ring, std::vector<G3RoofVertex*>& vs)
{
    vs.clear();
    if (ring == nullptr)
        return;
    G3RoofVertex* v = ring;
    do {
        vs.push_back(v);
        v = v->next;
    } while (v != ring);
}

// The length of (x, y) for the reaches and bounds of the searches: within
// an ulp or two of std::hypot, which is a library call, and the reaches
// carry many times that to spare.
inline double PlanLength(double x, double y) { return std::sqrt(x * x + y * y); }

// The squared distance from p to the segment s (ax, ay, bx, by) in the
// plane; NaN (a segment not finite) compares as near.
inline double SegmentDistance2(const double* p, const double* s)
{
    const double ux = s[2] - s[0], uy = s[3] - s[1];
    const double len2 = ux * ux + uy * uy;
    double t = len2 > 0.0 ? ((p[0] - s[0]) * ux + (p[1] - s[1]) * uy) / len2 : 0.0;
    t = t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t);
    const double dx = s[0] + t * ux - p[0], dy = s[1] + t * uy - p[1];
    return dx * dx + dy * dy;
}

// Keeps the contacts of the level NextLevel made from `vs` for the split
// that reads the level (G3RoofSplit.cpp says which pairs it tries). The
// level's vertices are read from sc.ringVs (in ring order from `level`) and
// their points from sc.pos, where NextLevel leaves them.
void RecordLevelContacts(const std::vector<G3RoofVertex*>& vs, G3RoofVertex* level, int size, G3RoofSweepScratch& sc);

} // namespace G3RoofSweepParts
