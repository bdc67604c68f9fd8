// g3 contours: the contour divider (or, with --op, the contour intersector,
// each contour a region of its own) on contours read from a text file of
// "x y" lines, a blank line between contours.

#include "tools/g3/G3Tool.h"

#include "Geometry/contour/G3ContourDivider.h"
#include "Geometry/contour/G3ContourIntersector.h"
#include "Geometry/contour/GPathLoader.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace g3tool {

namespace {

struct Point {
    double x, y;
};
using Ring = std::vector<Point>;

// Reads the contours; false with a message naming the line of the first
// malformed one.
bool ReadContours(const std::string& path, std::vector<Ring>& out, std::string& error)
{
    std::string text;
    if (!ReadTextFile(path, text, error))
        return false;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    Ring ring;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const char* p = line.data();
        const char* end = p + line.size();
        auto skip = [&]() {
            while (p < end && (*p == ' ' || *p == '\t'))
                ++p;
        };
        skip();
        if (p == end) {
            if (!ring.empty())
                out.push_back(ring);
            ring.clear();
            continue;
        }
        double v[2];
        if (!ReadNumber(p, end, v[0]) || !ReadNumber(p, end, v[1]) || !OnlyBlanks(p, end)) {
            error = path + ":" + std::to_string(number) + ": expected two numbers \"x y\" (finite, within 1e150)";
            return false;
        }
        ring.push_back({v[0], v[1]});
    }
    if (!ring.empty())
        out.push_back(ring);
    return true;
}

// Prints what the divider unloads, through one buffer written out in
// blocks.
class PrintingDivider : public G3ContourDivider {
public:
    int contours = 0;
    ~PrintingDivider() override { Flush(); }
    void BeginUnloadContour(int edgeCount, bool isHole) override
    {
        text.append("contour ")
            .append(std::to_string(++contours))
            .append(isHole ? ": hole, " : ": outer, ")
            .append(std::to_string(edgeCount))
            .append(" edges\n");
    }
    void UnloadEdge(double* p1, int, double*, int, int, unsigned long, unsigned long) override
    {
        AppendPoint(text, p1[0], p1[1]);
        if (text.size() > (1u << 16))
            Flush();
    }
    void Flush()
    {
        std::fwrite(text.data(), 1, text.size(), stdout);
        text.clear();
    }

private:
    std::string text;
};

// Prints what the intersector delivers.
class PrintingLoader : public GPathLoader {
public:
    int contours = 0;
    void PathBegin(int) override {}
    void PathSetPreferPlane(int, int) override {}
    void PathContourBegin(double* p, int n, CONTOUR_TYPE type) override
    {
        std::printf("contour %d: %s, %d edges\n", ++contours, type == CONTOUR_TYPE_HOLE ? "hole" : "outer", n);
        Print(p);
        left = n - 1;
    }
    void PathContourSegmentTo(SEGMENT_TYPE, SEGMENT_VISIBILITY, int, double* p) override
    {
        // The last segment returns to the start, printed already.
        if (left-- > 0)
            Print(p);
    }
    void PathContourEnd() override {}
    void PathEnd() override {}

private:
    static void Print(const double* p)
    {
        std::string line;
        AppendPoint(line, p[0], p[1]);
        std::fputs(line.c_str(), stdout);
    }
    int left = 0;
};

} // namespace

const CommandLine& ContoursLine()
{
    static const CommandLine line{"FILE", {{"--op", "union|pieces|common"}, {"--separate", ""}, {"--quiet", ""}}};
    return line;
}

std::string ContoursHelp()
{
    return UsageOf("contours", ContoursLine()) +
           "\n"
           "FILE holds contours as lines \"x y\", a blank line between contours (each\n"
           "closes back to its first point). Without --op the contours are divided:\n"
           "split where they cross and kept where covered an odd number of times (where\n"
           "two contours overlap, the overlap falls out), classified as outer contours or\n"
           "holes, holes joined to the outer contour around them (--separate keeps them\n"
           "apart) and turned one way, holes the other. With --op each contour is a\n"
           "region of its own and the contours of their union (inside any), of every\n"
           "face of their arrangement that lies inside one (pieces) or of where two or\n"
           "more overlap (common) are printed. Output: \"contour K: outer|hole, N\n"
           "edges\" and one \"x y\" line per corner, in the fewest digits that read\n"
           "back as the same numbers.\n";
}

int CommandContours(const std::vector<std::string>& args)
{
    ParsedArgs a;
    int status = kExitOk;
    if (!OpenOneInputCommand("contours", args, SyntaxOf(ContoursLine()), a, status))
        return status;
    int op = 0;
    if (a.HasValue({"--op"})) {
        const std::string name = a.Value({"--op"});
        op = name == "union" ? BOOLEAN_OPERATION_UNION
             : name == "pieces" ? BOOLEAN_OPERATION_PIECES
             : name == "common" ? BOOLEAN_OPERATION_COMMON
                                : -1;
        if (op < 0)
            return UsageError("contours", "unknown --op '" + name + "' (union, pieces or common)");
    }
    std::vector<Ring> rings;
    std::string error;
    if (!ReadContours(a.positionals[0], rings, error)) {
        std::fprintf(stderr, "g3: %s\n", error.c_str());
        return kExitBadInput;
    }

    if (op == 0) {
        PrintingDivider d;
        d.BeginLoad(a.Has("--separate") ? 0 : 1, 0);
        for (const Ring& r : rings) {
            d.BeginLoadContour();
            for (size_t k = 0; k < r.size(); ++k) {
                double p1[3] = {r[k].x, r[k].y, 0.0};
                double p2[3] = {r[(k + 1) % r.size()].x, r[(k + 1) % r.size()].y, 0.0};
                d.LoadEdge(p1, p2, 1, 0, 0);
            }
            d.EndLoadContour();
        }
        d.EndLoad();
        d.Flush();
        std::printf("contours: %d\n", d.contours);
        return kExitOk;
    }
    PrintingLoader loader;
    G3ContourIntersector ci;
    ci.SetPathLoader(&loader);
    ci.LoadBegin(0, 1);
    for (const Ring& r : rings) {
        ci.NextContourRegion();
        double p[3] = {r[0].x, r[0].y, 0.0};
        ci.ContourBeginLoad(p);
        for (size_t k = 1; k < r.size(); ++k) {
            double q[3] = {r[k].x, r[k].y, 0.0};
            ci.ContourLoadSegment(q, SEGMENT_TYPE_LINE, 1);
        }
        ci.ContourEndLoad(SEGMENT_TYPE_LINE, 1);
    }
    ci.LoadEnd();
    ci.DoIntersect(static_cast<BOOLEAN_OPERATION>(op));
    std::printf("contours: %d\n", loader.contours);
    return kExitOk;
}

} // namespace g3tool
