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
// `message`; fewer faces than announced is an error. The same parser reads
// from memory and, a piece at a time, from a file. With
// ReadOptions::mergeEqualVertices the sections are parsed first (vertex
// lines grouped by their exact coordinates) and built by G3OffMerge.cpp.
//
// Writing. Plain OFF: "OFF", the counts (vertices, faces, and as edges
// the distinct vertex pairs along the faces' sides), every vertex, then
// one face per facet; facets with holes as the triangles of a tessellated
// copy.

#include "tools/io/G3MeshIO.h"
#include "tools/io/G3MeshIOInternal.h"

#include "Geometry/foundation/GPrefetch.h"
#include "Geometry/mesh/G3Surface.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>
#include <cstdint>
#include <cstring>
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

// Distinct vertex pairs along the sides of the faces written, by sorting
// all of them.
std::size_t DistinctSidesBySorting(const FlatMesh& flat)
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

// The edge count of the header: distinct vertex pairs along the sides of
// the faces written. The sides are bucketed by their smaller vertex (a
// counting sort over the vertex numbers), and each bucket's few larger
// ends sorted in place.
std::size_t DistinctSides(const FlatMesh& flat)
{
    const std::size_t nV = flat.vertices.size();
    std::vector<std::uint32_t> start(nV + 1, 0);
    std::vector<std::uint32_t> other(flat.corners.size());
    auto eachSide = [&](auto take) {
        for (std::size_t i = 0; i + 1 < flat.polygonStart.size(); ++i) {
            const std::size_t b = flat.polygonStart[i], e = flat.polygonStart[i + 1];
            for (std::size_t k = b; k < e; ++k) {
                const std::uint32_t u = static_cast<std::uint32_t>(flat.corners[k].v);
                const std::uint32_t w = static_cast<std::uint32_t>(flat.corners[k + 1 < e ? k + 1 : b].v);
                take(std::min(u, w), std::max(u, w));
            }
        }
    };
    // Corner numbers index flat.vertices; anything else is counted apart.
    bool inRange = true;
    eachSide([&](std::uint32_t u, std::uint32_t w) {
        if (w < nV)
            ++start[u + 1];
        else
            inRange = false;
    });
    if (!inRange)
        return DistinctSidesBySorting(flat);
    for (std::size_t at = 0; at < nV; ++at)
        start[at + 1] += start[at];
    {
        std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
        eachSide([&](std::uint32_t u, std::uint32_t w) { other[fill[u]++] = w; });
    }
    std::size_t distinct = 0;
    for (std::size_t u = 0; u < nV; ++u) {
        std::uint32_t* b = other.data() + start[u];
        std::uint32_t* e = other.data() + start[u + 1];
        std::sort(b, e);
        distinct += static_cast<std::size_t>(std::unique(b, e) - b);
    }
    return distinct;
}

} // namespace

namespace {

// Groups of equal coordinates by open addressing. A slot holds the
// coordinates beside the group number, so that a lookup reads one slot
// (one cache line) per probe rather than the group's entry as well. The
// points come in batches: the slots of a whole batch are asked for before
// the first is looked at, so that their cache misses overlap, and then
// looked up in order, so that groups are still numbered by first line.
class CoordinateGroups {
public:
    explicit CoordinateGroups(ParsedOff& parsed) : off(parsed) {}
    // Appends p's group to off.lineGroup, at the latest by Flush.
    void Add(const double* p)
    {
        std::memcpy(pending[waiting++], p, sizeof pending[0]);
        if (waiting == kBatch)
            Flush();
    }
    void Flush()
    {
        // Room for every point of the batch to open a group.
        while ((off.groupXyz.size() / 3 + waiting) * 2 > slots.size())
            Grow();
        const std::size_t mask = slots.size() - 1;
        std::size_t at[kBatch];
        for (std::size_t i = 0; i < waiting; ++i) {
            at[i] = Hash(pending[i]) & mask;
            GPrefetch(&slots[at[i]]);
        }
        for (std::size_t i = 0; i < waiting; ++i)
            off.lineGroup.push_back(Group(pending[i], at[i], mask));
        waiting = 0;
    }

private:
    std::uint32_t Group(const double* p, std::size_t i, std::size_t mask)
    {
        for (;; i = (i + 1) & mask) {
            Slot& s = slots[i];
            if (s.group == kFree) {
                const std::uint32_t fresh = static_cast<std::uint32_t>(off.groupXyz.size() / 3);
                off.groupXyz.insert(off.groupXyz.end(), p, p + 3);
                std::memcpy(s.xyz, p, sizeof s.xyz);
                s.group = fresh;
                return fresh;
            }
            if (std::memcmp(s.xyz, p, sizeof s.xyz) == 0)
                return s.group;
        }
    }

private:
    static constexpr std::uint32_t kFree = 0xFFFFFFFFu;
    struct alignas(32) Slot {
        double xyz[3];
        std::uint32_t group;
    };
    static std::size_t Hash(const double* p)
    {
        std::uint64_t h = 0x9E3779B97F4A7C15ull;
        for (int k = 0; k < 3; ++k) {
            std::uint64_t bits;
            std::memcpy(&bits, &p[k], sizeof bits);
            h = (h ^ bits) * 0xFF51AFD7ED558CCDull;
            h ^= h >> 32;
        }
        return static_cast<std::size_t>(h);
    }
    void Grow()
    {
        std::vector<Slot> old;
        old.swap(slots);
        slots.assign(old.empty() ? 1024 : old.size() * 2, Slot{{0.0, 0.0, 0.0}, kFree});
        const std::size_t mask = slots.size() - 1;
        for (const Slot& s : old) {
            if (s.group == kFree)
                continue;
            std::size_t i = Hash(s.xyz) & mask;
            while (slots[i].group != kFree)
                i = (i + 1) & mask;
            slots[i] = s;
        }
    }

    static constexpr std::size_t kBatch = 16;
    ParsedOff& off;
    std::vector<Slot> slots;
    double pending[kBatch][3];
    std::size_t waiting = 0;
};

// Corner numbers with consecutive repeats dropped (the last against the
// first too), as AddPolygon drops repeated vertices: the count left.
std::size_t DropRepeats(std::uint32_t* c, std::size_t n)
{
    std::size_t w = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (w > 0 && c[i] == c[w - 1])
            continue;
        c[w++] = c[i];
    }
    while (w > 1 && c[w - 1] == c[0])
        --w;
    return w;
}

template <class Lines>
bool ReadOffLines(Lines& lines, std::size_t size, const std::string& name, G3Surface& out, std::string& message,
                  const ReadOptions& options)
{
    if (options.welded)
        *options.welded = false;
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

    // Corner numbers and offsets are kept in 32 bits.
    const bool merge = options.mergeEqualVertices && size < (std::size_t(1) << 32);
    // The plain read builds as it goes; the merged one builds once the
    // text is parsed (BuildMergedOff makes the surface, sized to what it
    // will hold, or none when it falls back).
    std::unique_ptr<G3Surface> aside;
    if (!merge) {
        aside.reset(new G3Surface(static_cast<int>(nF), static_cast<int>(nV), static_cast<int>(nF)));
        PrepareAside(out, *aside);
    }
    ParsedOff off;
    // Only while the vertex lines are read.
    std::unique_ptr<CoordinateGroups> groups(merge ? new CoordinateGroups(off) : nullptr);
    std::vector<G3Vertex*> vertices;
    if (merge)
        off.lineGroup.reserve(static_cast<std::size_t>(nV));
    else
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
        if (merge)
            groups->Add(p);
        else
            vertices.push_back(aside->AddVertex(p, 0));
    }
    if (groups)
        groups->Flush();
    groups.reset();
    if (merge) {
        off.faceStart.reserve(static_cast<std::size_t>(nF) + 1);
        off.faceLine.reserve(static_cast<std::size_t>(nF));
        off.corners.reserve(static_cast<std::size_t>(nF) * 3);
        off.faceStart.push_back(0);
    }
    std::vector<G3Vertex*> v;
    std::vector<std::uint32_t> c;
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
        c.assign(static_cast<std::size_t>(n), 0);
        for (std::size_t k = 0; k < c.size(); ++k) {
            long long index = 0;
            const NumberError ek = ParseInt(tokens[k + 1], index);
            if (ek != NumberError::None)
                return fail("bad vertex index '" + Quote(tokens[k + 1]) + "'");
            if (index < 0 || index >= nV)
                return fail("vertex index " + std::to_string(index) + " out of range (" + std::to_string(nV) +
                            " vertices)");
            c[k] = static_cast<std::uint32_t>(index);
        }
        // Numbers after the indexes (a colour) are ignored.
        if (!merge) {
            v.resize(c.size());
            for (std::size_t k = 0; k < c.size(); ++k)
                v[k] = vertices[c[k]];
            if (!AddPolygon(*aside, v, nullptr, nullptr))
                return fail("face with fewer than 3 distinct vertices");
            continue;
        }
        const std::size_t w = DropRepeats(c.data(), c.size());
        if (w < 3)
            return fail("face with fewer than 3 distinct vertices");
        off.corners.insert(off.corners.end(), c.begin(), c.begin() + static_cast<std::ptrdiff_t>(w));
        off.faceStart.push_back(static_cast<std::uint32_t>(off.corners.size()));
        off.faceLine.push_back(lines.Number());
    }
    // Text after the announced faces (more faces than the header counts,
    // as some writers produce) is left unread, as other readers do; the
    // caller hears of it once, at the line where it starts.
    if (next())
        message = LineMessage(name, lines.Number(),
                              "warning: text after the " + std::to_string(nF) + " announced faces is ignored");
    if (merge && !BuildMergedOff(off, out, aside)) {
        aside.reset();
        G3Surface plain(static_cast<int>(nF), static_cast<int>(nV), static_cast<int>(nF));
        PrepareAside(out, plain);
        long badLine = 0;
        if (!BuildPlainOff(off, plain, badLine)) {
            message = LineMessage(name, badLine, "face with fewer than 3 distinct vertices");
            return false;
        }
        MoveInto(out, plain);
        return true;
    }
    MoveInto(out, *aside);
    if (options.welded)
        *options.welded = merge;
    return true;
}

} // namespace

bool ReadOff(const char* data, std::size_t size, const std::string& name, G3Surface& out, std::string& message)
{
    return ReadOff(data, size, name, out, message, ReadOptions());
}

bool ReadOff(const char* data, std::size_t size, const std::string& name, G3Surface& out, std::string& message,
             const ReadOptions& options)
{
    if (!StartReading(data, size, name, out, message))
        return false;
    LineReader lines(data, size, true);
    return ReadOffLines(lines, size, name, out, message, options);
}

bool detail::ReadOffFile(std::FILE* file, std::size_t size, const std::string& name, G3Surface& out, std::string& message,
                 const ReadOptions& options)
{
    message.clear();
    if (!TargetIsEmpty(out)) {
        message = name + ": the target surface is not empty";
        return false;
    }
    FileLineReader lines(file, true);
    std::string parseMessage;
    // Read aside: a read error ends the lines early, and whatever was
    // made of them must not reach `out`.
    G3Surface read;
    PrepareAside(out, read);
    const bool ok = ReadOffLines(lines, size, name, read, parseMessage, options);
    if (lines.Failed()) {
        if (options.welded)
            *options.welded = false;
        message = name + ": cannot read: " + std::strerror(lines.Error());
        return false;
    }
    // Nothing but white space (or nothing at all): the text was never an
    // OFF file, whatever the parser made of it.
    if (!ok && lines.AllBlank()) {
        message = name + ": empty file";
        return false;
    }
    message = parseMessage;
    if (ok)
        MoveInto(out, read);
    return ok;
}

namespace {

// The OFF text of a flattened surface, handed to `flush` in pieces of
// about `piece` bytes (and the rest at the end).
template <class Flush>
void EmitOff(const FlatMesh& flat, std::size_t piece, Flush flush)
{
    std::string out;
    out.reserve(piece + 256);
    out += "OFF\n";
    AppendInt(out, static_cast<long long>(flat.vertices.size()));
    out += ' ';
    AppendInt(out, static_cast<long long>(flat.PolygonCount()));
    out += ' ';
    AppendInt(out, static_cast<long long>(DistinctSides(flat)));
    out += '\n';
    for (const double* p : flat.vertices) {
        AppendCoordinates(out, "", p, 3);
        if (out.size() >= piece) {
            flush(out);
            out.clear();
        }
    }
    for (std::size_t i = 0; i + 1 < flat.polygonStart.size(); ++i) {
        const std::size_t b = flat.polygonStart[i], e = flat.polygonStart[i + 1];
        AppendInt(out, static_cast<long long>(e - b));
        for (std::size_t k = b; k < e; ++k) {
            out += ' ';
            AppendInt(out, flat.corners[k].v);
        }
        out += '\n';
        if (out.size() >= piece) {
            flush(out);
            out.clear();
        }
    }
    flush(out);
}

} // namespace

bool WriteOff(G3Surface& s, std::string& out)
{
    out.clear();
    FlatMesh flat;
    if (!Flatten(s, false, false, flat))
        return false;
    out.reserve(flat.vertices.size() * 40 + flat.corners.size() * 8 + 32);
    EmitOff(flat, std::string::npos, [&](const std::string& piece) { out += piece; });
    return true;
}

bool detail::WriteOffFile(G3Surface& s, std::FILE* file, bool& made, FileContents* written)
{
    FlatMesh flat;
    made = Flatten(s, false, false, flat);
    if (!made)
        return false;
    if (written) {
        *written = FileContents();
        written->vertices = static_cast<long long>(flat.vertices.size());
        written->faces = flat.polygonStart.empty() ? 0 : static_cast<long long>(flat.polygonStart.size()) - 1;
    }
    bool ok = true;
    EmitOff(flat, std::size_t(1) << 20, [&](const std::string& piece) {
        ok = ok && (piece.empty() || std::fwrite(piece.data(), 1, piece.size(), file) == piece.size());
    });
    return ok;
}

} // namespace g3io
