// A stand-in VST 3 module for the host's tests, built from our own declarations: one class that
// is component, processor and controller at once (the single-component shape), with a stereo
// input and output, one event input and an editor view. Its blocks halve the input. Every call
// the host makes is appended, one per line, to the file named by CQHOST_VST3_FIXTURE_LOG (when
// set), so that a test can read the order. The host calls everything on its main thread.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "vst3/vst3_interface.h"

namespace {

using namespace vst3;

void log(const std::string& line) {
    const char* path = std::getenv("CQHOST_VST3_FIXTURE_LOG");
    if (path == nullptr) return;
    if (FILE* file = std::fopen(path, "a")) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

constexpr Uid kClassId = makeUid(0x43515343, 0x46495854, 0x56535433, 0x00000001);

class Fixture final : public IComponent, public IAudioProcessor, public IEditController {
  public:
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
        if (sameUid(iid, FUnknown::iid) || sameUid(iid, IPluginBase::iid) ||
            sameUid(iid, IComponent::iid)) {
            *obj = static_cast<IComponent*>(this);
        } else if (sameUid(iid, IAudioProcessor::iid)) {
            *obj = static_cast<IAudioProcessor*>(this);
        } else if (sameUid(iid, IEditController::iid)) {
            *obj = static_cast<IEditController*>(this);
        } else {
            *obj = nullptr;
            return kNoInterface;
        }
        addRef();
        return kResultOk;
    }
    uint32 PLUGIN_API addRef() override { return ++references_; }
    uint32 PLUGIN_API release() override {
        const uint32 left = --references_;
        if (left == 0) {
            log("destroyed");
            delete this;
        }
        return left;
    }

    tresult PLUGIN_API initialize(FUnknown* context) override {
        IHostApplication* host = nullptr;
        const bool named = context != nullptr &&
                           context->queryInterface(IHostApplication::iid.bytes,
                                                   reinterpret_cast<void**>(&host)) == kResultOk;
        if (named) host->release();
        log(std::string("initialize") + (named ? " with host application" : ""));
        return kResultOk;
    }
    tresult PLUGIN_API terminate() override {
        log("terminate");
        return kResultOk;
    }

    tresult PLUGIN_API getControllerClassId(TUID) override { return kResultFalse; }
    tresult PLUGIN_API setIoMode(IoMode) override { return kResultOk; }
    int32 PLUGIN_API getBusCount(MediaType type, BusDirection dir) override {
        return type == kAudio || dir == kInput ? 1 : 0;
    }
    tresult PLUGIN_API getBusInfo(MediaType type, BusDirection dir, int32 index,
                                  BusInfo& bus) override {
        if (index != 0 || getBusCount(type, dir) == 0) return kInvalidArgument;
        bus = {};
        bus.mediaType = type;
        bus.direction = dir;
        bus.channelCount = type == kAudio ? 2 : 16;
        bus.flags = BusInfo::kDefaultActive;
        return kResultOk;
    }
    tresult PLUGIN_API getRoutingInfo(RoutingInfo&, RoutingInfo&) override {
        return kNotImplemented;
    }
    tresult PLUGIN_API activateBus(MediaType type, BusDirection dir, int32 index,
                                   TBool state) override {
        log("activateBus " + std::to_string(type) + " " + std::to_string(dir) + " " +
            std::to_string(index) + " " + std::to_string(state));
        return kResultOk;
    }
    tresult PLUGIN_API setActive(TBool state) override {
        log("setActive " + std::to_string(state));
        return kResultOk;
    }
    tresult PLUGIN_API setState(IBStream*) override { return kResultOk; }
    // One byte of state, so that the host hands it to the controller.
    tresult PLUGIN_API getState(IBStream* state) override {
        char byte = 7;
        int32 written = 0;
        return state->write(&byte, 1, &written) == kResultOk && written == 1 ? kResultOk
                                                                             : kResultFalse;
    }

    tresult PLUGIN_API setBusArrangements(SpeakerArrangement*, int32, SpeakerArrangement*,
                                          int32) override {
        return kResultFalse;
    }
    tresult PLUGIN_API getBusArrangement(BusDirection, int32 index,
                                         SpeakerArrangement& arr) override {
        if (index != 0) return kInvalidArgument;
        arr = kStereo;
        return kResultOk;
    }
    tresult PLUGIN_API canProcessSampleSize(int32 size) override {
        return size == kSample32 ? kResultTrue : kResultFalse;
    }
    uint32 PLUGIN_API getLatencySamples() override { return 0; }
    tresult PLUGIN_API setupProcessing(ProcessSetup& setup) override {
        log("setupProcessing " + std::to_string(static_cast<int>(setup.sampleRate)) + " " +
            std::to_string(setup.maxSamplesPerBlock) + " " +
            std::to_string(setup.symbolicSampleSize));
        return kResultOk;
    }
    tresult PLUGIN_API setProcessing(TBool state) override {
        log("setProcessing " + std::to_string(state));
        return kResultOk;
    }
    // Halves the input.
    tresult PLUGIN_API process(ProcessData& data) override {
        if (!processed_) log("process");
        processed_ = true;
        if (data.numInputs == 1 && data.numOutputs == 1) {
            for (int32 c = 0; c < 2; ++c) {
                for (int32 k = 0; k < data.numSamples; ++k) {
                    data.outputs[0].channelBuffers32[c][k] =
                        0.5f * data.inputs[0].channelBuffers32[c][k];
                }
            }
        }
        return kResultOk;
    }
    uint32 PLUGIN_API getTailSamples() override { return kNoTail; }

    tresult PLUGIN_API setComponentState(IBStream* state) override {
        char byte = 0;
        int32 read = 0;
        state->read(&byte, 1, &read);
        log("setComponentState " + std::to_string(read == 1 ? byte : -1));
        return kResultOk;
    }
    int32 PLUGIN_API getParameterCount() override { return 0; }
    tresult PLUGIN_API getParameterInfo(int32, ParameterInfo&) override { return kInvalidArgument; }
    tresult PLUGIN_API getParamStringByValue(ParamID, ParamValue, String128) override {
        return kInvalidArgument;
    }
    tresult PLUGIN_API getParamValueByString(ParamID, TChar*, ParamValue&) override {
        return kInvalidArgument;
    }
    ParamValue PLUGIN_API normalizedParamToPlain(ParamID, ParamValue value) override {
        return value;
    }
    ParamValue PLUGIN_API plainParamToNormalized(ParamID, ParamValue value) override {
        return value;
    }
    ParamValue PLUGIN_API getParamNormalized(ParamID) override { return 0; }
    tresult PLUGIN_API setParamNormalized(ParamID, ParamValue) override { return kInvalidArgument; }
    tresult PLUGIN_API setComponentHandler(IComponentHandler* handler) override {
        log(std::string("setComponentHandler ") + (handler != nullptr ? "set" : "null"));
        return kResultOk;
    }
    IPlugView* PLUGIN_API createView(FIDString) override { return nullptr; }

  private:
    std::atomic<uint32> references_{1};
    bool processed_ = false;
};

class Factory : public IPluginFactory {
  public:
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
        if (sameUid(iid, FUnknown::iid) || sameUid(iid, IPluginFactory::iid)) {
            *obj = this;
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override {
        log("factory released");
        return 1;
    }
    tresult PLUGIN_API getFactoryInfo(PFactoryInfo* info) override {
        *info = {};
        std::strcpy(info->vendor, "cqscope tests");
        return kResultOk;
    }
    int32 PLUGIN_API countClasses() override { return 1; }
    tresult PLUGIN_API getClassInfo(int32 index, PClassInfo* info) override {
        if (index != 0) return kInvalidArgument;
        *info = {};
        std::memcpy(info->cid, kClassId.bytes, 16);
        info->cardinality = PClassInfo::kManyInstances;
        std::strcpy(info->category, kVstAudioEffectClass);
        std::strcpy(info->name, "Fixture");
        return kResultOk;
    }
    // Leaves *obj as it was for an unknown class, as some plug-ins do.
    tresult PLUGIN_API createInstance(FIDString cid, FIDString iid, void** obj) override {
        if (!sameUid(cid, kClassId)) return kNoInterface;
        log("createInstance");
        auto* fixture = new Fixture;
        const tresult result = fixture->queryInterface(iid, obj);
        fixture->release();
        return result;
    }
};

Factory factory;

}  // namespace

extern "C" {
VST3_EXPORT bool ModuleEntry(void*) {
    log("ModuleEntry");
    return true;
}
VST3_EXPORT bool ModuleExit() {
    log("ModuleExit");
    return true;
}
VST3_EXPORT IPluginFactory* PLUGIN_API GetPluginFactory() {
    return &factory;
}
}
