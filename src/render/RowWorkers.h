#pragma once

// A small pool that shares one job among a fixed set of threads: the renderer
// hands it the rows of a frame. The calling thread works too, so a pool of N
// runs N - 1 threads of its own. Threads are named "<name>-<k>" (at most 15
// characters, as Linux allows).
//
// A worker joins a job only if it wakes up before the caller has finished its
// own part; the caller then waits just for the workers that joined. A busy
// machine therefore never makes a job slower than running it on the caller
// alone, but the job must share its work dynamically (an atomic counter of
// chunks, say) rather than by index.
//
// Thread safety: run() may be called from several threads; calls are served
// one at a time. The job must not call run() on the same pool.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace vorpix::render {

// A non-owning reference to a callable `void(int)`; never allocates.
class IndexJob {
public:
    template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, IndexJob>>>
    IndexJob(const F& f)  // NOLINT(implicit): lets run() take a lambda directly
        : object_(&f), call_([](const void* o, int i) { (*static_cast<const F*>(o))(i); }) {}
    void operator()(int index) const { call_(object_, index); }

private:
    const void* object_;
    void (*call_)(const void*, int);
};

class RowWorkers {
public:
    // threadCount is clamped to 1 ... 64; 1 runs every job on the caller.
    explicit RowWorkers(int threadCount, std::string name = "vorpix-rows");
    ~RowWorkers();
    RowWorkers(const RowWorkers&) = delete;
    RowWorkers& operator=(const RowWorkers&) = delete;

    int threadCount() const { return static_cast<int>(threads_.size()) + 1; }

    // Calls job(0) on the calling thread and job(k) on each worker k that
    // joins in time (at most once each), and returns when every call made
    // has returned.
    void run(IndexJob job);

private:
    void workerLoop(int index);

    std::mutex runMutex_;  // serialises callers of run(); taken before mutex_

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    // guarded by mutex_
    const IndexJob* job_ = nullptr;  // null once the caller has finished its part
    std::uint64_t generation_ = 0;
    int active_ = 0;  // workers inside the current job
    bool stopping_ = false;

    std::vector<std::thread> threads_;
};

}  // namespace vorpix::render
