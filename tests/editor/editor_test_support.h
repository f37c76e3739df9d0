// Shared pieces of the editor and render tests: an effect to own the editor, a display source
// whose values the test sets, and an editor opened in a host window with the manual clock.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/display_source.h"
#include "display/display_geometry.h"
#include "editor/vstgui.h"
#include "frame/audioeffectx.h"
#include "platform/cqscope_platform.h"

namespace editortest {

// Pixels as the platform reads them back: 0x00RRGGBB.
constexpr DWORD kBlack = display::pixelOf(display::kBlack);
constexpr DWORD kGreen = display::pixelOf(display::kGreen);
constexpr DWORD kWhite = display::pixelOf(display::kWhite);
constexpr DWORD kGrey = display::pixelOf(display::kGrey);
constexpr DWORD kNoteBlue = display::pixelOf(display::kNoteBlue);  // the stripe over black
// The stripe merged over a green bar: the bitwise OR of the two.
constexpr DWORD kStripeOverBar = display::pixelOf(display::kNoteBlue | display::kGreen);

// Host opcodes that a test host counts.
struct HostLog {
    int idles = 0;  // opcode 3
    void (*onIdle)() = nullptr;
};
HostLog& hostLog();

VstIntPtr VSTCALLBACK testHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                               void* ptr, float opt);

class TestEffect : public AudioEffectX {
  public:
    TestEffect() : AudioEffectX(testHost, 1, 0) {}
    void processReplacing(float**, float**, VstInt32) noexcept override {}
};

class FakeSource : public DisplaySource {
  public:
    float span = 0.0f;
    int transforms = 0;
    double magnitudes[kOctaves][kBinsPerOctave] = {};
    unsigned char notes[kNoteCount] = {};

    float signalSpan() const noexcept override { return span; }
    void transform() override { ++transforms; }
    double magnitude(int octave, int bin) const noexcept override {
        return magnitudes[octave][bin];
    }
    unsigned char noteState(int note) const noexcept override { return notes[note]; }

    void setColumn(int column, double magnitude) {
        magnitudes[column / kBinsPerOctave][column % kBinsPerOctave] = magnitude;
    }
};

// A picture of the display's size read back from a window.
struct Picture {
    std::vector<DWORD> pixels;
    DWORD at(int x, int y) const { return pixels[static_cast<size_t>(y) * display::kWidth + x]; }
};

// An effect with its editor open in a host window of its own, on the manual clock.
class OpenEditor {
  public:
    explicit OpenEditor(bool openNow = true);
    ~OpenEditor();

    VstGui& gui() { return *editor; }
    HWND display() { return editor->getDisplayWindow(); }
    HWND hostWindow() const { return host; }

    // One refresh as the timer runs it, then the paint; returns what the window shows.
    Picture refresh();
    // Paints what is pending and reads the window.
    Picture capture();
    // Moves the clock on and lets the display handle what became due.
    void advance(DWORD milliseconds);

    FakeSource source;
    std::unique_ptr<TestEffect> effect;

  private:
    VstGui* editor = nullptr;  // owned by the effect
    HWND host = nullptr;
};

}  // namespace editortest
