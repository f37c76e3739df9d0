// cqscope-host's help is generated from each command's declared options: each command's help
// lists exactly the options the command accepts (it names none of another command's), the
// command reference and the manual page follow the help's synopses, numbers are read whole and in
// range, and a mistake in the form of an option (no value, a value for a flag, twice, unknown)
// names it.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <set>

#include "host_test_support.h"

namespace cqhost_test {
namespace {

std::set<std::string> optionsIn(const std::string& text) {
    static const std::regex option("--[a-z0-9][a-z0-9-]*");
    std::set<std::string> names;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
         it != std::sregex_iterator(); ++it) {
        names.insert(it->str());
    }
    return names;
}

// The synopsis lines of the top-level help, without their indent, as the README shows them.
std::string synopses(const std::string& help) {
    const auto from = help.find("usage:\n");
    const auto to = help.find("\n\n");
    EXPECT_NE(from, std::string::npos) << help;
    std::string text;
    size_t line = from + 7;
    while (line < to) {
        const size_t end = help.find('\n', line);
        text += help.substr(line + 2, end - line - 2) + "\n";
        line = end + 1;
    }
    return text;
}

std::vector<std::string> commandsIn(const std::string& synopsisLines) {
    static const std::regex command("^cqscope-host ([a-z]+)");
    std::vector<std::string> names;
    std::smatch match;
    size_t line = 0;
    while (line < synopsisLines.size()) {
        const size_t end = synopsisLines.find('\n', line);
        const std::string text = synopsisLines.substr(line, end - line);
        if (std::regex_search(text, match, command)) names.push_back(match[1]);
        line = end + 1;
    }
    return names;
}

TEST(HostHelp, EachCommandsHelpListsExactlyTheOptionsItAccepts) {
    const RunResult top = runHost({"--help"});
    ASSERT_EQ(top.status, 0) << top.err;
    const auto commands = commandsIn(synopses(top.out));
    ASSERT_EQ(commands.size(), 7u) << top.out;
    std::map<std::string, std::set<std::string>> listed;
    std::set<std::string> every;
    for (const auto& command : commands) {
        const RunResult help = runHost({command, "--help"});
        ASSERT_EQ(help.status, 0) << command;
        EXPECT_EQ(help.out.rfind("usage:\n  cqscope-host " + command + " ", 0), 0u) << help.out;
        listed[command] = optionsIn(help.out);
        EXPECT_FALSE(listed[command].empty()) << help.out;
        every.insert(listed[command].begin(), listed[command].end());
        // `help COMMAND` says the same.
        EXPECT_EQ(runHost({"help", command}).out, help.out);
    }
    // Every option of any command, given to each command before an unknown one: a command
    // that accepts it reads it (or refuses its value) and stops at the unknown option; one
    // that does not names it. Nothing runs: every line ends in a usage error.
    for (const auto& command : commands) {
        for (const auto& option : every) {
            const RunResult run = runHost({command, option + "=1", "--not-an-option"});
            EXPECT_EQ(run.status, 2) << command << " " << option << ": " << run.err;
            const bool refused =
                run.err.find("unknown option " + option + " (") != std::string::npos;
            EXPECT_EQ(refused, listed[command].count(option) == 0)
                << command << " " << option << ": " << run.err;
        }
    }
}

// The command reference opens with the help's synopses, and the manual page's synopsis names
// the same commands with the same options (a new option cannot miss either).
TEST(HostHelp, CommandReferenceAndManualPageFollowTheHelp) {
    const RunResult top = runHost({"--help"});
    ASSERT_EQ(top.status, 0);
    const std::string reference = fileBytes(CQHOST_REFERENCE);
    const std::string heading = "# cqscope-host\n\n```\n";
    const auto from = reference.find(heading);
    ASSERT_NE(from, std::string::npos);
    const auto begin = from + heading.size();
    const auto end = reference.find("```\n", begin);
    const std::string lines = synopses(top.out);
    EXPECT_EQ(reference.substr(begin, end - begin), lines);

    // The manual's synopsis: one ".B cqscope-host COMMAND" line per command, followed by its
    // options, roff-escaped ("\fB\-\-plugin\fR").
    const std::string manual = fileBytes(CQHOST_MANUAL);
    const auto synopsis = manual.find(".SH SYNOPSIS\n");
    const auto description = manual.find(".SH DESCRIPTION\n");
    ASSERT_NE(synopsis, std::string::npos);
    ASSERT_NE(description, std::string::npos);
    std::map<std::string, std::set<std::string>> inManual;
    const std::regex command(R"(\.B cqscope-host ([a-z]+))");
    const std::regex option(R"(\\-\\-((?:[a-z0-9]|\\-)+))");
    std::string current;
    std::istringstream text(manual.substr(synopsis, description - synopsis));
    for (std::string line; std::getline(text, line);) {
        std::smatch match;
        // "\-\-version" and "\-\-help" stand alone, after no command.
        if (line.rfind(".B cqscope-host", 0) == 0) {
            current = std::regex_search(line, match, command) ? match[1].str() : "";
        }
        for (auto it = std::sregex_iterator(line.begin(), line.end(), option);
             it != std::sregex_iterator(); ++it) {
            const std::string name = std::regex_replace((*it)[1].str(), std::regex(R"(\\-)"), "-");
            if (!current.empty()) inManual[current].insert("--" + name);
        }
    }
    std::map<std::string, std::set<std::string>> inHelp;
    current.clear();
    std::istringstream help(lines);
    for (std::string line; std::getline(help, line);) {
        std::smatch match;
        if (std::regex_search(line, match, std::regex("^cqscope-host ([a-z]+)"))) {
            current = match[1];
        }
        const auto names = optionsIn(line);
        inHelp[current].insert(names.begin(), names.end());
    }
    EXPECT_EQ(inManual, inHelp);
}

TEST(HostOptions, NumbersAreReadWholeAndInRange) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases{
        {{"render", "--threads", "4x"}, "--threads needs a whole number from 1 to 64"},
        {{"render", "--threads", " 4"}, "--threads needs"},
        {{"render", "--threads", "99999999999999999999"}, "--threads needs"},
        {{"render", "--threads", "0"}, "--threads needs"},
        {{"render", "--fps", "nan"}, "--fps: 'nan' is not a number of frames per second"},
        {{"render", "--every", "1e999"}, "--every: '1e999' is not a time in seconds"},
        {{"render", "--every", "0"}, "--every needs a period of at least 0.001 s"},
        {{"analyse", "in.wav", "--peaks", "961"}, "--peaks needs a whole number from 1 to 960"},
        {{"listen", "--seconds", ""}, "--seconds needs a time in seconds"},
        {{"validate", "--strictness", "5.0"}, "--strictness needs a whole number from 1 to 10"},
        {{"validate", "--seed", "18446744073709551616"}, "--seed needs a non-negative"},
        {{"validate", "--seed", "+1"}, "--seed needs a non-negative"},
        {{"validate", "--timeout", "86401"}, "--timeout needs a number of seconds"},
        {{"probe", "--json=yes"}, "--json takes no value"},
        {{"probe", "--plugin", "a", "--plugin", "b"}, "--plugin is given twice"},
        {{"watch", "--plugin"}, "--plugin needs a value"},
    };
    for (const auto& c : cases) {
        const RunResult run = runHost(c.args);
        EXPECT_EQ(run.status, 2) << c.message << ": " << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

TEST(HostOptions, EachMistakeInTheFormOfAnOptionNamesIt) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"probe", "--plugin="}, "--plugin needs a value"},
        {{"render", "--x11", "--x11"}, "--x11 is given twice"},
        {{"analyse", "in.wav", "--out=a.csv", "--out", "b.csv"}, "--out is given twice"},
        {{"render", "-x"}, "unknown option -x"},
        {{"validate", "--seed=1", "--analyser=no"}, "--analyser takes no value"},
    };
    for (const auto& [args, message] : cases) {
        const RunResult run = runHost(args);
        EXPECT_EQ(run.status, 2) << message << ": " << run.err;
        EXPECT_NE(run.err.find("cqscope-host: " + message + " ("), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    // After "--" every word is an operand, even one that starts with a dash.
    const RunResult run = runHost({"render", "--", "-x"});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("-x"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace cqhost_test
