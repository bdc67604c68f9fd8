// `g3 check`, `g3 explode` and the openings of `g3 roof` on files: the
// findings each defect gives and their exit status, pieces written and read
// back, openings cut through a thick roof that stays closed.

#include "tests/tools/g3_tool_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#ifdef G3_TOOL_PATH

namespace {

using namespace g3tooltest;

class G3EditCli : public G3ToolTest {};

// Unit cubes at x = 3k as OBJ text (corner j at its bits x, y, z).
std::string Cubes(int n)
{
    std::string obj;
    const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (int c = 0; c < n; ++c) {
        for (int k = 0; k < 8; ++k)
            obj += "v " + std::to_string(3 * c + (k & 1)) + " " + std::to_string(k >> 1 & 1) + " " +
                   std::to_string(k >> 2 & 1) + "\n";
        for (const auto& f : faces)
            obj += "f " + std::to_string(8 * c + f[0] + 1) + " " + std::to_string(8 * c + f[1] + 1) + " " +
                   std::to_string(8 * c + f[2] + 1) + " " + std::to_string(8 * c + f[3] + 1) + "\n";
    }
    return obj;
}

TEST_F(G3EditCli, CheckReportsEachDefect)
{
    const struct {
        const char* name;
        std::string obj;
        int status;
        const char* line;
    } rows[] = {
        {"cube.obj", Cubes(1), 0, "no findings"},
        {"crossing.obj", "v 0 0 0\nv 2 0 0\nv 2 2 0\nv 0 2 0\nv 1 1 -1\nv 1 3 -1\nv 1 3 1\nv 1 1 1\nf 1 2 3 4\nf 5 6 7 8\n",
         1, "intersecting facets: 0 and 1"},
        {"bowtie.obj", "v 0 0 0\nv 2 2 0\nv 2 0 0\nv 0 2 0\nf 1 2 3 4\n", 1, "self-crossing contour: facet 0"},
    };
    for (const auto& r : rows) {
        Write(r.name, r.obj);
        const Result out = Run({"check", P(r.name)});
        EXPECT_EQ(r.status, out.status) << r.name << out.err;
        EXPECT_NE(std::string::npos, out.out.find(std::string(r.line) + "\n")) << r.name << ": " << out.out;
    }
    EXPECT_EQ(2, Run({"check"}).status);
    EXPECT_EQ(2, Run({"check", P("missing.obj")}).status);
}

TEST_F(G3EditCli, ExplodeWritesOnePiecePerFile)
{
    Write("three.obj", Cubes(3));
    const Result r = Run({"explode", P("three.obj"), "-o", P("piece.off")});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("3", Key(r.out, "pieces"));
    for (int k = 1; k <= 3; ++k) {
        const Result info = Info(P("piece-" + std::to_string(k) + ".off"));
        EXPECT_EQ("yes", Key(info.out, "closed"));
        EXPECT_EQ("8", Key(info.out, "vertices"));
        EXPECT_EQ(1.0, std::atof(Key(info.out, "volume").c_str()));
    }
    EXPECT_FALSE(std::filesystem::exists(P("piece-4.off")));
    EXPECT_EQ(2, Run({"explode", P("three.obj")}).status);
}

TEST_F(G3EditCli, RoofOpeningsCutThroughBothLayers)
{
    Write("house.txt", "0 0 35\n12 0 35\n12 8 35\n0 8 35\n");
    // A chimney, a roof window, and an outline across the ridge's end.
    Write("openings.txt", "# chimney\n3 1.5\n4 1.5\n4 2.5\n3 2.5\n\n6 5.5\n7.2 5.5\n7.2 6.7\n6 6.7\n\n"
                          "3.5 3.5\n4.5 3.5\n4.5 4.5\n3.5 4.5\n");
    Result r = Run({"roof", P("house.txt"), "--thickness", "0.3", "--overhang", "0.5", "--opening",
                    P("openings.txt"), "-o", P("roof.txt")});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("2 of 3 cut", Key(r.out, "openings"));
    // Twelve facets (two layers of four, four fascia), one wall per opening
    // edge; each pierced facet keeps its opening as a hole, and the slab
    // stays closed and faces out.
    const std::string info = Info(P("roof.txt")).out;
    EXPECT_EQ("20", Key(info, "facets"));
    EXPECT_EQ("4", Key(info, "facets with holes"));
    EXPECT_EQ("yes", Key(info, "closed"));
    EXPECT_EQ("yes", Key(info, "consistently oriented"));
    // Without thickness there is one layer: nothing is cut.
    r = Run({"roof", P("house.txt"), "--opening", P("openings.txt"), "-o", P("thin.obj")});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("0 of 3 cut", Key(r.out, "openings"));
    // A malformed line or a two-point outline writes nothing.
    for (const char* bad : {"1 1\n2 x\n2 2\n", "1 1\n2 1\n\n1 1\n2 1\n2 2\n"}) {
        Write("bad.txt", bad);
        r = Run({"roof", P("house.txt"), "--thickness", "0.3", "--opening", P("bad.txt"), "-o", P("bad.obj")});
        EXPECT_EQ(2, r.status);
        EXPECT_FALSE(std::filesystem::exists(P("bad.obj")));
    }
}

} // namespace

#endif
