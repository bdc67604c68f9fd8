// Pictures to and from PNG through libpng, in memory, and to a file that
// appears only when complete.
//
// libpng reports errors by longjmp: the functions that call it hold no
// object with a destructor between setjmp and the calls, and the write
// callback never lets an exception through the C code.

#include "tools/render/G3Render.h"

#include "tools/io/G3MeshIO.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <new>

namespace g3render {

namespace {

struct Sink {
    std::string* bytes;
    bool failed;
};

void WriteToSink(png_structp png, png_bytep data, png_size_t size)
{
    Sink* sink = static_cast<Sink*>(png_get_io_ptr(png));
    try {
        sink->bytes->append(reinterpret_cast<const char*>(data), size);
    } catch (...) {
        sink->failed = true;
        png_error(png, "out of memory");
    }
}

void FlushSink(png_structp) {}

// Messages go nowhere: the callers report failure themselves.
void Quiet(png_structp, png_const_charp) {}

// The rows of `image` handed to libpng; false when libpng gave up.
bool EncodeRows(png_structp png, png_infop info, const Image& image, png_bytep* rows)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

bool EncodePng(const Image& image, std::string& bytes)
{
    bytes.clear();
    if (image.width <= 0 || image.height <= 0 ||
        image.rgb.size() != static_cast<std::size_t>(image.width) * image.height * 3)
        return false;
    std::vector<png_bytep> rows(static_cast<std::size_t>(image.height));
    for (int y = 0; y < image.height; ++y)
        rows[static_cast<std::size_t>(y)] =
            const_cast<png_bytep>(image.rgb.data() + static_cast<std::size_t>(y) * image.width * 3);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, Quiet, Quiet);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    Sink sink{&bytes, false};
    png_set_write_fn(png, &sink, WriteToSink, FlushSink);
    const bool ok = EncodeRows(png, info, image, rows.data()) && !sink.failed;
    png_destroy_write_struct(&png, &info);
    if (!ok)
        bytes.clear();
    return ok;
}

bool DecodePng(const std::string& bytes, Image& image, std::string& message)
{
    png_image pi;
    std::memset(&pi, 0, sizeof pi);
    pi.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&pi, bytes.data(), bytes.size())) {
        message = std::string("not a PNG: ") + pi.message;
        return false;
    }
    pi.format = PNG_FORMAT_RGB;
    if (pi.width == 0 || pi.height == 0 || pi.width > static_cast<png_uint_32>(kMaxSize) ||
        pi.height > static_cast<png_uint_32>(kMaxSize)) {
        png_image_free(&pi);
        message = "PNG size out of range";
        return false;
    }
    image.width = static_cast<int>(pi.width);
    image.height = static_cast<int>(pi.height);
    image.rgb.assign(PNG_IMAGE_SIZE(pi), 0);
    std::uint8_t bg[3];
    BackgroundColor(bg);
    png_color background{bg[0], bg[1], bg[2]};
    if (!png_image_finish_read(&pi, &background, image.rgb.data(), 0, nullptr)) {
        message = std::string("broken PNG: ") + pi.message;
        png_image_free(&pi);
        return false;
    }
    return true;
}

bool WritePngFile(const std::string& path, const Image& image, std::string& message)
{
    std::string bytes;
    if (!EncodePng(image, bytes)) {
        message = path + ": cannot encode the picture";
        return false;
    }
    return g3io::WriteFileAtomically(path, bytes, message);
}

}  // namespace g3render
