#pragma once
// Counts the C runtime's invalid-parameter calls while alive, in place of the default that ends
// the process; the previous handler comes back at the end.
#include <atomic>
#include <cstdint>

#include "platform/win32/crt_invalid_parameter.h"

namespace lumi::test {

class InvalidParameterCount {
public:
    InvalidParameterCount() : previous_(_set_invalid_parameter_handler(&Record)) { Calls().store(0); }
    ~InvalidParameterCount() { _set_invalid_parameter_handler(previous_); }
    InvalidParameterCount(const InvalidParameterCount&) = delete;
    InvalidParameterCount& operator=(const InvalidParameterCount&) = delete;

    int Count() const { return Calls().load(); }

private:
    static std::atomic<int>& Calls() {
        static std::atomic<int> calls{0};
        return calls;
    }
    static void Record(const char16_t*, const char16_t*, const char16_t*, unsigned int, std::uintptr_t) { ++Calls(); }

    _invalid_parameter_handler previous_;
};

}  // namespace lumi::test
