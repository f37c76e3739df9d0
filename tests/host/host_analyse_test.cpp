// analyse and the note readout: the numbers are the plug-in's, the readout is within a cent,
// and every data format reads back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <sstream>
#include <thread>

#include "analyse/plugin_analysis.h"
#include "analysis/peaks.h"
#include "display/display_geometry.h"
#include "host_test_support.h"

namespace cqhost_test {
namespace {

constexpr int kFloatWav = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, ',');) out.push_back(field);
    if (!line.empty() && line.back() == ',') out.emplace_back();
    return out;
}

// A steady sine of every frequency of a sweep from C2 to C8, fed through the plug-in's analysis
// long enough to fill every window: the strongest peak names it to within a cent.
TEST(PeakReadout, WithinOneCentFromC2ToC8) {
    for (const int rate : {44100, 48000}) {
        cqhost::PluginAnalysis analysis(rate);
        const int frames = static_cast<int>(0.75 * rate);  // more than the longest window
        std::vector<float> samples(frames);
        double worst = 0.0;
        // C2 up in steps of 61.3 cents (1.3 cents more than six bins, so that the sines fall
        // all over the space between two bins), and C8 itself.
        for (int k = 0; k <= 118; ++k) {
            const double frequency =
                k == 118 ? 4186.009044809578 : 65.40639132514966 * std::exp2(k * 61.3 / 1200.0);
            for (int n = 0; n < frames; ++n) {
                samples[n] = static_cast<float>(
                    0.3 * std::sin(2.0 * std::numbers::pi * frequency * n / rate + 0.7));
            }
            analysis.audio(samples.data(), samples.data(), frames);
            analysis.transform();
            const auto peaks = cqscope::findPeaks(analysis.magnitudes(), 1);
            ASSERT_EQ(peaks.size(), 1u) << frequency;
            const double cents = 1200.0 * std::log2(peaks[0].frequency / frequency);
            worst = std::max(worst, std::abs(cents));
            EXPECT_LT(std::abs(cents), 1.0) << frequency << " Hz at " << rate << " Hz";
        }
        RecordProperty("worst_cents_" + std::to_string(rate), std::to_string(worst));
    }
    // Names and rounding: whole cents first, so +50 is the note above at -50.
    EXPECT_EQ(cqscope::describePeak(cqscope::peakAt(446.0, 1.0)), "A4 +23 cents, 446.0 Hz");
    EXPECT_EQ(cqscope::describePeak(cqscope::peakAt(440.0 * std::exp2(0.5 / 12), 1.0)),
              "A#4 -50 cents, 452.9 Hz");
    EXPECT_EQ(cqscope::describePeak(cqscope::peakAt(246.0, 1.0)), "B3 -7 cents, 246.0 Hz");
    EXPECT_EQ(cqscope::describePeak(cqscope::peakAt(32.703, 1.0)), "C1 +0 cents, 32.7 Hz");
}

class HostAnalyse : public ::testing::Test {
  protected:
    RunResult analyse(std::vector<std::string> args) {
        args.insert(args.begin(), "analyse");
        RunResult run = runHost(args);
        EXPECT_EQ(run.status, 0) << run.err;
        return run;
    }
    ScratchDir dir_;
};

// A 440 Hz sine of amplitude 0.5 reads 0.125 in column 450, its --peaks line names A4, and
// the magnitudes are the ones the plug-in's display draws: each column's bar in the picture
// at that time is the one its magnitude gives.
TEST_F(HostAnalyse, SineReadsQuarterAmplitudeAsThePluginShowsIt) {
    writeAudio(dir_.file("a.wav"), sine(440.0, 44100, 1.0, 2), 2, 44100, kFloatWav);
    const RunResult run =
        analyse({dir_.file("a.wav"), "--peaks", "1", "--out", dir_.file("a.csv")});
    EXPECT_NE(run.err.find("1.000 s: A4 +0 cents, 440.0 Hz\n"), std::string::npos) << run.err;
    const auto rows = lines(fileBytes(dir_.file("a.csv")));
    ASSERT_EQ(rows.size(), 11u);  // header and 10 refreshes
    const auto header = fields(rows[0]);
    ASSERT_EQ(header.size(), 963u);
    EXPECT_EQ(header[3 + 450], "440.000");
    const auto last = fields(rows[10]);
    EXPECT_EQ(last[0], "1");
    EXPECT_EQ(last[1], "0");
    EXPECT_NEAR(std::strtod(last[3 + 450].c_str(), nullptr), 0.125, 0.125e-6);

    if (!cqscopeHasEditor()) GTEST_SKIP() << "cqscope.so has no editor to compare with";
    const RunResult render = runHost({"render", dir_.file("a.wav"), "--plugin", cqscopePlugin(),
                                      "--at", "1", "--out", dir_.file("a.png")});
    ASSERT_EQ(render.status, 0) << render.err;
    const Image image = readPng(dir_.file("a.png"));
    int compared = 0;
    constexpr int kBase = display::kBarBaseRow, kNone = display::kLabelRow;
    constexpr std::uint32_t kGreen = display::pixelOf(display::kGreen);
    for (int x = 0; x < display::kHoldX; ++x) {
        if (x % display::kColumnsPerSemitone == 0) continue;  // grid lines stand over the bars
        const double v =
            std::log(std::strtod(last[3 + x].c_str(), nullptr)) * display::kPixelsPerLogUnit;
        const long long y = display::kUnitMagnitudeRow - static_cast<long long>(v);
        const int expectedTop =
            y >= kBase ? kNone : static_cast<int>(std::max<long long>(0, y + 1));
        int top = kNone;
        for (int row = 0; row <= kBase && top == kNone; ++row) {
            if ((image.at(x, row) & kGreen) == kGreen) top = row;
        }
        EXPECT_EQ(top, expectedTop) << "column " << x;
        compared += expectedTop < kNone;
    }
    EXPECT_GT(compared, 200);
}

// At 8 kHz the columns at and above 4 kHz (from 833, 4020 Hz) read 0: a 440 Hz tone has no
// alias near 7.56 kHz, neither in the numbers nor among the peaks.
TEST_F(HostAnalyse, AtEightKilohertzNothingReadsAtOrAboveHalfTheRate) {
    writeAudio(dir_.file("low.wav"), sine(440.0, 8000, 1.0, 1), 1, 8000, kFloatWav);
    const RunResult run =
        analyse({dir_.file("low.wav"), "--peaks", "2", "--out", dir_.file("low.csv")});
    EXPECT_NE(run.err.find("1.000 s: A4 +0 cents, 440.0 Hz"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("A#8"), std::string::npos) << run.err;
    const auto rows = lines(fileBytes(dir_.file("low.csv")));
    ASSERT_EQ(rows.size(), 11u);
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const auto row = fields(rows[r]);
        ASSERT_EQ(row.size(), 963u);
        for (int column = 0; column < 960; ++column) {
            if (column >= 833) {
                ASSERT_EQ(row[3 + column], "0") << "row " << r << ", column " << column;
            } else {
                ASSERT_GT(std::strtod(row[3 + column].c_str(), nullptr), 0.0)
                    << "row " << r << ", column " << column;
            }
        }
    }
}

// At a rate the analysis cannot serve the plug-in shows no bars, so analyse and the render
// readout refuse the file with one line naming the rate and the range served, and write
// nothing (44.1 kHz kernels read a 384 kHz A4 as about G#1).
TEST_F(HostAnalyse, AFileAtARateTheAnalysisCannotServeIsRefused) {
    writeAudio(dir_.file("high.wav"), sine(440.0, 384000, 0.3, 2), 2, 384000, kFloatWav);
    const std::string expected =
        "cannot analyse audio at 384000 Hz: the analysis serves 8000 to 192000 Hz";
    RunResult run =
        runHost({"analyse", dir_.file("high.wav"), "--peaks", "1", "--out", dir_.file("high.csv")});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find(expected), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(dir_.entries(), std::vector<std::string>{"high.wav"});

    if (!cqscopeHasEditor()) GTEST_SKIP() << "cqscope.so has no editor to read out";
    run = runHost({"render", dir_.file("high.wav"), "--plugin", cqscopePlugin(), "--at", "0.2",
                   "--peaks", "1", "--out", dir_.file("high.png")});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find(expected), std::string::npos) << run.err;
}

// The three formats hold the same numbers; held notes and the silence flag come along; a
// silent refresh still has its transform.
TEST_F(HostAnalyse, EveryFormatReadsBackTheSameRows) {
    // 0.5 s of A4, then 0.5 s of silence; MIDI holds A4 (69) from 0.25 s to 0.75 s.
    std::vector<float> audio = sine(440.0, 48000, 1.0, 1);
    std::fill(audio.begin() + 24000, audio.end(), 0.0f);
    writeAudio(dir_.file("s.wav"), audio, 1, 48000, kFloatWav);
    // 120 per minute at 480 ticks a beat: 960 ticks a second.
    writeFile(
        dir_.file("s.mid"),
        midiFile(0, 480,
                 {midiTrack({{240, "\x90\x45\x64"}, {480, std::string("\x80\x45\x00", 3)}})}));
    for (const char* type : {"csv", "json", "npy"}) {
        analyse({dir_.file("s.wav"), "--midi", dir_.file("s.mid"), "--every", "0.1", "--out",
                 dir_.file(std::string("s.") + type)});
    }
    const auto csv = lines(fileBytes(dir_.file("s.csv")));
    ASSERT_EQ(csv.size(), 11u);
    const auto row3 = fields(csv[3]), row6 = fields(csv[6]), row8 = fields(csv[8]);
    EXPECT_EQ(row3[0], "0.3");
    EXPECT_EQ(row3[2], "69");
    EXPECT_EQ(fields(csv[2])[2], "");
    EXPECT_EQ(row8[2], "");
    EXPECT_EQ(row3[1], "0");
    EXPECT_EQ(row6[1], "1");  // the last block before 0.6 s was silent
    EXPECT_GT(std::strtod(row6[3].c_str(), nullptr), 1e-4);  // 32.7 Hz's window still hears A4

    // .npy: version 1.0 header, shape (10, 960), little-endian doubles equal to the CSV's.
    const std::string npy = fileBytes(dir_.file("s.npy"));
    ASSERT_GT(npy.size(), 10u);
    ASSERT_EQ(npy.substr(0, 8), std::string("\x93NUMPY\x01\x00", 8));
    const size_t headerLength =
        static_cast<unsigned char>(npy[8]) + 256u * static_cast<unsigned char>(npy[9]);
    const std::string header = npy.substr(10, headerLength);
    EXPECT_EQ((10 + headerLength) % 64, 0u);
    EXPECT_NE(header.find("'descr': '<f8'"), std::string::npos) << header;
    EXPECT_NE(header.find("'fortran_order': False"), std::string::npos) << header;
    EXPECT_NE(header.find("'shape': (10, 960)"), std::string::npos) << header;
    ASSERT_EQ(npy.size(), 10 + headerLength + 10 * 960 * sizeof(double));
    for (int r = 0; r < 10; ++r) {
        const auto row = fields(csv[r + 1]);
        for (int column : {0, 449, 450, 959}) {
            double value;
            std::memcpy(&value, npy.data() + 10 + headerLength + (r * 960 + column) * 8, 8);
            EXPECT_EQ(value, std::strtod(row[3 + column].c_str(), nullptr)) << r << " " << column;
        }
    }
    const auto sidecar = lines(fileBytes(dir_.file("s.rows.csv")));
    ASSERT_EQ(sidecar.size(), 11u);
    EXPECT_EQ(sidecar[0], "time_s,silent,held_notes");
    EXPECT_EQ(sidecar[3], "0.3,0,69");

    // numpy and Python's json read the files as written (where numpy is installed).
    if (std::system("/usr/bin/python3 -c 'import numpy' 2>/dev/null") != 0) {
        GTEST_SKIP() << "no numpy for /usr/bin/python3";
    }
    const std::string check =
        "import csv, json, numpy; d = '" + dir_.path() +
        "'; a = numpy.load(d + '/s.npy'); j = json.load(open(d + '/s.json'));"
        " c = list(csv.reader(open(d + '/s.csv')))[1:];"
        " assert a.dtype == numpy.float64 and a.shape == (10, 960);"
        " assert len(j['bin_frequencies_hz']) == 960 and j['bin_frequencies_hz'][450] == 440.0;"
        " assert all(list(a[r]) == j['rows'][r]['magnitudes'] == [float(x) for x in c[r][3:]]"
        " for r in range(10));"
        " assert j['rows'][2]['held_notes'] == [69] and j['rows'][5]['silent'] is True";
    EXPECT_EQ(std::system(("/usr/bin/python3 -c \"" + check + "\"").c_str()), 0);
}

// The rows analyse writes (a batch of refreshes per pass over the kernels) are those the
// plug-in's analysis gives one refresh at a time after the same blocks, bit for bit: noise
// with silence in it, refreshes at a period that is no whole number of blocks.
TEST_F(HostAnalyse, RowsAreThePluginsRefreshByRefresh) {
    constexpr int kRate = 48000;
    std::vector<float> audio(static_cast<size_t>(2.5 * kRate) * 2);
    unsigned noise = 1;
    for (size_t i = 0; i < audio.size(); ++i) {
        noise = noise * 1664525u + 1013904223u;
        const bool silence = i >= 2 * 30000 && i < 2 * 90000;  // longer than every window
        audio[i] = silence ? 0.0f : static_cast<float>(noise >> 8) / 16777216.0f - 0.5f;
    }
    writeAudio(dir_.file("n.wav"), audio, 2, kRate, kFloatWav);
    constexpr double kPeriod = 0.07;
    analyse({dir_.file("n.wav"), "--every", "0.07", "--out", dir_.file("n.csv")});
    const auto rows = lines(fileBytes(dir_.file("n.csv")));
    ASSERT_EQ(rows.size(), 36u);  // header and 35 refreshes

    // The blocks analyse gives: whole blocks of 512 frames, each refresh after those that
    // end at or before its frame.
    cqhost::PluginAnalysis analysis(kRate);
    std::vector<float> left, right;
    long long position = 0;
    for (int k = 1; k <= 35; ++k) {
        const long long end = std::llround(k * kPeriod * kRate) / 512 * 512;
        while (position < end) {
            const long long blockEnd = std::min(end, (position / 512 + 1) * 512);
            left.clear();
            right.clear();
            for (long long f = position; f < blockEnd; ++f) {
                left.push_back(audio[2 * f]);
                right.push_back(audio[2 * f + 1]);
            }
            analysis.audio(left.data(), right.data(), static_cast<int>(left.size()));
            position = blockEnd;
        }
        analysis.transform();
        const auto row = fields(rows[k]);
        ASSERT_EQ(row.size(), 963u);
        EXPECT_EQ(row[1], analysis.silent() ? "1" : "0") << "refresh " << k;
        for (int c = 0; c < cqscope::kBinCount; ++c) {
            const double expected =
                analysis.magnitudes()[c / cqscope::kBinsPerOctave][c % cqscope::kBinsPerOctave];
            ASSERT_EQ(std::strtod(row[3 + c].c_str(), nullptr), expected)
                << "refresh " << k << ", column " << c;
        }
    }
}

// A steady tone is never called silent: a tone of 1/128 of the rate crosses zero at every
// block boundary, where a refresh that saw a block cut short at its frame would see a span of
// almost nothing. Every analyse row (each 0.8 s at 48 kHz and 0.4 s at 96 kHz lies on the
// grid), every --peaks line and every picture, on the grid and off it, shows the tone.
TEST_F(HostAnalyse, ASteadyToneIsNeverSilentOnOrOffTheBlockGrid) {
    for (int rate : {44100, 48000, 96000}) {
        const std::string name = std::to_string(rate);
        const std::string wav = dir_.file(name + ".wav");
        const double frequency = rate / 128.0;
        writeAudio(wav, sine(frequency, rate, 2.0, 2, 0.1), 2, rate, kFloatWav);
        const RunResult run = analyse({wav, "--peaks", "1", "--out", dir_.file(name + ".csv")});
        EXPECT_EQ(run.err.find("silent"), std::string::npos) << rate << ": " << run.err;
        const auto rows = lines(fileBytes(dir_.file(name + ".csv")));
        ASSERT_EQ(rows.size(), 21u) << rate;
        for (size_t r = 1; r < rows.size(); ++r) {
            EXPECT_EQ(fields(rows[r])[1], "0") << rate << " Hz, row " << r;
        }

        if (!cqscopeHasEditor()) continue;
        // 0.8 s is frame 38400 at 48 and 96 kHz, 75 and 150 blocks; 35840 is 70 blocks.
        const std::string onGrid = rate == 44100 ? std::to_string(35840.0 / 44100) : "0.8";
        const RunResult render =
            runHost({"render", wav, "--plugin", cqscopePlugin(), "--at", onGrid + ",1.0,1.37",
                     "--peaks", "1", "--out", dir_.file(name)});
        ASSERT_EQ(render.status, 0) << rate << ": " << render.err;
        EXPECT_EQ(render.err.find("silent"), std::string::npos) << rate << ": " << render.err;
        // The tone's bar stands around its column: 10 columns a semitone from A4 at 450.
        const int column = static_cast<int>(450 + 120 * std::log2(frequency / 440.0));
        constexpr std::uint32_t kGreen = display::pixelOf(display::kGreen);
        constexpr std::uint32_t kWhite = display::pixelOf(display::kWhite);
        for (int k = 1; k <= 3; ++k) {
            const Image image =
                readPng(dir_.file(name + "/frame-000" + std::to_string(k) + ".png"));
            bool bar = false;
            for (int x = column - 5; x <= column + 5 && !bar; ++x) {
                for (int y = 0; y <= display::kBarBaseRow && !bar; ++y) {
                    bar = (image.at(x, y) & kGreen) == kGreen && image.at(x, y) != kWhite;
                }
            }
            EXPECT_TRUE(bar) << rate << " Hz, picture " << k;
        }
    }
}

// Several files in one run: each gives DIR/NAME.TYPE, the same bytes as analysing it alone; a
// bad one among them gets one line, the others are written, and the exit status says so.
TEST_F(HostAnalyse, ManyFilesGoOnPastABadOne) {
    writeAudio(dir_.file("a.wav"), sine(440.0, 44100, 0.5, 2), 2, 44100, kFloatWav);
    writeAudio(dir_.file("b.flac"), sine(660.0, 48000, 0.4, 1), 1, 48000,
               SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    writeFile(dir_.file("bad.wav"), "RIFF, but not really a WAV file");
    const std::string out = dir_.file("out");  // made by analyse
    const RunResult run = runHost({"analyse", dir_.file("a.wav"), dir_.file("bad.wav"),
                                   dir_.file("b.flac"), "--out-dir", out, "--type", "json"});
    EXPECT_EQ(run.status, 1);
    const auto errors = lines(run.err);
    ASSERT_EQ(errors.size(), 2u) << run.err;
    EXPECT_EQ(errors[0].find("cqscope-host: " + dir_.file("bad.wav") + ": "), 0u) << run.err;
    EXPECT_EQ(errors[1], "cqscope-host: 1 of 3 audio files failed");
    EXPECT_EQ(lines(run.out).size(), 2u) << run.out;  // a "wrote" line for each good file
    ScratchDir alone;
    for (const char* name : {"a", "b"}) {
        const std::string audio =
            dir_.file(std::string(name) + (name[0] == 'a' ? ".wav" : ".flac"));
        analyse({audio, "--out", alone.file(std::string(name) + ".json")});
        EXPECT_EQ(fileBytes(out + "/" + name + ".json"),
                  fileBytes(alone.file(std::string(name) + ".json")))
            << name;
    }
    const std::vector<std::string> written = {"a.json", "b.json"};
    std::vector<std::string> entries;
    for (const auto& entry : std::filesystem::directory_iterator(out)) {
        entries.push_back(entry.path().filename().string());
    }
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, written);  // nothing of the bad one, no temporaries

    // All good: exit 0. Two inputs that would write one file: refused before any work.
    EXPECT_EQ(
        runHost({"analyse", dir_.file("a.wav"), dir_.file("b.flac"), "--out-dir", out}).status, 0);
    writeAudio(dir_.file("a.flac"), sine(440.0, 44100, 0.5, 1), 1, 44100,
               SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    ScratchDir clash;
    const RunResult refused = runHost({"analyse", dir_.file("b.flac"), dir_.file("a.wav"),
                                       dir_.file("a.flac"), "--out-dir", clash.path()});
    EXPECT_NE(refused.status, 0);
    EXPECT_NE(refused.err.find("would both be written to " + clash.path() + "/a.csv"),
              std::string::npos)
        << refused.err;
    EXPECT_TRUE(clash.entries().empty());
}

// Ctrl-C in the middle of a long analysis leaves neither the data, nor its sidecar, nor the
// readout behind, complete or partial.
TEST_F(HostAnalyse, InterruptLeavesNoOutput) {
    writeAudio(dir_.file("long.wav"), sine(440.0, 48000, 60.0, 1), 1, 48000);
    const auto before = dir_.entries();
    const pid_t child = ::fork();
    if (child == 0) {
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, STDERR_FILENO);
        ::dup2(quiet, STDOUT_FILENO);
        // The interrupt ends the process from its signal handler, whatever threads it has: a
        // transform's helper thread may be done and not yet joined, which the thread
        // sanitizer would report as a leak.
        const char* tsan = std::getenv("TSAN_OPTIONS");
        const std::string options =
            std::string(tsan != nullptr ? tsan : "") + ":report_thread_leaks=0";
        ::setenv("TSAN_OPTIONS", options.c_str(), 1);
        ::execl(CQHOST_BINARY, CQHOST_BINARY, "analyse", dir_.file("long.wav").c_str(), "--peaks",
                "3", "--peaks-out", dir_.file("p.txt").c_str(), "--out", dir_.file("d.npy").c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Interrupted once the rows are being written: the temporaries exist by then.
    bool running = false;
    for (int wait = 0; wait < 3000 && !running; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        running = dir_.entries().size() >= before.size() + 3;
    }
    ::kill(child, SIGINT);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(running) << "the analysis never started writing";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGINT);
    EXPECT_EQ(dir_.entries(), before);
}

// render --peaks: one line per picture for what the display shows; Hold keeps the readout of
// the frozen picture, while without it the silent end reads "silent".
TEST_F(HostAnalyse, RenderPrintsTheReadoutOfEachPicture) {
    if (!cqscopeHasEditor()) GTEST_SKIP() << "cqscope.so has no editor yet";
    std::vector<float> audio = sine(446.0, 44100, 1.0, 2);
    std::fill(audio.begin() + 44100, audio.end(), 0.0f);  // the second half is silent
    writeAudio(dir_.file("s.wav"), audio, 2, 44100, kFloatWav);
    RunResult run = runHost({"render", dir_.file("s.wav"), "--plugin", cqscopePlugin(), "--every",
                             "0.5", "--peaks", "1", "--out", dir_.file("frames")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "0.500 s: A4 +23 cents, 446.0 Hz\n1.000 s: silent\n");
    run = runHost({"render", dir_.file("s.wav"), "--plugin", cqscopePlugin(), "--every", "0.5",
                   "--hold-at", "0.5", "--peaks", "2", "--peaks-out", dir_.file("peaks.txt"),
                   "--out", dir_.file("held")});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto readout = lines(fileBytes(dir_.file("peaks.txt")));
    ASSERT_EQ(readout.size(), 2u);
    EXPECT_EQ(readout[0].rfind("0.500 s: A4 +23 cents, 446.0 Hz; ", 0), 0u) << readout[0];
    EXPECT_EQ(readout[1], "1.000 s" + readout[0].substr(7));
}

}  // namespace
}  // namespace cqhost_test
