// The enclosed volume of a surface, against voxel counts: random voxel
// sets whose boundary squares become facets, moved far from the origin,
// turned and mirrored by signed axis permutations (exact in floating
// point), with the facets flipped, with collinear extra corners, and a
// solid whose top and bottom are facets with holes.

#include "common/builders.h"
#include "mesh_check.h"

#include "Geometry/foundation/GRandom.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "Geometry/processing/G3EdgeList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <vector>

namespace {

using testmesh::P3;

// A signed permutation of the axes and a shift: out[k] = sign[k] * in[perm[k]] + shift[k];
// `turn` is +1 for a rotation, -1 for a mirror image.
struct Motion {
    int perm[3] = {0, 1, 2};
    double sign[3] = {1, 1, 1};
    double shift[3] = {0, 0, 0};
    double turn = 1;
    P3 Apply(const P3& p) const
    {
        return {sign[0] * p[static_cast<std::size_t>(perm[0])] + shift[0],
                sign[1] * p[static_cast<std::size_t>(perm[1])] + shift[1],
                sign[2] * p[static_cast<std::size_t>(perm[2])] + shift[2]};
    }
};

struct VoxelSet {
    int n = 0;
    std::vector<char> full;
    bool At(int i, int j, int k) const
    {
        return i >= 0 && j >= 0 && k >= 0 && i < n && j < n && k < n &&
               full[static_cast<std::size_t>((i * n + j) * n + k)];
    }
    int Count() const { return static_cast<int>(std::count(full.begin(), full.end(), 1)); }
};

// The boundary squares of the voxels as facets: vertices shared through
// the grid (so voxels meeting along an edge or at a corner share it, and
// the surface is non-manifold there), corners counter-clockwise seen from
// outside unless `flip`. With `midpoints`, each square gets a fifth corner
// in the middle of its first side (a T-junction for its neighbour).
std::unique_ptr<G3Surface> Boundary(const VoxelSet& v, const Motion& m, bool flip, bool midpoints)
{
    auto s = std::make_unique<G3Surface>();
    std::map<std::array<int, 3>, G3Vertex*> grid; // keyed by doubled coordinates
    auto vertex = [&](const P3& p) {
        G3Vertex*& slot = grid[{int(p[0] * 2), int(p[1] * 2), int(p[2] * 2)}];
        if (!slot) {
            const P3 q = m.Apply(p);
            slot = s->AddVertex(q[0], q[1], q[2], 0);
        }
        return slot;
    };
    for (int cell = 0; cell < v.n * v.n * v.n; ++cell) {
        const int c[3] = {cell / (v.n * v.n), cell / v.n % v.n, cell % v.n};
        for (int face = 0; face < 6 && v.At(c[0], c[1], c[2]); ++face) {
            const std::size_t a = static_cast<std::size_t>(face / 2), b = (a + 1) % 3, d = (a + 2) % 3;
            const int dir = face % 2 ? 1 : -1;
            int next[3] = {c[0], c[1], c[2]};
            next[a] += dir;
            if (v.At(next[0], next[1], next[2]))
                continue;
            P3 base = {double(c[0]), double(c[1]), double(c[2])};
            base[a] += dir > 0 ? 1 : 0;
            std::vector<P3> corners(4, base);
            corners[1][b] += 1;
            corners[2][b] += 1;
            corners[2][d] += 1;
            corners[3][d] += 1;
            if (midpoints) {
                P3 mid = base;
                mid[b] += 0.5;
                corners.insert(corners.begin() + 1, mid);
            }
            // e_b x e_d = e_a: the order above faces +a.
            if ((dir < 0) != flip)
                std::reverse(corners.begin(), corners.end());
            std::vector<G3Vertex*> vs;
            for (const P3& p : corners)
                vs.push_back(vertex(p));
            EXPECT_NE(nullptr, s->AddFacet(static_cast<int>(vs.size()), vs.data(), 1, nullptr, nullptr));
        }
    }
    return s;
}

double Unit() { return GRand() / double(G_RAND_MAX); }


TEST(SurfaceVolume, RandomVoxelSetsMatchTheirCountUnderMotionFlipAndCollinearCorners)
{
    for (unsigned seed : {1u, 7u, 42u, 2026u, 99991u}) {
        GSRand(seed);
        for (int round = 0; round < 12; ++round) {
            VoxelSet v;
            v.n = 1 + GRand() % 5;
            const double density = 0.2 + 0.7 * Unit();
            v.full.resize(static_cast<std::size_t>(v.n * v.n * v.n));
            for (char& f : v.full)
                f = Unit() < density ? 1 : 0;
            Motion m;
            // Each permutation with its parity.
            const int perms[6][4] = {{0, 1, 2, 1}, {1, 2, 0, 1}, {2, 0, 1, 1},
                                     {0, 2, 1, -1}, {2, 1, 0, -1}, {1, 0, 2, -1}};
            const int* p = perms[GRand() % 6];
            m.turn = p[3];
            for (int k = 0; k < 3; ++k) {
                m.perm[k] = p[k];
                m.sign[k] = GRand() % 2 ? 1.0 : -1.0;
                m.turn *= m.sign[k];
                // Far from the origin, on whole numbers so nothing rounds.
                m.shift[k] = double(GRand() % 2001 - 1000) * 1000.0;
            }
            const bool flip = GRand() % 2 == 1;
            const bool midpoints = GRand() % 3 == 0;
            std::unique_ptr<G3Surface> s = Boundary(v, m, flip, midpoints);
            ASSERT_EQ("", MeshCheck(s.get()));
            const double expected = v.Count() * m.turn * (flip ? -1.0 : 1.0);
            EXPECT_NEAR(expected, G3SurfaceVolume(s.get()), 1e-9)
                << "seed " << seed << " round " << round << " n " << v.n << " midpoints " << midpoints;
        }
    }
}

TEST(SurfaceVolume, FacetsWithHolesNullAndEmptyAndTheirArea)
{
    EXPECT_EQ(0.0, G3SurfaceVolume(nullptr));
    G3Surface empty;
    EXPECT_EQ(0.0, G3SurfaceVolume(&empty));

    // A 4 x 4 x 2 block with a 2 x 2 tunnel from top to bottom: top and
    // bottom are single facets with a hole, every facet has its own
    // vertices.
    G3Surface s;
    auto polygon = [&](std::vector<P3> outer, std::vector<P3> hole) {
        G3Facet* f = testmesh::SoupFacet(s, outer);
        ASSERT_NE(nullptr, f);
        std::vector<G3Vertex*> h;
        for (const P3& p : hole)
            h.push_back(s.AddVertex(p[0], p[1], p[2], 0));
        G3EdgeList list(static_cast<int>(h.size()), h.data(), nullptr, nullptr, nullptr, 0, 0);
        ASSERT_TRUE(hole.empty() || s.AddFacetEdges(f, &list));
    };
    polygon({{0, 0, 2}, {4, 0, 2}, {4, 4, 2}, {0, 4, 2}}, {{1, 1, 2}, {1, 3, 2}, {3, 3, 2}, {3, 1, 2}});
    polygon({{0, 0, 0}, {0, 4, 0}, {4, 4, 0}, {4, 0, 0}}, {{1, 1, 0}, {3, 1, 0}, {3, 3, 0}, {1, 3, 0}});
    polygon({{0, 0, 0}, {4, 0, 0}, {4, 0, 2}, {0, 0, 2}}, {});
    polygon({{4, 0, 0}, {4, 4, 0}, {4, 4, 2}, {4, 0, 2}}, {});
    polygon({{4, 4, 0}, {0, 4, 0}, {0, 4, 2}, {4, 4, 2}}, {});
    polygon({{0, 4, 0}, {0, 0, 0}, {0, 0, 2}, {0, 4, 2}}, {});
    polygon({{3, 1, 0}, {1, 1, 0}, {1, 1, 2}, {3, 1, 2}}, {});
    polygon({{3, 3, 0}, {3, 1, 0}, {3, 1, 2}, {3, 3, 2}}, {});
    polygon({{1, 3, 0}, {3, 3, 0}, {3, 3, 2}, {1, 3, 2}}, {});
    polygon({{1, 1, 0}, {1, 3, 0}, {1, 3, 2}, {1, 1, 2}}, {});
    ASSERT_EQ("", MeshCheck(&s));
    EXPECT_DOUBLE_EQ(4.0 * 4.0 * 2.0 - 2.0 * 2.0 * 2.0, G3SurfaceVolume(&s));
    // Top and bottom less their holes, four outer and four tunnel walls.
    EXPECT_DOUBLE_EQ(2 * 12.0 + 4 * 8.0 + 4 * 4.0, G3SurfaceArea(&s));
    EXPECT_EQ(0.0, G3SurfaceArea(nullptr));
}

// Closedness as a file reads it and as a solid needs it, and facets lying
// on one another, on a unit box changed one way at a time: each case's
// expected answers come from what the change does to the box's edges and
// faces.
TEST(ClosedChecks, BoxesOpenedTurnedDoubledAndTouching)
{
    using testmesh::AddBox;
    const struct {
        const char* name;
        int change;     // 0 none, 1 a face removed, 2 a face turned, 3 a face double-sided,
                        // 4 a second box sharing an edge, 5 the whole box turned
        bool watertight;
        const char* closed; // prefix of G3ClosedCheck's answer
        bool overlap;       // G3OverlapCheck finds facets on one another
    } cases[] = {{"box", 0, true, "", false},
                 {"open", 1, false, "edge: one facet side only", false},
                 {"turned face", 2, true, "edge: facet sides do not pair up", false},
                 {"double-sided face", 3, true, "edge: facet sides do not pair up", false},
                 {"touching along an edge", 4, true, "", false},
                 {"inside out", 5, true, "", false},
                 {"touching on half a face", 6, true, "", true},
                 {"a hair apart", 7, true, "", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        G3Surface s;
        std::vector<G3Facet*> box = AddBox(s, {0, 0, 0}, {1, 1, 1}, false, c.change == 5);
        if (c.change == 1)
            s.RemoveFacet(box[0]);
        if (c.change == 2)
            box[0]->NegPlane();
        if (c.change == 3)
            box[0]->SetDoubleSided();
        if (c.change == 4) {
            AddBox(s, {1, 1, 0}, {2, 2, 1});
            s.RemoveEqualsVertex();
        }
        if (c.change >= 6)
            AddBox(s, {c.change == 6 ? 1.0 : 1.0 + 1e-5, 0.5, 0.25}, {2, 1.5, 1.25});
        s.RemoveUnused();
        ASSERT_EQ("", MeshCheck(&s));
        EXPECT_EQ(c.watertight, G3SurfaceWatertight(&s));
        EXPECT_EQ(0u, G3ClosedCheck(&s).rfind(c.closed, 0)) << G3ClosedCheck(&s);
        EXPECT_EQ(*c.closed == 0, G3ClosedCheck(&s).empty());
        EXPECT_EQ(c.overlap, !G3OverlapCheck(&s).empty()) << G3OverlapCheck(&s);
    }
}

} // namespace
