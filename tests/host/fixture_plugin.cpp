// Small stand-in plug-ins for the host's tests, one per way a library can present itself:
//   FIXTURE_GAIN      a two-in, two-out effect without editor, exported only as "main", that
//                     halves the left channel and quarters the right one;
//   FIXTURE_NULL      an entry that answers null;
//   FIXTURE_NO_ENTRY  a library that exports neither entry name;
//   FIXTURE_EDITOR    an effect with an editor of the display's size on the platform library that
//   shows
//                     what the host made happen: a white bar, one pixel wide per timer tick,
//                     across rows 0-9; a white block at columns 100-119, rows 100-199, while
//                     MIDI note 60 is held; the Hold button where the display has it stops the
//                     timer and whitens rows 30-39 of columns 900-959.
#include <cstring>

#include "frame/host_interface.h"

#define FIXTURE_EXPORT extern "C" __attribute__((visibility("default")))

#if defined(FIXTURE_GAIN)

namespace {

AEffect record;

VstIntPtr dispatcher(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
    switch (opcode) {
        case effGetVstVersion:
            return 2400;
        case effGetEffectName:
            std::strcpy(static_cast<char*>(ptr), "Fixture Gain");
            return 1;
        default:
            return 0;
    }
}

void processReplacing(AEffect*, float** inputs, float** outputs, VstInt32 frames) {
    for (VstInt32 i = 0; i < frames; ++i) {
        outputs[0][i] = 0.5f * inputs[0][i];
        outputs[1][i] = 0.25f * inputs[1][i];
    }
}

}  // namespace

// Exported under the second entry name only, through an assembler label.
FIXTURE_EXPORT AEffect* fixtureEntry(audioMasterCallback host) __asm__("main");
FIXTURE_EXPORT AEffect* fixtureEntry(audioMasterCallback host) {
    if (host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    record = AEffect{};
    record.magic = kEffectMagic;
    record.dispatcher = dispatcher;
    record.processReplacing = processReplacing;
    record.numPrograms = 1;
    record.numInputs = 2;
    record.numOutputs = 2;
    record.flags = effFlagsCanReplacing;
    record.uniqueID = 0x46697847;
    record.version = 7;
    return &record;
}

#elif defined(FIXTURE_EDITOR)

#include "display/display_geometry.h"
#include "platform/win32.h"

namespace {

constexpr DWORD kWhiteness = 0x00FF0062;
constexpr DWORD kBlackness = 0x00000042;
constexpr UINT kTimerMessage = 0x0113;
constexpr UINT kCommandMessage = 0x0111;
constexpr int kHoldButtonId = 1000;

AEffect record;
ERect editorRect{0, 0, display::kHeight, display::kWidth};
HWND display = nullptr;
int ticks = 0;
bool held = false;
bool noteHeld = false;

void redraw(HWND window) {
    HDC dc = GetDC(window);
    PatBlt(dc, 0, 0, display::kWidth, display::kHeight, kBlackness);
    PatBlt(dc, 0, 0, ticks, 10, kWhiteness);
    if (noteHeld) PatBlt(dc, 100, 100, 20, 100, kWhiteness);
    if (held) PatBlt(dc, 900, 30, 60, 10, kWhiteness);
    ReleaseDC(window, dc);
}

LRESULT CALLBACK displayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kTimerMessage) {
        ++ticks;
        redraw(window);
        return 0;
    }
    if (message == kCommandMessage && (wParam & 0xFFFF) == kHoldButtonId) {
        held = !held;
        if (held) {
            KillTimer(window, 1);
        } else {
            SetTimer(window, 1, 100, nullptr);
        }
        redraw(window);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

VstIntPtr dispatcher(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
    switch (opcode) {
        case effEditGetRect:
            *static_cast<ERect**>(ptr) = &editorRect;
            return 1;
        case effEditOpen: {
            WNDCLASSEXA windowClass{};
            windowClass.cbSize = sizeof windowClass;
            windowClass.lpfnWndProc = displayProc;
            windowClass.lpszClassName = "FixtureDisplay";
            RegisterClassExA(&windowClass);
            display = CreateWindowExA(0, "FixtureDisplay", "", 0x50000000, 0, 0, display::kWidth,
                                      display::kHeight, static_cast<HWND>(ptr), nullptr, nullptr,
                                      nullptr);
            CreateWindowExA(0, "Button", "hold", 0x5000000B, display::kHoldX, display::kHoldY,
                            display::kHoldWidth, display::kHoldHeight, display,
                            reinterpret_cast<HMENU>(static_cast<intptr_t>(kHoldButtonId)), nullptr,
                            nullptr);
            SetTimer(display, 1, 100, nullptr);
            return 1;
        }
        case effEditClose:
            KillTimer(display, 1);
            return 0;
        case effEditIdle: {
            MSG message;
            while (PeekMessageA(&message, display, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
            return 0;
        }
        case effProcessEvents: {
            const auto* list = static_cast<const VstEvents*>(ptr);
            for (VstInt32 i = 0; i < list->numEvents; ++i) {
                const auto* event = reinterpret_cast<const VstMidiEvent*>(list->events[i]);
                const int status = event->midiData[0] & 0xF0;
                if ((event->midiData[1] & 0x7F) != 60) continue;
                if (status == 0x90 && event->midiData[2] != 0) noteHeld = true;
                if (status == 0x80 || (status == 0x90 && event->midiData[2] == 0)) noteHeld = false;
            }
            return 1;
        }
        default:
            return 0;
    }
}

void processReplacing(AEffect*, float** inputs, float** outputs, VstInt32 frames) {
    for (VstInt32 i = 0; i < frames; ++i) {
        outputs[0][i] = inputs[0][i];
        outputs[1][i] = inputs[1][i];
    }
}

}  // namespace

FIXTURE_EXPORT AEffect* VSTPluginMain(audioMasterCallback) {
    record = AEffect{};
    record.magic = kEffectMagic;
    record.dispatcher = dispatcher;
    record.processReplacing = processReplacing;
    record.numInputs = 2;
    record.numOutputs = 2;
    record.flags = effFlagsHasEditor | effFlagsCanReplacing;
    return &record;
}

#elif defined(FIXTURE_NULL)

FIXTURE_EXPORT AEffect* VSTPluginMain(audioMasterCallback) {
    return nullptr;
}

#elif defined(FIXTURE_NO_ENTRY)

FIXTURE_EXPORT int fixtureSomethingElse() {
    return 1;
}

#endif
