// The editor of the built plug-in inside a real X11 window, as a Linux host shows it: each
// suite starts its own Xvfb on a free display (and stops it), makes a top-level X window the
// editor's parent, drives audio and idle through the record, and looks at the X server's
// pixels, windows and the process's connections.
#include <dirent.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "abi/loaded_module.h"
#if defined(CQSCOPE_CLAP_PATH)
#include "clap/clap_interface.h"
#endif
#include "display/display_geometry.h"
#include "frame/host_interface.h"

// Last: X's macros (None, Bool, Status, ...) would break the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#if defined(__SANITIZE_THREAD__)
#define CQSCOPE_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define CQSCOPE_TSAN 1
#endif
#endif

namespace {

// The plug-in's own window system, in which its editor's parent windows must live.
const CqpHostCalls& windows() {
    return moduleWindows(CQSCOPE_PLUGIN_PATH);
}

constexpr int kWidth = display::kWidth;
constexpr int kHeight = display::kHeight;
constexpr std::uint32_t kGreyPixel = display::pixelOf(display::kGrey);
constexpr std::uint32_t kWhitePixel = display::pixelOf(display::kWhite);
constexpr int kBlock = 512;

// ---- The virtual X server ----

std::string findXvfb() {
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string candidate = dirs.substr(start, end - start) + "/Xvfb";
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return {};
}

// An Xvfb on a display number it picks itself (-displayfd), stopped on destruction.
class VirtualServer {
  public:
    bool start(std::string& why) {
        const std::string xvfb = findXvfb();
        if (xvfb.empty()) {
            why = "Xvfb is not installed";
            return false;
        }
        int fds[2];
        if (pipe(fds) != 0) {
            why = "pipe failed";
            return false;
        }
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);  // no server outlives a test that dies
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            execl(xvfb.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen",
                  "0", "1920x1080x24", "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        while (poll(&p, 1, 10000) > 0) {
            char c;
            if (read(fds[0], &c, 1) != 1 || c == '\n') break;
            number += c;
        }
        close(fds[0]);
        if (number.empty()) {
            why = "Xvfb did not report a display";
            stop();
            return false;
        }
        name_ = ":" + number;
        return true;
    }
    void stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    ~VirtualServer() { stop(); }
    const std::string& name() const { return name_; }

  private:
    pid_t pid_ = -1;
    std::string name_;
};

// ---- The plug-in, loaded as a host loads it ----

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

class Plugin {
  public:
    explicit Plugin(const char* path = CQSCOPE_PLUGIN_PATH) {
        library_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (library_ == nullptr) {
            ADD_FAILURE() << dlerror();
            return;
        }
        using Entry = AEffect* (*)(audioMasterCallback);
        auto entry = reinterpret_cast<Entry>(dlsym(library_, "VSTPluginMain"));
        if (entry != nullptr) effect = entry(host);
        if (effect == nullptr) return;
        dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
        dispatch(effSetBlockSize, 0, kBlock);
        dispatch(effMainsChanged, 0, 1);
        // Kernels are built beside; a host of ours waits for them before the first block.
        const CqpHostCalls* calls = hostCallsOf(library_);
        EXPECT_TRUE(calls != nullptr && hasAnalysisWait(*calls) && calls->waitForAnalysis(60000));
    }
    ~Plugin() {
        if (effect != nullptr) dispatch(effClose);
        if (library_ != nullptr) dlclose(library_);
    }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }
    bool open(::Window parent) {
        return dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent)) == 1;
    }
    // Half a second of a loud A4 (about 440 Hz).
    void playTone() {
        std::vector<float> in(kBlock), out(kBlock);
        float* inputs[] = {in.data(), in.data()};
        float* outputs[] = {out.data(), out.data()};
        for (int block = 0; block < 100; ++block) {
            for (int i = 0; i < kBlock; ++i, ++frame_) {
                in[i] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 440.0 *
                                                          static_cast<double>(frame_) / 44100.0));
            }
            effect->processReplacing(effect, inputs, outputs, kBlock);
        }
    }
    // One refresh period and the host's idle calls after it.
    void tick() {
        windows().advanceClock(100);
        for (int i = 0; i < 3; ++i) dispatch(effEditIdle);
    }

    AEffect* effect = nullptr;

  private:
    void* library_ = nullptr;
    long frame_ = 0;
};

class ManualClock {
  public:
    ManualClock() { windows().setManualClock(TRUE, 10000); }
    ~ManualClock() { windows().setManualClock(FALSE, 0); }
};

// What the library drew into `window`, read through the window system of the module that made
// it (the VST 2 module's by default).
std::vector<std::uint32_t> libraryPixels(HWND window, const CqpHostCalls& calls = windows()) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(kWidth) * kHeight);
    if (!calls.readWindowPixels(window, reinterpret_cast<DWORD*>(pixels.data()), kWidth, kHeight)) {
        pixels.clear();
    }
    return pixels;
}

int openDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr) ++count;
        closedir(dir);
    }
    return count;
}

int hostErrors = 0;
int countingHandler(Display*, XErrorEvent*) {
    ++hostErrors;
    return 0;
}

class X11Editor : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        server_ = new VirtualServer;
        if (!server_->start(why_)) return;
        setenv("DISPLAY", server_->name().c_str(), 1);
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
        unsetenv("DISPLAY");
    }
    void SetUp() override {
        if (server_->name().empty()) GTEST_SKIP() << why_;
        display = XOpenDisplay(nullptr);
        ASSERT_NE(display, nullptr) << "cannot reach " << server_->name();
        hostErrors = 0;
        previousHandler_ = XSetErrorHandler(countingHandler);
    }
    void TearDown() override {
        if (display != nullptr) {
            XSync(display, False);
            XSetErrorHandler(previousHandler_);
            XCloseDisplay(display);
        }
    }

    // A host's editor window: top-level, unmanaged, mapped at the screen's corner.
    ::Window makeParent() {
        XSetWindowAttributes set{};
        set.override_redirect = True;
        set.background_pixel = WhitePixel(display, DefaultScreen(display));
        ::Window parent = XCreateWindow(display, DefaultRootWindow(display), 0, 0, kWidth, kHeight,
                                        0, CopyFromParent, InputOutput, CopyFromParent,
                                        CWOverrideRedirect | CWBackPixel, &set);
        XMapWindow(display, parent);
        XSync(display, False);
        return parent;
    }

    unsigned childCount(::Window parent) {
        ::Window root = 0;
        ::Window up = 0;
        ::Window* children = nullptr;
        unsigned count = 0;
        XSync(display, False);
        if (XQueryTree(display, parent, &root, &up, &children, &count) == 0) return 0;
        if (children != nullptr) XFree(children);
        return count;
    }

    // What the X server shows in the window, as 0x00RRGGBB (24-bit TrueColor).
    std::vector<std::uint32_t> serverPixels(::Window window) {
        std::vector<std::uint32_t> pixels;
        XImage* image = XGetImage(display, window, 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);
        if (image == nullptr) return pixels;
        pixels.resize(static_cast<std::size_t>(kWidth) * kHeight);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                pixels[static_cast<std::size_t>(y) * kWidth + x] =
                    static_cast<std::uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFF;
            }
        }
        XDestroyImage(image);
        return pixels;
    }

    // The server's copy of the display agrees with the library's surface once the presenter's
    // requests have been served; the host keeps calling idle meanwhile (up to two seconds).
    ::testing::AssertionResult showsTheSurface(Plugin& plugin, HWND window, ::Window xWindow) {
        std::size_t differing = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        do {
            plugin.dispatch(effEditIdle);
            const auto expected = libraryPixels(window);
            const auto shown = serverPixels(xWindow);
            if (expected.empty() || shown.size() != expected.size()) {
                return ::testing::AssertionFailure() << "pixels unreadable";
            }
            differing = 0;
            for (std::size_t i = 0; i < expected.size(); ++i) differing += expected[i] != shown[i];
            if (differing == 0) return ::testing::AssertionSuccess();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        } while (std::chrono::steady_clock::now() < deadline);
        return ::testing::AssertionFailure() << differing << " pixels differ";
    }

    // The most windows of ours (editors) inside one top-level window of the given size.
    unsigned editorsInTopWindow(int width, int height) {
        ::Window root = 0;
        ::Window up = 0;
        ::Window* tops = nullptr;
        unsigned count = 0;
        unsigned most = 0;
        if (XQueryTree(display, DefaultRootWindow(display), &root, &up, &tops, &count) == 0)
            return 0;
        for (unsigned t = 0; t < count; ++t) {
            XWindowAttributes a{};
            if (XGetWindowAttributes(display, tops[t], &a) != 0 && a.width == width &&
                a.height == height) {
                most = std::max(most, childCount(tops[t]));
            }
        }
        if (tops != nullptr) XFree(tops);
        return most;
    }

    // Runs cqscope-host `command` (a watch) on the test's server and answers its exit status;
    // `shown` receives how many editors it showed inside its window of width x height.
    int watchShowing(const std::vector<std::string>& command, int width, int height,
                     unsigned& shown);

    // What `xrdb` loads: the server's resource database (the root window's RESOURCE_MANAGER)
    // made "Xft.dpi: dpi", or removed for 0. Connections opened afterwards read it.
    void setScreenDpi(int dpi) {
        const Atom property = XInternAtom(display, "RESOURCE_MANAGER", False);
        if (dpi == 0) {
            XDeleteProperty(display, DefaultRootWindow(display), property);
        } else {
            const std::string text = "Xft.antialias:\t1\nXft.dpi:\t" + std::to_string(dpi) + "\n";
            XChangeProperty(display, DefaultRootWindow(display), property, XA_STRING, 8,
                            PropModeReplace, reinterpret_cast<const unsigned char*>(text.data()),
                            static_cast<int>(text.size()));
        }
        XSync(display, False);
    }

    // A real pointer click (XTest) at a point of an X window.
    void click(::Window window, int x, int y) {
        movePointer(window, x, y);
        XTestFakeButtonEvent(display, 1, True, CurrentTime);
        XTestFakeButtonEvent(display, 1, False, CurrentTime);
        XSync(display, False);
    }

    // The editor opened in a new host window, on screen: the library's window and the X
    // window that shows it.
    struct OnScreen {
        ::Window parent = 0;
        HWND window = nullptr;
        ::Window xWindow = 0;
    };
    OnScreen openOnScreen(Plugin& plugin) {
        OnScreen shown;
        shown.parent = makeParent();
        EXPECT_TRUE(plugin.open(shown.parent));
        shown.window = windows().findForeignChild(shown.parent);
        if (shown.window != nullptr) shown.xWindow = windows().presentedXWindow(shown.window);
        return shown;
    }

    // A real pointer motion (XTest) to a point of an X window (the root's, for null).
    void movePointer(::Window window, int x, int y) {
        int rootX = x;
        int rootY = y;
        ::Window child = 0;
        if (window != 0) {
            XTranslateCoordinates(display, window, DefaultRootWindow(display), x, y, &rootX, &rootY,
                                  &child);
        }
        XTestFakeMotionEvent(display, DefaultScreen(display), rootX, rootY, CurrentTime);
        XSync(display, False);
    }

    Display* display = nullptr;
    static VirtualServer* server_;
    static std::string why_;

  private:
    XErrorHandler previousHandler_ = nullptr;
};

VirtualServer* X11Editor::server_ = nullptr;
std::string X11Editor::why_;

// The top-left pixel of the Hold image: grey while live, white while held.
std::uint32_t holdCorner(HWND window, const CqpHostCalls& calls = windows()) {
    const auto pixels = libraryPixels(window, calls);
    return pixels.empty()
               ? 0xDEADBEEF
               : pixels[static_cast<std::size_t>(display::kHoldY) * kWidth + display::kHoldX];
}

}  // namespace

TEST_F(X11Editor, ShowsExactlyWhatTheLibraryDrewAndItsHoldButtonAnswersRealClicks) {
    ManualClock clock;
    Plugin plugin;
    ASSERT_NE(plugin.effect, nullptr);
    const auto [parent, window, xWindow] = openOnScreen(plugin);
    ASSERT_NE(window, nullptr);
    ASSERT_NE(xWindow, 0u);
    EXPECT_EQ(childCount(parent), 1u);
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, xWindow, &attributes);
    EXPECT_EQ(attributes.width, kWidth);
    EXPECT_EQ(attributes.height, kHeight);
    EXPECT_EQ(attributes.map_state, IsViewable);

    plugin.playTone();
    plugin.tick();
    const auto drawn = libraryPixels(window);
    int green = 0;
    for (std::uint32_t p : drawn) green += ((p >> 8) & 0xFF) == 0xFF && p != 0xFFFFFF;
    ASSERT_GT(green, 1000) << "the tone should draw bars";
    EXPECT_TRUE(showsTheSurface(plugin, window, xWindow));

    // Exposure: the server loses the window's content (unmapped and mapped again); the next
    // idle puts it back.
    XUnmapWindow(display, xWindow);
    XMapWindow(display, xWindow);
    XSync(display, False);
    EXPECT_TRUE(showsTheSurface(plugin, window, xWindow));

    // A real click on Hold holds (white image), a second one a second later resumes (grey).
    EXPECT_EQ(holdCorner(window), kGreyPixel);
    click(xWindow, display::kHoldClickX, display::kHoldClickY);
    for (int i = 0; i < 200 && holdCorner(window) != kWhitePixel; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        plugin.dispatch(effEditIdle);
    }
    EXPECT_EQ(holdCorner(window), kWhitePixel);
    EXPECT_TRUE(showsTheSurface(plugin, window, xWindow));
    // Held: new audio changes nothing.
    const auto held = libraryPixels(window);
    plugin.playTone();
    plugin.tick();
    EXPECT_EQ(libraryPixels(window), held);

    windows().advanceClock(1000);  // no double click
    click(xWindow, display::kHoldClickX, display::kHoldClickY);
    for (int i = 0; i < 200 && holdCorner(window) != kGreyPixel; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        plugin.dispatch(effEditIdle);
    }
    EXPECT_EQ(holdCorner(window), kGreyPixel);
    // A click beside the button does nothing.
    windows().advanceClock(1000);
    click(xWindow, 500, 100);
    for (int i = 0; i < 10; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        plugin.dispatch(effEditIdle);
    }
    EXPECT_EQ(holdCorner(window), kGreyPixel);

    plugin.dispatch(effEditClose);
    EXPECT_EQ(childCount(parent), 0u);
    XDestroyWindow(display, parent);
    XSync(display, False);
    EXPECT_EQ(hostErrors, 0);
}

// The real pointer over the editor's X window brings the readout's cursor line to its
// column; moved out of the window, the readout goes and the picture is as before.
TEST_F(X11Editor, RealPointerOverTheEditorShowsTheReadoutUntilItLeaves) {
    ManualClock clock;
    Plugin plugin;
    ASSERT_NE(plugin.effect, nullptr);
    const auto [parent, window, xWindow] = openOnScreen(plugin);
    ASSERT_NE(window, nullptr);
    ASSERT_NE(xWindow, 0u);
    movePointer(0, kWidth + 100, kHeight + 100);
    plugin.playTone();
    plugin.tick();
    const auto before = libraryPixels(window);
    const std::uint32_t yellow = display::pixelOf(display::kCursorYellow);
    // (A structured binding cannot be captured by clang: the window goes in by value.)
    const auto cursorAt = [&, shown = window](int column) {
        const auto pixels = libraryPixels(shown);
        return !pixels.empty() && pixels[400u * kWidth + column] == yellow;
    };

    movePointer(xWindow, 455, 300);
    for (int i = 0; i < 200 && !cursorAt(455); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        plugin.dispatch(effEditIdle);
    }
    EXPECT_TRUE(cursorAt(455));
    EXPECT_TRUE(showsTheSurface(plugin, window, xWindow));

    movePointer(0, kWidth + 100, kHeight + 100);
    for (int i = 0; i < 200 && libraryPixels(window) != before; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        plugin.dispatch(effEditIdle);
    }
    EXPECT_EQ(libraryPixels(window), before);

    plugin.dispatch(effEditClose);
    XDestroyWindow(display, parent);
    XSync(display, False);
    EXPECT_EQ(hostErrors, 0);
}

#if defined(CQSCOPE_CLAP_PATH)
namespace {

// A CLAP host that offers fd support (or not) and timer support, and records the descriptors
// the plug-in registers. The test fires the timer itself, where it says so.
struct FdHost {
    static FdHost& of(const clap_host* host) { return *static_cast<FdHost*>(host->host_data); }
    static bool CLAP_ABI registerFd(const clap_host* host, int fd, std::uint32_t flags) {
        of(host).fds.push_back({fd, flags});
        return true;
    }
    static bool CLAP_ABI modifyFd(const clap_host*, int, std::uint32_t) { return false; }
    static bool CLAP_ABI unregisterFd(const clap_host* host, int fd) {
        auto& fds = of(host).fds;
        const auto before = fds.size();
        std::erase_if(fds, [fd](const auto& entry) { return entry.first == fd; });
        return fds.size() < before;
    }
    static bool CLAP_ABI registerTimer(const clap_host*, std::uint32_t, clap_id* id) {
        *id = 7;
        return true;
    }
    static bool CLAP_ABI unregisterTimer(const clap_host*, clap_id) { return true; }
    static const void* CLAP_ABI extension(const clap_host* host, const char* id) {
        static constexpr clap_host_posix_fd_support fdSupport{registerFd, modifyFd, unregisterFd};
        static constexpr clap_host_timer_support timerSupport{registerTimer, unregisterTimer};
        if (std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) == 0)
            return of(host).offerFds ? &fdSupport : nullptr;
        if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &timerSupport;
        return nullptr;
    }

    explicit FdHost(bool offer) : offerFds(offer) {}
    bool offerFds;
    std::vector<std::pair<int, std::uint32_t>> fds;
    clap_host host{CLAP_VERSION,
                   this,
                   "fd host",
                   "",
                   "",
                   "1",
                   extension,
                   [](const clap_host*) {},
                   [](const clap_host*) {},
                   [](const clap_host*) {}};
};

// cqscope.clap loaded as a host loads it, its GUI embedded in an X window of the test's.
class ClapEditor {
  public:
    ClapEditor(FdHost& host, ::Window parent) {
        static const LoadedModule module(CQSCOPE_CLAP_PATH);
        windows = module.windows;
        if (windows == nullptr) return;
        windows->setManualClock(TRUE, 10000);
        entry_ = static_cast<const clap_plugin_entry*>(dlsym(module.handle, "clap_entry"));
        if (entry_ == nullptr || !entry_->init(CQSCOPE_CLAP_PATH)) {
            entry_ = nullptr;
            return;
        }
        const auto* factory =
            static_cast<const clap_plugin_factory*>(entry_->get_factory(CLAP_PLUGIN_FACTORY_ID));
        plugin = factory->create_plugin(factory, &host.host,
                                        factory->get_plugin_descriptor(factory, 0)->id);
        if (plugin == nullptr || !plugin->init(plugin) || !plugin->activate(plugin, 44100, 1, 512))
            return;
        gui_ = static_cast<const clap_plugin_gui*>(plugin->get_extension(plugin, CLAP_EXT_GUI));
        fds_ = static_cast<const clap_plugin_posix_fd_support*>(
            plugin->get_extension(plugin, CLAP_EXT_POSIX_FD_SUPPORT));
        clap_window window{CLAP_WINDOW_API_X11, {}};
        window.x11 = parent;
        open = gui_ != nullptr && gui_->create(plugin, CLAP_WINDOW_API_X11, false) &&
               gui_->set_parent(plugin, &window) && gui_->show(plugin);
    }
    ~ClapEditor() {
        if (plugin != nullptr) {
            closeGui();
            plugin->destroy(plugin);
        }
        if (entry_ != nullptr) entry_->deinit();
        if (windows != nullptr) windows->setManualClock(FALSE, 0);
    }
    void closeGui() {
        if (gui_ != nullptr) gui_->destroy(plugin);
        gui_ = nullptr;
    }
    bool setScale(double scale) { return gui_ != nullptr && gui_->set_scale(plugin, scale); }
    // Polls `fd` as a host's loop does, for up to `ms` milliseconds, and calls on_fd when it is
    // readable; answers whether it was.
    bool serviceFd(int fd, int ms) {
        pollfd polled{fd, POLLIN, 0};
        if (::poll(&polled, 1, ms) <= 0) return false;
        fds_->on_fd(plugin, fd, (polled.revents & POLLIN) != 0 ? CLAP_POSIX_FD_READ : 0u);
        return true;
    }

    // Services `fd` until it stays quiet for `ms` milliseconds; false when it never does
    // (its events are not being read).
    bool drain(int fd, int ms) {
        for (int i = 0; i < 100; ++i) {
            if (!serviceFd(fd, ms)) return true;
        }
        return false;
    }
    // A refresh period passes and the host's one timer fires (the test's only refresh).
    void fireTimer() {
        const auto* timers = static_cast<const clap_plugin_timer_support*>(
            plugin->get_extension(plugin, CLAP_EXT_TIMER_SUPPORT));
        windows->advanceClock(100);
        for (int i = 0; i < 3; ++i) timers->on_timer(plugin, 7);
    }

    const clap_plugin* plugin = nullptr;
    const CqpHostCalls* windows = nullptr;  // the .clap's own window system
    bool open = false;

  private:
    const clap_plugin_entry* entry_ = nullptr;
    const clap_plugin_gui* gui_ = nullptr;
    const clap_plugin_posix_fd_support* fds_ = nullptr;
};

}  // namespace

TEST_F(X11Editor, ClapDisplayRegistersItsXConnectionAndHandlesAClickThroughIt) {
    const ::Window parent = makeParent();
    FdHost host(true);
    {
        ClapEditor editor(host, parent);
        ASSERT_TRUE(editor.open);
        // One descriptor, the display's X connection, polled for reading and errors.
        ASSERT_EQ(host.fds.size(), 1u);
        const int fd = host.fds[0].first;
        EXPECT_EQ(host.fds[0].second, CLAP_POSIX_FD_READ | CLAP_POSIX_FD_ERROR);
        struct stat status {};
        ASSERT_EQ(fstat(fd, &status), 0);
        EXPECT_TRUE(S_ISSOCK(status.st_mode));

        const HWND window = editor.windows->findForeignChild(parent);
        ASSERT_NE(window, nullptr);
        const ::Window xWindow = editor.windows->presentedXWindow(window);
        ASSERT_NE(xWindow, 0u);
        // One refresh draws the display; whatever the server sent since the window appeared is
        // read through the descriptor.
        editor.fireTimer();
        EXPECT_TRUE(editor.drain(fd, 200));
        ASSERT_EQ(holdCorner(window, *editor.windows), kGreyPixel);

        // The timer never fires: the click reaches the display only through the descriptor.
        click(xWindow, display::kHoldClickX, display::kHoldClickY);
        bool readable = false;
        for (int i = 0; i < 100 && holdCorner(window, *editor.windows) != kWhitePixel; ++i)
            readable = editor.serviceFd(fd, 20) || readable;
        EXPECT_TRUE(readable);
        EXPECT_EQ(holdCorner(window, *editor.windows), kWhitePixel);
        // All of it read: the descriptor is quiet again.
        EXPECT_TRUE(editor.drain(fd, 50));

        // Closing the GUI takes the descriptor out of the host's loop before it is closed.
        editor.closeGui();
        EXPECT_TRUE(host.fds.empty());
    }
    // A host without fd support is asked for nothing, and the display still opens.
    FdHost plain(false);
    {
        ClapEditor editor(plain, parent);
        EXPECT_TRUE(editor.open);
        EXPECT_TRUE(plain.fds.empty());
        // A scale told once the GUI is in its parent: the display is there again, at factor 2.
        ASSERT_TRUE(editor.setScale(2.0));
        const HWND window = editor.windows->findForeignChild(parent);
        ASSERT_NE(window, nullptr);
        XWindowAttributes attributes{};
        XGetWindowAttributes(display, editor.windows->presentedXWindow(window), &attributes);
        EXPECT_EQ(attributes.width, 2 * kWidth);
        EXPECT_EQ(attributes.height, 2 * kHeight);
    }
    XDestroyWindow(display, parent);
    XSync(display, False);
    EXPECT_EQ(hostErrors, 0);
}
#endif

TEST_F(X11Editor, OpenAndCloseAHundredTimesLeavesNoWindowsOrConnections) {
    ManualClock clock;
    const ::Window parent = makeParent();
    const int objects = windows().liveObjectCount();
    int descriptors = -1;
    {
        Plugin plugin;
        ASSERT_NE(plugin.effect, nullptr);
        for (int cycle = 0; cycle < 100; ++cycle) {
            ASSERT_TRUE(plugin.open(parent));
            plugin.tick();
            ASSERT_EQ(childCount(parent), 1u) << "cycle " << cycle;
            plugin.dispatch(effEditClose);
            ASSERT_EQ(childCount(parent), 0u) << "cycle " << cycle;
            if (cycle == 0) descriptors = openDescriptors();
            ASSERT_EQ(openDescriptors(), descriptors) << "cycle " << cycle;
        }
    }
    EXPECT_EQ(windows().liveObjectCount(), objects);
    XDestroyWindow(display, parent);
    XSync(display, False);
    EXPECT_EQ(hostErrors, 0);
}

TEST_F(X11Editor, HostThatDestroysTheParentFirstCrashesNothingAndKeepsItsErrorHandler) {
    ManualClock clock;
    Plugin plugin;
    ASSERT_NE(plugin.effect, nullptr);
    const ::Window parent = makeParent();
    ASSERT_TRUE(plugin.open(parent));
    plugin.playTone();
    plugin.tick();
    const HWND window = windows().findForeignChild(parent);
    ASSERT_NE(window, nullptr);

    XDestroyWindow(display, parent);
    XSync(display, False);
    // The editor goes on drawing (off screen now) until the host closes it.
    plugin.playTone();
    plugin.tick();
    plugin.tick();
    EXPECT_EQ(windows().presentedXWindow(window), 0u);
    plugin.dispatch(effEditClose);
    // The same again with a parent destroyed right after open, before any idle.
    const ::Window second = makeParent();
    ASSERT_TRUE(plugin.open(second));
    XDestroyWindow(display, second);
    XSync(display, False);
    plugin.tick();
    plugin.dispatch(effEditClose);

    // None of our errors reached the host's handler, which is in place again.
    XSync(display, False);
    EXPECT_EQ(hostErrors, 0);
    XErrorHandler current = XSetErrorHandler(countingHandler);
    EXPECT_EQ(current, countingHandler);
}

TEST_F(X11Editor, ParentThatIsNoWindowOrNoDisplayStillDrawsOffScreen) {
    ManualClock clock;
    Plugin plugin;
    ASSERT_NE(plugin.effect, nullptr);
    const std::string server = std::getenv("DISPLAY");
    for (const char* setting : {"", ":none", "/nonexistent/socket:0"}) {
        SCOPED_TRACE(setting);
        // A window id the server never gave out, then no reachable server at all.
        if (setting[0] != '\0') setenv("DISPLAY", setting, 1);
        const ::Window bogus = 0x1FFFFF01;
        ASSERT_TRUE(plugin.open(bogus));
        const HWND window = windows().findForeignChild(bogus);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(windows().presentedXWindow(window), 0u);
        plugin.playTone();
        plugin.tick();
        EXPECT_EQ(holdCorner(window), kGreyPixel);
        plugin.dispatch(effEditClose);
        EXPECT_EQ(windows().findForeignChild(bogus), nullptr);
    }
    setenv("DISPLAY", server.c_str(), 1);
    EXPECT_EQ(hostErrors, 0);
}

TEST_F(X11Editor, ServerThatGoesAwayWhileTheEditorIsOpenCrashesNothing) {
#if defined(CQSCOPE_TSAN)
    // On a lost connection libX11 releases its display lock twice inside XPending (harmless
    // for a connection used by one thread, as ours are), which the thread sanitizer reports.
    GTEST_SKIP() << "libX11's lost-connection path is not thread-sanitizer clean";
#endif
    ManualClock clock;
    // A server of this test's own, so the others keep theirs.
    VirtualServer doomed;
    std::string why;
    ASSERT_TRUE(doomed.start(why)) << why;
    const std::string server = std::getenv("DISPLAY");
    setenv("DISPLAY", doomed.name().c_str(), 1);
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    const ::Window parent =
        XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, kWidth, kHeight, 0, 0, 0);
    XMapWindow(other, parent);
    // The parent outlives this connection, which is closed while the server still runs.
    XSetCloseDownMode(other, RetainPermanent);
    XCloseDisplay(other);
    {
        Plugin plugin;
        ASSERT_NE(plugin.effect, nullptr);
        ASSERT_TRUE(plugin.open(parent));
        plugin.tick();
        ASSERT_NE(windows().presentedXWindow(windows().findForeignChild(parent)), 0u);
        doomed.stop();
        plugin.playTone();
        plugin.tick();
        plugin.tick();
        plugin.dispatch(effEditClose);
    }
    setenv("DISPLAY", server.c_str(), 1);
    // The host's handlers are its own again.
    XIOErrorHandler io = XSetIOErrorHandler(nullptr);
    XSetIOErrorHandler(io);
    EXPECT_EQ(XSetErrorHandler(countingHandler), countingHandler);
    (void)io;
}

#if defined(CQSCOPE_OTHER_PLUGIN_PATH)
TEST_F(X11Editor, CopyUnloadedUnderAnotherCopysErrorHandlerLeavesTheChainWorking) {
    // Two copies of the plug-in on screen: the other copy's X error handler goes over this
    // copy's, which goes over the host's, and each passes errors not of its own connections on.
    ManualClock clock;
    const ::Window firstParent = makeParent();
    const ::Window secondParent = makeParent();
    auto first = std::make_unique<Plugin>(CQSCOPE_OTHER_PLUGIN_PATH);
    ASSERT_NE(first->effect, nullptr);
    ASSERT_TRUE(first->open(firstParent));
    Plugin second;
    ASSERT_NE(second.effect, nullptr);
    ASSERT_TRUE(second.open(secondParent));
    // The first copy closes and is unloaded (nothing else holds it) while the second one's
    // handler still chains to it.
    first->dispatch(effEditClose);
    first.reset();
    // An error of the host's own connection runs through the whole chain to the host.
    XMapWindow(display, 0x3FFFFF0);
    XSync(display, False);
    EXPECT_EQ(hostErrors, 1);
    second.dispatch(effEditClose);
    XMapWindow(display, 0x3FFFFF1);
    XSync(display, False);
    EXPECT_EQ(hostErrors, 2);
    XDestroyWindow(display, firstParent);
    XDestroyWindow(display, secondParent);
}
#endif

TEST_F(X11Editor, PlainXPutImageShowsTheSameAsSharedMemory) {
    ManualClock clock;
    setenv("CQSCOPE_X11_NO_SHM", "1", 1);
    Plugin plugin;
    ASSERT_NE(plugin.effect, nullptr);
    const ::Window parent = makeParent();
    ASSERT_TRUE(plugin.open(parent));
    const HWND window = windows().findForeignChild(parent);
    ASSERT_NE(window, nullptr);
    plugin.playTone();
    plugin.tick();
    EXPECT_TRUE(showsTheSurface(plugin, window, windows().presentedXWindow(window)));
    plugin.dispatch(effEditClose);
    unsetenv("CQSCOPE_X11_NO_SHM");
    XDestroyWindow(display, parent);
}

#if defined(CQSCOPE_HOST_PATH)
// Runs cqscope-host with the given arguments; returns its exit status, or -1.
int runHost(const std::vector<std::string>& arguments, const char* display,
            const std::function<void()>& whileRunning = {}) {
    const pid_t child = fork();
    if (child == 0) {
        std::vector<char*> argv{const_cast<char*>(CQSCOPE_HOST_PATH)};
        for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (display != nullptr) {
            setenv("DISPLAY", display, 1);
        } else {
            unsetenv("DISPLAY");
        }
        execv(CQSCOPE_HOST_PATH, argv.data());
        _exit(127);
    }
    if (child < 0) return -1;
    if (whileRunning) whileRunning();
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int X11Editor::watchShowing(const std::vector<std::string>& command, int width, int height,
                            unsigned& shown) {
    shown = 0;
    return runHost(command, std::getenv("DISPLAY"), [&] {
        // Wait for the host's window with the editor's X window inside; it stays for the
        // watch's time once there, however long the host takes to start (sanitizer builds).
        for (int i = 0; i < 1500 && shown == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            shown = editorsInTopWindow(width, height);
        }
    });
}

// watch of the VST 2 module (the default) and of cqscope.clap.
std::vector<std::vector<std::string>> watchCommands() {
    std::vector<std::vector<std::string>> commands = {{"watch", "--seconds", "1.5"}};
#if defined(CQSCOPE_CLAP_PATH)
    commands.push_back({"watch", "--seconds", "1.5", "--plugin", CQSCOPE_CLAP_PATH});
#endif
    return commands;
}

// watch of the VST 2 module (the default) and of cqscope.clap, whose GUI goes into the same
// kind of window with its X connection in the host's loop.
TEST_F(X11Editor, WatchShowsTheEditorInATopLevelWindowUntilItsTimeIsUp) {
    for (const auto& command : watchCommands()) {
        unsigned shown = 0;
        const int status = watchShowing(command, kWidth, kHeight, shown);
        EXPECT_EQ(status, 0) << command.back();
        EXPECT_EQ(shown, 1u) << "no editor window inside a host window: " << command.back();
    }
    // Without a display it says so and fails.
    EXPECT_EQ(runHost({"watch", "--seconds", "1"}, nullptr), 1);
}
#endif

namespace {

// The pixels of a window of the module's window system, `factor` times the display's size.
std::vector<std::uint32_t> scaledPixels(HWND window, int factor) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(kWidth) * kHeight * factor * factor);
    if (!windows().readWindowPixels(window, reinterpret_cast<DWORD*>(pixels.data()),
                                    kWidth * factor, kHeight * factor)) {
        pixels.clear();
    }
    return pixels;
}

}  // namespace

// VST 2 tells an editor no scale: the editor follows the X server's Xft.dpi as xrdb sets it
// (2 from 144 dpi, 3 from 240), reports that size, shows each pixel as a block and takes a
// real click on Hold where the scaled button is. cqscope-host's watch gives it, and the CLAP
// GUI (told by set_scale), a window of that size.
TEST_F(X11Editor, Vst2EditorFollowsXftDpiShowsBlocksAndHoldsOnARealClickAtFactorTwo) {
    using Self = std::remove_pointer_t<decltype(this)>;
    struct Restore {
        Self* test;
        ~Restore() { test->setScreenDpi(0); }
    } restore{this};
    ManualClock clock;
    Plugin plugin;
    ASSERT_NE(plugin.effect, nullptr);
    const auto rectangle = [&] {
        ERect* rect = nullptr;
        plugin.dispatch(effEditGetRect, 0, 0, &rect);
        return rect != nullptr ? std::make_pair(rect->right - rect->left, rect->bottom - rect->top)
                               : std::make_pair(0, 0);
    };
    EXPECT_EQ(rectangle(), std::make_pair(kWidth, kHeight));
    setScreenDpi(240);
    EXPECT_EQ(rectangle(), std::make_pair(kWidth * 3, kHeight * 3));
    setScreenDpi(143);
    EXPECT_EQ(rectangle(), std::make_pair(kWidth, kHeight));
    setScreenDpi(192);
    ASSERT_EQ(rectangle(), std::make_pair(kWidth * 2, kHeight * 2));

    XSetWindowAttributes set{};
    set.override_redirect = True;
    const ::Window parent =
        XCreateWindow(display, DefaultRootWindow(display), 0, 0, kWidth * 2, kHeight * 2, 0,
                      CopyFromParent, InputOutput, CopyFromParent, CWOverrideRedirect, &set);
    XMapWindow(display, parent);
    XSync(display, False);
    ASSERT_TRUE(plugin.open(parent));
    const HWND window = windows().findForeignChild(parent);
    ASSERT_NE(window, nullptr);
    const ::Window xWindow = windows().presentedXWindow(window);
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, xWindow, &attributes);
    EXPECT_EQ(attributes.width, kWidth * 2);
    EXPECT_EQ(attributes.height, kHeight * 2);

    plugin.playTone();
    plugin.tick();
    const auto shown = scaledPixels(window, 2);
    ASSERT_FALSE(shown.empty());
    long unlikeTheirBlock = 0;
    int green = 0;
    for (int y = 0; y < kHeight * 2; ++y) {
        for (int x = 0; x < kWidth * 2; ++x) {
            const std::uint32_t p = shown[static_cast<std::size_t>(y) * kWidth * 2 + x];
            unlikeTheirBlock +=
                p != shown[static_cast<std::size_t>(y & ~1) * kWidth * 2 + (x & ~1)];
            green += ((p >> 8) & 0xFF) == 0xFF && p != 0xFFFFFF;
        }
    }
    EXPECT_EQ(unlikeTheirBlock, 0);
    EXPECT_GT(green, 4000) << "the tone should draw bars";

    const auto holdCornerPixel = [&] {
        const auto pixels = scaledPixels(window, 2);
        return pixels.empty() ? 0xDEADBEEF
                              : pixels[static_cast<std::size_t>(display::kHoldY * 2) * kWidth * 2 +
                                       display::kHoldX * 2];
    };
    EXPECT_EQ(holdCornerPixel(), kGreyPixel);
    // Inside the button as shown at factor 2, outside it at factor 1.
    click(xWindow, (display::kHoldX + display::kHoldWidth) * 2 - 3, display::kHoldHeight * 2 - 3);
    for (int i = 0; i < 200 && holdCornerPixel() != kWhitePixel; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        plugin.dispatch(effEditIdle);
    }
    EXPECT_EQ(holdCornerPixel(), kWhitePixel);
    plugin.dispatch(effEditClose);
    XDestroyWindow(display, parent);
    XSync(display, False);
    EXPECT_EQ(hostErrors, 0);

#if defined(CQSCOPE_HOST_PATH)
    // The host follows the screen too: its window for the editor is at factor 2.
    for (const auto& command : watchCommands()) {
        unsigned inside = 0;
        const int status = watchShowing(command, kWidth * 2, kHeight * 2, inside);
        EXPECT_EQ(status, 0) << command.back();
        EXPECT_EQ(inside, 1u) << "no editor in a host window at factor 2: " << command.back();
    }
#endif
}
