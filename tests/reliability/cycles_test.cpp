// A thousand lifetimes of the analyser in one process, each with its editor opened in a host
// window, idled and closed: nothing may accumulate. Resident memory and the platform
// library's live objects are compared between an early cycle and the last one.
//
// One instance stays alive throughout, as in a host session with the analyser on another
// track, so that the kernel set is shared and each cycle costs milliseconds.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <vector>

#include "abi/loaded_module.h"
#include "display/display_geometry.h"
#include "frame/host_interface.h"

namespace {

// The plug-in's own window system, in which its editor's parent windows must live.
const CqpHostCalls& windows() {
    return moduleWindows(CQSCOPE_MODULE_PATH);
}

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

long residentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

VstIntPtr dispatch(AEffect* effect, VstInt32 opcode, VstIntPtr value = 0, void* ptr = nullptr,
                   float opt = 0.0f) {
    return effect->dispatcher(effect, opcode, 0, value, ptr, opt);
}

// One lifetime: create, switch on, a block of audio, editor open, idle, close, effect closed.
void lifetime(const LoadedModule& module, HWND parent, std::vector<float>& audio) {
    AEffect* effect = module.pluginMain(hostCallback);
    ASSERT_NE(effect, nullptr);
    dispatch(effect, effOpen);
    dispatch(effect, effSetSampleRate, 0, nullptr, 44100.0f);
    dispatch(effect, effSetBlockSize, 256);
    dispatch(effect, effMainsChanged, 1);
    float* channels[2] = {audio.data(), audio.data() + 256};
    float* outputs[2] = {audio.data() + 512, audio.data() + 768};
    effect->processReplacing(effect, channels, outputs, 256);
    ERect* rect = nullptr;
    ASSERT_EQ(dispatch(effect, effEditGetRect, 0, &rect), 1);
    ASSERT_EQ(dispatch(effect, effEditOpen, 0, parent), 1);
    for (int i = 0; i < 3; ++i) {
        dispatch(effect, effEditIdle);
        windows().pumpMessages(parent);
    }
    dispatch(effect, effEditClose);
    dispatch(effect, effMainsChanged, 0);
    EXPECT_EQ(dispatch(effect, effClose), 1);
}

TEST(Reliability, ThousandLifetimesWithEditorLeaveNothingBehind) {
    const LoadedModule module;
    ASSERT_NE(module.pluginMain, nullptr) << "cannot load " << CQSCOPE_MODULE_PATH;
    HWND parent = windows().createHostWindow(display::kWidth, display::kHeight);
    ASSERT_NE(parent, nullptr);
    std::vector<float> audio(1024);
    for (size_t i = 0; i < audio.size(); ++i) audio[i] = (i % 64) / 64.0f - 0.5f;

    // A resident effect, switched on at the lifetimes' rate, keeps that rate's kernels alive,
    // as a host's other instances do: the lifetimes share them instead of each building a set.
    AEffect* resident = module.pluginMain(hostCallback);
    ASSERT_NE(resident, nullptr);
    dispatch(resident, effSetSampleRate, 0, nullptr, 44100.0f);
    dispatch(resident, effMainsChanged, 1);

    constexpr int kWarmUp = 100;
    constexpr int kCycles = 1000;
    long memoryAfterWarmUp = 0;
    int objectsAfterWarmUp = 0;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        lifetime(module, parent, audio);
        if (HasFatalFailure()) return;
        if (cycle + 1 == kWarmUp) {
            memoryAfterWarmUp = residentKiB();
            objectsAfterWarmUp = windows().liveObjectCount();
        }
    }
    EXPECT_EQ(windows().liveObjectCount(), objectsAfterWarmUp)
        << "platform objects left behind by " << kCycles - kWarmUp << " lifetimes";
    if (!kSanitized) {
        // A leak of even one small allocation per lifetime would pass; a leaked editor,
        // back buffer or bank (hundreds of kilobytes each) would not.
        EXPECT_LT(residentKiB() - memoryAfterWarmUp, 2048)
            << "resident memory grew over " << kCycles - kWarmUp << " lifetimes";
    }
    dispatch(resident, effMainsChanged, 0);
    EXPECT_EQ(dispatch(resident, effClose), 1);
    windows().destroyWindow(parent);
}

}  // namespace
