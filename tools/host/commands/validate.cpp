// The runner: learns what the plug-in is, and of which format, in a first child process, then
// runs every check its format has (formats/format_checks.h), each in a child process of its own,
// and prints one line per check and a summary.
#include "commands/validate.h"

#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>

#include "common/child_process.h"
#include "common/commands.h"
#include "common/host_error.h"
#include "common/options.h"
#include "formats/format_checks.h"
#include "formats/formats.h"

namespace cqhost {
namespace {

using validation::Check;
using validation::Subject;

struct Outcome {
    char status = 'F';  // 'P', 'F' or 'S'
    std::string text;
};

Outcome runHere(const Check& check, const Subject& subject) {
    try {
        return {'P', check.run(subject)};
    } catch (const validation::CheckFailure& failure) {
        return {'F', failure.reason};
    } catch (const validation::CheckSkipped& skipped) {
        return {'S', skipped.reason};
    } catch (const HostError& error) {
        return {'F', error.what()};
    } catch (const std::exception& error) {
        return {'F', std::string("exception: ") + error.what()};
    }
}

// In the child: runs the check and writes its outcome to the parent.
void runAsChild(const Check& check, const Subject& subject, int pipeEnd) {
    validation::setProgressPipe(pipeEnd);
    const Outcome outcome = runHere(check, subject);
    writeAll(pipeEnd, std::string(1, outcome.status) + outcome.text);
}

// The outcome from what the child wrote and how it ended.
Outcome judgeChild(std::string message, int status, bool timedOut, int timeoutSeconds) {
    // Progress lines ("~step\n") come first; the result, if any, is what follows the last.
    std::string lastStep;
    while (!message.empty() && message[0] == '~') {
        const size_t end = message.find('\n');
        if (end == std::string::npos) break;
        lastStep = message.substr(1, end - 1);
        message.erase(0, end + 1);
    }
    const std::string during = lastStep.empty() ? "" : " during " + lastStep;
    if (timedOut) {
        return {'F',
                "did not finish within " + std::to_string(timeoutSeconds) + " s (killed)" + during};
    }
    if (WIFSIGNALED(status)) {
        return {'F', "the plug-in crashed: " + signalText(status) + during};
    }
    if (message.empty()) {
        return {'F', "the check ended without a result (exit status " +
                         std::to_string(WEXITSTATUS(status)) + ")" + during};
    }
    Outcome outcome{message[0], message.substr(1)};
    if (WEXITSTATUS(status) != 0 && outcome.status != 'F') {
        // A sanitizer report or an abort at exit: the check itself went through.
        return {'F', "exit status " + std::to_string(WEXITSTATUS(status)) +
                         " after the check (a sanitizer report on stderr?): " + outcome.text};
    }
    return outcome;
}

Outcome runCheckInChild(const Check& check, const Subject& subject) {
    ChildRun run = runInChild([&](int pipeEnd) { runAsChild(check, subject, pipeEnd); },
                              subject.timeoutSeconds, false);
    if (!run.started) return {'F', run.message};
    return judgeChild(std::move(run.message), run.status, run.timedOut, subject.timeoutSeconds);
}

bool parseDescription(const std::string& text, Subject& subject) {
    if (text.size() < 6) return false;
    subject.analyser = text[0] == 'A';
    subject.canReplace = text[1] == 'R';
    subject.receivesMidi = text[2] == 'M';
    subject.platformEditor = text[3] == 'E';
    subject.programChunks = text[4] == 'C';
    std::istringstream numbers(text.substr(6));
    numbers >> subject.numInputs >> subject.numOutputs >> subject.numParams >> subject.numPrograms;
    return static_cast<bool>(numbers);
}

}  // namespace

// How long the plug-in may take to load before validate gives up on it, in seconds.
constexpr int kLoadTimeoutSeconds = 60;

int runValidate(const ValidateOptions& options) {
    if (options.strictness < 1 || options.strictness > 10) {
        throw HostError("--strictness must be 1 to 10");
    }
    Subject subject;
    subject.path = options.plugin;
    subject.strictness = options.strictness;
    subject.seed = options.seed;
    subject.timeoutSeconds = options.timeoutSeconds;
    const auto started = std::chrono::steady_clock::now();
    const auto run = [&](const Check& check) {
        return options.inProcess ? runHere(check, subject) : runCheckInChild(check, subject);
    };

    std::printf("validating %s (strictness %d, seed %llu)\n", options.plugin.c_str(),
                options.strictness, static_cast<unsigned long long>(options.seed));
    const bool forceAnalyser = options.analyser;
    // Each format gets the checks of its interface. Telling which it is opens the file, so that
    // happens in the child too: the format's name and a line break lead the description.
    const Check describeCheck{"describe", [forceAnalyser](const Subject& subject) {
                                  const PluginFormat& format = pluginFormatOf(subject.path);
                                  const validation::CheckSuite* suite = checkSuiteOf(format);
                                  if (suite == nullptr) {
                                      throw HostError(std::string("validate has no checks for ") +
                                                      format.name + " plug-ins");
                                  }
                                  return format.name + std::string("\n") +
                                         suite->describe(subject, forceAnalyser);
                              }};
    // Loading is quick for any plug-in a host would keep: one that is still loading after a
    // minute gets its verdict then, not after the long checks' limit.
    subject.timeoutSeconds = std::min(options.timeoutSeconds, kLoadTimeoutSeconds);
    const Outcome described = run(describeCheck);
    subject.timeoutSeconds = options.timeoutSeconds;
    const size_t nameEnd = described.text.find('\n');
    const PluginFormat* format = described.status == 'P' && nameEnd != std::string::npos
                                     ? checkedFormatNamed(described.text.substr(0, nameEnd))
                                     : nullptr;
    if (format == nullptr || !parseDescription(described.text.substr(nameEnd + 1), subject)) {
        std::printf("FAIL  %-24s %s\n", "load", described.text.c_str());
        std::printf("summary: the plug-in could not be loaded; no further checks\n");
        return 1;
    }

    int passed = 0, failed = 0, skipped = 0;
    for (const auto& check : checkSuiteOf(*format)->checks()) {
        const auto begun = std::chrono::steady_clock::now();
        const Outcome outcome = run(check);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
        const char* label = outcome.status == 'P'   ? "PASS"
                            : outcome.status == 'S' ? "SKIP"
                                                    : "FAIL";
        (outcome.status == 'P' ? passed : outcome.status == 'S' ? skipped : failed)++;
        std::printf("%s  %-24s %s (%.1f s)\n", label, check.name, outcome.text.c_str(), seconds);
        std::fflush(stdout);
    }
    const double total =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("summary: %d passed, %d failed, %d skipped in %.1f s%s\n", passed, failed, skipped,
                total, failed > 0 ? " (rerun with the same --seed to repeat)" : "");
    return failed > 0 ? 1 : 0;
}

namespace {

class ValidateCommand : public Command {
  public:
    ValidateCommand()
        : Command("validate", "", "host-side robustness checks of a plug-in",
                  "Runs host-side robustness checks on the plug-in, one line per check, and exits\n"
                  "non-zero when one fails; each check runs in a child process of its own.\n") {
        options_.plugin = defaultPluginPath();
        path("--plugin", "PATH", "the plug-in (default: cqscope.so beside this program)",
             [this](const std::string& path) { options_.plugin = path; });
        value("--strictness", "1..10", "how long and how often each check runs (default 5)",
              [this](const std::string& text) {
                  options_.strictness = static_cast<int>(
                      parseWhole(text, 1, 10, "--strictness needs a whole number from 1 to 10"));
              });
        value("--seed", "N", "seeds every random signal and event list (default 1)",
              [this](const std::string& text) {
                  options_.seed = parseUnsigned(text, "--seed needs a non-negative whole number");
              });
        value("--timeout", "SECONDS",
              "a check still running after this fails (default 900; the load at most 60)",
              [this](const std::string& text) {
                  options_.timeoutSeconds = parseTimeoutSeconds(text);
              });
        flag("--analyser",
             "adds the analyser's own checks (bit-exact pass-through, Hold),\n"
             "which cqscope gets by itself",
             [this] { options_.analyser = true; });
        flag("--in-process", "runs the checks without child processes (for debuggers)",
             [this] { options_.inProcess = true; });
    }

  private:
    int run(const std::vector<std::string>& operands) override {
        if (!operands.empty()) throw UsageError("validate takes no file argument");
        return runValidate(options_);
    }

    ValidateOptions options_;
};

}  // namespace

std::unique_ptr<Command> makeValidateCommand() {
    return std::make_unique<ValidateCommand>();
}

}  // namespace cqhost
