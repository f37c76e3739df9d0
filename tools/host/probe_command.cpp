// `cqscope-host probe`: its options and their checks; probe.cpp does the work.
#include "commands.h"
#include "options.h"

namespace cqhost {
namespace {

class ProbeCommand : public Command {
  public:
    ProbeCommand()
        : Command("probe", "", "what a host learns about a plug-in",
                  "Prints what a host learns about a plug-in: its record, names, parameters,\n"
                  "programs and what it can do.\n") {
        options_.plugin = defaultPluginPath();
        path("--plugin", "PATH", "the plug-in (default: cqscope.so beside this program)",
             [this](const std::string& path) { options_.plugin = path; });
        flag("--json", "as JSON", [this] { options_.json = true; });
    }

  private:
    int run(const std::vector<std::string>& operands) override {
        if (!operands.empty()) throw UsageError("probe takes no file argument");
        return runProbe(options_);
    }

    ProbeOptions options_;
};

}  // namespace

std::unique_ptr<Command> makeProbeCommand() {
    return std::make_unique<ProbeCommand>();
}

}  // namespace cqhost
