// cqscope-host as a CLAP host, against the fixture plug-ins of fixture_clap.cpp: what probe
// reports, bit-exact processing, events in their block at their frame, the thread rules, the
// main-thread services, repeated life cycles, and files a host must refuse.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "display/display_geometry.h"
#include "fixture_clap_report.h"
#include "formats/clap/clap_host.h"
#include "formats/clap/clap_stream.h"
#include "host_test_support.h"

namespace cqhost_test {
namespace {

using cqhost::ClapEventStream;
using cqhost::ClapLibrary;
using cqhost::ClapPlugin;
using cqhost::ClapStreamAudio;

constexpr const char* kPassId = "org.cqscope.test.pass";

const FixtureReport& report(const ClapPlugin& plugin) {
    const auto* ext = static_cast<const FixtureReport*>(plugin.extension(kFixtureReportExtension));
    if (ext == nullptr) throw std::runtime_error("the fixture has no report");
    return *ext;
}
std::string mainCalls(const ClapPlugin& p) {
    return report(p).main_calls(&p.plugin());
}
std::string audioCalls(const ClapPlugin& p) {
    return report(p).audio_calls(&p.plugin());
}
std::string faults(const ClapPlugin& p) {
    return report(p).faults(&p.plugin());
}

// The lines of `text` that start with `prefix`.
std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line);
    }
    return lines;
}

// Plays `frames` frames of silence (two channels) through an active plug-in.
void playSilence(ClapPlugin& plugin, std::uint32_t frames, const ClapEventStream& events = {}) {
    std::uint32_t left = frames;
    ClapStreamAudio audio;
    audio.read = [&](float* const* channels, std::uint32_t count) {
        const std::uint32_t n = std::min(count, left);
        for (int c = 0; c < 2; ++c) std::fill(channels[c], channels[c] + n, 0.0f);
        left -= n;
        return n;
    };
    audio.write = [](const float* const*, std::uint32_t) {};
    cqhost::processStream(plugin, audio, events);
}

TEST(ClapProbe, ReportsWhatAHostLearnsAndKnowsAClapByItsExport) {
    ScratchDir dir;
    // The same file without the suffix is recognised by its clap_entry.
    std::filesystem::copy_file(CQHOST_CLAP_PASS, dir.file("pass.so"));
    for (const std::string& path : {std::string(CQHOST_CLAP_PASS), dir.file("pass.so")}) {
        const RunResult probe = runHost({"probe", "--plugin", path});
        ASSERT_EQ(probe.status, 0) << probe.err;
        for (const char* expected :
             {"(entry clap_entry, CLAP 1.2.10)\n", "plug-ins in file: 1\n",
              "id:               org.cqscope.test.pass\n", "name:             Fixture Pass\n",
              "version:          1.2\n", "features:         audio-effect, analyzer, stereo\n",
              "audio inputs:     1\n  0: id 1 \"Input\", 2 channels, type stereo, main, "
              "in-place pair 2\n",
              "audio outputs:    1\n  0: id 2 \"Output\", 2 channels, type stereo, main, "
              "in-place pair 1\n",
              "note inputs:      1\n  0: id 3 \"Notes\", dialects clap, midi (prefers clap)\n",
              "note outputs:     0\n",
              "gui:              embedded x11; floating none; 960 x 512, fixed size\n",
              "latency:          0 frames (active at 44100 Hz)\n",
              "asked of the host: clap.thread-check, clap.timer-support, "
              "clap.posix-fd-support\n"}) {
            EXPECT_NE(probe.out.find(expected), std::string::npos) << expected << probe.out;
        }
        EXPECT_EQ(probe.out.find("host rules broken"), std::string::npos) << probe.out;
    }
}

// --json: one object for the file, each plug-in with the VST 2.x probe's field names where
// they apply.
TEST(ClapProbe, JsonHasTheFieldsOfTheTextReport) {
    const RunResult probe = runHost({"probe", "--json", "--plugin", CQHOST_CLAP_PASS});
    ASSERT_EQ(probe.status, 0) << probe.err;
    EXPECT_EQ(probe.out.rfind("{\n  \"path\": ", 0), 0u) << probe.out;
    for (const char* expected :
         {"\"entry\": \"clap_entry\"", "\"clapVersion\": \"1.2.10\"", "\"plugins\": [\n    {",
          "\"id\": \"org.cqscope.test.pass\"", "\"effectName\": \"Fixture Pass\"",
          "\"version\": \"1.2\"", "\"features\": [\"audio-effect\", \"analyzer\", \"stereo\"]",
          "\"numInputs\": 2", "\"numOutputs\": 2",
          "\"audioInputs\": [{\"id\": 1, \"name\": \"Input\", \"channels\": 2, \"type\": "
          "\"stereo\"",
          "\"noteInputs\": [{\"id\": 3, \"name\": \"Notes\"", "\"noteOutputs\": []",
          "\"initialDelay\": 0",
          "\"editor\": {\"embedded\": [\"x11\"], \"floating\": [], \"resizable\": false, "
          "\"width\": 960, \"height\": 512}",
          "\"hostRequests\": [\"clap.thread-check\", \"clap.timer-support\", "
          "\"clap.posix-fd-support\"]",
          "\"hostRulesBroken\": []\n    }\n  ]\n}\n"}) {
        EXPECT_NE(probe.out.find(expected), std::string::npos) << expected << "\n" << probe.out;
    }
}

TEST(ClapProcess, PassesAudioThroughBitForBitInPlaceAndHalvesOnSeparateBuffers) {
    ScratchDir dir;
    // Full-range float noise over a length that is not a whole number of blocks.
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::vector<float> samples(2 * 1300);
    for (float& s : samples) s = noise(random);
    writeAudio(dir.file("in.wav"), samples, 2, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT);

    const RunResult pass =
        runHost({"process", "--plugin", CQHOST_CLAP_PASS, dir.file("in.wav"), dir.file("p.wav")});
    ASSERT_EQ(pass.status, 0) << pass.err;
    const Audio passed = readAudio(dir.file("p.wav"));
    EXPECT_EQ(passed.channels, 2);
    EXPECT_EQ(passed.sampleRate, 48000);
    EXPECT_EQ(passed.samples, samples);

    const RunResult half =
        runHost({"process", "--plugin", CQHOST_CLAP_HALF, dir.file("in.wav"), dir.file("h.wav")});
    ASSERT_EQ(half.status, 0) << half.err;
    const Audio halved = readAudio(dir.file("h.wav"));
    ASSERT_EQ(halved.samples.size(), samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        ASSERT_EQ(halved.samples[i], 0.5f * samples[i]) << i;
    }
}

TEST(ClapEvents, NotesAndMidiArriveInTheirBlockAtTheirFrameOnTheAudioThread) {
    ClapLibrary library(CQHOST_CLAP_PASS);
    ClapPlugin plugin(library, kPassId);
    plugin.activate(48000.0, 1, 512);
    ClapEventStream events;
    events.addMidi(511, 0x90, 0x40, 0x64);
    events.addNote(CLAP_EVENT_NOTE_ON, 17, 60, 0, 0.5);
    events.addNote(CLAP_EVENT_NOTE_OFF, 512, 60, 0, 0.0);
    events.addMidi(1000, 0x80, 0x40, 0x00);
    events.addNote(CLAP_EVENT_NOTE_ON, 1500, 72, 3, 1.0);  // same frame: kept in added order
    events.addMidi(1500, 0x93, 0x48, 0x7F);
    playSilence(plugin, 1600, events);
    plugin.deactivate();

    EXPECT_EQ(audioCalls(plugin),
              "start_processing\n"
              "process 512\n"
              "note-on key 60 channel 0 velocity 0.5 block 0 frame 17\n"
              "midi 90 40 64 block 0 frame 511\n"
              "process 512\n"
              "note-off key 60 channel 0 velocity 0 block 1 frame 0\n"
              "midi 80 40 00 block 1 frame 488\n"
              "process 512\n"
              "note-on key 72 channel 3 velocity 1 block 2 frame 476\n"
              "midi 93 48 7f block 2 frame 476\n"
              "process 64\n"
              "stop_processing\n");
    // Main-thread calls in their order, the callback the first block asked for among them.
    std::string main;
    for (const auto& line : linesStartingWith(mainCalls(plugin), "")) {
        if (line.rfind("timer", 0) != 0 && line != "fd") main += line + "\n";
    }
    EXPECT_EQ(main, "init\nactivate 48000 1 512\non_main_thread\ndeactivate\n");
    EXPECT_EQ(faults(plugin), "");
    EXPECT_TRUE(plugin.ruleBreaks().empty());
}

TEST(ClapMainThread, ServesTimersAndFileDescriptorsThePluginRegistered) {
    ClapLibrary library(CQHOST_CLAP_PASS);
    ClapPlugin plugin(library, kPassId);
    // The fixture's timer has a 40 ms period; each tick writes its pipe, which the host then
    // finds readable.
    std::this_thread::sleep_for(std::chrono::milliseconds(45));
    plugin.serviceMainThread();
    EXPECT_EQ(linesStartingWith(mainCalls(plugin), "timer").size(), 1u) << mainCalls(plugin);
    plugin.serviceMainThread();
    EXPECT_EQ(linesStartingWith(mainCalls(plugin), "fd").size(), 1u) << mainCalls(plugin);
    EXPECT_EQ(faults(plugin), "");
}

// On a manual clock (render's) the timers fire when that clock reaches them, whatever the
// system's time, and keep to their own period, skipping the periods a long step missed.
TEST(ClapMainThread, TimersFollowAManualClockOnTheirOwnPeriod) {
    ClapLibrary library(CQHOST_CLAP_PASS);
    ClapPlugin plugin(library, kPassId);
    const auto timerCalls = [&plugin] {
        return linesStartingWith(mainCalls(plugin), "timer").size();
    };
    plugin.setManualClock(0);
    EXPECT_EQ(plugin.nextTimerWait(), 40);  // registered at init: a whole period from the switch
    std::this_thread::sleep_for(std::chrono::milliseconds(45));
    plugin.serviceMainThread();
    EXPECT_EQ(timerCalls(), 0u);
    plugin.setManualClock(39);
    plugin.serviceMainThread();
    EXPECT_EQ(timerCalls(), 0u);
    plugin.setManualClock(40);
    plugin.serviceMainThread();
    EXPECT_EQ(timerCalls(), 1u);
    plugin.setManualClock(125);
    plugin.serviceMainThread();
    EXPECT_EQ(timerCalls(), 2u);
    EXPECT_EQ(plugin.nextTimerWait(), 35);  // due at 160, not at 165
    EXPECT_EQ(faults(plugin), "");
}

// The audio thread of render's kind: each job on one thread that is not the main one, in turn
// with it; a job's failure comes back to the main thread and the next job still runs;
// start_processing and stop_processing on that thread too.
TEST(ClapAudioThread, RunsJobsInTurnOnOneThreadAndHandsBackTheirFailures) {
    ClapLibrary library(CQHOST_CLAP_PASS);
    ClapPlugin plugin(library, kPassId);
    plugin.activate(48000.0, 1, 512);
    std::vector<std::thread::id> threads;
    {
        cqhost::ClapAudioThread audio(plugin);
        for (int i = 0; i < 3; ++i) {
            audio.run([&threads] { threads.push_back(std::this_thread::get_id()); });
        }
        EXPECT_THROW(audio.run([] { throw std::runtime_error("a failing block"); }),
                     std::runtime_error);
        audio.run([&] {
            threads.push_back(std::this_thread::get_id());
            std::vector<float> left(64), right(64);
            float* channels[] = {left.data(), right.data()};
            plugin.process(channels, 2, channels, 2, 64, cqhost::ClapEventList());
        });
    }
    ASSERT_EQ(threads.size(), 4u);
    EXPECT_NE(threads[0], std::this_thread::get_id());
    EXPECT_EQ(std::count(threads.begin(), threads.end(), threads[0]), 4);
    EXPECT_EQ(audioCalls(plugin), "start_processing\nprocess 64\nstop_processing\n");
    EXPECT_EQ(faults(plugin), "");
    EXPECT_TRUE(plugin.ruleBreaks().empty());
}

// The number of open file descriptors of this process.
int openDescriptors() {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++count;
    }
    return count;
}

TEST(ClapLifecycle, CreatingProcessingAndDestroyingManyTimesLeavesNothingBehind) {
    const int descriptorsBefore = openDescriptors();
    {
        ClapLibrary library(CQHOST_CLAP_PASS);
        ClapPlugin keeper(library, kPassId);
        for (int i = 0; i < 50; ++i) {
            ClapPlugin plugin(library, kPassId);
            plugin.activate(i % 2 ? 96000.0 : 44100.0, 1, 256);
            playSilence(plugin, 700);
            plugin.deactivate();
            ASSERT_EQ(faults(plugin), "") << i;
        }
        EXPECT_EQ(report(keeper).live_instances(), 1);
    }
    for (int i = 0; i < 50; ++i) {
        ClapLibrary library(CQHOST_CLAP_PASS);
        ClapPlugin plugin(library, kPassId);
        plugin.activate(48000.0, 1, 512);
        playSilence(plugin, 600);
        // Left active: the destructor stops, deactivates and destroys in order.
    }
    EXPECT_FALSE(cqhost_test::fileMapped(CQHOST_CLAP_PASS));
    EXPECT_EQ(openDescriptors(), descriptorsBefore);
}

TEST(ClapBadFiles, EachRefusedWithOneClearLineAndANonZeroExit) {
    ScratchDir dir;
    writeFile(dir.file("text.clap"), "not a library\n");
    writeAudio(dir.file("in.wav"), sine(440.0, 48000, 0.05, 2), 2, 48000);
    const std::pair<std::string, std::string> cases[] = {
        {dir.file("text.clap"), "cannot load plug-in"},
        {CQHOST_CLAP_NO_ENTRY, "exports no clap_entry: not a CLAP plug-in"},
        {CQHOST_CLAP_VERSION0, "declares CLAP 0.3.0, a development version before 1.0"},
        {CQHOST_CLAP_INIT_FALSE, "its entry's init failed"},
        {CQHOST_CLAP_NO_FACTORY, "offers no plug-in factory (\"clap.plugin-factory\")"},
        {CQHOST_CLAP_PLUGIN_INIT_FALSE, "\"org.cqscope.test.pass\" failed to initialise"},
        {CQHOST_CLAP_OLD_DESCRIPTOR,
         "\"org.cqscope.test.pass\" declares CLAP 0.9.0, a development version before 1.0"},
        {CQHOST_CLAP_INCOMPLETE, "\"org.cqscope.test.pass\" has an incomplete plug-in record"},
    };
    const std::vector<std::string> commands[] = {
        {"probe"},
        {"process", dir.file("in.wav"), dir.file("out.wav")},
        {"render", dir.file("in.wav"), "--out", dir.file("out.png")}};
    for (const auto& [path, reason] : cases) {
        for (std::vector<std::string> args : commands) {
            args.insert(args.end(), {"--plugin", path});
            const RunResult run = runHost(args);
            EXPECT_NE(run.status, 0) << args[0] << " " << path;
            EXPECT_EQ(run.out, "") << args[0] << " " << path;
            EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
            EXPECT_FALSE(std::filesystem::exists(dir.file("out.wav"))) << path;
            EXPECT_FALSE(std::filesystem::exists(dir.file("out.png"))) << path;
        }
    }
    // A CLAP plug-in whose GUI does not draw through our window library has nothing render can
    // read back.
    const RunResult render = runHost({"render", "--plugin", CQHOST_CLAP_PASS});
    EXPECT_EQ(render.status, 1);
    EXPECT_NE(render.err.find("so its editor cannot be drawn off screen"), std::string::npos)
        << render.err;
}

// validate on a CLAP plug-in runs the CLAP checks alone (the VST 2.x ones do not apply) in
// the runner's format: an analyser that is not bit-exact fails the audio and event checks by
// name, and the exit status says so.
TEST(ClapValidate, RunsTheClapChecksAndFailsAPluginThatChangesItsAudio) {
    const RunResult pass = runHost({"validate", "--plugin", CQHOST_CLAP_PASS, "--strictness", "1"});
    EXPECT_EQ(pass.status, 0) << pass.out << pass.err;
    EXPECT_EQ(linesStartingWith(pass.out, "PASS  clap ").size(), 3u) << pass.out;
    EXPECT_EQ(pass.out.find("opcode"), std::string::npos) << pass.out;

    const RunResult half =
        runHost({"validate", "--plugin", CQHOST_CLAP_HALF, "--strictness", "1", "--analyser"});
    EXPECT_EQ(half.status, 1) << half.out << half.err;
    EXPECT_EQ(linesStartingWith(half.out, "PASS  clap lifecycle").size(), 1u) << half.out;
    const auto audio = linesStartingWith(half.out, "FAIL  clap audio");
    ASSERT_EQ(audio.size(), 1u) << half.out;
    EXPECT_NE(audio[0].find("output 0 is not its input bit for bit"), std::string::npos);
    EXPECT_EQ(linesStartingWith(half.out, "FAIL  clap events").size(), 1u) << half.out;
    EXPECT_NE(half.out.find("summary: 1 passed, 2 failed, 0 skipped"), std::string::npos);
}

}  // namespace
}  // namespace cqhost_test

#if defined(CQHOST_CQSCOPE_CLAP)
namespace cqhost_test {
namespace {

// The shipped cqscope.clap in our host: what probe learns, and noise through `process` at the
// common rates, bit for bit, over a length that is not a whole number of blocks.
TEST(CqscopeClap, ProbedAndPassingAudioBitForBitAtEachCommonRate) {
    const RunResult probe = runHost({"probe", "--plugin", CQHOST_CQSCOPE_CLAP});
    ASSERT_EQ(probe.status, 0) << probe.err;
    for (const char* expected :
         {"(entry clap_entry, CLAP 1.2.10)\n", "plug-ins in file: 1\n",
          "id:               org.example.cqscope\n", "name:             cqscope\n",
          "features:         audio-effect, analyzer, stereo\n",
          "audio inputs:     1\n  0: id 0 \"Input\", 2 channels, type stereo, main, "
          "in-place pair 0\n",
          "audio outputs:    1\n  0: id 0 \"Output\", 2 channels, type stereo, main, "
          "in-place pair 0\n",
          "note inputs:      1\n  0: id 0 \"Notes\", dialects clap, midi (prefers clap)\n",
          "note outputs:     0\n",
          "gui:              embedded x11; floating none; 960 x 512, fixed size\n",
          "latency:          0 frames (active at 44100 Hz)\n"}) {
        EXPECT_NE(probe.out.find(expected), std::string::npos) << expected << probe.out;
    }
    EXPECT_EQ(probe.out.find("host rules broken"), std::string::npos) << probe.out;

    ScratchDir dir;
    std::mt19937 random(11);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    for (const int rate : {44100, 48000, 96000}) {
        std::vector<float> samples(2 * 3001);
        for (float& s : samples) s = noise(random);
        writeAudio(dir.file("in.wav"), samples, 2, rate, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
        const RunResult run = runHost(
            {"process", "--plugin", CQHOST_CQSCOPE_CLAP, dir.file("in.wav"), dir.file("out.wav")});
        ASSERT_EQ(run.status, 0) << rate << ": " << run.err;
        const Audio out = readAudio(dir.file("out.wav"));
        EXPECT_EQ(out.sampleRate, rate);
        EXPECT_EQ(out.samples, samples) << rate;
    }
}

// render of the .clap through its GUI, on the render's clock, with `process` on an audio
// thread of its own: the VST 2 editor's pictures, video and note readout for the same audio and
// notes (the demo chord), Hold clicked between two refreshes.
TEST(CqscopeClap, RendersWhatTheVstEditorShowsPixelForPixel) {
    if (!cqscopeHasEditor()) GTEST_SKIP() << "cqscope.so has no editor yet";
    ScratchDir dir;
    const std::pair<std::string, std::string> plugins[] = {{"vst", cqscopePlugin()},
                                                           {"clap", CQHOST_CQSCOPE_CLAP}};
    for (const auto& [name, plugin] : plugins) {
        const RunResult pictures =
            runHost({"render", "--plugin", plugin, "--every", "0.5", "--hold-at", "2.03", "--peaks",
                     "3", "--peaks-out", dir.file(name + ".peaks"), "--out", dir.file(name)});
        ASSERT_EQ(pictures.status, 0) << name << ": " << pictures.err;
        const RunResult video = runHost({"render", "--plugin", plugin, "--hold-at", "1.33",
                                         "--threads", "1", "--out", dir.file(name + ".mp4")});
        ASSERT_EQ(video.status, 0) << name << ": " << video.err;
    }
    const auto bytes = [&dir](const std::string& name) {
        std::ifstream in(dir.file(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    for (int k = 1; k <= 8; ++k) {
        const std::string frame = "/frame-000" + std::to_string(k) + ".png";
        const Image vst = readPng(dir.file("vst" + frame));
        EXPECT_EQ(readPng(dir.file("clap" + frame)).pixels, vst.pixels) << frame;
    }
    // Held from 2.03 s on: the pictures after it stand still, those before it did not.
    EXPECT_EQ(readPng(dir.file("clap/frame-0006.png")).pixels,
              readPng(dir.file("clap/frame-0008.png")).pixels);
    EXPECT_NE(readPng(dir.file("clap/frame-0002.png")).pixels,
              readPng(dir.file("clap/frame-0004.png")).pixels);
    EXPECT_EQ(bytes("clap.peaks"), bytes("vst.peaks"));
    EXPECT_NE(bytes("clap.peaks").find("C4 +0 cents"), std::string::npos) << bytes("clap.peaks");
    EXPECT_TRUE(bytes("clap.mp4") == bytes("vst.mp4")) << "the videos differ";
}

// At 8 kHz both formats draw no bar at or above 4 kHz (columns from 833) and name no peak
// there: a 440 Hz tone shows no alias near 7.56 kHz.
TEST(CqscopeClap, AtEightKilohertzNoBarOrPeakAtOrAboveHalfTheRate) {
    if (!cqscopeHasEditor()) GTEST_SKIP() << "cqscope.so has no editor yet";
    ScratchDir dir;
    writeAudio(dir.file("a4.wav"), sine(440.0, 8000, 1.0, 1), 1, 8000);
    const std::pair<std::string, std::string> plugins[] = {{"vst", cqscopePlugin()},
                                                           {"clap", CQHOST_CQSCOPE_CLAP}};
    std::vector<Image> pictures;
    for (const auto& [name, plugin] : plugins) {
        const RunResult run = runHost({"render", dir.file("a4.wav"), "--plugin", plugin, "--at",
                                       "1", "--peaks", "2", "--out", dir.file(name + ".png")});
        ASSERT_EQ(run.status, 0) << name << ": " << run.err;
        EXPECT_NE(run.err.find("A4 +0 cents, 440.0 Hz"), std::string::npos) << name << run.err;
        EXPECT_EQ(run.err.find("A#8"), std::string::npos) << name << run.err;
        pictures.push_back(readPng(dir.file(name + ".png")));
        const Image& image = pictures.back();
        constexpr std::uint32_t kGreen = display::pixelOf(display::kGreen);
        EXPECT_EQ(image.at(449, display::kBarBaseRow - 1), kGreen) << name;
        for (int column = 833; column < display::kWidth; ++column) {
            for (int row = 0; row < display::kBarBaseRow; ++row) {
                ASSERT_NE(image.at(column, row), kGreen) << name << " " << column << "," << row;
            }
        }
    }
    EXPECT_EQ(pictures[0].pixels, pictures[1].pixels);
}

TEST(CqscopeClap, PassesValidate) {
    const RunResult run =
        runHost({"validate", "--plugin", CQHOST_CQSCOPE_CLAP, "--strictness", "2"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("summary: 3 passed, 0 failed, 0 skipped"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace cqhost_test
#endif
