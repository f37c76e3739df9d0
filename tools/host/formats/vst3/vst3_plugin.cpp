#include "formats/vst3/vst3_plugin.h"

#include "common/host_error.h"

namespace cqhost {

using namespace vst3;

Vst3Plugin::Vst3Plugin(Vst3Module& module, const Vst3ClassInfo& processorClass,
                       Vst3HostObjects& host)
    : module_(module), host_(host) {
    // Plug-ins have been seen to leave *obj unset when they fail: it starts null.
    void* made = nullptr;
    if (module_.factory().createInstance(processorClass.cid.bytes, IComponent::iid.bytes, &made) !=
            kResultOk ||
        made == nullptr) {
        fail("cannot make its class \"" + processorClass.name + "\"");
    }
    component_.reset(static_cast<IComponent*>(made));
    // A component that fails initialize is released without terminate.
    if (component_->initialize(&host_.application) != kResultOk) {
        component_.reset();
        fail("failed to initialize its class \"" + processorClass.name + "\"");
    }
    try {
        processor_ = queryVst3<IAudioProcessor>(component_.get());
        if (!processor_)
            fail("has no audio processor in its class \"" + processorClass.name + "\"");
        makeController(processorClass);
        connect();
        const auto in = buses(kAudio, kInput), out = buses(kAudio, kOutput);
        inputChannels_ = in.empty() ? 0 : in.front().channels;
        outputChannels_ = out.empty() ? 0 : out.front().channels;
        // The controller starts from the component's state; an empty one tells it nothing
        // (and some plug-ins complain when asked to read it).
        if (controller_) {
            Vst3MemoryStream state;
            int64 size = 0;
            if (component_->getState(&state) == kResultOk && state.tell(&size) == kResultOk &&
                size > 0) {
                state.seek(0, IBStream::kIBSeekSet, nullptr);
                controller_->setComponentState(&state);
            }
        }
    } catch (...) {
        teardown();
        throw;
    }
}

// In the documented order: processing off, disconnected both ways, the handler taken back, the
// controller terminated and released, then the component.
Vst3Plugin::~Vst3Plugin() {
    teardown();
}

void Vst3Plugin::teardown() {
    deactivate();
    if (componentPoint_ && controllerPoint_) {
        componentPoint_->disconnect(controllerPoint_.get());
        controllerPoint_->disconnect(componentPoint_.get());
    }
    componentPoint_.reset();
    controllerPoint_.reset();
    if (controller_) controller_->setComponentHandler(nullptr);
    if (controllerInitialized_) controller_->terminate();
    controllerInitialized_ = false;
    controller_.reset();
    processor_.reset();
    if (component_) component_->terminate();
    component_.reset();
}

void Vst3Plugin::makeController(const Vst3ClassInfo& processorClass) {
    // One object answering for both: initialized once, as the component.
    controller_ = queryVst3<IEditController>(component_.get());
    if (controller_) {
        controllerKind_ = Vst3ControllerKind::SameObject;
    } else {
        TUID controllerId{};
        void* made = nullptr;
        if (component_->getControllerClassId(controllerId) != kResultOk ||
            module_.factory().createInstance(controllerId, IEditController::iid.bytes, &made) !=
                kResultOk ||
            made == nullptr) {
            return;  // no controller: the plug-in still processes
        }
        Vst3Ptr<IEditController> controller(static_cast<IEditController*>(made));
        if (controller->initialize(&host_.application) != kResultOk) {
            fail("failed to initialize the controller of \"" + processorClass.name + "\"");
        }
        controller_ = std::move(controller);
        controllerInitialized_ = true;
        controllerKind_ = Vst3ControllerKind::Separate;
    }
    controller_->setComponentHandler(&host_.handler);
}

// Separate parts talk through their connection points, connected both ways.
void Vst3Plugin::connect() {
    if (controllerKind_ != Vst3ControllerKind::Separate) return;
    componentPoint_ = queryVst3<IConnectionPoint>(component_.get());
    controllerPoint_ = queryVst3<IConnectionPoint>(controller_.get());
    if (!componentPoint_ || !controllerPoint_) {
        componentPoint_.reset();
        controllerPoint_.reset();
        return;
    }
    componentPoint_->connect(controllerPoint_.get());
    controllerPoint_->connect(componentPoint_.get());
}

std::vector<Vst3BusInfo> Vst3Plugin::buses(MediaType type, BusDirection direction) {
    std::vector<Vst3BusInfo> list;
    // The count bounds the questions: some plug-ins answer past it.
    const int32 count = component_->getBusCount(type, direction);
    for (int32 i = 0; i < count; ++i) {
        BusInfo info{};
        if (component_->getBusInfo(type, direction, i, info) != kResultOk) continue;
        list.push_back({utf8Of(info.name, 128), info.channelCount, info.busType, info.flags});
    }
    return list;
}

int Vst3Plugin::mainChannels(BusDirection direction) const {
    return direction == kInput ? inputChannels_ : outputChannels_;
}

void Vst3Plugin::activate(double sampleRate, int maxBlock) {
    if (processor_->canProcessSampleSize(kSample32) != kResultTrue) {
        fail("cannot process 32-bit samples");
    }
    // The buses this host uses: the first audio input and output, and the first event input.
    for (const auto& [type, direction] :
         {std::pair{kEvent, kInput}, std::pair{kAudio, kInput}, std::pair{kAudio, kOutput}}) {
        if (component_->getBusCount(type, direction) > 0) {
            component_->activateBus(type, direction, 0, 1);
        }
    }
    ProcessSetup setup{kRealtime, kSample32, maxBlock, sampleRate};
    if (processor_->setupProcessing(setup) != kResultOk) {
        fail("refused to process at " + std::to_string(static_cast<long long>(sampleRate)) +
             " Hz in blocks of " + std::to_string(maxBlock) + " frames");
    }
    if (component_->setActive(1) != kResultOk) fail("refused to switch on");
    active_ = true;
    sampleRate_ = sampleRate;
    position_ = 0;
}

void Vst3Plugin::deactivate() {
    if (!active_) return;
    stopProcessing();
    component_->setActive(0);
    active_ = false;
}

// What setProcessing answers is not checked: many plug-ins answer kNotImplemented.
void Vst3Plugin::startProcessing() {
    if (processing_) return;
    processor_->setProcessing(1);
    processing_ = true;
}

void Vst3Plugin::stopProcessing() {
    if (!processing_) return;
    processor_->setProcessing(0);
    processing_ = false;
}

void Vst3Plugin::process(float* const* inputs, float* const* outputs, int frames,
                         Vst3EventList& events) {
    AudioBusBuffers in{};
    in.numChannels = inputChannels_;
    in.channelBuffers32 = const_cast<float**>(inputs);
    AudioBusBuffers out{};
    out.numChannels = outputChannels_;
    out.channelBuffers32 = const_cast<float**>(outputs);
    ProcessContext context{};
    context.state = ProcessContext::kContTimeValid;
    context.sampleRate = sampleRate_;
    context.projectTimeSamples = position_;
    context.continousTimeSamples = position_;
    ProcessData data{};
    data.processMode = kRealtime;
    data.symbolicSampleSize = kSample32;
    data.numSamples = frames;
    data.numInputs = inputChannels_ > 0 ? 1 : 0;
    data.numOutputs = outputChannels_ > 0 ? 1 : 0;
    data.inputs = &in;
    data.outputs = &out;
    data.inputParameterChanges = &inputChanges_;
    data.outputParameterChanges = &outputChanges_;
    data.inputEvents = &events;
    data.outputEvents = &outputEvents_;
    data.processContext = &context;
    processor_->process(data);
    outputEvents_.clear();
    position_ += frames;
}

Vst3Ptr<IPlugView> Vst3Plugin::createView() {
    if (!controller_) return {};
    return Vst3Ptr<IPlugView>(controller_->createView(kEditor));
}

void Vst3Plugin::fail(const std::string& what) const {
    throw HostError("plug-in " + module_.path() + " " + what);
}

}  // namespace cqhost
