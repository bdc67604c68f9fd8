// `g3 roof --opening FILE`: outlines of chimneys and roof windows read from
// a text file and cut vertically through the roof's layers by the hole
// maker.

#include "tools/g3/G3Tool.h"

#include "Geometry/contour/G3HoleMaker.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <sstream>

namespace g3tool {

namespace {

// "x y" with blanks around and nothing else; false otherwise.
bool ParsePoint(const std::string& line, double& x, double& y)
{
    const char* p = line.data();
    const char* end = p + line.size();
    double* out[2] = {&x, &y};
    for (double* v : out)
        if (!ReadNumber(p, end, *v))
            return false;
    return OnlyBlanks(p, end);
}

} // namespace

bool ReadRoofOpenings(const std::string& path, RoofOpenings& out)
{
    std::string text, error;
    if (!ReadTextFile(path, text, error)) {
        std::fprintf(stderr, "g3: %s\n", error.c_str());
        return false;
    }
    std::istringstream in(text);
    std::string line;
    std::vector<std::array<double, 2>> outline;
    auto close = [&](int number) {
        if (outline.empty())
            return true;
        if (outline.size() < 3) {
            std::fprintf(stderr, "g3: %s:%d: an opening needs at least three points\n", path.c_str(), number);
            return false;
        }
        out.outlines.push_back(outline);
        outline.clear();
        return true;
    };
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line[first] == '#')
            continue;
        if (first == std::string::npos) {
            if (!close(number - 1))
                return false;
            continue;
        }
        double x = 0.0, y = 0.0;
        if (!ParsePoint(line, x, y)) {
            std::fprintf(stderr, "g3: %s:%d: expected \"x y\"\n", path.c_str(), number);
            return false;
        }
        outline.push_back({x, y});
    }
    return close(number);
}

int CutRoofOpenings(G3Surface& s, const RoofOpenings& openings)
{
    if (openings.outlines.empty())
        return 0;
    G3HoleMaker maker(&s);
    G3Point down(0.0, 0.0, -1.0);
    for (const auto& outline : openings.outlines) {
        std::vector<std::unique_ptr<G3Point>> points;
        GArrayCollection list;
        for (const auto& p : outline) {
            points.push_back(std::make_unique<G3Point>(p[0], p[1], 0.0));
            list.add(points.back().get());
        }
        maker.AddHoleContour(&list, &down);
    }
    maker.MakeHoles();
    s.FormPlaneEquation();
    std::printf("openings: %d of %d cut\n", maker.GetMadeCount(), static_cast<int>(openings.outlines.size()));
    return maker.GetMadeCount();
}

}  // namespace g3tool
