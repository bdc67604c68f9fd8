// The kernel's own dump read from memory, and the file-level entry points:
// reading a whole file with the reader its extension names, and writing
// through a temporary file that is renamed over the target (the file a
// link names, its permissions kept) only when complete.

#include "tools/io/G3MeshIO.h"
#include "tools/io/G3MeshIOInternal.h"

#include "Geometry/mesh/G3PassCheck.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace g3io {

using namespace detail;

namespace {

std::string SystemError(int error)
{
    const char* text = std::strerror(error);
    return text ? text : "unknown error";
}

// The rest of the open file `f` into `text`, closing it; false with a
// message naming the file.
bool ReadRest(FILE* f, const std::string& path, std::string& text, std::string& message)
{
    char buf[1 << 16];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    const int error = std::ferror(f) ? (errno != 0 ? errno : EIO) : 0;
    std::fclose(f);
    if (error != 0) {
        message = path + ": cannot read: " + SystemError(error);
        return false;
    }
    return true;
}

// The whole file into `text`; false with a message naming the file.
bool ReadWhole(const std::string& path, std::string& text, std::string& message)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        message = path + ": cannot open: " + SystemError(errno);
        return false;
    }
    return ReadRest(f, path, text, message);
}

// An OFF file read in pieces.
bool ReadOffPath(const std::string& path, G3Surface& out, std::string& message, const ReadOptions& options)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        message = path + ": cannot open: " + SystemError(errno);
        return false;
    }
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        // Not a plain file (a pipe, a directory): read it whole, through
        // the stream already open (a pipe opened again would wait for a
        // writer that has come and gone).
        std::string text;
        if (!ReadRest(f, path, text, message))
            return false;
        return ReadOff(text.data(), text.size(), path, out, message, options);
    }
    const bool ok = ReadOffFile(f, static_cast<std::size_t>(st.st_size), path, out, message, options);
    std::fclose(f);
    return ok;
}

std::string FileName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where a write to `path` lands. A symbolic link is followed, so that the
// file it names is replaced and the link kept (renaming over the link would
// cut it off from that file). An existing target must be a plain file the
// caller may write: a folder or device would be replaced by the rename, and
// a read-only file is not ours to replace. Its permission bits are carried
// over to the new file.
struct Target {
    std::string path;
    bool exists = false;
    mode_t mode = 0;
};

bool ResolveTarget(const std::string& path, Target& target, std::string& message)
{
    target = Target();
    target.path = path;
    struct stat st;
    // Link by link, so that a link to a file not made yet makes that file;
    // a loop ends at the hop limit, and the write then fails where the
    // kernel's would (too many links).
    std::filesystem::path at(path);
    for (int hop = 0; hop < 40 && lstat(at.c_str(), &st) == 0 && S_ISLNK(st.st_mode); ++hop) {
        std::error_code ec;
        const std::filesystem::path link = std::filesystem::read_symlink(at, ec);
        if (ec)
            break;
        at = link.is_absolute() ? link : at.parent_path() / link;
    }
    if (lstat(at.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        message = path + ": cannot write: " + SystemError(ELOOP);
        return false;
    }
    target.path = at.string();
    if (stat(target.path.c_str(), &st) != 0)
        return true;
    if (!S_ISREG(st.st_mode)) {
        message = path + ": cannot write: not a plain file";
        return false;
    }
    if (access(target.path.c_str(), W_OK) != 0) {
        message = path + ": cannot write: " + SystemError(errno);
        return false;
    }
    target.exists = true;
    target.mode = st.st_mode & 07777;
    return true;
}

// Gives the finished temporary file the replaced file's permissions.
bool KeepMode(const std::string& tmp, const Target& target)
{
    return !target.exists || chmod(tmp.c_str(), target.mode) == 0;
}

// A fresh file name beside `path`, created empty (so no one else takes it);
// a message names the file as the caller gave it, `name`.
bool MakeTemporary(const std::string& path, const std::string& name, std::string& tmp, std::string& message)
{
    static std::atomic<unsigned> serial{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        tmp = path + ".g3tmp." + std::to_string(getpid()) + "." + std::to_string(serial++);
        FILE* f = std::fopen(tmp.c_str(), "wxb");
        if (f) {
            std::fclose(f);
            return true;
        }
        if (errno != EEXIST) {
            message = name + ": cannot write: " + SystemError(errno);
            return false;
        }
    }
    message = name + ": cannot write: no free temporary name";
    return false;
}

bool WriteBytes(const std::string& tmp, const std::string& bytes)
{
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// Removes the temporary file when the write into it failed (`ok` false);
// false with a message naming `path` then.
bool Finish(const std::string& tmp, const std::string& path, bool ok, std::string& message)
{
    if (ok)
        return true;
    const int error = errno;
    std::remove(tmp.c_str());
    message = path + ": cannot write: " + (error ? SystemError(error) : std::string("write failed"));
    return false;
}

// Renames the finished temporary file over `path`, or removes it when the
// write failed (`ok` false) or the rename does; false with a message then.
bool Commit(const std::string& tmp, const std::string& path, bool ok, std::string& message,
            const std::string& target)
{
    if (!ok) {
        const int error = errno;
        std::remove(tmp.c_str());
        message = path + ": cannot write: " + (error ? SystemError(error) : std::string("write failed"));
        return false;
    }
    if (std::rename(tmp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        std::remove(tmp.c_str());
        message = path + ": cannot write: " + SystemError(error);
        return false;
    }
    return true;
}

} // namespace

bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string& message)
{
    if (FileName(path).empty()) {
        message = path + ": cannot write: no file name";
        return false;
    }
    Target target;
    std::string tmp;
    if (!ResolveTarget(path, target, message) || !MakeTemporary(target.path, path, tmp, message))
        return false;
    errno = 0;
    const bool ok = WriteBytes(tmp, bytes) && KeepMode(tmp, target);
    return Commit(tmp, path, ok, message, target.path);
}

bool ReadMeshFile(const std::string& path, G3Surface& out, std::string& message)
{
    return ReadMeshFile(path, out, message, ReadOptions());
}

bool ReadMeshFile(const std::string& path, G3Surface& out, std::string& message, const ReadOptions& options)
{
    if (options.welded)
        *options.welded = false;
    const Format format = FormatFromPath(path);
    if (format == Format::Vrml) {
        message = path + ": cannot read VRML (the format is written only)";
        return false;
    }
    if (!CanRead(format)) {
        message = path + ": unknown file extension (readable: .txt, .obj, .off, .stl, .ply)";
        return false;
    }
    if (format == Format::Off)
        return ReadOffPath(path, out, message, options);
    std::string text;
    if (!ReadWhole(path, text, message))
        return false;
    // Messages name the file as the caller gave it.
    switch (format) {
    case Format::Dump: return ReadDump(text.data(), text.size(), path, out, message);
    case Format::Obj: return ReadObj(text.data(), text.size(), path, out, message);
    case Format::Off: return ReadOff(text.data(), text.size(), path, out, message);
    case Format::Stl: return ReadStl(text.data(), text.size(), path, out, message);
    case Format::Ply: return ReadPly(text.data(), text.size(), path, out, message);
    case Format::Vrml:
    case Format::Unknown: break;
    }
    message = path + ": unknown file extension";
    return false;
}

bool CountFileContents(G3Surface& s, Format format, FileContents& out)
{
    out = FileContents();
    if (format == Format::Dump || format == Format::Vrml) {
        // The dump holds vertices, edges and facets only: corner normals
        // and texture coordinates are not in it.
        out.vertices = s.GetVertexCount();
        out.faces = s.GetFacetCount();
        return true;
    }
    if (format == Format::Unknown)
        return false;
    FlatMesh flat;
    out.trianglesOnly = format == Format::Stl;
    if (!Flatten(s, out.trianglesOnly, false, flat))
        return false;
    out.faces = flat.polygonStart.empty() ? 0 : static_cast<long long>(flat.polygonStart.size()) - 1;
    out.vertices = out.trianglesOnly ? 3 * out.faces : static_cast<long long>(flat.vertices.size());
    if (format == Format::Obj) {
        out.normals = static_cast<long long>(flat.normals.size());
        out.texCoos = static_cast<long long>(flat.texCoos.size());
    }
    return true;
}

bool WriteMeshFile(const std::string& path, G3Surface& s, std::string& message, const WriteOptions& options)
{
    return WriteMeshFile(path, s, message, options, nullptr);
}

namespace {

bool VerticesFinite(G3Surface& s)
{
    for (int i = 0; i < s.GetVertexCount(); ++i) {
        const G3Vertex* v = s.GetVertex(i);
        if (!std::isfinite(v->GetX()) || !std::isfinite(v->GetY()) || !std::isfinite(v->GetZ()))
            return false;
    }
    return true;
}

// Writes `s` in the format `path` names to a new temporary file beside
// `path` (its name in `tmp`); false with a message, and no temporary file
// left, when it cannot.
bool WriteTemporary(const std::string& path, G3Surface& s, std::string& message, const WriteOptions& options,
                    FileContents* written, std::string& tmp, Target& target)
{
    const Format format = FormatFromPath(path);
    if (format == Format::Unknown || FileName(path).empty()) {
        message = path + ": unknown file extension (writable: .txt, .obj, .off, .stl, .ply, .wrl)";
        return false;
    }
    if (!ResolveTarget(path, target, message))
        return false;
    auto cannot = [&]() {
        message = path + ": cannot write " + FormatName(format) +
                  ": the surface has coordinates the format cannot hold (not finite" +
                  (format == Format::Stl && !options.stlAscii ? ", or beyond 32-bit float range" : "") +
                  ") or a broken facet chain";
        return false;
    };
    if (format == Format::Off) {
        // Written in pieces, never held whole: a large mesh's text would
        // otherwise sit beside the mesh at its largest.
        if (!MakeTemporary(target.path, path, tmp, message))
            return false;
        errno = 0;
        FILE* f = std::fopen(tmp.c_str(), "wb");
        bool made = true;
        // The writer counts what it lays out: the surface is flattened once.
        bool ok = f && WriteOffFile(s, f, made, written);
        if (f)
            ok = std::fclose(f) == 0 && ok;
        if (!made) {
            std::remove(tmp.c_str());
            return cannot();
        }
        return Finish(tmp, path, ok && KeepMode(tmp, target), message);
    }
    std::string bytes;
    bool made = true;
    switch (format) {
    case Format::Obj: made = WriteObj(s, bytes); break;
    case Format::Off: break;
    case Format::Stl: made = WriteStl(s, bytes, options.stlAscii); break;
    case Format::Ply: made = WritePly(s, bytes, options.plyAscii); break;
    case Format::Dump:
    case Format::Vrml:
        // Written by the kernel, which refuses such a surface; told here
        // as the other formats tell it.
        made = VerticesFinite(s);
        break;
    case Format::Unknown: break;
    }
    if (!made)
        return cannot();

    if (!MakeTemporary(target.path, path, tmp, message))
        return false;
    bool ok = false;
    switch (format) {
    case Format::Dump: ok = s.Save(tmp.c_str()); break;
    case Format::Vrml: {
        FILE* f = nullptr;
        if (G3Surface::VRMLWriteBegin(tmp.c_str(), &f)) {
            ok = G3Surface::VRMLWrite(f, &s, options.vrmlColor);
            // The end call closes the file: always made, whatever the write did.
            ok = G3Surface::VRMLWriteEnd(f) && ok;
        }
        break;
    }
    case Format::Obj:
    case Format::Off:
    case Format::Stl:
    case Format::Ply: ok = WriteBytes(tmp, bytes); break;
    case Format::Unknown: break;
    }
    if (!Finish(tmp, path, ok && KeepMode(tmp, target), message))
        return false;
    if (written && !CountFileContents(s, format, *written))
        *written = FileContents();
    return true;
}

} // namespace

bool WriteMeshFile(const std::string& path, G3Surface& s, std::string& message, const WriteOptions& options,
                   FileContents* written)
{
    std::string tmp;
    Target target;
    return WriteTemporary(path, s, message, options, written, tmp, target) &&
           Commit(tmp, path, true, message, target.path);
}

MeshFileBatch::~MeshFileBatch()
{
    for (const auto& staged : staged_)
        std::remove(staged.tmp.c_str());
}

bool MeshFileBatch::Add(const std::string& path, G3Surface& s, std::string& message, const WriteOptions& options)
{
    std::string tmp;
    Target target;
    if (!WriteTemporary(path, s, message, options, nullptr, tmp, target))
        return false;
    staged_.push_back({tmp, target.path, path});
    return true;
}

bool MeshFileBatch::Commit(std::string& message)
{
    // Every file is complete by now: what is left to fail is a rename (the
    // target a folder, say), which is tried for all before any is made.
    for (const auto& staged : staged_) {
        struct stat st;
        if (stat(staged.target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            message = staged.path + ": cannot write: not a plain file";
            return false;
        }
    }
    bool ok = true;
    for (const auto& staged : staged_)
        if (ok)
            ok = g3io::Commit(staged.tmp, staged.path, true, message, staged.target);
        else
            std::remove(staged.tmp.c_str());
    staged_.clear();
    return ok;
}

namespace {

// Whether the first line holds the five whole numbers a dump opens with,
// so that a points list or any other text handed over as .txt is named as
// such instead of failing somewhere further down.
bool HasDumpCounts(const char* data, std::size_t size)
{
    LineReader lines(data, size, false);
    std::string_view line;
    if (!lines.Next(line))
        return false;
    std::vector<std::string_view> tokens;
    Split(line, tokens);
    if (tokens.size() != 5)
        return false;
    for (std::string_view t : tokens) {
        long long v = 0;
        if (ParseInt(t, v) != NumberError::None)
            return false;
    }
    return true;
}

} // namespace

bool ReadDump(const char* data, std::size_t size, const std::string& name, G3Surface& out, std::string& message)
{
    // A dump keeps its writer's flag words, scratch marks among them: the
    // surface is taken in as the file has it, as Load takes it.
    G3_CHECK_PASS_KEEPING_MARKS(&out, "ReadDump");
    if (!StartReading(data, size, name, out, message))
        return false;
    int line = 0;
    const char* reason = nullptr;
    G3Surface aside;
    PrepareAside(out, aside);
    if (!aside.LoadFromText(data, size, &line, &reason)) {
        if (!HasDumpCounts(data, size)) {
            message = LineMessage(name, 1,
                                  "not a mesh dump: the first line should be five whole numbers (the vertex, "
                                  "edge and facet counts, the next-surface index and 0)");
            return false;
        }
        const std::string what = std::string("malformed dump: ") + (reason ? reason : "unreadable");
        message = line > 0 ? LineMessage(name, line, what) : name + ": " + what;
        return false;
    }
    MoveInto(out, aside);
    out.SetNextSurface(aside.PeekNextSurface());
    return true;
}

} // namespace g3io
