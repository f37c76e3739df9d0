// Editors drawn through our window library: open/close cycles, idle storms, the editor's own
// control (for an editor validate knows), audio on another thread while the editor opens and
// refreshes, two editors at once.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "core/default_rate.h"
#include "formats/vst2/checks/audio_rig.h"
#include "formats/vst2/checks/editor_rig.h"
#include "formats/vst2/event_list.h"

namespace cqhost::validation {
namespace {

int liveObjects(const PluginHost& host) {
    return platform(host).liveObjectCount();
}

std::string checkEditorCycles(const Subject& subject) {
    requireEditor(subject);
    auto host = load(subject);
    host->start(cqscope::kDefaultSampleRate, kBlockSize);
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
    host->start(cqscope::kDefaultSampleRate, kBlockSize);
    AudioRig rig(*host, kBlockSize);
    std::mt19937_64 random(subject.seed);
    OpenEditor editor(*host);
    const int idles = 500 * subject.strictness;
    for (int i = 0; i < idles; ++i) {
        editor.idle();
        if (i % 50 == 0) {
            fillSignal(rig, Signal::Noise, kBlockSize, random);
            rig.run(kBlockSize);
        }
    }
    return std::to_string(idles) + " idle calls with audio in between";
}

// The editor's own control, for an effect whose editor validate knows.
std::string checkControl(const Subject& subject) {
    requireEditor(subject);
    const auto checkEditorControl = expectationsFor(subject).checkEditorControl;
    if (checkEditorControl == nullptr) throw CheckSkipped{"no control of this editor is known"};
    return checkEditorControl(subject);
}

// The audio thread: blocks of noise with MIDI through the effect until told to stop; any
// pass-through error is kept for the main thread.
class AudioThread {
  public:
    AudioThread(PluginHost& host, const Subject& subject)
        : rig_(host, kBlockSize), host_(host), subject_(subject), random_(subject.seed) {
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
            fillSignal(rig_, Signal::Noise, kBlockSize, random_);
            host_.dispatch(effProcessEvents, 0, 0, events.build());
            try {
                rig_.run(kBlockSize);
                if (expectationsFor(subject_).passThrough)
                    rig_.expectPassThrough(kBlockSize, "audio thread");
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
    host->start(cqscope::kDefaultSampleRate, kBlockSize);
    AudioThread audio(*host, subject);
    const int cycles = 5 * subject.strictness;
    for (int i = 0; i < cycles; ++i) {
        OpenEditor editor(*host);
        editor.idle(5);
        if (const auto click = expectationsFor(subject).clickControl) click(editor);
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
    first->start(cqscope::kDefaultSampleRate, kBlockSize);
    second->start(cqscope::kDefaultSampleRate, kBlockSize);
    auto editorA = std::make_unique<OpenEditor>(*first);
    auto editorB = std::make_unique<OpenEditor>(*second);
    std::mt19937_64 random(subject.seed);
    AudioRig rigA(*first, kBlockSize), rigB(*second, kBlockSize);
    for (int i = 0; i < 20 * subject.strictness; ++i) {
        fillSignal(rigA, Signal::Noise, kBlockSize, random);
        rigA.run(kBlockSize);
        fillSignal(rigB, Signal::Silence, kBlockSize, random);
        rigB.run(kBlockSize);
        editorA->idle();
        editorB->idle();
    }
    const Expectations& expect = expectationsFor(subject);
    if (expect.clickControl && expect.controlPixels) {
        // The control in one editor leaves the other alone. The second display must have drawn
        // its control first (its timer runs on the real clock, which may not have ticked yet on a
        // slow machine), so that a first paint is not taken for a change.
        const auto drewControl = [&] {
            const auto area = expect.controlPixels(*editorB);
            return std::any_of(area.begin(), area.end(),
                               [](std::uint32_t pixel) { return pixel != 0; });
        };
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!drewControl()) {
            if (std::chrono::steady_clock::now() > deadline) fail("the second editor never drew");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            editorB->idle();
        }
        const auto before = expect.controlPixels(*editorB);
        expect.clickControl(*editorA);
        editorA->idle(2);
        editorB->idle(2);
        if (expect.controlPixels(*editorB) != before) {
            fail("the control in one editor changed the other");
        }
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
        {"editor-hold", checkControl},
        {"editor-with-audio-thread", checkEditorWithAudioThread},
        {"two-editors", checkTwoEditors},
    };
}

}  // namespace cqhost::validation
