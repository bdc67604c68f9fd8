// A uniform grid of object lists. Invariants: every object added under a
// box is found by any box or segment query meeting that box (cells are
// clamped, never dropped, within the grid's range; open borders extend that
// to boxes and segments outside it); each search reports an object once and
// leaves the marks as documented in the header. Rounding: cell indices
// truncate offsets over cell sizes; a segment's clipped or clamped ends and
// its plane crossings are rounded once each, and the walk then takes the
// cells of both ends whatever the stepping's rounding did.

#include "Geometry/mesh/G3Grid.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GCubeCells.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3PointHash.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

constexpr int kMaxCellsPerAxis = 1024;

// Clears the marks of out's objects at indices begin .. end - 1; `objects`
// says they are all G3Obj (no cast needed to find out).
void ClearMarks(GArrayCollection* out, int begin, int end, bool objects)
{
    for (int c = end - 1; c >= begin; --c)
        if (G3Obj* o = objects ? static_cast<G3Obj*>(out->get(c)) : dynamic_cast<G3Obj*>(out->get(c)))
            o->ClearMark();
}

}  // namespace

G3Grid::G3Grid(const GEnvelope* box, int cellsPerAxis)
{
    const int perAxis[3] = {cellsPerAxis, cellsPerAxis, cellsPerAxis};
    Init(box, perAxis);
}

G3Grid::G3Grid(const GEnvelope* box, const int perAxis[3])
{
    const int one[3] = {1, 1, 1};
    Init(box, perAxis ? perAxis : one);
}

G3Grid::G3Grid(const GEnvelope* box, const int perAxis[3], bool open) : openBorders(open)
{
    const int one[3] = {1, 1, 1};
    Init(box, perAxis ? perAxis : one);
}

void G3Grid::Init(const GEnvelope* box, const int perAxis[3])
{
    for (int a = 0; a < 3; ++a) {
        const int c = perAxis[a];
        dim[a] = c < 1 ? 1 : (c > kMaxCellsPerAxis ? kMaxCellsPerAxis : c);
    }
    n = std::max(dim[0], std::max(dim[1], dim[2]));
    if (box) {
        for (int a = 0; a < 3; ++a) {
            min[a] = box->min[a];
            max[a] = box->max[a];
        }
    }
    GEnvelope::Extend(min, max, 2e-6);
    first.reset(new (std::nothrow) std::uint32_t[CellCount()]());
    last.reset(first ? new (std::nothrow) std::uint32_t[CellCount()]() : nullptr);
    if (!first || !last) {
        // One cell still answers every search, only less selectively.
        n = dim[0] = dim[1] = dim[2] = 1;
        first.reset(new std::uint32_t[1]());
        last.reset(new std::uint32_t[1]());
    }
    for (int a = 0; a < 3; ++a)
        cellSize[a] = (max[a] - min[a]) / dim[a];
}

void G3Grid::SizeCells(const GEnvelope* box, double total, int perAxis[3])
{
    // Cube-shaped cells as far as the box allows; an axis shorter than one
    // side takes one cell and leaves its share to the others.
    double extent[3] = {0.0, 0.0, 0.0};
    for (int a = 0; a < 3 && box; ++a) {
        const double e = box->max[a] - box->min[a];
        extent[a] = std::isfinite(e) && e > 0.0 ? e : 0.0;
    }
    bool sized[3];
    const double side = GCubeCellSide(extent, total, 0.0, sized);
    for (int a = 0; a < 3; ++a) {
        const double q = sized[a] && side > 0.0 ? std::round(extent[a] / side) : 1.0;
        perAxis[a] = q < 1.0 ? 1 : (q > kMaxCellsPerAxis ? kMaxCellsPerAxis : static_cast<int>(q));
    }
}

void G3Grid::BulkBox(const std::vector<double>& corners, const GEnvelope* within, GEnvelope* out)
{
    if (!out)
        return;
    double lo[3], hi[3];
    G3PointHash::BulkBox(corners, lo, hi);
    bool finite[3] = {false, false, false};
    for (std::size_t c = 0; c < corners.size() / 3 * 3; ++c)
        finite[c % 3] = finite[c % 3] || std::isfinite(corners[c]);
    for (int a = 0; a < 3; ++a) {
        if (within) {
            lo[a] = std::max(lo[a], within->min[a]);
            hi[a] = std::min(hi[a], within->max[a]);
        }
        if (!finite[a] || !(lo[a] <= hi[a])) {
            lo[a] = within ? within->min[a] : 0.0;
            hi[a] = within ? within->max[a] : 0.0;
        }
        out->min[a] = lo[a];
        out->max[a] = hi[a];
    }
}

G3Grid::~G3Grid() = default;

int G3Grid::Index(double d, int axis) const
{
    const double v = d / cellSize[axis];
    if (!(v == v))
        return 0;
    if (v <= -1.0)
        return -1;
    if (v >= static_cast<double>(dim[axis]))
        return dim[axis];
    return static_cast<int>(v);
}

void G3Grid::GetIndexes(const double* p, int* i, int* j, int* k) const
{
    *i = Clamp(Index(p[0] - min[0], 0), 0);
    *j = Clamp(Index(p[1] - min[1], 1), 1);
    *k = Clamp(Index(p[2] - min[2], 2), 2);
}

void G3Grid::GetIndexes(const GEnvelope* box, int* i, int* j, int* k) const
{
    int* out[3] = {i, j, k};
    for (int a = 0; a < 3; ++a) {
        int lo = box ? Index(box->min[a] - min[a], a) : 0;
        int hi = box ? Index(box->max[a] - min[a], a) : -1;
        if (openBorders && box && !(box->min[a] > box->max[a])) {
            // The border cells hold everything beyond them.
            lo = Clamp(lo, a);
            hi = Clamp(hi, a);
        }
        out[a][0] = lo < 0 ? 0 : lo;
        out[a][1] = hi > dim[a] - 1 ? dim[a] - 1 : hi;
    }
}

void G3Grid::Add(int i, int j, int k, GObj* o)
{
    if (!InRange(i, j, k))
        return;
    reachKnown = false;
    if (facetsOnly && !dynamic_cast<G3Facet*>(o)) {
        facetsOnly = false;
        objectsOnly = dynamic_cast<G3Obj*>(o) != nullptr;
    } else if (objectsOnly && !dynamic_cast<G3Obj*>(o)) {
        objectsOnly = false;
    }
    AddObject(i, j, k, o);
}

void G3Grid::AddObject(int i, int j, int k, GObj* o)
{
    const std::size_t c = Cell(i, j, k);
    const std::uint32_t at = entries & kBlockMask;
    if (at == 0) {
        objects.emplace_back(new GObj*[std::size_t{1} << kBlockBits]);
        next.emplace_back(new std::uint32_t[std::size_t{1} << kBlockBits]);
    }
    objects.back()[at] = o;
    next.back()[at] = 0;
    const std::uint32_t e = ++entries;
    if (last[c])
        next[(last[c] - 1) >> kBlockBits][(last[c] - 1) & kBlockMask] = e;
    else
        first[c] = e;
    last[c] = e;
    Occupy(c);
}

void G3Grid::set(int i, int j, int k, GArrayCollection* list)
{
    if (!InRange(i, j, k))
        return;
    objectsOnly = facetsOnly = false; // the new list's objects are not looked at
    reachKnown = false;
    // The old entries stay in their blocks, out of every chain.
    const std::size_t c = Cell(i, j, k);
    first[c] = last[c] = 0;
    if (view && view.get() == list)
        view.release();
    for (int n = 0; list && n < list->size(); ++n)
        AddObject(i, j, k, list->get(n));
    delete list;
}

GArrayCollection* G3Grid::Get(int i, int j, int k) const
{
    if (!InRange(i, j, k) || !First(Cell(i, j, k)))
        return nullptr;
    if (!view)
        view.reset(new GArrayCollection(8, 32));
    view->clear();
    for (std::uint32_t e = First(Cell(i, j, k)); e; e = Next(e))
        view->add(Object(e));
    return view.get();
}

void G3Grid::AddFacet(G3Facet* f, const GEnvelope* box)
{
    if (!f)
        return;
    f->ClearMark();
    if (!box || box->IsDefault()) {
        reachKnown = false;
    } else {
        for (int a = 0; a < 3; ++a) {
            if (!std::isfinite(box->min[a]) || !std::isfinite(box->max[a]))
                reachKnown = false;
            reachMin[a] = reachEmpty ? box->min[a] : std::fmin(reachMin[a], box->min[a]);
            reachMax[a] = reachEmpty ? box->max[a] : std::fmax(reachMax[a], box->max[a]);
        }
        reachEmpty = false;
    }
    int i[2], j[2], k[2];
    GetIndexes(box, i, j, k);
    for (int z = k[0]; z <= k[1]; ++z)
        for (int y = j[0]; y <= j[1]; ++y)
            for (int x = i[0]; x <= i[1]; ++x)
                AddObject(x, y, z, f);
}

void G3Grid::OutFacets(int i0, int i1, int j0, int j1, int k0, int k1, GCollection* out)
{
    if (!out)
        return;
    int lo[3] = {i0, j0, k0};
    int hi[3] = {i1, j1, k1};
    for (int a = 0; a < 3; ++a) {
        if (lo[a] > hi[a]) {
            const int t = lo[a];
            lo[a] = hi[a];
            hi[a] = t;
        }
        // A block wholly outside the grid along an axis selects nothing.
        if (hi[a] < 0 || lo[a] > dim[a] - 1)
            return;
        lo[a] = Clamp(lo[a], a);
        hi[a] = Clamp(hi[a], a);
    }
    for (int z = lo[2]; z <= hi[2]; ++z) {
        for (int y = lo[1]; y <= hi[1]; ++y) {
            for (int x = lo[0]; x <= hi[0]; ++x)
                AppendUnmarked(Cell(x, y, z), out);
        }
    }
}

void G3Grid::Occupy(std::size_t c)
{
    if (occupied.empty())
        occupied.assign((CellCount() + 63) / 64, 0);
    occupied[c >> 6] |= std::uint64_t{1} << (c & 63);
}

void G3Grid::OutCell(int i, int j, int k, GCollection* out)
{
    const std::size_t c = Cell(i, j, k);
    // The bitmap is a few bits per cell: a walk through empty space reads
    // it, not the cell array.
    if (occupied.empty() || !(occupied[c >> 6] >> (c & 63) & 1))
        return;
    AppendUnmarked(c, out);
}

void G3Grid::AppendUnmarked(std::size_t c, GCollection* out) const
{
    for (std::uint32_t e = First(c); e; e = Next(e)) {
        GObj* item = Object(e);
        G3Obj* o = objectsOnly ? static_cast<G3Obj*>(item) : dynamic_cast<G3Obj*>(item);
        if (o && !o->GetMark()) {
            o->SetMark();
            out->add(o);
        }
    }
}

int G3Grid::WCode(const double* p) const
{
    int code = 0;
    if (p[0] < min[0])
        code |= 1;
    else if (p[0] > max[0])
        code |= 2;
    if (p[1] < min[1])
        code |= 4;
    else if (p[1] > max[1])
        code |= 8;
    if (p[2] < min[2])
        code |= 16;
    else if (p[2] > max[2])
        code |= 32;
    return code;
}

bool G3Grid::Clip(double* p1, double* p2) const
{
    for (int a = 0; a < 3; ++a)
        if (!std::isfinite(p1[a]) || !std::isfinite(p2[a]))
            return false;
    int c1 = WCode(p1);
    int c2 = WCode(p2);
    // Each pass puts p1 on one more boundary plane; six planes bound the
    // passes that can make progress, the rest only guard against rounding.
    for (int pass = 0; (c1 | c2) != 0; ++pass) {
        if ((c1 & c2) != 0 || pass >= 24)
            return false;
        if (c1 == 0) {
            for (int a = 0; a < 3; ++a) {
                const double t = p1[a];
                p1[a] = p2[a];
                p2[a] = t;
            }
            const int t = c1;
            c1 = c2;
            c2 = t;
        }
        const int bit = c1 & -c1;
        int axis;
        double plane;
        switch (bit) {
        case 1: axis = 0; plane = min[0]; break;
        case 2: axis = 0; plane = max[0]; break;
        case 4: axis = 1; plane = min[1]; break;
        case 8: axis = 1; plane = max[1]; break;
        case 16: axis = 2; plane = min[2]; break;
        default: axis = 2; plane = max[2]; break;
        }
        // p1 lies beyond the plane and p2 does not (their codes share no
        // bit), so the denominator is not zero.
        const double t = (plane - p1[axis]) / (p2[axis] - p1[axis]);
        for (int a = 0; a < 3; ++a)
            if (a != axis)
                p1[a] += t * (p2[a] - p1[a]);
        p1[axis] = plane;
        c1 = WCode(p1);
    }
    return true;
}

void G3Grid::GetFacetByLine(const double* p1, const double* p2, GArrayCollection* out)
{
    if (!p1 || !p2 || !out)
        return;
    const int from = out->size();
    double a[3] = {p1[0], p1[1], p1[2]};
    double b[3] = {p2[0], p2[1], p2[2]};
    if (reachKnown && !ClipToReach(a, b)) {
        // Beyond every object's box: nothing to hand over.
    } else if (openBorders) {
        bool finite = true;
        for (int axis = 0; axis < 3; ++axis)
            finite = finite && std::isfinite(a[axis]) && std::isfinite(b[axis]);
        if (finite)
            WalkClamped(a, b, out);
    } else if (Clip(a, b)) {
        WalkCells(a, b, out);
    }
    // What the caller had in out is cleared too, as it always was.
    ClearMarks(out, 0, from, false);
    ClearMarks(out, from, out->size(), objectsOnly);
}

bool G3Grid::ClipToReach(double* a, double* b) const
{
    if (reachEmpty)
        return false;
    // The parameters of a-b inside the widened reach, slab by slab. A
    // non-finite end is left to the walk, which refuses it.
    double t0 = 0.0, t1 = 1.0;
    for (int axis = 0; axis < 3; ++axis) {
        if (!std::isfinite(a[axis]) || !std::isfinite(b[axis]))
            return true;
        const double lo = reachMin[axis] - cellSize[axis];
        const double hi = reachMax[axis] + cellSize[axis];
        const double half = 0.5 * b[axis] - 0.5 * a[axis];
        if (half == 0.0) {
            if (a[axis] < lo || a[axis] > hi)
                return false;
            continue;
        }
        double s0 = (0.5 * lo - 0.5 * a[axis]) / half;
        double s1 = (0.5 * hi - 0.5 * a[axis]) / half;
        if (s0 > s1)
            std::swap(s0, s1);
        t0 = std::fmax(t0, s0);
        t1 = std::fmin(t1, s1);
        if (t0 > t1)
            return false;
    }
    if (t0 == 0.0 && t1 == 1.0)
        return true;
    double from[3], to[3];
    for (int axis = 0; axis < 3; ++axis) {
        from[axis] = t0 == 0.0 ? a[axis] : (1.0 - t0) * a[axis] + t0 * b[axis];
        to[axis] = t1 == 1.0 ? b[axis] : (1.0 - t1) * a[axis] + t1 * b[axis];
    }
    for (int axis = 0; axis < 3; ++axis) {
        a[axis] = from[axis];
        b[axis] = to[axis];
    }
    return true;
}

void G3Grid::WalkClamped(const double* a, const double* b, GArrayCollection* out)
{
    // The parameters where a-b crosses a plane of the box: between two of
    // them each coordinate stays below, within or above the box's extent,
    // so the clamped path of that piece is the segment between its clamped
    // ends. Halves keep the differences finite for any finite ends.
    double t[8];
    int count = 0;
    t[count++] = 0.0;
    for (int axis = 0; axis < 3; ++axis) {
        const double half = 0.5 * b[axis] - 0.5 * a[axis];
        if (half == 0.0)
            continue;
        for (const double plane : {min[axis], max[axis]}) {
            const double s = (0.5 * plane - 0.5 * a[axis]) / half;
            if (s > 0.0 && s < 1.0)
                t[count++] = s;
        }
    }
    t[count++] = 1.0;
    // At most six crossings: an insertion sort.
    for (int k = 2; k < count - 1; ++k)
        for (int m = k; m > 1 && t[m - 1] > t[m]; --m)
            std::swap(t[m - 1], t[m]);
    double from[3], to[3];
    for (int k = 0; k < count; ++k) {
        // (1 - s) a + s b: the ends exactly, and no overflow between ends
        // of opposite signs (an overflow between ends of one sign lies far
        // outside and clamps as infinity would).
        const double s = t[k];
        for (int axis = 0; axis < 3; ++axis) {
            const double c = k == 0 ? a[axis] : k == count - 1 ? b[axis] : (1.0 - s) * a[axis] + s * b[axis];
            to[axis] = c < min[axis] ? min[axis] : (c > max[axis] ? max[axis] : c);
        }
        if (k > 0)
            WalkCells(from, to, out);
        for (int axis = 0; axis < 3; ++axis)
            from[axis] = to[axis];
    }
}

void G3Grid::WalkCells(const double* a, const double* b, GArrayCollection* out)
{
    // The cells the segment passes through, in order (a 3D digital
    // differential analyser): from the cell of a, step into the neighbour
    // across whichever cell wall the segment meets first. A facet meeting
    // the segment at x lies in x's cell; where rounding at a wall puts x on
    // the other side, the facet is there too, its box having been widened.
    const double d[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    int cell[3], last[3], step[3];
    double next[3], delta[3];
    GetIndexes(a, &cell[0], &cell[1], &cell[2]);
    GetIndexes(b, &last[0], &last[1], &last[2]);
    for (int axis = 0; axis < 3; ++axis) {
        step[axis] = d[axis] > 0.0 ? 1 : (d[axis] < 0.0 ? -1 : 0);
        if (step[axis] == 0) {
            next[axis] = delta[axis] = HUGE_VAL;
            continue;
        }
        const double wall = min[axis] + (cell[axis] + (step[axis] > 0 ? 1 : 0)) * cellSize[axis];
        next[axis] = (wall - a[axis]) / d[axis];
        delta[axis] = cellSize[axis] / std::fabs(d[axis]);
    }
    // A segment clipped to the box crosses at most dim[a] walls along a,
    // and stays a step at most on each axis where rounding would carry it
    // over the border.
    for (int walk = 0; walk <= dim[0] + dim[1] + dim[2] + 3; ++walk) {
        OutCell(cell[0], cell[1], cell[2], out);
        if (cell[0] == last[0] && cell[1] == last[1] && cell[2] == last[2])
            break;
        const int axis = next[0] <= next[1] ? (next[0] <= next[2] ? 0 : 2) : (next[1] <= next[2] ? 1 : 2);
        if (!(next[axis] <= 1.0))
            break;
        if (cell[axis] + step[axis] < 0 || cell[axis] + step[axis] >= dim[axis]) {
            // A piece's end an ulp inside a border plane, the other on it:
            // the walk would leave the box there and miss the cells still
            // ahead along the other axes. It keeps to the border cells.
            next[axis] = HUGE_VAL;
            continue;
        }
        cell[axis] += step[axis];
        next[axis] += delta[axis];
    }
    // The end's own cell, whatever the walk's rounding did.
    OutCell(last[0], last[1], last[2], out);
}

void G3Grid::GetFacetsByFacet(G3Facet*, const GEnvelope* box, GArrayCollection* out)
{
    if (!out)
        return;
    out->clear();
    int i[2], j[2], k[2];
    GetIndexes(box, i, j, k);
    for (int z = k[0]; z <= k[1]; ++z) {
        for (int y = j[0]; y <= j[1]; ++y) {
            for (int x = i[0]; x <= i[1]; ++x) {
                for (std::uint32_t e = First(Cell(x, y, z)); e; e = Next(e)) {
                    GObj* item = Object(e);
                    G3Facet* f = facetsOnly ? static_cast<G3Facet*>(item) : dynamic_cast<G3Facet*>(item);
                    if (f && !f->GetMark() && f->HasEdges()) {
                        f->SetMark();
                        out->add(f);
                    }
                }
            }
        }
    }
    ClearMarks(out, 0, out->size(), true);
}
