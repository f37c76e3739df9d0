#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "host_error.h"

namespace cqhost {
namespace {

// Temporaries the interrupt handler must remove; a handler may only use fixed storage.
constexpr int kPendingSlots = 8;
constexpr size_t kPathCapacity = 4096;
char pendingPaths[kPendingSlots][kPathCapacity];
std::atomic<bool> pendingClaimed[kPendingSlots];  // taken by a writer
std::atomic<bool> pendingUsed[kPendingSlots];     // holds a path the handler must remove

int claimSlot(const std::string& path) {
    if (path.size() >= kPathCapacity) return -1;
    // Claimed before the path is copied in, so that two threads never share a slot; an
    // interrupt that comes in between may miss this one temporary.
    for (int slot = 0; slot < kPendingSlots; ++slot) {
        bool expected = false;
        if (pendingClaimed[slot].compare_exchange_strong(expected, true)) {
            std::memcpy(pendingPaths[slot], path.c_str(), path.size() + 1);
            pendingUsed[slot].store(true);
            return slot;
        }
    }
    return -1;
}

void releaseSlot(int slot) {
    if (slot < 0) return;
    pendingUsed[slot].store(false);
    pendingClaimed[slot].store(false);
}

void removePendingAndExit(int signalNumber) {
    for (int slot = 0; slot < kPendingSlots; ++slot) {
        if (pendingUsed[slot].load()) ::unlink(pendingPaths[slot]);
    }
    static const char message[] = "\ncqscope-host: interrupted; no output written\n";
    [[maybe_unused]] auto written = ::write(STDERR_FILENO, message, sizeof(message) - 1);
    ::_exit(128 + signalNumber);
}

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

}  // namespace

std::string fileExtension(const std::string& path) {
    const auto slash = path.rfind('/');
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

std::string fileStem(const std::string& path) {
    const auto slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

void installInterruptCleanup() {
    struct sigaction action {};
    action.sa_handler = removePendingAndExit;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaction(signalNumber, &action, nullptr);
}

AtomicOutputFile::AtomicOutputFile(const std::string& destination) : destination_(destination) {
    if (destination.empty()) throw HostError("output path is empty");
    struct stat info {};
    if (::stat(destination.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        throw HostError("cannot write " + destination + ": it is a folder");
    }
    const auto slash = destination.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : destination.substr(0, slash + 1);
    const std::string name =
        slash == std::string::npos ? destination : destination.substr(slash + 1);
    std::string pattern =
        (slash == std::string::npos ? std::string() : folder) + "." + name + ".partial-XXXXXX";
    fd_ = ::mkstemp(pattern.data());
    if (fd_ < 0) {
        throw HostError("cannot write " + destination + ": " + std::strerror(errno));
    }
    temporary_ = pattern;
    slot_ = claimSlot(temporary_);
}

AtomicOutputFile::~AtomicOutputFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
    releaseSlot(slot_);
}

int AtomicOutputFile::releaseFd() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void AtomicOutputFile::commit(bool flushNow) {
    // mkstemp makes the file private; give it the mode any new file of the user gets.
    if (::chmod(temporary_.c_str(), 0666 & ~currentUmask()) != 0 ||
        (flushNow && fd_ >= 0 && ::fsync(fd_) != 0)) {
        throw HostError("cannot write " + destination_ + ": " + std::strerror(errno));
    }
    if (fd_ >= 0) {
        const int closed = ::close(fd_);
        fd_ = -1;
        if (closed != 0) {
            throw HostError("cannot write " + destination_ + ": " + std::strerror(errno));
        }
    }
    if (::rename(temporary_.c_str(), destination_.c_str()) != 0) {
        throw HostError("cannot write " + destination_ + ": " + std::strerror(errno));
    }
    committed_ = true;
    releaseSlot(slot_);
    slot_ = -1;
}

namespace {

constexpr size_t kBufferBytes = 1 << 20;

void writeAll(int fd, const char* data, size_t size, long long offset, const std::string& name) {
    while (size > 0) {
        const ssize_t written =
            offset < 0 ? ::write(fd, data, size) : ::pwrite(fd, data, size, offset);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) throw HostError("cannot write " + name + ": " + std::strerror(errno));
        data += written;
        size -= static_cast<size_t>(written);
        if (offset >= 0) offset += written;
    }
}

}  // namespace

BufferedOutput::BufferedOutput(const std::string& destination) : file_(destination) {
    buffer_.reserve(kBufferBytes);
}

void BufferedOutput::append(std::string_view bytes) {
    buffer_.append(bytes);
    if (buffer_.size() >= kBufferBytes) flush();
}

void BufferedOutput::overwrite(long long offset, std::string_view bytes) {
    const long long end = offset + static_cast<long long>(bytes.size());
    if (offset < 0 || end > size())
        throw HostError("internal: overwrite past the end of " + destination());
    // The part still in the buffer is changed there, the rest in the file.
    const long long inFile = std::min(end, flushed_) - offset;
    if (inFile > 0)
        writeAll(file_.fd(), bytes.data(), static_cast<size_t>(inFile), offset, destination());
    if (end > flushed_) {
        const long long skip = std::max<long long>(0, inFile);
        buffer_.replace(static_cast<size_t>(offset + skip - flushed_), bytes.size() - skip,
                        bytes.substr(static_cast<size_t>(skip)));
    }
}

void BufferedOutput::flush() {
    writeAll(file_.fd(), buffer_.data(), buffer_.size(), -1, destination());
    flushed_ += static_cast<long long>(buffer_.size());
    buffer_.clear();
}

void BufferedOutput::commit() {
    flush();
    file_.commit();
}

}  // namespace cqhost
