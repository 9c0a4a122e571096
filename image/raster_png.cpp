#include "image/raster_png.h"

#include <png.h>

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "image/checked_size.h"
#include "image/codec_failure.h"
#include "image/raster_file.h"
#include "image/resolution.h"

namespace {

constexpr char kCreateFailed[] = "Failed to create PNG structure";
constexpr char kInfoFailed[] = "Failed to initialize PNG info structure";
constexpr char kUnknownColorType[] = "unknown PNG color type";
constexpr char kSaveFailed[] = "Error saving PNG file";

constexpr std::size_t kMessageChars = 255;  // last_error holds 256 bytes with the terminator

// libpng's I/O and error callbacks. The io pointer is the CRasterFile, the error pointer the
// image's last-error text. None of them owns anything, so a jump out of them loses nothing.
void ReadFromStream(png_structp png, png_bytep data, size_t length) {
    auto* file = static_cast<CRasterFile*>(png_get_io_ptr(png));
    if (length > UINT_MAX || file->Read(data, 1, static_cast<unsigned>(length)) != length) png_error(png, "Read Error");
}

void WriteToStream(png_structp png, png_bytep data, size_t length) {
    auto* file = static_cast<CRasterFile*>(png_get_io_ptr(png));
    if (length > UINT_MAX || file->Write(data, 1, static_cast<unsigned>(length)) != length)
        png_error(png, "Write Error");
}

void FlushStream(png_structp png) {
    auto* file = static_cast<CRasterFile*>(png_get_io_ptr(png));
    if (!file->Flush()) png_error(png, "Flush Error");
}

[[noreturn]] void AbortWithMessage(png_structp png, png_const_charp message) {
    char* target = static_cast<char*>(png_get_error_ptr(png));
    if (target) {
        std::strncpy(target, message ? message : "", kMessageChars);
        target[kMessageChars] = '\0';
    }
    png_longjmp(png, 1);
}

// A library prints nothing; warnings (profiles, benign chunk faults) change no result.
void IgnoreWarning(png_structp, png_const_charp) {}

// libpng's structures of one read or write and the row buffer that the part libpng may leave
// by a jump allocates, all released with this object. It lives outside the frames a jump
// crosses.
class PngSession {
public:
    enum Direction { kRead, kWrite };

    // errorText: where libpng's error messages go (the image's last-error text).
    PngSession(Direction direction, char* errorText) : direction_(direction) {
        png = direction == kRead
                  ? png_create_read_struct(PNG_LIBPNG_VER_STRING, errorText, AbortWithMessage, IgnoreWarning)
                  : png_create_write_struct(PNG_LIBPNG_VER_STRING, errorText, AbortWithMessage, IgnoreWarning);
        if (png) info = png_create_info_struct(png);
    }
    ~PngSession() {
        std::free(row);
        if (!png) return;
        if (direction_ == kRead)
            png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        else
            png_destroy_write_struct(&png, info ? &info : nullptr);
    }
    PngSession(const PngSession&) = delete;
    PngSession& operator=(const PngSession&) = delete;

    // The message of a structure that could not be made, or null when both were.
    const char* Failure() const { return !png ? kCreateFailed : !info ? kInfoFailed : nullptr; }

    png_structp png = nullptr;
    png_infop info = nullptr;
    BYTE* row = nullptr;

private:
    Direction direction_;
};

LONG ClampToLong(png_uint_32 v) { return v > static_cast<png_uint_32>(INT32_MAX) ? INT32_MAX : static_cast<LONG>(v); }

// Byte-wise remap of the packed indexes of a row: entries a and b trade places.
void BuildSwapTable(BYTE table[256], DWORD bits, BYTE a, BYTE b) {
    const DWORD mask = (1u << bits) - 1;
    for (DWORD v = 0; v < 256; ++v) {
        DWORD out = 0;
        for (DWORD shift = 0; shift < 8; shift += bits) {
            DWORD index = (v >> shift) & mask;
            if (index == a)
                index = b;
            else if (index == b)
                index = a;
            out |= index << shift;
        }
        table[v] = static_cast<BYTE>(out);
    }
}

// A row of red, green, blue, alpha as the file has it into a row of blue, green, red and a
// row of alpha, in the one pass that touches every pixel anyway. With SSSE3 one byte shuffle
// does four pixels: their colours, blue first, in bytes 0-11 and their alphas in 12-15.
typedef BYTE Bytes16 __attribute__((vector_size(16)));

__attribute__((target("ssse3"))) void SplitColorAndAlphaSsse3(const BYTE* in, png_uint_32 width, BYTE* color,
                                                              BYTE* alpha) {
    png_uint_32 x = 0;
    for (; x + 4 <= width; x += 4, in += 16, color += 12, alpha += 4) {
        Bytes16 pixels;
        std::memcpy(&pixels, in, sizeof pixels);
        const Bytes16 split =
            __builtin_shufflevector(pixels, pixels, 2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, 3, 7, 11, 15);
        std::memcpy(color, &split, 12);
        std::memcpy(alpha, reinterpret_cast<const BYTE*>(&split) + 12, 4);
    }
    for (; x < width; ++x, in += 4, color += 3) {
        color[0] = in[2];
        color[1] = in[1];
        color[2] = in[0];
        *alpha++ = in[3];
    }
}

__attribute__((target("ssse3"))) void SwapRedBlueSsse3(BYTE* row, png_uint_32 width) {
    png_uint_32 x = 0;
    // Four pixels (12 bytes) a step from a 16-byte load; the last 4 bytes go back as they were.
    // Each load is made before the previous step's store, which it overlaps: a load waiting for
    // a store it only partly overlaps would stall.
    Bytes16 next{};
    if (width >= 6) std::memcpy(&next, row, sizeof next);
    for (; x + 6 <= width; x += 4, row += 12) {
        const Bytes16 pixels = next;
        if (x + 10 <= width) std::memcpy(&next, row + 12, sizeof next);
        const Bytes16 swapped =
            __builtin_shufflevector(pixels, pixels, 2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 12, 13, 14, 15);
        std::memcpy(row, &swapped, sizeof swapped);
    }
    for (; x < width; ++x, row += 3) {
        const BYTE red = row[0];
        row[0] = row[2];
        row[2] = red;
    }
}

void SplitColorAndAlpha(const BYTE* in, png_uint_32 width, BYTE* color, BYTE* alpha) {
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3) {
        SplitColorAndAlphaSsse3(in, width, color, alpha);
        return;
    }
    for (png_uint_32 x = 0; x < width; ++x, in += 4, color += 3) {
        color[0] = in[2];
        color[1] = in[1];
        color[2] = in[0];
        alpha[x] = in[3];
    }
}

void SplitGreyAndAlpha(const BYTE* in, png_uint_32 width, BYTE* grey, BYTE* alpha) {
    for (png_uint_32 x = 0; x < width; ++x) {
        grey[x] = in[2 * x];
        alpha[x] = in[2 * x + 1];
    }
}

}  // namespace

void CRasterPNG::WidenTwoBitRow(BYTE* row, DWORD pixels) {
    if (!row || pixels == 0) return;
    // Output byte j holds pixels 2j and 2j+1, read from byte j / 2: going backwards, every
    // byte is read before anything is written over it.
    for (DWORD j = (pixels + 1) / 2; j-- > 0;) {
        const DWORD first = 2 * j;
        const BYTE source = row[first / 4];
        const BYTE high = (source >> (6 - 2 * (first % 4))) & 3;
        const BYTE low = first + 1 < pixels ? (source >> (6 - 2 * ((first + 1) % 4))) & 3 : 0;
        row[j] = static_cast<BYTE>((high << 4) | low);
    }
}

// ---- decoding -----------------------------------------------------------------------------

bool CRasterPNG::Decode(CRasterFile* file) {
    if (CannotDecode(file)) return false;
    // Transparency and resolution come from the file, never from an earlier one.
    ForgetFileProperties();
    PngSession session(PngSession::kRead, info.last_error);
    if (const char* failure = session.Failure()) {
        SetLastError(failure);
        return false;
    }
    return DecodeWithJump(session.png, session.info, file, &session.row);
}

bool CRasterPNG::DecodeWithJump(png_struct_def* png, png_info_def* pngInfo, CRasterFile* file, BYTE** row) {
    // A libpng error lands here with its message already in last_error.
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, file, ReadFromStream);
    png_read_info(png, pngInfo);

    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(png, pngInfo, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);
    if (info.escape == -1) {
        header.biWidth = static_cast<LONG>(width);
        header.biHeight = static_cast<LONG>(height);
        info.type = kRasterTypePng;
        return true;
    }

    DWORD bits = 0;
    bool withAlpha = false;
    switch (colorType) {
        case PNG_COLOR_TYPE_GRAY: bits = bitDepth == 16 ? 8 : bitDepth == 2 ? 4 : bitDepth; break;
        case PNG_COLOR_TYPE_PALETTE: bits = bitDepth == 2 ? 4 : bitDepth; break;
        case PNG_COLOR_TYPE_RGB: bits = 24; break;
        case PNG_COLOR_TYPE_GRAY_ALPHA: bits = 8; withAlpha = true; break;
        case PNG_COLOR_TYPE_RGB_ALPHA: bits = 24; withAlpha = true; break;
        default: SetLastError(kUnknownColorType); return false;
    }
    // Every row is read before the decode succeeds: the image is not cleared first.
    if (!CreateForDecoder(width, height, bits, kRasterTypePng)) return false;

    png_uint_32 resX = 0, resY = 0;
    int unit = 0;
    if (png_get_pHYs(png, pngInfo, &resX, &resY, &unit)) {
        if (unit == PNG_RESOLUTION_METER) {
            SetDpiX(lumi::image::DpiOfPixelsPerMetre(resX));
            SetDpiY(lumi::image::DpiOfPixelsPerMetre(resY));
        } else {
            SetDpiX(ClampToLong(resX));
            SetDpiY(ClampToLong(resY));
        }
    }

    RGBQUAD* palette = GetPalette();
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp entries = nullptr;
        int count = 0;
        if (png_get_PLTE(png, pngInfo, &entries, &count) && entries) {
            const DWORD n = std::min(static_cast<DWORD>(count), GetColorsUsed());
            for (DWORD i = 0; i < n; ++i) palette[i] = RGBQUAD{entries[i].blue, entries[i].green, entries[i].red, 0};
            SetImportantColors(static_cast<DWORD>(count));
        }
    } else if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth == 2) {
        for (DWORD i = 0; i < 4; ++i) {
            const BYTE v = static_cast<BYTE>(i * 85);
            palette[i] = RGBQUAD{v, v, v, 0};
        }
    } else {
        SetGrayPalette();
    }

    bool keyedAlpha = false;
    if (png_get_valid(png, pngInfo, PNG_INFO_tRNS)) {
        png_bytep alphas = nullptr;
        int count = 0;
        png_color_16p key = nullptr;
        png_get_tRNS(png, pngInfo, &alphas, &count, &key);
        if (colorType == PNG_COLOR_TYPE_PALETTE && alphas && count > 0) {
            // Only a fully transparent single entry is a transparent index; any other alpha
            // must reach the palette, or an opaque entry would vanish.
            if (count == 1 && alphas[0] == 0) {
                info.background_index = 0;
            } else {
                for (DWORD i = 0; i < GetColorsUsed(); ++i)
                    palette[i].rgbReserved = i < static_cast<DWORD>(count) ? alphas[i] : 255;
                info.alpha_palette_enabled = true;
            }
        } else if (bitDepth == 16 && key && (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_RGB)) {
            // Only samples equal to the key in all 16 bits are transparent, and the image keeps
            // 8: the key becomes an alpha plane, which libpng builds before it drops the low
            // bytes.
            png_set_tRNS_to_alpha(png);
            keyedAlpha = true;
        } else if (colorType == PNG_COLOR_TYPE_GRAY && key) {
            const DWORD level = key->gray;
            if (level < GetColorsUsed()) info.background_index = static_cast<LONG>(level);
        } else if (colorType == PNG_COLOR_TYPE_RGB && key) {
            info.background_color =
                RGBQUAD{static_cast<BYTE>(key->blue), static_cast<BYTE>(key->green), static_cast<BYTE>(key->red), 0};
            info.background_index = 0;
        }
    }

    withAlpha = withAlpha || keyedAlpha;
    if (withAlpha && !CreateAlphaForDecoder()) png_error(png, "Insufficient memory");
    // Rows without alpha go straight into the image, blue first; rows with alpha are split
    // into colour and alpha, and the split puts blue first itself.
    const bool swapRows = colorType == PNG_COLOR_TYPE_RGB && !keyedAlpha && interlace == PNG_INTERLACE_NONE &&
                          bitDepth == 8 && __builtin_cpu_supports("ssse3");
    if (colorType == PNG_COLOR_TYPE_RGB && !keyedAlpha && !swapRows) png_set_bgr(png);
    // Libpng keeps the high byte, as the image wants.
    if (bitDepth == 16) png_set_strip_16(png);
    const int passes = png_set_interlace_handling(png);
    SetCodecOption(passes > 1 ? 1 : 0);
    png_read_update_info(png, pngInfo);

    const std::size_t rowBytes = png_get_rowbytes(png, pngInfo);
    const DWORD channels = (colorType & PNG_COLOR_MASK_COLOR) ? 4 : 2;
    if (withAlpha ? rowBytes != static_cast<std::size_t>(width) * channels : rowBytes > info.row_stride)
        png_error(png, "unexpected PNG row size");
    if (withAlpha) {
        *row = static_cast<BYTE*>(std::malloc(rowBytes + 8));
        if (!*row) png_error(png, "Insufficient memory");
    }
    if (info.escape != 0) png_error(png, lumi::image::kCancelled);

    const std::size_t stride = info.row_stride;
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y) {
            if (info.escape != 0) png_error(png, lumi::image::kCancelled);
            // PNG rows run from the top, image rows from the bottom.
            BYTE* target = info.pixels + static_cast<std::size_t>(height - 1 - y) * stride;
            if (!withAlpha) {
                // Earlier passes' pixels stay in the row, and libpng adds this pass's.
                png_read_row(png, target, nullptr);
                if (swapRows) SwapRedBlueSsse3(target, width);
                continue;
            }
            BYTE* buffer = *row;
            BYTE* alphaRow = alpha + static_cast<std::size_t>(height - 1 - y) * width;
            if (pass > 0) {
                for (png_uint_32 x = 0; x < width; ++x) {
                    if (channels == 4) {
                        buffer[x * 4] = target[x * 3 + 2];
                        buffer[x * 4 + 1] = target[x * 3 + 1];
                        buffer[x * 4 + 2] = target[x * 3];
                        buffer[x * 4 + 3] = alphaRow[x];
                    } else {
                        buffer[x * 2] = target[x];
                        buffer[x * 2 + 1] = alphaRow[x];
                    }
                }
            }
            png_read_row(png, buffer, nullptr);
            if (channels == 4) SplitColorAndAlpha(buffer, width, target, alphaRow);
            else SplitGreyAndAlpha(buffer, width, target, alphaRow);
        }
    }
    if (bitDepth == 2)
        for (png_uint_32 y = 0; y < height; ++y) WidenTwoBitRow(info.pixels + y * stride, width);
    png_read_end(png, pngInfo);
    return true;
}

// ---- encoding -----------------------------------------------------------------------------

DWORD CRasterPNG::HighestIndexUsed() const {
    DWORD highest = 0;
    const LONG w = header.biWidth, h = header.biHeight;
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x) highest = std::max<DWORD>(highest, ReadPixelIndex(x, y));
    return highest;
}

bool CRasterPNG::Encode(CRasterFile* file) {
    if (CannotEncode(file)) return false;
    PngSession session(PngSession::kWrite, info.last_error);
    if (const char* failure = session.Failure()) {
        SetLastError(failure);
        return false;
    }
    if (EncodeWithJump(session.png, session.info, file, &session.row)) return true;
    SetLastError(kSaveFailed);
    return false;
}

bool CRasterPNG::EncodeWithJump(png_struct_def* png, png_info_def* pngInfo, CRasterFile* file, BYTE** row) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, file, WriteToStream, FlushStream);

    const png_uint_32 width = GetWidth();
    const png_uint_32 height = GetHeight();
    const DWORD bits = GetBpp();
    const bool paletted = bits <= 8;
    // Only an 8-bit identity palette is grey as written: at lower depths a grey level is
    // not the index.
    const bool grey = bits == 8 && IsGrayScale();
    const bool withAlpha = HasAlpha();
    int colorType = grey ? PNG_COLOR_TYPE_GRAY : paletted ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB;
    int bitDepth = paletted ? static_cast<int>(bits) : 8;
    if (withAlpha) {
        // A colour palette with alpha makes type 7, which libpng refuses: the save fails.
        colorType += PNG_COLOR_MASK_ALPHA;
        bitDepth = 8;
    }
    const bool interlaced = GetCodecOption(kRasterTypePng) == 1;
    const LONG keyIndex = info.background_index;
    const bool hasKey = keyIndex >= 0;

    // bKGD: the transparent colour, else white (which a colour palette cannot name).
    const RGBQUAD keyColor = GetTransparentColor();
    png_color_16 background{};
    if (hasKey) {
        background.red = keyColor.rgbRed;
        background.green = keyColor.rgbGreen;
        background.blue = keyColor.rgbBlue;
        background.gray = static_cast<png_uint_16>(keyIndex);
    } else {
        background.red = background.green = background.blue = background.gray = 255;
    }
    if (colorType != PNG_COLOR_TYPE_PALETTE || hasKey) png_set_bKGD(png, pngInfo, &background);
    if (header.biXPelsPerMeter > 0 && header.biYPelsPerMeter > 0)
        png_set_pHYs(png, pngInfo, static_cast<png_uint_32>(header.biXPelsPerMeter),
                     static_cast<png_uint_32>(header.biYPelsPerMeter), PNG_RESOLUTION_METER);
    png_set_IHDR(png, pngInfo, width, height, bitDepth, colorType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);

    // A colour palette's transparent index moves to entry 0 in the file; the image itself
    // is never touched, only the palette copy and the written rows.
    bool remap = false;
    BYTE swapTable[256];
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        RGBQUAD entries[256] = {};
        const DWORD used = GetColorsUsed();
        std::memcpy(entries, GetPalette(), used * sizeof(RGBQUAD));
        DWORD count = GetImportantColors() ? GetImportantColors() : used;
        // PLTE must name every index the pixels use, or the file is invalid.
        if (count < used) count = std::max(count, HighestIndexUsed() + 1);
        if (hasKey && keyIndex > 0) {
            std::swap(entries[0], entries[keyIndex]);
            BuildSwapTable(swapTable, bits, 0, static_cast<BYTE>(keyIndex));
            remap = true;
            count = std::max(count, static_cast<DWORD>(keyIndex) + 1);
        }
        png_color plte[256];
        for (DWORD i = 0; i < count; ++i) plte[i] = png_color{entries[i].rgbRed, entries[i].rgbGreen, entries[i].rgbBlue};
        png_set_PLTE(png, pngInfo, plte, static_cast<int>(count));

        BYTE trans[256];
        DWORD transCount = 0;
        if (info.alpha_palette_enabled) {
            for (DWORD i = 0; i < count; ++i) trans[i] = entries[i].rgbReserved;
            if (hasKey) trans[0] = 0;
            // Only up to the last entry that is not opaque, and never past PLTE, or libpng
            // drops the whole chunk.
            for (DWORD i = 0; i < count; ++i)
                if (trans[i] != 255) transCount = i + 1;
        } else if (hasKey) {
            trans[0] = 0;
            transCount = 1;
        }
        if (transCount > 0) png_set_tRNS(png, pngInfo, trans, static_cast<int>(transCount), nullptr);
    } else if (hasKey && !withAlpha) {
        png_color_16 key{};
        if (grey) {
            key.gray = static_cast<png_uint_16>(keyIndex);
        } else {
            key.red = keyColor.rgbRed;
            key.green = keyColor.rgbGreen;
            key.blue = keyColor.rgbBlue;
        }
        png_set_tRNS(png, pngInfo, nullptr, 1, &key);
    }

    png_write_info(png, pngInfo);
    const int passes = png_set_interlace_handling(png);
    *row = static_cast<BYTE*>(std::malloc(static_cast<std::size_t>(width) * 4 + 8));
    if (!*row) png_error(png, "Insufficient memory");
    BYTE* buffer = *row;
    const std::size_t stride = info.row_stride;
    const std::size_t packedBytes = (static_cast<std::size_t>(width) * bits + 7) / 8;
    const bool keyAlpha = withAlpha && bits == 24 && hasKey;
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y) {
            const BYTE* source = info.pixels + static_cast<std::size_t>(height - 1 - y) * stride;
            const BYTE* alphaRow = withAlpha ? alpha + static_cast<std::size_t>(height - 1 - y) * width : nullptr;
            const BYTE* out = source;
            if (withAlpha && bits == 24) {
                for (png_uint_32 x = 0; x < width; ++x) {
                    const BYTE* p = source + x * 3;
                    BYTE* q = buffer + x * 4;
                    q[0] = p[2];
                    q[1] = p[1];
                    q[2] = p[0];
                    const bool isKey = keyAlpha && p[0] == keyColor.rgbBlue && p[1] == keyColor.rgbGreen &&
                                       p[2] == keyColor.rgbRed;
                    q[3] = isKey ? 0 : alphaRow[x];
                }
                out = buffer;
            } else if (withAlpha) {
                for (png_uint_32 x = 0; x < width; ++x) {
                    buffer[x * 2] = source[x];
                    buffer[x * 2 + 1] = alphaRow[x];
                }
                out = buffer;
            } else if (bits == 24) {
                for (png_uint_32 x = 0; x < width; ++x) {
                    buffer[x * 3] = source[x * 3 + 2];
                    buffer[x * 3 + 1] = source[x * 3 + 1];
                    buffer[x * 3 + 2] = source[x * 3];
                }
                out = buffer;
            } else if (remap) {
                for (std::size_t i = 0; i < packedBytes; ++i) buffer[i] = swapTable[source[i]];
                out = buffer;
            }
            png_write_row(png, out);
        }
    }
    png_write_end(png, pngInfo);
    return true;
}
