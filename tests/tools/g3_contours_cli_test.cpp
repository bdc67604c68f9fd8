// g3 contours on contours that overlap: divided, no contour is taken for the
// hole of one it only partly covers; with --op, each contour is an operand
// of its own; corners printed to the last digit.

#include "tools/g3_tool_fixture.h"

#ifdef G3_TOOL_PATH

namespace {

using g3tooltest::Result;

class G3Contours : public g3tooltest::G3ToolTest {};

TEST_F(G3Contours, OverlappingSquaresAreDividedAndCombined)
{
    Write("overlap.txt", "0 0\n4 0\n4 4\n0 4\n\n2 2\n6 2\n6 6\n2 6\n");
    for (const char* separate : {"", "--separate"}) {
        std::vector<std::string> args = {"contours", P("overlap.txt")};
        if (*separate)
            args.push_back(separate);
        const Result d = Run(args);
        ASSERT_EQ(0, d.status) << d.err;
        // The two L-shapes around the common square, both outer.
        EXPECT_EQ("contour 1: outer, 6 edges\n  0 0\n  4 0\n  4 2\n  2 2\n  2 4\n  0 4\n"
                  "contour 2: outer, 6 edges\n  4 4\n  4 2\n  6 2\n  6 6\n  2 6\n  2 4\ncontours: 2\n",
                  d.out);
    }
    EXPECT_EQ("contour 1: outer, 8 edges\n  0 0\n  4 0\n  4 2\n  6 2\n  6 6\n  2 6\n  2 4\n  0 4\ncontours: 1\n",
              Run({"contours", P("overlap.txt"), "--op", "union"}).out);
    EXPECT_EQ("contour 1: outer, 4 edges\n  2 2\n  4 2\n  4 4\n  2 4\ncontours: 1\n",
              Run({"contours", P("overlap.txt"), "--op", "common"}).out);
    EXPECT_NE(std::string::npos, Run({"contours", P("overlap.txt"), "--op", "pieces"}).out.find("contours: 3\n"));

    // A square inside another: their union is the outer one, their common
    // part the inner one.
    Write("nested.txt", "0 0\n4 0\n4 4\n0 4\n\n1 1\n3 1\n3 3\n1 3\n");
    EXPECT_EQ("contour 1: outer, 4 edges\n  0 0\n  4 0\n  4 4\n  0 4\ncontours: 1\n",
              Run({"contours", P("nested.txt"), "--op", "union"}).out);
    EXPECT_EQ("contour 1: outer, 4 edges\n  1 1\n  3 1\n  3 3\n  1 3\ncontours: 1\n",
              Run({"contours", P("nested.txt"), "--op", "common"}).out);
}

// At site coordinates every digit of a corner comes back, divided or
// combined: nine significant digits kept only millimetres there.
TEST_F(G3Contours, SiteCoordinatesKeepTheirDigits)
{
    Write("site.txt", "512345.1234 345678.4321\n512349.1234 345678.4321\n512349.1234 345682.4321\n"
                      "512345.1234 345682.4321\n\n512347.1234 345680.4321\n512351.1234 345680.4321\n"
                      "512351.1234 345684.4321\n512347.1234 345684.4321\n");
    EXPECT_EQ("contour 1: outer, 4 edges\n  512347.1234 345680.4321\n  512349.1234 345680.4321\n"
              "  512349.1234 345682.4321\n  512347.1234 345682.4321\ncontours: 1\n",
              Run({"contours", P("site.txt"), "--op", "common"}).out);
    const Result d = Run({"contours", P("site.txt")});
    ASSERT_EQ(0, d.status) << d.err;
    EXPECT_NE(std::string::npos, d.out.find("\n  512345.1234 345678.4321\n")) << d.out;
    EXPECT_NE(std::string::npos, d.out.find("\n  512351.1234 345684.4321\n")) << d.out;
}

// g3 clip: a room and a line through a window (the stretches along the
// window's sides hidden), then the line's segments cut by a notched
// polygon whose notch tip touches it; one of --window and --polygon.
TEST_F(G3Contours, ClipCutsPathsToAWindowOrAPolygon)
{
    Write("paths.txt", "# a room\n0 0\n4 0\n4 3\n0 3\n0 0\n\n-1 1\n5 1\n\n10 10\n11 11\n");
    Result r = Run({"clip", P("paths.txt"), "--window", "3,5,1,-1"});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("path 1: 1 pieces\npiece 1: 5 points\n  1 0\n  3 0\n  3 3 hidden\n  1 3\n  1 0 hidden\n"
              "path 2: 1 pieces\npiece 1: 2 points\n  1 1\n  3 1\npath 3: 0 pieces\n",
              r.out);
    Write("notch.txt", "1 -1\n3 -1\n3 2\n2 1\n1 2\n");
    r = Run({"clip", P("paths.txt"), "--polygon", P("notch.txt")});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("path 1: 1 pieces\npiece 1: 2 points\n  1 0\n  3 0\npath 2: 2 pieces\npiece 1: 2 points\n  1 1\n"
              "  2 1\npiece 2: 2 points\n  2 1\n  3 1\npath 3: 0 pieces\n",
              r.out);
    EXPECT_EQ(2, Run({"clip", P("paths.txt")}).status);
    EXPECT_EQ(2, Run({"clip", P("paths.txt"), "--window", "1,2,3"}).status);
    EXPECT_EQ(2, Run({"clip", P("paths.txt"), "--window", "1,2,3,4", "--polygon", P("notch.txt")}).status);
    Write("lone.txt", "1 1\n\n2 2\n3 3\n");
    EXPECT_EQ(2, Run({"clip", P("lone.txt"), "--window", "0,0,5,5"}).status);
}

} // namespace

#endif
