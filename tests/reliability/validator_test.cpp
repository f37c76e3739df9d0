// The validator against an effect with known faults: each fault must fail the check that
// meets it, with a reason, while the validator itself survives and runs the other checks.
// probe and validate on files that crash or hang while they are opened: each ends in one line
// (and validate's summary), never with cqscope-host's own death.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Result {
    int status = -1;
    std::string output;
};

// cqscope-host with the words (quoted by the caller), stdout and stderr together.
Result host(const std::string& words, const std::string& faults = "") {
    const std::string command =
        "CQ_FAULTS='" + faults + "' '" + CQHOST_BINARY + "' " + words + " 2>&1";
    Result run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) run.output.append(chunk, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

Result validate(const std::string& faults, const std::string& options = "--strictness 1") {
    return host("validate --plugin '" + std::string(FAULTY_PLUGIN) + "' " + options, faults);
}

// The line that reports the named check.
std::string lineOf(const Result& run, const std::string& check) {
    size_t at = 0;
    while ((at = run.output.find(check, at)) != std::string::npos) {
        const size_t begin = run.output.rfind('\n', at) + 1;
        const size_t end = run.output.find('\n', at);
        const std::string line = run.output.substr(begin, end - begin);
        if (line.rfind("PASS", 0) == 0 || line.rfind("FAIL", 0) == 0 ||
            line.rfind("SKIP", 0) == 0) {
            return line;
        }
        at = end;
    }
    return "";
}

TEST(Validator, SoundEffectPassesWithEditorChecksSkipped) {
    const Result run = validate("");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("0 failed"), std::string::npos) << run.output;
    EXPECT_EQ(lineOf(run, "editor-cycles").rfind("SKIP", 0), 0u) << run.output;
    EXPECT_EQ(lineOf(run, "midi-floods").rfind("SKIP", 0), 0u) << run.output;
}

TEST(Validator, CrashFailsItsCheckNamesTheStepAndTheRestStillRun) {
    const Result run = validate("crash-on-name");
    EXPECT_EQ(run.status, 1) << run.output;
    const std::string opcodes = lineOf(run, "opcodes");
    EXPECT_EQ(opcodes.rfind("FAIL", 0), 0u) << run.output;
    // A plain build dies of the signal; a sanitizer build catches it and exits with a report.
    EXPECT_TRUE(opcodes.find("signal 11") != std::string::npos ||
                opcodes.find("without a result") != std::string::npos)
        << opcodes;
    EXPECT_NE(opcodes.find("during opcode 45"), std::string::npos) << opcodes;
    EXPECT_EQ(lineOf(run, "hostile-samples").rfind("PASS", 0), 0u) << run.output;
    EXPECT_NE(run.output.find("summary:"), std::string::npos) << run.output;
}

TEST(Validator, TextPastTheHostsBufferFails) {
    const Result run = validate("long-vendor");
    EXPECT_EQ(run.status, 1);
    const std::string opcodes = lineOf(run, "opcodes");
    EXPECT_EQ(opcodes.rfind("FAIL", 0), 0u) << run.output;
    EXPECT_NE(opcodes.find("opcode 47"), std::string::npos) << opcodes;
}

TEST(Validator, WritingPastTheBlockFailsTheAudioChecks) {
    const Result run = validate("past-block");
    EXPECT_EQ(run.status, 1);
    const std::string samples = lineOf(run, "hostile-samples");
    EXPECT_EQ(samples.rfind("FAIL", 0), 0u) << run.output;
    EXPECT_NE(samples.find("past the end of the block"), std::string::npos) << samples;
}

TEST(Validator, HangIsKilledAfterTheTimeout) {
    const Result run = validate("hang-on-resume", "--strictness 1 --timeout 1");
    EXPECT_EQ(run.status, 1);
    const std::string cycles = lineOf(run, "instantiate-cycles");
    EXPECT_NE(cycles.find("did not finish within 1 s"), std::string::npos) << run.output;
    EXPECT_EQ(lineOf(run, "load").rfind("PASS", 0), 0u) << run.output;
}

TEST(Validator, BadOptionsAreUsageErrors) {
    EXPECT_EQ(validate("", "--strictness 11").status, 2);
    EXPECT_EQ(validate("", "--strictness x").status, 2);
    EXPECT_EQ(validate("", "--seed -1").status, 2);
    EXPECT_EQ(validate("", "--timeout 0").status, 2);
}

TEST(Validator, MissingPluginFailsTheLoad) {
    const Result run = host("validate --plugin /nonexistent/x.so");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("FAIL  load"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("No such file"), std::string::npos) << run.output;
}

// The first 100000 bytes of `path`, in a file of the same suffix beside the test's others:
// the loader maps parts of it that are not there.
std::string truncatedCopy(const std::string& path) {
    const std::string suffix = path.substr(path.rfind('.'));
    const std::string copy = ::testing::TempDir() + "truncated" + suffix;
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes(100000);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    std::ofstream(copy, std::ios::binary).write(bytes.data(), in.gcount());
    return copy;
}

// The lines of the output, without their ends.
std::vector<std::string> lines(const std::string& output) {
    std::vector<std::string> all;
    size_t from = 0;
    while (from < output.size()) {
        const size_t end = output.find('\n', from);
        all.push_back(output.substr(from, end - from));
        if (end == std::string::npos) break;
        from = end + 1;
    }
    return all;
}

TEST(Isolation, TruncatedPluginsEndProbeAndValidateWithOneLine) {
    std::vector<std::string> plugins{CQSCOPE_PLUGIN};
#ifdef CQSCOPE_CLAP
    plugins.push_back(CQSCOPE_CLAP);
#endif
    for (const auto& original : plugins) {
        const std::string plugin = truncatedCopy(original);
        const Result probe = host("probe --plugin '" + plugin + "'");
        EXPECT_EQ(probe.status, 1) << probe.output;
        // A plain build dies of the signal; a sanitizer build reports it and exits.
        const auto said = lines(probe.output);
        ASSERT_FALSE(said.empty()) << plugin;
        EXPECT_EQ(said.back().rfind("cqscope-host: plug-in " + plugin, 0), 0u) << probe.output;
        if (said.back().find("without a result") == std::string::npos) {
            EXPECT_NE(said.back().find(" crashed while loading: signal 7 (Bus error)"),
                      std::string::npos);
            EXPECT_EQ(said.size(), 1u) << probe.output;
        }

        const Result validation = host("validate --plugin '" + plugin + "'");
        EXPECT_EQ(validation.status, 1) << validation.output;
        const auto told = lines(validation.output);
        ASSERT_GE(told.size(), 3u) << validation.output;
        EXPECT_EQ(told.front().rfind("validating " + plugin, 0), 0u) << validation.output;
        EXPECT_EQ(lineOf(validation, "load").rfind("FAIL", 0), 0u) << validation.output;
        EXPECT_EQ(told.back(), "summary: the plug-in could not be loaded; no further checks");
    }
}

TEST(Isolation, PluginThatHangsWhileLoadingIsKilledAfterTheTimeout) {
    const std::string plugin = FAULTY_PLUGIN;
    const Result probe = host("probe --timeout 1 --plugin '" + plugin + "'", "hang-on-load");
    EXPECT_EQ(probe.status, 1);
    EXPECT_EQ(probe.output,
              "cqscope-host: plug-in " + plugin + " did not finish loading within 1 s (killed)\n");

    const Result validation = validate("hang-on-load", "--timeout 1");
    EXPECT_EQ(validation.status, 1);
    EXPECT_EQ(lineOf(validation, "load"),
              "FAIL  load                     did not finish within 1 s (killed)")
        << validation.output;
    EXPECT_NE(validation.output.find("\nsummary: the plug-in could not be loaded"),
              std::string::npos)
        << validation.output;
}

}  // namespace
