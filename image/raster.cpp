// CRaster: lifetime, creation, copies, views and settings.
#include "image/raster.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "image/checked_size.h"
#include "image/resolution.h"

namespace {

constexpr float kDefaultQuality = 75.0f;
constexpr LONG kDefaultDpi = 96;

// Stores a resolution (0 or less: the default) in dpiField, and its pixels per metre in the
// header's field and in the image block's copy of the header.
LONG StoreDpi(LONG dpi, LONG& dpiField, BITMAPINFOHEADER& header, BYTE* dib, LONG BITMAPINFOHEADER::*ppmField) {
    if (dpi <= 0) dpi = kDefaultDpi;
    dpiField = dpi;
    header.*ppmField = lumi::image::PixelsPerMetre(dpi);
    if (dib) reinterpret_cast<BITMAPINFOHEADER*>(dib)->*ppmField = header.*ppmField;
    return dpi;
}

}  // namespace

// ---- lifetime -----------------------------------------------------------------------

CRaster::CRaster() { ResetToDefaults(0); }

CRaster::CRaster(DWORD type) { ResetToDefaults(type); }

CRaster::CRaster(DWORD width, DWORD height, DWORD bpp, DWORD type) {
    ResetToDefaults(type);
    Create(width, height, bpp, type);
}

CRaster::CRaster(const CRaster& source, bool copySelection, bool copyAlpha) {
    ResetToDefaults(source.info.type);
    Copy(source, true, copySelection, copyAlpha);
}

CRaster& CRaster::operator=(const CRaster& source) {
    if (this != &source) Copy(source, true, true, true);
    return *this;
}

CRaster::~CRaster() {
    DestroyFrames();
    Destroy();
}

void CRaster::ResetToDefaults(DWORD type) {
    dib = nullptr;
    selection = nullptr;
    alpha = nullptr;
    layers = nullptr;
    frames = nullptr;
    std::memset(&header, 0, sizeof(header));
    std::memset(&info, 0, sizeof(info));
    info.quality = kDefaultQuality;
    info.type = type;
    info.alpha_max = 255;
    info.background_index = -1;
    info.enabled = true;
    info.little_endian_host = true;
    SetDpiX(kDefaultDpi);
    SetDpiY(kDefaultDpi);
}

void CRaster::SetLastError(const char* message) {
    if (!message) message = "";
    std::strncpy(info.last_error, message, sizeof(info.last_error) - 1);
    info.last_error[sizeof(info.last_error) - 1] = '\0';
}

BYTE* CRaster::Create(DWORD width, DWORD height, DWORD bpp, DWORD type) {
    return CreateBlock(width, height, bpp, type, true);
}

BYTE* CRaster::CreateForDecoder(DWORD width, DWORD height, DWORD bpp, DWORD type) {
    return CreateBlock(width, height, bpp, type, false);
}

BYTE* CRaster::CreateBlock(DWORD width, DWORD height, DWORD bpp, DWORD type, bool clearPixels) {
    if (!Destroy()) return nullptr;
    if (width == 0 || height == 0) {
        SetLastError("CRaster::Create : width and height must be greater than zero");
        return nullptr;
    }
    const WORD bits = lumi::image::RoundBits(bpp);
    // Sizes in 64 bits: 32-bit products wrap for large images and would under-allocate.
    const auto imageBytes = lumi::image::ImageBytes(width, height, bits);
    if (width > INT32_MAX || height > INT32_MAX || !imageBytes) {
        SetLastError("RASTER_MAX_MEMORY exceeded");
        return nullptr;
    }
    const DWORD colors = bits == 24 ? 0u : (1u << bits);
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = static_cast<LONG>(width);
    header.biHeight = static_cast<LONG>(height);
    header.biPlanes = 1;
    header.biBitCount = bits;
    header.biCompression = 0;
    header.biSizeImage = static_cast<DWORD>(*imageBytes);
    header.biClrUsed = colors;
    if (header.biClrImportant > colors) header.biClrImportant = 0;
    info.row_stride = static_cast<DWORD>(*lumi::image::RowStride(width, bits));
    info.type = type;

    // Zeroed, so that no caller ever reads stale heap bytes; a decoder that writes every
    // pixel has only the palette and the row padding cleared.
    dib = static_cast<BYTE*>(clearPixels ? std::calloc(GetSize(), 1) : std::malloc(GetSize()));
    if (!dib) {
        SetLastError("CRaster::Create can't allocate memory");
        return nullptr;
    }
    std::memcpy(dib, &header, sizeof(header));
    info.pixels = dib + sizeof(header) + colors * sizeof(RGBQUAD);
    if (!clearPixels) {
        std::memset(dib + sizeof(header), 0, colors * sizeof(RGBQUAD));
        const std::size_t used = (static_cast<std::size_t>(width) * bits + 7) / 8;
        if (used < info.row_stride)
            for (DWORD y = 0; y < height; ++y)
                std::memset(info.pixels + static_cast<std::size_t>(y) * info.row_stride + used, 0, info.row_stride - used);
    }
    InvalidateNearestCache();
    return dib;
}

void CRaster::ReleaseLayers() {
    if (layers) {
        for (LONG i = 0; i < info.layer_count; ++i) delete layers[i];
        delete[] layers;
        layers = nullptr;
    }
    info.layer_count = 0;
}

bool CRaster::Destroy() {
    if (info.shared_owner) return false;
    ReleaseLayers();
    std::free(selection);
    selection = nullptr;
    ResetSelectionBox();
    std::free(alpha);
    alpha = nullptr;
    std::free(dib);
    dib = nullptr;
    info.pixels = nullptr;
    info.row_stride = 0;
    header.biWidth = 0;
    header.biHeight = 0;
    header.biBitCount = 0;
    header.biSizeImage = 0;
    header.biClrUsed = 0;
    header.biClrImportant = 0;
    InvalidateNearestCache();
    return true;
}

bool CRaster::DestroyFrames() {
    if (info.shared_owner) return false;
    if (!frames) return true;
    for (LONG i = 0; i < info.frame_count; ++i) delete frames[i];
    delete[] frames;
    frames = nullptr;
    info.frame_count = 0;
    return true;
}

// ---- copy, transfer, views ------------------------------------------------------------

void CRaster::Copy(const CRaster& source, bool copyPixels, bool copySelection, bool copyAlpha) {
    if (&source == this) return;
    if (source.info.shared_owner) {
        ShareFrom(const_cast<CRaster&>(source));
        return;
    }
    if (info.shared_owner) {
        // A view owns nothing: it simply lets go of the shared buffers and becomes a copy.
        const DWORD type = info.type;
        CRaster* parent = info.parent;
        ResetToDefaults(type);
        info.parent = parent;
    }
    // Layers go first, with this image's own count; frames are not copied, so this image
    // keeps its own frame array and count.
    Destroy();
    CRaster** ownFrames = frames;
    const LONG ownFrameCount = info.frame_count;
    CRaster* parent = info.parent;
    CopySettingFields(source.info);
    info.type = source.info.type;
    info.progress = source.info.progress;
    info.frame_delay = source.info.frame_delay;
    info.offset_x = source.info.offset_x;
    info.offset_y = source.info.offset_y;
    info.gif_disposal = source.info.gif_disposal;
    info.alpha_palette_enabled = source.info.alpha_palette_enabled;
    std::memcpy(info.last_error, source.info.last_error, sizeof(info.last_error));
    info.parent = parent;
    info.frame_count = ownFrames ? ownFrameCount : source.info.frame_count;
    header.biXPelsPerMeter = source.header.biXPelsPerMeter;
    header.biYPelsPerMeter = source.header.biYPelsPerMeter;
    header.biClrImportant = source.header.biClrImportant;
    if (!source.dib) return;
    if (!Create(source.GetWidth(), source.GetHeight(), source.GetBpp(), source.info.type)) return;
    header.biClrImportant = source.header.biClrImportant <= header.biClrUsed ? source.header.biClrImportant : 0;
    std::memcpy(dib, &header, sizeof(header));

    const DWORD paletteBytes = std::min(GetPaletteSize(), source.GetPaletteSize());
    if (paletteBytes) std::memcpy(GetPalette(), source.GetPalette(), paletteBytes);
    if (copyPixels) {
        const std::size_t bytes = std::min<std::size_t>(header.biSizeImage, source.header.biSizeImage);
        std::memcpy(info.pixels, source.info.pixels, bytes);
    }
    const std::size_t planeBytes = PlaneBytes();
    if (copySelection && source.selection) {
        selection = static_cast<BYTE*>(std::malloc(planeBytes));
        if (selection) {
            std::memcpy(selection, source.selection, planeBytes);
            info.selection_box = source.info.selection_box;
        }
    }
    if (copyAlpha && source.alpha) {
        alpha = static_cast<BYTE*>(std::malloc(planeBytes));
        if (alpha) std::memcpy(alpha, source.alpha, planeBytes);
    }
}

void CRaster::CopySettingFields(const raster_info_t& s) {
    info.escape = s.escape;
    info.keep_all_frames = s.keep_all_frames;
    info.max_kept_frames = s.max_kept_frames > 0 ? s.max_kept_frames : 0;
    info.quality = s.quality;
    info.jpeg_scale = s.jpeg_scale;
    info.dpi_x = s.dpi_x;
    info.dpi_y = s.dpi_y;
    std::memcpy(info.codec_options, s.codec_options, sizeof(info.codec_options));
    info.alpha_max = s.alpha_max;
    info.flags = s.flags;
    info.enabled = s.enabled;
    info.current_frame = s.current_frame;
    info.background_index = s.background_index;
    info.background_color = s.background_color;
    info.little_endian_host = s.little_endian_host;
    InvalidateNearestCache();
}

void CRaster::CopySettings(const CRaster& source) {
    // Pointers, owner, parent and counts stay this image's own: copying them would make a
    // codec object refuse Create or walk a layer array it does not have.
    if (dib || &source == this) return;
    CopySettingFields(source.info);
    ForgetFileProperties();
}

void CRaster::ForgetFileProperties() {
    info.background_index = -1;
    info.background_color = RGBQUAD{};
    info.alpha_palette_enabled = false;
    SetDpiX(kDefaultDpi);
    SetDpiY(kDefaultDpi);
}

bool CRaster::MoveFrom(CRaster& source, bool withFrames) {
    if (&source == this) return true;
    // Buffers of a view belong to its owner; taking them would free them twice.
    if (source.info.shared_owner) return false;
    if (!Destroy()) return false;
    CRaster** ownFrames = frames;
    const LONG ownFrameCount = info.frame_count;
    CRaster* parent = info.parent;

    header = source.header;
    info = source.info;
    info.parent = parent;
    dib = source.dib;
    selection = source.selection;
    alpha = source.alpha;
    layers = source.layers;
    for (LONG i = 0; layers && i < info.layer_count; ++i)
        if (layers[i]) layers[i]->info.parent = this;

    CRaster** sourceFrames = source.frames;
    const LONG sourceFrameCount = source.info.frame_count;
    if (withFrames) {
        frames = ownFrames;
        info.frame_count = ownFrameCount;
        DestroyFrames();
        frames = sourceFrames;
        info.frame_count = sourceFrameCount;
        sourceFrames = nullptr;
    } else {
        frames = ownFrames;
        info.frame_count = ownFrameCount;
    }

    const DWORD sourceType = source.info.type;
    CRaster* sourceParent = source.info.parent;
    source.ResetToDefaults(sourceType);
    source.info.parent = sourceParent;
    source.frames = sourceFrames;
    source.info.frame_count = sourceFrames ? sourceFrameCount : 0;
    return true;
}

void CRaster::ShareFrom(CRaster& source) {
    if (&source == this) return;
    if (!info.shared_owner) {
        // Release what this image owns before its pointers are overwritten.
        DestroyFrames();
        Destroy();
    }
    header = source.header;
    info = source.info;
    dib = source.dib;
    selection = source.selection;
    alpha = source.alpha;
    layers = source.layers;
    frames = source.frames;
    // A view of a view shares the same owner's buffers.
    info.shared_owner = source.info.shared_owner ? source.info.shared_owner : &source;
}

// ---- header and settings --------------------------------------------------------------

BYTE CRaster::GetRoundedQuality() const {
    const float q = info.quality + 0.5f;
    if (!(q > 0.0f)) return 0;
    return q >= 255.0f ? 255 : static_cast<BYTE>(q);
}

void CRaster::GetOffset(LONG* x, LONG* y) const {
    if (x) *x = info.offset_x;
    if (y) *y = info.offset_y;
}

int CRaster::SlotOfTypeId(DWORD type) {
    switch (type) {
        case kRasterTypeBmp: return 1;
        case kRasterTypeGif: return 2;
        case kRasterTypeJpg: return 3;
        case kRasterTypePng: return 4;
        case kRasterTypeTga: return 5;
        case kRasterTypeJna: return 6;
        default: return 0;
    }
}

DWORD CRaster::TypeIdOfSlot(int slot) {
    static constexpr DWORD kTypes[kRasterFormatSlots] = {kRasterTypeNone, kRasterTypeBmp, kRasterTypeGif,
                                                         kRasterTypeJpg,  kRasterTypePng, kRasterTypeTga,
                                                         kRasterTypeJna};
    return slot >= 0 && slot < kRasterFormatSlots ? kTypes[slot] : 0;
}

DWORD CRaster::GetCodecOption(DWORD type) const {
    int slot = SlotOfTypeId(type);
    if (slot == 0) slot = SlotOfTypeId(info.type);
    return info.codec_options[slot];
}

void CRaster::SetCodecOption(DWORD value) { info.codec_options[SlotOfTypeId(info.type)] = value; }

LONG CRaster::SetDpiX(LONG dpi) { return StoreDpi(dpi, info.dpi_x, header, dib, &BITMAPINFOHEADER::biXPelsPerMeter); }

LONG CRaster::SetDpiY(LONG dpi) { return StoreDpi(dpi, info.dpi_y, header, dib, &BITMAPINFOHEADER::biYPelsPerMeter); }

const WCHAR* CRaster::GetVersion() { return u"CRaster 6.0.0"; }

BYTE* CRaster::GetBits(DWORD row) const {
    if (!dib || !info.pixels) return nullptr;
    if (row == 0) return info.pixels;
    if (row >= GetHeight()) return nullptr;
    return info.pixels + static_cast<std::size_t>(row) * info.row_stride;
}

DWORD CRaster::GetSize() const {
    if (header.biWidth <= 0 || header.biHeight <= 0) return 0;
    return static_cast<DWORD>(sizeof(BITMAPINFOHEADER) + header.biClrUsed * sizeof(RGBQUAD) + header.biSizeImage);
}

WORD CRaster::GetColorType() const {
    if (alpha) return 4;
    return header.biBitCount <= 8 ? 1 : 2;
}

void CRaster::SetBackgroundIndex(LONG index) {
    if (index < 0) {
        info.background_index = -1;
        return;
    }
    info.background_index = static_cast<DWORD>(index) < header.biClrUsed ? index : 0;
}

void CRaster::SetBackgroundColor(RGBQUAD color) {
    color.rgbReserved = 0;
    info.background_color = color;
}

RGBQUAD CRaster::GetTransparentColor() const {
    if (header.biBitCount < 24 && info.background_index >= 0)
        return GetPaletteColor(static_cast<BYTE>(info.background_index));
    return info.background_color;
}

WORD CRaster::ToHostShort(WORD value) const {
    if (info.little_endian_host) return value;
    return static_cast<WORD>((value >> 8) | (value << 8));
}

DWORD CRaster::ToHostLong(DWORD value) const {
    if (info.little_endian_host) return value;
    return __builtin_bswap32(value);
}

void CRaster::FixInfoHeaderByteOrder(BITMAPINFOHEADER& h) const {
    h.biSize = ToHostLong(h.biSize);
    h.biWidth = static_cast<LONG>(ToHostLong(static_cast<DWORD>(h.biWidth)));
    h.biHeight = static_cast<LONG>(ToHostLong(static_cast<DWORD>(h.biHeight)));
    h.biPlanes = ToHostShort(h.biPlanes);
    h.biBitCount = ToHostShort(h.biBitCount);
    h.biCompression = ToHostLong(h.biCompression);
    h.biSizeImage = ToHostLong(h.biSizeImage);
    h.biXPelsPerMeter = static_cast<LONG>(ToHostLong(static_cast<DWORD>(h.biXPelsPerMeter)));
    h.biYPelsPerMeter = static_cast<LONG>(ToHostLong(static_cast<DWORD>(h.biYPelsPerMeter)));
    h.biClrUsed = ToHostLong(h.biClrUsed);
    h.biClrImportant = ToHostLong(h.biClrImportant);
}

std::size_t CRaster::PlaneBytes() const {
    if (!dib) return 0;
    return static_cast<std::size_t>(GetWidth()) * GetHeight();
}
