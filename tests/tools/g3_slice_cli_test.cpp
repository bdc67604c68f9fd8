// The g3 commands of the solids builder and the slices on files: what they
// write reads back as the solids they print, and malformed arguments are
// usage errors (status 2) that write nothing.

#include "tests/tools/g3_tool_fixture.h"

#include "Geometry/mesh/G3MeshCheck.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#ifdef G3_TOOL_PATH

namespace {

using namespace g3tooltest;

class G3SliceCli : public G3ToolTest {};

// The plane A x + B y + C z = D at any scale of the four numbers, on the
// box 0..2 x 0..1 x 0..1: the part below has the volume of where the
// equation puts the cut (a normal not of unit length once cut at D along
// the unit normal, and a tiny one was refused).
TEST_F(G3SliceCli, PlanesOfAnyScaleCutWhereTheirEquationSays)
{
    ASSERT_EQ(0, Run({"box", "0,0,0,2,1,1", "-o", P("box.obj")}).status);
    const struct {
        const char* plane;
        double below;
    } cases[] = {{"2,0,0,1", 0.5},        {"1e-7,0,0,1e-7", 1.0}, {"0,0,-4,-2", 1.0},
                 {"1e200,0,0,1.5e200", 1.5}, {"3e-320,0,0,3e-320", 1.0}, {"0,0,1e-3,0.25e-3", 0.5}};
    for (const auto& c : cases) {
        Result r = Run({"slice", P("box.obj"), "--plane", c.plane, "-o", P("lo.obj"), "-o", P("hi.obj")});
        ASSERT_EQ(0, r.status) << c.plane << " " << r.err;
        for (const auto& [file, volume] : {std::make_pair("lo.obj", c.below), std::make_pair("hi.obj", 2 - c.below)}) {
            const Result info = Info(P(file));
            EXPECT_EQ("yes", Key(info.out, "closed")) << c.plane << " " << file;
            EXPECT_NEAR(volume, std::atof(Key(info.out, "volume").c_str()), 1e-12) << c.plane << " " << file;
        }
    }
    EXPECT_EQ(2, Run({"slice", P("box.obj"), "--plane", "1e-300,0,0,1e300", "-o", P("lo.obj")}).status);
}

TEST_F(G3SliceCli, GeneratorsSliceAndSeparateOnFiles)
{
    ASSERT_EQ(0, Run({"box", "0,0,0,2,1,1", "-o", P("box.obj")}).status);
    Result info = Info(P("box.obj"));
    EXPECT_EQ("yes", Key(info.out, "closed"));
    EXPECT_EQ(2.0, std::atof(Key(info.out, "volume").c_str()));
    // A first corner below zero is the corner, not an option.
    ASSERT_EQ(0, Run({"box", "-2,-1,-0.5,0,0,0", "-o", P("below.obj")}).status);
    EXPECT_EQ(1.0, std::atof(Key(Info(P("below.obj")).out, "volume").c_str()));

    // Slices at x = 0.5 .. 1.5: the parts' volumes are the cut's position.
    for (double x : {0.5, 1.0, 1.5}) {
        const std::string plane = "1,0,0," + std::to_string(x);
        Result r = Run({"slice", P("box.obj"), "--plane", plane, "-o", P("lo.obj"), "-o", P("hi.off")});
        ASSERT_EQ(0, r.status) << r.err;
        EXPECT_NEAR(x, std::atof(Key(Info(P("lo.obj")).out, "volume").c_str()), 1e-12);
        EXPECT_NEAR(2 - x, std::atof(Key(Info(P("hi.off")).out, "volume").c_str()), 1e-12);
    }
    // A sheet folded along the box's middle (x = 1, then y = 0.5): the
    // part it faces is the corner block; a sheet beside the box divides
    // nothing, so the whole box goes to the first file, status 1.
    std::ofstream(P("fold.obj")) << "v -1 -1 -1\nv 1 -1 -1\nv 1 -1 3\nv -1 -1 3\nv 1 0.5 -1\nv 1 0.5 3\n"
                                    "v 3 0.5 -1\nv 3 0.5 3\nf 1 2 3 4\nf 2 5 6 3\nf 5 7 8 6\n";
    Result folded = Run({"slice", P("box.obj"), "--sheet", P("fold.obj"), "-o", P("back.obj"), "-o", P("front.obj")});
    ASSERT_EQ(0, folded.status) << folded.err;
    EXPECT_NEAR(1.5, std::atof(Key(Info(P("back.obj")).out, "volume").c_str()), 1e-12);
    EXPECT_NEAR(0.5, std::atof(Key(Info(P("front.obj")).out, "volume").c_str()), 1e-12);
    std::ofstream(P("far.obj")) << "v 5 -1 -1\nv 5 2 -1\nv 5 2 2\nv 5 -1 2\nf 1 2 3 4\n";
    Result beside = Run({"slice", P("box.obj"), "--sheet", P("far.obj"), "-o", P("all.obj"), "-o", P("no.obj")});
    EXPECT_EQ(1, beside.status);
    EXPECT_EQ(2.0, std::atof(Key(Info(P("all.obj")).out, "volume").c_str()));
    EXPECT_FALSE(std::filesystem::exists(P("no.obj")));
    // A plane beside the solid: the whole solid below, status 1.
    Result miss = Run({"slice", P("box.obj"), "--plane", "0,0,1,5", "-o", P("whole.obj"), "-o", P("none.obj")});
    EXPECT_EQ(1, miss.status);
    EXPECT_EQ(2.0, std::atof(Key(Info(P("whole.obj")).out, "volume").c_str()));
    EXPECT_FALSE(std::filesystem::exists(P("none.obj")));

    ASSERT_EQ(0, Run({"sphere", "1.5", "13", "-o", P("sphere.off")}).status);
    info = Info(P("sphere.off"));
    EXPECT_EQ("yes", Key(info.out, "closed"));
    // 14 meridians, 8 rings of which two are poles.
    EXPECT_EQ("86", Key(info.out, "vertices"));
    // The south pole is one point at any radius (its ring once spread over
    // radius * 1e-16, past the tolerance from 1e10 on: an open sphere).
    for (const char* radius : {"1e-3", "1e10", "1e15"}) {
        ASSERT_EQ(0, Run({"sphere", radius, "8", "-o", P("any.obj")}).status) << radius;
        EXPECT_EQ("yes", Key(Info(P("any.obj")).out, "closed")) << radius;
    }

    ASSERT_EQ(0, Run({"shell", P("box.obj"), "--thickness", "0.5", "-o", P("shell.obj")}).status);
    EXPECT_NEAR(3.0 * 2 * 2, std::atof(Key(Info(P("shell.obj")).out, "volume").c_str()), 1e-12);
    // Deeper than half the box (it came out inside out) or past the finite
    // numbers (volume NaN): refused, nothing written.
    for (const char* t : {"-0.6", "1e300"}) {
        EXPECT_EQ(1, Run({"shell", P("box.obj"), "--thickness", t, "-o", P("folded.obj")}).status) << t;
        EXPECT_FALSE(std::filesystem::exists(P("folded.obj"))) << t;
    }

    // Two unit cubes in one file (corner k at its bits x, y, z) come apart
    // into two files.
    {
        std::ofstream two(P("two.obj"));
        const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
        for (int c = 0; c < 2; ++c) {
            for (int k = 0; k < 8; ++k)
                two << "v " << 3 * c + (k & 1) << " " << (k >> 1 & 1) << " " << (k >> 2 & 1) << "\n";
            for (const auto& f : faces)
                two << "f " << 8 * c + f[0] + 1 << " " << 8 * c + f[1] + 1 << " " << 8 * c + f[2] + 1 << " "
                    << 8 * c + f[3] + 1 << "\n";
        }
    }
    Result sep = Run({"separate", P("two.obj"), "-o", P("piece.off")});
    ASSERT_EQ(0, sep.status) << sep.err;
    EXPECT_NE(std::string::npos, sep.out.find("pieces: 2"));
    EXPECT_TRUE(std::filesystem::exists(P("piece-1.off")));
    EXPECT_TRUE(std::filesystem::exists(P("piece-2.off")));
    EXPECT_FALSE(std::filesystem::exists(P("piece-3.off")));
}

TEST_F(G3SliceCli, MalformedArgumentsWriteNothing)
{
    ASSERT_EQ(0, Run({"box", "0,0,0,1,1,1", "-o", P("in.obj")}).status);
    std::ofstream(P("bad.obj")) << "v 0 0 0\nf 1 2 3\n";
    std::ofstream(P("open.obj")) << "v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 3\n";
    const std::vector<std::vector<std::string>> rows = {
        {"slice", P("in.obj"), "--plane", "0,0,0,1", "-o", P("out.obj")},
        {"slice", P("in.obj"), "--plane", "0,0,1", "-o", P("out.obj")},
        {"slice", P("in.obj"), "--plane", "0,0,1,nan", "-o", P("out.obj")},
        {"slice", P("in.obj"), "--plane", "0,0,1,0.5", "-o", P("out.xyz")},
        {"slice", P("in.obj"), "--plane", "0,0,1,0.5"},
        {"slice", P("bad.obj"), "--plane", "0,0,1,0.5", "-o", P("out.obj")},
        {"slice", P("in.obj"), "--plane", "0,0,1,0.5", "--sheet", P("bad.obj"), "-o", P("out.obj")},
        {"slice", P("in.obj"), "--sheet", P("in.obj"), "-o", P("out.obj")},  // closed
        {"slice", P("in.obj"), "--sheet", P("none.obj"), "-o", P("out.obj")},
        {"slice", P("in.obj"), "--plane", "0,0,1,0.5", "--plane", "0,0,1,0.2", "-o", P("out.obj")},
        {"slice", P("in.obj"), "--plane", "0,0,1,0.5", "-o", P("out.obj"), "-o", (dir / "." / "out.obj").string()},
        {"separate", P("bad.obj"), "-o", P("out.obj")},
        {"separate", P("in.obj")},
        {"box", "0,0,0,1,1", "-o", P("out.obj")},
        {"box", "0,0,0,1,1,0", "-o", P("out.obj")},
        {"box", "0,0,0,1,1,1x", "-o", P("out.obj")},
        {"box", "0,0,0,1e200,1,1", "-o", P("out.obj")},  // beyond what the readers take
        {"box", "0,0,0,1e-7,1,1", "-o", P("out.obj")},   // a side within the point tolerance
        {"sphere", "1e200", "8", "-o", P("out.obj")},
        {"sphere", "1e-5", "64", "-o", P("out.obj")},    // meridians closer than the tolerance: open
        {"sphere", "0", "8", "-o", P("out.obj")},
        {"sphere", "1", "2", "-o", P("out.obj")},
        {"sphere", "1", "8.5", "-o", P("out.obj")},
        {"sphere", "1", "-o", P("out.obj")},
        {"shell", P("in.obj"), "-o", P("out.obj")},
        {"shell", P("in.obj"), "--thickness", "inf", "-o", P("out.obj")},
        {"shell", P("bad.obj"), "--thickness", "0.1", "-o", P("out.obj")},
        {"shell", P("open.obj"), "--thickness", "0.1", "-o", P("out.obj")},
    };
    for (const auto& args : rows) {
        Result r = Run(args);
        EXPECT_EQ(2, r.status) << args[0] << " " << args[1] << "\n" << r.err;
        EXPECT_FALSE(std::filesystem::exists(P("out.obj"))) << args[0];
        EXPECT_FALSE(std::filesystem::exists(P("out-1.obj"))) << args[0];
    }
}

// Boxes on random corners at the origin and at 5e5: the file holds exactly
// the numbers given (moved from the centre by the half sides, a corner was
// an ulp off, and a basement set on a survey point at 5e5 stood beside it).
TEST_F(G3SliceCli, BoxesKeepTheCornersGiven)
{
    std::mt19937_64 rng(5);
    int off = 0;
    for (int round = 0; round < 8; ++round) {
        double c[6];
        std::string arg;
        for (int k = 0; k < 6; ++k) {
            c[k] = (round % 2 ? 5e5 : 0.0) + std::ldexp(static_cast<double>(rng() >> 11), -47) + (k < 3 ? 0.0 : 70.0);
            char buf[32];
            arg += std::string(k ? "," : "") + std::string(buf, std::to_chars(buf, buf + sizeof buf, c[k]).ptr);
        }
        ASSERT_EQ(0, Run({"box", arg, "-o", P("b.txt")}).status);
        G3Surface box;
        ASSERT_TRUE(box.Load(P("b.txt").c_str()));
        EXPECT_EQ("", G3MeshCheck(&box));
        for (int i = 0; i < box.GetVertexCount(); ++i)
            for (int k = 0; k < 3; ++k)
                off += box.GetVertex(i)->GetXYZ()[k] != c[k] && box.GetVertex(i)->GetXYZ()[k] != c[k + 3];
    }
    EXPECT_EQ(0, off);
}

} // namespace

#endif
