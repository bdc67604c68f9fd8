#pragma once
// A sparse index of boxes: which stored boxes may meet a given one.
//
// A uniform grid sized over the model's box puts a model of a few far-apart
// clusters (two buildings a kilometre apart) into a handful of crowded
// cells. Here the cells are sized by the boxes themselves (the median of
// their largest sides) and only occupied cells are kept, so the work
// follows the boxes whatever their spread. A box much larger than the
// median would fill many small cells; it goes to a coarser level instead
// (cells twice as large per level, the first one where its largest side
// fits one cell), so each box sits in two cells per axis of its level at
// most (three where the division rounds up at a cell wall). A query looks
// at every level.
//
// Answers are the indexes of the stored boxes that share a cell of some
// level with the query, ascending and once each: every stored box that
// meets the query (closed boxes, as GEnvelope::IsIntersectXYZ) is among
// them; a caller that needs exactly those filters by that test. A box empty
// on some axis (min not at or below max, NaN included) meets nothing and is
// neither stored nor answered; a box with an infinite coordinate is
// answered by every query.

#include <cstddef>
#include <cstdint>
#include <vector>

class GEnvelope;

class G3BoxHash {
public:
    // Indexes boxes[k] under k.
    explicit G3BoxHash(const std::vector<GEnvelope>& boxes);

    // Clears out, then appends the candidates for box (see above).
    void Candidates(const GEnvelope& box, std::vector<int>& out) const;

    // The side of the finest level's cells, and the number of occupied
    // cells over all levels.
    double GetCellSize() const { return side; }
    std::size_t GetCellCount() const { return cells.size(); }

private:
    // A cell: its level, then k, j, i (the order cells are sorted in).
    struct Key {
        std::int64_t level, k, j, i;
        bool operator<(const Key& o) const;
        bool operator==(const Key& o) const;
    };
    // The cell index of coordinate c (finite) on `level`, saturated.
    std::int64_t Coord(double c, int level) const;
    // The level a finite box of largest side `extent` goes to, or -1 when
    // none is coarse enough.
    int LevelOf(double extent) const;
    // Appends the items of the cells of `level` in lo .. hi (i, j, k).
    void CellsOf(int level, const std::int64_t lo[3], const std::int64_t hi[3], std::vector<int>& out) const;

    double side = 1.0;
    // Occupied cells ascending; cell c holds items[start[c] .. start[c+1]).
    std::vector<Key> cells;
    std::vector<std::size_t> start;
    std::vector<int> items;
    // Per level, its first cell and one past its last (empty ranges for
    // levels without cells).
    std::vector<std::size_t> levelBegin, levelEnd;
    // The levels that hold cells, ascending.
    std::vector<int> levels;
    // The boxes with an infinite coordinate, ascending.
    std::vector<int> everywhere;
    // Every stored box, ascending (a query with an infinite coordinate
    // takes them all).
    std::vector<int> all;
};
