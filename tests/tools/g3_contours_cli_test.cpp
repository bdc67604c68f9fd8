// `g3 contours` run as a program on small contour files.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#ifdef G3_TOOL_PATH

namespace {

namespace fs = std::filesystem;

struct Output {
    int status = -1;
    std::string out;
};

// Runs `g3 contours` on a file holding `text`, with `options`.
Output Contours(const std::string& text, const std::string& options)
{
    const fs::path dir = fs::temp_directory_path();
    const fs::path in = dir / ("g3contours-" + std::to_string(::getpid()) + ".txt");
    const fs::path out = dir / ("g3contours-" + std::to_string(::getpid()) + ".out");
    std::ofstream(in, std::ios::binary) << text;
    const std::string cmd = "G3_PROGRESS_AFTER=3600 '" + std::string(G3_TOOL_PATH) + "' contours '" + in.string() +
                            "' " + options + " >'" + out.string() + "' 2>/dev/null";
    Output r;
    const int raw = std::system(cmd.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::stringstream ss;
    ss << std::ifstream(out, std::ios::binary).rdbuf();
    r.out = ss.str();
    fs::remove(in);
    fs::remove(out);
    return r;
}

const char* const kSquareWithHole = "0 0\n4 0\n4 4\n0 4\n\n1 1\n3 1\n3 3\n1 3\n";

TEST(G3ContoursCli, DividesAndIntersects)
{
    // Kept apart, the hole (loaded the outer's way) comes back turned.
    Output d = Contours(kSquareWithHole, "--separate");
    EXPECT_EQ(0, d.status);
    EXPECT_EQ("contour 1: outer, 4 edges\n  0 0\n  4 0\n  4 4\n  0 4\n"
              "contour 2: hole, 4 edges\n  1 1\n  1 3\n  3 3\n  3 1\ncontours: 2\n",
              d.out);
    // Joined: one contour through all eight corners and a bridge.
    Output j = Contours(kSquareWithHole, "");
    EXPECT_NE(std::string::npos, j.out.find("contour 1: outer, 10 edges\n"));
    EXPECT_NE(std::string::npos, j.out.find("contours: 1\n"));
    // A figure-eight crossing itself in the middle.
    Output e = Contours("0 0\n2 2\n2 0\n0 2\n", "");
    EXPECT_NE(std::string::npos, e.out.find("contours: 2\n"));
    // The common part of two overlapping squares, as one region by the
    // even-odd rule, is empty; the pieces are the two L-shapes around it.
    const char* const overlap = "0 0\n2 0\n2 2\n0 2\n\n1 1\n3 1\n3 3\n1 3\n";
    EXPECT_EQ("contours: 0\n", Contours(overlap, "--op common").out);
    EXPECT_NE(std::string::npos, Contours(overlap, "--op pieces").out.find("contours: 2\n"));
}

TEST(G3ContoursCli, RefusesBadInput)
{
    EXPECT_EQ(2, Contours("0 0\n1 nan\n", "").status);
    EXPECT_EQ(2, Contours("0 0\n1 1 1\n", "").status);
    EXPECT_EQ(2, Contours(kSquareWithHole, "--op sideways").status);
}

} // namespace

#endif
