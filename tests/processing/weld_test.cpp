#include "common/builders.h"
#include "mesh/mesh_check.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3PointHash.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

namespace {

using namespace testmesh;
using P = P3;

bool HasVertexAt(G3Facet* f, const P& p)
{
    GArrayCollection vs;
    f->GetVertices(&vs);
    for (int i = 0; i < vs.size(); ++i)
        if (static_cast<G3Vertex*>(vs.get(i))->Equals(p.data(), 1e-12))
            return true;
    return false;
}

// The same vertices (by x) and the same edges (by end ids), in order.
void ExpectSameMesh(G3Surface& a, G3Surface& b)
{
    ASSERT_EQ(a.GetVertexCount(), b.GetVertexCount());
    ASSERT_EQ(a.GetEdgeCount(), b.GetEdgeCount());
    for (int i = 0; i < a.GetVertexCount(); ++i)
        ASSERT_EQ(a.GetVertex(i)->GetX(), b.GetVertex(i)->GetX()) << "vertex " << i;
    for (int i = 0; i < a.GetEdgeCount(); ++i) {
        EXPECT_EQ(a.GetEdge(i)->GetVertex1()->GetId(), b.GetEdge(i)->GetVertex1()->GetId());
        EXPECT_EQ(a.GetEdge(i)->GetVertex2()->GetId(), b.GetEdge(i)->GetVertex2()->GetId());
    }
}

} // namespace

TEST(Weld, StrictToleranceAndRepresentatives)
{
    // Two soup triangles sharing an edge: one copy 0.5e-6 away (welds), one
    // exactly 1e-6 away (stays apart).
    G3Surface s;
    SoupFacet(s, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    SoupFacet(s, {{1, 0.5e-6, 0}, {1, 1, 0}, {0, 1, 0}});
    SoupFacet(s, {{0, 0, 1e-6}, {-1, 0, 0}, {0, -1, 0}});

    GEnvelope env;
    s.FormEnvelope(&env);
    G3PointHash hash(24, env.min, env.max, 1e-6);
    s.RemoveEqualsVertex(&hash);
    // Duplicates (3 and 5) name earlier representatives and have empty rings.
    EXPECT_EQ(s.GetVertex(1), s.GetVertex(3)->GetExData());
    EXPECT_EQ(s.GetVertex(2), s.GetVertex(5)->GetExData());
    EXPECT_FALSE(s.GetVertex(3)->HasEdges());
    EXPECT_EQ(nullptr, s.GetVertex(1)->GetExData());
    EXPECT_EQ(nullptr, s.GetVertex(6)->GetExData());
    EXPECT_EQ("", MeshCheck(&s));
    s.RemoveUnused();
    EXPECT_EQ(7, s.GetVertexCount());
    EXPECT_EQ(9, s.GetEdgeCount()); // the shared pair keeps two boundary edges
    EXPECT_EQ("", MeshCheck(&s));
}

TEST(Weld, CollapsingEdgesAndLooseEdges)
{
    G3Surface s;
    // A quad with two corners 0.5e-6 apart becomes a triangle; a triangle
    // with two such corners goes; a loose edge (no facet) goes.
    G3Facet* quad = SoupFacet(s, {{0, 0, 0}, {2, 0, 0}, {2, 0.5e-6, 0}, {0, 2, 0}});
    SoupFacet(s, {{5, 0, 0}, {6, 0, 0}, {6, 0, 0.5e-6}});
    G3Vertex* a = s.AddVertex(9, 9, 9, 0);
    G3Vertex* b = s.AddVertex(9, 9, 10, 0);
    s.AddEdge(a, b, nullptr);
    ASSERT_EQ(2, s.GetFacetCount());
    EXPECT_EQ("", MeshCheck(&s));

    s.RemoveEqualsVertex();
    ASSERT_EQ(1, s.GetFacetCount());
    EXPECT_EQ(quad, s.GetFacet(0));
    EXPECT_EQ(3, quad->GetEdgeCount());
    EXPECT_EQ(3, s.GetEdgeCount());
    EXPECT_EQ(3, s.GetVertexCount());
    EXPECT_EQ("", MeshCheck(&s));
}

TEST(Weld, TJunctionsAreSplitInOrderAlongLongEdges)
{
    // One long diagonal edge and vertices of other facets on it (or within
    // 1e-6 of it), among many filler facets so that the hash has many
    // cells. A vertex within 1e-6 of an end along the dominant axis, or
    // farther than 1e-6 from the line, is not inserted.
    G3Surface s;
    G3Facet* big = SoupFacet(s, {{0, 0, 0}, {100, 100, 100}, {0, 0, 50}});
    const double ts[] = {0.7, 0.1, 0.45, 0.3};
    for (double t : ts) {
        const double c = 100 * t;
        SoupFacet(s, {{c, c + 0.5e-6, c}, {c + 1, c, c}, {c, c + 1, c}});
    }
    SoupFacet(s, {{0.9e-6, 0.9e-6, 0.2e-6}, {-1, -1, 0}, {0, -1, -1}}); // near vertex1
    SoupFacet(s, {{50, 50, 50 + 3e-6}, {51, 52, 53}, {52, 51, 53}}); // off the line
    for (int i = 0; i < 300; ++i) {
        const double x = (i * 37) % 100 + 0.3, y = (i * 53) % 100, z = (i * 71) % 100 + 0.25;
        SoupFacet(s, {{x, y, z}, {x + 0.5, y, z}, {x, y + 0.5, z}});
    }
    s.RemoveEqualsVertexAndDivideEdges();
    EXPECT_EQ("", MeshCheck(&s));
    ASSERT_EQ(3 + 4, big->GetEdgeCount());
    EXPECT_FALSE(HasVertexAt(big, {0.9e-6, 0.9e-6, 0.2e-6}));
    EXPECT_FALSE(HasVertexAt(big, {50, 50, 50 + 3e-6}));
    // Along the diagonal x rises 0 -> 10 -> 30 -> 45 -> 70 -> 100 (five
    // rises) or, walked the other way round, only from (0,0,50) to
    // (100,100,100): any misordered split shows as another count.
    GArrayCollection vs;
    big->GetVertices(&vs);
    int rises = 0;
    for (int i = 0; i < vs.size(); ++i)
        rises += static_cast<G3Vertex*>(vs.get((i + 1) % vs.size()))->GetX() >
                 static_cast<G3Vertex*>(vs.get(i))->GetX();
    EXPECT_TRUE(rises == 5 || rises == 1);
}

TEST(Weld, VertexOfTheEdgesOwnFacetIsNotInserted)
{
    // (2, 0) lies on the edge (0,0)-(4,0) of its own facet: no split. The
    // same point in another facet splits the edge.
    G3Surface s;
    G3Facet* own = SoupFacet(s, {{0, 0, 0}, {4, 0, 0}, {4, 2, 0}, {2, 0, 0}, {0, 2, 0}});
    s.RemoveEqualsVertexAndDivideEdges();
    EXPECT_EQ(5, own->GetEdgeCount());
    EXPECT_EQ("", MeshCheck(&s));

    G3Surface t;
    G3Facet* other = SoupFacet(t, {{0, 0, 0}, {4, 0, 0}, {4, 2, 0}, {0, 2, 0}});
    SoupFacet(t, {{2, 0, 0}, {3, -1, 0}, {1, -1, 0}});
    t.RemoveEqualsVertexAndDivideEdges();
    EXPECT_EQ(5, other->GetEdgeCount());
    EXPECT_EQ("", MeshCheck(&t));

    // Direct calls: nothing to insert.
    GArrayCollection none;
    EXPECT_FALSE(t.DivideEdgeByVertex(t.GetEdge(0), nullptr, &none));
}

TEST(Weld, SizedHashGivesTheSameMeshAsTheFixedGrid)
{
    // A closed UV sphere as a triangle soup: welding with 24 cells per axis
    // and with a fine grid agree, and stitching gives a closed mesh.
    auto build = [](G3Surface* s) {
        const int rings = 12, segments = 16;
        auto at = [&](int r, int k) -> P {
            const double th = M_PI * r / rings, ph = 2 * M_PI * k / segments;
            if (r == 0 || r == rings)
                return {0, 0, std::cos(th)};
            return {std::sin(th) * std::cos(ph), std::sin(th) * std::sin(ph), std::cos(th)};
        };
        for (int r = 0; r < rings; ++r)
            for (int k = 0; k < segments; ++k) {
                const int k1 = (k + 1) % segments;
                if (r > 0)
                    SoupFacet(*s, {at(r, k), at(r + 1, k), at(r, k1)});
                if (r < rings - 1)
                    SoupFacet(*s, {at(r, k1), at(r + 1, k), at(r + 1, k1)});
            }
    };
    G3Surface a, b;
    build(&a);
    build(&b);
    GEnvelope env;
    a.FormEnvelope(&env);
    G3PointHash coarse(24, env.min, env.max, 1e-6);
    G3PointHash fine(100, env.min, env.max, 1e-6);
    a.RemoveEqualsVertex(&coarse);
    b.RemoveEqualsVertex(&fine);
    a.RemoveUnused();
    b.RemoveUnused();
    EXPECT_EQ(2 + 11 * 16, a.GetVertexCount());
    ExpectSameMesh(a, b);
    EXPECT_EQ(3 * a.GetFacetCount(), a.GetEdgeCount()); // each pair twice
    a.RemoveNonManifoldEdges();
    EXPECT_EQ("", MeshCheck(&a));
    EXPECT_TRUE(a.GetClosed());
    EXPECT_EQ(3 * a.GetFacetCount() / 2, a.GetEdgeCount());
    EXPECT_EQ(2, a.GetVertexCount() - a.GetEdgeCount() + a.GetFacetCount());
}

// A flat soup (every triangle with corners of its own, jittered below the
// tolerance, a few corners exactly on the lines between grid cells) and one
// long edge across it carrying T-junctions: the passes that size their hash
// by the box give the same mesh as a fixed cube grid, oldest vertex first.
TEST(Weld, FlatSoupWeldsAsWithTheCubeGrid)
{
    const int n = 30;
    auto build = [](G3Surface* s, double tilt) {
        unsigned state = 99;
        auto jitter = [&state]() {
            state = state * 1664525u + 1013904223u;
            return ((state >> 8) / 16777216.0 - 0.5) * 4e-7;
        };
        auto at = [&](int i, int j) -> P {
            const double x = i * 10.0 / n + jitter(), y = j * 10.0 / n + jitter();
            return {x, y, tilt * x + jitter()};
        };
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                SoupFacet(*s, {at(i, j), at(i + 1, j), at(i + 1, j + 1)});
                SoupFacet(*s, {at(i, j), at(i + 1, j + 1), at(i, j + 1)});
            }
        // Below the grid, along its lower side: its edge passes through
        // every grid vertex of row 0.
        SoupFacet(*s, {{0, 0, 0}, {5, -5, 5 * tilt}, {10, 0, 10 * tilt}});
    };
    for (double tilt : {0.0, 1e-4}) {
        G3Surface a, b;
        build(&a, tilt);
        build(&b, tilt);
        a.RemoveEqualsVertexAndDivideEdges();
        GEnvelope env;
        b.FormEnvelope(&env);
        G3PointHash cube(24, env.min, env.max, 1e-6);
        b.RemoveEqualsVertex(&cube);
        b.DivideEdgesByVertex(&cube);
        b.RemoveUnused();
        SCOPED_TRACE(tilt);
        EXPECT_EQ(a.GetVertexCount(), (n + 1) * (n + 1) + 1);
        ExpectSameMesh(a, b);
        // The long edge took the n - 1 inner vertices of row 0.
        EXPECT_EQ(a.GetFacet(a.GetFacetCount() - 1)->GetEdgeCount(), 3 + n - 1);
    }
}

TEST(Weld, NormalsAndTextureCoordinates)
{
    // (0,0,2) and (0,0,1) weld once normalised; (0,0,0.5e-6) is too short
    // to normalise and welds with (0,0,0); texture coordinates within 1e-6
    // weld too.
    G3Surface s;
    for (int i = 0; i < 3; ++i)
        s.AddVertex(i == 1, i == 2, 0, 0);
    for (double z : {2.0, 1.0, 0.0, 0.5e-6})
        s.AddNormal(0, 0, z);
    for (double u : {0.25, 0.25 + 0.5e-6, 0.75})
        s.AddTexCoo(u, 0.5);
    int ids[3] = {0, 1, 2}, normalIds[3] = {1, 2, 3}, texIds[3] = {0, 1, 2};
    G3Facet* f = s.AddFacet(3, ids, 1, normalIds, texIds);
    ASSERT_NE(nullptr, f);
    G3Normal* kept = s.G3Shell::GetNormal(0);
    G3Normal* zero = s.G3Shell::GetNormal(2);
    G3TexCoo* t0 = s.GetTexCoo(0);

    s.RemoveEqualsNormal();
    EXPECT_EQ(2, s.GetNormalCount());
    EXPECT_EQ(2, s.GetTexCooCount());
    EXPECT_DOUBLE_EQ(1.0, kept->GetZ());
    G3TexCoo* t = nullptr;
    EXPECT_EQ(kept, f->GetNormal(s.GetVertex(0), &t));
    EXPECT_EQ(t0, t);
    EXPECT_EQ(zero, f->GetNormal(s.GetVertex(1), &t));
    EXPECT_EQ(t0, t);
    EXPECT_EQ(zero, f->GetNormal(s.GetVertex(2), &t));
    EXPECT_NE(t0, t);
    EXPECT_EQ(nullptr, kept->GetExData());
    EXPECT_EQ("", MeshCheck(&s));
}

TEST(Weld, ChangeVertexRebuildsFacets)
{
    // Square 0..3 split along 0-2, and a free vertex 4.
    G3Surface s;
    for (P p : std::vector<P>{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 2, 0}})
        s.AddVertex(p[0], p[1], p[2], 0);
    G3Facet* f = FacetByIds(s, {0, 1, 2});
    G3Facet* g = FacetByIds(s, {0, 2, 3});
    G3Vertex* v2 = s.GetVertex(2);
    EXPECT_TRUE(s.ChangeVertex(v2, s.GetVertex(4)));
    EXPECT_EQ("", MeshCheck(&s));
    EXPECT_FALSE(v2->HasEdges());
    EXPECT_TRUE(f->ContainsVertex(s.GetVertex(4)) && g->ContainsVertex(s.GetVertex(4)));
    GArrayCollection pair;
    EXPECT_EQ(2, G3Surface::GetCountEdges(s.GetVertex(0), s.GetVertex(4), &pair));
    EXPECT_EQ(1, pair.size()); // f and g share the edge 0-4

    // Collapsing onto a neighbour: f = (0, 1, 4) loses the edge 1-4 and is
    // left empty; g = (0, 4, 3) becomes (0, 1, 3).
    EXPECT_TRUE(s.ChangeVertex(s.GetVertex(4), s.GetVertex(1)));
    EXPECT_EQ("", MeshCheck(&s));
    EXPECT_FALSE(f->HasEdges());
    EXPECT_EQ(3, g->GetEdgeCount());
    EXPECT_TRUE(g->ContainsVertex(s.GetVertex(1)));
    s.RemoveUnused();
    EXPECT_EQ(1, s.GetFacetCount());
}

TEST(Weld, ChangeVertexCollapsesTheJoiningEdge)
{
    // Quads (0,1,2,3) and (1,4,5,2) share 1-2; 2 collapses onto 1.
    G3Surface s;
    for (P p : std::vector<P>{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}, {2, 1, 0}})
        s.AddVertex(p[0], p[1], p[2], 0);
    G3Facet* q1 = FacetByIds(s, {0, 1, 2, 3});
    G3Facet* q2 = FacetByIds(s, {1, 4, 5, 2});
    G3Vertex* v1 = s.GetVertex(1);
    G3Vertex* v2 = s.GetVertex(2);
    GArrayCollection removed;
    EXPECT_TRUE(s.ChangeVertex(v2, v1, &removed));
    ASSERT_EQ(1, removed.size());
    G3Edge* gone = static_cast<G3Edge*>(removed.get(0));
    EXPECT_TRUE(gone->GetFacet1() == nullptr && gone->GetFacet2() == nullptr);
    EXPECT_TRUE(gone->GetVertex1() == v1 && gone->GetVertex2() == v1);
    EXPECT_EQ(3, q1->GetEdgeCount());
    EXPECT_EQ(3, q2->GetEdgeCount());
    EXPECT_TRUE(q1->ContainsVertex(v1) && q2->ContainsVertex(v1));
    EXPECT_TRUE(s.RemoveEdge(gone));
    EXPECT_EQ("", MeshCheck(&s));
    EXPECT_EQ(6, s.GetEdgeCount());
}
