// Two copies of the analyser, built with different version numbers and loaded from two folders
// into one process, as a host does with a user's old and new plug-in folders. Each copy has
// its own window system inside it: each effect's editor opens, draws and closes in its own
// copy's windows, neither sees the other's objects or clock, and unloading one leaves the
// other working.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "display/display_geometry.h"
#include "loaded_module.h"

namespace {

constexpr int kWidth = display::kWidth;
constexpr int kHeight = display::kHeight;
constexpr int kBlock = 512;

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// One effect of a copy with its editor open in a parent window of that copy, on its manual
// clock.
class OpenAnalyser {
  public:
    explicit OpenAnalyser(const LoadedModule& module) : windows_(*module.windows) {
        windows_.setManualClock(TRUE, 1000);
        effect_ = module.pluginMain(host);
        if (effect_ == nullptr) return;
        dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
        dispatch(effSetBlockSize, 0, kBlock);
        dispatch(effMainsChanged, 0, 1);
        EXPECT_TRUE(analysisReady(windows_));
        parent_ = windows_.createHostWindow(kWidth, kHeight);
        opened_ = parent_ != nullptr && dispatch(effEditOpen, 0, 0, parent_) == 1;
    }
    ~OpenAnalyser() {
        if (effect_ == nullptr) return;
        if (opened_) dispatch(effEditClose);
        dispatch(effClose);
        if (parent_ != nullptr) windows_.destroyWindow(parent_);
    }
    bool open() const { return opened_; }

    // A quarter of a second of a loud A4 (or silence), then a refresh period and its idles.
    void play(bool tone) {
        std::vector<float> in(kBlock), out(kBlock);
        float* inputs[] = {in.data(), in.data()};
        float* outputs[] = {out.data(), out.data()};
        for (int block = 0; block < 25; ++block) {
            for (int i = 0; i < kBlock; ++i, ++frame_) {
                in[i] = tone ? static_cast<float>(
                                   0.5 * std::sin(2 * std::numbers::pi * 440.0 * frame_ / 44100.0))
                             : 0.0f;
            }
            effect_->processReplacing(effect_, inputs, outputs, kBlock);
            for (int i = 0; i < kBlock; ++i) ASSERT_EQ(out[i], in[i]) << "pass-through";
        }
        windows_.advanceClock(100);
        for (int i = 0; i < 3; ++i) {
            dispatch(effEditIdle);
            windows_.pumpMessages(parent_);
        }
    }
    // The height of the green bar in A4's column (449, beside its grid line).
    int a4Bar() const {
        std::vector<DWORD> pixels(static_cast<size_t>(kWidth) * kHeight);
        if (!windows_.readWindowPixels(parent_, pixels.data(), kWidth, kHeight)) return -1;
        int height = 0;
        const int base = display::kBarBaseRow;
        while (height < base &&
               ((pixels[static_cast<size_t>(base - height) * kWidth + 449] >> 8) & 0xFF) == 0xFF) {
            ++height;
        }
        return height;
    }

  private:
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) {
        return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
    }

    const CqpHostCalls& windows_;
    AEffect* effect_ = nullptr;
    HWND parent_ = nullptr;
    bool opened_ = false;
    long frame_ = 0;
};

}  // namespace

TEST(SideBySide, TwoVersionsFromTwoFoldersKeepTheirOwnWindows) {
    auto current = std::make_unique<LoadedModule>(CQSCOPE_MODULE_PATH);
    const LoadedModule other(CQSCOPE_OTHER_MODULE_PATH);
    ASSERT_NE(current->windows, nullptr);
    ASSERT_NE(other.windows, nullptr);
    ASSERT_NE(current->handle, other.handle) << "two folders, two modules";
    EXPECT_STREQ(current->windows->moduleVersion, CQSCOPE_PROJECT_VERSION);
    EXPECT_STREQ(other.windows->moduleVersion, CQSCOPE_OTHER_VERSION);
    const int otherBaseline = other.windows->liveObjectCount();

    auto loud = std::make_unique<OpenAnalyser>(*current);
    ASSERT_TRUE(loud->open());
    const int currentOpen = current->windows->liveObjectCount();
    {
        OpenAnalyser quiet(other);
        ASSERT_TRUE(quiet.open());
        EXPECT_GT(other.windows->liveObjectCount(), otherBaseline);
        EXPECT_EQ(current->windows->liveObjectCount(), currentOpen)
            << "the other copy's editor made objects in this copy";

        // Each display shows its own effect's audio, on its own clock.
        loud->play(true);
        quiet.play(false);
        EXPECT_GT(loud->a4Bar(), 400);
        EXPECT_EQ(quiet.a4Bar(), 0);
    }
    EXPECT_EQ(other.windows->liveObjectCount(), otherBaseline) << "closed editor left objects";

    // The current copy closed and unloaded; the other one opens and draws as before.
    loud.reset();
    current.reset();
    OpenAnalyser again(other);
    ASSERT_TRUE(again.open());
    again.play(true);
    EXPECT_GT(again.a4Bar(), 400);
}
