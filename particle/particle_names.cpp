#include "particle/particle_names.h"

#include <cstring>

#include "platform/win32/text.h"

std::u16string CapWideText(std::u16string_view text, std::size_t maxUnits) {
    text = text.substr(0, text.find(u'\0'));
    if (text.size() <= maxUnits) return std::u16string(text);
    std::size_t units = maxUnits;
    const auto isHighSurrogate = [](char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; };
    if (units > 0 && isHighSurrogate(text[units - 1])) --units;
    return std::u16string(text.substr(0, units));
}

std::u16string AnsiToWideCapped(const char* text, std::size_t maxUnits) {
    if (text == nullptr) return std::u16string();
    return CapWideText(win32::AnsiToWide(text), maxUnits);
}

std::string WideToAnsiCapped(std::u16string_view text, std::size_t maxBytes) {
    text = text.substr(0, text.find(u'\0'));
    std::string narrow = win32::WideToAnsi(text);
    if (narrow.size() <= maxBytes) return narrow;
    // Short of room, the conversion fills what fits in whole characters and reports 0.
    std::string cut(maxBytes, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), cut.data(),
                        static_cast<int>(maxBytes), nullptr, nullptr);
    cut.resize(std::strlen(cut.c_str()));
    return cut;
}
