// Sparse tolerance hash of points. Each stored point is pushed onto the
// chain of every cell its tolerance cube (widened by a few ulps of rounding
// slack) touches; chains are newest first, so the first equal point met in
// the probe's own cell is the newest equal one, whatever the cell side.
// Refiling keeps that order: the places go back oldest first.
#include "Geometry/mesh/G3SparsePointHash.h"

#include "Geometry/mesh/G3Point.h"

#include <algorithm>
#include <cmath>

namespace {

// Cells per axis are indexed with 21 bits, three of them packed in a key.
constexpr int kMaxCell = (1 << 21) - 1;

// The relative rounding slack added to the tolerance when a point is
// spread over cells, so that (coordinate - origin) / side rounding cannot
// leave out a cell a probe within the tolerance computes.
constexpr double kRoundingSlack = 1e-14;

// The table starts with room for this many cells at most and doubles as
// it fills, so a count far above what is stored costs nothing.
constexpr double kInitialCells = 1048576.0;

// Cells a point's share of the box is cut into: clustered sets keep short
// chains, and only occupied cells cost memory.
constexpr double kCellsPerPoint = 16.0;
// Cells are never narrower than this many tolerances (a point then spreads
// over at most two cells per axis).
constexpr double kMinCellTolerances = 4.0;

// A lookup walking more items than this cuts the cells kRefineFactor times
// finer per axis. Stored places are pairwise farther apart than the
// tolerance, so at the floor a cell holds a few hundred at most, and the
// side reaches the floor after a bounded number of refilings.
constexpr int kLongChain = 32;
constexpr double kRefineFactor = 4.0;

// No cell has this key: 21 bits per axis use at most 63 bits.
constexpr std::uint64_t kNoKey = ~std::uint64_t{0};

// Slots follow the cells: neighbours along x sit side by side in the
// table, so a run of nearby points (a mesh is stored in a coherent order)
// touches few cache lines; the odd multipliers scatter the other axes.
std::size_t Spot(std::uint64_t key)
{
    const std::uint64_t i = key & 0x1fffff, j = key >> 21 & 0x1fffff, k = key >> 42;
    return static_cast<std::size_t>(i + j * 0x9e3779b97f4a7c15ULL + k * 0xc2b2ae3d27d4eb4fULL);
}

double Finite(double v) { return std::isfinite(v) ? v : 0.0; }

} // namespace

G3SparsePointHash::G3SparsePointHash(long count, const double* min, const double* max, double tol)
    : tolerance(tol > 0.0 ? tol : 0.0)
{
    double extent[3] = {0.0, 0.0, 0.0};
    for (int a = 0; a < 3; ++a) {
        const double lo = min ? Finite(min[a]) : 0.0;
        const double hi = max ? Finite(max[a]) : 0.0;
        origin[a] = lo - 2.0 * tolerance;
        extent[a] = hi > lo ? hi - lo : 0.0;
    }
    std::sort(extent, extent + 3);
    const double n = count > 1 ? static_cast<double>(count) : 1.0;
    const double floorSide = tolerance > 0.0 ? kMinCellTolerances * tolerance : 1.0;
    const double a = std::max(extent[2], floorSide), b = std::max(extent[1], floorSide);
    side = std::max(std::sqrt(a / (kCellsPerPoint * n) * b), floorSide);
    // Keep every index of the box, widened by twice the tolerance on each
    // side, within the key's range.
    minSide = std::max(floorSide, (extent[2] + 4.0 * tolerance) / kMaxCell);
    side = std::max(side, minSide);
    std::size_t size = 64;
    while (size < 2 * static_cast<std::size_t>(std::min(n, kInitialCells)))
        size *= 2;
    cells.assign(size, Cell{kNoKey, -1});
}

std::size_t G3SparsePointHash::Slot(std::uint64_t key) const
{
    const std::size_t mask = cells.size() - 1;
    std::size_t s = Spot(key) & mask;
    while (cells[s].key != key && cells[s].key != kNoKey)
        s = (s + 1) & mask;
    return s;
}

void G3SparsePointHash::Grow()
{
    std::vector<Cell> old(cells.size() * 2, Cell{kNoKey, -1});
    old.swap(cells);
    for (const Cell& c : old)
        if (c.key != kNoKey)
            cells[Slot(c.key)] = c;
}

int& G3SparsePointHash::Head(std::uint64_t key)
{
    std::size_t s = Slot(key);
    if (cells[s].key == kNoKey) {
        if (2 * (used + 1) > cells.size()) {
            Grow();
            s = Slot(key);
        }
        cells[s].key = key;
        ++used;
    }
    return cells[s].head;
}

int G3SparsePointHash::CellIndex(double c, int axis) const
{
    const double v = (c - origin[axis]) / side;
    if (!(v >= 0.0))
        return 0;
    if (v >= static_cast<double>(kMaxCell))
        return kMaxCell;
    return static_cast<int>(v);
}

std::uint64_t G3SparsePointHash::Key(int i, int j, int k)
{
    return static_cast<std::uint64_t>(i) | static_cast<std::uint64_t>(j) << 21 |
           static_cast<std::uint64_t>(k) << 42;
}

int G3SparsePointHash::Newest(const double* p, int* steps) const
{
    const Cell& cell = cells[Slot(Key(CellIndex(p[0], 0), CellIndex(p[1], 1), CellIndex(p[2], 2)))];
    int walked = 0;
    int found = -1;
    for (int it = cell.head; it >= 0 && found < 0; it = items[it].next, ++walked)
        if (G3Point::Equals(items[it].xyz, p, tolerance))
            found = it;
    if (steps)
        *steps = walked;
    return found;
}

void G3SparsePointHash::RefineAfter(int steps)
{
    if (steps <= kLongChain || !(side > minSide))
        return;
    side = std::max(minSide, side / kRefineFactor);
    std::vector<Item> old;
    old.swap(items);
    std::vector<int> oldFirsts;
    oldFirsts.swap(firsts);
    std::fill(cells.begin(), cells.end(), Cell{kNoKey, -1});
    used = 0;
    for (int first : oldFirsts) {
        const Item& it = old[static_cast<std::size_t>(first)];
        Store(it.point, it.id, it.xyz);
    }
}

G3Point* G3SparsePointHash::Exists(const double* p) const
{
    if (!p)
        return nullptr;
    const int it = Newest(p);
    return it >= 0 ? items[it].point : nullptr;
}

void G3SparsePointHash::Store(G3Point* p, int id, const double* xyz)
{
    firsts.push_back(static_cast<int>(items.size()));
    int lo[3], hi[3];
    for (int a = 0; a < 3; ++a) {
        const double spread = tolerance + kRoundingSlack * (std::fabs(xyz[a] - origin[a]) + tolerance);
        lo[a] = CellIndex(xyz[a] - spread, a);
        hi[a] = CellIndex(xyz[a] + spread, a);
    }
    for (int k = lo[2]; k <= hi[2]; ++k)
        for (int j = lo[1]; j <= hi[1]; ++j)
            for (int i = lo[0]; i <= hi[0]; ++i) {
                int& head = Head(Key(i, j, k));
                items.push_back({p, {xyz[0], xyz[1], xyz[2]}, head, id});
                head = static_cast<int>(items.size() - 1);
            }
}

G3Point* G3SparsePointHash::Add(G3Point* p)
{
    if (!p)
        return nullptr;
    const double* xyz = p->GetXYZ();
    int steps = 0;
    const int it = Newest(xyz, &steps);
    G3Point* same = it >= 0 ? items[static_cast<std::size_t>(it)].point : nullptr;
    RefineAfter(steps);
    if (it < 0)
        Store(p, -1, xyz);
    return same;
}

int G3SparsePointHash::Add(int id, const double* xyz)
{
    if (!xyz)
        return -1;
    int steps = 0;
    const int it = Newest(xyz, &steps);
    const int same = it >= 0 ? items[static_cast<std::size_t>(it)].id : -1;
    RefineAfter(steps);
    if (it < 0)
        Store(nullptr, id, xyz);
    return same;
}
