// The command-line parser every command of cqscope-host uses, and the strict conversions.
#include "options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

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

Command::Command(std::string name, std::string operands, std::string summary,
                 std::string description)
    : name_(std::move(name)),
      operands_(std::move(operands)),
      summary_(std::move(summary)),
      description_(std::move(description)) {}

bool Command::answersTo(const std::string& word) const {
    return word == name_ || std::find(aliases_.begin(), aliases_.end(), word) != aliases_.end();
}

void Command::flag(std::string name, std::string help, std::function<void()> set) {
    options_.push_back({std::move(name), "", std::move(help), std::move(set), nullptr});
}

void Command::value(std::string name, std::string valueName, std::string help,
                    std::function<void(const std::string&)> set) {
    options_.push_back(
        {std::move(name), std::move(valueName), std::move(help), nullptr, std::move(set)});
}

const Command::Option* Command::find(const std::string& name) const {
    for (const auto& option : options_) {
        if (option.name == name) return &option;
    }
    return nullptr;
}

bool Command::given(const std::string& name) const {
    return std::find(given_.begin(), given_.end(), name) != given_.end();
}

std::vector<std::string> Command::optionNames() const {
    std::vector<std::string> names;
    for (const auto& option : options_) names.push_back(option.name);
    return names;
}

std::string Command::synopsis() const {
    constexpr size_t kWidth = 92;
    std::string text = "cqscope-host " + name_;
    const size_t indent = text.size() + 1;
    size_t lineStart = 0;
    std::vector<std::string> items;
    if (!operands_.empty()) items.push_back(operands_);
    for (const auto& option : options_) {
        items.push_back("[" + option.name + (option.valueName.empty() ? "" : " ") +
                        option.valueName + "]");
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
    std::string text = "usage:\n" + indented(synopsis()) + "\n" + description_;
    if (options_.empty()) return text;
    text += "\noptions:\n";
    constexpr size_t kColumn = 24;
    for (const auto& option : options_) {
        std::string head = "  " + option.name;
        if (!option.valueName.empty()) head += " " + option.valueName;
        head += head.size() + 2 > kColumn ? "\n" + std::string(kColumn, ' ')
                                          : std::string(kColumn - head.size(), ' ');
        // Continuation lines of the help line up under its first.
        std::string body;
        for (const char c : option.help) {
            body += c;
            if (c == '\n') body += std::string(kColumn, ' ');
        }
        text += head + body + "\n";
    }
    return text;
}

int Command::main(const std::vector<std::string>& words) {
    try {
        return run(parse(words));
    } catch (UsageError& error) {
        if (error.command.empty()) error.command = name_;
        throw;
    }
}

std::vector<std::string> Command::parse(const std::vector<std::string>& words) {
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded || word.size() < 2 || word.compare(0, 2, "--") != 0) {
            operands.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        const auto equals = word.find('=');
        const std::string name = word.substr(0, equals);
        const Option* option = find(name);
        if (option == nullptr) throw UsageError("unknown option " + name);
        if (given(name)) throw UsageError(name + " is given twice");
        given_.push_back(name);
        if (option->setFlag) {
            if (equals != std::string::npos) throw UsageError(name + " takes no value");
            option->setFlag();
            continue;
        }
        if (equals != std::string::npos) {
            option->setValue(word.substr(equals + 1));
        } else if (i + 1 < words.size()) {
            option->setValue(words[++i]);
        } else {
            throw UsageError(name + " needs a value");
        }
    }
    return operands;
}

}  // namespace cqhost
