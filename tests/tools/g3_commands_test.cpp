// g3 boolean, update, classify, contours, roof, section and render run as a
// program on files: the report and the file written; and every command's
// refused command lines in one table (statuses, messages, nothing written).

#include "tests/tools/g3_tool_fixture.h"

#ifdef G3_HAVE_RENDER
#include "tools/render/G3Render.h"
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#ifdef G3_TOOL_PATH

namespace {

using namespace g3tooltest;

class G3Commands : public G3ToolTest {
protected:
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

TEST_F(G3Commands, BooleanOfTwoBoxesAndTheSameBytesFromTwoProcesses)
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
    ASSERT_EQ(0, Run({"boolean", "difference", P("a.obj"), P("turned.obj"), "-o", P("second.txt")}).status);
    EXPECT_FALSE(Read("first.txt").empty());
    EXPECT_EQ(Read("first.txt"), Read("second.txt"));
}

TEST_F(G3Commands, UpdateLevel)
{
    WriteBox("a.obj", 0, 1);
    Result closed = Run({"update", "1001", P("a.obj"), "-o", P("a.txt")});
    ASSERT_EQ(0, closed.status) << closed.err;
    EXPECT_NE(closed.out.find("Update(1001): 8 vertices, 12 edges, 6 facets"), std::string::npos)
        << closed.out;
}

TEST_F(G3Commands, ClassifyPointsInOutAndOnAUnitCube)
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

TEST_F(G3Commands, ContoursDividedAndIntersected)
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
    // The common part of two overlapping squares, as one region by the
    // even-odd rule, is empty; the pieces are the two L-shapes around it.
    Write("overlap.txt", "0 0\n2 0\n2 2\n0 2\n\n1 1\n3 1\n3 3\n1 3\n");
    EXPECT_EQ("contours: 0\n", Run({"contours", P("overlap.txt"), "--op", "common"}).out);
    const Result pieces = Run({"contours", P("overlap.txt"), "--op", "pieces"});
    EXPECT_NE(std::string::npos, pieces.out.find("contours: 2\n"));
}

TEST_F(G3Commands, HipAndThickGableRoofsAndASection)
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

TEST_F(G3Commands, RenderWritesTheSamePictureEveryTimeAndOneForEachViewAndEdgeMode)
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
TEST_F(G3Commands, RefusedCommandLinesWriteNothing)
{
    const std::string cube = Data("cube.obj"), out = P("out.obj");
    Write("keep.obj", "keep\n");
    Write("plain", "not a folder\n");
    Write("bad.ply", "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nend_header\n0\n");
    const std::map<std::string, std::string> inputs = {
        {"short.pts", "0 0 0\n1 2\n"},         {"nan.pts", "1 2 nan\n"},
        {"point.pts", "0 0 0\n"},              {"nan.xy", "0 0\n1 nan\n"},
        {"three.xy", "0 0\n1 1 1\n"},          {"square.xy", "0 0\n4 0\n4 4\n0 4\n"},
        {"word.roof", "0 0 30\n10 0 30\n10 six 30\n0 6 30\n"},
        {"extra.roof", "0 0 30\n10 0 30 7\n10 6 30\n0 6 30\n"},
        {"nan.roof", "0 0 30\n10 0 nan\n10 6 30\n0 6 30\n"},
        {"flat.roof", "0 0 30\n10 0 0\n10 6 30\n0 6 30\n"}};
    for (const auto& [name, text] : inputs)
        Write(name, text);
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
        // Input a reader refuses: one line naming the file (and line).
        {2, {"info", P("missing.obj")}, "missing.obj"},
        {2, {"convert", Data("bad_number.off"), "-o", P("keep.obj")}, "bad_number.off:4"},
        {2, {"repair", P("bad.ply"), "-o", out},
         "g3: " + P("bad.ply") + ":3: vertex element has no property 'y'\n"},
        // A write that fails is the tool's failure, not the input's.
        {1, {"convert", cube, "-o", P("no/such/folder/x.obj")}, "x.obj"},
        {1, {"demo", "-o", P("plain")}, "plain"},
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
}

} // namespace

#endif
