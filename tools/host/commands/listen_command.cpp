// `cqscope-host listen`: its options and their checks, the same whether this build has libjack
// (listen.cpp) or not (listen_none.cpp).
#include "common/commands.h"
#include "common/options.h"

namespace cqhost {
namespace {

class ListenCommand : public Command {
  public:
    ListenCommand()
        : Command("listen", "", "a live JACK analyser with the display in an X11 window",
                  "Analyses live JACK input: a JACK client (in_1, in_2 copied to out_1, out_2;\n"
                  "midi_in, whose held notes are striped) with the display in an X11 window;\n"
                  "without an X display (or with --no-window) it runs without one, --peaks and\n"
                  "--picture as ever. Stops on Ctrl-C, when the window is closed or after\n"
                  "--seconds.\n") {
        value("--name", "NAME", "the JACK client's name (default cqscope)",
              [this](const std::string& name) {
                  if (name.empty()) throw UsageError("--name needs a client name");
                  options_.name = name;
              });
        value("--connect", "PORT[,PORT]", "connects these ports to both audio inputs",
              [this](const std::string& ports) { options_.audioSources = splitList(ports); });
        value("--connect-midi", "PORT[,PORT]", "connects these ports to the MIDI input",
              [this](const std::string& ports) { options_.midiSources = splitList(ports); });
        value("--peaks", "N",
              "prints the N strongest peaks of each refresh (note, cents, Hz)\non stderr",
              [this](const std::string& text) { options_.peaks = parsePeakCount(text); });
        value("--seconds", "S", "stops after S seconds", [this](const std::string& text) {
            options_.seconds = parsePositiveSeconds("--seconds", text, "a time above 0");
        });
        path("--picture", "FILE.png", "writes the display's last picture at the end",
             [this](const std::string& file) { options_.picture = file; });
        flag("--no-window", "no window, even where an X display is reachable",
             [this] { options_.noWindow = true; });
    }

  private:
    int run(const std::vector<std::string>& operands) override {
        if (!operands.empty()) throw UsageError("listen takes no file argument");
        return runListen(options_);
    }

    ListenOptions options_;
};

}  // namespace

std::unique_ptr<Command> makeListenCommand() {
    return std::make_unique<ListenCommand>();
}

}  // namespace cqhost
