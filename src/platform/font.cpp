// Text: one fixed-pitch bitmap font of our own for printable ASCII, drawn at the cell height a
// font's lfHeight asks for, and TextOutA. Any thread; under the library lock.
//
// Each glyph is 5 x 8 dots: rows 0 to 6 reach from the cap line to the baseline, row 7 holds
// descenders. A cell of height H uses the scale k = max(1, H / 9): every dot row becomes k
// pixel rows, the glyph sits at the bottom of the cell, and the cell is 6 pixels wide at
// k = 1 and 5k at larger scales (dot columns k wide, the middle one k - 1, then 1 blank).
#include <algorithm>
#include <cstdlib>

#include "platform/internal.h"

namespace cqp {

namespace {

constexpr int kGlyphColumns = 5;
constexpr int kGlyphRows = 8;

// Printable ASCII from ' ' (0x20) to '~' (0x7E), eight rows of five dots each.
const char* const kGlyphs[95][kGlyphRows] = {
    {".....", ".....", ".....", ".....", ".....", ".....", ".....", "....."},  // ' '
    {"..#..", "..#..", "..#..", "..#..", "..#..", ".....", "..#..", "....."},  // !
    {".#.#.", ".#.#.", ".#.#.", ".....", ".....", ".....", ".....", "....."},  // "
    {".#.#.", ".#.#.", "#####", ".#.#.", "#####", ".#.#.", ".#.#.", "....."},  // #
    {"..#..", ".####", "#.#..", ".###.", "..#.#", "####.", "..#..", "....."},  // $
    {"##...", "##..#", "...#.", "..#..", ".#...", "#..##", "...##", "....."},  // %
    {".##..", "#..#.", "#.#..", ".#...", "#.#.#", "#..#.", ".##.#", "....."},  // &
    {"..#..", "..#..", ".#...", ".....", ".....", ".....", ".....", "....."},  // '
    {"...#.", "..#..", ".#...", ".#...", ".#...", "..#..", "...#.", "....."},  // (
    {".#...", "..#..", "...#.", "...#.", "...#.", "..#..", ".#...", "....."},  // )
    {".....", "..#..", "#.#.#", ".###.", "#.#.#", "..#..", ".....", "....."},  // *
    {".....", "..#..", "..#..", "#####", "..#..", "..#..", ".....", "....."},  // +
    {".....", ".....", ".....", ".....", ".....", ".##..", "..#..", ".#..."},  // ,
    {".....", ".....", ".....", "#####", ".....", ".....", ".....", "....."},  // -
    {".....", ".....", ".....", ".....", ".....", ".##..", ".##..", "....."},  // .
    {".....", "....#", "...#.", "..#..", ".#...", "#....", ".....", "....."},  // /
    {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###.", "....."},  // 0
    {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###.", "....."},  // 1
    {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####", "....."},  // 2
    {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###.", "....."},  // 3
    {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#.", "....."},  // 4
    {"#####", "#....", "####.", "....#", "....#", "#...#", ".###.", "....."},  // 5
    {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###.", "....."},  // 6
    {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#...", "....."},  // 7
    {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###.", "....."},  // 8
    {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##..", "....."},  // 9
    {".....", ".##..", ".##..", ".....", ".##..", ".##..", ".....", "....."},  // :
    {".....", ".##..", ".##..", ".....", ".##..", "..#..", ".#...", "....."},  // ;
    {"...#.", "..#..", ".#...", "#....", ".#...", "..#..", "...#.", "....."},  // <
    {".....", ".....", "#####", ".....", "#####", ".....", ".....", "....."},  // =
    {".#...", "..#..", "...#.", "....#", "...#.", "..#..", ".#...", "....."},  // >
    {".###.", "#...#", "....#", "...#.", "..#..", ".....", "..#..", "....."},  // ?
    {".###.", "#...#", "....#", ".##.#", "#.#.#", "#.#.#", ".###.", "....."},  // @
    {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#", "....."},  // A
    {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####.", "....."},  // B
    {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###.", "....."},  // C
    {"###..", "#..#.", "#...#", "#...#", "#...#", "#..#.", "###..", "....."},  // D
    {"#####", "#....", "#....", "####.", "#....", "#....", "#####", "....."},  // E
    {"#####", "#....", "#....", "####.", "#....", "#....", "#....", "....."},  // F
    {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####", "....."},  // G
    {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#", "....."},  // H
    {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###.", "....."},  // I
    {"..###", "...#.", "...#.", "...#.", "...#.", "#..#.", ".##..", "....."},  // J
    {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#", "....."},  // K
    {"#....", "#....", "#....", "#....", "#....", "#....", "#####", "....."},  // L
    {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#", "....."},  // M
    {"#...#", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "....."},  // N
    {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###.", "....."},  // O
    {"####.", "#...#", "#...#", "####.", "#....", "#....", "#....", "....."},  // P
    {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#", "....."},  // Q
    {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#", "....."},  // R
    {".####", "#....", "#....", ".###.", "....#", "....#", "####.", "....."},  // S
    {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#..", "....."},  // T
    {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###.", "....."},  // U
    {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#..", "....."},  // V
    {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#.", "....."},  // W
    {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#", "....."},  // X
    {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#..", "....."},  // Y
    {"#####", "....#", "...#.", "..#..", ".#...", "#....", "#####", "....."},  // Z
    {".###.", ".#...", ".#...", ".#...", ".#...", ".#...", ".###.", "....."},  // [
    {".....", "#....", ".#...", "..#..", "...#.", "....#", ".....", "....."},  // backslash
    {".###.", "...#.", "...#.", "...#.", "...#.", "...#.", ".###.", "....."},  // ]
    {"..#..", ".#.#.", "#...#", ".....", ".....", ".....", ".....", "....."},  // ^
    {".....", ".....", ".....", ".....", ".....", ".....", ".....", "#####"},  // _
    {".#...", "..#..", "...#.", ".....", ".....", ".....", ".....", "....."},  // `
    {".....", ".....", ".###.", "....#", ".####", "#...#", ".####", "....."},  // a
    {"#....", "#....", "#.##.", "##..#", "#...#", "#...#", "####.", "....."},  // b
    {".....", ".....", ".###.", "#....", "#....", "#...#", ".###.", "....."},  // c
    {"....#", "....#", ".##.#", "#..##", "#...#", "#...#", ".####", "....."},  // d
    {".....", ".....", ".###.", "#...#", "#####", "#....", ".###.", "....."},  // e
    {"..##.", ".#..#", ".#...", "###..", ".#...", ".#...", ".#...", "....."},  // f
    {".....", ".....", ".####", "#...#", "#...#", ".####", "....#", ".###."},  // g
    {"#....", "#....", "#.##.", "##..#", "#...#", "#...#", "#...#", "....."},  // h
    {"..#..", ".....", ".##..", "..#..", "..#..", "..#..", ".###.", "....."},  // i
    {"...#.", ".....", "..##.", "...#.", "...#.", "...#.", "#..#.", ".##.."},  // j
    {"#....", "#....", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "....."},  // k
    {".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###.", "....."},  // l
    {".....", ".....", "##.#.", "#.#.#", "#.#.#", "#...#", "#...#", "....."},  // m
    {".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#", "....."},  // n
    {".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###.", "....."},  // o
    {".....", ".....", "####.", "#...#", "#...#", "####.", "#....", "#...."},  // p
    {".....", ".....", ".####", "#...#", "#...#", ".####", "....#", "....#"},  // q
    {".....", ".....", "#.##.", "##..#", "#....", "#....", "#....", "....."},  // r
    {".....", ".....", ".###.", "#....", ".###.", "....#", "####.", "....."},  // s
    {".#...", ".#...", "###..", ".#...", ".#...", ".#..#", "..##.", "....."},  // t
    {".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#", "....."},  // u
    {".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#..", "....."},  // v
    {".....", ".....", "#...#", "#...#", "#.#.#", "#.#.#", ".#.#.", "....."},  // w
    {".....", ".....", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "....."},  // x
    {".....", ".....", "#...#", "#...#", "#...#", ".####", "....#", ".###."},  // y
    {".....", ".....", "#####", "...#.", "..#..", ".#...", "#####", "....."},  // z
    {"...#.", "..#..", "..#..", ".#...", "..#..", "..#..", "...#.", "....."},  // {
    {"..#..", "..#..", "..#..", "..#..", "..#..", "..#..", "..#..", "....."},  // |
    {".#...", "..#..", "..#..", "...#.", "..#..", "..#..", ".#...", "....."},  // }
    {".....", ".....", ".#...", "#.#.#", "...#.", ".....", ".....", "....."},  // ~
};

}  // namespace

FontMetrics fontMetrics(const LOGFONTA& log) {
    FontMetrics m;
    long height = std::labs(static_cast<long>(log.lfHeight));
    if (height == 0) height = 12;  // the default size for lfHeight 0
    if (height > 1024) height = 1024;
    m.cellHeight = static_cast<int>(height);
    m.scale = std::max(1, m.cellHeight / 9);
    m.cellWidth = m.scale == 1 ? kGlyphColumns + 1 : kGlyphColumns * m.scale;
    return m;
}

namespace {

// The x offsets, within the cell, of the dot columns (and the end of the last one).
void columnEdges(int scale, int edges[kGlyphColumns + 1]) {
    int x = 0;
    for (int c = 0; c < kGlyphColumns; ++c) {
        edges[c] = x;
        x += (scale > 1 && c == kGlyphColumns / 2) ? scale - 1 : scale;
    }
    edges[kGlyphColumns] = x;
}

}  // namespace

void drawText(Target& t, const Dc& dc, const LOGFONTA& log, int x, int y, const char* text,
              int length) {
    const FontMetrics m = fontMetrics(log);
    const long long cellsWidth = static_cast<long long>(m.cellWidth) * length;
    auto clipped = [&](long long left, long long top, long long right, long long bottom) {
        RECT r{static_cast<LONG>(std::max<long long>(left + t.originX, t.clip.left)),
               static_cast<LONG>(std::max<long long>(top + t.originY, t.clip.top)),
               static_cast<LONG>(std::min<long long>(right + t.originX, t.clip.right)),
               static_cast<LONG>(std::min<long long>(bottom + t.originY, t.clip.bottom))};
        return r;
    };
    const RECT cell = clipped(x, y, x + cellsWidth, static_cast<long long>(y) + m.cellHeight);
    if (cell.right <= cell.left || cell.bottom <= cell.top) return;
    // Text ignores the mix mode: the background cell and the glyph dots replace pixels.
    if (dc.bkMode == OPAQUE) {
        const std::uint32_t bk = pixelOf(dc.bkColor);
        for (LONG row = cell.top; row < cell.bottom; ++row) {
            std::fill_n(t.pixels + static_cast<std::size_t>(row) * t.stride + cell.left,
                        cell.right - cell.left, bk);
        }
    }
    const std::uint32_t ink = pixelOf(dc.textColor);
    int edges[kGlyphColumns + 1];
    columnEdges(m.scale, edges);
    const int glyphTop = std::max(0, m.cellHeight - kGlyphRows * m.scale);
    // Only the characters whose cells meet the clip are looked at.
    const long long hidden = (static_cast<long long>(cell.left) - t.originX - x) / m.cellWidth;
    for (long long i = std::max(0LL, hidden); i < length; ++i) {
        const long long cellLeft = x + i * m.cellWidth;
        if (cellLeft + t.originX >= cell.right) break;
        if (cellLeft + m.cellWidth + t.originX <= cell.left) continue;
        unsigned char ch = static_cast<unsigned char>(text[i]);
        if (ch < 0x20 || ch > 0x7E) ch = '?';  // no glyph: the default character
        const char* const* glyph = kGlyphs[ch - 0x20];
        for (int r = 0; r < kGlyphRows; ++r) {
            for (int c = 0; c < kGlyphColumns; ++c) {
                if (glyph[r][c] != '#') continue;
                const long long top = static_cast<long long>(y) + glyphTop + r * m.scale;
                const RECT dot = clipped(
                    cellLeft + edges[c], top, cellLeft + edges[c + 1],
                    std::min<long long>(top + m.scale, static_cast<long long>(y) + m.cellHeight));
                for (LONG py = dot.top; py < dot.bottom; ++py) {
                    std::fill_n(t.pixels + static_cast<std::size_t>(py) * t.stride + dot.left,
                                std::max<LONG>(0, dot.right - dot.left), ink);
                }
            }
        }
    }
    markDirty(t, cell);
}

}  // namespace cqp

WIN32API BOOL WINAPI TextOutA(HDC dc, int x, int y, LPCSTR text, int length) {
    if (length < 0 || (text == nullptr && length > 0)) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::Dc* d = s.table.find<cqp::Dc>(dc, cqp::Kind::Dc);
    cqp::Target t;
    if (d == nullptr || !cqp::resolveTargetLocked(s, *d, t)) {
        cqp::setError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const cqp::Font* font = s.table.find<cqp::Font>(d->font, cqp::Kind::Font);
    if (font == nullptr) {
        cqp::setError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (length > 0) cqp::drawText(t, *d, font->log, x, y, text, length);
    return TRUE;
}

WIN32API BOOL WINAPI GetTextExtentPoint32A(HDC dc, LPCSTR text, int length, LPSIZE size) {
    if (length < 0 || size == nullptr || (text == nullptr && length > 0)) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    const cqp::Dc* d = s.table.find<cqp::Dc>(dc, cqp::Kind::Dc);
    const cqp::Font* font =
        d != nullptr ? s.table.find<cqp::Font>(d->font, cqp::Kind::Font) : nullptr;
    if (font == nullptr) {
        cqp::setError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // One fixed-pitch cell per character, as TextOutA draws them.
    const cqp::FontMetrics m = cqp::fontMetrics(font->log);
    size->cx = m.cellWidth * length;
    size->cy = m.cellHeight;
    return TRUE;
}
