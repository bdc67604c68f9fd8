// Slabs whose caps hold diamond holes with a tip on the outline's foot,
// written as OBJ and VRML. Where a hole starts at the corner at which the
// contour before it closes, the walk goes on through that corner into the
// hole; the writers still have to see a facet with a hole and cut it into
// triangles, never write one face that passes the same corner twice.

#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "Geometry/processing/G3EdgeList.h"
#include "mesh/mesh_check.h"
#include "tools/io/G3MeshIO.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Faces of a list of index runs (OBJ "f" lines, or VRML runs ended by -1)
// that name one corner twice.
int FacesRepeatingACorner(const std::vector<std::vector<long>>& faces)
{
    int n = 0;
    for (std::vector<long> f : faces) {
        std::sort(f.begin(), f.end());
        n += std::adjacent_find(f.begin(), f.end()) != f.end() ? 1 : 0;
    }
    return n;
}

std::vector<std::vector<long>> ObjFaces(const std::string& text)
{
    std::vector<std::vector<long>> faces;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("f ", 0) == 0) {
            std::istringstream words(line.substr(2));
            faces.emplace_back();
            for (std::string w; words >> w;)
                faces.back().push_back(std::stol(w.substr(0, w.find('/'))));
        }
    return faces;
}

std::vector<std::vector<long>> VrmlFaces(const std::string& text)
{
    std::vector<std::vector<long>> faces(1);
    const std::size_t at = text.find("coordIndex");
    for (std::size_t i = text.find('[', at) + 1; at != std::string::npos && i < text.size() && text[i] != ']';) {
        char* end = nullptr;
        const long v = std::strtol(text.c_str() + i, &end, 10);
        if (end == text.c_str() + i) {
            ++i;
            continue;
        }
        i = static_cast<std::size_t>(end - text.c_str());
        if (v < 0)
            faces.emplace_back();
        else
            faces.back().push_back(v);
    }
    return faces;
}

TEST(TouchingHoles, WritersCutHolesThatStartWhereTheOutlineCloses)
{
    std::mt19937 rng(11);
    for (int iter = 0; iter < 40; ++iter) {
        SCOPED_TRACE(iter);
        const int n = 1 + static_cast<int>(rng() % 2), W = 2 * n + 2, H = 3;
        const double at = iter % 2 ? 5e5 : 0.0, t = 0.5;
        // Top cap: the outline counter-clockwise with a corner at each tip,
        // holes clockwise (tip, left, top, right); neighbours share a corner.
        std::vector<std::vector<std::pair<double, double>>> contours(1);
        contours[0] = {{0, 0}};
        for (int k = 0; k < n; ++k)
            contours[0].push_back({2.0 * k + 2, 0});
        contours[0].insert(contours[0].end(), {{W, 0}, {W, H}, {0, H}});
        const int k0 = static_cast<int>(rng() % n); // the hole that follows the outline
        const bool closing = iter % 4 < 2;          // it starts where the outline closes
        std::rotate(contours[0].begin(), contours[0].begin() + (closing ? 1 + k0 : rng() % contours[0].size()),
                    contours[0].end());
        for (int j = 0; j < n; ++j) {
            const int k = (k0 + j) % n;
            const double c = 2.0 * k + 2;
            std::vector<std::pair<double, double>> h = {{c, 0}, {c - 1, 1}, {c, 2}, {c + 1, 1}};
            std::rotate(h.begin(), h.begin() + (closing && j == 0 ? 0 : rng() % 4), h.end());
            contours.push_back(h);
        }
        G3Surface s;
        std::map<std::vector<double>, G3Vertex*> vertices;
        auto vertex = [&](std::pair<double, double> p, double z) {
            G3Vertex*& v = vertices[{p.first, p.second, z}];
            return v ? v : (v = s.AddVertex(at + p.first, at + p.second, at + z, 0));
        };
        for (int cap = 0; cap < 2; ++cap) {
            G3Facet* f = nullptr;
            for (auto c : contours) {
                if (cap)
                    std::reverse(c.begin() + 1, c.end());
                std::vector<G3Vertex*> ring;
                for (const auto& p : c)
                    ring.push_back(vertex(p, cap ? 0.0 : t));
                G3EdgeList list(static_cast<int>(ring.size()), ring.data(), nullptr, nullptr, nullptr, 0, 0);
                f = f ? s.AddFacetEdges(f, &list) : s.AddFacet(static_cast<int>(ring.size()), ring.data(), 1, nullptr, nullptr);
                ASSERT_NE(nullptr, f);
            }
        }
        for (const auto& c : contours)
            for (std::size_t i = 0; i < c.size(); ++i) {
                G3Vertex* q[4] = {vertex(c[i], 0), vertex(c[(i + 1) % c.size()], 0), vertex(c[(i + 1) % c.size()], t),
                                  vertex(c[i], t)};
                ASSERT_NE(nullptr, s.AddFacet(4, q, 1, nullptr, nullptr));
            }
        s.FormPlaneEquation();
        ASSERT_EQ("", MeshCheck(&s));
        const double volume = t * (W * H - 2.0 * n);
        ASSERT_NEAR(volume, G3SurfaceVolume(&s), 1e-9 * volume);
        int loops = 0; // over both caps: the outline and every hole
        for (int i = 0; i < s.GetFacetCount(); ++i)
            for (G3ContourWalker w(s.GetFacet(i)); w.Next();)
                loops += w.OpensLoop() && w.GetIndex() > 0 ? 1 : 0;
        EXPECT_EQ(2 * n, loops);

        std::string obj, message;
        ASSERT_TRUE(g3io::WriteObj(s, obj));
        EXPECT_EQ(0, FacesRepeatingACorner(ObjFaces(obj)));
        G3Surface back;
        ASSERT_TRUE(g3io::ReadObj(obj.data(), obj.size(), "touching", back, message)) << message;
        EXPECT_EQ("", MeshCheck(&back));
        EXPECT_NEAR(volume, G3SurfaceVolume(&back), 1e-9 * volume);

        const std::string path = ::testing::TempDir() + "touching_holes.wrl";
        const double red[3] = {1, 0, 0};
        FILE* file = nullptr;
        ASSERT_TRUE(G3Surface::VRMLWriteBegin(path.c_str(), &file));
        EXPECT_TRUE(G3Surface::VRMLWrite(file, &s, red));
        ASSERT_TRUE(G3Surface::VRMLWriteEnd(file));
        std::stringstream vrml;
        vrml << std::ifstream(path).rdbuf();
        std::remove(path.c_str());
        EXPECT_EQ(0, FacesRepeatingACorner(VrmlFaces(vrml.str())));
        EXPECT_EQ("", MeshCheck(&s));
    }
}

} // namespace
