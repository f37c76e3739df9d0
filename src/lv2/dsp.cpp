// The LV2 plug-in: two audio inputs copied bit for bit to two audio outputs; every event of the
// MIDI input passed on, as it came, at the MIDI output; MIDI note messages and each block's input
// samples passed to the UI through the notify port, where the display analyses them (see
// block_message.h). The plug-in itself analyses nothing, so `run` costs a copy and, with a UI
// listening, a second copy into the notify buffer.
//
// Threads (the host's): instantiate, cleanup and connect_port on the host's instantiation
// thread; activate, run and deactivate on its audio thread. `run` never waits, locks or
// allocates.
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "core/analyser_core.h"
#include "core/pass_through.h"
#include "lv2/block_message.h"
#include "lv2/descriptors.h"
#include "lv2/lv2_uris.h"

namespace cqscope::lv2 {
namespace {

// The messages exist only where the host maps URIDs: without urid:map the plug-in runs with
// no MIDI and no UI messages rather than refusing to instantiate.
struct Messages {
    explicit Messages(const LV2_URID_Map& map) : uris(map), writer(map, uris) {}
    MessageUris uris;
    NotifyWriter writer;
};

struct Instance {
    double rate = 0;
    const float* inputs[2] = {nullptr, nullptr};
    float* outputs[2] = {nullptr, nullptr};
    const LV2_Atom_Sequence* midiInput = nullptr;
    LV2_Atom_Sequence* midiOutput = nullptr;
    LV2_Atom_Sequence* notify = nullptr;
    std::optional<Messages> messages;
};

const LV2_URID_Map* findMap(const LV2_Feature* const* features) {
    for (; features != nullptr && *features != nullptr; ++features) {
        if (std::strcmp((*features)->URI, LV2_URID__map) == 0 && (*features)->data != nullptr)
            return static_cast<const LV2_URID_Map*>((*features)->data);
    }
    return nullptr;
}

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const* features) {
    auto* instance = new (std::nothrow) Instance;
    if (instance == nullptr) return nullptr;
    instance->rate = rate;
    if (const LV2_URID_Map* map = findMap(features)) {
        try {
            instance->messages.emplace(*map);
        } catch (...) {
            delete instance;
            return nullptr;
        }
    }
    return instance;
}

void connectPort(LV2_Handle handle, std::uint32_t port, void* data) {
    auto* instance = static_cast<Instance*>(handle);
    switch (port) {
        case kInputLeft:
            instance->inputs[0] = static_cast<const float*>(data);
            break;
        case kInputRight:
            instance->inputs[1] = static_cast<const float*>(data);
            break;
        case kOutputLeft:
            instance->outputs[0] = static_cast<float*>(data);
            break;
        case kOutputRight:
            instance->outputs[1] = static_cast<float*>(data);
            break;
        case kMidiInput:
            instance->midiInput = static_cast<const LV2_Atom_Sequence*>(data);
            break;
        case kNotify:
            instance->notify = static_cast<LV2_Atom_Sequence*>(data);
            break;
        case kMidiOutput:
            instance->midiOutput = static_cast<LV2_Atom_Sequence*>(data);
            break;
        default:
            break;
    }
}

// Hosts carry a plug-in's MIDI output on down the track in place of what came in, so every event
// of the input (notes, controllers, anything, MIDI or not) goes out whole, in order, at its
// frame. Events that do not fit the output's buffer (whose capacity the host set in atom.size)
// are left out from the first that does not fit; the host's buffers are as large as its input's.
void forwardEvents(const LV2_Atom_Sequence* input, LV2_Atom_Sequence* output,
                   LV2_URID sequenceType) noexcept {
    if (output == nullptr) return;
    if (static_cast<const void*>(output) == static_cast<const void*>(input)) return;  // in place
    const std::uint32_t capacity = output->atom.size;
    if (capacity < sizeof(LV2_Atom_Sequence_Body)) return;
    output->atom.type = sequenceType;
    output->atom.size = sizeof(LV2_Atom_Sequence_Body);
    output->body.unit = 0;
    output->body.pad = 0;
    if (input == nullptr) return;
    LV2_ATOM_SEQUENCE_FOREACH(input, event) {
        if (lv2_atom_sequence_append_event(output, capacity, event) == nullptr) break;
    }
}

void run(LV2_Handle handle, std::uint32_t frames) {
    auto* instance = static_cast<Instance*>(handle);
    const bool audioConnected = instance->inputs[0] != nullptr && instance->inputs[1] != nullptr &&
                                instance->outputs[0] != nullptr && instance->outputs[1] != nullptr;
    if (audioConnected)
        passThrough(instance->inputs, instance->outputs, static_cast<std::int32_t>(frames),
                    FrameOrder::kInputsFirst);
    if (!instance->messages) return;
    forwardEvents(instance->midiInput, instance->midiOutput, instance->messages->uris.atomSequence);
    NotifyWriter& writer = instance->messages->writer;
    writer.begin(instance->notify);
    if (instance->midiInput != nullptr) {
        const LV2_URID midiEvent = instance->messages->uris.midiEvent;
        LV2_ATOM_SEQUENCE_FOREACH(instance->midiInput, event) {
            const auto* message =
                static_cast<const std::uint8_t*>(LV2_ATOM_BODY_CONST(&event->body));
            // Only what the UI's core takes goes to it: note-ons and note-offs.
            if (event->body.type == midiEvent && AnalyserCore::takesMidi(message, event->body.size))
                writer.midi(event->time.frames, message, event->body.size);
        }
    }
    // The outputs may share the inputs' buffers (in place), so the block is read from the
    // outputs, which hold the inputs' samples now.
    if (audioConnected && frames > 0)
        writer.block(instance->rate, instance->outputs[0], instance->outputs[1], frames);
    writer.end();
}

void cleanup(LV2_Handle handle) {
    delete static_cast<Instance*>(handle);
}

const void* extensionData(const char*) {
    return nullptr;
}

}  // namespace

const LV2_Descriptor kPluginDescriptor = {CQSCOPE_LV2_URI, instantiate, connectPort,  nullptr, run,
                                          nullptr,         cleanup,     extensionData};

}  // namespace cqscope::lv2
