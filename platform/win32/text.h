#pragma once
// Text conversion between UTF-8 (narrow strings, file system) and UTF-16 (wide strings),
// and the code-page functions of Win32 over them.
//
// The ANSI code page (CP_ACP) is UTF-8 with a byte-preserving fallback: a byte that is not
// part of valid UTF-8 becomes U+00xx, and such units go back to their single byte, so files
// in other 8-bit encodings keep their bytes. A wide string cannot tell a Latin-1 letter that
// came from valid UTF-8 from one that came from a stray byte, so WideToAnsi writes a run of U+0080..U+00FF as single bytes whenever those
// bytes do not themselves form UTF-8 (they read back as the same run), and as UTF-8 otherwise:
// bytes -> wide -> bytes keeps every byte outside valid multi-byte UTF-8, and
// wide -> bytes -> wide keeps every string without lone surrogates.
// CP_UTF8 is strict: invalid input becomes U+FFFD (one per maximal invalid subsequence).
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/win32/win32_types.h"

inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_UTF8 = 65001;
// The flags the conversions accept; any other flag or code page throws std::invalid_argument.
// A combination the platform refuses (ERROR_INVALID_FLAGS) gives 0: MB_PRECOMPOSED with CP_UTF8,
// WC_ERR_INVALID_CHARS with CP_ACP.
inline constexpr DWORD MB_PRECOMPOSED = 0x01;       // CP_ACP only; no effect
inline constexpr DWORD MB_ERR_INVALID_CHARS = 0x08;  // CP_UTF8: fail (0) on invalid input
inline constexpr DWORD WC_ERR_INVALID_CHARS = 0x80;  // CP_UTF8 only: fail (0) on lone surrogates

namespace win32 {

// Strict conversions: invalid sequences and lone surrogates become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// CP_ACP conversions (byte-preserving, see above). A lone surrogate, which no byte
// sequence encodes in this mapping, becomes '?'.
std::u16string AnsiToWide(std::string_view text);
std::string WideToAnsi(std::u16string_view text);

// Null-safe std::u16string from a terminated wide string (empty for null).
std::u16string WideString(const char16_t* text);

// Wide string helpers over char16_t (the platform's wchar_t is 16 bits).
std::size_t WideLength(const char16_t* text);  // wcslen; 0 for null
// Comparisons give <0, 0, >0; a null string counts as empty.
int WideCompare(const char16_t* a, const char16_t* b);  // wcscmp by unsigned code unit
int WideCompareNoCase(const char16_t* a, const char16_t* b);  // ASCII folding
// wcsncpy_s-like: copies at most capacity-1 units, always terminates; returns false if cut
// or when there is no room at all (null dest or capacity 0: nothing written). Null source = "".
bool WideCopy(char16_t* dest, std::size_t capacity, const char16_t* source);

}  // namespace win32

// Win32: returns units written, or the size needed when the output size is 0; 0 on error
// (null source, source length 0 or below -1, negative output size, null output with a
// non-zero size, a result above INT_MAX: nothing written), and 0 when the output is too small,
// after filling it, as the platform does, with as much of the result as fits in whole
// characters (unterminated), so callers that convert "at most n characters" get that prefix.
// A source length of -1 means the source is null-terminated and the terminator is converted.
// WideCharToMultiByte: CP_ACP puts `defaultChar` (or '?') for a lone surrogate and sets
// *usedDefault; with CP_UTF8 both must be null, as on the platform, else 0.
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* source, int sourceLength,
                        char16_t* dest, int destLength);
int WideCharToMultiByte(UINT codePage, DWORD flags, const char16_t* source, int sourceLength,
                        char* dest, int destLength, const char* defaultChar, BOOL* usedDefault);

// C runtime helpers with their Windows names. Null arguments: the number parsers give 0, the
// comparisons give _NLSCMPERROR (as the Windows C runtime does after its invalid-parameter
// handler). The number parsers skip leading white space, take one sign, read decimal digits,
// and saturate at the type's limits on overflow. Case folding is ASCII only ("C" locale).
inline constexpr int _NLSCMPERROR = 0x7fffffff;
long long _wtoi64(const char16_t* text);
int _wtoi(const char16_t* text);
int _stricmp(const char* a, const char* b);
int _strnicmp(const char* a, const char* b, std::size_t count);
int _wcsicmp(const char16_t* a, const char16_t* b);
int _wcsnicmp(const char16_t* a, const char16_t* b, std::size_t count);
