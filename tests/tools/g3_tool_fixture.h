#pragma once
// Running the g3 tool as a program from a test: a scratch folder per test,
// the command line quoted for the shell, and its status, stdout and stderr
// read back. Progress lines are held back for an hour by default, so a slow
// machine (or a sanitizer build) cannot add them to the stderr a test reads.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace g3tooltest {

namespace fs = std::filesystem;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// `s` in single quotes for the shell.
inline std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline std::string Slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// A file of the tools' test data.
inline std::string Data(const char* name) { return std::string(G3_TEST_DATA_DIR) + "/tools/data/" + name; }

// The value of a "key: value" line of `text`; "<missing>" when absent.
inline std::string Key(const std::string& text, const std::string& key)
{
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, key.size() + 2, key + ": ") == 0)
            return line.substr(key.size() + 2);
    return "<missing>";
}

#ifdef G3_TOOL_PATH

// A scratch folder per test, removed afterwards.
class G3ToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string tmpl = (fs::temp_directory_path() / "g3tool-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    // Runs g3 with `args` (and `env`, "NAME=value ..." put before it).
    Result Run(const std::vector<std::string>& args, const std::string& env = "G3_PROGRESS_AFTER=3600")
    {
        std::string cmd = env + " " + Quote(G3_TOOL_PATH);
        for (const std::string& a : args)
            cmd += " " + Quote(a);
        const fs::path out = dir / "stdout.txt";
        const fs::path err = dir / "stderr.txt";
        cmd += " >" + Quote(out.string()) + " 2>" + Quote(err.string());
        Result r;
        const int raw = std::system(cmd.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = Slurp(out);
        r.err = Slurp(err);
        return r;
    }

    // The files of the scratch folder and what they hold, the captured
    // output aside.
    std::map<std::string, std::string> Files() const
    {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(dir)) {
            const std::string name = fs::relative(e.path(), dir).string();
            if (name != "stdout.txt" && name != "stderr.txt")
                files[name] = e.is_regular_file() ? Slurp(e.path()) : "<folder>";
        }
        return files;
    }

    std::string P(const std::string& name) const { return (dir / name).string(); }
    std::string Read(const std::string& name) const { return Slurp(dir / name); }
    void Write(const std::string& name, const std::string& text) const { std::ofstream(P(name)) << text; }

    // `g3 info` on a file; fails the test when it does not succeed.
    Result Info(const std::string& path)
    {
        Result r = Run({"info", path});
        EXPECT_EQ(r.status, 0) << r.err;
        return r;
    }

    fs::path dir;
};

#endif

}  // namespace g3tooltest
