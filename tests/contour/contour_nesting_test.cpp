#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

namespace {

// 150 rectangles, each inside or apart from every other (sides may touch),
// narrow or wide: every list's nesting count is the number holding it.
TEST(ContourNesting, RandomLaminarRectanglesCountTheirContainers)
{
    using Box = std::array<double, 4>; // x0 y0 x1 y1
    auto in = [](const Box& r, const Box& q) { return r[0] > q[0] && r[1] > q[1] && r[2] < q[2] && r[3] < q[3]; };
    for (unsigned seed = 1; seed <= 6; ++seed) {
        std::mt19937 rng(seed);
        std::vector<Box> kept;
        while (kept.size() < 150) {
            const double x0 = rng() % 60, y0 = rng() % 60;
            const Box r = {x0, y0, x0 + 1 + rng() % (seed % 2 ? 8 : 40), y0 + 1 + rng() % 8};
            bool fits = true;
            for (const Box& q : kept)
                fits = fits && (r[2] <= q[0] || q[2] <= r[0] || r[3] <= q[1] || q[3] <= r[1] || in(r, q) || in(q, r));
            if (fits)
                kept.push_back(r);
        }
        G3Surface store;
        GArrayCollection lists;
        for (const Box& r : kept) {
            G3Vertex* v[4] = {store.AddVertex(r[0], r[1], 0, 0), store.AddVertex(r[2], r[1], 0, 0),
                              store.AddVertex(r[2], r[3], 0, 0), store.AddVertex(r[0], r[3], 0, 0)};
            lists.add(new G3EdgeList(4, v, nullptr, nullptr, nullptr, 1, 1));
        }
        G3EdgeList::FormContourTypes(&lists);
        for (size_t a = 0; a < kept.size(); ++a) {
            int holders = 0;
            for (const Box& q : kept)
                holders += in(kept[a], q);
            G3EdgeList* c = static_cast<G3EdgeList*>(lists.get(static_cast<int>(a)));
            EXPECT_EQ(holders % 2 ? CONTOUR_TYPE_HOLE : CONTOUR_TYPE_OUTER, c->GetContourType()) << seed << " " << a;
            EXPECT_EQ(holders, c->GetInCount()) << seed << " " << a;
            delete c;
        }
    }
}

// Laminar rectangles on a coarse grid (sides shared and touching), some
// drawn twice as outlines of their own: other vertex objects, either way
// round, from any corner, with corners added along the sides (up to 40,
// so that big lists are asked through their edge bands). Each holds the
// rectangles inside it, and of two outlines of one rectangle the later one
// holds the earlier; before, each held the other and both were holes.
TEST(ContourNesting, RepeatedOutlinesOfOtherVerticesNestByCreationOrder)
{
    using Box = std::array<int, 4>; // x0 y0 x1 y1
    auto in = [](const Box& r, const Box& q) { return r[0] >= q[0] && r[1] >= q[1] && r[2] <= q[2] && r[3] <= q[3]; };
    std::mt19937 rng(11);
    for (int round = 0; round < 200; ++round) {
        std::vector<Box> kept;
        for (int tries = 0; tries < 60 && kept.size() < 7; ++tries) {
            const int x0 = rng() % 7, y0 = rng() % 7;
            const Box r = {x0, y0, x0 + 1 + int(rng() % 3), y0 + 1 + int(rng() % 3)};
            bool fits = true;
            for (const Box& q : kept)
                fits = fits && (r[2] <= q[0] || q[2] <= r[0] || r[3] <= q[1] || q[3] <= r[1] || in(r, q) || in(q, r));
            if (fits)
                kept.push_back(rng() % 3 ? r : kept.empty() ? r : kept[rng() % kept.size()]);
        }
        G3Surface store;
        GArrayCollection lists;
        for (const Box& r : kept) {
            const double c[4][2] = {
                {1. * r[0], 1. * r[1]}, {1. * r[2], 1. * r[1]}, {1. * r[2], 1. * r[3]}, {1. * r[0], 1. * r[3]}};
            const int extra = rng() % 3 ? 0 : int(rng() % 11);
            std::vector<G3Vertex*> v;
            for (int k = 0; k < 4; ++k)
                for (int m = 0; m <= extra; ++m) {
                    const double t = double(m) / (extra + 1);
                    const double* n = c[(k + 1) % 4];
                    v.push_back(store.AddVertex(c[k][0] + t * (n[0] - c[k][0]), c[k][1] + t * (n[1] - c[k][1]), 0, 0));
                }
            if (rng() % 2)
                std::reverse(v.begin(), v.end());
            std::rotate(v.begin(), v.begin() + rng() % v.size(), v.end());
            lists.add(new G3EdgeList(int(v.size()), v.data(), nullptr, nullptr, nullptr, 1, 1));
        }
        G3EdgeList::FormContourTypes(&lists);
        for (size_t a = 0; a < kept.size(); ++a) {
            int holders = 0;
            for (size_t b = 0; b < kept.size(); ++b)
                holders += b != a && in(kept[a], kept[b]) && (kept[a] != kept[b] || b > a);
            EXPECT_EQ(holders, static_cast<G3EdgeList*>(lists.get(int(a)))->GetInCount()) << round << " " << a;
        }
        lists.clear(true);
    }
}

// Stars and polygons of 3 to 80 corners (so that big lists are asked through
// their edge bands), on integer coordinates in half the seeds (corners on
// the lines of other lists' corners, sides on sides), some repeated with the
// same vertices (equal lists) and some nested: the counts are those of the
// all-pairs rule, IsIn against every other list.
TEST(ContourNesting, RandomFieldsCountAsAllPairs)
{
    for (unsigned seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        const bool grid = seed % 2 == 0;
        const double side = 30.0 + 10.0 * (seed % 3);
        G3Surface store;
        GArrayCollection lists;
        std::vector<std::vector<G3Vertex*>> rings;
        while (lists.size() < 160) {
            std::vector<G3Vertex*> ring;
            if (!rings.empty() && rng() % 8 == 0) {
                ring = rings[rng() % rings.size()]; // an equal list
            } else {
                const int n = rng() % 4 == 0 ? 25 + static_cast<int>(rng() % 56) : 3 + static_cast<int>(rng() % 10);
                const double cx = side * unit(rng), cy = side * unit(rng);
                const double r = 1.0 + (rng() % 6 == 0 ? 12.0 : 4.0) * unit(rng);
                const bool star = rng() % 2 == 0;
                for (int k = 0; k < n; ++k) {
                    const double a = 2.0 * M_PI * k / n + 0.3 * seed;
                    const double rk = star && k % 2 ? r * (0.3 + 0.5 * unit(rng)) : r;
                    double x = cx + rk * std::cos(a), y = cy + rk * std::sin(a);
                    if (grid) {
                        x = std::round(x);
                        y = std::round(y);
                    }
                    if (!ring.empty() && ring.back()->GetXYZ(0) == x && ring.back()->GetXYZ(1) == y)
                        continue;
                    ring.push_back(store.AddVertex(x, y, 0, 0));
                }
                if (ring.size() < 3)
                    continue;
            }
            rings.push_back(ring);
            lists.add(new G3EdgeList(static_cast<int>(ring.size()), ring.data(), nullptr, nullptr, nullptr, 1, 1));
        }
        G3EdgeList::FormContourTypes(&lists);
        for (int a = 0; a < lists.size(); ++a) {
            G3EdgeList* c = static_cast<G3EdgeList*>(lists.get(a));
            int holders = 0;
            for (int b = 0; b < lists.size(); ++b) {
                G3EdgeList* d = static_cast<G3EdgeList*>(lists.get(b));
                if (d != c && !(c->Equals(d) && d->GetSerial() < c->GetSerial()) && c->IsIn(d))
                    ++holders;
            }
            EXPECT_EQ(holders, c->GetInCount()) << a;
            EXPECT_EQ(holders % 2 ? CONTOUR_TYPE_HOLE : CONTOUR_TYPE_OUTER, c->GetContourType()) << a;
        }
        for (int a = 0; a < lists.size(); ++a)
            delete static_cast<G3EdgeList*>(lists.get(a));
    }
}

} // namespace
