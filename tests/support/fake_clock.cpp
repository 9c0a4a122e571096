#include "tests/support/fake_clock.h"

#include "platform/tarnel/tarnel.h"

namespace lumi::test {

FakeClock::FakeClock(std::uint32_t startMs) : now_(std::make_shared<std::atomic<std::uint32_t>>(startMs)) {
    tarnel::SetClockSource([now = now_] { return now->load(); });
}

FakeClock::~FakeClock() { tarnel::SetClockSource({}); }

void FakeClock::Advance(std::uint32_t ms) { now_->fetch_add(ms); }

void FakeClock::Set(std::uint32_t ms) { now_->store(ms); }

std::uint32_t FakeClock::Now() const { return now_->load(); }

}  // namespace lumi::test
