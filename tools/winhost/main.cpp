// cqscope-host.exe: the Windows capture host. Loads a plug-in (a VST 2.x DLL or a CLAP file)
// through LoadLibrary and GetProcAddress, and either prints what a host learns about it
// (`probe`, the same output as the Linux cqscope-host) or plays audio through it with its
// editor open in a real window and writes what the display shows (`capture`). Every failure becomes
// one line on stderr and a non-zero exit status. Single-threaded: the main thread is the
// user-interface and audio thread.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>

#include "common/commands.h"
#include "common/host_error.h"
#include "display/display_geometry.h"
#include "win_commands.h"

namespace winhost {
namespace {

using cqhost::HostError;

constexpr int kExitError = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "usage:\n"
    "  cqscope-host probe [--plugin PATH] [--json]\n"
    "  cqscope-host process IN OUT.raw [--plugin PATH.clap] [--rate HZ]\n"
    "  cqscope-host capture [AUDIO] [--plugin PATH] [--rate HZ] [--at SECONDS]\n"
    "                       [--out PREFIX] [--no-hold] [--timeout SECONDS]\n"
    "                       [--no-timer-support] [--pointer COLUMN[,ROW]]\n"
    "  cqscope-host cycle [--plugin PATH] [--rounds N] [--timeout SECONDS]\n"
    "  cqscope-host com [--plugin PATH] [--timeout SECONDS]\n"
    "\n"
    "probe    prints what a host learns about a plug-in, VST 2.x or CLAP (--json: as JSON,\n"
    "         VST 2.x only).\n"
    "process  plays IN (a WAV file, or a .raw file at --rate Hz) through a CLAP plug-in and\n"
    "         writes what it puts out to OUT.raw (32-bit float stereo frames).\n"
    "capture  plays AUDIO (a WAV file, or a .raw file of 32-bit float stereo frames at\n"
    "         --rate Hz, default 44100; without AUDIO a built-in demo chord with its notes\n"
    "         held) through the plug-in with its editor open, and after the display's next\n"
    "         refresh at the --at time (default: the end; the demo: 3 s) writes the window\n"
    "         as PREFIX.ppm; then clicks the display's Hold button and writes PREFIX-hold.ppm.\n"
    "         PREFIX defaults to cqscope-capture. --rival DLL loads DLL first, has it\n"
    "         register a class of the display's name, and unloads it with the editor open.\n"
    "         --no-hold writes PREFIX.ppm only. A CLAP plug-in's GUI is embedded as \"win32\"\n"
    "         and captured the same way; --no-timer-support offers it no timer support.\n"
    "         --pointer COLUMN[,ROW] (default ROW 250) then moves the real pointer over the\n"
    "         display to that point and writes PREFIX-pointer.ppm, moves it off the window\n"
    "         and writes PREFIX-left.ppm.\n"
    "cycle    loads the plug-in twice, opens, refreshes, closes and frees both editors in\n"
    "         the order hosts do, N times (default 3), checking the windows at each step.\n"
    "com      from a thread in the multithreaded COM apartment, creates the plug-in, opens\n"
    "         and closes its editor and frees it; checks the thread's COM state is kept.\n"
    "The default plug-in is cqscope.dll (64-bit: cqscope64.dll) beside this program; for\n"
    "process, cqscope32.clap (64-bit: cqscope.clap).\n";

// The file `name` in this program's folder.
std::string besideProgram(const char* name) {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length < MAX_PATH ? length : 0);
    const auto slash = folder.find_last_of("\\/");
    folder = slash == std::string::npos ? "." : folder.substr(0, slash);
    return folder + "\\" + name;
}

class UsageError : public HostError {
  public:
    using HostError::HostError;
};

double parseNumber(const std::string& option, const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end == text.c_str() || *end != '\0' || errno != 0 ||
        !std::isfinite(value) || value < 0.0) {
        throw UsageError(option + ": '" + text + "' is not a non-negative number");
    }
    return value;
}

// A pixel coordinate from 0 to below `limit`.
int parsePixel(const std::string& option, const std::string& text, int limit) {
    const double value = parseNumber(option, text);
    if (value != std::floor(value) || value >= limit) {
        throw UsageError(option + ": '" + text + "' is not a pixel from 0 to " +
                         std::to_string(limit - 1));
    }
    return static_cast<int>(value);
}

int run(int argc, char** argv) {
    if (argc < 2) throw UsageError("no command given");
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    cqhost::ProbeOptions probe;
    CaptureOptions capture;
    CycleOptions cycle;
    ComOptions com;
    ProcessOptions process;
    probe.plugin = capture.plugin = cycle.plugin = com.plugin = cqhost::defaultPluginPath();
    process.plugin = besideProgram(sizeof(void*) == 8 ? "cqscope.clap" : "cqscope32.clap");
    bool haveAudio = false;
    int processFiles = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw UsageError(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--plugin") {
            probe.plugin = capture.plugin = cycle.plugin = com.plugin = process.plugin = value();
        } else if (command == "probe" && arg == "--json") {
            probe.json = true;
        } else if (command == "capture" && arg == "--rate") {
            capture.rawRate = parseNumber(arg, value());
        } else if (command == "capture" && arg == "--at") {
            capture.at = parseNumber(arg, value());
        } else if (command == "capture" && arg == "--out") {
            capture.out = value();
        } else if (command == "capture" && arg == "--no-hold") {
            capture.hold = false;
        } else if (command == "capture" && arg == "--timeout") {
            capture.timeoutMs = static_cast<int>(parseNumber(arg, value()) * 1000.0);
        } else if (command == "capture" && arg == "--no-timer-support") {
            capture.hostTimers = false;
        } else if (command == "capture" && arg == "--pointer") {
            const std::string text = value();
            const std::size_t comma = text.find(',');
            capture.pointer = true;
            capture.pointerColumn = parsePixel(arg, text.substr(0, comma), display::kWidth);
            if (comma != std::string::npos)
                capture.pointerRow = parsePixel(arg, text.substr(comma + 1), display::kHeight);
        } else if (command == "capture" && arg == "--rival") {
            capture.rival = value();
        } else if (command == "com" && arg == "--timeout") {
            com.timeoutMs = static_cast<int>(parseNumber(arg, value()) * 1000.0);
        } else if (command == "cycle" && arg == "--rounds") {
            cycle.rounds = static_cast<int>(parseNumber(arg, value()));
        } else if (command == "cycle" && arg == "--timeout") {
            cycle.timeoutMs = static_cast<int>(parseNumber(arg, value()) * 1000.0);
        } else if (command == "process" && arg == "--rate") {
            process.rawRate = parseNumber(arg, value());
        } else if (command == "process" && processFiles < 2 && !arg.empty() && arg[0] != '-') {
            (processFiles++ == 0 ? process.input : process.output) = arg;
        } else if (command == "capture" && !haveAudio && !arg.empty() && arg[0] != '-') {
            capture.audio = arg;
            haveAudio = true;
        } else {
            throw UsageError("unexpected argument '" + arg + "' for " + command);
        }
    }
    if (command == "probe") return cqhost::runProbe(probe);
    if (command == "process") {
        if (processFiles < 2) throw UsageError("process needs an input and an output file");
        return runProcess(process);
    }
    if (command == "capture") return runCapture(capture);
    if (command == "cycle") return runCycle(cycle);
    if (command == "com") return runComCheck(com);
    throw UsageError("unknown command '" + command + "'");
}

}  // namespace
}  // namespace winhost

namespace cqhost {

// The DLL of this program's width beside it.
std::string defaultPluginPath() {
    return winhost::besideProgram(sizeof(void*) == 8 ? "cqscope64.dll" : "cqscope.dll");
}

}  // namespace cqhost

int main(int argc, char** argv) {
    // Output byte for byte as on Linux: no CR before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
    // No error dialog boxes from the loader: a DLL that fails to load is an error line.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    try {
        return winhost::run(argc, argv);
    } catch (const winhost::UsageError& error) {
        std::fprintf(stderr, "cqscope-host: %s\n%s", error.what(), winhost::kUsage);
        return winhost::kExitUsage;
    } catch (const cqhost::HostError& error) {
        std::fprintf(stderr, "cqscope-host: %s\n", error.what());
        return winhost::kExitError;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "cqscope-host: out of memory\n");
        return winhost::kExitError;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "cqscope-host: %s\n", error.what());
        return winhost::kExitError;
    }
}
