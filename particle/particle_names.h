#pragma once
// Names and file names as the particle system keeps them: wide text of bounded length, as
// if held in a fixed buffer (a buffer of n units holds n - 1 characters and the terminator).
// Longer text is cut, never inside a surrogate pair.
#include <cstddef>
#include <string>
#include <string_view>

// The text up to its first NUL, at most `maxUnits` code units.
std::u16string CapWideText(std::u16string_view text, std::size_t maxUnits);

// The 8-bit text (ANSI code page) as wide text of at most `maxUnits` code units. Null is
// empty.
std::u16string AnsiToWideCapped(const char* text, std::size_t maxUnits);

// The wide text as 8-bit text (ANSI code page) of at most `maxBytes` bytes, cut between
// characters.
std::string WideToAnsiCapped(std::u16string_view text, std::size_t maxBytes);
