#pragma once
// The C runtime's invalid-parameter path. A runtime function given an argument it cannot take
// (a null pointer, a bad mode, a buffer too small for a secure function's result) calls the
// handler installed with _set_invalid_parameter_handler; without one the process ends, as the
// Windows runtime's default does (a line on stderr first). When a handler returns, the function
// fails as documented (its error result, errno set). Tests install a handler to see the call.
#include <cstdint>

// The release runtime passes null texts and 0; so does this stand-in.
using _invalid_parameter_handler = void (*)(const char16_t* expression, const char16_t* function,
                                            const char16_t* file, unsigned int line, std::uintptr_t reserved);

// Installs `handler` for the process (null: the default that ends it); returns the previous one.
_invalid_parameter_handler _set_invalid_parameter_handler(_invalid_parameter_handler handler);
_invalid_parameter_handler _get_invalid_parameter_handler();

namespace win32 {

// For the runtime stand-ins: the invalid-parameter path for `function`, with errno := `error`.
void InvalidParameter(const char* function, int error);

}  // namespace win32
