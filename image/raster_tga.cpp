#include "image/raster_tga.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "image/codec_byte_reader.h"
#include "image/codec_failure.h"
#include "image/raster_file.h"

using namespace lumi::image;

namespace {

constexpr char kNotTga[] = "Not a TGA";
constexpr char kUnknownType[] = "Unknown TGA image type";
constexpr char kBadHeader[] = "bad TGA header";
constexpr char kCreateFailed[] = "TGA Create failed";
constexpr char kCorrupted[] = "corrupted TGA";
constexpr char kBadDepth[] = "Bit depth must be 8 or 24";

constexpr DWORD kHeaderBytes = 18;
constexpr DWORD kMaxColorMapEntries = 256;
constexpr DWORD kMaxDimension = 65535;  // 16-bit fields
constexpr BYTE kRightToLeft = 0x10;
constexpr BYTE kTopToBottom = 0x20;
constexpr BYTE kRleFlag = 8;  // image types 9, 10, 11

// 15- and 16-bit pixels and colour-map entries: x RRRRR GGGGG BBBBB, little-endian.
RGBQUAD Expand555(const BYTE* p) {
    const DWORD c = Le16(p);
    return RGBQUAD{static_cast<BYTE>((c << 3) & 0xFF), static_cast<BYTE>((c >> 2) & 0xF8),
                   static_cast<BYTE>((c >> 7) & 0xF8), 0};
}

bool IsColorMapEntrySize(DWORD bits) { return bits == 15 || bits == 16 || bits == 24 || bits == 32; }

// Whether the rest of the stream can hold `prefix` bytes and then width x height pixels of
// pixelBytes each: all of them stored, or as run-length packets, which cover at most 128
// pixels for a header byte and at least one pixel value. A stream that cannot tell its size
// is given the benefit of the doubt.
bool HoldsPixels(CRasterFile* file, std::uint64_t prefix, DWORD width, DWORD height, DWORD pixelBytes, bool rle) {
    const long here = file->Tell();
    const long size = file->Size();
    if (here < 0 || size < here) return true;
    const std::uint64_t pixels = static_cast<std::uint64_t>(width) * height;
    const std::uint64_t bytes = rle ? (pixels + 127) / 128 * (1 + pixelBytes) : pixels * pixelBytes;
    return prefix + bytes <= static_cast<std::uint64_t>(size - here);
}

}  // namespace

bool CRasterTGA::Decode(CRasterFile* file) {
    if (CannotDecode(file)) return false;
    // Transparency and resolution come from the file, never from an earlier one.
    ForgetFileProperties();
    const char* failure = RunCatching([&] { return DecodeBody(file); }, kCreateFailed, kCorrupted);
    if (failure && *failure) SetLastError(failure);
    return !failure;
}

const char* CRasterTGA::DecodeBody(CRasterFile* file) {
    BYTE h[kHeaderBytes];
    if (file->Read(h, 1, sizeof(h)) != sizeof(h)) return kNotTga;
    const DWORD idLength = h[0];
    const DWORD colorMapType = h[1];
    const DWORD imageType = h[2];
    const DWORD colorMapFirst = Le16(h + 3);
    const DWORD colorMapLength = Le16(h + 5);
    const DWORD colorMapEntryBits = h[7];
    const DWORD width = Le16(h + 12);
    const DWORD height = Le16(h + 14);
    const DWORD depth = h[16];
    const BYTE descriptor = h[17];

    const DWORD baseType = imageType & ~static_cast<DWORD>(kRleFlag);
    if (imageType != baseType && imageType != (baseType | kRleFlag)) return kUnknownType;
    if (baseType < 1 || baseType > 3) return kUnknownType;
    if (width == 0 || height == 0 || depth == 0 || colorMapLength > kMaxColorMapEntries) return kBadHeader;
    if (depth != 8 && depth != 15 && depth != 16 && depth != 24 && depth != 32) return kBadHeader;
    // Indexes and grey levels are bytes; colour pixels are never one byte. A colour map that
    // is there must say how wide its entries are.
    const bool hasColorMap = colorMapType == 1 && colorMapLength > 0;
    if (colorMapType > 1 || (hasColorMap && !IsColorMapEntrySize(colorMapEntryBits))) return kBadHeader;
    if ((baseType == 1 && (depth != 8 || !hasColorMap)) || (baseType == 3 && depth != 8) ||
        (baseType == 2 && depth == 8))
        return kBadHeader;

    if (info.escape == -1) {
        header.biWidth = static_cast<LONG>(width);
        header.biHeight = static_cast<LONG>(height);
        info.type = kRasterTypeTga;
        return nullptr;
    }

    // Every pixel must come from the file, so a header that claims more than the file can
    // hold fails here, before the picture is allocated.
    if (!HoldsPixels(file, idLength + (hasColorMap ? colorMapLength * ((colorMapEntryBits + 7) / 8) : 0), width,
                     height, (depth + 7) / 8, (imageType & kRleFlag) != 0))
        return kCorrupted;

    CodecByteReader reader(file);
    if (reader.Skip(idLength) != idLength) return kCorrupted;
    if (!Create(width, height, depth, kRasterTypeTga)) return kCreateFailed;
    if (depth == 32 && !CreateAlpha()) return kCreateFailed;
    if (info.escape != 0) return kCancelled;

    if (hasColorMap) {
        const DWORD entryBytes = (colorMapEntryBits + 7) / 8;
        BYTE map[kMaxColorMapEntries * 4];
        if (reader.Read(map, colorMapLength * entryBytes) != colorMapLength * entryBytes) return kCorrupted;
        // Entries are numbered from the map's first index; those past the palette are dropped.
        for (DWORD i = 0; i < colorMapLength; ++i) {
            const DWORD index = colorMapFirst + i;
            if (index >= GetColorsUsed()) break;
            const BYTE* e = map + i * entryBytes;
            SetPaletteColor(static_cast<BYTE>(index), entryBytes == 2 ? Expand555(e) : RGBQUAD{e[0], e[1], e[2], 0});
        }
    }
    if (baseType == 3) SetGrayPalette();

    const PixelLayout layout{depth, (depth + 7) / 8};
    const bool rle = (imageType & kRleFlag) != 0;
    const bool topToBottom = (descriptor & kTopToBottom) != 0;
    std::vector<BYTE> scratch(static_cast<std::size_t>(width) * layout.file_bytes);
    RlePacket packet;
    for (DWORD i = 0; i < height; ++i) {
        if (info.escape != 0) return kCancelled;
        // A packet carried over from the last row needs no more data to start this one.
        if (packet.remaining == 0 && reader.AtEnd()) return kCorrupted;
        const DWORD target = topToBottom ? height - 1 - i : i;
        const bool ok = rle ? DecodeRleRow(reader, layout, target, i, packet, scratch)
                            : ReadRawPixels(reader, layout, target, width, 0, i, scratch);
        if (!ok) return kCorrupted;
    }
    if ((descriptor & kRightToLeft) && !Mirror()) return "";
    // Alpha went to file rows; a top-to-bottom file stored its pixels the other way up.
    if (topToBottom && depth == 32) FlipAlpha();
    return nullptr;
}

void CRasterTGA::StorePixel(const PixelLayout& layout, BYTE* row, BYTE* alphaRow, DWORD x, const BYTE* value) {
    switch (layout.depth) {
        case 8:
            row[x] = value[0];
            break;
        case 15:
        case 16: {
            const RGBQUAD c = Expand555(value);
            row[x * 3] = c.rgbBlue;
            row[x * 3 + 1] = c.rgbGreen;
            row[x * 3 + 2] = c.rgbRed;
            break;
        }
        default:
            row[x * 3] = value[0];
            row[x * 3 + 1] = value[1];
            row[x * 3 + 2] = value[2];
            if (layout.depth == 32) alphaRow[x] = value[3];
            break;
    }
}

bool CRasterTGA::ReadRawPixels(CodecByteReader& reader, const PixelLayout& layout, DWORD targetRow, DWORD count,
                               DWORD firstColumn, DWORD fileRow, std::vector<BYTE>& scratch) {
    BYTE* row = info.pixels + static_cast<std::size_t>(targetRow) * info.row_stride;
    const std::size_t bytes = static_cast<std::size_t>(count) * layout.file_bytes;
    // 8- and 24-bit pixels are stored as the file has them.
    if (layout.depth == 8 || layout.depth == 24)
        return reader.Read(row + static_cast<std::size_t>(firstColumn) * layout.file_bytes, bytes) == bytes;
    if (reader.Read(scratch.data(), bytes) != bytes) return false;
    BYTE* alphaRow = alpha ? alpha + static_cast<std::size_t>(fileRow) * GetWidth() : nullptr;
    for (DWORD k = 0; k < count; ++k)
        StorePixel(layout, row, alphaRow, firstColumn + k, scratch.data() + static_cast<std::size_t>(k) * layout.file_bytes);
    return true;
}

bool CRasterTGA::DecodeRleRow(CodecByteReader& reader, const PixelLayout& layout, DWORD targetRow, DWORD fileRow,
                              RlePacket& packet, std::vector<BYTE>& scratch) {
    const DWORD width = GetWidth();
    BYTE* row = info.pixels + static_cast<std::size_t>(targetRow) * info.row_stride;
    BYTE* alphaRow = alpha ? alpha + static_cast<std::size_t>(fileRow) * width : nullptr;
    DWORD x = 0;
    while (x < width) {
        if (packet.remaining == 0) {
            const int h = reader.Next();
            if (h < 0) return false;
            packet.run = (h & 0x80) != 0;
            packet.remaining = static_cast<DWORD>(h & 0x7F) + 1;
            if (packet.run && reader.Read(packet.value, layout.file_bytes) != layout.file_bytes) return false;
        }
        // A packet crossing the row end goes on in the next row, run value and all.
        const DWORD n = std::min(packet.remaining, width - x);
        if (packet.run) {
            for (DWORD k = 0; k < n; ++k) StorePixel(layout, row, alphaRow, x + k, packet.value);
        } else if (!ReadRawPixels(reader, layout, targetRow, n, x, fileRow, scratch)) {
            return false;
        }
        x += n;
        packet.remaining -= n;
    }
    return true;
}

bool CRasterTGA::Encode(CRasterFile* file) {
    if (CannotEncode(file)) return false;
    const char* failure = RunCatching([&] { return EncodeBody(file); }, kWriteError, kWriteError);
    if (failure) SetLastError(failure);
    return !failure;
}

const char* CRasterTGA::EncodeBody(CRasterFile* file) {
    const DWORD bits = GetBpp();
    if (bits < 8) return kBadDepth;
    const DWORD width = GetWidth();
    const DWORD height = GetHeight();
    if (width > kMaxDimension || height > kMaxDimension) return kTooLarge;
    const bool paletted = bits == 8;
    const bool withAlpha = !paletted && HasAlpha();

    BYTE h[kHeaderBytes] = {};
    h[1] = paletted ? 1 : 0;
    h[2] = paletted ? 1 : 2;
    if (paletted) {
        Put16(h + 5, kMaxColorMapEntries);
        h[7] = 24;
    }
    Put16(h + 12, width);
    Put16(h + 14, height);
    h[16] = static_cast<BYTE>(paletted ? 8 : withAlpha ? 32 : 24);
    if (!WriteAll(file, h, sizeof(h))) return kWriteError;

    if (paletted) {
        BYTE map[kMaxColorMapEntries * 3];
        for (DWORD i = 0; i < kMaxColorMapEntries; ++i) {
            const RGBQUAD c = GetPaletteColor(static_cast<BYTE>(i));
            map[i * 3] = c.rgbBlue;
            map[i * 3 + 1] = c.rgbGreen;
            map[i * 3 + 2] = c.rgbRed;
        }
        if (!WriteAll(file, map, sizeof(map))) return kWriteError;
    }

    if (withAlpha) return WriteRowsWithAlpha(file, *this) ? nullptr : kWriteError;
    // Rows without their padding.
    const std::size_t rowBytes = static_cast<std::size_t>(width) * (paletted ? 1 : 3);
    for (DWORD y = 0; y < height; ++y)
        if (!WriteAll(file, info.pixels + static_cast<std::size_t>(y) * info.row_stride, rowBytes)) return kWriteError;
    return nullptr;
}
