// g3 classify: whether points lie inside, outside or on a closed mesh, by
// the boolean engine's random rays over a prepared grid of the mesh.

#include "tools/g3/G3Tool.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/foundation/GRandom.h"
#include "Geometry/mesh/G3Surface.h"
#include "tools/io/G3MeshIO.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace g3tool {

namespace {

const char* Name(SURF_CLASSIFY c)
{
    switch (c) {
    case SC_INSIDE:
        return "inside";
    case SC_OUTSIDE:
        return "outside";
    case SC_ON:
        return "on";
    default:
        return "unknown";
    }
}

// The shortest text that reads back as v.
std::string Shortest(double v)
{
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, r.ptr);
}

// One "x y z" line into p: false when it holds anything else. Blank lines
// and lines starting with '#' are skipped (`skip` set).
bool ParsePoint(const std::string& line, double* p, bool& skip)
{
    const char* c = line.data();
    const char* end = c + line.size();
    auto blank = [&] {
        while (c != end && std::isspace(static_cast<unsigned char>(*c)))
            ++c;
    };
    blank();
    skip = c == end || *c == '#';
    if (skip)
        return true;
    for (int k = 0; k < 3; ++k)
        if (!ReadNumber(c, end, p[k]))
            return false;
    return OnlyBlanks(c, end);
}

}  // namespace

const CommandLine& ClassifyLine()
{
    static const CommandLine line{"SOLID POINTS", {{"--seed", "N"}, {"--quiet", ""}}};
    return line;
}

std::string ClassifyHelp()
{
    return UsageOf("classify", ClassifyLine()) +
           "\n"
           "Reads a closed mesh SOLID and a text file POINTS of \"x y z\" lines (blank lines\n"
           "and lines starting with # are skipped) and prints each point with its class:\n"
           "inside, outside, on (within 1e-6 of a facet) or unknown (every ray met an edge),\n"
           "then the totals. Rays are drawn from the kernel's random sequence seeded with N\n"
           "(default 1), so the same files give the same answers.\n"
           "A malformed line is refused with its line number (status 2).\n";
}

int CommandClassify(const std::vector<std::string>& raw)
{
    ParsedArgs args;
    int status = kExitOk;
    if (!OpenCommand("classify", raw, ClassifyLine(), args, status))
        return status;
    if (args.positionals.size() != 2)
        return UsageError("classify", "expects a mesh file and a points file");
    unsigned seed = 1;
    if (args.HasValue({"--seed"})) {
        const std::string text = args.Value({"--seed"});
        const auto r = std::from_chars(text.data(), text.data() + text.size(), seed);
        if (r.ec != std::errc() || r.ptr != text.data() + text.size())
            return UsageError("classify", "bad seed '" + text + "'");
    }
    const std::string meshPath = args.positionals[0];
    const std::string pointsPath = args.positionals[1];

    std::string text, error;
    if (!ReadTextFile(pointsPath, text, error)) {
        std::fprintf(stderr, "g3: %s\n", error.c_str());
        return kExitBadInput;
    }
    std::istringstream in(text);
    std::vector<double> points;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        double p[3];
        bool skip = false;
        if (!ParsePoint(line, p, skip)) {
            std::fprintf(stderr, "g3: %s:%d: expected \"x y z\"\n", pointsPath.c_str(), number);
            return kExitBadInput;
        }
        if (!skip)
            points.insert(points.end(), p, p + 3);
    }

    Progress progress(args.Has("--quiet"));
    progress.Pass("reading " + meshPath);
    G3Surface s;
    std::string message;
    if (!g3io::ReadMeshFile(meshPath, s, message)) {
        std::fprintf(stderr, "g3: %s\n", message.c_str());
        return kExitBadInput;
    }
    if (!message.empty())
        std::fprintf(stderr, "g3: %s\n", message.c_str());
    s.FormPlaneEquation();
    if (!s.GetClosed())
        std::fprintf(stderr, "g3: %s is not closed: inside and outside may not mean much\n", meshPath.c_str());

    progress.Pass("classifying");
    GSRand(seed);
    G3BooleanCalculator calculator;
    if (!calculator.OpenFindIntersection(&s)) {
        std::fprintf(stderr, "g3: %s: cannot prepare the mesh\n", meshPath.c_str());
        return kExitFailure;
    }
    int totals[4] = {0, 0, 0, 0};  // inside, outside, on, unknown
    for (size_t k = 0; k + 2 < points.size(); k += 3) {
        const SURF_CLASSIFY c = calculator.FindVertexClassify(&points[k]);
        totals[c == SC_INSIDE ? 0 : c == SC_OUTSIDE ? 1 : c == SC_ON ? 2 : 3] += 1;
        std::printf("%s %s %s %s\n", Shortest(points[k]).c_str(), Shortest(points[k + 1]).c_str(),
                    Shortest(points[k + 2]).c_str(), Name(c));
    }
    calculator.CloseFindIntersection(&s);
    std::printf("%zu points: %d inside, %d outside, %d on, %d unknown\n", points.size() / 3, totals[0], totals[1],
                totals[2], totals[3]);
    return kExitOk;
}

}  // namespace g3tool
