// `g3 boolean` and `g3 update` run as a program on files: the report, the
// file written, and refused input (a malformed operand writes nothing).

#include "tests/tools/g3_tool_fixture.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

#ifdef G3_TOOL_PATH

namespace {

using namespace g3tooltest;

class G3BooleanCli : public G3ToolTest {
protected:
    // An axis-aligned box as OBJ, six quads facing out.
    void WriteBox(const std::string& name, double x0, double x1)
    {
        std::ofstream out(P(name));
        for (int i = 0; i < 8; ++i)
            out << "v " << (i & 1 ? x1 : x0) << " " << (i & 2 ? 1 : 0) << " " << (i & 4 ? 1 : 0) << "\n";
        out << "f 1 3 4 2\nf 5 6 8 7\nf 1 2 6 5\nf 3 7 8 4\nf 1 5 7 3\nf 2 4 8 6\n";
    }
};

TEST_F(G3BooleanCli, UnionDifferenceIntersectionOfTwoBoxes)
{
    WriteBox("a.obj", 0, 1);
    WriteBox("b.obj", 0.5, 1.5);
    const struct {
        const char* op;
        const char* volume;
    } cases[] = {{"union", "volume: 1.5"}, {"difference", "volume: 0.5"}, {"intersection", "volume: 0.5"}};
    for (const auto& c : cases) {
        std::string out;
        ASSERT_EQ(0, Run({"boolean", c.op, P("a.obj"), P("b.obj"), "-o", P(std::string(c.op) + ".obj")}, &out))
            << c.op;
        EXPECT_NE(out.find("A " + P("a.obj") + ": 8 vertices"), std::string::npos) << out;
        EXPECT_NE(out.find("closed: yes, volume: 1\n"), std::string::npos) << out;
        const std::size_t result = out.find("result: ");
        ASSERT_NE(result, std::string::npos) << out;
        EXPECT_NE(out.find(c.volume, result), std::string::npos) << out;
        EXPECT_TRUE(fs::exists(P(std::string(c.op) + ".obj")));
    }
    // Apart: an empty intersection is written as an empty mesh.
    WriteBox("far.obj", 5, 6);
    std::string out;
    ASSERT_EQ(0, Run({"boolean", "intersection", P("a.obj"), P("far.obj"), "-o", P("none.off")}, &out));
    EXPECT_NE(out.find("result: empty"), std::string::npos) << out;
}

TEST_F(G3BooleanCli, TwoProcessesWriteTheSameBytes)
{
    // A unit box and a box turned about two axes through it: cut facets,
    // rays and welding all take part; each run is a process of its own.
    WriteBox("a.obj", 0, 1);
    {
        std::ofstream out(P("b.obj"));
        const double cz = std::cos(0.5), sz = std::sin(0.5), cx = std::cos(0.3), sx = std::sin(0.3);
        for (int i = 0; i < 8; ++i) {
            const double x = (i & 1 ? 0.7 : -0.3), y = (i & 2 ? 0.7 : -0.3), z = (i & 4 ? 0.7 : -0.3);
            const double x1 = cz * x - sz * y, y1 = sz * x + cz * y;
            out.precision(17);
            out << "v " << x1 + 0.6 << " " << cx * y1 - sx * z + 0.5 << " " << sx * y1 + cx * z + 0.4 << "\n";
        }
        out << "f 1 3 4 2\nf 5 6 8 7\nf 1 2 6 5\nf 3 7 8 4\nf 1 5 7 3\nf 2 4 8 6\n";
    }
    for (const char* op : {"union", "difference", "intersection"}) {
        std::string out;
        const std::string first = P(std::string(op) + "1.txt"), second = P(std::string(op) + "2.txt");
        ASSERT_EQ(0, Run({"boolean", op, P("a.obj"), P("b.obj"), "-o", first}, &out)) << op;
        ASSERT_EQ(0, Run({"boolean", op, P("a.obj"), P("b.obj"), "-o", second}, &out)) << op;
        const std::string bytes = Slurp(first);
        EXPECT_FALSE(bytes.empty()) << op;
        EXPECT_EQ(bytes, Slurp(second)) << op;
    }
}

TEST_F(G3BooleanCli, MalformedOrMissingOperandWritesNothing)
{
    WriteBox("a.obj", 0, 1);
    const std::string bad = std::string(G3_TEST_DATA_DIR) + "/tools/data/bad_index.obj";
    std::string out;
    EXPECT_EQ(2, Run({"boolean", "union", P("a.obj"), bad, "-o", P("r.obj")}, &out));
    EXPECT_EQ(2, Run({"boolean", "union", bad, P("a.obj"), "-o", P("r.obj")}, &out));
    EXPECT_EQ(2, Run({"boolean", "union", P("a.obj"), P("missing.obj"), "-o", P("r.obj")}, &out));
    EXPECT_EQ(out.find("result"), std::string::npos);
    EXPECT_EQ(2, Run({"boolean", "xor", P("a.obj"), P("a.obj"), "-o", P("r.obj")}, &out));
    EXPECT_EQ(2, Run({"boolean", "union", P("a.obj"), P("a.obj"), "-o", P("r.xyz")}, &out));
    EXPECT_EQ(2, Run({"boolean", "union", P("a.obj"), "-o", P("r.obj")}, &out));
    EXPECT_FALSE(fs::exists(P("r.obj")));
}

TEST_F(G3BooleanCli, UpdateLevels)
{
    // An open box: its top missing.
    {
        std::ofstream o(P("open.obj"));
        for (int i = 0; i < 8; ++i)
            o << "v " << (i & 1) << " " << ((i >> 1) & 1) << " " << ((i >> 2) & 1) << "\n";
        o << "f 1 3 4 2\nf 1 2 6 5\nf 3 7 8 4\nf 1 5 7 3\nf 2 4 8 6\n";
    }
    std::string out;
    ASSERT_EQ(0, Run({"update", "1003", P("open.obj"), "-o", P("u.txt")}, &out));
    EXPECT_NE(out.find("Update(1003): "), std::string::npos) << out;
    EXPECT_TRUE(fs::exists(P("u.txt")));
    WriteBox("a.obj", 0, 1);
    ASSERT_EQ(0, Run({"update", "1001", P("a.obj"), "-o", P("a.txt")}, &out));
    EXPECT_NE(out.find("Update(1001): 8 vertices, 12 edges, 6 facets"), std::string::npos) << out;
    EXPECT_EQ(2, Run({"update", "high", P("a.obj"), "-o", P("b.txt")}, &out));
    EXPECT_EQ(2, Run({"update", "1001", P("missing.obj"), "-o", P("b.txt")}, &out));
    EXPECT_FALSE(fs::exists(P("b.txt")));
}

}  // namespace

#else

TEST(G3BooleanCli, NotBuilt) { GTEST_SKIP() << "the g3 tool is not part of this build"; }

#endif
