#include "analysis/peaks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace cqscope {
namespace {

// The display draws a bar only for magnitudes above e^-12 (50 pixels per natural-log unit
// from row -100 down to row 500); smaller maxima are invisible and mostly rounding noise.
const double kSmallestShown = std::exp(-12.0);

constexpr const char* kPitchClasses[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                           "F#", "G",  "G#", "A",  "A#", "B"};

}  // namespace

Peak peakAt(double frequency, double magnitude) {
    Peak peak;
    peak.frequency = frequency;
    peak.magnitude = magnitude;
    const long long fromA4 = std::llround(1200.0 * std::log2(frequency / 440.0));
    // Floor division, so that notes below A4 round the same way as those above.
    const long long semitones = (fromA4 + 50 >= 0) ? (fromA4 + 50) / 100 : -((49 - fromA4) / 100);
    peak.note = static_cast<int>(69 + semitones);
    peak.cents = static_cast<int>(fromA4 - 100 * semitones);
    return peak;
}

std::vector<Peak> findPeaks(const Magnitudes& magnitudes, int count) {
    const auto at = [&](int column) {
        return magnitudes[column / kBinsPerOctave][column % kBinsPerOctave];
    };
    struct Candidate {
        int column;
        double magnitude;
    };
    std::vector<Candidate> maxima;
    for (int column = 1; column + 1 < kBinCount; ++column) {
        const double m = at(column), below = at(column - 1), above = at(column + 1);
        if (!std::isfinite(m) || !(m > kSmallestShown)) continue;
        if (m > below && m >= above) maxima.push_back({column, m});
    }
    std::stable_sort(maxima.begin(), maxima.end(), [](const Candidate& a, const Candidate& b) {
        return a.magnitude > b.magnitude;
    });
    if (count >= 0 && maxima.size() > static_cast<size_t>(count)) maxima.resize(count);

    std::vector<Peak> peaks;
    peaks.reserve(maxima.size());
    for (const Candidate& c : maxima) {
        const double below = at(c.column - 1), above = at(c.column + 1);
        // Vertex of the parabola through (-1, ln below), (0, ln m), (+1, ln above), in bins.
        double offset = 0.0;
        if (below > 0.0 && above > 0.0 && std::isfinite(below) && std::isfinite(above)) {
            const double a = std::log(below), b = std::log(c.magnitude), d = std::log(above);
            const double curvature = a - 2.0 * b + d;
            if (curvature < 0.0) offset = std::clamp(0.5 * (a - d) / curvature, -0.5, 0.5);
        }
        const double centre = binFrequency(c.column / kBinsPerOctave, c.column % kBinsPerOctave);
        peaks.push_back(peakAt(centre * std::exp2(offset / kBinsPerOctave), c.magnitude));
    }
    return peaks;
}

std::string noteName(int note) {
    const int pitchClass = ((note % 12) + 12) % 12;
    const int octave = (note - pitchClass) / 12 - 1;
    return kPitchClasses[pitchClass] + std::to_string(octave);
}

std::string noteAndCents(const Peak& peak) {
    char text[32];
    std::snprintf(text, sizeof text, " %+d cents", peak.cents);
    return noteName(peak.note) + text;
}

std::string describePeak(const Peak& peak) {
    char text[32];
    std::snprintf(text, sizeof text, ", %.1f Hz", peak.frequency);
    return noteAndCents(peak) + text;
}

std::string peaksLine(double seconds, bool silent, const std::vector<Peak>& peaks) {
    char time[40];
    std::snprintf(time, sizeof time, "%.3f s: ", seconds);
    std::string line = time;
    if (silent) return line + "silent";
    if (peaks.empty()) return line + "no peaks";
    for (size_t i = 0; i < peaks.size(); ++i) {
        if (i > 0) line += "; ";
        line += describePeak(peaks[i]);
    }
    return line;
}

std::string readoutLine(double seconds, bool barsShown, const Magnitudes& magnitudes,
                        int peakCount) {
    return peaksLine(seconds, !barsShown,
                     barsShown ? findPeaks(magnitudes, peakCount) : std::vector<Peak>{});
}

}  // namespace cqscope
