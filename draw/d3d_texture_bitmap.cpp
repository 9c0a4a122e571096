// CD3DTexture: taking the decoded image of a finished file load.
#include <algorithm>
#include <cstring>

#include "core/build_variant.h"
#include "core/event_log.h"
#include "core/format_helpers.h"
#include "draw/bitmap_load.h"
#include "draw/d3d_texture.h"
#include "draw/texture_owner.h"
#include "draw/texture_pool.h"
#include "platform/dxerr/dxerr.h"
#include "platform/tarnel/tarnel.h"

namespace {

// Copies `rows` rows of a frame into a locked area, each min(locked pitch, frame pitch) bytes.
// False for a frame without pixels or a pitch that copies nothing.
bool CopyRows(const bitmap_record_t& frame, std::int32_t rows, const D3DLOCKED_RECT& locked) {
    const std::int32_t bytes = std::min<std::int32_t>(locked.Pitch, frame.pitch);
    if (frame.pixels == nullptr || bytes <= 0) return false;
    rows = std::min(rows, frame.height);
    for (std::int32_t row = 0; row < rows; ++row) {
        std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + static_cast<std::ptrdiff_t>(row) * locked.Pitch,
                    frame.pixels + static_cast<std::ptrdiff_t>(row) * frame.pitch, static_cast<std::size_t>(bytes));
    }
    return true;
}

// Writes a frame into level 0 of `texture` at (0, 0). False when the lock fails or the frame
// has nothing to copy.
bool WriteFrame(IDirect3DTexture9* texture, const bitmap_record_t& frame, const RECT& rect) {
    D3DLOCKED_RECT locked{};
    if (texture == nullptr || FAILED(texture->LockRect(0, &locked, &rect, D3DLOCK_NOSYSLOCK))) return false;
    const bool copied = CopyRows(frame, rect.bottom - rect.top, locked);
    texture->UnlockRect(0);
    return copied;
}

}  // namespace

bool CD3DTexture::IsPadded(std::uint32_t imageWidth, std::uint32_t imageHeight) const {
    // A recycled copy holds what its last texture left; the image does not cover it all.
    return imageWidth != width_ || imageHeight != height_ || owner_->IsSquareOnly();
}

bool CD3DTexture::CopyFromBitmap(const bitmap_load_t& load) {
    CTexturePool* pool = owner_->GetTexturePool();
    if (pool == nullptr) return false;

    if (load.dds) {
        D3DXIMAGE_INFO info{};
        if (load.buffer.data == nullptr ||
            FAILED(D3DXGetImageInfoFromFileInMemory(load.buffer.data, load.buffer.bytesRead, &info))) {
            return false;
        }
        format_ = owner_->GetAlphaFormat();
        // D3DX decodes the file whole before it converts it into the system copy (DXT
        // formats included: no scratch texture on this way).
        char reason[192];
        if (!AdmitImage(LimitsOfDevice(owner_->GetDevice(), owner_->IsSquareOnly(), D3DFMT_UNKNOWN), info.Width,
                        info.Height,
                        LoadCostBytes(load.buffer.capacity, info.Width, info.Height, kDecodeBytesPerPixel,
                                      GetBytesPerPixel(), 1),
                        reason, sizeof(reason))) {
            WriteLog(u"CD3DTexture::CopyFromBitmap() refused.[%s] %hs", name_, reason);
            return false;
        }
        SetAllocatedSize(static_cast<std::uint16_t>(NextPowerOfTwo(info.Width)),
                         static_cast<std::uint16_t>(NextPowerOfTwo(info.Height)));
        copyFlags_ |= kSystemCopy;
        mem_obj_t* memory = nullptr;
        try {
            memory = pool->CreateMemObj(this, IsPadded(info.Width, info.Height));
        } catch (const std::exception&) {
            return false;
        }
        IDirect3DSurface9* surface = nullptr;
        bool loaded = memory->systemCopy != nullptr && SUCCEEDED(memory->systemCopy->GetSurfaceLevel(0, &surface));
        if (loaded) {
            loaded = SUCCEEDED(D3DXLoadSurfaceFromFileInMemory(surface, nullptr, nullptr, load.buffer.data,
                                                               load.buffer.bytesRead, nullptr, D3DX_FILTER_NONE, 0,
                                                               nullptr));
            surface->Release();
        }
        if (!loaded) {
            pool->DestroyMemObj(memory);
            return false;
        }
        BindMemory(memory);
        *GetImageInfo() = load.imageInfo;
        return true;
    }

    if (load.frameCount <= 0 || load.width == 0 || load.height == 0) return false;
    if (load.frameCount > 1) {
        const bool created = CreateFromBitmap(load);
        *GetImageInfo() = load.imageInfo;
        return created;
    }

    const std::uint32_t width = NextPowerOfTwo(load.width);
    const std::uint32_t height = NextPowerOfTwo(load.height);
    if (width == 0 || height == 0 || width > kLargestTextureSide || height > kLargestTextureSide) return false;
    const bool dxt = IsDXTFormat(format_);
    if (dxt && (load.width > CTexturePool::kScratchSide || load.height > CTexturePool::kScratchSide)) {
        // Too large for the conversion scratch: the texture stays unloaded rather than
        // failing the draw that polled it.
        if constexpr (lumi::kLegacy) {
            WriteLog(u"invalid texture size.");
        } else {
            WriteLog(u"invalid texture size, address=[%p].", static_cast<void*>(this));
        }
        return false;
    }
    SetAllocatedSize(static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height));
    copyFlags_ |= kSystemCopy;
    mem_obj_t* memory = nullptr;
    try {
        memory = pool->CreateMemObj(this, IsPadded(load.width, load.height));
    } catch (const std::exception&) {
        return false;
    }
    const RECT image{0, 0, static_cast<LONG>(load.width), static_cast<LONG>(load.height)};
    IDirect3DTexture9* target = dxt ? pool->GetScratchTexture() : memory->systemCopy;
    D3DSURFACE_DESC targetDesc{};
    // The frame's rows are copied as they are: the target must have the frame's pixel size
    // (a 32-bit scratch cannot take the 16-bit rows made for DXT textures).
    bool copied = target != nullptr && SUCCEEDED(target->GetLevelDesc(0, &targetDesc)) &&
                  static_cast<std::int32_t>(FormatBitsPerPixel(targetDesc.Format)) ==
                      (dxt ? load.frames[0].bitsPerPixel : static_cast<std::int32_t>(FormatBitsPerPixel(format_))) &&
                  WriteFrame(target, load.frames[0], image);
    if (copied && dxt) {
        IDirect3DSurface9* source = nullptr;
        IDirect3DSurface9* destination = nullptr;
        HRESULT hr = target->GetSurfaceLevel(0, &source);
        if (FAILED(hr)) Error("[0xbb]GetSurfaceLevel failed.[%s]", DXGetErrorDescriptionA(hr));
        hr = memory->systemCopy->GetSurfaceLevel(0, &destination);
        if (FAILED(hr)) {
            source->Release();
            Error("[0xcc]GetSurfaceLevel failed.[%s]", DXGetErrorDescriptionA(hr));
        }
        copied = SUCCEEDED(D3DXLoadSurfaceFromSurface(destination, nullptr, &image, source, nullptr, &image,
                                                      D3DX_FILTER_NONE, 0));
        source->Release();
        destination->Release();
    }
    if (!copied) {
        pool->DestroyMemObj(memory);
        return false;
    }
    BindMemory(memory);
    *GetImageInfo() = load.imageInfo;
    return true;
}

bool CD3DTexture::CreateFromBitmap(const bitmap_load_t& load) {
    if (IsDXTFormat(format_)) Error("invalid gif texture format.");
    const std::int32_t count = std::min(load.frameCount, kMaxBitmapFrames);
    std::int32_t widths[kMaxBitmapFrames];
    std::int32_t heights[kMaxBitmapFrames];
    RECT rects[kMaxBitmapFrames];
    for (std::int32_t i = 0; i < count; ++i) {
        widths[i] = load.frames[i].width;
        heights[i] = load.frames[i].height;
    }
    const std::uint32_t side = PackFrames(widths, heights, count, rects);
    if (side == 0) return false;  // more than 256 x 256: left without pixels
    ClearFrames();
    SetAllocatedSize(static_cast<std::uint16_t>(side), static_cast<std::uint16_t>(side));
    copyFlags_ |= kSystemCopy;
    if (!BindMemoryFromPool(true)) return false;
    IDirect3DTexture9* system = GetSystemTexture();
    for (std::int32_t i = 0; i < count; ++i) {
        const bitmap_record_t& frame = load.frames[i];
        if (frame.pixels == nullptr) continue;
        if (!WriteFrame(system, frame, rects[i])) break;
        AddFrame({rects[i], frame.delayMs});
    }
    GetImageInfo()->Width = load.width;
    GetImageInfo()->Height = load.height;
    MarkPixelsChanged();
    return true;
}
