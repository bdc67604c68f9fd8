#pragma once
// Pieces shared by the readers and writers of tools/io; not part of the
// library's interface.

#include "Geometry/mesh/G3Surface.h"
#include "tools/io/G3MeshIO.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class G3Edge;
class G3Facet;
class G3Normal;
class G3TexCoo;
class G3Vertex;

namespace g3io {
namespace detail {

// ------------------------------------------------------------ messages

// `text` made safe for a one-line message: at most 40 characters, bytes
// that are not printable ASCII shown as '?'.
std::string Quote(std::string_view text);
// "NAME:LINE: what".
std::string LineMessage(const std::string& name, long line, const std::string& what);
// "NAME: byte OFFSET: what".
std::string ByteMessage(const std::string& name, unsigned long long offset, const std::string& what);

// ------------------------------------------------------------ text input

inline bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Whether the text holds anything but whitespace.
bool IsBlank(const char* data, std::size_t size);

// Lines of a text held in memory, numbered from 1, each without its line
// break (LF or CRLF) and, when `comments` is set, without anything from the
// first '#' on. A UTF-8 byte order mark at the start is skipped.
class LineReader {
public:
    LineReader(const char* data, std::size_t size, bool comments)
        : cur(data), end(data + size), stripComments(comments)
    {
        if (size >= 3 && static_cast<unsigned char>(data[0]) == 0xEF && static_cast<unsigned char>(data[1]) == 0xBB &&
            static_cast<unsigned char>(data[2]) == 0xBF)
            cur += 3;
    }
    // The next line; false at the end of the text.
    bool Next(std::string_view& line);
    // The tokens of the next line that has any; false at the end of the text.
    bool NextTokens(std::vector<std::string_view>& tokens);
    long Number() const { return number; }

private:
    const char* cur;
    const char* end;
    bool stripComments;
    long number = 0;
};

// The same lines read from a file in pieces, so that a large text is never
// held whole. A line stays valid until the next call. `AllBlank` tells
// whether every byte read so far was white space (what IsBlank says of a
// whole text once the lines are exhausted); `Failed` whether reading
// stopped on an error rather than at the end of the file.
class FileLineReader {
public:
    FileLineReader(std::FILE* f, bool comments) : file(f), stripComments(comments), buffer(kChunk) {}
    bool Next(std::string_view& line);
    bool NextTokens(std::vector<std::string_view>& tokens);
    long Number() const { return number; }
    bool AllBlank() const { return allBlank; }
    bool Failed() const { return failed; }
    int Error() const { return error; }

private:
    static constexpr std::size_t kChunk = 1 << 20;
    // Reads more of the file behind the unread part; false at its end.
    bool Fill();

    std::FILE* file;
    bool stripComments;
    std::vector<char> buffer;
    std::size_t begin = 0;  // unread part: buffer[begin, end)
    std::size_t end = 0;
    std::size_t scanned = 0;  // bytes of the unread part known to hold no line break
    bool atEnd = false;
    bool started = false;
    bool allBlank = true;
    bool failed = false;
    int error = 0;
    long number = 0;
};

// Splits `line` at whitespace into `tokens` (cleared first).
void Split(std::string_view line, std::vector<std::string_view>& tokens);

// Case-insensitive comparison of ASCII keywords.
bool SameWord(std::string_view a, std::string_view b);

enum class NumberError { None, NotANumber, NotFinite, OutOfRange };
// The whole token as a finite double (an optional '+' accepted), without
// the C locale.
NumberError ParseDouble(std::string_view token, double& out);
// The whole token as a decimal integer (an optional sign accepted).
NumberError ParseInt(std::string_view token, long long& out);
// The message text for a number that did not parse, e.g. "'abc' is not a
// number".
std::string NumberProblem(NumberError error, std::string_view token);

// The OFF reader over a file opened for reading, `size` its length in
// bytes, without holding the text whole; as ReadOff otherwise.
bool ReadOffFile(std::FILE* file, std::size_t size, const std::string& name, G3Surface& out, std::string& message,
                 const ReadOptions& options);

// The OFF writer into an open file, in pieces: `made` false when the
// surface cannot be written (WriteOff's false), and false when it was not
// or the file refused the bytes.
bool WriteOffFile(G3Surface& s, std::FILE* file, bool& made, FileContents* written = nullptr);

// ------------------------------------------------------------ building

// The vertex and face sections of an OFF text once parsed: each vertex line
// names its group (the lines with bit for bit the same coordinates), each
// face its corners as vertex line numbers, consecutive repeats dropped.
struct ParsedOff {
    std::vector<double> groupXyz;          // 3 per group, in order of first line
    std::vector<std::uint32_t> lineGroup;  // per vertex line
    std::vector<std::uint32_t> corners;    // the faces' corners, face after face
    std::vector<std::uint32_t> faceStart;  // face i: corners[faceStart[i] .. faceStart[i + 1])
    std::vector<long> faceLine;            // per face, its line in the text
};
// A vertex per vertex line, then the faces. False, with the line of the
// face, when the surface refuses one.
bool BuildPlainOff(const ParsedOff& off, G3Surface& s, long& badLine);
// The merged build (ReadOptions::mergeEqualVertices) into a surface of its
// own, made ready to move into `target` (PrepareAside); false, with
// `built` to be thrown away (or null), where it cannot stand for the plain
// build.
bool BuildMergedOff(const ParsedOff& off, G3Surface& target, std::unique_ptr<G3Surface>& built);


// The target must be empty: readers never append to a mesh.
bool TargetIsEmpty(const G3Surface& s);
// A reader's opening checks: the target is empty and there is something to
// read (for text formats, more than white space). Sets `message` when not,
// clears it when so.
bool StartReading(const char* data, std::size_t size, const std::string& name, const G3Surface& out,
                  std::string& message, bool text = true);
// Gives `aside` the numbering state and facet defaults of `target`, so that
// a surface built aside looks as if it had been built in `target`.
void PrepareAside(G3Surface& target, G3Surface& aside);
// Moves everything built in `from` into the (empty) `to` in one piece.
void MoveInto(G3Surface& to, G3Surface& from);

// Adds the facet through the n vertices with per-corner normals and texture
// coordinates (either array may be null; entries may not). Consecutive
// repeats of a vertex are dropped first (with their corners). Null when
// fewer than three distinct vertices remain or the surface refused it.
G3Facet* AddPolygon(G3Surface& s, std::vector<G3Vertex*>& v, std::vector<G3Normal*>* normals,
                    std::vector<G3TexCoo*>* texCoos);

// ------------------------------------------------------------ output

// A surface flattened for writing: vertex, normal and texture coordinate
// lists and polygons whose corners index them (-1: no such datum). Facets
// with holes, and for triangle-only formats every facet that is not a
// triangle, come from a triangulated copy.
struct FlatMesh {
    struct Corner {
        int v = -1, t = -1, n = -1;
    };
    std::vector<const double*> vertices;  // xyz
    std::vector<const double*> normals;   // xyz
    std::vector<const double*> texCoos;   // uv
    std::vector<Corner> corners;
    std::vector<std::size_t> polygonStart;  // polygon i: corners[start[i] .. start[i+1])
    std::vector<const double*> planes;      // per polygon, the plane of its facet (abcd)
    std::vector<std::vector<int>> polylines;
    // Keeps the triangulated copy (and the coordinates above) alive.
    std::vector<G3Surface*> owned;

    FlatMesh() = default;
    FlatMesh(const FlatMesh&) = delete;
    FlatMesh& operator=(const FlatMesh&) = delete;
    ~FlatMesh();

    std::size_t PolygonCount() const { return polygonStart.empty() ? 0 : polygonStart.size() - 1; }
};

// Fills `flat` from `s`. With `trianglesOnly`, every polygon has three
// corners. False when a coordinate is not finite or the facet structure is
// broken (a chain that does not end).
bool Flatten(G3Surface& s, bool trianglesOnly, bool withPolylines, FlatMesh& flat);

// Shortest text that reads back as the same double.
void AppendDouble(std::string& out, double v);
// "<key>x y z\n": `key` (with its separator) and n coordinates.
void AppendCoordinates(std::string& out, const char* key, const double* p, int n);
void AppendInt(std::string& out, long long v);

} // namespace detail
} // namespace g3io
