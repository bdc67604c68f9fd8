// The g3 command-line tool, run as a program: exit statuses, the report
// lines it prints and the files it writes (checked by running `g3 info` on
// them).

#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

#ifdef G3_TOOL_PATH

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string Slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string Data(const char* name) { return std::string(G3_TEST_DATA_DIR) + "/tools/data/" + name; }

// A scratch folder per test, removed afterwards.
class G3Cli : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string tmpl = (fs::temp_directory_path() / "g3cli-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    // Runs g3 with `args` (and `env`, "NAME=value ..." put before it). By
    // default progress lines are held back for an hour, so a slow machine
    // (or a sanitizer build) cannot add them to the stderr a test checks.
    Result Run(const std::vector<std::string>& args, const std::string& env = "G3_PROGRESS_AFTER=3600")
    {
        std::string cmd = env + " " + Quote(G3_TOOL_PATH);
        for (const std::string& a : args)
            cmd += " " + Quote(a);
        const fs::path out = dir / "stdout.txt";
        const fs::path err = dir / "stderr.txt";
        cmd += " >" + Quote(out.string()) + " 2>" + Quote(err.string());
        Result r;
        const int raw = std::system(cmd.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = Slurp(out);
        r.err = Slurp(err);
        return r;
    }

    std::string P(const std::string& name) const { return (dir / name).string(); }

    // `g3 info` on a file; fails the test when it does not succeed.
    Result Info(const std::string& path)
    {
        Result r = Run({"info", path});
        EXPECT_EQ(r.status, 0) << r.err;
        return r;
    }

    fs::path dir;
};

// The value of a "key: value" line of `text`; "<missing>" when absent.
std::string Key(const std::string& text, const std::string& key)
{
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, key.size() + 2, key + ": ") == 0)
            return line.substr(key.size() + 2);
    return "<missing>";
}

// A binary STL of the unit cube: twelve triangles, 36 unshared corners.
void WriteCubeStl(const std::string& path)
{
    static const float c[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                  {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    static const int quad[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                   {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    std::string bytes(80, ' ');
    auto put = [&](const void* p, std::size_t n) { bytes.append(static_cast<const char*>(p), n); };
    const std::uint32_t count = 12;
    put(&count, 4);
    for (const auto& q : quad) {
        const int tri[2][3] = {{q[0], q[1], q[2]}, {q[0], q[2], q[3]}};
        for (const auto& t : tri) {
            const float normal[3] = {0, 0, 0};
            put(normal, sizeof normal);
            for (int k : t)
                put(c[k], sizeof c[k]);
            const std::uint16_t attributes = 0;
            put(&attributes, 2);
        }
    }
    std::ofstream(path, std::ios::binary) << bytes;
}

// The unit cube as OBJ triangles, every one with corners of its own.
void WriteCubeSoupObj(const std::string& path)
{
    static const char* c[8] = {"0 0 0", "1 0 0", "1 1 0", "0 1 0", "0 0 1", "1 0 1", "1 1 1", "0 1 1"};
    static const int quad[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                   {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    std::ofstream out(path);
    int n = 0;
    for (const auto& q : quad) {
        const int tri[2][3] = {{q[0], q[1], q[2]}, {q[0], q[2], q[3]}};
        for (const auto& t : tri) {
            for (int k : t)
                out << "v " << c[k] << "\n";
            out << "f " << n + 1 << " " << n + 2 << " " << n + 3 << "\n";
            n += 3;
        }
    }
}

} // namespace

TEST_F(G3Cli, UsageErrorsExitTwoWithUsageOnStderr)
{
    Result r = Run({});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("usage: g3"), std::string::npos);

    for (const auto& args : {std::vector<std::string>{"frobnicate"}, {"--frobnicate"}, {"info", "--bogus", "x.obj"},
                             {"info"}, {"info", "a.obj", "b.obj"}, {"repair", Data("cube.obj")},
                             {"convert", Data("cube.obj"), "-o"}, {"convert", Data("cube.obj"), "-o", P("x.xyz")},
                             {"demo", "extra"}}) {
        Result u = Run(args);
        EXPECT_EQ(u.status, 2) << args[0];
        EXPECT_NE(u.err.find("usage: g3"), std::string::npos) << args[0] << ": " << u.err;
        EXPECT_TRUE(u.out.empty()) << args[0];
    }
    EXPECT_FALSE(fs::exists(P("x.xyz")));
}

TEST_F(G3Cli, HelpAndVersion)
{
    Result h = Run({"--help"});
    EXPECT_EQ(h.status, 0);
    for (const char* c : {"info", "repair", "convert", "demo"})
        EXPECT_NE(h.out.find(c), std::string::npos) << c;
    Result info = Run({"info", "--help"});
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("non-manifold edges"), std::string::npos);
    Result v = Run({"--version"});
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out.compare(0, 3, "g3 "), 0);
}

TEST_F(G3Cli, InfoOnACube)
{
    Result r = Info(Data("cube.obj"));
    EXPECT_EQ(Key(r.out, "vertices"), "8");
    EXPECT_EQ(Key(r.out, "edges"), "12");
    EXPECT_EQ(Key(r.out, "facets"), "6");
    EXPECT_EQ(Key(r.out, "bbox min"), "0 0 0");
    EXPECT_EQ(Key(r.out, "bbox max"), "1 1 1");
    EXPECT_EQ(Key(r.out, "closed"), "yes");
    EXPECT_EQ(Key(r.out, "boundary edges"), "0");
    EXPECT_EQ(Key(r.out, "non-manifold edges"), "0");
    EXPECT_EQ(Key(r.out, "non-manifold vertices"), "0");
    EXPECT_EQ(Key(r.out, "degenerate facets"), "0");
    EXPECT_EQ(Key(r.out, "V-E+F"), "2");
}

// A square with a hole, two triangles touching at one vertex, a sliver whose
// corners lie on one line, and three quads along one segment (an edge takes
// two, the third gets an edge of its own), saved as a dump.
TEST_F(G3Cli, InfoCountsDefects)
{
    {
        G3Surface s;
        auto facet = [&](std::initializer_list<std::initializer_list<double>> pts) {
            std::vector<G3Vertex*> v;
            for (auto p : pts)
                v.push_back(s.AddVertex(p.begin()[0], p.begin()[1], p.begin()[2], 0));
            return s.AddFacet(static_cast<int>(v.size()), v.data(), 1, nullptr, nullptr);
        };
        G3Facet* square = facet({{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}});
        G3Vertex* hole[4] = {s.AddVertex(1, 1, 0, 0), s.AddVertex(1, 3, 0, 0), s.AddVertex(3, 3, 0, 0),
                             s.AddVertex(3, 1, 0, 0)};
        G3EdgeList list(4, hole, nullptr, nullptr, nullptr, 0, 0);
        s.AddFacetEdges(square, &list);
        // Bow tie at (10, 0, 0).
        G3Vertex* tip = s.AddVertex(10, 0, 0, 0);
        G3Vertex* t1[3] = {tip, s.AddVertex(11, 1, 0, 0), s.AddVertex(11, -1, 0, 0)};
        G3Vertex* t2[3] = {tip, s.AddVertex(9, -1, 0, 0), s.AddVertex(9, 1, 0, 0)};
        s.AddFacet(3, t1, 1, nullptr, nullptr);
        s.AddFacet(3, t2, 1, nullptr, nullptr);
        facet({{20, 0, 0}, {21, 0, 0}, {22, 0, 0}});
        G3Vertex* a = s.AddVertex(30, 0, 0, 0);
        G3Vertex* b = s.AddVertex(31, 0, 0, 0);
        G3Vertex* q1[4] = {a, b, s.AddVertex(31, 1, 0, 0), s.AddVertex(30, 1, 0, 0)};
        G3Vertex* q2[4] = {b, a, s.AddVertex(30, 0, 1, 0), s.AddVertex(31, 0, 1, 0)};
        s.AddFacet(4, q1, 1, nullptr, nullptr);
        s.AddFacet(4, q2, 1, nullptr, nullptr);
        s.AddFacet(4, q2, 1, nullptr, nullptr);
        ASSERT_TRUE(s.Save(P("defects.txt").c_str()));
    }
    Result r = Info(P("defects.txt"));
    EXPECT_EQ(Key(r.out, "closed"), "no");
    EXPECT_EQ(Key(r.out, "facets with holes"), "1");
    EXPECT_EQ(Key(r.out, "degenerate facets"), "1");
    EXPECT_EQ(Key(r.out, "non-manifold vertices"), "1");
    EXPECT_EQ(Key(r.out, "non-manifold edges"), "1");
    EXPECT_EQ(Key(r.out, "bbox min"), "0 -1 0");
    EXPECT_EQ(Key(r.out, "bbox max"), "31 4 1");
}

// A zero-area triangle along a cube edge that does not pass through the
// origin: counted as degenerate, and gone after a repair, which leaves the
// cube closed.
TEST_F(G3Cli, SliverOnACubeEdgeIsDegenerateAndRepairedAway)
{
    WriteCubeSoupObj(P("sliver.obj"));
    std::ofstream(P("sliver.obj"), std::ios::app) << "v 1 1 0\nv 1 1 1\nv 1 1 0.5\nf 37 38 39\n";
    EXPECT_EQ(Key(Info(P("sliver.obj")).out, "degenerate facets"), "1");
    Result r = Run({"repair", P("sliver.obj"), "-o", P("fixed.off")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Key(r.out, "closed"), "yes");
    Result i = Info(P("fixed.off"));
    EXPECT_EQ(Key(i.out, "facets"), "12");
    EXPECT_EQ(Key(i.out, "closed"), "yes");
    EXPECT_EQ(Key(i.out, "degenerate facets"), "0");
}

TEST_F(G3Cli, RepairWeldsASoupIntoAClosedCube)
{
    WriteCubeSoupObj(P("soup.obj"));
    Result r = Run({"repair", P("soup.obj"), "-o", P("fixed.obj")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Key(r.out, "RemoveEqualsVertexAndDivideEdges").find("vertices 36 -> 8,"), 0u) << r.out;
    EXPECT_EQ(Key(r.out, "RemoveNonManifoldEdges").find("vertices 8 -> 8, edges 36 -> 18,"), 0u) << r.out;
    EXPECT_EQ(Key(r.out, "closed"), "yes");
    EXPECT_EQ(r.out.find("Triangulate"), std::string::npos);
    Result i = Info(P("fixed.obj"));
    EXPECT_EQ(Key(i.out, "vertices"), "8");
    EXPECT_EQ(Key(i.out, "edges"), "18");
    EXPECT_EQ(Key(i.out, "facets"), "12");
    EXPECT_EQ(Key(i.out, "closed"), "yes");
    EXPECT_EQ(Key(i.out, "non-manifold edges"), "0");

    Result t = Run({"repair", Data("cube.obj"), "-o", P("tri.off"), "--triangulate"});
    ASSERT_EQ(t.status, 0) << t.err;
    EXPECT_EQ(Key(t.out, "Triangulate(4, 0)").find("vertices 8 -> 8, edges 12 -> 18, facets 6 -> 12,"), 0u)
        << t.out;
    EXPECT_EQ(Key(Info(P("tri.off")).out, "facets"), "12");
}

TEST_F(G3Cli, RoundTripsKeepTopologyAndStlIsWelded)
{
    ASSERT_EQ(Run({"convert", Data("cube.obj"), "-o", P("cube.off")}).status, 0);
    ASSERT_EQ(Run({"convert", P("cube.off"), "-o", P("again.obj")}).status, 0);
    ASSERT_EQ(Run({"convert", P("cube.off"), "-o", P("again.off")}).status, 0);
    ASSERT_EQ(Run({"convert", P("again.obj"), "-o", P("dump.txt")}).status, 0);
    for (const char* f : {"cube.off", "again.obj", "again.off", "dump.txt"}) {
        Result i = Info(P(f));
        EXPECT_EQ(Key(i.out, "vertices"), "8") << f;
        EXPECT_EQ(Key(i.out, "edges"), "12") << f;
        EXPECT_EQ(Key(i.out, "facets"), "6") << f;
        EXPECT_EQ(Key(i.out, "closed"), "yes") << f;
    }

    WriteCubeStl(P("cube.stl"));
    Result c = Run({"convert", P("cube.stl"), "-o", P("from_stl.obj")});
    ASSERT_EQ(c.status, 0) << c.err;
    Result i = Info(P("from_stl.obj"));
    EXPECT_EQ(Key(i.out, "vertices"), "8");
    EXPECT_EQ(Key(i.out, "facets"), "12");
    EXPECT_EQ(Key(i.out, "closed"), "yes");

    ASSERT_EQ(Run({"convert", P("from_stl.obj"), "-o", P("ascii.stl"), "--ascii"}).status, 0);
    EXPECT_EQ(Slurp(P("ascii.stl")).compare(0, 5, "solid"), 0);
    EXPECT_EQ(Key(Info(P("ascii.stl")).out, "vertices"), "8");
}

TEST_F(G3Cli, BadInputExitsTwoAndWritesNothing)
{
    std::ofstream(P("keep.obj")) << "keep\n";
    WriteCubeStl(P("whole.stl"));
    std::ofstream(P("cut.stl"), std::ios::binary) << Slurp(P("whole.stl")).substr(0, 300);
    struct Case {
        std::string in;
        std::string where;  // expected in the message
    };
    for (const Case& c : {Case{P("missing.obj"), "missing.obj"}, Case{Data("bad_index.obj"), "bad_index.obj:3"},
                          Case{Data("bad_number.off"), "bad_number.off:4"}, Case{P("cut.stl"), "cut.stl"}}) {
        for (const char* command : {"repair", "convert"}) {
            Result r = Run({command, c.in, "-o", P("out.obj")});
            EXPECT_EQ(r.status, 2) << command << " " << c.in;
            EXPECT_NE(r.err.find(c.where), std::string::npos) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
            EXPECT_FALSE(fs::exists(P("out.obj")));
            EXPECT_EQ(Run({command, c.in, "-o", P("keep.obj")}).status, 2);
            EXPECT_EQ(Slurp(P("keep.obj")), "keep\n");
        }
        Result i = Run({"info", c.in});
        EXPECT_EQ(i.status, 2);
        EXPECT_NE(i.err.find(c.where), std::string::npos) << i.err;
    }
    // A write that fails is the tool's failure, not the input's.
    Result w = Run({"convert", Data("cube.obj"), "-o", P("no/such/folder/x.obj")});
    EXPECT_EQ(w.status, 1) << w.err;
    EXPECT_FALSE(w.err.empty());
}

TEST_F(G3Cli, ProgressGoesToStderrOnlyAndQuietSilencesIt)
{
    WriteCubeSoupObj(P("soup.obj"));
    Result fast = Run({"repair", P("soup.obj"), "-o", P("a.obj")});
    Result slow = Run({"repair", P("soup.obj"), "-o", P("a.obj")}, "G3_PROGRESS_AFTER=0");
    Result quiet = Run({"repair", P("soup.obj"), "-o", P("a.obj"), "--quiet"}, "G3_PROGRESS_AFTER=0");
    EXPECT_EQ(fast.err, "");
    EXPECT_NE(slow.err.find("g3: RemoveEqualsVertexAndDivideEdges...\n"), std::string::npos) << slow.err;
    EXPECT_NE(slow.err.find("g3: RemoveNonManifoldEdges...\n"), std::string::npos);
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(fast.out, slow.out);
    EXPECT_EQ(fast.out, quiet.out);
}

TEST_F(G3Cli, DemoWritesClosedBoxSphereATriangulatedPlateAndAMergedFloor)
{
    const std::string out = P("demo out");  // a space, and created on demand
    Result r = Run({"demo", "-o", out});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* f :
         {"box.obj", "box.wrl", "sphere.obj", "sphere.wrl", "plate.obj", "plate.wrl", "floor.obj", "floor.wrl"})
        EXPECT_GT(fs::file_size(fs::path(out) / f), 0u) << f;
    EXPECT_EQ(Slurp(fs::path(out) / "box.wrl").compare(0, 10, "#VRML V2.0"), 0);

    // The soup welds into one closed sphere; the tunnelled box is a closed
    // ring; the plate's facet with four holes becomes n + 2h - 2 triangles.
    Result sphere = Info((fs::path(out) / "sphere.obj").string());
    EXPECT_EQ(Key(sphere.out, "closed"), "yes");
    EXPECT_EQ(Key(sphere.out, "V-E+F"), "2");
    EXPECT_EQ(Key(sphere.out, "non-manifold edges"), "0");
    Result box = Info((fs::path(out) / "box.obj").string());
    EXPECT_EQ(Key(box.out, "vertices"), "16");
    EXPECT_EQ(Key(box.out, "closed"), "yes");
    EXPECT_EQ(Key(box.out, "V-E+F"), "0");
    Result plate = Info((fs::path(out) / "plate.obj").string());
    EXPECT_EQ(Key(plate.out, "facets"), "30");
    EXPECT_EQ(Key(plate.out, "boundary edges"), "24");
    // The tiles merge into one facet whose outline (40 unit edges) and
    // courtyard (12) are all that is left of the 202 tile edges.
    Result floor = Info((fs::path(out) / "floor.obj").string());
    EXPECT_EQ(Key(floor.out, "boundary edges"), "52");
    EXPECT_EQ(Key(floor.out, "vertices"), "52");

    // Same run, same report.
    EXPECT_EQ(Run({"demo", "-o", out}).out, r.out);
    // A file where the folder should be.
    std::ofstream(P("plain")) << "x";
    EXPECT_EQ(Run({"demo", "-o", P("plain")}).status, 1);
}

#else

TEST(G3Cli, NotBuilt) { GTEST_SKIP() << "the g3 tool is not part of this build"; }

#endif

TEST_F(G3Cli, RepairOrientsAndMergesCoplanarFacets)
{
    // The cube triangulated: merging makes six quads again, so no edge is
    // left between coplanar facets to hide.
    ASSERT_EQ(Run({"repair", Data("cube.obj"), "-o", P("tri.off"), "--triangulate"}).status, 0);
    Result r = Run({"repair", P("tri.off"), "-o", P("merged.obj"), "--orient", "--merge-coplanar"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(Key(r.out, "OrientNormals2(true)").find("facets turned "), std::string::npos) << r.out;
    EXPECT_EQ(Key(r.out, "UnionInPlaneFacets(-1)").find("vertices 8 -> 8, edges 18 -> 12, facets 12 -> 6,"), 0u)
        << r.out;
    EXPECT_NE(Key(r.out, "UnionInPlaneFacets(-1)").find("groups merged 6, edges hidden 0"), std::string::npos)
        << r.out;
    EXPECT_EQ(Key(r.out, "closed"), "yes");
    EXPECT_EQ(Key(Info(P("merged.obj")).out, "facets"), "6");
}
