// The g3 tool run as a program on files: info, repair, convert and demo
// (the report lines they print and the files they write, checked by running
// `g3 info` on them); boolean, update, classify, contours, roof, section and
// render (the report and the file written); and every command's refused
// command lines in one table (statuses, messages, nothing written).

#include "common/builders.h"

#include "Geometry/foundation/GRandom.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"

#include "tests/tools/g3_tool_fixture.h"

#ifdef G3_HAVE_RENDER
#include "tools/render/G3Render.h"
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

#ifdef G3_TOOL_PATH

namespace {

using namespace g3tooltest;

class G3Cli : public G3ToolTest {
protected:
    // `g3 info` on `path` gives `values` for the keys named.
    using Values = std::initializer_list<std::pair<const char*, const char*>>;
    void ExpectInfo(const std::string& path, Values values)
    {
        const Result r = Info(path);
        for (const auto& [key, value] : values)
            EXPECT_EQ(Key(r.out, key), value) << path << ", " << key << ":\n" << r.out;
        // Closed says the same as the boundary count beside it, for a mesh
        // with facets.
        EXPECT_EQ(Key(r.out, "closed") == "yes", Key(r.out, "boundary edges") == "0" && Key(r.out, "facets") != "0")
            << path << ":\n" << r.out;
    }

    // The unit cube as OBJ triangles, every one with corners of its own.
    void WriteCubeSoupObj(const std::string& name)
    {
        static const char* c[8] = {"0 0 0", "1 0 0", "1 1 0", "0 1 0", "0 0 1", "1 0 1", "1 1 1", "0 1 1"};
        static const int quad[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                       {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
        std::ofstream out(P(name));
        int n = 0;
        for (const auto& q : quad)
            for (const int* t : {q, q + 1}) {  // the fan (q0, q1, q2), (q0, q2, q3)
                for (int k : {q[0], t[1], t[2]})
                    out << "v " << c[k] << "\n";
                out << "f " << n + 1 << " " << n + 2 << " " << n + 3 << "\n";
                n += 3;
            }
    }

    // A box from x0 to x1 (y and z from 0 to 1) as OBJ, six quads facing
    // out, turned by `turn` radians about z and then by 0.6 turn about x.
    void WriteBox(const std::string& name, double x0, double x1, double turn = 0)
    {
        std::ofstream out(P(name));
        out.precision(17);
        const double cz = std::cos(turn), sz = std::sin(turn);
        const double cx = std::cos(0.6 * turn), sx = std::sin(0.6 * turn);
        for (int i = 0; i < 8; ++i) {
            const double x = i & 1 ? x1 : x0, y = i & 2 ? 1 : 0, z = i & 4 ? 1 : 0;
            const double x2 = cz * x - sz * y, y2 = sz * x + cz * y;
            out << "v " << x2 << " " << cx * y2 - sx * z << " " << sx * y2 + cx * z << "\n";
        }
        out << "f 1 3 4 2\nf 5 6 8 7\nf 1 2 6 5\nf 3 7 8 4\nf 1 5 7 3\nf 2 4 8 6\n";
    }
};

} // namespace

// A square with a hole and three quads along one segment (an edge takes
// two, the third gets an edge of its own), saved as a dump; then surfaces
// without a volume. (Vertices where fans meet: the random scenes; facets
// without area: the slit disk of the fixed-point test.)
TEST_F(G3Cli, InfoOnDefectsAndSurfacesWithoutAVolume)
{
    {
        G3Surface s;
        G3Facet* square = testmesh::SoupFacet(s, {{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}});
        G3Vertex* hole[4] = {s.AddVertex(1, 1, 0, 0), s.AddVertex(1, 3, 0, 0), s.AddVertex(3, 3, 0, 0),
                             s.AddVertex(3, 1, 0, 0)};
        G3EdgeList list(4, hole, nullptr, nullptr, nullptr, 0, 0);
        s.AddFacetEdges(square, &list);
        G3Vertex* a = s.AddVertex(30, 0, 0, 0);
        G3Vertex* b = s.AddVertex(31, 0, 0, 0);
        G3Vertex* q1[4] = {a, b, s.AddVertex(31, 1, 0, 0), s.AddVertex(30, 1, 0, 0)};
        G3Vertex* q2[4] = {b, a, s.AddVertex(30, 0, 1, 0), s.AddVertex(31, 0, 1, 0)};
        s.AddFacet(4, q1, 1, nullptr, nullptr);
        s.AddFacet(4, q2, 1, nullptr, nullptr);
        s.AddFacet(4, q2, 1, nullptr, nullptr);
        ASSERT_TRUE(s.Save(P("defects.txt").c_str()));
    }
    ExpectInfo(P("defects.txt"), {{"closed", "no"}, {"facets with holes", "1"}, {"non-manifold edges", "1"},
                                  {"bbox min", "0 0 0"}, {"bbox max", "31 4 1"}});

    // What no random scene holds: a facet turned against its neighbours, a
    // Moebius band, nothing at all.
    std::string cube = Slurp(Data("cube.obj"));
    cube.replace(cube.find("f 1 4 3 2"), 9, "f 1 2 3 4");
    Write("turned.obj", cube);
    ExpectInfo(P("turned.obj"), {{"orientable", "yes"}, {"consistently oriented", "no"},
                                 {"volume", "none (not consistently oriented)"}, {"genus", "0"}});
    {
        std::ofstream out(P("moebius.obj"));
        const int n = 6;
        for (int i = 0; i < n; ++i)
            for (int side = -1; side <= 1; side += 2) {
                const double u = 2 * 3.14159265358979 * i / n, s = 0.5 * side;
                out << "v " << (2 + s * std::cos(u / 2)) * std::cos(u) << " "
                    << (2 + s * std::cos(u / 2)) * std::sin(u) << " " << s * std::sin(u / 2) << "\n";
            }
        for (int i = 0; i + 1 < n; ++i)
            out << "f " << 2 * i + 1 << " " << 2 * i + 3 << " " << 2 * i + 4 << " " << 2 * i + 2 << "\n";
        out << "f " << 2 * n - 1 << " 2 1 " << 2 * n << "\n";  // the half twist
    }
    ExpectInfo(P("moebius.obj"), {{"orientable", "no"}, {"consistently oriented", "no"},
                                  {"volume", "none (not closed)"}, {"genus", "none (not closed)"}});
    Write("none.obj", "# empty\n");
    ExpectInfo(P("none.obj"),
               {{"pieces", "0"}, {"closed", "no"}, {"volume", "none (no facets)"}, {"genus", "none (no facets)"}});
}

TEST_F(G3Cli, RepairWeldsTriangulatesOrientsAndMergesAndReportsProgressOnStderr)
{
    WriteCubeSoupObj("soup.obj");
    Result r = Run({"repair", P("soup.obj"), "-o", P("fixed.obj")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Key(r.out, "RemoveEqualsVertexAndDivideEdges").find("vertices 36 -> 8,"), 0u) << r.out;
    EXPECT_EQ(Key(r.out, "RemoveNonManifoldEdges").find("vertices 8 -> 8, edges 36 -> 18,"), 0u) << r.out;
    EXPECT_EQ(r.out.find("Triangulate"), std::string::npos);
    // Progress lines go to stderr only, and --quiet silences them.
    Result slow = Run({"repair", P("soup.obj"), "-o", P("fixed.obj")}, "G3_PROGRESS_AFTER=0");
    Result quiet = Run({"repair", P("soup.obj"), "-o", P("fixed.obj"), "--quiet"}, "G3_PROGRESS_AFTER=0");
    EXPECT_EQ(r.err, "");
    EXPECT_NE(slow.err.find("g3: RemoveEqualsVertexAndDivideEdges...\n"), std::string::npos) << slow.err;
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(r.out, slow.out);
    EXPECT_EQ(r.out, quiet.out);
    ExpectInfo(P("fixed.obj"),
               {{"vertices", "8"}, {"edges", "18"}, {"facets", "12"}, {"closed", "yes"},
                {"non-manifold edges", "0"}});

    Result t = Run({"repair", Data("cube.obj"), "-o", P("tri.off"), "--triangulate"});
    ASSERT_EQ(t.status, 0) << t.err;
    EXPECT_EQ(Key(t.out, "Triangulate(4, 0)").find("vertices 8 -> 8, edges 12 -> 18, facets 6 -> 12,"), 0u)
        << t.out;
    // Merging makes six quads again, so no edge is left between coplanar
    // facets to hide.
    Result m = Run({"repair", P("tri.off"), "-o", P("merged.obj"), "--orient", "--merge-coplanar"});
    ASSERT_EQ(m.status, 0) << m.err;
    EXPECT_NE(Key(m.out, "OrientNormals2(true)").find("facets turned "), std::string::npos) << m.out;
    const std::string merged = Key(m.out, "UnionInPlaneFacets(-1)");
    EXPECT_EQ(merged.find("vertices 8 -> 8, edges 18 -> 12, facets 12 -> 6,"), 0u) << m.out;
    EXPECT_NE(merged.find("groups merged 6, edges hidden 0"), std::string::npos) << m.out;
    ExpectInfo(P("merged.obj"), {{"facets", "6"}, {"closed", "yes"}});
}

TEST_F(G3Cli, ConvertKeepsTopologyWeldsStlAndWritesPlyBothWays)
{
    ASSERT_EQ(Run({"convert", Data("cube.obj"), "-o", P("cube.off")}).status, 0);
    ExpectInfo(P("cube.off"), {{"vertices", "8"}, {"edges", "12"}, {"facets", "6"}, {"closed", "yes"}});
    // A triangle soup to binary STL, read back welded.
    WriteCubeSoupObj("soup.obj");
    ASSERT_EQ(Run({"convert", P("soup.obj"), "-o", P("soup.stl")}).status, 0);
    ExpectInfo(P("soup.stl"), {{"vertices", "8"}, {"facets", "12"}, {"closed", "yes"}});

    // PLY: binary unless --ascii, on convert and on repair.
    ASSERT_EQ(Run({"convert", Data("cube.obj"), "-o", P("cube.ply")}).status, 0);
    EXPECT_EQ(Slurp(P("cube.ply")).compare(0, 36, "ply\nformat binary_little_endian 1.0\n"), 0);
    ASSERT_EQ(Run({"repair", P("cube.ply"), "-o", P("ascii.ply"), "--ascii"}).status, 0);
    EXPECT_EQ(Slurp(P("ascii.ply")).compare(0, 21, "ply\nformat ascii 1.0\n"), 0);
    ExpectInfo(P("ascii.ply"),
               {{"format", "PLY"}, {"facets", "6"}, {"volume", "1 (positive: facets face out)"}});
    // Planar texture coordinates: each of the 24 corners its own pair.
    ASSERT_EQ(Run({"convert", Data("cube.obj"), "-o", P("textured.obj"), "--texcoords"}).status, 0);
    ExpectInfo(P("textured.obj"), {{"texture coordinates", "24"}, {"closed", "yes"}});

    // More faces than the OFF header announces: read, warned about once.
    Write("more.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n3 0 2 1\n3 1 2 0\n");
    Result more = Run({"convert", P("more.off"), "-o", P("more.obj")});
    EXPECT_EQ(more.status, 0) << more.err;
    EXPECT_EQ(more.err,
              "g3: " + P("more.off") + ":7: warning: text after the 1 announced faces is ignored\n");
    ExpectInfo(P("more.obj"), {{"facets", "1"}});
    // An STL without triangles is an empty surface, and so is the OBJ
    // written from it.
    Write("none.stl", std::string(80, ' ') + std::string(4, '\0'));
    ASSERT_EQ(Run({"convert", P("none.stl"), "-o", P("none.obj")}).status, 0);
    ExpectInfo(P("none.obj"), {{"vertices", "0"}});
}

// Every command that reads a mesh passes on a reader's warning about what
// it left unread; boolean, slice, section, classify and the others dropped
// it, and ignored faces went unmentioned. The unit cube in a random one of
// the formats that warn, with text or bytes after its last face.
TEST_F(G3Cli, EveryCommandThatReadsAMeshTellsWhatWasLeftUnread)
{
    ASSERT_EQ(Run({"box", "0,0,0,1,1,1", "-o", P("cube.off")}).status, 0);
    ASSERT_EQ(Run({"box", "0,0,0,1,1,1", "-o", P("cube.stl")}).status, 0);
    ASSERT_EQ(Run({"convert", P("cube.off"), "-o", P("cube.ply"), "--ascii"}).status, 0);
    Write("points.txt", "0.5 0.5 0.5\n");
    Write("niche.txt", "0.2 0.2 1\n0.8 0.2 1\n0.8 0.8 1\n0.2 0.8 1\n");
    std::mt19937 rng(4242);
    // IN is the input, a leading '@' a file in the scratch folder.
    const std::vector<std::vector<std::string>> commands = {
        {"info", "IN"},  {"convert", "IN", "-o", "@out.obj"}, {"repair", "IN", "-o", "@out.obj"}, {"check", "IN"},
        {"boolean", "union", "IN", "IN", "-o", "@out.obj"},   {"classify", "IN", "@points.txt"},
        {"section", "IN", "--plane", "0,0,1,-0.5", "-o", "@out.obj"},
        {"slice", "IN", "--plane", "0,0,1,0.5", "-o", "@out.obj"}, {"separate", "IN", "-o", "@part.obj"},
        {"explode", "IN", "-o", "@part.obj"}, {"shell", "IN", "--thickness", "0.1", "-o", "@out.obj"},
        {"update", "1001", "IN", "-o", "@out.obj"}, {"render", "IN", "-o", "@out.png", "--size", "40x30"},
        {"insert", "IN", "--contours", "@niche.txt", "--depth", "0.1", "-o", "@out.obj"}};
    for (const auto& command : commands) {
        const char* formats[] = {"off", "stl", "ply"};
        const std::string ext = formats[rng() % 3];
        std::string text = Read("cube." + ext);
        text += ext == "off" ? "3 0 1 2\n" : ext == "stl" ? std::string(50 * (1 + rng() % 3), '\0') : "7 7\n";
        Write("in." + ext, text);
        std::vector<std::string> args;
        for (const std::string& a : command)
            args.push_back(a == "IN" ? P("in." + ext) : a[0] == '@' ? P(a.substr(1)) : a);
        const Result r = Run(args);
        EXPECT_EQ(0, r.status) << command[0] << " " << ext << ": " << r.err;
        EXPECT_NE(std::string::npos, r.err.find("warning: ")) << command[0] << " " << ext << ": " << r.err;
    }
}

TEST_F(G3Cli, DemoWritesClosedBoxSphereATriangulatedPlateAndAMergedFloor)
{
    const std::string out = P("demo out");  // a space, and created on demand
    Result r = Run({"demo", "-o", out});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* f : {"box", "sphere", "plate", "floor"})
        for (const char* ext : {".obj", ".wrl"})
            EXPECT_GT(fs::file_size(fs::path(out) / (std::string(f) + ext)), 0u) << f << ext;
    EXPECT_EQ(Slurp(fs::path(out) / "box.wrl").compare(0, 10, "#VRML V2.0"), 0);
    // The soup welds into one closed sphere, half its triangles (wound
    // inwards) turned; the tunnelled box is a closed ring; the plate's facet
    // with four holes becomes n + 2h - 2 triangles; the floor's tiles merge
    // into one facet whose outline (40 unit edges) and courtyard (12) are
    // all that is left of the 202 tile edges.
    ExpectInfo(out + "/sphere.obj", {{"closed", "yes"}, {"V-E+F", "2"}, {"non-manifold edges", "0"},
                                     {"consistently oriented", "yes"}});
    EXPECT_NE(Key(Info(out + "/sphere.obj").out, "volume").find("positive"), std::string::npos);
    ExpectInfo(out + "/box.obj", {{"vertices", "16"}, {"closed", "yes"}, {"V-E+F", "0"}});
    ExpectInfo(out + "/plate.obj", {{"facets", "30"}, {"boundary edges", "24"}});
    ExpectInfo(out + "/floor.obj", {{"boundary edges", "52"}, {"vertices", "52"}});
    // The wall under the gable: 0.3 deep over the slopes' profile (9.2),
    // less the window below the left slope (1.4275) and the whole door
    // (1.89).
    ExpectInfo(out + "/gable.obj", {{"closed", "yes"}, {"consistently oriented", "yes"}});
    EXPECT_NEAR(0.3 * (9.2 - 1.4275 - 1.89), std::atof(Key(Info(out + "/gable.obj").out, "volume").c_str()), 1e-9);
    // The stepped block's shell: the plinth and the block grown by 0.2 on
    // every side, less their overlap (11.424 + 10.944 - 1.824).
    ExpectInfo(out + "/shell.obj", {{"closed", "yes"}, {"consistently oriented", "yes"}});
    EXPECT_NEAR(20.544, std::atof(Key(Info(out + "/shell.obj").out, "volume").c_str()), 1e-9);
    // The pushed-in wall: 3.6 less the window (0.36) and the niche (0.18),
    // plus the sill (0.024); the window makes the one handle.
    ExpectInfo(out + "/pushed.obj", {{"closed", "yes"}, {"consistently oriented", "yes"}, {"genus", "1"}});
    EXPECT_NEAR(3.084, std::atof(Key(Info(out + "/pushed.obj").out, "volume").c_str()), 1e-9);
    // Same run, same report; the help names every scene written.
    EXPECT_EQ(Run({"demo", "-o", out}).out, r.out);
    const std::string help = Run({"demo", "--help"}).out;
    for (const auto& e : fs::directory_iterator(out)) {
        if (e.path().extension() == ".obj") {
            EXPECT_NE(help.find(e.path().stem().string()), std::string::npos) << e.path();
        }
    }
#ifdef G3_HAVE_RENDER
    // Beside each result its picture, as g3 render draws it: the sphere's.
    g3render::Image image;
    std::string message;
    ASSERT_TRUE(g3render::DecodePng(Slurp(fs::path(out) / "sphere.png"), image, message)) << message;
    EXPECT_EQ(image.width, 480);
    EXPECT_EQ(image.height, 360);
#endif
}

// ---- repair reaches a fixed point

// The "name a -> b" counts of a repair report that changed. (Scanned by
// hand: g++ 12 warns inside <regex> when built with the sanitizers.)
std::vector<std::string> ChangedCounts(const std::string& report)
{
    auto digit = [&](std::size_t i) { return std::isdigit(static_cast<unsigned char>(report[i])) != 0; };
    auto word = [&](std::size_t i) { return std::isalnum(static_cast<unsigned char>(report[i])) != 0 || report[i] == '_'; };
    const std::string arrow = " -> ";
    std::vector<std::string> changed;
    for (std::size_t at = report.find(arrow); at != std::string::npos; at = report.find(arrow, at + 1)) {
        std::size_t from = at, to = at + arrow.size(), name;
        while (from > 0 && digit(from - 1))
            --from;
        if (from == at || from < 2 || report[from - 1] != ' ' || !word(from - 2))
            continue;
        for (name = from - 1; name > 0 && word(name - 1);)
            --name;
        while (to < report.size() && digit(to))
            ++to;
        if (to == at + arrow.size())
            continue;
        if (report.compare(from, at - from, report, at + arrow.size(), to - at - arrow.size()) != 0)
            changed.push_back(report.substr(name, to - name));
    }
    return changed;
}

// Every mesh file the tests hold (those g3 refuses aside) and a soup made
// here, each repaired into its own format, then again: the second repair
// changes nothing. The slit disk (two half disks meeting along a line at
// different vertices, four zero-area triangles in the gaps) needs its
// edges split once more after the zero-area facets go; the T-junction
// chain (corners each within reach of the part the last split left, not
// of the whole edge) a round for each corner.
TEST_F(G3Cli, RepairingARepairedMeshChangesNothingForEveryTestMesh)
{
    EXPECT_EQ(Key(Info(Data("slit_disk.obj")).out, "degenerate facets"), "4");
    ASSERT_EQ(Run({"repair", Data("slit_disk.obj"), "-o", P("disk.obj")}).status, 0);
    ExpectInfo(P("disk.obj"), {{"boundary edges", "6"}, {"facets", "12"}, {"non-manifold edges", "0"},
                               {"pieces", "1"}});
    std::vector<fs::path> inputs;
    for (const auto& entry : fs::recursive_directory_iterator(G3_TEST_DATA_DIR)) {
        const fs::path& p = entry.path();
        const std::string ext = p.extension().string();
        if (entry.is_regular_file() && p.parent_path().filename() == "data" &&
            (ext == ".obj" || ext == ".off" || ext == ".stl" || ext == ".ply" || ext == ".txt"))
            inputs.push_back(p);
    }
    std::sort(inputs.begin(), inputs.end());
    WriteCubeSoupObj("soup.obj");
    ASSERT_EQ(Run({"convert", P("soup.obj"), "-o", P("soup.stl")}).status, 0);
    inputs.push_back(P("soup.obj"));
    inputs.push_back(P("soup.stl"));
    int repaired = 0;
    std::vector<std::string> refused;
    for (const fs::path& in : inputs) {
        const std::string once = P("once" + in.extension().string());
        const std::string twice = P("twice" + in.extension().string());
        Result r = Run({"repair", in.string(), "-o", once});
        if (r.status == 2) {
            refused.push_back(in.filename().string());
            continue;
        }
        ASSERT_EQ(r.status, 0) << in << ": " << r.err;
        Result again = Run({"repair", once, "-o", twice});
        ASSERT_EQ(again.status, 0) << in << ": " << again.err;
        EXPECT_EQ(ChangedCounts(again.out), std::vector<std::string>()) << in << "\n" << again.out;
        ++repaired;
    }
    // The malformed files kept for the readers' tests, and no others.
    std::sort(refused.begin(), refused.end());
    EXPECT_EQ(refused, (std::vector<std::string>{"bad_index.obj", "bad_number.off", "open_chain.txt"}));
    EXPECT_GE(repaired, 12);
}

// ---- pieces, orientation, volume and genus

// An OBJ scene built object by object: vertices are numbered across the
// scene; each face is given counterclockwise seen from outside (or from
// inside with `turn`), and the whole object is turned inside out with
// `flip`.
struct Scene {
    using P = std::array<double, 3>;
    std::ostringstream obj;
    int vertices = 0;

    Scene() { obj.precision(17); }
    int Add(const P& p)
    {
        obj << "v " << p[0] << " " << p[1] << " " << p[2] << "\n";
        return ++vertices;
    }
    void Face(std::vector<int> f, bool turn)
    {
        if (turn)
            std::reverse(f.begin(), f.end());
        obj << "f";
        for (int k : f)
            obj << " " << k;
        obj << "\n";
    }
    // A box from lo to hi. With `split`, the top is two quads through the
    // midpoints of two opposite top edges, which the side walls hold as
    // fifth, collinear corners. `corner` (when not 0) stands for the
    // vertex at lo.
    void Box(const P& lo, const P& hi, bool flip, bool split = false, int corner = 0)
    {
        int v[8];
        for (int i = 0; i < 8; ++i) {
            const P p = {i & 1 ? hi[0] : lo[0], i & 2 ? hi[1] : lo[1], i & 4 ? hi[2] : lo[2]};
            v[i] = i == 0 && corner ? corner : Add(p);
        }
        Face({v[0], v[1], v[3], v[2]}, !flip);  // bottom
        Face({v[0], v[2], v[6], v[4]}, !flip);  // x = lo
        Face({v[1], v[3], v[7], v[5]}, flip);   // x = hi
        if (!split) {
            Face({v[4], v[5], v[7], v[6]}, flip);   // top
            Face({v[0], v[1], v[5], v[4]}, flip);   // y = lo
            Face({v[2], v[3], v[7], v[6]}, !flip);  // y = hi
            return;
        }
        const int m0 = Add({(lo[0] + hi[0]) / 2, lo[1], hi[2]});  // on edge v4-v5
        const int m1 = Add({(lo[0] + hi[0]) / 2, hi[1], hi[2]});  // on edge v6-v7
        Face({v[4], m0, m1, v[6]}, flip);
        Face({m0, v[5], v[7], m1}, flip);
        Face({v[0], v[1], v[5], m0, v[4]}, flip);
        Face({v[2], v[3], v[7], m1, v[6]}, !flip);
    }
    // A square frame of side a with a square hole (margin m), height h,
    // from quads only: genus 1, volume (a^2 - (a - 2m)^2) h.
    void Frame(const P& at, double a, double m, double h, bool flip)
    {
        const double outer[4][2] = {{0, 0}, {a, 0}, {a, a}, {0, a}};
        const double inner[4][2] = {{m, m}, {a - m, m}, {a - m, a - m}, {m, a - m}};
        int o[2][4], in[2][4];
        for (int z = 0; z < 2; ++z)
            for (int k = 0; k < 4; ++k) {
                o[z][k] = Add({at[0] + outer[k][0], at[1] + outer[k][1], at[2] + z * h});
                in[z][k] = Add({at[0] + inner[k][0], at[1] + inner[k][1], at[2] + z * h});
            }
        for (int k = 0; k < 4; ++k) {
            const int n = (k + 1) % 4;
            Face({o[0][k], o[0][n], in[0][n], in[0][k]}, !flip);   // bottom
            Face({o[1][k], o[1][n], in[1][n], in[1][k]}, flip);    // top
            Face({o[0][k], o[0][n], o[1][n], o[1][k]}, flip);      // outer wall
            Face({in[0][k], in[0][n], in[1][n], in[1][k]}, !flip);  // the hole's wall
        }
    }
};

// Random scenes of boxes and frames (touching face to face, some turned
// inside out, some with collinear corners, a pair sharing one corner
// vertex) against the counts, volumes and genera they were built with.
TEST_F(G3Cli, InfoOnRandomScenesMatchesHowTheyWereBuilt)
{
    for (unsigned seed : {5u, 77u, 1234u}) {
        GSRand(seed);
        for (int round = 0; round < 6; ++round) {
            Scene scene;
            int pieces = 0, genus = 0;
            double volume = 0;
            const int objects = 1 + GRand() % 4;
            for (int i = 0; i < objects; ++i) {
                const bool flip = GRand() % 4 == 0;
                const double sign = flip ? -1 : 1;
                // Cells three wide along x: a full-width object touches the
                // next one face to face.
                const Scene::P at = {3.0 * i, 0.5 * (GRand() % 3), 0.5 * (GRand() % 3)};
                if (GRand() % 2) {
                    const double w = GRand() % 2 ? 3 : 1.5, d = 0.5 * (1 + GRand() % 4);
                    const double h = 0.5 * (1 + GRand() % 4);
                    scene.Box(at, {at[0] + w, at[1] + d, at[2] + h}, flip, GRand() % 2 == 0);
                    volume += sign * w * d * h;
                } else {
                    const double m = GRand() % 2 ? 0.5 : 1, h = 0.5 * (1 + GRand() % 4);
                    scene.Frame(at, 3, m, h, flip);
                    volume += sign * (9 - (3 - 2 * m) * (3 - 2 * m)) * h;
                    genus += 1;
                }
                ++pieces;
            }
            const bool shared = GRand() % 3 == 0;
            if (shared) {
                // Two unit boxes meeting at one corner, which they share.
                const double x = 3.0 * objects;
                scene.Box({x, 0, 0}, {x + 1, 1, 1}, false);
                const int corner = scene.vertices;  // the first box's last corner
                scene.Box({x + 1, 1, 1}, {x + 2, 2, 2}, false, false, corner);
                pieces += 2;
                volume += 2;
            }
            Write("scene.obj", scene.obj.str());
            Result r = Info(P("scene.obj"));
            SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round) + "\n" + r.out);
            EXPECT_EQ(Key(r.out, "pieces"), std::to_string(pieces));
            // A volume (not "none") says closed and consistently oriented.
            EXPECT_NEAR(std::strtod(Key(r.out, "volume").c_str(), nullptr), volume, 1e-6);
            EXPECT_EQ(Key(r.out, "genus"), shared ? "none (not a manifold)" : std::to_string(genus));
            EXPECT_EQ(Key(r.out, "non-manifold vertices"), shared ? "1" : "0");
        }
    }
}

TEST_F(G3Cli, BooleanOfTwoBoxesAndTheSameBytesFromTwoProcesses)
{
    WriteBox("a.obj", 0, 1);
    WriteBox("b.obj", 0.25, 1.5);
    const std::pair<const char*, const char*> cases[] = {
        {"union", "volume: 1.5"}, {"difference", "volume: 0.25"}, {"intersection", "volume: 0.75"}};
    for (const auto& [op, volume] : cases) {
        Result r = Run({"boolean", op, P("a.obj"), P("b.obj"), "-o", P(std::string(op) + ".obj")});
        ASSERT_EQ(0, r.status) << op << ": " << r.err;
        EXPECT_NE(r.out.find("closed: yes, volume: 1\n"), std::string::npos) << r.out;
        ASSERT_NE(r.out.find("result: "), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(volume, r.out.find("result: ")), std::string::npos) << r.out;
        EXPECT_TRUE(fs::exists(P(std::string(op) + ".obj")));
    }
    // Apart: an empty intersection is written as an empty mesh.
    WriteBox("far.obj", 5, 6);
    Result apart = Run({"boolean", "intersection", P("a.obj"), P("far.obj"), "-o", P("none.off")});
    ASSERT_EQ(0, apart.status);
    EXPECT_NE(apart.out.find("result: empty"), std::string::npos) << apart.out;

    // A box turned about two axes through the unit box: cut facets, rays
    // and welding all take part; each run is a process of its own.
    WriteBox("turned.obj", -0.3, 0.7, 0.5);
    ASSERT_EQ(0, Run({"boolean", "difference", P("a.obj"), P("turned.obj"), "-o", P("first.txt")}).status);
    ASSERT_EQ(0,
              Run({"boolean", "difference", P("a.obj"), P("turned.obj"), "-o", P("second.txt"), "--one-thread"}).status);
    EXPECT_FALSE(Read("first.txt").empty());
    EXPECT_EQ(Read("first.txt"), Read("second.txt"));
}

// Boxes as OFF text: each box's corners of its own, faces outward (all
// inward with `inward`); `drop` leaves one face of the first box out,
// `twice` lists one again (`reversed`: the other way round).
static std::string BoxesOff(const std::vector<std::array<double, 6>>& boxes, int drop = -1, int twice = -1,
                            bool reversed = false, bool inward = false)
{
    int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    if (inward)
        for (auto& q : faces)
            std::swap(q[1], q[3]);
    std::ostringstream v;
    std::ostringstream f;
    int count = 0;
    for (std::size_t b = 0; b < boxes.size(); ++b) {
        const auto& x = boxes[b];
        for (int k = 0; k < 8; ++k)
            v << x[k & 1 ? 3 : 0] << ' ' << x[k & 2 ? 4 : 1] << ' ' << x[k & 4 ? 5 : 2] << '\n';
        const int base = static_cast<int>(8 * b);
        for (int k = 0; k < 6; ++k) {
            if (b == 0 && k == drop)
                continue;
            const int* q = faces[k];
            f << "4 " << base + q[0] << ' ' << base + q[1] << ' ' << base + q[2] << ' ' << base + q[3] << '\n';
            ++count;
            if (b == 0 && k == twice) {
                if (reversed)
                    f << "4 " << base + q[3] << ' ' << base + q[2] << ' ' << base + q[1] << ' ' << base + q[0] << '\n';
                else
                    f << "4 " << base + q[0] << ' ' << base + q[1] << ' ' << base + q[2] << ' ' << base + q[3] << '\n';
                ++count;
            }
        }
    }
    return "OFF\n" + std::to_string(8 * boxes.size()) + " " + std::to_string(count) + " 0\n" + v.str() + f.str();
}

// The update's summary tells what `g3 info` reads in the file it wrote;
// repeated facets anywhere in a box leave it outward; levels outside the
// three are refused. The boolean's operand checks ride along.
TEST_F(G3Cli, UpdateLevelSummaryAgreesWithTheFileWritten)
{
    const std::array<double, 6> unit = {0, 0, 0, 1, 1, 1};
    const std::array<double, 6> beside = {1, 0, 0, 2, 1, 1};
    struct Case {
        std::string name;
        std::string off;
        const char* volume; // what info reads of the file at level 1002; "" when open
    };
    std::vector<Case> cases = {{"box", BoxesOff({unit}), "1"},
                               {"open", BoxesOff({unit}, 1), ""},
                               {"touching", BoxesOff({unit, beside}), "2"}};
    for (int k = 0; k < 6; ++k)
        for (bool reversed : {false, true})
            cases.push_back({"twice" + std::to_string(k) + (reversed ? "r" : ""), BoxesOff({unit}, -1, k, reversed),
                             "1"});
    for (const Case& c : cases) {
        Write(c.name + ".off", c.off);
        for (const char* level : {"1001", "1002", "1003"}) {
            SCOPED_TRACE(c.name + " at " + level);
            const std::string out = P(c.name + level + ".off");
            Result r = Run({"update", level, P(c.name + ".off"), "-o", out});
            ASSERT_EQ(0, r.status) << r.err;
            Result info = Info(out);
            const std::size_t at = r.out.find(std::string("Update(") + level + ")");
            ASSERT_NE(at, std::string::npos) << r.out;
            const std::string line = r.out.substr(at, r.out.find('\n', at) - at);
            EXPECT_NE(line.find(std::string("closed: ") + Key(info.out, "closed")), std::string::npos)
                << line << "\n" << info.out;
            const std::string volume = Key(info.out, "volume").substr(0, Key(info.out, "volume").find(' '));
            if (Key(info.out, "closed") == "yes") {
                EXPECT_NE(line.find("volume: " + volume), std::string::npos) << line << "\n" << info.out;
                EXPECT_GT(std::strtod(volume.c_str(), nullptr), 0.0) << info.out;
            }
            if (std::string(level) == "1002") {
                EXPECT_EQ(Key(info.out, "closed"), *c.volume ? "yes" : "no") << info.out;
                EXPECT_EQ(volume, *c.volume ? c.volume : "none") << info.out;
            }
        }
    }
    // A boolean orients its operands and refuses an open one.
    Write("inward.off", BoxesOff({{0.5, 0, 0, 1.5, 1, 1}}, -1, -1, false, true));
    Result turned = Run({"boolean", "union", P("box.off"), P("inward.off"), "-o", P("union.off")});
    ASSERT_EQ(0, turned.status) << turned.err;
    EXPECT_NE(turned.out.find("turned 6 facets to face out"), std::string::npos) << turned.out;
    EXPECT_EQ(Key(Info(P("union.off")).out, "volume"), "1.5 (positive: facets face out)");
    Result open = Run({"boolean", "union", P("box.off"), P("open.off"), "-o", P("refused.off")});
    EXPECT_EQ(2, open.status);
    EXPECT_NE(open.err.find("open.off is not closed"), std::string::npos) << open.err;
    for (const char* level : {"7", "1000", "1004"}) {
        Result r = Run({"update", level, P("box.off"), "-o", P("refused.off")});
        EXPECT_EQ(2, r.status) << level;
        EXPECT_FALSE(fs::exists(P("refused.off")));
    }
}

TEST_F(G3Cli, ClassifyPointsInOutAndOnAUnitCube)
{
    // The centre, a far point, a point on the top face, one a hair above it
    // (on: within 1e-6), one just beyond the tolerance, and a point near a
    // corner, from which rays shorter than the box's diagonal can end inside.
    Write("points.txt", "# x y z\n0.5 0.5 0.5\n\n2 2 2\n0.5 0.5 1\n0.5 0.5 1.0000001\n"
                        "0.5 0.5 1.001\n0.999 0.999 0.999\n");
    Result r = Run({"classify", Data("cube.obj"), P("points.txt")});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("0.5 0.5 0.5 inside\n2 2 2 outside\n0.5 0.5 1 on\n0.5 0.5 1.0000001 on\n0.5 0.5 1.001 outside\n"
              "0.999 0.999 0.999 inside\n6 points: 2 inside, 2 outside, 2 on, 0 unknown\n",
              r.out);
    // Another seed draws other rays, with the same answers here.
    EXPECT_EQ(r.out, Run({"classify", Data("cube.obj"), P("points.txt"), "--seed", "7"}).out);
}

TEST_F(G3Cli, ContoursDividedAndIntersected)
{
    // Kept apart, the hole (loaded the outer's way) comes back turned.
    Write("holed.txt", "0 0\n4 0\n4 4\n0 4\n\n1 1\n3 1\n3 3\n1 3\n");
    Result d = Run({"contours", P("holed.txt"), "--separate"});
    EXPECT_EQ(0, d.status);
    EXPECT_EQ("contour 1: outer, 4 edges\n  0 0\n  4 0\n  4 4\n  0 4\n"
              "contour 2: hole, 4 edges\n  1 1\n  1 3\n  3 3\n  3 1\ncontours: 2\n",
              d.out);
    // Joined: one contour through all eight corners and a bridge.
    Result j = Run({"contours", P("holed.txt")});
    EXPECT_NE(std::string::npos, j.out.find("contour 1: outer, 10 edges\n"));
    EXPECT_NE(std::string::npos, j.out.find("contours: 1\n"));
    // Each contour is an operand: the common part of two overlapping
    // squares is the square where they overlap; the pieces are it and the
    // two L-shapes around it.
    Write("overlap.txt", "0 0\n2 0\n2 2\n0 2\n\n1 1\n3 1\n3 3\n1 3\n");
    EXPECT_NE(std::string::npos, Run({"contours", P("overlap.txt"), "--op", "common"}).out.find("contours: 1\n"));
    const Result pieces = Run({"contours", P("overlap.txt"), "--op", "pieces"});
    EXPECT_NE(std::string::npos, pieces.out.find("contours: 3\n"));
}

TEST_F(G3Cli, HipAndThickGableRoofsAndASection)
{
    Write("hip.txt", "# a 10 x 6 rectangle\n0 0 30\n10 0 30\n\n10 6 30\n0 6 30\n");
    Result hip = Run({"roof", P("hip.txt"), "-o", P("hip.obj")});
    ASSERT_EQ(0, hip.status) << hip.err;
    EXPECT_EQ(Key(hip.out, "roof"), "4 facets, lower layer: 0, eave fascia: 0, gable fascia: 0") << hip.out;
    // Texture coordinates were written with the facets.
    EXPECT_NE(Read("hip.obj").find("\nvt "), std::string::npos);
    Write("gable.txt", "0 0 90\n10 0 30\n10 6 90\n0 6 30\n");
    Result gable =
        Run({"roof", P("gable.txt"), "-o", P("gable.obj"), "--thickness", "0.2", "--overhang=0.3"});
    ASSERT_EQ(0, gable.status) << gable.err;
    EXPECT_EQ(Key(gable.out, "roof"), "2 facets, lower layer: 2, eave fascia: 2, gable fascia: 4")
        << gable.out;

    Result cut = Run({"section", Data("cube.obj"), "--plane", "1,1,1,-1.5", "--plane", "0,0,1,-0.25", "-o",
                      P("cut.obj")});
    ASSERT_EQ(0, cut.status) << cut.err;
    EXPECT_NE(std::string::npos, cut.out.find("section: 2 facets, area 2.29903811")) << cut.out;
    Result info = Info(P("cut.obj"));
    EXPECT_EQ("2", Key(info.out, "facets")) << info.out;
    EXPECT_EQ("10", Key(info.out, "vertices")) << info.out;
}

#ifdef G3_HAVE_RENDER

TEST_F(G3Cli, RenderWritesTheSamePictureEveryTimeAndOneForEachViewAndEdgeMode)
{
    auto decode = [&](const std::string& name) {
        g3render::Image image;
        std::string message;
        EXPECT_TRUE(g3render::DecodePng(Read(name), image, message)) << name << ": " << message;
        return image;
    };
    std::uint8_t bg[3];
    g3render::BackgroundColor(bg);
    auto background = [&](const std::uint8_t* p) { return p[0] == bg[0] && p[1] == bg[1] && p[2] == bg[2]; };
    const Result a = Run({"render", Data("cube.obj"), "-o", P("a.png"), "--size", "120x90"});
    ASSERT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(a.err, "");
    const g3render::Image image = decode("a.png");
    ASSERT_EQ(image.width, 120);
    ASSERT_EQ(image.height, 90);
    // The cube fills the middle; the top right corner is clear.
    EXPECT_FALSE(background(image.At(60, 45)));
    EXPECT_TRUE(background(image.At(119, 0)));

    // Every view and edge mode draws something different from the others,
    // at the default size: the cube triangulated (its diagonals hidden, as
    // the dump keeps them) is lit differently from each side.
    ASSERT_EQ(Run({"repair", Data("cube.obj"), "--triangulate", "-o", P("tri.txt")}).status, 0);
    std::set<std::string> pictures;
    for (const char* view : {"iso", "top", "front", "side"})
        for (const char* edges : {"visible", "all", "none"}) {
            const std::string out = std::string(view) + "-" + edges + ".png";
            const Result r = Run({"render", P("tri.txt"), "-o", P(out), "--view", view, "--edges", edges});
            ASSERT_EQ(r.status, 0) << out << ": " << r.err;
            EXPECT_EQ(decode(out).width, 800);
            EXPECT_EQ(decode(out).height, 600);
            pictures.insert(Read(out));
        }
    EXPECT_EQ(pictures.size(), 12u);

    // No facets: an empty frame, and a word about it.
    Write("points.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\n");
    const Result r = Run({"render", P("points.obj"), "-o", P("empty.png"), "--size", "64x48"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("no facets"), std::string::npos) << r.err;
    EXPECT_TRUE(background(decode("empty.png").At(32, 24)));
}

#endif

// Each refused command line: its status, a word of its message, and the
// scratch folder exactly as before (no file written, none overwritten).
TEST_F(G3Cli, RefusedCommandLinesWriteNothing)
{
    const std::string cube = Data("cube.obj"), out = P("out.obj");
    Write("keep.obj", "keep\n");
    Write("plain", "not a folder\n");
    Write("bad.ply", "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nend_header\n0\n");
    // Two cubes, the second beyond the range of binary STL's floats.
    std::string twoCubes;
    for (const double at : {0.0, 1e300})
        for (int i = 0; i < 8; ++i)
            twoCubes += "v " + std::to_string(at + (i & 1) * (at > 0 ? 1e290 : 1.0)) + " " + std::to_string(i >> 1 & 1) +
                        " " + std::to_string(i >> 2) + "\n";
    for (const int base : {1, 9})
        for (const auto& f : std::vector<std::array<int, 4>>{
                 {0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}})
            twoCubes += "f " + std::to_string(base + f[0]) + " " + std::to_string(base + f[1]) + " " +
                        std::to_string(base + f[2]) + " " + std::to_string(base + f[3]) + "\n";
    Write("two.obj", twoCubes);
    const std::map<std::string, std::string> inputs = {
        {"short.pts", "0 0 0\n1 2\n"},         {"nan.pts", "1 2 nan\n"},
        {"point.pts", "0 0 0\n"},              {"nan.xy", "0 0\n1 nan\n"},
        {"three.xy", "0 0\n1 1 1\n"},          {"square.xy", "0 0\n4 0\n4 4\n0 4\n"},
        {"word.roof", "0 0 30\n10 0 30\n10 six 30\n0 6 30\n"},
        {"extra.roof", "0 0 30\n10 0 30 7\n10 6 30\n0 6 30\n"},
        {"nan.roof", "0 0 30\n10 0 nan\n10 6 30\n0 6 30\n"},
        {"flat.roof", "0 0 30\n10 0 0\n10 6 30\n0 6 30\n"},
        {"hip.roof", "0 0 30\n10 0 30\n10 6 30\n0 6 30\n"},
        {"survey.pts", "0 0 0\n10 0 1\n10 10 2\n0 10 1\n"},
        {"huge.pts", "0 0 0\n1e300 0 1\n0 1e300 2\n"},
        {"huge.xy", "0 0\n1e300 0\n1e300 1e300\n"}};
    for (const auto& [name, text] : inputs)
        Write(name, text);
    // A folder opens as a file does but reads as nothing.
    fs::create_directory(P("folder"));
    const std::string usage = "usage: g3";
    const struct {
        int status;
        std::vector<std::string> args;
        std::string err;  // a part of the message
    } cases[] = {
        {2, {}, usage},
        {2, {"frobnicate"}, usage},
        {2, {"info", "--bogus", cube}, usage},
        {2, {"info"}, usage},
        {2, {"repair", cube}, usage},
        {2, {"convert", cube, "-o"}, usage},
        {2, {"convert", cube, "-o", P("x.xyz")}, usage},
        {2, {"demo", "extra"}, usage},
        // A usage line that wraps is shown whole.
        {2, {"repair", cube}, "[--ascii] [--quiet]"},
        // A value given twice would silently drop the first.
        {2, {"convert", cube, "-o", P("first.obj"), "--output=" + out}, "--output given more than once"},
        {2, {"terrain", P("survey.pts"), "-o", out, "--iterations", "2"}, "--iterations needs --smooth"},
        {2, {"terrain", P("survey.pts"), "-o", out, "--pad-offset", "2"}, "--pad-offset needs --pad"},
        // A folder given as a text input is unreadable, not empty.
        {2, {"classify", cube, P("folder")}, "folder: cannot read"},
        {2, {"contours", P("folder")}, "folder: cannot read"},
        {2, {"terrain", P("folder"), "-o", out}, "folder: cannot read"},
        {2, {"roof", P("hip.roof"), "-o", out, "--thickness", "0.2", "--opening", P("folder")}, "folder: cannot read"},
        // Input a reader refuses: one line naming the file (and line).
        {2, {"info", P("missing.obj")}, "missing.obj"},
        {2, {"convert", Data("bad_number.off"), "-o", P("keep.obj")}, "bad_number.off:4"},
        {2, {"repair", P("bad.ply"), "-o", out},
         "g3: " + P("bad.ply") + ":3: vertex element has no property 'y'\n"},
        // A write that fails is the tool's failure, not the input's.
        {1, {"convert", cube, "-o", P("no/such/folder/x.obj")}, "x.obj"},
        {1, {"demo", "-o", P("plain")}, "plain"},
        // Found before the work is done, and no part is left written.
        {1, {"boolean", "union", cube, cube, "-o", P("no/u.obj")}, "no folder"},
        {1, {"separate", cube, "-o", P("no/p.obj")}, "no folder"},
        {1, {"slice", cube, "--plane", "0,0,1,0.5", "-o", out, "-o", P("no/a.obj")}, "no folder"},
        {1, {"explode", P("two.obj"), "-o", P("piece.stl")}, "nothing written"},
        {2, {"update", "+1001", cube, "-o", out}, "+1001"},
        {2, {"boolean", "union", cube, Data("bad_index.obj"), "-o", out}, "bad_index.obj:3"},
        {2, {"boolean", "xor", cube, cube, "-o", out}, "xor"},
        {2, {"boolean", "union", cube, cube, "-o", P("r.xyz")}, "r.xyz"},
        {2, {"boolean", "union", cube, "-o", out}, "boolean"},
        {2, {"update", "high", cube, "-o", out}, "high"},
        {2, {"classify", cube, P("short.pts")}, "short.pts:2:"},
        {2, {"classify", cube, P("nan.pts")}, "nan.pts:1"},
        {2, {"classify", cube, P("missing.pts")}, "missing.pts"},
        {2, {"classify", cube}, "classify"},
        {2, {"classify", cube, P("point.pts"), "--seed", "x"}, "seed"},
        {2, {"contours", P("nan.xy")}, "nan.xy:2"},
        // Coordinates whose products would overflow.
        {2, {"contours", P("huge.xy")}, "huge.xy:2"},
        {2, {"terrain", P("huge.pts"), "-o", out}, "huge.pts:2"},
        {2, {"contours", P("three.xy")}, "three.xy:2"},
        {2, {"contours", P("square.xy"), "--op", "sideways"}, "sideways"},
        {2, {"roof", P("word.roof"), "-o", out}, "word.roof:3:"},
        {2, {"roof", P("extra.roof"), "-o", out}, "extra.roof:2:"},
        {2, {"roof", P("nan.roof"), "-o", out}, "nan.roof:2:"},
        {2, {"roof", P("flat.roof"), "-o", out}, "flat.roof: the outline was refused"},
        {2, {"roof", P("missing.roof"), "-o", out}, "missing.roof"},
        {2, {"roof", P("flat.roof"), "-o", out, "--thickness", "-1"}, "thickness"},
        {1, {"section", cube, "--plane", "0,0,1,-5", "-o", out}, ""},  // the plane misses the cube
        {2, {"section", cube, "--plane", "0,0,0,1", "-o", out}, "plane"},
        {2, {"section", cube, "-o", out}, "plane"},
#ifdef G3_HAVE_RENDER
        {2, {"render", cube, "-o", P("s.png"), "--size", "100x8193"}, "--size"},
        {2, {"render", cube, "-o", P("v.png"), "--view", "bottom"}, "bottom"},
        {2, {"render", cube, "-o", P("e.png"), "--edges", "some"}, "some"},
        {2, {"render", cube, "-o", P("v.png"), "--view", "top", "--view", "side"}, "--view given more than once"},
        {2, {"render", cube, "-o", P("picture.jpg")}, "picture.jpg"},
        {2, {"render", cube, "-o", P(".png")}, ".png"},
        {2, {"render", cube}, usage},
        {1, {"render", cube, "-o", P("plain/x.png")}, "cannot write"},
#endif
    };
    const std::map<std::string, std::string> before = Files();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "g3" : c.args[0] + " " + c.args.back());
        const Result r = Run(c.args);
        EXPECT_EQ(c.status, r.status) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        // A command line g3 cannot follow shows the usage; a refused input is
        // one line.
        const bool oneLine = std::count(r.err.begin(), r.err.end(), '\n') == 1;
        EXPECT_TRUE(r.err.find(usage) != std::string::npos || oneLine) << r.err;
        EXPECT_TRUE(r.out.empty() || r.status == 1) << r.out;
        EXPECT_TRUE(Files() == before);
    }
    for (const char* command : {"info", "section", "render"}) {
        const Result help = Run({command, "--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_NE(help.out.find(std::string("usage: g3 ") + command), std::string::npos) << help.out;
    }
    // Help on help is the overview.
    const Result helpHelp = Run({"help", "help"});
    EXPECT_EQ(helpHelp.status, 0) << helpHelp.err;
    EXPECT_NE(helpHelp.out.find("usage: g3 <command>"), std::string::npos);
}

#else

TEST(G3Cli, NotBuilt) { GTEST_SKIP() << "the g3 tool is not part of this build"; }

#endif
