// The X11 presenter (see x11_presenter.h). Thread: each presenter is used only by the thread
// that owns its window, so its connection needs no locking of its own; the error-handler
// registry below is shared by all threads and guarded by its own mutex.
#include "platform/x11_presenter.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#if defined(CQP_HAVE_XSHM)
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#endif

#include <X11/Xatom.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace cqp {

struct Presenter {
    Display* display = nullptr;
    ::Window window = 0;
    int width = 0;
    int height = 0;
    bool windowAlive = false;  // false once the server destroyed it (with its parent)
    bool connectionLost = false;
    bool closedByUser = false;  // a host window whose close button was pressed
    Atom deleteWindow = 0;      // WM_DELETE_WINDOW, host windows only
    unsigned long errors = 0;   // X errors caught on this connection
    GC gc = nullptr;
    XImage* image = nullptr;
    bool direct = false;       // the image's pixels are 0x00RRGGBB words as they stand
    std::uint32_t opaque = 0;  // bits to set in direct pixels (alpha of a 32-bit visual)
    std::vector<std::uint32_t> pixels;
    RECT pending{0, 0, 0, 0};  // area of `pixels` not yet sent to the server
#if defined(CQP_HAVE_XSHM)
    bool shm = false;
    bool shmBusy = false;  // a shared-memory copy is in flight until its completion event
    int shmCompletion = 0;
    XShmSegmentInfo segment{};
#endif
};

namespace {

// Connections of ours, so that the process-wide X error handler can tell our errors (counted
// and ignored) from the host's (passed to the handler that was installed before ours).
std::mutex registryMutex;
std::vector<Presenter*> registry;
XErrorHandler previousHandler = nullptr;
XIOErrorHandler previousIoHandler = nullptr;
bool handlerInstalled = false;

int onXError(Display* display, XErrorEvent* error) {
    XErrorHandler chain = nullptr;
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        for (Presenter* p : registry) {
            if (p->display == display) {
                ++p->errors;
                return 0;
            }
        }
        chain = previousHandler;
    }
    return chain != nullptr ? chain(display, error) : 0;
}

// A broken connection (the server went away). The default handler would end the process;
// for ours it only marks the presenter, which then does nothing more. Others' connections get
// the handler installed before ours.
int onXIOError(Display* display) {
    XIOErrorHandler chain = nullptr;
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        for (Presenter* p : registry) {
            if (p->display == display) {
                p->connectionLost = true;
                return 0;
            }
        }
        chain = previousIoHandler;
    }
    return chain != nullptr ? chain(display) : 0;
}

// Called after onXIOError instead of exiting the process, for our connections only.
void onConnectionLost(Display*, void* user) {
    static_cast<Presenter*>(user)->connectionLost = true;
}

void registerPresenter(Presenter* p) {
    std::lock_guard<std::mutex> lock(registryMutex);
    if (!handlerInstalled) {
        previousHandler = XSetErrorHandler(onXError);
        previousIoHandler = XSetIOErrorHandler(onXIOError);
        handlerInstalled = true;
    }
    registry.push_back(p);
}

// Keeps the module that holds this code mapped until the process ends, whatever dlclose is
// called later. Each plug-in module carries its own copy of this library, so another copy (or
// the host) may have installed its handler over ours and chain to it: unmapping ours would
// leave that chain pointing into nothing.
void keepModuleLoaded() {
    static bool kept = false;
    if (kept) return;
    Dl_info self{};
    if (dladdr(reinterpret_cast<void*>(&onXError), &self) != 0 && self.dli_fname != nullptr) {
        // RTLD_NOLOAD only marks the module that is already loaded; the handle is not kept.
        kept = dlopen(self.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
    }
}

// The last presenter gives the host its own handler back, unless the host (or another copy of
// this library) has since put another one over ours, which may chain to ours: then ours stays,
// and so must its code.
void unregisterPresenter(Presenter* p) {
    std::lock_guard<std::mutex> lock(registryMutex);
    registry.erase(std::remove(registry.begin(), registry.end(), p), registry.end());
    if (registry.empty() && handlerInstalled) {
        XErrorHandler current = XSetErrorHandler(previousHandler);
        XIOErrorHandler currentIo = XSetIOErrorHandler(previousIoHandler);
        if (current == onXError && currentIo == onXIOError) {
            handlerInstalled = false;
            previousHandler = nullptr;
            previousIoHandler = nullptr;
        } else {
            XSetErrorHandler(current);
            XSetIOErrorHandler(currentIo);
            keepModuleLoaded();
        }
    }
}

bool usable(const Presenter* p) {
    return p != nullptr && p->display != nullptr && !p->connectionLost;
}

// Round trip that makes every error of the requests so far arrive; true when none did.
bool syncedWithoutErrors(Presenter* p) {
    const unsigned long before = p->errors;
    XSync(p->display, False);
    return p->errors == before && !p->connectionLost;
}

bool isDirectFormat(const XImage* image) {
    return image->bits_per_pixel == 32 && image->red_mask == 0xFF0000 &&
           image->green_mask == 0x00FF00 && image->blue_mask == 0x0000FF &&
           image->byte_order == LSBFirst && image->bytes_per_line == image->width * 4;
}

int lowestBit(unsigned long mask) {
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

// Scales an 8-bit channel into a visual's channel mask (for visuals other than 8-8-8).
unsigned long channel(unsigned value, unsigned long mask) {
    if (mask == 0) return 0;
    const int shift = lowestBit(mask);
    const unsigned long max = mask >> shift;
    return ((value * max + 127) / 255) << shift;
}

#if defined(CQP_HAVE_XSHM)
// Shared memory only for a local server that offers it; any failure falls back to XPutImage.
bool attachSharedImage(Presenter* p, Visual* visual, int depth) {
    const char* name = DisplayString(p->display);
    const bool local = name != nullptr && (name[0] == ':' || std::strncmp(name, "unix:", 5) == 0);
    // CQSCOPE_X11_NO_SHM=1 asks for plain XPutImage (servers whose shared memory misbehaves).
    const char* off = std::getenv("CQSCOPE_X11_NO_SHM");
    if (!local || (off != nullptr && off[0] == '1') || !XShmQueryExtension(p->display)) {
        return false;
    }
    XImage* image = XShmCreateImage(p->display, visual, static_cast<unsigned>(depth), ZPixmap,
                                    nullptr, &p->segment, static_cast<unsigned>(p->width),
                                    static_cast<unsigned>(p->height));
    if (image == nullptr) return false;
    const std::size_t size = static_cast<std::size_t>(image->bytes_per_line) * image->height;
    p->segment.shmid = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (p->segment.shmid < 0) {
        XDestroyImage(image);
        return false;
    }
    p->segment.shmaddr = static_cast<char*>(shmat(p->segment.shmid, nullptr, 0));
    if (p->segment.shmaddr == reinterpret_cast<char*>(-1)) {
        shmctl(p->segment.shmid, IPC_RMID, nullptr);
        XDestroyImage(image);
        return false;
    }
    image->data = p->segment.shmaddr;
    p->segment.readOnly = False;
    const bool attached = XShmAttach(p->display, &p->segment) != 0 && syncedWithoutErrors(p);
    // Marked for removal now: the segment goes when both sides have detached, even if we die.
    shmctl(p->segment.shmid, IPC_RMID, nullptr);
    if (!attached) {
        shmdt(p->segment.shmaddr);
        image->data = nullptr;
        XDestroyImage(image);
        p->segment = XShmSegmentInfo{};
        return false;
    }
    std::memset(image->data, 0, size);
    p->image = image;
    p->shm = true;
    p->shmCompletion = XShmGetEventBase(p->display) + ShmCompletion;
    return true;
}
#endif

bool createImage(Presenter* p, Visual* visual, int depth) {
#if defined(CQP_HAVE_XSHM)
    if (attachSharedImage(p, visual, depth)) return true;
#endif
    XImage* image =
        XCreateImage(p->display, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                     static_cast<unsigned>(p->width), static_cast<unsigned>(p->height), 32, 0);
    if (image == nullptr) return false;
    const std::size_t size = static_cast<std::size_t>(image->bytes_per_line) * image->height;
    image->data = static_cast<char*>(std::calloc(size, 1));  // XDestroyImage frees it
    if (image->data == nullptr) {
        XDestroyImage(image);
        return false;
    }
    p->image = image;
    return true;
}

void releaseImage(Presenter* p) {
    if (p->image == nullptr) return;
#if defined(CQP_HAVE_XSHM)
    if (p->shm) {
        if (usable(p)) XShmDetach(p->display, &p->segment);
        shmdt(p->segment.shmaddr);
        p->image->data = nullptr;
    }
#endif
    XDestroyImage(p->image);
    p->image = nullptr;
}

}  // namespace

Presenter* openPresenter(std::uint32_t parent, int x, int y, int width, int height, bool visible) {
    if (parent == 0 || width <= 0 || height <= 0) return nullptr;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return nullptr;  // no display: the window lives off screen
    auto* p = new Presenter;
    p->display = display;
    p->width = width;
    p->height = height;
    XSetIOErrorExitHandler(display, onConnectionLost, p);
    registerPresenter(p);

    // The child takes the parent's visual and depth, which the parent's attributes give; a
    // parent that is no window of this display fails here.
    XWindowAttributes attributes{};
    const unsigned long before = p->errors;
    const bool parentOk = XGetWindowAttributes(display, parent, &attributes) != 0 &&
                          p->errors == before && !p->connectionLost;
    if (parentOk) {
        XSetWindowAttributes set{};
        set.background_pixel = BlackPixel(display, DefaultScreen(display));
        set.border_pixel = 0;
        set.colormap = attributes.colormap;
        set.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                         LeaveWindowMask | StructureNotifyMask;
        p->window = XCreateWindow(display, parent, x, y, static_cast<unsigned>(width),
                                  static_cast<unsigned>(height), 0, attributes.depth, InputOutput,
                                  attributes.visual,
                                  CWBackPixel | CWBorderPixel | CWColormap | CWEventMask, &set);
        p->gc = XCreateGC(display, p->window, 0, nullptr);
        if (visible) XMapWindow(display, p->window);
        p->windowAlive = syncedWithoutErrors(p) && p->window != 0;
    }
    if (!p->windowAlive || !createImage(p, attributes.visual, attributes.depth)) {
        closePresenter(p);
        return nullptr;
    }
    p->direct = isDirectFormat(p->image);
    if (p->direct && attributes.depth == 32) p->opaque = 0xFF000000u;  // alpha of an ARGB visual
    try {
        p->pixels.assign(static_cast<std::size_t>(width) * height, 0);
    } catch (const std::bad_alloc&) {
        closePresenter(p);
        return nullptr;
    }
    return p;
}

void closePresenter(Presenter* p) {
    if (p == nullptr) return;
    if (usable(p)) {
        releaseImage(p);
        if (p->gc != nullptr) XFreeGC(p->display, p->gc);
        // After the host destroyed the parent our window is gone too; an error here would be
        // caught anyway.
        if (p->windowAlive && p->window != 0) XDestroyWindow(p->display, p->window);
        XSync(p->display, False);
    } else {
        // The connection is broken: only client memory is freed, no request goes out.
        if (p->image != nullptr) {
#if defined(CQP_HAVE_XSHM)
            if (p->shm) {
                shmdt(p->segment.shmaddr);
                p->image->data = nullptr;
            }
#endif
            XDestroyImage(p->image);
            p->image = nullptr;
        }
        if (p->gc != nullptr && p->display != nullptr) XFreeGC(p->display, p->gc);
    }
    // Unregistered only after the last request, so its errors still come to us.
    if (p->display != nullptr) XCloseDisplay(p->display);
    unregisterPresenter(p);
    delete p;
}

bool nextPresenterEvent(Presenter* p, PresenterEvent& out) {
    while (usable(p) && XPending(p->display) > 0 && !p->connectionLost) {
        XEvent event;
        XNextEvent(p->display, &event);
#if defined(CQP_HAVE_XSHM)
        if (p->shm && event.type == p->shmCompletion) {
            p->shmBusy = false;
            continue;
        }
#endif
        switch (event.type) {
            case Expose:
                out = PresenterEvent{PresenterEvent::Type::Exposed, event.xexpose.x,
                                     event.xexpose.y, event.xexpose.width, event.xexpose.height};
                return true;
            case ButtonPress:
            case ButtonRelease:
                if (event.xbutton.window != p->window || event.xbutton.button != Button1) break;
                out = PresenterEvent{event.type == ButtonPress ? PresenterEvent::Type::Pressed
                                                               : PresenterEvent::Type::Released,
                                     event.xbutton.x, event.xbutton.y, 0, 0};
                return true;
            case MotionNotify: {
                if (event.xmotion.window != p->window) break;
                // Only where the pointer is now matters: skip to the newest queued motion.
                XEvent newer;
                while (XCheckTypedWindowEvent(p->display, p->window, MotionNotify, &newer))
                    event = newer;
                out = PresenterEvent{PresenterEvent::Type::Moved, event.xmotion.x, event.xmotion.y,
                                     0, 0};
                return true;
            }
            case LeaveNotify:
                // A grab's crossings (a press held while the pointer moves) are no leave.
                if (event.xcrossing.window != p->window || event.xcrossing.mode != NotifyNormal)
                    break;
                out = PresenterEvent{PresenterEvent::Type::Left, event.xcrossing.x,
                                     event.xcrossing.y, 0, 0};
                return true;
            case DestroyNotify:
                if (event.xdestroywindow.window == p->window) p->windowAlive = false;
                break;
            default:
                break;
        }
    }
    return false;
}

std::uint32_t* presenterPixels(Presenter* p) {
    return usable(p) ? p->pixels.data() : nullptr;
}

void presentArea(Presenter* p, const RECT& area) {
    if (!usable(p) || !p->windowAlive || p->image == nullptr) return;
    if (area.right > area.left && area.bottom > area.top) {
        RECT& q = p->pending;
        q = q.right > q.left ? RECT{std::min(q.left, area.left), std::min(q.top, area.top),
                                    std::max(q.right, area.right), std::max(q.bottom, area.bottom)}
                             : area;
    }
#if defined(CQP_HAVE_XSHM)
    if (p->shm && p->shmBusy) {
        // The server may still read the shared image; its completion may already be queued
        // (other events stay queued for nextPresenterEvent).
        XEvent done;
        if (XCheckTypedEvent(p->display, p->shmCompletion, &done)) p->shmBusy = false;
        if (p->shmBusy) return;  // sent by a later call
    }
#endif
    const int left = std::max<int>(p->pending.left, 0);
    const int top = std::max<int>(p->pending.top, 0);
    const int right = std::min<int>(p->pending.right, p->width);
    const int bottom = std::min<int>(p->pending.bottom, p->height);
    p->pending = RECT{0, 0, 0, 0};
    if (right <= left || bottom <= top) return;
    for (int y = top; y < bottom; ++y) {
        const std::uint32_t* from = &p->pixels[static_cast<std::size_t>(y) * p->width];
        if (p->direct) {
            auto* to = reinterpret_cast<std::uint32_t*>(
                p->image->data + static_cast<std::size_t>(y) * p->image->bytes_per_line);
            for (int x = left; x < right; ++x) to[x] = from[x] | p->opaque;
        } else {
            for (int x = left; x < right; ++x) {
                const std::uint32_t c = from[x];
                XPutPixel(p->image, x, y,
                          channel((c >> 16) & 0xFF, p->image->red_mask) |
                              channel((c >> 8) & 0xFF, p->image->green_mask) |
                              channel(c & 0xFF, p->image->blue_mask));
            }
        }
    }
    const auto w = static_cast<unsigned>(right - left);
    const auto h = static_cast<unsigned>(bottom - top);
#if defined(CQP_HAVE_XSHM)
    if (p->shm) {
        XShmPutImage(p->display, p->window, p->gc, p->image, left, top, left, top, w, h, True);
        p->shmBusy = true;
        XFlush(p->display);
        return;
    }
#endif
    XPutImage(p->display, p->window, p->gc, p->image, left, top, left, top, w, h);
    XFlush(p->display);
}

void showPresenter(Presenter* p, bool visible) {
    if (!usable(p) || !p->windowAlive) return;
    if (visible) {
        XMapWindow(p->display, p->window);
    } else {
        XUnmapWindow(p->display, p->window);
    }
    XFlush(p->display);
}

std::uint32_t presenterWindow(const Presenter* p) {
    return p != nullptr && p->windowAlive ? static_cast<std::uint32_t>(p->window) : 0;
}

int presenterConnection(const Presenter* p) {
    return usable(p) ? ConnectionNumber(p->display) : -1;
}

namespace {

std::mutex hostWindowsMutex;
std::vector<Presenter*> hostWindows;  // top-level windows made by createHostXWindow

Presenter* takeHostWindow(std::uint32_t window, bool remove) {
    std::lock_guard<std::mutex> lock(hostWindowsMutex);
    for (auto it = hostWindows.begin(); it != hostWindows.end(); ++it) {
        if ((*it)->window == window) {
            Presenter* p = *it;
            if (remove) hostWindows.erase(it);
            return p;
        }
    }
    return nullptr;
}

}  // namespace

std::uint32_t createHostXWindow(const char* title) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return 0;
    auto* p = new Presenter;
    p->display = display;
    p->width = 1;
    p->height = 1;
    XSetIOErrorExitHandler(display, onConnectionLost, p);
    registerPresenter(p);
    const int screen = DefaultScreen(display);
    // 1 x 1 until showHostXWindow gives the size: an unmapped window is resized without a
    // window manager seeing it.
    p->window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, 1, 1, 0,
                                    BlackPixel(display, screen), BlackPixel(display, screen));
    XStoreName(display, p->window, title != nullptr ? title : "");
    p->deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, p->window, &p->deleteWindow, 1);
    XSelectInput(display, p->window, StructureNotifyMask);
    p->windowAlive = syncedWithoutErrors(p) && p->window != 0;
    if (!p->windowAlive) {
        closePresenter(p);
        return 0;
    }
    std::lock_guard<std::mutex> lock(hostWindowsMutex);
    hostWindows.push_back(p);
    return static_cast<std::uint32_t>(p->window);
}

namespace {

// The Xft.dpi of the resource manager string, which is the RESOURCE_MANAGER property of the
// root window as the connection read it when it opened (what xrdb loads): lines of
// "name:\tvalue".
int dpiOfConnection(Display* display) {
    const char* resources = XResourceManagerString(display);
    return resources != nullptr ? dpiOfResources(resources) : 0;
}

}  // namespace

int hostXWindowDpi(std::uint32_t window) {
    Presenter* p = takeHostWindow(window, false);
    return usable(p) ? dpiOfConnection(p->display) : 0;
}

bool showHostXWindow(std::uint32_t window, int width, int height) {
    Presenter* p = takeHostWindow(window, false);
    if (!usable(p) || !p->windowAlive || width <= 0 || height <= 0) return false;
    p->width = width;
    p->height = height;
    XResizeWindow(p->display, p->window, static_cast<unsigned>(width),
                  static_cast<unsigned>(height));
    // A window of fixed size: the editor does not follow resizing.
    if (XSizeHints* hints = XAllocSizeHints()) {
        hints->flags = PMinSize | PMaxSize;
        hints->min_width = hints->max_width = width;
        hints->min_height = hints->max_height = height;
        XSetWMNormalHints(p->display, p->window, hints);
        XFree(hints);
    }
    XMapWindow(p->display, p->window);
    return syncedWithoutErrors(p) && p->windowAlive;
}

int screenDpi() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return 0;
    const int dpi = dpiOfConnection(display);
    XCloseDisplay(display);
    return dpi;
}

bool serviceHostXWindow(std::uint32_t window) {
    Presenter* p = takeHostWindow(window, false);
    if (p == nullptr) return false;
    while (usable(p) && XPending(p->display) > 0 && !p->connectionLost) {
        XEvent event;
        XNextEvent(p->display, &event);
        if (event.type == ClientMessage &&
            static_cast<Atom>(event.xclient.data.l[0]) == p->deleteWindow) {
            p->closedByUser = true;
        } else if (event.type == DestroyNotify && event.xdestroywindow.window == p->window) {
            p->windowAlive = false;
        }
    }
    return usable(p) && p->windowAlive && !p->closedByUser;
}

void closeHostXWindow(std::uint32_t window) {
    closePresenter(takeHostWindow(window, true));
}

}  // namespace cqp
