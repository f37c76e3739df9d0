// The validator against an effect with known faults: each fault must fail the check that
// meets it, with a reason, while the validator itself survives and runs the other checks.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

struct Result {
    int status = -1;
    std::string output;
};

Result validate(const std::string& faults, const std::string& options = "--strictness 1") {
    const std::string command = "CQ_FAULTS='" + faults + "' '" + CQHOST_BINARY +
                                "' validate --plugin '" + FAULTY_PLUGIN + "' " + options + " 2>&1";
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
    Result run;
    const std::string command =
        std::string("'") + CQHOST_BINARY + "' validate --plugin /nonexistent/x.so 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) run.output.append(chunk, n);
    const int status = ::pclose(pipe);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(run.output.find("FAIL  load"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("No such file"), std::string::npos) << run.output;
}

}  // namespace
