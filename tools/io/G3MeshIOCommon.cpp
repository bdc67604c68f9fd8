// Text scanning, number parsing, messages, building aside and flattening a
// surface for the writers.

#include "tools/io/G3MeshIOInternal.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3FacetPrefetch.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <cmath>
#include <unordered_map>
#include <utility>

namespace g3io {
namespace detail {

// ------------------------------------------------------------ messages

std::string Quote(std::string_view text)
{
    std::string out;
    const std::size_t limit = 40;
    for (std::size_t i = 0; i < text.size() && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    if (text.size() > limit)
        out += "...";
    return out;
}

std::string LineMessage(const std::string& name, long line, const std::string& what)
{
    return name + ":" + std::to_string(line) + ": " + what;
}

std::string ByteMessage(const std::string& name, unsigned long long offset, const std::string& what)
{
    return name + ": byte " + std::to_string(offset) + ": " + what;
}

// ------------------------------------------------------------ text input

bool IsBlank(const char* data, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i)
        if (!IsSpace(data[i]))
            return false;
    return true;
}

// The tokens of the reader's next line that has any.
template <class Reader>
bool NextNonBlankTokens(Reader& reader, std::vector<std::string_view>& tokens)
{
    std::string_view line;
    while (reader.Next(line)) {
        Split(line, tokens);
        if (!tokens.empty())
            return true;
    }
    return false;
}

bool LineReader::NextTokens(std::vector<std::string_view>& tokens) { return NextNonBlankTokens(*this, tokens); }

bool LineReader::Next(std::string_view& line)
{
    if (cur >= end)
        return false;
    const char* b = cur;
    const char* e = b;
    while (e < end && *e != '\n')
        ++e;
    cur = e < end ? e + 1 : end;
    ++number;
    if (e > b && e[-1] == '\r')
        --e;
    if (stripComments)
        for (const char* p = b; p < e; ++p)
            if (*p == '#') {
                e = p;
                break;
            }
    line = std::string_view(b, static_cast<std::size_t>(e - b));
    return true;
}

bool FileLineReader::Fill()
{
    if (atEnd)
        return false;
    if (begin > 0) {
        std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(begin), buffer.begin() + static_cast<std::ptrdiff_t>(end),
                  buffer.begin());
        end -= begin;
        begin = 0;
    }
    // A line longer than the buffer doubles it.
    if (end == buffer.size())
        buffer.resize(buffer.size() * 2);
    const std::size_t n = std::fread(buffer.data() + end, 1, buffer.size() - end, file);
    if (n == 0) {
        atEnd = true;
        failed = std::ferror(file) != 0;
        error = failed ? errno : 0;
        return false;
    }
    for (std::size_t i = end; i < end + n && allBlank; ++i)
        allBlank = IsSpace(buffer[i]);
    end += n;
    if (!started && end >= 3) {
        started = true;
        if (static_cast<unsigned char>(buffer[0]) == 0xEF && static_cast<unsigned char>(buffer[1]) == 0xBB &&
            static_cast<unsigned char>(buffer[2]) == 0xBF)
            begin = 3;
    }
    return true;
}

bool FileLineReader::Next(std::string_view& line)
{
    const char* nl = nullptr;
    for (;;) {
        if (begin + scanned < end)
            nl = static_cast<const char*>(std::memchr(buffer.data() + begin + scanned, '\n', end - begin - scanned));
        if (nl)
            break;
        // Fill moves the unread part to the front of the buffer; what is
        // known of it stays known.
        scanned = end - begin;
        if (!Fill())
            break;
    }
    if (begin >= end)
        return false;
    const char* b = buffer.data() + begin;
    const char* e = nl ? nl : buffer.data() + end;
    begin = nl ? static_cast<std::size_t>(nl - buffer.data()) + 1 : end;
    scanned = 0;
    ++number;
    if (e > b && e[-1] == '\r')
        --e;
    if (stripComments)
        if (const char* hash = static_cast<const char*>(std::memchr(b, '#', static_cast<std::size_t>(e - b))))
            e = hash;
    line = std::string_view(b, static_cast<std::size_t>(e - b));
    return true;
}

bool FileLineReader::NextTokens(std::vector<std::string_view>& tokens) { return NextNonBlankTokens(*this, tokens); }

void Split(std::string_view line, std::vector<std::string_view>& tokens)
{
    tokens.clear();
    std::size_t i = 0;
    const std::size_t n = line.size();
    while (i < n) {
        while (i < n && IsSpace(line[i]))
            ++i;
        const std::size_t b = i;
        while (i < n && !IsSpace(line[i]))
            ++i;
        if (i > b)
            tokens.push_back(line.substr(b, i - b));
    }
}

bool SameWord(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

namespace {

// Reads all of token with from_chars (no locale); a leading plus sign is
// taken, which from_chars does not do.
template <class T, class... Format>
NumberError ParseWhole(std::string_view token, T& v, Format... format)
{
    const char* b = token.data();
    const char* e = b + token.size();
    if (b != e && *b == '+' && e - b > 1 && b[1] != '-' && b[1] != '+')
        ++b;
    if (b == e)
        return NumberError::NotANumber;
    const std::from_chars_result r = std::from_chars(b, e, v, format...);
    if (r.ptr != e || (r.ec != std::errc() && r.ec != std::errc::result_out_of_range))
        return NumberError::NotANumber;
    if (r.ec == std::errc::result_out_of_range)
        return NumberError::OutOfRange;
    return NumberError::None;
}

} // namespace

NumberError ParseDouble(std::string_view token, double& out)
{
    double v = 0.0;
    const NumberError error = ParseWhole(token, v, std::chars_format::general);
    if (error != NumberError::None)
        return error;
    if (!std::isfinite(v))
        return NumberError::NotFinite;
    out = v;
    return NumberError::None;
}

NumberError ParseInt(std::string_view token, long long& out)
{
    long long v = 0;
    const NumberError error = ParseWhole(token, v, 10);
    if (error == NumberError::None)
        out = v;
    return error;
}

std::string NumberProblem(NumberError error, std::string_view token)
{
    switch (error) {
    case NumberError::NotFinite: return "'" + Quote(token) + "' is not a finite number";
    case NumberError::OutOfRange: return "number '" + Quote(token) + "' out of range";
    case NumberError::NotANumber:
    case NumberError::None: break;
    }
    return "'" + Quote(token) + "' is not a number";
}

// ------------------------------------------------------------ building

bool TargetIsEmpty(const G3Surface& s)
{
    return s.GetVertexCount() == 0 && s.GetEdgeCount() == 0 && s.GetFacetCount() == 0 && s.GetNormalCount() == 0 &&
           s.GetTexCooCount() == 0 && s.GetPolyEdgeCount() == 0;
}

bool StartReading(const char* data, std::size_t size, const std::string& name, const G3Surface& out,
                  std::string& message, bool text)
{
    message.clear();
    if (!TargetIsEmpty(out)) {
        message = name + ": the target surface is not empty";
        return false;
    }
    if (!data || size == 0 || (text && IsBlank(data, size))) {
        message = name + ": empty file";
        return false;
    }
    return true;
}

void PrepareAside(G3Surface& target, G3Surface& aside)
{
    aside.SetSurface(target.GetSurface());
    aside.SetNextSurface(target.PeekNextSurface());
    aside.SetEdgeFlags(target.GetEdgeFlags());
    aside.GetExtendedDataFacetDefault() = target.GetExtendedDataFacetDefault();
}

void MoveInto(G3Surface& to, G3Surface& from)
{
    from.ReallocByRealSize();
    to.MoveContentsFrom(from);
}

G3Facet* AddPolygon(G3Surface& s, std::vector<G3Vertex*>& v, std::vector<G3Normal*>* normals,
                    std::vector<G3TexCoo*>* texCoos)
{
    // Drop consecutive repeats (the last corner against the first too):
    // they add no edge and no area.
    std::size_t n = v.size();
    std::size_t w = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (w > 0 && v[i] == v[w - 1])
            continue;
        v[w] = v[i];
        if (normals)
            (*normals)[w] = (*normals)[i];
        if (texCoos)
            (*texCoos)[w] = (*texCoos)[i];
        ++w;
    }
    while (w > 1 && v[w - 1] == v[0])
        --w;
    v.resize(w);
    if (normals)
        normals->resize(w);
    if (texCoos)
        texCoos->resize(w);
    if (w < 3)
        return nullptr;
    const int count = static_cast<int>(w);
    if (normals) {
        // AddFacet stores texture coordinates together with normals.
        return s.AddFacet(count, v.data(), s.GetEdgeFlags(), normals->data(), texCoos ? texCoos->data() : nullptr);
    }
    // Every edge with the surface's flags, from a buffer on the stack for
    // the usual small polygon (the overload taking one flag allocates an
    // array per facet).
    int small[16];
    std::vector<int> large;
    int* flags = count <= 16 ? small : (large.resize(w), large.data());
    std::fill(flags, flags + count, s.GetEdgeFlags());
    G3Facet* f = s.AddFacet(count, v.data(), flags, nullptr, nullptr);
    if (!f || !texCoos)
        return f;
    // Texture coordinates without normals: edge i of the chain runs from
    // corner i to corner i + 1 and holds this facet's data at both ends.
    std::size_t i = 0;
    for (G3Edge* e = f->GetFirstEdge(); e && i < w; e = e->GetFacetEdge(f), ++i) {
        const std::size_t j = (i + 1) % w;
        if (!e->HasVertex(v[i]) || !e->HasVertex(v[j]))
            break;
        e->SetCorner(f, v[i], nullptr, (*texCoos)[i]);
        e->SetCorner(f, v[j], nullptr, (*texCoos)[j]);
    }
    return f;
}

// ------------------------------------------------------------ output

FlatMesh::~FlatMesh()
{
    for (G3Surface* s : owned)
        delete s;
}

namespace {

struct WalkCorner {
    G3Vertex* v;
    G3Edge* e;
};

// The corners of f in chain order, each with the edge it starts, and where
// each closed loop begins (G3ContourWalker::OpensLoop: a hole walked on
// from the corner where the outline closes is a loop of its own, and none
// of the formats written here can hold it in one face). False when the
// chain runs past `limit` edges (it loops) or an edge lacks a vertex.
bool WalkFacet(G3Facet* f, int limit, std::vector<WalkCorner>& corners, std::vector<std::size_t>& contourStarts)
{
    corners.clear();
    contourStarts.clear();
    G3ContourWalker w(f);
    for (int steps = 0; w.Next(); ++steps) {
        G3Edge* e = w.GetEdge();
        if (steps >= limit || !e->GetVertex1() || !e->GetVertex2())
            return false;
        if (w.OpensLoop())
            contourStarts.push_back(corners.size());
        corners.push_back({w.GetEntry(), e});
    }
    return true;
}

bool Finite(const double* p, int n)
{
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(p[i]))
            return false;
    return true;
}

// Output indexes of one surface's vertices, normals and texture
// coordinates: entities of the surface's own lists by their place there,
// others appended to the flat mesh when first met.
class IndexMap {
public:
    IndexMap(FlatMesh& m) : flat(m) {}

    // The surface whose lists are output entries 0, 1, ... With `byId`
    // (ids are list places, as after AssignIds) an entity is found by its
    // id; otherwise the places are recorded now, for a surface whose ids
    // may change before it is written.
    void Seed(G3Surface& s, bool byId)
    {
        if (byId) {
            direct = &s;
            return;
        }
        for (int i = 0; i < s.GetVertexCount(); ++i)
            vertexIndex.emplace(s.GetVertex(i), i);
        for (int i = 0; i < s.GetNormalCount(); ++i)
            normalIndex.emplace(s.G3Shell::GetNormal(i), i);
        for (int i = 0; i < s.GetTexCooCount(); ++i)
            texIndex.emplace(s.GetTexCoo(i), i);
    }
    int Vertex(G3Vertex* v)
    {
        if (direct && Listed(v, direct->GetVertexCount()) && direct->GetVertex(static_cast<int>(v->GetId())) == v)
            return static_cast<int>(v->GetId());
        return Find(vertexIndex, flat.vertices, v, v->GetXYZ());
    }
    int Normal(G3Normal* n)
    {
        if (!n)
            return -1;
        if (direct && Listed(n, direct->GetNormalCount()) &&
            direct->G3Shell::GetNormal(static_cast<int>(n->GetId())) == n)
            return static_cast<int>(n->GetId());
        return Find(normalIndex, flat.normals, n, n->GetXYZ());
    }
    int Tex(G3TexCoo* t)
    {
        if (!t)
            return -1;
        if (direct && Listed(t, direct->GetTexCooCount()) && direct->GetTexCoo(static_cast<int>(t->GetId())) == t)
            return static_cast<int>(t->GetId());
        return Find(texIndex, flat.texCoos, t, t->GetUV());
    }

private:
    static bool Listed(const G3Obj* o, int count) { return o->GetId() >= 0 && o->GetId() < count; }
    static int Find(std::unordered_map<const void*, int>& map, std::vector<const double*>& list, const void* key,
                    const double* p)
    {
        auto found = map.find(key);
        if (found != map.end())
            return found->second;
        list.push_back(p);
        const int k = static_cast<int>(list.size() - 1);
        map.emplace(key, k);
        return k;
    }

    FlatMesh& flat;
    G3Surface* direct = nullptr;
    std::unordered_map<const void*, int> vertexIndex, normalIndex, texIndex;
};

// A polygon the readers take back as written: consecutive repeats of a
// vertex (a contour that does not close, from a hand-made dump) are
// dropped, and one with fewer than three distinct vertices is not written.
void EmitPolygon(FlatMesh& flat, IndexMap& map, G3Facet* f, const std::vector<WalkCorner>& corners, std::size_t b,
                 std::size_t e)
{
    const std::size_t first = flat.corners.size();
    for (std::size_t k = b; k < e; ++k) {
        FlatMesh::Corner c;
        c.v = map.Vertex(corners[k].v);
        if (flat.corners.size() > first && flat.corners.back().v == c.v)
            continue;
        G3TexCoo* t = nullptr;
        G3Normal* n = corners[k].e->GetCorner(f, corners[k].v, &t);
        c.n = map.Normal(n);
        c.t = map.Tex(t);
        flat.corners.push_back(c);
    }
    while (flat.corners.size() > first + 1 && flat.corners.back().v == flat.corners[first].v)
        flat.corners.pop_back();
    int distinct[2] = {-1, -1};
    bool three = false;
    for (std::size_t k = first; k < flat.corners.size() && !three; ++k) {
        const int v = flat.corners[k].v;
        if (distinct[0] < 0 || v == distinct[0])
            distinct[0] = v;
        else if (distinct[1] < 0 || v == distinct[1])
            distinct[1] = v;
        else
            three = true;
    }
    if (!three) {
        flat.corners.resize(first);
        return;
    }
    flat.polygonStart.push_back(flat.corners.size());
    flat.planes.push_back(f->GetPlane());
}

// The facet's polygons: its outer contour (one polygon), or for triangle
// output a fan over it when it is not a triangle (a facet the tessellator
// refused).
void EmitFacet(FlatMesh& flat, IndexMap& map, G3Facet* f, bool trianglesOnly, std::vector<WalkCorner>& corners,
               std::vector<std::size_t>& starts)
{
    const std::size_t outerEnd = starts.size() > 1 ? starts[1] : corners.size();
    if (outerEnd < 3)
        return;
    if (!trianglesOnly || outerEnd == 3) {
        EmitPolygon(flat, map, f, corners, 0, outerEnd);
        return;
    }
    std::vector<WalkCorner> tri(3);
    for (std::size_t k = 1; k + 1 < outerEnd; ++k) {
        tri[0] = corners[0];
        tri[1] = corners[k];
        tri[2] = corners[k + 1];
        EmitPolygon(flat, map, f, tri, 0, 3);
    }
}

} // namespace

bool Flatten(G3Surface& s, bool trianglesOnly, bool withPolylines, FlatMesh& flat)
{
    s.AssignIds();
    const int nV = s.GetVertexCount();
    const int nF = s.GetFacetCount();
    const int limit = s.GetEdgeCount();
    flat.vertices.reserve(static_cast<std::size_t>(nV));
    for (int i = 0; i < nV; ++i) {
        const double* p = s.GetVertex(i)->GetXYZ();
        if (!Finite(p, 3))
            return false;
        flat.vertices.push_back(p);
    }
    for (int i = 0; i < s.GetNormalCount(); ++i) {
        const double* p = s.G3Shell::GetNormal(i)->GetXYZ();
        if (!Finite(p, 3))
            return false;
        flat.normals.push_back(p);
    }
    for (int i = 0; i < s.GetTexCooCount(); ++i) {
        const double* p = s.GetTexCoo(i)->GetUV();
        if (!Finite(p, 2))
            return false;
        flat.texCoos.push_back(p);
    }
    IndexMap map(flat);
    map.Seed(s, true);

    // Which facets go through the tessellator: those with holes (no format
    // written here has holes), and for triangle output every facet that is
    // not a plain triangle.
    // The facets before the first one that needs it are emitted on the
    // same walk (for a mesh of plain polygons, every facet is walked once).
    std::vector<WalkCorner> corners;
    std::vector<std::size_t> starts;
    std::vector<char> need(static_cast<std::size_t>(nF), 0);
    bool any = false;
    int emitted = 0;
    flat.polygonStart.push_back(0);
    for (int i = 0; i < nF; ++i) {
        G3PrefetchFacetWalk(s.GetFacetList(), i);
        G3Facet* f = s.GetFacet(i);
        if (!WalkFacet(f, limit, corners, starts))
            return false;
        const bool plain = starts.size() <= 1 && (!trianglesOnly || corners.size() == 3);
        need[static_cast<std::size_t>(i)] = plain ? 0 : 1;
        any = any || !plain;
        if (!any) {
            EmitFacet(flat, map, f, trianglesOnly, corners, starts);
            emitted = i + 1;
        }
    }

    // The tessellated facets come from a copy, which keeps the surface
    // being written unchanged. Each copied facet remembers its original's
    // index in its sub-surface number (carried onto its triangles).
    std::vector<std::vector<G3Facet*>> pieces;
    G3Surface* copy = nullptr;
    IndexMap copyMap(flat);
    if (any) {
        copy = s.Duplicate();
        flat.owned.push_back(copy);
        if (copy->GetFacetCount() != nF || copy->GetVertexCount() != nV ||
            copy->GetNormalCount() != s.GetNormalCount() || copy->GetTexCooCount() != s.GetTexCooCount())
            return false;
        // The copy's entities stand for the originals at the same places;
        // anything the tessellator makes is appended when met.
        copyMap.Seed(*copy, false);
        // Removal moves the last facet into the freed slot: walking down,
        // every slot below the current one still holds its original.
        for (int i = nF - 1; i >= 0; --i) {
            G3Facet* f = copy->GetFacet(i);
            if (need[static_cast<std::size_t>(i)])
                f->SetSurface(i);
            else
                copy->RemoveFacet(f);
        }
        copy->Triangulate(4, 0);
        pieces.resize(static_cast<std::size_t>(nF));
        for (int i = 0; i < copy->GetFacetCount(); ++i) {
            G3Facet* f = copy->GetFacet(i);
            const int origin = f->GetSurface();
            if (origin >= 0 && origin < nF && need[static_cast<std::size_t>(origin)])
                pieces[static_cast<std::size_t>(origin)].push_back(f);
        }
    }

    for (int i = emitted; i < nF; ++i) {
        if (!need[static_cast<std::size_t>(i)]) {
            G3Facet* f = s.GetFacet(i);
            if (!WalkFacet(f, limit, corners, starts))
                return false;
            EmitFacet(flat, map, f, trianglesOnly, corners, starts);
            continue;
        }
        for (G3Facet* f : pieces[static_cast<std::size_t>(i)]) {
            if (!WalkFacet(f, copy->GetEdgeCount(), corners, starts))
                return false;
            EmitFacet(flat, copyMap, f, trianglesOnly, corners, starts);
        }
    }

    if (withPolylines) {
        for (int i = 0; i < s.GetPolyEdgeCount(); ++i) {
            int n = 0;
            G3Vertex** run = nullptr;
            if (!s.GetPolyEdge(i, &n, &run) || n < 2 || !run)
                continue;
            std::vector<int> line;
            for (int k = 0; k < n; ++k)
                if (run[k])
                    line.push_back(map.Vertex(run[k]));
            if (line.size() >= 2)
                flat.polylines.push_back(std::move(line));
        }
    }
    return true;
}

void AppendDouble(std::string& out, double v)
{
    char buf[64];
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v);
    if (r.ec == std::errc())
        out.append(buf, r.ptr);
    else
        out += '0';
}

void AppendCoordinates(std::string& out, const char* key, const double* p, int n)
{
    out += key;
    for (int i = 0; i < n; ++i) {
        if (i)
            out += ' ';
        AppendDouble(out, p[i]);
    }
    out += '\n';
}

void AppendInt(std::string& out, long long v)
{
    char buf[32];
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

} // namespace detail
} // namespace g3io
