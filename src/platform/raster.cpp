// The software rasteriser: lines, rectangles, block transfers and pixel read-back, with the
// pixel rules of Windows GDI for one-pixel cosmetic pens. Any thread; under the library lock.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/internal.h"

namespace cqp {

namespace {

RECT intersect(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

bool isEmpty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

// Binary raster operation (R2_*): bit (2 x pen + destination) of (mode - 1) is the result.
std::uint32_t applyRop2(int mode, std::uint32_t pen, std::uint32_t dest) {
    const unsigned table = static_cast<unsigned>(mode - 1);
    std::uint32_t result = 0;
    if (table & 1u) result |= ~pen & ~dest;
    if (table & 2u) result |= ~pen & dest;
    if (table & 4u) result |= pen & ~dest;
    if (table & 8u) result |= pen & dest;
    return result & 0x00FFFFFFu;
}

// Ternary raster operation: bit (4 x pattern + 2 x source + destination) of the code byte.
std::uint32_t applyRop3(unsigned code, std::uint32_t pattern, std::uint32_t source,
                        std::uint32_t dest) {
    std::uint32_t result = 0;
    for (unsigned i = 0; i < 8; ++i) {
        if (((code >> i) & 1u) == 0) continue;
        const std::uint32_t p = (i & 4u) ? pattern : ~pattern;
        const std::uint32_t s = (i & 2u) ? source : ~source;
        const std::uint32_t d = (i & 1u) ? dest : ~dest;
        result |= p & s & d;
    }
    return result & 0x00FFFFFFu;
}

bool ropUsesSource(unsigned code) {
    return ((code >> 2) & 0x33u) != (code & 0x33u);
}
bool ropUsesPattern(unsigned code) {
    return ((code >> 4) & 0x0Fu) != (code & 0x0Fu);
}

// Plots one pixel in DC coordinates with the DC's mix mode, if inside the clip; false when
// outside. The coordinates are a line's, which may lie anywhere an int reaches.
inline bool plot(Target& t, long long x, long long y, std::uint32_t color, int rop2) {
    const long long sx = x + t.originX;
    const long long sy = y + t.originY;
    if (sx < t.clip.left || sx >= t.clip.right || sy < t.clip.top || sy >= t.clip.bottom) {
        return false;
    }
    std::uint32_t& pixel =
        t.pixels[static_cast<std::size_t>(sy) * static_cast<std::size_t>(t.stride) +
                 static_cast<std::size_t>(sx)];
    pixel = applyRop2(rop2, color, pixel);
    return true;
}

// Fills [left, right) x [top, bottom) in DC coordinates.
void fillRect(Target& t, int left, int top, int right, int bottom, std::uint32_t color, int rop2) {
    RECT area{left + t.originX, top + t.originY, right + t.originX, bottom + t.originY};
    area = intersect(area, t.clip);
    if (isEmpty(area)) return;
    for (LONG y = area.top; y < area.bottom; ++y) {
        std::uint32_t* row = t.pixels + static_cast<std::size_t>(y) * t.stride;
        for (LONG x = area.left; x < area.right; ++x) row[x] = applyRop2(rop2, color, row[x]);
    }
    markDirty(t, area);
}

// The pen's colour, or false for a null pen.
bool penColor(State& s, const Dc& dc, std::uint32_t& color) {
    const Pen* pen = s.table.find<Pen>(dc.pen, Kind::Pen);
    if (pen == nullptr || pen->log.lopnStyle == PS_NULL) return false;
    color = pixelOf(pen->log.lopnColor);
    return true;
}

bool brushColor(State& s, const Dc& dc, std::uint32_t& color) {
    const Brush* brush = s.table.find<Brush>(dc.brush, Kind::Brush);
    if (brush == nullptr || brush->log.lbStyle != BS_SOLID) return false;
    color = pixelOf(brush->log.lbColor);
    return true;
}

// a x b / den rounded to the nearest integer, a tie toward +infinity when tieUp, else toward
// -infinity; exact for |a|, b, den < 2^33 (b >= 0, den > 0), the range of differences of two
// ints. b is taken in two parts so that no intermediate value exceeds 2^51.
long long roundMulDiv(long long a, long long b, long long den, bool tieUp) {
    const bool negative = a < 0;
    const auto m = static_cast<unsigned long long>(negative ? -a : a);
    const auto d = static_cast<unsigned long long>(den);
    const auto high = static_cast<unsigned long long>(b) >> 17;
    const auto low = static_cast<unsigned long long>(b) & 0x1FFFFu;
    // m x b / d = (m x high / d) x 2^17 + (remainder x 2^17 + m x low) / d
    unsigned long long q = m * high / d;
    const unsigned long long rest = ((m * high % d) << 17) + m * low;
    q = (q << 17) + rest / d;
    const unsigned long long twiceR = 2 * (rest % d);
    // The magnitude q + r/d goes up on more than a half, and on exactly a half when that is
    // the tie's direction.
    if (twiceR > d || (twiceR == d && tieUp != negative)) ++q;
    return negative ? -static_cast<long long>(q) : static_cast<long long>(q);
}

// For a start `from`, a direction `step` (1 or -1) and `count` steps: the steps i in
// [first, last) with low <= from + i * step < high (first == last when there are none).
void stepsInside(long long from, int step, long long count, long long low, long long high,
                 long long& first, long long& last) {
    if (step > 0) {
        first = std::max(0LL, low - from);
        last = std::min(count, high - from);
    } else {
        first = std::max(0LL, from - high + 1);
        last = std::min(count, from - low + 1);
    }
    if (last < first) last = first;
}

// A vertical (`vertical`) or horizontal line of `count` pixels from (x0, y0) in DC
// coordinates, one pixel per step of `step` along its axis: the pixels drawLine's walk
// plots for such a line, without its per-step rounding. The display draws nothing but these,
// about two thousand a refresh.
void drawAxisLine(Target& t, long long x0, long long y0, bool vertical, int step, long long count,
                  std::uint32_t color, int rop2) {
    long long sx = x0 + t.originX;
    long long sy = y0 + t.originY;
    // The fixed coordinate must lie inside the clip; the moving one is cut to it.
    const long long fixed = vertical ? sx : sy;
    if (fixed < (vertical ? t.clip.left : t.clip.top) ||
        fixed >= (vertical ? t.clip.right : t.clip.bottom)) {
        return;
    }
    const long long from = vertical ? sy : sx;
    const long long low = vertical ? t.clip.top : t.clip.left;
    const long long high = vertical ? t.clip.bottom : t.clip.right;
    long long first = 0;
    long long last = 0;
    stepsInside(from, step, count, low, high, first, last);
    if (last == first) return;
    // The pixels [lowest, highest] along the axis, walked from the lower end.
    const long long a = from + first * step;
    const long long b = from + (last - 1) * step;
    const long long lowest = std::min(a, b);
    const long long highest = std::max(a, b);
    const std::size_t stride = static_cast<std::size_t>(t.stride);
    std::uint32_t* pixel =
        vertical
            ? t.pixels + static_cast<std::size_t>(lowest) * stride + static_cast<std::size_t>(sx)
            : t.pixels + static_cast<std::size_t>(sy) * stride + static_cast<std::size_t>(lowest);
    const std::size_t advance = vertical ? stride : 1;
    const std::size_t pixels = static_cast<std::size_t>(highest - lowest + 1);
    if (rop2 == R2_COPYPEN) {
        const std::uint32_t value = color & 0x00FFFFFFu;
        for (std::size_t i = 0; i < pixels; ++i, pixel += advance) *pixel = value;
    } else {
        for (std::size_t i = 0; i < pixels; ++i, pixel += advance) {
            *pixel = applyRop2(rop2, color, *pixel);
        }
    }
    const auto lo = static_cast<LONG>(lowest);
    const auto hi = static_cast<LONG>(highest + 1);
    markDirty(t, vertical ? RECT{static_cast<LONG>(sx), lo, static_cast<LONG>(sx) + 1, hi}
                          : RECT{lo, static_cast<LONG>(sy), hi, static_cast<LONG>(sy) + 1});
}

// A cosmetic line from (x0, y0) to (x1, y1), the end point excluded. Pixels are those whose
// diamond the ideal line leaves: along the major axis one pixel per step, the minor coordinate
// rounded to the nearest pixel; an exact tie goes to the smaller y on x-major lines and to the
// larger x on y-major lines (the diamonds own their bottom... corner toward -y and +x).
void drawLine(Target& t, int x0, int y0, int x1, int y1, std::uint32_t color, int rop2) {
    const long long dx = static_cast<long long>(x1) - x0;
    const long long dy = static_cast<long long>(y1) - y0;
    const long long adx = dx < 0 ? -dx : dx;
    const long long ady = dy < 0 ? -dy : dy;
    if (adx == 0 && ady == 0) return;
    if (adx == 0 || ady == 0) {
        drawAxisLine(t, x0, y0, adx == 0, (adx == 0 ? dy : dx) > 0 ? 1 : -1, adx + ady, color,
                     rop2);
        return;
    }
    RECT dirty{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    // Only pixels inside the clip widen the dirty area (their coordinates are small).
    auto touch = [&](long long x, long long y) {
        if (!plot(t, x, y, color, rop2)) return;
        const auto sx = static_cast<LONG>(x + t.originX);
        const auto sy = static_cast<LONG>(y + t.originY);
        dirty.left = std::min<LONG>(dirty.left, sx);
        dirty.top = std::min<LONG>(dirty.top, sy);
        dirty.right = std::max<LONG>(dirty.right, sx + 1);
        dirty.bottom = std::max<LONG>(dirty.bottom, sy + 1);
    };
    // Long lines are walked only over the steps whose major coordinate lies inside the clip.
    const auto majorRange = stepsInside;
    if (adx >= ady) {
        const int step = dx > 0 ? 1 : -1;
        long long first = 0;
        long long last = 0;
        majorRange(x0, step, adx, t.clip.left - t.originX, t.clip.right - t.originX, first, last);
        for (long long i = first; i < last; ++i) {
            const long long y = y0 + roundMulDiv(dy, i, adx, false);
            touch(x0 + i * step, y);
        }
    } else {
        const int step = dy > 0 ? 1 : -1;
        long long first = 0;
        long long last = 0;
        majorRange(y0, step, ady, t.clip.top - t.originY, t.clip.bottom - t.originY, first, last);
        for (long long i = first; i < last; ++i) {
            const long long x = x0 + roundMulDiv(dx, i, ady, true);
            touch(x, y0 + i * step);
        }
    }
    if (dirty.left < dirty.right) markDirty(t, dirty);
}

}  // namespace

void markDirty(Target& t, const RECT& area) {
    if (t.surface == nullptr || isEmpty(area)) return;
    ++t.surface->drawCount;
    RECT& d = t.surface->dirty;
    if (isEmpty(d)) {
        d = area;
    } else {
        d = RECT{std::min(d.left, area.left), std::min(d.top, area.top),
                 std::max(d.right, area.right), std::max(d.bottom, area.bottom)};
    }
}

Window* findWindowLocked(State& s, HWND window) {
    Window* w = s.table.find<Window>(window, Kind::Window);
    return w;
}

Window* windowOrErrorLocked(State& s, HWND window) {
    Window* w = findWindowLocked(s, window);
    if (w == nullptr) setError(ERROR_INVALID_WINDOW_HANDLE);
    return w;
}

Window* topLevelOf(State& s, Window* window, int& offsetX, int& offsetY, RECT& clip) {
    offsetX = 0;
    offsetY = 0;
    clip = RECT{0, 0, window->width, window->height};
    Window* w = window;
    while (hasLibraryParent(*w)) {
        Window* parent = findWindowLocked(s, w->parent);
        if (parent == nullptr) return nullptr;
        offsetX += w->x;
        offsetY += w->y;
        // Clip to the parent's client area, in the coordinates of `window`.
        RECT parentArea{-offsetX, -offsetY, parent->width - offsetX, parent->height - offsetY};
        clip = intersect(clip, parentArea);
        w = parent;
    }
    return w->surface ? w : nullptr;
}

bool resolveTargetLocked(State& s, Dc& dc, Target& t) {
    if (dc.memory) {
        Bitmap* bitmap = s.table.find<Bitmap>(dc.bitmap, Kind::Bitmap);
        if (bitmap == nullptr) return false;
        t.pixels = bitmap->pixels.data();
        t.stride = bitmap->width;
        t.width = bitmap->width;
        t.height = bitmap->height;
        t.originX = 0;
        t.originY = 0;
        t.clip = RECT{0, 0, bitmap->width, bitmap->height};
        t.surface = nullptr;
        return true;
    }
    Window* window = findWindowLocked(s, dc.window);
    if (window == nullptr) return false;
    int ox = 0;
    int oy = 0;
    RECT clip{};
    Window* top = topLevelOf(s, window, ox, oy, clip);
    if (top == nullptr) return false;
    if (dc.paintDc) clip = intersect(clip, dc.paintClip);
    Surface& surface = *top->surface;
    t.pixels = surface.pixels.data();
    t.stride = surface.width;
    t.width = surface.width;
    t.height = surface.height;
    t.originX = ox;
    t.originY = oy;
    t.clip = intersect(RECT{clip.left + ox, clip.top + oy, clip.right + ox, clip.bottom + oy},
                       RECT{0, 0, surface.width, surface.height});
    t.surface = &surface;
    return true;
}

}  // namespace cqp

using cqp::Kind;

namespace {

// Runs a drawing action on a DC's target under the lock; fails cleanly on a bad handle.
template <class F>
BOOL withTarget(HDC dc, F&& action) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::Dc* d = s.table.find<cqp::Dc>(dc, Kind::Dc);
    cqp::Target target;
    if (d == nullptr || !cqp::resolveTargetLocked(s, *d, target)) {
        cqp::setError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return action(s, *d, target);
}

// Coordinates far outside any surface draw nothing there, so they are pulled in to a range in
// which the edge arithmetic below (right - left, left + 1, origin offsets) cannot overflow.
constexpr int kFarCoordinate = 1 << 27;
int pullIn(long long value) {
    return static_cast<int>(std::clamp<long long>(value, -kFarCoordinate, kFarCoordinate));
}

// The block [x, x + width) x [y, y + height) in surface coordinates (an origin added), its
// edges summed in 64 bits and then pulled in: a far edge only ever lies outside the clip.
RECT blockArea(long long x, long long y, long long width, long long height, int originX,
               int originY) {
    return RECT{pullIn(x + originX), pullIn(y + originY), pullIn(x + width + originX),
                pullIn(y + height + originY)};
}

// The two ends of a block transfer, resolved under the lock: the destination's device context,
// or null (the last error set) when either end is not one that can be drawn on or read.
cqp::Dc* transferEndsLocked(cqp::State& s, HDC dest, HDC source, cqp::Target& dt, cqp::Target& st) {
    cqp::Dc* dd = s.table.find<cqp::Dc>(dest, Kind::Dc);
    cqp::Dc* sd = s.table.find<cqp::Dc>(source, Kind::Dc);
    if (dd == nullptr || sd == nullptr || !cqp::resolveTargetLocked(s, *dd, dt) ||
        !cqp::resolveTargetLocked(s, *sd, st)) {
        cqp::setError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return dd;
}

}  // namespace

WIN32API BOOL WINAPI LineTo(HDC dc, int x, int y) {
    return withTarget(dc, [&](cqp::State& s, cqp::Dc& d, cqp::Target& t) {
        std::uint32_t color;
        if (cqp::penColor(s, d, color)) {
            cqp::drawLine(t, d.position.x, d.position.y, x, y, color, d.rop2);
        }
        d.position = POINT{x, y};
        return TRUE;
    });
}

WIN32API BOOL WINAPI Rectangle(HDC dc, int left, int top, int right, int bottom) {
    left = pullIn(left);
    top = pullIn(top);
    right = pullIn(right);
    bottom = pullIn(bottom);
    return withTarget(dc, [&](cqp::State& s, cqp::Dc& d, cqp::Target& t) {
        if (left > right) std::swap(left, right);
        if (top > bottom) std::swap(top, bottom);
        std::uint32_t pen = 0;
        std::uint32_t brush = 0;
        const bool hasPen = cqp::penColor(s, d, pen);
        const bool hasBrush = cqp::brushColor(s, d, brush);
        // The outline runs along left..right-1 and top..bottom-1; the interior inside it. With
        // no pen the fill takes the outline's place at the left and top only, so it stops one
        // pixel short of right and bottom.
        if (hasPen) {
            if (right - left >= 1 && bottom - top >= 1) {
                cqp::fillRect(t, left, top, right, top + 1, pen, d.rop2);
                if (bottom - top >= 2) {
                    cqp::fillRect(t, left, bottom - 1, right, bottom, pen, d.rop2);
                    cqp::fillRect(t, left, top + 1, left + 1, bottom - 1, pen, d.rop2);
                    if (right - left >= 2) {
                        cqp::fillRect(t, right - 1, top + 1, right, bottom - 1, pen, d.rop2);
                    }
                }
            }
            if (hasBrush) cqp::fillRect(t, left + 1, top + 1, right - 1, bottom - 1, brush, d.rop2);
        } else if (hasBrush) {
            cqp::fillRect(t, left, top, right - 1, bottom - 1, brush, d.rop2);
        }
        return TRUE;
    });
}

WIN32API BOOL WINAPI PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop) {
    const unsigned code = (rop >> 16) & 0xFFu;
    if (cqp::ropUsesSource(code)) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // A negative extent reaches left or up from (x, y).
    long long left = x;
    long long top = y;
    const long long across = width < 0 ? -static_cast<long long>(width) : width;
    const long long down = height < 0 ? -static_cast<long long>(height) : height;
    if (width < 0) left -= across;
    if (height < 0) top -= down;
    return withTarget(dc, [&](cqp::State& s, cqp::Dc& d, cqp::Target& t) {
        std::uint32_t pattern = 0;
        if (cqp::ropUsesPattern(code) && !cqp::brushColor(s, d, pattern)) {
            return TRUE;  // a null brush paints nothing
        }
        const RECT area =
            cqp::intersect(blockArea(left, top, across, down, t.originX, t.originY), t.clip);
        for (LONG row = area.top; row < area.bottom; ++row) {
            std::uint32_t* line = t.pixels + static_cast<std::size_t>(row) * t.stride;
            // Clearing and pattern fills replace the pixels outright (a whole view per tick).
            if (code == 0x00 || code == 0xFF || code == 0xF0) {
                const std::uint32_t fill = code == 0x00 ? 0u : code == 0xFF ? 0x00FFFFFFu : pattern;
                // Black (a display cleared before each picture) as one memset: a loop of
                // 32-bit stores took several times as long for a whole view.
                if (fill == 0) {
                    std::memset(line + area.left, 0,
                                static_cast<std::size_t>(area.right - area.left) * sizeof *line);
                } else {
                    std::fill(line + area.left, line + area.right, fill);
                }
                continue;
            }
            for (LONG col = area.left; col < area.right; ++col) {
                line[col] = cqp::applyRop3(code, pattern, 0, line[col]);
            }
        }
        cqp::markDirty(t, area);
        return TRUE;
    });
}

WIN32API BOOL WINAPI BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX,
                            int sourceY, DWORD rop) {
    const unsigned code = (rop >> 16) & 0xFFu;
    if (!cqp::ropUsesSource(code)) return PatBlt(dest, x, y, width, height, rop);
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::Target dt;
    cqp::Target st;
    cqp::Dc* dd = transferEndsLocked(s, dest, source, dt, st);
    if (dd == nullptr) return FALSE;
    if (width <= 0 || height <= 0) return TRUE;
    std::uint32_t pattern = 0;
    if (cqp::ropUsesPattern(code)) cqp::brushColor(s, *dd, pattern);
    // Destination pixels whose source lies outside the source's area are left alone. The
    // source is `shift` away from the destination, in surface coordinates.
    RECT area = cqp::intersect(blockArea(x, y, width, height, dt.originX, dt.originY), dt.clip);
    const long long shiftX = static_cast<long long>(sourceX) + st.originX - x - dt.originX;
    const long long shiftY = static_cast<long long>(sourceY) + st.originY - y - dt.originY;
    const RECT fromSource =
        blockArea(st.clip.left - shiftX, st.clip.top - shiftY, st.clip.right - st.clip.left,
                  st.clip.bottom - st.clip.top, 0, 0);
    area = cqp::intersect(area, fromSource);
    if (cqp::isEmpty(area)) return TRUE;
    const int w = area.right - area.left;
    const int h = area.bottom - area.top;
    // A transfer within one surface may overlap itself, so it reads from a copy taken first;
    // between two surfaces (every paint of a view from its back buffer) rows go straight across.
    const std::uint32_t* origin = st.pixels;
    std::size_t originStride = static_cast<std::size_t>(st.stride);
    // Inside the source's clip, so within int.
    int originX = static_cast<int>(area.left + shiftX);
    int originY = static_cast<int>(area.top + shiftY);
    std::vector<std::uint32_t> copy;
    if (st.pixels == dt.pixels) {
        copy.resize(static_cast<std::size_t>(w) * h);
        for (int row = 0; row < h; ++row) {
            std::memcpy(&copy[static_cast<std::size_t>(row) * w],
                        st.pixels + static_cast<std::size_t>(originY + row) * st.stride + originX,
                        sizeof(std::uint32_t) * w);
        }
        origin = copy.data();
        originStride = static_cast<std::size_t>(w);
        originX = 0;
        originY = 0;
    }
    for (int row = 0; row < h; ++row) {
        std::uint32_t* to =
            dt.pixels + static_cast<std::size_t>(area.top + row) * dt.stride + area.left;
        const std::uint32_t* from =
            origin + static_cast<std::size_t>(originY + row) * originStride + originX;
        if (code == 0xCC) {
            std::memcpy(to, from, sizeof(std::uint32_t) * w);
        } else {
            for (int col = 0; col < w; ++col)
                to[col] = cqp::applyRop3(code, pattern, from[col], to[col]);
        }
    }
    cqp::markDirty(dt, area);
    return TRUE;
}

// The subset a display needs to show its picture enlarged: a plain copy (SRCCOPY) between two
// different surfaces, each source pixel becoming a whole block of destination pixels (the
// destination size a whole multiple of the source size, across and down). Anything else is
// refused with ERROR_INVALID_PARAMETER rather than drawn differently from Windows.
WIN32API BOOL WINAPI StretchBlt(HDC dest, int x, int y, int width, int height, HDC source,
                                int sourceX, int sourceY, int sourceWidth, int sourceHeight,
                                DWORD rop) {
    if (width == sourceWidth && height == sourceHeight)
        return BitBlt(dest, x, y, width, height, source, sourceX, sourceY, rop);
    if (rop != SRCCOPY || sourceWidth <= 0 || sourceHeight <= 0 || width <= 0 || height <= 0 ||
        width % sourceWidth != 0 || height % sourceHeight != 0) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int across = width / sourceWidth;
    const int down = height / sourceHeight;
    cqp::Target dt;
    cqp::Target st;
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (transferEndsLocked(s, dest, source, dt, st) == nullptr) return FALSE;
    if (st.pixels == dt.pixels) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const RECT area =
        cqp::intersect(blockArea(x, y, width, height, dt.originX, dt.originY), dt.clip);
    if (cqp::isEmpty(area)) return TRUE;
    // Destination pixels whose source pixel lies outside the source's area are left alone.
    for (LONG row = area.top; row < area.bottom; ++row) {
        const long long fromRow = static_cast<long long>(sourceY) +
                                  (static_cast<long long>(row) - dt.originY - y) / down +
                                  st.originY;
        if (fromRow < st.clip.top || fromRow >= st.clip.bottom) continue;
        std::uint32_t* to = dt.pixels + static_cast<std::size_t>(row) * dt.stride;
        const std::uint32_t* from = st.pixels + static_cast<std::size_t>(fromRow) * st.stride;
        for (LONG col = area.left; col < area.right; ++col) {
            const long long fromCol = static_cast<long long>(sourceX) +
                                      (static_cast<long long>(col) - dt.originX - x) / across +
                                      st.originX;
            if (fromCol >= st.clip.left && fromCol < st.clip.right) to[col] = from[fromCol];
        }
    }
    cqp::markDirty(dt, area);
    return TRUE;
}

WIN32API COLORREF WINAPI GetPixel(HDC dc, int x, int y) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::Dc* d = s.table.find<cqp::Dc>(dc, Kind::Dc);
    cqp::Target t;
    if (d == nullptr || !cqp::resolveTargetLocked(s, *d, t)) {
        cqp::setError(ERROR_INVALID_HANDLE);
        return CLR_INVALID;
    }
    const int sx = x + t.originX;
    const int sy = y + t.originY;
    if (sx < t.clip.left || sx >= t.clip.right || sy < t.clip.top || sy >= t.clip.bottom) {
        return CLR_INVALID;
    }
    return cqp::colorOf(t.pixels[static_cast<std::size_t>(sy) * t.stride + sx]);
}

WIN32API int WINAPI GetDIBits(HDC dc, HBITMAP bitmap, UINT startScan, UINT scanLines, LPVOID bits,
                              BITMAPINFO* info, UINT usage) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::Bitmap* b = s.table.find<cqp::Bitmap>(bitmap, Kind::Bitmap);
    if (s.table.find<cqp::Dc>(dc, Kind::Dc) == nullptr || b == nullptr) {
        cqp::setError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (info == nullptr || usage != DIB_RGB_COLORS ||
        info->bmiHeader.biSize < sizeof(BITMAPINFOHEADER)) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    BITMAPINFOHEADER& header = info->bmiHeader;
    if (bits == nullptr) {
        // Describe the bitmap in its own format.
        header.biWidth = b->width;
        header.biHeight = b->height;
        header.biPlanes = 1;
        header.biBitCount = 32;
        header.biCompression = BI_RGB;
        header.biSizeImage = static_cast<DWORD>(b->width) * static_cast<DWORD>(b->height) * 4u;
        return b->height;
    }
    // Only 32-bit uncompressed rows of the bitmap's width are written.
    if (header.biBitCount != 32 || header.biCompression != BI_RGB || header.biWidth != b->width ||
        header.biPlanes != 1) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const bool topDown = header.biHeight < 0;
    const long long height = topDown ? -static_cast<long long>(header.biHeight) : header.biHeight;
    if (height != b->height) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (startScan >= static_cast<UINT>(b->height)) return 0;
    const UINT lines = std::min<UINT>(scanLines, static_cast<UINT>(b->height) - startScan);
    auto* out = static_cast<std::uint32_t*>(bits);
    for (UINT i = 0; i < lines; ++i) {
        // Scan lines count from the top of a top-down DIB and from the bottom otherwise.
        const UINT scan = startScan + i;
        const UINT row = topDown ? scan : static_cast<UINT>(b->height) - 1 - scan;
        std::memcpy(out + static_cast<std::size_t>(i) * b->width,
                    b->pixels.data() + static_cast<std::size_t>(row) * b->width,
                    sizeof(std::uint32_t) * b->width);
    }
    return static_cast<int>(lines);
}
