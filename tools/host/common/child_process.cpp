#include "common/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace cqhost {
namespace {

// A descriptor that tells when the child has ended, or -1 where the kernel has none: then the
// pipes closing is the sign, and a child that closes them and then hangs is waited for.
int watchProcess(pid_t child) {
#if defined(SYS_pidfd_open)
    return static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
#else
    (void)child;
    return -1;
#endif
}

// In the child: runs the work and exits, never returning into the parent's code.
[[noreturn]] void beChild(const std::function<void(int)>& work, pid_t parent, int messageEnd,
                          int outputEnd) {
    // A parent that is killed takes its child along rather than leave a hung plug-in behind.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(1);
    if (outputEnd >= 0) {
        ::dup2(outputEnd, STDOUT_FILENO);
        ::close(outputEnd);
    }
    try {
        work(messageEnd);
    } catch (...) {
        std::fflush(nullptr);
        std::exit(1);
    }
    std::fflush(nullptr);
    ::close(messageEnd);
    std::exit(0);
}

// Reads what is there; false once the pipe is closed (or broken).
bool drain(int descriptor, std::string& into) {
    char chunk[4096];
    const ssize_t n = ::read(descriptor, chunk, sizeof chunk);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
    if (n <= 0) return false;
    into.append(chunk, static_cast<size_t>(n));
    return true;
}

}  // namespace

void writeAll(int descriptor, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(descriptor, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

ChildRun runInChild(const std::function<void(int pipe)>& work, int timeoutSeconds,
                    bool captureOutput) {
    ChildRun run;
    int messagePipe[2] = {-1, -1};
    int outputPipe[2] = {-1, -1};
    if (::pipe2(messagePipe, O_CLOEXEC) != 0 ||
        (captureOutput && ::pipe2(outputPipe, O_CLOEXEC) != 0)) {
        for (int end : {messagePipe[0], messagePipe[1]}) {
            if (end >= 0) ::close(end);
        }
        run.started = false;
        run.message = "cannot create a pipe";
        return run;
    }
    std::fflush(nullptr);
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(messagePipe[0]);
        if (captureOutput) ::close(outputPipe[0]);
        beChild(work, parent, messagePipe[1], outputPipe[1]);
    }
    ::close(messagePipe[1]);
    if (captureOutput) ::close(outputPipe[1]);
    if (child < 0) {
        ::close(messagePipe[0]);
        if (captureOutput) ::close(outputPipe[0]);
        run.started = false;
        run.message = "cannot start a child process";
        return run;
    }

    int ends[2] = {messagePipe[0], outputPipe[0]};
    std::string* into[2] = {&run.message, &run.output};
    const int ended = watchProcess(child);
    bool exited = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    for (;;) {
        pollfd waiting[3];
        int count = 0;
        for (int end : ends) {
            if (end >= 0) waiting[count++] = {end, POLLIN, 0};
        }
        if (ended >= 0 && !exited) waiting[count++] = {ended, POLLIN, 0};
        if (count == 0) break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0 && !exited) {
            run.timedOut = true;
            break;
        }
        // Once the child has ended, what it wrote is already in the pipes: a process it started
        // that still holds them is not waited for.
        const int ready = ::poll(waiting, static_cast<nfds_t>(count),
                                 exited ? 0 : static_cast<int>(std::min<long long>(left, 60000)));
        if (ready < 0 && errno != EINTR) break;
        if (ready == 0 && exited) break;
        if (ready <= 0) continue;
        for (int i = 0; i < count; ++i) {
            if (waiting[i].revents == 0) continue;
            if (waiting[i].fd == ended) {
                exited = true;
                continue;
            }
            for (int e = 0; e < 2; ++e) {
                if (ends[e] != waiting[i].fd || drain(ends[e], *into[e])) continue;
                ::close(ends[e]);
                ends[e] = -1;
            }
        }
    }
    for (int end : ends) {
        if (end >= 0) ::close(end);
    }
    if (run.timedOut) ::kill(child, SIGKILL);
    while (::waitpid(child, &run.status, 0) < 0 && errno == EINTR) {
    }
    if (ended >= 0) ::close(ended);
    return run;
}

std::string signalText(int status) {
    const int number = WTERMSIG(status);
    return "signal " + std::to_string(number) + " (" + ::strsignal(number) + ")";
}

}  // namespace cqhost
