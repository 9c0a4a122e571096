// CD3DTexture: taking the decoded image of a finished file load.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/event_log.h"
#include "core/format_helpers.h"
#include "draw/bitmap_load.h"
#include "draw/d3d_texture.h"
#include "draw/texture_owner.h"
#include "draw/texture_pool.h"
#include "platform/dxerr/dxerr.h"
#include "platform/tarnel/tarnel.h"

namespace {

// Rows of a frame bound for one locked rectangle: `rows` rows of `bytes` bytes each from
// `pixels` on, `stride` bytes apart.
struct frame_rows_t {
    const BYTE* pixels;
    std::int32_t stride;
    std::int32_t bytes;
    std::int32_t rows;
};

// Writes the rows into `rect` of level 0 of `texture`, each cut to the locked pitch. False
// when the lock fails or there is nothing to copy.
bool WriteRows(IDirect3DTexture9* texture, const RECT& rect, const frame_rows_t& rows) {
    D3DLOCKED_RECT locked{};
    if (texture == nullptr || FAILED(texture->LockRect(0, &locked, &rect, D3DLOCK_NOSYSLOCK))) return false;
    const std::int32_t bytes = std::min<std::int32_t>(locked.Pitch, rows.bytes);
    const bool copied = rows.pixels != nullptr && bytes > 0;
    for (std::int32_t row = 0; copied && row < rows.rows; ++row) {
        std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + static_cast<std::ptrdiff_t>(row) * locked.Pitch,
                    rows.pixels + static_cast<std::ptrdiff_t>(row) * rows.stride, static_cast<std::size_t>(bytes));
    }
    texture->UnlockRect(0);
    return copied;
}

// Writes a frame into `rect` of level 0 of `texture`: min(rect height, frame height) rows of
// min(locked pitch, frame pitch) bytes. False when the lock fails or the frame has nothing to
// copy.
bool WriteFrame(IDirect3DTexture9* texture, const bitmap_record_t& frame, const RECT& rect) {
    return WriteRows(texture, rect,
                     {frame.pixels, frame.pitch, frame.pitch, std::min<std::int32_t>(rect.bottom - rect.top, frame.height)});
}

// Converts a frame into level 0 of a DXT texture through the conversion scratch, one
// scratch-sized tile at a time: the tile's rows go into the scratch as they are (its pixels
// must have the frame's size), and D3DX encodes them into the texture's blocks at the tile's
// place. Tiles start at multiples of the scratch side, so they never split a 4 x 4 block.
// False with the reason (for the event log) when a step fails.
bool ConvertThroughScratch(IDirect3DTexture9* scratch, IDirect3DTexture9* texture, const bitmap_record_t& frame,
                           char* reason, std::size_t capacity) {
    D3DSURFACE_DESC tile{};
    if (scratch == nullptr || texture == nullptr || FAILED(scratch->GetLevelDesc(0, &tile))) {
        std::snprintf(reason, capacity, "no conversion scratch texture");
        return false;
    }
    const std::int32_t bytesPerPixel = frame.bitsPerPixel / 8;
    if (static_cast<std::int32_t>(FormatBitsPerPixel(tile.Format)) != frame.bitsPerPixel || bytesPerPixel <= 0) {
        std::snprintf(reason, capacity, "the scratch texture holds %u-bit pixels, the image %d-bit ones",
                      FormatBitsPerPixel(tile.Format), frame.bitsPerPixel);
        return false;
    }
    // What the frame's rows hold.
    const auto width = static_cast<std::uint32_t>(std::clamp(frame.pitch / bytesPerPixel, 0, frame.width));
    const auto height = static_cast<std::uint32_t>(std::max(frame.height, 0));
    if (frame.pixels == nullptr || width == 0 || height == 0) {
        std::snprintf(reason, capacity, "the image has no pixels");
        return false;
    }
    IDirect3DSurface9* source = nullptr;
    IDirect3DSurface9* destination = nullptr;
    HRESULT hr = scratch->GetSurfaceLevel(0, &source);
    if (FAILED(hr)) {
        std::snprintf(reason, capacity, "[0xbb]GetSurfaceLevel failed.[%s]", DXGetErrorDescriptionA(hr));
        return false;
    }
    hr = texture->GetSurfaceLevel(0, &destination);
    if (FAILED(hr)) {
        source->Release();
        std::snprintf(reason, capacity, "[0xcc]GetSurfaceLevel failed.[%s]", DXGetErrorDescriptionA(hr));
        return false;
    }
    bool converted = true;
    for (std::uint32_t top = 0; converted && top < height; top += tile.Height) {
        for (std::uint32_t left = 0; converted && left < width; left += tile.Width) {
            const auto tileWidth = static_cast<LONG>(std::min(tile.Width, width - left));
            const auto tileHeight = static_cast<LONG>(std::min(tile.Height, height - top));
            const RECT inScratch{0, 0, tileWidth, tileHeight};
            const RECT inTexture{static_cast<LONG>(left), static_cast<LONG>(top), static_cast<LONG>(left) + tileWidth,
                                 static_cast<LONG>(top) + tileHeight};
            const BYTE* pixels = frame.pixels + static_cast<std::ptrdiff_t>(top) * frame.pitch +
                                 static_cast<std::ptrdiff_t>(left) * bytesPerPixel;
            if (!WriteRows(scratch, inScratch, {pixels, frame.pitch, tileWidth * bytesPerPixel, tileHeight})) {
                std::snprintf(reason, capacity, "LockRect of the scratch texture failed");
                converted = false;
                break;
            }
            hr = D3DXLoadSurfaceFromSurface(destination, nullptr, &inTexture, source, nullptr, &inScratch,
                                            D3DX_FILTER_NONE, 0);
            if (FAILED(hr)) {
                std::snprintf(reason, capacity, "D3DXLoadSurfaceFromSurface failed.[%s]", DXGetErrorDescriptionA(hr));
                converted = false;
            }
        }
    }
    source->Release();
    destination->Release();
    return converted;
}

}  // namespace

bool CD3DTexture::IsPadded(std::uint32_t imageWidth, std::uint32_t imageHeight) const {
    // A recycled copy holds what its last texture left; the image does not cover it all.
    return imageWidth != width_ || imageHeight != height_ || owner_->IsSquareOnly();
}

bool CD3DTexture::CopyFromBitmap(const bitmap_load_t& load) {
    CTexturePool* pool = owner_->GetTexturePool();
    if (pool == nullptr) return false;
    // The image's system copy at power-of-two sides: made first, bound once it holds the image.
    auto makeMemory = [&](std::uint32_t imageWidth, std::uint32_t imageHeight) -> mem_obj_t* {
        SetAllocatedSize(static_cast<std::uint16_t>(NextPowerOfTwo(imageWidth)),
                         static_cast<std::uint16_t>(NextPowerOfTwo(imageHeight)));
        copyFlags_ |= kSystemCopy;
        try {
            return pool->CreateMemObj(this, IsPadded(imageWidth, imageHeight));
        } catch (const std::exception&) {
            return nullptr;
        }
    };
    auto bindFilled = [&](mem_obj_t* memory, bool filled) {
        if (!filled) {
            pool->DestroyMemObj(memory);
            return false;
        }
        BindMemory(memory);
        *GetImageInfo() = load.imageInfo;
        return true;
    };

    if (load.dds) {
        D3DXIMAGE_INFO info{};
        if (load.buffer.data == nullptr ||
            FAILED(D3DXGetImageInfoFromFileInMemory(load.buffer.data, load.buffer.bytesRead, &info))) {
            return false;
        }
        format_ = owner_->GetAlphaFormat();
        // D3DX decodes the file whole before it converts it into the system copy.
        char reason[192];
        if (!AdmitImage(GetImageLimits(), info.Width, info.Height,
                        LoadCostBytes(load.buffer.capacity, info.Width, info.Height, kDecodeBytesPerPixel,
                                      GetBytesPerPixel(), 1),
                        reason, sizeof(reason))) {
            WriteLog(u"CD3DTexture::CopyFromBitmap() refused.[%s] %hs", name_, reason);
            return false;
        }
        mem_obj_t* memory = makeMemory(info.Width, info.Height);
        if (memory == nullptr) return false;
        IDirect3DSurface9* surface = nullptr;
        bool loaded = memory->systemCopy != nullptr && SUCCEEDED(memory->systemCopy->GetSurfaceLevel(0, &surface));
        if (loaded) {
            loaded = SUCCEEDED(D3DXLoadSurfaceFromFileInMemory(surface, nullptr, nullptr, load.buffer.data,
                                                               load.buffer.bytesRead, nullptr, D3DX_FILTER_NONE, 0,
                                                               nullptr));
            surface->Release();
        }
        return bindFilled(memory, loaded);
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
    mem_obj_t* memory = makeMemory(load.width, load.height);
    if (memory == nullptr) return false;
    bool copied = false;
    if (IsDXTFormat(format_)) {
        // Block-compressed texels are written by D3DX from the rows made for the scratch.
        char reason[192];
        copied = ConvertThroughScratch(pool->GetScratchTexture(), memory->systemCopy, load.frames[0], reason,
                                       sizeof(reason));
        if (!copied) WriteLog(u"CD3DTexture::CopyFromBitmap() conversion failed.[%s] %hs", name_, reason);
    } else {
        // The frame's rows are copied as they are: the system copy must have their pixel size.
        const RECT image{0, 0, static_cast<LONG>(load.width), static_cast<LONG>(load.height)};
        D3DSURFACE_DESC desc{};
        copied = memory->systemCopy != nullptr && SUCCEEDED(memory->systemCopy->GetLevelDesc(0, &desc)) &&
                 FormatBitsPerPixel(desc.Format) == FormatBitsPerPixel(format_) &&
                 WriteFrame(memory->systemCopy, load.frames[0], image);
    }
    return bindFilled(memory, copied);
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
