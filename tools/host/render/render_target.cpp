#include "render/render_target.h"

#include <cstdint>

#include "common/host_error.h"
#include "formats/formats.h"

namespace cqhost {

RenderTarget::RenderTarget(const std::string& path, BlockAudio& audio, double sampleRate,
                           std::vector<TimedMidiMessage> midi) {
    std::string problem;
    PluginLoad load;
    load.beforeEntry = [this, &path, &problem](void* library) {
        platform_ = findPlatformApi(library, path, &problem);
        if (platform_ != nullptr) platform_->setManualClock(TRUE, 0);
    };
    load.manualClock = true;
    plugin_ = openPlugin(path, load);
    plugin_->requireEditor("render");
    if (platform_ == nullptr) throw HostError(problem);
    plugin_->start(sampleRate, kBlockSize);
    waitForPluginAnalysis(*platform_);
    try {
        size_ = plugin_->createEditor(WindowApi::X11);
        loop_ = std::make_unique<PlayLoop>(plugin_->processor(), audio, std::move(midi));
        parent_ = platform_->createHostWindow(size_.width, size_.height);
        if (parent_ == nullptr) throw HostError("cannot create the editor's parent window");
        // A window of the plug-in's own window library, which takes its handle where an X11
        // window ID goes.
        plugin_->openEditor({WindowApi::X11, reinterpret_cast<std::uintptr_t>(parent_)});
        plugin_->beginAudio(AudioThread::Own);
    } catch (...) {
        close();
        throw;
    }
}

RenderTarget::~RenderTarget() {
    close();
}

// Processing stops, then the editor goes, then its parent; the plug-in is stopped and
// unloaded by its own destructor.
void RenderTarget::close() {
    plugin_->endAudio();
    plugin_->closeEditor();
    if (parent_ != nullptr) platform_->destroyWindow(parent_);
    parent_ = nullptr;
}

int RenderTarget::play(long long position, int count) {
    int played = 0;
    plugin_->onAudioThread([&] { played = loop_->play(position, count); });
    return played;
}

// The nearer of the window system's next timer and the host's next timer for the plug-in;
// either may be the one that shows a change.
long long RenderTarget::nextTimerWait() const {
    long long wait = 0;
    for (long long candidate : {hasRenderCalls(*platform_) ? platform_->nextTimerWait() : 0LL,
                                plugin_->nextHostTimerWait()}) {
        if (candidate > 0 && (wait == 0 || candidate < wait)) wait = candidate;
    }
    return wait;
}

void RenderTarget::advanceClock(long long ms) {
    clockMs_ += ms;
    platform_->advanceClock(static_cast<DWORD>(ms));
    plugin_->setHostClock(clockMs_);
}

void RenderTarget::idle() {
    plugin_->idle();
    serveParent();
}

void RenderTarget::click(int x, int y) {
    platform_->click(parent_, x, y);
    plugin_->handleWindowInput();
    serveParent();
}

void RenderTarget::movePointer(int x, int y) {
    if (!hasPointerCalls(*platform_) || !platform_->movePointer(parent_, x, y)) {
        throw HostError("the plug-in's window library cannot move the pointer over its editor");
    }
    plugin_->handleWindowInput();
    serveParent();
}

void RenderTarget::serveParent() {
    if (plugin_->hostServesParent()) platform_->pumpMessages(parent_);
}

}  // namespace cqhost
