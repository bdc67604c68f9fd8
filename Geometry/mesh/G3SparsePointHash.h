#pragma once
// A tolerance hash of points that keeps only the cells it uses.
//
// It answers exactly as G3PointHash does: `Add` returns the newest stored
// point closer than the tolerance to the probe, or stores the probe and
// returns null. Each stored point sits in every cell its tolerance cube
// touches, so a lookup reads the one cell that holds the probe.
//
// What differs is the grid. A dense grid sized by the point count suits
// points spread through a volume, but a surface-like set (the vertices of a
// shell, the unit normals of a terrain, which crowd onto a small cap of the
// sphere) meets only a thin layer of its cells, and those fill up as the set
// grows. Here the cell side is set as if the points covered the two largest
// sides of their box, sixteen cells to a point (so clustered sets keep short
// chains too), and only occupied cells are kept (an open-addressing table
// from cell to chain): surface and volume sets both get short chains, and
// memory follows the points, not the box.
//
// The box alone cannot tell how a set crowds: the normals of a smoothed
// terrain gather within a thousandth of one direction while its few steep
// facets stretch the box, and nearly all of them fell into one cell. A
// lookup that walks a long chain therefore cuts the cells finer (down to
// the tolerance floor) and files the stored places again; answers never
// depend on the cell side, so only the time changes.
//
// Cell indices are clamped into range and a NaN coordinate counts as the
// box minimum, so no input can index out of range. Stored points are never
// owned, and must not move while stored: their places are kept beside them.

#include <cstdint>
#include <vector>

class G3Point;

class G3SparsePointHash {
public:
    // A hash for about `count` points inside min..max (three coordinates
    // each) that are one point when strictly closer than `tolerance` (a
    // non-positive or NaN tolerance counts as 0).
    G3SparsePointHash(long count, const double* min, const double* max, double tolerance);

    // The newest stored point equal to p; when none, stores p and returns
    // null. A null p gives null.
    G3Point* Add(G3Point* p);
    // The newest stored point equal to p, or null; nothing is stored.
    G3Point* Exists(const double* p) const;
    // The same for anything placed at xyz and named by a number (a texture
    // coordinate at (u, v, 0), say): the number of the newest stored place
    // equal to xyz; when none, stores this one and returns -1.
    int Add(int id, const double* xyz);

    double GetCellSize() const { return side; }

private:
    int CellIndex(double c, int axis) const;
    static std::uint64_t Key(int i, int j, int k);
    // The slot of key in the table: its own, or the empty one where it
    // would go.
    std::size_t Slot(std::uint64_t key) const;
    // The chain head of a cell, created empty (-1) when missing.
    int& Head(std::uint64_t key);
    void Grow();
    // The newest item equal to p in p's cell, or -1; `steps`, when given,
    // counts the items walked.
    int Newest(const double* p, int* steps = nullptr) const;
    // Pushes a place onto every cell its tolerance cube touches.
    void Store(G3Point* p, int id, const double* xyz);
    // After a lookup that walked `steps` items: cells cut finer and the
    // stored places filed again, oldest first, when the chain was long.
    void RefineAfter(int steps);

    struct Item {
        G3Point* point;
        double xyz[3]; // the point's place, read without touching it
        int next; // index of the next older item in the cell, or -1
        int id;   // the number stored with it, or -1 for a point
    };
    double origin[3] = {0.0, 0.0, 0.0};
    double side = 1.0;
    double minSide = 1.0; // the tolerance floor, or what keeps the box's indices in range
    double tolerance = 0.0;
    struct Cell {
        std::uint64_t key;
        int head;
    };
    std::vector<Cell> cells; // a power of two long, at most half full
    std::size_t used = 0;
    std::vector<Item> items;
    std::vector<int> firsts; // per stored place, its first item
};
