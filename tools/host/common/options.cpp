// The commands' declarations handed to CLI11, their help, and the strict conversions.
#include "common/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "display/display_geometry.h"

namespace cqhost {

long long parseWhole(const std::string& text, long long low, long long high,
                     const std::string& message) {
    if (text.empty() || text.front() == ' ' || text.front() == '+') throw UsageError(message);
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || value < low || value > high) throw UsageError(message);
    return value;
}

unsigned long long parseUnsigned(const std::string& text, const std::string& message) {
    // strtoull takes "-1" as the largest number: a sign is refused before it reads.
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text.front()))) {
        throw UsageError(message);
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (*end != '\0' || errno != 0) throw UsageError(message);
    return value;
}

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

double parsePositiveSeconds(const std::string& option, const std::string& text,
                            const std::string& above) {
    const double seconds = parseSeconds(option, text);
    if (seconds <= 0.0) throw UsageError(option + " needs " + above);
    return seconds;
}

double parsePeriod(const std::string& option, const std::string& text) {
    constexpr double kShortestPeriod = 0.001;
    const double seconds = parseSeconds(option, text);
    if (seconds < kShortestPeriod) {
        throw UsageError(option + " needs a period of at least 0.001 s, not " + text);
    }
    return seconds;
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

int parsePeakCount(const std::string& text) {
    return static_cast<int>(parseWhole(text, 1, 960, "--peaks needs a whole number from 1 to 960"));
}

PointerAt parsePointer(const std::string& text) {
    const std::string message =
        "--pointer needs COLUMN[,ROW] within the display: a column from 0 to " +
        std::to_string(display::kWidth - 1) + " and a row from 0 to " +
        std::to_string(display::kHeight - 1) + ", not '" + text + "'";
    const std::size_t comma = text.find(',');
    PointerAt at;
    at.column =
        static_cast<int>(parseWhole(text.substr(0, comma), 0, display::kWidth - 1, message));
    at.row = comma == std::string::npos
                 ? display::kBarBaseRow / 2
                 : static_cast<int>(
                       parseWhole(text.substr(comma + 1), 0, display::kHeight - 1, message));
    return at;
}

int parseTimeoutSeconds(const std::string& text) {
    return static_cast<int>(
        parseWhole(text, 1, 86400, "--timeout needs a number of seconds from 1 to 86400"));
}

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

std::string indented(const std::string& text) {
    std::string result;
    bool lineStart = true;
    for (const char c : text) {
        if (lineStart && c != '\n') result += "  ";
        result += c;
        lineStart = c == '\n';
    }
    return result;
}

namespace {

// The option's name as written on the command line, "--plugin".
std::string longName(const CLI::Option& option) {
    return "--" + option.get_lnames().front();
}

bool isFlag(const CLI::Option& option) {
    return option.get_expected_max() == 0;
}

// The declared option a parser's message is about: its name leads the message, with or without
// its dashes ("--plugin: 1 required PATH missing", "json was given a disallowed flag override").
const CLI::Option* optionOfMessage(const CLI::App& parser, const std::string& message) {
    for (const CLI::Option* option : parser.get_options()) {
        if (!option->nonpositional()) continue;
        for (const std::string& name : {longName(*option), option->get_lnames().front()}) {
            if (message.compare(0, name.size(), name) == 0 &&
                (message.size() == name.size() || message[name.size()] == ':' ||
                 message[name.size()] == ' ')) {
                return option;
            }
        }
    }
    return nullptr;
}

}  // namespace

Command::Command(std::string name, std::string operands, std::string summary,
                 std::string description)
    : name_(std::move(name)),
      summary_(std::move(summary)),
      parser_(std::make_unique<CLI::App>(std::move(description), name_)) {
    // Help is asked for before a command parses (main.cpp), so the parser has no option of
    // its own; what it does not know is left for parse() to name.
    parser_->set_help_flag();
    parser_->allow_extras();
    parser_->add_option("operands", operands_)->type_name(std::move(operands));
    parser_->formatter(std::make_shared<CLI::FormatterLambda>(
        [this](const CLI::App*, const std::string&, CLI::AppFormatMode) { return helpText(); }));
}

Command::~Command() = default;

bool Command::answersTo(const std::string& word) const {
    return word == name_ || std::find(aliases_.begin(), aliases_.end(), word) != aliases_.end();
}

void Command::flag(std::string name, std::string help, std::function<void()> set) {
    parser_
        ->add_flag_function(
            name,
            [name, set = std::move(set)](std::int64_t count) {
                if (count > 1) throw UsageError(name + " is given twice");
                set();
            },
            std::move(help))
        ->disable_flag_override();
}

void Command::value(std::string name, std::string valueName, std::string help,
                    std::function<void(const std::string&)> set) {
    parser_
        ->add_option(
            name,
            [name, set = std::move(set)](const CLI::results_t& values) {
                if (values.size() > 1) throw UsageError(name + " is given twice");
                set(values.front());
                return true;
            },
            std::move(help))
        ->type_name(std::move(valueName))
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

void Command::path(std::string name, std::string valueName, std::string help,
                   std::function<void(const std::string&)> set) {
    value(name, std::move(valueName), std::move(help),
          [name, set = std::move(set)](const std::string& text) {
              if (text.empty()) throw UsageError(name + " needs a path, not an empty one");
              set(text);
          });
}

bool Command::given(const std::string& name) const {
    const CLI::Option* option = parser_->get_option_no_throw(name);
    return option != nullptr && option->count() > 0;
}

std::vector<std::string> Command::givenNames() const {
    std::vector<std::string> names;
    for (const CLI::Option* option : parser_->get_options()) {
        if (option->nonpositional() && option->count() > 0) names.push_back(longName(*option));
    }
    return names;
}

std::string Command::synopsis() const {
    constexpr size_t kWidth = 92;
    std::string text = "cqscope-host " + name_;
    const size_t indent = text.size() + 1;
    size_t lineStart = 0;
    std::vector<std::string> items;
    for (const CLI::Option* option : parser_->get_options()) {
        if (!option->nonpositional()) {
            if (!option->get_type_name().empty()) items.push_back(option->get_type_name());
            continue;
        }
        items.push_back("[" + longName(*option) + (isFlag(*option) ? "" : " ") +
                        (isFlag(*option) ? "" : option->get_type_name()) + "]");
    }
    for (const auto& item : items) {
        if (text.size() - lineStart + 1 + item.size() > kWidth) {
            text += "\n";
            lineStart = text.size();
            text += std::string(indent - 1, ' ');
        }
        text += " " + item;
    }
    return text + "\n";
}

std::string Command::help() const {
    return parser_->help();
}

std::string Command::helpText() const {
    std::string text = "usage:\n" + indented(synopsis()) + "\n" + parser_->get_description();
    const auto options =
        parser_->get_options([](const CLI::Option* o) { return o->nonpositional(); });
    if (options.empty()) return text;
    text += "\noptions:\n";
    constexpr size_t kColumn = 24;
    for (const CLI::Option* option : options) {
        std::string head = "  " + longName(*option);
        if (!isFlag(*option)) head += " " + option->get_type_name();
        head += head.size() + 2 > kColumn ? "\n" + std::string(kColumn, ' ')
                                          : std::string(kColumn - head.size(), ' ');
        // Continuation lines of the help line up under its first.
        std::string body;
        for (const char c : option->get_description()) {
            body += c;
            if (c == '\n') body += std::string(kColumn, ' ');
        }
        text += head + body + "\n";
    }
    return text;
}

int Command::main(const std::vector<std::string>& words) {
    try {
        parse(words);
        return run(operands_);
    } catch (UsageError& error) {
        if (error.command.empty()) error.command = name_;
        throw;
    }
}

void Command::parse(const std::vector<std::string>& words) {
    // The parser takes the words last first.
    std::vector<std::string> reversed(words.rbegin(), words.rend());
    try {
        parser_->parse(reversed);
    } catch (const CLI::ArgumentMismatch& error) {
        // A value missing after an option, or given to a flag.
        const CLI::Option* option = optionOfMessage(*parser_, error.what());
        if (option == nullptr) throw UsageError(error.what());
        throw UsageError(longName(*option) +
                         (isFlag(*option) ? " takes no value" : " needs a value"));
    } catch (const CLI::ParseError& error) {
        throw UsageError(error.what());
    }
    // What the parser left over is an option no one declared ("--" only ends the options).
    for (const std::string& word : parser_->remaining()) {
        if (word == "--") continue;
        throw UsageError("unknown option " + word.substr(0, word.find('=')));
    }
}

}  // namespace cqhost
