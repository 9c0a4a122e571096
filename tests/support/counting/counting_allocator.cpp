// The counting allocator behind AllocationWatch: the linker's --wrap sends the program's own
// calls here, and operator new is replaced so that containers are counted too.
#include "tests/support/counting/counting_allocator.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

extern "C" {
void* __real_malloc(std::size_t size);
void* __real_calloc(std::size_t count, std::size_t size);
void* __real_realloc(void* block, std::size_t size);
void __real_free(void* block);
}

namespace {

std::atomic<std::int64_t> g_held{0};     // usable bytes of the blocks alive
std::atomic<std::int64_t> g_peak{0};
std::atomic<std::int64_t> g_start{0};
std::atomic<std::uint64_t> g_largest{0};

void Raise(std::atomic<std::int64_t>& value, std::int64_t candidate) {
    std::int64_t seen = value.load(std::memory_order_relaxed);
    while (candidate > seen && !value.compare_exchange_weak(seen, candidate, std::memory_order_relaxed)) {
    }
}

void Asked(std::size_t bytes) {
    std::uint64_t seen = g_largest.load(std::memory_order_relaxed);
    while (bytes > seen && !g_largest.compare_exchange_weak(seen, bytes, std::memory_order_relaxed)) {
    }
}

void Gained(void* block) {
    if (block == nullptr) return;
    const std::int64_t held = g_held.fetch_add(static_cast<std::int64_t>(malloc_usable_size(block))) +
                              static_cast<std::int64_t>(malloc_usable_size(block));
    Raise(g_peak, held);
}

void Lost(void* block) {
    if (block != nullptr) g_held.fetch_sub(static_cast<std::int64_t>(malloc_usable_size(block)));
}

}  // namespace

extern "C" {

void* __wrap_malloc(std::size_t size) {
    Asked(size);
    void* block = __real_malloc(size);
    Gained(block);
    return block;
}

void* __wrap_calloc(std::size_t count, std::size_t size) {
    std::size_t bytes = 0;
    Asked(__builtin_mul_overflow(count, size, &bytes) ? SIZE_MAX : bytes);
    void* block = __real_calloc(count, size);
    Gained(block);
    return block;
}

void* __wrap_realloc(void* block, std::size_t size) {
    Asked(size);
    const std::int64_t before = block != nullptr ? static_cast<std::int64_t>(malloc_usable_size(block)) : 0;
    void* moved = __real_realloc(block, size);
    if (moved == nullptr) return nullptr;  // the old block stays, and so does its count
    g_held.fetch_sub(before);
    Gained(moved);
    return moved;
}

void __wrap_free(void* block) {
    Lost(block);
    __real_free(block);
}

}  // extern "C"

void* operator new(std::size_t size) {
    void* block = std::malloc(size != 0 ? size : 1);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size != 0 ? size : 1); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size != 0 ? size : 1); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

namespace lumi::test {

AllocationWatch::AllocationWatch() {
    const std::int64_t held = g_held.load();
    g_start.store(held);
    g_peak.store(held);
    g_largest.store(0);
}

std::uint64_t AllocationWatch::PeakBytes() const {
    const std::int64_t above = g_peak.load() - g_start.load();
    return above > 0 ? static_cast<std::uint64_t>(above) : 0;
}

std::uint64_t AllocationWatch::LargestBlock() const { return g_largest.load(); }

}  // namespace lumi::test
