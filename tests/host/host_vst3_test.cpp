// cqscope-host as a VST 3 host: probe, process and validate of Debian's zam-plugins bundles
// (skipped without them), bundles a host must refuse, the note events a block's MIDI becomes, the
// editor's run loop, and cqscope's own bundle rendering as its VST 2.x module does.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "common/block_size.h"
#include "formats/vst3/vst3_host_objects.h"
#include "host_test_support.h"

namespace cqhost_test {
namespace {

namespace fs = std::filesystem;

// A mono equaliser whose bands are all at 0 dB until set: audio passes unchanged.
constexpr const char* kZamEq = "/usr/lib/vst3/ZamEQ2.vst3";

bool haveZam() {
    return fs::exists(fs::path(kZamEq) / "Contents" / "x86_64-linux" / "ZamEQ2.so");
}

// One line, ending in a line break.
bool oneLine(const std::string& text) {
    return !text.empty() && text.find('\n') == text.size() - 1;
}

TEST(Vst3Probe, ReportsTheBundleAsTextAndJson) {
    if (!haveZam()) GTEST_SKIP() << "zam-plugins is not installed (no " << kZamEq << ")";
    // A folder named with the separator a shell's completion leaves is the same bundle.
    for (const std::string& path : {std::string(kZamEq), std::string(kZamEq) + "/"}) {
        const RunResult text = runHost({"probe", "--plugin", path}, ".", true);
        ASSERT_EQ(text.status, 0) << text.err;
        for (const char* expected :
             {"(entry ModuleEntry, VST 3)\n", "Contents/x86_64-linux/ZamEQ2.so\n",
              "(Audio Module Class)\n", "(Component Controller Class)\n", "plug-ins in file: 1\n",
              "name:             ZamEQ2\n", "vendor:           Damien Zammit\n",
              "controller:       a class of its own\n", "audio inputs:     1\n",
              "  0: \"Audio Input\", 1 channels, main, active by default\n",
              "event inputs:     0\n", "editor:           embedded X11EmbedWindowID; "}) {
            EXPECT_NE(text.out.find(expected), std::string::npos) << expected << "\n" << text.out;
        }
    }
    const RunResult json = runHost({"probe", "--json", "--plugin", kZamEq}, ".", true);
    ASSERT_EQ(json.status, 0) << json.err;
    for (const char* expected :
         {"\"entry\": \"ModuleEntry\"", "\"category\": \"Audio Module Class\"",
          "\"effectName\": \"ZamEQ2\"", "\"controller\": \"separate\"", "\"numInputs\": 1,",
          "\"numOutputs\": 1,", "\"eventInputs\": [],", "\"initialDelay\": 0,",
          "\"editor\": {\"x11\": true, \"hwnd\": false, \"resizable\": false, \"width\": "}) {
        EXPECT_NE(json.out.find(expected), std::string::npos) << expected << "\n" << json.out;
    }
    EXPECT_EQ(json.out.rfind("}\n"), json.out.size() - 2);
}

TEST(Vst3Process, PassesAudioThroughAZamBundle) {
    if (!haveZam()) GTEST_SKIP() << "zam-plugins is not installed (no " << kZamEq << ")";
    ScratchDir dir;
    // Two tones, so that a left or right channel lost on the way shows.
    std::vector<float> input = sine(440, 48000, 1.0, 2, 0.5);
    for (std::size_t i = 1; i < input.size(); i += 2) {
        input[i] = 0.25f * static_cast<float>(std::sin(2 * M_PI * 1000 * (i / 2) / 48000.0));
    }
    writeAudio(dir.file("in.wav"), input, 2, 48000);
    const RunResult run = runHost(
        {"process", dir.file("in.wav"), dir.file("out.wav"), "--plugin", kZamEq}, ".", true);
    ASSERT_EQ(run.status, 0) << run.err;
    const Audio in = readAudio(dir.file("in.wav"));
    const Audio out = readAudio(dir.file("out.wav"));
    ASSERT_EQ(out.channels, 2);
    ASSERT_EQ(out.samples.size(), in.samples.size());
    // The mono equaliser hears the mean of the two channels and gives it back on both, within
    // a 16-bit step; a block dropped or processed twice would not.
    double worst = 0, peak = 0;
    for (std::size_t f = 0; f < in.samples.size() / 2; ++f) {
        const double mean = 0.5 * (in.samples[2 * f] + in.samples[2 * f + 1]);
        for (int c = 0; c < 2; ++c) {
            worst = std::max(worst, std::abs(out.samples[2 * f + c] - mean));
            peak = std::max(peak, std::abs(static_cast<double>(out.samples[2 * f + c])));
        }
    }
    EXPECT_LT(worst, 2.0 / 32768) << "the plug-in's output is not its input";
    EXPECT_GT(peak, 0.3);
}

TEST(Vst3Validate, RunsTheVst3ChecksOnAZamBundle) {
    if (!haveZam()) GTEST_SKIP() << "zam-plugins is not installed (no " << kZamEq << ")";
    // The equaliser at 0 dB passes its input on bit for bit, as the analyser does.
    const RunResult run =
        runHost({"validate", "--plugin", kZamEq, "--strictness", "1", "--analyser"}, ".", true);
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    for (const char* expected :
         {"PASS  vst3 lifecycle", "PASS  vst3 audio", "passed on bit for bit",
          "SKIP  vst3 events              no event input", "2 passed, 0 failed, 1 skipped"}) {
        EXPECT_NE((run.out + run.err).find(expected), std::string::npos) << expected << "\n"
                                                                         << run.out << run.err;
    }
}

// The stand-in module logs every call: the host makes them in the documented order, from
// loading the module to unloading it, and its blocks reach the output.
TEST(Vst3Process, CallsTheModuleInTheDocumentedOrder) {
    ScratchDir dir;
    writeAudio(dir.file("in.wav"), sine(440, 48000, 0.5, 2), 2, 48000);
    const std::string log = dir.file("calls.log");
    ::setenv("CQHOST_VST3_FIXTURE_LOG", log.c_str(), 1);
    const RunResult run = runHost(
        {"process", dir.file("in.wav"), dir.file("out.wav"), "--plugin", CQHOST_FIXTURE_VST3});
    ::unsetenv("CQHOST_VST3_FIXTURE_LOG");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(fileBytes(log),
              "ModuleEntry\n"
              "createInstance\n"
              "initialize with host application\n"
              "setComponentHandler set\n"
              "setComponentState 7\n"
              "activateBus 1 0 0 1\n"
              "activateBus 0 0 0 1\n"
              "activateBus 0 1 0 1\n"
              "setupProcessing 48000 " +
                  std::to_string(cqhost::kBlockSize) +
                  " 0\n"
                  "setActive 1\n"
                  "setProcessing 1\n"
                  "process\n"
                  "setProcessing 0\n"
                  "setActive 0\n"
                  "setComponentHandler null\n"
                  "terminate\n"
                  "destroyed\n"
                  "factory released\n"
                  "ModuleExit\n");
    const Audio in = readAudio(dir.file("in.wav"));
    const Audio out = readAudio(dir.file("out.wav"));
    ASSERT_EQ(out.samples.size(), in.samples.size());
    for (std::size_t i = 0; i < in.samples.size(); ++i) {
        ASSERT_NEAR(out.samples[i], 0.5f * in.samples[i], 1.0 / 32768) << "sample " << i;
    }
}

TEST(Vst3Bundles, BadBundlesGiveOneClearLine) {
    ScratchDir dir;
    const std::string empty = dir.file("Empty.vst3");
    fs::create_directory(empty);
    const std::string noBinary = dir.file("NoBinary.vst3");
    fs::create_directories(noBinary + "/Contents/x86_64-linux");
    fs::create_directories(noBinary + "/Contents/Resources");
    const std::string notLibrary = dir.file("Text.vst3");
    fs::create_directories(notLibrary + "/Contents/x86_64-linux");
    writeFile(notLibrary + "/Contents/x86_64-linux/Text.so", "not a library\n");
    const std::string singleFile = dir.file("Single.vst3");
    writeFile(singleFile, "not a library either\n");
    struct Case {
        std::string path, expected;
    };
    for (const Case& c : std::vector<Case>{
             {empty, "has no binary for this system (looked for " + empty +
                         "/Contents/x86_64-linux/Empty.so)"},
             {noBinary, "NoBinary.vst3/Contents/x86_64-linux/NoBinary.so)"},
             {notLibrary, "cannot load plug-in " + notLibrary + "/Contents/x86_64-linux/Text.so"},
             {singleFile, "cannot load plug-in " + singleFile}}) {
        for (const char* command : {"probe", "process"}) {
            std::vector<std::string> args{command, "--plugin", c.path};
            if (std::string(command) == "process") {
                writeAudio(dir.file("in.wav"), sine(440, 48000, 0.1, 1), 1, 48000);
                args.insert(args.begin() + 1, {dir.file("in.wav"), dir.file("out.wav")});
            }
            const RunResult run = runHost(args);
            EXPECT_NE(run.status, 0) << command << " " << c.path;
            EXPECT_TRUE(oneLine(run.err)) << run.err;
            EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
            EXPECT_FALSE(fs::exists(dir.file("out.wav")));
        }
    }
}

// A bundle's binary named by itself is the VST 3 module it is; copied out of its bundle it is
// still refused as a VST 2.x effect, with a line that says what it is.
TEST(Vst3Bundles, TheBinaryInsideABundleIsItsVst3Module) {
    const std::string bundle = std::string(CQHOST_PLUGIN_DIR) + "/cqscope.vst3";
    const std::string binary = bundle + "/Contents/x86_64-linux/cqscope.so";
    if (!fs::exists(binary)) GTEST_SKIP() << "no " << binary << " in this build";
    const RunResult inside = runHost({"probe", "--plugin", binary});
    ASSERT_EQ(inside.status, 0) << inside.err;
    EXPECT_NE(inside.out.find("(entry ModuleEntry, VST 3)\n"), std::string::npos) << inside.out;
    EXPECT_NE(inside.out.find("(Audio Module Class)\n"), std::string::npos) << inside.out;

    ScratchDir dir;
    fs::copy_file(binary, dir.file("cqscope.so"));
    const RunResult outside = runHost({"probe", "--plugin", dir.file("cqscope.so")});
    EXPECT_NE(outside.status, 0);
    EXPECT_TRUE(oneLine(outside.err)) << outside.err;
    EXPECT_NE(outside.err.find("a VST 3 module (it exports GetPluginFactory)"), std::string::npos)
        << outside.err;
}

TEST(Vst3Events, BlockMidiBecomesNoteEvents) {
    cqhost::Vst3EventList list;
    const unsigned char messages[][3] = {
        {0x91, 60, 127},  // note on, channel 2
        {0x91, 60, 0},    // note on at velocity 0: a note off
        {0x80, 69, 64},   // note off
        {0xB0, 7, 100},   // a controller: no note event
        {0xE0, 0, 64},    // pitch bend: none either
    };
    for (int i = 0; i < 5; ++i) list.addMidi(messages[i], 10 * i);
    ASSERT_EQ(list.getEventCount(), 3);
    vst3::Event e{};
    ASSERT_EQ(list.getEvent(0, e), vst3::kResultOk);
    EXPECT_EQ(e.type, vst3::Event::kNoteOnEvent);
    EXPECT_EQ(e.busIndex, 0);
    EXPECT_EQ(e.sampleOffset, 0);
    EXPECT_EQ(e.noteOn.channel, 1);
    EXPECT_EQ(e.noteOn.pitch, 60);
    EXPECT_FLOAT_EQ(e.noteOn.velocity, 1.0f);
    EXPECT_EQ(e.noteOn.noteId, -1);
    ASSERT_EQ(list.getEvent(1, e), vst3::kResultOk);
    EXPECT_EQ(e.type, vst3::Event::kNoteOffEvent);
    EXPECT_EQ(e.sampleOffset, 10);
    EXPECT_EQ(e.noteOff.pitch, 60);
    EXPECT_FLOAT_EQ(e.noteOff.velocity, 0.0f);
    ASSERT_EQ(list.getEvent(2, e), vst3::kResultOk);
    EXPECT_EQ(e.type, vst3::Event::kNoteOffEvent);
    EXPECT_EQ(e.sampleOffset, 20);
    EXPECT_EQ(e.noteOff.channel, 0);
    EXPECT_EQ(e.noteOff.pitch, 69);
    EXPECT_FLOAT_EQ(e.noteOff.velocity, 64.0f / 127.0f);
    EXPECT_EQ(list.getEvent(3, e), vst3::kInvalidArgument);
    list.clear();
    EXPECT_EQ(list.getEventCount(), 0);
}

// A timer handler that counts its calls and may unregister another handler from its call.
class CountingTimer : public cqhost::Vst3HostObject<vst3::Linux::ITimerHandler> {
  public:
    void PLUGIN_API onTimer() override {
        ++calls;
        if (unregister != nullptr) loop->unregisterTimer(unregister);
    }
    int calls = 0;
    cqhost::Vst3RunLoop* loop = nullptr;
    vst3::Linux::ITimerHandler* unregister = nullptr;
};

TEST(Vst3RunLoop, RunsTimersOnTheHostClockAndRefusesWhatHostsRefuse) {
    cqhost::Vst3RunLoop loop;
    loop.setManualClock(0);
    CountingTimer fast, slow;
    EXPECT_EQ(loop.registerTimer(&fast, 0), vst3::kInvalidArgument);
    EXPECT_EQ(loop.registerTimer(nullptr, 10), vst3::kInvalidArgument);
    ASSERT_EQ(loop.registerTimer(&fast, 10), vst3::kResultOk);
    ASSERT_EQ(loop.registerTimer(&slow, 25), vst3::kResultOk);
    EXPECT_EQ(loop.nextWait(), 10);
    loop.serve();
    EXPECT_EQ(fast.calls, 0);
    loop.setManualClock(10);
    loop.serve();
    EXPECT_EQ(fast.calls, 1);
    EXPECT_EQ(slow.calls, 0);
    EXPECT_EQ(loop.nextWait(), 10);
    // A late loop runs a timer once, not once per period missed.
    loop.setManualClock(60);
    fast.loop = &loop;
    fast.unregister = &slow;  // due too, but gone before its turn
    loop.serve();
    EXPECT_EQ(fast.calls, 2);
    EXPECT_EQ(slow.calls, 0);
    EXPECT_EQ(loop.unregisterTimer(&slow), vst3::kInvalidArgument);
    fast.unregister = nullptr;
    loop.serve(true);  // input to the window: every timer at once
    EXPECT_EQ(fast.calls, 3);
    ASSERT_EQ(loop.unregisterTimer(&fast), vst3::kResultOk);
    EXPECT_TRUE(loop.empty());
    EXPECT_EQ(loop.nextWait(), 0);
}

TEST(Vst3RunLoop, OneHandlerPerDescriptor) {
    cqhost::Vst3RunLoop loop;
    class Handler : public cqhost::Vst3HostObject<vst3::Linux::IEventHandler> {
      public:
        void PLUGIN_API onFDIsSet(vst3::Linux::FileDescriptor) override {}
    } first, second;
    ASSERT_EQ(loop.registerEventHandler(&first, 0), vst3::kResultOk);
    EXPECT_EQ(loop.registerEventHandler(&second, 0), vst3::kInvalidArgument);
    EXPECT_EQ(loop.registerEventHandler(&second, -1), vst3::kInvalidArgument);
    ASSERT_EQ(loop.unregisterEventHandler(&first), vst3::kResultOk);
    EXPECT_TRUE(loop.empty());
}

// cqscope's own bundle, where the build made one: its picture is its VST 2.x module's.
TEST(Vst3Render, CqscopeBundleDrawsAsItsVst2Module) {
    const std::string bundle = std::string(CQHOST_PLUGIN_DIR) + "/cqscope.vst3";
    if (!fs::is_directory(bundle))
        GTEST_SKIP() << "no cqscope.vst3 bundle in " << CQHOST_PLUGIN_DIR;
    if (!cqscopeHasEditor()) GTEST_SKIP() << "cqscope.so has no editor to compare with";
    ScratchDir dir;
    const RunResult vst3 = runHost({"render", "--plugin", bundle, "--out", dir.file("vst3.png")});
    ASSERT_EQ(vst3.status, 0) << vst3.err;
    const RunResult vst2 =
        runHost({"render", "--plugin", cqscopePlugin(), "--out", dir.file("vst2.png")});
    ASSERT_EQ(vst2.status, 0) << vst2.err;
    const std::string picture = fileBytes(dir.file("vst2.png"));
    ASSERT_FALSE(picture.empty());
    EXPECT_EQ(fileBytes(dir.file("vst3.png")), picture);
}

}  // namespace
}  // namespace cqhost_test
