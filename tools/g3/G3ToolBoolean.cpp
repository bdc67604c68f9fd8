// `g3 boolean` and `g3 update`: the boolean engine and the update levels on
// mesh files, and the solids the demo's boolean scenes are made of.

#include "tools/g3/G3Tool.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/boolean/G3SolidsBuilder.h"
#include "Geometry/boolean/G3SideBySide.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "Geometry/mesh/G3Vertex.h"
#include "tools/io/G3MeshIO.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

namespace g3tool {

namespace {

// Parses the arguments shared by both commands; `done` with the status when
// the command ends there (help, a usage error).
const CommandLine& Line(const std::string& command)
{
    static const CommandLine boolean{"union|difference|intersection A B -o OUT",
                                     {{"-o|--output", "OUT"}, {"--one-thread", ""}, {"--quiet", ""}}};
    static const CommandLine update{"LEVEL IN -o OUT", {{"-o|--output", "OUT"}, {"--quiet", ""}}};
    return command == "boolean" ? boolean : update;
}

int Parse(const std::string& command, const std::vector<std::string>& raw, std::size_t positionals, ParsedArgs& a,
          std::string& out, bool& done)
{
    done = true;
    int status = kExitOk;
    if (!OpenCommand(command, raw, Line(command), a, status))
        return status;
    if (a.positionals.size() != positionals)
        return UsageError(command, "expects " + std::to_string(positionals) + " arguments before -o OUT");
    if (!a.HasValue({"-o", "--output"}))
        return UsageError(command, "missing -o OUT");
    out = a.Value({"-o", "--output"});
    if (!CheckOutputPath(command, out, status))
        return status;
    done = false;
    return kExitOk;
}

// A UV sphere with shared vertices: `stacks` rings between the poles,
// `slices` meridians, quads split into triangles, facets facing out.
std::unique_ptr<G3Surface> UvSphere(double cx, double cy, double cz, double r, int stacks, int slices)
{
    auto s = std::make_unique<G3Surface>();
    const double pi = 3.14159265358979323846;
    G3Vertex* north = s->AddVertex(cx, cy, cz + r, 0);
    std::vector<G3Vertex*> ring;
    for (int i = 1; i < stacks; ++i)
        for (int j = 0; j < slices; ++j) {
            const double t = pi * i / stacks;
            const double p = 2.0 * pi * j / slices;
            ring.push_back(s->AddVertex(cx + r * std::sin(t) * std::cos(p), cy + r * std::sin(t) * std::sin(p),
                                        cz + r * std::cos(t), 0));
        }
    G3Vertex* south = s->AddVertex(cx, cy, cz - r, 0);
    auto at = [&](int i, int j) { return ring[static_cast<std::size_t>((i - 1) * slices + (j % slices))]; };
    auto tri = [&](G3Vertex* a, G3Vertex* b, G3Vertex* c) {
        G3Vertex* v[3] = {a, b, c};
        s->AddFacet(3, v, 1, nullptr, nullptr);
    };
    for (int j = 0; j < slices; ++j) {
        tri(north, at(1, j), at(1, j + 1));
        for (int i = 1; i + 1 < stacks; ++i) {
            tri(at(i, j), at(i + 1, j), at(i + 1, j + 1));
            tri(at(i, j), at(i + 1, j + 1), at(i, j + 1));
        }
        tri(at(stacks - 1, j), south, at(stacks - 1, j + 1));
    }
    s->FormPlaneEquation();
    return s;
}

std::unique_ptr<G3Surface> Box(double x0, double y0, double z0, double x1, double y1, double z1)
{
    auto s = std::make_unique<G3Surface>();
    G3Vertex* v[8];
    for (int i = 0; i < 8; ++i)
        v[i] = s->AddVertex(i & 1 ? x1 : x0, i & 2 ? y1 : y0, i & 4 ? z1 : z0, 0);
    const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto& f : faces) {
        G3Vertex* q[4] = {v[f[0]], v[f[1]], v[f[2]], v[f[3]]};
        s->AddFacet(4, q, 1, nullptr, nullptr);
    }
    s->FormPlaneEquation();
    return s;
}

}  // namespace

std::string BooleanCommandHelp(const std::string& command)
{
    if (command == "boolean")
        return UsageOf(command, Line(command)) +
               "\n"
               "Reads the closed solids A and B and writes their union, difference (A minus B)\n"
               "or intersection to OUT. An operand that is not closed is refused; each is\n"
               "first oriented to face out (the facets turned are counted). Prints for A, B\n"
               "and the result the counts, whether it is closed and, when closed, its volume.\n"
               "An empty result is written as an empty mesh. Nothing is written when A or B\n"
               "cannot be read or is not closed. When the result would not be a closed solid\n"
               "the command fails (status 1) with the reason and writes nothing.\n"
               "Operands of 4096 facets or more are worked on side by side on two threads;\n"
               "--one-thread keeps to one. The result is the same either way.\n\n" + FormatsHelp(Line(command));
    if (command == "update")
        return UsageOf(command, Line(command)) +
               "\n"
               "Runs the repair sequence of one level on IN and writes OUT:\n"
               "  1001  weld vertices and normals, stitch edges, orient facets\n"
               "  1002  rebuild self-intersecting facets, drop repeated facets, orient\n"
               "  1003  rebuild self-intersecting facets, cut the surface where it meets\n"
               "        itself, orient\n"
               "Any other level is refused. At every level the collections are trimmed and\n"
               "an open surface's facets are made double-sided.\n"
               "Nothing is written when IN cannot be read.\n\n" + FormatsHelp(Line(command));
    return std::string();
}

int CommandBoolean(const std::vector<std::string>& raw)
{
    ParsedArgs a;
    std::string out;
    bool done = false;
    const int status = Parse("boolean", raw, 3, a, out, done);
    if (done)
        return status;
    const std::string op = a.positionals[0];
    if (op != "union" && op != "difference" && op != "intersection")
        return UsageError("boolean", "unknown operation '" + op + "' (union, difference or intersection)");
    Progress progress(a.Has("--quiet"));
    // Both operands are read before anything is printed or computed, so a
    // malformed one leaves no partial report and no file.
    auto sa = std::make_unique<G3Surface>();
    auto sb = std::make_unique<G3Surface>();
    if (!ReadSolidFile(a.positionals[1], *sa, progress) || !ReadSolidFile(a.positionals[2], *sb, progress))
        return kExitBadInput;
    // The engine needs closed solids whose facets face out: an open operand
    // is refused before anything is printed, and each is oriented first.
    const std::pair<const char*, G3Surface*> operands[2] = {{"A", sa.get()}, {"B", sb.get()}};
    for (int k = 0; k < 2; ++k) {
        if (!IsClosedSolid(*operands[k].second)) {
            std::fprintf(stderr, "g3 boolean: %s is not closed: a boolean needs closed solids (try g3 info)\n",
                         a.positionals[static_cast<std::size_t>(k) + 1].c_str());
            return kExitBadInput;
        }
    }
    for (int k = 0; k < 2; ++k) {
        const std::string& path = a.positionals[static_cast<std::size_t>(k) + 1];
        progress.Pass("orienting " + path);
        const int turned = OrientOutward(*operands[k].second);
        std::printf("%s %s: %s\n", operands[k].first, path.c_str(), SolidSummary(*operands[k].second).c_str());
        if (turned > 0)
            std::printf("%s %s: turned %d facets to face out\n", operands[k].first, path.c_str(), turned);
    }

    progress.Pass(op);
    G3SideBySide::AllowHelperThread(!a.Has("--one-thread"));
    G3BooleanCalculator engine;
    G3Surface* ra = sa.release();
    G3Surface* rb = sb.release();
    std::unique_ptr<G3Surface> result(op == "union"        ? engine.Add(ra, rb)
                                      : op == "difference" ? engine.Sub(ra, rb)
                                                           : engine.Common(ra, rb));
    if (!result && !engine.GetFailureReason().empty()) {
        std::fprintf(stderr, "g3 boolean: %s failed: %s\n", op.c_str(), engine.GetFailureReason().c_str());
        return kExitFailure;
    }
    if (!result) {
        std::printf("result: empty\n");
        result = std::make_unique<G3Surface>();
    } else {
        std::printf("result: %s\n", SolidSummary(*result).c_str());
    }
    return WriteSolidFile(out, *result, progress);
}

int CommandUpdate(const std::vector<std::string>& raw)
{
    ParsedArgs a;
    std::string out;
    bool done = false;
    const int status = Parse("update", raw, 2, a, out, done);
    if (done)
        return status;
    const std::string& text = a.positionals[0];
    int level = 0;
    if (!ParseInt(text, INT_MIN, INT_MAX, level))
        return UsageError("update", "LEVEL must be an integer, not '" + text + "'");
    if (level != CHECK_LEVEL_WELD && level != CHECK_LEVEL_FACETS && level != CHECK_LEVEL_INTERSECTIONS)
        return UsageError("update", "LEVEL must be 1001, 1002 or 1003, not " + text);
    Progress progress(a.Has("--quiet"));
    G3Surface s;
    if (!ReadSolidFile(a.positionals[1], s, progress))
        return kExitBadInput;
    std::printf("read %s: %s\n", a.positionals[1].c_str(), SolidSummary(s).c_str());
    progress.Pass("Update(" + text + ")");
    s.Update(static_cast<CHECK_LEVEL>(level));
    std::printf("Update(%d): %s\n", level, SolidSummary(s).c_str());
    return WriteSolidFile(out, s, progress);
}

std::unique_ptr<G3Surface> DemoWallWithOpenings()
{
    // A 4 x 0.3 x 3 wall; the window box is flush with both faces of the
    // wall, the door box also with its floor.
    G3BooleanCalculator engine;
    G3Surface* wall = Box(0, 0, 0, 4, 0.3, 3).release();
    wall = engine.Sub(wall, Box(0.5, 0, 1, 1.7, 0.3, 2.2).release());
    wall = engine.Sub(wall, Box(2.4, 0, 0, 3.3, 0.3, 2.1).release());
    return std::unique_ptr<G3Surface>(wall ? wall : new G3Surface());
}

std::unique_ptr<G3Surface> DemoSteppedShell()
{
    // A 3 x 2 x 1 plinth with a 2 x 2 x 1.5 block standing on it and
    // reaching 0.5 past its back: where the block's sides meet the plinth's
    // top, and its underside the plinth's back, four planes pass through a
    // vertex. Every face grown by 0.2: the union of the two boxes grown by
    // 0.2 on every side.
    G3BooleanCalculator engine;
    std::unique_ptr<G3Surface> step(
        engine.Add(Box(0, 0, 0, 3, 2, 1).release(), Box(0.5, 0.5, 1, 2.5, 2.5, 2.5).release()));
    G3Surface* shell = nullptr;
    if (!step || !G3SolidsBuilder::Shell(step.get(), &shell, 0.2, nullptr))
        return std::make_unique<G3Surface>();
    return std::unique_ptr<G3Surface>(shell);
}

std::unique_ptr<G3Surface> DemoSpheres(const std::string& op)
{
    // Two unit spheres of about 2000 triangles, the second moved off-axis
    // so that no seam runs along a ring of the first.
    G3BooleanCalculator engine;
    G3Surface* a = UvSphere(0, 0, 0, 1, 24, 44).release();
    G3Surface* b = UvSphere(1.0, 0.1, 0.05, 1, 24, 44).release();
    G3Surface* r = op == "union" ? engine.Add(a, b) : op == "difference" ? engine.Sub(a, b) : engine.Common(a, b);
    return std::unique_ptr<G3Surface>(r ? r : new G3Surface());
}

}  // namespace g3tool
