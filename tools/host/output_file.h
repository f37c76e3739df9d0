// Writing an output file so that it appears complete or not at all.
//
// AtomicOutputFile creates a temporary file in the destination's folder; the caller writes
// into it and calls commit(), which renames it over the destination. Without commit (an error,
// an exception) the destructor removes the temporary, and an interrupt (SIGINT, SIGTERM,
// SIGHUP) removes every pending temporary before the program ends. Any thread may write files;
// each object is used by one thread.
#pragma once

#include <string>
#include <string_view>

namespace cqhost {

class AtomicOutputFile {
  public:
    // Throws HostError when the destination is a folder or its folder cannot be written.
    explicit AtomicOutputFile(const std::string& destination);
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    // The open temporary file, for writing. Ownership moves to whoever calls releaseFd.
    int fd() const { return fd_; }
    int releaseFd();
    const std::string& destination() const { return destination_; }
    // The temporary's path, for libraries that open files by name.
    const std::string& temporary() const { return temporary_; }

    // Flushes the temporary to disk (unless the caller flushes a whole batch of files later,
    // `flushNow` false) and renames it to the destination.
    void commit(bool flushNow = true);

  private:
    std::string destination_;
    std::string temporary_;
    int fd_ = -1;
    int slot_ = -1;
    bool committed_ = false;
};

// A text or binary file written in order through a buffer, appearing complete or not at all
// (an AtomicOutputFile underneath). Holds at most about 1 MiB in memory however long the
// output, so a whole song's data streams to disk. Main thread only.
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
    // Writes what is left and renames the file into place.
    void commit();

  private:
    void flush();

    AtomicOutputFile file_;
    std::string buffer_;
    long long flushed_ = 0;
};

// The extension of the file name at the end of `path`, in lower case and without its dot
// ("mp4" for "dir/Song.MP4"); empty when the name has none.
std::string fileExtension(const std::string& path);
// The file name at the end of `path` without its extension ("Song" for "dir/Song.flac").
std::string fileStem(const std::string& path);

// Installs the interrupt handlers that remove pending temporaries. Call once, early.
void installInterruptCleanup();

}  // namespace cqhost
