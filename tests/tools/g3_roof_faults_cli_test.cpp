// `g3 roof` refuses what makes no roof (a pitch at or below 0, named by its
// line; an overhang that turns an edge around, named by its ends and line;
// gables only) with status 2 and no file; steep pitches write the 90 degree
// gable.

#include "tests/tools/g3_tool_fixture.h"

#include <gtest/gtest.h>

#include <string>

#ifdef G3_TOOL_PATH

namespace {

using namespace g3tooltest;

class G3RoofFaultsCli : public G3ToolTest {};

TEST_F(G3RoofFaultsCli, RefusalsNameTheirLineAndSteepPitchesAreGables)
{
    const char* refused[][3] = {
        {"0 0 30\n10 0 -30\n10 6 30\n0 6 30\n", "0", "line 2 has a pitch of -30 degrees"},
        {"0 0 30\n10 0 30\n\n10 6 0\n0 6 30\n", "0", "line 4 has a pitch of 0 degrees"},
        {"8 0 30\n0 0 30\n0 10 30\n5 7.5 30\n3 4 30\n8 10 30\n", "0.5", "turns the edge from (5, 7.5) to (3, 4) (line 5)"},
        {"0 0 90\n10 0 95\n10 6 180\n0 6 90\n", "0", "every edge is a gable"}};
    for (const auto& c : refused) {
        Write("in.txt", c[0]);
        const Result r = Run({"roof", P("in.txt"), "-o", P("out.obj"), "--overhang", c[1]});
        EXPECT_EQ(2, r.status) << c[0];
        EXPECT_NE(std::string::npos, r.err.find(c[2])) << r.err;
        EXPECT_EQ(0u, Files().count("out.obj")) << c[0];
    }
    for (const char* deg : {"90", "95", "180", "270"}) {
        Write("in.txt", std::string("0 0 ") + deg + "\n10 0 30\n10 6 " + deg + "\n0 6 30\n");
        ASSERT_EQ(0, Run({"roof", P("in.txt"), "-o", P(std::string(deg) + ".obj"), "--overhang", "0.25"}).status);
        EXPECT_EQ(Read("90.obj"), Read(std::string(deg) + ".obj")) << deg;
    }
}

} // namespace

#endif
