// Help texts against their parsers: every option a help text names is
// one its command takes.

#include "tests/tools/g3_tool_fixture.h"

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#ifdef G3_TOOL_PATH

namespace {

using namespace g3tooltest;

class G3HelpCli : public G3ToolTest {};

// Every option a help text names is one its command's parser takes: the
// commands and options of `g3 --help`, and each command's own help (its
// usage lines for every spelling, the rest for long options).
TEST_F(G3HelpCli, HelpNamesOnlyOptionsTheParserTakes)
{
    const Result top = Run({"--help"});
    ASSERT_EQ(0, top.status);
    std::vector<std::pair<std::string, std::string>> tried;  // command, option
    auto options = [](const std::string& text, bool shortToo) {
        std::vector<std::string> out;
        for (std::size_t i = 0; i + 1 < text.size(); ++i) {
            if (text[i] != '-' || (i > 0 && text[i - 1] != ' ' && text[i - 1] != '[' && text[i - 1] != '('))
                continue;
            std::size_t j = i + 1 + (text[i + 1] == '-');
            const std::size_t start = j;
            while (j < text.size() && (std::islower(static_cast<unsigned char>(text[j])) || text[j] == '-'))
                ++j;
            if (j > start && (text[i + 1] == '-' || (shortToo && j == start + 1)))
                out.push_back(text.substr(i, j - i));
        }
        return out;
    };
    std::istringstream in(top.out.substr(top.out.find("Commands:")));
    std::string line, command;
    std::vector<std::string> commands;
    std::getline(in, line);
    while (std::getline(in, line) && !line.empty()) {
        if (line.compare(0, 2, "  ") == 0 && line[2] != ' ') {
            command = line.substr(2, line.find(' ', 2) - 2);
            commands.push_back(command);
        }
        for (const std::string& o : options(line, false))
            tried.emplace_back(command, o);
    }
    ASSERT_GE(commands.size(), 19u) << top.out;
    for (const std::string& c : commands) {
        tried.emplace_back(c, "--quiet");
        const Result help = Run({c, "--help"});
        ASSERT_EQ(0, help.status) << c;
        EXPECT_EQ(0u, help.out.find("usage: g3 " + c)) << help.out;
        const std::size_t usageEnd = help.out.find("\n\n");
        for (const std::string& o : options(help.out.substr(0, usageEnd), true))
            tried.emplace_back(c, o);
        for (const std::string& o : options(help.out.substr(usageEnd), false))
            tried.emplace_back(c, o);
    }
    for (const auto& [c, o] : tried) {
        // Taken or wanting its value, never unknown.
        const Result r = Run({c, o});
        EXPECT_EQ(std::string::npos, r.err.find("unknown option")) << "g3 " << c << " " << o << ": " << r.err;
    }
}

}  // namespace

#endif
