#include "play/audio_source.h"

#include <algorithm>

namespace cqhost {

AudioSource::AudioSource(const std::optional<std::string>& path, Repeat repeat,
                         AudioReader::Warnings warnings)
    : path_(path), repeat_(repeat) {
    if (path_) reader_ = std::make_unique<AudioReader>(*path_, warnings);
}

int AudioSource::readOnce(float* left, float* right, int count) {
    if (reader_) return reader_->read(left, right, count);
    const int available = static_cast<int>(std::min<long long>(count, demo_.frames() - position_));
    demo_.read(position_, left, right, available);
    position_ += available;
    return available;
}

int AudioSource::read(float* left, float* right, int count) {
    int done = readOnce(left, right, count);
    if (repeat_ == Repeat::Once) return done;
    while (done < count) {
        // The end of a pass: the next one from the start.
        if (reader_) {
            reader_->rewind();
        } else {
            position_ = 0;
        }
        const int got = readOnce(left + done, right + done, count - done);
        if (got == 0) break;  // an empty file
        done += got;
    }
    std::fill(left + done, left + count, 0.0f);
    std::fill(right + done, right + count, 0.0f);
    return count;
}

std::vector<TimedMidiMessage> AudioSource::midi() const {
    return reader_ ? std::vector<TimedMidiMessage>{} : demo_.midi();
}

}  // namespace cqhost
