// cqscope-host: a command-line VST 2.x host. Parses the command line, runs one command and
// turns every failure into one line on stderr and a non-zero exit status.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "commands.h"
#include "host_error.h"
#include "output_file.h"
#include "validate.h"

namespace cqhost {
namespace {

constexpr int kExitError = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "usage:\n"
    "  cqscope-host render [AUDIO] [--plugin PATH] [--midi FILE]\n"
    "                      [--at T[,T...] | --every SECONDS] [--hold-at T] [--out PATH]\n"
    "                      [--peaks N [--peaks-out FILE]]\n"
    "  cqscope-host analyse AUDIO [--midi FILE] [--every SECONDS] [--out DATA.csv|.json|.npy]\n"
    "                       [--peaks N [--peaks-out FILE]]\n"
    "                      [--fps N] [--lossless] [--threads N]\n"
    "  cqscope-host watch [AUDIO] [--plugin PATH] [--seconds S]   (also: render --x11)\n"
    "  cqscope-host listen [--name NAME] [--connect PORT[,PORT]] [--connect-midi PORT[,PORT]]\n"
    "                      [--peaks N] [--seconds S] [--picture FILE.png]\n"
    "  cqscope-host probe [--plugin PATH] [--json]\n"
    "  cqscope-host process --plugin PATH IN OUT\n"
    "  cqscope-host validate [--plugin PATH] [--strictness 1..10] [--seed N]\n"
    "                        [--timeout SECONDS] [--analyser]\n"
    "\n"
    "render   plays AUDIO (or a built-in demo chord) through the plug-in with its editor open\n"
    "         and writes the editor's picture as PNG: at the end of the audio (the demo: at\n"
    "         3 s), at each --at time, or every SECONDS into numbered files in a folder.\n"
    "         --hold-at clicks the display's Hold button at that time. Times are seconds.\n"
    "         --peaks N prints the N strongest peaks of each picture (note, cents, Hz) on\n"
    "         stderr, or into --peaks-out FILE.\n"
    "analyse  writes the time, silence flag, held MIDI notes and 960 magnitudes of every\n"
    "         display refresh (every 0.1 s, or --every SECONDS) as CSV, JSON or NumPy (.npy,\n"
    "         with NAME.rows.csv beside it); --peaks N as for render.\n"
    "         --out NAME.mp4 or NAME.mkv writes a video of the editor with AUDIO's sound\n"
    "         (H.264 and AAC; --lossless, for .mkv: FFV1 and FLAC), --fps frames a second\n"
    "         (default 30). --threads: threads to use (default: one per core).\n"
    "watch    shows the editor live in an X11 window (DISPLAY) while playing AUDIO (or the\n"
    "         demo chord) through the plug-in in real time, over and over, until the window\n"
    "         is closed, Ctrl-C, or --seconds have passed.\n"
    "listen   analyses live JACK input: a JACK client (in_1, in_2 copied to out_1, out_2;\n"
    "         midi_in, whose held notes are striped) with the display in an X11 window;\n"
    "         --connect/--connect-midi connect a source port; --peaks N prints the N\n"
    "         strongest peaks of each refresh; --picture writes the last picture at the end.\n"
    "         Stops on Ctrl-C, when the window is closed or after --seconds.\n"
    "probe    prints what a host learns about a plug-in (--json: as JSON).\n"
    "process  runs IN through the plug-in and writes OUT in the format of IN.\n"
    "validate runs host-side robustness checks on the plug-in, one line per check, and\n"
    "         exits non-zero when one fails; each check runs in a child process, killed\n"
    "         after --timeout seconds (default 900); --analyser adds the analyser's own\n"
    "         checks (bit-exact pass-through, Hold), which cqscope gets by itself.\n"
    "The default plug-in is cqscope.so beside this program, or else the one installed with\n"
    "it (../lib/vst/cqscope.so). cqscope-host --version prints the version.\n";

// A mistake in the command line itself, reported with a pointer to the usage.
class UsageError : public HostError {
  public:
    using HostError::HostError;
};

// A finite, non-negative number; `what` names it in messages ("a time in seconds").
double parseNumber(const std::string& option, const std::string& text, const std::string& what) {
    if (text.empty()) throw UsageError(option + " needs " + what);
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || errno != 0 || !std::isfinite(value)) {
        throw UsageError(option + ": '" + text + "' is not " + what);
    }
    if (value < 0.0) throw UsageError(option + ": " + text + " is negative");
    return value;
}

double parseSeconds(const std::string& option, const std::string& text) {
    return parseNumber(option, text, "a time in seconds");
}

int parsePeakCount(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const long count = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || count < 1 || count > 960) {
        throw UsageError("--peaks needs a whole number from 1 to 960");
    }
    return static_cast<int>(count);
}

std::vector<double> parseTimeList(const std::string& option, const std::string& text) {
    std::vector<double> times;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        times.push_back(parseSeconds(option, text.substr(start, comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return times;
}

// Splits arguments into options (with their values) and positional words.
struct Arguments {
    std::vector<std::pair<std::string, std::string>> options;
    std::vector<std::string> words;
};

// "a,b" as {"a", "b"}; empty items are left out.
std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> items;
    std::size_t from = 0;
    while (from <= text.size()) {
        const std::size_t comma = std::min(text.find(',', from), text.size());
        if (comma > from) items.push_back(text.substr(from, comma - from));
        from = comma + 1;
    }
    return items;
}

Arguments splitArguments(int argc, char** argv, const std::vector<std::string>& valued,
                         const std::vector<std::string>& flags) {
    Arguments result;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0 || arg == "--") {
            result.words.push_back(arg);
            continue;
        }
        std::string name = arg, value;
        bool hasValue = false;
        if (const auto equals = arg.find('='); equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
            hasValue = true;
        }
        const bool takesValue = std::find(valued.begin(), valued.end(), name) != valued.end();
        const bool isFlag = std::find(flags.begin(), flags.end(), name) != flags.end();
        if (!takesValue && !isFlag) throw UsageError("unknown option " + name);
        if (isFlag && hasValue) throw UsageError(name + " takes no value");
        if (takesValue && !hasValue) {
            if (i + 1 >= argc) throw UsageError(name + " needs a value");
            value = argv[++i];
        }
        for (const auto& seen : result.options) {
            if (seen.first == name) throw UsageError(name + " is given twice");
        }
        result.options.emplace_back(name, value);
    }
    return result;
}

int dispatchCommand(int argc, char** argv) {
    if (argc < 2) throw UsageError("no command given");
    const std::string command = argv[1];
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h" || (i == 1 && arg == "help")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    if (command == "--version" || command == "version") {
        std::printf("cqscope-host %s\n", CQSCOPE_VERSION);
        return 0;
    }
    if (command == "probe") {
        const Arguments args = splitArguments(argc, argv, {"--plugin"}, {"--json"});
        if (!args.words.empty()) throw UsageError("probe takes no file argument");
        ProbeOptions options;
        options.plugin = defaultPluginPath();
        for (const auto& [name, value] : args.options) {
            if (name == "--plugin") options.plugin = value;
            if (name == "--json") options.json = true;
        }
        return runProbe(options);
    }
    if (command == "process") {
        const Arguments args = splitArguments(argc, argv, {"--plugin"}, {});
        if (args.words.size() != 2) throw UsageError("process needs an input and an output file");
        ProcessOptions options;
        for (const auto& [name, value] : args.options) options.plugin = value;
        if (options.plugin.empty()) throw UsageError("process needs --plugin PATH");
        options.input = args.words[0];
        options.output = args.words[1];
        return runProcess(options);
    }
    if (command == "render") {
        const Arguments args =
            splitArguments(argc, argv,
                           {"--plugin", "--midi", "--at", "--every", "--hold-at", "--out",
                            "--peaks", "--peaks-out", "--fps", "--threads"},
                           {"--x11", "--lossless"});
        if (args.words.size() > 1) throw UsageError("render takes at most one audio file");
        if (std::any_of(args.options.begin(), args.options.end(),
                        [](const auto& option) { return option.first == "--x11"; })) {
            WatchOptions watch;
            watch.plugin = defaultPluginPath();
            if (!args.words.empty()) watch.audio = args.words[0];
            for (const auto& [name, value] : args.options) {
                if (name == "--plugin") {
                    watch.plugin = value;
                } else if (name != "--x11") {
                    throw UsageError("render --x11 shows the editor live and takes no " + name);
                }
            }
            return runWatch(watch);
        }
        RenderOptions options;
        options.plugin = defaultPluginPath();
        if (!args.words.empty()) options.audio = args.words[0];
        for (const auto& [name, value] : args.options) {
            if (name == "--plugin") options.plugin = value;
            if (name == "--midi") options.midi = value;
            if (name == "--at") options.at = parseTimeList(name, value);
            if (name == "--every") {
                options.every = parseSeconds(name, value);
                if (*options.every <= 0.0) throw UsageError("--every needs a period above 0");
            }
            if (name == "--hold-at") options.holdAt = parseSeconds(name, value);
            if (name == "--out") options.out = value;
            if (name == "--peaks") options.peaks = parsePeakCount(value);
            if (name == "--peaks-out") options.peaksOut = value;
            if (name == "--fps") {
                options.fps = parseNumber(name, value, "a number of frames per second");
                if (*options.fps <= 0.0) throw UsageError("--fps needs a rate above 0");
            }
            if (name == "--lossless") options.lossless = true;
            if (name == "--threads") {
                char* end = nullptr;
                const long count = std::strtol(value.c_str(), &end, 10);
                if (value.empty() || *end != '\0' || count < 1 || count > 64) {
                    throw UsageError("--threads needs a whole number from 1 to 64");
                }
                options.threads = static_cast<int>(count);
            }
        }
        if (!options.at.empty() && options.every) {
            throw UsageError("--at and --every cannot be used together");
        }
        if (options.peaksOut && !options.peaks) throw UsageError("--peaks-out needs --peaks N");
        return runRender(options);
    }
    if (command == "analyse" || command == "analyze") {
        const Arguments args = splitArguments(
            argc, argv, {"--midi", "--every", "--out", "--peaks", "--peaks-out"}, {});
        if (args.words.size() != 1) throw UsageError("analyse needs one audio file");
        AnalyseOptions options;
        options.audio = args.words[0];
        for (const auto& [name, value] : args.options) {
            if (name == "--midi") options.midi = value;
            if (name == "--every") {
                options.every = parseSeconds(name, value);
                if (*options.every <= 0.0) throw UsageError("--every needs a period above 0");
            }
            if (name == "--out") options.out = value;
            if (name == "--peaks") options.peaks = parsePeakCount(value);
            if (name == "--peaks-out") options.peaksOut = value;
        }
        if (options.peaksOut && !options.peaks) throw UsageError("--peaks-out needs --peaks N");
        return runAnalyse(options);
    }
    if (command == "watch") {
        const Arguments args = splitArguments(argc, argv, {"--plugin", "--seconds"}, {});
        if (args.words.size() > 1) throw UsageError("watch takes at most one audio file");
        WatchOptions options;
        options.plugin = defaultPluginPath();
        if (!args.words.empty()) options.audio = args.words[0];
        for (const auto& [name, value] : args.options) {
            if (name == "--plugin") options.plugin = value;
            if (name == "--seconds") {
                options.seconds = parseSeconds(name, value);
                if (*options.seconds <= 0.0) throw UsageError("--seconds needs a time above 0");
            }
        }
        return runWatch(options);
    }
    if (command == "listen") {
        const Arguments args = splitArguments(
            argc, argv,
            {"--name", "--connect", "--connect-midi", "--peaks", "--seconds", "--picture"}, {});
        if (!args.words.empty()) throw UsageError("listen takes no file argument");
        ListenOptions options;
        for (const auto& [name, value] : args.options) {
            if (name == "--name") {
                if (value.empty()) throw UsageError("--name needs a client name");
                options.name = value;
            }
            if (name == "--connect") options.audioSources = splitList(value);
            if (name == "--connect-midi") options.midiSources = splitList(value);
            if (name == "--peaks") options.peaks = parsePeakCount(value);
            if (name == "--seconds") {
                options.seconds = parseSeconds(name, value);
                if (*options.seconds <= 0.0) throw UsageError("--seconds needs a time above 0");
            }
            if (name == "--picture") options.picture = value;
        }
        return runListen(options);
    }
    if (command == "validate") {
        const Arguments args =
            splitArguments(argc, argv, {"--plugin", "--strictness", "--seed", "--timeout"},
                           {"--analyser", "--in-process"});
        if (!args.words.empty()) throw UsageError("validate takes no file argument");
        ValidateOptions options;
        options.plugin = defaultPluginPath();
        for (const auto& [name, value] : args.options) {
            if (name == "--plugin") options.plugin = value;
            if (name == "--strictness") {
                char* end = nullptr;
                const long level = std::strtol(value.c_str(), &end, 10);
                if (value.empty() || *end != '\0' || level < 1 || level > 10) {
                    throw UsageError("--strictness needs a whole number from 1 to 10");
                }
                options.strictness = static_cast<int>(level);
            }
            if (name == "--seed") {
                char* end = nullptr;
                errno = 0;
                options.seed = std::strtoull(value.c_str(), &end, 10);
                if (value.empty() || *end != '\0' || errno != 0 || value[0] == '-') {
                    throw UsageError("--seed needs a non-negative whole number");
                }
            }
            if (name == "--timeout") {
                char* end = nullptr;
                const long seconds = std::strtol(value.c_str(), &end, 10);
                if (value.empty() || *end != '\0' || seconds < 1 || seconds > 86400) {
                    throw UsageError("--timeout needs a number of seconds from 1 to 86400");
                }
                options.timeoutSeconds = static_cast<int>(seconds);
            }
            if (name == "--analyser") options.analyser = true;
            if (name == "--in-process") options.inProcess = true;
        }
        return runValidate(options);
    }
    throw UsageError("unknown command '" + command + "'");
}

}  // namespace

std::string defaultPluginPath() {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) return "cqscope.so";
    std::string self(buffer.data(), static_cast<size_t>(length));
    const std::string folder = self.substr(0, self.rfind('/') + 1);
    // The build tree has both in one folder; an installation has the program in bin and the
    // plug-in in lib/vst.
    const std::string beside = folder + "cqscope.so";
    const std::string installed = folder + "../lib/vst/cqscope.so";
    if (::access(beside.c_str(), F_OK) != 0 && ::access(installed.c_str(), F_OK) == 0) {
        return installed;
    }
    return beside;
}

}  // namespace cqhost

int main(int argc, char** argv) {
    using namespace cqhost;
    installInterruptCleanup();
    try {
        return dispatchCommand(argc, argv);
    } catch (const UsageError& error) {
        std::fprintf(stderr, "cqscope-host: %s (see cqscope-host --help)\n", error.what());
        return kExitUsage;
    } catch (const HostError& error) {
        std::fprintf(stderr, "cqscope-host: %s\n", error.what());
        return kExitError;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "cqscope-host: out of memory\n");
        return kExitError;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "cqscope-host: %s\n", error.what());
        return kExitError;
    }
}
