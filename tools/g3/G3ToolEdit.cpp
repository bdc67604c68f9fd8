// `g3 check` (short edges, self-crossing contours, facets of fewer than
// three edges, facets without area, intersecting facets, facets on one
// another) and `g3 explode`
// (one file per connected piece, as the editing tool splits a surface).

#include "tools/g3/G3Tool.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3MeshCheck.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/processing/G3SurfaceEdit.h"
#include "tools/io/G3MeshIO.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace g3tool {

namespace {

const CommandLine* EditLine(const std::string& command)
{
    static const CommandLine check{"IN", {{"--quiet", ""}}};
    static const CommandLine explode{"IN -o PREFIX", {{"-o|--output", "PREFIX"}, {"--quiet", ""}}};
    return command == "check" ? &check : command == "explode" ? &explode : nullptr;
}

}  // namespace

std::string EditCommandHelp(const std::string& command)
{
    if (command == "check")
        return UsageOf(command, *EditLine(command)) +
               "\n"
               "Checks a mesh and prints one line per finding, facets and vertices numbered\n"
               "from 0 as read:\n"
               "  short edge: facet F, vertices A-B     an edge shorter than 1e-6\n"
               "  self-crossing contour: facet F        a facet's contours cross or touch\n"
               "  too few edges: facet F                a facet of fewer than three edges\n"
               "  degenerate facet: facet F             a facet without area: its corners on one\n"
               "                                        line, or fewer than three distinct ones\n"
               "  intersecting facets: F and G          two facets cross (the first such pair)\n"
               "  facets on one another: F and G        two facets overlap in one plane, either\n"
               "                                        way round (the first such pair)\n"
               "or \"no findings\". Exit status 1 when anything was found (or the mesh has no\n"
               "facets), 0 otherwise.\n\n" +
               FormatsHelp(*EditLine(command));
    if (command == "explode")
        return UsageOf(command, *EditLine(command)) +
               "\n"
               "Splits a mesh into its connected pieces (facets joined by shared edges) and\n"
               "writes PREFIX-1.obj, PREFIX-2.obj, ... (PREFIX may end in the extension to use),\n"
               "each piece welded, with the counts of each.\n\n" +
               FormatsHelp(*EditLine(command));
    return std::string();
}

int CommandCheck(const std::vector<std::string>& raw)
{
    ParsedArgs a;
    int status = kExitOk;
    if (!OpenOneInputCommand("check", raw, SyntaxOf(*EditLine("check")), a, status))
        return status;
    Progress progress(a.Has("--quiet"));
    G3Surface s;
    if (!ReadSolidFile(a.positionals[0], s, progress))
        return kExitBadInput;
    progress.Pass("checking");
    // Facets of three or more edges that enclose nothing, as `info` counts
    // them (fewer edges are the edit check's own finding); planes are
    // current after reading.
    std::vector<int> degenerate;
    for (int k = 0; k < s.GetFacetCount(); ++k)
        if (G3Facet* f = s.GetFacet(k))
            if (f->GetEdgeCount() >= 3 && IsDegenerateFacet(f))
                degenerate.push_back(k);
    std::vector<G3SurfaceCheckFinding> findings;
    G3SurfaceEdit edit(&s);
    edit.SetFindings(&findings);
    int result = 0;
    const bool ok = edit.CheckSurface(SURFACE_CHECK_FACET_INTERSECTION | SURFACE_CHECK_SHORT_EDGE |
                                          SURFACE_CHECK_SELF_INTERSECTION | SURFACE_CHECK_FEW_EDGES,
                                      result);
    if (s.GetFacetCount() == 0) {
        std::printf("no facets\n");
        return kExitFailure;
    }
    // The edit check lists its findings facet by facet, then the crossing
    // pair: each degenerate facet goes after its facet's other findings.
    std::size_t next = 0;
    auto degenerateBefore = [&](int facet) {
        for (; next < degenerate.size() && degenerate[next] < facet; ++next)
            std::printf("degenerate facet: facet %d\n", degenerate[next]);
    };
    for (const G3SurfaceCheckFinding& f : findings) {
        degenerateBefore(f.bit == SURFACE_CHECK_FACET_INTERSECTION ? s.GetFacetCount() : f.facet);
        switch (f.bit) {
        case SURFACE_CHECK_SHORT_EDGE:
            std::printf("short edge: facet %d, vertices %d-%d\n", f.facet, f.vertex1, f.vertex2);
            break;
        case SURFACE_CHECK_SELF_INTERSECTION:
            std::printf("self-crossing contour: facet %d\n", f.facet);
            break;
        case SURFACE_CHECK_FEW_EDGES:
            std::printf("too few edges: facet %d\n", f.facet);
            break;
        case SURFACE_CHECK_FACET_INTERSECTION:
            std::printf("intersecting facets: %d and %d\n", f.facet, f.other);
            break;
        default:
            break;
        }
    }
    degenerateBefore(s.GetFacetCount());
    int first = -1, second = -1;
    const bool overlap = G3FacetsOnOneAnother(&s, nullptr, 1.0, &first, &second);
    if (overlap)
        std::printf("facets on one another: %d and %d\n", first, second);
    const bool clean = ok && degenerate.empty() && !overlap;
    if (clean)
        std::printf("no findings\n");
    return clean ? kExitOk : kExitFailure;
}

int CommandExplode(const std::vector<std::string>& raw)
{
    ParsedArgs a;
    int status = kExitOk;
    if (!OpenOneInputCommand("explode", raw, SyntaxOf(*EditLine("explode")), a, status))
        return status;
    std::string prefix, ext;
    if (!PiecesOutput("explode", a, prefix, ext, status))
        return status;
    Progress progress(a.Has("--quiet"));
    G3Surface s;
    if (!ReadSolidFile(a.positionals[0], s, progress))
        return kExitBadInput;
    progress.Pass("exploding");
    GArrayCollection pieces;
    const int n = s.Explode(&pieces);
    return WritePieces(pieces, n, prefix, ext, true, progress);
}

}  // namespace g3tool
