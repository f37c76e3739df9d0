// The note readout: the strongest local maxima of one refresh's 960 magnitudes, each as the
// nearest equal-tempered note (A4 = 440 Hz), its offset in cents and its frequency, placed
// between bins by interpolation. One finder for every place that names peaks (the window's
// labels, the host's readout lines, the analysis plug-in). Pure functions; any thread, but
// they allocate, so never the audio thread.
#pragma once

#include <string>
#include <vector>

#include "analysis/bin_layout.h"

namespace cqscope {

struct Peak {
    double frequency = 0.0;  // Hz, interpolated between bins
    double magnitude = 0.0;  // the bin's own magnitude (not interpolated)
    int note = 0;            // MIDI note number of the nearest equal-tempered note
    int cents = 0;           // offset from that note, -50..+49
};

// The `count` strongest local maxima, strongest first (equal ones lower bin first). A local
// maximum is an inner bin (not the first or the last of the 960) above its lower neighbour
// and not below its upper one, whose magnitude the display would draw as a bar (above e^-12);
// non-finite magnitudes never count.
//
// A steady sine's response across bins is the transform of the Hann window, sampled 1/120
// octave apart; near its top the logarithm of that lobe is very nearly a parabola in the
// log-frequency axis, so a parabola through the log magnitudes of the peak bin and its two
// neighbours places the sine's frequency to within 0.05 cents from C2 to C8 (the test sweeps
// it).
std::vector<Peak> findPeaks(const Magnitudes& magnitudes, int count);

// The peak for a frequency in Hz: nearest note and cents, rounded to whole cents first so
// that +50 cents reads as -50 cents of the note above.
Peak peakAt(double frequency, double magnitude);

// "A4", "C#5": the scientific pitch name of a MIDI note (60 is C4).
std::string noteName(int note);

// "A4 +23 cents": the peak's note and its offset (the analysis plug-in's label).
std::string noteAndCents(const Peak& peak);

// "A4 +23 cents, 446.0 Hz".
std::string describePeak(const Peak& peak);

// One readout line: "0.5 s: A4 +23 cents, 446.0 Hz; E5 -2 cents, 658.5 Hz", "0.6 s: silent"
// when the display shows no bars, "0.7 s: no peaks" when it shows bars without a maximum.
std::string peaksLine(double seconds, bool silent, const std::vector<Peak>& peaks);

// The readout line of a display at `seconds` that draws `magnitudes`: its `peakCount`
// strongest peaks when it shows bars, "silent" when it does not.
std::string readoutLine(double seconds, bool barsShown, const Magnitudes& magnitudes,
                        int peakCount);

}  // namespace cqscope
