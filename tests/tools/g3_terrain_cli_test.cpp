// g3 terrain on files: every smoothing mode with a pad and the cover gives
// a closed body whose volume matches the survey's; malformed inputs are
// refused with their line and write nothing.

#include "tests/tools/g3_tool_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#ifdef G3_TOOL_PATH

namespace {

using namespace g3tooltest;

class G3TerrainCli : public G3ToolTest {};

TEST_F(G3TerrainCli, SmoothedPaddedCoveredSurvey)
{
    // A 16 x 16 survey on the plane z = 4 + 0.1 x, a little noise.
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> noise(-0.05, 0.05);
    std::ostringstream pts;
    pts << "# survey\n";
    for (int i = 0; i < 16; ++i)
        for (int j = 0; j < 16; ++j)
            pts << i << " " << j << " " << 4 + 0.1 * i + noise(rng) << "\n";
    Write("pts.txt", pts.str());
    Write("pad.txt", "5 5 5\n9 5 5\n9 9 5\n5 9 5\n");
    // The plane's volume over 15 x 15: 15 * 15 * (4 + 0.75).
    const double volume = 15 * 15 * 4.75;
    for (const char* mode : {"1", "2", "3", "4"}) {
        Result r = Run({"terrain", P("pts.txt"), "-o", P("t.obj"), "--smooth", mode, "--pad", P("pad.txt"),
                        "--pad-offset", "1", "--cover"});
        ASSERT_EQ(0, r.status) << r.err;
        EXPECT_NE(std::string::npos, r.out.find("covered: ")) << r.out;
        Result info = Info(P("t.obj"));
        EXPECT_EQ("yes", Key(info.out, "closed")) << mode;
        EXPECT_EQ("yes", Key(info.out, "consistently oriented")) << mode;
        EXPECT_EQ("0", Key(info.out, "non-manifold edges")) << mode;
        EXPECT_NEAR(volume, std::atof(Key(info.out, "volume").c_str()), 0.02 * volume) << mode;
    }
    Result open = Run({"terrain", P("pts.txt"), "-o", P("open.off")});
    ASSERT_EQ(0, open.status) << open.err;
    EXPECT_EQ("no", Key(Info(P("open.off")).out, "closed"));
}

// A survey reaching below z = 0 (inside or on its border) cannot be closed
// on a bottom at z = 0: the cover is refused and nothing written (it wrote
// a body crossing its bottom). The open terrain is still written, and the
// same survey lifted is covered cleanly.
TEST_F(G3TerrainCli, CoverRefusesGroundBelowItsBottom)
{
    for (const double lift : {0.0, 1.0})
        for (const int low : {12, 0}) {
            std::string pts;
            for (int k = 0; k < 25; ++k)
                pts += std::to_string(k % 5) + " " + std::to_string(k / 5) + " " +
                       std::to_string(lift + (k == low ? -0.5 : 0.5 + 0.1 * (k % 3))) + "\n";
            Write("pts.txt", pts);
            std::filesystem::remove(P("t.txt"));
            const Result r = Run({"terrain", P("pts.txt"), "-o", P("t.txt"), "--cover"});
            EXPECT_EQ(lift > 0.0 ? 0 : 1, r.status) << low << " " << r.err;
            EXPECT_EQ(lift > 0.0, std::filesystem::exists(P("t.txt"))) << low;
            if (lift > 0.0) {
                EXPECT_EQ(0, Run({"check", P("t.txt")}).status) << low;
            }
            EXPECT_EQ(0, Run({"terrain", P("pts.txt"), "-o", P("open.txt")}).status) << low;
        }
}

TEST_F(G3TerrainCli, MalformedInputsWriteNothing)
{
    Write("pts.txt", "0 0 1\n1 0 1\n0 1 1\n1 1 1\n");
    Write("bad.txt", "0 0 1\n\n1 0 x\n");
    Write("line.txt", "0 0 1\n1 1 1\n2 2 1\n");
    Write("bow.txt", "0 0 1\n1 1 1\n1 0 1\n0 1 1\n");
    Write("pad.txt", "0.25 0.25 2\n0.75 0.25 2\n0.75 0.75 2\n0.25 0.75 2\n");
    const std::vector<std::vector<std::string>> cases = {
        {"terrain", P("bad.txt"), "-o", P("x.obj")},
        {"terrain", P("line.txt"), "-o", P("x.obj")},
        {"terrain", P("pts.txt"), "-o", P("x.obj"), "--pad", P("bad.txt")},
        {"terrain", P("pts.txt"), "-o", P("x.obj"), "--pad", P("bow.txt")},
        {"terrain", P("pts.txt"), "-o", P("x.obj"), "--smooth", "5"},
        {"terrain", P("pts.txt"), "-o", P("x.obj"), "--smooth", "1", "--iterations", "7"},
        {"terrain", P("pts.txt"), "-o", P("x.obj"), "--pad", P("pts.txt"), "--pad-offset", "0.00001"},
        {"terrain", P("pts.txt"), "-o", P("x.obj"), "--pad", P("pad.txt"), "--pad-offset", "-0.1"},
        {"terrain", P("pts.txt"), "-o", P("x.xyz")},
        {"terrain", P("missing.txt"), "-o", P("x.obj")},
    };
    for (const auto& c : cases) {
        Result r = Run(c);
        EXPECT_EQ(2, r.status) << c[1] << " " << r.err;
        EXPECT_FALSE(fs::exists(P("x.obj")));
    }
    EXPECT_NE(std::string::npos, Run(cases[0]).err.find("bad.txt:3:"));
}

} // namespace

#endif
