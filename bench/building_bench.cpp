// The engine at building scale, one thread, inputs built outside the timed
// part:
//   SlabUnionBoxes/n     a 0.3-thick slab united with one mesh of n small
//                        boxes standing through its top (n holes in the
//                        slab's top face, n loops on the boxes' walls)
//   StoreyDifference/n   a storey of about n walls (a grid of rooms, each
//                        wall its own box, clear of the others) minus one
//                        mesh of windows, one through every wall
//   StoreySection/n      that storey with its windows cut, sectioned at the
//                        windows' height (a floor plan)
//   HoledSlabSection/n   the slab minus n boxes (n shafts), sectioned at
//                        half its height
//   Classify/n           n points in a cube about a quarter of which the
//                        200k-triangle sphere fills
// Counters: facets of the result (points inside for Classify).
#include "bench/bench_sphere.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/boolean/G3SideBySide.h"
#include "Geometry/boolean/G3SolidsBuilder.h"
#include "Geometry/foundation/GRandom.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

// The box lo..hi, faces counter-clockwise seen from outside.
void AddBox(G3Surface* s, const double* lo, const double* hi)
{
    G3Vertex* v[8];
    for (int k = 0; k < 8; ++k)
        v[k] = s->AddVertex((k & 1) ? hi[0] : lo[0], (k & 2) ? hi[1] : lo[1], (k & 4) ? hi[2] : lo[2], 0);
    const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto& f : faces) {
        G3Vertex* q[4] = {v[f[0]], v[f[1]], v[f[2]], v[f[3]]};
        s->AddFacet(4, q, 1, nullptr, nullptr);
    }
}

std::unique_ptr<G3Surface> Solid(G3Surface* s)
{
    s->FormPlaneEquation();
    return std::unique_ptr<G3Surface>(s);
}

// The slab and its boxes: the boxes on a square grid of pitch 1, 0.4 wide,
// from z = 0.1 to 0.6 (the slab runs from 0 to 0.3).
int Side(int n) { return static_cast<int>(std::ceil(std::sqrt(static_cast<double>(n)))); }

std::unique_ptr<G3Surface> Slab(int n)
{
    const int side = Side(n);
    const double lo[3] = {-0.5, -0.5, 0.0}, hi[3] = {side - 0.5, side - 0.5, 0.3};
    G3Surface* s = new G3Surface();
    AddBox(s, lo, hi);
    return Solid(s);
}

std::unique_ptr<G3Surface> Boxes(int n, double z0, double z1)
{
    const int side = Side(n);
    G3Surface* s = new G3Surface();
    for (int k = 0; k < n; ++k) {
        const double x = k % side, y = k / side;
        const double lo[3] = {x - 0.2, y - 0.2, z0}, hi[3] = {x + 0.2, y + 0.2, z1};
        AddBox(s, lo, hi);
    }
    return Solid(s);
}

// A grid of r x r rooms 4 wide, walls 0.3 thick and 2.8 high standing
// between posts (a 0.1 gap at each end), so no two walls touch: 2r(r+1)
// walls. The windows: one 1 x 1.2 opening across every wall's middle.
struct Storey {
    std::unique_ptr<G3Surface> walls;
    std::unique_ptr<G3Surface> windows;
};

Storey MakeStorey(int wallCount)
{
    int r = 1;
    while (2 * r * (r + 1) < wallCount)
        ++r;
    G3Surface* walls = new G3Surface();
    G3Surface* windows = new G3Surface();
    for (int i = 0; i <= r; ++i)
        for (int j = 0; j < r; ++j)
            for (int dir = 0; dir < 2; ++dir) {
                // Along x at y = 4i (dir 0), or along y at x = 4i (dir 1).
                const double a = 4.0 * j + 0.25, b = 4.0 * (j + 1) - 0.25, c = 4.0 * i - 0.15, d = 4.0 * i + 0.15;
                const double m = 2.0 * (2 * j + 1);
                double lo[3] = {a, c, 0.0}, hi[3] = {b, d, 2.8};
                double wlo[3] = {m - 0.5, c - 0.1, 0.9}, whi[3] = {m + 0.5, d + 0.1, 2.1};
                if (dir == 1) {
                    std::swap(lo[0], lo[1]);
                    std::swap(hi[0], hi[1]);
                    std::swap(wlo[0], wlo[1]);
                    std::swap(whi[0], whi[1]);
                }
                AddBox(walls, lo, hi);
                AddBox(windows, wlo, whi);
            }
    return {Solid(walls), Solid(windows)};
}

void OneThread() { G3SideBySide::AllowHelperThread(false); }

void BM_SlabUnionBoxes(benchmark::State& state)
{
    OneThread();
    const int n = static_cast<int>(state.range(0));
    auto slab = Slab(n);
    auto boxes = Boxes(n, 0.1, 0.6);
    int facets = 0;
    for (auto _ : state) {
        state.PauseTiming();
        G3Surface* a = slab->Duplicate();
        G3Surface* b = boxes->Duplicate();
        G3BooleanCalculator engine;
        state.ResumeTiming();
        std::unique_ptr<G3Surface> r(engine.Add(a, b));
        facets = r ? r->GetFacetCount() : -1;
    }
    state.counters["facets"] = facets;
}

void BM_StoreyDifference(benchmark::State& state)
{
    OneThread();
    const Storey storey = MakeStorey(static_cast<int>(state.range(0)));
    int facets = 0;
    for (auto _ : state) {
        state.PauseTiming();
        G3Surface* a = storey.walls->Duplicate();
        G3Surface* b = storey.windows->Duplicate();
        G3BooleanCalculator engine;
        state.ResumeTiming();
        std::unique_ptr<G3Surface> r(engine.Sub(a, b));
        facets = r ? r->GetFacetCount() : -1;
    }
    state.counters["walls"] = storey.walls->GetFacetCount() / 6;
    state.counters["facets"] = facets;
}

// Sections of `solid` by the plane z = height.
void Section(benchmark::State& state, G3Surface* solid, double height)
{
    const double plane[4] = {0.0, 0.0, 1.0, -height};
    int facets = 0;
    for (auto _ : state) {
        G3BooleanCalculator engine;
        G3Surface* cut = nullptr;
        engine.Divide(solid, 1, plane, &cut);
        facets = cut ? cut->GetFacetCount() : -1;
        delete cut;
    }
    state.counters["facets"] = facets;
}

void BM_StoreySection(benchmark::State& state)
{
    OneThread();
    Storey storey = MakeStorey(static_cast<int>(state.range(0)));
    G3BooleanCalculator engine;
    std::unique_ptr<G3Surface> cut(engine.Sub(storey.walls.release(), storey.windows.release()));
    Section(state, cut.get(), 1.5);
}

void BM_HoledSlabSection(benchmark::State& state)
{
    OneThread();
    const int n = static_cast<int>(state.range(0));
    G3BooleanCalculator engine;
    std::unique_ptr<G3Surface> slab(engine.Sub(Slab(n).release(), Boxes(n, -0.1, 0.4).release()));
    Section(state, slab.get(), 0.15);
}

void BM_Classify(benchmark::State& state)
{
    OneThread();
    std::unique_ptr<G3Surface> sphere(Sphere(200000));
    sphere->FormPlaneEquation();
    std::mt19937 rng(43);
    std::uniform_real_distribution<double> coord(-1.3, 1.3);
    std::vector<double> points(3 * static_cast<std::size_t>(state.range(0)));
    for (double& c : points)
        c = coord(rng);
    int inside = 0;
    for (auto _ : state) {
        GSRand(1);
        G3BooleanCalculator engine;
        engine.OpenFindIntersection(sphere.get());
        inside = 0;
        for (std::size_t k = 0; k < points.size(); k += 3)
            inside += engine.FindVertexClassify(&points[k]) == SC_INSIDE;
        engine.CloseFindIntersection(sphere.get());
    }
    state.counters["inside"] = inside;
}

// A grid of joined walls: n + 1 walls 0.2 thick along x and as many along
// y, each 5 n long and 2.8 high, crossing at every 5; their union has one
// top face with n * n holes (the rooms) and a wall side piece between
// every two joints.
std::unique_ptr<G3Surface> WallRow(int n, int axis)
{
    G3Surface* s = new G3Surface();
    for (int i = 0; i <= n; ++i) {
        double lo[3] = {0.0, 5.0 * i - 0.1, 0.0}, hi[3] = {5.0 * n, 5.0 * i + 0.1, 2.8};
        if (axis == 1) {
            std::swap(lo[0], lo[1]);
            std::swap(hi[0], hi[1]);
        }
        AddBox(s, lo, hi);
    }
    return Solid(s);
}

// The union of the two rows (step 0); the union triangulated, as a file
// brings it, with its coplanar triangles merged back (step 1), grown by a
// shell of 0.02 (step 2) or run through the update of level 1003 (step 3).
void BM_WallGrid(benchmark::State& state)
{
    OneThread();
    const int n = static_cast<int>(state.range(0));
    const int step = static_cast<int>(state.range(1));
    auto xs = WallRow(n, 0);
    auto ys = WallRow(n, 1);
    std::unique_ptr<G3Surface> grid;
    if (step > 0) {
        G3BooleanCalculator engine;
        grid.reset(engine.Add(xs->Duplicate(), ys->Duplicate()));
        if (!grid || !grid->Triangulate(4, 0)) {
            state.SkipWithError("no wall grid");
            return;
        }
        grid->FormPlaneEquation();
    }
    int facets = 0;
    for (auto _ : state) {
        state.PauseTiming();
        G3Surface* a = (step == 0 ? xs : grid)->Duplicate();
        G3Surface* b = step == 0 ? ys->Duplicate() : nullptr;
        state.ResumeTiming();
        std::unique_ptr<G3Surface> r;
        if (step == 0) {
            G3BooleanCalculator engine;
            r.reset(engine.Add(a, b));
        } else if (step == 1) {
            r.reset(a);
            r->UnionInPlaneFacets(-1);
            r->MarkInPlaneEdgesAsInvisible();
        } else if (step == 3) {
            r.reset(a);
            r->Update(CHECK_LEVEL_INTERSECTIONS);
        } else {
            std::unique_ptr<G3Surface> in(a);
            G3Surface* out = nullptr;
            if (G3SolidsBuilder::Shell(in.get(), &out, 0.02, nullptr))
                r.reset(out);
        }
        facets = r ? r->GetFacetCount() : -1;
    }
    state.counters["facets"] = facets;
}

} // namespace

BENCHMARK(BM_WallGrid)->ArgsProduct({{16, 50}, {0, 1, 2, 3}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SlabUnionBoxes)->Arg(100)->Arg(1000)->Arg(3000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreyDifference)->Arg(112)->Arg(1012)->Arg(3120)->Arg(10224)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreySection)->Arg(112)->Arg(1012)->Arg(3120)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HoledSlabSection)->Arg(100)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Classify)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
