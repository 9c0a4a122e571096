// Font pages and the shelf packer.
#include "draw/font_texture.h"

#include <algorithm>
#include <cstring>

#include "core/event_log.h"
#include "core/exception.h"
#include "core/lumiscriber.h"
#include "draw/d3d_font.h"
#include "draw/font_tex_mgr.h"
#include "draw/tex_mgr.h"
#include "draw/word_tex.h"
#include "platform/fontmill/fontmill.h"

namespace {

constexpr std::int32_t kShelfGap = 1;  // pixels between glyphs on a shelf

std::int32_t TexelBytes(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_A8R8G8B8: return 4;
        case D3DFMT_A4R4G4B4: return 2;
        case D3DFMT_A8: return 1;
        default: throw lumi::Exception("error font texture format.");
    }
}

// Coverage into the top byte of each texel (little-endian: the last byte of the texel).
void WriteCoverage(const STRU_FONT_BITMAP& bitmap, const D3DLOCKED_RECT& locked, std::int32_t texelBytes) {
    const bool mono = bitmap.pixelMode == kFT2PixelModeMono;
    if (!mono && !(bitmap.pixelMode == kFT2PixelModeGray && bitmap.grayLevels == 256)) return;
    for (std::int32_t y = 0; y < bitmap.rows; ++y) {
        const std::uint8_t* source = bitmap.buffer + static_cast<std::ptrdiff_t>(y) * bitmap.pitch;
        auto* row = static_cast<std::uint8_t*>(locked.pBits) + static_cast<std::ptrdiff_t>(y) * locked.Pitch;
        std::uint8_t* top = row + texelBytes - 1;
        for (std::int32_t x = 0; x < bitmap.width; ++x, top += texelBytes) {
            if (mono) {
                if (source[x >> 3] & (0x80 >> (x & 7))) *top = 255;
            } else {
                *top = source[x];
            }
        }
    }
}

}  // namespace

CFontTexture::CFontTexture(ITextureOwner* owner, D3DFORMAT format, std::uint16_t width, std::uint16_t height)
    : CD3DTexture(owner, format, width, height, 0, false) {
    SetNotPackable(true);
}

CFontTexture* CTexMgr::CreateFontPage(std::uint16_t width, std::uint16_t height) {
    auto* page = new CFontTexture(this, fontPageFormat_, width, height);
    if (names_.count(page->GetName()) != 0) {
        delete page;
        return nullptr;
    }
    if (!page->BindMemoryFromPool()) {
        WriteLog(u"Not enough memory in pool");
        delete page;
        return nullptr;
    }
    try {
        RegisterTexture(page);
    } catch (...) {
        delete page;
        throw;
    }
    return page;
}

CFontTexture* CFontTex::CreateNewPiture(CFontTexMgr* manager) {
    CLumiscriber* renderer = manager->GetRenderer();
    CTexMgr* texMgr = renderer != nullptr ? renderer->GetTexMgr() : nullptr;
    if (texMgr == nullptr) return nullptr;
    const auto side = static_cast<std::uint16_t>(renderer->GetAtlasPageSize());
    CFontTexture* page = texMgr->CreateFontPage(side, side);
    if (page == nullptr) return nullptr;
    IDirect3DTexture9* system = page->GetSystemTexture();
    D3DSURFACE_DESC desc{};
    if (system == nullptr || FAILED(system->GetLevelDesc(0, &desc)) || desc.Width != page->GetWidth() ||
        desc.Height != page->GetHeight()) {
        WriteLog(u"CFontTex::CreateNewPiture() failed, GetLevelDesc() failed.");
        texMgr->DestroyTexture(page);
        return nullptr;
    }
    D3DLOCKED_RECT locked{};
    if (FAILED(system->LockRect(0, &locked, nullptr, D3DLOCK_NOSYSLOCK))) {
        WriteLog(u"CFontTex::CreateNewPiture() failed, LockRect() failed.");
        texMgr->DestroyTexture(page);
        return nullptr;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(desc.Width) * static_cast<std::size_t>(TexelBytes(desc.Format));
    for (UINT y = 0; y < desc.Height; ++y)
        std::memset(static_cast<std::uint8_t*>(locked.pBits) + static_cast<std::ptrdiff_t>(y) * locked.Pitch, 0, rowBytes);
    system->UnlockRect(0);
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
        IDirect3DTexture9* system = page->GetSystemTexture();
        if (system == nullptr) throw lumi::Exception("invalid pointer.");
        const std::int32_t texelBytes = TexelBytes(page->GetFormat());
        D3DLOCKED_RECT locked{};
        if (FAILED(system->LockRect(0, &locked, &rect, D3DLOCK_NOSYSLOCK))) {
            // Unplaced, so that the next glyph taking this spot is not drawn for this one.
            WriteLog(u"CFontTex::GetWord() failed, LockRect error.");
            glyph->ClearPixels();
            return false;
        }
        WriteCoverage(bitmap, locked, texelBytes);
        system->UnlockRect(0);
        page->AddDirtyRect(rect);
    }
    glyph->Place(page, rect);
    page->cursorX += bitmap.width + kShelfGap;
    page->rowHeight = std::max(page->rowHeight, bitmap.rows);
    if (!font->HasMetricsByte()) font->SetMetrics(bitmap);
    return true;
}
