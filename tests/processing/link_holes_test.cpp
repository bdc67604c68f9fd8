// Joining many holes to their parents: the lists Link leaves, hashed, for
// seeded layouts full of the placements that decide which bridge is taken
// (equal extremes and distances on exact grids, collinear corners, holes
// touching the parent or each other at a vertex, one point held by two
// vertex objects, islands with holes, several parents). The table holds
// the hashes of a recorded run: any change of list, edge order, bridge or
// corner shows.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <vector>

namespace {

const double kUp[4] = {0.0, 0.0, 1.0, 0.0};

// FNV-1a over every list's size and type and every edge's ends (ids and
// coordinates), flags and corner normals.
std::uint64_t HashLists(GArrayCollection& lists)
{
    std::uint64_t h = 1469598103934665603ull;
    auto add = [&h](std::uint64_t v) {
        for (int b = 0; b < 8; ++b, v >>= 8)
            h = (h ^ (v & 0xff)) * 1099511628211ull;
    };
    auto id = [](const G3Obj* o) { return static_cast<std::uint64_t>(o ? o->GetId() : -1L); };
    for (int k = 0; k < lists.size(); ++k) {
        G3EdgeList* l = static_cast<G3EdgeList*>(lists.get(k));
        add(static_cast<std::uint64_t>(l->size()) * 16 + static_cast<std::uint64_t>(l->GetContourType()));
        for (int e = 0; e < l->size(); ++e) {
            G3Edge* edge = l->GetEdge(e);
            std::uint64_t xy[2];
            std::memcpy(xy, edge->GetVertex1()->GetXYZ(), sizeof xy);
            for (std::uint64_t v : {id(edge->GetVertex1()), id(edge->GetVertex2()), xy[0], xy[1],
                                    static_cast<std::uint64_t>(edge->GetFlags()), id(edge->GetFacet1V1(nullptr)),
                                    id(edge->GetFacet1V2(nullptr))})
                add(v);
        }
    }
    return h;
}

// What a cell (4 x 4) may hold: contours in cell coordinates, each corner
// 'g' a grid point (one vertex object per point, shared with neighbours and
// the parent's sides, which have a corner every 2), 'f' free (jittered
// unless the layout is exact) or 'n' a second object on a grid point.
struct Shape {
    const char* kinds;
    std::vector<std::array<double, 2>> at;
};
const std::vector<std::vector<Shape>> kCells = {
    {},
    {{"ffff", {{1, 1}, {3, 1}, {3, 3}, {1, 3}}}},
    {{"gggg", {{2, 0}, {4, 2}, {2, 4}, {0, 2}}}},                 // meets its neighbours and the parent
    {{"fff", {{1, 1}, {3, 1.5}, {1.5, 3}}}},
    {{"gggg", {{.5, .5}, {3.5, .5}, {3.5, 3.5}, {.5, 3.5}}},     // a hole around an island around a hole
     {"gggg", {{1, 1}, {3, 1}, {3, 3}, {1, 3}}},
     {"ffff", {{1.5, 1.5}, {2.5, 1.5}, {2.5, 2.5}, {1.5, 2.5}}}},
    {{"gggg", {{.5, .5}, {3.5, .5}, {3.5, 3.5}, {.5, 3.5}}}, {"gggg", {{1, 1}, {3, 1}, {3, 3}, {1, 3}}}},
    {{"nggg", {{4, 4}, {2, 4}, {2, 2}, {4, 2}}}},
    {{"gggg", {{0, 0}, {2, 0}, {2, 2}, {0, 2}}}},
    {{"ggggggg", {{1, 1}, {2, 1}, {3, 1}, {3, 2}, {3, 3}, {1, 3}, {1, 2}}}}, // equal extremes
    {{"gggf", {{3, 3.5}, {1, 2}, {3, .5}, {2, 2}}}},              // an arrowhead hiding much from its tips
    {{"ffff", {{.5, .5}, {1.5, .5}, {1.5, 1.5}, {.5, 1.5}}}, {"ffff", {{2.5, 2.5}, {3.5, 2.5}, {3.5, 3.5}, {2.5, 3.5}}}},
};

// One to three parents side by side, each 2 to 10 cells each way; every
// contour either way round, every corner with a normal of its own.
std::uint64_t LayoutHash(unsigned seed)
{
    std::mt19937 rng(seed);
    const bool exact = seed % 2 == 0;
    G3Surface s;
    GArrayCollection lists;
    std::map<std::array<double, 2>, G3Vertex*> grid;
    auto corner = [&](char kind, double x, double y) {
        std::uniform_real_distribution<double> jitter(-0.3, 0.3);
        if (kind == 'n' || (kind == 'f' && !exact))
            return kind == 'n' ? s.AddVertex(x, y, 0, 0) : s.AddVertex(x + jitter(rng), y + jitter(rng), 0, 0);
        G3Vertex*& v = grid[{x, y}];
        return v ? v : (v = s.AddVertex(x, y, 0, 0));
    };
    auto contour = [&](std::vector<G3Vertex*> v) {
        if (rng() % 2)
            std::reverse(v.begin(), v.end());
        std::vector<G3Normal*> n;
        for (G3Vertex* w : v)
            n.push_back(s.AddNormal(w->GetX(), w->GetY(), 1.0));
        lists.add(new G3EdgeList(static_cast<int>(v.size()), v.data(), nullptr, n.data(), nullptr, 0, 7));
        static_cast<G3EdgeList*>(lists.get(lists.size() - 1))->SetPlane(kUp);
    };
    double x0 = 0.0;
    for (unsigned p = 1 + rng() % 3; p > 0; --p) {
        const int cols = 2 + static_cast<int>(rng() % 9);
        const int rows = 2 + static_cast<int>(rng() % 9);
        std::vector<G3Vertex*> ring;
        for (int k = 0; k < 2 * cols; ++k)
            ring.push_back(corner('g', x0 + 2 * k, 0));
        for (int k = 0; k < 2 * rows; ++k)
            ring.push_back(corner('g', x0 + 4 * cols, 2 * k));
        for (int k = 2 * cols; k > 0; --k)
            ring.push_back(corner('g', x0 + 2 * k, 4 * rows));
        for (int k = 2 * rows; k > 0; --k)
            ring.push_back(corner('g', x0, 2 * k));
        contour(ring);
        for (int c = 0; c < cols * rows; ++c)
            for (const Shape& shape : kCells[rng() % kCells.size()]) {
                std::vector<G3Vertex*> v;
                for (size_t k = 0; k < shape.at.size(); ++k)
                    v.push_back(corner(shape.kinds[k], x0 + 4 * (c % cols) + shape.at[k][0], 4 * (c / cols) + shape.at[k][1]));
                contour(v);
            }
        x0 += 4 * cols + 1 + static_cast<int>(rng() % 2) * 3;
    }
    G3EdgeList::FormContourTypes(&lists);
    G3EdgeList::Link(&lists, &s, 3);
    const std::uint64_t h = HashLists(lists);
    lists.clear(true);
    return h;
}

} // namespace

TEST(LinkHoles, ManyHolesJoinAsRecorded)
{
    const std::uint64_t layouts[24] = {
        0x5663a2072fddf5faull, 0x45e2e24ccc90a35cull, 0xf04b996d24e95da8ull,
        0x8d0ed84496a42264ull, 0x7f02dbb46b3349b6ull, 0x6cdbfe3542d8c12dull,
        0x1474560558c7da0dull, 0x03e808faa9f58be7ull, 0x9ba3423c7cb9a72full,
        0x4409def930fbe20full, 0x978b4ea87d98900cull, 0x8237f413b4cc5065ull,
        0x5d8023ea02c89ae3ull, 0xea6ca9207ea2086dull, 0xb2430a5a080217e2ull,
        0xf46f94bd5bac09e8ull, 0xffe297e240fc8c64ull, 0x6afc8c57ab32a9ddull,
        0x461e662e10f43c9dull, 0xc3edde00fa518da2ull, 0x32cbdfdea47bd4eeull,
        0xf8fa621aae9394f8ull, 0x8db43fda76586648ull, 0x39c7c79842db9efaull,
    };
    for (unsigned seed = 0; seed < 24; ++seed)
        EXPECT_EQ(LayoutHash(seed), layouts[seed]) << "layout seed " << seed;
}
