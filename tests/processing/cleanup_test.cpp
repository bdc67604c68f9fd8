// The clean-up passes: equal, trivial and collinear facets, boundary
// stitching and hole closing, each checked by the mesh check.

#include "common/builders.h"
#include "mesh/mesh_check.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3PassCheck.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3Weld.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <random>
#include <vector>

using namespace testmesh;

TEST(RemoveEqualsFacets, DuplicatesReversedCopiesAndSides)
{
    G3Surface s;
    AddBoxCorners(s, {0, 0, 0}, {1, 1, 1});
    // Two single-sided copies (one rotated) become one double-sided facet.
    G3Facet* a = FacetByIds(s, {0, 1, 3});
    FacetByIds(s, {1, 3, 0});
    // A double-sided copy over a single-sided one leaves it single-sided;
    // the copy runs the other way round.
    G3Facet* b = FacetByIds(s, {4, 5, 7, 6});
    FacetByIds(s, {5, 4, 6, 7})->SetDoubleSided();
    // Two double-sided copies stay double-sided.
    G3Facet* c = FacetByIds(s, {0, 2, 6});
    c->SetDoubleSided();
    FacetByIds(s, {0, 2, 6})->SetDoubleSided();
    s.RemoveEqualsFacets();
    EXPECT_EQ("", MeshCheck(&s));
    ASSERT_EQ(3, s.GetFacetCount());
    EXPECT_TRUE(a->GetDoubleSided());
    EXPECT_FALSE(b->GetDoubleSided());
    EXPECT_TRUE(c->GetDoubleSided());
    EXPECT_EQ(4, b->GetEdgeCount());

    // K, A, B, C and K, A, B, D agree on three consecutive vertices from the
    // key but are different quads; so are a quad and its copy with two
    // vertices exchanged.
    G3Surface t;
    AddBoxCorners(t, {0, 0, 0}, {1, 1, 1});
    for (const std::vector<int>& f : {std::vector<int>{0, 1, 3, 2}, {0, 1, 3, 7}, {4, 5, 6, 7}, {4, 6, 5, 7}})
        FacetByIds(t, f);
    t.RemoveEqualsFacets();
    EXPECT_EQ(4, t.GetFacetCount());
    EXPECT_EQ("", MeshCheck(&t));
}

// Cells of a 3 x 3 x 2 grid, each a closed box of its own whose faces are
// triangle pairs (a face shared by two cells cut along the same diagonal in
// both), welded: every shared face is two groups of back-to-back copies
// whose triangles share the diagonal, and a triangle may be listed twice.
// Both copies of every shared triangle go, one of a listed-twice one, and
// the union stays closed, with the cells' volume.
// The id of the vertex at a grid point, added on first asking.
struct GridVertex {
    G3Surface& s;
    std::map<std::array<int, 3>, int> ids;
    int operator()(int x, int y, int z)
    {
        auto it = ids.find({x, y, z});
        if (it != ids.end())
            return it->second;
        s.AddVertex(x, y, z, 0);
        return ids[{x, y, z}] = s.GetVertexCount() - 1;
    }
};

TEST(RemoveEqualsFacets, TouchingCellsWithTriangleFacesLoseTheirSharedFacesWhole)
{
    for (unsigned seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        G3Surface s;
        GridVertex id{s, {}};
        int cells = 0;
        std::vector<std::vector<int>> tris;
        for (int c = 0; c < 18; ++c) {
            if (rng() % 2)
                continue;
            ++cells;
            const int x = c % 3, y = c / 3 % 3, z = c / 9;
            // The six faces, corners counter-clockwise seen from outside.
            const int f[6][4][3] = {{{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}}, {{0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}},
                                    {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}}, {{0, 1, 0}, {0, 1, 1}, {1, 1, 1}, {1, 1, 0}},
                                    {{0, 0, 0}, {0, 0, 1}, {0, 1, 1}, {0, 1, 0}}, {{1, 0, 0}, {1, 1, 0}, {1, 1, 1}, {1, 0, 1}}};
            for (const auto& face : f) {
                int v[4];
                for (int k = 0; k < 4; ++k)
                    v[k] = id(x + face[k][0], y + face[k][1], z + face[k][2]);
                // The diagonal from the face's lowest corner id, or not, as
                // the face's place decides: the same from both cells.
                const int lowest = static_cast<int>(std::min_element(v, v + 4) - v);
                const int k0 = ((x + face[0][0]) * 7 + (y + face[0][1]) * 3 + z + face[2][2] + static_cast<int>(seed)) % 2 ? lowest
                                                                                                                       : (lowest + 1) % 4;
                tris.push_back({v[k0], v[(k0 + 1) % 4], v[(k0 + 2) % 4]});
                tris.push_back({v[k0], v[(k0 + 2) % 4], v[(k0 + 3) % 4]});
            }
        }
        // Every other seed lists one triangle twice: beside a shared face
        // its copy is one more side of the edge, not two.
        if (seed % 2 && !tris.empty())
            tris.push_back(tris[rng() % tris.size()]);
        for (const std::vector<int>& t : tris)
            FacetByIds(s, t);
        s.FormPlaneEquation();
        s.RemoveEqualsFacets();
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ("", G3ClosedCheck(&s));
        EXPECT_NEAR(cells, G3SurfaceVolume(&s), 1e-9);
    }
}

// A column of two to four boxes, each sharing its bottom face with the box
// below, as a soup wound at random: faces are quads or triangle pairs (a
// shared face cut along one diagonal from both sides), and every other
// seed lists a side face once more, either way round. Both copies of each
// shared face go and one of the listed-again face, whatever the winding:
// once oriented, the column is closed, with the boxes' volume.
TEST(RemoveEqualsFacets, StackedBoxesWoundAtRandomLoseTheirSharedFaces)
{
    for (unsigned seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        G3Surface s;
        const int boxes = 2 + static_cast<int>(rng() % 3);
        double z = 0.0;
        for (int level = 0; level <= boxes; ++level) {
            if (level > 0)
                z += 1.0 + 0.5 * (rng() % 3);
            for (int c = 0; c < 4; ++c)
                s.AddVertex(c == 1 || c == 2 ? 1.0 : 0.0, c >= 2 ? 1.0 : 0.0, z, 0);
        }
        std::vector<int> cut(static_cast<std::size_t>(boxes) + 1);
        for (int& c : cut)
            c = static_cast<int>(rng() % 3); // 0: a quad, 1 or 2: which diagonal
        std::vector<std::vector<int>> faces;
        std::vector<std::size_t> sides;
        auto face = [&](std::vector<int> q, int how) {
            if (how == 0) {
                faces.push_back(q);
                return;
            }
            std::rotate(q.begin(), q.begin() + how - 1, q.end());
            faces.push_back({q[0], q[1], q[2]});
            faces.push_back({q[0], q[2], q[3]});
        };
        for (int b = 0; b < boxes; ++b) {
            const int lo = 4 * b, hi = 4 * b + 4;
            face({lo, lo + 3, lo + 2, lo + 1}, cut[static_cast<std::size_t>(b)]);
            face({hi, hi + 1, hi + 2, hi + 3}, cut[static_cast<std::size_t>(b) + 1]);
            for (int k = 0; k < 4; ++k) {
                sides.push_back(faces.size());
                face({lo + k, lo + (k + 1) % 4, hi + (k + 1) % 4, hi + k}, static_cast<int>(rng() % 3));
            }
        }
        if (seed % 2)
            faces.push_back(faces[sides[rng() % sides.size()]]);
        for (std::vector<int>& f : faces) {
            if (rng() % 2)
                std::reverse(f.begin(), f.end());
            FacetByIds(s, f);
        }
        s.FormPlaneEquation();
        s.RemoveEqualsFacets();
        s.RemoveNonManifoldEdges();
        EXPECT_EQ("", MeshCheck(&s));
        s.OrientNormals2(true);
        EXPECT_EQ("", G3ClosedCheck(&s));
        EXPECT_NEAR(z, G3SurfaceVolume(&s), 1e-9);
    }
}

// Soups whose copies link more groups than one dense elimination takes:
// a block of cells' outer faces listed twice, and the block's cells with
// every shared face listed from both sides, each triangle wound at random.
// The twice-listed block keeps one copy of every triangle and, oriented,
// is closed with the block's volume; both leave every edge an even number
// of facet sides.
TEST(RemoveEqualsFacets, LargeSoupsWoundAtRandomSettleClosed)
{
    for (unsigned seed = 1; seed <= 4; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        const int nx = 16 + static_cast<int>(rng() % 6), ny = 16 + static_cast<int>(rng() % 6), nz = 3;
        const bool cells = seed % 2 == 0;
        G3Surface s;
        GridVertex id{s, {}};
        // A unit face from corner c along axes a and b (counter-clockwise
        // seen from outside when `out`), as two triangles along the
        // diagonal from its lowest id, the same from either side.
        std::vector<std::vector<int>> tris;
        auto face = [&](std::array<int, 3> c, int a, int b, bool out, int copies) {
            std::array<int, 3> p[4] = {c, c, c, c};
            ++p[1][a], ++p[2][a], ++p[2][b], ++p[3][b];
            int v[4];
            for (int k = 0; k < 4; ++k)
                v[k] = id(p[out ? k : (4 - k) % 4][0], p[out ? k : (4 - k) % 4][1], p[out ? k : (4 - k) % 4][2]);
            const int k0 = static_cast<int>(std::min_element(v, v + 4) - v) % 2;
            for (int copy = 0; copy < copies; ++copy) {
                tris.push_back({v[k0], v[k0 + 1], v[k0 + 2]});
                tris.push_back({v[k0], v[k0 + 2], v[(k0 + 3) % 4]});
            }
        };
        const int n[3] = {nx, ny, nz};
        for (int a = 0; a < 3; ++a) {
            const int b = (a + 1) % 3, c = (a + 2) % 3;
            // Planes across axis c: the block's two sides, and with cells
            // every plane between them, whose faces are shared.
            for (int at = 0; at <= n[c]; ++at) {
                const bool side = at == 0 || at == n[c];
                if (!side && !cells)
                    continue;
                for (int i = 0; i < n[a]; ++i)
                    for (int j = 0; j < n[b]; ++j) {
                        std::array<int, 3> corner{};
                        corner[a] = i, corner[b] = j, corner[c] = at;
                        if (cells) {
                            if (at > 0)
                                face(corner, a, b, true, 1); // the cell below's face
                            if (at < n[c])
                                face(corner, a, b, false, 1);
                        } else {
                            face(corner, a, b, at > 0, 2);
                        }
                    }
            }
        }
        std::shuffle(tris.begin(), tris.end(), rng);
        for (std::vector<int>& t : tris) {
            if (rng() % 2)
                std::swap(t[1], t[2]);
            FacetByIds(s, t);
        }
        s.FormPlaneEquation();
        s.RemoveEqualsFacets();
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_TRUE(s.GetClosed());
        // Either way only the block's outside stays: no inner wall of the cells.
        EXPECT_EQ(4 * (nx * ny + ny * nz + nz * nx), s.GetFacetCount());
        s.OrientNormals2(true);
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ("", G3ClosedCheck(&s));
        EXPECT_NEAR(nx * ny * nz, G3SurfaceVolume(&s), 1e-6);
    }
}

// Blocks of a x b x c box cells, two to four wide and one to four deep, each cell's faces listed
// on their own (quads, or triangle pairs cut alike from both sides), in a
// random order, wound at random or outwards: every inner wall goes whole,
// also where the walls about an inner cell close up among themselves, and
// the block comes out as its outside with the cells' volume.
TEST(RemoveEqualsFacets, BlocksOfCellsLoseEveryInnerWall)
{
    for (unsigned seed = 1; seed <= 48; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        const int n[3] = {2 + static_cast<int>(rng() % 3), 2 + static_cast<int>(rng() % 3), 1 + static_cast<int>(seed % 4)};
        const bool triangles = rng() % 2, atRandom = seed % 3 != 0;
        G3Surface s;
        GridVertex id{s, {}};
        std::vector<std::vector<int>> faces;
        for (int cell = 0; cell < n[0] * n[1] * n[2]; ++cell)
            for (int a = 0; a < 3; ++a)
                for (int side = 0; side < 2; ++side) {
                    std::array<int, 3> p[4];
                    for (std::array<int, 3>& c : p)
                        c = {cell % n[0] + (a == 0 ? side : 0), cell / n[0] % n[1] + (a == 1 ? side : 0),
                             cell / n[0] / n[1] + (a == 2 ? side : 0)};
                    ++p[1][(a + 1) % 3], ++p[2][(a + 1) % 3], ++p[2][(a + 2) % 3], ++p[3][(a + 2) % 3];
                    int v[4];
                    for (int k = 0; k < 4; ++k)
                        v[side ? k : 3 - k] = id(p[k][0], p[k][1], p[k][2]); // outwards
                    const int k0 = static_cast<int>(std::min_element(v, v + 4) - v) % 2;
                    if (!triangles)
                        faces.push_back({v[0], v[1], v[2], v[3]});
                    else
                        faces.insert(faces.end(), {{v[k0], v[k0 + 1], v[k0 + 2]}, {v[k0], v[k0 + 2], v[(k0 + 3) % 4]}});
                }
        std::shuffle(faces.begin(), faces.end(), rng);
        for (std::vector<int>& f : faces) {
            if (atRandom && rng() % 2)
                std::reverse(f.begin(), f.end());
            FacetByIds(s, f);
        }
        s.RemoveEqualsFacets();
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ((triangles ? 4 : 2) * (n[0] * n[1] + n[1] * n[2] + n[2] * n[0]), s.GetFacetCount());
        s.FormPlaneEquation();
        s.OrientNormals2(true);
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ("", G3ClosedCheck(&s));
        EXPECT_NEAR(n[0] * n[1] * n[2], G3SurfaceVolume(&s), 1e-9);
    }
}

TEST(RemoveTrivialFacets, ZeroPlanesAndCollinearCornersOnEveryLine)
{
    // The same sliver on a line through the origin and on lines away from it;
    // a collinear quad that runs back along itself too; a facet given the
    // zero plane.
    const std::vector<std::vector<P3>> slivers = {
        {{0, 10, 10}, {0, 10, 5}, {0, 10, 8.75}},
        {{0, 0, 10}, {0, 0, 5}, {0, 0, 8.75}},
        {{3, -7, 1}, {5, -4, 2}, {9, 2, 4}},
        {{1e4, 2e4, 5}, {1e4 + 2, 2e4 + 1, 5}, {1e4 + 1, 2e4 + 0.5, 5}, {1e4 + 4, 2e4 + 2, 5}},
        {{4, 5, 7}, {5, 5, 7}, {4, 6, 7}},
    };
    for (const auto& pts : slivers) {
        G3Surface s;
        G3Facet* f = SoupFacet(s, pts);
        ASSERT_NE(f, nullptr);
        SoupFacet(s, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
        if (&pts == &slivers.back()) {
            EXPECT_FALSE(s.RemoveTrivialFacets());
            const double zero[4] = {0, 0, 0, 0};
            f->SetPlane(zero);
        } else {
            // The fallback plane (a plane through the line, where the line
            // does not pass through the origin) still serves projection.
            if (pts[0][0] != 0 || pts[0][1] != 0) {
                EXPECT_FALSE(f->IsPlaneZero());
            }
            int i = -1, j = -1;
            f->GetMaxCoo(&i, &j);
            EXPECT_TRUE(i >= 0 && i < 3 && j >= 0 && j < 3 && i != j);
        }
        EXPECT_TRUE(s.RemoveTrivialFacets());
        EXPECT_EQ(s.GetFacetCount(), 1);
        EXPECT_EQ(s.GetVertexCount(), 3); // RemoveUnused ran
        EXPECT_EQ("", MeshCheck(&s));
    }

    // Area, however small or self-cancelling, is not trivial: a thin
    // triangle, a corner bent by far less than the point tolerance, a bow tie.
    G3Surface keep;
    SoupFacet(keep, {{0, 10, 10}, {0, 10, 5}, {0, 10 + 1e-9, 8.75}});
    SoupFacet(keep, {{5, 5, 5}, {6, 5, 5}, {7, 5 + 1e-5, 5}, {8, 5, 5}, {5, 6, 5}});
    SoupFacet(keep, {{0, 0, 1}, {1, 1, 1}, {1, 0, 1}, {0, 1, 1}});
    EXPECT_FALSE(keep.RemoveTrivialFacets());
    EXPECT_EQ(keep.GetFacetCount(), 3);
}

TEST(RemoveTrivialFacets, ClosedSoupWithASliverOnAnEdgeRepairsClosed)
{
    // The twelve triangles of a cube, each with corners of its own as a file
    // reader leaves a soup, plus a zero-area triangle whose corners lie on
    // one cube edge (its middle corner splits that edge): once the sliver
    // goes, the split edge is shared by two faces again.
    for (double x0 : {0.0, 3.0}) {
        G3Surface box, s;
        for (G3Facet* f : AddBox(box, {x0, x0, x0}, {x0 + 1, x0 + 1, x0 + 1}, true)) {
            std::vector<P3> corners;
            for (G3Vertex* v : Corners(f))
                corners.push_back({v->GetX(), v->GetY(), v->GetZ()});
            SoupFacet(s, corners);
        }
        SoupFacet(s, {{x0 + 1, x0 + 1, x0}, {x0 + 1, x0 + 1, x0 + 1}, {x0 + 1, x0 + 1, x0 + 0.5}});
        s.RemoveEqualsVertexAndDivideEdges();
        EXPECT_EQ("", MeshCheck(&s));
        s.FormPlaneEquation();
        EXPECT_TRUE(s.RemoveTrivialFacets()) << x0;
        EXPECT_EQ("", MeshCheck(&s));
        s.RemoveNonManifoldEdges();
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ(s.GetFacetCount(), 12);
        EXPECT_TRUE(s.GetClosed()) << x0;
    }
}

// A box as a soup whose one face has an extra corner m on its side a-b,
// pushed off that side by less than the weld tolerance (away from the
// origin the pushed corner is the usual rounding), and cut into a fan from
// a: the first triangle (a, m, b) is a sliver without width at that
// tolerance. The repair's passes must leave the box closed, with its
// volume; a corner pushed off by twice the tolerance makes a sliver with
// width, which stays.
TEST(RemoveTrivialFacets, SliverFromACornerOnASideGoesAtTheWeldWidth)
{
    const int quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (unsigned seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> u(0.0, 1.0);
        const double far = seed % 2 ? 5e6 : 0.0;
        const P3 lo = {far, 1.1 * far, 1.2 * far};
        const P3 size = {1 + u(rng), 1 + u(rng), 1 + u(rng)};
        P3 corner[8];
        for (int k = 0; k < 8; ++k)
            for (int i = 0; i < 3; ++i)
                corner[k][i] = lo[i] + ((k >> i) & 1 ? size[i] : 0.0);
        const int face = static_cast<int>(rng() % 6), side = static_cast<int>(rng() % 4);
        const bool wide = seed % 5 == 0;
        const double push = (wide ? 2.0 : 0.45) * GTolerance::kWeld;
        G3Surface s;
        for (int f = 0; f < 6; ++f) {
            std::vector<P3> q;
            for (int k = 0; k < 4; ++k)
                q.push_back(corner[quads[f][(k + (f == face ? side : 0)) % 4]]);
            if (f != face) {
                SoupFacet(s, q);
                continue;
            }
            const double t = 0.25 + 0.5 * u(rng);
            P3 m;
            for (int i = 0; i < 3; ++i)
                m[i] = q[0][i] + t * (q[1][i] - q[0][i]) + (wide ? 0.0 : (u(rng) - 0.5) * push);
            if (wide) // straight off the side, which runs along one axis
                m[q[0][0] != q[1][0] ? 1 : 0] += push;
            SoupFacet(s, {q[0], m, q[1]});
            SoupFacet(s, {q[0], q[1], q[2]});
            SoupFacet(s, {q[0], q[2], q[3]});
        }
        const int splits = G3WeldAndDivide(&s);
        s.FormPlaneEquation();
        const int before = s.GetFacetCount();
        s.RemoveTrivialFacets(GTolerance::kWeld);
        EXPECT_EQ("", MeshCheck(&s));
        if (wide) {
            EXPECT_EQ(before, s.GetFacetCount());
            continue;
        }
        if (splits > 0 || s.GetFacetCount() < before)
            while (G3WeldAndDivide(&s) > 0) {
            }
        s.RemoveEqualsFacets();
        s.RemoveNonManifoldEdges();
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ("", G3ClosedCheck(&s));
        EXPECT_NEAR(size[0] * size[1] * size[2], G3SurfaceVolume(&s), 1e-6);
    }
}

TEST(RemoveNonManifoldEdges, TwoBoundaryEdgesBecomeOneSharedEdge)
{
    // Two triangles over the pair (0, 2) through separate edges, as a
    // welded soup leaves them.
    G3Surface soup;
    G3Facet* f = SoupFacet(soup, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}});
    G3Facet* g = SoupFacet(soup, {{0, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    soup.RemoveEqualsVertex();
    soup.RemoveNonManifoldEdges();
    EXPECT_EQ("", MeshCheck(&soup));
    EXPECT_EQ(5, soup.GetEdgeCount());
    GArrayCollection pair;
    EXPECT_EQ(2, G3Surface::GetCountEdges(soup.GetVertex(0), soup.GetVertex(2), &pair));
    ASSERT_EQ(1, pair.size());
    EXPECT_TRUE(static_cast<const G3Edge*>(pair.get(0))->FacetEqu(f, g));
}

namespace {

using Cells = std::array<std::array<std::array<bool, 3>, 3>, 3>;

Cells RandomCells(std::mt19937& rng)
{
    Cells cell;
    for (auto& plane : cell)
        for (auto& row : plane)
            for (bool& c : row)
                c = rng() % 3 == 0;
    return cell;
}

bool In(const Cells& cell, int x, int y, int z)
{
    return x >= 0 && y >= 0 && z >= 0 && x < 3 && y < 3 && z < 3 && cell[x][y][z];
}

// The exposed unit squares of the cells, counter-clockwise seen from outside.
std::vector<std::vector<P3>> CellFaces(const Cells& cell)
{
    std::vector<std::vector<P3>> faces;
    for (int x = 0; x < 3; ++x)
        for (int y = 0; y < 3; ++y)
            for (int z = 0; z < 3; ++z)
                for (int axis = 0; axis < 3 && In(cell, x, y, z); ++axis)
                    for (int side = 0; side < 2; ++side) {
                        int n[3] = {x, y, z};
                        n[axis] += side ? 1 : -1;
                        if (In(cell, n[0], n[1], n[2]))
                            continue;
                        const int u = (axis + 1) % 3, v = (axis + 2) % 3;
                        const int du[4] = {0, 1, 1, 0}, dv[4] = {0, 0, 1, 1};
                        std::vector<P3> corners;
                        for (int k = 0; k < 4; ++k) {
                            const int j = side ? k : 3 - k;
                            double p[3] = {double(x), double(y), double(z)};
                            p[axis] += side;
                            p[u] += du[j];
                            p[v] += dv[j];
                            corners.push_back({p[0], p[1], p[2]});
                        }
                        faces.push_back(corners);
                    }
    return faces;
}

} // namespace

// Cells of a 3 x 3 x 3 grid, often meeting along an edge alone (four
// facets on one pair of vertices), their exposed faces as a soup turned
// outwards: the stitched edges join facets running them opposite ways.
// (The first free partner was taken, at times one running the same way.)
TEST(RemoveNonManifoldEdges, SolidsTouchingAlongEdgesKeepTheirFacetsTurnedAlike)
{
    std::mt19937 rng(5);
    int touching = 0;
    for (int round = 0; round < 200; ++round) {
        std::vector<std::vector<P3>> faces = CellFaces(RandomCells(rng));
        std::shuffle(faces.begin(), faces.end(), rng);  // the stitching goes by edge order
        G3Surface soup;
        for (const auto& corners : faces)
            SoupFacet(soup, corners);
        soup.RemoveEqualsVertex();
        soup.FormPlaneEquation();
        soup.RemoveNonManifoldEdges();
        ASSERT_EQ("", MeshCheck(&soup)) << round;
        GArrayCollection parallel;
        for (int i = 0; i < soup.GetEdgeCount(); ++i) {
            G3Edge* e = soup.GetEdge(i);
            ASSERT_TRUE(e->GetFacet1() && e->GetFacet2()) << round;
            EXPECT_NE(e->GetFacet1()->GetMoveDirection(e), e->GetFacet2()->GetMoveDirection(e)) << round;
            e->GetVertex1()->GetEdges(e->GetVertex2(), &parallel);
            touching += parallel.size() > 1;
        }
    }
    EXPECT_GT(touching, 100);
}

// Edges along one pair are found through buckets of the lower end's place
// in the vertex list; with ids that do not match the list, through one
// sort of every edge. Both must pair the same facets on the same edges:
// random cells wound at random, joined once each way.
TEST(RemoveNonManifoldEdges, BucketsByVertexPlacePairAsTheSortOfAllEdges)
{
    std::mt19937 rng(23);
    int moved = 0;
    for (int round = 0; round < 150; ++round) {
        std::vector<std::vector<P3>> faces = CellFaces(RandomCells(rng));
        std::shuffle(faces.begin(), faces.end(), rng);
        G3Surface a;
        for (std::vector<P3>& corners : faces) {
            if (rng() % 2)
                std::reverse(corners.begin(), corners.end());
            SoupFacet(a, corners);
        }
        a.RemoveEqualsVertex();
        a.FormPlaneEquation();
        std::unique_ptr<G3Surface> b(a.Duplicate());
        const int edgesBefore = a.GetEdgeCount();
        a.RemoveNonManifoldEdges();
        {
            // Ids off their places are no mesh a pass may leave: the checked
            // build's pass check waits for the ids given back.
            G3_HOLD_PASS_CHECKS(b.get());
            const int n = b->GetVertexCount();
            for (int i = 0; i < n; ++i)
                b->GetVertex(i)->SetId(i + n);
            b->RemoveNonManifoldEdges();
            b->AssignVertexIds();
        }
        // Each edge by its ends' and facets' places in the lists.
        const auto layout = [](G3Surface& s) {
            std::map<const void*, int> at;
            for (int i = 0; i < s.GetVertexCount(); ++i)
                at[s.GetVertex(i)] = i;
            for (int i = 0; i < s.GetFacetCount(); ++i)
                at[s.GetFacet(i)] = i;
            at[nullptr] = -1;
            std::vector<std::array<int, 4>> out;
            for (int i = 0; i < s.GetEdgeCount(); ++i) {
                const G3Edge* e = s.GetEdge(i);
                out.push_back({at.at(e->GetVertex1()), at.at(e->GetVertex2()), at.at(e->GetFacet1()),
                               at.at(e->GetFacet2())});
            }
            return out;
        };
        ASSERT_EQ(layout(*b), layout(a)) << round;
        ASSERT_EQ("", MeshCheck(&a)) << round;
        ASSERT_EQ("", MeshCheck(b.get())) << round;
        moved += a.GetEdgeCount() != edgesBefore;
    }
    EXPECT_GT(moved, 50);
}

// The same cells turned at random, at the origin and at 5e6, their faces
// wound outwards or at random: the solids that share no face (touching
// along edges, at corners, or as checkerboards) come apart in Explode, each
// closed with its own volume. (The four facets along an edge were paired
// by the order of the edges, at times one solid's facet with another's.)
TEST(RemoveNonManifoldEdges, SolidsTouchingAlongEdgesComeApart)
{
    std::mt19937 rng(11);
    for (int round = 0; round < 120; ++round) {
        const Cells cell = RandomCells(rng);
        // The solids' volumes: cells joined through faces, counted by flood.
        std::multiset<int> expected;
        Cells seen{};
        for (int c = 0; c < 27; ++c) {
            std::vector<std::array<int, 3>> todo{{c / 9, c / 3 % 3, c % 3}};
            if (!In(cell, c / 9, c / 3 % 3, c % 3) || seen[c / 9][c / 3 % 3][c % 3])
                continue;
            seen[c / 9][c / 3 % 3][c % 3] = true;
            for (std::size_t k = 0; k < todo.size(); ++k)
                for (int d = 0; d < 6; ++d) {
                    std::array<int, 3> n = todo[k];
                    n[d / 2] += d % 2 ? 1 : -1;
                    if (In(cell, n[0], n[1], n[2]) && !seen[n[0]][n[1]][n[2]]) {
                        seen[n[0]][n[1]][n[2]] = true;
                        todo.push_back(n);
                    }
                }
            expected.insert(static_cast<int>(todo.size()));
        }
        // A random turn (unit quaternion) and offset.
        std::normal_distribution<double> normal;
        double q[4] = {normal(rng), normal(rng), normal(rng), normal(rng)};
        const double len = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
        for (double& c : q)
            c /= len;
        const double w = q[0], x = q[1], y = q[2], z = q[3];
        const double m[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
                                {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
                                {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}};
        const double offset = round % 2 ? 5e6 : 0.0;
        const bool randomWinding = round % 4 >= 2;
        std::vector<std::vector<P3>> faces = CellFaces(cell);
        std::shuffle(faces.begin(), faces.end(), rng);
        G3Surface soup;
        for (std::vector<P3>& corners : faces) {
            for (P3& p : corners)
                p = {offset + m[0][0] * p[0] + m[0][1] * p[1] + m[0][2] * p[2],
                     offset + m[1][0] * p[0] + m[1][1] * p[1] + m[1][2] * p[2],
                     offset + m[2][0] * p[0] + m[2][1] * p[1] + m[2][2] * p[2]};
            if (randomWinding && rng() % 2)
                std::reverse(corners.begin(), corners.end());
            SoupFacet(soup, corners);
        }
        soup.RemoveEqualsVertex();
        soup.FormPlaneEquation();
        soup.RemoveNonManifoldEdges();
        ASSERT_EQ("", MeshCheck(&soup)) << round;
        GArrayCollection pieces;
        soup.Explode(&pieces);
        std::multiset<int> volumes;
        for (int k = 0; k < pieces.size(); ++k) {
            G3Surface* p = static_cast<G3Surface*>(pieces.get(k));
            p->OrientNormals2(true);
            EXPECT_EQ("", MeshCheck(p)) << round;
            EXPECT_TRUE(p->GetClosed()) << round;
            volumes.insert(static_cast<int>(std::lround(G3SurfaceVolume(p))));
            delete p;
        }
        EXPECT_EQ(expected, volumes) << round;
    }
}

TEST(EncloseHoles, ClosesGapsWithTrianglesAcrossThem)
{
    // A tetrahedron without its base: one triangle. A cube without its top
    // face: the first triangle leaves a diagonal boundary edge that the
    // second one closes. The new triangles span the gap (z = 0 and z = 1).
    const struct {
        std::vector<std::vector<int>> faces;
        int edges;
        int facets;
        double z;
    } cases[] = {
        {{{0, 1, 4}, {1, 2, 4}, {2, 0, 4}}, 6, 4, 0.0},
        {{{0, 2, 3, 1}, {0, 1, 5, 4}, {1, 3, 7, 5}, {3, 2, 6, 7}, {2, 0, 4, 6}}, 13, 7, 1.0},
    };
    for (const auto& c : cases) {
        G3Surface s;
        AddBoxCorners(s, {0, 0, 0}, {1, 1, 1});
        for (const std::vector<int>& f : c.faces)
            FacetByIds(s, f);
        s.RemoveUnused();
        const int before = s.GetFacetCount();
        EXPECT_FALSE(s.GetClosed());
        EXPECT_TRUE(s.EncloseHoles());
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ(c.edges, s.GetEdgeCount());
        EXPECT_TRUE(s.GetClosed());
        ASSERT_EQ(c.facets, s.GetFacetCount());
        for (int i = before; i < c.facets; ++i) {
            EXPECT_EQ(3, s.GetFacet(i)->GetEdgeCount());
            for (G3Vertex* v : Corners(s.GetFacet(i)))
                EXPECT_EQ(c.z, v->GetZ());
        }
        EXPECT_FALSE(s.EncloseHoles());
    }
}
