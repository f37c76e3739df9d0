#include "files/png_file.h"

#include <fcntl.h>
#include <png.h>
#include <unistd.h>
#include <zlib.h>

#include <array>
#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <new>
#include <vector>

#include "common/host_error.h"
#include "files/output_file.h"

namespace cqhost {
namespace {

constexpr int kMaxPaletteColours = 256;

// The picture as palette indexes, when it has at most 256 colours. Colours are numbered in
// the order they first appear, so the same pixels always give the same palette.
class PaletteImage {
  public:
    // False when the picture has more than 256 colours.
    bool build(const std::uint32_t* pixels, int width, int height) {
        const size_t rowLength = static_cast<size_t>(width);
        indexes_.resize(rowLength * static_cast<size_t>(height));
        sameAsAbove_.assign(static_cast<size_t>(height), 0);
        slots_.fill(kEmpty);
        colours_.clear();
        std::uint32_t lastColour = 0;
        std::uint8_t lastIndex = 0;
        bool haveLast = false;
        for (int y = 0; y < height; ++y) {
            const std::uint32_t* row = pixels + rowLength * static_cast<size_t>(y);
            std::uint8_t* rowIndexes = indexes_.data() + rowLength * static_cast<size_t>(y);
            // Most of a display's rows repeat the one above (six in ten in a song's
            // pictures): those have no new colour, and the same indexes.
            if (y > 0 && std::memcmp(row, row - rowLength, rowLength * sizeof *row) == 0) {
                std::memcpy(rowIndexes, rowIndexes - rowLength, rowLength);
                sameAsAbove_[static_cast<size_t>(y)] = 1;
                continue;
            }
            for (size_t i = 0; i < rowLength; ++i) {
                // Runs of one colour are the rule in a display: eight pixels of the last
                // colour are taken at once (a comparison the compiler does in one vector).
                if (haveLast && i + kRun <= rowLength) {
                    Run run;
                    std::memcpy(&run, row + i, sizeof run);
                    run = (run & 0xFFFFFF) ^ lastColour;
                    std::uint32_t differs = 0;
                    for (size_t k = 0; k < kRun; ++k) differs |= run[k];
                    if (differs == 0) {
                        std::memset(rowIndexes + i, lastIndex, kRun);
                        i += kRun - 1;
                        continue;
                    }
                }
                const std::uint32_t colour = row[i] & 0xFFFFFF;
                // The last colour is checked before the table.
                if (!haveLast || colour != lastColour) {
                    const int index = indexOf(colour);
                    if (index < 0) return false;
                    lastColour = colour;
                    lastIndex = static_cast<std::uint8_t>(index);
                    haveLast = true;
                }
                rowIndexes[i] = lastIndex;
            }
        }
        return true;
    }

    // The smallest PNG bit depth (1, 2, 4 or 8) that numbers every colour.
    int bitDepth() const {
        const size_t n = colours_.size();
        return n <= 2 ? 1 : n <= 4 ? 2 : n <= 16 ? 4 : 8;
    }

    std::vector<png_color> palette() const {
        std::vector<png_color> entries;
        for (std::uint32_t colour : colours_) {
            entries.push_back({static_cast<png_byte>(colour >> 16),
                               static_cast<png_byte>(colour >> 8), static_cast<png_byte>(colour)});
        }
        return entries;
    }

    // The indexes packed at bitDepth(), leftmost pixel in the highest bits, each row starting
    // on a byte.
    std::vector<png_byte> packedRows(int width, int height, size_t* rowBytes) const {
        switch (bitDepth()) {
            case 1:
                return packed<1>(width, height, rowBytes);
            case 2:
                return packed<2>(width, height, rowBytes);
            case 4:
                return packed<4>(width, height, rowBytes);
            default:
                return packed<8>(width, height, rowBytes);
        }
    }

  private:
    // The depth is a constant here, so that the shifts and divisions by it cost nothing.
    template <int kDepth>
    std::vector<png_byte> packed(int width, int height, size_t* rowBytes) const {
        constexpr int kPerByte = 8 / kDepth;
        *rowBytes = (static_cast<size_t>(width) + kPerByte - 1) / kPerByte;
        std::vector<png_byte> packed(*rowBytes * height, 0);
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* source = indexes_.data() + static_cast<size_t>(y) * width;
            png_byte* row = packed.data() + *rowBytes * y;
            if (sameAsAbove_[static_cast<size_t>(y)]) {
                std::memcpy(row, row - *rowBytes, *rowBytes);
                continue;
            }
            // Whole bytes first, each from kPerByte indexes, then the last part byte.
            const int whole = width / kPerByte;
            for (int b = 0; b < whole; ++b) {
                unsigned byte = 0;
                for (int k = 0; k < kPerByte; ++k) {
                    byte |= unsigned{source[b * kPerByte + k]} << (8 - kDepth * (k + 1));
                }
                row[b] = static_cast<png_byte>(byte);
            }
            for (int x = whole * kPerByte; x < width; ++x) {
                const int shift = 8 - kDepth * (x % kPerByte + 1);
                row[x / kPerByte] |= static_cast<png_byte>(source[x] << shift);
            }
        }
        return packed;
    }

    static constexpr size_t kRun = 8;
    typedef std::uint32_t Run __attribute__((vector_size(kRun * 4)));
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFF;  // never a 24-bit colour
    static constexpr size_t kSlots = 1024;               // open addressing, at most 1/4 full

    int indexOf(std::uint32_t colour) {
        size_t slot = (colour * 2654435761u) % kSlots;
        while (slots_[slot] != kEmpty) {
            if (slots_[slot] == colour) return slotIndex_[slot];
            slot = (slot + 1) % kSlots;
        }
        if (colours_.size() == kMaxPaletteColours) return -1;
        slots_[slot] = colour;
        slotIndex_[slot] = static_cast<std::uint8_t>(colours_.size());
        colours_.push_back(colour);
        return slotIndex_[slot];
    }

    std::vector<std::uint8_t> indexes_;
    std::vector<std::uint8_t> sameAsAbove_;  // per row: its pixels are the row above's
    std::vector<std::uint32_t> colours_;
    std::array<std::uint32_t, kSlots> slots_{};
    std::array<std::uint8_t, kSlots> slotIndex_{};
};

// libpng's write callback: appends to the std::string given as its I/O pointer. A failed
// allocation becomes a libpng error, since no C++ exception may cross libpng's C frames.
void appendBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::string*>(png_get_io_ptr(png));
    try {
        out->append(reinterpret_cast<const char*>(data), length);
    } catch (const std::bad_alloc&) {
        png_error(png, "out of memory");
    }
}

void flushNothing(png_structp) {}

struct EncodeInput {
    int width = 0, height = 0;
    int colourType = PNG_COLOR_TYPE_RGB;
    int bitDepth = 8;
    const std::vector<png_color>* palette = nullptr;
    const std::vector<png_bytep>* rows = nullptr;
};

// Returns false on any libpng error. Kept free of C++ objects with destructors, since libpng
// reports errors with longjmp.
bool encode(const EncodeInput& input, std::string* out) {
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
    png_set_write_fn(png, out, appendBytes, flushNothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(input.width),
                 static_cast<png_uint_32>(input.height), input.bitDepth, input.colourType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (input.palette != nullptr) {
        png_set_PLTE(png, info, input.palette->data(), static_cast<int>(input.palette->size()));
    }
    // Each row against the one above: a display's rows mostly repeat, so most filtered rows
    // are zeros, which run-length matching compresses as well as a full search, and faster.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_compression_level(png, Z_BEST_SPEED);
    png_set_compression_strategy(png, Z_RLE);
    png_set_compression_buffer_size(png, 1 << 16);
    png_write_info(png, info);
    png_write_image(png, const_cast<png_bytepp>(input.rows->data()));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

std::string encodePng(const std::uint32_t* pixels, int width, int height) {
    const size_t count = static_cast<size_t>(width) * height;
    EncodeInput input;
    input.width = width;
    input.height = height;
    std::vector<png_byte> data;
    std::vector<png_color> palette;
    size_t rowBytes = 0;
    PaletteImage indexed;
    if (indexed.build(pixels, width, height)) {
        data = indexed.packedRows(width, height, &rowBytes);
        palette = indexed.palette();
        input.colourType = PNG_COLOR_TYPE_PALETTE;
        input.bitDepth = indexed.bitDepth();
        input.palette = &palette;
    } else {
        rowBytes = static_cast<size_t>(width) * 3;
        data.resize(count * 3);
        for (size_t i = 0; i < count; ++i) {
            data[3 * i] = static_cast<png_byte>(pixels[i] >> 16);
            data[3 * i + 1] = static_cast<png_byte>(pixels[i] >> 8);
            data[3 * i + 2] = static_cast<png_byte>(pixels[i]);
        }
    }
    std::vector<png_bytep> rows(height);
    for (int y = 0; y < height; ++y) rows[y] = data.data() + rowBytes * y;
    input.rows = &rows;
    std::string out;
    if (!encode(input, &out)) throw HostError("PNG encoding failed");
    return out;
}

namespace {

void writeAll(int fd, const std::string& path, const std::string& bytes) {
    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) throw HostError("cannot write " + path + ": " + std::strerror(errno));
        data += written;
        left -= static_cast<size_t>(written);
    }
}

}  // namespace

void writeFileAtomically(const std::string& path, const std::string& bytes, bool inStagedFolder) {
    if (inStagedFolder) {
        // The staging folder is published whole once every file in it is written, and
        // removed with them otherwise: its files need no temporary names of their own.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) throw HostError("cannot write " + path + ": " + std::strerror(errno));
        try {
            writeAll(fd, path, bytes);
        } catch (...) {
            ::close(fd);
            throw;
        }
        if (::close(fd) != 0) throw HostError("cannot write " + path + ": " + std::strerror(errno));
        return;
    }
    AtomicOutputFile output(path);
    writeAll(output.fd(), path, bytes);
    output.commit();
}

void writePng(const std::string& path, const std::uint32_t* pixels, int width, int height) {
    writeFileAtomically(path, encodePng(pixels, width, height));
}

}  // namespace cqhost
