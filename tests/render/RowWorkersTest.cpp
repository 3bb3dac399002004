// The row pool: every index runs exactly once per job, on named threads, and
// callers on several threads are served one at a time.

#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "render/RowWorkers.h"

namespace vorpix::render {
namespace {

// A job shared the way the renderer shares rows: chunks from an atomic counter.
struct ChunkedJob {
    std::atomic<int> next{0};
    std::vector<std::atomic<int>> done;
    std::vector<std::atomic<int>> callsPerIndex;
    ChunkedJob(int chunks, int threads)
        : done(static_cast<std::size_t>(chunks)), callsPerIndex(static_cast<std::size_t>(threads)) {}
    void operator()(int index) {
        callsPerIndex[static_cast<std::size_t>(index)].fetch_add(1);
        for (int c = next.fetch_add(1); c < static_cast<int>(done.size()); c = next.fetch_add(1))
            done[static_cast<std::size_t>(c)].fetch_add(1);
    }
};

TEST(RowWorkers, EveryChunkIsDoneOnceAndNoIndexRunsTwice) {
    for (int threads : {0, 1, 2, 4, 100}) {
        RowWorkers workers(threads, "test-rows");
        const int expected = std::clamp(threads, 1, 64);
        ASSERT_EQ(workers.threadCount(), expected);
        for (int round = 0; round < 50; ++round) {
            ChunkedJob job(37, expected);
            workers.run([&](int index) { job(index); });
            for (const auto& d : job.done) ASSERT_EQ(d.load(), 1);
            EXPECT_EQ(job.callsPerIndex[0].load(), 1);  // the caller always takes part
            for (const auto& c : job.callsPerIndex) ASSERT_LE(c.load(), 1);
        }
    }
}

TEST(RowWorkers, WorkersThatJoinAreWaitedFor) {
    // A job that cannot finish until a worker has joined: run() must not
    // return before that worker's call has returned.
    RowWorkers workers(2, "test-rows");
    for (int round = 0; round < 20; ++round) {
        std::atomic<bool> workerJoined{false};
        std::atomic<bool> workerReturned{false};
        workers.run([&](int index) {
            if (index == 0) {
                while (!workerJoined.load()) std::this_thread::yield();
                return;
            }
            workerJoined = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            workerReturned = true;
        });
        EXPECT_TRUE(workerReturned.load());
    }
}

TEST(RowWorkers, IndexZeroRunsOnTheCallerAndTheOthersOnNamedThreads) {
    RowWorkers workers(3, "frame-rows");
    std::mutex mutex;
    std::vector<std::string> names(3);
    std::vector<std::thread::id> ids(3);
    std::atomic<int> joined{0};
    workers.run([&](int index) {
        char name[16] = {};
        pthread_getname_np(pthread_self(), name, sizeof name);
        {
            std::lock_guard lock(mutex);
            names[static_cast<std::size_t>(index)] = name;
            ids[static_cast<std::size_t>(index)] = std::this_thread::get_id();
        }
        joined.fetch_add(1);
        // The caller holds on until both workers are in, so that all three run.
        if (index == 0)
            while (joined.load() < 3) std::this_thread::yield();
    });
    EXPECT_EQ(ids[0], std::this_thread::get_id());
    EXPECT_EQ(names[1], "frame-rows-1");
    EXPECT_EQ(names[2], "frame-rows-2");
    EXPECT_NE(ids[1], ids[2]);
}

TEST(RowWorkers, ConcurrentCallersAreServedOneAtATime) {
    RowWorkers workers(2, "shared-rows");
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> chunks{0};
    const auto caller = [&] {
        for (int i = 0; i < 200; ++i) {
            ChunkedJob job(8, 2);
            workers.run([&](int index) {
                if (index == 0 && inside.fetch_add(1) != 0) overlaps.fetch_add(1);
                job(index);
                if (index == 0) inside.fetch_sub(1);
            });
            for (const auto& d : job.done) chunks.fetch_add(d.load());
        }
    };
    std::thread a(caller);
    std::thread b(caller);
    a.join();
    b.join();
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(chunks.load(), 2 * 200 * 8);
}

}  // namespace
}  // namespace vorpix::render
