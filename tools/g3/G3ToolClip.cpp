// `g3 clip`: polylines clipped to a window (G3PolylineClipper's window
// mode, the pieces along the window's border hidden) or, segment by
// segment, to a polygon (its polygon mode).

#include "tools/g3/G3Tool.h"

#include "Geometry/contour/G3PolylineClipper.h"
#include "Geometry/math/GEnvelope.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace g3tool {

namespace {

const CommandLine& ClipLine()
{
    static const CommandLine line{"PATHS", {{"--window", "X1,Y1,X2,Y2"}, {"--polygon", "FILE"}, {"--quiet", ""}}};
    return line;
}

// Prints what the window clipper sends: "piece K: N points" (a contour's
// segment count takes its start as one), the start point, then each
// segment's end point, " hidden" after an invisible one.
class PrintingLoader : public GPathLoader {
public:
    explicit PrintingLoader(std::string& text) : text(text) {}
    void PathBegin(int) override {}
    void PathSetPreferPlane(int, int) override {}
    void PathContourBegin(double* point, int segmentCount, CONTOUR_TYPE) override
    {
        text += "piece " + std::to_string(++pieces) + ": " + std::to_string(segmentCount) + " points\n";
        AppendPoint(text, point[0], point[1]);
    }
    void PathContourSegmentTo(SEGMENT_TYPE, SEGMENT_VISIBILITY visibility, int vertexCount, double* points) override
    {
        for (int k = 0; k < vertexCount; ++k) {
            AppendPoint(text, points[3 * k], points[3 * k + 1]);
            if (visibility == SEGMENT_INVISIBLE) {
                text.pop_back();
                text += " hidden\n";
            }
        }
    }
    void PathContourEnd() override {}
    void PathEnd() override {}
    int pieces = 0;

private:
    std::string& text;
};

// Prints each piece the polygon clipper hands over as its two ends.
class PrintingLines : public GLineLoader {
public:
    explicit PrintingLines(std::string& text) : text(text) {}
    void LineLoad(const double* from, const double* to) override
    {
        text += "piece " + std::to_string(++pieces) + ": 2 points\n";
        AppendPoint(text, from[0], from[1]);
        AppendPoint(text, to[0], to[1]);
    }
    int pieces = 0;

private:
    std::string& text;
};

// One path through the window clipper: its points as one open contour of
// visible segments (a closed path repeats its first point), clipped at the
// sides of the window its box reaches past.
int ClipToWindow(const std::vector<Point3>& path, const GEnvelope& window, std::string& text)
{
    G3PolylineClipper clipper(&window);
    std::vector<double> xyz;
    GEnvelope box;
    box.Init(path[0].data());
    for (const Point3& p : path) {
        xyz.insert(xyz.end(), {p[0], p[1], 0.0});
        box.Add(p[0], p[1], 0.0);
    }
    const int code = box.ClipTestXY(&window);
    if (code == G_CLIP_DISJOINT)
        return 0;
    clipper.PathBegin(1);
    clipper.PathContourBegin(xyz.data(), static_cast<int>(path.size()), CONTOUR_TYPE_UNKNOWN);
    for (std::size_t k = 1; k < path.size(); ++k)
        clipper.PathContourSegmentTo(SEGMENT_TYPE_LINE, SEGMENT_VISIBLE, 1, &xyz[3 * k]);
    clipper.PathContourEnd();
    clipper.PathEnd();
    PrintingLoader out(text);
    clipper.DoClip(&out, code);
    return out.pieces;
}

int ClipToPolygon(const std::vector<Point3>& path, G3PolylineClipper& clipper, std::string& text)
{
    PrintingLines out(text);
    for (std::size_t k = 1; k < path.size(); ++k) {
        const double p[3] = {path[k - 1][0], path[k - 1][1], 0.0};
        const double q[3] = {path[k][0], path[k][1], 0.0};
        clipper.DoClip(p, q, &out);
    }
    return out.pieces;
}

} // namespace

std::string ClipCommandHelp()
{
    return UsageOf("clip", ClipLine()) +
           "\n"
           "Clips the polylines of PATHS, \"x y\" lines with a blank line between paths\n"
           "('#' lines skipped; a path that ends where it starts is closed), with exactly\n"
           "one of:\n"
           "  --window X1,Y1,X2,Y2  an axis-aligned window: each path comes back as the\n"
           "                        pieces inside it, and where a piece runs on along the\n"
           "                        window's border that stretch is hidden\n"
           "  --polygon FILE        a polygon of \"x y\" lines (closed back to its first\n"
           "                        point): each segment of a path comes back as the\n"
           "                        pieces of it inside the polygon, its border counting\n"
           "                        as inside where the segment runs along it\n"
           "Prints \"path K: N pieces\", then for each piece \"piece J: M points\" and its\n"
           "points, \" hidden\" after a point that a hidden stretch leads to, in the\n"
           "fewest digits that read back as the same numbers.\n";
}

int CommandClip(const std::vector<std::string>& raw)
{
    ParsedArgs a;
    int status = kExitOk;
    if (!OpenOneInputCommand("clip", raw, SyntaxOf(ClipLine()), a, status))
        return status;
    const bool byWindow = a.HasValue({"--window"});
    if (byWindow == a.HasValue({"--polygon"}))
        return UsageError("clip", "expects exactly one of --window X1,Y1,X2,Y2 and --polygon FILE");
    double w[4] = {0.0, 0.0, 0.0, 0.0};
    if (byWindow && !ParseList(a.Value({"--window"}), 4, w))
        return UsageError("clip", "expects --window X1,Y1,X2,Y2 (four finite numbers)");
    std::vector<std::vector<Point3>> polygon;
    if (!byWindow && !ReadPointGroups(a.Value({"--polygon"}), 2, 3, "a polygon", polygon))
        return kExitBadInput;
    if (!byWindow && polygon.size() != 1) {
        std::fprintf(stderr, "g3 clip: %s holds %zu polygons; give one\n", a.Value({"--polygon"}).c_str(),
                     polygon.size());
        return kExitBadInput;
    }
    std::vector<std::vector<Point3>> paths;
    if (!ReadPointGroups(a.positionals[0], 2, 2, "a path", paths))
        return kExitBadInput;

    // The window's corners may come in any order.
    GEnvelope window;
    window.Init(std::min(w[0], w[2]), std::min(w[1], w[3]), 0.0, std::max(w[0], w[2]), std::max(w[1], w[3]), 0.0);
    std::unique_ptr<G3PolylineClipper> byPolygon;
    if (!byWindow) {
        std::vector<double> corners;
        for (const Point3& p : polygon[0])
            corners.insert(corners.end(), {p[0], p[1]});
        byPolygon = std::make_unique<G3PolylineClipper>(static_cast<int>(corners.size() / 2), corners.data());
    }
    std::string text;
    for (std::size_t k = 0; k < paths.size(); ++k) {
        std::string pieces;
        const int n = byWindow ? ClipToWindow(paths[k], window, pieces) : ClipToPolygon(paths[k], *byPolygon, pieces);
        text += "path " + std::to_string(k + 1) + ": " + std::to_string(n) + " pieces\n" + pieces;
    }
    std::fputs(text.c_str(), stdout);
    return kExitOk;
}

}  // namespace g3tool
