// The data files of `analyse`: one row per refresh with its time, the display's silence flag,
// the held MIDI notes and the 960 magnitudes. The type follows the file name's extension:
//   .csv   a header line, then one line per row: time_s, silent (0/1), held_notes (MIDI
//          numbers separated by spaces), then one column per bin, headed by its frequency;
//   .json  one object: rates, period, the bins' frequencies and an array of rows;
//   .npy   a float64 array of shape (rows, 960) that numpy loads as it is, beside a sidecar
//          NAME.rows.csv with each row's time_s, silent and held_notes.
// Magnitudes are written so that they read back as the same doubles. Rows stream to disk as
// they come; every file appears complete or not at all. Main thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "analysis/bin_layout.h"

namespace cqhost {

struct AnalysisRow {
    double seconds = 0.0;
    bool silent = false;
    std::vector<int> heldNotes;
};

struct AnalysisInfo {
    double sampleRate = 0.0;    // of the audio file, Hz
    double analysisRate = 0.0;  // of the kernels, Hz
    double period = 0.0;        // between rows, seconds
};

class AnalysisWriter {
  public:
    virtual ~AnalysisWriter() = default;
    virtual void row(const AnalysisRow& row, const cqscope::Magnitudes& magnitudes) = 0;
    // Completes the files and moves them into place.
    virtual void finish() = 0;
};

// Throws HostError, before creating anything, for an extension that is not one of the three,
// and when a file cannot be created.
void checkAnalysisPath(const std::string& path);
std::unique_ptr<AnalysisWriter> openAnalysisWriter(const std::string& path,
                                                   const AnalysisInfo& info);

// The sidecar of an .npy file: "data.npy" -> "data.rows.csv".
std::string npySidecarPath(const std::string& npyPath);

}  // namespace cqhost
