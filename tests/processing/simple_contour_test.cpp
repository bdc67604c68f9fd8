// The shortcut for an edge list that already is one simple contour (two
// coplanar facets merged across their shared edge) against the contour
// graph's walk of the same list: whenever the shortcut answers, its contour
// must be the graph's, edge for edge.

#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"

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

// A star-shaped polygon around the origin (so simple), its corners often on
// a coarse grid (level and upright edges, ties for the lowest corner) and
// sometimes with a corner in the middle of a straight run; some corners are
// pushed to within a few tolerances of an edge they do not end. Laid into a
// plane facing one of the axes or a tilted one.
std::vector<std::array<double, 3>> RandomPolygon(std::mt19937& rng)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const int k = 3 + static_cast<int>(rng() % 6);
    std::vector<double> angles;
    for (int i = 0; i < k; ++i)
        angles.push_back(2.0 * M_PI * unit(rng));
    std::sort(angles.begin(), angles.end());
    const bool grid = unit(rng) < 0.5;
    std::vector<std::array<double, 2>> flat;
    for (double a : angles) {
        const double r = 0.5 + 1.5 * unit(rng);
        double x = r * std::cos(a);
        double y = r * std::sin(a);
        if (grid) {
            x = std::round(2.0 * x) / 2.0;
            y = std::round(2.0 * y) / 2.0;
        }
        flat.push_back({x, y});
    }
    if (unit(rng) < 0.3) {
        // A corner halfway along the first side.
        flat.insert(flat.begin() + 1, {0.5 * (flat[0][0] + flat[1][0]), 0.5 * (flat[0][1] + flat[1][1])});
    }
    if (unit(rng) < 0.3 && flat.size() >= 4) {
        // The third corner moved next to the first side, just inside or
        // outside the shortcut's clearance.
        const double t = 0.2 + 0.6 * unit(rng);
        const double gap = std::pow(10.0, -6.5 + 2.5 * unit(rng));
        const double dx = flat[1][0] - flat[0][0];
        const double dy = flat[1][1] - flat[0][1];
        const double len = std::hypot(dx, dy);
        flat[2] = {flat[0][0] + t * dx - gap * dy / len, flat[0][1] + t * dy + gap * dx / len};
    }
    const int plane = static_cast<int>(rng() % 4);
    std::vector<std::array<double, 3>> out;
    for (const auto& p : flat) {
        if (plane == 0)
            out.push_back({p[0], p[1], 3.0});
        else if (plane == 1)
            out.push_back({-2.0, p[0], p[1]});
        else if (plane == 2)
            out.push_back({p[1], 7.0, p[0]});
        else
            out.push_back({p[0], p[1] * 0.6, p[1] * 0.8 + 0.3 * p[0]});
    }
    return out;
}

} // namespace

TEST(SimpleContour, MatchesTheGraphWalkOnRandomMerges)
{
    std::mt19937 rng(20261207);
    int answered = 0;
    int declined = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        const std::vector<std::array<double, 3>> poly = RandomPolygon(rng);
        const int k = static_cast<int>(poly.size());
        G3Surface s;
        std::vector<G3Vertex*> v;
        for (const auto& p : poly)
            v.push_back(s.AddVertex(p[0], p[1], p[2], 0));
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
