#pragma once
// Exact cover areas of axis-aligned rectangles {x0, y0, x1, y1}: the area
// covered at least once (union) or an odd number of times (even-odd), summed
// over the cells of the grid the rectangles' coordinates make.

#include <algorithm>
#include <vector>

inline double RectCoverArea(const std::vector<std::vector<double>>& rects, bool evenOdd)
{
    std::vector<double> xs, ys;
    for (const auto& r : rects) {
        xs.insert(xs.end(), {r[0], r[2]});
        ys.insert(ys.end(), {r[1], r[3]});
    }
    std::sort(xs.begin(), xs.end());
    std::sort(ys.begin(), ys.end());
    double area = 0.0;
    for (size_t i = 0; i + 1 < xs.size(); ++i)
        for (size_t j = 0; j + 1 < ys.size(); ++j) {
            const double cx = 0.5 * (xs[i] + xs[i + 1]), cy = 0.5 * (ys[j] + ys[j + 1]);
            int n = 0;
            for (const auto& r : rects)
                n += cx > r[0] && cx < r[2] && cy > r[1] && cy < r[3];
            if (evenOdd ? n % 2 == 1 : n > 0)
                area += (xs[i + 1] - xs[i]) * (ys[j + 1] - ys[j]);
        }
    return area;
}
