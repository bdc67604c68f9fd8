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
// with many edges is asked through a band index of its edges (G3EdgeBands.h),
// which gives PointInFacet's answer from the edges near the ray's line.
//
// Rounding: only in the ray's crossing abscissa, computed by the same
// formula as the facet test's.

#include "Geometry/processing/G3EdgeList.h"

#include "Geometry/processing/G3EdgeBands.h"

#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3EdgeListVertexIterator.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3PointHash.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

namespace {

// Twice the boundary band of the point-in-polygon test: beyond it a vertex
// is clear of a box.
constexpr double kBoxClear = G3EdgeBands::kClear;
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
// their own. The grid covers the bulk of the boxes' corners
// (G3PointHash::BulkBox): a contour far off would stretch its cells over
// all the others. Boxes outside reach into the border cells.
class BoxGrid {
public:
    BoxGrid(const std::vector<double>& boxes, const std::vector<char>& boxed, int i, int j) : i(i), j(j)
    {
        const std::size_t n = boxed.size();
        std::vector<double> corners;
        for (std::size_t b = 0; b < n; ++b) {
            if (!boxed[b])
                continue;
            const double* box = &boxes[b * 6];
            corners.insert(corners.end(), {box[i], box[j], 0.0, box[3 + i], box[3 + j], 0.0});
        }
        double bulkLo[3], bulkHi[3];
        G3PointHash::BulkBox(corners, bulkLo, bulkHi);
        for (int a = 0; a < 2; ++a)
            lo[a] = bulkLo[a], hi[a] = bulkHi[a];
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

// Whether every vertex of c lies on d's boundary (within the point-in-facet
// band), asked through d's band index as G3IsInThroughBands asks.
bool AllOnBoundary(G3EdgeList* c, G3EdgeList* d, std::unique_ptr<G3EdgeBands>& bands)
{
    const int i = c->GetXCoo(), j = c->GetYCoo();
    const bool banded = d->size() > G3EdgeBands::kBandedEdges;
    if (banded && !bands)
        bands.reset(new G3EdgeBands(d, i, j));
    const bool useBands = banded && bands->GetI() == i && bands->GetJ() == j;
    for (int k = 0; k < c->size(); ++k) {
        const G3Vertex* v = c->GetEdge(k)->GetVertex1();
        if (!v)
            continue;
        if (useBands) {
            if (bands->Locate(v->GetXYZ()) != G3EdgeBands::ON)
                return false;
            continue;
        }
        G3EdgeListVertexIterator it(d);
        G3Vertex* onA = nullptr;
        G3Vertex* onB = nullptr;
        if (!G3Facet::PointInFacet(i, j, v->GetXYZ(), &it, &onA, &onB, GTolerance::kInFacet) || !onA)
            return false;
    }
    return true;
}

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
    std::vector<std::unique_ptr<G3EdgeBands>> banded(static_cast<size_t>(n));
    // Whether c lies in d, as c->IsIn(d) answers; c's first vertex is
    // known to be near d's box.
    auto isIn = [&](G3EdgeList* c, int b) {
        return G3IsInThroughBands(c, all[static_cast<size_t>(b)], banded[static_cast<size_t>(b)]);
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
                if (!isIn(c, b))
                    continue;
                // Two outlines of one region that Equals does not pair (made
                // of other vertex objects, run the other way round, or with
                // a corner more on a side) lie each in the other; counted
                // both ways, both turned into holes. The later-created one
                // encloses, as for equal lists.
                if (d->serial < c->serial && AllOnBoundary(c, d, banded[static_cast<size_t>(b)]) &&
                    AllOnBoundary(d, c, banded[static_cast<size_t>(a)]) && isIn(d, a))
                    continue;
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

bool G3IsInThroughBands(G3EdgeList* c, G3EdgeList* d, std::unique_ptr<G3EdgeBands>& bands)
{
    if (d->size() <= G3EdgeBands::kBandedEdges)
        return c->IsIn(d);
    if (!bands)
        bands.reset(new G3EdgeBands(d, c->GetXCoo(), c->GetYCoo()));
    if (bands->GetI() != c->GetXCoo() || bands->GetJ() != c->GetYCoo())
        return c->IsIn(d);
    for (int k = 0; k < c->size(); ++k) {
        const G3Vertex* v = c->GetEdge(k)->GetVertex1();
        if (!v)
            continue;
        const G3EdgeBands::Where w = bands->Locate(v->GetXYZ());
        if (w != G3EdgeBands::ON)
            return w == G3EdgeBands::INSIDE;
    }
    // Every vertex on d's boundary: IsIn's own point inside c decides.
    return c->IsIn(d);
}
