// The tool as a user meets it, grouped by command: roofs written welded
// (thick ones closed, facing out, thickness times plan area), help texts
// against their parsers, `update` levels, a points file handed to `info`
// and meshes whose size the point tolerance does not suit.

#include "tests/tools/g3_tool_fixture.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#ifdef G3_TOOL_PATH

namespace {

using namespace g3tooltest;

class G3UserCli : public G3ToolTest {};

// Random rectangles and L shapes, counter-clockwise, some with a corner
// in the middle of an edge whose two halves get different pitches. The
// overhung plan of an orthogonal outline of area A and perimeter P is
// A + P o + 4 o^2, so a thick roof must hold t times that.
TEST_F(G3UserCli, RoofThickRoofsAreClosedSlabsFacingOutOfThicknessTimesPlanArea)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> len(3.0, 12.0), pitch(20.0, 55.0), unit(0.0, 1.0);
    for (int k = 0; k < 8; ++k) {
        const double w = len(rng), h = len(rng), o = k % 3 == 0 ? 0.0 : 0.2 + unit(rng), t = 0.1 + 0.3 * unit(rng);
        std::vector<std::array<double, 2>> p;
        if (k % 2) {
            // An L: the top right corner cut away.
            const double cw = w * (0.3 + 0.4 * unit(rng)), ch = h * (0.3 + 0.4 * unit(rng));
            p = {{0, 0}, {w, 0}, {w, h - ch}, {w - cw, h - ch}, {w - cw, h}, {0, h}};
        } else {
            p = {{0, 0}, {w / 2, 0}, {w, 0}, {w, h}, {0, h}};  // a step between collinear eaves
        }
        // Every length as the files hold it (six decimals).
        auto held = [](double v) { return std::stod(std::to_string(v)); };
        std::string text;
        for (auto& q : p) {
            q = {held(q[0]), held(q[1])};
            text += std::to_string(q[0]) + " " + std::to_string(q[1]) + " " + std::to_string(pitch(rng)) + "\n";
        }
        Write("outline.txt", text);
        SCOPED_TRACE(text);
        const Result r = Run({"roof", P("outline.txt"), "-o", P("roof.obj"), "--thickness", std::to_string(t),
                              "--overhang", std::to_string(o)});
        ASSERT_EQ(0, r.status) << r.err;
        EXPECT_NE(std::string::npos, r.out.find("closed slab, facets facing out")) << r.out;
        const Result info = Info(P("roof.obj"));
        EXPECT_EQ("yes", Key(info.out, "closed"));
        EXPECT_EQ("1", Key(info.out, "pieces"));
        EXPECT_EQ("yes", Key(info.out, "consistently oriented"));
        double area = 0, perimeter = 0;
        for (std::size_t i = 0; i < p.size(); ++i) {
            const auto& a = p[i];
            const auto& b = p[(i + 1) % p.size()];
            area += 0.5 * (a[0] * b[1] - b[0] * a[1]);
            perimeter += std::hypot(b[0] - a[0], b[1] - a[1]);
        }
        const double expected = held(t) * (area + perimeter * held(o) + 4 * held(o) * held(o));
        // The summary prints 12 digits, g3 info 9.
        const std::size_t at = r.out.find("volume ");
        ASSERT_NE(std::string::npos, at) << r.out;
        EXPECT_NEAR(expected, std::stod(r.out.substr(at + 7)), 1e-9 * expected);
        EXPECT_NEAR(expected, std::stod(Key(info.out, "volume")), 1e-8 * expected);
    }
}

TEST_F(G3UserCli, RoofRawKeepsTheGeneratorsFacetsAndASheetSaysSo)
{
    Write("outline.txt", "0 0 30\n10 0 30\n10 6 30\n0 6 30\n");
    const struct {
        std::vector<std::string> extra;
        const char* summary;  // in stdout
        const char* pieces;   // as g3 info counts them
    } cases[] = {
        {{}, "one sheet, 4 boundary edges", "1"},
        {{"--raw"}, "", "4"},
        {{"--thickness", "0.2", "--raw"}, "", "12"},
        {{"--thickness", "0.2"}, "closed slab, facets facing out, volume 12", "1"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"roof", P("outline.txt"), "-o", P("roof.obj")};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const Result r = Run(args);
        ASSERT_EQ(0, r.status) << r.err;
        EXPECT_EQ(c.summary[0] == '\0', r.out.find("welded:") == std::string::npos) << r.out;
        EXPECT_NE(std::string::npos, r.out.find(c.summary)) << r.out;
        EXPECT_EQ(c.pieces, Key(Info(P("roof.obj")).out, "pieces")) << r.out;
    }
    // Whatever an opening leaves, the summary claims a slab only when the
    // file holds one.
    Write("opening.txt", "4.5 1\n5.5 1\n5.5 2\n4.5 2\n");
    const Result r =
        Run({"roof", P("outline.txt"), "-o", P("roof.obj"), "--thickness", "0.2", "--opening", P("opening.txt")});
    ASSERT_EQ(0, r.status) << r.err;
    const Result info = Info(P("roof.obj"));
    EXPECT_EQ(r.out.find("closed slab") != std::string::npos,
              Key(info.out, "closed") == "yes" && Key(info.out, "consistently oriented") == "yes")
        << r.out << info.out;
    EXPECT_EQ(r.out.find("not closed: " + Key(info.out, "boundary edges") + " boundary edges") != std::string::npos,
              Key(info.out, "closed") == "no")
        << r.out << info.out;
}

// Every option a help text names is one its command's parser takes: the
// commands and options of `g3 --help`, and each command's own help (its
// usage lines for every spelling, the rest for long options).
TEST_F(G3UserCli, HelpNamesOnlyOptionsTheParserTakes)
{
    const Result top = Run({"--help"});
    ASSERT_EQ(0, top.status);
    std::vector<std::pair<std::string, std::string>> tried;  // command, option
    auto options = [](const std::string& text, bool shortToo) {
        std::vector<std::string> out;
        for (std::size_t i = 0; i + 1 < text.size(); ++i) {
            if (text[i] != '-' || (i > 0 && text[i - 1] != ' ' && text[i - 1] != '[' && text[i - 1] != '('))
                continue;
            std::size_t j = i + 1 + (text[i + 1] == '-');
            const std::size_t start = j;
            while (j < text.size() && (std::islower(static_cast<unsigned char>(text[j])) || text[j] == '-'))
                ++j;
            if (j > start && (text[i + 1] == '-' || (shortToo && j == start + 1)))
                out.push_back(text.substr(i, j - i));
        }
        return out;
    };
    std::istringstream in(top.out.substr(top.out.find("Commands:")));
    std::string line, command;
    std::vector<std::string> commands;
    std::getline(in, line);
    while (std::getline(in, line) && !line.empty()) {
        if (line.compare(0, 2, "  ") == 0 && line[2] != ' ') {
            command = line.substr(2, line.find(' ', 2) - 2);
            commands.push_back(command);
        }
        for (const std::string& o : options(line, false))
            tried.emplace_back(command, o);
    }
    ASSERT_GE(commands.size(), 19u) << top.out;
    for (const std::string& c : commands) {
        tried.emplace_back(c, "--quiet");
        const Result help = Run({c, "--help"});
        ASSERT_EQ(0, help.status) << c;
        EXPECT_EQ(0u, help.out.find("usage: g3 " + c)) << help.out;
        const std::size_t usageEnd = help.out.find("\n\n");
        for (const std::string& o : options(help.out.substr(0, usageEnd), true))
            tried.emplace_back(c, o);
        for (const std::string& o : options(help.out.substr(usageEnd), false))
            tried.emplace_back(c, o);
    }
    for (const auto& [c, o] : tried) {
        // Taken or wanting its value, never unknown.
        const Result r = Run({c, o});
        EXPECT_EQ(std::string::npos, r.err.find("unknown option")) << "g3 " << c << " " << o << ": " << r.err;
    }
}

// A mesh without facets is no closed solid in any report, nor an operand;
// a facet without area is a finding of `check`, placed after its facet's
// other findings; an empty output name is a usage error of every command
// that writes.
TEST_F(G3UserCli, EmptyMeshesDegenerateFacetsAndEmptyOutputNames)
{
    const std::string cube = Data("cube.obj");
    Write("empty.off", "OFF\n0 0 0\n");
    Write("points.off", "OFF\n3 0 0\n0 0 0\n1 0 0\n0 1 0\n");
    // Facet 1 has its corners on one line, and in the second file a
    // zero-length edge too.
    Write("line.off", "OFF\n4 2 0\n0 0 0\n1 0 0\n0 1 0\n2 0 0\n3 0 1 2\n3 0 1 3\n");
    Write("short.off", "OFF\n5 2 0\n0 0 0\n1 0 0\n0 1 0\n2 0 0\n1 0 0\n3 0 1 2\n4 0 1 4 3\n");
    Write("outline.txt", "0 0 45\n4 0 45\n4 3 45\n0 3 45\n");
    Write("survey.txt", "0 0 0\n1 0 0\n0 1 0\n1 1 1\n");
    const struct {
        std::vector<std::string> args;
        int status;
        const char* lines;  // each found in stdout or stderr, in this order
    } rows[] = {
        {{"info", P("empty.off")}, 0, "closed: no\nvolume: none (no facets)\ngenus: none (no facets)\n"},
        {{"info", P("points.off")}, 0, "closed: no\nvolume: none (no facets)\ngenus: none (no facets)\n"},
        {{"repair", P("empty.off"), "-o", P("r.off")}, 0, "closed: no\n"},
        {{"update", "1001", P("empty.off"), "-o", P("u.off")}, 0, "coordinates, closed: no\n"},
        {{"boolean", "union", P("empty.off"), cube, "-o", P("b.off")}, 2, "empty.off is not closed"},
        {{"slice", P("empty.off"), "--plane", "0,0,1,0", "-o", P("s.off")}, 2, "empty.off is not closed"},
        {{"slice", cube, "--sheet", P("empty.off"), "-o", P("s.off")}, 2, "empty.off has no facets"},
        {{"check", P("line.off")}, 1, "degenerate facet: facet 1\n"},
        {{"check", P("short.off")}, 1, "short edge: facet 1, vertices 1-4\ndegenerate facet: facet 1\n"},
    };
    for (const auto& r : rows) {
        const Result got = Run(r.args);
        EXPECT_EQ(r.status, got.status) << r.args[0] << " " << r.args[1] << ": " << got.err;
        const std::string text = got.out + got.err;
        std::size_t at = 0;
        for (std::istringstream in(r.lines); in.good();) {
            std::string line;
            std::getline(in, line, '\n');
            if (line.empty())
                continue;
            const std::size_t found = text.find(line, at);
            EXPECT_NE(std::string::npos, found) << r.args[0] << " " << r.args[1] << ": " << line << " in\n" << text;
            at = found == std::string::npos ? at : found + line.size();
        }
    }
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"convert", cube}, {"repair", cube}, {"box", "0,0,0,1,1,1"}, {"sphere", "1", "8"},
             {"shell", cube, "--thickness", "0.1"}, {"slice", cube, "--plane", "0,0,1,0.5"},
             {"section", cube, "--plane", "0,0,1,0.5"}, {"boolean", "union", cube, cube},
             {"update", "1001", cube}, {"render", cube}, {"separate", cube}, {"explode", cube},
             {"roof", P("outline.txt")}, {"terrain", P("survey.txt")}}) {
        args.insert(args.end(), {"-o", ""});
        const Result got = Run(args);
        EXPECT_EQ(2, got.status) << args[0];
        EXPECT_NE(std::string::npos, got.err.find("names no file")) << args[0] << ": " << got.err;
    }
}

// LEVEL is 1001, 1002 or 1003; anything else is refused before IN is read.
TEST_F(G3UserCli, UpdateRefusesLevelsOtherThanTheThree)
{
    const std::string cube = Data("cube.obj");
    for (const char* level : {"7", "0", "1000", "1004", "99999999999", "1001.0", "1e3"}) {
        const Result r = Run({"update", level, cube, "-o", P("out.obj")});
        EXPECT_EQ(2, r.status) << level;
        EXPECT_NE(std::string::npos, r.err.find("LEVEL must be")) << r.err;
        EXPECT_EQ(0u, Files().count("out.obj")) << level;
    }
    for (const char* level : {"1001", "1002", "1003"})
        EXPECT_EQ(0, Run({"update", level, cube, "-o", P(std::string(level) + ".obj")}).status) << level;
}

// Text that is not a dump is named as such; a mesh far from metre-sized
// draws a warning about the point tolerance.
TEST_F(G3UserCli, InfoNamesAPointsFileAndWarnsOfMeshesTheToleranceDoesNotSuit)
{
    Write("pts.txt", "0 0 0\n1 2 3\n4 5 6\n");
    const Result pts = Run({"info", P("pts.txt")});
    EXPECT_EQ(2, pts.status);
    EXPECT_NE(std::string::npos, pts.err.find("pts.txt:1: not a mesh dump: the first line should be")) << pts.err;
    const struct {
        const char* corner;
        bool warned;
    } sizes[] = {{"0.0001,0.0001,0.0001", true},   {"0.002,0.001,0.001", false}, {"3,1,1", false},
                 {"9000000,1,1", false},           {"20000000,1,1", true}};
    for (const auto& c : sizes) {
        ASSERT_EQ(0, Run({"box", std::string("0,0,0,") + c.corner, "-o", P("box.obj")}).status);
        const Result r = Info(P("box.obj"));
        EXPECT_EQ(c.warned, r.err.find("warning:") != std::string::npos) << c.corner << ": " << r.err;
    }
}

// "wrote" names what the file holds, read back the same by info; each
// repair step carries its plain words.
TEST_F(G3UserCli, ConvertReportsWhatTheFileHoldsAndRepairSaysWhatEachStepDoes)
{
    const struct {
        const char* name;
        const char* wrote;
        const char* facets;  // as info reads the file back
    } cases[] = {
        {"cube.stl", "12 triangles", "12"},
        {"cube.off", "8 vertices, 6 faces", "6"},
        {"cube.ply", "8 vertices, 6 faces", "6"},
        {"cube.obj", "8 vertices, 6 faces, 0 normals, 0 texture coordinates", "6"},
        {"cube.txt", "8 vertices, 12 edges, 6 facets, 0 normals, 0 texture coordinates", "6"},
        {"cube.wrl", "8 vertices, 6 faces", nullptr},
    };
    for (const auto& c : cases) {
        const Result r = Run({"convert", Data("cube.obj"), "-o", P(c.name)});
        ASSERT_EQ(0, r.status) << r.err;
        EXPECT_EQ(c.wrote, Key(r.out, "wrote " + P(c.name))) << r.out;
        if (c.facets) {
            EXPECT_EQ(c.facets, Key(Info(P(c.name)).out, "facets")) << c.name;
        }
    }
    // The dump has no place for corner normals and texture coordinates: it
    // is not said to hold those the surface had.
    std::ofstream(P("shaded.obj")) << "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nvt 0 0\nf 1/1/1 2/1/1 3/1/1\n";
    const Result dump = Run({"convert", P("shaded.obj"), "-o", P("shaded.txt")});
    ASSERT_EQ(0, dump.status) << dump.err;
    EXPECT_EQ("3 vertices, 3 edges, 1 facets, 1 normals, 1 texture coordinates",
              Key(dump.out, "read " + P("shaded.obj")));
    EXPECT_EQ("3 vertices, 3 edges, 1 facets, 0 normals, 0 texture coordinates",
              Key(dump.out, "wrote " + P("shaded.txt")));
    const Result r = Run({"repair", Data("cube.obj"), "-o", P("cube.stl"), "--orient"});
    ASSERT_EQ(0, r.status) << r.err;
    for (const char* step :
         {"RemoveEqualsVertexAndDivideEdges: ", "RemoveNonManifoldEdges: ", "OrientNormals2(true): "}) {
        const std::size_t at = r.out.find(step);
        ASSERT_NE(std::string::npos, at) << r.out;
        const std::string line = r.out.substr(at, r.out.find('\n', at) - at);
        EXPECT_EQ(')', line.back()) << line;
        EXPECT_GT(line.size() - line.rfind(" ("), 12u) << line;
    }
    EXPECT_NE(std::string::npos, r.out.find("wrote " + P("cube.stl") + ": 12 triangles")) << r.out;
}

// A written file lands where a link points, keeping the link and the
// replaced file's permissions; a link to a device, or a loop, is a failed
// write (status 1) that leaves the link alone.
TEST_F(G3UserCli, WritesFollowLinksAndKeepPermissions)
{
    namespace fs = std::filesystem;
    ASSERT_EQ(0, Run({"box", "0,0,0,2,1,1", "-o", P("in.off")}).status);
    Write("real.off", "OFF\n0 0 0\n");
    fs::permissions(P("real.off"), fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("real.off", P("link.off"));
    fs::create_symlink("made.off", P("dangling.off"));
    fs::create_symlink("/dev/full", P("full.off"));
    fs::create_symlink("loop2.off", P("loop1.off"));
    fs::create_symlink("loop1.off", P("loop2.off"));
    const struct {
        std::vector<std::string> args;
        int status;
        const char* link;     // stays a link
        const char* written;  // then holds the box
    } rows[] = {
        {{"convert", P("in.off"), "-o", P("link.off")}, 0, "link.off", "real.off"},
        {{"repair", P("in.off"), "-o", P("dangling.off")}, 0, "dangling.off", "made.off"},
        {{"separate", P("in.off"), "-o", P("full.off")}, 0, nullptr, "full-1.off"},
        {{"convert", P("in.off"), "-o", P("full.off")}, 1, "full.off", nullptr},
        {{"slice", P("in.off"), "--plane", "1,0,0,1", "-o", P("a.off"), "-o", P("full.off")}, 1, "full.off", nullptr},
        {{"convert", P("in.off"), "-o", P("loop1.off")}, 1, "loop1.off", nullptr},
    };
    for (const auto& row : rows) {
        Result r = Run(row.args);
        EXPECT_EQ(row.status, r.status) << row.args.back() << "\n" << r.err;
        if (row.link) {
            EXPECT_TRUE(fs::is_symlink(P(row.link))) << row.link;
        }
        if (row.written) {
            EXPECT_EQ(2.0, std::atof(Key(Info(P(row.written)).out, "volume").c_str())) << row.written;
        }
    }
    EXPECT_FALSE(fs::exists(P("a.off")));
    EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write,
              fs::status(P("real.off")).permissions() & fs::perms::all);
}

// Text inputs as an editor saves them (a UTF-8 byte order mark first) read
// as without it, and an OFF file handed over through a named pipe is read
// as it flows (not opened twice, which waited for a second writer).
TEST_F(G3UserCli, InputsWithAByteOrderMarkOrThroughAPipe)
{
    const std::string bom = "\xEF\xBB\xBF";
    ASSERT_EQ(0, Run({"box", "0,0,0,1,1,1", "-o", P("cube.off")}).status);
    Write("points.txt", bom + "0.5 0.5 0.5\n2 2 2\n");
    Write("survey.txt", bom + "0 0 0\n1 0 0\n0 1 0\n1 1 1\n");
    Write("outline.txt", bom + "0 0 30\n10 0 30\n10 10 30\n0 10 30\n");
    Write("contours.txt", bom + "0 0\n1 0\n1 1\n0 1\n");
    const std::vector<std::vector<std::string>> rows = {
        {"classify", P("cube.off"), P("points.txt")},
        {"terrain", P("survey.txt"), "-o", P("t.off")},
        {"roof", P("outline.txt"), "-o", P("r.off")},
        {"contours", P("contours.txt")},
    };
    for (const auto& args : rows) {
        Result r = Run(args);
        EXPECT_EQ(0, r.status) << args[0] << "\n" << r.err;
    }
    ASSERT_EQ(0, mkfifo(P("pipe.off").c_str(), 0600));
    // The shell's own printf writes as soon as the pipe opens, before the
    // reader could look at it and open it again.
    ASSERT_EQ(0, std::system(("timeout 10 sh -c 'printf \"OFF\\n3 1 0\\n0 0 0\\n1 0 0\\n0 1 0\\n3 0 1 2\\n\" > " +
                              P("pipe.off") + "' &")
                                 .c_str()));
    Result piped = Run({"info", P("pipe.off")}, "G3_PROGRESS_AFTER=3600 timeout 10");
    EXPECT_EQ(0, piped.status) << piped.err;
    EXPECT_EQ("1", Key(piped.out, "facets"));
}

}  // namespace

#endif
