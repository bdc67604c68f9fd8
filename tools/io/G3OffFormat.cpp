// OFF (Object File Format), text form.
//
// Reading. A header keyword OFF, optionally with the prefixes ST, C, N and
// 4 of its variants (COFF, NOFF, STCOFF, ...) but only in three
// dimensions; the counts line "vertices faces edges" (it may follow the
// keyword on the same line; the edge count is not checked); one vertex per
// line, x y z first and anything after them (normals, colours, texture
// coordinates of the variants) ignored; one face per line, "n i1 .. in"
// with 0-based indexes and anything after them (a colour) ignored.
// Comments start with '#'; blank lines are skipped. Faces follow the same
// rules as OBJ faces (consecutive repeats dropped, at least three distinct
// vertices). Text after the announced faces is ignored with a warning in
// `message`; fewer faces than announced is an error.
//
// Writing. Plain OFF: "OFF", the counts (vertices, faces, and as edges
// the distinct vertex pairs along the faces' sides), every vertex, then
// one face per facet; facets with holes as the triangles of a tessellated
// copy.

#include "tools/io/G3MeshIO.h"
#include "tools/io/G3MeshIOInternal.h"

#include "Geometry/mesh/G3Surface.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <utility>
#include <vector>

namespace g3io {

using namespace detail;

namespace {

// OFF with its optional prefixes, in the order the variants combine them.
bool OffKeyword(std::string_view w, bool& fourD)
{
    fourD = false;
    if (w.size() >= 2 && w.substr(0, 2) == "ST")
        w.remove_prefix(2);
    if (!w.empty() && w[0] == 'C')
        w.remove_prefix(1);
    if (!w.empty() && w[0] == 'N')
        w.remove_prefix(1);
    if (!w.empty() && w[0] == '4') {
        fourD = true;
        w.remove_prefix(1);
    }
    return w == "OFF";
}

// The edge count of the header: distinct vertex pairs along the sides of
// the faces written.
std::size_t DistinctSides(const FlatMesh& flat)
{
    std::vector<std::uint64_t> pairs;
    pairs.reserve(flat.corners.size());
    for (std::size_t i = 0; i + 1 < flat.polygonStart.size(); ++i) {
        const std::size_t b = flat.polygonStart[i], e = flat.polygonStart[i + 1];
        for (std::size_t k = b; k < e; ++k) {
            std::uint64_t u = static_cast<std::uint32_t>(flat.corners[k].v);
            std::uint64_t w = static_cast<std::uint32_t>(flat.corners[k + 1 < e ? k + 1 : b].v);
            if (u > w)
                std::swap(u, w);
            pairs.push_back(u << 32 | w);
        }
    }
    std::sort(pairs.begin(), pairs.end());
    return static_cast<std::size_t>(std::unique(pairs.begin(), pairs.end()) - pairs.begin());
}

} // namespace

bool ReadOff(const char* data, std::size_t size, const std::string& name, G3Surface& out, std::string& message)
{
    if (!StartReading(data, size, name, out, message))
        return false;
    LineReader lines(data, size, true);
    std::vector<std::string_view> tokens;
    auto fail = [&](const std::string& what) {
        message = LineMessage(name, lines.Number(), what);
        return false;
    };
    auto next = [&]() { return lines.NextTokens(tokens); };

    if (!next())
        return fail("empty file (comments only)");
    bool fourD = false;
    if (!OffKeyword(tokens[0], fourD))
        return fail("not an OFF file (header '" + Quote(tokens[0]) + "')");
    if (fourD)
        return fail("four-dimensional OFF is not supported");
    std::size_t first = 1;
    if (tokens.size() == 1) {
        if (!next())
            return fail("missing counts line");
        first = 0;
    }
    if (tokens.size() > first && tokens[first] == "BINARY")
        return fail("binary OFF is not supported");
    if (tokens.size() - first < 2)
        return fail("counts line needs vertex and face counts");
    long long counts[3] = {0, 0, 0};
    for (std::size_t i = 0; i < 3 && first + i < tokens.size(); ++i) {
        const NumberError e = ParseInt(tokens[first + i], counts[i]);
        if (e != NumberError::None || counts[i] < 0 || counts[i] > INT_MAX)
            return fail("bad count '" + Quote(tokens[first + i]) + "'");
    }
    if (tokens.size() - first > 3)
        return fail("too many numbers on the counts line");
    const long long nV = counts[0], nF = counts[1];
    // Each vertex and face takes a line of at least two characters; a
    // count the text cannot hold is refused before anything is reserved.
    if (nV + nF > static_cast<long long>(size / 2) + 1)
        return fail("counts exceed what the file holds (" + std::to_string(nV) + " vertices, " +
                    std::to_string(nF) + " faces)");

    G3Surface aside(static_cast<int>(nF), static_cast<int>(nV), static_cast<int>(nF));
    PrepareAside(out, aside);
    std::vector<G3Vertex*> vertices;
    vertices.reserve(static_cast<std::size_t>(nV));
    for (long long i = 0; i < nV; ++i) {
        if (!next())
            return fail("file ends after " + std::to_string(i) + " of " + std::to_string(nV) + " vertices");
        if (tokens.size() < 3)
            return fail("vertex needs 3 coordinates, " + std::to_string(tokens.size()) + " given");
        double p[3];
        for (int k = 0; k < 3; ++k) {
            const NumberError e = ParseDouble(tokens[static_cast<std::size_t>(k)], p[k]);
            if (e != NumberError::None)
                return fail(NumberProblem(e, tokens[static_cast<std::size_t>(k)]));
        }
        vertices.push_back(aside.AddVertex(p, 0));
    }
    std::vector<G3Vertex*> v;
    for (long long i = 0; i < nF; ++i) {
        if (!next())
            return fail("file ends after " + std::to_string(i) + " of " + std::to_string(nF) + " faces");
        long long n = 0;
        const NumberError e = ParseInt(tokens[0], n);
        if (e != NumberError::None)
            return fail("bad face size '" + Quote(tokens[0]) + "'");
        if (n < 3)
            return fail("face with " + std::to_string(n) + " vertices (at least 3 needed)");
        if (static_cast<unsigned long long>(n) > tokens.size() - 1)
            return fail("face of " + std::to_string(n) + " vertices lists " + std::to_string(tokens.size() - 1) +
                        " numbers");
        v.assign(static_cast<std::size_t>(n), nullptr);
        for (std::size_t c = 0; c < v.size(); ++c) {
            long long k = 0;
            const NumberError ek = ParseInt(tokens[c + 1], k);
            if (ek != NumberError::None)
                return fail("bad vertex index '" + Quote(tokens[c + 1]) + "'");
            if (k < 0 || k >= nV)
                return fail("vertex index " + std::to_string(k) + " out of range (" + std::to_string(nV) +
                            " vertices)");
            v[c] = vertices[static_cast<std::size_t>(k)];
        }
        // Numbers after the indexes (a colour) are ignored.
        if (!AddPolygon(aside, v, nullptr, nullptr))
            return fail("face with fewer than 3 distinct vertices");
    }
    // Text after the announced faces (more faces than the header counts,
    // as some writers produce) is left unread, as other readers do; the
    // caller hears of it once, at the line where it starts.
    if (next())
        message = LineMessage(name, lines.Number(),
                              "warning: text after the " + std::to_string(nF) + " announced faces is ignored");
    MoveInto(out, aside);
    return true;
}

bool WriteOff(G3Surface& s, std::string& out)
{
    out.clear();
    FlatMesh flat;
    if (!Flatten(s, false, false, flat))
        return false;
    out.reserve(flat.vertices.size() * 40 + flat.corners.size() * 8 + 32);
    out += "OFF\n";
    AppendInt(out, static_cast<long long>(flat.vertices.size()));
    out += ' ';
    AppendInt(out, static_cast<long long>(flat.PolygonCount()));
    out += ' ';
    AppendInt(out, static_cast<long long>(DistinctSides(flat)));
    out += '\n';
    for (const double* p : flat.vertices)
        AppendCoordinates(out, "", p, 3);
    for (std::size_t i = 0; i + 1 < flat.polygonStart.size(); ++i) {
        const std::size_t b = flat.polygonStart[i], e = flat.polygonStart[i + 1];
        AppendInt(out, static_cast<long long>(e - b));
        for (std::size_t k = b; k < e; ++k) {
            out += ' ';
            AppendInt(out, flat.corners[k].v);
        }
        out += '\n';
    }
    return true;
}

} // namespace g3io
