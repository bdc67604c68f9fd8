// The short cut of UnionInPlaneFacets for a small group of coplanar facets
// (G3SimpleGroupContour) against the edge-list road it stands in for: for
// random groups, whenever the short cut answers, the road makes the same
// one contour, edge for edge (ends, corners, flags, order); and the short
// cut declines only where the road's own simple-contour test does.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3EdgeCopy.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Obj.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "Geometry/processing/G3SimpleCycle.h"
#include "random_polygon.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class OpenList : public G3EdgeList {
public:
    using G3EdgeList::G3EdgeList;
    using G3EdgeList::SimpleContour;
};

// Edge flags as facets carry them, scratch marks included (the road drops
// the walk's two marks and keeps the rest).
constexpr int kFlagChoices[] = {1, 0, 3, 1 | G3Obj::FLAG_MARK, 2 | G3Obj::FLAG_MARK2, 1 | G3Obj::FLAG_MARK3};

// The polygon's corners from `from` to `to` (cyclically, both included) as
// a facet whose chain starts `turn` corners later, with random edge flags
// and, when `corners`, a normal and a texture coordinate at every corner.
G3Facet* Piece(G3Surface& s, const std::vector<G3Vertex*>& v, int from, int to, int turn, bool corners,
               std::mt19937& rng)
{
    const int k = static_cast<int>(v.size());
    std::vector<G3Vertex*> ring;
    for (int i = from;; i = (i + 1) % k) {
        ring.push_back(v[static_cast<size_t>(i)]);
        if (i == to)
            break;
    }
    std::rotate(ring.begin(), ring.begin() + turn % static_cast<int>(ring.size()), ring.end());
    const int n = static_cast<int>(ring.size());
    std::vector<int> flags;
    std::vector<G3Normal*> normals;
    std::vector<G3TexCoo*> texCoos;
    for (int i = 0; i < n; ++i) {
        flags.push_back(kFlagChoices[rng() % 6]);
        normals.push_back(s.AddNormal(0.0, 0.1 * i, 1.0));
        texCoos.push_back(s.AddTexCoo(0.5 * i, 0.25));
    }
    return s.AddFacet(n, ring.data(), flags.data(), corners ? normals.data() : nullptr,
                      corners ? texCoos.data() : nullptr);
}

void ExpectSameCopy(const G3EdgeCopy& got, const G3EdgeCopy& want)
{
    EXPECT_EQ(got.v1, want.v1);
    EXPECT_EQ(got.v2, want.v2);
    EXPECT_EQ(got.n1, want.n1);
    EXPECT_EQ(got.n2, want.n2);
    EXPECT_EQ(got.t1, want.t1);
    EXPECT_EQ(got.t2, want.t2);
    EXPECT_EQ(got.flags, want.flags);
}

} // namespace

TEST(MergeShortRoad, MatchesTheEdgeListRoadOnRandomGroups)
{
    std::mt19937 rng(7122026);
    int answered = 0;
    int declined = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        G3Surface s;
        const std::vector<G3Vertex*> v = RandomPolygonVertices(s, rng);
        const int k = static_cast<int>(v.size());
        // A fan from corner 0 cut by one or two diagonals into two or three
        // facets (overlapping where a diagonal runs outside the polygon),
        // each chain starting at a random corner; the group may list them
        // in any order.
        std::vector<int> cuts = {0, 2 + static_cast<int>(rng() % static_cast<unsigned>(k - 2))};
        if (cuts[1] >= k - 1)
            continue;
        if (cuts[1] + 2 < k && rng() % 2)
            cuts.push_back(cuts[1] + 1 + static_cast<int>(rng() % static_cast<unsigned>(k - cuts[1] - 2)));
        cuts.push_back(0);
        // Sides whose edge exists already, running against the polygon:
        // the facets take them as they are, so chains hold edges both ways.
        for (int i = 0; i < k; ++i)
            if (rng() % 2)
                s.AddEdge(v[static_cast<size_t>((i + 1) % k)], v[static_cast<size_t>(i)], nullptr);
        const bool corners = rng() % 2 == 0;
        std::vector<G3Facet*> pieces;
        for (size_t c = 0; c + 1 < cuts.size(); ++c) {
            const int span = (cuts[c + 1] - cuts[c] + k) % k + 1;
            G3Facet* f = Piece(s, v, cuts[c], cuts[c + 1], static_cast<int>(rng() % static_cast<unsigned>(span)),
                               corners, rng);
            if (f)
                pieces.push_back(f);
        }
        if (pieces.size() + 1 < cuts.size())
            continue;
        std::shuffle(pieces.begin(), pieces.end(), rng);
        s.FormPlaneEquation();
        GArrayCollection group;
        for (G3Facet* f : pieces)
            group.add(f);

        std::array<G3EdgeCopy, kSimpleCycleEdges> got;
        int m = 0;
        const bool shortCut = G3SimpleGroupContour(group, got.data(), &m);

        OpenList list(pieces[0]);
        for (size_t q = 1; q < pieces.size(); ++q)
            list.AddEdges(pieces[q]);
        if (!shortCut) {
            ++declined;
            std::vector<G3EdgeEnds> ends;
            for (int e = 0; e < list.size(); ++e)
                ends.push_back({list.GetEdge(e)->GetVertex1(), list.GetEdge(e)->GetVertex2()});
            std::vector<char> idle(ends.size(), 0);
            if (list.size() <= kPairScanEdges)
                G3CancelPairs(ends.data(), list.size(), idle.data());
            G3EdgeList* simple = list.SimpleContour(idle);
            EXPECT_EQ(simple, nullptr);
            delete simple;
            continue;
        }
        ++answered;
        GArrayCollection out;
        list.RemoveSelfIntersections(&out, &s, true, UNION_EDGE_CANCEL_PAIRS, 0);
        ASSERT_EQ(out.size(), 1);
        G3EdgeList* road = static_cast<G3EdgeList*>(out.get(0));
        ASSERT_EQ(road->size(), m);
        for (int e = 0; e < m; ++e) {
            SCOPED_TRACE("edge " + std::to_string(e));
            ExpectSameCopy(got[static_cast<size_t>(e)], G3EdgeCopyOf(road->GetEdge(e), 1));
        }
        delete road;
    }
    // Both roads are taken often enough to mean something.
    EXPECT_GT(answered, 500);
    EXPECT_GT(declined, 400);
}
