// Work that touches a plug-in file, run in a child process of its own: whatever the plug-in
// does to its process (a crash while the file is mapped, a hang in a constructor, a corrupted
// heap) ends only the child, and cqscope-host reports it in one line. `probe` and every check
// of `validate` run this way; render, process and watch load the plug-in in this process.
// Main thread only; the parent must have no other threads running when it forks.
#pragma once

#include <functional>
#include <string>

namespace cqhost {

struct ChildRun {
    std::string message;    // what the child wrote to its pipe
    std::string output;     // what it wrote to stdout, when that was captured
    int status = 0;         // as waitpid gives it
    bool timedOut = false;  // the child was still running at the deadline and was killed
    bool started = true;    // false: no pipe or no child could be made (message says why)
};

// Forks. The child runs `work`, given the write end of a pipe to the parent, with its stdout
// going into a second pipe when `captureOutput` is set (it keeps stderr); then it exits
// normally, so that the leak checkers of sanitizer builds look at it too. It dies with the
// parent. The parent reads both pipes until the child has ended or `timeoutSeconds` have
// passed, when it kills the child, and reaps it.
ChildRun runInChild(const std::function<void(int pipe)>& work, int timeoutSeconds,
                    bool captureOutput);

// Writes all of `text` to the descriptor, as far as it is accepted.
void writeAll(int descriptor, const std::string& text);

// "signal 7 (Bus error)" for a child ended by a signal.
std::string signalText(int status);

}  // namespace cqhost
