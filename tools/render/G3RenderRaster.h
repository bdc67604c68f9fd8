#pragma once
// The rasterizer under g3render: a colour and depth buffer, filled
// triangles and anti-aliased lines. Not part of the library's interface;
// the tests reach the triangle walk through it.

#include "tools/render/G3Render.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

namespace g3render {
namespace detail {

// Subpixel bits of the fixed-point grid triangle corners are snapped to.
constexpr int kSubpixelBits = 8;

// A corner in pixel coordinates with its depth.
struct ScreenPoint {
    double x, y, z;
};

// The pixels whose centres a triangle covers, each once, and for a mesh of
// triangles sharing edges, each centre inside the mesh exactly once: corners
// are snapped to 1/256 pixel and the edge tests are exact integers, and a
// centre on an edge goes to the side a nudge of a hair up and to the left
// would move it to (so a shape's right and bottom borders are its own, its
// left and top ones not). Degenerate (zero-area) triangles cover
// nothing; either orientation is taken. `visit(x, y, z)` gets the depth
// interpolated at the centre. Pixels outside width x height are never
// visited; a corner that is not finite or lies beyond +-2^20 pixels makes
// the triangle draw nothing.
template <class Visit>
void WalkTriangle(const ScreenPoint& a, const ScreenPoint& b, const ScreenPoint& c, int width, int height,
                  Visit&& visit);

// WalkTriangle through a std::function (for tests).
void RasterTriangle(const ScreenPoint& a, const ScreenPoint& b, const ScreenPoint& c, int width, int height,
                    const std::function<void(int, int, double)>& visit);

class Canvas {
public:
    Canvas(int width, int height, const std::uint8_t* background);

    int Width() const { return width; }
    int Height() const { return height; }

    // A triangle of one colour, kept where it is nearer than what is drawn.
    // Equal depth keeps the earlier one.
    void FillTriangle(const ScreenPoint& a, const ScreenPoint& b, const ScreenPoint& c, const std::uint8_t* rgb);

    // An anti-aliased line of `halfWidth` pixels either side of the segment
    // a-b, blended over the picture. With `depthTest`, a pixel is drawn
    // only where the line is not behind every facet around it (the largest
    // depth of the 3 x 3 pixels around it, plus `bias`), so edges a facet
    // hides stay hidden and edges on the facets show.
    void Line(const ScreenPoint& a, const ScreenPoint& b, double halfWidth, const std::uint8_t* rgb, bool depthTest,
              double bias);

    // Blends `rgb` into pixel (x, y) by `coverage` (0..1); outside the
    // picture nothing happens.
    void Blend(int x, int y, double coverage, const std::uint8_t* rgb);

    void MoveTo(Image& image);

private:
    // The depth behind which a line at (x, y) counts as hidden.
    float FarthestAround(int x, int y) const;

    int width;
    int height;
    std::vector<std::uint8_t> rgb;
    std::vector<float> depth;
};

// ---- the triangle walk

// The corner in fixed point; false when it cannot be snapped safely.
bool Snap(const ScreenPoint& p, std::int64_t& x, std::int64_t& y);

template <class Visit>
void WalkTriangle(const ScreenPoint& a, const ScreenPoint& b, const ScreenPoint& c, int width, int height,
                  Visit&& visit)
{
    std::int64_t x[3], y[3];
    if (!Snap(a, x[0], y[0]) || !Snap(b, x[1], y[1]) || !Snap(c, x[2], y[2]))
        return;
    double z[3] = {a.z, b.z, c.z};
    std::int64_t area = (x[1] - x[0]) * (y[2] - y[0]) - (y[1] - y[0]) * (x[2] - x[0]);
    if (area == 0)
        return;
    if (area < 0) {
        std::swap(x[1], x[2]);
        std::swap(y[1], y[2]);
        std::swap(z[1], z[2]);
        area = -area;
    }
    // Edge k runs from corner k+1 to corner k+2 and weighs corner k:
    // E_k(p) = A_k * px + B_k * py + C_k, positive inside. A centre with
    // E_k == 0 belongs to the triangle when the nudge moves it inside,
    // which depends on the edge's direction only; otherwise E_k >= 1 is
    // needed. An edge shared by two triangles runs opposite ways in them,
    // so exactly one takes its centres.
    std::int64_t A[3], B[3], C[3];
    double nudge[3];
    for (int k = 0; k < 3; ++k) {
        const int i = (k + 1) % 3, j = (k + 2) % 3;
        const std::int64_t dx = x[j] - x[i], dy = y[j] - y[i];
        A[k] = -dy;
        B[k] = dx;
        C[k] = dy * x[i] - dx * y[i];
        const bool takesTies = dy > 0 || (dy == 0 && dx < 0);
        nudge[k] = takesTies ? 0.0 : 1.0;
        C[k] -= takesTies ? 0 : 1;
    }
    const std::int64_t one = std::int64_t(1) << kSubpixelBits;
    const std::int64_t half = one / 2;
    auto floorDiv = [](std::int64_t n, std::int64_t d) { return n >= 0 ? n / d : -((-n + d - 1) / d); };
    const std::int64_t minX = std::min({x[0], x[1], x[2]}), maxX = std::max({x[0], x[1], x[2]});
    const std::int64_t minY = std::min({y[0], y[1], y[2]}), maxY = std::max({y[0], y[1], y[2]});
    // Centres i * one + half within [min, max].
    const std::int64_t i0 = std::max<std::int64_t>(0, floorDiv(minX - half + one - 1, one));
    const std::int64_t i1 = std::min<std::int64_t>(width - 1, floorDiv(maxX - half, one));
    const std::int64_t j0 = std::max<std::int64_t>(0, floorDiv(minY - half + one - 1, one));
    const std::int64_t j1 = std::min<std::int64_t>(height - 1, floorDiv(maxY - half, one));
    if (i0 > i1 || j0 > j1)
        return;
    // With the nudges given back, the three values sum to the doubled area
    // everywhere: barycentric weights once divided by it.
    const double inv = 1.0 / static_cast<double>(area);
    for (std::int64_t j = j0; j <= j1; ++j) {
        const std::int64_t py = j * one + half;
        const std::int64_t px = i0 * one + half;
        std::int64_t e0 = A[0] * px + B[0] * py + C[0];
        std::int64_t e1 = A[1] * px + B[1] * py + C[1];
        std::int64_t e2 = A[2] * px + B[2] * py + C[2];
        for (std::int64_t i = i0; i <= i1; ++i) {
            if ((e0 | e1 | e2) >= 0) {
                const double w0 = static_cast<double>(e0) + nudge[0], w1 = static_cast<double>(e1) + nudge[1],
                             w2 = static_cast<double>(e2) + nudge[2];
                visit(static_cast<int>(i), static_cast<int>(j), (w0 * z[0] + w1 * z[1] + w2 * z[2]) * inv);
            }
            e0 += A[0] * one;
            e1 += A[1] * one;
            e2 += A[2] * one;
        }
    }
}

}  // namespace detail
}  // namespace g3render
