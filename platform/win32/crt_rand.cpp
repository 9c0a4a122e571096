#include "platform/win32/crt_rand.h"

#include <cstdint>

namespace {

thread_local std::uint32_t g_randState = 1;

}  // namespace

namespace win32 {

void srand(unsigned seed) { g_randState = seed; }

int rand() {
    g_randState = g_randState * 214013u + 2531011u;
    return static_cast<int>((g_randState >> 16) & 0x7fff);
}

}  // namespace win32
