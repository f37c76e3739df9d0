// Video frames that repeat the frame before, written into an H.264 stream beside its encoder.
//
// Between two refreshes of the display a video's frames repeat (two in three at 30 frames a
// second). x264 works through a repeat at its fastest preset in nearly the time of a new
// frame. A repeat is written here instead as one slice whose macroblocks are all skipped,
// which every decoder shows as an exact copy of the frame before, in a few bytes and no time.
// Each such frame is a reference frame, so the encoder's own frames that follow are
// renumbered (their slices' frame_num) after them; nothing else of theirs changes.
//
// Only streams whose frames this can renumber and copy safely take it: CAVLC, 4:2:0, whole
// frames, picture order from frame numbers (no B-frames), one reference frame, no weighted
// prediction, no scaling matrices. forStream answers nothing for any other.
// Threads: one at a time (the thread that encodes the video's pictures).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace cqhost {

class H264Repeats {
  public:
    // From the encoder's stream headers (its sequence and picture parameter sets in Annex B
    // form, the codec's global header) for pictures of width x height.
    static std::optional<H264Repeats> forStream(const std::uint8_t* headers, int size, int width,
                                                int height);

    // Renumbers the slices of the encoder's next coded frame (Annex B, one access unit) after
    // the repeats written so far. Answers false, leaving `frame` as it was, for a frame that
    // is not of the stream forStream vouched for.
    bool renumber(std::vector<std::uint8_t>& frame);

    // The next frame: a copy of the frame before (Annex B, one access unit).
    std::vector<std::uint8_t> repeat();

    // Parsed stream facts, exposed for the tests.
    int frameNumBits() const { return frameNumBits_; }
    int macroblocks() const { return macroblocks_; }

  private:
    H264Repeats() = default;
    // The frame number the next frame gets.
    std::uint32_t nextFrameNum(bool idr) const;

    int frameNumBits_ = 0;  // log2 of MaxFrameNum
    int macroblocks_ = 0;   // per frame
    std::uint32_t ppsId_ = 0;
    bool deblockingControl_ = false;  // slices say whether to deblock
    std::uint32_t previousRefFrameNum_ = 0;
};

}  // namespace cqhost
