// Wavefront OBJ: the polygonal part of the format (v, vt, vn, f, l).
//
// Reading. Face corners take the forms v, v/t, v//n and v/t/n, all corners
// of a face the same form; indexes are 1-based, negative ones count back
// from the last element read so far, and an index must name an element
// defined earlier in the file. A face of any size becomes one facet, with
// its normals and texture coordinates stored at the facet's corners.
// Consecutive repeats of a vertex in a face are dropped (they add nothing);
// a face left with fewer than three distinct vertices is an error. A line
// ending in a backslash continues on the next. `l`
// becomes a polyline (polyedge). Grouping, smoothing, material and display
// statements (o, g, s, usemtl, mtllib, p, lod, maplib, usemap, bevel,
// c_interp, d_interp, shadow_obj, trace_obj) are skipped: the mesh has no
// place for them. Any other keyword (free-form geometry among them) is an
// error naming the line and the keyword.
//
// Writing. Every vertex, normal and texture coordinate of the surface in
// list order, then one face per facet in the corner form that every corner
// of that facet supports, then one `l` per polyedge. Facets with holes are
// written as the triangles of a tessellated copy.

#include "tools/io/G3MeshIO.h"
#include "tools/io/G3MeshIOInternal.h"

#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>

namespace g3io {

using namespace detail;

namespace {

bool Ignored(std::string_view keyword)
{
    static const char* const words[] = {"o",   "g",      "s",     "usemtl",   "mtllib",   "p",          "lod",
                                        "maplib", "usemap", "bevel", "c_interp", "d_interp", "shadow_obj", "trace_obj"};
    for (const char* w : words)
        if (keyword == w)
            return true;
    return false;
}

class ObjReader {
public:
    ObjReader(const std::string& n, G3Surface& s, std::string& m) : name(n), surface(s), message(m) {}

    bool Line(const std::vector<std::string_view>& tokens, long line)
    {
        lineNumber = line;
        const std::string_view kw = tokens[0];
        if (kw == "v")
            return Vertex(tokens);
        if (kw == "vn")
            return Normal(tokens);
        if (kw == "vt")
            return Tex(tokens);
        if (kw == "f")
            return Face(tokens);
        if (kw == "l")
            return Polyline(tokens);
        if (Ignored(kw))
            return true;
        return Fail("unknown keyword '" + Quote(kw) + "'");
    }

    bool Fail(const std::string& what)
    {
        message = LineMessage(name, lineNumber, what);
        return false;
    }

private:
    bool Numbers(const std::vector<std::string_view>& tokens, std::size_t min, std::size_t max, const char* what,
                 double* out)
    {
        const std::size_t n = tokens.size() - 1;
        if (n < min)
            return Fail(std::string(what) + " needs " + std::to_string(min) + " numbers, " + std::to_string(n) +
                        " given");
        if (n > max)
            return Fail(std::string("too many numbers for ") + what + " (" + std::to_string(n) + ")");
        for (std::size_t i = 0; i < n; ++i) {
            double v = 0.0;
            const NumberError e = ParseDouble(tokens[i + 1], v);
            if (e != NumberError::None)
                return Fail(NumberProblem(e, tokens[i + 1]));
            if (i < 3)
                out[i] = v;
        }
        return true;
    }

    bool Vertex(const std::vector<std::string_view>& tokens)
    {
        // x y z, then an optional weight or colour components, ignored.
        double p[3] = {0, 0, 0};
        if (!Numbers(tokens, 3, 7, "a vertex", p))
            return false;
        vertices.push_back(surface.AddVertex(p, 0));
        return true;
    }

    bool Normal(const std::vector<std::string_view>& tokens)
    {
        double p[3] = {0, 0, 0};
        if (!Numbers(tokens, 3, 3, "a normal", p))
            return false;
        normals.push_back(surface.AddNormal(p));
        return true;
    }

    bool Tex(const std::vector<std::string_view>& tokens)
    {
        // u [v [w]]; w is dropped.
        double p[3] = {0, 0, 0};
        if (!Numbers(tokens, 1, 3, "a texture coordinate", p))
            return false;
        texCoos.push_back(surface.AddTexCoo(p[0], p[1]));
        return true;
    }

    // Index `token` into a list of `count` elements; -1 and a message on
    // failure.
    long Index(std::string_view token, std::size_t count, const char* what, const char* plural)
    {
        long long i = 0;
        const NumberError e = ParseInt(token, i);
        if (e != NumberError::None) {
            Fail(std::string("bad ") + what + " index '" + Quote(token) + "'");
            return -1;
        }
        const long long n = static_cast<long long>(count);
        long long k = -1;
        if (i > 0 && i <= n)
            k = i - 1;
        else if (i < 0 && i >= -n)
            k = n + i;
        if (k < 0) {
            Fail(std::string(what) + " index " + std::to_string(i) + " out of range (" + std::to_string(count) + " " +
                 (count == 1 ? what : plural) + ")");
            return -1;
        }
        return static_cast<long>(k);
    }

    bool Face(const std::vector<std::string_view>& tokens)
    {
        const std::size_t n = tokens.size() - 1;
        if (n < 3)
            return Fail("face with " + std::to_string(n) + " vertices (at least 3 needed)");
        v.assign(n, nullptr);
        nv.assign(n, nullptr);
        tv.assign(n, nullptr);
        int form = -1;
        for (std::size_t c = 0; c < n; ++c) {
            const std::string_view corner = tokens[c + 1];
            std::string_view parts[3];
            int count = 0;
            std::size_t b = 0;
            for (;;) {
                const std::size_t slash = corner.find('/', b);
                if (count == 3)
                    return Fail("bad face corner '" + Quote(corner) + "'");
                parts[count++] = corner.substr(b, slash == std::string_view::npos ? slash : slash - b);
                if (slash == std::string_view::npos)
                    break;
                b = slash + 1;
            }
            const bool hasT = count >= 2 && !parts[1].empty();
            const bool hasN = count == 3;
            if (parts[0].empty() || (count == 2 && parts[1].empty()) || (hasN && parts[2].empty()))
                return Fail("bad face corner '" + Quote(corner) + "'");
            const int thisForm = (hasT ? 1 : 0) | (hasN ? 2 : 0);
            if (form >= 0 && thisForm != form)
                return Fail("face mixes corner forms ('" + Quote(tokens[1]) + "' and '" + Quote(corner) + "')");
            form = thisForm;
            const long iv = Index(parts[0], vertices.size(), "vertex", "vertices");
            if (iv < 0)
                return false;
            v[c] = vertices[static_cast<std::size_t>(iv)];
            if (hasT) {
                const long it = Index(parts[1], texCoos.size(), "texture coordinate", "texture coordinates");
                if (it < 0)
                    return false;
                tv[c] = texCoos[static_cast<std::size_t>(it)];
            }
            if (hasN) {
                const long in = Index(parts[2], normals.size(), "normal", "normals");
                if (in < 0)
                    return false;
                nv[c] = normals[static_cast<std::size_t>(in)];
            }
        }
        if (!AddPolygon(surface, v, (form & 2) ? &nv : nullptr, (form & 1) ? &tv : nullptr))
            return Fail("face with fewer than 3 distinct vertices");
        return true;
    }

    bool Polyline(const std::vector<std::string_view>& tokens)
    {
        const std::size_t n = tokens.size() - 1;
        if (n < 2)
            return Fail("line with " + std::to_string(n) + " vertices (at least 2 needed)");
        v.assign(n, nullptr);
        for (std::size_t c = 0; c < n; ++c) {
            // v or v/t; the texture coordinate has no place on a polyedge.
            const std::string_view corner = tokens[c + 1];
            const std::size_t slash = corner.find('/');
            const long iv = Index(corner.substr(0, slash), vertices.size(), "vertex", "vertices");
            if (iv < 0)
                return false;
            if (slash != std::string_view::npos) {
                const std::string_view t = corner.substr(slash + 1);
                if (t.find('/') != std::string_view::npos || Index(t, texCoos.size(), "texture coordinate", "texture coordinates") < 0)
                    return Fail("bad line corner '" + Quote(corner) + "'");
            }
            v[c] = vertices[static_cast<std::size_t>(iv)];
        }
        if (!surface.AddPolyEdge(static_cast<int>(n), v.data()))
            return Fail("line refused by the mesh");
        return true;
    }

    const std::string& name;
    G3Surface& surface;
    std::string& message;
    long lineNumber = 0;
    std::vector<G3Vertex*> vertices;
    std::vector<G3Normal*> normals;
    std::vector<G3TexCoo*> texCoos;
    // Scratch for one face.
    std::vector<G3Vertex*> v;
    std::vector<G3Normal*> nv;
    std::vector<G3TexCoo*> tv;
};

} // namespace

bool ReadObj(const char* data, std::size_t size, const std::string& name, G3Surface& out, std::string& message)
{
    if (!StartReading(data, size, name, out, message))
        return false;
    G3Surface aside;
    PrepareAside(out, aside);
    ObjReader reader(name, aside, message);
    LineReader lines(data, size, true);
    std::vector<std::string_view> tokens, more;
    std::string_view line;
    while (lines.Next(line)) {
        Split(line, tokens);
        const long first = lines.Number();
        // A line ending in a backslash goes on on the next one, as long
        // face lines are broken; the tokens stay views into the text.
        while (!tokens.empty() && tokens.back().back() == '\\') {
            tokens.back().remove_suffix(1);
            if (tokens.back().empty())
                tokens.pop_back();
            if (!lines.Next(line))
                break;
            Split(line, more);
            tokens.insert(tokens.end(), more.begin(), more.end());
        }
        if (tokens.empty())
            continue;
        if (!reader.Line(tokens, first))
            return false;
    }
    // A file without vertices is an empty surface, which is what the
    // writer makes of one.
    MoveInto(out, aside);
    return true;
}

bool WriteObj(G3Surface& s, std::string& out)
{
    out.clear();
    FlatMesh flat;
    if (!Flatten(s, false, true, flat))
        return false;
    out.reserve(flat.vertices.size() * 40 + flat.corners.size() * 8);
    out += "# written by g3\n";
    for (const double* p : flat.vertices)
        AppendCoordinates(out, "v ", p, 3);
    for (const double* p : flat.texCoos)
        AppendCoordinates(out, "vt ", p, 2);
    for (const double* p : flat.normals)
        AppendCoordinates(out, "vn ", p, 3);
    for (std::size_t i = 0; i + 1 < flat.polygonStart.size(); ++i) {
        const std::size_t b = flat.polygonStart[i], e = flat.polygonStart[i + 1];
        // The form every corner supports: partial corner data is dropped.
        bool allT = true, allN = true;
        for (std::size_t k = b; k < e; ++k) {
            allT = allT && flat.corners[k].t >= 0;
            allN = allN && flat.corners[k].n >= 0;
        }
        out += 'f';
        for (std::size_t k = b; k < e; ++k) {
            const FlatMesh::Corner& c = flat.corners[k];
            out += ' ';
            AppendInt(out, c.v + 1LL);
            if (allT || allN)
                out += '/';
            if (allT)
                AppendInt(out, c.t + 1LL);
            if (allN) {
                out += '/';
                AppendInt(out, c.n + 1LL);
            }
        }
        out += '\n';
    }
    for (const std::vector<int>& line : flat.polylines) {
        out += 'l';
        for (int k : line) {
            out += ' ';
            AppendInt(out, k + 1LL);
        }
        out += '\n';
    }
    return true;
}

} // namespace g3io
