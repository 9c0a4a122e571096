#pragma once
// A fake millisecond clock behind TimeGet_S for the lifetime of the object. Only one may be
// alive at a time; the destructor restores the real clock. Advance and Now are thread-safe.
#include <atomic>
#include <cstdint>
#include <memory>

namespace lumi::test {

class FakeClock {
public:
    explicit FakeClock(std::uint32_t startMs = 0);
    ~FakeClock();
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    void Advance(std::uint32_t ms);  // wraps like the real 32-bit clock
    void Set(std::uint32_t ms);
    std::uint32_t Now() const;

private:
    // Shared with the installed clock source, so a thread still reading the clock while the
    // fixture is destroyed reads valid memory.
    std::shared_ptr<std::atomic<std::uint32_t>> now_;
};

}  // namespace lumi::test
