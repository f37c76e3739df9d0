// Audio files through libsndfile: a block reader that hands out one or two planar channels,
// and a writer in the same format as a given input. Main thread only.
#pragma once

#include <sndfile.h>

#include <memory>
#include <string>
#include <vector>

#include "files/input_channels.h"
#include "files/output_file.h"

namespace cqhost {

// The full-scale value of an integer PCM format (32768 for 16-bit), or 0 for any other.
// libsndfile divides by 32768 when it reads 16-bit samples as floats but multiplies by 32767
// when it writes them, so a file passed through unchanged would come back altered; integer
// formats are therefore read and written unnormalised and scaled here by the same factor.
double integerFullScale(int format);

// For a RIFF WAV file whose data chunk promises more bytes than the file of `fileSize` bytes
// holds: a sentence saying how much the header promised and how much is there; otherwise "".
std::string wavTruncationNote(const std::string& path, long long fileSize);

// An open libsndfile handle, closed with its owner.
struct SoundFileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SoundFile = std::unique_ptr<SNDFILE, SoundFileCloser>;

class AudioReader {
  public:
    // Whether the reader tells the user of a WAV cut short (a second reader of a file already
    // opened does not tell again).
    enum class Warnings { Print, Silent };
    // Throws HostError for a missing or unreadable file, a file libsndfile does not take as
    // audio, and a file with more than two channels. A WAV cut short gets one warning line on
    // stderr (unless Silent), and what it holds is read.
    explicit AudioReader(const std::string& path, Warnings warnings = Warnings::Print);

    int channels() const { return info_.channels; }
    double sampleRate() const { return info_.samplerate; }
    long long frames() const { return info_.frames; }
    int format() const { return info_.format; }
    const std::string& path() const { return path_; }

    // Reads up to `frames` frames into left and right (a mono file fills both with the same
    // samples). Returns the number read; fewer than asked only at the end of the file.
    // Throws HostError on a read error.
    int read(float* left, float* right, int frames);
    // Back to the first frame, for another pass. Throws HostError.
    void rewind();

  private:
    std::string path_;
    SF_INFO info_{};
    SoundFile file_;
    std::vector<float> interleaved_;
    float readScale_ = 1.0f;
};

class AudioWriter {
  public:
    // Writes `channels` channels at `sampleRate` in libsndfile `format` into the temporary of
    // `output`. Throws HostError when the format cannot hold that layout.
    AudioWriter(AtomicOutputFile& output, int format, int channels, int sampleRate);

    // Writes `frames` frames from planar channel buffers. Throws HostError on failure.
    void write(const float* const* channelData, int frames);
    // Finishes the file (headers) so that the caller can commit it.
    void finish();

  private:
    AtomicOutputFile& output_;
    int channels_;
    SoundFile file_;
    std::vector<float> interleaved_;
    float writeScale_ = 1.0f;
};

}  // namespace cqhost
