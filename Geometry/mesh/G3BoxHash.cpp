// A sparse multi-level index of boxes. Invariants: a stored box sits in
// every cell of its level that its closed range covers, and a query reads,
// on every level, every cell its own closed range covers there; cell
// indices never fall as a coordinate rises (floor of the coordinate over
// the level's side, saturated), so two boxes that meet share a cell of the
// stored one's level. Rounding: one division per coordinate and level (the
// sides are powers of two times the finest side, formed exactly); answers
// are sorted, so they depend on the boxes alone, never on memory layout.

#include "Geometry/mesh/G3BoxHash.h"

#include "Geometry/math/GEnvelope.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// Levels above the finest: a box larger than 2^40 median boxes is rare
// enough to be answered by every query instead.
constexpr int kLevels = 41;
// Cell indices stay within +-2^60: far beyond any cell a finite box of a
// sane model reaches, and their differences fit in 64 bits.
constexpr double kCoordLimit = 1152921504606846976.0;

bool Empty(const GEnvelope& b)
{
    for (int a = 0; a < 3; ++a)
        if (!(b.min[a] <= b.max[a]))
            return true;
    return false;
}

bool Finite(const GEnvelope& b)
{
    for (int a = 0; a < 3; ++a)
        if (!std::isfinite(b.min[a]) || !std::isfinite(b.max[a]))
            return false;
    return true;
}

double LargestSide(const GEnvelope& b)
{
    return std::max(b.max[0] - b.min[0], std::max(b.max[1] - b.min[1], b.max[2] - b.min[2]));
}

}  // namespace

bool G3BoxHash::Key::operator<(const Key& o) const
{
    if (level != o.level)
        return level < o.level;
    if (k != o.k)
        return k < o.k;
    if (j != o.j)
        return j < o.j;
    return i < o.i;
}

bool G3BoxHash::Key::operator==(const Key& o) const
{
    return level == o.level && k == o.k && j == o.j && i == o.i;
}

std::int64_t G3BoxHash::Coord(double c, int level) const
{
    const double t = std::floor(c / std::ldexp(side, level));
    if (!(t > -kCoordLimit))
        return static_cast<std::int64_t>(-kCoordLimit);
    if (t > kCoordLimit)
        return static_cast<std::int64_t>(kCoordLimit);
    return static_cast<std::int64_t>(t);
}

int G3BoxHash::LevelOf(double extent) const
{
    int level = 0;
    while (level < kLevels && !(extent <= std::ldexp(side, level)))
        ++level;
    return level < kLevels ? level : -1;
}

G3BoxHash::G3BoxHash(const std::vector<GEnvelope>& boxes)
{
    // The finest side: the median of the boxes' largest sides, so a typical
    // box takes one to eight cells. Points and flat sets have none; then
    // the model's largest side over the cube root of the count. The side is
    // kept above 2^-40 of the largest coordinate so far-off boxes stay
    // within the saturation limits of their cells.
    std::vector<double> sides;
    double reach = 0.0;
    double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
    bool any = false;
    for (const GEnvelope& b : boxes) {
        if (Empty(b) || !Finite(b))
            continue;
        sides.push_back(LargestSide(b));
        for (int a = 0; a < 3; ++a) {
            reach = std::max(reach, std::max(std::fabs(b.min[a]), std::fabs(b.max[a])));
            lo[a] = any ? std::min(lo[a], b.min[a]) : b.min[a];
            hi[a] = any ? std::max(hi[a], b.max[a]) : b.max[a];
        }
        any = true;
    }
    if (!sides.empty()) {
        const auto mid = sides.begin() + static_cast<std::ptrdiff_t>(sides.size() / 2);
        std::nth_element(sides.begin(), mid, sides.end());
        side = *mid;
        if (!(side > 0.0)) {
            const double extent = std::max(hi[0] - lo[0], std::max(hi[1] - lo[1], hi[2] - lo[2]));
            side = extent / std::cbrt(static_cast<double>(sides.size()));
        }
        side = std::max(side, std::ldexp(reach, -40));
        if (!(side > 0.0) || !std::isfinite(side))
            side = 1.0;
    }

    std::vector<std::pair<Key, int>> entries;
    entries.reserve(2 * sides.size());
    for (std::size_t n = 0; n < boxes.size(); ++n) {
        const GEnvelope& b = boxes[n];
        if (Empty(b))
            continue;
        const int item = static_cast<int>(n);
        all.push_back(item);
        const int level = Finite(b) ? LevelOf(LargestSide(b)) : -1;
        if (level < 0) {
            everywhere.push_back(item);
            continue;
        }
        std::int64_t r[3][2];
        for (int a = 0; a < 3; ++a) {
            r[a][0] = Coord(b.min[a], level);
            r[a][1] = Coord(b.max[a], level);
        }
        for (std::int64_t z = r[2][0]; z <= r[2][1]; ++z)
            for (std::int64_t y = r[1][0]; y <= r[1][1]; ++y)
                for (std::int64_t x = r[0][0]; x <= r[0][1]; ++x)
                    entries.push_back({Key{level, z, y, x}, item});
    }
    std::sort(entries.begin(), entries.end(), [](const std::pair<Key, int>& p, const std::pair<Key, int>& q) {
        return p.first < q.first || (p.first == q.first && p.second < q.second);
    });
    items.reserve(entries.size());
    levelBegin.assign(kLevels, 0);
    levelEnd.assign(kLevels, 0);
    for (std::size_t e = 0; e < entries.size(); ++e) {
        if (e == 0 || !(entries[e].first == entries[e - 1].first)) {
            const std::size_t level = static_cast<std::size_t>(entries[e].first.level);
            if (cells.empty() || cells.back().level != entries[e].first.level) {
                levelBegin[level] = cells.size();
                levels.push_back(static_cast<int>(level));
            }
            cells.push_back(entries[e].first);
            start.push_back(items.size());
            levelEnd[level] = cells.size();
        }
        items.push_back(entries[e].second);
    }
    start.push_back(items.size());
}

void G3BoxHash::CellsOf(int level, const std::int64_t lo[3], const std::int64_t hi[3], std::vector<int>& out) const
{
    const std::size_t begin = levelBegin[static_cast<std::size_t>(level)];
    const std::size_t end = levelEnd[static_cast<std::size_t>(level)];
    if (begin == end)
        return;
    const auto take = [&](std::size_t c) {
        out.insert(out.end(), items.begin() + static_cast<std::ptrdiff_t>(start[c]),
                   items.begin() + static_cast<std::ptrdiff_t>(start[c + 1]));
    };
    // Rows of cells (one k and j) cost a search each; past the level's cell
    // count a scan of them all is cheaper.
    const double rows = (static_cast<double>(hi[2]) - static_cast<double>(lo[2]) + 1.0) *
                        (static_cast<double>(hi[1]) - static_cast<double>(lo[1]) + 1.0);
    if (rows > static_cast<double>(end - begin)) {
        for (std::size_t c = begin; c < end; ++c) {
            const Key& key = cells[c];
            if (key.k >= lo[2] && key.k <= hi[2] && key.j >= lo[1] && key.j <= hi[1] && key.i >= lo[0] &&
                key.i <= hi[0])
                take(c);
        }
        return;
    }
    const auto first = cells.begin() + static_cast<std::ptrdiff_t>(begin);
    const auto last = cells.begin() + static_cast<std::ptrdiff_t>(end);
    for (std::int64_t z = lo[2]; z <= hi[2]; ++z) {
        for (std::int64_t y = lo[1]; y <= hi[1]; ++y) {
            const Key from{level, z, y, lo[0]};
            for (auto it = std::lower_bound(first, last, from); it != last && it->k == z && it->j == y && it->i <= hi[0];
                 ++it)
                take(static_cast<std::size_t>(it - cells.begin()));
        }
    }
}

void G3BoxHash::Candidates(const GEnvelope& box, std::vector<int>& out) const
{
    out.clear();
    if (Empty(box))
        return;
    if (!Finite(box)) {
        out = all;
        return;
    }
    for (const int level : levels) {
        std::int64_t lo[3], hi[3];
        for (int a = 0; a < 3; ++a) {
            lo[a] = Coord(box.min[a], level);
            hi[a] = Coord(box.max[a], level);
        }
        CellsOf(level, lo, hi, out);
    }
    out.insert(out.end(), everywhere.begin(), everywhere.end());
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
}
