// The system-independent part of the CLAP host: the entry and factory checks, the event list,
// the plug-in's life cycle and the host record's answers.
#include "formats/clap/clap_host.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "common/host_error.h"

namespace cqhost {
namespace {

constexpr const char* kHostName = "cqscope-host";
constexpr const char* kHostVendor = "cqscope";
constexpr const char* kHostUrl = "";
constexpr const char* kHostVersion = "0.1.0";

std::string text(const char* value) {
    return value != nullptr ? value : "";
}

std::string versionText(clap_version version) {
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
           std::to_string(version.revision);
}

// Why a version before 1.0 is refused.
std::string developmentVersion(clap_version version) {
    return "declares CLAP " + versionText(version) +
           ", a development version before 1.0 that hosts do not load";
}

// A fixed name buffer as text, never reading past its end.
std::string nameText(const char (&name)[CLAP_NAME_SIZE]) {
    return std::string(name, strnlen(name, CLAP_NAME_SIZE));
}

}  // namespace

// ---- ClapLibrary ---------------------------------------------------------------------------

void ClapLibrary::startFrom(void* library, const LibraryCalls& calls,
                            const BeforeEntry& beforeEntry) {
    if (beforeEntry) beforeEntry(library);
    const auto fail = [&](const std::string& reason) {
        calls.unload(library);
        throw HostError("plug-in " + path_ + ": " + reason);
    };
    const auto* entry = static_cast<const clap_plugin_entry*>(calls.symbol(library, "clap_entry"));
    if (entry == nullptr) fail("exports no clap_entry: not a CLAP plug-in");
    if (!clap_version_is_compatible(entry->clap_version)) {
        fail(developmentVersion(entry->clap_version));
    }
    if (entry->init == nullptr || entry->deinit == nullptr || entry->get_factory == nullptr) {
        fail("its clap_entry lacks init, deinit or get_factory");
    }
    if (!entry->init(path_.c_str())) fail("its entry's init failed");
    const auto* factory =
        static_cast<const clap_plugin_factory*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    if (factory == nullptr || factory->get_plugin_count == nullptr ||
        factory->get_plugin_descriptor == nullptr || factory->create_plugin == nullptr) {
        entry->deinit();
        fail(std::string("offers no plug-in factory (\"") + CLAP_PLUGIN_FACTORY_ID + "\")");
    }
    library_ = library;
    unload_ = calls.unload;
    entry_ = entry;
    factory_ = factory;
}

ClapLibrary::~ClapLibrary() {
    entry_->deinit();
    unload_(library_);
}

std::vector<ClapDescriptorInfo> ClapLibrary::descriptors() const {
    std::vector<ClapDescriptorInfo> result;
    const std::uint32_t count = factory_->get_plugin_count(factory_);
    for (std::uint32_t i = 0; i < count; ++i) {
        const clap_plugin_descriptor* d = factory_->get_plugin_descriptor(factory_, i);
        if (d == nullptr || d->id == nullptr || d->id[0] == '\0') {
            throw HostError("plug-in " + path_ + ": the factory's descriptor " + std::to_string(i) +
                            " is missing or has no ID");
        }
        ClapDescriptorInfo info;
        info.version = d->clap_version;
        info.id = d->id;
        info.name = text(d->name);
        info.vendor = text(d->vendor);
        info.url = text(d->url);
        info.manualUrl = text(d->manual_url);
        info.supportUrl = text(d->support_url);
        info.pluginVersion = text(d->version);
        info.description = text(d->description);
        for (const char* const* f = d->features; f != nullptr && *f != nullptr; ++f) {
            info.features.emplace_back(*f);
        }
        result.push_back(std::move(info));
    }
    return result;
}

// ---- ClapEventList -------------------------------------------------------------------------

ClapEventList::ClapEventList() {
    list_.ctx = this;
    list_.size = [](const clap_input_events* list) -> std::uint32_t {
        return static_cast<const ClapEventList*>(list->ctx)->size();
    };
    list_.get = [](const clap_input_events* list, std::uint32_t index) {
        return static_cast<const ClapEventList*>(list->ctx)->at(index);
    };
}

void ClapEventList::addNote(std::uint16_t type, std::uint32_t frame, std::int16_t key,
                            std::int16_t channel, double velocity, std::int32_t noteId,
                            std::int16_t port) {
    clap_event_note note{};
    note.header = {sizeof note, frame, CLAP_CORE_EVENT_SPACE_ID, type, 0};
    note.note_id = noteId;
    note.port_index = port;
    note.channel = channel;
    note.key = key;
    note.velocity = velocity;
    add(&note, sizeof note);
}

void ClapEventList::addMidi(std::uint32_t frame, std::uint8_t status, std::uint8_t data1,
                            std::uint8_t data2, std::uint16_t port) {
    clap_event_midi midi{};
    midi.header = {sizeof midi, frame, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_MIDI, 0};
    midi.port_index = port;
    midi.data[0] = status;
    midi.data[1] = data1;
    midi.data[2] = data2;
    add(&midi, sizeof midi);
}

void ClapEventList::add(const void* event, std::uint32_t size) {
    const auto offset = static_cast<std::uint32_t>(bytes_.size());
    bytes_.resize(bytes_.size() + (size + 7) / 8);
    std::memcpy(bytes_.data() + offset, event, size);
    // Keep the index sorted by time; a later event of the same time goes after the earlier.
    const std::uint32_t time = static_cast<const clap_event_header*>(event)->time;
    const auto place = std::upper_bound(
        offsets_.begin(), offsets_.end(), time, [this](std::uint32_t t, std::uint32_t other) {
            return t < reinterpret_cast<const clap_event_header*>(bytes_.data() + other)->time;
        });
    offsets_.insert(place, offset);
}

const clap_event_header* ClapEventList::at(std::uint32_t index) const {
    if (index >= offsets_.size()) return nullptr;
    return reinterpret_cast<const clap_event_header*>(bytes_.data() + offsets_[index]);
}

// ---- ClapPlugin ----------------------------------------------------------------------------

thread_local const ClapPlugin* ClapPlugin::audioCallOf_ = nullptr;

class ClapPlugin::AudioCall {
  public:
    explicit AudioCall(const ClapPlugin* plugin) : previous_(audioCallOf_) {
        audioCallOf_ = plugin;
    }
    ~AudioCall() { audioCallOf_ = previous_; }
    AudioCall(const AudioCall&) = delete;
    AudioCall& operator=(const AudioCall&) = delete;

  private:
    const ClapPlugin* previous_;
};

ClapPlugin::ClapPlugin(ClapLibrary& library, const std::string& pluginId, bool offerTimers)
    : path_(library.path()), mainThread_(std::this_thread::get_id()), offerTimers_(offerTimers) {
    host_.clap_version = CLAP_VERSION;
    host_.host_data = this;
    host_.name = kHostName;
    host_.vendor = kHostVendor;
    host_.url = kHostUrl;
    host_.version = kHostVersion;
    host_.get_extension = &ClapPlugin::getExtension;
    host_.request_restart = &ClapPlugin::requestRestart;
    host_.request_process = &ClapPlugin::requestProcess;
    host_.request_callback = &ClapPlugin::requestCallback;

    // A plug-in built against a development version is refused as its file would be.
    for (const ClapDescriptorInfo& descriptor : library.descriptors()) {
        if (descriptor.id == pluginId && !clap_version_is_compatible(descriptor.version)) {
            throw HostError("plug-in " + path_ + ": \"" + pluginId + "\" " +
                            developmentVersion(descriptor.version));
        }
    }
    const clap_plugin_factory& factory = library.factory();
    plugin_ = factory.create_plugin(&factory, &host_, pluginId.c_str());
    if (plugin_ == nullptr) {
        throw HostError("plug-in " + path_ + ": the factory made no plug-in \"" + pluginId + "\"");
    }
    const clap_plugin& p = *plugin_;
    // Every function of the record is required; a host must not call through a null one.
    const bool complete = p.init != nullptr && p.destroy != nullptr && p.activate != nullptr &&
                          p.deactivate != nullptr && p.start_processing != nullptr &&
                          p.stop_processing != nullptr && p.reset != nullptr &&
                          p.process != nullptr && p.get_extension != nullptr &&
                          p.on_main_thread != nullptr;
    if (!complete || !p.init(plugin_)) {
        if (p.destroy != nullptr) p.destroy(plugin_);
        plugin_ = nullptr;
        throw HostError("plug-in " + path_ + ": \"" + pluginId + "\" " +
                        (complete ? "failed to initialise" : "has an incomplete plug-in record"));
    }
}

ClapPlugin::~ClapPlugin() {
    if (plugin_ == nullptr) return;
    if (processing_) stopProcessing();
    if (active_) deactivate();
    plugin_->destroy(plugin_);
}

void ClapPlugin::requireInactive(const char* call) const {
    if (active_) throw std::logic_error(std::string("ClapPlugin::") + call + " while active");
}

const void* ClapPlugin::extension(const char* id) const {
    return plugin_->get_extension(plugin_, id);
}

std::vector<ClapAudioPortInfo> ClapPlugin::audioPorts(bool input) const {
    requireMainThread("audioPorts");
    requireInactive("audioPorts");
    std::vector<ClapAudioPortInfo> ports;
    const auto* ext = static_cast<const clap_plugin_audio_ports*>(extension(CLAP_EXT_AUDIO_PORTS));
    if (ext == nullptr) return ports;
    const std::uint32_t count = ext->count(plugin_, input);
    for (std::uint32_t i = 0; i < count; ++i) {
        clap_audio_port_info info{};
        if (!ext->get(plugin_, i, input, &info)) {
            throw HostError("plug-in " + path_ + ": it cannot describe its audio " +
                            (input ? "input " : "output ") + std::to_string(i));
        }
        ports.push_back({info.id, nameText(info.name), info.flags, info.channel_count,
                         text(info.port_type), info.in_place_pair});
    }
    return ports;
}

std::vector<ClapNotePortInfo> ClapPlugin::notePorts(bool input) const {
    requireMainThread("notePorts");
    requireInactive("notePorts");
    std::vector<ClapNotePortInfo> ports;
    const auto* ext = static_cast<const clap_plugin_note_ports*>(extension(CLAP_EXT_NOTE_PORTS));
    if (ext == nullptr) return ports;
    const std::uint32_t count = ext->count(plugin_, input);
    for (std::uint32_t i = 0; i < count; ++i) {
        clap_note_port_info info{};
        if (!ext->get(plugin_, i, input, &info)) {
            throw HostError("plug-in " + path_ + ": it cannot describe its note " +
                            (input ? "input " : "output ") + std::to_string(i));
        }
        ports.push_back(
            {info.id, nameText(info.name), info.supported_dialects, info.preferred_dialect});
    }
    return ports;
}

std::optional<ClapGuiInfo> ClapPlugin::gui() const {
    requireMainThread("gui");
    requireInactive("gui");
    const auto* ext = static_cast<const clap_plugin_gui*>(extension(CLAP_EXT_GUI));
    if (ext == nullptr) return std::nullopt;
    ClapGuiInfo info;
    for (const char* api : {CLAP_WINDOW_API_X11, CLAP_WINDOW_API_WIN32, CLAP_WINDOW_API_WAYLAND,
                            CLAP_WINDOW_API_COCOA}) {
        if (ext->is_api_supported(plugin_, api, false)) info.embeddedApis.emplace_back(api);
        if (ext->is_api_supported(plugin_, api, true)) info.floatingApis.emplace_back(api);
    }
    if (!info.embeddedApis.empty() &&
        ext->create(plugin_, info.embeddedApis.front().c_str(), false)) {
        info.canResize = ext->can_resize(plugin_);
        info.hasSize = ext->get_size(plugin_, &info.width, &info.height);
        ext->destroy(plugin_);
    }
    return info;
}

std::optional<std::uint32_t> ClapPlugin::latency() const {
    requireMainThread("latency");
    if (!active_) throw std::logic_error("ClapPlugin::latency needs an active plug-in");
    const auto* ext = static_cast<const clap_plugin_latency*>(extension(CLAP_EXT_LATENCY));
    if (ext == nullptr) return std::nullopt;
    return ext->get(plugin_);
}

void ClapPlugin::activate(double sampleRate, std::uint32_t minFrames, std::uint32_t maxFrames) {
    requireMainThread("activate");
    if (active_) throw std::logic_error("ClapPlugin::activate on an active plug-in");
    const auto inputs = audioPorts(true), outputs = audioPorts(false);
    mainInputChannels_ = inputs.empty() ? 0 : inputs[0].channelCount;
    mainOutputChannels_ = outputs.empty() ? 0 : outputs[0].channelCount;
    mainPortsInPlace_ =
        !inputs.empty() && !outputs.empty() && inputs[0].inPlacePair == outputs[0].id &&
        outputs[0].inPlacePair == inputs[0].id && inputs[0].channelCount == outputs[0].channelCount;
    activating_ = true;
    const bool activated = plugin_->activate(plugin_, sampleRate, minFrames, maxFrames);
    activating_ = false;
    if (!activated) {
        throw HostError("plug-in " + path_ + ": it refused to activate at " +
                        std::to_string(static_cast<long>(sampleRate)) + " Hz");
    }
    active_ = true;
    sampleRate_ = sampleRate;
    maxFrames_ = maxFrames;
    steadyTime_ = 0;
}

void ClapPlugin::deactivate() {
    requireMainThread("deactivate");
    if (!active_ || processing_) {
        throw std::logic_error("ClapPlugin::deactivate needs an active plug-in, not processing");
    }
    plugin_->deactivate(plugin_);
    active_ = false;
}

void ClapPlugin::startProcessing() {
    if (!active_ || processing_) {
        throw std::logic_error("ClapPlugin::startProcessing needs an active plug-in, stopped");
    }
    AudioCall call(this);
    if (!plugin_->start_processing(plugin_)) {
        throw HostError("plug-in " + path_ + ": it refused to start processing");
    }
    processing_ = true;
}

void ClapPlugin::stopProcessing() {
    if (!processing_) return;
    AudioCall call(this);
    plugin_->stop_processing(plugin_);
    processing_ = false;
}

std::int32_t ClapPlugin::process(float* const* inputs, std::uint32_t inputChannels,
                                 float* const* outputs, std::uint32_t outputChannels,
                                 std::uint32_t frames, const ClapEventList& events) {
    if (!processing_ || frames == 0 || frames > maxFrames_) {
        throw std::logic_error("ClapPlugin::process outside processing or with a bad block");
    }
    AudioCall call(this);
    clap_audio_buffer input{const_cast<float**>(inputs), nullptr, inputChannels, 0, 0};
    clap_audio_buffer output{const_cast<float**>(outputs), nullptr, outputChannels, 0, 0};
    // Nothing is pushed: this host has no use for a plug-in's output events.
    clap_output_events outEvents{
        nullptr, [](const clap_output_events*, const clap_event_header*) { return false; }};
    clap_process block{};
    block.steady_time = steadyTime_;
    block.frames_count = frames;
    block.transport = nullptr;
    block.audio_inputs = inputChannels > 0 ? &input : nullptr;
    block.audio_inputs_count = inputChannels > 0 ? 1 : 0;
    block.audio_outputs = outputChannels > 0 ? &output : nullptr;
    block.audio_outputs_count = outputChannels > 0 ? 1 : 0;
    block.in_events = events.list();
    block.out_events = &outEvents;
    const std::int32_t status = plugin_->process(plugin_, &block);
    steadyTime_ += frames;
    return status;
}

}  // namespace cqhost
