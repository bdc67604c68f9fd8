// The g3 commands of the solids builder and the slices on files: what they
// write reads back as the solids they print, and malformed arguments are
// usage errors (status 2) that write nothing.

#include "tests/tools/g3_tool_fixture.h"

#include "Geometry/mesh/G3MeshCheck.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3SurfaceEdit.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <array>
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


std::string Num(double x)
{
    char buf[32];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, x).ptr);
}

// A basement box set on survey points of a covered terrain (its side
// through a border point, its floor on the body's bottom), at the origin
// and at 5e5: the box has exactly the corners given, and its union,
// intersection and difference with the body are clean, closed and add up.
// Built from the centre and half sides, a box stood an ulp beside the
// survey point at 5e5, and the booleans cut slivers there (short edges and
// a self-crossing bottom reported as success, or no result).
TEST_F(G3SliceCli, BasementBoxesOnSurveyPointsKeepTheirCorners)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int round = 0; round < 12; ++round) {
        const double o = round % 4 == 0 ? 0.0 : 5e5;
        std::string pts;
        std::vector<std::array<double, 3>> survey;
        for (int i = 0; i < 7; ++i)
            for (int j = 0; j < 7; ++j) {
                survey.push_back({o + 6.0 * i + 0.5 * unit(rng) - (i == 0 ? 0.02 * j * j : 0.0), o + 6.0 * j + 0.5 * unit(rng),
                                  5.0 + 2.0 * std::sin(0.4 * i + j) + unit(rng)});
                pts += Num(survey.back()[0]) + " " + Num(survey.back()[1]) + " " + Num(survey.back()[2]) + "\n";
            }
        Write("pts.txt", pts);
        ASSERT_EQ(0, Run({"terrain", P("pts.txt"), "-o", P("t.txt"), "--cover"}).status);
        // Through a point of the first column (on the border), reaching in.
        const auto& a = survey[static_cast<std::size_t>(1 + rng() % 5)];
        const auto& b = survey[static_cast<std::size_t>(7 * (2 + rng() % 4) + rng() % 7)];
        const double lo[3] = {a[0], std::fmin(a[1], b[1]) - 3.0, 0.0}, hi[3] = {b[0], std::fmax(a[1], b[1]) + 3.0, b[2]};
        ASSERT_EQ(0, Run({"box", Num(lo[0]) + "," + Num(lo[1]) + "," + Num(lo[2]) + "," + Num(hi[0]) + "," + Num(hi[1]) + "," + Num(hi[2]), "-o", P("b.txt")}).status);
        G3Surface box, body;
        ASSERT_TRUE(box.Load(P("b.txt").c_str()) && body.Load(P("t.txt").c_str()));
        int off = 0;
        for (int i = 0; i < box.GetVertexCount(); ++i)
            for (int k = 0; k < 3; ++k)
                off += box.GetVertex(i)->GetXYZ()[k] != lo[k] && box.GetVertex(i)->GetXYZ()[k] != hi[k];
        EXPECT_EQ(0, off) << round;
        std::map<std::string, double> volume;
        for (const char* op : {"union", "intersection", "difference"}) {
            const Result r = Run({"boolean", op, P("t.txt"), P("b.txt"), "-o", P("r.txt")});
            G3Surface result;
            if (!(r.status == 0 && result.Load(P("r.txt").c_str()))) {
                ADD_FAILURE() << op << " refused in round " << round << ": " << r.err;
                continue;
            }
            EXPECT_EQ("", G3MeshCheck(&result)) << op << " " << round;
            EXPECT_TRUE(G3SurfaceWatertight(&result)) << op << " " << round;
            result.FormPlaneEquation();
            int found = -1;
            EXPECT_TRUE(G3SurfaceEdit(&result).CheckSurface(0x1d, found)) << op << " " << round << " finds " << found;
            volume[op] = G3SurfaceVolume(&result);
        }
        if (volume.size() < 3)
            continue;
        const double vA = G3SurfaceVolume(&body), vB = G3SurfaceVolume(&box);
        const double tol = (o == 0.0 ? 1e-9 : 1e-6) * (vA + vB);
        EXPECT_NEAR(vA + vB, volume["union"] + volume["intersection"], tol) << round;
        EXPECT_NEAR(vA - volume["intersection"], volume["difference"], tol) << round;
    }
}

} // namespace

#endif
