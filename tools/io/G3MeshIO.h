#pragma once
// Mesh file formats for the g3 tool and for hosts that want them: the
// kernel's text dump, Wavefront OBJ, OFF, STL and PLY (ASCII and binary)
// read and written, VRML 2.0 written. This library sits beside the kernel; the
// kernel does not depend on it.
//
// Every reader parses a whole file into an EMPTY surface. On failure it
// returns false, leaves the surface empty, and sets `message` to one line
// that names the file and the line (text formats) or the byte offset
// (binary STL and PLY bodies) where reading stopped, e.g.
//     "cube.obj:12: face index 9 out of range (8 vertices)"
// Readers never throw and never crash on any input. Numbers are parsed
// independently of the C locale; NaN and infinite coordinates are errors.
// On success `message` is empty or holds one warning line in the same form
// (text the reader left unread, for one).
//
// Writers return false with a one-line `message` when the file cannot be
// written; they never leave a partial file behind (they write a temporary
// file beside the target and rename it).

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

class G3Surface;

namespace g3io {

enum class Format { Unknown, Dump, Obj, Off, Stl, Ply, Vrml };

// The format a path names by its extension, case-insensitive:
// .txt (dump), .obj, .off, .stl, .ply, .wrl (VRML, write only).
Format FormatFromPath(const std::string& path);
const char* FormatName(Format format);
bool CanRead(Format format);

// How a reader builds the surface.
struct ReadOptions {
    // OFF only, for a repair that starts by welding: vertex lines the
    // welding pass would make one (bit for bit equal coordinates, or points
    // within the welding distance of the first of them) become one vertex
    // at the first line's coordinates (unless no face uses them) and faces
    // share their edges, so that a triangle soup never holds a vertex per
    // corner and an edge per side. The surface is the one the plain read
    // becomes once welded, and the repair passes make of it what they make
    // of the plain read: vertices in the order the welding pass leaves
    // them, facets in file order with their corners as written. Where that
    // could differ (a face with two corners at one point, two faces on one
    // side of an edge pair, a chain of near points whose weld depends on
    // the order, a point within twice the welding distance of an edge it
    // does not end), the plain read is returned. Messages and refusals are
    // those of the plain read.
    bool mergeEqualVertices = false;
    // When not null, set to whether the read came out merged. Such a
    // surface is one the welding pass (RemoveEqualsVertexAndDivideEdges)
    // leaves as it is: its vertices are more than twice the welding
    // distance apart and from every edge they do not end, and all are used.
    bool* welded = nullptr;
};

// In-memory readers; `name` is used only in messages.
bool ReadObj(const char* data, std::size_t size, const std::string& name, G3Surface& out, std::string& message);
bool ReadOff(const char* data, std::size_t size, const std::string& name, G3Surface& out, std::string& message);
bool ReadOff(const char* data, std::size_t size, const std::string& name, G3Surface& out, std::string& message,
             const ReadOptions& options);
// ASCII or binary, told apart by content. Every triangle comes with its own
// three corners, so reading ends by welding coincident vertices.
bool ReadStl(const char* data, std::size_t size, const std::string& name, G3Surface& out, std::string& message);
bool ReadDump(const char* data, std::size_t size, const std::string& name, G3Surface& out, std::string& message);
// ASCII, binary little-endian or big-endian, as the header says.
bool ReadPly(const char* data, std::size_t size, const std::string& name, G3Surface& out, std::string& message);

// Reads `path` with the reader its extension names. A missing or
// unreadable file and an unknown extension are errors like any other.
// OFF files are read in pieces, never held whole.
bool ReadMeshFile(const std::string& path, G3Surface& out, std::string& message);
bool ReadMeshFile(const std::string& path, G3Surface& out, std::string& message, const ReadOptions& options);

struct WriteOptions {
    bool stlAscii = false;  // binary STL unless asked otherwise
    bool plyAscii = false;  // binary little-endian PLY unless asked otherwise
    double vrmlColor[3] = {0.8, 0.8, 0.8};
};

// Writes `s` in the format the extension of `path` names.
bool WriteMeshFile(const std::string& path, G3Surface& s, std::string& message,
                   const WriteOptions& options = WriteOptions());
struct FileContents;
// The same, and when it succeeds `written` (when not null) gets what
// CountFileContents tells of the file; the OFF writer counts as it lays
// the surface out, without a second pass over it.
bool WriteMeshFile(const std::string& path, G3Surface& s, std::string& message, const WriteOptions& options,
                   FileContents* written);

// Several files written as one: each Add writes its file to a temporary
// file beside the target, and Commit renames them all over their targets.
// A file that cannot be written fails its Add, and a batch dropped before
// Commit removes what it staged, so that a failure leaves every target as
// it was.
class MeshFileBatch {
public:
    MeshFileBatch() = default;
    ~MeshFileBatch();
    MeshFileBatch(const MeshFileBatch&) = delete;
    MeshFileBatch& operator=(const MeshFileBatch&) = delete;
    bool Add(const std::string& path, G3Surface& s, std::string& message,
             const WriteOptions& options = WriteOptions());
    // False with a message when a target cannot be replaced (checked for
    // all before any is renamed).
    bool Commit(std::string& message);

private:
    struct Staged {
        std::string tmp;     // the finished temporary file
        std::string target;  // the file it replaces (a link's target)
        std::string path;    // the name the caller gave
    };
    std::vector<Staged> staged_;
};

// What a file of `format` holds once `s` is written to it, as that writer
// lays the surface out: STL holds triangles only (each with corners of its
// own), OFF and PLY shared vertices and faces, OBJ also its normals and
// texture coordinates; a dump its vertices, edges and facets (no normals or
// texture coordinates) and VRML its vertices and facets. False when the surface cannot be written in that format.
struct FileContents {
    long long vertices = 0;
    long long faces = 0;      // triangles for STL
    long long normals = 0;
    long long texCoos = 0;
    bool trianglesOnly = false;  // STL
};
bool CountFileContents(G3Surface& s, Format format, FileContents& out);

// Writes `bytes` to `path` through a temporary file beside it that is
// renamed over `path` only when complete, so no partial file is ever left;
// false with a one-line message naming the path.
bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string& message);

// Serialisers to memory, for tests and for hosts that write elsewhere.
bool WriteObj(G3Surface& s, std::string& out);
bool WriteOff(G3Surface& s, std::string& out);
bool WriteStl(G3Surface& s, std::string& out, bool ascii);
bool WritePly(G3Surface& s, std::string& out, bool ascii);

}  // namespace g3io
