// Compares what Windows GDI drew (a PPM from cqscope-host.exe) with the Linux render of the
// same input (a PNG from cqscope-host): every pixel must be identical outside the text cells,
// which are the label band below row 500 and the inside of the Hold image's frame, where the
// glyphs of two different fonts stand. On a difference it prints where and writes a diff
// picture: differing pixels red, masked cells dimmed blue, equal pixels as a grey copy.
//
//   cqscope-picture-compare LINUX.png WINDOWS.ppm DIFF.png [--expect LIST]
//                           [--mask X,Y,W,H]...
//
// --mask leaves out one more text cell, such as where the Windows fonts put the Hold text
// (its opaque cell may cover part of the frame there). --expect checks that the Linux picture
// shows what it should (see missingContent), so that two black frames never pass.
// Exit status: 0 identical, 1 different or content missing, 2 unreadable input.
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "display/display_geometry.h"

namespace {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // top row first

    std::uint32_t at(int x, int y) const {
        const std::uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
    }
};

bool readPng(const std::string& path, Picture& picture) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    const bool ok = png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

// Binary PPM, 8 bits per channel; comments are not expected from our writer.
bool readPpm(const std::string& path, Picture& picture) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxValue = 0;
    if (!(in >> magic >> picture.width >> picture.height >> maxValue) || magic != "P6" ||
        maxValue != 255 || picture.width <= 0 || picture.height <= 0) {
        return false;
    }
    in.get();  // the one whitespace byte before the samples
    picture.rgb.resize(static_cast<size_t>(picture.width) * picture.height * 3);
    in.read(reinterpret_cast<char*>(picture.rgb.data()),
            static_cast<std::streamsize>(picture.rgb.size()));
    return static_cast<size_t>(in.gcount()) == picture.rgb.size();
}

bool readPicture(const std::string& path, Picture& picture) {
    const bool png = path.size() > 4 && path.compare(path.size() - 4, 4, ".png") == 0;
    return png ? readPng(path, picture) : readPpm(path, picture);
}

bool writePng(const std::string& path, const Picture& picture) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(picture.width);
    image.height = static_cast<png_uint_32>(picture.height);
    image.format = PNG_FORMAT_RGB;
    return png_image_write_to_file(&image, path.c_str(), 0, picture.rgb.data(), 0, nullptr) != 0;
}

// The display's geometry: the label band, and the Hold image with its one-pixel frame
// compared, its inside (the text cell) not.
constexpr int kLabelTop = display::kLabelRow;
constexpr int kHoldLeft = display::kHoldX, kHoldTop = display::kHoldY;
constexpr int kHoldWidth = display::kHoldWidth, kHoldHeight = display::kHoldHeight;

struct Cell {
    int x, y, width, height;
    bool contains(int px, int py) const {
        return px >= x && px < x + width && py >= y && py < y + height;
    }
};

// The label band and the inside of the Hold frame, plus the cells given with --mask.
std::vector<Cell> textCells = {{0, kLabelTop, 1 << 20, 1 << 20},
                               {kHoldLeft + 1, kHoldTop + 1, kHoldWidth - 2, kHoldHeight - 2}};

bool inTextCell(int x, int y) {
    for (const Cell& cell : textCells) {
        if (cell.contains(x, y)) return true;
    }
    return false;
}

constexpr std::uint32_t kGreen = display::pixelOf(display::kGreen);
constexpr std::uint32_t kStripe = display::pixelOf(display::kNoteBlue);
constexpr std::uint32_t kWhite = display::pixelOf(display::kWhite);
constexpr std::uint32_t kGrey = display::pixelOf(display::kGrey);

// What the reference picture must show, so that two blank pictures never pass: a
// comma-separated list of bars, stripes, grid, hold-grey, hold-white, cursor (the pointer
// readout's line: a column in the cursor's colour from row 300 down to the bar base). Empty
// when all is there.
std::string missingContent(const Picture& p, const std::string& expected) {
    const auto wants = [&](const char* item) {
        return ("," + expected + ",").find("," + std::string(item) + ",") != std::string::npos;
    };
    int green = 0, stripe = 0;
    for (int y = 0; y < 500; ++y) {
        for (int x = 0; x < p.width; ++x) {
            green += p.at(x, y) == kGreen;
            stripe += p.at(x, y) == kStripe;
        }
    }
    if (wants("bars") && green < 100) return "no green bars";
    if (wants("stripes") && stripe < 1000) return "no blue note stripes";
    bool cursor = false;
    for (int x = 0; wants("cursor") && !cursor && x < p.width; ++x) {
        cursor = true;
        for (int y = 300; cursor && y < display::kBarBaseRow; ++y)
            cursor = p.at(x, y) == display::pixelOf(display::kCursorYellow);
    }
    if (wants("cursor") && !cursor) return "no cursor line";
    // Grid: the C1 line (white) at column 0 and the D line (grey) at column 20, rows 0..499.
    for (int y = 0; wants("grid") && y < 500; y += 50) {
        if (p.at(0, y) != kWhite) return "no white grid line in column 0";
        if (p.at(20, y) != kGrey) return "no grey grid line in column 20";
    }
    // The Hold frame's top row and left column: the text, at (6, 4) in the image, never
    // covers them.
    const bool white = wants("hold-white");
    if (white || wants("hold-grey")) {
        const std::uint32_t colour = white ? kWhite : kGrey;
        for (int x = kHoldLeft; x < kHoldLeft + kHoldWidth; ++x) {
            if (p.at(x, kHoldTop) != colour) return "no Hold frame in the expected colour";
        }
        for (int y = kHoldTop; y < kHoldTop + kHoldHeight; ++y) {
            if (p.at(kHoldLeft, y) != colour) return "no Hold frame in the expected colour";
        }
    }
    return "";
}

}  // namespace

int main(int argc, char** argv) {
    const char* expected = nullptr;
    bool usage = argc < 4;
    for (int i = 4; i < argc && !usage; i += 2) {
        if (i + 1 >= argc) {
            usage = true;
        } else if (std::strcmp(argv[i], "--expect") == 0) {
            expected = argv[i + 1];
        } else if (std::strcmp(argv[i], "--mask") == 0) {
            Cell cell{};
            usage = std::sscanf(argv[i + 1], "%d,%d,%d,%d", &cell.x, &cell.y, &cell.width,
                                &cell.height) != 4;
            textCells.push_back(cell);
        } else {
            usage = true;
        }
    }
    if (usage) {
        std::fprintf(stderr,
                     "usage: cqscope-picture-compare LINUX.png WINDOWS.ppm DIFF.png "
                     "[--expect LIST] [--mask X,Y,W,H]...\n");
        return 2;
    }
    Picture reference, captured;
    if (!readPicture(argv[1], reference)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    if (!readPicture(argv[2], captured)) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 2;
    }
    if (reference.width != captured.width || reference.height != captured.height) {
        std::fprintf(stderr, "sizes differ: %s is %d x %d, %s is %d x %d\n", argv[1],
                     reference.width, reference.height, argv[2], captured.width, captured.height);
        return 1;
    }
    if (reference.width < kHoldLeft + kHoldWidth || reference.height <= kLabelTop) {
        std::fprintf(stderr, "%d x %d is not the display's size\n", reference.width,
                     reference.height);
        return 1;
    }
    int status = 0;
    if (expected != nullptr) {
        const std::string missing = missingContent(reference, expected);
        if (!missing.empty()) {
            std::fprintf(stderr, "%s: %s\n", argv[1], missing.c_str());
            status = 1;
        }
    }

    Picture diff = reference;
    long long differing = 0;
    int shown = 0;
    for (int y = 0; y < reference.height; ++y) {
        for (int x = 0; x < reference.width; ++x) {
            std::uint8_t* d = &diff.rgb[(static_cast<size_t>(y) * diff.width + x) * 3];
            const std::uint32_t a = reference.at(x, y), b = captured.at(x, y);
            if (inTextCell(x, y)) {
                d[0] = 0;
                d[1] = 0;
                d[2] = 96;
            } else if (a != b) {
                ++differing;
                if (shown++ < 10) {
                    std::fprintf(stderr, "pixel (%d, %d): Linux %06X, Windows %06X\n", x, y,
                                 static_cast<unsigned>(a), static_cast<unsigned>(b));
                }
                d[0] = 255;
                d[1] = 0;
                d[2] = 0;
            } else {
                const std::uint8_t grey =
                    static_cast<std::uint8_t>((d[0] * 30 + d[1] * 59 + d[2] * 11) / 200);
                d[0] = d[1] = d[2] = grey;
            }
        }
    }
    if (differing != 0) {
        std::fprintf(stderr, "%lld pixels differ outside the text cells; diff picture: %s\n",
                     differing, argv[3]);
        if (!writePng(argv[3], diff)) std::fprintf(stderr, "cannot write %s\n", argv[3]);
        return 1;
    }
    if (status == 0)
        std::printf("identical outside the text cells (%d x %d)\n", reference.width,
                    reference.height);
    return status;
}
