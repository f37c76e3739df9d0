// The LV2 UI: the analyser's display, embedded in the host's X11 window (ui:parent), refreshed
// from the host's idle calls (ui:idleInterface), fixed at the display's size. It needs no
// access to the plug-in instance: it keeps its own analyser core, fed from the notify port with
// the blocks and note messages the plug-in ran (block_message.h), so it works where the host
// runs UIs in another process too. The core's kernels are those of the block's sample rate,
// shared with every other analyser of that rate in the process. They are built beside (the
// host's UI thread never waits for them); the blocks that arrive meanwhile are kept, a few
// seconds at most, and analysed once the kernels are ready, so nothing the plug-in ran is lost.
//
// Threads: every call (instantiate, port_event, idle, cleanup) on the host's UI thread, which
// also owns the display's windows; the core is fed and read on that one thread.
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "core/analyser_core.h"
#include "display/display_geometry.h"
#include "display/spectrum_display.h"
#include "kit/own_module.h"
#include "lv2/block_message.h"
#include "lv2/descriptors.h"
#include "lv2/lv2_uris.h"
#include "platform/win32.h"

#if !defined(_WIN32)
#include "platform/cqscope_platform.h"
#endif

namespace cqscope::lv2 {
namespace {

class Ui {
  public:
    Ui(const LV2_URID_Map& map, HWND parent, int scale)
        : uris_(map),
          eventTransfer_(map.map(map.handle, LV2_ATOM__eventTransfer)),
          core_(0),  // no rate until the first block says the plug-in's
          display_(ownModule(), core_) {
        display_.setScale(scale);
        opened_ = display_.open(parent);
    }
    ~Ui() { display_.close(); }

    bool opened() const { return opened_; }
    HWND window() const { return display_.window(); }
    int width() const { return display_.width(); }
    int height() const { return display_.height(); }

    // One event of the notify port: a note message, or a block to analyse.
    void portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format,
                   const void* buffer) {
        if (port != kNotify || format != eventTransfer_ || size < sizeof(LV2_Atom)) return;
        const auto* atom = static_cast<const LV2_Atom*>(buffer);
        if (sizeof(LV2_Atom) + atom->size > size) return;
        if (atom->type == uris_.midiEvent) {
            core_.midiMessage(reinterpret_cast<const std::uint8_t*>(atom + 1), atom->size);
            return;
        }
        BlockMessage block;
        if (atom->type != uris_.atomObject || atom->size < sizeof(LV2_Atom_Object_Body) ||
            !readBlock(*reinterpret_cast<const LV2_Atom_Object*>(atom), uris_, block))
            return;
        if (core_.followRate(block.rate)) {
            for (auto& channel : waiting_) channel.clear();
        }
        if (core_.analysisRate() != block.rate) {
            // Built beside: kept for the kernels, unless they are refused.
            if (core_.servesRate()) keep(block);
            return;
        }
        analyseWaiting();
        core_.audio(block.channels, block.frames);
    }

    void idle() {
        if (core_.analysisRate() == core_.sampleRate()) analyseWaiting();
        display_.run();
    }

  private:
    // The newest blocks that arrived while the kernels were being built: at most
    // kWaitingSeconds of audio, the oldest frames dropped first.
    static constexpr double kWaitingSeconds = 4.0;
    void keep(const BlockMessage& block) {
        const auto limit = static_cast<std::size_t>(kWaitingSeconds * block.rate);
        for (int c = 0; c < 2; ++c) {
            std::vector<float>& channel = waiting_[c];
            channel.insert(channel.end(), block.channels[c], block.channels[c] + block.frames);
            if (channel.size() > limit) {
                channel.erase(channel.begin(), channel.begin() + static_cast<std::ptrdiff_t>(
                                                                     channel.size() - limit));
            }
        }
    }
    void analyseWaiting() {
        if (waiting_[0].empty()) return;
        const float* channels[2] = {waiting_[0].data(), waiting_[1].data()};
        core_.audio(channels, static_cast<std::int32_t>(waiting_[0].size()));
        for (auto& channel : waiting_) channel.clear();
    }

    MessageUris uris_;
    LV2_URID eventTransfer_;
    AnalyserCore core_;
    SpectrumDisplay display_;
    bool opened_ = false;
    std::vector<float> waiting_[2];
};

const void* findFeature(const LV2_Feature* const* features, const char* uri) {
    for (; features != nullptr && *features != nullptr; ++features) {
        if (std::strcmp((*features)->URI, uri) == 0) return (*features)->data;
    }
    return nullptr;
}

// The display's factor from the host's ui:scaleFactor option (a float, 2.0 = 200 %), the nearest
// whole one within 1..3; 1 where the host gives none.
int hostScale(const LV2_URID_Map& map, const LV2_Feature* const* features) {
    const auto* option =
        static_cast<const LV2_Options_Option*>(findFeature(features, LV2_OPTIONS__options));
    if (option == nullptr) return display::kMinScale;
    const LV2_URID scaleFactor = map.map(map.handle, LV2_UI__scaleFactor);
    const LV2_URID atomFloat = map.map(map.handle, LV2_ATOM__Float);
    const LV2_URID atomDouble = map.map(map.handle, LV2_ATOM__Double);
    for (; option->key != 0; ++option) {
        if (option->key != scaleFactor || option->value == nullptr) continue;
        if (option->type == atomFloat && option->size == sizeof(float))
            return display::scaleOfHostScale(*static_cast<const float*>(option->value));
        if (option->type == atomDouble && option->size == sizeof(double))
            return display::scaleOfHostScale(*static_cast<const double*>(option->value));
    }
    return display::kMinScale;
}

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*,
                         LV2UI_Write_Function, LV2UI_Controller, LV2UI_Widget* widget,
                         const LV2_Feature* const* features) {
    const auto* map = static_cast<const LV2_URID_Map*>(findFeature(features, LV2_URID__map));
    void* parent = const_cast<void*>(findFeature(features, LV2_UI__parent));
    if (map == nullptr || parent == nullptr || std::strcmp(pluginUri, CQSCOPE_LV2_URI) != 0)
        return nullptr;
    std::unique_ptr<Ui> ui;
    try {
        ui = std::make_unique<Ui>(*map, static_cast<HWND>(parent), hostScale(*map, features));
    } catch (...) {
        return nullptr;
    }
    if (!ui->opened()) return nullptr;
    // The display's fixed size at its scale, where the host lets the UI say it.
    if (const auto* resize =
            static_cast<const LV2UI_Resize*>(findFeature(features, LV2_UI__resize)))
        resize->ui_resize(resize->handle, ui->width(), ui->height());
#if defined(_WIN32)
    *widget = ui->window();
#else
    // An X11 UI's widget is its X window: the child the window library shows in the parent
    // (0 where the parent is one of the library's own windows, as in our tests).
    *widget = reinterpret_cast<LV2UI_Widget>(
        static_cast<std::uintptr_t>(cqpPresentedXWindow(ui->window())));
#endif
    return ui.release();
}

void cleanup(LV2UI_Handle handle) {
    delete static_cast<Ui*>(handle);
}

void portEvent(LV2UI_Handle handle, std::uint32_t port, std::uint32_t size, std::uint32_t format,
               const void* buffer) {
    static_cast<Ui*>(handle)->portEvent(port, size, format, buffer);
}

int idle(LV2UI_Handle handle) {
    static_cast<Ui*>(handle)->idle();
    return 0;
}

const LV2UI_Idle_Interface idleInterface = {idle};

const void* extensionData(const char* uri) {
    return std::strcmp(uri, LV2_UI__idleInterface) == 0 ? &idleInterface : nullptr;
}

}  // namespace

const LV2UI_Descriptor kUiDescriptor = {CQSCOPE_LV2_UI_URI, instantiate, cleanup, portEvent,
                                        extensionData};

}  // namespace cqscope::lv2
