// The Windows-only commands of cqscope-host.exe (probe is the Linux host's own, in
// tools/host/commands/probe.cpp, for every plug-in format alike). Each throws
// cqhost::HostError for bad input and never leaves a partial output file behind. Main
// (user-interface) thread only.
#pragma once

#include <optional>
#include <string>

#include "core/default_rate.h"

namespace winhost {

struct CaptureOptions {
    std::string plugin;
    std::optional<std::string> audio;              // WAV or raw; none: the built-in demo
    double rawRate = cqscope::kDefaultSampleRate;  // sample rate of a .raw file, in Hz
    std::optional<double> at;                      // capture time in seconds
    std::string out = "cqscope-capture";           // pictures: OUT.ppm and OUT-hold.ppm
    bool hold = true;       // click Hold after the first picture, take a second
    int timeoutMs = 10000;  // longest wait for a refresh or a click to show
    // A DLL loaded before the plug-in whose rivalRegisterClass registers a class of the
    // display's name under this program's module; unloaded while the editor is open.
    std::optional<std::string> rival;
    // CLAP plug-ins: whether the host offers timer support (--no-timer-support: not).
    bool hostTimers = true;
    // --pointer COLUMN[,ROW]: after the live picture, the real pointer comes to rest over the
    // display at this point (OUT-pointer.ppm) and then leaves the window (OUT-left.ppm).
    bool pointer = false;
    int pointerColumn = 0;
    int pointerRow = 250;
};

struct ProcessOptions {
    std::string plugin;
    std::string input;                             // WAV, or raw 32-bit float stereo at rawRate Hz
    std::string output;                            // raw 32-bit float stereo
    double rawRate = cqscope::kDefaultSampleRate;  // sample rate of a .raw input, in Hz
};

struct CycleOptions {
    std::string plugin;
    int rounds = 3;
    int timeoutMs = 10000;  // longest wait for a refresh
};

struct ComOptions {
    std::string plugin;
    int timeoutMs = 10000;  // longest wait for a refresh
};

// For a plug-in of any format, its editor embedded as "win32".
int runCapture(const CaptureOptions& options);
// Requires a CLAP plug-in and an output named *.raw.
int runProcess(const ProcessOptions& options);
int runCycle(const CycleOptions& options);
int runComCheck(const ComOptions& options);

}  // namespace winhost
