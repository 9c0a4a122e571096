#pragma once
// printf-style formatting of wide (UTF-16) text with the Windows wide-format rules, so
// that format strings written for the Windows C runtime keep their meaning:
//   %s / %ls  a wide (char16_t) string      %hs / %S  a narrow (UTF-8) string
//   %c        a wide code unit              %hc       a narrow char
//   %d %i %u %x %X %o %e %E %f %g %G %p %%  with flags (- + space # 0), width, precision, '*'
//   size prefixes: hh, h, l, ll, I64, I32, I, z, L (and w: wide, for %c and %s)
// As on Windows, 'l' is 32 bits for integers: pass 64-bit values with %I64d or %lld.
// A null string argument prints "(null)". Numbers never depend on the C locale ('.' always).
// %e uses two exponent digits at least (the current Windows C runtime's form). Precision is
// capped at 1100 digits. A conversion outside this list (%n, %a, %Z, a format ending inside
// a conversion) or a null format throws std::invalid_argument: format strings are the
// program's own, so a bad one is a programming error, not input.
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string>

namespace win32 {

// Formats into a std::u16string (no length limit).
std::u16string FormatWide(const char16_t* format, ...);
std::u16string FormatWideV(const char16_t* format, va_list args);

}  // namespace win32

// _vsnwprintf: writes at most `count` code units into `buffer`. Returns the result's length
// when it fits (a terminator follows only when there is room for it, as on Windows); -1 when
// it was cut, in which case `count` units were written and no terminator is added. Callers
// that want a terminated line pass one unit less than their buffer and terminate it.
int _vsnwprintf(char16_t* buffer, std::size_t count, const char16_t* format, va_list args);
// With a null buffer and count 0 it returns the length the result needs (-1 for a null
// buffer with a non-zero count).
int _snwprintf(char16_t* buffer, std::size_t count, const char16_t* format, ...);
// swprintf_s: a result that does not fit leaves an empty buffer and takes the runtime's
// invalid-parameter path (crt_invalid_parameter.h: the process ends unless a handler returns,
// then -1 with errno ERANGE); so does a null buffer or format or a count of 0 (errno EINVAL,
// nothing written).
int swprintf_s(char16_t* buffer, std::size_t count, const char16_t* format, ...);

// vfwprintf/fwprintf of the Windows C runtime on a binary stream: the formatted text goes
// out as UTF-16LE code units. Returns the units written, -1 on a null argument or a short
// write.
int vfwprintf(std::FILE* file, const char16_t* format, va_list args);
int fwprintf(std::FILE* file, const char16_t* format, ...);
