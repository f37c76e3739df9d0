// One VST 3 plug-in made from a module's factory, driven as a host drives it: the component
// (processor) and its controller, whether one object or two (the controller is optional: a
// plug-in processes without one), connected both ways, the controller given the component's
// state; then processing at a rate and a largest block, blocks with their note events, the
// editor in a parent window served by the frame's run loop; finally everything undone in the
// documented order by the destructor.
//
// Threads: all calls on the main thread, except process (and setProcessing through
// startProcessing/stopProcessing), which run on the audio thread. The host plays its blocks on
// the main thread, so the two are one thread here.
#pragma once

#include <string>
#include <vector>

#include "formats/vst3/vst3_host_objects.h"
#include "formats/vst3/vst3_module.h"

namespace cqhost {

struct Vst3BusInfo {
    std::string name;
    int channels = 0;
    int busType = 0;  // vst3::kMain or kAux
    unsigned flags = 0;
};

// How the controller was found.
enum class Vst3ControllerKind { None, SameObject, Separate };

class Vst3Plugin {
  public:
    // Makes and initializes an instance of `processorClass`, lending it `host`, which must
    // outlive `module` (plug-ins have been seen to keep references to it until they are
    // unloaded). Throws HostError with a one-line reason naming the module.
    Vst3Plugin(Vst3Module& module, const Vst3ClassInfo& processorClass, Vst3HostObjects& host);
    ~Vst3Plugin();
    Vst3Plugin(const Vst3Plugin&) = delete;
    Vst3Plugin& operator=(const Vst3Plugin&) = delete;

    std::vector<Vst3BusInfo> buses(vst3::MediaType type, vst3::BusDirection direction);
    // Channels of the first audio bus in `direction`, 0 when there is none.
    int mainChannels(vst3::BusDirection direction) const;
    Vst3ControllerKind controllerKind() const { return controllerKind_; }
    vst3::IEditController* controller() const { return controller_.get(); }
    vst3::IAudioProcessor& processor() { return *processor_.get(); }
    // The component, which further interfaces (our hosts' own) are asked of.
    vst3::IComponent* component() const { return component_.get(); }

    // Set up at `sampleRate` Hz for blocks of at most `maxBlock` frames and switched on.
    // Throws HostError when the plug-in cannot process 32-bit samples or refuses.
    void activate(double sampleRate, int maxBlock);
    void deactivate();  // safe when not active
    bool active() const { return active_; }
    void startProcessing();
    void stopProcessing();  // safe when not processing

    // Audio thread. One block: the note events of `events`, `frames` frames of
    // mainChannels(kInput) input channels into mainChannels(kOutput) output channels.
    void process(float* const* inputs, float* const* outputs, int frames, Vst3EventList& events);

    // The editor's view, made by createView("editor"); null when the controller gives none.
    Vst3Ptr<vst3::IPlugView> createView();
    Vst3PlugFrame& frame() { return host_.frame; }

  private:
    void makeController(const Vst3ClassInfo& processorClass);
    void connect();
    void teardown();
    [[noreturn]] void fail(const std::string& what) const;

    Vst3Module& module_;
    Vst3HostObjects& host_;
    Vst3ParameterChanges inputChanges_, outputChanges_;
    Vst3EventList outputEvents_;
    Vst3Ptr<vst3::IComponent> component_;
    Vst3Ptr<vst3::IAudioProcessor> processor_;
    Vst3Ptr<vst3::IEditController> controller_;
    Vst3Ptr<vst3::IConnectionPoint> componentPoint_, controllerPoint_;
    Vst3ControllerKind controllerKind_ = Vst3ControllerKind::None;
    bool controllerInitialized_ = false;
    int inputChannels_ = 0, outputChannels_ = 0;
    bool active_ = false, processing_ = false;
    double sampleRate_ = 0;
    long long position_ = 0;  // frames processed since activation
    std::vector<float*> inputPointers_, outputPointers_;
};

}  // namespace cqhost
