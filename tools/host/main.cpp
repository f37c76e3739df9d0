// cqscope-host: a command-line VST 2.x host. Finds the command named on the command line, which
// parses its own options (options.h), runs it, and turns every failure into one line on stderr
// and a non-zero exit status.

#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "common/commands.h"
#include "common/host_error.h"
#include "common/options.h"
#include "common/program_files.h"
#include "files/output_file.h"

namespace cqhost {
namespace {

constexpr int kExitError = 1;
constexpr int kExitUsage = 2;

// Every command, in the order the help lists them.
std::vector<std::unique_ptr<Command>> allCommands() {
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(makeRenderCommand());
    commands.push_back(makeAnalyseCommand());
    commands.push_back(makeWatchCommand());
    commands.push_back(makeListenCommand());
    commands.push_back(makeProbeCommand());
    commands.push_back(makeProcessCommand());
    commands.push_back(makeValidateCommand());
    return commands;
}

// The top-level help: every command's synopsis, generated from its options, and its summary.
std::string usage(const std::vector<std::unique_ptr<Command>>& commands) {
    std::string text = "usage:\n";
    for (const auto& command : commands) text += indented(command->synopsis());
    text += "\n";
    for (const auto& command : commands) {
        text += command->name() + std::string(10 - command->name().size(), ' ') +
                command->summary() + "\n";
    }
    return text +
           "\n"
           "cqscope-host COMMAND --help describes a command and its options. --plugin takes\n"
           "a VST 2.x effect, a CLAP file (.clap) or a VST 3 bundle (.vst3); the default is\n"
           "cqscope.so beside this program, or else the one installed with it\n"
           "(../lib/vst/cqscope.so).\n"
           "cqscope-host --version prints the version.\n";
}

bool asksForHelp(const std::string& word) {
    return word == "--help" || word == "-h";
}

int dispatchCommand(int argc, char** argv) {
    const auto commands = allCommands();
    if (argc < 2) throw UsageError("no command given");
    std::string name = argv[1];
    std::vector<std::string> words(argv + 2, argv + argc);
    if (name == "--version" || name == "version") {
        std::printf("cqscope-host %s\n", CQSCOPE_VERSION);
        return 0;
    }
    bool help = asksForHelp(name) || std::any_of(words.begin(), words.end(), asksForHelp);
    if (name == "help") {
        help = true;
        name = words.empty() ? "" : words[0];
    }
    for (const auto& command : commands) {
        if (!command->answersTo(name)) continue;
        if (help) {
            std::fputs(command->help().c_str(), stdout);
            return 0;
        }
        return command->main(words);
    }
    if (help) {
        std::fputs(usage(commands).c_str(), stdout);
        return 0;
    }
    throw UsageError("unknown command '" + name + "'");
}

}  // namespace

std::string defaultPluginPath() {
    return programFile("vst", "cqscope.so").path();
}

}  // namespace cqhost

int main(int argc, char** argv) {
    using namespace cqhost;
    installInterruptCleanup();
    try {
        // Every output of the command appears at its end, and only if nothing failed; a
        // command that reports some of its inputs failed (exit 1) keeps what the others wrote.
        OutputRun outputs;
        const int status = dispatchCommand(argc, argv);
        outputs.publish();
        return status;
    } catch (const UsageError& error) {
        const std::string help = error.command.empty() ? "--help" : error.command + " --help";
        std::fprintf(stderr, "cqscope-host: %s (see cqscope-host %s)\n", error.what(),
                     help.c_str());
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
