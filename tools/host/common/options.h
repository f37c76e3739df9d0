// cqscope-host's command line: each command is a Command that declares its own options (name,
// value, help line and what the value sets) beside its code. The declarations go to a CLI11
// parser, which reads the arguments, and the same declarations print `cqscope-host COMMAND
// --help`, so the help cannot drift from what is accepted. Also the strict conversions of
// option values. Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/commands.h"
#include "common/host_error.h"

namespace CLI {
class App;
}

namespace cqhost {

// A mistake in the command line itself: main() prints it with a pointer to the command's help
// and exits 2.
class UsageError : public HostError {
  public:
    using HostError::HostError;
    std::string command;  // the command whose help the message points to; empty: the top level
};

// A whole number in [low, high], the whole text consumed; otherwise UsageError(message).
long long parseWhole(const std::string& text, long long low, long long high,
                     const std::string& message);
// A non-negative whole number of 64 bits (no sign); otherwise UsageError(message).
unsigned long long parseUnsigned(const std::string& text, const std::string& message);
// A finite, non-negative number; `what` names it in messages ("a time in seconds").
double parseNumber(const std::string& option, const std::string& text, const std::string& what);
double parseSeconds(const std::string& option, const std::string& text);
// As parseSeconds, and above 0; otherwise UsageError(option + " needs " + above).
double parsePositiveSeconds(const std::string& option, const std::string& text,
                            const std::string& above);
// A period of repeated work (--every): at least 1 ms, so that a slip of the finger cannot ask
// for millions of outputs; otherwise UsageError.
double parsePeriod(const std::string& option, const std::string& text);
// "T[,T...]" as times in seconds.
std::vector<double> parseTimeList(const std::string& option, const std::string& text);
// --peaks N: a whole number from 1 to 960.
int parsePeakCount(const std::string& text);
// --pointer COLUMN[,ROW]: a point of the display's picture (ROW defaults to the middle of
// the bars' area); otherwise UsageError.
PointerAt parsePointer(const std::string& text);
// --timeout SECONDS: a whole number from 1 to 86400.
int parseTimeoutSeconds(const std::string& text);
// "a,b" as {"a", "b"}; empty items are left out.
std::vector<std::string> splitList(const std::string& text);

// Each line of `text` indented by two spaces.
std::string indented(const std::string& text);

class Command {
  public:
    // `operands` as the synopsis shows them ("[AUDIO]", "IN OUT"); `summary` is one line for
    // the top-level help, `description` the paragraph of the command's own help.
    Command(std::string name, std::string operands, std::string summary, std::string description);
    virtual ~Command();
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;

    const std::string& name() const { return name_; }
    const std::string& summary() const { return summary_; }
    bool answersTo(const std::string& word) const;
    // "cqscope-host NAME OPERANDS [--option VALUE]...", wrapped below 92 columns.
    std::string synopsis() const;
    // The synopsis, the description and one line per option.
    std::string help() const;

    // Parses the words after the command's name (options as --name VALUE or --name=VALUE, in
    // any order among the operands; "--" ends the options) and runs the command. A bad or
    // unknown option, a missing value, a value given to a flag and an option given twice each
    // throw UsageError naming the option.
    int main(const std::vector<std::string>& words);

  protected:
    void alias(std::string other) { aliases_.push_back(std::move(other)); }
    void flag(std::string name, std::string help, std::function<void()> set);
    void value(std::string name, std::string valueName, std::string help,
               std::function<void(const std::string&)> set);
    // An option whose value is a path: as value(), and an empty one is a UsageError.
    void path(std::string name, std::string valueName, std::string help,
              std::function<void(const std::string&)> set);
    // Whether an option was given on this command line.
    bool given(const std::string& name) const;
    // The options given on this command line, in the order they are declared.
    std::vector<std::string> givenNames() const;
    virtual int run(const std::vector<std::string>& operands) = 0;

  private:
    // The help: the synopsis, the description and one line per option (the parser's format).
    std::string helpText() const;
    // Reads `words` into the declared options (their setters run) and the operands; throws
    // UsageError for what the parser refuses.
    void parse(const std::vector<std::string>& words);

    std::string name_, summary_;
    std::vector<std::string> aliases_;
    std::vector<std::string> operands_;  // the words that are not options, in order
    std::unique_ptr<CLI::App> parser_;   // the declared options and the operands
};

// Each command, declared in its own file.
std::unique_ptr<Command> makeRenderCommand();
std::unique_ptr<Command> makeAnalyseCommand();
std::unique_ptr<Command> makeWatchCommand();
std::unique_ptr<Command> makeListenCommand();
std::unique_ptr<Command> makeProbeCommand();
std::unique_ptr<Command> makeProcessCommand();
std::unique_ptr<Command> makeValidateCommand();

}  // namespace cqhost
