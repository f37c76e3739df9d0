#include "analysis/helper_thread.h"

#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

namespace cqscope::detail {

struct SecondCore::State {
    std::mutex mutex;
    std::condition_variable wake;  // a job or the stop, for the helper
    std::condition_variable done;  // the helper finished its job, for the caller
    void (*job)(void*) noexcept = nullptr;
    void* argument = nullptr;
    bool taken = false;     // a caller has handed over a job and not yet seen it finish
    bool finished = false;  // the helper finished the job handed over
    bool stop = false;
    std::thread thread;  // last: started once the rest is ready

    void serve() noexcept {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stop || job != nullptr; });
            if (stop) return;
            void (*const run)(void*) noexcept = job;
            void* const runArgument = argument;
            lock.unlock();
            run(runArgument);
            lock.lock();
            job = nullptr;
            finished = true;
            done.notify_one();
        }
    }
};

namespace {

// The helper in use and its users' count (SecondCore::users_), behind one lock. Only a plain
// pointer: the registry itself keeps nothing allocated once the last user is gone.
std::mutex registryMutex;
SecondCore* running = nullptr;

}  // namespace

SecondCore* SecondCore::acquire() noexcept {
    static const unsigned cores = std::thread::hardware_concurrency();
    if (cores == 1) return nullptr;
    std::lock_guard<std::mutex> lock(registryMutex);
    if (running == nullptr) {
        auto* core = new (std::nothrow) SecondCore();
        if (core == nullptr) return nullptr;
        if (!core->start()) {
            delete core;
            return nullptr;
        }
        running = core;
    }
    ++running->users_;
    return running;
}

void SecondCore::release(SecondCore* core) noexcept {
    std::lock_guard<std::mutex> lock(registryMutex);
    if (--core->users_ > 0) return;
    if (running == core) running = nullptr;
    // Joined under the lock: a new user arriving now waits for a fresh helper rather than
    // finding this one half stopped.
    delete core;
}

bool SecondCore::start() noexcept {
    try {
        state_ = std::make_unique<State>();
        state_->thread = std::thread([state = state_.get()]() noexcept { state->serve(); });
        return true;
    } catch (...) {
        // No thread to spare (or no memory for one): the callers work alone.
        state_.reset();
        return false;
    }
}

SecondCore::~SecondCore() {
    if (state_ == nullptr || !state_->thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->stop = true;
    }
    state_->wake.notify_one();
    state_->thread.join();
}

bool SecondCore::tryRun(void (*job)(void*) noexcept, void* argument) noexcept {
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (state_->taken) return false;
        state_->taken = true;
        state_->finished = false;
        state_->job = job;
        state_->argument = argument;
    }
    // Woken after the lock is let go, so that the helper does not wake only to wait for it.
    state_->wake.notify_one();
    return true;
}

void SecondCore::wait() noexcept {
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->done.wait(lock, [this] { return state_->finished; });
    state_->taken = false;
}

}  // namespace cqscope::detail
