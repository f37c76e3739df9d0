// `analyse`: streams an audio file (and its MIDI part) through cqscope's analysis, as the
// plug-in's audio callback and MIDI intake would get it in a render, and writes each
// refresh's time, silence flag, held notes and 960 magnitudes; optionally the note readout.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "analysis_writer.h"
#include "audio_file.h"
#include "commands.h"
#include "host_error.h"
#include "midi_file.h"
#include "peaks.h"
#include "plugin_analysis.h"
#include "progress.h"
#include "render_blocks.h"

namespace cqhost {
namespace {

std::string defaultDataPath(const std::string& audio) {
    const auto slash = audio.rfind('/');
    std::string name = slash == std::string::npos ? audio : audio.substr(slash + 1);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name + ".csv";
}

}  // namespace

int runAnalyse(const AnalyseOptions& options) {
    const std::string outPath = options.out ? *options.out : defaultDataPath(options.audio);
    checkAnalysisPath(outPath);
    AudioReader reader(options.audio);
    const double sampleRate = reader.sampleRate();
    const long long totalFrames = reader.frames();
    if (totalFrames <= 0) throw HostError("audio file " + options.audio + " has no frames");
    const double duration = static_cast<double>(totalFrames) / sampleRate;
    const double period = options.every.value_or(cqscope::DisplayModel::kRefreshPeriodSeconds);
    // The same small tolerance as render's, so that a period dividing the length reaches the end.
    const long long rows = static_cast<long long>(std::floor((duration + 1e-9) / period));
    if (rows < 1) {
        char text[128];
        std::snprintf(text, sizeof text,
                      "audio file %s (%.3f s) is shorter than one period (%.3f s)",
                      options.audio.c_str(), duration, period);
        throw HostError(text);
    }
    std::vector<TimedMidiMessage> midi;
    if (options.midi) midi = readMidiFile(*options.midi, sampleRate);

    PluginAnalysis analysis(sampleRate);
    AnalysisInfo info;
    info.sampleRate = sampleRate;
    info.analysisRate = analysis.analysisRate();
    info.period = period;
    std::unique_ptr<PeakReport> peaks;
    if (options.peaks) peaks = std::make_unique<PeakReport>(options.peaksOut);
    const std::unique_ptr<AnalysisWriter> writer = openAnalysisWriter(outPath, info);

    std::vector<float> left(kBlockSize), right(kBlockSize);
    ProgressBar progress("analyse", totalFrames);
    long long position = 0;
    size_t nextMidi = 0;
    AnalysisRow row;
    for (long long k = 1; k <= rows; ++k) {
        const long long rowFrame =
            std::min(totalFrames, std::llround(static_cast<double>(k) * period * sampleRate));
        // The blocks render gives the plug-in up to a refresh at the row's frame
        // (render_blocks.h); the MIDI events of each block arrive before it, as in render.
        const long long rowEnd = std::min(totalFrames, blockEndFor(rowFrame));
        while (position < rowEnd) {
            const int count = static_cast<int>(std::min(gridBlockEnd(position), rowEnd) - position);
            if (reader.read(left.data(), right.data(), count) != count) {
                throw HostError("audio file " + options.audio + " ended early");
            }
            const long long end = position + count;
            while (nextMidi < midi.size() && midi[nextMidi].frame < end) {
                analysis.midi(midi[nextMidi++].bytes);
            }
            analysis.audio(left.data(), right.data(), count);
            position = end;
        }
        analysis.transform();
        row.seconds = static_cast<double>(rowFrame) / sampleRate;
        row.silent = analysis.silent();
        row.heldNotes = analysis.heldNotes();
        writer->row(row, analysis.magnitudes());
        if (peaks) {
            peaks->line(peaksLine(row.seconds, row.silent,
                                  row.silent ? std::vector<Peak>{}
                                             : findPeaks(analysis.magnitudes(), *options.peaks)));
        }
        progress.update(position);
    }
    progress.finish();
    writer->finish();
    if (peaks) peaks->finish();
    std::printf("wrote %s (%lld rows)\n", outPath.c_str(), rows);
    return 0;
}

}  // namespace cqhost
