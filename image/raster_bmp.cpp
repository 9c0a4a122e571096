#include "image/raster_bmp.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "image/checked_size.h"
#include "image/codec_byte_reader.h"
#include "image/codec_failure.h"
#include "image/mask_channel.h"
#include "image/raster_file.h"
#include "image/resolution.h"

using namespace lumi::image;

namespace {

constexpr char kNotBmp[] = "Not a BMP";
constexpr char kBadInfo[] = "Error reading BMP info";
constexpr char kOutputDimensions[] = "output dimensions returned";
constexpr char kCompressionNotSupported[] = "compression type not supported";
constexpr char kUnknownCompression[] = "unknown compression";
constexpr char kTooShort[] = "BMP file too short for its size";

constexpr WORD kSignature = 0x4D42;  // "BM"
constexpr DWORD kFileHeaderBytes = 14;
constexpr DWORD kInfoHeaderBytes = 40;
constexpr DWORD kCoreHeaderBytes = 12;  // OS/2 1.x
constexpr DWORD kOs2HeaderBytes = 64;   // OS/2 2.x
constexpr DWORD kV3HeaderBytes = 56;    // the first header with an alpha mask (V4: 108, V5: 124)
// Larger headers (V4: 108, V5: 124) are skipped; anything past this is not a bitmap.
constexpr DWORD kMaxInfoHeaderBytes = 1024;

constexpr DWORD kCompressionNone = 0;
constexpr DWORD kCompressionRle8 = 1;
constexpr DWORD kCompressionRle4 = 2;
constexpr DWORD kCompressionBitfields = 3;

bool SupportedDepth(WORD bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Bit-field masks must name three separate, contiguous channels inside the pixel; anything
// else is a header that lies about its pixels.
bool MasksValid(DWORD red, DWORD green, DWORD blue, WORD bits) {
    const DWORD pixel = bits == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    for (DWORD m : {red, green, blue}) {
        if (m == 0 || (m & ~pixel) != 0) return false;
        const DWORD run = m >> __builtin_ctz(m);
        if ((run & (run + 1)) != 0) return false;  // a hole in the run
    }
    return (red & green) == 0 && (red & blue) == 0 && (green & blue) == 0;
}

// An alpha mask is taken only when it is one contiguous run inside the pixel that no colour
// channel uses; otherwise the colours are read and the alpha is ignored.
bool AlphaMaskUsable(DWORD alpha, const DWORD colours[3], WORD bits) {
    const DWORD pixel = bits == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    if (alpha == 0 || (alpha & ~pixel) != 0 || (alpha & (colours[0] | colours[1] | colours[2])) != 0) return false;
    const DWORD run = alpha >> __builtin_ctz(alpha);
    return (run & (run + 1)) == 0;
}

// Seeks to an absolute position computed in 64 bits; false when it cannot be reached.
bool SeekTo(CRasterFile* file, std::uint64_t position) {
    if (position > static_cast<std::uint64_t>(LONG_MAX)) return false;
    return file->Seek(static_cast<long>(position), 0);
}

// A file cut short decodes what it holds, but a header may not claim far more than that:
// the pixels missing from a stored (uncompressed) image may not outnumber those present,
// unless they are few. Run-length data can say much in few bytes and is not checked.
constexpr std::uint64_t kCutSlackBytes = 64 * 1024;

bool HoldsEnoughBits(CRasterFile* file, const BITMAPINFOHEADER& fh, DWORD width, DWORD height,
                     std::uint64_t bitsPosition) {
    if (fh.biCompression != kCompressionNone && fh.biCompression != kCompressionBitfields) return true;
    const long here = file->Tell();
    const long size = file->Size();
    if (here < 0 || size < here) return true;
    const auto claimed = lumi::image::ImageBytes(width, height, fh.biBitCount, UINT64_MAX);
    if (!claimed) return false;
    const std::uint64_t from = bitsPosition != 0 ? bitsPosition : static_cast<std::uint64_t>(here);
    const std::uint64_t present = from < static_cast<std::uint64_t>(size) ? size - from : 0;
    return *claimed <= present + std::max(present, kCutSlackBytes);
}

// The codes both run-length forms share, read until the last row is passed or the bitmap
// ends: a pair (count > 0, value) is a run, run(count, value); 0 0 ends a line, 0 1 the
// bitmap, 0 2 dx dy moves the position forward; 0 n (n > 2) starts an absolute run of n
// pixels stored as they are, absolute(n), which answers false when the data ends inside it.
// x and y are the position the callbacks write at. Deltas and line ends only move forward,
// so once past the last row nothing more lands.
template <class Run, class Absolute>
void WalkRle(CodecByteReader& reader, std::size_t height, std::size_t& x, std::size_t& y, Run run, Absolute absolute) {
    while (y < height) {
        const int count = reader.Next();
        const int value = reader.Next();
        if (count < 0 || value < 0) return;
        if (count > 0) {
            run(count, value);
        } else if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            return;
        } else if (value == 2) {
            const int dx = reader.Next();
            const int dy = reader.Next();
            if (dx < 0 || dy < 0) return;
            x += static_cast<std::size_t>(dx);
            y += static_cast<std::size_t>(dy);
        } else if (!absolute(value)) {
            return;
        }
    }
}

}  // namespace

bool CRasterBMP::Decode(CRasterFile* file) {
    if (CannotDecode(file)) return false;
    // Transparency and resolution come from the file, never from an earlier one.
    ForgetFileProperties();
    const char* failure = RunCatching([&] { return DecodeBody(file); }, kNoMemory, kNotBmp);
    if (failure && *failure) SetLastError(failure);
    return !failure || failure == kOutputDimensions;
}

bool CRasterBMP::ReadInfoHeader(BITMAPINFOHEADER& h, CRasterFile* file) {
    // The size comes first, so a small OS/2 file is never read past its end.
    BYTE raw[kInfoHeaderBytes] = {};
    if (file->Read(raw, 1, 4) != 4) return false;
    const DWORD rest = Le32(raw) == kCoreHeaderBytes ? kCoreHeaderBytes - 4 : kInfoHeaderBytes - 4;
    if (file->Read(raw + 4, 1, rest) != rest) return false;
    h.biSize = Le32(raw);
    h.biWidth = static_cast<LONG>(Le32(raw + 4));
    h.biHeight = static_cast<LONG>(Le32(raw + 8));
    h.biPlanes = Le16(raw + 12);
    h.biBitCount = Le16(raw + 14);
    h.biCompression = Le32(raw + 16);
    h.biSizeImage = Le32(raw + 20);
    h.biXPelsPerMeter = static_cast<LONG>(Le32(raw + 24));
    h.biYPelsPerMeter = static_cast<LONG>(Le32(raw + 28));
    h.biClrUsed = Le32(raw + 32);
    h.biClrImportant = Le32(raw + 36);

    if (h.biSize == kCoreHeaderBytes) {
        h.biWidth = Le16(raw + 4);
        h.biHeight = Le16(raw + 6);
        h.biPlanes = Le16(raw + 8);
        h.biBitCount = Le16(raw + 10);
        h.biCompression = h.biSizeImage = h.biClrUsed = h.biClrImportant = 0;
        h.biXPelsPerMeter = h.biYPelsPerMeter = 0;
    } else if (h.biSize == kOs2HeaderBytes) {
        if (!file->Seek(kOs2HeaderBytes - kInfoHeaderBytes, 1)) return false;
    } else if (h.biSize != kInfoHeaderBytes) {
        if (h.biSize <= kInfoHeaderBytes || h.biSize > kMaxInfoHeaderBytes) return false;
        if (h.biWidth <= 0 || h.biHeight == INT32_MIN || h.biBitCount > 32) return false;
        const std::uint64_t height = static_cast<std::uint64_t>(std::abs(static_cast<std::int64_t>(h.biHeight)));
        const std::uint64_t needed =
            ((static_cast<std::uint64_t>(h.biBitCount) * static_cast<std::uint64_t>(h.biWidth) + 31) / 32) * height * 4;
        const bool strict = h.biSizeImage >= needed && h.biPlanes == 1 && h.biClrUsed == 0;
        // Valid V4/V5 files also carry palettes and leave image bytes 0 for plain bits (and
        // paint programs for bit fields too).
        const std::uint64_t maxColors = h.biBitCount <= 8 ? (1u << h.biBitCount) : 0;
        const bool unsized = h.biSizeImage == 0 &&
                             (h.biCompression == kCompressionNone || h.biCompression == kCompressionBitfields);
        const bool relaxed = h.biPlanes == 1 && h.biClrUsed <= maxColors && (h.biSizeImage >= needed || unsized);
        if (!strict && !relaxed) return false;
        // Bit-field files keep the stream on the header's own mask fields.
        if (h.biCompression != kCompressionBitfields && !file->Seek(static_cast<long>(h.biSize - kInfoHeaderBytes), 1))
            return false;
    }
    if (h.biWidth <= 0 || h.biHeight == INT32_MIN) return false;

    if (h.biSizeImage == 0) {
        const auto bytes = lumi::image::ImageBytes(static_cast<std::uint64_t>(h.biWidth),
                                                   static_cast<std::uint64_t>(std::abs(static_cast<std::int64_t>(h.biHeight))),
                                                   h.biBitCount, UINT32_MAX);
        h.biSizeImage = bytes ? static_cast<DWORD>(*bytes) : UINT32_MAX;
    }
    if (h.biBitCount <= 8) {
        if (h.biClrUsed == 0) h.biClrUsed = 1u << h.biBitCount;
    } else {
        h.biClrUsed = 0;
    }
    return true;
}

const char* CRasterBMP::DecodeBody(CRasterFile* file) {
    const long start = file->Tell();
    BYTE fileHeader[kFileHeaderBytes];
    if (file->Read(fileHeader, 1, sizeof(fileHeader)) != sizeof(fileHeader)) return kNotBmp;
    DWORD bitsOffset = 0;
    long infoStart = start + static_cast<long>(kFileHeaderBytes);
    if (Le16(fileHeader) == kSignature) {
        bitsOffset = Le32(fileHeader + 10);
    } else {
        if (!file->Seek(start, 0)) return kNotBmp;
        infoStart = start;
    }

    BITMAPINFOHEADER fh{};
    if (!ReadInfoHeader(fh, file)) return kBadInfo;
    if (!SupportedDepth(fh.biBitCount)) return kCompressionNotSupported;
    const bool topDown = fh.biHeight < 0;
    const DWORD width = static_cast<DWORD>(fh.biWidth);
    const DWORD height = static_cast<DWORD>(topDown ? -fh.biHeight : fh.biHeight);

    if (info.escape == -1) {
        header.biWidth = static_cast<LONG>(width);
        header.biHeight = static_cast<LONG>(height);
        info.type = kRasterTypeBmp;
        return kOutputDimensions;
    }
    if (!HoldsEnoughBits(file, fh, width, height, bitsOffset ? static_cast<std::uint64_t>(start) + bitsOffset : 0))
        return kTooShort;
    if (!Create(width, height, fh.biBitCount, kRasterTypeBmp)) return "";
    SetDpiX(DpiOfPixelsPerMetre(fh.biXPelsPerMeter));
    SetDpiY(DpiOfPixelsPerMetre(fh.biYPelsPerMeter));
    if (info.escape != 0) return kCancelled;

    if (fh.biBitCount <= 8) {
        const char* failure = ReadPalette(file, fh, fh.biSize == kCoreHeaderBytes ? 3 : 4);
        if (failure) return failure;
    }
    if (info.escape != 0) return kCancelled;

    // Where the bits start: the file header's offset when it has one, else right after the
    // palette or the masks (and never inside a long bit-field header).
    auto seekToBits = [&](std::uint64_t barePosition) {
        if (bitsOffset != 0) return SeekTo(file, static_cast<std::uint64_t>(start) + bitsOffset);
        return SeekTo(file, barePosition);
    };

    const char* failure = nullptr;
    switch (fh.biBitCount) {
        case 1:
        case 4:
        case 8: {
            const bool rle8 = fh.biCompression == kCompressionRle8 && fh.biBitCount == 8;
            const bool rle4 = fh.biCompression == kCompressionRle4 && fh.biBitCount == 4;
            if (fh.biCompression != kCompressionNone && !rle8 && !rle4) return kCompressionNotSupported;
            const long here = file->Tell();
            if (here < 0) return kBadInfo;
            // Bits past the end of the stream: a file cut before them, the picture stays clear.
            if (!seekToBits(static_cast<std::uint64_t>(here))) break;
            if (fh.biCompression == kCompressionNone) {
                failure = ReadPlainBits(file);
            } else {
                CodecByteReader reader(file);
                if (rle8)
                    DecodeRle8(reader);
                else
                    DecodeRle4(reader);
            }
            break;
        }
        case 16:
        case 32: {
            if (fh.biCompression != kCompressionNone && fh.biCompression != kCompressionBitfields)
                return kUnknownCompression;
            const long here = file->Tell();
            if (here < 0) return kBadInfo;
            std::uint64_t bare = static_cast<std::uint64_t>(here);
            if (fh.biCompression == kCompressionBitfields) {
                bare += 12;
                if (fh.biSize > kInfoHeaderBytes && bare < static_cast<std::uint64_t>(infoStart) + fh.biSize)
                    bare = static_cast<std::uint64_t>(infoStart) + fh.biSize;
            }
            DWORD masks[4] = {};
            failure = ReadMasks(file, fh, masks);
            if (failure) return failure;
            if (!seekToBits(bare)) break;
            failure = ReadBitfieldBits(file, fh, masks);
            break;
        }
        case 24: {
            if (fh.biCompression != kCompressionNone) return kUnknownCompression;
            const long here = file->Tell();
            if (here < 0) return kBadInfo;
            if (!seekToBits(static_cast<std::uint64_t>(here))) break;
            failure = ReadPlainBits(file);
            break;
        }
        default:
            return kCompressionNotSupported;
    }
    if (failure) return failure;
    if (topDown && !Flip()) return kNoMemory;
    return nullptr;
}

const char* CRasterBMP::ReadPalette(CRasterFile* file, const BITMAPINFOHEADER& fh, DWORD entryBytes) {
    // Entries the image's palette cannot hold are skipped, never stored.
    const DWORD kept = std::min(fh.biClrUsed, GetColorsUsed());
    BYTE raw[256 * 4];
    // A file cut inside its palette keeps the entries it has; the others stay black.
    const DWORD read = file->Read(raw, 1, kept * entryBytes) / entryBytes;
    RGBQUAD* palette = GetPalette();
    for (DWORD i = 0; i < read; ++i) palette[i] = RGBQUAD{raw[i * entryBytes], raw[i * entryBytes + 1], raw[i * entryBytes + 2], 0};
    const std::uint64_t skipped = static_cast<std::uint64_t>(fh.biClrUsed - kept) * entryBytes;
    if (skipped > 0) {
        const long here = file->Tell();
        if (here >= 0) SeekTo(file, static_cast<std::uint64_t>(here) + skipped);
    }
    return nullptr;
}

const char* CRasterBMP::ReadPlainBits(CRasterFile* file) {
    // A file cut short keeps the rows it has; Create cleared the rest.
    file->Read(info.pixels, 1, header.biSizeImage);
    return nullptr;
}

const char* CRasterBMP::ReadMasks(CRasterFile* file, const BITMAPINFOHEADER& fh, DWORD masks[4]) {
    masks[3] = 0;
    if (fh.biCompression == kCompressionBitfields) {
        BYTE raw[16];
        // Headers from the V3 one on hold an alpha mask after the colour masks.
        const unsigned count = fh.biSize >= kV3HeaderBytes && fh.biSize != kOs2HeaderBytes ? 16 : 12;
        if (file->Read(raw, 1, count) != count) return kBadInfo;
        masks[0] = Le32(raw);
        masks[1] = Le32(raw + 4);
        masks[2] = Le32(raw + 8);
        if (!MasksValid(masks[0], masks[1], masks[2], fh.biBitCount)) return kBadInfo;
        if (count == 16 && AlphaMaskUsable(Le32(raw + 12), masks, fh.biBitCount)) masks[3] = Le32(raw + 12);
    } else if (fh.biBitCount == 16) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    } else {
        masks[0] = 0xFF0000;
        masks[1] = 0x00FF00;
        masks[2] = 0x0000FF;
    }
    return nullptr;
}

const char* CRasterBMP::ReadBitfieldBits(CRasterFile* file, const BITMAPINFOHEADER& fh, const DWORD masks[4]) {
    const DWORD width = GetWidth();
    const DWORD height = GetHeight();
    // Throughout, a file cut short reads as if its missing bytes were zero.
    if (fh.biBitCount == 16) {
        // The raw rows fit inside the 24-bit pixel area and are widened in place, after the
        // alpha has been taken from them.
        const std::size_t bytes = static_cast<std::size_t>((width + 1) / 2) * 4 * height;
        file->Read(info.pixels, 1, static_cast<unsigned>(bytes));
        if (masks[3] && !TakeAlpha(16, info.pixels, masks[3])) return kNoMemory;
        ExpandBitfields(16, info.pixels, masks[0], masks[1], masks[2]);
        return nullptr;
    }
    if (fh.biCompression == kCompressionNone) {
        // The fixed layout blue, green, red, alpha needs no masks: one pass, a row at a time.
        if (!CreateAlpha()) return kNoMemory;
        std::vector<BYTE> row(static_cast<std::size_t>(width) * 4);
        BYTE any = 0;
        for (DWORD y = 0; y < height; ++y) {
            const std::size_t got = file->Read(row.data(), 1, static_cast<unsigned>(row.size()));
            std::fill(row.begin() + static_cast<std::ptrdiff_t>(got), row.end(), BYTE{0});
            BYTE* target = info.pixels + static_cast<std::size_t>(y) * info.row_stride;
            BYTE* plane = GetAlphaPointer(0, static_cast<LONG>(y));
            for (DWORD x = 0; x < width; ++x) {
                const BYTE* p = row.data() + static_cast<std::size_t>(x) * 4;
                target[x * 3] = p[0];
                target[x * 3 + 1] = p[1];
                target[x * 3 + 2] = p[2];
                plane[x] = p[3];
                any |= p[3];
            }
        }
        // Files that leave the fourth byte at 0 mean "no alpha", not "invisible".
        if (!any) FillAlpha(255);
        return nullptr;
    }
    const auto bytes = lumi::image::ToSize(*lumi::image::CheckedMul3(width, height, 4));
    if (!bytes || *bytes > UINT_MAX) return kNoMemory;
    std::unique_ptr<BYTE, decltype(&std::free)> buffer(static_cast<BYTE*>(std::calloc(*bytes, 1)), &std::free);
    if (!buffer) return kNoMemory;
    file->Read(buffer.get(), 1, static_cast<unsigned>(*bytes));
    if (masks[3] && !TakeAlpha(32, buffer.get(), masks[3])) return kNoMemory;
    ExpandBitfields(32, buffer.get(), masks[0], masks[1], masks[2]);
    return nullptr;
}

bool CRasterBMP::TakeAlpha(DWORD bits, const BYTE* source, DWORD alphaMask) {
    if (!CreateAlpha()) return false;
    const MaskChannel channel(alphaMask);
    const DWORD width = GetWidth();
    const std::size_t sourceStride = bits == 16 ? static_cast<std::size_t>((width + 1) / 2) * 4 : std::size_t{width} * 4;
    BYTE any = 0;
    for (DWORD y = 0; y < GetHeight(); ++y) {
        const BYTE* p = source + y * sourceStride;
        BYTE* plane = GetAlphaPointer(0, static_cast<LONG>(y));
        for (DWORD x = 0; x < width; ++x) {
            const BYTE* q = p + static_cast<std::size_t>(x) * (bits / 8);
            plane[x] = channel.ExtractScaled(bits == 32 ? Le32(q) : Le16(q));
            any |= plane[x];
        }
    }
    // As with plain 32-bit files: an alpha channel left at 0 throughout means no alpha.
    if (!any) FillAlpha(255);
    return true;
}

void CRasterBMP::DecodeRle8(CodecByteReader& reader) {
    const std::size_t stride = info.row_stride;
    std::size_t x = 0, y = 0;
    auto put = [&](BYTE index) {
        if (x < stride) info.pixels[y * stride + x] = index;
        ++x;
    };
    WalkRle(
        reader, GetHeight(), x, y,
        [&](int count, int value) {
            for (int i = 0; i < count; ++i) put(static_cast<BYTE>(value));
        },
        [&](int count) {
            for (int i = 0; i < count; ++i) {
                const int index = reader.Next();
                if (index < 0) return false;
                put(static_cast<BYTE>(index));
            }
            // Absolute runs are padded to a 16-bit boundary.
            if (count & 1) reader.Next();
            return true;
        });
}

void CRasterBMP::DecodeRle4(CodecByteReader& reader) {
    const std::size_t stride = info.row_stride;
    // x counts nibbles, so an odd delta lands on the right half of a byte.
    std::size_t x = 0, y = 0;
    auto put = [&](int nibble) {
        const std::size_t byte = x / 2;
        if (byte < stride) {
            BYTE& target = info.pixels[y * stride + byte];
            if ((x & 1) == 0)
                target = static_cast<BYTE>(nibble << 4);
            else
                target = static_cast<BYTE>(target | nibble);
        }
        ++x;
    };
    WalkRle(
        reader, GetHeight(), x, y,
        [&](int count, int value) {
            for (int i = 0; i < count; ++i) put((i & 1) ? (value & 0x0F) : (value >> 4));
        },
        [&](int count) {
            int packed = 0;
            for (int i = 0; i < count; ++i) {
                if ((i & 1) == 0) {
                    packed = reader.Next();
                    if (packed < 0) return false;
                }
                put((i & 1) ? (packed & 0x0F) : (packed >> 4));
            }
            // Absolute runs are padded to a 16-bit boundary.
            if ((count + 1) & 2) reader.Next();
            return true;
        });
}

bool CRasterBMP::Encode(CRasterFile* file) {
    if (CannotEncode(file)) return false;
    const char* failure = RunCatching([&] { return EncodeBody(file); }, kNoMemory, kNoMemory);
    if (failure) SetLastError(failure);
    return !failure;
}

const char* CRasterBMP::EncodeBody(CRasterFile* file) {
    const DWORD width = GetWidth();
    const DWORD height = GetHeight();
    const bool withAlpha = GetBpp() == 24 && HasAlpha();
    const DWORD paletteBytes = GetPaletteSize();
    // Create's limit keeps every size below 2^32 here, even at 4 bytes a pixel.
    const std::uint64_t imageBytes =
        withAlpha ? *lumi::image::CheckedMul3(width, height, 4) : static_cast<std::uint64_t>(header.biSizeImage);
    const std::uint64_t offset = kFileHeaderBytes + kInfoHeaderBytes + paletteBytes;
    if (offset + imageBytes > UINT32_MAX) return kNoMemory;

    BYTE head[kFileHeaderBytes + kInfoHeaderBytes] = {};
    Put16(head, kSignature);
    Put32(head + 2, static_cast<DWORD>(offset + imageBytes));
    Put32(head + 10, static_cast<DWORD>(offset));
    BYTE* ih = head + kFileHeaderBytes;
    Put32(ih, kInfoHeaderBytes);
    Put32(ih + 4, static_cast<DWORD>(header.biWidth));
    Put32(ih + 8, static_cast<DWORD>(header.biHeight));
    Put16(ih + 12, 1);
    Put16(ih + 14, withAlpha ? 32 : header.biBitCount);
    Put32(ih + 16, kCompressionNone);
    Put32(ih + 20, static_cast<DWORD>(imageBytes));
    Put32(ih + 24, static_cast<DWORD>(header.biXPelsPerMeter));
    Put32(ih + 28, static_cast<DWORD>(header.biYPelsPerMeter));
    Put32(ih + 32, header.biClrUsed);
    Put32(ih + 36, header.biClrImportant);
    if (!WriteAll(file, head, sizeof(head))) return kWriteError;
    if (!WriteAll(file, GetPalette(), paletteBytes)) return kWriteError;

    const bool written = withAlpha ? WriteRowsWithAlpha(file, *this) : WriteAll(file, info.pixels, header.biSizeImage);
    return written ? nullptr : kWriteError;
}
