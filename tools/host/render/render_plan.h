// What a render will do, worked out and checked from its options before any work: the audio
// frames to capture, the MIDI to play, and where the captures go. Main thread only.
#pragma once

#include <string>
#include <vector>

#include "common/commands.h"
#include "files/midi_file.h"
#include "play/audio_source.h"
#include "render/render_clock.h"

namespace cqhost {

// What --out names: a single picture, numbered pictures in a folder, or a video.
enum class OutputKind { Picture, Numbered, Video };

struct RenderPlan {
    std::vector<long long> captureFrames;  // in audio frames, rising; never empty
    std::vector<TimedMidiMessage> midi;
    std::string outPath;
    OutputKind kind = OutputKind::Picture;
    FrameRate frameRate;                 // a video's
    std::optional<long long> holdFrame;  // the frame after which Hold is clicked
};

// Throws HostError with a one-line reason for options that do not fit the audio or each
// other, and for an unreadable MIDI file.
RenderPlan planRender(const RenderOptions& options, const AudioSource& audio,
                      const FrameTime& time);

}  // namespace cqhost
