// The entry when memory runs out: every allocation made while an effect is built is made to
// fail in turn; each time the entry answers null, lets no exception out, and leaves no block
// behind.
#include <gtest/gtest.h>

#include "failing_allocator.h"
#include "plugin/plugin_entry.h"
#include "recording_host.h"

namespace {

VstIntPtr VSTCALLBACK versionHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

TEST(EntryOutOfMemory, EveryFailingAllocationGivesNullAndReleasesWhatWasBuilt) {
    using namespace failing_allocator;
    long failingAt = 0;
    for (;; ++failingAt) {
        const long failuresBefore = failuresInjected.load();
        const long liveBefore = liveBlocks.load();
        AEffect* effect = nullptr;
        {
            FailAfter arm(failingAt);
            effect = createCqscopeEffect(versionHost);
        }
        if (failuresInjected.load() == failuresBefore) {
            // The whole construction fitted in failingAt allocations: it must have worked.
            ASSERT_NE(effect, nullptr);
            EXPECT_EQ(effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f), 1);
            EXPECT_EQ(liveBlocks.load(), liveBefore) << "closing leaves no block behind";
            break;
        }
        EXPECT_EQ(effect, nullptr) << "allocation " << failingAt << " failed";
        EXPECT_EQ(liveBlocks.load(), liveBefore) << "allocation " << failingAt << " failed";
    }
    EXPECT_GE(failingAt, 1) << "building the effect allocates at least the effect itself";
}

}  // namespace
