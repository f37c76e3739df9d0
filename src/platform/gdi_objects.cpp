// GDI objects: stock objects, pens, brushes, fonts, bitmaps and memory DCs, selection and
// deletion. Any thread may call these; the library lock guards the table.
//
// Deleting an object that is selected into a DC fails (FALSE) and leaves it usable, as
// Windows does for bitmaps; pens, brushes and fonts follow the same rule here, so a caller
// must select the object out (or delete the DC) first. Stock objects ignore DeleteObject.
#include <cstring>

#include "platform/internal.h"

namespace cqp {

namespace {

LOGFONTA stockFont(LONG height, LONG width, LONG weight, BYTE charSet, BYTE pitchAndFamily,
                   const char* face) {
    LOGFONTA font{};
    font.lfHeight = height;
    font.lfWidth = width;
    font.lfWeight = weight;
    font.lfCharSet = charSet;
    font.lfOutPrecision = OUT_STRING_PRECIS;
    font.lfClipPrecision = CLIP_STROKE_PRECIS;
    font.lfQuality = 1;  // DRAFT_QUALITY, as the raster stock fonts report
    font.lfPitchAndFamily = pitchAndFamily;
    std::strncpy(font.lfFaceName, face, LF_FACESIZE - 1);
    return font;
}

HGDIOBJ addStock(State& s, std::unique_ptr<Object> object) {
    object->stock = true;
    return s.table.add(std::move(object));
}

HGDIOBJ stockBrush(State& s, UINT style, COLORREF color) {
    auto brush = std::make_unique<Brush>();
    brush->log.lbStyle = style;
    brush->log.lbColor = color;
    return addStock(s, std::move(brush));
}

HGDIOBJ stockPen(State& s, UINT style, COLORREF color) {
    auto pen = std::make_unique<Pen>();
    pen->log.lopnStyle = style;
    pen->log.lopnWidth.x = 1;
    pen->log.lopnColor = color;
    return addStock(s, std::move(pen));
}

HGDIOBJ stockFontObject(State& s, const LOGFONTA& log) {
    auto font = std::make_unique<Font>();
    font->log = log;
    return addStock(s, std::move(font));
}

bool isSelectedLocked(State& s, HGDIOBJ object) {
    bool selected = false;
    s.table.forEach([&](void*, Object* o) {
        if (o->kind != Kind::Dc) return;
        const Dc* dc = static_cast<const Dc*>(o);
        if (dc->pen == object || dc->brush == object || dc->font == object ||
            dc->bitmap == object) {
            selected = true;
        }
    });
    return selected;
}

void initDcDefaults(State& s, Dc& dc) {
    dc.pen = static_cast<HPEN>(s.stock[BLACK_PEN]);
    dc.brush = static_cast<HBRUSH>(s.stock[WHITE_BRUSH]);
    dc.font = static_cast<HFONT>(s.stock[SYSTEM_FONT]);
}

}  // namespace

void ensureStockLocked(State& s) {
    if (s.stock[WHITE_BRUSH] != nullptr) return;
    s.stock[WHITE_BRUSH] = stockBrush(s, BS_SOLID, RGB(255, 255, 255));
    s.stock[LTGRAY_BRUSH] = stockBrush(s, BS_SOLID, RGB(192, 192, 192));
    s.stock[GRAY_BRUSH] = stockBrush(s, BS_SOLID, RGB(128, 128, 128));
    s.stock[DKGRAY_BRUSH] = stockBrush(s, BS_SOLID, RGB(64, 64, 64));
    s.stock[BLACK_BRUSH] = stockBrush(s, BS_SOLID, RGB(0, 0, 0));
    s.stock[NULL_BRUSH] = stockBrush(s, BS_NULL, 0);
    s.stock[WHITE_PEN] = stockPen(s, PS_SOLID, RGB(255, 255, 255));
    s.stock[BLACK_PEN] = stockPen(s, PS_SOLID, RGB(0, 0, 0));
    s.stock[NULL_PEN] = stockPen(s, PS_NULL, 0);
    s.stock[OEM_FIXED_FONT] = stockFontObject(
        s, stockFont(12, 8, FW_NORMAL, 255 /* OEM_CHARSET */, FIXED_PITCH | FF_MODERN, "Terminal"));
    s.stock[ANSI_FIXED_FONT] = stockFontObject(
        s, stockFont(12, 9, FW_NORMAL, ANSI_CHARSET, FIXED_PITCH | FF_MODERN, "Courier"));
    s.stock[ANSI_VAR_FONT] = stockFontObject(
        s, stockFont(12, 9, FW_NORMAL, ANSI_CHARSET, VARIABLE_PITCH | FF_SWISS, "MS Sans Serif"));
    s.stock[SYSTEM_FONT] = stockFontObject(
        s, stockFont(16, 7, FW_BOLD, ANSI_CHARSET, VARIABLE_PITCH | FF_SWISS, "System"));
    LOGFONTA gui = stockFont(-11, 0, FW_NORMAL, 1 /* DEFAULT_CHARSET */, 0, "MS Shell Dlg");
    gui.lfOutPrecision = OUT_DEFAULT_PRECIS;
    gui.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    gui.lfQuality = DEFAULT_QUALITY;
    s.stock[DEFAULT_GUI_FONT] = stockFontObject(s, gui);
    auto bitmap = std::make_unique<Bitmap>();
    bitmap->width = 1;
    bitmap->height = 1;
    bitmap->pixels.assign(1, 0);
    s.defaultBitmap = static_cast<HBITMAP>(addStock(s, std::move(bitmap)));
}

HGDIOBJ stockObjectLocked(State& s, int index) {
    ensureStockLocked(s);
    if (index < 0 || index >= static_cast<int>(sizeof(s.stock) / sizeof(s.stock[0]))) {
        return nullptr;
    }
    return s.stock[index];
}

HDC createDcLocked(State& s, bool memory, HWND window) {
    ensureStockLocked(s);
    auto dc = std::make_unique<Dc>();
    dc->memory = memory;
    dc->window = window;
    initDcDefaults(s, *dc);
    Dc* raw = dc.get();
    HDC handle = static_cast<HDC>(s.table.add(std::move(dc)));
    if (handle == nullptr) {
        setError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (memory) {
        raw->bitmap = s.defaultBitmap;
    }
    return handle;
}

HDC createWindowDcLocked(State& s, HWND window) {
    return createDcLocked(s, false, window);
}

void freeDcLocked(State& s, HDC handle) {
    Dc* dc = s.table.find<Dc>(handle, Kind::Dc);
    if (dc == nullptr) return;
    if (dc->memory) {
        if (Bitmap* bitmap = s.table.find<Bitmap>(dc->bitmap, Kind::Bitmap)) {
            if (bitmap->selectedInto == handle) bitmap->selectedInto = nullptr;
        }
    }
    s.table.remove(handle);
}

}  // namespace cqp

using cqp::Kind;

WIN32API HGDIOBJ WINAPI GetStockObject(int object) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    HGDIOBJ handle = cqp::stockObjectLocked(s, object);
    if (handle == nullptr) cqp::setError(ERROR_INVALID_PARAMETER);
    return handle;
}

WIN32API HPEN WINAPI CreatePen(int style, int width, COLORREF color) {
    LOGPEN log{};
    log.lopnStyle = static_cast<UINT>(style);
    log.lopnWidth.x = width;
    log.lopnColor = color;
    return CreatePenIndirect(&log);
}

WIN32API HPEN WINAPI CreatePenIndirect(const LOGPEN* log) {
    // Solid, dashed and inside-frame styles (0 to 6) are accepted; all draw as solid lines
    // one pixel wide, the only kind the display uses.
    if (log == nullptr || log->lopnStyle > 6) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto pen = std::make_unique<cqp::Pen>();
    pen->log = *log;
    pen->log.lopnColor &= 0x00FFFFFF;
    if (pen->log.lopnWidth.x < 0) pen->log.lopnWidth.x = 0;
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto handle = static_cast<HPEN>(s.table.add(std::move(pen)));
    if (handle == nullptr) cqp::setError(ERROR_NOT_ENOUGH_MEMORY);
    return handle;
}

WIN32API HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    LOGBRUSH log{};
    log.lbStyle = BS_SOLID;
    log.lbColor = color;
    return CreateBrushIndirect(&log);
}

WIN32API HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH* log) {
    // Solid and null brushes only; hatched and pattern brushes are refused.
    if (log == nullptr || (log->lbStyle != BS_SOLID && log->lbStyle != BS_NULL)) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto brush = std::make_unique<cqp::Brush>();
    brush->log = *log;
    brush->log.lbColor &= 0x00FFFFFF;
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto handle = static_cast<HBRUSH>(s.table.add(std::move(brush)));
    if (handle == nullptr) cqp::setError(ERROR_NOT_ENOUGH_MEMORY);
    return handle;
}

WIN32API HFONT WINAPI CreateFontIndirectA(const LOGFONTA* log) {
    if (log == nullptr) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto font = std::make_unique<cqp::Font>();
    font->log = *log;
    font->log.lfFaceName[LF_FACESIZE - 1] = '\0';
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto handle = static_cast<HFONT>(s.table.add(std::move(font)));
    if (handle == nullptr) cqp::setError(ERROR_NOT_ENOUGH_MEMORY);
    return handle;
}

WIN32API HBITMAP WINAPI CreateCompatibleBitmap(HDC dc, int width, int height) {
    // Every bitmap is 32 bits per pixel (the only screen format here), whatever the DC holds.
    // A zero size gives a 1 x 1 bitmap, as Windows does.
    if (width < 0 || height < 0) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (width == 0 || height == 0) width = height = 1;
    constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 28;  // 1 GiB of pixels
    if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kMaxPixels) {
        cqp::setError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (dc != nullptr && s.table.find<cqp::Dc>(dc, Kind::Dc) == nullptr) {
        cqp::setError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto bitmap = std::make_unique<cqp::Bitmap>();
    bitmap->width = width;
    bitmap->height = height;
    try {
        bitmap->pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
                              0);  // new bitmaps are black
    } catch (const std::bad_alloc&) {
        cqp::setError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto handle = static_cast<HBITMAP>(s.table.add(std::move(bitmap)));
    if (handle == nullptr) cqp::setError(ERROR_NOT_ENOUGH_MEMORY);
    return handle;
}

WIN32API HDC WINAPI CreateCompatibleDC(HDC dc) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (dc != nullptr && s.table.find<cqp::Dc>(dc, Kind::Dc) == nullptr) {
        cqp::setError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return cqp::createDcLocked(s, true, nullptr);
}

WIN32API int WINAPI GetObjectA(HGDIOBJ object, int size, LPVOID buffer) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::Object* o = s.table.find(object);
    if (o == nullptr) {
        cqp::setError(ERROR_INVALID_HANDLE);
        return 0;
    }
    const void* source = nullptr;
    int sourceSize = 0;
    BITMAP bm{};
    switch (o->kind) {
        case Kind::Pen:
            source = &static_cast<cqp::Pen*>(o)->log;
            sourceSize = sizeof(LOGPEN);
            break;
        case Kind::Brush:
            source = &static_cast<cqp::Brush*>(o)->log;
            sourceSize = sizeof(LOGBRUSH);
            break;
        case Kind::Font:
            source = &static_cast<cqp::Font*>(o)->log;
            sourceSize = sizeof(LOGFONTA);
            break;
        case Kind::Bitmap: {
            auto* bitmap = static_cast<cqp::Bitmap*>(o);
            bm.bmType = 0;
            bm.bmWidth = bitmap->width;
            bm.bmHeight = bitmap->height;
            bm.bmWidthBytes = bitmap->width * 4;
            bm.bmPlanes = 1;
            bm.bmBitsPixel = 32;
            bm.bmBits = nullptr;
            source = &bm;
            sourceSize = sizeof(BITMAP);
            // A bitmap description is all or nothing.
            if (buffer != nullptr && size < sourceSize) {
                cqp::setError(ERROR_INVALID_PARAMETER);
                return 0;
            }
            break;
        }
        default:
            cqp::setError(ERROR_INVALID_HANDLE);
            return 0;
    }
    if (buffer == nullptr) return sourceSize;
    if (size <= 0) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const int copied = size < sourceSize ? size : sourceSize;
    std::memcpy(buffer, source, static_cast<std::size_t>(copied));
    return copied;
}

WIN32API DWORD WINAPI GetObjectType(HGDIOBJ object) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::Object* o = s.table.find(object);
    if (o == nullptr) {
        cqp::setError(ERROR_INVALID_HANDLE);
        return 0;
    }
    switch (o->kind) {
        case Kind::Pen:
            return OBJ_PEN;
        case Kind::Brush:
            return OBJ_BRUSH;
        case Kind::Font:
            return OBJ_FONT;
        case Kind::Bitmap:
            return OBJ_BITMAP;
        case Kind::Dc:
            return static_cast<cqp::Dc*>(o)->memory ? OBJ_MEMDC : OBJ_DC;
        default:
            cqp::setError(ERROR_INVALID_HANDLE);
            return 0;
    }
}

WIN32API HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::Dc* d = s.table.find<cqp::Dc>(dc, Kind::Dc);
    cqp::Object* o = s.table.find(object);
    if (d == nullptr || o == nullptr) {
        cqp::setError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    HGDIOBJ previous = nullptr;
    switch (o->kind) {
        case Kind::Pen:
            previous = d->pen;
            d->pen = static_cast<HPEN>(object);
            return previous;
        case Kind::Brush:
            previous = d->brush;
            d->brush = static_cast<HBRUSH>(object);
            return previous;
        case Kind::Font:
            previous = d->font;
            d->font = static_cast<HFONT>(object);
            return previous;
        case Kind::Bitmap: {
            auto* bitmap = static_cast<cqp::Bitmap*>(o);
            // Bitmaps go into memory DCs only, and into one at a time.
            if (!d->memory ||
                (bitmap->selectedInto != nullptr && bitmap->selectedInto != dc && !o->stock)) {
                cqp::setError(ERROR_INVALID_PARAMETER);
                return nullptr;
            }
            previous = d->bitmap;
            if (auto* old = s.table.find<cqp::Bitmap>(previous, Kind::Bitmap)) {
                if (old->selectedInto == dc) old->selectedInto = nullptr;
            }
            if (!o->stock) bitmap->selectedInto = dc;
            d->bitmap = static_cast<HBITMAP>(object);
            return previous;
        }
        default:
            cqp::setError(ERROR_INVALID_PARAMETER);
            return nullptr;
    }
}

WIN32API HGDIOBJ WINAPI GetCurrentObject(HDC dc, UINT kind) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::Dc* d = s.table.find<cqp::Dc>(dc, Kind::Dc);
    if (d == nullptr) {
        cqp::setError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    switch (kind) {
        case OBJ_PEN:
            return d->pen;
        case OBJ_BRUSH:
            return d->brush;
        case OBJ_FONT:
            return d->font;
        case OBJ_BITMAP:
            return d->memory ? d->bitmap : nullptr;
        default:
            cqp::setError(ERROR_INVALID_PARAMETER);
            return nullptr;
    }
}

WIN32API BOOL WINAPI DeleteObject(HGDIOBJ object) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::Object* o = s.table.find(object);
    if (o == nullptr || o->kind == Kind::Dc || o->kind == Kind::Window || o->kind == Kind::Cursor) {
        cqp::setError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (o->stock) return TRUE;  // harmless, and the object stays valid
    if (cqp::isSelectedLocked(s, object)) {
        cqp::setError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    s.table.remove(object);
    return TRUE;
}

WIN32API BOOL WINAPI DeleteDC(HDC dc) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::Dc* d = s.table.find<cqp::Dc>(dc, Kind::Dc);
    // Window DCs go back with ReleaseDC or EndPaint.
    if (d == nullptr || !d->memory) {
        cqp::setError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    cqp::freeDcLocked(s, dc);
    return TRUE;
}

namespace {
template <class T, class F>
T withDc(HDC dc, T failure, F&& action) {
    cqp::State& s = cqp::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    cqp::Dc* d = s.table.find<cqp::Dc>(dc, Kind::Dc);
    if (d == nullptr) {
        cqp::setError(ERROR_INVALID_HANDLE);
        return failure;
    }
    return action(*d);
}
}  // namespace

WIN32API COLORREF WINAPI SetBkColor(HDC dc, COLORREF color) {
    return withDc(dc, CLR_INVALID, [&](cqp::Dc& d) {
        COLORREF previous = d.bkColor;
        d.bkColor = color & 0x00FFFFFF;
        return previous;
    });
}

WIN32API COLORREF WINAPI SetTextColor(HDC dc, COLORREF color) {
    return withDc(dc, CLR_INVALID, [&](cqp::Dc& d) {
        COLORREF previous = d.textColor;
        d.textColor = color & 0x00FFFFFF;
        return previous;
    });
}

WIN32API int WINAPI SetBkMode(HDC dc, int mode) {
    return withDc(dc, 0, [&](cqp::Dc& d) {
        if (mode != TRANSPARENT && mode != OPAQUE) {
            cqp::setError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        int previous = d.bkMode;
        d.bkMode = mode;
        return previous;
    });
}

WIN32API int WINAPI SetROP2(HDC dc, int mode) {
    return withDc(dc, 0, [&](cqp::Dc& d) {
        if (mode < R2_BLACK || mode > R2_WHITE) {
            cqp::setError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        int previous = d.rop2;
        d.rop2 = mode;
        return previous;
    });
}

WIN32API BOOL WINAPI MoveToEx(HDC dc, int x, int y, LPPOINT previous) {
    return withDc(dc, FALSE, [&](cqp::Dc& d) {
        if (previous != nullptr) *previous = d.position;
        d.position = POINT{x, y};
        return TRUE;
    });
}
