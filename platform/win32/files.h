#pragma once
// The C runtime's wide file functions over the Linux file system.
//
// Paths are UTF-16 in the library and UTF-8 on disk; '\' is accepted as a separator. Names
// follow Windows' rules: a path component ending in a single '.' loses it, and the last
// component loses its trailing dots and spaces (a path ending in a separator keeps them). The
// library upper-cases texture keys, so when a path does not exist as written each component is
// looked up without regard to ASCII case in its directory.
#include <cstdio>
#include <string>

#include "platform/win32/win32_types.h"

// Opens a file like the Windows runtime's _wfopen with a UTF-16 path and mode: 'r', 'w' or 'a',
// then in any order at most one '+' and one of 't' (text, the default) or 'b' (binary). Text
// streams translate "\r\n" to "\n" when reading (a Ctrl+Z ends the text; appending drops one that
// ends the file) and "\n" to "\r\n" when writing; their positions count the file's bytes.
// A null path or mode, an empty mode or one Windows refuses takes the runtime's invalid-parameter
// path (crt_invalid_parameter.h) and gives null with errno EINVAL; an empty path gives null
// (EINVAL), as does a path that cannot be opened, or an opening a test has switched to fail.
FILE* _wfopen(const char16_t* path, const char16_t* mode);

// The stream's descriptor (a text stream's file's), or -1 for a null stream.
int _fileno(FILE* stream);

// The size in bytes of the file behind the descriptor; -1 for a bad descriptor or a size
// that does not fit the platform's 32-bit long.
LONG _filelength(int descriptor);

namespace win32 {

// The path as Windows finds it on disk: '\' becomes '/', the name rules above apply, and every
// component that does not exist as written is replaced by the first entry of its directory that
// equals it when ASCII letters are compared without case. Components that match nothing (a
// file about to be created) are kept as written, as is everything after them.
std::string ResolvePathCaseInsensitive(const std::string& path);

// Test switch: the next `count` _wfopen calls fail (0 turns it off).
void FailNextFileOpens(int count);

}  // namespace win32
