// The shortcut for an edge list that already is one simple contour (two
// coplanar facets merged across their shared edge) against the contour
// graph's walk of the same list: whenever the shortcut answers, its contour
// must be the graph's, edge for edge.

#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "random_polygon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

class OpenList : public G3EdgeList {
public:
    using G3EdgeList::G3EdgeList;
    using G3EdgeList::SimpleContour;
};

// Every edge joining the same two vertices as another one (the shared edge,
// handed over from both sides).
std::vector<char> SharedEdges(const G3EdgeList& l)
{
    std::vector<char> idle(static_cast<size_t>(l.size()), 0);
    for (int a = 0; a < l.size(); ++a)
        for (int b = 0; b < l.size(); ++b)
            if (a != b && l.GetEdge(a)->IsVertexEquals(l.GetEdge(b)))
                idle[static_cast<size_t>(a)] = 1;
    return idle;
}

void ExpectSameContour(G3EdgeList* got, G3EdgeList* want)
{
    ASSERT_EQ(got->size(), want->size());
    for (int k = 0; k < got->size(); ++k) {
        const G3Edge* g = got->GetEdge(k);
        const G3Edge* w = want->GetEdge(k);
        EXPECT_EQ(g->GetVertex1(), w->GetVertex1()) << "edge " << k;
        EXPECT_EQ(g->GetVertex2(), w->GetVertex2()) << "edge " << k;
        EXPECT_EQ(g->GetFlags(), w->GetFlags()) << "edge " << k;
    }
}

} // namespace

TEST(SimpleContour, MatchesTheGraphWalkOnRandomMerges)
{
    std::mt19937 rng(20261207);
    int answered = 0;
    int declined = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        G3Surface s;
        const std::vector<G3Vertex*> v = RandomPolygonVertices(s, rng);
        const int k = static_cast<int>(v.size());
        // Split along a diagonal from corner 0 (the halves may overlap when
        // the diagonal runs outside: the merged list is the polygon's
        // boundary either way).
        const int d = 2 + static_cast<int>(rng() % static_cast<unsigned>(k - 3 + 1));
        if (d >= k)
            continue;
        std::vector<G3Vertex*> left(v.begin(), v.begin() + d + 1);
        std::vector<G3Vertex*> right(v.begin() + d, v.end());
        right.push_back(v[0]);
        G3Facet* f = s.AddFacet(static_cast<int>(left.size()), left.data(), 1, nullptr, nullptr);
        G3Facet* g = s.AddFacet(static_cast<int>(right.size()), right.data(), 3, nullptr, nullptr);
        if (!f || !g)
            continue;
        s.FormPlaneEquation();
        OpenList list(f);
        list.AddEdges(g);
        G3EdgeList* simple = list.SimpleContour(SharedEdges(list));
        if (!simple) {
            ++declined;
            continue;
        }
        ++answered;
        SCOPED_TRACE("trial " + std::to_string(trial));
        GArrayCollection walked;
        list.FormContours(&walked);
        ASSERT_EQ(walked.size(), 1);
        ExpectSameContour(simple, static_cast<G3EdgeList*>(walked.get(0)));
        delete simple;
        delete static_cast<G3EdgeList*>(walked.get(0));
    }
    // Both roads are taken often enough to mean something.
    EXPECT_GT(answered, 800);
    EXPECT_GT(declined, 100);
}

TEST(SimpleContour, DeclinesWhatOnlyTheGraphCanTell)
{
    // Variants of the unit square that the shortcut must leave to the sweep
    // and the graph.
    G3Surface s;
    G3Vertex* a = s.AddVertex(0.0, 0.0, 0.0, 0);
    G3Vertex* b = s.AddVertex(1.0, 0.0, 0.0, 0);
    G3Vertex* c = s.AddVertex(1.0, 1.0, 0.0, 0);
    G3Vertex* d = s.AddVertex(0.0, 1.0, 0.0, 0);
    G3Vertex* near = s.AddVertex(0.5, 2e-6, 0.0, 0); // within the clearance of a-b
    G3Vertex* twin = s.AddVertex(1.0, 1.0, 0.0, 0);  // c's position, another vertex
    const double up[4] = {0.0, 0.0, 1.0, 0.0};
    struct Case {
        const char* name;
        std::vector<G3Vertex*> ring;
    };
    const Case cases[] = {
        {"corner next to an edge", {a, b, c, d, near}},
        {"two vertices at one point", {a, b, twin, c, d}},
        {"a crossing (bow tie)", {a, b, d, c}},
        {"a corner visited twice", {a, b, c, a, d, c}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        std::vector<G3Vertex*> ring = k.ring;
        OpenList open(static_cast<int>(ring.size()), ring.data(), nullptr, nullptr, nullptr, 0, 1);
        open.SetPlane(up);
        EXPECT_EQ(open.SimpleContour(std::vector<char>(static_cast<size_t>(open.size()), 0)), nullptr);
    }
}
