// `g3 roof` refusing what makes no roof: a pitch at or below 0 (named by
// its line), an overhang that turns an edge around (named by its ends and
// line), an outline of gables only; each exits 2 and writes nothing. Steep
// pitches are gables: 95 and 180 degrees write what 90 writes.

#include "tests/tools/g3_tool_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifdef G3_TOOL_PATH

namespace {

using namespace g3tooltest;

class G3RoofFaultsCli : public G3ToolTest {};

TEST_F(G3RoofFaultsCli, RefusalsNameTheirLineAndWriteNothing)
{
    const struct {
        const char* text;
        const char* overhang;
        const char* message;
    } cases[] = {
        {"0 0 30\n10 0 -30\n10 6 30\n0 6 30\n", "0", "line 2 has a pitch of -30 degrees"},
        {"0 0 30\n10 0 30\n\n10 6 0\n0 6 30\n", "0", "line 4 has a pitch of 0 degrees"},
        {"8 0 30\n0 0 30\n0 10 30\n5 7.5 30\n3 4 30\n8 10 30\n", "0.5",
         "turns the edge from (5, 7.5) to (3, 4) (line 5) around"},
        {"0 0 90\n10 0 95\n10 6 180\n0 6 90\n", "0", "every edge is a gable"},
    };
    for (const auto& c : cases) {
        Write("in.txt", c.text);
        const Result r = Run({"roof", P("in.txt"), "-o", P("out.obj"), "--overhang", c.overhang});
        EXPECT_EQ(2, r.status) << c.text;
        EXPECT_NE(std::string::npos, r.err.find(c.message)) << r.err;
        EXPECT_EQ(0u, Files().count("out.obj")) << c.text;
    }
    // The sharp reflex corner without overhang builds.
    Write("in.txt", cases[2].text);
    EXPECT_EQ(0, Run({"roof", P("in.txt"), "-o", P("ok.obj")}).status);
}

TEST_F(G3RoofFaultsCli, SteepPitchesWriteTheGableOf90Degrees)
{
    std::string first;
    for (const char* deg : {"90", "95", "180", "270"}) {
        Write("in.txt", std::string("0 0 ") + deg + "\n10 0 30\n10 6 " + deg + "\n0 6 30\n");
        const Result r = Run({"roof", P("in.txt"), "-o", P("out.obj"), "--overhang", "0.25"});
        ASSERT_EQ(0, r.status) << deg << r.err;
        if (first.empty())
            first = Read("out.obj");
        EXPECT_EQ(first, Read("out.obj")) << deg;
    }
}

} // namespace

#endif
