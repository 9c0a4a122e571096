// Font pages and the shelf packer.
#include "draw/font_texture.h"

#include <algorithm>

#include "core/event_log.h"
#include "core/lumiscriber.h"
#include "draw/d3d_font.h"
#include "draw/font_page.h"
#include "draw/font_tex_mgr.h"
#include "draw/tex_mgr.h"
#include "draw/word_tex.h"
#include "platform/fontmill/fontmill.h"

namespace {

constexpr std::int32_t kShelfGap = 1;  // pixels between glyphs on a shelf

}  // namespace

CFontTexture::CFontTexture(ITextureOwner* owner, D3DFORMAT format, std::uint16_t width, std::uint16_t height)
    : CD3DTexture(owner, format, width, height, 0, false) {
    SetNotPackable(true);
}

CFontTexture* CFontTex::CreateNewPiture(CFontTexMgr* manager) {
    CLumiscriber* renderer = manager->GetRenderer();
    CTexMgr* texMgr = renderer != nullptr ? renderer->GetTexMgr() : nullptr;
    if (texMgr == nullptr) return nullptr;
    const auto side = static_cast<std::uint16_t>(renderer->GetAtlasPageSize());
    CFontTexture* page = texMgr->CreateFontPage(side, side);
    if (page == nullptr) return nullptr;
    if (!ClearFontPage(page)) {
        texMgr->DestroyTexture(page);
        return nullptr;
    }
    manager->AddPage(page);
    return page;
}

bool CFontTex::GetWord(CD3DFont* font, CWordTex* glyph) {
    const STRU_FONT_BITMAP& bitmap = glyph->GetBitmap()->GetData();
    // Metrics first: a glyph whose image finds no place still moves the pen.
    glyph->TakeMetrics(bitmap);
    if (bitmap.width < 0 || bitmap.rows < 0) {
        glyph->ClearPixels();
        return false;
    }
    CFontTexMgr* manager = font->GetManager();
    // A new page becomes the current one, and the font notes it.
    auto newPage = [&]() -> CFontTexture* {
        CFontTexture* made = CreateNewPiture(manager);
        if (made == nullptr) {
            WriteLog(u"CreateNewPicture -- out of memory\n");
            glyph->ClearPixels();
        }
        return made;
    };
    CFontTexture* page = manager->GetCurrentPage();
    if (page == nullptr && (page = newPage()) == nullptr) return false;
    font->NotePage(page->GetFormat(), page->GetWidth(), page->GetHeight());
    if (bitmap.width > page->GetWidth() || bitmap.rows > page->GetHeight()) {
        glyph->ClearPixels();
        return false;
    }
    if (page->GetWidth() < page->cursorX + bitmap.width + kShelfGap) {
        page->cursorY += page->rowHeight;
        page->cursorX = 0;
    }
    if (page->GetHeight() < page->cursorY + bitmap.rows) {
        if ((page = newPage()) == nullptr) return false;
        font->NotePage(page->GetFormat(), page->GetWidth(), page->GetHeight());
    }

    const RECT rect{page->cursorX, page->cursorY, page->cursorX + bitmap.width, page->cursorY + bitmap.rows};
    if (rect.right <= page->GetWidth() && rect.bottom <= page->GetHeight()) {
        if (!WriteGlyphPixels(page, rect, bitmap)) {
            // Unplaced, so that the next glyph taking this spot is not drawn for this one.
            glyph->ClearPixels();
            return false;
        }
    }
    glyph->Place(page, rect);
    page->cursorX += bitmap.width + kShelfGap;
    page->rowHeight = std::max(page->rowHeight, bitmap.rows);
    if (!font->HasMetricsByte()) font->SetMetrics(bitmap);
    return true;
}
