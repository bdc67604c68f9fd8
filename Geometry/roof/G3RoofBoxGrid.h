#pragma once
// Boxes on the roof's ground plan and a grid over them, for the passes of
// the sweep that look for pairs of edges (or an edge and a vertex) that may
// touch: the grid hands back every box that meets a query box, in
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
// more than that many cells reads every box. The cells are one flat array
// (filed by counting) when the boxes' cells span not many more cells than
// there are boxes, a hash of cells otherwise.
class G3RoofBoxGrid {
public:
    // Boxes that are not Valid() are left out (no query finds them).
    explicit G3RoofBoxGrid(const std::vector<G3RoofBox>& boxes) : boxes_(boxes), seen_(boxes.size(), 0)
    {
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
        // The cells of each box that fits, and their common span.
        std::vector<long long> spans;
        std::vector<int> filed;
        long long gx0 = 0, gy0 = 0, gx1 = -1, gy1 = -1;
        for (std::size_t i = 0; i < boxes_.size(); ++i) {
            const G3RoofBox& b = boxes_[i];
            if (!b.Valid())
                continue;
            valid_.push_back(static_cast<int>(i));
            long long c[4];
            if (!Cells(b, &c[0], &c[1], &c[2], &c[3])) {
                big_.push_back(static_cast<int>(i));
                continue;
            }
            if (filed.empty()) {
                gx0 = c[0], gy0 = c[1], gx1 = c[2], gy1 = c[3];
            } else {
                gx0 = std::min(gx0, c[0]), gy0 = std::min(gy0, c[1]);
                gx1 = std::max(gx1, c[2]), gy1 = std::max(gy1, c[3]);
            }
            filed.push_back(static_cast<int>(i));
            spans.insert(spans.end(), c, c + 4);
        }
        const double width = static_cast<double>(gx1 - gx0 + 1), height = static_cast<double>(gy1 - gy0 + 1);
        if (!filed.empty() && width * height <= 4.0 * static_cast<double>(filed.size()) + 1024.0) {
            flat_ = true;
            x0_ = gx0, y0_ = gy0, width_ = gx1 - gx0 + 1, height_ = gy1 - gy0 + 1;
            start_.assign(static_cast<std::size_t>(width_ * height_ + 1), 0);
            for (int pass = 0; pass < 2; ++pass) {
                for (std::size_t f = 0; f < filed.size(); ++f) {
                    const long long* c = &spans[4 * f];
                    for (long long x = c[0]; x <= c[2]; ++x)
                        for (long long y = c[1]; y <= c[3]; ++y) {
                            const std::size_t at = static_cast<std::size_t>((x - x0_) * height_ + (y - y0_));
                            if (pass == 0)
                                ++start_[at + 1];
                            else
                                items_[static_cast<std::size_t>(fill_[at]++)] = filed[f];
                        }
                }
                if (pass == 0) {
                    for (std::size_t k = 1; k < start_.size(); ++k)
                        start_[k] += start_[k - 1];
                    items_.assign(static_cast<std::size_t>(start_.back()), 0);
                    fill_.assign(start_.begin(), start_.end() - 1);
                }
            }
            return;
        }
        for (std::size_t f = 0; f < filed.size(); ++f) {
            const long long* c = &spans[4 * f];
            for (long long x = c[0]; x <= c[2]; ++x)
                for (long long y = c[1]; y <= c[3]; ++y)
                    cells_[Key(x, y)].push_back(filed[f]);
        }
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
        if (flat_) {
            for (long long x = std::max(x0, x0_); x <= std::min(x1, x0_ + width_ - 1); ++x)
                for (long long y = std::max(y0, y0_); y <= std::min(y1, y0_ + height_ - 1); ++y) {
                    const std::size_t at = static_cast<std::size_t>((x - x0_) * height_ + (y - y0_));
                    for (int k = start_[at]; k < start_[at + 1]; ++k)
                        take(items_[static_cast<std::size_t>(k)]);
                }
        } else {
            for (long long x = x0; x <= x1; ++x)
                for (long long y = y0; y <= y1; ++y) {
                    const auto found = cells_.find(Key(x, y));
                    if (found != cells_.end())
                        for (int i : found->second)
                            take(i);
                }
        }
        for (int i : big_)
            take(i);
        if (sorted)
            std::sort(out.begin(), out.end());
    }

private:
    static constexpr double kMaxCells = 256.0;
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
    std::vector<int> valid_, big_;
    std::vector<std::uint32_t> seen_;
    std::uint32_t stamp_ = 0;
    double cell_ = 1.0;
    // Flat cells: column-major over the span x0_.., y0_..; cell k holds
    // items_[start_[k] .. start_[k + 1]).
    bool flat_ = false;
    long long x0_ = 0, y0_ = 0, width_ = 0, height_ = 0;
    std::vector<int> start_, fill_, items_;
    std::unordered_map<std::uint64_t, std::vector<int>> cells_;
};
