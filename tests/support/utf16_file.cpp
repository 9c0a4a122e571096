#include "tests/support/utf16_file.h"

#include <fstream>
#include <iterator>

namespace lumi::test {

Utf16File ReadUtf16LeFile(const std::string& path) {
    Utf16File result;
    std::ifstream in(path, std::ios::binary);
    if (!in) return result;
    result.exists = true;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t start = 0;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        result.hasBom = true;
        start = 2;
    }
    result.oddLength = (bytes.size() - start) % 2 != 0;
    for (std::size_t i = start; i + 1 < bytes.size(); i += 2) {
        result.text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                    (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return result;
}

std::vector<std::u16string> SplitCrLfLines(std::u16string_view text) {
    std::vector<std::u16string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find(u"\r\n", start);
        if (end == std::u16string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

}  // namespace lumi::test
