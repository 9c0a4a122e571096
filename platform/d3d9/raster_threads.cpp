#include "platform/d3d9/raster_threads.h"

#include <chrono>

namespace d3d9sw {
namespace {

constexpr auto kWatchTime = std::chrono::microseconds(100);  // watching before sleeping
// A host that makes its next frame's draws within this long of the last flush finds the
// workers still watching, as long as it keeps to that pace: they watch for twice its last gap.
constexpr auto kLongestGapWatched = std::chrono::microseconds(100);

void Pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Watches `done` for `time`; true as soon as it holds.
template <class Done>
bool Watch(Done done, std::chrono::microseconds time = kWatchTime) {
    const auto until = std::chrono::steady_clock::now() + time;
    for (int i = 1;; ++i) {
        if (done()) return true;
        Pause();
        if (i % 64 == 0 && std::chrono::steady_clock::now() > until) return false;
    }
}

}  // namespace

RasterThreads& RasterThreads::Get() {
    static RasterThreads pool;
    return pool;
}

int RasterThreads::HardwareThreads() {
    // Asked once: the C library reads it from a file each time, and every draw asks.
    static const int cores = [] {
        const unsigned count = std::thread::hardware_concurrency();
        return count == 0 ? 1 : static_cast<int>(count);
    }();
    return cores;
}

int RasterThreads::CopyBandCount(int threads, int rows, std::int64_t pixels) {
    constexpr std::int64_t kCopiedPixelsPerBand = 65536;  // rows of plain copies are cheap
    const std::int64_t bands = std::min<std::int64_t>({std::int64_t{threads} * 2, rows / 8, pixels / kCopiedPixelsPerBand, kMaxParts});
    return static_cast<int>(std::max<std::int64_t>(bands, 1));
}

RasterThreads::~RasterThreads() {
    stopping_.store(true, std::memory_order_release);
    seq_.fetch_add(2, std::memory_order_release);
    seq_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

void RasterThreads::Grow(int workers) {
    while (static_cast<int>(workers_.size()) < workers) {
        const int index = static_cast<int>(workers_.size()) + 1;  // 0 is the caller
        workers_.emplace_back([this, index] { WorkerLoop(index); });
    }
}

bool RasterThreads::Claim(int part, std::uint64_t generation) {
    std::uint64_t last = claims_[part].load(std::memory_order_relaxed);
    while (last < generation)
        if (claims_[part].compare_exchange_weak(last, generation, std::memory_order_acq_rel)) return true;
    return false;
}

void RasterThreads::TakeParts(std::uint64_t generation, int thread, int threads, Part part, void* context, int parts) {
    auto run = [&](int k) {
        if (!Claim(k, generation)) return;
        part(context, k, parts);
        if (finished_.fetch_add(1, std::memory_order_acq_rel) + 1 == parts) {
            std::lock_guard<std::mutex> lock(mutex_);  // the caller may be about to sleep
            done_.notify_one();
        }
    };
    for (int k = thread; k < parts; k += threads) run(k);
    // Others' parts from the last down: the parts their threads would take last, so that a
    // late thread still finds its first parts, and its rows stay with its core.
    for (int k = parts; k-- > 0;)
        if (k % threads != thread) run(k);
}

bool RasterThreads::ReadJob(std::uint32_t seq, Job* job) const {
    if ((seq & 1) != 0) return false;  // being written
    // Acquire loads: one that reads a field of a later job also sees that job's odd count.
    job->part = part_.load(std::memory_order_acquire);
    job->context = context_.load(std::memory_order_acquire);
    job->parts = parts_.load(std::memory_order_acquire);
    job->threads = threads_.load(std::memory_order_acquire);
    job->next = next_.load(std::memory_order_acquire);
    job->generation = generation_.load(std::memory_order_acquire);
    return seq_.load(std::memory_order_relaxed) == seq;
}

void RasterThreads::Run(int parts, int threads, Part part, void* context, Next next) {
    if (parts <= 1 || threads <= 1 || parts > kMaxParts) {
        for (int k = 0; k < parts; ++k) part(context, k, parts);
        return;
    }
    std::lock_guard<std::mutex> run(runMutex_);
    Grow(threads - 1);
    if (afterFlush_) {  // the first job since the last flush: the host's pace
        afterFlush_ = false;
        const auto gap = std::chrono::steady_clock::now() - lastFlushEnd_;
        const auto watch = gap <= kLongestGapWatched ? std::chrono::duration_cast<std::chrono::microseconds>(2 * gap)
                                                     : kWatchAfterFlush;
        afterFlushWatch_.store(watch.count(), std::memory_order_relaxed);
    }
    // Only this thread writes the job; the odd count tells a worker reading it meanwhile to
    // read again.
    const std::uint32_t seq = seq_.load(std::memory_order_relaxed);
    seq_.store(seq + 1, std::memory_order_relaxed);
    const std::uint64_t generation = generation_.load(std::memory_order_relaxed) + 1;
    finished_.store(0, std::memory_order_relaxed);
    part_.store(part, std::memory_order_release);
    context_.store(context, std::memory_order_release);
    parts_.store(parts, std::memory_order_release);
    threads_.store(threads, std::memory_order_release);
    next_.store(next, std::memory_order_release);
    generation_.store(generation, std::memory_order_release);
    // Sequentially consistent: the wake below looks for sleepers only after the count moved.
    seq_.store(seq + 2, std::memory_order_seq_cst);
    seq_.notify_all();
    TakeParts(generation, 0, threads, part, context, parts);
    auto finished = [this, parts] { return finished_.load(std::memory_order_acquire) == parts; };
    if (!Watch(finished)) {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, finished);
    }
    if (next == Next::kLater) {
        lastFlushEnd_ = std::chrono::steady_clock::now();
        afterFlush_ = true;
    }
}

void RasterThreads::WorkerLoop(int index) {
    std::uint32_t seen = 0;  // no job yet: a worker grown during a job still finds it
    Next next = Next::kSoon;  // of the last job
    for (;;) {
        auto news = [&] { return seq_.load(std::memory_order_acquire) != seen; };
        const auto watch = next == Next::kSoon ? kWatchTime
                                               : std::chrono::microseconds(afterFlushWatch_.load(std::memory_order_relaxed));
        if (!Watch(news, watch))
            seq_.wait(seen, std::memory_order_acquire);
        const std::uint32_t seq = seq_.load(std::memory_order_acquire);
        // Looked at after the count: the stop is set before the count moves for it, so a worker
        // cannot take that move for a job and wait for the next.
        if (stopping_.load(std::memory_order_relaxed)) return;
        Job job;
        if (!ReadJob(seq, &job)) {
            Pause();  // the job is being written
            continue;
        }
        seen = seq;
        next = job.next;
        if (index < job.threads) TakeParts(job.generation, index, job.threads, job.part, job.context, job.parts);
    }
}

}  // namespace d3d9sw
