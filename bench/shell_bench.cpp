// cqscope-shell-bench: what each plug-in interface costs per frame on the host's audio thread,
// through the built modules' own entries, in one run:
// - the VST 2 effect's processReplacing (cqscope.so: the copy and the analysis intake), the
//   reference the other rows are divided by, and the same after a processEvents call with a
//   note-on and a note-off, the reference of the CLAP row with the same two notes;
// - the CLAP plug-in's process (cqscope.clap: the same copy and intake, with an empty event
//   list as most blocks bring, and with the note-on and the note-off in each block's list);
// - the LV2 plug-in's run (the copy; with a UI listening, also the block's samples written to
//   the notify port for the UI, which analyses them on its own thread);
// - the VST 3 plug-in's process (cqscope.vst3: the same copy and intake, with an empty event
//   list as most blocks bring, and with the note-on and the note-off in each block's list).
// Every case is active at 48 kHz and fed the same stereo tone in blocks of the same size, into
// separate output buffers. A round times each case for the same number of blocks, one after
// another, the order rotating from round to round, so no case always finds the caches another
// left or always runs first after a pause. Each case's ratio to the VST 2 callback is taken
// within its round (both saw the same machine load) and the median over the rounds is printed,
// with the quartiles as the run's spread.
//
//   build/out/cqscope-shell-bench [ROUNDS [FRAMES]]   (default 41 rounds, 512-frame blocks)
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "frame/host_interface.h"
#include "plugin/vendor_calls.h"
#ifdef CQSCOPE_CLAP_PATH
#include "clap/analysis_wait.h"
#include "clap/clap_interface.h"
#endif
#ifdef CQSCOPE_VST3_PATH
#include "vst3/analysis_wait.h"
#include "vst3/vst3_interface.h"
#endif
#ifdef CQSCOPE_LV2_DSP_PATH
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/urid/urid.h>

#include "lv2/lv2_uris.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kRate = 48000;
// How long a shell may take to build its kernels after the switch-on, in milliseconds.
constexpr std::uint32_t kKernelWaitMs = 60000;
// Frames timed per case and round (about half a millisecond of work for the VST 2 callback).
constexpr std::int64_t kFramesPerRound = 1 << 20;

void* load(const char* path) {
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "cqscope-shell-bench: %s\n", dlerror());
        std::exit(1);
    }
    return handle;
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "cqscope-shell-bench: %s\n", what);
    std::exit(1);
}

// The host's stereo block: a tone in, separate buffers out.
struct Block {
    explicit Block(std::uint32_t frames)
        : left(frames), right(frames), outLeft(frames), outRight(frames) {
        for (std::uint32_t k = 0; k < frames; ++k) {
            left[k] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 440.0 * k / kRate));
            right[k] = 0.8f * left[k];
        }
    }
    std::vector<float> left, right, outLeft, outRight;
    float* inputs[2] = {left.data(), right.data()};
    float* outputs[2] = {outLeft.data(), outRight.data()};
};

// One row of the table: what one block costs, and how it is set up and torn down.
struct Case {
    std::string name;
    std::function<void()> block;
    std::function<void()> close;
    std::vector<double> nsPerFrame;  // one per round
    std::size_t reference = 0;       // the VST 2 row this one is divided by
};

// ---- VST 2 --------------------------------------------------------------------------------

VstIntPtr VSTCALLBACK vstHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// Two MIDI messages of a block, a note-on and a note-off of A4, as a VST 2 host passes them.
struct VstNotes {
    VstMidiEvent messages[2]{};
    VstEvents list{};  // room for the two pointers
};

Case vst2Case(Block& block, std::uint32_t frames, bool withNotes) {
    void* module = load(CQSCOPE_VST_PATH);
    auto entry =
        reinterpret_cast<AEffect* (*)(audioMasterCallback)>(dlsym(module, "VSTPluginMain"));
    AEffect* effect = entry != nullptr ? entry(vstHost) : nullptr;
    if (effect == nullptr) fail("cannot create the VST 2 effect");
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
    effect->dispatcher(effect, effSetBlockSize, 0, frames, nullptr, 0);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0);
    // The kernels are built beside the switch-on: the audio thread's analysis is timed with them.
    if (effect->dispatcher(effect, effVendorSpecific, kVendorCallCode, kVendorCallWait, nullptr,
                           kKernelWaitMs) != 1)
        fail("the VST 2 effect did not build its kernels");
    auto* notes = new VstNotes;
    for (int n = 0; n < 2; ++n) {
        VstMidiEvent& message = notes->messages[n];
        message.type = kVstMidiType;
        message.byteSize = sizeof(VstMidiEvent);
        message.deltaFrames = n == 0 ? 0 : static_cast<VstInt32>(frames - 1);
        message.midiData[0] = static_cast<char>(n == 0 ? 0x90 : 0x80);
        message.midiData[1] = 69;
        message.midiData[2] = static_cast<char>(n == 0 ? 102 : 0);
        notes->list.events[n] = reinterpret_cast<VstEvent*>(&message);
    }
    notes->list.numEvents = 2;
    return {withNotes ? "VST 2 processEvents (a note-on and a note-off) + processReplacing"
                      : "VST 2 processReplacing (copy + analysis)",
            [effect, &block, frames, notes, withNotes] {
                if (withNotes) effect->dispatcher(effect, effProcessEvents, 0, 0, &notes->list, 0);
                effect->processReplacing(effect, block.inputs, block.outputs,
                                         static_cast<VstInt32>(frames));
            },
            [effect, notes] {
                effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0);
                effect->dispatcher(effect, effClose, 0, 0, nullptr, 0);
                delete notes;
            },
            {}};
}

// ---- CLAP ---------------------------------------------------------------------------------

#ifdef CQSCOPE_CLAP_PATH
const clap_host clapHost = {CLAP_VERSION,
                            nullptr,
                            "cqscope-shell-bench",
                            "",
                            "",
                            "1",
                            [](const clap_host*, const char*) -> const void* { return nullptr; },
                            [](const clap_host*) {},
                            [](const clap_host*) {},
                            [](const clap_host*) {}};

// A block's input events: none, or a note-on and a note-off of A4 (a host's typical list).
struct NoteList {
    clap_event_note notes[2];
    std::uint32_t count;
    clap_input_events events{this, size, get};
    static std::uint32_t CLAP_ABI size(const clap_input_events* list) {
        return static_cast<const NoteList*>(list->ctx)->count;
    }
    static const clap_event_header* CLAP_ABI get(const clap_input_events* list,
                                                 std::uint32_t index) {
        const auto* self = static_cast<const NoteList*>(list->ctx);
        return index < self->count ? &self->notes[index].header : nullptr;
    }
};

struct ClapSession {
    const clap_plugin_entry* entry = nullptr;
    const clap_plugin_factory* factory = nullptr;
};

Case clapCase(const ClapSession& session, Block& block, std::uint32_t frames, bool withNotes) {
    const clap_plugin* plugin = session.factory->create_plugin(
        session.factory, &clapHost, session.factory->get_plugin_descriptor(session.factory, 0)->id);
    if (plugin == nullptr || !plugin->init(plugin) || !plugin->activate(plugin, kRate, 1, frames) ||
        !plugin->start_processing(plugin))
        fail("cannot start the CLAP plug-in");
    const auto* wait = static_cast<const cqscope::clap::AnalysisWait*>(
        plugin->get_extension(plugin, cqscope::clap::kAnalysisWaitExtension));
    if (wait == nullptr || !wait->wait(plugin, kKernelWaitMs))
        fail("the CLAP plug-in did not build its kernels");

    auto* list = new NoteList{};
    list->count = withNotes ? 2 : 0;
    for (int n = 0; n < 2; ++n) {
        clap_event_note& note = list->notes[n];
        note.header = {
            sizeof(clap_event_note), n == 0 ? 0 : frames - 1, CLAP_CORE_EVENT_SPACE_ID,
            static_cast<std::uint16_t>(n == 0 ? CLAP_EVENT_NOTE_ON : CLAP_EVENT_NOTE_OFF), 0};
        note.note_id = -1;
        note.port_index = 0;
        note.channel = 0;
        note.key = 69;
        note.velocity = 0.8;
    }
    auto* in = new clap_audio_buffer{block.inputs, nullptr, 2, 0, 0};
    auto* out = new clap_audio_buffer{block.outputs, nullptr, 2, 0, 0};
    auto* process = new clap_process{};
    process->frames_count = frames;
    process->audio_inputs = in;
    process->audio_outputs = out;
    process->audio_inputs_count = 1;
    process->audio_outputs_count = 1;
    process->in_events = &list->events;
    return {withNotes ? "CLAP process, a note-on and a note-off a block"
                      : "CLAP process, no events (copy + analysis)",
            [plugin, process, frames] {
                plugin->process(plugin, process);
                process->steady_time += frames;
            },
            [plugin, process, in, out, list] {
                plugin->stop_processing(plugin);
                plugin->deactivate(plugin);
                plugin->destroy(plugin);
                delete process;
                delete in;
                delete out;
                delete list;
            },
            {}};
}
#endif

// ---- LV2 ----------------------------------------------------------------------------------

#ifdef CQSCOPE_LV2_DSP_PATH
// A host's URID map: URIs numbered from 1 in the order asked.
LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri) {
    auto& ids = *static_cast<std::map<std::string, LV2_URID>*>(handle);
    return ids.emplace(uri, static_cast<LV2_URID>(ids.size() + 1)).first->second;
}

Case lv2Case(const LV2_Descriptor* descriptor, Block& block, std::uint32_t frames,
             bool uiListening) {
    auto* ids = new std::map<std::string, LV2_URID>;
    auto* map = new LV2_URID_Map{ids, mapUri};
    const LV2_Feature mapFeature{LV2_URID__map, map};
    const LV2_Feature* features[] = {&mapFeature, nullptr};
    LV2_Handle instance = descriptor->instantiate(descriptor, kRate, "", features);
    if (instance == nullptr) fail("cannot instantiate the LV2 plug-in");
    auto* notify = new std::vector<std::uint64_t>(cqscope::lv2::kNotifyBufferBytes / 8 + 1);
    auto* sequence = reinterpret_cast<LV2_Atom_Sequence*>(notify->data());
    descriptor->connect_port(instance, cqscope::lv2::kInputLeft, block.left.data());
    descriptor->connect_port(instance, cqscope::lv2::kInputRight, block.right.data());
    descriptor->connect_port(instance, cqscope::lv2::kOutputLeft, block.outLeft.data());
    descriptor->connect_port(instance, cqscope::lv2::kOutputRight, block.outRight.data());
    descriptor->connect_port(instance, cqscope::lv2::kNotify, uiListening ? sequence : nullptr);
    if (descriptor->activate != nullptr) descriptor->activate(instance);
    return {uiListening ? "LV2 run, UI listening (copy + the block to the notify port)"
                        : "LV2 run, no UI listening (copy)",
            [descriptor, instance, sequence, frames] {
                // As a host does before each run: the notify buffer's capacity in its header.
                sequence->atom.size = cqscope::lv2::kNotifyBufferBytes - sizeof(LV2_Atom);
                descriptor->run(instance, frames);
            },
            [descriptor, instance, notify, map, ids] {
                if (descriptor->deactivate != nullptr) descriptor->deactivate(instance);
                descriptor->cleanup(instance);
                delete notify;
                delete map;
                delete ids;
            },
            {}};
}
#endif

// ---- VST 3 --------------------------------------------------------------------------------

#ifdef CQSCOPE_VST3_PATH
// A block's input events: none, or a note-on and a note-off of A4, as a VST 3 host lists them.
// The host owns it: its reference counts are not kept.
class Vst3Notes final : public vst3::IEventList {
  public:
    Vst3Notes(std::uint32_t frames, bool withNotes) : count_(withNotes ? 2 : 0) {
        for (int n = 0; n < 2; ++n) {
            vst3::Event& event = events_[n];
            event = {};
            event.sampleOffset = n == 0 ? 0 : static_cast<vst3::int32>(frames - 1);
            if (n == 0) {
                event.type = vst3::Event::kNoteOnEvent;
                event.noteOn = {0, 69, 0.0f, 0.8f, 0, -1};
            } else {
                event.type = vst3::Event::kNoteOffEvent;
                event.noteOff = {0, 69, 0.0f, -1, 0.0f};
            }
        }
    }
    vst3::tresult PLUGIN_API queryInterface(const vst3::TUID, void** obj) override {
        *obj = nullptr;
        return vst3::kNoInterface;
    }
    vst3::uint32 PLUGIN_API addRef() override { return 1; }
    vst3::uint32 PLUGIN_API release() override { return 1; }
    vst3::int32 PLUGIN_API getEventCount() override { return count_; }
    vst3::tresult PLUGIN_API getEvent(vst3::int32 index, vst3::Event& e) override {
        if (index < 0 || index >= count_) return vst3::kInvalidArgument;
        e = events_[index];
        return vst3::kResultOk;
    }
    vst3::tresult PLUGIN_API addEvent(vst3::Event&) override { return vst3::kResultFalse; }

  private:
    vst3::int32 count_;
    vst3::Event events_[2];
};

// The module entered and its factory taken, as a host does.
struct Vst3Session {
    void* module = nullptr;
    vst3::IPluginFactory* factory = nullptr;
    vst3::PClassInfo info{};
};

template <class I>
I* vst3Query(vst3::FUnknown* object) {
    void* answer = nullptr;
    return object->queryInterface(I::iid.bytes, &answer) == vst3::kResultOk
               ? static_cast<I*>(answer)
               : nullptr;
}

Case vst3Case(const Vst3Session& session, Block& block, std::uint32_t frames, bool withNotes) {
    using namespace vst3;
    void* made = nullptr;
    if (session.factory->createInstance(session.info.cid, IComponent::iid.bytes, &made) !=
            kResultOk ||
        made == nullptr)
        fail("cannot create the VST 3 plug-in");
    auto* component = static_cast<IComponent*>(made);
    auto* processor = vst3Query<IAudioProcessor>(component);
    auto* wait = vst3Query<cqscope::vst3plugin::IAnalysisWait>(component);
    SpeakerArrangement stereo = kStereo;
    ProcessSetup setup{kRealtime, kSample32, static_cast<int32>(frames), kRate};
    if (component->initialize(nullptr) != kResultOk || processor == nullptr ||
        processor->setBusArrangements(&stereo, 1, &stereo, 1) != kResultTrue ||
        processor->setupProcessing(setup) != kResultOk || component->setActive(1) != kResultOk ||
        processor->setProcessing(1) != kResultOk)
        fail("cannot start the VST 3 plug-in");
    if (wait == nullptr || wait->waitForAnalysis(kKernelWaitMs) != kResultTrue)
        fail("the VST 3 plug-in did not build its kernels");
    wait->release();

    auto* notes = new Vst3Notes(frames, withNotes);
    auto* in = new AudioBusBuffers{2, 0, {block.inputs}};
    auto* out = new AudioBusBuffers{2, 0, {block.outputs}};
    auto* data = new ProcessData{};
    data->processMode = kRealtime;
    data->symbolicSampleSize = kSample32;
    data->numSamples = static_cast<int32>(frames);
    data->numInputs = 1;
    data->numOutputs = 1;
    data->inputs = in;
    data->outputs = out;
    data->inputEvents = notes;
    return {withNotes ? "VST 3 process, a note-on and a note-off a block"
                      : "VST 3 process, no events (copy + analysis)",
            [processor, data] { processor->process(*data); },
            [component, processor, data, in, out, notes] {
                processor->setProcessing(0);
                component->setActive(0);
                processor->release();
                component->terminate();
                component->release();
                delete data;
                delete in;
                delete out;
                delete notes;
            },
            {}};
}
#endif

double quantile(std::vector<double> values, double q) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(q * static_cast<double>(values.size() - 1) + 0.5)];
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 41;
    const long requested = argc > 2 ? std::atol(argv[2]) : 512;
    if (requested < 1 || requested > 65536) fail("FRAMES must be 1 to 65536");
    const auto frames = static_cast<std::uint32_t>(requested);
    const std::int64_t blocksPerRound = std::max<std::int64_t>(1, kFramesPerRound / frames);

    Block block(frames);
    std::vector<Case> cases;
    cases.push_back(vst2Case(block, frames, false));
    cases.push_back(vst2Case(block, frames, true));
#ifdef CQSCOPE_CLAP_PATH
    void* clapModule = load(CQSCOPE_CLAP_PATH);
    ClapSession clap;
    clap.entry = static_cast<const clap_plugin_entry*>(dlsym(clapModule, "clap_entry"));
    if (clap.entry == nullptr || !clap.entry->init(CQSCOPE_CLAP_PATH)) fail("no CLAP entry");
    clap.factory =
        static_cast<const clap_plugin_factory*>(clap.entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    if (clap.factory == nullptr) fail("no CLAP plug-in factory");
    cases.push_back(clapCase(clap, block, frames, false));
    cases.push_back(clapCase(clap, block, frames, true));
    cases.back().reference = 1;  // against the VST 2 callback with the same two notes
#endif
#ifdef CQSCOPE_LV2_DSP_PATH
    void* lv2Module = load(CQSCOPE_LV2_DSP_PATH);
    const auto lv2Entry =
        reinterpret_cast<const LV2_Descriptor* (*)(uint32_t)>(dlsym(lv2Module, "lv2_descriptor"));
    const LV2_Descriptor* lv2 = lv2Entry != nullptr ? lv2Entry(0) : nullptr;
    if (lv2 == nullptr) fail("no LV2 descriptor");
    cases.push_back(lv2Case(lv2, block, frames, false));
    cases.push_back(lv2Case(lv2, block, frames, true));
#endif
#ifdef CQSCOPE_VST3_PATH
    Vst3Session vst3;
    vst3.module = load(CQSCOPE_VST3_PATH);
    const auto vst3Entry =
        reinterpret_cast<vst3::ModuleEntryFunc>(dlsym(vst3.module, vst3::kModuleEntryName));
    const auto vst3Factory =
        reinterpret_cast<vst3::GetFactoryProc>(dlsym(vst3.module, vst3::kGetFactoryProcName));
    if (vst3Entry == nullptr || !vst3Entry(vst3.module) || vst3Factory == nullptr)
        fail("no VST 3 entry");
    vst3.factory = vst3Factory();
    if (vst3.factory == nullptr || vst3.factory->getClassInfo(0, &vst3.info) != vst3::kResultOk)
        fail("no VST 3 class");
    cases.push_back(vst3Case(vst3, block, frames, false));
    cases.push_back(vst3Case(vst3, block, frames, true));
    cases.back().reference = 1;  // against the VST 2 callback with the same two notes
#endif

    for (Case& c : cases) c.block();  // the first block of each outside the timing
    for (int r = 0; r < rounds; ++r) {
        for (std::size_t i = 0; i < cases.size(); ++i) {
            Case& c = cases[(i + static_cast<std::size_t>(r)) % cases.size()];
            c.block();  // warm: this case's code and state back in the caches
            const auto start = Clock::now();
            for (std::int64_t b = 0; b < blocksPerRound; ++b) c.block();
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            c.nsPerFrame.push_back(seconds * 1e9 /
                                   static_cast<double>(blocksPerRound * std::int64_t{frames}));
        }
    }

    std::printf(
        "audio thread, per frame (%u-frame stereo blocks, 48 kHz, separate buffers; "
        "%d rounds of %lld blocks)\n",
        frames, rounds, static_cast<long long>(blocksPerRound));
    std::printf(
        "| shell | ns per frame | / VST 2 callback (quartiles) | goal |\n|---|---|---|---|\n");
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const Case& vst = cases[c.reference];
        std::vector<double> ratios;
        for (int r = 0; r < rounds; ++r) ratios.push_back(c.nsPerFrame[r] / vst.nsPerFrame[r]);
        std::printf("| %s | %.3f | %.3f (%.3f to %.3f) | %s |\n", c.name.c_str(),
                    quantile(c.nsPerFrame, 0.5), quantile(ratios, 0.5), quantile(ratios, 0.25),
                    quantile(ratios, 0.75), i < 2 ? "" : "<= 1");
    }

    for (Case& c : cases) c.close();
#ifdef CQSCOPE_CLAP_PATH
    clap.entry->deinit();
#endif
#ifdef CQSCOPE_VST3_PATH
    vst3.factory->release();
    if (const auto exit =
            reinterpret_cast<vst3::ModuleExitFunc>(dlsym(vst3.module, vst3::kModuleExitName)))
        exit();
#endif
    return 0;
}
