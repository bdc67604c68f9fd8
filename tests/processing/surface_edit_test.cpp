// Surface decomposition and the editing tool: pieces of random box sets,
// the facet-crossing check against a scan of every pair, pockets and bosses
// measured by volume, stuck facets removed from stacked boxes, edge
// division, outlines of coplanar groups and common edges of placed boxes.

#include "common/builders.h"
#include "common/fingerprint.h"
#include "mesh/mesh_builder.h"
#include "mesh/mesh_check.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/boolean/G3Interval.h"
#include "Geometry/boolean/G3IntervalList.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GMatrix.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/processing/G3EdgeList.h"
#include "Geometry/processing/G3SurfaceEdit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace testmesh;

int Contours(G3Facet* f)
{
    int n = 0;
    for (G3ContourWalker w(f); w.Next();)
        n += w.Opens();
    return n;
}

void DeleteAll(GArrayCollection& c)
{
    for (int k = 0; k < c.size(); ++k)
        delete c.get(k);
    c.clear(false);
}

// Random boxes on an integer lattice, apart from each other by at least 1.
std::vector<std::pair<P3, P3>> DisjointBoxes(std::mt19937& gen, int n)
{
    std::vector<std::pair<P3, P3>> out;
    for (int k = 0; k < n; ++k) {
        const double x = 4.0 * k;
        const double y = static_cast<double>(gen() % 5);
        out.push_back({{x, y, 0.0}, {x + 1 + gen() % 3, y + 1 + gen() % 3, 1.0 + gen() % 3}});
    }
    return out;
}

double BoxVolume(const std::pair<P3, P3>& b)
{
    return (b.second[0] - b.first[0]) * (b.second[1] - b.first[1]) * (b.second[2] - b.first[2]);
}

TEST(Explode, PiecesOfRandomBoxSetsAreTheBoxes)
{
    std::mt19937 gen(7);
    for (int round = 0; round < 6; ++round) {
        const int n = 1 + round;
        const auto boxes = DisjointBoxes(gen, n);
        G3Surface s;
        for (const auto& b : boxes)
            AddBox(s, b.first, b.second, round % 2 == 0);  // two boxes of quads in round 1
        s.RemoveEqualsVertex();
        const int facets = s.GetFacetCount();
        GArrayCollection out;
        out.add(new G3Surface());  // what the caller had there stays
        EXPECT_EQ(n + 1, s.Explode(&out));
        EXPECT_EQ(facets, s.GetFacetCount());
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ("", G3MeshMarksCheck(&s));
        for (int k = 0; k < n; ++k) {
            G3Surface* piece = static_cast<G3Surface*>(out.get(k + 1));
            EXPECT_EQ("", MeshCheck(piece));
            EXPECT_EQ("", G3ClosedCheck(piece));
            EXPECT_EQ(facets / n, piece->GetFacetCount());
            EXPECT_NEAR(BoxVolume(boxes[static_cast<std::size_t>(k)]), G3SurfaceVolume(piece), 1e-9);
        }
        DeleteAll(out);
    }
    G3Surface empty;
    GArrayCollection out;
    out.add(new G3Surface());
    EXPECT_EQ(1, empty.Explode(&out));
    DeleteAll(out);
}

// The crossing test over every pair, in pair order: the oracle of the grid.
int FirstCrossingScan(G3Surface& s, int* a, int* b)
{
    for (int i = 0; i < s.GetFacetCount(); ++i)
        for (int j = i + 1; j < s.GetFacetCount(); ++j) {
            G3Facet* f = s.GetFacet(i);
            G3Facet* g = s.GetFacet(j);
            G3IntervalList lf, lg;
            if (f->IntersectByPlaneConcave(g->GetPlane(), &lf) != 1 ||
                g->IntersectByPlaneConcave(f->GetPlane(), &lg) != 1)
                continue;
            lf.BuildIntervals();
            lg.SetMaxCoo(&lf);
            lg.BuildIntervals();
            std::unique_ptr<G3IntervalList> shared(lf.Intersect(&lg));
            if (lf.GetIntersectionType(&lg) == INTERVAL_LIST_INTERSECT && shared && !shared->IsEmpty()) {
                *a = i;
                *b = j;
                return 1;
            }
        }
    return 0;
}

TEST(CheckSurface, FindsWhatAScanOfEveryPairFinds)
{
    std::mt19937 gen(11);
    int crossing = 0;
    std::size_t flat = 0;
    for (int round = 0; round < 40; ++round) {
        G3Surface s;
        const int n = 2 + round;
        for (int k = 0; k < n; ++k) {
            std::vector<P3> t;
            for (int c = 0; c < 3; ++c)
                t.push_back({static_cast<double>(gen() % 40), static_cast<double>(gen() % 40),
                             static_cast<double>(gen() % 6)});
            if (k % 7 == 3)  // a corner on the opposite side, or near it
                t[2] = {(t[0][0] + t[1][0]) / 2, (t[0][1] + t[1][1]) / 2 + (k % 2 ? 0 : 1e-7),
                        (t[0][2] + t[1][2]) / 2};
            SoupFacet(s, t);
        }
        s.FormPlaneEquation();
        int a = -1, b = -1;
        const int expected = FirstCrossingScan(s, &a, &b);
        crossing += expected;
        std::vector<G3SurfaceCheckFinding> found;
        G3SurfaceEdit edit(&s);
        edit.SetFindings(&found);
        // Triangles on a coarse lattice: many are flat, a few touch
        // themselves; each facet's own contour sweep is the oracle.
        std::vector<int> selfCrossing;
        for (int k = 0; k < s.GetFacetCount(); ++k)
            if (G3EdgeList(s.GetFacet(k)).TestSelfIntersections())
                selfCrossing.push_back(k);
        flat += selfCrossing.size();
        int result = 0;
        EXPECT_EQ(selfCrossing.empty(), edit.CheckEdges(0x8, result));
        ASSERT_EQ(selfCrossing.size(), found.size());
        for (std::size_t k = 0; k < found.size(); ++k)
            EXPECT_EQ(selfCrossing[k], found[k].facet);
        found.clear();
        result = 0;
        EXPECT_EQ(expected == 0, edit.CheckFacets(0x1, result));
        EXPECT_EQ(expected, result);
        if (expected) {
            ASSERT_EQ(1u, found.size());
            EXPECT_EQ(a, found[0].facet);
            EXPECT_EQ(b, found[0].other);
        }
    }
    EXPECT_GT(crossing, 10);
    EXPECT_LT(crossing, 40);
    EXPECT_GT(flat, 0u);
}

// Whether two coplanar facets across some shared edge both hold a point
// just beside its middle: they overlap there, whichever way they face.
bool AdjacentFacetsOverlap(G3Surface& s)
{
    for (int k = 0; k < s.GetEdgeCount(); ++k) {
        G3Edge* e = s.GetEdge(k);
        G3Facet *f = e->GetFacet1(), *g = e->GetFacet2();
        if (!f || !g)
            continue;
        const double *a = e->GetVertex1()->GetXYZ(), *b = e->GetVertex2()->GetXYZ();
        const double *n = f->GetPlane(), *m = g->GetPlane();
        if (std::fabs(n[0] * m[0] + n[1] * m[1] + n[2] * m[2]) < 1.0 - GTolerance::kParallel)
            continue;
        const double d[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        double w[3] = {n[1] * d[2] - n[2] * d[1], n[2] * d[0] - n[0] * d[2], n[0] * d[1] - n[1] * d[0]};
        const double len = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
        for (double side : {-1e-3, 1e-3}) {
            double p[3];
            for (int c = 0; c < 3; ++c)
                p[c] = (a[c] + b[c]) / 2 + side * w[c] / len;
            int i, j;
            f->GetMaxCoo(&i, &j);
            G3Vertex *u = nullptr, *v = nullptr;
            if (f->PointInFacet(i, j, p, &u, &v, GTolerance::kInFacet) &&
                g->PointInFacet(i, j, p, &u, &v, GTolerance::kInFacet))
                return true;
        }
    }
    return false;
}

// Tetrahedra, near the origin or at site coordinates, with one face given
// as a fan of three triangles round a point of its plane. Inside the face
// the fan tiles it; beyond one of its edges the triangle on that edge
// turns over under the other two: the solid stays closed, no plane of the
// pair cuts the other, yet the facet check must name the fold.
TEST(CheckSurface, FoldedFacetsAreFound)
{
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int folded = 0;
    for (int round = 0; round < 60; ++round) {
        const double at = round % 2 ? 5e5 : 0.0;
        std::array<P3, 4> t;
        for (P3& q : t)
            for (double& c : q)
                c = at + 10.0 * unit(gen);
        const double d[3][3] = {{t[1][0] - t[0][0], t[1][1] - t[0][1], t[1][2] - t[0][2]},
                                {t[2][0] - t[0][0], t[2][1] - t[0][1], t[2][2] - t[0][2]},
                                {t[3][0] - t[0][0], t[3][1] - t[0][1], t[3][2] - t[0][2]}};
        const double det = d[0][0] * (d[1][1] * d[2][2] - d[1][2] * d[2][1]) -
                           d[0][1] * (d[1][0] * d[2][2] - d[1][2] * d[2][0]) +
                           d[0][2] * (d[1][0] * d[2][1] - d[1][1] * d[2][0]);
        if (std::fabs(det) < 50.0)
            continue;
        if (det < 0.0)
            std::swap(t[1], t[2]);
        // The fan's centre by weights on the corners 0, 1 and 3 of the
        // face; every third round one weight is negative.
        double w[3] = {0.2 + unit(gen), 0.2 + unit(gen), 0.2 + unit(gen)};
        if (round % 3 == 0)
            w[gen() % 3] = -0.3 - 0.5 * unit(gen);
        const double sum = w[0] + w[1] + w[2];
        P3 x;
        for (int c = 0; c < 3; ++c)
            x[c] = (w[0] * t[0][c] + w[1] * t[1][c] + w[2] * t[3][c]) / sum;
        G3Surface s;
        std::vector<G3Vertex*> v;
        for (const P3& q : {t[0], t[1], t[2], t[3], x})
            v.push_back(s.AddVertex(q[0], q[1], q[2], 0));
        for (const std::array<int, 3>& f : std::vector<std::array<int, 3>>{
                 {0, 2, 1}, {1, 2, 3}, {2, 0, 3}, {0, 1, 4}, {1, 3, 4}, {3, 0, 4}}) {
            G3Vertex* c[3] = {v[f[0]], v[f[1]], v[f[2]]};
            s.AddFacet(3, c, 1, nullptr, nullptr);
        }
        s.RemoveEqualsVertexAndDivideEdges();
        s.RemoveNonManifoldEdges();
        s.FormPlaneEquation();
        ASSERT_EQ("", MeshCheck(&s));
        ASSERT_TRUE(s.GetClosed());
        const bool overlap = AdjacentFacetsOverlap(s);
        folded += overlap;
        int result = 0;
        EXPECT_EQ(!overlap, G3SurfaceEdit(&s).CheckFacets(0x1, result)) << round;
        ASSERT_EQ("", MeshCheck(&s));
    }
    EXPECT_GT(folded, 10);
    EXPECT_LT(folded, 30);
}

// Boxes on a small lattice (touching, nested, crossing, at site
// coordinates) cut along where they meet by the engine: the pieces meet
// along edges shared by four facets, each non-convex facet reaching across
// the other's plane elsewhere. That is a touch, not a crossing, so the
// check finds none; the cut keeps the mesh sound, closed and its volume.
TEST(CheckSurface, BoxesCutWhereTheyMeetNoLongerCross)
{
    std::mt19937 gen(27);
    int cut = 0;
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        const double off = round % 3 == 0 ? 0.0 : (round % 3 == 1 ? 5e5 : 5e6);
        const double step = round % 2 ? 0.1 : 1.0;
        G3Surface s;
        double volume = 0.0;
        for (int b = 2 + static_cast<int>(gen() % 3); b > 0; --b) {
            P3 lo, hi;
            for (int a = 0; a < 3; ++a) {
                const int p = static_cast<int>(gen() % 5), q = static_cast<int>(gen() % 5);
                lo[a] = off + step * std::min(p, q);
                hi[a] = off + step * (p == q ? p + 1 : std::max(p, q));
            }
            AddBox(s, lo, hi);
            volume += (hi[0] - lo[0]) * (hi[1] - lo[1]) * (hi[2] - lo[2]);
        }
        s.FormPlaneEquation();
        int result = 0;
        cut += !G3SurfaceEdit(&s).CheckFacets(0x1, result);
        ASSERT_TRUE(G3BooleanCalculator().RemoveSelfIntersection(&s));
        ASSERT_EQ("", MeshCheck(&s));
        EXPECT_EQ("", G3ClosedCheck(&s));
        EXPECT_NEAR(volume, G3SurfaceVolume(&s), 1e-6 * volume);
        s.FormPlaneEquation();
        result = 0;
        EXPECT_TRUE(G3SurfaceEdit(&s).CheckFacets(0x1, result));
    }
    EXPECT_GT(cut, 50);
}

// One contour through a corner twice: two triangles at opposite sides of
// the corner, walked on from each other. Turned alike they only touch
// there; turned against each other the contour crosses itself at the
// corner (a bow tie through a vertex), which the crossing sweep cannot see
// as the edges meet at their ends. The corner is one vertex or two at one
// place; the plane is tilted and set at site coordinates.
TEST(CheckSurface, ContoursThroughACornerTwiceCrossWhenTurnedAgainstEachOther)
{
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int crossing = 0;
    for (int round = 0; round < 400; ++round) {
        const double kPi = 3.14159265358979323846, t0 = 2 * kPi * unit(gen);
        auto at = [&](double angle, double r) { return std::array<double, 2>{r * std::cos(angle), r * std::sin(angle)}; };
        // Each triangle inside a sector of less than a half turn, the two
        // sectors opposite.
        std::array<double, 2> c[4] = {at(t0 + 0.1 + unit(gen), 1 + unit(gen)), at(t0 + 1.3 + 1.5 * unit(gen), 1 + unit(gen)),
                                      at(t0 + kPi + 0.1 + unit(gen), 1 + unit(gen)),
                                      at(t0 + kPi + 1.3 + 1.5 * unit(gen), 1 + unit(gen))};
        const bool flip = gen() % 2;
        if (flip)
            std::swap(c[2], c[3]);
        const double ox = 512345.0 * (round % 3), oy = -6345.0 * (round % 3), slope = 0.3 * (round % 4);
        G3Surface s;
        auto vertex = [&](const std::array<double, 2>& q) { return s.AddVertex(ox + q[0], oy + q[1], slope * q[0], 0); };
        G3Vertex* corner = vertex({0, 0});
        G3Vertex* v[6] = {corner, vertex(c[0]), vertex(c[1]), round % 2 ? corner : vertex({0, 0}), vertex(c[2]), vertex(c[3])};
        ASSERT_NE(nullptr, s.AddFacet(6, v, 1, nullptr, nullptr));
        s.FormPlaneEquation();
        int result = 0;
        G3SurfaceEdit(&s).CheckEdges(SURFACE_CHECK_SELF_INTERSECTION, result);
        EXPECT_EQ(flip ? SURFACE_CHECK_SELF_INTERSECTION : 0, result) << "round " << round;
        crossing += flip;
    }
    EXPECT_GT(crossing, 150);
}

TEST(CheckSurface, TableOfDefects)
{
    // A zero-length edge; two quads crossing; a closed box.
    G3Surface shortEdge, crossing, box;
    SoupFacet(shortEdge, {{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 1, 0}});
    SoupFacet(crossing, {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}});
    SoupFacet(crossing, {{1, 1, -1}, {1, 3, -1}, {1, 3, 1}, {1, 1, 1}});
    AddBox(box, {0, 0, 0}, {1, 1, 1});
    box.RemoveEqualsVertex();
    const struct {
        G3Surface* s;
        int options;
        bool ok;
        int result;
    } rows[] = {{&shortEdge, 0x4, false, 0x4}, {&shortEdge, 0x1 | 0x8 | 0x10, true, 0},
                {&crossing, 0x1, false, 0x1},  {&crossing, 0x4 | 0x8 | 0x10, true, 0},
                {&box, 0x1 | 0x4 | 0x8 | 0x10, true, 0}};
    for (const auto& r : rows) {
        r.s->FormPlaneEquation();
        int result = -1;
        EXPECT_EQ(r.ok, G3SurfaceEdit(r.s).CheckSurface(r.options, result)) << r.options;
        EXPECT_EQ(r.result, result) << r.options;
    }
    G3Surface none;
    int result = 5;
    EXPECT_FALSE(G3SurfaceEdit(&none).CheckSurface(0x1d, result));
    EXPECT_EQ(0, result);
}

// The block 0..4 x 0..4 x 0..2, welded, planes formed: the solid the
// pockets and bosses go into.
void AddWeldedBlock(G3Surface& s)
{
    AddBox(s, {0, 0, 0}, {4, 4, 2});
    s.RemoveEqualsVertex();
    s.FormPlaneEquation();
}

GArrayCollection* Rect(std::vector<std::unique_ptr<G3Point>>& keep, double x0, double y0, double w, double h, double z)
{
    static GArrayCollection list;
    list.clear(false);
    const double c[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (const auto& q : c) {
        keep.push_back(std::make_unique<G3Point>(x0 + w * q[0], y0 + h * q[1], z));
        list.add(keep.back().get());
    }
    return &list;
}

GArrayCollection* Square(std::vector<std::unique_ptr<G3Point>>& keep, double x0, double y0, double side, double z)
{
    return Rect(keep, x0, y0, side, side, z);
}

// A hole cut into a facet leaves it facing the way it faced, whichever
// way the hole's points run (its contours' copies once ran against it,
// and the facet came back turned).
TEST(MakeHole, TheFacetKeepsItsFacing)
{
    for (int k = 0; k < 4; ++k) {
        const bool clockwise = k % 2, down = k / 2;
        G3Surface s;
        std::vector<G3Vertex*> v = {s.AddVertex(0, 0, 1, 0), s.AddVertex(4, 0, 1, 0), s.AddVertex(4, 4, 1, 0),
                                    s.AddVertex(0, 4, 1, 0)};
        if (down)
            std::reverse(v.begin(), v.end());
        s.AddFacet(4, v.data(), 1, nullptr, nullptr);
        s.FormPlaneEquation();
        std::vector<std::unique_ptr<G3Point>> keep;
        G3SurfaceEdit(&s).MakeHole(s.GetFacet(0), clockwise ? Rect(keep, 1, 3, 2, -2, 1) : Rect(keep, 1, 1, 2, 2, 1));
        ASSERT_EQ(1, s.GetFacetCount());
        s.FormPlaneEquation();
        EXPECT_EQ(down ? -1.0 : 1.0, s.GetFacet(0)->GetPlaneC()) << k;
    }
}

TEST(InsertFacet, PocketsAndBossesChangeTheVolumeByTheirOwn)
{
    // (x0, y0, side, depth along -z): pockets below the top, bosses above.
    const double rows[][4] = {{1, 1, 1, 1}, {0.5, 1.5, 2, 1.5}, {1, 1, 1, -1}, {2, 0.5, 1.5, -0.5}};
    for (const auto& r : rows) {
        G3Surface s;
        AddWeldedBlock(s);
        std::vector<std::unique_ptr<G3Point>> keep;
        G3Point down(0, 0, -1);
        GArrayCollection sides;
        G3Facet* cap = G3SurfaceEdit(&s).InsertFacet(Square(keep, r[0], r[1], r[2], 2.0), &down, r[3], &sides);
        ASSERT_NE(nullptr, cap);
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_TRUE(s.GetClosed());
        EXPECT_EQ(4, sides.size());
        EXPECT_EQ(11, s.GetFacetCount());
        EXPECT_NEAR(2.0 - r[3], cap->GetFirstEdge()->GetVertex1()->GetXYZ()[2], 1e-12);
        EXPECT_NEAR(32.0 - r[2] * r[2] * r[3], G3SurfaceVolume(&s), 1e-9);
    }
    // A contour in no facet: nothing.
    G3Surface s;
    AddBox(s, {0, 0, 0}, {4, 4, 2});
    s.FormPlaneEquation();
    std::vector<std::unique_ptr<G3Point>> keep;
    G3Point down(0, 0, -1);
    EXPECT_EQ(nullptr, G3SurfaceEdit(&s).InsertFacet(Square(keep, 1, 1, 1, 2.5), &down, 1, nullptr));
    EXPECT_EQ(6, s.GetFacetCount());
    EXPECT_EQ(8, s.GetVertexCount());
    EXPECT_EQ(12, s.GetEdgeCount());
}

// Pockets and bosses dropped at random on a box's top, on a lattice of half
// units so that they overlap, hold one another and share sides or corners:
// one overlapping or holding an earlier one is refused with nothing
// changed (corners on the top alone let it through, and its cut took the
// earlier floor back as top); each one made changes the volume by its own.
TEST(InsertFacet, OverlappingEditsAreRefusedAndTheRestAddUp)
{
    int made = 0, refused = 0;
    for (unsigned seed = 0; seed < 100; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        G3Surface s;
        AddWeldedBlock(s);
        double volume = 32.0;
        G3Point down(0, 0, -1);
        for (int k = 0; k < 4; ++k) {
            const double x0 = 0.5 * (1 + rng() % 6), y0 = 0.5 * (1 + rng() % 6);
            const double w = std::min(0.5 * (1 + rng() % 3), 3.5 - x0), h = std::min(0.5 * (1 + rng() % 3), 3.5 - y0);
            const double depth = (rng() % 2 ? 0.25 : -0.25) * (1 + rng() % 2);
            std::vector<std::unique_ptr<G3Point>> keep;
            if (G3SurfaceEdit(&s).InsertFacet(Rect(keep, x0, y0, w, h, 2.0), &down, depth, nullptr)) {
                volume -= w * h * depth;
                ++made;
            } else {
                ++refused;
            }
            ASSERT_EQ("", MeshCheck(&s));
            EXPECT_TRUE(s.GetClosed());
            ASSERT_NEAR(volume, G3SurfaceVolume(&s), 1e-9) << x0 << " " << y0 << " " << w << " " << h;
        }
    }
    EXPECT_LT(200, made);
    EXPECT_LT(40, refused);
}

// Pockets into a wall 2 thick and bosses rising towards a lid 1 above it,
// at the origin and at site coordinates: a pocket deeper than the wall or a
// boss higher than the gap is refused with the surface unchanged (they came
// out through the far side and the mesh crossed itself); one as deep as the
// wall opens a hole, the rest change the volume by their own.
TEST(InsertFacet, EditsPassingThroughTheSolidAreRefused)
{
    const double depths[] = {0.5, 1.0, 2.0, 2.5, 3.0, -0.5, -1.5};
    int refused = 0, through = 0;
    // A failed check ends its own seed only.
    auto run = [&](unsigned seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        const double o = seed % 2 ? 5e5 : 0.0;
        G3Surface s;
        AddBox(s, {o, o, 0}, {o + 4, o + 4, 2});
        AddBox(s, {o, o, 3}, {o + 4, o + 4, 4});
        s.RemoveEqualsVertex();
        s.FormPlaneEquation();
        double volume = G3SurfaceVolume(&s);
        G3Point down(0, 0, -1);
        for (int k = 0; k < 4; ++k) {
            const double x0 = 0.5 * (1 + rng() % 6), y0 = 0.5 * (1 + rng() % 6);
            const double w = std::min(0.5 * (1 + rng() % 3), 3.5 - x0), h = std::min(0.5 * (1 + rng() % 3), 3.5 - y0);
            const double depth = depths[rng() % 7];
            const std::string before = Fingerprint(&s);
            std::vector<std::unique_ptr<G3Point>> keep;
            G3Facet* cap = G3SurfaceEdit(&s).InsertFacet(Rect(keep, o + x0, o + y0, w, h, 2.0), &down, depth, nullptr);
            ASSERT_EQ("", MeshCheck(&s));
            ASSERT_EQ("", G3ClosedCheck(&s));
            const bool changed = Fingerprint(&s) != before;
            if (depth > 2.0 || depth < -1.0)
                ASSERT_FALSE(changed) << depth;
            else if (depth == 2.0)
                ASSERT_EQ(nullptr, cap);
            else
                ASSERT_EQ(changed, cap != nullptr);
            if (changed)
                volume -= w * h * depth;
            refused += depth > 2.0 || depth < -1.0;
            through += changed && depth == 2.0;
            ASSERT_NEAR(volume, G3SurfaceVolume(&s), 1e-6) << x0 << " " << y0 << " " << w << " " << h << " " << depth;
        }
    };
    for (unsigned seed = 0; seed < 40; ++seed)
        run(seed);
    EXPECT_LT(40, refused);
    EXPECT_LT(5, through);
}

// Whether two facets lie back to back over some area: a point inside one
// lies inside another of the same plane facing the other way.
bool BackToBack(G3Surface& s)
{
    for (int i = 0; i < s.GetFacetCount(); ++i) {
        G3Facet* f = s.GetFacet(i);
        const double* n = f->GetPlane();
        int a = 0, b = 1;
        f->GetMaxCoo(&a, &b);
        double p[3] = {0, 0, 0};
        if (!f->GeneratePointInFacetConcave(a, b, p))
            continue;
        const int c = 3 - a - b;
        p[c] = -(n[3] + n[a] * p[a] + n[b] * p[b]) / n[c];
        for (int j = 0; j < s.GetFacetCount(); ++j) {
            G3Facet* g = s.GetFacet(j);
            const double* m = g->GetPlane();
            if (j != i && n[0] * m[0] + n[1] * m[1] + n[2] * m[2] < -0.999 &&
                std::fabs(m[0] * p[0] + m[1] * p[1] + m[2] * p[2] + m[3]) < 1e-9 &&
                g->PointInFacet(a, b, p, nullptr, nullptr, 1e-9))
                return true;
        }
    }
    return false;
}

// Pockets flush with the box's sides open as notches, one as deep as the
// box as a hole through it, and pockets or bosses sharing part of a side
// with an earlier one open into it; they used to close behind a wall
// standing back to back with their side (or cap) and enclosing nothing.
TEST(InsertFacet, PocketsAtTheBorderOrBesideAnotherOpenThroughIt)
{
    // Edits in order: (x0, y0, w, h, depth along -z).
    using Edit = std::array<double, 5>;
    const std::vector<std::vector<Edit>> rows = {
        {{0, 1, 1, 1, 0.5}}, {{0, 0, 1, 1, 0.5}}, {{3, 1.5, 1, 2.5, 1}}, {{0, 0, 4, 1, 0.5}}, {{1, 1, 1, 1, 2}},
        {{0, 1, 1, 2, 2}}, {{1, 0, 1, 1, -0.5}}, {{1, 1, 1, 1, 0.5}, {2, 1.5, 1, 1, 0.5}},
        {{1, 1, 1, 1, 0.5}, {2, 1.5, 1, 1, 0.25}}, {{1, 1, 1, 1, -0.5}, {2, 1.5, 1, 1, -0.25}},
        {{1, 1, 1, 1, 0.5}, {1, 2.5, 1, 1, 0.5}, {2, 1.5, 1, 1.5, 0.5}}};
    for (const std::vector<Edit>& row : rows) {
        SCOPED_TRACE(testing::Message() << row.size() << " " << row[0][0] << " " << row[0][4]);
        G3Surface s;
        AddWeldedBlock(s);
        double volume = 32.0;
        for (const Edit& r : row) {
            std::vector<std::unique_ptr<G3Point>> keep;
            G3Point down(0, 0, -1);
            G3SurfaceEdit(&s).InsertFacet(Rect(keep, r[0], r[1], r[2], r[3], 2.0), &down, r[4], nullptr);
            volume -= r[2] * r[3] * r[4];
        }
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ("", G3ClosedCheck(&s));
        EXPECT_NEAR(volume, G3SurfaceVolume(&s), 1e-9);
        EXPECT_FALSE(BackToBack(s));
    }
}

// A pocket or boss whose contour is a whole face of a box, on each face,
// given either way round, at the origin and at site coordinates: the box
// grows or shrinks by the face times the depth. Given against the face's
// turn, the walls lay back to back on the neighbours with nothing telling
// the update which way they faced, and a pocket turned the box inside out.
TEST(InsertFacet, AContourCoveringAWholeFaceKeepsTheSolidOutwards)
{
    std::mt19937 rng(41);
    int pockets = 0;
    for (int round = 0; round < 48; ++round) {
        SCOPED_TRACE(round);
        const double off = round % 3 == 0 ? 0.0 : (round % 3 == 1 ? 5e5 : 5e6);
        P3 lo = {off, off, off == 0.0 ? 0.0 : 10.0}, hi = lo;
        for (int a = 0; a < 3; ++a)
            hi[static_cast<std::size_t>(a)] += 0.5 * (2 + rng() % 6);
        G3Surface s;
        AddBox(s, lo, hi);
        s.RemoveEqualsVertex();
        s.FormPlaneEquation();
        const double volume = G3SurfaceVolume(&s);
        // The face's axis and side; its corners as AddBox's table runs them.
        const int axis = static_cast<int>(rng() % 3), side = static_cast<int>(rng() % 2);
        const int u = (axis + 1) % 3, v = (axis + 2) % 3;
        const double face = (hi[u] - lo[u]) * (hi[v] - lo[v]), thick = hi[axis] - lo[axis];
        // A boss every fourth round; pockets half or three quarters deep.
        const double depth = (round % 4 == 3 ? -0.5 : 0.5 + 0.25 * (rng() % 2)) * thick;
        std::vector<std::unique_ptr<G3Point>> keep;
        GArrayCollection contour;
        const double turn[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (int k = 0; k < 4; ++k) {
            const auto& t = turn[round % 2 ? 3 - k : k];
            P3 p;
            p[axis] = side ? hi[axis] : lo[axis];
            p[u] = t[0] ? hi[u] : lo[u];
            p[v] = t[1] ? hi[v] : lo[v];
            keep.push_back(std::make_unique<G3Point>(p[0], p[1], p[2]));
            contour.add(keep.back().get());
        }
        P3 in = {0, 0, 0};
        in[axis] = side ? -1.0 : 1.0;
        G3Point dir(in[0], in[1], in[2]);
        pockets += depth > 0;
        EXPECT_NE(nullptr, G3SurfaceEdit(&s).InsertFacet(&contour, &dir, depth, nullptr));
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ("", G3ClosedCheck(&s));
        EXPECT_NEAR(volume - face * depth, G3SurfaceVolume(&s), 1e-6);
    }
    EXPECT_EQ(36, pockets);
}

// Whether f has a corner within kPointEqual of q.
bool HasCorner(G3Facet* f, const double* q)
{
    for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f))
        for (const G3Vertex* v : {e->GetVertex1(), e->GetVertex2()})
            if (std::hypot(v->GetXYZ()[0] - q[0], v->GetXYZ()[1] - q[1], v->GetXYZ()[2] - q[2]) < 1e-6)
                return true;
    return false;
}

// Pockets and bosses side by side on a lattice of cells, at the origin
// (unit cells) and at site coordinates (0.01 cells at 5e6), under a thin
// bar that crosses the whole block above it. A rect on untouched cells is
// taken unless it is a boss reaching the bar (which passes between its
// corners: no vertex in the prism, no trace through it); the volume is the
// columns' and nothing changes on a refusal. The cap and the sides handed
// back are the edit's own (the update's rebuilds took their addresses).
TEST(InsertFacet, SideBySideEditsUnderABarAtSiteCoordinates)
{
    int barred = 0, taken = 0;
    // A failed check ends its own seed only.
    auto run = [&](unsigned seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        const double o = seed % 2 ? 5e6 : 0.0, c = seed % 2 ? 0.01 : 1.0, bar = 1.4 + rng() % 6;
        auto at = [&](double x, double y, double z) { return P3{o + c * x, o + c * y, o + c * z}; };
        G3Surface s;
        AddBox(s, at(0, 0, 0), at(8, 8, 4));
        AddBox(s, at(-2, bar, 5.5), at(10, bar + 0.2, 5.7));
        s.RemoveEqualsVertex();
        s.FormPlaneEquation();
        std::vector<int> top(64, 4);
        const double barVolume = 12 * 0.2 * 0.2;
        for (int k = 0; k < 5; ++k) {
            const int x0 = rng() % 8, y0 = rng() % 8, w = std::min<int>(1 + rng() % 4, 8 - x0),
                      h = std::min<int>(1 + rng() % 4, 8 - y0), depth = (1 + rng() % 3) * (rng() % 2 ? -1 : 1);
            bool untouched = true;
            for (int y = y0; y < y0 + h; ++y)
                for (int x = x0; x < x0 + w; ++x)
                    untouched = untouched && top[y * 8 + x] == 4;
            const bool hitsBar = depth < -1 && y0 < bar + 0.2 && bar < y0 + h;
            std::vector<std::unique_ptr<G3Point>> keep;
            GArrayCollection contour, sides;
            std::vector<P3> moved;
            for (const auto& q : {at(x0, y0, 4), at(x0 + w, y0, 4), at(x0 + w, y0 + h, 4), at(x0, y0 + h, 4)}) {
                keep.push_back(std::make_unique<G3Point>(q[0], q[1], q[2]));
                contour.add(keep.back().get());
                moved.push_back({q[0], q[1], q[2] - depth * c});
            }
            const std::string before = Fingerprint(&s);
            G3Point down(0, 0, -1);
            G3Facet* cap = G3SurfaceEdit(&s).InsertFacet(&contour, &down, depth * c, &sides);
            ASSERT_EQ("", MeshCheck(&s));
            ASSERT_EQ("", G3ClosedCheck(&s));
            barred += untouched && hitsBar;
            if (!untouched || hitsBar) {
                ASSERT_TRUE(before == Fingerprint(&s)) << x0 << " " << y0 << " " << w << " " << h << " " << depth;
                continue;
            }
            ASSERT_NE(nullptr, cap);
            double cells = 0;
            for (int y = y0; y < y0 + h; ++y)
                for (int x = x0; x < x0 + w; ++x)
                    top[y * 8 + x] -= depth;
            for (int t : top)
                cells += t;
            ASSERT_NEAR((cells + barVolume) * c * c * c, G3SurfaceVolume(&s), 1e-3 * c * c * c);
            ASSERT_FALSE(BackToBack(s));
            for (const P3& m : moved)
                ASSERT_TRUE(HasCorner(cap, m.data()));
            for (int i = 0; i < sides.size(); ++i) {
                G3Facet* f = static_cast<G3Facet*>(sides.get(i));
                bool own = false;
                for (std::size_t j = 0; j < 4; ++j) {
                    const double* p = keep[j]->GetXYZ();
                    const double* q = keep[(j + 1) % 4]->GetXYZ();
                    own = own || (HasCorner(f, p) && HasCorner(f, q) && HasCorner(f, moved[j].data()) &&
                                  HasCorner(f, moved[(j + 1) % 4].data()));
                }
                ASSERT_TRUE(own) << i;
            }
            ++taken;
        }
    };
    for (unsigned seed = 0; seed < 60; ++seed)
        run(seed);
    EXPECT_LT(100, taken);
    EXPECT_LT(10, barred);
}

TEST(InsertFacet, FacetsTheUpdateDropsAreNotHandedBack)
{
    // A contour of two distinct points has a cap the weld collapses; a
    // depth of 0 flattens every side quad; new edges flagged 4 let the
    // update merge the walls and the cap into their neighbours.
    const struct {
        double xy[4][2];
        double depth;
        int edgeFlags, caps, sides;
    } rows[] = {{{{1, 1}, {1, 1}, {1, 1}, {2, 1}}, 1.0, 1, 0, 2},
                {{{1, 1}, {2, 1}, {2, 2}, {1, 2}}, 0.0, 1, 1, 0},
                {{{1, 1}, {2, 1}, {2, 2}, {1, 2}}, 1.0, 1 | 4, 0, -1}};  // sides: any, all listed
    for (const auto& r : rows) {
        G3Surface s;
        AddBox(s, {0, 0, 0}, {4, 4, 2});
        s.FormPlaneEquation();
        s.SetEdgeFlags(r.edgeFlags);
        std::vector<std::unique_ptr<G3Point>> keep;
        GArrayCollection contour;
        for (const auto& p : r.xy) {
            keep.push_back(std::make_unique<G3Point>(p[0], p[1], 2.0));
            contour.add(keep.back().get());
        }
        G3Point down(0, 0, -1);
        GArrayCollection sides;
        G3Facet* cap = G3SurfaceEdit(&s).InsertFacet(&contour, &down, r.depth, &sides);
        EXPECT_EQ("", MeshCheck(&s));
        std::vector<G3Facet*> listed;
        for (int k = 0; k < s.GetFacetCount(); ++k)
            listed.push_back(s.GetFacet(k));
        EXPECT_EQ(r.caps, std::count(listed.begin(), listed.end(), cap));
        EXPECT_EQ(r.caps == 0, cap == nullptr);
        if (r.sides >= 0) {
            EXPECT_EQ(r.sides, sides.size());
        }
        EXPECT_EQ(r.edgeFlags, s.GetEdgeFlags());
        for (int k = 0; k < sides.size(); ++k)
            EXPECT_EQ(1, std::count(listed.begin(), listed.end(), sides.get(k)));
        EXPECT_TRUE(s.GetClosed());
    }
}

TEST(RemoveStuckTogetherFacets, StackedBoxesBecomeOneClosedSolid)
{
    G3Surface s;
    AddBox(s, {0, 0, 0}, {2, 2, 1});
    const std::vector<G3Facet*> upper = AddBox(s, {0.5, 0.5, 1}, {1.5, 1.5, 2});
    s.RemoveEqualsVertex();
    s.FormPlaneEquation();
    G3SurfaceEdit edit(&s);
    EXPECT_TRUE(edit.RemoveStuckTogetherFacets(upper[0]));  // the upper box's bottom
    EXPECT_EQ("", MeshCheck(&s));
    EXPECT_EQ("", G3ClosedCheck(&s));
    EXPECT_NEAR(5.0, G3SurfaceVolume(&s), 1e-12);
    EXPECT_EQ(11, s.GetFacetCount());
    // The upper box's top lies on nothing.
    int tops = 0;
    for (int k = 0; k < s.GetFacetCount(); ++k) {
        if (s.GetFacet(k)->GetPlaneC() > 0.5 && s.GetFacet(k)->GetPlaneD() == -2.0) {
            EXPECT_FALSE(edit.RemoveStuckTogetherFacets(s.GetFacet(k)));
            ++tops;
        }
    }
    EXPECT_EQ(1, tops);
}

// Boxes stood on a slab at random places of a half-unit lattice, flush
// with its sides or with each other at times, near the origin and at site
// coordinates: with every bottom removed, one solid whose facet sides pair
// up along every edge and whose volume is the boxes'. (The slab's top came
// back turned over, its hole's copy run the wrong way, and boxes flush with
// a side left the side's edge unsplit.)
TEST(RemoveStuckTogetherFacets, BoxesOnASlabAddUpToOneSolid)
{
    for (unsigned seed = 0; seed < 60; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        const P3 at = seed % 2 ? P3{512345.0, 345678.0, 0.0} : P3{0.0, 0.0, 0.0};
        G3Surface s;
        AddBox(s, at, {at[0] + 4, at[1] + 4, 1});
        double volume = 16.0;
        std::vector<std::array<double, 4>> placed;
        std::vector<G3Facet*> bottoms;
        for (int k = 0; k < 3; ++k) {
            const double x0 = 0.5 * (rng() % 8), y0 = 0.5 * (rng() % 8);
            const double w = std::min(0.5 * (1 + rng() % 3), 4 - x0), d = std::min(0.5 * (1 + rng() % 3), 4 - y0);
            const double h = 0.5 * (1 + rng() % 2);
            bool overlaps = false;
            for (const auto& r : placed)
                overlaps = overlaps || (std::min(x0 + w, r[0] + r[2]) > std::max(x0, r[0]) &&
                                        std::min(y0 + d, r[1] + r[3]) > std::max(y0, r[1]));
            if (overlaps)
                continue;
            placed.push_back({x0, y0, w, d});
            bottoms.push_back(AddBox(s, {at[0] + x0, at[1] + y0, 1}, {at[0] + x0 + w, at[1] + y0 + d, 1 + h})[0]);
            volume += w * d * h;
        }
        s.RemoveEqualsVertex();
        s.FormPlaneEquation();
        G3SurfaceEdit edit(&s);
        for (G3Facet* bottom : bottoms)
            EXPECT_TRUE(edit.RemoveStuckTogetherFacets(bottom));
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ("", G3ClosedCheck(&s));
        EXPECT_NEAR(volume, G3SurfaceVolume(&s), 1e-6);
    }
}

TEST(DivideEdge, ChainsThroughTheIntervalEnds)
{
    for (int intervals = 0; intervals <= 2; ++intervals)
        for (bool reversed : {false, true}) {
            G3Surface s;
            AddBox(s, {0, 0, 0}, {4, 1, 1});
            s.RemoveEqualsVertex();
            G3Edge* e = nullptr;
            for (int k = 0; k < s.GetEdgeCount() && !e; ++k) {
                G3Edge* c = s.GetEdge(k);
                if (c->GetSizeXYZ() == 4.0 && (c->GetVertex1()->GetXYZ()[0] > 0) == reversed)
                    e = c;
            }
            ASSERT_NE(nullptr, e);
            const int edges = s.GetEdgeCount();
            G3IntervalList list;
            const double y = e->GetVertex1()->GetXYZ()[1], z = e->GetVertex1()->GetXYZ()[2];
            for (int i = 0; i < intervals; ++i) {
                const double a[3] = {0.5 + 2 * i, y, z}, b[3] = {1.5 + 2 * i, y, z};
                list.AddInterval(a, b);
            }
            EXPECT_TRUE(G3SurfaceEdit(&s).DivideEdge(&s, e, &list));
            EXPECT_EQ("", MeshCheck(&s));
            EXPECT_EQ("", G3ClosedCheck(&s));
            EXPECT_EQ(edges + 2 * intervals, s.GetEdgeCount());
            int flagged = 0;
            for (int k = 0; k < s.GetEdgeCount(); ++k)
                flagged += s.GetEdge(k)->GetFlags() == 0x80 && s.GetEdge(k)->GetSizeXYZ() == 1.0;
            EXPECT_EQ(intervals, flagged);
        }
}

// Intervals in eighths of a random box edge, touching each other or the
// edge's ends, listed in any order and either way round, at the origin and
// at site coordinates: every piece longer than a point, one per distinct
// end, the intervals' pieces flagged, none running twice; an end off the
// edge refused.
TEST(DivideEdge, SharedEndsMakeNoZeroLengthPieces)
{
    for (unsigned seed = 0; seed < 60; ++seed) {
        std::mt19937 g(seed);
        const double o = seed % 3 == 0 ? 0.0 : (seed % 3 == 1 ? 5e5 : 5e6);
        G3Surface s;
        AddBox(s, {o, o, o}, {o + 3, o + 4, o + 2.5}, g() % 2);
        s.Update(CHECK_LEVEL_WELD);
        G3Edge* e = s.GetEdge(static_cast<int>(g() % static_cast<unsigned>(s.GetEdgeCount())));
        const double *a = e->GetVertex1()->GetXYZ(), *b = e->GetVertex2()->GetXYZ();
        int axis = 0;  // the box's sides differ: no ties
        for (int k = 1; k < 3; ++k)
            axis = std::fabs(b[k] - a[k]) > std::fabs(b[axis] - a[axis]) ? k : axis;
        if (b[axis] < a[axis])
            std::swap(a, b);
        std::vector<int> ends;  // eighths from the lower end
        for (int t = g() % 3 == 0 ? 0 : 1 + static_cast<int>(g() % 2); ends.size() < 6 && t < 8;) {
            const int u = std::min(8, t + 1 + static_cast<int>(g() % 2));
            ends.insert(ends.end(), {t, u});
            t = u + static_cast<int>(g() % 2);
        }
        G3IntervalList list;
        std::vector<std::array<double, 3>> at;
        for (int t : ends)
            at.push_back({a[0] + (b[0] - a[0]) * t / 8, a[1] + (b[1] - a[1]) * t / 8, a[2] + (b[2] - a[2]) * t / 8});
        // Listed in a random order, each either way round, but for every
        // fourth seed (from the upper end the chain doubled back).
        std::vector<std::size_t> order;
        for (std::size_t i = 0; i < at.size(); i += 2)
            order.push_back(i);
        for (std::size_t i = order.size(); seed % 4 && i > 1; --i)
            std::swap(order[i - 1], order[g() % i]);
        for (std::size_t i : order) {
            const std::size_t turned = seed % 4 ? g() % 2 : 0;
            list.AddInterval(at[i + turned].data(), at[i + 1 - turned].data());
        }
        G3Facet* f = e->GetFacet1();
        const double edgeLength = e->GetSizeXYZ();
        const double volume = G3SurfaceVolume(&s);
        const double along[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        ASSERT_TRUE(G3SurfaceEdit(&s).DivideEdge(&s, e, &list));
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_NEAR(volume, G3SurfaceVolume(&s), 1e-6);
        std::vector<int> cuts{0};
        for (int t : ends)
            if (t != cuts.back())
                cuts.push_back(t);
        if (cuts.back() != 8)
            cuts.push_back(8);
        int pieces = 0, flagged = 0;
        double length = 0;
        G3Edge* piece = nullptr;  // one on the edge's line
        for (G3ContourWalker w(f); w.Next();) {
            const double *p = w.GetEntry()->GetXYZ(), *q = w.GetExit()->GetXYZ();
            double c[3] = {0, 0, 0}, cross = 0;  // q - p against the edge's line
            for (int k = 0; k < 3; ++k)
                c[k] = q[k] - p[k];
            for (int k = 0; k < 3; ++k)
                cross += std::fabs(c[(k + 1) % 3] * along[(k + 2) % 3] - c[(k + 2) % 3] * along[(k + 1) % 3]);
            const double dp[3] = {p[0] - a[0], p[1] - a[1], p[2] - a[2]};
            double off = 0;
            for (int k = 0; k < 3; ++k)
                off += std::fabs(dp[(k + 1) % 3] * along[(k + 2) % 3] - dp[(k + 2) % 3] * along[(k + 1) % 3]);
            if (cross > 1e-6 || off > 1e-6)
                continue;
            ++pieces;
            flagged += w.GetEdge()->GetFlags() == 0x80;
            length += w.GetEdge()->GetSizeXYZ();
            piece = w.GetEdge();
            EXPECT_GT(w.GetEdge()->GetSizeXYZ(), 0.1) << seed;
        }
        EXPECT_EQ(static_cast<int>(cuts.size()) - 1, pieces) << seed;
        EXPECT_EQ(static_cast<int>(ends.size() / 2), flagged) << seed;
        EXPECT_NEAR(edgeLength, length, 1e-6) << seed;  // no piece runs twice
        // An end past the piece's end or off its line is refused, nothing changed.
        ASSERT_NE(nullptr, piece);
        const int edges = s.GetEdgeCount();
        const double *p = piece->GetVertex1()->GetXYZ(), *q = piece->GetVertex2()->GetXYZ();
        const std::array<double, 3> past = {2 * q[0] - p[0], 2 * q[1] - p[1], 2 * q[2] - p[2]};
        std::array<double, 3> off = {0.5 * (p[0] + q[0]), 0.5 * (p[1] + q[1]), 0.5 * (p[2] + q[2])};
        off[(axis + 1) % 3] += 1e-3;
        for (const std::array<double, 3>& wrong : {past, off}) {
            G3IntervalList bad;
            bad.AddInterval(p, wrong.data());
            EXPECT_FALSE(G3SurfaceEdit(&s).DivideEdge(&s, piece, &bad)) << seed;
            if (edges != s.GetEdgeCount()) {
                ADD_FAILURE() << seed << ": a refused division changed the edges";
                break;  // piece is gone
            }
        }
    }
}

// A facet's copy keeps every corner's normal and texture coordinate, with
// normals only, texture coordinates only or both: corners with a texture
// coordinate and no normal came back with neither.
TEST(FormFacetSurface, CornersKeepTheirData)
{
    for (int data = 1; data <= 3; ++data) {
        G3Surface s;
        AddBox(s, {0, 0, 0}, {1, 2, 3}, data == 2);
        s.FormPlaneEquation();
        for (int k = 0; k < s.GetFacetCount() && (data & 1); ++k)
            s.GetFacet(k)->AssignNormalsByPlane(&s);
        if (data & 2)
            s.GenerateTexCoo(TEXTURE_PROJECTION_PLANAR);
        for (int k = 0; k < s.GetFacetCount(); ++k) {
            G3Facet* f = s.GetFacet(k);
            std::unique_ptr<G3Surface> copy(G3Surface::FormFacetSurface(f));
            ASSERT_NE(nullptr, copy);
            EXPECT_EQ("", MeshCheck(copy.get()));
            G3Facet* g = copy->GetFacet(0);
            for (G3ContourWalker a(f), b(g); a.Next() && b.Next();) {
                G3TexCoo *ta = nullptr, *tb = nullptr;
                G3Normal* na = a.GetEdge()->GetCorner(f, a.GetEntry(), &ta);
                G3Normal* nb = b.GetEdge()->GetCorner(g, b.GetEntry(), &tb);
                ASSERT_EQ(na == nullptr, nb == nullptr);
                ASSERT_EQ(ta == nullptr, tb == nullptr) << data;
                EXPECT_TRUE(!na || Xyz(na) == Xyz(nb));
                EXPECT_TRUE(!ta || (ta->GetU() == tb->GetU() && ta->GetV() == tb->GetV()));
            }
        }
    }
    // A single contour of two corners copies into no facet: null, not a
    // surface of loose vertices.
    EXPECT_EQ(nullptr, G3Surface::FormFacetSurface(nullptr));
    MeshBuilder b;
    G3Vertex* p = b.V(0, 0);
    G3Vertex* q = b.V(1, 0);
    G3Facet* sliver = b.F();
    MeshBuilder::Attach(sliver, b.E(p, q));
    MeshBuilder::Attach(sliver, b.E(q, p));
    EXPECT_EQ(nullptr, std::unique_ptr<G3Surface>(G3Surface::FormFacetSurface(sliver)));
}

// Plates with diamond holes touching the outline at its corners and square
// holes touching each other at theirs, near the origin and at site
// coordinates, each corner with a normal of its own: planar texture
// coordinates keep every corner's normal on both its edges. A vertex passed
// twice gave both passes the first one's normal.
TEST(GenerateTexCoo, CornersPassedTwiceKeepTheirNormals)
{
    for (unsigned seed = 0; seed < 40; ++seed) {
        std::mt19937 g(seed);
        const double o = seed % 2 ? 5e5 : 0.0;
        const int w = 4 + static_cast<int>(g() % 4);
        G3Surface s;
        std::map<std::pair<int, int>, G3Vertex*> at;  // by half units
        const auto v = [&](int x, int y) {
            G3Vertex*& p = at[{x, y}];
            return p ? p : (p = s.AddVertex(o + 0.5 * x, o + 0.5 * y, o, 0));
        };
        std::vector<G3Vertex*> outline{v(2 * w, 2 * w), v(0, 2 * w)};
        for (int x = 0; x <= 2 * w; x += 2)
            outline.push_back(v(x, 0));
        G3Facet* f = s.AddFacet(static_cast<int>(outline.size()), outline.data(), 1, nullptr, nullptr);
        for (int x = 2; x < 2 * w; x += 2)
            for (int y = 0; y + 4 < 2 * w; y += 2)
                if (y == 0 ? g() % 2 : (x + y) % 4 == 0 && x + 2 < 2 * w && g() % 2) {
                    G3Vertex* hole[4] = {v(x, y), v(x - 1, y + 1), v(x, y + 2), v(x + 1, y + 1)};
                    if (y > 0)  // a square cell, touching its diagonal neighbours
                        std::copy_n(std::array<G3Vertex*, 4>{v(x, y + 2), v(x, y + 4), v(x + 2, y + 4), v(x + 2, y + 2)}.data(), 4, hole);
                    G3EdgeList list(4, hole, nullptr, nullptr, nullptr, 0, 1);
                    s.AddFacetEdges(f, &list);
                }
        s.FormPlaneEquation();
        std::vector<std::array<G3Edge*, 2>> corners;  // the edges leaving and entering each
        std::vector<G3Vertex*> vertices;
        std::size_t first = 0;
        for (G3ContourWalker walk(f); walk.Next();) {
            first = walk.Opens() ? corners.size() : first;
            corners.push_back({walk.GetEdge(), walk.Opens() ? nullptr : corners.back()[0]});
            corners[first][1] = walk.Closes() ? walk.GetEdge() : corners[first][1];
            vertices.push_back(walk.GetEntry());
        }
        for (std::size_t c = 0; c < corners.size(); ++c)
            for (G3Edge* e : corners[c])
                e->SetCorner(f, vertices[c], s.AddNormal(static_cast<double>(c), 0.5, 1.0), nullptr);
        s.GenerateTexCoo(TEXTURE_PROJECTION_PLANAR);
        EXPECT_EQ("", MeshCheck(&s));
        int lost = 0;
        for (std::size_t c = 0; c < corners.size(); ++c)
            for (G3Edge* e : corners[c]) {
                G3TexCoo* t = nullptr;
                const G3Normal* n = e->GetCorner(f, vertices[c], &t);
                lost += !n || n->GetXYZ()[0] != static_cast<double>(c);
                ASSERT_NE(nullptr, t);
                EXPECT_TRUE(t->GetU() == vertices[c]->GetXYZ()[0] && t->GetV() == vertices[c]->GetXYZ()[1]);
            }
        EXPECT_EQ(0, lost) << seed;
    }
}

TEST(Decomposition, OutlinesTexturesAndCommonEdges)
{
    // Split faces of a box: one outline facet per face; the facet list of
    // the source keeps its order.
    G3Surface s;
    AddBox(s, {0, 0, 0}, {1, 2, 3}, true);
    s.RemoveEqualsVertex();
    s.FormPlaneEquation();
    std::vector<G3Facet*> before;
    for (int k = 0; k < s.GetFacetCount(); ++k)
        before.push_back(s.GetFacet(k));
    std::unique_ptr<G3Surface> outline(s.FormContourSurface());
    for (int k = 0; k < s.GetFacetCount(); ++k)
        EXPECT_EQ(before[static_cast<std::size_t>(k)], s.GetFacet(k));
    EXPECT_EQ("", MeshCheck(outline.get()));
    EXPECT_EQ(6, outline->GetFacetCount());
    EXPECT_NEAR(6.0, G3SurfaceVolume(outline.get()), 1e-12);
    // The same box turned about two axes, near the origin and at site
    // coordinates: there the faces' rounded normals move d far beyond the
    // tolerance, and each face came back as its pieces.
    for (double far : {0.0, 512345.0}) {
        G3Surface turned;
        AddBox(turned, {0, 0, 0}, {1, 2, 3}, true);
        turned.RemoveEqualsVertex();
        const double c1 = std::cos(0.3), s1 = std::sin(0.3), c2 = std::cos(0.7), s2 = std::sin(0.7);
        for (int k = 0; k < turned.GetVertexCount(); ++k) {
            const double* p = turned.GetVertex(k)->GetXYZ();
            const double x = c1 * p[0] - s1 * p[1], y = s1 * p[0] + c1 * p[1];
            const double q[3] = {far + x, 10 * far + c2 * y - s2 * p[2], s2 * y + c2 * p[2]};
            turned.GetVertex(k)->Set(q);
        }
        turned.FormPlaneEquation();
        std::unique_ptr<G3Surface> faces(turned.FormContourSurface());
        EXPECT_EQ(6, faces->GetFacetCount()) << far;
    }

    // One facet with a hole copied alone, and planar texture coordinates.
    G3Surface plate;
    G3Facet* outer = SoupFacet(plate, {{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}});
    G3Vertex* h[4] = {plate.AddVertex(1, 1, 0, 0), plate.AddVertex(1, 2, 0, 0), plate.AddVertex(2, 2, 0, 0),
                      plate.AddVertex(2, 1, 0, 0)};
    G3EdgeList hole(4, h, nullptr, nullptr, nullptr, 0, 1);
    plate.AddFacetEdges(outer, &hole);
    ASSERT_EQ(2, Contours(outer));
    SetMaterial(outer, 7);
    G3SurfaceEdit edit(&plate);
    std::unique_ptr<G3Surface> copy(G3Surface::FormFacetSurface(plate.GetFacet(0)));
    EXPECT_EQ("", MeshCheck(copy.get()));
    ASSERT_EQ(1, copy->GetFacetCount());
    EXPECT_EQ(2, Contours(copy->GetFacet(0)));
    EXPECT_EQ(7, Material(copy->GetFacet(0)));
    copy->GenerateTexCoo(TEXTURE_PROJECTION_PLANAR);
    G3Facet* f = copy->GetFacet(0);
    for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
        G3TexCoo* t = nullptr;
        e->GetCorner(f, e->GetVertex1(), &t);
        ASSERT_NE(nullptr, t);
        EXPECT_EQ(e->GetVertex1()->GetXYZ()[0], t->GetU());
        EXPECT_EQ(e->GetVertex1()->GetXYZ()[1], t->GetV());
    }
    EXPECT_EQ(8, copy->GetTexCooCount());

    // Two unit boxes, the second placed one to the right: the four edges
    // of the face they share (met through that face and, for each edge,
    // through a coplanar pair of side faces too), each pair once.
    G3Surface a, b;
    AddBox(a, {0, 0, 0}, {1, 1, 1});
    AddBox(b, {0, 0, 0}, {1, 1, 1});
    double m[4][4];
    M4Identity(m);
    m[3][0] = 1.0;
    GArrayCollection common;
    EXPECT_TRUE(edit.FindCommonEdges(&a, &b, nullptr, m, &common));
    EXPECT_EQ(4, common.size());
    DeleteAll(common);
    m[3][0] = 1.5;
    EXPECT_FALSE(edit.FindCommonEdges(&a, &b, nullptr, m, &common));
}

} // namespace
