#include "audio_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "host_error.h"

namespace cqhost {

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

AudioReader::AudioReader(const std::string& path) : path_(path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        throw HostError("cannot open audio file " + path + ": " + std::strerror(errno));
    }
    if (S_ISDIR(status.st_mode)) throw HostError("audio file " + path + " is a folder");
    file_ = sf_open(path.c_str(), SFM_READ, &info_);
    if (file_ == nullptr) {
        throw HostError("cannot read " + path + " as audio: " + sf_strerror(nullptr));
    }
    if (info_.channels > 2) {
        const int channels = info_.channels;
        sf_close(file_);
        file_ = nullptr;
        throw HostError("audio file " + path + " has " + std::to_string(channels) +
                        " channels; only mono and stereo files are supported");
    }
    if (const double fullScale = integerFullScale(info_.format); fullScale > 0.0) {
        sf_command(file_, SFC_SET_NORM_FLOAT, nullptr, SF_FALSE);
        readScale_ = static_cast<float>(1.0 / fullScale);
    }
    if (info_.samplerate <= 0) {
        sf_close(file_);
        file_ = nullptr;
        throw HostError("audio file " + path + " has no valid sample rate");
    }
}

AudioReader::~AudioReader() {
    if (file_ != nullptr) sf_close(file_);
}

int AudioReader::read(float* left, float* right, int frames) {
    interleaved_.resize(static_cast<size_t>(frames) * info_.channels);
    const sf_count_t got = sf_readf_float(file_, interleaved_.data(), frames);
    if (got < 0 || (got < frames && sf_error(file_) != SF_ERR_NO_ERROR)) {
        throw HostError("error reading " + path_ + ": " + sf_strerror(file_));
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
    file_ = sf_open_fd(output.fd(), SFM_WRITE, &info, SF_FALSE);
    if (file_ == nullptr) {
        throw HostError("cannot write " + output.destination() + ": " + sf_strerror(nullptr));
    }
    if (const double fullScale = integerFullScale(format); fullScale > 0.0) {
        sf_command(file_, SFC_SET_NORM_FLOAT, nullptr, SF_FALSE);
        writeScale_ = static_cast<float>(fullScale);
    }
    // Samples beyond full scale are clipped rather than wrapped around.
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

AudioWriter::~AudioWriter() {
    if (file_ != nullptr) sf_close(file_);
}

void AudioWriter::write(const float* const* channelData, int frames) {
    interleaved_.resize(static_cast<size_t>(frames) * channels_);
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < channels_; ++c) {
            interleaved_[i * channels_ + c] = channelData[c][i] * writeScale_;
        }
    }
    if (sf_writef_float(file_, interleaved_.data(), frames) != frames) {
        throw HostError("cannot write " + output_.destination() + ": " + sf_strerror(file_));
    }
}

void AudioWriter::finish() {
    sf_write_sync(file_);
    const int closed = sf_close(file_);
    file_ = nullptr;
    if (closed != 0) {
        throw HostError("cannot write " + output_.destination() + ": " + sf_error_number(closed));
    }
}

}  // namespace cqhost
