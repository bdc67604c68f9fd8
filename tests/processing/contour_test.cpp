// Resolution of planar edge soups into contours: splitting at crossings,
// combining coincident edges, pruning, walking, classification and
// bridging holes.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "Geometry/processing/G3FacetContourIterator.h"
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
    G3EdgeList* Loop(std::initializer_list<G3Vertex*> vs, G3Normal** normals = nullptr,
                     G3TexCoo** tex = nullptr)
    {
        std::vector<G3Vertex*> v(vs);
        G3EdgeList* l =
            new G3EdgeList(static_cast<int>(v.size()), v.data(), nullptr, normals, tex, 0, 7);
        l->SetPlane(kUp);
        lists.push_back(l);
        return l;
    }
    // The edges of every given list appended to a new list (a soup).
    G3EdgeList* Soup(std::initializer_list<G3EdgeList*> parts)
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

// The signed area on xy of the list's edges (a keyhole counts its
// outer contour minus its holes).
double Area(G3EdgeList* l)
{
    double a = 0.0;
    for (int k = 0; k < l->size(); ++k) {
        const double* p = l->GetEdge(k)->GetVertex1()->GetXYZ();
        const double* q = l->GetEdge(k)->GetVertex2()->GetXYZ();
        a += p[0] * q[1] - q[0] * p[1];
    }
    return 0.5 * a;
}

// The list is one closed chain, each edge starting where the last ended.
bool ClosedChain(G3EdgeList* l)
{
    const int n = l->size();
    for (int k = 0; k < n; ++k)
        if (l->GetEdge(k)->GetVertex2() != l->GetEdge((k + 1) % n)->GetVertex1())
            return false;
    return n >= 3;
}

// One closed chain of `size` edges enclosing `area`.
void ExpectLoop(G3EdgeList* l, int size, double area, double tolerance = 1e-12)
{
    EXPECT_EQ(l->size(), size);
    EXPECT_TRUE(ClosedChain(l));
    EXPECT_NEAR(Area(l), area, tolerance);
}

bool HasPoint(G3EdgeList* l, double x, double y)
{
    const double p[3] = {x, y, 0.0};
    for (int k = 0; k < l->size(); ++k)
        if (l->GetEdge(k)->GetVertex1()->Equals(p))
            return true;
    return false;
}

} // namespace

TEST(Contours, TwoSquaresSharingAnEdgeCancelIntoOneRectangle)
{
    Fixture f;
    G3Vertex *a = f.V(0, 0), *b = f.V(1, 0), *c = f.V(2, 0), *d = f.V(2, 1), *e = f.V(1, 1), *g = f.V(0, 1);
    G3EdgeList* soup = f.Soup({f.Loop({a, b, e, g}), f.Loop({b, c, d, e})});
    const int vertices = f.s.GetVertexCount();

    f.Resolve(soup, true, UNION_EDGE_CANCEL_PAIRS);
    ASSERT_EQ(f.out.size(), 1);
    ExpectLoop(f.Out(0), 6, 2.0); // turned to face the list's plane
    EXPECT_EQ(f.Out(0)->GetFacetSurface(), 7);
    EXPECT_EQ(f.s.GetVertexCount(), vertices); // nothing crossed
}

TEST(Contours, FigureEightSplitsAtOneSharedVertexWithInterpolatedCorners)
{
    // Normals and texture coordinates vary linearly with x and y, so the
    // pieces' corners at the new crossing vertex must be interpolated.
    Fixture f;
    const double pts[4][2] = {{0, 0}, {2, 2}, {2, 0}, {0, 2}};
    G3Vertex* v[4];
    G3Normal* n[4];
    G3TexCoo* t[4];
    for (int k = 0; k < 4; ++k) {
        v[k] = f.V(pts[k][0], pts[k][1]);
        n[k] = f.s.AddNormal(0.1 * pts[k][0], 0.1 * pts[k][1], 1.0);
        t[k] = f.s.AddTexCoo(pts[k][0] / 2.0, pts[k][1] / 2.0);
    }
    G3EdgeList* bowtie = f.Loop({v[0], v[1], v[2], v[3]}, n, t);
    EXPECT_TRUE(bowtie->TestSelfIntersections());
    EXPECT_FALSE(f.Loop({f.V(5, 5), f.V(6, 5), f.V(6, 6)})->TestSelfIntersections());

    f.Resolve(bowtie, false, UNION_EDGE_CANCEL_PAIRS);
    ASSERT_EQ(f.out.size(), 2);
    // Both triangles go through the one vertex made at the crossing.
    EXPECT_EQ(f.s.GetVertexCount(), 4 + 3 + 1);
    const double centre[3] = {1, 1, 0};
    G3Vertex* x[2] = {nullptr, nullptr};
    for (int i = 0; i < 2; ++i) {
        G3EdgeList* r = f.Out(i);
        ExpectLoop(r, 3, 1.0);
        for (int k = 0; k < r->size(); ++k) {
            G3Edge* e = r->GetEdge(k);
            if (e->GetVertex1()->Equals(centre))
                x[i] = e->GetVertex1();
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
    EXPECT_NE(x[0], nullptr);
    EXPECT_EQ(x[0], x[1]);
}

TEST(Contours, TouchSplitsAtTheTouchingVertexItself)
{
    // The vertex (2, 0) rests on the bottom edge, which is split at that
    // very vertex (no new one); the walk goes round the outline, through
    // the touching vertex twice.
    Fixture f;
    G3Vertex* touch = f.V(2, 0);
    G3EdgeList* loop = f.Loop({f.V(0, 0), f.V(4, 0), f.V(4, 4), f.V(3, 4), touch, f.V(1, 4), f.V(0, 4)});
    const int vertices = f.s.GetVertexCount();
    EXPECT_TRUE(loop->TestSelfIntersections());
    f.Resolve(loop, false, UNION_EDGE_CANCEL_PAIRS);
    EXPECT_EQ(f.s.GetVertexCount(), vertices);
    ASSERT_EQ(f.out.size(), 1);
    G3EdgeList* r = f.Out(0);
    ExpectLoop(r, 8, 12.0);
    int hits = 0;
    for (int k = 0; k < r->size(); ++k)
        hits += r->GetEdge(k)->GetVertex1() == touch;
    EXPECT_EQ(hits, 2);
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

TEST(Contours, ShortDanglingAndDeadEndEdgesAreDropped)
{
    // A square with a vertex 5e-7 along its bottom side, and tails: one
    // into the square, a two-edge one outside, a lone edge drawn twice in
    // the same direction.
    {
        Fixture f;
        G3Vertex* c = f.V(2, 2);
        G3EdgeList* soup = f.Soup({f.Loop({f.V(0, 0), f.V(2, 0), f.V(2 + 5e-7, 0), c, f.V(0, 2)})});
        G3Vertex* t1 = f.V(3, 3);
        G3Vertex* p = f.V(8, 8);
        G3Vertex* q = f.V(9, 8);
        const std::pair<G3Vertex*, G3Vertex*> tails[] = {{c, f.V(1, 1)}, {c, t1}, {t1, f.V(4, 3)}, {p, q}, {p, q}};
        for (const auto& e : tails)
            soup->AddEdge(e.first, e.second, nullptr, nullptr, nullptr, nullptr, 1);
        f.Resolve(soup, false, UNION_EDGE_ALL);
        ASSERT_EQ(f.out.size(), 1);
        ExpectLoop(f.Out(0), 4, 4.0, 1e-6);
    }
    // Three copies of one edge in one direction: no walk can leave it, and
    // pruning keeps it (three edges at each end); the walk still finishes.
    Fixture f;
    G3EdgeList* soup = f.Soup({f.Loop({f.V(0, 0), f.V(1, 0), f.V(1, 1)})});
    G3Vertex* p = f.V(-5, -5);
    G3Vertex* q = f.V(-4, -5);
    for (int k = 0; k < 3; ++k)
        soup->AddEdge(p, q, nullptr, nullptr, nullptr, nullptr, 1);
    f.Resolve(soup, false, UNION_EDGE_ALL);
    ASSERT_EQ(f.out.size(), 1);
    EXPECT_EQ(f.Out(0)->size(), 3);
    // Marks never leak into the results.
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(f.Out(0)->GetEdge(k)->GetFlags() & (G3Obj::FLAG_MARK | G3Obj::FLAG_MARK2), 0);
}

TEST(Contours, CoincidentEdgeModes)
{
    // A square with a slit (4,4) -> (2,4) -> (2,2) -> (2,4) -> (0,4): the
    // slit's two copies have the square's inside on both sides, so the
    // side rule removes both. With a third copy added, keeping two copies
    // replaces all three by one, a tail to prune.
    for (int mode : {UNION_EDGE_BY_SIDES, UNION_EDGE_KEEP_TWO}) {
        SCOPED_TRACE(mode);
        Fixture f;
        G3Vertex* top = f.V(2, 4);
        G3Vertex* tip = f.V(2, 2);
        G3EdgeList* slit = f.Loop({f.V(0, 0), f.V(4, 0), f.V(4, 4), top, tip, top, f.V(0, 4)});
        if (mode == UNION_EDGE_KEEP_TWO)
            slit->AddEdge(top, tip, nullptr, nullptr, nullptr, nullptr, 1);
        f.Resolve(slit, false, mode);
        ASSERT_EQ(f.out.size(), 1);
        ExpectLoop(f.Out(0), 5, 16.0);
        EXPECT_FALSE(HasPoint(f.Out(0), 2, 2));
    }
    // An edge walked three times along the boundary: an odd count keeps
    // one copy, visible when a removed copy was.
    Fixture f;
    G3Vertex* b = f.V(2, 0);
    G3Vertex* c = f.V(4, 0);
    G3EdgeList* loop = f.Loop({f.V(0, 0), b, c, b, c, f.V(4, 4), f.V(0, 4)});
    loop->GetEdge(1)->ClearVisible();
    loop->GetEdge(3)->ClearVisible();
    f.Resolve(loop, false, UNION_EDGE_BY_SIDES);
    ASSERT_EQ(f.out.size(), 1);
    ExpectLoop(f.Out(0), 5, 16.0);
    for (int k = 0; k < f.Out(0)->size(); ++k)
        EXPECT_TRUE(f.Out(0)->GetEdge(k)->GetVisible());
}

TEST(Contours, SoupCombinedBySidesGivesOneClosedContourPerList)
{
    // Three squares in one edge list, combined by sides without linking:
    // after the crossings are split, the last edge of the second square and
    // the first of the third share a vertex, yet they belong to different
    // source contours. The region is what the squares cover an odd number
    // of times, in either order of the squares.
    const std::vector<plane2d::Ring> squares = {
        {{0, 0}, {3, 0}, {3, 4}, {0, 4}}, {{1, 0}, {4, 0}, {4, 1}, {1, 1}}, {{0, 1}, {2, 1}, {2, 3}, {0, 3}}};
    std::vector<int> edgeCounts;
    for (const std::vector<int>& order : {std::vector<int>{0, 1, 2}, std::vector<int>{0, 2, 1}}) {
        SCOPED_TRACE(order[1]);
        Fixture f;
        std::vector<G3EdgeList*> loops;
        for (int k : order) {
            const plane2d::Ring& r = squares[static_cast<size_t>(k)];
            loops.push_back(f.Loop({f.V(r[0][0], r[0][1]), f.V(r[1][0], r[1][1]), f.V(r[2][0], r[2][1]),
                                    f.V(r[3][0], r[3][1])}));
        }
        f.Resolve(f.Soup({loops[0], loops[1], loops[2]}), false, UNION_EDGE_BY_SIDES);
        std::vector<plane2d::Ring> result;
        int edges = 0;
        for (int k = 0; k < f.out.size(); ++k) {
            EXPECT_TRUE(ClosedChain(f.Out(k))) << "list " << k;
            result.emplace_back();
            for (int m = 0; m < f.Out(k)->size(); ++m)
                result.back().push_back({f.Out(k)->GetEdge(m)->GetVertex1()->GetX(),
                                         f.Out(k)->GetEdge(m)->GetVertex1()->GetY()});
            edges += f.Out(k)->size();
        }
        edgeCounts.push_back(edges);
        for (double u = 0.125; u < 4.5; u += 0.25)
            for (double v = 0.125; v < 4.5; v += 0.25)
                EXPECT_EQ(plane2d::InsideEvenOdd(result, {u, v}), plane2d::InsideEvenOdd(squares, {u, v})) << u << " "
                                                                                                          << v;
    }
    EXPECT_EQ(edgeCounts[0], edgeCounts[1]);
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
    ExpectLoop(k, 10, 16.0 - 4.0);
    EXPECT_EQ(k->GetContourType(), CONTOUR_TYPE_OUTER);
    // Exactly two edges join the hole to the outer contour, opposite ways;
    // a bridge carries the corner of the contour edge at its start.
    std::vector<G3Edge*> bridges;
    for (int m = 0; m < k->size(); ++m) {
        G3Edge* e = k->GetEdge(m);
        const long i1 = std::find(v, v + 8, e->GetVertex1()) - v, i2 = std::find(v, v + 8, e->GetVertex2()) - v;
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

TEST(Contours, FacetContourIteratorYieldsOuterAndHole)
{
    G3Surface s;
    G3Vertex* v[8];
    const double ring[8][2] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}, {1, 1}, {1, 3}, {3, 3}, {3, 1}};
    for (int k = 0; k < 8; ++k)
        v[k] = s.AddVertex(ring[k][0], ring[k][1], 0.0, 0);
    G3Facet* facet = s.AddFacet(4, v, 1, nullptr, nullptr);
    ASSERT_NE(facet, nullptr);
    G3EdgeList hole(4, v + 4, nullptr, nullptr, nullptr, 0, 0);
    ASSERT_NE(s.AddFacetEdges(facet, &hole), nullptr);

    G3FacetContourIterator it(facet);
    std::vector<int> sizes;
    while (it.hasNext()) {
        G3EdgeList* c = static_cast<G3EdgeList*>(it.next());
        EXPECT_TRUE(ClosedChain(c));
        sizes.push_back(c->size());
    }
    EXPECT_EQ(sizes, (std::vector<int>{4, 4}));
    EXPECT_EQ(it.next(), nullptr);
    EXPECT_FALSE(G3FacetContourIterator(nullptr).hasNext());
}

TEST(Contours, FacetListsFindTheirOwnAxes)
{
    // A bow-tie facet standing in the xz plane: the list made from it has
    // no projection axes yet, so they come from the facet's plane.
    G3Surface s;
    G3Vertex* v[4] = {s.AddVertex(0, 3, 0, 0), s.AddVertex(2, 3, 2, 0), s.AddVertex(2, 3, 0, 0),
                      s.AddVertex(0, 3, 2, 0)};
    G3Facet* facet = s.AddFacet(4, v, 1, nullptr, nullptr);
    ASSERT_NE(facet, nullptr);
    const double plane[4] = {0.0, 1.0, 0.0, -3.0};
    facet->SetPlane(plane);
    G3EdgeList list(facet);
    EXPECT_EQ(list.GetXCoo(), -1);
    EXPECT_TRUE(list.TestSelfIntersections());

    GArrayCollection out;
    list.RemoveSelfIntersections(&out, &s, true, 2, 0);
    ASSERT_EQ(out.size(), 2);
    for (int i = 0; i < out.size(); ++i) {
        G3EdgeList* c = static_cast<G3EdgeList*>(out.get(i));
        EXPECT_EQ(c->size(), 3);
        EXPECT_EQ(c->GetContourType(), CONTOUR_TYPE_OUTER);
        // Turned to face +y like the facet: x cross z runs against +y, so a
        // positive turn in (x, z) means facing -y.
        double turn = 0.0;
        for (int k = 0; k < c->size(); ++k) {
            const double* p = c->GetEdge(k)->GetVertex1()->GetXYZ();
            const double* q = c->GetEdge(k)->GetVertex2()->GetXYZ();
            turn += p[0] * q[2] - q[0] * p[2];
        }
        EXPECT_LT(turn, 0.0);
    }
    out.clear(true);
}

TEST(Contours, GraphWalkOnAPlainSurfaceEndsWhenNoEdgeIsLeft)
{
    // Edges of a plain surface: a square, a dangling tail and a triple edge.
    // Walking until no start edge is left yields the square alone, on the
    // surface's own vertices, and empties the graph.
    G3Surface g;
    G3Vertex* v[4];
    for (int k = 0; k < 4; ++k)
        v[k] = g.AddVertex(k == 1 || k == 2, k >= 2, 0, 0);
    for (int k = 0; k < 4; ++k)
        g.AddEdge(v[k], v[(k + 1) % 4], nullptr);
    g.AddEdge(v[2], g.AddVertex(2, 2, 0, 0), nullptr);
    G3Vertex* p = g.AddVertex(5, 5, 0, 0);
    G3Vertex* q = g.AddVertex(6, 5, 0, 0);
    for (int k = 0; k < 3; ++k)
        g.AddEdge(p, q, nullptr);

    GArrayCollection found;
    for (int guard = 0; guard < 20; ++guard) {
        G3EdgeList::RemoveTailVertex(&g);
        G3Vertex* at = nullptr;
        G3Edge* e = G3EdgeList::FindLegalEdge(&g, 0, 1, &at);
        if (!e)
            break;
        if (G3EdgeList* c = G3EdgeList::RemoveContour(&g, e, at, 0, 1, 3, 4))
            found.add(c);
    }
    EXPECT_EQ(g.GetEdgeCount(), 0);
    ASSERT_EQ(found.size(), 1);
    G3EdgeList* c = static_cast<G3EdgeList*>(found.get(0));
    EXPECT_EQ(c->size(), 4);
    EXPECT_TRUE(ClosedChain(c));
    EXPECT_EQ(c->GetXCoo(), 0);
    EXPECT_EQ(c->GetYCoo(), 1);
    EXPECT_EQ(c->GetFacetFlags(), 3);
    for (int k = 0; k < 4; ++k)
        EXPECT_NE(std::find(v, v + 4, c->GetEdge(k)->GetVertex1()), v + 4);
    found.clear(true);
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
