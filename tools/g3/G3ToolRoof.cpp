// `g3 roof`: a roof over an outline read from a text file, and the roof of
// the demo's L-shaped house.

#include "tools/g3/G3Tool.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/roof/G3RoofGenerator.h"
#include "tools/io/G3MeshIO.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <sstream>

namespace g3tool {

namespace {

const double kDegree = 3.14159265358979323846 / 180.0;

struct OutlinePoint {
    double x, y, angle;  // angle in radians
    int line = 0;        // where it was read, 0 when built in code
};

// One number from `s` at `pos` (after blanks); false when there is none.
bool NextNumber(const std::string& s, std::size_t& pos, double& v)
{
    const char* b = s.data() + pos;
    if (!ReadNumber(b, s.data() + s.size(), v))
        return false;
    pos = static_cast<std::size_t>(b - s.data());
    return true;
}

// Reads "x y angle_in_degrees" lines; blank lines and lines starting with
// '#' are skipped. On a malformed line, false with `error` naming it.
bool ReadOutline(const std::string& path, std::vector<OutlinePoint>& out, std::string& error)
{
    std::string text;
    if (!ReadTextFile(path, text, error))
        return false;
    std::istringstream in(text);
    const double degree = kDegree;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            continue;
        std::size_t pos = 0;
        double x = 0.0, y = 0.0, a = 0.0, extra = 0.0;
        if (!NextNumber(line, pos, x) || !NextNumber(line, pos, y) || !NextNumber(line, pos, a) ||
            NextNumber(line, pos, extra) || line.find_first_not_of(" \t\r", pos) != std::string::npos) {
            error = path + ":" + std::to_string(number) + ": expected \"x y angle_in_degrees\"";
            return false;
        }
        out.push_back({x, y, a * degree, number});
    }
    if (out.size() < 3) {
        error = path + ": an outline needs at least three points";
        return false;
    }
    return true;
}

// Runs the generator over `pts` into `s`, then lays out texture
// coordinates; false when the generator refused the outline, with
// `reversed` the index of the edge the overhang would turn around (or -1).
bool MakeRoof(G3Surface& s, const std::vector<OutlinePoint>& pts, double thickness, double overhang,
              int* reversed = nullptr)
{
    std::vector<std::unique_ptr<G3Point>> points;
    std::vector<double> angles;
    angles.reserve(pts.size());
    GArrayCollection pointList, angleList;
    for (const OutlinePoint& p : pts) {
        points.push_back(std::make_unique<G3Point>(p.x, p.y, 0.0));
        pointList.add(points.back().get());
        angles.push_back(p.angle);
    }
    for (double& a : angles)
        angleList.add(G3RoofGenerator::AngleEntry(&a));
    G3RoofGenerator generator(&s, 0.0, thickness, overhang);
    const bool made = generator.Regen(&pointList, &angleList);
    if (reversed)
        *reversed = generator.reversedEdge;
    if (!made)
        return false;
    generator.GenerateTexCoo();
    s.FormPlaneEquation();
    return true;
}

// What welding the generator's facets gave.
struct RoofWeld {
    int boundaryEdges = 0;
    bool closed = false;
    bool oriented = false;  // closed and every facet facing out
    double volume = 0.0;
};

// The generator hands over every facet with corners of its own. Welds them
// into one mesh: coincident corners joined, edges split where a corner of
// a neighbour lies on them, the edge pairs left along each seam stitched.
// A closed result (a thick roof) is then turned to face out; a step the
// generator left open stays open and is counted.
RoofWeld WeldRoof(G3Surface& s)
{
    s.RemoveEqualsVertexAndDivideEdges();
    s.RemoveEqualsNormal();
    s.RemoveNonManifoldEdges();
    s.FormPlaneEquation();
    RoofWeld w;
    const MeshStats st = ComputeStats(s);
    w.boundaryEdges = st.boundaryEdges;
    w.closed = st.closed && st.counts.facets > 0;
    if (w.closed) {
        OrientOutward(s);
        // The generator lays both layers out facing up, normals and all:
        // the lower layer, turned to face out, takes its normals along, or
        // a later update orienting by normals (an opening pushed into the
        // roof) turns it back into the slab.
        s.TurnNormalsToFacets();
        const MeshStats after = ComputeStats(s);
        w.oriented = after.oriented && after.volume > 0.0;
        w.volume = after.volume;
    }
    return w;
}

std::string DescribeWeld(const RoofWeld& w, double thickness)
{
    char buf[160];
    if (w.oriented)
        std::snprintf(buf, sizeof buf, "closed slab, facets facing out, volume %.12g", w.volume);
    else if (w.closed)
        std::snprintf(buf, sizeof buf, "closed, but the facets could not be turned to face out");
    else if (thickness > 0.0)
        std::snprintf(buf, sizeof buf, "not closed: %d boundary edges", w.boundaryEdges);
    else
        std::snprintf(buf, sizeof buf, "one sheet, %d boundary edges", w.boundaryEdges);
    return buf;
}

bool ParseLength(const std::string& text, double& v)
{
    std::size_t pos = 0;
    return NextNumber(text, pos, v) && pos == text.size() && v >= 0.0;
}

} // namespace

const CommandLine& RoofLine()
{
    static const CommandLine line{"OUTLINE -o OUT",
                                  {{"-o|--output", "OUT"},
                                   {"--thickness", "T"},
                                   {"--overhang", "O"},
                                   {"--opening", "FILE"},
                                   {"--raw", ""},
                                   {"--quiet", ""}}};
    return line;
}

std::string RoofCommandHelp()
{
    return UsageOf("roof", RoofLine()) +
           "\n"
           "Builds a roof over the closed outline in OUTLINE, a text file of\n"
           "\"x y angle_in_degrees\" lines (blank lines and lines starting with '#' are\n"
           "skipped): the angle is the pitch of the roof plane rising from the edge that\n"
           "ends at that point; 90 or more makes a gable. --thickness adds a raised second\n"
           "layer and fascia around the border, --overhang pushes the eaves outwards (both\n"
           "lengths, default 0). Texture coordinates are laid out in every roof plane.\n"
           "Prints the number of facets of each kind. A malformed line is refused with\n"
           "its line number, a pitch of 0 or less with its line number; an outline the\n"
           "generator refuses (a self-crossing outline or overhang, an overhang that\n"
           "turns an edge around) and one whose every edge is a gable write nothing.\n"
           "The facets are welded into one mesh; a thick roof makes a closed slab turned\n"
           "to face out, and the summary line says whether it closed and its volume.\n"
           "--raw writes the generator's facets as they come, each with corners of its own.\n"
           "--opening FILE cuts chimneys and roof windows through a thick roof: outlines of\n"
           "\"x y\" lines, a blank line between outlines, each cut vertically through both\n"
           "layers and closed with walls (an outline over a facet edge is skipped).\n\n" +
           FormatsHelp(RoofLine());
}

int CommandRoof(const std::vector<std::string>& raw)
{
    ParsedArgs a;
    int status = kExitOk;
    if (!OpenCommand("roof", raw, RoofLine(), a, status))
        return status;
    if (a.positionals.size() != 1)
        return UsageError("roof", "expects one OUTLINE file before -o OUT");
    if (!a.HasValue({"-o", "--output"}))
        return UsageError("roof", "missing -o OUT");
    const std::string out = a.Value({"-o", "--output"});
    if (!CheckOutputPath("roof", out, status))
        return status;
    double thickness = 0.0, overhang = 0.0;
    if (!ParseLength(a.Value({"--thickness"}, "0"), thickness))
        return UsageError("roof", "--thickness expects a length from 0 to 1e150");
    if (!ParseLength(a.Value({"--overhang"}, "0"), overhang))
        return UsageError("roof", "--overhang expects a length from 0 to 1e150");

    Progress progress(a.Has("--quiet"));
    progress.Pass("reading " + a.positionals[0]);
    std::vector<OutlinePoint> pts;
    std::string error;
    if (!ReadOutline(a.positionals[0], pts, error)) {
        std::fprintf(stderr, "g3: %s\n", error.c_str());
        return kExitBadInput;
    }
    RoofOpenings openings;
    if (a.HasValue({"--opening"}) && !ReadRoofOpenings(a.Value({"--opening"}), openings))
        return kExitBadInput;
    const char* file = a.positionals[0].c_str();
    for (const OutlinePoint& p : pts)
        if (!(p.angle >= GTolerance::kAngleZero)) {
            std::fprintf(stderr, "g3: %s: the outline was refused: line %d has a pitch of %g degrees (a pitch "
                                 "must be above 0)\n",
                         file, p.line, p.angle / kDegree);
            return kExitBadInput;
        }
    progress.Pass("building the roof");
    G3Surface s;
    int reversed = -1;
    if (!MakeRoof(s, pts, thickness, overhang, &reversed)) {
        if (reversed >= 0 && reversed < static_cast<int>(pts.size())) {
            const OutlinePoint& q = pts[static_cast<std::size_t>(reversed)];
            const OutlinePoint& p = pts[(static_cast<std::size_t>(reversed) + pts.size() - 1) % pts.size()];
            std::fprintf(stderr, "g3: %s: the outline was refused: an overhang of %g turns the edge from "
                                 "(%g, %g) to (%g, %g) (line %d) around\n",
                         file, overhang, p.x, p.y, q.x, q.y, q.line);
            return kExitBadInput;
        }
        std::fprintf(stderr, "g3: %s: the outline was refused (a self-crossing outline or "
                             "overhang, an overhang too deep for a nearly straight corner between "
                             "different pitches, or fewer than three distinct corners)\n",
                     a.positionals[0].c_str());
        return kExitBadInput;
    }
    int kinds[5] = {0, 0, 0, 0, 0};
    for (int i = 0; i < s.GetFacetCount(); ++i)
        ++kinds[G3RoofGenerator::GetFacetType(s.GetFacet(i))];
    if (kinds[ROOF_FACET_ROOF] == 0) {
        std::fprintf(stderr, "g3: %s: every edge is a gable (a pitch of 90 degrees or more): there is no roof\n",
                     file);
        return kExitBadInput;
    }
    std::printf("roof: %d facets, lower layer: %d, eave fascia: %d, gable fascia: %d\n", kinds[1], kinds[2],
                kinds[3], kinds[4]);
    CutRoofOpenings(s, openings);
    if (a.Has("--raw")) {
        std::printf("%s\n", Describe(CountsOf(s)).c_str());
    } else {
        progress.Pass("welding");
        const RoofWeld w = WeldRoof(s);
        std::printf("welded: %s; %s\n", Describe(CountsOf(s)).c_str(), DescribeWeld(w, thickness).c_str());
    }
    return WriteSolidFile(out, s, progress);
}

std::unique_ptr<G3Surface> DemoRoofHouse()
{
    // An L of two 6 m wide wings, hip roofs at 35 degrees, 0.5 m overhang,
    // 0.25 m thick.
    const double a = 35.0 * 3.14159265358979323846 / 180.0;
    const std::vector<OutlinePoint> outline = {{0, 0, a},  {14, 0, a},  {14, 6, a},
                                               {6, 6, a},  {6, 12, a},  {0, 12, a}};
    auto s = std::make_unique<G3Surface>();
    if (!MakeRoof(*s, outline, 0.25, 0.5))
        s = std::make_unique<G3Surface>();
    else
        WeldRoof(*s);
    return s;
}

std::unique_ptr<G3Surface> DemoRoofWithOpenings()
{
    // The demo house's roof with a chimney on the long wing's south face and
    // a roof window on the west face, each cut through both layers, then
    // welded and turned outward as `g3 roof --opening` does (the cut's
    // closing update orients by the corner normals the roof carries).
    std::unique_ptr<G3Surface> roof = DemoRoofHouse();
    RoofOpenings openings;
    openings.outlines = {{{4.0, 1.0}, {4.8, 1.0}, {4.8, 1.8}, {4.0, 1.8}},
                         {{0.9, 7.0}, {2.1, 7.0}, {2.1, 8.4}, {0.9, 8.4}}};
    CutRoofOpenings(*roof, openings);
    WeldRoof(*roof);
    return roof;
}

}  // namespace g3tool
