// Reading and writing a closed UV sphere of about 20k and 200k triangles
// (shared vertices) through the mesh formats: PLY binary, PLY ASCII and
// OBJ, from and to memory. Only the reader or writer call is timed;
// deleting the surface read is not. Counters:
//   facets   facets read back (the same for every format, or a reader broke)
//   MB       size of the serialised mesh
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "tools/io/G3MeshIO.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::unique_ptr<G3Surface> Sphere(int triangles)
{
    const int rings = static_cast<int>(std::sqrt(triangles / 4.0)) + 1;
    const int segments = 2 * rings;
    auto s = std::make_unique<G3Surface>();
    std::vector<G3Vertex*> v;
    v.push_back(s->AddVertex(0, 0, 1, 0));
    for (int r = 1; r < rings; ++r)
        for (int k = 0; k < segments; ++k) {
            const double th = M_PI * r / rings, ph = 2.0 * M_PI * k / segments;
            v.push_back(s->AddVertex(std::sin(th) * std::cos(ph), std::sin(th) * std::sin(ph), std::cos(th), 0));
        }
    v.push_back(s->AddVertex(0, 0, -1, 0));
    auto at = [&](int r, int k) { return v[static_cast<std::size_t>(1 + (r - 1) * segments + k % segments)]; };
    auto tri = [&](G3Vertex* a, G3Vertex* b, G3Vertex* c) {
        G3Vertex* t[3] = {a, b, c};
        s->AddFacet(3, t, 1, nullptr, nullptr);
    };
    for (int k = 0; k < segments; ++k) {
        tri(v.front(), at(1, k), at(1, k + 1));
        tri(v.back(), at(rings - 1, k + 1), at(rings - 1, k));
        for (int r = 1; r + 1 < rings; ++r) {
            tri(at(r, k), at(r + 1, k), at(r + 1, k + 1));
            tri(at(r, k), at(r + 1, k + 1), at(r, k + 1));
        }
    }
    return s;
}

enum Which { kPlyBinary, kPlyAscii, kObj };

bool Write(Which w, G3Surface& s, std::string& out)
{
    return w == kObj ? g3io::WriteObj(s, out) : g3io::WritePly(s, out, w == kPlyAscii);
}

void BM_Read(benchmark::State& state)
{
    const Which which = static_cast<Which>(state.range(1));
    std::string bytes;
    {
        const std::unique_ptr<G3Surface> s = Sphere(static_cast<int>(state.range(0)));
        Write(which, *s, bytes);
    }
    int facets = 0;
    for (auto _ : state) {
        G3Surface s;
        std::string message;
        const auto t0 = Clock::now();
        const bool ok = which == kObj ? g3io::ReadObj(bytes.data(), bytes.size(), "bench", s, message)
                                      : g3io::ReadPly(bytes.data(), bytes.size(), "bench", s, message);
        const auto t1 = Clock::now();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        facets = ok ? s.GetFacetCount() : -1;
    }
    state.counters["facets"] = facets;
    state.counters["MB"] = bytes.size() / 1e6;
}

void BM_Write(benchmark::State& state)
{
    const Which which = static_cast<Which>(state.range(1));
    const std::unique_ptr<G3Surface> s = Sphere(static_cast<int>(state.range(0)));
    std::string bytes;
    for (auto _ : state) {
        Write(which, *s, bytes);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["MB"] = bytes.size() / 1e6;
}

} // namespace

// Second argument: 0 PLY binary, 1 PLY ASCII, 2 OBJ.
BENCHMARK(BM_Read)->ArgsProduct({{20000, 200000}, {0, 1, 2}})->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write)->ArgsProduct({{20000, 200000}, {0, 1, 2}})->Unit(benchmark::kMillisecond);
