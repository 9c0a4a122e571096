#include "platform/win32/text.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <type_traits>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// One step of UTF-8 decoding. `length` is the number of bytes consumed: the whole sequence
// when valid, else the maximal subpart of a sequence (at least one byte), so that callers
// put one replacement per broken sequence as Unicode recommends.
struct Utf8Step {
    char32_t codePoint;
    std::size_t length;
    bool valid;
};

Utf8Step DecodeUtf8(const unsigned char* bytes, std::size_t available) {
    const unsigned lead = bytes[0];
    if (lead < 0x80) return {lead, 1, true};
    std::size_t trailing = 0;
    unsigned low = 0x80, high = 0xBF;  // allowed range of the second byte
    char32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        trailing = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trailing = 2;
        value = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trailing = 3;
        value = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return {kReplacement, 1, false};
    }
    std::size_t used = 1;
    for (std::size_t k = 0; k < trailing; ++k) {
        if (used >= available) return {kReplacement, used, false};
        const unsigned byte = bytes[used];
        const unsigned lo = k == 0 ? low : 0x80;
        const unsigned hi = k == 0 ? high : 0xBF;
        if (byte < lo || byte > hi) return {kReplacement, used, false};
        value = (value << 6) | (byte & 0x3F);
        ++used;
    }
    return {value, used, true};
}

struct Utf16Step {
    char32_t codePoint;
    std::size_t length;
    bool valid;
};

Utf16Step DecodeUtf16(const char16_t* units, std::size_t available) {
    const char16_t first = units[0];
    if (first < 0xD800 || first > 0xDFFF) return {first, 1, true};
    if (first <= 0xDBFF && available > 1 && units[1] >= 0xDC00 && units[1] <= 0xDFFF) {
        const char32_t value = 0x10000 + ((char32_t(first) - 0xD800) << 10) + (char32_t(units[1]) - 0xDC00);
        return {value, 2, true};
    }
    return {kReplacement, 1, false};
}

void AppendUtf16(std::u16string& out, char32_t codePoint) {
    if (codePoint < 0x10000) {
        out.push_back(static_cast<char16_t>(codePoint));
    } else {
        codePoint -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
    }
}

void AppendUtf8(std::string& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

std::u16string DecodeNarrow(std::string_view text, bool preserveBytes, bool* hadInvalid) {
    std::u16string out;
    out.reserve(text.size());
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t at = 0;
    while (at < text.size()) {
        const Utf8Step step = DecodeUtf8(bytes + at, text.size() - at);
        if (step.valid) {
            AppendUtf16(out, step.codePoint);
            at += step.length;
        } else if (preserveBytes) {
            out.push_back(static_cast<char16_t>(bytes[at]));  // U+00xx keeps the byte
            ++at;
        } else {
            if (hadInvalid) *hadInvalid = true;
            out.push_back(static_cast<char16_t>(kReplacement));
            at += step.length;
        }
    }
    return out;
}

std::string EncodeUtf8(std::u16string_view text, bool* hadInvalid) {
    std::string out;
    out.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        const Utf16Step step = DecodeUtf16(text.data() + at, text.size() - at);
        if (!step.valid && hadInvalid) *hadInvalid = true;
        AppendUtf8(out, step.codePoint);
        at += step.length;
    }
    return out;
}

// True when `bytes` (all 0x80..0xFF) read back through AnsiToWide as one unit per byte.
bool ReadsBackAsBytes(const std::string& bytes) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t at = 0; at < bytes.size(); ++at)
        if (DecodeUtf8(data + at, bytes.size() - at).valid) return false;
    return true;
}

std::string EncodeAnsi(std::u16string_view text, char defaultChar, bool* usedDefault) {
    std::string out;
    out.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        if (text[at] >= 0x80 && text[at] <= 0xFF) {
            std::size_t end = at;
            std::string raw;
            while (end < text.size() && text[end] >= 0x80 && text[end] <= 0xFF)
                raw.push_back(static_cast<char>(text[end++]));
            // A run never merges with its neighbours when read back: it follows a complete
            // character and is followed by ASCII or a UTF-8 lead byte.
            if (ReadsBackAsBytes(raw)) {
                out += raw;
            } else {
                for (std::size_t i = at; i < end; ++i) AppendUtf8(out, text[i]);
            }
            at = end;
            continue;
        }
        const Utf16Step step = DecodeUtf16(text.data() + at, text.size() - at);
        if (step.valid) {
            AppendUtf8(out, step.codePoint);
        } else {
            out.push_back(defaultChar);
            if (usedDefault) *usedDefault = true;
        }
        at += step.length;
    }
    return out;
}

void CheckCodePage(UINT codePage, DWORD flags, DWORD allowedFlags) {
    if (codePage != CP_ACP && codePage != CP_UTF8)
        throw std::invalid_argument("code page " + std::to_string(codePage) + " is not supported");
    if ((flags & ~allowedFlags) != 0)
        throw std::invalid_argument("conversion flags " + std::to_string(flags) + " are not supported");
}

// The longest prefix of at most `room` units that does not cut a surrogate pair.
std::size_t WholeUtf16Prefix(const std::u16string& text, std::size_t room) {
    if (room >= text.size()) return text.size();
    if (room > 0 && text[room - 1] >= 0xD800 && text[room - 1] <= 0xDBFF && text[room] >= 0xDC00 &&
        text[room] <= 0xDFFF)
        return room - 1;
    return room;
}

// The longest prefix of at most `room` bytes that does not cut a UTF-8 sequence. Bytes kept
// by the ANSI fallback never form a sequence with their neighbours, so decoding finds them.
std::size_t WholeUtf8Prefix(const std::string& text, std::size_t room) {
    if (room >= text.size()) return text.size();
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t back = 1; back <= 3 && back <= room; ++back) {
        const std::size_t start = room - back;
        const Utf8Step step = DecodeUtf8(bytes + start, text.size() - start);
        if (step.valid && step.length > 1 && start + step.length > room) return start;
    }
    return room;
}

bool IsSpace(char32_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

char32_t FoldAscii(char32_t c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

template <typename Char>
long long ParseInteger(const Char* text, long long lowest, long long highest) {
    if (!text) return 0;
    while (IsSpace(static_cast<char32_t>(*text))) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    // Accumulate as a negative number, whose range includes the lowest value.
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        const int digit = static_cast<int>(*text - '0');
        if (value < (LLONG_MIN + digit) / 10) {
            value = LLONG_MIN;
        } else {
            value = value * 10 - digit;
        }
    }
    if (negative) return value < lowest ? lowest : value;
    if (value < -highest) return highest;
    return -value;
}

template <typename Char>
int CompareNoCase(const Char* a, const Char* b, std::size_t count) {
    if (!a || !b) return _NLSCMPERROR;
    for (std::size_t i = 0; i < count; ++i) {
        using Unit = std::make_unsigned_t<Char>;
        const char32_t ca = FoldAscii(static_cast<Unit>(a[i]));
        const char32_t cb = FoldAscii(static_cast<Unit>(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) break;
    }
    return 0;
}

}  // namespace

namespace win32 {

std::u16string Utf8ToUtf16(std::string_view text) { return DecodeNarrow(text, false, nullptr); }

std::string Utf16ToUtf8(std::u16string_view text) { return EncodeUtf8(text, nullptr); }

std::u16string AnsiToWide(std::string_view text) { return DecodeNarrow(text, true, nullptr); }

std::string WideToAnsi(std::u16string_view text) { return EncodeAnsi(text, '?', nullptr); }

std::u16string WideString(const char16_t* text) { return text ? std::u16string(text) : std::u16string(); }

std::size_t WideLength(const char16_t* text) {
    return text ? std::char_traits<char16_t>::length(text) : 0;
}

int WideCompare(const char16_t* a, const char16_t* b) {
    const char16_t empty = 0;
    if (!a) a = &empty;
    if (!b) b = &empty;
    for (;; ++a, ++b) {
        if (*a != *b) return *a < *b ? -1 : 1;
        if (*a == 0) return 0;
    }
}

int WideCompareNoCase(const char16_t* a, const char16_t* b) {
    const char16_t empty = 0;
    return CompareNoCase(a ? a : &empty, b ? b : &empty, SIZE_MAX);
}

bool WideCopy(char16_t* dest, std::size_t capacity, const char16_t* source) {
    if (!dest || capacity == 0) return false;
    std::size_t i = 0;
    if (source) {
        for (; i + 1 < capacity && source[i] != 0; ++i) dest[i] = source[i];
    }
    dest[i] = 0;
    return !source || source[i] == 0;
}

}  // namespace win32

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* source, int sourceLength,
                        char16_t* dest, int destLength) {
    CheckCodePage(codePage, flags, MB_PRECOMPOSED | MB_ERR_INVALID_CHARS);
    // UTF-8 takes no flag but MB_ERR_INVALID_CHARS (ERROR_INVALID_FLAGS on the platform).
    if (codePage == CP_UTF8 && (flags & ~MB_ERR_INVALID_CHARS) != 0) return 0;
    if (!source || sourceLength == 0 || sourceLength < -1 || destLength < 0 || (destLength > 0 && !dest))
        return 0;
    const std::size_t length = sourceLength == -1 ? std::strlen(source) + 1 : static_cast<std::size_t>(sourceLength);
    bool invalid = false;
    const std::u16string wide = DecodeNarrow(std::string_view(source, length), codePage == CP_ACP, &invalid);
    if (invalid && (flags & MB_ERR_INVALID_CHARS)) return 0;
    if (wide.size() > static_cast<std::size_t>(INT_MAX)) return 0;
    const int needed = static_cast<int>(wide.size());
    if (destLength == 0) return needed;
    if (needed > destLength) {
        const std::size_t fit = WholeUtf16Prefix(wide, static_cast<std::size_t>(destLength));
        std::memcpy(dest, wide.data(), fit * sizeof(char16_t));
        return 0;
    }
    std::memcpy(dest, wide.data(), wide.size() * sizeof(char16_t));
    return needed;
}

int WideCharToMultiByte(UINT codePage, DWORD flags, const char16_t* source, int sourceLength,
                        char* dest, int destLength, const char* defaultChar, BOOL* usedDefault) {
    CheckCodePage(codePage, flags, WC_ERR_INVALID_CHARS);
    // WC_ERR_INVALID_CHARS belongs to UTF-8 alone (ERROR_INVALID_FLAGS on the platform).
    if (codePage != CP_UTF8 && (flags & WC_ERR_INVALID_CHARS) != 0) return 0;
    if (!source || sourceLength == 0 || sourceLength < -1 || destLength < 0 || (destLength > 0 && !dest))
        return 0;
    if (codePage == CP_UTF8 && (defaultChar || usedDefault)) return 0;
    const std::size_t length =
        sourceLength == -1 ? win32::WideLength(source) + 1 : static_cast<std::size_t>(sourceLength);
    const std::u16string_view text(source, length);
    std::string narrow;
    if (codePage == CP_UTF8) {
        bool invalid = false;
        narrow = EncodeUtf8(text, &invalid);
        if (invalid && (flags & WC_ERR_INVALID_CHARS)) return 0;
    } else {
        bool used = false;
        narrow = EncodeAnsi(text, defaultChar ? *defaultChar : '?', &used);
        if (usedDefault) *usedDefault = used ? TRUE : FALSE;
    }
    if (narrow.size() > static_cast<std::size_t>(INT_MAX)) return 0;
    const int needed = static_cast<int>(narrow.size());
    if (destLength == 0) return needed;
    if (needed > destLength) {
        std::memcpy(dest, narrow.data(), WholeUtf8Prefix(narrow, static_cast<std::size_t>(destLength)));
        return 0;
    }
    std::memcpy(dest, narrow.data(), narrow.size());
    return needed;
}

long long _wtoi64(const char16_t* text) { return ParseInteger(text, LLONG_MIN, LLONG_MAX); }

int _wtoi(const char16_t* text) { return static_cast<int>(ParseInteger(text, INT_MIN, INT_MAX)); }

int _stricmp(const char* a, const char* b) { return CompareNoCase(a, b, SIZE_MAX); }

int _strnicmp(const char* a, const char* b, std::size_t count) { return CompareNoCase(a, b, count); }

int _wcsicmp(const char16_t* a, const char16_t* b) { return CompareNoCase(a, b, SIZE_MAX); }

int _wcsnicmp(const char16_t* a, const char16_t* b, std::size_t count) { return CompareNoCase(a, b, count); }
