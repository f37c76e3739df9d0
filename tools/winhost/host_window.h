// The host's side of the window system: the top-level window it gives an editor, and its
// message loop. User-interface thread only (the thread that creates the windows).
#pragma once

#include <windows.h>

#include <functional>

namespace winhost {

// A top-level window whose client area has the editor's size, at the screen's top left so
// that all of it is on screen, with the pointer put beside it (off the editor). The parent draws
// nothing of its own. Throws HostError when the window cannot be created; destroyed with the
// object.
class ParentWindow {
  public:
    ParentWindow(int width, int height);
    ~ParentWindow();
    ParentWindow(const ParentWindow&) = delete;
    ParentWindow& operator=(const ParentWindow&) = delete;

    HWND window = nullptr;
};

// The host's message loop, peek style as audio hosts run it: dispatches everything pending
// and calls `idle` (the editor-idle opcode) about every 20 ms. `until` looks at each message
// after it was dispatched and ends the loop by answering true. Throws HostError, naming
// `waitingFor`, after timeoutMs without that message.
void runMessageLoop(DWORD timeoutMs, const char* waitingFor, const std::function<void()>& idle,
                    const std::function<bool(const MSG&)>& until);

}  // namespace winhost
