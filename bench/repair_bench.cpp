// Reading and repairing a triangle soup (every triangle with three vertex
// lines of its own, shuffled, about half wound the other way) of about
// 100k and 1M triangles, from an OFF text in memory: a closed sphere and
// an open terrain-like sheet, shuffled; and a UV sphere in mesh order whose
// repeated seam and pole points are equal only to within about 1e-16.
//   BM_ReadSoup     the OFF reader alone, as written (merged = 0) or with
//                   equal vertex lines read as one (merged = 1)
//   BM_RepairSoup   the reader and the passes of `g3 repair` (weld and
//                   split, normals, trivial facets, weld again, equal
//                   facets, non-manifold edges; as there, the first weld
//                   is left out after a merged read, the second when the
//                   first split nothing and no facet went), then the OFF
//                   writer
// Counters: vertices and facets after the run (the same with and without
// merging, or the merged read broke), MB of OFF text read.
#include "bench/bench_soup.h"

#include "Geometry/mesh/G3Surface.h"
#include "Geometry/processing/G3Weld.h"
#include "tools/io/G3MeshIO.h"

#include <benchmark/benchmark.h>

#include <map>
#include <string>

namespace {

// The soup texts, made once: shape 0 the sphere, 1 the sheet, 2 the UV
// sphere; size 0 about 100k triangles, 1 about 1M.
const std::string& SoupText(int shape, int size)
{
    static std::map<int, std::string> texts;
    const int key = shape * 2 + size;
    auto found = texts.find(key);
    if (found != texts.end())
        return found->second;
    if (shape == 2)
        return texts[key] = soup::SoupOff(soup::UvSphere(size == 0 ? 158 : 500), 1, false);
    const soup::Mesh m = shape == 0 ? soup::Sphere(size == 0 ? 92 : 289)
                                    : (size == 0 ? soup::Sheet(316, 158) : soup::Sheet(1000, 500));
    return texts[key] = soup::SoupOff(m, 1);
}

// The passes as `g3 repair` runs them: after a merged read (`welded`) the
// first weld and the forming of planes are left out, and the second weld
// runs only when the first split an edge or a trivial facet went.
void RunPasses(G3Surface& s, bool welded)
{
    const int splits = welded ? 0 : G3WeldAndDivide(&s);
    s.RemoveEqualsNormal();
    const int facets = s.GetFacetCount();
    if (!welded)
        s.FormPlaneEquation();
    s.RemoveTrivialFacets();
    if (splits > 0 || s.GetFacetCount() < facets)
        s.RemoveEqualsVertexAndDivideEdges();
    s.RemoveEqualsFacets();
    s.RemoveNonManifoldEdges();
}

void Report(benchmark::State& state, G3Surface* s, const std::string& text)
{
    state.counters["vertices"] = s ? s->GetVertexCount() : -1;
    state.counters["facets"] = s ? s->GetFacetCount() : -1;
    state.counters["MB"] = text.size() / 1e6;
}

// Reads the soup each iteration and, with `repair`, runs the passes and
// writes the result.
void Soup(benchmark::State& state, bool repair)
{
    const std::string& text = SoupText(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    g3io::ReadOptions options;
    options.mergeEqualVertices = state.range(2) != 0;
    bool welded = false;
    options.welded = &welded;
    G3Surface* last = nullptr;
    std::string written;
    for (auto _ : state) {
        state.PauseTiming();
        delete last;
        last = new G3Surface();
        state.ResumeTiming();
        std::string message;
        if (!g3io::ReadOff(text.data(), text.size(), "bench", *last, message, options)) {
            state.SkipWithError(message.c_str());
            break;
        }
        if (!repair)
            continue;
        RunPasses(*last, welded);
        g3io::WriteOff(*last, written);
        benchmark::DoNotOptimize(written.data());
    }
    Report(state, last, text);
    delete last;
}

void BM_ReadSoup(benchmark::State& state) { Soup(state, false); }
void BM_RepairSoup(benchmark::State& state) { Soup(state, true); }

// Arguments: shape (0 sphere, 1 sheet, 2 UV sphere), size (0 ~100k, 1 ~1M
// triangles), merged read (0, 1).
void Args(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"shape", "size", "merged"});
    for (int shape = 0; shape < 3; ++shape)
        for (int size = 0; size < 2; ++size)
            for (int merged = 0; merged < 2; ++merged)
                b->Args({shape, size, merged});
    b->Unit(benchmark::kMillisecond)->Iterations(1);
}

} // namespace

BENCHMARK(BM_ReadSoup)->Apply(Args);
BENCHMARK(BM_RepairSoup)->Apply(Args);
