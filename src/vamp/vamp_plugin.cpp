#include "vamp/vamp_plugin.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "analysis/peaks.h"
#include "display/display_model.h"

namespace cqscope {
namespace {

constexpr const char* kPeaksParameter = "peaks";

// The display's refresh rate, in features per second: the outputs' sample rate.
constexpr float kRefreshRate = static_cast<float>(1.0 / DisplayModel::kRefreshPeriodSeconds);

Vamp::RealTime timeOfFrame(std::int64_t frame, float rate) {
    // Vamp hosts play audio at whole rates; frame2RealTime keeps such times exact.
    return Vamp::RealTime::frame2RealTime(static_cast<long>(frame),
                                          static_cast<unsigned>(std::lround(rate)));
}

}  // namespace

std::string binName(int octave, int bin) {
    const Peak peak = peakAt(binFrequency(octave, bin), 0.0);
    char hertz[32];
    std::snprintf(hertz, sizeof hertz, " %.1f Hz", peak.frequency);
    return (peak.cents == 0 ? noteName(peak.note) : noteAndCents(peak)) + hertz;
}

VampPlugin::VampPlugin(float inputSampleRate) : Vamp::Plugin(inputSampleRate) {}

VampPlugin::~VampPlugin() = default;

std::string VampPlugin::getName() const {
    return "cqscope";
}

std::string VampPlugin::getDescription() const {
    return "cqscope's musical spectrum every 0.1 s: 960 constant-Q magnitudes (ten bins per "
           "semitone, C1 to about 8.3 kHz), the strongest peaks named by note and cents, and "
           "whether the display would be silent";
}

std::string VampPlugin::getMaker() const {
    return "the cqscope developers";
}

std::string VampPlugin::getCopyright() const {
    return "MIT License";
}

Vamp::Plugin::ParameterList VampPlugin::getParameterDescriptors() const {
    ParameterDescriptor peaks;
    peaks.identifier = kPeaksParameter;
    peaks.name = "Peaks";
    peaks.description = "How many of the strongest peaks each refresh gives";
    peaks.minValue = 1;
    peaks.maxValue = kMaxPeaks;
    peaks.defaultValue = kDefaultPeaks;
    peaks.isQuantized = true;
    peaks.quantizeStep = 1;
    return {peaks};
}

float VampPlugin::getParameter(std::string identifier) const {
    return identifier == kPeaksParameter ? static_cast<float>(peakCount_) : 0.0f;
}

void VampPlugin::setParameter(std::string identifier, float value) {
    if (identifier != kPeaksParameter || !std::isfinite(value)) return;
    peakCount_ = static_cast<int>(std::clamp(std::lround(value), 1L, static_cast<long>(kMaxPeaks)));
}

Vamp::Plugin::OutputList VampPlugin::getOutputDescriptors() const {
    OutputDescriptor magnitudes;
    magnitudes.identifier = "magnitudes";
    magnitudes.name = "Magnitudes";
    magnitudes.description =
        "The 960 constant-Q magnitudes of each refresh, C1 first (a sine of amplitude A at a "
        "bin's frequency gives that bin A/4)";
    magnitudes.hasFixedBinCount = true;
    magnitudes.binCount = kBinCount;
    magnitudes.binNames.reserve(kBinCount);
    for (int octave = 0; octave < kOctaves; ++octave) {
        for (int bin = 0; bin < kBinsPerOctave; ++bin) {
            magnitudes.binNames.push_back(binName(octave, bin));
        }
    }
    magnitudes.sampleType = OutputDescriptor::FixedSampleRate;
    magnitudes.sampleRate = kRefreshRate;

    OutputDescriptor peaks;
    peaks.identifier = "peaks";
    peaks.name = "Peaks";
    peaks.description =
        "The strongest peaks of each refresh that shows bars, strongest first: frequency in Hz, "
        "labelled with the nearest note and the offset in cents";
    peaks.unit = "Hz";
    peaks.hasFixedBinCount = true;
    peaks.binCount = 1;
    peaks.sampleType = OutputDescriptor::VariableSampleRate;
    peaks.sampleRate = kRefreshRate;

    OutputDescriptor silent;
    silent.identifier = "silent";
    silent.name = "Silent";
    silent.description = "1 where the display shows no bars (the audio is too quiet), else 0";
    silent.hasFixedBinCount = true;
    silent.binCount = 1;
    silent.hasKnownExtents = true;
    silent.minValue = 0;
    silent.maxValue = 1;
    silent.isQuantized = true;
    silent.quantizeStep = 1;
    silent.sampleType = OutputDescriptor::FixedSampleRate;
    silent.sampleRate = kRefreshRate;

    return {magnitudes, peaks, silent};
}

bool VampPlugin::initialise(size_t channels, size_t stepSize, size_t blockSize) {
    if (channels < getMinChannelCount() || channels > getMaxChannelCount()) {
        std::fprintf(stderr, "cqscope: %zu input channels: mono or stereo only\n", channels);
        return false;
    }
    if (stepSize == 0 || blockSize == 0 || blockSize > (1u << 24)) {
        std::fprintf(stderr, "cqscope: step size %zu and block size %zu are not usable\n", stepSize,
                     blockSize);
        return false;
    }
    // The analysis runs at the rate a plug-in holds, in single precision, as the other shells'.
    const double rate = m_inputSampleRate;
    try {
        auto core = std::make_unique<AnalyserCore>(rate);
        switch (core->startHere()) {
            case AnalyserCore::RateChange::unsupported:
                std::fprintf(stderr,
                             "cqscope: cannot analyse audio at %g Hz: the analysis serves %g to "
                             "%g Hz\n",
                             rate, kMinAnalysisRate, kMaxAnalysisRate);
                return false;
            case AnalyserCore::RateChange::outOfMemory:
                std::fprintf(stderr, "cqscope: out of memory for the analysis at %g Hz\n", rate);
                return false;
            default:
                break;
        }
        zeros_.assign(blockSize, 0.0f);
        core_ = std::move(core);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "cqscope: out of memory for the analysis at %g Hz\n", rate);
        return false;
    }
    channels_ = channels;
    stepSize_ = stepSize;
    blockSize_ = blockSize;
    streamStarted_ = false;
    return true;
}

void VampPlugin::reset() {
    if (!core_) return;
    // A new core with an empty history; built before the old one goes, so that the kernels,
    // shared by every analysis of one rate, are kept rather than built again.
    auto fresh = std::make_unique<AnalyserCore>(core_->sampleRate());
    (void)fresh->startHere();
    core_ = std::move(fresh);
    streamStarted_ = false;
}

std::int64_t VampPlugin::refreshFrame(std::int64_t k) const {
    // The same expression as analyse's rows, so that both pick the same frames.
    return std::llround(static_cast<double>(k) * DisplayModel::kRefreshPeriodSeconds *
                        static_cast<double>(m_inputSampleRate));
}

Vamp::Plugin::FeatureSet VampPlugin::process(const float* const* inputBuffers,
                                             Vamp::RealTime timestamp) {
    FeatureSet features;
    if (!core_ || inputBuffers == nullptr) return features;
    if (!streamStarted_) {
        // The stream's origin is the first block's frame; refreshes lie on the grid of the
        // audio's own time, after it.
        streamStarted_ = true;
        firstFrame_ = std::max<long>(
            0, Vamp::RealTime::realTime2Frame(
                   timestamp, static_cast<unsigned>(std::lround(m_inputSampleRate))));
        blocks_ = 0;
        fed_ = firstFrame_;
        nextRefresh_ = 1;
        while (refreshFrame(nextRefresh_) <= firstFrame_) ++nextRefresh_;
    }
    // Blocks follow each other by the step size, whatever rounding the timestamps carry.
    const std::int64_t start = firstFrame_ + blocks_ * static_cast<std::int64_t>(stepSize_);
    ++blocks_;
    // A step longer than the block leaves a gap: silence, as the host gave no audio there.
    while (fed_ < start) {
        const std::int64_t end = std::min(start, fed_ + static_cast<std::int64_t>(zeros_.size()));
        feed(nullptr, nullptr, end, features);
    }
    // A step shorter than the block repeats audio already fed: only what is new is appended.
    const std::int64_t end = start + static_cast<std::int64_t>(blockSize_);
    if (end > fed_) {
        const std::int64_t skip = fed_ - start;
        const float* left = inputBuffers[0] + skip;
        const float* right = (channels_ > 1 ? inputBuffers[1] : inputBuffers[0]) + skip;
        feed(left, right, end, features);
    }
    return features;
}

Vamp::Plugin::FeatureSet VampPlugin::getRemainingFeatures() {
    FeatureSet features;
    if (core_ && streamStarted_) answerRefreshesBefore(fed_ + 1, features);
    return features;
}

void VampPlugin::feed(const float* left, const float* right, std::int64_t end,
                      FeatureSet& features) {
    answerRefreshesBefore(end, features);
    const std::int32_t frames = static_cast<std::int32_t>(end - fed_);
    const float* inputs[2] = {left != nullptr ? left : zeros_.data(),
                              right != nullptr ? right : zeros_.data()};
    core_->audio(inputs, frames);
    fed_ = end;
}

void VampPlugin::answerRefreshesBefore(std::int64_t end, FeatureSet& features) {
    for (std::int64_t frame = refreshFrame(nextRefresh_); frame < end;
         frame = refreshFrame(++nextRefresh_)) {
        answerRefresh(frame, features);
    }
}

void VampPlugin::answerRefresh(std::int64_t frame, FeatureSet& features) {
    const Vamp::RealTime time = timeOfFrame(frame, m_inputSampleRate);
    const bool silent = !DisplayModel::loudEnough(core_->signalSpan());
    core_->transform();
    const Magnitudes& magnitudes = core_->analyser().magnitudes();

    Feature spectrum;
    spectrum.hasTimestamp = true;
    spectrum.timestamp = time;
    spectrum.values.reserve(kBinCount);
    for (const auto& octave : magnitudes) {
        for (double magnitude : octave) spectrum.values.push_back(static_cast<float>(magnitude));
    }
    features[kMagnitudes].push_back(std::move(spectrum));

    Feature flag;
    flag.hasTimestamp = true;
    flag.timestamp = time;
    flag.values.push_back(silent ? 1.0f : 0.0f);
    features[kSilent].push_back(std::move(flag));

    // As the display and the host's readout: peaks only where bars are shown.
    if (silent) return;
    for (const Peak& peak : findPeaks(magnitudes, peakCount_)) {
        Feature named;
        named.hasTimestamp = true;
        named.timestamp = time;
        named.values.push_back(static_cast<float>(peak.frequency));
        named.label = noteAndCents(peak);
        features[kPeaks].push_back(std::move(named));
    }
}

}  // namespace cqscope
