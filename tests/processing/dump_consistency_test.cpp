// A dump is loaded only when the mesh it describes is consistent: rings and
// chains that each end properly but disagree with the edges are refused, and
// every surface a mutated dump loads into survives the repair passes.

#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "mesh/mesh_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The triangle 0 (0,0,0), 1 (1,0,0), 2 (0,1,0) as Save writes it, edges
// 0->1, 1->2, 2->0; `patch` replaces whole lines (0 is the header).
std::string Triangle(const std::vector<std::pair<int, std::string>>& patch = {})
{
    std::vector<std::string> lines = {"3 3 1 1 0", "0 0 0", "1 0 0", "0 1 0",
                                      "0 1 1", "1 2 1", "2 0 1",      // edges
                                      "0 2 0 1",                      // facet
                                      "0 -1 1 -1 2 1", "0 -1 2 -1 -1 2", "0 -1 -1 -1 -1 -1", // links
                                      "0 2", "0 1", "1 2"};            // ring ends
    for (const auto& p : patch)
        lines[static_cast<size_t>(p.first)] = p.second;
    std::string text;
    for (const std::string& l : lines)
        text += l + "\n";
    return text;
}

bool Load(G3Surface& s, const std::string& text, const char** reason = nullptr)
{
    return s.LoadFromText(text.data(), text.size(), nullptr, reason);
}

// The kernel's repair sequence, checked after every pass.
std::string RepairChecked(G3Surface& s)
{
    const std::pair<const char*, void (*)(G3Surface&)> passes[] = {
        {"weld and divide", [](G3Surface& x) { x.RemoveEqualsVertexAndDivideEdges(); }},
        {"normals", [](G3Surface& x) { x.RemoveEqualsNormal(); }},
        {"trivial facets",
         [](G3Surface& x) {
             x.FormPlaneEquation();
             x.RemoveTrivialFacets();
         }},
        {"equal facets", [](G3Surface& x) { x.RemoveEqualsFacets(); }},
        {"non-manifold edges", [](G3Surface& x) { x.RemoveNonManifoldEdges(); }},
    };
    for (const auto& p : passes) {
        p.second(s);
        const std::string fault = MeshCheck(&s);
        if (!fault.empty())
            return std::string(p.first) + ": " + fault;
    }
    return "";
}

std::string SaveToText(G3Surface& s)
{
    const std::string path = ::testing::TempDir() + "g3dumpcheck_" + std::to_string(getpid()) + ".txt";
    EXPECT_TRUE(s.Save(path.c_str()));
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::remove(path.c_str());
    return ss.str();
}

} // namespace

// Each of these files has rings and chains that end where the records say,
// so only the whole-mesh check sees that they disagree with the edges.
TEST(DumpConsistency, RingsAndChainsThatDisagreeWithTheEdgesAreRefused)
{
    G3Surface good;
    ASSERT_TRUE(Load(good, Triangle()));
    ASSERT_EQ("", MeshCheck(&good));

    const std::pair<const char*, std::string> cases[] = {
        // Vertex 2's ring records only the edge 2->0.
        {"edge missing from a ring", Triangle({{9, "0 -1 2 -1 -1 -1"}, {13, "2 2"}})},
        // Edge 1 runs 0->1: the ring of 1 lists it, the ring of 0 does not
        // and vertex 2's lists only edge 2.
        {"edge moved to other vertices", Triangle({{5, "0 1 1"}, {9, "0 -1 2 -1 -1 -1"}, {13, "2 2"}})},
        {"one facet on both sides", Triangle({{8, "0 0 1 -1 2 1"}})},
        // A fourth edge 0->2, in both rings, names facet 0 but is not in
        // its chain.
        {"edge missing from its facet's chain",
         "3 4 1 1 0\n0 0 0\n1 0 0\n0 1 0\n0 1 1\n1 2 1\n2 0 1\n0 2 1\n0 2 0 1\n"
         "0 -1 1 -1 2 1\n0 -1 2 -1 -1 2\n0 -1 -1 -1 3 3\n0 -1 -1 -1 -1 -1\n0 3\n0 1\n1 3\n"},
        // The chain stops after 0->1, 1->2; edge 2 keeps no facet.
        {"open contour", Triangle({{7, "0 1 0 1"}, {9, "0 -1 -1 -1 -1 2"}, {10, "-1 -1 -1 -1 -1 -1"}})},
    };
    for (const auto& c : cases) {
        G3Surface s;
        s.SetNextSurface(4);
        const char* reason = nullptr;
        EXPECT_FALSE(Load(s, c.second, &reason)) << c.first;
        ASSERT_NE(nullptr, reason) << c.first;
        EXPECT_NE(std::string::npos, std::string(reason).find(':')) << c.first << ": " << reason;
        EXPECT_EQ(0, s.GetVertexCount() + s.GetEdgeCount() + s.GetFacetCount()) << c.first;
        EXPECT_EQ(4, s.PeekNextSurface()) << c.first;
    }
}

// Dumps of a few meshes with one to three tokens changed, lines exchanged
// or vertices moved onto others: a surface that loads passes the check, and
// the repair passes keep it consistent.
TEST(DumpConsistency, MutatedDumpsLoadOnlyConsistentMeshes)
{
    // Vertices are moved only in dumps without holes: a hole welded onto
    // its outer contour leaves two contours touching at a vertex, which a
    // chain cannot tell from one contour passing through it twice.
    struct Dump {
        std::string text;
        bool movable;
    };
    std::vector<Dump> dumps;
    {
        // A cube with one face gone and a facet-less edge in the rings.
        G3Surface s;
        const double p[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
        int faces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
        for (const auto& v : p)
            s.AddVertex(v[0], v[1], v[2], 0);
        for (auto& f : faces)
            s.AddFacet(4, f, 1, nullptr, nullptr);
        s.RemoveFacet(s.GetFacet(1));
        s.AddEdge(s.GetVertex(4), s.GetVertex(6), nullptr);
        dumps.push_back({SaveToText(s), true});
    }
    {
        // A closed tetrahedron beside a strip of two quads and a triangle.
        G3Surface s;
        const double p[10][3] = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {0, 0, 2}, {3, 0, 0},
                                 {4, 0, 0}, {5, 0, 0}, {3, 1, 0}, {4, 1, 0}, {5, 1, 1}};
        for (const auto& v : p)
            s.AddVertex(v[0], v[1], v[2], 0);
        int faces[7][4] = {{0, 2, 1, -1}, {0, 1, 3, -1}, {1, 2, 3, -1}, {2, 0, 3, -1},
                           {4, 5, 8, 7},  {5, 6, 9, 8},  {6, 9, 5, -1}};
        for (auto& f : faces)
            s.AddFacet(f[3] < 0 ? 3 : 4, f, 1, nullptr, nullptr);
        s.GetFacet(5)->SetDoubleSided();
        dumps.push_back({SaveToText(s), true});
    }
    {
        // A square with a square hole, a fan sharing its corner, and a
        // removed triangle whose edges stay listed.
        G3Surface s;
        const double p[10][3] = {{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}, {1, 1, 0},
                                 {3, 1, 0}, {3, 3, 0}, {1, 3, 0}, {5, 2, 1}, {5, 5, 1}};
        for (const auto& v : p)
            s.AddVertex(v[0], v[1], v[2], 0);
        GArrayCollection list;
        std::vector<G3Edge*> own;
        const int loop[8][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 7}, {7, 6}, {6, 5}, {5, 4}};
        for (const auto& e : loop) {
            own.push_back(new G3Edge(s.GetVertex(e[0]), s.GetVertex(e[1])));
            list.add(own.back());
        }
        EXPECT_NE(nullptr, s.AddFacet(&list, 0, 1));
        for (G3Edge* e : own)
            delete e;
        int fan1[3] = {1, 8, 2}, fan2[3] = {2, 8, 9}, gone[3] = {4, 5, 8};
        s.AddFacet(3, fan1, 1, nullptr, nullptr);
        s.AddFacet(3, fan2, 1, nullptr, nullptr);
        s.RemoveFacet(s.AddFacet(3, gone, 1, nullptr, nullptr));
        EXPECT_EQ("", MeshCheck(&s));
        dumps.push_back({SaveToText(s), false});
    }

    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    auto next = [&](std::uint64_t n) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return n ? (state >> 33) % n : 0;
    };
    int accepted = 0, refused = 0;
    for (int round = 0; round < 3000; ++round) {
        const Dump& base = dumps[round % dumps.size()];
        std::vector<std::vector<std::string>> lines;
        {
            std::istringstream in(base.text);
            for (std::string l; std::getline(in, l);) {
                std::istringstream ls(l);
                lines.emplace_back();
                for (std::string t; ls >> t;)
                    lines.back().push_back(t);
            }
        }
        const int nV = std::stoi(lines[0][0]), nE = std::stoi(lines[0][1]), nF = std::stoi(lines[0][2]);
        const int firstInt = 1 + nV; // edge records onward hold integers only
        const int changes = 1 + static_cast<int>(next(3));
        for (int c = 0; c < changes; ++c) {
            const int kind = static_cast<int>(next(base.movable ? 4 : 3));
            if (kind == 0 || kind == 1) {
                // One integer field: an id in range, -1 or a neighbour value.
                auto& line = lines[static_cast<size_t>(firstInt + next(lines.size() - firstInt))];
                std::string& field = line[next(line.size())];
                const int bound = std::max(nV, std::max(nE, nF));
                field = kind == 0 ? std::to_string(static_cast<int>(next(bound + 1)) - 1)
                                  : std::to_string(std::stoi(field) + (next(2) ? 1 : -1));
            } else if (kind == 2) {
                // Two lines of one record kind exchanged.
                const int sizes[] = {nE, nF, nE, nV};
                int begin = firstInt;
                const int k = static_cast<int>(next(4));
                for (int j = 0; j < k; ++j)
                    begin += sizes[j];
                if (sizes[k] < 2)
                    continue;
                std::swap(lines[static_cast<size_t>(begin + next(sizes[k]))],
                          lines[static_cast<size_t>(begin + next(sizes[k]))]);
            } else {
                // A vertex moved onto another, or onto the middle of two.
                auto& a = lines[static_cast<size_t>(1 + next(nV))];
                const auto& b = lines[static_cast<size_t>(1 + next(nV))];
                const auto& d = lines[static_cast<size_t>(1 + next(nV))];
                const bool middle = next(2) != 0;
                for (int k = 0; k < 3; ++k)
                    a[k] = middle ? std::to_string((std::stod(b[k]) + std::stod(d[k])) / 2) : b[k];
            }
        }
        std::string text;
        for (const auto& l : lines) {
            for (size_t k = 0; k < l.size(); ++k)
                text += (k ? " " : "") + l[k];
            text += "\n";
        }

        G3Surface s;
        const char* reason = nullptr;
        if (!Load(s, text, &reason)) {
            ++refused;
            ASSERT_NE(nullptr, reason);
            ASSERT_EQ(0, s.GetVertexCount() + s.GetEdgeCount() + s.GetFacetCount()) << round;
            continue;
        }
        ++accepted;
        ASSERT_EQ("", MeshCheck(&s)) << "round " << round << "\n" << text;
        ASSERT_EQ("", RepairChecked(s)) << "round " << round << "\n" << text;
    }
    // Both outcomes occur often enough for the test to mean something.
    EXPECT_GT(accepted, 300);
    EXPECT_GT(refused, 300);
}
