// Names of the host callback's opcodes, as cqscope-host reports what a plug-in asked of it.
// Shared by the Linux and the Windows builds of the host.
#include <string>

#include "formats/vst2/plugin_host.h"

namespace cqhost {

std::string hostOpcodeName(VstInt32 opcode) {
    switch (opcode) {
        case audioMasterAutomate:
            return "automate";
        case audioMasterVersion:
            return "version";
        case audioMasterCurrentId:
            return "currentId";
        case audioMasterIdle:
            return "idle";
        case audioMasterPinConnected:
            return "pinConnected";
        case audioMasterWantMidi:
            return "wantMidi";
        case audioMasterGetTime:
            return "getTime";
        case audioMasterIOChanged:
            return "ioChanged";
        case audioMasterSizeWindow:
            return "sizeWindow";
        case audioMasterGetSampleRate:
            return "getSampleRate";
        case audioMasterGetBlockSize:
            return "getBlockSize";
        case audioMasterGetInputLatency:
            return "getInputLatency";
        case audioMasterGetOutputLatency:
            return "getOutputLatency";
        case audioMasterGetCurrentProcessLevel:
            return "getCurrentProcessLevel";
        case audioMasterGetAutomationState:
            return "getAutomationState";
        case audioMasterGetVendorString:
            return "getVendorString";
        case audioMasterGetProductString:
            return "getProductString";
        case audioMasterGetVendorVersion:
            return "getVendorVersion";
        case audioMasterVendorSpecific:
            return "vendorSpecific";
        case audioMasterCanDo:
            return "canDo";
        case audioMasterGetLanguage:
            return "getLanguage";
        case audioMasterGetDirectory:
            return "getDirectory";
        case audioMasterUpdateDisplay:
            return "updateDisplay";
        case audioMasterBeginEdit:
            return "beginEdit";
        case audioMasterEndEdit:
            return "endEdit";
        default:
            return "opcode " + std::to_string(opcode);
    }
}

}  // namespace cqhost
