// The ring a parent is kept in while holes join it, against a plain vector
// of its nodes: runs spliced in at random places and over and over after
// the last of them (which exhausts the room between labels and relabels),
// then the list order and the nearest-first order with its ties (integer
// coordinates), from inside and outside the indexed room, and from a ring
// that keeps no grid.

#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "Geometry/processing/G3LinkRing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>
#include <vector>

TEST(LinkRing, AgreesWithAPlainListUnderRandomSplices)
{
    for (unsigned seed = 0; seed < 6; ++seed) {
        std::mt19937 rng(seed);
        G3Surface s;
        auto vertex = [&]() { return s.AddVertex(rng() % 40, rng() % 30, 0.0, 0); };
        G3EdgeList list(0, 1);
        G3Vertex* start[3] = {vertex(), vertex(), vertex()};
        for (int k = 0; k < 3; ++k)
            list.AddEdge(start[k], start[(k + 1) % 3], nullptr, nullptr, nullptr, nullptr, 1);
        const double lo[2] = {0.0, 0.0};
        const double hi[2] = {39.0, 29.0};
        G3LinkRing ring(&list, 0, 1, lo, hi, seed % 2 ? 2000 : 40); // indexed, or scanned whole
        std::vector<int> model = {0, 1, 2};
        int chain = 2;
        for (int round = 0; round < 600; ++round) {
            const bool chained = round % 3 == 0;
            const long at = chained ? std::find(model.begin(), model.end(), chain) - model.begin()
                                    : static_cast<long>(rng() % model.size());
            std::vector<G3Edge*> run(1 + rng() % 4);
            for (G3Edge*& e : run)
                e = new G3Edge(vertex(), vertex());
            const int first = ring.Size();
            ring.InsertAfter(model[static_cast<size_t>(at)], run);
            for (int m = 0; m < static_cast<int>(run.size()); ++m)
                model.insert(model.begin() + at + 1 + m, first + m);
            if (chained)
                chain = ring.Size() - 1;
        }
        const int n = static_cast<int>(model.size());
        for (int k = 0; k < n; ++k) {
            ASSERT_EQ(ring.Next(model[k]), model[(k + 1) % n]) << "seed " << seed;
            ASSERT_TRUE(k == 0 || ring.Before(model[k - 1], model[k])) << "seed " << seed;
        }
        for (int probe = 0; probe < 40; ++probe) {
            const double p[3] = {rng() % 40 + (probe % 2) * 0.5, rng() % 30 + 0.0, 0.0};
            auto d2 = [&p](const double* q) { return (q[0] - p[0]) * (q[0] - p[0]) + (q[1] - p[1]) * (q[1] - p[1]); };
            std::vector<std::tuple<double, int, int>> order; // distance, list position, node
            for (int k = 0; k < n; ++k)
                order.emplace_back(d2(ring.Edge(model[k])->GetVertex1()->GetXYZ()), k, model[k]);
            std::sort(order.begin(), order.end());
            const size_t stop = probe % 4 == 0 ? order.size() : rng() % order.size();
            std::vector<int> offered;
            const bool taken = ring.Nearest(p, d2, [&](int m, double) {
                offered.push_back(m);
                return offered.size() == stop + 1;
            });
            EXPECT_EQ(taken, stop < order.size());
            ASSERT_EQ(offered.size(), std::min(stop + 1, order.size()));
            for (size_t k = 0; k < offered.size(); ++k)
                ASSERT_EQ(offered[k], std::get<2>(order[k])) << "seed " << seed << " probe " << probe;
        }
        ring.Unload();
        for (int k = 0; k < n; ++k)
            ASSERT_EQ(list.GetEdge(k), ring.Edge(model[k]));
    }
}
