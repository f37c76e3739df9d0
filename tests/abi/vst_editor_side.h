// The VST 2 effect of the built module with its editor open in a parent window of the module's
// own window system, on the module's manual clock: the reference picture that the other shells'
// displays (LV2, CLAP) are compared with pixel for pixel, for the same audio and notes.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "cut_blocks.h"
#include "display/display_geometry.h"
#include "frame/host_interface.h"
#include "loaded_module.h"

inline VstIntPtr VSTCALLBACK vstHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// The VST 2 effect with its editor open in a parent window of its module.
class VstEditorSide {
  public:
    static constexpr std::uint32_t kBlock = 512;
    static constexpr double kRate = 48000;
    static constexpr int kWidth = display::kWidth;
    static constexpr int kHeight = display::kHeight;

    VstEditorSide() : module_(CQSCOPE_MODULE_PATH), windows_(*module_.windows) {
        windows_.setManualClock(TRUE, 1000);
        effect_ = module_.pluginMain(vstHost);
        if (effect_ == nullptr) return;
        dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
        dispatch(effSetBlockSize, 0, kBlock);
        dispatch(effMainsChanged, 0, 1);
        EXPECT_TRUE(analysisReady(windows_));
        parent_ = windows_.createHostWindow(kWidth, kHeight);
        opened_ = parent_ != nullptr && dispatch(effEditOpen, 0, 0, parent_) == 1;
    }
    ~VstEditorSide() {
        if (effect_ == nullptr) return;
        if (opened_) dispatch(effEditClose);
        dispatch(effClose);
        if (parent_ != nullptr) windows_.destroyWindow(parent_);
    }
    bool open() const { return opened_; }

    void play(float** channels, std::uint32_t frames,
              const std::vector<std::vector<std::uint8_t>>& notes) {
        struct List {
            VstInt32 numEvents = 0;
            VstIntPtr reserved = 0;
            VstEvent* events[8] = {};
        } list;
        std::vector<VstMidiEvent> events(notes.size());
        for (std::size_t k = 0; k < notes.size() && k < 8; ++k) {
            events[k].type = kVstMidiType;
            events[k].byteSize = sizeof(VstMidiEvent);
            for (int b = 0; b < 3; ++b) events[k].midiData[b] = static_cast<char>(notes[k][b]);
            list.events[list.numEvents++] = reinterpret_cast<VstEvent*>(&events[k]);
        }
        if (list.numEvents > 0) dispatch(effProcessEvents, 0, 0, &list);
        std::vector<float> left(frames), right(frames);
        float* outputs[] = {left.data(), right.data()};
        effect_->processReplacing(effect_, channels, outputs, static_cast<VstInt32>(frames));
    }
    void tick() {
        windows_.advanceClock(100);
        for (int i = 0; i < 3; ++i) {
            dispatch(effEditIdle);
            windows_.pumpMessages(parent_);
        }
    }
    std::vector<DWORD> pixels() const { return readPixels(windows_, parent_); }

    static std::vector<DWORD> readPixels(const CqpHostCalls& windows, HWND window) {
        std::vector<DWORD> pixels(static_cast<std::size_t>(kWidth) * kHeight);
        EXPECT_TRUE(windows.readWindowPixels(window, pixels.data(), kWidth, kHeight));
        return pixels;
    }

  private:
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0) {
        return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
    }
    LoadedModule module_;
    const CqpHostCalls& windows_;
    AEffect* effect_ = nullptr;
    HWND parent_ = nullptr;
    bool opened_ = false;
};

// Columns of the picture that differ, for a readable failure.
inline int differingPixels(const std::vector<DWORD>& a, const std::vector<DWORD>& b) {
    int count = 0;
    for (std::size_t k = 0; k < a.size(); ++k) count += a[k] != b[k];
    return count;
}

// One block (VstEditorSide::kBlock frames, at its rate) of the comparison signal from `frame` on:
// an A4 with a quieter E5 and C#5, the right channel at 0.8 of the left; silence unless `loud`.
inline void toneBlock(float* const* channels, long& frame, bool loud) {
    for (std::uint32_t k = 0; k < VstEditorSide::kBlock; ++k, ++frame) {
        const double t = static_cast<double>(frame) / VstEditorSide::kRate;
        const double tone = 0.5 * std::sin(2 * std::numbers::pi * 440.0 * t) +
                            0.1 * std::sin(2 * std::numbers::pi * 659.26 * t) +
                            0.05 * std::sin(2 * std::numbers::pi * 554.37 * t);
        channels[0][k] = loud ? static_cast<float>(tone) : 0.0f;
        channels[1][k] = loud ? static_cast<float>(0.8 * tone) : 0.0f;
    }
}

// Whether column `column` of the picture has a bar: its pixel just above the bar base is green.
inline bool barIn(const std::vector<DWORD>& pixels, int column) {
    return pixels[static_cast<std::size_t>(display::kBarBaseRow - 1) * display::kWidth +
                  static_cast<std::size_t>(column)] == display::pixelOf(display::kGreen);
}

inline int barColumns(const std::vector<DWORD>& pixels) {
    int count = 0;
    for (int column = 0; column < display::kWidth; ++column) count += barIn(pixels, column);
    return count;
}

// A steady tone at -20 dBFS cut into blocks of 1 to 512 frames, with a call of no frames (a
// parameter flush) just before each refresh, played to the VST 2 editor and to `side` (a shell
// with play(channels, frames, events), tick() and pixels()): at every refresh `side` shows the
// VST 2 picture, with a bar at A4; in silence cut alike, no bar at all.
template <class Side>
void expectCutBlocksShownAsTheVstEditorShowsThem(Side& side) {
    VstEditorSide vst;
    ASSERT_TRUE(vst.open());
    const auto play = [&](float** channels, std::uint32_t frames) {
        vst.play(channels, frames, {});
        side.play(channels, frames, {});
    };
    long frame = 0;
    for (std::uint32_t frames : {1u, 7u, 64u, 512u}) {
        for (double level : {0.1, 0.0}) {
            playCutIntoBlocks(VstEditorSide::kRate, frames, 0.3, level, frame, play, [&] {
                vst.tick();
                side.tick();
                const auto shown = side.pixels();
                EXPECT_EQ(differingPixels(shown, vst.pixels()), 0) << frames;
                if (level > 0.0) {
                    EXPECT_TRUE(barIn(shown, 449)) << frames << "-frame blocks";
                } else {
                    EXPECT_EQ(barColumns(shown), 0) << frames << "-frame blocks of silence";
                }
            });
        }
    }
}
