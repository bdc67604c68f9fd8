#include "tools/io/G3MeshIO.h"

#include <cctype>

namespace g3io {

Format FormatFromPath(const std::string& path)
{
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return Format::Unknown;
    std::string ext;
    for (std::size_t i = dot + 1; i < path.size(); ++i)
        ext += static_cast<char>(std::tolower(static_cast<unsigned char>(path[i])));
    if (ext == "txt")
        return Format::Dump;
    if (ext == "obj")
        return Format::Obj;
    if (ext == "off")
        return Format::Off;
    if (ext == "stl")
        return Format::Stl;
    if (ext == "ply")
        return Format::Ply;
    if (ext == "wrl")
        return Format::Vrml;
    return Format::Unknown;
}

const char* FormatName(Format format)
{
    switch (format) {
    case Format::Dump: return "kernel text dump";
    case Format::Obj: return "Wavefront OBJ";
    case Format::Off: return "OFF";
    case Format::Stl: return "STL";
    case Format::Ply: return "PLY";
    case Format::Vrml: return "VRML 2.0";
    case Format::Unknown: break;
    }
    return "unknown";
}

bool CanRead(Format format)
{
    return format == Format::Dump || format == Format::Obj || format == Format::Off || format == Format::Stl ||
           format == Format::Ply;
}

}  // namespace g3io
