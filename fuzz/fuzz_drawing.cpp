// Fuzzes the platform library's drawing calls with arbitrary coordinates, sizes, colours,
// pens, raster modes and texts on a memory device context and on a window's, then reads the
// pixels back. Nothing may crash or write outside a surface.
#include <cstdint>
#include <vector>

#include "fuzz_input.h"
#include "platform/cqscope_platform.h"

namespace {

struct Surfaces {
    HWND window = cqpCreateHostWindow(96, 64);
};

// Any int at all: coordinates near the limits are where the library's sums and differences
// of coordinates would overflow.
int coordinate(FuzzInput& input) {
    return input.take<std::int32_t>();
}

Surfaces& surfaces() {
    static Surfaces made;
    return made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    HWND window = surfaces().window;
    HDC windowDc = GetDC(window);
    // A bitmap of the size the input asks for, negative and zero included, up to 399 a
    // side: larger ones only slow each run down (their bound is tested in the platform's
    // own tests).
    const int width = input.take<std::int16_t>() % 400;
    const int height = input.take<std::int16_t>() % 400;
    HBITMAP bitmap = CreateCompatibleBitmap(windowDc, width, height);
    HDC memory = CreateCompatibleDC(windowDc);
    HGDIOBJ previousBitmap = SelectObject(memory, bitmap);
    std::vector<HGDIOBJ> made;

    for (int op = 0; op < 32 && !input.empty(); ++op) {
        const std::uint8_t kind = input.take<std::uint8_t>();
        HDC dc = (kind & 0x80) ? windowDc : memory;
        const int a = coordinate(input), b = coordinate(input);
        const int c = coordinate(input), d = coordinate(input);
        switch (kind & 0x0F) {
            case 0:
                MoveToEx(dc, a, b, nullptr);
                LineTo(dc, c, d);
                break;
            case 1:
                Rectangle(dc, a, b, c, d);
                break;
            case 2:
                PatBlt(dc, a, b, c, d, (kind & 0x40) ? WHITENESS : BLACKNESS);
                break;
            case 3: {
                const int sx = coordinate(input), sy = coordinate(input);
                BitBlt(dc, a, b, c, d, (kind & 0x40) ? windowDc : memory, sx, sy, SRCCOPY);
                break;
            }
            case 4: {
                std::size_t got = 0;
                const auto* text = input.bytes(static_cast<std::size_t>(c & 0xFF), got);
                TextOutA(dc, a, b, reinterpret_cast<const char*>(text), static_cast<int>(got));
                break;
            }
            case 5: {
                HPEN pen = CreatePen(a, b, static_cast<COLORREF>(c));
                if (pen != nullptr) made.push_back(pen);
                SelectObject(dc, pen);
                break;
            }
            case 6: {
                HBRUSH brush = CreateSolidBrush(static_cast<COLORREF>(a));
                if (brush != nullptr) made.push_back(brush);
                SelectObject(dc, brush);
                break;
            }
            case 7:
                SetROP2(dc, a);
                break;
            case 8:
                SelectObject(dc, GetStockObject(a & 0x1F));
                break;
            case 9:
                SetTextColor(dc, static_cast<COLORREF>(a));
                SetBkColor(dc, static_cast<COLORREF>(b));
                break;
            case 10:
                GetPixel(dc, a, b);
                break;
            case 11: {
                LOGFONTA font{};
                font.lfHeight = a;
                font.lfWidth = b;
                font.lfWeight = c;
                HFONT made1 = CreateFontIndirectA(&font);
                if (made1 != nullptr) made.push_back(made1);
                SelectObject(dc, made1);
                break;
            }
            case 12: {
                RECT area{a, b, c, d};
                InvalidateRect(window, &area, FALSE);
                cqpPumpMessages(window);
                break;
            }
            default:
                break;
        }
    }
    std::vector<DWORD> pixels(96 * 64);
    cqpReadWindowPixels(window, pixels.data(), 96, 64);

    SelectObject(memory, previousBitmap);
    SelectObject(memory, GetStockObject(NULL_PEN));
    SelectObject(windowDc, GetStockObject(NULL_PEN));
    SelectObject(memory, GetStockObject(NULL_BRUSH));
    SelectObject(windowDc, GetStockObject(NULL_BRUSH));
    SelectObject(memory, GetStockObject(ANSI_FIXED_FONT));
    SelectObject(windowDc, GetStockObject(ANSI_FIXED_FONT));
    for (HGDIOBJ object : made) DeleteObject(object);
    DeleteDC(memory);
    DeleteObject(bitmap);
    ReleaseDC(window, windowDc);
    return 0;
}
