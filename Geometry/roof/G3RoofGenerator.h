#pragma once
// G3RoofGenerator builds a roof over a closed building outline: one pitch
// plane per outline edge, a sweep of the outline upwards level by level,
// the sections between consecutive levels collected into one or more facet
// rings per plane, and those written into the target surface as facets
// stamped with their (outline edge + 1, ROOF_FACET_TYPE) record. Optional:
// an overhang (the outline pushed outwards and dropped along the planes), a
// thickness (a raised second layer and fascia facets around the border) and
// texture coordinates laid out in each roof plane.
//
// Defined in Geometry/roof: G3RoofGenerator.cpp (outline, pitches, Regen),
// G3RoofSweep.cpp (levels and sections), G3RoofOverhang.cpp (the eaves
// pushed outwards), G3RoofOutput.cpp (facets, fascia, texture
// coordinates), G3RoofLookup.cpp (record queries).

#include "Geometry/foundation/GArrayCollection.h"

#include <vector>

class G3Facet;
class G3Obj;
class G3Point;
class G3RoofPitch;
class G3RoofVertex;
class G3Surface;
struct G3RoofBandCorner;
struct G3RoofSpliceIndex;
struct G3RoofSweepScratch;

enum ROOF_FACET_TYPE {
    ROOF_FACET_NONE = 0,
    ROOF_FACET_ROOF = 1,          // the only layer, or the upper one of a thick roof
    ROOF_FACET_LOWER = 2,         // lower layer of a thick roof
    ROOF_FACET_EAVE_FASCIA = 3,   // fascia along an eave
    ROOF_FACET_GABLE_FASCIA = 4,  // fascia along a gable (a vertical pitch)
};

class G3RoofGenerator {
public:
    // `surface` receives the facets (not owned; null: the sweep runs and
    // writes nothing). `reservedValue` is kept and copied, never read.
    G3RoofGenerator(G3Surface* surface, double reservedValue, double thickness, double overhang);
    // DeleteRoofVertices.
    ~G3RoofGenerator();
    // A copy takes the parameters and the target surface, not the working
    // rings and pitches: those belong to one generator, and sharing them
    // would release them twice.
    G3RoofGenerator(const G3RoofGenerator& other);
    G3RoofGenerator& operator=(const G3RoofGenerator& other);

    // The whole roof. `points` holds the outline's G3Points (each once),
    // `angles` for each point a double* (stored as the GObj* entry, see
    // AngleEntry): the pitch in radians of the edge that ends at that point;
    // a pitch within kAngleZero of pi/2 or above is vertical (a gable) and
    // is built as exactly pi/2. With an overhang every eave moves outwards
    // by it in its own plane (dropping by overhang * tan(its pitch)) and a
    // gable moves outwards by it; inside the outline the roof is the one
    // without overhang. False, with the surface unchanged, for a bad
    // outline: fewer than three distinct points, counts that differ, a null
    // entry, a non-finite coordinate or angle, an angle below kAngleZero
    // (zero or negative), a self-crossing outline or overhang border, an
    // overhang that turns an edge around (reversedEdge names it), one in
    // which a face would close below the wall top (the lines from its two
    // ends crossing in the overhang), or a degenerate edge.
    bool Regen(GArrayCollection* points, GArrayCollection* angles);
    // The entry of `angles` for the double at `angle`.
    static GObj* AngleEntry(double* angle);

    // ---- steps of Regen
    bool PrepareContour(GArrayCollection* points, GArrayCollection* angles, G3RoofVertex** ring);
    bool FirstLevelInitialization(G3RoofVertex* ring);
    bool MakeRoof(G3RoofVertex* ring, G3Surface* work);
    bool MakeRoofEx(G3RoofVertex* lower, G3RoofVertex* ring);
    void MakeNextRoofSectionEx(G3RoofVertex* ring);
    void MakeNextRoofSection(G3RoofVertex* ring);
    void AddFacetToRoofPitch(G3RoofPitch* pitch, G3RoofVertex* ring);
    bool AddFacetToRoofPitchEx(G3RoofVertex** facetRing, G3RoofVertex* ring);
    int MakeDefaultPitch(G3RoofVertex* vertex);
    int AddToExistPitch(G3RoofVertex* vertex, int index);
    int GetPitchIndex(double* plane);
    bool MakeFasciaFacets(G3Surface* work);
    // The ring at height -overhang built from `ring`'s planes (the eaves
    // extended along their planes), or null when an edge is degenerate.
    G3RoofVertex* MakeOverhangContour(G3RoofVertex* ring);
    bool GenerateTexCoo();

    // The ring moved outwards by `distance` (left of its clockwise edges)
    // and dropped by distance * tan(angle); |angle| <= kAngleZero raises it
    // by `distance` instead. False, *out null, when two neighbouring edges
    // do not meet.
    static bool Offset(G3RoofVertex* ring, double angle, double distance, G3RoofVertex** out);

    // A facet through the ring's points raised by dz, with edge flags
    // `mode` and facet flags `flags`; null when `surface` is null or no
    // facet could be made (nothing is left behind then).
    G3Facet* FacetAddEx(G3RoofVertex* ring, int flags, int mode, double dz);
    // The same through `count` raw points (x, y, z triples).
    G3Facet* FacetAdd(int flags, int count, double* points, int mode);

    // 1 clockwise, -1 counter-clockwise, 0 undecided (every corner straight).
    int GetClockWiseDirection(G3RoofVertex* ring);
    // The same for a list of G3Points, closed or not by a repeat of the
    // first point.
    static int GetClockWiseDirection(GArrayCollection* points);

    void DeleteRoofVertices();
    // Removes coinciding neighbours, spikes and vertices within kPlaneSide
    // of the line through their neighbours when both edges have the same
    // angle (two collinear eaves of different pitch keep their corner);
    // *ring becomes null when fewer than three are left.
    void DeleteUselessVertices(G3RoofVertex* unused, G3RoofVertex** ring);

    // ---- the roof facet record
    static long GetFacetIndex(G3Obj* object);
    static ROOF_FACET_TYPE GetFacetType(G3Obj* object);
    // The first facet (facet-list order) not double-sided whose record has
    // `index` and `type` (ROOF_FACET_NONE: any type); a point inside it goes
    // to `point`. Null when none matches or no inner point was found.
    static G3Facet* GetFacetbyPoint(G3Surface* surface, int index, ROOF_FACET_TYPE type, G3Point* point);
    // Indices 1..count cyclically: `after` the first of index+1, index+2,
    // ... and `before` the first of index-1, index-2, ... that has a roof
    // facet. True when both were found.
    static bool GetNeighboringFacetID(G3Surface* surface, int count, int index, int& before, int& after);
    // The first roof facet of `type` (ROOF_FACET_NONE: any) with an edge
    // whose ends are a and b (either order, within kPointEqual).
    static bool GetFacetbyEdge(G3Point* a, G3Point* b, G3Surface* surface, ROOF_FACET_TYPE type,
                               G3Facet** facet);
    // The first roof facet of `type` whose plane holds `point` and that
    // contains it (boundary included).
    static bool GetFacetbyPoint(G3Point* point, G3Surface* surface, ROOF_FACET_TYPE type, G3Facet** facet);

    double reservedValue;
    double thickness;
    double overhang;
    // The ring each sweep started from (owned). The levels above it are
    // released once split and once their sections are made: a sweep holds
    // only the levels still waiting to grow.
    GArrayCollection levelRings;
    GArrayCollection pitches;
    G3Surface* surface;
    // The next-level rule: 0 after construction. No second rule exists yet;
    // other values run the same edge-event rule.
    unsigned char eventMethod;
    // After a refused Regen: the outline edge (index as given, the edge
    // ending at that point) that the overhang would turn around or shrink
    // to nothing; -1 otherwise.
    int reversedEdge = -1;

private:
    // The overhang (G3RoofOverhang.cpp). OverhangBase: the ring the sweep
    // starts from, a copy of the outline `ring` whose gables are moved
    // outwards by `overhang`; null when the offset would turn an edge
    // around (reversedEdge names it) or its border crosses itself.
    G3RoofVertex* OverhangBase(G3RoofVertex* ring);
    G3RoofVertex* BandBase(G3RoofVertex* ring);
    // The corners of the band between the outline and its offset, and
    // whether a strip per edge holds it (0), the outline is refused (1;
    // reversedEdge set when an edge does not fit) or two lines of an edge
    // meet inside the band (2).
    int Band(G3RoofVertex* ring, G3RoofVertex* base, std::vector<G3RoofBandCorner>& corners);
    // Band's corners and, for each edge, the x, y path of its face from
    // its eave's end back to its start (G3RoofBandFaces where the lines of
    // an edge meet inside the band); false when the outline is refused.
    bool BandPaths(G3RoofVertex* ring, G3RoofVertex* base, std::vector<G3RoofBandCorner>& corners,
                   std::vector<std::vector<double>>& paths);
    // Each edge of the first level `base` gets its strip of the band
    // (bandOutline is the outline), spliced into the facet ring of `index`
    // that holds the edge before the rings are cleaned.
    void AddOverhangStrips(G3RoofVertex* base, G3RoofSpliceIndex& index);
    // The outline (after cleaning) the overhang was built from; owned.
    G3RoofVertex* bandOutline = nullptr;
    // A ring crosses or touches itself (two edges sharing no vertex pass
    // the segment test).
    static bool RingCrosses(G3RoofVertex* ring);
    // The pitch plane of the edge p -> v with v's angle into v->plane.
    static bool PitchPlane(G3RoofVertex* p, G3RoofVertex* v);
    // Merges each outline edge whose neighbours' planes close over it
    // within kPlaneSide above the outline into one corner at their common
    // point; false when a plane cannot be made or the ring then crosses
    // itself. The planes are left unset.
    static bool CollapseBandEdges(G3RoofVertex** ring);
    // The steps of the sweep (G3RoofSweep.cpp).
    G3RoofVertex* NextLevel(G3RoofVertex* ring);
    // Cleans `ring` (taken over) and splits it at its self-contacts into
    // simple rings, added to `out`.
    void SplitSimple(G3RoofVertex* ring, GArrayCollection* out);
    // The facet rings and their level edges while MakeRoofEx runs (its own
    // local), null otherwise: sections go there, with the choices
    // AddFacetToRoofPitch would make.
    G3RoofSpliceIndex* spliceIndex = nullptr;
    // The working lists of NextLevel and SplitSimple while MakeRoofEx runs
    // (its own local), null otherwise: those steps then use lists of their
    // own.
    G3RoofSweepScratch* sweepScratch = nullptr;
};
