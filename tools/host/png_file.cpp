#include "png_file.h"

#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "host_error.h"
#include "output_file.h"

namespace cqhost {
namespace {

// Fills the rows with RGB bytes and writes them; returns false on any libpng or I/O error.
// Kept free of C++ objects with destructors, since libpng reports errors with longjmp.
bool encode(std::FILE* stream, const std::vector<png_bytep>& rows, int width, int height) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, stream);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 6);
    png_write_info(png, info);
    png_write_image(png, const_cast<png_bytepp>(rows.data()));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

void writePng(const std::string& path, const std::uint32_t* pixels, int width, int height) {
    std::vector<png_byte> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
        rgb[3 * i] = static_cast<png_byte>(pixels[i] >> 16);
        rgb[3 * i + 1] = static_cast<png_byte>(pixels[i] >> 8);
        rgb[3 * i + 2] = static_cast<png_byte>(pixels[i]);
    }
    std::vector<png_bytep> rows(height);
    for (int y = 0; y < height; ++y) rows[y] = rgb.data() + static_cast<size_t>(y) * width * 3;

    AtomicOutputFile output(path);
    std::FILE* stream = ::fdopen(output.releaseFd(), "wb");
    if (stream == nullptr) throw HostError("cannot write " + path + ": " + std::strerror(errno));
    const bool encoded = encode(stream, rows, width, height);
    const bool flushed = std::fflush(stream) == 0 && ::fsync(::fileno(stream)) == 0;
    const int savedErrno = errno;
    const bool closed = std::fclose(stream) == 0;
    if (!encoded || !flushed || !closed) {
        throw HostError("cannot write " + path + ": " +
                        (encoded ? std::strerror(savedErrno) : "PNG encoding failed"));
    }
    output.commit();
}

}  // namespace cqhost
