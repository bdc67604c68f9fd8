// The facet tree against brute force: random boxes (points, flat slabs,
// boxes sharing faces and corners on a coarse grid) and segments (axis
// parallel, of zero length, ending on box faces). Every box the segment
// meets must come back, once, in the order of adding; nothing may come back
// that misses the box by more than the margin.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/mesh/G3FacetTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <vector>

namespace {

using P = std::array<double, 3>;

// Distance in parameter-free form: whether p + t (q - p), t in [0, 1],
// comes within `slack` of the box on every axis at once (long double).
bool SegmentMeets(const P& lo, const P& hi, const P& p, const P& q, long double slack)
{
    long double t0 = 0.0L, t1 = 1.0L;
    for (int a = 0; a < 3; ++a) {
        const long double d = static_cast<long double>(q[a]) - p[a];
        const long double l = lo[a] - slack, h = hi[a] + slack;
        if (d == 0.0L) {
            if (p[a] < l || p[a] > h)
                return false;
            continue;
        }
        long double u = (l - p[a]) / d, v = (h - p[a]) / d;
        if (u > v)
            std::swap(u, v);
        t0 = std::max(t0, u);
        t1 = std::min(t1, v);
    }
    return t0 <= t1;
}

P Point(std::mt19937& rng, bool snap)
{
    std::uniform_int_distribution<int> cell(0, 8);
    std::uniform_real_distribution<double> u(-1.0, 9.0);
    P p;
    for (double& c : p)
        c = snap ? cell(rng) : u(rng);
    return p;
}

} // namespace

TEST(FacetTree, FindsEveryBoxTheSegmentMeetsOnceInAddingOrder)
{
    const double margin = 1e-9;
    for (unsigned seed = 1; seed <= 6; ++seed) {
        std::mt19937 rng(seed);
        const int n = seed < 3 ? static_cast<int>(rng() % 6) : 200 + static_cast<int>(rng() % 800);
        std::vector<P> lo(static_cast<std::size_t>(n)), hi(static_cast<std::size_t>(n));
        G3FacetTree tree;
        for (int k = 0; k < n; ++k) {
            P a = Point(rng, rng() % 2 == 0);
            P b = a;
            const int kind = static_cast<int>(rng() % 4); // point, slab, box, long bar
            std::uniform_real_distribution<double> size(0.0, kind == 3 ? 8.0 : 1.5);
            for (int c = 0; c < 3; ++c)
                if (kind != 0 && !(kind == 1 && c == 0))
                    b[c] += rng() % 2 ? std::round(size(rng)) : size(rng);
            GEnvelope box;
            box.Init(a.data(), b.data());
            lo[static_cast<std::size_t>(k)] = a;
            hi[static_cast<std::size_t>(k)] = b;
            // Facet pointers stand in as tags: the tree never reads them.
            tree.Add(reinterpret_cast<G3Facet*>(static_cast<std::uintptr_t>(16 * (k + 1))), box, margin);
        }
        tree.Build();
        EXPECT_EQ(n, tree.GetFacetCount());
        for (int trial = 0; trial < 400; ++trial) {
            const P p = Point(rng, trial % 2 == 0);
            P q = Point(rng, trial % 3 == 0);
            if (trial % 7 == 0)
                q = p; // a point query
            if (trial % 5 == 0)
                for (int c = 0; c < 3; ++c)
                    if (c != trial % 3)
                        q[c] = p[c]; // along an axis
            GArrayCollection out;
            tree.FacetsAlong(p.data(), q.data(), &out);
            std::vector<int> found;
            for (int k = 0; k < out.size(); ++k)
                found.push_back(static_cast<int>(reinterpret_cast<std::uintptr_t>(out.get(k)) / 16) - 1);
            EXPECT_TRUE(std::is_sorted(found.begin(), found.end()));
            EXPECT_EQ(found.end(), std::adjacent_find(found.begin(), found.end()));
            for (int k = 0; k < n; ++k) {
                const bool listed = std::binary_search(found.begin(), found.end(), k);
                const std::size_t s = static_cast<std::size_t>(k);
                if (SegmentMeets(lo[s], hi[s], p, q, 0.0L)) {
                    EXPECT_TRUE(listed) << "seed " << seed << " trial " << trial << " box " << k;
                }
                if (!SegmentMeets(lo[s], hi[s], p, q, 2.0L * margin)) {
                    EXPECT_FALSE(listed) << "seed " << seed << " trial " << trial << " box " << k;
                }
            }
        }
    }
}
