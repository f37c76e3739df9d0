// Small stand-in plug-ins for the host's tests, one per way a library can present itself:
//   FIXTURE_GAIN      a two-in, two-out effect without editor, exported only as "main", that
//                     halves the left channel and quarters the right one;
//   FIXTURE_NULL      an entry that answers null;
//   FIXTURE_NO_ENTRY  a library that exports neither entry name.
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

#elif defined(FIXTURE_NULL)

FIXTURE_EXPORT AEffect* VSTPluginMain(audioMasterCallback) {
    return nullptr;
}

#elif defined(FIXTURE_NO_ENTRY)

FIXTURE_EXPORT int fixtureSomethingElse() {
    return 1;
}

#endif
