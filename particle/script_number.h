#pragma once
// Numbers of the particle script, the same whatever the C locale: reading a number token,
// and turning script floats into the integers that properties hold.
#include <cstdint>
#include <string_view>

// The number at the start of the text, as the C library's atof reads it in the "C" locale:
// an optional sign, decimal digits with an optional "." and an optional exponent; what
// follows is ignored, and text without such a number ("-", "0x" reads "0") gives 0. Only
// decimal: hexadecimal, "inf" and "nan" spellings are no numbers. Magnitudes beyond the
// float range give the largest float of that sign, magnitudes too small for it give 0, so
// every result is finite.
float ParseScriptNumber(std::string_view text);

// A script float as an integer property takes it: truncated toward zero and held to the
// target's range (below it gives the lowest value, above it the highest, NaN gives 0).
// Narrower fields take the low bits of the result.
std::int32_t ScriptToInt32(float value);
std::uint32_t ScriptToUInt32(float value);
