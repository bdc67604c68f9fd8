#pragma once
// Solids for the tests of merging in planes.
//
// A slab of unit cells whose top and bottom are grids of quads and whose
// walls are one quad per cell side, every facet through shared vertices and
// facing outward: a subdivided box when every cell is whole, a frame when
// cells are missing (windows, or notches at the border), a plate with
// holes in its top where cells are pockets (a pyramid dent under the
// cell). Merged in planes, top, bottom and walls become facets with holes,
// holes touching each other or the outer contour at a vertex included.

#include "Geometry/foundation/GRandom.h"
#include "Geometry/mesh/G3Surface.h"
#include "common/builders.h"

#include <string>
#include <vector>

namespace testmesh {

// One row of characters per y, one per x: '#' whole, 'o' pocket, '.'
// missing.
using SlabLayout = std::vector<std::string>;

// A random layout of nx x ny cells; no 2 x 2 block has only its diagonal
// pair missing (the vertical edge there would carry four walls).
inline SlabLayout RandomSlabLayout(int nx, int ny)
{
    SlabLayout rows(static_cast<std::size_t>(ny), std::string(static_cast<std::size_t>(nx), '#'));
    auto at = [&](int x, int y) -> char& { return rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)]; };
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x) {
            const int r = GRand() % 10;
            at(x, y) = r < 2 ? '.' : (r < 4 ? 'o' : '#');
        }
    auto gap = [&](int x, int y) { return at(x, y) == '.'; };
    for (bool again = true; again;) {
        again = false;
        for (int y = 0; y + 1 < ny; ++y)
            for (int x = 0; x + 1 < nx; ++x)
                if (gap(x, y) == gap(x + 1, y + 1) && gap(x + 1, y) == gap(x, y + 1) && gap(x, y) != gap(x + 1, y)) {
                    at(x + 1, y + 1) = at(x, y + 1) = '#';
                    again = true;
                }
    }
    return rows;
}

// The slab's exact volume: whole cells 1, pockets 1 - 1/6.
inline double SlabVolume(const SlabLayout& rows)
{
    double v = 0.0;
    for (const std::string& r : rows)
        for (char c : r)
            v += c == '#' ? 1.0 : (c == 'o' ? 5.0 / 6.0 : 0.0);
    return v;
}

// Builds the slab at (x0, y0, 0) into s.
inline void AddSlab(G3Surface& s, const SlabLayout& rows, double x0 = 0.0, double y0 = 0.0)
{
    const int ny = static_cast<int>(rows.size());
    const int nx = ny ? static_cast<int>(rows[0].size()) : 0;
    const int base = s.GetVertexCount();
    for (int z = 0; z < 2; ++z)
        for (int y = 0; y <= ny; ++y)
            for (int x = 0; x <= nx; ++x)
                s.AddVertex(x0 + x, y0 + y, z, 0);
    auto id = [&](int x, int y, int z) { return base + x + (nx + 1) * (y + (ny + 1) * z); };
    auto cell = [&](int x, int y) {
        return x < 0 || y < 0 || x >= nx || y >= ny ? '.' : rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
    };
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x) {
            const char c = cell(x, y);
            if (c == '.')
                continue;
            FacetByIds(s, {id(x, y, 0), id(x, y + 1, 0), id(x + 1, y + 1, 0), id(x + 1, y, 0)});
            const int top[4] = {id(x, y, 1), id(x + 1, y, 1), id(x + 1, y + 1, 1), id(x, y + 1, 1)};
            if (c == '#') {
                FacetByIds(s, {top[0], top[1], top[2], top[3]});
            } else {
                const int apex = s.GetVertexCount();
                s.AddVertex(x0 + x + 0.5, y0 + y + 0.5, 0.5, 0);
                for (int k = 0; k < 4; ++k)
                    FacetByIds(s, {top[k], top[(k + 1) % 4], apex});
            }
            // A wall on each side facing a missing cell, outward.
            const int dx[4] = {0, 1, 0, -1}, dy[4] = {-1, 0, 1, 0};
            const int ax[4] = {0, 1, 1, 0}, ay[4] = {0, 0, 1, 1};
            for (int k = 0; k < 4; ++k) {
                if (cell(x + dx[k], y + dy[k]) != '.')
                    continue;
                const int a = k, b = (k + 1) % 4;
                FacetByIds(s, {id(x + ax[a], y + ay[a], 0), id(x + ax[b], y + ay[b], 0), id(x + ax[b], y + ay[b], 1),
                               id(x + ax[a], y + ay[a], 1)});
            }
        }
    s.RemoveUnused();
}

// A box whose roof is two quads of half-width w meeting at a ridge, the
// ridge at height 0 through `at` along y: corners (+-w, +-d, -1-h), eaves
// (+-w, +-d, -h), ridge (0, +-d, 0); the kink is 2 atan(h / w).
inline void AddRidgeBox(G3Surface& s, double w, double d, double h, const P3& at)
{
    const double p[10][3] = {{-w, -d, -1 - h}, {w, -d, -1 - h}, {w, d, -1 - h}, {-w, d, -1 - h}, {-w, -d, -h},
                             {w, -d, -h},      {w, d, -h},      {-w, d, -h},     {0, -d, 0},     {0, d, 0}};
    const int base = s.GetVertexCount();
    for (const auto& q : p)
        s.AddVertex(q[0] + at[0], q[1] + at[1], q[2] + at[2], 0);
    const std::vector<std::vector<int>> faces = {{0, 3, 2, 1}, {0, 1, 5, 8, 4}, {2, 3, 7, 9, 6}, {1, 2, 6, 5},
                                                 {3, 0, 4, 7}, {4, 8, 9, 7},    {8, 5, 6, 9}};
    for (std::vector<int> f : faces) {
        for (int& i : f)
            i += base;
        FacetByIds(s, f);
    }
    s.FormPlaneEquation();
}

} // namespace testmesh
