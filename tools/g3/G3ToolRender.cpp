// `g3 render`: a picture of any surface the tool can read, as a PNG.

#include "tools/g3/G3Tool.h"

#include "Geometry/mesh/G3Surface.h"
#include "tools/io/G3MeshIO.h"
#include "tools/render/G3Render.h"

#include <cctype>
#include <cstdio>
#include <filesystem>

namespace g3tool {

namespace {

bool EndsWithPng(const std::string& path)
{
    if (path.size() < 5)
        return false;
    std::string ext = path.substr(path.size() - 4);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string name = std::filesystem::path(path).filename().string();
    return ext == ".png" && name.size() > 4;
}

const char* ViewName(g3render::View v)
{
    switch (v) {
    case g3render::View::Top: return "top";
    case g3render::View::Front: return "front";
    case g3render::View::Side: return "side";
    case g3render::View::Below: return "below";
    case g3render::View::Iso: break;
    }
    return "iso";
}

}  // namespace

const CommandLine& RenderLine()
{
    static const CommandLine line{"IN -o OUT.png",
                                  {{"-o|--output", "OUT.png"},
                                   {"--view", "iso|top|front|side|below"},
                                   {"--up", "x|y|z"},
                                   {"--size", "WxH"},
                                   {"--edges", "visible|all|none"},
                                   {"--quiet", ""}}};
    return line;
}

std::string RenderHelp()
{
    return UsageOf("render", RenderLine()) +
           "\n"
           "Draws IN as a PNG picture: an orthographic view fitted to the mesh's box,\n"
           "facets flat-shaded by their planes (single-sided facets seen from behind in a\n"
           "darker red, so facets turned the wrong way show), edges as lines on top and a\n"
           "small x/y/z tripod (red, green, blue) in the lower left corner.\n"
           "\n"
           "  --view   iso (default, from the -x -y +z side), top (from +z),\n"
           "           front (from -y), side (from +x) or below (from -z)\n"
           "  --up     the model axis drawn upwards (default z); meshes from many\n"
           "           modelling tools are y-up: the views above then name the axes\n"
           "           of the turned model (front looks along -z, top down -y)\n"
           "  --size   picture size in pixels, each side 16..8192 (default 800x600)\n"
           "  --edges  visible (default: edges flagged visible), all, or none\n"
           "\n"
           "Facets with holes are drawn through a triangulated copy; IN is not changed.\n"
           "The same input and options give the same bytes. A mesh without facets gives an\n"
           "empty picture and a note on stderr (status 0). OUT appears only when complete.\n";
}

int CommandRender(const std::vector<std::string>& raw)
{
    ParsedArgs args;
    int status = kExitOk;
    if (!OpenOneInputCommand("render", raw, SyntaxOf(RenderLine()), args, status))
        return status;
    if (!args.HasValue({"-o", "--output"}))
        return UsageError("render", "missing -o OUT.png");
    const std::string out = args.Value({"-o", "--output"});
    if (out.empty())
        return UsageError("render", "-o names no file (an empty name)");
    if (!EndsWithPng(out))
        return UsageError("render", out + ": the picture is written as PNG (use a .png name)");

    g3render::RenderOptions options;
    const std::string view = args.Value({"--view"}, "iso");
    if (!g3render::ParseView(view, options.view))
        return UsageError("render", "--view " + view + ": expected iso, top, front, side or below");
    const std::string up = args.Value({"--up"}, "z");
    if (!g3render::ParseUp(up, options.up))
        return UsageError("render", "--up " + up + ": expected x, y or z");
    const std::string edges = args.Value({"--edges"}, "visible");
    if (!g3render::ParseEdgeMode(edges, options.edges))
        return UsageError("render", "--edges " + edges + ": expected visible, all or none");
    if (args.HasValue({"--size"})) {
        const std::string size = args.Value({"--size"});
        if (!g3render::ParseSize(size, options.width, options.height))
            return UsageError("render", "--size " + size + ": expected WxH, each side a whole number in 16..8192");
    }

    Progress progress(args.Has("--quiet"));
    const std::string in = args.positionals[0];
    progress.Pass("reading " + in);
    G3Surface s;
    std::string message;
    if (!g3io::ReadMeshFile(in, s, message)) {
        std::fprintf(stderr, "g3: %s\n", message.c_str());
        return kExitBadInput;
    }
    if (!message.empty())
        std::fprintf(stderr, "g3: %s\n", message.c_str());
    s.FormPlaneEquation();

    progress.Pass("rendering");
    g3render::Image image;
    g3render::RenderStats stats;
    if (!g3render::RenderSurface(s, options, image, &stats)) {
        std::fprintf(stderr, "g3: %s: cannot render\n", in.c_str());
        return kExitFailure;
    }
    if (stats.facets == 0)
        std::fprintf(stderr, "g3 render: %s: no facets to draw; the picture is empty\n", in.c_str());

    progress.Pass("writing " + out);
    if (!g3render::WritePngFile(out, image, message)) {
        std::fprintf(stderr, "g3: %s\n", message.c_str());
        return kExitFailure;
    }
    std::printf("wrote %s: %dx%d, %s view, %d facets (%d through a triangulated copy), %d triangles, %d edges\n",
                out.c_str(), image.width, image.height, ViewName(options.view), stats.facets, stats.tessellated,
                stats.triangles, stats.edges);
    return kExitOk;
}

bool WriteDemoPicture(const std::string& dir, const std::string& name, G3Surface& s, Progress& progress,
                      const DemoView& view)
{
    const std::string path = (std::filesystem::path(dir) / (name + ".png")).string();
    progress.Pass("writing " + path);
    // Small enough to keep beside the meshes and in the README.
    g3render::RenderOptions options;
    options.width = 480;
    options.height = 360;
    options.turn = view.turn;
    if (!g3render::ParseView(view.view, options.view))
        return false;
    g3render::Image image;
    std::string message;
    if (!g3render::RenderSurface(s, options, image) || !g3render::WritePngFile(path, image, message)) {
        std::fprintf(stderr, "g3: %s\n", message.empty() ? (path + ": cannot render").c_str() : message.c_str());
        return false;
    }
    return true;
}

}  // namespace g3tool
