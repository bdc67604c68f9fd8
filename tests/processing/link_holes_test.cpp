// Joining many holes to their parents: the lists Link leaves, hashed, for
// seeded layouts full of the placements that decide which bridge is taken
// (equal extremes and equal distances on exact grids, collinear corners,
// holes touching the parent or each other at a vertex, the same point held
// by two vertex objects, islands with holes, several parents). The table
// holds the hashes of a recorded run: any change of list, edge order,
// bridge or corner shows.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <utility>
#include <vector>

namespace {

const double kUp[4] = {0.0, 0.0, 1.0, 0.0};

struct Hash {
    std::uint64_t h = 1469598103934665603ull;
    void Add(std::uint64_t v)
    {
        for (int b = 0; b < 8; ++b, v >>= 8)
            h = (h ^ (v & 0xff)) * 1099511628211ull;
    }
    void Add(double d)
    {
        std::uint64_t v;
        std::memcpy(&v, &d, sizeof v);
        Add(v);
    }
};

std::uint64_t HashLists(GArrayCollection& lists)
{
    Hash h;
    auto id = [](const G3Obj* o) { return static_cast<std::uint64_t>(o ? o->GetId() : -1L); };
    for (int k = 0; k < lists.size(); ++k) {
        G3EdgeList* l = static_cast<G3EdgeList*>(lists.get(k));
        h.Add(static_cast<std::uint64_t>(l->size()) * 16 + static_cast<std::uint64_t>(l->GetContourType()));
        for (int e = 0; e < l->size(); ++e) {
            G3Edge* edge = l->GetEdge(e);
            h.Add(id(edge->GetVertex1()));
            h.Add(id(edge->GetVertex2()));
            h.Add(edge->GetVertex1()->GetX());
            h.Add(edge->GetVertex1()->GetY());
            h.Add(static_cast<std::uint64_t>(edge->GetFlags()));
            h.Add(id(edge->GetFacet1V1(nullptr)));
            h.Add(id(edge->GetFacet1V2(nullptr)));
        }
    }
    return h.h;
}

// Parents side by side, each a grid of 4 x 4 cells with a corner every 2
// along its sides; every cell holds nothing or one of several holes. On
// exact layouts corners sit on the half grid, else free corners are
// jittered. Grid points are one vertex object each, so holes meet the
// parent and each other there; `fresh` points are second objects.
class Layout {
public:
    explicit Layout(unsigned seed) : rng(seed), exact(seed % 2 == 0) {}
    ~Layout() { lists.clear(true); }

    void Build()
    {
        const int parents = 1 + static_cast<int>(rng() % 3);
        double x0 = 0.0;
        for (int p = 0; p < parents; ++p) {
            const int cols = 2 + static_cast<int>(rng() % 9);
            const int rows = 2 + static_cast<int>(rng() % 9);
            std::vector<G3Vertex*> ring;
            for (int x = 0; x < 2 * cols; ++x)
                ring.push_back(Grid(x0 + 2 * x, 0));
            for (int y = 0; y < 2 * rows; ++y)
                ring.push_back(Grid(x0 + 4 * cols, 2 * y));
            for (int x = 2 * cols; x > 0; --x)
                ring.push_back(Grid(x0 + 2 * x, 4 * rows));
            for (int y = 2 * rows; y > 0; --y)
                ring.push_back(Grid(x0, 2 * y));
            Contour(ring);
            for (int cy = 0; cy < rows; ++cy)
                for (int cx = 0; cx < cols; ++cx)
                    Cell(x0 + 4 * cx, 4 * cy);
            x0 += 4 * cols + 1 + static_cast<int>(rng() % 2) * 3;
        }
    }

    G3Surface s;
    GArrayCollection lists;

private:
    G3Vertex* Grid(double x, double y)
    {
        G3Vertex*& v = grid[{x, y}];
        if (!v)
            v = s.AddVertex(x, y, 0.0, 0);
        return v;
    }
    G3Vertex* Free(double x, double y)
    {
        std::uniform_real_distribution<double> d(-0.3, 0.3);
        return exact ? Grid(x, y) : s.AddVertex(x + d(rng), y + d(rng), 0.0, 0);
    }
    G3Vertex* Fresh(double x, double y) { return s.AddVertex(x, y, 0.0, 0); }

    // A closed list through v, either way round; every corner has a normal
    // of its own, so the corners the bridges carry show.
    void Contour(std::vector<G3Vertex*> v)
    {
        if (rng() % 2)
            std::reverse(v.begin(), v.end());
        std::vector<G3Normal*> n;
        for (G3Vertex* w : v)
            n.push_back(s.AddNormal(w->GetX(), w->GetY(), 1.0));
        G3EdgeList* l = new G3EdgeList(static_cast<int>(v.size()), v.data(), nullptr, n.data(), nullptr, 0, 7);
        l->SetPlane(kUp);
        lists.add(l);
    }

    void Square(double x, double y, double a, double b, bool free)
    {
        if (free)
            Contour({Free(x, y), Free(x + a, y), Free(x + a, y + b), Free(x, y + b)});
        else
            Contour({Grid(x, y), Grid(x + a, y), Grid(x + a, y + b), Grid(x, y + b)});
    }

    void Cell(double x, double y)
    {
        switch (rng() % 10) {
        case 0:
            break;
        case 1: // a square in the middle
            Square(x + 1, y + 1, 2, 2, true);
            break;
        case 2: // a diamond through the side midpoints: it meets its
                // neighbours' and the parent's corners
            Contour({Grid(x + 2, y), Grid(x + 4, y + 2), Grid(x + 2, y + 4), Grid(x, y + 2)});
            break;
        case 3: // a triangle of free corners
            Contour({Free(x + 1, y + 1), Free(x + 3, y + 1.5), Free(x + 1.5, y + 3)});
            break;
        case 4: // a hole holding an island, sometimes with a hole of its own
            Square(x + 0.5, y + 0.5, 3, 3, false);
            Square(x + 1, y + 1, 2, 2, false);
            if (rng() % 2)
                Square(x + 1.5, y + 1.5, 1, 1, true);
            break;
        case 5: // a corner on the cell's corner, a second object there
            Contour({Fresh(x + 4, y + 4), Grid(x + 2, y + 4), Grid(x + 2, y + 2), Grid(x + 4, y + 2)});
            break;
        case 6: // a corner on the cell's corner, the grid's object
            Square(x, y, 2, 2, false);
            break;
        case 7: // a rectangle with corners along straight runs: equal
                // extremes broken by yCoo
            Contour({Grid(x + 1, y + 1), Grid(x + 2, y + 1), Grid(x + 3, y + 1), Grid(x + 3, y + 2),
                     Grid(x + 3, y + 3), Grid(x + 1, y + 3), Grid(x + 1, y + 2)});
            break;
        case 8: // an arrowhead pointing left: its notch hides much from
                // its tips
            Contour({Grid(x + 3, y + 3.5), Grid(x + 1, y + 2), Grid(x + 3, y + 0.5), Free(x + 2, y + 2)});
            break;
        default: // two small squares, one on top of the other
            Square(x + 0.5, y + 0.5, 1, 1, true);
            Square(x + 2.5, y + 2.5, 1, 1, true);
            break;
        }
    }

    std::mt19937 rng;
    bool exact;
    std::map<std::pair<double, double>, G3Vertex*> grid;
};

// Squares on an integer grid inside a large one, resolved as one soup:
// shared sides cancel, overlaps merge, corners touch.
std::uint64_t SoupHash(unsigned seed)
{
    std::mt19937 rng(seed);
    G3Surface s;
    G3EdgeList* soup = new G3EdgeList(0, 7);
    soup->SetPlane(kUp);
    auto square = [&](int x, int y, int a) {
        G3Vertex* v[4] = {s.AddVertex(x, y, 0, 0), s.AddVertex(x + a, y, 0, 0), s.AddVertex(x + a, y + a, 0, 0),
                          s.AddVertex(x, y + a, 0, 0)};
        for (int k = 0; k < 4; ++k)
            soup->AddEdge(v[k], v[(k + 1) % 4], nullptr, nullptr, nullptr, nullptr, 1);
    };
    const int side = 12 + static_cast<int>(rng() % 20);
    square(0, 0, side);
    for (int k = 0; k < side * side / 6; ++k) {
        const int a = 1 + static_cast<int>(rng() % 2);
        square(static_cast<int>(rng() % static_cast<unsigned>(side - a)),
               static_cast<int>(rng() % static_cast<unsigned>(side - a)), a);
    }
    GArrayCollection out;
    soup->RemoveSelfIntersections(&out, &s, true, UNION_EDGE_CANCEL_PAIRS, 0);
    const std::uint64_t h = HashLists(out);
    out.clear(true);
    delete soup;
    return h;
}

} // namespace

TEST(LinkHoles, ManyHolesJoinAsRecorded)
{
    const std::uint64_t layouts[24] = {
        0x0f00f475de378825ull, 0xc2945d07bc9f5decull, 0x6183b2dc91aa7b19ull,
        0x50745457d5341abaull, 0x3dfa98d8a6398f81ull, 0xdefa226515fac4efull,
        0xff40aead3423041aull, 0x6b7aae75920612f6ull, 0xe7a49c7681af9f0aull,
        0x311c58d3d3e24e80ull, 0x3ca46ad623fb67cfull, 0x47c6d5e92af1c9a6ull,
        0xac4ede1846ea4b34ull, 0x41376838e4e583f9ull, 0x09433bfb6dcff748ull,
        0x0cf18d5b11b57edbull, 0x640add0a6b8df2c4ull, 0x478ba7c0d7e152feull,
        0x151e70eb0a6264fcull, 0x5493b304d8582f5aull, 0xa9a43d86385e2288ull,
        0xae96bc0c71fb4b10ull, 0xe7143613eeab5683ull, 0xd4da535e555d0c71ull,
    };
    const std::uint64_t soups[12] = {
        0x688435e0d8667fddull, 0xfdf72c391a8781f8ull, 0xcfeccbb33a2fcd0full,
        0xb9d4e44fdc1e3993ull, 0x83825214ccfbca66ull, 0xb816a125c1bd94cdull,
        0x0723f997fe88f50full, 0x1450eba83d97e966ull, 0xc2041c802cc8d129ull,
        0x8fd6b7323f5e6e90ull, 0x5ef0853188e94a79ull, 0x759ce55e9cd29082ull,
    };
    for (unsigned seed = 0; seed < 24; ++seed) {
        Layout l(seed);
        l.Build();
        G3EdgeList::FormContourTypes(&l.lists);
        G3EdgeList::Link(&l.lists, &l.s, 3);
        const std::uint64_t h = HashLists(l.lists);
        EXPECT_EQ(h, layouts[seed]) << "layout seed " << seed;
    }
    for (unsigned seed = 0; seed < 12; ++seed) {
        const std::uint64_t h = SoupHash(seed);
        EXPECT_EQ(h, soups[seed]) << "soup seed " << seed;
    }
}
