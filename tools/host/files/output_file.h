// Writing outputs so that they appear complete, and only when the whole run succeeds.
//
// AtomicOutputFile creates a temporary file; the caller writes into it and calls commit().
// A destination that is a regular file (or missing) gets a temporary in its own folder, renamed
// over it; a symbolic link is followed, so that its target is replaced and the link stays. A
// character device or FIFO (/dev/null, a named pipe) is never replaced: the temporary goes to
// the temporary folder ($TMPDIR, else /tmp) and its bytes are copied into the device when
// published. Block devices and sockets are refused.
//
// While an OutputRun is open (main() opens one around each command), commit() does not move
// the file into place yet: it hands the finished temporary to the run, and the run's publish()
// moves every output in at the end, so that a run that fails part way leaves none of its
// outputs and replaces no earlier file. Without a run, commit() publishes at once.
//
// Without commit (an error, an exception) the destructor removes the temporary, and an
// interrupt (SIGINT, SIGTERM, SIGHUP) removes every pending temporary and staging folder before
// the program ends. Any thread may write files; each object is used by one thread.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_extension.h"

namespace cqhost {

class AtomicOutputFile {
  public:
    // Throws HostError when the destination is a folder, a block device or a socket, or the
    // temporary cannot be created.
    explicit AtomicOutputFile(const std::string& destination);
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    // The open temporary file, for writing.
    int fd() const { return fd_; }
    const std::string& destination() const { return destination_; }
    // The temporary's path, for libraries that open files by name.
    const std::string& temporary() const { return temporary_; }

    // Finishes the temporary: flushed to disk and closed, then handed to the open OutputRun
    // or, without one, moved into place at once.
    void commit();

  private:
    std::string destination_;  // as the user named it, for messages
    std::string target_;       // the file renamed over, or the device or FIFO copied into
    bool intoDevice_ = false;  // target_ is a character device or FIFO
    std::string temporary_;
    int fd_ = -1;
    int slot_ = -1;
    bool committed_ = false;
};

// A folder of files that appears with the run's other outputs: the files are written into a
// hidden staging folder (beside the folder when it does not exist yet, inside it when it does)
// and moved in when the run is published, so a failed run leaves no half-written folder and
// replaces no earlier file in it. Main thread, except fileFor's result, which any thread may
// write to.
class StagedFolder {
  public:
    // Throws HostError when `path` is something other than a folder, or cannot be made.
    explicit StagedFolder(const std::string& path);
    ~StagedFolder();
    StagedFolder(const StagedFolder&) = delete;
    StagedFolder& operator=(const StagedFolder&) = delete;

    // Where the file `name` of the folder is written meanwhile.
    std::string fileFor(const std::string& name) const { return staging_ + "/" + name; }
    // Flushes the files to disk, then hands the folder to the open OutputRun (or, without
    // one, moves it into place at once). Throws HostError.
    void commit();

  private:
    std::string path_;
    std::string staging_;
    bool exists_ = false;  // the folder was there before: its files are moved into it one by one
    int slot_ = -1;
    bool committed_ = false;
};

// The outputs of one run, held until it has succeeded. Opened by main() around a command, on
// the main thread; AtomicOutputFile::commit hands outputs to it from any thread.
class OutputRun {
  public:
    OutputRun();
    // Removes every output not published.
    ~OutputRun();
    OutputRun(const OutputRun&) = delete;
    OutputRun& operator=(const OutputRun&) = delete;

    // Moves every output into place (devices and FIFOs first: their copies are the likeliest
    // to fail). Throws HostError naming the output that could not be moved in.
    void publish();

    // A finished output waiting to be moved into place.
    struct Pending {
        enum class Kind { rename, copyIntoDevice, folder, mergeFolder } kind;
        std::string source;       // the temporary file or staging folder
        std::string target;       // where it goes
        std::string destination;  // as the user named it
        int slot;                 // its entry in the interrupt cleanup
    };
    // Hands `output` to the open run; false when no run is open.
    static bool take(Pending output);
    // Holds a line for stdout until the run is published; false when no run is open.
    static bool takeReport(std::string line);

  private:
    std::mutex mutex_;
    std::vector<Pending> pending_;
    std::vector<std::string> reports_;
};

// Prints a line saying what was written ("wrote NAME"): once the open OutputRun is published,
// or at once without one.
void reportWritten(const std::string& line);

// A text or binary file written in order through a buffer, appearing
// complete or not at all (an AtomicOutputFile underneath). Holds at most about 1 MiB in memory
// however long the output, so a whole song's data streams to disk. Main thread only.
class BufferedOutput {
  public:
    // Throws HostError as AtomicOutputFile does.
    explicit BufferedOutput(const std::string& destination);

    const std::string& destination() const { return file_.destination(); }
    void append(std::string_view bytes);
    // Replaces bytes already appended at `offset` (for a header whose content is known only
    // at the end); the range must lie within what was appended.
    void overwrite(long long offset, std::string_view bytes);
    long long size() const { return flushed_ + static_cast<long long>(buffer_.size()); }
    // Writes what is left and commits the file.
    void commit();

  private:
    void flush();

    AtomicOutputFile file_;
    std::string buffer_;
    long long flushed_ = 0;
};

// The file name at the end of `path` without its extension ("Song" for "dir/Song.flac").
std::string fileStem(const std::string& path);

// Installs the interrupt handlers that remove pending temporaries, and ignores SIGPIPE so that
// a FIFO whose reader went away fails a write instead of ending the program. Call once, early.
void installInterruptCleanup();

}  // namespace cqhost
