#include "platform/d3d9/raster_threads.h"

namespace d3d9sw {

RasterThreads& RasterThreads::Get() {
    static RasterThreads pool;
    return pool;
}

int RasterThreads::HardwareThreads() {
    const unsigned count = std::thread::hardware_concurrency();
    return count == 0 ? 1 : static_cast<int>(count);
}

RasterThreads::~RasterThreads() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

void RasterThreads::Grow(int workers) {
    while (static_cast<int>(workers_.size()) < workers) {
        const int index = static_cast<int>(workers_.size()) + 1;  // part 0 is the caller's
        workers_.emplace_back([this, index] { WorkerLoop(index); });
    }
}

void RasterThreads::Run(int parts, Part part, void* context) {
    if (parts <= 1) {
        part(context, 0, 1);
        return;
    }
    std::lock_guard<std::mutex> run(runMutex_);
    Grow(parts - 1);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        part_ = part;
        context_ = context;
        parts_ = parts;
        pending_ = parts - 1;
        ++generation_;
    }
    wake_.notify_all();
    part(context, 0, parts);
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return pending_ == 0; });
}

void RasterThreads::WorkerLoop(int index) {
    std::uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
        if (stopping_) return;
        seen = generation_;
        if (index >= parts_) continue;
        const Part part = part_;
        void* const context = context_;
        const int parts = parts_;
        lock.unlock();
        part(context, index, parts);
        lock.lock();
        if (--pending_ == 0) done_.notify_one();
    }
}

}  // namespace d3d9sw
