// The colour and depth buffers and what draws into them.
//
// Invariants: a pixel's depth only ever decreases while facets are filled,
// and its colour is the colour of the facet that set its depth; lines come
// after the facets and change colours only. Triangle coverage is exact
// (integer edge tests on corners snapped to 1/256 pixel), so a closed mesh
// leaves no cracks and paints no centre twice. Rounding happens in one
// place: the snap of a corner to the subpixel grid (Snap); line coverage and
// blending are plain doubles rounded to the nearest byte.

#include "tools/render/G3RenderRaster.h"

#include <cmath>
#include <limits>

namespace g3render {
namespace detail {

bool Snap(const ScreenPoint& p, std::int64_t& x, std::int64_t& y)
{
    // 2^20 pixels keeps the fixed-point products of the edge tests below
    // 2^60; a fitted camera never puts a corner that far out.
    const double limit = 1048576.0;
    if (!(std::fabs(p.x) <= limit && std::fabs(p.y) <= limit && std::isfinite(p.z)))
        return false;
    const double one = static_cast<double>(std::int64_t(1) << kSubpixelBits);
    x = static_cast<std::int64_t>(std::llround(p.x * one));
    y = static_cast<std::int64_t>(std::llround(p.y * one));
    return true;
}

void RasterTriangle(const ScreenPoint& a, const ScreenPoint& b, const ScreenPoint& c, int width, int height,
                    const std::function<void(int, int, double)>& visit)
{
    WalkTriangle(a, b, c, width, height, visit);
}

Canvas::Canvas(int w, int h, const std::uint8_t* background)
    : width(w), height(h), rgb(static_cast<std::size_t>(w) * h * 3),
      depth(static_cast<std::size_t>(w) * h, std::numeric_limits<float>::infinity())
{
    for (std::size_t i = 0; i < rgb.size(); i += 3) {
        rgb[i] = background[0];
        rgb[i + 1] = background[1];
        rgb[i + 2] = background[2];
    }
}

void Canvas::FillTriangle(const ScreenPoint& a, const ScreenPoint& b, const ScreenPoint& c, const std::uint8_t* color)
{
    float* const zb = depth.data();
    std::uint8_t* const cb = rgb.data();
    const int w = width;
    WalkTriangle(a, b, c, width, height, [=](int x, int y, double z) {
        const std::size_t k = static_cast<std::size_t>(y) * w + x;
        const float fz = static_cast<float>(z);
        if (fz < zb[k]) {
            zb[k] = fz;
            cb[3 * k] = color[0];
            cb[3 * k + 1] = color[1];
            cb[3 * k + 2] = color[2];
        }
    });
}

float Canvas::FarthestAround(int x, int y) const
{
    // Beyond the picture is background: nothing hides the line there.
    if (x < 1 || y < 1 || x + 1 >= width || y + 1 >= height)
        return std::numeric_limits<float>::infinity();
    float far = -std::numeric_limits<float>::infinity();
    const float* row = &depth[static_cast<std::size_t>(y - 1) * width + (x - 1)];
    for (int j = 0; j < 3; ++j, row += width)
        far = std::max(far, std::max(row[0], std::max(row[1], row[2])));
    return far;
}

void Canvas::Blend(int x, int y, double coverage, const std::uint8_t* color)
{
    if (x < 0 || y < 0 || x >= width || y >= height || !(coverage > 0.0))
        return;
    if (coverage > 1.0)
        coverage = 1.0;
    std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
    for (int k = 0; k < 3; ++k) {
        // Between two bytes, so adding a half and truncating rounds.
        const double v = p[k] + (color[k] - p[k]) * coverage;
        p[k] = static_cast<std::uint8_t>(v + 0.5);
    }
}

void Canvas::Line(const ScreenPoint& a, const ScreenPoint& b, double halfWidth, const std::uint8_t* color,
                  bool depthTest, double bias)
{
    const double limit = 1048576.0;
    for (const ScreenPoint* p : {&a, &b})
        if (!(std::fabs(p->x) <= limit && std::fabs(p->y) <= limit && std::isfinite(p->z)))
            return;
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double len2 = dx * dx + dy * dy;
    const double invLen2 = len2 > 0.0 ? 1.0 / len2 : 0.0;
    // Coverage of a pixel is the part of a one-pixel box around its centre
    // that a band of halfWidth either side of the segment would cover,
    // approximated by the distance of the centre to the segment.
    const double reach = halfWidth + 0.5;
    // Walk along the major axis; across it only the pixels the band can
    // reach (reach / cos of the slope, at most reach * sqrt(2) each side).
    const bool steep = std::fabs(dy) > std::fabs(dx);
    const double major0 = steep ? std::min(a.y, b.y) : std::min(a.x, b.x);
    const double major1 = steep ? std::max(a.y, b.y) : std::max(a.x, b.x);
    const int extent = steep ? height : width;
    const int across = steep ? width : height;
    const int m0 = std::max(0, static_cast<int>(std::floor(major0 - reach)));
    const int m1 = std::min(extent - 1, static_cast<int>(std::floor(major1 + reach)));
    const double slope = steep ? (dy != 0.0 ? dx / dy : 0.0) : (dx != 0.0 ? dy / dx : 0.0);
    // Along the minor axis a centre at distance `reach` from the line lies
    // reach * sqrt(1 + slope^2) away (and an end cap's circle no farther).
    const double band = reach * std::sqrt(1.0 + slope * slope);
    const double startMajor = steep ? a.y : a.x;
    const double startMinor = steep ? a.x : a.y;
    for (int m = m0; m <= m1; ++m) {
        const double c = m + 0.5;
        // The segment's minor coordinate at this centre line, held to the
        // segment's own span near its ends.
        double t = len2 > 0.0 ? (c - startMajor) / (steep ? dy : dx) : 0.0;
        if (!(t >= 0.0))
            t = 0.0;
        if (t > 1.0)
            t = 1.0;
        const double minor = startMinor + t * (steep ? dx : dy);
        const int n0 = std::max(0, static_cast<int>(std::floor(minor - band)));
        const int n1 = std::min(across - 1, static_cast<int>(std::floor(minor + band)));
        for (int n = n0; n <= n1; ++n) {
            const int x = steep ? n : m, y = steep ? m : n;
            const double px = x + 0.5 - a.x, py = y + 0.5 - a.y;
            double s = (px * dx + py * dy) * invLen2;
            s = s < 0.0 ? 0.0 : (s > 1.0 ? 1.0 : s);
            const double ex = px - s * dx, ey = py - s * dy;
            const double d2 = ex * ex + ey * ey;
            if (d2 >= reach * reach)
                continue;  // out of reach: no coverage (and no root taken)
            const double coverage = reach - std::sqrt(d2);
            if (depthTest) {
                const double z = a.z + s * (b.z - a.z);
                if (z > static_cast<double>(FarthestAround(x, y)) + bias)
                    continue;
            }
            Blend(x, y, coverage, color);
        }
    }
}

void Canvas::MoveTo(Image& image)
{
    image.width = width;
    image.height = height;
    image.rgb = std::move(rgb);
    rgb.clear();
    depth.clear();
}

}  // namespace detail
}  // namespace g3render
