// `cqscope-host probe`: its options and their checks, and the child process the plug-in is
// loaded in; probe.cpp does the work.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <new>

#include "common/child_process.h"
#include "common/commands.h"
#include "common/host_error.h"
#include "common/options.h"

namespace cqhost {
namespace {

// runProbe in a child process: the plug-in file is opened only there, so a file that crashes
// or hangs while loading ends the child, not this program. The child's stdout is held back
// and passed on whole once it has ended well; its answer on the pipe is "R" and the exit code,
// or "E" and the message of the error that stopped it.
int runProbeInChild(const ProbeOptions& options) {
    ChildRun run = runInChild(
        [&options](int pipe) {
            std::string answer;
            try {
                answer = "R" + std::to_string(runProbe(options));
            } catch (const std::bad_alloc&) {
                answer = "Eout of memory";
            } catch (const std::exception& error) {
                answer = std::string("E") + error.what();
            }
            std::fflush(stdout);
            writeAll(pipe, answer);
        },
        options.timeoutSeconds, true);
    if (!run.started) throw HostError(run.message);
    const std::string plugin = "plug-in " + options.plugin;
    if (run.timedOut) {
        throw HostError(plugin + " did not finish loading within " +
                        std::to_string(options.timeoutSeconds) + " s (killed)");
    }
    if (WIFSIGNALED(run.status))
        throw HostError(plugin + " crashed while loading: " + signalText(run.status));
    const int exitStatus = WEXITSTATUS(run.status);
    bool answered = run.message.rfind('E', 0) == 0;
    long code = 0;
    if (run.message.size() > 1 && run.message[0] == 'R') {
        char* end = nullptr;
        code = std::strtol(run.message.c_str() + 1, &end, 10);
        answered = *end == '\0';
    }
    if (!answered) {
        throw HostError(plugin + " ended the probe without a result (exit status " +
                        std::to_string(exitStatus) + ")");
    }
    std::fwrite(run.output.data(), 1, run.output.size(), stdout);
    if (run.message[0] == 'E') throw HostError(run.message.substr(1));
    // A sanitizer's report at the child's exit makes the probe fail as it would in one process.
    return exitStatus != 0 ? exitStatus : static_cast<int>(code);
}

class ProbeCommand : public Command {
  public:
    ProbeCommand()
        : Command("probe", "", "what a host learns about a plug-in",
                  "Prints what a host learns about a plug-in: its record, names, parameters,\n"
                  "programs and what it can do. The plug-in is loaded in a child process: one\n"
                  "that crashes or hangs while loading is reported in one line.\n") {
        options_.plugin = defaultPluginPath();
        path("--plugin", "PATH", "the plug-in (default: cqscope.so beside this program)",
             [this](const std::string& path) { options_.plugin = path; });
        flag("--json", "as JSON", [this] { options_.json = true; });
        value("--timeout", "SECONDS", "gives up on a plug-in still loading after this (default 30)",
              [this](const std::string& text) {
                  options_.timeoutSeconds = parseTimeoutSeconds(text);
              });
    }

  private:
    int run(const std::vector<std::string>& operands) override {
        if (!operands.empty()) throw UsageError("probe takes no file argument");
        return runProbeInChild(options_);
    }

    ProbeOptions options_;
};

}  // namespace

std::unique_ptr<Command> makeProbeCommand() {
    return std::make_unique<ProbeCommand>();
}

}  // namespace cqhost
