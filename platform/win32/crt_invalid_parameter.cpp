#include "platform/win32/crt_invalid_parameter.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<_invalid_parameter_handler> g_handler{nullptr};

}  // namespace

_invalid_parameter_handler _set_invalid_parameter_handler(_invalid_parameter_handler handler) {
    return g_handler.exchange(handler);
}

_invalid_parameter_handler _get_invalid_parameter_handler() { return g_handler.load(); }

namespace win32 {

void InvalidParameter(const char* function, int error) {
    errno = error;
    if (_invalid_parameter_handler handler = g_handler.load()) {
        handler(nullptr, nullptr, nullptr, 0, 0);
        return;
    }
    std::fprintf(stderr, "C runtime: invalid parameter passed to %s; the process ends\n", function);
    std::abort();
}

}  // namespace win32
