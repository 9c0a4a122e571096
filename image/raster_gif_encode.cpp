// CRasterGIF: the writers (single images, animations, true-colour tiles).
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "image/codec_failure.h"
#include "image/gif_lzw.h"
#include "image/raster_gif.h"
#include "image/raster_io_file.h"

using lumi::image::GifCodeWriter;
using lumi::image::GifIndexSource;
using lumi::image::kTooLarge;

namespace {

constexpr char kWriteError[] = "Write Error in GIF file";
constexpr LONG kMaxField = 65535;  // 16-bit sizes and offsets
constexpr DWORD kTileWidth = 17;   // 17 x 15 pixels and one transparent entry fill a 256-entry table
constexpr DWORD kTileHeight = 15;

// Byte output that remembers whether every write went through.
class GifOutput {
public:
    explicit GifOutput(CRasterFile* file) : file_(file) {}
    CRasterFile* file() const { return file_; }
    GifOutput& U8(unsigned v) {
        if (!file_->PutC(static_cast<unsigned char>(v))) failed_ = true;
        return *this;
    }
    GifOutput& U16(unsigned v) { return U8(v & 0xFF).U8((v >> 8) & 0xFF); }
    GifOutput& Bytes(const void* data, unsigned n) {
        if (n && file_->Write(data, 1, n) != n) failed_ = true;
        return *this;
    }
    void Fail() { failed_ = true; }
    // Flushes the stream; true when nothing failed.
    bool Finish() {
        if (!file_->Flush() || file_->Error() != 0) failed_ = true;
        return !failed_;
    }

private:
    CRasterFile* file_;
    bool failed_ = false;
};

bool FitsFields(const CRaster& image) {
    LONG x = 0, y = 0;
    image.GetOffset(&x, &y);
    return static_cast<LONG>(image.GetWidth()) <= kMaxField && static_cast<LONG>(image.GetHeight()) <= kMaxField &&
           x >= 0 && y >= 0 && x <= kMaxField && y <= kMaxField;
}

void WritePaletteEntries(GifOutput& out, const CRaster& image) {
    for (DWORD i = 0; i < image.GetColorsUsed(); ++i) {
        const RGBQUAD c = image.GetPaletteColor(static_cast<BYTE>(i));
        out.U8(c.rgbRed).U8(c.rgbGreen).U8(c.rgbBlue);
    }
}

void WriteFileHeader(GifOutput& out, const CRaster& image) {
    out.Bytes("GIF89a", 6).U16(image.GetWidth()).U16(image.GetHeight());
    BYTE flags = 0x11;  // no global table
    if (image.IsIndexed()) {
        switch (image.GetBpp()) {
            case 1: flags = 0x80; break;
            case 4: flags = 0xE3; break;
            default: flags = 0xE7; break;
        }
    }
    out.U8(flags).U8(0).U8(0);
    if (image.IsIndexed()) WritePaletteEntries(out, image);
}

void WriteControlExtension(GifOutput& out, BYTE disposal, LONG backgroundIndex, DWORD delay) {
    const unsigned flags = (static_cast<unsigned>(disposal & 7) << 2) | (backgroundIndex != -1 ? 1u : 0u);
    out.U8('!').U8(0xF9).U8(4).U8(flags).U16(delay & 0xFFFF).U8(static_cast<unsigned>(backgroundIndex) & 0xFF).U8(0);
}

void WriteLoopBlock(GifOutput& out, int loops) {
    out.U8('!').U8(0xFF).U8(11).Bytes("NETSCAPE2.0", 11).U8(3).U8(1).U16(static_cast<unsigned>(loops) & 0xFFFF).U8(0);
}

void WriteCommentBlock(GifOutput& out, const char* comment) {
    const std::size_t n = strnlen(comment, 255);
    if (n == 0) return;
    out.U8('!').U8(0xFE).U8(static_cast<unsigned>(n)).Bytes(comment, static_cast<unsigned>(n)).U8(0);
}

// The image descriptor, an optional local table and the compressed indexes, top row first.
void WriteImageBlock(GifOutput& out, bool localTable, const CRaster& image, DWORD compressor) {
    LONG x = 0, y = 0;
    image.GetOffset(&x, &y);
    const unsigned bits = image.GetBpp();
    out.U8(',').U16(static_cast<unsigned>(x)).U16(static_cast<unsigned>(y)).U16(image.GetWidth()).U16(image.GetHeight());
    out.U8(localTable ? 0x80 | (bits - 1) : 0);
    if (localTable) WritePaletteEntries(out, image);
    const int codeSize = std::max(2u, bits);
    out.U8(static_cast<unsigned>(codeSize));
    GifCodeWriter writer(out.file(), codeSize + 1, compressor == 2 ? 255 : 254);
    GifIndexSource source(image);
    long codes = 0;
    switch (compressor) {
        case 1: codes = lumi::image::WritePixelCodes(writer, source); break;
        case 2: codes = lumi::image::WriteRunCodes(writer, source); break;
        default: codes = lumi::image::WriteLzwCodes(writer, source); break;
    }
    if (codes < 0) out.Fail();
    out.U8(0);
}

}  // namespace

bool CRasterGIF::Encode(FILE* stream) {
    if (!stream) return Encode(static_cast<CRasterFile*>(nullptr));
    CRasterIOFile file(stream);
    return Encode(&file);
}

bool CRasterGIF::Encode(FILE* stream, CRaster** images, int count, bool localColorTables) {
    if (!stream) return Encode(static_cast<CRasterFile*>(nullptr), images, count, localColorTables);
    CRasterIOFile file(stream);
    return Encode(&file, images, count, localColorTables);
}

bool CRasterGIF::Encode(CRasterFile* file) {
    if (CannotEncode(file)) return false;
    try {
        if (GetBpp() > 8) return EncodeTrueColor(file);
        if (info.frame_count > 1 && frames) {
            // Frames that differ from the first one's palette need tables of their own.
            bool local = false;
            for (LONG i = 1; i < info.frame_count && frames[0]; ++i)
                if (frames[i] && !frames[i]->IsPaletteEqual(*frames[0])) local = true;
            return EncodeAnimation(file, frames, info.frame_count, local);
        }
        return EncodeSingle(file);
    } catch (const std::bad_alloc&) {
        SetLastError(kWriteError);
        return false;
    }
}

bool CRasterGIF::EncodeSingle(CRasterFile* file) {
    if (!FitsFields(*this)) {
        SetLastError(kTooLarge);
        return false;
    }
    GifOutput out(file);
    WriteFileHeader(out, *this);
    WriteControlExtension(out, info.gif_disposal, info.background_index, info.frame_delay);
    WriteCommentBlock(out, comment_);
    WriteImageBlock(out, false, *this, GetCodecOption(kRasterTypeGif));
    out.U8(';');
    if (!out.Finish()) {
        SetLastError(kWriteError);
        return false;
    }
    return true;
}

bool CRasterGIF::Encode(CRasterFile* file, CRaster** images, int count, bool localColorTables) {
    try {
        return EncodeAnimation(file, images, count, localColorTables);
    } catch (const std::bad_alloc&) {
        SetLastError(kWriteError);
        return false;
    }
}

bool CRasterGIF::EncodeAnimation(CRasterFile* file, CRaster** images, int count, bool localColorTables) {
    if (!file) {
        SetLastError("invalid file pointer");
        return false;
    }
    if (!images || count <= 0 || !images[0]) {
        SetLastError("multipage GIF, no images!");
        return false;
    }
    for (int i = 0; i < count; ++i) {
        if (!images[i]) {
            SetLastError("Bad image pointer");
            return false;
        }
        if (!images[i]->IsValid()) {
            SetLastError("Empty image");
            return false;
        }
        if (!images[i]->IsIndexed()) {
            SetLastError(
                "CRasterGIF::Encode cannot create animated GIFs with a true color frame. Use DecreaseBpp before");
            return false;
        }
        if (!FitsFields(*images[i])) {
            SetLastError(kTooLarge);
            return false;
        }
    }
    const DWORD compressor = GetCodecOption(kRasterTypeGif);
    GifOutput out(file);
    WriteFileHeader(out, *images[0]);
    if (loop_count_ != 1) WriteLoopBlock(out, std::max(loop_count_ - 1, 0));
    for (int i = 0; i < count; ++i) {
        const CRaster& image = *images[i];
        WriteControlExtension(out, info.gif_disposal, image.GetBackgroundIndex(), image.GetFrameDelay());
        if (i == 0) WriteCommentBlock(out, comment_);
        WriteImageBlock(out, i > 0 && localColorTables, image, compressor);
    }
    out.U8(';');
    if (!out.Finish()) {
        SetLastError(kWriteError);
        return false;
    }
    return true;
}

bool CRasterGIF::EncodeTrueColor(CRasterFile* file) {
    if (!FitsFields(*this)) {
        SetLastError(kTooLarge);
        return false;
    }
    const DWORD width = GetWidth(), height = GetHeight();
    const bool transparent = HasBackgroundIndex();
    const RGBQUAD key = GetTransparentColor();
    const DWORD compressor = GetCodecOption(kRasterTypeGif);
    GifOutput out(file);
    out.Bytes("GIF89a", 6).U16(width).U16(height).U8(0x11).U8(0).U8(0);
    WriteCommentBlock(out, comment_);
    CRaster tile(kTileWidth, kTileHeight, 8, kRasterTypeGif);
    for (DWORD top = 0; top < height; top += kTileHeight) {
        for (DWORD left = 0; left < width; left += kTileWidth) {
            const DWORD w = std::min(kTileWidth, width - left), h = std::min(kTileHeight, height - top);
            if (!tile.Create(w, h, 8, kRasterTypeGif)) {
                SetLastError(tile.GetLastError());
                return false;
            }
            tile.SetBackgroundIndex(-1);
            if (transparent) {
                tile.SetPaletteColor(0, key);
                tile.SetBackgroundIndex(0);
            }
            for (DWORD r = 0; r < h; ++r)
                for (DWORD c = 0; c < w; ++c) {
                    const LONG y = static_cast<LONG>(height - 1 - (top + r));
                    tile.SetPaletteColor(static_cast<BYTE>(1 + kTileWidth * r + c),
                                         GetPixelColor(static_cast<LONG>(left + c), y, false));
                }
            for (DWORD r = 0; r < h; ++r)
                for (DWORD c = 0; c < w; ++c) {
                    const LONG y = static_cast<LONG>(height - 1 - (top + r));
                    const RGBQUAD color = GetPixelColor(static_cast<LONG>(left + c), y, false);
                    tile.SetPixelIndex(static_cast<LONG>(c), static_cast<LONG>(h - 1 - r),
                                       tile.FindNearestPaletteIndex(color));
                }
            tile.SetOffset(static_cast<LONG>(left), static_cast<LONG>(top));
            WriteControlExtension(out, tile.GetGifDisposal(), tile.GetBackgroundIndex(), 0);
            WriteImageBlock(out, true, tile, compressor);
        }
    }
    out.U8(';');
    if (!out.Finish()) {
        SetLastError(kWriteError);
        return false;
    }
    return true;
}
