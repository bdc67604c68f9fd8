#pragma once
// A uniform 3D grid of object lists (facets, in practice) over a box widened
// by 2e-6 on every side: the boolean engine's way to find the facets near a
// point, along a segment or around another facet. Each axis has its own
// cell count (a storey or a slab gets flat cells, not cubes of which every
// wall would fill a column). Cell (i, j, k) is element (k * ny + j) * nx +
// i. A cell's objects (not owned) are a chain of entries in insertion
// order, the entries of all cells kept in blocks: a list object per cell
// cost the pairing grid of a crowded plan (a million cells holding two or
// three facets each) six times the memory of the entries.
//
// Every index the grid computes is clamped into its axis's 0 .. count - 1 (a NaN offset
// gives 0), except that a box's range may come out empty. The searches use
// the mark flag of G3Obj to report each object once; they expect the marks
// of the stored objects clear and leave them clear, except OutFacets, whose
// caller clears them. Objects that are not G3Obj cannot be marked and are
// skipped by the searches. Cell visiting order is k, then j, then i,
// ascending.
//
// A grid with open borders is meant to be sized over the bulk of its facets
// (BulkBox): a few facets far off would otherwise stretch the cells over the
// whole model and crowd everything else into one cell. Its border cells
// reach to infinity: a box outside the grid's box along an axis takes the
// border cells there instead of an empty range, and a segment is walked
// whole, its parts outside the box through the border cells they clamp
// into. So the facets whose boxes meet a box or a segment are among the
// answers, wherever they lie.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class GArrayCollection;
class GCollection;
class GEnvelope;
class GObj;
class G3Facet;

class G3Grid {
public:
    // n cells per axis (below 1 counts as 1, above 1024 as 1024; when the
    // cell array cannot be allocated, 1). A null box counts as the zero box.
    G3Grid(const GEnvelope* box, int n);
    // perAxis[0..2] cells along x, y and z (each clamped as n is; a null
    // perAxis gives one cell).
    G3Grid(const GEnvelope* box, const int perAxis[3]);
    // The same, the border cells open (reaching to infinity) when
    // openBorders is set.
    G3Grid(const GEnvelope* box, const int perAxis[3], bool openBorders);
    // Cell counts per axis for about `total` cells over box, the cells as
    // near to cubes as the box allows (an axis shorter than a cell side
    // gets one cell); each count within 1 .. 1024.
    static void SizeCells(const GEnvelope* box, double total, int perAxis[3]);
    // The box for an open-bordered grid over boxes whose corners (min and
    // max, three coordinates each) are `corners`: on each axis from the
    // coordinate with 1/1024 of the finite ones below it to the one with
    // 1/1024 above it (G3PointHash::BulkBox), within `within` where given.
    // An axis without finite coordinates, or whose bulk misses `within`,
    // takes within's extent (0 to 0 without it).
    static void BulkBox(const std::vector<double>& corners, const GEnvelope* within, GEnvelope* out);
    // Deletes every cell list (not the objects in it) and the cell array.
    ~G3Grid();
    G3Grid(const G3Grid&) = delete;
    G3Grid& operator=(const G3Grid&) = delete;

    // The cell of p, each index clamped into its axis's range.
    void GetIndexes(const double* p, int* i, int* j, int* k) const;
    // Each of i, j, k receives a pair (low, high): low from box.min raised to
    // at least 0, high from box.max lowered to at most count - 1. A box wholly
    // outside along an axis gives low > high there, unless the borders are
    // open: then both ends are clamped into range, and only a box whose min
    // lies above its max gives an empty range.
    void GetIndexes(const GEnvelope* box, int* i, int* j, int* k) const;
    // trunc(d / cellSize) along one axis, d measured from min; saturated to
    // -1 .. count so it always converts safely (NaN gives 0).
    int GetIndexX(double d) const { return Index(d, 0); }
    int GetIndexY(double d) const { return Index(d, 1); }
    int GetIndexZ(double d) const { return Index(d, 2); }

    // Appends o to the cell's objects. Out-of-range indices are ignored.
    void Add(int i, int j, int k, GObj* o);
    // Replaces a cell's objects by those of list, which the grid takes and
    // deletes (a null list empties the cell).
    void set(int i, int j, int k, GArrayCollection* list);
    // A cell's objects in insertion order, as a list the grid keeps until
    // the next call; null when the cell holds none.
    GArrayCollection* Get(int i, int j, int k) const;

    // Clears f's mark, then adds f to every cell of box.
    void AddFacet(G3Facet* f, const GEnvelope* box);
    // Orders each pair ascending (and clamps it into range), then appends to
    // out every unmarked object of the cells of that block, marking it.
    // Marks are left set for the caller to clear.
    void OutFacets(int i0, int i1, int j0, int j1, int k0, int k1, GCollection* out);
    // Appends the objects of the cells along the segment p1-p2 (clipped to
    // the grid's box; with open borders, its parts outside walk the border
    // cells they clamp into), each once; out is not cleared first. A
    // segment that misses the box of a closed grid, or has a non-finite
    // coordinate, adds nothing. Where every object came in through
    // AddFacet, the segment is first cut down to the reach of their boxes
    // (a cell wider on every side): an object whose box the segment meets
    // is still handed over, and a long ray leaving a thin grid no longer
    // walks the border cells it clamps into beyond the objects. Marks of
    // what was appended are cleared at the end.
    void GetFacetByLine(const double* p1, const double* p2, GArrayCollection* out);
    // Clears out, then collects every facet with edges of the cells of box,
    // each once, and clears their marks. f takes no part (it is returned
    // when it lies in those cells).
    void GetFacetsByFacet(G3Facet* f, const GEnvelope* box, GArrayCollection* out);

    // The largest cell count of the three axes, and one axis's count.
    int GetN() const { return n; }
    int GetCells(int axis) const { return axis >= 0 && axis < 3 ? dim[axis] : 1; }
    const double* GetMin() const { return min; }
    const double* GetMax() const { return max; }
    const double* GetCellSize() const { return cellSize; }

protected:
    // Region code of p against the widened box: 1 x < min.x, 2 x > max.x,
    // 4 y < min.y, 8 y > max.y, 16 z < min.z, 32 z > max.z.
    int WCode(const double* p) const;
    // Cohen-Sutherland clipping of the segment to the box, in place (the two
    // points may come back exchanged); false when nothing is left or a
    // coordinate is not finite.
    bool Clip(double* p1, double* p2) const;
    int Index(double d, int axis) const;
    void Init(const GEnvelope* box, const int perAxis[3]);
    // The cells along a segment whose ends lie in the box (the digital
    // differential analyser of GetFacetByLine), their unmarked objects
    // appended to out and marked.
    void WalkCells(const double* a, const double* b, GArrayCollection* out);
    // WalkCells of each piece of a-b between its crossings of the box's
    // planes, the piece clamped into the box.
    void WalkClamped(const double* a, const double* b, GArrayCollection* out);
    int Clamp(int c, int axis) const { return c < 0 ? 0 : (c >= dim[axis] ? dim[axis] - 1 : c); }
    bool InRange(int i, int j, int k) const
    {
        return i >= 0 && j >= 0 && k >= 0 && i < dim[0] && j < dim[1] && k < dim[2];
    }
    std::size_t Cell(int i, int j, int k) const
    {
        return (static_cast<std::size_t>(k) * dim[1] + j) * dim[0] + i;
    }
    std::size_t CellCount() const { return static_cast<std::size_t>(dim[0]) * dim[1] * dim[2]; }
    // Marks cell c as holding a list.
    void Occupy(std::size_t c);
    // OutFacets of the one cell (i, j, k), in range.
    void OutCell(int i, int j, int k, GCollection* out);
    // Appends cell c's unmarked objects to out, marking them.
    void AppendUnmarked(std::size_t c, GCollection* out) const;
    // Add without the range and type checks (AddFacet's indices are
    // clamped and its objects are facets).
    void AddObject(int i, int j, int k, GObj* o);
    // The chain of cell c: entry numbers from 1 (0 ends it).
    std::uint32_t First(std::size_t c) const { return first[c]; }
    GObj* Object(std::uint32_t e) const { return objects[(e - 1) >> kBlockBits][(e - 1) & kBlockMask]; }
    std::uint32_t Next(std::uint32_t e) const { return next[(e - 1) >> kBlockBits][(e - 1) & kBlockMask]; }

    static constexpr int kBlockBits = 16;
    static constexpr std::uint32_t kBlockMask = (1u << kBlockBits) - 1;

    int n = 0;           // the largest of dim
    int dim[3] = {1, 1, 1};
    double cellSize[3] = {0.0, 0.0, 0.0};
    // Per cell, its first and last entry (0: none).
    std::unique_ptr<std::uint32_t[]> first;
    std::unique_ptr<std::uint32_t[]> last;
    // The entries, kBlockBits-sized blocks of objects and of links to the
    // next entry of the same cell.
    std::vector<std::unique_ptr<GObj*[]>> objects;
    std::vector<std::unique_ptr<std::uint32_t[]>> next;
    std::uint32_t entries = 0; // 32 bits: 4G entries would take 48 GiB
    // Get's answer.
    mutable std::unique_ptr<GArrayCollection> view;
    double min[3] = {0.0, 0.0, 0.0};
    double max[3] = {0.0, 0.0, 0.0};
    // Every stored object is a G3Obj, or a G3Facet: the searches then skip
    // the casts.
    bool objectsOnly = true;
    bool facetsOnly = true;
    bool openBorders = false;
    // The box of every box AddFacet was given (reachEmpty until the first);
    // reachKnown falls when an object comes in by cell or a box is not
    // finite, and the segment searches then walk their whole length.
    double reachMin[3] = {0.0, 0.0, 0.0};
    double reachMax[3] = {0.0, 0.0, 0.0};
    bool reachEmpty = true;
    bool reachKnown = true;
    // Cuts a-b down to the reach widened by a cell; false when it misses.
    bool ClipToReach(double* a, double* b) const;
    // One bit per cell, set where the cell has a list (allocated with the
    // first list).
    std::vector<std::uint64_t> occupied;
};
