// Cover counts of loaded regions at a point.
//
// Invariants: every triangle is listed in every grid cell its box meets and
// every contour edge in every band its y range meets, so a query reads only
// the cell or band holding the point. No rounding: the point tests are
// exact sign tests on the stored coordinates.

#include "Geometry/contour/G3ContourCover.h"

#include <algorithm>
#include <cmath>

namespace {

// Cells per axis for about `count` items: about one per cell, bounded so a
// degenerate spread cannot ask for a huge table.
int CellsFor(std::size_t count)
{
    const double n = std::ceil(std::sqrt(static_cast<double>(count)));
    return static_cast<int>(std::max(1.0, std::min(n, 1024.0)));
}

int Clamp(double q, int n)
{
    if (!(q > 0.0))
        return 0;
    return q >= static_cast<double>(n - 1) ? n - 1 : static_cast<int>(q);
}

} // namespace

void G3ContourCover::AddTriangle(const double* a, const double* b, const double* c)
{
    tris.push_back(Tri{{a[0], b[0], c[0]}, {a[1], b[1], c[1]}});
}

void G3ContourCover::AddContour(const double* xy, int n)
{
    for (int k = 0; k < n; ++k) {
        const double* p = xy + 2 * k;
        const double* q = xy + 2 * ((k + 1) % n);
        if (p[1] != q[1])
            segs.push_back(Seg{p[0], p[1], q[0], q[1]});
    }
}

int G3ContourCover::CellX(double x) const { return Clamp((x - x0) * sx, nx); }
int G3ContourCover::CellY(double y) const { return Clamp((y - y0) * sy, ny); }
int G3ContourCover::Band(double y) const { return Clamp((y - b0) * sb, nb); }

void G3ContourCover::Index()
{
    cells.clear();
    bands.clear();
    if (!tris.empty()) {
        double x1 = tris[0].x[0], y1 = tris[0].y[0];
        x0 = x1;
        y0 = y1;
        for (const Tri& t : tris)
            for (int k = 0; k < 3; ++k) {
                x0 = std::min(x0, t.x[k]);
                x1 = std::max(x1, t.x[k]);
                y0 = std::min(y0, t.y[k]);
                y1 = std::max(y1, t.y[k]);
            }
        nx = ny = CellsFor(tris.size());
        sx = x1 > x0 ? nx / (x1 - x0) : 0.0;
        sy = y1 > y0 ? ny / (y1 - y0) : 0.0;
        cells.assign(static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny), std::vector<int>());
        for (std::size_t k = 0; k < tris.size(); ++k) {
            const Tri& t = tris[k];
            const int i0 = CellX(std::min({t.x[0], t.x[1], t.x[2]}));
            const int i1 = CellX(std::max({t.x[0], t.x[1], t.x[2]}));
            const int j0 = CellY(std::min({t.y[0], t.y[1], t.y[2]}));
            const int j1 = CellY(std::max({t.y[0], t.y[1], t.y[2]}));
            for (int j = j0; j <= j1; ++j)
                for (int i = i0; i <= i1; ++i)
                    cells[static_cast<std::size_t>(j) * static_cast<std::size_t>(nx) + static_cast<std::size_t>(i)]
                        .push_back(static_cast<int>(k));
        }
    }
    if (!segs.empty()) {
        double y1 = segs[0].y1;
        b0 = y1;
        for (const Seg& s : segs) {
            b0 = std::min({b0, s.y1, s.y2});
            y1 = std::max({y1, s.y1, s.y2});
        }
        nb = CellsFor(segs.size());
        sb = y1 > b0 ? nb / (y1 - b0) : 0.0;
        bands.assign(static_cast<std::size_t>(nb), std::vector<int>());
        for (std::size_t k = 0; k < segs.size(); ++k) {
            const int j0 = Band(std::min(segs[k].y1, segs[k].y2));
            const int j1 = Band(std::max(segs[k].y1, segs[k].y2));
            for (int j = j0; j <= j1; ++j)
                bands[static_cast<std::size_t>(j)].push_back(static_cast<int>(k));
        }
    }
}

bool G3ContourCover::InTriangle(const Tri& t, double x, double y)
{
    double s[3];
    for (int k = 0; k < 3; ++k) {
        const int m = (k + 1) % 3;
        s[k] = (t.x[m] - t.x[k]) * (y - t.y[k]) - (t.y[m] - t.y[k]) * (x - t.x[k]);
    }
    const bool noneNegative = s[0] >= 0.0 && s[1] >= 0.0 && s[2] >= 0.0;
    const bool nonePositive = s[0] <= 0.0 && s[1] <= 0.0 && s[2] <= 0.0;
    // A triangle without area covers nothing: its sides cancel.
    const double area = (t.x[1] - t.x[0]) * (t.y[2] - t.y[0]) - (t.y[1] - t.y[0]) * (t.x[2] - t.x[0]);
    return area != 0.0 && (noneNegative || nonePositive);
}

int G3ContourCover::Count(const double* p) const
{
    const double x = p[0];
    const double y = p[1];
    int count = 0;
    if (!cells.empty()) {
        const std::vector<int>& cell =
            cells[static_cast<std::size_t>(CellY(y)) * static_cast<std::size_t>(nx) + static_cast<std::size_t>(CellX(x))];
        for (int k : cell)
            if (InTriangle(tris[static_cast<std::size_t>(k)], x, y))
                ++count;
    }
    if (!bands.empty()) {
        bool odd = false;
        for (int k : bands[static_cast<std::size_t>(Band(y))]) {
            const Seg& s = segs[static_cast<std::size_t>(k)];
            // Half-open in y, so a ray through a vertex counts it once.
            if ((s.y1 > y) != (s.y2 > y)) {
                const double cx = s.x1 + (y - s.y1) * (s.x2 - s.x1) / (s.y2 - s.y1);
                if (cx > x)
                    odd = !odd;
            }
        }
        if (odd)
            ++count;
    }
    return count;
}
