// `cycle`: what a Windows host does to a plug-in over a session, several times over, checked
// against the real USER32 at every step, for a plug-in of any format. Per round: two
// instances from one DLL, both editors
// open in their own windows and refreshing; one editor closed (its display window must go
// with it) and its effect freed while the other keeps refreshing; the other closed and opened
// again; both freed, after which the display's window class must be unregistered and the DLL
// unloaded, so that the next round's load, wherever the DLL lands, starts clean.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/host_error.h"
#include "core/default_rate.h"
#include "formats/formats.h"
#include "host_window.h"
#include "win_commands.h"

namespace winhost {
namespace {

using cqhost::HostedPlugin;
using cqhost::HostError;

constexpr const char* kDisplayClass = "DrawWnd";

std::string fileName(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The editor's display window in `parent`, checked to be of the display's class.
HWND displayIn(HWND parent, const char* step) {
    HWND display = GetWindow(parent, GW_CHILD);
    char className[64] = {};
    if (display == nullptr || GetClassNameA(display, className, sizeof className) == 0 ||
        std::string(className) != kDisplayClass) {
        throw HostError(std::string(step) + ": no display window of the class DrawWnd");
    }
    return display;
}

class Round {
  public:
    Round(const std::string& path, DWORD timeoutMs) : path_(path), timeoutMs_(timeoutMs) {}

    void run() {
        first_ = cqhost::openPlugin(path_);
        second_ = cqhost::openPlugin(path_);
        for (HostedPlugin* plugin : {first_.get(), second_.get()}) {
            plugin->requireEditor("cycle");
            plugin->start(cqscope::kDefaultSampleRate, cqhost::kBlockSize);
        }
        const cqhost::EditorSize size = first_->createEditor(cqhost::WindowApi::Win32);
        second_->createEditor(cqhost::WindowApi::Win32);
        ParentWindow firstParent(size.width, size.height);
        ParentWindow secondParent(size.width, size.height);

        open(*first_, firstParent);
        open(*second_, secondParent);
        HWND firstDisplay = displayIn(firstParent.window, "first editor opened");
        HWND secondDisplay = displayIn(secondParent.window, "second editor opened");
        if (firstDisplay == secondDisplay) throw HostError("two editors share one display");
        waitForRefresh({firstDisplay, secondDisplay}, "both displays refreshing");

        first_->closeEditor();
        if (IsWindow(firstDisplay) || GetWindow(firstParent.window, GW_CHILD) != nullptr) {
            throw HostError("closing the first editor left its display window behind");
        }
        waitForRefresh({secondDisplay}, "the second display after the first was closed");
        first_.reset();
        waitForRefresh({secondDisplay}, "the second display after the first effect was freed");

        second_->closeEditor();
        second_->createEditor(cqhost::WindowApi::Win32);
        open(*second_, secondParent);
        secondDisplay = displayIn(secondParent.window, "second editor opened again");
        waitForRefresh({secondDisplay}, "the reopened display");
        second_->closeEditor();
        // The class belongs to the DLL's own module; the handle is kept to look it up after
        // the DLL is gone.
        HMODULE dll = GetModuleHandleA(fileName(path_).c_str());
        second_.reset();

        WNDCLASSEXA info{};
        info.cbSize = sizeof info;
        if ((dll != nullptr && GetClassInfoExA(dll, kDisplayClass, &info)) ||
            GetClassInfoExA(GetModuleHandleA(nullptr), kDisplayClass, &info)) {
            throw HostError(
                "the DrawWnd class is still registered after the last effect was "
                "freed: its procedure points into a DLL that is about to go");
        }
        if (GetModuleHandleA(fileName(path_).c_str()) != nullptr) {
            throw HostError("the DLL stayed loaded after both effects were freed");
        }
    }

  private:
    static void open(HostedPlugin& plugin, const ParentWindow& parent) {
        plugin.openEditor(
            {cqhost::WindowApi::Win32, reinterpret_cast<std::uintptr_t>(parent.window)});
    }

    // Runs the loop until each of the displays has handled a refresh tick.
    void waitForRefresh(std::initializer_list<HWND> displays, const char* what) {
        std::vector<HWND> pending(displays);
        const auto idle = [this] {
            if (first_) first_->idle();
            if (second_) second_->idle();
        };
        runMessageLoop(timeoutMs_, what, idle, [&pending](const MSG& message) {
            if (message.message == WM_TIMER) std::erase(pending, message.hwnd);
            return pending.empty();
        });
    }

    std::string path_;
    DWORD timeoutMs_;
    std::unique_ptr<HostedPlugin> first_, second_;
};

}  // namespace

int runCycle(const CycleOptions& options) {
    for (int round = 1; round <= options.rounds; ++round) {
        Round(options.plugin, static_cast<DWORD>(options.timeoutMs)).run();
        std::printf(
            "round %d: two editors refreshed side by side, one closed and freed while "
            "the other went on, reopened, class released, DLL unloaded\n",
            round);
    }
    return 0;
}

}  // namespace winhost
