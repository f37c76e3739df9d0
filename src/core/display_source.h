// What the display reads from its effect: the analysis results and the held-note table.
//
// Threads: every function is called on the user-interface thread, from the display window's
// message handling. signalSpan and noteState read values that the audio thread writes whole;
// prepareAnalysis, transform and magnitude work on state that only the user-interface thread
// touches (or that is handed over to it safely).
#pragma once

#include "analysis/bin_layout.h"

class DisplaySource {
  public:
    static constexpr int kOctaves = cqscope::kOctaves;
    static constexpr int kBinsPerOctave = cqscope::kBinsPerOctave;
    static constexpr int kNoteCount = 128;

    virtual ~DisplaySource() = default;

    // The peak-to-peak spread of the last audio block, extended back to at least 512 frames
    // (linear sample units; NaN possible).
    virtual float signalSpan() const noexcept = 0;

    // Called when the display opens and on every refresh before the span is read: has what
    // the analysis and the display's transform need built beside, when audio flows and
    // nothing was built for it yet. Returns at once.
    virtual void prepareAnalysis() {}

    // Recomputes every magnitude from the newest samples.
    virtual void transform() = 0;

    // Whether every magnitude from `low` to `high` is drawn alike (a pure function).
    using ShownAlike = bool (*)(double low, double high) noexcept;
    // Recomputes the magnitudes closely enough that each is drawn as its exact value would be,
    // as `shownAlike` tells; a source that cannot do better recomputes them exactly.
    virtual void transformShown(ShownAlike shownAlike) {
        (void)shownAlike;
        transform();
    }

    // The magnitude of bin (octave 0-7, bin 0-119), linear; left by the last transform.
    virtual double magnitude(int octave, int bin) const noexcept = 0;

    // The held-note byte of MIDI note 0-127: 1 while held, 0 otherwise.
    virtual unsigned char noteState(int note) const noexcept = 0;
};
