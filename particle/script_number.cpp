#include "particle/script_number.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Whether the decimal number spelled by `text` (no sign, as from_chars matched it) is 1 or
// more in magnitude; from_chars only says that it is out of range.
bool AtLeastOne(std::string_view text) {
    std::int64_t magnitude = 0;  // decimal exponent of the first non-zero digit
    bool found = false;
    bool inFraction = false;
    std::int64_t significantIntegerDigits = 0;
    std::int64_t fractionDigits = 0;
    std::size_t i = 0;
    for (; i < text.size() && (IsDigit(text[i]) || text[i] == '.'); ++i) {
        if (text[i] == '.') {
            inFraction = true;
        } else if (!inFraction) {
            if (found || text[i] != '0') {
                found = true;
                magnitude = significantIntegerDigits++;
            }
        } else {
            ++fractionDigits;
            if (!found && text[i] != '0') {
                found = true;
                magnitude = -fractionDigits;
            }
        }
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        const bool negative = i < text.size() && text[i] == '-';
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
        std::int64_t exponent = 0;
        for (; i < text.size() && IsDigit(text[i]); ++i) {
            if (exponent < 1000000000) exponent = exponent * 10 + (text[i] - '0');
        }
        magnitude += negative ? -exponent : exponent;
    }
    return found && magnitude >= 0;
}

}  // namespace

float ParseScriptNumber(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || !(IsDigit(text[0]) || text[0] == '.')) return 0.0f;
    double value = 0.0;
    const std::from_chars_result result = std::from_chars(text.data(), text.data() + text.size(), value);
    constexpr float kLargest = std::numeric_limits<float>::max();
    float magnitude = 0.0f;
    if (result.ec == std::errc::result_out_of_range) {
        magnitude = AtLeastOne(std::string_view(text.data(), static_cast<std::size_t>(result.ptr - text.data())))
                        ? kLargest
                        : 0.0f;
    } else if (result.ec == std::errc()) {
        magnitude = value > kLargest ? kLargest : static_cast<float>(value);
    }
    return negative ? -magnitude : magnitude;
}

std::int32_t ScriptToInt32(float value) {
    if (std::isnan(value)) return 0;
    if (value <= static_cast<float>(std::numeric_limits<std::int32_t>::min())) return std::numeric_limits<std::int32_t>::min();
    // 2^31 is the first float above the range.
    if (value >= 2147483648.0f) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value);
}

std::uint32_t ScriptToUInt32(float value) {
    if (!(value > 0.0f)) return 0;
    if (value >= 4294967296.0f) return std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(value);
}
