// `g3 insert`: pockets, bosses and openings pushed into the faces of a
// mesh by the editing tool (G3SurfaceEdit::InsertFacet), one per contour
// of a text file, all or nothing.

#include "tools/g3/G3Tool.h"

#include "Geometry/boolean/G3SolidsBuilder.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/processing/G3SurfaceEdit.h"

#include <cmath>
#include <cstdio>
#include <memory>

namespace g3tool {

namespace {

const CommandLine& InsertLine()
{
    static const CommandLine line{"IN --contours FILE --depth D -o OUT",
                                  {{"--contours", "FILE"},
                                   {"--depth", "D"},
                                   {"--direction", "X,Y,Z"},
                                   {"-o|--output", "OUT"},
                                   {"--quiet", ""}}};
    return line;
}

// The first facet whose plane holds every point of `contour` (within
// kPlaneSide): the face the contour is drawn on, whose normal tells into
// the solid from out of it. Null when none does. Planes must be current.
const G3Facet* FaceHolding(G3Surface& s, const std::vector<Point3>& contour)
{
    for (int k = 0; k < s.GetFacetCount(); ++k) {
        const G3Facet* f = s.GetFacet(k);
        const double* m = f->GetPlane();
        bool holds = m[0] != 0.0 || m[1] != 0.0 || m[2] != 0.0;
        for (const Point3& p : contour)
            holds = holds && std::fabs(m[0] * p[0] + m[1] * p[1] + m[2] * p[2] + m[3]) <= GTolerance::kPlaneSide;
        if (holds)
            return f;
    }
    return nullptr;
}

// One contour pushed in by depth along d; the cap (null when the edit was
// refused or the cap opened onto a face).
const G3Facet* Push(G3SurfaceEdit& edit, const std::vector<Point3>& contour, const double* d, double depth)
{
    std::vector<std::unique_ptr<G3Point>> points;
    GArrayCollection list;
    for (const Point3& p : contour) {
        points.push_back(std::make_unique<G3Point>(p[0], p[1], p[2]));
        list.add(points.back().get());
    }
    G3Point direction(d[0], d[1], d[2]);
    return edit.InsertFacet(&list, &direction, depth, nullptr);
}

struct SurfaceSize {
    int vertices, edges, facets;
    bool operator==(const SurfaceSize& o) const
    {
        return vertices == o.vertices && edges == o.edges && facets == o.facets;
    }
};

SurfaceSize SizeOf(const G3Surface& s)
{
    return {s.GetVertexCount(), s.GetEdgeCount(), s.GetFacetCount()};
}

} // namespace

std::string InsertCommandHelp()
{
    return UsageOf("insert", InsertLine()) +
           "\n"
           "Pushes each contour of FILE into the face of IN it is drawn on: the contour\n"
           "is cut out of the face, walls run from it along the direction, and a cap\n"
           "closes them D further on. FILE holds \"x y z\" lines, a blank line between\n"
           "contours ('#' lines skipped); the contours are pushed in in file order.\n"
           "  --depth D          how far the cap lies from the face (over 1e-6)\n"
           "  --direction X,Y,Z  the way the walls run (default: into the solid, against\n"
           "                     the normal of the face the contour is drawn on); out of\n"
           "                     the solid makes a boss\n"
           "Prints one line per contour: \"pocket\", \"boss\", or \"through\" when the cap\n"
           "came to lie on a face of the solid and opened into it (a pocket as deep as\n"
           "the wall is a hole through it); then the result's counts. A contour no face\n"
           "holds whole, or whose walls would pass through the mesh (a pocket deeper\n"
           "than the wall, a boss running into another part), is refused, and then\n"
           "nothing is written (status 1).\n\n" +
           FormatsHelp(InsertLine());
}

int CommandInsert(const std::vector<std::string>& raw)
{
    ParsedArgs a;
    int status = kExitOk;
    if (!OpenOneInputCommand("insert", raw, SyntaxOf(InsertLine()), a, status))
        return status;
    if (!a.HasValue({"-o", "--output"}))
        return UsageError("insert", "missing -o OUT");
    if (!a.HasValue({"--contours"}))
        return UsageError("insert", "missing --contours FILE");
    double depth = 0.0;
    if (!a.HasValue({"--depth"}) || !ParseList(a.Value({"--depth"}), 1, &depth) ||
        !(depth > GTolerance::kPointEqual))
        return UsageError("insert", "expects --depth D (a length over 1e-6)");
    double given[3] = {0.0, 0.0, 0.0};
    const bool directed = a.HasValue({"--direction"});
    if (directed) {
        const bool parsed = ParseList(a.Value({"--direction"}), 3, given);
        const double length = std::sqrt(given[0] * given[0] + given[1] * given[1] + given[2] * given[2]);
        if (!parsed || !(length >= GTolerance::kZeroNormal) || !std::isfinite(length))
            return UsageError("insert", "expects --direction X,Y,Z (finite, not all zero)");
        for (double& c : given)
            c /= length;
    }
    const std::string out = a.Value({"-o", "--output"});
    if (!CheckOutputPath("insert", out, status))
        return status;
    std::vector<std::vector<Point3>> contours;
    if (!ReadPointGroups(a.Value({"--contours"}), 3, 3, "a contour", contours))
        return kExitBadInput;
    Progress progress(a.Has("--quiet"));
    auto s = std::make_unique<G3Surface>();
    if (!ReadSolidFile(a.positionals[0], *s, progress))
        return kExitBadInput;
    std::printf("input: %s\n", SolidSummary(*s).c_str());

    progress.Pass("insert");
    G3SurfaceEdit edit(s.get());
    int refused = 0;
    for (std::size_t k = 0; k < contours.size(); ++k) {
        s->FormPlaneEquation();
        const G3Facet* face = FaceHolding(*s, contours[k]);
        double normal[3] = {0.0, 0.0, 0.0};
        if (face)
            for (int c = 0; c < 3; ++c)
                normal[c] = face->GetPlane()[c];
        const double into[3] = {-normal[0], -normal[1], -normal[2]};
        const double* d = directed ? given : into;
        const bool pocket = d[0] * normal[0] + d[1] * normal[1] + d[2] * normal[2] < 0.0;
        const SurfaceSize before = SizeOf(*s);
        const G3Facet* cap = face ? Push(edit, contours[k], d, depth) : nullptr;
        if (cap)
            std::printf("contour %zu: %s\n", k + 1, pocket ? "pocket" : "boss");
        else if (face && !(SizeOf(*s) == before))
            std::printf("contour %zu: through\n", k + 1);
        else {
            std::printf("contour %zu: refused (%s)\n", k + 1,
                        face ? "no face holds it whole, or its walls would pass through the mesh"
                             : "it lies on no face");
            ++refused;
        }
    }
    s->FormPlaneEquation();
    std::printf("result: %s\n", SolidSummary(*s).c_str());
    if (refused > 0) {
        std::fprintf(stderr, "g3 insert: %d of %zu contours refused; nothing written\n", refused, contours.size());
        return kExitFailure;
    }
    return WriteSolidFile(out, *s, progress);
}

std::unique_ptr<G3Surface> DemoInsertedWall()
{
    // A 4 x 0.3 x 3 wall, its front face at y = 0: a window pushed through
    // it, a sill pulled out under the window along its foot, a niche
    // pushed in beside it.
    double m[4][4] = {{2, 0, 0, 0}, {0, 0.15, 0, 0}, {0, 0, 1.5, 0}, {2, 0.15, 0, 1}};
    std::unique_ptr<G3Surface> wall(G3SolidsBuilder::BuildBox(m, 1.0, nullptr));
    if (!wall)
        return std::make_unique<G3Surface>();
    const double in[3] = {0, 1, 0}, out[3] = {0, -1, 0};
    G3SurfaceEdit edit(wall.get());
    Push(edit, {{{0.5, 0, 1}, {1.5, 0, 1}, {1.5, 0, 2.2}, {0.5, 0, 2.2}}}, in, 0.3);
    Push(edit, {{{0.4, 0, 0.9}, {1.6, 0, 0.9}, {1.6, 0, 1}, {0.4, 0, 1}}}, out, 0.2);
    Push(edit, {{{2.5, 0, 0.8}, {3.5, 0, 0.8}, {3.5, 0, 2}, {2.5, 0, 2}}}, in, 0.15);
    wall->FormPlaneEquation();
    return wall;
}

}  // namespace g3tool
