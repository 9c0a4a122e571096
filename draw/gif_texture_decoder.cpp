// The GIF-to-texture decoder: GIF 87a/89a blocks, variable-length LZW up to 12 bits,
// interlacing, transparency and disposal 2, composed into A8R8G8B8 frames.
#include "draw/gif_texture_decoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "core/format_helpers.h"
#include "draw/d3d_texture.h"
#include "draw/texture_owner.h"

namespace {

constexpr int kMaxFrames = 32;
constexpr int kMaxCodes = 4096;   // 12-bit codes
constexpr int kMaxCodeBits = 12;
constexpr std::uint32_t kLargestSide = 4096;  // the texture side used when the device says nothing

using Palette = std::array<std::uint32_t, 256>;  // 0x00RRGGBB per entry, zero past the file's table

// Bounds-checked reading of the file held in memory.
class ByteCursor {
public:
    ByteCursor(const BYTE* data, std::uint32_t size) : data_(data), size_(size) {}

    bool AtEnd() const { return position_ >= size_; }
    bool Byte(std::uint32_t& value) {
        if (position_ >= size_) return false;
        value = data_[position_++];
        return true;
    }
    bool Word(std::uint32_t& value) {
        if (position_ > size_ || size_ - position_ < 2) return false;
        value = data_[position_] | static_cast<std::uint32_t>(data_[position_ + 1]) << 8;
        position_ += 2;
        return true;
    }
    // A block of `count` bytes, or null when fewer remain.
    const BYTE* Take(std::uint32_t count) {
        if (position_ > size_ || size_ - position_ < count) return nullptr;
        const BYTE* block = data_ + position_;
        position_ += count;
        return block;
    }
    // Skips data sub-blocks up to and including the zero-length one.
    bool SkipSubBlocks() {
        for (;;) {
            std::uint32_t length = 0;
            if (!Byte(length)) return false;
            if (length == 0) return true;
            if (Take(length) == nullptr) return false;
        }
    }

private:
    const BYTE* data_;
    std::uint32_t size_;
    std::uint32_t position_ = 0;
};

bool ReadColorTable(ByteCursor& cursor, std::uint32_t entries, Palette& table) {
    const BYTE* bytes = cursor.Take(entries * 3);
    if (bytes == nullptr) return false;
    table.fill(0);
    for (std::uint32_t i = 0; i < entries; ++i) {
        table[i] = static_cast<std::uint32_t>(bytes[i * 3]) << 16 | bytes[i * 3 + 1] << 8 | bytes[i * 3 + 2];
    }
    return true;
}

// The graphic control extension's state; it applies to the next image only.
struct GraphicControl {
    int transparentIndex = -1;
    int delay = -1;      // hundredths of a second
    int userInput = -1;
    int disposal = 0;
};

// Where the pixels of one image land: its rectangle in the screen, with rows in interlaced
// order when asked. Writes outside the screen are dropped.
class ImageWriter {
public:
    ImageWriter(std::vector<std::uint32_t>& canvas, std::uint32_t screenWidth, std::uint32_t screenHeight,
                std::uint32_t left, std::uint32_t top, std::uint32_t width, std::uint32_t height, bool interlaced,
                const Palette& palette, int transparentIndex)
        : canvas_(canvas), screenWidth_(screenWidth), screenHeight_(screenHeight), left_(left), top_(top),
          width_(width), height_(height), interlaced_(interlaced), palette_(palette),
          transparentIndex_(transparentIndex) {}

    bool Full() const { return row_ >= height_; }

    void Put(std::uint32_t index) {
        if (Full()) return;
        const std::uint64_t x = static_cast<std::uint64_t>(left_) + column_;
        const std::uint64_t y = static_cast<std::uint64_t>(top_) + row_;
        if (static_cast<int>(index) != transparentIndex_ && x < screenWidth_ && y < screenHeight_) {
            canvas_[static_cast<std::size_t>(y) * screenWidth_ + static_cast<std::size_t>(x)] =
                0xFF000000u | palette_[index & 0xFF];
        }
        if (++column_ < width_) return;
        column_ = 0;
        NextRow();
    }

private:
    void NextRow() {
        if (!interlaced_) {
            ++row_;
            return;
        }
        // Passes: every 8th row from 0, every 8th from 4, every 4th from 2, every 2nd from 1.
        static constexpr std::uint32_t kStart[] = {0, 4, 2, 1};
        static constexpr std::uint32_t kStep[] = {8, 8, 4, 2};
        row_ += kStep[pass_];
        while (row_ >= height_ && pass_ < 3) {
            ++pass_;
            row_ = kStart[pass_];
        }
    }

    std::vector<std::uint32_t>& canvas_;
    const std::uint32_t screenWidth_, screenHeight_;
    const std::uint32_t left_, top_, width_, height_;
    const bool interlaced_;
    const Palette& palette_;
    const int transparentIndex_;
    std::uint32_t column_ = 0;
    std::uint32_t row_ = 0;
    int pass_ = 0;
};

// Decodes one image's LZW data into the writer and consumes its sub-blocks. False on a
// truncated block or a code the table cannot hold.
bool DecodeLzw(ByteCursor& cursor, std::uint32_t minimumCodeSize, ImageWriter& writer) {
    if (minimumCodeSize < 1 || minimumCodeSize > 8) return false;
    const std::uint32_t clearCode = 1u << minimumCodeSize;
    const std::uint32_t endCode = clearCode + 1;
    std::vector<std::uint16_t> prefix(kMaxCodes);
    std::vector<std::uint8_t> suffix(kMaxCodes);
    std::vector<std::uint8_t> stack(kMaxCodes + 1);
    for (std::uint32_t code = 0; code < clearCode; ++code) suffix[code] = static_cast<std::uint8_t>(code);

    std::uint32_t codeSize = minimumCodeSize + 1;
    std::uint32_t nextCode = clearCode + 2;
    int previous = -1;
    std::uint8_t firstOfPrevious = 0;
    std::uint32_t bits = 0;
    std::uint32_t bitCount = 0;
    const BYTE* block = nullptr;
    std::uint32_t blockLeft = 0;

    for (;;) {
        while (bitCount < codeSize) {
            if (blockLeft == 0) {
                std::uint32_t length = 0;
                if (!cursor.Byte(length)) return false;
                if (length == 0) return true;  // the data ended without an end code
                block = cursor.Take(length);
                if (block == nullptr) return false;
                blockLeft = length;
            }
            bits |= static_cast<std::uint32_t>(*block++) << bitCount;
            --blockLeft;
            bitCount += 8;
        }
        const std::uint32_t code = bits & ((1u << codeSize) - 1);
        bits >>= codeSize;
        bitCount -= codeSize;

        if (code == clearCode) {
            codeSize = minimumCodeSize + 1;
            nextCode = clearCode + 2;
            previous = -1;
            continue;
        }
        if (code == endCode) break;
        if (previous < 0) {
            if (code >= clearCode) return false;  // the first code after a clear is a literal
            writer.Put(code);
            previous = static_cast<int>(code);
            firstOfPrevious = static_cast<std::uint8_t>(code);
            continue;
        }
        if (code > nextCode || (code == nextCode && nextCode >= kMaxCodes)) return false;

        // Unwind the string of `code` (or of previous + its first byte for the code not yet
        // in the table) onto the stack, then emit it in order.
        std::size_t depth = 0;
        std::uint32_t walk = code;
        if (code == nextCode) {
            stack[depth++] = firstOfPrevious;
            walk = static_cast<std::uint32_t>(previous);
        }
        while (walk >= clearCode) {
            if (depth >= stack.size() - 1) return false;
            stack[depth++] = suffix[walk];
            walk = prefix[walk];
        }
        stack[depth++] = static_cast<std::uint8_t>(walk);
        const std::uint8_t first = static_cast<std::uint8_t>(walk);
        while (depth > 0) writer.Put(stack[--depth]);

        if (nextCode < kMaxCodes) {
            prefix[nextCode] = static_cast<std::uint16_t>(previous);
            suffix[nextCode] = first;
            ++nextCode;
            if (nextCode == (1u << codeSize) && codeSize < kMaxCodeBits) ++codeSize;
        }
        previous = static_cast<int>(code);
        firstOfPrevious = first;
    }
    return cursor.SkipSubBlocks();
}

struct DecodedFrame {
    std::vector<std::uint32_t> pixels;  // the whole screen, 0xAARRGGBB
    std::int32_t delayMs;
};

struct FrameLayout {
    std::uint32_t columns = 0;
    std::uint32_t maxFrames = 0;
};

// Frames lie in rows of `columns`; as many as the texture side allows, at most 32.
FrameLayout LayoutFor(std::uint32_t width, std::uint32_t height, std::uint32_t largestSide) {
    FrameLayout layout;
    if (width == 0 || height == 0 || width > largestSide || height > largestSide) return layout;
    layout.columns = largestSide / width;
    const std::uint32_t rows = largestSide / height;
    layout.maxFrames = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(kMaxFrames, static_cast<std::uint64_t>(layout.columns) * rows));
    return layout;
}

std::uint32_t LargestTextureSide(CD3DTexture* texture) {
    IDirect3DDevice9* device = texture->GetOwner() ? texture->GetOwner()->GetDevice() : nullptr;
    D3DCAPS9 caps{};
    if (device == nullptr || FAILED(device->GetDeviceCaps(&caps))) return kLargestSide;
    return std::min<std::uint32_t>({kLargestSide, caps.MaxTextureWidth, caps.MaxTextureHeight});
}

struct GifFile {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<DecodedFrame> frames;
};

bool DecodeGif(const BYTE* buffer, std::uint32_t size, std::uint32_t largestSide, GifFile& gif) {
    if (buffer == nullptr || size < 6) return false;
    if (std::memcmp(buffer, "GIF87a", 6) != 0 && std::memcmp(buffer, "GIF89a", 6) != 0) return false;
    ByteCursor cursor(buffer, size);
    cursor.Take(6);
    GraphicControl control;

    std::uint32_t packed = 0, backgroundIndex = 0, aspect = 0;
    if (!cursor.Word(gif.width) || !cursor.Word(gif.height) || !cursor.Byte(packed) || !cursor.Byte(backgroundIndex) ||
        !cursor.Byte(aspect)) {
        return false;
    }
    const FrameLayout layout = LayoutFor(gif.width, gif.height, largestSide);
    if (layout.maxFrames == 0) return false;
    Palette global{};
    if ((packed & 0x80) != 0 && !ReadColorTable(cursor, 2u << (packed & 7), global)) return false;
    const std::uint32_t background = global[backgroundIndex & 0xFF];  // alpha 0

    std::vector<std::uint32_t> canvas(static_cast<std::size_t>(gif.width) * gif.height, background);
    for (;;) {
        std::uint32_t introducer = 0;
        if (!cursor.Byte(introducer)) return false;  // no trailer: truncated
        if (introducer == 0x3B) break;
        if (introducer == 0x21) {
            std::uint32_t label = 0;
            if (!cursor.Byte(label)) return false;
            if (label == 0xF9) {
                std::uint32_t length = 0, flags = 0, delay = 0, index = 0;
                if (!cursor.Byte(length) || length < 4 || !cursor.Byte(flags) || !cursor.Word(delay) ||
                    !cursor.Byte(index) || cursor.Take(length - 4) == nullptr) {
                    return false;
                }
                control.disposal = static_cast<int>((flags >> 2) & 7);
                control.userInput = static_cast<int>((flags >> 1) & 1);
                control.delay = static_cast<int>(delay);
                control.transparentIndex = (flags & 1) != 0 ? static_cast<int>(index) : -1;
            }
            if (!cursor.SkipSubBlocks()) return false;
            continue;
        }
        if (introducer != 0x2C) return false;

        std::uint32_t left = 0, top = 0, width = 0, height = 0, flags = 0, minimumCodeSize = 0;
        if (!cursor.Word(left) || !cursor.Word(top) || !cursor.Word(width) || !cursor.Word(height) ||
            !cursor.Byte(flags)) {
            return false;
        }
        Palette local{};
        const bool hasLocal = (flags & 0x80) != 0;
        if (hasLocal && !ReadColorTable(cursor, 2u << (flags & 7), local)) return false;
        if (!cursor.Byte(minimumCodeSize)) return false;
        ImageWriter writer(canvas, gif.width, gif.height, left, top, width, height, (flags & 0x40) != 0,
                           hasLocal ? local : global, control.transparentIndex);
        if (!DecodeLzw(cursor, minimumCodeSize, writer)) return false;

        if (gif.frames.size() < layout.maxFrames) {
            gif.frames.push_back(DecodedFrame{canvas, control.delay > 0 ? control.delay * 10 : 0});
        }
        if (control.disposal == 2) {
            const std::uint32_t right = std::min<std::uint32_t>(gif.width, left + width);
            const std::uint32_t bottom = std::min<std::uint32_t>(gif.height, top + height);
            for (std::uint32_t y = top; left < right && y < bottom; ++y) {
                std::fill(canvas.begin() + static_cast<std::ptrdiff_t>(y * gif.width + left),
                          canvas.begin() + static_cast<std::ptrdiff_t>(y * gif.width + right), background);
            }
        }
        control = GraphicControl{};
    }
    return !gif.frames.empty();
}

// Writes the frames into the texture's system copy in rows of `columns` frames.
bool FillTexture(CD3DTexture* texture, const GifFile& gif, std::uint32_t columns) {
    const std::uint32_t count = static_cast<std::uint32_t>(gif.frames.size());
    const std::uint32_t used = std::min(columns, count);
    const std::uint32_t rows = (count + used - 1) / used;
    texture->SetFormat(D3DFMT_A8R8G8B8);
    texture->SetAllocatedSize(static_cast<std::uint16_t>(NextPowerOfTwo(used * gif.width)),
                              static_cast<std::uint16_t>(NextPowerOfTwo(rows * gif.height)));
    texture->SetCopyFlags(texture->GetCopyFlags() | CD3DTexture::kSystemCopy);
    if (!texture->BindMemoryFromPool()) return false;
    IDirect3DTexture9* system = texture->GetSystemTexture();
    D3DLOCKED_RECT locked{};
    if (system == nullptr || FAILED(system->LockRect(0, &locked, nullptr, D3DLOCK_NOSYSLOCK))) {
        texture->ReleaseMemory();
        return false;
    }
    texture->ClearFrames();
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t x0 = (i % used) * gif.width;
        const std::uint32_t y0 = (i / used) * gif.height;
        for (std::uint32_t y = 0; y < gif.height; ++y) {
            BYTE* row = static_cast<BYTE*>(locked.pBits) + static_cast<std::size_t>(y0 + y) * locked.Pitch + x0 * 4;
            std::memcpy(row, gif.frames[i].pixels.data() + static_cast<std::size_t>(y) * gif.width, gif.width * 4);
        }
        tex_frame_t frame{};
        frame.rect = RECT{static_cast<LONG>(x0), static_cast<LONG>(y0), static_cast<LONG>(x0 + gif.width),
                          static_cast<LONG>(y0 + gif.height)};
        frame.durationMs = gif.frames[i].delayMs;
        texture->AddFrame(frame);
    }
    system->UnlockRect(0);
    texture->MarkPixelsChanged();
    D3DXIMAGE_INFO* info = texture->GetImageInfo();
    info->Width = gif.width;
    info->Height = gif.height;
    info->Depth = 1;
    info->MipLevels = 1;
    info->Format = D3DFMT_A8R8G8B8;
    info->ResourceType = D3DRTYPE_TEXTURE;
    info->ImageFileFormat = static_cast<D3DXIMAGE_FILEFORMAT>(kImageFileFormatGif);
    return true;
}

}  // namespace

bool DecodeGifToTexture(CD3DTexture* texture, std::uint32_t size, const BYTE* buffer) {
    if (texture == nullptr) return false;
    const std::uint32_t largestSide = LargestTextureSide(texture);
    GifFile gif;
    if (!DecodeGif(buffer, size, largestSide, gif)) return false;
    return FillTexture(texture, gif, LayoutFor(gif.width, gif.height, largestSide).columns);
}
