// Two cores for one piece of work: the kernel construction, the float copy of the kernels and
// both transforms share their items out between the calling thread and the process's one
// helper thread. Internal to the analysis library; never used on the audio thread (the helper
// is started on first use, which allocates, and the caller waits for it).
#pragma once

#include <memory>

namespace cqscope::detail {

// The one helper thread of this module: started by the first user that needs it and stopped,
// joined, when the last user lets go of it. The live transform runs ten times a second for each
// open display and `analyse` transforms a batch of rows at a time; waking a thread that waits
// costs far less than starting one for every run.
//
// Threads: `tryRun` and `wait` from any non-audio thread, one job at a time: a caller that
// finds the helper busy with another caller's job does its work alone (`tryRun` says so).
class SecondCore {
  public:
    // The running helper, or a new one, counted as one more user; null on a machine with one
    // core or when no thread can be started (the work is then done by its callers alone).
    static SecondCore* acquire() noexcept;
    // Drops a user that `acquire` counted; the last one stops the helper and frees it, so that
    // nothing of it outlives its users (no block stays allocated, no thread runs on).
    static void release(SecondCore* core) noexcept;

    SecondCore() = default;
    ~SecondCore();  // stops and joins the thread: its last user is gone
    SecondCore(const SecondCore&) = delete;
    SecondCore& operator=(const SecondCore&) = delete;

    // Hands `job(argument)` to the helper unless it is serving another caller; answers whether
    // it took it. Requires: `wait` is called after a true answer, before `argument` goes away.
    bool tryRun(void (*job)(void*) noexcept, void* argument) noexcept;
    // Returns once the job `tryRun` handed over has finished.
    void wait() noexcept;

  private:
    struct State;
    bool start() noexcept;

    std::unique_ptr<State> state_;
    int users_ = 0;  // guarded by the registry's lock in acquire and release
};

// A user's hold on the helper: taken on its first `runBeside` and kept until the user is
// destroyed, so that the helper lives as long as some bank or batch transform may want it.
//
// Threads: `runBeside` on one thread at a time (the owner's, never the audio thread);
// construction and destruction where the owner is made and freed.
class HelperThread {
  public:
    HelperThread() noexcept = default;
    ~HelperThread() {
        if (core_ != nullptr) SecondCore::release(core_);
    }
    HelperThread(const HelperThread&) = delete;
    HelperThread& operator=(const HelperThread&) = delete;

    // Runs `work` on the calling thread and, when the helper is free, on the helper at the same
    // time; returns when both have finished. `work` shares its items out itself (an atomic
    // counter, say), so that run alone it does them all, and its result must not depend on
    // which thread did which item.
    // Takes the hold now (starting the helper if none runs), so that work shared out before
    // this user's first `runBeside` finds the helper running too.
    void hold() noexcept {
        if (core_ == nullptr) core_ = SecondCore::acquire();
    }

    template <class Work>
    void runBeside(Work& work) noexcept {
        hold();
        if (core_ == nullptr ||
            !core_->tryRun([](void* w) noexcept { (*static_cast<Work*>(w))(); }, &work)) {
            work();
            return;
        }
        work();
        core_->wait();
    }

  private:
    SecondCore* core_ = nullptr;
};

// As HelperThread::runBeside, for work done once (a kernel set's construction): holds the
// helper for this call only, and shares the one that another user keeps running.
template <class Work>
void runBeside(Work& work) noexcept {
    HelperThread once;
    once.runBeside(work);
}

}  // namespace cqscope::detail
