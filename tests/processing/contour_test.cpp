// Resolution of planar edge soups into contours: splitting at crossings,
// combining coincident edges, pruning, walking, classification and
// bridging holes.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "tests/common/plane2d.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <utility>
#include <vector>

namespace {

const double kUp[4] = {0.0, 0.0, 1.0, 0.0};

// Owns a surface for the vertices and every list handed out or produced.
class Fixture {
public:
    Fixture() = default;
    Fixture(const Fixture&) = delete;
    Fixture& operator=(const Fixture&) = delete;
    ~Fixture()
    {
        out.clear(true);
        for (G3EdgeList* l : lists)
            delete l;
    }
    void Resolve(G3EdgeList* l, bool link, int mode) { l->RemoveSelfIntersections(&out, &s, link, mode, 0); }

    G3Vertex* V(double x, double y) { return s.AddVertex(x, y, 0.0, 0); }

    // A closed contour through the vertices, facing +z as given.
    G3EdgeList* Loop(std::vector<G3Vertex*> v, G3Normal** normals = nullptr, G3TexCoo** tex = nullptr)
    {
        G3EdgeList* l =
            new G3EdgeList(static_cast<int>(v.size()), v.data(), nullptr, normals, tex, 0, 7);
        l->SetPlane(kUp);
        lists.push_back(l);
        return l;
    }
    // The edges of every given list appended to a new list (a soup).
    G3EdgeList* Soup(const std::vector<G3EdgeList*>& parts)
    {
        G3EdgeList* l = new G3EdgeList(0, 7);
        l->SetPlane(kUp);
        for (G3EdgeList* p : parts)
            l->AddEdges(p, nullptr);
        lists.push_back(l);
        return l;
    }
    G3EdgeList* Out(int i) { return static_cast<G3EdgeList*>(out.get(i)); }

    G3Surface s;
    GArrayCollection out;
    std::vector<G3EdgeList*> lists;
};

// The list is one closed chain, each edge starting where the last ended.
bool ClosedChain(G3EdgeList* l)
{
    const int n = l->size();
    for (int k = 0; k < n; ++k)
        if (l->GetEdge(k)->GetVertex2() != l->GetEdge((k + 1) % n)->GetVertex1())
            return false;
    return n >= 3;
}

} // namespace

// Soups resolved without and with linking, in each way of combining
// coincident edges: every list made is a closed chain of visible, unmarked
// edges, and together the lists cover what the source loops cover an odd
// number of times (an even-odd count on a grid of probes).
TEST(Contours, SoupsResolveIntoTheirOddCoverage)
{
    using plane2d::P2;
    using plane2d::Ring;
    struct Case {
        const char* name;
        std::vector<P2> points;
        std::vector<std::vector<int>> loops; // closed, through points by index
        std::vector<std::pair<int, int>> tails; // loose edges
        std::vector<int> hidden; // edges of the soup made invisible
        bool link;
        int mode;
        std::vector<int> sizes; // of the lists made, sorted; empty: unchecked
        int newVertices;
    };
    const std::vector<P2> square = {{0, 0}, {4, 0}, {4, 4}, {0, 4}, {2, 4}, {2, 2}, {2, 0}};
    const std::vector<P2> squares = {{0, 0}, {3, 0}, {3, 4}, {0, 4}, {1, 0}, {4, 0}, {4, 1}, {1, 1},
                                     {0, 1}, {2, 1}, {2, 3}, {0, 3}};
    const Case cases[] = {
        // The shared edge cancels; nothing crossed.
        {"two squares sharing an edge", {{0, 0}, {1, 0}, {2, 0}, {2, 1}, {1, 1}, {0, 1}},
         {{0, 1, 4, 5}, {1, 2, 3, 4}}, {}, {}, true, UNION_EDGE_CANCEL_PAIRS, {6}, 0},
        // Both triangles go through the one vertex made at the crossing.
        {"figure eight", {{0, 0}, {2, 2}, {2, 0}, {0, 2}},
         {{0, 1, 2, 3}}, {}, {}, false, UNION_EDGE_CANCEL_PAIRS, {3, 3}, 1},
        // (2, 0) rests on the bottom edge, which is split at that very
        // vertex; the walk goes round the outline, through it twice.
        {"touch", {{0, 0}, {4, 0}, {4, 4}, {3, 4}, {2, 0}, {1, 4}, {0, 4}},
         {{0, 1, 2, 3, 4, 5, 6}}, {}, {}, false, UNION_EDGE_CANCEL_PAIRS, {8}, 0},
        // A slit (4,4) -> (2,4) -> (2,2) -> (2,4): its two copies have the
        // square's inside on both sides, so the side rule removes both.
        // With a third copy, keeping two replaces all three by one, a tail
        // to prune.
        {"slit by sides", square, {{0, 1, 2, 4, 5, 4, 3}}, {}, {}, false, UNION_EDGE_BY_SIDES, {5}, 0},
        {"slit keeping two", square,
         {{0, 1, 2, 4, 5, 4, 3}}, {{4, 5}}, {}, false, UNION_EDGE_KEEP_TWO, {5}, 0},
        // An edge walked three times along the boundary: an odd count keeps
        // one copy, visible when a removed copy was.
        {"edge walked three times", square,
         {{0, 6, 1, 6, 1, 2, 3}}, {}, {1, 3}, false, UNION_EDGE_BY_SIDES, {5}, 0},
        // A side 5e-7 long, a tail into the square, a two-edge one outside
        // and a lone edge drawn twice in the same direction.
        {"short and dangling edges",
         {{0, 0}, {2, 0}, {2 + 5e-7, 0}, {2, 2}, {0, 2}, {1, 1}, {3, 3}, {4, 3}, {8, 8}, {9, 8}},
         {{0, 1, 2, 3, 4}}, {{3, 5}, {3, 6}, {6, 7}, {8, 9}, {8, 9}}, {}, false, UNION_EDGE_ALL, {4}, 0},
        // Two triangles joined by a lone edge: the walk crossed it out and
        // back, and the edge it came in by was taken into the loop.
        {"bridged triangles", {{0, 0}, {1, 0}, {0, 1}, {3, 0}, {4, 0}, {3, 1}},
         {{0, 1, 2}, {3, 4, 5}}, {{1, 3}}, {}, false, UNION_EDGE_CANCEL_PAIRS, {3, 3}, 0},
        {"bridged triangles, all edges", {{0, 0}, {1, 0}, {0, 1}, {3, 0}, {4, 0}, {3, 1}},
         {{2, 1, 0}, {3, 4, 5}}, {{3, 1}}, {}, false, UNION_EDGE_ALL, {3, 3}, 0},
        // Three copies of one edge in one direction: no walk can leave it,
        // and pruning keeps it (three edges at each end).
        {"dead end", {{0, 0}, {1, 0}, {1, 1}, {-5, -5}, {-4, -5}},
         {{0, 1, 2}}, {{3, 4}, {3, 4}, {3, 4}}, {}, false, UNION_EDGE_ALL, {3}, 0},
        // Three squares: after the crossings are split, the last edge of the
        // second square and the first of the third share a vertex, yet they
        // belong to different source contours; in either order.
        {"three squares by sides", squares,
         {{0, 1, 2, 3}, {4, 5, 6, 7}, {8, 9, 10, 11}}, {}, {}, false, UNION_EDGE_BY_SIDES, {}, -1},
        {"three squares by sides reordered", squares,
         {{0, 1, 2, 3}, {8, 9, 10, 11}, {4, 5, 6, 7}}, {}, {}, false, UNION_EDGE_BY_SIDES, {}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        std::vector<G3Vertex*> v;
        for (const P2& p : c.points)
            v.push_back(f.V(p[0], p[1]));
        std::vector<G3EdgeList*> loops;
        std::vector<Ring> source;
        for (const std::vector<int>& loop : c.loops) {
            std::vector<G3Vertex*> vs;
            source.emplace_back();
            for (int i : loop) {
                vs.push_back(v[static_cast<size_t>(i)]);
                source.back().push_back(c.points[static_cast<size_t>(i)]);
            }
            loops.push_back(f.Loop(vs));
        }
        G3EdgeList* soup = f.Soup(loops);
        for (int k : c.hidden)
            soup->GetEdge(k)->ClearVisible();
        for (const auto& t : c.tails)
            soup->AddEdge(v[static_cast<size_t>(t.first)], v[static_cast<size_t>(t.second)], nullptr, nullptr,
                          nullptr, nullptr, 1);
        f.Resolve(soup, c.link, c.mode);
        if (c.newVertices >= 0) {
            EXPECT_EQ(f.s.GetVertexCount(), static_cast<int>(c.points.size()) + c.newVertices);
        }
        std::vector<int> sizes;
        std::vector<Ring> result;
        for (int k = 0; k < f.out.size(); ++k) {
            G3EdgeList* l = f.Out(k);
            EXPECT_TRUE(ClosedChain(l)) << "list " << k;
            EXPECT_EQ(l->GetFacetSurface(), 7);
            sizes.push_back(l->size());
            result.emplace_back();
            for (int m = 0; m < l->size(); ++m) {
                const G3Edge* e = l->GetEdge(m);
                EXPECT_TRUE(e->GetVisible());
                EXPECT_EQ(e->GetFlags() & (G3Obj::FLAG_MARK | G3Obj::FLAG_MARK2), 0);
                result.back().push_back({e->GetVertex1()->GetX(), e->GetVertex1()->GetY()});
            }
        }
        std::sort(sizes.begin(), sizes.end());
        if (!c.sizes.empty()) {
            EXPECT_EQ(sizes, c.sizes);
        }
        for (double x = -5.89; x < 9.5; x += 0.25)
            for (double y = -5.87; y < 9.5; y += 0.25)
                EXPECT_EQ(plane2d::InsideEvenOdd(result, {x, y}), plane2d::InsideEvenOdd(source, {x, y}))
                    << x << " " << y;
    }
}

TEST(Contours, CornerDataFollowsTheSplitAtACrossing)
{
    // Normals and texture coordinates vary linearly with x and y, so the
    // pieces' corners at the new crossing vertex must be interpolated.
    Fixture f;
    const double pts[4][2] = {{0, 0}, {2, 2}, {2, 0}, {0, 2}};
    std::vector<G3Vertex*> v;
    G3Normal* n[4];
    G3TexCoo* t[4];
    for (int k = 0; k < 4; ++k) {
        v.push_back(f.V(pts[k][0], pts[k][1]));
        n[k] = f.s.AddNormal(0.1 * pts[k][0], 0.1 * pts[k][1], 1.0);
        t[k] = f.s.AddTexCoo(pts[k][0] / 2.0, pts[k][1] / 2.0);
    }
    G3EdgeList* bowtie = f.Loop(v, n, t);
    EXPECT_TRUE(bowtie->TestSelfIntersections());
    EXPECT_FALSE(f.Loop({f.V(5, 5), f.V(6, 5), f.V(6, 6)})->TestSelfIntersections());
    f.Resolve(bowtie, false, UNION_EDGE_CANCEL_PAIRS);
    ASSERT_EQ(f.out.size(), 2);
    for (int i = 0; i < 2; ++i)
        for (int k = 0; k < f.Out(i)->size(); ++k) {
            G3Edge* e = f.Out(i)->GetEdge(k);
            for (int end = 1; end <= 2; ++end) {
                G3TexCoo* tex = nullptr;
                G3Normal* normal = e->GetCorner(1, end, &tex);
                ASSERT_TRUE(normal && tex);
                const double* at = (end == 1 ? e->GetVertex1() : e->GetVertex2())->GetXYZ();
                for (int c = 0; c < 2; ++c) {
                    EXPECT_NEAR(normal->GetXYZ()[c], 0.1 * at[c], 1e-12);
                    EXPECT_NEAR(tex->GetUV()[c], at[c] / 2.0, 1e-12);
                }
            }
        }
}

TEST(Contours, EqualContoursNestByCreationOrder)
{
    Fixture f;
    G3Vertex* v[4] = {f.V(0, 0), f.V(1, 0), f.V(1, 1), f.V(0, 1)};
    G3EdgeList* first = f.Loop({v[0], v[1], v[2], v[3]});
    G3EdgeList* rotated = f.Loop({v[2], v[3], v[0], v[1]});
    EXPECT_TRUE(first->Equals(rotated));
    EXPECT_FALSE(first->Equals(f.Loop({v[3], v[2], v[1], v[0]})));
    // Whatever the order in the collection, the earlier list is the hole.
    GArrayCollection both;
    both.add(rotated);
    both.add(first);
    G3EdgeList::FormContourTypes(&both);
    EXPECT_EQ(first->GetContourType(), CONTOUR_TYPE_HOLE);
    EXPECT_EQ(first->GetInCount(), 1);
    EXPECT_EQ(rotated->GetContourType(), CONTOUR_TYPE_OUTER);
    EXPECT_EQ(rotated->GetInCount(), 0);
}

TEST(Contours, HoleLinkedByTwoOpposedBridgesCarryingCornerNormals)
{
    // Vertex k of the square and its hole carries normal k at its corners.
    Fixture f;
    G3Vertex* v[8];
    G3Normal* n[8];
    const double ring[8][2] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}, {1, 1}, {1, 3}, {3, 3}, {3, 1}};
    for (int k = 0; k < 8; ++k) {
        v[k] = f.V(ring[k][0], ring[k][1]);
        n[k] = f.s.AddNormal(ring[k][0], ring[k][1], 1.0);
    }
    f.Resolve(f.Soup({f.Loop({v[0], v[1], v[2], v[3]}, n), f.Loop({v[4], v[5], v[6], v[7]}, n + 4)}), true,
              UNION_EDGE_CANCEL_PAIRS);
    ASSERT_EQ(f.out.size(), 1);
    G3EdgeList* k = f.Out(0);
    EXPECT_EQ(k->size(), 10);
    EXPECT_TRUE(ClosedChain(k));
    EXPECT_EQ(k->GetContourType(), CONTOUR_TYPE_OUTER);
    // Exactly two edges join the hole to the outer contour, opposite ways;
    // a bridge carries the corner of the contour edge at its start.
    std::vector<G3Edge*> bridges;
    for (int m = 0; m < k->size(); ++m) {
        G3Edge* e = k->GetEdge(m);
        const long i1 = std::find(v, v + 8, e->GetVertex1()) - v;
        const long i2 = std::find(v, v + 8, e->GetVertex2()) - v;
        ASSERT_TRUE(i1 < 8 && i2 < 8);
        G3Normal* n1 = e->GetFacet1V1(nullptr);
        G3Normal* n2 = e->GetFacet1V2(nullptr);
        if ((i1 < 4) != (i2 < 4)) {
            bridges.push_back(e);
            EXPECT_EQ(n1, n2);
            EXPECT_TRUE(n1 == n[i1] || n1 == n[i2]);
        } else {
            EXPECT_TRUE(n1 == n[i1] && n2 == n[i2]);
        }
    }
    ASSERT_EQ(bridges.size(), 2u);
    EXPECT_EQ(bridges[0]->GetVertex1(), bridges[1]->GetVertex2());
    EXPECT_EQ(bridges[0]->GetVertex2(), bridges[1]->GetVertex1());
}

TEST(Contours, SplitEdgeMakesOrderedPiecesWithTheEdgesData)
{
    Fixture f;
    G3Vertex* ends[4] = {f.V(0, 0), f.V(1, 0), f.V(2, 0), f.V(3, 0)};
    G3Edge e(ends[0], ends[3]);
    e.SetFlags(5);
    G3Edge* pieces[3] = {nullptr, nullptr, nullptr};
    // Without corner data no normal is made.
    ASSERT_EQ(G3EdgeList::SplitEdge(&f.s, &e, 2, ends + 1, pieces), 3);
    for (int k = 0; k < 3; ++k) {
        EXPECT_TRUE(pieces[k]->GetVertex1() == ends[k] && pieces[k]->GetVertex2() == ends[k + 1]);
        EXPECT_EQ(pieces[k]->GetFlags(), 5);
        EXPECT_FALSE(pieces[k]->HasGeometry());
        delete pieces[k];
    }
    EXPECT_EQ(f.s.GetNormalCount(), 0);
    EXPECT_EQ(G3EdgeList::SplitEdge(&f.s, nullptr, 0, nullptr, pieces), 0);

    // Texture coordinates alone are interpolated too.
    e.SetFacet1V1(nullptr, f.s.AddTexCoo(0.0, 0.0));
    e.SetFacet1V2(nullptr, f.s.AddTexCoo(3.0, 0.0));
    ASSERT_EQ(G3EdgeList::SplitEdge(&f.s, &e, 1, ends + 1, pieces), 2);
    G3TexCoo* tex = nullptr;
    EXPECT_EQ(pieces[0]->GetFacet2V2(&tex), nullptr);
    ASSERT_NE(tex, nullptr);
    EXPECT_DOUBLE_EQ(tex->GetU(), 1.0);
    delete pieces[0];
    delete pieces[1];
}

TEST(Contours, EarlierContentsOfTheOutputAreLeftAlone)
{
    Fixture f;
    // A hole already in the output, from an earlier call, is neither
    // classified again nor bridged to the new square around it.
    G3EdgeList* earlier = new G3EdgeList(0, 7);
    earlier->AddEdges(f.Loop({f.V(1, 1), f.V(1, 2), f.V(2, 2), f.V(2, 1)}), nullptr);
    earlier->SetContourType(CONTOUR_TYPE_HOLE);
    f.out.add(earlier);
    G3EdgeList* square = f.Loop({f.V(0, 0), f.V(4, 0), f.V(4, 4), f.V(0, 4)});
    f.Resolve(square, true, UNION_EDGE_CANCEL_PAIRS);
    ASSERT_EQ(f.out.size(), 2);
    EXPECT_EQ(f.Out(0), earlier);
    EXPECT_EQ(earlier->size(), 4);
    EXPECT_EQ(f.Out(1)->size(), 4); // no bridges
    EXPECT_EQ(f.Out(1)->GetContourType(), CONTOUR_TYPE_OUTER);
}
