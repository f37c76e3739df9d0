// Helpers for the command-line tests: running cqscope-host, scratch folders, writing and
// reading audio, PNG and MIDI files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cqhost_test {

struct RunResult {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs cqscope-host with the arguments, in the given working folder. In sanitizer builds the
// leak checker ignores known leaks of third-party libraries; with `foreignPlugin` it is off,
// since a plug-in nobody here wrote may leak as it likes.
RunResult runHost(const std::vector<std::string>& args, const std::string& workingDir = ".",
                  bool foreignPlugin = false);
// Runs cqscope-host until its standard error holds `marker` `count` times, then stops it as
// Ctrl-C does (SIGINT); after `seconds` it is stopped all the same. For commands that run
// until stopped (listen), so that a test waits for what it looks for, not for a time.
RunResult runHostUntil(const std::vector<std::string>& args, const std::string& marker,
                       size_t count, double seconds);
// Runs a copy of cqscope-host placed at `program` as runHost does, for what depends on where
// the program lies (the files it looks for beside itself).
RunResult runHostCopy(const std::string& program, const std::vector<std::string>& args);
std::string hostBinary();  // the built cqscope-host

// A fresh folder, removed with everything in it when the object goes.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Names of the entries in the folder, sorted.
    std::vector<std::string> entries() const;

  private:
    std::string path_;
};

std::string cqscopePlugin();    // build/out/cqscope.so, or "" when not built
std::string lspStereoPlugin();  // an LSP stereo effect, or "" when not installed
bool cqscopeHasEditor();        // whether cqscope.so reports one; throws when it fails to load

// Interleaved frames of a sine, `amplitude` peak, on every channel.
std::vector<float> sine(double frequency, int sampleRate, double seconds, int channels,
                        double amplitude = 0.5);
// format: libsndfile major type | subtype; WAV 16-bit by default.
void writeAudio(const std::string& path, const std::vector<float>& interleaved, int channels,
                int sampleRate, int format = 0);

struct Audio {
    int channels = 0, sampleRate = 0, format = 0;
    std::vector<float> samples;  // interleaved
};
Audio readAudio(const std::string& path);

struct Image {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, top row first
    std::uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
Image readPng(const std::string& path);

// Whether the file at `path` (a module once loaded) is still mapped into this process.
bool fileMapped(const std::string& path);

std::string fileBytes(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

// A Standard MIDI File track chunk from delta-timed events (each a delta in ticks and the
// event's bytes); the end-of-track event is appended.
std::string midiTrack(const std::vector<std::pair<int, std::string>>& events);
// A whole file: header of the given type and division (ticks per quarter note), then tracks.
std::string midiFile(int type, int division, const std::vector<std::string>& tracks);

}  // namespace cqhost_test
