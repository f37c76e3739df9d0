// Writing an output file so that it appears complete or not at all.
//
// AtomicOutputFile creates a temporary file in the destination's folder; the caller writes
// into it and calls commit(), which renames it over the destination. Without commit (an error,
// an exception) the destructor removes the temporary, and an interrupt (SIGINT, SIGTERM,
// SIGHUP) removes every pending temporary before the program ends. Main thread only.
#pragma once

#include <string>

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

    // Flushes the temporary to disk and renames it to the destination.
    void commit();

  private:
    std::string destination_;
    std::string temporary_;
    int fd_ = -1;
    int slot_ = -1;
    bool committed_ = false;
};

// Installs the interrupt handlers that remove pending temporaries. Call once, early.
void installInterruptCleanup();

}  // namespace cqhost
