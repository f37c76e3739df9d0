// What a host pays to scan the plug-in and to start it at 48 kHz, each case in a fresh process
// that loads the built module with dlopen, as a host does. The library's first load is not
// counted: each case is timed, and its peak resident memory measured, from just after dlopen.
//
//   build/out/cqscope-start-bench [--plugin PATH] [--repetitions N]
//
// Cases (each run N times, the fastest wall time and the smallest peak kept):
// - scan: entry; effect name, vendor, category, VST version, can-do and editor-rectangle
//   queries; effClose. No resume.
// - 48 kHz start: entry, effSetSampleRate 48000, effSetBlockSize 512, resume, and the wait
//   until the kernels built beside the resume are in use (the effect's own vendor call).
// - 48 kHz kernels alone: the kernel set for 48 kHz built directly, without the plug-in.
// The start is then given as ratios to the kernels alone, measured in the same run.
//
// `--case NAME` runs one case in this process and prints "wall_ns peak_bytes kernel_bytes".
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <string>

#include "analysis/kernel_set.h"
#include "frame/host_interface.h"
#include "plugin/vendor_calls.h"

namespace {

using Clock = std::chrono::steady_clock;

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM").
std::size_t statusBytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':') {
            return std::strtoull(line.c_str() + length + 1, nullptr, 10) * 1024;
        }
    }
    return 0;
}

// Starts a new peak (VmHWM) at the present resident size, so that what the loader touched
// before does not count. Answers the resident size the peak is measured from.
std::size_t startPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
    return statusBytes("VmRSS");
}

struct Sample {
    double wallNs = std::numeric_limits<double>::infinity();
    double peakBytes = std::numeric_limits<double>::infinity();
    double kernelBytes = 0.0;
};

VstIntPtr send(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
               void* ptr = nullptr, float opt = 0.0f) {
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

int runCase(const std::string& name, const std::string& plugin) {
    Sample sample;
    if (name == "kernels48") {
        const std::size_t base = startPeak();
        const auto start = Clock::now();
        auto set = cqscope::KernelSet::forRate(48000.0);
        sample.wallNs = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
        sample.peakBytes = static_cast<double>(statusBytes("VmHWM") - base);
        sample.kernelBytes = static_cast<double>(set->storageBytes());
    } else {
        void* library = dlopen(plugin.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            std::fprintf(stderr, "cqscope-start-bench: %s\n", dlerror());
            return 1;
        }
        using Entry = AEffect* (*)(audioMasterCallback);
        auto entry = reinterpret_cast<Entry>(dlsym(library, "VSTPluginMain"));
        if (entry == nullptr) {
            std::fprintf(stderr, "cqscope-start-bench: %s has no VSTPluginMain\n", plugin.c_str());
            return 1;
        }
        const std::size_t base = startPeak();
        const auto start = Clock::now();
        AEffect* e = entry(host);
        if (e == nullptr) {
            std::fprintf(stderr, "cqscope-start-bench: the entry answered null\n");
            return 1;
        }
        if (name == "scan") {
            char text[256] = {};
            send(e, effGetEffectName, 0, 0, text);
            send(e, effGetVendorString, 0, 0, text);
            send(e, effGetPlugCategory);
            send(e, effGetVstVersion);
            for (const char* what : {"receiveVstMidiEvent", "receiveVstEvents", "sendVstMidiEvent",
                                     "plugAsChannelInsert", "bypass"}) {
                std::strcpy(text, what);
                send(e, effCanDo, 0, 0, text);
            }
            ERect* rect = nullptr;
            send(e, effEditGetRect, 0, 0, &rect);
            send(e, effClose);
        } else if (name == "start48") {
            send(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
            send(e, effSetBlockSize, 0, 512);
            send(e, effMainsChanged, 0, 1);
            // The kernels are built beside the resume: a start ends when they are in use. A
            // plug-in without the wait answers 0 at once, its start having built them.
            send(e, effVendorSpecific, kVendorCallCode, kVendorCallWait, nullptr, 60000.0f);
        } else {
            std::fprintf(stderr, "cqscope-start-bench: unknown case %s\n", name.c_str());
            return 2;
        }
        sample.wallNs = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
        sample.peakBytes = static_cast<double>(statusBytes("VmHWM") - base);
        // The process ends here; a started effect is left to its exit.
    }
    std::printf("%.0f %.0f %.0f\n", sample.wallNs, sample.peakBytes, sample.kernelBytes);
    return 0;
}

// Runs one case in a child process of this program and reads its figures.
bool runChild(const std::string& self, const std::string& name, const std::string& plugin,
              Sample& out) {
    const std::string command = "'" + self + "' --case " + name + " --plugin '" + plugin + "'";
    FILE* child = popen(command.c_str(), "r");
    if (child == nullptr) return false;
    double wall = 0, peak = 0, kernel = 0;
    const bool read = std::fscanf(child, "%lf %lf %lf", &wall, &peak, &kernel) == 3;
    const bool ok = pclose(child) == 0 && read;
    if (!ok) return false;
    out.wallNs = std::min(out.wallNs, wall);
    out.peakBytes = std::min(out.peakBytes, peak);
    out.kernelBytes = kernel;
    return true;
}

std::string besideThisProgram(const std::string& self, const char* file) {
    const auto slash = self.rfind('/');
    return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/" + file;
}

}  // namespace

int main(int argc, char** argv) {
    std::array<char, 4096> path{};
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
    const std::string self = length > 0 ? std::string(path.data(), static_cast<std::size_t>(length))
                                        : std::string(argv[0]);
    std::string plugin = besideThisProgram(self, "cqscope.so");
    std::string oneCase;
    int repetitions = 7;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--plugin" && i + 1 < argc) {
            plugin = argv[++i];
        } else if (arg == "--case" && i + 1 < argc) {
            oneCase = argv[++i];
        } else if (arg == "--repetitions" && i + 1 < argc) {
            repetitions = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: cqscope-start-bench [--plugin PATH] [--repetitions N]\n");
            return 2;
        }
    }
    if (!oneCase.empty()) return runCase(oneCase, plugin);

    Sample scan, start, kernels;
    // Interleaved, so that a change in the machine's load touches every case alike.
    for (int r = 0; r < repetitions; ++r) {
        for (auto [name, sample] : {std::pair{"scan", &scan}, std::pair{"start48", &start},
                                    std::pair{"kernels48", &kernels}}) {
            if (!runChild(self, name, plugin, *sample)) {
                std::fprintf(stderr, "cqscope-start-bench: case %s failed\n", name);
                return 1;
            }
        }
    }
    constexpr double kMiB = 1024.0 * 1024.0;
    std::printf("plug-in: %s (fastest of %d fresh processes each)\n", plugin.c_str(), repetitions);
    std::printf("| figure | measured | goal |\n|---|---|---|\n");
    std::printf("| scan: wall time | %.2f ms | <= 5 ms |\n", scan.wallNs / 1e6);
    std::printf("| scan: peak resident memory | %.2f MiB | <= 4 MiB |\n", scan.peakBytes / kMiB);
    std::printf("| 48 kHz kernels alone: build wall time | %.1f ms | |\n", kernels.wallNs / 1e6);
    std::printf("| 48 kHz kernels alone: memory | %.1f MiB | |\n", kernels.kernelBytes / kMiB);
    std::printf("| 48 kHz start: wall time | %.1f ms | |\n", start.wallNs / 1e6);
    std::printf("| 48 kHz start: peak resident memory | %.1f MiB | |\n", start.peakBytes / kMiB);
    std::printf("| 48 kHz start / kernels alone: wall time | %.3f | <= 1.15 |\n",
                start.wallNs / kernels.wallNs);
    std::printf("| 48 kHz start: peak resident memory / kernel memory | %.3f | <= 1.25 |\n",
                start.peakBytes / kernels.kernelBytes);
    return 0;
}
