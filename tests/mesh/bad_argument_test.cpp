// Public edits given another surface's entities, null or a loose entity (in
// no surface) must refuse: both surfaces pass the mesh check, carry no
// marks and keep their counts and corners. Random picks, fixed seed; each
// call draws its picks in a fixed order (never two within one argument list).

#include "../common/builders.h"
#include "mesh_check.h"

#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/processing/G3EdgeList.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace testmesh;

// Counts and every facet's corner walk: what a refused call leaves alone.
std::vector<long> Shape(G3Surface& s)
{
    std::vector<long> out{s.GetVertexCount(), s.GetEdgeCount(), s.GetFacetCount()};
    for (int i = 0; i < s.GetFacetCount(); ++i)
        for (G3Vertex* v : Corners(s.GetFacet(i)))
            out.push_back(v->GetId());
    return out;
}

struct Pick {
    G3Surface &a, &b;
    G3Vertex* looseV;
    G3Edge* looseE;
    std::mt19937& r;
    int kind; // 0 null, 1 another surface's, 2 loose
    G3Vertex* V() { return kind == 0 ? nullptr : kind == 1 ? b.GetVertex(r() % 8) : looseV; }
    G3Edge* E() { return kind == 0 ? nullptr : kind == 1 ? b.GetEdge(r() % b.GetEdgeCount()) : looseE; }
    G3Facet* F() { return kind == 1 ? b.GetFacet(r() % b.GetFacetCount()) : nullptr; }
    G3Vertex* OwnV() { return a.GetVertex(r() % 8); }
    G3Facet* OwnF() { return a.GetFacet(r() % a.GetFacetCount()); }
};

TEST(BadArguments, EditsRefuseForeignNullAndLooseEntities)
{
    const std::vector<std::function<void(Pick&)>> calls = {
        [](Pick& p) { G3Vertex* own = p.OwnV(); p.a.ChangeVertex(own, p.V()); },
        [](Pick& p) { G3Vertex* own = p.OwnV(); p.a.ChangeVertex(p.V(), own); },
        [](Pick& p) { GArrayCollection out; G3Vertex* own = p.OwnV(); p.a.ChangeVertex(own, p.V(), &out); },
        [](Pick& p) { G3EdgeList l(p.OwnF()); EXPECT_EQ(nullptr, p.a.AddFacetEdges(p.F(), &l)); },
        [](Pick& p) { G3Vertex* u = p.OwnV(); EXPECT_EQ(nullptr, p.a.AddEdge(u, p.OwnV(), p.b.GetFacet(0))); },
        [](Pick& p) { GArrayCollection out; p.a.GetAllAdjacentFaces(p.F(), &out); },
        [](Pick& p) { p.OwnF()->AddEdge(p.kind ? p.E() : p.OwnF()->GetFirstEdge()); },
        [](Pick& p) { G3Vertex* v = p.OwnV(); v->AddEdge(p.kind ? p.E() : v->GetFirstEdge()); },
        [](Pick& p) { G3Facet* f = p.OwnF(); EXPECT_FALSE(f->ChangeEdges(f->GetFirstEdge(), p.E())); },
        [](Pick& p) {
            G3Facet *f = p.a.GetFacet(0), *g = p.a.GetFacet(p.a.GetFacetCount() == 6 ? 1 : 2); // the top
            f->ChangeEdgeToVertex(p.kind ? f->GetFirstEdge() : g->GetFirstEdge(), p.kind ? p.V() : p.OwnV());
        },
        [](Pick& p) { G3Vertex* own = p.OwnV(); EXPECT_TRUE(std::isinf(own->Distance(p.kind ? p.OwnV() : p.V())) == !p.kind); },
        [](Pick& p) { double c[3] = {7, 7, 7}; G3Vertex* own = p.OwnV(); G3Edge::CalcCentrePoint(own, p.V(), p.kind ? nullptr : c); EXPECT_EQ(7, c[0]); },
    };
    std::mt19937 r(20261211);
    for (int round = 0; round < 400; ++round) {
        G3Surface a, b;
        AddBox(a, {0, 0, 0}, {1, 1, 1}, r() & 1);
        AddBox(b, {3, 0, 0}, {4, 1, 1}, r() & 1);
        G3Vertex looseV(0.5, 0.5, 0.5);
        G3Edge looseE(&looseV, &looseV);
        Pick p{a, b, &looseV, &looseE, r, static_cast<int>(r() % 3)};
        const std::size_t call = r() % calls.size();
        const std::vector<long> shapeA = Shape(a), shapeB = Shape(b);
        calls[call](p);
        SCOPED_TRACE("call " + std::to_string(call) + " kind " + std::to_string(p.kind));
        EXPECT_EQ("", MeshCheck(&a) + MeshCheck(&b) + G3MeshMarksCheck(&a) + G3MeshMarksCheck(&b));
        EXPECT_TRUE(Shape(a) == shapeA && Shape(b) == shapeB);
    }
}

// Handing a surface an entity another surface owns (or one it lists
// already), or writing an edge's corners for a facet it does not border,
// must refuse: each owner would delete the entity, and the corners of the
// facet on side 2 would be overwritten.
TEST(BadArguments, ForeignOwnersAndSidesRefused)
{
    const std::vector<std::function<void(G3Surface&, G3Surface&, G3Normal*)>> calls = {
        [](G3Surface& a, G3Surface& b, G3Normal*) { EXPECT_EQ(nullptr, a.AddFacetToCollection(b.GetFacet(1))); },
        [](G3Surface& a, G3Surface&, G3Normal*) { EXPECT_EQ(nullptr, a.AddFacetToCollection(a.GetFacet(2))); },
        [](G3Surface& a, G3Surface& b, G3Normal*) { EXPECT_EQ(nullptr, a.AddEdgeToCollection(b.GetEdge(3))); },
        [](G3Surface& a, G3Surface&, G3Normal*) { EXPECT_EQ(nullptr, a.AddEdgeToCollection(a.GetEdge(4))); },
        [](G3Surface& a, G3Surface& b, G3Normal* n) {
            G3Edge* e = a.GetEdge(0);
            e->SetCorner(b.GetFacet(0), e->GetVertex1(), n, nullptr);
            e->SetCorner(nullptr, e->GetVertex2(), n, nullptr);
        },
        [](G3Surface& a, G3Surface& b, G3Normal* n) {
            G3Edge* e = a.GetEdge(5);
            e->SetNormals(b.GetFacet(2), e->GetVertex1(), n, nullptr, e->GetVertex2(), n, nullptr);
        },
    };
    for (std::size_t call = 0; call < calls.size(); ++call) {
        G3Surface a, b;
        AddBox(a, {0, 0, 0}, {1, 1, 1});
        AddBox(b, {3, 0, 0}, {4, 1, 1});
        G3Normal n(0, 0, 1);
        const std::vector<long> shapeA = Shape(a), shapeB = Shape(b);
        calls[call](a, b, &n);
        SCOPED_TRACE("call " + std::to_string(call));
        for (int i = 0; i < a.GetEdgeCount(); ++i)
            a.GetEdge(i)->ForEachCorner([](G3Normal* c, G3TexCoo*) { EXPECT_EQ(nullptr, c); });
        EXPECT_EQ("", MeshCheck(&a) + MeshCheck(&b));
        EXPECT_TRUE(Shape(a) == shapeA && Shape(b) == shapeB);
    }
}

// Every corner of every edge set, then read through another surface's
// facet and through null: nothing comes back, where side 2's corners did.
TEST(BadArguments, CornersOfAFacetOnNeitherSideReadNothing)
{
    G3Surface a, b;
    AddBox(a, {0, 0, 0}, {1, 1, 1});
    AddBox(b, {3, 0, 0}, {4, 1, 1});
    G3Normal n(0, 0, 1);
    G3TexCoo t;
    for (int i = 0; i < a.GetEdgeCount(); ++i) {
        G3Edge* e = a.GetEdge(i);
        for (int side = 1; side <= 2; ++side)
            for (int end = 1; end <= 2; ++end)
                e->SetCorner(side, end, &n, &t);
        for (const G3Facet* f : {static_cast<const G3Facet*>(b.GetFacet(i % b.GetFacetCount())),
                                 static_cast<const G3Facet*>(nullptr)}) {
            G3TexCoo* tex = &t;
            G3Normal* n1 = &n;
            G3Normal* n2 = &n;
            EXPECT_EQ(nullptr, e->GetCorner(f, e->GetVertex1(), &tex));
            EXPECT_EQ(nullptr, tex);
            EXPECT_FALSE(e->GetNormals(f, &n1, nullptr, &n2, nullptr));
            EXPECT_TRUE(n1 == nullptr && n2 == nullptr);
            EXPECT_FALSE(e->HasGeometry(f));
        }
        EXPECT_EQ(&n, e->GetCorner(e->GetFacet1(), e->GetVertex2(), nullptr));
    }
}

} // namespace
