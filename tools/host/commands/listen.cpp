// `listen`: cqscope as a live JACK analyser, a shell of its own around the analyser core and
// the display. A JACK client with two audio inputs (copied to two outputs) and a MIDI input
// whose held notes are striped; the display in an X11 window, as `watch` shows the plug-in's,
// or in a window never shown with --no-window or without an X display; --peaks N prints the readout
// of each refresh on the terminal (note and cents while you play). It follows JACK's sample rate
// and buffer size, stops on Ctrl-C, after --seconds or when the window is closed, and exits
// non-zero with one line when the server goes away.
//
// Threads: JACK's process thread runs `process` (copies, analysis input, MIDI: it never
// waits, locks or allocates); JACK's notification thread only records a new sample rate or
// the server's shutdown in atomics; the main thread is the display's user-interface thread:
// it lets the display run, applies a new rate to the core and prints the readout.
#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "analyse/peaks.h"
#include "analysis/peaks.h"
#include "common/commands.h"
#include "common/host_error.h"
#include "common/stop_signals.h"
#include "core/analyser_core.h"
#include "display/display_geometry.h"
#include "display/spectrum_display.h"
#include "files/png_file.h"
#include "platform/cqscope_platform.h"

namespace cqhost {
namespace {

constexpr auto kLoopPeriod = std::chrono::milliseconds(10);

// libjack's own messages (a lost server is reported in several lines): this command says in
// one line what went wrong.
void quiet(const char*) {}

// Everything JACK's threads touch, and the client.
class JackShell {
  public:
    explicit JackShell(const std::string& name)
        : client_(openClient(name)), core_(static_cast<double>(jack_get_sample_rate(client_))) {
        for (int c = 0; c < 2; ++c) {
            const std::string n = std::to_string(c + 1);
            in_[c] = jack_port_register(client_, ("in_" + n).c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                        JackPortIsInput, 0);
            out_[c] = jack_port_register(client_, ("out_" + n).c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                         JackPortIsOutput, 0);
        }
        midi_ = jack_port_register(client_, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        if (!in_[0] || !in_[1] || !out_[0] || !out_[1] || !midi_) {
            jack_client_close(client_);
            throw HostError("cannot register the JACK ports");
        }
        jack_set_process_callback(client_, &JackShell::process, this);
        jack_set_sample_rate_callback(client_, &JackShell::rateChanged, this);
        jack_set_xrun_callback(client_, &JackShell::xrun, this);
        jack_on_shutdown(client_, &JackShell::serverGone, this);
    }
    ~JackShell() {
        if (!gone_.load()) jack_deactivate(client_);
        jack_client_close(client_);
    }
    JackShell(const JackShell&) = delete;
    JackShell& operator=(const JackShell&) = delete;

    cqscope::AnalyserCore& core() { return core_; }
    const char* name() const { return jack_get_client_name(client_); }

    // Has the kernels for the server's rate built beside (or learns that it cannot) and starts.
    void activate() {
        applyRate();
        if (jack_activate(client_) != 0) throw HostError("cannot activate the JACK client");
    }
    // Connects `source` to both audio inputs, or to the MIDI input.
    void connectAudio(const std::string& source) {
        for (jack_port_t* port : in_) connect(source, jack_port_name(port));
    }
    void connectMidi(const std::string& source) { connect(source, jack_port_name(midi_)); }

    bool serverGone() const { return gone_.load(); }
    // Over- and underruns the server reported while the client was active.
    long xruns() const { return xruns_.load(); }
    // Main thread: makes the core follow a rate the server announced.
    void followRate() {
        if (rateChanged_.exchange(false)) applyRate();
        // The build runs beside the display; its lack of memory is said once it is known.
        const auto built = core_.lastBuild();
        if (built != reportedBuild_ && built == cqscope::AnalyserCore::RateChange::outOfMemory) {
            std::fprintf(stderr, "cqscope-host: out of memory for the analysis kernels at %g Hz\n",
                         core_.sampleRate());
        }
        reportedBuild_ = built;
    }

  private:
    static jack_client_t* openClient(const std::string& name) {
        jack_set_error_function(quiet);
        jack_set_info_function(quiet);
        jack_status_t status{};
        jack_client_t* client = jack_client_open(name.c_str(), JackNoStartServer, &status);
        if (client == nullptr) {
            throw HostError("cannot connect to a JACK server (is one running? see README: listen)");
        }
        return client;
    }
    void connect(const std::string& source, const char* destination) {
        const int result = jack_connect(client_, source.c_str(), destination);
        if (result != 0 && result != EEXIST) {
            throw HostError("cannot connect JACK port " + source + " to " + destination);
        }
    }
    void applyRate() {
        const double rate = static_cast<double>(jack_get_sample_rate(client_));
        core_.setSampleRate(rate);
        const auto change = core_.start();
        if (change == cqscope::AnalyserCore::RateChange::unsupported) {
            std::fprintf(stderr,
                         "cqscope-host: JACK runs at %g Hz; the analysis serves %g to %g Hz: "
                         "no bars until the rate changes\n",
                         rate, cqscope::kMinAnalysisRate, cqscope::kMaxAnalysisRate);
        }
    }

    // JACK's process thread.
    static int process(jack_nframes_t frames, void* arg) noexcept {
        auto& self = *static_cast<JackShell*>(arg);
        const float* inputs[2];
        for (int c = 0; c < 2; ++c) {
            const auto* in = static_cast<const float*>(jack_port_get_buffer(self.in_[c], frames));
            auto* out = static_cast<float*>(jack_port_get_buffer(self.out_[c], frames));
            // JACK may hand the same memory for both (in place); memmove serves either way.
            if (out != in) std::memmove(out, in, frames * sizeof(float));
            inputs[c] = in;
        }
        // Notes first, as a VST host delivers a block's events before the block.
        void* midi = jack_port_get_buffer(self.midi_, frames);
        const std::uint32_t count = jack_midi_get_event_count(midi);
        for (std::uint32_t e = 0; e < count; ++e) {
            jack_midi_event_t event{};
            if (jack_midi_event_get(&event, midi, e) != 0 || event.size < 3) continue;
            self.core_.midi(event.buffer[0], event.buffer[1], event.buffer[2]);
        }
        self.core_.audio(inputs, static_cast<std::int32_t>(frames));
        return 0;
    }
    // JACK's notification thread.
    static int rateChanged(jack_nframes_t, void* arg) noexcept {
        static_cast<JackShell*>(arg)->rateChanged_.store(true);
        return 0;
    }
    static int xrun(void* arg) noexcept {
        static_cast<JackShell*>(arg)->xruns_.fetch_add(1);
        return 0;
    }
    static void serverGone(void* arg) noexcept { static_cast<JackShell*>(arg)->gone_.store(true); }

    jack_client_t* client_;  // before the core, whose rate it gives
    cqscope::AnalyserCore core_;
    jack_port_t* in_[2] = {nullptr, nullptr};
    jack_port_t* out_[2] = {nullptr, nullptr};
    jack_port_t* midi_ = nullptr;
    std::atomic<bool> rateChanged_{false};
    std::atomic<bool> gone_{false};
    std::atomic<long> xruns_{0};
    // The last build's outcome as followRate last saw it (main thread).
    cqscope::AnalyserCore::RateChange reportedBuild_ = cqscope::AnalyserCore::RateChange::unchanged;
};

// Where the display lives: an X11 window of its size, or, without one, a window of the
// platform library that is never shown (the display draws, refreshes and is read back the
// same). Destroyed with the object, after the display was closed.
class HostWindow {
  public:
    // Tries the X display unless `windowless`, at the display's scale there (the X server's
    // Xft.dpi, as desktop programs follow it, read on the window's own connection before it is
    // shown); says in one line when there is none to open.
    HostWindow(const std::string& title, bool windowless)
        : x11_(windowless ? 0 : cqpCreateX11HostWindow(title.c_str())) {
        if (x11_ != 0) {
            scale_ = display::scaleOfDpi(cqpX11HostWindowDpi(x11_));
            if (cqpShowX11HostWindow(x11_, display::kWidth * scale_, display::kHeight * scale_))
                return;
            cqpCloseX11HostWindow(x11_);
            x11_ = 0;
        }
        if (!windowless) {
            std::fprintf(stderr,
                         "cqscope-host: no X display reachable (DISPLAY unset or its server "
                         "down): listening without a window\n");
        }
        scale_ = 1;
        hidden_ = cqpCreateHostWindow(display::kWidth, display::kHeight);
        if (hidden_ == nullptr) throw HostError("cannot make a window for the display");
    }
    ~HostWindow() {
        if (x11_ != 0) cqpCloseX11HostWindow(x11_);
        if (hidden_ != nullptr) DestroyWindow(hidden_);
    }
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    HWND handle() const {
        return x11_ != 0 ? reinterpret_cast<HWND>(static_cast<std::uintptr_t>(x11_)) : hidden_;
    }
    bool shown() const { return x11_ != 0; }
    // The factor the display is to be shown at in this window.
    int scale() const { return scale_; }
    // Handles the X window's events; false once the user closed it or the display went away.
    bool service() { return x11_ == 0 || cqpServiceX11HostWindow(x11_) != FALSE; }

  private:
    unsigned long x11_;
    int scale_ = 1;
    HWND hidden_ = nullptr;
};

void savePicture(SpectrumDisplay& display, const std::string& path) {
    // The picture as the window shows it, at the display's scale.
    std::vector<std::uint32_t> pixels(static_cast<size_t>(display.width()) * display.height());
    cqpPumpMessages(display.window());
    if (!cqpReadWindowPixels(display.window(), reinterpret_cast<DWORD*>(pixels.data()),
                             display.width(), display.height())) {
        throw HostError("cannot read the display's picture");
    }
    writePng(path, pixels.data(), display.width(), display.height());
}

}  // namespace

int runListen(const ListenOptions& options) {
    std::unique_ptr<PeakReport> peaks;
    if (options.peaks) peaks = std::make_unique<PeakReport>(std::nullopt);
    JackShell jack(options.name);
    HostWindow window(std::string("cqscope-host listen: ") + jack.name(), options.noWindow);
    SpectrumDisplay display(GetModuleHandleA(nullptr), jack.core());
    display.setScale(window.scale());
    if (!display.open(window.handle())) throw HostError("cannot open the display");
    jack.activate();
    for (const auto& source : options.audioSources) jack.connectAudio(source);
    for (const auto& source : options.midiSources) jack.connectMidi(source);

    StopOnSignals signals;

    std::fprintf(
        stderr, "cqscope-host: listening as JACK client %s (ports in_1, in_2, midi_in); %s\n",
        jack.name(),
        window.shown() ? "close the window or press Ctrl-C to stop" : "press Ctrl-C to stop");
    const auto start = std::chrono::steady_clock::now();
    unsigned long refreshesSeen = 0;
    bool serverGone = false;
    while (!signals.stopRequested()) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (options.seconds && elapsed >= *options.seconds) break;
        if (jack.serverGone()) {
            serverGone = true;
            break;
        }
        jack.followRate();
        display.run();
        if (peaks && display.refreshCount() != refreshesSeen) {
            refreshesSeen = display.refreshCount();
            peaks->line(cqscope::readoutLine(elapsed, display.barsShown(),
                                             jack.core().analyser().magnitudes(), *options.peaks));
        }
        if (!window.service()) break;
        std::this_thread::sleep_for(kLoopPeriod);
    }
    if (serverGone) throw HostError("the JACK server went away");
    if (jack.xruns() > 0) {
        std::fprintf(stderr, "cqscope-host: JACK reported %ld xrun(s) while listening\n",
                     jack.xruns());
    }
    if (options.picture) savePicture(display, *options.picture);
    if (peaks) peaks->finish();
    return 0;
}

}  // namespace cqhost
