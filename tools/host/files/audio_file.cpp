#include "files/audio_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "common/host_error.h"

namespace cqhost {
namespace {

std::uint32_t littleEndian32(const unsigned char* bytes) {
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// "1.000 s (48000 frames)", or only the seconds when frames are not whole blocks.
std::string amountText(std::uint64_t bytes, std::uint32_t bytesPerSecond,
                       std::uint32_t blockAlign) {
    char text[96];
    if (blockAlign > 0) {
        std::snprintf(text, sizeof text, "%.3f s (%llu frames)",
                      static_cast<double>(bytes) / bytesPerSecond,
                      static_cast<unsigned long long>(bytes / blockAlign));
    } else {
        std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(bytes) / bytesPerSecond);
    }
    return text;
}

}  // namespace

std::string wavTruncationNote(const std::string& path, long long fileSize) {
    std::ifstream in(path, std::ios::binary);
    unsigned char riff[12];
    if (!in.read(reinterpret_cast<char*>(riff), sizeof riff) || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0) {
        return "";
    }
    std::uint32_t bytesPerSecond = 0, blockAlign = 0;
    long long offset = 12;
    // A chunk header at a time (id and size); the walk stops at the data chunk, after a
    // bounded number of chunks, or at the end of the file.
    for (int chunk = 0; chunk < 64 && offset + 8 <= fileSize; ++chunk) {
        unsigned char header[24];
        in.seekg(offset);
        if (!in.read(reinterpret_cast<char*>(header), 8)) return "";
        const std::uint32_t size = littleEndian32(header + 4);
        if (std::memcmp(header, "fmt ", 4) == 0 && size >= 16) {
            // Format tag, channels, sample rate, bytes a second, block size.
            if (!in.read(reinterpret_cast<char*>(header + 8), 16)) return "";
            bytesPerSecond = littleEndian32(header + 16);
            blockAlign = header[20] | header[21] << 8;
        } else if (std::memcmp(header, "data", 4) == 0) {
            // 0 and 0xFFFFFFFF stand for "length unknown" in a WAV written to a stream.
            const long long available = fileSize - (offset + 8);
            if (size == 0 || size == 0xFFFFFFFFu || size <= available || bytesPerSecond == 0) {
                return "";
            }
            return path + " is cut short: its header promises " +
                   amountText(size, bytesPerSecond, blockAlign) + " of audio but the file holds " +
                   amountText(static_cast<std::uint64_t>(std::max(0LL, available)), bytesPerSecond,
                              blockAlign) +
                   "; going on with what is there";
        }
        offset += 8 + static_cast<long long>(size) + (size & 1);
    }
    return "";
}

double integerFullScale(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
            return 128.0;
        case SF_FORMAT_PCM_16:
            return 32768.0;
        case SF_FORMAT_PCM_24:
            return 8388608.0;
        case SF_FORMAT_PCM_32:
            return 2147483648.0;
        default:
            return 0.0;
    }
}

AudioReader::AudioReader(const std::string& path, Warnings warnings) : path_(path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        throw HostError("cannot open audio file " + path + ": " + std::strerror(errno));
    }
    if (S_ISDIR(status.st_mode)) throw HostError("audio file " + path + " is a folder");
    file_.reset(sf_open(path.c_str(), SFM_READ, &info_));
    if (!file_) {
        throw HostError("cannot read " + path + " as audio: " + sf_strerror(nullptr));
    }
    // libsndfile reads a WAV cut short without a word: the user hears of it here.
    if (warnings == Warnings::Print && S_ISREG(status.st_mode) &&
        (info_.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV) {
        const std::string note = wavTruncationNote(path, status.st_size);
        if (!note.empty()) std::fprintf(stderr, "cqscope-host: warning: %s\n", note.c_str());
    }
    if (info_.channels > 2) {
        throw HostError("audio file " + path + " has " + std::to_string(info_.channels) +
                        " channels; only mono and stereo files are supported");
    }
    if (const double fullScale = integerFullScale(info_.format); fullScale > 0.0) {
        sf_command(file_.get(), SFC_SET_NORM_FLOAT, nullptr, SF_FALSE);
        readScale_ = static_cast<float>(1.0 / fullScale);
    }
    if (info_.samplerate <= 0) {
        throw HostError("audio file " + path + " has no valid sample rate");
    }
}

void AudioReader::rewind() {
    if (sf_seek(file_.get(), 0, SEEK_SET) != 0) {
        throw HostError("error reading " + path_ + ": " + sf_strerror(file_.get()));
    }
}

int AudioReader::read(float* left, float* right, int frames) {
    interleaved_.resize(static_cast<size_t>(frames) * info_.channels);
    const sf_count_t got = sf_readf_float(file_.get(), interleaved_.data(), frames);
    if (got < 0 || (got < frames && sf_error(file_.get()) != SF_ERR_NO_ERROR)) {
        throw HostError("error reading " + path_ + ": " + sf_strerror(file_.get()));
    }
    const int count = static_cast<int>(got);
    if (readScale_ != 1.0f) {
        for (float& sample : interleaved_) sample *= readScale_;
    }
    if (info_.channels == 1) {
        for (int i = 0; i < count; ++i) left[i] = right[i] = interleaved_[i];
    } else {
        for (int i = 0; i < count; ++i) {
            left[i] = interleaved_[2 * i];
            right[i] = interleaved_[2 * i + 1];
        }
    }
    return count;
}

AudioWriter::AudioWriter(AtomicOutputFile& output, int format, int channels, int sampleRate)
    : output_(output), channels_(channels) {
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = sampleRate;
    if (!sf_format_check(&info)) {
        throw HostError("cannot write " + output.destination() +
                        ": libsndfile cannot write this input's format");
    }
    // libsndfile does not close the descriptor; AtomicOutputFile still owns it.
    file_.reset(sf_open_fd(output.fd(), SFM_WRITE, &info, SF_FALSE));
    if (!file_) {
        throw HostError("cannot write " + output.destination() + ": " + sf_strerror(nullptr));
    }
    if (const double fullScale = integerFullScale(format); fullScale > 0.0) {
        sf_command(file_.get(), SFC_SET_NORM_FLOAT, nullptr, SF_FALSE);
        writeScale_ = static_cast<float>(fullScale);
    }
    // Samples beyond full scale are clipped rather than wrapped around.
    sf_command(file_.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

void AudioWriter::write(const float* const* channelData, int frames) {
    interleaved_.resize(static_cast<size_t>(frames) * channels_);
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < channels_; ++c) {
            interleaved_[i * channels_ + c] = channelData[c][i] * writeScale_;
        }
    }
    if (sf_writef_float(file_.get(), interleaved_.data(), frames) != frames) {
        throw HostError("cannot write " + output_.destination() + ": " + sf_strerror(file_.get()));
    }
}

void AudioWriter::finish() {
    sf_write_sync(file_.get());
    const int closed = sf_close(file_.release());
    if (closed != 0) {
        throw HostError("cannot write " + output_.destination() + ": " + sf_error_number(closed));
    }
}

}  // namespace cqhost
