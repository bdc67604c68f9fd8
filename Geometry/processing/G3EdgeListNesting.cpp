// The nesting of contour lists: for every list, how many other lists hold
// it (IsIn), which makes it an outer contour or a hole.
//
// Invariants: every count is the number of lists d with IsIn(c, d) (of two
// equal lists only the later-created holds the other). The search passes
// over a pair only where IsIn is certainly false: c's first vertex lies
// beyond d's box (widened by twice the on-boundary band) on either axis, so
// the ray of the point-in-polygon test either misses d's line altogether or
// sees every corner on one side and crosses d an even number of times.
// Candidates come from a grid of the boxes on c's projection pair. A list
// with many edges is asked through a band index of its edges (EdgeBands),
// which gives PointInFacet's answer from the edges near the ray's line.
//
// Rounding: only in the ray's crossing abscissa, computed by the same
// formula as the facet test's.

#include "Geometry/processing/G3EdgeList.h"

#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

namespace {

// Twice the boundary band of the point-in-polygon test: beyond it a vertex
// is clear of a box.
constexpr double kBoxClear = 2 * GTolerance::kInFacet;
// Lists with more edges than this are asked through their edge bands.
constexpr int kBandedEdges = 24;
// The grid's entries per list on average, at most: past that, the largest
// boxes are checked for every vertex instead of being entered cell by cell.
constexpr long kCellEntries = 16;

// The 3D bounds of the vertex1 sequence of a list (the polygon IsIn tests
// against); false for a list without vertices.
bool VertexBox(G3EdgeList* l, double* lo, double* hi)
{
    bool any = false;
    for (int k = 0; k < l->size(); ++k) {
        const G3Vertex* v = l->GetEdge(k)->GetVertex1();
        if (!v)
            continue;
        for (int c = 0; c < 3; ++c) {
            const double x = v->GetXYZ(c);
            lo[c] = any ? std::fmin(lo[c], x) : x;
            hi[c] = any ? std::fmax(hi[c], x) : x;
        }
        any = true;
    }
    return any;
}

// The first vertex of a list (null when it has none).
const G3Vertex* FirstVertex(G3EdgeList* c)
{
    for (int k = 0; k < c->size(); ++k)
        if (const G3Vertex* v = c->GetEdge(k)->GetVertex1())
            return v;
    return nullptr;
}

// Whether p lies within a box widened by kBoxClear on the pair (i, j).
bool NearBox(const double* p, const double* box, int i, int j)
{
    return p[i] >= box[i] - kBoxClear && p[i] <= box[3 + i] + kBoxClear && p[j] >= box[j] - kBoxClear &&
           p[j] <= box[3 + j] + kBoxClear;
}

// The boxes of all lists on one projection pair in a grid of about one cell
// per list; the largest boxes, past a budget of entries, go to a list of
// their own.
class BoxGrid {
public:
    BoxGrid(const std::vector<double>& boxes, const std::vector<char>& boxed, int i, int j) : i(i), j(j)
    {
        const std::size_t n = boxed.size();
        bool any = false;
        for (std::size_t b = 0; b < n; ++b) {
            if (!boxed[b])
                continue;
            const double* box = &boxes[b * 6];
            lo[0] = any ? std::fmin(lo[0], box[i]) : box[i];
            lo[1] = any ? std::fmin(lo[1], box[j]) : box[j];
            hi[0] = any ? std::fmax(hi[0], box[3 + i]) : box[3 + i];
            hi[1] = any ? std::fmax(hi[1], box[3 + j]) : box[3 + j];
            any = true;
        }
        side = std::max(1, std::min(1024, static_cast<int>(std::sqrt(static_cast<double>(n)))));
        for (int a = 0; a < 2; ++a) {
            lo[a] -= kBoxClear;
            hi[a] += kBoxClear;
            scale[a] = hi[a] > lo[a] ? side / (hi[a] - lo[a]) : 0.0;
        }
        cells.assign(static_cast<std::size_t>(side) * static_cast<std::size_t>(side), std::vector<int>());
        // Boxes go cell by cell, the smallest first, while the entries stay
        // within a few per list; the largest are left for every vertex.
        std::vector<std::pair<long, int>> covered;
        for (std::size_t b = 0; b < n; ++b)
            if (boxed[b])
                covered.emplace_back(Covered(&boxes[b * 6]), static_cast<int>(b));
        std::vector<std::pair<long, int>> order(covered);
        std::sort(order.begin(), order.end());
        long budget = kCellEntries * static_cast<long>(n);
        std::vector<char> inCells(n, 0);
        for (const auto& c : order) {
            if (c.first > budget)
                break;
            budget -= c.first;
            inCells[static_cast<std::size_t>(c.second)] = 1;
        }
        for (const auto& c : covered) {
            const std::size_t b = static_cast<std::size_t>(c.second);
            const double* box = &boxes[b * 6];
            const int x0 = Cell(0, box[i] - kBoxClear), x1 = Cell(0, box[3 + i] + kBoxClear);
            const int y0 = Cell(1, box[j] - kBoxClear), y1 = Cell(1, box[3 + j] + kBoxClear);
            if (!inCells[b]) {
                wide.push_back(static_cast<int>(b));
                continue;
            }
            for (int y = y0; y <= y1; ++y)
                for (int x = x0; x <= x1; ++x)
                    cells[static_cast<std::size_t>(y) * static_cast<std::size_t>(side) + static_cast<std::size_t>(x)]
                        .push_back(static_cast<int>(b));
        }
    }
    // The lists entered in p's cell; with Wide, every list whose box may
    // hold p (and more).
    const std::vector<int>& At(const double* p) const
    {
        return cells[static_cast<std::size_t>(Cell(1, p[j])) * static_cast<std::size_t>(side) +
                     static_cast<std::size_t>(Cell(0, p[i]))];
    }
    const std::vector<int>& Wide() const { return wide; }

private:
    // The number of cells a box meets.
    long Covered(const double* box) const
    {
        const int x0 = Cell(0, box[i] - kBoxClear), x1 = Cell(0, box[3 + i] + kBoxClear);
        const int y0 = Cell(1, box[j] - kBoxClear), y1 = Cell(1, box[3 + j] + kBoxClear);
        return static_cast<long>(x1 - x0 + 1) * (y1 - y0 + 1);
    }
    // Monotone in x, so a box widened past a point shares its cells.
    int Cell(int a, double x) const
    {
        const double q = (x - lo[a]) * scale[a];
        return !(q > 0.0) ? 0 : q >= side - 1 ? side - 1 : static_cast<int>(q);
    }
    int i;
    int j;
    int side = 1;
    double lo[2] = {0.0, 0.0};
    double hi[2] = {0.0, 0.0};
    double scale[2] = {0.0, 0.0};
    std::vector<std::vector<int>> cells;
    std::vector<int> wide;
};

// A list's polygon (its vertex1 sequence, closed) on the pair (i, j), its
// edges in bands along j. An edge is entered in every band its j range,
// widened by kBoxClear, meets: an edge outside the band of a point has both
// ends beyond the on-boundary band on one side of the ray's line, where the
// point-in-polygon test counts nothing.
class EdgeBands {
public:
    enum Where { OUTSIDE, INSIDE, ON };

    EdgeBands(G3EdgeList* l, int i, int j) : i(i), j(j)
    {
        std::vector<const double*> ring;
        for (int k = 0; k < l->size(); ++k)
            if (const G3Vertex* v = l->GetEdge(k)->GetVertex1())
                ring.push_back(v->GetXYZ());
        const std::size_t n = ring.size();
        if (n == 0)
            return;
        double travel = 0.0;
        lo = hi = ring[0][j];
        for (std::size_t k = 0; k < n; ++k) {
            const double* a = ring[k];
            const double* b = ring[(k + 1) % n];
            steps.push_back(Step{a, b});
            lo = std::fmin(lo, a[j]);
            hi = std::fmax(hi, a[j]);
            travel += std::fabs(b[j] - a[j]);
        }
        // About one band per edge's share of the height travelled: each
        // edge then meets a band or two on average.
        const double height = hi - lo + 2 * kBoxClear;
        const double share = travel > 0.0 ? static_cast<double>(n) * height / travel : 1.0;
        count = std::max(1, std::min(static_cast<int>(n), static_cast<int>(std::fmin(share, 65536.0))));
        lo -= kBoxClear;
        scale = height > 0.0 ? count / height : 0.0;
        first.assign(static_cast<std::size_t>(count) + 1, 0);
        for (int pass = 0; pass < 2; ++pass) {
            std::vector<int> fill(first.begin(), first.end() - 1);
            if (pass == 1)
                entries.assign(static_cast<std::size_t>(first.back()), 0);
            for (std::size_t s = 0; s < steps.size(); ++s) {
                const double* a = steps[s].a;
                const double* b = steps[s].b;
                const int b0 = Band(std::fmin(a[j], b[j]) - kBoxClear);
                const int b1 = Band(std::fmax(a[j], b[j]) + kBoxClear);
                for (int k = b0; k <= b1; ++k) {
                    if (pass == 0)
                        ++first[static_cast<std::size_t>(k) + 1];
                    else
                        entries[static_cast<std::size_t>(fill[static_cast<std::size_t>(k)]++)] = static_cast<int>(s);
                }
            }
            if (pass == 0)
                for (std::size_t k = 1; k < first.size(); ++k)
                    first[k] += first[k - 1];
        }
    }

    int GetI() const { return i; }
    int GetJ() const { return j; }

    // Where p lies: on the boundary (a corner within the band, or an edge
    // passing within it), else inside or outside by the parity of the
    // crossings of the ray towards +i, each edge judged as the facet test
    // judges it.
    Where Locate(const double* p) const
    {
        if (steps.empty())
            return OUTSIDE;
        const int band = Band(p[j]);
        int crossings = 0;
        for (int e = first[static_cast<std::size_t>(band)]; e < first[static_cast<std::size_t>(band) + 1]; ++e) {
            const Step& s = steps[static_cast<std::size_t>(entries[static_cast<std::size_t>(e)])];
            const Corner a = Make(s.a, p), b = Make(s.b, p);
            if ((a.sx == 0 && a.sy == 0) || (b.sx == 0 && b.sy == 0))
                return ON;
            if (a.sy == 0 && b.sy == 0 && a.sx != 0 && a.sx == -b.sx)
                return ON;
            if (a.sy != 0 && a.sy == -b.sy) {
                const double x = (a.dx * b.dy - b.dx * a.dy) / (b.dy - a.dy);
                if (std::fabs(x) < GTolerance::kInFacet)
                    return ON;
                crossings += x > 0.0;
            } else if (a.sy > 0 && b.sy == 0) {
                crossings += b.sx > 0;
            } else if (a.sy == 0 && b.sy > 0) {
                crossings += a.sx > 0;
            }
        }
        return (crossings & 1) ? INSIDE : OUTSIDE;
    }

private:
    struct Step {
        const double* a;
        const double* b;
    };
    struct Corner {
        double dx, dy;
        int sx, sy;
    };
    static int Sign(double d)
    {
        if (std::fabs(d) < GTolerance::kInFacet)
            return 0;
        return d >= 0.0 ? 1 : -1;
    }
    Corner Make(const double* w, const double* p) const
    {
        Corner c;
        c.dx = w[i] - p[i];
        c.dy = w[j] - p[j];
        c.sx = Sign(c.dx);
        c.sy = Sign(c.dy);
        return c;
    }
    // Monotone in y, so an edge widened past a point shares its band.
    int Band(double y) const
    {
        const double q = (y - lo) * scale;
        return !(q > 0.0) ? 0 : q >= count - 1 ? count - 1 : static_cast<int>(q);
    }

    int i;
    int j;
    std::vector<Step> steps;
    double lo = 0.0;
    double hi = 0.0;
    double scale = 0.0;
    int count = 1;
    std::vector<int> first;
    std::vector<int> entries;
};

} // namespace

void G3EdgeList::FormContourTypes(GArrayCollection* lists)
{
    if (!lists)
        return;
    const int n = lists->size();
    if (n == 1) {
        // Nothing to lie in: the one contour is an outer one.
        if (G3EdgeList* c = dynamic_cast<G3EdgeList*>(lists->get(0))) {
            c->EnsureAxes();
            c->contourType = CONTOUR_TYPE_OUTER;
            c->inCount = 0;
        }
        return;
    }
    std::vector<int> counts(static_cast<size_t>(n), 0);
    std::vector<G3EdgeList*> all(static_cast<size_t>(n), nullptr);
    std::vector<double> boxes(static_cast<size_t>(n) * 6, 0.0);
    std::vector<char> boxed(static_cast<size_t>(n), 0);
    for (int a = 0; a < n; ++a) {
        all[static_cast<size_t>(a)] = dynamic_cast<G3EdgeList*>(lists->get(a));
        if (all[static_cast<size_t>(a)]) {
            all[static_cast<size_t>(a)]->EnsureAxes();
            double* box = &boxes[static_cast<size_t>(a) * 6];
            boxed[static_cast<size_t>(a)] = VertexBox(all[static_cast<size_t>(a)], box, box + 3);
        }
    }
    std::unique_ptr<BoxGrid> grids[3][3];
    std::vector<std::unique_ptr<EdgeBands>> banded(static_cast<size_t>(n));
    // Whether c lies in d, as c->IsIn(d) answers; c's first vertex is
    // known to be near d's box.
    auto isIn = [&](G3EdgeList* c, int b) {
        G3EdgeList* d = all[static_cast<size_t>(b)];
        if (d->size() <= kBandedEdges)
            return c->IsIn(d);
        std::unique_ptr<EdgeBands>& bands = banded[static_cast<size_t>(b)];
        if (!bands)
            bands.reset(new EdgeBands(d, c->xCoo, c->yCoo));
        if (bands->GetI() != c->xCoo || bands->GetJ() != c->yCoo)
            return c->IsIn(d);
        for (int k = 0; k < c->size(); ++k) {
            const G3Vertex* v = c->GetEdge(k)->GetVertex1();
            if (!v)
                continue;
            const EdgeBands::Where w = bands->Locate(v->GetXYZ());
            if (w != EdgeBands::ON)
                return w == EdgeBands::INSIDE;
        }
        // Every vertex on d's boundary: IsIn's own point inside c decides.
        return c->IsIn(d);
    };
    for (int a = 0; a < n; ++a) {
        G3EdgeList* c = all[static_cast<size_t>(a)];
        const G3Vertex* v = c ? FirstVertex(c) : nullptr;
        if (!v || c->xCoo < 0 || c->yCoo < 0)
            continue;
        const int i = c->xCoo, j = c->yCoo;
        std::unique_ptr<BoxGrid>& grid = grids[i][j];
        if (!grid)
            grid.reset(new BoxGrid(boxes, boxed, i, j));
        const double* p = v->GetXYZ();
        for (const std::vector<int>* found : {&grid->At(p), &grid->Wide()}) {
            for (int b : *found) {
                G3EdgeList* d = all[static_cast<size_t>(b)];
                if (d == c || !NearBox(p, &boxes[static_cast<size_t>(b) * 6], i, j))
                    continue;
                // Of two equal contours exactly one encloses the other: the
                // later-created one encloses.
                if (c->Equals(d) && d->serial < c->serial)
                    continue;
                if (isIn(c, b))
                    ++counts[static_cast<size_t>(a)];
            }
        }
    }
    for (int a = 0; a < n; ++a) {
        G3EdgeList* c = all[static_cast<size_t>(a)];
        if (!c)
            continue;
        const int count = counts[static_cast<size_t>(a)];
        c->contourType = count % 2 == 0 ? CONTOUR_TYPE_OUTER : CONTOUR_TYPE_HOLE;
        c->inCount = count;
    }
}
