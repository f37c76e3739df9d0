// Audio for the checks: buffers with guard tails around one effect's processReplacing, the
// test signals, and a short burst of noise that shows an effect still processes.
// Each rig belongs to the thread that runs it.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "formats/vst2/checks/vst2_checks.h"

namespace cqhost::validation {

class AudioRig {
  public:
    AudioRig(PluginHost& host, int maxFrames);

    std::vector<float>& input(int channel) { return inputs_[channel]; }
    const std::vector<float>& output(int channel) const { return outputs_[channel]; }
    int numInputs() const { return ins_; }
    int numOutputs() const { return outs_; }
    int maxFrames() const { return maxFrames_; }

    // Runs one block. Inputs must already hold `frames` samples; the guard tails after them
    // (and after the outputs) must come back untouched. In place: each output channel is the
    // input buffer of the same channel (only channels both sides have).
    void run(int frames, bool inPlace = false);

    // Every output channel equals its input channel, bit for bit.
    void expectPassThrough(int frames, const std::string& what) const;
    void expectFinite(int frames, const std::string& what) const;

  private:
    static constexpr int kTail = 64;
    static constexpr float kTailValue = -12345.678f;

    void checkTail(const std::vector<float>& buffer, int frames, const char* side, int channel);

    PluginHost& host_;
    int ins_, outs_, maxFrames_;
    std::vector<std::vector<float>> inputs_, outputs_, saved_;
    std::vector<float*> inPtr_, outPtr_;
};

enum class Signal { Silence, FullScale, Noise, NaN, PosInf, NegInf, Denormal, NegZero, Mixed };

const char* signalName(Signal s);

// Fills every input channel of the rig with `frames` samples of the signal.
void fillSignal(AudioRig& rig, Signal kind, int frames, std::mt19937_64& random);

// Processes a few blocks of noise and, for the analyser, checks the pass-through.
void exercise(PluginHost& host, const Subject& subject, std::mt19937_64& random,
              const std::string& what);

}  // namespace cqhost::validation
