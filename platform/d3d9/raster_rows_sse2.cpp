// The row kernels for every x86-64 CPU (SSE2).
#include <immintrin.h>

#include <cstdint>

#include "platform/d3d9/raster_rows.h"

// Eight-lane vectors are two SSE registers here (GCC's ABI note is off for this file, in
// platform/CMakeLists.txt).
namespace d3d9sw {
namespace rows_sse2 {
#include "platform/d3d9/raster_rows_impl.inc"
}  // namespace rows_sse2

const RowKernels& RowKernelsSse2() { return rows_sse2::kKernels; }

bool CpuHasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

const RowKernels& SelectRowKernels(bool avx2) { return avx2 && CpuHasAvx2() ? RowKernelsAvx2() : RowKernelsSse2(); }

}  // namespace d3d9sw
