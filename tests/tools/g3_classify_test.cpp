// g3 classify on files: the class of points in, out of and on a cube, the
// same answers run after run, and refused point files.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#ifdef G3_TOOL_PATH

namespace {

namespace fs = std::filesystem;

std::pair<int, std::string> G3(const std::string& args)
{
    const std::string cmd = "G3_PROGRESS_AFTER=3600 '" + std::string(G3_TOOL_PATH) + "' " + args + " 2>&1";
    std::string out;
    FILE* pipe = popen(cmd.c_str(), "r");
    if (!pipe)
        return {-1, out};
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe))
        out += buffer;
    const int raw = pclose(pipe);
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, out};
}

class G3Classify : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("g3classify-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        cube = std::string(G3_TEST_DATA_DIR) + "/tools/data/cube.obj";
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string Points(const std::string& text)
    {
        const std::string path = (dir / "points.txt").string();
        std::ofstream(path) << text;
        return path;
    }
    fs::path dir;
    std::string cube;
};

TEST_F(G3Classify, InsideOutsideAndOnAUnitCube)
{
    // The centre, a far point, a point on the top face, one a hair above it
    // (on: within 1e-6), one just beyond the tolerance, and a corner region
    // point whose short rays would end inside.
    const std::string points = Points("# x y z\n0.5 0.5 0.5\n\n2 2 2\n0.5 0.5 1\n0.5 0.5 1.0000001\n"
                                      "0.5 0.5 1.001\n0.999 0.999 0.999\n");
    auto r = G3("classify '" + cube + "' '" + points + "'");
    ASSERT_EQ(0, r.first) << r.second;
    EXPECT_EQ("0.5 0.5 0.5 inside\n"
              "2 2 2 outside\n"
              "0.5 0.5 1 on\n"
              "0.5 0.5 1.0000001 on\n"
              "0.5 0.5 1.001 outside\n"
              "0.999 0.999 0.999 inside\n"
              "6 points: 2 inside, 2 outside, 2 on, 0 unknown\n",
              r.second)
        << r.second;
    // Another seed draws other rays, with the same answers here.
    EXPECT_EQ(r.second, G3("classify '" + cube + "' '" + points + "' --seed 7").second);
}

TEST_F(G3Classify, RefusesMalformedPointsAndMeshes)
{
    auto bad = G3("classify '" + cube + "' '" + Points("0 0 0\n1 2\n") + "'");
    EXPECT_EQ(2, bad.first);
    EXPECT_NE(std::string::npos, bad.second.find("points.txt:2:")) << bad.second;
    EXPECT_EQ(2, G3("classify '" + cube + "' '" + Points("1 2 nan\n") + "'").first);
    EXPECT_EQ(2, G3("classify '" + cube + "' '" + (dir / "missing.txt").string() + "'").first);
    EXPECT_EQ(2, G3("classify '" + (dir / "missing.obj").string() + "' '" + Points("0 0 0\n") + "'").first);
    EXPECT_EQ(2, G3("classify '" + cube + "'").first);
    EXPECT_EQ(2, G3("classify '" + cube + "' '" + Points("0 0 0\n") + "' --seed x").first);
}

}  // namespace

#endif
