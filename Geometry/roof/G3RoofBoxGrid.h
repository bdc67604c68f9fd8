#pragma once
// Boxes on the roof's ground plan and a hash grid over them, for the passes
// of the sweep that look for pairs of edges (or an edge and a vertex) that
// may touch: the grid hands back every box that meets a query box, in
// ascending order, so that a pass over the pairs keeps the order of a walk
// over all of them.

#include "Geometry/math/GTolerance.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

// The xy box of the segment a-b, widened past PtOnSegment's bands (a
// distance of kPlaneSide across, a share of the length along): segments or
// points outside it cannot touch the segment.
struct G3RoofBox {
    double lo[2], hi[2];
    G3RoofBox() : lo{0.0, 0.0}, hi{-1.0, -1.0} {}
    // The box of a-b widened by `margin`.
    G3RoofBox(const double* a, const double* b, double margin)
    {
        for (int k = 0; k < 2; ++k) {
            lo[k] = std::fmin(a[k], b[k]) - margin;
            hi[k] = std::fmax(a[k], b[k]) + margin;
        }
    }
    G3RoofBox(const double* a, const double* b)
    {
        const double margin =
            2.0 * GTolerance::kPlaneSide + 2e-6 * (std::fabs(b[0] - a[0]) + std::fabs(b[1] - a[1]));
        for (int k = 0; k < 2; ++k) {
            lo[k] = std::fmin(a[k], b[k]) - margin;
            hi[k] = std::fmax(a[k], b[k]) + margin;
        }
    }
    bool Meets(const G3RoofBox& o) const
    {
        return lo[0] <= o.hi[0] && o.lo[0] <= hi[0] && lo[1] <= o.hi[1] && o.lo[1] <= hi[1];
    }
    bool Holds(const double* p) const { return lo[0] <= p[0] && p[0] <= hi[0] && lo[1] <= p[1] && p[1] <= hi[1]; }
    // Widens the box to take p in.
    void Take(const double* p)
    {
        for (int k = 0; k < 2; ++k) {
            lo[k] = std::fmin(lo[k], p[k]);
            hi[k] = std::fmax(hi[k], p[k]);
        }
    }
    void Widen(double m)
    {
        for (int k = 0; k < 2; ++k) {
            lo[k] -= m;
            hi[k] += m;
        }
    }
    // Finite and not empty.
    bool Valid() const
    {
        return std::isfinite(lo[0]) && std::isfinite(lo[1]) && std::isfinite(hi[0]) && std::isfinite(hi[1]) &&
               lo[0] <= hi[0] && lo[1] <= hi[1];
    }
};

// Square cells of about twice the boxes' median size; a box over more than
// kMaxCells cells goes to a list every query reads instead, and a query over
// more than that many cells reads every box.
class G3RoofBoxGrid {
public:
    // Boxes that are not Valid() are left out (no query finds them). With
    // `segments` (ax, ay, bx, by, reach for each box), a box goes only into
    // the cells that come within `reach` of its segment.
    explicit G3RoofBoxGrid(const std::vector<G3RoofBox>& boxes, const std::vector<double>* segments = nullptr)
        : boxes_(boxes), seen_(boxes.size(), 0)
    {
        if (segments)
            segs_ = *segments;
        // Twice the median size: a few long boxes do not coarsen the grid.
        std::vector<double> sizes;
        for (const G3RoofBox& b : boxes_)
            if (b.Valid())
                sizes.push_back(std::max(b.hi[0] - b.lo[0], b.hi[1] - b.lo[1]));
        if (!sizes.empty()) {
            std::nth_element(sizes.begin(), sizes.begin() + static_cast<long>(sizes.size() / 2), sizes.end());
            cell_ = 2.0 * sizes[sizes.size() / 2];
        }
        if (!(cell_ > 1e-9) || !std::isfinite(cell_))
            cell_ = 1.0;
        for (std::size_t i = 0; i < boxes_.size(); ++i) {
            const G3RoofBox& b = boxes_[i];
            if (!b.Valid())
                continue;
            valid_.push_back(static_cast<int>(i));
            long long x0, y0, x1, y1;
            if (!Cells(b, &x0, &y0, &x1, &y1)) {
                big_.push_back(static_cast<int>(i));
                continue;
            }
            for (long long x = x0; x <= x1; ++x)
                for (long long y = y0; y <= y1; ++y)
                    if (Near(static_cast<int>(i), x, y))
                        cells_[Key(x, y)].push_back(static_cast<int>(i));
        }
    }

    // The boxes meeting box i whose segments come near segment i (within
    // the two reaches), ascending; boxes over many cells are all taken.
    void QuerySegment(int i, std::vector<int>& out)
    {
        const G3RoofBox& q = boxes_[static_cast<std::size_t>(i)];
        long long x0, y0, x1, y1;
        if (segs_.empty() || !q.Valid() || !Cells(q, &x0, &y0, &x1, &y1)) {
            Query(q, out);
            return;
        }
        out.clear();
        ++stamp_;
        auto take = [&](int j) {
            if (seen_[static_cast<std::size_t>(j)] != stamp_ && boxes_[static_cast<std::size_t>(j)].Meets(q)) {
                seen_[static_cast<std::size_t>(j)] = stamp_;
                out.push_back(j);
            }
        };
        for (long long x = x0; x <= x1; ++x)
            for (long long y = y0; y <= y1; ++y) {
                if (!Near(i, x, y))
                    continue;
                const auto found = cells_.find(Key(x, y));
                if (found != cells_.end())
                    for (int j : found->second)
                        take(j);
            }
        for (int j : big_)
            take(j);
        std::sort(out.begin(), out.end());
    }

    // The boxes meeting q, ascending (in no set order with `sorted` false).
    void Query(const G3RoofBox& q, std::vector<int>& out, bool sorted = true)
    {
        out.clear();
        ++stamp_;
        long long x0, y0, x1, y1;
        if (!Cells(q, &x0, &y0, &x1, &y1)) {
            for (int i : valid_)
                if (boxes_[static_cast<std::size_t>(i)].Meets(q))
                    out.push_back(i);
            return;
        }
        auto take = [&](int i) {
            if (seen_[static_cast<std::size_t>(i)] != stamp_ && boxes_[static_cast<std::size_t>(i)].Meets(q)) {
                seen_[static_cast<std::size_t>(i)] = stamp_;
                out.push_back(i);
            }
        };
        for (long long x = x0; x <= x1; ++x)
            for (long long y = y0; y <= y1; ++y) {
                const auto found = cells_.find(Key(x, y));
                if (found != cells_.end())
                    for (int i : found->second)
                        take(i);
            }
        for (int i : big_)
            take(i);
        if (sorted)
            std::sort(out.begin(), out.end());
    }

private:
    static constexpr double kMaxCells = 256.0;
    // Segment i comes within its reach of some point of cell (x, y): its
    // distance to the cell's centre is at most the reach and half the
    // cell's diagonal. Always true without segments.
    bool Near(int i, long long x, long long y) const
    {
        if (segs_.empty())
            return true;
        const double* s = &segs_[5 * static_cast<std::size_t>(i)];
        const double cx = (static_cast<double>(x) + 0.5) * cell_, cy = (static_cast<double>(y) + 0.5) * cell_;
        const double ux = s[2] - s[0], uy = s[3] - s[1];
        const double len2 = ux * ux + uy * uy;
        double t = len2 > 0.0 ? ((cx - s[0]) * ux + (cy - s[1]) * uy) / len2 : 0.0;
        t = std::fmax(0.0, std::fmin(1.0, t));
        const double dx = s[0] + t * ux - cx, dy = s[1] + t * uy - cy;
        const double limit = s[4] + 0.75 * cell_;
        return !(dx * dx + dy * dy > limit * limit);
    }
    static std::uint64_t Key(long long x, long long y)
    {
        return (static_cast<std::uint64_t>(x) << 32) ^ (static_cast<std::uint64_t>(y) & 0xffffffffULL);
    }
    // The cells under b; false when they are more than kMaxCells (or b is
    // not finite).
    bool Cells(const G3RoofBox& b, long long* x0, long long* y0, long long* x1, long long* y1) const
    {
        const double fx0 = std::floor(b.lo[0] / cell_), fy0 = std::floor(b.lo[1] / cell_);
        const double fx1 = std::floor(b.hi[0] / cell_), fy1 = std::floor(b.hi[1] / cell_);
        if (!(std::fabs(fx0) < 1e9 && std::fabs(fy0) < 1e9 && std::fabs(fx1) < 1e9 && std::fabs(fy1) < 1e9))
            return false;
        if ((fx1 - fx0 + 1.0) * (fy1 - fy0 + 1.0) > kMaxCells)
            return false;
        *x0 = static_cast<long long>(fx0);
        *y0 = static_cast<long long>(fy0);
        *x1 = static_cast<long long>(fx1);
        *y1 = static_cast<long long>(fy1);
        return true;
    }

    std::vector<G3RoofBox> boxes_;
    std::vector<double> segs_;
    std::vector<int> valid_, big_;
    std::vector<std::uint32_t> seen_;
    std::uint32_t stamp_ = 0;
    double cell_ = 1.0;
    std::unordered_map<std::uint64_t, std::vector<int>> cells_;
};
