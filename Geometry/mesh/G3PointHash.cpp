#include "Geometry/mesh/G3PointHash.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GMemoryAllocator.h"
#include "Geometry/math/GCubeCells.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3TexCoo.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

namespace {

// Items are 32 bytes; a large hash takes its items 256 KiB at a time.
constexpr int kArenaFirstBlock = 4096;
constexpr int kArenaGrowBlock = 256 * 1024;

// The largest grid whose cell count (and every cell index) fits an int.
constexpr int kMaxGrid2 = 46340;
constexpr int kMaxGrid3 = 1290;
constexpr long kMaxCells = 1290L * 1290L * 1290L;

// Bounds on the cells a sized hash gets: small meshes keep the 24 per axis
// they always had, and the cell array stays within 1 GiB.
constexpr double kMinSizedCells = 24.0 * 24.0 * 24.0;
constexpr double kMaxSizedCells = 134217728.0; // 2^27
// BulkBox leaves out this share (one in kBulkShare) of the coordinates at
// either end of each axis.
constexpr std::size_t kBulkShare = 1024;

// Clamped cell of an offset along one axis: trunc(offset / size) into
// 0 .. q - 1, with a NaN quotient (and every negative one) giving 0. The
// mapping is monotone, which is what keeps the tolerance boxes covering
// every probe that lies within the tolerance.
inline int CellOf(double offset, double size, int q)
{
    const double v = offset / size;
    if (!(v >= 0.0))
        return 0;
    if (v >= static_cast<double>(q))
        return q - 1;
    return static_cast<int>(v);
}

// Half-width used to spread an entity: the tolerance plus a few ulps of the
// quantities involved, so that rounding in (coordinate - box minimum) cannot
// put a probe that is within the tolerance outside the spread range.
inline double Spread(double offset, double tolerance)
{
    return tolerance + 1e-14 * (std::fabs(offset) + tolerance);
}

inline double SaneTolerance(double t) { return t > 0.0 ? t : 0.0; }

inline int SaneGrid(int q, int limit)
{
    if (q < 1)
        return 1;
    return q > limit ? limit : q;
}

// The widened box: the given one plus 1% of its largest size on every side,
// or twice the tolerance when that is more.
void WidenedEnvelope(GEnvelope& env, const double* min, const double* max, double tolerance)
{
    env.Init(min, max);
    double margin = 0.01 * env.GetMaxSize();
    if (2.0 * tolerance > margin)
        margin = 2.0 * tolerance;
    env.Extend(margin);
}

// A zeroed array of chain heads, one per cell of the grid q[0..dims-1];
// when that many cannot be had, every q drops to 1 (a single cell gives the
// same answers, only slower).
G3PointHashItem** NewCells(int* q, int dims, int* count)
{
    long n = 1;
    for (int d = 0; d < dims; ++d)
        n *= q[d];
    G3PointHashItem** cells = new (std::nothrow) G3PointHashItem*[static_cast<std::size_t>(n)]();
    if (!cells) {
        for (int d = 0; d < dims; ++d)
            q[d] = 1;
        n = 1;
        cells = new G3PointHashItem*[1]();
    }
    *count = static_cast<int>(n);
    return cells;
}

// Per-axis counts made sane: each at least 1, then the largest halved until
// the product fits kMaxCells.
void SaneGrid3(const int* in, int* out)
{
    for (int a = 0; a < 3; ++a)
        out[a] = in && in[a] > 1 ? in[a] : 1;
    for (;;) {
        const long n = static_cast<long>(out[0]) * out[1] * out[2];
        if (n <= kMaxCells)
            return;
        int m = 0;
        for (int a = 1; a < 3; ++a)
            if (out[a] > out[m])
                m = a;
        out[m] = (out[m] + 1) / 2;
    }
}

inline void PushItem(G3PointHashItem** cells, GMemoryAllocator* arena, int cell, G3Obj* object)
{
    G3PointHashItem* item = new (arena) G3PointHashItem(object);
    item->next = cells[cell];
    cells[cell] = item;
}

}  // namespace

// ---------------------------------------------------------------- G2PointHash

G2PointHash::G2PointHash() = default;

G2PointHash::G2PointHash(int q, const double* min, const double* max, double tol)
{
    Init(q, min, max, tol);
}

G2PointHash::~G2PointHash()
{
    delete[] cells;
    delete allocator;
}

void G2PointHash::InitCommon(const int* perAxis, int dims, const double* min, const double* max, double tol)
{
    tolerance = SaneTolerance(tol);
    allocator = new GMemoryAllocator(kArenaFirstBlock, kArenaGrowBlock);
    grid[0] = grid[1] = grid[2] = 1;
    for (int a = 0; a < dims; ++a)
        grid[a] = perAxis[a];
    cells = NewCells(grid, dims, &cellCount);
    qGrid = grid[0];
    for (int a = 1; a < dims; ++a)
        if (grid[a] > qGrid)
            qGrid = grid[a];
    WidenedEnvelope(envelope, min, max, tolerance);
}

void G2PointHash::Init(int q, const double* min, const double* max, double tol)
{
    const int sane = SaneGrid(q, kMaxGrid2);
    const int perAxis[2] = {sane, sane};
    InitCommon(perAxis, 2, min, max, tol);
    cellSize[0] = (envelope.XSize() + 2.0 * tolerance) / grid[0];
    cellSize[1] = (envelope.YSize() + 2.0 * tolerance) / grid[1];
    cellSize[2] = 0.0;
}

int G2PointHash::Round(double d)
{
    if (!(d == d))
        return 0;
    if (d >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (d <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(d);
}

int G2PointHash::CellIndex(double offset, int axis) const
{
    return CellOf(offset, cellSize[axis], grid[axis]);
}

void G2PointHash::ToleranceRange(double c, int axis, int* lo, int* hi) const
{
    const double offset = c - envelope.min[axis];
    const double spread = Spread(offset, tolerance);
    *lo = CellIndex(offset - spread, axis);
    *hi = CellIndex(offset + spread, axis);
}

void G2PointHash::Push(int cell, G3Obj* object) { PushItem(cells, allocator, cell, object); }

int G2PointHash::GetHashCode(const double* p) const
{
    if (!p)
        return 0;
    return CellIndex(p[0] - envelope.min[0], 0) + CellIndex(p[1] - envelope.min[1], 1) * grid[0];
}

int G2PointHash::GetHashCode(const G3Point* p) const { return p ? GetHashCode(p->GetXYZ()) : 0; }

void G2PointHash::AddWithoutTest(G3Point* p)
{
    if (!p)
        return;
    int i0, i1, j0, j1;
    ToleranceRange(p->GetX(), 0, &i0, &i1);
    ToleranceRange(p->GetY(), 1, &j0, &j1);
    for (int j = j0; j <= j1; ++j)
        for (int i = i0; i <= i1; ++i)
            Push(i + j * grid[0], p);
}

G3Point* G2PointHash::FirstEqual(const double* p) const
{
    for (G3PointHashItem* it = cells[GetHashCode(p)]; it; it = it->next) {
        G3Point* q = static_cast<G3Point*>(it->object);
        if (q->Equals(p, tolerance))
            return q;
    }
    return nullptr;
}

G3Point* G2PointHash::Add(G3Point* p)
{
    if (!p)
        return nullptr;
    if (G3Point* q = FirstEqual(p->GetXYZ()))
        return q;
    AddWithoutTest(p);
    return nullptr;
}

G3Point* G2PointHash::Exists(const double* p) const { return p ? FirstEqual(p) : nullptr; }

G3Point* G2PointHash::Exists(const G3Point* p) const { return p ? FirstEqual(p->GetXYZ()) : nullptr; }

bool G2PointHash::Exists(const double* p, GArrayCollection* out) const
{
    if (!out)
        return false;
    out->clear();
    if (!p)
        return false;
    for (G3PointHashItem* it = cells[GetHashCode(p)]; it; it = it->next) {
        G3Point* q = static_cast<G3Point*>(it->object);
        if (q->Equals(p, tolerance))
            out->add(q);
    }
    return out->size() > 0;
}

bool G2PointHash::Exists(const G3Point* p, GArrayCollection* out) const
{
    return Exists(p ? p->GetXYZ() : nullptr, out);
}

G3PointHashItem* G2PointHash::GetCell(int i, int j) const
{
    if (i < 0 || j < 0 || i >= grid[0] || j >= grid[1])
        return nullptr;
    return cells[i + j * grid[0]];
}

void G2PointHash::GetCellEnvelope(GEnvelope* out, int i, int j) const
{
    if (!out)
        return;
    const double x = envelope.min[0] + i * cellSize[0];
    const double y = envelope.min[1] + j * cellSize[1];
    out->Set(x, y, 0.0, x + cellSize[0], y + cellSize[1], 0.0);
}

// ---------------------------------------------------------------- G3PointHash

G3PointHash::G3PointHash(int q, const double* min, const double* max, double tol)
{
    Init(q, min, max, tol);
}

G3PointHash::G3PointHash(const int* perAxis, const double* min, const double* max, double tol)
{
    int sane[3];
    SaneGrid3(perAxis, sane);
    InitCells(sane, min, max, tol);
}

void G3PointHash::Init(int q, const double* min, const double* max, double tol)
{
    const int sane = SaneGrid(q, kMaxGrid3);
    const int perAxis[3] = {sane, sane, sane};
    InitCells(perAxis, min, max, tol);
}

void G3PointHash::InitCells(const int* perAxis, const double* min, const double* max, double tol)
{
    InitCommon(perAxis, 3, min, max, tol);
    cellSize[0] = envelope.XSize() / grid[0];
    cellSize[1] = envelope.YSize() / grid[1];
    cellSize[2] = envelope.ZSize() / grid[2];
}

void G3PointHash::SizeGrid(long count, const double* min, const double* max, double tol, int perAxis[3])
{
    if (!perAxis)
        return;
    perAxis[0] = perAxis[1] = perAxis[2] = 1;
    double target = static_cast<double>(count);
    if (!(target > kMinSizedCells))
        target = kMinSizedCells;
    if (target > kMaxSizedCells)
        target = kMaxSizedCells;
    // Extents; non-finite ones (and a missing box) count as zero.
    double extent[3] = {0.0, 0.0, 0.0};
    for (int a = 0; a < 3 && min && max; ++a) {
        const double e = max[a] - min[a];
        if (std::isfinite(e) && e > 0.0)
            extent[a] = e;
    }
    bool sized[3];
    const double side = GCubeCellSide(extent, target, 4.0 * SaneTolerance(tol), sized);
    if (!(side > 0.0))
        return;
    for (int a = 0; a < 3; ++a) {
        if (!sized[a])
            continue;
        // A hair below the quotient, so that an extent that is a whole
        // number of cells does not gain one from rounding in exp and log.
        const double q = std::ceil(extent[a] / side * (1.0 - 1e-12));
        perAxis[a] = q < kMaxSizedCells ? static_cast<int>(q) : static_cast<int>(kMaxSizedCells);
    }
    int sane[3];
    SaneGrid3(perAxis, sane);
    for (int a = 0; a < 3; ++a)
        perAxis[a] = sane[a];
}

void G3PointHash::BulkBox(const std::vector<double>& xyz, double min[3], double max[3])
{
    const std::size_t n = xyz.size() / 3;
    std::vector<double> axis;
    axis.reserve(n);
    for (int a = 0; a < 3; ++a) {
        axis.clear();
        for (std::size_t i = 0; i < n; ++i)
            if (std::isfinite(xyz[3 * i + static_cast<std::size_t>(a)]))
                axis.push_back(xyz[3 * i + static_cast<std::size_t>(a)]);
        min[a] = max[a] = 0.0;
        if (axis.empty())
            continue;
        const std::size_t k = axis.size() / kBulkShare;
        std::nth_element(axis.begin(), axis.begin() + static_cast<std::ptrdiff_t>(k), axis.end());
        min[a] = axis[k];
        const std::size_t top = axis.size() - 1 - k;
        std::nth_element(axis.begin(), axis.begin() + static_cast<std::ptrdiff_t>(top), axis.end());
        max[a] = axis[top];
    }
}

int G3PointHash::GetHashCode(const double* p) const
{
    if (!p)
        return 0;
    return CellIndex(p[0] - envelope.min[0], 0) +
           (CellIndex(p[1] - envelope.min[1], 1) + CellIndex(p[2] - envelope.min[2], 2) * grid[1]) * grid[0];
}

int G3PointHash::GetHashCode(const G3Point* p) const { return p ? GetHashCode(p->GetXYZ()) : 0; }

void G3PointHash::AddWithoutTest(G3Point* p)
{
    if (!p)
        return;
    int lo[3], hi[3];
    for (int a = 0; a < 3; ++a)
        ToleranceRange(p->GetXYZ()[a], a, &lo[a], &hi[a]);
    for (int k = lo[2]; k <= hi[2]; ++k)
        for (int j = lo[1]; j <= hi[1]; ++j)
            for (int i = lo[0]; i <= hi[0]; ++i)
                Push(i + (j + k * grid[1]) * grid[0], p);
}

G3PointHashItem* G3PointHash::GetCell(int i, int j, int k) const
{
    if (i < 0 || j < 0 || k < 0 || i >= grid[0] || j >= grid[1] || k >= grid[2])
        return nullptr;
    return cells[i + (j + k * grid[1]) * grid[0]];
}

void G3PointHash::VisitBox(const int* lo, const int* hi, CellVisitor visit, void* context) const
{
    for (int k = lo[2]; k <= hi[2]; ++k)
        for (int j = lo[1]; j <= hi[1]; ++j)
            for (int i = lo[0]; i <= hi[0]; ++i)
                visit(cells[i + (j + k * grid[1]) * grid[0]], context);
}

namespace {

struct Gather {
    GArrayCollection* out;
};

// Appends the unmarked objects of one chain and marks them.
void GatherUnmarked(G3PointHashItem* head, void* context)
{
    GArrayCollection* out = static_cast<Gather*>(context)->out;
    for (G3PointHashItem* it = head; it; it = it->next) {
        if (!it->object->GetMark()) {
            it->object->SetMark();
            out->add(it->object);
        }
    }
}

void ClearMarks(GArrayCollection* out)
{
    for (int n = out->size() - 1; n >= 0; --n)
        static_cast<G3Obj*>(out->get(n))->ClearMark();
}

}  // namespace

void G3PointHash::GetItems(const GEnvelope* box, GArrayCollection* out) const
{
    if (!out)
        return;
    out->clear();
    if (!box)
        return;
    int lo[3], hi[3];
    for (int a = 0; a < 3; ++a) {
        lo[a] = CellIndex(box->min[a] - envelope.min[a], a);
        hi[a] = CellIndex(box->max[a] - envelope.min[a], a);
    }
    Gather g{out};
    VisitBox(lo, hi, GatherUnmarked, &g);
    ClearMarks(out);
}

void G3PointHash::VisitSegmentCells(const double* a, const double* b, double radius, CellVisitor visit,
                                    void* context) const
{
    if (!a || !b || !visit)
        return;
    const double r = radius > 0.0 ? radius : 0.0;
    double da[3], db[3];
    bool finite = std::isfinite(r);
    for (int ax = 0; ax < 3; ++ax) {
        da[ax] = a[ax] - envelope.min[ax];
        db[ax] = b[ax] - envelope.min[ax];
        finite = finite && std::isfinite(da[ax]) && std::isfinite(db[ax]) && cellSize[ax] > 0.0;
    }
    int lo[3], hi[3];
    if (!finite) {
        // No slab walk through infinities or NaN: the clamped bounding box
        // (NaN reads as cell 0) holds everything the segment could reach.
        for (int ax = 0; ax < 3; ++ax) {
            const double mn = da[ax] < db[ax] ? da[ax] : db[ax];
            const double mx = da[ax] < db[ax] ? db[ax] : da[ax];
            lo[ax] = CellIndex(mn - r, ax);
            hi[ax] = CellIndex(mx + r, ax);
            if (hi[ax] < lo[ax])
                hi[ax] = lo[ax];
        }
        VisitBox(lo, hi, visit, context);
        return;
    }

    // The walking axis: the one along which the segment crosses most cells.
    int m = 0;
    double most = -1.0;
    for (int ax = 0; ax < 3; ++ax) {
        const double crossings = std::fabs(db[ax] - da[ax]) / cellSize[ax];
        if (crossings > most) {
            most = crossings;
            m = ax;
        }
    }
    const int u = (m + 1) % 3;
    const int v = (m + 2) % 3;
    const double dm = db[m] - da[m];
    const double mn = da[m] < db[m] ? da[m] : db[m];
    const double mx = da[m] < db[m] ? db[m] : da[m];
    const int c0 = CellIndex(mn - r, m);
    const int c1 = CellIndex(mx + r, m);
    for (int c = c0; c <= c1; ++c) {
        // The part of the segment within r of this slab; the border slabs
        // reach to infinity since outside points are clamped into them.
        const double slabLo = c == 0 ? -HUGE_VAL : c * cellSize[m] - r;
        const double slabHi = c == grid[m] - 1 ? HUGE_VAL : (c + 1) * cellSize[m] + r;
        double t0 = 0.0, t1 = 1.0;
        if (dm != 0.0) {
            double s0 = (slabLo - da[m]) / dm;
            double s1 = (slabHi - da[m]) / dm;
            if (s0 > s1) {
                const double s = s0;
                s0 = s1;
                s1 = s;
            }
            if (s0 > t0)
                t0 = s0;
            if (s1 < t1)
                t1 = s1;
            if (t0 > t1)
                continue;
        }
        lo[m] = hi[m] = c;
        const int other[2] = {u, v};
        for (int o : other) {
            const double p0 = da[o] + t0 * (db[o] - da[o]);
            const double p1 = da[o] + t1 * (db[o] - da[o]);
            lo[o] = CellIndex((p0 < p1 ? p0 : p1) - r, o);
            hi[o] = CellIndex((p0 < p1 ? p1 : p0) + r, o);
        }
        VisitBox(lo, hi, visit, context);
    }
}

void G3PointHash::GetItemsAlongSegment(const double* a, const double* b, GArrayCollection* out) const
{
    if (!out)
        return;
    out->clear();
    Gather g{out};
    VisitSegmentCells(a, b, tolerance, GatherUnmarked, &g);
    ClearMarks(out);
}

// ---------------------------------------------------------------- G3TexCooHash

G3TexCooHash::G3TexCooHash(int q, const double* min, const double* max, double tol)
{
    Init(q, min, max, tol);
}

G3TexCooHash::~G3TexCooHash()
{
    delete[] cells;
    delete allocator;
}

void G3TexCooHash::Init(int q, const double* min, const double* max, double tol)
{
    tolerance = SaneTolerance(tol);
    allocator = new GMemoryAllocator(kArenaFirstBlock, kArenaGrowBlock);
    qGrid = SaneGrid(q, kMaxGrid2);
    int perAxis[2] = {qGrid, qGrid};
    cells = NewCells(perAxis, 2, &cellCount);
    qGrid = perAxis[0];
    WidenedEnvelope(envelope, min, max, tolerance);
    cellSize[0] = (envelope.XSize() + 2.0 * tolerance) / qGrid;
    cellSize[1] = (envelope.YSize() + 2.0 * tolerance) / qGrid;
}

int G3TexCooHash::CellIndex(double offset, int axis) const
{
    return CellOf(offset, cellSize[axis], qGrid);
}

int G3TexCooHash::GetHashCode(const double* uv) const
{
    if (!uv)
        return 0;
    return CellIndex(uv[0] - envelope.min[0], 0) + CellIndex(uv[1] - envelope.min[1], 1) * qGrid;
}

int G3TexCooHash::GetHashCode(const G3TexCoo* t) const { return t ? GetHashCode(t->GetUV()) : 0; }

void G3TexCooHash::AddWithoutTest(G3TexCoo* t)
{
    if (!t)
        return;
    int lo[2], hi[2];
    for (int a = 0; a < 2; ++a) {
        const double offset = t->GetUV()[a] - envelope.min[a];
        const double spread = Spread(offset, tolerance);
        lo[a] = CellIndex(offset - spread, a);
        hi[a] = CellIndex(offset + spread, a);
    }
    for (int j = lo[1]; j <= hi[1]; ++j)
        for (int i = lo[0]; i <= hi[0]; ++i)
            PushItem(cells, allocator, i + j * qGrid, t);
}

G3TexCoo* G3TexCooHash::Exists(const G3TexCoo* t) const
{
    if (!t)
        return nullptr;
    for (G3PointHashItem* it = cells[GetHashCode(t)]; it; it = it->next) {
        G3TexCoo* q = static_cast<G3TexCoo*>(it->object);
        if (q->Equals(t, tolerance))
            return q;
    }
    return nullptr;
}

G3TexCoo* G3TexCooHash::Add(G3TexCoo* t)
{
    if (!t)
        return nullptr;
    if (G3TexCoo* q = Exists(t))
        return q;
    AddWithoutTest(t);
    return nullptr;
}

G3PointHashItem* G3TexCooHash::GetCell(int i, int j) const
{
    if (i < 0 || j < 0 || i >= qGrid || j >= qGrid)
        return nullptr;
    return cells[i + j * qGrid];
}
