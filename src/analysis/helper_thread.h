// Two cores for one piece of work: the kernel construction and the transform share their
// groups out between the calling thread and one helper thread. Internal to the analysis
// library; never used on the audio thread (starting a thread allocates).
#pragma once

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

}  // namespace cqscope::detail
