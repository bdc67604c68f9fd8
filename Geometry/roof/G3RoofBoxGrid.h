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

// std::fmin and std::fmax without the library call, for the bounds and
// reaches of the searches: a NaN loses as it does there (the other argument
// is the answer); only the sign of a zero may differ, which no comparison
// sees.
inline double G3RoofLesser(double a, double b) { return (b < a || a != a) ? b : a; }
inline double G3RoofGreater(double a, double b) { return (a < b || a != a) ? b : a; }

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
            lo[k] = G3RoofLesser(a[k], b[k]) - margin;
            hi[k] = G3RoofGreater(a[k], b[k]) + margin;
        }
    }
    G3RoofBox(const double* a, const double* b) : G3RoofBox(a, b, Band(a, b)) {}
    // How far past a-b, in x and y, a point PtOnSegment puts on it may lie:
    // twice kPlaneSide across and twice its share of the length along.
    static double Band(const double* a, const double* b)
    {
        return 2.0 * GTolerance::kPlaneSide + 2e-6 * (std::fabs(b[0] - a[0]) + std::fabs(b[1] - a[1]));
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
            lo[k] = G3RoofLesser(lo[k], p[k]);
            hi[k] = G3RoofGreater(hi[k], p[k]);
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

// Square cells of about the boxes' median size; a box over more than
// kMaxCells cells goes to a list every query reads instead, and a query over
// more than that many cells reads every box. The cells are one flat array
// (filed by counting) when the boxes' cells span not many more cells than
// there are boxes, a hash of cells otherwise.
//
// With segments (for each box ax, ay, bx, by, reach: the box holds the
// points within reach of that segment), long slanted boxes that pile up
// over one another (their areas add up to more than twice the area they
// cover, as the spokes of a star do: a box cell then holds many boxes that
// its points are nowhere near) are filed only in the cells along their
// segment, walked column by column, and the cells are sized by the room
// each box has rather than by the boxes' size; QueryPath then looks along
// a segment the same way.
class G3RoofBoxGrid {
public:
    G3RoofBoxGrid() = default;
    // Boxes that are not Valid() are left out (no query finds them).
    explicit G3RoofBoxGrid(const std::vector<G3RoofBox>& boxes, const std::vector<double>* segments = nullptr,
                           double segmentCells = kMaxCells)
    {
        Build(boxes, segments, segmentCells);
    }
    G3RoofBoxGrid(const G3RoofBoxGrid&) = delete;
    G3RoofBoxGrid& operator=(const G3RoofBoxGrid&) = delete;

    // Files `boxes` (and `segments`, when given) afresh. The grid reads
    // both until the next Build: they must outlive the queries. A grid
    // built once per level of the sweep keeps its buffers from level to
    // level instead of allocating them anew. A segment filed along more
    // than `segmentCells` cells goes to the list every query reads.
    void Build(const std::vector<G3RoofBox>& boxes, const std::vector<double>* segments = nullptr,
               double segmentCells = kMaxCells)
    {
        boxes_ = &boxes;
        segs_ = nullptr;
        if (seen_.size() < boxes.size())
            seen_.resize(boxes.size(), 0);
        if (stamp_ > 0xf0000000u) {
            std::fill(seen_.begin(), seen_.end(), 0u);
            stamp_ = 0;
        }
        cell_ = 1.0;
        flat_ = false;
        x0_ = y0_ = width_ = height_ = 0;
        valid_.clear();
        big_.clear();
        cells_.clear();
        // The median size: a few long boxes do not coarsen the grid.
        std::vector<double>& sizes = sizes_;
        std::vector<double>& reaches = reaches_;
        sizes.clear();
        reaches.clear();
        double area = 0.0;
        G3RoofBox all;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            const G3RoofBox& b = boxes[i];
            if (!b.Valid())
                continue;
            sizes.push_back(std::max(b.hi[0] - b.lo[0], b.hi[1] - b.lo[1]));
            area += (b.hi[0] - b.lo[0]) * (b.hi[1] - b.lo[1]);
            if (segments)
                reaches.push_back((*segments)[5 * i + 4]);
            if (sizes.size() == 1)
                all = b;
            else
                all.Take(b.lo), all.Take(b.hi);
        }
        if (!sizes.empty()) {
            std::nth_element(sizes.begin(), sizes.begin() + static_cast<long>(sizes.size() / 2), sizes.end());
            cell_ = sizes[sizes.size() / 2];
        }
        const double cover = (all.hi[0] - all.lo[0]) * (all.hi[1] - all.lo[1]);
        if (segments && !sizes.empty() && area > 2.0 * cover && cover > 0.0 && std::isfinite(area)) {
            segs_ = segments->data();
            std::nth_element(reaches.begin(), reaches.begin() + static_cast<long>(reaches.size() / 2),
                             reaches.end());
            cell_ = std::max(std::sqrt(cover / static_cast<double>(sizes.size())),
                             2.0 * reaches[reaches.size() / 2]);
        }
        if (!(cell_ > 1e-9) || !std::isfinite(cell_))
            cell_ = 1.0;
        // The cells of each box that fits, and their common span. They are
        // kept for the counting and filing below: the span of cells under
        // the j-th box filed (rects[4 j ..]), or the cells the walk along its
        // segment found (segCells from segStart[j]).
        std::vector<int>& filed = filed_;
        std::vector<long long>& rects = rects_;
        std::vector<long long>& segCells = segCells_;
        std::vector<std::size_t>& segStart = segStart_;
        filed.clear();
        rects.clear();
        segCells.clear();
        segStart.clear();
        long long gx0 = 0, gy0 = 0, gx1 = -1, gy1 = -1;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            const G3RoofBox& b = boxes[i];
            if (!b.Valid())
                continue;
            const int id = static_cast<int>(i);
            valid_.push_back(id);
            long long c[4] = {0, 0, -1, -1};
            bool fits = false;
            if (!segs_) {
                fits = Cells(b, &c[0], &c[1], &c[2], &c[3], kMaxCells);
            } else {
                // The span of the cells along the segment (its reach may
                // take them past the cells under the box).
                bool any = false;
                const std::size_t mark = segCells.size();
                fits = ForNearCells(segs_ + 5 * i, segmentCells, [&](long long x, long long y) {
                    if (!any) {
                        c[0] = c[2] = x, c[1] = c[3] = y;
                        any = true;
                    }
                    c[0] = std::min(c[0], x), c[1] = std::min(c[1], y);
                    c[2] = std::max(c[2], x), c[3] = std::max(c[3], y);
                    segCells.push_back(x);
                    segCells.push_back(y);
                });
                fits = fits && any;
                if (fits)
                    segStart.push_back(mark);
                else
                    segCells.resize(mark);
            }
            if (!fits) {
                big_.push_back(id);
                continue;
            }
            if (filed.empty()) {
                gx0 = c[0], gy0 = c[1], gx1 = c[2], gy1 = c[3];
            } else {
                gx0 = std::min(gx0, c[0]), gy0 = std::min(gy0, c[1]);
                gx1 = std::max(gx1, c[2]), gy1 = std::max(gy1, c[3]);
            }
            filed.push_back(id);
            if (!segs_)
                rects.insert(rects.end(), c, c + 4);
        }
        segStart.push_back(segCells.size());
        // Calls f(x, y) for each cell the j-th box filed is filed in.
        auto cellsOf = [&](std::size_t j, auto&& f) {
            if (segs_) {
                for (std::size_t k = segStart[j]; k < segStart[j + 1]; k += 2)
                    f(segCells[k], segCells[k + 1]);
                return;
            }
            const long long* r = &rects[4 * j];
            for (long long x = r[0]; x <= r[2]; ++x)
                for (long long y = r[1]; y <= r[3]; ++y)
                    f(x, y);
        };
        const double width = static_cast<double>(gx1 - gx0 + 1), height = static_cast<double>(gy1 - gy0 + 1);
        if (!filed.empty() && width * height <= 4.0 * static_cast<double>(filed.size()) + 1024.0) {
            flat_ = true;
            x0_ = gx0, y0_ = gy0, width_ = gx1 - gx0 + 1, height_ = gy1 - gy0 + 1;
            start_.assign(static_cast<std::size_t>(width_ * height_ + 1), 0);
            for (std::size_t j = 0; j < filed.size(); ++j)
                cellsOf(j, [&](long long x, long long y) { ++start_[Flat(x, y) + 1]; });
            for (std::size_t k = 1; k < start_.size(); ++k)
                start_[k] += start_[k - 1];
            items_.assign(static_cast<std::size_t>(start_.back()), 0);
            std::vector<int>& fill = fill_;
            fill.assign(start_.begin(), start_.end() - 1);
            for (std::size_t j = 0; j < filed.size(); ++j)
                cellsOf(j, [&](long long x, long long y) {
                    items_[static_cast<std::size_t>(fill[Flat(x, y)]++)] = filed[j];
                });
            return;
        }
        for (std::size_t j = 0; j < filed.size(); ++j)
            cellsOf(j, [&](long long x, long long y) { cells_[Key(x, y)].push_back(filed[j]); });
    }

    // The boxes meeting q, ascending (in no set order with `sorted` false).
    void Query(const G3RoofBox& q, std::vector<int>& out, bool sorted = true)
    {
        out.clear();
        ++stamp_;
        long long x0 = 0, y0 = 0, x1 = -1, y1 = -1;
        if (!Cells(q, &x0, &y0, &x1, &y1, kMaxCells)) {
            for (int i : valid_)
                if ((*boxes_)[static_cast<std::size_t>(i)].Meets(q))
                    out.push_back(i);
            return;
        }
        for (long long x = x0; x <= x1; ++x)
            for (long long y = y0; y <= y1; ++y)
                TakeCell(x, y, q, out);
        for (int i : big_)
            Take(i, q, out);
        if (sorted)
            std::sort(out.begin(), out.end());
    }

    // The boxes meeting the box of segment `seg` (ax, ay, bx, by, reach)
    // that lie along it, in no set order: every box whose segment's reach
    // meets the segment's reach is among them. Without segments, Query on
    // that box.
    void QueryPath(const double* seg, std::vector<int>& out)
    {
        const G3RoofBox q(seg, seg + 2, seg[4]);
        if (!segs_ || !q.Valid()) {
            Query(q, out, false);
            return;
        }
        out.clear();
        ++stamp_;
        if (!ForNearCells(seg, kMaxPathCells, [&](long long x, long long y) { TakeCell(x, y, q, out); })) {
            out.clear();
            ++stamp_;
            for (int i : valid_)
                Take(i, q, out);
            return;
        }
        for (int i : big_)
            Take(i, q, out);
    }

    static constexpr double kMaxCells = 256.0;
    static constexpr double kMaxPathCells = 4096.0;

private:

    void Take(int i, const G3RoofBox& q, std::vector<int>& out)
    {
        if (seen_[static_cast<std::size_t>(i)] != stamp_ && (*boxes_)[static_cast<std::size_t>(i)].Meets(q)) {
            seen_[static_cast<std::size_t>(i)] = stamp_;
            out.push_back(i);
        }
    }
    void TakeCell(long long x, long long y, const G3RoofBox& q, std::vector<int>& out)
    {
        if (flat_) {
            if (x < x0_ || x >= x0_ + width_ || y < y0_ || y >= y0_ + height_)
                return;
            const std::size_t at = Flat(x, y);
            for (int k = start_[at]; k < start_[at + 1]; ++k)
                Take(items_[static_cast<std::size_t>(k)], q, out);
            return;
        }
        const auto found = cells_.find(Key(x, y));
        if (found != cells_.end())
            for (int i : found->second)
                Take(i, q, out);
    }
    std::size_t Flat(long long x, long long y) const
    {
        return static_cast<std::size_t>((x - x0_) * height_ + (y - y0_));
    }
    static std::uint64_t Key(long long x, long long y)
    {
        return (static_cast<std::uint64_t>(x) << 32) ^ (static_cast<std::uint64_t>(y) & 0xffffffffULL);
    }
    // The cells under b; false when they are more than `limit` (or b is
    // not finite).
    bool Cells(const G3RoofBox& b, long long* x0, long long* y0, long long* x1, long long* y1, double limit) const
    {
        const double fx0 = std::floor(b.lo[0] / cell_), fy0 = std::floor(b.lo[1] / cell_);
        const double fx1 = std::floor(b.hi[0] / cell_), fy1 = std::floor(b.hi[1] / cell_);
        if (!(std::fabs(fx0) < 1e9 && std::fabs(fy0) < 1e9 && std::fabs(fx1) < 1e9 && std::fabs(fy1) < 1e9))
            return false;
        if ((fx1 - fx0 + 1.0) * (fy1 - fy0 + 1.0) > limit)
            return false;
        *x0 = static_cast<long long>(fx0);
        *y0 = static_cast<long long>(fy0);
        *x1 = static_cast<long long>(fx1);
        *y1 = static_cast<long long>(fy1);
        return true;
    }
    // Calls f(x, y) for every cell holding a point within the reach of
    // segment s (ax, ay, bx, by, reach): for each column, the rows the part
    // of the segment over the column (widened by the reach) spans, widened
    // by the reach again. The bounds take a 64th of a cell more, room for
    // their rounding. False (with f called for some cells) when that is
    // more than `limit` cells or the segment is not finite.
    template <class F>
    bool ForNearCells(const double* s, double limit, F&& f) const
    {
        // Plain comparisons instead of fmin and fmax (library calls here):
        // every value below is finite once this test has passed.
        if (!(std::isfinite(s[0]) && std::isfinite(s[1]) && std::isfinite(s[2]) && std::isfinite(s[3]) &&
              std::isfinite(s[4])))
            return false;
        auto lesser = [](double a, double b) { return b < a ? b : a; };
        auto greater = [](double a, double b) { return a < b ? b : a; };
        const double r = s[4] + cell_ / 64.0 +
                         1e-12 * (std::fabs(s[0]) + std::fabs(s[1]) + std::fabs(s[2]) + std::fabs(s[3]));
        const double fx0 = std::floor((lesser(s[0], s[2]) - r) / cell_);
        const double fx1 = std::floor((greater(s[0], s[2]) + r) / cell_);
        if (!(std::fabs(fx0) < 1e9 && std::fabs(fx1) < 1e9 && std::isfinite(r)))
            return false;
        const double ux = s[2] - s[0], uy = s[3] - s[1];
        double visited = 0.0;
        for (double fx = fx0; fx <= fx1; fx += 1.0) {
            // A point of a cell in this column within r of the segment has
            // its nearest point of the segment within r of the column in x.
            const double cx0 = fx * cell_ - r, cx1 = (fx + 1.0) * cell_ + r;
            double t0 = 0.0, t1 = 1.0;
            if (ux != 0.0) {
                const double ta = (cx0 - s[0]) / ux, tb = (cx1 - s[0]) / ux;
                t0 = greater(0.0, lesser(ta, tb));
                t1 = lesser(1.0, greater(ta, tb));
            } else if (s[0] < cx0 || s[0] > cx1) {
                continue;
            }
            if (t0 > t1)
                continue;
            const double ya = s[1] + t0 * uy, yb = s[1] + t1 * uy;
            const double fy0 = std::floor((lesser(ya, yb) - r) / cell_);
            const double fy1 = std::floor((greater(ya, yb) + r) / cell_);
            if (!(std::fabs(fy0) < 1e9 && std::fabs(fy1) < 1e9))
                return false;
            visited += fy1 - fy0 + 1.0;
            if (visited > limit)
                return false;
            const long long x = static_cast<long long>(fx);
            for (long long y = static_cast<long long>(fy0); y <= static_cast<long long>(fy1); ++y)
                f(x, y);
        }
        return true;
    }

    const std::vector<G3RoofBox>* boxes_ = nullptr;
    const double* segs_ = nullptr;  // null: filed by boxes
    std::vector<int> valid_, big_;
    // Build's working lists, kept for the next Build.
    std::vector<double> sizes_, reaches_;
    std::vector<int> filed_, fill_;
    std::vector<long long> rects_, segCells_;
    std::vector<std::size_t> segStart_;
    std::vector<std::uint32_t> seen_;
    std::uint32_t stamp_ = 0;
    double cell_ = 1.0;
    // Flat cells: column-major over the span x0_.., y0_..; cell k holds
    // items_[start_[k] .. start_[k + 1]).
    bool flat_ = false;
    long long x0_ = 0, y0_ = 0, width_ = 0, height_ = 0;
    std::vector<int> start_, items_;
    std::unordered_map<std::uint64_t, std::vector<int>> cells_;
};
