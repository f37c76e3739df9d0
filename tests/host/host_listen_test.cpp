// `cqscope-host listen` against a real JACK server: jackd's dummy backend at 48 kHz / 256
// frames (and 8 kHz / 16 frames), a sine from a JACK client of ours, held notes from JACK's own
// jack_midiseq, the window on Xvfb. A tone lands in its column and is named by --peaks, a held note
// lands in its stripe, a server that goes away ends listen with one line and a non-zero exit, and
// an X server with no other client (as Xvfb starts) shows listen's window at the scale of its
// Xft.dpi.
// Skipped, with the reason, where jackd, jack_midiseq or Xvfb is not installed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "display/display_geometry.h"
#include "host_test_support.h"

// After the others: Xlib's macros (None, Bool...) would break their declarations.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

extern char** environ;

using namespace cqhost_test;

namespace {

bool onPath(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// A program of ours started in the background, killed (by its id) and reaped with the object.
class Background {
  public:
    explicit Background(const std::vector<std::string>& args) {
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_GT(pid_, 0) << args[0];
    }
    ~Background() { stop(); }
    void stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }

  private:
    pid_t pid_ = -1;
};

// Runs `check` every 100 ms until it holds or `seconds` pass.
template <class Check>
bool within(double seconds, Check check) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (check()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// The readout's line for a 440 Hz tone; how many of them a listen test waits for (two seconds
// of refreshes with kernels: the lowest bins' windows full of the tone, and a held note of the
// looping sequencer seen), and how long at most.
constexpr const char* kA4Line = ": A4 +0 cents, 440.0 Hz\n";
constexpr size_t kA4Lines = 20;
constexpr double kListenLimitSeconds = 60.0;

// Column 125 (near 67 Hz), far below the tone, stays dark down to row 400 (about -87 dB). An
// xrun, which listen reports, cuts the tone: the cut is rightly drawn there for as long as the
// lowest bins' windows hold it (seconds), so the check is left out after one.
void expectNothingFarAway(const Image& picture, const std::string& listenErr) {
    if (listenErr.find(" xrun(s) while listening") != std::string::npos) return;
    constexpr std::uint32_t kGreen = display::pixelOf(display::kGreen);
    EXPECT_EQ(picture.at(125, 400) & kGreen, 0u) << listenErr;
}

class Listen : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* program : {"jackd", "jack_midiseq", "jack_lsp", "Xvfb"}) {
            if (!onPath(program))
                GTEST_SKIP() << program << " is not installed (Debian: jackd2, xvfb)";
        }
        // A server and a display of this test's own, beside whatever else runs.
        server_ = "cqscope-test-" + std::to_string(::getpid());
        ::setenv("JACK_DEFAULT_SERVER", server_.c_str(), 1);
        ::setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        const std::string number = std::to_string(200 + ::getpid() % 600);
        const std::string display = ":" + number;
        ::setenv("DISPLAY", display.c_str(), 1);
        // As `Xvfb` and `xvfb-run` start it: no client but the ones of the test, and a reset
        // when the last one goes (no -noreset, which would hide a program that lets the server
        // reset under it).
        xvfb_ = std::make_unique<Background>(std::vector<std::string>{
            "Xvfb", display, "-screen", "0", "1024x600x24", "-nolisten", "tcp"});
        // listen decides at its start whether a display is reachable: the server must be
        // taking connections (its socket is there) before any test starts it.
        const std::string socket = "/tmp/.X11-unix/X" + number;
        ASSERT_TRUE(within(10, [&] { return std::filesystem::exists(socket); }))
            << "Xvfb " << display << " did not come up";
        jackd_ = std::make_unique<Background>(std::vector<std::string>{
            "jackd", "-n", server_, "-d", "dummy", "-r", rate_, "-p", period_});
        ASSERT_TRUE(within(10, [] { return std::system("jack_lsp >/dev/null 2>&1") == 0; }))
            << "jackd -d dummy did not come up";
    }
    void TearDown() override {
        midi_.reset();
        tone_.reset();
        jackd_.reset();
        xvfb_.reset();
        removeServerSemaphores();
    }

    // The semaphores jackd and its clients left in /dev/shm for this test's server
    // ("jack_sem.UID_SERVER_CLIENT"): clients stopped by a signal do not remove theirs, and a
    // machine that runs the suite often would collect them.
    void removeServerSemaphores() const {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", error)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("jack_sem.", 0) == 0 &&
                name.find("_" + server_ + "_") != std::string::npos) {
                std::filesystem::remove(entry.path(), error);
            }
        }
    }

    // Waits until JACK lists `port`.
    bool portUp(const std::string& port) {
        return within(
            10, [&] { return std::system(("jack_lsp | grep -qx '" + port + "'").c_str()) == 0; });
    }

    std::string server_;
    std::string rate_ = "48000", period_ = "256";  // the server's, in Hz and frames
    std::unique_ptr<Background> xvfb_, jackd_, tone_, midi_;
    ScratchDir dir_;
};

TEST_F(Listen, AToneLandsInItsColumnAHeldNoteInItsStripeAndPeaksNameTheTone) {
    tone_ = std::make_unique<Background>(
        std::vector<std::string>{CQSCOPE_JACK_TONE, "tone", "440", "0.5"});
    // Note 60 on for all but the last sample of every second: held whenever a refresh looks.
    midi_ = std::make_unique<Background>(
        std::vector<std::string>{"jack_midiseq", "seq", "48000", "0", "60", "47999"});
    ASSERT_TRUE(portUp("tone:out"));
    ASSERT_TRUE(portUp("seq:out"));

    // Until the tone is named (the kernels are built beside, so the first refreshes may come
    // before them), then stopped as Ctrl-C stops it.
    const RunResult run =
        runHostUntil({"listen", "--connect", "tone:out", "--connect-midi", "seq:out", "--peaks",
                      "1", "--picture", dir_.file("live.png")},
                     kA4Line, kA4Lines, kListenLimitSeconds);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find(kA4Line), std::string::npos) << run.err;

    const Image picture = readPng(dir_.file("live.png"));
    ASSERT_EQ(picture.width, display::kWidth);
    constexpr std::uint32_t kGreen = display::pixelOf(display::kGreen);
    // A4 is column 450 (under its grid line): full bars beside it, none far away.
    EXPECT_EQ(picture.at(449, 100) & kGreen, kGreen);
    EXPECT_EQ(picture.at(451, 100) & kGreen, kGreen);
    expectNothingFarAway(picture, run.err);
    // C4's stripe (columns 356 to 363) over black at the top; none beside it.
    EXPECT_EQ(picture.at(357, 0), display::pixelOf(display::kNoteBlue));
    EXPECT_EQ(picture.at(364, 0), display::pixelOf(display::kBlack));
}

// Without an X display, and with --no-window where there is one, listen runs with the display
// in a window that is never shown: the readout and the picture as ever.
TEST_F(Listen, WithoutAWindowPeaksAndThePictureStillCome) {
    tone_ = std::make_unique<Background>(
        std::vector<std::string>{CQSCOPE_JACK_TONE, "tone", "440", "0.5"});
    ASSERT_TRUE(portUp("tone:out"));
    const std::string xDisplay = std::getenv("DISPLAY");
    const std::string noDisplay =
        "cqscope-host: no X display reachable (DISPLAY unset or its server down): listening "
        "without a window\n";
    for (const bool unreachable : {true, false}) {
        SCOPED_TRACE(unreachable ? "DISPLAY empty" : "--no-window");
        std::vector<std::string> args{"listen",
                                      "--connect",
                                      "tone:out",
                                      "--peaks",
                                      "1",
                                      "--picture",
                                      dir_.file("windowless.png")};
        if (unreachable) {
            ::setenv("DISPLAY", "", 1);
        } else {
            args.push_back("--no-window");
        }
        const RunResult run = runHostUntil(args, kA4Line, kA4Lines, kListenLimitSeconds);
        ::setenv("DISPLAY", xDisplay.c_str(), 1);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err.find(noDisplay) != std::string::npos, unreachable) << run.err;
        EXPECT_NE(run.err.find("; press Ctrl-C to stop\n"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(kA4Line), std::string::npos) << run.err;
        const Image picture = readPng(dir_.file("windowless.png"));
        ASSERT_EQ(picture.width, display::kWidth);
        constexpr std::uint32_t kGreen = display::pixelOf(display::kGreen);
        EXPECT_EQ(picture.at(449, 100) & kGreen, kGreen);
        expectNothingFarAway(picture, run.err);
    }
}

// A server at 8 kHz handing blocks of 16 frames: a 440 Hz tone at -20 dBFS is drawn and named
// as A4, with no bar and no peak at or above 4 kHz, where its alias near 7.56 kHz would read.
class ListenAt8kHz : public Listen {
  protected:
    ListenAt8kHz() {
        rate_ = "8000";
        period_ = "16";
    }
};

TEST_F(ListenAt8kHz, AToneInShortBlocksHasNoAliasAtOrAboveHalfTheRate) {
    tone_ = std::make_unique<Background>(
        std::vector<std::string>{CQSCOPE_JACK_TONE, "tone", "440", "0.1"});
    ASSERT_TRUE(portUp("tone:out"));
    const RunResult run = runHostUntil(
        {"listen", "--connect", "tone:out", "--peaks", "2", "--picture", dir_.file("live.png")},
        ": A4 +0 cents, 440.0 Hz", kA4Lines, kListenLimitSeconds);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find(": A4 +0 cents, 440.0 Hz"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("A#8"), std::string::npos) << run.err;

    const Image picture = readPng(dir_.file("live.png"));
    ASSERT_EQ(picture.width, display::kWidth);
    constexpr std::uint32_t kGreen = display::pixelOf(display::kGreen);
    EXPECT_EQ(picture.at(449, 200) & kGreen, kGreen);
    // Column 833 (4020 Hz) is the first at or above 4 kHz.
    for (int column = 833; column < display::kWidth; ++column) {
        for (int row = 0; row < display::kBarBaseRow; ++row) {
            ASSERT_NE(picture.at(column, row), kGreen) << column << "," << row;
        }
    }
}

// Runs listen until it says how it listens; whether it showed its window, and the width of its
// picture.
void listenUntilStarted(const ScratchDir& dir, bool& shown, int& width) {
    const std::string picture = dir.file("started.png");
    const RunResult run =
        runHostUntil({"listen", "--picture", picture}, "press Ctrl-C to stop", 1, 30);
    ASSERT_EQ(run.status, 0) << run.err;
    shown = run.err.find("close the window or press Ctrl-C to stop") != std::string::npos;
    EXPECT_EQ(run.err.find("no X display reachable"), std::string::npos) << run.err;
    width = readPng(picture).width;
}

// A client of the test's X server that sets the server's resource database (the root window's
// RESOURCE_MANAGER, what xrdb loads) to "Xft.dpi: dpi" and stays connected: the server keeps
// the resource while it has a client. Connects within 10 s (the server may be resetting).
class ResourceHolder {
  public:
    explicit ResourceHolder(int dpi) {
        within(10, [&] { return (display_ = XOpenDisplay(nullptr)) != nullptr; });
        if (display_ == nullptr) return;
        const std::string text = "Xft.dpi:\t" + std::to_string(dpi) + "\n";
        XChangeProperty(display_, DefaultRootWindow(display_),
                        XInternAtom(display_, "RESOURCE_MANAGER", False), XA_STRING, 8,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(text.data()),
                        static_cast<int>(text.size()));
        XSync(display_, False);
    }
    ~ResourceHolder() {
        if (display_ != nullptr) XCloseDisplay(display_);
    }
    ResourceHolder(const ResourceHolder&) = delete;
    ResourceHolder& operator=(const ResourceHolder&) = delete;
    bool connected() const { return display_ != nullptr; }

  private:
    Display* display_ = nullptr;
};

// On the test's X server, which has no other client, listen keeps the one connection of its
// window from the start, so the server does not reset under it: the window is shown, at
// factor 1 without Xft.dpi, and at the factor of the server's Xft.dpi where a client of the
// server's keeps that resource.
TEST_F(Listen, ShowsItsWindowOnAServerWithNoOtherClientAtTheScaleOfItsXftDpi) {
    bool shown = false;
    int width = 0;
    listenUntilStarted(dir_, shown, width);
    EXPECT_TRUE(shown) << "no window on a server with no other client";
    EXPECT_EQ(width, display::kWidth);

    const ResourceHolder holder(192);
    ASSERT_TRUE(holder.connected()) << "the X server took no connection";
    listenUntilStarted(dir_, shown, width);
    EXPECT_TRUE(shown);
    EXPECT_EQ(width, display::kWidth * 2);
}

TEST_F(Listen, AServerThatGoesAwayEndsListenWithOneLine) {
    tone_ = std::make_unique<Background>(
        std::vector<std::string>{CQSCOPE_JACK_TONE, "tone", "440", "0.5"});
    ASSERT_TRUE(portUp("tone:out"));
    RunResult run;
    std::thread listen([&] {
        run = runHost({"listen", "--connect", "tone:out", "--seconds", "20"});
    });
    // listen connects its input once its client is active: then the server goes.
    const bool connected = within(10, [] {
        return std::system("jack_lsp -c | grep -A1 -x 'cqscope:in_1' | grep -q 'tone:out'") == 0;
    });
    jackd_.reset();
    tone_.reset();
    listen.join();
    ASSERT_TRUE(connected) << run.err;
    EXPECT_NE(run.status, 0);
    // One line, the last, says so; libjack's own messages are not shown.
    const std::string line = "cqscope-host: the JACK server went away\n";
    ASSERT_GE(run.err.size(), line.size()) << run.err;
    EXPECT_EQ(run.err.substr(run.err.size() - line.size()), line) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2) << run.err;
}

}  // namespace
