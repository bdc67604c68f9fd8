// g3: runs the kernel's repair passes and triangulation on mesh files,
// converts between formats, reports on meshes and shows a demo.

#include "tools/g3/G3Tool.h"

#include "Geometry/foundation/GHeap.h"
#include "Geometry/mesh/G3Surface.h"
#include "tools/io/G3MeshIO.h"

#include <cstdio>
#include <exception>
#include <new>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#ifndef G3_VERSION
#define G3_VERSION "unknown"
#endif

namespace g3tool {

namespace {

const char* const kFormats =
    "Formats, chosen by file extension (case-insensitive):\n"
    "  .txt  the kernel's text dump (read and write)\n"
    "  .obj  Wavefront OBJ (read and write)\n"
    "  .off  OFF (read and write)\n"
    "  .stl  STL, binary or ASCII (read; written binary unless --ascii)\n"
    "  .ply  PLY, ASCII or binary of either byte order (read; written binary\n"
    "        little-endian unless --ascii)\n"
    "  .wrl  VRML 2.0 (write only)\n";

const char* const kExitCodes =
    "Exit status: 0 success, 1 a pass or a write failed,\n"
    "2 usage error, missing or unreadable input, or a malformed file.\n";

// Hands the memory that reading and the passes freed back to the system:
// the pools keep emptied blocks and the C heap freed scratch vectors for
// later use, and writing a large mesh would otherwise come on top of them.
void ReleaseFreeMemory()
{
    GHeap::RunGarbageCollector();
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

bool ReadInput(const std::string& path, G3Surface& s, Progress& progress,
               const g3io::ReadOptions& options = g3io::ReadOptions())
{
    progress.Pass("reading " + path);
    std::string message;
    if (!g3io::ReadMeshFile(path, s, message, options)) {
        std::fprintf(stderr, "g3: %s\n", message.c_str());
        return false;
    }
    if (!message.empty())
        std::fprintf(stderr, "g3: %s\n", message.c_str());
    // The OFF reader builds every facet through AddFacet, which forms its
    // plane; other formats may bring planes of their own (a dump) or none.
    if (g3io::FormatFromPath(path) != g3io::Format::Off)
        s.FormPlaneEquation();
    ReleaseFreeMemory();
    return true;
}

int WriteOutput(const std::string& path, G3Surface& s, bool ascii, Progress& progress)
{
    progress.Pass("writing " + path);
    g3io::WriteOptions options;
    options.stlAscii = ascii;
    options.plyAscii = ascii;
    std::string message;
    g3io::FileContents written;
    if (!g3io::WriteMeshFile(path, s, message, options, &written)) {
        std::fprintf(stderr, "g3: %s\n", message.c_str());
        return kExitFailure;
    }
    std::printf("wrote %s: %s\n", path.c_str(), DescribeWritten(s, path, &written).c_str());
    return kExitOk;
}

const CommandLine& RepairLine()
{
    static const CommandLine line{"IN -o OUT",
                                  {{"-o|--output", "OUT"},
                                   {"--triangulate", ""},
                                   {"--orient", ""},
                                   {"--merge-coplanar", ""},
                                   {"--ascii", ""},
                                   {"--quiet", ""}}};
    return line;
}

const CommandLine& ConvertLine()
{
    static const CommandLine line{
        "IN -o OUT", {{"-o|--output", "OUT"}, {"--ascii", ""}, {"--texcoords", ""}, {"--quiet", ""}}};
    return line;
}

// The shared front of repair and convert: IN -o OUT [flags].
struct InOut {
    std::string in;
    std::string out;
    ParsedArgs args;
    Progress progress{true};
};

// Parses the arguments and reads IN into `s`. `done` when the command ends
// here (help printed, a usage error, unreadable input) with the returned
// status.
int OpenInOut(const std::string& command, const std::vector<std::string>& raw, const ArgSyntax& syntax, InOut& io,
              G3Surface& s, bool& done, const g3io::ReadOptions& options = g3io::ReadOptions())
{
    done = true;
    int status = kExitOk;
    if (!OpenOneInputCommand(command, raw, syntax, io.args, status))
        return status;
    if (!io.args.HasValue({"-o", "--output"}))
        return UsageError(command, "missing -o OUT");
    io.in = io.args.positionals[0];
    io.out = io.args.Value({"-o", "--output"});
    if (!CheckOutputPath(command, io.out, status))
        return status;
    io.progress = Progress(io.args.Has("--quiet"));
    if (!ReadInput(io.in, s, io.progress, options))
        return kExitBadInput;
    std::printf("read %s: %s\n", io.in.c_str(), Describe(CountsOf(s)).c_str());
    done = false;
    return kExitOk;
}

}  // namespace

std::string ToolUsage()
{
    return std::string("usage: g3 <command> [arguments]\n"
                       "\n"
                       "Commands:\n"
                       "  info FILE                         counts, box, defects, pieces, volume and genus\n"
                       "  repair IN -o OUT [--triangulate] [--orient] [--merge-coplanar] [--ascii]\n"
                       "                                    weld, clean and stitch a mesh, then write it\n"
                       "  convert IN -o OUT [--ascii]       rewrite a mesh in another format\n"
                       "  demo [-o DIR]                     build, repair and write a few meshes (default ./g3-demo)\n"
                       "  render IN -o OUT.png [--view V] [--up x|y|z] [--size WxH] [--edges E]\n"
                       "                                    draw a mesh as a PNG picture\n"
                       "  contours FILE [--op OP]           divide (or intersect) contours given as x y lines\n"
                       "  clip PATHS --window X1,Y1,X2,Y2 | --polygon FILE\n"
                       "                                    polylines clipped to a window or a polygon\n"
                       "  boolean union|difference|intersection A B -o OUT [--one-thread]\n"
                       "                                    combine two closed solids\n"
                       "  update LEVEL IN -o OUT            run the repair sequence of level 1001, 1002 or 1003\n"
                       "  section IN --plane a,b,c,d -o OUT the faces where planes cut a mesh\n"
                       "  slice IN --plane a,b,c,d | --sheet SHEET -o BELOW [-o ABOVE]\n"
                       "                                    cut a closed solid in two capped parts\n"
                       "  separate IN -o PREFIX             one file per connected piece\n"
                       "  box X0,Y0,Z0,X1,Y1,Z1 -o OUT      write a box\n"
                       "  sphere R N -o OUT                 write a sphere of N meridians\n"
                       "  shell IN --thickness T -o OUT     move every facet along its normal\n"
                       "  classify SOLID POINTS             inside, outside or on, for each point\n"
                       "  roof OUTLINE -o OUT [--thickness T] [--overhang O] [--opening FILE] [--raw]\n"
                       "                                    build a welded roof over an outline of x y angle lines\n"
                       "  terrain POINTS -o OUT [--smooth MODE] [--iterations N] [--cover] [--pad FILE]\n"
                       "                                    a terrain from x y z survey points\n"
                       "  check IN                          short edges, self-crossing contours, intersecting facets\n"
                       "  explode IN -o PREFIX              one file per connected piece, welded\n"
                       "  insert IN --contours FILE --depth D -o OUT [--direction X,Y,Z]\n"
                       "                                    pockets, bosses and openings pushed into faces\n"
                       "\n"
                       "g3 <command> --help describes a command; g3 --version prints the version.\n"
                       "Every command takes --quiet (no progress lines on stderr).\n"
                       "\n"
                       "Coordinates are model units (metres, usually); points closer than 1e-6 are\n"
                       "one point, so meshes from about 1e-3 to 1e7 units across suit the tool (g3 info\n"
                       "warns outside that).\n\n") +
           kFormats + "\n" + kExitCodes;
}

std::string CommandHelp(const std::string& command)
{
    if (command == "boolean" || command == "update")
        return BooleanCommandHelp(command);
    if (command == "roof")
        return RoofCommandHelp();
    if (command == "terrain")
        return TerrainCommandHelp();
    if (command == "insert")
        return InsertCommandHelp();
    if (command == "clip")
        return ClipCommandHelp();
    if (!EditCommandHelp(command).empty())
        return EditCommandHelp(command);
    if (!SliceCommandHelp(command).empty())
        return SliceCommandHelp(command);
    if (command == "info")
        return UsageOf("info", InfoLine()) +
               "\n"
               "Prints one \"key: value\" line each: file, format, vertices, edges, facets,\n"
               "normals, texture coordinates, bbox min, bbox max (\"none\" without vertices),\n"
               "closed (yes/no), boundary edges, wire edges, non-manifold edges,\n"
               "non-manifold vertices, facets with holes, degenerate facets, V-E+F, pieces,\n"
               "orientable, consistently oriented, volume, genus.\n"
               "\n"
               "  closed                 no edge has exactly one facet (boundary edges: 0), and\n"
               "                         there are facets\n"
               "  boundary edges         edges with exactly one facet\n"
               "  wire edges             edges with no facet\n"
               "  non-manifold edges     pairs of vertices joined by more than one edge: an edge\n"
               "                         holds at most two facets, so more facets along one line,\n"
               "                         or two open sides never stitched, show up as extra edges\n"
               "  non-manifold vertices  vertices whose facets form more than one fan (facets\n"
               "                         along the same neighbour count as connected): sheets\n"
               "                         touching at a single point\n"
               "  facets with holes      facets of more than one contour\n"
               "  degenerate facets      fewer than three edges or distinct vertices, or no plane\n"
               "                         (every triangle of its corners has zero area)\n"
               "  pieces                 groups of facets joined across edges\n"
               "  orientable             the facets can be turned to agree along every edge they\n"
               "                         share; consistently oriented: they already do\n"
               "  volume                 enclosed volume of a closed, consistently oriented\n"
               "                         surface, positive when the facets face out, negative\n"
               "                         when they face in (\"none\" and the reason otherwise)\n"
               "  genus                  handles of a closed orientable manifold, summed over\n"
               "                         its pieces from V - E + F (a facet with h holes counts\n"
               "                         1 - h); \"none\" and the reason otherwise\n";
    if (command == "repair")
        return UsageOf("repair", RepairLine()) +
               std::string("\n"
                           "Runs, in order, and prints the counts before -> after of each:\n"
                           "  RemoveEqualsVertexAndDivideEdges  weld vertices closer than 1e-6, split edges\n"
                           "                                    at vertices lying on them\n"
                           "  RemoveEqualsNormal                weld normals and texture coordinates\n"
                           "  RemoveTrivialFacets               drop facets without a plane or with < 3 edges\n"
                           "  RemoveEqualsVertexAndDivideEdges again\n"
                           "                                    split edges at the vertices the dropped\n"
                           "                                    facets held apart\n"
                           "  RemoveEqualsFacets                drop facets repeating an earlier one\n"
                           "  RemoveNonManifoldEdges            stitch boundary edges joining the same vertices\n"
                           "  OrientNormals2(true)              with --orient: turn facets to face out of the\n"
                           "                                    solid (also counts the facets turned)\n"
                           "  UnionInPlaneFacets(-1)            with --merge-coplanar: merge connected coplanar\n"
                           "                                    facets (holes kept), then hide edges between\n"
                           "                                    coplanar facets (counts groups and edges)\n"
                           "  Triangulate(4, 0)                 with --triangulate: every facet of four or more\n"
                           "                                    edges into triangles\n"
                           "then reports whether the result is closed and writes OUT (--ascii: ASCII STL\n"
                           "or PLY).\n"
                           "Nothing is written when IN cannot be read.\n\n") +
               FormatsHelp(RepairLine());
    if (command == "convert")
        return UsageOf("convert", ConvertLine()) +
               std::string("\n"
                           "Reads IN and writes it to OUT in the format OUT's extension names (--ascii:\n"
                           "ASCII STL or PLY). STL input arrives as unshared triangles and is welded on reading.\n"
                           "--texcoords lays planar texture coordinates on every facet corner first (each\n"
                           "vertex's two coordinates in the plane the facet shows most of); of the formats\n"
                           "only OBJ keeps them. Nothing is written when IN cannot be read.\n\n") +
               FormatsHelp(ConvertLine());
    if (command == "render")
        return RenderHelp();
    if (command == "contours")
        return ContoursHelp();
    if (command == "demo")
        return UsageOf("demo", DemoLine()) +
               "\n"
               "Builds meshes in code and runs the repair passes and triangulation on them:\n"
               "  box     a box with a square tunnel, built facet by facet with vertices of\n"
               "          its own (top and bottom are facets with a hole)\n"
               "  sphere  a sphere as a soup of a few thousand triangles, each with its own corners,\n"
               "          every other one wound inwards (oriented outwards by the repair)\n"
               "  plate   one facet with four holes\n"
               "  floor   loose tiles around a courtyard, merged into one facet with a hole\n"
               "  wall    a wall minus a window box flush with its faces and a door box\n"
               "  sliced  that wall below a tilted plane through both openings, capped\n"
               "  gable   that wall under a gable's two roof slopes, cut along them\n"
               "  pushed  a wall with a window pushed through it, a sill pulled out under it\n"
               "          and a niche pushed in beside it (the editing tool's InsertFacet)\n"
               "  shell   a block standing on a plinth, every face grown by 0.2\n"
               "  spheres-union, spheres-difference, spheres-intersection\n"
               "          two overlapping UV spheres combined by the boolean engine\n"
               "  roof    an L-shaped house's hip roof with overhang, thickness and fascia\n"
               "  roof-openings\n"
               "          that roof with a chimney and a roof window cut through both layers\n"
               "  site    a smoothed survey with a building pad cut in, closed into a body\n"
               "Prints the counts after each step and writes <name>.obj, <name>.wrl and a\n"
               "picture <name>.png (as g3 render draws it) for each to DIR (default ./g3-demo,\n"
               "created when missing).\n";
    if (command == "section")
        return SectionHelp();
    if (command == "classify")
        return ClassifyHelp();
    return std::string();
}

int CommandRepair(const std::vector<std::string>& raw)
{
    const ArgSyntax syntax = SyntaxOf(RepairLine());
    InOut io;
    bool done = false;
    G3Surface s;
    // The repair welds first: a soup is read with its equal vertices as
    // one, which the welding would have made of it anyway.
    g3io::ReadOptions read;
    read.mergeEqualVertices = true;
    bool welded = false;
    read.welded = &welded;
    const int status = OpenInOut("repair", raw, syntax, io, s, done, read);
    if (done)
        return status;
    RepairOptions options;
    options.weldedOnReading = welded;
    options.triangulate = io.args.Has("--triangulate");
    options.orient = io.args.Has("--orient");
    options.mergeCoplanar = io.args.Has("--merge-coplanar");
    RunRepairPasses(s, options, io.progress, [](const PassResult& r) {
        // What a pass freed goes back before the next one takes more.
        ReleaseFreeMemory();
        std::printf("%s: %s%s%s (%s)\n", r.name.c_str(), DescribeChange(r.before, r.after).c_str(),
                    r.detail.empty() ? "" : ", ", r.detail.c_str(), r.plain.c_str());
    });
    std::printf("closed: %s\n", IsClosedSolid(s) ? "yes" : "no");
    ReleaseFreeMemory();
    return WriteOutput(io.out, s, io.args.Has("--ascii"), io.progress);
}

int CommandConvert(const std::vector<std::string>& raw)
{
    const ArgSyntax syntax = SyntaxOf(ConvertLine());
    InOut io;
    bool done = false;
    G3Surface s;
    const int status = OpenInOut("convert", raw, syntax, io, s, done);
    if (done)
        return status;
    if (io.args.Has("--texcoords")) {
        s.FormPlaneEquation();
        s.GenerateTexCoo(TEXTURE_PROJECTION_PLANAR);
    }
    return WriteOutput(io.out, s, io.args.Has("--ascii"), io.progress);
}

}  // namespace g3tool

namespace {

int Run(int argc, char** argv)
{
    using namespace g3tool;
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    if (args.empty()) {
        std::fputs(ToolUsage().c_str(), stderr);
        return kExitBadInput;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    if (command == "--help" || command == "-h") {
        std::fputs(ToolUsage().c_str(), stdout);
        return kExitOk;
    }
    if (command == "help") {
        if (args.empty() || args[0] == "help") {
            std::fputs(ToolUsage().c_str(), stdout);
            return kExitOk;
        }
        const std::string text = CommandHelp(args[0]);
        if (text.empty()) {
            std::fprintf(stderr, "g3: unknown command '%s'\n\n%s", args[0].c_str(), ToolUsage().c_str());
            return kExitBadInput;
        }
        std::fputs(text.c_str(), stdout);
        return kExitOk;
    }
    if (command == "--version" || command == "-V") {
        std::printf("g3 %s\n", G3_VERSION);
        return kExitOk;
    }
    if (command == "info")
        return CommandInfo(args);
    if (command == "repair")
        return CommandRepair(args);
    if (command == "convert")
        return CommandConvert(args);
    if (command == "demo")
        return CommandDemo(args);
    if (command == "render")
        return CommandRender(args);
    if (command == "contours")
        return CommandContours(args);
    if (command == "boolean")
        return CommandBoolean(args);
    if (command == "update")
        return CommandUpdate(args);
    if (command == "section")
        return CommandSection(args);
    if (command == "classify")
        return CommandClassify(args);
    if (command == "slice")
        return CommandSlice(args);
    if (command == "separate")
        return CommandSeparate(args);
    if (command == "box")
        return CommandBox(args);
    if (command == "sphere")
        return CommandSphere(args);
    if (command == "shell")
        return CommandShell(args);
    if (command == "roof")
        return CommandRoof(args);
    if (command == "terrain")
        return CommandTerrain(args);
    if (command == "check")
        return CommandCheck(args);
    if (command == "explode")
        return CommandExplode(args);
    if (command == "insert")
        return CommandInsert(args);
    if (command == "clip")
        return CommandClip(args);
    if (!command.empty() && command[0] == '-')
        std::fprintf(stderr, "g3: unknown option '%s'\n\n%s", command.c_str(), ToolUsage().c_str());
    else
        std::fprintf(stderr, "g3: unknown command '%s'\n\n%s", command.c_str(), ToolUsage().c_str());
    return kExitBadInput;
}

}  // namespace

int main(int argc, char** argv)
{
    // Nothing may escape as an exception: running out of memory or an
    // exception from deep inside a pass is an internal failure like any
    // other, reported and turned into status 1.
    int status = g3tool::kExitFailure;
    try {
        status = Run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "g3: out of memory\n");
        status = g3tool::kExitFailure;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "g3: internal error: %s\n", e.what());
        status = g3tool::kExitFailure;
    } catch (...) {
        std::fprintf(stderr, "g3: internal error\n");
        status = g3tool::kExitFailure;
    }
    std::fflush(stdout);
    if (std::ferror(stdout)) {
        std::fprintf(stderr, "g3: error writing to standard output\n");
        if (status == g3tool::kExitOk)
            status = g3tool::kExitFailure;
    }
    return status;
}
