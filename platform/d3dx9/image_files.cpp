#include "platform/d3dx9/image_files.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "platform/d3dx9/dds.h"
#include "platform/d3dx9/surface_copy.h"
#include "platform/win32/files.h"

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#endif
#include <stb_image.h>
#include <stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace d3dx {
namespace {

constexpr std::size_t kMaxFileBytes = std::size_t{1} << 30;

enum class FileType { Unknown, Bmp, Jpg, Tga, Png, Dds, Ppm, Hdr };

bool StartsWith(const std::uint8_t* data, std::size_t size, const char* prefix) {
    const std::size_t length = std::strlen(prefix);
    return size >= length && std::memcmp(data, prefix, length) == 0;
}

FileType Recognise(const std::uint8_t* data, std::size_t size) {
    if (LooksLikeDds(data, size)) return FileType::Dds;
    if (StartsWith(data, size, "\x89PNG\r\n\x1a\n")) return FileType::Png;
    if (StartsWith(data, size, "\xff\xd8\xff")) return FileType::Jpg;
    if (StartsWith(data, size, "BM")) return FileType::Bmp;
    if (StartsWith(data, size, "P5") || StartsWith(data, size, "P6")) return FileType::Ppm;
    if (StartsWith(data, size, "#?RADIANCE") || StartsWith(data, size, "#?RGBE")) return FileType::Hdr;
    // TGA has no signature: its header is checked instead.
    return size >= 18 ? FileType::Tga : FileType::Unknown;
}

std::uint32_t Little(const std::uint8_t* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

// stb pads a short BMP with zeros; the pixel rows must all be there.
bool BmpIsWhole(const std::uint8_t* data, std::size_t size) {
    if (size < 14 + 16) return false;
    const std::uint64_t offset = Little(data + 10, 4);
    const std::uint32_t headerSize = Little(data + 14, 4);
    std::int64_t width = 0, height = 0;
    std::uint32_t bits = 0, compression = 0;
    if (headerSize == 12) {
        width = Little(data + 18, 2);
        height = Little(data + 20, 2);
        bits = Little(data + 24, 2);
    } else {
        if (size < 14 + 20) return false;
        width = static_cast<std::int32_t>(Little(data + 18, 4));
        height = static_cast<std::int32_t>(Little(data + 22, 4));
        bits = Little(data + 28, 2);
        compression = Little(data + 30, 4);
    }
    if (height < 0) height = -height;
    if (width <= 0 || height == 0 || width > kMaxImageDimension || height > kMaxImageDimension) return false;
    if (compression == 1 || compression == 2) return true;  // RLE: stb refuses it itself
    const std::uint64_t stride = ((static_cast<std::uint64_t>(width) * bits + 31) / 32) * 4;
    return offset + stride * static_cast<std::uint64_t>(height) <= size;
}

// Uncompressed pixels must all be present; RLE packets are walked to the last pixel.
bool TgaIsWhole(const std::uint8_t* data, std::size_t size) {
    const unsigned idLength = data[0], mapType = data[1], type = data[2];
    const unsigned mapLength = Little(data + 5, 2), mapEntryBits = data[7];
    const std::uint64_t width = Little(data + 12, 2), height = Little(data + 14, 2);
    const unsigned pixelBytes = (data[16] + 7u) / 8u;
    if (width == 0 || height == 0 || pixelBytes == 0 || pixelBytes > 4) return false;
    if (mapType > 1) return false;
    std::uint64_t position = 18 + idLength + (mapType ? mapLength * ((mapEntryBits + 7u) / 8u) : 0);
    const std::uint64_t pixels = width * height;
    if (type == 1 || type == 2 || type == 3) return position + pixels * pixelBytes <= size;
    if (type != 9 && type != 10 && type != 11) return false;
    for (std::uint64_t done = 0; done < pixels;) {
        if (position >= size) return false;
        const unsigned packet = data[position++];
        const unsigned count = (packet & 0x7f) + 1u;
        position += (packet & 0x80) ? pixelBytes : static_cast<std::uint64_t>(count) * pixelBytes;
        done += count;
    }
    return position <= size;
}

// stb fills a short Radiance file with zeros: walk its scanlines (flat or run-length) to the end.
bool HdrIsWhole(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t* end = data + size;
    const std::uint8_t* at = data;
    for (bool blank = false; !blank;) {  // header lines up to an empty one
        const std::uint8_t* newline = std::find(at, end, '\n');
        if (newline == end) return false;
        blank = newline == at;
        at = newline + 1;
    }
    const std::uint8_t* newline = std::find(at, end, '\n');
    if (newline == end) return false;
    unsigned long height = 0, width = 0;
    const std::string resolution(at, newline);
    if (std::sscanf(resolution.c_str(), "-Y %lu +X %lu", &height, &width) != 2) return false;
    if (width == 0 || height == 0 || width > kMaxImageDimension || height > kMaxImageDimension) return false;
    at = newline + 1;
    for (unsigned long row = 0; row < height; ++row) {
        const bool runLength = width >= 8 && width < 32768 && end - at >= 4 && at[0] == 2 && at[1] == 2 && !(at[2] & 0x80);
        if (!runLength) {
            if (static_cast<std::size_t>(end - at) < width * 4) return false;
            at += width * 4;
            continue;
        }
        at += 4;
        for (int component = 0; component < 4; ++component) {
            for (unsigned long done = 0; done < width;) {
                if (at >= end) return false;
                const unsigned count = *at++;
                if (count > 128) {
                    done += count - 128;
                    at += 1;
                } else {
                    if (count == 0) return false;
                    done += count;
                    at += count;
                }
                if (at > end) return false;
            }
        }
    }
    return true;
}

// stb reads a short PNM as zeros: the header's size must be backed by pixel bytes.
bool PnmIsWhole(const std::uint8_t* data, std::size_t size) {
    std::size_t at = 2;
    std::uint64_t fields[3] = {};  // width, height, maximum value
    for (std::uint64_t& field : fields) {
        for (;;) {  // white space and comments
            while (at < size && std::isspace(data[at])) ++at;
            if (at < size && data[at] == '#') {
                while (at < size && data[at] != '\n') ++at;
                continue;
            }
            break;
        }
        if (at >= size || !std::isdigit(data[at])) return false;
        while (at < size && std::isdigit(data[at]) && field <= kMaxImageDimension * 16ull) field = field * 10 + (data[at++] - '0');
    }
    if (at >= size || !std::isspace(data[at])) return false;
    ++at;  // the single white-space character before the pixels
    if (fields[0] == 0 || fields[1] == 0 || fields[0] > kMaxImageDimension || fields[1] > kMaxImageDimension) return false;
    // 16-bit samples are not read: stb converts them through a buffer sized for 8 bits.
    if (fields[2] == 0 || fields[2] > 255) return false;
    const std::uint64_t samples = fields[0] * fields[1] * (data[1] == '6' ? 3 : 1);
    return at + samples <= size;
}

std::uint32_t Big16(const std::uint8_t* p) { return static_cast<std::uint32_t>(p[0]) << 8 | p[1]; }

// A Huffman table segment: each table's class and slot in range, and no more codes than the
// 256 symbols a table holds (stb fills its tables from the counts without looking). The
// tables defined are marked in `defined` [class][slot].
bool ReadHuffmanTables(const std::uint8_t* data, std::size_t size, bool defined[2][4]) {
    std::size_t at = 0;
    while (at < size) {
        if (size - at < 17) return false;
        const unsigned tableClass = data[at] >> 4, slot = data[at] & 15;
        if (tableClass > 1 || slot > 3) return false;
        std::size_t codes = 0;
        for (int i = 1; i <= 16; ++i) codes += data[at + i];
        if (codes > 256 || size - at - 17 < codes) return false;
        defined[tableClass][slot] = true;
        at += 17 + codes;
    }
    return true;
}

// A start of scan whose components use only Huffman tables defined before it (stb searches an
// undefined table's codes past its end): DC tables for a first DC scan, AC tables for any
// scan of AC coefficients.
bool ScanTablesDefined(const std::uint8_t* data, std::size_t size, const bool defined[2][4]) {
    if (size < 1) return false;
    const std::size_t components = data[0];
    if (components == 0 || components > 4 || size < 1 + 2 * components + 3) return false;
    const std::uint8_t* ends = data + 1 + 2 * components;  // first and last coefficient, approximation
    const bool dc = ends[0] == 0 && (ends[2] >> 4) == 0;
    const bool ac = ends[1] > 0;
    for (std::size_t i = 0; i < components; ++i) {
        const unsigned tables = data[2 + 2 * i];
        if ((tables >> 4) > 3 || (tables & 15) > 3) return false;
        if ((dc && !defined[0][tables >> 4]) || (ac && !defined[1][tables & 15])) return false;
    }
    return true;
}

// Walks a PNG's chunks from the signature to IEND, each inside the data. An empty first IDAT
// is refused: stb copies its nothing from a buffer it has not made yet.
bool PngIsWhole(const std::uint8_t* data, std::size_t size) {
    std::size_t at = 8;
    bool imageData = false;
    while (size - at >= 12) {
        const std::uint64_t length = static_cast<std::uint64_t>(Big16(data + at)) << 16 | Big16(data + at + 2);
        const std::uint8_t* type = data + at + 4;
        if (length > size - at - 12) return false;
        if (std::memcmp(type, "IEND", 4) == 0) return true;
        if (std::memcmp(type, "IDAT", 4) == 0) {
            if (length == 0 && !imageData) return false;
            imageData = true;
        }
        at += 12 + static_cast<std::size_t>(length);
    }
    return false;
}

// Walks a JPEG's marker segments from the start of image to its end: every segment lies
// inside the data, every Huffman table is valid and every scan's tables are defined. The
// entropy-coded data after a start of scan runs to the next marker that is neither a stuffed
// 0xFF nor a restart marker.
bool JpgIsWhole(const std::uint8_t* data, std::size_t size) {
    bool defined[2][4] = {};
    std::size_t at = 2;  // after the start of image
    while (at + 2 <= size) {
        if (data[at] != 0xFF) return false;
        const std::uint8_t marker = data[at + 1];
        at += marker == 0xFF ? 1 : 2;  // fill bytes before a marker
        if (marker == 0xFF) continue;
        if (marker == 0xD9) return true;
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) continue;  // no length
        if (size - at < 2) return false;
        const std::size_t length = Big16(data + at);
        if (length < 2 || size - at < length) return false;
        if (marker == 0xC4 && !ReadHuffmanTables(data + at + 2, length - 2, defined)) return false;
        if (marker == 0xDA && !ScanTablesDefined(data + at + 2, length - 2, defined)) return false;
        at += length;
        if (marker != 0xDA) continue;
        while (at + 1 < size &&
               !(data[at] == 0xFF && data[at + 1] != 0 && data[at + 1] != 0xFF && (data[at + 1] & 0xF8) != 0xD0))
            ++at;
    }
    return false;
}

// stb decodes short JPEG and PNG streams without complaint in places; their end markers must be
// there, and a JPEG's segments must hold what they claim.
bool IsWhole(FileType type, const std::uint8_t* data, std::size_t size) {
    switch (type) {
    case FileType::Bmp: return BmpIsWhole(data, size);
    case FileType::Tga: return TgaIsWhole(data, size);
    case FileType::Jpg: return JpgIsWhole(data, size);
    case FileType::Png: return PngIsWhole(data, size);
    case FileType::Ppm: return PnmIsWhole(data, size);
    case FileType::Hdr: return HdrIsWhole(data, size);
    default: return true;
    }
}

D3DXIMAGE_FILEFORMAT FileFormatCode(FileType type) {
    switch (type) {
    case FileType::Bmp: return D3DXIFF_BMP;
    case FileType::Jpg: return D3DXIFF_JPG;
    case FileType::Tga: return D3DXIFF_TGA;
    case FileType::Png: return D3DXIFF_PNG;
    case FileType::Dds: return D3DXIFF_DDS;
    case FileType::Ppm: return D3DXIFF_PPM;
    case FileType::Hdr: return D3DXIFF_HDR;
    default: return D3DXIFF_BMP;
    }
}

// The colour masks of a BMP (red, green, blue, alpha), from its header or the bit fields after a
// 40-byte header; zero when it has none.
void BmpMasks(const std::uint8_t* data, std::size_t size, std::uint32_t masks[4]) {
    masks[0] = masks[1] = masks[2] = masks[3] = 0;
    const std::uint32_t headerSize = Little(data + 14, 4);
    if (headerSize < 40 || Little(data + 30, 4) != 3 /* BI_BITFIELDS */) {
        // A V4 or V5 header names its alpha mask whatever the compression.
        if (headerSize >= 108 && size >= 70) masks[3] = Little(data + 66, 4);
        return;
    }
    const int count = headerSize >= 56 ? 4 : 3;
    if (size < 54 + 4u * count) return;
    for (int i = 0; i < count; ++i) masks[i] = Little(data + 54 + 4 * i, 4);
}

D3DFORMAT BmpFormat(const std::uint8_t* data, std::size_t size) {
    const std::uint32_t bits = Little(data + 14, 4) == 12 ? Little(data + 24, 2) : Little(data + 28, 2);
    std::uint32_t masks[4];
    BmpMasks(data, size, masks);
    switch (bits) {
    case 16:
        if (masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F) return D3DFMT_R5G6B5;
        if (masks[0] == 0x0F00 && masks[1] == 0x00F0 && masks[2] == 0x000F)
            return masks[3] != 0 ? D3DFMT_A4R4G4B4 : D3DFMT_X4R4G4B4;
        return masks[3] != 0 ? D3DFMT_A1R5G5B5 : D3DFMT_X1R5G5B5;
    case 24: return D3DFMT_R8G8B8;
    case 32: return masks[3] != 0 ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    default: return D3DFMT_P8;  // 1, 4 and 8 bits: colour tables
    }
}

D3DFORMAT TgaFormat(const std::uint8_t* data) {
    const unsigned type = data[2] & 7u, bits = data[16], alphaBits = data[17] & 0xFu;
    if (type == 1) return D3DFMT_P8;
    if (type == 3) return bits == 16 ? D3DFMT_A8L8 : D3DFMT_L8;
    if (bits == 15 || bits == 16) return alphaBits != 0 ? D3DFMT_A1R5G5B5 : D3DFMT_X1R5G5B5;
    if (bits == 24) return D3DFMT_R8G8B8;
    return alphaBits != 0 ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
}

D3DFORMAT PngFormat(const std::uint8_t* data) {
    const unsigned depth = data[24], colour = data[25];
    switch (colour) {
    case 0: return depth == 16 ? D3DFMT_L16 : D3DFMT_L8;
    case 2: return depth == 16 ? D3DFMT_A16B16G16R16 : D3DFMT_R8G8B8;
    case 3: return D3DFMT_P8;
    case 4: return depth == 16 ? D3DFMT_A16B16G16R16 : D3DFMT_A8L8;
    default: return depth == 16 ? D3DFMT_A16B16G16R16 : D3DFMT_A8R8G8B8;
    }
}

// The format that holds the file's pixels as the file stores them, as D3DX reports it: 24-bit
// colour is R8G8B8, colour tables P8, JPEG colour X8R8G8B8.
D3DFORMAT StoredFormat(FileType type, const std::uint8_t* data, std::size_t size, int channels) {
    switch (type) {
    case FileType::Bmp: return BmpFormat(data, size);
    case FileType::Tga: return TgaFormat(data);
    case FileType::Png: return PngFormat(data);
    case FileType::Jpg: return channels == 1 ? D3DFMT_L8 : D3DFMT_X8R8G8B8;
    case FileType::Ppm: return data[1] == '5' ? D3DFMT_L8 : D3DFMT_R8G8B8;
    default: return D3DFMT_A32B32G32R32F;  // Radiance HDR
    }
}

HRESULT ReadStbInfo(FileType type, const std::uint8_t* data, std::size_t size, D3DXIMAGE_INFO* info) {
    if (type == FileType::Unknown || size > static_cast<std::size_t>(INT_MAX) || !IsWhole(type, data, size))
        return D3DXERR_INVALIDDATA;
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(data, static_cast<int>(size), &width, &height, &channels)) return D3DXERR_INVALIDDATA;
    if (width <= 0 || height <= 0 || width > static_cast<int>(kMaxImageDimension) ||
        height > static_cast<int>(kMaxImageDimension))
        return D3DXERR_INVALIDDATA;
    *info = {static_cast<UINT>(width), static_cast<UINT>(height), 1, 1, StoredFormat(type, data, size, channels),
             D3DRTYPE_TEXTURE, FileFormatCode(type)};
    return D3D_OK;
}

void AppendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(context);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

// The surface's pixels as R, G, B(, A) bytes, row-major.
std::vector<std::uint8_t> ToBytes(const d3d9sw::SurfaceView& argb, int channels) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(argb.width) * argb.height * channels);
    std::size_t at = 0;
    for (int y = 0; y < argb.height; ++y) {
        for (int x = 0; x < argb.width; ++x) {
            const std::uint32_t p = d3d9sw::ReadPixel(argb, x, y);
            bytes[at++] = static_cast<std::uint8_t>(p >> 16);
            bytes[at++] = static_cast<std::uint8_t>(p >> 8);
            bytes[at++] = static_cast<std::uint8_t>(p);
            if (channels == 4) bytes[at++] = static_cast<std::uint8_t>(p >> 24);
        }
    }
    return bytes;
}

HRESULT EncodeColour(D3DXIMAGE_FILEFORMAT format, const d3d9sw::SurfaceView& argb, bool alpha,
                     std::vector<std::uint8_t>* out) {
    const int channels =
        alpha && format != D3DXIFF_JPG && format != D3DXIFF_PPM && format != D3DXIFF_HDR && format != D3DXIFF_PFM ? 4 : 3;
    const std::vector<std::uint8_t> bytes = ToBytes(argb, channels);
    const int w = argb.width, h = argb.height;
    int written = 0;
    switch (format) {
    case D3DXIFF_BMP:
    case D3DXIFF_DIB: written = stbi_write_bmp_to_func(AppendBytes, out, w, h, channels, bytes.data()); break;
    case D3DXIFF_TGA: written = stbi_write_tga_to_func(AppendBytes, out, w, h, channels, bytes.data()); break;
    case D3DXIFF_PNG:
        written = stbi_write_png_to_func(AppendBytes, out, w, h, channels, bytes.data(), w * channels);
        break;
    case D3DXIFF_JPG: written = stbi_write_jpg_to_func(AppendBytes, out, w, h, channels, bytes.data(), 90); break;
    case D3DXIFF_HDR: {
        std::vector<float> linear(bytes.size());
        std::transform(bytes.begin(), bytes.end(), linear.begin(), [](std::uint8_t v) { return v / 255.0f; });
        written = stbi_write_hdr_to_func(AppendBytes, out, w, h, channels, linear.data());
        break;
    }
    case D3DXIFF_PPM: {
        const std::string header = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
        out->assign(header.begin(), header.end());
        out->insert(out->end(), bytes.begin(), bytes.end());
        written = 1;
        break;
    }
    case D3DXIFF_PFM: {
        // Portable float map: a negative scale for little-endian floats, rows from the bottom.
        const std::string header = "PF\n" + std::to_string(w) + " " + std::to_string(h) + "\n-1.0\n";
        out->assign(header.begin(), header.end());
        for (int y = h - 1; y >= 0; --y) {
            for (std::size_t i = 0; i < static_cast<std::size_t>(w) * 3; ++i) {
                const float value = bytes[static_cast<std::size_t>(y) * w * 3 + i] / 255.0f;
                const auto* raw = reinterpret_cast<const std::uint8_t*>(&value);
                out->insert(out->end(), raw, raw + sizeof value);
            }
        }
        written = 1;
        break;
    }
    default: return D3DERR_INVALIDCALL;
    }
    return written ? D3D_OK : E_FAIL;
}

}  // namespace

HRESULT ReadImageInfo(const std::uint8_t* data, std::size_t size, D3DXIMAGE_INFO* info) {
    if (data == nullptr || info == nullptr || size == 0) return D3DERR_INVALIDCALL;
    const FileType type = Recognise(data, size);
    if (type == FileType::Dds) return ReadDdsInfo(data, size, info);
    return ReadStbInfo(type, data, size, info);
}

HRESULT DecodeImage(const std::uint8_t* data, std::size_t size, ImageBuffer* image, D3DXIMAGE_INFO* info) {
    if (data == nullptr || image == nullptr || size == 0) return D3DERR_INVALIDCALL;
    const FileType type = Recognise(data, size);
    if (type == FileType::Dds) return DecodeDds(data, size, image, info);
    D3DXIMAGE_INFO header{};
    HRESULT hr = ReadStbInfo(type, data, size, &header);
    if (FAILED(hr)) return hr;
    if (!image->Allocate(D3DFMT_A8R8G8B8, header.Width, header.Height)) return E_OUTOFMEMORY;
    int width = 0, height = 0, channels = 0;
    const std::size_t count = static_cast<std::size_t>(header.Width) * header.Height;
    auto store = [&](std::size_t i, std::uint32_t argb) { std::memcpy(image->bits.data() + 4 * i, &argb, 4); };
    if (type == FileType::Hdr) {
        std::unique_ptr<float, void (*)(void*)> rgba(
            stbi_loadf_from_memory(data, static_cast<int>(size), &width, &height, &channels, 4), stbi_image_free);
        if (!rgba || width != static_cast<int>(header.Width) || height != static_cast<int>(header.Height))
            return D3DXERR_INVALIDDATA;
        auto channel = [](float v) { return static_cast<std::uint32_t>(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f); };
        for (std::size_t i = 0; i < count; ++i) {
            const float* p = rgba.get() + 4 * i;
            store(i, (channel(p[3]) << 24) | (channel(p[0]) << 16) | (channel(p[1]) << 8) | channel(p[2]));
        }
    } else {
        std::unique_ptr<stbi_uc, void (*)(void*)> rgba(
            stbi_load_from_memory(data, static_cast<int>(size), &width, &height, &channels, 4), stbi_image_free);
        if (!rgba || width != static_cast<int>(header.Width) || height != static_cast<int>(header.Height))
            return D3DXERR_INVALIDDATA;
        for (std::size_t i = 0; i < count; ++i) {
            const stbi_uc* p = rgba.get() + 4 * i;
            store(i, (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2]);
        }
    }
    if (info != nullptr) *info = header;
    return D3D_OK;
}

HRESULT EncodeSurface(D3DXIMAGE_FILEFORMAT format, const d3d9sw::SurfaceView& surface, const RECT* rect,
                      std::vector<std::uint8_t>* out) {
    if (out == nullptr || surface.bits == nullptr) return D3DERR_INVALIDCALL;
    const d3d9sw::FormatInfo info = d3d9sw::DescribeFormat(surface.format);
    if (!info.supported || info.depth) return D3DERR_INVALIDCALL;
    if (format != D3DXIFF_BMP && format != D3DXIFF_DIB && format != D3DXIFF_TGA && format != D3DXIFF_PNG &&
        format != D3DXIFF_JPG && format != D3DXIFF_DDS && format != D3DXIFF_PPM && format != D3DXIFF_HDR &&
        format != D3DXIFF_PFM)
        return D3DERR_INVALIDCALL;
    if (rect != nullptr && (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
                            rect->right > surface.width || rect->bottom > surface.height))
        return D3DERR_INVALIDCALL;
    const int width = rect ? rect->right - rect->left : surface.width;
    const int height = rect ? rect->bottom - rect->top : surface.height;
    if (width <= 0 || height <= 0) return D3DERR_INVALIDCALL;
    // DDS keeps the surface's format; every other type is written from 32-bit colour.
    ImageBuffer region;
    if (!region.Allocate(format == D3DXIFF_DDS ? surface.format : D3DFMT_A8R8G8B8, static_cast<unsigned>(width),
                         static_cast<unsigned>(height)))
        return E_OUTOFMEMORY;
    const HRESULT hr = CopySurfaceRect(region.View(), nullptr, surface, rect, D3DX_FILTER_NONE, 0);
    if (FAILED(hr)) return hr;
    out->clear();
    try {
        if (format == D3DXIFF_DDS) return EncodeDds({region.View()}, out);
        return EncodeColour(format, region.View(), info.hasAlpha, out);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT ReadWholeFile(LPCWSTR path, std::vector<std::uint8_t>* bytes) {
    if (path == nullptr || bytes == nullptr) return D3DERR_INVALIDCALL;
    std::unique_ptr<FILE, int (*)(FILE*)> file(_wfopen(path, u"rb"), std::fclose);
    if (!file) return D3DERR_INVALIDCALL;
    if (std::fseek(file.get(), 0, SEEK_END) != 0) return D3DERR_INVALIDCALL;
    const long length = std::ftell(file.get());
    if (length < 0 || static_cast<unsigned long>(length) > kMaxFileBytes) return D3DERR_INVALIDCALL;
    std::rewind(file.get());
    try {
        bytes->resize(static_cast<std::size_t>(length));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (length > 0 && std::fread(bytes->data(), 1, bytes->size(), file.get()) != bytes->size()) return D3DERR_INVALIDCALL;
    return D3D_OK;
}

HRESULT WriteWholeFile(LPCWSTR path, const std::vector<std::uint8_t>& bytes) {
    if (path == nullptr) return D3DERR_INVALIDCALL;
    FILE* file = _wfopen(path, u"wb");
    if (file == nullptr) return D3DERR_INVALIDCALL;
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    return written && closed ? D3D_OK : D3DERR_INVALIDCALL;
}

}  // namespace d3dx
