#include "vst3/plugin.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

#include "core/analyser_core.h"
#include "core/pass_through.h"
#include "vst3/analysis_wait.h"
#include "vst3/unknown.h"
#include "vst3/view.h"

namespace cqscope::vst3plugin {

using namespace vst3;

namespace {

// The saved state: four magic bytes and a little-endian format version. Later settings are
// appended after it under a higher version; a reader takes what it knows of a later one.
constexpr char kStateMagic[4] = {'c', 'q', 's', '3'};
constexpr std::uint32_t kStateVersion = 1;
constexpr int32 kStateSize = 8;

constexpr int32 kMidiChannels = 16;

void copyUtf16(const char* text, String128 out) {
    int i = 0;
    for (; text[i] != '\0' && i < 127; ++i) out[i] = static_cast<char16>(text[i]);
    out[i] = 0;
}

// MIDI velocity (1-127) of a note-on's velocity (0-1); a velocity of 0 gives 0, which the core
// takes for a note-off as it does a MIDI note-on of velocity 0.
std::uint8_t midiVelocity(float velocity) noexcept {
    if (!(velocity > 0.0f)) return 0;
    const float scaled = velocity * 127.0f + 0.5f;
    return static_cast<std::uint8_t>(scaled < 1.0f ? 1 : scaled > 127.0f ? 127 : scaled);
}

class Plugin final : public IComponent,
                     public IAudioProcessor,
                     public IEditController,
                     public IAnalysisWait {
  public:
    // ---- FUnknown (any thread) --------------------------------------------------------------

    // One method serves the four bases' slots.
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
        void* found = nullptr;
        if (isUid(iid, FUnknown::iid) || isUid(iid, IPluginBase::iid) ||
            isUid(iid, IComponent::iid))
            found = static_cast<IComponent*>(this);
        else if (isUid(iid, IAudioProcessor::iid))
            found = static_cast<IAudioProcessor*>(this);
        else if (isUid(iid, IEditController::iid))
            found = static_cast<IEditController*>(this);
        else if (isUid(iid, IAnalysisWait::iid))
            found = static_cast<IAnalysisWait*>(this);
        return answerQuery(obj, found, references_);
    }
    uint32 PLUGIN_API addRef() override { return references_.add(); }
    uint32 PLUGIN_API release() override {
        const uint32 left = references_.drop();
        if (left == 0) delete this;
        return left;
    }

    // ---- IPluginBase (UI thread; one method for the component and the controller) -----------

    // Hosts that take the component for its controller too initialize and terminate it once
    // per role (Ardour 7.3 does): the calls are counted, and only the last terminate lets go
    // of the host's objects. Nothing is allocated here: a scan costs nothing.
    tresult PLUGIN_API initialize(FUnknown*) override {
        ++initializations_;
        return kResultOk;
    }
    tresult PLUGIN_API terminate() override {
        if (initializations_ > 0 && --initializations_ == 0) setComponentHandler(nullptr);
        return kResultOk;
    }

    // ---- IComponent (UI thread) -------------------------------------------------------------

    tresult PLUGIN_API getControllerClassId(TUID classId) override {
        if (classId != nullptr) std::memset(classId, 0, sizeof(TUID));
        return kResultFalse;  // this object is its own controller
    }
    tresult PLUGIN_API setIoMode(IoMode) override { return kResultOk; }
    int32 PLUGIN_API getBusCount(MediaType type, BusDirection dir) override {
        if (type == kAudio) return dir == kInput || dir == kOutput ? 1 : 0;
        return type == kEvent && dir == kInput ? 1 : 0;
    }
    tresult PLUGIN_API getBusInfo(MediaType type, BusDirection dir, int32 index,
                                  BusInfo& bus) override {
        if (index != 0 || getBusCount(type, dir) == 0) return kInvalidArgument;
        bus = {};
        bus.mediaType = type;
        bus.direction = dir;
        bus.channelCount = type == kAudio ? 2 : kMidiChannels;
        copyUtf16(type == kEvent ? "Notes" : dir == kInput ? "Input" : "Output", bus.name);
        bus.busType = kMain;
        bus.flags = BusInfo::kDefaultActive;
        return kResultOk;
    }
    tresult PLUGIN_API getRoutingInfo(RoutingInfo&, RoutingInfo&) override {
        return kNotImplemented;
    }
    tresult PLUGIN_API activateBus(MediaType type, BusDirection dir, int32 index, TBool) override {
        return index == 0 && getBusCount(type, dir) == 1 ? kResultOk : kInvalidArgument;
    }
    // Switching on asks for the kernels of the rate setupProcessing gave (the default rate
    // without one), built beside; a rate the analysis cannot serve still activates: audio
    // passes, the display shows no bars. Switching off keeps them for the next switch-on.
    tresult PLUGIN_API setActive(TBool state) override {
        if (state == 0) return kResultOk;
        core_.setSampleRate(sampleRate_);
        try {
            (void)core_.start();
        } catch (...) {
            return kOutOfMemory;
        }
        return kResultOk;
    }
    // The record of kStateSize bytes; refused (kResultFalse) when the stream holds something
    // else. An empty stream is a state that stores nothing, which is ours as well.
    tresult PLUGIN_API setState(IBStream* state) override {
        if (state == nullptr) return kInvalidArgument;
        char record[kStateSize] = {};
        int32 read = 0;
        if (state->read(record, kStateSize, &read) != kResultOk) return kResultFalse;
        if (read == 0) return kResultOk;
        if (read != kStateSize || std::memcmp(record, kStateMagic, sizeof kStateMagic) != 0)
            return kResultFalse;
        std::uint32_t version = 0;
        for (int i = 0; i < 4; ++i)
            version |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(record[4 + i]))
                       << (8 * i);
        return version >= 1 ? kResultOk : kResultFalse;
    }
    tresult PLUGIN_API getState(IBStream* state) override {
        if (state == nullptr) return kInvalidArgument;
        char record[kStateSize];
        std::memcpy(record, kStateMagic, sizeof kStateMagic);
        for (int i = 0; i < 4; ++i) record[4 + i] = static_cast<char>(kStateVersion >> (8 * i));
        int32 written = 0;
        return state->write(record, kStateSize, &written) == kResultOk && written == kStateSize
                   ? kResultOk
                   : kResultFalse;
    }

    // ---- IAudioProcessor (UI thread; process on the audio thread) ---------------------------

    tresult PLUGIN_API setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                          SpeakerArrangement* outputs, int32 numOuts) override {
        return numIns == 1 && numOuts == 1 && inputs != nullptr && outputs != nullptr &&
                       inputs[0] == kStereo && outputs[0] == kStereo
                   ? kResultTrue
                   : kResultFalse;
    }
    tresult PLUGIN_API getBusArrangement(BusDirection dir, int32 index,
                                         SpeakerArrangement& arr) override {
        if (index != 0 || (dir != kInput && dir != kOutput)) return kInvalidArgument;
        arr = kStereo;
        return kResultOk;
    }
    tresult PLUGIN_API canProcessSampleSize(int32 size) override {
        return size == kSample32 ? kResultTrue : kResultFalse;
    }
    uint32 PLUGIN_API getLatencySamples() override { return 0; }
    // Records the rate (Hz) for the next switch-on; called while inactive.
    tresult PLUGIN_API setupProcessing(ProcessSetup& setup) override {
        if (setup.symbolicSampleSize != kSample32) return kResultFalse;
        if (!(setup.sampleRate > 0) || !std::isfinite(setup.sampleRate)) return kInvalidArgument;
        sampleRate_ = setup.sampleRate;
        return kResultOk;
    }
    tresult PLUGIN_API setProcessing(TBool) override { return kResultOk; }
    uint32 PLUGIN_API getTailSamples() override { return kNoTail; }

    tresult PLUGIN_API process(ProcessData& data) override {
        if (data.inputEvents != nullptr) {
            const int32 count = data.inputEvents->getEventCount();
            if (count > 0) readEvents(*data.inputEvents, count);
        }
        // A call with no frames (a host flushing parameters) has no audio to pass or analyse.
        if (data.numSamples <= 0 || data.numOutputs < 1 || data.outputs == nullptr)
            return kResultOk;
        if (data.symbolicSampleSize != kSample32) return kInvalidArgument;
        AudioBusBuffers& out = data.outputs[0];
        if (out.numChannels < 2 || out.channelBuffers32 == nullptr ||
            out.channelBuffers32[0] == nullptr || out.channelBuffers32[1] == nullptr)
            return kResultOk;
        const AudioBusBuffers* in = data.numInputs >= 1 ? data.inputs : nullptr;
        if (in == nullptr || in->numChannels < 2 || in->channelBuffers32 == nullptr ||
            in->channelBuffers32[0] == nullptr || in->channelBuffers32[1] == nullptr) {
            // No input to pass on (its bus off): the outputs still get their frames, silent.
            for (int c = 0; c < 2; ++c)
                std::memset(out.channelBuffers32[c], 0,
                            sizeof(float) * static_cast<std::size_t>(data.numSamples));
            out.silenceFlags = 3;
            return kResultOk;
        }
        passThrough(in->channelBuffers32, out.channelBuffers32, data.numSamples);
        out.silenceFlags = in->silenceFlags & 3;
        // Read from the outputs, which hold the inputs' samples now (in place or not).
        core_.audio(out.channelBuffers32, data.numSamples);
        return kResultOk;
    }

    // ---- IEditController (UI thread) --------------------------------------------------------

    // The component's state reaches the controller too: the same record, the same check.
    tresult PLUGIN_API setComponentState(IBStream* state) override { return setState(state); }
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
    // Kept (nothing is ever edited, so it is never called) and let go of in the last
    // terminate; hosts refuse a plug-in that answers other than kResultOk.
    tresult PLUGIN_API setComponentHandler(IComponentHandler* handler) override {
        if (handler != nullptr) handler->addRef();
        if (handler_ != nullptr) handler_->release();
        handler_ = handler;
        return kResultOk;
    }
    IPlugView* PLUGIN_API createView(FIDString name) override {
        if (name == nullptr || std::strcmp(name, kEditor) != 0) return nullptr;
        return vst3plugin::createView(core_, static_cast<IComponent*>(this));
    }

    // ---- IAnalysisWait (UI thread) ----------------------------------------------------------

    // A wait that cannot be made (its lock failing) answers as a timeout: nothing unwinds into
    // the host.
    tresult PLUGIN_API waitForAnalysis(uint32 timeoutMs) override {
        try {
            return core_.waitUntilReady(std::chrono::milliseconds(timeoutMs)) ? kResultTrue
                                                                              : kResultFalse;
        } catch (...) {
            return kResultFalse;
        }
    }

  private:
    ~Plugin() {
        if (handler_ != nullptr) handler_->release();
    }

    // The block's note events, all before its audio (as the other shells take theirs): the
    // held notes only reach the display, which draws after the block. Audio thread.
    [[gnu::noinline]] void readEvents(IEventList& events, int32 count) noexcept {
        for (int32 i = 0; i < count; ++i) {
            Event event{};
            if (events.getEvent(i, event) != kResultOk) continue;
            if (event.type == Event::kNoteOnEvent) {
                const auto channel = static_cast<std::uint8_t>(event.noteOn.channel & 0x0F);
                if (event.noteOn.pitch < 0 || event.noteOn.pitch > 127) continue;
                core_.midi(static_cast<std::uint8_t>(0x90 | channel),
                           static_cast<std::uint8_t>(event.noteOn.pitch),
                           midiVelocity(event.noteOn.velocity));
            } else if (event.type == Event::kNoteOffEvent) {
                const auto channel = static_cast<std::uint8_t>(event.noteOff.channel & 0x0F);
                if (event.noteOff.pitch < 0 || event.noteOff.pitch > 127) continue;
                core_.midi(static_cast<std::uint8_t>(0x80 | channel),
                           static_cast<std::uint8_t>(event.noteOff.pitch), 0);
            }
        }
    }

    ReferenceCount references_;
    int initializations_ = 0;                 // UI thread
    IComponentHandler* handler_ = nullptr;    // UI thread
    double sampleRate_ = kDefaultSampleRate;  // Hz, from setupProcessing; UI thread
    AnalyserCore core_;                       // no kernels until the first switch-on
};

}  // namespace

IComponent* createPlugin() {
    return new (std::nothrow) Plugin();
}

}  // namespace cqscope::vst3plugin
