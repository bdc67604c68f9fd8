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
        {"doubled.obj", "v 0 0 0\nv 2 0 0\nv 2 2 0\nv 0 2 0\nv 0.5 0.5 0\nv 1.5 0.5 0\nv 0.5 1.5 0\nf 1 2 3 4\nf 5 7 6\n", 1,
         "facets on one another: 0 and 1"},
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

// A thick roof written with its normals, a skylight pushed through its
// south slope by `g3 insert`: the lower layer's normals once pointed up
// while the layer faced down, and the edit's update turned the layer back
// into the slab (volume 41 for 9.5, facets on one another).
TEST_F(G3EditCli, SkylightPushedThroughAWrittenThickRoof)
{
    Write("box.txt", "0 0 30\n8 0 30\n8 6 30\n0 6 30\n");
    ASSERT_EQ(0, Run({"roof", P("box.txt"), "--thickness", "0.2", "-o", P("roof.obj")}).status);
    // On the upper layer: z = 0.2 + y tan 30; through it, 0.2 cos 30 deep.
    Write("sky.txt", "3.5 1 0.77735026918962573\n4.1 1 0.77735026918962573\n4.1 1.6 1.1237604307034013\n"
                     "3.5 1.6 1.1237604307034013\n");
    const Result r = Run({"insert", P("roof.obj"), "--contours", P("sky.txt"), "--depth", "0.17320508075688773", "-o",
                          P("sky.obj")});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("contour 1: through")) << r.out;
    // 9.6 less the prism: 0.6 by 0.6 / cos 30 on the slope, 0.2 cos 30 deep.
    EXPECT_NEAR(9.6 - 0.072, std::stod(Key(Info(P("sky.obj")).out, "volume")), 1e-6);
    EXPECT_EQ(0, Run({"check", P("sky.obj")}).status);
}

TEST_F(G3EditCli, InsertPushesPocketsBossesAndOpeningsIntoAWall)
{
    // A wall 4 x 0.3 x 2.5 and two windows drawn on its front face, the
    // second touching the first along a side: 1.7 square units.
    ASSERT_EQ(0, Run({"box", "0,0,0,4,0.3,2.5", "-o", P("wall.off")}).status);
    Write("windows.txt", "1 0 0.9\n2 0 0.9\n2 0 2.1\n1 0 2.1\n\n# beside it\n2 0 1\n3 0 1\n3 0 1.5\n2 0 1.5\n");
    const struct {
        const char* depth;
        const char* direction;
        int status;
        const char* kind;
        double volume;
    } rows[] = {
        {"0.1", nullptr, 0, "pocket", 3.0 - 0.17},
        {"0.3", nullptr, 0, "through", 3.0 - 0.51},
        {"0.2", "0,-2,0", 0, "boss", 3.0 + 0.34},
        {"0.4", nullptr, 1, "refused", 0.0},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args = {"insert", P("wall.off"), "--contours", P("windows.txt"), "--depth",
                                         row.depth, "-o", P("out.off")};
        if (row.direction)
            args.insert(args.end(), {"--direction", row.direction});
        std::filesystem::remove(P("out.off"));
        const Result r = Run(args);
        ASSERT_EQ(row.status, r.status) << row.depth << r.err;
        EXPECT_EQ(0u, Key(r.out, "contour 2").find(row.kind)) << r.out;
        if (row.status != 0) {
            EXPECT_FALSE(std::filesystem::exists(P("out.off")));
            continue;
        }
        const std::string info = Info(P("out.off")).out;
        EXPECT_EQ("yes", Key(info, "closed")) << row.depth;
        EXPECT_NEAR(row.volume, std::atof(Key(info, "volume").c_str()), 1e-9) << row.depth;
        EXPECT_EQ(0, Run({"check", P("out.off")}).status) << row.depth;
    }
    // A contour off the wall, a malformed line, a depth of nothing.
    Write("off.txt", "1 -1 1\n2 -1 1\n2 -1 2\n");
    EXPECT_EQ(1, Run({"insert", P("wall.off"), "--contours", P("off.txt"), "--depth", "0.1", "-o", P("o.off")}).status);
    Write("bad.txt", "1 0 1\n2 0\n2 0 2\n");
    EXPECT_EQ(2, Run({"insert", P("wall.off"), "--contours", P("bad.txt"), "--depth", "0.1", "-o", P("o.off")}).status);
    EXPECT_EQ(2, Run({"insert", P("wall.off"), "--contours", P("windows.txt"), "--depth", "0", "-o", P("o.off")}).status);
    EXPECT_FALSE(std::filesystem::exists(P("o.off")));
}

} // namespace

#endif
