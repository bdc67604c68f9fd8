// The ring a parent is kept in while holes join it, against a plain vector
// of its edges: runs spliced in at random places and over and over at the
// same place (which exhausts the room between labels and relabels), the
// list order, the passages at a vertex, the nearest-first order with its
// ties (integer coordinates) and the edges near a box.

#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "Geometry/processing/G3LinkRing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <tuple>
#include <vector>

TEST(LinkRing, AgreesWithAPlainListUnderRandomSplices)
{
    for (unsigned seed = 0; seed < 6; ++seed) {
        std::mt19937 rng(seed);
        G3Surface s;
        auto vertex = [&]() {
            return s.AddVertex(static_cast<double>(rng() % 40), static_cast<double>(rng() % 30), 0.0, 0);
        };
        G3EdgeList* list = new G3EdgeList(0, 1);
        std::vector<G3Vertex*> start = {vertex(), vertex(), vertex(), vertex()};
        for (int k = 0; k < 4; ++k)
            list->AddEdge(start[k], start[(k + 1) % 4], nullptr, nullptr, nullptr, nullptr, 1);
        const double lo[2] = {0.0, 0.0};
        const double hi[2] = {39.0, 29.0};
        G3LinkRing ring(list, 0, 1, lo, hi, 3000);
        std::vector<int> model = {0, 1, 2, 3}; // nodes in list order
        int chain = 3;
        for (int round = 0; round < 600; ++round) {
            // Every third run goes in after the last of these runs.
            const bool same = round % 3 == 0;
            const size_t at = same ? static_cast<size_t>(std::find(model.begin(), model.end(), chain) - model.begin())
                                   : rng() % model.size();
            std::vector<G3Edge*> run;
            const int k = 1 + static_cast<int>(rng() % 4);
            for (int m = 0; m < k; ++m)
                run.push_back(new G3Edge(vertex(), vertex()));
            const int first = ring.Size();
            ring.InsertAfter(model[at], run);
            for (int m = 0; m < k; ++m)
                model.insert(model.begin() + static_cast<long>(at) + 1 + m, first + m);
            if (same)
                chain = first + k - 1;
        }
        const int n = static_cast<int>(model.size());
        ASSERT_EQ(ring.Size(), n);
        for (int k = 0; k < n; ++k) {
            ASSERT_EQ(ring.Next(model[k]), model[(k + 1) % n]) << "seed " << seed;
            ASSERT_TRUE(k == 0 || ring.Before(model[k - 1], model[k]));
        }
        // Passages: every node arriving at a vertex, in list order.
        std::vector<int> arriving;
        for (int probe = 0; probe < 50; ++probe) {
            G3Vertex* v = ring.Edge(model[rng() % model.size()])->GetVertex2();
            std::vector<int> expected;
            for (int m : model)
                if (ring.Edge(m)->GetVertex2() == v)
                    expected.push_back(m);
            ring.Arriving(v, arriving);
            EXPECT_EQ(arriving, expected);
        }
        // Nearest first, equal distances in list order, up to a stop; and
        // the edges whose boxes meet a box.
        for (int probe = 0; probe < 40; ++probe) {
            const double p[3] = {static_cast<double>(rng() % 40) + (probe % 2) * 0.5,
                                 static_cast<double>(rng() % 30), 0.0};
            auto d2 = [&p](const double* q) { return (q[0] - p[0]) * (q[0] - p[0]) + (q[1] - p[1]) * (q[1] - p[1]); };
            std::vector<std::tuple<double, int, int>> order;
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

            const double blo[2] = {p[0] - 3.0, p[1] - 2.0};
            const double bhi[2] = {probe % 3 == 0 ? HUGE_VAL : p[0] + 3.0, p[1] + 2.0};
            std::vector<int> near;
            ring.EdgesNear(blo, bhi, [&](int m, const double*, const double*) { near.push_back(m); });
            std::vector<int> meets;
            for (int m : model) {
                const double* a = ring.Edge(m)->GetVertex1()->GetXYZ();
                const double* b = ring.Edge(m)->GetVertex2()->GetXYZ();
                bool in = true;
                for (int c = 0; c < 2; ++c)
                    in = in && std::fmax(a[c], b[c]) >= blo[c] && std::fmin(a[c], b[c]) <= bhi[c];
                if (in)
                    meets.push_back(m);
            }
            std::sort(near.begin(), near.end());
            std::sort(meets.begin(), meets.end());
            EXPECT_EQ(near, meets);
        }
        ring.Unload();
        for (int k = 0; k < n; ++k)
            ASSERT_EQ(list->GetEdge(k), ring.Edge(model[k]));
        delete list;
    }
}
