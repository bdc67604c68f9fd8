// One libFuzzer target per reader, chosen by G3_FUZZ_FORMAT_<name>.
//
// Besides the sanitizers' own checks, the reader's promises are checked:
// a refusal leaves the surface empty with a one-line message naming the
// input; an accepted mesh can be written in every format, and what the
// text writers produce reads back with the same vertex and facet counts.

#include "Geometry/mesh/G3Surface.h"
#include "tools/io/G3MeshIO.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

// The readers' plain form (OFF has a second one taking options).
using ReadFn = bool (*)(const char*, std::size_t, const std::string&, G3Surface&, std::string&);

#if defined(G3_FUZZ_FORMAT_obj)
constexpr ReadFn Reader = g3io::ReadObj;
#elif defined(G3_FUZZ_FORMAT_off)
constexpr ReadFn Reader = g3io::ReadOff;
#elif defined(G3_FUZZ_FORMAT_stl)
constexpr ReadFn Reader = g3io::ReadStl;
#elif defined(G3_FUZZ_FORMAT_dump)
constexpr ReadFn Reader = g3io::ReadDump;
#elif defined(G3_FUZZ_FORMAT_ply)
constexpr ReadFn Reader = g3io::ReadPly;
#else
#error "define G3_FUZZ_FORMAT_obj, _off, _stl, _dump or _ply"
#endif

void Require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool Empty(const G3Surface& s)
{
    return s.GetVertexCount() == 0 && s.GetEdgeCount() == 0 && s.GetFacetCount() == 0 && s.GetNormalCount() == 0 &&
           s.GetTexCooCount() == 0 && s.GetPolyEdgeCount() == 0;
}

// What `write` produced reads back through `read` with the counts the
// flattened mesh had (vertices and written polygons), without a warning,
// and writes the same bytes again.
template <class Write, class Read>
void RoundTrip(G3Surface& s, Write write, Read read)
{
    std::string text;
    if (!write(s, text))
        return;  // coordinates the format cannot hold
    G3Surface back;
    std::string message;
    const bool ok = read(text.data(), text.size(), "written", back, message);
    Require(ok);
    Require(message.empty());
    Require(back.GetVertexCount() == s.GetVertexCount());
    std::string again;
    Require(write(back, again));
    Require(again == text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    G3Surface s;
    std::string message;
    const bool ok = Reader(reinterpret_cast<const char*>(data), size, "fuzz", s, message);
#if defined(G3_FUZZ_FORMAT_off)
    // The merged read a repair uses refuses and accepts the same texts (a
    // refusal leaving nothing, with a one-line message naming the input)
    // and makes no more vertices than the plain read.
    {
        g3io::ReadOptions merged;
        merged.mergeEqualVertices = true;
        G3Surface m;
        std::string mergedMessage;
        Require(g3io::ReadOff(reinterpret_cast<const char*>(data), size, "fuzz", m, mergedMessage, merged) == ok);
        if (ok) {
            Require(m.GetVertexCount() <= s.GetVertexCount());
        } else {
            Require(Empty(m));
            Require(mergedMessage.rfind("fuzz", 0) == 0);
            Require(mergedMessage.find('\n') == std::string::npos);
        }
    }
#endif
    if (!ok) {
        Require(Empty(s));
        Require(message.rfind("fuzz", 0) == 0);
        Require(message.find('\n') == std::string::npos);
        return 0;
    }
    RoundTrip(s, g3io::WriteObj, g3io::ReadObj);
    RoundTrip(s, g3io::WriteOff, static_cast<ReadFn>(g3io::ReadOff));
    RoundTrip(s, [](G3Surface& m, std::string& t) { return g3io::WritePly(m, t, false); }, g3io::ReadPly);
    RoundTrip(s, [](G3Surface& m, std::string& t) { return g3io::WritePly(m, t, true); }, g3io::ReadPly);
    std::string stl;
    g3io::WriteStl(s, stl, false);
    g3io::WriteStl(s, stl, true);
    return 0;
}
