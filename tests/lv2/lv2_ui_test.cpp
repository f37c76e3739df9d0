// The LV2 UI, offered no access to the plug-in instance (the way hosts that run UIs in another
// process use it), shows pixel for pixel what the VST 2 editor shows for the same audio and
// notes: the DSP library's notify port is the UI's only input. Both modules run on their own
// manual clocks, advanced together, and draw into parent windows of their own window systems.
#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "display/display_geometry.h"
#include "loaded_module.h"
#include "lv2/lv2_uris.h"
#include "lv2_test_support.h"
#include "vst_editor_side.h"

namespace {

using namespace cqscope::lv2;
using namespace lv2test;

using VstSide = VstEditorSide;
constexpr std::uint32_t kBlock = VstEditorSide::kBlock;
constexpr double kRate = VstEditorSide::kRate;
constexpr int kWidth = display::kWidth;
constexpr int kHeight = display::kHeight;

// The LV2 plug-in and its UI, joined only by the notify port's events. With a `scale`, the
// host offers ui:scaleFactor (a float) and a parent of `windowFactor` times the display's size,
// and records the size the UI asks for through ui:resize.
class Lv2Side {
  public:
    explicit Lv2Side(float scale = 0.0f, int windowFactor = 1)
        : dsp_(features()),
          ui_(CQSCOPE_LV2_UI_PATH),
          notify_(kNotifyBufferBytes),
          midi_(4096),
          windowFactor_(windowFactor) {
        windows_ = ui_.windows;
        if (windows_ == nullptr) return;
        windows_->setManualClock(TRUE, 1000);
        const auto entry = reinterpret_cast<const LV2UI_Descriptor* (*)(std::uint32_t)>(
            dlsym(ui_.handle, "lv2ui_descriptor"));
        if (entry == nullptr) return;
        descriptor_ = entry(0);
        parent_ = windows_->createHostWindow(kWidth * windowFactor, kHeight * windowFactor);
        const LV2_Feature parent{LV2_UI__parent, parent_};
        LV2UI_Resize resize{this, [](LV2UI_Feature_Handle self, int width, int height) {
                                static_cast<Lv2Side*>(self)->asked = {width, height};
                                return 0;
                            }};
        const LV2_Feature resizeFeature{LV2_UI__resize, &resize};
        auto& map = urids_.map();
        const LV2_Options_Option options[] = {
            {LV2_OPTIONS_INSTANCE, 0, map.map(map.handle, LV2_UI__scaleFactor), sizeof scale,
             map.map(map.handle, LV2_ATOM__Float), &scale},
            {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
        const LV2_Feature optionsFeature{LV2_OPTIONS__options,
                                         const_cast<LV2_Options_Option*>(options)};
        const LV2_Feature* uiFeatures[] = {urids_.feature(), &parent, &resizeFeature,
                                           scale > 0.0f ? &optionsFeature : nullptr, nullptr};
        LV2UI_Widget widget = nullptr;
        handle_ = descriptor_->instantiate(descriptor_, CQSCOPE_LV2_URI, CQSCOPE_LV2_BUNDLE,
                                           nullptr, nullptr, &widget, uiFeatures);
        idle_ = static_cast<const LV2UI_Idle_Interface*>(
            descriptor_->extension_data(LV2_UI__idleInterface));
        eventTransfer_ = urids_.map().map(urids_.map().handle, LV2_ATOM__eventTransfer);
        dsp_.connect(kMidiInput, midi_.sequence());
        dsp_.connect(kNotify, notify_.sequence());
    }
    ~Lv2Side() {
        if (handle_ != nullptr) descriptor_->cleanup(handle_);
        if (parent_ != nullptr) windows_->destroyWindow(parent_);
    }
    bool open() const { return handle_ != nullptr && idle_ != nullptr && dsp_.ready(); }

    void play(float** channels, std::uint32_t frames,
              const std::vector<std::vector<std::uint8_t>>& notes) {
        std::vector<std::pair<std::int64_t, std::vector<std::uint8_t>>> timed;
        for (const auto& note : notes) timed.emplace_back(0, note);
        writeMidi(midi_, urids_, timed);
        std::vector<float> left(frames), right(frames);
        dsp_.connect(kInputLeft, channels[0]);
        dsp_.connect(kInputRight, channels[1]);
        dsp_.connect(kOutputLeft, left.data());
        dsp_.connect(kOutputRight, right.data());
        notify_.clearForOutput();
        dsp_.run(frames);
        // What a host hands the UI: each event of the notify port as an atom.
        LV2_ATOM_SEQUENCE_FOREACH(notify_.sequence(), event) {
            descriptor_->port_event(handle_, kNotify, sizeof(LV2_Atom) + event->body.size,
                                    eventTransfer_, &event->body);
        }
    }
    void tick() {
        // The UI's kernels are built beside: the refresh shows what the plug-in ran once they
        // are ready (as cqscope-host's render waits for a plug-in's).
        EXPECT_TRUE(analysisReady(*windows_));
        windows_->advanceClock(100);
        for (int i = 0; i < 3; ++i) {
            idle_->idle(handle_);
            windows_->pumpMessages(parent_);
        }
    }
    std::vector<DWORD> pixels() const { return VstSide::readPixels(*windows_, parent_); }
    // The parent's pixels at its whole size.
    std::vector<DWORD> shownPixels() const {
        std::vector<DWORD> shown(static_cast<std::size_t>(kWidth) * kHeight * windowFactor_ *
                                 windowFactor_);
        EXPECT_TRUE(windows_->readWindowPixels(parent_, shown.data(), kWidth * windowFactor_,
                                               kHeight * windowFactor_));
        return shown;
    }
    std::pair<int, int> asked{0, 0};  // the size the UI asked for through ui:resize
    void clickHold() { windows_->click(parent_, display::kHoldClickX, display::kHoldClickY); }

  private:
    const LV2_Feature* const* features() {
        dspFeatures_[0] = urids_.feature();
        dspFeatures_[1] = nullptr;
        return dspFeatures_;
    }
    UridMap urids_;
    const LV2_Feature* dspFeatures_[2] = {};
    Dsp dsp_;
    LoadedModule ui_;
    const CqpHostCalls* windows_ = nullptr;
    const LV2UI_Descriptor* descriptor_ = nullptr;
    LV2UI_Handle handle_ = nullptr;
    const LV2UI_Idle_Interface* idle_ = nullptr;
    LV2_URID eventTransfer_ = 0;
    HWND parent_ = nullptr;
    SequenceBuffer notify_, midi_;
    int windowFactor_;
};

TEST(Lv2Ui, WithoutInstanceAccessShowsTheVstPicturePixelForPixel) {
    VstSide vst;
    Lv2Side lv2;
    ASSERT_TRUE(vst.open());
    ASSERT_TRUE(lv2.open());

    // An A4 with a quieter E5 and C#5, the three notes held by MIDI; silence; then the tone
    // again with one note released.
    std::vector<float> left(kBlock), right(kBlock);
    float* channels[] = {left.data(), right.data()};
    long frame = 0;
    const auto playSeconds = [&](double seconds, bool loud,
                                 std::vector<std::vector<std::uint8_t>> notes) {
        const int blocks = static_cast<int>(seconds * kRate / kBlock);
        for (int b = 0; b < blocks; ++b) {
            toneBlock(channels, frame, loud);
            vst.play(channels, kBlock, notes);
            lv2.play(channels, kBlock, notes);
            notes.clear();
            // The refresh timer every 100 ms of audio (about 9.4 blocks at 48 kHz).
            if ((b + 1) % 9 == 0) {
                vst.tick();
                lv2.tick();
            }
        }
    };

    playSeconds(1.0, true, {{0x90, 69, 100}, {0x90, 76, 90}, {0x91, 73, 80}});
    auto shown = lv2.pixels();
    EXPECT_EQ(differingPixels(shown, vst.pixels()), 0) << "the tone with three held notes";
    // The picture is not trivial: A4's column (449) has a green bar, and the stripe of the
    // held C#5 (MIDI 73) covers its semitone's columns.
    EXPECT_EQ(
        (shown[static_cast<std::size_t>(display::kBarBaseRow - 5) * kWidth + 449] >> 8) & 0xFF,
        0xFFu);

    playSeconds(0.5, false, {});
    EXPECT_EQ(differingPixels(lv2.pixels(), vst.pixels()), 0) << "silence";

    playSeconds(0.5, true, {{0x80, 76, 0}});
    EXPECT_EQ(differingPixels(lv2.pixels(), vst.pixels()), 0) << "a note released";
    EXPECT_NE(differingPixels(lv2.pixels(), shown), 0) << "the picture moved on";
}

// The host's ui:scaleFactor, rounded to the nearest whole factor within 1 to 3, sets the size
// the UI asks for and shows the factor-1 picture with each pixel a block.
TEST(Lv2Ui, ScaleFactorOptionShowsThePictureInBlocksAtTheNearestWholeFactor) {
    Lv2Side one;
    ASSERT_TRUE(one.open());
    EXPECT_EQ(one.asked, std::make_pair(kWidth, kHeight));
    one.tick();
    const std::vector<DWORD> picture = one.pixels();
    for (const auto& [scale, factor] :
         {std::pair{2.0f, 2}, std::pair{2.6f, 3}, std::pair{7.0f, 3}, std::pair{1.4f, 1}}) {
        Lv2Side scaled(scale, factor);
        ASSERT_TRUE(scaled.open()) << scale;
        EXPECT_EQ(scaled.asked, std::make_pair(kWidth * factor, kHeight * factor)) << scale;
        scaled.tick();
        const std::vector<DWORD> shown = scaled.shownPixels();
        long differing = 0;
        for (int y = 0; y < kHeight * factor; ++y) {
            for (int x = 0; x < kWidth * factor; ++x) {
                differing += shown[static_cast<std::size_t>(y) * kWidth * factor + x] !=
                             picture[static_cast<std::size_t>(y / factor) * kWidth + x / factor];
            }
        }
        EXPECT_EQ(differing, 0) << "ui:scaleFactor " << scale;
    }
}

// A steady tone at -20 dBFS cut into short blocks, with a run of no frames (a host flushing
// parameters) just before each refresh: bars at A4 at every refresh, and no bar in silence, as
// the VST 2 editor shows them for the same blocks.
TEST(Lv2Ui, HowAHostCutsItsBlocksNeverDecidesSilence) {
    Lv2Side lv2;
    ASSERT_TRUE(lv2.open());
    expectCutBlocksShownAsTheVstEditorShowsThem(lv2);
}

}  // namespace
