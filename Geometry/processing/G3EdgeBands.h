#pragma once
// A contour list's polygon in bands of its edges, for the point-in-polygon
// questions the nesting and the joining of holes ask of large lists, with
// the answers of G3Facet::PointInFacet and G3EdgeList::IsIn. Rounding: only
// in the ray's crossing abscissa, by the facet test's formula.

#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

// A list's polygon (its vertex1 sequence, closed) on the pair (i, j), its
// edges in bands along j. An edge is entered in every band its j range,
// widened by kClear, meets: an edge outside the band of a point has both
// ends beyond the on-boundary band on one side of the ray's line, where the
// point-in-polygon test counts nothing.
class G3EdgeBands {
public:
    enum Where { OUTSIDE, INSIDE, ON };
    // Twice the boundary band of the point-in-polygon test: beyond it a
    // vertex is clear of a box.
    static constexpr double kClear = 2 * GTolerance::kInFacet;
    // Lists with more edges than this are asked through their edge bands.
    static constexpr int kBandedEdges = 24;

    G3EdgeBands(G3EdgeList* l, int i, int j) : i(i), j(j)
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
        const double height = hi - lo + 2 * kClear;
        const double share = travel > 0.0 ? static_cast<double>(n) * height / travel : 1.0;
        count = std::max(1, std::min(static_cast<int>(n), static_cast<int>(std::fmin(share, 65536.0))));
        lo -= kClear;
        scale = height > 0.0 ? count / height : 0.0;
        first.assign(static_cast<std::size_t>(count) + 1, 0);
        for (int pass = 0; pass < 2; ++pass) {
            std::vector<int> fill(first.begin(), first.end() - 1);
            if (pass == 1)
                entries.assign(static_cast<std::size_t>(first.back()), 0);
            for (std::size_t s = 0; s < steps.size(); ++s) {
                const double* a = steps[s].a;
                const double* b = steps[s].b;
                const int b0 = Band(std::fmin(a[j], b[j]) - kClear);
                const int b1 = Band(std::fmax(a[j], b[j]) + kClear);
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

// c->IsIn(d), as it answers; a d of more than kBandedEdges edges is asked
// through its bands, made into `bands` on first use (d must not change
// while they are kept).
bool G3IsInThroughBands(G3EdgeList* c, G3EdgeList* d, std::unique_ptr<G3EdgeBands>& bands);
