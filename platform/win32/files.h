#pragma once
// The C runtime's wide file functions over the Linux file system.
//
// Paths are UTF-16 in the library and UTF-8 on disk; '\' is accepted as a separator.
// The library upper-cases texture keys, so when a path does not exist as written each
// component is looked up without regard to ASCII case in its directory.
#include <cstdio>
#include <string>

#include "platform/win32/win32_types.h"

// Opens a file like fopen with UTF-16 path and mode ("rb", "wb", "a+b", ...; a 't' or
// 'b' is accepted and ignored). Null for a null or empty argument, a path that cannot be
// opened, or while a test has switched openings to fail.
FILE* _wfopen(const char16_t* path, const char16_t* mode);

// The stream's descriptor, or -1 for a null stream.
int _fileno(FILE* stream);

// The size in bytes of the file behind the descriptor; -1 for a bad descriptor or a size
// that does not fit the platform's 32-bit long.
LONG _filelength(int descriptor);

namespace win32 {

// The path as it exists on disk: '\' becomes '/', and every component that does not
// exist as written is replaced by the first entry of its directory that equals it when
// ASCII letters are compared without case. Components that match nothing (a file about to
// be created) are kept as written, as is everything after them.
std::string ResolvePathCaseInsensitive(const std::string& path);

// Test switch: the next `count` _wfopen calls fail (0 turns it off).
void FailNextFileOpens(int count);

}  // namespace win32
