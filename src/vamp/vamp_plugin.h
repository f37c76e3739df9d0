// cqscope's analysis as a Vamp plug-in (Sonic Visualiser and other Vamp hosts): the display's
// refreshes, every 0.1 s of the audio, as three outputs, computed by the same analyser core as
// the other shells:
// - "magnitudes": the 960 magnitudes of the refresh, [octave][bin] in rising frequency;
// - "peaks": the strongest peaks of a refresh whose display shows bars (parameter "peaks",
//   1 to 10), each a feature of its frequency in Hz labelled "A4 +3 cents";
// - "silent": 1 where the display shows no bars (the span of the last audio is below its
//   threshold), 0 where it does.
//
// Refreshes lie on the frames round(k × 0.1 s × rate), k = 1, 2, ... (cqscope-host analyse's
// rows), and a refresh sees the audio of the host's blocks that end at or before its frame.
// With the preferred step and block size (512, cqscope-host's block grid) that is exactly what
// analyse sees, so the magnitudes are analyse's numbers (as floats, the type Vamp passes).
// With other block sizes the features keep their times, and the audio seen ends up to one
// host block before the refresh instead of up to 512 frames.
//
// Threads: a Vamp host calls every function of one instance from one thread at a time; nothing
// here is real-time (process allocates the features it returns).
#pragma once

#include <vamp-sdk/Plugin.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analysis/bin_layout.h"
#include "core/analyser_core.h"

namespace cqscope {

class VampPlugin : public Vamp::Plugin {
  public:
    // The plug-in's identifier in its library, and the library's name (cqscope-vamp.so).
    static constexpr const char* kIdentifier = "cqscope";
    // Output indexes, in the order getOutputDescriptors lists them.
    enum Output { kMagnitudes = 0, kPeaks = 1, kSilent = 2 };
    // The step and block size of cqscope-host's block grid, in frames.
    static constexpr int kGridBlock = 512;
    static constexpr int kDefaultPeaks = 3;
    static constexpr int kMaxPeaks = 10;

    explicit VampPlugin(float inputSampleRate);
    ~VampPlugin() override;

    std::string getIdentifier() const override { return kIdentifier; }
    std::string getName() const override;
    std::string getDescription() const override;
    std::string getMaker() const override;
    std::string getCopyright() const override;
    int getPluginVersion() const override { return 1; }

    ParameterList getParameterDescriptors() const override;
    float getParameter(std::string identifier) const override;
    void setParameter(std::string identifier, float value) override;

    InputDomain getInputDomain() const override { return TimeDomain; }
    size_t getPreferredBlockSize() const override { return kGridBlock; }
    size_t getPreferredStepSize() const override { return kGridBlock; }
    size_t getMinChannelCount() const override { return 1; }
    size_t getMaxChannelCount() const override { return 2; }
    OutputList getOutputDescriptors() const override;

    // Builds the kernels for the input rate (on this thread). Refuses, with a line on stderr
    // saying why (Vamp has no other way to tell), a rate the analysis cannot serve, kernels
    // that do not fit in memory, and channel counts or sizes the interface does not allow.
    bool initialise(size_t channels, size_t stepSize, size_t blockSize) override;
    // Forgets the audio: the next process starts a new stream (kernels are kept).
    void reset() override;
    // One block of `blockSize` frames per channel starting at `timestamp`; blocks follow each
    // other by `stepSize` frames. Answers the refreshes that lie before this block's end.
    FeatureSet process(const float* const* inputBuffers, Vamp::RealTime timestamp) override;
    // The refresh at the very end of the audio fed, if one lies there.
    FeatureSet getRemainingFeatures() override;

  private:
    // Refresh k's frame at the input rate (cqscope-host analyse's row k).
    std::int64_t refreshFrame(std::int64_t k) const;
    // Appends frames [fed_, end) to the analysis: `left` and `right` hold them (null: zeros).
    // The refreshes before `end` that are not yet answered are answered first, from the audio
    // up to fed_.
    void feed(const float* left, const float* right, std::int64_t end, FeatureSet& features);
    // Answers every refresh before frame `end` from the analysis as it stands.
    void answerRefreshesBefore(std::int64_t end, FeatureSet& features);
    void answerRefresh(std::int64_t frame, FeatureSet& features);

    std::unique_ptr<AnalyserCore> core_;
    int peakCount_ = kDefaultPeaks;
    size_t channels_ = 0;
    size_t stepSize_ = 0;
    size_t blockSize_ = 0;
    // The stream: frame of the first block (from its timestamp), blocks processed, frames
    // appended to the analysis (absolute frames), the next refresh to answer.
    bool streamStarted_ = false;
    std::int64_t firstFrame_ = 0;
    std::int64_t blocks_ = 0;
    std::int64_t fed_ = 0;
    std::int64_t nextRefresh_ = 1;
    std::vector<float> zeros_;  // one block of silence, for gaps between blocks
};

// The name of bin (octave, bin): its nearest note, the offset in cents where it is not on the
// note, and its frequency: "A4 440.0 Hz", "A4 +40 cents 450.3 Hz".
std::string binName(int octave, int bin);

}  // namespace cqscope
