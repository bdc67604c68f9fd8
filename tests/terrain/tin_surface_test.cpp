// The triangulation front end: reading a triangulation back as a mesh
// (facets, welding, the output links of the engine vertices after welding),
// the projection plane, options and reruns.

#include "tin_check.h"

#include "mesh/mesh_check.h"

#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <random>
#include <set>
#include <type_traits>
#include <vector>

namespace {

// Every engine vertex's output vertex is a live vertex of s, or null exactly
// when the vertex took no part in a facet.
void ExpectLinksLive(const G3TriInterface& tin, G3Surface* s)
{
    std::set<const G3Vertex*> used;
    for (int i = 0; i < s->GetFacetCount(); ++i)
        for (G3FacetVertexIterator it(s->GetFacet(i)); it.hasNext();)
            used.insert(static_cast<G3Vertex*>(it.next()));
    for (int i = 0; i < tin.GetVertexCount(); ++i) {
        const G3Vertex* out = tin.GetVertex(i)->GetOutputVertex();
        if (out == nullptr)
            continue;
        EXPECT_TRUE(meshcheck::Listed(s->GetVertexList(), out)) << "vertex " << i;
        EXPECT_TRUE(s->GetPolyEdgeCount() != 0 || used.count(out)) << "vertex " << i;
    }
}

using Pts = std::vector<std::array<double, 3>>;

// Adds the points and triangulates; the engine vertices in input order.
std::vector<G3TVertex*> Triangulate(G3TriInterface& tin, const Pts& pts)
{
    std::vector<G3TVertex*> tv;
    for (const auto& p : pts)
        tv.push_back(tin.AddVertex(p.data()));
    tin.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    return tv;
}

TEST(TinSurface, FacetsOfSmallInputs)
{
    G3TriInterface tin;
    const Pts p = {{0, 0, 1}, {2, 0, 2}, {0, 3, 3}};
    const auto tv = Triangulate(tin, p);
    std::unique_ptr<G3Surface> s(tin.GetSurface());
    ASSERT_TRUE(s);
    EXPECT_EQ(s->GetVertexCount(), 3);
    EXPECT_EQ(s->GetFacetCount(), 1);
    EXPECT_EQ("", MeshCheck(s.get()));
    for (int i = 0; i < 3; ++i) {
        ASSERT_NE(tv[i]->GetOutputVertex(), nullptr);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(tv[i]->GetOutputVertex()->GetXYZ()[k], p[i][k]); // heights restored
    }
    // Counter-clockwise seen from above: the facet's normal points up.
    EXPECT_GT(s->GetFacet(0)->GetPlane()[2], 0.0);

    // Collinear: vertices but no facets; unused vertices are removed by the
    // weld and their links cleared.
    G3TriInterface line;
    Triangulate(line, {{0, 0, 0}, {1, 1, 0}, {2, 2, 0}});
    s.reset(line.GetSurface());
    EXPECT_EQ(s->GetFacetCount(), 0);
    EXPECT_EQ(s->GetVertexCount(), 0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(line.GetVertex(i)->GetOutputVertex(), nullptr);
    EXPECT_EQ("", MeshCheck(s.get()));
}

TEST(TinSurface, WallPlaneTriangulatesAndReturnsInputPositions)
{
    G3TriInterface tin;
    const double u[3] = {0, 1, 0}, v[3] = {0, 0, 1};
    tin.Set2DPlane(u, v);
    EXPECT_EQ(std::vector<double>(tin.GetAxisN(), tin.GetAxisN() + 3), (std::vector<double>{1, 0, 0}));
    const Pts pts = {{4, 0, 0}, {4, 10, 0}, {4, 10, 3}, {4, 0, 3}, {4, 5, 4}};
    const auto tv = Triangulate(tin, pts);
    // y becomes the plane's x, z its y, and the wall's offset the height.
    EXPECT_EQ((std::vector<double>{tv[2]->x, tv[2]->y, tv[2]->z}), (std::vector<double>{10, 3, 4}));
    EXPECT_TRUE(CheckTin(tin).Valid());
    std::unique_ptr<G3Surface> s(tin.GetSurface());
    EXPECT_EQ(s->GetVertexCount(), 5);
    EXPECT_EQ(s->GetFacetCount(), 3);
    EXPECT_EQ("", MeshCheck(s.get()));
    for (int i = 0; i < 5; ++i) {
        double back[3];
        tin.GetPosition(tv[i], back);
        ASSERT_NE(tv[i]->GetOutputVertex(), nullptr);
        for (int k = 0; k < 3; ++k) {
            EXPECT_DOUBLE_EQ(back[k], pts[i][k]);
            EXPECT_DOUBLE_EQ(tv[i]->GetOutputVertex()->GetXYZ()[k], pts[i][k]);
        }
    }
}

TEST(TinSurface, AppendsToTargetAndWeldsToItsVertices)
{
    // The target holds one triangle standing on two of the points.
    G3Surface target;
    G3Vertex* tri[3] = {target.AddVertex(0.0, 0.0, 0.0, 0), target.AddVertex(4.0, 0.0, 0.0, 0),
                        target.AddVertex(2.0, 0.0, 5.0, 0)};
    G3Facet* f = target.AddFacet(3, tri, 1, nullptr, nullptr);
    ASSERT_NE(f, nullptr);

    G3TriInterface tin;
    const auto tv = Triangulate(tin, {{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}});
    EXPECT_EQ(tin.GetSurface(&target), &target);
    EXPECT_EQ(target.GetVertexCount(), 5);
    EXPECT_EQ(target.GetFacetCount(), 3);
    EXPECT_TRUE(meshcheck::Listed(target.GetFacetList(), f)); // the old facet stays
    EXPECT_EQ("", MeshCheck(&target));
    // The points on the target's vertices were welded into those vertices.
    EXPECT_EQ(tv[0]->GetOutputVertex(), tri[0]);
    EXPECT_EQ(tv[1]->GetOutputVertex(), tri[1]);
    ExpectLinksLive(tin, &target);
    // New facets are built on the target's vertices (the weld does not merge
    // the two base edges; that is left to RemoveNonManifoldEdges).
    int onBase = 0;
    for (int i = 0; i < target.GetEdgeCount(); ++i) {
        const G3Edge* e = target.GetEdge(i);
        const std::set<const G3Vertex*> ends = {e->GetVertex1(), e->GetVertex2()};
        onBase += ends == std::set<const G3Vertex*>{tri[0], tri[1]} && !e->HasFacet(f);
    }
    EXPECT_EQ(onBase, 1);
}

// Random points with repeats (same and different heights) and constraints:
// the mesh is consistent, has one facet per triangle, and no engine vertex
// keeps a link to a deleted vertex (the sanitizer build reads through them).
TEST(TinSurface, RandomInputLinksStayLive)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(0.0, 100.0);
    G3TriInterface tin;
    std::vector<G3TVertex*> tv;
    std::vector<std::vector<double>> pts;
    for (int i = 0; i < 3000; ++i) {
        std::vector<double> q{u(rng), u(rng), u(rng) * 0.1};
        if (i % 7 == 3 && !pts.empty()) {
            q = pts[static_cast<std::size_t>(rng() % pts.size())];
            if (i % 2)
                q[2] += 1.0; // repeated plan position at another height
        }
        pts.push_back(q);
        tv.push_back(tin.AddVertex(q.data()));
    }
    for (int i = 0; i + 1 < 40; i += 2)
        tin.AddEdge(tv[static_cast<std::size_t>(i)], tv[static_cast<std::size_t>(i + 1)]);
    tin.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    std::unique_ptr<G3Surface> s(tin.GetSurface());
    EXPECT_EQ(s->GetFacetCount(), tin.GetTriangleCount());
    EXPECT_EQ("", MeshCheck(s.get()));
    ExpectLinksLive(tin, s.get());
    int linked = 0;
    for (G3TVertex* v : tv) {
        // Kept vertices always have a facet here (no collinear input).
        EXPECT_TRUE(tin.GetKeptVertex(v) != v || v->GetOutputVertex());
        G3Vertex* out = v->GetOutputVertex();
        if (!out)
            continue;
        ++linked;
        out->SetExData(nullptr); // written through, as the terrain code does
        EXPECT_NEAR(out->GetXYZ()[0], v->x, 1e-6);
        EXPECT_NEAR(out->GetXYZ()[1], v->y, 1e-6);
    }
    EXPECT_GT(linked, s->GetVertexCount());
}

static_assert(!std::is_copy_constructible<G3TriInterface>::value, "copies would share the engine");
static_assert(!std::is_copy_assignable<G3TriInterface>::value, "copies would share the engine");

TEST(TinInterface, NullInputsEmptyResultsAndReruns)
{
    G3TriInterface tin;
    EXPECT_EQ(tin.AddVertex(nullptr), nullptr);
    tin.Set2DPlane(nullptr, nullptr);
    EXPECT_EQ(tin.GetAxisU()[0], 1.0);
    G3TVertex* c[3];
    EXPECT_FALSE(tin.GetTriangle(0, c));
    EXPECT_EQ(tin.GetVertex(0), nullptr);
    EXPECT_EQ(tin.GetConstraint(0), nullptr);
    EXPECT_EQ(tin.GetSurface(nullptr), nullptr);
    tin.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    std::unique_ptr<G3Surface> s(tin.GetSurface());
    ASSERT_TRUE(s);
    EXPECT_EQ(s->GetVertexCount(), 0);

    // A point added after a run is not part of it until the next run.
    Triangulate(tin, {{0, 0, 1}, {1, 0, 2}, {0, 1, 3}});
    EXPECT_EQ(tin.GetTriangleCount(), 1);
    const double p[3] = {1, 1, 4};
    G3TVertex* late = tin.AddVertex(p);
    EXPECT_EQ(tin.GetTriangleCount(), 1);
    EXPECT_EQ(tin.GetKeptVertex(late), nullptr);
    tin.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    EXPECT_EQ(tin.GetTriangleCount(), 2);
    EXPECT_EQ(tin.GetKeptVertex(late), late);
}

} // namespace
