// Font pages: their pixels (the texture manager makes them: CTexMgr::CreateFontPage).
#include "draw/font_page.h"

#include <cstring>

#include "core/event_log.h"
#include "core/exception.h"
#include "draw/d3d_texture.h"
#include "platform/fontmill/fontmill.h"

namespace {

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

std::int32_t FontTexelBytes(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_A8R8G8B8: return 4;
        case D3DFMT_A4R4G4B4: return 2;
        case D3DFMT_A8: return 1;
        default: throw lumi::Exception("error font texture format.");
    }
}

bool ClearFontPage(CD3DTexture* page) {
    IDirect3DTexture9* system = page->GetSystemTexture();
    D3DSURFACE_DESC desc{};
    if (system == nullptr || FAILED(system->GetLevelDesc(0, &desc)) || desc.Width != page->GetWidth() ||
        desc.Height != page->GetHeight()) {
        WriteLog(u"CFontTex::CreateNewPiture() failed, GetLevelDesc() failed.");
        return false;
    }
    D3DLOCKED_RECT locked{};
    if (FAILED(system->LockRect(0, &locked, nullptr, D3DLOCK_NOSYSLOCK))) {
        WriteLog(u"CFontTex::CreateNewPiture() failed, LockRect() failed.");
        return false;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(desc.Width) * static_cast<std::size_t>(FontTexelBytes(desc.Format));
    for (UINT y = 0; y < desc.Height; ++y)
        std::memset(static_cast<std::uint8_t*>(locked.pBits) + static_cast<std::ptrdiff_t>(y) * locked.Pitch, 0, rowBytes);
    system->UnlockRect(0);
    return true;
}

bool WriteGlyphPixels(CD3DTexture* page, const RECT& rect, const STRU_FONT_BITMAP& bitmap) {
    IDirect3DTexture9* system = page->GetSystemTexture();
    if (system == nullptr) throw lumi::Exception("invalid pointer.");
    const std::int32_t texelBytes = FontTexelBytes(page->GetFormat());
    D3DLOCKED_RECT locked{};
    if (FAILED(system->LockRect(0, &locked, &rect, D3DLOCK_NOSYSLOCK))) {
        WriteLog(u"CFontTex::GetWord() failed, LockRect error.");
        return false;
    }
    WriteCoverage(bitmap, locked, texelBytes);
    system->UnlockRect(0);
    page->AddDirtyRect(rect);
    return true;
}
