// The process's one helper thread: every user shares it, it stops with its last user, and
// callers that find it busy still get all their work done.
#include "analysis/helper_thread.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using cqscope::detail::HelperThread;
using cqscope::detail::SecondCore;

// Threads of this process now (Linux: one entry per thread under /proc/self/task).
int threadCount() {
    DIR* dir = ::opendir("/proc/self/task");
    if (dir == nullptr) return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(dir)) count += entry->d_name[0] != '.' ? 1 : 0;
    ::closedir(dir);
    return count;
}

// The thread count once it reaches `expected`, or after a second: a joined thread may still be
// listed for a moment, as the kernel wakes the joiner before it has removed the thread.
int threadCountAfterExits(int expected) {
    for (int tries = 0; tries < 100 && threadCount() != expected; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return threadCount();
}

// Work of `items` items, each taken once by whichever thread comes first.
struct CountedWork {
    explicit CountedWork(int items) : done(static_cast<std::size_t>(items)) {}
    void operator()() noexcept {
        for (int i = next.fetch_add(1); i < static_cast<int>(done.size()); i = next.fetch_add(1)) {
            done[static_cast<std::size_t>(i)].fetch_add(1);
        }
    }
    bool eachDoneOnce() const {
        for (const auto& d : done) {
            if (d.load() != 1) return false;
        }
        return true;
    }
    std::atomic<int> next{0};
    std::vector<std::atomic<int>> done;
};

TEST(HelperThread, OneHelperForAllUsersStartedOnFirstUseAndStoppedWithTheLast) {
    if (std::thread::hardware_concurrency() == 1) GTEST_SKIP() << "one core: no helper";
    // The thread sanitizer's runtime starts a thread of its own with the first one started:
    // it is running before the count.
    std::thread([] {}).join();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // and gone from the list
    const int before = threadCount();
    {
        HelperThread first;
        HelperThread second;
        EXPECT_EQ(threadCount(), before);  // a user that has not run anything starts nothing
        for (int run = 0; run < 20; ++run) {
            CountedWork work(1000);
            (run % 2 == 0 ? first : second).runBeside(work);
            EXPECT_TRUE(work.eachDoneOnce());
        }
        EXPECT_EQ(threadCount(), before + 1);  // one helper for both, kept between runs
        CountedWork once(1000);
        cqscope::detail::runBeside(once);  // a one-off run shares it too
        EXPECT_TRUE(once.eachDoneOnce());
        EXPECT_EQ(threadCount(), before + 1);
    }
    EXPECT_EQ(threadCountAfterExits(before), before);  // stopped with its last user
}

TEST(HelperThread, CallersOnSeveralThreadsAtOnceEachGetAllTheirWorkDone) {
    constexpr int kThreads = 4;
    constexpr int kRuns = 200;
    std::vector<std::thread> callers;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        callers.emplace_back([&failures] {
            HelperThread helper;
            for (int run = 0; run < kRuns; ++run) {
                CountedWork work(64);
                helper.runBeside(work);
                if (!work.eachDoneOnce()) failures.fetch_add(1);
            }
        });
    }
    for (auto& caller : callers) caller.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
