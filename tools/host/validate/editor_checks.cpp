// Editors drawn through our window library: open/close cycles, idle storms, Hold clicks,
// audio on another thread while the editor opens and refreshes, two editors at once.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "audio_rig.h"
#include "display/display_geometry.h"
#include "event_list.h"
#include "platform_api.h"

namespace cqhost::validation {
namespace {

// The window system inside the loaded plug-in.
const PlatformApi& platform(const PluginHost& host) {
    std::string problem;
    const PlatformApi* api = findPlatformApi(host.library(), host.path(), &problem);
    if (api == nullptr) throw CheckSkipped{problem};
    return *api;
}

int liveObjects(const PluginHost& host) {
    return platform(host).liveObjectCount();
}

void requireEditor(const Subject& subject) {
    if (!subject.platformEditor) {
        throw CheckSkipped{
            "no editor on the platform library (a native editor needs a real "
            "window system parent)"};
    }
}

struct EditorSize {
    int width = 0, height = 0;
};

EditorSize editorSize(PluginHost& host) {
    ERect* rect = nullptr;
    const VstIntPtr answer = host.dispatch(effEditGetRect, 0, 0, &rect);
    if (answer != 1 || rect == nullptr) fail("the editor-rectangle opcode gives no rectangle");
    const int width = rect->right - rect->left, height = rect->bottom - rect->top;
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192) {
        fail("the editor rectangle " + std::to_string(width) + " x " + std::to_string(height) +
             " is not a window size");
    }
    return {width, height};
}

// An open editor in a parent window of its own; closed and its parent destroyed at the end.
class OpenEditor {
  public:
    explicit OpenEditor(PluginHost& host) : host_(host), api_(platform(host)) {
        size_ = editorSize(host);
        window_ = api_.createHostWindow(size_.width, size_.height);
        if (window_ == nullptr) fail("cannot create a parent window for the editor");
        if (host_.dispatch(effEditOpen, 0, 0, window_) != 1) {
            api_.destroyWindow(window_);
            fail("the editor-open opcode does not answer 1");
        }
    }
    ~OpenEditor() {
        host_.dispatch(effEditClose);
        api_.destroyWindow(window_);
    }
    OpenEditor(const OpenEditor&) = delete;
    OpenEditor& operator=(const OpenEditor&) = delete;

    void idle(int times = 1) {
        for (int i = 0; i < times; ++i) {
            host_.dispatch(effEditIdle);
            api_.pumpMessages(window_);
        }
    }
    void click(int x, int y) { api_.click(window_, x, y); }
    void clickHold() { click(display::kHoldClickX, display::kHoldClickY); }
    // Moves the platform's manual clock on (see checkHold), so that clicks are apart.
    void wait(unsigned milliseconds) { api_.advanceClock(milliseconds); }
    std::vector<DWORD> pixels() {
        std::vector<DWORD> picture(static_cast<size_t>(size_.width) * size_.height);
        if (!api_.readWindowPixels(window_, picture.data(), size_.width, size_.height)) {
            fail("cannot read the editor's pixels");
        }
        return picture;
    }
    // The pixels under the Hold button, row by row.
    std::vector<DWORD> holdArea() {
        const auto picture = pixels();
        std::vector<DWORD> area;
        for (int y = display::kHoldY; y < display::kHoldY + display::kHoldHeight; ++y) {
            for (int x = display::kHoldX; x < display::kHoldX + display::kHoldWidth; ++x) {
                area.push_back(picture[static_cast<size_t>(y) * size_.width + x]);
            }
        }
        return area;
    }
    EditorSize size() const { return size_; }

  private:
    PluginHost& host_;
    const PlatformApi& api_;
    EditorSize size_;
    HWND window_ = nullptr;
};

std::string checkEditorCycles(const Subject& subject) {
    requireEditor(subject);
    auto host = load(subject);
    host->start(44100.0, 512);
    const EditorSize before = editorSize(*host);
    const int cycles = 10 * subject.strictness;
    int objectsAfterFirst = -1;
    for (int i = 0; i < cycles; ++i) {
        {
            OpenEditor editor(*host);
            editor.idle(3);
        }
        if (i == 0) objectsAfterFirst = liveObjects(*host);
    }
    const EditorSize after = editorSize(*host);
    if (before.width != after.width || before.height != after.height) {
        fail("the editor's size changed over open and close");
    }
    const int objectsAtEnd = liveObjects(*host);
    if (objectsAtEnd > objectsAfterFirst) {
        fail("platform objects grew from " + std::to_string(objectsAfterFirst) + " to " +
             std::to_string(objectsAtEnd) + " over " + std::to_string(cycles) + " cycles");
    }
    return std::to_string(cycles) + " opens and closes of a " + std::to_string(before.width) +
           " x " + std::to_string(before.height) + " editor; platform objects steady at " +
           std::to_string(objectsAtEnd);
}

std::string checkIdleStorm(const Subject& subject) {
    requireEditor(subject);
    auto host = load(subject);
    host->start(44100.0, 512);
    AudioRig rig(*host, 512);
    std::mt19937_64 random(subject.seed);
    OpenEditor editor(*host);
    const int idles = 500 * subject.strictness;
    for (int i = 0; i < idles; ++i) {
        editor.idle();
        if (i % 50 == 0) {
            fillSignal(rig, Signal::Noise, 512, random);
            rig.run(512);
        }
    }
    return std::to_string(idles) + " idle calls with audio in between";
}

std::string checkHold(const Subject& subject) {
    requireEditor(subject);
    if (!subject.analyser) throw CheckSkipped{"Hold is the analyser's own control"};
    // A manual clock, so that clicks are further apart than a double click whatever the
    // machine's speed.
    auto host = load(subject);
    platform(*host).setManualClock(TRUE, 1000);
    host->start(44100.0, 512);
    OpenEditor editor(*host);
    editor.idle(2);
    // A refresh tick first: before it the display has drawn nothing.
    editor.wait(200);
    editor.idle(2);
    const auto live = editor.holdArea();
    const int clicks = 2 * subject.strictness;
    for (int i = 0; i < clicks; ++i) {
        editor.wait(1000);
        const auto before = editor.holdArea();
        editor.clickHold();
        editor.idle(2);
        const auto after = editor.holdArea();
        const bool held = i % 2 == 0;
        if (after == before || (after == live) == held) {
            fail("click " + std::to_string(i + 1) + " did not " +
                 (held ? "show the held image" : "bring the live image back"));
        }
    }
    // Quick double clicks: each pair toggles at most twice and the editor survives.
    for (int i = 0; i < subject.strictness; ++i) {
        editor.wait(1000);
        editor.clickHold();
        editor.wait(10);
        editor.clickHold();
        editor.idle();
    }
    return std::to_string(clicks) + " Hold clicks, each switching the image";
}

// The audio thread: blocks of noise with MIDI through the effect until told to stop; any
// pass-through error is kept for the main thread.
class AudioThread {
  public:
    AudioThread(PluginHost& host, const Subject& subject)
        : rig_(host, 512), host_(host), subject_(subject), random_(subject.seed) {
        thread_ = std::thread([this] { loop(); });
    }
    ~AudioThread() { stop(); }
    void stop() {
        running_.store(false);
        if (thread_.joinable()) thread_.join();
    }
    long blocks() const { return blocks_.load(); }
    const std::string& error() const { return error_; }

  private:
    void loop() {
        EventList events;
        while (running_.load()) {
            // Prepared before the block, as a host does; the effect's work is what is timed.
            events.clear();
            for (int e = 0; e < 8; ++e) {
                events.addMidi(random_() % 2 ? 0x90 : 0x80, 36 + random_() % 60, 100, e * 60);
            }
            fillSignal(rig_, Signal::Noise, 512, random_);
            host_.dispatch(effProcessEvents, 0, 0, events.build());
            try {
                rig_.run(512);
                if (subject_.analyser) rig_.expectPassThrough(512, "audio thread");
            } catch (const CheckFailure& failure) {
                error_ = failure.reason;
                return;
            }
            blocks_.fetch_add(1);
        }
    }

    AudioRig rig_;
    PluginHost& host_;
    const Subject& subject_;
    std::mt19937_64 random_;
    std::atomic<bool> running_{true};
    std::atomic<long> blocks_{0};
    std::string error_;
    std::thread thread_;
};

std::string checkEditorWithAudioThread(const Subject& subject) {
    requireEditor(subject);
    auto host = load(subject);
    host->start(44100.0, 512);
    AudioThread audio(*host, subject);
    const int cycles = 5 * subject.strictness;
    for (int i = 0; i < cycles; ++i) {
        OpenEditor editor(*host);
        editor.idle(5);
        if (subject.analyser) editor.clickHold();
        editor.idle(5);
    }
    // Then the editor open for a while: its timer recomputes while the audio runs.
    {
        OpenEditor editor(*host);
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(500 * subject.strictness);
        while (std::chrono::steady_clock::now() < until) {
            editor.idle();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    audio.stop();
    if (!audio.error().empty()) fail(audio.error());
    if (audio.blocks() == 0) fail("the audio thread ran no block");
    return std::to_string(cycles) + " editor opens and " +
           std::to_string(subject.strictness * 0.5).substr(0, 3) +
           " s open while the audio thread ran " + std::to_string(audio.blocks()) + " blocks";
}

std::string checkTwoEditors(const Subject& subject) {
    requireEditor(subject);
    auto first = load(subject);
    auto second = load(subject);
    first->start(44100.0, 512);
    second->start(44100.0, 512);
    auto editorA = std::make_unique<OpenEditor>(*first);
    auto editorB = std::make_unique<OpenEditor>(*second);
    std::mt19937_64 random(subject.seed);
    AudioRig rigA(*first, 512), rigB(*second, 512);
    for (int i = 0; i < 20 * subject.strictness; ++i) {
        fillSignal(rigA, Signal::Noise, 512, random);
        rigA.run(512);
        fillSignal(rigB, Signal::Silence, 512, random);
        rigB.run(512);
        editorA->idle();
        editorB->idle();
    }
    if (subject.analyser) {
        // Holding one display leaves the other live. The second display must have drawn its
        // Hold image first (its timer runs on the real clock, which may not have ticked yet on a
        // slow machine), so that a first paint is not taken for a change.
        const auto drewHoldImage = [&] {
            const auto area = editorB->holdArea();
            return std::any_of(area.begin(), area.end(), [](DWORD pixel) { return pixel != 0; });
        };
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!drewHoldImage()) {
            if (std::chrono::steady_clock::now() > deadline) fail("the second editor never drew");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            editorB->idle();
        }
        const auto before = editorB->holdArea();
        editorA->clickHold();
        editorA->idle(2);
        editorB->idle(2);
        if (editorB->holdArea() != before) fail("Hold in one editor changed the other");
    }
    // One closed while the other goes on.
    editorA.reset();
    for (int i = 0; i < 10; ++i) editorB->idle();
    editorB.reset();
    return "two editors open at once, idled together, closed one after the other";
}

}  // namespace

std::vector<Check> editorChecks() {
    return {
        {"editor-cycles", checkEditorCycles},
        {"editor-idle-storm", checkIdleStorm},
        {"editor-hold", checkHold},
        {"editor-with-audio-thread", checkEditorWithAudioThread},
        {"two-editors", checkTwoEditors},
    };
}

}  // namespace cqhost::validation
