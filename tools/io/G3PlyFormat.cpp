// PLY (polygon file format): ASCII, binary little-endian and big-endian.
//
// Reading. The header is text: "ply", one "format" line (ascii,
// binary_little_endian or binary_big_endian, version 1.0), "comment" and
// "obj_info" lines (skipped), "element NAME COUNT" lines each followed by
// its "property TYPE NAME" and "property list COUNTTYPE ITEMTYPE NAME"
// lines, and "end_header". Types are char/int8, uchar/uint8, short/int16,
// ushort/uint16, int/int32, uint/uint32, float/float32, double/float64.
// From the `vertex` element x, y and z are read (any numeric type); its
// other properties (normals, colours, texture coordinates) are skipped, the
// kernel keeping normals per facet corner and not per vertex. From the
// `face` element the `vertex_indices` (or `vertex_index`) list is read, with
// integer count and index types; faces follow the OBJ and OFF rules
// (consecutive repeats dropped, at least three distinct vertices). Every
// other element and property is skipped by its declared size. The vertex
// element must come before the face element, as every writer puts them.
//
// Guards. The header's counts are checked against the bytes the body holds
// before anything is built (each instance takes at least its fixed bytes
// in binary, two characters per value in ASCII), so a count cannot make
// the reader reserve or loop more than the file pays for; lists are read
// item by item against the end of the data. An element without properties
// takes no room and is passed over without a loop. Text or bytes after the
// last element are ignored with a warning.
//
// Messages: "NAME:LINE: what" for the header and ASCII bodies, "NAME: byte
// OFFSET: what" for binary bodies.
//
// Writing. Binary little-endian unless ASCII is asked for: the vertices'
// x, y, z as doubles (so coordinates keep their bits), one face per facet
// as a list of int indexes (uchar counts while every face has at most 255
// corners); facets with holes as the triangles of a tessellated copy.

#include "tools/io/G3MeshIO.h"
#include "tools/io/G3MeshIOInternal.h"

#include "Geometry/mesh/G3Surface.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace g3io {

using namespace detail;

namespace {

enum class Type { Int8, UInt8, Int16, UInt16, Int32, UInt32, Float32, Float64 };

bool TypeFromName(std::string_view w, Type& t)
{
    static const struct {
        const char* name;
        Type type;
    } names[] = {{"char", Type::Int8},     {"int8", Type::Int8},       {"uchar", Type::UInt8},
                 {"uint8", Type::UInt8},   {"short", Type::Int16},     {"int16", Type::Int16},
                 {"ushort", Type::UInt16}, {"uint16", Type::UInt16},   {"int", Type::Int32},
                 {"int32", Type::Int32},   {"uint", Type::UInt32},     {"uint32", Type::UInt32},
                 {"float", Type::Float32}, {"float32", Type::Float32}, {"double", Type::Float64},
                 {"float64", Type::Float64}};
    for (const auto& n : names)
        if (w == n.name) {
            t = n.type;
            return true;
        }
    return false;
}

std::size_t SizeOf(Type t)
{
    switch (t) {
    case Type::Int8:
    case Type::UInt8: return 1;
    case Type::Int16:
    case Type::UInt16: return 2;
    case Type::Int32:
    case Type::UInt32:
    case Type::Float32: return 4;
    case Type::Float64: return 8;
    }
    return 8;
}

bool IsInteger(Type t) { return t != Type::Float32 && t != Type::Float64; }

enum class Encoding { Ascii, LittleEndian, BigEndian };

struct Property {
    std::string name;
    bool list = false;
    Type type = Type::Float32;       // the value's type, or a list item's
    Type countType = Type::UInt8;    // lists only
};

enum class Role { Skip, Vertex, Face };

struct Element {
    std::string name;
    unsigned long long count = 0;
    long line = 0;
    std::vector<Property> properties;
    Role role = Role::Skip;
    int x = -1, y = -1, z = -1;  // vertex: properties holding the coordinates
    int indices = -1;            // face: the index list
};

struct Header {
    Encoding encoding = Encoding::Ascii;
    std::vector<Element> elements;
    std::size_t bodyStart = 0;  // byte offset of the body
    long lines = 0;             // header lines, end_header included
};

// ------------------------------------------------------------ header

class HeaderReader {
public:
    HeaderReader(const char* d, std::size_t n, const std::string& name, std::string& message)
        : data(d), size(n), fileName(name), msg(message)
    {
        // A UTF-8 byte order mark before "ply", as some editors save it.
        if (n >= 3 && static_cast<unsigned char>(d[0]) == 0xEF && static_cast<unsigned char>(d[1]) == 0xBB &&
            static_cast<unsigned char>(d[2]) == 0xBF)
            cur = d + 3;
    }

    bool Read(Header& h)
    {
        std::string_view line;
        std::vector<std::string_view> t;
        // Blanks around the word, as every other header line may have.
        if (NextLine(line))
            Split(line, t);
        if (t.size() != 1 || t[0] != "ply")
            return Fail("not a PLY file (first line '" + Quote(line) + "')");
        bool haveFormat = false;
        for (;;) {
            if (!NextLine(line))
                return Fail("header ends without 'end_header'");
            Split(line, t);
            if (t.empty())
                continue;
            const std::string_view kw = t[0];
            if (kw == "comment" || kw == "obj_info")
                continue;
            if (kw == "end_header") {
                if (t.size() != 1)
                    return Fail("text after 'end_header'");
                break;
            }
            if (kw == "format") {
                if (haveFormat)
                    return Fail("second 'format' line");
                if (t.size() != 3)
                    return Fail("'format' takes an encoding and a version");
                if (t[1] == "ascii")
                    h.encoding = Encoding::Ascii;
                else if (t[1] == "binary_little_endian")
                    h.encoding = Encoding::LittleEndian;
                else if (t[1] == "binary_big_endian")
                    h.encoding = Encoding::BigEndian;
                else
                    return Fail("unknown format '" + Quote(t[1]) + "'");
                if (t[2] != "1.0" && t[2] != "1")
                    return Fail("unsupported PLY version '" + Quote(t[2]) + "'");
                haveFormat = true;
                continue;
            }
            if (!haveFormat)
                return Fail("'" + Quote(kw) + "' before the 'format' line");
            if (kw == "element") {
                if (t.size() != 3)
                    return Fail("'element' takes a name and a count");
                long long count = 0;
                if (ParseInt(t[2], count) != NumberError::None || count < 0)
                    return Fail("bad element count '" + Quote(t[2]) + "'");
                Element e;
                e.name = std::string(t[1]);
                e.count = static_cast<unsigned long long>(count);
                e.line = number;
                h.elements.push_back(std::move(e));
                continue;
            }
            if (kw == "property") {
                if (h.elements.empty())
                    return Fail("property before any element");
                Property p;
                if (t.size() == 5 && t[1] == "list") {
                    p.list = true;
                    if (!TypeFromName(t[2], p.countType))
                        return Fail("unknown property type '" + Quote(t[2]) + "'");
                    if (!IsInteger(p.countType))
                        return Fail("list count type '" + Quote(t[2]) + "' is not an integer type");
                    if (!TypeFromName(t[3], p.type))
                        return Fail("unknown property type '" + Quote(t[3]) + "'");
                    p.name = std::string(t[4]);
                } else if (t.size() == 3 && t[1] != "list") {
                    if (!TypeFromName(t[1], p.type))
                        return Fail("unknown property type '" + Quote(t[1]) + "'");
                    p.name = std::string(t[2]);
                } else {
                    return Fail("'property' takes a type and a name, or 'list', two types and a name");
                }
                h.elements.back().properties.push_back(std::move(p));
                continue;
            }
            return Fail("unknown header keyword '" + Quote(kw) + "'");
        }
        if (!haveFormat)
            return Fail("no 'format' line");
        h.bodyStart = static_cast<std::size_t>(cur - data);
        h.lines = number;
        return Roles(h) && Fits(h);
    }

private:
    // The next header line without its line break; false at the end.
    bool NextLine(std::string_view& line)
    {
        if (cur >= data + size)
            return false;
        const char* b = cur;
        const char* nl = static_cast<const char*>(std::memchr(b, '\n', static_cast<std::size_t>(data + size - b)));
        const char* e = nl ? nl : data + size;
        cur = nl ? nl + 1 : data + size;
        ++number;
        if (e > b && e[-1] == '\r')
            --e;
        line = std::string_view(b, static_cast<std::size_t>(e - b));
        return true;
    }

    bool Fail(const std::string& what) { return FailAt(number, what); }
    bool FailAt(long line, const std::string& what)
    {
        msg = LineMessage(fileName, line, what);
        return false;
    }

    static int Find(const Element& e, const char* name)
    {
        for (std::size_t i = 0; i < e.properties.size(); ++i)
            if (e.properties[i].name == name)
                return static_cast<int>(i);
        return -1;
    }

    // Which elements are read, and the properties they are read from.
    bool Roles(Header& h)
    {
        bool vertex = false, face = false;
        for (Element& e : h.elements) {
            if (e.name == "vertex") {
                if (vertex)
                    return FailAt(e.line, "second 'vertex' element");
                vertex = true;
                e.role = Role::Vertex;
                int* slot[3] = {&e.x, &e.y, &e.z};
                const char* axis[3] = {"x", "y", "z"};
                for (int k = 0; k < 3; ++k) {
                    *slot[k] = Find(e, axis[k]);
                    if (*slot[k] < 0)
                        return FailAt(e.line, std::string("vertex element has no property '") + axis[k] + "'");
                    if (e.properties[static_cast<std::size_t>(*slot[k])].list)
                        return FailAt(e.line, std::string("vertex property '") + axis[k] + "' is a list");
                }
                if (e.count > static_cast<unsigned long long>(INT_MAX))
                    return FailAt(e.line, "too many vertices (" + std::to_string(e.count) + ") for one mesh");
            } else if (e.name == "face") {
                if (face)
                    return FailAt(e.line, "second 'face' element");
                face = true;
                e.role = Role::Face;
                e.indices = Find(e, "vertex_indices");
                if (e.indices < 0)
                    e.indices = Find(e, "vertex_index");
                if (e.indices < 0)
                    return FailAt(e.line, "face element has no 'vertex_indices' list");
                const Property& p = e.properties[static_cast<std::size_t>(e.indices)];
                if (!p.list || !IsInteger(p.type))
                    return FailAt(e.line, "'" + p.name + "' is not a list of integers");
                if (e.count > 0 && !vertex)
                    return FailAt(e.line, "face element before the vertex element");
                if (e.count > static_cast<unsigned long long>(INT_MAX))
                    return FailAt(e.line, "too many faces (" + std::to_string(e.count) + ") for one mesh");
            }
        }
        return true;
    }

    // Every element's count against the bytes left for it: an instance
    // takes at least its fixed bytes (binary) or two characters per value
    // (ASCII: the value and a separator).
    bool Fits(const Header& h)
    {
        unsigned long long left = size - h.bodyStart;
        if (h.encoding == Encoding::Ascii)
            ++left;  // the last value needs no separator
        for (const Element& e : h.elements) {
            unsigned long long least = 0;
            for (const Property& p : e.properties)
                least += h.encoding == Encoding::Ascii ? 2 : SizeOf(p.list ? p.countType : p.type);
            if (least == 0 || e.count == 0)
                continue;
            if (e.count > left / least)
                return FailAt(e.line, "element '" + Quote(e.name) + "' count " + std::to_string(e.count) +
                                          " exceeds what the file holds");
            left -= e.count * least;
        }
        return true;
    }

    const char* data;
    std::size_t size;
    const std::string& fileName;
    std::string& msg;
    const char* cur = data;
    long number = 0;
};

// ------------------------------------------------------------ body

// Values of the body one at a time, ASCII tokens or binary fields, with
// the place of the last one for messages.
class BodyReader {
public:
    BodyReader(const char* d, std::size_t n, const Header& h, const std::string& name, std::string& message)
        : data(d), size(n), pos(h.bodyStart), encoding(h.encoding), line(h.lines + 1), tokenLine(h.lines),
          fileName(name),
          msg(message)
    {
    }

    // A value of type t as a double (any finite number) or as an integer
    // (integer types only; an ASCII token must then be an integer).
    // False at the end of the data (`ended`) or on a bad token.
    bool Number(Type t, double& out)
    {
        if (encoding == Encoding::Ascii) {
            if (!Token())
                return false;
            const NumberError e = ParseDouble(token, out);
            if (e != NumberError::None)
                return Fail(NumberProblem(e, token));
            return true;
        }
        std::uint64_t bits = 0;
        if (!Raw(t, bits))
            return false;
        out = AsDouble(t, bits);
        if (!std::isfinite(out))
            return Fail("'" + std::string(t == Type::Float64 ? "double" : "float") + "' value is not finite");
        return true;
    }

    bool Integer(Type t, long long& out)
    {
        if (encoding == Encoding::Ascii) {
            if (!Token())
                return false;
            const NumberError e = ParseInt(token, out);
            if (e != NumberError::None)
                return Fail("'" + Quote(token) + "' is not an integer");
            return true;
        }
        std::uint64_t bits = 0;
        if (!Raw(t, bits))
            return false;
        out = AsInteger(t, bits);
        return true;
    }

    // Passes over one value without reading it.
    bool Skip(Type t)
    {
        if (encoding == Encoding::Ascii)
            return Token();
        if (size - pos < SizeOf(t)) {
            ended = true;
            return false;
        }
        mark = pos;
        pos += SizeOf(t);
        return true;
    }

    // Passes over n values of a list (binary: at once, when they fit).
    bool SkipMany(Type t, unsigned long long n)
    {
        if (encoding != Encoding::Ascii) {
            mark = pos;
            if (n > (size - pos) / SizeOf(t)) {
                ended = true;
                return false;
            }
            pos += static_cast<std::size_t>(n * SizeOf(t));
            return true;
        }
        for (unsigned long long i = 0; i < n; ++i)
            if (!Token())
                return false;
        return true;
    }

    // Whether anything but white space (ASCII) or any byte (binary) is
    // left; sets the place to it.
    bool More()
    {
        if (encoding != Encoding::Ascii) {
            mark = pos;
            return pos < size;
        }
        return Token();
    }
    std::size_t Left() const { return size - pos; }

    bool Ended() const { return ended; }
    // "NAME:LINE: what" or "NAME: byte OFFSET: what" at the last value.
    std::string Where(const std::string& what) const
    {
        if (encoding == Encoding::Ascii)
            return LineMessage(fileName, tokenLine, what);
        return ByteMessage(fileName, mark, what);
    }
    bool Fail(const std::string& what)
    {
        msg = Where(what);
        return false;
    }

private:
    bool Token()
    {
        while (pos < size && IsSpace(data[pos])) {
            if (data[pos] == '\n')
                ++line;
            ++pos;
        }
        if (pos >= size) {
            // Messages about the end name the line of the last value.
            ended = true;
            return false;
        }
        tokenLine = line;
        const std::size_t b = pos;
        while (pos < size && !IsSpace(data[pos]))
            ++pos;
        token = std::string_view(data + b, pos - b);
        return true;
    }

    bool Raw(Type t, std::uint64_t& bits)
    {
        const std::size_t n = SizeOf(t);
        mark = pos;
        if (size - pos < n) {
            ended = true;
            return false;
        }
        const unsigned char* p = reinterpret_cast<const unsigned char*>(data + pos);
        bits = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t k = encoding == Encoding::LittleEndian ? n - 1 - i : i;
            bits = bits << 8 | p[k];
        }
        pos += n;
        return true;
    }

    static long long AsInteger(Type t, std::uint64_t bits)
    {
        switch (t) {
        case Type::Int8: return static_cast<std::int8_t>(static_cast<std::uint8_t>(bits));
        case Type::UInt8: return static_cast<std::uint8_t>(bits);
        case Type::Int16: return static_cast<std::int16_t>(static_cast<std::uint16_t>(bits));
        case Type::UInt16: return static_cast<std::uint16_t>(bits);
        case Type::Int32: return static_cast<std::int32_t>(static_cast<std::uint32_t>(bits));
        case Type::UInt32: return static_cast<std::uint32_t>(bits);
        case Type::Float32:
        case Type::Float64: break;
        }
        return 0;
    }

    static double AsDouble(Type t, std::uint64_t bits)
    {
        if (t == Type::Float32) {
            const std::uint32_t b = static_cast<std::uint32_t>(bits);
            float f;
            std::memcpy(&f, &b, sizeof f);
            return f;
        }
        if (t == Type::Float64) {
            double d;
            std::memcpy(&d, &bits, sizeof d);
            return d;
        }
        return static_cast<double>(AsInteger(t, bits));
    }

    const char* data;
    std::size_t size;
    std::size_t pos;
    Encoding encoding;
    long line;
    long tokenLine;
    std::size_t mark = 0;
    std::string_view token;
    bool ended = false;
    const std::string& fileName;
    std::string& msg;
};

// "vertex 3 of 8", "face 1 of 2", "element 'range_grid' 5 of 9".
std::string Instance(const Element& e, unsigned long long i)
{
    const std::string what = e.role == Role::Skip ? "element '" + Quote(e.name) + "'" : e.name;
    return what + " " + std::to_string(i + 1) + " of " + std::to_string(e.count);
}

// Reads one element's instances into `aside` (vertices and faces) or
// past them.
bool ReadElement(BodyReader& body, const Element& e, G3Surface& aside, std::vector<G3Vertex*>& vertices)
{
    if (e.properties.empty())
        return true;  // takes no room, however many there are
    std::vector<G3Vertex*> corners;
    for (unsigned long long i = 0; i < e.count; ++i) {
        double p[3] = {0, 0, 0};
        for (std::size_t k = 0; k < e.properties.size(); ++k) {
            const Property& prop = e.properties[k];
            const int slot = static_cast<int>(k);
            bool ok = true;
            if (!prop.list) {
                if (e.role == Role::Vertex && (slot == e.x || slot == e.y || slot == e.z))
                    ok = body.Number(prop.type, p[slot == e.x ? 0 : slot == e.y ? 1 : 2]);
                else
                    ok = body.Skip(prop.type);
            } else {
                long long n = 0;
                ok = body.Integer(prop.countType, n);
                if (ok && n < 0)
                    return body.Fail("negative list length " + std::to_string(n) + " in " + Instance(e, i));
                if (ok && e.role == Role::Face && slot == e.indices) {
                    if (n < 3)
                        return body.Fail("face with " + std::to_string(n) + " vertices (at least 3 needed)");
                    corners.clear();
                    for (long long c = 0; c < n && ok; ++c) {
                        long long index = 0;
                        ok = body.Integer(prop.type, index);
                        if (ok && (index < 0 || index >= static_cast<long long>(vertices.size())))
                            return body.Fail("vertex index " + std::to_string(index) + " out of range (" +
                                             std::to_string(vertices.size()) + " vertices)");
                        if (ok)
                            corners.push_back(vertices[static_cast<std::size_t>(index)]);
                    }
                } else if (ok) {
                    ok = body.SkipMany(prop.type, static_cast<unsigned long long>(n));
                }
            }
            if (!ok)
                return body.Ended() ? body.Fail("file ends inside " + Instance(e, i)) : false;
        }
        if (e.role == Role::Vertex) {
            vertices.push_back(aside.AddVertex(p, 0));
        } else if (e.role == Role::Face) {
            if (!AddPolygon(aside, corners, nullptr, nullptr))
                return body.Fail("face with fewer than 3 distinct vertices");
        }
    }
    return true;
}

void PutU32(std::string& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PutF64(std::string& out, double d)
{
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    for (int i = 0; i < 8; ++i)
        out += static_cast<char>((bits >> (8 * i)) & 0xFF);
}

} // namespace

bool ReadPly(const char* data, std::size_t size, const std::string& name, G3Surface& out, std::string& message)
{
    if (!StartReading(data, size, name, out, message, false))
        return false;
    if (IsBlank(data, size)) {
        message = name + ": empty file";
        return false;
    }
    Header h;
    HeaderReader header(data, size, name, message);
    if (!header.Read(h))
        return false;

    unsigned long long nV = 0, nF = 0;
    for (const Element& e : h.elements) {
        if (e.role == Role::Vertex)
            nV = e.count;
        else if (e.role == Role::Face)
            nF = e.count;
    }
    // Both are bounded by the body's size (checked with the header).
    G3Surface aside(static_cast<int>(nF), static_cast<int>(nV), static_cast<int>(nF));
    PrepareAside(out, aside);
    std::vector<G3Vertex*> vertices;
    vertices.reserve(static_cast<std::size_t>(nV));
    BodyReader body(data, size, h, name, message);
    for (const Element& e : h.elements)
        if (!ReadElement(body, e, aside, vertices))
            return false;
    if (body.More()) {
        message = h.encoding == Encoding::Ascii
                      ? body.Where("warning: text after the last element is ignored")
                      : body.Where("warning: " + std::to_string(body.Left()) +
                                   " bytes after the last element are ignored");
    }
    MoveInto(out, aside);
    return true;
}

bool WritePly(G3Surface& s, std::string& out, bool ascii)
{
    out.clear();
    FlatMesh flat;
    if (!Flatten(s, false, false, flat))
        return false;
    const std::size_t nF = flat.PolygonCount();
    std::size_t longest = 0;
    for (std::size_t i = 0; i < nF; ++i)
        longest = std::max(longest, flat.polygonStart[i + 1] - flat.polygonStart[i]);
    const bool smallCounts = longest <= 255;

    out.reserve(flat.vertices.size() * (ascii ? 60 : 24) + flat.corners.size() * (ascii ? 8 : 4) + nF * 4 + 256);
    out += "ply\nformat ";
    out += ascii ? "ascii" : "binary_little_endian";
    out += " 1.0\ncomment written by g3\nelement vertex ";
    AppendInt(out, static_cast<long long>(flat.vertices.size()));
    out += "\nproperty double x\nproperty double y\nproperty double z\nelement face ";
    AppendInt(out, static_cast<long long>(nF));
    out += smallCounts ? "\nproperty list uchar int vertex_indices\n" : "\nproperty list int int vertex_indices\n";
    out += "end_header\n";
    if (ascii) {
        for (const double* p : flat.vertices)
            AppendCoordinates(out, "", p, 3);
    } else {
        for (const double* p : flat.vertices)
            for (int k = 0; k < 3; ++k)
                PutF64(out, p[k]);
    }
    for (std::size_t i = 0; i < nF; ++i) {
        const std::size_t b = flat.polygonStart[i], e = flat.polygonStart[i + 1];
        if (ascii) {
            AppendInt(out, static_cast<long long>(e - b));
            for (std::size_t k = b; k < e; ++k) {
                out += ' ';
                AppendInt(out, flat.corners[k].v);
            }
            out += '\n';
            continue;
        }
        if (smallCounts)
            out += static_cast<char>(e - b);
        else
            PutU32(out, static_cast<std::uint32_t>(e - b));
        for (std::size_t k = b; k < e; ++k)
            PutU32(out, static_cast<std::uint32_t>(flat.corners[k].v));
    }
    return true;
}

} // namespace g3io
