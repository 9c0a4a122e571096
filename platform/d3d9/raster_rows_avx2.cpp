// The row kernels for CPUs with AVX2; only called when the CPU has it (SelectRowKernels).
#include <immintrin.h>

#include <cstdint>

#include "platform/d3d9/raster_rows.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#define LUMI_ROWS_AVX2
namespace d3d9sw {
namespace rows_avx2 {
#include "platform/d3d9/raster_rows_impl.inc"
}  // namespace rows_avx2
}  // namespace d3d9sw

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace d3d9sw {

const RowKernels& RowKernelsAvx2() { return rows_avx2::kKernels; }

}  // namespace d3d9sw
