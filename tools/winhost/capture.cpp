// `capture`: plays audio through the plug-in with its editor open in a real top-level window,
// runs the Windows message loop, and writes what the window shows, read back through GDI,
// after a refresh that saw all the audio up to the capture time; then clicks Hold through the
// button's own mouse messages and writes the frozen picture too.
//
// Pictures are binary PPM (P6, 8-bit RGB, top row first): simple to write without a library
// and read on the Linux side.
#include <windows.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "audio_input.h"
#include "display/display_geometry.h"
#include "host/event_list.h"
#include "host/host_error.h"
#include "host/plugin_host.h"
#include "host/render_blocks.h"
#include "host_window.h"
#include "win_commands.h"
#include "window_picture.h"

namespace winhost {
namespace {

using cqhost::EventList;
using cqhost::HostError;
using cqhost::kBlockSize;
using cqhost::PluginHost;

// The middle of the Hold button, in the button's own coordinates.
constexpr int kHoldClickX = display::kHoldClickX - display::kHoldX;
constexpr int kHoldClickY = display::kHoldClickY - display::kHoldY;
// Posted to the parent after the click, so the loop knows the click has been handled.
constexpr UINT kClickDoneMessage = WM_APP + 1;

// The editor, open in the parent: closed again when the capture ends, also on an error.
class EditorSession {
  public:
    EditorSession(PluginHost& plugin, HWND parent) : plugin_(plugin) {
        plugin_.dispatch(effEditOpen, 0, 0, parent);
    }
    ~EditorSession() { plugin_.dispatch(effEditClose); }
    EditorSession(const EditorSession&) = delete;
    EditorSession& operator=(const EditorSession&) = delete;

  private:
    PluginHost& plugin_;
};

// Checks up front that a picture can be written where asked.
void checkWritable(const std::string& path) {
    const std::string probe = path + ".part";
    FILE* file = std::fopen(probe.c_str(), "wb");
    if (file == nullptr) throw HostError("cannot write " + path);
    std::fclose(file);
    DeleteFileA(probe.c_str());
}

// Plays frames [0, end) in the blocks of the Linux render (render_blocks.h) with the MIDI
// messages that fall in them, and lets the message loop run between blocks as a live host's
// would.
void play(PluginHost& plugin, const AudioInput& audio, long long end) {
    AEffect& effect = plugin.effect();
    const int numInputs = std::max(effect.numInputs, 0);
    const int numOutputs = std::max(effect.numOutputs, 0);
    std::vector<float> left(kBlockSize), right(kBlockSize);
    std::vector<std::vector<float>> outputs(numOutputs, std::vector<float>(kBlockSize));
    std::vector<float*> inputPointers(numInputs + 1, nullptr);
    std::vector<float*> outputPointers(numOutputs + 1, nullptr);
    std::vector<std::vector<float>> extraInputs;
    for (int i = 0; i < numInputs; ++i) {
        if (i == 0) {
            inputPointers[i] = left.data();
        } else if (i == 1) {
            inputPointers[i] = right.data();
        } else {
            extraInputs.emplace_back(kBlockSize, 0.0f);  // silence beyond two channels
            inputPointers[i] = extraInputs.back().data();
        }
    }
    for (int o = 0; o < numOutputs; ++o) outputPointers[o] = outputs[o].data();

    EventList events;
    const std::vector<cqhost::TimedMidiMessage>& midi = audio.midi();
    size_t nextMidi = 0;
    for (long long position = 0; position < end;) {
        const long long blockEnd = std::min(cqhost::gridBlockEnd(position), end);
        const int count = static_cast<int>(blockEnd - position);
        audio.read(position, left.data(), right.data(), count);
        // Each message in the block it falls in, at its offset there (as the Linux host does).
        events.clear();
        while (nextMidi < midi.size() && midi[nextMidi].frame < blockEnd) {
            const cqhost::TimedMidiMessage& message = midi[nextMidi++];
            events.addMidi(message.bytes[0], message.bytes[1], message.bytes[2],
                           static_cast<int>(std::max<long long>(0, message.frame - position)));
        }
        if (!events.empty()) plugin.dispatch(effProcessEvents, 0, 0, events.build());
        plugin.processReplacing(inputPointers.data(), outputPointers.data(), count);
        position = blockEnd;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        plugin.dispatch(effEditIdle);
    }
}

}  // namespace

int runCapture(const CaptureOptions& options) {
    AudioInput audio(options.audio, options.rawRate);
    const long long captureFrame = audio.captureFrame(options.at);
    const std::string livePath = options.out + ".ppm";
    const std::string holdPath = options.out + "-hold.ppm";
    checkWritable(livePath);
    if (options.hold) checkWritable(holdPath);

    // Loaded before the plug-in, as another plug-in of the host would be.
    HMODULE rival = nullptr;
    if (options.rival) {
        rival = LoadLibraryA(options.rival->c_str());
        if (rival == nullptr) throw HostError("cannot load " + *options.rival);
        using Register = ATOM (*)();
        auto registerRival = reinterpret_cast<Register>(
            reinterpret_cast<void*>(GetProcAddress(rival, "rivalRegisterClass")));
        if (registerRival == nullptr || registerRival() == 0) {
            FreeLibrary(rival);
            throw HostError(*options.rival + " did not register its class");
        }
    }

    PluginHost plugin(options.plugin);
    AEffect& effect = plugin.effect();
    if (!(effect.flags & effFlagsHasEditor)) {
        throw HostError("plug-in " + plugin.path() +
                        " has no editor, so there is nothing to capture");
    }
    if (effect.processReplacing == nullptr) {
        throw HostError("plug-in " + plugin.path() + " has no processReplacing entry");
    }
    plugin.start(audio.sampleRate(), kBlockSize);
    ERect* rect = nullptr;
    plugin.dispatch(effEditGetRect, 0, 0, &rect);
    if (rect == nullptr || rect->right <= rect->left || rect->bottom <= rect->top) {
        throw HostError("plug-in " + plugin.path() + " reports no editor size");
    }
    const int width = rect->right - rect->left;
    const int height = rect->bottom - rect->top;

    ParentWindow parent(width, height);
    EditorSession editor(plugin, parent.window);
    // The editor's display: the child window that receives its refresh timer.
    HWND display = GetWindow(parent.window, GW_CHILD);
    if (display == nullptr) throw HostError("the editor opened no window in its parent");

    // The refresh at the capture time sees that frame too, as in the Linux render.
    play(plugin, audio, std::min(audio.frames(), cqhost::blockEndFor(captureFrame)));
    if (rival != nullptr) {
        // Its class stays registered, with a procedure in code that is now gone.
        FreeLibrary(rival);
        std::printf("unloaded %s with the editor open\n", options.rival->c_str());
    }

    // A refresh that starts now sees every sample up to and including the capture time.
    const auto idle = [&plugin] { plugin.dispatch(effEditIdle); };
    awaitRefresh(display, options.timeoutMs, idle);
    const Pixels live = grabClientArea(parent.window, width, height);
    writePpm(livePath, live, width, height);
    std::printf("wrote %s\n", livePath.c_str());

    if (options.hold) {
        HWND button = FindWindowExA(display, nullptr, "Button", nullptr);
        if (button == nullptr) throw HostError("the editor has no button to click");
        // A real click as the button sees one: press and release inside it, then a marker
        // that arrives once both have been handled.
        const LPARAM point = MAKELPARAM(kHoldClickX, kHoldClickY);
        PostMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, point);
        PostMessageA(button, WM_LBUTTONUP, 0, point);
        PostMessageA(parent.window, kClickDoneMessage, 0, 0);
        runMessageLoop(options.timeoutMs, "the Hold click", idle,
                       [](const MSG& m) { return m.message == kClickDoneMessage; });
        UpdateWindow(display);
        const Pixels held = grabClientArea(parent.window, width, height);
        writePpm(holdPath, held, width, height);
        std::printf("wrote %s\n", holdPath.c_str());
    }
    return 0;
}

}  // namespace winhost
