#include "platform/win32/wide_format.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "platform/win32/crt_invalid_parameter.h"
#include "platform/win32/text.h"

namespace {

// Collects the output, keeping at most `limit` units but counting all of them, so that a
// bounded caller learns the full length without building a huge string.
class Output {
public:
    explicit Output(std::size_t limit) : limit_(limit) {}

    void Put(char16_t unit) { Repeat(unit, 1); }
    void Put(std::u16string_view units) {
        total_ += units.size();
        if (text_.size() < limit_) text_.append(units.substr(0, limit_ - text_.size()));
    }
    void PutAscii(std::string_view chars) {
        for (const char c : chars) Put(static_cast<char16_t>(static_cast<unsigned char>(c)));
    }
    void Repeat(char16_t unit, std::size_t count) {
        total_ += count;
        if (text_.size() < limit_) text_.append(std::min(count, limit_ - text_.size()), unit);
    }

    std::size_t Total() const { return total_; }
    std::u16string& Text() { return text_; }

private:
    std::size_t limit_;
    std::size_t total_ = 0;
    std::u16string text_;
};

enum class Size { kDefault, kChar, kShort, kLong, kLongLong, kLongDouble, kSizeT, kWide };

struct Directive {
    bool left = false;
    bool plus = false;
    bool space = false;
    bool alternate = false;
    bool zero = false;
    std::size_t width = 0;
    int precision = -1;  // -1: none given
    Size size = Size::kDefault;
    char16_t conversion = 0;
};

// Precision beyond this prints no more digits: a double has at most 767 significant
// fractional digits, and a bound keeps a wild '*' argument from allocating gigabytes.
constexpr int kMaxPrecision = 1100;

[[noreturn]] void Unsupported(const char* what, char16_t conversion) {
    std::string message = "FormatWide: ";
    message += what;
    if (conversion >= 0x20 && conversion < 0x7F) {
        message += " '%";
        message += static_cast<char>(conversion);
        message += '\'';
    }
    throw std::invalid_argument(message);
}

// Pads `body` (already complete with sign and prefix) to the field width. `zeroAt` is where
// zero padding goes (after a sign or 0x prefix), or npos when zero padding does not apply.
void PutField(Output& out, const Directive& directive, std::u16string_view body, std::size_t zeroAt = std::u16string_view::npos) {
    const std::size_t pad = directive.width > body.size() ? directive.width - body.size() : 0;
    if (directive.left) {
        out.Put(body);
        out.Repeat(u' ', pad);
    } else if (directive.zero && zeroAt != std::u16string_view::npos) {
        out.Put(body.substr(0, zeroAt));
        out.Repeat(u'0', pad);
        out.Put(body.substr(zeroAt));
    } else {
        out.Repeat(u' ', pad);
        out.Put(body);
    }
}

std::u16string Widen(std::string_view ascii) {
    std::u16string wide;
    wide.reserve(ascii.size());
    for (const char c : ascii) wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return wide;
}

void PutInteger(Output& out, const Directive& directive, std::uint64_t magnitude, bool negative) {
    int base = 10;
    bool upper = false;
    switch (directive.conversion) {
        case u'o': base = 8; break;
        case u'x': base = 16; break;
        case u'X': base = 16; upper = true; break;
        default: break;
    }
    char digits[72];
    std::size_t count = 0;
    if (!(magnitude == 0 && directive.precision == 0)) {
        const auto result = std::to_chars(digits, digits + sizeof digits, magnitude, base);
        count = static_cast<std::size_t>(result.ptr - digits);
    }
    if (upper)
        for (std::size_t i = 0; i < count; ++i)
            if (digits[i] >= 'a') digits[i] = static_cast<char>(digits[i] - 'a' + 'A');

    std::string prefix;
    const bool isSigned = directive.conversion == u'd' || directive.conversion == u'i';
    if (isSigned) {
        if (negative) prefix = "-";
        else if (directive.plus) prefix = "+";
        else if (directive.space) prefix = " ";
    }
    if (directive.alternate && base == 16 && magnitude != 0) prefix += upper ? "0X" : "0x";

    std::string body = prefix;
    std::size_t minimum = directive.precision > 0 ? static_cast<std::size_t>(directive.precision) : 0;
    if (directive.alternate && base == 8 && (count == 0 || digits[0] != '0')) minimum = std::max(minimum, count + 1);
    if (minimum > count) body.append(minimum - count, '0');
    body.append(digits, count);
    // The '0' flag is ignored for integers when a precision is given.
    PutField(out, directive, Widen(body), directive.precision < 0 ? prefix.size() : std::u16string_view::npos);
}

std::string FixedDigits(double value, int precision) {
    std::string text(330 + static_cast<std::size_t>(precision), '\0');
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, precision);
    text.resize(static_cast<std::size_t>(result.ptr - text.data()));
    return text;
}

std::string ScientificDigits(double value, int precision) {
    std::string text(32 + static_cast<std::size_t>(precision), '\0');
    const auto result =
        std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::scientific, precision);
    text.resize(static_cast<std::size_t>(result.ptr - text.data()));
    return text;
}

// %g by the C rule: P significant digits; scientific when the exponent X < -4 or X >= P,
// else fixed with P-1-X decimals; trailing zeros removed unless '#'.
std::string GeneralDigits(double value, int precision, bool alternate) {
    const int p = precision < 0 ? 6 : (precision == 0 ? 1 : precision);
    std::string text = ScientificDigits(value, p - 1);
    const int exponent = std::atoi(text.c_str() + text.find('e') + 1);
    if (exponent >= -4 && exponent < p) text = FixedDigits(value, p - 1 - exponent);
    if (!alternate) {
        const std::size_t e = text.find('e');
        std::string mantissa = text.substr(0, e);
        const std::string tail = e == std::string::npos ? std::string() : text.substr(e);
        if (mantissa.find('.') != std::string::npos) {
            while (mantissa.back() == '0') mantissa.pop_back();
            if (mantissa.back() == '.') mantissa.pop_back();
        }
        text = mantissa + tail;
    } else if (text.find('.') == std::string::npos) {
        const std::size_t e = text.find('e');
        text.insert(e == std::string::npos ? text.size() : e, ".");
    }
    return text;
}

void PutFloat(Output& out, const Directive& directive, double value) {
    const char16_t c = directive.conversion;
    const bool upper = c == u'F' || c == u'E' || c == u'G';
    const bool negative = std::signbit(value);
    const double magnitude = std::fabs(value);
    std::string prefix = negative ? "-" : (directive.plus ? "+" : (directive.space ? " " : ""));
    std::string digits;
    bool finite = std::isfinite(magnitude);
    if (!finite) {
        digits = std::isnan(magnitude) ? "nan" : "inf";
    } else {
        const int precision = directive.precision < 0 ? 6 : std::min(directive.precision, kMaxPrecision);
        if (c == u'f' || c == u'F') {
            digits = FixedDigits(magnitude, precision);
            if (directive.alternate && precision == 0) digits += '.';
        } else if (c == u'e' || c == u'E') {
            digits = ScientificDigits(magnitude, precision);
            if (directive.alternate && precision == 0) digits.insert(digits.find('e'), ".");
        } else {
            digits = GeneralDigits(magnitude, directive.precision < 0 ? -1 : precision, directive.alternate);
        }
    }
    if (upper)
        for (char& ch : digits) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    PutField(out, directive, Widen(prefix + digits), finite ? prefix.size() : std::u16string_view::npos);
}

// A wide string argument, reading no further than the precision allows.
void PutWideString(Output& out, const Directive& directive, const char16_t* text) {
    if (!text) text = u"(null)";
    std::size_t length = 0;
    const std::size_t limit = directive.precision < 0 ? SIZE_MAX : static_cast<std::size_t>(directive.precision);
    while (length < limit && text[length] != 0) ++length;
    PutField(out, directive, std::u16string_view(text, length));
}

// A narrow string argument: bytes through the ANSI code page, the precision counting bytes.
void PutNarrowString(Output& out, const Directive& directive, const char* text) {
    if (!text) text = "(null)";
    std::size_t length = 0;
    const std::size_t limit = directive.precision < 0 ? SIZE_MAX : static_cast<std::size_t>(directive.precision);
    while (length < limit && text[length] != 0) ++length;
    PutField(out, directive, win32::AnsiToWide(std::string_view(text, length)));
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

std::size_t ReadNumber(const char16_t*& p) {
    std::size_t value = 0;
    for (; IsDigit(*p); ++p) value = std::min<std::size_t>(value * 10 + static_cast<std::size_t>(*p - u'0'), INT_MAX);
    return value;
}

// Reads the size prefix; Windows rules: 'l' is 32 bits for integers, I64/ll 64 bits.
Size ReadSize(const char16_t*& p) {
    switch (*p) {
        case u'h':
            ++p;
            if (*p == u'h') {
                ++p;
                return Size::kChar;
            }
            return Size::kShort;
        case u'l':
            ++p;
            if (*p == u'l') {
                ++p;
                return Size::kLongLong;
            }
            return Size::kLong;
        case u'L': ++p; return Size::kLongDouble;
        case u'w': ++p; return Size::kWide;
        case u'z':
        case u't':
        case u'j':
            ++p;
            return Size::kSizeT;  // 64 bits here, as size_t, ptrdiff_t and intmax_t all are
        case u'I':
            if (p[1] == u'6' && p[2] == u'4') {
                p += 3;
                return Size::kLongLong;
            }
            if (p[1] == u'3' && p[2] == u'2') {
                p += 3;
                return Size::kLong;
            }
            ++p;
            return Size::kSizeT;
        default: return Size::kDefault;
    }
}

void FormatInto(Output& out, const char16_t* format, va_list args) {
    if (!format) throw std::invalid_argument("FormatWide: null format");
    for (const char16_t* p = format; *p != 0;) {
        if (*p != u'%') {
            const char16_t* run = p;
            while (*p != 0 && *p != u'%') ++p;
            out.Put(std::u16string_view(run, static_cast<std::size_t>(p - run)));
            continue;
        }
        ++p;
        if (*p == u'%') {
            out.Put(u'%');
            ++p;
            continue;
        }
        Directive directive;
        for (;; ++p) {
            if (*p == u'-') directive.left = true;
            else if (*p == u'+') directive.plus = true;
            else if (*p == u' ') directive.space = true;
            else if (*p == u'#') directive.alternate = true;
            else if (*p == u'0') directive.zero = true;
            else break;
        }
        if (*p == u'*') {
            ++p;
            const int width = va_arg(args, int);
            if (width < 0) directive.left = true;
            directive.width = width < 0 ? static_cast<std::size_t>(-static_cast<long long>(width)) : static_cast<std::size_t>(width);
        } else {
            directive.width = ReadNumber(p);
        }
        if (*p == u'.') {
            ++p;
            if (*p == u'*') {
                ++p;
                const int precision = va_arg(args, int);
                directive.precision = precision < 0 ? -1 : precision;
            } else {
                directive.precision = static_cast<int>(ReadNumber(p));
            }
        }
        directive.size = ReadSize(p);
        directive.conversion = *p;
        if (directive.conversion == 0) Unsupported("format ends inside a conversion", 0);
        ++p;

        switch (directive.conversion) {
            case u'd':
            case u'i': {
                long long value = 0;
                switch (directive.size) {
                    case Size::kChar: value = static_cast<signed char>(va_arg(args, int)); break;
                    case Size::kShort: value = static_cast<short>(va_arg(args, int)); break;
                    case Size::kLongLong: value = va_arg(args, long long); break;
                    case Size::kSizeT: value = va_arg(args, std::intptr_t); break;
                    default: value = va_arg(args, int); break;
                }
                const std::uint64_t magnitude =
                    value < 0 ? std::uint64_t(0) - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
                PutInteger(out, directive, magnitude, value < 0);
                break;
            }
            case u'u':
            case u'o':
            case u'x':
            case u'X': {
                std::uint64_t value = 0;
                switch (directive.size) {
                    case Size::kChar: value = static_cast<unsigned char>(va_arg(args, unsigned)); break;
                    case Size::kShort: value = static_cast<unsigned short>(va_arg(args, unsigned)); break;
                    case Size::kLongLong: value = va_arg(args, unsigned long long); break;
                    case Size::kSizeT: value = va_arg(args, std::size_t); break;
                    default: value = va_arg(args, unsigned); break;
                }
                PutInteger(out, directive, value, false);
                break;
            }
            case u'p': {
                const auto value = reinterpret_cast<std::uintptr_t>(va_arg(args, void*));
                Directive hex = directive;
                hex.conversion = u'X';
                hex.precision = static_cast<int>(2 * sizeof(void*));
                hex.alternate = false;
                PutInteger(out, hex, value, false);
                break;
            }
            case u'f':
            case u'F':
            case u'e':
            case u'E':
            case u'g':
            case u'G': {
                const double value =
                    directive.size == Size::kLongDouble ? static_cast<double>(va_arg(args, long double)) : va_arg(args, double);
                PutFloat(out, directive, value);
                break;
            }
            case u'c':
            case u'C': {
                const int value = va_arg(args, int);
                const bool narrow = directive.size == Size::kShort || (directive.conversion == u'C' && directive.size != Size::kLong &&
                                                                    directive.size != Size::kWide);
                if (narrow) {
                    const char byte = static_cast<char>(value);
                    PutField(out, directive, win32::AnsiToWide(std::string_view(&byte, 1)));
                } else {
                    const char16_t unit = static_cast<char16_t>(value);
                    PutField(out, directive, std::u16string_view(&unit, 1));
                }
                break;
            }
            case u's':
            case u'S': {
                const bool narrow = directive.size == Size::kShort || (directive.conversion == u'S' && directive.size != Size::kLong &&
                                                                    directive.size != Size::kWide);
                if (narrow) PutNarrowString(out, directive, va_arg(args, const char*));
                else PutWideString(out, directive, va_arg(args, const char16_t*));
                break;
            }
            default: Unsupported("unsupported conversion", directive.conversion);
        }
    }
}

}  // namespace

namespace win32 {

std::u16string FormatWide(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    try {
        std::u16string text = FormatWideV(format, args);
        va_end(args);
        return text;
    } catch (...) {
        va_end(args);
        throw;
    }
}

std::u16string FormatWideV(const char16_t* format, va_list args) {
    Output out(SIZE_MAX);
    va_list copy;
    va_copy(copy, args);
    try {
        FormatInto(out, format, copy);
    } catch (...) {
        va_end(copy);
        throw;
    }
    va_end(copy);
    return std::move(out.Text());
}

}  // namespace win32

int _vsnwprintf(char16_t* buffer, std::size_t count, const char16_t* format, va_list args) {
    if (!format || (!buffer && count != 0)) return -1;
    Output out(count);
    va_list copy;
    va_copy(copy, args);
    try {
        FormatInto(out, format, copy);
    } catch (...) {
        va_end(copy);
        throw;
    }
    va_end(copy);
    const std::size_t total = out.Total();
    if (!buffer) return total > static_cast<std::size_t>(INT_MAX) ? -1 : static_cast<int>(total);
    const std::u16string& text = out.Text();
    std::memcpy(buffer, text.data(), text.size() * sizeof(char16_t));
    if (total > count || total > static_cast<std::size_t>(INT_MAX)) return -1;
    if (total < count) buffer[total] = 0;
    return static_cast<int>(total);
}

int _snwprintf(char16_t* buffer, std::size_t count, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    int result = -1;
    try {
        result = _vsnwprintf(buffer, count, format, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
    return result;
}

int swprintf_s(char16_t* buffer, std::size_t count, const char16_t* format, ...) {
    if (!buffer || count == 0 || !format) {
        win32::InvalidParameter("swprintf_s", EINVAL);
        return -1;
    }
    va_list args;
    va_start(args, format);
    int result = -1;
    try {
        result = _vsnwprintf(buffer, count, format, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
    if (result < 0 || static_cast<std::size_t>(result) >= count) {
        buffer[0] = 0;
        win32::InvalidParameter("swprintf_s", ERANGE);
        return -1;
    }
    return result;
}

int vfwprintf(std::FILE* file, const char16_t* format, va_list args) {
    if (!file || !format) return -1;
    const std::u16string text = win32::FormatWideV(format, args);
    // Code units go out little-endian whatever the host, as the platform writes them.
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) return -1;
    return text.size() > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(text.size());
}

int fwprintf(std::FILE* file, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    int result = -1;
    try {
        result = vfwprintf(file, format, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
    return result;
}
