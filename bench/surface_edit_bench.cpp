// The editing tool and the hole maker:
//   CheckSurface with every check (short edges, self-crossing contours,
//   facets of fewer than three edges, crossing facets) and Explode on 100
//   disjoint UV spheres of 20k / 200k triangles in all; Explode of 1000
//   disjoint boxes (each piece is built from its own entities, so the cost
//   grows with the surface's size, not with pieces times size). MakeHoles with 50 square openings through a thick hip roof over
//   a 60 x 20 outline. InsertFacet pushing one window through each of n
//   separate walls kept in one surface, and n windows through one long
//   wall: every edit welds and updates the whole surface, so both grow
//   about as n squared. Only the operation is timed.
#include "Geometry/contour/G3HoleMaker.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3SurfaceEdit.h"
#include "Geometry/roof/G3RoofGenerator.h"
#include "bench_sphere.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// 100 spheres of radius 1 on a 10 x 10 grid of spacing 3.
G3Surface* Spheres(int triangles)
{
    G3Surface* all = new G3Surface();
    std::unique_ptr<G3Surface> one(Sphere(triangles / 100));
    for (int k = 0; k < 100; ++k) {
        std::unique_ptr<G3Surface> copy(one->Duplicate());
        double m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {3.0 * (k % 10), 3.0 * (k / 10), 0, 1}};
        copy->RealTransformation(m);
        all->Copy(copy.get());
    }
    all->FormPlaneEquation();
    return all;
}

void BM_CheckSurface(benchmark::State& state)
{
    std::unique_ptr<G3Surface> s(Spheres(static_cast<int>(state.range(0))));
    int result = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        G3SurfaceEdit(s.get()).CheckSurface(0x1 | 0x4 | 0x8 | 0x10, result);
        state.SetIterationTime(Seconds(t0, Clock::now()));
    }
    state.counters["facets"] = s->GetFacetCount();
    state.counters["result"] = result;
}

// Explode of `made` (taken over) each iteration; the pieces are deleted
// outside the timed part.
void ExplodeEach(benchmark::State& state, G3Surface* made)
{
    std::unique_ptr<G3Surface> s(made);
    int pieces = 0;
    for (auto _ : state) {
        GArrayCollection out;
        const auto t0 = Clock::now();
        pieces = s->Explode(&out);
        state.SetIterationTime(Seconds(t0, Clock::now()));
        for (int k = 0; k < out.size(); ++k)
            delete out.get(k);
    }
    state.counters["facets"] = s->GetFacetCount();
    state.counters["pieces"] = pieces;
}

void BM_Explode(benchmark::State& state) { ExplodeEach(state, Spheres(static_cast<int>(state.range(0)))); }

// n unit boxes of quads, each with corners of its own, on a grid of
// spacing 2, welded.
G3Surface* Boxes(int n)
{
    G3Surface* s = new G3Surface();
    const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (int k = 0; k < n; ++k) {
        const double x = 2.0 * (k % 32), y = 2.0 * (k / 32);
        G3Vertex* v[8];
        for (int c = 0; c < 8; ++c)
            v[c] = s->AddVertex(x + (c & 1), y + ((c >> 1) & 1), (c >> 2) & 1, 0);
        for (const auto& f : faces) {
            G3Vertex* q[4] = {v[f[0]], v[f[1]], v[f[2]], v[f[3]]};
            s->AddFacet(4, q, 1, nullptr, nullptr);
        }
    }
    s->RemoveEqualsVertex();
    s->FormPlaneEquation();
    return s;
}

void BM_ExplodeBoxes(benchmark::State& state) { ExplodeEach(state, Boxes(static_cast<int>(state.range(0)))); }

// A hip roof 0.3 thick over 60 x 20 at 35 degrees, welded.
G3Surface* Roof()
{
    std::vector<std::unique_ptr<G3Point>> pts;
    std::vector<double> angles(4, 35.0 * 3.14159265358979323846 / 180.0);
    GArrayCollection outline, angleList;
    const double corners[4][2] = {{0, 0}, {60, 0}, {60, 20}, {0, 20}};
    for (int k = 0; k < 4; ++k) {
        pts.push_back(std::make_unique<G3Point>(corners[k][0], corners[k][1], 0.0));
        outline.add(pts.back().get());
        angleList.add(G3RoofGenerator::AngleEntry(&angles[static_cast<std::size_t>(k)]));
    }
    G3Surface* s = new G3Surface();
    G3RoofGenerator gen(s, 0.0, 0.3, 0.5);
    gen.Regen(&outline, &angleList);
    s->RemoveEqualsVertexAndDivideEdges();
    s->FormPlaneEquation();
    return s;
}

void BM_MakeHoles(benchmark::State& state)
{
    std::unique_ptr<G3Surface> roof(Roof());
    int made = 0;
    for (auto _ : state) {
        std::unique_ptr<G3Surface> s(roof->Duplicate());
        G3HoleMaker maker(s.get());
        G3Point down(0, 0, -1);
        for (int k = 0; k < 50; ++k) {
            const double x = 5.0 + 2.0 * (k % 25), y = k < 25 ? 2.0 : 17.4;
            G3Point p[4] = {{x, y, 0}, {x + 0.6, y, 0}, {x + 0.6, y + 0.6, 0}, {x, y + 0.6, 0}};
            GArrayCollection list;
            for (G3Point& q : p)
                list.add(&q);
            maker.AddHoleContour(&list, &down);
        }
        const auto t0 = Clock::now();
        maker.MakeHoles();
        state.SetIterationTime(Seconds(t0, Clock::now()));
        made = maker.GetMadeCount();
    }
    state.counters["made"] = made;
    state.counters["facets"] = roof->GetFacetCount();
}

// n walls 4 x 0.3 x 3 of quads, 5 apart along x, in one surface; with
// `one`, a single wall 2n + 2 long instead.
G3Surface* Walls(int n, bool one)
{
    G3Surface* s = new G3Surface();
    const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (int k = 0; k < (one ? 1 : n); ++k) {
        const double x = 5.0 * k, length = one ? 2.0 * n + 2.0 : 4.0;
        G3Vertex* v[8];
        for (int c = 0; c < 8; ++c)
            v[c] = s->AddVertex(x + length * (c & 1), 0.3 * ((c >> 1) & 1), 3.0 * ((c >> 2) & 1), 0);
        for (const auto& f : faces) {
            G3Vertex* q[4] = {v[f[0]], v[f[1]], v[f[2]], v[f[3]]};
            s->AddFacet(4, q, 1, nullptr, nullptr);
        }
    }
    s->FormPlaneEquation();
    return s;
}

// A 1 x 1.2 window pushed through the front (y = 0) of each wall, or
// every 2 along the one wall.
void InsertWindows(benchmark::State& state, bool one)
{
    const int n = static_cast<int>(state.range(0));
    std::unique_ptr<G3Surface> walls(Walls(n, one));
    int made = 0;
    for (auto _ : state) {
        std::unique_ptr<G3Surface> s(walls->Duplicate());
        s->FormPlaneEquation();
        G3SurfaceEdit edit(s.get());
        G3Point in(0, 1, 0);
        const auto t0 = Clock::now();
        made = 0;
        for (int k = 0; k < n; ++k) {
            const double x = one ? 1.0 + 2.0 * k : 5.0 * k + 1.0;
            G3Point p[4] = {{x, 0, 1}, {x + 1, 0, 1}, {x + 1, 0, 2.2}, {x, 0, 2.2}};
            GArrayCollection list;
            for (G3Point& q : p)
                list.add(&q);
            const int before = s->GetFacetCount();
            edit.InsertFacet(&list, &in, 0.3, nullptr);
            made += s->GetFacetCount() > before ? 1 : 0;
        }
        state.SetIterationTime(Seconds(t0, Clock::now()));
    }
    state.counters["made"] = made;
}

void BM_InsertWindowsIntoWalls(benchmark::State& state) { InsertWindows(state, false); }
void BM_InsertWindowsIntoOneWall(benchmark::State& state) { InsertWindows(state, true); }

} // namespace

BENCHMARK(BM_CheckSurface)->Arg(20000)->Arg(200000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Explode)->Arg(20000)->Arg(200000)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExplodeBoxes)->Arg(1000)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MakeHoles)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InsertWindowsIntoWalls)->Arg(100)->Arg(400)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InsertWindowsIntoOneWall)->Arg(50)->Arg(200)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
