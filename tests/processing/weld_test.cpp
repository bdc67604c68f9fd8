// Welding of vertices, normals and texture coordinates, splitting of edges
// at vertices lying on them, and vertex replacement.

#include "common/builders.h"
#include "common/fingerprint.h"
#include "mesh/mesh_check.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GRandom.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3MeshCheck.h"
#include "Geometry/mesh/G3PointHash.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "Geometry/processing/G3Weld.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace testmesh;
using P = P3;

double Distance(const P& a, const P& b) { return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]); }

// Where p lies along a -> b (0 at a, 1 at b), and whether it lies on the
// segment's interior within 1e-5.
double Along(const P& a, const P& b, const P& p, bool* inside)
{
    double d[3], len2 = 0.0, t = 0.0;
    for (int c = 0; c < 3; ++c) {
        d[c] = b[c] - a[c];
        len2 += d[c] * d[c];
        t += (p[c] - a[c]) * d[c];
    }
    t /= len2;
    const P foot = {a[0] + t * d[0], a[1] + t * d[1], a[2] + t * d[2]};
    *inside =
        t > 0.0 && t < 1.0 && Distance(p, foot) < 1e-5 && Distance(p, a) > 1e-5 && Distance(p, b) > 1e-5;
    return t;
}

} // namespace

TEST(Weld, StrictToleranceRepresentativesAndCollapses)
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
    EXPECT_EQ("", MeshCheck(&s));
    s.RemoveUnused();
    EXPECT_EQ(7, s.GetVertexCount());
    EXPECT_EQ(9, s.GetEdgeCount()); // the shared pair keeps two boundary edges
    EXPECT_EQ("", MeshCheck(&s));

    // A quad with two corners 0.5e-6 apart becomes a triangle; a triangle
    // with two such corners goes; a loose edge (no facet) goes.
    G3Surface c;
    G3Facet* quad = SoupFacet(c, {{0, 0, 0}, {2, 0, 0}, {2, 0.5e-6, 0}, {0, 2, 0}});
    SoupFacet(c, {{5, 0, 0}, {6, 0, 0}, {6, 0, 0.5e-6}});
    c.AddEdge(c.AddVertex(9, 9, 9, 0), c.AddVertex(9, 9, 10, 0), nullptr);
    c.RemoveEqualsVertex();
    ASSERT_EQ(1, c.GetFacetCount());
    EXPECT_EQ(quad, c.GetFacet(0));
    EXPECT_EQ(3, quad->GetEdgeCount());
    EXPECT_EQ(3, c.GetEdgeCount());
    EXPECT_EQ(3, c.GetVertexCount());
    EXPECT_EQ("", MeshCheck(&c));
}

// Soups of random triangles on a lattice of spacing 0.5 (flat, in a tilted
// plane, or in space), every corner jittered by at most 1.5e-7 per
// coordinate: copies of a lattice point weld, distinct ones lie far apart,
// and triangle sides pass through other triangles' corners (T-junctions).
// Brute force over all corners says what the weld and the splits must give:
// each point's representative is the first corner closer than 1e-6, and
// each side runs through the representatives on it in order. The sized
// hash of the composite pass and a fixed 24-cell grid agree with it.
TEST(Weld, RandomSoupsWeldAndSplitAsBruteForceSays)
{
    size_t splits = 0, welded = 0;
    for (unsigned seed = 1; seed <= 12; ++seed) {
        GSRand(seed);
        const int kind = seed % 3;
        auto jitter = []() { return (GRand() / double(G_RAND_MAX) - 0.5) * 3e-7; };
        std::vector<std::array<P, 3>> triangles;
        while (triangles.size() < 120) {
            std::array<int, 9> c;
            for (int& v : c)
                v = GRand() % 6;
            std::array<P, 3> t;
            for (int k = 0; k < 3; ++k) {
                const double x = 0.5 * c[3 * k], y = 0.5 * c[3 * k + 1];
                const double z = kind == 0 ? 0.0 : kind == 1 ? 0.25 * x + 0.5 * y : 0.5 * (c[3 * k + 2] % 3);
                t[k] = {x, y, z};
            }
            const double u[3] = {t[1][0] - t[0][0], t[1][1] - t[0][1], t[1][2] - t[0][2]};
            const double w[3] = {t[2][0] - t[0][0], t[2][1] - t[0][1], t[2][2] - t[0][2]};
            if (std::hypot(u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]) <
                1e-3)
                continue; // collinear
            for (P& p : t)
                p = {p[0] + jitter(), p[1] + jitter(), p[2] + jitter()};
            triangles.push_back(t);
        }
        // The representatives, by brute force over the corners in order.
        std::vector<P> reps;
        auto rep = [&reps](const P& p) {
            for (const P& r : reps)
                if (Distance(p, r) < 1e-6)
                    return r;
            return p;
        };
        for (const auto& t : triangles)
            for (const P& p : t)
                if (rep(p) == p)
                    reps.push_back(p);
        welded += 3 * triangles.size() - reps.size();

        for (bool sized : {true, false}) {
            SCOPED_TRACE(std::to_string(seed) + (sized ? " sized hash" : " fixed grid"));
            G3Surface s;
            for (const auto& t : triangles)
                SoupFacet(s, {t[0], t[1], t[2]});
            if (sized) {
                s.RemoveEqualsVertexAndDivideEdges();
            } else {
                GEnvelope env;
                s.FormEnvelope(&env);
                G3PointHash grid(24, env.min, env.max, 1e-6);
                s.RemoveEqualsVertex(&grid);
                s.DivideEdgesByVertex(&grid);
                s.RemoveUnused();
            }
            EXPECT_EQ("", MeshCheck(&s));
            ASSERT_EQ(static_cast<int>(reps.size()), s.GetVertexCount());
            ASSERT_EQ(static_cast<int>(triangles.size()), s.GetFacetCount());
            for (int f = 0; f < s.GetFacetCount(); ++f) {
                std::vector<P> expected;
                for (int k = 0; k < 3; ++k) {
                    const P a = rep(triangles[f][k]), b = rep(triangles[f][(k + 1) % 3]);
                    std::vector<std::pair<double, P>> on;
                    for (const P& r : reps) {
                        bool inside = false;
                        const double t = Along(a, b, r, &inside);
                        if (inside)
                            on.push_back({t, r});
                    }
                    std::sort(on.begin(), on.end());
                    expected.push_back(a);
                    for (const auto& o : on)
                        expected.push_back(o.second);
                }
                splits += expected.size() - 3;
                std::vector<P> found;
                for (G3Vertex* v : Corners(s.GetFacet(f)))
                    found.push_back({v->GetX(), v->GetY(), v->GetZ()});
                const auto start = std::find(found.begin(), found.end(), expected[0]);
                ASSERT_NE(start, found.end()) << "facet " << f;
                std::rotate(found.begin(), start, found.end());
                ASSERT_EQ(expected, found) << "facet " << f;
            }
        }
    }
    // The generator reaches the cases it is meant for.
    EXPECT_GT(welded, 1000u);
    EXPECT_GT(splits, 1000u);
}

TEST(Weld, TJunctionRules)
{
    // A vertex within 1e-6 of an end of the long edge along the dominant
    // axis, or farther than 1e-6 from its line, is not inserted; (2, 0)
    // lying on an edge of its own facet is not inserted either.
    G3Surface s;
    G3Facet* big = SoupFacet(s, {{0, 0, 0}, {100, 100, 100}, {0, 0, 50}});
    SoupFacet(s, {{0.9e-6, 0.9e-6, 0.2e-6}, {-1, -1, 0}, {0, -1, -1}});
    SoupFacet(s, {{50, 50, 50 + 3e-6}, {51, 52, 53}, {52, 51, 53}});
    G3Facet* own = SoupFacet(s, {{200, 0, 0}, {204, 0, 0}, {204, 2, 0}, {202, 0, 0}, {200, 2, 0}});
    s.RemoveEqualsVertexAndDivideEdges();
    EXPECT_EQ("", MeshCheck(&s));
    EXPECT_EQ(3, big->GetEdgeCount());
    EXPECT_EQ(5, own->GetEdgeCount());

    // Direct calls: nothing to insert.
    GArrayCollection none;
    EXPECT_FALSE(s.DivideEdgeByVertex(s.GetEdge(0), nullptr, &none));
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

// Square 0..3 split along 0-2 and a free vertex 4: the facets move onto
// 4, then collapse onto a neighbour (f = (0, 1, 4) loses the edge 1-4 and
// is left empty, g = (0, 4, 3) becomes (0, 1, 3)). With a list of removed
// edges, quads (0,1,2,3) and (1,4,5,2) sharing 1-2 collapse 2 onto 1.
TEST(Weld, ChangeVertexRebuildsAndCollapses)
{
    G3Surface s;
    for (P p : std::vector<P>{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 2, 0}})
        s.AddVertex(p[0], p[1], p[2], 0);
    G3Facet* f = FacetByIds(s, {0, 1, 2});
    G3Facet* g = FacetByIds(s, {0, 2, 3});
    G3Vertex* v2 = s.GetVertex(2);
    EXPECT_TRUE(s.ChangeVertex(v2, s.GetVertex(4)));
    EXPECT_EQ("", MeshCheck(&s));
    EXPECT_FALSE(v2->HasEdges());
    GArrayCollection pair;
    EXPECT_EQ(2, G3Surface::GetCountEdges(s.GetVertex(0), s.GetVertex(4), &pair));
    EXPECT_EQ(1, pair.size()); // f and g share the edge 0-4
    EXPECT_TRUE(s.ChangeVertex(s.GetVertex(4), s.GetVertex(1)));
    EXPECT_EQ("", MeshCheck(&s));
    EXPECT_FALSE(f->HasEdges());
    EXPECT_EQ(3, g->GetEdgeCount());
    EXPECT_TRUE(g->ContainsVertex(s.GetVertex(1)));

    G3Surface q;
    for (P p : std::vector<P>{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}, {2, 1, 0}})
        q.AddVertex(p[0], p[1], p[2], 0);
    G3Facet* q1 = FacetByIds(q, {0, 1, 2, 3});
    G3Facet* q2 = FacetByIds(q, {1, 4, 5, 2});
    G3Vertex* v1 = q.GetVertex(1);
    GArrayCollection removed;
    EXPECT_TRUE(q.ChangeVertex(q.GetVertex(2), v1, &removed));
    ASSERT_EQ(1, removed.size());
    G3Edge* gone = static_cast<G3Edge*>(removed.get(0));
    EXPECT_TRUE(gone->GetFacet1() == nullptr && gone->GetFacet2() == nullptr);
    EXPECT_TRUE(gone->GetVertex1() == v1 && gone->GetVertex2() == v1);
    EXPECT_EQ(3, q1->GetEdgeCount());
    EXPECT_EQ(3, q2->GetEdgeCount());
    EXPECT_TRUE(q.RemoveEdge(gone));
    EXPECT_EQ("", MeshCheck(&q));
    EXPECT_EQ(6, q.GetEdgeCount());
}

// The one-call weld skips the cleanup passes its own walks make needless;
// it must leave what the weld through a fixed grid followed by the full
// cleanup leaves, list for list and in the same order. The soups mix
// triangles and quads on a coarse lattice (so corners weld and some facets
// collapse to nothing), vertices no facet uses (before, between and after
// the facets' own) and facet-less edges.
TEST(Weld, OneCallWeldLeavesWhatTheFullCleanupLeaves)
{
    size_t collapsed = 0, bare = 0;
    for (unsigned seed = 1; seed <= 10; ++seed) {
        SCOPED_TRACE(seed);
        auto build = [seed](G3Surface& s) {
            GSRand(seed);
            auto lattice = []() { return 0.5 * (GRand() % 4) + (GRand() % 3 - 1) * 3e-7; };
            auto point = [&lattice]() { return P{lattice(), lattice(), lattice()}; };
            for (int i = 0; i < 150; ++i) {
                const int kind = GRand() % 8;
                if (kind == 0) {
                    const P p = point();
                    s.AddVertex(p[0], p[1], p[2], 0);
                } else if (kind == 1) {
                    const P p = point(), q = point();
                    s.AddEdge(s.AddVertex(p[0], p[1], p[2], 0), s.AddVertex(q[0], q[1], q[2], 0), nullptr);
                } else {
                    std::vector<P> corners(kind < 5 ? 3 : 4);
                    for (P& c : corners)
                        c = point();
                    SoupFacet(s, corners);
                }
            }
        };
        G3Surface once, twice;
        build(once);
        build(twice);
        const int before = once.GetFacetCount();
        once.RemoveEqualsVertex();
        GEnvelope env;
        twice.FormEnvelope(&env);
        G3PointHash grid(24, env.min, env.max, 1e-6);
        twice.RemoveEqualsVertex(&grid);
        twice.RemoveUnused();
        EXPECT_EQ("", MeshCheck(&once));
        ASSERT_EQ(twice.GetVertexCount(), once.GetVertexCount());
        ASSERT_EQ(twice.GetEdgeCount(), once.GetEdgeCount());
        ASSERT_EQ(twice.GetFacetCount(), once.GetFacetCount());
        for (int i = 0; i < once.GetVertexCount(); ++i)
            ASSERT_EQ(Xyz(twice.GetVertex(i)), Xyz(once.GetVertex(i))) << "vertex " << i;
        for (int f = 0; f < once.GetFacetCount(); ++f) {
            std::vector<Vd> a, b;
            for (G3Vertex* v : Corners(once.GetFacet(f)))
                a.push_back(Xyz(v));
            for (G3Vertex* v : Corners(twice.GetFacet(f)))
                b.push_back(Xyz(v));
            ASSERT_EQ(b, a) << "facet " << f;
        }
        collapsed += static_cast<size_t>(before - once.GetFacetCount());
        for (int i = 0; i < once.GetVertexCount(); ++i)
            bare += once.GetVertex(i)->HasEdges() ? 0 : 1;
    }
    // The generator collapses facets; no bare vertex survives either weld.
    EXPECT_GT(collapsed, 20u);
    EXPECT_EQ(0u, bare);
}

// The repair command skips the second weld round when the first split no
// edge and no facet was dropped in between. Small random soups of lattice
// polygons (jittered copies of corners, corners on other polygons' sides,
// self-touching quads and pentagons) check the claim that round rests on:
// after a round that split nothing, another changes nothing at all.
TEST(Weld, ARoundThatSplitNothingLeavesNothingForTheNext)
{
    int quiet = 0, busy = 0;
    for (unsigned seed = 1; seed <= 400; ++seed) {
        SCOPED_TRACE(seed);
        GSRand(seed);
        auto lattice = []() { return 0.5 * (GRand() % 3) + (GRand() % 3 - 1) * 3e-7; };
        G3Surface s;
        const int facets = 2 + GRand() % 6;
        for (int i = 0; i < facets; ++i) {
            std::vector<P> corners(3 + GRand() % 3);
            for (P& c : corners)
                c = {lattice(), lattice(), seed % 2 ? 0.0 : lattice()};
            SoupFacet(s, corners);
        }
        const int splits = G3WeldAndDivide(&s);
        const int before = s.GetFacetCount();
        s.FormPlaneEquation();
        s.RemoveTrivialFacets();
        ASSERT_EQ("", MeshCheck(&s));
        if (splits > 0 || s.GetFacetCount() != before) {
            ++busy;
            continue;
        }
        ++quiet;
        const std::string once = Fingerprint(&s);
        s.RemoveEqualsVertexAndDivideEdges();
        ASSERT_EQ(once, Fingerprint(&s));
    }
    EXPECT_GT(quiet, 60);
    EXPECT_GT(busy, 60);
}

TEST(Weld, SoupSlabWithOpeningsAlongItsSidesStaysClosed)
{
    // A slab given as a soup: two caps with a hole contour per opening and a
    // wall facet per boundary run, every facet with its own vertices, each
    // contour starting at a random corner. Openings in a row along the
    // outline's foot touch it, and each other, along whole sides, so once
    // welded a cap runs along such a segment in two of its contours. Where
    // a hole starts at the corner at which the contour before it ends, the
    // two read as one walk; the side beyond must still be split at the
    // hole's corners, or the repair leaves the slab open.
    std::mt19937 rng(57);
    int built = 0;
    for (int iter = 0; iter < 48; ++iter) {
        SCOPED_TRACE(iter);
        const int w = 1 + static_cast<int>(rng() % 3), gap = static_cast<int>(rng() % 2);
        const int n = 1 + static_cast<int>(rng() % 4), x0 = static_cast<int>(rng() % 2);
        const int W = x0 + n * w + (n - 1) * gap + static_cast<int>(rng() % 2), H = 2 + static_cast<int>(rng() % 3);
        std::vector<std::array<int, 4>> holes; // x0 y0 x1 y1, each at least one cell below the top
        for (int i = 0; i < n; ++i)
            holes.push_back({x0 + i * (w + gap), 0, x0 + i * (w + gap) + w, 1 + static_cast<int>(rng() % (H - 1))});
        std::vector<char> solid(W * H, 1);
        for (const auto& r : holes)
            for (int x = r[0]; x < r[2]; ++x)
                for (int y = r[1]; y < r[3]; ++y)
                    solid[y * W + x] = 0;
        auto isSolid = [&](int x, int y) { return x >= 0 && y >= 0 && x < W && y < H && solid[y * W + x]; };
        const double at = iter % 2 ? 5e5 : 0.0, t = 0.3;
        G3Surface s;
        auto vertex = [&](int x, int y, double z) { return s.AddVertex(at + x, 1.2 * at + y, at + z, 0); };
        for (int cap = 0; cap < 2; ++cap) { // the top faces up, the bottom down
            G3Facet* f = nullptr;
            for (int k = -1; k < n; ++k) {
                const std::array<int, 4> r = k < 0 ? std::array<int, 4>{0, 0, W, H} : holes[k];
                std::vector<G3Vertex*> ring;
                const int start = rng() % 2 ? 0 : static_cast<int>(rng() % 4); // mostly the lower left
                for (int c = 0; c < 4; ++c) {
                    const int m = (start + c) % 4;
                    ring.push_back(vertex(r[m == 1 || m == 2 ? 2 : 0], r[m >= 2 ? 3 : 1], cap ? t : 0.0));
                }
                if ((k < 0) != (cap == 1))
                    std::reverse(ring.begin() + 1, ring.end());
                G3EdgeList list(4, ring.data(), nullptr, nullptr, nullptr, 0, 0);
                f = f ? s.AddFacetEdges(f, &list) : s.AddFacet(4, ring.data(), 1, nullptr, nullptr);
                ASSERT_NE(nullptr, f);
            }
        }
        // Walls: unit sides with the solid on their left, joined along a
        // line into runs broken at random.
        for (int dir = 0; dir < 2; ++dir)
            for (int line = 0; line <= (dir ? W : H); ++line) {
                int runStart = -1, runSense = 0;
                for (int i = 0; i <= (dir ? H : W); ++i) {
                    int sense = 0;
                    if (i < (dir ? H : W)) {
                        const bool a = dir ? isSolid(line, i) : isSolid(i, line - 1);
                        const bool b = dir ? isSolid(line - 1, i) : isSolid(i, line);
                        sense = a == b ? 0 : (b ? 1 : -1);
                    }
                    if (runSense != 0 && (sense != runSense || rng() % 3 == 0)) {
                        int p[2] = {runStart, i};
                        if (runSense < 0)
                            std::swap(p[0], p[1]);
                        auto at2 = [&](int j, double z) { return dir ? vertex(line, p[j], z) : vertex(p[j], line, z); };
                        G3Vertex* q[4] = {at2(0, 0.0), at2(1, 0.0), at2(1, t), at2(0, t)};
                        ASSERT_NE(nullptr, s.AddFacet(4, q, 1, nullptr, nullptr));
                        runSense = 0;
                    }
                    if (sense != 0 && runSense == 0)
                        runStart = i, runSense = sense;
                }
            }
        s.FormPlaneEquation();
        const double volume = t * static_cast<double>(std::count(solid.begin(), solid.end(), 1));
        ASSERT_NEAR(G3SurfaceVolume(&s), volume, 1e-9 * volume);
        s.RemoveEqualsVertexAndDivideEdges();
        EXPECT_EQ("", MeshCheck(&s));
        s.RemoveTrivialFacets();
        EXPECT_EQ("", MeshCheck(&s));
        s.RemoveEqualsVertexAndDivideEdges();
        EXPECT_EQ("", MeshCheck(&s));
        s.RemoveEqualsFacets();
        EXPECT_EQ("", MeshCheck(&s));
        s.RemoveNonManifoldEdges();
        EXPECT_EQ("", MeshCheck(&s));
        // Along a segment two of its contours share, a cap keeps one edge
        // per contour, each with one side: closed as every pair is even.
        EXPECT_TRUE(s.GetClosed());
        EXPECT_NEAR(G3SurfaceVolume(&s), volume, 1e-9 * volume);
        ASSERT_TRUE(s.Triangulate(4, 0));
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_EQ("", G3ClosedCheck(&s));
        EXPECT_NEAR(G3SurfaceVolume(&s), volume, 1e-9 * volume);
        ++built;
    }
    EXPECT_EQ(48, built);
}
