// Sections of building-like solids made of grid cells: walls with windows,
// slabs with shafts and frames, as one joined solid of cell quads, as boxes
// that touch, and as boxes that overlap. Every cut (through cell faces:
// sills, heads, slab and wall faces, and between them) is checked against
// the cells of the plane: one face per region joined across cell sides,
// with its holes and its area. Small boxes far from the origin must be cut
// to their exact area.

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/foundation/GRandom.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "tests/common/builders.h"
#include "tests/mesh/mesh_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr int kN[3] = {8, 8, 6};
constexpr double kCellSize = 0.25;

int Rand(int n) { return GRand() % n; }

using Box = std::array<int, 6>;

struct Voxels {
    std::vector<char> cells = std::vector<char>(kN[0] * kN[1] * kN[2], 0);
    bool At(int x, int y, int z) const
    {
        return x >= 0 && y >= 0 && z >= 0 && x < kN[0] && y < kN[1] && z < kN[2] && cells[(z * kN[1] + y) * kN[0] + x];
    }
    void Set(int x, int y, int z, char v) { cells[(z * kN[1] + y) * kN[0] + x] = v; }
    void Fill(const std::array<int, 6>& b, char v)
    {
        for (int z = b[2]; z < b[5]; ++z)
            for (int y = b[1]; y < b[4]; ++y)
                for (int x = b[0]; x < b[3]; ++x)
                    Set(x, y, z, v);
    }
};

// Walls with windows, a slab with shafts, a frame, a block with a hidden
// void (a cavity whose walls join nothing else): one or more of them.
Voxels Scene()
{
    Voxels w;
    const int parts = 1 + Rand(3);
    for (int p = 0; p < parts; ++p) {
        const int kind = Rand(4);
        if (kind == 3) {
            const int x0 = Rand(3), y0 = Rand(3), z0 = Rand(2);
            const Box block{x0, y0, z0, x0 + 4 + Rand(kN[0] - x0 - 3), y0 + 4 + Rand(kN[1] - y0 - 3), kN[2]};
            w.Fill(block, 1);
            w.Fill({block[0] + 1 + Rand(2), block[1] + 1, block[2] + 1, block[3] - 1, block[4] - 1 - Rand(2),
                    block[5] - 1},
                   0);
            continue;
        }
        if (kind == 0) {
            const int along = Rand(2);
            const int at = Rand(kN[1 - along]);
            const int a = Rand(3);
            const int b = kN[along] - Rand(3);
            std::array<int, 6> box{0, 0, 0, 0, 0, kN[2] - Rand(2)};
            box[along] = a;
            box[along + 3] = b;
            box[1 - along] = at;
            box[4 - along] = at + 1;
            w.Fill(box, 1);
            if (b - a > 3) {
                std::array<int, 6> hole = box;
                hole[along] = a + 1 + Rand(b - a - 3);
                hole[along + 3] = hole[along] + 1 + Rand(2);
                hole[2] = 1 + Rand(2);
                hole[5] = hole[2] + 1 + Rand(2);
                w.Fill(hole, 0);
            }
        } else if (kind == 1) {
            const int z = Rand(kN[2]);
            w.Fill({0, 0, z, kN[0], kN[1], z + 1}, 1);
            for (int s = Rand(3); s > 0; --s) {
                const int x = 1 + Rand(kN[0] - 3);
                const int y = 1 + Rand(kN[1] - 3);
                w.Fill({x, y, z, x + 1 + Rand(2), y + 1 + Rand(2), z + 1}, 0);
            }
        } else {
            const int x0 = Rand(3), y0 = Rand(3), x1 = kN[0] - Rand(3), y1 = kN[1] - Rand(3);
            const int z0 = Rand(3), z1 = z0 + 1 + Rand(kN[2] - z0);
            w.Fill({x0, y0, z0, x1, y1, std::min(z1, kN[2])}, 1);
            w.Fill({x0 + 1, y0 + 1, z0, x1 - 1, y1 - 1, std::min(z1, kN[2])}, 0);
        }
    }
    // No two cells meet along an edge alone: the joined solid stays
    // manifold along its edges.
    for (bool changed = true; changed;) {
        changed = false;
        for (int z = 0; z < kN[2]; ++z)
            for (int y = 0; y < kN[1]; ++y)
                for (int x = 0; x < kN[0]; ++x)
                    for (int a = 0; a < 3; ++a) {
                        int d1[3] = {0, 0, 0}, d2[3] = {0, 0, 0};
                        d1[(a + 1) % 3] = 1;
                        d2[(a + 2) % 3] = 1;
                        auto at = [&](int i, int j) {
                            return w.At(x + i * d1[0] + j * d2[0], y + i * d1[1] + j * d2[1], z + i * d1[2] + j * d2[2]);
                        };
                        const bool diag = at(0, 0) && at(1, 1) && !at(1, 0) && !at(0, 1);
                        const bool anti = at(1, 0) && at(0, 1) && !at(0, 0) && !at(1, 1);
                        if (diag || anti) {
                            w.Set(x + d1[0], y + d1[1], z + d1[2], 1);
                            w.Set(x, y, z, 1);
                            changed = true;
                        }
                    }
    }
    return w;
}

// Disjoint boxes covering the cells (greedy, x then y then z).
std::vector<Box> Boxes(const Voxels& w)
{
    Voxels left = w;
    std::vector<Box> out;
    for (int z = 0; z < kN[2]; ++z)
        for (int y = 0; y < kN[1]; ++y)
            for (int x = 0; x < kN[0]; ++x) {
                if (!left.At(x, y, z))
                    continue;
                Box b{x, y, z, x + 1, y + 1, z + 1};
                auto full = [&](const Box& c) {
                    for (int k = c[2]; k < c[5]; ++k)
                        for (int j = c[1]; j < c[4]; ++j)
                            for (int i = c[0]; i < c[3]; ++i)
                                if (!left.At(i, j, k))
                                    return false;
                    return true;
                };
                for (int a = 0; a < 3; ++a)
                    for (;;) {
                        Box c = b;
                        c[a] = b[a + 3];
                        c[a + 3] = b[a + 3] + 1;
                        if (c[a + 3] > kN[a] || !full(c))
                            break;
                        ++b[a + 3];
                    }
                left.Fill(b, 0);
                out.push_back(b);
            }
    return out;
}

// Each box grown by one cell where the grown box stays within the cells.
void Overlap(const Voxels& w, std::vector<Box>* boxes)
{
    for (Box& b : *boxes) {
        const int a = Rand(6);
        Box c = b;
        if (a < 3)
            --c[a];
        else
            ++c[a];
        bool ok = c[a % 3] >= 0 && c[a % 3 + 3] <= kN[a % 3];
        for (int z = c[2]; ok && z < c[5]; ++z)
            for (int y = c[1]; ok && y < c[4]; ++y)
                for (int x = c[0]; ok && x < c[3]; ++x)
                    ok = w.At(x, y, z);
        if (ok)
            b = c;
    }
}

struct Mesh {
    G3Surface* s;
    double origin[3];
    std::map<std::array<int, 3>, G3Vertex*> shared;
    G3Vertex* Vertex(const std::array<int, 3>& g, bool share)
    {
        if (share) {
            auto it = shared.find(g);
            if (it != shared.end())
                return it->second;
        }
        G3Vertex* v = s->AddVertex(origin[0] + g[0] * kCellSize, origin[1] + g[1] * kCellSize,
                                   origin[2] + g[2] * kCellSize, 0);
        if (share)
            shared[g] = v;
        return v;
    }
    // The cell quad of cell c on side a (axis), facing +a when `up`.
    void Quad(std::array<int, 3> c, int a, bool up, bool share)
    {
        if (up)
            ++c[a];
        const int u = (a + 1) % 3, v = (a + 2) % 3;
        std::array<std::array<int, 3>, 4> g{c, c, c, c};
        ++g[1][u];
        ++g[2][u];
        ++g[2][v];
        ++g[3][v];
        G3Vertex* q[4] = {Vertex(g[0], share), Vertex(g[1], share), Vertex(g[2], share), Vertex(g[3], share)};
        if (!up)
            std::swap(q[1], q[3]);
        s->AddFacet(4, q, 1, nullptr, nullptr);
    }
};

// Boundary quads of the cells: one joined solid.
void AddJoined(Mesh& m, const Voxels& w)
{
    for (int z = 0; z < kN[2]; ++z)
        for (int y = 0; y < kN[1]; ++y)
            for (int x = 0; x < kN[0]; ++x)
                if (w.At(x, y, z))
                    for (int a = 0; a < 3; ++a)
                        for (int up = 0; up < 2; ++up) {
                            std::array<int, 3> n{x, y, z};
                            n[a] += up ? 1 : -1;
                            if (!w.At(n[0], n[1], n[2]))
                                m.Quad({x, y, z}, a, up != 0, true);
                        }
}

// A box of its own: six quads, twelve triangles or its cells' quads.
void AddBox(Mesh& m, const Box& b, int form)
{
    if (form < 2) {
        const double* o = m.origin;
        testmesh::AddBox(*m.s, {o[0] + b[0] * kCellSize, o[1] + b[1] * kCellSize, o[2] + b[2] * kCellSize},
                         {o[0] + b[3] * kCellSize, o[1] + b[4] * kCellSize, o[2] + b[5] * kCellSize}, form == 1);
        return;
    }
    Voxels w;
    w.Fill(b, 1);
    m.shared.clear();
    AddJoined(m, w);
    m.shared.clear();
}

// The cells of the plane x_a = t (cell units) in the section: inside a
// solid or on its boundary.
std::vector<char> Raster(const Voxels& w, int a, double t, int* nu, int* nv)
{
    const int u = (a + 1) % 3, v = (a + 2) % 3;
    *nu = kN[u];
    *nv = kN[v];
    std::vector<char> r(kN[u] * kN[v], 0);
    const int k = static_cast<int>(std::floor(t));
    const bool onFace = t == k;
    for (int j = 0; j < kN[v]; ++j)
        for (int i = 0; i < kN[u]; ++i) {
            std::array<int, 3> c{0, 0, 0};
            c[u] = i;
            c[v] = j;
            c[a] = k;
            bool in = w.At(c[0], c[1], c[2]);
            c[a] = k - 1;
            in = in || (onFace && w.At(c[0], c[1], c[2]));
            r[j * kN[u] + i] = in;
        }
    return r;
}

// (cells, holes) of each region of the raster, sorted; empty when two
// cells meet at a corner only (such cuts are left out).
bool Regions(const std::vector<char>& r, int nu, int nv, std::vector<std::pair<long, int>>* out)
{
    auto at = [&](int i, int j) { return i >= 0 && j >= 0 && i < nu && j < nv && r[j * nu + i]; };
    for (int j = -1; j < nv; ++j)
        for (int i = -1; i < nu; ++i)
            if ((at(i, j) && at(i + 1, j + 1) && !at(i + 1, j) && !at(i, j + 1)) ||
                (!at(i, j) && !at(i + 1, j + 1) && at(i + 1, j) && at(i, j + 1)))
                return false;
    // Padded grid: label regions, then count the enclosed parts of each
    // region's complement.
    const int pu = nu + 2, pv = nv + 2;
    std::vector<int> label(pu * pv, -1);
    auto flood = [&](int start, const std::function<bool(int)>& in, std::vector<int>& lab, int id) {
        std::vector<int> stack{start};
        lab[start] = id;
        while (!stack.empty()) {
            const int c = stack.back();
            stack.pop_back();
            const int ci = c % pu, cj = c / pu;
            const int nb[4][2] = {{ci + 1, cj}, {ci - 1, cj}, {ci, cj + 1}, {ci, cj - 1}};
            for (const auto& q : nb) {
                if (q[0] < 0 || q[1] < 0 || q[0] >= pu || q[1] >= pv)
                    continue;
                const int d = q[1] * pu + q[0];
                if (lab[d] < 0 && in(d)) {
                    lab[d] = id;
                    stack.push_back(d);
                }
            }
        }
    };
    auto filled = [&](int c) { return at(c % pu - 1, c / pu - 1); };
    int regions = 0;
    for (int c = 0; c < pu * pv; ++c)
        if (filled(c) && label[c] < 0)
            flood(c, filled, label, regions++);
    for (int g = 0; g < regions; ++g) {
        std::vector<int> outside(pu * pv, -1);
        auto free = [&](int c) { return label[c] != g; };
        int parts = 0;
        long cells = 0;
        for (int c = 0; c < pu * pv; ++c) {
            cells += label[c] == g;
            if (free(c) && outside[c] < 0)
                flood(c, free, outside, parts++);
        }
        out->push_back({cells, parts - 1});
    }
    std::sort(out->begin(), out->end());
    return true;
}

// (cells, holes) of each section facet, from its contours' signed area in
// the plane's axes, taken from the grid origin.
std::vector<std::pair<long, int>> FacetRegions(G3Surface* s, int a, const double* origin)
{
    const int u = (a + 1) % 3, v = (a + 2) % 3;
    std::vector<std::pair<long, int>> out;
    for (int k = 0; k < s->GetFacetCount(); ++k) {
        G3ContourWalker w(s->GetFacet(k));
        double area = 0.0;
        int contours = 0;
        while (w.Next()) {
            contours += w.Opens();
            const double* p = w.GetEntry()->GetXYZ();
            const double* q = w.GetExit()->GetXYZ();
            area += (p[u] - origin[u]) * (q[v] - origin[v]) - (q[u] - origin[u]) * (p[v] - origin[v]);
        }
        const double cells = std::fabs(0.5 * area) / (kCellSize * kCellSize);
        EXPECT_NEAR(cells, std::round(cells), GTolerance::kPlaneSide);
        out.push_back({std::lround(cells), contours - 1});
    }
    std::sort(out.begin(), out.end());
    return out;
}

// Cuts the scene, built in `form` (joined, touching, overlapping boxes) at
// `origin`, by every grid plane and one between each pair, and compares
// each section's faces with the raster's regions; returns the cuts made.
int CutEveryWay(const Voxels& w, int form, const double* origin, const std::string& name)
{
    int cuts = 0;
    Mesh m{new G3Surface(), {origin[0], origin[1], origin[2]}, {}};
    std::unique_ptr<G3Surface> owner(m.s);
    if (form == 0) {
        AddJoined(m, w);
    } else {
        std::vector<Box> boxes = Boxes(w);
        if (form == 2)
            Overlap(w, &boxes);
        for (const Box& b : boxes)
            AddBox(m, b, Rand(3));
    }
    m.s->FormPlaneEquation();
    for (int a = 0; a < 3; ++a)
        for (int k = 0; k <= 2 * kN[a]; ++k) {
            const double t = k % 2 ? k / 2 + 0.375 : k / 2;
            int nu = 0, nv = 0;
            const std::vector<char> r = Raster(w, a, t, &nu, &nv);
            std::vector<std::pair<long, int>> expected;
            if (!Regions(r, nu, nv, &expected))
                continue;
            double plane[4] = {0.0, 0.0, 0.0, -(m.origin[a] + t * kCellSize)};
            plane[a] = 1.0;
            G3BooleanCalculator calc;
            G3Surface* out = nullptr;
            const bool found = calc.Divide(m.s, 1, plane, &out);
            std::unique_ptr<G3Surface> section(out);
            ++cuts;
            SCOPED_TRACE(testing::Message() << name << " axis " << a << " at " << t);
            EXPECT_EQ(!expected.empty(), found);
            if (!found)
                continue;
            EXPECT_EQ("", MeshCheck(out));
            EXPECT_EQ(expected, FacetRegions(out, a, m.origin));
        }
    return cuts;
}

TEST(SectionRegions, OneFacePerRegionWithItsHolesInEveryForm)
{
    int cuts = 0;
    for (int scene = 0; scene < 15; ++scene) {
        GSRand(900 + scene);
        const Voxels w = Scene();
        const double far[3] = {1e6, 2e6, 1e6}, near[3] = {0.0, 0.0, 0.0};
        cuts += CutEveryWay(w, scene % 3, scene % 2 ? far : near, "scene " + std::to_string(scene));
    }
    EXPECT_GE(cuts, 500);
}

// Voids inside a block: alone, holding an island, touching a dent from
// outside at a corner, two side by side; each joined and as boxes.
TEST(SectionRegions, HiddenVoidsAreHoles)
{
    GSRand(901);
    for (int scene = 0; scene < 4; ++scene) {
        Voxels w;
        w.Fill({0, 0, 0, kN[0], kN[1], kN[2]}, 1);
        w.Fill({2, 2, 1, 5, 5, 4}, 0);
        if (scene == 1)
            w.Fill({3, 3, 2, 4, 4, 3}, 1);
        if (scene == 2)
            w.Fill({1, 1, 0, 2, 2, 1}, 0);
        if (scene == 3)
            w.Fill({6, 2, 1, 7, 7, 5}, 0);
        const double origin[3] = {0.0, 1e6 * (scene % 2), 0.0};
        for (int form = 0; form < 3; ++form)
            CutEveryWay(w, form, origin, "void " + std::to_string(scene) + " form " + std::to_string(form));
    }
}

TEST(SectionRegions, SmallPartsFarAwayAreFoundWhole)
{
    GSRand(77);
    for (int k = 0; k < 60; ++k) {
        const double size[3] = {0.001 + 0.029 * Rand(1000) / 1000.0, 0.001 + 0.029 * Rand(1000) / 1000.0,
                                0.001 + 0.029 * Rand(1000) / 1000.0};
        double lo[3], hi[3];
        for (int d = 0; d < 3; ++d) {
            lo[d] = (Rand(2) ? 1 : -1) * 3e6 * Rand(1001) / 1000.0 + Rand(1000) / 997.0;
            hi[d] = lo[d] + size[d];
        }
        G3Surface s;
        testmesh::AddBox(s, {lo[0], lo[1], lo[2]}, {hi[0], hi[1], hi[2]}, k % 2 == 1);
        s.FormPlaneEquation();
        const int a = k % 3;
        const int u = (a + 1) % 3, v = (a + 2) % 3;
        double plane[4] = {0.0, 0.0, 0.0, -(lo[a] + (hi[a] - lo[a]) * (1 + Rand(9)) / 10.0)};
        plane[a] = 1.0;
        G3BooleanCalculator calc;
        G3Surface* out = nullptr;
        ASSERT_TRUE(calc.Divide(&s, 1, plane, &out)) << k;
        std::unique_ptr<G3Surface> section(out);
        EXPECT_EQ("", MeshCheck(out));
        ASSERT_EQ(1, out->GetFacetCount());
        const double expected = (hi[u] - lo[u]) * (hi[v] - lo[v]);
        double area = 0.0;
        G3ContourWalker w(out->GetFacet(0));
        while (w.Next()) {
            const double* p = w.GetEntry()->GetXYZ();
            const double* q = w.GetExit()->GetXYZ();
            area += (p[u] - lo[u]) * (q[v] - lo[v]) - (q[u] - lo[u]) * (p[v] - lo[v]);
        }
        EXPECT_NEAR(expected, std::fabs(0.5 * area), 1e-9 * expected) << k;
    }
}

TEST(SectionRegions, PlanesOfAnyScaleAreNormalised)
{
    G3Surface s;
    testmesh::AddBox(s, {0, 0, 0}, {1, 1, 1}, true);
    s.FormPlaneEquation();
    // z = 0.5 written with tiny, huge and subnormal coefficients.
    const double planes[][4] = {{0, 0, 1e-13, -5e-14}, {0, 0, 1e200, -0.5e200}, {0, 0, 4e-320, -2e-320},
                                {0, 0, -1e300, 0.5e300}, {0, 0, 1, -0.5}};
    for (const auto& p : planes) {
        G3BooleanCalculator calc;
        G3Surface* out = nullptr;
        ASSERT_TRUE(calc.Divide(&s, 1, p, &out)) << p[2];
        std::unique_ptr<G3Surface> section(out);
        ASSERT_EQ(1, out->GetFacetCount());
        for (int k = 0; k < out->GetVertexCount(); ++k)
            EXPECT_EQ(0.5, out->GetVertex(k)->GetXYZ()[2]);
    }
    // A plane beyond what doubles can place takes no part.
    const double far[4] = {1e-300, 0, 0, 1e300};
    G3BooleanCalculator calc;
    G3Surface* out = nullptr;
    EXPECT_FALSE(calc.Divide(&s, 1, far, &out));
    EXPECT_EQ(nullptr, out);
}

} // namespace

// A floor plan of many separate rooms, each a ring of four touching wall
// boxes: past a few hundred section pieces the arrangement pairs its edges
// through a grid and finds the outer cycle of each hole through a tree.
// Every room must come back as one face with its one hole and its exact
// area (counter-clockwise outline, clockwise hole).
TEST(SectionRegions, FloorPlansOfManyRoomsKeepEachRingAndItsHole)
{
    GSRand(4303);
    for (int round = 0; round < 3; ++round) {
        G3Surface s;
        const int rooms = 10 + 4 * round;
        double expected = 0.0;
        for (int i = 0; i < rooms; ++i) {
            for (int j = 0; j < rooms; ++j) {
                const double x = 6.0 * i + Rand(100) / 100.0, y = 5.0 * j + Rand(100) / 100.0;
                const double w = 2.0 + Rand(200) / 100.0, d = 2.0 + Rand(200) / 100.0, t = 0.2 + Rand(10) / 100.0;
                testmesh::AddBox(s, {x, y, 0.0}, {x + w, y + t, 3.0});
                testmesh::AddBox(s, {x, y + d - t, 0.0}, {x + w, y + d, 3.0});
                testmesh::AddBox(s, {x, y + t, 0.0}, {x + t, y + d - t, 3.0});
                testmesh::AddBox(s, {x + w - t, y + t, 0.0}, {x + w, y + d - t, 3.0});
                expected += w * d - (w - 2.0 * t) * (d - 2.0 * t);
            }
        }
        s.FormPlaneEquation();
        const double plane[4] = {0.0, 0.0, 1.0, -1.5};
        G3BooleanCalculator calc;
        G3Surface* out = nullptr;
        ASSERT_TRUE(calc.Divide(&s, 1, plane, &out)) << round;
        std::unique_ptr<G3Surface> section(out);
        EXPECT_EQ("", MeshCheck(out));
        ASSERT_EQ(rooms * rooms, out->GetFacetCount()) << round;
        double area = 0.0;
        for (int f = 0; f < out->GetFacetCount(); ++f) {
            int contours = 0;
            for (G3ContourWalker w(out->GetFacet(f)); w.Next();) {
                contours += w.Opens() ? 1 : 0;
                const double* p = w.GetEntry()->GetXYZ();
                const double* q = w.GetExit()->GetXYZ();
                area += 0.5 * (p[0] * q[1] - q[0] * p[1]);
            }
            EXPECT_EQ(2, contours) << round << " face " << f;
        }
        EXPECT_NEAR(expected, area, 1e-9 * expected) << round;
    }
}
