#pragma once
// How many loaded regions cover a point of the plane: each triangle is a
// region, and all closed contours together are one more by the even-odd
// rule. Points are pairs (x, y) in the caller's projection. Triangles are
// found through a uniform grid of their boxes, contour edges through
// horizontal bands, so a query reads about one cell's worth of each.

#include <vector>

class G3ContourCover {
public:
    // Each (x, y) pair of a triangle's three corners.
    void AddTriangle(const double* xy1, const double* xy2, const double* xy3);
    // One closed contour: n points of (x, y) pairs one after another, the
    // last joined back to the first.
    void AddContour(const double* xy, int n);
    // Builds the search structures; call after the last Add.
    void Index();
    // The number of regions holding p: triangles holding it (their border
    // included) plus one when an odd number of contours hold it.
    int Count(const double* p) const;

private:
    struct Tri {
        double x[3];
        double y[3];
    };
    struct Seg {
        double x1, y1, x2, y2;
    };
    int CellX(double x) const;
    int CellY(double y) const;
    int Band(double y) const;
    static bool InTriangle(const Tri& t, double x, double y);

    std::vector<Tri> tris;
    std::vector<Seg> segs;
    // Triangle grid: cells per axis, bounds, and the triangles of each cell.
    int nx = 1;
    int ny = 1;
    double x0 = 0, y0 = 0, sx = 1, sy = 1;
    std::vector<std::vector<int>> cells;
    // Contour bands along y.
    int nb = 1;
    double b0 = 0, sb = 1;
    std::vector<std::vector<int>> bands;
};
