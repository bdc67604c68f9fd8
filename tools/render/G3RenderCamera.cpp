// The four views, the camera fitted to a box, and the shading of a facet.
//
// Invariants: the camera's axes are orthonormal and right-handed (right x
// up = -forward, the eye looking along forward); the fitted camera maps the
// eight corners of the box into the picture inside the margin. Rounding
// happens only where shading turns a light level into a byte.

#include "tools/render/G3Render.h"

#include "Geometry/math/GTolerance.h"

#include <algorithm>
#include <cmath>

namespace g3render {

namespace {

void Normalize(double* v)
{
    const double n = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (n > GTolerance::kZeroNormal)
        for (int k = 0; k < 3; ++k)
            v[k] /= n;
}

void Set(double* v, double x, double y, double z)
{
    v[0] = x;
    v[1] = y;
    v[2] = z;
}

double Dot(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Share of the picture left free on each side.
constexpr double kMargin = 0.06;

// Light levels: ambient, and the directional light's share at full facing.
constexpr double kAmbient = 0.35;
constexpr double kDiffuse = 0.65;

const std::uint8_t kFront[3] = {198, 206, 222};
const std::uint8_t kBack[3] = {170, 72, 58};
// Back faces are drawn at this share of their lit level besides.
constexpr double kBackDim = 0.75;

const std::uint8_t kBackground[3] = {246, 247, 249};

}  // namespace

void Camera::Project(const double* p, double* out) const
{
    const double d[3] = {p[0] - center[0], p[1] - center[1], p[2] - center[2]};
    out[0] = width * 0.5 + scale * Dot(d, right);
    out[1] = height * 0.5 - scale * Dot(d, up);
    out[2] = Dot(d, forward);
}

void ViewAxes(View view, Camera& c)
{
    switch (view) {
    case View::Top:
        Set(c.right, 1, 0, 0);
        Set(c.up, 0, 1, 0);
        Set(c.forward, 0, 0, -1);
        return;
    case View::Front:
        Set(c.right, 1, 0, 0);
        Set(c.up, 0, 0, 1);
        Set(c.forward, 0, 1, 0);
        return;
    case View::Side:
        Set(c.right, 0, 1, 0);
        Set(c.up, 0, 0, 1);
        Set(c.forward, -1, 0, 0);
        return;
    case View::Below:
        Set(c.right, 1, 0, 0);
        Set(c.up, 0, -1, 0);
        Set(c.forward, 0, 0, 1);
        return;
    case View::Iso:
        break;
    }
    // The eye in the -x -y +z octant on the diagonal: x runs to the upper
    // right, y to the upper left, z straight up.
    Set(c.forward, 1, 1, -1);
    Normalize(c.forward);
    Set(c.right, 1, -1, 0);
    Normalize(c.right);
    // up = right x forward
    c.up[0] = c.right[1] * c.forward[2] - c.right[2] * c.forward[1];
    c.up[1] = c.right[2] * c.forward[0] - c.right[0] * c.forward[2];
    c.up[2] = c.right[0] * c.forward[1] - c.right[1] * c.forward[0];
    Normalize(c.up);
}

void ViewAxes(View view, Up up, int turn, Camera& c)
{
    ViewAxes(view, c);
    // The model vectors of the z-up frame's axes: cyclic for x up, and for
    // y up the frame's y (away from the front viewer) is the model's -z.
    static const double frames[3][3][3] = {{{0, 1, 0}, {0, 0, 1}, {1, 0, 0}},
                                           {{1, 0, 0}, {0, 0, -1}, {0, 1, 0}},
                                           {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    const double(&e)[3][3] = frames[up == Up::X ? 0 : up == Up::Y ? 1 : 2];
    const int quarter = ((turn % 4) + 4) % 4;
    for (double* v : {c.right, c.up, c.forward}) {
        double x = v[0], y = v[1];
        for (int q = 0; q < quarter; ++q) {
            const double t = x;
            x = -y;
            y = t;
        }
        const double f[3] = {x, y, v[2]};
        for (int k = 0; k < 3; ++k)
            v[k] = f[0] * e[0][k] + f[1] * e[1][k] + f[2] * e[2][k];
    }
}

Camera FitCamera(View view, const double* lo, const double* hi, int width, int height, Up up, int turn)
{
    Camera c;
    ViewAxes(view, up, turn, c);
    c.width = width;
    c.height = height;
    for (int k = 0; k < 3; ++k)
        c.center[k] = 0.5 * (lo[k] + hi[k]);
    double u0 = 0, u1 = 0, v0 = 0, v1 = 0;
    for (int corner = 0; corner < 8; ++corner) {
        const double p[3] = {(corner & 1 ? hi[0] : lo[0]) - c.center[0], (corner & 2 ? hi[1] : lo[1]) - c.center[1],
                             (corner & 4 ? hi[2] : lo[2]) - c.center[2]};
        const double u = Dot(p, c.right), v = Dot(p, c.up);
        u0 = std::min(u0, u);
        u1 = std::max(u1, u);
        v0 = std::min(v0, v);
        v1 = std::max(v1, v);
    }
    // The box is symmetric about its centre, so its shadow is too.
    const double du = u1 - u0, dv = v1 - v0;
    const double w = width * (1.0 - 2.0 * kMargin), h = height * (1.0 - 2.0 * kMargin);
    const bool flatU = !(du > GTolerance::kZeroLength), flatV = !(dv > GTolerance::kZeroLength);
    if (flatU && flatV)
        c.scale = 1.0;  // a point, or nothing: any scale shows it
    else if (flatU)
        c.scale = h / dv;
    else if (flatV)
        c.scale = w / du;
    else
        c.scale = std::min(w / du, h / dv);
    if (!std::isfinite(c.scale) || !(c.scale > 0.0))
        c.scale = 1.0;
    return c;
}

void ShadeFacet(const double* normal, bool doubleSided, const Camera& camera, std::uint8_t* rgb)
{
    double n[3] = {normal[0], normal[1], normal[2]};
    Normalize(n);
    // Facing the viewer when the normal points against the view direction.
    const bool back = Dot(n, camera.forward) > 0.0;
    if (back)
        for (double& x : n)
            x = -x;
    // The light comes from over the viewer's left shoulder, fixed to the
    // camera so every view is lit alike.
    double light[3];
    for (int k = 0; k < 3; ++k)
        light[k] = -0.2 * camera.right[k] + 0.45 * camera.up[k] - 0.87 * camera.forward[k];
    Normalize(light);
    const double level = kAmbient + kDiffuse * std::max(0.0, Dot(n, light));
    const bool wrongWay = back && !doubleSided;
    const std::uint8_t* base = wrongWay ? kBack : kFront;
    const double dim = wrongWay ? kBackDim : 1.0;
    for (int k = 0; k < 3; ++k) {
        const double v = base[k] * level * dim;
        rgb[k] = static_cast<std::uint8_t>(std::lround(std::min(255.0, std::max(0.0, v))));
    }
}

void BackgroundColor(std::uint8_t* rgb)
{
    for (int k = 0; k < 3; ++k)
        rgb[k] = kBackground[k];
}

}  // namespace g3render
