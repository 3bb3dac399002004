#include "render/RowWorkers.h"

#include <pthread.h>

#include <algorithm>

namespace vorpix::render {

RowWorkers::RowWorkers(int threadCount, std::string name) {
    const int count = std::clamp(threadCount, 1, 64);
    threads_.reserve(static_cast<std::size_t>(count - 1));
    for (int k = 1; k < count; ++k) {
        threads_.emplace_back([this, k] { workerLoop(k); });
        std::string threadName = name.substr(0, 12) + "-" + std::to_string(k);
        pthread_setname_np(threads_.back().native_handle(), threadName.substr(0, 15).c_str());
    }
}

RowWorkers::~RowWorkers() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void RowWorkers::run(IndexJob job) {
    if (threads_.empty()) {
        job(0);
        return;
    }
    std::lock_guard runLock(runMutex_);
    {
        std::lock_guard lock(mutex_);
        job_ = &job;
        ++generation_;
    }
    wake_.notify_all();
    job(0);
    std::unique_lock lock(mutex_);
    job_ = nullptr;  // workers that have not joined by now stay out
    done_.wait(lock, [this] { return active_ == 0; });
}

void RowWorkers::workerLoop(int index) {
    std::uint64_t seen = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
        if (stopping_) return;
        seen = generation_;
        const IndexJob* job = job_;
        if (job == nullptr) continue;  // woke too late: the caller has finished
        ++active_;
        lock.unlock();
        (*job)(index);
        lock.lock();
        if (--active_ == 0) done_.notify_one();
    }
}

}  // namespace vorpix::render
