// STL, ASCII and binary.
//
// Telling them apart. A binary file is an 80-byte header, a little-endian
// 32-bit triangle count and 50 bytes per triangle. Some programs start
// that header with "solid", the ASCII keyword, so the size decides first:
// a file of exactly 84 + 50 * count bytes is binary whatever its header
// says. Otherwise a file starting (after whitespace) with "solid" and
// without zero bytes in its first 4 KiB is ASCII, and anything else is
// binary (where a size below 84 + 50 * count
// is reported as truncated at the offset where the data ends; bytes after
// the last triangle are ignored).
//
// Building. Corners with bit-identical coordinates (after -0 became 0)
// share one vertex while the triangles are read; then RemoveEqualsVertex
// welds vertices closer than 1e-6 and drops what collapsed. It joins
// shared corners without changing the geometry (no vertex is moved onto an
// edge, no edge split). Triangles with two equal corners are skipped: they
// have no area and the mesh has no place for them. The normals stored in
// the file are not read; facet planes come from the corner order.
//
// Writing. Binary by default, ASCII on request, one triangle per facet
// (facets that are not triangles come from a tessellated copy), the normal
// from the facet plane. Coordinates beyond the 32-bit float range cannot
// be written in binary.

#include "tools/io/G3MeshIO.h"
#include "tools/io/G3MeshIOInternal.h"

#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace g3io {

using namespace detail;

namespace {

std::uint32_t ReadU32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

float ReadF32(const unsigned char* p)
{
    const std::uint32_t bits = ReadU32(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

void PutU32(std::string& out, std::uint32_t v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
    out += static_cast<char>((v >> 16) & 0xFF);
    out += static_cast<char>((v >> 24) & 0xFF);
}

void PutF32(std::string& out, float f)
{
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    PutU32(out, bits);
}

// One vertex per distinct corner position while triangles are read: an
// open-addressing table keyed by the coordinates (millions of corners go
// through it, so the keys live in the table itself).
class CornerTable {
public:
    explicit CornerTable(G3Surface& s) : surface(s) {}
    void Reserve(std::size_t n)
    {
        std::size_t cap = 16;
        while (cap < 2 * n && cap < (std::size_t(1) << 40))
            cap *= 2;
        if (cap > slots.size())
            Rehash(cap);
    }

    G3Vertex* Get(const double* p)
    {
        Slot k;
        for (int i = 0; i < 3; ++i)
            k.c[i] = p[i] + 0.0;  // -0 and 0 are one position
        if (2 * (used + 1) > slots.size())
            Rehash(slots.empty() ? 16 : 2 * slots.size());
        const std::size_t mask = slots.size() - 1;
        for (std::size_t h = Hash(k) & mask;; h = (h + 1) & mask) {
            Slot& s = slots[h];
            if (!s.v) {
                s = k;
                s.v = surface.AddVertex(k.c, 0);
                ++used;
                return s.v;
            }
            if (s.c[0] == k.c[0] && s.c[1] == k.c[1] && s.c[2] == k.c[2])
                return s.v;
        }
    }

private:
    struct Slot {
        double c[3] = {0, 0, 0};
        G3Vertex* v = nullptr;
    };
    static std::size_t Hash(const Slot& k)
    {
        std::uint64_t h = 0x9E3779B97F4A7C15ull;
        for (double d : k.c) {
            std::uint64_t bits;
            std::memcpy(&bits, &d, sizeof bits);
            h ^= bits;
            h *= 0xBF58476D1CE4E5B9ull;
            h ^= h >> 31;
        }
        return static_cast<std::size_t>(h);
    }
    void Rehash(std::size_t cap)
    {
        std::vector<Slot> old(cap);
        old.swap(slots);
        const std::size_t mask = cap - 1;
        for (const Slot& s : old) {
            if (!s.v)
                continue;
            std::size_t h = Hash(s) & mask;
            while (slots[h].v)
                h = (h + 1) & mask;
            slots[h] = s;
        }
    }

    G3Surface& surface;
    std::vector<Slot> slots;
    std::size_t used = 0;
};

// Adds the triangle; false when two corners are the same vertex (skipped).
bool AddTriangle(G3Surface& s, CornerTable& corners, const double p[3][3])
{
    G3Vertex* v[3];
    for (int i = 0; i < 3; ++i)
        v[i] = corners.Get(p[i]);
    if (v[0] == v[1] || v[1] == v[2] || v[0] == v[2])
        return false;
    return s.AddFacet(3, v, s.GetEdgeFlags(), nullptr, nullptr) != nullptr;
}

void Finish(G3Surface& aside, G3Surface& out)
{
    // Welding with the kernel's tolerance; the pass also deletes vertices
    // no facet uses, so skipped triangles leave no stray corners. Corners
    // it joins leave two edges, one per triangle, along the same vertex
    // pair; stitching makes them one shared edge. (Corners that were
    // bit-identical already share their edges.)
    const int before = aside.GetVertexCount();
    if (before > 0)
        aside.RemoveEqualsVertex();
    if (aside.GetVertexCount() != before)
        aside.RemoveNonManifoldEdges();
    MoveInto(out, aside);
}

bool ReadBinary(const unsigned char* data, std::size_t size, const std::string& name, G3Surface& out,
                std::string& message)
{
    if (size < 84) {
        message = ByteMessage(name, size, "file ends inside the 84-byte binary STL header");
        return false;
    }
    const std::uint32_t count = ReadU32(data + 80);
    const unsigned long long needed = 84ull + 50ull * count;
    if (size < needed) {
        const unsigned long long whole = (size - 84) / 50;
        message = ByteMessage(name, size,
                              "file ends inside triangle " + std::to_string(whole + 1) + " of " +
                                  std::to_string(count) + " (" + std::to_string(needed) + " bytes needed)");
        return false;
    }
    G3Surface aside(static_cast<int>(count / 2), static_cast<int>(count / 2), static_cast<int>(count));
    PrepareAside(out, aside);
    CornerTable corners(aside);
    corners.Reserve(count / 2 + 3);  // a closed mesh has about half as many vertices as triangles
    for (std::uint32_t t = 0; t < count; ++t) {
        const unsigned char* rec = data + 84 + 50ull * t;
        double p[3][3];
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k) {
                const unsigned char* at = rec + 12 + 12 * c + 4 * k;
                const float f = ReadF32(at);
                if (!std::isfinite(f)) {
                    message = ByteMessage(name, static_cast<unsigned long long>(at - data),
                                          "coordinate of triangle " + std::to_string(t + 1ull) + " is not finite");
                    return false;
                }
                p[c][k] = f;
            }
        AddTriangle(aside, corners, p);
    }
    Finish(aside, out);
    // Bytes past the counted triangles (a count field written too small,
    // or padding) are left unread; the caller hears how much.
    if (size > needed) {
        const unsigned long long extra = size - needed;
        message = ByteMessage(name, needed,
                              "warning: " + std::to_string(extra) + " bytes after the " + std::to_string(count) +
                                  " counted triangles are ignored (" + std::to_string(extra / 50) +
                                  " more whole triangles)");
    }
    return true;
}

bool ReadAscii(const char* data, std::size_t size, const std::string& name, G3Surface& out, std::string& message)
{
    LineReader lines(data, size, false);
    std::vector<std::string_view> tokens;
    std::string_view line;
    auto fail = [&](const std::string& what) {
        message = LineMessage(name, lines.Number(), what);
        return false;
    };
    auto next = [&]() {
        while (lines.Next(line)) {
            Split(line, tokens);
            if (!tokens.empty())
                return true;
        }
        return false;
    };
    // The next line must start with `words` (case-insensitive).
    auto expect = [&](const char* first, const char* second, std::size_t arity) {
        if (!next())
            return fail(std::string("file ends where '") + first + (second ? std::string(" ") + second : "") +
                        "' is expected");
        const std::size_t words = second ? 2 : 1;
        if (!SameWord(tokens[0], first) || (second && (tokens.size() < 2 || !SameWord(tokens[1], second))))
            return fail(std::string("expected '") + first + (second ? std::string(" ") + second : "") +
                        "', found '" + Quote(line) + "'");
        if (arity != static_cast<std::size_t>(-1) && tokens.size() != words + arity)
            return fail(std::string("'") + first + "' takes " + std::to_string(arity) + " numbers");
        return true;
    };
    const std::size_t any = static_cast<std::size_t>(-1);

    G3Surface aside(static_cast<int>(size / 400), static_cast<int>(size / 400), static_cast<int>(size / 250));
    PrepareAside(out, aside);
    CornerTable corners(aside);
    if (!expect("solid", nullptr, any))
        return false;
    for (;;) {
        if (!next())
            return fail("file ends inside the solid (no 'endsolid')");
        if (SameWord(tokens[0], "endsolid")) {
            // Another solid may follow.
            if (!next())
                break;
            if (!SameWord(tokens[0], "solid"))
                return fail("expected 'solid' or the end of the file, found '" + Quote(line) + "'");
            continue;
        }
        if (!SameWord(tokens[0], "facet"))
            return fail("expected 'facet' or 'endsolid', found '" + Quote(line) + "'");
        // "facet normal nx ny nz": the normal is checked as numbers only,
        // and is never used, so any number will do: writers put nan there
        // for triangles without area, as the binary form may.
        if (tokens.size() != 5 || !SameWord(tokens[1], "normal"))
            return fail("expected 'facet normal' and three numbers");
        for (std::size_t k = 2; k < 5; ++k) {
            double unused = 0.0;
            const NumberError e = ParseDouble(tokens[k], unused);
            if (e == NumberError::NotANumber)
                return fail(NumberProblem(e, tokens[k]));
        }
        if (!expect("outer", "loop", 0))
            return false;
        double p[3][3];
        for (int c = 0; c < 3; ++c) {
            if (!expect("vertex", nullptr, 3))
                return false;
            for (int k = 0; k < 3; ++k) {
                const NumberError e = ParseDouble(tokens[static_cast<std::size_t>(k) + 1], p[c][k]);
                if (e != NumberError::None)
                    return fail(NumberProblem(e, tokens[static_cast<std::size_t>(k) + 1]));
            }
        }
        if (!expect("endloop", nullptr, 0) || !expect("endfacet", nullptr, 0))
            return false;
        AddTriangle(aside, corners, p);
    }
    Finish(aside, out);
    return true;
}

// Text that starts with the keyword "solid". A zero byte in the first
// kilobytes marks a binary file whose header happens to start with
// "solid" (and whose size does not match its count).
bool LooksAscii(const char* data, std::size_t size)
{
    std::size_t i = 0;
    if (size >= 3 && static_cast<unsigned char>(data[0]) == 0xEF && static_cast<unsigned char>(data[1]) == 0xBB &&
        static_cast<unsigned char>(data[2]) == 0xBF)
        i = 3;
    while (i < size && IsSpace(data[i]))
        ++i;
    if (size - i < 5 || !SameWord(std::string_view(data + i, 5), "solid") || (size - i > 5 && !IsSpace(data[i + 5])))
        return false;
    return std::memchr(data, 0, size < 4096 ? size : 4096) == nullptr;
}

} // namespace

bool ReadStl(const char* data, std::size_t size, const std::string& name, G3Surface& out, std::string& message)
{
    if (!StartReading(data, size, name, out, message, false))
        return false;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(data);
    if (size >= 84 && size == 84ull + 50ull * ReadU32(bytes + 80))
        return ReadBinary(bytes, size, name, out, message);
    if (LooksAscii(data, size))
        return ReadAscii(data, size, name, out, message);
    if (IsBlank(data, size)) {
        message = name + ": empty file";
        return false;
    }
    return ReadBinary(bytes, size, name, out, message);
}

bool WriteStl(G3Surface& s, std::string& out, bool ascii)
{
    out.clear();
    FlatMesh flat;
    if (!Flatten(s, true, false, flat))
        return false;
    const std::size_t n = flat.PolygonCount();
    if (n > 0xFFFFFFFFull)
        return false;
    auto normal = [&](std::size_t i, double nrm[3]) {
        const double* plane = flat.planes[i];
        double len = std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]);
        if (len > GTolerance::kZeroNormal && std::isfinite(len)) {
            for (int k = 0; k < 3; ++k)
                nrm[k] = plane[k] / len;
            return;
        }
        nrm[0] = nrm[1] = nrm[2] = 0.0;
    };
    if (ascii) {
        out.reserve(n * 260 + 32);
        out += "solid g3\n";
        for (std::size_t i = 0; i < n; ++i) {
            double nrm[3];
            normal(i, nrm);
            AppendCoordinates(out, "facet normal ", nrm, 3);
            out += "outer loop\n";
            for (std::size_t c = flat.polygonStart[i]; c < flat.polygonStart[i + 1]; ++c) {
                const double* p = flat.vertices[static_cast<std::size_t>(flat.corners[c].v)];
                AppendCoordinates(out, "vertex ", p, 3);
            }
            out += "endloop\nendfacet\n";
        }
        out += "endsolid g3\n";
        return true;
    }
    // Binary: every coordinate must fit a 32-bit float.
    for (const FlatMesh::Corner& c : flat.corners) {
        const double* p = flat.vertices[static_cast<std::size_t>(c.v)];
        for (int k = 0; k < 3; ++k)
            if (!(std::fabs(p[k]) <= FLT_MAX))
                return false;
    }
    out.reserve(84 + 50 * n);
    std::string header = "binary STL written by g3";
    header.resize(80, ' ');
    out += header;
    PutU32(out, static_cast<std::uint32_t>(n));
    for (std::size_t i = 0; i < n; ++i) {
        double nrm[3];
        normal(i, nrm);
        for (int k = 0; k < 3; ++k)
            PutF32(out, static_cast<float>(nrm[k]));
        for (std::size_t c = flat.polygonStart[i]; c < flat.polygonStart[i + 1]; ++c) {
            const double* p = flat.vertices[static_cast<std::size_t>(flat.corners[c].v)];
            for (int k = 0; k < 3; ++k)
                PutF32(out, static_cast<float>(p[k]));
        }
        out += '\0';
        out += '\0';
    }
    return true;
}

} // namespace g3io
