// g3 section, run as a program on files: the section written, its report
// line, and the statuses of refused input.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#ifdef G3_TOOL_PATH

namespace {

namespace fs = std::filesystem;

// Runs g3 with the argument string (already quoted as needed), stderr
// dropped; status and stdout.
std::pair<int, std::string> G3(const std::string& args)
{
    const std::string cmd = "G3_PROGRESS_AFTER=3600 '" + std::string(G3_TOOL_PATH) + "' " + args + " 2>/dev/null";
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

class G3Section : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("g3section-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        cube = std::string(G3_TEST_DATA_DIR) + "/tools/data/cube.obj";
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path dir;
    std::string cube;
};

TEST_F(G3Section, WritesTheFacesWherePlanesCutTheMesh)
{
    const std::string out = (dir / "cut.obj").string();
    auto r = G3("section '" + cube + "' --plane 1,1,1,-1.5 --plane 0,0,1,-0.25 -o '" + out + "'");
    ASSERT_EQ(0, r.first) << r.second;
    EXPECT_NE(std::string::npos, r.second.find("section: 2 facets, area 2.29903811")) << r.second;
    auto info = G3("info '" + out + "'");
    EXPECT_EQ(0, info.first);
    EXPECT_NE(std::string::npos, info.second.find("facets: 2")) << info.second;
    EXPECT_NE(std::string::npos, info.second.find("vertices: 10")) << info.second;
}

TEST_F(G3Section, RefusedInputWritesNothing)
{
    const std::string out = (dir / "none.obj").string();
    // The plane misses the cube: status 1.
    EXPECT_EQ(1, G3("section '" + cube + "' --plane 0,0,1,-5 -o '" + out + "'").first);
    // A plane without a normal, a malformed plane, no plane, a missing file.
    EXPECT_EQ(2, G3("section '" + cube + "' --plane 0,0,0,1 -o '" + out + "'").first);
    EXPECT_EQ(2, G3("section '" + cube + "' --plane 0,0,1 -o '" + out + "'").first);
    EXPECT_EQ(2, G3("section '" + cube + "' -o '" + out + "'").first);
    EXPECT_EQ(2, G3("section '" + (dir / "missing.obj").string() + "' --plane 0,0,1,0 -o '" + out + "'").first);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(0, G3("section --help").first);
}

} // namespace

#endif
