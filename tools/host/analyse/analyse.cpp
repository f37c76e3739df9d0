// `analyse`: streams each audio file (and its MIDI part) through cqscope's analysis, as the
// plug-in's audio callback and MIDI intake would get it in a render, and writes each
// refresh's time, silence flag, held notes and 960 magnitudes; optionally the note readout.
//
// The plug-in's analysis takes every block, so the silence flags, held notes and the history
// are the plug-in's own; the magnitudes, which the plug-in computes one refresh at a time from
// its history, come from the batched transform over the same samples, bit for bit the same
// (cqscope::BatchTransform), a batch of refreshes per pass over the kernels.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <map>
#include <new>
#include <vector>

#include "analyse/peaks.h"
#include "analyse/plugin_analysis.h"
#include "analysis/batch_transform.h"
#include "analysis/peaks.h"
#include "common/commands.h"
#include "common/host_error.h"
#include "common/options.h"
#include "common/progress.h"
#include "files/analysis_writer.h"
#include "files/midi_file.h"
#include "files/output_file.h"
#include "play/audio_source.h"
#include "play/play_loop.h"

namespace cqhost {
namespace {

constexpr long long kCounterRange = 1LL << 32;

// Where the data of `audio` goes: --out, else NAME.TYPE in --out-dir or the current folder.
std::string dataPathFor(const std::string& audio, const AnalyseOptions& options) {
    if (options.out) return *options.out;
    const std::string name = fileStem(audio) + "." + options.type;
    if (!options.outDir) return name;
    const std::string& dir = *options.outDir;
    return dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name;
}

// The refreshes already taken in, whose magnitudes the next batched transform computes.
struct PendingRow {
    AnalysisRow row;
    long long end;  // one past the window's newest frame
};

// One file's run: the plug-in's analysis, played by the play loop as the plug-in would be
// (two inputs, no outputs), the mono history it stores kept in time order (from `tapeStart_`,
// the zeros before the first frame included), and the rows written in order, a batch at a time.
class FileAnalysis : public BlockProcessor {
  public:
    FileAnalysis(double sampleRate, double period)
        : analysis_(sampleRate),
          batch_(cqscope::KernelSet::forRate(analysis_.analysisRate())),
          batchSize_(batch_.batchSize(std::max(1LL, std::llround(period * sampleRate)))),
          tape_(batch_.historyLength(), 0.0),
          tapeStart_(-static_cast<long long>(batch_.historyLength())),
          magnitudes_(static_cast<size_t>(batchSize_)) {}

    // Where the rows go: the data file (its info completed with the analysis rate) and,
    // with `peaks`, the readout of `peakCount` peaks, each line after `peakPrefix`.
    void openOutput(const std::string& path, AnalysisInfo info, PeakReport* peaks, int peakCount,
                    std::string peakPrefix) {
        info.analysisRate = analysis_.analysisRate();
        writer_ = openAnalysisWriter(path, info);
        peaks_ = peaks;
        peakCount_ = peakCount;
        peakPrefix_ = std::move(peakPrefix);
    }

    int numInputs() const override { return 2; }
    int numOutputs() const override { return 0; }
    void addMidi(const TimedMidiMessage& message, int) override { analysis_.midi(message.bytes); }

    // The block's left and right inputs.
    void process(float* const* inputs, float* const*, int frames) override {
        const cqscope::ConstantQBank& bank = analysis_.bank();
        const std::uint32_t length = bank.historyLength();
        const std::uint32_t before = bank.writeCount();
        analysis_.audio(inputs[0], inputs[1], frames);
        for (int k = 0; k < frames; ++k) {
            tape_.push_back(bank.historyAt((before + static_cast<std::uint32_t>(k)) % length));
        }
        fed_ += frames;
    }

    // A refresh at `seconds`, after the whole blocks that end at or before it.
    void refresh(double seconds) {
        PendingRow pending{{seconds, analysis_.silent(), analysis_.heldNotes()}, fed_};
        if (!historyInTimeOrder()) {
            // The plug-in reads its history by 32-bit frame counts, which wrap near here: its
            // own transform gives what the plug-in would show.
            flush();
            analysis_.transform();
            emit(pending.row, analysis_.magnitudes());
            return;
        }
        pending_.push_back(std::move(pending));
        if (static_cast<int>(pending_.size()) == batchSize_) flush();
    }

    // The rows still pending, then the data file is moved into place.
    void finish() {
        flush();
        writer_->finish();
    }

  private:
    // Whether the plug-in's history, read at the current frame, is the last window of frames
    // in time order: true unless a wrap of its 32-bit frame counter lies within a window's
    // length of now.
    bool historyInTimeOrder() const {
        const long long length = batch_.historyLength();
        const long long nearestWrap = (fed_ + kCounterRange / 2) / kCounterRange * kCounterRange;
        return nearestWrap == 0 || std::llabs(fed_ - nearestWrap) > length;
    }

    void flush() {
        if (pending_.empty()) return;
        std::vector<std::int64_t> ends(pending_.size());
        for (size_t r = 0; r < pending_.size(); ++r) ends[r] = pending_[r].end - tapeStart_;
        batch_.transform(tape_.data(), ends.data(), static_cast<int>(ends.size()),
                         magnitudes_.data());
        for (size_t r = 0; r < pending_.size(); ++r) emit(pending_[r].row, magnitudes_[r]);
        pending_.clear();
        // Later windows start no earlier than a window's length before now.
        const long long keepFrom = fed_ - static_cast<long long>(batch_.historyLength());
        tape_.erase(tape_.begin(), tape_.begin() + (keepFrom - tapeStart_));
        tapeStart_ = keepFrom;
    }

    void emit(const AnalysisRow& row, const cqscope::Magnitudes& magnitudes) {
        writer_->row(row, magnitudes);
        if (!peaks_) return;
        peaks_->line(peakPrefix_ +
                     cqscope::readoutLine(row.seconds, !row.silent, magnitudes, peakCount_));
    }

    PluginAnalysis analysis_;
    cqscope::BatchTransform batch_;
    int batchSize_;
    std::unique_ptr<AnalysisWriter> writer_;
    PeakReport* peaks_ = nullptr;
    int peakCount_ = 0;
    std::string peakPrefix_;
    std::vector<double> tape_;
    long long tapeStart_;
    long long fed_ = 0;
    std::vector<PendingRow> pending_;
    std::vector<cqscope::Magnitudes> magnitudes_;
};

// Analyses one file into `outPath`; throws HostError (or another exception) on failure,
// leaving no data file behind.
void analyseFile(const std::string& audio, const std::string& outPath,
                 const AnalyseOptions& options, PeakReport* peaks, const std::string& peakPrefix) {
    checkAnalysisPath(outPath);
    AudioSource source(audio);
    const double sampleRate = source.sampleRate();
    const long long totalFrames = source.frames();
    if (totalFrames <= 0) throw HostError("audio file " + audio + " has no frames");
    const double duration = static_cast<double>(totalFrames) / sampleRate;
    const double period = options.every.value_or(cqscope::DisplayModel::kRefreshPeriodSeconds);
    // The same small tolerance as render's, so that a period dividing the length reaches the end.
    const long long rows = static_cast<long long>(std::floor((duration + kTimeTolerance) / period));
    if (rows < 1) {
        throw HostError("audio file " + audio + " (" + secondsText(duration) +
                        ") is shorter than one period (" + secondsText(period) + ")");
    }
    std::vector<TimedMidiMessage> midi;
    if (options.midi) midi = readMidiFile(*options.midi, sampleRate);

    std::unique_ptr<FileAnalysis> analysis;
    try {
        analysis = std::make_unique<FileAnalysis>(sampleRate, period);
    } catch (const std::bad_alloc&) {
        throw HostError("out of memory for the analysis of " + audio);
    }
    AnalysisInfo info;
    info.sampleRate = sampleRate;
    info.period = period;
    analysis->openOutput(outPath, info, peaks, options.peaks.value_or(0), peakPrefix);

    PlayLoop loop(*analysis, source, std::move(midi));
    ProgressBar progress("analyse " + fileStem(audio), totalFrames);
    long long position = 0;
    for (long long k = 1; k <= rows; ++k) {
        const long long rowFrame =
            std::min(totalFrames, std::llround(static_cast<double>(k) * period * sampleRate));
        // A refresh at the row's frame sees the whole blocks that end at or before it, each
        // after its MIDI events, as in render.
        const long long rowEnd = seenEnd(rowFrame, totalFrames);
        position = loop.playBlocks(position, rowEnd, totalFrames);
        if (position != rowEnd) throw HostError("audio file " + audio + " ended early");
        analysis->refresh(static_cast<double>(rowFrame) / sampleRate);
        progress.update(position);
    }
    analysis->finish();
    progress.finish();
    reportWritten("wrote " + outPath + " (" + std::to_string(rows) + " rows)");
}

// Creates --out-dir when it does not exist (its parent must).
void makeOutputFolder(const std::string& dir) {
    struct stat info {};
    if (::stat(dir.c_str(), &info) == 0) {
        if (!S_ISDIR(info.st_mode)) throw HostError("--out-dir " + dir + " is not a folder");
        return;
    }
    if (::mkdir(dir.c_str(), 0777) != 0) {
        throw HostError("cannot create folder " + dir + ": " + std::strerror(errno));
    }
}

}  // namespace

int runAnalyse(const AnalyseOptions& options) {
    // Two inputs that would write the same data file (a.wav and a.flac, or one file named
    // twice) are refused before anything is analysed: neither result may overwrite the other.
    std::map<std::string, std::string> inputOf;
    for (const std::string& audio : options.audio) {
        const std::string path = dataPathFor(audio, options);
        const auto [it, added] = inputOf.emplace(path, audio);
        if (!added) {
            throw HostError(it->second + " and " + audio + " would both be written to " + path +
                            "; analyse them into different folders or rename one");
        }
    }
    if (options.outDir) makeOutputFolder(*options.outDir);
    std::unique_ptr<PeakReport> peaks;
    if (options.peaks) peaks = std::make_unique<PeakReport>(options.peaksOut);

    const bool several = options.audio.size() > 1;
    int failed = 0;
    for (const std::string& audio : options.audio) {
        if (!several) {
            // One file: its failure is the command's, reported by main as ever.
            analyseFile(audio, dataPathFor(audio, options), options, peaks.get(), "");
            break;
        }
        try {
            analyseFile(audio, dataPathFor(audio, options), options, peaks.get(), audio + ": ");
        } catch (const std::bad_alloc&) {
            std::fprintf(stderr, "cqscope-host: %s: out of memory\n", audio.c_str());
            ++failed;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "cqscope-host: %s: %s\n", audio.c_str(), error.what());
            ++failed;
        }
    }
    if (peaks) peaks->finish();
    if (failed > 0) {
        std::fprintf(stderr, "cqscope-host: %d of %zu audio files failed\n", failed,
                     options.audio.size());
        return 1;
    }
    return 0;
}

namespace {

class AnalyseCommand : public Command {
  public:
    AnalyseCommand()
        : Command("analyse", "AUDIO...", "each display refresh's magnitudes as CSV, JSON or .npy",
                  "Writes the time, silence flag, held MIDI notes and 960 magnitudes of every\n"
                  "display refresh (every 0.1 s, or --every SECONDS) as CSV, JSON or NumPy (.npy,\n"
                  "with NAME.rows.csv beside it). Each AUDIO file gives NAME.csv (--type json,\n"
                  "npy: NAME.json, NAME.npy) in --out-dir DIR (made if missing) or the current\n"
                  "folder; a file that fails gets one line and the others go on; the exit status\n"
                  "is 1 if any failed. Two files of one NAME (a.wav, a.flac) are refused before\n"
                  "any work. Also: cqscope-host analyze.\n") {
        alias("analyze");
        path("--midi", "FILE", "a Standard MIDI File played with the audio (one AUDIO only)",
             [this](const std::string& file) { options_.midi = file; });
        value("--every", "SECONDS", "a row every SECONDS (default: the display's 0.1 s)",
              [this](const std::string& text) { options_.every = parsePeriod("--every", text); });
        path("--out", "DATA", "the data file of one AUDIO: DATA.csv, .json or .npy",
             [this](const std::string& path) { options_.out = path; });
        value("--out-dir", "DIR", "the folder for NAME.TYPE of each AUDIO",
              [this](const std::string& folder) {
                  if (folder.empty()) throw UsageError("--out-dir needs a folder");
                  options_.outDir = folder;
              });
        value("--type", "csv|json|npy", "the data type without --out (default csv)",
              [this](const std::string& type) {
                  if (type != "csv" && type != "json" && type != "npy") {
                      throw UsageError("--type needs csv, json or npy");
                  }
                  options_.type = type;
              });
        value("--peaks", "N",
              "prints the N strongest peaks of each refresh (note, cents, Hz)\non stderr",
              [this](const std::string& text) { options_.peaks = parsePeakCount(text); });
        path("--peaks-out", "FILE", "the peaks into FILE instead of stderr",
             [this](const std::string& file) { options_.peaksOut = file; });
    }

  private:
    int run(const std::vector<std::string>& operands) override {
        if (operands.empty()) throw UsageError("analyse needs an audio file");
        for (const std::string& audio : operands) {
            if (audio.empty()) throw UsageError("analyse needs audio files, not an empty path");
        }
        options_.audio = operands;
        if (options_.peaksOut && !options_.peaks) throw UsageError("--peaks-out needs --peaks N");
        if (options_.peaksOut && options_.out && *options_.peaksOut == *options_.out) {
            throw UsageError("--out and --peaks-out name the same file");
        }
        if (options_.out) {
            // A data type we cannot write is a mistake in the command line.
            try {
                checkAnalysisPath(*options_.out);
            } catch (const UsageError&) {
                throw;
            } catch (const HostError& error) {
                throw UsageError(error.what());
            }
        }
        if (options_.out && (options_.outDir || given("--type"))) {
            throw UsageError("--out names the data file; it takes neither --out-dir nor --type");
        }
        if (options_.audio.size() > 1 && options_.out) {
            throw UsageError("--out names one data file; for several audio files use --out-dir");
        }
        if (options_.audio.size() > 1 && options_.midi) {
            throw UsageError("--midi goes with one audio file");
        }
        return runAnalyse(options_);
    }

    AnalyseOptions options_;
};

}  // namespace

std::unique_ptr<Command> makeAnalyseCommand() {
    return std::make_unique<AnalyseCommand>();
}

}  // namespace cqhost
