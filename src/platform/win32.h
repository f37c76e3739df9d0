// The platform seam: the subset of the Win32 API (USER32, GDI32, KERNEL32, ole32) that the
// editor draws and runs its windows through.
//
// On Windows this header is <windows.h>. On Linux it declares the same names with the same
// types and values, implemented by our own static library (src/platform) that is linked, with
// every symbol hidden, into the module that uses it; it must behave as Windows does for every
// call the editor makes. Code above the seam is written once, against these names only.
//
// Where the Linux library is narrower than Windows (each call fails cleanly or says so here):
// - Every bitmap is 32 bits per pixel; pens draw one pixel wide and solid whatever their
//   width or dash style; brushes are solid or null (hatched and pattern brushes are refused).
// - All fonts are one fixed-pitch bitmap font: the text cell is |lfHeight| pixels tall
//   (12 for lfHeight 0); face, width and weight are kept for GetObjectA but not drawn.
// - Deleting a GDI object that is selected into a DC fails and leaves it usable; stock
//   objects ignore DeleteObject. Window DCs are given back with ReleaseDC or EndPaint only.
// - Windows have no frame or caption: the client area is the whole window. Children are not
//   clipped out of their parent's drawing (WS_CLIPCHILDREN and WS_CLIPSIBLINGS are ignored).
// - SendMessageA works only on the thread that owns the window; other threads post.
// - On 64-bit systems GWL_WNDPROC through the 32-bit Get/SetWindowLongA fails with
//   ERROR_INVALID_INDEX, as on 64-bit Windows: use the Ptr variants.
// - GetCursorPos reports where the pointer last was: the last simulated click or motion
//   (cqpClick, cqpMovePointer) or the last X pointer event.
// - A WS_CHILD window whose parent is not one of the library's windows but an X11 window id
//   (what a Linux host passes to its plug-in's editor) is shown in an X child window of that
//   parent when a display is reachable, and lives off screen otherwise. Its X events and
//   drawing are handled inside PeekMessageA, GetMessageA and cqpPumpMessages on its thread.
//   Library handles always have bit 31 set, so they never collide with X window ids.
#pragma once

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// ole2.h needs the declarations of windows.h.
#include <ole2.h>

#else  // Linux: our own library

#include <cstdint>

// C names, as on Windows; hidden like everything else in the module that links them.
#define WIN32API extern "C"

#define WINAPI
#define CALLBACK
#define APIENTRY

// ---- Basic types (the Windows sizes: LONG and DWORD are 32 bits on every target) ----

typedef int BOOL;
typedef unsigned char BYTE;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef std::uint32_t ULONG;
typedef unsigned int UINT;
typedef int INT;
typedef char CHAR;
typedef std::intptr_t INT_PTR;
typedef std::uintptr_t UINT_PTR;
typedef std::intptr_t LONG_PTR;
typedef std::uintptr_t ULONG_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef DWORD COLORREF;
typedef WORD ATOM;
typedef LONG HRESULT;
typedef void* LPVOID;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef void* HANDLE;
typedef void* HGDIOBJ;

#define CQSCOPE_DECLARE_HANDLE(name) \
    struct name##__ {                \
        int unused;                  \
    };                               \
    typedef struct name##__* name
CQSCOPE_DECLARE_HANDLE(HWND);
CQSCOPE_DECLARE_HANDLE(HDC);
CQSCOPE_DECLARE_HANDLE(HPEN);
CQSCOPE_DECLARE_HANDLE(HBRUSH);
CQSCOPE_DECLARE_HANDLE(HFONT);
CQSCOPE_DECLARE_HANDLE(HBITMAP);
CQSCOPE_DECLARE_HANDLE(HINSTANCE);
CQSCOPE_DECLARE_HANDLE(HICON);
CQSCOPE_DECLARE_HANDLE(HMENU);
#undef CQSCOPE_DECLARE_HANDLE
typedef HINSTANCE HMODULE;
typedef HICON HCURSOR;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef void(CALLBACK* TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);

// ---- Records ----

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT, *LPPOINT;

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *LPRECT;

typedef struct tagSIZE {
    LONG cx;
    LONG cy;
} SIZE, *LPSIZE;

typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *LPMSG;

typedef struct tagPAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
} PAINTSTRUCT, *LPPAINTSTRUCT;

typedef struct tagWNDCLASSEXA {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
    HICON hIconSm;
} WNDCLASSEXA;

#define LF_FACESIZE 32
typedef struct tagLOGFONTA {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    CHAR lfFaceName[LF_FACESIZE];
} LOGFONTA;
static_assert(sizeof(LOGFONTA) == 60);

typedef struct tagLOGPEN {
    UINT lopnStyle;
    POINT lopnWidth;
    COLORREF lopnColor;
} LOGPEN;

typedef struct tagLOGBRUSH {
    UINT lbStyle;
    COLORREF lbColor;
    ULONG_PTR lbHatch;
} LOGBRUSH;

typedef struct tagBITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
} BITMAPINFOHEADER;
static_assert(sizeof(BITMAPINFOHEADER) == 40);

typedef struct tagRGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
} RGBQUAD;

typedef struct tagBITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
} BITMAPINFO;

typedef struct tagBITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
} BITMAP;

typedef struct tagCREATESTRUCTA {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCSTR lpszName;
    LPCSTR lpszClass;
    DWORD dwExStyle;
} CREATESTRUCTA;

typedef struct tagDRAWITEMSTRUCT {
    UINT CtlType;
    UINT CtlID;
    UINT itemID;
    UINT itemAction;
    UINT itemState;
    HWND hwndItem;
    HDC hDC;
    RECT rcItem;
    ULONG_PTR itemData;
} DRAWITEMSTRUCT;

// ---- Macros ----

#define LOWORD(l) ((WORD)(((DWORD)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD)(l)) >> 16) & 0xffff))
#define MAKELONG(a, b) ((LONG)(((WORD)(a)) | ((DWORD)((WORD)(b))) << 16))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))
#define GET_X_LPARAM(lp) ((int)(short)LOWORD(lp))
#define GET_Y_LPARAM(lp) ((int)(short)HIWORD(lp))
#define RGB(r, g, b) \
    ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(rgb) ((BYTE)(rgb))
#define GetGValue(rgb) ((BYTE)(((WORD)(rgb)) >> 8))
#define GetBValue(rgb) ((BYTE)((rgb) >> 16))
#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

// ---- Constants ----

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)

// Window messages.
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_SHOWWINDOW 0x0018
#define WM_SETCURSOR 0x0020
#define WM_DRAWITEM 0x002B
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_COMMAND 0x0111
#define WM_TIMER 0x0113
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_LBUTTONDBLCLK 0x0203
#define WM_RBUTTONDOWN 0x0204
#define WM_RBUTTONUP 0x0205
#define WM_MOUSEWHEEL 0x020A
#define WM_CAPTURECHANGED 0x0215
#define WM_MOUSELEAVE 0x02A3
#define WM_USER 0x0400

#define MK_LBUTTON 0x0001

// Window styles.
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CLIPSIBLINGS 0x04000000L
#define WS_CLIPCHILDREN 0x02000000L
#define WS_CAPTION 0x00C00000L
#define WS_SYSMENU 0x00080000L
#define WS_OVERLAPPEDWINDOW 0x00CF0000L
#define CW_USEDEFAULT ((int)0x80000000)

// Window class styles.
#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define CS_DBLCLKS 0x0008

// Button styles and notifications.
#define BS_PUSHBUTTON 0x00000000L
#define BS_OWNERDRAW 0x0000000BL
#define BN_CLICKED 0
#define BN_DOUBLECLICKED 5
#define ODT_BUTTON 4
#define ODA_DRAWENTIRE 0x0001

// Window longs.
#define GWL_WNDPROC (-4)
#define GWLP_WNDPROC (-4)
#define GWLP_HINSTANCE (-6)
#define GWLP_HWNDPARENT (-8)
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWL_ID (-12)
#define GWLP_ID (-12)
#define GWLP_USERDATA (-21)
#define GWL_USERDATA (-21)

// Peek options.
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

// Cursors.
#define IDC_ARROW MAKEINTRESOURCEA(32512)

// ShowWindow.
#define SW_HIDE 0
#define SW_SHOW 5

// Stock objects.
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define OEM_FIXED_FONT 10
#define ANSI_FIXED_FONT 11
#define ANSI_VAR_FONT 12
#define SYSTEM_FONT 13
#define DEFAULT_GUI_FONT 17

// Pen and brush styles.
#define PS_SOLID 0
#define PS_DOT 2
#define PS_NULL 5
#define BS_SOLID 0
#define BS_NULL 1
#define BS_HOLLOW BS_NULL

// Object kinds (GetCurrentObject, GetObjectType).
#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_FONT 6
#define OBJ_BITMAP 7
#define OBJ_MEMDC 10

// Mix modes.
#define R2_BLACK 1
#define R2_XORPEN 7
#define R2_NOP 11
#define R2_COPYPEN 13
#define R2_MERGEPEN 15
#define R2_WHITE 16

// Raster operations.
#define SRCCOPY ((DWORD)0x00CC0020)
#define BLACKNESS ((DWORD)0x00000042)
#define WHITENESS ((DWORD)0x00FF0062)
#define PATCOPY ((DWORD)0x00F00021)

// Background modes.
#define TRANSPARENT 1
#define OPAQUE 2

// Font values.
#define FW_NORMAL 400
#define FW_BOLD 700
#define ANSI_CHARSET 0
#define OUT_DEFAULT_PRECIS 0
#define OUT_STRING_PRECIS 1
#define CLIP_DEFAULT_PRECIS 0
#define CLIP_STROKE_PRECIS 2
#define DEFAULT_QUALITY 0
#define FIXED_PITCH 1
#define VARIABLE_PITCH 2
#define FF_DONTCARE 0x00
#define FF_SWISS 0x20
#define FF_MODERN 0x30

// Bitmaps.
#define BI_RGB 0
#define DIB_RGB_COLORS 0

#define CLR_INVALID ((COLORREF)0xFFFFFFFF)

// Errors (GetLastError).
#define ERROR_SUCCESS 0
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_INVALID_PARAMETER 87
#define ERROR_CLASS_ALREADY_EXISTS 1410
#define ERROR_CLASS_DOES_NOT_EXIST 1411
#define ERROR_INVALID_WINDOW_HANDLE 1400
#define ERROR_CANNOT_FIND_WND_CLASS 1407
#define ERROR_ACCESS_DENIED 5
#define ERROR_TLW_WITH_WSCHILD 1406
#define ERROR_CLASS_HAS_WINDOWS 1412
#define ERROR_INVALID_INDEX 1413
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814

// TrackMouseEvent: TME_LEAVE asks for one WM_MOUSELEAVE when the pointer leaves the window
// (or at once when it is not over it); TME_CANCEL with it withdraws the request. Hover
// tracking is not implemented (TME_HOVER fails with ERROR_INVALID_PARAMETER).
#define TME_HOVER 0x00000001
#define TME_LEAVE 0x00000002
#define TME_NONCLIENT 0x00000010
#define TME_QUERY 0x40000000
#define TME_CANCEL 0x80000000
#define HOVER_DEFAULT 0xFFFFFFFF
typedef struct tagTRACKMOUSEEVENT {
    DWORD cbSize;
    DWORD dwFlags;
    HWND hwndTrack;
    DWORD dwHoverTime;
} TRACKMOUSEEVENT, *LPTRACKMOUSEEVENT;

// ---- USER32 ----

WIN32API ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* windowClass);
WIN32API BOOL WINAPI UnregisterClassA(LPCSTR className, HINSTANCE instance);
// Answers the class's atom (non-zero) and fills *info, or FALSE when the module has no class
// of that name and no built-in class has it.
WIN32API BOOL WINAPI GetClassInfoExA(HINSTANCE instance, LPCSTR className, WNDCLASSEXA* info);
WIN32API HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR cursorName);
WIN32API HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName,
                                     DWORD style, int x, int y, int width, int height, HWND parent,
                                     HMENU menu, HINSTANCE instance, LPVOID param);
WIN32API BOOL WINAPI DestroyWindow(HWND window);
WIN32API BOOL WINAPI IsWindow(HWND window);
WIN32API HWND WINAPI GetParent(HWND window);
WIN32API BOOL WINAPI ShowWindow(HWND window, int command);
WIN32API BOOL WINAPI UpdateWindow(HWND window);
WIN32API BOOL WINAPI GetWindowRect(HWND window, LPRECT rect);
WIN32API BOOL WINAPI GetClientRect(HWND window, LPRECT rect);
WIN32API BOOL WINAPI GetCursorPos(LPPOINT point);
WIN32API LONG WINAPI GetWindowLongA(HWND window, int index);
WIN32API LONG WINAPI SetWindowLongA(HWND window, int index, LONG value);
WIN32API LONG_PTR WINAPI GetWindowLongPtrA(HWND window, int index);
WIN32API LONG_PTR WINAPI SetWindowLongPtrA(HWND window, int index, LONG_PTR value);
WIN32API LRESULT WINAPI CallWindowProcA(WNDPROC proc, HWND window, UINT message, WPARAM wParam,
                                        LPARAM lParam);
WIN32API LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
WIN32API LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
WIN32API BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
WIN32API void WINAPI PostQuitMessage(int exitCode);
WIN32API BOOL WINAPI PeekMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax,
                                  UINT removeFlags);
WIN32API BOOL WINAPI GetMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax);
WIN32API BOOL WINAPI TranslateMessage(const MSG* message);
WIN32API LRESULT WINAPI DispatchMessageA(const MSG* message);
WIN32API UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapseMs, TIMERPROC proc);
WIN32API BOOL WINAPI KillTimer(HWND window, UINT_PTR id);
WIN32API BOOL WINAPI InvalidateRect(HWND window, const RECT* rect, BOOL erase);
WIN32API HDC WINAPI BeginPaint(HWND window, LPPAINTSTRUCT paint);
WIN32API BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint);
WIN32API HDC WINAPI GetDC(HWND window);
WIN32API int WINAPI ReleaseDC(HWND window, HDC dc);
WIN32API HWND WINAPI SetCapture(HWND window);
WIN32API BOOL WINAPI ReleaseCapture(void);
WIN32API BOOL WINAPI TrackMouseEvent(LPTRACKMOUSEEVENT track);

// ---- GDI32 ----

WIN32API HPEN WINAPI CreatePen(int style, int width, COLORREF color);
WIN32API HPEN WINAPI CreatePenIndirect(const LOGPEN* pen);
WIN32API HBRUSH WINAPI CreateSolidBrush(COLORREF color);
WIN32API HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH* brush);
WIN32API HFONT WINAPI CreateFontIndirectA(const LOGFONTA* font);
WIN32API HBITMAP WINAPI CreateCompatibleBitmap(HDC dc, int width, int height);
WIN32API HDC WINAPI CreateCompatibleDC(HDC dc);
WIN32API HGDIOBJ WINAPI GetStockObject(int object);
WIN32API int WINAPI GetObjectA(HGDIOBJ object, int size, LPVOID buffer);
WIN32API DWORD WINAPI GetObjectType(HGDIOBJ object);
WIN32API HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object);
WIN32API HGDIOBJ WINAPI GetCurrentObject(HDC dc, UINT kind);
WIN32API BOOL WINAPI DeleteObject(HGDIOBJ object);
WIN32API BOOL WINAPI DeleteDC(HDC dc);
WIN32API COLORREF WINAPI SetBkColor(HDC dc, COLORREF color);
WIN32API int WINAPI SetBkMode(HDC dc, int mode);
WIN32API COLORREF WINAPI SetTextColor(HDC dc, COLORREF color);
WIN32API int WINAPI SetROP2(HDC dc, int mode);
WIN32API BOOL WINAPI MoveToEx(HDC dc, int x, int y, LPPOINT previous);
WIN32API BOOL WINAPI LineTo(HDC dc, int x, int y);
WIN32API BOOL WINAPI Rectangle(HDC dc, int left, int top, int right, int bottom);
WIN32API BOOL WINAPI TextOutA(HDC dc, int x, int y, LPCSTR text, int length);
WIN32API BOOL WINAPI GetTextExtentPoint32A(HDC dc, LPCSTR text, int length, LPSIZE size);
WIN32API BOOL WINAPI BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX,
                            int sourceY, DWORD rop);
WIN32API BOOL WINAPI PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop);
WIN32API COLORREF WINAPI GetPixel(HDC dc, int x, int y);
WIN32API int WINAPI GetDIBits(HDC dc, HBITMAP bitmap, UINT startScan, UINT scanLines, LPVOID bits,
                              BITMAPINFO* info, UINT usage);

// ---- KERNEL32 ----

WIN32API DWORD WINAPI GetTickCount(void);
WIN32API void WINAPI Sleep(DWORD milliseconds);
WIN32API DWORD WINAPI GetLastError(void);
WIN32API void WINAPI SetLastError(DWORD error);
WIN32API HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName);

// ---- ole32 ----

WIN32API HRESULT WINAPI OleInitialize(LPVOID reserved);
WIN32API void WINAPI OleUninitialize(void);

#endif  // _WIN32
