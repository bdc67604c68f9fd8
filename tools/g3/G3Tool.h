#pragma once
// Shared pieces of the g3 command-line tool: exit codes, the argument
// scanner every subcommand uses, progress lines on stderr, mesh counts and
// statistics, and the repair sequence that `repair` and `demo` both run.

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace g3io {
struct FileContents;
}

class G3Facet;
class G3Surface;
class GArrayCollection;

namespace g3tool {

// Exit statuses: bad input covers usage errors, missing files and files a
// reader refused; failure covers a pass or a write that went wrong.
enum ExitCode { kExitOk = 0, kExitFailure = 1, kExitBadInput = 2 };

// ---- arguments
// A subcommand's arguments split into positionals, boolean flags and
// options with a value ("-o OUT", "--output OUT", "--output=OUT"). "--"
// ends the options. Anything not declared is an error.
struct ArgSyntax {
    std::vector<std::string> flags;         // e.g. "--quiet", "--ascii"
    std::vector<std::string> valueOptions;  // e.g. "-o", "--output"
    // The spellings of each value option that may be given only once: a
    // second value would silently replace the first, so it is refused.
    std::vector<std::vector<std::string>> once;
};

struct ParsedArgs {
    std::vector<std::string> positionals;
    std::vector<std::string> flags;  // as given (first spelling of each)
    std::vector<std::pair<std::string, std::string>> values;
    bool help = false;

    bool Has(const std::string& flag) const;
    // The value of the last occurrence of any of the names; `fallback`
    // when none was given.
    std::string Value(const std::vector<std::string>& names, const std::string& fallback = std::string()) const;
    bool HasValue(const std::vector<std::string>& names) const;
};

// One option of a command: its spellings ("-o|--output") and, for an
// option that takes a value, the value's name in the help ("OUT"); a flag
// has none. A value option is given at most once unless `repeats`.
struct OptionSpec {
    std::string names;
    std::string value;
    bool repeats = false;
};
// A command's line, the one table its parser and its help are both made
// from: the operands the usage line shows first ("IN -o OUT"; an option
// named there is not repeated) and every option the parser accepts.
struct CommandLine {
    std::string operands;
    std::vector<OptionSpec> options;
};
// What the parser accepts.
ArgSyntax SyntaxOf(const CommandLine& line);
// "usage: g3 COMMAND OPERANDS [--flag] [--option VALUE] ...", wrapped under
// the command name at 80 columns, with a line break at the end.
std::string UsageOf(const std::string& command, const CommandLine& line);
// The file formats block of a command that writes meshes: --ascii is
// named only when `line` accepts it.
std::string FormatsHelp(const CommandLine& line);
// OpenCommand with the syntax of `line`.
bool OpenCommand(const std::string& command, const std::vector<std::string>& raw, const CommandLine& line,
                 ParsedArgs& args, int& status);

// False with a one-line `error` on an unknown option or a missing value.
bool ParseArgs(const std::vector<std::string>& args, const ArgSyntax& syntax, ParsedArgs& out, std::string& error);

// The whole text file at `path` (points, outlines, contours) into `text`;
// false with "PATH: cannot open: why" or "PATH: cannot read: why" in
// `error`. A folder opens but reads nothing, and must not pass for an empty
// file. A UTF-8 byte order mark at the start is dropped.
bool ReadTextFile(const std::string& path, std::string& text, std::string& error);

// ---- progress
// Announces each pass on stderr as "g3: <pass>..." once the command has run
// longer than a threshold (one second; G3_PROGRESS_AFTER=<seconds> in the
// environment changes it, which the tests use). Quick commands and --quiet
// print nothing. Stdout never carries progress, so it stays deterministic.
class Progress {
public:
    explicit Progress(bool quiet);
    void Pass(const std::string& name);

private:
    bool quiet;
    double threshold;
    std::chrono::steady_clock::time_point start;
};

// ---- counts
struct Counts {
    int vertices = 0;
    int edges = 0;
    int facets = 0;
    int normals = 0;
    int texCoos = 0;
    bool operator==(const Counts& o) const
    {
        return vertices == o.vertices && edges == o.edges && facets == o.facets && normals == o.normals &&
               texCoos == o.texCoos;
    }
};
Counts CountsOf(G3Surface& s);

// What `g3 info` reports beyond the counts.
struct MeshStats {
    Counts counts;
    bool empty = true;  // no vertices: no bounding box
    double min[3] = {0, 0, 0};
    double max[3] = {0, 0, 0};
    bool closed = false;
    int boundaryEdges = 0;       // edges with exactly one facet
    int wireEdges = 0;           // edges with no facet
    int nonManifoldEdges = 0;    // vertex pairs joined by more than one edge
    int nonManifoldVertices = 0; // vertices whose facets form more than one fan
    int facetsWithHoles = 0;     // facets of more than one contour
    int degenerateFacets = 0;    // < 3 edges, < 3 distinct vertices or zero plane
    int pieces = 0;              // facets joined across edges
    bool orientable = true;      // the facets can be turned to agree along every edge
    bool oriented = true;        // ... and already do
    double volume = 0.0;         // enclosed volume, signed; meaningful when closed and oriented
    // Sum over the pieces of (2 - (V - E + F)) / 2, a facet with h holes
    // counting 1 - h towards F; -1 unless closed, orientable and manifold.
    int genus = -1;
};
// Pieces, orientability, volume and genus into `st`, whose counts, closed
// flag and non-manifold counts are already set; ids must equal indexes.
void ComputeTopology(G3Surface& s, MeshStats& st);
// Computes the statistics; recomputes facet planes and reassigns ids (the
// topology is left as it is).
MeshStats ComputeStats(G3Surface& s);
// Whether a facet encloses no area, as `info` and `check` count it: fewer
// than three edges or distinct vertices, or no plane (planes must be
// current).
bool IsDegenerateFacet(G3Facet* f);

// ---- repair sequence
struct PassResult {
    std::string name;   // the kernel's name of the pass
    std::string plain;  // what it does, in a few words
    Counts before;
    Counts after;
    // What the pass itself counted ("" when it counts nothing beyond the
    // entity counts).
    std::string detail;
};
struct RepairOptions {
    bool triangulate = false;
    // OrientNormals2(true): facets turned to face out of the solid.
    bool orient = false;
    // UnionInPlaneFacets(-1), then MarkInPlaneEdgesAsInvisible.
    bool mergeCoplanar = false;
    // The surface was read merged (g3io::ReadOptions::welded): the welding
    // pass would leave it as it is, and is not run on it.
    bool weldedOnReading = false;
};
// The repair passes in order (welding with edge division, normal welding,
// trivial facets, equal facets, boundary-edge stitching, and optionally
// triangulation of every facet of four or more edges), each announced to
// `progress` and reported to `report` with the counts around it. Leaves
// the facet planes current.
// OrientNormals2(true) on s; returns how many facets it turned around.
int OrientOutward(G3Surface& s);
// Reads a mesh file into s and forms its planes; false (the reader's
// message on stderr) when it cannot be read.
bool ReadSolidFile(const std::string& path, G3Surface& s, Progress& progress);
// Whether s is a closed solid as a file records it: it has facets and no
// edge open on one side (G3SurfaceWatertight, which also takes an empty
// surface for closed: nothing there encloses anything).
bool IsClosedSolid(const G3Surface& s);
// "counts, closed: yes, volume: V" (the volume only when closed): closed as
// `g3 info` will read the file written (a double-sided facet is one facet
// there, a mesh without facets is not closed).
std::string SolidSummary(G3Surface& s);
// One number of a text file's line at p, after blanks (space, tab, CR) and
// an optional '+': finite, at most GTolerance::kLargestCoordinate in size,
// and followed by a blank or the end; p moves past it. False otherwise.
bool ReadNumber(const char*& p, const char* end, double& v);
// Only blanks (space, tab, CR) from p to the end.
bool OnlyBlanks(const char* p, const char* end);
// `n` comma-separated finite numbers ("a,b,c") into out.
bool ParseList(const std::string& text, int n, double* out);
using Point3 = std::array<double, 3>;
// Groups of points from a text file of "x y" (dims 2, z left 0) or "x y z"
// lines, a blank line between groups and '#' lines skipped; each group has
// at least `least` (2 or 3) points (`what` names one in the message). False,
// the reason and line on stderr, for a file that cannot be read or a
// malformed line.
bool ReadPointGroups(const std::string& path, int dims, int least, const char* what,
                     std::vector<std::vector<Point3>>& groups);
// Appends "  x y" and a line end to out, each number in the fewest digits
// that read back as the same double: nine significant digits kept only
// millimetres of a site coordinate such as 512345.1234.
void AppendPoint(std::string& out, double x, double y);
// `text` is a whole decimal integer (no sign but '-', no blanks) from low
// to high, in v.
bool ParseInt(const std::string& text, int low, int high, int& v);
// Checked before anything is read, so that a typo in an output name costs
// nothing and never leaves a file behind: the format the extension of
// `path` names (else the usage status in `status`), and the folder it goes
// into (else kExitFailure, as a write that fails). False when either is
// wrong.
bool CheckOutputPath(const std::string& command, const std::string& path, int& status);
// Writes s to path and prints "wrote PATH"; kExitFailure (the message on
// stderr) when it cannot be written.
int WriteSolidFile(const std::string& path, G3Surface& s, Progress& progress);
// Writes each surface to its path, all or none: kExitFailure (the message
// on stderr) when any cannot be written, and then every file is left as it
// was; else "wrote PATH" for each, and kExitOk.
int WriteSolidFiles(const std::vector<std::pair<std::string, G3Surface*>>& files, Progress& progress);
// `separate` and `explode`: the -o PREFIX of `command` split into the
// prefix and the extension that chooses the format (a known extension on
// PREFIX, else ".obj"); false, with the usage status in `status`, when -o
// is missing or names no file.
bool PiecesOutput(const std::string& command, const ParsedArgs& a, std::string& prefix, std::string& ext,
                  int& status);
// Takes the n surfaces in `pieces` over and writes each as PREFIX-k.EXT
// (k from 1) after a "piece k: summary" line, forming its planes first with
// `formPlanes`. The files are written as one: when any cannot be, none is
// (kExitFailure), else kExitOk.
int WritePieces(GArrayCollection& pieces, int n, const std::string& prefix, const std::string& ext, bool formPlanes,
                Progress& progress);
void RunRepairPasses(G3Surface& s, bool triangulate, Progress& progress,
                     const std::function<void(const PassResult&)>& report);
// The same with the optional passes of `options`, after the cleanup and
// before triangulation: orientation, then merging of coplanar facets.
void RunRepairPasses(G3Surface& s, const RepairOptions& options, Progress& progress,
                     const std::function<void(const PassResult&)>& report);

// "V vertices, E edges, F facets, N normals, T texture coordinates"
std::string Describe(const Counts& c);
// What the file at `path` holds once `s` is written there in the format
// its extension names: "N triangles" for STL, "V vertices, F faces" for OFF,
// PLY and VRML (OBJ adds normals and texture coordinates), Describe() for
// the dump, which holds the surface whole. `written`, when given, is what
// the writer counted, and the surface is not counted again.
std::string DescribeWritten(G3Surface& s, const std::string& path, const g3io::FileContents* written = nullptr);
// "vertices a -> b, edges ..., facets ..., normals ..."
std::string DescribeChange(const Counts& before, const Counts& after);

// ---- subcommands (argument vectors exclude the command name)
int CommandInfo(const std::vector<std::string>& args);
int CommandRepair(const std::vector<std::string>& args);
int CommandConvert(const std::vector<std::string>& args);
int CommandDemo(const std::vector<std::string>& args);
int CommandRender(const std::vector<std::string>& args);
std::string RenderHelp();

// The view a demo picture is drawn from: a `g3 render --view` word, and
// quarter turns of the eye about the vertical (counter-clockwise seen from
// above: 1 moves the iso eye from the -x -y side to the +x -y side).
struct DemoView {
    std::string view = "iso";
    int turn = 0;
};
// Writes DIR/<name>.png, a picture of `s` for the demo's results from
// `view` (`s` unchanged; its facet planes must be current). Whether it was
// written.
bool WriteDemoPicture(const std::string& dir, const std::string& name, G3Surface& s, Progress& progress,
                      const DemoView& view = DemoView());
// Divides or intersects contours read from a text file (G3ToolContours.cpp).
int CommandContours(const std::vector<std::string>& args);
std::string ContoursHelp();
// G3ToolBoolean.cpp: `boolean`, `update`, their help texts, and the solids
// of the demo's boolean scenes (a wall with a window and a door cut out; two
// overlapping spheres combined by "union", "difference" or "intersection").
int CommandBoolean(const std::vector<std::string>& args);
int CommandUpdate(const std::vector<std::string>& args);
std::string BooleanCommandHelp(const std::string& command);
std::unique_ptr<G3Surface> DemoWallWithOpenings();
std::unique_ptr<G3Surface> DemoSpheres(const std::string& op);
// The demo's stepped block (a block standing on a plinth, overhanging its
// back) grown by 0.2 on every face (G3SolidsBuilder::Shell).
std::unique_ptr<G3Surface> DemoSteppedShell();
int CommandSection(const std::vector<std::string>& args);
std::string SectionHelp();
// G3ToolSlice.cpp: `slice`, `separate` and the generators `box`, `sphere`
// and `shell`, with their help texts, and the demo's sliced wall.
int CommandSlice(const std::vector<std::string>& args);
int CommandSeparate(const std::vector<std::string>& args);
int CommandBox(const std::vector<std::string>& args);
int CommandSphere(const std::vector<std::string>& args);
int CommandShell(const std::vector<std::string>& args);
std::string SliceCommandHelp(const std::string& command);
// The demo's sliced wall: the wall with its window and door, the part
// below a plane tilted across both openings.
std::unique_ptr<G3Surface> DemoSlicedWall();
// The demo's gable wall: that wall, the part under a gable's two roof
// slopes, cut along them as one folded sheet.
std::unique_ptr<G3Surface> DemoGableWall();
// Classifies points against a closed mesh (G3ToolClassify.cpp).
int CommandClassify(const std::vector<std::string>& args);
std::string ClassifyHelp();
// G3ToolRoof.cpp: `roof`, its help text, and the demo's L-shaped house roof.
int CommandRoof(const std::vector<std::string>& args);
std::string RoofCommandHelp();
std::unique_ptr<G3Surface> DemoRoofHouse();
// G3ToolTerrain.cpp: `terrain`, its help text, and the demo's site (a
// smoothed survey with a building pad, closed into a body).
int CommandTerrain(const std::vector<std::string>& args);
std::string TerrainCommandHelp();
std::unique_ptr<G3Surface> DemoSite();

// G3ToolRoofOpening.cpp: the outlines of `g3 roof --opening FILE` ("x y"
// lines, a blank line between outlines, '#' comments), read before the roof
// is built (false, the reason on stderr, for a file that cannot be read or
// a malformed line), and cut vertically through the roof by the hole maker
// (a line "openings: N of M cut"; nothing without outlines). The number cut.
struct RoofOpenings {
    std::vector<std::vector<std::array<double, 2>>> outlines;
};
bool ReadRoofOpenings(const std::string& path, RoofOpenings& out);
int CutRoofOpenings(G3Surface& s, const RoofOpenings& openings);
// The demo house's roof (DemoRoofHouse) with a chimney and a roof window.
std::unique_ptr<G3Surface> DemoRoofWithOpenings();

// G3ToolEdit.cpp: `check` and `explode` with their help texts.
int CommandCheck(const std::vector<std::string>& args);
int CommandExplode(const std::vector<std::string>& args);
std::string EditCommandHelp(const std::string& command);

// G3ToolInsert.cpp: `insert` (pockets, bosses and openings pushed into
// faces), its help text and the demo's wall of pushed-in openings.
int CommandInsert(const std::vector<std::string>& args);
std::string InsertCommandHelp();
// The demo's wall with a window pushed through it, a sill pulled out under
// the window and a niche pushed in beside it.
std::unique_ptr<G3Surface> DemoInsertedWall();

// G3ToolClip.cpp: `clip` (polylines clipped to a window or a polygon) and
// its help text.
int CommandClip(const std::vector<std::string>& args);
std::string ClipCommandHelp();

// The command lines of the commands whose help is put together in
// CommandHelp.
const CommandLine& InfoLine();
const CommandLine& DemoLine();

// Help text of one command (empty for an unknown name) and of the tool.
std::string CommandHelp(const std::string& command);
std::string ToolUsage();

// Prints "g3 <command>: <error>", the command's usage line and a pointer to
// its --help on stderr; returns kExitBadInput.
int UsageError(const std::string& command, const std::string& error);

// The opening every command shares: parses `raw` by `syntax` into `args`.
// False when the command ends there, with `status` its exit status: a usage
// error (reported as UsageError does) or --help (the help printed).
bool OpenCommand(const std::string& command, const std::vector<std::string>& raw, const ArgSyntax& syntax,
                 ParsedArgs& args, int& status);
// OpenCommand for a command that takes exactly one input file: any other
// count of positional arguments is a usage error too.
bool OpenOneInputCommand(const std::string& command, const std::vector<std::string>& raw, const ArgSyntax& syntax,
                         ParsedArgs& args, int& status);

}  // namespace g3tool
