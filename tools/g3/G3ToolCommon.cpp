#include "tools/g3/G3Tool.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/processing/G3Weld.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "tools/io/G3MeshIO.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <vector>

namespace g3tool {

// ------------------------------------------------------------ arguments

namespace {

bool Contains(const std::vector<std::string>& list, const std::string& s)
{
    for (const std::string& x : list)
        if (x == s)
            return true;
    return false;
}

}  // namespace

bool ParsedArgs::Has(const std::string& flag) const { return Contains(flags, flag); }

std::string ParsedArgs::Value(const std::vector<std::string>& names, const std::string& fallback) const
{
    std::string result = fallback;
    for (const auto& kv : values)
        if (Contains(names, kv.first))
            result = kv.second;
    return result;
}

bool ParsedArgs::HasValue(const std::vector<std::string>& names) const
{
    for (const auto& kv : values)
        if (Contains(names, kv.first))
            return true;
    return false;
}

bool ParseArgs(const std::vector<std::string>& args, const ArgSyntax& syntax, ParsedArgs& out, std::string& error)
{
    out = ParsedArgs();
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        // A lone "-" is a positional (conventionally a stream name), and so
        // is a negative number (a box's first corner, "-2,0,0,...").
        const bool negativeNumber = a.size() >= 2 && a[0] == '-' &&
                                    (std::isdigit(static_cast<unsigned char>(a[1])) || a[1] == '.');
        if (optionsEnded || a.size() < 2 || a[0] != '-' || negativeNumber) {
            out.positionals.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        if (a == "--help" || a == "-h") {
            out.help = true;
            continue;
        }
        if (Contains(syntax.flags, a)) {
            if (!out.Has(a))
                out.flags.push_back(a);
            continue;
        }
        const std::size_t eq = a.find('=');
        if (a.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            const std::string name = a.substr(0, eq);
            if (Contains(syntax.valueOptions, name)) {
                out.values.emplace_back(name, a.substr(eq + 1));
                continue;
            }
        }
        if (Contains(syntax.valueOptions, a)) {
            if (i + 1 >= args.size()) {
                error = "option " + a + " needs a value";
                return false;
            }
            out.values.emplace_back(a, args[++i]);
            continue;
        }
        error = "unknown option " + a;
        return false;
    }
    for (const std::vector<std::string>& spellings : syntax.once) {
        int given = 0;
        for (const auto& kv : out.values)
            if (Contains(spellings, kv.first) && ++given == 2) {
                error = "option " + kv.first + " given more than once";
                return false;
            }
    }
    return true;
}

namespace {

std::vector<std::string> Spellings(const std::string& names)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t bar; (bar = names.find('|', start)) != std::string::npos; start = bar + 1)
        out.push_back(names.substr(start, bar - start));
    out.push_back(names.substr(start));
    return out;
}

// Whether `word` stands in `text` as a word of its own.
bool Names(const std::string& text, const std::string& word)
{
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const std::size_t end = at + word.size();
        if ((at == 0 || text[at - 1] == ' ' || text[at - 1] == '[') &&
            (end == text.size() || text[end] == ' ' || text[end] == ']'))
            return true;
    }
    return false;
}

}  // namespace

ArgSyntax SyntaxOf(const CommandLine& line)
{
    ArgSyntax syntax;
    for (const OptionSpec& o : line.options) {
        for (const std::string& name : Spellings(o.names))
            (o.value.empty() ? syntax.flags : syntax.valueOptions).push_back(name);
        if (!o.value.empty() && !o.repeats)
            syntax.once.push_back(Spellings(o.names));
    }
    return syntax;
}

std::string UsageOf(const std::string& command, const CommandLine& line)
{
    const std::string head = "usage: g3 " + command;
    std::vector<std::string> words;
    if (!line.operands.empty())
        words.push_back(line.operands);
    for (const OptionSpec& o : line.options) {
        bool shown = false;
        for (const std::string& name : Spellings(o.names))
            shown = shown || Names(line.operands, name);
        if (!shown)
            words.push_back("[" + Spellings(o.names).back() + (o.value.empty() ? "" : " " + o.value) + "]");
    }
    std::string text = head, row = head;
    for (const std::string& w : words) {
        if (row.size() + 1 + w.size() > 79 && row.size() > head.size()) {
            text += "\n" + std::string(head.size(), ' ');
            row = std::string(head.size(), ' ');
        }
        text += " " + w;
        row += " " + w;
    }
    return text + "\n";
}

std::string FormatsHelp(const CommandLine& line)
{
    bool ascii = false;
    for (const OptionSpec& o : line.options)
        ascii = ascii || o.names == "--ascii";
    return std::string("Formats, chosen by file extension (case-insensitive):\n"
                       "  .txt  the kernel's text dump (read and write)\n"
                       "  .obj  Wavefront OBJ (read and write)\n"
                       "  .off  OFF (read and write)\n") +
           (ascii ? "  .stl  STL, binary or ASCII (read; written binary unless --ascii)\n"
                    "  .ply  PLY, ASCII or binary of either byte order (read; written binary\n"
                    "        little-endian unless --ascii)\n"
                  : "  .stl  STL, binary or ASCII (read; written binary)\n"
                    "  .ply  PLY, ASCII or binary of either byte order (read; written binary\n"
                    "        little-endian)\n") +
           "  .wrl  VRML 2.0 (write only)\n";
}

bool OpenCommand(const std::string& command, const std::vector<std::string>& raw, const CommandLine& line,
                 ParsedArgs& args, int& status)
{
    return OpenCommand(command, raw, SyntaxOf(line), args, status);
}

int UsageError(const std::string& command, const std::string& error)
{
    // The error, the command's usage (all its lines: a long one wraps, and
    // its first line alone would hide options) and where to read more.
    const std::string help = CommandHelp(command);
    const std::string usage = help.substr(0, help.find("\n\n"));
    std::fprintf(stderr, "g3 %s: %s\n%s\nTry 'g3 %s --help'.\n", command.c_str(), error.c_str(), usage.c_str(),
                 command.c_str());
    return kExitBadInput;
}

bool ReadTextFile(const std::string& path, std::string& text, std::string& error)
{
    text.clear();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    char buf[1 << 16];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    const bool failed = std::ferror(f) != 0;
    const int why = errno;
    std::fclose(f);
    if (failed) {
        error = path + ": cannot read: " + (why != 0 ? std::strerror(why) : "read error");
        return false;
    }
    // A UTF-8 byte order mark, as an editor may put before the text, is no
    // part of the first line (the mesh readers pass over it too).
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    return true;
}

// ------------------------------------------------------------ progress

Progress::Progress(bool q) : quiet(q), threshold(1.0), start(std::chrono::steady_clock::now())
{
    if (const char* env = std::getenv("G3_PROGRESS_AFTER")) {
        char* end = nullptr;
        const double v = std::strtod(env, &end);
        if (end != env && v >= 0.0 && v < 1e9)
            threshold = v;
    }
}

void Progress::Pass(const std::string& name)
{
    if (quiet)
        return;
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (elapsed >= threshold) {
        std::fprintf(stderr, "g3: %s...\n", name.c_str());
        std::fflush(stderr);
    }
}

// ------------------------------------------------------------ counts

Counts CountsOf(G3Surface& s)
{
    Counts c;
    c.vertices = s.GetVertexCount();
    c.edges = s.GetEdgeCount();
    c.facets = s.GetFacetCount();
    c.normals = s.GetNormalCount();
    c.texCoos = s.GetTexCooCount();
    return c;
}

std::string Describe(const Counts& c)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, "%d vertices, %d edges, %d facets, %d normals, %d texture coordinates", c.vertices,
                  c.edges, c.facets, c.normals, c.texCoos);
    return buf;
}

std::string DescribeWritten(G3Surface& s, const std::string& path, const g3io::FileContents* written)
{
    const g3io::Format format = g3io::FormatFromPath(path);
    if (format == g3io::Format::Dump) {
        // The dump keeps no normals or texture coordinates.
        Counts c = CountsOf(s);
        c.normals = c.texCoos = 0;
        return Describe(c);
    }
    g3io::FileContents c;
    if (written)
        c = *written;
    else if (!g3io::CountFileContents(s, format, c))
        return "nothing";
    auto count = [](long long n, const char* one, const char* many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    if (c.trianglesOnly)
        return count(c.faces, "triangle", "triangles");
    std::string text = count(c.vertices, "vertex", "vertices") + ", " + count(c.faces, "face", "faces");
    if (format == g3io::Format::Obj)
        text += ", " + count(c.normals, "normal", "normals") + ", " +
                count(c.texCoos, "texture coordinate", "texture coordinates");
    return text;
}

std::string DescribeChange(const Counts& b, const Counts& a)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, "vertices %d -> %d, edges %d -> %d, facets %d -> %d, normals %d -> %d",
                  b.vertices, a.vertices, b.edges, a.edges, b.facets, a.facets, b.normals, a.normals);
    return buf;
}

// ------------------------------------------------------------ repair sequence

namespace {

// Rounds of edge division after the trivial facets are gone, at most: each
// reaches one more link of a chain of vertices off the original edge.
constexpr int kDivideRounds = 64;

// How many facets `run` turned around: facets whose plane normal points
// the other way afterwards (the facet list is unchanged unless facets are
// merged, which only orientation's final merge along flagged edges does).
int TurnedBy(G3Surface& s, const std::function<void()>& run)
{
    s.FormPlaneEquation();
    std::vector<std::array<double, 3>> before;
    for (int k = 0; k < s.GetFacetCount(); ++k) {
        const double* p = s.GetFacet(k)->GetPlane();
        before.push_back({p[0], p[1], p[2]});
    }
    run();
    int turned = 0;
    for (int k = 0; k < s.GetFacetCount() && k < static_cast<int>(before.size()); ++k) {
        const double* p = s.GetFacet(k)->GetPlane();
        if (p[0] * before[k][0] + p[1] * before[k][1] + p[2] * before[k][2] < 0.0)
            ++turned;
    }
    return turned;
}

}  // namespace

int OrientOutward(G3Surface& s)
{
    return TurnedBy(s, [&] { s.OrientNormals2(true); });
}

bool ReadSolidFile(const std::string& path, G3Surface& s, Progress& progress)
{
    progress.Pass("reading " + path);
    std::string message;
    if (!g3io::ReadMeshFile(path, s, message)) {
        std::fprintf(stderr, "g3: %s\n", message.c_str());
        return false;
    }
    // A read that left part of the file unread says so (faces past the
    // announced count, bytes after the last triangle).
    if (!message.empty())
        std::fprintf(stderr, "g3: %s\n", message.c_str());
    s.FormPlaneEquation();
    return true;
}

bool IsClosedSolid(const G3Surface& s)
{
    return s.GetFacetCount() > 0 && G3SurfaceWatertight(&s);
}

std::string SolidSummary(G3Surface& s)
{
    std::string text = Describe(CountsOf(s));
    const bool closed = IsClosedSolid(s);
    text += closed ? ", closed: yes" : ", closed: no";
    if (closed) {
        char buf[64];
        std::snprintf(buf, sizeof buf, ", volume: %.9g", G3SurfaceVolume(&s));
        text += buf;
    }
    return text;
}

namespace {

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

} // namespace

bool ReadNumber(const char*& p, const char* end, double& v)
{
    while (p < end && Blank(*p))
        ++p;
    if (p < end && *p == '+')
        ++p;
    const std::from_chars_result r = std::from_chars(p, end, v);
    if (r.ec != std::errc() || !(std::fabs(v) <= GTolerance::kLargestCoordinate))
        return false;
    if (r.ptr != end && !Blank(*r.ptr))
        return false;
    p = r.ptr;
    return true;
}

bool OnlyBlanks(const char* p, const char* end)
{
    while (p < end && Blank(*p))
        ++p;
    return p == end;
}

bool ParseList(const std::string& text, int n, double* out)
{
    const char* p = text.data();
    const char* end = p + text.size();
    for (int k = 0; k < n; ++k) {
        const auto r = std::from_chars(p, end, out[k]);
        if (r.ec != std::errc() || !std::isfinite(out[k]))
            return false;
        p = r.ptr;
        if (k + 1 < n) {
            if (p == end || *p != ',')
                return false;
            ++p;
        }
    }
    return p == end;
}

void AppendPoint(std::string& out, double x, double y)
{
    char buf[64];
    char* end = buf + sizeof buf;
    char* p = std::to_chars(buf, end, x + 0.0).ptr;
    *p++ = ' ';
    p = std::to_chars(p, end, y + 0.0).ptr;
    out.append("  ").append(buf, p).push_back('\n');
}

bool ParseInt(const std::string& text, int low, int high, int& v)
{
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() && v >= low && v <= high;
}

bool ReadPointGroups(const std::string& path, int dims, int least, const char* what,
                     std::vector<std::vector<Point3>>& groups)
{
    std::string text, error;
    if (!ReadTextFile(path, text, error)) {
        std::fprintf(stderr, "g3: %s\n", error.c_str());
        return false;
    }
    std::istringstream in(text);
    std::string line;
    std::vector<Point3> group;
    auto close = [&](int number) {
        if (group.empty())
            return true;
        if (group.size() < static_cast<std::size_t>(least)) {
            std::fprintf(stderr, "g3: %s:%d: %s needs at least %s points\n", path.c_str(), number, what,
                         least == 2 ? "two" : "three");
            return false;
        }
        groups.push_back(group);
        group.clear();
        return true;
    };
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        const std::size_t first = line.find_first_not_of(" \t\r");
        if (first != std::string::npos && line[first] == '#')
            continue;
        if (first == std::string::npos) {
            if (!close(number - 1))
                return false;
            continue;
        }
        const char* p = line.data();
        const char* end = p + line.size();
        Point3 v{0.0, 0.0, 0.0};
        bool ok = true;
        for (int k = 0; k < dims && ok; ++k)
            ok = ReadNumber(p, end, v[static_cast<std::size_t>(k)]);
        if (!ok || !OnlyBlanks(p, end)) {
            std::fprintf(stderr, "g3: %s:%d: expected \"%s\"\n", path.c_str(), number, dims == 2 ? "x y" : "x y z");
            return false;
        }
        group.push_back(v);
    }
    return close(number);
}

bool CheckOutputPath(const std::string& command, const std::string& path, int& status)
{
    // An empty name has no extension either, but the fault is the name.
    if (path.empty()) {
        status = UsageError(command, "-o names no file (an empty name)");
        return false;
    }
    if (g3io::FormatFromPath(path) == g3io::Format::Unknown) {
        status = UsageError(command, path + ": unknown output format (use .txt, .obj, .off, .stl, .ply or .wrl)");
        return false;
    }
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code ec;
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
        // The command line is sound; the file system is not ready for it.
        std::fprintf(stderr, "g3: %s: cannot write: no folder %s\n", path.c_str(), folder.string().c_str());
        status = kExitFailure;
        return false;
    }
    return true;
}

int WriteSolidFile(const std::string& path, G3Surface& s, Progress& progress)
{
    progress.Pass("writing " + path);
    std::string message;
    if (!g3io::WriteMeshFile(path, s, message, g3io::WriteOptions())) {
        std::fprintf(stderr, "g3: %s\n", message.c_str());
        return kExitFailure;
    }
    std::printf("wrote %s\n", path.c_str());
    return kExitOk;
}

bool PiecesOutput(const std::string& command, const ParsedArgs& a, std::string& prefix, std::string& ext,
                  int& status)
{
    if (!a.HasValue({"-o", "--output"})) {
        status = UsageError(command, "missing -o PREFIX");
        return false;
    }
    prefix = a.Value({"-o", "--output"});
    ext = ".obj";
    const std::size_t dot = prefix.find_last_of('.');
    const std::size_t slash = prefix.find_last_of('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash) &&
        g3io::FormatFromPath(prefix) != g3io::Format::Unknown) {
        ext = prefix.substr(dot);
        prefix = prefix.substr(0, dot);
    }
    if (prefix.empty() || prefix.back() == '/') {
        status = UsageError(command, "-o PREFIX names no file");
        return false;
    }
    return CheckOutputPath(command, prefix + "-1" + ext, status);
}

int WritePieces(GArrayCollection& pieces, int n, const std::string& prefix, const std::string& ext, bool formPlanes,
                Progress& progress)
{
    std::vector<std::unique_ptr<G3Surface>> owned;
    for (int k = 0; k < pieces.size(); ++k)
        owned.emplace_back(static_cast<G3Surface*>(pieces.get(k)));
    std::printf("pieces: %d\n", n);
    std::vector<std::pair<std::string, G3Surface*>> files;
    for (int k = 0; k < n && k < static_cast<int>(owned.size()); ++k) {
        G3Surface& piece = *owned[static_cast<std::size_t>(k)];
        if (formPlanes)
            piece.FormPlaneEquation();
        std::printf("piece %d: %s\n", k + 1, SolidSummary(piece).c_str());
        files.emplace_back(prefix + "-" + std::to_string(k + 1) + ext, &piece);
    }
    return WriteSolidFiles(files, progress);
}

int WriteSolidFiles(const std::vector<std::pair<std::string, G3Surface*>>& files, Progress& progress)
{
    g3io::MeshFileBatch batch;
    std::string message;
    for (const auto& file : files) {
        progress.Pass("writing " + file.first);
        if (!batch.Add(file.first, *file.second, message)) {
            std::fprintf(stderr, "g3: %s (nothing written)\n", message.c_str());
            return kExitFailure;
        }
    }
    if (!batch.Commit(message)) {
        std::fprintf(stderr, "g3: %s\n", message.c_str());
        return kExitFailure;
    }
    for (const auto& file : files)
        std::printf("wrote %s\n", file.first.c_str());
    return kExitOk;
}

void RunRepairPasses(G3Surface& s, bool triangulate, Progress& progress,
                     const std::function<void(const PassResult&)>& report)
{
    RepairOptions options;
    options.triangulate = triangulate;
    RunRepairPasses(s, options, progress, report);
}

void RunRepairPasses(G3Surface& s, const RepairOptions& options, Progress& progress,
                     const std::function<void(const PassResult&)>& report)
{
    // `keepsPlanes`: a run that leaves every count as it was has changed
    // nothing (it removes, splits or welds, all of which change a count),
    // so the planes formed before it still stand.
    struct Pass {
        const char* name;
        const char* plain;
        std::function<void()> run;
        bool keepsPlanes = false;
    };
    std::string detail;
    // A merged read (RepairOptions::weldedOnReading) is a surface the
    // first welding round would leave as it is: that round is not run (it
    // would split nothing), and the planes the reader formed still stand.
    const bool welded = options.weldedOnReading && s.GetNormalCount() == 0 && s.GetTexCooCount() == 0;
    int splits = 0, dropped = 0;
    // Whether every facet's plane is what forming it now would give: from
    // the trivial-facet pass on (it forms them, or the merged read did),
    // as long as no pass changes anything. The last forming is then left out.
    bool planesCurrent = false;
    std::vector<Pass> passes = {
        {"RemoveEqualsVertexAndDivideEdges", "weld coincident vertices, split edges at them",
         [&] {
             if (!welded)
                 splits = G3WeldAndDivide(&s);
         }},
        {"RemoveEqualsNormal", "weld equal normals and texture coordinates", [&] { s.RemoveEqualsNormal(); }},
        // A facet's plane is stored, not derived: welding may have folded a
        // facet flat without touching its old plane, so the planes are
        // formed again before the trivial ones are picked out. A facet no
        // wider than the weld tolerance goes too: the edge division treats
        // its far corner as on its long side, so the neighbour across that
        // side is split there (in the round after the drop) while the
        // sliver, kept, would hold the unsplit side and leave it unmatched.
        {"RemoveTrivialFacets", "drop facets without area or with fewer than 3 edges",
         [&] {
             const int facets = s.GetFacetCount();
             // A merged read formed every plane as it added the facet
             // (AddFacet does), and nothing has moved since.
             if (!welded)
                 s.FormPlaneEquation();
             s.RemoveTrivialFacets(GTolerance::kWeld);
             dropped = facets - s.GetFacetCount();
             planesCurrent = true;
         },
         true},
        // Edges are never split at a vertex of a facet they bound, so a
        // vertex on an edge shared with a zero-area facet (the facet's own
        // corner) is left alone until that facet is gone. Splitting once
        // more after the removal reaches those vertices. The parts of a
        // split edge are not looked at again in the same round either, so
        // a vertex near a part but not near the whole edge waits for the
        // next round: a chain of such vertices takes a round each, and the
        // rounds go on while they split (up to kDivideRounds). When
        // nothing was dropped and the first round split nothing, the
        // surface is as that round left it and another would find nothing:
        // it is skipped (long edges make it as dear as the first).
        {"RemoveEqualsVertexAndDivideEdges again", "split edges where the dropped facets held them apart",
         [&] {
             if (splits > 0 || dropped > 0)
                 for (int round = 0; round < kDivideRounds && G3WeldAndDivide(&s) > 0; ++round) {
                 }
         },
         true},
        {"RemoveEqualsFacets", "drop facets repeating another", [&] { s.RemoveEqualsFacets(); }, true},
        {"RemoveNonManifoldEdges", "stitch open edges joining the same vertices",
         [&] { s.RemoveNonManifoldEdges(); }, true},
    };
    if (options.orient)
        passes.push_back({"OrientNormals2(true)", "turn facets to face out of the solid", [&] {
                              const int turned = OrientOutward(s);
                              detail = "facets turned " + std::to_string(turned);
                          }});
    if (options.mergeCoplanar)
        passes.push_back({"UnionInPlaneFacets(-1)", "merge touching coplanar facets", [&] {
                              const int groups = s.UnionInPlaneFacets(-1);
                              const int hidden = s.MarkInPlaneEdgesAsInvisible();
                              detail = "groups merged " + std::to_string(groups) + ", edges hidden " +
                                       std::to_string(hidden);
                          }});
    if (options.triangulate)
        passes.push_back({"Triangulate(4, 0)", "split facets of 4 or more edges into triangles",
                          [&] { s.Triangulate(4, 0); }});

    for (const Pass& p : passes) {
        progress.Pass(p.name);
        PassResult r;
        r.name = p.name;
        r.plain = p.plain;
        r.before = CountsOf(s);
        detail.clear();
        p.run();
        r.after = CountsOf(s);
        r.detail = detail;
        if (!(p.keepsPlanes && r.after == r.before))
            planesCurrent = false;
        if (report)
            report(r);
    }
    if (!planesCurrent)
        s.FormPlaneEquation();
}

bool OpenCommand(const std::string& command, const std::vector<std::string>& raw, const ArgSyntax& syntax,
                 ParsedArgs& args, int& status)
{
    std::string error;
    if (!ParseArgs(raw, syntax, args, error)) {
        status = UsageError(command, error);
        return false;
    }
    if (args.help) {
        std::fputs(CommandHelp(command).c_str(), stdout);
        status = kExitOk;
        return false;
    }
    return true;
}

bool OpenOneInputCommand(const std::string& command, const std::vector<std::string>& raw, const ArgSyntax& syntax,
                         ParsedArgs& args, int& status)
{
    if (!OpenCommand(command, raw, syntax, args, status))
        return false;
    if (args.positionals.size() == 1)
        return true;
    status = UsageError(command, args.positionals.empty() ? "missing input file" : "expects exactly one input file");
    return false;
}

}  // namespace g3tool
