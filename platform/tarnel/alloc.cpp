// Plat_Alloc/Plat_Free over malloc, with a switch that makes allocations fail for tests.
#include <atomic>
#include <cstdlib>

#include "platform/tarnel/tarnel.h"

namespace {
std::atomic<int> g_failuresLeft{0};

// Claims one pending failure, if any, without letting the counter go below zero when
// threads race.
bool TakeFailure() {
    int left = g_failuresLeft.load();
    while (left > 0) {
        if (g_failuresLeft.compare_exchange_weak(left, left - 1)) return true;
    }
    return false;
}
}  // namespace

namespace tarnel {
void FailNextAllocations(int count) { g_failuresLeft.store(count > 0 ? count : 0); }
}  // namespace tarnel

void* Plat_Alloc(std::size_t size) {
    if (TakeFailure()) return nullptr;
    // A zero-byte request still yields a distinct block that Plat_Free accepts.
    return std::malloc(size == 0 ? 1 : size);
}

void Plat_Free(void* memory) { std::free(memory); }
