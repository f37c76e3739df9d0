#include "audio_input.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "common/host_error.h"
#include "play/play_loop.h"

namespace winhost {
namespace {

using cqhost::HostError;

constexpr std::uint16_t kWavePcm = 1;
constexpr std::uint16_t kWaveFloat = 3;
constexpr std::uint16_t kWaveExtensible = 0xFFFE;

std::uint32_t le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::vector<unsigned char> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw HostError("cannot open audio file " + path);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    if (in.bad()) throw HostError("cannot read audio file " + path);
    return bytes;
}

// One sample of a WAV data chunk as a float in [-1, 1).
float wavSample(const unsigned char* p, std::uint16_t format, int bits) {
    if (format == kWaveFloat && bits == 32) {
        float value;
        std::memcpy(&value, p, 4);
        return value;
    }
    if (format == kWaveFloat && bits == 64) {
        double value;
        std::memcpy(&value, p, 8);
        return static_cast<float>(value);
    }
    switch (bits) {
        case 8:
            return static_cast<float>((p[0] - 128) / 128.0);
        case 16:
            return static_cast<float>(static_cast<std::int16_t>(le16(p)) / 32768.0);
        case 24: {
            std::int32_t v = p[0] | (p[1] << 8) | (p[2] << 16);
            if (v & 0x800000) v -= 0x1000000;
            return static_cast<float>(v / 8388608.0);
        }
        default:
            return static_cast<float>(static_cast<std::int32_t>(le32(p)) / 2147483648.0);
    }
}

}  // namespace

AudioInput::AudioInput(const std::optional<std::string>& path, double rawRate) {
    if (!path) {
        demo_ = true;
        sampleRate_ = cqhost::DemoSignal::kSampleRate;
        frames_ = demo.frames();
        midi_ = demo.midi();
        return;
    }
    const std::string& name = *path;
    const bool raw = name.size() >= 4 && (name.compare(name.size() - 4, 4, ".raw") == 0 ||
                                          name.compare(name.size() - 4, 4, ".RAW") == 0);
    if (raw) {
        readRaw(name, rawRate);
    } else {
        readWav(name);
    }
    if (frames_ == 0) throw HostError("audio file " + name + " has no frames");
}

void AudioInput::readRaw(const std::string& path, double rate) {
    if (!(rate > 0.0) || !std::isfinite(rate)) throw HostError("--rate must be positive");
    const std::vector<unsigned char> bytes = readFile(path);
    if (bytes.size() % 8 != 0) {
        throw HostError("raw audio file " + path +
                        " is not a whole number of 32-bit float stereo frames");
    }
    sampleRate_ = rate;
    frames_ = static_cast<long long>(bytes.size() / 8);
    left_.resize(frames_);
    right_.resize(frames_);
    for (long long i = 0; i < frames_; ++i) {
        std::memcpy(&left_[i], &bytes[i * 8], 4);
        std::memcpy(&right_[i], &bytes[i * 8 + 4], 4);
    }
}

void AudioInput::readWav(const std::string& path) {
    const std::vector<unsigned char> bytes = readFile(path);
    const auto notWav = [&](const std::string& why) {
        return HostError("audio file " + path + " is not a usable WAV file: " + why);
    };
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        throw notWav("no RIFF/WAVE header");
    }
    std::uint16_t format = 0, channels = 0, bits = 0;
    std::uint32_t rate = 0;
    const unsigned char* data = nullptr;
    size_t dataBytes = 0;
    size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        const unsigned char* chunk = bytes.data() + pos;
        const size_t size = le32(chunk + 4);
        const size_t available = std::min(size, bytes.size() - pos - 8);
        if (std::memcmp(chunk, "fmt ", 4) == 0 && available >= 16) {
            format = le16(chunk + 8);
            channels = le16(chunk + 10);
            rate = le32(chunk + 12);
            bits = le16(chunk + 22);
            if (format == kWaveExtensible && available >= 26) format = le16(chunk + 32);
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            data = chunk + 8;
            dataBytes = available;  // a truncated file keeps what it has
        }
        pos += 8 + size + (size & 1);
    }
    if (format == 0 || data == nullptr) throw notWav("no format or data chunk");
    if (format != kWavePcm && format != kWaveFloat) throw notWav("compressed samples");
    if (channels < 1 || channels > 2) {
        throw notWav(std::to_string(channels) + " channels (only mono and stereo)");
    }
    const bool bitsOk = format == kWaveFloat
                            ? (bits == 32 || bits == 64)
                            : (bits == 8 || bits == 16 || bits == 24 || bits == 32);
    if (!bitsOk) throw notWav(std::to_string(bits) + "-bit samples");
    if (rate == 0) throw notWav("sample rate 0");
    const size_t frameBytes = static_cast<size_t>(channels) * (bits / 8);
    sampleRate_ = rate;
    frames_ = static_cast<long long>(dataBytes / frameBytes);
    left_.resize(frames_);
    right_.resize(frames_);
    for (long long i = 0; i < frames_; ++i) {
        const unsigned char* frame = data + i * frameBytes;
        left_[i] = wavSample(frame, format, bits);
        // A mono file feeds both inputs.
        right_[i] = channels == 2 ? wavSample(frame + bits / 8, format, bits) : left_[i];
    }
}

void AudioInput::read(long long start, float* left, float* right, int count) const {
    if (demo_) {
        demo.read(start, left, right, count);
        return;
    }
    std::copy_n(left_.begin() + start, count, left);
    std::copy_n(right_.begin() + start, count, right);
}

long long AudioInput::captureFrame(std::optional<double> at) const {
    const double duration = static_cast<double>(frames_) / sampleRate_;
    const double seconds = at.value_or(demo_ ? kDemoCaptureSeconds : duration);
    cqhost::checkWithinAudio("time", seconds, duration);
    return std::min(frames_, std::llround(seconds * sampleRate_));
}

int InputBlocks::read(float* left, float* right, int count) {
    const int got = static_cast<int>(std::min<long long>(count, input_.frames() - position_));
    input_.read(position_, left, right, got);
    position_ += got;
    return got;
}

void playCapture(cqhost::HostedPlugin& plugin, const AudioInput& audio, long long end) {
    InputBlocks blocks(audio);
    cqhost::PlayLoop loop(plugin.processor(), blocks, audio.midi());
    for (long long position = 0; position < end;) {
        const int count = static_cast<int>(cqhost::blockEnd(position, end) - position);
        int played = 0;
        plugin.onAudioThread([&] { played = loop.play(position, count); });
        if (played != count) throw HostError("audio ended early while capturing");
        position += count;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        plugin.idle();
    }
}

}  // namespace winhost
