#pragma once
// printf-style formatting of wide (UTF-16) text with the Windows wide-format rules, so
// that format strings written for the Windows C runtime keep their meaning:
//   %s / %ls  a wide (char16_t) string      %hs / %S  a narrow (UTF-8) string
//   %c        a wide code unit              %hc       a narrow char
//   %d %i %u %x %X %o %e %E %f %g %G %p %%  with flags (- + space # 0), width, precision, '*'
//   size prefixes: h, l, ll, I64, I32, z
// A null string argument prints "(null)".
#include <cstdarg>
#include <cstddef>
#include <string>

namespace win32 {

// Formats into a std::u16string (no length limit).
std::u16string FormatWide(const char16_t* format, ...);
std::u16string FormatWideV(const char16_t* format, va_list args);

}  // namespace win32

// _vsnwprintf: writes at most `count` code units into `buffer`. Returns the number written
// (without terminator) when the result fits; -1 when it was cut, in which case `count` units
// were written and no terminator is added (as the Windows C runtime does).
int _vsnwprintf(char16_t* buffer, std::size_t count, const char16_t* format, va_list args);
int _snwprintf(char16_t* buffer, std::size_t count, const char16_t* format, ...);
// swprintf_s-like: always terminates; returns -1 and an empty buffer when it does not fit.
int swprintf_s(char16_t* buffer, std::size_t count, const char16_t* format, ...);
