// `g3 render` and the demo's pictures, run as a program: statuses, messages
// and the files left behind.

#if defined(G3_TOOL_PATH) && defined(G3_HAVE_RENDER)

#include "tools/render/G3Render.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string Slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class RenderCli : public ::testing::Test {
protected:
    struct Result {
        int status = -1;
        std::string out, err;
    };

    void SetUp() override
    {
        std::string tmpl = (fs::temp_directory_path() / "g3render-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    Result Run(const std::vector<std::string>& args)
    {
        std::string cmd = "G3_PROGRESS_AFTER=3600 " + Quote(G3_TOOL_PATH);
        for (const std::string& a : args)
            cmd += " " + Quote(a);
        cmd += " >" + Quote((dir / "stdout.txt").string()) + " 2>" + Quote((dir / "stderr.txt").string());
        Result r;
        const int raw = std::system(cmd.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = Slurp(dir / "stdout.txt");
        r.err = Slurp(dir / "stderr.txt");
        return r;
    }

    std::string P(const std::string& name) const { return (dir / name).string(); }
    static std::string Cube() { return std::string(G3_TEST_DATA_DIR) + "/tools/data/cube.obj"; }

    // The files of the scratch folder other than the captured output.
    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) {
            const std::string n = e.path().filename().string();
            if (n != "stdout.txt" && n != "stderr.txt")
                names.push_back(n);
        }
        return names;
    }

    g3render::Image Decode(const std::string& path)
    {
        g3render::Image image;
        std::string message;
        EXPECT_TRUE(g3render::DecodePng(Slurp(path), image, message)) << path << ": " << message;
        return image;
    }

    fs::path dir;
};

TEST_F(RenderCli, SameInputSameBytesInEveryViewAndEdgeMode)
{
    const Result a = Run({"render", Cube(), "-o", P("a.png"), "--size", "120x90"});
    ASSERT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(a.err, "");
    EXPECT_NE(a.out.find("6 facets"), std::string::npos) << a.out;
    const Result b = Run({"render", Cube(), "-o", P("b.png"), "--size", "120x90", "--quiet"});
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_EQ(Slurp(P("a.png")), Slurp(P("b.png")));
    EXPECT_EQ(Decode(P("a.png")).width, 120);

    // Every view and edge mode draws something different from the others,
    // at the default size: the cube triangulated (its diagonals hidden, as
    // the dump keeps them) is lit differently from each side.
    const Result tri = Run({"repair", Cube(), "--triangulate", "-o", P("tri.txt")});
    ASSERT_EQ(tri.status, 0) << tri.err;
    std::vector<std::string> pictures;
    for (const char* view : {"iso", "top", "front", "side"})
        for (const char* edges : {"visible", "all", "none"}) {
            const std::string out = P(std::string(view) + "-" + edges + ".png");
            const Result r = Run({"render", P("tri.txt"), "-o", out, "--view", view, "--edges", edges});
            ASSERT_EQ(r.status, 0) << view << " " << edges << ": " << r.err;
            const g3render::Image image = Decode(out);
            EXPECT_EQ(image.width, 800);
            EXPECT_EQ(image.height, 600);
            pictures.push_back(Slurp(out));
        }
    for (std::size_t i = 0; i < pictures.size(); ++i)
        for (std::size_t j = i + 1; j < pictures.size(); ++j)
            EXPECT_TRUE(pictures[i] != pictures[j]) << "pictures " << i << " and " << j << " are the same";
}

TEST_F(RenderCli, NoFacetsGiveAnEmptyFrame)
{
    std::ofstream(P("points.obj")) << "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    const Result r = Run({"render", P("points.obj"), "-o", P("empty.png"), "--size", "64x48"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("no facets"), std::string::npos) << r.err;
    const g3render::Image image = Decode(P("empty.png"));
    std::uint8_t bg[3];
    g3render::BackgroundColor(bg);
    const std::uint8_t* mid = image.At(32, 24);
    EXPECT_TRUE(mid[0] == bg[0] && mid[1] == bg[1] && mid[2] == bg[2]);
}

TEST_F(RenderCli, UnwritableOutputFailsWithoutLeavingAFile)
{
    std::ofstream(P("plain")) << "not a folder\n";
    const Result r = Run({"render", Cube(), "-o", P("plain/x.png")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
    const Result gone = Run({"render", Cube(), "-o", P("missing/x.png")});
    EXPECT_EQ(gone.status, 1);
    // Nothing but the file standing in the way.
    EXPECT_EQ(Files(), std::vector<std::string>{"plain"});
}

TEST_F(RenderCli, UsageErrors)
{
    for (const char* size : {"15x100", "100x8193", "0x0", "100", "100x", "x100", "wide", "100x100x", "-20x20",
                             "100x 100", "99999999999x99"}) {
        const Result r = Run({"render", Cube(), "-o", P("s.png"), "--size", size});
        EXPECT_EQ(r.status, 2) << size;
        EXPECT_NE(r.err.find("--size"), std::string::npos) << r.err;
    }
    const std::vector<std::vector<std::string>> bad = {
        {"render", Cube(), "-o", P("v.png"), "--view", "bottom"},
        {"render", Cube(), "-o", P("e.png"), "--edges", "some"},
        {"render", Cube(), "-o", P("picture.jpg")},
        {"render", Cube(), "-o", P(".png")},
        {"render", Cube()},
        {"render", "-o", P("n.png")},
        {"render", Cube(), Cube(), "-o", P("n.png")},
        {"render", Cube(), "-o", P("n.png"), "--colour", "red"},
        {"render", P("absent.obj"), "-o", P("n.png")},
    };
    for (const auto& args : bad) {
        const Result r = Run(args);
        EXPECT_EQ(r.status, 2) << args.back() << ": " << r.err;
    }
    // Nothing was written by any of them.
    EXPECT_TRUE(Files().empty());
    const Result help = Run({"render", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: g3 render"), std::string::npos);
}

TEST_F(RenderCli, DemoWritesAPictureOfEveryResult)
{
    const Result r = Run({"demo", "-o", P("demo"), "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    int pictures = 0;
    for (const auto& e : fs::directory_iterator(dir / "demo")) {
        if (e.path().extension() != ".obj")
            continue;
        fs::path png = e.path();
        png.replace_extension(".png");
        ASSERT_TRUE(fs::exists(png)) << png;
        const g3render::Image image = Decode(png.string());
        EXPECT_EQ(image.width, 480);
        EXPECT_EQ(image.height, 360);
        ++pictures;
    }
    EXPECT_GE(pictures, 3);
}

}  // namespace

#endif
