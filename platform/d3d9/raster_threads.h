#pragma once
// The rasteriser's worker threads: one process-wide pool, grown to the largest count asked for
// and kept for the life of the process, so that no draw creates a thread. A job is split into
// parts numbered 0..n-1. Thread t (the caller is 0) first takes parts t, t + threads, ..., so
// that from draw to draw and frame to frame a thread keeps to the same rows and their cache
// lines, then any part still left, from the last down (those the late thread would reach last),
// so that a worker the system does not run at once holds nothing up. Which thread runs which
// part never changes the result: the rasteriser gives each part its own rows.
//
// The draws of a frame follow each other closely, so a worker that finds no part left watches
// for the next job for a few microseconds before it sleeps, and the caller watches for the
// last parts to end before it sleeps: waking a sleeping thread costs more than a band. After
// the last job of a flush they watch only briefly: the next comes once the host has made the
// next frame's draws, and watching all that time would cost every core. Only a host that has
// come back within a tenth of a millisecond (frames drawn back to back) finds them watching
// the next time too: for twice the time it took.
#include <algorithm>
#include <atomic>
#include <chrono>
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

    // Whether another job is to follow closely (the workers watch for it) or only after the
    // caller's own work, as after the last job of a flush (they soon sleep).
    enum class Next { kSoon, kLater };

    // Runs part(context, k, parts) once for every k in 0..parts-1 with up to `threads` threads
    // (the caller's among them), and returns when all are done. Calls from several threads at
    // once run one after the other.
    void Run(int parts, int threads, Part part, void* context, Next next = Next::kSoon);

    static constexpr int kMaxParts = 256;

    // Calls rows(first, last) for bands of rows that together cover [top, bottom) once, over
    // up to `threads` threads when the `pixels` to touch are worth waking them.
    template <class Rows>
    void ForRowBands(int top, int bottom, std::int64_t pixels, int threads, const Rows& rows);

    // Bands worth splitting `pixels` of plain row copies over `rows` rows into (1: none).
    static int CopyBandCount(int threads, int rows, std::int64_t pixels);

    // The machine's cores (at least 1).
    static int HardwareThreads();

    RasterThreads(const RasterThreads&) = delete;
    RasterThreads& operator=(const RasterThreads&) = delete;
    ~RasterThreads();

private:
    RasterThreads() = default;
    void Grow(int workers);  // callers hold runMutex_
    void WorkerLoop(int index);
    // Takes and runs parts of job `generation` as thread `thread` of `threads` until none is left.
    void TakeParts(std::uint64_t generation, int thread, int threads, Part part, void* context, int parts);
    bool Claim(int part, std::uint64_t generation);

    // The job as a worker reads it: the fields of the one job being run, written by Run while
    // `seq_` is odd and read whole by a worker that sees the same even `seq_` before and after.
    // A woken worker reads it without a lock, so that the workers Run wakes at once do not
    // then wait for each other one by one.
    struct Job {
        Part part;
        void* context;
        int parts;
        int threads;  // workers 1..threads-1 take part
        Next next;
        std::uint64_t generation;
    };
    bool ReadJob(std::uint32_t seq, Job* job) const;

    std::mutex runMutex_;  // one job at a time
    std::mutex mutex_;     // the caller's sleep until the job's parts have ended
    std::condition_variable done_;
    std::vector<std::thread> workers_;
    std::atomic<std::uint32_t> seq_{0};  // bumped twice per job; sleeping workers wait on it
    std::atomic<Part> part_{nullptr};
    std::atomic<void*> context_{nullptr};
    std::atomic<int> parts_{0};
    std::atomic<int> threads_{0};
    std::atomic<Next> next_{Next::kSoon};
    std::atomic<std::uint64_t> generation_{0};  // bumped per job
    // Per part, the last job that took it: a part is free while its job's generation is higher,
    // so a worker late for one job can take nothing of the next.
    std::atomic<std::uint64_t> claims_[kMaxParts] = {};
    std::atomic<int> finished_{0};  // parts of the current job ended
    std::atomic<bool> stopping_{false};
    // The end of the last job of the last flush, and how long workers watch after such a job
    // (microseconds): the runs' callers hold runMutex_ for the first.
    std::chrono::steady_clock::time_point lastFlushEnd_{};
    bool afterFlush_ = false;  // no job since
    static constexpr std::chrono::microseconds kWatchAfterFlush{10};  // unless the host keeps a faster pace
    std::atomic<std::int64_t> afterFlushWatch_{kWatchAfterFlush.count()};
};

template <class Rows>
void RasterThreads::ForRowBands(int top, int bottom, std::int64_t pixels, int threads, const Rows& rows) {
    const int height = bottom - top;
    const int bands = CopyBandCount(threads, height, pixels);
    if (bands <= 1) {
        rows(top, bottom);
        return;
    }
    struct Context {
        const Rows* rows;
        int top, height;
    } context{&rows, top, height};
    Run(bands, threads,
        [](void* c, int band, int count) {
            const auto& job = *static_cast<const Context*>(c);
            (*job.rows)(job.top + job.height * band / count, job.top + job.height * (band + 1) / count);
        },
        &context);
}

}  // namespace d3d9sw
