#include "core/format_helpers.h"

#include <atomic>
#include <bit>

#include "platform/win32/com.h"
#include "platform/win32/text.h"

namespace {

struct FormatInfo {
    D3DFORMAT format;
    std::uint32_t bitsPerPixel;
    const char16_t* name;
    // Bits of one colour channel, of alpha, of stencil and of depth; 0 for none.
    std::int8_t colorBits;
    std::int8_t alphaBits;
    std::int8_t stencilBits;
    std::int8_t depthBits;
};

#define LUMI_FORMAT(name, bits, color, alpha, stencil, depth) \
    {D3DFMT_##name, bits, u"D3DFMT_" #name, color, alpha, stencil, depth}

// Every format the renderer names, sizes or chooses between, with its bits per pixel and per
// colour channel, alpha, stencil and depth; VERTEXDATA is named but has no pixels.
constexpr FormatInfo kFormats[] = {
    LUMI_FORMAT(A32B32G32R32F, 128, 0, 0, 0, 0),
    LUMI_FORMAT(A16B16G16R16, 64, 16, 16, 0, 0),
    LUMI_FORMAT(Q16W16V16U16, 64, 0, 0, 0, 0),
    LUMI_FORMAT(A16B16G16R16F, 64, 0, 0, 0, 0),
    LUMI_FORMAT(G32R32F, 64, 0, 0, 0, 0),
    LUMI_FORMAT(A8R8G8B8, 32, 8, 8, 0, 0),
    LUMI_FORMAT(X8R8G8B8, 32, 8, 0, 0, 0),
    LUMI_FORMAT(A2B10G10R10, 32, 10, 2, 0, 0),
    LUMI_FORMAT(A8B8G8R8, 32, 8, 8, 0, 0),
    LUMI_FORMAT(X8B8G8R8, 32, 0, 0, 0, 0),
    LUMI_FORMAT(G16R16, 32, 0, 0, 0, 0),
    LUMI_FORMAT(A2R10G10B10, 32, 10, 2, 0, 0),
    LUMI_FORMAT(X8L8V8U8, 32, 0, 0, 0, 0),
    LUMI_FORMAT(Q8W8V8U8, 32, 0, 0, 0, 0),
    LUMI_FORMAT(V16U16, 32, 0, 0, 0, 0),
    LUMI_FORMAT(A2W10V10U10, 32, 0, 0, 0, 0),
    LUMI_FORMAT(D32, 32, 0, 0, 0, 32),
    LUMI_FORMAT(D24S8, 32, 0, 0, 8, 24),
    LUMI_FORMAT(D24X8, 32, 0, 0, 0, 24),
    LUMI_FORMAT(D24X4S4, 32, 0, 0, 4, 24),
    LUMI_FORMAT(D32F_LOCKABLE, 32, 0, 0, 0, 32),
    LUMI_FORMAT(D24FS8, 32, 0, 0, 8, 24),
    LUMI_FORMAT(INDEX32, 32, 0, 0, 0, 0),
    LUMI_FORMAT(G16R16F, 32, 0, 0, 0, 0),
    LUMI_FORMAT(R32F, 32, 0, 0, 0, 0),
    LUMI_FORMAT(R8G8B8, 24, 8, 0, 0, 0),
    LUMI_FORMAT(R5G6B5, 16, 5, 0, 0, 0),
    LUMI_FORMAT(X1R5G5B5, 16, 5, 0, 0, 0),
    LUMI_FORMAT(A1R5G5B5, 16, 5, 1, 0, 0),
    LUMI_FORMAT(A4R4G4B4, 16, 4, 4, 0, 0),
    LUMI_FORMAT(A8R3G3B2, 16, 2, 8, 0, 0),
    LUMI_FORMAT(X4R4G4B4, 16, 4, 0, 0, 0),
    LUMI_FORMAT(A8P8, 16, 0, 0, 0, 0),
    LUMI_FORMAT(A8L8, 16, 0, 0, 0, 0),
    LUMI_FORMAT(V8U8, 16, 0, 0, 0, 0),
    LUMI_FORMAT(L6V5U5, 16, 0, 0, 0, 0),
    LUMI_FORMAT(D16_LOCKABLE, 16, 0, 0, 0, 16),
    LUMI_FORMAT(D15S1, 16, 0, 0, 1, 15),
    LUMI_FORMAT(D16, 16, 0, 0, 0, 16),
    LUMI_FORMAT(L16, 16, 0, 0, 0, 0),
    LUMI_FORMAT(INDEX16, 16, 0, 0, 0, 0),
    LUMI_FORMAT(R16F, 16, 0, 0, 0, 0),
    LUMI_FORMAT(CxV8U8, 16, 0, 0, 0, 0),
    LUMI_FORMAT(R3G3B2, 8, 2, 0, 0, 0),
    LUMI_FORMAT(A8, 8, 0, 0, 0, 0),
    LUMI_FORMAT(P8, 8, 0, 0, 0, 0),
    LUMI_FORMAT(L8, 8, 0, 0, 0, 0),
    LUMI_FORMAT(A4L4, 8, 0, 0, 0, 0),
    LUMI_FORMAT(DXT1, 8, 0, 0, 0, 0),
    LUMI_FORMAT(DXT2, 8, 0, 0, 0, 0),
    LUMI_FORMAT(DXT3, 8, 0, 0, 0, 0),
    LUMI_FORMAT(DXT4, 8, 0, 0, 0, 0),
    LUMI_FORMAT(DXT5, 8, 0, 0, 0, 0),
    LUMI_FORMAT(VERTEXDATA, 0, 0, 0, 0, 0),
};

#undef LUMI_FORMAT

const FormatInfo* FindFormat(D3DFORMAT format) {
    for (const FormatInfo& info : kFormats) {
        if (info.format == format) return &info;
    }
    return nullptr;
}

// The field of the format's row; 0 for a format the table does not hold.
template <class T>
T FieldOf(D3DFORMAT format, T FormatInfo::*field) {
    const FormatInfo* info = FindFormat(format);
    return info ? info->*field : T{};
}

}  // namespace

std::uint32_t FormatBitsPerPixel(D3DFORMAT format) { return FieldOf(format, &FormatInfo::bitsPerPixel); }

std::int32_t GetColorChannelBits(D3DFORMAT format) { return FieldOf(format, &FormatInfo::colorBits); }

std::int32_t GetAlphaChannelBits(D3DFORMAT format) { return FieldOf(format, &FormatInfo::alphaBits); }

std::int32_t GetStencilBits(D3DFORMAT format) { return FieldOf(format, &FormatInfo::stencilBits); }

std::int32_t GetDepthBits(D3DFORMAT format) { return FieldOf(format, &FormatInfo::depthBits); }

const char16_t* FormatName(D3DFORMAT format) {
    const FormatInfo* info = FindFormat(format);
    return info ? info->name : u"D3DFMT_UNKNOWN";
}

const char16_t* DevTypeName(D3DDEVTYPE type) {
    switch (type) {
        case D3DDEVTYPE_HAL:
            return u"D3DDEVTYPE_HAL";
        case D3DDEVTYPE_REF:
            return u"D3DDEVTYPE_REF";
        case D3DDEVTYPE_SW:
        case D3DDEVTYPE_NULLREF:
            return u"D3DDEVTYPE_SW";
        default:
            return u"D3DDEVTYPE_UNKNOWN";
    }
}

const char16_t* MultiSampleTypeName(D3DMULTISAMPLE_TYPE type) {
    static constexpr const char16_t* kNames[] = {
        u"D3DMULTISAMPLE_NONE",       u"D3DMULTISAMPLE_NONMASKABLE", u"D3DMULTISAMPLE_2_SAMPLES",
        u"D3DMULTISAMPLE_3_SAMPLES",  u"D3DMULTISAMPLE_4_SAMPLES",   u"D3DMULTISAMPLE_5_SAMPLES",
        u"D3DMULTISAMPLE_6_SAMPLES",  u"D3DMULTISAMPLE_7_SAMPLES",   u"D3DMULTISAMPLE_8_SAMPLES",
        u"D3DMULTISAMPLE_9_SAMPLES",  u"D3DMULTISAMPLE_10_SAMPLES",  u"D3DMULTISAMPLE_11_SAMPLES",
        u"D3DMULTISAMPLE_12_SAMPLES", u"D3DMULTISAMPLE_13_SAMPLES",  u"D3DMULTISAMPLE_14_SAMPLES",
        u"D3DMULTISAMPLE_15_SAMPLES", u"D3DMULTISAMPLE_16_SAMPLES",
    };
    const auto index = static_cast<std::uint32_t>(type);
    return index < std::size(kNames) ? kNames[index] : u"D3DMULTISAMPLE_UNKNOWN";
}

D3DXIMAGE_FILEFORMAT SaveFileFormatOf(const char16_t* path, SaveFormats formats) {
    const char16_t* dot = nullptr;
    for (const char16_t* at = path; *at != u'\0'; ++at) {
        if (*at == u'.') dot = at;
    }
    if (dot == nullptr) return D3DXIFF_BMP;
    auto named = [extension = dot + 1](const char16_t* name) { return _wcsicmp(extension, name) == 0; };
    if (named(u"jpg")) return D3DXIFF_JPG;
    if (named(u"png")) return D3DXIFF_PNG;
    if (named(u"tga")) return D3DXIFF_TGA;
    if (formats != SaveFormats::kBasic && named(u"dds")) return D3DXIFF_DDS;
    if (formats == SaveFormats::kWithDdsAndDib && named(u"dib")) return D3DXIFF_DIB;
    return D3DXIFF_BMP;
}

void NormalizePath(char16_t* path) {
    if (path == nullptr) return;
    for (; *path != u'\0'; ++path) {
        if (*path == u'\\') {
            *path = u'/';
        } else if (*path >= u'a' && *path <= u'z') {
            *path = static_cast<char16_t>(*path - u'a' + u'A');
        }
    }
}

int CompareWide(const char16_t* a, const char16_t* b) {
    if (a == nullptr) a = u"";
    if (b == nullptr) b = u"";
    // char16_t is unsigned, so the units compare as unsigned 16-bit values.
    while (*a == *b && *a != u'\0') {
        ++a;
        ++b;
    }
    if (*a == *b) return 0;
    return *b > *a ? 1 : -1;
}

std::u16string MakeUniqueName(const char16_t* prefix) {
    GUID guid{};
    if (FAILED(CoCreateGuid(&guid))) {
        // Names are map keys: without a system GUID, a process-wide serial keeps them unique.
        static std::atomic<std::uint64_t> serial{0};
        const std::uint64_t value = ++serial;
        for (int i = 0; i < 8; ++i) guid.Data4[7 - i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    char16_t text[64] = {};
    StringFromGUID2(guid, text, 64);
    std::u16string name = prefix ? prefix : u"";
    name += text;
    return name;
}

std::uint32_t NextPowerOfTwo(std::uint32_t n) {
    if (n <= 2) return 2;
    if (n > (1u << 31)) return 0;
    return std::bit_ceil(n);
}
