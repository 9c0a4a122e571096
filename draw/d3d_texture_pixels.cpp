// CD3DTexture: writing host pixels, reading single pixels, and carrying the dirty rectangle
// of the system copy to the video copy.
#include <algorithm>
#include <cstring>

#include "core/event_log.h"
#include "core/exception.h"
#include "draw/d3d_texture.h"
#include "draw/texture_cell.h"
#include "draw/texture_owner.h"
#include "draw/texture_pool.h"
#include "platform/dxerr/dxerr.h"

namespace {

bool IsEmpty(const RECT& rect) { return rect.right <= rect.left || rect.bottom <= rect.top; }

std::uint16_t Read16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
void Write16(std::uint8_t* p, std::uint16_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

// A 24-bit B, G, R source pixel in a 2-byte texel of the texture's own layout.
std::uint16_t PackRgb16(D3DFORMAT format, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    switch (format) {
        case D3DFMT_R5G6B5:
            return static_cast<std::uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5:
            return static_cast<std::uint16_t>(0x8000 | ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
        default:  // A4R4G4B4, opaque
            return static_cast<std::uint16_t>(0xF000 | ((r >> 4) << 8) | (g & 0xF0) | (b >> 4));
    }
}

// Converts one row of `count` source pixels of `bitsPerPixel` into texels of `texelBytes`.
// The row was zero-filled before.
void ConvertRow(const std::uint8_t* source, std::uint8_t* texels, std::int32_t count, std::int32_t bitsPerPixel,
                std::uint32_t texelBytes, D3DFORMAT format) {
    const std::uint32_t high = texelBytes - 1;  // the texel's highest byte: alpha
    const std::int32_t step = bitsPerPixel / 8;
    for (std::int32_t i = 0; i < count; ++i) {
        std::uint8_t* texel = texels + static_cast<std::size_t>(i) * texelBytes;
        const std::uint8_t* pixel = source + static_cast<std::size_t>(i) * step;
        switch (bitsPerPixel) {
            case 1:
                if (source[i >> 3] & (0x80 >> (i & 7))) texel[high] = 255;
                break;
            case 8:
                texel[high] = texelBytes == 2 ? static_cast<std::uint8_t>(pixel[0] & 0xF0) : pixel[0];
                break;
            case 16:
                if (texelBytes == 2) std::memcpy(texel, pixel, 2);
                break;
            case 24:
                if (texelBytes == 2) {
                    Write16(texel, PackRgb16(format, pixel[2], pixel[1], pixel[0]));
                } else if (texelBytes >= 3) {
                    std::memcpy(texel, pixel, 3);
                    if (texelBytes == 4) texel[3] = 255;
                }
                break;
            case 32:
                if (texelBytes == 3) std::memcpy(texel, pixel, 3);
                if (texelBytes == 4) std::memcpy(texel, pixel, 4);
                break;
            default:
                return;  // only the zero fill
        }
    }
}

}  // namespace

void CD3DTexture::MarkWhollyDirty() {
    dirty_ = 1;
    dirtyRect_ = RECT{};
}

void CD3DTexture::AddDirtyRect(const RECT& rect) {
    if (!dirty_) {
        dirty_ = 1;
        dirtyRect_ = rect;
        return;
    }
    if (IsEmpty(dirtyRect_)) return;  // already the whole texture
    dirtyRect_.left = std::min(dirtyRect_.left, rect.left);
    dirtyRect_.top = std::min(dirtyRect_.top, rect.top);
    dirtyRect_.right = std::max(dirtyRect_.right, rect.right);
    dirtyRect_.bottom = std::max(dirtyRect_.bottom, rect.bottom);
}

bool CD3DTexture::UpdateRect(const void* data, std::int32_t width, std::int32_t height, std::int32_t pitch,
                             std::int32_t bitsPerPixel, std::int32_t x, std::int32_t y) {
    switch (StartUpdate(width, height, x, y)) {
        case UpdateStart::kWrite: break;
        case UpdateStart::kDone: return true;
        case UpdateStart::kRefused: return false;
    }
    // Block-compressed texels cannot take host pixels one by one.
    if (data == nullptr || width < 0 || height < 0 || x < 0 || y < 0 || x >= width_ || y >= height_ ||
        IsDXTFormat(format_)) {
        WriteLog(u"CD3DTexture::UpdateRect() -- Invalid param");
        return false;
    }
    const RECT rect{x, y, static_cast<LONG>(std::min<std::int64_t>(width_, std::int64_t{x} + width)),
                    static_cast<LONG>(std::min<std::int64_t>(height_, std::int64_t{y} + height))};
    IDirect3DTexture9* system = GetSystemTexture();
    if (system == nullptr) throw lumi::Exception("invalid texture pointer.");
    D3DLOCKED_RECT locked{};
    const HRESULT hr = system->LockRect(0, &locked, &rect, D3DLOCK_NOSYSLOCK);
    if (FAILED(hr)) {
        WriteLog(u"CD3DTexture::UpdateRect() -- LockRect failed [%s]", DXGetErrorDescriptionW(hr));
        return false;
    }
    const std::uint32_t texelBytes = GetBytesPerPixel();
    const std::int32_t columns = rect.right - rect.left;
    const std::int32_t rows = rect.bottom - rect.top;
    auto* destination = static_cast<std::uint8_t*>(locked.pBits);
    const auto* source = static_cast<const std::uint8_t*>(data);
    for (std::int32_t row = 0; row < rows; ++row) {
        std::uint8_t* texels = destination + static_cast<std::ptrdiff_t>(row) * locked.Pitch;
        std::memset(texels, 0, static_cast<std::size_t>(columns) * texelBytes);
        if (texelBytes == 0) continue;
        ConvertRow(source + static_cast<std::ptrdiff_t>(row) * pitch, texels, columns, bitsPerPixel, texelBytes,
                   format_);
    }
    system->UnlockRect(0);
    MarkPixelsChanged(&rect);
    managed_ = 0;  // host-written pixels cannot be reloaded: never unload it as idle
    return true;
}

D3DCOLOR CD3DTexture::GetPixel(std::int32_t x, std::int32_t y) {
    if (owner_->IsDeviceLost()) return 0;
    if (!loaded_) {
        priority_ = kUrgentPriority;
        Restore();
    }
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    const bool dxt = IsDXTFormat(format_);
    if (dxt && (width_ < 4 || height_ < 4) && kTextureRules.smallDxtHasNoPixels) return 0;
    IDirect3DTexture9* system = GetSystemTexture();
    if (system == nullptr) return 0;
    // The pixel alone, except in block-compressed formats, which lock whole 4 x 4 blocks (cut
    // at the level's edge): the platform refuses any other rectangle there.
    const RECT rect = dxt ? RECT{x & ~3, y & ~3, std::min<LONG>((x & ~3) + 4, width_),
                                 std::min<LONG>((y & ~3) + 4, height_)}
                          : RECT{x, y, x + 1, y + 1};
    D3DLOCKED_RECT locked{};
    const HRESULT hr = system->LockRect(0, &locked, &rect, D3DLOCK_NOSYSLOCK);
    if (FAILED(hr)) {
        WriteLog(u"LockRect error: %s\n", DXGetErrorDescriptionW(hr));
        return 0;
    }
    const auto* p = static_cast<const std::uint8_t*>(locked.pBits);
    D3DCOLOR color = 0;
    switch (format_) {
        case D3DFMT_A8R8G8B8:
        case D3DFMT_X8R8G8B8:
            std::memcpy(&color, p, 4);
            break;
        case D3DFMT_R5G6B5: {
            const std::uint32_t v = Read16(p);
            color = 0xFF000000u | ((v >> 11) & 0x1F) << 19 | ((v >> 5) & 0x3F) << 10 | (v & 0x1F) << 3;
            break;
        }
        case D3DFMT_A4R4G4B4: {
            const std::uint32_t v = Read16(p);
            color = ((v >> 12) & 0xF) << 28 | ((v >> 8) & 0xF) << 20 | ((v >> 4) & 0xF) << 12 | (v & 0xF) << 4;
            break;
        }
        case D3DFMT_A8:
            color = static_cast<D3DCOLOR>(p[0]) << 24;
            break;
        case D3DFMT_DXT3: {
            // The block's first 8 bytes: 4-bit alpha per pixel, a row in 2 bytes, low nibble first.
            const std::uint32_t row = Read16(p + 2 * (y & 3));
            color = ((row >> (4 * (x & 3))) & 0xF) << 28;
            break;
        }
        default:
            break;
    }
    system->UnlockRect(0);
    return color;
}

bool CD3DTexture::IsPixelTransparent(std::int32_t x, std::int32_t y) { return GetPixel(x, y) < 0x01000000u; }

void CD3DTexture::UploadDirtyRect() {
    if (memory_ == nullptr) throw lumi::Exception("invalid memory");
    if (memory_->videoCopy == nullptr) {
        MarkWhollyDirty();
        return;
    }
    if (memory_->systemCopy == nullptr || !dirty_) return;
    RECT rect = dirtyRect_;
    if (IsEmpty(rect)) rect = RECT{0, 0, width_, height_};
    IDirect3DSurface9* source = nullptr;
    IDirect3DSurface9* destination = nullptr;
    if (SUCCEEDED(memory_->systemCopy->GetSurfaceLevel(0, &source)) &&
        SUCCEEDED(memory_->videoCopy->GetSurfaceLevel(0, &destination))) {
        const POINT corner{rect.left, rect.top};
        owner_->GetDevice()->UpdateSurface(source, &rect, destination, &corner);
    }
    if (source != nullptr) source->Release();
    if (destination != nullptr) destination->Release();
    dirty_ = 0;
}
