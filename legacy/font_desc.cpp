#include "legacy/font_desc.h"

#include <algorithm>
#include <iterator>

#include "core/event_log.h"

bool font_desc_t::Assign(const WCHAR* newPath, std::uint8_t newSize, std::uint8_t newStyle) {
    WCHAR kept[kFontDescPathUnits] = {};
    std::size_t length = 0;
    if (newPath != nullptr) {
        while (newPath[length] != u'\0' && length < kFontDescPathUnits - 1) {
            kept[length] = newPath[length];
            ++length;
        }
        if (newPath[length] != u'\0') WriteLog(u"font path too long.[%s]", newPath);
    }
    if (style == newStyle && size == newSize && std::equal(std::begin(kept), std::end(kept), std::begin(path)))
        return false;
    std::copy(std::begin(kept), std::end(kept), std::begin(path));
    size = newSize;
    style = newStyle;
    return true;
}
