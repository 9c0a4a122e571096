#pragma once
// rand/srand of the Windows C runtime: a 15-bit linear congruential generator with its state
// per thread, so that random sequences the library draws (particle spreads) are the ones the
// platform gives for the same seed. Named inside win32 so that the C library's own rand is
// left alone.
namespace win32 {

inline constexpr int kRandMax = 32767;  // RAND_MAX of the Windows C runtime

// Seeds the calling thread's generator. A thread that never called srand starts at seed 1.
void srand(unsigned seed);

// The next value in [0, kRandMax] of the calling thread's sequence.
int rand();

}  // namespace win32
