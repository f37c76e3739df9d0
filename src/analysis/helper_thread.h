// Two cores for one piece of work: the kernel construction and the transform share their
// groups out between the calling thread and one helper thread (started for the one kernel
// construction, kept by a bank for its transforms). Internal to the analysis library; never
// used on the audio thread (starting a thread allocates, and the caller waits).
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

namespace cqscope::detail {

// Runs `work` on the calling thread and, where the machine has a second core and a thread can
// be started, on one helper thread at the same time; returns when both have finished. `work`
// shares its items out itself (an atomic counter, say), so that run alone it does them all.
template <class Work>
void runBeside(Work& work) noexcept {
    static const unsigned cores = std::thread::hardware_concurrency();
    std::thread helper;
    if (cores != 1) {
        try {
            helper = std::thread([&work]() noexcept { work(); });
        } catch (...) {
            // No thread to spare (or no memory for one): the work is done here alone.
        }
    }
    work();
    if (helper.joinable()) helper.join();
}

// A second core for the work of one owner, started once and kept: the transform runs ten
// times a second, and a thread started for each run costs more than waking one that waits.
// Without a second core, or when no thread can be started, the work is done by the caller
// alone.
//
// Threads: `runBeside` on one thread at a time (the owner's; never the audio thread, since it
// waits for the helper); construction and destruction where the owner is made and freed.
class HelperThread {
  public:
    HelperThread() noexcept {
        static const unsigned cores = std::thread::hardware_concurrency();
        if (cores == 1) return;
        try {
            thread_ = std::thread([this]() noexcept { serve(); });
        } catch (...) {
            // No thread to spare (or no memory for one): runBeside works alone.
        }
    }
    ~HelperThread() {
        if (!thread_.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    HelperThread(const HelperThread&) = delete;
    HelperThread& operator=(const HelperThread&) = delete;

    // As the free runBeside: `work` runs here and on the helper at once, and this returns when
    // both have finished.
    template <class Work>
    void runBeside(Work& work) noexcept {
        if (!thread_.joinable()) {
            work();
            return;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job_ = [](void* w) noexcept { (*static_cast<Work*>(w))(); };
            argument_ = &work;
        }
        wake_.notify_one();
        work();
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return job_ == nullptr; });
    }

  private:
    void serve() noexcept {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stop_ || job_ != nullptr; });
            if (stop_) return;
            void (*job)(void*) noexcept = job_;
            void* argument = argument_;
            lock.unlock();
            job(argument);
            lock.lock();
            job_ = nullptr;
            done_.notify_one();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;  // a job or the stop for the helper
    std::condition_variable done_;  // the helper finished its job
    void (*job_)(void*) noexcept = nullptr;
    void* argument_ = nullptr;
    bool stop_ = false;
    std::thread thread_;  // last: started once the rest is ready
};

}  // namespace cqscope::detail
