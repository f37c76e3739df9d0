// cqscope-vamp.so through its one entry, driven as a Vamp host drives it (the Vamp host SDK's
// adapter around the descriptor the entry gives): its magnitudes, silence flags and peaks
// against cqscope-host analyse's rows for the same song, other block sizes, refused rates and
// layouts, reset, and load-and-unload cycles.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <vamp-hostsdk/PluginHostAdapter.h>
#include <vamp/vamp.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <numbers>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "host_test_support.h"

// Read by the thread sanitizer's runtime only. Debian's Vamp SDK, linked into the library:
// its plug-in adapter takes its two locks in one order when it hands out the descriptor and in
// the other when it frees an instance, which would deadlock only if a host did both at once on
// two threads (these tests never do).
extern "C" const char* __tsan_default_suppressions();
extern "C" const char* __tsan_default_suppressions() {
    return "deadlock:PluginAdapterBase::Impl\n";
}

namespace {

using cqhost_test::Audio;
using cqhost_test::RunResult;
using cqhost_test::ScratchDir;
using Plugin = Vamp::Plugin;
using RealTime = Vamp::RealTime;

constexpr int kMagnitudes = 0, kPeaks = 1, kSilent = 2;
constexpr int kBins = 960;

using Descriptor = const VampPluginDescriptor* (*)(unsigned int, unsigned int);

// The library, loaded as a host loads it, and its one plug-in's descriptor.
class VampLibrary {
  public:
    VampLibrary() {
        handle_ = ::dlopen(CQSCOPE_VAMP_PATH, RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) {
            ADD_FAILURE() << "dlopen: " << ::dlerror();
            return;
        }
        const auto entry =
            reinterpret_cast<Descriptor>(::dlsym(handle_, "vampGetPluginDescriptor"));
        if (entry == nullptr) {
            ADD_FAILURE() << "no vampGetPluginDescriptor";
            return;
        }
        descriptor_ = entry(VAMP_API_VERSION, 0);
        second_ = entry(VAMP_API_VERSION, 1);
    }
    ~VampLibrary() {
        if (handle_ != nullptr) ::dlclose(handle_);
    }
    VampLibrary(const VampLibrary&) = delete;
    VampLibrary& operator=(const VampLibrary&) = delete;

    const VampPluginDescriptor* descriptor() const { return descriptor_; }
    const VampPluginDescriptor* second() const { return second_; }
    std::unique_ptr<Plugin> instantiate(float rate) const {
        return std::make_unique<Vamp::PluginHostAdapter>(descriptor_, rate);
    }

  private:
    void* handle_ = nullptr;
    const VampPluginDescriptor* descriptor_ = nullptr;
    const VampPluginDescriptor* second_ = nullptr;
};

const VampLibrary& library() {
    static const VampLibrary loaded;
    return loaded;
}

// An instance initialised at `rate` Hz, kept while a test runs others at that rate, so that
// they share its kernels rather than each building them again.
std::unique_ptr<Plugin> kernelKeeper(float rate) {
    auto plugin = library().instantiate(rate);
    EXPECT_TRUE(plugin->initialise(1, 512, 512));
    return plugin;
}

// Everything one run gives, per output, in the order given.
struct Features {
    std::map<int, Plugin::FeatureList> outputs;
    const Plugin::FeatureList& operator[](int output) { return outputs[output]; }
};

void append(Features& into, Plugin::FeatureSet&& set) {
    for (auto& [output, list] : set) {
        auto& to = into.outputs[output];
        to.insert(to.end(), list.begin(), list.end());
    }
}

// Plays interleaved `audio` through `plugin` as vamp-simple-host does: blocks of `block`
// frames every `step` frames from 0 while any audio is left, the last padded with zeros, each
// stamped with its first frame's time; then the remaining features.
Features play(Plugin& plugin, const Audio& audio, size_t step, size_t block) {
    const int channels = audio.channels;
    const long frames = static_cast<long>(audio.samples.size()) / channels;
    std::vector<std::vector<float>> buffers(channels, std::vector<float>(block));
    std::vector<const float*> pointers;
    for (const auto& buffer : buffers) pointers.push_back(buffer.data());
    Features features;
    for (long start = 0; start < frames; start += static_cast<long>(step)) {
        for (int c = 0; c < channels; ++c) {
            for (size_t k = 0; k < block; ++k) {
                const long frame = start + static_cast<long>(k);
                buffers[c][k] = frame < frames ? audio.samples[frame * channels + c] : 0.0f;
            }
        }
        append(features,
               plugin.process(pointers.data(), RealTime::frame2RealTime(start, audio.sampleRate)));
    }
    append(features, plugin.getRemainingFeatures());
    return features;
}

Features run(const Audio& audio, size_t step, size_t block, int peaks = 3) {
    auto plugin = library().instantiate(static_cast<float>(audio.sampleRate));
    plugin->setParameter("peaks", static_cast<float>(peaks));
    EXPECT_TRUE(plugin->initialise(audio.channels, step, block));
    return play(*plugin, audio, step, block);
}

long frameOf(const Plugin::Feature& feature, int rate) {
    EXPECT_TRUE(feature.hasTimestamp);
    return RealTime::realTime2Frame(feature.timestamp, rate);
}

// A stereo song of `seconds` at `rate`: an A4 left and an E5 right, a near-silence (below the
// display's threshold), then a detuned C major chord on both channels with a vibrato.
Audio song(int rate, double seconds) {
    Audio audio;
    audio.channels = 2;
    audio.sampleRate = rate;
    const long frames = std::lround(seconds * rate);
    for (long n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / rate;
        const auto tone = [t](double hz, double amplitude) {
            return amplitude * std::sin(2 * std::numbers::pi * hz * t);
        };
        double left = 0, right = 0;
        if (t < 1.0) {
            left = tone(440.0, 0.3);
            right = tone(659.255, 0.2);
        } else if (t < 1.5) {
            left = right = tone(1000.0, 0.001);
        } else {
            const double vibrato = 1.0 + 0.002 * std::sin(2 * std::numbers::pi * 5.0 * t);
            left = right = tone(261.0 * vibrato, 0.25) + tone(329.0, 0.2) + tone(392.9, 0.15);
        }
        audio.samples.push_back(static_cast<float>(left));
        audio.samples.push_back(static_cast<float>(right));
    }
    return audio;
}

// What analyse writes: the rows of its CSV file and the readout lines of --peaks.
struct AnalyseRow {
    long frame;
    bool silent;
    std::vector<double> magnitudes;
};

std::vector<AnalyseRow> readRows(const std::string& path, int rate) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);  // header
    std::vector<AnalyseRow> rows;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream split(line);
        for (std::string field; std::getline(split, field, ',');) fields.push_back(field);
        if (fields.size() != 3 + kBins) {
            ADD_FAILURE() << "a row of " << fields.size() << " fields";
            return rows;
        }
        AnalyseRow row{
            std::lround(std::strtod(fields[0].c_str(), nullptr) * rate), fields[1] == "1", {}};
        for (int b = 0; b < kBins; ++b) {
            row.magnitudes.push_back(std::strtod(fields[3 + b].c_str(), nullptr));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// "0.5 s: A4 +23 cents, 446.0 Hz; E5 -2 cents, 658.5 Hz" -> {"A4 +23 cents", "E5 -2 cents"};
// "silent" and "no peaks" lines give none.
std::vector<std::vector<std::string>> readPeakLabels(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> labels;
        const std::string peaks = line.substr(line.find(": ") + 2);
        if (peaks != "silent" && peaks != "no peaks") {
            std::stringstream split(peaks);
            for (std::string peak; std::getline(split, peak, ';');) {
                if (peak.front() == ' ') peak.erase(0, 1);
                labels.push_back(peak.substr(0, peak.find(',')));
            }
        }
        rows.push_back(labels);
    }
    return rows;
}

// The bits of a float, so that a mismatch shows exactly.
std::uint32_t bitsOf(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

TEST(VampPlugin, DescribesItselfAsHostsListIt) {
    ASSERT_NE(library().descriptor(), nullptr);
    EXPECT_EQ(library().second(), nullptr);
    auto plugin = library().instantiate(44100.0f);
    EXPECT_EQ(plugin->getIdentifier(), "cqscope");
    EXPECT_EQ(plugin->getInputDomain(), Plugin::TimeDomain);
    EXPECT_EQ(plugin->getPreferredStepSize(), 512u);
    EXPECT_EQ(plugin->getPreferredBlockSize(), 512u);
    EXPECT_EQ(plugin->getMinChannelCount(), 1u);
    EXPECT_EQ(plugin->getMaxChannelCount(), 2u);
    const Plugin::OutputList outputs = plugin->getOutputDescriptors();
    ASSERT_EQ(outputs.size(), 3u);
    EXPECT_EQ(outputs[kMagnitudes].identifier, "magnitudes");
    EXPECT_EQ(outputs[kPeaks].identifier, "peaks");
    EXPECT_EQ(outputs[kSilent].identifier, "silent");
    ASSERT_EQ(outputs[kMagnitudes].binCount, static_cast<size_t>(kBins));
    ASSERT_EQ(outputs[kMagnitudes].binNames.size(), static_cast<size_t>(kBins));
    EXPECT_EQ(outputs[kMagnitudes].binNames[0], "C1 32.7 Hz");
    EXPECT_EQ(outputs[kMagnitudes].binNames[450], "A4 440.0 Hz");
    EXPECT_EQ(outputs[kMagnitudes].binNames[454], "A4 +40 cents 450.3 Hz");
    EXPECT_EQ(outputs[kMagnitudes].binNames[456], "A#4 -40 cents 455.5 Hz");
    for (const auto& output : outputs) EXPECT_FLOAT_EQ(output.sampleRate, 10.0f);
    EXPECT_EQ(outputs[kPeaks].sampleType, Plugin::OutputDescriptor::VariableSampleRate);
    EXPECT_EQ(outputs[kPeaks].unit, "Hz");

    // The peak count: 1 to 10, whole numbers.
    const auto parameters = plugin->getParameterDescriptors();
    ASSERT_EQ(parameters.size(), 1u);
    EXPECT_EQ(parameters[0].identifier, "peaks");
    EXPECT_EQ(plugin->getParameter("peaks"), 3.0f);
    for (const auto& [given, kept] :
         {std::pair{7.4f, 7.0f}, {0.0f, 1.0f}, {99.0f, 10.0f}, {NAN, 10.0f}, {2.0f, 2.0f}}) {
        plugin->setParameter("peaks", given);
        EXPECT_EQ(plugin->getParameter("peaks"), kept) << given;
    }
}

// The song's 30 refreshes through the plug-in with the preferred sizes, against analyse's rows
// for the same file: the same times and silence flags, every one of the 960 magnitudes the
// same number (as a float), and the same peaks.
TEST(VampPlugin, PreferredBlocksGiveAnalyseRowsBitForBit) {
    ScratchDir dir;
    const Audio written = song(22050, 3.05);
    cqhost_test::writeAudio(dir.file("song.wav"), written.samples, 2, 22050);
    const RunResult analysed =
        cqhost_test::runHost({"analyse", dir.file("song.wav"), "--out", dir.file("rows.csv"),
                              "--peaks", "4", "--peaks-out", dir.file("peaks.txt")});
    ASSERT_EQ(analysed.status, 0) << analysed.err;
    const std::vector<AnalyseRow> rows = readRows(dir.file("rows.csv"), 22050);
    const auto labels = readPeakLabels(dir.file("peaks.txt"));
    ASSERT_EQ(rows.size(), 30u);
    ASSERT_EQ(labels.size(), rows.size());

    // The file as analyse read it.
    Features features = run(cqhost_test::readAudio(dir.file("song.wav")), 512, 512, 4);
    const auto& magnitudes = features[kMagnitudes];
    const auto& silent = features[kSilent];
    ASSERT_EQ(magnitudes.size(), rows.size());
    ASSERT_EQ(silent.size(), rows.size());
    std::map<long, std::vector<std::string>> peaksAt;
    for (const auto& peak : features[kPeaks]) {
        peaksAt[frameOf(peak, 22050)].push_back(peak.label);
        ASSERT_EQ(peak.values.size(), 1u);
    }

    int silentRows = 0, comparedBins = 0;
    for (size_t r = 0; r < rows.size(); ++r) {
        SCOPED_TRACE("row " + std::to_string(r));
        ASSERT_EQ(frameOf(magnitudes[r], 22050), rows[r].frame);
        ASSERT_EQ(frameOf(silent[r], 22050), rows[r].frame);
        ASSERT_EQ(silent[r].values, std::vector<float>{rows[r].silent ? 1.0f : 0.0f});
        silentRows += rows[r].silent;
        ASSERT_EQ(magnitudes[r].values.size(), static_cast<size_t>(kBins));
        for (int b = 0; b < kBins; ++b, ++comparedBins) {
            ASSERT_EQ(bitsOf(magnitudes[r].values[b]),
                      bitsOf(static_cast<float>(rows[r].magnitudes[b])))
                << "bin " << b << ": " << magnitudes[r].values[b] << " vs "
                << rows[r].magnitudes[b];
        }
        EXPECT_EQ(peaksAt[rows[r].frame], labels[r]);
    }
    // The song's near-silence reads silent, and everything was compared.
    EXPECT_GE(silentRows, 4);
    EXPECT_LT(silentRows, 10);
    EXPECT_EQ(comparedBins, 30 * kBins);
}

// A host that insists on other sizes gets the same refreshes at the same times; each sees the
// audio up to the last block end at or before it, so where that is the 512-frame grid's end
// too, the numbers are the preferred run's. Overlapping blocks append only what is new.
TEST(VampPlugin, OtherBlockSizesKeepTimesAndSeeUpToTheirLastBlockEnd) {
    const auto keeper = kernelKeeper(22050.0f);
    const Audio audio = song(22050, 2.0);
    Features preferred = run(audio, 512, 512);
    const auto& expected = preferred[kMagnitudes];
    ASSERT_EQ(expected.size(), 20u);
    for (const auto& [step, block] :
         {std::pair<size_t, size_t>{1024, 1024}, {256, 1024}, {128, 4096}}) {
        SCOPED_TRACE(std::to_string(step) + "/" + std::to_string(block));
        Features other = run(audio, step, block);
        const auto& got = other[kMagnitudes];
        // A refresh may fall in the zero padding of the host's last block (4096 frames here),
        // past the audio's end: hosts do not say where the audio ends.
        ASSERT_GE(got.size(), expected.size());
        ASSERT_LE(got.size(), expected.size() + 1);
        if (got.size() > expected.size()) {
            EXPECT_GT(frameOf(got.back(), 22050), static_cast<long>(audio.samples.size() / 2));
            EXPECT_GT(block, 512u);
        }
        int same = 0;
        for (size_t r = 0; r < expected.size(); ++r) {
            const long frame = frameOf(expected[r], 22050);
            ASSERT_EQ(frameOf(got[r], 22050), frame);
            // The last block end at or before the refresh: blocks end at start + block.
            const long seen = frame < static_cast<long>(block)
                                  ? 0
                                  : (frame - static_cast<long>(block)) / static_cast<long>(step) *
                                            static_cast<long>(step) +
                                        static_cast<long>(block);
            if (seen != frame / 512 * 512) continue;
            ++same;
            EXPECT_EQ(got[r].values, expected[r].values) << "row " << r;
        }
        EXPECT_GE(same, 2);
        EXPECT_EQ(other[kSilent].size(), got.size());
    }
}

// Sizes and rates the analysis cannot take are refused at initialise, saying why.
TEST(VampPlugin, RefusesUnservedRatesAndLayoutsWithAReason) {
    for (const float rate : {4000.0f, 384000.0f}) {
        auto plugin = library().instantiate(rate);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(plugin->initialise(1, 512, 512)) << rate;
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("cannot analyse audio at " + std::to_string(int(rate)) +
                            " Hz: the analysis serves 8000 to 192000 Hz"),
                  std::string::npos)
            << said;
        // A refused plug-in gives nothing and does not crash when driven all the same.
        const std::vector<float> block(512);
        const float* channels[] = {block.data()};
        EXPECT_TRUE(plugin->process(channels, RealTime::zeroTime).empty());
        EXPECT_TRUE(plugin->getRemainingFeatures().empty());
    }
    auto plugin = library().instantiate(44100.0f);
    for (const auto& [channels, step, block] : {std::tuple<size_t, size_t, size_t>{0, 512, 512},
                                                {3, 512, 512},
                                                {1, 0, 512},
                                                {1, 512, 0}}) {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(plugin->initialise(channels, step, block));
        EXPECT_NE(testing::internal::GetCapturedStderr(), "");
    }
}

// After reset the plug-in starts a new stream: what it gives is a fresh instance's.
TEST(VampPlugin, ResetStartsANewStream) {
    const Audio audio = song(22050, 1.2);
    auto plugin = library().instantiate(22050.0f);
    ASSERT_TRUE(plugin->initialise(2, 512, 512));
    Features fresh = run(audio, 512, 512);
    (void)play(*plugin, song(22050, 2.0), 512, 512);
    plugin->reset();
    Features again = play(*plugin, audio, 512, 512);
    ASSERT_EQ(again[kMagnitudes].size(), fresh[kMagnitudes].size());
    for (size_t r = 0; r < fresh[kMagnitudes].size(); ++r) {
        EXPECT_EQ(again[kMagnitudes][r].timestamp, fresh[kMagnitudes][r].timestamp);
        EXPECT_EQ(again[kMagnitudes][r].values, fresh[kMagnitudes][r].values) << r;
    }
}

int threadCount() {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        (void)entry;
        ++count;
    }
    return count;
}

// A hundred loads, each with an instance (every twentieth builds its kernels and analyses), then
// the unload: afterwards the library is no longer mapped and no thread of it is left.
TEST(VampPluginCycles, HundredLoadsAndUnloadsLeaveNothingMapped) {
    // Taken after the first cycle: a sanitizer's runtime may start a thread of its own then.
    int threadsAfterFirst = 0;
    std::vector<float> tone(512 * 20);
    for (size_t n = 0; n < tone.size(); ++n) tone[n] = 0.5f * std::sin(0.3f * n);
    for (int cycle = 0; cycle < 100; ++cycle) {
        void* handle = ::dlopen(CQSCOPE_VAMP_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << ::dlerror();
        const auto entry = reinterpret_cast<Descriptor>(::dlsym(handle, "vampGetPluginDescriptor"));
        ASSERT_NE(entry, nullptr);
        {
            // The lowest rate served: small kernels, so that a cycle costs milliseconds.
            Vamp::PluginHostAdapter plugin(entry(VAMP_API_VERSION, 0), 8000.0f);
            EXPECT_EQ(plugin.getOutputDescriptors().size(), 3u);
            if (cycle % 20 == 0) {
                ASSERT_TRUE(plugin.initialise(1, 512, 512)) << cycle;
                size_t rows = 0;
                for (size_t start = 0; start < tone.size(); start += 512) {
                    const float* channels[] = {tone.data() + start};
                    rows +=
                        plugin.process(channels, RealTime::frame2RealTime(start, 8000))[0].size();
                }
                EXPECT_EQ(rows, 12u) << cycle;
            }
        }
        ASSERT_EQ(::dlclose(handle), 0);
        if (cycle == 0) threadsAfterFirst = threadCount();
    }
    EXPECT_FALSE(cqhost_test::fileMapped(CQSCOPE_VAMP_PATH));
    EXPECT_EQ(threadCount(), threadsAfterFirst);
}

}  // namespace
