// Randomized roofs (fixed seeds) against oracles that never look at the
// sweep: over a convex outline the roof is the lower envelope of the pitch
// planes; over any outline every facet lies in its edge's plane and the
// projections tile the outline exactly, and with one pitch the roof stays
// under the distance cone.
#include "roof_support.h"

#include "Geometry/processing/G3SurfaceEdit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>

using namespace roof;

namespace {

// Every vertex of the roof lies on the lower envelope of the pitch planes
// (the roof over a convex outline).
void ExpectOnLowerEnvelope(G3Surface* s, const std::vector<Pt>& p, const std::vector<double>& a, double tol)
{
    for (int i = 0; i < s->GetVertexCount(); ++i) {
        const double* q = s->GetVertex(i)->GetXYZ();
        double env = 1e300;
        for (int e = 0; e < static_cast<int>(p.size()); ++e)
            env = std::fmin(env, PlaneHeight(q, p, a, e));
        ASSERT_NEAR(env, q[2], tol) << "vertex " << i;
    }
}

} // namespace

TEST(RoofRandom, ConvexOutlineIsLowerEnvelopeOfPlanes)
{
    for (unsigned seed = 1; seed <= 400; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        const int n = 3 + static_cast<int>(seed % 28);
        // Corners on an ellipse at sorted random angles (counter-clockwise).
        std::vector<double> t;
        for (int i = 0; i < n; ++i)
            t.push_back(2.0 * kPi * unit(rng));
        std::sort(t.begin(), t.end());
        const double rx = 3.0 + 10.0 * unit(rng), ry = 3.0 + 10.0 * unit(rng);
        std::vector<Pt> p;
        std::vector<double> a;
        for (double ti : t) {
            const Pt q = {rx * std::cos(ti), ry * std::sin(ti)};
            if (!p.empty() && std::hypot(q.x - p.back().x, q.y - p.back().y) < 1e-3)
                continue;
            p.push_back(q);
            a.push_back(Deg(10.0 + 60.0 * unit(rng)));
        }
        DropFlatCorners(p, a);
        if (p.size() < 3 || std::fabs(PolygonArea(p)) < 1.0)
            continue;
        // Degenerate placements handed to the generator: a repeated corner
        // and a point in the middle of an edge with the edge's pitch (both
        // removed before the sweep).
        std::vector<Pt> in = p;
        std::vector<double> ain = a;
        const std::size_t k = seed % p.size();
        in.insert(in.begin() + static_cast<long>(k) + 1, p[k]);
        ain.insert(ain.begin() + static_cast<long>(k) + 1, Deg(80));
        const std::size_t m = (k + 2) % p.size();
        const std::size_t mi = m <= k ? m : m + 1; // m's place in `in`
        const Pt& prev = p[(m + p.size() - 1) % p.size()];
        in.insert(in.begin() + static_cast<long>(mi), Pt{0.5 * (prev.x + p[m].x), 0.5 * (prev.y + p[m].y)});
        ain.insert(ain.begin() + static_cast<long>(mi), a[m]);
        if (seed % 2) {
            std::reverse(in.begin(), in.end());
            std::reverse(ain.begin(), ain.end());
            std::rotate(ain.begin(), ain.end() - 1, ain.end());
        }
        G3Surface s;
        ASSERT_TRUE(Build(&s, in, ain));
        ExpectRoofInPlanes(&s, in, ain, false);
        ExpectOnLowerEnvelope(&s, p, a, 1e-9);
    }
    // Corners in clusters a tenth of a millimetre apart on the ellipse (a
    // survey's doubled points): a tiny edge turned by a hair from the long
    // ones beside it shrinks to a stub the level's cleaning then removes as
    // straight; the long edge must keep its own plane there.
    for (unsigned seed = 1; seed <= 300; ++seed) {
        SCOPED_TRACE("cluster seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        const double rx = 3.0 + 8.0 * unit(rng), ry = 3.0 + 8.0 * unit(rng);
        std::vector<Pt> p;
        const int n = 4 + static_cast<int>(seed % 9);
        for (int i = 0; i < n; ++i) {
            const double t = 2.0 * kPi * (i + 0.4 * unit(rng)) / n;
            const int cluster = 1 + static_cast<int>(rng() % 3);
            for (int c = 0; c < cluster; ++c) {
                const double tc = t + 1e-4 * c / std::max(rx, ry);
                p.push_back({rx * std::cos(tc), ry * std::sin(tc)});
            }
        }
        const std::vector<double> a(p.size(), Deg(20.0 + 10.0 * static_cast<double>(seed % 4)));
        // Corners turning by less than the outline's straightness are
        // merged first, so facets lie in their planes and tile the outline
        // only to within that.
        G3Surface s;
        ASSERT_TRUE(Build(&s, p, a));
        EXPECT_EQ("", MeshCheck(&s));
        EXPECT_NEAR(std::fabs(PolygonArea(p)), RoofArea(&s, ROOF_FACET_ROOF), 1e-7 * std::fabs(PolygonArea(p)));
        ExpectOnLowerEnvelope(&s, p, a, 1e-6);
    }
}

// Star outlines (every fourth corner at the same radius as the one before
// it, so equal-height events meet; every third seed a pitch per edge) and
// rectilinear skylines with one pitch (bars on a common base: collinear
// edges, many events at one height, arms collapsing into spikes that fold
// back over a longer side).
TEST(RoofRandom, StarsAndSkylinesTileTheOutlineInTheirPlanes)
{
    for (unsigned seed = 100; seed < 500; ++seed) {
        SCOPED_TRACE("star seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        const int n = 5 + static_cast<int>(seed % 20);
        std::vector<Pt> p;
        for (int i = 0; i < n; ++i) {
            const double t = 2.0 * kPi * (i + 0.4 * unit(rng)) / n;
            const double r = (i % 4 == 3) ? std::hypot(p.back().x, p.back().y) : 4.0 + 6.0 * unit(rng);
            p.push_back({r * std::cos(t), r * std::sin(t)});
        }
        std::vector<double> a(p.size(), Deg(15.0 + 45.0 * unit(rng)));
        for (std::size_t i = 0; seed % 3 == 0 && i < a.size(); ++i)
            a[i] = Deg(15.0 + 45.0 * unit(rng));
        DropFlatCorners(p, a);
        G3Surface s;
        ASSERT_TRUE(Build(&s, p, a));
        ExpectRoofInPlanes(&s, p, a, seed % 3 != 0);
    }
    for (unsigned seed = 1; seed <= 200; ++seed) {
        SCOPED_TRACE("skyline seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        const int bars = 2 + static_cast<int>(seed % 9);
        std::vector<Pt> p = {{0, 0}, {2.0 * bars, 0}};
        for (int i = bars - 1; i >= 0; --i) {
            const double h = 2.0 + 2.0 * static_cast<double>(rng() % 4);
            p.push_back({2.0 * (i + 1), h});
            p.push_back({2.0 * i, h});
        }
        const double deg = 20.0 + 10.0 * (seed % 5);
        const std::vector<double> a(p.size(), Deg(deg));
        G3Surface s;
        ASSERT_TRUE(Build(&s, p, a));
        ExpectRoofInPlanes(&s, p, a, true);
        // Every bar's top reaches the ridge of its width (2) unless a
        // neighbour widens it: the roof is at least tan * 1 high.
        EXPECT_GE(ZRange(&s).second, std::tan(Deg(deg)) - 1e-9);
    }
    // A bar one wide with a block on one side and a tab one wide on the
    // other, one pitch or one per edge: the tab and the bar close at one
    // height, and the level edge left along the bar's ridge ran over the
    // ends of both facet rings of the eaves beside the tab (one plane). Its
    // section was dropped: a hole in the roof.
    for (unsigned seed = 1; seed <= 200; ++seed) {
        SCOPED_TRACE("bar seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        const double len = 7.0 + static_cast<double>(rng() % 4);
        const double b0 = 1.0 + static_cast<double>(rng() % 2), b1 = len - 1.0 - static_cast<double>(rng() % 2);
        const double t = 2.0 + static_cast<double>(rng() % static_cast<unsigned>(len - 4.0));
        const double x0 = 1.0 + static_cast<double>(rng() % 4);
        std::vector<Pt> p = {{0, b0},      {x0, b0},      {x0, 0},     {x0 + 1, 0},  {x0 + 1, t},  {x0 + 2, t},
                             {x0 + 2, t + 1}, {x0 + 1, t + 1}, {x0 + 1, len}, {x0, len}, {x0, b1}, {0, b1}};
        std::vector<double> a(p.size(), Deg(20.0 + 10.0 * static_cast<double>(seed % 4)));
        for (std::size_t i = 0; seed % 2 == 0 && i < a.size(); ++i)
            a[i] = Deg(20.0 + 10.0 * static_cast<double>(rng() % 5));
        G3Surface s;
        ASSERT_TRUE(Build(&s, p, a));
        ExpectRoofInPlanes(&s, p, a, seed % 2 != 0);
    }
    // A strip with a square on its side, every wall a gable but the
    // strip's far end and the square's outer side: the square closes along
    // its inner gable at the height the strip's eave reaches that line (or
    // near it), and the level edge there runs on in line with the strip's
    // moving eave. Whichever edge the ring met first kept the line, and a
    // gable taking it left the rest of the strip to upright walls: a hole.
    for (unsigned seed = 1; seed <= 200; ++seed) {
        SCOPED_TRACE("strip seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        const double w = 1.0 + static_cast<double>(rng() % 4), side = 1.0 + static_cast<double>(rng() % 4);
        const double y0 = 1.0 + static_cast<double>(rng() % 3), len = y0 + 2.0 * side + static_cast<double>(rng() % 2);
        std::vector<Pt> p = {{0, 0}, {w, 0}, {w, y0}, {w + side, y0}, {w + side, y0 + side}, {w, y0 + side}, {w, len}, {0, len}};
        std::vector<double> a(p.size(), Deg(90.0));
        a[3] = a[7] = Deg(20.0 + 10.0 * static_cast<double>(rng() % 4));
        if (seed % 2 == 0) {
            // Mirrored: the ring meets the two edges the other way round.
            for (Pt& q : p)
                q.x = -q.x;
            std::reverse(p.begin(), p.end());
            std::rotate(a.begin(), a.begin() + 1, a.end());
            std::reverse(a.begin(), a.end());
        }
        G3Surface s;
        ASSERT_TRUE(Build(&s, p, a));
        ExpectRoofInPlanes(&s, p, a, false);
    }
    // A bar over a block, set off sideways, any edge a gable: where an eave
    // has closed to nothing beside a gable in its line, the gable keeps the
    // line. Regions walled by gables alone get no roof, so the oracle is the
    // mirror image: the same area, and never more than the outline's.
    for (unsigned seed = 1; seed <= 300; ++seed) {
        SCOPED_TRACE("bar over block seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        auto step = [&] { return 1.0 + static_cast<double>(rng() % 3); };
        const double a0 = 0.0, c = a0 + step(), b = c + step(), d = b + step(), h1 = step(), h2 = h1 + step();
        std::vector<Pt> p = {{d, h1}, {b, h1}, {b, 0}, {a0, 0}, {a0, h1}, {c, h1}, {c, h2}, {d, h2}};
        std::vector<double> a;
        for (std::size_t i = 0; i < p.size(); ++i)
            a.push_back(Deg(rng() % 3 == 0 ? 90.0 : 40.0));
        std::vector<Pt> m = p;
        for (Pt& q : m)
            q.x = -q.x;
        G3Surface s, sm;
        ASSERT_TRUE(Build(&s, p, a));
        ASSERT_TRUE(Build(&sm, m, a));
        EXPECT_NEAR(RoofArea(&s, ROOF_FACET_ROOF), RoofArea(&sm, ROOF_FACET_ROOF), 1e-9);
        EXPECT_LE(RoofArea(&s, ROOF_FACET_ROOF), std::fabs(PolygonArea(p)) + 1e-9);
    }
}

// Stars of alternating radii with many teeth, one pitch or mixed: their
// reflex corners race across the roof and meet edges at heights within the
// level band of other events. Each such meeting must split the level; a
// corner that crossed its edge unseen ran on past the outline, its facets
// over the others.
TEST(RoofRandom, CornersMeetingEdgesInTheBandOfALevelSplitIt)
{
    for (unsigned seed = 0; seed < 460; ++seed) {
        SCOPED_TRACE("toothed star seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        const int n = 6 + 2 * static_cast<int>(rng() % 120);
        std::vector<Pt> p;
        for (int i = 0; i < n; ++i) {
            const double t = 2.0 * kPi * (i + 0.3 * unit(rng)) / n;
            const double r = (i % 2 ? 0.6 : 1.0) * n / (2.0 * kPi) * (1.0 + 0.05 * unit(rng));
            p.push_back({r * std::cos(t), r * std::sin(t)});
        }
        std::vector<double> a;
        for (int i = 0; i < n; ++i)
            a.push_back(Deg(seed % 2 ? 20.0 + 10.0 * static_cast<double>(rng() % 4) : 30.0));
        G3Surface s;
        ASSERT_TRUE(Build(&s, p, a));
        EXPECT_NEAR(std::fabs(PolygonArea(p)), RoofArea(&s, ROOF_FACET_ROOF), 1e-9 * std::fabs(PolygonArea(p)));
    }
}

// Combs with teeth of random widths and lengths and stars of alternating
// radii (fixed seeds, up to 160 edges, one pitch or one per edge): the
// facets, their records and corners rounded to 1e-6, must hash to the value
// recorded from the sweep that tried every pair of edges and walked every
// facet ring from its head.
TEST(RoofRandom, CombsAndStarsKeepTheirRecordedFacets)
{
    unsigned long long hash = 1469598103934665603ULL;
    for (unsigned seed = 1; seed <= 80; ++seed) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        std::vector<Pt> p;
        if (seed % 2) {
            const int teeth = 1 + static_cast<int>(seed % 40);
            std::vector<double> x = {0.0};
            for (int i = 0; i < 2 * teeth; ++i)
                x.push_back(x.back() + 1.0 + 0.5 * unit(rng));
            p = {{0.0, 0.0}, {x[2 * teeth - 1], 0.0}};
            for (int i = teeth - 1; i >= 0; --i) {
                const double tip = 4.0 + 6.0 * unit(rng);
                p.insert(p.end(), {{x[2 * i + 1], tip}, {x[2 * i], tip}});
                if (i > 0)
                    p.insert(p.end(), {{x[2 * i], 2.0}, {x[2 * i - 1], 2.0}});
            }
        } else {
            const int n = 2 * (3 + static_cast<int>(seed % 80));
            for (int i = 0; i < n; ++i) {
                const double t = 2.0 * kPi * (i + 0.2 * unit(rng)) / n;
                const double r = n / (2.0 * kPi) * (i % 2 ? 0.6 : 1.0) * (1.0 + 0.05 * unit(rng));
                p.push_back({r * std::cos(t), r * std::sin(t)});
            }
        }
        std::vector<double> a(p.size(), Deg(30.0));
        for (std::size_t i = 0; seed % 3 == 0 && i < a.size(); ++i)
            a[i] = Deg(20.0 + 30.0 * unit(rng));
        G3Surface s;
        ASSERT_TRUE(Build(&s, p, a)) << "seed " << seed;
        std::vector<std::string> facets;
        for (int i = 0; i < s.GetFacetCount(); ++i) {
            std::string f = std::to_string(G3RoofGenerator::GetFacetIndex(s.GetFacet(i)));
            for (G3Vertex* v : Corners(s.GetFacet(i))) {
                char c[80];
                std::snprintf(c, sizeof c, " %.6f %.6f %.6f", v->GetXYZ()[0] + 0.0, v->GetXYZ()[1] + 0.0,
                              v->GetXYZ()[2] + 0.0);
                f += c;
            }
            facets.push_back(f);
        }
        std::sort(facets.begin(), facets.end());
        for (const std::string& f : facets)
            for (char c : f + "|")
                hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    EXPECT_EQ(0x1538ebe0ecaa05a9ULL, hash);
}

// Star-shaped outlines on a quarter-metre grid with a pitch per edge, wide
// overhangs and a thickness. Where the two lines of an edge meet inside
// the band (a steep edge between reflex corners of shallower pitch, whose
// valleys lean in over its strip; a valley running past a whole short
// edge), that edge's face closes there and its neighbours meet beyond it.
// A strip per edge folded over itself there, and such outlines were then
// refused. Every roof built must weld into a closed slab whose facets
// neither cross nor fold onto each other.
TEST(RoofRandom, ThickRoofsWithWideOverhangsCloseOrAreRefused)
{
    int built = 0, tried = 0;
    for (unsigned seed = 1; seed <= 600; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        const int n = 5 + static_cast<int>(rng() % 40);
        std::vector<Pt> p;
        std::vector<double> a;
        for (int i = 0; i < n; ++i) {
            const double t = 2.0 * kPi * (i + 0.4 * unit(rng)) / n, r = 5.0 + 10.0 * unit(rng);
            p.push_back({std::round(4.0 * r * std::cos(t)) / 4.0, std::round(4.0 * r * std::sin(t)) / 4.0});
            a.push_back(Deg(15.0 + 45.0 * unit(rng)));
        }
        const double overhang = seed % 3 == 0 ? 2.0 : seed % 3 == 1 ? 0.5 : 1.0;
        G3Surface s;
        ++tried;
        if (!Build(&s, p, a, 0.3, overhang))
            continue;
        ++built;
        s.RemoveEqualsVertexAndDivideEdges();
        EXPECT_EQ("", MeshCheck(&s));
        // Both layers face up: closed, though not an oriented solid.
        EXPECT_TRUE(s.GetClosed());
        s.RemoveNonManifoldEdges();
        s.FormPlaneEquation();
        int result = 0;
        EXPECT_TRUE(G3SurfaceEdit(&s).CheckFacets(0x1, result));
    }
    // Short edges turn around under a 1 or 2 m overhang: most refusals are
    // those (the faces closing in the band were 2 in 3 of them).
    EXPECT_GT(built, tried * 2 / 3) << built << " of " << tried;
}
