// The sparse box index over clusters far apart (and a few boxes of every
// odd kind): every box that meets a query is among its answers, ascending
// and once each, and the answers stay near the true ones, as brute force
// tells over random clustered sets.

#include "Geometry/math/GEnvelope.h"
#include "Geometry/mesh/G3BoxHash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

double Uniform(std::mt19937& gen, double lo, double hi) { return lo + (hi - lo) * (gen() / 4294967296.0); }

// A small box in one of `clusters` unit cubes a kilometre apart along a
// diagonal; every 40th one large (a hundred times the others), flat, a
// point, reaching to infinity or empty.
GEnvelope RandomBox(std::mt19937& gen, int clusters, int n)
{
    const double at = 1000.0 * static_cast<double>(gen() % static_cast<unsigned>(clusters));
    double lo[3], hi[3];
    for (int a = 0; a < 3; ++a) {
        lo[a] = at + Uniform(gen, 0, 1);
        hi[a] = lo[a] + Uniform(gen, 0, 0.02);
    }
    switch (n % 40) {
    case 3: hi[0] += 2.0; hi[1] += 1.5; break;
    case 5: hi[2] = lo[2]; break;
    case 7: hi[0] = lo[0]; hi[1] = lo[1]; hi[2] = lo[2]; break;
    case 9: hi[1] = std::numeric_limits<double>::infinity(); break;
    case 11: hi[0] = lo[0] - 1.0; break;
    case 13: lo[2] = std::nan(""); break;
    default: break;
    }
    GEnvelope box;
    box.Set(lo[0], lo[1], lo[2], hi[0], hi[1], hi[2]);
    return box;
}

}  // namespace

TEST(G3BoxHashTest, ClustersFarApartAnswerWhatBruteForceFinds)
{
    for (const int clusters : {1, 2, 4}) {
        std::mt19937 gen(static_cast<unsigned>(70 + clusters));
        std::vector<GEnvelope> boxes;
        for (int n = 0; n < 3000; ++n)
            boxes.push_back(RandomBox(gen, clusters, n));
        const G3BoxHash index(boxes);
        std::vector<int> got;
        long answers = 0, meeting = 0;
        int missed = 0, unordered = 0;
        for (int q = 0; q < 600; ++q) {
            const GEnvelope query = RandomBox(gen, clusters, q);
            index.Candidates(query, got);
            for (std::size_t k = 1; k < got.size(); ++k)
                unordered += got[k - 1] >= got[k];
            for (int b = 0; b < static_cast<int>(boxes.size()); ++b) {
                if (!query.IsIntersectXYZ(&boxes[static_cast<std::size_t>(b)]))
                    continue;
                ++meeting;
                missed += !std::binary_search(got.begin(), got.end(), b);
            }
            answers += static_cast<long>(got.size());
        }
        EXPECT_EQ(missed, 0) << clusters << " clusters";
        EXPECT_EQ(unordered, 0) << clusters << " clusters";
        // The 15 infinite queries take all 3000, the 75 infinite boxes
        // answer all 600 queries, the 75 large ones (two units long, a
        // coarse level's cells) most queries of their cluster, the rest a
        // few cells each: under 150000. A grid crowding each cluster into
        // a few cells answers a whole cluster per query (450000 or more).
        EXPECT_LT(answers, 50L * static_cast<long>(boxes.size())) << clusters << " clusters";
        EXPECT_GT(meeting, 0);
    }
}
