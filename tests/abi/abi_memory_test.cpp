// Memory through the built module: effClose frees everything an instance allocated, repeated
// load/instantiate/close cycles leak nothing, and an allocation that fails anywhere during
// construction makes the entry answer null without leaking or throwing into the host.
#include <gtest/gtest.h>

#include "failing_allocator.h"
#include "loaded_module.h"

namespace {

using namespace failing_allocator;

VstIntPtr VSTCALLBACK versionHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

TEST(ModuleMemory, TheModuleAllocatesThroughTheHostProcessAllocator) {
    LoadedModule module;
    ASSERT_NE(module.pluginMain, nullptr);
    // The first effect in the process sets up the window library's built-in classes, which
    // stay for the process; count only what the next one owns.
    AEffect* warm = module.pluginMain(versionHost);
    ASSERT_NE(warm, nullptr);
    warm->dispatcher(warm, effClose, 0, 0, nullptr, 0.0f);
    const long before = liveBlocks.load();
    AEffect* e = module.pluginMain(versionHost);
    ASSERT_NE(e, nullptr);
    EXPECT_GT(liveBlocks.load(), before) << "the effect is allocated with operator new";
    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(liveBlocks.load(), before) << "effClose frees the effect and all it owns";
}

TEST(ModuleMemory, ManyInstancesComeAndGoWithoutLeaking) {
    LoadedModule module;
    ASSERT_NE(module.main, nullptr);
    // The first instance may set up process-wide things that stay; measure after it.
    AEffect* first = module.main(versionHost);
    ASSERT_NE(first, nullptr);
    first->dispatcher(first, effClose, 0, 0, nullptr, 0.0f);
    const long before = liveBlocks.load();
    // Kernels are shared by the instances of a rate and freed with the last one. One instance
    // held open through the loop keeps them, so that each cycle costs only what an instance
    // owns (otherwise every cycle would rebuild 85 MiB of kernels).
    AEffect* keeper = module.main(versionHost);
    ASSERT_NE(keeper, nullptr);
    keeper->dispatcher(keeper, effMainsChanged, 0, 1, nullptr, 0.0f);
    for (int i = 0; i < 1000; ++i) {
        AEffect* e = module.main(versionHost);
        ASSERT_NE(e, nullptr);
        e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
        ASSERT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1);
    }
    ASSERT_EQ(keeper->dispatcher(keeper, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(liveBlocks.load(), before);
}

TEST(ModuleMemory, EveryFailingAllocationDuringConstructionGivesNull) {
    LoadedModule module;
    ASSERT_NE(module.pluginMain, nullptr);
    // Warm up process-wide state so that only per-instance allocations are counted.
    AEffect* warm = module.pluginMain(versionHost);
    ASSERT_NE(warm, nullptr);
    warm->dispatcher(warm, effClose, 0, 0, nullptr, 0.0f);

    long failingAt = 0;
    for (;; ++failingAt) {
        const long failuresBefore = failuresInjected.load();
        const long liveBefore = liveBlocks.load();
        AEffect* effect = nullptr;
        {
            FailAfter arm(failingAt);
            effect = module.pluginMain(versionHost);
        }
        if (failuresInjected.load() == failuresBefore) {
            ASSERT_NE(effect, nullptr);
            EXPECT_EQ(effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f), 1);
            EXPECT_EQ(liveBlocks.load(), liveBefore);
            break;
        }
        EXPECT_EQ(effect, nullptr) << "allocation " << failingAt << " failed";
        EXPECT_EQ(liveBlocks.load(), liveBefore) << "allocation " << failingAt << " failed";
        ASSERT_LT(failingAt, 100000) << "construction never completes";
    }
    EXPECT_GE(failingAt, 1);
}

}  // namespace
