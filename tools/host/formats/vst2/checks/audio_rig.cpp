#include "formats/vst2/checks/audio_rig.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>

namespace cqhost::validation {

AudioRig::AudioRig(PluginHost& host, int maxFrames)
    : host_(host),
      ins_(std::max(host.effect().numInputs, 0)),
      outs_(std::max(host.effect().numOutputs, 0)),
      maxFrames_(maxFrames) {
    inputs_.assign(ins_, std::vector<float>(maxFrames + kTail));
    outputs_.assign(outs_, std::vector<float>(maxFrames + kTail));
    inPtr_.assign(ins_ + 1, nullptr);
    outPtr_.assign(outs_ + 1, nullptr);
}

void AudioRig::run(int frames, bool inPlace) {
    for (auto& in : inputs_) std::fill(in.begin() + frames, in.end(), kTailValue);
    for (auto& out : outputs_) std::fill(out.begin(), out.end(), kTailValue);
    for (int i = 0; i < ins_; ++i) inPtr_[i] = inputs_[i].data();
    for (int o = 0; o < outs_; ++o) {
        outPtr_[o] = inPlace && o < ins_ ? inputs_[o].data() : outputs_[o].data();
    }
    if (inPlace) saved_ = inputs_;
    host_.effect().processReplacing(&host_.effect(), inPtr_.data(), outPtr_.data(), frames);
    for (int i = 0; i < ins_; ++i) checkTail(inputs_[i], frames, "input", i);
    for (int o = 0; o < outs_; ++o) {
        if (!(inPlace && o < ins_)) checkTail(outputs_[o], frames, "output", o);
    }
    if (inPlace) {
        // Results are read from the shared buffers; the originals were kept in saved_.
        for (int o = 0; o < outs_ && o < ins_; ++o) {
            std::copy(inputs_[o].begin(), inputs_[o].begin() + frames, outputs_[o].begin());
        }
        inputs_.swap(saved_);
    }
}

void AudioRig::expectPassThrough(int frames, const std::string& what) const {
    for (int c = 0; c < std::min(ins_, outs_); ++c) {
        if (frames > 0 && std::memcmp(inputs_[c].data(), outputs_[c].data(),
                                      sizeof(float) * static_cast<size_t>(frames)) != 0) {
            int k = 0;
            while (std::memcmp(&inputs_[c][k], &outputs_[c][k], sizeof(float)) == 0) ++k;
            fail(what + ": channel " + std::to_string(c) + " frame " + std::to_string(k) +
                 " is not passed through bit for bit");
        }
    }
}

void AudioRig::expectFinite(int frames, const std::string& what) const {
    for (int c = 0; c < outs_; ++c) {
        for (int k = 0; k < frames; ++k) {
            if (!std::isfinite(outputs_[c][k])) {
                fail(what + ": output channel " + std::to_string(c) + " frame " +
                     std::to_string(k) + " is not finite");
            }
        }
    }
}

void AudioRig::checkTail(const std::vector<float>& buffer, int frames, const char* side,
                         int channel) {
    const size_t from = static_cast<size_t>(std::max(frames, 0));
    for (size_t k = from; k < buffer.size(); ++k) {
        if (buffer[k] != kTailValue) {
            fail(std::string("block of ") + std::to_string(frames) + " frames: " + side +
                 " channel " + std::to_string(channel) + " written at frame " + std::to_string(k) +
                 ", past the end of the block");
        }
    }
}

const char* signalName(Signal s) {
    switch (s) {
        case Signal::Silence:
            return "silence";
        case Signal::FullScale:
            return "full scale";
        case Signal::Noise:
            return "noise";
        case Signal::NaN:
            return "NaN";
        case Signal::PosInf:
            return "+infinity";
        case Signal::NegInf:
            return "-infinity";
        case Signal::Denormal:
            return "denormals";
        case Signal::NegZero:
            return "-0.0";
        case Signal::Mixed:
            return "mixed specials";
    }
    return "?";
}

namespace {

float sampleOf(Signal kind, int k, std::mt19937_64& random) {
    static const float specials[] = {std::numeric_limits<float>::quiet_NaN(),
                                     std::numeric_limits<float>::infinity(),
                                     -std::numeric_limits<float>::infinity(),
                                     std::numeric_limits<float>::denorm_min(),
                                     -0.0f,
                                     1.0f,
                                     -1.0f,
                                     std::numeric_limits<float>::max()};
    switch (kind) {
        case Signal::Silence:
            return 0.0f;
        case Signal::FullScale:
            return (k / 50) % 2 == 0 ? 1.0f : -1.0f;
        case Signal::Noise:
            return std::uniform_real_distribution<float>(-1.0f, 1.0f)(random);
        case Signal::NaN:
            return std::numeric_limits<float>::quiet_NaN();
        case Signal::PosInf:
            return std::numeric_limits<float>::infinity();
        case Signal::NegInf:
            return -std::numeric_limits<float>::infinity();
        case Signal::Denormal:
            return std::numeric_limits<float>::denorm_min() * static_cast<float>(k % 100);
        case Signal::NegZero:
            return -0.0f;
        case Signal::Mixed:
            return specials[random() % std::size(specials)];
    }
    return 0.0f;
}

}  // namespace

void fillSignal(AudioRig& rig, Signal kind, int frames, std::mt19937_64& random) {
    for (int c = 0; c < rig.numInputs(); ++c) {
        auto& in = rig.input(c);
        for (int k = 0; k < frames; ++k) in[k] = sampleOf(kind, k, random);
    }
}

void exercise(PluginHost& host, const Subject& subject, std::mt19937_64& random,
              const std::string& what) {
    if (!subject.canReplace) return;
    AudioRig rig(host, 256);
    for (int block = 0; block < 3; ++block) {
        fillSignal(rig, Signal::Noise, 256, random);
        rig.run(256);
        if (expectationsFor(subject).passThrough) rig.expectPassThrough(256, what);
    }
}

}  // namespace cqhost::validation
