// The audio blocks render hands the plug-in, which analyse copies so that its magnitudes and
// silence flags are those of the picture at the same instant: blocks lie on a fixed grid of
// kBlockSize frames, and a block ends early, just after the frame of a moment when something
// is due (a display refresh, the Hold click), so that the moment sees the audio and MIDI up
// to and including its frame. Nothing else cuts a block.
#pragma once

namespace cqhost {

constexpr int kBlockSize = 512;

// The end of the grid block that holds frame `position`.
inline long long gridBlockEnd(long long position) {
    return (position / kBlockSize + 1) * kBlockSize;
}

// Where a block ends for a moment at frame `frame`.
inline long long blockEndFor(long long frame) {
    return frame + 1;
}

}  // namespace cqhost
