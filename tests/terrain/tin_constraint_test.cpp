// Constraint insertion: edges forced into the triangulation, crossing
// constraints, existing edges and chains through vertices (the random
// lattice test), and ends that are not plain run vertices.

#include "tin_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using g3tri::G3TEDGE_INSERTED;

// A jittered grid: no three points collinear, many triangles between far
// corners.
std::vector<G3TVertex*> Field(G3TriInterface& tin, int n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> j(-0.3, 0.3);
    std::vector<G3TVertex*> v;
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < n; ++k)
            v.push_back(Add(tin, i + j(rng), k + j(rng)));
    return v;
}

// Triangulation edges whose interior crosses segment a-b.
int Crossed(const G3TriInterface& tin, const G3TVertex* a, const G3TVertex* b)
{
    const g3tri::G3TriEngine& e = *tin.GetEngine();
    const g3tri::Node A{a->x, a->y, 0}, B{b->x, b->y, 0};
    int count = 0;
    for (int t = 0; t < e.GetTriangleCount(); ++t)
        for (int k = 0; k < 3; ++k) {
            const g3tri::Node& p = e.GetNode(e.GetTri(t).v[(k + 1) % 3]);
            const g3tri::Node& q = e.GetNode(e.GetTri(t).v[(k + 2) % 3]);
            if (g3tri::Orient(A, B, p) * g3tri::Orient(A, B, q) < -1e-12 &&
                g3tri::Orient(p, q, A) * g3tri::Orient(p, q, B) < -1e-12)
                ++count;
        }
    return count / 2;
}

TEST(TinConstraint, EndsAreMappedToTheTriangulationVertexAtTheirPosition)
{
    G3TriInterface tin;
    std::vector<G3TVertex*> v = Field(tin, 8, 5);
    // Copies of two field points, added after them: merged by the run.
    tin.AddEdge(Add(tin, v[1]->x, v[1]->y), Add(tin, v[62]->x, v[62]->y));
    tin.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    EXPECT_TRUE(tin.GetEngine()->IsConstrained(v[1], v[62]));

    // Vertices made after the run are found by walking to their position.
    g3tri::G3TriEngine& e = *tin.GetEngine();
    // (v[3] and v[31] lie on the same side of the first constraint.)
    G3TVertex* late = e.NewVertex(v[31]->x + 1e-9, v[31]->y);
    EXPECT_TRUE(e.InsertConstraint(v[3], late, nullptr));
    EXPECT_TRUE(e.IsConstrained(v[3], v[31]));
    EXPECT_FALSE(e.InsertConstraint(v[3], e.NewVertex(3.5, 3.5), nullptr)); // no vertex there
    EXPECT_FALSE(e.InsertConstraint(e.NewVertex(100.0, 100.0), v[3], nullptr)); // outside
    EXPECT_TRUE(CheckTin(tin).Valid()) << CheckTin(tin).first;
}

TEST(TinConstraint, InvalidEndsAreSkipped)
{
    G3TriInterface tin, other, plain;
    std::vector<G3TVertex*> v = Field(tin, 5, 2);
    tin.AddEdge(v[0], nullptr);
    tin.AddEdge(Add(other, 1, 1), v[3]);
    tin.AddEdge(v[4], v[4]);
    Field(plain, 5, 2);
    plain.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    EXPECT_TRUE(tin.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT));
    EXPECT_EQ(TriangleSignature(tin), TriangleSignature(plain));
    for (int i = 0; i < tin.GetConstraintCount(); ++i)
        EXPECT_FALSE(tin.GetConstraint(i)->flags & G3TEDGE_INSERTED);

    // Without triangles there is nothing to insert into.
    G3TriInterface flat;
    flat.AddEdge(Add(flat, 0, 0), Add(flat, 1, 0));
    Add(flat, 2, 0);
    EXPECT_TRUE(flat.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT));
    EXPECT_EQ(flat.GetTriangleCount(), 0);
}

// Lattice points (collinear and cocircular everywhere, with repeats) and
// random constraints, many crossing or running through vertices: the result
// stays a valid constrained Delaunay triangulation, and every constraint
// reported inserted has no edge crossing it (a constraint crossing an
// earlier one must stop, not flip it away).
TEST(TinConstraint, RandomConstraintsOnALattice)
{
    std::mt19937 rng(77);
    int inserted = 0;
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        G3TriInterface tin;
        const int side = 3 + round % 9;
        std::vector<G3TVertex*> v;
        const int n = side * side + static_cast<int>(rng() % 20);
        for (int i = 0; i < n; ++i)
            v.push_back(Add(tin, static_cast<double>(rng() % side), static_cast<double>(rng() % side)));
        for (int i = 0; i < 12; ++i)
            tin.AddEdge(v[rng() % v.size()], v[rng() % v.size()]);
        tin.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
        TinReport r = CheckTin(tin);
        EXPECT_EQ(r.inverted + r.badLinks + r.sharedEdges + r.nonDelaunay, 0) << r.first;
        EXPECT_NEAR(r.area, r.hullArea, 1e-9);
        for (int i = 0; i < tin.GetConstraintCount(); ++i) {
            const g3tri::G3TEdge* c = tin.GetConstraint(i);
            if (c->flags & G3TEDGE_INSERTED) {
                ++inserted;
                EXPECT_EQ(Crossed(tin, c->from, c->to), 0) << "constraint " << i;
            }
        }
    }
    // Most go in; the rest met an earlier constraint or joined a point to
    // itself.
    EXPECT_GT(inserted, 40 * 12 / 3);
}

} // namespace
