#pragma once
// Text conversion between UTF-8 (narrow strings, file system) and UTF-16 (wide strings),
// and the code-page functions of Win32 over them.
//
// The ANSI code page (CP_ACP) is UTF-8 with a byte-preserving fallback: a byte that is not
// part of valid UTF-8 becomes U+00xx, and U+0080..U+00FF that did not come from valid UTF-8
// go back to their single byte, so files in other 8-bit encodings keep their bytes.
// CP_UTF8 is strict: invalid input becomes U+FFFD.
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/win32/win32_types.h"

inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_UTF8 = 65001;

namespace win32 {

// Strict conversions: invalid sequences and lone surrogates become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// CP_ACP conversions (byte-preserving, see above).
std::u16string AnsiToWide(std::string_view text);
std::string WideToAnsi(std::u16string_view text);

// Wide string helpers over char16_t (the platform's wchar_t is 16 bits).
std::size_t WideLength(const char16_t* text);  // wcslen; 0 for null
int WideCompare(const char16_t* a, const char16_t* b);  // wcscmp by unsigned code unit
int WideCompareNoCase(const char16_t* a, const char16_t* b);  // _wcsicmp (ASCII folding)
// wcsncpy_s-like: copies at most capacity-1 units, always terminates; returns false if cut.
bool WideCopy(char16_t* dest, std::size_t capacity, const char16_t* source);

}  // namespace win32

// Win32: returns units written, or the size needed when the output size is 0; 0 on error.
// A source length of -1 means the source is null-terminated and the terminator is converted.
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* source, int sourceLength,
                        char16_t* dest, int destLength);
int WideCharToMultiByte(UINT codePage, DWORD flags, const char16_t* source, int sourceLength,
                        char* dest, int destLength, const char* defaultChar, BOOL* usedDefault);

// C runtime helpers with their Windows names.
long long _wtoi64(const char16_t* text);
int _wtoi(const char16_t* text);
int _stricmp(const char* a, const char* b);
int _strnicmp(const char* a, const char* b, std::size_t count);
int _wcsicmp(const char16_t* a, const char16_t* b);
