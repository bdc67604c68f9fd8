// g3 section: the planar faces where planes cut a mesh, written as a mesh
// of their own.

#include "tools/g3/G3Tool.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "tools/io/G3MeshIO.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>

namespace g3tool {

namespace {

// "a,b,c,d" into four finite numbers with a non-zero normal.
bool ParsePlane(const std::string& text, double* plane)
{
    const char* p = text.data();
    const char* end = text.data() + text.size();
    for (int k = 0; k < 4; ++k) {
        const auto r = std::from_chars(p, end, plane[k]);
        if (r.ec != std::errc() || !std::isfinite(plane[k]))
            return false;
        p = r.ptr;
        if (k < 3) {
            if (p == end || *p != ',')
                return false;
            ++p;
        }
    }
    return p == end && (plane[0] != 0.0 || plane[1] != 0.0 || plane[2] != 0.0);
}

// Sum of the facets' areas, from a triangulated copy (holes left out).
double AreaOf(G3Surface& s)
{
    std::unique_ptr<G3Surface> copy(s.Duplicate());
    copy->Triangulate(4, 0);
    double area = 0.0;
    GArrayCollection* facets = copy->GetFacetList();
    for (int k = 0; facets && k < facets->size(); ++k) {
        G3Vertex* v[3];
        G3Facet* f = static_cast<G3Facet*>(facets->get(k));
        if (f->GetEdgeCount() == 3 && f->GetVertices(v) == 3)
            area += G3Facet::CalcRealSquareOfTriangle(v[0]->GetXYZ(), v[1]->GetXYZ(), v[2]->GetXYZ(), nullptr);
    }
    return area;
}

}  // namespace

const CommandLine& SectionLine()
{
    static const CommandLine line{"IN --plane a,b,c,d [--plane ...] -o OUT",
                                  {{"-o|--output", "OUT"}, {"--plane", "a,b,c,d", true}, {"--quiet", ""}}};
    return line;
}

std::string SectionHelp()
{
    return UsageOf("section", SectionLine()) +
           "\n"
           "Cuts the mesh by each plane a*x + b*y + c*z + d = 0 and writes the faces of\n"
           "the cut: one facet per region, holes kept. A region is what lies inside any\n"
           "solid of the mesh (a closed piece; the open pieces count together) or on a\n"
           "face lying in the plane, so solids that touch or overlap give one facet per\n"
           "region. Double-sided facets take no part. Prints the number of section\n"
           "facets and their area.\n"
           "Exit status 1 when no plane meets the mesh (nothing is written).\n\n" +
           FormatsHelp(SectionLine());
}

int CommandSection(const std::vector<std::string>& raw)
{
    ParsedArgs args;
    int status = kExitOk;
    if (!OpenOneInputCommand("section", raw, SyntaxOf(SectionLine()), args, status))
        return status;
    if (!args.HasValue({"-o", "--output"}))
        return UsageError("section", "missing -o OUT");
    std::vector<double> planes;
    for (const auto& v : args.values) {
        if (v.first != "--plane")
            continue;
        double plane[4];
        if (!ParsePlane(v.second, plane))
            return UsageError("section", "bad plane '" + v.second + "' (want a,b,c,d with a non-zero normal)");
        planes.insert(planes.end(), plane, plane + 4);
    }
    if (planes.empty())
        return UsageError("section", "missing --plane a,b,c,d");
    const std::string in = args.positionals[0];
    const std::string out = args.Value({"-o", "--output"});
    if (!CheckOutputPath("section", out, status))
        return status;

    Progress progress(args.Has("--quiet"));
    progress.Pass("reading " + in);
    G3Surface s;
    std::string message;
    if (!g3io::ReadMeshFile(in, s, message)) {
        std::fprintf(stderr, "g3: %s\n", message.c_str());
        return kExitBadInput;
    }
    if (!message.empty())
        std::fprintf(stderr, "g3: %s\n", message.c_str());
    s.FormPlaneEquation();
    std::printf("read %s: %s\n", in.c_str(), Describe(CountsOf(s)).c_str());

    progress.Pass("Divide");
    G3BooleanCalculator calculator;
    G3Surface* cut = nullptr;
    if (!calculator.Divide(&s, static_cast<int>(planes.size() / 4), planes.data(), &cut)) {
        std::fprintf(stderr, "g3: no plane meets the mesh\n");
        return kExitFailure;
    }
    std::unique_ptr<G3Surface> section(cut);
    std::printf("section: %d facets, area %.9g\n", section->GetFacetCount(), AreaOf(*section));
    progress.Pass("writing " + out);
    if (!g3io::WriteMeshFile(out, *section, message, g3io::WriteOptions())) {
        std::fprintf(stderr, "g3: %s\n", message.c_str());
        return kExitFailure;
    }
    std::printf("wrote %s: %s\n", out.c_str(), DescribeWritten(*section, out).c_str());
    return kExitOk;
}

}  // namespace g3tool
