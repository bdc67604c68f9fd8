// `g3 slice`, `g3 separate` and the generators `g3 box`, `g3 sphere` and
// `g3 shell`: the plane slice, the separation into pieces and the solids
// builder on mesh files. Every argument is checked before anything is read
// or written.

#include "tools/g3/G3Tool.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/boolean/G3SolidsBuilder.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "Geometry/mesh/G3Vertex.h"
#include "tools/io/G3MeshIO.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace g3tool {

namespace {

// Whether two paths name one file, whether or not it exists yet.
bool SameFile(const std::string& a, const std::string& b)
{
    std::error_code ea, eb;
    const std::filesystem::path pa = std::filesystem::weakly_canonical(std::filesystem::absolute(a, ea), ea);
    const std::filesystem::path pb = std::filesystem::weakly_canonical(std::filesystem::absolute(b, eb), eb);
    return a == b || (!ea && !eb && pa == pb);
}

// The outputs given with -o / --output, in order.
std::vector<std::string> Outputs(const ParsedArgs& a)
{
    std::vector<std::string> out;
    for (const auto& v : a.values)
        if (v.first == "-o" || v.first == "--output")
            out.push_back(v.second);
    return out;
}

}  // namespace

std::string SliceCommandText(const std::string& command);

const CommandLine* SliceLine(const std::string& command)
{
    static const std::vector<std::pair<std::string, CommandLine>> lines = {
        {"slice",
         {"IN --plane A,B,C,D | --sheet SHEET -o BELOW [-o ABOVE]",
          {{"-o|--output", "OUT", true}, {"--plane", "A,B,C,D"}, {"--sheet", "SHEET"}, {"--quiet", ""}}}},
        {"separate", {"IN -o PREFIX", {{"-o|--output", "PREFIX"}, {"--quiet", ""}}}},
        {"box", {"X0,Y0,Z0,X1,Y1,Z1 -o OUT", {{"-o|--output", "OUT"}, {"--quiet", ""}}}},
        {"sphere", {"R N -o OUT", {{"-o|--output", "OUT"}, {"--quiet", ""}}}},
        {"shell", {"IN --thickness T -o OUT", {{"-o|--output", "OUT"}, {"--thickness", "T"}, {"--quiet", ""}}}},
    };
    for (const auto& l : lines)
        if (l.first == command)
            return &l.second;
    return nullptr;
}

std::string SliceCommandHelp(const std::string& command)
{
    const CommandLine* line = SliceLine(command);
    if (!line)
        return std::string();
    return UsageOf(command, *line) + "\n" + SliceCommandText(command) + FormatsHelp(*line);
}

std::string SliceCommandText(const std::string& command)
{
    if (command == "slice")
        return "Cuts the closed solid IN by the plane A x + B y + C z = D into the part below\n"
               "(against the normal) and the part above, each closed by a cap, and prints\n"
               "both parts' counts, whether each is closed and its volume. BELOW gets the\n"
               "part below, ABOVE (when given) the part above. When the plane misses the\n"
               "solid, the whole solid goes to BELOW, nothing to ABOVE, and the status is 1.\n"
               "A plane with a zero normal or a solid that is not closed is refused.\n"
               "With --sheet the cut runs along the open surface SHEET instead (a terrain, a\n"
               "roof's underside, a folded wall line), which must reach across the solid:\n"
               "BELOW gets the part behind the sheet's facets, ABOVE the part they face.\n"
               "When the sheet does not divide the solid, the whole solid goes to BELOW and\n"
               "the status is 1.\n\n";
    if (command == "separate")
        return "Writes each connected piece of IN (facets joined across edges) of four facets\n"
               "or more to PREFIX-1.EXT, PREFIX-2.EXT, ... (EXT from PREFIX's extension, .obj\n"
               "when it has none of the known ones) and prints the count. Smaller pieces are\n"
               "dropped.\n\n";
    if (command == "box")
        return "Writes the box between the two corners, facets facing out.\n\n";
    if (command == "sphere")
        return "Writes a sphere of radius R about the origin with N meridians (an odd N is\n"
               "raised by one) and N/2 + 1 rings, quads with triangles at the poles. R must be\n"
               "positive and N at least 4.\n\n";
    if (command == "shell")
        return "Moves every facet of IN by T along its normal (outwards for a solid facing\n"
               "out, inwards for a negative T) and writes the surface whose corners lie where\n"
               "the moved planes of the facets around them meet (facets in one plane, such\n"
               "as a face given as two triangles, count once); holes move with the walls\n"
               "around them. A corner of more than three planes becomes corners of three\n"
               "planes each, joined by short new edges.\n\n";
    return std::string();
}

int CommandSlice(const std::vector<std::string>& raw)
{
    ParsedArgs a;
    int status = kExitOk;
    if (!OpenOneInputCommand("slice", raw, SyntaxOf(*SliceLine("slice")), a, status))
        return status;
    const std::vector<std::string> outs = Outputs(a);
    if (outs.empty() || outs.size() > 2)
        return UsageError("slice", "expects -o BELOW and optionally -o ABOVE");
    for (const std::string& o : outs)
        if (!CheckOutputPath("slice", o, status))
            return status;
    // One file for both parts would keep only the part written last.
    if (outs.size() == 2 && SameFile(outs[0], outs[1]))
        return UsageError("slice", "BELOW and ABOVE name the same file");
    const bool bySheet = a.HasValue({"--sheet"});
    if (bySheet == a.HasValue({"--plane"}))
        return UsageError("slice", "expects one of --plane A,B,C,D and --sheet SHEET");
    double plane[4];
    if (!bySheet && !ParseList(a.Value({"--plane"}), 4, plane))
        return UsageError("slice", "expects --plane A,B,C,D (four finite numbers)");
    if (!bySheet) {
        // The engine takes a unit normal and D along it; A x + B y + C z = D
        // means the same plane at any scale, so all four are divided by the
        // largest of A, B, C (no under- or overflow) and then by the
        // normal's length. D passed on as given cut 2,0,0,1 at x = 1, not
        // x = 0.5, and a normal shorter than the engine's zero length
        // (1e-7,0,0,1e-7) was refused.
        const double m = std::fmax(std::fabs(plane[0]), std::fmax(std::fabs(plane[1]), std::fabs(plane[2])));
        if (!(m > 0.0))
            return UsageError("slice", "the plane's normal A,B,C is zero");
        for (double& c : plane)
            c /= m;
        const double len = std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]);
        for (double& c : plane)
            c /= len;
        if (!std::isfinite(plane[3]))
            return UsageError("slice", "the plane A,B,C,D lies beyond every finite point");
    }
    Progress progress(a.Has("--quiet"));
    auto s = std::make_unique<G3Surface>();
    if (!ReadSolidFile(a.positionals[0], *s, progress))
        return kExitBadInput;
    if (!IsClosedSolid(*s)) {
        std::fprintf(stderr, "g3 slice: %s is not closed: a slice needs a closed solid (try g3 info)\n",
                     a.positionals[0].c_str());
        return kExitBadInput;
    }
    auto sheet = std::make_unique<G3Surface>();
    if (bySheet && !ReadSolidFile(a.Value({"--sheet"}), *sheet, progress))
        return kExitBadInput;
    if (bySheet && G3SurfaceWatertight(sheet.get())) {
        std::fprintf(stderr, "g3 slice: %s %s: a sheet must be an open surface\n", a.Value({"--sheet"}).c_str(),
                     sheet->GetFacetCount() == 0 ? "has no facets" : "is closed");
        return kExitBadInput;
    }
    OrientOutward(*s);
    progress.Pass("slicing");
    G3BooleanCalculator calc;
    G3Surface* below = nullptr;
    G3Surface* above = nullptr;
    bool both = false;
    if (!bySheet) {
        both = calc.Slice(s.get(), plane, true, &below, &above, false);
    } else if (calc.SliceBySurface(s.get(), sheet.get(), &below, &above)) {
        // Both inputs are the engine's now.
        sheet.release();
        both = true;
    } else {
        // Refused, both inputs kept: the whole solid is the part below.
        below = s.release();
    }
    if (!both && !below && !above) {
        // Refused: the solid is still ours.
        std::fprintf(stderr, "g3 slice: the slice failed%s%s\n", calc.GetFailureReason().empty() ? "" : ": ",
                     calc.GetFailureReason().c_str());
        return kExitFailure;
    }
    // The engine took the solid, or it went on as the part below.
    s.release();
    std::unique_ptr<G3Surface> pb(below);
    std::unique_ptr<G3Surface> pa(above);
    std::printf("below: %s\n", pb ? SolidSummary(*pb).c_str() : "none");
    std::printf("above: %s\n", pa ? SolidSummary(*pa).c_str() : "none");
    // Both parts or neither: a part that cannot be written leaves the
    // other's file as it was too.
    std::vector<std::pair<std::string, G3Surface*>> files;
    if (pb)
        files.emplace_back(outs[0], pb.get());
    if (outs.size() > 1 && pa)
        files.emplace_back(outs[1], pa.get());
    if ((status = WriteSolidFiles(files, progress)) != kExitOk)
        return status;
    if (!both) {
        std::fprintf(stderr, "g3 slice: the %s does not divide the solid\n", bySheet ? "sheet" : "plane");
        return kExitFailure;
    }
    return kExitOk;
}

int CommandSeparate(const std::vector<std::string>& raw)
{
    ParsedArgs a;
    int status = kExitOk;
    if (!OpenOneInputCommand("separate", raw, SyntaxOf(*SliceLine("separate")), a, status))
        return status;
    std::string prefix, ext;
    if (!PiecesOutput("separate", a, prefix, ext, status))
        return status;
    Progress progress(a.Has("--quiet"));
    auto s = std::make_unique<G3Surface>();
    if (!ReadSolidFile(a.positionals[0], *s, progress))
        return kExitBadInput;
    progress.Pass("separating");
    GArrayCollection pieces;
    const int n = G3BooleanCalculator::Separate_Surface(s.get(), &pieces);
    return WritePieces(pieces, n, prefix, ext, false, progress);
}

int CommandBox(const std::vector<std::string>& raw)
{
    ParsedArgs a;
    int status = kExitOk;
    if (!OpenOneInputCommand("box", raw, SyntaxOf(*SliceLine("box")), a, status))
        return status;
    if (!a.HasValue({"-o", "--output"}))
        return UsageError("box", "missing -o OUT");
    const std::string out = a.Value({"-o", "--output"});
    if (!CheckOutputPath("box", out, status))
        return status;
    double c[6];
    if (!ParseList(a.positionals[0], 6, c))
        return UsageError("box", "expects X0,Y0,Z0,X1,Y1,Z1 (six finite numbers)");
    double lo[3], hi[3];
    for (int k = 0; k < 3; ++k) {
        lo[k] = std::fmin(c[k], c[k + 3]);
        hi[k] = std::fmax(c[k], c[k + 3]);
        // The builder refuses corners the readers would refuse too, and
        // sides no longer than the point tolerance would weld into one.
        if (!(std::fabs(lo[k]) <= GTolerance::kLargestCoordinate) ||
            !(std::fabs(hi[k]) <= GTolerance::kLargestCoordinate))
            return UsageError("box", "a corner lies beyond the largest coordinate (1e150)");
        if (!(hi[k] - lo[k] > GTolerance::kPointEqual))
            return UsageError("box", "the box has no extent along an axis (sides must exceed 1e-6)");
    }
    // The builder's box is [-s, s]^2 x [0, 2s]: a unit cube at the origin
    // scaled and moved onto the corners.
    double m[4][4] = {{(hi[0] - lo[0]) / 2, 0, 0, 0}, {0, (hi[1] - lo[1]) / 2, 0, 0}, {0, 0, (hi[2] - lo[2]) / 2, 0},
                      {(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, lo[2], 1}};
    std::unique_ptr<G3Surface> box(G3SolidsBuilder::BuildBox(m, 1.0, nullptr));
    if (!box)
        return kExitFailure;
    // The move lands a corner a unit in the last place off the number
    // given (the centre less the half side rounds twice): at site
    // coordinates a box set on a survey point then stood beside it by
    // 6e-11, and a boolean with the terrain cut slivers between the two.
    // Each coordinate is put on the side it was meant for.
    for (int i = 0; i < box->GetVertexCount(); ++i) {
        G3Vertex* v = box->GetVertex(i);
        double exact[3];
        for (int k = 0; k < 3; ++k) {
            const double x = v->GetXYZ()[k];
            exact[k] = std::fabs(x - lo[k]) <= std::fabs(x - hi[k]) ? lo[k] : hi[k];
        }
        v->Set(exact);
    }
    box->FormPlaneEquation();
    Progress progress(a.Has("--quiet"));
    std::printf("box: %s\n", SolidSummary(*box).c_str());
    return WriteSolidFile(out, *box, progress);
}

int CommandSphere(const std::vector<std::string>& raw)
{
    ParsedArgs a;
    int status = kExitOk;
    if (!OpenCommand("sphere", raw, SyntaxOf(*SliceLine("sphere")), a, status))
        return status;
    if (a.positionals.size() != 2)
        return UsageError("sphere", "expects R N before -o OUT");
    if (!a.HasValue({"-o", "--output"}))
        return UsageError("sphere", "missing -o OUT");
    const std::string out = a.Value({"-o", "--output"});
    if (!CheckOutputPath("sphere", out, status))
        return status;
    double r = 0;
    int n = 0;
    if (!ParseList(a.positionals[0], 1, &r) || !(r > 0))
        return UsageError("sphere", "R must be a positive number");
    if (!(r <= GTolerance::kLargestCoordinate))
        return UsageError("sphere", "R lies beyond the largest coordinate (1e150)");
    if (!ParseInt(a.positionals[1], 4, 4096, n))
        return UsageError("sphere", "N must be a whole number from 4 to 4096");
    const double center[3] = {0, 0, 0};
    std::unique_ptr<G3Surface> s(G3SolidsBuilder::BuildSphere(center, r, n));
    // Meridians closer than the point tolerance weld into an open or
    // empty surface: no sphere at that radius and count.
    if (!s || !IsClosedSolid(*s))
        return UsageError("sphere", "R is too small for a sphere of N meridians");
    Progress progress(a.Has("--quiet"));
    std::printf("sphere: %s\n", SolidSummary(*s).c_str());
    return WriteSolidFile(out, *s, progress);
}

int CommandShell(const std::vector<std::string>& raw)
{
    ParsedArgs a;
    int status = kExitOk;
    if (!OpenOneInputCommand("shell", raw, SyntaxOf(*SliceLine("shell")), a, status))
        return status;
    if (!a.HasValue({"-o", "--output"}))
        return UsageError("shell", "missing -o OUT");
    const std::string out = a.Value({"-o", "--output"});
    if (!CheckOutputPath("shell", out, status))
        return status;
    double t = 0;
    if (!a.HasValue({"--thickness"}) || !ParseList(a.Value({"--thickness"}), 1, &t))
        return UsageError("shell", "expects --thickness T (a finite number)");
    Progress progress(a.Has("--quiet"));
    auto s = std::make_unique<G3Surface>();
    if (!ReadSolidFile(a.positionals[0], *s, progress))
        return kExitBadInput;
    if (!IsClosedSolid(*s)) {
        std::fprintf(stderr, "g3 shell: %s is not a closed solid, and a shell needs one (try g3 info)\n",
                     a.positionals[0].c_str());
        return kExitBadInput;
    }
    progress.Pass("shell");
    G3Surface* built = nullptr;
    if (!G3SolidsBuilder::Shell(s.get(), &built, t, nullptr)) {
        std::fprintf(stderr, "g3 shell: no shell: at this thickness the solid folds over, comes out open or "
                             "leaves the finite numbers (or, growing, it is pinched along an edge or at a corner)\n");
        return kExitFailure;
    }
    std::unique_ptr<G3Surface> shell(built);
    std::printf("input: %s\n", SolidSummary(*s).c_str());
    std::printf("shell: %s\n", SolidSummary(*shell).c_str());
    return WriteSolidFile(out, *shell, progress);
}

std::unique_ptr<G3Surface> DemoSlicedWall()
{
    // A plane rising 0.3 per unit along the wall, through the window and
    // the door: the cap runs across both openings' jambs.
    const double n[3] = {-0.3, 0.0, 1.0};
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    double plane[4] = {n[0] / length, n[1] / length, n[2] / length, 0.0};
    plane[3] = plane[0] * 2.0 + plane[2] * 1.9;
    G3BooleanCalculator engine;
    G3Surface* below = nullptr;
    G3Surface* above = nullptr;
    engine.Slice(DemoWallWithOpenings().release(), plane, true, &below, &above, false);
    delete above;
    return std::unique_ptr<G3Surface>(below ? below : new G3Surface());
}

std::unique_ptr<G3Surface> DemoGableWall()
{
    // Two slopes of 0.4 meeting in a ridge 2.7 high over the wall's middle,
    // reaching past both faces and both ends: the left slope runs across
    // the window's head, and the facets face up, so the wall's lower part
    // is the first.
    auto sheet = std::make_unique<G3Surface>();
    const double x[3] = {-1.0, 2.0, 5.0}, z[3] = {1.5, 2.7, 1.5};
    G3Vertex* v[3][2];
    for (int k = 0; k < 3; ++k)
        for (int side = 0; side < 2; ++side)
            v[k][side] = sheet->AddVertex(x[k], side ? 1.3 : -1.0, z[k], 0);
    for (int k = 0; k < 2; ++k) {
        G3Vertex* slope[4] = {v[k][0], v[k + 1][0], v[k + 1][1], v[k][1]};
        sheet->AddFacet(4, slope, 1, nullptr, nullptr);
    }
    sheet->FormPlaneEquation();
    G3BooleanCalculator engine;
    G3Surface* below = nullptr;
    G3Surface* above = nullptr;
    std::unique_ptr<G3Surface> wall = DemoWallWithOpenings();
    if (engine.SliceBySurface(wall.get(), sheet.get(), &below, &above)) {
        wall.release();
        sheet.release();
    }
    delete above;
    return std::unique_ptr<G3Surface>(below ? below : new G3Surface());
}

}  // namespace g3tool
