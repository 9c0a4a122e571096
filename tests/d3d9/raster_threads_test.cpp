// The raster thread pool: every part of every job runs once, whatever the thread count, the
// pool's growth, the workers' sleeping between jobs, or callers on several threads.
#include "platform/d3d9/raster_threads.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>
#include <vector>

namespace {

using d3d9sw::RasterThreads;

struct Tally {
    std::array<std::atomic<int>, RasterThreads::kMaxParts> runs{};
    std::atomic<int> wrongCount{0};
    int parts = 0;

    static void Part(void* context, int part, int parts) {
        auto& tally = *static_cast<Tally*>(context);
        if (parts != tally.parts) tally.wrongCount.fetch_add(1);
        tally.runs[static_cast<std::size_t>(part)].fetch_add(1);
    }
    // Parts that ran other than once.
    int Misses() const {
        int misses = wrongCount.load();
        for (int k = 0; k < RasterThreads::kMaxParts; ++k) misses += runs[static_cast<std::size_t>(k)].load() != (k < parts ? 1 : 0);
        return misses;
    }
};

// Work for the caller between jobs, long enough that the workers often go to sleep and must be
// woken for the next (the pool's correctness does not depend on whether they do).
std::uint64_t CallerWork(std::uint64_t seed) {
    for (int i = 0; i < 20000; ++i) seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    return seed;
}

void RunJobs(int jobs, std::uint64_t seed, int* misses) {
    RasterThreads& pool = RasterThreads::Get();
    for (int job = 0; job < jobs; ++job) {
        seed = CallerWork(seed);
        Tally tally;
        tally.parts = 2 + static_cast<int>((seed >> 33) % (RasterThreads::kMaxParts - 1));
        const int threads = 2 + static_cast<int>((seed >> 20) % 11);  // past the pool's size too
        const auto next = (seed >> 40) % 2 != 0 ? RasterThreads::Next::kSoon : RasterThreads::Next::kLater;
        pool.Run(tally.parts, threads, Tally::Part, &tally, next);
        *misses += tally.Misses();
    }
}

// Named for the ThreadSanitizer pass.
TEST(RasterThreads, ThreadedEveryPartRunsOnceAcrossJobsOfChangingSizesAndPauses) {
    int misses = 0;
    RunJobs(300, 7, &misses);
    EXPECT_EQ(misses, 0);
}

// Named for the ThreadSanitizer pass: jobs from several callers run one after the other.
TEST(RasterThreads, ThreadedCallersOnSeveralThreadsEachGetTheirPartsOnce) {
    std::array<int, 3> misses{};
    std::vector<std::thread> callers;
    for (int c = 0; c < 3; ++c) callers.emplace_back([c, &misses] { RunJobs(100, 100 + c, &misses[static_cast<std::size_t>(c)]); });
    for (std::thread& caller : callers) caller.join();
    EXPECT_EQ(misses, (std::array<int, 3>{}));
}

TEST(RasterThreads, OnePartOrOneThreadRunsOnTheCaller) {
    const std::thread::id caller = std::this_thread::get_id();
    struct Seen {
        std::thread::id caller;
        int elsewhere = 0, calls = 0;
    } seen{caller};
    auto part = [](void* context, int, int) {
        auto& s = *static_cast<Seen*>(context);
        ++s.calls;
        if (std::this_thread::get_id() != s.caller) ++s.elsewhere;
    };
    RasterThreads::Get().Run(1, 8, part, &seen);
    RasterThreads::Get().Run(40, 1, part, &seen);
    EXPECT_EQ(seen.calls, 41);
    EXPECT_EQ(seen.elsewhere, 0);
}

}  // namespace
