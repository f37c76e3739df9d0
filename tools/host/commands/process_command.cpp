// `cqscope-host process`: its options and their checks; process.cpp does the work.
#include "common/commands.h"
#include "common/options.h"

namespace cqhost {
namespace {

class ProcessCommand : public Command {
  public:
    ProcessCommand()
        : Command("process", "IN OUT", "IN through the plug-in into OUT",
                  "Runs IN through the plug-in and writes OUT in the format of IN.\n") {
        path("--plugin", "PATH", "the plug-in (required)",
             [this](const std::string& path) { options_.plugin = path; });
    }

  private:
    int run(const std::vector<std::string>& operands) override {
        if (operands.size() != 2) throw UsageError("process needs an input and an output file");
        if (options_.plugin.empty()) throw UsageError("process needs --plugin PATH");
        if (operands[0].empty() || operands[1].empty()) {
            throw UsageError("process needs an input and an output file, not an empty path");
        }
        options_.input = operands[0];
        options_.output = operands[1];
        return runProcess(options_);
    }

    ProcessOptions options_;
};

}  // namespace

std::unique_ptr<Command> makeProcessCommand() {
    return std::make_unique<ProcessCommand>();
}

}  // namespace cqhost
