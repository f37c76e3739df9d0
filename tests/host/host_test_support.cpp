#include "host_test_support.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <png.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace cqhost_test {
namespace {

std::string readAll(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, got);
    return text;
}

// The number of times `marker` stands in `text`.
size_t occurrences(const std::string& text, const std::string& marker) {
    size_t count = 0;
    for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + 1)) {
        ++count;
    }
    return count;
}

// Runs cqscope-host (or the copy at `program`) as runHost does; with a `stopMarker`, sends it
// SIGINT (Ctrl-C) once its standard error holds the marker `stopCount` times, or after
// `stopSeconds` at the latest.
RunResult runHostStoppable(const std::vector<std::string>& args, const std::string& workingDir,
                           bool foreignPlugin, const std::string& stopMarker, size_t stopCount,
                           double stopSeconds, const char* program = CQHOST_BINARY) {
    // Output goes to temporary files rather than pipes, so a chatty child never blocks.
    char outName[] = "/tmp/cqhost-out-XXXXXX";
    char errName[] = "/tmp/cqhost-err-XXXXXX";
    const int outFd = ::mkstemp(outName);
    const int errFd = ::mkstemp(errName);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(outFd, STDOUT_FILENO);
        ::dup2(errFd, STDERR_FILENO);
        if (::chdir(workingDir.c_str()) != 0) ::_exit(127);
        ::setenv("LSAN_OPTIONS", "suppressions=" CQHOST_LSAN_SUPPRESSIONS ":print_suppressions=0",
                 1);
        if (foreignPlugin) ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        std::vector<char*> argv{const_cast<char*>(program)};
        for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(program, argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (stopMarker.empty()) {
        ::waitpid(child, &status, 0);
    } else {
        const auto end =
            std::chrono::steady_clock::now() + std::chrono::duration<double>(stopSeconds);
        bool signalled = false;
        while (::waitpid(child, &status, WNOHANG) == 0) {
            if (!signalled) {
                std::ifstream err(errName);
                const std::string text((std::istreambuf_iterator<char>(err)),
                                       std::istreambuf_iterator<char>());
                if (occurrences(text, stopMarker) >= stopCount ||
                    std::chrono::steady_clock::now() >= end) {
                    ::kill(child, SIGINT);
                    signalled = true;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    RunResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ::lseek(outFd, 0, SEEK_SET);
    ::lseek(errFd, 0, SEEK_SET);
    result.out = readAll(outFd);
    result.err = readAll(errFd);
    ::close(outFd);
    ::close(errFd);
    ::unlink(outName);
    ::unlink(errName);
    return result;
}

}  // namespace

RunResult runHost(const std::vector<std::string>& args, const std::string& workingDir,
                  bool foreignPlugin) {
    return runHostStoppable(args, workingDir, foreignPlugin, "", 0, 0.0);
}

RunResult runHostUntil(const std::vector<std::string>& args, const std::string& marker,
                       size_t count, double seconds) {
    return runHostStoppable(args, ".", false, marker, count, seconds);
}

RunResult runHostCopy(const std::string& program, const std::vector<std::string>& args) {
    return runHostStoppable(args, ".", false, "", 0, 0.0, program.c_str());
}

std::string hostBinary() {
    return CQHOST_BINARY;
}

ScratchDir::ScratchDir() {
    char name[] = "/tmp/cqhost-test-XXXXXX";
    if (::mkdtemp(name) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = name;
}

ScratchDir::~ScratchDir() {
    const std::string command = "rm -rf '" + path_ + "'";
    [[maybe_unused]] int ignored = std::system(command.c_str());
}

std::vector<std::string> ScratchDir::entries() const {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(path_.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string cqscopePlugin() {
    const std::string path = std::string(CQHOST_PLUGIN_DIR) + "/cqscope.so";
    return ::access(path.c_str(), R_OK) == 0 ? path : "";
}

std::string lspStereoPlugin() {
    const std::string path = "/usr/lib/vst/lsp-plugins/comp-delay-stereo.so";
    return ::access(path.c_str(), R_OK) == 0 ? path : "";
}

bool cqscopeHasEditor() {
    if (cqscopePlugin().empty()) return false;
    const RunResult probe = runHost({"probe", "--json", "--plugin", cqscopePlugin()});
    // A plug-in that no longer loads is a failure, not a reason to skip.
    if (probe.status != 0) throw std::runtime_error("probe of cqscope.so failed: " + probe.err);
    return probe.out.find("\"editor\": null") == std::string::npos;
}

std::vector<float> sine(double frequency, int sampleRate, double seconds, int channels,
                        double amplitude) {
    const int frames = static_cast<int>(std::lround(seconds * sampleRate));
    std::vector<float> samples(static_cast<size_t>(frames) * channels);
    for (int i = 0; i < frames; ++i) {
        const double value =
            amplitude * std::sin(2.0 * std::numbers::pi * frequency * i / sampleRate);
        for (int c = 0; c < channels; ++c) samples[i * channels + c] = static_cast<float>(value);
    }
    return samples;
}

void writeAudio(const std::string& path, const std::vector<float>& interleaved, int channels,
                int sampleRate, int format) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = sampleRate;
    info.format = format != 0 ? format : (SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) throw std::runtime_error("cannot write " + path);
    sf_writef_float(file, interleaved.data(),
                    static_cast<sf_count_t>(interleaved.size()) / channels);
    sf_close(file);
}

Audio readAudio(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) throw std::runtime_error("cannot read " + path);
    Audio audio;
    audio.channels = info.channels;
    audio.sampleRate = info.samplerate;
    audio.format = info.format;
    audio.samples.resize(static_cast<size_t>(info.frames) * info.channels);
    sf_readf_float(file, audio.samples.data(), info.frames);
    sf_close(file);
    return audio;
}

Image readPng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        throw std::runtime_error("cannot read PNG " + path);
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
        throw std::runtime_error("cannot decode PNG " + path);
    }
    Image result;
    result.width = static_cast<int>(image.width);
    result.height = static_cast<int>(image.height);
    result.pixels.resize(static_cast<size_t>(result.width) * result.height);
    for (size_t i = 0; i < result.pixels.size(); ++i) {
        result.pixels[i] = (rgb[3 * i] << 16) | (rgb[3 * i + 1] << 8) | rgb[3 * i + 2];
    }
    return result;
}

bool fileMapped(const std::string& path) {
    std::ifstream maps("/proc/self/maps");
    const std::string name = std::filesystem::canonical(path).string();
    for (std::string line; std::getline(maps, line);) {
        if (line.find(name) != std::string::npos) return true;
    }
    return false;
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

namespace {

std::string bigEndian(std::uint32_t value, int bytes) {
    std::string text;
    for (int i = bytes - 1; i >= 0; --i) text += static_cast<char>((value >> (8 * i)) & 0xFF);
    return text;
}

std::string variableLength(std::uint32_t value) {
    std::string text(1, static_cast<char>(value & 0x7F));
    while ((value >>= 7) != 0) text.insert(0, 1, static_cast<char>(0x80 | (value & 0x7F)));
    return text;
}

}  // namespace

std::string midiTrack(const std::vector<std::pair<int, std::string>>& events) {
    std::string body;
    for (const auto& [delta, bytes] : events) body += variableLength(delta) + bytes;
    body += variableLength(0) + std::string("\xFF\x2F\x00", 3);
    return "MTrk" + bigEndian(static_cast<std::uint32_t>(body.size()), 4) + body;
}

std::string midiFile(int type, int division, const std::vector<std::string>& tracks) {
    std::string file = "MThd" + bigEndian(6, 4) + bigEndian(type, 2) +
                       bigEndian(static_cast<std::uint32_t>(tracks.size()), 2) +
                       bigEndian(division, 2);
    for (const auto& track : tracks) file += track;
    return file;
}

}  // namespace cqhost_test
