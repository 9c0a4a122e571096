// CRaster: the flat form, an in-memory byte image of an image with its planes, layers and
// frames, in host order (not portable between builds).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "image/checked_size.h"
#include "image/raster.h"

namespace {

// Layers of layers nest; bound the recursion so crafted data cannot exhaust the stack.
constexpr int kMaxFlatDepth = 8;
constexpr std::size_t kMinFlatSize = sizeof(BITMAPINFOHEADER) + sizeof(raster_info_t) + 4;

class FlatWriter {
public:
    FlatWriter(BYTE* buffer, std::size_t capacity) : buffer_(buffer), capacity_(capacity) {}
    bool Put(const void* data, std::size_t n) {
        if (!ok_ || n > capacity_ - used_) return ok_ = false;
        if (n) std::memcpy(buffer_ + used_, data, n);
        used_ += n;
        return true;
    }
    bool PutByte(BYTE b) { return Put(&b, 1); }
    std::size_t used() const { return ok_ ? used_ : 0; }
    BYTE* cursor() const { return buffer_ + used_; }
    std::size_t left() const { return capacity_ - used_; }
    void Advance(std::size_t n) { used_ += n; }

private:
    BYTE* buffer_;
    std::size_t capacity_;
    std::size_t used_ = 0;
    bool ok_ = true;
};

class FlatReader {
public:
    FlatReader(const BYTE* buffer, std::size_t length) : buffer_(buffer), length_(length) {}
    bool Get(void* out, std::size_t n) {
        if (n > length_ - used_) return false;
        if (n) std::memcpy(out, buffer_ + used_, n);
        used_ += n;
        return true;
    }
    // A flag byte must be exactly 0 or 1.
    bool GetFlag(bool& flag) {
        BYTE b = 0;
        if (!Get(&b, 1) || b > 1) return false;
        flag = b == 1;
        return true;
    }
    const BYTE* cursor() const { return buffer_ + used_; }
    std::size_t left() const { return length_ - used_; }
    void Advance(std::size_t n) { used_ += n; }
    std::size_t used() const { return used_; }

private:
    const BYTE* buffer_;
    std::size_t length_;
    std::size_t used_ = 0;
};

bool ReadStoredBool(const BYTE* rawInfo, std::size_t offset) { return rawInfo[offset] != 0; }

}  // namespace

std::size_t CRaster::FlatSize() const {
    const std::size_t plane = PlaneBytes();
    std::size_t size = sizeof(header) + sizeof(info) + GetSize() + 1 + (alpha ? plane : 0) + 1 + (selection ? plane : 0);
    size += 1;
    for (LONG i = 0; layers && i < info.layer_count; ++i) size += layers[i]->FlatSize();
    size += 1;
    for (LONG i = 0; frames && i < info.frame_count; ++i) size += frames[i]->FlatSize();
    return size;
}

std::size_t CRaster::Flatten(BYTE* buffer, std::size_t capacity) const {
    if (!buffer) return 0;
    return FlattenInto(buffer, capacity);
}

std::size_t CRaster::FlattenInto(BYTE* buffer, std::size_t capacity) const {
    FlatWriter out(buffer, capacity);
    out.Put(&header, sizeof(header));
    out.Put(&info, sizeof(info));
    out.Put(dib, GetSize());
    const std::size_t plane = PlaneBytes();
    out.PutByte(alpha ? 1 : 0);
    if (alpha) out.Put(alpha, plane);
    out.PutByte(selection ? 1 : 0);
    if (selection) out.Put(selection, plane);
    // Children: a flag, then the flat form of each.
    auto writeChildren = [&](CRaster* const* array, LONG count) {
        const bool present = array && count > 0;
        out.PutByte(present ? 1 : 0);
        for (LONG i = 0; present && i < count && out.used(); ++i) {
            const std::size_t n = array[i]->FlattenInto(out.cursor(), out.left());
            if (!n) return false;
            out.Advance(n);
        }
        return true;
    };
    if (!writeChildren(layers, info.layer_count) || !writeChildren(frames, info.frame_count)) return 0;
    return out.used();
}

std::size_t CRaster::Unflatten(const BYTE* buffer, std::size_t length) {
    if (!buffer || info.shared_owner) return 0;
    // Built aside and moved in only when complete, so bad data leaves this image alone.
    CRaster rebuilt(info.type);
    const std::size_t used = rebuilt.UnflattenFrom(buffer, length, 0);
    if (!used) return 0;
    if (!DestroyFrames() || !MoveFrom(rebuilt, true)) return 0;
    return used;
}

std::size_t CRaster::UnflattenFrom(const BYTE* buffer, std::size_t length, int depth) {
    if (depth > kMaxFlatDepth) return 0;
    FlatReader in(buffer, length);
    BITMAPINFOHEADER h;
    raster_info_t stored;
    if (!in.Get(&h, sizeof(h))) return 0;
    const BYTE* rawInfo = in.cursor();
    if (!in.Get(&stored, sizeof(stored))) return 0;
    // The stored record's flags may hold any byte; take them as bytes, never as bool.
    stored.alpha_palette_enabled = ReadStoredBool(rawInfo, offsetof(raster_info_t, alpha_palette_enabled));
    stored.enabled = ReadStoredBool(rawInfo, offsetof(raster_info_t, enabled));
    stored.nearest_valid = false;
    stored.keep_all_frames = ReadStoredBool(rawInfo, offsetof(raster_info_t, keep_all_frames));
    stored.little_endian_host = ReadStoredBool(rawInfo, offsetof(raster_info_t, little_endian_host));

    // Pointers, owner and parent of the stored record are stale: only settings are taken.
    ResetToDefaults(stored.type);
    CopySettingFields(stored);
    info.progress = stored.progress;
    info.frame_delay = stored.frame_delay;
    info.offset_x = stored.offset_x;
    info.offset_y = stored.offset_y;
    info.gif_disposal = stored.gif_disposal & 7;
    info.alpha_palette_enabled = stored.alpha_palette_enabled;
    info.flags = stored.flags;
    std::memcpy(info.last_error, stored.last_error, sizeof(info.last_error));
    info.last_error[sizeof(info.last_error) - 1] = '\0';

    if (h.biWidth != 0 || h.biHeight != 0) {
        const WORD bits = h.biBitCount;
        if (h.biWidth <= 0 || h.biHeight <= 0 || (bits != 1 && bits != 4 && bits != 8 && bits != 24)) return 0;
        // The block is stored raw: sizes that claim more than the data holds fail before it is
        // allocated.
        const auto pixelBytes = lumi::image::ImageBytes(static_cast<DWORD>(h.biWidth), static_cast<DWORD>(h.biHeight),
                                                        bits);
        const std::uint64_t paletteBytes = bits == 24 ? 0 : std::uint64_t{sizeof(RGBQUAD)} << bits;
        if (!pixelBytes || in.left() < sizeof(header) + paletteBytes + *pixelBytes) return 0;
        if (!Create(static_cast<DWORD>(h.biWidth), static_cast<DWORD>(h.biHeight), bits, stored.type)) return 0;
        // The block must be exactly what these sizes make.
        if (h.biClrUsed != header.biClrUsed || h.biSizeImage != header.biSizeImage) return 0;
        const std::size_t blockBytes = GetSize();
        if (in.left() < blockBytes) return 0;
        std::memcpy(dib + sizeof(header), in.cursor() + sizeof(header), blockBytes - sizeof(header));
        in.Advance(blockBytes);
        header.biXPelsPerMeter = h.biXPelsPerMeter;
        header.biYPelsPerMeter = h.biYPelsPerMeter;
        header.biClrImportant = h.biClrImportant <= header.biClrUsed ? h.biClrImportant : 0;
        std::memcpy(dib, &header, sizeof(header));
        if (stored.background_index >= static_cast<LONG>(header.biClrUsed) && header.biClrUsed)
            info.background_index = -1;
    }

    const std::size_t plane = PlaneBytes();
    bool hasAlpha = false, hasSelection = false;
    if (!in.GetFlag(hasAlpha)) return 0;
    if (hasAlpha) {
        if (!dib || in.left() < plane || !CreateAlpha()) return 0;
        in.Get(alpha, plane);
    }
    if (!in.GetFlag(hasSelection)) return 0;
    if (hasSelection) {
        if (!dib || in.left() < plane || !CreateSelection()) return 0;
        in.Get(selection, plane);
        const RECT& b = stored.selection_box;
        info.selection_box = RECT{std::clamp(b.left, 0, header.biWidth), std::clamp(b.top, 0, header.biHeight),
                                  std::clamp(b.right, 0, header.biWidth), std::clamp(b.bottom, 0, header.biHeight)};
    }

    // Children: the stored counts are believed only as far as the bytes left can hold them.
    auto readChildren = [&](CRaster**& array, LONG& count, LONG storedCount, bool isLayer) -> bool {
        bool present = false;
        if (!in.GetFlag(present)) return false;
        if (!present) return true;
        if (storedCount <= 0 || static_cast<std::size_t>(storedCount) > in.left() / kMinFlatSize) return false;
        array = new (std::nothrow) CRaster*[static_cast<std::size_t>(storedCount)];
        if (!array) return false;
        count = 0;
        for (LONG i = 0; i < storedCount; ++i) {
            CRaster* child = new (std::nothrow) CRaster(0);
            if (!child) return false;
            array[count++] = child;  // owned from here on, so failure below frees it
            if (isLayer) child->info.parent = this;
            const std::size_t n = child->UnflattenFrom(in.cursor(), in.left(), depth + 1);
            if (!n) return false;
            in.Advance(n);
        }
        return true;
    };
    if (!readChildren(layers, info.layer_count, stored.layer_count, true)) return 0;
    if (!readChildren(frames, info.frame_count, stored.frame_count, false)) return 0;
    if (!frames && stored.frame_count > 0) info.frame_count = stored.frame_count;
    return in.used();
}
