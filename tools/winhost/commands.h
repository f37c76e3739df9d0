// The commands of cqscope-host.exe. Each throws HostError for bad input and never leaves a
// partial output file behind. Main (user-interface) thread only.
#pragma once

#include <optional>
#include <string>

namespace winhost {

struct ProbeOptions {
    std::string plugin;
    bool json = false;
};

struct CaptureOptions {
    std::string plugin;
    std::optional<std::string> audio;     // WAV or raw; none: the built-in demo
    double rawRate = 44100.0;             // sample rate of a .raw file, in Hz
    std::optional<double> at;             // capture time in seconds
    std::string out = "cqscope-capture";  // pictures: OUT.ppm and OUT-hold.ppm
    bool hold = true;                     // click Hold after the first picture, take a second
    int timeoutMs = 10000;                // longest wait for a refresh or a click to show
};

struct CycleOptions {
    std::string plugin;
    int rounds = 3;
    int timeoutMs = 10000;  // longest wait for a refresh
};

// The plug-in used when --plugin is not given: the DLL of this program's width beside it.
std::string defaultPluginPath();

int runProbe(const ProbeOptions& options);
int runCapture(const CaptureOptions& options);
int runCycle(const CycleOptions& options);

}  // namespace winhost
