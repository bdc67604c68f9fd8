#pragma once
// Pictures of surfaces: a small software rasterizer for the g3 tool (not
// part of the kernel). An orthographic camera looks at the surface's
// envelope from one of four directions, fitted so the whole envelope shows;
// facets are drawn flat-shaded through a depth buffer, the edges on top as
// anti-aliased lines, with a small axis tripod in the lower left corner.
//
// The same surface and options give the same pixels and the same PNG bytes
// (no clock, no address, no thread enters the picture).

#include <cstdint>
#include <string>
#include <vector>

class G3Surface;

namespace g3render {

enum class View { Iso, Top, Front, Side, Below };
// The model axis drawn upwards: z for most CAD meshes, y for meshes from
// many modelling and game tools.
enum class Up { X, Y, Z };
enum class EdgeMode { Visible, All, None };

struct RenderOptions {
    View view = View::Iso;
    int width = 800;
    int height = 600;
    // Visible: edges whose visible flag is set (the ones a user sees as
    // creases); All: every edge; None: facets only.
    EdgeMode edges = EdgeMode::Visible;
    bool tripod = true;
    Up up = Up::Z;
    // Quarter turns of the eye about the vertical axis, counter-clockwise
    // seen from above: the iso eye moves from the -x -y octant to +x -y
    // (1), +x +y (2) and -x +y (3), so a scene can face its point.
    int turn = 0;
};

// Picture sizes the renderer accepts, per side.
constexpr int kMinSize = 16;
constexpr int kMaxSize = 8192;

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // row by row from the top, 3 bytes a pixel

    const std::uint8_t* At(int x, int y) const { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; }
};

// What one picture held.
struct RenderStats {
    int facets = 0;      // facets drawn (with an area and finite corners)
    int triangles = 0;   // triangles rasterized
    int edges = 0;       // edges drawn as lines
    int tessellated = 0; // facets drawn through a triangulated copy
};

// The camera of one view: orthonormal axes (right, up, and forward from the
// eye into the scene) and the map from model to pixel coordinates, x to the
// right and y down, pixel (i, j) covering [i, i+1) x [j, j+1).
struct Camera {
    double right[3] = {1, 0, 0};
    double up[3] = {0, 1, 0};
    double forward[3] = {0, 0, -1};
    double center[3] = {0, 0, 0};  // model point drawn at the middle of the picture
    double scale = 1.0;            // pixels per model unit
    int width = 0;
    int height = 0;

    // Pixel coordinates (x, y) and depth (model units along forward from
    // the center; larger is farther).
    void Project(const double* p, double* out) const;
};

// The axes of `view` for a z-up model: iso looks down from the -x -y +z
// octant, top from +z (x to the right, y up), front from -y (x right, z
// up), side from +x (y right, z up), below from -z (x right, y down).
void ViewAxes(View view, Camera& camera);
// The same turned by `turn` quarter turns about the vertical, then carried
// onto a model whose vertical is `up` (x right, y up and z toward the
// viewer in the front view of a y-up model; a right-handed frame always).
void ViewAxes(View view, Up up, int turn, Camera& camera);
// The camera of `view` fitted to the box [lo, hi] for a picture of
// width x height pixels, with a margin all round. An empty or flat box
// still gives a usable camera.
Camera FitCamera(View view, const double* lo, const double* hi, int width, int height, Up up = Up::Z,
                 int turn = 0);

// The colour of a facet whose plane normal is (a, b, c), seen through
// `camera`: lit by one light fixed to the viewer plus ambient light.
// Single-sided facets seen from behind get a darker, warmer base colour
// (so a facet turned the wrong way shows); double-sided ones are lit on
// whichever side faces the viewer.
void ShadeFacet(const double* normal, bool doubleSided, const Camera& camera, std::uint8_t* rgb);

// The background colour.
void BackgroundColor(std::uint8_t* rgb);

// Renders `s` (its stored facet planes must be current, as after
// FormPlaneEquation) into `image`. The surface is not changed: facets with
// holes, and polygons that are not convex, are drawn through a triangulated
// copy. A surface without facets gives an empty frame (stats.facets == 0).
// False only for options outside the accepted sizes.
bool RenderSurface(G3Surface& s, const RenderOptions& options, Image& image, RenderStats* stats = nullptr);

// ---- PNG
// 8-bit RGB PNG in memory, without time or text chunks. False when libpng
// fails.
bool EncodePng(const Image& image, std::string& bytes);
// Reads an 8-bit RGB(A) or grey PNG of any sort into RGB (alpha composed
// over the background); false with a message on failure.
bool DecodePng(const std::string& bytes, Image& image, std::string& message);
// Encodes and writes `path` through a temporary file beside it that is
// renamed over `path` only when complete; false with a one-line message.
bool WritePngFile(const std::string& path, const Image& image, std::string& message);

// ---- option text
// "iso", "top", "front", "side", "below".
bool ParseView(const std::string& text, View& view);
// "x", "y", "z".
bool ParseUp(const std::string& text, Up& up);
// "visible", "all", "none".
bool ParseEdgeMode(const std::string& text, EdgeMode& mode);
// "WxH" (or "WXH") with both sides whole numbers in kMinSize..kMaxSize.
bool ParseSize(const std::string& text, int& width, int& height);

}  // namespace g3render
