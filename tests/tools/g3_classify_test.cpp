// g3 classify on files: the class of points in, out of and on a cube, the
// same answers run after run, and refused point files.

#include "tests/tools/g3_tool_fixture.h"

#include <gtest/gtest.h>

#include <string>

#ifdef G3_TOOL_PATH

namespace {

using namespace g3tooltest;

class G3Classify : public G3ToolTest {
protected:
    std::string Points(const std::string& text)
    {
        Write("points.txt", text);
        return P("points.txt");
    }
    const std::string cube = Data("cube.obj");
};

TEST_F(G3Classify, InsideOutsideAndOnAUnitCube)
{
    // The centre, a far point, a point on the top face, one a hair above it
    // (on: within 1e-6), one just beyond the tolerance, and a point near a
    // corner, from which rays shorter than the box's diagonal can end inside.
    const std::string points = Points("# x y z\n0.5 0.5 0.5\n\n2 2 2\n0.5 0.5 1\n0.5 0.5 1.0000001\n"
                                      "0.5 0.5 1.001\n0.999 0.999 0.999\n");
    Result r = Run({"classify", cube, points});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("0.5 0.5 0.5 inside\n"
              "2 2 2 outside\n"
              "0.5 0.5 1 on\n"
              "0.5 0.5 1.0000001 on\n"
              "0.5 0.5 1.001 outside\n"
              "0.999 0.999 0.999 inside\n"
              "6 points: 2 inside, 2 outside, 2 on, 0 unknown\n",
              r.out);
    // Another seed draws other rays, with the same answers here.
    EXPECT_EQ(r.out, Run({"classify", cube, points, "--seed", "7"}).out);
}

TEST_F(G3Classify, RefusesMalformedPointsAndMeshes)
{
    Result bad = Run({"classify", cube, Points("0 0 0\n1 2\n")});
    EXPECT_EQ(2, bad.status);
    EXPECT_NE(std::string::npos, bad.err.find("points.txt:2:")) << bad.err;
    EXPECT_EQ(2, Run({"classify", cube, Points("1 2 nan\n")}).status);
    EXPECT_EQ(2, Run({"classify", cube, P("missing.txt")}).status);
    EXPECT_EQ(2, Run({"classify", P("missing.obj"), Points("0 0 0\n")}).status);
    EXPECT_EQ(2, Run({"classify", cube}).status);
    EXPECT_EQ(2, Run({"classify", cube, Points("0 0 0\n"), "--seed", "x"}).status);
}

} // namespace

#endif
