// The row pool: every index runs exactly once per job, on named threads, and
// callers on several threads are served one at a time.

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "render/RowWorkers.h"

namespace vorpix::render {
namespace {

TEST(RowWorkers, EveryIndexRunsOncePerJob) {
    for (int threads : {0, 1, 2, 4, 100}) {
        RowWorkers workers(threads, "test-rows");
        const int expected = std::clamp(threads, 1, 64);
        ASSERT_EQ(workers.threadCount(), expected);
        for (int round = 0; round < 50; ++round) {
            std::vector<std::atomic<int>> calls(static_cast<std::size_t>(expected));
            workers.run([&](int index) { calls[static_cast<std::size_t>(index)].fetch_add(1); });
            for (int i = 0; i < expected; ++i) ASSERT_EQ(calls[static_cast<std::size_t>(i)].load(), 1) << i;
        }
    }
}

TEST(RowWorkers, IndexZeroRunsOnTheCallerAndTheOthersOnNamedThreads) {
    RowWorkers workers(3, "frame-rows");
    std::mutex mutex;
    std::vector<std::string> names(3);
    std::vector<std::thread::id> ids(3);
    workers.run([&](int index) {
        char name[16] = {};
        pthread_getname_np(pthread_self(), name, sizeof name);
        std::lock_guard lock(mutex);
        names[static_cast<std::size_t>(index)] = name;
        ids[static_cast<std::size_t>(index)] = std::this_thread::get_id();
    });
    EXPECT_EQ(ids[0], std::this_thread::get_id());
    EXPECT_EQ(names[1], "frame-rows-1");
    EXPECT_EQ(names[2], "frame-rows-2");
    EXPECT_NE(ids[1], ids[2]);
}

TEST(RowWorkers, ConcurrentCallersAreServedOneAtATime) {
    RowWorkers workers(2, "shared-rows");
    std::atomic<int> overlaps{0};
    std::atomic<int> total{0};
    const auto caller = [&] {
        for (int i = 0; i < 200; ++i) {
            std::atomic<int> jobRuns{0};
            workers.run([&](int) {
                total.fetch_add(1);
                jobRuns.fetch_add(1);
            });
            if (jobRuns.load() != 2) overlaps.fetch_add(1);
        }
    };
    std::thread a(caller);
    std::thread b(caller);
    a.join();
    b.join();
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(total.load(), 2 * 200 * 2);
}

}  // namespace
}  // namespace vorpix::render
