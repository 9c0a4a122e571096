#pragma once
// Counts the heap memory of the test program: every malloc, calloc, realloc and free of the
// code linked into it (the library's static twins included) and every operator new. Only
// programs linked with the wrap options of tests/CMakeLists.txt (lumi_count_allocations)
// may use it. Memory that shared libraries (libpng, libjpeg, the C++ runtime's own
// internals) take with their own calls to malloc is not seen.
#include <cstddef>
#include <cstdint>

namespace lumi::test {

// From construction on: the most bytes held above what was held at the start, and the
// largest single block asked for. Watches do not nest; threads are counted together.
class AllocationWatch {
public:
    AllocationWatch();
    std::uint64_t PeakBytes() const;      // above the start
    std::uint64_t LargestBlock() const;   // bytes of the largest request
};

}  // namespace lumi::test
