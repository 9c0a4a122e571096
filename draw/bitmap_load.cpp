// The plain load record of a texture file: reading, decoding and the pixel conversion.
#include "draw/bitmap_load.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/event_log.h"
#include "core/format_helpers.h"
#include "draw/d3d_texture.h"
#include "image/raster.h"

namespace {

bool IsDdsExtension(const WCHAR* extension) {
    static constexpr char kDds[] = "dds";
    for (int i = 0; i < 3; ++i) {
        WCHAR c = extension[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<WCHAR>(c - u'A' + u'a');
        if (c != static_cast<WCHAR>(kDds[i])) return false;
    }
    return extension[3] == 0;
}

enum class Layout { kArgb8888, kArgb4444, kArgb1555, kRgb565, kZero };

// The layout is the texture's; only a 16-bit format the renderer never chooses falls back to
// guessing from the image (alpha or a transparent colour want 4-bit alpha).
Layout LayoutFor(D3DFORMAT format, std::uint32_t bits, bool imageHasAlpha) {
    switch (format) {
        case D3DFMT_A8R8G8B8:
        case D3DFMT_X8R8G8B8: return Layout::kArgb8888;
        case D3DFMT_A4R4G4B4:
        case D3DFMT_X4R4G4B4: return Layout::kArgb4444;
        case D3DFMT_A1R5G5B5:
        case D3DFMT_X1R5G5B5: return Layout::kArgb1555;
        case D3DFMT_R5G6B5: return Layout::kRgb565;
        default: break;
    }
    if (CD3DTexture::IsDXTFormat(format)) return Layout::kArgb4444;  // the pool's conversion scratch
    if (bits == 32) return Layout::kArgb8888;
    if (bits == 16) return imageHasAlpha ? Layout::kArgb4444 : Layout::kRgb565;
    return Layout::kZero;
}

// Reads an image row by row, top row first, as B, G, R, A with its transparent colour.
class PixelReader {
public:
    explicit PixelReader(const CRaster& image)
        : image_(image),
          indexed_(image.IsIndexed()),
          paletteAlpha_(image.IsIndexed() && image.GetAlphaPaletteEnabled()),
          keyed_(image.HasBackgroundIndex()),
          keyIndex_(image.GetBackgroundIndex()),
          keyColor_(image.GetBackgroundColor()) {}

    bool HasAlpha() const { return image_.HasAlpha() || paletteAlpha_ || keyed_; }

    void SelectRow(LONG topDownRow) {
        row_ = static_cast<LONG>(image_.GetHeight()) - 1 - topDownRow;
        bits_ = image_.GetBits(static_cast<DWORD>(row_));
        alpha_ = image_.HasAlpha() ? image_.GetAlphaPointer(0, row_) : nullptr;
    }

    // False for a pixel of the transparent colour.
    bool Read(LONG x, BYTE* bgra) const {
        RGBQUAD c;
        if (indexed_) {
            const BYTE index = image_.ReadPixelIndex(x, row_);
            if (keyed_ && index == keyIndex_) return false;
            c = image_.GetPaletteColor(index);
            if (!paletteAlpha_) c.rgbReserved = 255;
        } else {
            const BYTE* p = bits_ + x * 3;
            if (keyed_ && p[0] == keyColor_.rgbBlue && p[1] == keyColor_.rgbGreen && p[2] == keyColor_.rgbRed) {
                return false;
            }
            c = RGBQUAD{p[0], p[1], p[2], 255};
        }
        if (alpha_ != nullptr) c.rgbReserved = alpha_[x];
        bgra[0] = c.rgbBlue;
        bgra[1] = c.rgbGreen;
        bgra[2] = c.rgbRed;
        bgra[3] = c.rgbReserved;
        return true;
    }

private:
    const CRaster& image_;
    const bool indexed_;
    const bool paletteAlpha_;
    const bool keyed_;
    const LONG keyIndex_;
    const RGBQUAD keyColor_;
    LONG row_ = 0;
    const BYTE* bits_ = nullptr;
    const BYTE* alpha_ = nullptr;
};

std::uint16_t Pack16(Layout layout, const BYTE* c) {
    switch (layout) {
        case Layout::kArgb4444:
            return static_cast<std::uint16_t>((c[3] >> 4) << 12 | (c[2] >> 4) << 8 | (c[1] >> 4) << 4 | c[0] >> 4);
        case Layout::kArgb1555:
            return static_cast<std::uint16_t>((c[3] >= 128 ? 0x8000 : 0) | (c[2] >> 3) << 10 | (c[1] >> 3) << 5 |
                                              c[0] >> 3);
        default: return static_cast<std::uint16_t>((c[2] >> 3) << 11 | (c[1] >> 2) << 5 | c[0] >> 3);
    }
}

void ConvertPixels(const CRaster& image, Layout layout, const bitmap_record_t& record) {
    PixelReader reader(image);
    for (LONG y = 0; y < record.height; ++y) {
        reader.SelectRow(y);
        BYTE* out = record.pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(record.pitch);
        BYTE c[4];
        for (LONG x = 0; x < record.width; ++x) {
            const bool opaque = reader.Read(x, c);
            if (layout == Layout::kArgb8888) {
                if (opaque) std::memcpy(out + x * 4, c, 4);
                else std::memset(out + x * 4, 0, 4);
            } else {
                const std::uint16_t value = opaque ? Pack16(layout, c) : 0;
                std::memcpy(out + x * 2, &value, 2);  // little-endian, as the texture's texels
            }
        }
    }
}

void SetFailure(bitmap_load_t& load, const char* reason) {
    std::snprintf(load.failure, sizeof(load.failure), "%s", reason != nullptr ? reason : "");
}

void FreeFrames(bitmap_load_t& load) {
    for (bitmap_record_t& record : load.frames) {
        std::free(record.pixels);
        record = bitmap_record_t{};
    }
}

// D3DX's file-format code of an image library type, or -1 when D3DX does not read it.
int D3DXCodeOf(DWORD type) {
    switch (type) {
        case kRasterTypeBmp: return D3DXIFF_BMP;
        case kRasterTypeJpg: return D3DXIFF_JPG;
        case kRasterTypePng: return D3DXIFF_PNG;
        case kRasterTypeTga: return D3DXIFF_TGA;
        default: return -1;
    }
}

void FillImageInfo(bitmap_load_t& load, const CRaster& image) {
    const int code = D3DXCodeOf(image.GetType());
    D3DXIMAGE_INFO info{};
    if (code >= 0 && SUCCEEDED(D3DXGetImageInfoFromFileInMemory(load.buffer.data, load.buffer.bytesRead, &info))) {
        load.imageInfo = info;
        return;
    }
    // A GIF keeps the library's own code so that its texture knows to drop its frames when
    // unloaded; a file D3DX cannot read keeps the code of its type.
    info.Width = image.GetWidth();
    info.Height = image.GetHeight();
    info.Depth = 1;
    info.MipLevels = 1;
    info.Format = D3DFMT_UNKNOWN;
    info.ResourceType = D3DRTYPE_TEXTURE;
    info.ImageFileFormat = static_cast<D3DXIMAGE_FILEFORMAT>(
        image.GetType() == kRasterTypeGif ? kImageFileFormatGif : std::max(code, 0));
    load.imageInfo = info;
}

bool DecodeFrames(bitmap_load_t& load, const CRaster& image) {
    const LONG available = image.GetFrame(0) != nullptr ? image.GetFrameCount() : 0;
    if (available <= 0) {
        if (!Image2Bitmap(load, image, load.frames[0])) return false;
        load.frames[0].delayMs = static_cast<std::int32_t>(image.GetFrameDelay() * 10);
        load.frameCount = 1;
        return true;
    }
    const LONG count = std::min<LONG>(available, kMaxBitmapFrames);
    for (LONG i = 0; i < count; ++i) {
        const CRaster* frame = image.GetFrame(i);
        if (frame == nullptr || !Image2Bitmap(load, *frame, load.frames[i])) break;
        load.frames[i].delayMs = static_cast<std::int32_t>(frame->GetFrameDelay() * 10);
        load.frameCount = static_cast<std::int32_t>(i + 1);
    }
    return load.frameCount > 0;
}

}  // namespace

bitmap_load_t::~bitmap_load_t() {
    FreeFrames(*this);
    std::free(buffer.data);
}

const WCHAR* FileExtension(const WCHAR* name) {
    const WCHAR* dot = nullptr;
    for (const WCHAR* p = name; *p != 0; ++p) {
        if (*p == u'.') dot = p;
    }
    return dot ? dot + 1 : nullptr;
}

bool EnsureBufferCapacity(bitmap_buffer_t& buffer, std::uint32_t size) {
    if (buffer.capacity >= size && (buffer.data != nullptr || size == 0)) return true;
    std::free(buffer.data);
    buffer.data = nullptr;
    buffer.capacity = 0;
    buffer.bytesRead = 0;
    const std::uint32_t capacity = NextPowerOfTwo(size);
    if (capacity == 0) return false;
    buffer.data = static_cast<BYTE*>(std::malloc(capacity));
    if (buffer.data == nullptr) return false;
    buffer.capacity = capacity;
    return true;
}

void SetBitmapSource(bitmap_load_t& load, const WCHAR* fileName, D3DFORMAT format) {
    std::size_t length = 0;
    if (fileName != nullptr) {
        while (length < kBitmapNameLength - 1 && fileName[length] != 0) ++length;
        std::memcpy(load.fileName, fileName, length * sizeof(WCHAR));
    }
    load.fileName[length] = 0;
    load.imageType = 0;
    load.dds = 0;
    if (const WCHAR* extension = FileExtension(load.fileName)) {
        load.dds = IsDdsExtension(extension) ? 1 : 0;
        if (!load.dds) load.imageType = CRaster::GetTypeFromExtension(extension);
    }
    load.format = format;
    load.bitsPerPixel = CD3DTexture::IsDXTFormat(format) ? 16 : FormatBitsPerPixel(format);
}

bool PrepareBitmapLoad(bitmap_load_t& load, const STRU_FILE_CALLBACKS* callbacks) {
    load.fileBytes = -1;
    load.refused = false;
    load.failure[0] = '\0';
    if (callbacks == nullptr || callbacks->Open == nullptr || callbacks->Read == nullptr || callbacks->Close == nullptr) {
        SetFailure(load, "no file callbacks");
        return false;
    }
    std::int32_t size = 0;
    LumiFileHandle file = nullptr;
    callbacks->Open(load.fileName, &size, &file);
    if (file == nullptr) {
        SetFailure(load, "the file does not open");
        return false;
    }
    load.fileBytes = size;
    bool ok = false;
    if (size < 0) {
        SetFailure(load, "the file has no size");
    } else if (!AdmitFile(static_cast<std::uint64_t>(size), load.failure, sizeof(load.failure))) {
        load.refused = true;
    } else if (!EnsureBufferCapacity(load.buffer, static_cast<std::uint32_t>(size))) {
        SetFailure(load, "no memory for the file");
    } else {
        std::int32_t count = 0;
        ok = callbacks->Read(file, load.buffer.data, size, &count) == 0 && count == size;
        load.buffer.bytesRead = ok ? static_cast<std::uint32_t>(count) : 0;
        if (!ok) SetFailure(load, "the file reads short");
    }
    callbacks->Close(file);
    return ok;
}

bool DecodeBitmapLoad(bitmap_load_t& load) {
    ClearBitmapImage(load);
    if (load.buffer.capacity == 0 || load.buffer.bytesRead == 0) {
        SetFailure(load, "the file is empty");
        return false;
    }
    load.fingerprint = FingerprintOf(load.buffer);
    if (load.fingerprint == load.failedFingerprint) {
        load.unchanged = true;
        SetFailure(load, "the file is the one that failed");
        return false;
    }
    if (load.dds) return true;
    if (load.bitsPerPixel == 0) {
        SetFailure(load, "the texture format has no pixel layout");
        return false;
    }

    // The header first: the size decides, before any pixel is decoded, whether the image can
    // be taken and whether its frames are worth keeping.
    CRaster probe;
    probe.RequestHeaderOnly();
    if (!probe.Decode(load.buffer.data, load.buffer.bytesRead, load.imageType)) {
        SetFailure(load, probe.GetLastError());
        return false;
    }
    const DWORD type = probe.GetType();
    const bool animated = type == kRasterTypeGif && probe.GetWidth() <= kLargestAnimationSide &&
                          probe.GetHeight() <= kLargestAnimationSide;
    const std::uint32_t decodeBytes =
        type == kRasterTypeJpg || type == kRasterTypeJna ? kJpegDecodeBytesPerPixel : kDecodeBytesPerPixel;
    // Each frame of an animation is held twice: decoded (at most 4 bytes a pixel) and converted.
    const std::uint32_t frameBytes = load.bitsPerPixel / 8 + (animated ? 4 : 0);
    auto admit = [&](std::uint32_t width, std::uint32_t height) {
        const std::uint64_t cost = LoadCostBytes(load.buffer.capacity, width, height, decodeBytes, frameBytes,
                                                 animated ? kMaxBitmapFrames : 1);
        load.refused = !AdmitImage(load.limits, width, height, cost, load.failure, sizeof(load.failure));
        return !load.refused;
    };
    if (!admit(probe.GetWidth(), probe.GetHeight())) return false;

    CRaster image;
    image.SetLoadAllFrames(animated);
    image.SetMaxKeptFrames(kMaxBitmapFrames);
    if (!image.Decode(load.buffer.data, load.buffer.bytesRead, load.imageType)) {
        SetFailure(load, image.GetLastError());
        return false;
    }
    if (!image.IsValid() || image.GetWidth() == 0 || image.GetHeight() == 0) {
        SetFailure(load, "the file holds no picture");
        return false;
    }
    // The header spoke for this picture; one that came out larger is not taken either.
    if (!admit(image.GetWidth(), image.GetHeight())) return false;
    if (!animated && image.GetType() == kRasterTypeGif && image.GetFrameCount() > 1) {
        // Frames are packed in one texture of at most 256 x 256: these cannot be.
        SetFailure(load, "animation frames larger than 256x256");
        return false;
    }
    load.width = image.GetWidth();
    load.height = image.GetHeight();
    load.hasAlpha = PixelReader(image).HasAlpha() ? 1 : 0;
    if (!DecodeFrames(load, image)) {
        const std::uint64_t fingerprint = load.fingerprint;
        ClearBitmapImage(load);
        load.fingerprint = fingerprint;
        SetFailure(load, "no memory for the converted pixels");
        return false;
    }
    FillImageInfo(load, image);
    return true;
}

bool Image2Bitmap(const bitmap_load_t& load, const CRaster& image, bitmap_record_t& record) {
    std::free(record.pixels);
    record = bitmap_record_t{};
    if (load.bitsPerPixel == 0 || !image.IsValid()) return false;
    const std::uint64_t width = image.GetWidth();
    const std::uint64_t height = image.GetHeight();
    const std::uint64_t pitch = width * load.bitsPerPixel / 8;
    if (pitch == 0 || height == 0 || pitch > INT32_MAX || height > INT32_MAX || pitch * height > SIZE_MAX) return false;
    const Layout layout = LayoutFor(load.format, load.bitsPerPixel, PixelReader(image).HasAlpha());
    const std::size_t bytes = static_cast<std::size_t>(pitch * height);
    record.pixels = static_cast<BYTE*>(layout == Layout::kZero ? std::calloc(bytes, 1) : std::malloc(bytes));
    if (record.pixels == nullptr) {
        WriteLog(u"CD3DBitmap::Image2Bitmap() -- out of memory.");
        return false;
    }
    record.width = static_cast<std::int32_t>(width);
    record.height = static_cast<std::int32_t>(height);
    record.pitch = static_cast<std::int32_t>(pitch);
    record.bitsPerPixel = static_cast<std::int32_t>(load.bitsPerPixel);
    if (layout != Layout::kZero) ConvertPixels(image, layout, record);
    return true;
}

void ClearBitmapImage(bitmap_load_t& load) {
    FreeFrames(load);
    load.frameCount = 0;
    load.width = 0;
    load.height = 0;
    load.hasAlpha = 0;
    load.fingerprint = 0;
    load.unchanged = false;
    load.refused = false;
    load.failure[0] = '\0';
}

std::uint64_t FingerprintOf(const bitmap_buffer_t& buffer) {
    // FNV-1a over the bytes, then their count: enough to tell a file that changed.
    std::uint64_t hash = 14695981039346656037ull;
    auto mix = [&hash](std::uint8_t byte) {
        hash ^= byte;
        hash *= 1099511628211ull;
    };
    for (std::uint32_t i = 0; i < buffer.bytesRead; ++i) mix(buffer.data[i]);
    for (int shift = 0; shift < 32; shift += 8) mix(static_cast<std::uint8_t>(buffer.bytesRead >> shift));
    return hash != 0 ? hash : 1;
}
