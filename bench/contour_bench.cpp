// Resolving an edge soup into contours: the concatenated contours of a
// 100 x 100 grid of unit squares (40 000 edges, every inner edge twice in
// opposite directions) cancel down to the grid's 400-edge outline, with
// linking on. A second case resolves a 40 x 40 grid of separate squares,
// each one contour of its own (1600 contours walked out of one graph).
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

const double kUp[4] = {0.0, 0.0, 1.0, 0.0};

// The square contours (counter-clockwise) of an n x n grid of cells; with a
// gap the squares are shrunk apart and share nothing.
G3EdgeList* GridSoup(G3Surface* s, int n, double gap)
{
    G3EdgeList* list = new G3EdgeList(0, 1);
    list->SetPlane(kUp);
    auto corner = [&](int x, int y, double dx, double dy) { return s->AddVertex(x + dx, y + dy, 0.0, 0); };
    if (gap == 0.0) {
        std::vector<G3Vertex*> grid;
        for (int y = 0; y <= n; ++y)
            for (int x = 0; x <= n; ++x)
                grid.push_back(corner(x, y, 0.0, 0.0));
        auto at = [&](int x, int y) { return grid[static_cast<size_t>(y * (n + 1) + x)]; };
        for (int y = 0; y < n; ++y) {
            for (int x = 0; x < n; ++x) {
                G3Vertex* q[4] = {at(x, y), at(x + 1, y), at(x + 1, y + 1), at(x, y + 1)};
                for (int k = 0; k < 4; ++k)
                    list->AddEdge(q[k], q[(k + 1) % 4], nullptr, nullptr, nullptr, nullptr, 1);
            }
        }
        return list;
    }
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            G3Vertex* q[4] = {corner(x, y, gap, gap), corner(x + 1, y, -gap, gap), corner(x + 1, y + 1, -gap, -gap),
                              corner(x, y + 1, gap, -gap)};
            for (int k = 0; k < 4; ++k)
                list->AddEdge(q[k], q[(k + 1) % 4], nullptr, nullptr, nullptr, nullptr, 1);
        }
    }
    return list;
}

void Resolve(benchmark::State& state, int n, double gap, int expected)
{
    G3Surface surface;
    G3EdgeList* soup = GridSoup(&surface, n, gap);
    GArrayCollection out;
    for (auto _ : state) {
        // Nothing crosses, so the soup is the same list on every round.
        soup->RemoveSelfIntersections(&out, &surface, true, UNION_EDGE_CANCEL_PAIRS, 0);
        if (out.size() != expected)
            state.SkipWithError("unexpected contour count");
        out.clear(true);
    }
    state.counters["edges"] = soup->size();
    delete soup;
}

void BM_GridOutline100(benchmark::State& state) { Resolve(state, 100, 0.0, 1); }
void BM_SeparateSquares40(benchmark::State& state) { Resolve(state, 40, 0.1, 1600); }

} // namespace

BENCHMARK(BM_GridOutline100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeparateSquares40)->Unit(benchmark::kMillisecond);
