// g3 section, run as a program on files: the section written, its report
// line, and the statuses of refused input.

#include "tests/tools/g3_tool_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#ifdef G3_TOOL_PATH

namespace {

using namespace g3tooltest;

class G3Section : public G3ToolTest {
protected:
    const std::string cube = Data("cube.obj");
};

TEST_F(G3Section, WritesTheFacesWherePlanesCutTheMesh)
{
    const std::string out = P("cut.obj");
    Result r = Run({"section", cube, "--plane", "1,1,1,-1.5", "--plane", "0,0,1,-0.25", "-o", out});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("section: 2 facets, area 2.29903811")) << r.out;
    Result info = Info(out);
    EXPECT_EQ("2", Key(info.out, "facets")) << info.out;
    EXPECT_EQ("10", Key(info.out, "vertices")) << info.out;
}

TEST_F(G3Section, RefusedInputWritesNothing)
{
    const std::string out = P("none.obj");
    // The plane misses the cube: status 1.
    EXPECT_EQ(1, Run({"section", cube, "--plane", "0,0,1,-5", "-o", out}).status);
    // A plane without a normal, a malformed plane, no plane, a missing file.
    EXPECT_EQ(2, Run({"section", cube, "--plane", "0,0,0,1", "-o", out}).status);
    EXPECT_EQ(2, Run({"section", cube, "--plane", "0,0,1", "-o", out}).status);
    EXPECT_EQ(2, Run({"section", cube, "-o", out}).status);
    EXPECT_EQ(2, Run({"section", P("missing.obj"), "--plane", "0,0,1,0", "-o", out}).status);
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(0, Run({"section", "--help"}).status);
}

} // namespace

#endif
