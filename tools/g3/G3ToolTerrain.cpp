// `g3 terrain`: survey points triangulated into a terrain, optionally
// smoothed, cut with a building pad and closed into a body; and the demo's
// site.

#include "tools/g3/G3Tool.h"

#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/terrain/G3LandscapeHandler.h"
#include "tools/io/G3MeshIO.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <sstream>

namespace g3tool {

namespace {

// Iterations multiply the facets by about four each.
constexpr int kMaxIterations = 6;

// Reads "x y z" lines (blank lines and '#' comments skipped); false with
// `error` naming the first malformed line.
bool ReadPoints(const std::string& path, std::vector<Point3>& out, std::string& error)
{
    std::string text;
    if (!ReadTextFile(path, text, error))
        return false;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            continue;
        const char* p = line.data();
        const char* end = p + line.size();
        Point3 v{};
        if (!ReadNumber(p, end, v[0]) || !ReadNumber(p, end, v[1]) || !ReadNumber(p, end, v[2]) ||
            !OnlyBlanks(p, end)) {
            error = path + ":" + std::to_string(number) + ": expected three numbers \"x y z\" (finite, within 1e150)";
            return false;
        }
        out.push_back(v);
    }
    return true;
}

bool ParseDouble(const std::string& text, double& v)
{
    const char* p = text.data();
    return ReadNumber(p, p + text.size(), v) && p == text.data() + text.size();
}

G3Surface* Triangulate(const std::vector<Point3>& pts)
{
    G3TriInterface tri;
    for (const Point3& p : pts)
        tri.AddVertex(p.data());
    tri.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    return tri.GetSurface();
}

// The pad contour into the handler, closed when the file did not repeat
// its first point; false when the handler refuses it.
bool AddPad(G3LandscapeHandler& h, std::vector<Point3> pad)
{
    if (!pad.empty() && (pad.front()[0] != pad.back()[0] || pad.front()[1] != pad.back()[1] ||
                         pad.front()[2] != pad.back()[2]))
        pad.push_back(pad.front());
    h.StartContour();
    for (const Point3& p : pad)
        h.AddContourVertex(p[0], p[1], p[2]);
    return h.EndContour();
}

} // namespace

const CommandLine& TerrainLine()
{
    static const CommandLine line{"POINTS -o OUT",
                                  {{"-o|--output", "OUT"},
                                   {"--smooth", "MODE"},
                                   {"--iterations", "N"},
                                   {"--cover", ""},
                                   {"--pad", "FILE"},
                                   {"--pad-offset", "D"},
                                   {"--quiet", ""}}};
    return line;
}

std::string TerrainCommandHelp()
{
    return UsageOf("terrain", TerrainLine()) +
           "\n"
           "Triangulates the survey points in POINTS, a text file of \"x y z\" lines\n"
           "(blank lines and lines starting with '#' skipped), into a terrain. Then, in\n"
           "this order:\n"
           "  --smooth MODE     1 subdivision with cubic edge midpoints, 2 re-triangulation\n"
           "                    with raised centroids, 3 second-order centroids, 4\n"
           "                    second-order edge midpoints; run --iterations times (1 by\n"
           "                    default, 0 to 6)\n"
           "  --pad FILE        a building pad: one closed contour of \"x y z\" lines, cut\n"
           "                    into the terrain widened by --pad-offset (default 1, at\n"
           "                    least 0.0001) and filled at its own heights\n"
           "  --cover           walls down to z = 0 and a bottom: a closed body\n"
           "Prints the counts after each step. A malformed line is refused with its line\n"
           "number; fewer than three distinct plan positions or a pad contour that\n"
           "crosses itself write nothing (status 2); a pad cut that fails writes\n"
           "nothing (status 1).\n\n" +
           FormatsHelp(TerrainLine());
}

int CommandTerrain(const std::vector<std::string>& raw)
{
    ParsedArgs a;
    int status = kExitOk;
    if (!OpenCommand("terrain", raw, TerrainLine(), a, status))
        return status;
    if (a.positionals.size() != 1)
        return UsageError("terrain", "expects one POINTS file before -o OUT");
    if (!a.HasValue({"-o", "--output"}))
        return UsageError("terrain", "missing -o OUT");
    const std::string out = a.Value({"-o", "--output"});
    if (!CheckOutputPath("terrain", out, status))
        return status;
    int mode = 0, iterations = 1;
    if (a.HasValue({"--smooth"}) && !ParseInt(a.Value({"--smooth"}), 1, 4, mode))
        return UsageError("terrain", "--smooth expects a mode from 1 to 4");
    if (a.HasValue({"--iterations"}) &&
        !ParseInt(a.Value({"--iterations"}), 0, kMaxIterations, iterations))
        return UsageError("terrain", "--iterations expects a count from 0 to 6");
    double offset = 1.0;
    if (a.HasValue({"--pad-offset"}) &&
        (!ParseDouble(a.Value({"--pad-offset"}), offset) ||
         !(offset >= G3LandscapeHandler::kMinFlatOffset)))
        return UsageError("terrain", "--pad-offset expects a distance from 0.0001 to 1e150");
    // Each of these only tunes the step it names: without that step it
    // would be taken and do nothing.
    if (a.HasValue({"--iterations"}) && !a.HasValue({"--smooth"}))
        return UsageError("terrain", "--iterations needs --smooth MODE");
    if (a.HasValue({"--pad-offset"}) && !a.HasValue({"--pad"}))
        return UsageError("terrain", "--pad-offset needs --pad FILE");

    Progress progress(a.Has("--quiet"));
    progress.Pass("reading " + a.positionals[0]);
    std::vector<Point3> points, pad;
    std::string error;
    if (!ReadPoints(a.positionals[0], points, error) ||
        (a.HasValue({"--pad"}) && !ReadPoints(a.Value({"--pad"}), pad, error))) {
        std::fprintf(stderr, "g3: %s\n", error.c_str());
        return kExitBadInput;
    }
    G3LandscapeHandler handler;
    if (a.HasValue({"--pad"}) && !AddPad(handler, pad)) {
        std::fprintf(stderr, "g3: %s: the pad contour was refused (fewer than three distinct points or "
                             "a crossing)\n",
                     a.Value({"--pad"}).c_str());
        return kExitBadInput;
    }
    progress.Pass("triangulating");
    std::unique_ptr<G3Surface> s(Triangulate(points));
    if (!s || s->GetFacetCount() == 0) {
        std::fprintf(stderr, "g3: %s: fewer than three distinct plan positions\n", a.positionals[0].c_str());
        return kExitBadInput;
    }
    std::printf("terrain: %s\n", Describe(CountsOf(*s)).c_str());
    if (mode != 0) {
        progress.Pass("smoothing");
        s.reset(handler.LandscapeSmoothing(s.get(), mode, iterations));
        if (!s) {
            std::fprintf(stderr, "g3: the smoothing failed\n");
            return kExitFailure;
        }
        G3LandscapeHandler::ReleaseRecords(s.get());
        std::printf("smoothed: %s\n", Describe(CountsOf(*s)).c_str());
    }
    if (a.HasValue({"--pad"})) {
        progress.Pass("cutting the pad");
        handler.flatOffset = offset;
        std::unique_ptr<G3Surface> cut(handler.ApplyFlatRegion(s.get()));
        if (!cut) {
            std::fprintf(stderr, "g3: the pad could not be cut into the terrain\n");
            return kExitFailure;
        }
        s = std::move(cut);
        std::printf("pad: %s\n", Describe(CountsOf(*s)).c_str());
    }
    if (a.Has("--cover")) {
        // The cover's walls go down to z = 0 and its bottom lies there: a
        // terrain below it came out closed but crossing its own bottom
        // (walls turned over), reported as a body. Vertices left in no
        // facet (a pad's cut keeps its prism's corners) are no ground.
        double lowest = 0.0;
        for (int i = 0; i < s->GetVertexCount(); ++i)
            if (s->GetVertex(i)->HasEdges())
                lowest = std::fmin(lowest, s->GetVertex(i)->GetZ());
        if (lowest < 0.0) {
            std::fprintf(stderr, "g3: the terrain goes below z = 0 (to %g), where the cover's bottom lies\n", lowest);
            return kExitFailure;
        }
        progress.Pass("covering");
        handler.SurfaceCover(s.get());
        std::printf("covered: %s\n", Describe(CountsOf(*s)).c_str());
    }
    s->FormPlaneEquation();
    progress.Pass("writing " + out);
    std::string message;
    if (!g3io::WriteMeshFile(out, *s, message, g3io::WriteOptions())) {
        std::fprintf(stderr, "g3: %s\n", message.c_str());
        return kExitFailure;
    }
    std::printf("wrote %s\n", out.c_str());
    return kExitOk;
}

std::unique_ptr<G3Surface> DemoSite()
{
    // A 31 x 31 survey at 2 m spacing over two hills, with +-0.25 m of
    // noise from a fixed integer hash (no random sequence: the demo's report
    // is the same on every run), smoothed once by re-triangulation, a
    // 16 x 10 m pad at 14 m cut in with 2 m of embankment, closed into a
    // body on z = 0.
    std::vector<Point3> pts;
    for (int i = 0; i <= 30; ++i)
        for (int j = 0; j <= 30; ++j) {
            const double x = 2.0 * i, y = 2.0 * j;
            const double noise = ((i * 7919 + j * 104729) % 1009) / 1009.0 - 0.5;
            pts.push_back({x, y,
                           10.0 + 4.0 * std::exp(-((x - 15) * (x - 15) + (y - 40) * (y - 40)) / 200.0) +
                               3.0 * std::exp(-((x - 45) * (x - 45) + (y - 15) * (y - 15)) / 300.0) + 0.05 * x +
                               0.5 * noise});
        }
    auto empty = std::make_unique<G3Surface>();
    std::unique_ptr<G3Surface> terrain(Triangulate(pts));
    G3LandscapeHandler h;
    std::unique_ptr<G3Surface> s(h.LandscapeSmoothing(terrain.get(), 2, 1));
    if (!s || !AddPad(h, {{22, 24, 14}, {38, 24, 14}, {38, 34, 14}, {22, 34, 14}}))
        return empty;
    h.flatOffset = 2.0;
    std::unique_ptr<G3Surface> site(h.ApplyFlatRegion(s.get()));
    if (!site)
        return empty;
    h.SurfaceCover(site.get());
    return site;
}

} // namespace g3tool
