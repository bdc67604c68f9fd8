// The two file formats of a surface: the plain-text topology dump (Save,
// Load) and the VRML 2.0 export (VRMLWriteBegin, VRMLWrite, VRMLWriteEnd),
// plus ScaleCoo.
//
// Numbers never go through the C library's locale-aware conversions:
// doubles are written with std::to_chars and read with std::from_chars, and
// integers are formatted and parsed by hand, so a host that switched its
// locale to one with a decimal comma still writes and reads the same text.
//
// Load (and LoadFromText, which it calls with the file's text) never
// trusts the text. It reads every number first, checks the counts, every
// id and every facet chain and vertex ring (each must end, at the entity's
// recorded last edge, without revisiting an edge), and only then builds
// the mesh aside. Those checks make every link of the mesh built aside
// point to one of its own entities and every walk end, which is what the
// whole-mesh check (G3MeshCheck) needs to run safely; that check then
// decides whether rings and chains agree with the edges (each edge once in
// the ring of each end, on at most its two facet sides, once in each of
// its facets' chains, every contour closed). Only a mesh that passes is
// moved into this (empty) surface. Any failure leaves the surface exactly
// as it was; LoadFromText also tells the line of the token or record at
// fault and why.
//
// Save and VRMLWrite refuse, writing nothing, a surface with a coordinate
// that is not finite (Load could not read the dump back, nor a viewer the
// shape); VRMLWrite also a colour or a written normal that is not. A
// flag word is written as the 32-bit signed integer of its low 32 bits,
// the text a 32-bit writer gives it (bit 31 as a minus sign), and read
// back into those bits alone: bit 31 used to come back sign-extended into
// every bit above it. Bits from the 33rd on have no place in the dump.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3MeshCheck.h"
#include "Geometry/mesh/G3PassCheck.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3ShellExDataProvider.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// ------------------------------------------------------------ writing

// A line assembled in memory and written with one fputs, so that every
// write reports its own failure.
class LineWriter {
public:
    explicit LineWriter(FILE* f) : file(f) {}

    LineWriter& Text(const char* s)
    {
        line.append(s);
        return *this;
    }
    LineWriter& Int(long long v)
    {
        char buf[32];
        const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v);
        line.append(buf, r.ptr);
        return *this;
    }
    // The numbers separated by single spaces, then a line feed.
    LineWriter& Ints(std::initializer_list<long long> values)
    {
        const char* sep = "";
        for (long long v : values) {
            Text(sep).Int(v);
            sep = " ";
        }
        return Text("\n");
    }
    // Fixed notation with `decimals` places, the text of "%.<decimals>f".
    LineWriter& Fixed(double v, int decimals)
    {
        // The widest finite double in fixed notation has 309 integer digits.
        char buf[400];
        const std::to_chars_result r =
            std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
        if (r.ec == std::errc())
            line.append(buf, r.ptr);
        else
            line.append("0");
        return *this;
    }
    // Fixed(v, decimals) when that text reads back as v, bit for bit;
    // otherwise the shortest text that does. Files of meshes that fixed
    // notation holds stay as they always were, but its decimals run out
    // for small numbers (twenty keep 17 significant digits only from 1e-3
    // up, four keep none below 5e-5): a coordinate of a millimetre-sized
    // part came back moved, a subnormal as 0.
    LineWriter& Exact(double v, int decimals)
    {
        char buf[400];
        std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
        double back = 0.0;
        if (r.ec == std::errc()) {
            const std::from_chars_result b = std::from_chars(buf, r.ptr, back, std::chars_format::general);
            if (b.ec == std::errc() && b.ptr == r.ptr && std::memcmp(&back, &v, sizeof v) == 0) {
                line.append(buf, r.ptr);
                return *this;
            }
        }
        r = std::to_chars(buf, buf + sizeof buf, v);
        if (r.ec == std::errc())
            line.append(buf, r.ptr);
        else
            line.append("0");
        return *this;
    }
    // Writes the line and starts a new one; false when the stream refused it.
    bool Flush()
    {
        const bool ok = line.empty() || std::fputs(line.c_str(), file) >= 0;
        line.clear();
        return ok;
    }

private:
    FILE* file;
    std::string line;
};

// The three coordinates at p are finite.
bool FiniteXyz(const double* p)
{
    for (int i = 0; i < 3; ++i)
        if (!std::isfinite(p[i]))
            return false;
    return true;
}

// The dump's value of a flag word: its low 32 bits as a signed integer.
long long FlagText(long flags)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(flags));
}

long long IdOf(const G3Obj* o)
{
    return o ? static_cast<long long>(o->GetId()) : -1;
}

// ------------------------------------------------------------ reading

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Whitespace-separated tokens of a text held in memory.
class TokenReader {
public:
    TokenReader(const char* b, const char* e) : cur(b), end(e) {}

    bool Int(int& out)
    {
        long long v = 0;
        if (!Integer(INT_MIN, INT_MAX, v))
            return false;
        out = static_cast<int>(v);
        return true;
    }

    // A flag word: the low 32 bits of a 32-bit integer, signed as Save
    // writes it or unsigned as another writer may.
    bool Flags(long& out)
    {
        long long v = 0;
        if (!Integer(INT_MIN, UINT32_MAX, v))
            return false;
        out = static_cast<long>(static_cast<std::uint32_t>(v));
        return true;
    }

    bool Double(double& out)
    {
        const char* b;
        const char* e;
        if (!Next(b, e)) {
            reason = "file ends early";
            return false;
        }
        reason = "bad number";
        // from_chars takes no explicit plus sign; the dump never writes one,
        // but hand-edited files may carry it.
        if (*b == '+' && e - b > 1 && b[1] != '-' && b[1] != '+')
            ++b;
        const std::from_chars_result r = std::from_chars(b, e, out, std::chars_format::general);
        if (r.ec != std::errc() || r.ptr != e)
            return false;
        // A vertex would keep NaN or infinity as 0: the file is refused
        // rather than loaded as another mesh.
        if (!std::isfinite(out)) {
            reason = "coordinate not finite";
            return false;
        }
        return true;
    }

    // Anything but whitespace left after the last expected number.
    bool AtEnd()
    {
        while (cur != end && IsSpace(*cur))
            ++cur;
        reason = "data after the last record";
        return cur == end;
    }

    // Tokens taken so far (the one a failed read took included).
    long long Taken() const { return taken; }
    // Why the last read failed.
    const char* reason = nullptr;

private:
    // A decimal integer token (an optional sign) within [lo, hi].
    bool Integer(long long lo, long long hi, long long& out)
    {
        const char* b;
        const char* e;
        if (!Next(b, e)) {
            reason = "file ends early";
            return false;
        }
        reason = "bad integer";
        bool negative = false;
        if (*b == '+' || *b == '-') {
            negative = *b == '-';
            ++b;
        }
        if (b == e)
            return false;
        // The magnitude in unsigned arithmetic, so that lo's own magnitude
        // (one more than hi's for the widest type) is reachable.
        const unsigned long long limit =
            negative ? 0ull - static_cast<unsigned long long>(lo) : static_cast<unsigned long long>(hi);
        unsigned long long v = 0;
        for (; b != e; ++b) {
            if (*b < '0' || *b > '9')
                return false;
            const unsigned digit = static_cast<unsigned>(*b - '0');
            if (digit > limit || v > (limit - digit) / 10)
                return false;
            v = v * 10 + digit;
        }
        out = negative ? static_cast<long long>(0ull - v) : static_cast<long long>(v);
        return true;
    }

    bool Next(const char*& b, const char*& e)
    {
        while (cur != end && IsSpace(*cur))
            ++cur;
        if (cur == end)
            return false;
        b = cur;
        while (cur != end && !IsSpace(*cur))
            ++cur;
        e = cur;
        ++taken;
        return true;
    }

    const char* cur;
    const char* end;
    long long taken = 0;
};

// The line (from 1) of token `index` (from 0) of the text; the last line
// when the text has fewer tokens.
int LineOfToken(const char* text, std::size_t size, long long index)
{
    long long token = -1;
    long long line = 1;
    bool inToken = false;
    for (std::size_t i = 0; i < size; ++i) {
        if (IsSpace(text[i])) {
            inToken = false;
            if (text[i] == '\n')
                ++line;
            continue;
        }
        if (!inToken && ++token == index)
            break;
        inToken = true;
    }
    return line > INT_MAX ? INT_MAX : static_cast<int>(line);
}

bool ReadWholeFile(const char* fileName, std::string& text)
{
    FILE* f = std::fopen(fileName, "rb");
    if (!f)
        return false;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

// The dump as numbers, before anything is built from it.
struct DumpData {
    int nV = 0, nE = 0, nF = 0, nextSurface = 1;
    std::vector<double> xyz;        // 3 per vertex
    std::vector<int> edgeVertices;  // 2 per edge
    std::vector<long> edgeFlags;    // 1 per edge
    std::vector<int> facets;        // first, last, surface per facet
    std::vector<long> facetFlags;   // 1 per facet
    std::vector<int> edgeLinks;     // facet1, facet2, facet1Edge, facet2Edge, vertex1Edge, vertex2Edge
    std::vector<int> vertexEnds;    // first, last per vertex

    int F1(int e) const { return edgeLinks[6 * e + 0]; }
    int F2(int e) const { return edgeLinks[6 * e + 1]; }
    int F1Next(int e) const { return edgeLinks[6 * e + 2]; }
    int F2Next(int e) const { return edgeLinks[6 * e + 3]; }
    int V1Next(int e) const { return edgeLinks[6 * e + 4]; }
    int V2Next(int e) const { return edgeLinks[6 * e + 5]; }
    int V1(int e) const { return edgeVertices[2 * e]; }
    int V2(int e) const { return edgeVertices[2 * e + 1]; }
};

// On failure `badToken` is the index of the token where reading stopped
// and `reason` says why.
bool ParseDump(const char* text, std::size_t size, DumpData& d, long long& badToken, const char*& reason)
{
    TokenReader in(text, text + size);
    auto failed = [&]() {
        badToken = in.Taken() - 1;
        reason = in.reason;
        return false;
    };
    int reserved = 0;
    if (!in.Int(d.nV) || !in.Int(d.nE) || !in.Int(d.nF) || !in.Int(d.nextSurface) || !in.Int(reserved))
        return failed();
    badToken = 0;
    if (d.nV < 0 || d.nE < 0 || d.nF < 0) {
        reason = "negative count";
        return false;
    }
    // Every number takes at least two characters (a digit and a separator),
    // the last one excepted: counts the text cannot hold are refused before
    // anything is allocated for them.
    const std::uint64_t numbers = 5 + 5ull * static_cast<std::uint64_t>(d.nV) +
                                  9ull * static_cast<std::uint64_t>(d.nE) +
                                  4ull * static_cast<std::uint64_t>(d.nF);
    if (numbers > size / 2 + 1) {
        reason = "counts larger than the file";
        return false;
    }

    const size_t nV = static_cast<size_t>(d.nV);
    const size_t nE = static_cast<size_t>(d.nE);
    const size_t nF = static_cast<size_t>(d.nF);
    d.xyz.resize(3 * nV);
    for (double& c : d.xyz)
        if (!in.Double(c))
            return failed();
    d.edgeVertices.resize(2 * nE);
    d.edgeFlags.resize(nE);
    for (size_t e = 0; e < nE; ++e)
        if (!in.Int(d.edgeVertices[2 * e]) || !in.Int(d.edgeVertices[2 * e + 1]) || !in.Flags(d.edgeFlags[e]))
            return failed();
    d.facets.resize(3 * nF);
    d.facetFlags.resize(nF);
    for (size_t f = 0; f < nF; ++f)
        if (!in.Int(d.facets[3 * f]) || !in.Int(d.facets[3 * f + 1]) || !in.Flags(d.facetFlags[f]) ||
            !in.Int(d.facets[3 * f + 2]))
            return failed();
    d.edgeLinks.resize(6 * nE);
    for (int& v : d.edgeLinks)
        if (!in.Int(v))
            return failed();
    d.vertexEnds.resize(2 * nV);
    for (int& v : d.vertexEnds)
        if (!in.Int(v))
            return failed();
    // A dump longer than its header says was not written by Save.
    if (!in.AtEnd()) {
        badToken = in.Taken();
        reason = in.reason;
        return false;
    }
    return true;
}

bool InRange(int id, int n, bool nullable)
{
    return (nullable && id == -1) || (id >= 0 && id < n);
}

// Walks one intrusive list through the edges from `first`, `next(edge)`
// giving the following edge, `owns(edge)` whether the edge names the list's
// owner. The list must end (a null link) at `last`, every edge on the way
// must name the owner, and no (edge, link) slot may be visited twice: the
// slots of all lists of one kind are shared in `visited`, so a list that
// loops, or two lists that merge, are refused after at most one pass over
// the edges.
template <class Owns, class Slot, class Next>
bool WalkList(int first, int last, int nE, std::vector<unsigned char>& visited, Owns owns, Slot slot, Next next)
{
    if ((first < 0) != (last < 0))
        return false;
    int prev = -1;
    for (int e = first; e >= 0; e = next(e)) {
        if (e >= nE || !owns(e))
            return false;
        unsigned char& mark = visited[2 * static_cast<size_t>(e) + static_cast<size_t>(slot(e))];
        if (mark)
            return false;
        mark = 1;
        prev = e;
    }
    return prev == last;
}

// On failure `badToken` is the index of the first token of the record at
// fault and `reason` says what is wrong with it.
bool CheckDump(const DumpData& d, long long& badToken, const char*& reason)
{
    const int nV = d.nV, nE = d.nE, nF = d.nF;
    // Where each record kind starts among the tokens.
    const long long edges0 = 5 + 3ll * nV;
    const long long facets0 = edges0 + 3ll * nE;
    const long long links0 = facets0 + 4ll * nF;
    const long long ends0 = links0 + 6ll * nE;
    auto bad = [&](long long token, const char* why) {
        badToken = token;
        reason = why;
        return false;
    };
    for (int e = 0; e < nE; ++e) {
        if (!InRange(d.V1(e), nV, false) || !InRange(d.V2(e), nV, false))
            return bad(edges0 + 3ll * e, "edge vertex id out of range");
        for (int k = 0; k < 2; ++k)
            if (!InRange(d.edgeLinks[6 * static_cast<size_t>(e) + k], nF, true))
                return bad(links0 + 6ll * e, "edge facet id out of range");
        for (int k = 2; k < 6; ++k)
            if (!InRange(d.edgeLinks[6 * static_cast<size_t>(e) + k], nE, true))
                return bad(links0 + 6ll * e, "edge link id out of range");
    }
    for (int f = 0; f < nF; ++f)
        if (!InRange(d.facets[3 * static_cast<size_t>(f)], nE, true) ||
            !InRange(d.facets[3 * static_cast<size_t>(f) + 1], nE, true))
            return bad(facets0 + 4ll * f, "facet edge id out of range");
    for (int v = 0; v < nV; ++v)
        if (!InRange(d.vertexEnds[2 * static_cast<size_t>(v)], nE, true) ||
            !InRange(d.vertexEnds[2 * static_cast<size_t>(v) + 1], nE, true))
            return bad(ends0 + 2ll * v, "vertex edge id out of range");

    // Facet chains: on each edge the link of the facet's side (facet1Edge
    // when the facet is facet1, else facet2Edge), as every chain walk reads
    // it.
    std::vector<unsigned char> visited(2 * static_cast<size_t>(nE), 0);
    for (int f = 0; f < nF; ++f) {
        auto owns = [&](int e) { return d.F1(e) == f || d.F2(e) == f; };
        auto slot = [&](int e) { return d.F1(e) == f ? 0 : 1; };
        auto next = [&](int e) { return d.F1(e) == f ? d.F1Next(e) : d.F2Next(e); };
        if (!WalkList(d.facets[3 * static_cast<size_t>(f)], d.facets[3 * static_cast<size_t>(f) + 1], nE, visited,
                      owns, slot, next))
            return bad(facets0 + 4ll * f, "facet chain broken");
    }
    // Vertex rings: vertex1Edge when the vertex is vertex1, else vertex2Edge.
    std::fill(visited.begin(), visited.end(), 0);
    for (int v = 0; v < nV; ++v) {
        auto owns = [&](int e) { return d.V1(e) == v || d.V2(e) == v; };
        auto slot = [&](int e) { return d.V1(e) == v ? 0 : 1; };
        auto next = [&](int e) { return d.V1(e) == v ? d.V1Next(e) : d.V2Next(e); };
        if (!WalkList(d.vertexEnds[2 * static_cast<size_t>(v)], d.vertexEnds[2 * static_cast<size_t>(v) + 1], nE,
                      visited, owns, slot, next))
            return bad(ends0 + 2ll * v, "vertex ring broken");
    }
    return true;
}

template <class T>
T* At(GArrayCollection* list, int id)
{
    return id < 0 ? nullptr : static_cast<T*>(list->get(id));
}

// The corner normal of `f` at `v` when it is one of `s`'s own normals,
// else null.
G3Normal* ListedCornerNormal(G3Surface* s, G3Facet* f, G3Vertex* v)
{
    G3Normal* n = f->GetNormal(v, nullptr);
    if (!n)
        return nullptr;
    const long id = n->GetId();
    return id >= 0 && id < s->GetNormalCount() && s->GetNormal(static_cast<int>(id)) == n ? n : nullptr;
}

// The faces of a VRML shape, corner by corner: vertex indexes (the
// surface's vertices, then `extra`), and the listed normal of each corner
// (-1 where there is none). An IndexedFaceSet face has no holes, so a facet
// with holes is given as the triangles of a tessellated copy; one the
// tessellator leaves whole as its outer contour. Its vertices keep their
// places in the copy, and a point the tessellator adds is appended.
struct VrmlFaces {
    std::vector<int> vertex, normal;
    std::vector<size_t> start = {0};
    std::vector<G3Vertex*> extra;
    std::unique_ptr<G3Surface> copy;

    bool Make(G3Surface* s)
    {
        const int nF = s->GetFacetCount();
        std::vector<char> holed(static_cast<size_t>(nF), 0);
        bool any = false;
        for (int i = 0; i < nF; ++i) {
            G3ContourWalker w(s->GetFacet(i));
            int contours = 0;
            // Loops, not contours: a hole that starts where the outline
            // closes is walked on from there, yet VRML faces cannot hold it.
            while (contours < 2 && w.Next())
                contours += w.OpensLoop() ? 1 : 0;
            holed[static_cast<size_t>(i)] = contours > 1;
            any = any || contours > 1;
        }
        std::vector<std::vector<G3Facet*>> pieces;
        std::unordered_map<const G3Vertex*, int> copyVertex;
        std::unordered_map<const G3Normal*, int> copyNormal;
        if (any) {
            copy.reset(s->Duplicate());
            if (!copy || copy->GetFacetCount() != nF || copy->GetVertexCount() != s->GetVertexCount() ||
                copy->GetNormalCount() != s->GetNormalCount())
                return false;
            for (int i = 0; i < copy->GetVertexCount(); ++i)
                copyVertex.emplace(copy->GetVertex(i), i);
            for (int i = 0; i < copy->GetNormalCount(); ++i)
                copyNormal.emplace(copy->GetNormal(i), i);
            // Removal moves the last facet into the freed slot: walking
            // down, every slot below still holds its original.
            for (int i = nF - 1; i >= 0; --i) {
                G3Facet* f = copy->GetFacet(i);
                if (holed[static_cast<size_t>(i)])
                    f->SetSurface(i);
                else
                    copy->RemoveFacet(f);
            }
            copy->Triangulate(4, 0);
            pieces.resize(static_cast<size_t>(nF));
            for (int i = 0; i < copy->GetFacetCount(); ++i) {
                G3Facet* f = copy->GetFacet(i);
                const int origin = f->GetSurface();
                if (origin >= 0 && origin < nF && holed[static_cast<size_t>(origin)])
                    pieces[static_cast<size_t>(origin)].push_back(f);
            }
        }
        const int nE = s->GetEdgeCount();
        for (int i = 0; i < nF; ++i) {
            if (!holed[static_cast<size_t>(i)]) {
                G3Facet* f = s->GetFacet(i);
                if (!Add(f, nE, [&](G3Vertex* v) { return static_cast<int>(v->GetId()); },
                         [&](G3Vertex* v) {
                             G3Normal* n = ListedCornerNormal(s, f, v);
                             return n ? static_cast<int>(n->GetId()) : -1;
                         }))
                    return false;
                continue;
            }
            for (G3Facet* f : pieces[static_cast<size_t>(i)]) {
                auto vertexIndex = [&](G3Vertex* v) {
                    auto found = copyVertex.find(v);
                    if (found != copyVertex.end())
                        return found->second;
                    extra.push_back(v);
                    const int k = s->GetVertexCount() + static_cast<int>(extra.size()) - 1;
                    copyVertex.emplace(v, k);
                    return k;
                };
                auto normalIndex = [&](G3Vertex* v) {
                    auto found = copyNormal.find(f->GetNormal(v, nullptr));
                    return found != copyNormal.end() ? found->second : -1;
                };
                if (!Add(f, copy->GetEdgeCount(), vertexIndex, normalIndex))
                    return false;
            }
        }
        return true;
    }

    // Every face turns one way at each corner (about its own Newell
    // normal; corners in line, within kZeroArea, count as turning either
    // way). Viewers fan the faces of a set said to be convex from their
    // first corner, which paints an L-shaped facet over its notch.
    bool Convex(const G3Surface* s) const
    {
        const int nV = s->GetVertexCount();
        auto at = [&](size_t k) {
            const int i = vertex[k];
            return i < nV ? s->GetVertex(i)->GetXYZ() : extra[static_cast<size_t>(i - nV)]->GetXYZ();
        };
        for (size_t f = 0; f + 1 < start.size(); ++f) {
            const size_t a = start[f], n = start[f + 1] - a;
            if (n <= 3)
                continue;
            double normal[3] = {0.0, 0.0, 0.0};
            for (size_t k = 0; k < n; ++k) {
                const double* p = at(a + k);
                const double* q = at(a + (k + 1) % n);
                normal[0] += (p[1] - q[1]) * (p[2] + q[2]);
                normal[1] += (p[2] - q[2]) * (p[0] + q[0]);
                normal[2] += (p[0] - q[0]) * (p[1] + q[1]);
            }
            const double length = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
            if (!(length > 0.0))
                continue;
            for (size_t k = 0; k < n; ++k) {
                const double* p = at(a + (k + n - 1) % n);
                const double* v = at(a + k);
                const double* q = at(a + (k + 1) % n);
                const double u[3] = {v[0] - p[0], v[1] - p[1], v[2] - p[2]};
                const double w[3] = {q[0] - v[0], q[1] - v[1], q[2] - v[2]};
                const double turn = (u[1] * w[2] - u[2] * w[1]) * normal[0] + (u[2] * w[0] - u[0] * w[2]) * normal[1] +
                                    (u[0] * w[1] - u[1] * w[0]) * normal[2];
                if (turn < -GTolerance::kZeroArea * length)
                    return false;
            }
        }
        return true;
    }

private:
    // The corners of f's outer contour; false when its chain runs past
    // `limit` edges (it loops) or an edge lacks its vertex. A face needs
    // three distinct points that do not repeat one after the other: a
    // repeat is dropped (the first corner's normal kept), and a facet with
    // fewer than three distinct vertices (one without edges among them)
    // gives no face.
    template <class VertexIndex, class NormalIndex>
    bool Add(G3Facet* f, int limit, VertexIndex vertexIndex, NormalIndex normalIndex)
    {
        const size_t first = vertex.size();
        G3ContourWalker w(f);
        int contours = 0;
        for (int steps = 0; w.Next(); ++steps) {
            G3Vertex* v = w.GetEntry();
            if (steps >= limit || !v)
                return false;
            if (w.OpensLoop() && ++contours > 1)
                break;
            const int k = vertexIndex(v);
            if (vertex.size() > first && vertex.back() == k)
                continue;
            vertex.push_back(k);
            normal.push_back(normalIndex(v));
        }
        while (vertex.size() > first + 1 && vertex.back() == vertex[first]) {
            vertex.pop_back();
            normal.pop_back();
        }
        int distinct[2] = {-1, -1};
        bool three = false;
        for (size_t k = first; k < vertex.size() && !three; ++k) {
            if (distinct[0] < 0 || vertex[k] == distinct[0])
                distinct[0] = vertex[k];
            else if (distinct[1] < 0 || vertex[k] == distinct[1])
                distinct[1] = vertex[k];
            else
                three = true;
        }
        if (!three) {
            vertex.resize(first);
            normal.resize(first);
            return true;
        }
        start.push_back(vertex.size());
        return true;
    }
};

} // namespace

// ---------------------------------------------------------------- dump

bool G3Surface::Save(const char* fileName)
{
    if (!fileName)
        return false;
    // Load refuses a coordinate that is not finite (a vertex cannot keep
    // it): such a surface is not written, and an older file of that name
    // stays as it was.
    for (int i = 0; i < GetVertexCount(); ++i)
        if (!FiniteXyz(GetVertex(i)->GetXYZ()))
            return false;
    // Ids are written as indexes: restore them in case a host renumbered.
    AssignIds();
    FILE* f = std::fopen(fileName, "w");
    if (!f)
        return false;
    LineWriter out(f);
    const int nV = GetVertexCount();
    const int nE = GetEdgeCount();
    const int nF = GetFacetCount();

    bool ok = out.Ints({nV, nE, nF, nextSurface, 0}).Flush();
    for (int i = 0; ok && i < nV; ++i) {
        const G3Vertex* v = GetVertex(i);
        ok = out.Exact(v->GetX(), 20).Text(" ").Exact(v->GetY(), 20).Text(" ").Exact(v->GetZ(), 20).Text("\n").Flush();
    }
    for (int i = 0; ok && i < nE; ++i) {
        const G3Edge* e = GetEdge(i);
        ok = out.Ints({IdOf(e->GetVertex1()), IdOf(e->GetVertex2()), FlagText(e->GetFlags())}).Flush();
    }
    for (int i = 0; ok && i < nF; ++i) {
        const G3Facet* fc = GetFacet(i);
        ok = out.Ints({IdOf(fc->GetFirstEdge()), IdOf(fc->GetLastEdge()), FlagText(fc->GetFlags()), fc->GetSurface()})
                 .Flush();
    }
    for (int i = 0; ok && i < nE; ++i) {
        const G3Edge* e = GetEdge(i);
        ok = out.Ints({IdOf(e->GetFacet1()), IdOf(e->GetFacet2()), IdOf(e->GetFacet1Edge()), IdOf(e->GetFacet2Edge()),
                       IdOf(e->GetVertex1Edge()), IdOf(e->GetVertex2Edge())})
                 .Flush();
    }
    for (int i = 0; ok && i < nV; ++i) {
        const G3Vertex* v = GetVertex(i);
        ok = out.Ints({IdOf(v->GetFirstEdge()), IdOf(v->GetLastEdge())}).Flush();
    }
    if (std::fclose(f) != 0)
        ok = false;
    return ok;
}

bool G3Surface::Load(const char* fileName)
{
    G3_CHECK_PASS_KEEPING_MARKS(this, "Load");
    if (!fileName)
        return false;
    // The ids in the file index an empty surface.
    if (GetVertexCount() || GetEdgeCount() || GetFacetCount() || GetNormalCount() || GetTexCooCount() ||
        GetPolyEdgeCount())
        return false;
    if (!vertices || !edges || !facets)
        return false;

    std::string text;
    if (!ReadWholeFile(fileName, text))
        return false;
    return LoadFromText(text.data(), text.size());
}

bool G3Surface::LoadFromText(const char* text, std::size_t size, int* errorLine, const char** reason)
{
    G3_CHECK_PASS_KEEPING_MARKS(this, "LoadFromText");
    if (errorLine)
        *errorLine = 0;
    const char* why = nullptr;
    auto refuse = [&](const char* what) {
        if (reason)
            *reason = what;
        return false;
    };
    if (GetVertexCount() || GetEdgeCount() || GetFacetCount() || GetNormalCount() || GetTexCooCount() ||
        GetPolyEdgeCount())
        return refuse("the target surface is not empty");
    if (!vertices || !edges || !facets || (!text && size > 0))
        return refuse("the target surface has no collections");

    // A UTF-8 byte order mark, as an editor may put before the text, is
    // no token: the dump is read as what follows it (line numbers stay).
    if (text && size >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0) {
        text += 3;
        size -= 3;
    }
    DumpData d;
    long long badToken = 0;
    if (!ParseDump(text ? text : "", size, d, badToken, why) || !CheckDump(d, badToken, why)) {
        if (errorLine)
            *errorLine = LineOfToken(text ? text : "", size, badToken);
        return refuse(why ? why : "malformed dump");
    }

    // Built aside, so that nothing touches this surface until it is whole.
    G3Surface loaded;
    loaded.GetExtendedDataFacetDefault() = extendedDataFacetDefault;
    GArrayCollection* lv = loaded.GetVertexList();
    GArrayCollection* le = loaded.GetEdgeList();
    GArrayCollection* lf = loaded.GetFacetList();
    for (int i = 0; i < d.nV; ++i)
        if (!loaded.AddVertex(d.xyz[3 * static_cast<size_t>(i)], d.xyz[3 * static_cast<size_t>(i) + 1],
                              d.xyz[3 * static_cast<size_t>(i) + 2], 0))
            return refuse("the surface could not be built");
    for (int i = 0; i < d.nE; ++i) {
        G3Edge* e = new G3Edge(At<G3Vertex>(lv, d.V1(i)), At<G3Vertex>(lv, d.V2(i)));
        if (!loaded.AddEdgeToCollection(e)) {
            delete e;
            return refuse("the surface could not be built");
        }
        e->SetFlags(d.edgeFlags[static_cast<size_t>(i)]);
    }
    for (int i = 0; i < d.nF; ++i) {
        G3Facet* f = new G3Facet();
        if (!loaded.AddFacetToCollection(f)) {
            delete f;
            return refuse("the surface could not be built");
        }
        const int* rec = &d.facets[3 * static_cast<size_t>(i)];
        f->SetFirstEdge(At<G3Edge>(le, rec[0]));
        f->SetLastEdge(At<G3Edge>(le, rec[1]));
        f->SetFlags(d.facetFlags[static_cast<size_t>(i)]);
        f->SetSurface(rec[2]);
    }
    for (int i = 0; i < d.nE; ++i) {
        G3Edge* e = static_cast<G3Edge*>(le->get(i));
        e->SetFacet1(At<G3Facet>(lf, d.F1(i)));
        e->SetFacet2(At<G3Facet>(lf, d.F2(i)));
        e->SetFacet1Edge(At<G3Edge>(le, d.F1Next(i)));
        e->SetFacet2Edge(At<G3Edge>(le, d.F2Next(i)));
        e->SetVertex1Edge(At<G3Edge>(le, d.V1Next(i)));
        e->SetVertex2Edge(At<G3Edge>(le, d.V2Next(i)));
    }
    for (int i = 0; i < d.nV; ++i) {
        G3Vertex* v = static_cast<G3Vertex*>(lv->get(i));
        v->SetFirstEdge(At<G3Edge>(le, d.vertexEnds[2 * static_cast<size_t>(i)]));
        v->SetLastEdge(At<G3Edge>(le, d.vertexEnds[2 * static_cast<size_t>(i) + 1]));
    }
    loaded.ReallocByRealSize();

    // The check's report names the broken invariant and the entity; it is
    // kept per thread so that *reason stays readable after the return.
    thread_local std::string inconsistency;
    inconsistency = G3MeshCheck(&loaded);
    if (!inconsistency.empty())
        return refuse(inconsistency.c_str());

    MoveContentsFrom(loaded);
    nextSurface = d.nextSurface;
    // An attached shell provider hears of the entities as if they had been
    // added here (the object providers already opened the facets).
    if (G3ShellExDataProvider* p = GetExDataProvider()) {
        if (p->IsExDataVertex())
            for (int i = 0; i < d.nV; ++i)
                p->OpenExDataVertex(GetVertex(i));
        if (p->IsExDataEdge())
            for (int i = 0; i < d.nE; ++i)
                p->OpenExDataEdge(GetEdge(i));
        if (p->IsExDataFacet())
            for (int i = 0; i < d.nF; ++i)
                p->OpenExDataFacet(GetFacet(i));
    }
    return true;
}

void G3Surface::ScaleCoo(double s)
{
    const int n = GetVertexCount();
    for (int i = 0; i < n; ++i) {
        G3Vertex* v = GetVertex(i);
        v->SetX(v->GetX() * s);
        v->SetY(v->GetY() * s);
        v->SetZ(v->GetZ() * s);
    }
}

// ---------------------------------------------------------------- VRML

bool G3Surface::VRMLWriteBegin(const char* fileName, FILE** out)
{
    if (!fileName || !out)
        return false;
    FILE* f = std::fopen(fileName, "w");
    if (!f)
        return false;
    std::fputs("#VRML V2.0 utf8\n"
               "NavigationInfo {\n"
               "headlight FALSE\n"
               "type \"WALK\"\n"
               "speed 1\n"
               "}\n",
               f);
    *out = f;
    return true;
}

bool G3Surface::VRMLWrite(FILE* file, G3Surface* s, double const* color)
{
    if (!file || !s || !color)
        return false;
    // Vertex and normal ids are written as indexes.
    s->AssignIds();
    // The shape is laid out, and every number it will hold checked, before
    // anything is written: a viewer cannot read "nan" or "inf", and a shape
    // refused here leaves the file as it was.
    if (!FiniteXyz(color))
        return false;
    for (int i = 0; i < s->GetVertexCount(); ++i)
        if (!FiniteXyz(s->GetVertex(i)->GetXYZ()))
            return false;
    VrmlFaces faces;
    if (!faces.Make(s))
        return false;
    for (const G3Vertex* v : faces.extra)
        if (!FiniteXyz(v->GetXYZ()))
            return false;
    const bool withNormals =
        s->GetNormalCount() > 0 && std::find(faces.normal.begin(), faces.normal.end(), -1) == faces.normal.end();
    for (int i = 0; withNormals && i < s->GetNormalCount(); ++i)
        if (!FiniteXyz(s->GetNormal(i)->GetXYZ()))
            return false;
    LineWriter out(file);

    static const char* const shapeHead[] = {"Shape {\n", "appearance Appearance {\n", "material Material {\n",
                                            "ambientIntensity 0\n"};
    for (const char* line : shapeHead)
        if (!out.Text(line).Flush())
            return false;
    if (!out.Text("diffuseColor ")
             .Fixed(color[0], 6)
             .Text(" ")
             .Fixed(color[1], 6)
             .Text(" ")
             .Fixed(color[2], 6)
             .Text("\n")
             .Flush())
        return false;
    const char* convex = faces.Convex(s) ? "convex TRUE\n" : "convex FALSE\n";
    static const char* const shapeTail[] = {"emissiveColor 0 0 0\n", "specularColor 0 0 0\n", "shininess 0\n",
                                            "transparency 0\n", "}\n", "}\n", "geometry IndexedFaceSet {\n"};
    for (const char* line : shapeTail)
        if (!out.Text(line).Flush())
            return false;
    for (const char* line : {convex, "solid FALSE\n", "creaseAngle 0\n", "coord Coordinate {\n", "point[\n"})
        if (!out.Text(line).Flush())
            return false;
    const int nV = s->GetVertexCount();
    for (size_t i = 0; i < static_cast<size_t>(nV) + faces.extra.size(); ++i) {
        const G3Vertex* v = i < static_cast<size_t>(nV) ? s->GetVertex(static_cast<int>(i)) : faces.extra[i - nV];
        if (!out.Exact(v->GetX(), 4).Text(" ").Exact(v->GetY(), 4).Text(" ").Exact(v->GetZ(), 4).Text(",\n").Flush())
            return false;
    }
    // One face per line: its vertex (or normal) indexes, then the -1 that
    // ends the face.
    auto writeIndexes = [&](const std::vector<int>& index) {
        for (size_t f = 0; f + 1 < faces.start.size(); ++f) {
            for (size_t k = faces.start[f]; k < faces.start[f + 1]; ++k)
                out.Int(index[k]).Text(",");
            if (!out.Text("-1\n").Flush())
                return false;
        }
        return out.Text("]\n").Flush();
    };
    if (!out.Text("]\n}\ncoordIndex [\n").Flush() || !writeIndexes(faces.vertex))
        return false;

    // The normal block needs one listed normal for every corner; a surface
    // where some corner has none is written without it.
    if (withNormals) {
        if (!out.Text("normal Normal {\nvector [\n").Flush())
            return false;
        const int nN = s->GetNormalCount();
        for (int i = 0; i < nN; ++i) {
            const G3Normal* n = s->GetNormal(i);
            if (!out.Fixed(n->GetX(), 6).Text(" ").Fixed(n->GetY(), 6).Text(" ").Fixed(n->GetZ(), 6).Text(",\n").Flush())
                return false;
        }
        if (!out.Text("]\n}\nnormalIndex [\n").Flush() || !writeIndexes(faces.normal) ||
            !out.Text("normalPerVertex TRUE\n").Flush())
            return false;
    }
    return out.Text("\n}\n}\n").Flush();
}

bool G3Surface::VRMLWriteEnd(FILE* file)
{
    if (!file)
        return false;
    // Buffered text reaches the file here: a full disk shows up now.
    return std::fclose(file) == 0;
}
