#pragma once
// The rasteriser's worker threads: one process-wide pool, grown to the largest count asked for
// and kept for the life of the process, so that no draw creates a thread. A job is split into
// parts numbered 0..n-1; the caller runs part 0 itself and waits for the others. Which thread
// runs which part never changes the result: the rasteriser gives each part its own rows.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace d3d9sw {

class RasterThreads {
public:
    using Part = void (*)(void* context, int part, int parts);

    // The one pool.
    static RasterThreads& Get();

    // Runs part(context, k, parts) for k = 0..parts-1, part 0 on the calling thread, and returns
    // when every part is done. Calls from several threads at once run one after the other.
    void Run(int parts, Part part, void* context);

    // The machine's cores (at least 1).
    static int HardwareThreads();

    RasterThreads(const RasterThreads&) = delete;
    RasterThreads& operator=(const RasterThreads&) = delete;
    ~RasterThreads();

private:
    RasterThreads() = default;
    void Grow(int workers);  // callers hold runMutex_
    void WorkerLoop(int index);

    std::mutex runMutex_;  // one job at a time
    std::mutex mutex_;     // guards everything below
    std::condition_variable wake_;
    std::condition_variable done_;
    std::vector<std::thread> workers_;
    std::uint64_t generation_ = 0;  // bumped per job; a worker runs each generation once
    int parts_ = 0;
    int pending_ = 0;  // parts of the current job not finished by the workers
    Part part_ = nullptr;
    void* context_ = nullptr;
    bool stopping_ = false;
};

}  // namespace d3d9sw
