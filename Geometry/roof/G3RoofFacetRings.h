#pragma once
// The facet rings of every pitch while the sweep runs: compact nodes (a
// point and two links) instead of G3RoofVertex objects, since each level
// adds a few corners to each ring and the rings are cleaned only at the end,
// plus an index of their level edges, so that a section (and, after the
// sweep, an eave's overhang strip) finds the edge it is spliced into
// without walking the rings. The corners a vertex leaves on its way up,
// one per level, are kept as a chain of heights on the ring edge they lie
// in (their points follow from the vertex's two planes), not as nodes.

#include "Geometry/roof/G3RoofLevelEdges.h"

#include <memory>
#include <vector>

class G3RoofVertex;
class GArrayCollection;

// The facet-ring edge px -> py takes the section whose lower edge runs
// pd -> pc at height z0: it runs level at z0, the same way, and one of the
// two edges lies on the other.
bool G3RoofSectionFits(const double* px, const double* py, const double* pd, const double* pc, double z0);

struct G3RoofSpliceIndex {
    // Takes over the facet rings of every pitch in `pitchList` (their
    // entries become null until GiveBack).
    explicit G3RoofSpliceIndex(GArrayCollection& pitchList);
    ~G3RoofSpliceIndex();
    G3RoofSpliceIndex(const G3RoofSpliceIndex&) = delete;
    G3RoofSpliceIndex& operator=(const G3RoofSpliceIndex&) = delete;

    // The section below the upper edge ending at level vertex `ring` (the
    // quad ring->prev->lower, ring->prev, ring, ring->lower) goes into the
    // first facet ring of the pitch, in list order, with an edge it fits
    // (the first such edge walking that ring from its head), or starts the
    // first empty ring when that comes earlier; otherwise it is dropped.
    void AddSection(int pitchIndex, const G3RoofVertex* ring);
    // The sections that follow are those of one new level (up to the next
    // call): the corners its vertices leave may join chains.
    void BeginLevel();
    // An eave's strip, `chain` running the eave backwards from its end
    // (chain.front()) through the strip's lower corners to its start
    // (chain.back()), goes into the first level edge of the pitch, in ring
    // order and walk order from each ring's head, that runs level at the
    // eave height z0, the same way, and holds both eave ends; corners that
    // coincide with their neighbour are left out. With no such edge the
    // chain becomes a ring of its own after the others, carrying `data`'s
    // edge data.
    void AddStrip(int pitchIndex, const std::vector<const double*>& chain, double z0, const G3RoofVertex* data);
    // The facet rings back in the pitches as G3RoofVertex rings, each vertex
    // carrying its ring's edge data, cleaned first as by
    // G3RoofRing::Clean(ring, true), with the same result (head included).
    // The strips' own rings are added after the pitch's others, in the
    // order they were made.
    void GiveBack(GArrayCollection& pitchList);

private:
    struct Node {
        double p[3];
        int next, prev;
        int path = -1;   // the planes p is the level point of (paths_), -1 none
        int level = -1;  // the level (levels_) p lies at as such a point, -1 none
        int chain = -1;  // the corners between this node and next (chains_), -1 none
    };
    // Two planes; the level point of both at height z is a corner of the
    // vertex that runs between them.
    struct Path {
        double p[4], q[4];
    };
    // Level points of one path between two nodes at `count` consecutive
    // levels up to `last` (the highest); `front`: they came at the ring's
    // start of the chain (a chain running down in ring order), else at its
    // end.
    struct Chain {
        int path;
        bool front;
        int last;
        int count;
    };
    // A level the sweep made: its height (once a corner named it) and the
    // level it grew from (once a chain went from there to here).
    struct LevelRecord {
        double z = 0.0;
        bool known = false;
        int parent = -1;
    };
    struct Ring {
        int head = -1;                  // -1: empty
        G3RoofVertex* data = nullptr;   // a lone vertex with the ring's edge data; owned
    };
    struct Pitch {
        double u[2] = {1.0, 0.0};
        G3RoofLevelEdges edges;
        int firstEmpty = -1;  // the first empty facet ring, -1 when none
        std::vector<Ring> rings;
    };

    // The edge p -> q runs level: an index entry (ends within 2 kPlaneSide
    // in z).
    static bool Level(const double* p, const double* q);

    static constexpr int kChunkBits = 16;
    Node& N(int i) { return chunks_[static_cast<std::size_t>(i) >> kChunkBits][i & ((1 << kChunkBits) - 1)]; }
    int NewNode(const double* p);
    void InsertAfter(int at, int nv);
    int NewRing(const double* const* path, int count);
    void Splice(int x, const double* const* path, int count);
    // Splice for a section's corners D, A, B, C; A is the level point of
    // planes[0] and planes[1], B of planes[2] and planes[3].
    void SpliceSection(int x, const double* const* path, const double* const* planes);
    int PathOf(const double* p, const double* q, const double* x);
    // The current level when it lies at height z (the first corner that
    // asks names its height), else -1.
    int LevelAt(double z);
    bool SamePath(int path, const double* p, const double* q) const;
    // Gives node v its path and level when its point is a level point of p
    // and q at the current level.
    void Name(int v, const double* p, const double* q);
    // Moves x's point into the chain on the edge into x (`up`) or out of x
    // and gives x the point `to`, when the chain's planes are those of x and
    // of `to` and no edge near the chain runs level.
    bool Demote(int x, const double* to, const double* p, const double* q, bool up);
    // The ring of `head` with its chains spread into corners: cp_, cnext_
    // and cprev_, headed by corner 0.
    void Expand(int head);
    // Cleans the spread ring; its head then, -1 when it is gone.
    int Clean();

    // Ring k of the pitch (empty) starts as the section `path` of `ring`.
    void StartRing(Pitch& pi, int k, const double* const* path, const double* const* planes, const G3RoofVertex* ring);
    void Add(Pitch& pi, int x, int ring);
    void AddRing(Pitch& pi, int from, int to, int ring);
    bool Before(int head, int a, int b);
    // The first edge, *x in ring *k, that takes the section or strip whose
    // lower edge or eave runs pd -> pc at z0 (`eave`: the edge must hold
    // both ends); false when none does.
    bool Find(Pitch& pi, const double* pd, const double* pc, double z0, bool eave, int* x, int* k);

    std::vector<Pitch> pitches_;
    std::vector<std::unique_ptr<Node[]>> chunks_;
    std::vector<Path> paths_;
    std::vector<Chain> chains_;
    std::vector<LevelRecord> levels_;
    std::vector<double> heights_;  // one chain's heights, Expand's scratch
    // One ring spread out for its cleaning (GiveBack): points and links.
    std::vector<double> cp_;
    std::vector<int> cnext_, cprev_;
    int count_ = 0;
};
