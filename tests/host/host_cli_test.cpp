// probe, process and every kind of bad input, through the built cqscope-host.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "display/display_geometry.h"
#include "host_test_support.h"

namespace cqhost_test {
namespace {

int lineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST(HostProbe, ReportsCqscopeRecordAndAnswers) {
    if (cqscopePlugin().empty()) GTEST_SKIP() << "cqscope.so is not built";
    const RunResult probe = runHost({"probe", "--json", "--plugin", cqscopePlugin()});
    ASSERT_EQ(probe.status, 0) << probe.err;
    for (const char* expected :
         {"\"magic\": 1450406992", "\"uniqueID\": 1685141811", "\"uniqueIDText\": \"dq93\"",
          "\"version\": 1", "\"numPrograms\": 1", "\"numParams\": 0", "\"numInputs\": 2",
          "\"numOutputs\": 2", "\"identity\": 1316373862", "\"vstVersion\": 2400",
          "\"midiInputChannels\": 1", "\"midiOutputChannels\": 0", "\"receiveVstMidiEvent\": 1",
          "\"wantMidi\": 1"}) {
        EXPECT_NE(probe.out.find(expected), std::string::npos) << expected << "\n" << probe.out;
    }
    if (cqscopeHasEditor()) {
        const std::string size = "\"width\": " + std::to_string(display::kWidth) +
                                 ", \"height\": " + std::to_string(display::kHeight);
        EXPECT_NE(probe.out.find(size), std::string::npos);
    }
    // The default plug-in is cqscope.so beside the program.
    const RunResult byDefault = runHost({"probe"});
    EXPECT_EQ(byDefault.status, 0) << byDefault.err;
    EXPECT_NE(byDefault.out.find("'dq93'"), std::string::npos) << byDefault.out;
}

TEST(HostProbe, ReportsThirdPartyStereoEffect) {
    if (lspStereoPlugin().empty()) GTEST_SKIP() << "lsp-plugins-vst is not installed";
    const RunResult probe = runHost({"probe", "--plugin", lspStereoPlugin()}, ".", true);
    ASSERT_EQ(probe.status, 0) << probe.err;
    EXPECT_NE(probe.out.find("magic:            0x56737450 'VstP'"), std::string::npos);
    EXPECT_NE(probe.out.find("inputs/outputs:   2 / 2"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("identity:         0x4E764566 'NvEf'"), std::string::npos);
    EXPECT_NE(probe.out.find("VST version:      2400"), std::string::npos);
    EXPECT_NE(probe.out.find("effect name:      Delay Compensator Stereo"), std::string::npos);
}

TEST(HostProbe, FallsBackToMainEntry) {
    const RunResult probe = runHost({"probe", "--plugin", CQHOST_FIXTURE_GAIN});
    ASSERT_EQ(probe.status, 0) << probe.err;
    EXPECT_NE(probe.out.find("(entry main)"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("effect name:      Fixture Gain"), std::string::npos);
    EXPECT_NE(probe.out.find("editor:           none"), std::string::npos);
}

TEST(HostProcess, RoutesChannelsAndKeepsFormat) {
    ScratchDir dir;
    // Stereo float WAV: the fixture halves the left channel and quarters the right one.
    const auto stereo = sine(440.0, 48000, 0.3, 2);
    std::vector<float> input = stereo;
    for (size_t i = 1; i < input.size(); i += 2) input[i] = -input[i];
    writeAudio(dir.file("in.wav"), input, 2, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    RunResult run = runHost(
        {"process", "--plugin", CQHOST_FIXTURE_GAIN, dir.file("in.wav"), dir.file("out.wav")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    Audio out = readAudio(dir.file("out.wav"));
    EXPECT_EQ(out.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(out.sampleRate, 48000);
    ASSERT_EQ(out.samples.size(), input.size());
    for (size_t i = 0; i < input.size(); i += 2) {
        ASSERT_EQ(out.samples[i], 0.5f * input[i]) << i;
        ASSERT_EQ(out.samples[i + 1], 0.25f * input[i + 1]) << i;
    }

    // Mono FLAC of an odd length (not a whole number of blocks): both inputs get the file,
    // the file gets the first output.
    const auto mono = sine(1000.0, 44100, 0.25, 1);
    writeAudio(dir.file("in.flac"), mono, 1, 44100, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    run = runHost(
        {"process", "--plugin", CQHOST_FIXTURE_GAIN, dir.file("in.flac"), dir.file("out.flac")});
    ASSERT_EQ(run.status, 0) << run.err;
    const Audio in = readAudio(dir.file("in.flac"));
    out = readAudio(dir.file("out.flac"));
    EXPECT_EQ(out.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    EXPECT_EQ(out.channels, 1);
    ASSERT_EQ(out.samples.size(), in.samples.size());
    for (size_t i = 0; i < in.samples.size(); ++i) {
        ASSERT_NEAR(out.samples[i], 0.5f * in.samples[i], 1.0f / 32768) << i;
    }
    EXPECT_EQ(dir.entries(),
              (std::vector<std::string>{"in.flac", "in.wav", "out.flac", "out.wav"}));
}

TEST(HostProcess, ThroughThirdPartyAndCqscopeEffects) {
    ScratchDir dir;
    writeAudio(dir.file("in.wav"), sine(440.0, 44100, 1.0, 2), 2, 44100);
    const Audio input = readAudio(dir.file("in.wav"));
    // The analyser passes audio through untouched; a delay compensator at its default of no
    // delay does too, within one step of 16-bit rounding.
    const std::vector<std::pair<std::string, float>> plugins = {{cqscopePlugin(), 0.0f},
                                                                {lspStereoPlugin(), 1.5f / 32768}};
    for (const auto& [plugin, tolerance] : plugins) {
        if (plugin.empty()) continue;
        const RunResult run =
            runHost({"process", "--plugin", plugin, dir.file("in.wav"), dir.file("out.wav")}, ".",
                    plugin == lspStereoPlugin());
        ASSERT_EQ(run.status, 0) << plugin << ": " << run.err;
        const Audio output = readAudio(dir.file("out.wav"));
        EXPECT_EQ(output.format, input.format) << plugin;
        ASSERT_EQ(output.samples.size(), input.samples.size()) << plugin;
        float largestDifference = 0.0f;
        for (size_t i = 0; i < input.samples.size(); ++i) {
            largestDifference =
                std::max(largestDifference, std::abs(output.samples[i] - input.samples[i]));
        }
        EXPECT_LE(largestDifference, tolerance) << plugin;
    }
}

struct BadInputCase {
    const char* name;
    std::vector<std::string> args;  // "@dir/" is replaced by the scratch folder
    const char* expectedMessage;
};

TEST(HostBadInput, OneLineNonZeroExitAndNoOutput) {
    ScratchDir dir;
    writeAudio(dir.file("in.wav"), sine(440.0, 44100, 0.5, 2), 2, 44100);
    writeAudio(dir.file("quad.wav"), sine(440.0, 44100, 0.1, 4), 4, 44100);
    writeFile(dir.file("text.txt"), "not audio, not MIDI\n");
    writeFile(dir.file("empty.mid"), "");
    const std::string song = midiFile(0, 480, {midiTrack({{0, "\x90\x3C\x64"}})});
    writeFile(dir.file("cut.mid"), song.substr(0, song.size() - 3));
    const std::string gain = CQHOST_FIXTURE_GAIN;
    const std::vector<BadInputCase> cases = {
        {"missing audio",
         {"process", "--plugin", gain, "@dir/none.wav", "@dir/out.wav"},
         "none.wav: No such file"},
        {"text as audio",
         {"process", "--plugin", gain, "@dir/text.txt", "@dir/out.wav"},
         "as audio"},
        {"four channels",
         {"process", "--plugin", gain, "@dir/quad.wav", "@dir/out.wav"},
         "4 channels"},
        {"missing plug-in",
         {"process", "--plugin", "@dir/none.so", "@dir/in.wav", "@dir/out.wav"},
         "none.so: No such file"},
        {"not a library",
         {"process", "--plugin", "@dir/in.wav", "@dir/in.wav", "@dir/out.wav"},
         "cannot load plug-in"},
        {"no entry",
         {"process", "--plugin", CQHOST_FIXTURE_NO_ENTRY, "@dir/in.wav", "@dir/out.wav"},
         "exports neither VSTPluginMain nor main"},
        {"null entry",
         {"process", "--plugin", CQHOST_FIXTURE_NULL, "@dir/in.wav", "@dir/out.wav"},
         "returned no effect"},
        {"output folder missing",
         {"process", "--plugin", gain, "@dir/in.wav", "@dir/no/out.wav"},
         "cannot write"},
        {"output is a folder", {"process", "--plugin", gain, "@dir/in.wav", "@dir"}, "folder"},
        {"render to a missing folder",
         {"render", "@dir/in.wav", "--plugin", gain, "--out", "@dir/no/out.png"},
         "cannot write"},
        {"pictures into a file",
         {"render", "@dir/in.wav", "--plugin", gain, "--every", "0.1", "--out", "@dir/in.wav"},
         "not a folder"},
        {"render without editor",
         {"render", "@dir/in.wav", "--plugin", gain, "--out", "@dir/out.png"},
         "has no editor"},
        {"time beyond the end",
         {"render", "@dir/in.wav", "--plugin", gain, "--at", "0.2,0.7", "--out", "@dir/out.png"},
         "beyond the end"},
        {"hold beyond the end",
         {"render", "@dir/in.wav", "--plugin", gain, "--hold-at", "9", "--out", "@dir/out.png"},
         "beyond the end"},
        {"period beyond the end",
         {"render", "@dir/in.wav", "--plugin", gain, "--every", "2", "--out", "@dir/frames"},
         "longer than the audio"},
        {"missing MIDI",
         {"render", "@dir/in.wav", "--plugin", gain, "--midi", "@dir/none.mid", "--out",
          "@dir/out.png"},
         "none.mid: No such file"},
        {"text as MIDI",
         {"render", "@dir/in.wav", "--plugin", gain, "--midi", "@dir/text.txt", "--out",
          "@dir/out.png"},
         "not a Standard MIDI File"},
        {"empty MIDI",
         {"render", "@dir/in.wav", "--plugin", gain, "--midi", "@dir/empty.mid", "--out",
          "@dir/out.png"},
         "not a Standard MIDI File"},
        {"damaged MIDI",
         {"render", "@dir/in.wav", "--plugin", gain, "--midi", "@dir/cut.mid", "--out",
          "@dir/out.png"},
         "cut.mid is damaged at byte 22: chunk \"MTrk\" of 8 bytes runs past the end"},
        {"analyse: text as audio",
         {"analyse", "@dir/text.txt", "--out", "@dir/out.csv"},
         "as audio"},
        {"analyse: text as MIDI",
         {"analyse", "@dir/in.wav", "--midi", "@dir/text.txt", "--out", "@dir/out.npy"},
         "not a Standard MIDI File"},
        {"analyse: damaged MIDI",
         {"analyse", "@dir/in.wav", "--midi", "@dir/cut.mid", "--out", "@dir/out.csv"},
         "cut.mid is damaged at byte 22"},
        {"analyse: period beyond the end",
         {"analyse", "@dir/in.wav", "--every", "2", "--out", "@dir/out.json"},
         "shorter than one period"},
        {"analyse: readout to a missing folder",
         {"analyse", "@dir/in.wav", "--peaks", "3", "--peaks-out", "@dir/no/p.txt", "--out",
          "@dir/out.csv"},
         "cannot write"},
        {"peaks: not a count", {"analyse", "@dir/in.wav", "--peaks", "0"}, "--peaks needs"},
        {"analyse: one --out for several files",
         {"analyse", "@dir/in.wav", "@dir/in.wav", "--out", "@dir/out.csv"},
         "use --out-dir"},
        {"analyse: unknown --type", {"analyse", "@dir/in.wav", "--type", "xml"}, "--type needs"},
        {"analyse: one MIDI file for several",
         {"analyse", "@dir/in.wav", "@dir/text.txt", "--midi", "@dir/text.txt", "--out-dir",
          "@dir"},
         "--midi goes with one audio file"},
        {"analyse: --out-dir is a file",
         {"analyse", "@dir/in.wav", "@dir/text.txt", "--out-dir", "@dir/text.txt"},
         "is not a folder"},
        {"bad time", {"render", "--at", "1s", "--out", "@dir/out.png"}, "not a time"},
        {"negative time", {"render", "--at", "-1", "--out", "@dir/out.png"}, "negative"},
        {"at with every", {"render", "--at", "1", "--every", "1"}, "cannot be used together"},
        {"unknown option", {"probe", "--bogus"}, "unknown option --bogus"},
        {"process without plug-in", {"process", "@dir/in.wav", "@dir/out.wav"}, "--plugin"},
        {"unknown command", {"play"}, "unknown command"},
    };
    const auto before = dir.entries();
    for (const auto& testCase : cases) {
        std::vector<std::string> args;
        for (std::string arg : testCase.args) {
            if (arg.rfind("@dir", 0) == 0) arg = dir.path() + arg.substr(4);
            args.push_back(arg);
        }
        const RunResult run = runHost(args);
        EXPECT_NE(run.status, 0) << testCase.name;
        EXPECT_EQ(lineCount(run.err), 1) << testCase.name << ": " << run.err;
        EXPECT_EQ(run.err.rfind("cqscope-host: ", 0), 0u) << testCase.name << ": " << run.err;
        EXPECT_NE(run.err.find(testCase.expectedMessage), std::string::npos)
            << testCase.name << ": " << run.err;
        EXPECT_EQ(run.out, "") << testCase.name;
        // Nothing written, no temporary left behind.
        EXPECT_EQ(dir.entries(), before) << testCase.name;
    }
}

TEST(HostBadInput, FailedRunLeavesExistingOutputUntouched) {
    ScratchDir dir;
    writeAudio(dir.file("in.wav"), sine(440.0, 44100, 0.2, 2), 2, 44100);
    writeFile(dir.file("out.wav"), "previous result");
    const RunResult run = runHost(
        {"process", "--plugin", CQHOST_FIXTURE_NULL, dir.file("in.wav"), dir.file("out.wav")});
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(fileBytes(dir.file("out.wav")), "previous result");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.wav", "out.wav"}));
}

// Mistakes in the command line itself exit 2, whatever part of the program finds them, with
// one line and nothing written.
TEST(HostBadInput, UsageMistakesExitTwo) {
    ScratchDir dir;
    writeAudio(dir.file("in.wav"), sine(440.0, 44100, 0.5, 2), 2, 44100);
    const std::string gain = CQHOST_FIXTURE_GAIN;
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"render", "@dir/in.wav", "--out", "@dir/v.mp4", "--fps", "100000"}, "from 1 to 240"},
        {{"render", "@dir/in.wav", "--out", "@dir/v.mp4", "--fps", "0.5"}, "from 1 to 240"},
        {{"render", "@dir/in.wav", "--out", ""}, "--out needs a path"},
        {{"render", "@dir/in.wav", "--lossless", "--out", "@dir/v.mp4"}, "needs a .mkv"},
        {{"render", "@dir/in.wav", "--every", "0.0000001", "--out", "@dir/f"}, "at least 0.001"},
        {{"analyse", "@dir/in.wav", "--every", "0.0009"}, "at least 0.001"},
        {{"analyse", "@dir/in.wav", "--peaks", "3", "--peaks-out", ""}, "--peaks-out needs a"},
        {{"process", "--plugin", gain, "@dir/in.wav", ""}, "not an empty path"},
        {{"probe", "--plugin", ""}, "--plugin needs a path"},
        {{"analyse", ""}, "not an empty path"},
        {{"analyse", "@dir/in.wav", "--out", "@dir/out.xyz"}, "unknown data type '.xyz'"},
        {{"analyse", "@dir/in.wav", "--peaks", "3", "--peaks-out", "@dir/p.csv", "--out",
          "@dir/p.csv"},
         "name the same file"},
    };
    for (const auto& [words, message] : cases) {
        std::vector<std::string> args;
        for (std::string arg : words) {
            if (arg.rfind("@dir", 0) == 0) arg = dir.path() + arg.substr(4);
            args.push_back(arg);
        }
        const RunResult run = runHost(args, dir.path());
        EXPECT_EQ(run.status, 2) << message << ": " << run.err;
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        EXPECT_EQ(lineCount(run.err), 1) << run.err;
        EXPECT_EQ(run.out, "") << message;
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"in.wav"}) << message;
    }
    // A number far beyond any audio is written as a number, not as 300 digits.
    const RunResult huge = runHost({"analyse", dir.file("in.wav"), "--every", "1e308"}, dir.path());
    EXPECT_EQ(huge.status, 1);
    EXPECT_NE(huge.err.find("(1e+308 s)"), std::string::npos) << huge.err;
    EXPECT_LT(huge.err.size(), 200u) << huge.err;
}

// A WAV whose header promises more than the file holds is read as far as it goes, by every
// command that reads audio, with one warning line that says how much is missing.
TEST(HostBadInput, TruncatedWavIsReadWithOneWarning) {
    ScratchDir dir;
    writeAudio(dir.file("whole.wav"), sine(440.0, 44100, 1.0, 1), 1, 44100);
    const std::string whole = fileBytes(dir.file("whole.wav"));
    // 16-bit mono: half the data is 0.5 s.
    const size_t dataBytes = 44100 * 2;
    writeFile(dir.file("cut.wav"), whole.substr(0, whole.size() - dataBytes / 2));
    const std::string warning =
        "cqscope-host: warning: " + dir.file("cut.wav") +
        " is cut short: its header promises 1.000 s (44100 frames) of audio but the file holds "
        "0.500 s (22050 frames); going on with what is there\n";
    std::vector<std::vector<std::string>> commands = {
        {"analyse", dir.file("cut.wav"), "--out", dir.file("cut.csv")},
        {"process", "--plugin", CQHOST_FIXTURE_GAIN, dir.file("cut.wav"), dir.file("out.wav")},
    };
    if (cqscopeHasEditor()) {
        commands.push_back({"render", "--plugin", cqscopePlugin(), dir.file("cut.wav"), "--out",
                            dir.file("cut.png")});
    }
    for (const auto& args : commands) {
        const RunResult run = runHost(args);
        EXPECT_EQ(run.status, 0) << args[0] << ": " << run.err;
        EXPECT_EQ(run.err, warning) << args[0];
    }
    EXPECT_EQ(readAudio(dir.file("out.wav")).samples.size(), 22050u);
    // The same file whole gets no word.
    const RunResult run = runHost({"analyse", dir.file("whole.wav"), "--out", dir.file("w.csv")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
}

// Inputs that nobody can read, root included: a path that runs through a regular file and a
// folder given as the audio file; and, where the tests do not run as root (root reads
// anything), a file without read permission.
TEST(HostBadInput, UnreadableInputIsRefused) {
    ScratchDir dir;
    writeAudio(dir.file("in.wav"), sine(440.0, 44100, 0.2, 2), 2, 44100);
    writeAudio(dir.file("locked.wav"), sine(440.0, 44100, 0.2, 2), 2, 44100);
    ::chmod(dir.file("locked.wav").c_str(), 0);
    ::mkdir(dir.file("folder.wav").c_str(), 0755);
    std::vector<std::string> inputs = {dir.file("in.wav") + "/inner.wav", dir.file("folder.wav")};
    if (::geteuid() != 0) inputs.push_back(dir.file("locked.wav"));
    for (const std::string& input : inputs) {
        const RunResult run =
            runHost({"process", "--plugin", CQHOST_FIXTURE_GAIN, input, dir.file("out.wav")});
        EXPECT_NE(run.status, 0) << input;
        EXPECT_NE(run.err.find(input), std::string::npos) << run.err;
        EXPECT_EQ(lineCount(run.err), 1) << run.err;
        EXPECT_FALSE(std::filesystem::exists(dir.file("out.wav"))) << input;
    }
}

}  // namespace
}  // namespace cqhost_test
