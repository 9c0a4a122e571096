#include "demo/legacy/demo_text.h"

#include <filesystem>
#include <string>

namespace {

// Fonts from Debian packages (fonts-dejavu-core, fonts-wqy-microhei).
constexpr char16_t kLatinFont[] = u"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr char16_t kChineseFont[] = u"/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";

}  // namespace

DemoText::DemoText(IRenderer* renderer) : renderer_(renderer) {
    hasFonts_ = std::filesystem::exists(std::filesystem::path(kLatinFont)) &&
                std::filesystem::exists(std::filesystem::path(kChineseFont));
    for (STRU_DRAW_COMMAND_BASE** cmd : {&latin_, &chinese_, &outlined_, &wrapped_, &counter_})
        *cmd = renderer_->CreatePrimitive(kDrawCmdText);
    // The glyph library draws code units up to 254 of every font from the western font.
    renderer_->SetWesternFontPath(kLatinFont);
    renderer_->SetFont(latin_, kLatinFont, 18);
    renderer_->SetFont(chinese_, kChineseFont, 20);
    renderer_->SetFont(outlined_, kLatinFont, 28);
    renderer_->SetFont(wrapped_, kChineseFont, 15);
    renderer_->SetFont(counter_, kLatinFont, 16);
    renderer_->SetText(latin_, u"Legacy text: glyphs rasterised at once, in pages of each font.");
    renderer_->SetText(chinese_, u"\u4F60\u597D\uFF0C\u4E16\u754C\uFF01\u65E7\u7248\u6E32\u67D3\u5668\u7684\u6587\u5B57 (Chinese).");
    renderer_->SetText(outlined_, u"Outlined legacy text");
    renderer_->SetText(wrapped_,
                       u"A paragraph wrapped in its box: lines as high as the taller of 'A' and \u9AD8 "
                       u"\u2014 \u9AD8\u5C71\u6D41\u6C34\uFF0C\u5343\u91CC\u4E4B\u884C\u59CB\u4E8E\u8DB3\u4E0B\u3002");
}

DemoText::~DemoText() {
    for (STRU_DRAW_COMMAND_BASE* cmd : {latin_, chinese_, outlined_, wrapped_, counter_}) renderer_->ReleasePrimitive(cmd);
}

int DemoText::Draw(int frame, int width, int height) {
    if (!hasFonts_) return 0;
    const std::string counter = "frame " + std::to_string(frame);
    renderer_->SetText(counter_, std::u16string(counter.begin(), counter.end()).c_str());
    const int left = width / 2 + 10;
    renderer_->DrawRect(ScratchCommand(), left - 4, 36, width - 10, 130, 0xFFFFFFFFu, false);
    renderer_->DrawTextInRect(wrapped_, left, 40, width - 14, 126, 0xFFFFFFFFu, true, false, 0, 0);
    if (width < 400) {
        // The small window has room for the counter and one short line beside the paragraph.
        renderer_->DrawText(counter_, 8, height - 80, 0xFFFFFFFFu, false, 0, 0);
        renderer_->DrawText(outlined_, 8, height - 50, 0xFFFFFFFFu, true, 0xFF000000u, 1);
        return 4;
    }
    int y = height - 130;
    renderer_->DrawText(counter_, 8, y, 0xFFFFFFFFu, false, 0, 0);
    renderer_->DrawText(latin_, 8, y += 22, 0xFFE0E8FFu, false, 0, 0);
    renderer_->DrawText(chinese_, 8, y += 24, 0xFFFFE080u, false, 0, 0);
    renderer_->DrawText(outlined_, 220, 210, 0xFFFFFFFFu, true, 0xFF000000u, 1);
    return 6;
}
