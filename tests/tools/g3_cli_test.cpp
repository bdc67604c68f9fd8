// The g3 command-line tool, run as a program: exit statuses, the report
// lines it prints and the files it writes (checked by running `g3 info` on
// them).

#include "Geometry/foundation/GRandom.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"

#include "tests/tools/g3_tool_fixture.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cmath>
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

using namespace g3tooltest;

class G3Cli : public G3ToolTest {};

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
    // Half its triangles were wound inwards: the repair turned them.
    EXPECT_EQ(Key(sphere.out, "consistently oriented"), "yes");
    EXPECT_NE(Key(sphere.out, "volume").find("positive"), std::string::npos) << sphere.out;
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

// ---- repair reaches a fixed point

// Every pass line of a repair report ("Name: vertices a -> b, ...") and
// whether each changed a count.
std::vector<std::string> ChangedPasses(const std::string& report)
{
    std::vector<std::string> changed;
    std::istringstream in(report);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t colon = line.find(": vertices ");
        if (colon == std::string::npos)
            continue;
        // "x -> y" pairs: the numbers on both sides of each arrow.
        std::istringstream counts(line.substr(colon + 2));
        std::string name, before, arrow, after;
        while (counts >> name >> before >> arrow >> after) {
            if (!after.empty() && after.back() == ',')
                after.pop_back();
            if (arrow == "->" && before != after)
                changed.push_back(line);
        }
    }
    return changed;
}

TEST_F(G3Cli, RepairSplitsEdgesFreedByZeroAreaFacetsInOnePass)
{
    // Upper and lower halves of a disk meet along a line at different
    // vertices; four zero-area triangles fill the gaps.
    EXPECT_EQ(Key(Info(Data("slit_disk.obj")).out, "degenerate facets"), "4");
    Result r = Run({"repair", Data("slit_disk.obj"), "-o", P("once.obj")});
    ASSERT_EQ(r.status, 0) << r.err;
    Result once = Info(P("once.obj"));
    EXPECT_EQ(Key(once.out, "boundary edges"), "6");
    EXPECT_EQ(Key(once.out, "facets"), "12");
    EXPECT_EQ(Key(once.out, "non-manifold edges"), "0");
    EXPECT_EQ(Key(once.out, "pieces"), "1");
    Result again = Run({"repair", P("once.obj"), "-o", P("twice.obj")});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(ChangedPasses(again.out), std::vector<std::string>()) << again.out;
}

TEST_F(G3Cli, RepairingARepairedMeshChangesNothingForEveryTestMesh)
{
    // Every mesh file the tests hold (those g3 refuses aside), and two
    // soups made here, each repaired into its own format, then again.
    std::vector<fs::path> inputs;
    for (const auto& entry : fs::recursive_directory_iterator(G3_TEST_DATA_DIR)) {
        const fs::path& p = entry.path();
        const std::string ext = p.extension().string();
        if (entry.is_regular_file() && p.parent_path().filename() == "data" &&
            (ext == ".obj" || ext == ".off" || ext == ".stl" || ext == ".ply" || ext == ".txt"))
            inputs.push_back(p);
    }
    std::sort(inputs.begin(), inputs.end());
    WriteCubeSoupObj(P("soup.obj"));
    WriteCubeStl(P("soup.stl"));
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
        EXPECT_EQ(ChangedPasses(again.out), std::vector<std::string>()) << in << "\n" << again.out;
        ++repaired;
    }
    // The malformed files kept for the readers' tests, and no others.
    std::sort(refused.begin(), refused.end());
    EXPECT_EQ(refused, (std::vector<std::string>{"bad_index.obj", "bad_number.off", "open_chain.txt"}));
    EXPECT_GE(repaired, 12);
}

// ---- pieces, orientation, volume and genus

// An OBJ scene built object by object: vertices are numbered across the
// scene, and each facet is turned to face along the outward hint given
// with it (Newell normal), or against it when the object is flipped.
struct Scene {
    using P = std::array<double, 3>;
    std::vector<P> vertices;
    std::vector<std::vector<int>> faces;

    int Add(const P& p)
    {
        vertices.push_back(p);
        return static_cast<int>(vertices.size());
    }
    void Face(std::vector<int> f, const P& outward, bool flip)
    {
        P n = {0, 0, 0};
        for (std::size_t i = 0; i < f.size(); ++i) {
            const P& a = vertices[static_cast<std::size_t>(f[i] - 1)];
            const P& b = vertices[static_cast<std::size_t>(f[(i + 1) % f.size()] - 1)];
            n[0] += (a[1] - b[1]) * (a[2] + b[2]);
            n[1] += (a[2] - b[2]) * (a[0] + b[0]);
            n[2] += (a[0] - b[0]) * (a[1] + b[1]);
        }
        const double along = n[0] * outward[0] + n[1] * outward[1] + n[2] * outward[2];
        if ((along < 0) != flip)
            std::reverse(f.begin(), f.end());
        faces.push_back(f);
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
        const P c = {(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2};
        Face({v[0], v[1], v[3], v[2]}, {0, 0, -1}, flip);
        Face({v[0], v[2], v[6], v[4]}, {-1, 0, 0}, flip);
        Face({v[1], v[3], v[7], v[5]}, {1, 0, 0}, flip);
        if (!split) {
            Face({v[4], v[5], v[7], v[6]}, {0, 0, 1}, flip);
            Face({v[0], v[1], v[5], v[4]}, {0, -1, 0}, flip);
            Face({v[2], v[3], v[7], v[6]}, {0, 1, 0}, flip);
            return;
        }
        const int m0 = Add({c[0], lo[1], hi[2]});  // on edge v4-v5
        const int m1 = Add({c[0], hi[1], hi[2]});  // on edge v6-v7
        Face({v[4], m0, m1, v[6]}, {0, 0, 1}, flip);
        Face({m0, v[5], v[7], m1}, {0, 0, 1}, flip);
        Face({v[0], v[1], v[5], m0, v[4]}, {0, -1, 0}, flip);
        Face({v[2], v[3], v[7], m1, v[6]}, {0, 1, 0}, flip);
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
            const double mx = (outer[k][0] + outer[n][0]) / 2 - a / 2, my = (outer[k][1] + outer[n][1]) / 2 - a / 2;
            Face({o[0][k], o[0][n], in[0][n], in[0][k]}, {0, 0, -1}, flip);
            Face({o[1][k], o[1][n], in[1][n], in[1][k]}, {0, 0, 1}, flip);
            Face({o[0][k], o[0][n], o[1][n], o[1][k]}, {mx, my, 0}, flip);
            Face({in[0][k], in[0][n], in[1][n], in[1][k]}, {-mx, -my, 0}, flip);
        }
    }
    void Write(const std::string& path) const
    {
        std::ofstream out(path);
        out.precision(17);
        for (const P& p : vertices)
            out << "v " << p[0] << " " << p[1] << " " << p[2] << "\n";
        for (const auto& f : faces) {
            out << "f";
            for (int k : f)
                out << " " << k;
            out << "\n";
        }
    }
};

double Number(const std::string& value) { return std::strtod(value.c_str(), nullptr); }

TEST_F(G3Cli, InfoCountsPiecesVolumeAndGenus)
{
    Scene two;
    two.Box({0, 0, 0}, {1, 1, 1}, false);
    two.Box({3, 0, 0}, {4, 1, 1}, false);
    two.Write(P("two.obj"));
    Result r = Info(P("two.obj"));
    EXPECT_EQ(Key(r.out, "pieces"), "2");
    EXPECT_EQ(Key(r.out, "volume"), "2 (positive: facets face out)");
    EXPECT_EQ(Key(r.out, "genus"), "0");
    EXPECT_EQ(Key(r.out, "orientable"), "yes");

    // A torus of 8 x 6 quads.
    {
        std::ofstream out(P("torus.obj"));
        const int nu = 8, nv = 6;
        for (int i = 0; i < nu; ++i)
            for (int j = 0; j < nv; ++j) {
                const double u = 2 * 3.14159265358979 * i / nu, w = 2 * 3.14159265358979 * j / nv;
                out << "v " << (3 + std::cos(w)) * std::cos(u) << " " << (3 + std::cos(w)) * std::sin(u) << " "
                    << std::sin(w) << "\n";
            }
        auto id = [&](int i, int j) { return (i % nu) * nv + (j % nv) + 1; };
        for (int i = 0; i < nu; ++i)
            for (int j = 0; j < nv; ++j)
                out << "f " << id(i, j) << " " << id(i + 1, j) << " " << id(i + 1, j + 1) << " " << id(i, j + 1)
                    << "\n";
    }
    Result t = Info(P("torus.obj"));
    EXPECT_EQ(Key(t.out, "genus"), "1");
    EXPECT_EQ(Key(t.out, "pieces"), "1");
    EXPECT_EQ(Key(t.out, "closed"), "yes");
    EXPECT_EQ(Key(t.out, "V-E+F"), "0");
    EXPECT_NE(Key(t.out, "volume").find("(positive: facets face out)"), std::string::npos) << t.out;

    // Turned inside out: the volume's sign says so.
    Scene inside;
    inside.Box({0, 0, 0}, {2, 1, 1}, true);
    inside.Write(P("inside.obj"));
    EXPECT_EQ(Key(Info(P("inside.obj")).out, "volume"), "-2 (negative: facets face in)");

    // One facet of a cube turned: orientable, not oriented, no volume.
    {
        std::string cube = Slurp(Data("cube.obj"));
        const std::size_t at = cube.find("f 1 4 3 2");
        ASSERT_NE(at, std::string::npos);
        cube.replace(at, 9, "f 1 2 3 4");
        std::ofstream(P("turned.obj")) << cube;
    }
    Result turned = Info(P("turned.obj"));
    EXPECT_EQ(Key(turned.out, "orientable"), "yes");
    EXPECT_EQ(Key(turned.out, "consistently oriented"), "no");
    EXPECT_EQ(Key(turned.out, "volume"), "none (not consistently oriented)");
    EXPECT_EQ(Key(turned.out, "genus"), "0");

    // A Moebius band of six quads: not orientable, open.
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
    Result m = Info(P("moebius.obj"));
    EXPECT_EQ(Key(m.out, "orientable"), "no");
    EXPECT_EQ(Key(m.out, "consistently oriented"), "no");
    EXPECT_EQ(Key(m.out, "volume"), "none (not closed)");
    EXPECT_EQ(Key(m.out, "genus"), "none (not closed)");

    // Nothing at all: no pieces, nothing enclosed.
    std::ofstream(P("none.obj")) << "# empty\n";
    Result e = Info(P("none.obj"));
    EXPECT_EQ(Key(e.out, "pieces"), "0");
    EXPECT_EQ(Key(e.out, "volume"), "0");
    EXPECT_EQ(Key(e.out, "genus"), "0");
}

// Random scenes of boxes and frames (touching face to face, some flipped,
// some with collinear corners, a pair sharing one corner vertex) against
// the counts, volumes and genera the scene was built with.
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
                    const double w = GRand() % 2 ? 3 : 1.5, d = 0.5 * (1 + GRand() % 4), h = 0.5 * (1 + GRand() % 4);
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
                const int corner = static_cast<int>(scene.vertices.size());  // the first box's last corner
                scene.Box({x + 1, 1, 1}, {x + 2, 2, 2}, false, false, corner);
                pieces += 2;
                volume += 2;
            }
            scene.Write(P("scene.obj"));
            Result r = Info(P("scene.obj"));
            const std::string what = "seed " + std::to_string(seed) + " round " + std::to_string(round) + "\n" + r.out;
            EXPECT_EQ(Key(r.out, "pieces"), std::to_string(pieces)) << what;
            EXPECT_EQ(Key(r.out, "closed"), "yes") << what;
            EXPECT_EQ(Key(r.out, "orientable"), "yes") << what;
            EXPECT_EQ(Key(r.out, "consistently oriented"), "yes") << what;
            EXPECT_NEAR(Number(Key(r.out, "volume")), volume, 1e-6) << what;
            EXPECT_EQ(Key(r.out, "genus"), shared ? "none (not a manifold)" : std::to_string(genus)) << what;
            EXPECT_EQ(Key(r.out, "non-manifold vertices"), shared ? "1" : "0") << what;
        }
    }
}

TEST_F(G3Cli, PlyWarningsAndEmptySurfacesThroughTheTool)
{
    // PLY both ways: binary unless --ascii, on convert and on repair.
    ASSERT_EQ(Run({"convert", Data("cube.obj"), "-o", P("cube.ply")}).status, 0);
    EXPECT_EQ(Slurp(P("cube.ply")).compare(0, 36, "ply\nformat binary_little_endian 1.0\n"), 0);
    ASSERT_EQ(Run({"repair", P("cube.ply"), "-o", P("ascii.ply"), "--ascii"}).status, 0);
    EXPECT_EQ(Slurp(P("ascii.ply")).compare(0, 21, "ply\nformat ascii 1.0\n"), 0);
    Result info = Info(P("ascii.ply"));
    EXPECT_EQ(Key(info.out, "format"), "PLY");
    EXPECT_EQ(Key(info.out, "facets"), "6");
    EXPECT_EQ(Key(info.out, "volume"), "1 (positive: facets face out)");

    // A malformed PLY: one line naming the file and line, status 2, no file.
    std::ofstream(P("bad.ply")) << "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nend_header\n0\n";
    Result bad = Run({"convert", P("bad.ply"), "-o", P("out.off")});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err, "g3: " + P("bad.ply") + ":3: vertex element has no property 'y'\n");
    EXPECT_FALSE(fs::exists(P("out.off")));

    // More faces than the OFF header announces: read, warned about once.
    std::ofstream(P("more.off")) << "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n3 0 2 1\n3 1 2 0\n";
    Result more = Run({"convert", P("more.off"), "-o", P("more.obj")});
    EXPECT_EQ(more.status, 0) << more.err;
    EXPECT_EQ(more.err, "g3: " + P("more.off") + ":7: warning: text after the 1 announced faces is ignored\n");
    EXPECT_EQ(Key(Info(P("more.obj")).out, "facets"), "1");

    // An STL without triangles is an empty surface, and so is the OBJ
    // written from it (the other formats: FileTest in the format tests).
    std::string header(80, ' ');
    header.append(4, '\0');
    std::ofstream(P("none.stl"), std::ios::binary) << header;
    ASSERT_EQ(Run({"convert", P("none.stl"), "-o", P("none.obj")}).status, 0);
    EXPECT_EQ(Key(Info(P("none.obj")).out, "vertices"), "0");
}

#else

TEST(G3Cli, NotBuilt) { GTEST_SKIP() << "the g3 tool is not part of this build"; }

#endif
