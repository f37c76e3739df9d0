#include "files/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/host_error.h"

namespace cqhost {
namespace {

// Temporaries and staging folders the interrupt handler must remove; a handler may only use
// fixed storage. Room for the outputs of a run of many analysed files; untouched slots cost
// no memory.
constexpr int kPendingSlots = 256;
constexpr size_t kPathCapacity = 4096;
char pendingPaths[kPendingSlots][kPathCapacity];
std::atomic<bool> pendingClaimed[kPendingSlots];  // taken by a writer
std::atomic<bool> pendingUsed[kPendingSlots];     // holds a path the handler must remove
std::atomic<bool> pendingFolder[kPendingSlots];   // the path is a staging folder

// Making a temporary and claiming its slot is one step for the interrupt handler, so that no
// interrupt finds a temporary made and not yet claimed: the handler waits for the steps under
// way to end, and a step that would begin after an interrupt waits for the handler to end the
// process instead. The interrupt signals are blocked on the thread of a step meanwhile, so the
// handler never runs on that thread and waits for itself. Any thread.
std::atomic<int> stepsUnderWay{0};
std::atomic<bool> interrupted{false};

class CreationStep {
  public:
    CreationStep() {
        sigset_t signals;
        sigemptyset(&signals);
        for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, signalNumber);
        pthread_sigmask(SIG_BLOCK, &signals, &before_);
        stepsUnderWay.fetch_add(1);
        if (interrupted.load()) {
            stepsUnderWay.fetch_sub(1);
            for (;;) ::pause();  // the handler ends the process
        }
    }
    ~CreationStep() {
        stepsUnderWay.fetch_sub(1);
        // An interrupt that came meanwhile is delivered now, with the slot claimed.
        pthread_sigmask(SIG_SETMASK, &before_, nullptr);
    }
    CreationStep(const CreationStep&) = delete;
    CreationStep& operator=(const CreationStep&) = delete;

  private:
    sigset_t before_;
};

int claimSlot(const std::string& path, bool folder) {
    if (path.size() >= kPathCapacity) return -1;
    // Claimed before the path is copied in, so that two threads never share a slot; the
    // handler sees the path once it is marked used, which happens within the creation step.
    for (int slot = 0; slot < kPendingSlots; ++slot) {
        bool expected = false;
        if (pendingClaimed[slot].compare_exchange_strong(expected, true)) {
            std::memcpy(pendingPaths[slot], path.c_str(), path.size() + 1);
            pendingFolder[slot].store(folder);
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

// Removes a staging folder and the files in it with system calls only (the directory stream
// functions allocate, which a signal handler must not).
void removeFolderFromHandler(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        alignas(8) char entries[4096];
        for (;;) {
            const long bytes = ::syscall(SYS_getdents64, fd, entries, sizeof entries);
            if (bytes <= 0) break;
            for (long at = 0; at < bytes;) {
                // struct linux_dirent64: inode (8), offset (8), record length (2), type (1),
                // then the name.
                unsigned short length;
                std::memcpy(&length, entries + at + 16, sizeof length);
                const char* name = entries + at + 19;
                if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) {
                    ::unlinkat(fd, name, 0);
                }
                at += length;
            }
        }
        ::close(fd);
    }
    ::rmdir(path);
}

void removePendingAndExit(int signalNumber) {
    interrupted.store(true);
    // A temporary being made on another thread is claimed within moments; waited for at most
    // a second, so that a thread stopped inside that step cannot keep the process alive.
    for (int wait = 0; wait < 1000 && stepsUnderWay.load() > 0; ++wait) {
        const timespec millisecond{0, 1000000};
        ::nanosleep(&millisecond, nullptr);
    }
    for (int slot = 0; slot < kPendingSlots; ++slot) {
        if (!pendingUsed[slot].load()) continue;
        if (pendingFolder[slot].load()) {
            removeFolderFromHandler(pendingPaths[slot]);
        } else {
            ::unlink(pendingPaths[slot]);
        }
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

HostError writeError(const std::string& name, int error) {
    return HostError("cannot write " + name + ": " + std::strerror(error));
}

// "dir/" for "dir/name", "" for "name".
std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string nameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a write to `path` lands in: symbolic links followed to their target, which need
// not exist yet (it is then created, as a shell's redirection would).
std::string followLinks(const std::string& path) {
    std::string current = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
        std::vector<char> target(4096);
        const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
        if (length <= 0 || static_cast<size_t>(length) >= target.size()) {
            throw writeError(path, length < 0 ? errno : ENAMETOOLONG);
        }
        const std::string next(target.data(), static_cast<size_t>(length));
        current = next.front() == '/' ? next : folderOf(current) + next;
    }
    throw writeError(path, ELOOP);
}

// The folder for temporaries that are copied into a device or FIFO at the end.
std::string temporaryFolder() {
    const char* folder = std::getenv("TMPDIR");
    std::string path = folder != nullptr && *folder != '\0' ? folder : "/tmp";
    if (path.back() != '/') path += '/';
    return path;
}

// Copies the file `source` into the device or FIFO `target` (opened for writing only: never
// created, truncated or replaced). A FIFO's open waits for its reader, as any writer's does.
void copyIntoDevice(const std::string& source, const std::string& target, const std::string& name) {
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) throw writeError(name, errno);
    const int out = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        throw writeError(name, error);
    }
    std::vector<char> buffer(1 << 16);
    int error = 0;
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) error = errno;
        if (got <= 0) break;
        for (ssize_t done = 0; done < got && error == 0;) {
            const ssize_t put = ::write(out, buffer.data() + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) error = put < 0 ? errno : EIO;
            if (put > 0) done += put;
        }
        if (error != 0) break;
    }
    ::close(in);
    if (::close(out) != 0 && error == 0) error = errno;
    if (error != 0) throw writeError(name, error);
}

void removeTree(const std::string& folder) {
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") ::unlink((folder + "/" + name).c_str());
        }
        ::closedir(dir);
    }
    ::rmdir(folder.c_str());
}

void discard(const OutputRun::Pending& output) {
    if (output.kind == OutputRun::Pending::Kind::folder ||
        output.kind == OutputRun::Pending::Kind::mergeFolder) {
        removeTree(output.source);
    } else {
        ::unlink(output.source.c_str());
    }
    releaseSlot(output.slot);
}

// Moves one finished output into place; throws HostError.
void publishOne(const OutputRun::Pending& output) {
    using Kind = OutputRun::Pending::Kind;
    switch (output.kind) {
        case Kind::rename:
        case Kind::folder:
            if (::rename(output.source.c_str(), output.target.c_str()) != 0) {
                throw writeError(output.destination, errno);
            }
            break;
        case Kind::copyIntoDevice:
            copyIntoDevice(output.source, output.target, output.destination);
            ::unlink(output.source.c_str());
            break;
        case Kind::mergeFolder: {
            std::vector<std::string> names;
            if (DIR* dir = ::opendir(output.source.c_str())) {
                while (const dirent* entry = ::readdir(dir)) {
                    const std::string name = entry->d_name;
                    if (name != "." && name != "..") names.push_back(name);
                }
                ::closedir(dir);
            }
            std::sort(names.begin(), names.end());
            for (const std::string& name : names) {
                if (::rename((output.source + "/" + name).c_str(),
                             (output.target + "/" + name).c_str()) != 0) {
                    throw writeError(output.target + "/" + name, errno);
                }
            }
            ::rmdir(output.source.c_str());
            break;
        }
    }
    releaseSlot(output.slot);
}

std::atomic<OutputRun*> openRun{nullptr};

}  // namespace

std::string fileStem(const std::string& path) {
    std::string name = nameOf(path);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

void installInterruptCleanup() {
    struct sigaction action {};
    action.sa_handler = removePendingAndExit;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaction(signalNumber, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

AtomicOutputFile::AtomicOutputFile(const std::string& destination) : destination_(destination) {
    if (destination.empty()) throw HostError("output path is empty");
    struct stat info {};
    if (::stat(destination.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            throw HostError("cannot write " + destination + ": it is a folder");
        if (S_ISBLK(info.st_mode) || S_ISSOCK(info.st_mode)) {
            throw HostError("cannot write " + destination + ": it is a " +
                            (S_ISBLK(info.st_mode) ? "block device" : "socket") +
                            " (outputs go to files, FIFOs and character devices)");
        }
        intoDevice_ = S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode);
    }
    if (intoDevice_) {
        if (::access(destination.c_str(), W_OK) != 0) throw writeError(destination, errno);
        target_ = destination;
    } else {
        target_ = followLinks(destination);
    }
    std::string pattern = (intoDevice_ ? temporaryFolder() : folderOf(target_)) + "." +
                          nameOf(target_) + ".partial-XXXXXX";
    const CreationStep step;
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) throw writeError(destination, errno);
    temporary_ = pattern;
    slot_ = claimSlot(temporary_, false);
}

AtomicOutputFile::~AtomicOutputFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
    if (!committed_) releaseSlot(slot_);
}

void AtomicOutputFile::commit() {
    // mkstemp makes the file private; give it the mode any new file of the user gets.
    if ((!intoDevice_ && ::chmod(temporary_.c_str(), 0666 & ~currentUmask()) != 0) ||
        (!intoDevice_ && fd_ >= 0 && ::fsync(fd_) != 0)) {
        throw writeError(destination_, errno);
    }
    if (fd_ >= 0) {
        const int closed = ::close(fd_);
        fd_ = -1;
        if (closed != 0) throw writeError(destination_, errno);
    }
    OutputRun::Pending output{
        intoDevice_ ? OutputRun::Pending::Kind::copyIntoDevice : OutputRun::Pending::Kind::rename,
        temporary_, target_, destination_, slot_};
    if (!OutputRun::take(output)) publishOne(output);
    committed_ = true;
    slot_ = -1;
}

StagedFolder::StagedFolder(const std::string& path) : path_(path) {
    if (path.empty()) throw HostError("output path is empty");
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        if (!S_ISDIR(info.st_mode)) {
            throw HostError("cannot write pictures into " + path + ": it is not a folder");
        }
        exists_ = true;
    }
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    std::string pattern = exists_ ? trimmed + "/.partial-XXXXXX"
                                  : folderOf(trimmed) + "." + nameOf(trimmed) + ".partial-XXXXXX";
    const CreationStep step;
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw HostError((exists_ ? "cannot write pictures into " : "cannot create folder ") + path +
                        ": " + std::strerror(errno));
    }
    staging_ = pattern;
    path_ = trimmed;
    slot_ = claimSlot(staging_, true);
}

StagedFolder::~StagedFolder() {
    if (committed_) return;
    removeTree(staging_);
    releaseSlot(slot_);
}

void StagedFolder::commit() {
    // The files were written without a flush each: one flush of their file system instead.
    const int fd = ::open(staging_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool flushed = fd >= 0 && ::syncfs(fd) == 0;
    const int error = errno;
    if (fd >= 0) ::close(fd);
    if (!flushed) {
        throw HostError("cannot write pictures into " + path_ + ": " + std::strerror(error));
    }
    // mkdtemp makes the folder private; a new folder gets the mode any of the user's gets.
    if (!exists_ && ::chmod(staging_.c_str(), 0777 & ~currentUmask()) != 0) {
        throw HostError("cannot create folder " + path_ + ": " + std::strerror(errno));
    }
    OutputRun::Pending output{
        exists_ ? OutputRun::Pending::Kind::mergeFolder : OutputRun::Pending::Kind::folder,
        staging_, path_, path_, slot_};
    if (!OutputRun::take(output)) publishOne(output);
    committed_ = true;
}

OutputRun::OutputRun() {
    openRun.store(this);
}

OutputRun::~OutputRun() {
    OutputRun* self = this;
    openRun.compare_exchange_strong(self, nullptr);
    for (const Pending& output : pending_) discard(output);
}

bool OutputRun::take(Pending output) {
    OutputRun* run = openRun.load();
    if (run == nullptr) return false;
    std::lock_guard<std::mutex> lock(run->mutex_);
    run->pending_.push_back(std::move(output));
    return true;
}

bool OutputRun::takeReport(std::string line) {
    OutputRun* run = openRun.load();
    if (run == nullptr) return false;
    std::lock_guard<std::mutex> lock(run->mutex_);
    run->reports_.push_back(std::move(line));
    return true;
}

void OutputRun::publish() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::stable_partition(pending_.begin(), pending_.end(), [](const Pending& output) {
        return output.kind == Pending::Kind::copyIntoDevice;
    });
    while (!pending_.empty()) {
        publishOne(pending_.front());
        pending_.erase(pending_.begin());
    }
    for (const std::string& line : reports_) std::printf("%s\n", line.c_str());
    reports_.clear();
}

void reportWritten(const std::string& line) {
    if (!OutputRun::takeReport(line)) std::printf("%s\n", line.c_str());
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
