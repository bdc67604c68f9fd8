// Resolving an edge soup into contours: the concatenated contours of a
// 100 x 100 grid of unit squares (40 000 edges, every inner edge twice in
// opposite directions) cancel down to the grid's 400-edge outline, with
// linking on. A second case resolves a 40 x 40 grid of separate squares,
// each one contour of its own (1600 contours walked out of one graph). The
// last ones resolve one square with 1000 and 4000 small square holes on a
// jittered grid: every hole is bridged to the square, one contour in all.
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"

#include <benchmark/benchmark.h>

#include <cstdint>
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

// A square of k x k cells (k * k >= n), each of the first n cells holding
// a square hole 2 to 4 wide, moved up to 2 off the cell's centre.
G3EdgeList* HolesSoup(G3Surface* s, int n)
{
    G3EdgeList* list = new G3EdgeList(0, 1);
    list->SetPlane(kUp);
    int k = 1;
    while (k * k < n)
        ++k;
    std::uint64_t state = 7;
    auto unit = [&state]() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(state >> 11) / 9007199254740992.0;
    };
    auto square = [&](double x0, double y0, double x1, double y1) {
        G3Vertex* q[4] = {s->AddVertex(x0, y0, 0.0, 0), s->AddVertex(x1, y0, 0.0, 0), s->AddVertex(x1, y1, 0.0, 0),
                          s->AddVertex(x0, y1, 0.0, 0)};
        for (int e = 0; e < 4; ++e)
            list->AddEdge(q[e], q[(e + 1) % 4], nullptr, nullptr, nullptr, nullptr, 1);
    };
    square(0.0, 0.0, 10.0 * k, 10.0 * k);
    for (int c = 0; c < n; ++c) {
        const double x = 10.0 * (c / k) + 5.0 + 4.0 * unit() - 2.0;
        const double y = 10.0 * (c % k) + 5.0 + 4.0 * unit() - 2.0;
        const double a = 1.0 + unit();
        square(x - a, y - a, x + a, y + a);
    }
    return list;
}

void Resolve(benchmark::State& state, G3Surface& surface, G3EdgeList* soup, int expected)
{
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

void ResolveGrid(benchmark::State& state, int n, double gap, int expected)
{
    G3Surface surface;
    Resolve(state, surface, GridSoup(&surface, n, gap), expected);
}

void ResolveHoles(benchmark::State& state, int n)
{
    G3Surface surface;
    Resolve(state, surface, HolesSoup(&surface, n), 1);
}

void BM_GridOutline100(benchmark::State& state) { ResolveGrid(state, 100, 0.0, 1); }
void BM_SeparateSquares40(benchmark::State& state) { ResolveGrid(state, 40, 0.1, 1600); }
void BM_HolesInSquare1000(benchmark::State& state) { ResolveHoles(state, 1000); }
void BM_HolesInSquare4000(benchmark::State& state) { ResolveHoles(state, 4000); }

} // namespace

BENCHMARK(BM_GridOutline100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeparateSquares40)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HolesInSquare1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HolesInSquare4000)->Unit(benchmark::kMillisecond);
