// `g3 info`: counts, box, closedness, the defects a repair would look at,
// and pieces, orientation, volume and genus (G3ToolTopology.cpp).

#include "tools/g3/G3Tool.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "tools/io/G3MeshIO.h"

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <utility>

namespace g3tool {

namespace {

// Mesh sizes, in model units, for which the kernel's point tolerance makes
// sense.
constexpr double kSmallExtent = 1e-3;
constexpr double kLargeExtent = 1e7;

// Union-find over a handful of facets around one vertex.
int Find(std::vector<int>& parent, int i)
{
    while (parent[i] != i) {
        parent[i] = parent[parent[i]];
        i = parent[i];
    }
    return i;
}

// Whether the facets around v fall apart into more than one fan. Facets
// meeting along the same neighbour vertex are joined, whichever edge object
// they hang on, so a pair of unstitched edges is counted as a non-manifold
// edge and not again here; what remains are the bow-tie vertices where two
// otherwise separate sheets touch.
bool IsNonManifoldVertex(G3Vertex* v)
{
    // (neighbour id, facet id) for every facet side of every ring edge.
    std::vector<std::pair<long, long>> sides;
    long guard = 0;
    for (G3Edge* e = v->GetFirstEdge(); e && guard < 10000000; e = e->GetVertexEdge(v), ++guard) {
        const G3Vertex* w = e->GetOtherVertex(v);
        if (!w)
            continue;
        if (e->GetFacet1())
            sides.emplace_back(w->GetId(), e->GetFacet1()->GetId());
        if (e->GetFacet2())
            sides.emplace_back(w->GetId(), e->GetFacet2()->GetId());
    }
    if (sides.size() < 2)
        return false;
    std::vector<long> facets;
    for (const auto& s : sides)
        facets.push_back(s.second);
    std::sort(facets.begin(), facets.end());
    facets.erase(std::unique(facets.begin(), facets.end()), facets.end());
    if (facets.size() < 2)
        return false;
    std::vector<int> parent(facets.size());
    std::iota(parent.begin(), parent.end(), 0);
    auto index = [&](long id) {
        return static_cast<int>(std::lower_bound(facets.begin(), facets.end(), id) - facets.begin());
    };
    std::sort(sides.begin(), sides.end());
    for (std::size_t i = 1; i < sides.size(); ++i)
        if (sides[i].first == sides[i - 1].first)
            parent[Find(parent, index(sides[i].second))] = Find(parent, index(sides[i - 1].second));
    int roots = 0;
    for (std::size_t i = 0; i < facets.size(); ++i)
        if (Find(parent, static_cast<int>(i)) == static_cast<int>(i))
            ++roots;
    return roots > 1;
}

// Contours of a facet as closed loops (G3ContourWalker::OpensLoop), so that
// a hole starting at the corner where the outline closes counts.
int ContourCount(G3Facet* f)
{
    int contours = 0;
    long guard = 0;
    G3ContourWalker w(f);
    while (guard++ < 10000000 && w.Next())
        if (w.OpensLoop())
            ++contours;
    return contours;
}

}  // namespace

bool IsDegenerateFacet(G3Facet* f)
{
    if (f->GetEdgeCount() < 3 || f->IsTrivial())
        return true;
    std::vector<G3Vertex*> distinct;
    long guard = 0;
    for (G3Edge* e = f->GetFirstEdge(); e && guard < 10000000; e = e->GetFacetEdge(f), ++guard) {
        for (G3Vertex* v : {e->GetVertex1(), e->GetVertex2()})
            if (v && std::find(distinct.begin(), distinct.end(), v) == distinct.end()) {
                distinct.push_back(v);
                if (distinct.size() >= 3)
                    return false;
            }
    }
    return true;
}

MeshStats ComputeStats(G3Surface& s)
{
    MeshStats st;
    s.AssignIds();
    s.FormPlaneEquation();
    st.counts = CountsOf(s);
    st.empty = st.counts.vertices == 0;
    if (!st.empty) {
        GEnvelope env;
        s.FormEnvelope(&env);
        for (int k = 0; k < 3; ++k) {
            st.min[k] = env.GetMin()[k];
            st.max[k] = env.GetMax()[k];
        }
    }

    std::vector<std::pair<long, long>> pairs;
    for (int i = 0; i < st.counts.edges; ++i) {
        G3Edge* e = s.GetEdge(i);
        if (!e || !e->GetVertex1() || !e->GetVertex2())
            continue;
        const int sides = (e->GetFacet1() ? 1 : 0) + (e->GetFacet2() ? 1 : 0);
        if (sides == 1)
            ++st.boundaryEdges;
        else if (sides == 0)
            ++st.wireEdges;
        const long a = e->GetVertex1()->GetId();
        const long b = e->GetVertex2()->GetId();
        pairs.emplace_back(std::min(a, b), std::max(a, b));
    }
    std::sort(pairs.begin(), pairs.end());
    for (std::size_t i = 0; i < pairs.size();) {
        std::size_t j = i + 1;
        while (j < pairs.size() && pairs[j] == pairs[i])
            ++j;
        if (j - i > 1)
            ++st.nonManifoldEdges;
        i = j;
    }

    // Closed exactly when no edge is open on one side, so the line agrees
    // with the boundary count printed beside it; a mesh without facets
    // encloses nothing and is no closed solid.
    st.closed = st.boundaryEdges == 0 && st.counts.facets > 0;

    for (int i = 0; i < st.counts.vertices; ++i)
        if (G3Vertex* v = s.GetVertex(i))
            if (IsNonManifoldVertex(v))
                ++st.nonManifoldVertices;

    for (int i = 0; i < st.counts.facets; ++i) {
        G3Facet* f = s.GetFacet(i);
        if (!f)
            continue;
        if (ContourCount(f) > 1)
            ++st.facetsWithHoles;
        if (IsDegenerateFacet(f))
            ++st.degenerateFacets;
    }
    ComputeTopology(s, st);
    return st;
}

const CommandLine& InfoLine()
{
    static const CommandLine line{"FILE", {{"--quiet", ""}}};
    return line;
}

int CommandInfo(const std::vector<std::string>& args)
{
    ParsedArgs a;
    int status = kExitOk;
    if (!OpenOneInputCommand("info", args, SyntaxOf(InfoLine()), a, status))
        return status;
    const std::string& path = a.positionals[0];

    Progress progress(a.Has("--quiet"));
    progress.Pass("reading " + path);
    G3Surface s;
    std::string error;
    if (!g3io::ReadMeshFile(path, s, error)) {
        std::fprintf(stderr, "g3: %s\n", error.c_str());
        return kExitBadInput;
    }
    if (!error.empty())
        std::fprintf(stderr, "g3: %s\n", error.c_str());
    progress.Pass("measuring");
    const MeshStats st = ComputeStats(s);
    // Coordinates are model units, and the kernel takes points closer than
    // its tolerance for one point: far too coarse for a mesh a millimetre
    // across in metres, finer than the doubles resolve far out.
    const double extent = std::max({st.max[0] - st.min[0], st.max[1] - st.min[1], st.max[2] - st.min[2]});
    if (!st.empty && (extent < kSmallExtent || extent > kLargeExtent))
        std::fprintf(stderr,
                     "g3: warning: %s spans %.3g model units; points closer than %g are taken for one, which is %s\n",
                     path.c_str(), extent, GTolerance::kZeroLength,
                     extent < kSmallExtent ? "coarse for a mesh this small (scale it up, to metres say)"
                                           : "below what coordinates this large can resolve (move or scale it)");

    std::printf("file: %s\n", path.c_str());
    std::printf("format: %s\n", g3io::FormatName(g3io::FormatFromPath(path)));
    std::printf("vertices: %d\n", st.counts.vertices);
    std::printf("edges: %d\n", st.counts.edges);
    std::printf("facets: %d\n", st.counts.facets);
    std::printf("normals: %d\n", st.counts.normals);
    std::printf("texture coordinates: %d\n", st.counts.texCoos);
    if (st.empty) {
        std::printf("bbox min: none\nbbox max: none\n");
    } else {
        std::printf("bbox min: %.9g %.9g %.9g\n", st.min[0], st.min[1], st.min[2]);
        std::printf("bbox max: %.9g %.9g %.9g\n", st.max[0], st.max[1], st.max[2]);
    }
    std::printf("closed: %s\n", st.closed ? "yes" : "no");
    std::printf("boundary edges: %d\n", st.boundaryEdges);
    std::printf("wire edges: %d\n", st.wireEdges);
    std::printf("non-manifold edges: %d\n", st.nonManifoldEdges);
    std::printf("non-manifold vertices: %d\n", st.nonManifoldVertices);
    std::printf("facets with holes: %d\n", st.facetsWithHoles);
    std::printf("degenerate facets: %d\n", st.degenerateFacets);
    std::printf("V-E+F: %d\n", st.counts.vertices - st.counts.edges + st.counts.facets);
    std::printf("pieces: %d\n", st.pieces);
    std::printf("orientable: %s\n", st.orientable ? "yes" : "no");
    std::printf("consistently oriented: %s\n", st.oriented ? "yes" : "no");
    if (st.counts.facets == 0)
        std::printf("volume: none (no facets)\n");
    else if (!st.closed)
        std::printf("volume: none (not closed)\n");
    else if (!st.oriented)
        std::printf("volume: none (not consistently oriented)\n");
    else if (st.volume > 0.0)
        std::printf("volume: %.9g (positive: facets face out)\n", st.volume);
    else if (st.volume < 0.0)
        std::printf("volume: %.9g (negative: facets face in)\n", st.volume);
    else
        std::printf("volume: 0\n");
    if (st.genus >= 0)
        std::printf("genus: %d\n", st.genus);
    else if (st.counts.facets == 0)
        std::printf("genus: none (no facets)\n");
    else if (!st.closed)
        std::printf("genus: none (not closed)\n");
    else if (!st.orientable)
        std::printf("genus: none (not orientable)\n");
    else
        std::printf("genus: none (not a manifold)\n");
    return kExitOk;
}

}  // namespace g3tool
