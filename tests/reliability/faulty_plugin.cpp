// A deliberately broken effect for the validator's own tests: it misbehaves in the ways the
// validator must report without dying itself. Which faults are on is read from the
// environment variable CQ_FAULTS, a comma-separated list:
//   crash-on-name    the effect-name opcode dereferences a null pointer
//   long-vendor      the vendor opcode writes 100 characters into the host's buffer
//   past-block       processReplacing writes one frame past the end of each output block
//   hang-on-resume   switching the effect on never returns
//   hang-on-load     the library's constructor never returns: dlopen of the file hangs
// Without faults it is a plain two-in, two-out pass-through that the validator accepts.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "frame/host_interface.h"

#define FIXTURE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

bool faultOn(const char* name) {
    const char* list = std::getenv("CQ_FAULTS");
    return list != nullptr && std::strstr(list, name) != nullptr;
}

VstIntPtr dispatcher(AEffect* effect, VstInt32 opcode, VstInt32, VstIntPtr value, void* ptr,
                     float) {
    switch (opcode) {
        case effClose:
            delete effect;
            return 1;
        case effGetEffectName:
            if (faultOn("crash-on-name")) {
                volatile int* nowhere = nullptr;
                *nowhere = 1;
            }
            std::strcpy(static_cast<char*>(ptr), "Faulty");
            return 1;
        case effGetVendorString:
            if (faultOn("long-vendor")) {
                std::memset(ptr, 'v', 100);
                static_cast<char*>(ptr)[100] = '\0';
            } else {
                std::strcpy(static_cast<char*>(ptr), "cqscope tests");
            }
            return 1;
        case effMainsChanged:
            while (value != 0 && faultOn("hang-on-resume")) ::pause();
            return 0;
        case effGetVstVersion:
            return 2400;
        default:
            return 0;
    }
}

void processReplacing(AEffect*, float** inputs, float** outputs, VstInt32 frames) {
    for (VstInt32 i = 0; i < frames; ++i) {
        outputs[0][i] = inputs[0][i];
        outputs[1][i] = inputs[1][i];
    }
    if (faultOn("past-block") && frames > 0) {
        outputs[0][frames] = 0.0f;
    }
}

// Runs while the file is being opened, before any entry is looked up.
__attribute__((constructor)) void hangOnLoad() {
    while (faultOn("hang-on-load")) ::pause();
}

}  // namespace

FIXTURE_EXPORT AEffect* VSTPluginMain(audioMasterCallback host) {
    if (host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    auto* record = new (std::nothrow) AEffect{};
    if (record == nullptr) return nullptr;
    record->magic = kEffectMagic;
    record->dispatcher = dispatcher;
    record->processReplacing = processReplacing;
    record->numPrograms = 1;
    record->numInputs = 2;
    record->numOutputs = 2;
    record->flags = effFlagsCanReplacing;
    record->uniqueID = 0x46617574;
    record->version = 1;
    return record;
}
