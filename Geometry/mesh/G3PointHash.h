#pragma once
// Tolerance hashes of points and texture coordinates.
//
// The cells cover a box (the one given at construction, widened by a
// margin). An entity is stored in every cell that its tolerance box (the
// square or cube of half-width `tolerance` around it) touches, so a lookup
// reads the one cell that contains the probe: every stored entity closer
// than the tolerance to the probe sits in that cell. Chains are newest
// first. Consequently `Add` and `Exists` return the newest stored entity
// equal to the probe whatever the cell count; the count only trades memory
// for chain length, so a caller may size a hash by the number of entities
// it will hold.
//
// Cell indices are clamped into range on every axis and a NaN quotient
// gives cell 0: a point outside the widened box (or with a NaN coordinate)
// is kept in the border cells, where lookups from outside find it again.
//
// Items come from the hash's own arena and are released with the hash; the
// stored entities are never owned. Hashes cannot be copied (they own their
// cells and arena); `Duplicate` gives null.
//
// Cost: a point occupies (2 * tolerance / cellSize + 2) cells per axis at
// most, so one to eight cells of the 3D hash as long as the cells are wider
// than twice the tolerance. A 3D hash may have a different cell count on
// each axis (G3PointHash::SizeGrid): a flat point set then fills its one
// layer of cells instead of a cube's worth of empty ones.

#include "Geometry/foundation/GObj.h"
#include "Geometry/math/GEnvelope.h"

#include <vector>

class GArrayCollection;
class GMemoryAllocator;
class G3Obj;
class G3Point;
class G3TexCoo;

class G3PointHashItem : public GObj {
public:
    explicit G3PointHashItem(G3Obj* obj) : next(nullptr), object(obj) {}
    G3PointHashItem* GetNext() const { return next; }
    G3Obj* GetObject() const { return object; }

    G3PointHashItem* next;
    G3Obj* object;
};

// Buckets points by x and y; equality is the points' own (3D) Equals.
class G2PointHash : public GObj {
public:
    // `min` and `max` are three coordinates each. A non-positive qGrid
    // counts as 1; a tolerance that is not positive (or NaN) as 0.
    G2PointHash(int qGrid, const double* min, const double* max, double tolerance);
    ~G2PointHash() override;
    G2PointHash(const G2PointHash&) = delete;
    G2PointHash& operator=(const G2PointHash&) = delete;
    GObj* Duplicate() override { return nullptr; }

    // Cell index of p (clamped into range).
    virtual int GetHashCode(const double* p) const;
    virtual int GetHashCode(const G3Point* p) const;
    // Stores p in every cell of its tolerance box, without an equality test.
    virtual void AddWithoutTest(G3Point* p);

    // The newest stored point equal to p within the tolerance; when none,
    // stores p and returns null.
    G3Point* Add(G3Point* p);
    // The newest stored point equal to p, or null; nothing is stored.
    G3Point* Exists(const double* p) const;
    G3Point* Exists(const G3Point* p) const;
    // Clears out and appends every stored point equal to p, newest first;
    // whether any was found.
    bool Exists(const double* p, GArrayCollection* out) const;
    bool Exists(const G3Point* p, GArrayCollection* out) const;

    // Head of a cell's chain; null for indices out of range.
    G3PointHashItem* GetCell(int i, int j) const;
    // The planar cell's rectangle (z from 0 to 0).
    void GetCellEnvelope(GEnvelope* out, int i, int j) const;

    // The cells per axis given to the constructor; for a hash built with a
    // count per axis, the largest of them.
    int GetQGrid() const { return qGrid; }
    // Cells along `axis` (0, 1 or 2); a planar hash has one along z, and an
    // axis out of range counts one.
    int GetGrid(int axis) const { return axis >= 0 && axis < 3 ? grid[axis] : 1; }
    int GetCellCount() const { return cellCount; }
    const GEnvelope& GetEnvelope() const { return envelope; }
    const double* GetCellSize() const { return cellSize; }
    double GetTolerance() const { return tolerance; }
    // Truncation toward zero, saturated to the int range (NaN gives 0).
    static int Round(double d);

protected:
    // Lets a subclass run its own Init.
    G2PointHash();
    void Init(int qGrid, const double* min, const double* max, double tolerance);
    // Creates the arena, the cell array (cellCount = the product of the
    // `dims` entries of `perAxis`, each already at least 1 and small enough
    // for the product to fit an int; when the array cannot be allocated the
    // hash runs with one cell per axis, which gives the same answers) and
    // the widened envelope. qGrid becomes the largest count.
    void InitCommon(const int* perAxis, int dims, const double* min, const double* max, double tolerance);
    // The clamped cell along `axis` of an offset from envelope.min.
    int CellIndex(double offset, int axis) const;
    // The cell range [lo, hi] along `axis` of the tolerance interval around
    // coordinate `c`, wide enough that rounding cannot drop a cell a probe
    // within the tolerance would compute.
    void ToleranceRange(double c, int axis, int* lo, int* hi) const;
    void Push(int cell, G3Obj* object);
    G3Point* FirstEqual(const double* p) const;

    GMemoryAllocator* allocator = nullptr;
    int cellCount = 0;
    G3PointHashItem** cells = nullptr;
    int qGrid = 0;
    int grid[3] = {1, 1, 1};
    GEnvelope envelope;
    double cellSize[3] = {0.0, 0.0, 0.0};
    double tolerance = 0.0;
};

// Buckets points by x, y and z.
class G3PointHash : public G2PointHash {
public:
    // qGrid cells on every axis (a non-positive qGrid counts as 1; at most
    // 1290, so the cell count fits an int).
    G3PointHash(int qGrid, const double* min, const double* max, double tolerance);
    // perAxis[0..2] cells along x, y and z (each non-positive count counts
    // as 1; the largest are halved until the cell count fits an int). A
    // null perAxis gives one cell.
    G3PointHash(const int* perAxis, const double* min, const double* max, double tolerance);

    // Cell counts per axis for a hash over min..max that will hold about
    // `count` points: about one cell per point in all (at least 24^3 cells,
    // at most 2^27), the cells as near to cubes as the box allows. An axis
    // along which the box is no longer than one such cell (a flat or nearly
    // flat point set) gets a single cell and its share goes to the others;
    // cells are kept at least four tolerances wide. Non-finite or missing
    // bounds count as a zero extent.
    static void SizeGrid(long count, const double* min, const double* max, double tolerance, int perAxis[3]);
    // The box of the bulk of the points `xyz` (three coordinates each): on
    // each axis, from the
    // coordinate with 1/1024 of the finite ones below it to the one with
    // 1/1024 above it. A stray point far from the rest (a marker at the
    // survey origin, a facet left a kilometre off) then no longer stretches
    // the cells over everything else; it is clamped into the border cells,
    // where lookups find it as always. With no finite coordinate on an
    // axis, that axis gives 0 to 0.
    static void BulkBox(const std::vector<double>& xyz, double min[3], double max[3]);

    int GetHashCode(const double* p) const override;
    int GetHashCode(const G3Point* p) const override;
    void AddWithoutTest(G3Point* p) override;

    using G2PointHash::GetCell;
    G3PointHashItem* GetCell(int i, int j, int k) const;

    // Clears out, then appends every stored object of the cells that box
    // overlaps, each once, in cell order (k, j, i ascending) and chain
    // order. Objects are not tested against the box. The mark of every
    // returned object is clear afterwards (marks must be clear on entry).
    // Both ends of each index range are clamped, so a box beyond the
    // widened envelope reads the border cells (where outside points live).
    void GetItems(const GEnvelope* box, GArrayCollection* out) const;

    // Calls visit(head, context) once for each cell met by the tube of
    // half-width `radius` (a cube around every point) around the segment a-b,
    // walking the cells slab by slab along the axis the segment crosses most
    // cells of. Work follows the cells the segment passes through, not its
    // bounding box, so long diagonal edges stay cheap. With radius at least
    // the tolerance, every stored point closer than the tolerance to the
    // segment lies in a visited cell. Empty cells are visited too (head
    // null). A segment with a non-finite coordinate visits the cells of its
    // clamped bounding box instead. A negative or NaN radius counts as 0.
    typedef void (*CellVisitor)(G3PointHashItem* head, void* context);
    void VisitSegmentCells(const double* a, const double* b, double radius, CellVisitor visit,
                           void* context) const;
    // Clears out, then appends every object stored in the cells the segment's
    // tolerance tube meets (radius = tolerance), each once, in visiting order;
    // marks are used as in GetItems and left clear.
    void GetItemsAlongSegment(const double* a, const double* b, GArrayCollection* out) const;

protected:
    void Init(int qGrid, const double* min, const double* max, double tolerance);
    // Init with sane per-axis counts.
    void InitCells(const int* perAxis, const double* min, const double* max, double tolerance);
    void VisitBox(const int* lo, const int* hi, CellVisitor visit, void* context) const;
};

// Buckets texture coordinates by u and v; equality is G3TexCoo::Equals.
class G3TexCooHash : public GObj {
public:
    // `min` and `max` are three coordinates each (u, v and an unused third).
    G3TexCooHash(int qGrid, const double* min, const double* max, double tolerance);
    ~G3TexCooHash() override;
    G3TexCooHash(const G3TexCooHash&) = delete;
    G3TexCooHash& operator=(const G3TexCooHash&) = delete;
    GObj* Duplicate() override { return nullptr; }

    virtual int GetHashCode(const G3TexCoo* t) const;
    int GetHashCode(const double* uv) const;
    void AddWithoutTest(G3TexCoo* t);
    // The newest stored coordinate equal to t; when none, stores t and
    // returns null.
    G3TexCoo* Add(G3TexCoo* t);
    G3TexCoo* Exists(const G3TexCoo* t) const;

    G3PointHashItem* GetCell(int i, int j) const;
    int GetQGrid() const { return qGrid; }
    int GetCellCount() const { return cellCount; }
    const GEnvelope& GetEnvelope() const { return envelope; }
    const double* GetCellSize() const { return cellSize; }
    double GetTolerance() const { return tolerance; }
    static int Round(double d) { return G2PointHash::Round(d); }

protected:
    void Init(int qGrid, const double* min, const double* max, double tolerance);
    int CellIndex(double offset, int axis) const;

    GMemoryAllocator* allocator = nullptr;
    int cellCount = 0;
    G3PointHashItem** cells = nullptr;
    int qGrid = 0;
    GEnvelope envelope;
    double cellSize[2] = {0.0, 0.0};
    double tolerance = 0.0;
};
