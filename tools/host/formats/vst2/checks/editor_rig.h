// An editor opened through the platform library in a parent window of its own, for the
// editor checks: idle calls, clicks, the manual clock and the window's pixels. Main thread.
#pragma once

#include <cstdint>
#include <vector>

#include "formats/platform_api.h"
#include "formats/vst2/checks/vst2_checks.h"

namespace cqhost::validation {

// The window system inside the loaded plug-in; skips the check when it has none.
const PlatformApi& platform(const PluginHost& host);

// Skips the check unless the effect's editor draws through the platform library.
void requireEditor(const Subject& subject);

struct EditorSize {
    int width = 0, height = 0;
};

// The editor's rectangle, failing the check unless it is a window size.
EditorSize editorSize(PluginHost& host);

// An open editor in a parent window of its own; closed and its parent destroyed at the end.
class OpenEditor {
  public:
    explicit OpenEditor(PluginHost& host);
    ~OpenEditor();
    OpenEditor(const OpenEditor&) = delete;
    OpenEditor& operator=(const OpenEditor&) = delete;

    void idle(int times = 1);
    void click(int x, int y) { api_.click(window_, x, y); }
    // Moves the platform's manual clock on, so that clicks are apart.
    void wait(unsigned milliseconds) { api_.advanceClock(milliseconds); }
    std::vector<std::uint32_t> pixels();
    // The pixels of a rectangle of the editor, row by row.
    std::vector<std::uint32_t> pixelsIn(int x, int y, int width, int height);
    EditorSize size() const { return size_; }

  private:
    PluginHost& host_;
    const PlatformApi& api_;
    EditorSize size_;
    HWND window_ = nullptr;
};

}  // namespace cqhost::validation
