// The level-edge lookup hands over the same edges in its short form (with
// its cold list) and in its bucket form, through adds and removals (a
// bucket's longest length outliving the edge that set it) and the way back
// to the short form, on random edges over a few height keys that climb, as a
// sweep's do, and now and then fall back to where a split part resumes.
#include "Geometry/roof/G3RoofLevelEdges.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

TEST(RoofLevelEdges, BothFormsHandOverTheSameEdges)
{
    std::size_t handed = 0, removed = 0;
    for (unsigned seed = 1; seed <= 200; ++seed) {
        std::mt19937 rng(seed);
        auto unit = [&] { return static_cast<double>(rng() % 1000) / 100.0; };
        G3RoofLevelEdges few, many;
        // Far keys push `many` into buckets early on; no query reaches
        // them. Halfway they go, and `many` gathers back into its short list.
        const int far = 136;
        int next = 0;
        std::vector<int> live;
        long long level = 0;
        for (int step = 0; step < 90; ++step) {
            if (rng() % 4 == 0)
                level = rng() % 6 == 0 ? level - static_cast<long long>(rng() % 5) : level + 1;
            for (int i = 0; step == 5 && i < far; ++i)
                many.Add(1000 + i, 0.0, G3RoofLevelEdges::Entry{-1 - i, 0, 1.0});
            for (int i = 0; step == 30 && i < far; ++i) {
                many.Near(1000 + i, 1000 + i, 0.0, 1.0, [](const G3RoofLevelEdges::Entry&) { return true; });
                many.Remove();
            }
            if (live.size() < 40 && (live.empty() || rng() % 3)) {
                const long long key = level + static_cast<long long>(rng() % 3);
                const double lo = unit(), len = rng() % 4 ? unit() / 10 : unit();
                const G3RoofLevelEdges::Entry e{next, 0, lo + len};
                few.Add(key, lo, e);
                many.Add(key, lo, e);
                live.push_back(next++);
                continue;
            }
            const long long k0 = level + static_cast<long long>(rng() % 3) - 1, k1 = k0 + rng() % 2;
            const double lo = unit(), hi = lo + unit() / 5;
            std::set<int> got[2];
            const int drop = live[rng() % live.size()];
            bool dropped[2] = {false, false};
            G3RoofLevelEdges* forms[2] = {&few, &many};
            for (int f = 0; f < 2; ++f)
                forms[f]->Near(k0, k1, lo, hi, [&](const G3RoofLevelEdges::Entry& e) {
                    got[f].insert(e.x);
                    const bool take = e.x == drop;
                    dropped[f] = dropped[f] || take;
                    return take;
                });
            ASSERT_EQ(got[0], got[1]) << seed << " step " << step;
            handed += got[0].size();
            if (dropped[0]) {
                ++removed;
                few.Remove();
                many.Remove();
                live.erase(std::find(live.begin(), live.end(), drop));
            }
        }
    }
    EXPECT_GT(handed, 1000u);
    EXPECT_GT(removed, 200u);
}
