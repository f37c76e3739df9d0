#include "files/analysis_writer.h"

#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "common/host_error.h"
#include "files/output_file.h"

namespace cqhost {
namespace {

enum class Kind { csv, json, npy };

std::string extensionOf(const std::string& path) {
    const auto slash = path.rfind('/');
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string extension = path.substr(dot);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

Kind kindOf(const std::string& path) {
    const std::string extension = extensionOf(path);
    if (extension == ".csv") return Kind::csv;
    if (extension == ".json") return Kind::json;
    if (extension == ".npy") return Kind::npy;
    throw HostError("cannot write " + path + ": " +
                    (extension.empty() ? std::string("no file type given")
                                       : "unknown data type '" + extension + "'") +
                    " (name it .csv, .json or .npy)");
}

// The shortest text that reads back as the same double; "nan" and "inf" as C and Python
// read them (JSON writes null instead).
void appendNumber(std::string& out, double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

double binFrequencyOfColumn(int column) {
    return cqscope::binFrequency(column / cqscope::kBinsPerOctave,
                                 column % cqscope::kBinsPerOctave);
}

template <typename Each>
void forEachMagnitude(const cqscope::Magnitudes& magnitudes, Each each) {
    for (const auto& octave : magnitudes)
        for (double m : octave) each(m);
}

void appendNotes(std::string& out, const std::vector<int>& notes, const char* separator) {
    for (size_t i = 0; i < notes.size(); ++i) {
        if (i > 0) out += separator;
        out += std::to_string(notes[i]);
    }
}

class CsvWriter : public AnalysisWriter {
  public:
    CsvWriter(const std::string& path, bool withMagnitudes)
        : file_(path), withMagnitudes_(withMagnitudes) {
        std::string header = "time_s,silent,held_notes";
        if (withMagnitudes_) {
            char name[32];
            for (int column = 0; column < cqscope::kBinCount; ++column) {
                std::snprintf(name, sizeof name, ",%.3f", binFrequencyOfColumn(column));
                header += name;
            }
        }
        file_.append(header + "\n");
    }
    void row(const AnalysisRow& row, const cqscope::Magnitudes& magnitudes) override {
        line_.clear();
        appendNumber(line_, row.seconds);
        line_ += row.silent ? ",1," : ",0,";
        appendNotes(line_, row.heldNotes, " ");
        if (withMagnitudes_) {
            forEachMagnitude(magnitudes, [&](double m) {
                line_ += ',';
                appendNumber(line_, m);
            });
        }
        line_ += '\n';
        file_.append(line_);
    }
    void finish() override { file_.commit(); }

  private:
    BufferedOutput file_;
    bool withMagnitudes_;
    std::string line_;
};

class JsonWriter : public AnalysisWriter {
  public:
    JsonWriter(const std::string& path, const AnalysisInfo& info) : file_(path) {
        std::string head = "{\"sample_rate\":";
        appendNumber(head, info.sampleRate);
        head += ",\"analysis_rate\":";
        appendNumber(head, info.analysisRate);
        head += ",\"period_s\":";
        appendNumber(head, info.period);
        head += ",\"bin_frequencies_hz\":[";
        for (int column = 0; column < cqscope::kBinCount; ++column) {
            if (column > 0) head += ',';
            appendNumber(head, binFrequencyOfColumn(column));
        }
        head += "],\n\"rows\":[";
        file_.append(head);
    }
    void row(const AnalysisRow& row, const cqscope::Magnitudes& magnitudes) override {
        line_ = first_ ? "\n{\"time_s\":" : ",\n{\"time_s\":";
        first_ = false;
        appendNumber(line_, row.seconds);
        line_ +=
            row.silent ? ",\"silent\":true,\"held_notes\":[" : ",\"silent\":false,\"held_notes\":[";
        appendNotes(line_, row.heldNotes, ",");
        line_ += "],\"magnitudes\":[";
        bool firstValue = true;
        forEachMagnitude(magnitudes, [&](double m) {
            if (!firstValue) line_ += ',';
            firstValue = false;
            if (std::isfinite(m)) {
                appendNumber(line_, m);
            } else {
                line_ += "null";  // JSON has no NaN or infinity
            }
        });
        line_ += "]}";
        file_.append(line_);
    }
    void finish() override {
        file_.append("\n]}\n");
        file_.commit();
    }

  private:
    BufferedOutput file_;
    std::string line_;
    bool first_ = true;
};

// NumPy's format 1.0: magic, version, header length, a Python dict literal padded with spaces
// to a multiple of 64 bytes, then the array's bytes in C order. The header is written with
// room to spare and rewritten with the final row count at the end, so the rows can stream.
class NpyWriter : public AnalysisWriter {
  public:
    static_assert(std::endian::native == std::endian::little, "the array is written as <f8");
    static constexpr size_t kHeaderBytes = 128;

    explicit NpyWriter(const std::string& path) : file_(path), rows_(npySidecarPath(path), false) {
        file_.append(header(0));
    }
    void row(const AnalysisRow& row, const cqscope::Magnitudes& magnitudes) override {
        static_assert(sizeof(cqscope::Magnitudes) == cqscope::kBinCount * sizeof(double));
        file_.append(std::string_view(reinterpret_cast<const char*>(magnitudes.data()),
                                      sizeof(cqscope::Magnitudes)));
        rows_.row(row, magnitudes);
        ++count_;
    }
    void finish() override {
        file_.overwrite(0, header(count_));
        file_.commit();
        rows_.finish();
    }

  private:
    static std::string header(long long rows) {
        std::string dict = "{'descr': '<f8', 'fortran_order': False, 'shape': (" +
                           std::to_string(rows) + ", " + std::to_string(cqscope::kBinCount) +
                           "), }";
        std::string out("\x93NUMPY\x01\x00", 8);
        const size_t length = kHeaderBytes - 10;
        dict.resize(length - 1, ' ');
        dict += '\n';
        out += static_cast<char>(length & 0xFF);
        out += static_cast<char>(length >> 8);
        return out + dict;
    }

    BufferedOutput file_;
    CsvWriter rows_;
    long long count_ = 0;
};

}  // namespace

std::string npySidecarPath(const std::string& npyPath) {
    return npyPath.substr(0, npyPath.size() - 4) + ".rows.csv";
}

void checkAnalysisPath(const std::string& path) {
    kindOf(path);
}

std::unique_ptr<AnalysisWriter> openAnalysisWriter(const std::string& path,
                                                   const AnalysisInfo& info) {
    switch (kindOf(path)) {
        case Kind::csv:
            return std::make_unique<CsvWriter>(path, true);
        case Kind::json:
            return std::make_unique<JsonWriter>(path, info);
        case Kind::npy:
            return std::make_unique<NpyWriter>(path);
    }
    return nullptr;
}

}  // namespace cqhost
