// Pixel rules of the GDI subset: lines, rectangles with pens and brushes, mix modes, block
// transfers with clipping, text cells, and the lifetime rules of GDI objects.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/cqscope_platform.h"

namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kNoteBlue = RGB(0, 80, 255);

// A memory DC holding a new bitmap, released at the end of the test.
class Canvas {
  public:
    Canvas(int width, int height) : width_(width), height_(height) {
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateCompatibleBitmap(dc_, width, height);
        previous_ = static_cast<HBITMAP>(SelectObject(dc_, bitmap_));
    }
    ~Canvas() {
        SelectObject(dc_, previous_);
        DeleteDC(dc_);
        DeleteObject(bitmap_);
    }
    HDC dc() const { return dc_; }
    HBITMAP bitmap() const { return bitmap_; }
    COLORREF at(int x, int y) const { return GetPixel(dc_, x, y); }
    // The pixels as a picture of characters: '.' for `background`, '#' for anything else.
    std::string picture(COLORREF background = kBlack) const {
        std::string out;
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) out += at(x, y) == background ? '.' : '#';
            out += '\n';
        }
        return out;
    }
    // Columns and rows holding anything but `background`, as a bounding box.
    RECT inkBounds(COLORREF background = kBlack) const {
        RECT r{width_, height_, -1, -1};
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                if (at(x, y) == background) continue;
                r.left = std::min<LONG>(r.left, x);
                r.top = std::min<LONG>(r.top, y);
                r.right = std::max<LONG>(r.right, x);
                r.bottom = std::max<LONG>(r.bottom, y);
            }
        }
        return r;
    }

  private:
    int width_;
    int height_;
    HDC dc_;
    HBITMAP bitmap_;
    HBITMAP previous_;
};

std::string rows(std::initializer_list<const char*> lines) {
    std::string out;
    for (const char* line : lines) out += std::string(line) + "\n";
    return out;
}

TEST(GdiRaster, NewBitmapsAreBlackAndReadBackInBothDibOrders) {
    Canvas canvas(3, 2);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) EXPECT_EQ(canvas.at(x, y), kBlack);
    }
    HBRUSH red = CreateSolidBrush(kRed);
    HGDIOBJ old = SelectObject(canvas.dc(), red);
    PatBlt(canvas.dc(), 0, 0, 3, 1, PATCOPY);  // top row red
    SelectObject(canvas.dc(), old);
    DeleteObject(red);

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 3;
    info.bmiHeader.biHeight = -2;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    // Guard words after the rows catch writes past the end.
    std::vector<std::uint32_t> pixels(6 + 2, 0xDEADBEEF);
    ASSERT_EQ(GetDIBits(canvas.dc(), canvas.bitmap(), 0, 2, pixels.data(), &info, DIB_RGB_COLORS),
              2);
    EXPECT_EQ(pixels[0], 0x00FF0000u);  // 0x00RRGGBB
    EXPECT_EQ(pixels[3], 0x00000000u);
    EXPECT_EQ(pixels[6], 0xDEADBEEFu);

    info.bmiHeader.biHeight = 2;  // bottom-up: the first scan line is the bottom row
    ASSERT_EQ(GetDIBits(canvas.dc(), canvas.bitmap(), 0, 1, pixels.data(), &info, DIB_RGB_COLORS),
              1);
    EXPECT_EQ(pixels[0], 0x00000000u);

    info.bmiHeader.biBitCount = 24;  // not supported: refused, nothing written
    EXPECT_EQ(GetDIBits(canvas.dc(), canvas.bitmap(), 0, 2, pixels.data(), &info, DIB_RGB_COLORS),
              0);
}

TEST(GdiRaster, LinesLeaveOutTheirEndPoint) {
    Canvas canvas(6, 6);
    HPEN white = static_cast<HPEN>(GetStockObject(WHITE_PEN));
    SelectObject(canvas.dc(), white);
    MoveToEx(canvas.dc(), 1, 5, nullptr);
    LineTo(canvas.dc(), 1, 2);  // upward, as the bars are drawn: rows 3 to 5
    MoveToEx(canvas.dc(), 2, 0, nullptr);
    LineTo(canvas.dc(), 5, 0);  // columns 2 to 4
    MoveToEx(canvas.dc(), 3, 3, nullptr);
    LineTo(canvas.dc(), 3, 3);  // zero length: nothing
    EXPECT_EQ(canvas.picture(), rows({"..###.", "......", "......", ".#....", ".#....", ".#...."}));

    POINT previous{};
    MoveToEx(canvas.dc(), 0, 0, &previous);
    EXPECT_EQ(previous.x, 3);
    EXPECT_EQ(previous.y, 3);
}

TEST(GdiRaster, SlopedLinesRoundToTheNearestPixelWithWindowsTieRules) {
    Canvas canvas(5, 5);
    SelectObject(canvas.dc(), GetStockObject(WHITE_PEN));
    // x-major, y = i / 4: the tie at i = 2 goes to the smaller y.
    MoveToEx(canvas.dc(), 0, 0, nullptr);
    LineTo(canvas.dc(), 4, 1);
    EXPECT_EQ(canvas.picture(), rows({"###..", "...#.", ".....", ".....", "....."}));

    Canvas steep(5, 5);
    SelectObject(steep.dc(), GetStockObject(WHITE_PEN));
    // y-major, x = i / 4: the tie at i = 2 goes to the larger x.
    MoveToEx(steep.dc(), 0, 0, nullptr);
    LineTo(steep.dc(), 1, 4);
    EXPECT_EQ(steep.picture(), rows({"#....", "#....", ".#...", ".#...", "....."}));

    Canvas diagonal(5, 5);
    SelectObject(diagonal.dc(), GetStockObject(WHITE_PEN));
    MoveToEx(diagonal.dc(), 4, 0, nullptr);
    LineTo(diagonal.dc(), 0, 4);
    EXPECT_EQ(diagonal.picture(), rows({"....#", "...#.", "..#..", ".#...", "....."}));
}

TEST(GdiRaster, LinesAreClippedToTheBitmapWithoutWalkingFarCoordinates) {
    Canvas canvas(4, 4);
    SelectObject(canvas.dc(), GetStockObject(WHITE_PEN));
    MoveToEx(canvas.dc(), 2, 3, nullptr);
    LineTo(canvas.dc(), 2, -2000000000);  // a bar taller than the view: column up to row 0
    MoveToEx(canvas.dc(), -2000000000, 1, nullptr);
    LineTo(canvas.dc(), 2000000000, 1);
    EXPECT_EQ(canvas.picture(), rows({"..#.", "####", "..#.", "..#."}));
}

TEST(GdiRaster, RectanglesAndPatternFillsAtTheIntegerLimitsDoNotOverflow) {
    // Found by fuzzing the drawing calls: the edge arithmetic overflowed int.
    Canvas canvas(4, 3);
    SelectObject(canvas.dc(), GetStockObject(WHITE_PEN));
    SelectObject(canvas.dc(), GetStockObject(NULL_BRUSH));
    Rectangle(canvas.dc(), INT_MIN, 1, INT_MAX, INT_MAX);  // only the top edge is on the bitmap
    EXPECT_EQ(canvas.picture(), rows({"....", "####", "...."}));
    PatBlt(canvas.dc(), INT_MAX, INT_MAX, INT_MIN, INT_MIN, WHITENESS);  // reaches back over all
    EXPECT_EQ(canvas.picture(), rows({"####", "####", "####"}));
}

TEST(GdiRaster, RectangleOutlineAndFillFollowTheRightAndBottomRule) {
    Canvas canvas(7, 6);
    HBRUSH red = CreateSolidBrush(kRed);
    SelectObject(canvas.dc(), GetStockObject(WHITE_PEN));
    SelectObject(canvas.dc(), red);
    Rectangle(canvas.dc(), 1, 1, 6, 5);
    // Outline along columns 1..5 and rows 1..4, red interior 2..4 x 2..3.
    EXPECT_EQ(canvas.at(1, 1), kWhite);
    EXPECT_EQ(canvas.at(5, 4), kWhite);
    EXPECT_EQ(canvas.at(6, 4), kBlack);
    EXPECT_EQ(canvas.at(5, 5), kBlack);
    EXPECT_EQ(canvas.at(2, 2), kRed);
    EXPECT_EQ(canvas.at(4, 3), kRed);
    EXPECT_EQ(canvas.inkBounds().right, 5);
    EXPECT_EQ(canvas.inkBounds().bottom, 4);

    // A null brush leaves the interior as it was.
    Canvas frame(5, 4);
    SelectObject(frame.dc(), GetStockObject(WHITE_PEN));
    SelectObject(frame.dc(), GetStockObject(NULL_BRUSH));
    Rectangle(frame.dc(), 0, 0, 5, 4);
    EXPECT_EQ(frame.picture(), rows({"#####", "#...#", "#...#", "#####"}));

    SelectObject(canvas.dc(), GetStockObject(BLACK_BRUSH));
    DeleteObject(red);
}

TEST(GdiRaster, NullPenStripeStopsOnePixelShortAndMergesColours) {
    // The note stripe of middle C: Rectangle(356, 0, 365, 501) with the null pen.
    Canvas canvas(960, 512);
    HPEN green = CreatePen(PS_SOLID, 1, kGreen);
    HBRUSH note = CreateSolidBrush(kNoteBlue);
    SelectObject(canvas.dc(), green);
    MoveToEx(canvas.dc(), 360, 500, nullptr);
    LineTo(canvas.dc(), 360, 200);  // a green bar in rows 201..500 of column 360

    EXPECT_EQ(SetROP2(canvas.dc(), R2_MERGEPEN), R2_COPYPEN);
    SelectObject(canvas.dc(), GetStockObject(NULL_PEN));
    SelectObject(canvas.dc(), note);
    Rectangle(canvas.dc(), 356, 0, 365, 501);

    const RECT ink = canvas.inkBounds();
    EXPECT_EQ(ink.left, 356);
    EXPECT_EQ(ink.right, 363);
    EXPECT_EQ(ink.top, 0);
    EXPECT_EQ(ink.bottom, 500);  // the bar's own row 500 stays below the stripe
    EXPECT_EQ(canvas.at(356, 0), kNoteBlue);
    EXPECT_EQ(canvas.at(363, 499), kNoteBlue);
    EXPECT_EQ(canvas.at(360, 100), kNoteBlue);         // over black
    EXPECT_EQ(canvas.at(360, 300), RGB(0, 255, 255));  // over the green bar: bitwise OR
    EXPECT_EQ(canvas.at(360, 500), kGreen);
    EXPECT_EQ(canvas.at(364, 10), kBlack);

    // The merge mode applies to lines as well.
    SelectObject(canvas.dc(), green);
    MoveToEx(canvas.dc(), 357, 10, nullptr);
    LineTo(canvas.dc(), 357, 11);
    EXPECT_EQ(canvas.at(357, 10), RGB(0, 255, 255));

    SelectObject(canvas.dc(), GetStockObject(BLACK_PEN));
    SelectObject(canvas.dc(), GetStockObject(WHITE_BRUSH));
    EXPECT_TRUE(DeleteObject(green));
    EXPECT_TRUE(DeleteObject(note));
}

TEST(GdiRaster, PatBltAndBitBltAreClippedOnBothSides) {
    Canvas source(4, 4);
    PatBlt(source.dc(), 0, 0, 4, 4, WHITENESS);
    PatBlt(source.dc(), 1, 1, 2, 2, BLACKNESS);
    EXPECT_EQ(source.picture(), rows({"####", "#..#", "#..#", "####"}));

    Canvas dest(5, 5);
    // Partly outside the destination (left and top) and the source (right and bottom).
    ASSERT_TRUE(BitBlt(dest.dc(), -1, -1, 10, 10, source.dc(), 0, 0, SRCCOPY));
    EXPECT_EQ(dest.picture(), rows({"..#..", "..#..", "###..", ".....", "....."}));

    Canvas shifted(5, 5);
    ASSERT_TRUE(BitBlt(shifted.dc(), 2, 2, 4, 4, source.dc(), -1, 0, SRCCOPY));
    EXPECT_EQ(shifted.picture(), rows({".....", ".....", "...##", "...#.", "...#."}));

    // Within one surface, overlapping: every pixel comes from the picture before the copy.
    ASSERT_TRUE(BitBlt(source.dc(), 1, 0, 3, 4, source.dc(), 0, 0, SRCCOPY));
    EXPECT_EQ(source.picture(), rows({"####", "##..", "##..", "####"}));

    EXPECT_FALSE(BitBlt(dest.dc(), 0, 0, 1, 1, nullptr, 0, 0, SRCCOPY));
    EXPECT_FALSE(PatBlt(dest.dc(), 0, 0, 1, 1, SRCCOPY));  // needs a source
}

TEST(GdiRaster, CoordinatesAtTheIntLimitsDrawExactlyTheirVisiblePart) {
    Canvas canvas(10, 4);
    SelectObject(canvas.dc(), GetStockObject(WHITE_PEN));
    // A line across the whole int range one row down over its length: row 1 here.
    MoveToEx(canvas.dc(), INT_MIN, 0, nullptr);
    LineTo(canvas.dc(), INT_MAX, 2);
    // Blocks whose far edge is beyond int: from far left, and reaching left from x = 5.
    PatBlt(canvas.dc(), -(1 << 29), 0, (1 << 29) + 4, 1, WHITENESS);
    PatBlt(canvas.dc(), 5, 3, INT_MIN, 1, WHITENESS);
    PatBlt(canvas.dc(), 8, 2, INT_MAX, 1, WHITENESS);
    EXPECT_EQ(canvas.picture(), rows({"####......", "##########", "........##", "#####....."}));

    Canvas copy(10, 4);
    ASSERT_TRUE(
        BitBlt(copy.dc(), -(1 << 29), 0, (1 << 29) + 10, 4, canvas.dc(), -(1 << 29), 0, SRCCOPY));
    ASSERT_TRUE(BitBlt(copy.dc(), INT_MAX - 1, 0, INT_MAX, 4, canvas.dc(), INT_MIN, 0, SRCCOPY));
    EXPECT_EQ(copy.picture(), canvas.picture());
    EXPECT_TRUE(TextOutA(canvas.dc(), 0, INT_MAX, "A", 1));
    EXPECT_TRUE(TextOutA(canvas.dc(), INT_MAX, 0, "A", 1));
    EXPECT_EQ(copy.picture(), canvas.picture());
    SelectObject(canvas.dc(), GetStockObject(BLACK_PEN));
}

TEST(GdiText, CellsAreExactlyTheFontHeightWithAnOpaqueBackground) {
    LOGFONTA log{};
    ASSERT_EQ(GetObjectA(GetStockObject(ANSI_FIXED_FONT), sizeof(log), &log),
              static_cast<int>(sizeof(log)));
    log.lfHeight = -9;
    log.lfWidth = 0;
    log.lfWeight = FW_NORMAL;
    HFONT label = CreateFontIndirectA(&log);
    log.lfHeight = -18;
    HFONT hold = CreateFontIndirectA(&log);

    Canvas canvas(60, 40);
    PatBlt(canvas.dc(), 0, 0, 60, 40, WHITENESS);
    SelectObject(canvas.dc(), label);
    SetBkColor(canvas.dc(), RGB(0, 0, 255));
    SetTextColor(canvas.dc(), kRed);
    ASSERT_TRUE(TextOutA(canvas.dc(), 3, 5, "C1", 2));
    // The background cell is the whole text box, 9 rows tall.
    EXPECT_EQ(canvas.at(3, 5), RGB(0, 0, 255));
    EXPECT_EQ(canvas.at(3, 14), kWhite);
    EXPECT_EQ(canvas.at(3, 4), kWhite);
    EXPECT_EQ(canvas.at(2, 6), kWhite);
    const RECT cell = canvas.inkBounds(kWhite);
    EXPECT_EQ(cell.top, 5);
    EXPECT_EQ(cell.bottom, 13);
    EXPECT_EQ(cell.left, 3);
    EXPECT_LE(cell.right - cell.left + 1, 20);  // two characters of at most 10 pixels
    // The text's extent is the cell it painted.
    SIZE extent{};
    ASSERT_TRUE(GetTextExtentPoint32A(canvas.dc(), "C1", 2, &extent));
    EXPECT_EQ(extent.cx, cell.right - cell.left + 1);
    EXPECT_EQ(extent.cy, cell.bottom - cell.top + 1);
    // Ink of the text colour lies inside the cell.
    int ink = 0;
    for (int y = 5; y <= 13; ++y) {
        for (int x = cell.left; x <= cell.right; ++x) ink += canvas.at(x, y) == kRed;
    }
    EXPECT_GT(ink, 10);

    // The Hold text: an 18-pixel cell, and "Hold" from x 6 ends before x 48.
    Canvas image(50, 24);
    SelectObject(image.dc(), hold);
    SetTextColor(image.dc(), kWhite);
    SetBkColor(image.dc(), kBlack);
    SetBkMode(image.dc(), TRANSPARENT);
    TextOutA(image.dc(), 6, 4, "Hold", 4);
    const RECT glyphs = image.inkBounds();
    EXPECT_GE(glyphs.left, 6);
    EXPECT_LT(glyphs.right, 48);
    EXPECT_GE(glyphs.top, 4);
    EXPECT_LE(glyphs.bottom, 21);
    EXPECT_GT(glyphs.bottom - glyphs.top, 9);  // scaled, not the label size

    // Transparent text leaves the background; opaque text paints the 18-row cell.
    SetBkMode(image.dc(), OPAQUE);
    SetBkColor(image.dc(), kRed);
    PatBlt(image.dc(), 0, 0, 50, 24, BLACKNESS);
    TextOutA(image.dc(), 6, 4, "Hold", 4);
    EXPECT_EQ(image.at(6, 4), kRed);
    EXPECT_EQ(image.at(6, 21), kRed);
    EXPECT_EQ(image.at(6, 22), kBlack);
    EXPECT_EQ(image.at(5, 10), kBlack);

    SelectObject(canvas.dc(), GetStockObject(SYSTEM_FONT));
    SelectObject(image.dc(), GetStockObject(SYSTEM_FONT));
    EXPECT_TRUE(DeleteObject(label));
    EXPECT_TRUE(DeleteObject(hold));
}

TEST(GdiText, TextIsClippedAtEitherSideWithoutWalkingHiddenCharacters) {
    Canvas canvas(20, 12);
    LOGFONTA log{};
    log.lfHeight = -9;
    HFONT font = CreateFontIndirectA(&log);
    SelectObject(canvas.dc(), font);
    SetBkColor(canvas.dc(), kRed);
    // "abcd" from x -7: the first character is hidden, the second starts at x -1.
    ASSERT_TRUE(TextOutA(canvas.dc(), -7, 2, "abcd", 4));
    EXPECT_EQ(canvas.at(0, 2), kRed);
    EXPECT_EQ(canvas.at(16, 10), kRed);
    EXPECT_EQ(canvas.at(17, 10), kBlack);  // the cells end at x 16
    EXPECT_EQ(canvas.at(0, 11), kBlack);
    // A long string far to the left only costs its visible part.
    std::string longText(1 << 20, 'x');
    ASSERT_TRUE(TextOutA(canvas.dc(), -6 * ((1 << 20) - 1), 0, longText.data(),
                         static_cast<int>(longText.size())));
    EXPECT_EQ(canvas.at(5, 0), kRed);
    EXPECT_EQ(canvas.at(6, 0), kBlack);
    EXPECT_FALSE(TextOutA(canvas.dc(), 0, 0, nullptr, 3));
    EXPECT_FALSE(TextOutA(canvas.dc(), 0, 0, "x", -1));
    SelectObject(canvas.dc(), GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
}

TEST(GdiText, EveryPrintableCharacterHasAGlyphExceptTheSpace) {
    Canvas canvas(10, 18);
    LOGFONTA log{};
    log.lfHeight = -9;
    HFONT font = CreateFontIndirectA(&log);
    SelectObject(canvas.dc(), font);
    SetBkColor(canvas.dc(), kBlack);
    SetTextColor(canvas.dc(), kWhite);
    for (char c = 0x20; c < 0x7F; ++c) {
        PatBlt(canvas.dc(), 0, 0, 10, 18, BLACKNESS);
        TextOutA(canvas.dc(), 0, 0, &c, 1);
        const RECT ink = canvas.inkBounds();
        if (c == ' ') {
            EXPECT_EQ(ink.right, -1);
        } else {
            EXPECT_GE(ink.right, 0) << "no glyph for " << c;
            EXPECT_LE(ink.right, 5) << c;  // a column of space to the next cell
            EXPECT_LE(ink.bottom, 8) << c;
        }
    }
    SelectObject(canvas.dc(), GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
}

TEST(GdiObjects, SelectionReturnsThePreviousObjectOfTheSameKind) {
    HDC dc = CreateCompatibleDC(nullptr);
    HPEN pen = CreatePen(PS_SOLID, 1, kRed);
    HGDIOBJ defaultPen = SelectObject(dc, pen);
    EXPECT_EQ(defaultPen, GetStockObject(BLACK_PEN));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), pen);
    EXPECT_EQ(SelectObject(dc, GetStockObject(NULL_PEN)), pen);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(GetObjectType(dc), static_cast<DWORD>(OBJ_MEMDC));
    EXPECT_EQ(GetObjectType(pen), static_cast<DWORD>(OBJ_PEN));

    LOGPEN log{};
    EXPECT_EQ(GetObjectA(pen, sizeof(log), &log), static_cast<int>(sizeof(log)));
    EXPECT_EQ(log.lopnColor, kRed);

    HBITMAP first = CreateCompatibleBitmap(dc, 8, 4);
    HBITMAP second = CreateCompatibleBitmap(dc, 2, 2);
    HGDIOBJ defaultBitmap = SelectObject(dc, first);
    ASSERT_NE(defaultBitmap, nullptr);
    EXPECT_EQ(SelectObject(dc, second), first);
    // A bitmap can be in one DC at a time.
    HDC other = CreateCompatibleDC(dc);
    EXPECT_EQ(SelectObject(other, second), nullptr);
    EXPECT_NE(SelectObject(other, first), nullptr);

    BITMAP bm{};
    ASSERT_EQ(GetObjectA(first, sizeof(bm), &bm), static_cast<int>(sizeof(bm)));
    EXPECT_EQ(bm.bmWidth, 8);
    EXPECT_EQ(bm.bmHeight, 4);
    EXPECT_EQ(bm.bmBitsPixel, 32);

    EXPECT_TRUE(DeleteDC(other));  // frees `first` for deletion
    EXPECT_TRUE(DeleteObject(first));
    SelectObject(dc, defaultBitmap);
    EXPECT_TRUE(DeleteObject(second));
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_TRUE(DeleteDC(dc));
}

TEST(GdiObjects, StockFontDescribesAPlausibleWindowsFixedFont) {
    LOGFONTA log{};
    ASSERT_EQ(GetObjectA(GetStockObject(ANSI_FIXED_FONT), sizeof(log), &log), 60);
    EXPECT_GT(log.lfHeight, 0);
    EXPECT_EQ(log.lfWeight, FW_NORMAL);
    EXPECT_EQ(log.lfPitchAndFamily & 0x3, FIXED_PITCH);
    EXPECT_STREQ(log.lfFaceName, "Courier");
    EXPECT_EQ(GetObjectA(GetStockObject(ANSI_FIXED_FONT), 0, nullptr), 60);
}

TEST(GdiObjects, StockObjectsSurviveDeletionAndSelectedObjectsRefuseIt) {
    HGDIOBJ whitePen = GetStockObject(WHITE_PEN);
    EXPECT_TRUE(DeleteObject(whitePen));
    EXPECT_EQ(GetObjectType(whitePen), static_cast<DWORD>(OBJ_PEN));
    EXPECT_EQ(GetStockObject(WHITE_PEN), whitePen);
    EXPECT_EQ(GetStockObject(9), nullptr);  // no stock object with that number

    HDC dc = CreateCompatibleDC(nullptr);
    HBRUSH brush = CreateSolidBrush(kRed);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 2, 2);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    EXPECT_FALSE(DeleteObject(brush));
    EXPECT_FALSE(DeleteObject(bitmap));
    // Both still work.
    EXPECT_TRUE(PatBlt(dc, 0, 0, 2, 2, PATCOPY));
    EXPECT_EQ(GetPixel(dc, 1, 1), kRed);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldBitmap);
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_TRUE(DeleteDC(dc));
}

TEST(GdiObjects, StaleAndBogusHandlesFailCleanly) {
    HDC dc = CreateCompatibleDC(nullptr);
    HPEN pen = CreatePen(PS_SOLID, 1, kWhite);
    ASSERT_TRUE(DeleteObject(pen));
    ASSERT_TRUE(DeleteDC(dc));
    // A new object may reuse the slot; the old handles still fail.
    HPEN reused = CreatePen(PS_SOLID, 1, kRed);

    HDC live = CreateCompatibleDC(nullptr);
    SetLastError(0);
    EXPECT_EQ(SelectObject(live, pen), nullptr);
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_TRUE(DeleteDC(live));
    EXPECT_FALSE(DeleteObject(pen));
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_FALSE(LineTo(dc, 1, 1));
    EXPECT_FALSE(Rectangle(dc, 0, 0, 1, 1));
    EXPECT_FALSE(TextOutA(dc, 0, 0, "x", 1));
    EXPECT_EQ(GetPixel(dc, 0, 0), CLR_INVALID);
    EXPECT_EQ(SetROP2(dc, R2_COPYPEN), 0);
    EXPECT_EQ(SetBkColor(dc, 0), CLR_INVALID);
    EXPECT_EQ(GetObjectA(pen, 0, nullptr), 0);

    const HGDIOBJ bogus[] = {reinterpret_cast<HGDIOBJ>(1), reinterpret_cast<HGDIOBJ>(0x12345678),
                             reinterpret_cast<HGDIOBJ>(~std::uintptr_t{0}), nullptr};
    for (HGDIOBJ h : bogus) {
        EXPECT_FALSE(DeleteObject(h));
        EXPECT_EQ(GetObjectType(h), 0u);
        EXPECT_FALSE(PatBlt(static_cast<HDC>(h), 0, 0, 1, 1, BLACKNESS));
    }
    EXPECT_EQ(CreateCompatibleBitmap(static_cast<HDC>(bogus[1]), 2, 2), nullptr);
    EXPECT_EQ(CreateCompatibleBitmap(nullptr, -1, 2), nullptr);
    EXPECT_EQ(CreateCompatibleBitmap(nullptr, 1 << 20, 1 << 20), nullptr);
    EXPECT_EQ(SetROP2(nullptr, 99), 0);
    DeleteObject(reused);
}

TEST(GdiObjects, AHandleStaysDeadWhenItsSlotIsReused) {
    HPEN dead = CreatePen(PS_SOLID, 1, kRed);
    ASSERT_TRUE(DeleteObject(dead));
    // Churn until the freed slots come round again, then fill them with live pens.
    for (int i = 0; i < 300; ++i) DeleteObject(CreatePen(PS_SOLID, 1, kWhite));
    std::vector<HPEN> live;
    for (int i = 0; i < 300; ++i) live.push_back(CreatePen(PS_SOLID, 1, kWhite));
    EXPECT_EQ(GetObjectType(dead), 0u);
    EXPECT_FALSE(DeleteObject(dead));
    for (HPEN pen : live) {
        EXPECT_NE(pen, dead);
        EXPECT_EQ(GetObjectType(pen), static_cast<DWORD>(OBJ_PEN));
        EXPECT_TRUE(DeleteObject(pen));
    }
}

TEST(GdiObjects, LiveCountFollowsCreationAndDeletion) {
    const int before = cqpLiveObjectCount();
    HDC dc = CreateCompatibleDC(nullptr);
    HPEN pen = CreatePen(PS_SOLID, 1, kRed);
    HBRUSH brush = CreateSolidBrush(kRed);
    LOGFONTA log{};
    HFONT font = CreateFontIndirectA(&log);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 4, 4);
    GetStockObject(WHITE_PEN);  // stock objects are not counted
    EXPECT_EQ(cqpLiveObjectCount(), before + 5);
    DeleteObject(pen);
    DeleteObject(brush);
    DeleteObject(font);
    DeleteObject(bitmap);
    DeleteDC(dc);
    EXPECT_EQ(cqpLiveObjectCount(), before);
}

TEST(GdiObjects, ManyThreadsDrawWithTheirOwnObjectsAtOnce) {
    const int before = cqpLiveObjectCount();
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int n = 0; n < 4; ++n) {
        threads.emplace_back([n, &wrong] {
            for (int i = 0; i < 200; ++i) {
                Canvas canvas(16, 16);
                HBRUSH brush = CreateSolidBrush(RGB(n * 10, i % 256, 7));
                HGDIOBJ old = SelectObject(canvas.dc(), brush);
                PatBlt(canvas.dc(), 0, 0, 16, 16, PATCOPY);
                if (canvas.at(15, 15) != RGB(n * 10, i % 256, 7)) ++wrong[n];
                SelectObject(canvas.dc(), old);
                DeleteObject(brush);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
    EXPECT_EQ(cqpLiveObjectCount(), before);
}

}  // namespace
